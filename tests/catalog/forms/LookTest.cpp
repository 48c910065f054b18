// How the product grid and the dialogs' grids use their room: columns that share
// the window's width, long paths elided with the whole path as hint, label
// columns as wide as their longest label; and every dialog on the screens of
// small notebooks.

#include "WindowFixture.h"
#include "catalog/forms/AboutBox.h"
#include "catalog/forms/CompanyDialog.h"
#include "catalog/forms/Forms.h"
#include "catalog/forms/PageSettingsDialog.h"
#include "catalog/forms/ProductGrid.h"
#include "catalog/forms/ProductPictures.h"
#include "platform/graphics/Jpeg.h"

#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QFileDialog>
#include <QFontDialog>
#include <QFontMetrics>
#include <QHelpEvent>
#include <QImage>
#include <QInputDialog>
#include <QLabel>
#include <QListWidget>
#include <QMessageBox>
#include <QScreen>
#include <QToolTip>
#include <gtest/gtest.h>

#include <cmath>
#include <map>

namespace {

struct TProbeGrid : TProductGrid {
    using TProductGrid::GetFormattedText;
};

} // namespace

TEST(Look, ProductGridSharesTheWindowWidthAndElidesLongPaths)
{
    TProbeGrid G;
    G.resize(1400, 500);
    G.show();
    QApplication::processEvents();
    int Sum = 0;
    for (int C = 0; C < 6; ++C)
        Sum += G.ColWidths(C) + G.GridLineWidth();
    EXPECT_GE(Sum, G.viewport()->width() - 8);
    EXPECT_LE(Sum, G.viewport()->width());
    EXPECT_GT(G.ColWidths(3), 300);
    EXPECT_GT(G.ColWidths(1), 140);

    QString Path = QStringLiteral("/home/用户/图片/");
    for (int I = 0; I < 30; ++I)
        Path += QStringLiteral("很长的文件夹名%1/").arg(I);
    Path += QStringLiteral("茶杯.jpg");
    G.SetCellText(1, 6, Path);
    const QString Shown = G.GetFormattedText(1, 6);
    EXPECT_TRUE(Shown.startsWith(QStringLiteral("/home/"))) << Shown.toStdString();
    EXPECT_TRUE(Shown.endsWith(QStringLiteral("茶杯.jpg"))) << Shown.toStdString();
    EXPECT_LE(QFontMetrics(G.Font()->ToQFont()).horizontalAdvance(Shown), G.ColWidths(1));
    EXPECT_EQ(G.GetFormattedText(3, 1), G.Cells(3, 1)) << "other cells show their text";

    // The whole path is the hint of its cell.
    const TRect R = G.GetCellRect(1, 6);
    const QPoint Centre((R.Left + R.Right) / 2, (R.Top + R.Bottom) / 2);
    QHelpEvent Help(QEvent::ToolTip, Centre, G.viewport()->mapToGlobal(Centre));
    QApplication::sendEvent(G.viewport(), &Help);
    EXPECT_EQ(QToolTip::text(), Path);

    // A narrow window keeps the least widths (the grid scrolls instead).
    G.resize(500, 500);
    QApplication::processEvents();
    EXPECT_EQ(G.ColWidths(1), 140);
    EXPECT_EQ(G.ColWidths(3), 180);
}

TEST(Look, DialogLabelColumnsFitTheirLongestLabel)
{
    CatalogFixture::TProgramFolder Program;
    TForm3 Settings(nullptr);
    TForm4 Company(nullptr);
    Company.FormShow();
    for (TCellGrid *G : {Settings.CellGrid1, Company.CellGrid1}) {
        const QFontMetrics Metrics(G->font());
        for (int R = 0; R < G->RowCount(); ++R)
            EXPECT_GE(G->ColWidths(0), Metrics.horizontalAdvance(G->Cells(0, R)) + 8) << G->Cells(0, R).toStdString();
    }
}

namespace {

// The dark pixels of each cell of a grid rendered at a device pixel ratio, as
// a box in the grid's logical pixels (empty for a cell without them). The
// cells' edges are left out: lines and frames are no text.
std::map<std::pair<int, int>, QRect> InkByCell(TCellGrid &G, qreal Ratio)
{
    QWidget *View = G.viewport();
    QImage Image(View->size() * Ratio, QImage::Format_RGB32);
    Image.setDevicePixelRatio(Ratio);
    Image.fill(Qt::white);
    View->render(&Image);
    std::map<std::pair<int, int>, QRect> Ink;
    for (int R = 0; R < G.RowCount(); ++R)
        for (int C = 0; C < G.ColCount(); ++C) {
            const QRect Cell = G.GetCellRect(C, R).ToQRect().adjusted(2, 2, -2, -2) & View->rect();
            if (Cell.isEmpty() || G.BaseCell(C, R) != TPoint(C, R))
                continue;
            QRect Box;
            const QRect Pixels(QPoint(int(std::ceil(Cell.left() * Ratio)), int(std::ceil(Cell.top() * Ratio))),
                               QPoint(int((Cell.right() + 1) * Ratio) - 1, int((Cell.bottom() + 1) * Ratio) - 1));
            for (int Y = Pixels.top(); Y <= Pixels.bottom(); ++Y)
                for (int X = Pixels.left(); X <= Pixels.right(); ++X)
                    if (qGray(Image.pixel(X, Y)) < 160)
                        Box |= QRect(int(X / Ratio), int(Y / Ratio), 1, 1);
            Ink[{C, R}] = Box;
        }
    return Ink;
}

// Every cell holds ink at Ratio where it holds ink at ratio 1, in the same
// logical place (a pixel or two apart where the glyphs are drawn finer).
void ExpectSameInk(TCellGrid &G, qreal Ratio, const char *Which)
{
    const auto One = InkByCell(G, 1);
    const auto Scaled = InkByCell(G, Ratio);
    int Texts = 0;
    for (const auto &[Cell, Box] : One) {
        const QRect &Other = Scaled.at(Cell);
        const std::string Where = std::string(Which) + " cell " + std::to_string(Cell.first) + "," +
            std::to_string(Cell.second) + " at ratio " + std::to_string(Ratio) + ": " +
            G.Cells(Cell.first, Cell.second).toStdString();
        if (Box.isEmpty()) {
            EXPECT_TRUE(Other.isEmpty()) << Where;
            continue;
        }
        ++Texts;
        ASSERT_FALSE(Other.isEmpty()) << Where;
        const int Slack = 3 + Box.width() / 20;
        EXPECT_NEAR(Other.left(), Box.left(), 3) << Where;
        EXPECT_NEAR(Other.top(), Box.top(), 3) << Where;
        EXPECT_NEAR(Other.right(), Box.right(), Slack) << Where;
        EXPECT_NEAR(Other.bottom(), Box.bottom(), 3) << Where;
    }
    EXPECT_GT(Texts, 10) << Which;
}

} // namespace

TEST(Look, GridsShowTheSameTextsOnScreensOfEveryPixelRatio)
{
    WindowFixture::TScriptedUi Ui;
    CatalogFixture::TProgramFolder Program;
    QDir().mkpath(Program.File(QStringLiteral("目录册")));
    // The first product's picture is noise: every pixel differs from its neighbours.
    QImage Noise(600, 600, QImage::Format_RGB32);
    quint32 Seed = 12345;
    for (int Y = 0; Y < Noise.height(); ++Y)
        for (int X = 0; X < Noise.width(); ++X) {
            Seed = Seed * 1103515245u + 12345u;
            const int V = (Seed >> 16) & 0xFF;
            Noise.setPixel(X, Y, qRgb(V, 255 - V, (V * 7) & 0xFF));
        }
    TBitmap NoiseBitmap;
    NoiseBitmap.SetImage(Noise);
    TJPEGImage Jpeg;
    Jpeg.Assign(&NoiseBitmap);
    Jpeg.SetCompressionQuality(95);
    const QString Picture = Program.File(QStringLiteral("noise.jpg"));
    Jpeg.SaveToFile(Picture);
    QStringList Lines = WindowFixture::PageLines(WindowFixture::NumberedHeader(), 3);
    Lines[Lines.indexOf(QStringLiteral("{$IMG}="))] = QStringLiteral("{$IMG}=noise.jpg");
    const QString Page = Program.File(QStringLiteral("page.qbt"));
    SaveLines(Page, Lines);

    auto Form = WindowFixture::NewWindow({Page});
    Form->resize(1000, 700);
    Form->show();
    QApplication::processEvents();
    TForm3 Settings(nullptr);
    Settings.show();
    QApplication::processEvents();
    TProductGrid &Grid = *Form->CellGrid1;
    ASSERT_TRUE(Grid.HasPicture(1, 1));
    for (qreal Ratio : {1.5, 2.0}) {
        ExpectSameInk(Grid, Ratio, "product grid");
        ExpectSameInk(*Settings.CellGrid1, Ratio, "page settings");
    }

    // At ratio 2 the thumbnail shows pixel for pixel the picture made twice as
    // high, not the one made for ratio 1 blown up.
    QImage Shown(Grid.viewport()->size() * 2, QImage::Format_RGB32);
    Shown.setDevicePixelRatio(2);
    Grid.viewport()->render(&Shown);
    const auto Sharp = ProductPictures::MakeThumbnail(Picture, 2 * Grid.ThumbnailHeight());
    const QImage Want = Sharp->Image().convertToFormat(QImage::Format_RGB32);
    ASSERT_EQ(Want.height(), 2 * Grid.ThumbnailHeight());
    // The thumbnail is square and centred in its cell: it is looked for a few
    // pixels around there.
    const TRect Cell = Grid.GetCellRect(1, 1);
    const int Side = Want.width() / 2;
    const QPoint Centre(2 * (Cell.Left + (Cell.Width() - Side) / 2), 2 * (Cell.Top + (Cell.Height() - Side) / 2));
    auto Matches = [&](const QPoint &At, int Rows) {
        int N = 0;
        for (int Y = 0; Y < Rows; ++Y)
            for (int X = 0; X < Want.width(); ++X)
                N += Shown.rect().contains(At + QPoint(X, Y))
                    && (Shown.pixel(At.x() + X, At.y() + Y) & 0xFFFFFF) == (Want.pixel(X, Y) & 0xFFFFFF);
        return N;
    };
    QPoint At = Centre;
    for (int DY = -8; DY <= 8; ++DY)
        for (int DX = -8; DX <= 8; ++DX)
            if (Matches(Centre + QPoint(DX, DY), 2) > Matches(At, 2))
                At = Centre + QPoint(DX, DY);
    const int Same = Matches(At, Want.height());
    EXPECT_GT(Same, Want.width() * Want.height() * 99 / 100);
}

// ---- dialogs on small screens ----
// This runs on the test platform's screen, and again (tests/catalog/forms/CMakeLists.txt)
// on a 1366 x 768 screen at a scale of 150 % and on a 1024 x 600 screen at 100 %.

namespace {

// A title bar and borders as a desktop draws them around a window.
const QMargins DesktopFrame(4, 30, 4, 4);

// The window lies on its screen with a desktop's frame around it, gets the
// room its layout needs (nothing in it overlaps), and its buttons lie inside it.
void ExpectFits(QWidget *Window, const QString &Name)
{
    const std::string Which = Name.toStdString();
    const QRect Room = Window->screen()->availableGeometry();
    const QRect Frame = Window->frameGeometry();
    EXPECT_TRUE(Room.contains(Frame)) << Which << ": frame " << Frame.x() << "," << Frame.y() << " " << Frame.width()
                                      << "x" << Frame.height() << " on " << Room.width() << "x" << Room.height();
    const QRect Framed = Window->geometry().marginsAdded(DesktopFrame);
    EXPECT_TRUE(Room.contains(Framed)) << Which << ": no room for a title bar above " << Framed.x() << "," << Framed.y()
                                       << " " << Framed.width() << "x" << Framed.height();
    const QSize Least = Window->minimumSizeHint();
    EXPECT_GE(Window->width(), Least.width()) << Which;
    EXPECT_GE(Window->height(), Least.height()) << Which;
    for (QAbstractButton *B : Window->findChildren<QAbstractButton *>()) {
        if (!B->isVisible() || B->window() != Window)
            continue;
        const QRect At(B->mapTo(Window, QPoint(0, 0)), B->size());
        EXPECT_TRUE(Window->rect().contains(At)) << Which << ": " << B->text().toStdString() << " out of reach";
    }
}

// Shows the modal box Open opens, checks it and closes it.
template <typename Box>
void ExpectBoxFits(const QString &Name, const std::function<void()> &Open)
{
    WindowFixture::TWhenShown<Box> When([&](Box *B) {
        QApplication::processEvents();
        ExpectFits(B, Name);
        B->reject();
    });
    Open();
    EXPECT_EQ(When.Shown, 1) << Name.toStdString();
}

} // namespace

TEST(Look, EveryDialogFitsTheScreenWithItsButtonsInReach)
{
    WindowFixture::TScriptedUi Ui;
    CatalogFixture::TProgramFolder Program;
    TestSupport::CopyDataTo(Program.Path());
    QDir().mkpath(Program.File(QStringLiteral("目录册")));
    // A large picture for the viewer.
    QImage Picture(2400, 1800, QImage::Format_RGB32);
    Picture.fill(Qt::darkCyan);
    const QString PictureFile = Program.File(QStringLiteral("big.jpg"));
    ASSERT_TRUE(Picture.save(PictureFile, "JPEG"));

    auto Form = WindowFixture::NewWindow({}, true);
    Form->show();
    QApplication::processEvents();
    const QRect Room = Form->screen()->availableGeometry();
    EXPECT_TRUE(Room.contains(QRect(Room.topLeft(), Form->minimumSizeHint().grownBy(DesktopFrame))))
        << "the main window fits";

    Form->PictureView->PictureFile = PictureFile;
    QList<QDialog *> Dialogs;
    for (TCatalogDialog *D : Form->findChildren<TCatalogDialog *>())
        Dialogs << D;
    Dialogs << new TAboutBox(Form.get());
    QStringList Names;
    for (QDialog *D : Dialogs) {
        Names << D->objectName();
        D->show();
        QApplication::processEvents();
        ExpectFits(D, D->objectName());
        D->hide();
    }
    Names.sort();
    EXPECT_EQ(Names, (QStringList{QStringLiteral("AboutBox"), QStringLiteral("Form2"), QStringLiteral("Form3"),
                                  QStringLiteral("Form4"), QStringLiteral("Form5"), QStringLiteral("Form6"),
                                  QStringLiteral("Form7"), QStringLiteral("Form8"), QStringLiteral("PictureView")}));

    // The page settings: the grid scrolls where the screen is short, and its
    // frame stays above the language and style choices.
    TForm3 *Settings = Form->Form3;
    Settings->show();
    QApplication::processEvents();
    for (QWidget *Below : {static_cast<QWidget *>(Settings->Label1), static_cast<QWidget *>(Settings->ComboBox1)})
        EXPECT_LT(Settings->CellGrid1->geometry().bottom(), Below->geometry().top()) << Below->objectName().toStdString();
    Settings->hide();

    // The batch dialog with a long list of products passed over.
    TForm6 *Batch = Form->PictureView->Form6();
    ASSERT_NE(Batch, nullptr);
    for (int N = 1; N <= 300; ++N)
        Batch->SkippedList->addItem(QStringLiteral("第 %1 个商品，p%1.png：不是JPEG图片，批量写字只处理JPEG图片。").arg(N));
    Batch->show();
    Batch->SkippedList->show();
    QApplication::processEvents();
    ExpectFits(Batch, QStringLiteral("Form6 with its list"));
    Batch->hide();
    Ui.ClearAsked();
    Form.reset();

    // The platform's boxes: a message of many lines, an input box, the file,
    // folder and font dialogs.
    TQtPrompts Boxes;
    QStringList Lines;
    for (int I = 1; I <= 40; ++I)
        Lines << QStringLiteral("输出/P001/images/图片-%1.jpg").arg(I);
    ExpectBoxFits<QMessageBox>(QStringLiteral("message box"), [&] {
        Boxes.MessageBox(nullptr, QStringLiteral("以下文件不能读取：\r\n") + Lines.join(QStringLiteral("\r\n")),
                         QStringLiteral("错误"), MB_OK | MB_ICONERROR);
    });
    ExpectBoxFits<QInputDialog>(QStringLiteral("input box"), [&] {
        QString Value;
        Boxes.InputQuery(QStringLiteral("请输入"), QStringLiteral("替换为："), Value);
    });
    ExpectBoxFits<QFileDialog>(QStringLiteral("file dialog"), [&] {
        TFileDialogRequest Request;
        Request.InitialDir = Program.Path();
        Boxes.FileDialog(Request);
    });
    ExpectBoxFits<QFileDialog>(QStringLiteral("folder browser"),
                               [&] { Boxes.BrowseForFolder(nullptr, QStringLiteral("请选择一个文件夹：")); });
    ExpectBoxFits<QFontDialog>(QStringLiteral("font dialog"), [&] {
        QFont Font;
        Boxes.FontDialog(nullptr, Font);
    });
}

TEST(Look, ADialogDraggedPartlyOffTheScreenStaysWhereItWasDraggedAsItsContentsChange)
{
    WindowFixture::TScriptedUi Ui;
    CatalogFixture::TProgramFolder Program;
    TestSupport::CopyDataTo(Program.Path());
    QDir().mkpath(Program.File(QStringLiteral("目录册")));
    auto Form = WindowFixture::NewWindow({}, true);
    Form->show();
    QApplication::processEvents();

    // The batch dialog, shown, lies on the screen.
    TForm6 *Batch = Form->PictureView->Form6();
    ASSERT_NE(Batch, nullptr);
    Batch->show();
    QApplication::processEvents();
    const QRect Room = Batch->screen()->availableGeometry();
    EXPECT_TRUE(Room.contains(Batch->frameGeometry()));

    // Dragged so that its right third and its lower half hang off the screen.
    const QPoint Dragged(Room.right() - 2 * Batch->width() / 3, Room.bottom() - Batch->height() / 2);
    Batch->move(Dragged);
    QApplication::processEvents();
    ASSERT_EQ(Batch->pos(), Dragged);
    ASSERT_GT(Batch->frameGeometry().right(), Room.right());
    ASSERT_GT(Batch->frameGeometry().bottom(), Room.bottom());
    // Its label changes with every picture, a longer text comes, the list of
    // products passed over shows: it stays where the user put it.
    for (int N = 1; N <= 12; N += 5) {
        Batch->Label4->setText(QStringLiteral("正在处理第 %1 个图片……").arg(N));
        QApplication::processEvents();
        EXPECT_EQ(Batch->pos(), Dragged) << N;
    }
    Batch->Label4->setText(QStringLiteral("操作完成！已在 12 个图片上写了文字。跳过了 3 个商品的图片："));
    Batch->SkippedList->addItem(QStringLiteral("第 2 个商品，p2.png：不是JPEG图片，批量写字只处理JPEG图片。"));
    Batch->SkippedList->show();
    QApplication::processEvents();
    EXPECT_EQ(Batch->pos(), Dragged);
    Batch->hide();

    // Shown again, it is placed on the screen again.
    Batch->SkippedList->hide();
    Batch->show();
    QApplication::processEvents();
    EXPECT_TRUE(Room.contains(Batch->frameGeometry()));
    Batch->hide();
}
