// The main window's product commands, the cell text editor and drops of
// picture files, with every question answered by a script.

#include "PaintCounter.h"
#include "WindowFixture.h"
#include "catalog/forms/ProductGrid.h"
#include "catalog/forms/ProductPictures.h"
#include "grid/CellGridEditors.h"
#include "platform/core/Types.h"
#include "platform/services/Clipboard.h"

#include "gif/GIFImage.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QDir>
#include <QDropEvent>
#include <QGroupBox>
#include <QImage>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QScrollBar>
#include <QTest>
#include <QTextBlock>
#include <QTimer>
#include <QRadioButton>
#include <QScrollArea>
#include "catalog/forms/SearchDialog.h"
#include <QWheelEvent>
#include <QToolButton>
#include <QPainter>
#include <gtest/gtest.h>
#include <functional>
#include <sys/stat.h>
#include <utime.h>

using TestSupport::TempDir;
using namespace WindowFixture;

namespace {

class ProductWindow : public TWindowTest {
protected:
    std::unique_ptr<TForm1> Open(int Blocks) { return Start({WritePage(QStringLiteral("page.qbt"), Blocks)}); }

    static int LineOf(TForm1 &Form, const QString &Line) { return int(Form.Page().Lines().indexOf(Line)); }

    TempDir Other;
};

} // namespace

TEST_F(ProductWindow, DeleteInsertAndClearKeepGridAndTextInStep)
{
    TScriptedUi Ui;
    auto Form = Open(3);
    ASSERT_EQ(Form->CellGrid1->RowCount(), 19);
    const int First = LineOf(*Form, QStringLiteral("{$1}"));

    Form->CellGrid1->SetCurrentCell(3, 8);
    Ui.Prompts->AnswerButton(QStringLiteral("Yes"));
    Form->SpeedButton4Click();
    EXPECT_EQ(Ui.Texts().last(), QStringLiteral("是否确定删除第2个商品资料？"));
    EXPECT_EQ(Form->CellGrid1->RowCount(), 13);
    EXPECT_EQ(Form->CellGrid1->Cells(3, 7), QStringLiteral("P3"));
    EXPECT_EQ(Form->Page().Strings(LineOf(*Form, QStringLiteral("{$2}")) + 2), QStringLiteral("{$PID}=P3"));
    EXPECT_LT(LineOf(*Form, QStringLiteral("{$3}")), 0);

    // An empty block before product 1, in the grid and the text.
    Form->CellGrid1->SetCurrentCell(3, 2);
    Form->Button4Click();
    EXPECT_EQ(Form->CellGrid1->RowCount(), 19);
    EXPECT_EQ(LineOf(*Form, QStringLiteral("{$1}")), First);
    EXPECT_EQ(Form->Page().Strings(First + 2), QStringLiteral("{$PID}="));
    EXPECT_EQ(Form->Page().Strings(LineOf(*Form, QStringLiteral("{$3}")) + 2), QStringLiteral("{$PID}=P3"));
    EXPECT_EQ(Form->CellGrid1->Cells(3, 1), QString());
    EXPECT_EQ(Form->CellGrid1->Cells(3, 7), QStringLiteral("P1"));
    EXPECT_EQ(Form->CellGrid1->Cells(0, 13), QStringLiteral("3"));

    Form->CellGrid1->SetCurrentCell(3, 7);
    Ui.Prompts->AnswerButton(QStringLiteral("Yes"));
    Form->N51Click();
    EXPECT_EQ(Ui.Texts().last(), QStringLiteral("是否清除第2个商品资料？"));
    EXPECT_EQ(Form->CellGrid1->Cells(3, 7), QString());
    EXPECT_EQ(Form->Page().Strings(LineOf(*Form, QStringLiteral("{$2}")) + 3), QStringLiteral("{$PNAME}="));

    Ui.Prompts->AnswerButton(QStringLiteral("Yes"));
    Form->BitBtn1Click();
    EXPECT_EQ(Form->Page().Count(), First);
    EXPECT_EQ(Form->Page().Strings(First - 2), QStringLiteral("{detail}"));
    EXPECT_EQ(Form->CellGrid1->RowCount(), 7);
    // The next product goes where the first was, without a repair question.
    TestSupport::WriteAll(Data.File(QStringLiteral("n.bmp")), QByteArray("x"));
    Ui.Answer({IDOK});   // n.bmp is no picture
    Form->ImportPictureFiles(Data.File(QStringLiteral("n.bmp")));
    EXPECT_EQ(LineOf(*Form, QStringLiteral("{$1}")), First);
    EXPECT_EQ(Form->Page().Strings(First + 1), QStringLiteral("{$IMG}=n.bmp"));
}

TEST_F(ProductWindow, ExchangeAndMoveAnswers)
{
    TScriptedUi Ui;
    auto Form = Open(4);
    Ui.Prompts->AnswerText(QStringLiteral("37"));
    Ui.Prompts->AnswerButton(QStringLiteral("OK"));
    Form->N62Click();
    EXPECT_EQ(Ui.Texts().last(), QStringLiteral("无效的输入，格式必须为 “资料序号 空格 资料序号”例：3 7"));

    Ui.Prompts->AnswerText(QStringLiteral("2 9"));
    Ui.Prompts->AnswerButton(QStringLiteral("OK"));
    Form->N62Click();
    EXPECT_EQ(Ui.Texts().last(), QStringLiteral("资料序号不存在"));
    Ui.Prompts->AnswerText(QStringLiteral("0 2"));
    Ui.Prompts->AnswerButton(QStringLiteral("OK"));
    Form->N62Click();
    EXPECT_EQ(Ui.Texts().last(), QStringLiteral("资料序号不存在"));

    Ui.Prompts->AnswerText(QStringLiteral("x 2"));
    EXPECT_THROW(Form->N62Click(), EConvertError);
    EXPECT_EQ(Form->CellGrid1->Cells(3, 1), QStringLiteral("P1"));

    Ui.Prompts->AnswerText(QStringLiteral("1 3"));
    Form->N62Click();
    EXPECT_EQ(Form->CellGrid1->Cells(3, 1), QStringLiteral("P3"));
    EXPECT_EQ(Form->CellGrid1->Cells(3, 13), QStringLiteral("P1"));
    EXPECT_EQ(Form->Page().Strings(LineOf(*Form, QStringLiteral("{$1}")) + 2), QStringLiteral("{$PID}=P3"));
    EXPECT_EQ(Form->Page().Strings(LineOf(*Form, QStringLiteral("{$3}")) + 4), QStringLiteral("{$PPRICE}=1.00"));

    // Moving product 4 to 1 shifts the others back by one.
    Form->CellGrid1->SetCurrentCell(3, 19);
    Ui.Prompts->AnswerText(QStringLiteral("1"));
    Form->N77Click();
    QStringList Ids;
    for (int N = 1; N <= 4; ++N)
        Ids << Form->CellGrid1->Cells(3, 6 * N - 5);
    EXPECT_EQ(Ids, (QStringList{"P4", "P3", "P2", "P1"}));
}

TEST_F(ProductWindow, ExchangedAndMovedPicturesKeepTheFormTheyWereStoredIn)
{
    TScriptedUi Ui;
    // Pictures stored relative to the page (pics\sN.jpg), the fourth as a full
    // path elsewhere; the page is opened through a link to its folder.
    QStringList Lines = PageLines(NumberedHeader(), 4);
    QImage Image(20, 20, QImage::Format_RGB32);
    Image.fill(Qt::blue);
    ASSERT_TRUE(QDir(Data.Path()).mkpath(QStringLiteral("pics")));
    for (int N = 1; N <= 3; ++N) {
        ASSERT_TRUE(Image.save(Data.File(QStringLiteral("pics/s%1.jpg").arg(N)), "JPEG"));
        Lines[Lines.indexOf(QStringLiteral("{$%1}").arg(N)) + 1] = QStringLiteral("{$IMG}=pics\\s%1.jpg").arg(N);
    }
    const QString Far = Other.File(QStringLiteral("far.jpg"));
    ASSERT_TRUE(Image.save(Far, "JPEG"));
    Lines[Lines.indexOf(QStringLiteral("{$4}")) + 1] = QStringLiteral("{$IMG}=") + Far;
    SaveLines(Data.File(QStringLiteral("page.qbt")), Lines);
    const QString Link = Other.File(QStringLiteral("link"));
    ASSERT_TRUE(QFile::link(Data.Path(), Link));
    auto Form = Start({Link + QStringLiteral("/page.qbt")});
    ASSERT_EQ(Form->CellGrid1->RowCount(), 25);
    const auto SavedPictures = [&] {
        Form->SpeedButton9Click();
        QStringList Saved, Pictures;
        Saved = LoadLines(Data.File(QStringLiteral("page.qbt")));
        for (const QString &L : Saved)
            if (L.startsWith(QLatin1String("{$IMG}=")))
                Pictures << L.mid(7);
        return Pictures;
    };

    // 交换资料顺序 1 3 from the grid's menu, then 交换图片顺序 2 4 from the window's.
    Ui.Prompts->AnswerText(QStringLiteral("1 3"));
    Form->PopupMenu1->findChild<QAction *>(QStringLiteral("N62"))->trigger();
    EXPECT_EQ(Form->CellGrid1->Cells(3, 1), QStringLiteral("P3"));
    EXPECT_EQ(SavedPictures(), (QStringList{"pics\\s3.jpg", "pics\\s2.jpg", "pics\\s1.jpg", Far}));
    Ui.Prompts->AnswerText(QStringLiteral("2 4"));
    Form->findChild<QAction *>(QStringLiteral("N66"))->trigger();
    EXPECT_EQ(SavedPictures(), (QStringList{"pics\\s3.jpg", Far, "pics\\s1.jpg", "pics\\s2.jpg"}));

    // 移动到 1 from product 4: every block between moves, each picture in its form.
    Form->CellGrid1->SetCurrentCell(3, 19);
    Ui.Prompts->AnswerText(QStringLiteral("1"));
    Form->PopupMenu1->findChild<QAction *>(QStringLiteral("N77"))->trigger();
    EXPECT_EQ(SavedPictures(), (QStringList{"pics\\s2.jpg", "pics\\s3.jpg", Far, "pics\\s1.jpg"}));
    // The grid shows where each picture is.
    EXPECT_EQ(QFileInfo(Form->CellGrid1->Cells(1, 6)).canonicalFilePath(),
              QFileInfo(Data.File(QStringLiteral("pics/s2.jpg"))).canonicalFilePath());
    EXPECT_EQ(Form->CellGrid1->Cells(1, 18), Far);
    EXPECT_TRUE(Form->CellGrid1->HasPicture(1, 1));
}

TEST_F(ProductWindow, SearchAndContinue)
{
    TScriptedUi Ui;
    auto Form = Open(2);
    Form->FindNextProduct(QStringLiteral("商品"), false);
    EXPECT_EQ(Form->CellGrid1->Row(), 1);
    EXPECT_EQ(Form->CellGrid1->Col(), 5);
    Form->FindNextProduct(QStringLiteral("商品"), true);
    EXPECT_EQ(Form->CellGrid1->Row(), 7);
    Ui.Prompts->AnswerButton(QStringLiteral("OK"));
    Form->FindNextProduct(QStringLiteral("商品"), true);
    EXPECT_EQ(Ui.Texts().last(), QStringLiteral("查找完毕，没有匹配的关键字。"));

    // After a match in the last row the continued search starts past it and
    // ends without a word.
    Form->FSearchRow = Form->CellGrid1->RowCount();
    const int Asked = int(Ui.Texts().size());
    Form->FindNextProduct(QStringLiteral("商品"), true);
    EXPECT_EQ(Ui.Texts().size(), Asked);
    Form->FindNextProduct(QStringLiteral("商品"), false);
    EXPECT_EQ(Form->CellGrid1->Row(), 1);
}

TEST_F(ProductWindow, DropOfTwoPicturesFillsFirstBlockThenAppends)
{
    TScriptedUi Ui;
    auto Form = Open(0);
    QDir().mkpath(Data.File(QStringLiteral("img")));
    QImage Image(64, 32, QImage::Format_RGB32);
    Image.fill(Qt::green);
    const QString Jpg = Data.File(QStringLiteral("img/a.jpg"));
    const QString Bmp = Other.File(QStringLiteral("b.bmp"));
    ASSERT_TRUE(Image.save(Jpg, "JPEG"));
    ASSERT_TRUE(Image.save(Bmp, "BMP"));

    std::unique_ptr<QMimeData> Mime(MakeFileMimeData({Jpg, Bmp}));
    QWidget *Target = Form->CellGrid1->viewport();
    const QPoint At(10, 10);
    QDragEnterEvent Enter(At, Qt::CopyAction, Mime.get(), Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(Target, &Enter);
    EXPECT_TRUE(Enter.isAccepted());
    QDropEvent Drop(QPointF(At), Qt::CopyAction, Mime.get(), Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(Target, &Drop);
    EXPECT_TRUE(Drop.isAccepted());

    EXPECT_EQ(Form->CellGrid1->RowCount(), 13);
    EXPECT_EQ(Form->CellGrid1->Cells(1, 6), Jpg);
    EXPECT_EQ(Form->CellGrid1->Cells(1, 12), Bmp);
    // Below the page's folder the text holds the relative form.
    EXPECT_EQ(Form->Page().Strings(LineOf(*Form, QStringLiteral("{$1}")) + 1), QStringLiteral("{$IMG}=img/a.jpg"));
    EXPECT_EQ(Form->Page().Strings(LineOf(*Form, QStringLiteral("{$2}")) + 1), QStringLiteral("{$IMG}=") + Bmp);
    EXPECT_FALSE(Form->GroupBox3->isVisible());
}

TEST_F(ProductWindow, CellEditorWritesCellAndTextAndConvertsBreaks)
{
    TScriptedUi Ui;
    auto Form = Open(1);
    Form->show();
    QLineEdit *Edit = Form->Edit1;
    Form->CellGrid1->SetCurrentCell(3, 4);   // the description
    ASSERT_TRUE(Edit->isVisible());
    EXPECT_EQ(Edit->text(), QStringLiteral("好"));
    Edit->setText(QStringLiteral("新"));
    EXPECT_EQ(Form->CellGrid1->Cells(3, 4), QStringLiteral("新"));
    EXPECT_EQ(Form->Page().Strings(LineOf(*Form, QStringLiteral("{$1}")) + 8), QStringLiteral("{$PNOTE}=新"));

    auto Press = [Edit](int Key, Qt::KeyboardModifiers Mods) {
        QKeyEvent E(QEvent::KeyPress, Key, Mods);
        QApplication::sendEvent(Edit, &E);
    };
    Edit->end(false);
    Press(Qt::Key_Return, Qt::NoModifier);
    Press(Qt::Key_Return, Qt::ControlModifier);
    EXPECT_EQ(Edit->text(), QStringLiteral("新<br><p>"));

    QApplication::clipboard()->setText(QStringLiteral("a\nb"));
    Press(Qt::Key_V, Qt::ControlModifier);
    EXPECT_EQ(Edit->text(), QStringLiteral("新<br><p>a<br>b"));
    auto *Html = new QMimeData;
    Html->setHtml(QStringLiteral("<html><!--StartFragment--><b>x</b>\n<!--EndFragment--></html>"));
    QApplication::clipboard()->setMimeData(Html);
    Press(Qt::Key_V, Qt::ControlModifier);
    EXPECT_EQ(Edit->text(), QStringLiteral("新<br><p>a<br>b<b>x</b>"));
    EXPECT_EQ(Form->Page().Strings(LineOf(*Form, QStringLiteral("{$1}")) + 8),
              QStringLiteral("{$PNOTE}=新<br><p>a<br>b<b>x</b>"));

    Edit->setSelection(0, 5);
    Press(Qt::Key_C, Qt::ControlModifier);
    EXPECT_EQ(QApplication::clipboard()->text(), QStringLiteral("新\r\n"));

    // The editor's menu reroutes these three actions, found by the shortcut in their texts.
    std::unique_ptr<QMenu> Menu(Edit->createStandardContextMenu());
    int Routed = 0;
    for (QAction *A : Menu->actions())
        for (auto Key : {QKeySequence::Copy, QKeySequence::Cut, QKeySequence::Paste})
            Routed += A->text().section(QLatin1Char('\t'), 1) == QKeySequence(Key).toString(QKeySequence::NativeText);
    EXPECT_EQ(Routed, 3);

    // Enter in the name cell types nothing.
    Form->CellGrid1->SetCurrentCell(5, 1);
    ASSERT_TRUE(Edit->isVisible());
    Edit->end(false);
    Press(Qt::Key_Return, Qt::NoModifier);
    EXPECT_EQ(Edit->text(), QStringLiteral("商品1"));
}

TEST_F(ProductWindow, TheEditorStaysOverItsCellWhenTheGridWidensOrScrolls)
{
    TScriptedUi Ui;
    auto Form = Open(6);
    Form->resize(800, 700);
    Form->show();
    QApplication::processEvents();
    Form->CellGrid1->SetCurrentCell(3, 1);
    ASSERT_TRUE(Form->Edit1->isVisible());
    auto CellBox = [&](int ACol, int ARow) {
        const TRect R = Form->CellGrid1->GetCellRect(ACol, ARow);
        return QRect(R.Left, R.Top, R.Right - R.Left, R.Bottom - R.Top);
    };
    // A maximised window: the value columns widen under the editor.
    Form->resize(1400, 900);
    QApplication::processEvents();
    EXPECT_EQ(Form->Edit1->geometry(), CellBox(3, 1));
    // The wheel scrolls the grid: the editor leaves with its cell.
    Form->CellGrid1->SetTopRow(13);
    QApplication::processEvents();
    EXPECT_EQ(Form->Edit1->geometry(), CellBox(3, 1)) << "out of sight, not over another cell";
    EXPECT_FALSE(Form->Edit1->geometry().intersects(CellBox(3, 13)));
    Form->CellGrid1->SetTopRow(1);
    QApplication::processEvents();
    EXPECT_EQ(Form->Edit1->geometry(), CellBox(3, 1));
    EXPECT_EQ(Form->Edit1->text(), QStringLiteral("P1"));
}

TEST_F(ProductWindow, TypingWithoutPageAsksForOne)
{
    TScriptedUi Ui;
    auto Form = std::make_unique<TForm1>();
    Form->show();
    Form->PlaceEdit1(3, 1);
    Ui.Prompts->AnswerButton(QStringLiteral("Cancel"));
    Ui.Prompts->AnswerButton(QStringLiteral("Cancel"));
    Form->Edit1->setText(QStringLiteral("a"));
    Form->Edit1->setText(QStringLiteral("ab"));
    EXPECT_EQ(Ui.Texts().count(QStringLiteral("请先新建Catalog页面，或者打开一个已有的目录册或页面。要新建吗？")), 2);
}

TEST_F(ProductWindow, InsertedPicturesComeInReverseOrderBeforeCurrentProduct)
{
    TScriptedUi Ui;
    auto Form = Open(2);
    QStringList Files;
    QImage Image(40, 30, QImage::Format_RGB32);
    Image.fill(Qt::green);
    for (const char *Name : {"x.jpg", "y.bmp", "z.png"}) {
        Files << Data.File(QString::fromLatin1(Name));
        ASSERT_TRUE(Image.save(Files.last()));
    }
    Form->CellGrid1->SetCurrentCell(3, 8);   // product 2
    Ui.Prompts->AnswerFiles(Files);
    Form->Button8Click();
    EXPECT_EQ(Form->CellGrid1->RowCount(), 31);
    EXPECT_EQ(Form->CellGrid1->Cells(3, 1), QStringLiteral("P1"));
    EXPECT_EQ(Form->Page().Strings(LineOf(*Form, QStringLiteral("{$2}")) + 1), QStringLiteral("{$IMG}=z.png"));
    EXPECT_EQ(Form->Page().Strings(LineOf(*Form, QStringLiteral("{$3}")) + 1), QStringLiteral("{$IMG}=y.bmp"));
    EXPECT_EQ(Form->Page().Strings(LineOf(*Form, QStringLiteral("{$4}")) + 1), QStringLiteral("{$IMG}=x.jpg"));
    EXPECT_EQ(Form->Page().Strings(LineOf(*Form, QStringLiteral("{$5}")) + 2), QStringLiteral("{$PID}=P2"));
    EXPECT_EQ(Form->CellGrid1->Cells(0, 25), QStringLiteral("5"));
}

TEST_F(ProductWindow, DraggedProductsAndDroppedText)
{
    TScriptedUi Ui;
    auto Form = Open(3);
    // Onto the picture column only the pictures change places.
    Form->CellGrid1->SetCells(1, 6, Data.File(QStringLiteral("one.jpg")));
    Form->CellGrid1->SetCurrentCell(3, 1);
    Form->GridDragDrop(1, 14);
    EXPECT_EQ(Form->CellGrid1->Cells(1, 18), Data.File(QStringLiteral("one.jpg")));
    EXPECT_EQ(Form->CellGrid1->Cells(3, 1), QStringLiteral("P1"));
    Form->CellGrid1->SetCurrentCell(3, 1);
    Form->GridDragDrop(5, 14);
    EXPECT_EQ(Form->CellGrid1->Cells(3, 1), QStringLiteral("P3"));
    EXPECT_EQ(Form->CellGrid1->Cells(1, 6), Data.File(QStringLiteral("one.jpg")));

    // Text dropped on the editor goes in with its line breaks as tags.
    Form->show();
    Form->CellGrid1->SetCurrentCell(3, 4);
    ASSERT_TRUE(Form->Edit1->isVisible());
    Form->Edit1->selectAll();
    QMimeData Text;
    Text.setText(QStringLiteral("甲\r\n乙\r丙"));
    QDragEnterEvent Enter(QPoint(2, 2), Qt::CopyAction, &Text, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(Form->Edit1, &Enter);
    QDropEvent Drop(QPointF(2, 2), Qt::CopyAction, &Text, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(Form->Edit1, &Drop);
    EXPECT_EQ(Form->Edit1->text(), QStringLiteral("甲<br>乙<br>丙"));
    EXPECT_EQ(Form->Page().Strings(LineOf(*Form, QStringLiteral("{$1}")) + 8), QStringLiteral("{$PNOTE}=甲<br>乙<br>丙"));
}

TEST_F(ProductWindow, ImportListWithFolderDamagedPictureAndOtherFiles)
{
    TScriptedUi Ui;
    auto Form = Open(1);   // block 1 holds a product but no picture: it is filled
    const QString Folder = Other.File(QStringLiteral("f"));
    QDir().mkpath(Folder + QStringLiteral("/deeper"));
    TestSupport::WriteAll(Folder + QStringLiteral("/in.jpg"), QByteArray("damaged"));
    TestSupport::WriteAll(Folder + QStringLiteral("/deeper/no.jpg"), QByteArray("x"));
    TestSupport::WriteAll(Other.File(QStringLiteral("p.png")), QByteArray("x"));
    TestSupport::WriteAll(Other.File(QStringLiteral("bad.gif")), QByteArray("GIF89a"));
    Ui.Answer({IDOK});
    Form->ImportPictureFiles(QStringLiteral("\r\n") + Folder + QStringLiteral("\r\n\r\n") + Other.File(QStringLiteral("p.png"))
                             + QStringLiteral("\r\n") + Other.File(QStringLiteral("bad.gif")) + QStringLiteral("\r\n"));
    // The PNG becomes a product too (its thumbnail says it cannot be shown).
    EXPECT_EQ(Form->CellGrid1->RowCount(), 19);
    EXPECT_EQ(Form->CellGrid1->Cells(1, 6), Folder + QStringLiteral("/in.jpg"));
    EXPECT_EQ(Form->CellGrid1->Cells(3, 1), QStringLiteral("P1"));
    EXPECT_EQ(Form->CellGrid1->Cells(1, 12), Other.File(QStringLiteral("p.png")));
    EXPECT_EQ(Form->CellGrid1->Cells(1, 18), Other.File(QStringLiteral("bad.gif")));
    EXPECT_FALSE(Form->GroupBox3->isVisible());
    EXPECT_EQ(Form->GroupBox3->title(), QStringLiteral("总计文件：3 已经导入：3"));
    // The pictures that cannot be read are named (the PNG's thumbnail says what it is).
    EXPECT_EQ(Ui.CaptionsAndTexts(),
              QStringList{QStringLiteral("导入图片|以下 2 个文件不能作为图片读取（文件已损坏，或者不是扩展名所说的图片格式），"
                                         "它们的图片栏显示“非标准图片，载入出错。”：\r\n")
                          + Folder + QStringLiteral("/in.jpg\r\n") + Other.File(QStringLiteral("bad.gif"))});

    // The record commands hide when the auto-fill button asked for the menu.
    Form->Button6Tag = 9;
    Form->PopupMenu1Popup();
    EXPECT_FALSE(Form->PopupMenu1->findChild<QAction *>(QStringLiteral("N63"))->isVisible());
    EXPECT_EQ(Form->Button6Tag, 0);
    Form->PopupMenu1Popup();
    EXPECT_TRUE(Form->PopupMenu1->findChild<QAction *>(QStringLiteral("N63"))->isVisible());
}

namespace {

// Bytes that no decoder reads as picture data.
QByteArray Noise(int Size)
{
    QByteArray Bytes;
    quint32 Seed = 20261207;
    for (int I = 0; I < Size; ++I) {
        Seed = Seed * 1103515245u + 12345u;
        Bytes += char(Seed >> 24);
    }
    return Bytes;
}

// Presses Return where the keyboard is (the box's own button, when the box has the focus).
void PressReturn(QWidget *Box)
{
    QWidget *Focus = QApplication::focusWidget();
    QTest::keyClick(Focus && Box->isAncestorOf(Focus) ? Focus : Box, Qt::Key_Return);
}

} // namespace

TEST_F(ProductWindow, PicturesThatCannotBeReadAreNamedInABoxAfterAddingThem)
{
    TScriptedUi Ui;
    const auto Real = TRealBoxes::Install();
    auto Form = Open(0);
    Form->show();
    QApplication::processEvents();
    QImage Image(120, 80, QImage::Format_RGB32);
    Image.fill(Qt::blue);
    const QString Good = Other.File(QStringLiteral("good.jpg")), Bmp = Other.File(QStringLiteral("good.bmp")),
                  Gif = Other.File(QStringLiteral("good.gif")), Png = Other.File(QStringLiteral("p.png"));
    ASSERT_TRUE(Image.save(Good, "JPEG"));
    ASSERT_TRUE(Image.save(Bmp, "BMP"));
    ASSERT_TRUE(Image.save(Png, "PNG"));
    TestSupport::WriteAll(Gif, QByteArray::fromBase64("R0lGODlhAQABAIAAAP///wAAACwAAAAAAQABAAACAkQBADs="));
    // Damaged pictures: a JPEG's header followed by random bytes, a JPEG cut
    // where its picture data begins and followed by random bytes, a GIF that
    // ends after its signature.
    const QByteArray Jpeg = TestSupport::ReadAll(Good);
    const QString Damaged = Other.File(QStringLiteral("damaged.jpg")), Cut = Other.File(QStringLiteral("cut.jpg")),
                  BadGif = Other.File(QStringLiteral("bad.gif"));
    TestSupport::WriteAll(Damaged, Jpeg.left(20) + Noise(20000));
    TestSupport::WriteAll(Cut, Jpeg.left(Jpeg.indexOf("\xFF\xDA") + 14) + Noise(20000));
    TestSupport::WriteAll(BadGif, QByteArray("GIF89a"));
    const QString Told = QStringLiteral("以下 %1 个文件不能作为图片读取（文件已损坏，或者不是扩展名所说的图片格式），"
                                        "它们的图片栏显示“非标准图片，载入出错。”：\r\n");

    // 添加图片: the import goes on as before, then one box names the files
    // that cannot be read, and Return closes it.
    QString Caption, Text;
    {
        TWhenShown<QMessageBox> Box([&](QMessageBox *B) {
            Caption = B->windowTitle();
            Text = B->text();
            PressReturn(B);
        });
        Real->Boxes->Files = {Good, Damaged, Bmp, Cut, Png, Gif, BadGif};
        Form->SpeedButton3Click();
        EXPECT_EQ(Box.Shown, 1);
    }
    EXPECT_EQ(Caption, QStringLiteral("导入图片"));
    EXPECT_EQ(Text, Told.arg(3) + Damaged + QStringLiteral("\r\n") + Cut + QStringLiteral("\r\n") + BadGif);
    TProductGrid *Grid = Form->CellGrid1;
    ASSERT_EQ(Grid->RowCount(), 6 * 7 + 1);
    for (int N = 1; N <= 7; ++N) {
        const QString File = Grid->Cells(1, 6 * N);
        const TCellGraphic *Cell = Grid->GetCellGraphic(1, 6 * N - 5);
        ASSERT_NE(Cell, nullptr) << File.toStdString();
        const auto *Picture = dynamic_cast<const TPicture *>(Cell->GraphicObject());
        ASSERT_TRUE(Picture && Picture->Graphic()) << File.toStdString();
        const TGraphic *Shown = Picture->Graphic();
        const bool Notice = File == Damaged || File == Cut || File == BadGif || File == Png;
        EXPECT_EQ(Shown->Width() == ProductPictures::NoticeWidth, Notice) << File.toStdString();
    }
    EXPECT_FALSE(Form->GroupBox3->isVisible());

    // 导入文件夹 names the damaged one of the folder's pictures.
    const QString Folder = Other.File(QStringLiteral("folder"));
    QDir().mkpath(Folder);
    QFile::copy(Good, Folder + QStringLiteral("/a.jpg"));
    QFile::copy(Damaged, Folder + QStringLiteral("/b.jpg"));
    {
        TWhenShown<QMessageBox> Box([&](QMessageBox *B) {
            Text = B->text();
            PressReturn(B);
        });
        Real->Boxes->Folder = Folder;
        Form->SpeedButton2Click(false);
        EXPECT_EQ(Box.Shown, 1);
    }
    EXPECT_EQ(Text, Told.arg(1) + Folder + QStringLiteral("/b.jpg"));
    EXPECT_EQ(Grid->RowCount(), 6 * 9 + 1);

    // Pictures that all read say nothing.
    QFile::remove(Folder + QStringLiteral("/b.jpg"));
    {
        TWhenShown<QMessageBox> Box([&](QMessageBox *B) { B->reject(); });
        Form->SpeedButton2Click(false);
        QApplication::processEvents();
        EXPECT_EQ(Box.Shown, 0);
    }
    EXPECT_EQ(Grid->RowCount(), 6 * 10 + 1);
}

TEST_F(ProductWindow, InsertingPicturesThatCannotBeReadNamesThemInTheBoxAddingDoes)
{
    TScriptedUi Ui;
    const auto Real = TRealBoxes::Install();
    auto Form = Open(2);
    Form->resize(900, 700);
    Form->show();
    QApplication::processEvents();
    QImage Image(120, 80, QImage::Format_RGB32);
    Image.fill(Qt::blue);
    const QString Good = Other.File(QStringLiteral("good.jpg")), Damaged = Other.File(QStringLiteral("damaged.jpg")),
                  BadGif = Other.File(QStringLiteral("bad.gif")), Missing = Other.File(QStringLiteral("gone.bmp"));
    ASSERT_TRUE(Image.save(Good, "JPEG"));
    TestSupport::WriteAll(Damaged, TestSupport::ReadAll(Good).left(20) + Noise(20000));
    TestSupport::WriteAll(BadGif, QByteArray("GIF89a"));
    const QString Told = QStringLiteral("以下 %1 个文件不能作为图片读取（文件已损坏，或者不是扩展名所说的图片格式），"
                                        "它们的图片栏显示“非标准图片，载入出错。”：\r\n");
    TProductGrid *Grid = Form->CellGrid1;

    // The grid's button, then the menu 编辑's item: the pictures go in before
    // the current product, and one box names those that cannot be read, in
    // the order the page now shows them; Return closes it.
    const auto Insert = [&](const std::function<void()> &Command) {
        QString Caption, Text;
        TWhenShown<QMessageBox> Box([&](QMessageBox *B) {
            Caption = B->windowTitle();
            Text = B->text();
            PressReturn(B);
        });
        Command();
        EXPECT_EQ(Box.Shown, 1);
        EXPECT_EQ(Caption, QStringLiteral("导入图片"));
        return Text;
    };
    Grid->SetCurrentCell(3, 7);
    Real->Boxes->Files = {Good, Damaged, Missing, BadGif};
    EXPECT_EQ(Insert([&] { QTest::mouseClick(Form->Button8, Qt::LeftButton); }),
              Told.arg(3) + BadGif + QStringLiteral("\r\n") + Missing + QStringLiteral("\r\n") + Damaged);
    ASSERT_EQ(Grid->RowCount(), 6 * 6 + 1);
    EXPECT_EQ(Grid->Cells(1, 6 * 2), BadGif);
    EXPECT_EQ(Grid->Cells(1, 6 * 5), Good);
    EXPECT_EQ(Grid->Cells(3, 6 * 6 - 5), QStringLiteral("P2"));

    Grid->SetCurrentCell(3, 1);
    Real->Boxes->Files = {Damaged, Good};
    QAction *N64 = Form->findChild<QAction *>(QStringLiteral("N64"));
    ASSERT_NE(N64, nullptr);
    EXPECT_EQ(Insert([&] { N64->trigger(); }), Told.arg(1) + Damaged);
    EXPECT_EQ(Grid->RowCount(), 6 * 8 + 1);

    // Pictures that all read say nothing.
    Real->Boxes->Files = {Good};
    {
        TWhenShown<QMessageBox> Box([&](QMessageBox *B) { B->reject(); });
        QTest::mouseClick(Form->Button8, Qt::LeftButton);
        QApplication::processEvents();
        EXPECT_EQ(Box.Shown, 0);
    }
    EXPECT_EQ(Grid->RowCount(), 6 * 9 + 1);
}

namespace {

// The decodes done by each paint of a widget, as they stood when it painted.
class TDecodesAtPaint : public QObject {
public:
    explicit TDecodesAtPaint(QWidget *Widget) { Widget->installEventFilter(this); }
    QList<std::pair<int, int>> Seen;   // the bar's value, the decodes so far
    QProgressBar *Bar = nullptr;

protected:
    bool eventFilter(QObject *, QEvent *Event) override
    {
        if (Event->type() == QEvent::Paint && Bar)
            Seen.append({Bar->value(), ProductPictures::TThumbnail::DecodeCount()});
        return false;
    }
};

} // namespace

TEST_F(ProductWindow, AddedAndInsertedPicturesAreEachReadOnceWhileTheBarMoves)
{
    TScriptedUi Ui;
    const auto Real = TRealBoxes::Install();
    auto Form = Open(0);
    Form->resize(900, 700);
    Form->show();
    QApplication::processEvents();
    QStringList Files;
    for (int I = 0; I < 30; ++I) {
        QImage Image(160 + I, 120, QImage::Format_RGB32);
        Image.fill(QColor::fromHsv(I * 10, 200, 200));
        Files << Other.File(QStringLiteral("p%1.jpg").arg(I, 2, 10, QLatin1Char('0')));
        ASSERT_TRUE(Image.save(Files.last(), "JPEG"));
    }
    const QString Damaged = Other.File(QStringLiteral("damaged.jpg"));
    TestSupport::WriteAll(Damaged, TestSupport::ReadAll(Files.first()).left(20) + Noise(20000));
    Files.insert(1, Damaged);
    TProductGrid *Grid = Form->CellGrid1;

    // 添加图片: every picture is read once, for the thumbnail the grid shows
    // (the first ones painted as the import goes on), the damaged one
    // included; by the time the bar is full they all are.
    TDecodesAtPaint Bar(Form->ProgressBar1);
    Bar.Bar = Form->ProgressBar1;
    int Start = ProductPictures::TThumbnail::DecodeCount();
    {
        TWhenShown<QMessageBox> Box([&](QMessageBox *B) { PressReturn(B); });
        Real->Boxes->Files = Files;
        Form->SpeedButton3Click();
        EXPECT_EQ(Box.Shown, 1);
    }
    EXPECT_EQ(ProductPictures::TThumbnail::DecodeCount() - Start, Files.size());
    ASSERT_FALSE(Bar.Seen.isEmpty());
    EXPECT_EQ(Bar.Seen.last().first, Form->ProgressBar1->maximum());
    EXPECT_EQ(Bar.Seen.last().second - Start, Files.size());
    ASSERT_EQ(Grid->RowCount(), 6 * int(Files.size()) + 1);
    // Scrolled through, the grid shows them without reading any again.
    for (int N = 1; N <= Files.size(); N += 3) {
        Grid->FocusCell(3, 6 * N - 5);
        QApplication::processEvents();
        Grid->RenderToImage();
        EXPECT_TRUE(Grid->PictureDecoded(1, 6 * N - 5)) << N;
    }
    EXPECT_EQ(ProductPictures::TThumbnail::DecodeCount() - Start, Files.size());

    // 插入图片 reads each of its pictures once too.
    Grid->SetCurrentCell(3, 7);
    Start = ProductPictures::TThumbnail::DecodeCount();
    {
        TWhenShown<QMessageBox> Box([&](QMessageBox *B) { PressReturn(B); });
        Real->Boxes->Files = Files.mid(0, 6);
        Form->Button8Click();
        EXPECT_EQ(Box.Shown, 1);
    }
    for (int R = 1; R <= 10; ++R) {
        Grid->FocusCell(3, 6 * R - 5);
        QApplication::processEvents();
        Grid->RenderToImage();
    }
    EXPECT_EQ(ProductPictures::TThumbnail::DecodeCount() - Start, 6);
}

TEST_F(ProductWindow, OpeningAPageFillsEveryThumbnail)
{
    TScriptedUi Ui;
    auto Form = Open(3);
    QImage Image(300, 100, QImage::Format_RGB32);
    Image.fill(Qt::red);
    ASSERT_TRUE(Image.save(Data.File(QStringLiteral("a.jpg")), "JPEG"));
    QStringList Lines = Form->Page().Lines();
    Lines[LineOf(*Form, QStringLiteral("{$1}")) + 1] = QStringLiteral("{$IMG}=a.jpg");
    Lines[LineOf(*Form, QStringLiteral("{$3}")) + 1] = QStringLiteral("{$IMG}=") + Data.File(QStringLiteral("a.jpg"));
    Form->Page().SetLines(Lines);
    Form->ResetGrid();
    Form->LoadGridFromPage();
    EXPECT_TRUE(Form->CellGrid1->HasPicture(1, 1));
    EXPECT_FALSE(Form->CellGrid1->HasPicture(1, 7));
    EXPECT_TRUE(Form->CellGrid1->HasPicture(1, 13));
    const auto Thumbnail = Form->LoadCellPicture(Data.File(QStringLiteral("a.jpg")));
    EXPECT_EQ(Thumbnail->Height(), Form->CellGrid1->CellExtent(1, 1).Y - 3);
    EXPECT_EQ(Thumbnail->Width(), qRound(300.0 * Thumbnail->Height() / 100));
}

using TestSupport::TPaintCounter;

TEST_F(ProductWindow, APageOfManyProductsDecodesOnlyThePicturesShown)
{
    TScriptedUi Ui;
    const int Products = 150;
    QImage Image(300, 100, QImage::Format_RGB32);
    Image.fill(Qt::red);
    ASSERT_TRUE(Image.save(Data.File(QStringLiteral("a.jpg")), "JPEG"));
    QStringList Lines = PageLines(NumberedHeader(), Products);
    for (int N = 1; N <= Products; ++N)
        Lines[Lines.indexOf(QStringLiteral("{$%1}").arg(N)) + 1] = QStringLiteral("{$IMG}=a.jpg");
    SaveLines(Data.File(QStringLiteral("many.qbt")), Lines);
    auto Form = Start({});
    Form->resize(900, 700);
    Form->show();
    QApplication::processEvents();

    const int Before = ProductPictures::TThumbnail::DecodeCount();
    TPaintCounter Box(Form->GroupBox3);
    Form->OpenPage(Data.File(QStringLiteral("many.qbt")));
    // The progress box is painted as its bar moves on (the bar and the
    // caption each paint it), not once for each of the page's lines.
    EXPECT_GT(Box.Paints, 0);
    EXPECT_LE(Box.Paints, 250) << Lines.size() << " lines";
    QApplication::processEvents();
    TProductGrid *Grid = Form->CellGrid1;
    ASSERT_EQ(Grid->RowCount(), 6 * Products + 1);
    const int Last = 6 * Products - 5;
    EXPECT_TRUE(Grid->HasPicture(1, 1));
    EXPECT_TRUE(Grid->HasPicture(1, Last));
    // What shows is decoded, and only that.
    EXPECT_TRUE(Grid->PictureDecoded(1, 1));
    EXPECT_FALSE(Grid->PictureDecoded(1, Last));
    const int Shown = ProductPictures::TThumbnail::DecodeCount() - Before;
    EXPECT_GE(Shown, 1);
    EXPECT_LE(Shown, Grid->VisibleRowCount() / 6 + 2);
    const QImage Top = Grid->RenderToImage();
    // The middle of the picture cell (rows 1 to 5).
    const TRect Cell = Grid->CellRect(1, 1);
    const QColor Colour(Top.pixel((Cell.Left + Cell.Right) / 2, (Cell.Top + Grid->CellRect(1, 5).Bottom) / 2));
    EXPECT_GT(Colour.red(), 200);
    EXPECT_LT(Colour.green(), 60);

    // Scrolled to the end, the last product's picture is decoded as it comes into view.
    Grid->FocusCell(3, Last);
    QApplication::processEvents();
    Grid->RenderToImage();
    EXPECT_TRUE(Grid->PictureDecoded(1, Last));
    EXPECT_FALSE(Grid->PictureDecoded(1, 6 * (Products / 2) - 5));
    EXPECT_LE(ProductPictures::TThumbnail::DecodeCount() - Before, 2 * (Grid->VisibleRowCount() / 6 + 2));
}

namespace {

// Paints an animated GIF picture the way a picture control does: loaded from
// its file, drawn with the library's own options, freed.
class TGifPainting : public QWidget {
public:
    explicit TGifPainting(const QString &File) : FFile(File) { resize(64, 48); }

protected:
    void paintEvent(QPaintEvent *) override
    {
        QPainter Painter(this);
        TCanvas Canvas(&Painter);
        TPicture Picture;
        Picture.LoadFromFile(FFile);
        Canvas.StretchDraw(TRect(0, 0, width(), height()), Picture.Graphic());
    }

private:
    QString FFile;
};

} // namespace

TEST_F(ProductWindow, APageWithAnAnimatedGifIsRepaintedAfterEachCommandAndNoPaintTakesEvents)
{
    TScriptedUi Ui;
    const QString Gif = Data.File(QStringLiteral("anim.gif"));
    ASSERT_TRUE(QFile::copy(TestSupport::SourceDir() + QStringLiteral("/tests/fixtures/gif/anim.gif"), Gif));
    const int Products = 14;
    QStringList Lines = PageLines(NumberedHeader(), Products);
    for (int N = 1; N <= Products; N += 2)
        Lines[Lines.indexOf(QStringLiteral("{$%1}").arg(N)) + 1] = QStringLiteral("{$IMG}=anim.gif");
    SaveLines(Data.File(QStringLiteral("gif.qbt")), Lines);
    auto Form = Start({Data.File(QStringLiteral("gif.qbt"))});
    Form->resize(900, 700);
    Form->show();
    QApplication::processEvents();
    TProductGrid *Grid = Form->CellGrid1;
    ASSERT_TRUE(Grid->HasPicture(1, 1));

    TestSupport::TEventsInPaint InPaint;
    time_t Stamp = time(nullptr) - 100000;
    const auto Repaint = [&] {
        // The picture changed on disk: the paint decodes its thumbnail again.
        const utimbuf Times{++Stamp, Stamp};
        ASSERT_EQ(::utime(QFile::encodeName(Gif).constData(), &Times), 0);
        for (int I = 0; I < 3; ++I) {
            InPaint.Repaint(Grid->viewport());
            QApplication::processEvents();
        }
    };
    Repaint();
    EXPECT_TRUE(Grid->PictureDecoded(1, 1));
    for (int Round = 0; Round < 10; ++Round) {
        Grid->SetCurrentCell(3, 1);
        Ui.Prompts->AnswerText(QStringLiteral("12.50"));
        Form->N32Click();   // 自动输入固定价格
        Repaint();
        Ui.Prompts->AnswerText(QStringLiteral("1 2"));
        Form->N62Click();   // 交换资料顺序
        Repaint();
        Ui.Prompts->AnswerText(QStringLiteral("2 3"));
        Form->N61Click();   // 交换图片顺序
        Repaint();
        Grid->SetCurrentCell(3, 13);
        Ui.Prompts->AnswerText(QStringLiteral("1"));
        Form->N77Click();   // 移动
        Repaint();
        Grid->SetCurrentCell(3, 1);
        Ui.Prompts->AnswerButton(QStringLiteral("Yes"));
        Form->SpeedButton4Click();   // 删除单个
        Repaint();
    }
    EXPECT_EQ(Grid->RowCount(), 6 * (Products - 10) + 1);
    EXPECT_EQ(Form->Page().Strings(LineOf(*Form, QStringLiteral("{$1}")) + 4), QStringLiteral("{$PPRICE}=12.50"));
    EXPECT_GT(InPaint.Seen, 0);
    EXPECT_EQ(InPaint.Taken, 0) << "events taken inside the grid's paint";

    // A GIF picture drawn inside any paint, with its animation's painter:
    // no event either.
    TGifPainting Picture(Gif);
    Picture.show();
    QApplication::processEvents();
    TestSupport::TEventsInPaint InPicture;
    for (int I = 0; I < 20; ++I)
        InPicture.Repaint(&Picture);
    QApplication::processEvents();
    EXPECT_GT(InPicture.Seen, 0);
    EXPECT_EQ(InPicture.Taken, 0) << "events taken inside the picture's paint";
}

TEST_F(ProductWindow, ALongImportPaintsTheGridAsItsBarMovesOn)
{
    TScriptedUi Ui;
    auto Form = Open(0);
    Form->resize(900, 700);
    Form->show();
    QApplication::processEvents();
    const int Pictures = 250;
    QStringList Files;
    for (int I = 1; I <= Pictures; ++I) {
        Files << Other.File(QStringLiteral("p%1.jpg").arg(I));
        TestSupport::WriteAll(Files.last(), QByteArray("x"));
    }
    TPaintCounter Grid(Form->CellGrid1->viewport());
    Ui.Answer({IDOK});   // the files are no pictures
    Form->ImportPictureFiles(Files.join(QStringLiteral("\r\n")));
    EXPECT_EQ(Form->CellGrid1->RowCount(), 6 * Pictures + 1);
    EXPECT_EQ(Form->CellGrid1->Cells(1, 6 * Pictures), Files.last());
    // Every paint of the grid costs what it shows: painting it for every
    // picture made a long import cost the square of its pictures.
    EXPECT_GT(Grid.Paints, 0);
    EXPECT_LE(Grid.Paints, 120);
}

TEST_F(ProductWindow, ManyInsertedPicturesRenumberThePageOnce)
{
    TScriptedUi Ui;
    const int Products = 200, Pictures = 40;
    auto Form = Open(Products);
    QStringList Files;
    QImage Image(40, 30, QImage::Format_RGB32);
    Image.fill(Qt::green);
    for (int I = 1; I <= Pictures; ++I) {
        Files << Data.File(QStringLiteral("i%1.jpg").arg(I));
        ASSERT_TRUE(Image.save(Files.last(), "JPEG"));
    }
    QTextDocument *Doc = Form->RichEdit1->document();
    const int Size = Doc->characterCount();
    qint64 Replaced = 0;
    QObject::connect(Doc, &QTextDocument::contentsChange,
                     [&](int, int Removed, int Added) { Replaced += Removed + Added; });
    Form->CellGrid1->SetCurrentCell(3, 6 * 100 - 5);
    Ui.Prompts->AnswerFiles(Files);
    Form->Button8Click();
    // The later products are renumbered once, not once for each picture.
    EXPECT_LE(Replaced, 3 * qint64(Size));
    EXPECT_EQ(Form->RichEdit1->toPlainText(), Form->Page().Lines().join(QLatin1Char('\n')));

    // The same as inserting the pictures one at a time.
    auto One = Open(Products);
    for (const QString &File : Files) {
        One->CellGrid1->SetCurrentCell(3, 6 * 100 - 5);
        Ui.Prompts->AnswerFiles({File});
        One->Button8Click();
    }
    EXPECT_EQ(Form->Page().Lines(), One->Page().Lines());
    ASSERT_EQ(Form->CellGrid1->RowCount(), 6 * (Products + Pictures) + 1);
    ASSERT_EQ(One->CellGrid1->RowCount(), Form->CellGrid1->RowCount());
    for (int R = 1; R < Form->CellGrid1->RowCount(); ++R)
        for (int C : {0, 1, 3, 5})
            ASSERT_EQ(Form->CellGrid1->Cells(C, R), One->CellGrid1->Cells(C, R)) << C << ", " << R;
    EXPECT_EQ(Form->Page().Strings(LineOf(*Form, QStringLiteral("{$100}")) + 1),
              QStringLiteral("{$IMG}=i%1.jpg").arg(Pictures));
    EXPECT_EQ(Form->Page().Strings(LineOf(*Form, QStringLiteral("{$%1}").arg(100 + Pictures)) + 2),
              QStringLiteral("{$PID}=P100"));
    EXPECT_EQ(Form->CellGrid1->Row(), 6 * 100 - 5);
}

TEST_F(ProductWindow, SelectingCellsShowsTheirLinesAndDoubleClicks)
{
    TScriptedUi Ui;
    auto Form = Open(2);
    Form->CellGrid1->FocusCell(5, 7);
    const QTextCursor Caret = Form->RichEdit1->textCursor();
    EXPECT_EQ(Caret.blockNumber(), LineOf(*Form, QStringLiteral("{$2}")) + 3);
    EXPECT_EQ(Caret.positionInBlock(), 9);   // just after "{$PNAME}="
    Form->CellGrid1->FocusCell(1, 12);
    EXPECT_EQ(Form->RichEdit1->textCursor().blockNumber(), LineOf(*Form, QStringLiteral("{$2}")) + 1);

    const bool Shown = Form->GroupBox1->isVisibleTo(Form.get());
    Form->CellGrid1DblClickCell(3, 3, false);
    EXPECT_NE(Form->GroupBox1->isVisibleTo(Form.get()), Shown);
    // On the picture column without a picture, and on a path row, nothing happens.
    Form->CellGrid1DblClickCell(2, 1, true);
    Form->CellGrid1DblClickCell(6, 1, true);
    EXPECT_TRUE(Ui.Texts().isEmpty());
}

TEST_F(ProductWindow, FolderImportWithAndWithoutSubFolders)
{
    TScriptedUi Ui;
    auto Form = Open(0);
    const QString Folder = Other.File(QStringLiteral("pics"));
    QDir().mkpath(Folder + QStringLiteral("/sub"));
    for (const char *Name : {"a.jpg", "sub/b.jpg", "c.bmp"})
        TestSupport::WriteAll(Folder + QLatin1Char('/') + QString::fromLatin1(Name), QByteArray("x"));
    Ui.Prompts->AnswerFolder(Folder);
    Ui.Answer({IDOK});   // the files are no pictures
    Form->SpeedButton2Click(false);
    EXPECT_EQ(Form->CellGrid1->RowCount(), 7);
    EXPECT_EQ(Form->CellGrid1->Cells(1, 6), Folder + QStringLiteral("/a.jpg"));
    Ui.Prompts->AnswerFolder(Folder);
    Ui.Answer({IDOK});
    Form->SpeedButton2Click(true);
    EXPECT_EQ(Form->CellGrid1->RowCount(), 19);
    EXPECT_EQ(Form->CellGrid1->Cells(1, 18), Folder + QStringLiteral("/sub/b.jpg"));
    EXPECT_EQ(Ui.Prompts->Records().first().Caption + Ui.Prompts->Records().first().Text, QStringLiteral("请选择一个文件夹："));
}

TEST_F(ProductWindow, PageTextBoxFollowsThePageLineByLine)
{
    TScriptedUi Ui;
    auto Form = Open(500);
    Form->resize(900, 700);
    Form->show();
    QPlainTextEdit *Box = Form->RichEdit1;
    QTextDocument *Doc = Box->document();
    auto Same = [&] { return Box->toPlainText() == Form->Page().Lines().join(QLatin1Char('\n')); };
    ASSERT_TRUE(Same());
    struct TEdit {
        int From, Removed, Added;
    };
    QList<TEdit> Edits;
    QObject::connect(Doc, &QTextDocument::contentsChange,
                     [&](int From, int Removed, int Added) { Edits.append({From, Removed, Added}); });

    // One key in the name of product 250: its line alone changes in the box,
    // which keeps its place and no undo history, and the page is modified.
    const int Block = LineOf(*Form, QStringLiteral("{$250}"));
    Form->CellGrid1->SetCurrentCell(5, 6 * 250 - 5);
    ASSERT_TRUE(Form->Edit1->isVisible());
    const int Scroll = Box->verticalScrollBar()->value();
    ASSERT_GT(Scroll, 1000);
    Edits.clear();
    Form->Edit1->insert(QStringLiteral("X"));
    EXPECT_EQ(Form->Page().Strings(Block + 3), QStringLiteral("{$PNAME}=商品250X"));
    int Removed = 0, Added = 0;
    for (const TEdit &E : Edits) {
        Removed += E.Removed;
        Added += E.Added;
    }
    EXPECT_EQ(Edits.size(), 1);
    EXPECT_LE(Removed, 20);
    EXPECT_LE(Added, 20);
    EXPECT_EQ(Doc->findBlock(Edits.value(0).From).blockNumber(), Block + 3);
    EXPECT_TRUE(Same());
    EXPECT_EQ(Box->verticalScrollBar()->value(), Scroll);
    EXPECT_FALSE(Doc->isUndoAvailable());
    EXPECT_TRUE(Form->SpeedButton9->isEnabled());

    // Typing into a description, Enter included.
    Form->CellGrid1->SetCurrentCell(3, 6 * 499 - 2);
    for (const QChar C : QStringLiteral("长描述 text")) {
        QKeyEvent Key(QEvent::KeyPress, 0, Qt::NoModifier, QString(C));
        QApplication::sendEvent(Form->Edit1, &Key);
    }
    QKeyEvent Enter(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
    QApplication::sendEvent(Form->Edit1, &Enter);
    EXPECT_EQ(Form->Page().Strings(LineOf(*Form, QStringLiteral("{$499}")) + 8),
              QStringLiteral("{$PNOTE}=好长描述 text<br>"));
    EXPECT_TRUE(Same());

    // Auto-fill of every product, inserting, deleting and clearing products.
    Form->N36Click();
    EXPECT_EQ(Form->Page().Strings(LineOf(*Form, QStringLiteral("{$500}")) + 3), QStringLiteral("{$PNAME}=P500"));
    EXPECT_TRUE(Same());
    Form->CellGrid1->SetCurrentCell(3, 6 * 10 - 5);
    Form->Button4Click();
    EXPECT_EQ(Form->CellGrid1->RowCount(), 6 * 501 + 1);
    EXPECT_TRUE(Same());
    Ui.Answer({IDYES, IDYES});
    Form->N51Click();
    Form->SpeedButton4Click();
    EXPECT_EQ(Form->CellGrid1->RowCount(), 6 * 500 + 1);
    EXPECT_TRUE(Same());

    // A repair of a page whose header grew two lines.
    QStringList Lines = Form->Page().Lines();
    Lines.insert(3, QString());
    Lines.insert(3, QString());
    Form->Page().SetLines(Lines);
    EXPECT_TRUE(Same());
    Ui.Answer({IDOK});
    Form->QBT1Click();
    EXPECT_EQ(LineOf(*Form, QStringLiteral("{$1}")), 23);
    EXPECT_TRUE(Same());

    // A line end or paragraph mark inside a value stays inside its line in the
    // box, so every later line keeps its number there.
    Form->Page().SetValues(QStringLiteral("{Catalog说明}"), QStringLiteral("甲") + QChar(0x2029) + QStringLiteral("乙"));
    EXPECT_EQ(Doc->blockCount(), Form->Page().Count());
    Form->CellGrid1->FocusCell(3, 1);
    EXPECT_EQ(Box->textCursor().block().text(), Form->Page().Strings(LineOf(*Form, QStringLiteral("{$1}")) + 2));
    Form->Page().SetValues(QStringLiteral("{Catalog说明}"), QStringLiteral("说明"));
    EXPECT_TRUE(Same());

    // Deleting all products, closing, a new page, opening again.
    Ui.Answer({IDYES});
    Form->BitBtn1Click();
    EXPECT_TRUE(Same());
    Form->ClosePage();
    EXPECT_TRUE(Box->toPlainText().isEmpty());
    Form->NewPage();
    EXPECT_EQ(Form->Page().Count(), 20);
    EXPECT_TRUE(Same());
    Form->OpenPage(Data.File(QStringLiteral("page.qbt")));
    EXPECT_EQ(Form->Page().Count(), 23 + 9 * 500);
    EXPECT_TRUE(Same());
}

TEST_F(ProductWindow, EveryKeyTypedWhereverTheCellIsClickedReachesTheSavedPage)
{
    TScriptedUi Ui;
    const QString Page = WritePage(QStringLiteral("page.qbt"), 2);
    auto Form = Start({Page});
    Form->resize(1920, 1080);
    Form->show();
    Form->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(Form.get()));
    QApplication::processEvents();
    TProductGrid *Grid = Form->CellGrid1;
    QWidget *Cells = Grid->viewport();
    QImage Image(40, 30, QImage::Format_RGB32);
    Image.fill(Qt::red);
    const QString Picture1 = Data.File(QStringLiteral("one.jpg")), Picture2 = Data.File(QStringLiteral("two.jpg"));
    ASSERT_TRUE(Image.save(Picture1, "JPEG"));
    ASSERT_TRUE(Image.save(Picture2, "JPEG"));

    // A click where a user clicks: the point of the cell's own rectangle (a
    // part of a merged cell) at (Fx, Fy) of its width and height.
    auto ClickAt = [&](int ACol, int ARow, double Fx, double Fy) {
        const TRect R = Grid->GetSingleCellRect(ACol, ARow);
        ASSERT_GT(R.Right - R.Left, 8);
        ASSERT_GT(R.Bottom - R.Top, 8);
        const QPoint At(R.Left + int((R.Right - R.Left) * Fx), R.Top + int((R.Bottom - R.Top) * Fy));
        int HitCol = -1, HitRow = -1;
        Grid->MouseToCell(At.x(), At.y(), HitCol, HitRow);
        ASSERT_EQ(HitCol, ACol);
        ASSERT_EQ(HitRow, ARow);
        QTest::mouseClick(Cells, Qt::LeftButton, Qt::NoModifier, At);
        QApplication::processEvents();
    };
    // Each key goes where the keyboard is at that moment, as a user's does.
    auto Type = [](const QString &Text) {
        for (const QChar C : Text) {
            ASSERT_NE(QApplication::focusWidget(), nullptr);
            QTest::keyClick(QApplication::focusWidget(), C.toLatin1());
            QApplication::processEvents();
        }
    };
    auto Key = [](Qt::Key K, Qt::KeyboardModifiers Mods = Qt::NoModifier) {
        ASSERT_NE(QApplication::focusWidget(), nullptr);
        QTest::keyClick(QApplication::focusWidget(), K, Mods);
        QApplication::processEvents();
    };
    auto Value = [](const QStringList &Lines, int Block, int Offset) {
        const int At = int(Lines.indexOf(QStringLiteral("{$%1}").arg(Block)));
        return At < 0 ? QString() : Lines.value(At + Offset);
    };
    auto InPage = [&](int Block, int Offset) { return Value(Form->Page().Lines(), Block, Offset); };
    auto Saved = [&](int Block, int Offset) { return Value(LoadLines(Page), Block, Offset); };

    // The lower half of product 1's description: Enter types a line break
    // there; Tab ends the edit.
    ClickAt(3, 5, 0.3, 0.8);
    Type(QStringLiteral("ab"));
    Key(Qt::Key_Return);
    Type(QStringLiteral("c"));
    EXPECT_EQ(Form->Edit1->text(), QStringLiteral("好ab<br>c"));
    Key(Qt::Key_Tab);
    EXPECT_EQ(InPage(1, 8), QStringLiteral("{$PNOTE}=好ab<br>c"));
    EXPECT_EQ(Grid->Cells(3, 4), QStringLiteral("好ab<br>c"));
    EXPECT_TRUE(Form->SpeedButton9->isEnabled());

    // The right part of product 2's description's upper row; an arrow key
    // ends the edit.
    ClickAt(5, 10, 0.7, 0.5);
    Type(QStringLiteral("de"));
    Key(Qt::Key_Return);
    Type(QStringLiteral("f"));
    EXPECT_EQ(Form->Edit1->text(), QStringLiteral("好de<br>f"));
    Key(Qt::Key_Down);
    EXPECT_EQ(InPage(2, 8), QStringLiteral("{$PNOTE}=好de<br>f"));
    EXPECT_EQ(Grid->Cells(3, 10), QStringLiteral("好de<br>f"));

    // Under 名称 in product 1's upper row; a click in the page text ends the edit.
    ClickAt(4, 4, 0.5, 0.5);
    Type(QStringLiteral("g"));
    QTest::mouseClick(Form->RichEdit1->viewport(), Qt::LeftButton, Qt::NoModifier, QPoint(20, 20));
    QApplication::processEvents();
    EXPECT_EQ(InPage(1, 8), QStringLiteral("{$PNOTE}=好ab<br>cg"));

    // Product 2's lower half, right part; Ctrl+S while the editor is open.
    ClickAt(5, 11, 0.8, 0.7);
    Type(QStringLiteral("h"));
    EXPECT_TRUE(Form->SpeedButton9->isEnabled());
    Key(Qt::Key_S, Qt::ControlModifier);
    EXPECT_FALSE(Form->SpeedButton9->isEnabled());
    EXPECT_EQ(Saved(1, 8), QStringLiteral("{$PNOTE}=好ab<br>cg"));
    EXPECT_EQ(Saved(2, 8), QStringLiteral("{$PNOTE}=好de<br>fh"));
    EXPECT_EQ(Grid->Cells(3, 10), QStringLiteral("好de<br>fh"));

    // The picture path under product 1's picture: typed in, the picture, the
    // page and the saved file follow; Ctrl+S while the path is being typed.
    EXPECT_FALSE(Grid->HasPicture(1, 1));
    ClickAt(1, 6, 0.5, 0.5);
    Type(Picture1);
    EXPECT_EQ(Grid->Cells(1, 6), Picture1);
    EXPECT_EQ(InPage(1, 1), QStringLiteral("{$IMG}=") + Picture1);
    EXPECT_TRUE(Grid->HasPicture(1, 1));
    EXPECT_TRUE(Form->SpeedButton9->isEnabled());
    Key(Qt::Key_S, Qt::ControlModifier);
    EXPECT_EQ(Saved(1, 1), QStringLiteral("{$IMG}=") + Picture1);
    EXPECT_FALSE(Form->SpeedButton9->isEnabled());

    // Esc takes what was typed into the path back, out of the page too.
    ClickAt(1, 6, 0.5, 0.5);
    Type(QStringLiteral("x"));
    EXPECT_NE(Grid->Cells(1, 6), Picture1);
    EXPECT_EQ(InPage(1, 1), QStringLiteral("{$IMG}=") + Grid->Cells(1, 6));
    Key(Qt::Key_Escape);
    EXPECT_EQ(Grid->Cells(1, 6), Picture1);
    EXPECT_EQ(InPage(1, 1), QStringLiteral("{$IMG}=") + Picture1);
    EXPECT_TRUE(Grid->HasPicture(1, 1));

    // Product 2's path and its description's upper right part, each left
    // open or ended by a click elsewhere: closing asks, and 是 saves both.
    ClickAt(5, 10, 0.5, 0.3);
    Type(QStringLiteral("k"));
    ClickAt(1, 12, 0.5, 0.5);
    Type(Picture2);
    EXPECT_TRUE(Grid->HasPicture(1, 7));
    Ui.Answer({IDYES});
    EXPECT_TRUE(Form->close());
    EXPECT_EQ(Ui.Asked().value(0).Text, QStringLiteral("有资料修改后尚未保存，是否存盘？"));
    EXPECT_EQ(Saved(2, 8), QStringLiteral("{$PNOTE}=好de<br>fhk"));
    EXPECT_EQ(Saved(2, 1), QStringLiteral("{$IMG}=") + Picture2);
    EXPECT_EQ(Saved(1, 1), QStringLiteral("{$IMG}=") + Picture1);
}

namespace {

// The main window as a user meets it: maximised on a 1920x1080 desktop,
// clicked, typed into and wheeled where the user points.
class ShownProductWindow : public ProductWindow {
protected:
    TForm1 *Show(int Blocks)
    {
        Page = WritePage(QStringLiteral("page.qbt"), Blocks);
        Form = Start({Page});
        Form->resize(1920, 1080);
        Form->show();
        Form->activateWindow();
        EXPECT_TRUE(QTest::qWaitForWindowActive(Form.get()));
        QApplication::processEvents();
        return Form.get();
    }
    // The middle of the part of a cell that (ACol, ARow) itself covers.
    QPoint CellPoint(int ACol, int ARow)
    {
        const TRect R = Form->CellGrid1->GetSingleCellRect(ACol, ARow);
        return QPoint((R.Left + R.Right) / 2, (R.Top + R.Bottom) / 2);
    }
    void ClickCell(int ACol, int ARow)
    {
        QTest::mouseClick(Form->CellGrid1->viewport(), Qt::LeftButton, Qt::NoModifier, CellPoint(ACol, ARow));
        QApplication::processEvents();
    }
    // Each key goes where the keyboard is at that moment.
    static void Type(const QString &Text)
    {
        for (const QChar C : Text) {
            ASSERT_NE(QApplication::focusWidget(), nullptr);
            QTest::keyClick(QApplication::focusWidget(), C.toLatin1());
            QApplication::processEvents();
        }
    }
    static void Key(Qt::Key K, Qt::KeyboardModifiers Mods = Qt::NoModifier)
    {
        ASSERT_NE(QApplication::focusWidget(), nullptr);
        QTest::keyClick(QApplication::focusWidget(), K, Mods);
        QApplication::processEvents();
    }
    // One notch of the wheel (towards the user) with the pointer at At of the
    // grid's cells: the widget under the pointer gets it, and what it leaves
    // goes on to its parents, as Qt delivers the wheel.
    void WheelDown(const QPoint &At)
    {
        QWidget *Cells = Form->CellGrid1->viewport();
        const QPoint Global = Cells->mapToGlobal(At);
        QWidget *W = Form->childAt(Form->mapFromGlobal(Global));
        for (; W; W = W->parentWidget()) {
            QWheelEvent Wheel(QPointF(W->mapFromGlobal(Global)), QPointF(Global), QPoint(), QPoint(0, -120),
                              Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
            QApplication::sendEvent(W, &Wheel);
            if (Wheel.isAccepted() || W->isWindow())
                break;
        }
        QApplication::processEvents();
    }
    // Line Offset of block Block in Lines.
    static QString Value(const QStringList &Lines, int Block, int Offset)
    {
        const int At = int(Lines.indexOf(QStringLiteral("{$%1}").arg(Block)));
        return At < 0 ? QString() : Lines.value(At + Offset);
    }

    QString Page;
    std::unique_ptr<TForm1> Form;
};

} // namespace

TEST_F(ShownProductWindow, TabLeadsWhatIsTypedToTheNextTextCell)
{
    TScriptedUi Ui;
    TForm1 *F = Show(20);
    // 编号 of product 1, Tab: 名称 takes the typing.
    ClickCell(3, 1);
    Key(Qt::Key_Tab);
    Type(QStringLiteral("TABX"));
    EXPECT_EQ(Value(F->Page().Lines(), 1, 3), QStringLiteral("{$PNAME}=商品1TABX"));
    EXPECT_EQ(F->CellGrid1->Cells(5, 1), QStringLiteral("商品1TABX"));
    EXPECT_TRUE(F->SpeedButton9->isEnabled());
    // On through 单价 to the description, then the next product's 编号;
    // Shift+Tab goes back.
    for (int I = 0; I < 6; ++I)
        Key(Qt::Key_Tab);
    Type(QStringLiteral("N"));
    EXPECT_EQ(Value(F->Page().Lines(), 2, 2), QStringLiteral("{$PID}=P2N"));
    Key(Qt::Key_Backtab);
    Type(QStringLiteral("D"));
    EXPECT_EQ(Value(F->Page().Lines(), 1, 8), QStringLiteral("{$PNOTE}=好D"));
    // From the label 编号： the keys go to the 编号 beside it.
    ClickCell(2, 13);
    Key(Qt::Key_Tab);
    Type(QStringLiteral("L"));
    EXPECT_EQ(Value(F->Page().Lines(), 3, 2), QStringLiteral("{$PID}=P3L"));
    // On to the last product's description: Tab there keeps the keys in it.
    const int LastNote = 6 * 20 - 2;
    for (int I = 0; I < 7 * 20 && F->CellGrid1->Row() < LastNote; ++I)
        Key(Qt::Key_Tab);
    ASSERT_EQ(F->CellGrid1->Row(), LastNote);
    Type(QStringLiteral("E"));
    Key(Qt::Key_Tab);
    Type(QStringLiteral("Z"));
    EXPECT_EQ(Value(F->Page().Lines(), 20, 8), QStringLiteral("{$PNOTE}=好EZ"));

    Key(Qt::Key_S, Qt::ControlModifier);
    const QStringList Saved = LoadLines(Page);
    EXPECT_EQ(Value(Saved, 1, 3), QStringLiteral("{$PNAME}=商品1TABX"));
    EXPECT_EQ(Value(Saved, 2, 2), QStringLiteral("{$PID}=P2N"));
    EXPECT_EQ(Value(Saved, 1, 8), QStringLiteral("{$PNOTE}=好D"));
    EXPECT_EQ(Value(Saved, 3, 2), QStringLiteral("{$PID}=P3L"));
    EXPECT_EQ(Value(Saved, 20, 8), QStringLiteral("{$PNOTE}=好EZ"));
}

TEST_F(ShownProductWindow, APicturePickedWithThePathCellsButtonIsStoredRelativeToThePageFolder)
{
    TScriptedUi Ui;
    TForm1 *F = Show(2);
    QImage Image(40, 30, QImage::Format_RGB32);
    Image.fill(Qt::yellow);
    ASSERT_TRUE(QDir(Data.Path()).mkpath(QStringLiteral("pics")));
    const QString Inside = Data.File(QStringLiteral("pics/pick.jpg")), Outside = Other.File(QStringLiteral("far.jpg"));
    ASSERT_TRUE(Image.save(Inside, "JPEG"));
    ASSERT_TRUE(Image.save(Outside, "JPEG"));
    // The path cell's "..." button, clicked, answered with a picture below the
    // page's folder, then with one elsewhere.
    const auto Pick = [&](int PathRow, const QString &File) {
        ClickCell(1, PathRow);
        Key(Qt::Key_F2);
        TGridEditBtn *Editor = F->CellGrid1->GridEditBtn();
        ASSERT_TRUE(Editor->isVisible());
        Ui.AnswerFile(File);
        QTest::mouseClick(Editor->Button()->SpeedButton(), Qt::LeftButton);
        QApplication::processEvents();
    };
    Pick(6, Inside);
    Pick(12, Outside);
    EXPECT_EQ(F->CellGrid1->Cells(1, 6), Inside) << "the cell shows the file itself";
    EXPECT_TRUE(F->CellGrid1->HasPicture(1, 1));
    Key(Qt::Key_S, Qt::ControlModifier);
    const QStringList Saved = LoadLines(Page);
    EXPECT_EQ(Value(Saved, 1, 1), QStringLiteral("{$IMG}=pics/pick.jpg"));
    EXPECT_EQ(Value(Saved, 2, 1), QStringLiteral("{$IMG}=") + Outside);
}

TEST_F(ShownProductWindow, TheWheelWalksThroughEveryProductAndTheViewFollows)
{
    TScriptedUi Ui;
    TForm1 *F = Show(20);
    TProductGrid *Grid = F->CellGrid1;
    ASSERT_EQ(Grid->BaseCell(Grid->Col(), Grid->Row()), TPoint(3, 1));
    // The pointer rests over product 2's 重量: the current cell and its
    // editor come down to it, and the wheel goes on over the editor.
    const QPoint At = CellPoint(3, 9);
    const int Last = 6 * 20 - 5;
    bool OverEditor = false;
    int Turns = 0;
    while (Grid->Row() < Last && Turns < Grid->RowCount()) {
        const int Before = Grid->Row();
        OverEditor = OverEditor || (F->Edit1->isVisible() && F->Edit1->geometry().contains(At));
        WheelDown(At);
        ++Turns;
        ASSERT_GT(Grid->Row(), Before) << "turn " << Turns << " moved nothing";
        // The view follows: the current cell's whole block shows.
        const TRect R = Grid->GetCellRect(Grid->Col(), Grid->Row());
        EXPECT_GE(R.Top, 0) << "row " << Grid->Row();
        EXPECT_LE(R.Bottom, Grid->viewport()->height()) << "row " << Grid->Row();
        // The keyboard stays with the grid or the editor over its cell.
        ASSERT_TRUE(QApplication::focusWidget() == Grid || QApplication::focusWidget() == F->Edit1)
            << "turn " << Turns << ": " << QApplication::focusWidget()->objectName().toStdString();
    }
    EXPECT_TRUE(OverEditor);
    EXPECT_GE(Grid->Row(), Last);
    EXPECT_GT(Grid->TopRow(), Last - 20);
}

TEST_F(ShownProductWindow, TheFoundCellTakesTheKeysAndShowsWhole)
{
    TScriptedUi Ui;
    QStringList Lines = PageLines(NumberedHeader(), 20);
    Lines[Lines.indexOf(QStringLiteral("{$17}")) + 8] = QStringLiteral("{$PNOTE}=蓝色茶杯");
    SaveLines(Data.File(QStringLiteral("p.qbt")), Lines);
    Form = Start({Data.File(QStringLiteral("p.qbt"))});
    Page = Data.File(QStringLiteral("p.qbt"));
    Form->resize(1920, 1080);
    Form->show();
    Form->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(Form.get()));
    QApplication::processEvents();
    TForm1 *F = Form.get();
    // 搜索 (Ctrl+F), 搜索当前页面: the dialog runs modally, as the user meets it.
    const auto Search = [&](const QString &Text) {
        Ui.OnModal = [Text](QDialog *D) {
            QTimer::singleShot(0, D, [D, Text] {
                auto *Dialog = static_cast<TForm8 *>(D);
                Dialog->RadioButton3->setChecked(true);
                Dialog->Edit1->setText(Text);
                QTest::mouseClick(Dialog->Button1, Qt::LeftButton);
            });
            return D->exec();
        };
        Key(Qt::Key_F, Qt::ControlModifier);
        // The window system gives the main window the keyboard back.
        F->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(F));
        QApplication::processEvents();
    };
    const auto ShownWhole = [&] {
        const TRect R = F->CellGrid1->GetCellRect(F->CellGrid1->Col(), F->CellGrid1->Row());
        const QRect Box(R.Left, R.Top, R.Right - R.Left, R.Bottom - R.Top);
        return F->CellGrid1->viewport()->rect().contains(Box) && F->Edit1->geometry() == Box;
    };

    Search(QStringLiteral("P17"));
    EXPECT_EQ(F->CellGrid1->Row(), 97);
    EXPECT_TRUE(ShownWhole());
    Type(QStringLiteral("Q"));
    EXPECT_EQ(Value(F->Page().Lines(), 17, 2), QStringLiteral("{$PID}=P17Q"));

    // A description found below the view shows with both of its rows.
    Key(Qt::Key_Up);
    F->CellGrid1->SetTopRow(1);
    QApplication::processEvents();
    Search(QStringLiteral("茶杯"));
    EXPECT_EQ(F->CellGrid1->Row(), 100);
    EXPECT_TRUE(ShownWhole());
    Type(QStringLiteral("Z"));
    EXPECT_EQ(Value(F->Page().Lines(), 17, 8), QStringLiteral("{$PNOTE}=蓝色茶杯Z"));

    Key(Qt::Key_S, Qt::ControlModifier);
    EXPECT_EQ(Value(LoadLines(Page), 17, 2), QStringLiteral("{$PID}=P17Q"));
    EXPECT_EQ(Value(LoadLines(Page), 17, 8), QStringLiteral("{$PNOTE}=蓝色茶杯Z"));
}
