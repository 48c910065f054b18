// The drawing helpers of the grid's utility routines.

#include "grid/GridUtil.h"

#include <QPainter>
#include <QPolygon>
#include <QRegularExpression>

#include <map>
#include <memory>

#include <algorithm>
#include <cmath>
#include <iterator>

bool PtInRectIncl(const TRect &Rect, int X, int Y)
{
    return X >= Rect.Left && X <= Rect.Right && Y >= Rect.Top && Y <= Rect.Bottom;
}

TColor ColorFromName(const QString &Name)
{
    struct NamedColor {
        const char *Name;
        TColor Color;
    };
    static const NamedColor Named[] = {
        {"clred", 0x0000FF},     {"clblack", 0x000000},  {"clblue", 0xFF0000},   {"clgreen", 0x008000},
        {"claqua", 0xFFFF00},    {"clyellow", 0x00FFFF}, {"clfuchsia", 0xFF00FF}, {"clwhite", 0xFFFFFF},
        {"cllime", 0x00FF00},    {"clsilver", 0xC0C0C0}, {"clgray", 0x808080},   {"clolive", 0x008080},
        {"clnavy", 0x800000},    {"clpurple", 0x800080}, {"clteal", 0x808000},   {"clmaroon", 0x000080},
    };
    // System colours: 0x80000000 plus the system colour index, in index order from 1.
    static const char *const SystemNames[] = {
        "clbackground", "clactivecaption", "clinactivecaption", "clmenu", "clwindow", "clwindowframe",
        "clmenutext", "clwindowtext", "clcaptiontext", "clactiveborder", "clinactiveborder", "clappworkspace",
        "clhighlight", "clhighlighttext", "clbtnface", "clbtnshadow", "clgraytext", "clbtntext",
        "clinactivecaptiontext", "clbtnhighlight", "cl3ddkshadow", "cl3dlight", "clinfotext", "clinfobk",
    };
    const QString Lower = Name.toLower();
    for (const NamedColor &C : Named)
        if (Lower == QLatin1String(C.Name))
            return C.Color;
    for (int I = 0; I < int(std::size(SystemNames)); ++I)
        if (Lower == QLatin1String(SystemNames[I]))
            return TColor(0x80000000u + quint32(I + 1));
    return 0;
}

TColor ColorFromHex(const QString &Text)
{
    // Characters 2-3 are red, 4-5 green, 6-7 blue. A short text reads only
    // what it has; a character that is no hex digit counts as 0.
    auto Digit = [&Text](int Index) -> quint32 {
        if (Index >= Text.size())
            return 0;
        const char16_t C = QChar(Text.at(Index)).toUpper().unicode();
        if (C >= u'0' && C <= u'9')
            return quint32(C - u'0');
        return (C >= u'A' && C <= u'F') ? quint32(C - u'A' + 10) : 0;
    };
    auto Pair = [&Digit](int Index) { return Digit(Index) * 16 + Digit(Index + 1); };
    return TColor(Pair(1) + Pair(3) * 256 + Pair(5) * 65536);
}

TColor DarkerColor(TColor Color)
{
    const TColor C = ColorToRGB(Color);
    return RGB(GetRValue(C) >> 1, GetGValue(C) >> 1, GetBValue(C) >> 1);
}

void DrawTransparentBitmap(TCanvas *Canvas, TBitmap *Bitmap, TColor BackColor, const TRect &Rect)
{
    if (!Canvas || !Bitmap || Bitmap->Empty())
        return;
    const int W = Bitmap->Width(), H = Bitmap->Height();
    TBitmap Temp(W, H);
    // The top-left pixel names the colour that shows the background.
    const TColor Transparent = Bitmap->Canvas()->Pixels(0, 0);
    Temp.Canvas()->Brush()->SetColor(BackColor);
    Temp.Canvas()->BrushCopy(TRect(0, 0, W, H), Bitmap, TRect(0, 0, W, H), Transparent);
    Canvas->Draw(Rect.Left, Rect.Top, &Temp);
}

void DrawResourceBitmap(TCanvas *Canvas, TColor BackColor, const TRect &Rect, const QString &ResourceName)
{
    const TBitmap &Glyph = GridGlyph(ResourceName);
    if (Glyph.Empty())
        return;
    TBitmap Copy(Glyph);
    DrawTransparentBitmap(Canvas, &Copy, BackColor, Rect);
}

void DrawProgressPie(TCanvas *Canvas, const TRect &Rect, TColor Color, int Percent)
{
    if (!Canvas || Rect.IsEmpty())
        return;
    // The done share is a sector from twelve o'clock clockwise, drawn as a
    // shape: a canvas on the screen cannot be read back to flood it.
    const TColor Grey = 0x808080;
    const int CX = (Rect.Left + Rect.Right) / 2;
    const int CY = (Rect.Top + Rect.Bottom) / 2;
    const double Angle = std::clamp(Percent, 0, 100) / 100.0 * 2 * M_PI;
    const double RX = (Rect.Width() + 1) / 2;
    const double RY = (Rect.Height() + 1) / 2;
    const int EX = CX + int(std::lround(std::sin(Angle) * RX)), EY = CY - int(std::lround(std::cos(Angle) * RY));
    Canvas->Pen()->SetColor(Grey);
    Canvas->Pen()->SetWidth(1);
    Canvas->Brush()->SetStyle(bsSolid);
    Canvas->Brush()->SetColor(Color);
    if (Percent >= 100)
        Canvas->Ellipse(Rect);
    else if (Percent > 0)
        Canvas->Pie(Rect.Left, Rect.Top, Rect.Right, Rect.Bottom, EX, EY, CX, Rect.Top);
    Canvas->Brush()->SetStyle(bsClear);
    Canvas->Ellipse(Rect);
    Canvas->MoveTo(CX, Rect.Top);
    Canvas->LineTo(CX, CY);
    Canvas->MoveTo(CX, CY);
    Canvas->LineTo(EX, EY);
    Canvas->Brush()->SetStyle(bsSolid);
}

void DrawErrorUnderline(QWidget *Owner, TCanvas *Canvas, const QString &Text, int ErrorLength, int ErrorStart,
                        int YOffset, const TRect &Rect)
{
    Q_UNUSED(Owner);
    if (!Canvas || ErrorLength <= 0 || ErrorStart < 0)
        return;
    const int Last = ErrorStart + ErrorLength - 1;
    const int XStart = Rect.Left + Canvas->TextWidth(Text.left(ErrorStart));
    int XEnd;
    if (Last >= Text.size())
        XEnd = Rect.Left + Canvas->TextWidth(Text) + 4;
    else
        XEnd = Rect.Left + Canvas->TextWidth(Text.left(Last));
    const int Y = Rect.Top + YOffset + 3;
    const TColor OldColor = Canvas->Pen()->Color();
    const int OldWidth = Canvas->Pen()->Width();
    Canvas->Pen()->SetColor(clRed);
    Canvas->Pen()->SetWidth(2);
    Canvas->MoveTo(XStart, Y);
    bool Down = true;
    for (int X = XStart + 3; X <= XEnd; X += 3) {
        Canvas->LineTo(X, Down ? Y + 3 : Y);
        Down = !Down;
    }
    Canvas->Pen()->SetColor(OldColor);
    Canvas->Pen()->SetWidth(OldWidth);
}

// =================================================================== glyphs

const TBitmap &GridGlyph(const QString &Name)
{
    // The grid's glyphs are drawn here once, on a magenta background that the
    // transparent drawing leaves out (the top-left pixel names it).
    static std::map<QString, std::unique_ptr<TBitmap>> Cache;
    static TBitmap Empty;
    if (auto It = Cache.find(Name); It != Cache.end())
        return *It->second;
    const QRegularExpression Re(QStringLiteral("^CG(CHK|RAD)0([1-8])$"));
    const QRegularExpressionMatch M = Re.match(Name);
    int Size = 0;
    if (M.hasMatch())
        Size = M.captured(1) == QLatin1String("CHK") ? 15 : 12;
    else if (Name == QLatin1String("CGLEAFOPEN") || Name == QLatin1String("CGLEAFCLOSE") || Name == QLatin1String("CGFILT"))
        Size = 12;
    else
        return Empty;
    QImage Image(Size, Size, QImage::Format_RGB32);
    Image.fill(QColor(255, 0, 255));
    QPainter P(&Image);
    if (M.hasMatch()) {
        const bool Check = M.captured(1) == QLatin1String("CHK");
        const int Index = M.captured(2).toInt();
        // Check boxes: 01-04 one look, 05-08 the other; radios the other way round.
        const bool FirstBlock = Index <= 4;
        const bool On = (Index - 1) % 2 == 0;
        const bool Enabled = ((Index - 1) % 4) < 2;
        const QColor Frame = FirstBlock == Check ? QColor(28, 81, 128) : QColor(96, 96, 96);
        const QColor Face = Enabled ? QColor(Qt::white) : QColor(230, 230, 230);
        const QColor Mark = Enabled ? QColor(33, 161, 33) : QColor(150, 150, 150);
        P.setPen(Frame);
        P.setBrush(Face);
        if (Check) {
            P.drawRect(1, 1, Size - 3, Size - 3);
            if (On) {
                QPen Pen(Mark, 2);
                P.setPen(Pen);
                P.drawPolyline(QPolygon({QPoint(4, 7), QPoint(6, 10), QPoint(11, 4)}));
            }
        } else {
            P.setRenderHint(QPainter::Antialiasing);
            P.drawEllipse(QRectF(0.5, 0.5, Size - 2, Size - 2));
            if (On) {
                P.setPen(Qt::NoPen);
                P.setBrush(Mark);
                P.drawEllipse(QRectF(3.5, 3.5, Size - 8, Size - 8));
            }
        }
    } else if (Name == QLatin1String("CGFILT")) {
        P.setPen(Qt::black);
        P.setBrush(Qt::black);
        P.drawPolygon(QPolygon({QPoint(1, 1), QPoint(10, 1), QPoint(7, 5), QPoint(7, 10), QPoint(4, 10), QPoint(4, 5)}));
    } else {
        P.setPen(QColor(0, 100, 0));
        P.setBrush(QColor(60, 170, 60));
        P.drawEllipse(2, 2, 8, 8);
        P.setPen(Qt::white);
        P.drawLine(4, 6, 8, 6);
        if (Name == QLatin1String("CGLEAFCLOSE"))
            P.drawLine(6, 4, 6, 8);
    }
    P.end();
    auto B = std::make_unique<TBitmap>();
    B->SetImage(Image);
    const TBitmap &Result = *B;
    Cache[Name] = std::move(B);
    return Result;
}
