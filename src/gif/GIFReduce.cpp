// Colour reduction and dithering. Every palette index a lookup returns lies
// inside the palette it was made with, and every error row is as wide as the
// picture plus the kernel's reach on both sides, so no pixel near an edge
// writes outside its buffers.

#include "GIFReduce.h"
#include "GIFException.h"
#include "GIFImage.h"
#include "detail/GIFStrings.h"

#include "platform/core/ByteOrder.h"

#include <algorithm>
#include <cstring>
#include <numeric>

namespace {

QString Msg(const char *Text)
{
    return QString::fromLatin1(Text);
}

[[noreturn]] void InvalidMethod()
{
    throw GIFException(Msg(gifstr::InvalidReductionMethod));
}

} // namespace

// ------------------------------------------------------------ palettes

const QVector<QRgb> &GIFSystemPalette20()
{
    static const QVector<QRgb> Palette = {
        qRgb(0, 0, 0),       qRgb(128, 0, 0),     qRgb(0, 128, 0),     qRgb(128, 128, 0),   qRgb(0, 0, 128),
        qRgb(128, 0, 128),   qRgb(0, 128, 128),   qRgb(192, 192, 192), qRgb(192, 220, 192), qRgb(166, 202, 240),
        qRgb(255, 251, 240), qRgb(160, 160, 164), qRgb(128, 128, 128), qRgb(255, 0, 0),     qRgb(0, 255, 0),
        qRgb(255, 255, 0),   qRgb(0, 0, 255),     qRgb(255, 0, 255),   qRgb(0, 255, 255),   qRgb(255, 255, 255),
    };
    return Palette;
}

const QVector<QRgb> &GIFHalftonePalette()
{
    static const QVector<QRgb> Palette = [] {
        const QVector<QRgb> &System = GIFSystemPalette20();
        QVector<QRgb> P(System.begin(), System.begin() + 10);
        for (int R = 0; R < 6; ++R)
            for (int G = 0; G < 6; ++G)
                for (int B = 0; B < 6; ++B)
                    P.append(qRgb(R * 51, G * 51, B * 51));
        // Greys between the cube's steps of 51.
        for (int I = 0; I < 20; ++I) {
            int V = 12 + I * 231 / 19;
            if (V % 51 == 0)
                V += 3;
            P.append(qRgb(V, V, V));
        }
        P.append(QVector<QRgb>(System.begin() + 10, System.end()));
        return P;
    }();
    return Palette;
}

// ------------------------------------------------------------ lookups

TFastColorLookup::TFastColorLookup(const QVector<QRgb> &Palette)
    : TColorLookup(Palette), FCache(32768, 65535)
{
    for (int I = 0; I < Palette.size(); ++I) {
        const QRgb C = Palette[I];
        FColors.push_back({qRed(C), qGreen(C), qBlue(C)});
        uint16_t &Slot = FCache[size_t(Key(qRed(C), qGreen(C), qBlue(C)))];
        if (Slot == 65535)
            Slot = uint16_t(I);
        if (!FExact.contains(int(C & 0xFFFFFF)))
            FExact.insert(int(C & 0xFFFFFF), I);

    }
}

int TFastColorLookup::Lookup(int &Red, int &Green, int &Blue)
{
    // A colour the palette holds is always its own entry (the first of equal
    // ones), even where the 15-bit cache would give a neighbour's choice.
    if (!FExact.isEmpty()) {
        auto It = FExact.constFind((Red << 16) | (Green << 8) | Blue);
        if (It != FExact.constEnd())
            return It.value();
    }
    uint16_t &Slot = FCache[size_t(Key(Red, Green, Blue))];
    if (Slot == 65535) {
        int Best = 0x30000, Index = 0;
        for (size_t I = 0; I < FColors.size(); ++I) {
            const auto &E = FColors[I];
            const int D = std::abs(E[0] - Red) + std::abs(E[1] - Green) + std::abs(E[2] - Blue);
            if (D < Best) {
                Best = D;
                Index = int(I);
            }
        }
        Slot = uint16_t(Index);
    }
    if (FColors.empty())
        return 0;
    const auto &E = FColors[Slot];
    Red = E[0];
    Green = E[1];
    Blue = E[2];
    return Slot;
}

TNetscapeColorLookup::TNetscapeColorLookup() : TColorLookup(GIFWebPalette()) {}

int TNetscapeColorLookup::Lookup(int &Red, int &Green, int &Blue)
{
    const int R = (Red + 3) / 51, G = (Green + 3) / 51, B = (Blue + 3) / 51;
    Red = R * 51;
    Green = G * 51;
    Blue = B * 51;
    return R * 36 + G * 6 + B;
}

static QVector<QRgb> GreyPalette()
{
    QVector<QRgb> P;
    for (int I = 0; I < 256; ++I)
        P.append(qRgb(I, I, I));
    return P;
}

TGrayScaleLookup::TGrayScaleLookup() : TColorLookup(GreyPalette()) {}

int TGrayScaleLookup::Lookup(int &Red, int &Green, int &Blue)
{
    const int Grey = (Red * 77 + Green * 150 + Blue * 29) >> 8;
    Red = Green = Blue = Grey;
    return Grey;
}

TMonochromeLookup::TMonochromeLookup() : TColorLookup({qRgb(0, 0, 0), qRgb(255, 255, 255)}) {}

int TMonochromeLookup::Lookup(int &Red, int &Green, int &Blue)
{
    if (Red * 77 + Green * 150 + Blue * 29 < 32513) {
        Red = Green = Blue = 0;
        return 0;
    }
    Red = Green = Blue = 255;
    return 1;
}

// ------------------------------------------------------------ octree

TColorQuantizer::TColorQuantizer(int MaxColors, int ColorBits)
    : FMaxColors(std::max(MaxColors, 1)), FColorBits(std::clamp(ColorBits, 1, 8)),
      FReducible(size_t(FColorBits) + 1, nullptr)
{
    FRoot = NewNode(0);
}

TColorQuantizer::~TColorQuantizer() = default;

TOctreeNode *TColorQuantizer::NewNode(int Level)
{
    TOctreeNode *Node;
    if (!FFree.empty()) {
        Node = FFree.back();
        FFree.pop_back();
        *Node = TOctreeNode();
    } else {
        constexpr int BlockSize = 4096;
        if (FBlocks.empty() || FBlockUsed == BlockSize) {
            FBlocks.push_back(std::make_unique<TOctreeNode[]>(BlockSize));
            FBlockUsed = 0;
        }
        Node = &FBlocks.back()[size_t(FBlockUsed++)];
    }
    if (Level == FColorBits) {
        Node->IsLeaf = true;
        ++FLeafCount;
    } else {
        Node->Next = FReducible[size_t(Level)];
        FReducible[size_t(Level)] = Node;
    }
    return Node;
}

void TColorQuantizer::AddColor(int Red, int Green, int Blue)
{
    const int Color = (Red << 16) | (Green << 8) | Blue;
    TOctreeNode *Node = (Color == FLastColor) ? FLastLeaf : nullptr;
    if (!Node) {
        Node = FRoot;
        for (int Level = 0; !Node->IsLeaf; ++Level) {
            const int Shift = 7 - Level;
            const int Index = (((Red >> Shift) & 1) << 2) | (((Green >> Shift) & 1) << 1) | ((Blue >> Shift) & 1);
            if (!Node->Child[size_t(Index)])
                Node->Child[size_t(Index)] = NewNode(Level + 1);
            Node = Node->Child[size_t(Index)];
        }
    }
    ++Node->PixelCount;
    Node->RedSum += Red;
    Node->GreenSum += Green;
    Node->BlueSum += Blue;
    FLastColor = Color;
    FLastLeaf = Node;
    while (FLeafCount > FMaxColors) {
        const int Before = FLeafCount;
        Reduce();
        if (FLeafCount == Before)
            break;   // nothing left to reduce above level 1
    }
}

void TColorQuantizer::AddRow(const uint8_t *Row, int Width)
{
    for (int X = 0; X < Width; ++X, Row += 3)
        AddColor(Row[2], Row[1], Row[0]);
}

void TColorQuantizer::Reduce()
{
    int Level = FColorBits - 1;
    while (Level > 0 && !FReducible[size_t(Level)])
        --Level;
    if (Level == 0)
        return;
    TOctreeNode *Node = FReducible[size_t(Level)];
    FReducible[size_t(Level)] = Node->Next;
    int Children = 0;
    for (TOctreeNode *&C : Node->Child) {
        if (!C)
            continue;
        Node->PixelCount += C->PixelCount;
        Node->RedSum += C->RedSum;
        Node->GreenSum += C->GreenSum;
        Node->BlueSum += C->BlueSum;
        FFree.push_back(C);
        C = nullptr;
        ++Children;
    }
    Node->IsLeaf = true;
    FLeafCount -= Children - 1;
    FLastLeaf = nullptr;
    FLastColor = -1;
}

QVector<QRgb> TColorQuantizer::Palette() const
{
    std::vector<const TOctreeNode *> Leaves;
    std::vector<const TOctreeNode *> Stack{FRoot};
    while (!Stack.empty()) {
        const TOctreeNode *N = Stack.back();
        Stack.pop_back();
        if (N->IsLeaf) {
            Leaves.push_back(N);
            continue;
        }
        for (int I = 7; I >= 0; --I)
            if (N->Child[size_t(I)])
                Stack.push_back(N->Child[size_t(I)]);
    }
    if (int(Leaves.size()) > FMaxColors) {
        // Keep the most used leaves, in tree order.
        std::vector<size_t> Order(Leaves.size());
        std::iota(Order.begin(), Order.end(), size_t(0));
        std::stable_sort(Order.begin(), Order.end(),
                         [&](size_t A, size_t B) { return Leaves[A]->PixelCount > Leaves[B]->PixelCount; });
        Order.resize(size_t(FMaxColors));
        std::sort(Order.begin(), Order.end());
        std::vector<const TOctreeNode *> Kept;
        for (size_t I : Order)
            Kept.push_back(Leaves[I]);
        Leaves.swap(Kept);
    }
    QVector<QRgb> Result;
    for (const TOctreeNode *L : Leaves) {
        if (L->PixelCount == 0)
            Result.append(qRgb(0, 0, 0));
        else
            Result.append(qRgb(int(L->RedSum / L->PixelCount), int(L->GreenSum / L->PixelCount),
                               int(L->BlueSum / L->PixelCount)));
    }
    return Result;
}

// ------------------------------------------------------------ ditherers

int TDitherEngine::Dither(int Red, int Green, int Blue, int)
{
    return FLookup->Lookup(Red, Green, Blue);
}

TErrorDiffusionDitherer::TErrorDiffusionDitherer(int Width, TColorLookup *Lookup, std::vector<TWeight> Kernel,
                                                 int Divisor)
    : TDitherEngine(Width, Lookup), FKernel(std::move(Kernel)), FDivisor(Divisor)
{
    for (const TWeight &K : FKernel) {
        FReach = std::max(FReach, std::abs(K.DX));
        FRows = std::max(FRows, K.DY + 1);
    }
    FError.assign(size_t(FRows), std::vector<int>(size_t(Width + 2 * FReach) * 3, 0));
}

int TErrorDiffusionDitherer::Dither(int Red, int Green, int Blue, int Column)
{
    const int At = (Column + FReach) * 3;
    int *Here = FError[0].data() + At;
    const int Half = FDivisor / 2;
    int C[3] = {Red, Green, Blue};
    for (int K = 0; K < 3; ++K)
        C[K] = std::clamp(C[K] + (Here[K] + Half) / FDivisor, 0, 255);
    int Chosen[3] = {C[0], C[1], C[2]};
    const int Index = FLookup->Lookup(Chosen[0], Chosen[1], Chosen[2]);
    const int Err[3] = {C[0] - Chosen[0], C[1] - Chosen[1], C[2] - Chosen[2]};
    for (const TWeight &W : FKernel) {
        int *Cell = FError[size_t(W.DY)].data() + At + W.DX * FDirection * 3;
        Cell[0] += Err[0] * W.Weight;
        Cell[1] += Err[1] * W.Weight;
        Cell[2] += Err[2] * W.Weight;
    }
    return Index;
}

void TErrorDiffusionDitherer::NextLine()
{
    std::rotate(FError.begin(), FError.begin() + 1, FError.end());
    std::fill(FError.back().begin(), FError.back().end(), 0);
    TDitherEngine::NextLine();
}

TFloydSteinbergDitherer::TFloydSteinbergDitherer(int Width, TColorLookup *Lookup)
    : TErrorDiffusionDitherer(Width, Lookup, {{1, 0, 7}, {-1, 1, 3}, {0, 1, 5}, {1, 1, 1}}, 16)
{
}

// The 5 x 3 kernels: two weights ahead on the current row, then five on
// each of the two rows below, left to right.
struct Kernel5by3Weights {
    std::array<int, 2> Ahead;
    std::array<int, 5> Below1, Below2;
    int Divisor;
};

static const Kernel5by3Weights &Weights5by3(TDitherMode Mode)
{
    static const Kernel5by3Weights Stucki{{8, 4}, {2, 4, 8, 4, 2}, {1, 2, 4, 2, 1}, 42};
    static const Kernel5by3Weights Sierra{{5, 3}, {2, 4, 5, 4, 2}, {0, 2, 3, 2, 0}, 32};
    static const Kernel5by3Weights Jarvis{{7, 5}, {3, 5, 7, 5, 3}, {1, 3, 5, 3, 1}, 48};
    return Mode == ditherStucki ? Stucki : Mode == ditherSierra ? Sierra : Jarvis;
}

static std::vector<TErrorDiffusionDitherer::TWeight> Kernel5by3(TDitherMode Mode)
{
    const Kernel5by3Weights &K = Weights5by3(Mode);
    std::vector<TErrorDiffusionDitherer::TWeight> Result = {{1, 0, K.Ahead[0]}, {2, 0, K.Ahead[1]}};
    for (int I = 0; I < 5; ++I) {
        Result.push_back({I - 2, 1, K.Below1[size_t(I)]});
        if (K.Below2[size_t(I)])
            Result.push_back({I - 2, 2, K.Below2[size_t(I)]});
    }
    return Result;
}

T5by3Ditherer::T5by3Ditherer(int Width, TColorLookup *Lookup, TDitherMode Mode)
    : TErrorDiffusionDitherer(Width, Lookup, Kernel5by3(Mode), Weights5by3(Mode).Divisor)
{
}

TSteveArcheDitherer::TSteveArcheDitherer(int Width, TColorLookup *Lookup)
    : TErrorDiffusionDitherer(Width, Lookup,
                              {{2, 0, 32},
                               {-3, 1, 12}, {-1, 1, 26}, {1, 1, 30}, {3, 1, 16},
                               {-2, 2, 12}, {0, 2, 26}, {2, 2, 12},
                               {-3, 3, 5}, {-1, 3, 12}, {1, 3, 12}, {3, 3, 5}},
                              200)
{
}

TBurkesDitherer::TBurkesDitherer(int Width, TColorLookup *Lookup)
    : TErrorDiffusionDitherer(Width, Lookup,
                              {{1, 0, 8}, {2, 0, 4}, {-2, 1, 2}, {-1, 1, 4}, {0, 1, 8}, {1, 1, 4}, {2, 1, 2}}, 32)
{
}

// ------------------------------------------------------------ row access

static TPixelFormat ReadableFormat(TPixelFormat Format)
{
    return (Format == pf1bit || Format == pf4bit || Format == pf8bit) ? Format : pf24bit;
}

TDIBReader::TDIBReader(const TBitmap &Bitmap, TPixelFormat PixelFormat) : FCopy(Bitmap)
{
    FPixelFormat = ReadableFormat(PixelFormat);
    FCopy.SetPixelFormat(FPixelFormat);
    FWidth = FCopy.Width();
    FHeight = FCopy.Height();
}

const uint8_t *TDIBReader::ScanLine(int Row)
{
    return static_cast<const uint8_t *>(FCopy.ScanLine(Row));
}

TDIBWriter::TDIBWriter(TBitmap *Target, TPixelFormat PixelFormat, int Width, int Height,
                       const QVector<QRgb> &Palette)
    : FTarget(Target), FPalette(Palette)
{
    if (PixelFormat != pf8bit && PixelFormat != pf24bit)
        throw GIFException(Msg(gifstr::UnsupportedPixelFormat));
    if (Width <= 0 || Height <= 0)
        throw GIFException(Msg(gifstr::InvalidImageDimensions));
    FPixelFormat = PixelFormat;
    FWidth = Width;
    FHeight = Height;
    const int Bits = PixelFormat == pf8bit ? 8 : 24;
    FStride = int(((int64_t(Width) * Bits + 31) / 32) * 4);
    FHeaderSize = 40 + (PixelFormat == pf8bit ? 1024 : 0);
}

TDIBWriter::~TDIBWriter()
{
    try {
        Finish();
    } catch (...) {
        // A destructor cannot report; Finish() called by the owner does.
    }
}

uint8_t *TDIBWriter::ScanLine(int Row)
{
    if (!FAllocated) {
        const int64_t Size = int64_t(FHeaderSize) + int64_t(FStride) * FHeight;
        if (Size > int64_t(INT32_MAX))
            throw EOutOfMemory(Msg(gifstr::DIBAllocFailed));
        try {
            FBits = QByteArray(qsizetype(Size), '\0');
        } catch (const std::bad_alloc &) {
            throw EOutOfMemory(Msg(gifstr::DIBAllocFailed));
        }
        if (FBits.size() != Size)
            throw EOutOfMemory(Msg(gifstr::DIBAllocFailed));
        uint8_t *H = reinterpret_cast<uint8_t *>(FBits.data());
        PutLE32(H, 40);
        PutLE32(H + 4, uint32_t(FWidth));
        PutLE32(H + 8, uint32_t(FHeight));   // positive: rows run bottom-up
        PutLE16(H + 12, 1);
        PutLE16(H + 14, FPixelFormat == pf8bit ? 8 : 24);
        if (FPixelFormat == pf8bit) {
            PutLE32(H + 32, 256);
            PutLE32(H + 36, uint32_t(std::min<qsizetype>(FPalette.size(), 256)));
            for (int I = 0; I < std::min<int>(int(FPalette.size()), 256); ++I) {
                uint8_t *E = H + 40 + I * 4;
                E[0] = uint8_t(qBlue(FPalette[I]));
                E[1] = uint8_t(qGreen(FPalette[I]));
                E[2] = uint8_t(qRed(FPalette[I]));
            }
        }
        FAllocated = true;
    }
    if (Row < 0 || Row >= FHeight)
        throw EInvalidGraphicOperation(QStringLiteral("Scan line index out of range"));
    return reinterpret_cast<uint8_t *>(FBits.data()) + FHeaderSize + size_t(FHeight - 1 - Row) * size_t(FStride);
}

void TDIBWriter::Finish()
{
    if (!FAllocated || !FTarget)
        return;
    TBitmap *Target = FTarget;
    FTarget = nullptr;
    QByteArray File(14, '\0');
    uint8_t *F = reinterpret_cast<uint8_t *>(File.data());
    PutLE16(F, 0x4D42);
    PutLE32(F + 2, uint32_t(14 + FBits.size()));
    PutLE32(F + 10, uint32_t(14 + FHeaderSize));
    File += FBits;
    FBits.clear();
    TMemoryStream Stream;
    Stream.WriteBytes(File);
    Stream.SetPosition(0);
    Target->LoadFromStream(&Stream);
}

// ------------------------------------------------------------ reduction

std::unique_ptr<TBitmap> ReduceBitmap(const TBitmap &Bitmap, TColorReduction Method, TDitherMode DitherMode,
                                      const QVector<QRgb> &Palette, int Bits)
{
    if (Method == reduceNone) {
        auto Copy = std::make_unique<TBitmap>(Bitmap);
        Copy->SetPixelFormat(pf24bit);
        return Copy;
    }
    if (Method < reduceNone || Method > reduceGivenPalette)
        InvalidMethod();
    if (DitherMode < ditherNearest || DitherMode > ditherBurkes)
        throw GIFException(QStringLiteral("无效的抖动方式 (%1)").arg(DitherMode));
    if (Method == reduceGivenPalette && (Palette.isEmpty() || Palette.size() > 256))
        InvalidMethod();
    Bits = std::clamp(Bits, 1, 8);

    TDIBReader Reader(Bitmap, pf24bit);
    const int W = Reader.Width(), H = Reader.Height();
    auto Result = std::make_unique<TBitmap>();
    if (W <= 0 || H <= 0)
        return Result;

    QVector<QRgb> Colors;
    std::unique_ptr<TColorLookup> Lookup;
    switch (Method) {
    case reduceSystem20: Colors = GIFSystemPalette20(); break;
    case reduceHalftone: Colors = GIFHalftonePalette(); break;
    case reduceGray4: Colors = {qRgb(0, 0, 0), qRgb(128, 128, 128), qRgb(192, 192, 192), qRgb(255, 255, 255)}; break;
    case reduceMono: Lookup = std::make_unique<TMonochromeLookup>(); break;
    case reduceGray256: Lookup = std::make_unique<TGrayScaleLookup>(); break;
    case reduceWeb216: Lookup = std::make_unique<TNetscapeColorLookup>(); break;
    case reduceOctree:
    case reduceOctreeSystem: {
        const int Wanted = Method == reduceOctree ? (1 << Bits) : 236;
        TColorQuantizer Quantizer(Wanted, 8);
        for (int Y = 0; Y < H; ++Y)
            Quantizer.AddRow(Reader.ScanLine(Y), W);
        QVector<QRgb> Found = Quantizer.Palette();
        if (Method == reduceOctree) {
            Colors = Found;
            Colors.resize(Wanted, qRgb(0, 0, 0));
        } else {
            const QVector<QRgb> &System = GIFSystemPalette20();
            Colors = QVector<QRgb>(256, qRgb(0, 0, 0));
            std::copy_n(System.begin(), 10, Colors.begin());
            std::copy(Found.begin(), Found.end(), Colors.begin() + 10);
            std::copy_n(System.begin() + 10, 10, Colors.begin() + 246);
        }
        break;
    }
    case reduceGivenPalette: Colors = Palette; break;
    default: InvalidMethod();
    }
    if (!Lookup)
        Lookup = std::make_unique<TFastColorLookup>(Colors);

    std::unique_ptr<TDitherEngine> Ditherer;
    switch (DitherMode) {
    case ditherNearest: Ditherer = std::make_unique<TDitherEngine>(W, Lookup.get()); break;
    case ditherFloydSteinberg: Ditherer = std::make_unique<TFloydSteinbergDitherer>(W, Lookup.get()); break;
    case ditherStucki:
    case ditherSierra:
    case ditherJarvisJudiceNinke: Ditherer = std::make_unique<T5by3Ditherer>(W, Lookup.get(), DitherMode); break;
    case ditherStevensonArce: Ditherer = std::make_unique<TSteveArcheDitherer>(W, Lookup.get()); break;
    case ditherBurkes: Ditherer = std::make_unique<TBurkesDitherer>(W, Lookup.get()); break;
    }

    TDIBWriter Writer(Result.get(), pf8bit, W, H, Lookup->Palette());
    for (int Y = 0; Y < H; ++Y) {
        const uint8_t *Src = Reader.ScanLine(Y);
        uint8_t *Dst = Writer.ScanLine(Y);
        const bool Forward = Ditherer->Direction() > 0;
        for (int I = 0; I < W; ++I) {
            const int X = Forward ? I : W - 1 - I;
            const uint8_t *P = Src + size_t(X) * 3;
            Dst[X] = uint8_t(Ditherer->Dither(P[2], P[1], P[0], X));
        }
        Ditherer->NextLine();
    }
    Writer.Finish();
    return Result;
}
