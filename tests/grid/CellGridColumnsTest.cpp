// Column geometry, width persistence, scroll looks, footer sums and strip,
// settings objects and automatic sizing of the grid.

#include "grid/CellGrid.h"
#include "grid/CellGridEditors.h"
#include "grid/FloatingFooter.h"
#include "grid/PictureContainer.h"
#include "platform/core/IniFiles.h"
#include "platform/graphics/ImgList.h"
#include "platform/services/Application.h"
#include "platform/services/ScriptedPrompts.h"

#include "TestSupport.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QFile>
#include <QScrollBar>

#include <sys/stat.h>

namespace {

// A grid of Cols x Rows with one fixed row and column, all columns 50 wide.
std::unique_ptr<TCellGrid> MakeGrid(int Cols, int Rows, int Width = 300, int Height = 200)
{
    auto G = std::make_unique<TCellGrid>();
    G->SetColCount(Cols);
    G->SetRowCount(Rows);
    for (int C = 0; C < Cols; ++C)
        G->SetColWidths(C, 50);
    G->resize(Width, Height);
    G->show();
    QApplication::processEvents();
    return G;
}

QString MessageOf(const std::function<void()> &Call)
{
    try {
        Call();
    } catch (const Exception &E) {
        return E.Message();
    }
    return QStringLiteral("no error");
}

} // namespace

TEST(GridColumns, StretchColumnRangeLastColumnAndTooNarrow)
{
    auto G = MakeGrid(5, 5);
    G->ColumnSize()->SetStretch(true);
    EXPECT_EQ(MessageOf([&] { G->StretchColumn(5); }), QStringLiteral("Stretch column index out of range"));

    G->StretchColumn(-1);
    EXPECT_TRUE(G->Stretched());
    EXPECT_EQ(G->ColWidths(4), G->ClientWidth() - 4 * 50 - 1);
    EXPECT_EQ(G->ColWidths(0), 50);

    // The other columns take 320 pixels of a narrower client area: the
    // stretched column falls back to DefaultColWidth.
    for (int C = 0; C < 4; ++C)
        G->SetColWidths(C, 80);
    ASSERT_LE(G->ClientWidth(), 320);
    G->StretchColumn(4);
    EXPECT_EQ(G->ColWidths(4), G->DefaultColWidth());

    // Without ColumnSize.Stretch nothing changes.
    G->ColumnSize()->SetStretch(false);
    G->SetColWidths(4, 33);
    G->StretchColumn(4);
    EXPECT_EQ(G->ColWidths(4), 33);
}

TEST(GridColumns, ColumnWidthsRoundTripThroughIniAndRegistryStores)
{
    TestSupport::TempDir Dir;
    qputenv("XDG_CONFIG_HOME", Dir.File(QStringLiteral("config")).toLocal8Bit());
    for (TColumnSizeLocation Location : {clIniFile, clRegistry}) {
        const QString Key = Location == clIniFile ? Dir.File(QStringLiteral("cols.ini")) : QStringLiteral("Software\\Q");
        {
            auto G = MakeGrid(4, 3);
            G->ColumnSize()->Save = true;
            G->ColumnSize()->Key = Key;
            G->ColumnSize()->Section = QStringLiteral("Grid1");
            G->ColumnSize()->Location = Location;
            G->SetColWidths(1, 77);
            G->SetColWidths(3, 12);
        }   // saved by the destructor
        auto G = MakeGrid(4, 3);
        G->ColumnSize()->Save = true;
        G->ColumnSize()->Key = Key;
        G->ColumnSize()->Section = QStringLiteral("Grid1");
        G->ColumnSize()->Location = Location;
        G->Loaded();
        EXPECT_EQ(G->ColWidths(1), 77);
        EXPECT_EQ(G->ColWidths(3), 12);
        EXPECT_EQ(G->ColWidths(0), 50);
    }
    ASSERT_TRUE(TRegistryIniFile::StoreFileName().startsWith(Dir.Path()));
    TIniFile Reg(TRegistryIniFile::StoreFileName());
    EXPECT_EQ(Reg.ReadInteger(QStringLiteral("Software\\Q\\Grid1"), QStringLiteral("Col1"), 0), 77);

    // A damaged store: non-numbers, negative and absurd widths leave DefaultColWidth.
    const QString Bad = Dir.File(QStringLiteral("bad.ini"));
    TestSupport::WriteAll(Bad, "[G]\r\nCol0=abc\r\nCol1=-5\r\nCol2=99999999\r\nCol3=40\r\n");
    auto G = MakeGrid(4, 3);
    G->ColumnSize()->Key = Bad;
    G->ColumnSize()->Section = QStringLiteral("G");
    G->ColumnSize()->Location = clIniFile;
    G->LoadColumnSizes();
    EXPECT_EQ(G->ColWidths(0), G->DefaultColWidth());
    EXPECT_EQ(G->ColWidths(1), G->DefaultColWidth());
    EXPECT_EQ(G->ColWidths(2), G->DefaultColWidth());
    EXPECT_EQ(G->ColWidths(3), 40);

    // An empty Key: nothing is read or written.
    const QString Untouched = Dir.File(QStringLiteral("none.ini"));
    G->ColumnSize()->Key.clear();
    G->ColumnSize()->Section = QStringLiteral("G");
    G->SaveColumnSizes();
    G->LoadColumnSizes();
    EXPECT_FALSE(QFile::exists(Untouched));
    qunsetenv("XDG_CONFIG_HOME");
}

TEST(GridColumns, UnwritableStoreAtDestructionReachesTheErrorHandler)
{
    TestSupport::TempDir Dir;
    const QString Locked = Dir.File(QStringLiteral("locked"));
    QDir().mkpath(Locked);
    ::chmod(Locked.toLocal8Bit().constData(), 0500);
    // The error handler shows the standard error box: scripted here.
    auto Script = std::make_unique<TScriptedPrompts>();
    TScriptedPrompts *Prompts = Script.get();
    Prompts->AnswerButton(QStringLiteral("OK"));
    auto Before = SetPrompts(std::move(Script));
    {
        auto G = MakeGrid(3, 3);
        G->ColumnSize()->Save = true;
        G->ColumnSize()->Key = Locked + QStringLiteral("/sub/cols.ini");
        G->ColumnSize()->Section = QStringLiteral("G");
        G->ColumnSize()->Location = clIniFile;
    }
    ::chmod(Locked.toLocal8Bit().constData(), 0700);
    const QList<TPromptRecord> Records = Prompts->Records();
    SetPrompts(std::move(Before));
    ASSERT_EQ(Records.size(), 1);
    EXPECT_TRUE(Records[0].Text.contains(QStringLiteral("cols.ini"))) << Records[0].Text.toStdString();
}

TEST(GridColumns, ScrollInViewCellAtScreenPointAndSizingBorder)
{
    auto G = MakeGrid(50, 5, 10 * 50 + 60, 200);
    G->SetColWidths(0, 50);
    G->show();
    const int Visible = G->VisibleColCount();
    ASSERT_EQ(Visible, 10);
    G->ScrollInView(40, 1);
    EXPECT_EQ(G->LeftCol(), 35);
    EXPECT_EQ(G->Col(), 40);
    // Inside the view: nothing moves.
    G->ScrollInView(36, 1);
    EXPECT_EQ(G->LeftCol(), 35);

    int C = 0, R = 0;
    const TRect Cell = G->CellRect(36, 1);
    G->CellAtScreenPoint(G->viewport()->mapToGlobal(QPoint(Cell.Left + 3, Cell.Top + 3)), C, R);
    EXPECT_EQ(C, 36);
    EXPECT_EQ(R, 1);
    auto Narrow = MakeGrid(3, 3, 400, 200);
    Narrow->CellAtScreenPoint(Narrow->viewport()->mapToGlobal(QPoint(390, 5)), C, R);
    EXPECT_EQ(C, -1);

    Narrow->SetOptions(Narrow->Options() | goColSizing);
    const TRect H = Narrow->CellRect(1, 0);
    EXPECT_TRUE(Narrow->IsSizingBorder(H.Right - 1, 5));
    EXPECT_FALSE(Narrow->IsSizingBorder(H.Left + 20, 5));
    EXPECT_FALSE(Narrow->IsSizingBorder(H.Right - 1, Narrow->CellRect(1, 2).Top + 5));
}

TEST(GridColumns, ScrollLooksFollowTheSettings)
{
    auto G = MakeGrid(3, 30);
    EXPECT_FALSE(G->FlatScrollBars());
    G->SetScrollColor(clRed);   // no flat looks yet: nothing applied
    EXPECT_TRUE(G->verticalScrollBar()->styleSheet().isEmpty());
    G->SetScrollType(ssFlat);
    EXPECT_TRUE(G->FlatScrollBars());
    EXPECT_TRUE(G->verticalScrollBar()->styleSheet().contains(QStringLiteral("#ff0000")));
    G->SetScrollWidth(9);
    EXPECT_TRUE(G->horizontalScrollBar()->styleSheet().contains(QStringLiteral("height: 9px")));
    // clNone leaves the colours alone.
    const QString Before = G->verticalScrollBar()->styleSheet();
    G->SetScrollColor(clNone);
    EXPECT_EQ(G->verticalScrollBar()->styleSheet(), Before);
    G->SetScrollType(ssNormal);
    EXPECT_FALSE(G->FlatScrollBars());
    EXPECT_TRUE(G->verticalScrollBar()->styleSheet().isEmpty());

    // Thumb hints: "Row : n", changed by OnScrollHint; ScrollSynch scrolls at once.
    G->ScrollHints = shVertical;
    G->OnScrollHint = [](TObject *, int ARow, QString &Hint) { Hint += QStringLiteral(" of ") + QString::number(ARow); };
    G->ScrollThumbTrack(true, 127);
    const int Last = G->RowCount() - G->VisibleRowCount();
    EXPECT_EQ(G->ScrollHintText(), QStringLiteral("Row : %1 of %1").arg(Last));
    EXPECT_EQ(G->TopRow(), 1);
    G->ScrollSynch = true;
    G->ScrollThumbTrack(true, 127);
    EXPECT_GT(G->TopRow(), 1);
    G->ScrollThumbEnd(true);
    EXPECT_FALSE(G->HintShowing());
}

TEST(GridColumns, FooterSumsMatchComputedValuesAlsoWithoutDataRows)
{
    auto G = MakeGrid(6, 6);
    G->FloatingFooter()->SetVisible(true);
    const int Last = G->RowCount() - 1;
    const double Values[] = {3.5, -2, 10, 4.25};
    double Sum = 0, Min = 1e9, Max = -1e9;
    for (int R = 1; R <= 4; ++R) {
        const double V = Values[R - 1];
        for (int C = 1; C <= 5; ++C)
            G->SetFloats(C, R, V);
        Sum += V;
        Min = std::min(Min, V);
        Max = std::max(Max, V);
    }
    const quint8 Kinds[] = {fcSum, fcAverage, fcCount, fcMinimum, fcMaximum};
    for (int C = 1; C <= 5; ++C)
        G->GetCellProperties(C, Last)->FooterCalc = Kinds[C - 1] | 0x80;   // the top bit does not count
    G->SetCellText(0, Last, QStringLiteral("stale"));
    G->GetCellProperties(0, Last)->FooterCalc = fcNone;
    G->RecalcFooter(-1);
    EXPECT_DOUBLE_EQ(G->Floats(1, Last), Sum);
    // The footer holds the value as FloatFormat writes it.
    EXPECT_NEAR(G->Floats(2, Last), Sum / 4, 0.005);
    EXPECT_DOUBLE_EQ(G->Floats(3, Last), 4);
    EXPECT_DOUBLE_EQ(G->Floats(4, Last), Min);
    EXPECT_DOUBLE_EQ(G->Floats(5, Last), Max);
    EXPECT_EQ(G->GetCellText(0, Last), QString());

    // No data rows: the sum and the count are 0, average, minimum and maximum stay empty.
    auto E = MakeGrid(6, 2);
    E->FloatingFooter()->SetVisible(true);
    for (int C = 1; C <= 5; ++C) {
        E->SetCellText(C, 1, QStringLiteral("x"));
        E->GetCellProperties(C, 1)->FooterCalc = Kinds[C - 1];
    }
    E->RecalcFooter(-1);
    EXPECT_DOUBLE_EQ(E->Floats(1, 1), 0);
    EXPECT_EQ(E->GetCellText(2, 1), QString());
    EXPECT_DOUBLE_EQ(E->Floats(3, 1), 0);
    EXPECT_EQ(E->GetCellText(4, 1), QString());
    EXPECT_EQ(E->GetCellText(5, 1), QString());
}

TEST(GridColumns, FloatingFooterFlagsTemplateAndPreview)
{
    auto G = MakeGrid(4, 5);
    G->show();
    TFloatingFooter *F = G->FloatingFooter();
    const int ViewportHeight = G->viewport()->height();
    F->SetVisible(true);
    EXPECT_EQ(G->FixedFooters(), 1);
    EXPECT_TRUE(G->FooterInLastRow());
    EXPECT_TRUE(G->FooterPanel()->isVisible());
    EXPECT_EQ(G->FooterPanel()->height(), F->Height());
    EXPECT_EQ(G->FooterPanel()->geometry().top(), G->viewport()->geometry().bottom() + 1);
    F->SetFooterStyle(fsCustomPreview);
    EXPECT_FALSE(G->FooterInLastRow());
    F->SetVisible(false);
    EXPECT_EQ(G->FixedFooters(), 0);
    EXPECT_FALSE(G->FooterPanel()->isVisible());
    EXPECT_EQ(G->viewport()->height(), ViewportHeight);

    G->SetCellText(1, 2, QStringLiteral("one"));
    G->SetCellText(2, 2, QStringLiteral("two"));
    G->SetRow(2);
    TFooterPanel *P = G->FooterPanel();
    EXPECT_EQ(P->ExpandFooterTemplate(QStringLiteral("a <#1> b <#2>!")), QStringLiteral("a one b two!"));
    // Out of range, not a number, unclosed: no read outside the row, the rest kept as text.
    EXPECT_EQ(P->ExpandFooterTemplate(QStringLiteral("[<#99>][<#x>][<#-1>]")), QStringLiteral("[][][]"));
    EXPECT_EQ(P->ExpandFooterTemplate(QStringLiteral("tail <#1")), QStringLiteral("tail <#1"));
    EXPECT_EQ(P->ExpandFooterTemplate(QStringLiteral("<#1><#")), QStringLiteral("one<#"));
    G->SetRow(1);
    G->SetRowCount(1);
    EXPECT_EQ(P->ExpandFooterTemplate(QStringLiteral("<#1>")), QString());
}

TEST(GridColumns, FixedLastRowStripPaintsTheRowAsTheGridDoes)
{
    auto G = MakeGrid(4, 4, 260, 160);
    for (int C = 0; C < 4; ++C)
        G->SetCellText(C, 3, QStringLiteral("S%1").arg(C));
    G->GetCellProperties(2, 3)->SetBrushColor(clYellow);
    G->FloatingFooter()->SetVisible(true);
    QApplication::processEvents();
    const QImage Strip = G->FooterPanel()->RenderToImage();
    // The row as the cells paint it when they do not leave it to the strip
    // (a footer row: painted in the fixed look).
    G->SetFooterInLastRow(false);
    const QImage Grid = G->RenderToImage();
    G->SetFooterInLastRow(true);
    const TRect Row = G->CellRect(1, 3);
    ASSERT_FALSE(Row.IsEmpty());
    // Compare the inside of each cell (the lines between cells are the strip's own).
    int Compared = 0;
    for (int C = 0; C < 4; ++C) {
        const TRect Cell = G->CellRect(C, 0);
        for (int X = Cell.Left + 2; X < Cell.Right - 2; ++X)
            for (int Y = 2; Y < Row.Height() - 2; ++Y) {
                ASSERT_EQ(Strip.pixel(X, Y), Grid.pixel(X, Row.Top + Y)) << C << " " << X << " " << Y;
                ++Compared;
            }
    }
    EXPECT_GT(Compared, 100);
    // The yellow cell really is in the strip.
    const TRect Yellow = G->CellRect(2, 0);
    EXPECT_EQ(QColor(Strip.pixel(Yellow.Left + 3, 3)), QColor(Qt::yellow));
}

TEST(GridColumns, SettingsObjectsRepaintAndKeepTheirRules)
{
    auto G = MakeGrid(3, 3);
    G->Bands()->SetPrimaryLength(2);
    G->Bands()->SetSecondaryLength(1);
    EXPECT_EQ(G->Bands()->TotalLength(), 3);

    // Bitmaps are copied, not shared.
    TBitmap B;
    B.SetSize(4, 4);
    G->BackGround()->SetBitmap(&B);
    G->ControlLook()->SetCheckedGlyph(&B);
    B.SetSize(9, 9);
    EXPECT_EQ(G->BackGround()->Bitmap()->Width(), 4);
    EXPECT_EQ(G->ControlLook()->CheckedGlyph()->Width(), 4);

    // A new filter item is case-sensitive and belongs to the grid's filter.
    TFilterData *D = G->Filter()->Add();
    EXPECT_TRUE(D->CaseSensitive);
    EXPECT_EQ(D->Collection(), G->Filter());
    EXPECT_EQ(G->Filter()->Grid(), G.get());
    EXPECT_EQ(MessageOf([&] { G->Filter()->Items(5); }), QStringLiteral("List index out of bounds (5)"));
}

TEST(GridColumns, BandColourChangesRepaintOnlyWhileActive)
{
    auto G = MakeGrid(3, 3);
    G->show();
    QApplication::processEvents();
    int Paints = 0;
    struct Counter : QObject {
        int *N;
        explicit Counter(int *Count) : N(Count) {}
        bool eventFilter(QObject *, QEvent *E) override
        {
            if (E->type() == QEvent::UpdateRequest || E->type() == QEvent::Paint)
                ++*N;
            return false;
        }
    } Watch(&Paints);
    G->viewport()->installEventFilter(&Watch);
    G->Bands()->SetSecondaryColor(clRed);
    QApplication::processEvents();
    EXPECT_EQ(Paints, 0);
    G->Bands()->SetActive(true);
    QApplication::processEvents();
    const int AfterActive = Paints;
    EXPECT_GT(AfterActive, 0);
    G->Bands()->SetSecondaryColor(clBlue);
    QApplication::processEvents();
    EXPECT_GT(Paints, AfterActive);
}

TEST(GridColumns, DestroyedComponentsAreForgotten)
{
    TCellGrid G;
    {
        TPictureContainer Pictures;
        TImageList Images;
        TCellGridCheck Checker;
        G.PictureContainer = &Pictures;
        G.SetGridImages(&Images);
        G.CellChecker = &Checker;
        EXPECT_EQ(G.PictureContainer.get(), &Pictures);
        EXPECT_EQ(G.CellChecker.get(), &Checker);
    }
    EXPECT_EQ(G.PictureContainer.get(), nullptr);
    EXPECT_EQ(G.GridImages(), nullptr);
    EXPECT_EQ(G.CellChecker.get(), nullptr);
    // Painting and editing after that do not touch them.
    G.SetCellText(1, 1, QStringLiteral("<b>x</b>"));
    G.resize(200, 100);
    EXPECT_FALSE(G.RenderToImage().isNull());
}

TEST(GridColumns, AutoSizeLimitsNoShrinkLinesAndVersion)
{
    auto G = MakeGrid(4, 4);
    G->Loaded();
    EXPECT_EQ(G->MinColWidth, 10);
    // An empty column: 2 * (line width + 1) + margin, raised to the minimum width.
    G->AutoSizeColumn(2);
    EXPECT_EQ(G->ColWidths(2), std::max(2 * (G->GridLineWidth() + 1) + G->CellMargin, 10));
    G->MinColWidth = 0;
    G->CellMargin = 3;
    G->AutoSizeColumn(2);
    EXPECT_EQ(G->ColWidths(2), 2 * (G->GridLineWidth() + 1) + 3);

    // Text widens the column; with NoShrink a wide column with short texts stays.
    G->SetCellText(1, 2, QStringLiteral("a fairly long piece of text"));
    G->AutoSizeColumn(1);
    const int Fitted = G->ColWidths(1);
    EXPECT_GT(Fitted, G->Canvas()->TextWidth(QStringLiteral("a fairly long")));
    G->SetCellText(1, 2, QStringLiteral("ab"));
    G->SetColWidths(1, 300);
    G->NoShrink = true;
    G->AutoSizeColumn(1);
    EXPECT_EQ(G->ColWidths(1), 300);
    G->NoShrink = false;
    G->MaxColWidth = 40;
    G->SetCellText(1, 2, QStringLiteral("a fairly long piece of text"));
    G->AutoSizeColumn(1);
    EXPECT_EQ(G->ColWidths(1), 40);

    // Three lines of "gh" height h: (h + h div 8) * 3 + Extra.
    G->Canvas()->SetFont(*G->Font());
    const int H = G->Canvas()->TextHeight(QStringLiteral("gh"));
    G->MinRowHeight = 0;
    G->SetRowHeightForLines(2, 3, 5);
    EXPECT_EQ(G->RowHeights(2), (H + H / 8) * 3 + 5);

    G->Multilinecells = true;
    G->SetCellText(3, 1, QStringLiteral("a\r\nb\rc\nd"));
    EXPECT_EQ(G->MaxLinesInRow(1), 4);
    G->Multilinecells = false;
    EXPECT_EQ(G->MaxLinesInRow(1), 1);

    EXPECT_EQ(G->GetVersionNr(), (2 << 24) | (4 << 16) | 4);
    EXPECT_EQ(G->GetVersionString(), QStringLiteral("2.4.0.4 Jan, 2003"));
    EXPECT_EQ(G->CellBrushColor(3, 3), TColor(0x1FFFFFFF));
    EXPECT_FALSE(G->IsCellSelected(0, 1));
}

TEST(GridColumns, RotatedTextMeasuresItsTurnedBlock)
{
    auto G = MakeGrid(3, 3);
    TCellGraphic *Rot = G->NewCellGraphic(1, 1);
    Rot->CellType = ctRotated;
    G->SetCellText(1, 1, QStringLiteral("Rotated text"));
    G->Canvas()->SetFont(*G->Font());
    const int W = G->Canvas()->TextWidth(QStringLiteral("Rotated text"));
    const int H = G->Canvas()->TextHeight(QStringLiteral("Rotated text"));
    Rot->CellAngle = 90;
    EXPECT_EQ(G->CellTextSize(1, 1, false), TPoint(H + 12, W + 12));
    Rot->CellAngle = 180;
    EXPECT_EQ(G->CellTextSize(1, 1, false), TPoint(W + 12, H + 12));
    EXPECT_EQ(TCellGrid::RotatedExtent(30, 40, 45), TPoint(49, 49));
    // The turned text is painted inside its cell.
    Rot->CellAngle = 90;
    G->SetColWidths(1, H + 20);
    G->SetRowHeights(1, W + 20);
    const QImage Image = G->RenderToImage();
    const TRect Cell = G->CellRect(1, 1);
    int Dark = 0;
    for (int Y = Cell.Top; Y < Cell.Bottom; ++Y)
        for (int X = Cell.Left; X < Cell.Right; ++X)
            if (qGray(Image.pixel(X, Y)) < 100)
                ++Dark;
    EXPECT_GT(Dark, 20);
}

TEST(GridColumns, GridOnAFormFollowsItsSize)
{
    QWidget Form;
    Form.resize(400, 300);
    auto *G = new TCellGrid(&Form);
    G->setGeometry(10, 10, 200, 100);
    Form.show();
    QApplication::processEvents();
    const QSize Before = G->size();
    Form.resize(450, 320);
    QApplication::processEvents();
    EXPECT_EQ(G->size(), Before + QSize(50, 20));
    Form.resize(100, 100);
    QApplication::processEvents();
    EXPECT_GE(G->width(), 1);
    EXPECT_GE(G->height(), 1);
}

TEST(GridColumns, ComboItemsAndTheWholeGridRange)
{
    auto G = MakeGrid(6, 7);
    G->AddComboItem(QStringLiteral("一"));
    G->AddComboItem(QStringLiteral("two"));
    ASSERT_NE(G->InplaceCombo(), nullptr);
    EXPECT_EQ(G->InplaceCombo()->count(), 2);
    EXPECT_EQ(G->InplaceCombo()->itemText(0), QStringLiteral("一"));
    G->ClearComboItems();
    EXPECT_EQ(G->InplaceCombo()->count(), 0);

    EXPECT_EQ(G->WholeGridRange(), (TGridRect{0, 0, 5, 6}));
    G->IncludeFixedCells = false;
    G->SetFixedRightCols(1);
    G->FloatingFooter()->SetVisible(true);
    EXPECT_EQ(G->WholeGridRange(), (TGridRect{1, 1, 4, 5}));
}
