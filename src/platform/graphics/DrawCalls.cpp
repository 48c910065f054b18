// DrawText, DrawEdge, DrawFrameControl and DrawFocusRect, drawn the classic way
// with fixed colours from the system colour table, never through a desktop style.
#include "platform/graphics/Graphics.h"

#include <QFontMetrics>
#include <QPainter>
#include <QPolygon>
#include <algorithm>

namespace {

// ---------------------------------------------------------------- DrawText

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

class TextMeasure {
public:
    TextMeasure(const QFont &Font, bool ExpandTabs) : FM(Font), Tabs(ExpandTabs) {}

    int Width(const QString &S) const
    {
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
        const int TabWidth = std::max(1, 8 * FM.averageCharWidth());
        const QStringList Parts = S.split(QLatin1Char('\t'));
        for (int I = 0; I < Parts.size(); ++I) {
            if (I > 0)
                X = (X / TabWidth + 1) * TabWidth;
            Out.emplace_back(X, Parts[I]);
            X += FM.horizontalAdvance(Parts[I]);
        }
        return Out;
    }

    QFontMetrics FM;
    bool Tabs;
};

// Removes the '&' prefix marks; Mnemonic gets the index of the marked character.
QString StripPrefix(const QString &S, int &Mnemonic)
{
    QString Out;
    Out.reserve(S.size());
    Mnemonic = -1;
    for (int I = 0; I < S.size(); ++I) {
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

// Splits one paragraph into lines no wider than Width (where possible).
void WrapParagraph(const QString &Para, int Width, const TextMeasure &M, std::vector<QString> &Out)
{
    if (Para.isEmpty()) {
        Out.push_back(QString());
        return;
    }
    int Start = 0;
    const int N = int(Para.size());
    while (Start < N) {
        // Longest prefix that fits, ending at a break opportunity.
        int LastBreak = -1;      // end index (exclusive) of text before a break
        int NextStart = -1;      // where the following line begins
        int I = Start;
        int FitEnd = Start;      // longest prefix that fits at all
        while (I < N) {
            const int End = I + ((Para[I].isHighSurrogate() && I + 1 < N) ? 2 : 1);
            const QString Piece = Para.mid(Start, End - Start);
            // Trailing blanks never count against the width.
            QString Trimmed = Piece;
            while (!Trimmed.isEmpty() && Trimmed.back() == QLatin1Char(' '))
                Trimmed.chop(1);
            if (M.Width(Trimmed) > Width && !Trimmed.isEmpty())
                break;
            FitEnd = End;
            const QChar C = Para[I];
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
        if (I >= N) {
            Out.push_back(Para.mid(Start));
            return;
        }
        if (LastBreak > Start || (LastBreak == Start && NextStart > Start)) {
            QString Line = Para.mid(Start, LastBreak - Start);
            while (!Line.isEmpty() && Line.back() == QLatin1Char(' '))
                Line.chop(1);
            Out.push_back(Line);
            Start = NextStart;
        } else {
            // A word wider than the line: break it at the last character that fits
            // (at least one character per line so the loop always advances).
            int End = FitEnd > Start ? FitEnd : Start + ((Para[Start].isHighSurrogate() && Start + 1 < N) ? 2 : 1);
            Out.push_back(Para.mid(Start, End - Start));
            Start = End;
        }
        while (Start < N && Para[Start] == QLatin1Char(' '))
            ++Start;
    }
}

QString EndEllipsis(const QString &S, int Width, const TextMeasure &M)
{
    if (M.Width(S) <= Width)
        return S;
    const QString Dots = QStringLiteral("...");
    QString Head = S;
    while (!Head.isEmpty() && M.Width(Head + Dots) > Width) {
        Head.chop(1);
        if (!Head.isEmpty() && Head.back().isHighSurrogate())
            Head.chop(1);
    }
    return Head + Dots;
}

QString PathEllipsis(const QString &S, int Width, const TextMeasure &M)
{
    if (M.Width(S) <= Width)
        return S;
    const int Sep = int(std::max(S.lastIndexOf(QLatin1Char('\\')), S.lastIndexOf(QLatin1Char('/'))));
    if (Sep <= 0)
        return EndEllipsis(S, Width, M);
    const QString Dots = QStringLiteral("...");
    QString Head = S.left(Sep);
    const QString Tail = S.mid(Sep);
    while (!Head.isEmpty() && M.Width(Head + Dots + Tail) > Width)
        Head.chop(1);
    if (M.Width(Head + Dots + Tail) > Width)
        return EndEllipsis(Dots + Tail, Width, M);
    return Head + Dots + Tail;
}

QString WordEllipsis(const QString &S, int Width, const TextMeasure &M)
{
    return EndEllipsis(S, Width, M);
}

} // namespace

int DrawTextWidth(TCanvas *Canvas, const QString &Text)
{
    if (!Canvas)
        return 0;
    return QFontMetrics(Canvas->QtFont()).horizontalAdvance(Text);
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

    // Paragraphs.
    std::vector<QString> Paragraphs;
    if (Format & DT_SINGLELINE) {
        QString S = Text;
        S.replace(QLatin1String("\r\n"), QLatin1String(" "));
        S.replace(QLatin1Char('\r'), QLatin1Char(' '));
        S.replace(QLatin1Char('\n'), QLatin1Char(' '));
        Paragraphs.push_back(S);
    } else if (!Text.isEmpty()) {
        QString S = Text;
        S.replace(QLatin1String("\r\n"), QLatin1String("\n"));
        S.replace(QLatin1Char('\r'), QLatin1Char('\n'));
        // A line break at the very end starts no further line.
        if (S.endsWith(QLatin1Char('\n')))
            S.chop(1);
        for (const QString &P : S.split(QLatin1Char('\n')))
            Paragraphs.push_back(P);
    }

    // Prefix marks come off before measuring; the mnemonic is kept per paragraph.
    std::vector<TextLine> Lines;
    for (QString &P : Paragraphs) {
        int Mn = -1;
        if (!(Format & DT_NOPREFIX))
            P = StripPrefix(P, Mn);
        if (Format & DT_HIDEPREFIX)
            Mn = -1;
        std::vector<QString> Wrapped;
        if ((Format & DT_WORDBREAK) && !(Format & DT_SINGLELINE))
            WrapParagraph(P, std::max(1, Width), M, Wrapped);
        else
            Wrapped.push_back(P);
        int Offset = 0;
        for (QString &L : Wrapped) {
            TextLine TL;
            const int Pos = int(P.indexOf(L, Offset));
            if (Mn >= 0 && Pos >= 0 && Mn >= Pos && Mn < Pos + L.size())
                TL.Mnemonic = Mn - Pos;
            if (Pos >= 0)
                Offset = Pos + int(L.size());
            TL.Text = L;
            Lines.push_back(TL);
        }
    }
    if (Text.isEmpty())
        Lines.clear();

    // Measuring shapes the text: it is done only where the result is used.
    const bool Ellipsis = Format & (DT_PATH_ELLIPSIS | DT_END_ELLIPSIS | DT_WORD_ELLIPSIS);
    for (TextLine &L : Lines) {
        if (!Ellipsis || M.Width(L.Text) <= Width)
            continue;
        if (Format & DT_PATH_ELLIPSIS) {
            L.Text = PathEllipsis(L.Text, Width, M);
            L.Mnemonic = -1;
        } else if (Format & DT_END_ELLIPSIS) {
            L.Text = EndEllipsis(L.Text, Width, M);
            if (L.Mnemonic >= L.Text.size() - 3)
                L.Mnemonic = -1;
        } else if (Format & DT_WORD_ELLIPSIS) {
            L.Text = WordEllipsis(L.Text, Width, M);
            L.Mnemonic = -1;
        }
    }

    const int TotalHeight = int(Lines.size()) * LineHeight;
    if (Format & DT_CALCRECT) {
        int MaxWidth = 0;
        for (const TextLine &L : Lines)
            MaxWidth = std::max(MaxWidth, M.Width(L.Text));
        R.Right = R.Left + MaxWidth;
        R.Bottom = R.Top + TotalHeight;
        return TotalHeight;
    }

    int Y = R.Top;
    int Result = TotalHeight;
    if (Format & DT_SINGLELINE) {
        if (Format & DT_VCENTER) {
            Y = R.Top + (R.Height() - LineHeight) / 2;
            Result = Y - R.Top + LineHeight;
        } else if (Format & DT_BOTTOM) {
            Y = R.Bottom - LineHeight;
            Result = Y - R.Top + LineHeight;
        }
    }
    if (Lines.empty())
        return Result;

    QPainter *P = Canvas->Painter();
    if (!P)
        return Result;
    P->save();
    if (!(Format & DT_NOCLIP))
        P->setClipRect(R.ToQRect(), P->hasClipping() ? Qt::IntersectClip : Qt::ReplaceClip);
    const bool Opaque = Canvas->BkMode() == OPAQUE && Canvas->Brush()->Color() != clNone;
    const QColor Back = TColorToQColor(Canvas->Brush()->Color());
    const QColor Fore = TColorToQColor(Canvas->Font()->Color());
    P->setFont(Font);
    P->setPen(Fore);
    const bool MultiLine = !(Format & DT_SINGLELINE);
    for (const TextLine &L : Lines) {
        if ((Format & DT_EDITCONTROL) && MultiLine && Y + LineHeight > R.Bottom && Y != R.Top)
            break;
        const bool NeedWidth = (Format & (DT_CENTER | DT_RIGHT)) || Opaque;
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
    return Result;
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
