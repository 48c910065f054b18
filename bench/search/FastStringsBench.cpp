// Times FindPatternFrom (Horspool), its folded variant and a search with a
// reused skip table over 64 MB of text-like bytes, against glibc's memmem and
// std::string_view::find in the same run, for patterns of 4, 16 and 64 bytes
// that occur only at the end. Prints the times and the ratios (ours / memmem).
//
// Usage: search_faststrings_bench [megabytes]

#include "platform/core/FastStrings.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <string_view>

namespace {

using Clock = std::chrono::steady_clock;

template <class F>
double Time(F &&Run, int &Found)
{
    const Clock::time_point Start = Clock::now();
    Found = Run();
    return std::chrono::duration<double>(Clock::now() - Start).count();
}

} // namespace

int main(int Argc, char **Argv)
{
    const long Megabytes = Argc > 1 ? std::strtol(Argv[1], nullptr, 10) : 64;
    std::mt19937 Random(7);
    // Lower-case words and blanks, like page text, so the last byte often matches.
    std::string Text(size_t(Megabytes) << 20, ' ');
    for (char &C : Text)
        C = (Random() % 6 == 0) ? ' ' : char('a' + Random() % 20);
    std::printf("%-8s %12s %12s %12s %12s %12s %8s\n", "pattern", "Horspool", "folded", "table", "memmem", "sv::find",
                "ratio");
    for (int Length : {4, 16, 64}) {
        std::string Pattern(size_t(Length), 'x');
        for (char &C : Pattern)
            C = char('a' + Random() % 20);
        Pattern.back() = 'z';   // a byte the text never holds before the end
        std::memcpy(&Text[Text.size() - size_t(Length)], Pattern.data(), size_t(Length));
        const int N = int(Text.size());
        int F1 = 0, F2 = 0, F3 = 0, F4 = 0, F5 = 0;
        const double Ours = Time([&] { return FindPatternFrom(Text.data(), Pattern.data(), N, 1, Length); }, F1);
        const double Folded = Time([&] { return FindPatternFromFolded(Text.data(), Pattern.data(), N, 1, Length); }, F2);
        TSkipTable Table;
        MakeSkipTable(Pattern.data(), Length, Table);
        const double WithTable = Time([&] { return SkipTableSearch(Text.data(), N, 1, Pattern.data(), Length, Table); }, F3);
        const double Memmem = Time(
            [&] {
                const void *P = memmem(Text.data(), Text.size(), Pattern.data(), Pattern.size());
                return P ? int(static_cast<const char *>(P) - Text.data()) + 1 : 0;
            },
            F4);
        const double Find = Time(
            [&] {
                const size_t P = std::string_view(Text).find(Pattern);
                return P == std::string_view::npos ? 0 : int(P) + 1;
            },
            F5);
        if (F1 != F4 || F2 != F4 || F3 != F4 || F5 != F4) {
            std::fprintf(stderr, "the searches disagree: %d %d %d %d %d\n", F1, F2, F3, F4, F5);
            return 1;
        }
        std::printf("%-8d %11.4fs %11.4fs %11.4fs %11.4fs %11.4fs %8.2f\n", Length, Ours, Folded, WithTable, Memmem, Find,
                    Ours / Memmem);
    }
    return 0;
}
