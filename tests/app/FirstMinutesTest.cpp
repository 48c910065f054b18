// What a new user meets in the first minutes, through quillbook-drive on a copy
// of the program folder exactly as the build ships it: a new page made and
// saved there, pages whose texts hold block markers and placeholders published
// in every output, the cell editor after a page opens, package saves, files
// that are no pages, and pictures with Chinese names in a web archive.

#include "TestSupport.h"
#include "platform/core/Classes.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QRegularExpression>
#include <gtest/gtest.h>

#include <unistd.h>

using TestSupport::DriveRun;
using TestSupport::RunDrive;

namespace {

QString S(const char *Utf8)
{
    return QString::fromUtf8(Utf8);
}

QStringList LoadPage(const QString &File)
{
    TStringList L;
    L.LoadFromFile(File);
    return L.ToQStringList();
}

void SavePage(const QString &File, const QStringList &Lines)
{
    TStringList(Lines).SaveToFile(File);
}

// Texts a user may type into a product, each holding a marker or a placeholder.
const QStringList TrickyNotes{S("描述里有{$3}字样"), S("{$PID}"), S("{图片}与{$PNOTE}=x")};

class FirstMinutes : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(QFileInfo(TestSupport::DriverPath()).isExecutable());
        TestSupport::CopyProgramFolderTo(Home.Path());
    }

    // A page as the program writes it: Count products, product n with the ID
    // "A-00n", the picture Pictures[n-1] (relative to the page) and the note
    // Notes[n-1].
    QString WritePage(const QString &Name, const QString &Id, const QString &OutputType, const QStringList &Notes,
                      const QStringList &Pictures = {})
    {
        QStringList L{S("QBT FILE TYPE 2.0"),
                      S("{Catalog编号}=") + Id,
                      S("{Catalog名称}=春季报价"),
                      S("{业务员名}=王五"),
                      S("{客户编号}=C-9"),
                      S("{客户名称}=李四"),
                      S("{客户公司名}=李氏贸易"),
                      S("{日期}=2026-12-7"),
                      S("{货币符号}=￥"),
                      S("{产品单位}=个"),
                      S("{重量单位}=克"),
                      S("{图片宽}=0"),
                      S("{图片高}=0"),
                      S("{输出目录}="),
                      S("{输出方式}=") + OutputType,
                      S("{输出风格}=春天系列"),
                      S("{输出语言}=中文"),
                      S("{订单接收email地址}=order@example.com"),
                      S("{图片框百分比}=75"),
                      S("{Catalog说明}=说明"),
                      S("/*以下内容均由程序自动生成，一般用户无需自行修改。"),
                      S("{detail}"),
                      QString()};
        for (int N = 1; N <= Notes.size(); ++N)
            L << QStringLiteral("{$%1}").arg(N) << S("{$IMG}=") + Pictures.value(N - 1)
              << QStringLiteral("{$PID}=A-00%1").arg(N) << S("{$PNAME}=商品%1").arg(N)
              << QStringLiteral("{$PPRICE}=%1.50").arg(N) << S("{$PUNIT}=件") << QStringLiteral("{$PWEIGHT}=5")
              << S("{$PSERIAL}=大号") << S("{$PNOTE}=") + Notes.at(N - 1);
        const QString Path = Docs.File(Name);
        SavePage(Path, L);
        return Path;
    }

    QString Output(const QString &Id, const QString &File) const { return Home.File(S("输出/") + Id + QLatin1Char('/') + File); }

    TestSupport::TempDir Home;
    TestSupport::TempDir Docs;
};

// A web page as python's html.parser reads it (decoded with the character set
// it declares): its whole text, then the text inside its links, then each
// address it links to or loads, one per line, each part after a "=====" line.
QStringList TextLinksAndAddresses(const QString &File)
{
    static const char *const Reader = R"(
import sys, re, html.parser
b = open(sys.argv[1], 'rb').read()
m = re.search(rb'charset=["\']?([A-Za-z0-9_-]+)', b)
charset = {'gb2312': 'gbk', 'iso-8859-1': 'cp1252'}.get(m.group(1).decode().lower() if m else 'gbk', 'gbk')
class Page(html.parser.HTMLParser):
    def __init__(self):
        super().__init__(convert_charrefs=True)
        self.text, self.linked, self.addresses, self.depth = [], [], [], 0
    def handle_starttag(self, tag, attrs):
        self.addresses += [v for k, v in attrs if k in ('href', 'src', 'background', 'action') and v]
        if tag == 'a': self.depth += 1
    def handle_endtag(self, tag):
        if tag == 'a' and self.depth: self.depth -= 1
    def handle_data(self, d):
        self.text.append(d)
        if self.depth: self.linked.append(d)
p = Page()
p.feed(b.decode(charset))
sys.stdout.write('\n=====\n'.join([''.join(p.text), ''.join(p.linked), '\n'.join(p.addresses)]))
)";
    QByteArray Out;
    const int Code = TestSupport::RunProgram(QStringLiteral("/usr/bin/python3"), {QStringLiteral("-c"), QString::fromUtf8(Reader), File}, &Out);
    EXPECT_EQ(Code, 0) << Out.constData();
    return QString::fromUtf8(Out).split(QStringLiteral("\n=====\n"));
}

} // namespace

TEST_F(FirstMinutes, ANewPageIsMadeFilledAndSavedInTheShippedProgramFolder)
{
    const QString Saved = Docs.File(QStringLiteral("first.qbt"));
    // 新建目录页面 in the start dialog, then the product typed in and saved.
    DriveRun R = RunDrive(Home.Path(), QStringLiteral("wait\nclick Form2.Button1\nwait\nset-cell CellGrid1 3 1 A-001\n"
                                                      "set-cell CellGrid1 5 1 茶杯\nanswer file %1\nclick SpeedButton9\n"
                                                      "wait\nprompts\nquit\n")
                                           .arg(Saved));
    ASSERT_EQ(R.Code, 0) << R.Err.toStdString();
    // The save dialog was the only question: no error on the way.
    EXPECT_TRUE(R.Out.startsWith(QStringLiteral("FileDialog"))) << R.Out.toStdString();
    EXPECT_EQ(R.Out.count(QLatin1Char('\n')), 1) << R.Out.toStdString();
    const QStringList Lines = LoadPage(Saved);
    ASSERT_GT(Lines.size(), 24);
    EXPECT_EQ(Lines.at(0), S("QBT FILE TYPE 2.0"));
    EXPECT_EQ(Lines.at(23), S("{$1}"));
    EXPECT_TRUE(Lines.contains(S("{$PNAME}=茶杯")));
    EXPECT_TRUE(QFileInfo(Home.File(S("目录册/default.qbs"))).isFile());

    // 文件 → 新建目录页 after the start dialog was closed, in a fresh copy whose
    // own folders are gone: the program makes them again, and publishes there.
    TestSupport::TempDir Fresh;
    TestSupport::CopyProgramFolderTo(Fresh.Path());
    ASSERT_TRUE(QDir(Fresh.File(S("目录册"))).removeRecursively());
    ASSERT_TRUE(QDir(Fresh.File(S("输出"))).removeRecursively());
    R = RunDrive(Fresh.Path(), QStringLiteral("wait\nclick Form2.Button5\nwait\nclick N2\nwait\nset-cell CellGrid1 3 1 A-001\n"
                                              "set-cell CellGrid1 3 2 9.90\nclick HTML1\nwait\nprompts\npage-text\nquit\n"));
    ASSERT_EQ(R.Code, 0) << R.Err.toStdString();
    EXPECT_TRUE(R.Out.startsWith(S("QBT FILE TYPE 2.0\n"))) << R.Out.toStdString();
    const QString Id = R.Out.section(QLatin1Char('\n'), 1, 1).section(QLatin1Char('='), 1);
    EXPECT_TRUE(QFileInfo(Fresh.File(S("目录册/default.qbs"))).isFile());
    EXPECT_TRUE(QFileInfo(Fresh.File(S("输出/") + Id + QLatin1Char('/') + Id + QStringLiteral(".htm"))).isFile()) << Id.toStdString();
}

namespace {

// The web pages inside an output, read by independent readers: python3's
// zipfile and email modules, chmls; a plain HTML file is read as it is.
QStringList PagesIn(const QString &Kind, const QString &File)
{
    if (Kind == QLatin1String("htm")) {
        TStringList L;
        L.LoadFromFile(File);
        return {L.Text()};
    }
    static const char *const Reader = R"(
import sys, zipfile, email, subprocess, tempfile, glob
kind, f = sys.argv[1], sys.argv[2]
out = []
if kind == 'zip':
    z = zipfile.ZipFile(f)
    out = [z.read(n) for n in z.namelist() if n.lower().endswith('.htm')]
elif kind == 'mht':
    m = email.message_from_binary_file(open(f, 'rb'))
    out = [p.get_payload(decode=True) for p in m.walk() if p.get_content_type() == 'text/html']
elif kind == 'chm':
    d = tempfile.mkdtemp()
    subprocess.run(['chmls', 'extractall', f, d], check=True, stdout=subprocess.DEVNULL)
    out = [open(p, 'rb').read() for p in glob.glob(d + '/**/*.htm', recursive=True)]
sys.stdout.buffer.write(b'\n=====\n'.join(out))
)";
    QByteArray Bytes;
    const int Code = TestSupport::RunProgram(QStringLiteral("/usr/bin/python3"),
                                             {QStringLiteral("-c"), QString::fromUtf8(Reader), Kind, File}, &Bytes);
    if (Code != 0)
        return {QStringLiteral("reader failed: ") + QString::fromUtf8(Bytes)};
    TStringList L;
    const QString Temp = File + QStringLiteral(".pages");
    TestSupport::WriteAll(Temp, Bytes);
    L.LoadFromFile(Temp);
    QFile::remove(Temp);
    return L.Text().split(QStringLiteral("=====\r\n"));
}

// The output holds exactly the page's three products with their texts whole.
void ExpectTheThreeProducts(const QString &Kind, const QString &File)
{
    SCOPED_TRACE((Kind + QLatin1Char(' ') + File).toStdString());
    ASSERT_TRUE(QFileInfo(File).isFile());
    const QString All = PagesIn(Kind, File).join(QStringLiteral("\n"));
    static const QRegularExpression PriceIds(QStringLiteral("id=\"C6R2\\d+\""));
    EXPECT_EQ(All.count(PriceIds), 3) << All.toStdString();
    for (const QString &Note : TrickyNotes)
        EXPECT_EQ(All.count(QStringLiteral(">") + Note + QStringLiteral("<")), 1) << Note.toStdString();
    for (int N = 1; N <= 3; ++N)
        EXPECT_EQ(All.count(QStringLiteral(">A-00%1<").arg(N)), 1) << N;
    EXPECT_EQ(All.count(S(">返回<")), 1);
    EXPECT_FALSE(All.contains(QStringLiteral("src=\"images/\""))) << "a product without its picture";
}

} // namespace

TEST_F(FirstMinutes, MarkersAndPlaceholdersInProductTextsGoThroughEveryOutputWhole)
{
    if (!TestSupport::HaveProgram(QStringLiteral("chmls")))
        GTEST_SKIP() << "chmls is not installed";
    QImage Picture(40, 30, QImage::Format_RGB32);
    Picture.fill(Qt::darkGreen);
    ASSERT_TRUE(Picture.save(Docs.File(QStringLiteral("p1.jpg"))));
    ASSERT_TRUE(Picture.save(Docs.File(QStringLiteral("p2.jpg"))));
    ASSERT_TRUE(Picture.save(Docs.File(QStringLiteral("p3.jpg"))));
    const QString Page = WritePage(QStringLiteral("p.qbt"), QStringLiteral("P1"), S("HTML(网页文件类型)"), TrickyNotes,
                                   {QStringLiteral("p1.jpg"), QStringLiteral("p2.jpg"), QStringLiteral("p3.jpg")});

    // The page: package, ZIP, MHT, CHM, then the HTML folder.
    DriveRun R = RunDrive(Home.Path(), QStringLiteral("wait\nclick QBA1\nwait\nclick ZIP1\nwait\nclick RAR1\nwait\nclick CHM1\nwait\n"
                                                      "click HTML1\nwait\nprompts\nquit\n"),
                          {Page});
    ASSERT_EQ(R.Code, 0) << R.Err.toStdString();
    EXPECT_EQ(R.Out, QString()) << "a question or an error";
    ExpectTheThreeProducts(QStringLiteral("zip"), Output(QStringLiteral("P1"), QStringLiteral("P1.zip")));
    ExpectTheThreeProducts(QStringLiteral("mht"), Output(QStringLiteral("P1"), QStringLiteral("P1.htm.mht")));
    ExpectTheThreeProducts(QStringLiteral("chm"), Output(QStringLiteral("P1"), QStringLiteral("P1.chm")));
    ExpectTheThreeProducts(QStringLiteral("htm"), Output(QStringLiteral("P1"), QStringLiteral("P1.htm")));
    // The package's page holds the texts as they were typed, each block once.
    QByteArray Copy;
    ASSERT_EQ(TestSupport::RunProgram(QStringLiteral("unzip"), {QStringLiteral("-p"), Output(QStringLiteral("P1"), QStringLiteral("catalog.qba")),
                                                                QStringLiteral("catalog.qbt")},
                                      &Copy),
              0);
    TestSupport::WriteAll(Docs.File(QStringLiteral("copy.qbt")), Copy);
    const QStringList CopyLines = LoadPage(Docs.File(QStringLiteral("copy.qbt")));
    for (const QString &Note : TrickyNotes)
        EXPECT_EQ(CopyLines.count(S("{$PNOTE}=") + Note), 1) << Note.toStdString();
    EXPECT_EQ(CopyLines.filter(QRegularExpression(QStringLiteral("^\\{\\$\\d+\\}$"))).size(), 3);
    EXPECT_TRUE(CopyLines.contains(QStringLiteral("{$IMG}=images\\p1.jpg")));

    // The book of that page, one output a run (each starts from an empty folder).
    SavePage(Docs.File(QStringLiteral("b.qbs")), {S("Catalog_name=书"), S("{$Files}"), QStringLiteral("p.qbt")});
    const struct {
        const char *Command;
        const char *Kind;
        const char *File;
    } Books[] = {{"ZIP5", "zip", "b.zip"}, {"HTML5", "mht", "b.mht"}, {"CHM5", "chm", "b.chm"}};
    for (const auto &B : Books) {
        R = RunDrive(Home.Path(), QStringLiteral("wait\nclick %1\nwait\nprompts\nquit\n").arg(QLatin1String(B.Command)),
                     {Docs.File(QStringLiteral("b.qbs"))});
        ASSERT_EQ(R.Code, 0) << B.Command << R.Err.toStdString();
        EXPECT_EQ(R.Out, QString()) << B.Command;
        ExpectTheThreeProducts(QLatin1String(B.Kind), Output(QStringLiteral("b"), QLatin1String(B.File)));
    }
}

TEST_F(FirstMinutes, TypingAfterAPageOpensChangesOnlyTheCellTheEditorShows)
{
    const QString Page = WritePage(QStringLiteral("p.qbt"), QStringLiteral("P1"), S("HTML(网页文件类型)"),
                                   {S("一"), S("二")});
    const DriveRun R = RunDrive(Home.Path(), QStringLiteral("wait\ntext Edit1\nkeys Edit1 9\ncell CellGrid1 3 1\n"
                                                            "click SpeedButton9\nwait\nprompts\nquit\n"),
                                {Page});
    ASSERT_EQ(R.Code, 0) << R.Err.toStdString();
    EXPECT_EQ(R.Out, QStringLiteral("A-001\nA-0019\n"));
    const QStringList Lines = LoadPage(Page);
    EXPECT_EQ(Lines.at(25), QStringLiteral("{$PID}=A-0019"));
    EXPECT_EQ(Lines.at(34), QStringLiteral("{$PID}=A-002"));
}

TEST_F(FirstMinutes, AVeryLongDescriptionPastedIntoTheEditorIsStoredWhole)
{
    const QString Long = QString(200000, QChar(0x957F)) + QLatin1Char('X');   // 长
    const QString Page = WritePage(QStringLiteral("p.qbt"), QStringLiteral("P1"), S("HTML(网页文件类型)"), {S("短")});
    const DriveRun R = RunDrive(Home.Path(), QStringLiteral("wait\nselect-cell CellGrid1 3 4\nwait\ntype Edit1 %1\nwait\n"
                                                            "click SpeedButton9\nwait\nprompts\nquit\n").arg(Long),
                                {Page});
    ASSERT_EQ(R.Code, 0) << R.Err.toStdString();
    EXPECT_TRUE(LoadPage(Page).contains(S("{$PNOTE}=") + Long));

    // A long description read from the page is edited whole: typing one key into
    // its cell keeps every character that was there.
    const QString Stored = QString(1000, QChar(0x957F));
    const QString Other = WritePage(QStringLiteral("q.qbt"), QStringLiteral("P2"), S("HTML(网页文件类型)"), {Stored});
    const DriveRun E = RunDrive(Home.Path(), QStringLiteral("wait\nselect-cell CellGrid1 3 4\nwait\nkeys Edit1 Y\nwait\n"
                                                            "click SpeedButton9\nwait\nprompts\nquit\n"),
                                {Other});
    ASSERT_EQ(E.Code, 0) << E.Err.toStdString();
    QString Note;
    for (const QString &L : LoadPage(Other))
        if (L.startsWith(S("{$PNOTE}=")))
            Note = L.mid(9);
    EXPECT_EQ(Note.count(QChar(0x957F)), 1000);
    EXPECT_EQ(Note.size(), 1001) << Note.size();
}

TEST_F(FirstMinutes, APackagePageWhoseSaveIsCancelledKeepsAskingAtExit)
{
    const QString Page = WritePage(QStringLiteral("p.qbt"), QStringLiteral("P1"), S("QBA(Catalog包文件)"), {S("一")});
    // The page's package, made by the program.
    DriveRun R = RunDrive(Home.Path(), QStringLiteral("wait\nclick QBA1\nwait\nprompts\nquit\n"), {Page});
    ASSERT_EQ(R.Code, 0) << R.Err.toStdString();
    const QString Package = Docs.File(QStringLiteral("p.qba"));
    ASSERT_TRUE(QFile::copy(Output(QStringLiteral("P1"), QStringLiteral("catalog.qba")), Package));
    const QByteArray Before = TestSupport::ReadAll(Package);

    // A price that is no number: saving asks, the user cancels, and the edit is
    // still unsaved when the program closes.
    R = RunDrive(Home.Path(), QStringLiteral("wait\nset-cell CellGrid1 3 2 abc\nanswer button Cancel\nclick SpeedButton9\nwait\n"
                                             "answer button Cancel\nclick ExitItem\nwait\nprompts\nquit\n"),
                 {Package});
    ASSERT_EQ(R.Code, 0) << R.Err.toStdString();
    const QStringList Prompts = R.Out.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    ASSERT_EQ(Prompts.size(), 2) << R.Out.toStdString();
    EXPECT_TRUE(Prompts.at(0).contains(S("个商品资料的单价包含非数字字符"))) << Prompts.at(0).toStdString();
    EXPECT_TRUE(Prompts.at(1).contains(S("有资料修改后尚未保存，是否存盘？"))) << Prompts.at(1).toStdString();
    EXPECT_EQ(TestSupport::ReadAll(Package), Before);
}

TEST_F(FirstMinutes, FilesThatAreNoPagesAreRefusedAndLeftAsTheyAre)
{
    QByteArray Binary;
    for (int I = 0; I < 300; ++I)
        Binary.append(char(I * 7));
    const QString Bin = Docs.File(QStringLiteral("binary.qbt"));
    const QString Empty = Docs.File(QStringLiteral("empty.qbt"));
    const QString Text = Docs.File(QStringLiteral("notes.qbt"));
    TestSupport::WriteAll(Bin, Binary);
    TestSupport::WriteAll(Empty, QByteArray());
    TestSupport::WriteAll(Text, QByteArray("shopping list\r\nmilk\r\n"));
    for (const QString &File : {Bin, Empty, Text}) {
        const QByteArray Before = TestSupport::ReadAll(File);
        const DriveRun R = RunDrive(Home.Path(), QStringLiteral("answer button OK\nwait\nprompts\npage-text\nquit\n"),
                                    {File});
        ASSERT_EQ(R.Code, 0) << R.Err.toStdString();
        EXPECT_TRUE(R.Out.startsWith(S("MessageBox"))) << R.Out.toStdString();
        EXPECT_TRUE(R.Out.contains(S("不是Catalog页面文件"))) << R.Out.toStdString();
        EXPECT_TRUE(R.Out.contains(File)) << R.Out.toStdString();
        EXPECT_EQ(R.Out.count(QLatin1Char('\n')), 2) << "no page text: " << R.Out.toStdString();
        EXPECT_EQ(TestSupport::ReadAll(File), Before) << File.toStdString();
    }
}

TEST_F(FirstMinutes, AMissingFileOnTheCommandLineIsReported)
{
    const QString Missing = Docs.File(S("不在.qbt"));
    const DriveRun R = RunDrive(Home.Path(), QStringLiteral("answer button OK\nwait\nprompts\nquit\n"), {Missing});
    ASSERT_EQ(R.Code, 0) << R.Err.toStdString();
    EXPECT_TRUE(R.Out.contains(Missing)) << R.Out.toStdString();
    EXPECT_TRUE(R.Out.contains(S("不存在"))) << R.Out.toStdString();
}

TEST_F(FirstMinutes, APageWithoutItsDetailLineIsReportedAndRepaired)
{
    QStringList Lines = LoadPage(WritePage(QStringLiteral("p.qbt"), QStringLiteral("P1"), S("HTML(网页文件类型)"),
                                           {S("一"), S("二")}));
    Lines.removeAt(20);   // the marker, "{detail}" and the empty line are gone
    Lines.removeAt(20);
    Lines.removeAt(20);
    const QString Page = Docs.File(QStringLiteral("p.qbt"));
    SavePage(Page, Lines);

    // Declined: the page does not stay open to be typed into.
    DriveRun R = RunDrive(Home.Path(), QStringLiteral("answer button No\nwait\nprompts\ncell CellGrid1 3 1\nquit\n"), {Page});
    ASSERT_EQ(R.Code, 0) << R.Err.toStdString();
    EXPECT_TRUE(R.Out.contains(S("已经损坏（缺少{detail}行）"))) << R.Out.toStdString();
    EXPECT_TRUE(R.Out.endsWith(QStringLiteral("\n\n"))) << R.Out.toStdString();

    // Repaired: product 1 is back at line 23 with its texts, and saved there.
    R = RunDrive(Home.Path(), QStringLiteral("answer button Yes\nanswer button OK\nwait\ncell CellGrid1 3 1\ncell CellGrid1 3 7\n"
                                             "click SpeedButton9\nwait\nquit\n"),
                 {Page});
    ASSERT_EQ(R.Code, 0) << R.Err.toStdString();
    EXPECT_EQ(R.Out, QStringLiteral("A-001\nA-002\n"));
    Lines = LoadPage(Page);
    ASSERT_GT(Lines.size(), 25);
    EXPECT_EQ(Lines.at(21), S("{detail}"));
    EXPECT_EQ(Lines.at(23), S("{$1}"));
    EXPECT_EQ(Lines.at(25), S("{$PID}=A-001"));
}

TEST_F(FirstMinutes, AWebArchiveWithChinesePictureNamesShowsEveryPicture)
{
    QImage Picture(64, 48, QImage::Format_RGB32);
    Picture.fill(Qt::darkRed);
    ASSERT_TRUE(Picture.save(Docs.File(S("茶杯 大.jpg"))));
    Picture.fill(Qt::darkBlue);
    ASSERT_TRUE(QDir(Docs.Path()).mkpath(S("图片")));
    ASSERT_TRUE(Picture.save(Docs.File(S("图片/茶壶(2).jpg"))));
    const QString Page = WritePage(QStringLiteral("p.qbt"), QStringLiteral("P1"), S("MHT(单文件网页)"),
                                   {S("红色"), S("蓝色")}, {S("茶杯 大.jpg"), S("图片\\茶壶(2).jpg")});
    DriveRun R = RunDrive(Home.Path(), QStringLiteral("wait\nclick RAR1\nwait\nprompts\nquit\n"), {Page});
    ASSERT_EQ(R.Code, 0) << R.Err.toStdString();
    const QString Mht = Output(QStringLiteral("P1"), QStringLiteral("P1.htm.mht"));
    ASSERT_TRUE(QFileInfo(Mht).isFile());
    R = RunDrive(Home.Path(), QStringLiteral("answer button OK\nweb %1\nquit\n").arg(Mht));
    ASSERT_EQ(R.Code, 0) << R.Err.toStdString();
    EXPECT_TRUE(R.Out.startsWith(QStringLiteral("pictures 2 loaded 2\n"))) << R.Out.toStdString();
    EXPECT_FALSE(R.Out.contains(QStringLiteral("script-error"))) << R.Out.toStdString();
    EXPECT_TRUE(R.Out.contains(S("红色")) && R.Out.contains(S("蓝色"))) << R.Out.toStdString();
}


TEST_F(FirstMinutes, BookOutputsKeepSubFoldersAndLeaveNoEmptyPageFolders)
{
    if (!TestSupport::HaveProgram(QStringLiteral("chmls")))
        GTEST_SKIP() << "chmls is not installed";
    QImage Picture(40, 30, QImage::Format_RGB32);
    Picture.fill(Qt::darkGreen);
    ASSERT_TRUE(Picture.save(Docs.File(QStringLiteral("p1.jpg"))));
    WritePage(QStringLiteral("p.qbt"), QStringLiteral("P1"), S("HTML(网页文件类型)"), {S("一")}, {QStringLiteral("p1.jpg")});
    // A document with its own folder of pictures, as browsers save pages.
    TestSupport::WriteAll(Docs.File(QStringLiteral("manual.htm")),
                          "<html><body><img src=\"manual.files/pic.gif\"></body></html>\r\n");
    ASSERT_TRUE(QDir(Docs.Path()).mkpath(QStringLiteral("manual.files")));
    TestSupport::WriteAll(Docs.File(QStringLiteral("manual.files/pic.gif")),
                          QByteArray::fromBase64("R0lGODlhAQABAIAAAP///wAAACH5BAEAAAAALAAAAAABAAEAAAICRAEAOw=="));
    SavePage(Docs.File(QStringLiteral("b.qbs")),
             {S("Catalog_name=书"), S("{$Files}"), QStringLiteral("p.qbt"), QStringLiteral("manual.htm")});

    DriveRun R = RunDrive(Home.Path(), QStringLiteral("wait\nclick HTML5\nwait\nprompts\nquit\n"), {Docs.File(QStringLiteral("b.qbs"))});
    ASSERT_EQ(R.Code, 0) << R.Err.toStdString();
    EXPECT_EQ(R.Out, QString());
    const QString Mht = Output(QStringLiteral("b"), QStringLiteral("b.mht"));
    const QByteArray Raw = TestSupport::ReadAll(Mht);
    EXPECT_TRUE(Raw.contains("Content-Location: http://catalog.quillbook.invalid/manual.files/pic.gif\r\n"));
    // The book's output folder is the only one: no empty folder per page.
    EXPECT_EQ(QDir(Home.File(S("输出"))).entryList(QDir::Dirs | QDir::NoDotAndDotDot), QStringList{QStringLiteral("b")});

    R = RunDrive(Home.Path(), QStringLiteral("wait\nclick CHM5\nwait\nprompts\nquit\n"), {Docs.File(QStringLiteral("b.qbs"))});
    ASSERT_EQ(R.Code, 0) << R.Err.toStdString();
    EXPECT_EQ(R.Out, QString());
    QByteArray Listing;
    ASSERT_EQ(TestSupport::RunProgram(QStringLiteral("chmls"), {QStringLiteral("-n"), QStringLiteral("list"),
                                                                Output(QStringLiteral("b"), QStringLiteral("b.chm"))},
                                      &Listing),
              0);
    EXPECT_TRUE(Listing.contains("/manual.files/pic.gif")) << Listing.toStdString();
    EXPECT_TRUE(Listing.contains("/p1.jpg")) << Listing.toStdString();
    EXPECT_EQ(QDir(Home.File(S("输出"))).entryList(QDir::Dirs | QDir::NoDotAndDotDot), QStringList{QStringLiteral("b")});
}

TEST_F(FirstMinutes, HelpFilesAreShippedAndAFailingHandOffSaysSo)
{
    // The program folder holds the help file (a real help file) and the tutorial.
    QByteArray Listing;
    ASSERT_EQ(TestSupport::RunProgram(QStringLiteral("chmls"), {QStringLiteral("-n"), QStringLiteral("list"), Home.File(QStringLiteral("help/help.chm"))},
                                      &Listing),
              0);
    EXPECT_TRUE(Listing.contains("/index.htm")) << Listing.toStdString();
    EXPECT_TRUE(QFileInfo(Home.File(QStringLiteral("help/help2.htm"))).isFile());
    DriveRun R = RunDrive(Home.Path(), QStringLiteral("wait\nclick Form2.Button6\nclick Form2.Button5\nwait\nclick HelpItem\nwait\n"
                                                      "prompts\nshell\nquit\n"));
    ASSERT_EQ(R.Code, 0) << R.Err.toStdString();
    EXPECT_EQ(R.Out, QStringLiteral("Open %1\nOpen %2\n").arg(Home.File(QStringLiteral("help/help2.htm")),
                                                               Home.File(QStringLiteral("help/help.chm"))));

    // Without the help file the same help opens as a web page in the browser;
    // without either the user is told, naming both.
    ASSERT_TRUE(QFile::remove(Home.File(QStringLiteral("help/help.chm"))));
    R = RunDrive(Home.Path(), QStringLiteral("wait\nclick Form2.Button5\nwait\nclick HelpItem\nwait\nprompts\nshell\nquit\n"));
    ASSERT_EQ(R.Code, 0) << R.Err.toStdString();
    EXPECT_EQ(R.Out, QStringLiteral("Open %1\nOpen %2\n").arg(Home.File(QStringLiteral("help/help.chm")),
                                                               Home.File(QStringLiteral("help/help2.htm"))));
    ASSERT_TRUE(QFile::remove(Home.File(QStringLiteral("help/help2.htm"))));
    R = RunDrive(Home.Path(), QStringLiteral("wait\nclick Form2.Button5\nwait\nanswer button OK\nclick HelpItem\nwait\nprompts\nquit\n"));
    ASSERT_EQ(R.Code, 0) << R.Err.toStdString();
    EXPECT_TRUE(R.Out.contains(S("不能打开帮助文件“") + Home.File(QStringLiteral("help/help.chm")) + S("”"))) << R.Out.toStdString();
    EXPECT_TRUE(R.Out.contains(Home.File(QStringLiteral("help/help2.htm")))) << R.Out.toStdString();
}

TEST_F(FirstMinutes, TemplatesLabelTheSizeSayWhoTheCatalogueIsFromAndKeepPicturesInside)
{
    // A camera photo far wider than any window.
    QImage Photo(2800, 1800, QImage::Format_RGB32);
    Photo.fill(Qt::darkCyan);
    ASSERT_TRUE(Photo.save(Docs.File(QStringLiteral("photo.jpg"))));
    // Our company, as the company dialog writes it for each language.
    SavePage(Home.File(QStringLiteral("cols1.dat")), {S("公司信息"), S("清风茶具公司")});
    SavePage(Home.File(QStringLiteral("cols2.dat")), {S("Company"), S("Breeze Tea Ltd")});
    for (const QString &Style : {S("标准模式"), S("春天系列")}) {
        for (const bool English : {true, false}) {
            SCOPED_TRACE((Style + (English ? S(" English") : S(" Chinese"))).toStdString());
            const QString Page = WritePage(QStringLiteral("p.qbt"), QStringLiteral("P1"), S("HTML(网页文件类型)"),
                                           {QStringLiteral("Fine china")}, {QStringLiteral("photo.jpg")});
            QStringList Lines = LoadPage(Page);
            for (QString &L : Lines) {
                if (L.startsWith(S("{输出风格}=")))
                    L = S("{输出风格}=") + Style;
                if (English && L.startsWith(S("{输出语言}=")))
                    L = S("{输出语言}=英文");
                if (English && (L.startsWith(S("{客户名称}=")) || L.startsWith(S("{$PUNIT}=")) || L.startsWith(S("{$PNAME}="))
                                || L.startsWith(S("{$PSERIAL}=")) || L.startsWith(S("{货币符号}=")) || L.startsWith(S("{Catalog名称}="))
                                || L.startsWith(S("{业务员名}=")) || L.startsWith(S("{客户公司名}=")) || L.startsWith(S("{Catalog说明}="))
                                || L.startsWith(S("{产品单位}=")) || L.startsWith(S("{重量单位}="))))
                    L = L.section(QLatin1Char('='), 0, 0) + QStringLiteral("=Li");
            }
            SavePage(Page, Lines);
            QDir(Home.File(S("输出"))).removeRecursively();
            DriveRun R = RunDrive(Home.Path(), QStringLiteral("wait\nclick HTML1\nwait\nprompts\nquit\n"), {Page});
            ASSERT_EQ(R.Code, 0) << R.Err.toStdString();
            EXPECT_EQ(R.Out, QString());
            const QString Html = Output(QStringLiteral("P1"), QStringLiteral("P1.htm"));
            const QByteArray Bytes = TestSupport::ReadAll(Html);
            if (English) {
                for (const char C : Bytes)
                    ASSERT_LT(uchar(C), 0x80) << "an English page holds ASCII only";
                EXPECT_TRUE(Bytes.contains(">Size<"));
                EXPECT_TRUE(Bytes.contains("To: Li From: <b>Breeze Tea Ltd</b>"));
            } else {
                const QString Text = PagesIn(QStringLiteral("htm"), Html).join(QString());
                EXPECT_TRUE(Text.contains(S(">规格<")));
                EXPECT_TRUE(Text.contains(S("To: 李四 From: <b>清风茶具公司</b>")));
            }
            // The credit at the foot is text: no address of ours goes to the customers.
            const QStringList Read = TextLinksAndAddresses(Html);
            ASSERT_EQ(Read.size(), 3);
            const QString Credit = English ? S("Made with Quillbook catalog publisher") : S("本页面由 Quillbook 商品目录工具制作");
            EXPECT_TRUE(Read.at(0).contains(Credit)) << Read.at(0).toStdString();
            EXPECT_FALSE(Read.at(1).contains(QStringLiteral("Quillbook"))) << Read.at(1).toStdString();
            EXPECT_FALSE(Read.at(2).contains(QStringLiteral(".invalid"))) << Read.at(2).toStdString();
            EXPECT_FALSE(Bytes.contains(".invalid"));
            R = RunDrive(Home.Path(), QStringLiteral("answer button OK\nweb %1\nquit\n").arg(Html));
            ASSERT_EQ(R.Code, 0) << R.Err.toStdString();
            EXPECT_TRUE(R.Out.startsWith(QStringLiteral("pictures 1 loaded 1\ntext "))) << R.Out.toStdString();
        }
    }
}

TEST_F(FirstMinutes, APageHelpFileShowsEveryPicture)
{
    if (!TestSupport::HaveProgram(QStringLiteral("chmls")))
        GTEST_SKIP() << "chmls is not installed";
    // A JPEG with a Chinese name, a GIF and a bitmap, as a user imports them.
    QImage Picture(40, 30, QImage::Format_RGB32);
    Picture.fill(Qt::darkRed);
    ASSERT_TRUE(Picture.save(Docs.File(S("红色茶杯.jpg"))));
    ASSERT_TRUE(Picture.save(Docs.File(S("绿.bmp"))));
    TestSupport::WriteAll(Docs.File(QStringLiteral("anim.gif")),
                          QByteArray::fromBase64("R0lGODlhAQABAIAAAP///wAAACH5BAEAAAAALAAAAAABAAEAAAICRAEAOw=="));
    const QString Page = WritePage(QStringLiteral("p.qbt"), QStringLiteral("P1"), S("HTML(网页文件类型)"),
                                   {S("一"), S("二"), S("三")}, {S("红色茶杯.jpg"), S("anim.gif"), S("绿.bmp")});
    DriveRun R = RunDrive(Home.Path(), QStringLiteral("wait\nclick CHM1\nwait\nprompts\nquit\n"), {Page});
    ASSERT_EQ(R.Code, 0) << R.Err.toStdString();
    EXPECT_EQ(R.Out, QString());

    // The help file unpacked by chmls: its page shows its pictures in the
    // program's own browser engine.
    TestSupport::TempDir Unpacked;
    ASSERT_EQ(TestSupport::RunProgram(QStringLiteral("chmls"), {QStringLiteral("extractall"),
                                                                Output(QStringLiteral("P1"), QStringLiteral("P1.chm")), Unpacked.Path()}),
              0);
    R = RunDrive(Home.Path(), QStringLiteral("answer button OK\nweb %1\nquit\n").arg(Unpacked.File(QStringLiteral("tmpfile.htm"))));
    ASSERT_EQ(R.Code, 0) << R.Err.toStdString();
    EXPECT_TRUE(R.Out.startsWith(QStringLiteral("pictures 3 loaded 3\n"))) << R.Out.toStdString();
}

TEST_F(FirstMinutes, TheViewerNamesADamagedPictureInChinese)
{
    // An empty GIF, a bitmap cut after its signature and a JPEG cut in half,
    // added to a new page and opened in the picture viewer.
    QImage Picture(40, 30, QImage::Format_RGB32);
    Picture.fill(Qt::darkRed);
    ASSERT_TRUE(Picture.save(Docs.File(QStringLiteral("whole.jpg"))));
    const QStringList Files{Docs.File(S("空.gif")), Docs.File(S("坏.bmp")), Docs.File(S("坏的.jpg"))};
    TestSupport::WriteAll(Files.at(0), QByteArray());
    TestSupport::WriteAll(Files.at(1), QByteArray("BM\0\0", 4));
    TestSupport::WriteAll(Files.at(2), TestSupport::ReadAll(Docs.File(QStringLiteral("whole.jpg"))).left(300));
    QString Script =
        QStringLiteral("wait\nclick Form2.Button1\nwait\nanswer files %1\nanswer button OK\nclick SpeedButton3\nwait\n")
            .arg(Files.join(QLatin1Char('|')));
    for (int N = 0; N < 3; ++N)
        Script += QStringLiteral("select-cell CellGrid1 3 %1\nanswer button OK\nclick N76\nwait\n").arg(6 * N + 1);
    const DriveRun R = RunDrive(Home.Path(), Script + QStringLiteral("prompts\nquit\n"));
    ASSERT_EQ(R.Code, 0) << R.Err.toStdString();
    const QStringList Prompts = R.Out.split(QLatin1Char('\n'), Qt::SkipEmptyParts).mid(1);
    ASSERT_GE(Prompts.size(), 4) << R.Out.toStdString();
    // Adding them names all three; the viewer names each it cannot show.
    const QString Added = Prompts.mid(0, Prompts.size() - 3).join(QLatin1Char('\n'));
    EXPECT_TRUE(Added.contains(S("不能作为图片读取"))) << Added.toStdString();
    for (const QString &File : Files)
        EXPECT_TRUE(Added.contains(File)) << Added.toStdString();
    for (int N = 0; N < 3; ++N)
        EXPECT_TRUE(Prompts.at(Prompts.size() - 3 + N).contains(S("图片文件不能读取：") + Files.at(N)))
            << Prompts.at(Prompts.size() - 3 + N).toStdString();
}

TEST_F(FirstMinutes, TheProgramEndsCleanlyWithTheBookDialogOpen)
{
    // 修改目录册信息…… without a book shows the empty dialog; the session ends
    // while it is open (its name field holding the focus).
    const DriveRun R = RunDrive(Home.Path(), QStringLiteral("wait\nclick Form2.Button5\nwait\nclick N97\nwait\nquit\n"));
    ASSERT_EQ(R.Code, 0) << R.Err.toStdString();
    EXPECT_FALSE(R.Err.contains(QStringLiteral("runtime error"))) << R.Err.toStdString();
}

TEST_F(FirstMinutes, AProgramFolderThatCannotBeWrittenToIsNamedAtStart)
{
    // A copy installed for every user: the user may read it, not write to it.
    // Root may write anywhere, so the program then runs as another user.
    const QString Script = Docs.File(QStringLiteral("start.txt"));
    TestSupport::WriteAll(Script, "answer button OK\nwait\nanswer button OK\nclick Form2.Button1\nwait\nprompts\nquit\n");
    const auto ReadOnly = [](const QString &Path, bool Folder) {
        QFile::setPermissions(Path, QFile::ReadOwner | QFile::ReadGroup | QFile::ReadOther
                                        | (Folder ? QFile::ExeOwner | QFile::ExeGroup | QFile::ExeOther : QFileDevice::Permissions()));
    };
    const auto Writable = [](const QString &Path) {
        QFile::setPermissions(Path, QFile::permissions(Path) | QFile::WriteOwner);
    };
    QStringList Folders{Home.Path()};
    for (QDirIterator It(Home.Path(), QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden, QDirIterator::Subdirectories);
         It.hasNext();) {
        const QFileInfo F(It.next());
        if (F.isDir())
            Folders << F.filePath();
        else
            ReadOnly(F.filePath(), false);
    }
    for (const QString &F : Folders)
        ReadOnly(F, true);
    ReadOnly(Docs.Path(), true);
    ReadOnly(Script, false);

    QString Program = TestSupport::DriverPath();
    QStringList Command{QStringLiteral("--home"), Home.Path(), Script};
    if (::geteuid() == 0) {
        const QStringList AsNobody{QStringLiteral("--reuid=65534"), QStringLiteral("--regid=65534"), QStringLiteral("--clear-groups")};
        // The other user may not reach the build's folder: then a copy of the driver runs.
        if (TestSupport::RunProgram(QStringLiteral("setpriv"), AsNobody + QStringList{QStringLiteral("test"), QStringLiteral("-x"), Program}) != 0) {
            const QString Copy = Docs.File(QStringLiteral("quillbook-drive"));
            ASSERT_TRUE(QFile::copy(Program, Copy));
            ReadOnly(Copy, true);
            Program = Copy;
        }
        Command = AsNobody + QStringList{Program} + Command;
        Program = QStringLiteral("setpriv");
    }
    QByteArray Out;
    const int Code = TestSupport::RunProgram(Program, Command, &Out);
    for (const QString &F : Folders + QStringList{Docs.Path()})
        Writable(F);
    const QString Text = QString::fromUtf8(Out);
    EXPECT_EQ(Code, 0) << Text.toStdString();
    // Said at once, naming the folder and the way out; 新建目录页面 then still fails.
    const qsizetype Said = Text.indexOf(S("MessageBox | Quillbook 2008 | 程序文件夹“") + Home.Path() + S("”不能写入。"));
    const qsizetype Failed = Text.indexOf(S("无法创建文件“") + Home.File(S("目录册/default.qbs")));
    EXPECT_GE(Said, 0) << Text.toStdString();
    EXPECT_GT(Failed, Said) << Text.toStdString();
    EXPECT_TRUE(Text.mid(Said, Failed - Said).contains(QStringLiteral("QUILLBOOK_HOME"))) << Text.toStdString();
    EXPECT_FALSE(QFile::exists(Home.File(S("目录册/default.qbs"))));
}
