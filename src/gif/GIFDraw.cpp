// TGIFImage as a graphic: creation, loading, frame pictures, drawing and the
// painters' life cycle.

#include "GIFImage.h"
#include "detail/GIFCanvas.h"
#include "detail/GIFStrings.h"
#include "platform/core/SysUtils.h"

#include <QCoreApplication>
#include <QGuiApplication>
#include <QScreen>
#include <algorithm>

using namespace gifdetail;

namespace {

QString Msg(const char *Text)
{
    return QString::fromLatin1(Text);
}

bool &PalettedDisplayFlag()
{
    // On start the flag follows the screen: 8 bits per pixel or less.
    static bool Flag = [] {
        if (qobject_cast<QGuiApplication *>(QCoreApplication::instance()))
            if (QScreen *Screen = QGuiApplication::primaryScreen())
                return Screen->depth() < 9;
        return false;
    }();
    return Flag;
}

} // namespace

TGIFDrawFlags GIFDefaultDrawOptions = drawThreaded | drawTransparent | drawAnimated | drawRepeat | drawWebPalette
                                      | drawWebPaletteIfPaletted;
int GIFDefaultColorReduction = 6;
int GIFDefaultReductionBits = 8;
int GIFDefaultDitherMode = 0;
int GIFDefaultCompression = 0;
int GIFDefaultThreadPriority = 3;
int GIFDefaultAnimationSpeed = 100;
TColor GIFDefaultBackgroundColor = GIFNoBackgroundColor;

bool GIFDisplayIsPaletted()
{
    return PalettedDisplayFlag();
}

void SetGIFDisplayIsPaletted(bool Value)
{
    PalettedDisplayFlag() = Value;
}

const QList<QRgb> &GIFWebPalette()
{
    static const QList<QRgb> Palette = [] {
        QList<QRgb> P;
        for (int R = 0; R < 6; ++R)
            for (int G = 0; G < 6; ++G)
                for (int B = 0; B < 6; ++B)
                    P.append(qRgb(R * 51, G * 51, B * 51));
        return P;
    }();
    return Palette;
}

static bool UseWebPalette(TGIFDrawFlags Options)
{
    return (Options & drawWebPalette) && (!(Options & drawWebPaletteIfPaletted) || GIFDisplayIsPaletted());
}

// ------------------------------------------------------------ frame pictures

// Called with FBitmapLock held.
void TGIFSubImage::MakePalette()
{
    if (!FPalette.isEmpty())
        return;
    if (FGIFImage && UseWebPalette(FGIFImage->DrawOptions())) {
        FPalette = GIFWebPalette();
    } else {
        TGIFColorMap *Map = ActiveColorMap();
        for (int I = 0; I < Map->Count(); ++I) {
            const TGIFColor &C = Map->Data()[I];
            FPalette.append(qRgb(C.Red, C.Green, C.Blue));
        }
    }
}

QList<QRgb> TGIFSubImage::Palette()
{
    std::lock_guard<std::mutex> Guard(FBitmapLock);
    MakePalette();
    return FPalette;
}

bool TGIFSubImage::HasBitmap() const
{
    std::lock_guard<std::mutex> Guard(FBitmapLock);
    return !FBitmap.isNull();
}

void TGIFSubImage::FreeBitmap()
{
    std::lock_guard<std::mutex> Guard(FBitmapLock);
    FBitmap = QImage();
    FMask = QImage();
    FNeedMask = true;
    FPalette.clear();
    if (FGIFImage)
        FGIFImage->FStill.reset();   // the image's still shows frame 0
}

void TGIFSubImage::PrepareBitmap()
{
    std::lock_guard<std::mutex> Guard(FBitmapLock);
    if (FBitmap.isNull()) {
        MakePalette();
        BuildBitmap();
    }
}

QImage TGIFSubImage::Bitmap()
{
    std::lock_guard<std::mutex> Guard(FBitmapLock);
    if (FBitmap.isNull()) {
        MakePalette();
        BuildBitmap();
    }
    return FBitmap;
}

QImage TGIFSubImage::Mask()
{
    PrepareBitmap();
    std::lock_guard<std::mutex> Guard(FBitmapLock);
    return FMask;
}

// Builds the frame's 8-bit picture and, for a transparent frame, its mask.
// Called with FBitmapLock held and FPalette set.
void TGIFSubImage::BuildBitmap()
{
    const int W = Width(), H = Height();
    FBitmap = QImage(std::max(W, 1), std::max(H, 1), QImage::Format_Indexed8);
    if (FBitmap.isNull())
        throw EOutOfResources(Msg(gifstr::OutOfResources));
    // Pixel values beyond the table show as black, never outside it.
    QList<QRgb> Table = FPalette;
    while (Table.size() < 256)
        Table.append(qRgb(0, 0, 0));
    FBitmap.setColorTable(Table);
    FBitmap.fill(0);
    if (FData.empty() || W == 0 || H == 0)
        return;

    const bool Web = FGIFImage && UseWebPalette(FGIFImage->DrawOptions());
    const bool Report = FGIFImage && IsMainThread();
    if (!Web) {
        for (int Y = 0; Y < H; ++Y) {
            std::memcpy(FBitmap.scanLine(Y), FData.data() + size_t(Y) * size_t(W), size_t(W));
            if (Report && Y % 32 == 0)
                FGIFImage->ProgressReport(psRunning, Y * 100 / H, Msg(gifstr::Rendering));
        }
    } else {
        // The frame's own colours mapped to the web palette with
        // Floyd-Steinberg error diffusion, rows in serpentine order.
        TGIFColorMap *Map = ActiveColorMap();
        const int Count = Map->Count();
        std::vector<int> Cur(size_t(W + 2) * 3, 0), Next(size_t(W + 2) * 3, 0);
        for (int Y = 0; Y < H; ++Y) {
            const bool LeftToRight = (Y % 2) == 0;
            const uint8_t *Src = FData.data() + size_t(Y) * size_t(W);
            uint8_t *Dst = FBitmap.scanLine(Y);
            for (int I = 0; I < W; ++I) {
                const int X = LeftToRight ? I : W - 1 - I;
                const int Dir = LeftToRight ? 1 : -1;
                const uint8_t P = Src[X];
                TGIFColor C = (P < Count) ? Map->Data()[P] : TGIFColor();
                const int In[3] = {C.Red, C.Green, C.Blue};
                int Level[3];
                for (int K = 0; K < 3; ++K) {
                    int V = In[K] + (Cur[size_t(X + 1) * 3 + size_t(K)] + 8) / 16;
                    V = std::clamp(V, 0, 255);
                    Level[K] = (V + 3) / 51;
                    const int Err = V - Level[K] * 51;
                    auto Add = [&](std::vector<int> &Row, int At, int Weight) {
                        Row[size_t(At + 1) * 3 + size_t(K)] += Err * Weight;
                    };
                    if (X + Dir >= 0 && X + Dir < W)
                        Add(Cur, X + Dir, 7);
                    if (X - Dir >= 0 && X - Dir < W)
                        Add(Next, X - Dir, 3);
                    Add(Next, X, 5);
                    if (X + Dir >= 0 && X + Dir < W)
                        Add(Next, X + Dir, 1);
                }
                Dst[X] = uint8_t(Level[0] * 36 + Level[1] * 6 + Level[2]);
            }
            std::swap(Cur, Next);
            std::fill(Next.begin(), Next.end(), 0);
            if (Report && Y % 32 == 0)
                FGIFImage->ProgressReport(psRunning, Y * 100 / H, Msg(gifstr::Rendering));
        }
    }

    if (FTransparent && FGCE && FNeedMask) {
        const uint8_t T = FGCE->TransparentColorIndex();
        bool Any = std::find(FData.begin(), FData.end(), T) != FData.end();
        if (Any) {
            FMask = QImage(W, H, QImage::Format_Mono);
            if (FMask.isNull())
                throw EOutOfResources(Msg(gifstr::OutOfResources));
            FMask.setColorTable({qRgb(0, 0, 0), qRgb(255, 255, 255)});
            FMask.fill(0);
            for (int Y = 0; Y < H; ++Y) {
                const uint8_t *Src = FData.data() + size_t(Y) * size_t(W);
                uint8_t *Bits = FMask.scanLine(Y);
                for (int X = 0; X < W; ++X)
                    if (Src[X] == T)
                        Bits[X >> 3] |= uint8_t(0x80 >> (X & 7));
            }
        }
        FNeedMask = false;
    }
}

TRect TGIFSubImage::ScaleRect(const TRect &Rect) const
{
    int SW = FGIFImage ? FGIFImage->Width() : Width();
    int SH = FGIFImage ? FGIFImage->Height() : Height();
    if (SW <= 0)
        SW = std::max(Width(), 1);
    if (SH <= 0)
        SH = std::max(Height(), 1);
    const int RW = Rect.Right - Rect.Left, RH = Rect.Bottom - Rect.Top;
    return TRect(Rect.Left + MulDiv(Left(), RW, SW), Rect.Top + MulDiv(Top(), RH, SH),
                 Rect.Left + MulDiv(Left() + Width(), RW, SW), Rect.Top + MulDiv(Top() + Height(), RH, SH));
}

// A large frame shown smaller than it is: the pixels the target shows are
// sampled straight from the pixel buffer (nearest, from each target pixel's
// centre), so drawing costs the target's size, not copies of the frame.
QImage TGIFSubImage::SampledPicture(int DW, int DH, bool DoTransparent)
{
    const QList<QRgb> Table = Palette();
    const int W = Width(), H = Height();
    const int T = (DoTransparent && FTransparent && FGCE) ? FGCE->TransparentColorIndex() : -1;
    QImage Shown(DW, DH, T >= 0 ? QImage::Format_ARGB32 : QImage::Format_RGB32);
    if (Shown.isNull())
        throw EOutOfResources(Msg(gifstr::OutOfResources));
    std::vector<int> Column(static_cast<size_t>(DW));
    for (int X = 0; X < DW; ++X)
        Column[size_t(X)] = int((int64_t(2 * X + 1) * W) / (2 * int64_t(DW)));
    for (int Y = 0; Y < DH; ++Y) {
        const uint8_t *Row = FData.data() + size_t((int64_t(2 * Y + 1) * H) / (2 * int64_t(DH))) * size_t(W);
        QRgb *Line = reinterpret_cast<QRgb *>(Shown.scanLine(Y));
        for (int X = 0; X < DW; ++X) {
            const int P = Row[Column[size_t(X)]];
            Line[X] = P == T ? 0 : (P < Table.size() ? (Table[P] | 0xFF000000u) : 0xFF000000u);
        }
    }
    return Shown;
}

void TGIFSubImage::Draw(TCanvas *ACanvas, const TRect &Rect, bool DoTransparent, bool DoTile)
{
    if (Empty())
        return;
    if (!DoTile && int64_t(Width()) * Height() > GIFLargeFramePixels
        && !(FGIFImage && UseWebPalette(FGIFImage->DrawOptions()))) {
        const TRect Dest = ScaleRect(Rect);
        const int DW = Dest.Right - Dest.Left, DH = Dest.Bottom - Dest.Top;
        if (DW > 0 && DH > 0 && DW < Width() && DH < Height()) {
            DrawImageStretched(ACanvas, Dest, SampledPicture(DW, DH, DoTransparent), nullptr);
            return;
        }
    }
    QImage Picture = Bitmap();
    QImage MaskImage = Mask();
    QImage Shown;
    if (DoTransparent && FTransparent && !MaskImage.isNull()) {
        // Transparent pixels leave the canvas as it was.
        Shown = Picture.convertToFormat(QImage::Format_ARGB32);
        for (int Y = 0; Y < Shown.height(); ++Y) {
            QRgb *Line = reinterpret_cast<QRgb *>(Shown.scanLine(Y));
            const uint8_t *Bits = MaskImage.constScanLine(Y);
            for (int X = 0; X < Shown.width(); ++X)
                if (Bits[X >> 3] & (0x80 >> (X & 7)))
                    Line[X] = 0;
        }
    } else {
        Shown = Picture.convertToFormat(QImage::Format_RGB32);
    }
    if (!DoTile) {
        DrawImageStretched(ACanvas, ScaleRect(Rect), Shown, nullptr);
        return;
    }
    const int SW = FGIFImage && FGIFImage->Width() > 0 ? FGIFImage->Width() : Width();
    const int SH = FGIFImage && FGIFImage->Height() > 0 ? FGIFImage->Height() : Height();
    for (int Y = Rect.Top; Y < Rect.Bottom; Y += SH)
        for (int X = Rect.Left; X < Rect.Right; X += SW)
            DrawImageStretched(ACanvas,
                               TRect(X + Left(), Y + Top(), X + Left() + Width(), Y + Top() + Height()), Shown,
                               &Rect);
}

// ------------------------------------------------------------ TGIFImage

namespace {

// Pictures with the extension "gif" load as TGIFImage.
struct GIFRegistration {
    GIFRegistration()
    {
        TPicture::RegisterFileFormat(QStringLiteral("gif"), QStringLiteral("GIF Image"),
                                     [] { return std::make_unique<TGIFImage>(); });
        TPicture::RegisterClipboardFormat(QString::fromLatin1(CF_GIF), [] { return std::make_unique<TGIFImage>(); });
    }
    ~GIFRegistration() { TPicture::UnregisterGraphicClass(QStringLiteral("TGIFImage")); }
} Registration;

} // namespace

TGIFImage::TGIFImage()
    : FHeader(this), FImages(this), FDrawOptions(GIFDefaultDrawOptions),
      FColorReduction(GIFDefaultColorReduction), FReductionBits(GIFDefaultReductionBits),
      FDitherMode(GIFDefaultDitherMode), FCompression(GIFDefaultCompression),
      FThreadPriority(GIFDefaultThreadPriority), FAnimationSpeed(GIFDefaultAnimationSpeed),
      FBackgroundColor(GIFDefaultBackgroundColor), FTiming(TGIFTiming::Default())
{
}

TGIFImage::~TGIFImage()
{
    FLife.Release();
    // Every painter ends before the frames it reads are freed.
    {
        std::lock_guard<std::recursive_mutex> Guard(FPainterLock);
        for (TGIFPainter *P : FPainters)
            P->Stop();
    }
    for (;;) {
        {
            std::lock_guard<std::recursive_mutex> Guard(FPainterLock);
            bool ThreadedLeft = std::any_of(FPainters.begin(), FPainters.end(), [](TGIFPainter *P) {
                return P->Threaded() && !P->InCallback();
            });
            if (!ThreadedLeft)
                break;
        }
        GIFRunPainterCalls(this);
    }
    {
        // A painter whose event freed this image ends without us when the
        // event returns.
        std::lock_guard<std::recursive_mutex> Guard(FPainterLock);
        for (TGIFPainter *P : FPainters)
            P->FImage = nullptr;
        FPainters.clear();
        FPainter = nullptr;
    }
    FImages.Clear();
    // Frames and extensions made for the image but kept elsewhere lose it now.
    FAnchor.Release();
}

void TGIFImage::Warning(TObject *Sender, TGIFSeverity Severity, const QString &Message)
{
    if (OnWarningReport)
        OnWarningReport(Sender, Severity, Message);
}

void TGIFImage::ProgressReport(TProgressStage Stage, int PercentDone, const QString &Msg)
{
    Progress(this, Stage, uint8_t(std::clamp(PercentDone, 0, 100)), false, TRect(0, 0, 0, 0), Msg);
}

void TGIFImage::Clear()
{
    ClearImage();
}

bool TGIFImage::ClearImage()
{
    if (!StopPainters())
        return false;
    ClearBitmap();
    FImages.Clear();
    FHeader.Clear();
    FHeader.Prepare();
    return true;
}

void TGIFImage::LoadFromStream(TStream *Stream)
{
    ProgressReport(psStarting, 0, Msg(gifstr::Loading));
    const qint64 Start = Stream->Position();
    try {
        // An event run while the painters stop may free the image: then
        // nothing is read into it.
        if (!ClearImage())
            return;
        FHeader.LoadFromStream(Stream);
        FImages.LoadFromStream(Stream);
        TGIFTrailer Trailer(this);
        Trailer.LoadFromStream(Stream);
    } catch (...) {
        // A graphic that failed to load is empty, whatever it had read.
        FImages.Clear();
        FHeader.Clear();
        Stream->Seek(Start, soBeginning);
        ProgressReport(psEnding, 0, Msg(gifstr::Loading));
        throw;
    }
    ProgressReport(psEnding, 100, Msg(gifstr::Loading));
    Changed(this);
}

std::unique_ptr<TGraphic> TGIFImage::NewGraphic() const
{
    return std::make_unique<TGIFImage>();
}

int TGIFImage::LargestBitsPerPixel()
{
    if (FSavingBits >= 0)
        return FSavingBits;
    int Bits = GlobalColorMap()->BitsPerPixel();
    for (int I = 0; I < FImages.Count(); ++I)
        Bits = std::max(Bits, FImages[I]->ColorMap()->BitsPerPixel());
    return Bits;
}

void TGIFImage::SaveToStream(TStream *Stream)
{
    ProgressReport(psStarting, 0, Msg(gifstr::Saving));
    // Every frame without a table of its own is coded with the bits of the
    // largest table; the tables do not change while the image is written.
    struct SavingBits {
        int &Value;
        ~SavingBits() { Value = -1; }
    } Saving{FSavingBits};
    FSavingBits = -1;
    FSavingBits = LargestBitsPerPixel();
    try {
        FHeader.SaveToStream(Stream);
        const int Count = FImages.Count();
        for (int I = 0; I < Count; ++I) {
            FImages[I]->SaveToStream(Stream);
            ProgressReport(psRunning, (I + 1) * 100 / Count, Msg(gifstr::Saving));
        }
        TGIFTrailer Trailer(this);
        Trailer.SaveToStream(Stream);
    } catch (...) {
        ProgressReport(psEnding, 0, Msg(gifstr::Saving));
        throw;
    }
    ProgressReport(psEnding, 100, Msg(gifstr::Saving));
}

void TGIFImage::SetWidth(int Value)
{
    for (int I = 0; I < FImages.Count(); ++I)
        if (FImages[I]->Left() + FImages[I]->Width() > Value)
            throw GIFException(Msg(gifstr::WidthTooSmall));
    if (Value == Width())
        return;
    if (!StopPainters())
        return;
    FHeader.SetWidth(Value);
    ClearBitmap();
    Changed(this);
}

void TGIFImage::SetHeight(int Value)
{
    for (int I = 0; I < FImages.Count(); ++I)
        if (FImages[I]->Top() + FImages[I]->Height() > Value)
            throw GIFException(Msg(gifstr::HeightTooSmall));
    if (Value == Height())
        return;
    if (!StopPainters())
        return;
    FHeader.SetHeight(Value);
    ClearBitmap();
    Changed(this);
}

bool TGIFImage::IsTransparent() const
{
    for (int I = 0; I < FImages.Count(); ++I)
        if (FImages[I]->Transparent())
            return true;
    return false;
}

void TGIFImage::SetDrawOptions(TGIFDrawFlags Value)
{
    if (Value == FDrawOptions)
        return;
    if (!StopPainters())
        return;
    const bool PaletteChanged = UseWebPalette(Value) != UseWebPalette(FDrawOptions);
    FDrawOptions = Value;
    if (PaletteChanged)
        PaletteModified();
}

void TGIFImage::SetAnimationSpeed(int Value)
{
    FAnimationSpeed = std::max(Value, 0);
}

void TGIFImage::SetBackgroundColor(TColor Value)
{
    if (Value == FBackgroundColor)
        return;
    if (!StopPainters())
        return;
    FBackgroundColor = Value;
}

void TGIFImage::PaletteModified()
{
    // Called while frames change: painters are stopped by whoever changes them.
    ClearBitmap();
    for (int I = 0; I < FImages.Count(); ++I)
        FImages[I]->FreeBitmap();
}

void TGIFImage::FrameBoundsChanged(TGIFSubImage *)
{
    ClearBitmap();
}

void TGIFImage::ClearBitmap()
{
    FBitmap.reset();
    FStill.reset();
}

TGIFPainter *TGIFImage::Painter() const
{
    std::lock_guard<std::recursive_mutex> Guard(FPainterLock);
    return FPainter;
}

int TGIFImage::PainterCount() const
{
    std::lock_guard<std::recursive_mutex> Guard(FPainterLock);
    return int(FPainters.size());
}

void TGIFImage::PainterEnded(TGIFPainter *Painter)
{
    std::lock_guard<std::recursive_mutex> Guard(FPainterLock);
    FPainters.erase(std::remove(FPainters.begin(), FPainters.end(), Painter), FPainters.end());
    if (FPainter == Painter)
        FPainter = nullptr;
}

void TGIFImage::StopDraw()
{
    StopPainters();
}

bool TGIFImage::StopPainters()
{
    const TGIFLink<TGIFImage> Self = Life();
    for (;;) {
        {
            std::lock_guard<std::recursive_mutex> Guard(FPainterLock);
            if (!FPainter)
                break;
            FPainter->SetPriority(3);
            FPainter->Stop();
            if (FPainter->InCallback()) {
                // Stopped from one of its own events: it ends when that returns.
                FPainter = nullptr;
                break;
            }
        }
        if (!GIFRunPainterCalls(this, [&Self] { return Self.get() != nullptr; }))
            return false;
    }
    ClearBitmap();
    return true;
}

void TGIFImage::DrawBuffer(TCanvas *ACanvas, const TRect &Rect)
{
    QImage Buffer = BitmapImage(FBitmap.get());
    if ((FDrawOptions & drawTiled) && Buffer.width() == Width() && Buffer.height() == Height()) {
        const int SW = std::max(Width(), 1), SH = std::max(Height(), 1);
        for (int Y = Rect.Top; Y < Rect.Bottom; Y += SH)
            for (int X = Rect.Left; X < Rect.Right; X += SW)
                DrawImageStretched(ACanvas, TRect(X, Y, X + SW, Y + SH), Buffer, &Rect);
    } else {
        DrawImageStretched(ACanvas, Rect, Buffer, nullptr);
    }
}

void TGIFImage::Draw(TCanvas &Canvas, const TRect &Rect)
{
    TCanvas *ACanvas = &Canvas;
    if (FBusy || Empty())
        return;
    // The calls Draw runs while it waits for a painter may free the image (an
    // event's handler may); from then on Draw touches nothing of it, not even
    // its busy flag or its lock.
    const TGIFLink<TGIFImage> Self = Life();
    const auto Lives = [&Self] { return Self.get() != nullptr; };
    FBusy = true;
    struct BusyReset {
        bool &Flag;
        const TGIFLink<TGIFImage> &Self;
        ~BusyReset()
        {
            if (Self)
                Flag = false;
        }
    } Reset{FBusy, Self};

    if (FImages.Count() == 1 || !(FDrawOptions & drawAnimated)) {
        FImages[0]->Draw(ACanvas, Rect, FDrawOptions & drawTransparent, FDrawOptions & drawTiled);
        return;
    }
    // The buffer needs no more pixels than the target shows (a thumbnail of a
    // large screen costs the thumbnail's size), unless tiles repeat the screen.
    const bool Tiled = FDrawOptions & drawTiled;
    const int BufferW = Tiled ? Width() : std::min(Width(), Rect.Right - Rect.Left);
    const int BufferH = Tiled ? Height() : std::min(Height(), Rect.Bottom - Rect.Top);
    if (FBitmap && !(FDrawOptions & drawUnbuffered) && FBitmap->Width() >= BufferW
        && FBitmap->Height() >= BufferH) {
        DrawBuffer(ACanvas, Rect);
        return;
    }

    {
        std::lock_guard<std::recursive_mutex> Guard(FPainterLock);
        if (FPainter && FPainter->Canvas() == ACanvas && FPainter->Rect() == Rect)
            return;
    }
    // Stopping runs calls, so the lock is not held: the image may go meanwhile.
    if (!StopPainters())
        return;

    std::unique_lock<std::recursive_mutex> Guard(FPainterLock);
    TCanvas *Target = ACanvas;
    TRect TargetRect = Rect;
    if (Width() <= 0 || Height() <= 0 || Rect.IsEmpty())
        return;   // nothing to show, and no buffer that would show nothing later
    if (!(FDrawOptions & drawUnbuffered)) {
        FBitmap = MakeBitmap(std::max(BufferW, 1), std::max(BufferH, 1), TColor(0));
        TargetRect = TRect(0, 0, FBitmap->Width(), FBitmap->Height());
        CopyCanvasRect(FBitmap->Canvas(), TargetRect, ACanvas, Rect);
        Target = FBitmap->Canvas();
    }
    bool Created = false;
    TGIFDrawFlags Options = FDrawOptions;
    if (!Empty() && TargetRect.Right > TargetRect.Left && TargetRect.Bottom > TargetRect.Top) {
        if (FImages.Count() == 1)
            Options &= TGIFDrawFlags(~(drawThreaded | drawAnimated));
        // Painting from a thread needs a main thread to run the painting on.
        if (!QCoreApplication::instance() || !IsMainThread())
            Options &= TGIFDrawFlags(~drawThreaded);
        auto *P = new TGIFPainter(this, Target, TargetRect, Options);
        FPainters.push_back(P);
        FPainter = P;
        P->OnAnimationStart = OnAnimationStart;
        P->OnFrameStart = OnFrameStart;
        P->OnFrameDone = OnFrameDone;
        P->OnAnimationLoop = OnAnimationLoop;
        P->OnAnimationEnd = OnAnimationEnd;
        Created = true;
        if (Options & drawThreaded) {
            P->SetPriority(FThreadPriority);
            try {
                P->Start();
            } catch (...) {
                // No thread could be made: the painter never ran.
                PainterEnded(P);
                delete P;
                throw;
            }
            Guard.unlock();
        } else {
            Guard.unlock();
            P->Run();   // frees the painter at its end; its events may free the image
            if (!Lives())
                return;
        }
    }
    if (Guard.owns_lock())
        Guard.unlock();
    if (Created && !(FDrawOptions & drawUnbuffered)) {
        for (;;) {
            TGIFPainter *P = Painter();
            if (!P || P->Terminated() || P->FirstFramePainted())
                break;
            if (!GIFRunPainterCalls(this, Lives))
                return;
        }
        if (FBitmap)
            DrawBuffer(ACanvas, Rect);
    }
}
