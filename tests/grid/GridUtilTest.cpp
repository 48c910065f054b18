#include "grid/CellGrid.h"
#include "grid/GridUtil.h"

#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QLocale>

namespace {

struct MatchCase {
    const char *Condition;
    const char *Text;
    bool CaseSensitive;
    bool Expected;
};

TEST(ConditionLanguage, MatchStrCombinesPartsLeftToRight)
{
    const MatchCase Cases[] = {
        {"  a* ; b* ", "bob", false, true},
        {"a* ; b*", "carl", false, false},
        {"a*&*z", "abz", true, true},
        {"a*&*z", "ABZ", true, false},
        {"a*&*z", "ABZ", false, true},
        {"a* & *z", "abc", true, false},
        {"a*|b*&*x", "bx", true, true},   // no precedence: (a* or b*) and *x
        {"a*|b*&*x", "ax", true, true},
        {"a*|b*&*x", "b", true, false},
        {"=abc", "abc", true, true},      // a leading "=" means a plain match
        {"!abc", "abd", true, true},
        {"!abc", "abc", true, false},
        {">10", "11", true, true},
        {">=10", "10", true, true},     // the "=" after ">" is kept: at least 10
        {"> = 10", "10", true, true},
        {"<b", "a", true, true},
        {"", "", true, true},
        {"", "x", true, false},
    };
    for (const MatchCase &C : Cases)
        EXPECT_EQ(MatchStr(QString::fromUtf8(C.Condition), QString::fromUtf8(C.Text), C.CaseSensitive), C.Expected)
            << C.Condition << " / " << C.Text;

    // A condition pasted with long runs of blanks and "=" is read in one pass
    // (a run of n blanks before an operator took n passes over the condition).
    const QString Blanks(300000, QLatin1Char(' '));
    EXPECT_TRUE(MatchStr(QStringLiteral("a*") + Blanks + QStringLiteral("&") + Blanks + QStringLiteral("*z"), QStringLiteral("abz"), true));
    EXPECT_TRUE(MatchStr(QString(300000, QLatin1Char('=')) + QStringLiteral("abc"), QStringLiteral("abc"), true));
}

TEST(ConditionLanguage, MatchesComparesNumbersDatesAndStrings)
{
    const MatchCase Cases[] = {
        {">10", "9", true, false},
        {">10", "11", true, true},
        {">b", "c", true, true},
        {">b", "a", true, false},
        {">=10", "10", true, true},
        {"<=10", "10", true, true},
        {"<10", "10", true, false},
        {">\"5\"", "6", true, true},        // quoted operand
        {">2026-1-9", "2026-1-10", true, true},   // dates compare as dates, not as text
        {"*c", "abc", true, true},
        {"a?c", "abc", true, true},
        {"a?c", "ac", true, false},
        {"a*c", "ac", true, true},
        {"*", "", true, true},
        {"?", "", true, false},
        {"abc", "abcd", true, false},
        {"\"abc\"", "abc", true, true},
        {"!a*", "ba", true, true},
        {"!a*", "ab", true, false},
        {">张", "李", true, false},          // texts by code page 936 bytes: 李 C0EE, 张 D5C5
        {"<张", "李", true, true},
        {"<中国", "阿姨", true, true},
    };
    for (const MatchCase &C : Cases)
        EXPECT_EQ(Matches(QString::fromUtf8(C.Condition), QString::fromUtf8(C.Text)), C.Expected)
            << C.Condition << " / " << C.Text;

    // The filter's text order is the sort's: ">W" keeps exactly the words the
    // sort puts after W, "<=W" those up to it.
    const QStringList Words{"中国", "阿姨", "abc", "ABC", "北京", "z", "啊", "乤", "丄", "€uro", "Zebra", "𠮷",
                            "é", "。", "～", "李", "张", "面议"};
    TCellGrid G;
    G.SetColCount(2);
    G.SetRowCount(int(Words.size()) + 1);
    for (int R = 0; R < Words.size(); ++R)
        G.SetCellText(1, R + 1, Words[R]);
    G.SortSettings()->AutoFormat = false;
    G.SortSettings()->Column = 1;
    G.SortByColumn();
    QStringList Sorted;
    for (int R = 1; R < G.RowCount(); ++R)
        Sorted << G.GetCellText(1, R);
    for (int A = 0; A < Sorted.size(); ++A)
        for (int B = 0; B < Sorted.size(); ++B) {
            EXPECT_EQ(MatchStr(QLatin1Char('>') + Sorted[A], Sorted[B], true), B > A)
                << Sorted[A].toStdString() << " / " << Sorted[B].toStdString();
            EXPECT_EQ(MatchStr(QStringLiteral("<=") + Sorted[A], Sorted[B], true), B <= A)
                << Sorted[A].toStdString() << " / " << Sorted[B].toStdString();
        }
}

TEST(ConditionLanguage, ManyStarsMatchWithoutBlowingUp)
{
    const QString Mask = QStringLiteral("*a*a*a*a*a*a*a*a*a*a*a*a*a*a*a*a*a*a*a*a*b");
    const QString Text(400, QLatin1Char('a'));
    EXPECT_FALSE(Matches(Mask, Text));
    EXPECT_TRUE(Matches(Mask, Text + QLatin1Char('b')));
}

TEST(ConditionLanguage, StrToDateByFormatReadsInFormatOrderAndRefusesImpossibleDates)
{
    TDateTime D = 0;
    ASSERT_TRUE(StrToDateByFormat(QStringLiteral("2024-2-29"), D));
    EXPECT_DOUBLE_EQ(D, EncodeDate(2024, 2, 29));
    EXPECT_FALSE(StrToDateByFormat(QStringLiteral("2023-2-29"), D));   // no exception either
    EXPECT_FALSE(StrToDateByFormat(QStringLiteral("2023-13-1"), D));
    EXPECT_FALSE(StrToDateByFormat(QStringLiteral("2023-1-0"), D));
    EXPECT_FALSE(StrToDateByFormat(QStringLiteral("2023-1"), D));
    EXPECT_FALSE(StrToDateByFormat(QStringLiteral("2023-x-1"), D));
}

TEST(ConditionLanguage, DatesFollowTheUsersShortDateInReadingFilteringAndSorting)
{
    struct Restore {
        ~Restore() { LoadDateSettings(QLocale::c()); }
    } Guard;
    LoadDateSettings(QLocale(QStringLiteral("de_DE")));
    TDateTime D = 0;
    ASSERT_TRUE(StrToDateByFormat(QStringLiteral("15.04.2007"), D));
    EXPECT_DOUBLE_EQ(D, EncodeDate(2007, 4, 15));
    EXPECT_FALSE(StrToDateByFormat(QStringLiteral("2007-4-15"), D));   // the locale's form only
    EXPECT_TRUE(Matches(QStringLiteral(">9.4.2007"), QStringLiteral("15.03.2008")));   // dates, not texts

    TCellGrid G;
    G.SetColCount(2);
    G.SetRowCount(4);
    G.SetDates(1, 1, EncodeDate(2008, 3, 15));
    G.SetDates(1, 2, EncodeDate(2007, 4, 9));
    G.SetDates(1, 3, EncodeDate(2007, 12, 1));
    EXPECT_EQ(G.GetCellText(1, 1), QStringLiteral("15.03.2008"));
    G.OnGetFormat = [](TObject *, int, TSortStyle &S, QString &, QString &) { S = soDate; };
    G.SortSettings()->Column = 1;
    G.SortByColumn();
    EXPECT_EQ(G.GetCellText(1, 1) + G.GetCellText(1, 2) + G.GetCellText(1, 3),
              QStringLiteral("09.04.200701.12.200715.03.2008"));
}

TEST(TextClassification, TextKindByLeadingCharacters)
{
    EXPECT_EQ(TextKind(QStringLiteral("=1+2"), true), tkFormula);
    EXPECT_EQ(TextKind(QStringLiteral("{\\rtf1"), true), tkRichText);
    EXPECT_EQ(TextKind(QStringLiteral("|\\0041"), true), tkWideText);
    EXPECT_EQ(TextKind(QStringLiteral("<b>x</b>"), true), tkHTML);
    EXPECT_EQ(TextKind(QStringLiteral("<b>x</b>"), false), tkPlain);
    EXPECT_EQ(TextKind(QStringLiteral("<b>x"), true), tkPlain);   // only "</", "<B", "<I" count
    EXPECT_EQ(TextKind(QStringLiteral("<B>x"), true), tkHTML);
    EXPECT_EQ(TextKind(QStringLiteral("x"), true), tkPlain);
    EXPECT_EQ(TextKind(QStringLiteral("="), true), tkPlain);
}

TEST(TextClassification, NumberKind)
{
    const std::pair<const char *, int> Cases[] = {
        {"1,234.5", nkFloat}, {"1,,2", nkOther}, {"12", nkInteger}, {"-", nkInteger},
        {"1.2.3", nkOther},   {"", nkOther},     {"--1", nkOther},  {"-12", nkInteger},
        {"12a", nkOther},     {",12", nkOther},  {"0.5", nkFloat},
    };
    for (const auto &[Text, Kind] : Cases)
        EXPECT_EQ(NumberKind(QString::fromUtf8(Text)), Kind) << Text;
}

TEST(TextClassification, NumericTextCleansFormattedNumbers)
{
    EXPECT_EQ(NumericText(QStringLiteral("$1,234.50")), QStringLiteral("1234.50"));
    EXPECT_EQ(NumericText(QStringLiteral("(12.5)")), QStringLiteral("-12.5"));
    EXPECT_EQ(NumericText(QStringLiteral("-$3")), QStringLiteral("-3"));
    EXPECT_EQ(NumericText(QStringLiteral("12 kg")), QStringLiteral("12"));
    EXPECT_EQ(NumericText(QStringLiteral("x")), QString());
}

TEST(TextClassification, LinksAndCellReferences)
{
    EXPECT_TRUE(IsURL(QStringLiteral("http://a.b")));
    EXPECT_TRUE(IsURL(QStringLiteral("mailto:x@y")));
    EXPECT_FALSE(IsURL(QStringLiteral("www.a.b")));
    QString U = QStringLiteral("http://a.b/c");
    StripURLProtocol(U);
    EXPECT_EQ(U, QStringLiteral("a.b/c"));
    U = QStringLiteral("mailto:x@y");
    StripURLProtocol(U);
    EXPECT_EQ(U, QStringLiteral("x@y"));

    int Col = -1, Row = -1;
    EXPECT_TRUE(ParseCellRef(QStringLiteral("R12C3"), Col, Row));
    EXPECT_EQ(Row, 12);
    EXPECT_EQ(Col, 3);
    EXPECT_FALSE(ParseCellRef(QStringLiteral("R1C"), Col, Row));
    EXPECT_FALSE(ParseCellRef(QStringLiteral("C1R2"), Col, Row));
    EXPECT_FALSE(ParseCellRef(QStringLiteral("R1x2"), Col, Row));
}

TEST(LinesAndCharacters, NextLineAndLineCount)
{
    QString Text = QStringLiteral("one\r\ntwo\rthree");
    QString Line;
    NextLine(Text, true, Line);
    EXPECT_EQ(Line, QStringLiteral("one"));
    EXPECT_EQ(Text, QStringLiteral("two\rthree"));
    NextLine(Text, false, Line);
    EXPECT_EQ(Line, QStringLiteral("two"));
    EXPECT_TRUE(Text.isEmpty());
    Text = QStringLiteral("last");
    NextLine(Text, true, Line);
    EXPECT_EQ(Line, QStringLiteral("last"));
    EXPECT_TRUE(Text.isEmpty());

    EXPECT_EQ(LineCount(QStringLiteral("a\rb\rc"), true), 3);
    EXPECT_EQ(LineCount(QStringLiteral("a\rb\rc"), false), 1);
}

TEST(LinesAndCharacters, Conversions)
{
    EXPECT_EQ(BackslashNToCR(QStringLiteral("a\\nb")), QStringLiteral("a\rb"));
    QString S = QStringLiteral("a\r\nb");
    QuoteCSV(S);
    EXPECT_EQ(S, QStringLiteral("\"a\nb\""));
    S = QStringLiteral("a\nb\r\nc");
    LFToCRLF(S);
    EXPECT_EQ(S, QStringLiteral("a\r\nb\r\nc"));   // the existing CR LF stays as it is
    LFToCRLF(S);
    EXPECT_EQ(S, QStringLiteral("a\r\nb\r\nc"));
    S = QStringLiteral("a~b");
    TildeToCRLF(S);
    EXPECT_EQ(S, QStringLiteral("a\r\nb"));
    S = QStringLiteral("abc");
    FillChars(S, QLatin1Char('*'));
    EXPECT_EQ(S, QStringLiteral("***"));
    EXPECT_EQ(CollapseDoubled(QLatin1Char('"'), QStringLiteral("a\"\"b")), QStringLiteral("a\"b"));
    EXPECT_EQ(CollapseDoubled(QLatin1Char('"'), QStringLiteral("ab")), QStringLiteral("ab"));
    EXPECT_EQ(CollapseDoubled(QLatin1Char('"'), QStringLiteral("\"")), QStringLiteral("\""));
}

TEST(LinesAndCharacters, PositionsAndCounts)
{
    int P = -1;
    EXPECT_EQ(CharPos(QLatin1Char('b'), QStringLiteral("abc")), 2);
    EXPECT_EQ(CharPos(QLatin1Char('z'), QStringLiteral("abc"), P), 0);
    EXPECT_EQ(P, 0);
    EXPECT_EQ(PosUpper(QStringLiteral("BC"), QStringLiteral("abc")), 2);
    EXPECT_EQ(VarPos(QStringLiteral("c"), QStringLiteral("abc"), P), 3);
    EXPECT_EQ(P, 3);
    EXPECT_EQ(FirstCharInSet(QStringLiteral(";,"), QStringLiteral("a,b;c")), QLatin1Char(','));
    EXPECT_EQ(FirstCharInSet(QStringLiteral(";"), QStringLiteral("abc")), QChar(0));
    EXPECT_EQ(CharCount(QLatin1Char(','), QStringLiteral("a,,b,")), 3);
    // Doubled separators (quoted in CSV) do not count as separators.
    EXPECT_EQ(OddRunPos(QLatin1Char(','), QStringLiteral("a,,b,c"), P), 5);
    EXPECT_EQ(P, 5);
    EXPECT_EQ(OddRunPos(QLatin1Char(','), QStringLiteral("ab,"), P), 3);
    EXPECT_EQ(OddRunPos(QLatin1Char(','), QStringLiteral("ab"), P), 0);
    EXPECT_EQ(SeparatorCount(QLatin1Char(','), QStringLiteral("a,b,,c,d")), 2);
}

TEST(LinesAndCharacters, NameCase)
{
    EXPECT_EQ(NameCase(QStringLiteral("mcdonald o'neil")), QStringLiteral("McDonald O'Neil"));
    EXPECT_EQ(NameCase(QStringLiteral("JOHN SMITH-JONES")), QStringLiteral("John Smith-Jones"));
    EXPECT_EQ(NameCase(QStringLiteral("henry iii")), QStringLiteral("Henry III"));
    EXPECT_EQ(LowerChar(QLatin1Char('Q')), QLatin1Char('q'));
    EXPECT_EQ(LowerChar(QChar(0xC9)), QChar(0xC9));
}

TEST(Dates, DayMonthYearTextsAndTwoDigitYears)
{
    EXPECT_DOUBLE_EQ(DateFromMDY(QStringLiteral("12/31/99")), EncodeDate(1999, 12, 31));
    EXPECT_DOUBLE_EQ(DateFromMDY(QStringLiteral("1/2/05")), EncodeDate(2005, 1, 2));
    EXPECT_DOUBLE_EQ(DateFromDMY(QStringLiteral("31.12.2020")), EncodeDate(2020, 12, 31));   // never shifted
    EXPECT_DOUBLE_EQ(DateFromDMY(QStringLiteral("1-2-1999")), EncodeDate(1999, 2, 1));
    EXPECT_DOUBLE_EQ(DateFromDMY(QStringLiteral("30.2.2020")), 0);    // impossible: 0, no exception
    EXPECT_DOUBLE_EQ(DateFromMDY(QStringLiteral("1/2")), 0);
    EXPECT_DOUBLE_EQ(DateFromMDY(QStringLiteral("a/b/c")), 0);
}

TEST(Dates, IncDate)
{
    const TDateTime D = EncodeDate(2024, 1, 31);
    EXPECT_DOUBLE_EQ(IncDate(0, 0, 5, D, 0), D + 5);
    EXPECT_DOUBLE_EQ(IncDate(1, 0, 0, D, 0), EncodeDate(2025, 1, 31));
    EXPECT_DOUBLE_EQ(IncDate(0, 1, 0, D, 0), EncodeDate(2024, 2, 29));   // clipped to the month's end
    EXPECT_DOUBLE_EQ(IncDate(0, -1, 0, D, 0), EncodeDate(2023, 12, 31));
    EXPECT_DOUBLE_EQ(IncDate(0, 25, 0, D, 0), EncodeDate(2026, 2, 28));
    EXPECT_DOUBLE_EQ(IncDate(1, 1, 0, D, 7), D + 7);
}

TEST(NumbersAndGeometry, LimitSizeAndPoints)
{
    EXPECT_EQ(LimitSize(50, 10, 10), 50);
    EXPECT_EQ(LimitSize(50, 0, 40), 40);
    EXPECT_EQ(LimitSize(5, 10, 40), 10);
    EXPECT_EQ(LimitSize(5, 0, 0), 5);
    EXPECT_EQ(MaxOf(3, 4), 4);
    EXPECT_EQ(MinOf(3, 4), 3);
    EXPECT_TRUE(PtInRectIncl(TRect(0, 0, 10, 10), 10, 10));
    EXPECT_FALSE(PtInRectIncl(TRect(0, 0, 10, 10), 11, 10));
    EXPECT_EQ(DarkerColor(RGB(200, 100, 51)), RGB(100, 50, 25));
}

TEST(Drawing, ProgressPieFillsTheDoneShareOnly)
{
    TBitmap B(41, 41);
    B.Canvas()->Brush()->SetColor(clWhite);
    B.Canvas()->FillRect(TRect(0, 0, 41, 41));
    DrawProgressPie(B.Canvas(), TRect(0, 0, 41, 41), clRed, 25);
    // The first quarter (twelve to three o'clock) is filled, the opposite quarter is not.
    EXPECT_EQ(B.Canvas()->Pixels(28, 12) & 0xFFFFFF, clRed);
    EXPECT_EQ(B.Canvas()->Pixels(12, 28) & 0xFFFFFF, clWhite);
}

TEST(Drawing, NamedGlyphsAreDrawnTransparently)
{
    EXPECT_TRUE(GridGlyph(QStringLiteral("NOSUCH")).Empty());
    const TBitmap &Ticked = GridGlyph(QStringLiteral("CGCHK01"));
    const TBitmap &Unticked = GridGlyph(QStringLiteral("CGCHK02"));
    ASSERT_FALSE(Ticked.Empty());
    EXPECT_NE(Ticked.Image(), Unticked.Image());
    EXPECT_FALSE(GridGlyph(QStringLiteral("CGLEAFOPEN")).Empty());

    TBitmap B(20, 20);
    B.Canvas()->Brush()->SetColor(clYellow);
    B.Canvas()->FillRect(TRect(0, 0, 20, 20));
    DrawResourceBitmap(B.Canvas(), clYellow, TRect(0, 0, 20, 20), QStringLiteral("CGCHK01"));
    EXPECT_EQ(B.Canvas()->Pixels(0, 0) & 0xFFFFFF, clYellow);   // the glyph's background shows the cell
    EXPECT_NE(B.Canvas()->Pixels(7, 7) & 0xFFFFFF, clYellow);
}

} // namespace

TEST(Colours, NamesAndHexTextInAnyCaseAndShortTextsSafely)
{
    EXPECT_EQ(ColorFromName(QStringLiteral("clRed")), TColor(0x0000FF));
    EXPECT_EQ(ColorFromName(QStringLiteral("CLNAVY")), TColor(0x800000));
    EXPECT_EQ(ColorFromName(QStringLiteral("clBtnFace")), TColor(0x80000000u + 15));
    EXPECT_EQ(ColorFromName(QStringLiteral("clinfobk")), TColor(0x80000000u + 24));
    EXPECT_EQ(ColorFromName(QStringLiteral("clnosuch")), TColor(0));

    EXPECT_EQ(ColorFromHex(QStringLiteral("#FF8000")), TColor(0x0080FF));
    EXPECT_EQ(ColorFromHex(QStringLiteral("#ff8000")), ColorFromHex(QStringLiteral("#FF8000")));
    EXPECT_EQ(ColorFromHex(QStringLiteral("#0a0B0c")), TColor(0x0C0B0A));
    // Short and odd texts read only what they hold.
    EXPECT_EQ(ColorFromHex(QStringLiteral("#")), TColor(0));
    EXPECT_EQ(ColorFromHex(QStringLiteral("#F")), TColor(0xF0));
    EXPECT_EQ(ColorFromHex(QStringLiteral("#12G4")), TColor(0x0412));
}
