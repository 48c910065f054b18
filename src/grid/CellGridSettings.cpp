#include "grid/CellGridSettings.h"

#include "grid/CellGrid.h"

void TFloatingFooter::SetFooterStyle(TFooterStyle Value)
{
    FFooterStyle = Value;
    FGrid->SetFooterInLastRow(FVisible && FFooterStyle == fsFixedLastRow);
}

void TFloatingFooter::SetVisible(bool Value)
{
    FVisible = Value;
    FGrid->SetFooterInLastRow(FVisible && FFooterStyle == fsFixedLastRow);
}

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

TFilterData *TFilter::Add()
{
    FItems.push_back(std::make_unique<TFilterData>());
    return FItems.back().get();
}

void TFilter::Delete(int Index)
{
    if (Index >= 0 && Index < Count())
        FItems.erase(FItems.begin() + Index);
}
