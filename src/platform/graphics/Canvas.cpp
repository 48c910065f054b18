// TCanvas: drawing with the original pixel conventions on a QPainter.
#include "platform/graphics/Graphics.h"

#include <QFontMetrics>
#include <QImage>
#include <QPaintDevice>
#include <QPainter>
#include <QPixmap>
#include <QPolygon>
#include <algorithm>
#include <cmath>

namespace {

QPainter::CompositionMode PenComposition(TPenMode Mode)
{
    switch (Mode) {
    case pmNot: return QPainter::RasterOp_NotDestination;
    case pmNotCopy: return QPainter::RasterOp_NotSource;
    case pmMergePenNot: return QPainter::RasterOp_SourceOrNotDestination;
    case pmMaskPenNot: return QPainter::RasterOp_SourceAndNotDestination;
    case pmMergeNotPen: return QPainter::RasterOp_NotSourceOrDestination;
    case pmMaskNotPen: return QPainter::RasterOp_NotSourceAndDestination;
    case pmMerge: return QPainter::RasterOp_SourceOrDestination;
    case pmNotMerge: return QPainter::RasterOp_NotSourceAndNotDestination;
    case pmMask: return QPainter::RasterOp_SourceAndDestination;
    case pmNotMask: return QPainter::RasterOp_NotSourceOrNotDestination;
    case pmXor: return QPainter::RasterOp_SourceXorDestination;
    case pmNotXor: return QPainter::RasterOp_NotSourceXorDestination;
    default: return QPainter::CompositionMode_SourceOver;
    }
}

QColor PenQColor(const TPen &Pen)
{
    if (Pen.Mode() == pmBlack)
        return Qt::black;
    if (Pen.Mode() == pmWhite || Pen.Mode() == pmNot)
        return Qt::white;
    return TColorToQColor(Pen.Color());
}

Qt::BrushStyle QtBrushStyle(TBrushStyle Style)
{
    switch (Style) {
    case bsSolid: return Qt::SolidPattern;
    case bsClear: return Qt::NoBrush;
    case bsHorizontal: return Qt::HorPattern;
    case bsVertical: return Qt::VerPattern;
    case bsFDiagonal: return Qt::FDiagPattern;
    case bsBDiagonal: return Qt::BDiagPattern;
    case bsCross: return Qt::CrossPattern;
    case bsDiagCross: return Qt::DiagCrossPattern;
    }
    return Qt::SolidPattern;
}

QBrush ToQBrush(const TBrush &Brush)
{
    if (Brush.Style() == bsClear || Brush.Color() == clNone)
        return QBrush(Qt::NoBrush);
    return QBrush(TColorToQColor(Brush.Color()), QtBrushStyle(Brush.Style()));
}

// On/off run lengths of the 1-pixel dashed pens.
std::vector<int> DashPattern(TPenStyle Style)
{
    switch (Style) {
    case psDash: return {18, 6};
    case psDot: return {3, 3};
    case psDashDot: return {9, 6, 3, 6};
    case psDashDotDot: return {9, 3, 3, 3, 3, 3};
    default: return {};
    }
}

QImage DeviceImage(QPaintDevice *Device, const QRect &Area)
{
    if (!Device)
        return QImage();
    if (Device->devType() == QInternal::Image)
        return static_cast<QImage *>(Device)->copy(Area);
    if (Device->devType() == QInternal::Pixmap)
        return static_cast<QPixmap *>(Device)->copy(Area).toImage();
    return QImage();
}

// Whether the logical pixel (X, Y) lies on the device.
bool OnDevice(const QPaintDevice *Device, int X, int Y)
{
    const QRectF Whole = LogicalDeviceRect(Device);
    return X >= Whole.left() && Y >= Whole.top() && X + 1 <= Whole.right() && Y + 1 <= Whole.bottom();
}

QPainter::CompositionMode CopyComposition(TCopyMode Mode)
{
    switch (Mode) {
    case cmSrcPaint: return QPainter::RasterOp_SourceOrDestination;
    case cmSrcAnd: return QPainter::RasterOp_SourceAndDestination;
    case cmSrcInvert: return QPainter::RasterOp_SourceXorDestination;
    default: return QPainter::CompositionMode_SourceOver;
    }
}

} // namespace

TCanvas::TCanvas()
{
    FBrush.OnChange = [this](TObject *) { FBkMode = 0; };
    FFont.OnChange = [this](TObject *) { FQtFontValid = false; };
}

const QFont &TCanvas::QtFont()
{
    if (!FQtFontValid) {
        FQtFont = FFont.ToQFont();
        FQtFontValid = true;
    }
    return FQtFont;
}

TCanvas::TCanvas(QPaintDevice *Device) : TCanvas()
{
    FDevice = Device;
}

TCanvas::TCanvas(QPainter *Painter) : TCanvas()
{
    FPainter = Painter;
    FDevice = Painter ? Painter->device() : nullptr;
}

TCanvas::~TCanvas()
{
    if (FOwnPainter) {
        FOwnPainter->end();
        FOwnPainter.reset();
    }
}

void TCanvas::SetDevice(QPaintDevice *Device)
{
    Release();
    FPainter = nullptr;
    FDevice = Device;
}

void TCanvas::SetPainter(QPainter *Painter)
{
    Release();
    FPainter = Painter;
    FDevice = Painter ? Painter->device() : nullptr;
    ApplyClip();
}

QPaintDevice *TCanvas::Device() const { return FDevice; }

bool TCanvas::HandleAllocated() const { return FPainter != nullptr; }

void TCanvas::Release()
{
    if (!FOwnPainter)
        return;
    FOwnPainter->end();
    FOwnPainter.reset();
    FPainter = nullptr;
    AfterPaint();
}

void TCanvas::ApplyClip()
{
    if (!FPainter)
        return;
    // An unclipped painter is left alone: a recording canvas would otherwise
    // keep a "clipping off" that lifts the clip of whatever it is replayed on.
    if (FClipped)
        FPainter->setClipRect(FClip);
    else if (FOwnPainter && FPainter->hasClipping())
        FPainter->setClipping(false);
}

QPainter *TCanvas::Painter()
{
    if (!FPainter) {
        BeforePaint();
        if (!FDevice)
            throw EInvalidOperation(QStringLiteral("Canvas does not allow drawing"));
        if (FDevice->width() <= 0 || FDevice->height() <= 0)
            return nullptr;
        auto P = std::make_unique<QPainter>();
        if (!P->begin(FDevice))
            return nullptr;
        FOwnPainter = std::move(P);
        FPainter = FOwnPainter.get();
        FPainter->setRenderHint(QPainter::Antialiasing, false);
        FPainter->setRenderHint(QPainter::SmoothPixmapTransform, false);
        FPainter->setRenderHint(QPainter::TextAntialiasing, true);
        ApplyClip();
    }
    QPen QP(PenQColor(FPen), std::max(1, FPen.Width()));
    QP.setCosmetic(FPen.Width() <= 1);
    if (FPen.Style() == psClear || FPen.Mode() == pmNop)
        QP.setStyle(Qt::NoPen);
    // Each drawing call asks for the painter: only what changed is set again.
    if (FPainter->pen() != QP)
        FPainter->setPen(QP);
    const QBrush B = ToQBrush(FBrush);
    if (FPainter->brush() != B)
        FPainter->setBrush(B);
    const QFont &F = QtFont();
    if (!(FPainterFontFrom == F && FPainter->font() == FPainterFont)) {
        FPainter->setFont(F);
        FPainterFontFrom = F;
        FPainterFont = FPainter->font();
    }
    if (FPainter->compositionMode() != QPainter::CompositionMode_SourceOver)
        FPainter->setCompositionMode(QPainter::CompositionMode_SourceOver);
    return FPainter;
}

int TCanvas::BkMode() const
{
    if (FBkMode)
        return FBkMode;
    return FBrush.Style() == bsSolid ? OPAQUE : TRANSPARENT;
}

void TCanvas::SetBkMode(int Mode)
{
    FBkMode = (Mode == TRANSPARENT || Mode == OPAQUE) ? Mode : 0;
}

void TCanvas::Changing()
{
    if (OnChanging)
        OnChanging(this);
}

void TCanvas::Changed()
{
    if (OnChange)
        OnChange(this);
}

// ------------------------------------------------------------------- lines

void TCanvas::PlotLine(QPainter &P, int X0, int Y0, int X1, int Y1, bool IncludeLast)
{
    if (FPen.Style() == psClear || FPen.Mode() == pmNop)
        return;
    const QColor Color = PenQColor(FPen);
    P.setCompositionMode(PenComposition(FPen.Mode()));
    if (FPen.Width() > 1) {
        QPen Wide(Color, FPen.Width(), Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
        if (FPen.Style() != psSolid && FPen.Style() != psInsideFrame)
            Wide.setStyle(Qt::DashLine);
        P.setPen(Wide);
        P.drawLine(X0, Y0, X1, Y1);
        return;
    }
    const std::vector<int> Dashes = DashPattern(FPen.Style());
    const bool Opaque = !Dashes.empty() && BkMode() == OPAQUE && FBrush.Color() != clNone;
    const QColor Gap = Opaque ? TColorToQColor(FBrush.Color()) : QColor();

    // Solid horizontal and vertical lines are rectangles.
    if (Dashes.empty() && (X0 == X1 || Y0 == Y1)) {
        int L = std::min(X0, X1), R = std::max(X0, X1), T = std::min(Y0, Y1), B = std::max(Y0, Y1);
        if (!IncludeLast) {
            if (X0 == X1 && Y0 == Y1)
                return;
            if (Y0 == Y1) {
                if (X1 > X0) --R; else ++L;
            } else {
                if (Y1 > Y0) --B; else ++T;
            }
        }
        P.fillRect(QRect(L, T, R - L + 1, B - T + 1), Color);
        return;
    }

    QPolygon On, Off;
    const int DX = std::abs(X1 - X0), DY = -std::abs(Y1 - Y0);
    const int SX = X0 < X1 ? 1 : -1, SY = Y0 < Y1 ? 1 : -1;
    int Err = DX + DY, X = X0, Y = Y0;
    size_t Run = 0;
    int RunLeft = Dashes.empty() ? 0 : Dashes[0];
    for (;;) {
        const bool Last = X == X1 && Y == Y1;
        if (Last && !IncludeLast)
            break;
        if (Dashes.empty() || Run % 2 == 0)
            On << QPoint(X, Y);
        else if (Opaque)
            Off << QPoint(X, Y);
        if (!Dashes.empty() && --RunLeft == 0) {
            Run = (Run + 1) % Dashes.size();
            RunLeft = Dashes[Run];
        }
        if (Last)
            break;
        const int E2 = 2 * Err;
        if (E2 >= DY) {
            Err += DY;
            X += SX;
        }
        if (E2 <= DX) {
            Err += DX;
            Y += SY;
        }
    }
    QPen Pen1(Color, 1);
    Pen1.setCosmetic(true);
    P.setPen(Pen1);
    P.drawPoints(On);
    if (!Off.isEmpty()) {
        Pen1.setColor(Gap);
        P.setPen(Pen1);
        P.drawPoints(Off);
    }
}

void TCanvas::MoveTo(int X, int Y) { FPenPos = TPoint(X, Y); }

void TCanvas::LineTo(int X, int Y)
{
    Changing();
    if (QPainter *P = Painter())
        PlotLine(*P, FPenPos.X, FPenPos.Y, X, Y, false);
    FPenPos = TPoint(X, Y);
    Changed();
}

void TCanvas::Polyline(const std::vector<TPoint> &Points)
{
    Changing();
    if (QPainter *P = Painter()) {
        for (size_t I = 1; I < Points.size(); ++I)
            PlotLine(*P, Points[I - 1].X, Points[I - 1].Y, Points[I].X, Points[I].Y, false);
    }
    Changed();
}

// ------------------------------------------------------------------ shapes

QPainter *TCanvas::BeginShape(bool WithPen, bool WithBrush)
{
    QPainter *P = Painter();
    if (!P)
        return nullptr;
    if (!WithPen)
        P->setPen(Qt::NoPen);
    if (!WithBrush)
        P->setBrush(Qt::NoBrush);
    if (WithPen && FPen.Style() != psClear)
        P->setCompositionMode(PenComposition(FPen.Mode()));
    if (WithPen && FPen.Style() != psClear && FPen.Style() != psSolid && FPen.Style() != psInsideFrame) {
        QPen QP = P->pen();
        QP.setStyle(FPen.Style() == psDot ? Qt::DotLine : FPen.Style() == psDash ? Qt::DashLine
                    : FPen.Style() == psDashDot ? Qt::DashDotLine : Qt::DashDotDotLine);
        P->setPen(QP);
    }
    return P;
}

void TCanvas::Rectangle(int X1, int Y1, int X2, int Y2)
{
    if (X2 < X1)
        std::swap(X1, X2);
    if (Y2 < Y1)
        std::swap(Y1, Y2);
    Changing();
    QPainter *P = Painter();
    if (!P) {
        Changed();
        return;
    }
    const bool HasPen = FPen.Style() != psClear && FPen.Mode() != pmNop;
    const QBrush Fill = ToQBrush(FBrush);
    if (!HasPen) {
        // Without a pen the original fills one pixel less to the right and bottom.
        if (Fill.style() != Qt::NoBrush && X2 - X1 > 1 && Y2 - Y1 > 1)
            P->fillRect(QRect(X1, Y1, X2 - X1 - 1, Y2 - Y1 - 1), Fill);
    } else if (FPen.Width() <= 1) {
        if (Fill.style() != Qt::NoBrush && X2 - X1 > 2 && Y2 - Y1 > 2)
            P->fillRect(QRect(X1 + 1, Y1 + 1, X2 - X1 - 2, Y2 - Y1 - 2), Fill);
        if (X2 > X1 && Y2 > Y1) {
            PlotLine(*P, X1, Y1, X2 - 1, Y1, true);
            if (Y2 - 1 > Y1)
                PlotLine(*P, X1, Y2 - 1, X2 - 1, Y2 - 1, true);
            if (Y2 - Y1 > 2) {
                PlotLine(*P, X1, Y1 + 1, X1, Y2 - 2, true);
                if (X2 - 1 > X1)
                    PlotLine(*P, X2 - 1, Y1 + 1, X2 - 1, Y2 - 2, true);
            }
        }
    } else {
        QPainter *S = BeginShape(true, true);
        QPen QP = S->pen();
        QP.setJoinStyle(Qt::MiterJoin);
        S->setPen(QP);
        S->drawRect(QRect(X1, Y1, X2 - X1 - 1, Y2 - Y1 - 1));
    }
    Changed();
}

void TCanvas::FillRect(const TRect &R)
{
    Changing();
    if (!R.IsEmpty()) {
        if (QPainter *P = Painter()) {
            const QBrush Fill = ToQBrush(FBrush);
            if (Fill.style() != Qt::NoBrush)
                P->fillRect(R.ToQRect(), Fill);
        }
    }
    Changed();
}

void TCanvas::FrameRect(const TRect &R)
{
    Changing();
    if (!R.IsEmpty() && FBrush.Style() != bsClear && FBrush.Color() != clNone) {
        if (QPainter *P = Painter()) {
            const QColor C = TColorToQColor(FBrush.Color());
            P->fillRect(QRect(R.Left, R.Top, R.Width(), 1), C);
            P->fillRect(QRect(R.Left, R.Bottom - 1, R.Width(), 1), C);
            P->fillRect(QRect(R.Left, R.Top, 1, R.Height()), C);
            P->fillRect(QRect(R.Right - 1, R.Top, 1, R.Height()), C);
        }
    }
    Changed();
}

void TCanvas::RoundRect(int X1, int Y1, int X2, int Y2, int X3, int Y3)
{
    Changing();
    if (QPainter *P = BeginShape(FPen.Style() != psClear, true))
        P->drawRoundedRect(QRect(X1, Y1, X2 - X1 - 1, Y2 - Y1 - 1), X3 / 2.0, Y3 / 2.0, Qt::AbsoluteSize);
    Changed();
}

void TCanvas::Ellipse(int X1, int Y1, int X2, int Y2)
{
    if (X2 < X1)
        std::swap(X1, X2);
    if (Y2 < Y1)
        std::swap(Y1, Y2);
    Changing();
    if (X2 - X1 > 1 && Y2 - Y1 > 1) {
        if (QPainter *P = BeginShape(FPen.Style() != psClear, true))
            P->drawEllipse(QRect(X1, Y1, X2 - X1 - 1, Y2 - Y1 - 1));
    }
    Changed();
}

namespace {

// Start angle and span in 1/16 degree, counter-clockwise from the ray through
// (X3, Y3) to the ray through (X4, Y4), as Qt's arc calls take them.
void ArcAngles(int X1, int Y1, int X2, int Y2, int X3, int Y3, int X4, int Y4, int &Start, int &Span)
{
    const double CX = (X1 + X2) / 2.0, CY = (Y1 + Y2) / 2.0;
    const double A3 = std::atan2(CY - Y3, X3 - CX) * 180.0 / M_PI;
    const double A4 = std::atan2(CY - Y4, X4 - CX) * 180.0 / M_PI;
    double S = A4 - A3;
    while (S <= 0)
        S += 360.0;
    Start = int(std::lround(A3 * 16));
    Span = int(std::lround(S * 16));
}

} // namespace

void TCanvas::Arc(int X1, int Y1, int X2, int Y2, int X3, int Y3, int X4, int Y4)
{
    Changing();
    int Start, Span;
    ArcAngles(X1, Y1, X2, Y2, X3, Y3, X4, Y4, Start, Span);
    if (QPainter *P = BeginShape(true, false))
        P->drawArc(QRect(X1, Y1, X2 - X1 - 1, Y2 - Y1 - 1), Start, Span);
    Changed();
}

void TCanvas::Pie(int X1, int Y1, int X2, int Y2, int X3, int Y3, int X4, int Y4)
{
    Changing();
    int Start, Span;
    ArcAngles(X1, Y1, X2, Y2, X3, Y3, X4, Y4, Start, Span);
    if (QPainter *P = BeginShape(FPen.Style() != psClear, true))
        P->drawPie(QRect(X1, Y1, X2 - X1 - 1, Y2 - Y1 - 1), Start, Span);
    Changed();
}

void TCanvas::Polygon(const std::vector<TPoint> &Points)
{
    Changing();
    if (Points.size() >= 2) {
        if (QPainter *P = BeginShape(FPen.Style() != psClear, true)) {
            QPolygon Poly;
            for (const TPoint &Pt : Points)
                Poly << Pt.ToQPoint();
            P->drawPolygon(Poly, Qt::OddEvenFill);
        }
    }
    Changed();
}

// -------------------------------------------------------------------- text

int TCanvas::TextWidth(const QString &Text) { return TextExtent(Text).cx; }

int TCanvas::TextHeight(const QString &Text) { return TextExtent(Text).cy; }

TSize TCanvas::TextExtent(const QString &Text)
{
    const QFontMetrics FM(QtFont());
    return TSize(FM.horizontalAdvance(Text), FM.height());
}

void TCanvas::TextOut(int X, int Y, const QString &Text)
{
    Changing();
    const QFontMetrics FM(QtFont());
    const int W = FM.horizontalAdvance(Text);
    if (QPainter *P = Painter()) {
        P->save();
        if (FFont.Orientation() != 0) {
            P->translate(X, Y);
            P->rotate(-FFont.Orientation() / 10.0);
            P->translate(-X, -Y);
        }
        if (BkMode() == OPAQUE && FBrush.Color() != clNone)
            P->fillRect(QRect(X, Y, W, FM.height()), TColorToQColor(FBrush.Color()));
        P->setPen(TColorToQColor(FFont.Color()));
        P->drawText(X, Y + FM.ascent(), Text);
        P->restore();
    }
    FPenPos = TPoint(X + W, Y);
    Changed();
}

void TCanvas::TextRect(const TRect &R, int X, int Y, const QString &Text)
{
    Changing();
    if (QPainter *P = Painter()) {
        const QFontMetrics FM(QtFont());
        P->save();
        P->setClipRect(R.ToQRect(), P->hasClipping() ? Qt::IntersectClip : Qt::ReplaceClip);
        if (FBrush.Style() == bsSolid && FBrush.Color() != clNone && !R.IsEmpty())
            P->fillRect(R.ToQRect(), TColorToQColor(FBrush.Color()));
        P->setPen(TColorToQColor(FFont.Color()));
        P->drawText(X, Y + FM.ascent(), Text);
        P->restore();
    }
    Changed();
}

// ---------------------------------------------------------------- pictures

void TCanvas::Draw(int X, int Y, TGraphic *Graphic)
{
    if (!Graphic || Graphic->Empty())
        return;
    Changing();
    Graphic->Draw(*this, Bounds(X, Y, Graphic->Width(), Graphic->Height()));
    Changed();
}

void TCanvas::StretchDraw(const TRect &R, TGraphic *Graphic)
{
    if (!Graphic || Graphic->Empty())
        return;
    Changing();
    Graphic->Draw(*this, R);
    Changed();
}

void TCanvas::CopyRect(const TRect &Dest, TCanvas *Canvas, const TRect &Source)
{
    if (!Canvas || Dest.IsEmpty() || Source.IsEmpty())
        return;
    Changing();
    // Take the source pixels first: the source may be this canvas.
    if (Canvas->FPainter == nullptr)
        Canvas->BeforePaint();
    const QImage Src = DeviceImage(Canvas->FDevice, Source.ToQRect());
    if (!Src.isNull()) {
        if (QPainter *P = Painter()) {
            if (CopyMode == cmBlackness || CopyMode == cmWhiteness) {
                P->fillRect(Dest.ToQRect(), CopyMode == cmBlackness ? Qt::black : Qt::white);
            } else if (CopyMode == cmDstInvert) {
                P->setCompositionMode(QPainter::RasterOp_NotDestination);
                P->fillRect(Dest.ToQRect(), Qt::white);
            } else {
                P->setCompositionMode(CopyComposition(CopyMode));
                P->drawImage(Dest.ToQRect(), Src);
            }
            P->setCompositionMode(QPainter::CompositionMode_SourceOver);
        }
    }
    Changed();
}

void TCanvas::BrushCopy(const TRect &Dest, TBitmap *Bitmap, const TRect &Source, TColor Color)
{
    if (!Bitmap || Bitmap->Empty() || Dest.IsEmpty() || Source.IsEmpty())
        return;
    Changing();
    QImage Src = Bitmap->Image().copy(Source.ToQRect()).convertToFormat(QImage::Format_RGB32);
    const TColor Key = ColorToRGB(Color);
    const QRgb KeyRgb = qRgb(GetRValue(Key), GetGValue(Key), GetBValue(Key));
    const QRgb Fill = TColorToQColor(FBrush.Color()).rgb();
    for (int Y = 0; Y < Src.height(); ++Y) {
        QRgb *Line = reinterpret_cast<QRgb *>(Src.scanLine(Y));
        for (int X = 0; X < Src.width(); ++X)
            if ((Line[X] | 0xFF000000u) == KeyRgb)
                Line[X] = Fill;
    }
    if (QPainter *P = Painter())
        P->drawImage(Dest.ToQRect(), Src);
    Changed();
}

// ------------------------------------------------------------------ pixels

TColor TCanvas::Pixels(int X, int Y)
{
    if (!FPainter)
        BeforePaint();
    if (!FDevice || !OnDevice(FDevice, X, Y))
        return clNone;
    // An image made for a screen of a higher pixel ratio holds more than one
    // pixel for each logical one: the first of them is read.
    const qreal Ratio = FDevice->devicePixelRatioF();
    const int PX = int(X * Ratio), PY = int(Y * Ratio);
    if (FDevice->devType() == QInternal::Image) {
        const QRgb C = static_cast<QImage *>(FDevice)->pixel(PX, PY);
        return RGB(qRed(C), qGreen(C), qBlue(C));
    }
    const QImage Img = DeviceImage(FDevice, QRect(PX, PY, 1, 1));
    if (Img.isNull())
        return clNone;
    const QRgb C = Img.pixel(0, 0);
    return RGB(qRed(C), qGreen(C), qBlue(C));
}

void TCanvas::SetPixels(int X, int Y, TColor Color)
{
    Changing();
    if (QPainter *P = Painter()) {
        // A recording has no extent of its own: it keeps every pixel set on
        // it, and where it is replayed the rectangle it is drawn into clips it.
        if (FDevice && (FDevice->devType() == QInternal::Picture || OnDevice(FDevice, X, Y))) {
            P->setCompositionMode(QPainter::CompositionMode_Source);
            P->fillRect(QRect(X, Y, 1, 1), TColorToQColor(ColorToRGB(Color) & 0xFFFFFF));
            P->setCompositionMode(QPainter::CompositionMode_SourceOver);
        }
    }
    Changed();
}

// -------------------------------------------------------------------- clip

TRect TCanvas::ClipRect()
{
    if (!FPainter)
        BeforePaint();
    const TRect Whole = TRect::FromQRect(LogicalDeviceRect(FDevice).toAlignedRect());
    if (!FClipped)
        return Whole;
    TRect R;
    IntersectRect(R, Whole, TRect::FromQRect(FClip));
    return R;
}

void TCanvas::IntersectClipRect(const TRect &R)
{
    const QRect Q = R.IsEmpty() ? QRect(R.Left, R.Top, 0, 0) : R.ToQRect();
    FClip = FClipped ? FClip.intersected(Q) : Q;
    FClipped = true;
    ApplyClip();
}

void TCanvas::SelectClipRect(const TRect *R)
{
    if (R) {
        FClip = R->ToQRect();
        FClipped = true;
    } else {
        FClipped = false;
        FClip = QRect();
    }
    ApplyClip();
}

// -------------------------------------------------------------------- lock

void TCanvas::Lock()
{
    FLock.lock();
    ++FLockCount;
}

void TCanvas::Unlock()
{
    if (FLockCount <= 0)
        return;
    --FLockCount;
    FLock.unlock();
}

bool TCanvas::TryLock()
{
    if (!FLock.try_lock())
        return false;
    ++FLockCount;
    return true;
}
