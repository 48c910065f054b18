#include "ZipSearch.h"

#include "ZipStreams.h"

#include <utility>

namespace {

struct CharSet {
    bool Negated = false;
    std::vector<std::pair<char16_t, char16_t>> Ranges;
    bool Empty() const { return Ranges.empty() && !Negated; }
    bool Test(char16_t C) const
    {
        bool In = false;
        for (const auto &R : Ranges)
            if (C >= R.first && C <= R.second) {
                In = true;
                break;
            }
        return In != Negated;
    }
};

// Reads "<...>" starting at M[I] == '<'. On success I is left at the '>'.
// Reversed ranges match as well in a plain set, never in a star's set.
bool ReadSet(const QString &M, qsizetype &I, CharSet &Set, bool AllowReversed)
{
    qsizetype J = I + 1;
    if (J < M.size() && (M[J] == QLatin1Char('^') || M[J] == QLatin1Char('!'))) {
        Set.Negated = true;
        ++J;
    }
    bool Any = false;
    while (J < M.size() && M[J] != QLatin1Char('>')) {
        const char16_t X = M[J].unicode();
        if (J + 2 < M.size() && M[J + 1] == QLatin1Char('-') && M[J + 2] != QLatin1Char('>')) {
            const char16_t Y = M[J + 2].unicode();
            if (X <= Y)
                Set.Ranges.push_back({X, Y});
            else if (AllowReversed)
                Set.Ranges.push_back({Y, X});
            J += 3;
        } else {
            Set.Ranges.push_back({X, X});
            ++J;
        }
        Any = true;
    }
    if (J >= M.size() || !Any)
        return false;
    I = J;
    return true;
}

bool Matches(const QString &M, const QString &S);

bool StarMatch(const QString &R, const QString &T, const CharSet &Set, bool HasSet)
{
    qsizetype I = 0, K = 0;
    bool Run = false;
    while (I < R.size() && (R[I] == QLatin1Char('*') || R[I] == QLatin1Char('?'))) {
        if (R[I] == QLatin1Char('?'))
            ++K;
        ++I;
        Run = true;
    }
    if (K > T.size())
        return false;
    if (Run && I >= R.size())
        return true;
    for (; K < T.size(); ++K) {
        if (I < R.size() && (R[I] == T[K] || R[I] == QLatin1Char('<')) && Matches(R.mid(I), T.mid(K)))
            return true;
        if (HasSet && !Set.Test(T[K].unicode()))
            return false;
    }
    return I >= R.size();
}

bool Matches(const QString &M, const QString &S)
{
    if (M == QLatin1String("*"))
        return true;
    qsizetype I = 0, J = 0;
    while (I < M.size()) {
        if (J >= S.size())
            return M[I] == QLatin1Char('*') && I == M.size() - 1;
        const QChar C = M[I];
        if (C == QLatin1Char('*')) {
            CharSet Set;
            qsizetype R = I + 1;
            bool HasSet = false;
            if (R < M.size() && M[R] == QLatin1Char('<')) {
                if (!ReadSet(M, R, Set, false) || Set.Ranges.empty())
                    return false;
                HasSet = true;
                return StarMatch(M.mid(R + 1), S.mid(J), Set, HasSet);
            }
            return StarMatch(M.mid(I), S.mid(J), Set, HasSet);
        }
        if (C == QLatin1Char('<')) {
            CharSet Set;
            if (!ReadSet(M, I, Set, true))
                return false;
            if (!Set.Test(S[J].unicode()))
                return false;
        } else if (C != QLatin1Char('?') && C != S[J]) {
            return false;
        }
        ++I;
        ++J;
    }
    return J >= S.size();
}

} // namespace

bool WildcardMatches(const QString &Mask, const QString &Name)
{
    return Matches(LowerCase(Mask), LowerCase(Name));
}

// ------------------------------------------------------------------ TSearchData

TSearchData::TSearchData(const QString &APath, const QString &AMask, int Attributes)
    : Path(APath), Mask(AMask)
{
    FResult = FindFirst(Path + QLatin1Char('*'), Attributes, Rec);
    Closed = FResult != 0;
}

TSearchData::~TSearchData()
{
    if (!Closed)
        FindClose(Rec);
}

void TSearchData::Advance()
{
    if (FResult == 0)
        FResult = FindNext(Rec);
}

// ------------------------------------------------------------------- TDirSearch

TDirSearch::TDirSearch(const QString &StartFolder, int Attributes, bool Recurse, const QString &Mask)
    : FFileMask(Mask), FRecurse(Recurse), FAttributes(Attributes)
{
    QString Start = IncludeTrailingPathDelimiter(NativePath(StartFolder));
    if (ZipHasWildcards(Start)) {
        qsizetype First = 0;
        while (First < Start.size() && !ZipHasWildcards(Start.mid(First, 1)))
            ++First;
        const qsizetype Cut = Start.lastIndexOf(QLatin1Char('/'), First);
        FWildParts = Start.mid(Cut + 1).split(QLatin1Char('/'), Qt::SkipEmptyParts);
        Start = Start.left(Cut + 1);
    }
    OpenLevel(Start, FWildParts.isEmpty() ? FFileMask : FWildParts.first());
}

TDirSearch::~TDirSearch() = default;

void TDirSearch::OpenLevel(const QString &Path, const QString &Mask)
{
    FLevels.push_back(std::make_unique<TSearchData>(Path, Mask, FAttributes | faDirectory));
}

QString TDirSearch::NextMatch(TSearchRec &Out)
{
    while (!FLevels.empty()) {
        TSearchData *L = FLevels.back().get();
        if (L->Exhausted()) {
            FLevels.pop_back();
            if (FLevels.empty())
                return QString();
            FLevels.back()->Advance();
            continue;
        }
        const TSearchRec &E = L->Rec;
        const bool IsDir = E.Attr & faDirectory;
        const bool RealDir = IsDir && E.Name != QLatin1String(".") && E.Name != QLatin1String("..");
        // Linked folders are not entered, so a link cycle cannot trap the walk.
        const bool CanEnter = RealDir && !(E.Attr & faSymLink) && int(FLevels.size()) <= MaxDepth;
        const int Depth = int(FLevels.size()) - 1;
        if (Depth < FWildParts.size()) {
            if (CanEnter && WildcardMatches(FWildParts[Depth], E.Name)) {
                const QString Sub = L->Path + E.Name + QLatin1Char('/');
                OpenLevel(Sub, Depth + 1 < FWildParts.size() ? FWildParts[Depth + 1] : FFileMask);
            } else {
                L->Advance();
            }
            continue;
        }
        if (IsDir) {
            if (FRecurse && CanEnter) {
                const QString Sub = L->Path + E.Name + QLatin1Char('/');
                OpenLevel(Sub, FFileMask);
                return Sub;
            }
            L->Advance();
            continue;
        }
        QString Test = E.Name;
        if (!Test.contains(QLatin1Char('.')))
            Test += QLatin1Char('.');
        if (WildcardMatches(L->Mask, Test)) {
            // Only the entry itself: the level's pending names stay with the level.
            Out.Name = E.Name;
            Out.Size = E.Size;
            Out.Attr = E.Attr;
            Out.Time = E.Time;
            Out.FindPath = E.FindPath;
            const QString Found = L->Path + E.Name;
            L->Advance();
            return Found;
        }
        L->Advance();
    }
    return QString();
}
