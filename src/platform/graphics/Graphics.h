#pragma once
// Colours, fonts, pens, brushes, the drawing canvas and the picture classes
// (TGraphic, TBitmap, TIcon, TPicture), over QImage and QPainter, keeping the
// original pixel conventions: a line leaves out its last pixel and a rectangle
// is right/bottom exclusive. The original platform drawing calls the components rely on
// (DrawText, DrawEdge, DrawFrameControl, DrawFocusRect) are emulated here, once,
// with no dependence on the desktop style, so results are the same everywhere.

#include "platform/core/Classes.h"
#include "platform/core/Types.h"
#include "platform/graphics/GraphicsTypes.h"

#include <QColor>
#include <QFlags>
#include <QFont>
#include <QImage>
#include <QString>
#include <QVector>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

class QPainter;
class QPaintDevice;

// ------------------------------------------------------------------ colours

// 0x00BBGGRR. A system colour is 0x80000000 + a COLOR_* index and is resolved
// through the application palette by ColorToRGB. clNone and clDefault are markers.
using TColor = quint32;

enum : int {
    COLOR_SCROLLBAR = 0, COLOR_BACKGROUND = 1, COLOR_ACTIVECAPTION = 2, COLOR_INACTIVECAPTION = 3,
    COLOR_MENU = 4, COLOR_WINDOW = 5, COLOR_WINDOWFRAME = 6, COLOR_MENUTEXT = 7, COLOR_WINDOWTEXT = 8,
    COLOR_CAPTIONTEXT = 9, COLOR_ACTIVEBORDER = 10, COLOR_INACTIVEBORDER = 11, COLOR_APPWORKSPACE = 12,
    COLOR_HIGHLIGHT = 13, COLOR_HIGHLIGHTTEXT = 14, COLOR_BTNFACE = 15, COLOR_BTNSHADOW = 16,
    COLOR_GRAYTEXT = 17, COLOR_BTNTEXT = 18, COLOR_INACTIVECAPTIONTEXT = 19, COLOR_BTNHIGHLIGHT = 20,
    COLOR_3DDKSHADOW = 21, COLOR_3DLIGHT = 22, COLOR_INFOTEXT = 23, COLOR_INFOBK = 24,
    COLOR_HOTLIGHT = 26, COLOR_GRADIENTACTIVECAPTION = 27, COLOR_GRADIENTINACTIVECAPTION = 28,
    COLOR_MENUHILIGHT = 29, COLOR_MENUBAR = 30,
};

constexpr TColor clSystemColor = 0x80000000u;

constexpr TColor clScrollBar = clSystemColor | COLOR_SCROLLBAR;
constexpr TColor clBackground = clSystemColor | COLOR_BACKGROUND;
constexpr TColor clActiveCaption = clSystemColor | COLOR_ACTIVECAPTION;
constexpr TColor clInactiveCaption = clSystemColor | COLOR_INACTIVECAPTION;
constexpr TColor clMenu = clSystemColor | COLOR_MENU;
constexpr TColor clWindow = clSystemColor | COLOR_WINDOW;
constexpr TColor clWindowFrame = clSystemColor | COLOR_WINDOWFRAME;
constexpr TColor clMenuText = clSystemColor | COLOR_MENUTEXT;
constexpr TColor clWindowText = clSystemColor | COLOR_WINDOWTEXT;
constexpr TColor clCaptionText = clSystemColor | COLOR_CAPTIONTEXT;
constexpr TColor clActiveBorder = clSystemColor | COLOR_ACTIVEBORDER;
constexpr TColor clInactiveBorder = clSystemColor | COLOR_INACTIVEBORDER;
constexpr TColor clAppWorkSpace = clSystemColor | COLOR_APPWORKSPACE;
constexpr TColor clHighlight = clSystemColor | COLOR_HIGHLIGHT;
constexpr TColor clHighlightText = clSystemColor | COLOR_HIGHLIGHTTEXT;
constexpr TColor clBtnFace = clSystemColor | COLOR_BTNFACE;
constexpr TColor clBtnShadow = clSystemColor | COLOR_BTNSHADOW;
constexpr TColor clGrayText = clSystemColor | COLOR_GRAYTEXT;
constexpr TColor clBtnText = clSystemColor | COLOR_BTNTEXT;
constexpr TColor clInactiveCaptionText = clSystemColor | COLOR_INACTIVECAPTIONTEXT;
constexpr TColor clBtnHighlight = clSystemColor | COLOR_BTNHIGHLIGHT;
constexpr TColor cl3DDkShadow = clSystemColor | COLOR_3DDKSHADOW;
constexpr TColor cl3DLight = clSystemColor | COLOR_3DLIGHT;
constexpr TColor clInfoText = clSystemColor | COLOR_INFOTEXT;
constexpr TColor clInfoBk = clSystemColor | COLOR_INFOBK;
constexpr TColor clHotLight = clSystemColor | COLOR_HOTLIGHT;
constexpr TColor clGradientActiveCaption = clSystemColor | COLOR_GRADIENTACTIVECAPTION;
constexpr TColor clGradientInactiveCaption = clSystemColor | COLOR_GRADIENTINACTIVECAPTION;
constexpr TColor clMenuHighlight = clSystemColor | COLOR_MENUHILIGHT;
constexpr TColor clMenuBar = clSystemColor | COLOR_MENUBAR;

constexpr TColor clBlack = 0x000000;
constexpr TColor clMaroon = 0x000080;
constexpr TColor clGreen = 0x008000;
constexpr TColor clOlive = 0x008080;
constexpr TColor clNavy = 0x800000;
constexpr TColor clPurple = 0x800080;
constexpr TColor clTeal = 0x808000;
constexpr TColor clGray = 0x808080;
constexpr TColor clSilver = 0xC0C0C0;
constexpr TColor clRed = 0x0000FF;
constexpr TColor clLime = 0x00FF00;
constexpr TColor clYellow = 0x00FFFF;
constexpr TColor clBlue = 0xFF0000;
constexpr TColor clFuchsia = 0xFF00FF;
constexpr TColor clAqua = 0xFFFF00;
constexpr TColor clLtGray = 0xC0C0C0;
constexpr TColor clDkGray = 0x808080;
constexpr TColor clWhite = 0xFFFFFF;
constexpr TColor clMoneyGreen = 0xC0DCC0;
constexpr TColor clSkyBlue = 0xF0CAA6;
constexpr TColor clCream = 0xF0FBFF;
constexpr TColor clMedGray = 0xA4A0A0;
constexpr TColor clNone = 0x1FFFFFFF;
constexpr TColor clDefault = 0x20000000;

constexpr TColor RGB(int R, int G, int B)
{
    return TColor(quint8(R)) | (TColor(quint8(G)) << 8) | (TColor(quint8(B)) << 16);
}
constexpr quint8 GetRValue(TColor C) { return quint8(C); }
constexpr quint8 GetGValue(TColor C) { return quint8(C >> 8); }
constexpr quint8 GetBValue(TColor C) { return quint8(C >> 16); }

// The RGB value of a COLOR_* index from the application palette (a fixed classic
// table when no application object exists). Unknown indexes give black.
TColor GetSysColor(int Index);
// System colours become their palette RGB; every other value is returned unchanged.
TColor ColorToRGB(TColor Color);
// clNone gives a fully transparent QColor; system colours are resolved first.
QColor TColorToQColor(TColor Color);
TColor QColorToTColor(const QColor &Color);

// ------------------------------------------------------ fonts, pens, brushes

enum TFontStyle { fsBold = 0x01, fsItalic = 0x02, fsUnderline = 0x04, fsStrikeOut = 0x08 };
Q_DECLARE_FLAGS(TFontStyles, TFontStyle)
Q_DECLARE_OPERATORS_FOR_FLAGS(TFontStyles)

enum TFontPitch { fpDefault, fpVariable, fpFixed };
using TFontCharset = quint8;
constexpr TFontCharset ANSI_CHARSET = 0;
constexpr TFontCharset DEFAULT_CHARSET = 1;
constexpr TFontCharset SYMBOL_CHARSET = 2;
constexpr TFontCharset GB2312_CHARSET = 134;

// Logical pixels per inch used to convert between font points and pixels.
constexpr int ScreenPixelsPerInch = 96;

// Size is in points, Height in pixels (negative: the character height without
// internal leading, as the original; Size = -Height * 72 / PixelsPerInch).
// Orientation is the text angle in tenths of a degree, counter-clockwise.
class TFont : public TObject {
public:
    TFont();
    TFont(const TFont &Other);
    TFont &operator=(const TFont &Other);

    QString Name() const { return FName; }
    void SetName(const QString &Value);
    int Size() const;
    void SetSize(int Value);
    int Height() const { return FHeight; }
    void SetHeight(int Value);
    TColor Color() const { return FColor; }
    void SetColor(TColor Value);
    TFontStyles Style() const { return FStyle; }
    void SetStyle(TFontStyles Value);
    TFontCharset Charset() const { return FCharset; }
    void SetCharset(TFontCharset Value);
    TFontPitch Pitch() const { return FPitch; }
    void SetPitch(TFontPitch Value);
    int Orientation() const { return FOrientation; }
    void SetOrientation(int Value);
    int PixelsPerInch = ScreenPixelsPerInch;

    // Copies name, height, colour, style, charset, pitch and orientation; fires OnChange.
    void Assign(const TFont &Source);
    QFont ToQFont() const;
    void AssignQFont(const QFont &Font);   // takes family, pixel/point size and style

    std::function<void(TObject *Sender)> OnChange;

private:
    QString FName;
    int FHeight;
    TColor FColor = clWindowText;
    TFontStyles FStyle;
    TFontCharset FCharset = DEFAULT_CHARSET;
    TFontPitch FPitch = fpDefault;
    int FOrientation = 0;
    void Changed();
    // The Qt font last made by ToQFont and what it was made from.
    mutable QFont FQFont;
    mutable QString FQName;
    mutable int FQHeight = 0;
    mutable TFontStyles FQStyle;
    mutable TFontPitch FQPitch = fpDefault;
    mutable bool FQValid = false;
};

enum TPenStyle { psSolid, psDash, psDot, psDashDot, psDashDotDot, psClear, psInsideFrame };
// Raster operations of the pen (pmCopy is plain drawing; pmXor, pmNot and
// pmNotXor work on image canvases).
enum TPenMode {
    pmBlack, pmWhite, pmNop, pmNot, pmCopy, pmNotCopy, pmMergePenNot, pmMaskPenNot,
    pmMergeNotPen, pmMaskNotPen, pmMerge, pmNotMerge, pmMask, pmNotMask, pmXor, pmNotXor
};

class TPen : public TObject {
public:
    TPen() = default;
    TPen(const TPen &Other);
    TPen &operator=(const TPen &Other);
    TColor Color() const { return FColor; }
    void SetColor(TColor Value);
    int Width() const { return FWidth; }
    void SetWidth(int Value);
    TPenStyle Style() const { return FStyle; }
    void SetStyle(TPenStyle Value);
    TPenMode Mode() const { return FMode; }
    void SetMode(TPenMode Value);
    void Assign(const TPen &Source);
    std::function<void(TObject *Sender)> OnChange;

private:
    TColor FColor = clBlack;
    int FWidth = 1;
    TPenStyle FStyle = psSolid;
    TPenMode FMode = pmCopy;
    void Changed();
};

enum TBrushStyle { bsSolid, bsClear, bsHorizontal, bsVertical, bsFDiagonal, bsBDiagonal, bsCross, bsDiagCross };

class TBrush : public TObject {
public:
    TBrush() = default;
    TBrush(const TBrush &Other);
    TBrush &operator=(const TBrush &Other);
    TColor Color() const { return FColor; }
    void SetColor(TColor Value);      // a colour other than clNone on a bsClear brush makes it bsSolid
    TBrushStyle Style() const { return FStyle; }
    void SetStyle(TBrushStyle Value);
    void Assign(const TBrush &Source);
    std::function<void(TObject *Sender)> OnChange;

private:
    TColor FColor = clWhite;
    TBrushStyle FStyle = bsSolid;
    void Changed();
};

// ------------------------------------------------------------------ canvas

class TGraphic;
class TBitmap;

// Background mode for text (SetBkMode): OPAQUE fills behind the text with the
// brush colour, TRANSPARENT leaves the background. A canvas follows its brush
// (bsClear makes it TRANSPARENT) until SetBkMode sets it explicitly.
enum : int { TRANSPARENT = 1, OPAQUE = 2 };

// Copy modes for CopyRect and Draw of bitmaps.
using TCopyMode = quint32;
constexpr TCopyMode cmSrcCopy = 0x00CC0020;
constexpr TCopyMode cmSrcPaint = 0x00EE0086;   // OR
constexpr TCopyMode cmSrcAnd = 0x008800C6;     // AND
constexpr TCopyMode cmSrcInvert = 0x00660046;  // XOR
constexpr TCopyMode cmDstInvert = 0x00550009;
constexpr TCopyMode cmBlackness = 0x00000042;
constexpr TCopyMode cmWhiteness = 0x00FF0062;

// A canvas draws on a QPaintDevice through a QPainter. It either owns its
// painter (opened on first use over the device given, for example a QImage or
// QPixmap) or borrows one (a widget's painter during paintEvent). Coordinates
// are the painter's logical pixels (a bitmap's own pixels); no antialiasing.
class TCanvas : public TObject {
public:
    TCanvas();
    explicit TCanvas(QPaintDevice *Device);
    explicit TCanvas(QPainter *Painter);      // borrowed; must outlive its use here
    ~TCanvas() override;

    void SetDevice(QPaintDevice *Device);      // ends painting on the previous device
    void SetPainter(QPainter *Painter);        // borrowed; nullptr detaches
    QPaintDevice *Device() const;
    // The painter with pen, brush, font and clip applied; opens it when needed.
    // Raises EInvalidOperation "Canvas does not allow drawing" without a device.
    QPainter *Painter();
    bool HandleAllocated() const;
    // Ends an owned painter so the device can be read or changed directly.
    void Release();

    TFont *Font() { return &FFont; }
    void SetFont(const TFont &Value) { FFont.Assign(Value); }
    // The font as a QFont (kept until the font changes).
    const QFont &QtFont();
    TPen *Pen() { return &FPen; }
    void SetPen(const TPen &Value) { FPen.Assign(Value); }
    TBrush *Brush() { return &FBrush; }
    void SetBrush(const TBrush &Value) { FBrush.Assign(Value); }
    TPoint PenPos() const { return FPenPos; }
    void SetPenPos(const TPoint &Value) { FPenPos = Value; }
    TCopyMode CopyMode = cmSrcCopy;
    int BkMode() const;
    void SetBkMode(int Mode);

    void MoveTo(int X, int Y);
    void LineTo(int X, int Y);                                  // leaves out (X, Y)
    void Rectangle(int X1, int Y1, int X2, int Y2);             // outline with the pen, inside with the brush
    void Rectangle(const TRect &R) { Rectangle(R.Left, R.Top, R.Right, R.Bottom); }
    void FillRect(const TRect &R);                              // brush only, right/bottom excluded
    void FrameRect(const TRect &R);                             // 1-pixel frame in the brush colour
    void RoundRect(int X1, int Y1, int X2, int Y2, int X3, int Y3);
    void Ellipse(int X1, int Y1, int X2, int Y2);
    void Ellipse(const TRect &R) { Ellipse(R.Left, R.Top, R.Right, R.Bottom); }
    // Counter-clockwise from the ray through (X3, Y3) to the ray through (X4, Y4).
    void Arc(int X1, int Y1, int X2, int Y2, int X3, int Y3, int X4, int Y4);
    void Pie(int X1, int Y1, int X2, int Y2, int X3, int Y3, int X4, int Y4);
    void Polygon(const std::vector<TPoint> &Points);
    void Polyline(const std::vector<TPoint> &Points);           // each segment leaves out its last pixel

    // (X, Y) is the top-left of the text cell; moves PenPos to the end of the text.
    void TextOut(int X, int Y, const QString &Text);
    // Text at (X, Y) clipped to R; an opaque brush fills R first.
    void TextRect(const TRect &R, int X, int Y, const QString &Text);
    int TextWidth(const QString &Text);
    int TextHeight(const QString &Text);                         // ascent + descent of the font
    TSize TextExtent(const QString &Text);

    void Draw(int X, int Y, TGraphic *Graphic);
    void StretchDraw(const TRect &R, TGraphic *Graphic);
    void CopyRect(const TRect &Dest, TCanvas *Canvas, const TRect &Source);
    // Copies Source of Bitmap to Dest, painting the pixels of colour Color with the brush.
    void BrushCopy(const TRect &Dest, TBitmap *Bitmap, const TRect &Source, TColor Color);

    // Pixels outside the device read as clNone (-1 in the original) and writes there are ignored.
    TColor Pixels(int X, int Y);
    void SetPixels(int X, int Y, TColor Color);

    // The current clip (the whole device when not clipped).
    TRect ClipRect();
    void IntersectClipRect(const TRect &R);
    void SelectClipRect(const TRect *R);        // nullptr removes the clip

    void Lock();
    void Unlock();
    bool TryLock();
    int LockCount() const { return FLockCount; }

    std::function<void(TObject *Sender)> OnChange;
    std::function<void(TObject *Sender)> OnChanging;

protected:
    // Called before the painter is opened over the device (a bitmap canvas makes
    // its pixels paintable here) and after it was closed.
    virtual void BeforePaint() {}
    virtual void AfterPaint() {}
    void Changing();
    void Changed();

private:
    QPaintDevice *FDevice = nullptr;
    std::unique_ptr<QPainter> FOwnPainter;
    QPainter *FPainter = nullptr;
    TFont FFont;
    TPen FPen;
    TBrush FBrush;
    TPoint FPenPos;
    int FBkMode = 0;            // 0: follow the brush
    QFont FQtFont;
    bool FQtFontValid = false;
    // The font last given to the painter and what the painter made of it, so
    // that an unchanged font is not set again for every shape.
    QFont FPainterFontFrom;
    QFont FPainterFont;
    bool FClipped = false;
    QRect FClip;
    int FLockCount = 0;
    std::recursive_mutex FLock;
    QPainter *BeginShape(bool WithPen, bool WithBrush);
    void PlotLine(QPainter &P, int X0, int Y0, int X1, int Y1, bool IncludeLast);
    void ApplyClip();
};

// ------------------------------------------------ logical and device pixels
//
// A painter works in logical pixels; its device may hold more pixels for each
// (a screen at 150 % or 200 %, an image made for one). Only these helpers tell
// the two apart; everything else paints in logical pixels.

// The device's extent in the logical pixels a painter on it starts with: a
// widget's own size, an image's or pixmap's pixels divided by its pixel ratio.
// Empty for a device without a known extent (a printer, a recorded picture).
QRectF LogicalDeviceRect(const QPaintDevice *Device);
// What the painter can reach of its device, in the painter's coordinates (its
// world and view transforms undone; the pixel ratio is no part of them), cut to
// its clip. Unbounded where the device has no known extent.
QRect PaintableArea(QPainter &Painter);
// Device pixels for each logical pixel along the painter's x axis (1 on a
// plain device, 2 on a screen at 200 %).
qreal PaintPixelRatio(const QPainter &Painter);

// ------------------------------------------ emulated original drawing calls

// DrawText formats.
enum : unsigned {
    DT_TOP = 0x0000, DT_LEFT = 0x0000, DT_CENTER = 0x0001, DT_RIGHT = 0x0002, DT_VCENTER = 0x0004,
    DT_BOTTOM = 0x0008, DT_WORDBREAK = 0x0010, DT_SINGLELINE = 0x0020, DT_EXPANDTABS = 0x0040,
    DT_TABSTOP = 0x0080, DT_NOCLIP = 0x0100, DT_EXTERNALLEADING = 0x0200, DT_CALCRECT = 0x0400,
    DT_NOPREFIX = 0x0800, DT_INTERNAL = 0x1000, DT_EDITCONTROL = 0x2000, DT_PATH_ELLIPSIS = 0x4000,
    DT_END_ELLIPSIS = 0x8000, DT_MODIFYSTRING = 0x10000, DT_RTLREADING = 0x20000,
    DT_WORD_ELLIPSIS = 0x40000, DT_NOFULLWIDTHCHARBREAK = 0x80000, DT_HIDEPREFIX = 0x100000,
    DT_PREFIXONLY = 0x200000,
};

// Draws Text in R with the canvas font and colour (background by BkMode) and
// returns the height of the text drawn; with DT_VCENTER or DT_BOTTOM the return
// is the offset from R.Top to the bottom of the text. DT_CALCRECT draws nothing
// and sets R.Right/R.Bottom to the extent needed (R.Right to the widest line).
// Painting lays out lines only down to the last one that can show (in R
// unless DT_NOCLIP, in the painter's clip and device, with a line to spare for
// marks reaching past their line's box), so its return counts the lines up to
// there; DT_CALCRECT measures the whole text.
// Lines break at CR, LF or CR LF unless DT_SINGLELINE (a break at the very end
// of the text starts no further line);
// DT_WORDBREAK breaks at blanks and between CJK characters, and inside a word
// only when the word alone is wider than the line. '&' marks the next character as a
// mnemonic (underlined) unless DT_NOPREFIX; "&&" is a single '&'.
int DrawText(TCanvas *Canvas, const QString &Text, TRect &R, unsigned Format);
// The width in pixels Text would take on one line with the canvas font.
int DrawTextWidth(TCanvas *Canvas, const QString &Text);
// The same width but at most Limit, measured only as far as Limit reaches.
int DrawTextWidth(TCanvas *Canvas, const QString &Text, int Limit);
// The number of characters DrawText has measured on this thread so far, for
// tests and benchmarks that check that a paint costs what it shows.
qint64 DrawTextMeasuredCharacters();

// DrawEdge borders and flags.
enum : unsigned {
    BDR_RAISEDOUTER = 0x0001, BDR_SUNKENOUTER = 0x0002, BDR_RAISEDINNER = 0x0004, BDR_SUNKENINNER = 0x0008,
    BDR_OUTER = 0x0003, BDR_INNER = 0x000C, BDR_RAISED = 0x0005, BDR_SUNKEN = 0x000A,
    EDGE_RAISED = BDR_RAISEDOUTER | BDR_RAISEDINNER, EDGE_SUNKEN = BDR_SUNKENOUTER | BDR_SUNKENINNER,
    EDGE_ETCHED = BDR_SUNKENOUTER | BDR_RAISEDINNER, EDGE_BUMP = BDR_RAISEDOUTER | BDR_SUNKENINNER,

    BF_LEFT = 0x0001, BF_TOP = 0x0002, BF_RIGHT = 0x0004, BF_BOTTOM = 0x0008,
    BF_TOPLEFT = BF_TOP | BF_LEFT, BF_TOPRIGHT = BF_TOP | BF_RIGHT,
    BF_BOTTOMLEFT = BF_BOTTOM | BF_LEFT, BF_BOTTOMRIGHT = BF_BOTTOM | BF_RIGHT,
    BF_RECT = BF_LEFT | BF_TOP | BF_RIGHT | BF_BOTTOM,
    BF_DIAGONAL = 0x0010, BF_MIDDLE = 0x0800, BF_SOFT = 0x1000, BF_ADJUST = 0x2000,
    BF_FLAT = 0x4000, BF_MONO = 0x8000,
};

// Draws a 3-D edge of up to two 1-pixel lines (outer, inner) on the sides given,
// in clBtnHighlight/cl3DLight for raised light sides and clBtnShadow/cl3DDkShadow
// for dark sides (BF_SOFT and BF_FLAT/BF_MONO as the original). BF_MIDDLE fills
// the inside with clBtnFace; BF_ADJUST shrinks R to the inside. Returns false for
// an empty edge set with no BF_MIDDLE.
bool DrawEdge(TCanvas *Canvas, TRect &R, unsigned Edge, unsigned Flags);

// DrawFrameControl types and states.
enum : unsigned {
    DFC_CAPTION = 1, DFC_MENU = 2, DFC_SCROLL = 3, DFC_BUTTON = 4,

    DFCS_BUTTONCHECK = 0x0000, DFCS_BUTTONRADIOIMAGE = 0x0001, DFCS_BUTTONRADIOMASK = 0x0002,
    DFCS_BUTTONRADIO = 0x0004, DFCS_BUTTON3STATE = 0x0008, DFCS_BUTTONPUSH = 0x0010,

    DFCS_CAPTIONCLOSE = 0x0000, DFCS_CAPTIONMIN = 0x0001, DFCS_CAPTIONMAX = 0x0002,
    DFCS_CAPTIONRESTORE = 0x0003, DFCS_CAPTIONHELP = 0x0004,

    DFCS_SCROLLUP = 0x0000, DFCS_SCROLLDOWN = 0x0001, DFCS_SCROLLLEFT = 0x0002, DFCS_SCROLLRIGHT = 0x0003,
    DFCS_SCROLLCOMBOBOX = 0x0005, DFCS_SCROLLSIZEGRIP = 0x0008,

    DFCS_INACTIVE = 0x0100, DFCS_PUSHED = 0x0200, DFCS_CHECKED = 0x0400, DFCS_TRANSPARENT = 0x0800,
    DFCS_HOT = 0x1000, DFCS_ADJUSTRECT = 0x2000, DFCS_FLAT = 0x4000, DFCS_MONO = 0x8000,
};

// Draws a classic check box, radio button, push button, scroll arrow or caption
// button in R. Check boxes and radio buttons are drawn in a square of the
// smaller side of R, centred. Returns false for an unknown type (DFC_MENU
// included: nothing here draws menus).
bool DrawFrameControl(TCanvas *Canvas, const TRect &R, unsigned Type, unsigned State);

// Inverts every other pixel of R's 1-pixel frame; drawing it twice restores the pixels.
void DrawFocusRect(TCanvas *Canvas, const TRect &R);

// The original call pair for text background mode; returns the previous mode.
int SetBkMode(TCanvas *Canvas, int Mode);

// ------------------------------------------------------------------ graphics

enum TProgressStage { psStarting, psRunning, psEnding };

// The clipboard format of bitmaps: the bytes of a BMP file. Other formats are
// names registered with TPicture::RegisterClipboardFormat (such as "GIF Image").
constexpr char CF_BITMAP[] = "image/bmp";

// An abstract picture. Subclasses implement the stream format and drawing.
class TGraphic : public TObject {
public:
    TGraphic() = default;
    ~TGraphic() override = default;

    virtual QString ClassName() const = 0;
    // A new empty graphic of the same class (the picture class registry and
    // TPicture::SetGraphic copy through it).
    virtual std::unique_ptr<TGraphic> NewGraphic() const = 0;

    virtual bool Empty() const = 0;
    virtual int Width() const = 0;
    virtual int Height() const = 0;
    virtual void SetWidth(int Value);          // default: ignored
    virtual void SetHeight(int Value);         // default: ignored
    virtual bool Transparent() const { return FTransparent; }
    virtual void SetTransparent(bool Value);
    bool Modified() const { return FModified; }
    void SetModified(bool Value);
    // Palette handle placeholder: pictures here are true colour or carry their own table.
    virtual quint32 Palette() const { return 0; }
    virtual void SetPalette(quint32) {}

    // Damaged or unsupported data raises EInvalidGraphic; the graphic is then
    // empty. A stream with nothing left gives an empty graphic (what an empty
    // one saves); LoadFromFile refuses an empty file with EInvalidGraphic.
    virtual void LoadFromStream(TStream *Stream) = 0;
    virtual void SaveToStream(TStream *Stream) = 0;
    // LoadFromFile opens the file (EFOpenError) and calls LoadFromStream.
    // SaveToFile writes a temporary file beside the target and renames it over it.
    virtual void LoadFromFile(const QString &FileName);
    virtual void SaveToFile(const QString &FileName);

    // Clipboard exchange by format name. The defaults raise EInvalidGraphic
    // "Unsupported clipboard format".
    virtual void LoadFromClipboardFormat(const QString &Format, const QByteArray &Data);
    virtual void SaveToClipboardFormat(QString &Format, QByteArray &Data);

    // Copies Source. The default asks Source->AssignTo(this); unsupported pairs
    // raise EConvertError "Cannot assign a <source class> to a <target class>".
    virtual void Assign(const TGraphic *Source);
    virtual void AssignTo(TGraphic *Dest) const;

    // Draws the picture stretched into R (called by TCanvas::Draw and StretchDraw).
    virtual void Draw(TCanvas &Canvas, const TRect &R) = 0;

    std::function<void(TObject *Sender)> OnChange;
    std::function<void(TObject *Sender, TProgressStage Stage, quint8 PercentDone, bool RedrawNow,
                       const TRect &R, const QString &Msg)> OnProgress;

protected:
    virtual void Changed(TObject *Sender);
    void Progress(TObject *Sender, TProgressStage Stage, quint8 PercentDone, bool RedrawNow,
                  const TRect &R, const QString &Msg);

private:
    bool FTransparent = false;
    bool FModified = false;
};

enum TPixelFormat { pfDevice, pf1bit, pf4bit, pf8bit, pf15bit, pf16bit, pf24bit, pf32bit, pfCustom };
enum TTransparentMode { tmAuto, tmFixed };

// A device-independent bitmap over a QImage. Storage per pixel format, with
// the original scan-line layout: pf1bit 1 bit per pixel (most significant bit
// first), pf8bit 1 byte index, pf15bit/pf16bit little-endian 5-5-5/5-6-5 words,
// pf24bit B,G,R bytes, pf32bit B,G,R,x bytes, pfDevice as pf32bit. pf4bit is
// kept one byte per pixel (index 0..15), so its ScanLine rows are 8-bit.
// Paletted bitmaps are painted on a true-colour copy and mapped back to their
// colour table (nearest colour) when the pixels are next read.
class TBitmap : public TGraphic {
public:
    TBitmap();
    TBitmap(int AWidth, int AHeight);
    TBitmap(const TBitmap &Other);
    TBitmap &operator=(const TBitmap &Other);
    ~TBitmap() override;

    QString ClassName() const override { return QStringLiteral("TBitmap"); }
    std::unique_ptr<TGraphic> NewGraphic() const override;
    bool Empty() const override;
    int Width() const override;
    int Height() const override;
    void SetWidth(int Value) override;
    void SetHeight(int Value) override;
    // Keeps the pixels of the common area; new pixels are white (the entry
    // nearest to white when paletted).
    void SetSize(int AWidth, int AHeight);

    TPixelFormat PixelFormat() const;
    // Converts the pixels. Between paletted formats the colour table carries over
    // when every index in use fits; otherwise a paletted format gets a default
    // table (black/white, the 16 classic colours, a 6x6x6 cube with greys) and
    // each pixel its nearest entry.
    void SetPixelFormat(TPixelFormat Value);
    bool Monochrome() const;
    void SetMonochrome(bool Value);        // true: pf1bit black/white; false: back to pfDevice
    // Colour table of paletted formats (empty for true colour), as QRgb entries.
    QVector<QRgb> ColorTable() const;
    // Replaces the colours of the indexes in place (the pixels keep their indexes).
    void SetColorTable(const QVector<QRgb> &Table);

    TCanvas *Canvas();
    // Row Row of the pixels (top row is 0). Raises EInvalidGraphicOperation
    // "Scan line index out of range" outside 0..Height-1.
    void *ScanLine(int Row);
    int BytesPerScanLine() const;

    TColor TransparentColor() const;       // tmAuto: the bottom-left pixel's colour
    void SetTransparentColor(TColor Value);  // sets tmFixed
    TTransparentMode TransparentMode() const { return FTransparentMode; }
    void SetTransparentMode(TTransparentMode Value);

    // The pixels as a QImage (painting is finished first) and replacing them.
    // SetImage takes the pixel format from the image: Mono pf1bit, Indexed8
    // pf8bit, RGB555 pf15bit, RGB16 pf16bit, RGB888/BGR888 pf24bit, anything
    // else pf32bit (keeping an alpha channel when the image has one).
    const QImage &Image() const;
    void SetImage(const QImage &Image);

    // Reads BMP files: 1, 4, 8, 16, 24 and 32 bits, BI_RGB, BI_RLE4, BI_RLE8
    // and BI_BITFIELDS, bottom-up and top-down. Writes the pixel format's depth
    // (pf15bit as 16-bit 5-5-5, pf16bit as 16-bit 5-6-5 bit fields, pfDevice
    // and pfCustom as 24-bit).
    void LoadFromStream(TStream *Stream) override;
    void SaveToStream(TStream *Stream) override;
    void Assign(const TGraphic *Source) override;
    void AssignTo(TGraphic *Dest) const override;
    void Draw(TCanvas &Canvas, const TRect &R) override;
    // CF_BITMAP only.
    void LoadFromClipboardFormat(const QString &Format, const QByteArray &Data) override;
    void SaveToClipboardFormat(QString &Format, QByteArray &Data) override;

    void Dormant() {}
    void FreeImage() {}

private:
    class BitmapCanvas;
    friend class BitmapCanvas;
    mutable QImage FImage;
    TPixelFormat FPixelFormat = pfDevice;
    mutable QImage FPaintImage;             // true-colour copy while a paletted bitmap is painted
    mutable bool FPainting = false;
    std::unique_ptr<BitmapCanvas> FCanvas;
    TColor FTransparentColor = clDefault;
    TTransparentMode FTransparentMode = tmAuto;
    QVector<QRgb> FTable;                   // colour table kept while a paletted bitmap has no pixels
    void FinishPainting() const;
    QImage *PaintTarget();
    void PixelsChanged();
};

// An icon (.ico): the largest image of the file is shown; SaveToStream writes
// the bytes loaded, unchanged.
class TIcon : public TGraphic {
public:
    QString ClassName() const override { return QStringLiteral("TIcon"); }
    std::unique_ptr<TGraphic> NewGraphic() const override;
    bool Empty() const override { return FImage.isNull(); }
    int Width() const override { return FImage.width(); }
    int Height() const override { return FImage.height(); }
    void LoadFromStream(TStream *Stream) override;
    void SaveToStream(TStream *Stream) override;
    void Assign(const TGraphic *Source) override;
    void AssignTo(TGraphic *Dest) const override;
    void Draw(TCanvas &Canvas, const TRect &R) override;
    const QImage &Image() const { return FImage; }

private:
    QImage FImage;
    QByteArray FData;
};

// --------------------------------------------------------------- picture

using TGraphicFactory = std::function<std::unique_ptr<TGraphic>()>;

// Holds one graphic of any registered class. The class registry maps file
// extensions (compared without case) to factories; ".bmp", ".jpg", ".jpeg"
// and ".ico" are registered from the start; later registrations of the same
// extension take precedence.
class TPicture : public TObject {
public:
    TPicture();
    ~TPicture() override;

    TGraphic *Graphic() const { return FGraphic.get(); }
    // Stores a copy of Value (a new graphic of its class, assigned); nullptr clears.
    void SetGraphic(const TGraphic *Value);
    // Takes Value over without copying.
    void SetGraphic(std::unique_ptr<TGraphic> Value);
    // The graphic as a bitmap; a picture holding another class (or none) is replaced by an empty TBitmap.
    TBitmap *Bitmap();
    int Width() const;
    int Height() const;

    // The class is chosen by the file's extension; an unknown one raises EInvalidGraphic
    // "Unknown picture file extension (.xyz)". A failed load leaves the picture as it was.
    void LoadFromFile(const QString &FileName);
    void SaveToFile(const QString &FileName);
    void Assign(const TPicture *Source);
    void Assign(const TGraphic *Source) { SetGraphic(Source); }

    std::function<void(TObject *Sender)> OnChange;

    // Extension with or without the dot ("gif" or ".gif"); Description such as "GIF Image".
    static void RegisterFileFormat(const QString &Extension, const QString &Description, TGraphicFactory Factory);
    // Removes every extension registered for graphics of this class name.
    static void UnregisterGraphicClass(const QString &ClassName);
    // A new graphic for the extension, or nullptr when none is registered.
    static std::unique_ptr<TGraphic> CreateGraphicForExtension(const QString &Extension);
    // Filter text for picture dialogs: "All (*.a;*.b)|*.a;*.b|Desc (*.a)|*.a|...",
    // limited to graphics Accept returns true for (all when empty).
    static QString GraphicFilter(const std::function<bool(const TGraphic &)> &Accept = {});
    // "*.a;*.b" for the same selection.
    static QString GraphicFileMask(const std::function<bool(const TGraphic &)> &Accept = {});

    // Clipboard formats: CF_BITMAP is TBitmap's; others are bound here.
    static void RegisterClipboardFormat(const QString &Format, TGraphicFactory Factory);
    static bool SupportsClipboardFormat(const QString &Format);
    // Loads a graphic of the class bound to Format (EInvalidGraphic "Unsupported
    // clipboard format" when none is); the picture is unchanged on failure.
    void LoadFromClipboardFormat(const QString &Format, const QByteArray &Data);
    // The graphic's own format and data; nothing for an empty picture.
    void SaveToClipboardFormat(QString &Format, QByteArray &Data);

private:
    std::unique_ptr<TGraphic> FGraphic;
    void Changed(TObject *Sender);
    void Hook();
};
