// Painting of the grid control: cell colours and fonts, bands, selection,
// the fixed-cell looks, text placement, borders, focus, and the cell graphics
// (pictures, check boxes, radio groups, nodes, progress bars, buttons...).
// Painting never throws: typed reads inside it fall back to 0.

#include "grid/CellGrid.h"
#include "grid/CgHTMLE.h"
#include "grid/CgUni.h"
#include "grid/GridUtil.h"
#include "grid/CellRichEdit.h"
#include "grid/detail/CanvasClip.h"
#include "platform/graphics/ImgList.h"

#include <QPainter>
#include <QPolygon>
#include <QRegularExpression>

#include <algorithm>
#include <cmath>

namespace {

const unsigned HAlignFlags[] = {DT_LEFT, DT_RIGHT, DT_CENTER};
const unsigned VAlignFlags[] = {DT_TOP, DT_VCENTER, DT_BOTTOM};

TColor Mix(TColor Top, TColor Bottom, int Step, int Steps)
{
    auto Channel = [&](int A, int B) { return int(std::lround(A + double(Step) * (B - A) / Steps)); };
    return RGB(Channel(GetRValue(Top), GetRValue(Bottom)), Channel(GetGValue(Top), GetGValue(Bottom)),
               Channel(GetBValue(Top), GetBValue(Bottom)));
}

void Line(TCanvas *C, int X1, int Y1, int X2, int Y2)
{
    C->MoveTo(X1, Y1);
    C->LineTo(X2, Y2);
}

} // namespace

// =================================================================== colours and alignment

const std::vector<TCellGrid::TColumn0Graphic> &TCellGrid::Column0Graphics()
{
    // Node graphics live in property objects of column 0. Which cells there
    // hold a graphic changes only when cell objects are stored or move, or a
    // graphic is given or taken: the graphics found stay listed until then,
    // and only their kinds, which may change at any time, are read again.
    if (FColumn0PlacementStamp != PlacementGeneration() || FColumn0GraphicStamp != CellGraphicGeneration()) {
        FColumn0GraphicList.clear();
        for (int R = NextRowWithObjects(0); R < RowCount(); R = NextRowWithObjects(R + 1))
            if (const TCellGraphic *G = GetCellGraphic(0, R))
                FColumn0GraphicList.push_back(TColumn0Graphic{R, G});
        FColumn0PlacementStamp = PlacementGeneration();
        FColumn0GraphicStamp = CellGraphicGeneration();
    }
    return FColumn0GraphicList;
}

int TCellGrid::NextNodeRow(int ARow)
{
    const std::vector<TColumn0Graphic> &L = Column0Graphics();
    auto It = std::lower_bound(L.begin(), L.end(), ARow, [](const TColumn0Graphic &E, int R) { return E.Row < R; });
    for (; It != L.end(); ++It)
        if (It->Graphic->CellType == ctNode)
            return It->Row;
    return RowCount();
}

int TCellGrid::PrevNodeRow(int ARow)
{
    const std::vector<TColumn0Graphic> &L = Column0Graphics();
    auto It = std::lower_bound(L.begin(), L.end(), ARow, [](const TColumn0Graphic &E, int R) { return E.Row < R; });
    while (It != L.begin()) {
        --It;
        if (It->Graphic->CellType == ctNode)
            return It->Row;
    }
    return -1;
}

bool TCellGrid::HasNodes()
{
    if (FNodeScan >= 0)
        return FNodeScan > 0;
    return NextNodeRow(0) < RowCount();
}

int TCellGrid::GetRowIndent(int ARow)
{
    if (!HasNodes())
        return 0;
    const TCellProperties *P = PropsOf(0, ARow);
    return P ? P->NodeLevel * 16 : 0;
}

void TCellGrid::CellAlignment(int ACol, int ARow, TAlignment &HAlign, TVAlignment &VAlign)
{
    HAlign = taLeftJustify;
    VAlign = FVAlignment;
    if (AutoNumAlign) {
        const QString Text = GetCellText(ACol, ARow);
        const int Kind = NumberKind(Text);
        if (Kind == nkInteger || Kind == nkFloat)
            HAlign = taRightJustify;
    }
    if (const TCellProperties *P = PropsOf(ACol, ARow))
        HAlign = P->Alignment;
    GetCellAlignment(ACol, ARow, HAlign, VAlign);
}

void TCellGrid::GetCellColorAndFont(int ACol, int ARow, TGridDrawState &State, bool Printing, bool UseSelection,
                                    bool MapColumn, TBrush *ABrush, TFont *AFont, TAlignment &HAlign,
                                    TVAlignment &VAlign)
{
    const bool FixedPlace = ACol < FixedCols() || ARow < FixedRows();
    if (Printing)
        AFont->Assign(FPrintSettings->Font);
    else
        AFont->Assign(FixedPlace ? *FFixedFont : *Font());
    const int RC = MapColumn ? RealColIndex(ACol) : ACol;

    TColor Brush = clNone;
    if (const TCellProperties *P = PropsOf(RC, ARow)) {
        if (P->BrushColor() != clNone)
            Brush = P->BrushColor();
        if (P->FontColor != clNone)
            AFont->SetColor(P->FontColor);
        if (P->FontStyle)
            AFont->SetStyle(P->FontStyle);
        if (P->FontSize != 0)
            AFont->SetSize(P->FontSize);
        if (!P->FontName.isEmpty())
            AFont->SetName(P->FontName);
    }
    if (Brush == clNone) {
        Brush = Color();
        const int Period = FBands->PrimaryLength() + FBands->SecondaryLength();
        // Two zero lengths make no bands.
        if (FBands->Active() && (!Printing || FBands->Print) && Period > 0 && ACol >= TStringGrid::FixedCols()
            && ACol < ColCount() - FFixedRightCols + FNumHidden && ARow >= FixedRows()
            && ARow < RowCount() - FFixedFooters) {
            Brush = (ARow - FixedRows()) % Period < FBands->PrimaryLength() ? FBands->PrimaryColor()
                                                                           : FBands->SecondaryColor();
        }
    }
    ABrush->SetStyle(bsSolid);
    ABrush->SetColor(Brush);

    const bool Fixed = IsFixedCell(ACol, ARow) || ACol < TStringGrid::FixedCols() || ARow < FixedRows();
    if (Fixed && !Printing) {
        ABrush->SetColor(FixedColor());
        AFont->SetColor(FFixedFont->Color());
        State |= gdFixed;
    }
    if (Printing)
        GetCellPrintColor(RC, ARow, State, ABrush, AFont);
    else
        GetCellColor(RC, ARow, State, ABrush, AFont);

    if (!Printing && UseSelection && FShowSelection && !Fixed) {
        bool Selected = false;
        if (FMouseActions->DisjunctRowSelect)
            Selected = ARow < int(FRowSelectFlags.size()) && FRowSelectFlags[size_t(ARow)];
        else if (FMouseActions->DisjunctColSelect)
            Selected = ACol < int(FColSelectFlags.size()) && FColSelectFlags[size_t(ACol)];
        else {
            const TGridRect Sel = Selection();
            Selected = ACol >= Sel.Left && ACol <= Sel.Right && ARow >= Sel.Top && ARow <= Sel.Bottom;
        }
        if (Selected) {
            if (FSelectionColor != clNone)
                ABrush->SetColor(FSelectionColor);
            if (FSelectionTextColor != clNone && FSelectionTextColor != clDefault)
                AFont->SetColor(FSelectionTextColor);
            State |= gdSelected;
        }
    }
    CellAlignment(RC, ARow, HAlign, VAlign);
}

// =================================================================== texts

QString TCellGrid::GetFormattedText(int ACol, int ARow)
{
    QString Text = GetCellText(ACol, ARow);
    if (OnGetFloatFormat) {
        const int Kind = NumberKind(Text);
        bool IsFloat = Kind == nkInteger || Kind == nkFloat;
        QString Format = FloatFormat;
        OnGetFloatFormat(this, ACol, ARow, IsFloat, Format);
        if (IsFloat) {
            try {
                const double V = Floats(ACol, ARow);
                const QString Saved = FloatFormat;
                FloatFormat = Format;
                Text = FormatFloatValue(V);
                FloatFormat = Saved;
            } catch (const ECellGridError &) {
            }
        }
    }
    if (IsPasswordCell(ACol, ARow))
        Text = QString(Text.size(), PasswordChar);
    return Text;
}

QString TCellGrid::GetDisplayText(int ACol, int ARow)
{
    QString Text = PlainCells(ACol, ARow);
    if (Text.isEmpty() && HasCheckBox(ACol, ARow)) {
        bool State = false;
        GetCheckState(ACol, ARow, State);
        Text = State ? GetCheckTrue(ACol, ARow) : GetCheckFalse(ACol, ARow);
    }
    const int Kind = TextKind(Text, true);
    if (Kind == tkWideText)
        return WideCellDisplayText(Text);
    return Kind == tkHTML ? HTMLStrip(Text) : Text;
}

TPoint TCellGrid::CellTextSize(int ACol, int ARow, bool FitWidth)
{
    TCanvas *C = Canvas();
    TGridDrawState State = 0;
    TAlignment HA;
    TVAlignment VA;
    GetCellColorAndFont(ACol, ARow, State, false, false, true, C->Brush(), C->Font(), HA, VA);
    QString Text = GetCellText(ACol, ARow);
    const TPoint M = CellTextMargin;
    QString WideText;
    if (TextKind(Text, EnableHTML) == tkWideText && DecodeWideCellText(Text, WideText)) {
        TRect R = GetCellRect(ACol, ARow);
        const bool Wrap = FWordWrap || Multilinecells;
        const int H = DrawText(C, WideText, R, DT_CALCRECT | DT_NOPREFIX | (Wrap ? unsigned(DT_WORDBREAK) : unsigned(DT_SINGLELINE)));
        return TPoint(R.Width() + 2 * M.X, H);
    }
    int Angle = 0;
    if (IsRotated(ACol, ARow, Angle)) {
        // The bounding box of the text turned by the cell's angle.
        const TPoint E = RotatedExtent(C->TextWidth(Text), C->TextHeight(Text), Angle);
        return TPoint(E.X + 12, E.Y + 12);
    }
    if (TextKind(Text, EnableHTML) == tkRichText) {
        // Measured through the rendering rich edit with the cell's font.
        const int Fit = FitWidth ? std::max(1, GetCellRect(DisplColIndex(ACol), ARow).Width() - 2 - 2 * M.X) : 0;
        const TPoint S = RichTextSize(Text, *C->Font(), Fit);
        return TPoint((FitWidth ? Fit : S.X) + 2 * M.X, S.Y + 2 * M.Y);
    }
    if (TextKind(Text, EnableHTML) == tkHTML) {
        const int Limit = FitWidth ? std::max(1, GetCellRect(DisplColIndex(ACol), ARow).Width() - 4) : 0xFFFF;
        THTMLDrawResult Res;
        HTMLDrawEx(C, Text, TRect(0, 0, Limit, 0xFFFF), nullptr, PictureContainer, FImageCache.get(), 0, 0, false, 0,
                   0, clNone, clNone, false, URLColor(), clGray, 1, true, true, false, FWordWrap, true, 1.0, Res);
        return TPoint(Res.XSize + 2 + 2 * M.X, Res.YSize + 2 + 2 * M.Y);
    }
    if (!FitWidth) {
        QStringList Lines = Text.split(QLatin1Char('\r'));
        int Widest = 0;
        for (QString L : Lines) {
            if (L.startsWith(QLatin1Char('\n')))
                L.remove(0, 1);
            if (URLShow() && !URLFull() && IsURL(L))
                StripURLProtocol(L);
            Widest = std::max(Widest, C->TextWidth(L));
        }
        return TPoint(Widest + 2 * M.X, int(Lines.size()) * C->TextHeight(QStringLiteral("gh")) + 2 * M.Y);
    }
    TRect R = GetCellRect(ACol, ARow);
    InflateRect(R, -(2 + M.X), -(2 + M.Y));
    const int H = DrawText(C, Text, R, DT_CALCRECT | DT_NOPREFIX | DT_WORDBREAK | DT_EDITCONTROL);
    return TPoint(R.Width() + 2 * M.X, H + 2 * M.Y);
}

// =================================================================== HTML cells

TRect TCellGrid::AlignHTMLRect(TCanvas *C, const QString &Text, TRect TR, TAlignment HA)
{
    // Right-aligned and centred cells place the lines of their markup as one block.
    if (HA == taLeftJustify)
        return TR;
    THTMLDrawResult Res;
    HTMLDrawEx(C, Text, TR, nullptr, PictureContainer, FImageCache.get(), 0, 0, false, 0, 0, clNone, clNone, false,
               URLColor(), clGray, 1, true, true, false, FWordWrap, true, 1.0, Res);
    const int Free = TR.Width() - Res.XSize;
    if (Free > 0)
        TR.Left += HA == taRightJustify ? Free : Free / 2;
    return TR;
}

int TCellGrid::PaintHTMLCell(TCanvas *C, int RC, int ARow, const QString &Text, TRect TR, TAlignment HA,
                             TColor AnchorColor)
{
    TR = AlignHTMLRect(C, Text, TR, HA);
    const bool Hovered = FHoverAnchorCell == TPoint(RC, ARow);
    THTMLDrawResult Res;
    HTMLDrawEx(C, Text, TR, nullptr, PictureContainer, FImageCache.get(), 0, 0, false, 0, Hovered ? FHoverLink : 0,
               clGray, clNone, false, AnchorColor, clGray, 1, !FEnableBlink || FBlinkPhase, false, false, FWordWrap,
               true, 1.0, Res);
    // A BUTTON control held down with the mouse.
    if (FPressedControl.Cell == TPoint(RC, ARow) && !FPressedControl.Rect.IsEmpty()) {
        DrawFrameControl(C, FPressedControl.Rect, DFC_BUTTON, DFCS_BUTTONPUSH | DFCS_PUSHED);
        TRect T = FPressedControl.Rect;
        OffsetRect(T, 1, 1);
        C->Brush()->SetStyle(bsClear);
        DrawText(C, FPressedControl.Value, T, DT_CENTER | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX);
        C->Brush()->SetStyle(bsSolid);
    }
    return Res.XSize;
}

// =================================================================== paint

void TCellGrid::Paint()
{
    TCanvas *C = Canvas();
    C->Pen()->SetStyle(psSolid);
    // Whether column 0 holds nodes is asked for every cell; one look per paint will do.
    FNodeScan = -1;
    FNodeScan = HasNodes() ? 1 : 0;
    // Each paint draws every visible cell, so the layouts kept for presses
    // start afresh and never outlive what is on screen.
    FPaintedLayouts.clear();
    TBaseGrid::Paint();
    FNodeScan = -1;
    if (EditorMode()) {
        TColor LineColor = GridLineColor();
        if (GridLineWidth() < 1 || !(Options() & (goVertLine | goHorzLine)))
            LineColor = Color();
        C->Pen()->SetColor(LineColor);
        C->Brush()->SetStyle(bsClear);
        C->Rectangle(GetCellRect(Col(), Row()));
        C->Brush()->SetStyle(bsSolid);
    }
    C->Pen()->SetColor(clBlack);
    if ((FLook == glSoft || FLook == glHouse) && !FFlat && frameShape() != QFrame::NoFrame && FUpdateCount == 0)
        DrawControlFrame(C);
    // Where fixed column 0 would end, while it is sized; the mark of panning.
    if (FSizingFixedCol)
        DrawSizingLine(FFixedColX);
    if (FPanning)
        PaintPanMark(C);
}

void TCellGrid::DrawControlFrame(TCanvas *ACanvas)
{
    // Drawn inside the client area: a grey outline one pixel in.
    const int W = ClientWidth(), H = ClientHeight();
    ACanvas->Brush()->SetStyle(bsClear);
    ACanvas->Pen()->SetColor(clGray);
    ACanvas->Rectangle(TRect(0, 0, W, H));
    ACanvas->Brush()->SetStyle(bsSolid);
    ACanvas->Pen()->SetColor(clBlack);
}

void TCellGrid::DrawSizingLine(int X)
{
    TCanvas *C = Canvas();
    const TPen Old = *C->Pen();
    C->Pen()->SetStyle(psDot);
    C->Pen()->SetMode(pmXor);
    C->Pen()->SetWidth(1);
    C->Pen()->SetColor(clBlack);
    // The bottom of the last row as laid out now (rows below the view only lengthen it).
    const int Bottom = RowCount() > 0 ? GetSingleCellRect(0, RowCount() - 1).Bottom : 0;
    Line(C, X, 0, X, std::max(ClientHeight(), Bottom));
    C->SetPen(Old);
}

void TCellGrid::DrawCellContent(TCanvas *ACanvas, int ACol, int ARow, const TRect &ARect, TGridDrawState AState)
{
    TCanvas *C = ACanvas;
    Ctl3D = !FFlat;
    const int RC = RealColIndex(ACol);
    TAlignment HA = taLeftJustify;
    TVAlignment VA = vtaTop;
    TGridDrawState State = AState;
    GetCellColorAndFont(ACol, ARow, State, false, false, true, C->Brush(), C->Font(), HA, VA);
    const bool Fixed = State & gdFixed;
    const bool Focused = hasFocus() || (InplaceEditor() && InplaceEditor()->hasFocus());
    const TColor OwnBrush = C->Brush()->Color();
    const TColor OwnFont = C->Font()->Color();
    TRect R = ARect;

    // Row indicator in the fixed column of the current row.
    if (ACol == 0 && ARow == Row() && FixedCols() > 0 && !FRowIndicator->Empty()) {
        C->Draw(R.Left, R.Top + (R.Height() - FRowIndicator->Height()) / 2, FRowIndicator.get());
        R.Left += FRowIndicator->Width();
    }

    // Fixed cells of the house look get a silver-to-white gradient.
    if (Fixed && FLook == glHouse && !FFlat) {
        const int H = R.Height();
        for (int I = 0; I < 10; ++I) {
            C->Brush()->SetColor(Mix(clSilver, clWhite, I, 10));
            const int Top = R.Top + int(std::lround(I * H / 10.0));
            const int Next = R.Top + int(std::lround((I + 1) * H / 10.0));
            C->FillRect(TRect(R.Left, Top, R.Right, std::min(Next + 1, R.Bottom)));
        }
        C->Brush()->SetColor(OwnBrush);
    }

    // Selection colours of the content.
    const bool Selected = (State & gdSelected) || ((Options() & goRowSelect) && ACol >= FixedCols()
                                                    && ARow < int(FRowSelectFlags.size()) && FRowSelectFlags[size_t(ARow)]);
    if (Selected && !Fixed && (!(AState & gdFocused) || (Options() & goDrawFocusSelected)) && FShowSelection) {
        if (FSelectionColor != clNone)
            C->Brush()->SetColor(FSelectionColor);
        if (FSelectionTextColor != clNone && FSelectionTextColor != clDefault)
            C->Font()->SetColor(FSelectionTextColor);
    }

    QString Text = GetFormattedText(RC, ARow);

    // Background picture behind the text.
    TBitmap &Back = *FBackGround->Bitmap();
    const bool KindSuits = FBackGround->Cells() == bcAll || (FBackGround->Cells() == bcFixed) == Fixed;
    if (!Back.Empty() && KindSuits && (!Selected || !FShowSelection)) {
        const GridDetail::ScopedClip BackClip(C, R, true);
        SetBkMode(C, TRANSPARENT);
        if (FBackGround->Display() == bdFixed) {
            C->Draw(FBackGround->Left(), FBackGround->Top(), &Back);
        } else {
            // Tiles run from the first (non-fixed, for normal cells) column and row
            // through the sizes of the columns and rows before this cell.
            const int FirstCol = FBackGround->Cells() == bcNormal ? TStringGrid::FixedCols() : 0;
            const int FirstRow = FBackGround->Cells() == bcNormal ? FixedRows() : 0;
            const int Line = TStringGrid::GridLineWidth();
            const int OffX = std::max(0, ColOffset(ACol) - ColOffset(FirstCol) - (ACol - FirstCol) * Line);
            const int OffY = std::max(0, RowOffset(ARow) - RowOffset(FirstRow) - (ARow - FirstRow) * Line);
            const int BW = Back.Width(), BH = Back.Height();
            const TRect Whole = GetCellRect(ACol, ARow);
            for (int TY = Whole.Top - OffY % BH; TY < R.Bottom; TY += BH)
                for (int TX = Whole.Left - OffX % BW; TX < R.Right; TX += BW)
                    C->Draw(TX, TY, &Back);
        }
    }

    // Selection rectangle around the range, with its resizer square.
    const TGridRect Sel = Selection();
    if (FSelectionRectangle && !Fixed && ACol >= Sel.Left && ACol <= Sel.Right && ARow >= Sel.Top
        && ARow <= Sel.Bottom) {
        const TRect Whole = GetCellRect(ACol, ARow);
        C->Pen()->SetColor(clBlack);
        C->Pen()->SetWidth(2);
        if (ACol == Sel.Left)
            Line(C, Whole.Left + 1, Whole.Top, Whole.Left + 1, Whole.Bottom);
        if (ACol == Sel.Right)
            Line(C, Whole.Right - 1, Whole.Top, Whole.Right - 1, Whole.Bottom);
        if (ARow == Sel.Top)
            Line(C, Whole.Left, Whole.Top + 1, Whole.Right, Whole.Top + 1);
        if (ARow == Sel.Bottom)
            Line(C, Whole.Left, Whole.Bottom - 1, Whole.Right, Whole.Bottom - 1);
        C->Pen()->SetWidth(1);
        if (ACol == Sel.Right && ARow == Sel.Bottom) {
            if (const TRect Handle = ResizerRect(); !Handle.IsEmpty()) {
                C->Brush()->SetColor(clBlack);
                C->FillRect(Handle);
                C->Brush()->SetColor(OwnBrush);
            }
        }
    }
    TRect TR = R;
    TR.Left += CellTextMargin.X;
    TR.Right -= CellTextMargin.X;
    TR.Top += CellTextMargin.Y;
    const TCellGraphic *Graphic = GetCellGraphic(RC, ARow);
    if (Graphic) {
        const TPoint GS = GetGraphicSize(RC, ARow);
        if (Graphic->CellHAlign == haBeforeText && HA != taCenter)
            TR.Left += GS.X;
        else if (Graphic->CellHAlign == haAfterText && HA != taCenter)
            TR.Right -= GS.X;
        if (Graphic->CellVAlign == vaAboveText)
            TR.Top += GS.Y;
        else if (Graphic->CellVAlign == vaUnderText)
            TR.Bottom -= GS.Y;
    }

    const int Kind = TextKind(Text, EnableHTML);
    const bool HTMLCell = Kind == tkHTML && EnableHTML;
    // A wide cell is drawn decoded on a filled rectangle, single-line with an
    // ellipsis unless the grid wraps. A text that only starts like one is plain.
    QString WideText;
    const bool WideCell = Kind == tkWideText && DecodeWideCellText(Text, WideText);
    bool URLCell = false;
    const TFontStyles OldStyle = C->Font()->Style();
    // The text's width is measured only when a glyph or a graphic is placed beside it.
    int MeasuredWidth = -1;
    int TextRoom = 0;
    if (HTMLCell) {
        // The anchor colour follows the selection text colour in selected cells.
        TColor AnchorColor = URLColor();
        if (Selected && !Fixed && (!(AState & gdFocused) || (Options() & goDrawFocusSelected)) && FShowSelection
            && FSelectionTextColor != clNone && FSelectionTextColor != clDefault)
            AnchorColor = FSelectionTextColor;
        TRect HR = TR;
        if (FSortSettings->Show && ARow == FSortSettings->Row() && RC == FSortSettings->Column)
            HR.Right -= 10;
        SetBkMode(C, TRANSPARENT);
        // The renderer lays out left to right: right to left, it paints into
        // the mirrored rectangle on the unmirrored canvas, aligned to the
        // cell's leading (right) edge, and the canvas is mirrored back after.
        const TReadableArea Area(C, HR);
        MeasuredWidth = std::max(0, std::min(PaintHTMLCell(C, RC, ARow, Text, Area.Rect(), Area.Alignment(HA), AnchorColor),
                                             HR.Width()));
    } else if (WideCell) {
        if (!(Selected && !(AState & gdFocused) && FSelectionColor == clNone))
            C->FillRect(TR);
        const unsigned WideFlags = (FWordWrap || Multilinecells) ? unsigned(DT_NOPREFIX)
                                                                 : unsigned(DT_END_ELLIPSIS | DT_NOPREFIX | DT_SINGLELINE);
        SetBkMode(C, TRANSPARENT);
        Text = WideText;
        TextRoom = TR.Width();
        const TReadableArea Area(C, TR);
        TRect WideRect = Area.Rect();
        if (!WideText.isEmpty())
            DrawText(C, WideText, WideRect, Area.TextFlags(WideFlags | HAlignFlags[HA] | VAlignFlags[VA]));
    } else if (Kind == tkRichText) {
        // The cell is filled with its brush (not a selected, unfocused cell
        // without a selection colour), then the document is drawn over it.
        if (!(Selected && !Focused && FSelectionColor == clNone))
            C->FillRect(TR);
        const TReadableArea Area(C, TR);
        PaintRichTextCell(C, Text, Area.Rect(), *C->Font());
        MeasuredWidth = TR.Width();
    } else {
        if (URLShow() && IsURL(Text)) {
            URLCell = true;
            if (!URLFull())
                StripURLProtocol(Text);
            C->Font()->SetStyle(OldStyle | fsUnderline);
            C->Font()->SetColor(URLColor());
        }
        unsigned Flags = DT_EDITCONTROL;
        const bool OneLine = !Multilinecells || !Text.contains(QLatin1Char('\r'));
        if (!FWordWrap && OneLine) {
            const int CR = Text.indexOf(QLatin1Char('\r'));
            if (CR >= 0)
                Text = Text.left(CR);
            Flags = EnhTextSize ? (DT_SINGLELINE | DT_END_ELLIPSIS) : DT_SINGLELINE;
        }
        const unsigned WrapFlag = FWordWrap ? (DT_WORDBREAK | DT_EDITCONTROL) : (Multilinecells ? 0u : unsigned(DT_SINGLELINE));
        Flags |= DT_NOPREFIX | DT_EXPANDTABS | WrapFlag | HAlignFlags[HA] | VAlignFlags[VA];
        SetBkMode(C, TRANSPARENT);
        if (FSortSettings->Show && ARow == 0 && RC == FSortSettings->Column) {
            if (HA == taLeftJustify)
                TR.Right -= 14;
            else
                TR.Left += 14;
        }
        TextRoom = TR.Width();
        if (!Text.isEmpty()) {
            // Right to left the text reads right to left from the cell's leading (right) edge.
            const TReadableArea Area(C, TR);
            TRect DrawRect = Area.Rect();
            DrawText(C, Text, DrawRect, Area.TextFlags(Flags));
        }
        if (Graphic && Graphic->CellErrLen > 0)
            DrawErrorUnderline(this, C, Text, Graphic->CellErrLen, Graphic->CellErrFrom, C->TextHeight(Text), TR);
        if (URLCell)
            C->Font()->SetStyle(OldStyle);
    }
    auto TextWidth = [&]() {
        if (MeasuredWidth < 0)
            MeasuredWidth = std::max(0, DrawTextWidth(C, Text, TextRoom));
        return MeasuredWidth;
    };

    // Sort glyph in the header row.
    if (FSortSettings->Show && ARow == FSortSettings->Row() && RowCount() > 2 && FixedRows() > 0
        && (RC == FSortSettings->Column || FSortIndexes->FindIndex(RC) >= 0)
        && (RC >= FixedCols() || FSortSettings->FixedCols)) {
        int X = R.Left + 8;
        if (HA == taLeftJustify)
            X = R.Left + TextWidth() + 10;
        else if (HA == taRightJustify)
            X = R.Right - TextWidth() - 10;
        const int Y = VA == vtaTop ? R.Top + 8 : (VA == vtaBottom ? R.Bottom - 8 : (R.Top + R.Bottom) / 2);
        if (FSortIndexes->FindIndex(RC) < 1 || FSortSettings->IndexShow)
            DrawSortGlyph(C, RC, Y, X);
    }

    // Borders given by the application, on the whole cell.
    C->Brush()->SetColor(OwnBrush);
    C->Font()->SetColor(OwnFont);
    TRect Cell = ARect;
    InflateRect(Cell, 1, 1);
    if (OnGetCellBorder || OnGetCellBorderProp) {
        TPen Pen;
        TCellBorders Borders = 0;
        GetCellBorder(RC, ARow, &Pen, Borders);
        TPen LeftPen(Pen), TopPen(Pen), RightPen(Pen), BottomPen(Pen);
        if (OnGetCellBorderProp)
            OnGetCellBorderProp(this, ARow, RC, &LeftPen, &TopPen, &RightPen, &BottomPen);
        auto Side = [&](TCellBorder Which, const TPen &P, int X1, int Y1, int X2, int Y2) {
            if (!(Borders & Which))
                return;
            C->SetPen(P);
            Line(C, X1, Y1, X2, Y2);
        };
        Side(cbLeft, LeftPen, Cell.Left, Cell.Top, Cell.Left, Cell.Bottom);
        Side(cbTop, TopPen, Cell.Left, Cell.Top, Cell.Right, Cell.Top);
        Side(cbRight, RightPen, Cell.Right - 1, Cell.Top, Cell.Right - 1, Cell.Bottom);
        Side(cbBottom, BottomPen, Cell.Left, Cell.Bottom - 1, Cell.Right, Cell.Bottom - 1);
        C->Pen()->SetWidth(1);
    }

    // The looks of fixed cells.
    if (Fixed && !FFlat) {
        const TColor Shadow = DarkerColor(FixedColor());
        C->Pen()->SetWidth(1);
        if (FLook == glClassic) {
            TRect E = Cell;
            DrawEdge(C, E, BDR_RAISEDINNER, BF_LEFT);
            DrawEdge(C, E, BDR_RAISEDINNER, BF_TOP);
            DrawEdge(C, E, EDGE_RAISED, BF_RIGHT | BF_BOTTOM);
            C->Pen()->SetColor(clBlack);
            C->MoveTo(Cell.Right - 1, Cell.Top);
            C->LineTo(Cell.Right - 1, Cell.Bottom - 1);
            C->LineTo(Cell.Left - 1, Cell.Bottom - 1);
        } else if (FLook == glHouse) {
            C->Pen()->SetColor(Shadow);
            Line(C, Cell.Left, Cell.Bottom - 1, Cell.Right, Cell.Bottom - 1);
            C->Pen()->SetColor(clWhite);
            Line(C, Cell.Left, Cell.Top, Cell.Right, Cell.Top);
            Line(C, Cell.Left, Cell.Top, Cell.Left, Cell.Bottom - 1);
        } else if (FLook == glSoft) {
            if (Ctl3D) {
                if (Options() & goFixedHorzLine) {
                    C->Pen()->SetColor(Shadow);
                    Line(C, Cell.Left, Cell.Bottom - 1, Cell.Right, Cell.Bottom - 1);
                    C->Pen()->SetColor(clWhite);
                    Line(C, Cell.Left, Cell.Top, Cell.Right, Cell.Top);
                }
                if (Options() & goFixedVertLine) {
                    C->Pen()->SetColor(Shadow);
                    Line(C, Cell.Right - 1, Cell.Top, Cell.Right - 1, Cell.Bottom);
                    C->Pen()->SetColor(clWhite);
                    Line(C, Cell.Left, Cell.Top, Cell.Left, Cell.Bottom - 1);
                }
            } else {
                C->Pen()->SetColor(GridLineColor());
                if (Options() & goFixedHorzLine)
                    Line(C, Cell.Left, Cell.Bottom - 1, Cell.Right, Cell.Bottom - 1);
                if (Options() & goFixedVertLine)
                    Line(C, Cell.Right - 1, Cell.Top, Cell.Right - 1, Cell.Bottom);
            }
        }
    }
    if (FFixedRightCols > 0 && RC >= ColCount() - FFixedRightCols + FNumHidden && FLook != glClassic && !Ctl3D) {
        C->Pen()->SetColor(GridLineColor());
        Line(C, Cell.Left, Cell.Bottom - 1, Cell.Right, Cell.Bottom - 1);
        Line(C, Cell.Right - 1, Cell.Top, Cell.Right - 1, Cell.Bottom);
    }

    // Tree lines beside the nodes.
    if (ACol == 0 && ARow >= FixedRows() && FCellNode->ShowTree() && HasNodes()) {
        const int L = R.Left, M = (R.Top + R.Bottom) / 2;
        C->Pen()->SetColor(clSilver);
        C->Pen()->SetWidth(1);
        Line(C, L - 8, M, L, M);
        const int Kind = TreeLineKind(ARow);
        if (Kind == 1)
            Line(C, L - 8, R.Top, L - 8, M);
        else if (Kind == 2)
            Line(C, L - 8, R.Top, L - 8, R.Bottom + 4);
        C->Pen()->SetStyle(psSolid);
    }

    if (Graphic || Kind == tkHTML) {
        TPaintedLayout &L = FPaintedLayouts[{RC, ARow}];
        L.Content = R;
        L.TextRect = TR;
        L.Cell = GetCellRect(ACol, ARow);
        L.TextWidth = Text.isEmpty() ? 0 : TextWidth() + 2;
        L.HAlign = HA;
    }
    if (Graphic)
        DrawCellGraphic(C, RC, ARow, R, Text.isEmpty() ? 0 : TextWidth() + 2, HA);

    // The application's own drawing gets the cell as it stands on the screen,
    // on a canvas that is not mirrored.
    if (OnDrawCell) {
        const TReadableArea Area(
            C, TRect(ARect.Left + 1, ARect.Top + 1, ARect.Right - GridLineWidth(), ARect.Bottom - GridLineWidth()));
        OnDrawCell(this, ACol, ARow, Area.Rect(), State);
    }
    if (OnCustomCellDraw) {
        const TReadableArea Area(C, ARect);
        OnCustomCellDraw(this, C, ACol, ARow, State, Area.Rect(), false);
    }

    // Focus rectangle on the current block.
    if (!HideFocusRect && Focused && !(Options() & goRowSelect) && BaseCell(ACol, ARow) == BaseCell(Col(), Row())) {
        TRect F = ARect;
        InflateRect(F, -(GridLineWidth() - 1), -(GridLineWidth() - 1));
        F.Right -= 1;
        F.Bottom -= 1;
        DrawFocusRect(C, F);
    }
}

// =================================================================== cell graphics

TCellType TCellGrid::CellGraphicKind(int ACol, int ARow)
{
    const TCellGraphic *G = GetCellGraphic(ACol, ARow);
    return G ? G->CellType : ctEmpty;
}

TCellGraphic *TCellGrid::NewCellGraphic(int ACol, int ARow)
{
    if (ACol < 0 || ARow < 0 || ACol >= ColCount() + FNumHidden || ARow >= RowCount())
        return nullptr;
    auto *G = new TCellGraphic;
    SetCellGraphic(ACol, ARow, G);
    if (DisplColIndex(ACol) != ACol)
        RepaintCell(DisplColIndex(ACol), ARow);
    return G;
}

bool TCellGrid::RemoveCellGraphic(int ACol, int ARow)
{
    TCellProperties *P = PropsOf(ACol, ARow);
    if (!P || !P->CellGraphic())
        return false;
    if (P->CellGraphic()->CellType == ctVirtCheckBox)
        P->DetachCellGraphic();
    else
        P->SetCellGraphic(nullptr);
    RepaintCell(ACol, ARow);
    return true;
}

TObject *TCellGrid::GetGraphicIndex(int ACol, int ARow, int &ImageIndex)
{
    ImageIndex = -1;
    const TCellGraphic *G = GetCellGraphic(ACol, ARow);
    if (!G)
        return nullptr;
    if (G->CellType == ctBitmap)
        return G->GraphicObject();
    if (G->CellType == ctIcon)
        return G->IconObject();
    if (G->CellType == ctImageList)
        ImageIndex = G->CellIndex;
    return nullptr;
}

TIntList *TCellGrid::GetImageList(int ACol, int ARow)
{
    TCellGraphic *G = GetCellGraphic(ACol, ARow);
    return G && G->CellType == ctImages ? dynamic_cast<TIntList *>(G->GraphicObject()) : nullptr;
}

TPoint TCellGrid::GetGraphicSize(int ACol, int ARow)
{
    const TCellGraphic *G = GetCellGraphic(ACol, ARow);
    if (!G)
        return TPoint(0, 0);
    TCanvas *C = Canvas();
    switch (G->CellType) {
    case ctBitmap:
    case ctIcon: {
        const auto *Graphic = dynamic_cast<const TGraphic *>(G->CellType == ctBitmap ? G->GraphicObject() : G->IconObject());
        if (!Graphic)
            return TPoint(0, 0);
        const bool WithWidth = G->CellHAlign == haBeforeText || G->CellHAlign == haAfterText
            || GetCellText(ACol, ARow).isEmpty();
        return TPoint(WithWidth ? Graphic->Width() : 0, Graphic->Height());
    }
    case ctImageList:
    case ctDataImage: {
        const TImageList *Images = GridImages();
        if (!Images)
            return TPoint(0, 0);
        const bool WithWidth = G->CellHAlign == haBeforeText || G->CellHAlign == haAfterText
            || GetCellText(ACol, ARow).isEmpty();
        return TPoint(WithWidth ? Images->Width() : 0, Images->Height());
    }
    case ctImages: {
        const TImageList *Images = GridImages();
        const auto *Indexes = dynamic_cast<const TIntList *>(G->GraphicObject());
        if (!Images || !Indexes)
            return TPoint(0, 0);
        // A row of images (CellBoolean) or a column of them.
        const int N = Indexes->Count();
        return G->CellBoolean ? TPoint(Images->Width() * N, Images->Height())
                              : TPoint(Images->Width(), Images->Height() * N);
    }
    case ctCheckBox:
    case ctDataCheckBox:
    case ctVirtCheckBox: return TPoint(FControlLook->CheckSize(), FControlLook->CheckSize());
    case ctRadio: {
        const auto *Items = dynamic_cast<const TStringList *>(G->GraphicObject());
        const int LineHeight = C->TextHeight(QStringLiteral("gh"));
        if (!Items)
            return TPoint(0, 0);
        if (G->CellBoolean) {
            int W = 0;
            for (int I = 0; I < Items->Count(); ++I)
                W += C->TextWidth(Items->Strings(I)) + 12;
            return TPoint(W, LineHeight);
        }
        int W = 12;
        for (int I = 0; I < Items->Count(); ++I)
            W = std::max(W, C->TextWidth(Items->Strings(I)) + 12);
        return TPoint(W, LineHeight * Items->Count());
    }
    case ctPicture:
    case ctFilePicture: {
        const TRect R = GetCellRect(DisplColIndex(ACol), ARow);
        int W = 0, H = 0;
        G->GetPictureSize(R.Width(), R.Height(), W, H);
        return TPoint(W, H);
    }
    default: return TPoint(0, 0);
    }
}

void TCellGrid::DrawCheck(TCanvas *ACanvas, const TRect &R, bool Ticked, bool Enabled, TControlStyle Style)
{
    const int Size = FControlLook->CheckSize();
    const int X = R.Left + (R.Width() - Size) / 2;
    const int Y = R.Top + (R.Height() - Size) / 2;
    const TRect Box(X, Y, X + Size, Y + Size);
    switch (Style) {
    case csWinXP:
    case csHouse: {
        const int Base = Style == csWinXP ? 1 : 5;
        const int Index = Base + (Ticked ? 0 : 1) + (Enabled ? 0 : 2);
        TBitmap Glyph(GridGlyph(QStringLiteral("CGCHK%1").arg(Index, 2, 10, QLatin1Char('0'))));
        DrawTransparentBitmap(ACanvas, &Glyph, ACanvas->Brush()->Color(), Box);
        break;
    }
    case csBorland: {
        ACanvas->Brush()->SetColor(Enabled ? clWhite : clBtnFace);
        ACanvas->FillRect(Box);
        ACanvas->Pen()->SetWidth(1);
        ACanvas->Pen()->SetColor(clGray);
        Line(ACanvas, Box.Left, Box.Bottom - 1, Box.Left, Box.Top);
        Line(ACanvas, Box.Left, Box.Top, Box.Right, Box.Top);
        ACanvas->Pen()->SetColor(clWhite);
        Line(ACanvas, Box.Right - 1, Box.Top, Box.Right - 1, Box.Bottom - 1);
        Line(ACanvas, Box.Right - 1, Box.Bottom - 1, Box.Left, Box.Bottom - 1);
        if (Ticked) {
            ACanvas->Pen()->SetWidth(2);
            ACanvas->Pen()->SetColor(Enabled ? clBlack : clGray);
            Line(ACanvas, Box.Left + 3, Box.Top + 3, Box.Right - 3, Box.Bottom - 3);
            Line(ACanvas, Box.Right - 3, Box.Top + 3, Box.Left + 3, Box.Bottom - 3);
            ACanvas->Pen()->SetWidth(1);
        }
        break;
    }
    case csGlyph: {
        TBitmap &Glyph = Ticked ? *FControlLook->CheckedGlyph() : *FControlLook->UnCheckedGlyph();
        if (!Glyph.Empty())
            DrawTransparentBitmap(ACanvas, &Glyph, ACanvas->Brush()->Color(), Box);
        break;
    }
    case csTheme:
        if (FThemed)
            GridXPVS::DrawThemeBackground(ACanvas, GridXPVS::tpCheckBox,
                                          (Ticked ? unsigned(GridXPVS::tsChecked) : 0u) | (Enabled ? 0u : unsigned(GridXPVS::tsDisabled)), Box);
        break;
    default: {
        unsigned State = DFCS_BUTTONCHECK;
        if (Ticked)
            State |= DFCS_CHECKED;
        if (Style == csFlat)
            State |= DFCS_FLAT;
        if (!Enabled)
            State |= DFCS_INACTIVE;
        DrawFrameControl(ACanvas, Box, DFC_BUTTON, State);
        break;
    }
    }
}

void TCellGrid::DrawRadios(TCanvas *ACanvas, const TRect &R, int Count, int Selected, const TStringList *Items,
                           bool Disabled, bool Horizontal, const QString &CellText)
{
    SetBkMode(ACanvas, TRANSPARENT);
    std::vector<TRect> Buttons, Captions;
    RadioLayout(ACanvas, R, Count, Items, Horizontal, Buttons, Captions);
    for (int I = 1; I <= Count; ++I) {
        const QString Item = Items && I - 1 < Items->Count() ? Items->Strings(I - 1) : QString();
        const bool On = Selected == -1 ? Item == CellText : I - 1 == Selected;
        const TRect Circle = Buttons[size_t(I - 1)];
        switch (FControlLook->ControlStyle()) {
        case csWinXP:
        case csHouse: {
            const int Base = FControlLook->ControlStyle() == csHouse ? 1 : 5;
            const int Index = Base + (On ? 0 : 1) + (Disabled ? 2 : 0);
            TBitmap Glyph(GridGlyph(QStringLiteral("CGRAD%1").arg(Index, 2, 10, QLatin1Char('0'))));
            DrawTransparentBitmap(ACanvas, &Glyph, ACanvas->Brush()->Color(), Circle);
            break;
        }
        case csGlyph: {
            TBitmap &Glyph = On ? *FControlLook->RadioOnGlyph() : *FControlLook->RadioOffGlyph();
            if (!Glyph.Empty())
                DrawTransparentBitmap(ACanvas, &Glyph, ACanvas->Brush()->Color(), Circle);
            break;
        }
        case csTheme:
            if (FThemed)
                GridXPVS::DrawThemeBackground(ACanvas, GridXPVS::tpRadioButton,
                                              (On ? unsigned(GridXPVS::tsChecked) : 0u) | (Disabled ? unsigned(GridXPVS::tsDisabled) : 0u),
                                              Circle);
            break;
        default: {
            unsigned State = DFCS_BUTTONRADIO;
            if (FControlLook->ControlStyle() == csFlat)
                State |= DFCS_FLAT;
            if (Disabled)
                State |= DFCS_INACTIVE;
            if (On)
                State |= DFCS_CHECKED;
            DrawFrameControl(ACanvas, Circle, DFC_BUTTON, State);
            break;
        }
        }
        if (!Item.isEmpty()) {
            const TReadableArea Caption(ACanvas, Captions[size_t(I - 1)]);
            ACanvas->TextOut(Caption.Rect().Left, Caption.Rect().Top, Item);
        }
    }
}

void TCellGrid::RadioLayout(TCanvas *ACanvas, const TRect &R, int Count, const TStringList *Items, bool Horizontal,
                            std::vector<TRect> &Buttons, std::vector<TRect> &Captions)
{
    Buttons.clear();
    Captions.clear();
    const int LineHeight = ACanvas->TextHeight(QStringLiteral("gh"));
    const int Size = FControlLook->RadioSize();
    int X = R.Left + 2;
    for (int I = 1; I <= Count; ++I) {
        const QString Item = Items && I - 1 < Items->Count() ? Items->Strings(I - 1) : QString();
        int CX, CY;
        if (Horizontal) {
            CX = X;
            CY = R.Top + (R.Height() - Size) / 2;
        } else {
            CY = R.Top + 2 + (I - 1) * LineHeight;
            CX = Item.isEmpty() ? R.Left + (R.Width() - Size) / 2 : R.Left + 2;
        }
        const int TW = Item.isEmpty() ? 0 : ACanvas->TextWidth(Item);
        Buttons.emplace_back(CX, CY, CX + Size, CY + Size);
        const int TY = CY + (Size - LineHeight) / 2;
        Captions.emplace_back(CX + Size + 2, TY, CX + Size + 2 + TW, TY + LineHeight);
        if (Horizontal)
            X += Size + TW + 2;
    }
}

TPoint TCellGrid::GraphicOrigin(const TCellGraphic *G, const TRect &R, int TextWidth, TAlignment HAlign, int GW,
                                int GH) const
{
    int X = R.Left + 1, Y = R.Top + 1;
    switch (G->CellHAlign) {
    case haRight: X = R.Right - 1 - GW; break;
    case haCenter: X = GW < R.Width() ? R.Left + (R.Width() - GW) / 2 : R.Left + 1; break;
    case haBeforeText: X = HAlign == taLeftJustify ? R.Left + 1 : std::max(R.Left + 1, R.Right - TextWidth - GW); break;
    case haAfterText: X = HAlign == taRightJustify ? R.Right - 1 - GW : R.Left + TextWidth; break;
    case haFull: X = R.Left; break;
    default: break;
    }
    switch (G->CellVAlign) {
    case vaBottom: Y = R.Bottom - 1 - GH; break;
    case vaCenter: Y = GH < R.Height() ? R.Top + (R.Height() - GH) / 2 : R.Top + 1; break;
    case vaUnderText: Y = R.Bottom - GH; break;
    case vaFull: Y = R.Top; break;
    default: break;
    }
    const bool IsCheck = G->CellType == ctCheckBox || G->CellType == ctDataCheckBox || G->CellType == ctVirtCheckBox;
    if (IsCheck) {
        const bool DataKind = G->CellType != ctCheckBox;
        if (HAlign == taLeftJustify)
            X = R.Left;
        else if (HAlign == taRightJustify)
            X = DataKind ? R.Right - GW : R.Right - TextWidth - GW;
        else if (DataKind || TextWidth == 0)
            X = R.Left + std::max(0, (R.Width() - GW) / 2);
        else
            X = R.Left - GW + std::max(0, (R.Width() - TextWidth) / 2);
        X = std::max(X, R.Left);
    }
    return TPoint(X, Y);
}

void TCellGrid::DrawCellGraphic(TCanvas *ACanvas, int ACol, int ARow, const TRect &R, int TextWidth, TAlignment HAlign)
{
    TCellGraphic *G = GetCellGraphic(ACol, ARow);
    if (!G)
        return;
    TCanvas *C = ACanvas;
    const TPoint GS = GetGraphicSize(ACol, ARow);
    const int GW = GS.X, GH = GS.Y;
    const TPoint Origin = GraphicOrigin(G, R, TextWidth, HAlign, GW, GH);
    int X = Origin.X;
    const int Y = Origin.Y;

    // Draws stay inside the cell.
    const GridDetail::ScopedClip CellClip(C, R, true);
    switch (G->CellType) {
    // Pictures keep their orientation in a grid shown right to left.
    case ctBitmap:
        if (auto *B = dynamic_cast<TBitmap *>(G->GraphicObject())) {
            const TReadableArea Area(C, TRect(X, Y, X + B->Width(), Y + B->Height()));
            if (G->CellTransparent)
                DrawTransparentBitmap(C, B, C->Brush()->Color(), Area.Rect());
            else
                C->Draw(Area.Rect().Left, Y, B);
        }
        break;
    case ctIcon:
        if (auto *I = dynamic_cast<TGraphic *>(G->IconObject())) {
            const TReadableArea Area(C, TRect(X, Y, X + I->Width(), Y + I->Height()));
            C->Draw(Area.Rect().Left, Y, I);
        }
        break;
    case ctImageList:
    case ctDataImage:
        if (TImageList *Images = GridImages()) {
            int Index = G->CellIndex;
            if (G->CellType == ctDataImage) {
                // The cell's value picks the image, counted from CellIndex; a
                // cell that holds no whole number shows none.
                int Value = 0;
                try {
                    Value = Ints(ACol, ARow);
                } catch (const ECellGridError &) {
                    break;
                }
                Index = int(std::clamp<qint64>(qint64(Index) + Value, -1, Images->Count()));
            }
            if (Index < 0 || Index >= Images->Count())
                break;
            const TReadableArea Area(C, TRect(X, Y, X + Images->Width(), Y + Images->Height()));
            Images->Draw(C, Area.Rect().Left, Y, Index);
        }
        break;
    case ctImages: {
        TImageList *Images = GridImages();
        const auto *Indexes = dynamic_cast<const TIntList *>(G->GraphicObject());
        if (!Images || !Indexes)
            break;
        int IX = X, IY = Y;
        for (int I = 0; I < Indexes->Count(); ++I) {
            // Each image keeps its orientation in a grid shown right to left.
            const TReadableArea Area(C, TRect(IX, IY, IX + Images->Width(), IY + Images->Height()));
            Images->Draw(C, Area.Rect().Left, IY, Indexes->Items(I));
            if (G->CellBoolean)
                IX += Images->Width();
            else
                IY += Images->Height();
            // The rest lies outside the cell.
            if (IX >= R.Right || IY >= R.Bottom)
                break;
        }
        break;
    }
    case ctCheckBox:
    case ctDataCheckBox:
    case ctVirtCheckBox: {
        bool Ticked = G->CellBoolean;
        if (G->CellType != ctCheckBox)
            Ticked = GetCellText(ACol, ARow) == GetCheckTrue(ACol, ARow);
        bool Enabled = true;
        CanEditCell(ACol, ARow, Enabled);
        DrawCheck(C, TRect(X, Y, X + GW, Y + GH), Ticked, Enabled, FControlLook->ControlStyle());
        break;
    }
    case ctRadio: {
        const auto *Items = dynamic_cast<const TStringList *>(G->GraphicObject());
        bool Enabled = true;
        CanEditCell(ACol, ARow, Enabled);
        DrawRadios(C, R, Items ? Items->Count() : 0, G->CellIndex, Items, !Enabled, G->CellBoolean,
                   GetCellText(ACol, ARow));
        break;
    }
    case ctRotated: {
        TFont Old(*C->Font());
        const QString Text = GetCellText(ACol, ARow);
        // The text's own extent, then the block it covers once turned; the
        // text's origin is the corner that keeps the whole block in place
        // (which corner depends on the quadrant of the angle).
        const int TW = C->TextWidth(Text), TH = C->TextHeight(Text);
        const double A = G->CellAngle * M_PI / 180.0;
        const double UX = TW * std::cos(A), UY = -TW * std::sin(A), VX = TH * std::sin(A), VY = TH * std::cos(A);
        const double MinX = std::min({0.0, UX, VX, UX + VX}), MinY = std::min({0.0, UY, VY, UY + VY});
        const TPoint Block = RotatedExtent(TW, TH, G->CellAngle);
        const TRect T = R;
        int BX = T.Left + CellTextMargin.X;
        if (HAlign == taRightJustify)
            BX = T.Right - CellTextMargin.X - Block.X;
        else if (HAlign == taCenter)
            BX = T.Left + (T.Width() - Block.X) / 2;
        const int BY = T.Top + CellTextMargin.Y;
        const TReadableArea Area(C, TRect(BX, BY, BX + Block.X, BY + Block.Y));
        C->Font()->SetOrientation(G->CellAngle * 10);
        C->Brush()->SetStyle(bsClear);
        C->TextOut(Area.Rect().Left - int(std::lround(MinX)), BY - int(std::lround(MinY)), Text);
        C->Brush()->SetStyle(bsSolid);
        C->SetFont(Old);
        break;
    }
    case ctNode: {
        X -= GetRowIndent(ARow);
        const int Mid = (R.Top + R.Bottom) / 2;
        const TNodeType Type = FCellNode->NodeType();
        if (Type == cn3D) {
            C->Brush()->SetColor(FCellNode->Color);
            C->FillRect(R);
            C->Pen()->SetColor(clWhite);
            Line(C, R.Left, R.Bottom - 1, R.Left, R.Top);
            Line(C, R.Left, R.Top, R.Right - 1, R.Top);
            C->Pen()->SetColor(clGray);
            Line(C, R.Right - 1, R.Top, R.Right - 1, R.Bottom - 1);
            Line(C, R.Right - 1, R.Bottom - 1, R.Left, R.Bottom - 1);
        }
        if (Type == cnLeaf) {
            TBitmap Glyph(GridGlyph(G->CellBoolean ? QStringLiteral("CGLEAFCLOSE") : QStringLiteral("CGLEAFOPEN")));
            DrawTransparentBitmap(C, &Glyph, C->Brush()->Color(), TRect(X + 2, Mid - 6, X + 14, Mid + 6));
        } else if (Type == cnGlyph && !FCellNode->ExpandGlyph.Empty() && !FCellNode->ContractGlyph.Empty()) {
            TBitmap &Glyph = G->CellBoolean ? FCellNode->ExpandGlyph : FCellNode->ContractGlyph;
            DrawTransparentBitmap(C, &Glyph, C->Brush()->Color(),
                                  TRect(X + 2, Mid - Glyph.Height() / 2, X + 2 + Glyph.Width(), Mid + Glyph.Height()));
        } else {
            TRect Box(X + 4, Mid - 4, X + 12, Mid + 4);
            C->Brush()->SetColor(FCellNode->Color);
            C->FillRect(Box);
            if (Type == cnFlat) {
                C->Pen()->SetColor(FCellNode->NodeColor);
                C->Brush()->SetStyle(bsClear);
                C->Rectangle(Box);
                C->Brush()->SetStyle(bsSolid);
                Line(C, Box.Left + 2, Mid, Box.Right - 2, Mid);
                if (G->CellBoolean)
                    Line(C, (Box.Left + Box.Right) / 2, Box.Top + 2, (Box.Left + Box.Right) / 2, Box.Bottom - 2);
            } else {
                DrawEdge(C, Box, G->CellBoolean ? EDGE_RAISED : EDGE_SUNKEN, BF_RECT | BF_SOFT);
            }
        }
        break;
    }
    case ctPicture:
        if (auto *P = dynamic_cast<TPicture *>(G->GraphicObject()); P && P->Graphic() && !P->Graphic()->Empty()) {
            const TReadableArea Area(C, TRect(X, Y, X + GW, Y + GH));
            if (G->CellAngle == 0)
                C->Draw(Area.Rect().Left, Y, P->Graphic());
            else
                C->StretchDraw(Area.Rect(), P->Graphic());
        }
        break;
    case ctFilePicture:
        if (auto *F = dynamic_cast<TFilePicture *>(G->GraphicObject())) {
            const TReadableArea Area(C, TRect(X, Y, X + GW, Y + GH));
            F->Draw(C, Area.Rect());
        }
        break;
    case ctProgress:
    case ctProgressPie: {
        int V = 0;
        try {
            V = Ints(ACol, ARow);
        } catch (const ECellGridError &) {
            V = 0;
        }
        if (G->CellType == ctProgressPie) {
            DrawProgressPie(C, TRect(X, Y, X + 20, Y + 20), G->ProgressColor, V);
            break;
        }
        TRect B = R;
        InflateRect(B, -2, -2);
        const int S = B.Left + int(std::lround(double(V) * B.Width() / 100.0));
        const QString Text = QString::number(V) + QLatin1Char('%');
        auto Part = [&](const TRect &Area, TColor Fill, TColor TextColor) {
            if (Area.IsEmpty())
                return;
            C->Brush()->SetColor(Fill);
            C->FillRect(Area);
            C->Font()->SetColor(G->CellBoolean ? TextColor : (ColorToRGB(Fill) ^ 0xFFFFFF));
            const GridDetail::ScopedClip PartClip(C, Area, false);
            const TReadableArea Readable(C, B);
            TRect T = Readable.Rect();
            SetBkMode(C, TRANSPARENT);
            DrawText(C, Text, T, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
        };
        Part(TRect(B.Left, B.Top, std::clamp(S, B.Left, B.Right), B.Bottom), G->ProgressColor, TColor(G->CellIndex));
        Part(TRect(std::clamp(S, B.Left, B.Right), B.Top, B.Right, B.Bottom), G->ProgressBackColor,
             TColor(G->CellAngle));
        C->Brush()->SetStyle(bsClear);
        C->Pen()->SetColor(clGray);
        C->Rectangle(B);
        TRect Outer = B;
        InflateRect(Outer, 1, 1);
        C->Pen()->SetColor(clWhite);
        C->Rectangle(Outer);
        C->Brush()->SetStyle(bsSolid);
        break;
    }
    case ctComment:
        if (CommentColor != clNone) {
            C->Brush()->SetColor(CommentColor);
            C->Pen()->SetColor(CommentColor);
            C->Polygon({TPoint(R.Right - 6, R.Top), TPoint(R.Right - 1, R.Top), TPoint(R.Right - 1, R.Top + 5)});
        }
        break;
    case ctButton:
    case ctBitButton: {
        const int Offset = int(std::lround(G->CellValue));
        const int BX = R.Left + (Offset & 0xFFFF), BY = R.Top + ((Offset >> 16) & 0xFFFF);
        int BW = G->CellIndex & 0xFFFF, BH = (G->CellIndex >> 16) & 0xFFFF;
        TRect Button(BX, BY, BX + BW, BY + BH);
        if (G->CellHAlign == haFull) {
            Button.Left = R.Left;
            Button.Right = R.Right;
        }
        if (G->CellVAlign == vaFull) {
            Button.Top = R.Top;
            Button.Bottom = R.Bottom;
        }
        if (!(FThemed && GridXPVS::DrawThemeBackground(C, GridXPVS::tpButton,
                                                        G->CellBoolean ? unsigned(GridXPVS::tsPressed) : 0u, Button))) {
            unsigned State = DFCS_BUTTONPUSH;
            if (FControlLook->FlatButton())
                State |= DFCS_FLAT;
            if (G->CellBoolean)
                State |= DFCS_PUSHED;
            DrawFrameControl(C, Button, DFC_BUTTON, State);
        }
        TRect Face = Button;
        const int Shrink = G->CellBoolean ? 3 : 2;
        InflateRect(Face, -Shrink, -Shrink);
        SetBkMode(C, TRANSPARENT);
        C->Font()->SetColor(clBtnText);
        const TReadableArea Caption(C, Face);
        TRect CaptionRect = Caption.Rect();
        DrawText(C, G->CellText, CaptionRect, Caption.TextFlags(DT_CENTER | DT_VCENTER | DT_SINGLELINE));
        break;
    }
    default:
        break;
    }
}

void TCellGrid::DrawSortGlyph(TCanvas *ACanvas, int ACol, int Y, int X)
{
    TCanvas *C = ACanvas;
    if (FSortSettings->IndexShow) {
        const int K = FSortIndexes->FindIndex(ACol);
        if (K < 0)
            return;
        const bool Descending = quint32(FSortIndexes->Items(K)) & 0x80000000u;
        C->Brush()->SetColor(FSortSettings->IndexColor);
        C->Pen()->SetColor(FSortSettings->IndexColor);
        SetBkMode(C, TRANSPARENT);
        C->Font()->SetColor(clBlack);
        C->Font()->SetSize(6);
        const bool Glyphs = !FSortSettings->IndexUpGlyph.Empty() && !FSortSettings->IndexDownGlyph.Empty();
        auto Number = [&](int TX, int TY) {
            const QString N = QString::number(K + 1);
            const TReadableArea Area(C, TRect(TX, TY, TX + C->TextWidth(N), TY + C->TextHeight(N)));
            C->TextOut(Area.Rect().Left, TY, N);
        };
        if (!Descending) {
            if (Glyphs)
                DrawTransparentBitmap(C, &FSortSettings->IndexDownGlyph, C->Brush()->Color(), TRect(X - 7, Y - 7, X + 7, Y + 7));
            else
                C->Polygon({TPoint(X - 6, Y + 8), TPoint(X + 6, Y + 8), TPoint(X, Y - 4)});
            Number(X - 2, Y - 2);
        } else {
            if (Glyphs)
                DrawTransparentBitmap(C, &FSortSettings->IndexUpGlyph, C->Brush()->Color(), TRect(X - 7, Y - 7, X + 7, Y + 7));
            else
                C->Polygon({TPoint(X - 7, Y - 5), TPoint(X + 7, Y - 5), TPoint(X, Y + 8)});
            Number(X - 2, Y - 4);
        }
        return;
    }
    const bool Ascending = FSortSettings->Direction == sdAscending;
    if (!FSortSettings->UpGlyph.Empty() && !FSortSettings->DownGlyph.Empty()) {
        TBitmap &Glyph = Ascending ? FSortSettings->UpGlyph : FSortSettings->DownGlyph;
        DrawTransparentBitmap(C, &Glyph, FixedColor(), TRect(X - 4, Y - 4, X + 4, Y + 4));
        C->Brush()->SetColor(FixedColor());
    } else if (Ascending) {
        C->Pen()->SetColor(clWhite);
        C->MoveTo(X - 4, Y + 4);
        C->LineTo(X + 4, Y + 4);
        C->LineTo(X, Y - 4);
        C->Pen()->SetColor(clGray);
        C->LineTo(X - 4, Y + 4);
    } else {
        C->Pen()->SetColor(clWhite);
        C->MoveTo(X + 4, Y - 4);
        C->LineTo(X, Y + 4);
        C->Pen()->SetColor(clGray);
        C->LineTo(X - 4, Y - 4);
        C->LineTo(X + 4, Y - 4);
    }
    C->Pen()->SetColor(clBlack);
}

