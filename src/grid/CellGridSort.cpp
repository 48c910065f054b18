// Sorting the grid's data rows: by one column, by the sort index list, or
// within node groups, from code or by a click on the sort row.
//
// Each sort reads and converts the cells it compares once (text, code page
// 936 bytes, number, date, collation key, as the column's style needs), orders
// the rows with a stable sort of those keys, and then moves every row into its
// place through SwapRows, whose row exchange is O(1). The order is the one the
// comparison rules give, ties keep their order, and the cost is O(n log n)
// comparisons and O(n) exchanges whatever the data. No scratch rows are
// needed, and since nothing moves before the order is known, an exception
// from an event leaves the rows as they were; the frame restores the grid on
// every way out.

#include "grid/CellGrid.h"
#include "grid/CgHTMLE.h"
#include "grid/CgUni.h"
#include "grid/GridUtil.h"
#include "platform/core/Codec.h"

#include <QCollator>
#include <QElapsedTimer>

#include <algorithm>
#include <numeric>
#include <optional>

namespace {

int Sign3(double A, double B)
{
    return A > B ? 1 : (A < B ? -1 : 0);
}

bool IsCheckKind(const TCellGraphic *G)
{
    return G && (G->CellType == ctCheckBox || G->CellType == ctDataCheckBox || G->CellType == ctVirtCheckBox);
}

// A text that reads as a day/month date: its first "/" stands at position 2
// or 3 (1-based), is not the last character, and has a digit on each side.
bool LooksLikeDate(const QString &Text)
{
    const qsizetype Slash = Text.indexOf(QLatin1Char('/'));
    return (Slash == 1 || Slash == 2) && Slash < Text.size() - 1 && Text.at(Slash - 1).isDigit()
           && Text.at(Slash + 1).isDigit();
}

// Code page 936 bytes with only the ASCII letters upper-cased: the second
// byte of a double-byte character may fall in the letter range and stays.
QByteArray UpperAsciiBytes(QByteArray Bytes)
{
    for (qsizetype I = 0; I < Bytes.size(); ++I) {
        const uchar B = uchar(Bytes[I]);
        if (B >= 0x81) {
            ++I;   // lead byte: its trail byte is no letter
        } else if (B >= 'a' && B <= 'z') {
            Bytes[I] = char(B - 'a' + 'A');
        }
    }
    return Bytes;
}

int CompareBytes(const QByteArray &A, const QByteArray &B)
{
    const int R = A.compare(B);
    return R > 0 ? 1 : (R < 0 ? -1 : 0);
}

} // namespace

// One column's comparison inside a sort: its style and affixes, asked once,
// and the keys of its cells, read on first use.
struct TSortColumn {
    struct Key {
        bool Loaded = false;
        QString Text;
        bool HasBytes = false, HasUpper = false, HasNumber = false, HasDate = false, HasCollation = false;
        bool NumberRead = false;
        QByteArray Bytes, Upper;
        double Number = 0;
        TDateTime Date = 0;
        std::optional<QCollatorSortKey> Collation;
        int Graphic = -1;      // graphic value, or check state
        bool Check = false;    // the cell holds a check box
    };
    int Col = 0;
    TSortStyle Style = soText;
    QString Prefix, Suffix;
    std::vector<Key> Keys;   // by row
};

// The frame of every sort and the comparisons it runs.
class TSortRun {
public:
    // Bare: no frame, only the comparison machinery.
    TSortRun(TCellGrid *AGrid, bool Bare) : G(AGrid), FBare(Bare)
    {
        Collator.setCaseSensitivity(Qt::CaseSensitive);
        CollatorNoCase.setCaseSensitivity(Qt::CaseInsensitive);
    }

    explicit TSortRun(TCellGrid *AGrid) : G(AGrid)
    {
        TSortSettings *S = G->SortSettings();
        // Column 0 keeps its texts in place when only normal cells move.
        if (S->NormalCellsOnly && G->FixedCols() > 0) {
            SavedFixed = true;
            for (int R = 0; R < G->RowCount(); ++R)
                FixedTexts.push_back(G->PlainCells(0, R));
        }
        G->BeginUpdate();
        Hidden = G->NumHiddenColumns();
        if (Hidden > 0) {
            LastWidth = G->ColWidths(G->ColCount() - 1);
            G->TStringGrid::SetColCount(G->ColCount() + Hidden);
        }
        SavedRow = G->Row();
        G->FSortCurrentRow = SavedRow;
        G->FSortSwaps = 0;
        G->FSortCompares = 0;
        Collator.setCaseSensitivity(Qt::CaseSensitive);
        CollatorNoCase.setCaseSensitivity(Qt::CaseInsensitive);
    }

    ~TSortRun()
    {
        if (FBare)
            return;
        try {
            if (Hidden > 0) {
                G->TStringGrid::SetColCount(G->ColCount() - Hidden);
                G->SetColWidths(G->ColCount() - 1, LastWidth);
            }
            if (SavedFixed)
                for (int R = 0; R < int(FixedTexts.size()) && R < G->RowCount(); ++R)
                    G->SetPlainCells(0, R, FixedTexts[size_t(R)]);
            const int Target = FollowRow ? G->FSortCurrentRow : SavedRow;
            if (Target >= G->FixedRows() && Target < G->RowCount() && Target != G->Row())
                G->SetRow(Target);
            G->FSortCurrentRow = -1;
        } catch (...) {
            // Putting the focus back must not hide the sort's own error.
        }
        G->EndUpdate();
    }

    bool FollowRow = false;

    // Orders the rows Lo..Hi. Keys: real columns with their descending flag;
    // Indexed compares as the index list does, otherwise by the first key
    // with ties broken by the following columns.
    void Sort(int Lo, int Hi, const std::vector<std::pair<int, bool>> &Keys, bool Indexed)
    {
        if (Hi <= Lo)
            return;
        FLo = Lo;
        FIndexed = Indexed;
        FKeys = Keys;
        FSign = G->SortSettings()->Direction == sdDescending ? -1 : 1;
        const std::vector<std::pair<int, int>> Units = BlockUnits(Lo, Hi);
        std::vector<int> Order(Units.size());
        std::iota(Order.begin(), Order.end(), 0);
        std::stable_sort(Order.begin(), Order.end(),
                         [&](int A, int B) { return Before(Units[size_t(A)].first, Units[size_t(B)].first); });
        // The rows in their new order, then moved there.
        std::vector<int> Target;
        Target.reserve(size_t(Hi - Lo + 1));
        for (int U : Order)
            for (int R = Units[size_t(U)].first; R <= Units[size_t(U)].second; ++R)
                Target.push_back(R);
        Apply(Lo, Target);
    }

    // One cell comparison with its blanks rule; also serves CompareCells.
    int CompareCells(TSortColumn &C, int Row1, int Row2)
    {
        ++G->FSortCompares;
        TSortColumn::Key &K1 = KeyOf(C, Row1);
        TSortColumn::Key &K2 = KeyOf(C, Row2);
        int Res = CompareStyle(C, C.Style, K1, K2, Row1, Row2);
        TSortSettings *S = G->SortSettings();
        if (S->IgnoreBlanks) {
            const bool E1 = K1.Text.isEmpty(), E2 = K2.Text.isEmpty();
            int Blank = 0;
            if (E1 && !E2)
                Blank = S->BlankPos == blLast ? 1 : -1;
            else if (E2 && !E1)
                Blank = S->BlankPos == blLast ? -1 : 1;
            if (Blank != 0)
                Res = S->Direction == sdDescending ? -Blank : Blank;
        }
        return Res;
    }

    // A comparison outside any sort: keys read for the two rows only.
    static int CompareOnce(TCellGrid *AGrid, TSortColumn &C, int Row1, int Row2)
    {
        TSortRun Probe(AGrid, true);
        return Probe.CompareCells(C, Row1, Row2);
    }

    TSortColumn &Column(int ACol)
    {
        for (auto &C : FColumns)
            if (C->Col == ACol)
                return *C;
        auto C = std::make_unique<TSortColumn>();
        C->Col = ACol;
        C->Style = G->SortSettings()->AutoFormat ? soAuto : soText;
        G->GetColFormat(ACol, C->Style, C->Prefix, C->Suffix);
        FColumns.push_back(std::move(C));
        return *FColumns.back();
    }

private:
    TSortColumn::Key &KeyOf(TSortColumn &C, int ARow)
    {
        if (ARow >= int(C.Keys.size()))
            C.Keys.resize(size_t(G->RowCount()));
        TSortColumn::Key &K = C.Keys[size_t(ARow)];
        if (!K.Loaded) {
            K.Loaded = true;
            K.Text = C.Style == soWideText ? G->GetWideCellText(C.Col, ARow) : G->GetCellText(C.Col, ARow);
            const TCellGraphic *Gr = G->GetCellGraphic(C.Col, ARow);
            K.Check = IsCheckKind(Gr);
            if (C.Style == soCheckBox || (C.Style == soAuto && K.Check)) {
                bool State = false;
                G->GetCheckState(C.Col, ARow, State);
                K.Graphic = State ? 1 : 0;
            } else if (C.Style == soGraphicValue) {
                K.Graphic = Gr && (Gr->CellType == ctBitmap || Gr->CellType == ctIcon || Gr->CellType == ctImageList)
                                ? Gr->CellIndex
                                : -1;
            }
        }
        return K;
    }

    const QByteArray &BytesOf(TSortColumn::Key &K, bool Strip)
    {
        if (!K.HasBytes) {
            K.HasBytes = true;
            K.Bytes = Cp936::Encode(Strip ? HTMLStrip(K.Text) : K.Text);
        }
        return K.Bytes;
    }

    TDateTime DateOf(TSortStyle Style, TSortColumn::Key &K)
    {
        if (!K.HasDate) {
            K.HasDate = true;
            TDateTime D = 0;
            const QString T = K.Text.trimmed();
            if (Style == soDateDayFirst)
                D = DateFromDMY(T);
            else if (Style == soDateMonthFirst)
                D = DateFromMDY(T);
            else if (!TryStrToDate(T, D) && !StrToDateByFormat(T, D))
                D = 0;   // unreadable dates count as 0, like empty ones
            K.Date = D;
        }
        return K.Date;
    }

    int CompareStyle(TSortColumn &C, TSortStyle Style, TSortColumn::Key &K1, TSortColumn::Key &K2, int Row1, int Row2)
    {
        if (Style == soAuto) {
            if (K1.Check)
                Style = soCheckBox;
            else if (NumberKind(K1.Text) != nkOther)
                Style = soNumber;
            else if (LooksLikeDate(K1.Text))
                Style = soDate;
            else
                Style = soText;
            if (Style == soCheckBox && K2.Graphic < 0) {
                bool State = false;
                G->GetCheckState(C.Col, Row2, State);
                K2.Graphic = State ? 1 : 0;
            }
        }
        switch (Style) {
        case soAuto:
        case soText:
        case soTextCase: return CompareBytes(BytesOf(K1, false), BytesOf(K2, false));
        case soHTML: return CompareBytes(BytesOf(K1, true), BytesOf(K2, true));
        case soTextUpper: {
            for (TSortColumn::Key *K : {&K1, &K2})
                if (!K->HasUpper) {
                    K->HasUpper = true;
                    K->Upper = UpperAsciiBytes(Cp936::Encode(K->Text));
                }
            return CompareBytes(K1.Upper, K2.Upper);
        }
        case soNumber:
        case soNumberGrouped: {
            bool R1 = false, R2 = false;
            const double V1 = ReadNumber(C, K1, Style == soNumberGrouped, R1);
            const double V2 = ReadNumber(C, K2, Style == soNumberGrouped, R2);
            if (!R1 && !R2)
                return 0;
            return Sign3(V1, V2);
        }
        case soDate:
        case soDateDayFirst:
        case soDateMonthFirst: return Sign3(DateOf(Style, K1), DateOf(Style, K2));
        case soCustom: {
            int Res = 0;
            if (G->OnCustomCompare)
                G->OnCustomCompare(G, K1.Text, K2.Text, Res);
            return std::clamp(Res, -1, 1);
        }
        case soRaw: {
            int Res = 0;
            if (G->OnRawCompare)
                G->OnRawCompare(G, C.Col, Row1, Row2, Res);
            return std::clamp(Res, -1, 1);
        }
        case soLocaleText:
        case soLocaleTextNoCase:
        case soWideText: {
            const QCollator &Col = Style == soLocaleText ? Collator : CollatorNoCase;
            for (TSortColumn::Key *K : {&K1, &K2})
                if (!K->HasCollation) {
                    K->HasCollation = true;
                    K->Collation = Col.sortKey(K->Text);
                }
            return std::clamp(K1.Collation->compare(*K2.Collation), -1, 1);
        }
        case soGraphicValue: return Sign3(K1.Graphic, K2.Graphic);
        case soCheckBox: {
            const bool T1 = K1.Graphic > 0, T2 = K2.Graphic > 0;
            return T1 == T2 ? 0 : (T1 ? 1 : -1);
        }
        }
        return 0;
    }

    // The number a text holds after the affixes are taken off; Read tells
    // whether it converted (an unreadable text counts as 0).
    double ReadNumber(TSortColumn &C, TSortColumn::Key &K, bool Grouped, bool &Read)
    {
        if (!K.HasNumber) {
            K.HasNumber = true;
            QString T = K.Text;
            if (!C.Prefix.isEmpty()) {
                const qsizetype P = T.indexOf(C.Prefix);
                if (P >= 0)
                    T.remove(P, C.Prefix.size());
            }
            if (!C.Suffix.isEmpty()) {
                const qsizetype P = T.indexOf(C.Suffix);
                if (P >= 0)
                    T.remove(P, C.Suffix.size());
            }
            if (Grouped)
                T.remove(QChar(GridFormat::ThousandSeparator));
            double V = 0;
            K.NumberRead = TryStrToFloat(T, V);
            K.Number = K.NumberRead ? V : 0;
        }
        Read = K.NumberRead;
        return K.Number;
    }

    // Row Row1 goes before Row2 in the sorted order.
    bool Before(int Row1, int Row2)
    {
        if (FIndexed) {
            for (size_t I = 0; I < FKeys.size(); ++I) {
                int Res = CompareCells(Column(FKeys[I].first), Row1, Row2);
                if (Res == 0 && G->SortSettings()->Full && I + 1 < FKeys.size())
                    continue;
                if (FKeys[I].second)
                    Res = -Res;
                return Res < 0;
            }
            return false;
        }
        const int Last = G->ColCount() - 1;
        for (int Col = FKeys.front().first; Col <= Last; ++Col) {
            const int Res = CompareCells(Column(Col), Row1, Row2);
            if (Res != 0)
                return Res * FSign < 0;
            if (!G->SortSettings()->Full)
                break;
        }
        return false;
    }

    // The rows Lo..Hi in units that move whole: a merged block spanning rows
    // is one unit (overlapping blocks join). A block reaching out of the range
    // cannot move whole and is split first.
    std::vector<std::pair<int, int>> BlockUnits(int Lo, int Hi)
    {
        const int Cols = G->ColCount();
        std::vector<int> Reach(size_t(Hi - Lo + 1));
        for (int R = Lo; R <= Hi; ++R) {
            Reach[size_t(R - Lo)] = R;
            for (int C = 0; C < Cols; ++C) {
                const TCellProperties *P = G->PropsOf(C, R);
                if (!P || P->CellSpanX == -1 || P->CellSpanY <= 0)
                    continue;
                if (P->IsBaseCell) {
                    if (R + P->CellSpanY > Hi)
                        G->UnmergeCellBlock(C, R);
                    else
                        Reach[size_t(R - Lo)] = std::max(Reach[size_t(R - Lo)], R + P->CellSpanY);
                } else if (R == Lo) {
                    G->UnmergeCellBlock(C - P->CellSpanX, R - P->CellSpanY);
                }
            }
        }
        std::vector<std::pair<int, int>> Units;
        for (int R = Lo; R <= Hi;) {
            int End = Reach[size_t(R - Lo)];
            for (int X = R + 1; X <= End; ++X)
                End = std::max(End, Reach[size_t(X - Lo)]);
            Units.emplace_back(R, End);
            R = End + 1;
        }
        return Units;
    }

    // Puts row Target[i] (an index before the sort) at Lo + i.
    void Apply(int Lo, const std::vector<int> &Target)
    {
        const int N = int(Target.size());
        std::vector<int> At(static_cast<size_t>(N)), Where(static_cast<size_t>(N));
        std::iota(At.begin(), At.end(), Lo);
        std::iota(Where.begin(), Where.end(), Lo);
        for (int I = 0; I < N; ++I) {
            const int Want = Target[size_t(I)];
            const int Cur = Where[size_t(Want - Lo)];
            if (Cur == Lo + I)
                continue;
            G->SwapRows(Lo + I, Cur);
            const int Displaced = At[size_t(I)];
            At[size_t(I)] = Want;
            At[size_t(Cur - Lo)] = Displaced;
            Where[size_t(Want - Lo)] = Lo + I;
            Where[size_t(Displaced - Lo)] = Cur;
        }
    }

    TCellGrid *G;
    bool FBare = false;
    bool SavedFixed = false;
    std::vector<QString> FixedTexts;
    int Hidden = 0;
    int LastWidth = 0;
    int SavedRow = 0;
    int FLo = 0;
    int FSign = 1;
    bool FIndexed = false;
    std::vector<std::pair<int, bool>> FKeys;
    std::vector<std::unique_ptr<TSortColumn>> FColumns;
    QCollator Collator;
    QCollator CollatorNoCase;
};

// =================================================================== the grid's operations

void TCellGrid::SwapRows(int ARow1, int ARow2)
{
    ++FSortSwaps;
    if (ARow1 == ARow2)
        return;
    if (ARow1 >= 0 && ARow2 >= 0 && ARow1 < int(RowIndexes.size()) && ARow2 < int(RowIndexes.size()))
        std::swap(RowIndexes[size_t(ARow1)], RowIndexes[size_t(ARow2)]);
    if (FSortSettings->SingleColumn) {
        const int C = FSortSettings->Column;
        const QString T = PlainCells(C, ARow1);
        TObject *O = PlainObjects(C, ARow1);
        SetPlainCells(C, ARow1, PlainCells(C, ARow2));
        SetPlainObjects(C, ARow1, PlainObjects(C, ARow2));
        SetPlainCells(C, ARow2, T);
        SetPlainObjects(C, ARow2, O);
        return;
    }
    ExchangeRows(ARow1, ARow2, true);
    if (FMouseActions->DisjunctRowSelect && FNavigation->MoveRowOnSort) {
        const size_t Need = size_t(std::max(ARow1, ARow2)) + 1;
        if (FRowSelectFlags.size() < Need)
            FRowSelectFlags.resize(Need, false);
        const bool F = FRowSelectFlags[size_t(ARow1)];
        FRowSelectFlags[size_t(ARow1)] = FRowSelectFlags[size_t(ARow2)];
        FRowSelectFlags[size_t(ARow2)] = F;
    }
    if (FSortCurrentRow == ARow1)
        FSortCurrentRow = ARow2;
    else if (FSortCurrentRow == ARow2)
        FSortCurrentRow = ARow1;
}

int TCellGrid::CompareCells(int ACol, int ARow1, int ARow2)
{
    // Outside a sort every call reads its two cells afresh.
    TSortColumn C;
    C.Col = ACol;
    C.Style = FSortSettings->AutoFormat ? soAuto : soText;
    GetColFormat(ACol, C.Style, C.Prefix, C.Suffix);
    return TSortRun::CompareOnce(this, C, ARow1, ARow2);
}

void TCellGrid::RunSort(int Kind)
{
    const int Lo = FixedRows();
    const int Hi = RowCount() - 1 - FFixedFooters;
    TSortRun Run(this);
    Run.FollowRow = FNavigation->MoveRowOnSort || Kind == 2;
    if (Kind == 0) {
        Run.Sort(Lo, Hi, {{FSortSettings->Column, false}}, false);
    } else if (Kind == 1) {
        std::vector<std::pair<int, bool>> Keys;
        for (int I = 0; I < FSortIndexes->Count(); ++I) {
            const quint32 V = quint32(FSortIndexes->Items(I));
            Keys.emplace_back(int(V & 0x7FFFFFFFu), (V & 0x80000000u) != 0);
        }
        Run.Sort(Lo, Hi, Keys, true);
    } else {
        // Each node group is sorted on its own; node rows stay where they are.
        int Start = Lo;
        for (;;) {
            int Node = Start;
            while (Node <= Hi && !IsNode(Node))
                ++Node;
            if (Node > Hi)
                break;
            int Next = Node + 1;
            while (Next <= Hi && !IsNode(Next))
                ++Next;
            if (Next - 1 > Node + 1)
                Run.Sort(Node + 1, Next - 1, {{FSortSettings->Column, false}}, false);
            Start = Next;
        }
    }
}

void TCellGrid::SortByColumn()
{
    FSortIndexes->Clear();
    RunSort(0);
}

void TCellGrid::SortByIndexList()
{
    if (FSortIndexes->Count() == 0)
        throw ECellGridError(QStringLiteral("No indexes specified for indexed sort"));
    RunSort(1);
}

void TCellGrid::SortWithinGroups()
{
    RunSort(2);
}

void TCellGrid::ClickSort(int ACol, TShiftState Shift)
{
    if (RowCount() <= 2)
        return;
    bool DoSort = true;
    if (OnCanSort)
        OnCanSort(this, ACol, DoSort);
    if (!DoSort)
        return;
    QElapsedTimer Clock;
    Clock.start();
    HideCellEditor();
    if (FSortSettings->AutoColumnMerge)
        SplitAllColumns();
    if (FSortSettings->IndexShow) {
        const int Found = FSortIndexes->FindIndex(ACol);
        if (!(Shift & ssShift)) {
            if (FSortIndexes->Count() == 1 && Found == 0) {
                FSortIndexes->ToggleIndex(ACol);
            } else {
                FSortIndexes->Clear();
                FSortIndexes->AddIndex(ACol, true);
            }
        } else if (Found < 0) {
            FSortIndexes->AddIndex(ACol, true);
        } else {
            FSortIndexes->ToggleIndex(ACol);
        }
        SortByIndexList();
    } else {
        if (ACol != FSortSettings->Column) {
            FSortSettings->Column = ACol;
            FSortSettings->Direction = sdAscending;
        } else {
            FSortSettings->Direction = FSortSettings->Direction == sdAscending ? sdDescending : sdAscending;
        }
        const bool KeepLeft = FNavigation->KeepHorizScroll && (Options() & goRowSelect);
        const int Left = LeftCol();
        if (KeepLeft)
            BeginUpdate();
        try {
            if (HasNodes())
                SortWithinGroups();
            else
                SortByColumn();
        } catch (...) {
            if (KeepLeft)
                EndUpdate();
            throw;
        }
        if (KeepLeft) {
            SetLeftCol(Left);
            EndUpdate();
        }
    }
    FSortTime = int(Clock.elapsed());
    if (FSortSettings->AutoColumnMerge)
        MergeListedColumns();
    if (OnClickSort)
        OnClickSort(this, FSortSettings->Column);
}
