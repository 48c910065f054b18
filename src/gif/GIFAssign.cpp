// Exchange with other pictures: frames from frames, bitmaps and other
// graphics; the image from other images and graphics, its still bitmap,
// added frames and the clipboard. Pictures coming in obey the reader's size
// caps, and clipboard data goes through the reader's checks.

#include "GIFImage.h"
#include "GIFReduce.h"
#include "detail/GIFStreamUtil.h"
#include "detail/GIFStrings.h"

#include "platform/graphics/ClipboardData.h"
#include "platform/graphics/Metafile.h"

#include <QHash>
#include <algorithm>
#include <cstring>

namespace {

QString Msg(const char *Text)
{
    return QString::fromLatin1(Text);
}

QString NameOf(const TObject *Object)
{
    if (auto *G = dynamic_cast<const TGraphic *>(Object))
        return G->ClassName();
    if (dynamic_cast<const TGIFSubImage *>(Object))
        return QStringLiteral("TGIFSubImage");
    return QStringLiteral("TObject");
}

bool SameColors(const TGIFColorMap &A, const TGIFColorMap *B)
{
    if (!B || A.Count() != B->Count())
        return false;
    for (int I = 0; I < A.Count(); ++I) {
        const TGIFColor &X = A.Data()[I], &Y = B->Data()[I];
        if (X.Red != Y.Red || X.Green != Y.Green || X.Blue != Y.Blue)
            return false;
    }
    return true;
}

bool IsPaletted(TPixelFormat Format)
{
    return Format == pf1bit || Format == pf4bit || Format == pf8bit;
}

} // namespace

// ------------------------------------------------------------ frames

void TGIFSubImage::Assign(const TObject *Source)
{
    if (Source == this)
        return;
    if (!Source) {
        Clear();
        return;
    }
    if (auto *Frame = dynamic_cast<const TGIFSubImage *>(Source))
        AssignFrame(*Frame);
    else if (auto *Bitmap = dynamic_cast<const TBitmap *>(Source))
        AssignBitmap(*Bitmap);
    else if (auto *Graphic = dynamic_cast<const TGraphic *>(Source))
        AssignGraphic(*Graphic);
    else if (auto *Picture = dynamic_cast<const TPicture *>(Source))
        Assign(static_cast<const TObject *>(Picture->Graphic()));
    else
        throw EConvertError(QStringLiteral("Cannot assign a %1 to a TGIFSubImage").arg(NameOf(Source)));
}

void TGIFSubImage::AssignFrame(const TGIFSubImage &Source)
{
    if (&Source == this)
        return;
    // A refused copy leaves this frame as it was.
    if (!Source.Empty())
        CheckBounds(Source.Width(), Source.Height());
    Clear();
    if (Source.Empty())
        return;
    FImageDescriptor = Source.FImageDescriptor;
    FTransparent = Source.FTransparent;
    SetData(std::vector<uint8_t>(Source.FData));
    FLocalPalette.FData = Source.FLocalPalette.FData;
    FLocalPalette.FCount = Source.FLocalPalette.FCount;
    FLocalPalette.FCapacity = Source.FLocalPalette.FCapacity;
    FLocalPalette.FOptimized = Source.FLocalPalette.FOptimized;
    // A frame drawn with its image's global table keeps its colours here: it
    // takes that table as its own when this frame would draw with another.
    TGIFImage *SourceImage = Source.FGIFImage;
    if (Source.FLocalPalette.Count() == 0 && SourceImage && SourceImage != FGIFImage) {
        const TGIFColorMap *From = SourceImage->GlobalColorMap();
        const TGIFColorMap *Here = FGIFImage ? FGIFImage->GlobalColorMap() : nullptr;
        if (From->Count() > 0 && !SameColors(*From, Here)) {
            FLocalPalette.SetCapacity(From->Count());
            std::copy(From->Data(), From->Data() + From->Count(), FLocalPalette.FData.begin());
            FLocalPalette.FCount = From->Count();
        }
    }
    // The extensions go through their GIF form, so each is a new object of
    // this frame (and a graphic control extension becomes this frame's).
    TMemoryStream Stream;
    for (int I = 0; I < Source.FExtensions.Count(); ++I)
        Source.FExtensions.Items(I)->SaveToStream(&Stream);
    gifdetail::WriteByte(&Stream, ',');
    Stream.SetPosition(0);
    FExtensions.LoadFromStream(&Stream, this);
    FTransparent = Source.FTransparent;
    FreeBitmap();
    if (FGIFImage)
        FGIFImage->FrameBoundsChanged(this);
}

void TGIFSubImage::AssignBitmap(const TBitmap &Source)
{
    const int W = Source.Width(), H = Source.Height();
    // A refused bitmap leaves this frame as it was.
    if (!Source.Empty()) {
        CheckBounds(W, H);
        if (W > 0xFFFF || H > 0xFFFF)
            throw GIFException(Msg(gifstr::InvalidImageDimensions));
    }
    Clear();
    if (Source.Empty())
        return;

    // Up to 8 bits per pixel the bitmap's own colours are kept; more are
    // reduced with the image's settings first.
    std::unique_ptr<TBitmap> Reduced;
    const TBitmap *Cached = &Source;
    if (!IsPaletted(Source.PixelFormat())) {
        const int Method = FGIFImage ? FGIFImage->ColorReduction() : GIFDefaultColorReduction;
        const int Dither = FGIFImage ? FGIFImage->DitherMode() : GIFDefaultDitherMode;
        const int Bits = FGIFImage ? FGIFImage->ReductionBits() : GIFDefaultReductionBits;
        Reduced = ReduceBitmap(Source, Method, Dither, {}, Bits);
        Cached = Reduced.get();
    }

    SetBoundsRect(TRect(0, 0, W, H));
    if (FGIFImage)
        FGIFImage->ProgressReport(psStarting, 0, Msg(gifstr::Converting));
    try {
        TDIBReader Reader(*Cached, Cached->PixelFormat());
        if (IsPaletted(Reader.PixelFormat())) {
            int Highest = 0;
            for (int Y = 0; Y < H; ++Y) {
                const uint8_t *Row = Reader.ScanLine(Y);
                uint8_t *Out = FData.data() + size_t(Y) * size_t(W);
                if (Reader.PixelFormat() == pf1bit) {
                    for (int X = 0; X < W; ++X)
                        Out[X] = (Row[X >> 3] >> (7 - (X & 7))) & 1;
                } else {
                    std::memcpy(Out, Row, size_t(W));
                }
                Highest = std::max<int>(Highest, *std::max_element(Out, Out + W));
            }
            // The table is the bitmap's, up to the last entry a pixel uses.
            const QVector<QRgb> Table = Reader.ColorTable();
            for (int I = 0; I <= Highest; ++I) {
                const QRgb C = I < Table.size() ? Table[I] : qRgb(0, 0, 0);
                FLocalPalette.Add(RGB(qRed(C), qGreen(C), qBlue(C)));
            }
        } else {
            // 24 bits (reduction method 0): each colour once, up to 256.
            QHash<uint32_t, int> Index;
            for (int Y = 0; Y < H; ++Y) {
                const uint8_t *Row = Reader.ScanLine(Y);
                uint8_t *Out = FData.data() + size_t(Y) * size_t(W);
                for (int X = 0; X < W; ++X) {
                    const uint8_t *P = Row + size_t(X) * 3;
                    const uint32_t Key = uint32_t(P[2]) | (uint32_t(P[1]) << 8) | (uint32_t(P[0]) << 16);
                    auto It = Index.constFind(Key);
                    int I = It != Index.constEnd() ? It.value() : -1;
                    if (I < 0) {
                        I = FLocalPalette.Add(TColor(Key));
                        Index.insert(Key, I);
                    }
                    Out[X] = uint8_t(I);
                }
            }
        }
        if (Source.Transparent()) {
            // The mask: the pixels of the transparent colour.
            const TColor T = Source.TransparentColor();
            const QImage Pixels = Source.Image().convertToFormat(QImage::Format_RGB32);
            std::vector<uint8_t> Mask(size_t(W) * size_t(H), 0);
            for (int Y = 0; Y < H; ++Y) {
                const QRgb *Row = reinterpret_cast<const QRgb *>(Pixels.constScanLine(Y));
                for (int X = 0; X < W; ++X)
                    Mask[size_t(Y) * size_t(W) + size_t(X)] =
                        RGB(qRed(Row[X]), qGreen(Row[X]), qBlue(Row[X])) == ColorToRGB(T);
            }
            TransparencyFromMask(Mask);
        }
    } catch (...) {
        if (FGIFImage)
            FGIFImage->ProgressReport(psEnding, 0, Msg(gifstr::Converting));
        throw;
    }
    FreeBitmap();
    if (FGIFImage)
        FGIFImage->ProgressReport(psEnding, 100, Msg(gifstr::Converting));
}

void TGIFSubImage::AssignGraphic(const TGraphic &Source)
{
    Clear();
    if (Source.Empty())
        return;
    CheckBounds(Source.Width(), Source.Height());
    // The graphic through a bitmap: an icon or a metafile is drawn, anything
    // else assigned (and drawn when it cannot be).
    TBitmap Temp;
    auto DrawInto = [&] {
        Temp.Assign(nullptr);
        Temp.SetPixelFormat(pf24bit);
        Temp.SetSize(Source.Width(), Source.Height());
        Temp.Canvas()->Draw(0, 0, const_cast<TGraphic *>(&Source));
    };
    const auto *Icon = dynamic_cast<const TIcon *>(&Source);
    const auto *Metafile = dynamic_cast<const TMetafile *>(&Source);
    if (Icon || Metafile) {
        try {
            DrawInto();
        } catch (const Exception &) {
            Temp.Assign(&Source);
        }
    } else {
        try {
            Temp.Assign(&Source);
        } catch (const Exception &) {
            DrawInto();
        }
    }
    AssignBitmap(Temp);
    const int W = Width(), H = Height();
    if (Icon && !Icon->Image().isNull() && Icon->Image().hasAlphaChannel()) {
        // The icon's mask: its fully transparent pixels.
        const QImage A = Icon->Image().convertToFormat(QImage::Format_ARGB32);
        std::vector<uint8_t> Mask(size_t(W) * size_t(H), 0);
        for (int Y = 0; Y < std::min(H, A.height()); ++Y) {
            const QRgb *Row = reinterpret_cast<const QRgb *>(A.constScanLine(Y));
            for (int X = 0; X < std::min(W, A.width()); ++X)
                Mask[size_t(Y) * size_t(W) + size_t(X)] = qAlpha(Row[X]) == 0;
        }
        TransparencyFromMask(Mask);
    } else if (Metafile && !Empty()) {
        TransparencyFromMask(MetafileMask(*Metafile, W, H));
    }
}

std::vector<uint8_t> TGIFSubImage::MetafileMask(const TMetafile &Source, int W, int H)
{
    // The metafile drawn on white and on black: where it paints, both show
    // the same colour, and the two combined by exclusive or give black;
    // where it leaves the background, white. The white pixels are the mask.
    auto Backdrop = [&](TBitmap &B, TColor Color) {
        B.SetPixelFormat(pf24bit);
        B.SetSize(W, H);
        TCanvas *C = B.Canvas();
        C->Brush()->SetColor(Color);
        C->Brush()->SetStyle(bsSolid);
        C->FillRect(C->ClipRect());
        C->Draw(0, 0, const_cast<TMetafile *>(&Source));
    };
    TBitmap OnWhite, OnBlack;
    Backdrop(OnWhite, clWhite);
    Backdrop(OnBlack, clBlack);
    OnWhite.Canvas()->CopyMode = cmSrcInvert;
    OnWhite.Canvas()->CopyRect(TRect(0, 0, W, H), OnBlack.Canvas(), TRect(0, 0, W, H));
    OnWhite.Canvas()->CopyMode = cmSrcCopy;

    const QImage Pixels = OnWhite.Image().convertToFormat(QImage::Format_RGB32);
    std::vector<uint8_t> Mask(size_t(W) * size_t(H), 0);
    for (int Y = 0; Y < std::min(H, Pixels.height()); ++Y) {
        const QRgb *Row = reinterpret_cast<const QRgb *>(Pixels.constScanLine(Y));
        for (int X = 0; X < std::min(W, Pixels.width()); ++X)
            Mask[size_t(Y) * size_t(W) + size_t(X)] = (Row[X] & 0xFFFFFF) != 0;
    }
    return Mask;
}

void TGIFSubImage::TransparencyFromMask(const std::vector<uint8_t> &Mask)
{
    FLocalPalette.Optimize();
    if (FLocalPalette.Count() == 0 || FLocalPalette.Count() >= 256)
        return;
    const int T = FLocalPalette.Add(TColor(0));
    bool Any = false;
    const size_t N = std::min(Mask.size(), FData.size());
    for (size_t I = 0; I < N; ++I)
        if (Mask[I]) {
            FData[I] = uint8_t(T);
            Any = true;
        }
    if (!Any) {
        FLocalPalette.Delete(T);
        return;
    }
    auto *GCE = new TGIFGraphicControlExtension(this);
    FExtensions.Add(GCE);
    GCE->SetTransparent(true);
    GCE->SetTransparentColorIndex(T);
    FTransparent = true;
    FreeBitmap();
}

// ------------------------------------------------------------ the image

TBitmap *TGIFImage::Bitmap() const
{
    if (FStill || Empty())
        return FStill.get();
    TGIFSubImage *Frame = FImages[0];
    auto Still = std::make_unique<TBitmap>();
    const int W = std::max(Width(), 1), H = std::max(Height(), 1);
    if (Frame->Left() == 0 && Frame->Top() == 0 && Frame->Width() == W && Frame->Height() == H && !Frame->Empty()) {
        Still->SetImage(Frame->Bitmap());
    } else {
        Still->SetSize(W, H);
        Still->SetPixelFormat(pf24bit);
        Still->Canvas()->Brush()->SetColor(clBlack);
        Still->Canvas()->FillRect(TRect(0, 0, W, H));
        Frame->Draw(Still->Canvas(), TRect(0, 0, W, H), false, false);
    }
    FStill = std::move(Still);
    return FStill.get();
}

void TGIFImage::AssignTo(TGraphic *Dest) const
{
    if (auto *B = dynamic_cast<TBitmap *>(Dest)) {
        TBitmap *Still = Bitmap();
        B->Assign(Still);
        return;
    }
    TGraphic::AssignTo(Dest);
}

void TGIFImage::Assign(const TGraphic *Source)
{
    if (Source == this)
        return;
    // Each Clear below may run an event that frees this image: then there is
    // nothing left to copy into.
    if (!Source) {
        if (ClearImage())
            Changed(this);
        return;
    }
    if (auto *Other = dynamic_cast<const TGIFImage *>(Source)) {
        if (!ClearImage())
            return;
        ProgressReport(psStarting, 0, Msg(gifstr::Copying));
        try {
            // The screen descriptor and global table, then the settings.
            TGIFHeader &From = const_cast<TGIFImage *>(Other)->Header();
            FHeader.AssignDescriptor(From);
            TGIFColorMap *Map = const_cast<TGIFImage *>(Other)->GlobalColorMap();
            for (int I = 0; I < Map->Count(); ++I)
                GlobalColorMap()->Add(Map->Colors(I));
            GlobalColorMap()->SetOptimized(Map->Optimized());
            FDrawOptions = Other->FDrawOptions;
            FColorReduction = Other->FColorReduction;
            FReductionBits = Other->FReductionBits;
            FDitherMode = Other->FDitherMode;
            FBackgroundColor = Other->FBackgroundColor;
            FThreadPriority = Other->FThreadPriority;
            const int Count = Other->FImages.Count();
            for (int I = 0; I < Count; ++I) {
                auto Frame = std::make_unique<TGIFSubImage>(this);
                Frame->Assign(Other->FImages[I]);
                FImages.Add(Frame.release());
                ProgressReport(psRunning, (I + 1) * 100 / Count, Msg(gifstr::Copying));
            }
        } catch (...) {
            ProgressReport(psEnding, 0, Msg(gifstr::Copying));
            throw;
        }
        ProgressReport(psEnding, 100, Msg(gifstr::Copying));
        Changed(this);
        return;
    }
    if (!ClearImage())
        return;
    auto Frame = std::make_unique<TGIFSubImage>(this);
    Frame->Assign(Source);
    FImages.Add(Frame.release());
    Changed(this);
}

int TGIFImage::AddFrame(const TObject *Item)
{
    std::unique_ptr<TGIFSubImage> Frame;
    if (auto *Sub = dynamic_cast<const TGIFSubImage *>(Item)) {
        // A frame knows the list that owns it: adding frames one by one
        // does not search the frames added before.
        if (Sub->ListedIn(FImages))
            throw GIFException(QStringLiteral("该帧已在图像中"));
        if (Sub->Image() == this && !Sub->Listed()) {
            Frame.reset(const_cast<TGIFSubImage *>(Sub));   // made for this image: taken over
        } else {
            Frame = std::make_unique<TGIFSubImage>(this);
            Frame->Assign(Sub);
        }
    } else if (auto *Graphic = dynamic_cast<const TGraphic *>(Item)) {
        Frame = std::make_unique<TGIFSubImage>(this);
        Frame->Assign(Graphic);
    } else {
        throw GIFException(Msg(gifstr::UnsupportedObject));
    }
    if (!StopPainters())
        return -1;   // an event freed the image
    const int Index = FImages.Add(Frame.release());
    ClearBitmap();
    Changed(this);
    return Index;
}

void TGIFImage::LoadFromClipboardFormat(const QString &Format, const QByteArray &Data)
{
    QByteArray Bytes = Data;
    const bool IsGIF = Format == QLatin1String(CF_GIF) || Format == QLatin1String(GIFMimeType);
    if (Bytes.isEmpty()) {
        if (IsGIF)
            Bytes = ClipboardFormatData(QString::fromLatin1(GIFMimeType));
        else if (Format == QLatin1String(CF_BITMAP))
            Bytes = ClipboardImageAsBMP();
    }
    if (Bytes.isEmpty() || (!IsGIF && Format != QLatin1String(CF_BITMAP)))
        TGraphic::LoadFromClipboardFormat(Format, Data);   // unsupported format
    TMemoryStream Stream;
    Stream.WriteBytes(Bytes);
    Stream.SetPosition(0);
    if (IsGIF) {
        LoadFromStream(&Stream);
        return;
    }
    TBitmap Bitmap;
    Bitmap.LoadFromStream(&Stream);
    Assign(&Bitmap);
}

void TGIFImage::SaveToClipboardFormat(QString &Format, QByteArray &Data)
{
    if (Empty())
        return;
    TBitmap *Still = Bitmap();
    TMemoryStream BitmapStream;
    Still->SaveToStream(&BitmapStream);
    Format = QString::fromLatin1(CF_BITMAP);
    Data = BitmapStream.Bytes();
    TMemoryStream GIFStream;
    SaveToStream(&GIFStream);
    if (!SetClipboardData({{QString::fromLatin1(GIFMimeType), GIFStream.Bytes()}}, Still->Image()))
        throw GIFException(Msg(gifstr::ClipboardFailed));
}
