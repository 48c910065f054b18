// TBitmap over QImage, with the BMP file format.
#include "platform/core/ByteOrder.h"
#include "platform/graphics/Graphics.h"
#include "platform/graphics/detail/StreamBytes.h"

#include <QPainter>
#include <cstring>

using namespace GraphicsDetail;

namespace {

QImage::Format StorageFormat(TPixelFormat Format)
{
    switch (Format) {
    case pf1bit: return QImage::Format_Mono;
    case pf4bit:
    case pf8bit: return QImage::Format_Indexed8;
    case pf15bit: return QImage::Format_RGB555;
    case pf16bit: return QImage::Format_RGB16;
    case pf24bit: return QImage::Format_BGR888;
    default: return QImage::Format_RGB32;
    }
}

bool IsPaletted(TPixelFormat Format) { return Format == pf1bit || Format == pf4bit || Format == pf8bit; }

int PaletteSize(TPixelFormat Format)
{
    return Format == pf1bit ? 2 : Format == pf4bit ? 16 : Format == pf8bit ? 256 : 0;
}

QVector<QRgb> DefaultTable(TPixelFormat Format)
{
    QVector<QRgb> T;
    if (Format == pf1bit) {
        T << qRgb(0, 0, 0) << qRgb(255, 255, 255);
    } else if (Format == pf4bit) {
        static const QRgb Vga[16] = {
            qRgb(0, 0, 0), qRgb(128, 0, 0), qRgb(0, 128, 0), qRgb(128, 128, 0),
            qRgb(0, 0, 128), qRgb(128, 0, 128), qRgb(0, 128, 128), qRgb(128, 128, 128),
            qRgb(192, 192, 192), qRgb(255, 0, 0), qRgb(0, 255, 0), qRgb(255, 255, 0),
            qRgb(0, 0, 255), qRgb(255, 0, 255), qRgb(0, 255, 255), qRgb(255, 255, 255)};
        for (QRgb C : Vga)
            T << C;
    } else if (Format == pf8bit) {
        for (int R = 0; R < 6; ++R)
            for (int G = 0; G < 6; ++G)
                for (int B = 0; B < 6; ++B)
                    T << qRgb(R * 51, G * 51, B * 51);
        for (int I = 0; I < 40; ++I) {
            const int V = (I + 1) * 255 / 41;
            T << qRgb(V, V, V);
        }
    }
    return T;
}

// A colour table of exactly the format's size, so every index has an entry.
QVector<QRgb> FullTable(QVector<QRgb> Table, TPixelFormat Format)
{
    const int N = PaletteSize(Format);
    if (Table.isEmpty())
        Table = DefaultTable(Format);
    Table.resize(N);   // new entries are 0: black
    for (QRgb &C : Table)
        C |= 0xFF000000u;
    return Table;
}

int NearestIndex(const QVector<QRgb> &Table, QRgb C)
{
    int Best = 0;
    long BestD = -1;
    for (int I = 0; I < Table.size(); ++I) {
        const long DR = qRed(Table[I]) - qRed(C), DG = qGreen(Table[I]) - qGreen(C), DB = qBlue(Table[I]) - qBlue(C);
        const long D = DR * DR + DG * DG + DB * DB;
        if (BestD < 0 || D < BestD) {
            BestD = D;
            Best = I;
        }
    }
    return Best;
}

QImage ToPaletted(const QImage &Source, TPixelFormat Format, const QVector<QRgb> &Table)
{
    const QImage Rgb = Source.convertToFormat(QImage::Format_RGB32);
    return Rgb.convertToFormat(StorageFormat(Format), Table, Qt::ThresholdDither | Qt::AvoidDither);
}

QImage BlankImage(int W, int H, TPixelFormat Format, const QVector<QRgb> &Table)
{
    QImage Img(W, H, StorageFormat(Format));
    if (Img.isNull())
        throw EOutOfMemory(QStringLiteral("Out of memory while creating a %1 x %2 bitmap").arg(W).arg(H));
    if (IsPaletted(Format)) {
        Img.setColorTable(Table);
        Img.fill(uint(NearestIndex(Table, qRgb(255, 255, 255))));
    } else {
        Img.fill(Qt::white);
    }
    return Img;
}

// ------------------------------------------------------------ BMP helpers

void Put16(QByteArray &B, quint16 V) { B.append(char(V & 0xFF)).append(char(V >> 8)); }
void Put32(QByteArray &B, quint32 V)
{
    for (int I = 0; I < 4; ++I)
        B.append(char((V >> (8 * I)) & 0xFF));
}

[[noreturn]] void BadBitmap() { throw EInvalidGraphic(QStringLiteral("Bitmap image is not valid")); }

constexpr qint64 MaxBitmapPixels = qint64(1) << 28;

int MaskShift(quint32 Mask)
{
    int S = 0;
    while (Mask && !(Mask & 1)) {
        Mask >>= 1;
        ++S;
    }
    return S;
}

int MaskBits(quint32 Mask)
{
    Mask >>= MaskShift(Mask);
    int N = 0;
    while (Mask & 1) {
        Mask >>= 1;
        ++N;
    }
    return N;
}

int Scale8(quint32 Value, quint32 Mask)
{
    if (!Mask)
        return 0;
    const int Bits = MaskBits(Mask);
    const quint32 V = (Value & Mask) >> MaskShift(Mask);
    const quint32 Max = Bits >= 32 ? 0xFFFFFFFFu : ((1u << Bits) - 1);
    return Max ? int((quint64(V) * 255 + Max / 2) / Max) : 0;
}

// Decodes RLE8 or RLE4 data into one byte per pixel, bottom-up rows.
void DecodeRle(const uchar *Data, qint64 Size, bool Rle4, int W, int H, QImage &Img)
{
    qint64 Pos = 0;
    int X = 0, Y = H - 1;
    auto Put = [&](int Index) {
        if (X < W && Y >= 0)
            Img.scanLine(Y)[X] = uchar(Index);
        ++X;
    };
    while (Pos + 1 < Size && Y >= 0) {
        const int Count = Data[Pos], Value = Data[Pos + 1];
        Pos += 2;
        if (Count > 0) {
            for (int I = 0; I < Count; ++I)
                Put(Rle4 ? ((I & 1) ? (Value & 0x0F) : (Value >> 4)) : Value);
        } else if (Value == 0) {          // end of line
            X = 0;
            --Y;
        } else if (Value == 1) {          // end of bitmap
            break;
        } else if (Value == 2) {          // delta
            if (Pos + 1 >= Size)
                break;
            X += Data[Pos];
            Y -= Data[Pos + 1];
            Pos += 2;
        } else {                          // absolute run of Value pixels
            const int N = Value;
            const qint64 Bytes = Rle4 ? (N + 1) / 2 : N;
            if (Pos + Bytes > Size)
                BadBitmap();
            for (int I = 0; I < N; ++I) {
                const uchar B = Data[Pos + (Rle4 ? I / 2 : I)];
                Put(Rle4 ? ((I & 1) ? (B & 0x0F) : (B >> 4)) : B);
            }
            Pos += (Bytes + 1) & ~qint64(1);   // runs are padded to a word
        }
    }
}

} // namespace

// ------------------------------------------------------------ bitmap canvas

class TBitmap::BitmapCanvas : public TCanvas {
public:
    explicit BitmapCanvas(TBitmap *Owner) : FOwner(Owner)
    {
        OnChange = [Owner](TObject *) { Owner->PixelsChanged(); };
    }

protected:
    void BeforePaint() override { SetDevice(FOwner->PaintTarget()); }

private:
    TBitmap *FOwner;
};

// ------------------------------------------------------------------ TBitmap

TBitmap::TBitmap() = default;

TBitmap::TBitmap(int AWidth, int AHeight) { SetSize(AWidth, AHeight); }

TBitmap::TBitmap(const TBitmap &Other) : TGraphic() { Assign(&Other); }

TBitmap &TBitmap::operator=(const TBitmap &Other)
{
    Assign(&Other);
    return *this;
}

TBitmap::~TBitmap()
{
    FCanvas.reset();
}

std::unique_ptr<TGraphic> TBitmap::NewGraphic() const { return std::make_unique<TBitmap>(); }

void TBitmap::FinishPainting() const
{
    if (FCanvas)
        FCanvas->Release();
    if (FPainting) {
        FImage = ToPaletted(FPaintImage, FPixelFormat, FImage.colorTable());
        FPaintImage = QImage();
        FPainting = false;
    }
}

QImage *TBitmap::PaintTarget()
{
    if (FImage.isNull() || !IsPaletted(FPixelFormat))
        return &FImage;
    if (!FPainting) {
        FPaintImage = FImage.convertToFormat(QImage::Format_RGB32);
        FPainting = true;
    }
    return &FPaintImage;
}

void TBitmap::PixelsChanged() { Changed(this); }

bool TBitmap::Empty() const { return FImage.isNull(); }

int TBitmap::Width() const { return FImage.width(); }

int TBitmap::Height() const { return FImage.height(); }

void TBitmap::SetWidth(int Value) { SetSize(Value, Height()); }

void TBitmap::SetHeight(int Value) { SetSize(Width(), Value); }

void TBitmap::SetSize(int AWidth, int AHeight)
{
    FinishPainting();
    if (AWidth == Width() && AHeight == Height())
        return;
    if (AWidth <= 0 || AHeight <= 0) {
        if (IsPaletted(FPixelFormat) && !FImage.isNull())
            FTable = FImage.colorTable();
        FImage = QImage();
        Changed(this);
        return;
    }
    if (qint64(AWidth) * AHeight > MaxBitmapPixels)
        throw EOutOfMemory(QStringLiteral("Out of memory while creating a %1 x %2 bitmap").arg(AWidth).arg(AHeight));
    const QVector<QRgb> Table = IsPaletted(FPixelFormat)
        ? FullTable(FImage.isNull() ? FTable : FImage.colorTable(), FPixelFormat) : QVector<QRgb>();
    QImage New = BlankImage(AWidth, AHeight, FPixelFormat, Table);
    if (!FImage.isNull()) {
        const int W = std::min(AWidth, FImage.width()), H = std::min(AHeight, FImage.height());
        if (IsPaletted(FPixelFormat)) {
            for (int Y = 0; Y < H; ++Y)
                for (int X = 0; X < W; ++X)
                    New.setPixel(X, Y, uint(FImage.pixelIndex(X, Y)));
        } else {
            QPainter P(&New);
            P.setCompositionMode(QPainter::CompositionMode_Source);
            P.drawImage(QPoint(0, 0), FImage, QRect(0, 0, W, H));
        }
    }
    FImage = New;
    Changed(this);
}

TPixelFormat TBitmap::PixelFormat() const { return FPixelFormat; }

void TBitmap::SetPixelFormat(TPixelFormat Value)
{
    FinishPainting();
    if (Value == FPixelFormat)
        return;
    if (IsPaletted(Value)) {
        QVector<QRgb> Table;
        if (IsPaletted(FPixelFormat)) {
            // The table carries over when every index in use fits the new format.
            Table = FImage.isNull() ? FTable : FImage.colorTable();
            const int Size = PaletteSize(Value);
            if (Table.size() > Size) {
                bool Fits = true;
                for (int Y = 0; Y < FImage.height() && Fits; ++Y)
                    for (int X = 0; X < FImage.width(); ++X)
                        if (FImage.pixelIndex(X, Y) >= Size) {
                            Fits = false;
                            break;
                        }
                if (Fits)
                    Table.resize(Size);
                else
                    Table.clear();   // the new format's default table
            }
        }
        Table = FullTable(Table, Value);
        if (!FImage.isNull())
            FImage = ToPaletted(FImage, Value, Table);
        FTable = Table;
    } else if (!FImage.isNull()) {
        FImage = FImage.convertToFormat(StorageFormat(Value));
    }
    FPixelFormat = Value;
    Changed(this);
}

bool TBitmap::Monochrome() const { return FPixelFormat == pf1bit; }

void TBitmap::SetMonochrome(bool Value)
{
    if (Value == Monochrome())
        return;
    if (Value) {
        FinishPainting();
        FTable = DefaultTable(pf1bit);
        if (!FImage.isNull())
            FImage = ToPaletted(FImage, pf1bit, FTable);
        FPixelFormat = pf1bit;
        Changed(this);
    } else {
        SetPixelFormat(pfDevice);
    }
}

QVector<QRgb> TBitmap::ColorTable() const
{
    if (!IsPaletted(FPixelFormat))
        return {};
    FinishPainting();
    return FImage.isNull() ? FTable : FImage.colorTable();
}

void TBitmap::SetColorTable(const QVector<QRgb> &Table)
{
    if (!IsPaletted(FPixelFormat))
        return;
    FinishPainting();
    FTable = FullTable(Table, FPixelFormat);
    if (!FImage.isNull())
        FImage.setColorTable(FTable);
    Changed(this);
}

TCanvas *TBitmap::Canvas()
{
    if (!FCanvas)
        FCanvas = std::make_unique<BitmapCanvas>(this);
    return FCanvas.get();
}

void *TBitmap::ScanLine(int Row)
{
    FinishPainting();
    if (Row < 0 || Row >= FImage.height())
        throw EInvalidGraphicOperation(QStringLiteral("Scan line index out of range"));
    return FImage.scanLine(Row);
}

int TBitmap::BytesPerScanLine() const
{
    FinishPainting();
    return int(FImage.bytesPerLine());
}

TColor TBitmap::TransparentColor() const
{
    if (FTransparentMode == tmFixed && FTransparentColor != clDefault)
        return FTransparentColor;
    FinishPainting();
    if (FImage.isNull())
        return clDefault;
    const QRgb C = FImage.pixel(0, FImage.height() - 1);
    return RGB(qRed(C), qGreen(C), qBlue(C));
}

void TBitmap::SetTransparentColor(TColor Value)
{
    if (Value == FTransparentColor)
        return;
    FTransparentColor = Value;
    FTransparentMode = Value == clDefault ? tmAuto : tmFixed;
    Changed(this);
}

void TBitmap::SetTransparentMode(TTransparentMode Value)
{
    if (Value == FTransparentMode)
        return;
    if (Value == tmAuto)
        SetTransparentColor(clDefault);
    else
        SetTransparentColor(TransparentColor());
}

const QImage &TBitmap::Image() const
{
    FinishPainting();
    return FImage;
}

void TBitmap::SetImage(const QImage &Image)
{
    FinishPainting();
    QImage Img = Image;
    TPixelFormat Format = pf32bit;
    switch (Img.format()) {
    case QImage::Format_Invalid:
        break;
    case QImage::Format_Mono:
        Format = pf1bit;
        break;
    case QImage::Format_MonoLSB:
        Img = Img.convertToFormat(QImage::Format_Mono);
        Format = pf1bit;
        break;
    case QImage::Format_Indexed8:
        Format = pf8bit;
        break;
    case QImage::Format_RGB555:
        Format = pf15bit;
        break;
    case QImage::Format_RGB16:
        Format = pf16bit;
        break;
    case QImage::Format_BGR888:
        Format = pf24bit;
        break;
    case QImage::Format_RGB888:
        Img = Img.convertToFormat(QImage::Format_BGR888);
        Format = pf24bit;
        break;
    case QImage::Format_RGB32:
        break;
    default:
        Img = Img.convertToFormat(Img.hasAlphaChannel() ? QImage::Format_ARGB32 : QImage::Format_RGB32);
        break;
    }
    if (IsPaletted(Format) && !Img.isNull())
        Img.setColorTable(FullTable(Img.colorTable(), Format));
    FImage = Img;
    FPixelFormat = Format;
    if (IsPaletted(Format))
        FTable = FImage.colorTable();
    Changed(this);
}

void TBitmap::Assign(const TGraphic *Source)
{
    if (Source == this)
        return;
    if (!Source) {
        FinishPainting();
        FImage = QImage();
        Changed(this);
        return;
    }
    if (auto *B = dynamic_cast<const TBitmap *>(Source)) {
        FinishPainting();
        B->FinishPainting();
        FImage = B->FImage;
        FPixelFormat = B->FPixelFormat;
        FTable = B->FTable;
        FTransparentColor = B->FTransparentColor;
        FTransparentMode = B->FTransparentMode;
        if (Transparent() != B->Transparent())
            TGraphic::SetTransparent(B->Transparent());
        Changed(this);
        return;
    }
    TGraphic::Assign(Source);
}

void TBitmap::AssignTo(TGraphic *Dest) const
{
    if (auto *B = dynamic_cast<TBitmap *>(Dest)) {
        B->Assign(this);
        return;
    }
    TGraphic::AssignTo(Dest);
}

void TBitmap::Draw(TCanvas &Canvas, const TRect &R)
{
    FinishPainting();
    if (FImage.isNull() || R.IsEmpty())
        return;
    QImage Src = FImage;
    if (Transparent()) {
        const TColor Key = ColorToRGB(TransparentColor()) & 0xFFFFFF;
        Src = Src.convertToFormat(QImage::Format_ARGB32);
        const QRgb KeyRgb = qRgb(GetRValue(Key), GetGValue(Key), GetBValue(Key));
        for (int Y = 0; Y < Src.height(); ++Y) {
            QRgb *Line = reinterpret_cast<QRgb *>(Src.scanLine(Y));
            for (int X = 0; X < Src.width(); ++X)
                if ((Line[X] | 0xFF000000u) == KeyRgb)
                    Line[X] = 0;
        }
    }
    QPainter *P = Canvas.Painter();
    if (!P)
        return;
    switch (Canvas.CopyMode) {
    case cmSrcPaint: P->setCompositionMode(QPainter::RasterOp_SourceOrDestination); break;
    case cmSrcAnd: P->setCompositionMode(QPainter::RasterOp_SourceAndDestination); break;
    case cmSrcInvert: P->setCompositionMode(QPainter::RasterOp_SourceXorDestination); break;
    default: P->setCompositionMode(QPainter::CompositionMode_SourceOver); break;
    }
    P->drawImage(R.ToQRect(), Src);
    P->setCompositionMode(QPainter::CompositionMode_SourceOver);
}

void TBitmap::LoadFromClipboardFormat(const QString &Format, const QByteArray &Data)
{
    if (Format != QLatin1String(CF_BITMAP))
        TGraphic::LoadFromClipboardFormat(Format, Data);
    TMemoryStream M;
    M.WriteBytes(Data);
    M.SetPosition(0);
    LoadFromStream(&M);
}

void TBitmap::SaveToClipboardFormat(QString &Format, QByteArray &Data)
{
    TMemoryStream M;
    SaveToStream(&M);
    Format = QString::fromLatin1(CF_BITMAP);
    Data = M.Bytes();
}

// --------------------------------------------------------------- BMP read

void TBitmap::LoadFromStream(TStream *Stream)
{
    const QByteArray Head = ReadUpTo(Stream, 14);
    if (Head.isEmpty()) {
        // Nothing left in the stream: an empty bitmap, as an empty one saves.
        FinishPainting();
        FImage = QImage();
        Changed(this);
        return;
    }
    if (Head.size() < 14 || Head[0] != 'B' || Head[1] != 'M')
        BadBitmap();
    const quint32 FileSize = GetLE32(reinterpret_cast<const uchar *>(Head.constData()) + 2);
    const quint32 OffBits = GetLE32(reinterpret_cast<const uchar *>(Head.constData()) + 10);
    // Read the rest of the file: its size field when plausible, else the rest of the stream.
    QByteArray Body;
    if (FileSize > 14 + 12 && FileSize <= 0x7FFFFFFFu) {
        Body = ReadUpTo(Stream, qint64(FileSize) - 14);
    } else {
        Body = ReadRest(Stream);
    }
    const uchar *D = reinterpret_cast<const uchar *>(Body.constData());
    const qint64 N = Body.size();
    if (N < 12)
        BadBitmap();
    const quint32 InfoSize = GetLE32(D);
    if (InfoSize != 12 && (InfoSize < 40 || InfoSize > 1024))
        BadBitmap();
    if (N < qint64(InfoSize))
        BadBitmap();
    qint64 W, H;
    int Bits;
    quint32 Compression = 0, ClrUsed = 0;
    quint32 Masks[4] = {0, 0, 0, 0};
    int EntrySize = 4;
    if (InfoSize == 12) {
        W = GetLE16(D + 4);
        H = qint16(GetLE16(D + 6));
        Bits = GetLE16(D + 10);
        EntrySize = 3;
    } else {
        W = qint32(GetLE32(D + 4));
        H = qint32(GetLE32(D + 8));
        Bits = GetLE16(D + 14);
        Compression = GetLE32(D + 16);
        ClrUsed = GetLE32(D + 32);
    }
    qint64 Pos = InfoSize;
    if (Compression == 3) {
        if (InfoSize >= 52) {
            Masks[0] = GetLE32(D + 40);
            Masks[1] = GetLE32(D + 44);
            Masks[2] = GetLE32(D + 48);
        } else {
            if (N < Pos + 12)
                BadBitmap();
            Masks[0] = GetLE32(D + Pos);
            Masks[1] = GetLE32(D + Pos + 4);
            Masks[2] = GetLE32(D + Pos + 8);
            Pos += 12;
        }
    }
    const bool TopDown = H < 0;
    if (TopDown)
        H = -H;
    if (W <= 0 || H <= 0 || W > 65535 || H > 65535 || W * H > MaxBitmapPixels)
        BadBitmap();
    const bool Valid = (Compression == 0 && (Bits == 1 || Bits == 4 || Bits == 8 || Bits == 16 || Bits == 24 || Bits == 32))
        || (Compression == 1 && Bits == 8) || (Compression == 2 && Bits == 4)
        || (Compression == 3 && (Bits == 16 || Bits == 32));
    if (!Valid || (TopDown && (Compression == 1 || Compression == 2)))
        BadBitmap();

    // Colour table.
    QVector<QRgb> Table;
    if (Bits <= 8) {
        const quint32 Max = 1u << Bits;
        const quint32 Count = ClrUsed == 0 ? Max : ClrUsed;
        if (Count > Max)
            BadBitmap();
        if (N < Pos + qint64(Count) * EntrySize)
            BadBitmap();
        for (quint32 I = 0; I < Count; ++I) {
            const uchar *E = D + Pos + qint64(I) * EntrySize;
            Table << qRgb(E[2], E[1], E[0]);
        }
        Pos += qint64(Count) * EntrySize;
    }
    // Pixel data: at the offset the file header gives, when it lies inside the file.
    qint64 DataPos = Pos;
    if (OffBits >= 14 + InfoSize && qint64(OffBits) - 14 < N)
        DataPos = qint64(OffBits) - 14;
    const uchar *Pixels = D + DataPos;
    const qint64 Available = N - DataPos;
    const int Width = int(W), Height = int(H);
    const qint64 Stride = ((W * Bits + 31) / 32) * 4;
    auto SourceRow = [&](int Y) { return Pixels + Stride * (TopDown ? Y : Height - 1 - Y); };

    TPixelFormat Format;
    QImage Img;
    if (Compression == 1 || Compression == 2) {
        Format = Bits == 4 ? pf4bit : pf8bit;
        Table = FullTable(Table, Format);
        Img = QImage(Width, Height, QImage::Format_Indexed8);
        if (Img.isNull())
            BadBitmap();
        Img.setColorTable(Table);
        Img.fill(0);
        DecodeRle(Pixels, Available, Compression == 2, Width, Height, Img);
    } else {
        if (Available < Stride * H)
            BadBitmap();
        if (Bits == 1 || Bits == 4 || Bits == 8) {
            Format = Bits == 1 ? pf1bit : Bits == 4 ? pf4bit : pf8bit;
            Table = FullTable(Table, Format);
            Img = QImage(Width, Height, Bits == 1 ? QImage::Format_Mono : QImage::Format_Indexed8);
            if (Img.isNull())
                BadBitmap();
            Img.setColorTable(Table);
            for (int Y = 0; Y < Height; ++Y) {
                const uchar *Src = SourceRow(Y);
                uchar *Dst = Img.scanLine(Y);
                if (Bits == 1)
                    std::memcpy(Dst, Src, size_t((Width + 7) / 8));
                else if (Bits == 8)
                    std::memcpy(Dst, Src, size_t(Width));
                else
                    for (int X = 0; X < Width; ++X)
                        Dst[X] = (X & 1) ? (Src[X / 2] & 0x0F) : (Src[X / 2] >> 4);
            }
        } else if (Bits == 24) {
            Format = pf24bit;
            Img = QImage(Width, Height, QImage::Format_BGR888);
            if (Img.isNull())
                BadBitmap();
            for (int Y = 0; Y < Height; ++Y)
                std::memcpy(Img.scanLine(Y), SourceRow(Y), size_t(Width) * 3);
        } else {
            if (Compression == 0) {
                if (Bits == 16) {
                    Masks[0] = 0x7C00;
                    Masks[1] = 0x03E0;
                    Masks[2] = 0x001F;
                } else {
                    Masks[0] = 0xFF0000;
                    Masks[1] = 0x00FF00;
                    Masks[2] = 0x0000FF;
                }
            }
            const bool Is555 = Bits == 16 && Masks[0] == 0x7C00 && Masks[1] == 0x03E0 && Masks[2] == 0x001F;
            const bool Is565 = Bits == 16 && Masks[0] == 0xF800 && Masks[1] == 0x07E0 && Masks[2] == 0x001F;
            const bool Is888 = Bits == 32 && Masks[0] == 0xFF0000 && Masks[1] == 0x00FF00 && Masks[2] == 0x0000FF;
            if (Is555 || Is565 || Is888) {
                Format = Is555 ? pf15bit : Is565 ? pf16bit : pf32bit;
                Img = QImage(Width, Height, StorageFormat(Format));
                if (Img.isNull())
                    BadBitmap();
                for (int Y = 0; Y < Height; ++Y) {
                    std::memcpy(Img.scanLine(Y), SourceRow(Y), size_t(Width) * size_t(Bits / 8));
                    if (Is888) {
                        QRgb *Line = reinterpret_cast<QRgb *>(Img.scanLine(Y));
                        for (int X = 0; X < Width; ++X)
                            Line[X] |= 0xFF000000u;
                    }
                }
            } else {
                Format = pfCustom;
                Img = QImage(Width, Height, QImage::Format_RGB32);
                if (Img.isNull())
                    BadBitmap();
                for (int Y = 0; Y < Height; ++Y) {
                    const uchar *Src = SourceRow(Y);
                    QRgb *Line = reinterpret_cast<QRgb *>(Img.scanLine(Y));
                    for (int X = 0; X < Width; ++X) {
                        const quint32 V = Bits == 16 ? GetLE16(Src + 2 * X) : GetLE32(Src + 4 * X);
                        Line[X] = qRgb(Scale8(V, Masks[0]), Scale8(V, Masks[1]), Scale8(V, Masks[2]));
                    }
                }
            }
        }
    }
    FinishPainting();
    FImage = Img;
    FPixelFormat = Format;
    FTable = IsPaletted(Format) ? Table : QVector<QRgb>();
    Changed(this);
}

// -------------------------------------------------------------- BMP write

void TBitmap::SaveToStream(TStream *Stream)
{
    FinishPainting();
    if (FImage.isNull())
        return;   // an empty bitmap writes nothing, as the original
    const int W = FImage.width(), H = FImage.height();
    int Bits;
    quint32 Compression = 0;
    switch (FPixelFormat) {
    case pf1bit: Bits = 1; break;
    case pf4bit: Bits = 4; break;
    case pf8bit: Bits = 8; break;
    case pf15bit: Bits = 16; break;
    case pf16bit: Bits = 16; Compression = 3; break;
    case pf32bit: Bits = 32; break;
    default: Bits = 24; break;
    }
    const QVector<QRgb> Table = Bits <= 8 ? FImage.colorTable() : QVector<QRgb>();
    const int Stride = ((W * Bits + 31) / 32) * 4;
    const quint32 MaskBytes = Compression == 3 ? 12 : 0;
    const quint32 OffBits = 14 + 40 + MaskBytes + quint32(Table.size()) * 4;
    const quint32 ImageSize = quint32(Stride) * quint32(H);

    QByteArray Out;
    Out.reserve(int(OffBits + ImageSize));
    Out.append("BM", 2);
    Put32(Out, OffBits + ImageSize);
    Put32(Out, 0);
    Put32(Out, OffBits);
    Put32(Out, 40);
    Put32(Out, quint32(W));
    Put32(Out, quint32(H));
    Put16(Out, 1);
    Put16(Out, quint16(Bits));
    Put32(Out, Compression);
    Put32(Out, ImageSize);
    Put32(Out, 3780);   // 96 pixels per inch
    Put32(Out, 3780);
    Put32(Out, quint32(Table.size()));
    Put32(Out, 0);
    if (Compression == 3) {
        Put32(Out, 0xF800);
        Put32(Out, 0x07E0);
        Put32(Out, 0x001F);
    }
    for (QRgb C : Table) {
        Out.append(char(qBlue(C))).append(char(qGreen(C))).append(char(qRed(C))).append(char(0));
    }
    const QImage Src = Bits == 24 && FImage.format() != QImage::Format_BGR888
        ? FImage.convertToFormat(QImage::Format_BGR888)
        : (Bits == 32 && FImage.format() != QImage::Format_RGB32 && FImage.format() != QImage::Format_ARGB32
               ? FImage.convertToFormat(QImage::Format_RGB32) : FImage);
    QByteArray Row(Stride, '\0');
    for (int Y = H - 1; Y >= 0; --Y) {
        Row.fill('\0');
        const uchar *Line = Src.constScanLine(Y);
        uchar *R = reinterpret_cast<uchar *>(Row.data());
        switch (Bits) {
        case 1: std::memcpy(R, Line, size_t((W + 7) / 8)); break;
        case 4:
            for (int X = 0; X < W; ++X)
                R[X / 2] |= (X & 1) ? (Line[X] & 0x0F) : uchar(Line[X] << 4);
            break;
        case 8: std::memcpy(R, Line, size_t(W)); break;
        case 16: std::memcpy(R, Line, size_t(W) * 2); break;
        case 24: std::memcpy(R, Line, size_t(W) * 3); break;
        default: std::memcpy(R, Line, size_t(W) * 4); break;
        }
        if (Bits == 1 && (W % 8) != 0)
            R[W / 8] &= uchar(0xFF << (8 - W % 8));   // clear the bits past the last pixel
        Out.append(Row);
    }
    WriteAll(Stream, Out);
}
