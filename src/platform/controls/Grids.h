#pragma once
// The platform's string grid: a scrollable widget with sparse cell texts and
// cell objects, fixed rows and columns, per-row and per-column sizes, the
// current cell and a range selection, scrolling, key navigation, an in-place
// editor and virtual drawing and selection hooks for descendants.
//
// Geometry: cells follow each other with GridLineWidth pixels between them;
// fixed columns (rows) always stand at the left (top), the other columns start
// at LeftCol (rows at TopRow). Indexes are 0-based.
//
// Right to left: a grid whose layout direction is right to left is laid out
// exactly as above and shown mirrored, column 0 at the right edge, as a
// mirrored device context shows a window. Every coordinate the grid hands out
// or takes (CellRect, MouseCoord, the mouse hooks and events, EditorRect) is
// in that left-to-right layout, the grid's own coordinates; the viewport's
// pixels are the same mirrored around the viewport's width (ViewportRect,
// ViewportPoint). Painting runs on a mirrored canvas; what must read the right
// way round (text, pictures) is drawn through a TReadableArea.
//
// Cost follows what is visible: rows and their sizes are kept in block
// sequences indexed by Fenwick trees, so the position of a row, the row at a
// position, inserting, removing, moving and exchanging rows cost O(log n)
// (plus the rows inserted or removed); a row is a handle on its cells, so
// moving it never copies a text. The rows that hold cell objects are indexed
// the same way (NextRowWithObjects).

#include "platform/controls/Controls.h"
#include "platform/controls/detail/BlockSequence.h"
#include "platform/graphics/Graphics.h"

#include <QAbstractScrollArea>
#include <QImage>
#include <QLineEdit>
#include <QString>

#include <functional>
#include <map>
#include <cstdint>
#include <memory>
#include <vector>

enum TGridOption : unsigned {
    goFixedVertLine = 1u << 0,
    goFixedHorzLine = 1u << 1,
    goVertLine = 1u << 2,
    goHorzLine = 1u << 3,
    goRangeSelect = 1u << 4,
    goDrawFocusSelected = 1u << 5,
    goRowSizing = 1u << 6,
    goColSizing = 1u << 7,
    goRowMoving = 1u << 8,
    goColMoving = 1u << 9,
    goEditing = 1u << 10,
    goTabs = 1u << 11,
    goRowSelect = 1u << 12,
    goAlwaysShowEditor = 1u << 13,
    goThumbTracking = 1u << 14,
};
using TGridOptions = unsigned;

enum TGridDrawStateItem : unsigned { gdSelected = 1u << 0, gdFocused = 1u << 1, gdFixed = 1u << 2 };
using TGridDrawState = unsigned;

struct TGridCoord {
    int X = 0;
    int Y = 0;
    friend bool operator==(const TGridCoord &, const TGridCoord &) = default;
};

struct TGridRect {
    int Left = 0;
    int Top = 0;
    int Right = 0;
    int Bottom = 0;
    friend bool operator==(const TGridRect &, const TGridRect &) = default;
};

QB_DECLARE_EXCEPTION(EInvalidGridOperation, Exception)

class TStringGrid;

// Left and right alignment change places in a mirrored layout; centred stays.
TAlignment MirroredAlignment(TAlignment Value);

// An area of a canvas where text and pictures are drawn. On a mirrored
// canvas (a right-to-left grid's painting) the canvas draws unmirrored while
// the object lives, Rect() is the same area in those unmirrored pixels, and
// text reads right to left; on any other canvas nothing changes and Rect() is
// the area given. Areas nest like painter states: the innermost goes first.
class TReadableArea {
public:
    TReadableArea(TCanvas *Canvas, const TRect &Area);
    ~TReadableArea();
    TReadableArea(const TReadableArea &) = delete;
    TReadableArea &operator=(const TReadableArea &) = delete;
    bool Mirrored() const { return FMirrored; }
    const TRect &Rect() const { return FRect; }
    // DrawText flags for text of the area: left and right alignment change
    // places and right-to-left reading is added when the area is mirrored.
    unsigned TextFlags(unsigned Format) const;
    // The alignment a left-to-right layout engine needs here (left and right
    // change places when mirrored).
    TAlignment Alignment(TAlignment Value) const;

private:
    // Where an edge (between two pixels) of the mirrored canvas lies unmirrored.
    int Edge(int X) const;
    QPainter *FPainter = nullptr;
    bool FMirrored = false;
    double FScale = 1, FOffset = 0;
    TRect FRect;
};

// The in-place editor: a one-line edit placed over the current cell. It writes
// every change back to the grid (SetEditText) and hands navigation keys to it.
class TInplaceEdit : public QLineEdit {
    Q_OBJECT
public:
    explicit TInplaceEdit(TStringGrid *AGrid);
    TStringGrid *Grid() const { return FGrid; }
    bool WordWrap() const { return FWordWrap; }
    void SetWordWrap(bool Value) { FWordWrap = Value; }
    int MaxLength() const { return maxLength(); }
    void SetMaxLength(int Value) { setMaxLength(Value > 0 ? Value : 32767); }
    QString Text() const { return text(); }
    void SetText(const QString &Value);
    // Loads the current cell's edit text into the editor.
    virtual void UpdateContents();

protected:
    void keyPressEvent(QKeyEvent *Event) override;

private:
    TStringGrid *FGrid;
    bool FWordWrap = false;
    bool FLoading = false;
    friend class TStringGrid;
};

class TStringGrid : public QAbstractScrollArea, public TObject {
    Q_OBJECT
public:
    explicit TStringGrid(QWidget *Parent = nullptr);
    ~TStringGrid() override;

    // ---- cells (sparse): text and an object pointer the grid does not own.
    // Descendants may give the text access a meaning of their own (merged
    // cells); the grid itself always works on the plain cells.
    Q_INVOKABLE virtual QString Cells(int ACol, int ARow) const;
    Q_INVOKABLE virtual void SetCells(int ACol, int ARow, const QString &Value);
    TObject *Objects(int ACol, int ARow) const;
    void SetObjects(int ACol, int ARow, TObject *Value);

    // ---- size and fixed area
    int ColCount() const { return FColCount; }
    virtual void SetColCount(int Value);
    int RowCount() const { return FRowCount; }
    virtual void SetRowCount(int Value);
    virtual int FixedCols() const { return FFixedCols; }
    virtual void SetFixedCols(int Value);
    virtual int FixedRows() const { return FFixedRows; }
    virtual void SetFixedRows(int Value);
    int ColWidths(int Index) const;
    void SetColWidths(int Index, int Value);
    // A press this many pixels or fewer from a column's (row's) border sizes it.
    static constexpr int SizingMargin = 3;
    int RowHeights(int Index) const;
    void SetRowHeights(int Index, int Value);
    int DefaultColWidth() const { return FDefaultColWidth; }
    void SetDefaultColWidth(int Value);
    int DefaultRowHeight() const { return FDefaultRowHeight; }
    virtual void SetDefaultRowHeight(int Value);
    int GridLineWidth() const { return FGridLineWidth; }
    void SetGridLineWidth(int Value);
    bool DefaultDrawing() const { return FDefaultDrawing; }
    void SetDefaultDrawing(bool Value);

    // ---- current cell, selection, scrolling
    int Col() const { return FCurrent.X; }
    void SetCol(int Value);
    int Row() const { return FCurrent.Y; }
    void SetRow(int Value);
    int LeftCol() const { return FTopLeft.X; }
    void SetLeftCol(int Value);
    int TopRow() const { return FTopLeft.Y; }
    void SetTopRow(int Value);
    int VisibleColCount() const;
    int VisibleRowCount() const;
    TGridRect Selection() const;
    void SetSelection(const TGridRect &Value);
    // The corner of the range selection opposite the current cell. Setting it
    // moves no current cell and fires nothing.
    TGridCoord Anchor() const { return FAnchor; }
    void SetAnchor(int ACol, int ARow);
    TGridOptions Options() const { return FOptions; }
    virtual void SetOptions(TGridOptions Value);

    // ---- geometry (viewport coordinates)
    TRect CellRect(int ACol, int ARow) const;
    // Where a row (column) starts when all rows (columns) are laid out from
    // 0 without scrolling: the sizes of the ones before it, grid lines
    // included. Index may be RowCount() (ColCount()): the total.
    int RowOffset(int ARow) const;
    int ColOffset(int ACol) const;
    // The row (column) at an offset of that layout; RowCount() (ColCount())
    // past the end, 0 before the start.
    int RowAtOffset(int Y) const;
    int ColAtOffset(int X) const;
    // The first row at or after ARow that holds a cell object; RowCount() when none.
    int NextRowWithObjects(int ARow) const;
    // Finds the cell holding Object, with ACol and ARow as the first guess:
    // that cell is checked first (O(log n)), then only the rows holding
    // objects. Columns past ColCount() (kept hidden by descendants) count
    // too. False, with ACol and ARow unchanged, when no cell holds it.
    bool LocateObject(const TObject *Object, int &ACol, int &ARow) const;
    // Changes whenever a cell object is stored or rows or columns move, so a
    // remembered cell of an object can be trusted while it stays the same.
    std::uint64_t PlacementGeneration() const { return FPlacementGeneration; }
    void MouseToCell(int X, int Y, int &ACol, int &ARow) const;
    TGridCoord MouseCoord(int X, int Y) const;
    int ClientWidth() const;
    int ClientHeight() const;
    // Right to left (see the top of this file). Each conversion is its own
    // inverse: grid coordinates to viewport pixels and back.
    bool UseRightToLeftAlignment() const { return layoutDirection() == Qt::RightToLeft; }
    TRect ViewportRect(const TRect &R) const;
    QPoint ViewportPoint(const QPoint &P) const;

    // ---- appearance
    TColor Color() const { return FColor; }
    void SetColor(TColor Value);
    TColor FixedColor() const { return FFixedColor; }
    void SetFixedColor(TColor Value);
    TFont *Font() const { return FFont.get(); }
    // The canvas of the paint in progress; a scratch canvas outside painting.
    TCanvas *Canvas() const;
    void InvalidateCell(int ACol, int ARow);
    void InvalidateRow(int ARow);
    void InvalidateCol(int ACol);
    void InvalidateGrid();
    void InvalidateRect(const TRect &R);
    // Paints the visible part of the grid into an image of the widget's size.
    QImage RenderToImage();
    // Runs Draw with Canvas() answering ACanvas, so that cells can be painted
    // onto another surface (a panel beside the cells, a picture).
    void PaintOnCanvas(TCanvas *ACanvas, const std::function<void()> &Draw);

    // ---- in-place editor
    bool EditorMode() const { return FEditorMode; }
    void SetEditorMode(bool Value);
    TInplaceEdit *InplaceEditor() const { return FInplaceEdit; }
    void ShowEditor();
    void HideEditor();
    virtual QString GetEditText(int ACol, int ARow);
    virtual void SetEditText(int ACol, int ARow, const QString &Value);

    // ---- events (Sender first)
    std::function<void(TObject *Sender, int ACol, int ARow, bool &CanSelect)> OnSelectCell;
    std::function<void(TObject *Sender, int ACol, int ARow, const TRect &Rect, TGridDrawState State)> OnDrawCell;
    std::function<void(TObject *Sender)> OnTopLeftChanged;
    std::function<void(TObject *Sender, int ACol, int ARow, QString &Value)> OnGetEditText;
    std::function<void(TObject *Sender, int ACol, int ARow, const QString &Value)> OnSetEditText;
    std::function<void(TObject *Sender, quint16 &Key, TShiftState Shift)> OnKeyDown;
    std::function<void(TObject *Sender, QChar &Key)> OnKeyPress;
    std::function<void(TObject *Sender, TMouseButton Button, TShiftState Shift, int X, int Y)> OnMouseDown;
    std::function<void(TObject *Sender, TMouseButton Button, TShiftState Shift, int X, int Y)> OnMouseUp;
    std::function<void(TObject *Sender)> OnClick;
    std::function<void(TObject *Sender)> OnDblClick;
    std::function<void(TObject *Sender, int FromIndex, int ToIndex)> OnColumnMoved;
    std::function<void(TObject *Sender, int FromIndex, int ToIndex)> OnRowMoved;

    // Key and wheel entry points (also what the widget's events turn into).
    virtual void KeyDown(quint16 &Key, TShiftState Shift);
    virtual void KeyPress(QChar &Key);
    virtual bool DoMouseWheelDown(TShiftState Shift, const QPoint &MousePos);
    virtual bool DoMouseWheelUp(TShiftState Shift, const QPoint &MousePos);

protected:
    // ---- hooks for descendants
    virtual void Paint();
    virtual void DrawCell(int ACol, int ARow, const TRect &ARect, TGridDrawState AState);
    virtual bool SelectCell(int ACol, int ARow);
    virtual void TopLeftChanged();
    virtual TInplaceEdit *CreateEditor();
    virtual bool CanEditShow();
    virtual bool CanEditAcceptKey(QChar Key);
    virtual bool CanEditModify() { return true; }
    // Where the in-place editor of a cell stands (viewport coordinates); an
    // empty rectangle parks it out of sight.
    virtual TRect EditorRect(int ACol, int ARow) const { return CellRect(ACol, ARow); }
    virtual void ColumnMoved(int FromIndex, int ToIndex);
    virtual void RowMoved(int FromIndex, int ToIndex);
    // Whether a moved row (column) takes its height (width) along. Deleting
    // always takes the size of the deleted row or column away.
    virtual bool MoveRowHeights() const { return true; }
    virtual bool MoveColWidths() const { return true; }
    virtual void MouseDown(TMouseButton Button, TShiftState Shift, int X, int Y);
    virtual void MouseMove(TShiftState Shift, int X, int Y);
    virtual void MouseUp(TMouseButton Button, TShiftState Shift, int X, int Y);
    virtual void DblClick();
    virtual void Resize() {}

    // ---- row and column storage for descendants
    void MoveColumn(int FromIndex, int ToIndex);
    void MoveRow(int FromIndex, int ToIndex);
    void DeleteColumn(int ACol);
    void DeleteRow(int ARow);
    // Count empty rows of DefaultRowHeight before Index (0..RowCount()); the
    // rows from Index move down with their heights.
    void InsertEmptyRows(int Index, int Count);
    // Takes Count rows out from Index, with their heights; the rows below move up.
    void DeleteRows(int Index, int Count);
    // Exchanges two rows' cells (and heights with WithHeights): two row
    // handles change places, whatever the rows hold; finding them is O(log n).
    // Sorting builds on this.
    void ExchangeRows(int ARow1, int ARow2, bool WithHeights);
    // Copies the texts and object pointers of a whole row (column) over another.
    void AssignRow(int DestRow, int SourceRow);
    void AssignCol(int DestCol, int SourceCol);
    // Moves the cells of every row from column Index on by Delta columns
    // (texts and object pointers; nothing is freed). Moving left drops the
    // cells of the -Delta columns before Index; cells moved past the last
    // column are dropped. Costs the rows and the cells they hold, not the
    // columns.
    void ShiftColumnCells(int Index, int Delta);
    // Moves the current cell; the move happens only when SelectCell agrees.
    void FocusCell(int ACol, int ARow, bool MoveAnchor);
    bool IsActiveControl() const;
    int CellCount() const; // cells holding a text or an object (for tests of sparseness)
    // The columns of a row's cells that hold a text or an object, in order:
    // a wide row costs only what it holds.
    std::vector<int> StoredCols(int ARow) const;

    // ---- Qt events
    void paintEvent(QPaintEvent *Event) override;
    void keyPressEvent(QKeyEvent *Event) override;
    void wheelEvent(QWheelEvent *Event) override;
    void mousePressEvent(QMouseEvent *Event) override;
    void mouseMoveEvent(QMouseEvent *Event) override;
    void mouseReleaseEvent(QMouseEvent *Event) override;
    void mouseDoubleClickEvent(QMouseEvent *Event) override;
    void resizeEvent(QResizeEvent *Event) override;
    void scrollContentsBy(int DX, int DY) override;
    bool focusNextPrevChild(bool Next) override;
    void changeEvent(QEvent *Event) override;
    void focusInEvent(QFocusEvent *Event) override;
    void focusOutEvent(QFocusEvent *Event) override;

private:
    void MoveRowData(int FromIndex, int ToIndex, bool WithHeight);
    void MoveColumnData(int FromIndex, int ToIndex, bool WithWidth);
    struct CellData {
        QString Text;
        TObject *Object = nullptr;
    };
    // A row: its cells sorted by column (only cells with a text or an
    // object), and how many of them hold an object.
    struct RowCell {
        int Col;
        CellData Data;
    };
    struct RowData {
        std::vector<RowCell> Cells;
        int Objects = 0;
    };
    struct WeighRow {
        std::int64_t operator()(const RowData &R) const { return R.Objects > 0 ? 1 : 0; }
    };
    // A size plus the grid line after it.
    struct WeighSize {
        int Line = 0;
        std::int64_t operator()(int Size) const { return std::int64_t(Size) + Line; }
    };
    using RowSequence = GridDetail::TBlockSequence<RowData, WeighRow>;
    using SizeSequence = GridDetail::TBlockSequence<int, WeighSize>;
    static const CellData *FindIn(const RowData &R, int ACol);
    // Sets or clears one cell of a row (an empty cell takes no room).
    void StoreCell(int ACol, int ARow, const QString *Text, TObject *const *Object);

    const CellData *FindCell(int ACol, int ARow) const;
    void CheckCell(int ACol, int ARow) const;
    void MoveCurrent(int ACol, int ARow, bool MoveAnchor, bool Show);
    void ClampInView(int ACol, int ARow);
    void MoveTopLeft(int ALeft, int ATop);
    int MaxLeftCol() const;
    int MaxTopRow() const;
    int ColStart(int ACol) const; // x of a column's left edge, -1 when scrolled out
    int RowStart(int ARow) const;
    void UpdateScrollBars();
    void UpdateEditorPlace();
    void SizeChanged(int OldColCount, int OldRowCount);
    TGridDrawState CellState(int ACol, int ARow) const;
    // Paints into a painter on the viewport's pixels (mirrored when right to left).
    void PaintWith(QPainter &Painter);

    int FColCount = 5;
    int FRowCount = 5;
    int FFixedCols = 1;
    int FFixedRows = 1;
    int FDefaultColWidth = 64;
    int FDefaultRowHeight = 24;
    int FGridLineWidth = 1;
    bool FDefaultDrawing = true;
    SizeSequence FColWidths;
    SizeSequence FRowHeights;
    RowSequence FRows;
    std::uint64_t FPlacementGeneration = 0;
    TGridCoord FCurrent{1, 1};
    TGridCoord FAnchor{1, 1};
    TGridCoord FTopLeft{1, 1};
    TGridOptions FOptions = goFixedVertLine | goFixedHorzLine | goVertLine | goHorzLine | goRangeSelect;
    TColor FColor = clWindow;
    TColor FFixedColor = clBtnFace;
    std::unique_ptr<TFont> FFont;
    TCanvas *FPaintCanvas = nullptr;
    mutable std::unique_ptr<TBitmap> FScratch;
    TInplaceEdit *FInplaceEdit = nullptr;
    bool FEditorMode = false;
    QString FEditOrigin;
    int FInplaceCol = -1;
    int FInplaceRow = -1;
    bool FUpdatingScroll = false;
    // mouse state: 0 none, 1 selecting, 2 sizing a column, 3 sizing a row,
    // 4 moving a column, 5 moving a row
    int FMouseState = 0;
    int FSizingIndex = -1;
    int FSizingOrigin = 0;
    int FSizingStart = 0;

    friend class TInplaceEdit;
};
