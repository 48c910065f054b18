#include "grid/CellGrid.h"
#include "GridChecks.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QMainWindow>

#include <algorithm>
#include <vector>

namespace {

// A 4 x 6 grid with one fixed row and column; column 1 holds a, b, a, c, ab.
void FillLetters(TCellGrid &G)
{
    G.SetColCount(4);
    G.SetRowCount(6);
    const char *Texts[] = {"a", "b", "a", "c", "ab"};
    for (int R = 1; R <= 5; ++R) {
        G.SetCellText(1, R, QString::fromLatin1(Texts[R - 1]));
        G.SetCellText(2, R, QString::number(R));
    }
}

QStringList Column(TCellGrid &G, int ACol)
{
    QStringList L;
    for (int R = 0; R < G.RowCount(); ++R)
        L << G.GetCellText(ACol, R);
    return L;
}

template <typename F>
QString MessageOf(F &&Call)
{
    try {
        Call();
    } catch (const ECellGridError &E) {
        return E.Message();
    }
    return QStringLiteral("no error");
}

TEST(Construction, PublishedAndInternalDefaults)
{
    TCellGrid G;
    EXPECT_EQ(G.Font()->Name(), QStringLiteral("Tahoma"));
    EXPECT_EQ(G.FixedFont()->Name(), QStringLiteral("Tahoma"));
    EXPECT_TRUE(G.ActiveCellFont()->Style() & fsBold);
    EXPECT_EQ(G.ActiveCellColor(), clGray);
    EXPECT_EQ(G.HintColor, clInfoBk);
    EXPECT_EQ(G.SelectionColor(), clHighlight);
    EXPECT_EQ(G.SelectionTextColor(), clHighlightText);
    EXPECT_TRUE(G.ShowSelection());
    EXPECT_TRUE(G.EnableHTML);
    EXPECT_TRUE(G.EnableWheel);
    EXPECT_TRUE(G.IntelliZoom);
    EXPECT_EQ(G.URLColor(), TColor(0xFF0000));
    EXPECT_EQ(G.Look(), glSoft);
    EXPECT_EQ(G.DefaultRowHeight(), 21);
    EXPECT_EQ(G.RowHeights(3), 21);
    EXPECT_EQ(G.CreationRowHeight(), 21);
    EXPECT_EQ(G.FloatFormat, QStringLiteral("%.2f"));
    EXPECT_EQ(G.ScrollColor(), clNone);
    EXPECT_GT(G.ScrollWidth(), 0);
    EXPECT_EQ(G.VAlignment(), vtaTop);
    EXPECT_FALSE(G.AutoSize());
    EXPECT_FALSE(G.WordWrap());
    EXPECT_EQ(G.FixedFooters(), 0);

    // Base grid defaults.
    EXPECT_FALSE(G.DefaultDrawing());
    EXPECT_FALSE(G.TStringGrid::DefaultDrawing());
    EXPECT_EQ(G.GridLineWidth(), 1);
    EXPECT_EQ(G.TStringGrid::GridLineWidth(), 0);
    EXPECT_EQ(G.GridLineColor(), clSilver);
    EXPECT_TRUE(G.Options() & goDrawFocusSelected);
    EXPECT_FALSE(G.FooterInLastRow());

    // Internal settings.
    EXPECT_EQ(G.PasswordChar, QLatin1Char('*'));
    EXPECT_EQ(G.CellTextMargin, TPoint(2, 2));
    EXPECT_EQ(G.CommentColor, clRed);
    EXPECT_TRUE(G.IncludeFixedCells);
    EXPECT_EQ(G.CheckTrue, QStringLiteral("Y"));
    EXPECT_EQ(G.CheckFalse, QStringLiteral("N"));
    EXPECT_EQ(G.NumHiddenColumns(), 0);
    EXPECT_EQ(G.RealColIndex(3), 3);
}

TEST(Construction, OptionObjectsStartAsDocumented)
{
    TCellGrid G;
    const TNavigation *N = G.Navigation();
    EXPECT_TRUE(N->AllowClipboardColGrow);
    EXPECT_TRUE(N->AllowClipboardRowGrow);
    EXPECT_TRUE(N->CopyHTMLTagsToClipboard);
    EXPECT_TRUE(N->EditSelectAll);
    EXPECT_FALSE(N->AllowInsertRow);
    EXPECT_FALSE(N->AdvanceOnEnter);
    EXPECT_EQ(N->AdvanceDirection, adLeftRight);
    EXPECT_EQ(N->TabAdvanceDirection, adLeftRight);
    EXPECT_EQ(N->InsertPosition, pInsertBefore);
    EXPECT_EQ(N->HomeEndKey, heFirstLastColumn);

    EXPECT_EQ(G.ColumnSize()->Owner(), &G);
    EXPECT_EQ(G.ColumnSize()->StretchColumn, -1);
    EXPECT_FALSE(G.ColumnSize()->Save);
    EXPECT_FALSE(G.ColumnSize()->Stretch());
    EXPECT_EQ(G.ColumnSize()->Location, clRegistry);

    EXPECT_EQ(G.CellNode()->Color, clSilver);
    EXPECT_EQ(G.CellNode()->NodeColor, clBlack);
    EXPECT_EQ(G.CellNode()->NodeType(), cnFlat);
    EXPECT_TRUE(G.CellNode()->ExpandGlyph.Empty());
    EXPECT_FALSE(G.CellNode()->ShowTree());

    EXPECT_TRUE(G.HTMLSettings()->SaveColor);
    EXPECT_TRUE(G.HTMLSettings()->SaveFonts);
    EXPECT_EQ(G.HTMLSettings()->BorderSize, 1);
    EXPECT_EQ(G.HTMLSettings()->Width, 100);
    EXPECT_FALSE(G.HTMLSettings()->XHTML);

    EXPECT_EQ(G.PrintSettings()->PageNumSep, QStringLiteral("/"));
    EXPECT_EQ(G.PrintSettings()->DateFormat, QStringLiteral("dd/mm/yyyy"));
    EXPECT_EQ(G.PrintSettings()->Title, ppNone);
    EXPECT_EQ(G.PrintSettings()->Borders, pbNoborder);
    EXPECT_EQ(G.PrintSettings()->FitToPage, fpNever);
    EXPECT_EQ(G.PrintSettings()->Orientation, poPortrait);

    EXPECT_FALSE(G.SortSettings()->Show);
    EXPECT_TRUE(G.SortSettings()->Full);
    EXPECT_TRUE(G.SortSettings()->AutoFormat);
    EXPECT_EQ(G.SortSettings()->IndexColor, clYellow);
    EXPECT_TRUE(G.DragDropSettings()->OleAcceptFiles);
    EXPECT_TRUE(G.DragDropSettings()->OleAcceptText);
    EXPECT_FALSE(G.DragDropSettings()->OleDropTarget());

    EXPECT_FALSE(G.Bands()->Active());
    EXPECT_EQ(G.Bands()->PrimaryColor(), clInfoBk);
    EXPECT_EQ(G.Bands()->SecondaryColor(), clWindow);
    EXPECT_EQ(G.Bands()->TotalLength(), 2);
    G.Bands()->SetPrimaryLength(2);
    EXPECT_EQ(G.Bands()->TotalLength(), 3);
    EXPECT_EQ(G.ControlLook()->CheckSize(), 15);
    EXPECT_EQ(G.ControlLook()->RadioSize(), 10);
    EXPECT_EQ(G.ControlLook()->ControlStyle(), csClassic);
    EXPECT_EQ(G.BackGround()->Display(), bdTile);
    EXPECT_EQ(G.BackGround()->Cells(), bcNormal);
    EXPECT_FALSE(G.FloatingFooter()->Visible());
    EXPECT_EQ(G.FloatingFooter()->FooterStyle(), fsFixedLastRow);
    EXPECT_FALSE(G.SizeWhileTyping()->Height);
    EXPECT_FALSE(G.MouseActions()->DisjunctRowSelect);
    EXPECT_FALSE(G.MouseActions()->RowSelect);
    EXPECT_EQ(G.Filter()->Count(), 0);
    EXPECT_TRUE(G.Filter()->Add()->CaseSensitive);

    for (int D = 0; D < 4; ++D) {
        ASSERT_NE(G.ArrowWindow(D), nullptr);
        EXPECT_EQ(G.ArrowWindow(D)->Direction(), D);
        EXPECT_FALSE(G.ArrowWindow(D)->isVisible());
    }
}

TEST(Construction, OnlyAGridPlacedOnAWindowHooksItsResizing)
{
    QMainWindow Form;
    TCellGrid OnForm(&Form);
    EXPECT_TRUE(OnForm.FormHooked());
    QWidget Panel(&Form);
    TCellGrid OnPanel(&Panel);
    EXPECT_FALSE(OnPanel.FormHooked());
    TCellGrid Alone;
    EXPECT_FALSE(Alone.FormHooked());
}

TEST(Construction, FooterVisibleWithFixedLastRowStyleSetsTheBaseGridFlag)
{
    TCellGrid G;
    G.FloatingFooter()->SetVisible(true);
    EXPECT_TRUE(G.FooterInLastRow());
    G.FloatingFooter()->SetFooterStyle(fsColumnPreview);
    EXPECT_FALSE(G.FooterInLastRow());
    EXPECT_THROW(G.SortSettings()->SetRow(2), Exception);
    G.SortSettings()->SetRow(1);   // up to and including FixedRows
    EXPECT_EQ(G.SortSettings()->Row(), 1);
}

TEST(Events, FiredThroughPreparingOperationsWithTheirOwnArgumentOrder)
{
    TCellGrid G;
    G.SetRowCount(8);
    std::vector<QString> Log;
    auto Note = [&Log](const char *Name, TObject *Sender, int A, int B) {
        Log.push_back(QStringLiteral("%1 %2 %3 %4").arg(QLatin1String(Name)).arg(Sender != nullptr).arg(A).arg(B));
    };
    G.OnGridHint = [&](TObject *S, int ARow, int ACol, QString &H) { Note("hint", S, ARow, ACol); H = QStringLiteral("h"); };
    G.OnGetAlignment = [&](TObject *S, int ARow, int ACol, TAlignment &HA, TVAlignment &VA) {
        Note("align", S, ARow, ACol);
        HA = taCenter;
        VA = vtaBottom;
    };
    G.OnGetFormat = [&](TObject *S, int ACol, TSortStyle &St, QString &P, QString &Sf) {
        Note("format", S, ACol, -1);
        St = soNumber;
        P = QStringLiteral("$");
        Sf = QStringLiteral("kg");
    };
    G.OnGetEditorType = [&](TObject *S, int ACol, int ARow, TEditorType &E) { Note("editor", S, ACol, ARow); E = edEditBtn; };
    G.OnIsPasswordCell = [&](TObject *S, int ARow, int ACol, bool &P) { Note("password", S, ARow, ACol); P = true; };
    G.OnGetCheckTrue = [&](TObject *S, int ACol, int ARow, QString &V) { Note("true", S, ACol, ARow); V += QStringLiteral("es"); };
    G.OnGetCellBorder = [&](TObject *S, int ARow, int ACol, TPen *, TCellBorders &B) { Note("border", S, ARow, ACol); B = cbTop; };

    QString Hint;
    G.GetCellHint(2, 5, Hint);
    TAlignment HA = taLeftJustify;
    TVAlignment VA = vtaTop;
    G.GetCellAlignment(2, 5, HA, VA);
    TSortStyle Style = soAuto;
    QString Prefix, Suffix;
    G.GetColFormat(3, Style, Prefix, Suffix);
    TEditorType E = edNormal;
    G.GetCellEditor(2, 5, E);
    TPen Pen;
    TCellBorders Borders = 0;
    G.GetCellBorder(2, 5, &Pen, Borders);
    EXPECT_TRUE(G.IsPasswordCell(2, 5));
    EXPECT_EQ(G.GetCheckTrue(2, 5), QStringLiteral("Yes"));
    EXPECT_EQ(G.GetCheckFalse(2, 5), QStringLiteral("N"));

    EXPECT_EQ(Hint, QStringLiteral("h"));
    EXPECT_EQ(HA, taCenter);
    EXPECT_EQ(VA, vtaBottom);
    EXPECT_EQ(Style, soNumber);
    EXPECT_EQ(Prefix + Suffix, QStringLiteral("$kg"));
    EXPECT_EQ(E, edEditBtn);
    EXPECT_EQ(Borders, unsigned(cbTop));
    const std::vector<QString> Expected = {
        QStringLiteral("hint 1 5 2"),   QStringLiteral("align 1 5 2"), QStringLiteral("format 1 3 -1"),
        QStringLiteral("editor 1 2 5"), QStringLiteral("border 1 5 2"), QStringLiteral("password 1 5 2"),
        QStringLiteral("true 1 2 5"),
    };
    EXPECT_EQ(Log, Expected);
}

TEST(Events, CellColourDefaultsComeBeforeTheEvent)
{
    TCellGrid G;
    G.SetRowCount(8);
    TCellProperties *P = G.GetCellProperties(2, 3);
    P->SetBrushColor(clRed);
    P->FontColor = clBlue;
    P->FontSize = 14;
    P->FontName = QStringLiteral("Courier");
    int SeenRow = -1, SeenCol = -1;
    TColor SeenBrush = 0;
    QString SeenFont;
    G.OnGetCellColor = [&](TObject *, int ARow, int ACol, TGridDrawState, TBrush *B, TFont *F) {
        SeenRow = ARow;
        SeenCol = ACol;
        SeenBrush = B->Color();
        SeenFont = F->Name();
    };
    TBrush Brush;
    TFont Font;
    G.GetCellColor(2, 3, 0, &Brush, &Font);
    EXPECT_EQ(SeenRow, 3);
    EXPECT_EQ(SeenCol, 2);
    EXPECT_EQ(SeenBrush, clRed);
    EXPECT_EQ(SeenFont, QStringLiteral("Courier"));
    EXPECT_EQ(Font.Color(), clBlue);
    EXPECT_EQ(Font.Size(), 14);

    // The header cell of the current row takes the active-cell look when asked to.
    G.SetActiveCellShow(true);
    G.SetRow(4);
    TBrush HeaderBrush;
    TFont HeaderFont;
    G.GetCellColor(0, 4, gdFixed, &HeaderBrush, &HeaderFont);
    EXPECT_EQ(HeaderBrush.Color(), clGray);
    EXPECT_TRUE(HeaderFont.Style() & fsBold);
}

TEST(Events, FixedCellQueryAndEditQueryOnBaseCells)
{
    TCellGrid G;
    G.SetRowCount(8);
    std::vector<std::pair<int, int>> Asked;
    G.OnIsFixedCell = [&](TObject *, int ARow, int ACol, bool &IsFixed) {
        Asked.emplace_back(ARow, ACol);
        IsFixed = ACol == 3;
    };
    EXPECT_TRUE(G.IsFixedCell(0, 4));   // fixed column: the event is not asked
    EXPECT_TRUE(Asked.empty());
    EXPECT_TRUE(G.IsFixedCell(3, 4));
    EXPECT_FALSE(G.IsFixedCell(2, 4));
    ASSERT_EQ(Asked.size(), 2u);
    EXPECT_EQ(Asked[0], std::make_pair(4, 3));

    G.SetFixedFooters(1);
    EXPECT_TRUE(G.IsFixedCell(2, 7));
    G.SetFixedRightCols(1);
    EXPECT_TRUE(G.IsFixedCell(4, 2));

    G.MergeCellBlock(1, 2, 2, 2);
    std::pair<int, int> EditAsked{-1, -1};
    G.OnCanEditCell = [&](TObject *, int ARow, int ACol, bool &CanEdit) {
        EditAsked = {ARow, ACol};
        CanEdit = true;
    };
    bool CanEdit = false;
    G.CanEditCell(2, 3, CanEdit);
    EXPECT_TRUE(CanEdit);
    EXPECT_EQ(EditAsked, std::make_pair(2, 1));   // the base cell, row first
}

TEST(TypedAccess, IntsFloatsDatesAndTheirErrors)
{
    TCellGrid G;
    EXPECT_EQ(G.Ints(1, 1), 0);
    EXPECT_DOUBLE_EQ(G.Floats(1, 1), 0.0);
    G.SetInts(1, 1, -42);
    EXPECT_EQ(G.GetCellText(1, 1), QStringLiteral("-42"));
    EXPECT_EQ(G.Ints(1, 1), -42);
    G.SetCellText(1, 2, QStringLiteral("12a"));
    EXPECT_EQ(MessageOf([&] { G.Ints(1, 2); }), QStringLiteral("Cell does not contain integer value"));
    EXPECT_EQ(G.GetCellText(1, 2), QStringLiteral("12a"));

    G.SetCellText(1, 3, QStringLiteral("$1,234.50"));
    EXPECT_DOUBLE_EQ(G.Floats(1, 3), 1234.5);
    G.SetCellText(1, 3, QStringLiteral("abc"));
    EXPECT_EQ(MessageOf([&] { G.Floats(1, 3); }), QStringLiteral("Cell does not contain a float value"));
    G.SetCellText(1, 3, QStringLiteral("1-2"));
    EXPECT_EQ(MessageOf([&] { G.Floats(1, 3); }), QStringLiteral("Cell does not contain a float value"));

    G.SetFloats(2, 1, 3.14159);
    EXPECT_EQ(G.GetCellText(2, 1), QStringLiteral("3.14"));
    G.FloatFormat = QStringLiteral("%.1f kg (100%%)");
    G.SetFloats(2, 1, 3.14159);
    EXPECT_EQ(G.GetCellText(2, 1), QStringLiteral("3.1 kg (100%)"));
    // A format asking for anything but one number is not handed to the formatter.
    G.FloatFormat = QStringLiteral("%s%n%d");
    G.SetFloats(2, 1, 2.5);
    EXPECT_EQ(G.GetCellText(2, 1), QStringLiteral("2.50"));

    G.SetDates(3, 1, EncodeDate(2024, 3, 5));
    EXPECT_EQ(G.GetCellText(3, 1), DateToStr(EncodeDate(2024, 3, 5)));
}

TEST(SizeRules, FixedRowAndColumnAlways)
{
    TCellGrid G;
    G.SetFixedRows(0);
    G.SetFixedCols(0);
    G.FixedRowAlways = true;
    G.FixedColAlways = true;
    EXPECT_EQ(G.FixedRows(), 1);
    EXPECT_EQ(G.TStringGrid::FixedRows(), 0);
    G.SetRowCount(2);
    EXPECT_EQ(G.TStringGrid::FixedRows(), 1);
    EXPECT_EQ(G.DataRowCount(), 2);
    G.SetColCount(3);
    EXPECT_EQ(G.TStringGrid::FixedCols(), 1);
}

TEST(SelectionFlags, RangeChecksGrowthAndRanges)
{
    TCellGrid G;
    G.SetRowCount(6);
    EXPECT_EQ(MessageOf([&] { G.RowSelect(6); }), QStringLiteral("Invalid row accessed"));
    EXPECT_EQ(MessageOf([&] { G.SetRowSelect(-1, true); }), QStringLiteral("Invalid row accessed"));
    EXPECT_EQ(MessageOf([&] { G.ColSelect(5); }), QStringLiteral("Invalid column accessed"));
    EXPECT_FALSE(G.RowSelect(5));
    G.SetRowSelect(2, true);
    EXPECT_TRUE(G.RowSelect(2));

    G.SetOptions(G.Options() | goRangeSelect);
    G.SetSelection(TGridRect{1, 3, 2, 4});
    G.RowSelectFromRange(false);
    EXPECT_TRUE(G.RowSelect(2));   // kept
    EXPECT_TRUE(G.RowSelect(3));
    EXPECT_TRUE(G.RowSelect(4));
    G.RowSelectFromRange(true);
    EXPECT_FALSE(G.RowSelect(2));   // replaced
    EXPECT_TRUE(G.RowSelect(4));
    G.ColSelectFromRange(true);
    EXPECT_TRUE(G.ColSelect(1));
    EXPECT_TRUE(G.ColSelect(2));
    EXPECT_FALSE(G.ColSelect(3));
    G.ClearRowSelect();
    G.ClearColSelect();
    EXPECT_FALSE(G.RowSelect(4));
    EXPECT_FALSE(G.ColSelect(1));
}

TEST(SelectionFlags, DisjunctRowFlagsFollowInsertedAndRemovedRows)
{
    TCellGrid G;
    G.MouseActions()->DisjunctRowSelect = true;
    G.SetRowCount(10);
    G.SetRowSelect(3, true);
    G.SetRowSelect(6, true);
    const auto Selected = [&] {
        std::vector<int> Rows;
        for (int R = 0; R < G.RowCount(); ++R)
            if (G.RowSelect(R))
                Rows.push_back(R);
        return Rows;
    };
    G.InsertRowsAt(4, 2);   // between the two selected rows
    EXPECT_EQ(Selected(), (std::vector<int>{3, 8}));
    G.InsertRowsAt(1, 1);   // above both
    EXPECT_EQ(Selected(), (std::vector<int>{4, 9}));
    G.InsertRowsAt(G.RowCount(), 3);   // below both
    EXPECT_EQ(Selected(), (std::vector<int>{4, 9}));
    G.RemoveRows(2, 2);
    EXPECT_EQ(Selected(), (std::vector<int>{2, 7}));
    G.RemoveRows(2, 1);   // a selected row goes with its flag
    EXPECT_EQ(Selected(), (std::vector<int>{6}));
    G.MoveRowTo(6, 1);    // so does a moved one
    EXPECT_EQ(Selected(), (std::vector<int>{1}));
    G.MoveRowTo(1, 9);
    EXPECT_EQ(Selected(), (std::vector<int>{9}));
}

TEST(SelectionFlags, RemovingSelectedRowsTakesFlaggedDataRowsOnly)
{
    // Disjunct flags: runs and single rows go, one removal per row in walk
    // order; a flagged fixed row and the footer stay, and so does its flag.
    TCellGrid G;
    G.MouseActions()->DisjunctRowSelect = true;
    G.SetRowCount(12);
    G.SetFixedFooters(1);
    for (int R = 0; R < 12; ++R)
        G.SetCellText(1, R, QString::number(R));
    for (int R : {0, 2, 3, 4, 7, 10, 11})
        G.SetRowSelect(R, true);
    std::vector<int> Removed;
    G.OnCellsChanged = [&](TObject *, const TRect &R) { Removed.push_back(R.Top); };
    G.RemoveSelectedRows();
    EXPECT_EQ(Column(G, 1).join(QLatin1Char(',')), QStringLiteral("0,1,5,6,8,9,11"));
    EXPECT_EQ(Removed, (std::vector<int>{2, 2, 2, 4, 6}));
    std::vector<int> Flagged;
    for (int R = 0; R < G.RowCount(); ++R)
        if (G.RowSelect(R))
            Flagged.push_back(R);
    EXPECT_EQ(Flagged, (std::vector<int>{0, 6}));
    G.SetRowSelect(3, true);   // the flags still follow the rows
    G.RemoveRows(1, 1);
    EXPECT_TRUE(G.RowSelect(2));

    // The range selection turned into flags: its rows go, the others stay unflagged.
    TCellGrid H;
    H.SetRowCount(8);
    for (int R = 0; R < 8; ++R)
        H.SetCellText(1, R, QString::number(R));
    H.SetSelection(TGridRect{1, 2, 1, 4});
    H.RemoveSelectedRows();
    EXPECT_EQ(Column(H, 1).join(QLatin1Char(',')), QStringLiteral("0,1,5,6,7"));
    for (int R = 0; R < H.RowCount(); ++R)
        EXPECT_FALSE(H.RowSelect(R)) << R;
}

TEST(SelectionFlags, ClearingAfterClearingStillClearsNewAndRevivedFlags)
{
    TCellGrid G;
    G.MouseActions()->DisjunctRowSelect = true;
    G.SetRowCount(10);
    G.SetRowSelect(5, true);
    G.ClearRowSelect();
    G.ClearRowSelect();
    EXPECT_FALSE(G.RowSelect(5));
    G.SetRowSelect(6, true);
    G.ClearRowSelect();
    EXPECT_FALSE(G.RowSelect(6));
    // A flag past a shrunk grid is kept, and cleared once its row is back.
    G.SetRowSelect(8, true);
    G.SetRowCount(6);
    G.ClearRowSelect();
    G.SetRowCount(10);
    G.ClearRowSelect();
    EXPECT_FALSE(G.RowSelect(8));
}

TEST(CellPropertiesOwner, OwnerCellFollowsItsRowAndColumn)
{
    TCellGrid G;
    G.SetColCount(4);
    G.SetRowCount(9);
    for (int R = 1; R < 9; ++R)
        G.SetCellText(1, R, QString::number(R));
    TCellProperties *A = G.GetCellProperties(2, 3);
    TCellProperties *B = G.GetCellProperties(1, 6);
    const auto Sits = [&](TCellProperties *P, int ACol, int ARow) {
        EXPECT_EQ(P->OwnerCol, ACol);
        EXPECT_EQ(P->OwnerRow, ARow);
        EXPECT_EQ(G.GetCellProperties(ACol, ARow), P);
    };
    G.InsertRowsAt(1, 2);
    Sits(A, 2, 5);
    Sits(B, 1, 8);
    G.RemoveRows(2, 1);
    Sits(A, 2, 4);
    Sits(B, 1, 7);
    G.MoveRowTo(7, 1);
    Sits(A, 2, 5);
    Sits(B, 1, 1);
    G.SwapRows(1, 5);
    Sits(A, 2, 1);
    Sits(B, 1, 5);
    G.InsertColumns(1, 1);
    Sits(A, 3, 1);
    Sits(B, 2, 5);

    // A sort moves the rows through SwapRows.
    G.SortSettings()->Column = 2;
    G.SortSettings()->Direction = sdDescending;
    G.SortByColumn();
    const int BRow = B->OwnerRow;
    EXPECT_EQ(G.GetCellProperties(2, BRow), B);
    EXPECT_EQ(G.GetCellText(2, BRow), QStringLiteral("6"));
    EXPECT_EQ(G.GetCellProperties(3, A->OwnerRow), A);

    // An owner cell assigned by hand holds until cells move again.
    B->OwnerRow = 2;
    EXPECT_EQ(B->OwnerRow, 2);
    G.InsertRowsAt(1, 1);
    EXPECT_EQ(B->OwnerRow, BRow + 1);

    // Every object of a column, asked from the last up after rows moved, and
    // one in a hidden row, which keeps the cell it had.
    TCellGrid H;
    H.SetColCount(3);
    H.SetRowCount(40);
    std::vector<TCellProperties *> Column;
    for (int R = 0; R < 40; ++R)
        Column.push_back(H.GetCellProperties(2, R));
    H.HideRows(10, 10);
    H.InsertRowsAt(0, 3);
    for (int R = 39; R >= 0; --R) {
        if (R != 10) {
            EXPECT_EQ(Column[size_t(R)]->OwnerRow, R + 3 - (R > 10 ? 1 : 0)) << R;
        }
    }
    EXPECT_EQ(Column[10]->OwnerRow, 10);
}

TEST(Headers, ColumnAndRowHeadersGoIntoTheFixedCells)
{
    TCellGrid G;
    G.SetCellText(4, 0, QStringLiteral("old"));
    TStringList H;
    H.Add(QStringLiteral("No."));
    H.Add(QStringLiteral("first\\nsecond"));
    G.SetColumnHeaders(H);
    EXPECT_EQ(G.GetCellText(1, 0), QStringLiteral("first\rsecond"));
    EXPECT_TRUE(G.GetCellText(4, 0).isEmpty());   // the row is emptied first
    G.ColumnHeaders()->SetStrings(0, QStringLiteral("Nr"));
    EXPECT_EQ(G.GetCellText(0, 0), QStringLiteral("Nr"));
    TStringList RowH;
    RowH.Add(QString());
    RowH.Add(QStringLiteral("one"));
    G.SetRowHeaders(RowH);
    EXPECT_EQ(G.GetCellText(0, 1), QStringLiteral("one"));
}

TEST(SelectCellGate, RefusesNegativeFooterAndFixedCellsAndChangingEvents)
{
    TCellGrid G;
    G.SetRowCount(8);
    G.SetFixedFooters(1);
    G.SetFixedRightCols(1);
    EXPECT_FALSE(G.SelectCell(-1, 2));
    EXPECT_FALSE(G.SelectCell(2, 7));   // footer row
    EXPECT_FALSE(G.SelectCell(4, 2));   // right fixed column
    EXPECT_TRUE(G.SelectCell(2, 2));

    std::vector<std::vector<int>> Seen;
    G.OnRowChanging = [&](TObject *, int OldRow, int NewRow, bool &) { Seen.push_back({0, OldRow, NewRow}); };
    G.OnColChanging = [&](TObject *, int OldCol, int NewCol, bool &) { Seen.push_back({1, OldCol, NewCol}); };
    G.OnCellChanging = [&](TObject *, int OldRow, int OldCol, int NewRow, int NewCol, bool &Allow) {
        Seen.push_back({2, OldRow, OldCol, NewRow, NewCol});
        Allow = NewRow != 5;
    };
    G.SetCol(2);
    G.SetRow(3);
    G.SetRow(5);
    EXPECT_EQ(G.Row(), 3);   // refused by the cell event
    const std::vector<std::vector<int>> Expected = {
        {1, 1, 2}, {2, 1, 1, 1, 2}, {0, 1, 3}, {2, 1, 2, 3, 2}, {0, 3, 5}, {2, 3, 2, 5, 2},
    };
    EXPECT_EQ(Seen, Expected);

    G.FloatingFooter()->SetVisible(true);
    EXPECT_FALSE(G.SelectCell(2, 7));
}

TEST(SelectCellGate, PerCellEditSwitchStartsFromTheGridsOwnSettingEveryTime)
{
    TCellGrid G;
    G.SetRowCount(8);
    ASSERT_FALSE(G.Options() & goEditing);
    std::vector<bool> Asked;
    G.OnCanEditCell = [&](TObject *, int ARow, int ACol, bool &CanEdit) {
        Asked.push_back(CanEdit);
        if (ACol == 1 && ARow == 6)
            CanEdit = true;
    };
    G.SetCol(2);
    EXPECT_FALSE(G.Options() & goEditing);
    G.SetCol(1);
    G.SetRow(6);
    EXPECT_TRUE(G.Options() & goEditing);    // the one editable cell
    G.SetRow(5);
    EXPECT_FALSE(G.Options() & goEditing);   // the next cell is asked with CanEdit false again
    EXPECT_EQ(Asked, (std::vector<bool>{false, false, false, false}));
    EXPECT_EQ(G.SavedText, G.GetCellText(1, 5));

    // A grid that edits by itself: one refused cell does not switch the later ones off.
    TCellGrid E;
    E.SetRowCount(8);
    E.SetOptions(E.Options() | goEditing);
    E.OnCanEditCell = [](TObject *, int, int ACol, bool &CanEdit) {
        if (ACol == 3)
            CanEdit = false;
    };
    E.SetCol(3);
    EXPECT_FALSE(E.Options() & goEditing);
    E.SetCol(2);
    EXPECT_TRUE(E.Options() & goEditing);
}

TEST(Filter, HidesNonMatchingRowsAndBringsThemBack)
{
    TCellGrid G;
    FillLetters(G);
    G.GetCellProperties(2, 2)->FontSize = 9;
    TFilterData *F = G.Filter()->Add();
    F->Column = 1;
    F->Condition = QStringLiteral("a*");
    std::vector<short> Progress;
    G.OnFilterProgress = [&](TObject *, short P) { Progress.push_back(P); };
    EXPECT_TRUE(G.RowMatchesFilter(1));
    EXPECT_FALSE(G.RowMatchesFilter(2));

    G.SetFilterActive(true);
    EXPECT_EQ(Column(G, 1), (QStringList{QString(), QStringLiteral("a"), QStringLiteral("a"), QStringLiteral("ab")}));
    EXPECT_EQ(G.NumHiddenRows(), 2);
    EXPECT_TRUE(G.IsHiddenRow(2));
    ASSERT_FALSE(Progress.empty());
    EXPECT_EQ(Progress.back(), 100);

    G.SetFilterActive(false);
    EXPECT_EQ(Column(G, 1), (QStringList{QString(), QStringLiteral("a"), QStringLiteral("b"), QStringLiteral("a"),
                                          QStringLiteral("c"), QStringLiteral("ab")}));
    EXPECT_EQ(Column(G, 2)[4], QStringLiteral("4"));
    EXPECT_EQ(G.GetCellProperties(2, 2)->FontSize, 9);   // the property object came back with its row
    EXPECT_EQ(G.FixedRows(), 1);
}

TEST(Filter, NoMatchLeavesOneEmptyDataRowUntilSwitchedOff)
{
    TCellGrid G;
    FillLetters(G);
    TFilterData *F = G.Filter()->Add();
    F->Column = 1;
    F->Condition = QStringLiteral("zz*");
    G.SetFilterActive(true);
    EXPECT_EQ(G.RowCount(), 2);
    EXPECT_EQ(G.FixedRows(), 1);
    EXPECT_TRUE(G.GetCellText(1, 1).isEmpty());
    G.SetFilterActive(false);
    EXPECT_EQ(G.RowCount(), 6);
    EXPECT_EQ(G.FixedRows(), 1);
    EXPECT_EQ(Column(G, 1).join(QLatin1Char(',')), QStringLiteral(",a,b,a,c,ab"));
}

TEST(HiddenRows, MapsAndPartialUnhiding)
{
    TCellGrid G;
    G.SetRowCount(10);
    for (int R = 0; R < 10; ++R)
        G.SetCellText(1, R, QString::number(R));
    G.HideRows(3, 5);
    EXPECT_TRUE(G.IsHiddenRow(4));
    EXPECT_EQ(G.DisplRowIndex(6), 3);
    EXPECT_EQ(G.RealRowIndex(3), 6);
    EXPECT_EQ(G.RowCount(), 7);
    G.HideRows(4, 6);   // starts at a hidden row: nothing
    EXPECT_EQ(G.RowCount(), 7);
    G.UnHideRows(2, 5);   // row 2 is not hidden: nothing
    EXPECT_EQ(G.RowCount(), 7);
    G.UnHideRows(4, 5);
    EXPECT_EQ(G.GetCellText(1, 3), QStringLiteral("4"));
    EXPECT_EQ(G.GetCellText(1, 4), QStringLiteral("5"));
    EXPECT_TRUE(G.IsHiddenRow(3));
    G.UnHideRowsAll();
    EXPECT_EQ(Column(G, 1).join(QLatin1Char(',')), QStringLiteral("0,1,2,3,4,5,6,7,8,9"));
}

TEST(HiddenRows, HidingStopsAtAnAlreadyHiddenRowAndLosesNothing)
{
    TCellGrid G;
    G.SetRowCount(10);
    for (int R = 0; R < 10; ++R)
        G.SetCellText(1, R, QString::number(R));
    G.HideRows(4, 4);
    G.HideRows(2, 6);   // 2 and 3 go; the run ends at the hidden row 4
    EXPECT_EQ(Column(G, 1).join(QLatin1Char(',')), QStringLiteral("0,1,5,6,7,8,9"));
    EXPECT_EQ(G.RealRowIndex(-1), -1);
    EXPECT_EQ(G.RealRowIndex(2), 5);
    EXPECT_EQ(G.DisplRowIndex(3), 2);   // a hidden row maps to where it would return
    G.HideRows(8, 20);   // beyond the end: only the rows that exist go
    EXPECT_EQ(Column(G, 1).join(QLatin1Char(',')), QStringLiteral("0,1,5,6,7"));
    G.UnHideRowsAll();
    EXPECT_EQ(Column(G, 1).join(QLatin1Char(',')), QStringLiteral("0,1,2,3,4,5,6,7,8,9"));
}

TEST(HiddenRows, RowsHiddenAndShownInAnyOrderMapLikeAListOfRealRows)
{
    // Runs are hidden from the bottom, the top and the middle and brought back
    // in another order; after each step the display and real numbers, and
    // the texts shown, agree with a plain list of the real rows still shown.
    TCellGrid G;
    G.SetRowCount(60);
    for (int R = 0; R < 60; ++R)
        G.SetCellText(1, R, QString::number(R));
    std::vector<int> Shown(60);
    for (int R = 0; R < 60; ++R)
        Shown[size_t(R)] = R;
    auto Check = [&]() {
        ASSERT_EQ(G.RowCount(), int(Shown.size()));
        for (int D = 0; D < int(Shown.size()); ++D) {
            EXPECT_EQ(G.RealRowIndex(D), Shown[size_t(D)]);
            EXPECT_EQ(G.DisplRowIndex(Shown[size_t(D)]), D);
            EXPECT_EQ(G.GetCellText(1, D), QString::number(Shown[size_t(D)]));
        }
        for (int R = 0; R < 60; ++R)
            EXPECT_EQ(G.IsHiddenRow(R), std::find(Shown.begin(), Shown.end(), R) == Shown.end()) << R;
    };
    auto Hide = [&](int From, int To) {
        G.HideRows(From, To);
        Shown.erase(std::remove_if(Shown.begin(), Shown.end(), [&](int R) { return R >= From && R <= To; }),
                    Shown.end());
        Check();
    };
    auto Unhide = [&](int From, int To) {
        G.UnHideRows(From, To);
        for (int R = From; R <= To; ++R)
            Shown.push_back(R);
        std::sort(Shown.begin(), Shown.end());
        Check();
    };
    Hide(50, 54);
    Hide(3, 4);
    Hide(20, 29);
    Hide(10, 10);
    Hide(31, 31);
    Unhide(20, 29);
    Hide(57, 58);
    Unhide(3, 4);
    Hide(0, 1);
    Unhide(57, 58);
    EXPECT_EQ(G.RealRowIndex(int(Shown.size()) + 2), 62);   // past the end: the rows beyond count on
    G.UnHideRowsAll();
    EXPECT_EQ(G.NumHiddenRows(), 0);
    for (int R = 0; R < 60; ++R)
        EXPECT_EQ(G.GetCellText(1, R), QString::number(R));
}

TEST(HiddenRows, MergedBlocksHideAndReturnWhole)
{
    TCellGrid G;
    G.SetRowCount(10);
    for (int R = 0; R < 10; ++R)
        G.SetCellText(1, R, QString::number(R));
    G.MergeCellBlock(1, 2, 2, 4);   // rows 2-5
    G.HideRows(3, 4);
    EXPECT_EQ(G.RowCount(), 6);
    EXPECT_TRUE(G.IsHiddenRow(2));
    EXPECT_TRUE(G.IsHiddenRow(5));
    EXPECT_EQ(G.GetCellText(1, 3), QStringLiteral("7"));
    G.SetCellText(1, 3, QStringLiteral("seven"));
    EXPECT_EQ(G.GetCellText(1, 0), QStringLiteral("0"));
    // Naming one row of a hidden block brings the whole block back.
    G.UnHideRows(4, 4);
    EXPECT_EQ(G.NumHiddenRows(), 0);
    EXPECT_EQ(G.CellSpan(1, 2), TPoint(1, 3));
    EXPECT_EQ(G.GetCellText(2, 5), QStringLiteral("2"));
    EXPECT_EQ(Column(G, 1).join(QLatin1Char(',')), QStringLiteral("0,1,2,2,2,2,6,seven,8,9"));

    // The filter hides the block with its failing row and brings it back intact.
    TFilterData *F = G.Filter()->Add();
    F->Column = 2;
    F->Condition = QStringLiteral("<>x");
    G.SetCellText(2, 6, QStringLiteral("x"));
    G.MergeCellBlock(2, 6, 1, 2);   // rows 6-7 of column 2
    G.SetFilterActive(true);
    EXPECT_EQ(Column(G, 1).join(QLatin1Char(',')), QStringLiteral("0,1,2,2,2,2,8,9"));
    G.SetFilterActive(false);
    EXPECT_EQ(Column(G, 1).join(QLatin1Char(',')), QStringLiteral("0,1,2,2,2,2,6,seven,8,9"));
    EXPECT_EQ(G.GetCellText(2, 7), QStringLiteral("x"));
}

TEST(HiddenRows, FilterLooksAgainAfterABlockWentWithItsFailingRow)
{
    TCellGrid G;
    G.SetRowCount(7);
    const QStringList Keep{"", "y", "y", "n", "n", "y", "n"};
    for (int R = 1; R < 7; ++R) {
        G.SetCellText(1, R, QString::number(R));
        G.SetCellText(2, R, Keep[R]);
    }
    G.MergeCellBlock(1, 2, 1, 2);   // rows 2-3 of column 1: row 2 matches, row 3 does not
    TFilterData *F = G.Filter()->Add();
    F->Column = 2;
    F->Condition = QStringLiteral("y");
    G.SetFilterActive(true);
    EXPECT_EQ(Column(G, 2).join(QLatin1Char(',')), QStringLiteral(",y,y"));
    G.SetFilterActive(false);
    EXPECT_EQ(Column(G, 2).join(QLatin1Char(',')), Keep.join(QLatin1Char(',')));
    EXPECT_EQ(G.CellSpan(1, 2), TPoint(0, 1));
}

// Rows r0 .. r(N-1): the tag of each row in column 2, merges in column 1.
void FillTags(TCellGrid &G, int Rows)
{
    G.SetColCount(4);
    G.SetRowCount(Rows);
    for (int R = 0; R < Rows; ++R)
        G.SetCellText(2, R, QStringLiteral("r%1").arg(R));
}

std::string Tags(TCellGrid &G)
{
    return Column(G, 2).join(QLatin1Char(' ')).toStdString();
}

TEST(HiddenRows, ABlockHiddenAcrossTheRowsHiddenInsideItSendsThemAfterIt)
{
    // A block merged over displayed rows that are no run of real rows (rows
    // were hidden between them) goes out whole; the rows hidden inside it
    // come back after it, and nothing is lost or numbered twice on the way.
    TCellGrid G;
    FillTags(G, 10);
    auto Sound = [](TCellGrid &Grid, int Rows) {
        EXPECT_EQ(HiddenRowFaults(Grid, Rows).join(QLatin1String("; ")).toStdString(), "");
        EXPECT_EQ(MergeFaults(Grid).join(QLatin1String("; ")).toStdString(), "");
    };
    G.HideRows(4, 4);
    G.MergeCellBlock(1, 3, 1, 3);   // displayed rows 3-5: r3, r5, r6
    G.SetCellText(1, 3, QStringLiteral("B"));
    G.HideRows(5, 5);   // r5 takes its block along
    EXPECT_EQ(Tags(G), "r0 r1 r2 r7 r8 r9");
    Sound(G, 10);
    EXPECT_EQ(G.RealRowIndex(3), 7);
    // Naming a row of the block brings the block back; r4 stays hidden after it.
    G.UnHideRows(4, 4);
    EXPECT_EQ(Tags(G), "r0 r1 r2 r3 r5 r6 r7 r8 r9");
    Sound(G, 10);
    EXPECT_EQ(G.CellSpan(1, 3), TPoint(0, 2));
    EXPECT_EQ(Column(G, 1).mid(3, 3).join(QLatin1Char(',')), QStringLiteral("B,B,B"));
    EXPECT_TRUE(G.IsHiddenRow(6));
    G.UnHideRows(6, 6);
    EXPECT_EQ(Tags(G), "r0 r1 r2 r3 r5 r6 r4 r7 r8 r9");
    Sound(G, 10);

    // Widening upwards across two hidden rows; one of them comes back alone
    // while the block is out, then everything comes back.
    TCellGrid H;
    FillTags(H, 12);
    H.HideRows(4, 4);
    H.HideRows(6, 6);
    H.MergeCellBlock(1, 2, 1, 4);   // displayed rows 2-5: r2, r3, r5, r7
    H.SetCellText(1, 2, QStringLiteral("B"));
    H.HideRows(7, 9);   // from r7, the last row of the block, to r9
    EXPECT_EQ(Tags(H), "r0 r1 r10 r11");
    Sound(H, 12);
    EXPECT_EQ(H.NumHiddenRows(), 8);
    H.UnHideRows(7, 7);   // r6, now after r4 behind the block
    EXPECT_EQ(Tags(H), "r0 r1 r6 r10 r11");
    Sound(H, 12);
    H.UnHideRowsAll();
    EXPECT_EQ(Tags(H), "r0 r1 r2 r3 r5 r7 r4 r6 r8 r9 r10 r11");
    Sound(H, 12);
    EXPECT_EQ(H.CellSpan(1, 2), TPoint(0, 3));
    EXPECT_EQ(Column(H, 1).mid(2, 4).join(QLatin1Char(',')), QStringLiteral("B,B,B,B"));

    // A node whose group cuts such a block hides it whole and brings it back.
    TCellGrid N;
    FillTags(N, 10);
    N.HideRows(4, 4);
    N.MergeCellBlock(1, 3, 1, 2);   // displayed rows 3-4: r3 and r5
    TCellGraphic *Node = N.NewCellGraphic(0, 1);
    Node->CellType = ctNode;
    Node->CellIndex = 3;   // displayed rows 1-3
    N.ContractNode(1);
    EXPECT_EQ(Tags(N), "r0 r1 r6 r7 r8 r9");
    Sound(N, 10);
    N.ExpandNode(1);
    EXPECT_EQ(Tags(N), "r0 r1 r2 r3 r5 r4 r6 r7 r8 r9");
    Sound(N, 10);
    EXPECT_EQ(N.CellSpan(1, 3), TPoint(0, 1));

    // The filter hides such a block with the failing rows around it.
    TCellGrid F;
    FillTags(F, 10);
    for (int R : {3, 5, 6})
        F.SetCellText(3, R, QStringLiteral("x"));
    F.HideRows(4, 4);
    F.MergeCellBlock(1, 3, 1, 2);   // displayed rows 3-4: r3 and r5
    TFilterData *Filter = F.Filter()->Add();
    Filter->Column = 3;
    Filter->Condition = QStringLiteral("<>x");
    F.SetFilterActive(true);
    EXPECT_EQ(Tags(F), "r0 r1 r2 r7 r8 r9");
    Sound(F, 10);
    F.SetFilterActive(false);
    EXPECT_EQ(Tags(F), "r0 r1 r2 r3 r5 r4 r6 r7 r8 r9");
    Sound(F, 10);
    EXPECT_EQ(F.CellSpan(1, 3), TPoint(0, 1));
}

TEST(HiddenColumns, MapsWithAHiddenColumn)
{
    TCellGrid G;
    G.SetColCount(4);
    EXPECT_EQ(G.RealColIndex(2), 2);
    G.SetColumnHidden(1, true);
    EXPECT_EQ(G.NumHiddenColumns(), 1);
    EXPECT_EQ(G.RealColIndex(0), 0);
    EXPECT_EQ(G.RealColIndex(1), 2);
    EXPECT_EQ(G.RealColIndex(600), 600);
    EXPECT_EQ(G.DisplColIndex(2), 1);
    EXPECT_EQ(G.DisplColIndex(1), 1);
    EXPECT_EQ(G.DisplColIndex(-3), -3);
    EXPECT_EQ(G.DisplColIndex(700), 699);
    // No shown column below 512 answers 0.
    EXPECT_EQ(G.RealColIndex(511), 0);
    // Hiding rows widens the grid by the hidden count and narrows it again.
    G.SetColWidths(3, 77);
    G.SetRowCount(5);
    G.HideRows(2, 2);
    EXPECT_EQ(G.ColCount(), 4);
    EXPECT_EQ(G.ColWidths(3), 77);
    G.UnHideRowsAll();
    EXPECT_EQ(G.RowCount(), 5);
    G.SetColumnHidden(1, false);
    EXPECT_EQ(G.RealColIndex(1), 1);
}

TEST(RowOperations, InsertRemoveAndEmptyKeepMergesAndObjectsInStep)
{
    TCellGrid G;
    G.SetRowCount(7);
    G.MergeCellBlock(1, 1, 1, 5);
    G.SetCellText(1, 1, QStringLiteral("photo"));
    G.InsertRowsAt(1, 6);
    EXPECT_EQ(G.RowCount(), 13);
    EXPECT_EQ(G.RowHeights(1), G.DefaultRowHeight());
    EXPECT_FALSE(G.HasCellProperties(1, 1));
    EXPECT_EQ(G.GetCellText(1, 9), QStringLiteral("photo"));   // the block moved down whole
    EXPECT_EQ(G.BaseCell(1, 11), TPoint(1, 7));

    G.RemoveRows(1, 6);
    EXPECT_EQ(G.RowCount(), 7);
    EXPECT_EQ(G.GetCellText(1, 3), QStringLiteral("photo"));
    G.InsertRowsAt(G.RowCount(), 2);   // appends
    EXPECT_EQ(G.RowCount(), 9);
    G.InsertRowsAt(-5, 1);             // clamped, nothing written outside the grid
    EXPECT_EQ(G.RowCount(), 10);

    int Changes = 0;
    G.OnCellsChanged = [&](TObject *, const TRect &) { ++Changes; };
    G.EmptyAllCells();
    EXPECT_GE(Changes, 1);
    EXPECT_EQ(G.RowCount(), 10);
    for (int R = 0; R < G.RowCount(); ++R)
        for (int C = 0; C < G.ColCount(); ++C) {
            EXPECT_FALSE(G.HasCellProperties(C, R));
            EXPECT_TRUE(G.GetCellText(C, R).isEmpty());
        }
}

TEST(RowOperations, MergeEqualCellsAndDeleteRowEvent)
{
    TCellGrid G;
    G.SetRowCount(6);
    const char *V[] = {"a", "a", "b", "b", "b"};
    for (int R = 1; R <= 5; ++R)
        G.SetCellText(1, R, QString::fromLatin1(V[R - 1]));
    G.MergeEqualCellsInColumn(1, true);
    EXPECT_EQ(G.CellSpan(1, 2), TPoint(0, 1));
    EXPECT_EQ(G.BaseCell(1, 5), TPoint(1, 3));
    EXPECT_EQ(G.CellSpan(1, 4), TPoint(0, 2));
    G.UnmergeColumn(1);
    EXPECT_FALSE(G.IsMergedCell(1, 4));

    G.SetRowCount(2);
    G.SetCellText(1, 1, QStringLiteral("last"));
    int Deleted = -1;
    G.OnAutoDeleteRow = [&](TObject *, int ARow) { Deleted = ARow; };
    G.DeleteRowEvent(1);   // the one data row left is emptied, not removed
    EXPECT_EQ(G.RowCount(), 2);
    EXPECT_TRUE(G.GetCellText(1, 1).isEmpty());
    EXPECT_EQ(Deleted, 1);
}

TEST(CellPictures, CreatingTwiceReplacesThePictureAndKeepsTheTextEmpty)
{
    TCellGrid G;
    TPicture *First = G.CreateCellPicture(1, 1, false, 4, 0, haCenter, vaCenter);
    ASSERT_NE(First, nullptr);
    TPicture *Second = G.CreateCellPicture(1, 1, true, 2, 3, haLeft, vaTop);
    const TCellGraphic *Graphic = G.GetCellGraphic(1, 1);
    ASSERT_NE(Graphic, nullptr);
    EXPECT_EQ(Graphic->GraphicObject(), Second);
    EXPECT_EQ(Graphic->CellType, ctPicture);
    EXPECT_EQ(Graphic->CellAngle, 2);
    EXPECT_EQ(Graphic->CellIndex, 3);
    EXPECT_TRUE(Graphic->CellCreated);
    EXPECT_TRUE(Graphic->CellTransparent);
    EXPECT_TRUE(G.GetCellText(1, 1).isEmpty());
    EXPECT_EQ(G.CreateCellPicture(99, 1, false, 4, 0, haLeft, vaTop), nullptr);
}

TEST(CellPictures, SizeRuleByStretchMode)
{
    struct Case {
        int W, H, CW, CH, P, Mode, EW, EH;
    };
    const Case Cases[] = {
        {200, 100, 100, 100, 0, 4, 100, 50}, {50, 300, 100, 100, 0, 4, 17, 100}, {80, 60, 100, 100, 0, 4, 80, 60},
        {10, 20, 100, 100, 0, 2, 50, 100},   {80, 60, 100, 100, 4, 1, 96, 96},   {0, 0, 100, 100, 0, 2, 0, 100},
        {0, 0, 100, 100, 0, 4, 0, 0},        {120, 60, 100, 100, 0, 3, 100, 100}, {80, 60, 100, 100, 0, 7, 80, 60},
    };
    for (const Case &C : Cases) {
        int W = -1, H = -1;
        PictureSizeInCell(C.W, C.H, C.CW, C.CH, C.P, C.Mode, W, H);
        EXPECT_EQ(W, C.EW) << C.W << "x" << C.H << " mode " << C.Mode;
        EXPECT_EQ(H, C.EH) << C.W << "x" << C.H << " mode " << C.Mode;
    }
}

TEST(CheckBoxes, StateAndToggleAskTheEditGate)
{
    TCellGrid G;
    auto *Check = new TCellGraphic;
    Check->CellType = ctDataCheckBox;
    G.SetCellGraphic(2, 2, Check);
    bool State = true;
    EXPECT_TRUE(G.GetCheckState(2, 2, State));
    EXPECT_FALSE(State);
    EXPECT_TRUE(G.HasCheckControl(2, 2));
    G.OnCanEditCell = [](TObject *, int, int, bool &CanEdit) { CanEdit = false; };
    EXPECT_FALSE(G.ToggleCheck(2, 2, true));
    EXPECT_TRUE(G.ToggleCheck(2, 2, false));
    EXPECT_EQ(G.GetCellText(2, 2), QStringLiteral("Y"));
    EXPECT_FALSE(G.GetCheckState(3, 3, State));
}

TEST(AuxiliaryObjects, IntListsNotifyAndSortIndexesCarryDirection)
{
    TIntList L(7, 9);
    std::vector<std::pair<int, int>> Notes;
    L.OnChange = [&](TObject *, int A, int B) { Notes.emplace_back(A, B); };
    L.SetCommaText(QStringLiteral("3,1,2"));
    EXPECT_EQ(L.Count(), 3);
    EXPECT_EQ(L.Items(0), 3);
    EXPECT_EQ(Notes.size(), 3u);
    EXPECT_EQ(Notes[0], std::make_pair(7, 9));
    EXPECT_EQ(L.CommaText(), QStringLiteral("3,1,2"));
    L.Insert(0, 5);   // no notification
    EXPECT_EQ(Notes.size(), 3u);
    L.SetItems(0, 6);
    L.Delete(0);
    EXPECT_EQ(Notes.size(), 5u);
    EXPECT_THROW(L.Items(10), EListError);
    EXPECT_THROW(L.SetCommaText(QStringLiteral("1,x")), EConvertError);

    TSortIndexList S;
    S.AddIndex(4, false);
    S.AddIndex(2, true);
    EXPECT_EQ(S.FindIndex(4), 0);
    EXPECT_EQ(quint32(S.Items(0)), 0x80000004u);
    S.ToggleIndex(4);
    EXPECT_EQ(S.Items(0), 4);
    EXPECT_EQ(S.FindIndex(2), 1);
    EXPECT_EQ(S.FindIndex(3), -1);
    S.ToggleIndex(3);   // absent: nothing
    EXPECT_EQ(S.Count(), 2);
}

TEST(AuxiliaryObjects, ArrowShapesCheckerAndThemes)
{
    const std::vector<TPoint> Up = TArrowWindow::ArrowPoints(0);
    ASSERT_EQ(Up.size(), 7u);
    EXPECT_EQ(Up[0], TPoint(5, 0));
    EXPECT_EQ(TArrowWindow::ArrowPoints(3)[1], TPoint(4, 10));
    TArrowWindow Arrow(nullptr, 1);
    EXPECT_FALSE(Arrow.isVisible());
    EXPECT_EQ(Arrow.Color(), clLime);
    EXPECT_TRUE(Arrow.mask().contains(QPoint(5, 6)));
    EXPECT_FALSE(Arrow.mask().contains(QPoint(0, 0)));

    TCellGridCheck Check;
    EXPECT_EQ(Check.Correct(QStringLiteral("x")), QStringLiteral("x"));
    EXPECT_EQ(Check.MarkError(QStringLiteral("y")), QStringLiteral("y"));
    EXPECT_FALSE(Check.GotoCell || Check.AutoCorrect || Check.AutoMarkError || Check.UseCorrect || Check.UseMarkError);

    TFilePicture Missing;
    Missing.SetFilename(QStringLiteral("no-such-picture.bmp"));
    EXPECT_EQ(Missing.Width(), 0);

    TBitmap B(20, 20);
    GridXPVS::SetThemeLibraryAvailable(false);
    EXPECT_FALSE(GridXPVS::ThemeLibraryLoaded());
    EXPECT_FALSE(GridXPVS::DrawThemeBackground(B.Canvas(), GridXPVS::tpCheckBox, 0, TRect(0, 0, 20, 20)));
    GridXPVS::SetThemeLibraryAvailable(true);
    EXPECT_TRUE(GridXPVS::ThemeLibraryLoaded());
}

} // namespace

namespace {

TEST(Nodes, ContractingHidesTheGroupAndExpandingBringsItBack)
{
    TCellGrid G;
    G.SetRowCount(8);
    for (int R = 0; R < 8; ++R)
        G.SetCellText(1, R, QString::number(R));
    TCellGraphic *Node = G.NewCellGraphic(0, 2);
    Node->CellType = ctNode;
    Node->CellIndex = 3;   // the node row and two rows under it
    EXPECT_TRUE(G.IsNode(2));
    EXPECT_TRUE(G.HasNodes());
    EXPECT_FALSE(G.GetNodeState(2));
    EXPECT_EQ(G.GetNodeSpan(2), 3);
    EXPECT_EQ(G.GetNodeSpan(3), -1);
    EXPECT_EQ(G.TreeLineKind(3), 2);
    EXPECT_EQ(G.TreeLineKind(4), 1);

    G.ContractNode(2);
    EXPECT_TRUE(G.GetNodeState(2));
    EXPECT_EQ(G.RowCount(), 6);
    EXPECT_EQ(G.GetCellText(1, 3), QStringLiteral("5"));
    G.ContractNode(2);   // already contracted: nothing
    EXPECT_EQ(G.RowCount(), 6);
    G.ExpandNode(2);
    EXPECT_FALSE(G.GetNodeState(2));
    EXPECT_EQ(G.RowCount(), 8);
    EXPECT_EQ(G.GetCellText(1, 4), QStringLiteral("4"));

    // A node column refuses to become the current column.
    EXPECT_FALSE(G.SelectCell(0, 3));

    // A row of the group hidden before (as the filter does): contracting
    // still hides every row of the group shown, expanding brings all back.
    G.HideRows(4, 4);   // the group's rows shown: 3 and 5
    ASSERT_EQ(G.RowCount(), 7);
    G.ContractNode(2);
    EXPECT_EQ(G.RowCount(), 5);
    EXPECT_EQ(G.GetCellText(1, 3), QStringLiteral("6"));
    EXPECT_TRUE(G.IsHiddenRow(3) && G.IsHiddenRow(4) && G.IsHiddenRow(5));
    G.ExpandNode(2);
    EXPECT_EQ(G.RowCount(), 8);
    for (int R = 0; R < 8; ++R)
        EXPECT_EQ(G.GetCellText(1, R), QString::number(R));
}

TEST(Nodes, PresenceFollowsEveryWayANodeComesAndGoes)
{
    // Many rows hold objects (merged blocks, column 0 properties) and none a
    // node; then a node comes and goes by its kind, its row and its column.
    TCellGrid G;
    G.SetColCount(4);
    G.SetRowCount(50);
    for (int R = 1; R + 2 < 50; R += 3)
        G.MergeCellBlock(1, R, 1, 3);
    G.GetCellProperties(0, 5)->NodeLevel = 1;
    G.NewCellGraphic(3, 7)->CellType = ctNode;   // a node outside column 0 makes no tree
    EXPECT_FALSE(G.HasNodes());
    TCellGraphic *N = G.NewCellGraphic(0, 40);
    EXPECT_FALSE(G.HasNodes());
    N->CellType = ctNode;   // the kind changes through the field, with no call
    EXPECT_TRUE(G.HasNodes());
    (void)G.RenderToImage();
    N->CellType = ctCheckBox;
    EXPECT_FALSE(G.HasNodes());
    // Texts move no objects: what was found in column 0 is not looked for again.
    const std::uint64_t Placement = G.PlacementGeneration();
    G.SetCellText(2, 2, QStringLiteral("text"));
    G.SetCells(0, 3, QStringLiteral("3"));
    EXPECT_EQ(G.PlacementGeneration(), Placement);
    N->CellType = ctNode;
    EXPECT_TRUE(G.HasNodes());
    G.HideRows(40, 40);
    EXPECT_FALSE(G.HasNodes());
    G.UnHideRows(40, 40);
    EXPECT_TRUE(G.HasNodes());
    G.MoveColumnTo(0, 2);
    EXPECT_FALSE(G.HasNodes());
    G.MoveColumnTo(2, 0);
    EXPECT_TRUE(G.HasNodes());
    EXPECT_TRUE(G.RemoveCellGraphic(0, 40));
    EXPECT_FALSE(G.HasNodes());
    G.NewCellGraphic(0, 10)->CellType = ctNode;
    EXPECT_TRUE(G.HasNodes());
    G.RemoveRows(10, 1);
    EXPECT_FALSE(G.HasNodes());
    auto *Moved = new TCellProperties(&G, 0, 0);
    Moved->SetCellGraphic(new TCellGraphic);
    Moved->CellGraphic()->CellType = ctNode;
    G.SetCellProperties(0, 20, Moved);
    EXPECT_TRUE(G.HasNodes());
    G.SetRowCount(15);
    EXPECT_FALSE(G.HasNodes());

    // Tree lines and span-less groups look past other graphics of column 0
    // for the node above or below.
    TCellGrid T;
    T.SetRowCount(12);
    for (int R = 0; R < 12; ++R)
        T.SetCellText(1, R, QString::number(R));
    T.NewCellGraphic(0, 2)->CellType = ctNode;   // span 0: the group runs to the next node
    T.NewCellGraphic(0, 4)->CellType = ctDataCheckBox;
    TCellGraphic *Second = T.NewCellGraphic(0, 7);
    Second->CellType = ctNode;
    Second->CellIndex = 2;
    EXPECT_EQ(T.TreeLineKind(1), 0);
    EXPECT_EQ(T.TreeLineKind(5), 2);
    EXPECT_EQ(T.TreeLineKind(8), 1);
    EXPECT_EQ(T.TreeLineKind(9), 2);
    T.ContractNode(2);
    EXPECT_EQ(T.RowCount(), 8);   // rows 3 to 6 went
    EXPECT_EQ(T.GetCellText(1, 3), QStringLiteral("7"));
    T.ExpandNode(2);
    EXPECT_EQ(Column(T, 1).join(QLatin1Char(',')), QStringLiteral("0,1,2,3,4,5,6,7,8,9,10,11"));
}

TEST(GraphicQueries, RadiosButtonsCommentsAndErrorRanges)
{
    TCellGrid G;
    TCellGraphic *Radio = G.NewCellGraphic(2, 2);
    Radio->CellType = ctRadio;
    auto *Items = new TStringList;
    Items->Add(QStringLiteral("red"));
    Items->Add(QStringLiteral("green"));
    Radio->SetGraphicObject(Items);
    Radio->CellCreated = true;   // freed with the graphic
    Radio->CellIndex = -1;
    G.SetCellText(2, 2, QStringLiteral("green"));
    int Index = 5;
    EXPECT_TRUE(G.GetRadio(2, 2, Index));
    EXPECT_EQ(Index, -1);
    EXPECT_EQ(G.GetRadioStrings(2, 2), Items);
    EXPECT_TRUE(G.HasCheckControl(2, 2));
    EXPECT_TRUE(G.ToggleRadio(2, 2, false));   // from the item of the text, wrapping
    EXPECT_EQ(G.GetCellText(2, 2), QStringLiteral("red"));
    EXPECT_FALSE(G.IsRadio(3, 3));
    EXPECT_EQ(G.GetRadioStrings(3, 3), nullptr);

    TCellGraphic *Button = G.NewCellGraphic(3, 1);
    Button->CellType = ctButton;
    Button->CellValue = (4 << 16) | 2;     // offset x 2, y 4
    Button->CellIndex = (10 << 16) | 20;   // 20 wide, 10 high
    EXPECT_TRUE(G.IsButton(3, 1));
    const TRect Cell = G.GetCellRect(3, 1);
    EXPECT_EQ(G.CellButtonRect(3, 1), TRect(Cell.Left + 2, Cell.Top + 4, Cell.Left + 22, Cell.Top + 14));
    Button->CellVAlign = vaFull;
    EXPECT_EQ(G.CellButtonRect(3, 1).Bottom, Cell.Bottom);

    TCellGraphic *Comment = G.NewCellGraphic(1, 3);
    Comment->CellType = ctComment;
    Comment->CellText = QStringLiteral("note");
    Comment->CellErrFrom = 2;
    Comment->CellErrLen = 3;
    QString Text;
    EXPECT_TRUE(G.IsComment(1, 3, Text));
    EXPECT_EQ(Text, QStringLiteral("note"));
    int From = -1, Len = -1;
    G.GetErrorRange(1, 3, From, Len);
    EXPECT_EQ(From, 2);
    EXPECT_EQ(Len, 3);
    G.GetErrorRange(4, 4, From, Len);
    EXPECT_EQ(From + Len, 0);
    int Angle = 0;
    EXPECT_FALSE(G.IsRotated(1, 3, Angle));
    EXPECT_EQ(G.CellGraphicKind(1, 3), ctComment);
    EXPECT_EQ(G.CellGraphicKind(4, 4), ctEmpty);
    EXPECT_TRUE(G.RemoveCellGraphic(1, 3));
    EXPECT_FALSE(G.RemoveCellGraphic(1, 3));
}

TEST(RowOperations, RemovingTheFocusedLastRowMovesFocusAboveTheFooters)
{
    TCellGrid G;
    G.SetRowCount(8);
    G.SetFixedFooters(1);
    G.SetRow(6);
    G.RemoveRows(6, 1);
    EXPECT_EQ(G.RowCount(), 7);
    EXPECT_EQ(G.Row(), 5);

    // Clearing cells whose text is already empty frees their objects all the same.
    G.GetCellProperties(2, 2);
    G.ClearCellBlock(0, 0, 4, 6);
    EXPECT_FALSE(G.HasCellProperties(2, 2));
    G.ClearCellBlock(-3, -3, 99, 99);   // clamped to the grid
}

TEST(RowOperations, ClearingAWideSparseGridGoesThroughTheCellsItHolds)
{
    // 3.6 billion cells, four of them holding something: clearing and
    // destroying go through the cells each row holds (looking at every cell
    // of the area took a quarter of an hour).
    auto G = std::make_unique<TCellGrid>();
    G->SetColCount(60000);
    G->SetRowCount(60000);
    G->SetCellText(1, 1, QStringLiteral("a"));
    G->GetCellProperties(3, 2)->FontSize = 7;
    G->SetCellText(20, 2, QStringLiteral("keep"));
    G->SetCellText(59000, 59000, QStringLiteral("b"));
    // A hidden column: the block's displayed column 2 is the stored column 3.
    G->SetColumnHidden(0, true);
    G->ClearCellBlock(2, 2, 2, 2);
    EXPECT_FALSE(G->HasCellProperties(3, 2));
    EXPECT_EQ(G->PlainCells(20, 2), QStringLiteral("keep"));
    G->SetColumnHidden(0, false);
    G->ClearCellBlock(0, 0, 10, 10);
    EXPECT_TRUE(G->PlainCells(1, 1).isEmpty());
    EXPECT_EQ(G->PlainCells(20, 2), QStringLiteral("keep"));
    G->EmptyAllCells();
    EXPECT_TRUE(G->PlainCells(20, 2).isEmpty());
    EXPECT_TRUE(G->PlainCells(59000, 59000).isEmpty());
    G->GetCellProperties(59000, 59000)->FontSize = 9;
    G.reset();
}

TEST(RowOperations, ColumnsInsertAndRemoveWithTheirObjects)
{
    TCellGrid G;
    G.SetCellText(2, 1, QStringLiteral("b"));
    G.GetCellProperties(2, 1)->FontSize = 7;
    G.InsertColumns(1, 2);
    EXPECT_EQ(G.ColCount(), 7);
    EXPECT_EQ(G.GetCellText(4, 1), QStringLiteral("b"));
    EXPECT_EQ(G.GetCellProperties(4, 1)->FontSize, 7);
    EXPECT_FALSE(G.HasCellProperties(2, 1));
    EXPECT_EQ(G.ColWidths(1), G.DefaultColWidth());
    G.RemoveColumns(1, 2);
    EXPECT_EQ(G.ColCount(), 5);
    EXPECT_EQ(G.GetCellText(2, 1), QStringLiteral("b"));
    EXPECT_EQ(G.GetCellProperties(2, 1)->FontSize, 7);
    G.RemoveColumns(40, 1);   // outside: nothing
    EXPECT_EQ(G.ColCount(), 5);

    G.SortSettings()->Column = 3;
    G.SetColCount(60);   // the column table grows with the grid
    G.InsertColumns(55, 3);
    EXPECT_EQ(G.ColCount(), 63);
}

TEST(UpdateBracket, NestsAndResets)
{
    TCellGrid G;
    G.BeginUpdate();
    G.BeginUpdate();
    EXPECT_EQ(G.UpdateCount(), 2);
    G.EndUpdate();
    EXPECT_FALSE(G.viewport()->updatesEnabled());
    G.EndUpdate();
    EXPECT_TRUE(G.viewport()->updatesEnabled());
    G.EndUpdate();   // never below zero
    EXPECT_EQ(G.UpdateCount(), 0);
    G.BeginUpdateSilent();
    G.ResetUpdate();
    EXPECT_EQ(G.UpdateCount(), 0);
}

} // namespace

#include "TestSupport.h"

namespace {

TEST(Loading, HeadersGoIntoTheCellsAndTheRowHeightIsRemembered)
{
    TCellGrid G;
    G.ColumnHeaders()->OnChange = nullptr;   // as while a form loads its stored lists
    G.RowHeaders()->OnChange = nullptr;
    G.ColumnHeaders()->Add(QStringLiteral("序号"));
    G.ColumnHeaders()->Add(QStringLiteral("图片"));
    for (int I = 0; I < 9; ++I)
        G.RowHeaders()->Add(QString::number(I));
    G.SetDefaultRowHeight(24);
    G.Loaded();
    EXPECT_EQ(G.GetCellText(0, 0), QStringLiteral("0"));   // the row headers come second
    EXPECT_EQ(G.GetCellText(1, 0), QStringLiteral("图片"));
    EXPECT_EQ(G.GetCellText(0, 4), QStringLiteral("4"));   // only rows inside the grid
    EXPECT_EQ(G.ReferenceRowHeight(), 24);
    EXPECT_EQ(G.CreationRowHeight(), 21);
}

TEST(RowOperations, SplitAndMergeListedColumnsAfterASort)
{
    TCellGrid G;
    G.SetRowCount(6);
    const char *A[] = {"x", "x", "x", "y", "y"};
    const char *B[] = {"1", "1", "2", "2", "2"};
    for (int R = 1; R <= 5; ++R) {
        G.SetCellText(1, R, QString::fromLatin1(A[R - 1]));
        G.SetCellText(2, R, QString::fromLatin1(B[R - 1]));
    }
    G.MergedColumns()->Add(1);
    G.MergedColumns()->Add(2);
    G.MergeListedColumns();
    EXPECT_EQ(G.CellSpan(1, 1), TPoint(0, 2));
    EXPECT_EQ(G.CellSpan(1, 4), TPoint(0, 1));
    // Column 2 merges only inside the blocks of column 1: "2" at rows 3 and 4 stay apart.
    EXPECT_EQ(G.CellSpan(2, 1), TPoint(0, 1));
    EXPECT_EQ(G.BaseCell(2, 3), TPoint(2, 3));
    EXPECT_EQ(G.CellSpan(2, 5), TPoint(0, 1));
    G.SplitAllColumns();
    for (int R = 1; R <= 4; ++R) {
        EXPECT_FALSE(G.IsMergedCell(1, R));
        EXPECT_FALSE(G.IsMergedCell(2, R));
    }
}

TEST(AuxiliaryObjects, FilePictureReadsItsSizeAndDrawsFromTheFile)
{
    TestSupport::TempDir Dir;
    TBitmap Blue(30, 20);
    Blue.Canvas()->Brush()->SetColor(clBlue);
    Blue.Canvas()->FillRect(TRect(0, 0, 30, 20));
    Blue.SaveToFile(Dir.File(QStringLiteral("blue.bmp")));
    TFilePicture P;
    P.SetFilename(Dir.File(QStringLiteral("blue.bmp")));
    EXPECT_EQ(P.Width(), 30);
    EXPECT_EQ(P.Height(), 20);
    TFilePicture Copy;
    Copy.Assign(P);
    EXPECT_EQ(Copy.Filename(), P.Filename());
    EXPECT_EQ(Copy.Height(), 20);
    TBitmap Target(60, 40);
    P.Draw(Target.Canvas(), TRect(0, 0, 60, 40));
    EXPECT_EQ(Target.Canvas()->Pixels(50, 30) & 0xFFFFFF, clBlue);   // stretched into the rectangle
}

} // namespace

namespace {

TEST(AuxiliaryObjects, PopupButtonFrameAndCaption)
{
    TPopupButton Button(nullptr);
    EXPECT_FALSE(Button.isEnabled());
    Button.resize(60, 20);
    Button.SetCaption(QStringLiteral("120 x 40"));
    TBitmap B(60, 20);
    Button.PaintTo(B.Canvas());
    EXPECT_EQ(B.Canvas()->Pixels(0, 10) & 0xFFFFFF, clWhite);
    EXPECT_EQ(B.Canvas()->Pixels(59, 10) & 0xFFFFFF, clGray);
    Button.SetFlat(true);
    Button.PaintTo(B.Canvas());
    EXPECT_EQ(B.Canvas()->Pixels(0, 10) & 0xFFFFFF, ColorToRGB(clBtnFace));
}

} // namespace
