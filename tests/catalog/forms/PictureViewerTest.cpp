// The picture viewer on a page's product pictures: where written texts are
// stored, the names of copies, saving a GIF, the zoom's limits, closing with
// changes, and the batch with its placeholders, placement, range and notices.
// Pixels of the saved pictures are compared by Pillow, not by our decoder.

#include "QStringPrint.h"
#include "SamplePages.h"
#include "WindowFixture.h"
#include "TestSupport.h"
#include "catalog/forms/BatchTextDialog.h"
#include "catalog/forms/MainWindow.h"
#include "catalog/forms/PictureText.h"
#include "catalog/forms/PictureViewer.h"
#include "platform/services/Application.h"

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QToolButton>
#include <QWheelEvent>
#include <QScrollArea>
#include <QScreen>
#include <QTest>
#include <gtest/gtest.h>
#include <sys/fsuid.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace SamplePages;

namespace {

class PictureViewer : public ::testing::Test {
protected:
    PictureViewer() { TestSupport::CopyDataTo(Home.Path()); }
    ~PictureViewer() override
    {
        if (Form)
            Form->PictureView->hide();
    }
    QString Jpeg(const QString &Name, int W, int H, QRgb Colour = qRgb(200, 200, 200))
    {
        QImage Image(W, H, QImage::Format_RGB32);
        Image.fill(Colour);
        const QString Path = Docs.File(Name);
        EXPECT_TRUE(Image.save(Path, "JPEG", 95));
        return Path;
    }
    // A page of products with these pictures, opened in a main window.
    void Open(const QStringList &Pictures)
    {
        QList<TProduct> Products;
        int N = 0;
        for (const QString &P : Pictures) {
            TProduct Item = Simple(QStringLiteral("ID%1").arg(++N));
            Item.Picture = P;
            Item.Price = QStringLiteral("%1.50").arg(N);
            Products << Item;
        }
        Save(Docs.File(QStringLiteral("p.qbt")), Header() + Blocks(Products));
        Form = WindowFixture::NewWindow({Docs.File(QStringLiteral("p.qbt"))});
    }
    TPictureView *View(int Product)
    {
        TPictureView *V = Form->PictureView;
        V->PictureFile = Form->GridAccess().Cells(1, 6 * Product);
        V->ProductIndex = Product;
        V->show();
        return V;
    }
    // Writes Text at the shown point At through the editor.
    static void Write(TPictureView *V, const QPoint &At, const QString &Text)
    {
        V->Image1MouseDown(Qt::RightButton, At);
        V->N1Click();
        V->Edit1->setText(Text);
        V->Edit1Exit();
    }
    // Pillow's bounding box "x0 y0 x1 y1" of the pixels that differ by more than 40, or "none".
    static QString ChangedBox(const QString &A, const QString &B)
    {
        QByteArray Out;
        const int Rc = TestSupport::RunProgram(
            QStringLiteral("/usr/bin/python3"),
            {QStringLiteral("-c"),
             QStringLiteral("import sys\nfrom PIL import Image, ImageChops\n"
                            "a=Image.open(sys.argv[1]).convert('L'); b=Image.open(sys.argv[2]).convert('L')\n"
                            "assert a.size==b.size, (a.size,b.size)\n"
                            "d=ImageChops.difference(a,b).point(lambda v: 255 if v>40 else 0)\n"
                            "box=d.getbbox(); print('none' if box is None else '%d %d %d %d'%box)"),
             A, B},
            &Out);
        EXPECT_EQ(Rc, 0) << Out.toStdString();
        return QString::fromUtf8(Out).trimmed();
    }
    CatalogFixture::TProgramFolder Home;
    TestSupport::TempDir Docs;
    WindowFixture::TScriptedUi Ui;
    std::unique_ptr<TForm1> Form;
};

} // namespace

TEST_F(PictureViewer, TextStoredInPicturePixelsAndOnlyThereOnTheCopy)
{
    if (!TestSupport::HaveProgram(QStringLiteral("/usr/bin/python3")))
        GTEST_SKIP() << "python3 with Pillow is needed";
    const QString A = Jpeg(QStringLiteral("a.jpg"), 400, 300);
    Jpeg(QStringLiteral("a(2).jpg"), 10, 10);
    Open({A});
    TPictureView *V = View(1);
    EXPECT_EQ(V->windowTitle(), QStringLiteral("图片浏览，点击鼠标右键可在图片上添加文字。"));
    EXPECT_EQ(V->ShownRect().size(), QSize(400, 300));
    EXPECT_FALSE(V->SpeedButton4->isEnabled());
    // Shown at half size: the shown point (100, 50) is the picture's (200, 100).
    V->SetShownRect(QRect(0, 0, 200, 150));
    EXPECT_EQ(V->windowTitle(), QStringLiteral("图片浏览 缩放：0.5"));
    QFont Big(QStringLiteral("WenQuanYi Micro Hei"), 28);
    V->Edit1->setFont(Big);
    Write(V, QPoint(100, 50), QStringLiteral("样品"));
    EXPECT_EQ(V->Texts(), QStringList{QStringLiteral("200,100,样品")});
    EXPECT_TRUE(V->Modified());
    EXPECT_TRUE(V->SpeedButton4->isEnabled());
    // An empty editor writes nothing.
    Write(V, QPoint(5, 5), QString());
    EXPECT_EQ(V->Texts().size(), 1);

    // The copy skips a(2).jpg; the product takes it, the original stays.
    const QByteArray Original = TestSupport::ReadAll(A);
    V->N6Click();
    QApplication::processEvents();
    const QString Copy = Docs.File(QStringLiteral("a(3).jpg"));
    EXPECT_EQ(V->PictureFile, Copy);
    EXPECT_FALSE(V->isVisible());
    EXPECT_EQ(TestSupport::ReadAll(A), Original);
    EXPECT_EQ(Form->GridAccess().Cells(1, 6), Copy);
    EXPECT_TRUE(Form->Page().Lines().contains(QStringLiteral("{$IMG}=a(3).jpg"))
                || Form->Page().Lines().contains(QStringLiteral("{$IMG}=") + Copy));
    const QStringList Box = ChangedBox(A, Copy).split(QLatin1Char(' '));
    ASSERT_EQ(Box.size(), 4) << Box.join(QLatin1Char(' ')).toStdString();
    EXPECT_GE(Box[0].toInt(), 195);
    EXPECT_GE(Box[1].toInt(), 95);
    EXPECT_LE(Box[2].toInt(), 200 + 200);
    EXPECT_LE(Box[3].toInt(), 100 + 80);
}

TEST_F(PictureViewer, GifSavedBesideAndClosingAsksAboutChanges)
{
    const QString Gif = Docs.File(QStringLiteral("g.gif"));
    ASSERT_TRUE(QFile::copy(Home.File(QStringLiteral("gif/paper.gif")), Gif));
    const QByteArray Before = TestSupport::ReadAll(Gif);
    Open({Gif});
    TPictureView *V = View(1);
    Write(V, QPoint(2, 2), QStringLiteral("G"));
    // Save: no question, the GIF keeps its bytes, its JPEG goes beside it.
    V->N3Click();
    QApplication::processEvents();
    EXPECT_EQ(TestSupport::ReadAll(Gif), Before);
    const QString Jpg = Docs.File(QStringLiteral("g.jpg"));
    EXPECT_EQ(V->PictureFile, Jpg);
    EXPECT_TRUE(TestSupport::ReadAll(Jpg).startsWith("\xFF\xD8"));
    EXPECT_EQ(Form->GridAccess().Cells(1, 6), Jpg);
    EXPECT_TRUE(Asked(*Ui.Prompts).isEmpty());

    // A JPEG is saved over after the question; closing with changes asks.
    V = View(1);
    Write(V, QPoint(2, 2), QStringLiteral("H"));
    Ui.Prompts->AnswerButton(QStringLiteral("Cancel"));
    V->close();
    EXPECT_TRUE(V->isVisible());
    Ui.Prompts->AnswerButton(QStringLiteral("Cancel"));
    V->N3Click();
    EXPECT_TRUE(V->isVisible());
    Ui.Prompts->AnswerButton(QStringLiteral("OK"));
    V->N3Click();
    EXPECT_FALSE(V->isVisible());
    EXPECT_EQ(Asked(*Ui.Prompts).value(0), QStringLiteral("图片浏览，点击鼠标右键可在图片上添加文字。|图片已经更改，是否保存一个副本？|Cancel"));
    EXPECT_TRUE(Asked(*Ui.Prompts).value(1).startsWith(QStringLiteral("确认|图片文件已经存在，是否覆盖？")));
    EXPECT_EQ(QImage(Jpg).size(), QSize(64, 64));

    // The writing font comes from the font prompt; save as names a JPEG whatever was typed.
    V = View(1);
    Ui.Prompts->AnswerFont(QStringLiteral("WenQuanYi Micro Hei,30,bold"));
    V->N5Click();
    EXPECT_EQ(V->Edit1->font().pointSize(), 30);
    EXPECT_TRUE(V->Edit1->font().bold());
    Write(V, QPoint(2, 2), QStringLiteral("S"));
    Ui.Prompts->AnswerFile(Docs.File(QStringLiteral("saved.gif")));
    V->N7Click();
    EXPECT_EQ(V->PictureFile, Docs.File(QStringLiteral("saved.jpg")));
    EXPECT_TRUE(TestSupport::ReadAll(Docs.File(QStringLiteral("saved.jpg"))).startsWith("\xFF\xD8"));
    EXPECT_FALSE(QFileInfo::exists(Docs.File(QStringLiteral("saved.gif"))));
    EXPECT_EQ(Ui.Prompts->Records().last().Text, QStringLiteral("JPEG 图像文件 (*.jpg)|*.jpg;*.jpeg"));
    V->hide();

    V = View(1);
    Write(V, QPoint(2, 2), QStringLiteral("I"));
    Ui.Prompts->AnswerButton(QStringLiteral("Yes"));
    V->close();
    EXPECT_FALSE(V->isVisible());
    EXPECT_TRUE(QFileInfo::exists(Docs.File(QStringLiteral("g(2).jpg"))));
}

TEST_F(PictureViewer, ZoomStaysWithinLimits)
{
    Open({Jpeg(QStringLiteral("z.jpg"), 400, 300)});
    TPictureView *V = View(1);
    // The wheel over the picture zooms instead of scrolling.
    QWheelEvent Wheel(QPointF(10, 10), QPointF(10, 10), QPoint(), QPoint(0, -120), Qt::NoButton, Qt::NoModifier,
                      Qt::NoScrollPhase, false);
    QApplication::sendEvent(V->ScrollBox1->viewport(), &Wheel);
    EXPECT_EQ(V->ShownRect().size(), QSize(320, 240));
    EXPECT_EQ(V->windowTitle(), QStringLiteral("图片浏览 缩放：0.8"));
    for (int I = 0; I < 200; ++I)
        V->WndProcMouseWheel(-120);
    EXPECT_GE(V->ShownRect().width(), 8);
    EXPECT_GE(V->ShownRect().width(), int(400 * PictureText::MinZoom));
    for (int I = 0; I < 400; ++I)
        V->WndProcMouseWheel(120);
    EXPECT_LE(V->ShownRect().width(), int(400 * PictureText::MaxZoom));
    EXPECT_GT(V->ShownRect().width(), 400 * 6);
    // A tiny picture still zooms without dividing by zero.
    const QRect Tiny = PictureText::Zoom(QRect(0, 0, 3, 3), QSize(3, 3), QSize(100, 100), -120);
    EXPECT_EQ(Tiny, QRect(0, 0, 3, 3));
    EXPECT_EQ(PictureText::Zoom(QRect(0, 0, 3, 3), QSize(0, 0), QSize(100, 100), 120), QRect(0, 0, 3, 3));
}

TEST_F(PictureViewer, BatchWritesEachProductWithItsOwnValuesAndNotices)
{
    if (!TestSupport::HaveProgram(QStringLiteral("/usr/bin/python3")))
        GTEST_SKIP() << "python3 with Pillow is needed";
    const QString P1 = Jpeg(QStringLiteral("p1.jpg"), 200, 150);
    const QString P2 = Jpeg(QStringLiteral("p2.jpg"), 400, 300);   // twice as wide
    const QString P3 = Docs.File(QStringLiteral("p3.gif"));
    ASSERT_TRUE(QFile::copy(Home.File(QStringLiteral("gif/dots.gif")), P3));
    Open({P1, P2, P3});
    TPictureView *V = View(1);
    Ui.Prompts->AnswerButton(QStringLiteral("OK"));
    V->N9Click();
    EXPECT_TRUE(Asked(*Ui.Prompts).value(0).contains(QStringLiteral("请先在当前图片上添加文字")));
    Write(V, QPoint(40, 30), QStringLiteral("{当前价格}"));
    V->N9Click();
    EXPECT_EQ(Ui.Dialogs, QStringList{QStringLiteral("Form6")});
    TForm6 *B = V->Form6();
    ASSERT_NE(B, nullptr);
    EXPECT_EQ(B->windowTitle(), QStringLiteral("批量写字－设置"));
    EXPECT_EQ(B->Edit2->text(), QStringLiteral("3"));
    B->FormShow();
    EXPECT_EQ(B->ComboBox1->currentText(), QStringLiteral("{当前价格}"));
    // Editing the text changes only the entry's text part.
    B->ComboBox1->setEditText(QStringLiteral("a,b"));
    EXPECT_EQ(B->Entries(), QStringList{QStringLiteral("40,30,a,b")});
    B->ComboBox1->setEditText(QStringLiteral("{当前价格}"));
    // Past the last product: only existing products are written.
    B->Edit2->setText(QStringLiteral("9"));
    B->Button1Click();
    EXPECT_EQ(B->Label4->text(), QStringLiteral("操作完成！已在 2 个图片上写了文字。跳过了 1 个商品的图片："));
    EXPECT_EQ(B->Button2->text(), QStringLiteral("关闭"));
    QApplication::processEvents();
    // One notice per product with its own copy; the GIF is passed over.
    EXPECT_EQ(Form->GridAccess().Cells(1, 6), Docs.File(QStringLiteral("p1(2).jpg")));
    EXPECT_EQ(Form->GridAccess().Cells(1, 12), Docs.File(QStringLiteral("p2(2).jpg")));
    EXPECT_EQ(Form->GridAccess().Cells(1, 18), P3);
    // Relative placement: twice as wide, twice as far in.
    const QStringList Box1 = ChangedBox(P1, Docs.File(QStringLiteral("p1(2).jpg"))).split(QLatin1Char(' '));
    const QStringList Box2 = ChangedBox(P2, Docs.File(QStringLiteral("p2(2).jpg"))).split(QLatin1Char(' '));
    ASSERT_EQ(Box1.size(), 4);
    ASSERT_EQ(Box2.size(), 4);
    EXPECT_NEAR(Box1[0].toInt(), 40, 6);
    EXPECT_NEAR(Box2[0].toInt(), 80, 6);

    // Placeholders are whole texts only; each product gives its own value.
    QStringList Asked;
    QString Target;
    const auto Cell = [&Asked](int ACol, int ARow) {
        Asked << QStringLiteral("%1,%2").arg(ACol).arg(ARow);
        return QStringLiteral("9.99");
    };
    TFont Font;
    ASSERT_TRUE(PictureText::WriteEntries(P2, 2, false, {QStringLiteral("10,10,{当前价格}"), QStringLiteral("10,40,Price {当前价格}")},
                                          QSize(200, 150), Font, false, Cell, Target));
    EXPECT_EQ(Asked, QStringList{QStringLiteral("3,8")});
    EXPECT_EQ(Target, P2);
    EXPECT_FALSE(PictureText::WriteEntries(P3, 3, false, {QStringLiteral("1,1,x")}, QSize(1, 1), Font, true, Cell, Target));
    EXPECT_EQ(PictureText::Relative(QPoint(10, 7), QSize(200, 150), QSize(400, 300)), QPoint(20, 14));
    EXPECT_THROW(PictureText::ParseEntry(QStringLiteral("x,1,t")), EConvertError);
    EXPECT_EQ(PictureText::CopyName(Docs.File(QStringLiteral("n.jpeg"))), Docs.File(QStringLiteral("n(2).jpeg")));
    EXPECT_EQ(PictureText::CopyName(Docs.File(QStringLiteral("noext"))), Docs.File(QStringLiteral("noext(2)")));
    // A name holding "%" and a digit keeps it: the copy is named after this picture.
    EXPECT_EQ(PictureText::CopyName(Docs.File(QStringLiteral("a%1b.jpg"))), Docs.File(QStringLiteral("a%1b(2).jpg")));
    EXPECT_EQ(PictureText::CopyName(Docs.File(QStringLiteral("50%2.jpg"))), Docs.File(QStringLiteral("50%2(2).jpg")));
}

TEST_F(PictureViewer, BatchCopiesBesideRelativePicturesAreStoredRelative)
{
    // Pictures stored relative to the page, and one stored as a full path.
    ASSERT_TRUE(QDir(Docs.Path()).mkpath(QStringLiteral("pics")));
    Jpeg(QStringLiteral("pics/r1.jpg"), 60, 40);
    Jpeg(QStringLiteral("pics/r2.jpg"), 60, 40);
    const QString Full = Jpeg(QStringLiteral("full.jpg"), 60, 40);
    Open({QStringLiteral("pics\\r1.jpg"), QStringLiteral("pics/r2.jpg"), Full});
    TPictureView *V = View(1);
    Write(V, QPoint(5, 5), QStringLiteral("{当前价格}"));
    V->N9Click();
    TForm6 *B = V->Form6();
    ASSERT_NE(B, nullptr);
    B->FormShow();
    ASSERT_TRUE(B->RadioButton3->isChecked());   // 创建副本（推荐）
    B->Button1Click();
    QApplication::processEvents();
    ASSERT_TRUE(QFileInfo::exists(Docs.File(QStringLiteral("pics/r1(2).jpg"))));
    EXPECT_EQ(Form->GridAccess().Cells(1, 6), Docs.File(QStringLiteral("pics/r1(2).jpg")));

    Form->SpeedButton9Click();
    QStringList Pictures;
    for (const QString &L : LoadLines(Docs.File(QStringLiteral("p.qbt"))))
        if (L.startsWith(QLatin1String("{$IMG}=")))
            Pictures << L.mid(7);
    EXPECT_EQ(Pictures, (QStringList{QStringLiteral("pics\\r1(2).jpg"), QStringLiteral("pics/r2(2).jpg"),
                                     Docs.File(QStringLiteral("full(2).jpg"))}));
}

namespace {

// While this lives, this thread opens files as a user with no rights on them
// but those every user has: a file of mode 000 then cannot be read, also when
// the tests run as root (who reads any file while it opens files as root).
class TOpeningAsNobody {
public:
    TOpeningAsNobody()
    {
        if (geteuid() == 0)
            ::setfsuid(65534);
    }
    ~TOpeningAsNobody()
    {
        if (geteuid() == 0)
            ::setfsuid(0);
    }
    TOpeningAsNobody(const TOpeningAsNobody &) = delete;
    TOpeningAsNobody &operator=(const TOpeningAsNobody &) = delete;
};

} // namespace

TEST_F(PictureViewer, BatchSaysHowManyPicturesGotTheTextAndWhichItPassedOverAndWhy)
{
    // Ten products: six JPEG pictures, then a PNG, a GIF, a BMP and a JPEG
    // whose header is followed by random bytes, among them; the tenth picture
    // is one that cannot be opened (no permission).
    QStringList Pictures;
    for (int N = 1; N <= 10; ++N)
        Pictures << Jpeg(QStringLiteral("p%1.jpg").arg(N), 160, 120);
    QImage Image(160, 120, QImage::Format_RGB32);
    Image.fill(Qt::gray);
    Pictures[1] = Docs.File(QStringLiteral("p2.png"));
    Pictures[3] = Docs.File(QStringLiteral("p4.gif"));
    Pictures[5] = Docs.File(QStringLiteral("p6.bmp"));
    ASSERT_TRUE(Image.save(Pictures[1], "PNG"));
    ASSERT_TRUE(QFile::copy(Home.File(QStringLiteral("gif/dots.gif")), Pictures[3]));
    ASSERT_TRUE(Image.save(Pictures[5], "BMP"));
    QByteArray Damaged = TestSupport::ReadAll(Pictures[7]).left(20);
    quint32 Seed = 7;
    for (int I = 0; I < 20000; ++I) {
        Seed = Seed * 1103515245u + 12345u;
        Damaged += char(Seed >> 24);
    }
    TestSupport::WriteAll(Pictures[7], Damaged);
    Open(Pictures);
    TPictureView *V = View(1);
    Write(V, QPoint(20, 20), QStringLiteral("{当前价格}"));

    // The batch dialog on the screen: 开始 is clicked for products 1 to 9,
    // then for product 10 while its picture cannot be opened, then 关闭.
    QString Said, SaidLast;
    QStringList Listed, ListedLast;
    bool ListShown = false, OnScreen = false;
    Ui.InDialog([&](QDialog *D) {
        auto *B = qobject_cast<TForm6 *>(D);
        ASSERT_NE(B, nullptr);
        auto *List = B->findChild<QListWidget *>(QStringLiteral("SkippedList"));
        ASSERT_NE(List, nullptr);
        const auto Items = [List] {
            QStringList Texts;
            for (int I = 0; I < List->count(); ++I)
                Texts << List->item(I)->text();
            return Texts;
        };
        EXPECT_EQ(B->Edit2->text(), QStringLiteral("10"));
        B->Edit2->setText(QStringLiteral("9"));
        QTest::mouseClick(B->Button1, Qt::LeftButton);
        Said = B->Label4->text();
        QApplication::processEvents();
        ListShown = List->isVisible();
        Listed = Items();
        OnScreen = D->screen()->availableGeometry().contains(D->frameGeometry());
        EXPECT_EQ(B->Button2->text(), QStringLiteral("关闭"));

        // The picture's folder lets every user in; the picture lets nobody read it.
        ASSERT_TRUE(QFile::setPermissions(Docs.Path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner
                                                           | QFile::ExeGroup | QFile::ExeOther));
        ASSERT_TRUE(QFile::setPermissions(Pictures[9], QFileDevice::Permissions()));
        B->Edit1->setText(QStringLiteral("10"));
        B->Edit2->setText(QStringLiteral("10"));
        {
            TOpeningAsNobody Nobody;
            ASSERT_TRUE(QFileInfo(Pictures[9]).isFile());
            ASSERT_FALSE(QFile(Pictures[9]).open(QIODevice::ReadOnly)) << "the picture must not be readable";
            QTest::mouseClick(B->Button1, Qt::LeftButton);
        }
        QFile::setPermissions(Pictures[9], QFile::ReadOwner | QFile::WriteOwner);
        SaidLast = B->Label4->text();
        ListedLast = Items();
        QTest::mouseClick(B->Button2, Qt::LeftButton);
    });
    V->N9Click();
    EXPECT_EQ(Said, QStringLiteral("操作完成！已在 5 个图片上写了文字。跳过了 4 个商品的图片："));
    EXPECT_TRUE(ListShown);
    EXPECT_EQ(Listed, (QStringList{QStringLiteral("第 2 个商品，p2.png：不是JPEG图片，批量写字只处理JPEG图片。"),
                                   QStringLiteral("第 4 个商品，p4.gif：不是JPEG图片，批量写字只处理JPEG图片。"),
                                   QStringLiteral("第 6 个商品，p6.bmp：不是JPEG图片，批量写字只处理JPEG图片。"),
                                   QStringLiteral("第 8 个商品，p8.jpg：图片已损坏，不能作为JPEG图片读取。")}));
    EXPECT_TRUE(OnScreen);
    // Not damaged: it could not be opened, and the system says why.
    EXPECT_EQ(SaidLast, QStringLiteral("操作完成！已在 0 个图片上写了文字。跳过了 1 个商品的图片："));
    EXPECT_EQ(ListedLast, QStringList{QStringLiteral("第 10 个商品，p10.jpg：无法打开文件“%1”。拒绝访问，没有该文件或文件夹的权限。")
                                          .arg(Pictures[9])});
    // The five JPEG pictures have their copies with the text; the others none.
    for (int N = 1; N <= 10; ++N) {
        const QString Picture = Pictures[N - 1];
        const QString Copy = Picture.left(Picture.size() - 4) + QStringLiteral("(2)") + Picture.right(4);
        const bool Written = N % 2 == 1 && N < 10;
        EXPECT_EQ(QFileInfo::exists(Copy), Written) << N;
        EXPECT_EQ(Form->GridAccess().Cells(1, 6 * N), Written ? Copy : Picture) << N;
    }
}

TEST_F(PictureViewer, OpeningAnotherPictureClosesTheViewerFirst)
{
    const QString P1 = Jpeg(QStringLiteral("o1.jpg"), 60, 40, qRgb(250, 0, 0));
    const QString P2 = Jpeg(QStringLiteral("o2.jpg"), 80, 50, qRgb(0, 0, 250));
    Open({P1, P2});
    TPictureView *V = View(1);
    Write(V, QPoint(1, 1), QStringLiteral("x"));
    // Product 2 asked for while product 1 has changes: Cancel keeps product 1 shown.
    Form->CellGrid1->SetCurrentCell(3, 7);
    Ui.Prompts->AnswerButton(QStringLiteral("Cancel"));
    Form->N76Click();
    EXPECT_EQ(V->PictureFile, P1);
    EXPECT_EQ(V->ProductIndex, 1);
    Ui.Prompts->AnswerButton(QStringLiteral("No"));
    Form->N76Click();
    EXPECT_EQ(V->PictureFile, P2);
    EXPECT_EQ(V->ProductIndex, 2);
    EXPECT_EQ(V->PictureSize(), QSize(80, 50));
    EXPECT_TRUE(V->isVisible());
}

TEST_F(PictureViewer, SaveOverAReadOnlyPictureIsRefusedLikeAReadOnlyPage)
{
    const QString A = Jpeg(QStringLiteral("ro.jpg"), 60, 40);
    ASSERT_TRUE(QFile::setPermissions(A, QFile::ReadOwner | QFile::ReadGroup | QFile::ReadOther));
    const QByteArray Before = TestSupport::ReadAll(A);
    Open({A});
    TPictureView *V = View(1);
    Write(V, QPoint(2, 2), QStringLiteral("R"));
    // 保存 as the user presses it: the refusal, and the viewer keeps the changes.
    Ui.Prompts->AnswerButton(QStringLiteral("OK"));
    QTest::mouseClick(V->SpeedButton4, Qt::LeftButton);
    EXPECT_TRUE(V->isVisible());
    EXPECT_TRUE(V->Modified());
    EXPECT_TRUE(V->SpeedButton4->isEnabled());
    const QStringList Questions = Asked(*Ui.Prompts);
    ASSERT_EQ(Questions.size(), 1) << Questions.join(QLatin1Char('\n')).toStdString();
    EXPECT_TRUE(Questions.at(0).endsWith(QStringLiteral("|无法创建文件“") + A
                                         + QStringLiteral("”。拒绝访问，没有该文件或文件夹的权限。|OK")))
        << Questions.at(0).toStdString();
    EXPECT_EQ(TestSupport::ReadAll(A), Before);
    struct stat St {};
    ASSERT_EQ(::stat(QFile::encodeName(A).constData(), &St), 0);
    EXPECT_EQ(St.st_mode & 07777, 0444u);
    V->hide();
}

TEST_F(PictureViewer, BatchOverTheOriginalsPassesOverReadOnlyPicturesWithTheReason)
{
    // Three JPEG pictures, the first and the third made read-only.
    const QString R1 = Jpeg(QStringLiteral("r1.jpg"), 80, 60);
    const QString W2 = Jpeg(QStringLiteral("w2.jpg"), 80, 60);
    const QString R3 = Jpeg(QStringLiteral("r3.jpg"), 80, 60);
    for (const QString &P : {R1, R3})
        ASSERT_TRUE(QFile::setPermissions(P, QFile::ReadOwner | QFile::ReadGroup | QFile::ReadOther));
    const QByteArray Before1 = TestSupport::ReadAll(R1), Before2 = TestSupport::ReadAll(W2),
                     Before3 = TestSupport::ReadAll(R3);
    Open({R1, W2, R3});
    TPictureView *V = View(1);
    Write(V, QPoint(10, 10), QStringLiteral("{当前价格}"));
    // 覆盖原文件 is chosen, 开始 clicked and the warning answered 是.
    QString Said;
    QStringList Listed;
    Ui.InDialog([&](QDialog *D) {
        auto *B = qobject_cast<TForm6 *>(D);
        ASSERT_NE(B, nullptr);
        // On its round mark, as the layout may make the button wider than its text.
        QTest::mouseClick(B->RadioButton4, Qt::LeftButton, {}, QPoint(6, B->RadioButton4->height() / 2));
        ASSERT_TRUE(B->RadioButton4->isChecked());
        Ui.Prompts->AnswerButton(QStringLiteral("Yes"));
        QTest::mouseClick(B->Button1, Qt::LeftButton);
        Said = B->Label4->text();
        for (int I = 0; I < B->SkippedList->count(); ++I)
            Listed << B->SkippedList->item(I)->text();
        QTest::mouseClick(B->Button2, Qt::LeftButton);
    });
    V->N9Click();
    EXPECT_EQ(Said, QStringLiteral("操作完成！已在 1 个图片上写了文字。跳过了 2 个商品的图片："));
    const QString Refused = QStringLiteral("：无法创建文件“%1”。拒绝访问，没有该文件或文件夹的权限。");
    EXPECT_EQ(Listed, (QStringList{QStringLiteral("第 1 个商品，r1.jpg") + Refused.arg(R1),
                                   QStringLiteral("第 3 个商品，r3.jpg") + Refused.arg(R3)}));
    EXPECT_EQ(TestSupport::ReadAll(R1), Before1);
    EXPECT_EQ(TestSupport::ReadAll(R3), Before3);
    EXPECT_NE(TestSupport::ReadAll(W2), Before2);
    for (const QString &P : {R1, R3}) {
        struct stat St {};
        ASSERT_EQ(::stat(QFile::encodeName(P).constData(), &St), 0);
        EXPECT_EQ(St.st_mode & 07777, 0444u) << P.toStdString();
    }
    EXPECT_EQ(QDir(Docs.Path()).entryList(QDir::Files).size(), 4);   // p.qbt and the three pictures
}

TEST_F(PictureViewer, SaveAsOverAReadOnlyPictureIsRefused)
{
    const QString A = Jpeg(QStringLiteral("a.jpg"), 60, 40);
    const QString Ro = Jpeg(QStringLiteral("ro.jpg"), 30, 20, qRgb(10, 10, 10));
    ASSERT_TRUE(QFile::setPermissions(Ro, QFile::ReadOwner | QFile::ReadGroup | QFile::ReadOther));
    const QByteArray Before = TestSupport::ReadAll(Ro);
    Open({A});
    TPictureView *V = View(1);
    Write(V, QPoint(2, 2), QStringLiteral("R"));
    // 另存 as the user presses it, ro.jpg typed in the dialog: the refusal only.
    Ui.Prompts->AnswerFile(QStringLiteral("ro.jpg"));
    Ui.Prompts->AnswerButton(QStringLiteral("OK"));
    QTest::mouseClick(V->SpeedButton6, Qt::LeftButton);
    const QStringList Questions = Asked(*Ui.Prompts);
    ASSERT_EQ(Questions.size(), 2) << Questions.join(QLatin1Char('\n')).toStdString();
    EXPECT_TRUE(Questions.at(1).endsWith(QStringLiteral("|无法创建文件“") + Ro
                                         + QStringLiteral("”。拒绝访问，没有该文件或文件夹的权限。|OK")))
        << Questions.at(1).toStdString();
    EXPECT_EQ(V->PictureFile, A);
    EXPECT_TRUE(V->Modified());
    EXPECT_EQ(TestSupport::ReadAll(Ro), Before);
    struct stat St {};
    ASSERT_EQ(::stat(QFile::encodeName(Ro).constData(), &St), 0);
    EXPECT_EQ(St.st_mode & 07777, 0444u);
    V->hide();
}

TEST_F(PictureViewer, SaveAsAsksAboutTheJpegNameItWritesOnly)
{
    const QString A = Jpeg(QStringLiteral("a.jpg"), 60, 40);
    const QString X = Jpeg(QStringLiteral("x.jpg"), 30, 20);
    const QString YPng = Docs.File(QStringLiteral("y.png"));
    QImage Image(30, 20, QImage::Format_RGB32);
    Image.fill(Qt::gray);
    ASSERT_TRUE(Image.save(YPng, "PNG"));
    const QByteArray XBefore = TestSupport::ReadAll(X), YBefore = TestSupport::ReadAll(YPng);
    Open({A});
    TPictureView *V = View(1);
    Write(V, QPoint(2, 2), QStringLiteral("X"));
    const QString Replace = QStringLiteral("另存为|") + X + QStringLiteral(" 已存在。\r\n要替换它吗？|");

    // x.png typed while x.jpg exists: the question is about x.jpg; 否 goes back
    // to the dialog, which is cancelled then.
    Ui.Prompts->AnswerFile(QStringLiteral("x.png"));
    Ui.Prompts->AnswerButton(QStringLiteral("No"));
    Ui.Prompts->AnswerButton(QStringLiteral("Cancel"));
    QTest::mouseClick(V->SpeedButton6, Qt::LeftButton);
    EXPECT_TRUE(Asked(*Ui.Prompts).contains(Replace + QStringLiteral("No")))
        << Asked(*Ui.Prompts).join(QLatin1Char('\n')).toStdString();
    EXPECT_EQ(TestSupport::ReadAll(X), XBefore);
    EXPECT_EQ(V->PictureFile, A);
    // 是 replaces it.
    Ui.Prompts->ClearRecords();
    Ui.Prompts->AnswerFile(QStringLiteral("x.png"));
    Ui.Prompts->AnswerButton(QStringLiteral("Yes"));
    QTest::mouseClick(V->SpeedButton6, Qt::LeftButton);
    EXPECT_TRUE(Asked(*Ui.Prompts).contains(Replace + QStringLiteral("Yes")));
    EXPECT_EQ(V->PictureFile, X);
    EXPECT_EQ(QImage(X).size(), QSize(60, 40));
    EXPECT_FALSE(QFileInfo::exists(Docs.File(QStringLiteral("x.png"))));

    // y.png typed while y.png exists and y.jpg does not: nothing is asked, y.png keeps its bytes.
    Write(V, QPoint(2, 2), QStringLiteral("Y"));
    Ui.Prompts->ClearRecords();
    Ui.Prompts->AnswerFile(QStringLiteral("y.png"));
    QTest::mouseClick(V->SpeedButton6, Qt::LeftButton);
    EXPECT_EQ(Asked(*Ui.Prompts).size(), 1) << Asked(*Ui.Prompts).join(QLatin1Char('\n')).toStdString();
    EXPECT_EQ(V->PictureFile, Docs.File(QStringLiteral("y.jpg")));
    EXPECT_TRUE(TestSupport::ReadAll(Docs.File(QStringLiteral("y.jpg"))).startsWith("\xFF\xD8"));
    EXPECT_EQ(TestSupport::ReadAll(YPng), YBefore);
    V->hide();
}
