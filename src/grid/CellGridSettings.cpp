#include "grid/CellGridSettings.h"

#include "grid/CellGrid.h"

#include <algorithm>

void TSortSettings::SetRow(int Value)
{
    if (Value > FGrid->FixedRows())
        throw Exception(QStringLiteral("Sort row should be smaller than number of fixed rows"));
    FRow = Value;
}

void TColumnSize::SetStretch(bool Value)
{
    FStretch = Value;
    if (Value)
        FGrid->StretchRightColumn();
}

void TCellNode::SetNodeType(TNodeType Value)
{
    if (Value == FNodeType)
        return;
    FNodeType = Value;
    FGrid->InvalidateGrid();
}

void TCellNode::SetShowTree(bool Value)
{
    if (Value == FShowTree)
        return;
    FShowTree = Value;
    FGrid->InvalidateGrid();
}

void TBands::Repaint(bool OnlyWhenActive)
{
    if (!OnlyWhenActive || FActive)
        FGrid->InvalidateGrid();
}

void TBands::SetActive(bool Value)
{
    FActive = Value;
    Repaint(false);
}

void TBands::SetPrimaryColor(TColor Value)
{
    FPrimaryColor = Value;
    Repaint(true);
}

void TBands::SetPrimaryLength(int Value)
{
    FPrimaryLength = Value;
    FTotalLength = FPrimaryLength + FSecondaryLength;
    Repaint(true);
}

void TBands::SetSecondaryColor(TColor Value)
{
    FSecondaryColor = Value;
    Repaint(true);
}

void TBands::SetSecondaryLength(int Value)
{
    FSecondaryLength = Value;
    FTotalLength = FPrimaryLength + FSecondaryLength;
    Repaint(true);
}

TFilterData *TFilter::Items(int Index) const
{
    if (Index < 0 || Index >= Count())
        throw EListError(QStringLiteral("List index out of bounds (%1)").arg(Index));
    return FItems[size_t(Index)].get();
}

TFilterData *TFilter::Add()
{
    FItems.push_back(std::make_unique<TFilterData>(this));
    return FItems.back().get();
}

TFilterData *TFilter::Insert(int Index)
{
    Index = std::clamp(Index, 0, Count());
    return FItems.insert(FItems.begin() + Index, std::make_unique<TFilterData>(this))->get();
}

void TFilter::Delete(int Index)
{
    if (Index >= 0 && Index < Count())
        FItems.erase(FItems.begin() + Index);
}

// ---- control look

void TControlLook::Changed()
{
    FGrid->InvalidateGrid();
}

void TControlLook::SetColor(TColor Value)
{
    FColor = Value;
    Changed();
}

void TControlLook::SetCheckedGlyph(const TBitmap *Value)
{
    FCheckedGlyph->Assign(Value);
    Changed();
}

void TControlLook::SetUnCheckedGlyph(const TBitmap *Value)
{
    FUnCheckedGlyph->Assign(Value);
    Changed();
}

void TControlLook::SetRadioOnGlyph(const TBitmap *Value)
{
    FRadioOnGlyph->Assign(Value);
    Changed();
}

void TControlLook::SetRadioOffGlyph(const TBitmap *Value)
{
    FRadioOffGlyph->Assign(Value);
    Changed();
}

void TControlLook::SetCheckSize(int Value)
{
    FCheckSize = Value;
    Changed();
}

void TControlLook::SetRadioSize(int Value)
{
    FRadioSize = Value;
    Changed();
}

void TControlLook::SetControlStyle(TControlStyle Value)
{
    FControlStyle = Value;
    Changed();
}

void TControlLook::SetFlatButton(bool Value)
{
    FFlatButton = Value;
    Changed();
}

// ---- background

void TBackGround::Changed()
{
    FGrid->InvalidateGrid();
}

void TBackGround::SetTop(int Value)
{
    FTop = Value;
    Changed();
}

void TBackGround::SetLeft(int Value)
{
    FLeft = Value;
    Changed();
}

void TBackGround::SetDisplay(TBackGroundDisplay Value)
{
    FDisplay = Value;
    Changed();
}

void TBackGround::SetBitmap(const TBitmap *Value)
{
    FBitmap->Assign(Value);
    Changed();
}

void TBackGround::SetCells(TBackGroundCells Value)
{
    FCells = Value;
    Changed();
}

void TBackGround::Assign(const TBackGround &Source)
{
    if (&Source == this)
        return;
    FTop = Source.FTop;
    FLeft = Source.FLeft;
    FDisplay = Source.FDisplay;
    FBitmap->Assign(Source.FBitmap.get());
    FCells = Source.FCells;
    Changed();
}
