// The RTF reader and writer: hand-written fixtures read to the text another
// converter (unrtf) finds in them, writer-to-reader round trips, our writer's
// output read by unrtf, and damaged input.

#include "platform/core/Codec.h"
#include "platform/core/RichText.h"

#include "TestSupport.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QRegularExpression>

namespace {

// Every run of white space (non-breaking spaces too) becomes one space.
QString Words(QString S)
{
    S.replace(QChar(0x00A0), QLatin1Char(' '));
    return S.simplified();
}

// The text unrtf's HTML output shows: the body, tags dropped, entities decoded.
QString UnrtfText(const QString &RtfFile)
{
    TestSupport::TempDir Work;   // unrtf writes pictures into its working folder
    QByteArray Out;
    const int Code = TestSupport::RunProgram(QStringLiteral("unrtf"), {QStringLiteral("--html"), RtfFile}, &Out,
                                             Work.Path());
    EXPECT_EQ(Code, 0) << Out.constData();
    QString Html = QString::fromUtf8(Out);
    const qsizetype Body = Html.indexOf(QStringLiteral("<body>"));
    const qsizetype End = Html.lastIndexOf(QStringLiteral("</body>"));
    if (Body < 0 || End < 0)
        return QString();
    Html = Html.mid(Body + 6, End - Body - 6);
    Html.remove(QRegularExpression(QStringLiteral("<!--.*?-->"), QRegularExpression::DotMatchesEverythingOption));
    Html.replace(QRegularExpression(QStringLiteral("<br\\s*/?>")), QStringLiteral("\n"));
    Html.remove(QRegularExpression(QStringLiteral("<[^>]*>")));
    QString Text;
    static const QRegularExpression Entity(QStringLiteral("&(#(\\d+)|[a-zA-Z]+);"));
    qsizetype Pos = 0;
    for (auto It = Entity.globalMatch(Html); It.hasNext();) {
        const auto M = It.next();
        Text += Html.mid(Pos, M.capturedStart() - Pos);
        Pos = M.capturedEnd();
        if (!M.captured(2).isEmpty()) {
            const uint Code = M.captured(2).toUInt();
            Text += QString::fromUcs4(reinterpret_cast<const char32_t *>(&Code), 1);
            continue;
        }
        static const QHash<QString, QString> Named{{"nbsp", QString(QChar(0xA0))}, {"euro", QString(QChar(0x20AC))},
                                                  {"amp", "&"},  {"lt", "<"},  {"gt", ">"},  {"quot", "\""}};
        EXPECT_TRUE(Named.contains(M.captured(1))) << M.captured(1).toStdString();
        Text += Named.value(M.captured(1));
    }
    Text += Html.mid(Pos);
    return Text;
}

QString FixtureFile(const QString &Name)
{
    return TestSupport::SourceDir() + QStringLiteral("/tests/fixtures/rtf/") + Name;
}

TRtfDocument ReadFile(const QString &FileName)
{
    return Rtf::Read(TestSupport::ReadAll(FileName));
}

} // namespace

TEST(RichText, FixturesReadToTheTextUnrtfFinds)
{
    ASSERT_TRUE(TestSupport::HaveProgram(QStringLiteral("unrtf")));
    const QString Names[] = {"cp936.rtf", "unicode.rtf", "escapes.rtf", "groups.rtf"};
    for (const QString &Name : Names) {
        const QString File = FixtureFile(Name);
        const TRtfDocument D = ReadFile(File);
        EXPECT_FALSE(D.Damaged) << Name.toStdString();
        EXPECT_EQ(Words(D.PlainText()), Words(UnrtfText(File))) << Name.toStdString();
    }
    // What the fixtures hold, stated once: code page 936 and 1252 bytes,
    // \uN with its fallback skipped, escapes, skipped destinations.
    EXPECT_EQ(ReadFile(FixtureFile("cp936.rtf")).PlainText(),
              QStringLiteral("中文产品 bold and italic\r\nPrice: 12€"));
    EXPECT_EQ(ReadFile(FixtureFile("unicode.rtf")).PlainText(), QStringLiteral("Unicode 中文 and € euro\r\n目录 list"));
    EXPECT_EQ(ReadFile(FixtureFile("escapes.rtf")).PlainText(),
              QStringLiteral("Braces { and } and a backslash \\ here\r\nNon\u00A0breaking\ttabbed\nnext line"));
    EXPECT_EQ(ReadFile(FixtureFile("groups.rtf")).PlainText(),
              QStringLiteral("Outer text nested deeper back out done.\r\nAfter  visible kept end"));

    // Formatting of the runs: bold red, the font table's code page 936 name.
    const TRtfDocument D = ReadFile(FixtureFile("cp936.rtf"));
    ASSERT_EQ(D.Paragraphs.size(), 2u);
    const TRtfRun &Bold = D.Paragraphs[0].Runs.at(1);
    EXPECT_EQ(Bold.Text, QStringLiteral("bold"));
    EXPECT_TRUE(Bold.Format.Bold);
    EXPECT_EQ(Bold.Format.Color, 0x0000FF);
    EXPECT_EQ(Bold.Format.FontName, QStringLiteral("宋体"));
    EXPECT_EQ(Bold.Format.FontSize, 24);
    EXPECT_EQ(D.Paragraphs[1].Alignment, TRtfAlignment::Center);
    EXPECT_EQ(D.Paragraphs[1].Runs.at(0).Format.FontName, QStringLiteral("Arial"));
}

TEST(RichText, WriterRoundTripsAndUnrtfReadsItsOutput)
{
    TRtfDocument Doc;
    TRtfParagraph P1;
    P1.Alignment = TRtfAlignment::Right;
    P1.LeftIndent = 360;
    TRtfCharFormat Bold;
    Bold.Bold = true;
    Bold.FontName = QStringLiteral("宋体");
    Bold.FontSize = 28;
    TRtfCharFormat Coloured;
    Coloured.Italic = true;
    Coloured.Color = 0x00FF00;
    Coloured.Highlight = 0x00FFFF;
    Coloured.Underline = true;
    P1.Runs = {TRtfRun{QStringLiteral("价格 {a\\b}"), Bold}, TRtfRun{QStringLiteral(" 彩色 text"), Coloured}};
    TRtfParagraph P2;
    P2.Alignment = TRtfAlignment::Center;
    TRtfCharFormat Struck;
    Struck.Strike = true;
    // A character code page 936 lacks (written as GB18030 bytes) and one outside the BMP.
    P2.Runs = {TRtfRun{QStringLiteral("€ \u20A9 \U0001F600 line\nbreak\ttab"), Struck}};
    TRtfParagraph Empty;
    Doc.Paragraphs = {P1, Empty, P2};

    const QString Written = Rtf::Write(Doc);
    for (QChar C : Written)
        ASSERT_LT(C.unicode(), 0x80) << "the writer writes ASCII only";
    const TRtfDocument Back = Rtf::Read(Written);
    EXPECT_FALSE(Back.Damaged);
    ASSERT_EQ(Back.Paragraphs.size(), 3u);
    EXPECT_EQ(Back.Paragraphs[0], P1);
    EXPECT_EQ(Back.Paragraphs[1].Text(), QString());
    EXPECT_EQ(Back.Paragraphs[2], P2);

    // Another reader finds the same text in it.
    TestSupport::TempDir Dir;
    const QString File = Dir.File(QStringLiteral("written.rtf"));
    TestSupport::WriteAll(File, Written.toLatin1());
    QString Expected = Doc.PlainText();
    Expected.remove(QStringLiteral("\U0001F600"));   // unrtf drops characters beyond the BMP
    QString Theirs = UnrtfText(File);
    Theirs.remove(QStringLiteral("\U0001F600"));
    EXPECT_EQ(Words(Theirs), Words(Expected));
}

TEST(RichText, DamagedInputKeepsItsTextWithinBounds)
{
    // No RTF at all: the text as it is.
    TRtfDocument D = Rtf::Read(QStringLiteral("plain\r\nlines"));
    EXPECT_TRUE(D.Damaged);
    EXPECT_EQ(D.PlainText(), QStringLiteral("plain\r\nlines"));

    // Unbalanced groups, stray closing braces, cut escapes.
    D = Rtf::Read(QStringLiteral("{\\rtf1 one {\\b two} } } three {\\i four\\'4"));
    EXPECT_TRUE(D.Damaged);
    EXPECT_EQ(Words(D.PlainText()), QStringLiteral("one two three four"));

    // Deep nesting: no recursion, no stack of that size, the text kept.
    QString Deep = QStringLiteral("{\\rtf1 ");
    for (int I = 0; I < 100000; ++I)
        Deep += QStringLiteral("{\\b ");
    Deep += QStringLiteral("deep");
    for (int I = 0; I < 100000; ++I)
        Deep += QLatin1Char('}');
    Deep += QStringLiteral(" after}");
    D = Rtf::Read(Deep);
    EXPECT_TRUE(D.Damaged);
    EXPECT_EQ(D.PlainText(), QStringLiteral("deep after"));

    // Absurd numbers are clamped; \bin never reads past the end; long words end.
    D = Rtf::Read(QStringLiteral("{\\rtf1\\fs99999999999999999 big\\cf-5 \\uc999999999 \\u99999999 x"
                                 "\\aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaa y\\bin999999999 z}"));
    ASSERT_FALSE(D.Paragraphs.empty());
    EXPECT_EQ(D.Paragraphs[0].Runs.at(0).Format.FontSize, 3276);
    EXPECT_TRUE(D.PlainText().startsWith(QStringLiteral("big")));

    // A cut double-byte character and a byte that forms none keep the rest.
    D = Rtf::Read(QStringLiteral("{\\rtf1\\ansi\\ansicpg936 \\'d6\\'d0\\'d6 ok}"));
    EXPECT_TRUE(D.PlainText().startsWith(QStringLiteral("中")));
    EXPECT_TRUE(D.PlainText().endsWith(QStringLiteral("ok")));
}
