// A grid laid out right to left: cells shown mirrored, the pointer finding the
// cell shown under it, editors standing over their cells, and text and markup
// reading the right way round from the cells' leading (right) edge. Checked on
// what the viewport really paints and with real mouse events.
#include "GridFixture.h"

#include "grid/CellGridEditors.h"

#include <QImage>

#include <ostream>

static void PrintTo(const QString &S, std::ostream *Out)
{
    *Out << '"' << S.toStdString() << '"';
}

namespace {

// The dark pixels of an area of a picture, as a picture of their own bounding box.
struct Ink {
    QRect Box;
    QImage Mask;
};

Ink InkOf(const QImage &Image, const QRect &Area)
{
    Ink I;
    for (int Y = Area.top(); Y <= Area.bottom(); ++Y)
        for (int X = Area.left(); X <= Area.right(); ++X)
            if (qGray(Image.pixel(X, Y)) < 128)
                I.Box = I.Box.united(QRect(X, Y, 1, 1));
    if (I.Box.isEmpty())
        return I;
    I.Mask = QImage(I.Box.size(), QImage::Format_Grayscale8);
    for (int Y = 0; Y < I.Box.height(); ++Y)
        for (int X = 0; X < I.Box.width(); ++X)
            I.Mask.setPixel(X, Y, qGray(Image.pixel(I.Box.left() + X, I.Box.top() + Y)) < 128 ? 0 : 255);
    return I;
}

class RightToLeftTest : public GridTest {
protected:
    void SetUp() override
    {
        GridTest::SetUp();
        for (int C = 0; C < Grid->ColCount(); ++C)
            Grid->SetColWidths(C, C == 0 ? 40 : 110);
        QApplication::processEvents();
    }
    void Mirror(bool On)
    {
        Grid->setLayoutDirection(On ? Qt::RightToLeft : Qt::LeftToRight);
        QApplication::processEvents();
    }
    int Width() const { return Grid->viewport()->width(); }
    // Where a cell stands on the viewport, worked out here from the
    // left-to-right layout: mirrored around the viewport's width.
    QRect Shown(int ACol, int ARow) const
    {
        const TRect R = Grid->GetCellRect(ACol, ARow);
        return QRect(Width() - R.Right, R.Top, R.Right - R.Left, R.Bottom - R.Top);
    }
    QImage Shot() const { return Grid->viewport()->grab().toImage(); }
    TColor At(const QImage &Image, int X, int Y) const { return QColorToTColor(Image.pixelColor(X, Y)); }
};

TEST_F(RightToLeftTest, CellsShowMirroredThePointerFindsThemAndEditorsStandOverThem)
{
    Mirror(true);
    Grid->SetFixedColor(clYellow);
    Grid->SetColor(clWhite);
    const QImage Image = Shot();
    // Column 0 stands at the right edge, the data columns to its left; the
    // header row keeps its place.
    const int Y = Shown(1, 2).center().y();
    EXPECT_EQ(At(Image, Width() - 5, Y), clYellow);
    EXPECT_NE(At(Image, 5, Y), clYellow);
    EXPECT_EQ(At(Image, Shown(3, 2).center().x(), Shown(3, 0).center().y()), clYellow);

    // A click lands on the cell shown under the pointer.
    QTest::mouseClick(Grid->viewport(), Qt::LeftButton, {}, Shown(3, 2).center());
    EXPECT_EQ(Grid->Col(), 3);
    EXPECT_EQ(Grid->Row(), 2);
    QTest::mouseClick(Grid->viewport(), Qt::LeftButton, {}, QPoint(Shown(1, 4).right() - 3, Shown(1, 4).top() + 3));
    EXPECT_EQ(Grid->Col(), 1);
    EXPECT_EQ(Grid->Row(), 4);

    // The platform editor and a grid editor open over the cell as shown.
    Grid->SetCells(1, 4, QStringLiteral("שלום"));
    Key(Qt::Key_F2);
    ASSERT_TRUE(EditorOpen());
    EXPECT_EQ(Editor()->geometry(), Shown(1, 4));
    EXPECT_EQ(Editor()->text(), QStringLiteral("שלום"));
    Key(Qt::Key_Escape);
    Kind(edEditBtn);
    QTest::mouseClick(Grid->viewport(), Qt::LeftButton, {}, Shown(2, 3).center());
    Key(Qt::Key_F2);
    ASSERT_TRUE(Grid->GridEditBtn()->isVisible());
    const QRect Btn = Grid->GridEditBtn()->geometry();
    EXPECT_EQ(Btn.left(), Shown(2, 3).left());
    EXPECT_EQ(Btn.top(), Shown(2, 3).top());
    EXPECT_GE(Btn.width(), Shown(2, 3).width() - 1);
    EXPECT_LE(Btn.right(), Shown(2, 3).right());
    Key(Qt::Key_Escape);

    // The range resizer's handle sits at the range's outer (bottom-left)
    // corner, and a drag down from it fills the column.
    Grid->OnGetEditorType = nullptr;
    Grid->SetSelectionRectangle(true);
    Grid->SetSelectionResizer(true);
    Grid->Navigation()->AllowSmartClipboard = true;
    Grid->SetCells(3, 1, QStringLiteral("7"));
    Grid->SetCells(3, 2, QStringLiteral("8"));
    // The current cell at the top, so that its focus frame stays off the handle.
    Grid->SetCol(3);
    Grid->SetRow(1);
    Grid->SetAnchor(3, 2);
    const QImage WithHandle = Shot();
    const QRect Cell = Shown(3, 2);
    EXPECT_EQ(At(WithHandle, Cell.left() + 3, Cell.bottom() - 3), clBlack);
    EXPECT_NE(At(WithHandle, Cell.right() - 5, Cell.bottom() - 3), clBlack);
    const QPoint Handle(Cell.left() + 2, Cell.bottom() - 2);
    QTest::mousePress(Grid->viewport(), Qt::LeftButton, {}, Handle);
    const QPoint To = Shown(3, 4).center();
    QMouseEvent Move(QEvent::MouseMove, QPointF(To), Grid->viewport()->mapToGlobal(QPointF(To)), Qt::NoButton,
                     Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(Grid->viewport(), &Move);
    QTest::mouseRelease(Grid->viewport(), Qt::LeftButton, {}, To);
    EXPECT_EQ(Grid->GetCellText(3, 3), QStringLiteral("9"));
    EXPECT_EQ(Grid->GetCellText(3, 4), QStringLiteral("10"));
}

TEST_F(RightToLeftTest, TextAndMarkupReadRightToLeftFromTheLeadingEdgeUnmirrored)
{
    Grid->SetCol(4);   // no focus frame on the cells looked at
    Grid->SetRow(5);
    // What one cell shows, as ink, in either direction.
    auto InkIn = [&](bool RightToLeft, int ACol, int ARow, const QString &Text) {
        Grid->SetCells(ACol, ARow, Text);
        Mirror(RightToLeft);
        const QRect Cell = RightToLeft ? Shown(ACol, ARow) : Grid->GetCellRect(ACol, ARow).ToQRect();
        Ink I = InkOf(Shot(), Cell.adjusted(2, 2, -2, -2));
        I.Box.translate(-Cell.left(), -Cell.top());
        return std::make_pair(I, Cell.width());
    };
    // Plain text reads right to left: the full stop of "abc." comes first,
    // at the left, and the letters are not mirrored.
    const auto [Rtl, W] = InkIn(true, 1, 1, QStringLiteral("abc."));
    const auto [Ltr, W2] = InkIn(false, 1, 1, QStringLiteral(".abc"));
    ASSERT_FALSE(Rtl.Box.isEmpty());
    EXPECT_EQ(Rtl.Mask, Ltr.Mask);
    // It starts at the leading edge, the cell's right, inside the text margin.
    EXPECT_GT(Rtl.Box.left(), W / 2);
    EXPECT_GE(Rtl.Box.right(), W - 8);
    EXPECT_LT(Ltr.Box.left(), W2 / 2);

    // Markup is laid out in the mirrored rectangle, unmirrored, from the leading edge.
    const auto [HtmlRtl, HW] = InkIn(true, 2, 2, QStringLiteral("<b>Fb</b>g"));
    const auto [HtmlLtr, HW2] = InkIn(false, 2, 2, QStringLiteral("<b>Fb</b>g"));
    ASSERT_FALSE(HtmlRtl.Box.isEmpty());
    EXPECT_EQ(HtmlRtl.Mask, HtmlLtr.Mask);
    EXPECT_GT(HtmlRtl.Box.left(), HW / 2);
    EXPECT_LT(HtmlLtr.Box.left(), HW2 / 2);

    // An anchor is found where it shows.
    QString Clicked;
    Grid->OnAnchorClick = [&](TObject *, int, int, const QString &Anchor, bool &AutoHandle) {
        Clicked = Anchor;
        AutoHandle = false;
    };
    const auto [Link, LW] = InkIn(true, 3, 3, QStringLiteral("<a href=\"here\">XXXX</a>"));
    ASSERT_FALSE(Link.Box.isEmpty());
    const QPoint OnLink = Shown(3, 3).topLeft() + Link.Box.center();
    QTest::mouseClick(Grid->viewport(), Qt::LeftButton, {}, OnLink);
    EXPECT_EQ(Clicked, QStringLiteral("here"));
    Clicked.clear();
    QTest::mouseClick(Grid->viewport(), Qt::LeftButton, {}, QPoint(Shown(3, 3).left() + 4, OnLink.y()));
    EXPECT_TRUE(Clicked.isEmpty());
    (void)LW;
}

} // namespace
