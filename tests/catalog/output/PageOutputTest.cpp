// Template expansion and the HTML folder, preview and page-copy outputs.

#include "OutputFixture.h"
#include "catalog/document/Package.h"
#include "catalog/output/HtmlText.h"
#include "catalog/output/MhtWriter.h"
#include "catalog/output/WebEffects.h"
#include "platform/core/Codec.h"
#include "platform/core/Types.h"

#include <QMap>
#include <QRegularExpression>
#include <QUrl>

#include <sys/stat.h>
#include <unistd.h>

using namespace OutputFixture;

TEST(TemplateExpansion, TokensValuesBracesAndSelfReference)
{
    auto Lookup = [](const QString &T) {
        if (T == QStringLiteral("{$A}"))
            return QStringLiteral("x");
        if (T == QStringLiteral("{$LOOP}"))
            return QStringLiteral("again {$LOOP}");
        return QString();
    };
    int Unpaired = 0;
    auto Count = [&] { ++Unpaired; };
    EXPECT_EQ(TPageOutput::ExpandLine(QStringLiteral("a{$A}b{$A}{$none}c"), Lookup, Count), QStringLiteral("axbxc"));
    EXPECT_EQ(TPageOutput::ExpandLine(QStringLiteral("open { only"), Lookup, Count), QStringLiteral("open { only"));
    // A value that holds its own token ends.
    EXPECT_EQ(TPageOutput::ExpandLine(QStringLiteral("<{$LOOP}>"), Lookup, Count), QStringLiteral("<again {$LOOP}>"));
    EXPECT_EQ(Unpaired, 0);
    // "}" before "{": reported, the line kept as it stands.
    EXPECT_EQ(TPageOutput::ExpandLine(QStringLiteral("a } {$A}"), Lookup, Count), QStringLiteral("a } {$A}"));
    EXPECT_EQ(Unpaired, 1);
}

TEST(TemplateExpansion, ValuesInsideAttributesCannotEndTheirTag)
{
    // Where each placeholder stands, in expansion order: quoted, unquoted and
    // multi-line attributes; text and a tag's own place between its
    // attributes; comments, scripts and titles, whose content is text.
    const QStringList Template{
        QStringLiteral("<img alt=\"{$A}\" title='{$A}' width={$A}><b>{$A}</b> <body {$GBIMG} x=\"{$A}\">"),
        QStringLiteral("<a href=\"{$A}"),
        QStringLiteral("{$A}\">{$A}</a><!-- <i title=\"{$A}\"> --><title>a<b title=\"{$A}\"></title>"),
        QStringLiteral("<script>if (a<b) x = \"{$A}\";</script ><p class=\"{$A}\"></p>"),
        QStringLiteral("<td width=\"{$A}}{$A}\">} {$A}"),
    };
    const auto Places = HtmlText::AttributePlaces(Template);
    using namespace HtmlText;
    ASSERT_EQ(Places->size(), 5);
    EXPECT_EQ(Places->at(0), (QList<TPlace>{plAttribute, plAttribute, plAttribute, plText, plText, plAttribute}));
    EXPECT_EQ(Places->at(1), QList<TPlace>{plAttribute});
    EXPECT_EQ(Places->at(2), (QList<TPlace>{plAttribute, plText, plRawText, plRawText}));
    EXPECT_EQ(Places->at(3), (QList<TPlace>{plRawText, plAttribute}));
    // After "}" before the next "{" the expansion stops: so does the scan.
    EXPECT_EQ(Places->at(4), QList<TPlace>{plAttribute});
    EXPECT_EQ(HtmlText::AttributePlaces(Template).get(), Places.get());

    // Tags and comments go, what could end the value or the tag is escaped;
    // character references stay.
    EXPECT_EQ(HtmlText::AttributeValue(QStringLiteral("<font color=\"a>b\">特价</font>茶杯<br/><!-- x -->")),
              QStringLiteral("特价茶杯"));
    EXPECT_EQ(HtmlText::AttributeValue(QStringLiteral("5\" x 3' <2> a<b & c&amp;d&#39;&#x1F600;&nbsp;&x")),
              QStringLiteral("5&quot; x 3&#39; &lt;2&gt; a&lt;b &amp; c&amp;d&#39;&#x1F600;&nbsp;&amp;x"));
    // A long pasted text full of "<" and comment starts that never end, with
    // one tag before them: read through once (each "<" looked to the end of
    // the text before, hours at this length).
    const QString Open = QStringLiteral("<b>x</b>") + QString(200000, QLatin1Char('<')).replace(QStringLiteral("<<"), QStringLiteral("<a"))
        + QStringLiteral("<!--").repeated(50000);
    const QString Plain = HtmlText::AttributeValue(Open);
    EXPECT_EQ(Plain.size(), 1 + 100000 * 5 + 50000 * 7);
    EXPECT_TRUE(Plain.startsWith(QStringLiteral("x&lt;a&lt;a")));
    // Tags that never end because a quoted value at the end runs past the
    // last ">": each "<" is still read as text, and the text looked through once.
    const QString Unended = QStringLiteral("<b").repeated(100000) + QStringLiteral("=\">");
    EXPECT_EQ(HtmlText::AttributeValue(Unended), QStringLiteral("&lt;b").repeated(100000) + QStringLiteral("=&quot;&gt;"));

    // In a title, a script or a comment a value is text: its tags go, and
    // nothing of it can end the element; references stay references.
    EXPECT_EQ(HtmlText::RawTextValue(QStringLiteral("<b>春季</b>新品</title><script>x</script> a<b & c&amp;d \"'")),
              QStringLiteral("春季新品x a&lt;b &amp; c&amp;d \"'"));
    EXPECT_EQ(HtmlText::RawTextValue(QStringLiteral("--> <!-- x")), QStringLiteral("--&gt; &lt;!-- x"));
    // The text a name shows, for a file name made of it.
    EXPECT_EQ(HtmlText::PlainText(QStringLiteral("春季<b>新品<b>目录&amp;&lt;&#47;&#x1F600;&nbsp;&bogus;&#0;")),
              QStringLiteral("春季新品目录&</😀 &bogus;&#0;"));
    {
        const QString Title = QStringLiteral("<title>{$N}</title><p>{$N}</p>");
        const auto TitlePlaces = HtmlText::AttributePlaces({Title});
        EXPECT_EQ(TPageOutput::ExpandLine(Title, [](const QString &) { return QStringLiteral("<b>春</b></title>&"); }, {},
                                          TitlePlaces->at(0)),
                  QStringLiteral("<title>春&amp;</title><p><b>春</b></title>&</p>"));
    }

    // In a line: the value in the attribute is plain, the same value in the
    // text stays as written, and the picture's address keeps its size attributes.
    auto Lookup = [](const QString &T) {
        return T == QStringLiteral("{$IMG}") ? QStringLiteral("a.jpg\" width=\"90") : QStringLiteral("<i>\"x\"</i>");
    };
    const QString Line = QStringLiteral("<img src=\"{$IMG}\" alt=\"{$N}\">{$N}");
    const auto LinePlaces = HtmlText::AttributePlaces({Line});
    EXPECT_EQ(TPageOutput::ExpandLine(Line, Lookup, {}, LinePlaces->at(0),
                                      [](const QString &T) { return T == QStringLiteral("{$IMG}"); }),
              QStringLiteral("<img src=\"a.jpg\" width=\"90\" alt=\"&quot;x&quot;\"><i>\"x\"</i>"));
}

TEST(TemplateExpansion, SmallHelpers)
{
    EXPECT_EQ(TPageOutput::FileBaseName(QStringLiteral("/x/y/book.v2.qbs")), QStringLiteral("book"));
    // No "." keeps the whole name: an empty base would make the output folder the root.
    EXPECT_EQ(TPageOutput::FileBaseName(QStringLiteral("/x/y/book")), QStringLiteral("book"));
    EXPECT_TRUE(QRegularExpression(QStringLiteral("^\\{[0-9A-F]{8}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{12}\\}$"))
                    .match(TPageOutput::NewGuidString())
                    .hasMatch());
    EXPECT_NE(TPageOutput::NewGuidString(), TPageOutput::NewGuidString());
    for (const char *Bad : {"", ".", "..", "a/b", "a\\b", "..\\x", "c:x"})
        EXPECT_FALSE(TPageOutput::IsSafeName(QString::fromUtf8(Bad))) << Bad;
    EXPECT_TRUE(TPageOutput::IsSafeName(QStringLiteral("目录 2007")));
    EXPECT_EQ(TPageOutput::PageOutputType(QStringLiteral(" MHT(单文件网页) ")), otMht);
    EXPECT_EQ(TPageOutput::PageOutputType(QStringLiteral("RAR")), otZip);
}

TEST(TemplateExpansion, EffectFragmentsStayInsideTheEffectsFolder)
{
    TSample S;
    EXPECT_TRUE(WebEffects::LoadEffectText(S.Exe, QStringLiteral("雪花"), QStringLiteral("body")).contains(QStringLiteral("qb-snow")));
    EXPECT_TRUE(WebEffects::LoadEffectText(S.Exe, QStringLiteral("雪花"), QStringLiteral("head")).contains(QStringLiteral("\r\n")));
    EXPECT_EQ(WebEffects::LoadEffectText(S.Exe, QStringLiteral("无效果"), QStringLiteral("head")), QString());
    WriteText(S.Temp.File(QStringLiteral("evilhead.txt")), {QStringLiteral("outside")});
    EXPECT_EQ(WebEffects::LoadEffectText(S.Exe, QStringLiteral(".."), QStringLiteral("head")), QString());
}

TEST(HtmlOutput, ManyPicturesOfOneNameKeepApart)
{
    TSample S;
    // A picture whose own name is one the numbering would give, then ten more a.jpg.
    TestSupport::WriteAll(S.PageDir + QStringLiteral("pics/a(3).jpg"), PictureBytes(QStringLiteral("own a(3)")));
    QStringList Images{QStringLiteral("pics\\a(3).jpg")};
    for (int K = 1; K <= 10; ++K) {
        QDir().mkpath(S.PageDir + QStringLiteral("d%1").arg(K));
        TestSupport::WriteAll(S.PageDir + QStringLiteral("d%1/a.jpg").arg(K), PictureBytes(QStringLiteral("d%1").arg(K)));
        Images << QStringLiteral("d%1\\a.jpg").arg(K);
    }
    for (int I = 0; I < Images.size(); ++I)
        S.Page << QStringLiteral("{$%1}").arg(4 + I) << QStringLiteral("{$IMG}=") + Images.at(I)
               << QStringLiteral("{$PID}=X%1").arg(I) << QStringLiteral("{$PNAME}=") << QStringLiteral("{$PPRICE}=1")
               << QStringLiteral("{$PUNIT}=") << QStringLiteral("{$PWEIGHT}=") << QStringLiteral("{$PSERIAL}=")
               << QStringLiteral("{$PNOTE}=");
    ASSERT_FALSE(S.Run(omHtml).isEmpty());
    const QString Images2 = S.D() + QStringLiteral("/images/");
    EXPECT_EQ(TestSupport::ReadAll(Images2 + QStringLiteral("a.jpg")), PictureBytes(QStringLiteral("other a")));
    EXPECT_EQ(TestSupport::ReadAll(Images2 + QStringLiteral("a(2).jpg")), PictureBytes(QStringLiteral("a")));
    EXPECT_EQ(TestSupport::ReadAll(Images2 + QStringLiteral("a(3).jpg")), PictureBytes(QStringLiteral("own a(3)")));
    for (int K = 1; K <= 10; ++K)
        EXPECT_EQ(TestSupport::ReadAll(Images2 + QStringLiteral("a(%1).jpg").arg(K + 3)), PictureBytes(QStringLiteral("d%1").arg(K)))
            << K;
    EXPECT_FALSE(QFileInfo::exists(Images2 + QStringLiteral("a(14).jpg")));
}

TEST(HtmlOutput, FolderFilesAndExpandedPlaceholders)
{
    TSample S;
    // A custom pair wins in head and tail, not in the body.
    WriteText(S.Exe + QStringLiteral("cols3.dat"),
              {QStringLiteral("{$CATA_NAME}=自定义名称"), QStringLiteral("{$PNAME}=不用于商品")});
    const QString Result = S.Run(omHtml);
    EXPECT_EQ(Result, S.D() + QStringLiteral("/P001.htm"));
    ASSERT_TRUE(QFileInfo(Result).isFile());
    const QString Html = ReadText(Result);

    // Head and tail pairs.
    EXPECT_TRUE(Html.contains(QStringLiteral("<title>自定义名称</title>")));
    EXPECT_FALSE(Html.contains(QStringLiteral("春季新品目录")));
    // Who the catalogue is for and who it is from; the customer's company has its own label.
    EXPECT_TRUE(Html.contains(QStringLiteral("To: 李四 From: <b>清风茶具公司</b>")));
    EXPECT_TRUE(Html.contains(QStringLiteral("客户公司：李氏贸易")));
    EXPECT_TRUE(Html.contains(QStringLiteral("清风茶具公司")));
    EXPECT_TRUE(Html.contains(QStringLiteral("100000")));
    EXPECT_FALSE(Html.contains(QStringLiteral("ignored")));
    EXPECT_TRUE(Html.contains(QStringLiteral("background=\"images/bg.jpg\"")));
    EXPECT_TRUE(Html.contains(QStringLiteral("qb-snow")));       // the effect's fragments
    EXPECT_TRUE(Html.contains(QStringLiteral("Quillbook")));     // the credit line
    EXPECT_FALSE(Html.contains(QStringLiteral("{$"))) << "an unexpanded token is left";

    // Body: pictures with width and height, percentages, IDs in page-line order.
    // Product 2 comes first and keeps the name a.jpg; product 1's a.jpg gets a new one.
    EXPECT_TRUE(Html.contains(QStringLiteral("src=\"images/a.jpg\" width=\"120\" height=\"90\"")));
    EXPECT_TRUE(Html.contains(QStringLiteral("src=\"images/a(2).jpg\" width=\"120\" height=\"90\"")));
    EXPECT_TRUE(Html.contains(QStringLiteral("src=\"images/杯子.gif\"")));
    EXPECT_TRUE(Html.contains(QStringLiteral("width=\"75%\"")));
    EXPECT_TRUE(Html.contains(QStringLiteral("width=\"25%\"")));
    EXPECT_TRUE(Html.contains(QStringLiteral("<b>茶杯</b>")));
    const qsizetype Pot = Html.indexOf(QStringLiteral("id=\"C6R21\""));
    const qsizetype Cup = Html.indexOf(QStringLiteral("id=\"C6R20\""));
    ASSERT_GE(Pot, 0);
    ASSERT_GE(Cup, 0);
    EXPECT_LT(Pot, Cup);
    EXPECT_TRUE(Html.contains(QStringLiteral("id=\"C7R30\">0</span>"))) << "a blank weight reads 0";
    EXPECT_TRUE(Html.contains(QStringLiteral("id=\"C7R31\">450</span>")));
    // The return link replaces the last marker cell only.
    EXPECT_EQ(Html.count(QStringLiteral("window.history.go(-1)>返回</a>")), 1);
    EXPECT_EQ(Html.count(QStringLiteral("         <TD>&nbsp; </TD>")), 2);

    // Pictures beside the page, the two a.jpg kept apart.
    EXPECT_EQ(TestSupport::ReadAll(S.D() + QStringLiteral("/images/a.jpg")), PictureBytes(QStringLiteral("other a")));
    EXPECT_EQ(TestSupport::ReadAll(S.D() + QStringLiteral("/images/a(2).jpg")), PictureBytes(QStringLiteral("a")));
    EXPECT_TRUE(QFileInfo(S.D() + QStringLiteral("/images/杯子.gif")).isFile());
    EXPECT_TRUE(QFileInfo(S.D() + QStringLiteral("/images/bg.jpg")).isFile());
    EXPECT_TRUE(QFileInfo(S.D() + QStringLiteral("/images/M_back.jpg")).isFile());
    EXPECT_EQ(S.Opened, QStringList{S.Root + QStringLiteral("P001/")});
    EXPECT_TRUE(S.Errors.isEmpty());
}

TEST(HtmlOutput, EnglishWithoutSizesAndEscapedPaths)
{
    TSample S;
    S.Set(QStringLiteral("{输出语言}"), QStringLiteral("英文"));
    S.Set(QStringLiteral("{图片宽}"), QStringLiteral("自动"));
    S.Set(QStringLiteral("{图片高}"), QStringLiteral("0"));
    S.Set(QStringLiteral("{客户名称}"), QString());
    TestSupport::WriteAll(S.PageDir + QStringLiteral("pics/x\"y.jpg"), PictureBytes(QStringLiteral("q")));
    S.Set(QStringLiteral("{背景图片}"), QStringLiteral("pics\\x\"y.jpg"));
    const QString Html = ReadText(S.Run(omHtml));
    EXPECT_TRUE(Html.contains(QStringLiteral("charset=iso-8859-1")));
    EXPECT_TRUE(Html.contains(QStringLiteral("src=\"images/a.jpg\" border")));
    EXPECT_FALSE(Html.contains(QStringLiteral("width=\"120")));
    EXPECT_FALSE(Html.contains(QStringLiteral("To: ")));
    EXPECT_TRUE(Html.contains(QStringLiteral("background=\"images/x&quot;y.jpg\"")));
    EXPECT_TRUE(Html.contains(QStringLiteral(">RETURN</a>")));
}

TEST(HtmlOutput, PictureNamesWithAddressCharactersStillNameTheirFiles)
{
    // "#", "?" and "%" mean something in an address: a reference that holds
    // them as they stand names another file (or none).
    TSample S;
    const QStringList Names{QStringLiteral("款#1.jpg"), QStringLiteral("50%41.jpg"), QStringLiteral("what?.gif")};
    QStringList Images = S.Page.filter(QStringLiteral("{$IMG}="));
    ASSERT_EQ(Images.size(), Names.size());
    for (int I = 0; I < Names.size(); ++I) {
        TestSupport::WriteAll(S.PageDir + QStringLiteral("pics/") + Names.at(I), PictureBytes(Names.at(I)));
        S.Page.replaceInStrings(Images.at(I), QStringLiteral("{$IMG}=pics\\") + Names.at(I));
    }
    const QString Page = S.Run(omHtml);
    const QString Html = ReadText(Page);
    static const QRegularExpression Src(QStringLiteral("src=\"([^\"]*)\""));
    QStringList Named;
    for (auto It = Src.globalMatch(Html); It.hasNext();) {
        QString Ref = It.next().captured(1);
        Ref.replace(QStringLiteral("&quot;"), QStringLiteral("\"")).replace(QStringLiteral("&amp;"), QStringLiteral("&"));
        const QString File = QUrl::fromLocalFile(Page).resolved(QUrl(Ref)).toLocalFile();
        if (File.startsWith(S.D() + QStringLiteral("/images/")))
            Named << QFileInfo(File).fileName();
    }
    for (const QString &N : Names) {
        EXPECT_TRUE(Named.contains(N)) << N.toStdString() << " not among " << Named.join(QLatin1Char(' ')).toStdString();
        EXPECT_EQ(TestSupport::ReadAll(S.D() + QStringLiteral("/images/") + N), PictureBytes(N));
    }

    // In the single-file page each reference is the location of its part.
    S.Run(omMht);
    const QString Message = QString::fromLatin1(TestSupport::ReadAll(S.D() + QStringLiteral("/P001.htm.mht")));
    int Parts = 0;
    for (auto It = Src.globalMatch(S.LastOutput.join(QLatin1Char('\n'))); It.hasNext();) {
        const QString Ref = It.next().captured(1);
        const QUrl At = QUrl(TMhtWriter::BaseUrl).resolved(QUrl(Ref));
        if (!At.path().startsWith(QStringLiteral("/images/")) || At.path().endsWith(QStringLiteral("a.jpg")))
            continue;
        ++Parts;
        EXPECT_TRUE(Message.contains(QStringLiteral("Content-Location: ") + At.toString(QUrl::FullyEncoded) + QStringLiteral("\r\n")))
            << Ref.toStdString();
    }
    EXPECT_EQ(Parts, Names.size());
}

TEST(HtmlOutput, PictureNamesABrowserWouldAlterStillNameTheirFiles)
{
    // A browser drops tabs and line breaks from an address: names holding
    // them are legal here, and their pictures still show. The
    // page's references are read as a browser reads them (python's HTML
    // parser and its address parser, which drops tabs as browsers do).
    if (!TestSupport::HaveProgram(QStringLiteral("/usr/bin/python3")))
        GTEST_SKIP() << "python3 missing";
    TSample S;
    const QStringList Names{QStringLiteral("杯\t子.gif"), QStringLiteral("\t前.jpg"), QStringLiteral("茶 壶.jpg")};
    QStringList Images = S.Page.filter(QStringLiteral("{$IMG}="));
    ASSERT_EQ(Images.size(), Names.size());
    for (int I = 0; I < Names.size(); ++I) {
        TestSupport::WriteAll(S.PageDir + QStringLiteral("pics/") + Names.at(I), PictureBytes(Names.at(I)));
        const QString Stored = S.PageDir + QStringLiteral("pics/") + Names.at(I);
        S.Page.replaceInStrings(Images.at(I), QStringLiteral("{$IMG}=") + Stored);
    }
    const QString Py = S.Temp.File(QStringLiteral("refs.py"));
    TestSupport::WriteAll(Py, R"PY(
import email, html.parser, os, sys, urllib.parse, urllib.request
class Refs(html.parser.HTMLParser):
    def __init__(self):
        super().__init__(); self.refs = []
    def handle_starttag(self, tag, attrs):
        for k, v in attrs:
            if k == 'src' and v: self.refs.append(v)
mode, path, base = sys.argv[1], sys.argv[2], sys.argv[3]
if mode == 'html':
    p = Refs(); p.feed(open(path, 'rb').read().decode('gbk')); 
    for r in p.refs:
        u = urllib.parse.urljoin(base, r)
        f = urllib.request.url2pathname(urllib.parse.urlsplit(u).path)
        sys.stdout.buffer.write((('found|' if os.path.isfile(f) else 'missing|') + f + '\n').encode('utf-8'))
else:
    m = email.message_from_binary_file(open(path, 'rb'))
    parts = m.get_payload()
    # Compared as a browser asks for them: escaped alike.
    locs = set(urllib.parse.unquote(x['Content-Location']) for x in parts[1:])
    p = Refs(); p.feed(parts[0].get_payload(decode=True).decode('gbk'))
    for r in p.refs:
        u = urllib.parse.urljoin(base, r)
        if '/images/' in u:
            sys.stdout.buffer.write((('found|' if urllib.parse.unquote(u) in locs else 'missing|') + u + '\n').encode('utf-8'))
)PY");

    const QString Page = S.Run(omHtml);
    int Code = -1;
    QByteArray Out;
    Code = TestSupport::RunProgram(QStringLiteral("/usr/bin/python3"),
                                   {Py, QStringLiteral("html"), Page, QUrl::fromLocalFile(Page).toString(QUrl::FullyEncoded)}, &Out);
    ASSERT_EQ(Code, 0) << Out.toStdString();
    QStringList Found;
    for (const QString &L : QString::fromUtf8(Out).split(QLatin1Char('\n'), Qt::SkipEmptyParts)) {
        const QString File = L.section(QLatin1Char('|'), 1);
        if (!File.startsWith(S.D() + QStringLiteral("/images/")))
            continue;   // the style's own pictures
        EXPECT_TRUE(L.startsWith(QStringLiteral("found|"))) << L.toStdString();
        Found << QFileInfo(File).fileName();
    }
    for (const QString &N : Names) {
        EXPECT_TRUE(Found.contains(N)) << N.toStdString() << " not among " << Found.join(QLatin1Char('|')).toStdString();
        EXPECT_EQ(TestSupport::ReadAll(S.D() + QStringLiteral("/images/") + N), PictureBytes(N));
    }
    // Blanks inside a name and Chinese stay as they were written.
    EXPECT_TRUE(ReadText(Page).contains(QStringLiteral("src=\"images/茶 壶.jpg\""))) << ReadText(Page).toStdString();

    // In the single-file page each reference is the location of its part.
    S.Run(omMht);
    Out.clear();
    Code = TestSupport::RunProgram(QStringLiteral("/usr/bin/python3"),
                                   {Py, QStringLiteral("mht"), S.D() + QStringLiteral("/P001.htm.mht"), TMhtWriter::BaseUrl}, &Out);
    ASSERT_EQ(Code, 0) << Out.toStdString();
    const QStringList Lines = QString::fromUtf8(Out).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    EXPECT_EQ(Lines.size(), Names.size()) << Out.toStdString();
    for (const QString &L : Lines)
        EXPECT_TRUE(L.startsWith(QStringLiteral("found|"))) << L.toStdString();
}

TEST(HtmlOutput, ALongValueIsPublishedWhole)
{
    // Every value goes out whole, however long: a description pasted from a
    // web page keeps its table and its tags, its characters outside the basic
    // plane and its end; so do a long name and a long picture path.
    TSample S;
    const QString Cell = QStringLiteral("<table border=\"1\"><tr><td>") + QStringLiteral("长说明😀").repeated(300)
        + QStringLiteral("</td></tr></table><font color=\"red\">x</font>&amp;&amp;尾");
    const QString Name = QStringLiteral("名").repeated(700) + QStringLiteral("终");
    // A path of more than 256 characters, each folder name of a length the file system takes.
    QStringList Parts;
    for (const QString &C : {QStringLiteral("深"), QStringLiteral("层"), QStringLiteral("远"), QStringLiteral("处")})
        Parts << C.repeated(80);
    const QString Folder = Parts.join(QLatin1Char('/'));
    QDir().mkpath(S.PageDir + Folder);
    TestSupport::WriteAll(S.PageDir + Folder + QStringLiteral("/far.jpg"), PictureBytes(QStringLiteral("far")));
    S.Page.replaceInStrings(QStringLiteral("{$PNOTE}=白瓷"), QStringLiteral("{$PNOTE}=") + Cell);
    S.Page.replaceInStrings(QStringLiteral("{$PNAME}=茶杯"), QStringLiteral("{$PNAME}=") + Name);
    S.Page.replaceInStrings(QStringLiteral("{$IMG}=pics\\a.jpg"), QStringLiteral("{$IMG}=") + QString(Folder).replace(QLatin1Char('/'), QLatin1Char('\\')) + QStringLiteral("\\far.jpg"));
    const QString Html = Cp936::Decode(TestSupport::ReadAll(S.Run(omHtml)));
    EXPECT_TRUE(Html.contains(QString(Cell).replace(QStringLiteral("😀"), QStringLiteral("&#128512;"))));
    EXPECT_TRUE(Html.contains(QStringLiteral("<b>") + Name + QStringLiteral("</b>")));
    EXPECT_TRUE(Html.contains(QStringLiteral("alt=\"") + Name + QLatin1Char('"')));
    EXPECT_EQ(TestSupport::ReadAll(S.D() + QStringLiteral("/images/far.jpg")), PictureBytes(QStringLiteral("far")));
    EXPECT_TRUE(S.Warnings.isEmpty()) << S.Warnings.join(QLatin1Char('\n')).toStdString();
}

TEST(HtmlOutput, UnpairedBraceIsReportedWithItsZeroBasedLine)
{
    TSample S;
    const QString Style = S.Exe + QStringLiteral("html/春天系列/");
    QStringList Body = LoadLines(Style + QStringLiteral("BODY_CN.htm"));
    Body.insert(1, QStringLiteral("bad } line {$PID}"));
    WriteText(Style + QStringLiteral("BODY_CN.htm"), Body);
    QStringList Head = LoadLines(Style + QStringLiteral("CATA_CN_BEGIN.htm"));
    Head.prepend(QStringLiteral("}{"));
    WriteText(Style + QStringLiteral("CATA_CN_BEGIN.htm"), Head);
    const QString Html = ReadText(S.Run(omHtml));
    ASSERT_EQ(S.Errors.size(), 4);   // the head once, the body once per product
    EXPECT_EQ(S.Errors.at(0), QStringLiteral("处理字符串时发现不配对的{}，在头文件第0行。"));
    EXPECT_EQ(S.Errors.at(1), QStringLiteral("处理字符串时发现不配对的{}，在body文件第1行。"));
    EXPECT_EQ(Html.count(QStringLiteral("bad } line {$PID}")), 3);
}

TEST(HtmlOutput, StyleFallbackBookFolderAndBadNumbers)
{
    TSample S;
    S.Set(QStringLiteral("{输出风格}"), QStringLiteral("不存在"));
    S.Set(QStringLiteral("{输出目录}"), QString());
    QDir().mkpath(S.Exe + QStringLiteral("输出"));
    const QString Result = S.Run(omHtml);
    EXPECT_EQ(Result, S.Exe + QStringLiteral("输出/P001/P001.htm"));
    EXPECT_TRUE(ReadText(Result).contains(QStringLiteral("#33506e")));   // the standard style

    // A book output: the page goes into the book's images folder under a new name,
    // pictures by bare names.
    const QString Book = S.Temp.File(QStringLiteral("book/"));
    QDir().mkpath(Book);
    const QString Page = S.Run(omHtml, Book, false);
    EXPECT_TRUE(Page.startsWith(Book + QStringLiteral("images/{")));
    EXPECT_TRUE(ReadText(Page).contains(QStringLiteral("src=\"a.jpg\"")));
    EXPECT_TRUE(QFileInfo(Book + QStringLiteral("images/a.jpg")).isFile());

    S.Set(QStringLiteral("{图片宽}"), QStringLiteral("12x"));
    EXPECT_THROW(S.Run(omHtml), EConvertError);
    S.Set(QStringLiteral("{图片宽}"), QStringLiteral("120"));
    S.Set(QStringLiteral("{Catalog编号}"), QStringLiteral("../escape"));
    EXPECT_THROW(S.Run(omHtml), Exception);
    EXPECT_FALSE(QFileInfo(S.Exe + QStringLiteral("escape")).exists());
}

TEST(HtmlOutput, PagesOfABookNamePicturesOfOneNameByLookingOncePerPicture)
{
    // Each page of a book has its own a.jpg, and all share pics/a.jpg: the
    // shared one keeps the name it got first, each other one takes the next
    // number, and finding that costs the same on the last page as on the first.
    TSample S;
    const QString Book = S.Temp.File(QStringLiteral("book/"));
    QDir().mkpath(Book);
    TSharedPictureNames Names;
    S.SharedNames = &Names;
    constexpr int Pages = 40;
    const QStringList Original = S.Page;
    QList<int> Looks;
    for (int I = 1; I <= Pages; ++I) {
        const QString Folder = QStringLiteral("p%1").arg(I);
        QDir().mkpath(S.PageDir + Folder);
        // Pages 1 and 2 also share one size, by two pictures of other content.
        const QByteArray Own = PictureBytes(QStringLiteral("page %1").arg(I)) + QByteArray(I <= 2 ? 0 : I, 'x');
        TestSupport::WriteAll(S.PageDir + Folder + QStringLiteral("/a.jpg"), Own);
        S.Page = Original;
        S.Page.replaceInStrings(QStringLiteral("{$IMG}=more\\a.jpg"), QStringLiteral("{$IMG}=") + Folder + QStringLiteral("\\a.jpg"));
        S.Set(QStringLiteral("{Catalog编号}"), QStringLiteral("P%1").arg(I));
        const int Before = TPageOutput::FolderLooks();
        const QString Page = S.Run(omHtml, Book, false);
        Looks << TPageOutput::FolderLooks() - Before;
        const QString Html = ReadText(Page);
        const QString Expected = I == 1 ? QStringLiteral("a.jpg") : QStringLiteral("a(%1).jpg").arg(I + 1);
        EXPECT_TRUE(Html.contains(QStringLiteral("src=\"") + Expected + QLatin1Char('"'))) << I;
        EXPECT_TRUE(Html.contains(QStringLiteral("src=\"a(2).jpg\""))) << I;
        EXPECT_EQ(TestSupport::ReadAll(Book + QStringLiteral("images/") + Expected), Own) << I;
    }
    EXPECT_EQ(TestSupport::ReadAll(Book + QStringLiteral("images/a(2).jpg")), PictureBytes(QStringLiteral("a")));
    EXPECT_EQ(QDir(Book + QStringLiteral("images")).entryList({QStringLiteral("a*.jpg")}, QDir::Files).size(), Pages + 1);
    EXPECT_LE(Looks.last(), Looks.at(2)) << "the 40th page looks at no more files than the 3rd";
}

TEST(HtmlOutput, PagesOfABookWriteEachSharedPictureOnce)
{
    // Four pages of a book show the same pictures (the third one of them by
    // a copy in another folder): the first page writes them into the shared
    // pictures folder, the others use them as they are, file for file.
    TSample S;
    const QString Book = S.Temp.File(QStringLiteral("book/"));
    QDir().mkpath(Book);
    QDir().mkpath(S.PageDir + QStringLiteral("copy"));
    QFile::copy(S.PageDir + QStringLiteral("pics/a.jpg"), S.PageDir + QStringLiteral("copy/a.jpg"));
    TSharedPictureNames Names;
    S.SharedNames = &Names;
    const QString Images = Book + QStringLiteral("images/");
    // Each picture of the pictures folder, by name: whether it is still the
    // file the first page wrote (a second name for each keeps the file, so
    // the system cannot hand its number to a new one).
    const QString Kept = S.Temp.File(QStringLiteral("kept/"));
    QDir().mkpath(Kept);
    auto Pictures = [&] {
        QStringList Names = QDir(Images).entryList(QDir::Files);
        Names.removeIf([](const QString &F) { return F.endsWith(QStringLiteral(".htm")); });   // the pages themselves
        return Names;
    };
    auto SameFile = [](const QString &A, const QString &B) {
        struct stat Sa {}, Sb {};
        return ::stat(QFile::encodeName(A).constData(), &Sa) == 0 && ::stat(QFile::encodeName(B).constData(), &Sb) == 0
            && Sa.st_ino == Sb.st_ino && Sa.st_dev == Sb.st_dev;
    };
    const QStringList Original = S.Page;
    QStringList First;
    for (int I = 1; I <= 4; ++I) {
        S.Page = Original;
        if (I == 3)
            S.Page.replaceInStrings(QStringLiteral("{$IMG}=pics\\a.jpg"), QStringLiteral("{$IMG}=copy\\a.jpg"));
        S.Set(QStringLiteral("{Catalog编号}"), QStringLiteral("P%1").arg(I));
        const QString Html = ReadText(S.Run(omHtml, Book, false));
        for (const char *Name : {"a.jpg", "a(2).jpg", "杯子.gif"})
            EXPECT_TRUE(Html.contains(QStringLiteral("src=\"%1\"").arg(HtmlText::FileAddress(QString::fromUtf8(Name))))) << I << Name;
        if (I == 1) {
            First = Pictures();
            for (const QString &F : First)
                ASSERT_EQ(::link(QFile::encodeName(Images + F).constData(), QFile::encodeName(Kept + F).constData()), 0);
            continue;
        }
        EXPECT_EQ(Pictures(), First) << I;
        for (const QString &F : First)
            EXPECT_TRUE(SameFile(Images + F, Kept + F)) << "page " << I << " wrote " << F.toStdString() << " again";
    }
    EXPECT_EQ(First, (QStringList{QStringLiteral("a(2).jpg"), QStringLiteral("a.jpg"), QStringLiteral("bg.jpg"),
                                            QStringLiteral("杯子.gif")}));
    EXPECT_EQ(TestSupport::ReadAll(Images + QStringLiteral("a.jpg")), PictureBytes(QStringLiteral("other a")));
    EXPECT_EQ(TestSupport::ReadAll(Images + QStringLiteral("a(2).jpg")), PictureBytes(QStringLiteral("a")));
    EXPECT_EQ(TestSupport::ReadAll(Images + QStringLiteral("杯子.gif")), PictureBytes(QStringLiteral("cup")));
    EXPECT_EQ(TestSupport::ReadAll(Images + QStringLiteral("bg.jpg")), PictureBytes(QStringLiteral("bg")));

    // A picture of the folder that is gone by the next page is put there again.
    QFile::remove(Images + QStringLiteral("杯子.gif"));
    S.Page = Original;
    S.Set(QStringLiteral("{Catalog编号}"), QStringLiteral("P5"));
    S.Run(omHtml, Book, false);
    EXPECT_EQ(TestSupport::ReadAll(Images + QStringLiteral("杯子.gif")), PictureBytes(QStringLiteral("cup")));
}

TEST(PreviewOutput, FullPathsAndNoOutputFolder)
{
    TSample S;
    const QString Result = S.Run(omPreview);
    EXPECT_TRUE(Result.isEmpty());
    EXPECT_FALSE(QFileInfo(S.D()).exists());
    const QString Page = S.Exe + QStringLiteral("tmp/1/tmpfile.htm");
    ASSERT_EQ(S.Opened, QStringList{Page});
    const QString Html = ReadText(Page);
    EXPECT_TRUE(Html.contains(QStringLiteral("src=\"") + S.PageDir + QStringLiteral("pics/a.jpg\" width=\"120\"")));
    EXPECT_TRUE(Html.contains(QStringLiteral("background=\"") + S.PageDir + QStringLiteral("pics/bg.jpg\"")));
}

TEST(PageCopyOutput, PicturesRenamedIntoImages)
{
    TSample S;
    const QString Folder = S.Temp.File(QStringLiteral("book/"));
    QDir().mkpath(Folder);
    const QString Result = S.Run(omPageCopy, Folder, false);
    EXPECT_EQ(Result, Folder + QStringLiteral("sample.qbt"));
    const QStringList Copy = LoadLines(Result);
    EXPECT_TRUE(Copy.contains(QStringLiteral("{$IMG}=images\\a(2).jpg")));
    EXPECT_TRUE(Copy.contains(QStringLiteral("{$IMG}=images\\a.jpg")));
    EXPECT_TRUE(Copy.contains(QStringLiteral("{背景图片}=images\\bg.jpg")));
    EXPECT_EQ(Copy.size(), S.Page.size());

    // Without a folder: D/catalog.qbt, no result path.
    EXPECT_EQ(S.Run(omPageCopy), QString());
    EXPECT_TRUE(QFileInfo(S.D() + QStringLiteral("/catalog.qbt")).isFile());
}

TEST(PageCopyOutput, ProductWithoutPictureKeepsAnEmptyPicture)
{
    TSample S;
    // Product 3 has no picture: its copy must not name the pictures folder as one.
    S.Page[S.Page.indexOf(QStringLiteral("{$IMG}=pics\\杯子.gif"))] = QStringLiteral("{$IMG}=");
    const QString Folder = S.Temp.File(QStringLiteral("book/"));
    QDir().mkpath(Folder);
    const QStringList Copy = LoadLines(S.Run(omPageCopy, Folder, false));
    EXPECT_TRUE(Copy.contains(QStringLiteral("{$IMG}="))) << Copy.join(QLatin1Char('\n')).toStdString();
    EXPECT_FALSE(Copy.contains(QStringLiteral("{$IMG}=images\\")));
    EXPECT_EQ(Copy.count(QStringLiteral("{$IMG}=images\\a.jpg")), 1);
}

TEST(PageCopyOutput, PackageLeavesTheUsersFilesInTheOutputFolder)
{
    TSample S;
    // The output folder already holds a pictures folder and a file of the user's.
    TestSupport::WriteAll(S.D() + QStringLiteral("/images/mine.jpg"), PictureBytes(QStringLiteral("mine")));
    TestSupport::WriteAll(S.D() + QStringLiteral("/notes.txt"), "notes");
    TPageOutput Out(S.Page, S.PagePath, S.Exe);
    Out.ScratchFolder = S.Exe + QStringLiteral("tmp/1/");
    Out.OpenPageEntry = QStringLiteral("sample.qbt");
    Out.Hooks.WriteQbaPackage = [](const QString &Folder, const QString &MainFile, const QString &Target, bool IsBook,
                                   QString &Result) { Result = QbaPackage::Write(Folder, MainFile, Target, IsBook); };
    QString Result;
    Out.Run(omPackage, false, QString(), Result);
    EXPECT_EQ(Result, S.D() + QStringLiteral("/catalog.qba"));
    ASSERT_TRUE(QFileInfo(S.D() + QStringLiteral("/images/mine.jpg")).isFile())
        << "a picture the output did not put there is gone";
    EXPECT_EQ(TestSupport::ReadAll(S.D() + QStringLiteral("/images/mine.jpg")), PictureBytes(QStringLiteral("mine")));
    EXPECT_TRUE(QFileInfo(S.D() + QStringLiteral("/notes.txt")).isFile());
    EXPECT_FALSE(QFileInfo::exists(S.D() + QStringLiteral("/catalog.qbt")));
    EXPECT_FALSE(QFileInfo::exists(S.D() + QStringLiteral("/index.dat")));
    EXPECT_FALSE(QFileInfo::exists(S.D() + QStringLiteral("/images/a.jpg"))) << "the copies the output made go again";

    // The package holds the page and its own pictures, nothing of the user's.
    const QbaPackage::TOpenResult R = QbaPackage::Unpack(Result, S.Temp.File(QStringLiteral("open/")));
    ASSERT_EQ(R.Status, QbaPackage::osOk);
    const QString Open = S.Temp.File(QStringLiteral("open/"));
    EXPECT_FALSE(QFileInfo::exists(Open + QStringLiteral("images/mine.jpg")));
    EXPECT_FALSE(QFileInfo::exists(Open + QStringLiteral("notes.txt")));
    // Product 2 (more/a.jpg) stands first in the page and keeps the plain name.
    EXPECT_EQ(TestSupport::ReadAll(Open + QStringLiteral("images/a.jpg")), PictureBytes(QStringLiteral("other a")));
    EXPECT_EQ(TestSupport::ReadAll(Open + QStringLiteral("images/a(2).jpg")), PictureBytes(QStringLiteral("a")));
    EXPECT_TRUE(LoadLines(R.MainFile).contains(QStringLiteral("{$IMG}=images\\a.jpg")));
}

TEST(PageCopyOutput, PicturesThePackageDoesNotCarryKeepTheirValues)
{
    // A page brought from another computer: three of its pictures, and its
    // background, are not on this disk.
    TSample S;
    const QString Far1 = QStringLiteral("C:\\Documents and Settings\\王五\\桌面\\茶壶1.jpg");
    const QString Far4 = QStringLiteral("\\\\SERVER\\共享\\茶壶4.jpg");
    const QString Far6 = QStringLiteral("C:茶壶6.jpg");
    const QString FarBack = QStringLiteral("C:\\背景\\bg.jpg");
    S.Page.replaceInStrings(QStringLiteral("{$IMG}=more\\a.jpg"), QStringLiteral("{$IMG}=") + Far1);
    S.Page.replaceInStrings(QStringLiteral("{$IMG}=pics\\杯子.gif"), QStringLiteral("{$IMG}=") + Far4);
    S.Page.replaceInStrings(QStringLiteral("{背景图片}=pics\\bg.jpg"), QStringLiteral("{背景图片}=") + FarBack);
    const QStringList Fourth{QStringLiteral("{$4}"), QStringLiteral("{$IMG}=") + Far6, QStringLiteral("{$PID}=D-04"),
                             QStringLiteral("{$PNAME}=茶盘"), QStringLiteral("{$PPRICE}=5"), QStringLiteral("{$PUNIT}=个"),
                             QStringLiteral("{$PWEIGHT}=1"), QStringLiteral("{$PSERIAL}=4"), QStringLiteral("{$PNOTE}=")};
    S.Page << Fourth;
    TPageOutput Out(S.Page, S.PagePath, S.Exe);
    Out.ScratchFolder = S.Exe + QStringLiteral("tmp/1/");
    Out.OpenPageEntry = QStringLiteral("sample.qbt");
    QStringList Warnings;
    Out.Hooks.ShowWarning = [&Warnings](const QString &T) { Warnings << T; };
    Out.Hooks.WriteQbaPackage = [](const QString &Folder, const QString &MainFile, const QString &Target, bool IsBook,
                                   QString &Result) { Result = QbaPackage::Write(Folder, MainFile, Target, IsBook); };
    QString Result;
    ASSERT_NO_THROW(Out.Run(omPackage, false, QString(), Result));
    ASSERT_EQ(Result, S.D() + QStringLiteral("/catalog.qba"));
    // Said before the package is written: these are not packed.
    ASSERT_EQ(Warnings.size(), 1);
    EXPECT_EQ(Warnings.at(0), QStringLiteral("以下商品的图片文件找不到，这些图片不会打包，页面中保留它们原来的路径：\r\n"
                                             "商品“B-02”的图片：%1\r\n商品“C-03”的图片：%2\r\n商品“D-04”的图片：%3")
                                  .arg(Far1, Far4, Far6));

    // Read by python's zipfile: the page in the package names the picture
    // it carries by its place there, the others as the sender had them.
    const QString Py = QStringLiteral(
        "import zipfile,sys\n"
        "z=zipfile.ZipFile(sys.argv[1])\n"
        "assert z.testzip() is None\n"
        "names=set(z.namelist())\n"
        "for l in z.read('catalog.qbt').decode('gbk').split('\\r\\n'):\n"
        "    if l.startswith('{$IMG}=') or l.startswith('{背景图片}='):\n"
        "        v=l.split('=',1)[1]\n"
        "        n=v.replace('\\\\','/')\n"
        "        sys.stdout.buffer.write((v+('|packed' if n in names else '|not packed')).encode('utf-8')+b'\\n')\n");
    QByteArray Listing;
    ASSERT_EQ(TestSupport::RunProgram(QStringLiteral("/usr/bin/python3"), {QStringLiteral("-c"), Py, Result}, &Listing), 0)
        << Listing.toStdString();
    EXPECT_EQ(QString::fromUtf8(Listing).split(QLatin1Char('\n'), Qt::SkipEmptyParts),
              (QStringList{FarBack + QStringLiteral("|not packed"), Far1 + QStringLiteral("|not packed"),
                           QStringLiteral("images\\a.jpg|packed"), Far4 + QStringLiteral("|not packed"),
                           Far6 + QStringLiteral("|not packed")}));
}

TEST(PageCopyOutput, APictureNamedWithPatternCharactersGoesIntoThePackage)
{
    // "<" and ">" are legal in a name here, but a package carries plain
    // names: the picture goes in under one, and the page in it names that.
    TSample S;
    const QString Odd = QStringLiteral("杯<1>.gif");
    TestSupport::WriteAll(S.PageDir + QStringLiteral("pics/") + Odd, PictureBytes(QStringLiteral("odd")));
    // A picture that has the plain name already keeps it.
    TestSupport::WriteAll(S.PageDir + QStringLiteral("pics/杯_1_.gif"), PictureBytes(QStringLiteral("plain")));
    S.Page.replaceInStrings(QStringLiteral("{$IMG}=pics\\a.jpg"), QStringLiteral("{$IMG}=pics\\杯_1_.gif"));
    S.Page.replaceInStrings(QStringLiteral("{$IMG}=pics\\杯子.gif"), QStringLiteral("{$IMG}=pics\\") + Odd);
    TPageOutput Out(S.Page, S.PagePath, S.Exe);
    Out.ScratchFolder = S.Exe + QStringLiteral("tmp/1/");
    Out.OpenPageEntry = QStringLiteral("sample.qbt");
    Out.Hooks.WriteQbaPackage = [](const QString &Folder, const QString &MainFile, const QString &Target, bool IsBook,
                                   QString &Result) { Result = QbaPackage::Write(Folder, MainFile, Target, IsBook); };
    QString Result;
    ASSERT_NO_THROW(Out.Run(omPackage, false, QString(), Result));
    ASSERT_EQ(Result, S.D() + QStringLiteral("/catalog.qba"));

    // Read by python's zipfile: the page names each picture the package holds.
    const QString Py = QStringLiteral(
        "import zipfile,sys\n"
        "z=zipfile.ZipFile(sys.argv[1])\n"
        "assert z.testzip() is None\n"
        // Names without the UTF-8 flag are in the page code page.
        "names=dict(((i.filename if i.flag_bits&0x800 else i.filename.encode('cp437').decode('gbk')),i) for i in z.infolist())\n"
        "page=z.read('catalog.qbt').decode('gbk').split('\\r\\n')\n"
        "for l in page:\n"
        "    if l.startswith('{$IMG}='):\n"
        "        n='images/'+l[len('{$IMG}=images\\\\'):]\n"
        "        sys.stdout.buffer.write(((n+'|'+z.read(names[n]).hex()) if n in names else ('missing|'+n)).encode('utf-8')+b'\\n')\n");
    QByteArray Listing;
    const int Code = TestSupport::RunProgram(QStringLiteral("/usr/bin/python3"), {QStringLiteral("-c"), Py, Result}, &Listing);
    ASSERT_EQ(Code, 0) << Listing.toStdString();
    const QStringList Lines = QString::fromUtf8(Listing).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    ASSERT_EQ(Lines.size(), 3) << Listing.toStdString();
    EXPECT_EQ(Lines.at(1), QStringLiteral("images/杯_1_.gif|") + QString::fromLatin1(PictureBytes(QStringLiteral("plain")).toHex()));
    EXPECT_EQ(Lines.at(2), QStringLiteral("images/杯_1_(2).gif|") + QString::fromLatin1(PictureBytes(QStringLiteral("odd")).toHex()));

    // Opened again, the page shows the picture from inside the package.
    const QString Open = S.Temp.File(QStringLiteral("open/"));
    const QbaPackage::TOpenResult R = QbaPackage::Unpack(Result, Open);
    ASSERT_EQ(R.Status, QbaPackage::osOk);
    EXPECT_TRUE(R.LeftOut.isEmpty()) << R.LeftOut.join(QLatin1Char('|')).toStdString();
    EXPECT_TRUE(LoadLines(R.MainFile).contains(QStringLiteral("{$IMG}=images\\杯_1_(2).gif")));
    EXPECT_EQ(TestSupport::ReadAll(Open + QStringLiteral("images/杯_1_(2).gif")), PictureBytes(QStringLiteral("odd")));
    // The picture's own file is as it was.
    EXPECT_EQ(TestSupport::ReadAll(S.PageDir + QStringLiteral("pics/") + Odd), PictureBytes(QStringLiteral("odd")));
}

TEST(HtmlOutput, APictureThatCannotBeCopiedSaysWhyAndLeavesNothing)
{
    TSample S;
    // Something of the user's stands where the second picture would go.
    QDir().mkpath(S.D() + QStringLiteral("/images/a(2).jpg/inside"));
    QString Message;
    try {
        S.Run(omHtml);
    } catch (const EInOutError &E) {
        Message = E.Message();
    }
    EXPECT_TRUE(Message.contains(S.D() + QStringLiteral("/images/a(2).jpg"))) << Message.toStdString();
    EXPECT_TRUE(Message.endsWith(QStringLiteral("这是一个文件夹，不是文件。"))) << Message.toStdString();
    // None of the other pictures, no page and no temporary file is left.
    EXPECT_EQ(QDir(S.D() + QStringLiteral("/images")).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
              QStringList{QStringLiteral("a(2).jpg")});
    EXPECT_EQ(QDir(S.D()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot), QStringList{QStringLiteral("images")});

    // Once the way is clear the same output copies every picture whole.
    QDir(S.D() + QStringLiteral("/images/a(2).jpg")).removeRecursively();
    S.Run(omHtml);
    EXPECT_EQ(TestSupport::ReadAll(S.D() + QStringLiteral("/images/a(2).jpg")), PictureBytes(QStringLiteral("a")));
    EXPECT_EQ(TestSupport::ReadAll(S.D() + QStringLiteral("/images/a.jpg")), PictureBytes(QStringLiteral("other a")));
    EXPECT_TRUE(QDir(S.D() + QStringLiteral("/images")).entryList(QDir::Hidden | QDir::Files).filter(QStringLiteral(".tmp")).isEmpty());
}
