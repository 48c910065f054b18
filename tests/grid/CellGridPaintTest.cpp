#include "grid/CellGrid.h"
#include "grid/FloatingFooter.h"
#include "grid/GridUtil.h"
#include "grid/HTMLHintWindow.h"
#include "platform/graphics/ImgList.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>

#include <algorithm>
#include <initializer_list>
#include <vector>

namespace {

// Pictures of the grid to look at, beside the test program (not wherever it
// was started from).
QString ScreenshotPath(const QString &Name)
{
    const QString Folder = QCoreApplication::applicationDirPath() + QStringLiteral("/screenshots/");
    QDir().mkpath(Folder);
    return Folder + Name;
}

struct Shown {
    TCellGrid Grid;
    Shown()
    {
        Grid.setFrameShape(QFrame::NoFrame);
        Grid.SetRowCount(6);
        Grid.resize(420, 300);
        Grid.show();
        QApplication::processEvents();
    }
    TColor At(const QImage &Image, int X, int Y) const { return QColorToTColor(Image.pixelColor(X, Y)); }
};

int DarkPixels(const QImage &Image, const TRect &R, int *LowestY = nullptr)
{
    int N = 0;
    for (int Y = R.Top; Y < R.Bottom; ++Y)
        for (int X = R.Left; X < R.Right; ++X)
            if (qGray(Image.pixel(X, Y)) < 90) {
                ++N;
                if (LowestY)
                    *LowestY = std::max(*LowestY, Y);
            }
    return N;
}

TEST(Painting, BandsAlternateFromTheFirstDataRow)
{
    Shown S;
    TCellGrid &G = S.Grid;
    G.Bands()->SetPrimaryColor(clYellow);
    G.Bands()->SetSecondaryColor(clAqua);
    G.Bands()->SetActive(true);
    const QImage Image = G.RenderToImage();
    for (int R = 1; R <= 4; ++R) {
        const TRect Cell = G.GetCellRect(3, R);
        EXPECT_EQ(S.At(Image, Cell.Left + 4, Cell.Top + 4), R % 2 == 1 ? clYellow : clAqua) << R;
    }
    // Both lengths 0: no bands and no division by zero.
    G.Bands()->SetPrimaryLength(0);
    G.Bands()->SetSecondaryLength(0);
    const QImage Plain = G.RenderToImage();
    const TRect Cell = G.GetCellRect(3, 2);
    EXPECT_EQ(S.At(Plain, Cell.Left + 4, Cell.Top + 4), ColorToRGB(G.Color()));
}

TEST(Painting, HouseLookFixedCellsHaveTheSilverToWhiteGradientUnlessFlat)
{
    Shown S;
    TCellGrid &G = S.Grid;
    G.SetLook(glHouse);
    const TRect Cell = G.GetCellRect(2, 0);
    const QImage Image = G.RenderToImage();
    EXPECT_EQ(S.At(Image, Cell.Left + 10, Cell.Top + 2), clSilver);
    const TColor Low = S.At(Image, Cell.Left + 10, Cell.Bottom - 3);
    EXPECT_GE(GetRValue(Low), 245);
    EXPECT_EQ(GetRValue(Low), GetBValue(Low));
    // The shadow along the bottom is the fixed colour halved.
    EXPECT_EQ(S.At(Image, Cell.Left + 10, Cell.Bottom - 1), DarkerColor(G.FixedColor()));

    G.SetFlat(true);
    const QImage FlatImage = G.RenderToImage();
    EXPECT_EQ(S.At(FlatImage, Cell.Left + 10, Cell.Top + 2), ColorToRGB(G.FixedColor()));
    EXPECT_EQ(S.At(FlatImage, Cell.Left + 10, Cell.Bottom - 3), ColorToRGB(G.FixedColor()));
}

TEST(Painting, SoftLookShadowAndLightEdges)
{
    Shown S;
    TCellGrid &G = S.Grid;
    ASSERT_EQ(G.Look(), glSoft);
    const TRect Cell = G.GetCellRect(2, 0);
    const QImage Image = G.RenderToImage();
    const TColor Shadow = DarkerColor(G.FixedColor());
    EXPECT_EQ(S.At(Image, Cell.Left + 10, Cell.Bottom - 1), Shadow);
    EXPECT_EQ(S.At(Image, Cell.Right - 1, Cell.Top + 5), Shadow);
    EXPECT_EQ(S.At(Image, Cell.Left + 10, Cell.Top), clWhite);
    EXPECT_EQ(S.At(Image, Cell.Left, Cell.Top + 5), clWhite);
}

TEST(Painting, SingleLineTextShowsItsFirstLineUnlessMultilineCells)
{
    Shown S;
    TCellGrid &G = S.Grid;
    G.SetRowHeights(2, 60);
    G.SetColWidths(3, 120);
    G.SetCellText(3, 2, QStringLiteral("HHHH\rHHHH"));
    const TRect Cell = G.GetCellRect(3, 2);
    int OneLow = 0, MultiLow = 0;
    ASSERT_GT(DarkPixels(G.RenderToImage(), Cell, &OneLow), 10);
    G.Multilinecells = true;
    ASSERT_GT(DarkPixels(G.RenderToImage(), Cell, &MultiLow), 10);
    EXPECT_GT(MultiLow, OneLow + 5);   // the second line is drawn below the first
}

TEST(Painting, WordWrapBreaksLongTextIntoLines)
{
    Shown S;
    TCellGrid &G = S.Grid;
    G.SetRowHeights(2, 80);
    G.SetColWidths(3, 70);
    G.SetCellText(3, 2, QStringLiteral("HH HH HH HH HH HH HH"));
    const TRect Cell = G.GetCellRect(3, 2);
    int Low = 0, WrappedLow = 0;
    DarkPixels(G.RenderToImage(), Cell, &Low);
    G.SetWordWrap(true);
    DarkPixels(G.RenderToImage(), Cell, &WrappedLow);
    EXPECT_GT(WrappedLow, Low + 5);
}

TEST(Painting, DrawCellEventPaintsOverTheGridsOwnContent)
{
    Shown S;
    TCellGrid &G = S.Grid;
    G.SetCellText(3, 2, QStringLiteral("HHHHHH"));
    std::vector<TRect> Rects;
    G.OnDrawCell = [&](TObject *, int ACol, int ARow, const TRect &Rect, TGridDrawState) {
        if (ACol == 3 && ARow == 2) {
            Rects.push_back(Rect);
            G.Canvas()->Brush()->SetColor(clYellow);
            G.Canvas()->FillRect(Rect);
        }
    };
    const QImage Image = G.RenderToImage();
    ASSERT_EQ(Rects.size(), 1u);
    const TRect Cell = G.GetCellRect(3, 2);
    EXPECT_EQ(Rects[0], TRect(Cell.Left + 2, Cell.Top + 2, Cell.Right - 2, Cell.Bottom - 2));
    EXPECT_EQ(DarkPixels(Image, Rects[0]), 0);
    EXPECT_EQ(S.At(Image, Cell.Left + 6, Cell.Top + 6), clYellow);
}

TEST(Painting, PictureIsShrunkKeepingItsAspectAndProgressFillsItsShare)
{
    Shown S;
    TCellGrid &G = S.Grid;
    G.SetColWidths(1, 100);
    G.SetRowHeights(1, 100);
    TPicture *Picture = G.CreateCellPicture(1, 1, false, 4, 0, haCenter, vaCenter);
    TBitmap Red(200, 100);
    Red.Canvas()->Brush()->SetColor(clRed);
    Red.Canvas()->FillRect(TRect(0, 0, 200, 100));
    Picture->SetGraphic(&Red);

    G.SetColWidths(3, 200);
    TCellGraphic *Bar = G.NewCellGraphic(3, 2);
    Bar->CellType = ctProgress;
    Bar->ProgressColor = clBlue;
    Bar->ProgressBackColor = clWhite;
    G.SetCellText(3, 2, QStringLiteral("50"));
    G.SetRow(3);

    const QImage Image = G.RenderToImage();
    Image.save(ScreenshotPath(QStringLiteral("grid_picture_progress.png")));
    const TRect Cell = G.GetCellRect(1, 1);
    // The 98 x 98 content area shows the picture at 98 x 49, centred vertically.
    EXPECT_EQ(S.At(Image, Cell.Left + 50, Cell.Top + 50), clRed);
    EXPECT_EQ(S.At(Image, Cell.Left + 50, Cell.Top + 30), clRed);
    EXPECT_NE(S.At(Image, Cell.Left + 50, Cell.Top + 8), clRed);
    EXPECT_NE(S.At(Image, Cell.Left + 50, Cell.Bottom - 8), clRed);

    const TRect BarCell = G.GetCellRect(3, 2);
    const int Y = (BarCell.Top + BarCell.Bottom) / 2;
    EXPECT_EQ(S.At(Image, BarCell.Left + BarCell.Width() / 8, Y), clBlue);
    EXPECT_EQ(S.At(Image, BarCell.Right - BarCell.Width() / 8, Y), clWhite);
}

TEST(Painting, CheckBoxesShowStateAndTheDisabledLook)
{
    Shown S;
    TCellGrid &G = S.Grid;
    TCellGraphic *Check = G.NewCellGraphic(3, 2);
    Check->CellType = ctCheckBox;
    const TRect Cell = G.GetCellRect(3, 2);
    auto Crop = [&](const QImage &I) { return I.copy(Cell.ToQRect()); };
    const QImage Unticked = Crop(G.RenderToImage());
    Check->CellBoolean = true;
    const QImage Ticked = Crop(G.RenderToImage());
    EXPECT_NE(Unticked, Ticked);
    G.OnCanEditCell = [](TObject *, int, int, bool &CanEdit) { CanEdit = false; };
    const QImage Disabled = Crop(G.RenderToImage());
    EXPECT_NE(Ticked, Disabled);
    for (TControlStyle Style : {csFlat, csWinXP, csHouse, csBorland}) {
        G.ControlLook()->SetControlStyle(Style);
        EXPECT_NE(Crop(G.RenderToImage()), Unticked) << Style;
    }
}

TEST(Painting, BackgroundPictureTilesFromTheFirstDataCell)
{
    Shown S;
    TCellGrid &G = S.Grid;
    // A 10 x 10 tile: red left half, green right half.
    TBitmap Tile(10, 10);
    Tile.Canvas()->Brush()->SetColor(clRed);
    Tile.Canvas()->FillRect(TRect(0, 0, 5, 10));
    Tile.Canvas()->Brush()->SetColor(clLime);
    Tile.Canvas()->FillRect(TRect(5, 0, 10, 10));
    G.BackGround()->SetBitmap(&Tile);
    G.SetCol(4);   // keep the selection away from the cells looked at
    const QImage Image = G.RenderToImage();
    // Column 2 starts 64 pixels after the tiling origin: 64 mod 10 = 4, so its
    // first pixel shows tile column 4 (red) and the next one tile column 5 (green).
    const TRect Cell = G.GetCellRect(2, 2);
    EXPECT_EQ(S.At(Image, Cell.Left + 1, Cell.Top + 5), clLime);
    EXPECT_EQ(S.At(Image, Cell.Left + 6, Cell.Top + 5), clRed);
    // Fixed cells keep their own look with the normal-cell setting.
    const TRect Header = G.GetCellRect(2, 0);
    EXPECT_EQ(S.At(Image, Header.Left + 6, Header.Top + 5), ColorToRGB(G.FixedColor()));
}

TEST(Painting, SelectionRectangleFramesTheRange)
{
    Shown S;
    TCellGrid &G = S.Grid;
    G.SetSelectionRectangle(true);
    G.SetSelectionResizer(true);
    G.SetSelection(TGridRect{1, 1, 2, 2});
    const QImage Image = G.RenderToImage();
    const TRect TopLeft = G.GetCellRect(1, 1);
    const TRect BottomRight = G.GetCellRect(2, 2);
    EXPECT_EQ(S.At(Image, TopLeft.Left + 20, TopLeft.Top + 1), clBlack);
    EXPECT_EQ(S.At(Image, TopLeft.Left + 1, TopLeft.Top + 12), clBlack);
    EXPECT_EQ(S.At(Image, BottomRight.Right - 2, BottomRight.Bottom - 2), clBlack);   // the resizer
    EXPECT_NE(S.At(Image, TopLeft.Right - 1, TopLeft.Top + 12), clBlack);            // no line inside the range
}

TEST(Painting, ScreenshotOfAProductBlock)
{
    Shown S;
    TCellGrid &G = S.Grid;
    G.SetColCount(6);
    G.SetRowCount(7);
    G.SetDefaultColWidth(60);
    for (int R = 1; R <= 5; ++R)
        G.SetRowHeights(R, 32);
    G.SetCellText(0, 0, QStringLiteral("序号"));
    G.SetCellText(1, 0, QStringLiteral("图片"));
    G.MergeCellBlock(0, 1, 1, 5);
    G.MergeCellBlock(1, 1, 1, 5);
    G.MergeCellBlock(3, 4, 3, 2);
    G.SetCellText(0, 1, QStringLiteral("1"));
    G.SetCellText(2, 1, QStringLiteral("编号："));
    G.SetCellText(3, 4, QStringLiteral("描述"));
    TPicture *Picture = G.CreateCellPicture(1, 1, false, 4, 0, haCenter, vaCenter);
    TBitmap Photo(40, 80);
    Photo.Canvas()->Brush()->SetColor(clGreen);
    Photo.Canvas()->FillRect(TRect(0, 0, 40, 80));
    Picture->SetGraphic(&Photo);
    TCellGraphic *Check = G.NewCellGraphic(5, 2);
    Check->CellType = ctCheckBox;
    Check->CellBoolean = true;
    TCellGraphic *Bar = G.NewCellGraphic(5, 3);
    Bar->CellType = ctProgress;
    G.SetCellText(5, 3, QStringLiteral("30"));

    const QImage Image = G.RenderToImage();
    ASSERT_TRUE(Image.save(ScreenshotPath(QStringLiteral("grid_product_block.png"))));
    // The picture stands inside its merged block: 40 x 80 shrunk into the block's height.
    const TRect Block = G.GetCellRect(1, 3);
    EXPECT_EQ(Block.Height(), 160);
    EXPECT_EQ(S.At(Image, (Block.Left + Block.Right) / 2, (Block.Top + Block.Bottom) / 2), clGreen);
    // No grid line crosses the merged description block.
    const TRect Desc = G.GetCellRect(4, 5);
    EXPECT_NE(S.At(Image, Desc.Left + 10, Desc.Top + 31), clSilver);
    EXPECT_GT(DarkPixels(Image, G.GetCellRect(2, 1)), 5);
}

} // namespace

namespace {

TEST(Painting, WideCellsShowTheirTextNotTheirEncoding)
{
    Shown S;
    TCellGrid &G = S.Grid;
    G.SetColWidths(3, 120);
    G.SetCellText(3, 1, QStringLiteral("HH Wide"));
    G.SetWideCellText(3, 2, QStringLiteral("HH Wide"));
    const QImage Image = G.RenderToImage();
    const TRect Plain = G.GetCellRect(3, 1), Wide = G.GetCellRect(3, 2);
    ASSERT_GT(DarkPixels(Image, Plain), 20);
    EXPECT_EQ(Image.copy(Plain.Left, Plain.Top, Plain.Width(), Plain.Height()),
              Image.copy(Wide.Left, Wide.Top, Wide.Width(), Wide.Height()));
}

} // namespace

namespace {

// The share of a widget's rows, top to bottom, that hold dark pixels, with the
// widget rendered at a device pixel ratio: which tenths of its height show ink.
std::vector<bool> InkedTenths(QWidget *W, qreal Ratio)
{
    QImage Image(W->size() * Ratio, QImage::Format_RGB32);
    Image.setDevicePixelRatio(Ratio);
    Image.fill(Qt::white);
    W->render(&Image);
    std::vector<bool> Tenths(10, false);
    for (int Y = 0; Y < Image.height(); ++Y)
        for (int X = 0; X < Image.width(); ++X)
            if (qGray(Image.pixel(X, Y)) < 100)
                Tenths[size_t(Y * 10 / Image.height())] = true;
    return Tenths;
}

TEST(Painting, TheGridItsFooterAndItsHintShowTheirWholeTextsAtEveryPixelRatio)
{
    Shown S;
    TCellGrid &G = S.Grid;
    G.SetColCount(4);
    G.SetRowCount(30);
    G.SetDefaultColWidth(100);
    G.resize(420, 240);
    for (int R = 0; R < G.RowCount(); ++R)
        for (int C = 0; C < G.ColCount(); ++C)
            G.SetCellText(C, R, QStringLiteral("格%1-%2").arg(C).arg(R));
    G.FloatingFooter()->SetFooterStyle(fsCustomPreview);
    G.FloatingFooter()->SetCustomTemplate(QStringLiteral("合计 <B>12</B> 件"));
    G.FloatingFooter()->SetVisible(true);
    // A hint of several lines, as high as the grid.
    THTMLHintWindow *Hint = G.HintWindow();
    Hint->HTML = false;
    Hint->ActivateHint(TRect(0, 0, 300, 200),
                       QStringLiteral("第一行\r\n第二行\r\n第三行\r\n第四行\r\n第五行\r\n第六行\r\n第七行\r\n第八行\r\n第九行"));
    QApplication::processEvents();
    QWidget *const Footer = G.FooterPanel();
    for (QWidget *W : {G.viewport(), Footer, static_cast<QWidget *>(Hint)}) {
        const std::vector<bool> One = InkedTenths(W, 1);
        // The footer is one line; the cells and the hint reach down to their bottom.
        ASSERT_TRUE(W == Footer ? std::count(One.begin(), One.end(), true) > 0 : One[1] && One[8])
            << W->metaObject()->className();
        for (qreal Ratio : {1.5, 2.0})
            EXPECT_EQ(InkedTenths(W, Ratio), One) << W->metaObject()->className() << " at " << Ratio;
    }
    Hint->ReleaseHandle();
}

} // namespace

namespace {

// The box of the pixels of one colour within R (empty when none).
QRect ColourBox(const QImage &Image, const TRect &R, TColor Colour)
{
    QRect Box;
    for (int Y = R.Top; Y < R.Bottom; ++Y)
        for (int X = R.Left; X < R.Right; ++X)
            if (QColorToTColor(Image.pixelColor(X, Y)) == Colour)
                Box |= QRect(X, Y, 1, 1);
    return Box;
}

// The box of the dark grey (text) pixels within R; dark colours are no text.
QRect InkBox(const QImage &Image, const TRect &R)
{
    QRect Box;
    for (int Y = R.Top; Y < R.Bottom; ++Y)
        for (int X = R.Left; X < R.Right; ++X) {
            const QRgb P = Image.pixel(X, Y);
            if (std::max({qRed(P), qGreen(P), qBlue(P)}) < 110)
                Box |= QRect(X, Y, 1, 1);
        }
    return Box;
}

TEST(Painting, ImageListGraphicsDrawTheirImagesInPlaceAndPushTheText)
{
    Shown S;
    TCellGrid &G = S.Grid;
    G.SetDefaultColWidth(80);
    G.SetDefaultRowHeight(30);
    G.SetCol(4);
    G.SetRow(5);   // the current cell away from the cells looked at
    // Three 8 x 6 images: red, lime, blue.
    TImageList Images(8, 6);
    for (TColor C : {clRed, clLime, clBlue}) {
        QImage I(8, 6, QImage::Format_RGB32);
        I.fill(TColorToQColor(C));
        Images.Add(I);
    }
    G.SetGridImages(&Images);
    auto Graphic = [&](int C, int R, TCellType Kind, TCellHAlign HA, TCellVAlign VA, int Index = 0) {
        TCellGraphic *Gr = G.NewCellGraphic(C, R);
        Gr->CellType = Kind;
        Gr->CellHAlign = HA;
        Gr->CellVAlign = VA;
        Gr->CellIndex = Index;
        return Gr;
    };
    auto Listed = [&](int C, int R, const QString &Indexes, bool InARow) {
        TCellGraphic *Gr = Graphic(C, R, ctImages, haLeft, vaTop);
        auto L = std::make_unique<TIntList>(0, 0);
        L->SetCommaText(Indexes);
        Gr->SetGraphicObject(L.release());
        Gr->CellBoolean = InARow;
    };
    // Text without a graphic, beside an image before it, and under an image above it.
    for (int R = 1; R <= 3; ++R)
        G.SetCellText(1, R, QStringLiteral("WWW"));
    Graphic(1, 2, ctImageList, haBeforeText, vaCenter, 1);
    Graphic(1, 3, ctImageList, haLeft, vaAboveText, 2);
    // Data images after their value: "2" picks image 0 + 2, "7" and "x" none.
    G.SetCellText(2, 1, QStringLiteral("2"));
    G.SetCellText(2, 2, QStringLiteral("7"));
    G.SetCellText(2, 3, QStringLiteral("x"));
    for (int R = 1; R <= 3; ++R)
        Graphic(2, R, ctDataImage, haAfterText, vaBottom);
    // Listed images: red, blue, lime in a row; blue, red in a column.
    Listed(3, 1, QStringLiteral("0,2,1"), true);
    Listed(3, 2, QStringLiteral("2,0"), false);

    EXPECT_EQ(G.GetGraphicSize(1, 2), TPoint(8, 6));
    EXPECT_EQ(G.GetGraphicSize(1, 3), TPoint(0, 6));   // no width beside text unless before or after it
    EXPECT_EQ(G.GetGraphicSize(3, 1), TPoint(24, 6));
    EXPECT_EQ(G.GetGraphicSize(3, 2), TPoint(8, 12));
    ASSERT_NE(G.GetImageList(3, 1), nullptr);
    EXPECT_EQ(G.GetImageList(3, 1)->CommaText(), QStringLiteral("0,2,1"));
    EXPECT_EQ(G.GetImageList(1, 2), nullptr);
    int Index = -1;
    G.GetGraphicIndex(1, 2, Index);
    EXPECT_EQ(Index, 1);

    const QImage Image = G.RenderToImage();
    Image.save(ScreenshotPath(QStringLiteral("grid_image_list.png")));
    // The content of a cell: inside its grid lines.
    auto Cell = [&](int C, int R) {
        TRect Content = G.GetCellRect(C, R);
        InflateRect(Content, -1, -1);
        return Content;
    };

    // Before the text: at the left edge, centred vertically; the text moves right by its width.
    const TRect B = Cell(1, 2);
    EXPECT_EQ(ColourBox(Image, B, clLime), QRect(B.Left + 1, B.Top + (B.Height() - 6) / 2, 8, 6));
    const QRect Plain = InkBox(Image, Cell(1, 1)), Pushed = InkBox(Image, B);
    ASSERT_FALSE(Plain.isEmpty());
    EXPECT_EQ(Pushed.left() - B.Left, Plain.left() - Cell(1, 1).Left + 8);
    EXPECT_EQ(Pushed.width(), Plain.width());
    // Above the text: at the top, and the text moves down by its height.
    const TRect A = Cell(1, 3);
    EXPECT_EQ(ColourBox(Image, A, clBlue), QRect(A.Left + 1, A.Top + 1, 8, 6));
    EXPECT_EQ(InkBox(Image, A).top() - A.Top, Plain.top() - Cell(1, 1).Top + 6);

    // The value's image stands after the value, at the bottom.
    const TRect D = Cell(2, 1);
    const QRect Blue = ColourBox(Image, D, clBlue);
    EXPECT_EQ(Blue.size(), QSize(8, 6));
    EXPECT_EQ(Blue.bottom(), D.Bottom - 2);   // the last row of pixels above Bottom - 1
    EXPECT_GE(Blue.left(), InkBox(Image, D).right());
    EXPECT_LE(Blue.left(), InkBox(Image, D).right() + 6);
    for (int R = 2; R <= 3; ++R)
        for (TColor C : {clRed, clLime, clBlue})
            EXPECT_TRUE(ColourBox(Image, Cell(2, R), C).isEmpty()) << R;

    // Listed images follow each other along their direction.
    const TRect L = Cell(3, 1), V = Cell(3, 2);
    EXPECT_EQ(ColourBox(Image, L, clRed), QRect(L.Left + 1, L.Top + 1, 8, 6));
    EXPECT_EQ(ColourBox(Image, L, clBlue), QRect(L.Left + 9, L.Top + 1, 8, 6));
    EXPECT_EQ(ColourBox(Image, L, clLime), QRect(L.Left + 17, L.Top + 1, 8, 6));
    EXPECT_EQ(ColourBox(Image, V, clBlue), QRect(V.Left + 1, V.Top + 1, 8, 6));
    EXPECT_EQ(ColourBox(Image, V, clRed), QRect(V.Left + 1, V.Top + 7, 8, 6));

    // Without an image list nothing shows and nothing takes room.
    G.SetGridImages(nullptr);
    EXPECT_EQ(G.GetGraphicSize(3, 1), TPoint(0, 0));
    const QImage Bare = G.RenderToImage();
    EXPECT_TRUE(ColourBox(Bare, L, clRed).isEmpty());
    EXPECT_EQ(InkBox(Bare, B).left() - B.Left, Plain.left() - Cell(1, 1).Left);
}

} // namespace

namespace {

TEST(Painting, AProgressPieOnScreenFillsTheDoneShareOnly)
{
    Shown S;
    TCellGrid &G = S.Grid;
    G.SetColWidths(2, 60);
    G.SetRowHeights(2, 40);
    G.SetCol(4);
    TCellGraphic *Pie = G.NewCellGraphic(2, 2);
    Pie->CellType = ctProgressPie;
    Pie->ProgressColor = clRed;
    G.SetCellText(2, 2, QStringLiteral("25"));
    // Painted on the screen (the widget itself), not into a picture of it.
    const QImage Screen = G.viewport()->grab().toImage();
    const TRect Cell = G.GetCellRect(2, 2);
    // The 20-pixel square of the pie stands one pixel inside the cell's content.
    const QPoint Centre(Cell.Left + 2 + 10, Cell.Top + 2 + 10);
    auto At = [&](int DX, int DY) { return QColorToTColor(Screen.pixelColor(Centre + QPoint(DX, DY))); };
    EXPECT_EQ(At(4, -4), clRed);        // twelve to three o'clock is done
    EXPECT_NE(At(-4, 4), clRed);        // six to nine o'clock is not
    EXPECT_NE(At(-4, -4), clRed);
    EXPECT_NE(At(-9, -9), clRed);       // nor the corners outside the circle
}

} // namespace
