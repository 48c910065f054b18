#include "platform/core/SysUtils.h"

#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QLocale>
#include <QTemporaryDir>

#include <clocale>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <memory>
#include <cmath>
#include "Printers.h"
#include "TestSupport.h"

#include <gtest/gtest.h>
#include <string>

namespace {

QString S(const char *Text)
{
    return QString::fromUtf8(Text);
}

template <typename F>
QString ErrorOf(F &&Call)
{
    try {
        Call();
    } catch (const EConvertError &E) {
        return E.Message();
    }
    return QStringLiteral("(no error)");
}

TEST(Conversions, StrToIntFollowsTheOriginalSyntax)
{
    EXPECT_EQ(StrToInt(S("  42")), 42);
    EXPECT_EQ(StrToInt(S("-17")), -17);
    EXPECT_EQ(StrToInt(S("+8")), 8);
    EXPECT_EQ(StrToInt(S("$1F")), 31);
    EXPECT_EQ(StrToInt(S("0x10")), 16);
    EXPECT_EQ(StrToInt(S("$FFFFFFFF")), -1);
    EXPECT_EQ(StrToInt(S("-2147483648")), INT_MIN);
    EXPECT_EQ(StrToInt64(S("9223372036854775807")), LLONG_MAX);
    EXPECT_EQ(ErrorOf([] { StrToInt(S("42 ")); }), S("“42 ”不是有效的整数。"));
    EXPECT_EQ(ErrorOf([] { StrToInt(S("")); }), S("“”不是有效的整数。"));
    EXPECT_EQ(ErrorOf([] { StrToInt(S("2147483648")); }), S("“2147483648”不是有效的整数。"));
    EXPECT_EQ(ErrorOf([] { StrToInt(S("1.5")); }), S("“1.5”不是有效的整数。"));
    EXPECT_EQ(ErrorOf([] { StrToInt(S("价格")); }), S("“价格”不是有效的整数。"));
    EXPECT_EQ(StrToIntDef(S("x"), 7), 7);
    EXPECT_EQ(StrToIntDef(S("-"), 7), 7);
    EXPECT_EQ(StrToIntDef(S("$"), 7), 7);
}

// Number conversions must not depend on the locale the program runs in. The
// comma-decimal C locale is compiled into a temporary folder when the system
// has none installed.
class NumberLocale : public ::testing::TestWithParam<bool> {
protected:
    static void SetUpTestSuite()
    {
        if (std::setlocale(LC_NUMERIC, "de_DE.UTF-8")) {
            std::setlocale(LC_NUMERIC, "C");
            return;
        }
        // Compiled once per build folder; a finished copy is moved into place whole.
        const QString Cache = QDir::currentPath() + QStringLiteral("/qb-locales");
        if (!QFileInfo::exists(Cache + QStringLiteral("/de_DE.UTF-8/LC_NUMERIC"))) {
            QDir().mkpath(Cache);
            QTemporaryDir Work(Cache + QStringLiteral("/work-XXXXXX"));
            const QString Built = Work.filePath(QStringLiteral("de_DE.UTF-8"));
            if (TestSupport::RunProgram(QStringLiteral("localedef"), {QStringLiteral("-i"), QStringLiteral("de_DE"),
                                                                       QStringLiteral("-f"), QStringLiteral("UTF-8"), Built}) != 0)
                return;
            QDir().rename(Built, Cache + QStringLiteral("/de_DE.UTF-8"));
        }
        qputenv("LOCPATH", Cache.toLocal8Bit());
    }
    static void TearDownTestSuite()
    {
        qunsetenv("LOCPATH");
    }
    void SetUp() override
    {
        if (!GetParam())
            return;
        QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
        if (!std::setlocale(LC_NUMERIC, "de_DE.UTF-8"))
            std::cerr << "no comma-decimal C locale here; only Qt's default locale is German\n";
    }
    void TearDown() override
    {
        QLocale::setDefault(QLocale::c());
        std::setlocale(LC_NUMERIC, "C");
    }
};

TEST_P(NumberLocale, TheLocaleReallyUsesAComma)
{
    if (!GetParam())
        GTEST_SKIP();
    EXPECT_EQ(QLocale().decimalPoint(), QStringLiteral(","));
    if (std::strcmp(std::localeconv()->decimal_point, ",") != 0)
        GTEST_SKIP() << "no comma-decimal C locale";
    char Buf[16];
    std::snprintf(Buf, sizeof Buf, "%.1f", 1.5);
    EXPECT_STREQ(Buf, "1,5");
}

TEST_P(NumberLocale, StrToFloatUsesAPointAlways)
{
    EXPECT_DOUBLE_EQ(StrToFloat(S(" 12.50 ")), 12.5);
    EXPECT_DOUBLE_EQ(StrToFloat(S("-.5")), -0.5);
    EXPECT_DOUBLE_EQ(StrToFloat(S("3.")), 3.0);
    EXPECT_DOUBLE_EQ(StrToFloat(S("1.5E3")), 1500.0);
    EXPECT_DOUBLE_EQ(StrToFloat(S("2e-2")), 0.02);
    EXPECT_EQ(ErrorOf([] { StrToFloat(S("12,50")); }), S("“12,50”不是有效的数值。"));
    EXPECT_EQ(ErrorOf([] { StrToFloat(S("1,234.5")); }), S("“1,234.5”不是有效的数值。"));
    EXPECT_EQ(ErrorOf([] { StrToFloat(S(".")); }), S("“.”不是有效的数值。"));
    EXPECT_EQ(ErrorOf([] { StrToFloat(S("1e")); }), S("“1e”不是有效的数值。"));
    EXPECT_EQ(ErrorOf([] { StrToFloat(S("")); }), S("“”不是有效的数值。"));
    EXPECT_EQ(ErrorOf([] { StrToFloat(S("1e999")); }), S("“1e999”不是有效的数值。"));
    EXPECT_DOUBLE_EQ(StrToFloatDef(S("abc"), 2.5), 2.5);
}

TEST_P(NumberLocale, FloatToStrGivesFifteenDigits)
{
    EXPECT_EQ(FloatToStr(0.1 + 0.2), S("0.3"));
    EXPECT_EQ(FloatToStr(-2.5), S("-2.5"));
    EXPECT_EQ(FloatToStr(0), S("0"));
    EXPECT_EQ(FloatToStr(1e15), S("1E15"));
    EXPECT_EQ(FloatToStr(123456789012345.0), S("123456789012345"));
    EXPECT_EQ(FloatToStr(0.0001), S("0.0001"));
    EXPECT_EQ(FloatToStr(0.00001), S("1E-5"));
    EXPECT_EQ(FloatToStr(1.5e-7), S("1.5E-7"));
    EXPECT_EQ(FloatToStr(2.0 / 3.0), S("0.666666666666667"));
}

TEST_P(NumberLocale, FormatFloatPlaceholdersAndSections)
{
    struct Case {
        const char *Format;
        double Value;
        const char *Expected;
    };
    const Case Cases[] = {
        {"0", 1234, "1234"},          {"0", 0.5, "1"},
        {"0.00", -1234, "-1234.00"},  {"0.00", 0.5, "0.50"},
        {"#.##", 0.5, ".5"},          {"#.##", 0, ""},
        {"0.##", 1.5, "1.5"},         {"0.##", 2, "2"},
        {"#,##0.00", 1234567.891, "1,234,567.89"},
        {"#,##0.00", -1234, "-1,234.00"},
        {"#,##0", -999.5, "-1,000"},
        {"00000", 42, "00042"},
        {"#,##0.00;(#,##0.00)", -1234, "(1,234.00)"},
        {"#,##0.00;(#,##0.00)", -0.001, "0.00"},
        {"#,##0.00;;Zero", 0, "Zero"},
        {"#,##0.00;;Zero", 0.004, "Zero"},
        {"0.000E+00", 1234, "1.234E+03"},
        {"0.000E+00", 0.5, "5.000E-01"},
        {"#.###E-0", 0.5, "5E-1"},
        {"#.###E-0", 0, "0E0"},
        {"0.0E+00", 0.000123, "1.2E-04"},
        {"\"¥\"#,##0.00", 1234.5, "¥1,234.50"},
        {"'单价：'0.00元", 12.3, "单价：12.30元"},
        {"0.00%", 12.3, "12.30%"},
        {"0.00", -0.001, "0.00"},
        {"0.00", 1e20, "1E20"},
        {"", 2.5, "2.5"},
    };
    for (const Case &C : Cases)
        EXPECT_EQ(FormatFloat(S(C.Format), C.Value), S(C.Expected)) << C.Format << " " << C.Value;
}

TEST_P(NumberLocale, FormatFloatRoundsTheWrittenDecimalHalfAwayFromZero)
{
    // 1.005 is stored a little below 1.005; the 15-digit decimal is what counts.
    EXPECT_EQ(FormatFloat(S("0.00"), 1.005), S("1.01"));
    EXPECT_EQ(FormatFloat(S("0.00"), -1.005), S("-1.01"));
    EXPECT_EQ(FormatFloat(S("0.00"), 2.675), S("2.68"));
    EXPECT_EQ(FormatFloat(S("0.00"), 0.125), S("0.13"));
    EXPECT_EQ(FormatFloat(S("0.00"), 9.995), S("10.00"));
    EXPECT_EQ(FormatFloat(S("0"), 2.5), S("3"));
    EXPECT_EQ(FormatFloat(S("0"), -0.5), S("-1"));
    EXPECT_EQ(FormatFloat(S("0.00"), 0.1 + 0.2), S("0.30"));
    EXPECT_EQ(FormatFloat(S("0.00"), 123456789012.345), S("123456789012.35"));
}

TEST_P(NumberLocale, FormatGivesPrintfStyleTexts)
{
    EXPECT_EQ(Format(S("%.2f"), {1.005}), S("1.01"));
    EXPECT_EQ(Format(S("%d件 %s"), {3, S("产品")}), S("3件 产品"));
    EXPECT_EQ(Format(S("[%5d|%-4s|%x|%.3d]"), {42, S("ab"), 255, 7}), S("[   42|ab  |FF|007]"));
    EXPECT_EQ(Format(S("%n"), {1234567.5}), S("1,234,567.50"));
    EXPECT_EQ(Format(S("%1:s-%0:s"), {S("a"), S("b")}), S("b-a"));
    EXPECT_EQ(Format(S("100%%"), {}), S("100%"));
    // The precision of %e counts all digits.
    EXPECT_EQ(Format(S("%.3e"), {1234.5}), S("1.23E+003"));
    EXPECT_EQ(ErrorOf([] { Format(S("%d"), {S("x")}); }), S("Format '%d' invalid or incompatible with argument"));
    EXPECT_EQ(ErrorOf([] { Format(S("%s %s"), {S("x")}); }),
              S("Format '%s %s' invalid or incompatible with argument"));
}

INSTANTIATE_TEST_SUITE_P(Locales, NumberLocale, ::testing::Values(false, true),
                         [](const auto &Info) { return std::string(Info.param ? "CommaDecimal" : "Plain"); });

TEST(Conversions, RoundTruncAndMulDiv)
{
    EXPECT_EQ(Round(2.5), 2);
    EXPECT_EQ(Round(3.5), 4);
    EXPECT_EQ(Round(-2.5), -2);
    EXPECT_EQ(Round(0.5), 0);
    EXPECT_EQ(Round(1.4999999), 1);
    EXPECT_EQ(Round(-1.6), -2);
    EXPECT_EQ(Trunc(-1.9), -1);
    EXPECT_EQ(Trunc(1.9), 1);
    EXPECT_THROW(Round(std::nan("")), EInvalidOperation);
    EXPECT_THROW(Trunc(1e300), EInvalidOperation);
    EXPECT_EQ(MulDiv(10, 3, 4), 8);      // 7.5 rounds away from zero
    EXPECT_EQ(MulDiv(-10, 3, 4), -8);
    EXPECT_EQ(MulDiv(10, 1, 3), 3);
    EXPECT_EQ(MulDiv(5, 1, 0), -1);
    EXPECT_EQ(MulDiv(2000000000, 2, 1), -1);   // no 32-bit result
    EXPECT_EQ(MulDiv(2000000000, 3, 3), 2000000000); // 64-bit intermediate
}

TEST(Strings, OneBasedRoutines)
{
    EXPECT_EQ(Trim(S("\t 价格 \r\n")), S("价格"));
    EXPECT_EQ(TrimLeft(S("  a ")), S("a "));
    EXPECT_EQ(TrimRight(S("  a ")), S("  a"));
    EXPECT_EQ(Pos(S("格"), S("价格")), 2);
    EXPECT_EQ(Pos(S("x"), S("价格")), 0);
    EXPECT_EQ(Pos(S(""), S("abc")), 0);
    EXPECT_EQ(Copy(S("abcdef"), 2, 3), S("bcd"));
    EXPECT_EQ(Copy(S("abcdef"), 0, 2), S("ab"));
    EXPECT_EQ(Copy(S("abcdef"), 5, 100), S("ef"));
    EXPECT_EQ(Copy(S("abcdef"), 7, 1), S(""));
    EXPECT_EQ(Copy(S("abcdef"), 2, -1), S(""));
    EXPECT_EQ(UpperCase(S("abc价ä")), S("ABC价ä"));
    EXPECT_TRUE(SameText(S("Price=1"), S("PRICE=1")));
    EXPECT_LT(CompareText(S("a"), S("B")), 0);
    EXPECT_GT(CompareStr(S("a"), S("B")), 0);
    EXPECT_EQ(QuotedStr(S("it's")), S("'it''s'"));
    EXPECT_EQ(StringReplace(S("aXbxc"), S("x"), S("-"), rfReplaceAll | rfIgnoreCase), S("a-b-c"));
    EXPECT_EQ(StringReplace(S("axbxc"), S("x"), S("-"), 0), S("a-bxc"));
    EXPECT_EQ(IntToHex(255, 4), S("00FF"));
}

TEST(Dates, EncodeDecodeAndFormat)
{
    EXPECT_DOUBLE_EQ(EncodeDate(1899, 12, 30), 0.0);
    EXPECT_DOUBLE_EQ(EncodeDate(2000, 1, 1), 36526.0);
    EXPECT_EQ(ErrorOf([] { EncodeDate(2007, 2, 29); }), S("Invalid argument to date encode"));
    EXPECT_EQ(ErrorOf([] { EncodeTime(24, 0, 0, 0); }), S("Invalid argument to time encode"));
    EXPECT_TRUE(IsValidDate(2008, 2, 29));
    EXPECT_FALSE(IsValidDate(0, 1, 1));

    const TDateTime T = EncodeDate(2007, 4, 15) + EncodeTime(18, 30, 10, 5);
    int Y, M, D, H, N, Sec, Ms;
    DecodeDate(T, Y, M, D);
    DecodeTime(T, H, N, Sec, Ms);
    EXPECT_EQ((std::vector<int>{Y, M, D, H, N, Sec, Ms}), (std::vector<int>{2007, 4, 15, 18, 30, 10, 5}));
    EXPECT_EQ(FormatDateTime(S("yyyy-mm-dd hh:nn:ss.zzz"), T), S("2007-04-15 18:30:10.005"));
    EXPECT_EQ(FormatDateTime(S("yy/m/d h:mm"), T), S("07-4-15 18:30"));
    EXPECT_EQ(FormatDateTime(S("h:nn am/pm"), T), S("6:30 pm"));
    EXPECT_EQ(FormatDateTime(S("\"日期\"yyyy'年'"), T), S("日期2007年"));
    EXPECT_EQ(DateToStr(T), S("2007-4-15"));
    EXPECT_EQ(TimeToStr(T), S("18:30:10"));
    EXPECT_EQ(DateTimeToStr(EncodeDate(2007, 4, 15)), S("2007-4-15"));
    EXPECT_DOUBLE_EQ(StrToDate(S("2007/4/15")), EncodeDate(2007, 4, 15));
    EXPECT_THROW(StrToDate(S("2007-2-30")), EConvertError);

    // Before 1899-12-30 the fraction still counts forward from midnight.
    DecodeDate(-1.25, Y, M, D);
    DecodeTime(-1.25, H, N, Sec, Ms);
    EXPECT_EQ((std::vector<int>{Y, M, D, H}), (std::vector<int>{1899, 12, 29, 6}));
}

// The short date settings of a few locales; the program's own settings come back after each test.
class DateLocale : public ::testing::Test {
protected:
    void TearDown() override { LoadDateSettings(QLocale::c()); }
    static void Load(const char *Name) { LoadDateSettings(QLocale(QString::fromLatin1(Name))); }
};

TEST_F(DateLocale, ShortDateFollowsTheLocaleAndReadsBackWhatItWrites)
{
    const TDateTime T = EncodeDate(2007, 4, 15);
    const struct {
        const char *Locale, *Format, *Written;
        char16_t Separator;
        const char *Order;
    } Cases[] = {
        {"de_DE", "dd.mm.yyyy", "15.04.2007", u'.', "dmy"},
        {"en_US", "m/d/yyyy", "4/15/2007", u'/', "mdy"},
        {"zh_CN", "yyyy/m/d", "2007/4/15", u'/', "ymd"},
        {"ko_KR", "yyyy. m. d.", "2007. 4. 15.", u'.', "ymd"},
        {"nl_NL", "dd-mm-yyyy", "15-04-2007", u'-', "dmy"},
        {"ar_EG", "d/m/yyyy", "15/4/2007", u'/', "dmy"},      // without the direction marks
        {"bg_BG", "d.mm.yyyy", "15.04.2007", u'.', "dmy"},    // without the year word
        {"C", "yyyy-m-d", "2007-4-15", u'-', "ymd"},          // names the month: the program's own
    };
    for (const auto &C : Cases) {
        SCOPED_TRACE(C.Locale);
        Load(C.Locale);
        EXPECT_EQ(ShortDateFormat, S(C.Format));
        EXPECT_EQ(DateSeparator, QChar(C.Separator));
        EXPECT_EQ(DateOrder(ShortDateFormat), S(C.Order));
        EXPECT_EQ(DateToStr(T), S(C.Written));
        EXPECT_EQ(DateTimeToStr(T + EncodeTime(9, 5, 0, 0)), S(C.Written) + S(" 09:05:00"));
        // Every date reads back as written, its century included.
        for (const TDateTime D : {T, EncodeDate(1930, 1, 5), EncodeDate(2049, 12, 31), EncodeDate(2024, 2, 29)}) {
            TDateTime Back = 0;
            EXPECT_TRUE(TryStrToDate(DateToStr(D), Back)) << DateToStr(D).toStdString();
            EXPECT_DOUBLE_EQ(Back, D);
        }
        // The stored form stays the same and stays readable.
        EXPECT_EQ(StoredDateToStr(T), S("2007-4-15"));
        EXPECT_DOUBLE_EQ(StrToDate(S("2007-4-15")), T);
        EXPECT_DOUBLE_EQ(StrToDate(S("2007/4/15")), T);
    }
    // Short numbers in the locale's order, with a two-digit year.
    Load("de_DE");
    EXPECT_DOUBLE_EQ(StrToDate(S("5.4.07")), EncodeDate(2007, 4, 5));
    EXPECT_THROW(StrToDate(S("31.4.2007")), EConvertError);
    Load("en_US");
    EXPECT_DOUBLE_EQ(StrToDate(S("4/5/99")), EncodeDate(1999, 4, 5));
    TDateTime D = 0;
    EXPECT_FALSE(TryStrToDate(S("15/4/2007"), D));   // no month 15
}

TEST(Dates, DosFileDates)
{
    const TDateTime T = EncodeDate(2007, 4, 15) + EncodeTime(18, 30, 11, 0);
    const quint32 Dos = DateTimeToFileDate(T);
    EXPECT_EQ(Dos, (quint32((2007 - 1980) << 9 | 4 << 5 | 15) << 16) | quint32(18 << 11 | 30 << 5 | 5));
    EXPECT_DOUBLE_EQ(FileDateToDateTime(Dos), EncodeDate(2007, 4, 15) + EncodeTime(18, 30, 10, 0));
    EXPECT_EQ(DateTimeToFileDate(EncodeDate(1970, 1, 1)), 0u);
    EXPECT_EQ(FileDateToDateTime(0xFFFFFFFF), 0.0);   // damaged stamp

    int Y = 0, M = 0, D = 0, H = 0, N = 0, Sec = 0;
    DecodeFileDate(Dos, Y, M, D, H, N, Sec);
    EXPECT_EQ((std::vector<int>{Y, M, D, H, N, Sec}), (std::vector<int>{2007, 4, 15, 18, 30, 10}));
    EXPECT_EQ(EncodeFileDate(Y, M, D, H, N, 11), Dos);

    // POSIX times: a stamp round-trips; times before 1980 take the earliest stamp,
    // years after 2107 the last year; impossible fields carry over.
    EXPECT_EQ(UnixTimeToFileDate(FileDateToUnixTime(Dos)), Dos);
    EXPECT_EQ(UnixTimeToFileDate(0), EncodeFileDate(1980, 1, 1, 0, 0, 0));
    const quint32 Late = UnixTimeToFileDate(FileDateToUnixTime(EncodeFileDate(2107, 6, 1, 12, 0, 0)) + 2LL * 366 * 86400);
    DecodeFileDate(Late, Y, M, D, H, N, Sec);
    EXPECT_EQ(Y, 2107);
    EXPECT_EQ(UnixTimeToFileDate(FileDateToUnixTime(EncodeFileDate(2007, 2, 31, 8, 0, 0))), EncodeFileDate(2007, 3, 3, 8, 0, 0));
}

TEST(Dates, QtDateTimesKeepTheMillisecond)
{
    const TDateTime T = EncodeDate(2007, 4, 15) + EncodeTime(18, 30, 10, 250);
    const QDateTime Q = DateTimeToQDateTime(T);
    EXPECT_EQ(Q, QDateTime(QDate(2007, 4, 15), QTime(18, 30, 10, 250)));
    EXPECT_DOUBLE_EQ(QDateTimeToDateTime(Q), T);
    EXPECT_THROW(QDateTimeToDateTime(QDateTime()), EConvertError);
}

TEST(CommandLine, ParamsComeFromSetParams)
{
    SetParams({S("/opt/quillbook/quillbook"), S("页面.qbt"), S("-x")});
    EXPECT_EQ(ParamCount(), 2);
    EXPECT_EQ(ParamStr(0), S("/opt/quillbook/quillbook"));
    EXPECT_EQ(ParamStr(1), S("页面.qbt"));
    EXPECT_EQ(ParamStr(3), S(""));
    SetParams({});
    EXPECT_EQ(ParamCount(), 0);
}

} // namespace
