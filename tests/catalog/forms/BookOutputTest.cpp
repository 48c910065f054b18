// The book output of a three-page book: the frameset, the navigation page and
// the pages, then the ZIP, the help file, the MHT and the book package, each
// read by its peer (unzip, chmls, python3's email package).

#include "ModalAnswers.h"
#include "WindowFixture.h"
#include "catalog/document/CatalogBook.h"
#include "catalog/document/Package.h"
#include "catalog/forms/ProductGrid.h"
#include "catalog/forms/ProductPictures.h"
#include "catalog/output/BookOutput.h"
#include "catalog/output/OutputFolders.h"
#include "platform/core/Codec.h"
#include "platform/core/Types.h"
#include "platform/services/QtPrompts.h"

#include <QApplication>
#include <QGroupBox>
#include <QProgressBar>
#include <QRegularExpression>
#include <QToolButton>
#include <QUrl>

using namespace WindowFixture;

namespace {

const QString GuidPage = QStringLiteral("\\{[0-9A-F]{8}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{12}\\}\\.htm");

class BookOutput : public BookWindow {
protected:
    // The book of three pages; the second is its default page.
    QString ThreePageBook(const QStringList &Extra = {})
    {
        WritePage(QStringLiteral("a.qbt"), QStringLiteral("A1"), QStringLiteral("甲页"));
        WritePage(QStringLiteral("sub/b.qbt"), QStringLiteral("B2"), QStringLiteral("乙页"));
        WritePage(QStringLiteral("c.qbt"), QStringLiteral("C3"), QStringLiteral("丙页"));
        return WriteBook(QStringLiteral("book.qbs"),
                         QStringList{QStringLiteral("a.qbt"), QStringLiteral("sub\\b.qbt"), QStringLiteral("c.qbt")} + Extra,
                         {QStringLiteral("catalog_index_name=b.qbt")});
    }
    QString D() const { return Exe + QStringLiteral("输出/book/"); }
    // The links of left.htm: (href, text).
    QList<QPair<QString, QString>> Links() const
    {
        QList<QPair<QString, QString>> R;
        static const QRegularExpression Link(QStringLiteral("^<p><a href=\"([^\"]*)\" target=\"right\">(.*)</a></p>$"));
        for (const QString &L : Read(D() + QStringLiteral("images/left.htm"))) {
            const auto M = Link.match(L);
            if (M.hasMatch())
                R.append({M.captured(1), M.captured(2)});
        }
        return R;
    }
    QStringList FilesOfD() const
    {
        return QDir(D()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot);
    }
    QString Peer(const QString &Program, const QStringList &Args, int *Code = nullptr) const
    {
        QByteArray Out;
        const int C = TestSupport::RunProgram(Program, Args, &Out);
        if (Code)
            *Code = C;
        return QString::fromUtf8(Out);
    }
};

} // namespace

TEST_F(BookOutput, ThreePagesBecomeAFramedSite)
{
    const QString Book = ThreePageBook();
    TScriptedUi Ui;
    Start({Book});
    const QStringList Before = Form->Page().Lines();
    const QString PagePath = Form->FPagePath;
    ASSERT_EQ(Form->FOpenPageEntry, QStringLiteral("a.qbt"));
    QList<int> Progress;
    QObject::connect(Form->ProgressBar1, &QProgressBar::valueChanged, [&](int V) { Progress << V; });

    ASSERT_TRUE(Form->OutputCatalog(bfHtml, false));

    const auto L = Links();
    ASSERT_EQ(L.size(), 3);
    const QRegularExpression Guid(QStringLiteral("^") + GuidPage + QStringLiteral("$"));
    QStringList Titles;
    for (const auto &Link : L) {
        EXPECT_TRUE(Guid.match(Link.first).hasMatch()) << Link.first.toStdString();
        EXPECT_TRUE(QFileInfo::exists(D() + QStringLiteral("images/") + Link.first));
        Titles << Link.second;
    }
    EXPECT_EQ(Titles, (QStringList{QStringLiteral("甲页"), QStringLiteral("乙页"), QStringLiteral("丙页")}));
    EXPECT_TRUE(Read(D() + QStringLiteral("images/") + L.at(1).first).join(QString()).contains(QStringLiteral("乙页商品2")));
    const QStringList Left = Read(D() + QStringLiteral("images/left.htm"));
    EXPECT_EQ(Left.mid(0, 9),
              (QStringList{QStringLiteral("<!DOCTYPE HTML PUBLIC \"-//W3C//DTD HTML 4.01 Transitional//EN\">"),
                           QStringLiteral("<html>"), QStringLiteral("<head>"),
                           QStringLiteral("<META http-equiv=Content-Type content=\"text/html; charset=gb2312\">"),
                           QStringLiteral("<TITLE>三页目录册</TITLE>"),
                           QStringLiteral("<meta http-equiv=Content-Type content=\"text/html; charset=gb2312\">"),
                           QStringLiteral("</head>"), QStringLiteral("<body>"), QStringLiteral("<p>三页目录册</p>")}));
    EXPECT_EQ(Left.mid(12), (QStringList{QStringLiteral("</body>"), QStringLiteral("</html>")}));

    // The right frame starts with the default page (the second entry).
    EXPECT_EQ(Read(D() + QStringLiteral("index.htm")),
              (QStringList{QStringLiteral("<!DOCTYPE HTML PUBLIC \"-//W3C//DTD HTML 4.0 Frameset//EN\">"),
                           QStringLiteral("<HTML><HEAD><TITLE>三页目录册</TITLE>"),
                           QStringLiteral("<META http-equiv=Content-Type content=\"text/html; charset=gb2312\">"),
                           QStringLiteral("<META content=\"MSHTML 6.00.2900.3059\" name=GENERATOR></HEAD>"),
                           QStringLiteral("<FRAMESET id=bbsArea name=main frameSpacing=0 frameBorder=no cols=176,8,*>"),
                           QStringLiteral("<FRAME id=_leftup name=leftup src=\"images/left.htm\" scrolling=yes>"),
                           QStringLiteral("<FRAME name=control marginWidth=0 src=\"images/control_new.htm\" noResize scrolling=no>"),
                           QStringLiteral("<FRAME name=right src=\"images/") + L.at(1).first + QStringLiteral("\" scrolling=yes>"),
                           QStringLiteral("</FRAMESET>"), QStringLiteral("</HTML>")}));
    for (const char *F : {"control_new.htm", "middle_1.gif", "middle_bg.gif", "A1p1.jpg", "B2p2.jpg", "C3p1.jpg"})
        EXPECT_TRUE(QFileInfo::exists(D() + QStringLiteral("images/") + QString::fromUtf8(F))) << F;

    // The progress bar shows 16, 33 and 50 while the pages are produced.
    EXPECT_TRUE(Progress.contains(16) && Progress.contains(33) && Progress.contains(50));
    EXPECT_LT(Progress.indexOf(16), Progress.indexOf(33));
    EXPECT_LT(Progress.indexOf(33), Progress.indexOf(50));
    EXPECT_FALSE(Form->GroupBox3->isVisible());

    // The editor holds what it held before.
    EXPECT_EQ(Form->Page().Lines(), Before);
    EXPECT_EQ(Form->FPagePath, PagePath);
    EXPECT_EQ(Form->FOpenPageEntry, QStringLiteral("a.qbt"));
    EXPECT_FALSE(Form->SpeedButton9->isEnabled());
    EXPECT_TRUE(Ui.CaptionsAndTexts().isEmpty()) << Ui.CaptionsAndTexts().join(QLatin1Char('\n')).toStdString();

    // The preview opens the frameset; a second output replaces the first.
    EXPECT_TRUE(Form->OutputCatalog(bfPreview, false));
    EXPECT_EQ(Ui.ShellCalls().size(), 1);
    EXPECT_TRUE(Ui.ShellCalls().value(0).contains(D() + QStringLiteral("index.htm")));
    EXPECT_EQ(QDir(D() + QStringLiteral("images")).entryList(QStringList{QStringLiteral("*.htm")}).size(), 3 + 2)
        << "the pages of the first run are gone";
}

TEST_F(BookOutput, PagesOfManyProductsArePublishedWithoutDecodingTheirPictures)
{
    const int Products = 60;
    WritePage(QStringLiteral("a.qbt"), QStringLiteral("A1"), QStringLiteral("甲页"), Products);
    WritePage(QStringLiteral("b.qbt"), QStringLiteral("B2"), QStringLiteral("乙页"), Products);
    const QString Book = WriteBook(QStringLiteral("book.qbs"), {QStringLiteral("a.qbt"), QStringLiteral("b.qbt")});
    TScriptedUi Ui;
    Start({Book});
    const int Before = ProductPictures::TThumbnail::DecodeCount();

    ASSERT_TRUE(Form->OutputCatalog(bfHtml, false));

    // Each page was checked and published from the grid, and the open page is
    // back in it with its pictures; none was decoded, as none was painted.
    for (const char *F : {"A1p1.jpg", "A1p60.jpg", "B2p60.jpg"})
        EXPECT_TRUE(QFileInfo::exists(D() + QStringLiteral("images/") + QString::fromUtf8(F))) << F;
    EXPECT_EQ(Form->CellGrid1->RowCount(), 6 * Products + 1);
    EXPECT_TRUE(Form->CellGrid1->HasPicture(1, 6 * Products - 5));
    EXPECT_EQ(ProductPictures::TThumbnail::DecodeCount(), Before);
    EXPECT_TRUE(Ui.CaptionsAndTexts().isEmpty()) << Ui.CaptionsAndTexts().join(QLatin1Char('\n')).toStdString();
}

TEST_F(BookOutput, TheOpenPageStaysInTheGridWhenTheBookEndsWithIt)
{
    WritePage(QStringLiteral("a.qbt"), QStringLiteral("A1"), QStringLiteral("甲页"), 3);
    const QString Book = WriteBook(QStringLiteral("book.qbs"), {QStringLiteral("a.qbt")});
    TScriptedUi Ui;
    Start({Book});
    Form->resize(900, 700);
    Form->show();
    QApplication::processEvents();
    ASSERT_TRUE(Form->CellGrid1->PictureDecoded(1, 1));
    const int Before = ProductPictures::TThumbnail::DecodeCount();

    ASSERT_TRUE(Form->OutputCatalog(bfHtml, false));
    QApplication::processEvents();

    // The output's last page is the open page: the grid holds it already, so
    // it is not loaded again. While the output had it loaded afresh, its shown
    // pictures took the thumbnails they had: no picture was decoded again.
    EXPECT_EQ(ProductPictures::TThumbnail::DecodeCount(), Before);
    EXPECT_TRUE(QFileInfo::exists(D() + QStringLiteral("images/A1p3.jpg")));
    EXPECT_EQ(Form->CellGrid1->RowCount(), 6 * 3 + 1);
    EXPECT_TRUE(Form->CellGrid1->PictureDecoded(1, 1));
    EXPECT_TRUE(Form->CellGrid1->HasPicture(1, 13));
    EXPECT_EQ(Form->Page().Lines(), LoadLines(Docs + QStringLiteral("a.qbt")));
    EXPECT_TRUE(Ui.CaptionsAndTexts().isEmpty()) << Ui.CaptionsAndTexts().join(QLatin1Char('\n')).toStdString();
}

TEST_F(BookOutput, OtherFilesAreCopiedBesideThePages)
{
    QDir().mkpath(Docs + QStringLiteral("manual.files"));
    TestSupport::WriteAll(Docs + QStringLiteral("manual.doc"), "manual");
    TestSupport::WriteAll(Docs + QStringLiteral("manual.files/style.css"), "css");
    // Files of the user's that carry the names of the site's own files.
    TestSupport::WriteAll(Docs + QStringLiteral("left.htm"), "<p>mine</p>");
    TestSupport::WriteAll(Docs + QStringLiteral("control_new.htm"), "<p>my control</p>");
    const QString Book = ThreePageBook({QStringLiteral("manual.doc"), QStringLiteral("left.htm"),
                                        QStringLiteral("control_new.htm")});
    TScriptedUi Ui;
    Start({Book});
    ASSERT_TRUE(Form->OutputCatalog(bfHtml, true));
    const auto L = Links();
    ASSERT_EQ(L.size(), 6);
    EXPECT_EQ(L.at(3), qMakePair(QStringLiteral("manual.doc"), QStringLiteral("manual")));
    // They are copied under new names and linked by them; the navigation and
    // the control frame stay the site's.
    EXPECT_EQ(L.at(4), qMakePair(QStringLiteral("left(2).htm"), QStringLiteral("left(2)")));
    EXPECT_EQ(L.at(5), qMakePair(QStringLiteral("control_new(2).htm"), QStringLiteral("control_new(2)")));
    EXPECT_EQ(TestSupport::ReadAll(D() + QStringLiteral("images/left(2).htm")), QByteArray("<p>mine</p>"));
    EXPECT_EQ(TestSupport::ReadAll(D() + QStringLiteral("images/control_new(2).htm")), QByteArray("<p>my control</p>"));
    EXPECT_EQ(TestSupport::ReadAll(D() + QStringLiteral("images/control_new.htm")),
              TestSupport::ReadAll(Exe + QStringLiteral("control_new.htm")));
    EXPECT_EQ(TestSupport::ReadAll(D() + QStringLiteral("images/manual.doc")), QByteArray("manual"));
    EXPECT_EQ(TestSupport::ReadAll(D() + QStringLiteral("images/manual.files/style.css")), QByteArray("css"));
    // Open afterwards: the site folder.
    EXPECT_EQ(Ui.ShellCalls().size(), 1);
    EXPECT_TRUE(Ui.ShellCalls().value(0).contains(D()));
}

TEST_F(BookOutput, EntriesThatNameNoReadableFileAreNamedAndNeverLinked)
{
    if (!TestSupport::HaveProgram(QStringLiteral("/usr/bin/python3")))
        GTEST_SKIP() << "python3 missing";
    ThreePageBook();
    QDir().mkpath(Docs + QStringLiteral("folder"));
    // Missing pages first: the site must not open on one.
    const QStringList Gone{QStringLiteral("nope.qbt"), QStringLiteral("page2.qbt"), QStringLiteral("."),
                           QStringLiteral(".."), QStringLiteral("folder")};
    const QString Book = WriteBook(QStringLiteral("book.qbs"),
                                   {QStringLiteral("nope.qbt"), QStringLiteral("a.qbt"), QStringLiteral("page2.qbt"),
                                    QStringLiteral("."), QStringLiteral("   "), QStringLiteral(".."),
                                    QStringLiteral("folder"), QStringLiteral("c.qbt")});
    TScriptedUi Ui;
    Start({Book});

    // No: nothing is made.
    Ui.Answer({"No"});
    EXPECT_FALSE(Form->OutputCatalog(bfHtml, false));
    ASSERT_EQ(Ui.Asked().size(), 1);
    const TPromptRecord Box = Ui.Asked().at(0);
    EXPECT_EQ(Box.Caption, QStringLiteral("输出"));
    for (const QString &G : Gone)
        EXPECT_TRUE(Box.Text.contains(QStringLiteral("\r\n    ") + G + QStringLiteral("（"))) << G.toStdString() << Box.Text.toStdString();
    EXPECT_FALSE(Box.Text.contains(QStringLiteral("a.qbt"))) << Box.Text.toStdString();
    EXPECT_TRUE(Box.Text.contains(QStringLiteral("page2.qbt（文件不存在）"))) << Box.Text.toStdString();
    EXPECT_TRUE(Box.Text.contains(QStringLiteral("folder（是文件夹）"))) << Box.Text.toStdString();
    EXPECT_FALSE(QFileInfo::exists(D()));

    // Every address the frames and the navigation name, read by python's
    // HTML parser, resolved as a browser resolves it: each is a file of the
    // output. Prints "frame|" or "link|", then "ok" or the missing address.
    const QString Py = Data.File(QStringLiteral("links.py"));
    TestSupport::WriteAll(Py, R"PY(
import html.parser, os, sys, urllib.parse, urllib.request
class Refs(html.parser.HTMLParser):
    def __init__(self):
        super().__init__(); self.refs = []
    def handle_starttag(self, tag, attrs):
        for k, v in attrs:
            if (tag, k) in (('a', 'href'), ('frame', 'src')): self.refs.append((tag, v))
def check(path):
    p = Refs(); p.feed(open(path, 'rb').read().decode('gbk'))
    for tag, r in p.refs:
        u = urllib.parse.urljoin(urllib.parse.urlunsplit(('file', '', urllib.request.pathname2url(path), '', '')), r)
        f = urllib.request.url2pathname(urllib.parse.urlsplit(u).path)
        print(tag + '|' + ('ok' if os.path.isfile(f) else 'missing ' + r))
check(os.path.join(sys.argv[1], 'index.htm')); check(os.path.join(sys.argv[1], 'images', 'left.htm'))
)PY");
    auto CheckSite = [&](const QString &Site) {
        QByteArray Out;
        const int Code = TestSupport::RunProgram(QStringLiteral("/usr/bin/python3"), {Py, Site}, &Out);
        EXPECT_EQ(Code, 0) << Out.toStdString();
        const QStringList Lines = QString::fromUtf8(Out).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
        EXPECT_EQ(Lines, (QStringList{QStringLiteral("frame|ok"), QStringLiteral("frame|ok"), QStringLiteral("frame|ok"),
                                      QStringLiteral("a|ok"), QStringLiteral("a|ok")}))
            << Out.toStdString();
    };

    // Yes: the site holds the two pages, links them and opens on the first.
    Ui.Answer({"Yes"});
    ASSERT_TRUE(Form->OutputCatalog(bfHtml, false));
    CheckSite(D());
    const auto L = Links();
    ASSERT_EQ(L.size(), 2);
    EXPECT_EQ(L.at(0).second, QStringLiteral("甲页"));
    EXPECT_EQ(L.at(1).second, QStringLiteral("丙页"));
    EXPECT_TRUE(Read(D() + QStringLiteral("index.htm")).contains(QStringLiteral("<FRAME name=right src=\"images/") + L.at(0).first
                                                                 + QStringLiteral("\" scrolling=yes>")));

    // The ZIP, unpacked by unzip, is the same whole site.
    Ui.Answer({"Yes"});
    ASSERT_TRUE(Form->OutputCatalog(bfZip, false));
    const QString Unpacked = Data.File(QStringLiteral("unzipped"));
    int Code = -1;
    Peer(QStringLiteral("unzip"), {QStringLiteral("-q"), D() + QStringLiteral("book.zip"), QStringLiteral("-d"), Unpacked}, &Code);
    ASSERT_EQ(Code, 0);
    CheckSite(Unpacked);

    // The package's book lists only the pages it holds.
    Ui.Answer({"Yes"});
    ASSERT_TRUE(Form->OutputCatalog(bfPackage, false));
    QByteArray Qbs;
    TestSupport::RunProgram(QStringLiteral("unzip"), {QStringLiteral("-p"), D() + QStringLiteral("book.qba"), QStringLiteral("book.qbs")}, &Qbs);
    EXPECT_TRUE(Qbs.endsWith("{$Files}\r\na.qbt\r\nc.qbt\r\n")) << Qbs.toStdString();
    EXPECT_EQ(Ui.Asked().size(), 4);

    // A book of nothing but such entries is not output at all.
    const QString Empty = WriteBook(QStringLiteral("empty.qbs"), {QStringLiteral("nope.qbt"), QStringLiteral("folder")});
    Form->OpenCatalog(Empty, true);
    Ui.ClearAsked();
    Ui.Answer({"OK"});
    EXPECT_FALSE(Form->OutputCatalog(bfHtml, false));
    ASSERT_EQ(Ui.Asked().size(), 1);
    EXPECT_EQ(Ui.Asked().at(0).Caption, QStringLiteral("错误"));
    EXPECT_TRUE(Ui.Asked().at(0).Text.contains(QStringLiteral("nope.qbt"))) << Ui.Asked().at(0).Text.toStdString();
    EXPECT_FALSE(QFileInfo::exists(Exe + QStringLiteral("输出/empty")));
}

TEST_F(BookOutput, PicturesAreNamedAfterTheirPagesAndANameEndingInABlankIsAPage)
{
    WritePage(QStringLiteral("alpha.qbt"), QStringLiteral("A1"), QStringLiteral("甲页"));
    WritePage(QStringLiteral("beta.qbt"), QStringLiteral("B2"), QStringLiteral("乙页"));
    // A page whose file name ends in a blank; its pictures' names begin or end with one.
    const QString Trail = WritePage(QStringLiteral("trail.qbt "), QStringLiteral("T3"), QStringLiteral("尾页"));
    QStringList Lines = Read(Trail);
    Lines.replace(Lines.indexOf(QStringLiteral("{$IMG}=pics\\T3p1.jpg")), QStringLiteral("{$IMG}=pics\\trail.jpg "));
    Lines.replace(Lines.indexOf(QStringLiteral("{$IMG}=pics\\T3p2.jpg")), QStringLiteral("{$IMG}=pics\\ lead.jpg"));
    SaveLines(Trail, Lines);
    TestSupport::WriteAll(Docs + QStringLiteral("pics/trail.jpg "), "\xFF\xD8\xFF\xE0 trail");
    TestSupport::WriteAll(Docs + QStringLiteral("pics/ lead.jpg"), "\xFF\xD8\xFF\xE0 lead");
    QDir().mkpath(Docs + QStringLiteral("folder"));
    const QString Book = WriteBook(QStringLiteral("book.qbs"), {QStringLiteral("alpha.qbt"), QStringLiteral("gone.qbt"),
                                                               QStringLiteral("folder"), QStringLiteral("beta.qbt"),
                                                               QStringLiteral("trail.qbt ")});
    TScriptedUi Ui;
    Start({Book});
    const auto Pictures = [&] {
        QStringList L = QDir(D()).entryList({QStringLiteral("*.jpg")}, QDir::Files);
        L.sort();
        return L;
    };

    // Each picture is named after the page it shows; the two entries left
    // out name none.
    Ui.Answer({"Yes"});
    ASSERT_TRUE(Form->OutputCatalog(bfOneJpeg, false));
    EXPECT_EQ(Pictures(), (QStringList{QStringLiteral("alpha.jpg"), QStringLiteral("beta.jpg"), QStringLiteral("trail.jpg")}));
    Ui.Answer({"Yes"});
    ASSERT_TRUE(Form->OutputCatalog(bfJpegs, false));
    const QStringList Split = Pictures();
    const QRegularExpression Piece(QStringLiteral("^(alpha|beta|trail)(_\\d+)?\\.jpg$"));
    QSet<QString> Pages;
    for (const QString &P : Split) {
        EXPECT_TRUE(Piece.match(P).hasMatch()) << P.toStdString();
        Pages.insert(Piece.match(P).captured(1));
    }
    EXPECT_EQ(Pages.size(), 3) << Split.join(QLatin1Char(' ')).toStdString();
    Ui.Answer({"Yes"});
    ASSERT_TRUE(Form->OutputCatalog(bfPdf, false));
    const QStringList Pdfs = QDir(D()).entryList({QStringLiteral("*.pdf")});
    ASSERT_EQ(Pdfs.size(), 1);
    EXPECT_TRUE(Peer(QStringLiteral("pdfinfo"), {D() + Pdfs.first()}).contains(QRegularExpression(QStringLiteral("Pages:\\s+3\\n"))));

    // The site links the three pages, none of them a raw page file.
    Ui.Answer({"Yes"});
    ASSERT_TRUE(Form->OutputCatalog(bfHtml, false));
    const auto L = Links();
    ASSERT_EQ(L.size(), 3);
    EXPECT_EQ(L.at(2).second, QStringLiteral("尾页"));
    EXPECT_TRUE(QRegularExpression(QStringLiteral("^") + GuidPage + QStringLiteral("$")).match(L.at(2).first).hasMatch())
        << L.at(2).first.toStdString();
    EXPECT_TRUE(QDir(D() + QStringLiteral("images")).entryList({QStringLiteral("*.qbt*")}).isEmpty());

    // The package's book lists the page by a plain name, and holds it so.
    Ui.Answer({"Yes"});
    ASSERT_TRUE(Form->OutputCatalog(bfPackage, false));
    const QString Qba = D() + QStringLiteral("book.qba");
    EXPECT_EQ(Peer(QStringLiteral("/usr/bin/python3"),
                   {QStringLiteral("-c"),
                    QStringLiteral("import sys,zipfile\nz=zipfile.ZipFile(sys.argv[1])\n"
                                   "print(z.read('book.qbs').decode('gbk').split('{$Files}')[1].split())\n"
                                   "print(z.read('trail.qbt')[:17].decode())"),
                    Qba}),
              QStringLiteral("['alpha.qbt', 'beta.qbt', 'trail.qbt']\nQBT FILE TYPE 2.0\n"));

    // The help file holds the three pages and the pictures of blank-edged
    // names, under names its compiler takes.
    Ui.Answer({"Yes"});
    ASSERT_TRUE(Form->OutputCatalog(bfChm, false));
    const QString List = Peer(QStringLiteral("chmls"), {QStringLiteral("list"), D() + QStringLiteral("book.chm")});
    EXPECT_EQ(List.count(QRegularExpression(QStringLiteral(" /") + GuidPage + QStringLiteral("\\n"))), 3) << List.toStdString();
    for (const char *M : {" /trail.jpg\n", " /lead.jpg\n"})
        EXPECT_TRUE(List.contains(QString::fromUtf8(M))) << M << List.toStdString();
    // Nothing but the questions about the two entries left out.
    EXPECT_EQ(Ui.Asked().size(), 6);
    for (const TPromptRecord &Box : Ui.Asked())
        EXPECT_EQ(Box.Caption, QStringLiteral("输出")) << Box.Text.toStdString();
}

TEST_F(BookOutput, AFileOfASavedPagesFolderThatCannotBeCopiedIsReported)
{
    // The saved page's folder holds a file named in another code page (as an
    // archive from elsewhere unpacks it): it cannot be opened by any name.
    QDir().mkpath(Docs + QStringLiteral("manual.files"));
    TestSupport::WriteAll(Docs + QStringLiteral("manual.htm"), "<p>manual</p>");
    TestSupport::WriteAll(Docs + QStringLiteral("manual.files/style.css"), "css");
    const TestSupport::RawNamedFile Foreign(Docs + QStringLiteral("manual.files"), "\xb2\xe5\xcd\xbc.gif");
    const QString Book = ThreePageBook({QStringLiteral("manual.htm")});
    TScriptedUi Ui;
    Start({Book});
    Ui.Answer({"OK"});
    EXPECT_TRUE(Form->OutputCatalog(bfHtml, false));
    EXPECT_EQ(TestSupport::ReadAll(D() + QStringLiteral("images/manual.files/style.css")), QByteArray("css"));
    ASSERT_FALSE(Ui.CaptionsAndTexts().isEmpty());
    const QString Box = Ui.CaptionsAndTexts().last();
    EXPECT_TRUE(Box.startsWith(QStringLiteral("错误|")) && Box.contains(QStringLiteral("manual.files/"))
                && Box.contains(QStringLiteral(".gif")))
        << Box.toStdString();
    EXPECT_EQ(TestSupport::ReadAll(D() + QStringLiteral("images/manual.files/style.css")), QByteArray("css"));
}

TEST_F(BookOutput, SavedPagesOfOneNameEachShowTheirOwnPictures)
{
    // Two saved web pages named alike, each naming its picture by its own folder.
    for (const char *Folder : {"spring", "autumn"}) {
        const QString F = Docs + QString::fromLatin1(Folder) + QLatin1Char('/');
        QDir().mkpath(F + QStringLiteral("index.files"));
        TestSupport::WriteAll(F + QStringLiteral("index.htm"), "<img src=\"index.files/image001.jpg\">");
        TestSupport::WriteAll(F + QStringLiteral("index.files/image001.jpg"), QByteArray("picture of ") + Folder);
    }
    const QString Book = WriteBook(QStringLiteral("book.qbs"), {QStringLiteral("spring\\index.htm"), QStringLiteral("autumn\\index.htm"),
                                                                QStringLiteral("spring\\index.htm")});
    TScriptedUi Ui;
    Start({Book});
    ASSERT_TRUE(Form->OutputCatalog(bfHtml, false));
    const QUrl Left = QUrl::fromLocalFile(D() + QStringLiteral("images/left.htm"));
    const auto L = Links();
    ASSERT_EQ(L.size(), 3);
    const QStringList Shows{QStringLiteral("spring"), QStringLiteral("autumn"), QStringLiteral("spring")};
    for (int I = 0; I < L.size(); ++I) {
        const QUrl Page = Left.resolved(QUrl(L.at(I).first));
        ASSERT_TRUE(QFileInfo(Page.toLocalFile()).isFile()) << L.at(I).first.toStdString();
        const QString Picture = Page.resolved(QUrl(QStringLiteral("index.files/image001.jpg"))).toLocalFile();
        EXPECT_EQ(TestSupport::ReadAll(Picture), QByteArray("picture of ") + Shows.at(I).toLatin1()) << I;
    }
    EXPECT_EQ(L.at(0).first, L.at(2).first) << "a page listed twice is copied once";
    EXPECT_EQ(L.at(1), qMakePair(QStringLiteral("index(2)/index.htm"), QStringLiteral("index(2)")));

    // The book's package lists it where the package keeps it.
    ASSERT_TRUE(Form->OutputCatalog(bfPackage, false));
    QByteArray Qbs;
    TestSupport::RunProgram(QStringLiteral("unzip"), {QStringLiteral("-p"), D() + QStringLiteral("book.qba"), QStringLiteral("book.qbs")}, &Qbs);
    EXPECT_TRUE(Qbs.endsWith("{$Files}\r\nimages\\index.htm\r\nimages\\index(2)\\index.htm\r\nimages\\index.htm\r\n")) << Qbs.toStdString();
}

TEST_F(BookOutput, ListedFilesWithAddressCharactersAreLinkedByAddressesThatNameThem)
{
    const QStringList Names{QStringLiteral("价格#2.txt"), QStringLiteral("50%41.txt"), QStringLiteral("why?.txt")};
    for (const QString &N : Names)
        TestSupport::WriteAll(Docs + N, N.toUtf8());
    // The first entry is the page the frameset opens.
    const QString Book = WriteBook(QStringLiteral("book.qbs"), Names);
    TScriptedUi Ui;
    Start({Book});
    ASSERT_TRUE(Form->OutputCatalog(bfHtml, false));
    const QUrl Left = QUrl::fromLocalFile(D() + QStringLiteral("images/left.htm"));
    const auto L = Links();
    ASSERT_EQ(L.size(), Names.size());
    for (int I = 0; I < Names.size(); ++I) {
        const QString File = Left.resolved(QUrl(L.at(I).first)).toLocalFile();
        EXPECT_EQ(File, D() + QStringLiteral("images/") + Names.at(I)) << L.at(I).first.toStdString();
    }
    static const QRegularExpression Right(QStringLiteral("<FRAME name=right src=\"([^\"]*)\""));
    const auto M = Right.match(Read(D() + QStringLiteral("index.htm")).join(QLatin1Char('\n')));
    ASSERT_TRUE(M.hasMatch());
    EXPECT_EQ(QUrl::fromLocalFile(D() + QStringLiteral("index.htm")).resolved(QUrl(M.captured(1))).toLocalFile(),
              D() + QStringLiteral("images/") + Names.first());
}

TEST_F(BookOutput, ListedFilesNamedLikeTheHelpProjectKeepTheirContentInTheHelpFile)
{
    if (!TestSupport::HaveProgram(QStringLiteral("chmcmd")) || !TestSupport::HaveProgram(QStringLiteral("chmls")))
        GTEST_SKIP() << "help compiler tools missing";
    TestSupport::WriteAll(Docs + QStringLiteral("Contents.hhc"), "<p>my contents</p>");
    TestSupport::WriteAll(Docs + QStringLiteral("tmpchm.hhp"), "my project notes");
    const QString Book = ThreePageBook({QStringLiteral("Contents.hhc"), QStringLiteral("tmpchm.hhp")});
    TScriptedUi Ui;
    Start({Book});
    ASSERT_TRUE(Form->OutputCatalog(bfChm, false)) << Ui.CaptionsAndTexts().join(QLatin1Char('\n')).toStdString();
    const QString Chm = D() + QStringLiteral("book.chm");
    const QString Out = D() + QStringLiteral("x/");
    QDir().mkpath(Out);
    Peer(QStringLiteral("chmls"), {QStringLiteral("extractall"), Chm, Out});
    EXPECT_EQ(TestSupport::ReadAll(Out + QStringLiteral("Contents(2).hhc")), QByteArray("<p>my contents</p>"));
    EXPECT_EQ(TestSupport::ReadAll(Out + QStringLiteral("tmpchm(2).hhp")), QByteArray("my project notes"));
    // The help file's own contents still list the pages.
    const QString Toc = QString::fromLatin1(TestSupport::ReadAll(Out + QStringLiteral("Contents.hhc")));
    EXPECT_EQ(Toc.count(QRegularExpression(GuidPage)), 3) << Toc.toStdString();
}

TEST_F(BookOutput, ZipHelpFileAndMhtReadByTheirPeers)
{
    const QString Book = ThreePageBook();
    TScriptedUi Ui;
    Start({Book});

    ASSERT_TRUE(Form->OutputCatalog(bfZip, false));
    const QString Zip = D() + QStringLiteral("book.zip");
    int Code = -1;
    const QString Test = Peer(QStringLiteral("unzip"), {QStringLiteral("-t"), Zip}, &Code);
    EXPECT_EQ(Code, 0) << Test.toStdString();
    const QString List = Peer(QStringLiteral("unzip"), {QStringLiteral("-Z1"), Zip});
    for (const char *M : {"index.htm", "images/left.htm", "images/control_new.htm", "images/A1p1.jpg"})
        EXPECT_TRUE(List.split(QLatin1Char('\n')).contains(QString::fromLatin1(M))) << M << List.toStdString();
    EXPECT_EQ(List.count(QRegularExpression(QStringLiteral("images/") + GuidPage)), 3);
    EXPECT_FALSE(List.contains(TBookOutput::FolderMark));
    EXPECT_EQ(FilesOfD(), QStringList{QStringLiteral("book.zip")}) << "the site itself is gone again";

    if (TestSupport::HaveProgram(QStringLiteral("chmcmd")) && TestSupport::HaveProgram(QStringLiteral("chmls"))) {
        ASSERT_TRUE(Form->OutputCatalog(bfChm, false)) << Ui.CaptionsAndTexts().join(QLatin1Char('\n')).toStdString();
        const QString Chm = D() + QStringLiteral("book.chm");
        ASSERT_GT(QFileInfo(Chm).size(), 0);
        const QString Listed = Peer(QStringLiteral("chmls"), {QStringLiteral("list"), Chm});
        EXPECT_EQ(Listed.count(QRegularExpression(GuidPage)), 3) << Listed.toStdString();
        EXPECT_TRUE(Listed.contains(QStringLiteral("A1p1.jpg"))) << Listed.toStdString();
        EXPECT_FALSE(QFileInfo::exists(D() + QStringLiteral("images")));
    }

    ASSERT_TRUE(Form->OutputCatalog(bfMht, false));
    const QString Mht = D() + QStringLiteral("book.mht");
    const QString Script = QStringLiteral(
        "import email,sys\n"
        "m=email.message_from_binary_file(open(sys.argv[1],'rb'))\n"
        "print(m.get_content_type())\n"
        "parts=m.get_payload()\n"
        "print(len(parts))\n"
        "root=parts[0].get_payload(decode=True).decode('gb2312')\n"
        "print('frames' if 'src=\"left.htm\"' in root and 'images/' not in root else 'bad')\n"
        "for p in parts[1:]: print(p['Content-Location'].rsplit('/',1)[-1])\n");
    const QStringList Out = Peer(QStringLiteral("python3"), {QStringLiteral("-c"), Script, Mht}, &Code).split(QLatin1Char('\n'));
    ASSERT_EQ(Code, 0) << Out.join(QLatin1Char('\n')).toStdString();
    EXPECT_EQ(Out.value(0), QStringLiteral("multipart/related"));
    EXPECT_EQ(Out.value(2), QStringLiteral("frames"));
    // Every file of the site's images folder is a part: 3 pages, 6 pictures, the frames and their pictures.
    EXPECT_EQ(Out.value(1), QStringLiteral("14"));
    for (const char *F : {"left.htm", "control_new.htm", "middle_1.gif", "middle_bg.gif", "B2p1.jpg"})
        EXPECT_TRUE(Out.contains(QString::fromLatin1(F))) << F;
}

TEST_F(BookOutput, BookPackageWrittenAndReopened)
{
    const QString Book = ThreePageBook();
    // Two pages of one base name in different folders.
    WritePage(QStringLiteral("x/p.qbt"), QStringLiteral("X"), QStringLiteral("X页"));
    const QString Y = WritePage(QStringLiteral("y/p.qbt"), QStringLiteral("Y"), QStringLiteral("Y页"));
    // A picture whose name the package cannot carry as it is.
    ASSERT_TRUE(QFile::rename(Docs + QStringLiteral("y/pics/Yp1.jpg"), Docs + QStringLiteral("y/pics/Y<1>.jpg")));
    QStringList YLines = Read(Y);
    YLines.replaceInStrings(QStringLiteral("{$IMG}=pics\\Yp1.jpg"), QStringLiteral("{$IMG}=pics\\Y<1>.jpg"));
    SaveLines(Y, YLines);
    QStringList Lines = Read(Book);
    Lines << QStringLiteral("x\\p.qbt") << QStringLiteral("y\\p.qbt");
    SaveLines(Book, Lines);
    TScriptedUi Ui;
    Start({Book});

    ASSERT_TRUE(Form->OutputCatalog(bfPackage, false));
    const QString Qba = D() + QStringLiteral("book.qba");
    EXPECT_EQ(FilesOfD(), QStringList{QStringLiteral("book.qba")});
    int Code = -1;
    const QStringList List = Peer(QStringLiteral("unzip"), {QStringLiteral("-Z1"), Qba}, &Code).split(QLatin1Char('\n'));
    ASSERT_EQ(Code, 0);
    for (const char *M : {"book.qbs", "a.qbt", "b.qbt", "c.qbt", "p.qbt", "p(2).qbt", "index.dat", "images/A1p1.jpg", "images/Y_1_.jpg"})
        EXPECT_TRUE(List.contains(QString::fromLatin1(M))) << M;
    QByteArray Qbs;
    TestSupport::RunProgram(QStringLiteral("unzip"), {QStringLiteral("-p"), Qba, QStringLiteral("book.qbs")}, &Qbs);
    EXPECT_TRUE(Qbs.endsWith("{$Files}\r\na.qbt\r\nb.qbt\r\nc.qbt\r\np.qbt\r\np(2).qbt\r\n")) << Qbs.toStdString();

    // Opened again: the book with its page copies.
    ASSERT_TRUE(Form->CloseCatalog());
    Form->OpenQbaPackage(Qba);
    ASSERT_TRUE(Form->FOpenedFromPackage && Form->FPackageIsBook);
    EXPECT_EQ(Items(), (QStringList{QStringLiteral("a.qbt"), QStringLiteral("b.qbt"), QStringLiteral("c.qbt"),
                                    QStringLiteral("p.qbt"), QStringLiteral("p(2).qbt")}));
    QStringList Expected = BookPageLines(QStringLiteral("A1"), QStringLiteral("甲页"), 2);
    Expected.replaceInStrings(QStringLiteral("{$IMG}=pics\\"), QStringLiteral("{$IMG}=images\\"));
    EXPECT_EQ(Form->Page().Lines(), Expected);
    EXPECT_EQ(Read(ScratchFolder() + QStringLiteral("packages/book/p(2).qbt")).value(2), QStringLiteral("{Catalog名称}=Y页"));
    EXPECT_TRUE(Read(ScratchFolder() + QStringLiteral("packages/book/p(2).qbt")).contains(QStringLiteral("{$IMG}=images\\Y_1_.jpg")));
    EXPECT_TRUE(QFileInfo(ScratchFolder() + QStringLiteral("packages/book/images/Y_1_.jpg")).isFile());

    // Saving a page writes the package back through the book output.
    Form->Page().SetValues(QStringLiteral("{Catalog说明}"), QStringLiteral("新说明"));
    Form->SpeedButton9Click();
    EXPECT_FALSE(Form->SpeedButton9->isEnabled());
    const QbaPackage::TOpenResult R = QbaPackage::Unpack(Qba, Data.Path() + QStringLiteral("/check"));
    ASSERT_EQ(R.Status, QbaPackage::osOk);
    EXPECT_TRUE(Read(Data.Path() + QStringLiteral("/check/a.qbt")).contains(QStringLiteral("{Catalog说明}=新说明")));
    EXPECT_TRUE(Ui.CaptionsAndTexts().isEmpty()) << Ui.CaptionsAndTexts().join(QLatin1Char('\n')).toStdString();
}

// The zip library reads "<", ">", "|", "*" and "?" in a listed path as a
// pattern: pages and listed files of such names are carried under plain names
// the package's book lists, in a new package and in a received one saved back.
TEST_F(BookOutput, PagesAndFilesNamedWithPatternCharactersGoIntoTheBookPackage)
{
    if (!TestSupport::HaveProgram(QStringLiteral("/usr/bin/python3")))
        GTEST_SKIP() << "python3 missing";
    WritePage(QStringLiteral("杯<1>.qbt"), QStringLiteral("B1"), QStringLiteral("杯页"));
    // Its plain name is a page of its own already.
    WritePage(QStringLiteral("杯_1_.qbt"), QStringLiteral("B2"), QStringLiteral("另一页"));
    WritePage(QStringLiteral("c.qbt"), QStringLiteral("C3"), QStringLiteral("丙页"));
    TestSupport::WriteAll(Docs + QStringLiteral("价格<表>|*?.txt"), "price list");
    const QString Book = WriteBook(QStringLiteral("book.qbs"),
                                   {QStringLiteral("杯_1_.qbt"), QStringLiteral("杯<1>.qbt"), QStringLiteral("c.qbt"),
                                    QStringLiteral("价格<表>|*?.txt")});
    TScriptedUi Ui;
    Start({Book});

    // The site keeps the names, linked by addresses that name them.
    ASSERT_TRUE(Form->OutputCatalog(bfHtml, false)) << Ui.CaptionsAndTexts().join(QLatin1Char('\n')).toStdString();
    const QUrl Left = QUrl::fromLocalFile(D() + QStringLiteral("images/left.htm"));
    // The file a link opens: its attribute value as a browser reads it, resolved.
    auto Opens = [&Left](QString Href) {
        Href.replace(QStringLiteral("&lt;"), QStringLiteral("<")).replace(QStringLiteral("&gt;"), QStringLiteral(">"));
        Href.replace(QStringLiteral("&quot;"), QStringLiteral("\"")).replace(QStringLiteral("&amp;"), QStringLiteral("&"));
        return Left.resolved(QUrl(Href)).toLocalFile();
    };
    const auto L = Links();
    ASSERT_EQ(L.size(), 4);
    for (const auto &Link : L)
        EXPECT_TRUE(QFileInfo(Opens(Link.first)).isFile()) << Link.first.toStdString();
    EXPECT_EQ(Opens(L.at(3).first), D() + QStringLiteral("images/价格<表>|*?.txt"));
    // And so does its ZIP.
    ASSERT_TRUE(Form->OutputCatalog(bfZip, false)) << Ui.CaptionsAndTexts().join(QLatin1Char('\n')).toStdString();
    int Code = -1;
    const QString ZipList = Peer(QStringLiteral("unzip"), {QStringLiteral("-Z1"), D() + QStringLiteral("book.zip")}, &Code);
    ASSERT_EQ(Code, 0) << ZipList.toStdString();
    EXPECT_TRUE(ZipList.split(QLatin1Char('\n')).contains(QStringLiteral("images/价格<表>|*?.txt"))) << ZipList.toStdString();

    // python's zipfile reads the package whole: its members (named in the
    // program's code page) and its book.
    const QString Script = QStringLiteral(
        "import sys,zipfile\n"
        "z=zipfile.ZipFile(sys.argv[1])\n"
        "print('bad' if z.testzip() else 'whole')\n"
        "m={(i.filename if i.flag_bits&0x800 else i.filename.encode('cp437').decode('gbk')):i for i in z.infolist()}\n"
        "for n in sorted(m): print('member', n)\n"
        "for l in z.read(sys.argv[3]).decode('gbk').split('\\r\\n'): print('line', l)\n"
        "print('text', z.read(m[sys.argv[2]]).decode('gbk'))\n");
    auto ReadPackage = [&](const QString &Qba, const QString &Text, const QString &Book) {
        int C = -1;
        const QStringList Out = Peer(QStringLiteral("/usr/bin/python3"), {QStringLiteral("-c"), Script, Qba, Text, Book}, &C)
                                    .split(QLatin1Char('\n'));
        EXPECT_EQ(C, 0) << Out.join(QLatin1Char('\n')).toStdString();
        return Out;
    };
    ASSERT_TRUE(Form->OutputCatalog(bfPackage, false)) << Ui.CaptionsAndTexts().join(QLatin1Char('\n')).toStdString();
    const QString Qba = D() + QStringLiteral("book.qba");
    const QStringList Out = ReadPackage(Qba, QStringLiteral("images/价格_表____.txt"), QStringLiteral("book.qbs"));
    EXPECT_EQ(Out.value(0), QStringLiteral("whole"));
    for (const QString &M : {QStringLiteral("杯_1_.qbt"), QStringLiteral("杯_1_(2).qbt"), QStringLiteral("c.qbt"),
                             QStringLiteral("images/价格_表____.txt"), QStringLiteral("book.qbs")})
        EXPECT_TRUE(Out.contains(QStringLiteral("member ") + M)) << M.toStdString() << Out.join(QLatin1Char('\n')).toStdString();
    const qsizetype Files = Out.indexOf(QStringLiteral("line {$Files}"));
    ASSERT_GE(Files, 0) << Out.join(QLatin1Char('\n')).toStdString();
    EXPECT_EQ(Out.mid(Files + 1, 4), (QStringList{QStringLiteral("line 杯_1_.qbt"), QStringLiteral("line 杯_1_(2).qbt"),
                                                  QStringLiteral("line c.qbt"), QStringLiteral("line images\\价格_表____.txt")}));
    EXPECT_TRUE(Out.contains(QStringLiteral("text price list")));

    // Reopened by the program: every page and file of the book.
    ASSERT_TRUE(Form->CloseCatalog());
    Form->OpenQbaPackage(Qba);
    ASSERT_TRUE(Form->FOpenedFromPackage && Form->FPackageIsBook);
    EXPECT_EQ(Items(), (QStringList{QStringLiteral("杯_1_.qbt"), QStringLiteral("杯_1_(2).qbt"), QStringLiteral("c.qbt"),
                                    QStringLiteral("价格_表____.txt")}));
    const QString Unpacked = ScratchFolder() + QStringLiteral("packages/book/");
    EXPECT_EQ(Read(Unpacked + QStringLiteral("杯_1_(2).qbt")).value(2), QStringLiteral("{Catalog名称}=杯页"));
    EXPECT_EQ(TestSupport::ReadAll(Unpacked + QStringLiteral("images/价格_表____.txt")), QByteArray("price list"));
    ASSERT_TRUE(Form->CloseCatalog());

    // A package from elsewhere holds a page of such a name: saved back, it
    // carries the page under a plain name and reopens with it.
    const QString Far = Data.Path() + QStringLiteral("/far/");
    QDir().mkpath(Far);
    const QString Made = QStringLiteral(
        "import sys,zipfile\n"
        "d=sys.argv[1]\n"
        "with zipfile.ZipFile(d+'received.qba','w') as z:\n"
        "  z.writestr('index.dat','index=received.qbs\\r\\ntype=QBS\\r\\n')\n"
        "  z.writestr('received.qbs',open(d+'received.qbs','rb').read())\n"
        "  z.writestr('r<3>.qbt',open(d+'r.qbt','rb').read())\n"
        "  z.writestr('pics/R3p1.jpg',open(d+'pics/R3p1.jpg','rb').read())\n");
    SaveLines(Far + QStringLiteral("r.qbt"), BookPageLines(QStringLiteral("R3"), QStringLiteral("远页"), 1));
    TestSupport::WriteAll(Far + QStringLiteral("pics/R3p1.jpg"), "\xFF\xD8\xFF\xE0 picture R3");
    SaveLines(Far + QStringLiteral("received.qbs"),
              {QStringLiteral("Catalog_name=收到的目录册"), QStringLiteral("catalog_index_name="),
               QStringLiteral("Catalog_Lost_name="), QStringLiteral("Catalog_Output="), QStringLiteral("{$Files}"),
               QStringLiteral("r<3>.qbt")});
    ASSERT_EQ(Peer(QStringLiteral("/usr/bin/python3"), {QStringLiteral("-c"), Made, Far}, &Code), QString());
    ASSERT_EQ(Code, 0);
    const QString Received = Far + QStringLiteral("received.qba");
    Form->OpenQbaPackage(Received);
    ASSERT_TRUE(Form->FOpenedFromPackage && Form->FPackageIsBook);
    ASSERT_EQ(Items(), QStringList{QStringLiteral("r<3>.qbt")});
    Form->Page().SetValues(QStringLiteral("{Catalog说明}"), QStringLiteral("新说明"));
    Form->SpeedButton9Click();
    EXPECT_FALSE(Form->SpeedButton9->isEnabled()) << Ui.CaptionsAndTexts().join(QLatin1Char('\n')).toStdString();
    const QStringList Back = ReadPackage(Received, QStringLiteral("r_3_.qbt"), QStringLiteral("received.qbs"));
    EXPECT_EQ(Back.value(0), QStringLiteral("whole"));
    EXPECT_TRUE(Back.contains(QStringLiteral("line r_3_.qbt"))) << Back.join(QLatin1Char('\n')).toStdString();
    const QbaPackage::TOpenResult R = QbaPackage::Unpack(Received, Data.Path() + QStringLiteral("/check"));
    ASSERT_EQ(R.Status, QbaPackage::osOk);
    EXPECT_TRUE(Read(Data.Path() + QStringLiteral("/check/r_3_.qbt")).contains(QStringLiteral("{Catalog说明}=新说明")));
    EXPECT_TRUE(Ui.CaptionsAndTexts().isEmpty()) << Ui.CaptionsAndTexts().join(QLatin1Char('\n')).toStdString();
    ASSERT_TRUE(Form->CloseCatalog());

    // Pages and files whose names differ only in case: a computer that
    // ignores case would unpack one over the other. Each is carried under a
    // name of its own regardless of case, which the package's book lists.
    WritePage(QStringLiteral("a.qbt"), QStringLiteral("L1"), QStringLiteral("小写页"), 1);
    WritePage(QStringLiteral("sub/A.qbt"), QStringLiteral("U1"), QStringLiteral("大写页"), 1);
    TestSupport::WriteAll(Docs + QStringLiteral("x.txt"), "lower x");
    TestSupport::WriteAll(Docs + QStringLiteral("sub/X.txt"), "upper x");
    const QStringList Contents{QStringLiteral("{Catalog名称}=小写页"), QStringLiteral("{Catalog名称}=大写页"),
                               QStringLiteral("text lower x"), QStringLiteral("text upper x")};
    auto EachOfItsOwn = [&](const QString &Qba, const QString &BookName) {
        const QStringList Out = ReadPackage(Qba, BookName, BookName);
        QStringList Folded = Out.filter(QRegularExpression(QStringLiteral("^member ")));
        for (QString &M : Folded)
            M = M.toCaseFolded();
        EXPECT_EQ(Folded.removeDuplicates(), 0) << Out.join(QLatin1Char('\n')).toStdString();
        const qsizetype At = Out.indexOf(QStringLiteral("line {$Files}"));
        ASSERT_GE(At, 0) << Out.join(QLatin1Char('\n')).toStdString();
        for (int I = 0; I < 4; ++I) {
            const QString Entry = Out.value(At + 1 + I).mid(5).replace(QLatin1Char('\\'), QLatin1Char('/'));
            EXPECT_TRUE(ReadPackage(Qba, Entry, BookName).join(QLatin1Char('\n')).contains(Contents.at(I)))
                << Entry.toStdString() << Out.join(QLatin1Char('\n')).toStdString();
        }
    };
    const QString Cased = WriteBook(QStringLiteral("cased.qbs"), {QStringLiteral("a.qbt"), QStringLiteral("sub\\A.qbt"),
                                                                  QStringLiteral("x.txt"), QStringLiteral("sub\\X.txt")});
    Form->OpenCatalog(Cased, false);
    ASSERT_TRUE(Form->OutputCatalog(bfPackage, false)) << Ui.CaptionsAndTexts().join(QLatin1Char('\n')).toStdString();
    EachOfItsOwn(Exe + QStringLiteral("输出/cased/cased.qba"), QStringLiteral("cased.qbs"));
    ASSERT_TRUE(Form->CloseCatalog());
    // A received package holding both (as a zip can), saved back.
    WriteBook(QStringLiteral("both.qbs"), {QStringLiteral("a.qbt"), QStringLiteral("A.qbt"), QStringLiteral("images\\x.txt"),
                                           QStringLiteral("images\\X.txt")});
    const QString Both = QStringLiteral(
        "import sys,zipfile\n"
        "d=sys.argv[1]\n"
        "with zipfile.ZipFile(d+'both.qba','w') as z:\n"
        "  z.writestr('index.dat','index=both.qbs\\r\\ntype=QBS\\r\\n')\n"
        "  for m,f in (('both.qbs','both.qbs'),('a.qbt','a.qbt'),('A.qbt','sub/A.qbt'),('images/x.txt','x.txt'),('images/X.txt','sub/X.txt'),\n"
        "              ('pics/L1p1.jpg','pics/L1p1.jpg'),('pics/U1p1.jpg','sub/pics/U1p1.jpg')):\n"
        "    z.writestr(m,open(d+f,'rb').read())\n");
    ASSERT_EQ(Peer(QStringLiteral("/usr/bin/python3"), {QStringLiteral("-c"), Both, Docs}, &Code), QString());
    ASSERT_EQ(Code, 0);
    Form->OpenQbaPackage(Docs + QStringLiteral("both.qba"));
    ASSERT_TRUE(Form->FOpenedFromPackage && Form->FPackageIsBook);
    ASSERT_EQ(Items().size(), 4) << Items().join(QLatin1Char(' ')).toStdString();
    Form->Page().SetValues(QStringLiteral("{Catalog说明}"), QStringLiteral("新说明"));
    Form->SpeedButton9Click();
    EXPECT_FALSE(Form->SpeedButton9->isEnabled()) << Ui.CaptionsAndTexts().join(QLatin1Char('\n')).toStdString();
    EachOfItsOwn(Docs + QStringLiteral("both.qba"), QStringLiteral("both.qbs"));
    EXPECT_TRUE(Ui.CaptionsAndTexts().isEmpty()) << Ui.CaptionsAndTexts().join(QLatin1Char('\n')).toStdString();
}

TEST_F(BookOutput, QuestionsRefusalsAndFoldersNotOurs)
{
    TScriptedUi Ui;
    Start();
    Ui.Answer({"OK"});
    EXPECT_FALSE(Form->OutputCatalog(bfHtml, false));
    EXPECT_EQ(Ui.CaptionsAndTexts().last(), QStringLiteral("错误|当前目录册路径为空，输出不能完成。"));

    const QString Book = ThreePageBook();
    Form->OpenCatalog(Book, false);
    Form->Page().SetValues(QStringLiteral("{Catalog说明}"), QStringLiteral("未保存"));
    Ui.Answer({"No"});
    EXPECT_FALSE(Form->OutputCatalog(bfHtml, false));
    EXPECT_EQ(Ui.CaptionsAndTexts().last(), QStringLiteral("注意|注意：在输出目录册时，没有保存的内容不会被输出，是否继续？"));
    EXPECT_FALSE(QFileInfo::exists(D()));
    Ui.Answer({"Yes"});
    Form->Button5Click();

    // A page whose validation is cancelled ends the run: no site, and "not done".
    QStringList Bad = Read(Docs + QStringLiteral("c.qbt"));
    Bad.replaceInStrings(QStringLiteral("{输出风格}=春天系列"), QStringLiteral("{输出风格}=没有这个风格"));
    SaveLines(Docs + QStringLiteral("c.qbt"), Bad);
    Ui.Answer({"Cancel"});
    EXPECT_FALSE(Form->OutputCatalog(bfZip, false));
    EXPECT_FALSE(QFileInfo::exists(D() + QStringLiteral("index.htm")));
    EXPECT_FALSE(QFileInfo::exists(D() + QStringLiteral("book.zip")));
    EXPECT_TRUE(Form->Page().Lines().isEmpty()) << "the editor is as it was";

    // A folder of the same name that no book output made is never emptied.
    QDir().mkpath(Exe + QStringLiteral("输出/mine"));
    TestSupport::WriteAll(Exe + QStringLiteral("输出/mine/keep.txt"), "keep");
    const QString Mine = WriteBook(QStringLiteral("mine.qbs"), {QStringLiteral("a.qbt")});
    Form->OpenCatalog(Mine, true);
    EXPECT_THROW(Form->OutputCatalog(bfHtml, false), EInOutError);
    EXPECT_EQ(TestSupport::ReadAll(Exe + QStringLiteral("输出/mine/keep.txt")), QByteArray("keep"));
    EXPECT_FALSE(Form->GroupBox3->isVisible());

    // A book whose output folder names a folder elsewhere: the site goes there.
    const QString Elsewhere = Data.Path() + QStringLiteral("/site");
    QDir().mkpath(Elsewhere);
    const QString There = WriteBook(QStringLiteral("there.qbs"), {QStringLiteral("a.qbt")},
                                    {QStringLiteral("Catalog_Output=") + Elsewhere});
    Form->OpenCatalog(There, true);
    EXPECT_TRUE(Form->OutputCatalog(bfHtml, false));
    EXPECT_TRUE(QFileInfo::exists(Elsewhere + QStringLiteral("/there/index.htm")));
}

TEST_F(BookOutput, BoxesShownWhileOutputsRunTakeKeysAndClicksAndTheOutputsEnd)
{
    // A desktop that opens no folder; the book's last page names a style
    // that is not there, so its output asks about it.
    const QString Book = WriteBook(QStringLiteral("book.qbs"), {QStringLiteral("a.qbt"), QStringLiteral("c.qbt")},
                                   {QStringLiteral("Catalog_always_open=true")});
    WritePage(QStringLiteral("a.qbt"), QStringLiteral("A1"), QStringLiteral("甲页"));
    WritePage(QStringLiteral("c.qbt"), QStringLiteral("C3"), QStringLiteral("丙页"));
    QStringList Odd = Read(Docs + QStringLiteral("c.qbt"));
    Odd.replaceInStrings(QStringLiteral("{输出风格}=春天系列"), QStringLiteral("{输出风格}=没有这个风格"));
    SaveLines(Docs + QStringLiteral("c.qbt"), Odd);
    TScriptedUi Ui;
    Ui.Shell->RefuseHandOffs = true;
    Start({Book});
    Form->resize(900, 700);
    Form->show();
    QApplication::processEvents();
    // The boxes are the program's own, on screen, answered by a person.
    struct TOnScreen {
        std::unique_ptr<TPrompts> Scripted = SetPrompts(std::make_unique<TQtPrompts>());
        ~TOnScreen() { SetPrompts(std::move(Scripted)); }
    } OnScreen;
    using TestSupport::TModalAnswers;
    TModalAnswers Person;
    bool WindowLocked = true;
    const auto WhileBusy = [&](TModalAnswers::TAnswer Answer) {
        return [&, Answer](QWidget *Box) {
            WindowLocked = WindowLocked && IsBusy(Form->SpeedButton5) && IsBusy(Form->CellGrid1);
            Answer(Box);
        };
    };

    // The page's HTML output cannot open its folder: Return closes the box
    // and the output ends.
    Person.Then(WhileBusy(TModalAnswers::Key(Qt::Key_Return)));
    Form->findChild<QAction *>(QStringLiteral("HTML3"))->trigger();
    ASSERT_EQ(Person.Texts.size(), 1);
    EXPECT_TRUE(Person.Texts[0].startsWith(QStringLiteral("无法打开“") + Exe + QStringLiteral("输出/A1/”。")))
        << Person.Texts[0].toStdString();
    EXPECT_TRUE(QFileInfo(Exe + QStringLiteral("输出/A1/A1.htm")).isFile());
    EXPECT_TRUE(Person.Stuck.isEmpty()) << Person.Stuck.join(QLatin1Char('|')).toStdString();

    // The book output: a click answers the question about the style, Escape
    // the box about its folder, and the site is whole.
    Person.Then(WhileBusy(TModalAnswers::Click(QStringLiteral("确定"))))
        .Then(WhileBusy(TModalAnswers::Key(Qt::Key_Escape)));
    Form->findChild<QAction *>(QStringLiteral("HTML4"))->trigger();
    ASSERT_EQ(Person.Texts.size(), 3);
    EXPECT_EQ(Person.Texts[1], QStringLiteral("无效输出风格，选择ok使用标准模式，或选择cancel进行修改。"));
    EXPECT_TRUE(Person.Texts[2].startsWith(QStringLiteral("无法打开“") + D())) << Person.Texts[2].toStdString();
    EXPECT_TRUE(QFileInfo(D() + QStringLiteral("index.htm")).isFile());
    EXPECT_EQ(Links().size(), 2);

    EXPECT_TRUE(Person.Stuck.isEmpty()) << Person.Stuck.join(QLatin1Char('|')).toStdString();
    EXPECT_TRUE(Person.Unexpected.isEmpty()) << Person.Unexpected.join(QLatin1Char('|')).toStdString();
    EXPECT_EQ(Person.Pending(), 0);
    EXPECT_TRUE(WindowLocked) << "the window took input while its output ran";
    EXPECT_FALSE(IsBusy(Form->SpeedButton5));
    EXPECT_TRUE(Form->GroupBox3->isHidden());
}

TEST_F(BookOutput, PagesKeepTheirOwnPicturesOfOneName)
{
    for (const char *Folder : {"x", "y"}) {
        const QString F = QString::fromLatin1(Folder);
        QStringList L = BookPageLines(F.toUpper(), F + QStringLiteral("页"), 1);
        L.replaceInStrings(QRegularExpression(QStringLiteral("^\\{\\$IMG\\}=.*$")), QStringLiteral("{$IMG}=pics\\same.jpg"));
        QDir().mkpath(Docs + F + QStringLiteral("/pics"));
        SaveLines(Docs + F + QStringLiteral("/q.qbt"), L);
        TestSupport::WriteAll(Docs + F + QStringLiteral("/pics/same.jpg"), "picture of " + F.toLatin1());
    }
    const QString Book = WriteBook(QStringLiteral("book.qbs"), {QStringLiteral("x/q.qbt"), QStringLiteral("y/q.qbt")});
    TScriptedUi Ui;
    Start({Book});
    ASSERT_TRUE(Form->OutputCatalog(bfHtml, false));
    const auto L = Links();
    ASSERT_EQ(L.size(), 2);
    EXPECT_EQ(TestSupport::ReadAll(D() + QStringLiteral("images/same.jpg")), QByteArray("picture of x"));
    EXPECT_EQ(TestSupport::ReadAll(D() + QStringLiteral("images/same(2).jpg")), QByteArray("picture of y"));
    EXPECT_TRUE(TestSupport::ReadAll(D() + QStringLiteral("images/") + L.at(1).first).contains("same(2).jpg"));
    EXPECT_FALSE(TestSupport::ReadAll(D() + QStringLiteral("images/") + L.at(0).first).contains("same(2).jpg"));
}

TEST_F(BookOutput, SiteFolderIsRecordedOutsideTheSite)
{
    const QString Book = ThreePageBook();
    TScriptedUi Ui;
    Start({Book});
    ASSERT_TRUE(Form->OutputCatalog(bfHtml, false));
    // Nothing of ours goes into the site that is uploaded.
    EXPECT_TRUE(QDir(D()).entryList(QDir::Hidden | QDir::Files).filter(QRegularExpression(QStringLiteral("^\\."))).isEmpty())
        << QDir(D()).entryList(QDir::Hidden | QDir::Files).join(QLatin1Char(' ')).toStdString();
    EXPECT_TRUE(QFileInfo(TBookOutput::RecordFile(Exe)).isFile());
    EXPECT_TRUE(OutputFolders::IsSiteFolder(Exe, D()));

    // The record lets the next output empty the folder it made ...
    TestSupport::WriteAll(D() + QStringLiteral("stale.htm"), "old");
    ASSERT_TRUE(Form->OutputCatalog(bfHtml, false));
    EXPECT_FALSE(QFileInfo::exists(D() + QStringLiteral("stale.htm")));

    // ... but a folder made again under that name is the user's.
    QDir(D()).removeRecursively();
    QDir().mkpath(D());
    TestSupport::WriteAll(D() + QStringLiteral("mine.txt"), "keep");
    EXPECT_THROW(Form->OutputCatalog(bfHtml, false), EInOutError);
    EXPECT_EQ(TestSupport::ReadAll(D() + QStringLiteral("mine.txt")), QByteArray("keep"));

    // A site an earlier version marked inside itself is still a book's site;
    // which book made it nobody knows, so it is emptied once the user agrees.
    // The mark goes.
    TestSupport::WriteAll(D() + TBookOutput::FolderMark, "Quillbook");
    Ui.ClearAsked();
    Ui.Answer({IDYES});
    ASSERT_TRUE(Form->OutputCatalog(bfHtml, false));
    ASSERT_EQ(Ui.Asked().size(), 1);
    EXPECT_TRUE(Ui.Asked().at(0).Text.contains(QStringLiteral("无法确定它们是当前目录册输出的"))) << Ui.Asked().at(0).Text.toStdString();
    EXPECT_FALSE(QFileInfo::exists(D() + QStringLiteral("mine.txt")));
    EXPECT_FALSE(QFileInfo::exists(D() + TBookOutput::FolderMark));
    EXPECT_TRUE(QFileInfo::exists(D() + QStringLiteral("index.htm")));
}

TEST_F(BookOutput, ADamagedSiteRecordNeverStopsTheOutput)
{
    const QString Book = ThreePageBook();
    TScriptedUi Ui;
    Start({Book});
    // The record of the sites is a folder now: every output is made all the
    // same, and the book's next output still takes its own site as its own.
    ASSERT_TRUE(QDir().mkpath(TBookOutput::RecordFile(Exe) + QStringLiteral("/x")));
    ASSERT_NO_THROW(EXPECT_TRUE(Form->OutputCatalog(bfZip, false)));
    EXPECT_EQ(FilesOfD(), QStringList{QStringLiteral("book.zip")});
    EXPECT_EQ(Peer(QStringLiteral("unzip"), {QStringLiteral("-Z1"), D() + QStringLiteral("book.zip")})
                  .split(QLatin1Char('\n'), Qt::SkipEmptyParts)
                  .filter(QStringLiteral("index.htm")),
              QStringList{QStringLiteral("index.htm")});
    ASSERT_NO_THROW(EXPECT_TRUE(Form->OutputCatalog(bfHtml, false)));
    EXPECT_TRUE(QFileInfo(D() + QStringLiteral("index.htm")).isFile());
    EXPECT_FALSE(QFileInfo::exists(D() + QStringLiteral("book.zip")));
    // Unreadable, it is passed over and written again.
    ASSERT_TRUE(QDir(TBookOutput::RecordFile(Exe)).removeRecursively());
    TestSupport::WriteAll(TBookOutput::RecordFile(Exe), QByteArray("\xFF\xFE\0\0damaged\r\n", 13));
    ASSERT_NO_THROW(EXPECT_TRUE(Form->OutputCatalog(bfHtml, false)));
    EXPECT_TRUE(OutputFolders::IsSiteFolder(Exe, D()));
    EXPECT_TRUE(Ui.Asked().isEmpty());
}

TEST_F(BookOutput, TypedNamesAndTitlesReachTheFramesAndTheMhtWhole)
{
    // Markup, quotes, markers and characters code page 936 lacks, as a user types them.
    const QString Typed = QStringLiteral("<font color=\"red\">特价</font> \"引号\" {$3} 😀𠀀");
    const QString Long = Typed + QString(10000 - Typed.size(), QChar(0x957F));   // 长
    // In the pages they stand as typed, the characters the page's code page lacks as references.
    auto Written = [](QString S) { return S.replace(QStringLiteral("😀𠀀"), QStringLiteral("&#128512;&#131072;")); };
    WritePage(QStringLiteral("a.qbt"), QStringLiteral("A1"), Typed);
    WritePage(QStringLiteral("b.qbt"), QStringLiteral("B2"), Long);
    // A name cleared to a blank.
    WritePage(QStringLiteral("c&d.qbt"), QStringLiteral("C3"), QStringLiteral(" "));
    // A name of nothing but tags.
    WritePage(QStringLiteral("e.qbt"), QStringLiteral("E4"), QStringLiteral("<b> </b><!-- x -->"));
    // Spaces written as references, and a name that only starts with one.
    WritePage(QStringLiteral("g.qbt"), QStringLiteral("G6"), QStringLiteral("&nbsp;<i>&#160;&#x20;</i>&emsp;"));
    WritePage(QStringLiteral("h.qbt"), QStringLiteral("H7"), QStringLiteral("&nbsp;茶&amp;"));
    // A page kept as UTF-8 with its mark (as it opens in the window).
    const QString Utf8 = WritePage(QStringLiteral("f.qbt"), QStringLiteral("F5"), QStringLiteral("茶具"));
    TestSupport::WriteAll(Utf8, "\xEF\xBB\xBF" + LoadLines(Utf8).join(QStringLiteral("\r\n")).toUtf8() + "\r\n");
    const QString Book = WriteBook(QStringLiteral("book.qbs"),
                                   {QStringLiteral("a.qbt"), QStringLiteral("b.qbt"), QStringLiteral("c&d.qbt"),
                                    QStringLiteral("e.qbt"), QStringLiteral("f.qbt"), QStringLiteral("g.qbt"),
                                    QStringLiteral("h.qbt")},
                                   {QStringLiteral("Catalog_name=") + Long});
    TScriptedUi Ui;
    Start({Book});

    ASSERT_TRUE(Form->OutputCatalog(bfHtml, false));
    const QByteArray LeftBytes = TestSupport::ReadAll(D() + QStringLiteral("images/left.htm"));
    EXPECT_FALSE(LeftBytes.contains(Cp936::Encode(QStringLiteral("😀")))) << "no GB18030-only bytes in a gb2312 page";
    const auto L = Links();
    ASSERT_EQ(L.size(), 7);
    EXPECT_EQ(L.at(0).second, Written(Typed));
    EXPECT_EQ(L.at(1).second, Written(Long));
    // The pages without a name are listed by their file's name, as text.
    EXPECT_EQ(L.at(2).second, QStringLiteral("c&amp;d"));
    EXPECT_EQ(L.at(3).second, QStringLiteral("e"));
    EXPECT_EQ(L.at(4).second, QStringLiteral("茶具"));
    EXPECT_EQ(L.at(5).second, QStringLiteral("g"));
    EXPECT_EQ(L.at(6).second, QStringLiteral("&nbsp;茶&amp;"));
    // A title is text up to its end tag: the name's text stands there, its tags do not.
    const QString Text = QStringLiteral("特价 \"引号\" {$3} 😀𠀀") + Long.mid(Typed.size());
    EXPECT_EQ(Read(D() + QStringLiteral("index.htm")).value(1),
              QStringLiteral("<HTML><HEAD><TITLE>") + Written(Text) + QStringLiteral("</TITLE>"));
    EXPECT_EQ(Read(D() + QStringLiteral("images/left.htm")).value(4), QStringLiteral("<TITLE>") + Written(Text) + QStringLiteral("</TITLE>"));

    // The MHT's subject is the text of the book's name, read back whole by a
    // mail reader, in header lines a mail reader accepts.
    ASSERT_TRUE(Form->OutputCatalog(bfMht, false));
    const QString Mht = D() + QStringLiteral("book.mht");
    const QByteArray Raw = TestSupport::ReadAll(Mht);
    const QList<QByteArray> Header = Raw.left(Raw.indexOf("\r\n\r\n")).split('\n');
    for (const QByteArray &Line : Header)
        ASSERT_LE(Line.size(), 76 + 1) /* and its CR */ << Line.left(120).toStdString();
    const QString Script = QStringLiteral(
        "import email,email.header,sys\n"
        "m=email.message_from_binary_file(open(sys.argv[1],'rb'))\n"
        "s=str(email.header.make_header(email.header.decode_header(m['Subject'])))\n"
        "open(sys.argv[2],'wb').write(s.encode('utf-8'))\n");
    const QString Subject = Data.Path() + QStringLiteral("/subject.txt");
    int Code = -1;
    const QString Out = Peer(QStringLiteral("/usr/bin/python3"), {QStringLiteral("-c"), Script, Mht, Subject}, &Code);
    ASSERT_EQ(Code, 0) << Out.toStdString();
    EXPECT_EQ(QString::fromUtf8(TestSupport::ReadAll(Subject)), Text);
    EXPECT_TRUE(Ui.CaptionsAndTexts().isEmpty()) << Ui.CaptionsAndTexts().join(QLatin1Char('\n')).toStdString();
}

TEST_F(BookOutput, AZipWhoseFilesVanishSaysSoAndLeavesNoArchive)
{
    const QString Book = ThreePageBook();
    TScriptedUi Ui;
    Start({Book});
    Form->show();   // the bar shows the packing only in a window on screen
    // The site's folder (or its pages' folder) is removed by someone else
    // while the pages are produced (the bar at 33: the first page is done),
    // or once the archive has read every file (the bar at 100), before it is
    // put in place. Nothing of the output is left, nor the folder it made.
    for (const std::pair<QString, int> &Case : {std::pair{QString(), 33}, std::pair{QStringLiteral("images"), 33}, std::pair{QString(), 100}}) {
        const QString Folder = Case.first;
        const int At = Case.second;
        SCOPED_TRACE(Folder.toStdString() + " " + std::to_string(At));
        bool Removed = false;
        const QMetaObject::Connection C = QObject::connect(Form->ProgressBar1, &QProgressBar::valueChanged, [&](int Value) {
            if (!Removed && Value >= At) {
                Removed = true;
                QDir(D() + Folder).removeRecursively();
            }
        });
        QString Message;
        bool Done = true;
        try {
            Done = Form->OutputCatalog(bfZip, false);
        } catch (const Exception &E) {
            Message = E.Message();
            Done = false;
        }
        QObject::disconnect(C);
        EXPECT_TRUE(Removed);
        EXPECT_FALSE(Done);
        const QStringList Told = Ui.CaptionsAndTexts();
        if (Message.isEmpty())
            Message = Told.join(QLatin1Char('\n'));
        EXPECT_FALSE(Message.isEmpty()) << "nothing said";
        EXPECT_FALSE(Message.contains(QRegularExpression(QStringLiteral("^[ -~]+$")))) << Message.toStdString();
        // Not a word of the zip library's own English.
        EXPECT_FALSE(Message.contains(QRegularExpression(QStringLiteral("[A-Za-z]{3,} [A-Za-z]{3,}")))) << Message.toStdString();
        EXPECT_FALSE(QFileInfo::exists(D() + QStringLiteral("book.zip"))) << Message.toStdString();
        // Nor the folder it made for the site, left empty.
        EXPECT_FALSE(QFileInfo::exists(D())) << QDir(D()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden).join(QLatin1Char(' ')).toStdString();
        QDir(D()).removeRecursively();
        Ui.ClearAsked();
    }
}
