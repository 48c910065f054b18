// DrawText, DrawEdge, DrawFrameControl and DrawFocusRect, drawn the classic way
// with fixed colours from the system colour table, never through a desktop style.
#include "platform/graphics/Graphics.h"

#include <QFontMetrics>
#include <QFontMetricsF>
#include <QHash>
#include <QPaintDevice>
#include <QPainter>
#include <QPolygon>
#include <algorithm>
#include <array>
#include <cmath>

namespace {

// ---------------------------------------------------------------- DrawText
//
// A text is laid out line by line and only as far as it is used: painting
// stops at the first line below what can be seen, so a cell showing two lines
// of a long description costs two lines. Lines are broken by adding up the
// advances of their characters (a running width), never by measuring each
// growing head of the text again; a line is shaped whole only where its exact
// width is used (alignment, an opaque background, DT_CALCRECT).

thread_local qint64 MeasuredCharacters = 0;

struct TextLine {
    QString Text;
    int Mnemonic = -1;   // index of the underlined character, -1 for none
};

bool IsCjk(QChar C)
{
    const ushort U = C.unicode();
    return (U >= 0x2E80 && U <= 0x9FFF) || (U >= 0xAC00 && U <= 0xD7AF) || (U >= 0xF900 && U <= 0xFAFF)
        || (U >= 0xFF00 && U <= 0xFFEF) || C.isSurrogate();
}

// Length of the character at I: a surrogate pair is one character.
int CharLength(QStringView S, qsizetype I)
{
    return (S[I].isHighSurrogate() && I + 1 < S.size()) ? 2 : 1;
}

// The width of a growing piece of one line: the tab stop it started from and
// the advances of the characters since.
struct RunningWidth {
    int Base = 0;
    qreal Sum = 0;
    int Value(qreal Extra = 0) const { return Base + qRound(Sum + Extra); }
};

class TextMeasure {
public:
    TextMeasure(const QFont &Font, bool ExpandTabs)
        : FM(Font), FMF(Font), Tabs(ExpandTabs), TabWidth(std::max(1, 8 * FM.averageCharWidth()))
    {
        Ascii.fill(-1);
    }

    // The width of S on one line as it is drawn, tab stops included.
    int Width(const QString &S) const
    {
        MeasuredCharacters += S.size();
        if (!Tabs || !S.contains(QLatin1Char('\t')))
            return FM.horizontalAdvance(S);
        const auto Parts = Pieces(S);
        return Parts.back().first + FM.horizontalAdvance(Parts.back().second);
    }
    // Left position of each tab-separated piece, for drawing.
    std::vector<std::pair<int, QString>> Pieces(const QString &S) const
    {
        std::vector<std::pair<int, QString>> Out;
        if (!Tabs || !S.contains(QLatin1Char('\t'))) {
            Out.emplace_back(0, S);
            return Out;
        }
        int X = 0;
        const QStringList Parts = S.split(QLatin1Char('\t'));
        for (int I = 0; I < Parts.size(); ++I) {
            if (I > 0)
                X = (X / TabWidth + 1) * TabWidth;
            Out.emplace_back(X, Parts[I]);
            X += FM.horizontalAdvance(Parts[I]);
        }
        return Out;
    }
    // Adds the character at I (Len code units) of Line, whose current piece
    // started at LineStart, to W.
    void Add(RunningWidth &W, QStringView Line, qsizetype LineStart, qsizetype I, int Len) const
    {
        if (Line[I] == QLatin1Char('\t')) {
            if (Tabs) {
                W.Base = (W.Value() / TabWidth + 1) * TabWidth;
            } else {
                // Without DT_EXPANDTABS a tab goes to the font engine's own stops,
                // which depend on what stands before it: that head is measured whole.
                W.Base = Width(Line.mid(LineStart, I + Len - LineStart).toString());
            }
            W.Sum = 0;
            return;
        }
        W.Sum += Advance(Line, I, Len);
    }
    // The width of S, or some width above Limit when S is wider: the advances
    // are added up only as far as Limit reaches (with room for kerning), and
    // what may fit is measured whole.
    int WidthUpTo(const QString &S, int Limit) const
    {
        const int Enough = Limit + std::max(0, Limit) / 8 + 2;
        RunningWidth W;
        for (qsizetype I = 0; I < S.size();) {
            const int Len = CharLength(S, I);
            Add(W, S, 0, I, Len);
            if (W.Value() > Enough)
                return W.Value();
            I += Len;
        }
        return Width(S);
    }
    bool Fits(const QString &S, int Limit) const { return WidthUpTo(S, Limit) <= Limit; }
    qreal ExtraWidth(const QString &S) const
    {
        MeasuredCharacters += S.size();
        return FMF.horizontalAdvance(S);
    }

    QFontMetrics FM;

private:
    qreal Advance(QStringView S, qsizetype I, int Len) const
    {
        ++MeasuredCharacters;
        const QChar C = S[I];
        if (C.unicode() < Ascii.size()) {
            qreal &A = Ascii[C.unicode()];
            if (A < 0)
                A = FMF.horizontalAdvance(C);
            return A;
        }
        const char32_t Code = Len == 2 ? QChar::surrogateToUcs4(C, S[I + 1]) : char32_t(C.unicode());
        const auto It = Others.constFind(Code);
        if (It != Others.constEnd())
            return *It;
        const qreal A = Len == 2 ? FMF.horizontalAdvance(S.mid(I, 2).toString()) : FMF.horizontalAdvance(C);
        Others.insert(Code, A);
        return A;
    }

    QFontMetricsF FMF;
    bool Tabs;
    int TabWidth;
    mutable std::array<qreal, 128> Ascii;
    mutable QHash<char32_t, qreal> Others;
};

// Removes the '&' prefix marks; Mnemonic gets the index of the marked character.
QString StripPrefix(QStringView S, int &Mnemonic)
{
    QString Out;
    Out.reserve(S.size());
    Mnemonic = -1;
    for (qsizetype I = 0; I < S.size(); ++I) {
        if (S[I] == QLatin1Char('&') && I + 1 < S.size()) {
            ++I;
            if (S[I] != QLatin1Char('&'))
                Mnemonic = int(Out.size());
        } else if (S[I] == QLatin1Char('&')) {
            continue;   // a lone '&' at the end shows nothing
        }
        Out += S[I];
    }
    return Out;
}

// One wrapped line of a paragraph: the characters [Start, End) are shown and
// the next line begins at Next.
struct LineSpan {
    qsizetype Start = 0, End = 0, Next = 0;
    bool Last = false;   // the line runs to the end of its paragraph
};

bool IsLineBreak(QChar C)
{
    return C == QLatin1Char('\r') || C == QLatin1Char('\n');
}

// The line of Para that starts at Start: the longest piece no wider than
// Width (where possible) that ends at a break opportunity. The paragraph ends
// at the end of Para or at its first line break character.
LineSpan WrapLine(QStringView Para, qsizetype Start, int Width, const TextMeasure &M)
{
    qsizetype N = Para.size();
    qsizetype LastBreak = -1;   // end (exclusive) of the text before a break
    qsizetype NextStart = -1;   // where the following line begins
    qsizetype FitEnd = Start;   // longest piece that fits at all
    qsizetype I = Start;
    RunningWidth W;
    while (I < N) {
        const QChar C = Para[I];
        if (IsLineBreak(C)) {
            N = I;
            break;
        }
        const int Len = CharLength(Para, I);
        const qsizetype End = I + Len;
        M.Add(W, Para, Start, I, Len);
        // Trailing blanks never count against the width.
        if (C != QLatin1Char(' ') && W.Value() > Width)
            break;
        FitEnd = End;
        if (C == QLatin1Char(' ') || C == QLatin1Char('\t')) {
            LastBreak = I;
            NextStart = End;
        } else if (IsCjk(C)) {
            LastBreak = End;
            NextStart = End;
        } else if (End < N && IsCjk(Para[End])) {
            LastBreak = End;
            NextStart = End;
        }
        I = End;
    }
    if (I >= N)
        return {Start, N, N, true};
    if (LastBreak > Start || (LastBreak == Start && NextStart > Start)) {
        qsizetype E = LastBreak;
        while (E > Start && Para[E - 1] == QLatin1Char(' '))
            --E;
        return {Start, E, NextStart, false};
    }
    // A word wider than the line: break it at the last character that fits
    // (at least one character per line so the text always advances).
    const qsizetype E = FitEnd > Start ? FitEnd : Start + CharLength(Para, Start);
    return {Start, E, E, false};
}

// The lines of a text in order, made one at a time as they are asked for.
// A wrapped paragraph without prefix marks to take off is not even looked
// through to its end: its lines come as far as they are asked for.
class LineSource {
public:
    LineSource(const QString &Text, unsigned Format, int Width, const TextMeasure &M)
        : Text(Text), Format(Format), Width(Width), M(M), Pos(Text.isEmpty() ? -1 : 0),
          Wrap((Format & DT_WORDBREAK) && !(Format & DT_SINGLELINE))
    {
    }

    bool Next(TextLine &Out)
    {
        for (;;) {
            if (!Open) {
                if (!NextParagraph())
                    return false;
                Open = true;
                First = true;
                InPara = 0;
            }
            if (!Wrap) {
                Out.Text = Whole(Para);
                Out.Mnemonic = Mnemonic;
                Open = false;
                return true;
            }
            if (AtEnd(InPara)) {
                if (Lazy)
                    FollowBreak(ParaStart + InPara);
                Open = false;
                if (!First)
                    continue;
                // An empty paragraph is one empty line.
                Out.Text.clear();
                Out.Mnemonic = -1;
                return true;
            }
            First = false;
            const LineSpan L = WrapLine(Para, InPara, Width, M);
            Out.Text = Para.mid(L.Start, L.End - L.Start).toString();
            Out.Mnemonic = Mnemonic >= L.Start && Mnemonic < L.End ? int(Mnemonic - L.Start) : -1;
            InPara = L.Next;
            if (!L.Last)
                while (InPara < Para.size() && Para[InPara] == QLatin1Char(' '))
                    ++InPara;
            return true;
        }
    }

private:
    bool AtEnd(qsizetype At) const { return At >= Para.size() || IsLineBreak(Para[At]); }

    // V as a string, sharing the text it is part of when it is all of it.
    QString Whole(QStringView V) const
    {
        for (const QString *S : {&Text, &Single, &Stripped})
            if (V.data() == S->constData() && V.size() == S->size())
                return *S;
        return V.toString();
    }

    // Pos goes past the line break at E of Text (CR LF, CR or LF); a line
    // break at the very end starts no further line.
    void FollowBreak(qsizetype E)
    {
        if (E >= Text.size()) {
            Pos = -1;
            return;
        }
        Pos = E + ((Text[E] == QLatin1Char('\r') && E + 1 < Text.size() && Text[E + 1] == QLatin1Char('\n')) ? 2 : 1);
        if (Pos >= Text.size())
            Pos = -1;
    }

    // The next paragraph of the text, with its prefix marks taken off.
    bool NextParagraph()
    {
        if (Pos < 0)
            return false;
        ParaStart = Pos;
        Mnemonic = -1;
        Lazy = false;
        if (Format & DT_SINGLELINE) {
            Single = Text;
            if (Single.contains(QLatin1Char('\r')) || Single.contains(QLatin1Char('\n'))) {
                Single.replace(QLatin1String("\r\n"), QLatin1String(" "));
                Single.replace(QLatin1Char('\r'), QLatin1Char(' '));
                Single.replace(QLatin1Char('\n'), QLatin1Char(' '));
            }
            Para = Single;
            Pos = -1;
        } else if (Wrap && (Format & DT_NOPREFIX)) {
            // The paragraph runs to the first line break from here; its end is
            // found by its last line.
            Para = QStringView(Text).mid(Pos);
            Lazy = true;
        } else {
            // The next CR and the next LF are looked for once each, not again per paragraph.
            if (NextCr != -1 && NextCr < Pos)
                NextCr = Text.indexOf(QLatin1Char('\r'), Pos);
            if (NextLf != -1 && NextLf < Pos)
                NextLf = Text.indexOf(QLatin1Char('\n'), Pos);
            qsizetype E = Text.size();
            if (NextCr >= 0)
                E = NextCr;
            if (NextLf >= 0)
                E = std::min(E, NextLf);
            Para = QStringView(Text).mid(Pos, E - Pos);
            FollowBreak(E);
        }
        if (!(Format & DT_NOPREFIX) && Para.contains(QLatin1Char('&'))) {
            Stripped = StripPrefix(Para, Mnemonic);
            Para = Stripped;
        }
        if (Format & DT_HIDEPREFIX)
            Mnemonic = -1;
        return true;
    }

    const QString &Text;
    const unsigned Format;
    const int Width;
    const TextMeasure &M;
    qsizetype Pos;   // where the next paragraph starts in Text, -1 after the last
    const bool Wrap;
    qsizetype NextCr = -2, NextLf = -2;   // the next line break characters (-1: none left)
    QString Single, Stripped;
    QStringView Para;
    qsizetype ParaStart = 0;
    bool Lazy = false;   // Para runs on to the end of Text
    int Mnemonic = -1;
    bool Open = false, First = false;
    qsizetype InPara = 0;
};

// The longest head of S (never half a surrogate pair) that fits Width with
// Extra pixels after it, by advances.
qsizetype FittingHead(QStringView S, int Width, qreal Extra, const TextMeasure &M)
{
    RunningWidth W;
    qsizetype I = 0;
    while (I < S.size()) {
        const int Len = CharLength(S, I);
        RunningWidth Next = W;
        M.Add(Next, S, 0, I, Len);
        if (Next.Value(Extra) > Width)
            break;
        W = Next;
        I += Len;
    }
    return I;
}

// The head of S that fits Width followed by Tail, as drawn: the head found by
// advances is corrected by the whole width by a character or two.
QString HeadAndTail(const QString &S, const QString &Tail, int Width, const TextMeasure &M)
{
    qsizetype K = FittingHead(S, Width, M.ExtraWidth(Tail), M);
    auto Back = [&](qsizetype At) { return At - ((At >= 2 && S[At - 2].isHighSurrogate()) ? 2 : 1); };
    while (K > 0 && M.Width(S.left(K) + Tail) > Width)
        K = Back(K);
    while (K < S.size() && M.Width(S.left(K + CharLength(S, K)) + Tail) <= Width)
        K += CharLength(S, K);
    return S.left(K) + Tail;
}

QString EndEllipsis(const QString &S, int Width, const TextMeasure &M)
{
    if (M.Fits(S, Width))
        return S;
    return HeadAndTail(S, QStringLiteral("..."), Width, M);
}

QString PathEllipsis(const QString &S, int Width, const TextMeasure &M)
{
    if (M.Fits(S, Width))
        return S;
    const int Sep = int(std::max(S.lastIndexOf(QLatin1Char('\\')), S.lastIndexOf(QLatin1Char('/'))));
    if (Sep <= 0)
        return EndEllipsis(S, Width, M);
    const QString Rest = QStringLiteral("...") + S.mid(Sep);
    if (!M.Fits(Rest, Width))
        return EndEllipsis(Rest, Width, M);
    return HeadAndTail(S.left(Sep), Rest, Width, M);
}

QString WordEllipsis(const QString &S, int Width, const TextMeasure &M)
{
    return EndEllipsis(S, Width, M);
}

// Puts the ellipsis the format asks for on a line wider than Width.
void ApplyEllipsis(TextLine &L, unsigned Format, int Width, const TextMeasure &M)
{
    if (!(Format & (DT_PATH_ELLIPSIS | DT_END_ELLIPSIS | DT_WORD_ELLIPSIS)) || M.Fits(L.Text, Width))
        return;
    if (Format & DT_PATH_ELLIPSIS) {
        L.Text = PathEllipsis(L.Text, Width, M);
        L.Mnemonic = -1;
    } else if (Format & DT_END_ELLIPSIS) {
        L.Text = EndEllipsis(L.Text, Width, M);
        if (L.Mnemonic >= L.Text.size() - 3)
            L.Mnemonic = -1;
    } else {
        L.Text = WordEllipsis(L.Text, Width, M);
        L.Mnemonic = -1;
    }
}

// Lines longer than this many characters are drawn only as far as they can
// be seen when they start at the left.
constexpr qsizetype LongLine = 256;

// The number of characters of S, drawn from X = 0, that start left of Room,
// plus one and the marks after it; S.size() when all do or when cutting S could move what is seen:
// a right-to-left character among them reorders its run, and a line whose
// direction follows its text (LeftToRight false) keeps it only when a
// left-to-right letter comes first.
qsizetype SeenLength(const QString &S, int Room, bool LeftToRight, const TextMeasure &M)
{
    RunningWidth W;
    qsizetype I = 0;
    while (I < S.size() && W.Value() < Room) {
        const int Len = CharLength(S, I);
        switch (S[I].direction()) {
        case QChar::DirL:
            LeftToRight = true;
            break;
        case QChar::DirR: case QChar::DirAL: case QChar::DirAN: case QChar::DirRLE: case QChar::DirRLO:
        case QChar::DirRLI: case QChar::DirFSI: case QChar::DirLRE: case QChar::DirLRO: case QChar::DirLRI:
        case QChar::DirPDF: case QChar::DirPDI:
            return S.size();
        default:
            break;
        }
        M.Add(W, S, 0, I, Len);
        I += Len;
    }
    if (!LeftToRight)
        return S.size();
    qsizetype End = std::min(S.size(), I + CharLength(S, std::min(I, S.size() - 1)));
    while (End < S.size()) {
        const int Len = CharLength(S, End);
        if (!QChar::isMark(Len == 2 ? QChar::surrogateToUcs4(S[End], S[End + 1]) : char32_t(S[End].unicode())))
            break;
        End += Len;
    }
    return End;
}

} // namespace

qint64 DrawTextMeasuredCharacters()
{
    return MeasuredCharacters;
}

QRectF LogicalDeviceRect(const QPaintDevice *Device)
{
    if (!Device || Device->width() <= 0 || Device->height() <= 0)
        return QRectF();
    switch (Device->devType()) {
    case QInternal::Widget:
        // A widget measures itself in logical pixels already.
        return QRectF(0, 0, Device->width(), Device->height());
    case QInternal::Image:
    case QInternal::Pixmap: {
        const qreal Ratio = Device->devicePixelRatioF() > 0 ? Device->devicePixelRatioF() : 1.0;
        return QRectF(0, 0, Device->width() / Ratio, Device->height() / Ratio);
    }
    default:
        return QRectF();
    }
}

QRect PaintableArea(QPainter &Painter)
{
    QRect Area(-(1 << 29), -(1 << 29), 1 << 30, 1 << 30);
    const QRectF Whole = LogicalDeviceRect(Painter.device());
    if (!Whole.isEmpty()) {
        // The painter's coordinates reach the device's logical ones through the
        // world and view transforms; the pixel ratio is applied after those
        // (and is in the painter's combined transform), so it is left out here.
        QTransform Forward = Painter.worldMatrixEnabled() ? Painter.worldTransform() : QTransform();
        if (Painter.viewTransformEnabled()) {
            const QRect W = Painter.window(), V = Painter.viewport();
            if (W.width() != 0 && W.height() != 0) {
                const qreal SX = qreal(V.width()) / W.width(), SY = qreal(V.height()) / W.height();
                Forward *= QTransform(SX, 0, 0, SY, V.x() - W.x() * SX, V.y() - W.y() * SY);
            }
        }
        bool Invertible = false;
        const QTransform Back = Forward.inverted(&Invertible);
        if (Invertible)
            Area = Back.mapRect(Whole).toAlignedRect();
    }
    if (Painter.hasClipping())
        Area &= Painter.clipBoundingRect().toAlignedRect();
    return Area;
}

qreal PaintPixelRatio(const QPainter &Painter)
{
    const QTransform T = Painter.deviceTransform();
    const qreal Ratio = std::hypot(T.m11(), T.m12());
    return Ratio > 0 ? Ratio : 1.0;
}

int DrawTextWidth(TCanvas *Canvas, const QString &Text)
{
    if (!Canvas)
        return 0;
    return QFontMetrics(Canvas->QtFont()).horizontalAdvance(Text);
}

int DrawTextWidth(TCanvas *Canvas, const QString &Text, int Limit)
{
    if (!Canvas)
        return 0;
    return std::min(TextMeasure(Canvas->QtFont(), false).WidthUpTo(Text, Limit), Limit);
}

int DrawText(TCanvas *Canvas, const QString &Text, TRect &R, unsigned Format)
{
    if (!Canvas)
        return 0;
    const QFont Font = Canvas->QtFont();
    const TextMeasure M(Font, Format & DT_EXPANDTABS);
    const int Width = R.Width();
    int LineHeight = M.FM.height();
    if (Format & DT_EXTERNALLEADING)
        LineHeight += std::max(0, M.FM.leading());
    LineSource Source(Text, Format, std::max(1, Width), M);
    TextLine L;

    if (Format & DT_CALCRECT) {
        int Count = 0, MaxWidth = 0;
        while (Source.Next(L)) {
            ++Count;
            ApplyEllipsis(L, Format, Width, M);
            MaxWidth = std::max(MaxWidth, M.Width(L.Text));
        }
        R.Right = R.Left + MaxWidth;
        R.Bottom = R.Top + Count * LineHeight;
        return Count * LineHeight;
    }

    const bool MultiLine = !(Format & DT_SINGLELINE);
    int Y = R.Top;
    int Result = -1;   // set when the result does not follow from the lines drawn
    if (!MultiLine) {
        Result = Text.isEmpty() ? 0 : LineHeight;
        if (Format & DT_VCENTER) {
            Y = R.Top + (R.Height() - LineHeight) / 2;
            Result = Y - R.Top + LineHeight;
        } else if (Format & DT_BOTTOM) {
            Y = R.Bottom - LineHeight;
            Result = Y - R.Top + LineHeight;
        }
    }
    if (Text.isEmpty())
        return std::max(Result, 0);

    QPainter *P = Canvas->Painter();
    if (!P) {
        int Count = 0;
        while (Source.Next(L))
            ++Count;
        return Result >= 0 ? Result : Count * LineHeight;
    }
    P->save();
    if (!(Format & DT_NOCLIP))
        P->setClipRect(R.ToQRect(), P->hasClipping() ? Qt::IntersectClip : Qt::ReplaceClip);
    // Marks over capitals and under descenders reach into the next line's
    // box: a line beside what can be seen may still show in it.
    const QRect Seen = PaintableArea(*P).adjusted(0, -LineHeight, 0, LineHeight);
    const bool Opaque = Canvas->BkMode() == OPAQUE && Canvas->Brush()->Color() != clNone;
    const QColor Back = TColorToQColor(Canvas->Brush()->Color());
    const QColor Fore = TColorToQColor(Canvas->Font()->Color());
    P->setFont(Font);
    P->setPen(Fore);
    int Count = 0;
    while (Source.Next(L)) {
        if ((Format & DT_EDITCONTROL) && MultiLine && Y + LineHeight > R.Bottom && Y != R.Top)
            break;
        // Nothing below this line can be seen: the rest is not even laid out.
        if (Y > Seen.bottom())
            break;
        ++Count;
        if (Y + LineHeight <= Seen.top()) {
            Y += LineHeight;
            continue;
        }
        ApplyEllipsis(L, Format, Width, M);
        const bool AtLeft = !(Format & (DT_CENTER | DT_RIGHT));
        if (AtLeft && L.Text.size() > LongLine && P->layoutDirection() != Qt::RightToLeft) {
            const qsizetype Keep = SeenLength(L.Text, Seen.right() + 1 - R.Left, P->layoutDirection() == Qt::LeftToRight, M);
            if (Keep < L.Text.size())
                L.Text.truncate(Keep);
        }
        const bool NeedWidth = !AtLeft || Opaque;
        const int W = NeedWidth ? M.Width(L.Text) : 0;
        int X = R.Left;
        if (Format & DT_CENTER)
            X = R.Left + (Width - W) / 2;
        else if (Format & DT_RIGHT)
            X = R.Right - W;
        if (Opaque && W > 0)
            P->fillRect(QRect(X, Y, W, LineHeight), Back);
        for (const auto &[Dx, Piece] : M.Pieces(L.Text))
            P->drawText(X + Dx, Y + M.FM.ascent(), Piece);
        if (L.Mnemonic >= 0 && L.Mnemonic < L.Text.size()) {
            const int UX = X + M.Width(L.Text.left(L.Mnemonic));
            const int UW = M.FM.horizontalAdvance(L.Text.mid(L.Mnemonic, 1));
            P->fillRect(QRect(UX, Y + M.FM.ascent() + 1, UW, 1), Fore);
        }
        Y += LineHeight;
    }
    P->restore();
    return Result >= 0 ? Result : Count * LineHeight;
}

int SetBkMode(TCanvas *Canvas, int Mode)
{
    if (!Canvas)
        return 0;
    const int Old = Canvas->BkMode();
    Canvas->SetBkMode(Mode);
    return Old;
}

// ---------------------------------------------------------------- DrawEdge

namespace {

void HLine(QPainter &P, int X1, int X2, int Y, TColor C)
{
    if (X2 > X1)
        P.fillRect(QRect(X1, Y, X2 - X1, 1), TColorToQColor(C));
}

void VLine(QPainter &P, int X, int Y1, int Y2, TColor C)
{
    if (Y2 > Y1)
        P.fillRect(QRect(X, Y1, 1, Y2 - Y1), TColorToQColor(C));
}

// One ring of an edge: top and left in LT, right and bottom in RB; the right
// and bottom lines own the top-right and bottom-left corners.
void EdgeRing(QPainter &P, TRect &R, unsigned Sides, TColor LT, TColor RB)
{
    if (R.IsEmpty())
        return;
    if (Sides & BF_TOP)
        HLine(P, R.Left, (Sides & BF_RIGHT) ? R.Right - 1 : R.Right, R.Top, LT);
    if (Sides & BF_LEFT)
        VLine(P, R.Left, R.Top, (Sides & BF_BOTTOM) ? R.Bottom - 1 : R.Bottom, LT);
    if (Sides & BF_RIGHT)
        VLine(P, R.Right - 1, R.Top, R.Bottom, RB);
    if (Sides & BF_BOTTOM)
        HLine(P, R.Left, R.Right, R.Bottom - 1, RB);
    if (Sides & BF_LEFT)
        ++R.Left;
    if (Sides & BF_TOP)
        ++R.Top;
    if (Sides & BF_RIGHT)
        --R.Right;
    if (Sides & BF_BOTTOM)
        --R.Bottom;
}

} // namespace

bool DrawEdge(TCanvas *Canvas, TRect &R, unsigned Edge, unsigned Flags)
{
    if (!Canvas)
        return false;
    const unsigned Outer = Edge & BDR_OUTER;
    const unsigned Inner = Edge & BDR_INNER;
    if (!Outer && !Inner && !(Flags & BF_MIDDLE))
        return false;
    TRect Work = R;
    QPainter *P = Canvas->Painter();
    if (P) {
        P->save();
        P->setCompositionMode(QPainter::CompositionMode_SourceOver);
    }
    const bool Soft = Flags & BF_SOFT;
    auto Ring = [&](unsigned Border, bool IsOuter) {
        if (!Border)
            return;
        TColor LT, RB;
        if (Flags & BF_MONO) {
            LT = RB = IsOuter ? clWindowFrame : clWindow;
        } else if (Flags & BF_FLAT) {
            LT = RB = IsOuter ? clBtnShadow : clBtnFace;
        } else if (Border & (BDR_RAISEDOUTER | BDR_RAISEDINNER)) {
            if (IsOuter) {
                LT = Soft ? clBtnHighlight : cl3DLight;
                RB = cl3DDkShadow;
            } else {
                LT = Soft ? cl3DLight : clBtnHighlight;
                RB = clBtnShadow;
            }
            // Both raised and sunken bits on one ring: the raised colours win.
        } else {
            if (IsOuter) {
                LT = Soft ? cl3DDkShadow : clBtnShadow;
                RB = clBtnHighlight;
            } else {
                LT = Soft ? clBtnShadow : cl3DDkShadow;
                RB = cl3DLight;
            }
        }
        EdgeRing(*P, Work, Flags & BF_RECT, LT, RB);
    };
    if (P) {
        Ring(Outer, true);
        Ring(Inner, false);
        if ((Flags & BF_MIDDLE) && !Work.IsEmpty())
            P->fillRect(Work.ToQRect(), TColorToQColor((Flags & BF_MONO) ? clWindow : clBtnFace));
        P->restore();
    } else {
        // Nothing to paint on (an empty bitmap): the geometry still follows.
        auto Shrink = [&](unsigned Border) {
            if (!Border)
                return;
            if (Flags & BF_LEFT) ++Work.Left;
            if (Flags & BF_TOP) ++Work.Top;
            if (Flags & BF_RIGHT) --Work.Right;
            if (Flags & BF_BOTTOM) --Work.Bottom;
        };
        Shrink(Outer);
        Shrink(Inner);
    }
    if (Flags & BF_ADJUST)
        R = Work;
    return true;
}

// -------------------------------------------------------- DrawFrameControl

namespace {

void FillSolid(QPainter &P, const TRect &R, TColor C)
{
    if (!R.IsEmpty())
        P.fillRect(R.ToQRect(), TColorToQColor(C));
}

// A tick for a check box whose inside is Box.
void DrawTick(QPainter &P, const TRect &Box, TColor C)
{
    const int N = std::min(Box.Width(), Box.Height());
    if (N < 5)
        return;
    const QColor Q = TColorToQColor(C);
    const int X0 = Box.Left + (Box.Width() - N) / 2, Y0 = Box.Top + (Box.Height() - N) / 2;
    // The classic 7x7 tick scaled to the box: down-right for a third, then up-right.
    const int Left = X0 + N / 5, Mid = X0 + (2 * N) / 5, Right = X0 + N - N / 5;
    const int YMid = Y0 + N / 2 - N / 8, YLow = YMid + (Mid - Left), Thick = std::max(3, N / 4);
    for (int X = Left; X < Right; ++X) {
        int Y = X <= Mid ? YMid + (X - Left) : YLow - (X - Mid);
        P.fillRect(QRect(X, Y - Thick / 2, 1, Thick), Q);
    }
}

void DrawArrow(QPainter &P, const TRect &Area, unsigned Kind, TColor C)
{
    const int N = std::max(2, std::min(Area.Width(), Area.Height()) / 3);   // arrow half-base
    const int CX = (Area.Left + Area.Right) / 2, CY = (Area.Top + Area.Bottom) / 2;
    const QColor Q = TColorToQColor(C);
    const int H = (N + 1) / 2 + 1;   // arrow height in pixels
    for (int I = 0; I < H; ++I) {
        const int Half = I;   // row I of the triangle, widening from the tip
        switch (Kind) {
        case DFCS_SCROLLUP:
            P.fillRect(QRect(CX - Half, CY - H / 2 + I, 2 * Half + 1, 1), Q);
            break;
        case DFCS_SCROLLLEFT:
            P.fillRect(QRect(CX - H / 2 + I, CY - Half, 1, 2 * Half + 1), Q);
            break;
        case DFCS_SCROLLRIGHT:
            P.fillRect(QRect(CX + H / 2 - I, CY - Half, 1, 2 * Half + 1), Q);
            break;
        default:   // down and combo box
            P.fillRect(QRect(CX - Half, CY + H / 2 - I, 2 * Half + 1, 1), Q);
            break;
        }
    }
}

void ButtonFace(TCanvas *Canvas, TRect &R, unsigned State)
{
    unsigned Flags = BF_RECT | BF_MIDDLE | BF_ADJUST | BF_SOFT;
    unsigned Edge = (State & (DFCS_PUSHED | DFCS_CHECKED)) ? EDGE_SUNKEN : EDGE_RAISED;
    if (State & DFCS_FLAT) {
        Flags |= BF_FLAT;
        Edge = BDR_OUTER;
    } else if (State & DFCS_MONO) {
        Flags |= BF_MONO;
        Edge = BDR_OUTER;
    }
    DrawEdge(Canvas, R, Edge, Flags);
}

} // namespace

bool DrawFrameControl(TCanvas *Canvas, const TRect &Rect, unsigned Type, unsigned State)
{
    if (!Canvas || (Type != DFC_BUTTON && Type != DFC_SCROLL && Type != DFC_CAPTION))
        return false;
    if (Rect.IsEmpty())
        return true;
    QPainter *P = Canvas->Painter();
    if (!P)
        return true;
    P->save();
    P->setCompositionMode(QPainter::CompositionMode_SourceOver);
    TRect R = Rect;
    const bool Inactive = State & DFCS_INACTIVE;
    const unsigned Kind = State & 0xFF;

    if (Type == DFC_BUTTON && (Kind & DFCS_BUTTONPUSH)) {
        ButtonFace(Canvas, R, State);
    } else if (Type == DFC_BUTTON && (Kind & (DFCS_BUTTONRADIO | DFCS_BUTTONRADIOIMAGE | DFCS_BUTTONRADIOMASK))) {
        const int S = std::min(R.Width(), R.Height());
        const TRect Box = Bounds(R.Left + (R.Width() - S) / 2, R.Top + (R.Height() - S) / 2, S, S);
        const QRect Q(Box.Left, Box.Top, S - 1, S - 1);
        P->setRenderHint(QPainter::Antialiasing, false);
        P->setPen(Qt::NoPen);
        P->setBrush(TColorToQColor((Inactive || (State & DFCS_PUSHED)) ? clBtnFace : clWindow));
        if (!(State & DFCS_TRANSPARENT))
            P->drawEllipse(Q);
        P->setBrush(Qt::NoBrush);
        if (State & (DFCS_FLAT | DFCS_MONO)) {
            P->setPen(TColorToQColor((State & DFCS_MONO) ? clWindowFrame : clBtnShadow));
            P->drawEllipse(Q);
        } else {
            // Upper-left half dark, lower-right half light, as a sunken ring.
            P->setPen(TColorToQColor(clBtnShadow));
            P->drawArc(Q, 45 * 16, 180 * 16);
            P->setPen(TColorToQColor(clBtnHighlight));
            P->drawArc(Q, 225 * 16, 180 * 16);
            if (S > 4) {
                const QRect In = Q.adjusted(1, 1, -1, -1);
                P->setPen(TColorToQColor(cl3DDkShadow));
                P->drawArc(In, 45 * 16, 180 * 16);
                P->setPen(TColorToQColor(cl3DLight));
                P->drawArc(In, 225 * 16, 180 * 16);
            }
        }
        if (State & DFCS_CHECKED) {
            const int D = std::max(2, S / 3);
            const int X = Box.Left + (S - D) / 2, Y = Box.Top + (S - D) / 2;
            P->setPen(Qt::NoPen);
            P->setBrush(TColorToQColor(Inactive ? clGrayText : clWindowText));
            P->drawEllipse(QRect(X, Y, D, D));
        }
    } else if (Type == DFC_BUTTON) {
        // Check box (two- or three-state).
        const int S = std::min(R.Width(), R.Height());
        TRect Box = Bounds(R.Left + (R.Width() - S) / 2, R.Top + (R.Height() - S) / 2, S, S);
        const bool ThreeState = Kind & DFCS_BUTTON3STATE;
        if (State & (DFCS_FLAT | DFCS_MONO))
            DrawEdge(Canvas, Box, BDR_OUTER, BF_RECT | BF_ADJUST | ((State & DFCS_MONO) ? BF_MONO : BF_FLAT));
        else
            DrawEdge(Canvas, Box, EDGE_SUNKEN, BF_RECT | BF_ADJUST);
        P = Canvas->Painter();
        const bool Grey = Inactive || (State & DFCS_PUSHED) || (ThreeState && (State & DFCS_CHECKED));
        if (!(State & DFCS_TRANSPARENT))
            FillSolid(*P, Box, Grey ? clBtnFace : clWindow);
        if (State & DFCS_CHECKED)
            DrawTick(*P, Box, (Inactive || ThreeState) ? clGrayText : clWindowText);
    } else if (Type == DFC_SCROLL) {
        if (Kind == DFCS_SCROLLSIZEGRIP) {
            if (!(State & DFCS_TRANSPARENT))
                FillSolid(*P, R, clBtnFace);
            const int S = std::min(R.Width(), R.Height());
            for (int I = 0; I + 3 < S; I += 4) {
                // Diagonal highlight/shadow pairs from the bottom-right corner.
                for (int J = 0; J <= I + 2 && J < S; ++J) {
                    P->fillRect(QRect(R.Right - 1 - (I + 2) + J, R.Bottom - 1 - J, 1, 1), TColorToQColor(clBtnHighlight));
                    P->fillRect(QRect(R.Right - 1 - (I + 1) + J, R.Bottom - 1 - J, 1, 1), TColorToQColor(clBtnShadow));
                    P->fillRect(QRect(R.Right - 1 - I + J, R.Bottom - 1 - J, 1, 1), TColorToQColor(clBtnShadow));
                }
            }
        } else {
            ButtonFace(Canvas, R, State);
            P = Canvas->Painter();
            TRect A = R;
            if (State & DFCS_PUSHED)
                OffsetRect(A, 1, 1);
            if (Inactive) {
                TRect Shadow = A;
                OffsetRect(Shadow, 1, 1);
                DrawArrow(*P, Shadow, Kind, clBtnHighlight);
                DrawArrow(*P, A, Kind, clBtnShadow);
            } else {
                DrawArrow(*P, A, Kind, clBtnText);
            }
        }
    } else {
        // Caption buttons: a raised button with its glyph.
        ButtonFace(Canvas, R, State);
        P = Canvas->Painter();
        TRect G = R;
        InflateRect(G, -std::max(1, R.Width() / 5), -std::max(1, R.Height() / 5));
        if (State & DFCS_PUSHED)
            OffsetRect(G, 1, 1);
        const QColor C = TColorToQColor(Inactive ? clGrayText : clBtnText);
        P->setRenderHint(QPainter::Antialiasing, false);
        QPen Pen(C, 2);
        Pen.setCapStyle(Qt::FlatCap);
        P->setPen(Pen);
        P->setBrush(Qt::NoBrush);
        switch (Kind) {
        case DFCS_CAPTIONCLOSE:
            P->drawLine(G.Left, G.Top, G.Right - 1, G.Bottom - 1);
            P->drawLine(G.Right - 1, G.Top, G.Left, G.Bottom - 1);
            break;
        case DFCS_CAPTIONMIN:
            P->fillRect(QRect(G.Left, G.Bottom - 2, G.Width() * 2 / 3, 2), C);
            break;
        case DFCS_CAPTIONMAX:
            P->fillRect(QRect(G.Left, G.Top, G.Width(), 2), C);
            P->setPen(QPen(C, 1));
            P->drawRect(QRect(G.Left, G.Top, G.Width() - 1, G.Height() - 1));
            break;
        case DFCS_CAPTIONRESTORE: {
            const int W = G.Width() * 2 / 3, H = G.Height() * 2 / 3;
            P->setPen(QPen(C, 1));
            P->drawRect(QRect(G.Right - W, G.Top, W - 1, H - 1));
            P->fillRect(QRect(G.Left, G.Bottom - H, W, H), TColorToQColor(clBtnFace));
            P->drawRect(QRect(G.Left, G.Bottom - H, W - 1, H - 1));
            break;
        }
        default:
            P->setFont(Canvas->QtFont());
            P->setPen(C);
            P->drawText(G.ToQRect(), Qt::AlignCenter, QStringLiteral("?"));
            break;
        }
    }
    P->restore();
    return true;
}

void DrawFocusRect(TCanvas *Canvas, const TRect &R)
{
    if (!Canvas || R.IsEmpty())
        return;
    QPainter *P = Canvas->Painter();
    if (!P)
        return;
    QPolygon Points;
    auto Add = [&](int X, int Y) {
        if (((X + Y) & 1) == 0)
            Points << QPoint(X, Y);
    };
    for (int X = R.Left; X < R.Right; ++X) {
        Add(X, R.Top);
        if (R.Bottom - 1 > R.Top)
            Add(X, R.Bottom - 1);
    }
    for (int Y = R.Top + 1; Y < R.Bottom - 1; ++Y) {
        Add(R.Left, Y);
        if (R.Right - 1 > R.Left)
            Add(R.Right - 1, Y);
    }
    P->save();
    P->setCompositionMode(QPainter::RasterOp_SourceXorDestination);
    QPen Pen(Qt::white, 1);
    Pen.setCosmetic(true);
    P->setPen(Pen);
    P->drawPoints(Points);
    P->restore();
}
