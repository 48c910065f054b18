#pragma once
// Colour reduction: a true-colour picture becomes an 8-bit picture with a
// palette chosen by method (fixed palettes, greys, the web cube, an octree
// over the picture or a palette the caller gives), each pixel mapped through
// a lookup and, when asked, an error-diffusion ditherer. Also the row access
// to bitmaps that the reduction and the frame import use.

#include "platform/graphics/Graphics.h"

#include <QHash>
#include <QVector>
#include <QtGui/qrgb.h>
#include <array>
#include <cstdint>
#include <memory>
#include <vector>

// Colour reduction methods (TColorReduction).
using TColorReduction = int;
inline constexpr TColorReduction reduceNone = 0;
inline constexpr TColorReduction reduceSystem20 = 1;
inline constexpr TColorReduction reduceHalftone = 2;
inline constexpr TColorReduction reduceGray4 = 3;
inline constexpr TColorReduction reduceMono = 4;
inline constexpr TColorReduction reduceGray256 = 5;
inline constexpr TColorReduction reduceWeb216 = 6;
inline constexpr TColorReduction reduceOctree = 7;
inline constexpr TColorReduction reduceOctreeSystem = 8;
inline constexpr TColorReduction reduceGivenPalette = 9;

// Dither modes (TDitherMode).
using TDitherMode = int;
inline constexpr TDitherMode ditherNearest = 0;
inline constexpr TDitherMode ditherFloydSteinberg = 1;
inline constexpr TDitherMode ditherStucki = 2;
inline constexpr TDitherMode ditherSierra = 3;
inline constexpr TDitherMode ditherJarvisJudiceNinke = 4;
inline constexpr TDitherMode ditherStevensonArce = 5;
inline constexpr TDitherMode ditherBurkes = 6;

// The system's 20 fixed colours: 10 at the start and 10 at the end of a
// 256-entry system palette.
const QVector<QRgb> &GIFSystemPalette20();
// Our halftone palette of 256 entries: the 20 system colours at 0-9 and
// 246-255; between them the 6 x 6 x 6 cube of the web palette (components
// 0, 51, ... 255, index 10 + r * 36 + g * 6 + b) and 20 greys from 12 to
// 243 in steps of about 12 that the cube does not hold.
const QVector<QRgb> &GIFHalftonePalette();

// ------------------------------------------------------------ lookups

// Maps a colour to a palette index and says which colour that index shows
// (the ditherers spread the difference).
class TColorLookup {
public:
    explicit TColorLookup(const QVector<QRgb> &Palette) : FPalette(Palette) {}
    virtual ~TColorLookup() = default;
    // The index for Red, Green, Blue; the three become the colour chosen.
    virtual int Lookup(int &Red, int &Green, int &Blue) = 0;
    const QVector<QRgb> &Palette() const { return FPalette; }

protected:
    QVector<QRgb> FPalette;
};

// The nearest entry (least sum of channel differences), cached per 15-bit colour.
class TFastColorLookup : public TColorLookup {
public:
    explicit TFastColorLookup(const QVector<QRgb> &Palette);
    int Lookup(int &Red, int &Green, int &Blue) override;

private:
    static int Key(int R, int G, int B) { return (R >> 3) | ((G & 0xF8) << 2) | ((B & 0xF8) << 7); }
    std::vector<uint16_t> FCache;
    std::vector<std::array<int, 3>> FColors;
    QHash<int, int> FExact;   // palette colour -> its first index
};

// The web cube: c' = (c + 3) div 51 per channel, index r' x 36 + g' x 6 + b'.
class TNetscapeColorLookup : public TColorLookup {
public:
    TNetscapeColorLookup();
    int Lookup(int &Red, int &Green, int &Blue) override;
};

// 256 greys: grey = (77 r + 150 g + 29 b) shr 8 is both index and colour.
class TGrayScaleLookup : public TColorLookup {
public:
    TGrayScaleLookup();
    int Lookup(int &Red, int &Green, int &Blue) override;
};

// Black (index 0) below 77 r + 150 g + 29 b = 32513, white (index 1) from there.
class TMonochromeLookup : public TColorLookup {
public:
    TMonochromeLookup();
    int Lookup(int &Red, int &Green, int &Blue) override;
};

// ------------------------------------------------------------ octree

struct TOctreeNode {
    bool IsLeaf = false;
    int64_t PixelCount = 0;
    int64_t RedSum = 0, GreenSum = 0, BlueSum = 0;
    TOctreeNode *Next = nullptr;   // the next reducible node of its level
    std::array<TOctreeNode *, 8> Child{};
};

// The octree quantizer: colours are added one by one; the tree is reduced
// from its deepest level whenever it holds more leaves than colours asked.
class TColorQuantizer {
public:
    TColorQuantizer(int MaxColors, int ColorBits);
    ~TColorQuantizer();
    TColorQuantizer(const TColorQuantizer &) = delete;
    TColorQuantizer &operator=(const TColorQuantizer &) = delete;

    void AddColor(int Red, int Green, int Blue);
    // Adds the pixels of 24-bit rows (blue, green, red bytes).
    void AddRow(const uint8_t *Row, int Width);
    int LeafCount() const { return FLeafCount; }
    // The leaves' mean colours, depth first in child order; never more than
    // MaxColors: when the tree cannot be reduced that far (it stops at level
    // 1), the most used leaves are kept.
    QVector<QRgb> Palette() const;

private:
    TOctreeNode *NewNode(int Level);
    void Reduce();
    int FMaxColors;
    int FColorBits;
    int FLeafCount = 0;
    TOctreeNode *FRoot = nullptr;
    std::vector<TOctreeNode *> FReducible;   // per level
    std::vector<std::unique_ptr<TOctreeNode[]>> FBlocks;
    int FBlockUsed = 0;
    std::vector<TOctreeNode *> FFree;
    // The last colour added and the leaf it reached, while the tree is unchanged.
    int FLastColor = -1;
    TOctreeNode *FLastLeaf = nullptr;
};

// ------------------------------------------------------------ ditherers

// Maps the pixels of a row through a lookup; rows alternate direction
// (serpentine). The base maps each pixel to its nearest entry.
class TDitherEngine {
public:
    TDitherEngine(int Width, TColorLookup *Lookup) : FWidth(Width), FLookup(Lookup) {}
    virtual ~TDitherEngine() = default;
    // The index for the pixel at Column of the current row.
    virtual int Dither(int Red, int Green, int Blue, int Column);
    // Moves to the next row and reverses the direction.
    virtual void NextLine() { FDirection = -FDirection; }
    int Direction() const { return FDirection; }

protected:
    int FWidth;
    TColorLookup *FLookup;
    int FDirection = 1;
};

// Error diffusion with a kernel of weights over the pixels ahead in the
// current direction and the rows below. Each channel has its own error rows,
// as wide as the picture plus the kernel's reach on both sides.
class TErrorDiffusionDitherer : public TDitherEngine {
public:
    struct TWeight {
        int DX, DY, Weight;
    };
    TErrorDiffusionDitherer(int Width, TColorLookup *Lookup, std::vector<TWeight> Kernel, int Divisor);
    int Dither(int Red, int Green, int Blue, int Column) override;
    void NextLine() override;

private:
    std::vector<TWeight> FKernel;
    int FDivisor;
    int FReach = 0;                       // columns the kernel reaches sideways
    int FRows = 1;                        // the current row and those below
    std::vector<std::vector<int>> FError; // FRows rows of (Width + 2 x Reach) x 3
};

class TFloydSteinbergDitherer : public TErrorDiffusionDitherer {
public:
    TFloydSteinbergDitherer(int Width, TColorLookup *Lookup);
};

// Stucki, Sierra and Jarvis-Judice-Ninke: 5 x 3 kernels.
class T5by3Ditherer : public TErrorDiffusionDitherer {
public:
    T5by3Ditherer(int Width, TColorLookup *Lookup, TDitherMode Mode);
};

// Stevenson-Arce: 7 x 4, divisor 200.
class TSteveArcheDitherer : public TErrorDiffusionDitherer {
public:
    TSteveArcheDitherer(int Width, TColorLookup *Lookup);
};

// Burkes: 5 x 2, divisor 32.
class TBurkesDitherer : public TErrorDiffusionDitherer {
public:
    TBurkesDitherer(int Width, TColorLookup *Lookup);
};

// ------------------------------------------------------------ row access

// Row access to bitmaps.
class TDIB {
public:
    virtual ~TDIB() = default;
    int Width() const { return FWidth; }
    int Height() const { return FHeight; }
    TPixelFormat PixelFormat() const { return FPixelFormat; }

protected:
    int FWidth = 0, FHeight = 0;
    TPixelFormat FPixelFormat = pf24bit;
};

// The rows of a bitmap in the asked format (1, 4, 8 or 24 bits; any other
// reads as 24 bits: blue, green, red bytes). The bitmap itself is not changed.
class TDIBReader : public TDIB {
public:
    TDIBReader(const TBitmap &Bitmap, TPixelFormat PixelFormat);
    // Rows of pf1bit hold a bit per pixel (first pixel in the top bit),
    // pf4bit and pf8bit a byte per pixel.
    const uint8_t *ScanLine(int Row);
    QVector<QRgb> ColorTable() const { return FCopy.ColorTable(); }

private:
    TBitmap FCopy;
};

// Builds an 8-bit (with a 256-entry colour table from Palette) or 24-bit
// picture in memory and hands it to Target as a BMP file image when it is
// destroyed; a writer whose memory was never allocated hands nothing over.
class TDIBWriter : public TDIB {
public:
    TDIBWriter(TBitmap *Target, TPixelFormat PixelFormat, int Width, int Height, const QVector<QRgb> &Palette);
    ~TDIBWriter() override;
    TDIBWriter(const TDIBWriter &) = delete;
    TDIBWriter &operator=(const TDIBWriter &) = delete;
    // Row Row (0 is the top) of the pixel bits; rows are padded to 32 bits.
    uint8_t *ScanLine(int Row);
    // Hands the picture over now (the destructor does it otherwise).
    void Finish();

private:
    TBitmap *FTarget;
    QVector<QRgb> FPalette;
    int FStride = 0;
    QByteArray FBits;   // header, colour table and bits, as in the BMP file after its file header
    int FHeaderSize = 0;
    bool FAllocated = false;
};

// ------------------------------------------------------------ reduction

// Reduces Bitmap to an 8-bit picture with the palette of Method (a 24-bit copy
// for reduceNone). Palette is the caller's palette for reduceGivenPalette (1
// to 256 entries) and Bits the octree's colour count as a power of two (1 to
// 8). A method outside 0..9, an unknown dither mode or a given palette of
// the wrong size raises GIFException.
std::unique_ptr<TBitmap> ReduceBitmap(const TBitmap &Bitmap, TColorReduction Method, TDitherMode DitherMode,
                                      const QVector<QRgb> &Palette, int Bits);
