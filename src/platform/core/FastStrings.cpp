#include "FastStrings.h"

namespace {

struct TExact {
    static unsigned char Map(unsigned char C) { return C; }
};
struct TFolded {
    static unsigned char Map(unsigned char C) { return FoldTable()[C]; }
};

template <class Fold>
void MakeTable(const char *Pattern, int Len, TSkipTable &Table)
{
    if (Len <= 0)
        throw Exception(QStringLiteral("BufferLen is 0"));
    Table.fill(Len);
    for (int I = 0; I < Len - 1; ++I)
        Table[Fold::Map(static_cast<unsigned char>(Pattern[I]))] = Len - 1 - I;
}

// The window's last byte is compared first, then backwards; the window moves by
// the table entry of the text byte under its end.
template <class Fold>
int Search(const char *Buffer, int BufferLen, int StartPos, const char *Pattern, int PatternLen, const TSkipTable &Table)
{
    if (PatternLen <= 0)
        throw Exception(QStringLiteral("BufferLen is 0"));
    if (StartPos < 1)
        throw EAssertionFailed(QStringLiteral("Assertion failure (FastStrings)"));
    const auto *Text = reinterpret_cast<const unsigned char *>(Buffer);
    const auto *Pat = reinterpret_cast<const unsigned char *>(Pattern);
    const unsigned char Last = Fold::Map(Pat[PatternLen - 1]);
    // 0-based index of the window's last byte.
    qint64 End = qint64(StartPos) - 1 + PatternLen - 1;
    while (End < BufferLen) {
        const unsigned char C = Fold::Map(Text[End]);
        if (C == Last) {
            int K = 1;
            while (K < PatternLen && Fold::Map(Text[End - K]) == Fold::Map(Pat[PatternLen - 1 - K]))
                ++K;
            if (K == PatternLen)
                return int(End - PatternLen + 2);
        }
        End += qMax(1, Table[C]);   // a table not made for this pattern still ends
    }
    return 0;
}

template <class Fold>
int Find(const char *Source, const char *Pattern, int SourceLen, int StartPos, int PatternLen)
{
    if (StartPos < 1)
        throw EAssertionFailed(QStringLiteral("Assertion failure (FastStrings)"));
    if (PatternLen < 1 || PatternLen > SourceLen)
        return 0;
    TSkipTable Table;
    MakeTable<Fold>(Pattern, PatternLen, Table);
    return Search<Fold>(Source, SourceLen, StartPos, Pattern, PatternLen, Table);
}

} // namespace

const std::array<unsigned char, 256> &FoldTable()
{
    static const std::array<unsigned char, 256> Table = [] {
        std::array<unsigned char, 256> T{};
        for (int I = 0; I < 256; ++I)
            T[I] = (I >= 'a' && I <= 'z') ? static_cast<unsigned char>(I - 'a' + 'A') : static_cast<unsigned char>(I);
        return T;
    }();
    return Table;
}

int FindPatternFrom(const char *Source, const char *Pattern, int SourceLen, int StartPos, int PatternLen)
{
    return Find<TExact>(Source, Pattern, SourceLen, StartPos, PatternLen);
}

int FindPatternFromFolded(const char *Source, const char *Pattern, int SourceLen, int StartPos, int PatternLen)
{
    return Find<TFolded>(Source, Pattern, SourceLen, StartPos, PatternLen);
}

void MakeSkipTable(const char *Pattern, int Len, TSkipTable &Table)
{
    MakeTable<TExact>(Pattern, Len, Table);
}

void MakeSkipTableFolded(const char *Pattern, int Len, TSkipTable &Table)
{
    MakeTable<TFolded>(Pattern, Len, Table);
}

int SkipTableSearch(const char *Buffer, int BufferLen, int StartPos, const char *Pattern, int PatternLen,
                    const TSkipTable &Table)
{
    return Search<TExact>(Buffer, BufferLen, StartPos, Pattern, PatternLen, Table);
}

int SkipTableSearchFolded(const char *Buffer, int BufferLen, int StartPos, const char *Pattern, int PatternLen,
                          const TSkipTable &Table)
{
    return Search<TFolded>(Buffer, BufferLen, StartPos, Pattern, PatternLen, Table);
}
