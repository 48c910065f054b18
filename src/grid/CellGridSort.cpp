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
#include <cstdint>
#include <cstring>
#include <climits>
#include <numeric>
#include <optional>
#include <set>
#include <unordered_map>

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
        bool HasBytes = false, HasNumber = false, HasDate = false, HasCollation = false;
        bool NumberRead = false;
        QByteArray Bytes;   // code page 936 bytes as the column compares them
        double Number = 0;
        TDateTime Date = 0;
        std::optional<QCollatorSortKey> Collation;
        int Graphic = -1;      // graphic value, or check state
        bool Check = false;    // the cell holds a check box
        TSortStyle Auto = soText;   // the kind soAuto finds this cell of
    };
    int Col = 0;
    TSortStyle Style = soText;
    QString Prefix, Suffix;
    // The keys by row: every row's for a column read whole (Dense), else only
    // those of the cells compared, so that a column reached only by a few
    // ties costs those few, not one key per row.
    bool Dense = false;
    std::vector<Key> Keys;
    std::unordered_map<int, Key> Held;
};

namespace {

// Styles whose comparison runs an event: two empty cells need not be equal.
bool AsksEvent(TSortStyle Style)
{
    return Style == soCustom || Style == soRaw;
}

// Under the automatic style every cell is of one kind, found once for the
// cell alone: empty, a number, a date, a text or a check box. Cells of two
// kinds go by their kinds in that order; cells of one kind by their values
// (texts in code page 936 order). So the order is the same whichever cell of
// a pair comes first, as the sort needs it to be.
int AutoKindRank(const TSortColumn::Key &K)
{
    switch (K.Auto) {
    case soNumber: return 1;
    case soDate: return 2;
    case soCheckBox: return 4;
    default: return K.Text.isEmpty() ? 0 : 3;
    }
}

} // namespace

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
            if (FHiddenLoaded)
                G->PlaceHiddenRows(FHiddenPlaces);
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
        FIndexed = Indexed;
        FKeys = Keys;
        FSign = G->SortSettings()->Direction == sdDescending ? -1 : 1;
        const std::vector<std::pair<int, int>> Units = BlockUnits(Lo, Hi);
        // The first key column is read whole before the sort.
        FPrimary = &Column(Keys.front().first);
        MakeDense(*FPrimary);
        for (const auto &U : Units)
            PrepareKey(*FPrimary, U.first);
        std::vector<int> Order(Units.size());
        std::iota(Order.begin(), Order.end(), 0);
        if (!SortPacked(Units, Order))
            std::stable_sort(Order.begin(), Order.end(),
                             [&](int A, int B) { return Before(Units[size_t(A)].first, Units[size_t(B)].first); });
        // The rows in their new order, then moved there.
        std::vector<int> Target;
        Target.reserve(size_t(Hi - Lo + 1));
        for (int U : Order)
            for (int R = Units[size_t(U)].first; R <= Units[size_t(U)].second; ++R)
                Target.push_back(R);
        // Rows of one height need no height exchange; one look at them all
        // spares the exchanges a height lookup each.
        bool Uniform = true;
        const int H = G->RowHeights(Lo);
        for (int R = Lo + 1; R <= Hi && Uniform; ++R)
            Uniform = G->RowHeights(R) == H;
        G->FSortUniformHeights = Uniform;
        try {
            Apply(Lo, Target);
        } catch (...) {
            G->FSortUniformHeights = false;
            throw;
        }
        G->FSortUniformHeights = false;
        FollowWithHiddenRows(Lo, Hi, Units, Order);
    }

    // One cell comparison with its blanks rule; also serves CompareCells.
    int CompareCells(TSortColumn &C, int Row1, int Row2)
    {
        ++G->FSortCompares;
        // A column most rows' ties reach keeps its keys by row.
        if (!C.Dense && !FBare && C.Held.size() * 4 > size_t(G->RowCount()))
            MakeDense(C);
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
        // By column number: rows that tie on every column they hold walk
        // every column, each found at once.
        auto &C = FColumns[ACol];
        if (!C) {
            C = std::make_unique<TSortColumn>();
            C->Col = ACol;
            C->Style = G->SortSettings()->AutoFormat ? soAuto : soText;
            G->GetColFormat(ACol, C->Style, C->Prefix, C->Suffix);
            if (AsksEvent(C->Style))
                FEventColumns.insert(ACol);
        }
        return *C;
    }

private:
    bool RowHasObjects(int ARow)
    {
        if (FBare)
            return true;   // one comparison: no index of the whole grid
        if (FObjectRows.empty()) {
            FObjectRows.assign(size_t(G->RowCount()), false);
            for (int R = G->NextRowWithObjects(0); R < G->RowCount(); R = G->NextRowWithObjects(R + 1))
                FObjectRows[size_t(R)] = true;
        }
        return ARow < int(FObjectRows.size()) && FObjectRows[size_t(ARow)];
    }

    void MakeDense(TSortColumn &C)
    {
        if (C.Dense)
            return;
        C.Dense = true;
        C.Keys.resize(size_t(G->RowCount()));
        for (auto &[Row, K] : C.Held)
            if (Row < int(C.Keys.size()))
                C.Keys[size_t(Row)] = std::move(K);
        C.Held.clear();
    }

    TSortColumn::Key &KeyOf(TSortColumn &C, int ARow)
    {
        if (!C.Dense)
            return LoadKey(C, C.Held[ARow], ARow);
        if (ARow >= int(C.Keys.size()))
            C.Keys.resize(size_t(G->RowCount()));
        TSortColumn::Key &K = C.Keys[size_t(ARow)];
        return K.Loaded ? K : LoadKey(C, K, ARow);
    }

    // Reads a cell into its key (once).
    TSortColumn::Key &LoadKey(TSortColumn &C, TSortColumn::Key &K, int ARow)
    {
        if (!K.Loaded) {
            K.Loaded = true;
            // A row without cell objects holds no merge and no graphic: its
            // text is the stored one unless the display-text hook rewrites it.
            const bool Plain = !RowHasObjects(ARow) && !G->OnGetDisplText;
            if (Plain)
                K.Text = G->PlainCells(C.Col, ARow);
            else
                K.Text = G->GetCellText(C.Col, ARow);
            if (C.Style == soWideText)
                K.Text = WideCellDisplayText(K.Text);
            const TCellGraphic *Gr = Plain ? nullptr : G->GetCellGraphic(C.Col, ARow);
            K.Check = IsCheckKind(Gr);
            if (C.Style == soAuto) {
                if (K.Check)
                    K.Auto = soCheckBox;
                else if (NumberKind(K.Text) != nkOther)
                    K.Auto = soNumber;
                else if (LooksLikeDate(K.Text))
                    K.Auto = soDate;
            }
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

    // Reads a cell and converts it for the column's style.
    void PrepareKey(TSortColumn &C, int ARow)
    {
        TSortColumn::Key &K = KeyOf(C, ARow);
        const TSortStyle S = C.Style == soAuto ? K.Auto : C.Style;
        bool Read = false;
        if (S == soNumber || S == soNumberGrouped)
            ReadNumber(C, K, S == soNumberGrouped, Read);
        else if (S == soText || S == soTextCase)
            BytesOf(K, false);
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
            const int Rank1 = AutoKindRank(K1), Rank2 = AutoKindRank(K2);
            if (Rank1 != Rank2)
                return Rank1 < Rank2 ? -1 : 1;
            Style = K1.Auto;   // the kind of both
        }
        switch (Style) {
        case soAuto:
        case soText:
        case soTextCase: return CompareBytes(BytesOf(K1, false), BytesOf(K2, false));
        case soHTML: return CompareBytes(BytesOf(K1, true), BytesOf(K2, true));
        case soTextUpper: {
            for (TSortColumn::Key *K : {&K1, &K2})
                if (!K->HasBytes) {
                    K->HasBytes = true;
                    K->Bytes = UpperAsciiBytes(Cp936::Encode(K->Text));
                }
            return CompareBytes(K1.Bytes, K2.Bytes);
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

    // The first key column packed beside each unit, so that the common
    // comparisons (numbers, dates, code page 936 bytes) run on contiguous
    // values; equal first keys go on through the general comparison. False
    // when the column's style asks an event or a collator.
    struct TPacked {
        int Unit;
        int Row;
        double Value;          // number
        double Date;
        const char *Bytes;
        int Length;
        TSortStyle Kind;       // the style this cell compares by
        int Rank;              // its kind's place under the automatic style, else 0
        bool Read;             // the number converted
        bool Blank;
    };

    bool SortPacked(const std::vector<std::pair<int, int>> &Units, std::vector<int> &Order)
    {
        TSortColumn &C = *FPrimary;
        auto Simple = [](TSortStyle S) {
            return S == soText || S == soTextCase || S == soNumber || S == soNumberGrouped || S == soDate
                   || S == soDateDayFirst || S == soDateMonthFirst;
        };
        bool AnyNumber = false, AnyText = false, AnyDate = false;
        for (const auto &U : Units) {
            const TSortStyle S = C.Style == soAuto ? KeyOf(C, U.first).Auto : C.Style;
            if (!Simple(S))
                return false;
            AnyNumber |= S == soNumber || S == soNumberGrouped;
            AnyText |= S == soText || S == soTextCase;
            AnyDate |= S == soDate || S == soDateDayFirst || S == soDateMonthFirst;
        }
        TSortSettings *S = G->SortSettings();
        const int Sign0 = FIndexed ? (FKeys.front().second ? -1 : 1) : FSign;
        const bool Full = S->Full && (FIndexed ? FKeys.size() > 1 : FKeys.front().first < G->ColCount() - 1);
        // A column of numbers only, or of texts only, without the blanks rule
        // sorts small pairs (an unread number is 0 on either side, which is the
        // rule's "both unread: equal").
        if (!S->IgnoreBlanks && !AnyDate && AnyNumber != AnyText) {
            G->FSortCompares += int(Units.size());   // counted per element here, not per comparison
            auto Tie = [&](int UnitA, int UnitB) {
                return Full && BeforeAfterFirst(Units[size_t(UnitA)].first, Units[size_t(UnitB)].first);
            };
            if (AnyNumber) {
                std::vector<std::pair<double, int>> V;
                V.reserve(Units.size());
                for (size_t U = 0; U < Units.size(); ++U) {
                    TSortColumn::Key &K = KeyOf(C, Units[U].first);
                    const TSortStyle KS = C.Style == soAuto ? K.Auto : C.Style;
                    bool Read = false;
                    V.emplace_back(ReadNumber(C, K, KS == soNumberGrouped, Read), int(U));
                }
                if (Sign0 > 0)
                    std::stable_sort(V.begin(), V.end(), [&](const auto &A, const auto &B) {
                        return A.first < B.first || (A.first == B.first && Tie(A.second, B.second));
                    });
                else
                    std::stable_sort(V.begin(), V.end(), [&](const auto &A, const auto &B) {
                        return A.first > B.first || (A.first == B.first && Tie(A.second, B.second));
                    });
                for (size_t I = 0; I < V.size(); ++I)
                    Order[I] = V[I].second;
            } else {
                struct TBytes {
                    const char *Data;
                    int Length;
                    int Unit;
                };
                std::vector<TBytes> V;
                V.reserve(Units.size());
                for (size_t U = 0; U < Units.size(); ++U) {
                    const QByteArray &B = BytesOf(KeyOf(C, Units[U].first), false);
                    V.push_back({B.constData(), int(B.size()), int(U)});
                }
                std::stable_sort(V.begin(), V.end(), [&](const TBytes &A, const TBytes &B) {
                    int R = std::memcmp(A.Data, B.Data, size_t(std::min(A.Length, B.Length)));
                    if (R == 0)
                        R = A.Length - B.Length;
                    if (R != 0)
                        return Sign0 > 0 ? R < 0 : R > 0;
                    return Tie(A.Unit, B.Unit);
                });
                for (size_t I = 0; I < V.size(); ++I)
                    Order[I] = V[I].Unit;
            }
            return true;
        }
        // Each cell is read the one way its kind (or the column's style) says.
        std::vector<TPacked> P;
        P.reserve(Units.size());
        for (size_t U = 0; U < Units.size(); ++U) {
            TSortColumn::Key &K = KeyOf(C, Units[U].first);
            TPacked X{int(U), Units[U].first, 0, 0, nullptr, 0, C.Style == soAuto ? K.Auto : C.Style,
                      C.Style == soAuto ? AutoKindRank(K) : 0, false, K.Text.isEmpty()};
            if (X.Kind == soNumber || X.Kind == soNumberGrouped) {
                X.Value = ReadNumber(C, K, X.Kind == soNumberGrouped, X.Read);
            } else if (X.Kind == soDate || X.Kind == soDateDayFirst || X.Kind == soDateMonthFirst) {
                X.Date = DateOf(X.Kind, K);
            } else {
                const QByteArray &B = BytesOf(K, false);
                X.Bytes = B.constData();
                X.Length = int(B.size());
            }
            P.push_back(X);
        }
        const bool Blanks = S->IgnoreBlanks;
        const int BlankFirst = S->BlankPos == blLast ? 1 : -1;
        const int BlankSign = S->Direction == sdDescending ? -1 : 1;
        const int Sign = FIndexed ? (FKeys.front().second ? -1 : 1) : FSign;
        qint64 &Compares = G->FSortCompares;
        auto Compare = [&](const TPacked &A, const TPacked &B) -> int {
            ++Compares;
            if (Blanks && A.Blank != B.Blank)
                return (A.Blank ? BlankFirst : -BlankFirst) * BlankSign;
            if (A.Rank != B.Rank)
                return A.Rank < B.Rank ? -1 : 1;
            switch (A.Kind) {
            case soNumber:
            case soNumberGrouped:
                if (!A.Read && !B.Read)
                    return 0;
                return Sign3(A.Value, B.Value);
            case soText:
            case soTextCase: {
                const int R = std::memcmp(A.Bytes, B.Bytes, size_t(std::min(A.Length, B.Length)));
                if (R != 0)
                    return R < 0 ? -1 : 1;
                return A.Length == B.Length ? 0 : (A.Length < B.Length ? -1 : 1);
            }
            default: return Sign3(A.Date, B.Date);
            }
        };
        std::stable_sort(P.begin(), P.end(), [&](const TPacked &A, const TPacked &B) {
            const int R = Compare(A, B);
            if (R != 0)
                return R * Sign < 0;
            return BeforeAfterFirst(A.Row, B.Row);
        });
        for (size_t I = 0; I < P.size(); ++I)
            Order[I] = P[I].Unit;
        return true;
    }

    // The comparison once the first key column found two rows equal.
    bool BeforeAfterFirst(int Row1, int Row2)
    {
        if (!G->SortSettings()->Full)
            return false;
        if (FIndexed) {
            for (size_t I = 1; I < FKeys.size(); ++I) {
                int Res = CompareCells(Column(FKeys[I].first), Row1, Row2);
                if (Res == 0 && I + 1 < FKeys.size())
                    continue;
                if (FKeys[I].second)
                    Res = -Res;
                return Res < 0;
            }
            return false;
        }
        return CompareFollowing(FKeys.front().first + 1, Row1, Row2) * FSign < 0;
    }

    // The columns a row holds cells in, read once per run.
    const std::vector<int> &StoredOf(int ARow)
    {
        if (FStoredRead.empty()) {
            FStoredRead.assign(size_t(G->RowCount()), false);
            FStored.resize(size_t(G->RowCount()));
        }
        if (!FStoredRead[size_t(ARow)]) {
            FStoredRead[size_t(ARow)] = true;
            FStored[size_t(ARow)] = G->StoredCols(ARow);
        }
        return FStored[size_t(ARow)];
    }

    // Two rows compared column after column from From to the last column, as
    // the ties rule goes: the first result that is not 0, else 0. Two cells
    // that hold nothing are equal unless the column's style asks an event,
    // so only the columns either row holds, the event columns and the columns
    // never met before (whose style the format event gives, in turn) are
    // compared; each column passed over counts as one comparison. A display
    // text hook may give any empty cell a text: then every column is read.
    int CompareFollowing(int From, int Row1, int Row2)
    {
        const int Last = G->ColCount() - 1;
        // A few columns, or a grid holding cells in an eighth of its places
        // or more, are walked column by column, each column keeping a key
        // per row: finding the held columns would cost more than it spares.
        if (FDenseWalk < 0) {
            const std::int64_t Area = std::int64_t(Last - From + 1) * G->RowCount();
            FDenseWalk = Last - From < 16 || std::int64_t(G->CellCount()) * 8 >= Area;
        }
        if (G->OnGetDisplText || FDenseWalk) {
            for (int Col = From; Col <= Last; ++Col) {
                TSortColumn &C = Column(Col);
                if (FDenseWalk && !C.Dense)
                    MakeDense(C);
                if (const int Res = CompareCells(C, Row1, Row2))
                    return Res;
            }
            return 0;
        }
        // Every column from FWalkFrom to FMetUpTo has its sort state.
        if (FWalkFrom != From) {
            FWalkFrom = From;
            FMetUpTo = From - 1;
        }
        const std::vector<int> &S1 = StoredOf(Row1), &S2 = StoredOf(Row2);
        auto I1 = std::lower_bound(S1.begin(), S1.end(), From);
        auto I2 = std::lower_bound(S2.begin(), S2.end(), From);
        for (int Col = From;;) {
            while (I1 != S1.end() && *I1 < Col)
                ++I1;
            while (I2 != S2.end() && *I2 < Col)
                ++I2;
            int Next = Col;
            if (Col <= FMetUpTo) {
                Next = std::min({I1 != S1.end() ? *I1 : INT_MAX, I2 != S2.end() ? *I2 : INT_MAX, FMetUpTo + 1});
                const auto E = FEventColumns.lower_bound(Col);
                if (E != FEventColumns.end())
                    Next = std::min(Next, *E);
            }
            Next = std::min(Next, Last + 1);
            G->FSortCompares += Next - Col;
            Col = Next;
            if (Col > Last)
                return 0;
            TSortColumn &C = Column(Col);
            FMetUpTo = std::max(FMetUpTo, Col);
            const bool Held = (I1 != S1.end() && *I1 == Col) || (I2 != S2.end() && *I2 == Col);
            if (Held || AsksEvent(C.Style)) {
                if (const int Res = CompareCells(C, Row1, Row2))
                    return Res;
            } else {
                ++G->FSortCompares;
            }
            ++Col;
        }
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
        if (FPrimary->Col > G->ColCount() - 1)
            return false;
        int Res = CompareCells(*FPrimary, Row1, Row2);
        if (Res == 0 && G->SortSettings()->Full)
            Res = CompareFollowing(FPrimary->Col + 1, Row1, Row2);
        return Res * FSign < 0;
    }

    // The rows Lo..Hi in units that move whole: a merged block spanning rows
    // is one unit (overlapping blocks join). A block reaching out of the range
    // cannot move whole and is split first.
    std::vector<std::pair<int, int>> BlockUnits(int Lo, int Hi)
    {
        const int Cols = G->ColCount();
        std::vector<int> Reach(size_t(Hi - Lo + 1));
        std::iota(Reach.begin(), Reach.end(), Lo);
        for (int R = G->NextRowWithObjects(Lo); R <= Hi; R = G->NextRowWithObjects(R + 1)) {
            // Only the cells the row holds can hold merge data.
            for (const int C : G->StoredCols(R)) {
                if (C >= Cols)
                    break;
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

    // A hidden row keeps its place by real number, which after the sort could
    // be anywhere among the moved rows, even inside a block. Instead it goes
    // with the row it was hidden below, after that row's unit (so a block it
    // was hidden next to stays whole); one hidden below a row outside Lo..Hi
    // stays where it was. Rows that only exchange their sort column cells
    // stay where they are, and so do the hidden rows. The places are read
    // once per run and given back when the run ends.
    void FollowWithHiddenRows(int Lo, int Hi, const std::vector<std::pair<int, int>> &Units, const std::vector<int> &Order)
    {
        if (G->NumHiddenRows() == 0 || G->SortSettings()->SingleColumn)
            return;
        if (!FHiddenLoaded) {
            FHiddenLoaded = true;
            FHiddenPlaces = G->HiddenRowPlaces();
            for (size_t I = 0; I < FHiddenPlaces.size(); ++I)
                FHiddenByPlace.emplace_back(FHiddenPlaces[I], I);
            std::sort(FHiddenByPlace.begin(), FHiddenByPlace.end());
        }
        std::vector<int> NewEnd(Units.size());
        int At = Lo;
        for (int U : Order) {
            At += Units[size_t(U)].second - Units[size_t(U)].first + 1;
            NewEnd[size_t(U)] = At - 1;
        }
        // The ranges of one run do not overlap, and a place moved here stays
        // inside this range: the places before the run still find each range.
        auto It = std::upper_bound(FHiddenByPlace.begin(), FHiddenByPlace.end(), std::pair<int, size_t>(Lo, SIZE_MAX));
        for (; It != FHiddenByPlace.end() && It->first <= Hi + 1; ++It) {
            const auto U = std::upper_bound(Units.begin(), Units.end(), It->first - 1,
                                            [](int Row, const std::pair<int, int> &Unit) { return Row < Unit.first; });
            FHiddenPlaces[It->second] = NewEnd[size_t(U - Units.begin() - 1)] + 1;
        }
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
    bool FHiddenLoaded = false;
    std::vector<int> FHiddenPlaces;                      // where each hidden row comes back
    std::vector<std::pair<int, size_t>> FHiddenByPlace;  // the places before the run, sorted
    bool SavedFixed = false;
    std::vector<QString> FixedTexts;
    int Hidden = 0;
    int LastWidth = 0;
    int SavedRow = 0;
    int FSign = 1;
    bool FIndexed = false;
    std::vector<std::pair<int, bool>> FKeys;
    std::unordered_map<int, std::unique_ptr<TSortColumn>> FColumns;   // made when first asked for
    std::set<int> FEventColumns;   // the columns made so far whose style asks an event
    int FWalkFrom = -1;            // where the ties walk starts
    int FDenseWalk = -1;           // the ties walk reads every column: unknown, no, yes
    int FMetUpTo = -1;             // the walk has made every column from FWalkFrom to here
    std::vector<std::vector<int>> FStored;   // by row: StoredOf
    std::vector<bool> FStoredRead;
    std::vector<bool> FObjectRows;   // rows holding cell objects, read once per sort
    TSortColumn *FPrimary = nullptr;
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
    ExchangeRows(ARow1, ARow2, !FSortUniformHeights);
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
