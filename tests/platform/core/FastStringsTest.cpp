// The Horspool search against a naive search on random buffers, patterns and
// start positions (small alphabets, so matches and near-matches are common),
// exact and folded; and its precondition and error.

#include "platform/core/FastStrings.h"

#include <gtest/gtest.h>

#include <random>
#include <string>

namespace {

unsigned char Fold(unsigned char C)
{
    return (C >= 'a' && C <= 'z') ? static_cast<unsigned char>(C - 32) : C;
}

int Naive(const std::string &Text, const std::string &Pattern, int StartPos, bool Folded)
{
    const int N = int(Text.size()), M = int(Pattern.size());
    if (M < 1 || M > N)
        return 0;
    for (int I = StartPos - 1; I + M <= N; ++I) {
        int K = 0;
        while (K < M && (Folded ? Fold(static_cast<unsigned char>(Text[I + K])) == Fold(static_cast<unsigned char>(Pattern[K]))
                                : Text[I + K] == Pattern[K]))
            ++K;
        if (K == M)
            return I + 1;
    }
    return 0;
}

} // namespace

TEST(FastStrings, AgreesWithANaiveSearchExactAndFolded)
{
    std::mt19937 Random(20261207);
    const std::string Alphabets[] = {"ab", "aAbB", std::string("a\xB0\xAE\x61Zz", 6)};
    for (int Round = 0; Round < 4000; ++Round) {
        const std::string &Alphabet = Alphabets[Round % 3];
        auto Pick = [&] { return Alphabet[Random() % Alphabet.size()]; };
        std::string Text(Random() % 40, ' ');
        for (char &C : Text)
            C = Pick();
        std::string Pattern(1 + Random() % 5, ' ');
        for (char &C : Pattern)
            C = Pick();
        // Sometimes the pattern is cut from the text, so a match is sure.
        if (Round % 4 == 0 && Text.size() >= Pattern.size())
            Pattern = Text.substr(Random() % (Text.size() - Pattern.size() + 1), Pattern.size());
        const int Start = 1 + int(Random() % (Text.size() + 2));
        const int N = int(Text.size()), M = int(Pattern.size());
        ASSERT_EQ(FindPatternFrom(Text.data(), Pattern.data(), N, Start, M), Naive(Text, Pattern, Start, false))
            << Text << " / " << Pattern << " from " << Start;
        ASSERT_EQ(FindPatternFromFolded(Text.data(), Pattern.data(), N, Start, M), Naive(Text, Pattern, Start, true))
            << Text << " / " << Pattern << " from " << Start;
        TSkipTable Table;
        MakeSkipTable(Pattern.data(), M, Table);
        ASSERT_EQ(SkipTableSearch(Text.data(), N, Start, Pattern.data(), M, Table), M > N ? 0 : Naive(Text, Pattern, Start, false));
        MakeSkipTableFolded(Pattern.data(), M, Table);
        ASSERT_EQ(SkipTableSearchFolded(Text.data(), N, Start, Pattern.data(), M, Table),
                  M > N ? 0 : Naive(Text, Pattern, Start, true));
    }
}

TEST(FastStrings, TableStartAndLengthRules)
{
    TSkipTable T;
    MakeSkipTable("abcab", 5, T);
    EXPECT_EQ(T['a'], 1);   // the last "a" before the final byte
    EXPECT_EQ(T['b'], 3);   // the final "b" itself is not entered
    EXPECT_EQ(T['c'], 2);
    EXPECT_EQ(T['z'], 5);
    MakeSkipTableFolded("ab", 2, T);
    EXPECT_EQ(T['A'], 1);
    EXPECT_EQ(T['a'], 2);

    const char Text[] = "xxABCabc";
    EXPECT_EQ(FindPatternFrom(Text, "abc", 8, 1, 3), 6);
    EXPECT_EQ(FindPatternFromFolded(Text, "abc", 8, 1, 3), 3);
    EXPECT_EQ(FindPatternFromFolded(Text, "abc", 8, 4, 3), 6);
    EXPECT_EQ(FindPatternFrom(Text, "abc", 8, 7, 3), 0);
    EXPECT_EQ(FindPatternFrom(Text, "", 8, 1, 0), 0);
    EXPECT_EQ(FindPatternFrom(Text, "xxABCabcx", 8, 1, 9), 0);
    // Bytes above 0x7F are never folded: the second byte of 癮 (B0 61) is an "a" only when exact.
    EXPECT_EQ(FindPatternFromFolded("\xB0\x61", "A", 2, 1, 1), 2);
    EXPECT_EQ(FindPatternFromFolded("\xB0\xE1", "\xB0\xC1", 2, 1, 2), 0);

    try {
        FindPatternFrom(Text, "a", 8, 0, 1);
        ADD_FAILURE() << "start 0 must fail";
    } catch (const EAssertionFailed &E) {
        EXPECT_TRUE(E.Message().startsWith(QStringLiteral("Assertion failure"))) << E.what();
        EXPECT_TRUE(E.Message().contains(QStringLiteral("FastStrings")));
    }
    EXPECT_THROW(FindPatternFromFolded(Text, "a", 8, -3, 1), EAssertionFailed);
    try {
        MakeSkipTable("", 0, T);
        ADD_FAILURE() << "an empty pattern must fail";
    } catch (const Exception &E) {
        EXPECT_EQ(E.Message(), QStringLiteral("BufferLen is 0"));
    }
    EXPECT_THROW(SkipTableSearchFolded(Text, 8, 1, "", 0, T), Exception);
}
