#pragma once
// Helpers of the GIF tests: GIF files made by the peer tools (gifbuild,
// gifsicle), the tools' own view of a file's frames, and hand-made GIF bytes.

#include "gif/GIFImage.h"

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <cstdint>
#include <random>
#include <vector>

namespace GIFTest {

// Runs a program; returns its standard output, or fails the test.
QByteArray Run(const QString &Program, const QStringList &Args, const QByteArray &Input = QByteArray());
bool HaveTools();

// One frame as a gifbuild description: its pixels are colour indices.
struct FrameInput {
    int Left = 0, Top = 0, Width = 0, Height = 0;
    std::vector<uint8_t> Pixels;
    std::vector<uint32_t> LocalMap;   // 0xRRGGBB; empty = use the global map
    bool Interlaced = false;
};

std::vector<uint32_t> RandomMap(std::mt19937 &Rng, int Count);
std::vector<uint8_t> RandomPixels(std::mt19937 &Rng, int Count, int Colors);

// Builds a GIF with gifbuild from the frames.
QByteArray BuildGif(int ScreenWidth, int ScreenHeight, const std::vector<uint32_t> &GlobalMap,
                    const std::vector<FrameInput> &Frames);

// The frames as the peer tool reads them (gifbuild -d): descriptor, pixels
// (rows in picture order) and the colour table each frame draws with.
struct ToolFrame {
    int Left = 0, Top = 0, Width = 0, Height = 0;
    std::vector<uint8_t> Pixels;
};
std::vector<ToolFrame> DumpFrames(const QString &FileName);

// An RGBA picture, 4 bytes a pixel, rows top to bottom.
struct Rgba {
    int Width = 0, Height = 0;
    QByteArray Bytes;
    const uint8_t *At(int X, int Y) const
    {
        return reinterpret_cast<const uint8_t *>(Bytes.constData()) + (size_t(Y) * size_t(Width) + size_t(X)) * 4;
    }
};

// The system's python3 with Pillow ("" when there is none): a private
// interpreter earlier on the PATH usually lacks it.
QString PillowPython();

// A program's exit code and both outputs (code -1 when it cannot start).
struct ToolResult {
    int Code = -1;
    QByteArray Out, Err;
};
ToolResult RunTool(const QString &Program, const QStringList &Args);

QByteArray ReadFile(const QString &FileName);
void WriteFile(const QString &FileName, const QByteArray &Bytes);

// Loads bytes into a new image, collecting the warnings.
struct Loaded {
    std::unique_ptr<TGIFImage> Image;
    QStringList Warnings;
};
Loaded Load(const QByteArray &Bytes);
// As Load, but returns the error text ("" when it loaded).
QString LoadError(const QByteArray &Bytes, QStringList *Warnings = nullptr);

// Hand-made GIF bytes.
class Bytes {
public:
    Bytes &Raw(const QByteArray &B) { FData += B; return *this; }
    Bytes &U8(int V) { FData += char(uint8_t(V)); return *this; }
    Bytes &U16(int V) { U8(V & 0xFF); return U8((V >> 8) & 0xFF); }
    // "GIF89a", screen descriptor and a global table of 2^(Bits) grey entries.
    Bytes &Header(int W, int H, int Bits = 1, const char *Version = "GIF89a");
    Bytes &Descriptor(int L, int T, int W, int H, int Flags = 0);
    // Graphic control extension.
    Bytes &GCE(int Flags, int Delay, int TransparentIndex);
    // Code size byte, codes packed LSB first in sub-blocks of at most BlockSize, terminator.
    Bytes &Codes(int CodeSize, const std::vector<std::pair<int, int>> &CodesAndBits, int BlockSize = 255,
                 bool Terminate = true);
    // Pixels encoded by a plain LZW encoder (clear first, end last).
    Bytes &Pixels(int CodeSize, const std::vector<uint8_t> &Pixels);
    Bytes &Trailer() { return U8(';'); }
    const QByteArray &Data() const { return FData; }
    operator QByteArray() const { return FData; }

private:
    QByteArray FData;
};

// A plain LZW encoding of Pixels as (code, bit width) pairs, with a leading clear.
std::vector<std::pair<int, int>> EncodeLZW(int CodeSize, const std::vector<uint8_t> &Pixels);

// ------------------------------------------------------------ writing

// A frame added to Image through the library's own interface.
TGIFSubImage *AddFrame(TGIFImage &Image, int Left, int Top, int Width, int Height, const std::vector<uint8_t> &Pixels,
                       const std::vector<uint32_t> &LocalMap = {});
void SetGlobalMap(TGIFImage &Image, const std::vector<uint32_t> &Map);
QByteArray SaveBytes(TGIFImage &Image);

// The frames of Image composited one over the other (disposal 0 and 1 only),
// each the size of the screen; pixels nothing has painted are 0, 0, 0, 0.
std::vector<Rgba> Composite(TGIFImage &Image);

// Checks that every peer reads Gif without a word of complaint and sees the
// model: giflib (gifbuild -d, gif2rgb), gifsicle --info, ImageMagick's
// -coalesce and Pillow, and our own reader. Frame 0 must cover the screen.
void CheckWithPeers(const QByteArray &Gif, TGIFImage &Model, const std::string &What);
bool HavePeers();

} // namespace GIFTest
