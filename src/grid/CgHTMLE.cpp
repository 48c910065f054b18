// The mini-HTML renderer. Every read of the text is bounded by its length:
// a tag runs to the next ">" or to the end, a quoted value to the next quote
// or to the end, and each line consumes at least one character, so no markup
// can make it read past the text or loop. Pictures that cannot be found or
// loaded take no room; nothing is reported.

#include "grid/CgHTMLE.h"

#include "grid/GridObj.h"
#include "grid/PictureContainer.h"
#include "platform/graphics/ImgList.h"

#include <QFileIconProvider>
#include <QFontMetrics>
#include <QGlyphRun>
#include <QTextLayout>
#include <QHash>
#include <QFileInfo>
#include <QIcon>
#include <QPainter>

#include <algorithm>
#include <limits>
#include <map>
#include <vector>

namespace {

// ------------------------------------------------------------------ text helpers

bool IsBlank(QChar C) { return C == QLatin1Char(' ') || C == QLatin1Char('\t'); }

struct Entity {
    const char *Name;   // without "&" and ";"
    char16_t Char;
};
const Entity Entities[] = {
    {"amp", u'&'},     {"lt", u'<'},      {"gt", u'>'},      {"nbsp", u' '},   {"quot", u'"'},
    {"sect", u'\u00A7'}, {"permil", u'\u2030'}, {"reg", u'\u00AE'}, {"copy", u'\u00A9'},
    {"para", u'\u00B6'}, {"trade", u'\u2122'}, {"euro", u'\u20AC'},
};

// Length of the entity at S[Pos] (which is "&") and its character; 0 when none.
int EntityAt(const QString &S, int Pos, int End, QChar &Out)
{
    for (const Entity &E : Entities) {
        const int L = int(qstrlen(E.Name));
        if (Pos + L + 1 >= End || S.at(Pos + L + 1) != QLatin1Char(';'))
            continue;
        if (QStringView(S).mid(Pos + 1, L).compare(QLatin1String(E.Name), Qt::CaseInsensitive) == 0) {
            Out = QChar(E.Char);
            return L + 2;
        }
    }
    return 0;
}

// The characters of S[From, To) with entities decoded; RawEnd[i] is the raw
// offset just after decoded character i.
QString DecodeText(const QString &S, int From, int To, std::vector<int> *RawEnd = nullptr)
{
    if (!RawEnd && !QStringView(S).mid(From, To - From).contains(QLatin1Char('&')))
        return S.mid(From, To - From);
    QString Out;
    Out.reserve(To - From);
    if (RawEnd)
        RawEnd->clear();
    int I = From;
    while (I < To) {
        QChar C = S.at(I);
        int Len = 1;
        if (C == QLatin1Char('&')) {
            QChar D;
            if (const int L = EntityAt(S, I, To, D)) {
                C = D;
                Len = L;
            }
        }
        Out.append(C);
        I += Len;
        if (RawEnd)
            RawEnd->push_back(I);
    }
    return Out;
}

QString DecodeAttr(const QString &S) { return S.contains(QLatin1Char('&')) ? DecodeText(S, 0, int(S.size())) : S; }

// The text between the first two double quotes of S from From (to the end
// when the second is missing); empty without a quote.
QString Quoted(const QString &S, int From = 0)
{
    const int Q1 = int(S.indexOf(QLatin1Char('"'), From));
    if (Q1 < 0)
        return QString();
    const int Q2 = int(S.indexOf(QLatin1Char('"'), Q1 + 1));
    return Q2 < 0 ? S.mid(Q1 + 1) : S.mid(Q1 + 1, Q2 - Q1 - 1);
}

// The quoted value of attribute Name (upper case) in a tag; empty when the
// attribute is missing or its value is not quoted.
QString Attr(const QString &Tag, QLatin1String Name)
{
    const QString Upper = Tag.toUpper();
    int From = 0;
    for (;;) {
        const int P = int(Upper.indexOf(Name, From));
        if (P < 0)
            return QString();
        From = P + 1;
        if (P > 0 && !IsBlank(Upper.at(P - 1)) && Upper.at(P - 1) != QLatin1Char('"')
            && Upper.at(P - 1) != QLatin1Char('\r') && Upper.at(P - 1) != QLatin1Char('\n'))
            continue;
        int I = P + int(Name.size());
        while (I < Upper.size() && IsBlank(Upper.at(I)))
            ++I;
        if (I >= Upper.size() || Upper.at(I) != QLatin1Char('='))
            continue;
        ++I;
        while (I < Upper.size() && IsBlank(Upper.at(I)))
            ++I;
        if (I >= Upper.size() || Tag.at(I) != QLatin1Char('"'))
            return QString();
        return Quoted(Tag, I);
    }
}

bool ToInt(const QString &S, int &Value)
{
    bool Ok = false;
    const int V = S.trimmed().toInt(&Ok);
    if (Ok)
        Value = V;
    return Ok;
}

QString EncodeValue(const QString &V)
{
    QString Out;
    Out.reserve(V.size());
    for (QChar C : V) {
        switch (C.unicode()) {
        case u'&': Out += QLatin1String("&amp;"); break;
        case u'"': Out += QLatin1String("&quot;"); break;
        case u'<': Out += QLatin1String("&lt;"); break;
        case u'>': Out += QLatin1String("&gt;"); break;
        default: Out += C;
        }
    }
    return Out;
}

// ------------------------------------------------------------------ renderer

enum { alLeft = 0, alRight = 1, alCenter = 2 };

struct FontState {
    QString Name;
    int Height = -11;        // pixels, as TFont::Height
    TColor Color = clBlack;
    TFontStyles Style;
    int Orientation = 0;
    TFontPitch Pitch = fpDefault;
    bool operator==(const FontState &) const = default;
};

// The Qt font and metrics of a font state, as the canvas would make them.
// Kept for the thread's later calls: fonts are few, and making them is the
// costly part of laying text out.
struct FontMetrics {
    QFont Font;
    QFontMetrics FM;
    int Height;
    int Ascent;
    int Id;        // unique for the thread, never reused
};

// A text piece shaped in a font: its width and the glyphs to draw. Pieces
// are kept for the thread by font and text, because a grid measures and
// paints the same cells over and over and shaping is the costly part;
// nothing of a markup's layout is kept.
struct ShapedText {
    int Width = 0;
    qreal Ascent = 0;
    QList<QGlyphRun> Runs;
};


std::shared_ptr<const FontMetrics> MetricsFor(const FontState &S)
{
    thread_local QHash<QString, std::shared_ptr<FontMetrics>> Cache;
    const QString Key = S.Name + QLatin1Char('|') + QString::number(S.Height) + QLatin1Char('|')
                        + QString::number(int(S.Style)) + QLatin1Char('|') + QString::number(int(S.Pitch));
    auto It = Cache.constFind(Key);
    if (It != Cache.constEnd())
        return *It;
    thread_local int NextId = 0;
    if (Cache.size() > 64)
        Cache.clear();
    TFont F;
    F.SetName(S.Name);
    F.SetHeight(S.Height);
    F.SetStyle(S.Style);
    F.SetPitch(S.Pitch);
    const QFont Q = F.ToQFont();
    const QFontMetrics FM(Q);
    auto M = std::make_shared<FontMetrics>(FontMetrics{Q, FM, FM.height(), FM.ascent(), ++NextId});
    Cache.insert(Key, M);
    return M;
}

const ShapedText &ShapeOf(const FontMetrics &M, const QString &T)
{
    thread_local QHash<QPair<int, QString>, std::shared_ptr<ShapedText>> Cache;
    thread_local qsizetype CachedChars = 0;
    thread_local ShapedText Scratch;
    // Long pieces are shaped afresh each time; the cache holds up to a
    // bounded number of characters.
    const bool Keep = T.size() <= 256;
    const QPair<int, QString> Key(M.Id, Keep ? T : QString());
    if (Keep) {
        auto It = Cache.constFind(Key);
        if (It != Cache.constEnd())
            return **It;
        if (Cache.size() > 20000 || CachedChars > 400000) {
            Cache.clear();
            CachedChars = 0;
        }
    }
    auto Shaped = std::make_shared<ShapedText>();
    if (!T.isEmpty()) {
        // One shaping gives both the width (as QFontMetrics measures it,
        // trailing blanks included) and the glyphs.
        QTextLayout Layout(T, M.Font);
        QTextOption Option;
        Option.setWrapMode(QTextOption::NoWrap);
        Option.setFlags(QTextOption::IncludeTrailingSpaces);
        Layout.setTextOption(Option);
        Layout.beginLayout();
        QTextLine Line = Layout.createLine();
        Layout.endLayout();
        if (Line.isValid()) {
            Shaped->Width = qRound(Line.horizontalAdvance());
            Shaped->Ascent = Line.ascent();
            Shaped->Runs = Layout.glyphRuns();
        }
    }
    if (!Keep) {
        Scratch = *Shaped;
        return Scratch;
    }
    CachedChars += T.size();
    Cache.insert(Key, Shaped);
    return *Shaped;
}


struct SavedColors {
    FontState Font;
    TColor Back = clNone;
};

struct State {
    FontState Font;
    TColor Back = clNone;
    std::vector<SavedColors> FontStack;   // FONT nesting
    TColor PBack = clNone;
    SavedColors HISaved, LinkSaved, BlinkSaved;
    bool InHI = false, InBlink = false;
    int ListLevel = 0;
    int Align = alLeft;
    int Indent = 0;
    bool Sup = false, Sub = false, Shadow = false, Hidden = false, Error = false;
    int Link = 0;            // number of the open link, 0 outside links
    int LinkCount = 0;
    TRect LinkRect;
};

struct LineInfo {
    int Width = 0;
    int Height = 0;
    int Above = 0;
    int Below = 0;
    int Align = alLeft;
    int Indent = 0;
    int End = 0;
    bool Content = false;
};

class Renderer {
public:
    TCanvas *C;
    QString S;
    TRect R;
    TImageList *Images;
    TPictureContainer *Pictures;
    THTMLPictureCache *Cache;
    int XPos, YPos;
    bool CheckAnchor;
    int FocusLink, HoverLink;
    TColor HoverColor, HoverFontColor;
    bool HoverUnderline;
    TColor URLColor, ShadowColor;
    int ShadowOffset;
    bool BlinkOn, Calc, Print, WordWrap;
    unsigned Flags;
    double ResFactor;
    THTMLDrawResult &Out;

    State St;
    TColor BlinkColor = clWindow;
    int GH = 0;                // TextHeight("gh") of the base font
    bool Hit = false;
    int HitLink = 0;

    Renderer(THTMLDrawResult &AOut) : Out(AOut) {}

    // The canvas font follows the state only where the canvas draws text itself.
    void ApplyFont()
    {
        TFont *F = C->Font();
        const FontState &W = St.Font;
        if (F->Name() != W.Name)
            F->SetName(W.Name);
        if (F->Height() != W.Height)
            F->SetHeight(W.Height);
        if (F->Color() != W.Color)
            F->SetColor(W.Color);
        if (F->Style() != W.Style)
            F->SetStyle(W.Style);
        if (F->Orientation() != W.Orientation)
            F->SetOrientation(W.Orientation);
        CanvasFontChanged = true;
    }
    bool CanvasFontChanged = false;
    // The metrics of the current font (looked up again only when the font changes).
    mutable std::shared_ptr<const FontMetrics> LastMetrics;
    mutable FontState LastFont;
    const FontMetrics &Metrics() const
    {
        const FontState &F = St.Font;
        if (!LastMetrics || F.Height != LastFont.Height || F.Style != LastFont.Style || F.Pitch != LastFont.Pitch
            || F.Name != LastFont.Name) {
            LastMetrics = MetricsFor(F);
            LastFont = F;
        }
        return *LastMetrics;
    }
    int Width(const QString &T) const { return ShapeOf(Metrics(), T).Width; }
    QPainter *Painter = nullptr;

    bool Painting() const { return !Calc && !CheckAnchor; }

    // ---- pictures

    struct Pic {
        THTMLPicture *Picture = nullptr;
        int ImageIndex = -1;
        QString ShellFile;
        bool LargeIcon = false;
        int W = 0, H = 0;
    };

    bool FindPicture(const QString &Src, Pic &P)
    {
        const QString Upper = Src.toUpper();
        const double F = ResFactor > 0 ? ResFactor : 1.0;
        if (Upper.startsWith(QLatin1String("IDX:"))) {
            int N = -1;
            if (!Images || !ToInt(Src.mid(4), N) || N < 0 || N >= Images->Count())
                return false;
            P.ImageIndex = N;
            P.W = int(Images->Width() * F);
            P.H = int(Images->Height() * F);
            return true;
        }
        if (Upper.startsWith(QLatin1String("SSYS:")) || Upper.startsWith(QLatin1String("LSYS:"))) {
            P.ShellFile = Src.mid(5);
            P.LargeIcon = Upper.startsWith(QLatin1Char('L'));
            TSize Size;
            DrawShellIcon(C, 0, 0, Size, F, F != 1.0, false, P.LargeIcon, P.ShellFile);
            P.W = Size.cx;
            P.H = Size.cy;
            return true;
        }
        if (Src.contains(QLatin1Char(':'))) {
            if (!Cache)
                return false;
            THTMLPicture *Found = Cache->FindPicture(Src);
            if (!Found) {
                Found = Cache->AddPicture();
                Found->ID = Src;
                try {
                    Found->LoadFromURL(Src);
                } catch (const Exception &) {
                    // Stays empty: a picture that cannot be loaded takes no room.
                }
            }
            if (Found->Empty())
                return false;
            P.Picture = Found;
        } else {
            if (!Pictures)
                return false;
            P.Picture = Pictures->FindPicture(Src);
            if (!P.Picture || P.Picture->Empty())
                return false;
        }
        P.W = int(P.Picture->Width() * F);
        P.H = int(P.Picture->Height() * F);
        return true;
    }

    void DrawPicture(const Pic &P, const TRect &Box)
    {
        if (P.ImageIndex >= 0) {
            if (QPainter *Q = C->Painter())
                Q->drawImage(Box.ToQRect(), Images->Image(P.ImageIndex));
        } else if (!P.ShellFile.isEmpty()) {
            TSize Size;
            DrawShellIcon(C, Box.Left, Box.Top, Size, Box.Width() / double(P.LargeIcon ? 32 : 16), true, true,
                          P.LargeIcon, P.ShellFile);
        } else if (P.Picture) {
            P.Picture->Draw(*C, Box);
        }
    }

    // ---- controls

    struct Control {
        QString Type, ID, Value;
        int W = 0, H = 0;
    };

    Control ControlOf(const QString &Tag)
    {
        Control K;
        QString WidthText;
        ParseControlTag(Tag, K.Type, K.ID, WidthText, K.Value);
        int W = 0;
        const bool HasWidth = ToInt(WidthText, W) && W > 0;
        if (K.Type == QLatin1String("CHECK") || K.Type == QLatin1String("RADIO")) {
            K.W = HasWidth ? W : 16;
            K.H = 16;
        } else {
            const int Text = Width(K.Value) + 8;
            if (K.Type == QLatin1String("COMBO")) {
                K.W = HasWidth ? W : Text + 17;
                K.H = 25;
            } else if (K.Type == QLatin1String("BUTTON")) {
                K.W = HasWidth ? W : Text + 8;
                K.H = 24;
            } else {
                K.W = HasWidth ? W : Text;
                K.H = GH + 6;
            }
        }
        return K;
    }

    void DrawControl(const Control &K, const TRect &Box)
    {
        const bool Themed = GridXPVS::IsThemeActive();
        const TColor OldBrush = C->Brush()->Color();
        const TBrushStyle OldStyle = C->Brush()->Style();
        ApplyFont();
        auto TextIn = [&](TRect T, unsigned Align) {
            C->Brush()->SetStyle(bsClear);
            DrawText(C, K.Value, T, Align | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX | DT_END_ELLIPSIS);
        };
        if (K.Type == QLatin1String("CHECK") || K.Type == QLatin1String("RADIO")) {
            const bool On = K.Value.compare(QLatin1String("TRUE"), Qt::CaseInsensitive) == 0;
            const bool Radio = K.Type == QLatin1String("RADIO");
            const TRect Sq(Box.Left, Box.Top, Box.Left + 16, Box.Top + 16);
            if (!(Themed && GridXPVS::DrawThemeBackground(C, Radio ? GridXPVS::tpRadioButton : GridXPVS::tpCheckBox,
                                                          On ? unsigned(GridXPVS::tsChecked) : 0u, Sq)))
                DrawFrameControl(C, Sq, DFC_BUTTON,
                                 (Radio ? DFCS_BUTTONRADIO : DFCS_BUTTONCHECK) | (On ? DFCS_CHECKED : 0u));
        } else if (K.Type == QLatin1String("BUTTON")) {
            if (!(Themed && GridXPVS::DrawThemeBackground(C, GridXPVS::tpButton, 0, Box)))
                DrawFrameControl(C, Box, DFC_BUTTON, DFCS_BUTTONPUSH);
            TextIn(Box, DT_CENTER);
        } else {
            const bool Combo = K.Type == QLatin1String("COMBO");
            C->Brush()->SetStyle(bsSolid);
            C->Brush()->SetColor(clWindow);
            C->FillRect(Box);
            if (!(Themed && GridXPVS::DrawThemeBackground(C, GridXPVS::tpEdit, 0, Box))) {
                TRect E = Box;
                DrawEdge(C, E, EDGE_SUNKEN, BF_RECT);
            }
            TRect T = Box;
            InflateRect(T, -3, -2);
            if (Combo) {
                const TRect B(Box.Right - 19, Box.Top + 2, Box.Right - 2, Box.Bottom - 2);
                T.Right = B.Left - 1;
                if (!(Themed && GridXPVS::DrawThemeBackground(C, GridXPVS::tpComboButton, 0, B)))
                    DrawFrameControl(C, B, DFC_SCROLL, DFCS_SCROLLCOMBOBOX);
            }
            const TColor OldFont = C->Font()->Color();
            C->Font()->SetColor(clWindowText);
            TextIn(T, DT_LEFT);
            C->Font()->SetColor(OldFont);
        }
        C->Brush()->SetColor(OldBrush);
        C->Brush()->SetStyle(OldStyle);
        C->Brush()->SetColor(clNone);
    }

    // ---- one text piece

    void DrawPiece(const QString &Text, int X, int W, int Bottom, int TH)
    {
        if (St.Hidden || X >= R.Right || Text.isEmpty())
            return;
        // The piece's box ends at the rectangle: text beyond is clipped, or
        // ends in "..." with the ellipsis flag.
        const TRect Box(X, Bottom - TH, std::min(X + W, R.Right), Bottom);
        if (St.Back != clNone) {
            C->Brush()->SetColor(St.Back);
            C->FillRect(TRect(X, Bottom - TH, std::min(X + W, R.Right), Bottom));
            C->Brush()->SetColor(clNone);
        }
        // A piece that fits and holds no tab is drawn straight at its baseline
        // (what DrawText would draw); others go through DrawText for clipping,
        // the ellipsis and tabs, and rotated text through TextOut.
        const bool Straight = St.Font.Orientation == 0 && X + W <= R.Right && !Text.contains(QLatin1Char('\t'));
        const FontMetrics &M = Metrics();
        if (Straight && !Painter)
            Painter = C->Painter();
        QPainter *P = Straight ? Painter : nullptr;
        if (!Straight)
            ApplyFont();
        auto Output = [&](int DX, int DY, TColor Color) {
            if (P) {
                const ShapedText &Shaped = ShapeOf(M, Text);
                P->setPen(TColorToQColor(Color));
                const QPointF At(X + DX, Bottom - M.Height + M.Ascent - Shaped.Ascent + DY);
                for (const QGlyphRun &Run : Shaped.Runs)
                    P->drawGlyphRun(At, Run);
                return;
            }
            C->Font()->SetColor(Color);
            TRect B = Box;
            OffsetRect(B, DX, DY);
            if (St.Font.Orientation != 0)
                C->TextOut(B.Left, B.Top, Text);
            else
                DrawText(C, Text, B, Flags);
        };
        if (St.Shadow)
            Output(ShadowOffset, ShadowOffset, ShadowColor);
        Output(0, 0, St.Font.Color);
        if (St.Error) {
            // Zig-zag in steps of 2 pixels; the phase follows x so that pieces join.
            const TColor OldPen = C->Pen()->Color();
            C->Pen()->SetColor(0x0000FF);
            const int X0 = X & ~1, X1 = std::min(X + W, R.Right);
            auto YAt = [&](int PX) { return (PX & 2) ? Bottom - 3 : Bottom - 1; };
            C->MoveTo(X0, YAt(X0));
            for (int PX = X0 + 2; PX <= X1 + 1; PX += 2)
                C->LineTo(PX, YAt(PX));
            C->Pen()->SetColor(OldPen);
        }
    }

    void NoteRect(const TRect &Box)
    {
        if (!St.Link)
            return;
        if (St.LinkRect.IsEmpty())
            St.LinkRect = Box;
        else
            St.LinkRect = TRect(std::min(St.LinkRect.Left, Box.Left), std::min(St.LinkRect.Top, Box.Top),
                                std::max(St.LinkRect.Right, Box.Right), std::max(St.LinkRect.Bottom, Box.Bottom));
        if (CheckAnchor && !Hit && PtInRect(Box, TPoint(XPos, YPos))) {
            Hit = true;
            HitLink = St.Link;
        }
        if (HitLink == St.Link) {
            Out.LinkIndex = St.Link;
            Out.LinkRect = St.LinkRect;
        }
    }

    // ---- colours of tag values

    static bool ReadColor(const QString &V, TColor &Color)
    {
        if (V.startsWith(QLatin1Char('#'))) {
            Color = ColorFromHex(V);
            return true;
        }
        if (V.startsWith(QLatin1String("cl"), Qt::CaseInsensitive)) {
            Color = ColorFromName(V);
            return true;
        }
        return false;
    }

    void EndLink()
    {
        if (!St.Link)
            return;
        if (Painting() && !Print && St.Link == FocusLink && !St.LinkRect.IsEmpty())
            DrawFocusRect(C, St.LinkRect);
        St.Font = St.LinkSaved.Font;
        St.Back = St.LinkSaved.Back;
        St.Link = 0;
        St.LinkRect = TRect();
    }

    // ---- one line

    // Lays out (Paint false) or draws (Paint true) one line from Pos. In the
    // paint pass M is the measured line and X0/Y its start.
    int RunLine(int Pos, bool Paint, int X0, int Y, const LineInfo &M, LineInfo &L)
    {
        const int N = int(S.size());
        const int Limit = Paint ? M.End : N;
        L.Align = St.Align;
        L.Indent = St.Indent;
        int X = 0;   // relative to the line's start
        const int Bottom = Y + M.Above + M.Height;
        const int Right = R.Right - X0;   // room of the line, relative
        while (Pos < Limit) {
            if (S.at(Pos) == QLatin1Char('<')) {
                int End = int(S.indexOf(QLatin1Char('>'), Pos + 1));
                if (End < 0)
                    End = N;
                const QString Tag = S.mid(Pos + 1, End - Pos - 1);
                Pos = std::min(N, End + 1);
                bool EndsLine = false;
                HandleTag(Tag, Paint, X0, X, Y, Bottom, M, L, EndsLine);
                if (EndsLine)
                    break;
                continue;
            }
            // A text piece: to the next "<", or with word wrap to just after the next blank.
            int PieceEnd = NextTag(Pos);
            if (PieceEnd < 0 || PieceEnd > Limit)
                PieceEnd = Limit;
            if (WordWrap) {
                int B = Pos;
                while (B < PieceEnd && !IsBlank(S.at(B)))
                    ++B;
                while (B < PieceEnd && IsBlank(S.at(B)))
                    ++B;
                PieceEnd = B;
                // A piece longer than the room (one pixel per character at least)
                // is measured only as far as it can matter.
                const int Room = std::max(1, Right - X);
                if (PieceEnd - Pos > Room + 8) {
                    const int Cap = Pos + Room + 8;
                    const QString Head = DecodeText(S, Pos, Cap);
                    if (Width(Head) > Room) {
                        if (L.Content)
                            break;
                        Pos = SplitPiece(Pos, Cap, Room, Paint, X0, X, Bottom, L);
                        break;
                    }
                }
            }
            const QString Text = DecodeText(S, Pos, PieceEnd);
            const int W = Width(Text);
            const int TH = Metrics().Height;
            if (WordWrap) {
                QString Trimmed = Text;
                while (!Trimmed.isEmpty() && IsBlank(Trimmed.back()))
                    Trimmed.chop(1);
                const int TW = Trimmed.size() == Text.size() ? W : Width(Trimmed);
                if (X + TW > Right && X > 0 && L.Content)
                    break;
                if (X + TW > Right && !Trimmed.isEmpty()) {
                    Pos = SplitPiece(Pos, PieceEnd, std::max(1, Right - X), Paint, X0, X, Bottom, L);
                    break;
                }
            }
            Piece(Text, W, TH, Paint, X0, X, Bottom, L);
            Pos = PieceEnd;
        }
        L.Width = X;
        L.End = Pos;
        if (L.Height == 0)
            L.Height = GH;
        return Pos;
    }

    // The position of the first "<" at or after Pos (-1: none). The last
    // answer holds for every position up to it, so a line of many words
    // looks through the text once, not once per word.
    int NextTag(int Pos)
    {
        if (Pos < TagFrom || (TagAt >= 0 && Pos > TagAt)) {
            TagFrom = Pos;
            TagAt = int(S.indexOf(QLatin1Char('<'), Pos));
        }
        return TagAt;
    }
    int TagFrom = std::numeric_limits<int>::max(), TagAt = -1;

    // Puts the longest head of Text (at least one character) that fits Room on this line.
    int SplitPiece(int From, int To, int Room, bool Paint, int X0, int &X, int Bottom, LineInfo &L)
    {
        std::vector<int> RawEnd;
        const QString Text = DecodeText(S, From, To, &RawEnd);
        // The head is found by adding up the advances of its characters; its
        // shaped width, as it is drawn, then decides the last character or two.
        auto Step = [&](int At) { return At + 1 < Text.size() && Text.at(At).isHighSurrogate() ? 2 : 1; };
        const QFontMetricsF FM(Metrics().Font);
        qreal Sum = 0;
        int Lo = 0;
        while (Lo < Text.size()) {
            const int Len = Step(Lo);
            const qreal A = Len == 1 ? FM.horizontalAdvance(Text.at(Lo)) : FM.horizontalAdvance(Text.mid(Lo, 2));
            if (qRound(Sum + A) > Room)
                break;
            Sum += A;
            Lo += Len;
        }
        while (Lo > 1 && Width(Text.left(Lo)) > Room)
            Lo -= Lo >= 2 && Text.at(Lo - 2).isHighSurrogate() ? 2 : 1;
        while (Lo < Text.size() && Width(Text.left(Lo + Step(Lo))) <= Room)
            Lo += Step(Lo);
        // At least one character, and never half a surrogate pair.
        if (Lo == 0)
            Lo = std::min(int(Text.size()), Step(0));
        const QString Head = Text.left(Lo);
        Piece(Head, Width(Head), Metrics().Height, Paint, X0, X, Bottom, L);
        return RawEnd[size_t(Lo - 1)];
    }

    void Piece(const QString &Text, int W, int TH, bool Paint, int X0, int &X, int Bottom, LineInfo &L)
    {
        L.Content = true;
        L.Height = std::max(L.Height, TH);
        if (St.Sup)
            L.Above = std::max(L.Above, TH / 4);
        if (St.Sub)
            L.Below = std::max(L.Below, TH / 4);
        if (Paint) {
            int B = Bottom;
            if (St.Sub)
                B += TH / 4;
            if (St.Sup)
                B -= TH / 4;
            if (Painting())
                DrawPiece(Text, X0 + X, W, B, TH);
            NoteRect(TRect(X0 + X, B - TH, X0 + X + W, B));
        }
        X += W;
    }

    void HandleTag(const QString &Tag, bool Paint, int X0, int &X, int Y, int Bottom, const LineInfo &M,
                   LineInfo &L, bool &EndsLine)
    {
        bool Closing = false;
        int I = 0;
        while (I < Tag.size() && IsBlank(Tag.at(I)))
            ++I;
        if (I < Tag.size() && Tag.at(I) == QLatin1Char('/')) {
            Closing = true;
            ++I;
        }
        int J = I;
        while (J < Tag.size() && Tag.at(J).isLetterOrNumber())
            ++J;
        const QString Name = Tag.mid(I, J - I).toUpper();
        if (Name.isEmpty())
            return;
        FontState &F = St.Font;
        auto Style = [&](TFontStyle S, bool On) { F.Style = On ? (F.Style | S) : (F.Style & ~TFontStyles(S)); };
        if (Closing) {
            if (Name == QLatin1String("A"))
                EndLink();
            else if (Name == QLatin1String("B"))
                Style(fsBold, false);
            else if (Name == QLatin1String("I"))
                Style(fsItalic, false);
            else if (Name == QLatin1String("U"))
                Style(fsUnderline, false);
            else if (Name == QLatin1String("S"))
                Style(fsStrikeOut, false);
            else if (Name == QLatin1String("FONT")) {
                if (!St.FontStack.empty()) {
                    F = St.FontStack.back().Font;
                    St.Back = St.FontStack.back().Back;
                    St.FontStack.pop_back();
                }
            } else if (Name == QLatin1String("HI")) {
                if (St.InHI) {
                    F.Color = St.HISaved.Font.Color;
                    St.Back = St.HISaved.Back;
                    St.InHI = false;
                }
            } else if (Name == QLatin1String("P")) {
                St.Back = St.PBack;
                St.Align = alLeft;
                St.Indent = 0;
                EndsLine = true;
            } else if (Name == QLatin1String("UL"))
                St.ListLevel = std::max(0, St.ListLevel - 1);
            else if (Name == QLatin1String("SUB") || Name == QLatin1String("SUP"))
                St.Sub = St.Sup = false;
            else if (Name == QLatin1String("SHAD"))
                St.Shadow = false;
            else if (Name == QLatin1String("R"))
                F.Orientation = 0;
            else if (Name == QLatin1String("E"))
                St.Error = false;
            else if (Name == QLatin1String("Z"))
                St.Hidden = false;
            else if (Name == QLatin1String("BLINK")) {
                if (St.InBlink) {
                    F.Color = St.BlinkSaved.Font.Color;
                    St.InBlink = false;
                }
            }
            return;
        }
        if (Name == QLatin1String("A")) {
            EndLink();
            ++St.LinkCount;
            St.Link = St.LinkCount;
            St.LinkSaved = {F, St.Back};
            St.LinkRect = TRect();
            const bool Hovered = St.Link == HoverLink;
            if (!HoverUnderline || Hovered)
                Style(fsUnderline, true);
            if (!Print) {
                if (Hovered && HoverColor != clNone)
                    St.Back = HoverColor;
                F.Color = Hovered && HoverFontColor != clNone ? HoverFontColor : URLColor;
            }
            // The anchor value: the text between the tag's first two double quotes.
            AnchorOf[St.Link] = DecodeAttr(Quoted(Tag));
        } else if (Name == QLatin1String("B")) {
            Style(fsBold, true);
        } else if (Name == QLatin1String("BR")) {
            EndsLine = true;
        } else if (Name == QLatin1String("BLINK")) {
            if (!BlinkOn && !St.InBlink) {
                St.BlinkSaved.Font = F;
                St.InBlink = true;
                F.Color = BlinkColor;
            }
        } else if (Name == QLatin1String("BODY")) {
            TColor Back;
            if (Paint && Painting() && ReadColor(Attr(Tag, QLatin1String("BGCOLOR")), Back)) {
                C->Brush()->SetColor(Back);
                C->FillRect(R);
                C->Brush()->SetColor(clNone);
            }
            const QString Src = Attr(Tag, QLatin1String("BACKGROUND"));
            Pic P;
            if (Paint && Painting() && !Src.isEmpty() && FindPicture(Src, P) && P.W > 0 && P.H > 0) {
                QPainter *Q = C->Painter();
                Q->save();
                Q->setClipRect(R.ToQRect(), Q->hasClipping() ? Qt::IntersectClip : Qt::ReplaceClip);
                DrawPicture(P, TRect(R.Left, R.Top, R.Left + P.W, R.Top + P.H));
                Q->restore();
            }
        } else if (Name == QLatin1String("CONTROL")) {
            const Control K = ControlOf(Tag);
            L.Content = true;
            L.Height = std::max(L.Height, K.H);
            if (Paint) {
                const TRect Box(X0 + X, Bottom - K.H, X0 + X + K.W, Bottom);
                if (Painting())
                    DrawControl(K, Box);
                if (CheckAnchor && !Hit && PtInRect(Box, TPoint(XPos, YPos))) {
                    Hit = true;
                    HitLink = -1;
                    Out.AnchorVal = QStringLiteral("ctrl");
                    Out.CtrlID = K.ID;
                    Out.CtrlType = K.Type;
                    Out.CtrlValue = K.Value;
                    Out.LinkRect = Box;
                }
            }
            X += K.W;
        } else if (Name == QLatin1String("E")) {
            St.Error = true;
        } else if (Name == QLatin1String("FONT")) {
            if (St.FontStack.size() < 256)
                St.FontStack.push_back({F, St.Back});
            const QString Face = Attr(Tag, QLatin1String("FACE"));
            if (!Face.isEmpty())
                F.Name = Face;
            int Size = 0;
            if (ToInt(Attr(Tag, QLatin1String("SIZE")), Size) && Size > 0) {
                static const int Points[] = {8, 10, 12, 14, 16};
                TFont Sized;
                Sized.SetSize(Size >= 1 && Size <= 5 ? Points[Size - 1] : std::min(Size, 1000));
                F.Height = Sized.Height();
            }
            TColor Col;
            if (ReadColor(Attr(Tag, QLatin1String("COLOR")), Col))
                F.Color = Col;
            if (ReadColor(Attr(Tag, QLatin1String("BGCOLOR")), Col))
                St.Back = Col;
        } else if (Name == QLatin1String("HI")) {
            if (!St.InHI) {
                St.HISaved = {F, St.Back};
                St.InHI = true;
            }
            F.Color = clHighlightText;
            St.Back = clHighlight;
        } else if (Name == QLatin1String("HR")) {
            if (Paint && Painting()) {
                const int HY = Y + M.Above + M.Height / 2;
                C->MoveTo(R.Left, HY);
                C->LineTo(R.Right, HY);
            }
            L.Content = true;
            EndsLine = true;
        } else if (Name == QLatin1String("I")) {
            Style(fsItalic, true);
        } else if (Name == QLatin1String("IND")) {
            const int XAt = int(Tag.indexOf(QLatin1Char('x'), 0, Qt::CaseInsensitive));
            int N = 0;
            if (ToInt(Quoted(Tag, std::max(0, XAt)), N) && X < N)
                X = N;
        } else if (Name == QLatin1String("IMG")) {
            Pic P;
            if (!FindPicture(Attr(Tag, QLatin1String("SRC")), P))
                return;
            int V = 0;
            if (ToInt(Attr(Tag, QLatin1String("WIDTH")), V) && V >= 0)
                P.W = V;
            if (ToInt(Attr(Tag, QLatin1String("HEIGHT")), V) && V >= 0)
                P.H = V;
            const QString Align = Attr(Tag, QLatin1String("ALIGN")).toUpper();
            L.Content = true;
            int Top = Bottom - P.H;
            if (Align == QLatin1String("TOP")) {
                L.Height = std::max(L.Height, GH);
                L.Below = std::max(L.Below, P.H - GH);
                Top = Bottom - GH;
            } else if (Align == QLatin1String("MIDDLE")) {
                const int Extra = std::max(0, P.H - GH);
                L.Height = std::max(L.Height, P.H - Extra / 2);
                L.Below = std::max(L.Below, Extra / 2);
                Top = Bottom - (P.H - Extra / 2);
            } else {
                L.Height = std::max(L.Height, P.H);
            }
            if (Paint && Painting() && X0 + X < R.Right)
                DrawPicture(P, TRect(X0 + X, Top, X0 + X + P.W, Top + P.H));
            X += P.W;
        } else if (Name == QLatin1String("LI")) {
            X += 12 * std::max(1, St.ListLevel);
            if (Paint && Painting()) {
                const QString Bullet = St.ListLevel % 2 == 0 && St.ListLevel > 0 ? QStringLiteral("o")
                                                                               : QString(QChar(0x2022));
                ApplyFont();
                TRect B(X0 + X - 12, Bottom - Metrics().Height, X0 + X, Bottom);
                DrawText(C, Bullet, B, Flags);
            }
        } else if (Name == QLatin1String("P")) {
            const QString A = Attr(Tag, QLatin1String("ALIGN")).toUpper();
            if (A.contains(QLatin1String("RIGHT")))
                St.Align = alRight;
            if (A.contains(QLatin1String("LEFT")))
                St.Align = alLeft;
            if (A.contains(QLatin1String("CENTER")))
                St.Align = alCenter;
            int Ind = 0;
            if (ToInt(Attr(Tag, QLatin1String("INDENT")), Ind))
                St.Indent = std::clamp(Ind, 0, 0xFFFF);
            L.Align = St.Align;
            L.Indent = St.Indent;
            St.PBack = St.Back;
            const QString BG = Attr(Tag, QLatin1String("BGCOLOR"));
            if (!BG.isEmpty()) {
                const TColor Back = BG.startsWith(QLatin1Char('#')) ? ColorFromHex(BG) : ColorFromName(BG);
                St.Back = Back;
                if (Paint && Painting()) {
                    C->Brush()->SetColor(Back);
                    C->FillRect(TRect(X0 + X, Y, R.Right, Y + M.Above + M.Height + M.Below));
                    C->Brush()->SetColor(clNone);
                }
            }
        } else if (Name == QLatin1String("R")) {
            const int AAt = int(Tag.indexOf(QLatin1Char('a'), 0, Qt::CaseInsensitive));
            int N = 0;
            if (AAt >= 0 && ToInt(Quoted(Tag, AAt), N))
                F.Orientation = (N % 360) * 10;
        } else if (Name == QLatin1String("S")) {
            Style(fsStrikeOut, true);
        } else if (Name == QLatin1String("SHAD")) {
            St.Shadow = true;
        } else if (Name == QLatin1String("SUB")) {
            St.Sub = true;
        } else if (Name == QLatin1String("SUP")) {
            St.Sup = true;
        } else if (Name == QLatin1String("U")) {
            Style(fsUnderline, true);
        } else if (Name == QLatin1String("UL")) {
            St.ListLevel = std::min(St.ListLevel + 1, 64);
        } else if (Name == QLatin1String("Z")) {
            St.Hidden = true;
        }
    }

    std::map<int, QString> AnchorOf;

    bool Run()
    {
        const int N = int(S.size());
        int Pos = 0;
        int Y = R.Top;
        int Width = 0, Height = 0;
        while (Pos < N) {
            const State Start = St;
            const LineInfo None;
            LineInfo M;
            const int End = RunLine(Pos, false, R.Left, Y, None, M);
            int X0 = R.Left;
            if (M.Align == alRight)
                X0 = std::max(R.Left, R.Right - M.Width);
            else if (M.Align == alCenter && (R.Width() - M.Width) / 2 > 0)
                X0 = R.Left + (R.Width() - M.Width) / 2;
            X0 += M.Indent;
            Width = std::max(Width, M.Width + M.Indent);
            if (!Calc) {
                St = Start;
                LineInfo P;
                RunLine(Pos, true, X0, Y, M, P);
            }
            const int Advance = M.Above + M.Height + M.Below;
            Y += Advance;
            Height += Advance;
            Pos = std::max(End, Pos + 1);
            if (!Calc && Y + GH > R.Bottom)
                break;
        }
        if (St.Link)
            EndLink();
        if (Height == 0)
            Height = GH;
        Out.XSize = Width;
        Out.YSize = Height;
        Out.HyperLinks = St.LinkCount;
        if (Hit && HitLink > 0) {
            Out.AnchorVal = AnchorOf[HitLink];
            Out.MouseInAnchor = true;
        } else if (Hit) {
            Out.MouseInAnchor = true;
        }
        return Hit;
    }
};

} // namespace

// =================================================================== HTMLDrawEx

bool HTMLDrawEx(TCanvas *Canvas, const QString &Text, const TRect &R, TImageList *Images,
                TPictureContainer *Pictures, THTMLPictureCache *Cache, int XPos, int YPos, bool CheckAnchor,
                int FocusLink, int HoverLink, TColor HoverColor, TColor HoverFontColor, bool HoverUnderline,
                TColor URLColor, TColor ShadowColor, int ShadowOffset, bool BlinkOn, bool Calc, bool Print,
                bool WordWrap, bool EndEllipsis, double ResFactor, THTMLDrawResult &Result)
{
    Result = THTMLDrawResult();
    if (!Canvas)
        return false;
    Renderer Rd(Result);
    Rd.C = Canvas;
    Rd.R = R;
    Rd.Images = Images;
    Rd.Pictures = Pictures;
    Rd.Cache = Cache;
    Rd.XPos = XPos;
    Rd.YPos = YPos;
    Rd.CheckAnchor = CheckAnchor;
    Rd.FocusLink = FocusLink;
    Rd.HoverLink = HoverLink;
    Rd.HoverColor = HoverColor;
    Rd.HoverFontColor = HoverFontColor;
    Rd.HoverUnderline = HoverUnderline;
    Rd.URLColor = URLColor;
    Rd.ShadowColor = ShadowColor;
    Rd.ShadowOffset = ShadowOffset;
    Rd.BlinkOn = BlinkOn;
    Rd.Calc = Calc;
    Rd.Print = Print;
    Rd.WordWrap = WordWrap;
    Rd.ResFactor = ResFactor;
    Rd.Flags = DT_BOTTOM | DT_SINGLELINE | DT_EXPANDTABS | DT_NOPREFIX | (EndEllipsis ? DT_END_ELLIPSIS : 0u);

    // Preparation: a footer template "<#name>" shows as "#name"; line ends
    // become line-break tags (or go when lines are not broken).
    QString S = Text;
    if (const int T = int(S.indexOf(QLatin1String("<#"))); T >= 0) {
        S.remove(T, 1);
        const int G = int(S.indexOf(QLatin1Char('>'), T));
        if (G >= 0)
            S.remove(G, 1);
    }
    if (S.contains(QLatin1Char('\r')) || S.contains(QLatin1Char('\n'))) {
        S.remove(QLatin1Char('\n'));
        S.replace(QLatin1String("\r"), WordWrap ? QStringLiteral("<BR>") : QString());
    }
    Rd.S = S;

    const TFont Base(*Canvas->Font());
    const TColor OldBrush = Canvas->Brush()->Color();
    const TBrushStyle OldBrushStyle = Canvas->Brush()->Style();
    const int OldBk = Canvas->BkMode();
    Rd.BlinkColor = OldBrush == clNone || OldBrushStyle == bsClear ? clWindow : OldBrush;
    Rd.GH = Canvas->TextHeight(QStringLiteral("gh"));
    Rd.St.Font = {Base.Name(), Base.Height(), Base.Color(), Base.Style(), Base.Orientation(), Base.Pitch()};
    Canvas->Brush()->SetColor(clNone);
    Canvas->SetBkMode(TRANSPARENT);
    const bool Hit = Rd.Run();
    if (Rd.CanvasFontChanged)
        Canvas->SetFont(Base);
    Canvas->Brush()->SetColor(OldBrush);
    Canvas->Brush()->SetStyle(OldBrushStyle);
    Canvas->SetBkMode(OldBk);
    return Hit;
}

TSize HTMLTextSize(TCanvas *Canvas, const QString &Text, const TRect &R, bool WordWrap)
{
    THTMLDrawResult Res;
    HTMLDrawEx(Canvas, Text, R, nullptr, nullptr, nullptr, 0, 0, false, 0, 0, clNone, clNone, false, clBlue, clGray,
               1, true, true, false, WordWrap, false, 1.0, Res);
    return TSize(Res.XSize, Res.YSize);
}

// =================================================================== helpers

QString HTMLStrip(const QString &Text)
{
    QString S = Text;
    if (!S.contains(QLatin1Char('<')))
        return S;
    S.replace(QLatin1String("<BR>"), QLatin1String("\r\n"), Qt::CaseInsensitive);
    S.replace(QLatin1String("<HR>"), QLatin1String("\r\n"), Qt::CaseInsensitive);
    QString Out;
    Out.reserve(S.size());
    int I = 0;
    const int N = int(S.size());
    while (I < N) {
        const int Lt = int(S.indexOf(QLatin1Char('<'), I));
        if (Lt < 0) {
            Out += QStringView(S).mid(I);
            break;
        }
        Out += QStringView(S).mid(I, Lt - I);
        const int Gt = int(S.indexOf(QLatin1Char('>'), Lt + 1));
        if (Gt < 0)
            break;   // text after an unclosed "<" is dropped
        I = Gt + 1;
    }
    return Out;
}

void ParseControlTag(const QString &Tag, QString &Type, QString &ID, QString &Width, QString &Value)
{
    Type = Attr(Tag, QLatin1String("TYPE")).toUpper();
    Width = Attr(Tag, QLatin1String("WIDTH"));
    ID = Attr(Tag, QLatin1String("ID"));
    Value = DecodeAttr(Attr(Tag, QLatin1String("VALUE")));
}

bool SetControlValue(QString &HTMLText, const QString &ID, const QString &Value)
{
    int From = 0;
    for (;;) {
        const int P = int(HTMLText.indexOf(QLatin1String("<CONTROL "), From, Qt::CaseInsensitive));
        if (P < 0)
            return false;
        int End = int(HTMLText.indexOf(QLatin1Char('>'), P + 1));
        const bool Closed = End >= 0;
        if (!Closed)
            End = int(HTMLText.size());
        const QString Tag = HTMLText.mid(P + 1, End - P - 1);
        QString Type, CID, Width, Old;
        ParseControlTag(Tag, Type, CID, Width, Old);
        if (CID == ID) {
            const QString New = QStringLiteral("CONTROL ID=\"%1\" VALUE=\"%2\" WIDTH=\"%3\" TYPE=\"%4\"")
                                    .arg(EncodeValue(CID), EncodeValue(Value), EncodeValue(Width), EncodeValue(Type));
            HTMLText.replace(P + 1, End - P - 1, New);
            if (!Closed)
                HTMLText.append(QLatin1Char('>'));
            return true;
        }
        From = End;
    }
}

void DrawShellIcon(TCanvas *Canvas, int X, int Y, TSize &Size, double Factor, bool Stretch, bool Draw,
                   bool LargeIcon, const QString &FileName)
{
    const int Base = LargeIcon ? 32 : 16;
    const double F = Stretch && Factor > 0 ? Factor : 1.0;
    Size = TSize(int(Base * F), int(Base * F));
    if (!Draw || !Canvas)
        return;
    static QFileIconProvider *Provider = nullptr;
    if (!Provider)
        Provider = new QFileIconProvider;   // lives for the program, as the desktop's icon cache does
    const QFileInfo Info(FileName);
    QIcon Icon;
    if (Info.exists())
        Icon = Provider->icon(Info);
    else
        Icon = Provider->icon(IsDirectory(FileName) ? QAbstractFileIconProvider::Folder
                                                    : QAbstractFileIconProvider::File);
    const QPixmap Pix = Icon.pixmap(Base, Base);
    if (Pix.isNull())
        return;
    if (F == 1.0) {
        if (QPainter *P = Canvas->Painter())
            P->drawPixmap(X, Y, Pix);
        return;
    }
    TBitmap Bmp;
    Bmp.SetImage(Pix.toImage());
    DrawStretchedBitmap(Canvas, TRect(X, Y, X + Size.cx, Y + Size.cy), &Bmp);
}

void DrawStretchedBitmap(TCanvas *Canvas, const TRect &R, TBitmap *Bitmap)
{
    if (!Canvas || !Bitmap || Bitmap->Empty())
        return;
    if (QPainter *P = Canvas->Painter())
        P->drawImage(R.ToQRect(), Bitmap->Image());
}

bool IsDirectory(const QString &Name) { return !Name.isEmpty() && QFileInfo(Name).isDir(); }
