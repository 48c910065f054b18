#pragma once
// The grid control: the advanced string grid behind the product grid and the
// grids of the dialogs. Cell model and merges come from TBaseGrid; this class
// adds its option objects and settings, typed cell access, selection flags,
// the row filter, the selection gate and the row and column operations.

#include "grid/BaseGrid.h"
#include "grid/CellGraphic.h"
#include "grid/CellGridSettings.h"
#include "grid/GridObj.h"
#include "platform/core/SysUtils.h"

#include <QBasicTimer>
#include <QPointer>

#include <array>
#include <map>
#include <memory>
#include <vector>

QB_DECLARE_EXCEPTION(ECellGridError, Exception)

class THTMLHintWindow;
class THTMLPictureCache;
class TPictureContainer;
struct THTMLDrawResult;
class QLineEdit;
class QScrollBar;
class TImageList;
class TCellRichEdit;
class TFooterPanel;
class QComboBox;

enum TCellBorder : unsigned { cbTop = 1u << 0, cbLeft = 1u << 1, cbRight = 1u << 2, cbBottom = 1u << 3 };
using TCellBorders = unsigned;

class TCellGrid : public TBaseGrid {
    Q_OBJECT
public:
    explicit TCellGrid(QWidget *Parent = nullptr);
    ~TCellGrid() override;

    // Called once the stored settings of a form have been applied.
    virtual void Loaded();

    // ---- option objects
    TFloatingFooter *FloatingFooter() const { return FFloatingFooter.get(); }
    TPrintSettings *PrintSettings() const { return FPrintSettings.get(); }
    THTMLSettings *HTMLSettings() const { return FHTMLSettings.get(); }
    TSortSettings *SortSettings() const { return FSortSettings.get(); }
    TDragDropSettings *DragDropSettings() const { return FDragDropSettings.get(); }
    TControlLook *ControlLook() const { return FControlLook.get(); }
    TNavigation *Navigation() const { return FNavigation.get(); }
    TColumnSize *ColumnSize() const { return FColumnSize.get(); }
    TCellNode *CellNode() const { return FCellNode.get(); }
    TBands *Bands() const { return FBands.get(); }
    TSizeWhileTyping *SizeWhileTyping() const { return FSizeWhileTyping.get(); }
    TMouseActions *MouseActions() const { return FMouseActions.get(); }
    TBackGround *BackGround() const { return FBackGround.get(); }
    TFilter *Filter() const { return FFilter.get(); }

    // ---- size and fixed area
    void SetRowCount(int Value) override;
    void SetColCount(int Value) override;
    int FixedRows() const override;
    int FixedCols() const override;
    void SetDefaultRowHeight(int Value) override;
    bool FixedRowAlways = false;
    bool FixedColAlways = false;
    int FixedFooters() const { return FFixedFooters; }
    void SetFixedFooters(int Value);
    int FixedRightCols() const { return FFixedRightCols; }
    void SetFixedRightCols(int Value);
    int FixedColWidth() const { return ColWidths(0); }
    void SetFixedColWidth(int Value);
    int FixedRowHeight() const { return FFixedRowHeight; }
    void SetFixedRowHeight(int Value);
    // The row height of creation and the one the form stored.
    int CreationRowHeight() const { return FCreationRowHeight; }
    int ReferenceRowHeight() const { return FReferenceRowHeight; }

    // ---- appearance settings
    TFont *FixedFont() const { return FFixedFont.get(); }
    void SetFixedFont(const TFont &Value);
    TFont *ActiveCellFont() const { return FActiveCellFont.get(); }
    void SetActiveCellFont(const TFont &Value);
    TColor ActiveCellColor() const { return FActiveCellColor; }
    void SetActiveCellColor(TColor Value);
    bool ActiveCellShow() const { return FActiveCellShow; }
    void SetActiveCellShow(bool Value);
    TColor HintColor = clInfoBk;
    TColor SelectionColor() const { return FSelectionColor; }
    void SetSelectionColor(TColor Value);
    TColor SelectionTextColor() const { return FSelectionTextColor; }
    void SetSelectionTextColor(TColor Value);
    bool SelectionRectangle() const { return FSelectionRectangle; }
    void SetSelectionRectangle(bool Value);
    bool SelectionResizer() const { return FSelectionResizer; }
    void SetSelectionResizer(bool Value);
    bool ShowSelection() const { return FShowSelection; }
    void SetShowSelection(bool Value);
    bool EnableHTML = true;
    bool EnableWheel = true;
    bool IntelliZoom = true;
    TIntelliPan IntelliPan = ipVertical;
    TColor URLColor() const { return FURLColor; }
    void SetURLColor(TColor Value);     // repaints while URLShow is on
    bool URLShow() const { return FURLShow; }
    void SetURLShow(bool Value);
    bool URLFull() const { return FURLFull; }
    void SetURLFull(bool Value);        // repaints while URLShow is on
    TGridLook Look() const { return FLook; }
    void SetLook(TGridLook Value);
    QString FloatFormat = QStringLiteral("%.2f");
    // Scroll-bar looks. ssFlat and ssEncarta (and ScrollProportional) switch
    // the flat looks on: ScrollColor colours the grooves (clNone leaves them),
    // ScrollWidth is the bars' extent.
    TScrollType ScrollType() const { return FScrollType; }
    void SetScrollType(TScrollType Value);
    TColor ScrollColor() const { return FScrollColor; }
    void SetScrollColor(TColor Value);
    int ScrollWidth() const { return FScrollWidth; }
    void SetScrollWidth(int Value);
    bool ScrollProportional() const { return FScrollProportional; }
    void SetScrollProportional(bool Value);
    // True while the flat looks are applied to the scroll bars.
    bool FlatScrollBars() const { return FFlatScrollBars; }
    // "Row : n" / "Col : n" hints while a thumb is dragged.
    TScrollHintType ScrollHints = shNone;
    // Dragging a thumb scrolls the cells at once.
    bool ScrollSynch = false;
    std::function<void(TObject *Sender, int ARow, QString &HintStr)> OnScrollHint;
    TVAlignment VAlignment() const { return FVAlignment; }
    void SetVAlignment(TVAlignment Value);
    // DT_TOP, DT_VCENTER or DT_BOTTOM, kept with VAlignment.
    unsigned VAlignmentFlag() const { return FVAlignmentFlag; }
    bool WordWrap() const { return FWordWrap; }
    void SetWordWrap(bool Value);
    bool Flat() const { return FFlat; }
    void SetFlat(bool Value);
    bool AutoSize() const { return FAutoSize; }
    void SetAutoSize(bool Value);
    int MaxEditLength() const { return FMaxEditLength; }
    void SetMaxEditLength(int Value);
    bool HideFocusRect = false;
    bool Multilinecells = false;
    bool EnhTextSize = false;
    bool AutoNumAlign = false;
    // With IntegralHeight the grid keeps a height that shows no partial row:
    // SetBounds, the setter and every resize shorten it to whole rows.
    bool IntegralHeight() const { return FIntegralHeight; }
    void SetIntegralHeight(bool Value);
    void SetBounds(int ALeft, int ATop, int AWidth, int AHeight);
    int IntegralHeightFor(int AWidth, int AHeight) const;
    bool EnhRowColMove = false;
    bool Themed() const { return FThemed; }
    int WheelScrollLines() const { return FWheelScrollLines; }

    // ---- internal settings other parts read
    QChar PasswordChar = QLatin1Char('*');
    TPoint CellTextMargin = TPoint(2, 2);
    TColor CommentColor = clRed;
    bool IncludeFixedCells = true;
    QString CheckTrue = QStringLiteral("Y");
    QString CheckFalse = QStringLiteral("N");
    QString SavedText;
    QString IncrementalText;

    // ---- headers and lookup
    TStringList *ColumnHeaders() const { return FColumnHeaders.get(); }
    void SetColumnHeaders(const TStringList &Value);
    TStringList *RowHeaders() const { return FRowHeaders.get(); }
    void SetRowHeaders(const TStringList &Value);
    TStringList *LookupItems() const { return FLookupItems.get(); }
    void SetLookupItems(const TStringList *Value);
    TBitmap *RowIndicator() const { return FRowIndicator.get(); }
    void SetRowIndicator(const TBitmap *Value);   // copies; repaints the current row's fixed cell
    void SetBackGround(const TBackGround &Value);
    // Images named by index in cell markup; forgotten when the list is destroyed.
    TImageList *GridImages() const { return FGridImages.get(); }
    void SetGridImages(TImageList *Value);
    TSortIndexList *SortIndexes() const { return FSortIndexes.get(); }
    // Columns re-merged after a sort, the first one leading.
    TIntList *MergedColumns() const { return FMergedColumns.get(); }

    // ---- typed cell access (real column numbers)
    int Ints(int ACol, int ARow);
    void SetInts(int ACol, int ARow, int Value);
    double Floats(int ACol, int ARow);
    void SetFloats(int ACol, int ARow, double Value);
    void SetDates(int ACol, int ARow, TDateTime Value);

    // ---- per-row and per-column selection flags
    bool RowSelect(int ARow);
    void SetRowSelect(int ARow, bool Value);
    bool ColSelect(int ACol);
    void SetColSelect(int ACol, bool Value);
    void ClearRowSelect();
    void ClearColSelect();
    void RowSelectFromRange(bool Replace);
    void ColSelectFromRange(bool Replace);
    void RepaintRect(const TGridRect &R);

    // ---- filter
    virtual bool RowMatchesFilter(int ARow);
    // Called after every own-format or text paste with the source block's
    // origin ((-1, -1) when it came from another grid), the pasted block and
    // whether the source was copied (true) or cut.
    virtual void CellsPasted(const TPoint &SourceOrigin, const TRect &Pasted, bool CopyFlag);
    void ApplyFilter();
    bool FilterActive() const { return FFilterActive; }
    void SetFilterActive(bool Value);

    // ---- hidden columns and rows
    int RealColIndex(int ACol) const;
    int DisplColIndex(int ACol) const;
    int RealCol() const { return RealColIndex(Col()); }
    int NumHiddenColumns() const { return FNumHidden; }
    bool IsHiddenRow(int ARow) const;
    int RealRowIndex(int ARow) const;
    int DisplRowIndex(int ARow) const;
    int NumHiddenRows() const { return int(FHiddenRows.size()); }
    void HideRows(int FromRow, int ToRow);
    void UnHideRows(int FromRow, int ToRow);
    void UnHideRowsAll();
    // Test seam: marks a real column hidden or shown in the maps and the
    // count. The grid itself never hides a column; nothing else changes.
    void SetColumnHidden(int ACol, bool Hidden);
    void ParkSelection();
    void RestoreSelection();
    bool SelectionParked() const { return FSelectionParked; }

    // ---- wide cells: a UTF-16 text kept in a cell as "|\\" and two byte characters per unit
    void SetWideCellText(int ACol, int ARow, const QString &Value);
    // The decoded text of a wide cell; any other cell text as it stands.
    QString GetWideCellText(int ACol, int ARow);

    // ---- sorting (CellGridSort.cpp)
    // Rows are ordered by a stable sort of their keys (each cell read and
    // converted once per sort), then moved into place through SwapRows. A
    // merged block spanning rows moves whole, ordered by its first row. The
    // grid is put back (update bracket, columns, current row, fixed texts) on
    // every way out, an exception from an event included.
    virtual void SwapRows(int ARow1, int ARow2);
    virtual void SortByColumn();
    // ECellGridError "No indexes specified for indexed sort" with an empty index list.
    virtual void SortByIndexList();
    virtual void SortWithinGroups();
    // -1, 0 or 1: the cells' order by the column's sort style (OnGetFormat asked each time).
    int CompareCells(int ACol, int ARow1, int ARow2);
    // The sort a click on the sort row runs for a real column (Shift adds to the index list).
    void ClickSort(int ACol, TShiftState Shift);
    // A header click in the last 16 pixels of a cell that a descendant wants for itself.
    virtual bool ClaimHeaderClick(int ACol) { Q_UNUSED(ACol); return false; }
    int SortSwaps() const { return FSortSwaps; }
    qint64 SortCompares() const { return FSortCompares; }
    // Milliseconds the last click sort took.
    int SortTime() const { return FSortTime; }
    // Per-row values that travel with their rows (filled by the application; may stay empty).
    std::vector<int> RowIndexes;
    std::function<void(TObject *Sender, const QString &Str1, const QString &Str2, int &Res)> OnCustomCompare;
    std::function<void(TObject *Sender, int ACol, int Row1, int Row2, int &Res)> OnRawCompare;
    std::function<void(TObject *Sender, int ACol, bool &DoSort)> OnCanSort;
    std::function<void(TObject *Sender, int ACol)> OnClickSort;

    // ---- re-merge after sorting
    void SplitAllColumns();
    void MergeListedColumns();

    // ---- CSV and worksheet import (CellGridImport.cpp)
    // The CSV field delimiter; #0 detects it per file (",", ";", "#", TAB or "|").
    // An import restores the value it found on every way out.
    QChar FieldDelimiter = QChar(0);
    // In imported CSV fields "~" stands for a line break.
    bool TildeLineBreaks = false;
    // CSV lines are converted from the OEM to the ANSI code page before parsing.
    bool OemConvert = false;
    // Percentage of CSV lines read, fired whenever the whole percentage changes;
    // when assigned, the file is read once more beforehand to count its lines.
    std::function<void(TObject *Sender, qint16 Progress)> OnFileProgress;
    // ECellGridError "Cannot open file " + name when the file cannot be read.
    void LoadCSVFile(const QString &FileName);
    void LoadCSV(const QString &FileName, bool Append);
    // Worksheets of .xls and .xlsx workbooks; an empty SheetName takes the
    // active sheet. ECellGridError "Excel OLE server not found" when no reader
    // takes the file, "Excel worksheet " + name + " not found", and "Cannot open
    // file " + name for a damaged workbook, which leaves the grid as it was.
    void LoadFromXLS(const QString &FileName);
    void LoadXLSSheet(const QString &FileName, const QString &SheetName);
    // Aggregates of the float values of a column over the inclusive rows FromRow..ToRow.
    double ColumnSum(int ACol, int FromRow, int ToRow);
    double ColumnAvg(int ACol, int FromRow, int ToRow);   // 0 for an empty or reversed range
    double ColumnMin(int ACol, int FromRow, int ToRow);
    double ColumnMax(int ACol, int FromRow, int ToRow);

    // ---- clipboard and cell stream (CellGridClipboard.cpp)
    // The block R (inclusive, cell-store columns) as the grid's own stream;
    // loading raises EReadError "Invalid stream format" for a damaged stream
    // and then leaves the grid unchanged.
    void SaveCellsToStream(const TRect &R, TStream *Stream);
    void LoadCellsFromStream(const TPoint &Origin, TStream *Stream);
    // Text (TAB between cells, CR LF after rows), then RTF and the own format as enabled.
    void CopyToClipboard(const TRect &R, bool SelectedOnly);
    void CopySelectionToClipboard();
    // Copies, then empties the cells the user may change (all with AllowClipboardAlways).
    void CutSelectionToClipboard();
    // Pastes at the selection, then fills it by the smart rules when AllowSmartClipboard is on.
    void PasteSelectionFromClipboard();
    // Both return the number of cells pasted.
    int PasteFromClipboard(int ACol, int ARow);
    int PasteText(int ACol, int ARow, const QString &Text);
    // The block size of a TAB / CR LF text.
    static void TextSize(const QString &Text, int &Cols, int &Rows);
    // Multi-line cells are copied in double quotes and pasted back whole.
    bool ClipboardQuoting = false;
    // The number the own stream carries to tell its source grid.
    int GridID() const { return FGridID; }

    // ---- drag and drop of cells (CellGridDragDrop.cpp; switched on by DragDropSettings)
    std::function<void(TObject *Sender, int ARow, int ACol)> OnOleDragStart;
    std::function<void(TObject *Sender, int ARow, int ACol, const QString &Data, bool &Allow)> OnOleDrag;
    std::function<void(TObject *Sender, int OLEEffect)> OnOleDragStop;
    std::function<void(TObject *Sender, int ARow, int ACol, bool &Allow)> OnOleDragOver;
    std::function<void(TObject *Sender, int ARow, int ACol, const QString &Data, bool &Allow)> OnOleDrop;
    std::function<void(TObject *Sender, const TRect &ARect)> OnOleDropped;
    std::function<void(TObject *Sender, int ARow, int ACol, int DropCol)> OnOleDropCol;
    std::function<void(TObject *Sender, int ARow, int ACol, const QString &FileName, bool &Allow)> OnOleDropFile;
    // The window that shows a dragged column's header (made on first use).
    QWidget *DragPicture();
    // A press armed the drag start: the next move with the button held starts it.
    bool OleDragArmed() const { return FOleDragArmed; }

    // ---- row and column operations
    virtual void CellsChanged(const TRect &R);
    virtual void RemoveRowsKeepProps(int RowIndex, int Count);
    virtual void RemoveRows(int RowIndex, int Count);
    virtual void InsertRowsAt(int RowIndex, int Count);
    virtual void RemoveColumns(int ColIndex, int Count);
    virtual void InsertColumns(int ColIndex, int Count);
    virtual void ClearCellBlock(int ACol1, int ARow1, int ACol2, int ARow2);
    void AddRow();
    void RemoveSelectedRows();
    void ClearRowBlock(int RowIndex, int Count);
    void ClearColumnBlock(int ColIndex, int Count);
    void EmptyAllCells();
    void UnmergeColumn(int ACol);
    void MergeEqualCellsInColumn(int ACol, bool MergeAlways);
    int FindRowByPrefix(const QString &S);
    virtual void InsertRowEvent(int ARow);
    virtual void DeleteRowEvent(int ARow);
    virtual int RowEventResult(int ARow);
    void BeginUpdate();
    void EndUpdate();
    void BeginUpdateSilent() { ++FUpdateCount; }
    void ResetUpdate();
    int UpdateCount() const { return FUpdateCount; }
    // Stretches the stretch column (the last when StretchColumn is -1) to fill the client width.
    void StretchRightColumn();

    // ---- column sizing, width persistence, scroll bars and footer sums (CellGridColumns.cpp)
    // Stretches ACol (-1: the last column) so that all columns fill the client
    // width; ECellGridError "Stretch column index out of range" for ACol >= ColCount.
    void StretchColumn(int ACol);
    bool Stretched() const { return FStretched; }
    // Whether a client point is within 4 pixels of a sizing border.
    bool IsSizingBorder(int X, int Y);
    // Column widths in the store ColumnSize names (Key, Section, Location).
    // Loading ignores values that are no sensible width.
    void SaveColumnSizes();
    void LoadColumnSizes();
    // Brings a cell into the middle of the view.
    void ScrollInView(int ACol, int ARow);
    // The cell under a screen point (-1 outside any cell).
    void CellAtScreenPoint(const QPoint &P, int &ACol, int &ARow);
    void ClearComboItems();
    void AddComboItem(const QString &S);
    // The range copying the whole grid takes (with or without the fixed cells).
    TGridRect WholeGridRange() const;
    // Forwarders of an enhanced column or row move to the platform grid.
    void MoveColumnTo(int FromIndex, int ToIndex);
    void MoveRowTo(int FromIndex, int ToIndex);
    void RefreshFooter() override;
    // Recomputes the footer sums of one column, or of all when ACol is -1.
    virtual void RecalcFooter(int ACol);
    // The end of a column or row sizing by the user (proportional sizing, events).
    void EndColumnSizing();
    void EndRowSizing();
    // Both fire OnUpdateColumnSize (after a sizing and after an automatic sizing).
    virtual void UpdateColSize(int ACol, int &AWidth);
    virtual void UpdateAutoColSize(int ACol, int &AWidth);
    std::function<void(TObject *Sender, int ACol, int &AWidth)> OnUpdateColumnSize;
    std::function<void(TObject *Sender, int ARow)> OnEndRowSize;
    // The footer strip under the cells.
    TFooterPanel *FooterPanel() const { return FFooterPanel; }
    // Where the footer strip's hint of a dragged thumb stood (for tests): the text shown.
    QString ScrollHintText() const { return FScrollHintText; }
    // A thumb drag of the vertical (Vertical true) or horizontal bar at Pos of 0-127;
    // Released ends it. The scroll bars' signals call these.
    void ScrollThumbTrack(bool Vertical, int Pos);
    void ScrollThumbEnd(bool Vertical);

    // ---- auto-size, queries and version (CellGridAutoSize.cpp)
    // Size limits of automatic sizing (0 = none); the minimums become 10 and
    // DefaultRowHeight once the form's settings are loaded.
    int MinColWidth = 0;
    int MaxColWidth = 0;
    int MinRowHeight = 0;
    int MaxRowHeight = 0;
    // Automatic column sizing only widens.
    bool NoShrink = false;
    // Added to measured widths.
    int CellMargin = 0;
    void AutoSizeColumns(bool DoFixedCols, int Extra);
    void AutoSizeRow(int ARow);
    void AutoSizeRows(bool DoFixedRows, int Extra);
    void SetRowHeightForLines(int ARow, int Lines, int Extra);
    int MaxLinesInRow(int ARow);
    bool IsCellSelected(int ACol, int ARow);
    void RepaintCellBlock(const TGridRect &R);
    // The current row's text in a display column.
    virtual QString CurrentCell(int ACol);
    virtual void SetCurrentCell(int ACol, const QString &Value);
    Qt::CursorShape Cursor() const { return FCursor; }
    void SetCursor(Qt::CursorShape Value);
    // The control object of a cell's properties (nullptr without properties).
    QWidget *CellControl(int ACol, int ARow);
    // The cell's own brush colour, 0x1FFFFFFF when the cell has no properties.
    TColor CellBrushColor(int ACol, int ARow);
    virtual int GetVersionNr();
    virtual QString GetVersionString();
    // The size of a rotated text block of Width x Height turned by Angle degrees.
    static TPoint RotatedExtent(int Width, int Height, int Angle);

    // ---- rich-text cells (CellGridRichText.cpp)
    // The rendering control (measuring, painting) and the edRichEdit editor, made on first use.
    TCellRichEdit *RichEdit();
    TCellRichEdit *InplaceRichEdit();
    std::function<void(TObject *Sender)> OnRichEditSelectionChange;
    // The plain text of a cell's rich text ("" for an empty cell).
    QString RichToPlain(const QString &Text);

    // ---- cell graphics
    TPicture *CreateCellPicture(int ACol, int ARow, bool Transparent, quint8 StretchMode, int Padding,
                                TCellHAlign HAlign, TCellVAlign VAlign);
    bool HasCheckBox(int ACol, int ARow);
    bool IsRadio(int ACol, int ARow);
    bool GetRadio(int ACol, int ARow, int &Index);
    TStringList *GetRadioStrings(int ACol, int ARow);
    // Steps a radio cell to its next item (wrapping); false when the cell is no radio or editing is refused.
    bool ToggleRadio(int ACol, int ARow, bool Notify);
    bool IsButton(int ACol, int ARow);
    TRect CellButtonRect(int ACol, int ARow);
    bool IsRotated(int ACol, int ARow, int &Angle);
    bool IsComment(int ACol, int ARow, QString &Comment);
    void GetErrorRange(int ACol, int ARow, int &ErrFrom, int &ErrLen);

    // ---- nodes (column 0; CellBoolean true = contracted, CellIndex = span)
    bool IsNode(int ARow);
    bool GetNodeState(int ARow);
    int GetNodeSpan(int ARow);
    void SetNodeState(int ACol, int ARow, bool Value);
    void ContractNode(int ARow);
    void ExpandNode(int ARow);
    // 0 no vertical tree line, 1 a line ending in the middle of the row, 2 a line through it.
    int TreeLineKind(int ARow);
    bool HasCheckControl(int ACol, int ARow);
    bool GetCheckState(int ACol, int ARow, bool &State);
    bool ToggleCheck(int ACol, int ARow, bool Notify);

    // ---- editing state used by the selection gate
    bool Editing() const { return EditorMode(); }

    // ---- event-firing virtual operations
    virtual void GetCellHint(int ACol, int ARow, QString &HintStr);
    virtual void GetCellColor(int ACol, int ARow, TGridDrawState AState, TBrush *ABrush, TFont *AFont);
    virtual void GetCellPrintColor(int ACol, int ARow, TGridDrawState AState, TBrush *ABrush, TFont *AFont);
    virtual void GetCellBorder(int ACol, int ARow, TPen *APen, TCellBorders &Borders);
    virtual void GetCellPrintBorder(int ACol, int ARow, TPen *APen, TCellBorders &Borders);
    virtual void GetCellAlignment(int ACol, int ARow, TAlignment &HAlign, TVAlignment &VAlign);
    virtual void GetColFormat(int ACol, TSortStyle &AStyle, QString &APrefix, QString &ASuffix);
    virtual void GetCellEditor(int ACol, int ARow, TEditorType &AEditor);
    virtual void QueryFixedCell(int ACol, int ARow, bool &IsFixed);
    virtual void CanEditCell(int ACol, int ARow, bool &CanEdit);
    virtual bool IsPasswordCell(int ACol, int ARow);
    virtual QString GetCheckTrue(int ACol, int ARow);
    virtual QString GetCheckFalse(int ACol, int ARow);

    bool IsFixedCell(int ACol, int ARow) override;
    bool SelectCell(int ACol, int ARow) override;

    // ---- painting
    bool Ctl3D = true;
    bool HasNodes() override;
    int GetRowIndent(int ARow) override;
    void GetCellColorAndFont(int ACol, int ARow, TGridDrawState &State, bool Printing, bool UseSelection,
                             bool MapColumn, TBrush *ABrush, TFont *AFont, TAlignment &HAlign,
                             TVAlignment &VAlign) override;
    void DrawCellContent(TCanvas *ACanvas, int ACol, int ARow, const TRect &ARect, TGridDrawState AState) override;
    void CellAlignment(int ACol, int ARow, TAlignment &HAlign, TVAlignment &VAlign);
    virtual QString GetFormattedText(int ACol, int ARow);
    virtual QString GetDisplayText(int ACol, int ARow);
    TPoint CellTextSize(int ACol, int ARow, bool FitWidth);
    void DrawSizingLine(int X);
    // Draws the control's frame of the soft and house looks onto a canvas of the control's size.
    void DrawControlFrame(TCanvas *ACanvas);

    // ---- cell graphics: measuring, placing and drawing
    virtual TPoint GetGraphicSize(int ACol, int ARow);
    virtual TCellType CellGraphicKind(int ACol, int ARow);
    TCellGraphic *NewCellGraphic(int ACol, int ARow);
    bool RemoveCellGraphic(int ACol, int ARow);
    TObject *GetGraphicIndex(int ACol, int ARow, int &ImageIndex);
    // The image indexes of a ctImages cell (the graphic object, owned by the
    // graphic), nullptr for any other cell. The images come from GridImages:
    // ctImageList shows image CellIndex, ctDataImage image CellIndex plus the
    // cell's integer value, ctImages each listed image, in a row when
    // CellBoolean is set, else in a column.
    TIntList *GetImageList(int ACol, int ARow);
    void DrawCheck(TCanvas *ACanvas, const TRect &R, bool Ticked, bool Enabled, TControlStyle Style);
    void DrawRadios(TCanvas *ACanvas, const TRect &R, int Count, int Selected, const TStringList *Items,
                    bool Disabled, bool Horizontal, const QString &CellText);
    void DrawCellGraphic(TCanvas *ACanvas, int ACol, int ARow, const TRect &R, int TextWidth, TAlignment HAlign);
    // The top left of a cell graphic of size GW x GH in the content rectangle R
    // beside text of TextWidth pixels aligned by HAlign.
    TPoint GraphicOrigin(const TCellGraphic *G, const TRect &R, int TextWidth, TAlignment HAlign, int GW, int GH) const;
    // The buttons of a radio group in R, one per item, with the captions
    // beside them.
    void RadioLayout(TCanvas *ACanvas, const TRect &R, int Count, const TStringList *Items, bool Horizontal,
                     std::vector<TRect> &Buttons, std::vector<TRect> &Captions);
    void DrawSortGlyph(TCanvas *ACanvas, int ACol, int Y, int X);

    // ---- events
    std::function<void(TObject *Sender, int ARow, int ACol, QString &HintStr)> OnGridHint;
    std::function<void(TObject *Sender, int ARow, int ACol, TGridDrawState AState, TBrush *ABrush, TFont *AFont)>
        OnGetCellColor;
    std::function<void(TObject *Sender, int ARow, int ACol, TGridDrawState AState, TBrush *ABrush, TFont *AFont)>
        OnGetCellPrintColor;
    std::function<void(TObject *Sender, int ARow, int ACol, TPen *APen, TCellBorders &Borders)> OnGetCellBorder;
    std::function<void(TObject *Sender, int ARow, int ACol, TPen *APen, TCellBorders &Borders)> OnGetCellPrintBorder;
    std::function<void(TObject *Sender, int ARow, int ACol, TAlignment &HAlign, TVAlignment &VAlign)> OnGetAlignment;
    std::function<void(TObject *Sender, int ACol, TSortStyle &AStyle, QString &APrefix, QString &ASuffix)> OnGetFormat;
    std::function<void(TObject *Sender, int ACol, int ARow, TEditorType &AEditor)> OnGetEditorType;
    std::function<void(TObject *Sender, int ARow, int ACol, bool &IsFixed)> OnIsFixedCell;
    std::function<void(TObject *Sender, int ARow, int ACol, bool &CanEdit)> OnCanEditCell;
    std::function<void(TObject *Sender, int ARow, int ACol, bool &IsPassword)> OnIsPasswordCell;
    std::function<void(TObject *Sender, int ACol, int ARow, QString &Value)> OnGetCheckTrue;
    std::function<void(TObject *Sender, int ACol, int ARow, QString &Value)> OnGetCheckFalse;
    std::function<void(TObject *Sender, int OldRow, int NewRow, bool &Allow)> OnRowChanging;
    std::function<void(TObject *Sender, int OldCol, int NewCol, bool &Allow)> OnColChanging;
    std::function<void(TObject *Sender, int OldRow, int OldCol, int NewRow, int NewCol, bool &Allow)> OnCellChanging;
    std::function<void(TObject *Sender, short Progress)> OnFilterProgress;
    std::function<void(TObject *Sender, int ARow)> OnAutoInsertRow;
    std::function<void(TObject *Sender, int ARow)> OnAutoDeleteRow;
    std::function<void(TObject *Sender, const TRect &R)> OnCellsChanged;
    std::function<void(TObject *Sender)> OnResize;
    std::function<void(TObject *Sender, int ARow, int ACol, TPen *LeftPen, TPen *TopPen, TPen *RightPen,
                       TPen *BottomPen)>
        OnGetCellBorderProp;
    std::function<void(TObject *Sender, TCanvas *Canvas, int ACol, int ARow, TGridDrawState AState,
                       const TRect &ARect, bool Printing)>
        OnCustomCellDraw;
    std::function<void(TObject *Sender, int ACol, int ARow, bool &IsFloat, QString &FloatFormat)> OnGetFloatFormat;

    // Observers told about every changed rectangle (CellsChanged).
    void AttachCellObserver(std::function<void(const TRect &R)> Observer) { FObservers.push_back(std::move(Observer)); }

    // The four arrow windows (up, down, right, left) shown while rows or columns move.
    TArrowWindow *ArrowWindow(int Direction) const;
    bool FormHooked() const { return FFormHooked; }

protected:
    // Validation of an open edit when the cell is left; true lets the move go on.
    virtual bool ValidateOpenEdit() { return true; }
    // True while the advance operation moves the cursor (no OnCellChanging then).
    bool FAdvancing = false;
    void Resize() override;
    void Paint() override;
    void ColumnMoved(int FromIndex, int ToIndex) override;
    // A moved row takes its disjunct selection flag along.
    void RowMoved(int FromIndex, int ToIndex) override;
    // Sizes travel with a moved row or column only with EnhRowColMove.
    bool MoveRowHeights() const override { return EnhRowColMove; }
    bool MoveColWidths() const override { return EnhRowColMove; }
    bool eventFilter(QObject *Watched, QEvent *Event) override;

private:
    void RewriteColumnHeaders();
    void RewriteRowHeaders();
    void RepaintFooter();
    void GrowSelectFlags(std::vector<bool> &Flags, int Index);
    int DataRowCountNow() const { return RowCount() - FixedRows() - FFixedFooters; }
    void FreeHiddenRows();
    friend class TSortRun;
    void RunSort(int Kind);
    int FSortSwaps = 0;
    qint64 FSortCompares = 0;   // a wide grid of many ties counts far past 2^31
    int FSortTime = 0;
    int FSortCurrentRow = -1;   // the remembered current row, following SwapRows
    bool FSortUniformHeights = false;   // set while a sort moves rows all of one height
    // The displayed row holds a cell of a merged block that began in an earlier row.
    bool ContinuesBlockAbove(int ARow) const;
    bool HiddenRowContinuesBlockAbove(int ARow) const;
    // Where each hidden row (by its place in FHiddenRows) comes back: the
    // displayed row it returns in front of.
    std::vector<int> HiddenRowPlaces() const;
    // The first hidden row (in real order) numbered ARow or more.
    std::vector<std::unique_ptr<TGridItem>>::const_iterator FirstHiddenFrom(int ARow) const;
    // The index in FHiddenRows of the first hidden row that comes back after
    // the displayed row ARow, which is also the number of hidden rows before it.
    size_t FirstHiddenPlacedAfter(int ARow) const;
    // Hides the displayed rows First .. Last.
    void HideDisplayedRows(int First, int Last);
    // Puts the hidden rows back in real order after their numbers changed.
    void SortHiddenRows();
    // Gives the hidden rows the real numbers that put them back in front of
    // the displayed rows Places names; rows sharing a place keep their order.
    void PlaceHiddenRows(const std::vector<int> &Places);
    // Drops the disjunct-selection flags of removed rows.
    void DropRowSelectFlags(int RowIndex, int Count);
    QString FormatFloatValue(double Value) const;

    TFooterPanel *FFooterPanel = nullptr;          // a Qt child of the grid
    friend class TFooterPanel;
    std::unique_ptr<TFloatingFooter> FFloatingFooter;
    std::unique_ptr<TPrintSettings> FPrintSettings;
    std::unique_ptr<THTMLSettings> FHTMLSettings;
    std::unique_ptr<TSortSettings> FSortSettings;
    std::unique_ptr<TDragDropSettings> FDragDropSettings;
    std::unique_ptr<TControlLook> FControlLook;
    std::unique_ptr<TNavigation> FNavigation;
    std::unique_ptr<TColumnSize> FColumnSize;
    std::unique_ptr<TCellNode> FCellNode;
    std::unique_ptr<TBands> FBands;
    std::unique_ptr<TSizeWhileTyping> FSizeWhileTyping;
    std::unique_ptr<TMouseActions> FMouseActions;
    std::unique_ptr<TBackGround> FBackGround;
    std::unique_ptr<TFilter> FFilter;

    std::unique_ptr<TStringList> FColumnHeaders;
    std::unique_ptr<TFont> FFixedFont;
    std::unique_ptr<TFont> FActiveCellFont;
    std::unique_ptr<TStringList> FRowHeaders;
    std::unique_ptr<TStringList> FLookupItems;
    std::unique_ptr<TSortIndexList> FSortIndexes;
    std::unique_ptr<TIntList> FMergedColumns;
    std::unique_ptr<TBitmap> FRowIndicator;
    std::vector<std::unique_ptr<TGridItem>> FHiddenRows;   // in real order
    std::array<TArrowWindow *, 4> FArrows{};
    std::vector<std::function<void(const TRect &)>> FObservers;

    int FFixedFooters = 0;
    int FFixedRightCols = 0;
    int FFixedRowHeight = 0;
    int FCreationRowHeight = 0;
    int FReferenceRowHeight = 0;
    TColor FSelectionColor = clHighlight;
    TColor FSelectionTextColor = clHighlightText;
    bool FSelectionRectangle = false;
    bool FSelectionResizer = false;
    bool FShowSelection = true;
    TGridLook FLook = glStandard;
    TVAlignment FVAlignment = vtaTop;
    unsigned FVAlignmentFlag = 0;
    bool FWordWrap = false;
    bool FFlat = false;
    bool FAutoSize = false;
    int FMaxEditLength = 0;
    bool FThemed = false;
    int FWheelScrollLines = 0;
    bool FLoading = false;

    std::vector<bool> FRowSelectFlags;
    // No row flag is set (only SetRowSelect sets one; every other change moves or drops flags).
    bool FRowFlagsClear = true;
    std::vector<bool> FColSelectFlags;
    bool FFilterActive = false;
    int FSavedFixedRows = 0;
    std::vector<quint8> FColumnShown;   // grows with the grid, at least 513 flags
    int FNumHidden = 0;
    TGridRect FParkedSelection;
    bool FSelectionParked = false;
    bool FIntegralHeight = false;
    bool FEditingRemoved = false;
    bool FEditingAdded = false;
    TPoint FEditOriginCell;
    QString FEditOriginText;
    int FUpdateCount = 0;
    bool FClearingSortScratch = false;
    bool FDestroying = false;
    int FNodeScan = -1;   // node presence while a paint runs: -1 unknown, 0 none, 1 some
    // The graphics in column 0 as last found, and the placement and graphic
    // generations they were found at (HasNodes).
    struct TColumn0Graphic {
        int Row;
        const TCellGraphic *Graphic;
    };
    std::vector<TColumn0Graphic> FColumn0GraphicList;   // by row
    const std::vector<TColumn0Graphic> &Column0Graphics();
    // The first node row at or after ARow (RowCount() when none), and the
    // last one before ARow (-1 when none).
    int NextNodeRow(int ARow);
    int PrevNodeRow(int ARow);
    std::uint64_t FColumn0PlacementStamp = ~std::uint64_t(0);
    std::uint64_t FColumn0GraphicStamp = ~std::uint64_t(0);
    QWidget *FHookedForm = nullptr;
    bool FFormHooked = false;
    QSize FFormSize;
    // Settings with setters (CellGridColumns.cpp).
    TColor FActiveCellColor = clGray;
    bool FActiveCellShow = false;
    TColor FURLColor = clBlue;
    bool FURLShow = false;
    bool FURLFull = false;
    TScrollType FScrollType = ssNormal;
    TColor FScrollColor = clNone;
    int FScrollWidth = 0;
    bool FScrollProportional = false;
    bool FFlatScrollBars = false;
    bool FStretched = false;
    QString FScrollHintText;
    TComponentRef<TImageList> FGridImages;
    Qt::CursorShape FCursor = Qt::ArrowCursor;
    TCellRichEdit *FRichEdit = nullptr;          // Qt children of the grid
    TCellRichEdit *FInplaceRichEdit = nullptr;
    // Flat looks: style sheets of both bars; proportional thumbs.
    void ApplyScrollLooks();
    void UpdateProportionalThumbs();
    void ConnectScrollSignals();
    bool FScrollSignalsConnected = false;
    void SizeWithForm(const QSize &NewSize);
    // Rich-text cells: painting, measuring and the editor's opening and closing.
    void PaintRichTextCell(TCanvas *C, const QString &Text, const TRect &R, const TFont &CellFont);
    TPoint RichTextSize(const QString &Text, const TFont &CellFont, int FitWidth);
    void OpenRichEditor(const TRect &R, const QString &Text, const TFont &CellFont, const QColor &Background);
    void CloseRichEditor(int RC, int ARow, bool Changed);

    // ================================================================ Editing and input
public:
    // ---- editing state
    TEditorType EditorKind = edNormal;
    bool EditorActive = false;
    // The typed text that opened the editor ("" = none); an input method's
    // commit is taken whole.
    QString StartKey;
    bool Validating = false;
    bool EditWithTags = false;
    bool ExcelStyleDecimalSeparator = false;
    bool Lookup = false;
    bool LookupCaseSensitive = false;
    bool LookupHistory = false;
    bool HintShowCells = false;
    bool HintShowLargeText = false;
    bool HintShowSizing = false;
    bool HTMLHint = false;
    // With URLShow: a URL cell opens its editor on a right click instead of
    // being opened by a left click.
    bool URLEdit = false;
    // The anchor under the pointer is the hint of an HTML cell.
    bool AnchorHint = false;
    // The grid's timer: with Hovering the data cell under the pointer becomes
    // current; with EnableBlink the blink phase toggles and cells holding the
    // blink tag repaint. GridTimerTick is what each tick runs.
    bool EnableBlink() const { return FEnableBlink; }
    void SetEnableBlink(bool Value);
    bool Hovering() const { return FHovering; }
    void SetHovering(bool Value);
    bool BlinkPhase() const { return FBlinkPhase; }
    void GridTimerTick();
    // Zooming: a step of -10 ... 10 (others are ignored) added to every column
    // width and row height that stays positive; Ctrl with the wheel zooms by one.
    void Zoom(int Step);
    int ZoomStep() const { return FZoomStep; }
    // Middle-button panning (as IntelliPan allows): a press of the middle
    // button marks its point; while the button is held, the pointer's distance
    // below or above the mark (right or left of it) scrolls the rows (the
    // columns) that way, the faster the further away. Releasing the button or
    // any key ends it. PanTimerTick is what each tick of its timer runs.
    bool Panning() const { return FPanning; }
    TPoint PanOrigin() const { return FPanOrigin; }
    void PanTimerTick();
    // Milliseconds between the ticks of panning.
    static constexpr int PanInterval = 50;
    // Sizing fixed column 0 from any row (MouseActions.SizeFixedCol): a
    // press within the sizing zone of its right border starts it, the release
    // gives the column the pointer's x as its width.
    bool SizingFixedCol() const { return FSizingFixedCol; }
    // The link target of the anchor at a point of a cell ("" when none).
    QString AnchorAt(int ACol, int ARow, int X, int Y);
    // Hit-tests the rendered markup of the HTML cell (ACol, ARow) of the cell
    // store at a point in grid coordinates (as the mouse hooks get it); false
    // when the cell holds no HTML or nothing is there. Rectangles in the result
    // are viewport pixels (what a control placed over the markup needs).
    bool HTMLHitTest(int ACol, int ARow, int X, int Y, THTMLDrawResult &Result);
    // Pictures named in cell markup: by address (the grid's cache) and by name.
    THTMLPictureCache *ImageCache() const { return FImageCache.get(); }
    // Forgotten (reads as null) when the container is destroyed.
    TComponentRef<TPictureContainer> PictureContainer;
    // The hint window (made on first use) and whether it is showing.
    THTMLHintWindow *HintWindow();
    bool HintShowing() const;
    void HideHint();
    // The editor open over an EDIT or COMBO control of an HTML cell (nullptr when none).
    QWidget *ControlEditor() const;
    // Where the cell's check box, and each item of its radio group (button and
    // caption), stand in the client area as the painting places them, for
    // the cell (ACol, ARow) of the cell store; empty when there is none.
    TRect CheckBoxRect(int ACol, int ARow);
    TRect RadioItemRect(int ACol, int ARow, int Index);
    // Forgotten (reads as null) when the checker is destroyed.
    TComponentRef<TCellGridCheck> CellChecker;
    // The cursor kind chosen by the last mouse move: 0 the platform's, 1 column
    // select, 2 row select, 3 select all, 5 the range resizer's handle.
    int CursorKind() const { return FCursorKind; }
    // The range resizer's handle as painted (the square at the range's
    // bottom-right corner, grid coordinates); empty when none shows. A press
    // on it starts a fill drag: the release fills the range the drag enlarged
    // down or right with the copied block, as a smart paste does.
    TRect ResizerRect();
    bool FillDragging() const { return FFillDragging; }

    // ---- editor controls (one of each, made hidden on first use)
    class TCellInplaceEdit *CellEditor();
    class TGridCombo *InplaceCombo();
    class TGridSpin *GridSpin();
    class TGridUniEdit *GridUniEdit();
    class TGridUniCombo *GridUniCombo();
    class TGridDatePicker *GridDatePicker();
    class TGridCheckBox *GridCheckBox();
    class TGridEditBtn *GridEditBtn();
    class TGridUnitEditBtn *GridUnitEditBtn();
    class TGridButton *GridButton();
    // The grid editor control of the open kind, nullptr for the platform editor's kinds.
    QWidget *EditorControl(TEditorType Kind);
    static bool IsGridEditorKind(TEditorType Kind);
    // False for the kinds that get no editor here (nothing opens for them).
    static bool HasEditorOfItsKind(TEditorType Kind);

    // ---- editing cycle
    void StoreEditText(int ACol, int ARow, const QString &Value);
    void RestoreEditText();
    void ShowCellEditor(int ACol, int ARow);
    void ReadBackEditor(int ACol, int ARow);
    void HideCellEditor();
    void AdvanceEdit(int ACol, int ARow, bool Forward, bool FromEditor, bool Force);
    bool IsEditable(int ACol, int ARow);
    virtual bool EndEdit(const QString &NewValue);
    // An editor's commit: its text goes into the edited cell, then through EndEdit.
    bool CommitEdit(const QString &Text);
    // A leave key of a grid editor: closes it and hands the key to the grid.
    void EditorLeaveKey(quint16 Key, TShiftState Shift);
    void EllipsClick(int ACol, int ARow, QString &S);
    QString GetEditText(int ACol, int ARow) override;
    void SetEditText(int ACol, int ARow, const QString &Value) override;
    void KeyDown(quint16 &Key, TShiftState Shift) override;
    void KeyPress(QChar &Key) override;
    bool DoMouseWheelDown(TShiftState Shift, const QPoint &MousePos) override;
    bool DoMouseWheelUp(TShiftState Shift, const QPoint &MousePos) override;
    // Sizes a column to its widest text (within the column limits).
    void AutoSizeColumn(int ACol);
    // The text of the last sizing hint ("" when none showed).
    QString SizingHint() const { return FSizingHint; }

    // ---- events of editing and input
    std::function<void(TObject *Sender)> OnEditingDone;
    std::function<void(TObject *Sender, bool &CanAdd)> OnCanAddRow;
    std::function<void(TObject *Sender, int ARow)> OnAutoAddRow;
    std::function<void(TObject *Sender, int ACol)> OnAutoInsertCol;
    std::function<void(TObject *Sender, int ACol, int ARow, QString &S)> OnEllipsClick;
    std::function<void(TObject *Sender, int ACol, int ARow, QString &Value, bool &Valid)> OnCellValidate;
    std::function<void(TObject *Sender, int ACol, int ARow, QString &Value, bool &Allow)> OnClipboardBeforePasteCell;
    std::function<void(TObject *Sender, bool &Allow)> OnClipboardPaste;
    std::function<void(TObject *Sender, bool &Allow)> OnClipboardCopy;
    std::function<void(TObject *Sender, bool &Allow)> OnClipboardCut;
    std::function<void(TObject *Sender, int ACol, int ARow, int AValue, bool UpDown)> OnSpinClick;
    std::function<void(TObject *Sender, int ACol, int ARow, double AValue, bool UpDown)> OnFloatSpinClick;
    std::function<void(TObject *Sender, int ACol, int ARow, TDateTime AValue, bool UpDown)> OnDateSpinClick;
    std::function<void(TObject *Sender, int ACol, int ARow, TDateTime AValue, bool UpDown)> OnTimeSpinClick;
    std::function<void(TObject *Sender, int ACol, int ARow, int AItemIndex, const QString &ASelection)> OnComboChange;
    std::function<void(TObject *Sender, int ACol, int ARow, int AItemIndex, const QString &ASelection,
                       TObject *AObject)>
        OnComboObjectChange;
    std::function<void(TObject *Sender, int ARow, int ACol)> OnComboCloseUp;
    std::function<void(TObject *Sender, int ARow, int ACol)> OnClickCell;
    std::function<void(TObject *Sender, int ARow, int ACol)> OnRightClickCell;
    std::function<void(TObject *Sender, int ARow, int ACol)> OnDblClickCell;
    std::function<void(TObject *Sender, int ACol, int ARow, bool State)> OnCheckBoxClick;
    std::function<void(TObject *Sender, int ACol, int ARow, bool State)> OnCheckBoxMouseUp;
    std::function<void(TObject *Sender, int ACol, int ARow, int AIdx)> OnRadioClick;
    std::function<void(TObject *Sender, int ACol, int ARow, int AIdx)> OnRadioMouseUp;
    std::function<void(TObject *Sender, int ACol, int ARow)> OnButtonClick;
    std::function<void(TObject *Sender, int ARow, int ARowreal)> OnExpandNode;
    std::function<void(TObject *Sender, int ARow, int ACol, const QString &Anchor, bool &AutoHandle)> OnAnchorClick;
    std::function<void(TObject *Sender, int ARow, int ACol, const QString &Anchor)> OnAnchorEnter;
    std::function<void(TObject *Sender, int ARow, int ACol, const QString &Anchor)> OnAnchorExit;
    std::function<void(TObject *Sender, int ARow, int ACol, QString &Anchor)> OnAnchorHint;
    std::function<void(TObject *Sender, int ARow, int ACol, const QString &CtrlID, const QString &CtrlType,
                       const QString &CtrlVal)>
        OnControlClick;
    std::function<void(TObject *Sender, int ARow, int ACol, const QString &CtrlID, const QString &CtrlType,
                       const QString &CtrlVal)>
        OnControlEditDone;
    std::function<void(TObject *Sender, int ARow, int ACol, const QString &CtrlID, const QString &CtrlType,
                       const QString &CtrlVal, TStringList *Values, bool &Edit, int &DropCount)>
        OnControlComboList;
    std::function<void(TObject *Sender, int ARow, int ARowreal)> OnContractNode;
    std::function<void(TObject *Sender, int ACol, bool &Allow)> OnColumnSize;
    std::function<void(TObject *Sender, int ARow, bool &Allow)> OnRowSize;
    std::function<void(TObject *Sender, int ACol)> OnEndColumnSize;
    std::function<void(TObject *Sender, int ACol, bool &Allow)> OnColumnMove;
    std::function<void(TObject *Sender, int ARow, bool &Allow)> OnRowMove;
    std::function<void(TObject *Sender, int ARow, bool &CanInsert)> OnCanInsertRow;
    std::function<void(TObject *Sender, int ARow, bool &CanDelete)> OnCanDeleteRow;

protected:
    bool CanEditShow() override;
    TInplaceEdit *CreateEditor() override;
    void MouseDown(TMouseButton Button, TShiftState Shift, int X, int Y) override;
    void MouseMove(TShiftState Shift, int X, int Y) override;
    void MouseUp(TMouseButton Button, TShiftState Shift, int X, int Y) override;
    void DblClick() override;
    void mouseDoubleClickEvent(QMouseEvent *Event) override;
    void keyPressEvent(QKeyEvent *Event) override;
    void inputMethodEvent(QInputMethodEvent *Event) override;
    void focusInEvent(QFocusEvent *Event) override;
    // Panning ends with the focus: no key could end it any more.
    void focusOutEvent(QFocusEvent *Event) override;
    bool viewportEvent(QEvent *Event) override;
    bool event(QEvent *Event) override;
    void timerEvent(QTimerEvent *Event) override;
    void resizeEvent(QResizeEvent *Event) override;
    void TopLeftChanged() override;

private:
    QString EditorValueText();
    void TypeStartKey(QWidget *Editor);
    int ColBorderAt(int X, int Y, int Margin) const;
    int RowBorderAt(int X, int Y, int Margin) const;
    // Clipboard state: the last copied block's origin and whether it was copied or cut.
    TPoint FCopyOrigin;
    bool FCopyFlag = false;
    int FGridID = NewGridID();
    static int NewGridID();
    QString BlockText(const TRect &R, bool SelectedOnly);
    TRect ClipboardSelectionRect(bool &SelectedOnly);
    // Drag and drop state: the armed press, the drag running from this grid and
    // the selection it carries (moved down when rows are dropped above it).
    friend class TGridDropTarget;
    bool FOleDragArmed = false;
    bool FOleDragging = false;
    TPoint FOleDragHit{-1, -1};
    TGridRect FOleDragSelection;
    std::unique_ptr<TPopupButton> FDragPicture;
    bool OleDragArm(int HitCol, int HitRow, int X, int Y);
    void OleDragStart();
    TPoint OleCellAt(const TPoint &ScreenPt);
    bool OleDraggedRow(int ARow);
    void ShowDropArrows(int ACol, int ARow, bool Column);
    void OleDragOver(const TPoint &Pt, bool &Allow, int Formats);
    bool OleDropText(const TPoint &Pt, const QString &S);
    void OleDropCol(const TPoint &Pt, int DropCol);
    bool OleDropRTF(const TPoint &Pt, const QString &S);
    void OleDropFiles(const TPoint &Pt, TStringList *Files);
    class TCellInplaceEdit *FCellEditor = nullptr;
    class TGridCombo *FInplaceCombo = nullptr;
    class TGridSpin *FGridSpin = nullptr;
    class TGridUniEdit *FGridUniEdit = nullptr;
    class TGridUniCombo *FGridUniCombo = nullptr;
    class TGridDatePicker *FGridDatePicker = nullptr;
    class TGridCheckBox *FGridCheckBox = nullptr;
    class TGridEditBtn *FGridEditBtn = nullptr;
    class TGridUnitEditBtn *FGridUnitEditBtn = nullptr;
    class TGridButton *FGridButton = nullptr;
    QString FEditOpenText;         // the text handed to the editor
    QString FEditOpenRaw;          // the cell text it came from
    TPoint FEditOpenCell{-1, -1};
    QString FEditorOpenValue;      // a grid editor's value right after it opened
    bool FEditorValueRead = true;  // false: the cell text could not be read into the editor
    TPoint FEditStartCell{-1, -1};
    QString FEditStartText;
    bool FEditOpen = false;
    bool FPlatformEditOpen = false;
    bool FHidingEditor = false;
    bool FAdvanceDone = false;
    int FSizingCol = -1;
    int FSizingRow = -1;
    int FSizingStartWidth = 0;
    QString FSizingHint;
    TPoint FPressCell{-1, -1};
    bool FPressOnCheck = false;
    bool FDisjunctDrag = false;
    bool FKeypadChar = false;
    int FCursorKind = 0;
    // Fill drag from the resizer's handle and the range it started from.
    bool FFillDragging = false;
    TGridRect FFillFrom;
    bool OnResizerHandle(int X, int Y);
    TGridRect FillDragRange(int X, int Y);
    void ShowFillRange(const TGridRect &Range);
    void EndFillDrag(bool Fill);
    int FZoomStep = 0;
    bool FEnableBlink = false;
    bool FHovering = false;
    bool FBlinkPhase = false;
    QBasicTimer FGridTimer;
    QBasicTimer FMoveTimer;
    // Middle-button panning: the mark, the pointer, and the parts of a row
    // or column not scrolled yet.
    bool FPanning = false;
    TPoint FPanOrigin;
    TPoint FPanPoint;
    double FPanCarryX = 0, FPanCarryY = 0;
    QBasicTimer FPanTimer;
    void StartPan(int X, int Y);
    void EndPan();
    // The pan cursor for the pointer's place: 1 at rest, 2 scrolling back, 3 forward.
    int PanCursorKind() const;
    void PaintPanMark(TCanvas *C);
    // Sizing fixed column 0 from a data row: where the pointer is now.
    bool FSizingFixedCol = false;
    int FFixedColX = 0;
    // Whether a press at (X, Y) would start sizing fixed column 0 (the platform
    // sizes it itself on its header with goColSizing).
    bool OnFixedColBorder(int X, int Y) const;
    void EndFixedColSizing(bool Apply, int X);
    void UpdateGridTimer();
    void MoveTimerTick();
    int FMoveFrom = -1;           // the column or row being moved (EnhRowColMove)
    bool FMovingRow = false;
    bool FMoveAllowed = false;
    void ShowMoveArrows(int Target);
    void HideMoveArrows();
    QString FHoverAnchor;
    TPoint FHoverAnchorCell{-1, -1};
    int FHoverLink = 0;                          // link number under the pointer in FHoverAnchorCell
    std::unique_ptr<THTMLPictureCache> FImageCache;
    std::unique_ptr<THTMLHintWindow> FHintWindow;
    TPoint FHintCell{-1, -1};                    // the cell whose hint is showing
    // Cell controls of HTML cells: the pressed BUTTON, and the editor over an EDIT or COMBO.
    struct TControlRef {
        TPoint Cell{-1, -1};
        QString ID, Type, Value;
        TRect Rect;
    };
    TControlRef FPressedControl;
    TControlRef FEditedControl;
    bool FControlAlwaysEdit = false;             // Navigation.AlwaysEdit while a control editor is open
    QPointer<QLineEdit> FControlEdit;
    QPointer<QComboBox> FControlCombo;
    void ShowHint(const QPoint &Global, const QString &Hint, bool HTML);
    // Paints an HTML cell's markup into its text rectangle; returns the widest line.
    int PaintHTMLCell(TCanvas *C, int RC, int ARow, const QString &Text, TRect TR, TAlignment HA, TColor AnchorColor);
    TRect AlignHTMLRect(TCanvas *C, const QString &Text, TRect TR, TAlignment HA);
    void HTMLControlPress(const TPoint &Cell, const THTMLDrawResult &Hit);
    void OpenControlEditor(const TPoint &Cell, const THTMLDrawResult &Hit);
    void CloseControlEditor(bool Write);
    // Opens an anchor or URL the grid handles itself with the desktop, only for web and mail addresses.
    void OpenLink(const QString &Link);
    // The cell controls placed at the last scroll (never owned: a deleted one drops out).
    std::vector<QPointer<QWidget>> FShownCellControls;
    // What the last painting of a cell graphic or HTML cell used, so that
    // presses are tested against what was drawn: the content rectangle, the
    // text rectangle and width, the alignment, and the cell's rectangle then.
    struct TPaintedLayout {
        TRect Content, TextRect, Cell;
        int TextWidth = 0;
        TAlignment HAlign = taLeftJustify;
    };
    std::map<std::pair<int, int>, TPaintedLayout> FPaintedLayouts;
    // The layout of the cell (ACol, ARow) of the cell store as painted, or as
    // it would be painted when the cell has not been painted in its place.
    TPaintedLayout CellLayout(int ACol, int ARow);
    // Starts the editor of the current cell with typed text.
    void StartEditWith(const QString &Text);
    // The radio item under a point of a radio cell, -1 when none.
    int RadioItemAt(int ACol, int ARow, int X, int Y);
    bool SelectRadio(int ACol, int ARow, int Index);
};
