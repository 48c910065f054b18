// The program, run by quillbook-drive: a page becomes a picture, pictures and a
// PDF (checked by qpdf and poppler), its output is handed to mail and FTP, and
// the output menus show their states.

#include "OutputFixture.h"
#include "QStringPrint.h"

#include <QImageReader>
#include <QRegularExpression>

using namespace OutputFixture;

namespace {

// The sample page with one priced product, so that validation asks nothing.
void PrepareSample(TSample &S, const QString &Type)
{
    QStringList Page = S.Page.mid(0, 24);
    Page << S.Page.mid(33, 9);
    S.Page = Page;
    S.Set(QStringLiteral("{Catalog编号}"), QStringLiteral("E2E"));
    S.Set(QStringLiteral("{背景图片}"), QString());
    S.Set(QStringLiteral("{输出方式}"), Type);
    WriteText(S.PagePath, S.Page);
}

QString Drive(TSample &S, const QString &Script, const QStringList &Args, TestSupport::DriveRun *Out = nullptr)
{
    const TestSupport::DriveRun R = TestSupport::RunDrive(S.Exe, Script, Args);
    if (Out)
        *Out = R;
    EXPECT_EQ(R.Code, 0) << R.Err.toStdString();
    return R.Out;
}

} // namespace

TEST(PicturesEndToEnd, PageBecomesPdfPictureAndPiecesLeavingTheUsersFiles)
{
    TSample S;
    PrepareSample(S, QStringLiteral("HTML(网页文件类型)"));
    // The pictures folder exists already with a file of the user's.
    const QString D = S.Root + QStringLiteral("E2E/");
    QDir().mkpath(D + QStringLiteral("images"));
    TestSupport::WriteAll(D + QStringLiteral("images/mine.jpg"), "mine");

    QString Out = Drive(S, QStringLiteral("wait\nclick PDFpdf1\nwait\nexpect-prompts 0\nshell\nquit\n"), {S.PagePath});
    EXPECT_TRUE(Out.contains(QStringLiteral("Open ") + D)) << Out.toStdString();
    const QString Pdf = D + QStringLiteral("E2E.pdf");
    QByteArray Peer;
    EXPECT_EQ(TestSupport::RunProgram(QStringLiteral("qpdf"), {QStringLiteral("--check"), Pdf}, &Peer), 0) << Peer.constData();
    ASSERT_EQ(TestSupport::RunProgram(QStringLiteral("pdfimages"), {QStringLiteral("-list"), Pdf}, &Peer), 0);
    EXPECT_TRUE(Peer.contains(" jpeg ")) << Peer.constData();
    // Only what this output made is gone: the page, its copies, its pictures.
    EXPECT_FALSE(QFile::exists(D + QStringLiteral("E2E.htm")));
    EXPECT_FALSE(QFile::exists(D + QStringLiteral("E2E.jpg")));
    EXPECT_FALSE(QFile::exists(D + QStringLiteral("images/a.jpg")));
    EXPECT_EQ(TestSupport::ReadAll(D + QStringLiteral("images/mine.jpg")), QByteArray("mine"));

    Out = Drive(S, QStringLiteral("wait\nclick JPG1\nwait\nclick JPG2\nwait\nexpect-prompts 0\nquit\n"), {S.PagePath});
    // A page shorter than the screen: one picture, named without a number.
    EXPECT_FALSE(QImageReader(D + QStringLiteral("E2E.jpg")).size().isEmpty());
    EXPECT_FALSE(QFile::exists(D + QStringLiteral("E2E_1.jpg")));
    EXPECT_TRUE(QFile::exists(D + QStringLiteral("images/mine.jpg")));

    // The page of an earlier HTML output stays with its pictures.
    // A PDF made after it leaves the earlier picture as it was.
    Drive(S, QStringLiteral("wait\nclick HTML3\nwait\nclick JPG1\nwait\nexpect-prompts 0\nquit\n"), {S.PagePath});
    EXPECT_TRUE(QFile::exists(D + QStringLiteral("E2E.htm")));
    EXPECT_TRUE(QFile::exists(D + QStringLiteral("images/a.jpg")));
    const QByteArray Picture = TestSupport::ReadAll(D + QStringLiteral("E2E.jpg"));
    Drive(S, QStringLiteral("wait\nclick PDFpdf1\nwait\nexpect-prompts 0\nquit\n"), {S.PagePath});
    EXPECT_EQ(TestSupport::ReadAll(D + QStringLiteral("E2E.jpg")), Picture);
    EXPECT_EQ(QDir(D).entryList({QStringLiteral("*.jpg")}), QStringList{QStringLiteral("E2E.jpg")});
    EXPECT_TRUE(QFile::exists(D + QStringLiteral("E2E.pdf")));

    // Without a pictures folder of the user's, the one the output made goes too.
    QDir(D).removeRecursively();
    Drive(S, QStringLiteral("wait\nclick JPG1\nwait\nexpect-prompts 0\nquit\n"), {S.PagePath});
    EXPECT_TRUE(QFile::exists(D + QStringLiteral("E2E.jpg")));
    EXPECT_FALSE(QFileInfo::exists(D + QStringLiteral("images")));
}

TEST(PicturesEndToEnd, BookBecomesPicturesAndPdfWithDistinctNames)
{
    TSample S;
    PrepareSample(S, QStringLiteral("HTML(网页文件类型)"));
    // Two pages of one base name in two folders.
    const QString Other = S.PageDir + QStringLiteral("other/sample.qbt");
    QStringList Second = S.Page;
    for (QString &L : Second)
        if (L.startsWith(QStringLiteral("{Catalog编号}=")))
            L = QStringLiteral("{Catalog编号}=E2F");
        else if (L.startsWith(QStringLiteral("{$IMG}=")))
            L = QStringLiteral("{$IMG}=");
    WriteText(Other, Second);
    const QString Book = S.PageDir + QStringLiteral("两页/书.qbs");
    WriteText(Book, {QStringLiteral("Catalog_name=春季 / 目录"), QStringLiteral("catalog_index_name="),
                     QStringLiteral("Catalog_Output=") + S.Root, QStringLiteral("{$Files}"), S.PagePath, Other});

    Drive(S, QStringLiteral("wait\nclick JPG3\nwait\nexpect-prompts 0\nquit\n"), {Book});
    const QString D = S.Root + QStringLiteral("书/");
    EXPECT_TRUE(QFile::exists(D + QStringLiteral("sample.jpg"))) << QDir(D).entryList().join(QLatin1Char(' ')).toStdString();
    EXPECT_TRUE(QFile::exists(D + QStringLiteral("sample(2).jpg")));

    Drive(S, QStringLiteral("wait\nclick PDFpdf2\nwait\nexpect-prompts 0\nquit\n"), {Book});
    QStringList Pdfs = QDir(D).entryList({QStringLiteral("*.pdf")});
    ASSERT_EQ(Pdfs.size(), 1) << QDir(D).entryList().join(QLatin1Char(' ')).toStdString();
    // One safe file name from the book's name.
    EXPECT_FALSE(Pdfs.first().contains(QLatin1Char('/')));
    EXPECT_TRUE(Pdfs.first().startsWith(QStringLiteral("春季"))) << Pdfs.first().toStdString();
    QByteArray Peer;
    EXPECT_EQ(TestSupport::RunProgram(QStringLiteral("qpdf"), {QStringLiteral("--check"), D + Pdfs.first()}, &Peer), 0);
    ASSERT_EQ(TestSupport::RunProgram(QStringLiteral("pdfinfo"), {D + Pdfs.first()}, &Peer), 0);
    EXPECT_TRUE(QString::fromUtf8(Peer).contains(QRegularExpression(QStringLiteral("Pages:\\s+2\\n")))) << Peer.constData();
    // The site's pages and the PDF's own JPEGs are gone (the book output starts
    // from the folder it made, emptied).
    EXPECT_FALSE(QFileInfo::exists(D + QStringLiteral("images")));
    EXPECT_TRUE(QDir(D).entryList({QStringLiteral("*.jpg")}).isEmpty());

    // A long name is cut to a file name's length without splitting a character.
    const QString Long = QStringLiteral("长.qbs");
    WriteText(S.PageDir + Long, {QStringLiteral("Catalog_name=a") + QStringLiteral("😀").repeated(50),
                                 QStringLiteral("Catalog_Output=") + S.Root, QStringLiteral("{$Files}"), Other});
    Drive(S, QStringLiteral("wait\nclick PDFpdf2\nwait\nexpect-prompts 0\nquit\n"), {S.PageDir + Long});
    EXPECT_EQ(QDir(S.Root + QStringLiteral("长/")).entryList({QStringLiteral("*.pdf")}),
              QStringList{QStringLiteral("a") + QStringLiteral("😀").repeated(39) + QStringLiteral(".pdf")});

    Drive(S, QStringLiteral("wait\nclick JPG4\nwait\nexpect-prompts 0\nquit\n"), {Book});
    EXPECT_TRUE(QFile::exists(D + QStringLiteral("sample.jpg")));
    EXPECT_TRUE(QFile::exists(D + QStringLiteral("sample(2).jpg")));
}

TEST(PicturesEndToEnd, ABooksWebPageBecomesPicturesWhereverTheBookListsIt)
{
    TSample S;
    PrepareSample(S, QStringLiteral("HTML(网页文件类型)"));
    // A book on disk lists a web page of a folder below its own.
    const QString Web = S.PageDir + QStringLiteral("web/");
    QDir().mkpath(Web);
    TestSupport::WriteAll(Web + QStringLiteral("other.htm"),
                          "<html><body style=\"background:#00f\"><p>OTHER PAGE</p></body></html>");
    const QString Book = S.PageDir + QStringLiteral("本.qbs");
    WriteText(Book, {QStringLiteral("Catalog_name=本"), QStringLiteral("catalog_index_name="),
                     QStringLiteral("Catalog_Output=") + S.Root, QStringLiteral("Catalog_always_open=false"),
                     QStringLiteral("{$Files}"), S.PagePath, QStringLiteral("web/other.htm")});
    const QString Pictures = QStringLiteral("wait\nselect ListBox1 1\nclick JPG1\nwait\nselect ListBox1 1\nclick JPG2\nwait\n"
                                            "select ListBox1 1\nclick PDFpdf1\nwait\n");
    QString Out = Drive(S, Pictures + QStringLiteral("prompts\nshell\nquit\n"), {Book});
    // Beside the page, under names no file of the user's has.
    EXPECT_EQ(Out, (QStringLiteral("Open ") + Web + QLatin1Char('\n')).repeated(3));
    EXPECT_TRUE(QImageReader(Web + QStringLiteral("other.jpg")).size().isValid())
        << QDir(Web).entryList().join(QLatin1Char(' ')).toStdString();
    EXPECT_TRUE(QImageReader(Web + QStringLiteral("other(2).jpg")).size().isValid());
    QByteArray Peer;
    EXPECT_EQ(TestSupport::RunProgram(QStringLiteral("qpdf"), {QStringLiteral("--check"), Web + QStringLiteral("other.pdf")}, &Peer), 0)
        << Peer.constData();
    EXPECT_FALSE(QFileInfo::exists(S.Root + QStringLiteral("本")));

    // The book's package holds the page as images\other.htm; received and
    // opened, the page becomes pictures in the book's output folder.
    Out = Drive(S, QStringLiteral("wait\nclick QBACatalog1\nwait\nexpect-prompts 0\nquit\n"), {Book});
    const QString Received = S.Temp.File(QStringLiteral("received/本.qba"));
    QDir().mkpath(S.Temp.File(QStringLiteral("received")));
    ASSERT_TRUE(QFile::copy(S.Root + QStringLiteral("本/本.qba"), Received));
    QDir(S.Root + QStringLiteral("本")).removeRecursively();
    const QString D = S.Exe + QStringLiteral("输出/本/");
    Out = Drive(S, Pictures + QStringLiteral("prompts\nshell\nquit\n"), {Received});
    EXPECT_EQ(Out, (QStringLiteral("Open ") + D + QLatin1Char('\n')).repeated(3));
    EXPECT_TRUE(QImageReader(D + QStringLiteral("other.jpg")).size().isValid())
        << QDir(D).entryList().join(QLatin1Char(' ')).toStdString();
    EXPECT_EQ(TestSupport::RunProgram(QStringLiteral("qpdf"), {QStringLiteral("--check"), D + QStringLiteral("other.pdf")}, &Peer), 0)
        << Peer.constData();

    // A listed web page that is not there: the command says so, and makes
    // no folder for its pictures.
    QDir(D).removeRecursively();
    QFile::remove(Web + QStringLiteral("other.htm"));
    Out = Drive(S, QStringLiteral("wait\nselect ListBox1 1\nanswer button OK\nclick JPG1\nwait\nprompts\nshell\nquit\n"), {Book});
    EXPECT_EQ(Out, QStringLiteral("MessageBox | 错误 | 找不到文件“%1other.htm”，不能转换为图片或PDF。 | OK\n").arg(Web));
    EXPECT_FALSE(QFileInfo::exists(S.Root + QStringLiteral("本")));
    EXPECT_FALSE(QFileInfo::exists(D));
}

TEST(PicturesEndToEnd, MailAndFtpHandOffTheOutput)
{
    TSample S;
    PrepareSample(S, QStringLiteral("ZIP(压缩文件类型)"));
    const QString D = S.Root + QStringLiteral("E2E/");
    QString Out = Drive(S, QStringLiteral("wait\nclick Email1\nwait\nexpect-prompts 0\nshell\nquit\n"), {S.PagePath});
    // The file itself, without the blank the ZIP result carries.
    EXPECT_TRUE(Out.contains(QStringLiteral("SendMail  |  |  | ") + D + QStringLiteral("E2E.zip\n"))) << Out.toStdString();

    Out = Drive(S, QStringLiteral("wait\nanswer text ftp.example.com:2121\nclick N52\nwait\nanswer text 坏 主机\nanswer button OK\n"
                                "click N52\nwait\nanswer text\nclick N52\nwait\nprompts\nshell\nquit\n"),
              {S.PagePath});
    EXPECT_TRUE(Out.contains(QStringLiteral("Open ftp://ftp.example.com:2121\n"))) << Out.toStdString();
    EXPECT_EQ(Out.count(QStringLiteral("Open ftp://")), 1) << Out.toStdString();
    EXPECT_TRUE(Out.contains(QStringLiteral("不是有效的ftp服务器域名或ip地址"))) << Out.toStdString();

    // An HTML folder cannot be mailed as one file.
    TSample H;
    PrepareSample(H, QStringLiteral("HTML(网页文件类型)"));
    Out = Drive(H, QStringLiteral("wait\nanswer button OK\nclick Email1\nwait\nprompts\nshell\nquit\n"), {H.PagePath});
    EXPECT_TRUE(Out.contains(QStringLiteral("不能email多文件html格式的，请选择zip，chm，qba等格式。"))) << Out.toStdString();
    EXPECT_FALSE(Out.contains(QStringLiteral("SendMail")));
}
