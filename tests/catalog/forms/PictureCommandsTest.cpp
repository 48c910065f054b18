// The main window's picture commands on entries of the book's list, the page
// output items when another page is chosen, the progress and cancel of long
// picture outputs, and the packing progress.

#include "WindowFixture.h"
#include "catalog/output/Htm2Jpg.h"

#include <QAction>
#include <QDebug>
#include <QDirIterator>
#include <QGroupBox>
#include <QImageReader>
#include <QListWidget>
#include <QMenu>
#include <QProgressBar>
#include <QPushButton>
#include <QSet>
#include <QTest>
#include <QTimer>

using namespace WindowFixture;

namespace {

void Choose(TForm1 *Form, const QString &Entry)
{
    for (int I = 0; I < Form->ListBox1->count(); ++I)
        if (Form->ListBox1->item(I)->text() == Entry) {
            Form->ListBox1->setCurrentRow(I);
            Form->ListBox1->item(I)->setSelected(true);
            return;
        }
    ADD_FAILURE() << "no entry " << Entry.toStdString();
}

const char *const PageOutputItems[] = {"CHM1", "RAR1", "HTML1", "ZIP1", "QBA1", "CHM3", "MHT1", "HTML3", "ZIP3", "Catalog1"};

} // namespace

TEST_F(BookWindow, ChosenEntriesDecideWhatThePictureCommandsConvert)
{
    TScriptedUi Ui;
    const QString A = WritePage(QStringLiteral("a.qbt"), QStringLiteral("A1"), QStringLiteral("甲页"));
    const QString B = WritePage(QStringLiteral("b.qbt"), QStringLiteral("B1"), QStringLiteral("乙页"));
    TestSupport::WriteAll(Docs + QStringLiteral("hang.htm"), "<html><body><p>x</p><script>while (true) {}</script></body></html>");
    TestSupport::WriteAll(Docs + QStringLiteral("good.htm"), "<html><body style=\"background:#00f\"><p>好</p></body></html>");
    TestSupport::WriteAll(Docs + QStringLiteral("notes.txt"), "x");
    const QString Book = WriteBook(QStringLiteral("book.qbs"), {A, B, Docs + QStringLiteral("hang.htm"), Docs + QStringLiteral("good.htm"),
                                                               Docs + QStringLiteral("notes.txt")});
    Start({Book});
    ASSERT_EQ(Form->FOpenPageEntry, QStringLiteral("a.qbt"));

    // Another page than the open one: every page output item is off, and the
    // picture command says why it cannot go on.
    Choose(Form.get(), QStringLiteral("b.qbt"));
    Form->PopupMenu2Popup();
    for (const char *Name : PageOutputItems)
        EXPECT_FALSE(Form->findChild<QAction *>(QString::fromLatin1(Name))->isEnabled()) << Name;
    Ui.Answer({"OK"});
    Form->JPG1Click();
    ASSERT_EQ(Ui.CaptionsAndTexts().size(), 1);
    EXPECT_TRUE(Ui.CaptionsAndTexts().first().startsWith(QStringLiteral("错误|您选择了文件：b.qbt 但没有保存或者打开"))) << Ui.CaptionsAndTexts().first().toStdString();
    Form->ListBox1->clearSelection();
    Form->WMMenuSelect();
    for (const char *Name : PageOutputItems)
        EXPECT_TRUE(Form->findChild<QAction *>(QString::fromLatin1(Name))->isEnabled()) << Name;

    // Neither a page nor a web page.
    Choose(Form.get(), QStringLiteral("notes.txt"));
    Ui.Answer({"OK"});
    Form->PDFpdf1Click();
    EXPECT_EQ(Ui.CaptionsAndTexts().last(), QStringLiteral("错误|不能转换除qbt,htm文件外的其他文件到图片或PDF。"));

    // A listed web page not loaded by the deadline (its endless script does
    // not run in the renderer): the conversion fails, says why, and leaves no
    // file; the page itself stays.
    const int Timeout = Thtm2jpg2::DefaultTimeoutMs;
    Thtm2jpg2::DefaultTimeoutMs = 1;
    Choose(Form.get(), QStringLiteral("hang.htm"));
    Ui.Answer({"OK"});
    Form->JPG2Click();
    Thtm2jpg2::DefaultTimeoutMs = Timeout;
    EXPECT_EQ(Ui.CaptionsAndTexts().last(),
              QStringLiteral("错误|转换失败。页面“%1hang.htm”在1秒内没有载入完毕。").arg(Docs));
    EXPECT_TRUE(QDir(Docs).entryList({QStringLiteral("hang*.jpg")}).isEmpty());
    EXPECT_TRUE(QFile::exists(Docs + QStringLiteral("hang.htm")));

    // A listed web page that loads becomes a PDF beside it and is kept.
    Choose(Form.get(), QStringLiteral("good.htm"));
    const int Asked = int(Ui.CaptionsAndTexts().size());
    Form->PDFpdf1Click();
    EXPECT_EQ(Ui.CaptionsAndTexts().size(), Asked);
    EXPECT_TRUE(QFile::exists(Docs + QStringLiteral("good.pdf")));
    EXPECT_TRUE(QFile::exists(Docs + QStringLiteral("good.htm")));
    EXPECT_TRUE(QDir(Docs).entryList({QStringLiteral("good*.jpg")}).isEmpty());
    EXPECT_TRUE(Ui.ShellCalls().contains(QStringLiteral("Open ") + Docs)) << Ui.ShellCalls().join(QLatin1Char('\n')).toStdString();
    EXPECT_FALSE(Form->GroupBox3->isVisible());

    // Pictures of a listed web page never replace the user's pictures beside
    // it, which the page itself may show.
    TestSupport::WriteAll(Docs + QStringLiteral("good.jpg"), "mine");
    TestSupport::WriteAll(Docs + QStringLiteral("good_1.jpg"), "mine too");
    Choose(Form.get(), QStringLiteral("good.htm"));
    Form->JPG1Click();
    Form->JPG2Click();
    EXPECT_EQ(Ui.CaptionsAndTexts().size(), Asked);
    EXPECT_EQ(TestSupport::ReadAll(Docs + QStringLiteral("good.jpg")), QByteArray("mine"));
    EXPECT_EQ(TestSupport::ReadAll(Docs + QStringLiteral("good_1.jpg")), QByteArray("mine too"));
    EXPECT_TRUE(QImageReader(Docs + QStringLiteral("good(2).jpg")).size().isValid());
    EXPECT_TRUE(QImageReader(Docs + QStringLiteral("good(3).jpg")).size().isValid())
        << QDir(Docs).entryList({QStringLiteral("good*")}).join(QLatin1Char(' ')).toStdString();
    // Nor a PDF of the page's name (the PDF made above stands for the user's).
    TestSupport::WriteAll(Docs + QStringLiteral("good.pdf"), "my document");
    Form->PDFpdf1Click();
    EXPECT_EQ(Ui.CaptionsAndTexts().size(), Asked);
    EXPECT_EQ(TestSupport::ReadAll(Docs + QStringLiteral("good.pdf")), QByteArray("my document"));
    EXPECT_TRUE(TestSupport::ReadAll(Docs + QStringLiteral("good(2).pdf")).startsWith("%PDF"));
}

TEST_F(BookWindow, TallPageAsksWhetherToSplitItsPicture)
{
    TScriptedUi Ui;
    QString Html = QStringLiteral("<!DOCTYPE html><html><body style=\"margin:0\">");
    for (int I = 0; I < 600; ++I)
        Html += QStringLiteral("<div style=\"height:50px;background:#%1\"></div>").arg(I % 2 ? QStringLiteral("f00") : QStringLiteral("00f"));
    TestSupport::WriteAll(Docs + QStringLiteral("tall.htm"), (Html + QStringLiteral("</body></html>")).toUtf8());
    const QString A = WritePage(QStringLiteral("a.qbt"), QStringLiteral("A1"), QStringLiteral("甲页"));
    Start({WriteBook(QStringLiteral("book.qbs"), {A, Docs + QStringLiteral("tall.htm")})});
    Choose(Form.get(), QStringLiteral("tall.htm"));
    const QString Question = QStringLiteral("警告|注意，当前创建的图片较大，可能打开图片时会比较慢，是否自动拆分为多个图片？");

    // Yes: pieces numbered from 1 beside the page, each a whole number of screens.
    Ui.Answer({"Yes"});
    Form->JPG1Click();
    EXPECT_EQ(Ui.CaptionsAndTexts(), QStringList{Question});
    const QStringList Pieces = QDir(Docs).entryList({QStringLiteral("tall_*.jpg")}, QDir::Files, QDir::Name);
    EXPECT_GT(Pieces.size(), 10);
    EXPECT_TRUE(Pieces.contains(QStringLiteral("tall_1.jpg")));
    EXPECT_FALSE(QFile::exists(Docs + QStringLiteral("tall.jpg")));
    for (const QString &P : Pieces)
        QFile::remove(Docs + P);

    // No: one picture of the whole page.
    Ui.Answer({"No"});
    Form->JPG1Click();
    EXPECT_EQ(Ui.CaptionsAndTexts().size(), 2);
    EXPECT_EQ(QImageReader(Docs + QStringLiteral("tall.jpg")).size().height(), 30000);
    EXPECT_TRUE(QDir(Docs).entryList({QStringLiteral("tall_*.jpg")}).isEmpty());
}

namespace {

// The bar's positions while a command runs; at the first one past ClickPast
// a person clicks 取消 (once the window handles events again).
class TBarWatch {
public:
    TBarWatch(TForm1 *Form, int ClickPast = 1000) : FForm(Form)
    {
        FWatch = QObject::connect(Form->ProgressBar1, &QProgressBar::valueChanged, [this, ClickPast](int V) {
            Positions << V;
            CancelShown = CancelShown || FForm->ProgressCancel->isVisible();
            if (V > ClickPast && !FClicked) {
                FClicked = true;
                QTimer::singleShot(0, FForm, [this] {
                    ClickedShown = FForm->ProgressCancel->isVisible();
                    QTest::mouseClick(FForm->ProgressCancel, Qt::LeftButton);
                });
            }
        });
    }
    ~TBarWatch() { QObject::disconnect(FWatch); }
    TBarWatch(const TBarWatch &) = delete;
    TBarWatch &operator=(const TBarWatch &) = delete;

    // The distinct positions strictly between From and To.
    int Between(int From, int To) const
    {
        QSet<int> Seen;
        for (int P : Positions)
            if (P > From && P < To)
                Seen.insert(P);
        return int(Seen.size());
    }

    QList<int> Positions;
    bool CancelShown = false;
    bool ClickedShown = false;

private:
    TForm1 *FForm;
    QMetaObject::Connection FWatch;
    bool FClicked = false;
};

QStringList FilesBelow(const QString &Folder)
{
    QStringList R;
    QDirIterator It(Folder, QDir::Files | QDir::Hidden | QDir::System, QDirIterator::Subdirectories);
    while (It.hasNext())
        R << It.next();
    return R;
}

} // namespace

TEST_F(BookWindow, LongPictureOutputsMoveTheBarAndStopAtCancel)
{
    TScriptedUi Ui;
    // A page tall enough for many tiles and several PDF pages, in a book.
    const QString A = WritePage(QStringLiteral("a.qbt"), QStringLiteral("A1"), QStringLiteral("甲页"), 60);
    Start({WriteBook(QStringLiteral("book.qbs"), {A})});
    ASSERT_EQ(Form->FOpenPageEntry, QStringLiteral("a.qbt"));
    Form->resize(900, 700);
    Form->show();
    QApplication::processEvents();
    const QString D = Exe + QStringLiteral("输出/A1/");

    // The page's PDF to its end: 取消 offered, the bar moving with the tiles
    // (60 to 80) and with the PDF's pages (80 to 90).
    {
        TBarWatch Bar(Form.get());
        Form->PDFpdf1Click();
        EXPECT_TRUE(Bar.CancelShown);
        EXPECT_GE(Bar.Between(60, 80), 3) << QDebug::toString(Bar.Positions).toStdString();
        EXPECT_GE(Bar.Between(80, 90), 2) << QDebug::toString(Bar.Positions).toStdString();
    }
    EXPECT_TRUE(Ui.CaptionsAndTexts().isEmpty()) << Ui.CaptionsAndTexts().join(QLatin1Char('\n')).toStdString();
    EXPECT_TRUE(TestSupport::ReadAll(D + QStringLiteral("A1.pdf")).startsWith("%PDF"));
    EXPECT_TRUE(Form->ProgressCancel->isHidden());
    QDir(D).removeRecursively();

    // 取消 while the tiles are grabbed, and while the PDF is written: nothing
    // of the output is left and the user is told.
    for (int ClickPast : {64, 81}) {
        Ui.ClearAsked();
        const int Opened = int(Ui.Opened().size());
        TBarWatch Bar(Form.get(), ClickPast);
        Ui.Answer({"OK"});
        Form->PDFpdf1Click();
        EXPECT_TRUE(Bar.ClickedShown) << ClickPast;
        EXPECT_EQ(Ui.CaptionsAndTexts(), QStringList{QStringLiteral("提示|转换已取消。")}) << ClickPast;
        EXPECT_FALSE(QFileInfo::exists(D)) << FilesBelow(D).join(QLatin1Char(' ')).toStdString();
        EXPECT_EQ(Ui.Opened().size(), Opened) << ClickPast;
        EXPECT_TRUE(Form->GroupBox3->isHidden());
        EXPECT_TRUE(Form->ProgressCancel->isHidden());
    }

    // The book's PDF: its pictures move the bar from 50 to 90 and its pages
    // to 100; 取消 stops it the same way.
    const QString B = Exe + QStringLiteral("输出/book/");
    Ui.ClearAsked();
    {
        TBarWatch Bar(Form.get());
        Form->PDFpdf2Click();
        EXPECT_TRUE(Bar.CancelShown);
        EXPECT_GE(Bar.Between(50, 90), 3) << QDebug::toString(Bar.Positions).toStdString();
        EXPECT_GE(Bar.Between(90, 100), 2) << QDebug::toString(Bar.Positions).toStdString();
    }
    EXPECT_TRUE(Ui.CaptionsAndTexts().isEmpty()) << Ui.CaptionsAndTexts().join(QLatin1Char('\n')).toStdString();
    EXPECT_EQ(QDir(B).entryList({QStringLiteral("*.pdf")}).size(), 1);
    for (int ClickPast : {60, 91}) {
        QDir(B).removeRecursively();
        Ui.ClearAsked();
        TBarWatch Bar(Form.get(), ClickPast);
        Ui.Answer({"OK"});
        Form->PDFpdf2Click();
        EXPECT_TRUE(Bar.ClickedShown) << ClickPast;
        EXPECT_EQ(Ui.CaptionsAndTexts(), QStringList{QStringLiteral("提示|转换已取消。")}) << ClickPast;
        EXPECT_EQ(FilesBelow(B), QStringList()) << ClickPast;
        EXPECT_TRUE(Form->GroupBox3->isHidden());
        EXPECT_TRUE(Form->ProgressCancel->isHidden());
    }
}

TEST_F(BookWindow, PackingProgressFillsTheSecondHalfOfTheBarWhileShown)
{
    TScriptedUi Ui;
    Start({WriteBook(QStringLiteral("book.qbs"), {WritePage(QStringLiteral("a.qbt"), QStringLiteral("A1"), QStringLiteral("甲页"))})});
    Form->show();
    Form->GroupBox3->setTitle(QStringLiteral("before"));
    Form->GroupBox3->hide();
    Form->Zipper1TotalPercentDone(40);
    EXPECT_EQ(Form->GroupBox3->title(), QStringLiteral("before"));
    Form->GroupBox3->show();
    Form->Zipper1TotalPercentDone(40);
    EXPECT_EQ(Form->GroupBox3->title(), QStringLiteral("文件打包中... 40%"));
    EXPECT_EQ(Form->ProgressBar1->value(), 70);
    Form->Zipper1TotalPercentDone(100);
    EXPECT_EQ(Form->ProgressBar1->value(), 100);
    Form->GroupBox3->hide();
}

TEST_F(BookWindow, RefusedHandOffsAreReported)
{
    TScriptedUi Ui;
    const QString A = WritePage(QStringLiteral("a.qbt"), QStringLiteral("A1"), QStringLiteral("甲页"));
    QStringList Lines = LoadLines(A);
    for (QString &L : Lines)
        if (L.startsWith(QStringLiteral("{输出方式}=")))
            L = QStringLiteral("{输出方式}=ZIP(压缩文件类型)");
    SaveLines(A, Lines);
    Start({WriteBook(QStringLiteral("book.qbs"), {A})});
    Ui.Shell->RefuseHandOffs = true;

    // The refusing desktop also refuses to show the output folder afterwards: that is said first.
    Ui.Answer({"OK", "OK"});
    Form->Email1Click();
    const QString Zip = Exe + QStringLiteral("输出/A1/A1.zip");
    EXPECT_TRUE(Ui.ShellCalls().contains(QStringLiteral("SendMail  |  |  | ") + Zip)) << Ui.ShellCalls().join(QLatin1Char('\n')).toStdString();
    EXPECT_TRUE(Ui.CaptionsAndTexts().last().startsWith(QStringLiteral("错误|不能把文件交给邮件程序"))) << Ui.CaptionsAndTexts().last().toStdString();

    Ui.Prompts->AnswerText(QStringLiteral("ftp.example.com"));
    Ui.Answer({"OK", "OK"});
    Form->N52Click();
    EXPECT_TRUE(Ui.ShellCalls().contains(QStringLiteral("Open ftp://ftp.example.com")));
    EXPECT_EQ(Ui.CaptionsAndTexts().last(),
              QStringLiteral("错误|不能打开ftp地址 ftp://ftp.example.com：系统中没有可以处理ftp地址的程序。"));
}

TEST(FtpServerAddress, HostsAndAddressesWithOptionalPorts)
{
    for (const char *Good : {"ftp.example.com", "FTP.Example.com:21", "192.168.1.10", "192.168.1.10:2121", "[::1]",
                             "[2001:db8::1]:21", "ftp://host.example/", "localhost"})
        EXPECT_FALSE(TForm1::FtpServerAddress(QString::fromLatin1(Good)).isEmpty()) << Good;
    EXPECT_EQ(TForm1::FtpServerAddress(QStringLiteral(" ftp://a.example:21/ ")), QStringLiteral("a.example:21"));
    for (const char *Bad : {"", "坏 主机", "a b", "host:", "host:0", "host:65536", "host:+21", "-host", "a..b", "999.1.1.1",
                            "1.2.3", "[::1", "[zz]", "host/path", "user@host", "host;rm"})
        EXPECT_TRUE(TForm1::FtpServerAddress(QString::fromUtf8(Bad)).isEmpty()) << Bad;
}
