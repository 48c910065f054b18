// What users type into products, through every output of the program run by
// quillbook-drive on a copy of the program folder as the build ships it:
// markup and quotes in a product's name keep every page whole, characters
// outside code page 936 show in every output, and a PDF that cannot be
// written leaves nothing behind and says why. The outputs are read by
// independent readers (python's zipfile, email and html.parser, chmls,
// poppler) and in the program's own browser engine (the driver's "web").

#include "TestSupport.h"
#include "platform/core/Classes.h"

#include <QDir>
#include <QDirIterator>
#include <QFileInfo>
#include <QImage>
#include <QImageReader>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMap>
#include <QProcess>
#include <QRegularExpression>
#include <gtest/gtest.h>

using TestSupport::DriveRun;
using TestSupport::RunDrive;

namespace {

QString S(const char *Utf8)
{
    return QString::fromUtf8(Utf8);
}

void SaveText(const QString &File, const QStringList &Lines)
{
    TStringList(Lines).SaveToFile(File);
}

// A product: its name, its description and its picture as the page names it.
struct TProduct {
    QString Name;
    QString Note;
    QString Picture = QStringLiteral("photo.jpg");
};

// The web pages of an output as python reads them: for every page (and help
// contents file) its name, its title, the alt text of its pictures, the values
// of its mail links and contents entries, the texts of its links, its whole
// text and, for each of the Needles, how many tables are open where its text
// first stands; each page decoded with the character set the page or its MIME
// part declares (strictly: bytes that do not belong to it fail the reader)
// and with references resolved.
QJsonArray PagesIn(const QString &Kind, const QString &File, const QStringList &Needles = {})
{
    static const char *const Reader = R"(
import sys, zipfile, email, subprocess, tempfile, glob, json, re, os, html.parser
kind, f, needles = sys.argv[1], sys.argv[2], sys.argv[3:]
pages = lambda n: n.lower().endswith(('.htm', '.hhc'))
if kind == 'htm':
    parts = [(f, open(f, 'rb').read(), None)]
elif kind == 'zip':
    z = zipfile.ZipFile(f)
    parts = [(n, z.read(n), None) for n in z.namelist() if pages(n)]
elif kind == 'mht':
    m = email.message_from_binary_file(open(f, 'rb'))
    parts = [(p.get('Content-Location'), p.get_payload(decode=True), p.get_content_charset())
             for p in m.walk() if p.get_content_type() == 'text/html']
else:
    d = tempfile.mkdtemp()
    subprocess.run(['chmls', 'extractall', f, d], check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    parts = [(os.path.relpath(p, d), open(p, 'rb').read(), None)
             for p in glob.glob(d + '/**/*', recursive=True) if pages(p)]
class Page(html.parser.HTMLParser):
    def __init__(self):
        super().__init__(convert_charrefs=True)
        self.alts, self.values, self.text, self.title, self.links = [], [], [], [], []
        self.tables, self.depths, self.where = 0, {}, None
    def handle_starttag(self, tag, attrs):
        a = dict(attrs)
        if tag == 'img' and 'alt' in a: self.alts.append(a['alt'])
        if tag == 'param' and a.get('name') == 'Name': self.values.append(a.get('value'))
        if tag == 'a' and (a.get('href') or '').startswith('mailto:'): self.values.append(a['href'])
        if tag == 'table': self.tables += 1
        if tag in ('title', 'a'):
            self.where = tag
            if tag == 'a': self.links.append('')
    def handle_endtag(self, tag):
        if tag == 'table': self.tables -= 1
        if tag == self.where: self.where = None
    def handle_data(self, d):
        self.text.append(d)
        if self.where == 'title': self.title.append(d)
        if self.where == 'a': self.links[-1] += d
        for n in needles:
            if n in d and n not in self.depths: self.depths[n] = self.tables
out = []
for name, b, charset in parts:
    if not charset:
        m = re.search(rb'charset=["\']?([A-Za-z0-9_-]+)', b)
        charset = m.group(1).decode() if m else 'gb2312'
    charset = {'gb2312': 'gbk', 'iso-8859-1': 'cp1252'}.get(charset.lower(), charset)
    p = Page()
    p.feed(b.decode(charset))
    out.append({'name': name, 'alts': p.alts, 'values': p.values, 'text': ''.join(p.text),
                'title': ''.join(p.title), 'links': p.links, 'depths': p.depths})
print(json.dumps(out))
)";
    QByteArray Out;
    const int Code = TestSupport::RunProgram(QStringLiteral("/usr/bin/python3"),
                                             QStringList{QStringLiteral("-c"), QString::fromUtf8(Reader), Kind, File} + Needles, &Out);
    EXPECT_EQ(Code, 0) << Kind.toStdString() << ' ' << File.toStdString() << '\n' << Out.right(600).constData();
    return QJsonDocument::fromJson(Out).array();
}

// The pages among them that show the products.
QJsonArray ProductPages(const QJsonArray &Pages)
{
    QJsonArray R;
    for (const QJsonValue &P : Pages)
        if (P.toObject().value(QStringLiteral("text")).toString().contains(QStringLiteral("A-001")))
            R << P;
    return R;
}

// A "web" report whose pictures (at least Least) all loaded, none wider than the window.
bool AllPicturesShown(const QString &Report, int Least)
{
    static const QRegularExpression Counts(QStringLiteral("^pictures (\\d+) loaded (\\d+)\ntext "));
    const QRegularExpressionMatch M = Counts.match(Report);
    return M.hasMatch() && M.captured(1) == M.captured(2) && M.captured(1).toInt() >= Least;
}

// The width of every picture of a PDF, as poppler lists them.
QList<int> PdfPictureWidths(const QString &Pdf)
{
    QByteArray Out;
    EXPECT_EQ(TestSupport::RunProgram(QStringLiteral("pdfimages"), {QStringLiteral("-list"), Pdf}, &Out), 0) << Out.constData();
    QList<int> Widths;
    for (const QString &Line : QString::fromUtf8(Out).split(QLatin1Char('\n')).mid(2)) {
        const QStringList Columns = Line.simplified().split(QLatin1Char(' '));
        if (Columns.size() > 3)
            Widths << Columns.at(3).toInt();
    }
    return Widths;
}

QStringList Strings(const QJsonValue &V)
{
    QStringList L;
    for (const QJsonValue &S : V.toArray())
        L << S.toString();
    return L;
}

class OutputText : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(QFileInfo(TestSupport::DriverPath()).isExecutable());
        TestSupport::CopyProgramFolderTo(Home.Path());
        // A camera photo far wider than any window: the templates keep it inside.
        QImage Photo(2800, 600, QImage::Format_RGB32);
        Photo.fill(Qt::darkCyan);
        ASSERT_TRUE(Photo.save(Docs.File(QStringLiteral("photo.jpg"))));
    }

    // The page p.qbt (ID P1, named Title) with the products, each with the photo.
    QString WritePage(const QList<TProduct> &Products, const QString &Style = S("标准模式"), bool English = false,
                      const QString &Root = QString(), const QString &File = QStringLiteral("p.qbt"))
    {
        QStringList L{S("QBT FILE TYPE 2.0"),      S("{Catalog编号}=P1"),  S("{Catalog名称}=") + Title, S("{业务员名}=王五"),
                      S("{客户编号}=C-9"),          S("{客户名称}=李四"),    S("{客户公司名}=李氏贸易"),   S("{日期}=2026-12-7"),
                      S("{货币符号}=￥"),            S("{产品单位}=个"),      S("{重量单位}=克"),          S("{图片宽}=0"),
                      S("{图片高}=0"),              S("{输出目录}=") + Root, S("{输出方式}=HTML(网页文件类型)"),
                      S("{输出风格}=") + Style,      S("{输出语言}=") + (English ? S("英文") : S("中文")),
                      S("{订单接收email地址}=order@example.com"), S("{图片框百分比}=75"), S("{Catalog说明}=说明"),
                      S("/*以下内容均由程序自动生成，一般用户无需自行修改。"), S("{detail}"), QString()};
        for (int N = 1; N <= Products.size(); ++N)
            L << QStringLiteral("{$%1}").arg(N) << S("{$IMG}=") + Products.at(N - 1).Picture << QStringLiteral("{$PID}=A-00%1").arg(N)
              << S("{$PNAME}=") + Products.at(N - 1).Name << QStringLiteral("{$PPRICE}=%1.50").arg(N) << S("{$PUNIT}=件")
              << QStringLiteral("{$PWEIGHT}=5") << S("{$PSERIAL}=大号") << S("{$PNOTE}=") + Products.at(N - 1).Note;
        const QString Path = Docs.File(File);
        QDir().mkpath(QFileInfo(Path).absolutePath());
        SaveText(Path, L);
        return Path;
    }

    // The book b.qbs holding the page p.qbt.
    QString WriteBook()
    {
        const QString Path = Docs.File(QStringLiteral("b.qbs"));
        SaveText(Path, {S("Catalog_name=书"), S("{$Files}"), QStringLiteral("p.qbt")});
        return Path;
    }

    QString Output(const QString &Folder, const QString &File) const
    {
        return Home.File(S("输出/") + Folder + QLatin1Char('/') + File);
    }

    // Runs the driver; a run must end normally.
    QString Drive(const QString &Script, const QStringList &Args = {})
    {
        const DriveRun R = RunDrive(Home.Path(), Script, Args);
        EXPECT_EQ(R.Code, 0) << R.Err.toStdString();
        return R.Out;
    }

    // The driver's "web" report of each file, in one run.
    QStringList Web(const QStringList &Files)
    {
        QString Script;
        for (const QString &F : Files)
            Script += QStringLiteral("answer button OK\nweb %1\n").arg(F);
        const QString Out = Drive(Script + QStringLiteral("quit\n"));
        QStringList Reports;
        for (const QString &Line : Out.split(QLatin1Char('\n'), Qt::SkipEmptyParts)) {
            if (Line.startsWith(QStringLiteral("pictures ")) && !Line.startsWith(QStringLiteral("pictures wider")))
                Reports << QString();
            if (!Reports.isEmpty())
                Reports.last() += Line + QLatin1Char('\n');
        }
        EXPECT_EQ(Reports.size(), Files.size()) << Out.toStdString();
        return Reports;
    }

    // The help file unpacked by chmls; its files by name.
    QString Unpack(const QString &Chm)
    {
        const QString Dir = Docs.File(QStringLiteral("chm-") + QFileInfo(Chm).completeBaseName());
        QDir(Dir).removeRecursively();
        QDir().mkpath(Dir);
        EXPECT_EQ(TestSupport::RunProgram(QStringLiteral("chmls"), {QStringLiteral("extractall"), Chm, Dir}), 0) << Chm.toStdString();
        return Dir + QLatin1Char('/');
    }

    // The ZIP unpacked by unzip.
    QString Unzip(const QString &Zip)
    {
        const QString Dir = Docs.File(QStringLiteral("zip-") + QFileInfo(Zip).completeBaseName());
        QDir(Dir).removeRecursively();
        EXPECT_EQ(TestSupport::RunProgram(QStringLiteral("unzip"), {QStringLiteral("-q"), Zip, QStringLiteral("-d"), Dir}), 0);
        return Dir + QLatin1Char('/');
    }

    QString Title = S("春季报价");
    TestSupport::TempDir Home;
    TestSupport::TempDir Docs;
};

// Product names users write markup and quotes into.
const QList<TProduct> MarkedNames{{S("<font color=\"red\">特价</font>茶杯"), S("<b>新品</b>")}, {S("5\" 茶杯"), S("高 5\"")}};
const QStringList PlainNames{S("特价茶杯"), S("5\" 茶杯")};

} // namespace

TEST_F(OutputText, MarkupAndQuotesInAProductNameKeepEveryPageWhole)
{
    if (!TestSupport::HaveProgram(QStringLiteral("chmls")) || !TestSupport::HaveProgram(QStringLiteral("pdfimages")))
        GTEST_SKIP() << "chmls or poppler-utils are not installed";
    // A custom placeholder of cols3.dat in place of the order address: it
    // stands in the text and inside the mail link's address.
    SaveText(Home.File(QStringLiteral("cols3.dat")), {S("{$ORD_MAIL}=<i>orders</i>@example.com")});

    for (const QString &Style : {S("标准模式"), S("春天系列")}) {
        for (const bool English : {false, true}) {
            SCOPED_TRACE((Style + (English ? S(" English") : S(" Chinese"))).toStdString());
            QDir(Home.File(S("输出"))).removeRecursively();
            const QString Page = WritePage(MarkedNames, Style, English);
            EXPECT_EQ(Drive(QStringLiteral("wait\nclick ZIP1\nwait\nclick RAR1\nwait\nclick CHM1\nwait\nclick JPG1\nwait\n"
                                           "click PDFpdf1\nwait\nclick HTML1\nwait\nprompts\nquit\n"),
                            {Page}),
                      QString())
                << "a question or an error";
            const QString Chm = Unpack(Output(QStringLiteral("P1"), QStringLiteral("P1.chm")));
            const QString Zip = Unzip(Output(QStringLiteral("P1"), QStringLiteral("P1.zip")));
            const QStringList Shown = {Output(QStringLiteral("P1"), QStringLiteral("P1.htm")),
                                       Output(QStringLiteral("P1"), QStringLiteral("P1.htm.mht")), Chm + QStringLiteral("tmpfile.htm"),
                                       Zip + QStringLiteral("P1.htm")};

            // In the program's engine: both pictures load and stay inside the
            // window, the names show as text, no piece of a tag shows.
            const QStringList Reports = Web(Shown);
            for (int I = 0; I < Reports.size(); ++I) {
                SCOPED_TRACE(Shown.value(I).toStdString());
                const QString &R = Reports.at(I);
                EXPECT_TRUE(AllPicturesShown(R, 2)) << R.toStdString();
                EXPECT_FALSE(R.contains(QStringLiteral("style="))) << R.toStdString();
                EXPECT_TRUE(R.contains(PlainNames.at(0)) && R.contains(PlainNames.at(1)) && R.contains(S("新品")))
                    << R.toStdString();
                EXPECT_TRUE(R.contains(QStringLiteral("orders@example.com"))) << R.toStdString();
            }
            // Read by python: each picture's alt text is the name as plain text,
            // the mail link's address the plain address.
            const struct {
                const char *Kind;
                QString File;
            } Read[] = {{"htm", Shown.at(0)},
                        {"mht", Shown.at(1)},
                        {"chm", Output(QStringLiteral("P1"), QStringLiteral("P1.chm"))},
                        {"zip", Output(QStringLiteral("P1"), QStringLiteral("P1.zip"))}};
            for (const auto &Out : Read) {
                SCOPED_TRACE(Out.Kind);
                const QJsonArray Pages = ProductPages(PagesIn(QLatin1String(Out.Kind), Out.File));
                ASSERT_EQ(Pages.size(), 1);
                EXPECT_EQ(Strings(Pages.at(0).toObject().value(QStringLiteral("alts"))), PlainNames);
                EXPECT_EQ(Strings(Pages.at(0).toObject().value(QStringLiteral("values"))),
                          QStringList{QStringLiteral("mailto:orders@example.com")});
            }
            // The picture and the PDF are as wide as the window, not as the photo.
            EXPECT_EQ(QImageReader(Output(QStringLiteral("P1"), QStringLiteral("P1.jpg"))).size().width(), 792);
            const QList<int> Widths = PdfPictureWidths(Output(QStringLiteral("P1"), QStringLiteral("P1.pdf")));
            EXPECT_FALSE(Widths.isEmpty());
            EXPECT_EQ(Widths.count(792), Widths.size());
        }
    }

    // The book's frames and navigation, as a site, one web archive and a help
    // file; the page's name holds markup and quotes too.
    Title = S("<b>春季</b>\"报价\"");
    WritePage(MarkedNames);
    const QString Book = WriteBook();
    // Each book output starts from an emptied folder: each is read before the next.
    for (const auto &[Command, Kind, File] : {std::tuple{"HTML6", "htm", QStringLiteral("index.htm")},
                                              std::tuple{"HTML5", "mht", QStringLiteral("b.mht")},
                                              std::tuple{"CHM5", "chm", QStringLiteral("b.chm")}}) {
        SCOPED_TRACE(Command);
        EXPECT_EQ(Drive(QStringLiteral("wait\nclick %1\nwait\nprompts\nquit\n").arg(QLatin1String(Command)), {Book}), QString());
        // The engine does not let a page read the frames of a web archive: the site is read there.
        if (QLatin1String(Kind) == QLatin1String("htm")) {
            const QString R = Web({Output(QStringLiteral("b"), File)}).value(0);
            EXPECT_TRUE(AllPicturesShown(R, 2)) << R.toStdString();
            EXPECT_FALSE(R.contains(QStringLiteral("style="))) << R.toStdString();
            EXPECT_TRUE(R.contains(S("\\n春季\"报价\"\\n"))) << R.toStdString();
        }
        if (QLatin1String(Kind) != QLatin1String("htm")) {
            const QJsonArray Pages = ProductPages(PagesIn(QLatin1String(Kind), Output(QStringLiteral("b"), File)));
            ASSERT_EQ(Pages.size(), 1);
            EXPECT_EQ(Strings(Pages.at(0).toObject().value(QStringLiteral("alts"))), PlainNames);
        }
    }
    // The help file's contents name the page in plain text.
    QStringList Entries;
    for (const QJsonValue &P : PagesIn(QStringLiteral("chm"), Output(QStringLiteral("b"), QStringLiteral("b.chm"))))
        Entries << Strings(P.toObject().value(QStringLiteral("values")));
    EXPECT_TRUE(Entries.contains(S("春季\"报价\""))) << Entries.join(QLatin1Char('|')).toStdString();
}

TEST_F(OutputText, APageOfEightHundredProductsPublishesEveryProductInEveryOutput)
{
    if (!TestSupport::HaveProgram(QStringLiteral("chmls")))
        GTEST_SKIP() << "chmls is not installed";
    QImage Small(8, 6, QImage::Format_RGB32);
    Small.fill(Qt::darkGreen);
    ASSERT_TRUE(Small.save(Docs.File(QStringLiteral("small.jpg"))));
    constexpr int Count = 800;
    QList<TProduct> Products;
    QStringList Names, Ids;
    for (int N = 1; N <= Count; ++N) {
        Products << TProduct{S("第%1号\"茶杯\"<b>新</b>").arg(N), S("说明%1").arg(N), QStringLiteral("small.jpg")};
        Names << S("第%1号\"茶杯\"新").arg(N);
        Ids << QStringLiteral("A-00%1").arg(N);
    }
    // The last product has a picture of its own.
    Small.fill(Qt::darkRed);
    ASSERT_TRUE(Small.save(Docs.File(QStringLiteral("last.jpg"))));
    Products.last().Picture = QStringLiteral("last.jpg");
    const QString Page = WritePage(Products);
    EXPECT_EQ(Drive(QStringLiteral("wait\nclick QBA1\nwait\nclick HTML1\nwait\nclick ZIP1\nwait\nclick RAR1\nwait\nclick CHM1\nwait\n"
                                   "prompts\nquit\n"),
                    {Page}),
              QString())
        << "a question or an error";
    // Its picture travels with it in the archive and the package.
    for (const QString &Archive : {Output(QStringLiteral("P1"), QStringLiteral("P1.zip")), Output(QStringLiteral("P1"), QStringLiteral("catalog.qba"))}) {
        QByteArray Members;
        EXPECT_EQ(TestSupport::RunProgram(QStringLiteral("/usr/bin/python3"),
                                          {QStringLiteral("-c"), QStringLiteral("import sys,zipfile\nprint(zipfile.ZipFile(sys.argv[1]).namelist())"),
                                           Archive},
                                          &Members),
                  0);
        EXPECT_TRUE(Members.contains("'images/last.jpg'")) << Archive.toStdString() << Members.constData();
    }
    EXPECT_EQ(Drive(QStringLiteral("wait\nclick HTML6\nwait\nprompts\nquit\n"), {WriteBook()}), QString());

    // Every product, in page order, with its name escaped as before, in the
    // page of each output and in the book's page, as python reads them.
    static const QRegularExpression Id(QStringLiteral("A-00\\d+"));
    auto IdsIn = [](const QString &Text) {
        QStringList Found;
        for (QRegularExpressionMatchIterator It = Id.globalMatch(Text); It.hasNext();)
            Found << It.next().captured(0);
        return Found;
    };
    QStringList BookPages;
    for (const QString &F : QDir(Output(QStringLiteral("b"), QStringLiteral("images"))).entryList({QStringLiteral("*.htm")}))
        if (TestSupport::ReadAll(Output(QStringLiteral("b"), QStringLiteral("images/") + F)).contains("A-001"))
            BookPages << Output(QStringLiteral("b"), QStringLiteral("images/") + F);
    ASSERT_EQ(BookPages.size(), 1);
    const struct {
        const char *Kind;
        QString File;
    } Read[] = {{"htm", Output(QStringLiteral("P1"), QStringLiteral("P1.htm"))},
                {"zip", Output(QStringLiteral("P1"), QStringLiteral("P1.zip"))},
                {"mht", Output(QStringLiteral("P1"), QStringLiteral("P1.htm.mht"))},
                {"chm", Output(QStringLiteral("P1"), QStringLiteral("P1.chm"))},
                {"htm", BookPages.at(0)}};
    for (const auto &Out : Read) {
        SCOPED_TRACE(Out.File.toStdString());
        const QJsonArray Pages = ProductPages(PagesIn(QLatin1String(Out.Kind), Out.File));
        ASSERT_EQ(Pages.size(), 1);
        const QJsonObject P = Pages.at(0).toObject();
        const QStringList Alts = Strings(P.value(QStringLiteral("alts")));
        const QStringList Found = IdsIn(P.value(QStringLiteral("text")).toString());
        EXPECT_EQ(Alts.size(), Count);
        EXPECT_EQ(Found.size(), Count);
        EXPECT_TRUE(Alts == Names) << Alts.value(Count - 1).toStdString();
        EXPECT_TRUE(Found == Ids) << Found.value(Count - 1).toStdString();
    }
}

TEST_F(OutputText, CharactersOutsideTheCodePageShowInEveryOutput)
{
    if (!TestSupport::HaveProgram(QStringLiteral("chmls")) || !TestSupport::HaveProgram(QStringLiteral("pdfimages")))
        GTEST_SKIP() << "chmls or poppler-utils are not installed";
    // An emoji, Korean, a Spanish letter and a CJK extension character: none
    // of them in code page 936, all of them kept in the page file.
    const QString Odd = S("😀한국ñ𠀀");
    const TProduct Product{S("笑脸") + Odd, S("说明") + Odd};
    Title = S("春季") + Odd;
    auto ExpectShown = [&](const QString &Text) {
        EXPECT_TRUE(Text.contains(Product.Name) && Text.contains(Product.Note)) << Text.toStdString();
    };

    for (const bool English : {false, true}) {
        SCOPED_TRACE(English ? "English" : "Chinese");
        QDir(Home.File(S("输出"))).removeRecursively();
        const QString Page = WritePage({Product}, S("标准模式"), English);
        EXPECT_EQ(Drive(QStringLiteral("wait\nclick ZIP1\nwait\nclick RAR1\nwait\nclick CHM1\nwait\nclick HTML1\nwait\nprompts\nquit\n"),
                        {Page}),
                  QString());
        const QStringList Shown = {Output(QStringLiteral("P1"), QStringLiteral("P1.htm")),
                                   Output(QStringLiteral("P1"), QStringLiteral("P1.htm.mht")),
                                   Unpack(Output(QStringLiteral("P1"), QStringLiteral("P1.chm"))) + QStringLiteral("tmpfile.htm"),
                                   Unzip(Output(QStringLiteral("P1"), QStringLiteral("P1.zip"))) + QStringLiteral("P1.htm")};
        for (const QString &R : Web(Shown)) {
            ExpectShown(R);
            EXPECT_TRUE(R.contains(Title)) << R.toStdString();
        }
        // Each part read strictly in the character set it declares.
        for (const auto &[Kind, File] : {std::pair{"htm", Shown.at(0)}, std::pair{"mht", Shown.at(1)},
                                         std::pair{"chm", Output(QStringLiteral("P1"), QStringLiteral("P1.chm"))},
                                         std::pair{"zip", Output(QStringLiteral("P1"), QStringLiteral("P1.zip"))}}) {
            const QJsonArray Pages = ProductPages(PagesIn(QLatin1String(Kind), File));
            ASSERT_EQ(Pages.size(), 1) << Kind;
            ExpectShown(Pages.at(0).toObject().value(QStringLiteral("text")).toString());
            EXPECT_EQ(Strings(Pages.at(0).toObject().value(QStringLiteral("alts"))), QStringList{Product.Name}) << Kind;
        }
    }

    // The book as a site, one web archive, a help file (its contents naming
    // the page) and a ZIP.
    WritePage({Product});
    const QString Book = WriteBook();
    for (const auto &[Command, Kind, File] : {std::tuple{"HTML6", "htm", QStringLiteral("index.htm")},
                                              std::tuple{"HTML5", "mht", QStringLiteral("b.mht")},
                                              std::tuple{"CHM5", "chm", QStringLiteral("b.chm")},
                                              std::tuple{"ZIP5", "zip", QStringLiteral("b.zip")}}) {
        SCOPED_TRACE(Command);
        EXPECT_EQ(Drive(QStringLiteral("wait\nclick %1\nwait\nprompts\nquit\n").arg(QLatin1String(Command)), {Book}), QString());
        if (QLatin1String(Kind) == QLatin1String("htm")) {
            const QString R = Web({Output(QStringLiteral("b"), File)}).value(0);
            ExpectShown(R);
            EXPECT_TRUE(R.contains(QStringLiteral("\\n") + Title + QStringLiteral("\\n"))) << "the navigation";
            continue;
        }
        const QJsonArray Pages = PagesIn(QLatin1String(Kind), Output(QStringLiteral("b"), File));
        ASSERT_EQ(ProductPages(Pages).size(), 1);
        ExpectShown(ProductPages(Pages).at(0).toObject().value(QStringLiteral("text")).toString());
        if (QLatin1String(Kind) == QLatin1String("chm")) {
            QStringList Entries;
            for (const QJsonValue &P : Pages)
                Entries << Strings(P.toObject().value(QStringLiteral("values")));
            EXPECT_TRUE(Entries.contains(Title)) << Entries.join(QLatin1Char('|')).toStdString();
        }
    }

    // Pictures and PDFs of the page and of the book, single and split, are
    // those of the same texts typed as character references (which every
    // reader shows as the characters).
    const QString AsReferences = QStringLiteral("&#128512;&#54620;&#44397;&#241;&#131072;");
    QMap<QString, QByteArray> Pictures[2];
    for (int Typed = 0; Typed < 2; ++Typed) {
        const QString Chars = Typed ? AsReferences : Odd;
        Title = S("春季") + Chars;
        WritePage({{S("笑脸") + Chars, S("说明") + Chars}});
        QDir(Home.File(S("输出"))).removeRecursively();
        EXPECT_EQ(Drive(QStringLiteral("wait\nclick JPG1\nwait\nclick PDFpdf1\nwait\nprompts\nquit\n"), {Docs.File(QStringLiteral("p.qbt"))}),
                  QString());
        Pictures[Typed].insert(QStringLiteral("page.jpg"), TestSupport::ReadAll(Output(QStringLiteral("P1"), QStringLiteral("P1.jpg"))));
        const QString PagePdf = Output(QStringLiteral("P1"), QStringLiteral("P1.pdf"));
        for (const char *Command : {"JPG3", "PDFpdf2"}) {
            EXPECT_EQ(Drive(QStringLiteral("wait\nclick %1\nwait\nprompts\nquit\n").arg(QLatin1String(Command)), {Book}), QString());
            if (QLatin1String(Command) == QLatin1String("JPG3"))
                Pictures[Typed].insert(QStringLiteral("book.jpg"), TestSupport::ReadAll(Output(QStringLiteral("b"), QStringLiteral("p.jpg"))));
        }
        // The pictures inside the PDFs, as poppler takes them out.
        for (const QString &Pdf : {PagePdf, Output(QStringLiteral("b"), S("书.pdf"))}) {
            const QString Prefix = Docs.File(QStringLiteral("pdf-%1").arg(Typed));
            QDir(Prefix).removeRecursively();
            QDir().mkpath(Prefix);
            EXPECT_EQ(TestSupport::RunProgram(QStringLiteral("pdfimages"), {QStringLiteral("-j"), Pdf, Prefix + QStringLiteral("/x")}), 0)
                << Pdf.toStdString();
            const QStringList Files = QDir(Prefix).entryList(QDir::Files, QDir::Name);
            EXPECT_FALSE(Files.isEmpty()) << Pdf.toStdString();
            for (const QString &F : Files)
                Pictures[Typed].insert(QFileInfo(Pdf).fileName() + QLatin1Char('/') + F, TestSupport::ReadAll(Prefix + QLatin1Char('/') + F));
        }
    }
    ASSERT_EQ(Pictures[0].keys(), Pictures[1].keys());
    for (const QString &Key : Pictures[0].keys()) {
        EXPECT_FALSE(Pictures[0].value(Key).isEmpty()) << Key.toStdString();
        EXPECT_TRUE(Pictures[0].value(Key) == Pictures[1].value(Key)) << Key.toStdString();
    }
}

TEST_F(OutputText, LongPastedTextsMarkupInNamesAndLabelledCompanyLinesPublishAsTheyShow)
{
    if (!TestSupport::HaveProgram(QStringLiteral("chmls")) || !TestSupport::HaveProgram(QStringLiteral("pdfinfo")))
        GTEST_SKIP() << "chmls or poppler-utils are not installed";
    // A description pasted from a web page, its table kept, far longer than
    // 512 characters; the product after it and the page's own tables must
    // stay outside its table.
    const QString Long = S("很长的说明").repeated(150) + S("完");
    const QString Pasted = S("<table border=\"1\"><tr><td>") + Long + S("</td></tr></table>");
    // A page name with tags and an end of the title in it.
    Title = S("<b>春季</b>新品</title><i>报价</i>");
    const QString TitleText = S("春季新品报价");
    // Company lines stored as label=value, and a web address that holds "=".
    SaveText(Home.File(QStringLiteral("cols1.dat")),
             {S("中文内容"), S("公司名=清风茶具"), S("联系人=王五"), S("手机=138"), S("电话"), S("传真"),
              S("http://shop.example.com/?id=3"), S("邮件地址=shop@example.com")});
    const QString Page = WritePage({{S("茶杯"), Pasted}, {S("茶壶"), S("短说明")}});
    EXPECT_EQ(Drive(QStringLiteral("wait\nclick ZIP1\nwait\nclick RAR1\nwait\nclick CHM1\nwait\nclick HTML1\nwait\nprompts\nquit\n"), {Page}),
              QString());
    const struct {
        const char *Kind;
        QString File;
    } Read[] = {{"htm", Output(QStringLiteral("P1"), QStringLiteral("P1.htm"))},
                {"mht", Output(QStringLiteral("P1"), QStringLiteral("P1.htm.mht"))},
                {"chm", Output(QStringLiteral("P1"), QStringLiteral("P1.chm"))},
                {"zip", Output(QStringLiteral("P1"), QStringLiteral("P1.zip"))}};
    for (const auto &Out : Read) {
        SCOPED_TRACE(Out.Kind);
        const QJsonArray Pages = ProductPages(PagesIn(QLatin1String(Out.Kind), Out.File, {S("A-001"), S("A-002"), S("订单请发送至")}));
        ASSERT_EQ(Pages.size(), 1);
        const QJsonObject P = Pages.at(0).toObject();
        const QString Text = P.value(QStringLiteral("text")).toString();
        EXPECT_TRUE(Text.contains(Long)) << "the description whole";
        // Both products and the footer stand in the page's own tables, none in the pasted one.
        const QJsonObject Depths = P.value(QStringLiteral("depths")).toObject();
        EXPECT_EQ(Depths.value(S("A-002")).toInt(-1), Depths.value(S("A-001")).toInt(-2)) << Text.right(300).toStdString();
        EXPECT_EQ(Depths.value(S("订单请发送至")).toInt(-1), 1);
        // The title is the name's text, and nothing of it shows at the top of the page.
        EXPECT_EQ(P.value(QStringLiteral("title")).toString(), TitleText);
        EXPECT_FALSE(Text.left(Text.indexOf(S("春季新品"))).contains(S("报价"))) << Text.left(200).toStdString();
        // The company's values, without their labels; an address with "=" whole.
        EXPECT_TRUE(Text.contains(S("联系人：王五")) && Text.contains(S("清风茶具")) && Text.contains(S("邮箱：shop@example.com")))
            << Text.right(400).toStdString();
        EXPECT_FALSE(Text.contains(S("联系人=")) || Text.contains(S("公司名=")));
        EXPECT_TRUE(Text.contains(S("网址：http://shop.example.com/?id=3")));
    }

    // The book: its name and its pages' names in its frames' titles as
    // text, a page named with nothing but tags listed by its file's name,
    // and its PDF named by its name's text.
    WritePage({{S("茶杯"), S("说明")}}, S("标准模式"), false, QString(), QStringLiteral("p.qbt"));
    Title = S("<b></b>");
    WritePage({{S("茶壶"), S("说明")}}, S("标准模式"), false, QString(), QStringLiteral("q.qbt"));
    const QString Book = Docs.File(QStringLiteral("b.qbs"));
    SaveText(Book, {S("Catalog_name=春季<b>新品</b></title>目录"), S("{$Files}"), QStringLiteral("p.qbt"), QStringLiteral("q.qbt")});
    EXPECT_EQ(Drive(QStringLiteral("wait\nclick HTML6\nwait\nprompts\nquit\n"), {Book}), QString());
    const QJsonObject Index = PagesIn(QStringLiteral("htm"), Output(QStringLiteral("b"), QStringLiteral("index.htm"))).at(0).toObject();
    EXPECT_EQ(Index.value(QStringLiteral("title")).toString(), S("春季新品目录"));
    const QJsonObject Left = PagesIn(QStringLiteral("htm"), Output(QStringLiteral("b"), QStringLiteral("images/left.htm"))).at(0).toObject();
    EXPECT_EQ(Left.value(QStringLiteral("title")).toString(), S("春季新品目录"));
    EXPECT_EQ(Strings(Left.value(QStringLiteral("links"))), (QStringList{S("春季新品报价"), S("q")}));
    EXPECT_EQ(Drive(QStringLiteral("wait\nclick PDFpdf2\nwait\nprompts\nquit\n"), {Book}), QString());
    EXPECT_TRUE(QFileInfo(Output(QStringLiteral("b"), S("春季新品目录.pdf"))).isFile())
        << QDir(Output(QStringLiteral("b"), QString())).entryList().join(QLatin1Char(' ')).toStdString();
}

namespace {

// The members of a ZIP as python's zipfile lists them, sorted.
QStringList ZipMembers(const QString &Zip)
{
    QByteArray Out;
    EXPECT_EQ(TestSupport::RunProgram(QStringLiteral("/usr/bin/python3"),
                                      {QStringLiteral("-c"),
                                       QStringLiteral("import sys,zipfile\nfor n in sorted(zipfile.ZipFile(sys.argv[1]).namelist()): print(n)"),
                                       Zip},
                                      &Out),
              0)
        << Out.constData();
    return QString::fromUtf8(Out).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}

} // namespace

TEST_F(OutputText, EachOutputHoldsWhatItShouldAndAFailedOneOpensNothing)
{
    if (!TestSupport::HaveProgram(QStringLiteral("chmls")) || !TestSupport::HaveProgram(QStringLiteral("pdfinfo")))
        GTEST_SKIP() << "chmls or poppler-utils are not installed";
    QFile::copy(Docs.File(QStringLiteral("photo.jpg")), Docs.File(QStringLiteral("teapot.jpg")));
    const QString D = Output(QStringLiteral("P1"), QString());
    // Earlier outputs of the page: its HTML folder (with the picture of a
    // product deleted since), web archive, package and PDF.
    QString Page = WritePage({{S("茶杯"), S("说明")}, {S("茶壶"), S("说明"), QStringLiteral("teapot.jpg")}});
    EXPECT_EQ(Drive(QStringLiteral("wait\nclick RAR1\nwait\nclick QBA1\nwait\nclick PDFpdf1\nwait\nclick HTML1\nwait\nprompts\nquit\n"), {Page}),
              QString());
    const QByteArray HtmlOutput = TestSupport::ReadAll(D + QStringLiteral("P1.htm"));
    ASSERT_TRUE(HtmlOutput.contains("A-002"));
    for (const QString &F : {QStringLiteral("P1.htm.mht"), QStringLiteral("catalog.qba"), QStringLiteral("P1.pdf"),
                             QStringLiteral("images/teapot.jpg")})
        ASSERT_TRUE(QFileInfo(D + F).isFile()) << F.toStdString();

    // The teapot is deleted; the ZIP holds the page and its picture, nothing
    // else; the HTML output's page stays the HTML output's.
    Page = WritePage({{S("茶杯"), S("说明")}});
    QString Out = Drive(QStringLiteral("wait\nclick ZIP1\nwait\nprompts\nshell\nquit\n"), {Page});
    EXPECT_EQ(Out, QStringLiteral("Open ") + D + QStringLiteral("\n"));
    EXPECT_EQ(ZipMembers(D + QStringLiteral("P1.zip")), (QStringList{QStringLiteral("P1.htm"), QStringLiteral("images/photo.jpg")}));
    const QString Unpacked = Unzip(D + QStringLiteral("P1.zip"));
    EXPECT_TRUE(AllPicturesShown(Web({Unpacked + QStringLiteral("P1.htm")}).value(0), 1));
    EXPECT_TRUE(TestSupport::ReadAll(D + QStringLiteral("P1.htm")) == HtmlOutput);
    // A ZIP that fails (its name taken by a folder) says why, opens nothing
    // and leaves the HTML output's page as it was.
    QFile::remove(D + QStringLiteral("P1.zip"));
    ASSERT_TRUE(QDir().mkpath(D + QStringLiteral("P1.zip")));
    Out = Drive(QStringLiteral("wait\nanswer button OK\nclick ZIP1\nwait\nprompts\nshell\nquit\n"), {Page});
    EXPECT_EQ(Out.count(QLatin1Char('\n')), 1) << Out.toStdString();
    EXPECT_TRUE(Out.startsWith(S("MessageBox | "))) << Out.toStdString();
    EXPECT_TRUE(TestSupport::ReadAll(D + QStringLiteral("P1.htm")) == HtmlOutput);
    // So does a help file that cannot be compiled.
    ASSERT_TRUE(QDir().mkpath(D + QStringLiteral("P1.chm")));
    Out = Drive(QStringLiteral("wait\nanswer button OK\nclick CHM1\nwait\nprompts\nshell\nquit\n"), {Page});
    EXPECT_EQ(Out.count(QLatin1Char('\n')), 1) << Out.toStdString();
    EXPECT_TRUE(Out.startsWith(S("MessageBox | 错误 | "))) << Out.toStdString();

    // A page whose output type is the package: 输出到指定目录 makes the
    // package (and nothing loose beside it), 输出并Email mails it.
    QDir(Home.File(S("输出"))).removeRecursively();
    Page = WritePage({{S("茶杯"), S("说明")}});
    QStringList Lines = LoadLines(Page);
    Lines.replaceInStrings(S("{输出方式}=HTML(网页文件类型)"), S("{输出方式}=QBA(Catalog包文件)"));
    SaveText(Page, Lines);
    Out = Drive(QStringLiteral("wait\nclick N53\nwait\nprompts\nshell\nquit\n"), {Page});
    EXPECT_EQ(Out, QStringLiteral("Open ") + D + QStringLiteral("\n"));
    EXPECT_EQ(QDir(D).entryList(QDir::AllEntries | QDir::NoDotAndDotDot), QStringList{QStringLiteral("catalog.qba")});
    EXPECT_EQ(ZipMembers(D + QStringLiteral("catalog.qba")),
              (QStringList{QStringLiteral("catalog.qbt"), QStringLiteral("images/photo.jpg"), QStringLiteral("index.dat")}));
    Out = Drive(QStringLiteral("wait\nclick Email1\nwait\nprompts\nshell\nquit\n"), {Page});
    EXPECT_TRUE(Out.contains(QStringLiteral("SendMail  |  |  | ") + D + QStringLiteral("catalog.qba\n"))) << Out.toStdString();
    EXPECT_FALSE(Out.contains(S("MessageBox"))) << Out.toStdString();
}

TEST_F(OutputText, APageSavedElsewhereKeepsShowingItsPicturesAndAMissingOneIsNamed)
{
    // The page names one picture beside it, one in a folder next to its
    // own, and one that is not there.
    QDir().mkpath(Docs.File(QStringLiteral("shared")));
    QDir().mkpath(Docs.File(QStringLiteral("pages")));
    QFile::copy(Docs.File(QStringLiteral("photo.jpg")), Docs.File(QStringLiteral("pages/photo.jpg")));
    QFile::rename(Docs.File(QStringLiteral("photo.jpg")), Docs.File(QStringLiteral("shared/b.jpg")));
    const QString Page = WritePage({{S("茶杯"), S("说明")}, {S("茶壶"), S("说明"), S("..\\shared\\b.jpg")}, {S("茶盘"), S("说明"), S("gone.jpg")}},
                                   S("标准模式"), false, QString(), QStringLiteral("pages/p.qbt"));
    auto Pictures = [](const QString &File) { return LoadLines(File).filter(QRegularExpression(QStringLiteral("^\\{\\$IMG\\}="))); };
    auto Listing = [](const QString &Folder) { return QDir(Folder).entryList(QDir::Files, QDir::Name); };
    const TestSupport::TempDir Far;

    // Saved as a page above its folder, then as one in another folder altogether.
    const QString Copy = Docs.File(QStringLiteral("copy.qbt"));
    const QString Away = Far.File(QStringLiteral("far.qbt"));
    // Two save dialogs and no other question.
    EXPECT_EQ(Drive(QStringLiteral("wait\nanswer file %1\nclick N8\nwait\nanswer file %2\nclick N8\nwait\nexpect-prompts 2\nquit\n").arg(Copy, Away), {Page}),
              QString());
    EXPECT_EQ(Pictures(Copy), (QStringList{S("{$IMG}=pages\\photo.jpg"), S("{$IMG}=shared\\b.jpg"), S("{$IMG}=gone.jpg")}));
    EXPECT_EQ(Pictures(Away), (QStringList{S("{$IMG}=") + Docs.File(QStringLiteral("pages/photo.jpg")),
                                           S("{$IMG}=") + Docs.File(QStringLiteral("shared/b.jpg")), S("{$IMG}=gone.jpg")}));
    EXPECT_EQ(Pictures(Page), (QStringList{S("{$IMG}=photo.jpg"), S("{$IMG}=..\\shared\\b.jpg"), S("{$IMG}=gone.jpg")}));
    // No picture was moved or copied.
    EXPECT_EQ(Listing(Docs.File(QStringLiteral("pages"))), (QStringList{QStringLiteral("p.qbt"), QStringLiteral("photo.jpg")}));
    EXPECT_EQ(Listing(Docs.File(QStringLiteral("shared"))), QStringList{QStringLiteral("b.jpg")});
    EXPECT_EQ(Listing(Far.Path()), QStringList{QStringLiteral("far.qbt")});

    // Reopened, each copy shows its pictures; its output takes them and names
    // the one it cannot find.
    for (const QString &Saved : {Copy, Away}) {
        SCOPED_TRACE(Saved.toStdString());
        QDir(Home.File(S("输出"))).removeRecursively();
        const QString Out = Drive(QStringLiteral("wait\ncell CellGrid1 1 1\ncell CellGrid1 1 7\ncell CellGrid1 1 13\n"
                                                 "answer button OK\nclick HTML1\nwait\nprompts\nquit\n"),
                                  {Saved});
        EXPECT_EQ(Out, S("\n\n图片文件不存在\nMessageBox | 警告 | 以下商品的图片文件找不到，输出的页面中不会显示这些图片：\\n商品“A-003”的图片：gone.jpg | OK\n"));
        EXPECT_EQ(Listing(Output(QStringLiteral("P1"), QStringLiteral("images"))), (QStringList{QStringLiteral("b.jpg"), QStringLiteral("photo.jpg")}));
        EXPECT_TRUE(Web({Output(QStringLiteral("P1"), QStringLiteral("P1.htm"))}).value(0).startsWith(QStringLiteral("pictures 3 loaded 2\n")));
    }
    // A product without a picture names no file: the output has nothing to tell.
    QStringList Lines = LoadLines(Away);
    Lines.replaceInStrings(S("{$IMG}=gone.jpg"), S("{$IMG}="));
    SaveText(Away, Lines);
    EXPECT_EQ(Drive(QStringLiteral("wait\nclick ZIP1\nwait\nprompts\nquit\n"), {Away}), QString());
    EXPECT_EQ(ZipMembers(Output(QStringLiteral("P1"), QStringLiteral("P1.zip"))),
              (QStringList{QStringLiteral("P1.htm"), QStringLiteral("images/b.jpg"), QStringLiteral("images/photo.jpg")}));

    // A page opened from a package lies in the program's scratch folder, which
    // goes when the program ends: saved elsewhere, it takes its pictures along
    // (a picture of the same name already there keeps its own).
    EXPECT_EQ(Drive(QStringLiteral("wait\nclick QBA1\nwait\nprompts\nquit\n"), {Away}), QString());
    const QString Received = Far.File(QStringLiteral("recv/recv.qbt"));
    QDir().mkpath(Far.File(QStringLiteral("recv/images")));
    TestSupport::WriteAll(Far.File(QStringLiteral("recv/images/b.jpg")), QByteArray("the user's own b.jpg"));
    EXPECT_EQ(Drive(QStringLiteral("wait\nanswer file %1\nclick N8\nwait\nexpect-prompts 1\nquit\n").arg(Received),
                    {Output(QStringLiteral("P1"), QStringLiteral("catalog.qba"))}),
              QString());
    EXPECT_EQ(Pictures(Received), (QStringList{S("{$IMG}=images\\photo.jpg"), S("{$IMG}=images\\b(2).jpg"), S("{$IMG}=")}));
    EXPECT_EQ(Listing(Far.File(QStringLiteral("recv/images"))),
              (QStringList{QStringLiteral("b(2).jpg"), QStringLiteral("b.jpg"), QStringLiteral("photo.jpg")}));
    EXPECT_EQ(TestSupport::ReadAll(Far.File(QStringLiteral("recv/images/b.jpg"))), QByteArray("the user's own b.jpg"));
    QDir(Home.File(S("输出"))).removeRecursively();
    EXPECT_EQ(Drive(QStringLiteral("wait\nclick HTML1\nwait\nprompts\nquit\n"), {Received}), QString());
    const QString Shown = Web({Output(QStringLiteral("P1"), QStringLiteral("P1.htm"))}).value(0);
    EXPECT_TRUE(Shown.startsWith(QStringLiteral("pictures 3 loaded 2\n"))) << Shown.toStdString();
}

namespace {

// What a run of the driver on a small file system left there.
struct TSmallDiskRun {
    QString Out;          // the driver's report
    QStringList Left;     // files and folders left on the small file system
};

// Runs the driver in a mount namespace of its own, with a file system of KiB
// kibibytes mounted at Mount (seen only by that run); false when this machine
// cannot make one.
bool DriveOnSmallDisk(const QString &Home, const QString &Mount, int KiB, const QString &Script, const QString &Document,
                      TSmallDiskRun &Run)
{
    static const QString Shell = QStringLiteral("mount -t tmpfs -o size=\"$1\"k tmpfs \"$2\" || exit 77\n"
                                                "\"$3\" --home \"$4\" - -- \"$5\" 2>/dev/null\n"
                                                "echo \"=== left\"\n"
                                                "cd \"$2\" && find . -mindepth 1 | sort\n");
    QProcess P;
    P.start(QStringLiteral("unshare"), {QStringLiteral("--user"), QStringLiteral("--map-root-user"), QStringLiteral("--mount"),
                                        QStringLiteral("sh"), QStringLiteral("-c"), Shell, QStringLiteral("sh"),
                                        QString::number(KiB), Mount, TestSupport::DriverPath(), Home, Document});
    if (!P.waitForStarted(10000))
        return false;
    P.write(Script.toUtf8());
    P.closeWriteChannel();
    if (!P.waitForFinished(120000) || P.exitStatus() != QProcess::NormalExit || P.exitCode() == 77)
        return false;
    const QStringList Parts = QString::fromUtf8(P.readAllStandardOutput()).split(QStringLiteral("=== left\n"));
    Run.Out = Parts.value(0);
    Run.Left = Parts.value(1).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    return Parts.size() == 2;
}

} // namespace

TEST_F(OutputText, AFailedPdfLeavesNothingAndSaysWhy)
{
    // The PDF's name is taken by a folder: the picture made for it goes, the
    // page and its pictures go, the user's files stay.
    const QString Page = WritePage({{S("茶杯"), S("说明")}});
    const QString D = Output(QStringLiteral("P1"), QString());
    ASSERT_TRUE(QDir().mkpath(D + QStringLiteral("P1.pdf")));
    TestSupport::WriteAll(D + QStringLiteral("mine.txt"), "mine");
    QString Out = Drive(QStringLiteral("wait\nanswer button OK\nclick PDFpdf1\nwait\nprompts\nquit\n"), {Page});
    EXPECT_EQ(Out.count(QLatin1Char('\n')), 1) << Out.toStdString();
    EXPECT_TRUE(Out.startsWith(S("MessageBox | 错误 | 转换失败。无法创建文件“") + D + QStringLiteral("P1.pdf”。")))
        << Out.toStdString();
    EXPECT_EQ(QDir(D).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot, QDir::Name | QDir::IgnoreCase),
              (QStringList{QStringLiteral("mine.txt"), QStringLiteral("P1.pdf")}));

    // A disk that fills up at any step of a page's or a book's PDF: the output
    // ends with its reason and leaves nothing; given room, it leaves the PDF only.
    QImage Small(40, 30, QImage::Format_RGB32);
    Small.fill(Qt::darkRed);
    ASSERT_TRUE(Small.save(Docs.File(QStringLiteral("photo.jpg"))));
    const QString Mount = Docs.File(QStringLiteral("small"));
    ASSERT_TRUE(QDir().mkpath(Mount));
    TSmallDiskRun Run;
    if (!DriveOnSmallDisk(Home.Path(), Mount, 64, QStringLiteral("quit\n"), Page, Run))
        GTEST_SKIP() << "no mount namespace with a small file system on this machine";
    const QString OnDisk = WritePage({{S("茶杯"), S("说明")}}, S("标准模式"), false, Mount, QStringLiteral("small.qbt"));
    const QString Book = Docs.File(QStringLiteral("small.qbs"));
    SaveText(Book, {S("Catalog_name=书"), S("Catalog_Output=") + Mount, S("{$Files}"), QStringLiteral("small.qbt")});
    const struct {
        QString Document, Command;
        QStringList Made;   // what a finished output leaves
    } Outputs[] = {{OnDisk, QStringLiteral("PDFpdf1"), {QStringLiteral("./P1"), QStringLiteral("./P1/P1.pdf")}},
                   {Book, QStringLiteral("PDFpdf2"),
                    {QStringLiteral("./small"), S("./small/书.pdf")}}};
    for (const auto &O : Outputs) {
        SCOPED_TRACE(O.Command.toStdString());
        QStringList Reasons;
        for (int KiB = 8; KiB <= 520; KiB += 16) {
            SCOPED_TRACE(KiB);
            ASSERT_TRUE(DriveOnSmallDisk(Home.Path(), Mount, KiB,
                                         QStringLiteral("wait\nanswer button OK\nclick %1\nwait\nprompts\nquit\n").arg(O.Command),
                                         O.Document, Run));
            if (Run.Out.isEmpty()) {
                EXPECT_EQ(Run.Left, O.Made);
                break;
            }
            // The book's own folder may stay, empty; nothing else of the output stays.
            EXPECT_TRUE(Run.Left.isEmpty() || Run.Left == O.Made.mid(0, 1)) << Run.Left.join(QLatin1Char(' ')).toStdString();
            EXPECT_EQ(Run.Out.count(QLatin1Char('\n')), 1) << Run.Out.toStdString();
            EXPECT_TRUE(Run.Out.contains(S("磁盘"))) << Run.Out.toStdString();
            Reasons << Run.Out;
        }
        // The disk filled up while the PDF itself was written, too.
        EXPECT_TRUE(Reasons.filter(S("转换失败。写入数据时出错")).size() > 0) << Reasons.join(QString()).toStdString();
    }
}

TEST_F(OutputText, ZipAndPackageOutputsOnAFullDiskSayTheDiskIsFull)
{
    // A picture that does not shrink in the archive: the disk fills up while
    // the archive itself is written, at some sizes.
    QImage Noise(300, 300, QImage::Format_RGB32);
    quint32 X = 7;
    for (int Y = 0; Y < Noise.height(); ++Y)
        for (int I = 0; I < Noise.width(); ++I) {
            X = X * 1103515245u + 12345u;
            Noise.setPixel(I, Y, X >> 8);
        }
    ASSERT_TRUE(Noise.save(Docs.File(QStringLiteral("photo.jpg")), "JPG", 100));
    const QString Mount = Docs.File(QStringLiteral("small"));
    ASSERT_TRUE(QDir().mkpath(Mount));
    const QString Page = WritePage({{S("茶杯"), S("说明")}}, S("标准模式"), false, Mount, QStringLiteral("small.qbt"));
    TSmallDiskRun Run;
    if (!DriveOnSmallDisk(Home.Path(), Mount, 64, QStringLiteral("quit\n"), Page, Run))
        GTEST_SKIP() << "no mount namespace with a small file system on this machine";
    const QString Book = Docs.File(QStringLiteral("small.qbs"));
    SaveText(Book, {S("Catalog_name=书"), S("Catalog_Output=") + Mount, S("{$Files}"), QStringLiteral("small.qbt")});
    const QFileInfo Photo(Docs.File(QStringLiteral("photo.jpg")));
    const struct {
        QString Document, Command, Archive;
    } Outputs[] = {{Page, QStringLiteral("ZIP3"), QStringLiteral("./P1/P1.zip")},
                   {Page, QStringLiteral("QBA1"), QStringLiteral("./P1/catalog.qba")},
                   {Book, QStringLiteral("ZIP5"), QStringLiteral("./small/small.zip")}};
    for (const auto &O : Outputs) {
        SCOPED_TRACE(O.Command.toStdString());
        QStringList Reasons;
        bool Made = false;
        for (int KiB = 8; KiB <= 8 + 4 * int(Photo.size() / 1024) && !Made; KiB += 24) {
            SCOPED_TRACE(KiB);
            ASSERT_TRUE(DriveOnSmallDisk(Home.Path(), Mount, KiB,
                                         QStringLiteral("wait\nanswer button OK\nclick %1\nwait\nprompts\nquit\n").arg(O.Command),
                                         O.Document, Run));
            Made = Run.Left.contains(O.Archive);
            if (Made)
                break;
            // No archive under its name, and a reason the user can act on.
            EXPECT_FALSE(Run.Left.join(QLatin1Char(' ')).contains(QStringLiteral(".zip"))) << Run.Left.join(QLatin1Char(' ')).toStdString();
            EXPECT_FALSE(Run.Left.join(QLatin1Char(' ')).contains(QStringLiteral(".qba"))) << Run.Left.join(QLatin1Char(' ')).toStdString();
            EXPECT_TRUE(Run.Out.contains(S("磁盘"))) << Run.Out.toStdString();
            EXPECT_FALSE(Run.Out.contains(QStringLiteral("room"))) << Run.Out.toStdString();
            Reasons << Run.Out;
        }
        EXPECT_TRUE(Made) << "given room, the output is made";
        // The disk filled up while the archive itself was written, too.
        EXPECT_FALSE(Reasons.filter(S("不能写入压缩文件")).isEmpty()) << Reasons.join(QString()).toStdString();
    }
}
