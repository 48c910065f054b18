#pragma once
// The layer between the platform's string grid and the full grid control:
// a property object per cell made on first request, merged cell blocks (one
// base cell stands for a rectangle of cells in text, drawing, rectangles and
// cursor movement) and grid lines drawn inside each cell's rectangle.

#include "platform/controls/Grids.h"

#include <memory>
#include <vector>

class TBaseGrid;
class TCellGraphic;

enum TVAlignment { vtaTop, vtaCenter, vtaBottom };

// The editor kind of a cell.
enum TEditorType {
    edNormal, edSpinEdit, edComboEdit, edComboList, edEditBtn, edCheckBox, edDateEdit,
    edDateEditUpDown, edTimeEdit, edButton, edDataCheckBox, edNumeric, edPositiveNumeric,
    edFloat, edCapital, edMixedCase, edPassword, edUnitEditBtn, edLowerCase, edUpperCase,
    edFloatSpinEdit, edTimeSpinEdit, edDateSpinEdit, edNumericEditBtn, edFloatEditBtn,
    edCustom, edRichEdit, edUniEdit, edUniComboEdit, edUniComboList
};

// Footer calculation kinds kept in the cells of a footer fixed in the last row.
enum : quint8 { fcNone = 0, fcSum = 1, fcAverage = 2, fcCount = 3, fcMinimum = 4, fcMaximum = 5 };

class TCellProperties;

// A property object's own column or row, read and assigned like an int.
// Rows and columns move by reference without visiting the property objects,
// so the number kept is only where the object was last seen: reading asks
// the grid, which checks that cell first and looks further only when the
// object has moved. An object in no cell keeps the number last assigned.
class TOwnerCellIndex {
public:
    TOwnerCellIndex(const TOwnerCellIndex &) = delete;
    operator int() const;
    TOwnerCellIndex &operator=(int Value);
    TOwnerCellIndex &operator=(const TOwnerCellIndex &Other) { return *this = int(Other); }

private:
    friend class TCellProperties;
    TOwnerCellIndex(TCellProperties *AOwner, bool AIsRow) : FOwner(AOwner), FIsRow(AIsRow) {}
    TCellProperties *FOwner;
    bool FIsRow;
};

// The per-cell property object. It lives in the cell's object slot and is
// owned by the grid. Merge encoding: the base (top-left) cell of a block has
// IsBaseCell true and the block's extent minus one in CellSpanX/CellSpanY;
// every covered cell has IsBaseCell false and its offset from the base there.
// A cell in no block has spans -1 and -1.
class TCellProperties : public TObject {
public:
    TCellProperties(TBaseGrid *AOwnerGrid, int AOwnerCol, int AOwnerRow);
    ~TCellProperties() override;

    // Copies everything but CellObject, the graphic, the footer kind and the paint stamp.
    void Assign(const TCellProperties &Source);

    TBaseGrid *OwnerGrid() const { return FOwnerGrid; }

    // The cell graphic: owned, none when the cell has no graphic.
    TCellGraphic *CellGraphic() const { return FCellGraphic.get(); }
    void SetCellGraphic(TCellGraphic *AGraphic);   // takes ownership, frees the previous one
    TCellGraphic *DetachCellGraphic();            // gives ownership back to the caller

    TColor BrushColor() const { return FBrushColor; }
    void SetBrushColor(TColor Value);              // repaints the owner cell
    TVAlignment VAlignment() const { return FVAlignment; }
    void SetVAlignment(TVAlignment Value);         // repaints the owner cell
    bool WordWrap() const { return FWordWrap; }
    void SetWordWrap(bool Value);                  // repaints the owner cell

    TOwnerCellIndex OwnerCol{this, false};
    TOwnerCellIndex OwnerRow{this, true};
    TObject *CellObject = nullptr;                 // free for the application, never owned
    TBrushStyle BrushStyle = bsSolid;
    int FontSize = 0;
    TColor FontColor = clNone;
    TFontStyles FontStyle;
    int CellSpanY = -1;
    int CellSpanX = -1;
    int BorderWidth = 0;
    TColor BorderColor = 0;
    TAlignment Alignment = taLeftJustify;
    int PaintStamp = 0;                            // paint generation of the last draw for a covered cell
    bool IsBaseCell = true;
    quint8 FooterCalc = fcNone;                    // only the low seven bits count
    int NodeLevel = 0;
    TEditorType Editor = edNormal;
    QString FontName;
    bool ReadOnly = false;
    QWidget *Control = nullptr;                    // never owned

private:
    friend class TOwnerCellIndex;
    // Brings FCol and FRow up to where the object sits now.
    void FindOwnerCell() const;
    void RepaintOwnerCell();
    mutable int FCol;
    mutable int FRow;
    mutable std::uint64_t FCellStamp = 0;          // placement generation FCol and FRow were right at
    TBaseGrid *FOwnerGrid;
    std::unique_ptr<TCellGraphic> FCellGraphic;
    TColor FBrushColor = clNone;
    TVAlignment FVAlignment = vtaTop;
    bool FWordWrap = false;
};

class TBaseGrid : public TStringGrid {
    Q_OBJECT
    friend class TCellProperties;   // places the property objects after cells moved
public:
    explicit TBaseGrid(QWidget *Parent = nullptr);
    ~TBaseGrid() override;

    // ---- own settings (the platform grid itself never draws cells and keeps no line width)
    bool DefaultDrawing() const { return FDefaultDrawing; }
    void SetDefaultDrawing(bool Value);
    int GridLineWidth() const { return FGridLineWidth; }
    void SetGridLineWidth(int Value);
    TColor GridLineColor() const { return FGridLineColor; }
    void SetGridLineColor(TColor Value);
    std::function<void(TObject *Sender, int ACol, int ARow, QString &Value)> OnGetDisplText;

    // Shrinking frees the property objects of the cells that go.
    void SetRowCount(int Value) override;
    void SetColCount(int Value) override;
    // The last row count given (sorting sets it too); rows below it pass
    // through the display-text hook.
    int DataRowCount() const { return FDataRowCount; }
    void SetDataRowCount(int Value) { FDataRowCount = Value; }
    // Set while a footer is fixed in the last row.
    bool FooterInLastRow() const { return FFooterInLastRow; }
    void SetFooterInLastRow(bool Value);
    int PaintGeneration() const { return FPaintGeneration; }
    // Changes whenever a property object (of any grid) is given a graphic,
    // gives one back or is freed with one, so that what was learnt about
    // where graphics are stays true while it and PlacementGeneration stay.
    static std::uint64_t CellGraphicGeneration();

    // ---- cell property objects
    bool HasCellProperties(int ACol, int ARow) const;
    TCellProperties *GetCellProperties(int ACol, int ARow);
    void SetCellProperties(int ACol, int ARow, TCellProperties *AProps);   // takes ownership
    void FreeCellProperties(int ACol1, int ARow1, int ACol2, int ARow2);
    TCellGraphic *GetCellGraphic(int ACol, int ARow) const;
    void SetCellGraphic(int ACol, int ARow, TCellGraphic *AGraphic);       // takes ownership

    // ---- pass-throughs to the platform grid that ignore merges
    QString PlainCells(int ACol, int ARow) const { return TStringGrid::Cells(ACol, ARow); }
    void SetPlainCells(int ACol, int ARow, const QString &Value) { TStringGrid::SetCells(ACol, ARow, Value); }
    TObject *PlainObjects(int ACol, int ARow) const { return TStringGrid::Objects(ACol, ARow); }
    void SetPlainObjects(int ACol, int ARow, TObject *Value) { TStringGrid::SetObjects(ACol, ARow, Value); }
    QString PlainGetEditText(int ACol, int ARow) { return TStringGrid::GetEditText(ACol, ARow); }
    void PlainSetEditText(int ACol, int ARow, const QString &Value) { TStringGrid::SetEditText(ACol, ARow, Value); }

    // ---- merges
    TPoint BaseCell(int ACol, int ARow) const;
    bool IsBaseCell(int ACol, int ARow) const;
    TPoint CellSpan(int ACol, int ARow) const;
    bool IsMergedCell(int ACol, int ARow) const;
    bool IsXMergedCell(int ACol, int ARow) const;
    bool IsYMergedCell(int ACol, int ARow) const;
    virtual void MergeCellBlock(int ACol, int ARow, int NumCols, int NumRows);
    virtual void UnmergeCellBlock(int ACol, int ARow);
    bool RowsInSameMerge(int ARow1, int ARow2) const;
    // Before rows go: every block reaching into them is split, and what is
    // left of it is returned in the row numbers after the removal (a block
    // whose base row goes is based on the first row below, with its text).
    struct TMergeBlock {
        int Col, Row, Cols, Rows;
    };
    std::vector<TMergeBlock> DetachMergesFromRows(int First, int Count);
    void MergeAgain(const std::vector<TMergeBlock> &Blocks);

    // ---- text (merge-aware); Cells/SetCells are the same as GetCellText/SetCellText
    QString Cells(int ACol, int ARow) const override;
    void SetCells(int ACol, int ARow, const QString &Value) override { SetCellText(ACol, ARow, Value); }
    QString GetCellText(int ACol, int ARow);
    void GetCellText(int ACol, int ARow, QString &Value) { Value = GetCellText(ACol, ARow); }
    void SetCellText(int ACol, int ARow, const QString &Value);
    void ClearCell(int ACol, int ARow);
    void ClearColumn(int ACol);
    void ClearRow(int ARow);

    // ---- geometry
    TRect GetSingleCellRect(int ACol, int ARow) const;
    TRect GetCellRect(int ACol, int ARow) const;
    TPoint CellExtent(int ACol, int ARow) const;
    void RepaintCell(int ACol, int ARow);
    // Scrolls the rows the least so that the whole block of (ACol, ARow)
    // shows; a block higher than the view shows from its first row.
    void ScrollBlockIntoView(int ACol, int ARow);

    void KeyDown(quint16 &Key, TShiftState Shift) override;
    bool DoMouseWheelDown(TShiftState Shift, const QPoint &MousePos) override;
    bool DoMouseWheelUp(TShiftState Shift, const QPoint &MousePos) override;

    // ---- virtual operations of the base grid
    virtual bool IsFixedCell(int ACol, int ARow);
    virtual int GetRowIndent(int ARow);
    virtual bool HasNodes();
    virtual void DrawCellContent(TCanvas *ACanvas, int ACol, int ARow, const TRect &ARect, TGridDrawState AState);
    virtual void RefreshFooter();
    virtual void GetCellColorAndFont(int ACol, int ARow, TGridDrawState &State, bool Printing,
                                     bool UseSelection, bool MapColumn, TBrush *ABrush, TFont *AFont,
                                     TAlignment &HAlign, TVAlignment &VAlign);
    virtual void GetDisplText(int ACol, int ARow, QString &Value);

protected:
    void Paint() override;
    void DrawCell(int ACol, int ARow, const TRect &ARect, TGridDrawState AState) override;
    bool SelectCell(int ACol, int ARow) override;
    void TopLeftChanged() override;
    // The editor of a merged block covers the whole block.
    TRect EditorRect(int ACol, int ARow) const override;
    // Moves the current cell onto the base cell of its block.
    void RebaseCurrent();
    // The property object of a cell without creating one.
    TCellProperties *PropsOf(int ACol, int ARow) const;
    // Set while the footer panel paints the last row the cells leave blank.
    bool FPaintingFooter = false;

private:
    bool FDefaultDrawing = false;
    int FGridLineWidth = 1;
    TColor FGridLineColor = clSilver;
    int FPaintGeneration = 0;
    bool FFooterInLastRow = false;
    int FDataRowCount = 0;
};
