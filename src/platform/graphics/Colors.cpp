// Colours, fonts, pens and brushes.
#include "platform/core/SysUtils.h"
#include "platform/graphics/Graphics.h"

#include <QGuiApplication>
#include <QPalette>
#include <cmath>
#include <mutex>

namespace {

// The classic desktop colours, used when no application palette exists.
TColor ClassicSysColor(int Index)
{
    switch (Index) {
    case COLOR_SCROLLBAR: return 0xC8C8C8;
    case COLOR_BACKGROUND: return 0x808000;
    case COLOR_ACTIVECAPTION: return 0x6A240A;
    case COLOR_INACTIVECAPTION: return 0x808080;
    case COLOR_MENU: return 0xC8D0D4;
    case COLOR_WINDOW: return 0xFFFFFF;
    case COLOR_WINDOWFRAME: return 0x000000;
    case COLOR_MENUTEXT: return 0x000000;
    case COLOR_WINDOWTEXT: return 0x000000;
    case COLOR_CAPTIONTEXT: return 0xFFFFFF;
    case COLOR_ACTIVEBORDER: return 0xC8D0D4;
    case COLOR_INACTIVEBORDER: return 0xC8D0D4;
    case COLOR_APPWORKSPACE: return 0x808080;
    case COLOR_HIGHLIGHT: return 0x6A240A;
    case COLOR_HIGHLIGHTTEXT: return 0xFFFFFF;
    case COLOR_BTNFACE: return 0xC8D0D4;
    case COLOR_BTNSHADOW: return 0x808080;
    case COLOR_GRAYTEXT: return 0x808080;
    case COLOR_BTNTEXT: return 0x000000;
    case COLOR_INACTIVECAPTIONTEXT: return 0xC8D0D4;
    case COLOR_BTNHIGHLIGHT: return 0xFFFFFF;
    case COLOR_3DDKSHADOW: return 0x404040;
    case COLOR_3DLIGHT: return 0xC8D0D4;
    case COLOR_INFOTEXT: return 0x000000;
    case COLOR_INFOBK: return 0xE1FFFF;
    case COLOR_HOTLIGHT: return 0x800000;
    case COLOR_GRADIENTACTIVECAPTION: return 0xF0CAA6;
    case COLOR_GRADIENTINACTIVECAPTION: return 0xC0C0C0;
    case COLOR_MENUHILIGHT: return 0x6A240A;
    case COLOR_MENUBAR: return 0xC8D0D4;
    default: return 0;
    }
}

bool PaletteRole(int Index, QPalette::ColorGroup &Group, QPalette::ColorRole &Role)
{
    Group = QPalette::Active;
    switch (Index) {
    case COLOR_SCROLLBAR: Role = QPalette::Button; return true;
    case COLOR_BACKGROUND: Role = QPalette::Dark; return true;
    case COLOR_ACTIVECAPTION: Role = QPalette::Highlight; return true;
    case COLOR_INACTIVECAPTION: Role = QPalette::Mid; return true;
    case COLOR_MENU: Role = QPalette::Window; return true;
    case COLOR_WINDOW: Role = QPalette::Base; return true;
    case COLOR_WINDOWFRAME: Role = QPalette::Shadow; return true;
    case COLOR_MENUTEXT: Role = QPalette::WindowText; return true;
    case COLOR_WINDOWTEXT: Role = QPalette::Text; return true;
    case COLOR_CAPTIONTEXT: Role = QPalette::HighlightedText; return true;
    case COLOR_ACTIVEBORDER: Role = QPalette::Window; return true;
    case COLOR_INACTIVEBORDER: Role = QPalette::Window; return true;
    case COLOR_APPWORKSPACE: Role = QPalette::Mid; return true;
    case COLOR_HIGHLIGHT: Role = QPalette::Highlight; return true;
    case COLOR_HIGHLIGHTTEXT: Role = QPalette::HighlightedText; return true;
    case COLOR_BTNFACE: Role = QPalette::Button; return true;
    case COLOR_BTNSHADOW: Role = QPalette::Dark; return true;
    case COLOR_GRAYTEXT: Group = QPalette::Disabled; Role = QPalette::Text; return true;
    case COLOR_BTNTEXT: Role = QPalette::ButtonText; return true;
    case COLOR_INACTIVECAPTIONTEXT: Group = QPalette::Disabled; Role = QPalette::WindowText; return true;
    case COLOR_BTNHIGHLIGHT: Role = QPalette::Light; return true;
    case COLOR_3DDKSHADOW: Role = QPalette::Shadow; return true;
    case COLOR_3DLIGHT: Role = QPalette::Midlight; return true;
    case COLOR_INFOTEXT: Role = QPalette::ToolTipText; return true;
    case COLOR_INFOBK: Role = QPalette::ToolTipBase; return true;
    case COLOR_HOTLIGHT: Role = QPalette::Link; return true;
    case COLOR_GRADIENTACTIVECAPTION: Role = QPalette::Highlight; return true;
    case COLOR_GRADIENTINACTIVECAPTION: Role = QPalette::Mid; return true;
    case COLOR_MENUHILIGHT: Role = QPalette::Highlight; return true;
    case COLOR_MENUBAR: Role = QPalette::Window; return true;
    default: return false;
    }
}

} // namespace

TColor GetSysColor(int Index)
{
    QPalette::ColorGroup Group;
    QPalette::ColorRole Role;
    if (!PaletteRole(Index, Group, Role))
        return 0;
    if (!qobject_cast<QGuiApplication *>(QCoreApplication::instance()))
        return ClassicSysColor(Index);
    // The palette is read on the GUI thread only; other threads (an animation
    // painter, for one) use the copy taken there last.
    static std::mutex Lock;
    static QPalette Cached;
    static bool HaveCached = false;
    static qint64 CachedKey = 0;
    if (IsMainThread()) {
        const QPalette Pal = QGuiApplication::palette();
        // The copy for other threads is taken again only when the palette changed.
        if (!HaveCached || Pal.cacheKey() != CachedKey) {
            std::lock_guard<std::mutex> Guard(Lock);
            Cached = Pal;
            CachedKey = Pal.cacheKey();
            HaveCached = true;
        }
        return QColorToTColor(Pal.color(Group, Role));
    }
    std::lock_guard<std::mutex> Guard(Lock);
    if (!HaveCached)
        return ClassicSysColor(Index);
    return QColorToTColor(Cached.color(Group, Role));
}

TColor ColorToRGB(TColor Color)
{
    if (Color & clSystemColor)
        return GetSysColor(int(Color & 0xFF));
    return Color;
}

QColor TColorToQColor(TColor Color)
{
    if (Color == clNone)
        return QColor(0, 0, 0, 0);
    TColor C = ColorToRGB(Color);
    return QColor(GetRValue(C), GetGValue(C), GetBValue(C));
}

TColor QColorToTColor(const QColor &Color)
{
    if (!Color.isValid() || Color.alpha() == 0)
        return clNone;
    QColor C = Color.toRgb();
    return RGB(C.red(), C.green(), C.blue());
}

// ------------------------------------------------------------------ TFont

TFont::TFont()
    : FName(QStringLiteral("WenQuanYi Micro Hei")), FHeight(-12)
{
}

TFont::TFont(const TFont &Other) : TObject()
{
    FName = Other.FName;
    FHeight = Other.FHeight;
    FColor = Other.FColor;
    FStyle = Other.FStyle;
    FCharset = Other.FCharset;
    FPitch = Other.FPitch;
    FOrientation = Other.FOrientation;
    PixelsPerInch = Other.PixelsPerInch;
}

TFont &TFont::operator=(const TFont &Other)
{
    Assign(Other);
    return *this;
}

void TFont::Changed()
{
    if (OnChange)
        OnChange(this);
}

void TFont::SetName(const QString &Value)
{
    if (Value.isEmpty() || Value == FName)
        return;
    FName = Value;
    Changed();
}

int TFont::Size() const
{
    // Height = -Size * PPI / 72, rounded as MulDiv does.
    const int Ppi = PixelsPerInch > 0 ? PixelsPerInch : ScreenPixelsPerInch;
    return -int(std::lround(double(FHeight) * 72.0 / Ppi));
}

void TFont::SetSize(int Value)
{
    const int Ppi = PixelsPerInch > 0 ? PixelsPerInch : ScreenPixelsPerInch;
    SetHeight(-int(std::lround(double(Value) * Ppi / 72.0)));
}

void TFont::SetHeight(int Value)
{
    if (Value == FHeight)
        return;
    FHeight = Value;
    Changed();
}

void TFont::SetColor(TColor Value)
{
    if (Value == FColor)
        return;
    FColor = Value;
    Changed();
}

void TFont::SetStyle(TFontStyles Value)
{
    if (Value == FStyle)
        return;
    FStyle = Value;
    Changed();
}

void TFont::SetCharset(TFontCharset Value)
{
    if (Value == FCharset)
        return;
    FCharset = Value;
    Changed();
}

void TFont::SetPitch(TFontPitch Value)
{
    if (Value == FPitch)
        return;
    FPitch = Value;
    Changed();
}

void TFont::SetOrientation(int Value)
{
    if (Value == FOrientation)
        return;
    FOrientation = Value;
    Changed();
}

void TFont::Assign(const TFont &Source)
{
    if (&Source == this)
        return;
    FName = Source.FName;
    FHeight = Source.FHeight;
    FColor = Source.FColor;
    FStyle = Source.FStyle;
    FCharset = Source.FCharset;
    FPitch = Source.FPitch;
    FOrientation = Source.FOrientation;
    PixelsPerInch = Source.PixelsPerInch;
    Changed();
}

QFont TFont::ToQFont() const
{
    // Painting asks for the font of every cell: the last one is kept.
    if (FQValid && FQHeight == FHeight && FQStyle == FStyle && FQPitch == FPitch && FQName == FName)
        return FQFont;
    QFont F(FName);
    // A negative height is the character (em) height; a positive one the cell
    // height, of which the em takes about seven eighths.
    int Pixels = FHeight < 0 ? -FHeight : int(std::lround(FHeight * 0.875));
    if (Pixels <= 0)
        Pixels = 12;
    F.setPixelSize(Pixels);
    F.setBold(FStyle.testFlag(fsBold));
    F.setItalic(FStyle.testFlag(fsItalic));
    F.setUnderline(FStyle.testFlag(fsUnderline));
    F.setStrikeOut(FStyle.testFlag(fsStrikeOut));
    if (FPitch == fpFixed)
        F.setFixedPitch(true);
    F.setKerning(false);
    FQFont = F;
    FQName = FName;
    FQHeight = FHeight;
    FQStyle = FStyle;
    FQPitch = FPitch;
    FQValid = true;
    return F;
}

void TFont::AssignQFont(const QFont &Font)
{
    FName = Font.family();
    if (Font.pixelSize() > 0)
        FHeight = -Font.pixelSize();
    else
        FHeight = -int(std::lround(Font.pointSizeF() * PixelsPerInch / 72.0));
    TFontStyles S;
    if (Font.bold())
        S |= fsBold;
    if (Font.italic())
        S |= fsItalic;
    if (Font.underline())
        S |= fsUnderline;
    if (Font.strikeOut())
        S |= fsStrikeOut;
    FStyle = S;
    FPitch = Font.fixedPitch() ? fpFixed : fpDefault;
    Changed();
}

// ------------------------------------------------------------------- TPen

TPen::TPen(const TPen &Other)
    : TObject(), FColor(Other.FColor), FWidth(Other.FWidth), FStyle(Other.FStyle), FMode(Other.FMode)
{
}

TPen &TPen::operator=(const TPen &Other)
{
    Assign(Other);
    return *this;
}

void TPen::Changed()
{
    if (OnChange)
        OnChange(this);
}

void TPen::SetColor(TColor Value)
{
    if (Value == FColor)
        return;
    FColor = Value;
    Changed();
}

void TPen::SetWidth(int Value)
{
    if (Value < 0 || Value == FWidth)
        return;
    FWidth = Value;
    Changed();
}

void TPen::SetStyle(TPenStyle Value)
{
    if (Value == FStyle)
        return;
    FStyle = Value;
    Changed();
}

void TPen::SetMode(TPenMode Value)
{
    if (Value == FMode)
        return;
    FMode = Value;
    Changed();
}

void TPen::Assign(const TPen &Source)
{
    if (&Source == this)
        return;
    FColor = Source.FColor;
    FWidth = Source.FWidth;
    FStyle = Source.FStyle;
    FMode = Source.FMode;
    Changed();
}

// ----------------------------------------------------------------- TBrush

TBrush::TBrush(const TBrush &Other) : TObject(), FColor(Other.FColor), FStyle(Other.FStyle) {}

TBrush &TBrush::operator=(const TBrush &Other)
{
    Assign(Other);
    return *this;
}

void TBrush::Changed()
{
    if (OnChange)
        OnChange(this);
}

void TBrush::SetColor(TColor Value)
{
    if (Value == FColor && !(FStyle == bsClear && Value != clNone))
        return;
    FColor = Value;
    if (FStyle == bsClear && Value != clNone)
        FStyle = bsSolid;
    Changed();
}

void TBrush::SetStyle(TBrushStyle Value)
{
    if (Value == FStyle)
        return;
    FStyle = Value;
    Changed();
}

void TBrush::Assign(const TBrush &Source)
{
    if (&Source == this)
        return;
    FColor = Source.FColor;
    FStyle = Source.FStyle;
    Changed();
}
