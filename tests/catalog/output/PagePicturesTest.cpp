// Page pictures and PDF: a 30,000-pixel page of coloured stripes grabbed in
// tiles and checked by Pillow row by row (a stale or shifted tile shows the
// wrong stripe), pieces and their names, libjpeg's height limit, a late page,
// remote pictures, the PDF checked by qpdf and poppler, a page that tries to
// show or read files of the disk outside its folder, and a received page that
// tries to reach a listener of its own or read the files it frames.

#include "QStringPrint.h"
#include "ImageDifference.h"
#include "TestSupport.h"
#include "catalog/output/Htm2Jpg.h"
#include "catalog/output/WebEffects.h"
#include "platform/core/FileUtils.h"

#include <QAbstractEventDispatcher>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QNetworkDatagram>
#include <QTcpServer>
#include <QTcpSocket>
#include <QUdpSocket>
#include <QWebEnginePage>
#include <QWebEngineProfile>
#include <QWebEngineScript>
#include <QWebEngineView>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QImageReader>
#include <QRegularExpression>
#include <QGuiApplication>
#include <QTimer>
#include <QUrl>
#include <QWindow>
#include <functional>
#include <gtest/gtest.h>

using TestSupport::TempDir;

namespace {

// Stripe I of the page: its colour says its number.
QString StripeColour(int I)
{
    return QStringLiteral("rgb(%1,%2,%3)").arg((I % 8) * 32 + 16).arg((I / 8 % 8) * 32 + 16).arg((I / 64 % 10) * 25 + 12);
}

QString StripePage(TempDir &Dir, const QString &Name, int Stripes, bool Doctype = true, const QString &Extra = QString())
{
    QString Html = Doctype ? QStringLiteral("<!DOCTYPE html>\n") : QString();
    Html += QStringLiteral("<html><head><style>body{margin:0}div{height:50px}</style></head><body>") + Extra;
    for (int I = 0; I < Stripes; ++I)
        Html += QStringLiteral("<div style=\"background:%1\"></div>").arg(StripeColour(I));
    Html += QStringLiteral("</body></html>");
    const QString File = Dir.File(Name);
    TestSupport::WriteAll(File, Html.toUtf8());
    return File;
}

QString Url(const QString &File)
{
    return QUrl::fromLocalFile(File).toString();
}

// Pillow reads every picture; each row away from a stripe's edge must show the
// stripe its document row belongs to. Pieces: "file:first document row".
const char *const CheckStripes = R"PY(
import sys
from PIL import Image
bad = 0
stripes = int(sys.argv[1])
for arg in sys.argv[2:]:
    name, start = arg.rsplit(':', 1)
    start = int(start)
    im = Image.open(name).convert('RGB')
    px = im.load()
    w, h = im.size
    for y in range(h):
        row = start + y
        if row % 50 < 6 or row % 50 > 43 or row >= stripes * 50:
            continue
        i = row // 50
        want = ((i % 8) * 32 + 16, (i // 8 % 8) * 32 + 16, (i // 64 % 10) * 25 + 12)
        for x in (4, w // 2, w - 5):
            got = px[x, y]
            if max(abs(a - b) for a, b in zip(got, want)) > 12:
                bad += 1
                if bad < 5:
                    print('%s row %d x %d: %s, want %s' % (name, row, x, got, want))
                break
print('bad', bad)
sys.exit(1 if bad else 0)
)PY";

QString RunStripeCheck(TempDir &Dir, int Stripes, const QStringList &Pieces)
{
    const QString Script = Dir.File(QStringLiteral("check.py"));
    TestSupport::WriteAll(Script, CheckStripes);
    QByteArray Out;
    const int Code = TestSupport::RunProgram(QStringLiteral("/usr/bin/python3"), QStringList{Script, QString::number(Stripes)} + Pieces, &Out);
    return Code == 0 ? QString() : QString::fromUtf8(Out) + QStringLiteral(" (exit %1)").arg(Code);
}

QSize PictureSize(const QString &File)
{
    return QImageReader(File).size();
}

class PagePictures : public ::testing::Test {
protected:
    void SetUp() override
    {
        Form = std::make_unique<Thtm2jpg2>();
        Form->TimeoutMs = 60000;
        Form->AskYesNo = [this](const QString &Text, const QString &Caption) {
            Asked << Caption + QLatin1Char('|') + Text;
            return AnswerYes;
        };
        Form->Tell = [this](const QString &Text) { Told << Text; };
    }
    void TearDown() override { Thtm2jpg2::KeepJpegsAfterPdf = false; }

    TempDir Dir;
    std::unique_ptr<Thtm2jpg2> Form;
    QStringList Asked, Told;
    bool AnswerYes = true;
};

} // namespace

TEST_F(PagePictures, TallPageSplitOnYesOnePictureOnNoEverySeamFresh)
{
    const QString Page = StripePage(Dir, QStringLiteral("stripes.htm"), 600);
    const QString Jpg = Dir.File(QStringLiteral("stripes.jpg"));
    const QString Question = QStringLiteral("警告|注意，当前创建的图片较大，可能打开图片时会比较慢，是否自动拆分为多个图片？");

    // Yes: pieces of whole viewports, numbered from 1, beside the page.
    ASSERT_TRUE(Form->HtmlToJpg(Url(Page), Jpg)) << Form->LastError().toStdString();
    EXPECT_EQ(Asked, QStringList{Question});
    EXPECT_FALSE(QFile::exists(Jpg));
    const int P = PictureSize(Thtm2jpg2::PieceName(Jpg, 1)).height();
    ASSERT_GT(P, 100);
    const int Count = (30000 + P - 1) / P;
    QStringList Pieces;
    for (int K = 1; K <= Count; ++K) {
        const QString Name = Thtm2jpg2::PieceName(Jpg, K);
        ASSERT_TRUE(QFile::exists(Name)) << Name.toStdString();
        EXPECT_EQ(PictureSize(Name).height(), K < Count ? P : 30000 - P * (Count - 1));
        Pieces << Name + QStringLiteral(":%1").arg((K - 1) * P);
    }
    EXPECT_FALSE(QFile::exists(Thtm2jpg2::PieceName(Jpg, Count + 1)));
    EXPECT_EQ(Form->JpgList().size(), Count);
    EXPECT_EQ(Dir.File(QStringLiteral("stripes_1.jpg")), Thtm2jpg2::PieceName(Jpg, 1));
    EXPECT_EQ(RunStripeCheck(Dir, 600, Pieces), QString());

    // No: one picture of the whole page under the name given, no pieces listed.
    for (int K = 1; K <= Count; ++K)
        QFile::remove(Thtm2jpg2::PieceName(Jpg, K));
    AnswerYes = false;
    auto Again = std::make_unique<Thtm2jpg2>();
    Again->AskYesNo = Form->AskYesNo;
    ASSERT_TRUE(Again->HtmlToJpg(Url(Page), Jpg)) << Again->LastError().toStdString();
    EXPECT_EQ(Asked.size(), 2);
    EXPECT_EQ(PictureSize(Jpg).height(), 30000);
    EXPECT_TRUE(Again->JpgList().isEmpty());
    EXPECT_FALSE(QFile::exists(Thtm2jpg2::PieceName(Jpg, 1)));
    EXPECT_EQ(RunStripeCheck(Dir, 600, {Jpg + QStringLiteral(":0")}), QString());
}

TEST_F(PagePictures, ShortPageOnePictureWithoutNumberWithAndWithoutDoctype)
{
    for (bool Doctype : {true, false}) {
        const QString Page = StripePage(Dir, QStringLiteral("short.htm"), 3, Doctype);
        const QString Jpg = Dir.File(QStringLiteral("short.jpg"));
        QFile::remove(Jpg);
        ASSERT_TRUE(Form->HtmlToJpg(Url(Page), Jpg)) << Form->LastError().toStdString();
        EXPECT_TRUE(QFile::exists(Jpg));
        EXPECT_FALSE(QFile::exists(Thtm2jpg2::PieceName(Jpg, 1)));
        EXPECT_TRUE(Asked.isEmpty());
        EXPECT_EQ(RunStripeCheck(Dir, 3, {Jpg + QStringLiteral(":0")}), QString());
    }
    // A quirks-mode page taller than the view: its height comes from the body.
    const QString Page = StripePage(Dir, QStringLiteral("quirks.htm"), 40, false);
    const QString Jpg = Dir.File(QStringLiteral("quirks.jpg"));
    ASSERT_TRUE(Form->HtmlToJpg(Url(Page), Jpg));
    EXPECT_EQ(PictureSize(Jpg).height(), 2000);
    EXPECT_EQ(RunStripeCheck(Dir, 40, {Jpg + QStringLiteral(":0")}), QString());
}

TEST_F(PagePictures, PicturesOfPageAfterPageLeaveNoDeadlinesBehind)
{
    // Every wait for the browser has a deadline; once the wait is over its
    // timer is gone. Left behind, a book of hundreds of pages would pile them
    // up, and each new timer of the program is sorted in among them all.
    const QString Page = StripePage(Dir, QStringLiteral("few.htm"), 3);
    const QObject *Dispatcher = QAbstractEventDispatcher::instance();
    ASSERT_NE(Dispatcher, nullptr);
    ASSERT_TRUE(Form->HtmlToJpg(Url(Page), Dir.File(QStringLiteral("first.jpg")))) << Form->LastError().toStdString();
    const qsizetype Before = Dispatcher->children().size();
    for (int I = 0; I < 3; ++I) {
        Thtm2jpg2 Next;
        ASSERT_TRUE(Next.HtmlToJpg(Url(Page), Dir.File(QStringLiteral("p%1.jpg").arg(I)))) << Next.LastError().toStdString();
        ASSERT_TRUE(Next.HtmlToJpgPages(Url(Page), Dir.File(QStringLiteral("q%1.jpg").arg(I)), true, 0));
    }
    // A timer of a few milliseconds may still be on its way.
    EXPECT_LE(Dispatcher->children().size(), Before + 2);
}

TEST_F(PagePictures, NoJpegTallerOrWiderThanLibjpegAllows)
{
    // A tall view keeps the number of tiles small.
    Form->ScreenWidth = 300;
    Form->ScreenHeight = 3000;
    AnswerYes = false;
    const QString Page = StripePage(Dir, QStringLiteral("huge.htm"), 1400);   // 70,000 pixels
    const QString Jpg = Dir.File(QStringLiteral("huge.jpg"));
    ASSERT_TRUE(Form->HtmlToJpg(Url(Page), Jpg)) << Form->LastError().toStdString();
    ASSERT_EQ(Told.size(), 1);
    EXPECT_TRUE(Told.first().contains(QStringLiteral("65500")));
    EXPECT_FALSE(QFile::exists(Jpg));
    const int P = PictureSize(Thtm2jpg2::PieceName(Jpg, 1)).height();
    EXPECT_LE(P, Thtm2jpg2::MaxJpegSide);
    EXPECT_EQ(P % (3000 - 6 - 1), 0) << P;   // whole viewports
    EXPECT_EQ(PictureSize(Thtm2jpg2::PieceName(Jpg, 2)).height(), 70000 - P);

    // A piece is held in memory whole: a page too large for the limit (here
    // a small one) is split at whole viewports although it is not tall.
    Told.clear();
    const QString Short = StripePage(Dir, QStringLiteral("short.htm"), 120);   // 6,000 pixels
    const QString ShortJpg = Dir.File(QStringLiteral("short.jpg"));
    const qint64 Limit = Thtm2jpg2::MaxPieceBytes;
    Thtm2jpg2::MaxPieceBytes = qint64(300 - 8) * 3 * (3000 - 6 - 1) * 3 / 2;   // a viewport and a half
    const bool Done = Form->HtmlToJpg(Url(Short), ShortJpg);
    Thtm2jpg2::MaxPieceBytes = Limit;
    ASSERT_TRUE(Done) << Form->LastError().toStdString();
    EXPECT_EQ(Told, QStringList{QStringLiteral("页面太大，不能保存为一个JPEG图片，已自动拆分为多个图片。")});
    EXPECT_FALSE(QFile::exists(ShortJpg));
    for (int K = 1; K <= 3; ++K)
        EXPECT_EQ(PictureSize(Thtm2jpg2::PieceName(ShortJpg, K)).height(), K < 3 ? 3000 - 6 - 1 : 6000 - 2 * (3000 - 6 - 1));

    Told.clear();
    const QString Wide = Dir.File(QStringLiteral("wide.htm"));
    TestSupport::WriteAll(Wide, "<html><body style=\"margin:0\"><div style=\"width:70000px;height:20px;background:red\"></div></body></html>");
    EXPECT_FALSE(Form->HtmlToJpg(Url(Wide), Dir.File(QStringLiteral("wide.jpg"))));
    EXPECT_EQ(Told.size(), 1);
    EXPECT_FALSE(QFile::exists(Dir.File(QStringLiteral("wide.jpg"))));
}

TEST_F(PagePictures, LateLoadTimesOutPageScriptsHoldNothingRemotePicturesDoNotHold)
{
    // A page not loaded by the deadline fails and leaves no file.
    const QString Late = StripePage(Dir, QStringLiteral("late.htm"), 4);
    Form->TimeoutMs = 1;
    EXPECT_FALSE(Form->HtmlToJpg(Url(Late), Dir.File(QStringLiteral("late.jpg"))));
    EXPECT_FALSE(QFile::exists(Dir.File(QStringLiteral("late.jpg"))));

    // The page's own scripts do not run: an endless one holds nothing.
    Form = std::make_unique<Thtm2jpg2>();
    Form->TimeoutMs = 20000;
    const QString Hang = Dir.File(QStringLiteral("hang.htm"));
    TestSupport::WriteAll(Hang, "<html><body><p>x</p><script>while (true) {}</script></body></html>");
    EXPECT_TRUE(Form->HtmlToJpg(Url(Hang), Dir.File(QStringLiteral("hang.jpg")))) << Form->LastError().toStdString();

    // A page whose style sheet hides (or recolours) every block is still
    // photographed, and so is one whose script would keep hiding the marker.
    const QString Hidden = StripePage(Dir, QStringLiteral("hidden.htm"), 4, true,
                                      QStringLiteral("<style>div{display:none!important;background:red!important}</style>"));
    EXPECT_TRUE(Form->HtmlToJpg(Url(Hidden), Dir.File(QStringLiteral("hidden.jpg")))) << Form->LastError().toStdString();
    EXPECT_TRUE(PictureSize(Dir.File(QStringLiteral("hidden.jpg"))).isValid());
    // A transformed or filtered body (a common hack for smooth scrolling)
    // holds fixed blocks of its own instead of the window's.
    const QString Moved = StripePage(Dir, QStringLiteral("moved.htm"), 30, true,
                                     QStringLiteral("<style>body{transform:translateZ(0);filter:saturate(1)}</style>"));
    Form->TimeoutMs = 5000;
    EXPECT_TRUE(Form->HtmlToJpg(Url(Moved), Dir.File(QStringLiteral("moved.jpg")))) << Form->LastError().toStdString();
    EXPECT_EQ(RunStripeCheck(Dir, 30, {Dir.File(QStringLiteral("moved.jpg:0"))}), QString());
    Form->TimeoutMs = 20000;
    const QString Gone = StripePage(Dir, QStringLiteral("gone.htm"), 4, true,
                                    QStringLiteral("<div id=\"__qbMark\" style=\"display:none\"></div>"
                                                   "<script>setInterval(function(){var m=document.getElementById('__qbMark');"
                                                   "if(m)m.style.setProperty('display','none','important');},1)</script>"));
    EXPECT_TRUE(Form->HtmlToJpg(Url(Gone), Dir.File(QStringLiteral("gone.jpg")))) << Form->LastError().toStdString();
    EXPECT_EQ(RunStripeCheck(Dir, 4, {Dir.File(QStringLiteral("gone.jpg:0"))}), QString());
    Form.reset();

    auto Remote = std::make_unique<Thtm2jpg2>();
    Remote->TimeoutMs = 20000;
    const QString Page = StripePage(Dir, QStringLiteral("remote.htm"), 4, true,
                                    QStringLiteral("<img src=\"http://192.0.2.1/a.png\" style=\"display:none\">"
                                                   "<img src=\"https://example.invalid/b.jpg\" style=\"display:none\">"));
    ASSERT_TRUE(Remote->HtmlToJpg(Url(Page), Dir.File(QStringLiteral("remote.jpg")))) << Remote->LastError().toStdString();
    EXPECT_EQ(RunStripeCheck(Dir, 4, {Dir.File(QStringLiteral("remote.jpg:0"))}), QString());
}

TEST_F(PagePictures, APageThatReloadsItselfIsTakenOnceAndAFailureSaysWhy)
{
    // Pages that reload themselves at once, or every second while they are
    // grabbed tile by tile: each is taken as it first loaded, with a deadline
    // far away that it must not come near.
    Form->TimeoutMs = 30000;
    Form->ScreenWidth = 400;
    Form->ScreenHeight = 300;
    auto Reloading = [&](const QString &Name, int Stripes, const QString &Refresh) {
        QString Html = QStringLiteral("<!DOCTYPE html>\n<html><head><meta http-equiv=\"refresh\" content=\"%1\">"
                                      "<style>body{margin:0}div{height:50px}</style></head><body>")
                           .arg(Refresh);
        for (int I = 0; I < Stripes; ++I)
            Html += QStringLiteral("<div style=\"background:%1\"></div>").arg(StripeColour(I));
        TestSupport::WriteAll(Dir.File(Name), (Html + QStringLiteral("</body></html>")).toUtf8());
        return Dir.File(Name);
    };
    const QString AtOnce = Reloading(QStringLiteral("atonce.htm"), 4, QStringLiteral("0"));
    ASSERT_TRUE(Form->HtmlToJpg(Url(AtOnce), Dir.File(QStringLiteral("atonce.jpg")))) << Form->LastError().toStdString();
    EXPECT_EQ(RunStripeCheck(Dir, 4, {Dir.File(QStringLiteral("atonce.jpg:0"))}), QString());
    // Again on the same form, as a book's pictures are made one after another.
    ASSERT_TRUE(Form->HtmlToJpg(Url(AtOnce), Dir.File(QStringLiteral("again.jpg")))) << Form->LastError().toStdString();
    const QString Often = Reloading(QStringLiteral("often.htm"), 80, QStringLiteral("1"));
    const QString Jpg = Dir.File(QStringLiteral("often.jpg"));
    ASSERT_TRUE(Form->HtmlToJpgPages(Url(Often), Jpg, true, 0)) << Form->LastError().toStdString();
    QStringList Pieces;
    int Start = 0;
    for (const QString &Piece : Form->JpgList()) {
        Pieces << Piece + QLatin1Char(':') + QString::number(Start);
        Start += PictureSize(Piece).height();
    }
    EXPECT_EQ(Start, 80 * 50);
    EXPECT_EQ(RunStripeCheck(Dir, 80, Pieces), QString());

    // A failure names what did not load, or that it took too long.
    Thtm2jpg2 Failing;
    const QString Missing = Dir.File(QStringLiteral("missing.htm"));
    EXPECT_FALSE(Failing.HtmlToJpg(Url(Missing), Dir.File(QStringLiteral("missing.jpg"))));
    EXPECT_EQ(Failing.LastError(), QStringLiteral("页面文件“%1”不存在。").arg(Missing));
    Failing.TimeoutMs = 1;
    EXPECT_FALSE(Failing.HtmlToJpgPages(Url(AtOnce), Dir.File(QStringLiteral("late.jpg")), true, 0));
    EXPECT_EQ(Failing.LastError(), QStringLiteral("页面“%1”在1秒内没有载入完毕。").arg(AtOnce));
    EXPECT_TRUE(QDir(Dir.Path()).entryList({QStringLiteral("missing*"), QStringLiteral("late*")}).isEmpty());
}

TEST_F(PagePictures, CancelEndsEveryWaitUnderWayAtOnce)
{
    const QString Page = StripePage(Dir, QStringLiteral("page.htm"), 4);
    ASSERT_TRUE(Form->HtmlToJpg(Url(Page), Dir.File(QStringLiteral("page.jpg")))) << Form->LastError().toStdString();
    // The renderer stops answering: every wait of the form now lasts until
    // its deadline, far away, or until the cancel.
    Form->TimeoutMs = 120000;
    Form->WebBrowser1()->page()->runJavaScript(QStringLiteral("for(;;){}"), QWebEngineScript::UserWorld + 7);
    // An event handled while the form waits starts another wait of the form;
    // 取消 is pressed during that one.
    bool InnerDone = false, Inner = true;
    QTimer::singleShot(0, [&] {
        QTimer::singleShot(0, [&] { Form->Cancel(); });
        Inner = Form->CreateWBSnapshot(Form->WebBrowser1(), Dir.File(QStringLiteral("inner.jpg")), 0);
        InnerDone = true;
    });
    // Only an outer wait the cancel did not end is still waiting when this
    // comes (it ends that wait, so that the test does not last its deadline).
    bool StillWaiting = false;
    QTimer Guard;
    Guard.setSingleShot(true);
    QObject::connect(&Guard, &QTimer::timeout, [&] {
        StillWaiting = true;
        Form->Cancel();
    });
    Guard.start(20000);
    const bool Outer = Form->CreateWBSnapshot(Form->WebBrowser1(), Dir.File(QStringLiteral("outer.jpg")), 0);
    Guard.stop();
    EXPECT_TRUE(InnerDone);
    EXPECT_FALSE(Inner);
    EXPECT_FALSE(Outer);
    EXPECT_TRUE(Form->Cancelled());
    EXPECT_FALSE(StillWaiting) << "the outer wait went on after the cancel";
    EXPECT_EQ(Form->LastError(), QString());
    EXPECT_TRUE(QDir(Dir.Path()).entryList({QStringLiteral("inner*"), QStringLiteral("outer*")}).isEmpty());
}

TEST_F(PagePictures, PdfOfThreePiecesCheckedByPeers)
{
    for (const char *Tool : {"qpdf", "pdfinfo", "pdfimages"})
        if (!TestSupport::HaveProgram(QString::fromLatin1(Tool)))
            GTEST_SKIP() << Tool << " is missing";
    Form->ScreenWidth = 400;
    Form->ScreenHeight = 507;   // 500 rows of the view above its marker row: pieces 500, 500, 250
    const QString Page = StripePage(Dir, QStringLiteral("three.htm"), 25);
    const QString Jpg = Dir.File(QStringLiteral("three.jpg"));
    ASSERT_TRUE(Form->HtmlToJpgPages(Url(Page), Jpg, true, 0)) << Form->LastError().toStdString();
    const QStringList Pieces = Form->JpgList();
    ASSERT_EQ(Pieces.size(), 3);
    EXPECT_EQ(PictureSize(Pieces.at(0)), QSize(400 - 8, 500));
    EXPECT_EQ(PictureSize(Pieces.at(2)).height(), 250);
    QList<QByteArray> Jpegs;
    for (const QString &F : Pieces)
        Jpegs << TestSupport::ReadAll(F);

    const QString Pdf = Dir.File(QStringLiteral("three.pdf"));
    Thtm2jpg2::KeepJpegsAfterPdf = true;
    ASSERT_TRUE(Form->JpgListToPdf(Pdf)) << Form->LastError().toStdString();
    EXPECT_TRUE(Form->JpgList().isEmpty());

    QByteArray Out;
    EXPECT_EQ(TestSupport::RunProgram(QStringLiteral("qpdf"), {QStringLiteral("--check"), Pdf}, &Out), 0) << Out.constData();
    ASSERT_EQ(TestSupport::RunProgram(QStringLiteral("pdfinfo"), {QStringLiteral("-f"), QStringLiteral("1"),
                                                                   QStringLiteral("-l"), QStringLiteral("3"), Pdf},
                                      &Out),
              0);
    const QString Info = QString::fromUtf8(Out);
    EXPECT_TRUE(Info.contains(QRegularExpression(QStringLiteral("Pages:\\s+3\\n")))) << Info.toStdString();
    EXPECT_EQ(Info.count(QRegularExpression(QStringLiteral("size:\\s+456 x 564 pts"))), 3) << Info.toStdString();

    ASSERT_EQ(TestSupport::RunProgram(QStringLiteral("pdfimages"), {QStringLiteral("-list"), Pdf}, &Out), 0);
    const QStringList Rows = QString::fromUtf8(Out).split(QLatin1Char('\n'), Qt::SkipEmptyParts).mid(2);
    ASSERT_EQ(Rows.size(), 3) << Out.constData();
    const int Heights[3] = {500, 500, 250};
    for (int I = 0; I < 3; ++I) {
        const QStringList F = Rows.at(I).simplified().split(QLatin1Char(' '));
        EXPECT_EQ(F.value(3), QStringLiteral("392")) << Rows.at(I).toStdString();
        EXPECT_EQ(F.value(4), QString::number(Heights[I])) << Rows.at(I).toStdString();
        EXPECT_EQ(F.value(8), QStringLiteral("jpeg")) << Rows.at(I).toStdString();
    }
    QDir().mkdir(Dir.File(QStringLiteral("x")));
    ASSERT_EQ(TestSupport::RunProgram(QStringLiteral("pdfimages"), {QStringLiteral("-j"), Pdf, Dir.File(QStringLiteral("x/i"))}), 0);
    for (int I = 0; I < 3; ++I)
        EXPECT_EQ(TestSupport::ReadAll(Dir.File(QStringLiteral("x/i-%1.jpg").arg(I, 3, 10, QLatin1Char('0')))), Jpegs.at(I)) << I;

    // Without the hook the listed JPEGs go once the PDF is written; a file of
    // the same folder that the list does not name stays.
    Thtm2jpg2::KeepJpegsAfterPdf = false;
    TestSupport::WriteAll(Dir.File(QStringLiteral("other.jpg")), "mine");
    ASSERT_TRUE(Form->StringsToPdf(Pieces, Pdf));
    for (const QString &F : Pieces)
        EXPECT_FALSE(QFile::exists(F)) << F.toStdString();
    EXPECT_TRUE(QFile::exists(Dir.File(QStringLiteral("other.jpg"))));

    // A PDF that cannot be written keeps the JPEGs.
    for (int I = 0; I < 3; ++I)
        TestSupport::WriteAll(Pieces.at(I), Jpegs.at(I));
    EXPECT_FALSE(Form->StringsToPdf(Pieces, Dir.File(QStringLiteral("missing/folder/three.pdf"))));
    for (const QString &F : Pieces)
        EXPECT_TRUE(QFile::exists(F)) << F.toStdString();
    QStringList Kept;
    Form->GetJpgList(Kept);
    EXPECT_EQ(Kept, Pieces);

    // A book's later page that is wider and taller than its first shows
    // whole: poppler paints its far corner.
    QImage Narrow(100, 100, QImage::Format_RGB32), Wide(300, 160, QImage::Format_RGB32);
    Narrow.fill(Qt::red);
    Wide.fill(Qt::blue);
    const QStringList Two{Dir.File(QStringLiteral("narrow.jpg")), Dir.File(QStringLiteral("wide.jpg"))};
    ASSERT_TRUE(Narrow.save(Two.at(0), "JPEG") && Wide.save(Two.at(1), "JPEG"));
    const QString Book = Dir.File(QStringLiteral("book.pdf"));
    ASSERT_TRUE(Form->StringsToPdf(Two, Book)) << Form->LastError().toStdString();
    ASSERT_EQ(TestSupport::RunProgram(QStringLiteral("pdftoppm"), {QStringLiteral("-r"), QStringLiteral("72"), QStringLiteral("-f"),
                                                                   QStringLiteral("2"), QStringLiteral("-l"), QStringLiteral("2"),
                                                                   QStringLiteral("-png"), Book, Dir.File(QStringLiteral("p"))}),
              0);
    const QStringList Shots = QDir(Dir.File(QString())).entryList({QStringLiteral("p*.png")});
    ASSERT_EQ(Shots.size(), 1);
    const QImage Shot(Dir.File(Shots.first()));
    ASSERT_GE(Shot.width(), 32 + 300);
    ASSERT_GE(Shot.height(), 32 + 160);
    const QColor Corner = Shot.pixelColor(32 + 290, 32 + 150);
    EXPECT_TRUE(Corner.blue() > 200 && Corner.red() < 60) << Corner.name().toStdString();
}

TEST_F(PagePictures, ThePictureShowsThePageAndNoOtherFileOfTheDisk)
{
    // Files of the user's disk beside the page's folder, and the page's own picture.
    QDir().mkpath(Dir.File(QStringLiteral("site/images")));
    QDir().mkpath(Dir.File(QStringLiteral("private")));
    QImage Red(80, 80, QImage::Format_RGB32);
    Red.fill(Qt::red);
    ASSERT_TRUE(Red.save(Dir.File(QStringLiteral("private/red.png"))));
    TestSupport::WriteAll(Dir.File(QStringLiteral("private/red.htm")), "<html><body style=\"background:red\">PRIVATE</body></html>");
    TestSupport::WriteAll(Dir.File(QStringLiteral("private/secret.txt")), "PRIVATE TEXT OF THE USER");
    // Even a file of the page's own folder is no script's to read.
    TestSupport::WriteAll(Dir.File(QStringLiteral("site/notes.txt")), "NOTES BESIDE THE PAGE");
    QImage Blue(40, 40, QImage::Format_RGB32);
    Blue.fill(Qt::blue);
    ASSERT_TRUE(Blue.save(Dir.File(QStringLiteral("site/images/own.png"))));

    // Everything a page tries sits in a white band above the stripes: held
    // back, it leaves the band white.
    const QString Own = QStringLiteral("<div style=\"height:120px;background:white\"><img src=\"images/own.png\"></div>");
    const QString Private = QUrl::fromLocalFile(Dir.File(QStringLiteral("private/"))).toString();
    const QString Tries =
        QStringLiteral("<img alt=\"\" src=\"%1red.png\" style=\"position:absolute;left:60px;top:0\">"
                       "<img alt=\"\" src=\"../private/red.png\" style=\"position:absolute;left:150px;top:0\">"
                       "<iframe src=\"%1red.htm\" style=\"position:absolute;left:240px;top:0;width:80px;height:80px;"
                       "border:0;background:transparent\"></iframe>"
                       "<div id=\"leak\" style=\"position:absolute;left:340px;top:0;font-size:40px;background:red\"></div>"
                       "<script>try{var x=new XMLHttpRequest();x.open('GET','%1secret.txt',false);x.send();"
                       "document.getElementById('leak').textContent=x.responseText;}catch(e){}"
                       "try{var y=new XMLHttpRequest();y.open('GET','../private/secret.txt',false);y.send();"
                       "document.getElementById('leak').textContent+=y.responseText;}catch(e){}"
                       "try{var z=new XMLHttpRequest();z.open('GET','notes.txt',false);z.send();"
                       "document.getElementById('leak').textContent+=z.responseText;}catch(e){}</script>")
            .arg(Private);
    QDir().mkpath(Dir.File(QStringLiteral("clean")));
    QDir().mkpath(Dir.File(QStringLiteral("clean/images")));
    QFile::copy(Dir.File(QStringLiteral("site/images/own.png")), Dir.File(QStringLiteral("clean/images/own.png")));
    const QString Clean = StripePage(Dir, QStringLiteral("clean/page.htm"), 6, true, Own);
    const QString Hostile = StripePage(Dir, QStringLiteral("site/page.htm"), 6, true, Own + Tries);
    Form->ScreenWidth = 600;
    Form->ScreenHeight = 400;

    ASSERT_TRUE(Form->HtmlToJpg(Url(Clean), Dir.File(QStringLiteral("clean.jpg")))) << Form->LastError().toStdString();
    ASSERT_TRUE(Form->HtmlToJpg(Url(Hostile), Dir.File(QStringLiteral("hostile.jpg")))) << Form->LastError().toStdString();
    const QImage A(Dir.File(QStringLiteral("clean.jpg"))), B(Dir.File(QStringLiteral("hostile.jpg")));
    ASSERT_FALSE(A.isNull());
    // The page's own picture shows.
    const QColor Shown = A.pixelColor(20, 20);
    EXPECT_TRUE(Shown.blue() > 200 && Shown.red() < 60) << Shown.name().toStdString();
    EXPECT_LE(TestSupport::LargestDifference(A, B), 8) << "the picture shows a file of the disk";

    // The PDF too: its pages are the clean page's pictures.
    ASSERT_TRUE(Form->HtmlToJpgPages(Url(Clean), Dir.File(QStringLiteral("cleanp.jpg")), true, 0));
    const QStringList CleanPieces = Form->JpgList();
    ASSERT_TRUE(Form->HtmlToJpgPages(Url(Hostile), Dir.File(QStringLiteral("hostilep.jpg")), true, 0));
    const QStringList HostilePieces = Form->JpgList();
    ASSERT_EQ(CleanPieces.size(), HostilePieces.size());
    for (qsizetype I = 0; I < CleanPieces.size(); ++I)
        EXPECT_LE(TestSupport::LargestDifference(QImage(CleanPieces.at(I)), QImage(HostilePieces.at(I))), 8) << I;
}

namespace {

// Connections and datagrams that reach 127.0.0.1 while it lives.
class TLocalListener {
public:
    TLocalListener()
    {
        EXPECT_TRUE(FTcp.listen(QHostAddress::LocalHost));
        EXPECT_TRUE(FUdp.bind(QHostAddress::LocalHost));
        QObject::connect(&FTcp, &QTcpServer::newConnection, [this] {
            while (QTcpSocket *S = FTcp.nextPendingConnection()) {
                ++Connections;
                S->deleteLater();
            }
        });
        QObject::connect(&FUdp, &QUdpSocket::readyRead, [this] {
            while (FUdp.hasPendingDatagrams()) {
                FUdp.receiveDatagram();
                ++Datagrams;
            }
        });
    }
    quint16 TcpPort() const { return FTcp.serverPort(); }
    quint16 UdpPort() const { return FUdp.localPort(); }
    int Connections = 0;
    int Datagrams = 0;

private:
    QTcpServer FTcp;
    QUdpSocket FUdp;
};

// Handles events until Done() or for at most Ms milliseconds.
void Pump(int Ms, const std::function<bool()> &Done = [] { return false; })
{
    QElapsedTimer Clock;
    Clock.start();
    while (!Done() && Clock.elapsed() < Ms) {
        QEventLoop Loop;
        QTimer::singleShot(20, &Loop, &QEventLoop::quit);
        Loop.exec();
    }
}

// A script's answer in the renderer's view, from a world of the test's own.
QVariant Ask(Thtm2jpg2 &Form, const QString &Script)
{
    QVariant Answer;
    bool Done = false;
    Form.WebBrowser1()->page()->runJavaScript(Script, QWebEngineScript::UserWorld + 7, [&](const QVariant &V) {
        Answer = V;
        Done = true;
    });
    Pump(20000, [&] { return Done; });
    return Answer;
}

} // namespace

TEST_F(PagePictures, AReceivedPageReachesNoNetworkAndReadsNoFileButItsEffectsStillShow)
{
    // The program's folder with its shipped effects.
    TestSupport::CopyDataTo(Dir.File(QStringLiteral("exe")));
    SetProgramFolder(Dir.File(QStringLiteral("exe/")));
    struct TRestore {
        ~TRestore() { SetProgramFolder(QString()); }
    } Restore;

    // Everything a page from elsewhere may try to reach a host, each at a
    // listener of 127.0.0.1; and to read, or show, files below its folder.
    TLocalListener Listener;
    const QString Tcp = QStringLiteral("127.0.0.1:%1").arg(Listener.TcpPort());
    const QString Udp = QStringLiteral("127.0.0.1:%1").arg(Listener.UdpPort());
    QDir().mkpath(Dir.File(QStringLiteral("site/images")));
    QDir().mkpath(Dir.File(QStringLiteral("clean/images")));
    TestSupport::WriteAll(Dir.File(QStringLiteral("site/images/inside.htm")),
                          "<html><body style=\"background:red;font-size:40px\">INSIDE OF A FILE</body></html>");
    TestSupport::WriteAll(Dir.File(QStringLiteral("site/images/inside.txt")), "INSIDE OF A FILE");
    QImage Blue(40, 40, QImage::Format_RGB32);
    Blue.fill(Qt::blue);
    ASSERT_TRUE(Blue.save(Dir.File(QStringLiteral("site/images/own.png"))));
    ASSERT_TRUE(Blue.save(Dir.File(QStringLiteral("clean/images/own.png"))));
    const QString Own = QStringLiteral("<div style=\"height:120px;background:white\"><img src=\"images/own.png\"></div>");
    const QString Box = QStringLiteral("position:absolute;top:0;width:80px;height:80px;border:0;background:transparent;left:");
    const QString Tries =
        QStringLiteral(
            "<link rel=\"preconnect\" href=\"http://%1\"><link rel=\"dns-prefetch\" href=\"http://%1\">"
            "<style>@font-face{font-family:Far;src:url(http://%1/f.woff)}p{font-family:Far}</style>"
            "<img alt=\"\" src=\"http://%1/i.png\" style=\"display:none\">"
            "<iframe src=\"images/inside.htm\" style=\"%3 100px\"></iframe>"
            "<object data=\"images/inside.txt\" type=\"text/plain\" style=\"%3 200px\"></object>"
            "<embed src=\"images/inside.htm\" type=\"text/html\" style=\"%3 300px\">"
            "<div id=\"leak\" style=\"position:absolute;left:400px;top:0;font-size:30px;background:white;color:red\"></div>"
            "<script>"
            "function tryAll(f){try{f();}catch(e){}}"
            "function call(W){tryAll(function(){var pc=new W.RTCPeerConnection({iceServers:[{urls:'stun:%2'},"
            "{urls:'turn:%1?transport=tcp',username:'u',credential:'p'}]});pc.createDataChannel('d');"
            "pc.createOffer().then(function(o){return pc.setLocalDescription(o);});});}"
            "call(window);"
            "tryAll(function(){var f=document.createElement('iframe');f.style.display='none';"
            "document.body.appendChild(f);call(f.contentWindow);});"
            "tryAll(function(){new WebTransport('https://%2/');});"
            "tryAll(function(){new SharedWorker(URL.createObjectURL(new Blob([\"new WebSocket('ws://%1/');"
            "fetch('http://%1/w',{mode:'no-cors'});\"])));});"
            "tryAll(function(){new WebSocket('ws://%1/');});"
            "tryAll(function(){new EventSource('http://%1/e');});"
            "tryAll(function(){navigator.sendBeacon('http://%1/b','x');});"
            "tryAll(function(){fetch('http://%1/f',{mode:'no-cors'});});"
            "window.addEventListener('load',function(){var t='';"
            "for(var i=0;i<frames.length;i++)tryAll(function(){t+=frames[i].document.body.textContent;});"
            "tryAll(function(){t+=document.querySelector('object').contentDocument.body.textContent;});"
            "tryAll(function(){var x=new XMLHttpRequest();x.open('GET','images/inside.txt',false);x.send();t+=x.responseText;});"
            "document.getElementById('leak').textContent=t;});"
            "</script>")
            .arg(Tcp, Udp, Box);
    const QString Clean = StripePage(Dir, QStringLiteral("clean/page.htm"), 6, true, Own);
    const QString Tried = StripePage(Dir, QStringLiteral("site/tried.htm"), 6, true, Own + Tries);
    // And to be replaced by one of those files.
    const QString Hostile = StripePage(Dir, QStringLiteral("site/page.htm"), 6, true,
                                       Own + Tries + QStringLiteral("<meta http-equiv=\"refresh\" content=\"0;url=images/inside.htm\">"));

    // The page does all that where its scripts run (in a view of the engine
    // as it comes): the listener hears it.
    {
        QWebEngineProfile Plain;
        QWebEngineView View;
        View.setPage(new QWebEnginePage(&Plain, &View));
        View.setAttribute(Qt::WA_DontShowOnScreen);
        View.resize(600, 400);
        View.show();
        View.load(QUrl::fromLocalFile(Tried));
        Pump(20000, [&] { return Listener.Connections > 0 && Listener.Datagrams > 0; });
        EXPECT_GT(Listener.Connections, 0);
        EXPECT_GT(Listener.Datagrams, 0);
    }
    Pump(500);
    Listener.Connections = Listener.Datagrams = 0;

    // In the renderer nothing reaches the listener, for a picture or a PDF,
    // and the picture is that of the page without its tries.
    Form->ScreenWidth = 600;
    Form->ScreenHeight = 400;
    ASSERT_TRUE(Form->HtmlToJpg(Url(Clean), Dir.File(QStringLiteral("clean.jpg")))) << Form->LastError().toStdString();
    ASSERT_TRUE(Form->HtmlToJpg(Url(Hostile), Dir.File(QStringLiteral("hostile.jpg")))) << Form->LastError().toStdString();
    Pump(2000);
    const QImage A(Dir.File(QStringLiteral("clean.jpg"))), B(Dir.File(QStringLiteral("hostile.jpg")));
    ASSERT_FALSE(A.isNull());
    ASSERT_FALSE(B.isNull());
    const QColor Shown = B.pixelColor(20, 20);
    EXPECT_TRUE(Shown.blue() > 200 && Shown.red() < 60) << Shown.name().toStdString();
    EXPECT_LE(TestSupport::LargestDifference(A, B), 8) << "the picture shows what the page read or framed";
    ASSERT_TRUE(Form->HtmlToJpgPages(Url(Hostile), Dir.File(QStringLiteral("hostilep.jpg")), true, 0));
    ASSERT_TRUE(Form->JpgListToPdf(Dir.File(QStringLiteral("hostile.pdf")))) << Form->LastError().toStdString();
    Pump(1000);
    EXPECT_EQ(Listener.Connections, 0);
    EXPECT_EQ(Listener.Datagrams, 0);

    // The effects the program ships still play, from its own copy: a page's
    // script of its own, or an altered copy of an effect, does not run.
    const QString Head = WebEffects::LoadEffectText(ProgramFolder(), QStringLiteral("雪花"), QStringLiteral("head"));
    const QString Body = WebEffects::LoadEffectText(ProgramFolder(), QStringLiteral("雪花"), QStringLiteral("body"));
    ASSERT_TRUE(Body.contains(QStringLiteral("qb-snow"))) << Body.toStdString();
    QString Altered = Body;
    Altered.replace(QStringLiteral("qb-snow"), QStringLiteral("qb-other"));
    const QString Snow = StripePage(Dir, QStringLiteral("site/snow.htm"), 6, true,
                                    Head + Body + Altered
                                        + QStringLiteral("<script>var p=document.createElement('p');p.id='pagescript';"
                                                         "document.body.appendChild(p);</script>"));
    ASSERT_TRUE(Form->HtmlToJpg(Url(Snow), Dir.File(QStringLiteral("snow.jpg")))) << Form->LastError().toStdString();
    const QString Count = QStringLiteral("document.getElementsByClassName('qb-snow').length");
    Pump(20000, [&] { return Ask(*Form, Count).toInt() > 0; });
    EXPECT_GT(Ask(*Form, Count).toInt(), 0);
    EXPECT_EQ(Ask(*Form, QStringLiteral("document.getElementsByClassName('qb-other').length")).toInt(), 0);
    EXPECT_FALSE(Ask(*Form, QStringLiteral("!!document.getElementById('pagescript')")).toBool());
    // A page that fades in is taken once it has, not blank.
    const QString Fade = StripePage(Dir, QStringLiteral("site/fade.htm"), 6, true,
                                    WebEffects::LoadEffectText(ProgramFolder(), QStringLiteral("渐显"), QStringLiteral("head"))
                                        + WebEffects::LoadEffectText(ProgramFolder(), QStringLiteral("渐显"), QStringLiteral("body")));
    ASSERT_TRUE(Form->HtmlToJpg(Url(Fade), Dir.File(QStringLiteral("fade.jpg")))) << Form->LastError().toStdString();
    EXPECT_EQ(RunStripeCheck(Dir, 6, {Dir.File(QStringLiteral("fade.jpg:0"))}), QString());
    EXPECT_EQ(Listener.Connections, 0);
    EXPECT_EQ(Listener.Datagrams, 0);
}

TEST_F(PagePictures, TheRendererIsNeverOnScreen)
{
    // Every window of the process, looked at again and again while a tall
    // page is grabbed tile by tile.
    const QString Page = StripePage(Dir, QStringLiteral("tall.htm"), 60);
    QStringList Seen;
    int Looks = 0;
    QTimer Look;
    QObject::connect(&Look, &QTimer::timeout, [&] {
        ++Looks;
        for (QWindow *W : QGuiApplication::allWindows())
            if (W->isVisible() || W->isExposed())
                Seen << QStringLiteral("%1 %2 %3x%4").arg(QString::fromLatin1(W->metaObject()->className()), W->title())
                            .arg(W->width()).arg(W->height());
    });
    Look.start(5);
    Form->ScreenWidth = 500;
    Form->ScreenHeight = 300;
    ASSERT_TRUE(Form->HtmlToJpgPages(Url(Page), Dir.File(QStringLiteral("tall.jpg")), true, 0)) << Form->LastError().toStdString();
    Look.stop();
    EXPECT_GT(Looks, 3);
    Seen.removeDuplicates();
    EXPECT_EQ(Seen, QStringList());
}
