#include "ZipSearch.h"

#include "ZipStreams.h"

#include <map>
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

// The matcher below gives the answers of the plain recursive reading of the
// mask (each "*" tries every split of the rest of the name), but remembers
// every answer it has worked out: a star tried at a name position is never
// tried there again. The work is bounded by (stars + 1) x name length steps,
// each as long as one literal run of the mask, whatever the mask holds.
class Matcher {
public:
    Matcher(const QString &M, const QString &S) : FM(M), FS(S) {}

    bool Run()
    {
        if (FM == QLatin1String("*"))
            return true;
        return Walk(0, 0);
    }

private:
    // The mask from I against the name from J, up to the first "*".
    bool Walk(qsizetype I, qsizetype J)
    {
        const qsizetype ML = FM.size(), SL = FS.size();
        while (I < ML) {
            if (J >= SL)
                return FM[I] == QLatin1Char('*') && I == ML - 1;
            const QChar C = FM[I];
            if (C == QLatin1Char('*'))
                return Star(I, J);
            if (C == QLatin1Char('<')) {
                CharSet Set;
                if (!ReadSet(FM, I, Set, true) || !Set.Test(FS[J].unicode()))
                    return false;
            } else if (C != QLatin1Char('?') && C != FS[J]) {
                return false;
            }
            ++I;
            ++J;
        }
        return J >= SL;
    }

    // Everything known about one "*" of the mask (at position Star).
    struct StarInfo {
        CharSet Set;
        bool HasSet = false;
        bool BadSet = false;
        qsizetype Rest = 0;      // mask position after the run of "*" and "?"
        qsizetype Skip = 0;      // name characters the "?" of the run take
        bool RunToEnd = false;   // the run reaches the end of the mask
        std::vector<signed char> Loop; // per name position: -1 unknown, 0 no, 1 yes
    };

    StarInfo &Info(qsizetype At)
    {
        auto It = FStars.find(At);
        if (It != FStars.end())
            return It->second;
        StarInfo &N = FStars[At];
        qsizetype R = At + 1;
        if (R < FM.size() && FM[R] == QLatin1Char('<')) {
            if (!ReadSet(FM, R, N.Set, false) || N.Set.Ranges.empty())
                N.BadSet = true;
            N.HasSet = true;
            ++R;
        } else {
            R = At;
        }
        bool Run = false;
        while (R < FM.size() && (FM[R] == QLatin1Char('*') || FM[R] == QLatin1Char('?'))) {
            if (FM[R] == QLatin1Char('?'))
                ++N.Skip;
            ++R;
            Run = true;
        }
        N.Rest = R;
        N.RunToEnd = Run && R >= FM.size();
        N.Loop.assign(size_t(FS.size() + 1), -1);
        return N;
    }

    bool Star(qsizetype At, qsizetype J)
    {
        StarInfo &N = Info(At);
        if (N.BadSet)
            return false;
        const qsizetype SL = FS.size();
        qsizetype K = J + N.Skip;
        if (K > SL)
            return false;
        if (N.RunToEnd)
            return true;
        // Try the rest of the mask at K, K+1, ...; the star swallows the
        // characters passed over, each of which must pass its set. Every
        // position passed over shares the verdict found further on.
        const qsizetype First = K;
        bool Verdict = false;
        for (;; ++K) {
            if (N.Loop[size_t(K)] >= 0) {
                Verdict = N.Loop[size_t(K)] == 1;
                break;
            }
            if (K >= SL) {
                Verdict = N.Rest >= FM.size();
                break;
            }
            if (N.Rest < FM.size() && (FM[N.Rest] == FS[K] || FM[N.Rest] == QLatin1Char('<')) && Walk(N.Rest, K)) {
                Verdict = true;
                break;
            }
            if (N.HasSet && !N.Set.Test(FS[K].unicode())) {
                Verdict = false;
                break;
            }
        }
        // (References into the map stay valid while Walk adds other stars.)
        for (qsizetype P = First; P <= K && P <= SL; ++P)
            N.Loop[size_t(P)] = Verdict ? 1 : 0;
        return Verdict;
    }

    const QString &FM;
    const QString &FS;
    std::map<qsizetype, StarInfo> FStars;
};

} // namespace

bool WildcardMatches(const QString &Mask, const QString &Name)
{
    const QString M = LowerCase(Mask), S = LowerCase(Name);
    return Matcher(M, S).Run();
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
    if (FStarted && int(FLevels.size()) - 1 >= FWildParts.size())
        ReportUndecodable(*FLevels.back());
}

void TDirSearch::ReportUndecodable(TSearchData &Level)
{
    const QStringList Names = Level.Rec.Undecodable;
    Level.Rec.Undecodable.clear();
    if (!OnLeftOut)
        return;
    for (const QString &Name : Names) {
        QString Test = Name;
        if (!Test.contains(QLatin1Char('.')))
            Test += QLatin1Char('.');
        if (WildcardMatches(Level.Mask, Test))
            OnLeftOut(Level.Path + Name);
    }
}

QString TDirSearch::NextMatch(TSearchRec &Out)
{
    if (!FStarted) {
        // The start level was opened before OnLeftOut could be set.
        FStarted = true;
        if (!FLevels.empty() && FWildParts.isEmpty())
            ReportUndecodable(*FLevels.front());
    }
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
            if (FRecurse && RealDir && !(E.Attr & faSymLink) && OnLeftOut)
                OnLeftOut(L->Path + E.Name + QLatin1Char('/'));
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
            Out.UnixTime = E.UnixTime;
            Out.Mode = E.Mode;
            Out.FindPath = E.FindPath;
            const QString Found = L->Path + E.Name;
            L->Advance();
            return Found;
        }
        L->Advance();
    }
    return QString();
}
