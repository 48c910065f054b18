#pragma once
// The option objects of the grid control. Each is owned by its grid and
// published under its property name; their fields start as documented at the
// grid's creation.

#include "grid/GridObj.h"
#include "platform/core/Classes.h"
#include "platform/graphics/Graphics.h"

#include <memory>
#include <vector>

class TCellGrid;

enum TAdvanceDirection { adLeftRight, adTopBottom };
enum TInsertPosition { pInsertBefore, pInsertAfter };
enum THomeEndAction { heFirstLastColumn, heFirstLastRow };
enum TColumnSizeLocation { clRegistry, clIniFile };
enum TNodeType { cnFlat, cn3D, cnGlyph, cnLeaf };
enum TPrintPosition { ppNone, ppTopLeft, ppTopRight, ppTopCenter, ppBottomLeft, ppBottomRight, ppBottomCenter };
enum TPrintBorders { pbNoborder, pbSingle, pbDouble, pbVertical, pbHorizontal, pbAround, pbAroundVertical,
                     pbAroundHorizontal, pbCustom };
enum TFitToPage { fpNever, fpGrow, fpShrink, fpAlways, fpCustom };
enum TPrinterOrientation { poPortrait, poLandscape };
enum TGridLook { glStandard, glSoft, glClassic, glHouse };
enum TIntelliPan { ipVertical, ipHorizontal, ipBoth, ipNone };
enum TScrollType { ssNormal, ssFlat, ssEncarta };
enum TScrollHintType { shNone, shVertical, shHorizontal, shBoth };
enum TFooterStyle { fsFixedLastRow, fsColumnPreview, fsCustomPreview };
enum TSortBlankPosition { blFirst, blLast };
enum TSortDirection { sdAscending, sdDescending };
enum TSortStyle {
    soAuto, soText, soNumber, soDate, soTextUpper, soTextCase, soDateDayFirst, soDateMonthFirst, soCustom,
    soNumberGrouped, soLocaleText, soLocaleTextNoCase, soRaw, soHTML, soGraphicValue, soCheckBox, soWideText
};
enum TBackGroundDisplay { bdTile, bdFixed };
enum TBackGroundCells { bcNormal, bcFixed, bcAll };
enum TControlStyle { csClassic, csFlat, csWinXP, csBorland, csHouse, csGlyph, csTheme };

// The footer strip under the cells (painted by the grid's TFooterPanel).
// Color, Column and CustomTemplate repaint the panel; FooterStyle and Visible
// also lay the grid out again (Visible sets FixedFooters to 1 or 0).
class TFloatingFooter : public TObject {
public:
    explicit TFloatingFooter(TCellGrid *AGrid) : FGrid(AGrid) {}
    TCellGrid *Owner() const { return FGrid; }
    TColor Color() const { return FColor; }
    void SetColor(TColor Value);
    int Column() const { return FColumn; }
    void SetColumn(int Value);
    QString CustomTemplate() const { return FCustomTemplate; }
    void SetCustomTemplate(const QString &Value);
    TFooterStyle FooterStyle() const { return FFooterStyle; }
    void SetFooterStyle(TFooterStyle Value);
    bool Visible() const { return FVisible; }
    void SetVisible(bool Value);
    // One row's height, kept with the grid's DefaultRowHeight.
    int Height() const { return FHeight; }
    void SetHeight(int Value) { FHeight = Value; }

private:
    TCellGrid *FGrid;
    TColor FColor = clBtnFace;
    int FColumn = 0;
    QString FCustomTemplate;
    TFooterStyle FFooterStyle = fsFixedLastRow;
    bool FVisible = false;
    int FHeight = 0;
};

class TPrintSettings : public TObject {
public:
    TFont Font;
    TFont HeaderFont;
    TFont FooterFont;
    TStringList TitleLines;
    QString PageNumSep = QStringLiteral("/");
    QString DateFormat = QStringLiteral("dd/mm/yyyy");
    QString PagePrefix;
    QString PageSuffix;
    TPrintPosition Time = ppNone;
    TPrintPosition Date = ppNone;
    TPrintPosition PageNr = ppNone;
    TPrintPosition Title = ppNone;
    TPrintBorders Borders = pbNoborder;
    TPenStyle BorderStyle = psSolid;
    TPrinterOrientation Orientation = poPortrait;
    TFitToPage FitToPage = fpNever;
};

class THTMLSettings : public TObject {
public:
    THTMLSettings() : ColWidths(0, 0) {}
    bool SaveColor = true;
    bool SaveFonts = true;
    int BorderSize = 1;
    int CellSpacing = 0;
    int CellPadding = 0;
    int Width = 100;
    bool XHTML = false;
    TIntList ColWidths;
};

class TSortSettings : public TObject {
public:
    explicit TSortSettings(TCellGrid *AGrid) : FGrid(AGrid) {}
    bool AutoColumnMerge = false;
    int Column = 0;
    bool Show = false;
    bool IndexShow = false;
    TColor IndexColor = clYellow;
    bool Full = true;
    bool SingleColumn = false;
    bool IgnoreBlanks = false;
    TSortBlankPosition BlankPos = blFirst;
    bool AutoFormat = true;
    TSortDirection Direction = sdAscending;
    TBitmap UpGlyph;
    TBitmap DownGlyph;
    TBitmap IndexUpGlyph;
    TBitmap IndexDownGlyph;
    bool FixedCols = false;
    bool NormalCellsOnly = false;
    int Row() const { return FRow; }
    // Up to and including the grid's FixedRows; larger values raise Exception.
    void SetRow(int Value);

private:
    TCellGrid *FGrid;
    int FRow = 0;
};

class TGridDropTarget;

// Drag and drop of cells (CellGridDragDrop.cpp).
class TDragDropSettings : public TObject {
public:
    explicit TDragDropSettings(TCellGrid *AGrid = nullptr);
    ~TDragDropSettings() override;
    bool OleAcceptFiles = true;
    bool OleAcceptText = true;
    bool OleCopyAlways = false;
    // True makes the grid's viewport a drop target; false revokes it.
    bool OleDropTarget() const { return FOleDropTarget; }
    void SetOleDropTarget(bool Value);
    bool OleDropSource = false;
    bool OleEntireRows = false;
    bool OleInsertRows = false;
    bool OleRemoveRows = false;
    // Also sets the drop objects' shared rich-text switch.
    bool OleDropRTF() const { return FOleDropRTF; }
    void SetOleDropRTF(bool Value);
    bool OleColumnDragDrop = false;
    // The grid's drop target while OleDropTarget is on and registered.
    TGridDropTarget *DropTarget() const { return FDropTarget.get(); }

private:
    TCellGrid *FGrid;
    bool FOleDropTarget = false;
    bool FOleDropRTF = false;
    bool FRegistered = false;
    std::unique_ptr<TGridDropTarget> FDropTarget;
};

// The look of check boxes, radio buttons and buttons drawn in cells. Every
// setter stores the value and repaints the grid; glyph setters copy the bitmap.
class TControlLook : public TObject {
public:
    explicit TControlLook(TCellGrid *AGrid) : FGrid(AGrid) {}
    TCellGrid *Owner() const { return FGrid; }
    TColor Color() const { return FColor; }
    void SetColor(TColor Value);
    TBitmap *CheckedGlyph() const { return FCheckedGlyph.get(); }
    void SetCheckedGlyph(const TBitmap *Value);
    TBitmap *UnCheckedGlyph() const { return FUnCheckedGlyph.get(); }
    void SetUnCheckedGlyph(const TBitmap *Value);
    TBitmap *RadioOnGlyph() const { return FRadioOnGlyph.get(); }
    void SetRadioOnGlyph(const TBitmap *Value);
    TBitmap *RadioOffGlyph() const { return FRadioOffGlyph.get(); }
    void SetRadioOffGlyph(const TBitmap *Value);
    int CheckSize() const { return FCheckSize; }
    void SetCheckSize(int Value);
    int RadioSize() const { return FRadioSize; }
    void SetRadioSize(int Value);
    TControlStyle ControlStyle() const { return FControlStyle; }
    void SetControlStyle(TControlStyle Value);
    bool FlatButton() const { return FFlatButton; }
    void SetFlatButton(bool Value);

private:
    void Changed();
    TCellGrid *FGrid;
    TColor FColor = clBlack;
    std::unique_ptr<TBitmap> FCheckedGlyph = std::make_unique<TBitmap>();
    std::unique_ptr<TBitmap> FUnCheckedGlyph = std::make_unique<TBitmap>();
    std::unique_ptr<TBitmap> FRadioOnGlyph = std::make_unique<TBitmap>();
    std::unique_ptr<TBitmap> FRadioOffGlyph = std::make_unique<TBitmap>();
    int FCheckSize = 15;
    int FRadioSize = 10;
    TControlStyle FControlStyle = csClassic;
    bool FFlatButton = false;
};

class TNavigation : public TObject {
public:
    bool AllowInsertRow = false;
    bool AllowDeleteRow = false;
    bool AdvanceOnEnter = false;
    bool AdvanceInsert = false;
    bool AutoGotoWhenSorted = false;
    bool AutoGotoIncremental = false;
    bool AutoComboDropSize = false;
    bool AllowClipboardShortCuts = false;
    bool AllowRTFClipboard = false;
    bool AllowSmartClipboard = false;
    bool AllowClipboardAlways = false;
    bool AllowClipboardColGrow = true;
    bool AllowClipboardRowGrow = true;
    bool CopyHTMLTagsToClipboard = true;
    TAdvanceDirection AdvanceDirection = adLeftRight;
    bool AdvanceAuto = false;
    bool CursorWalkEditor = false;
    bool MoveRowOnSort = false;
    bool ImproveMaskSel = false;
    bool AlwaysEdit = false;
    TInsertPosition InsertPosition = pInsertBefore;
    bool LineFeedOnEnter = false;
    THomeEndAction HomeEndKey = heFirstLastColumn;
    bool KeepHorizScroll = false;
    bool AllowFmtClipboard = false;
    bool TabToNextAtEnd = false;
    bool EditSelectAll = true;
    TAdvanceDirection TabAdvanceDirection = adLeftRight;
};

class TColumnSize : public TObject {
public:
    explicit TColumnSize(TCellGrid *AGrid) : FGrid(AGrid) {}
    TCellGrid *Owner() const { return FGrid; }
    bool Save = false;
    QString Key;
    QString Section;
    bool Stretch() const { return FStretch; }
    void SetStretch(bool Value);        // re-stretches the grid's columns at once
    int StretchColumn = -1;
    bool SynchWithGrid = false;
    TColumnSizeLocation Location = clRegistry;

private:
    TCellGrid *FGrid;
    bool FStretch = false;
};

class TCellNode : public TObject {
public:
    explicit TCellNode(TCellGrid *AGrid) : FGrid(AGrid) {}
    TCellGrid *Owner() const { return FGrid; }
    TColor Color = clSilver;
    TColor NodeColor = clBlack;
    TNodeType NodeType() const { return FNodeType; }
    void SetNodeType(TNodeType Value);  // repaints on change
    bool ShowTree() const { return FShowTree; }
    void SetShowTree(bool Value);       // repaints on change
    TBitmap ExpandGlyph;
    TBitmap ContractGlyph;

private:
    TCellGrid *FGrid;
    TNodeType FNodeType = cnFlat;
    bool FShowTree = false;
};

class TBands : public TObject {
public:
    explicit TBands(TCellGrid *AGrid) : FGrid(AGrid) {}
    bool Active() const { return FActive; }
    void SetActive(bool Value);
    TColor PrimaryColor() const { return FPrimaryColor; }
    void SetPrimaryColor(TColor Value);
    int PrimaryLength() const { return FPrimaryLength; }
    void SetPrimaryLength(int Value);
    TColor SecondaryColor() const { return FSecondaryColor; }
    void SetSecondaryColor(TColor Value);
    int SecondaryLength() const { return FSecondaryLength; }
    void SetSecondaryLength(int Value);
    bool Print = false;
    int TotalLength() const { return FTotalLength; }

private:
    void Repaint(bool OnlyWhenActive);
    TCellGrid *FGrid;
    bool FActive = false;
    TColor FPrimaryColor = clInfoBk;
    int FPrimaryLength = 1;
    TColor FSecondaryColor = clWindow;
    int FSecondaryLength = 1;
    int FTotalLength = 2;
};

class TSizeWhileTyping : public TObject {
public:
    bool Height = false;
    bool Width = false;
};

// While the grid is designed, switching one disjunct selection kind on clears
// the other two; at run time each flag is independent.
class TMouseActions : public TObject {
public:
    explicit TMouseActions(TCellGrid *AGrid) : FGrid(AGrid) {}
    TCellGrid *Owner() const { return FGrid; }
    bool AllColumnSize = false;
    bool AllRowSize = false;
    bool AllSelect = false;
    bool CaretPositioning = false;
    bool ColSelect = false;
    bool DirectComboDrop = false;
    bool DirectEdit = false;
    bool DisjunctRowSelect = false;
    bool DisjunctColSelect = false;
    bool DisjunctCellSelect = false;
    bool NoAutoRangeScroll = false;
    bool RangeSelectAndEdit = false;
    bool RowSelect = false;
    bool SizeFixedCol = false;

private:
    TCellGrid *FGrid;
};

// The background bitmap painted behind cells. Every setter stores the value and
// repaints the grid; the bitmap setter copies the bitmap.
class TBackGround : public TObject {
public:
    explicit TBackGround(TCellGrid *AGrid) : FGrid(AGrid) {}
    TCellGrid *Owner() const { return FGrid; }
    int Top() const { return FTop; }
    void SetTop(int Value);
    int Left() const { return FLeft; }
    void SetLeft(int Value);
    TBackGroundDisplay Display() const { return FDisplay; }
    void SetDisplay(TBackGroundDisplay Value);
    TBitmap *Bitmap() const { return FBitmap.get(); }
    void SetBitmap(const TBitmap *Value);
    TBackGroundCells Cells() const { return FCells; }
    void SetCells(TBackGroundCells Value);
    // Copies every setting of another background (the grid's BackGround setter).
    void Assign(const TBackGround &Source);

private:
    void Changed();
    TCellGrid *FGrid;
    int FTop = 0;
    int FLeft = 0;
    TBackGroundDisplay FDisplay = bdTile;
    std::unique_ptr<TBitmap> FBitmap = std::make_unique<TBitmap>();
    TBackGroundCells FCells = bcNormal;
};

class TFilter;

// One filter condition: the column it tests and the condition text.
class TFilterData : public TObject {
public:
    explicit TFilterData(TFilter *ACollection = nullptr) : FCollection(ACollection) {}
    TFilter *Collection() const { return FCollection; }
    short Column = 0;
    QString Condition;
    bool CaseSensitive = true;

private:
    TFilter *FCollection;
};

// The filter conditions of the grid (applied by FilterActive).
class TFilter : public TObject {
public:
    explicit TFilter(TCellGrid *AGrid = nullptr) : FGrid(AGrid) {}
    TCellGrid *Grid() const { return FGrid; }
    int Count() const { return int(FItems.size()); }
    // The item at Index; EListError "List index out of bounds (n)" outside the list.
    TFilterData *Items(int Index) const;
    TFilterData *Add();
    TFilterData *Insert(int Index);
    void Delete(int Index);
    void Clear() { FItems.clear(); }

private:
    TCellGrid *FGrid;
    std::vector<std::unique_ptr<TFilterData>> FItems;
};

class TGridItem : public TObject {
public:
    int Idx = 0;
    TStringList Items;
};
