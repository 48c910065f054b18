// Encodes the same frames with TGIFImage (LZW and run-length) and with
// giflib's EGifPutLine and prints times, sizes and the ratios (ours / giflib;
// below 1 is faster or smaller): three large single pictures, then
// animations of 5,000 and 40,000 small frames that draw with the global
// colour table, each after a graphic control extension, where a cost per
// frame that grew with the frames before it would show.

#include "gif/GIFImage.h"

#include <gif_lib.h>

#include <QCoreApplication>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <random>
#include <vector>

namespace {

struct Picture {
    const char *Name;
    int Width, Height;
    std::vector<uint8_t> Pixels;
    int Repeat;
};

int WriteToVector(GifFileType *File, const GifByteType *Data, int Length)
{
    auto *Out = static_cast<std::vector<uint8_t> *>(File->UserData);
    Out->insert(Out->end(), Data, Data + Length);
    return Length;
}

size_t EncodeGiflib(const Picture &P)
{
    std::vector<uint8_t> Out;
    int Error = 0;
    GifFileType *File = EGifOpen(&Out, WriteToVector, &Error);
    ColorMapObject *Map = GifMakeMapObject(256, nullptr);
    for (int I = 0; I < 256; ++I)
        Map->Colors[I] = GifColorType{GifByteType(I), GifByteType(255 - I), GifByteType((I * 7) & 255)};
    EGifPutScreenDesc(File, P.Width, P.Height, 8, 0, Map);
    EGifPutImageDesc(File, 0, 0, P.Width, P.Height, false, nullptr);
    for (int Y = 0; Y < P.Height; ++Y)
        EGifPutLine(File, const_cast<GifByteType *>(P.Pixels.data()) + size_t(Y) * size_t(P.Width), P.Width);
    EGifCloseFile(File, &Error);
    GifFreeMapObject(Map);
    return Out.size();
}

std::unique_ptr<TGIFImage> Model(const Picture &P)
{
    auto Image = std::make_unique<TGIFImage>();
    for (int I = 0; I < 256; ++I)
        Image->GlobalColorMap()->Add(TColor(I | ((255 - I) << 8) | (((I * 7) & 255) << 16)));
    auto *F = new TGIFSubImage(Image.get());
    Image->Frames().Add(F);
    F->SetBoundsRect(TRect(0, 0, P.Width, P.Height));
    for (int Y = 0; Y < P.Height; ++Y)
        std::copy_n(P.Pixels.data() + size_t(Y) * size_t(P.Width), P.Width, F->RowData(Y));
    return Image;
}

size_t EncodeOurs(TGIFImage &Image)
{
    TMemoryStream S;
    Image.SaveToStream(&S);
    return size_t(S.Size());
}

// Count frames of Side x Side pixels, each after a graphic control
// extension, all drawing with the global table.
struct Animation {
    int Count;
    int Side;
    std::vector<uint8_t> Pixels;   // Count x Side x Side
    int Repeat;
};

size_t EncodeAnimationGiflib(const Animation &A)
{
    std::vector<uint8_t> Out;
    int Error = 0;
    GifFileType *File = EGifOpen(&Out, WriteToVector, &Error);
    ColorMapObject *Map = GifMakeMapObject(256, nullptr);
    for (int I = 0; I < 256; ++I)
        Map->Colors[I] = GifColorType{GifByteType(I), GifByteType(255 - I), GifByteType((I * 7) & 255)};
    EGifSetGifVersion(File, true);
    EGifPutScreenDesc(File, A.Side, A.Side, 8, 0, Map);
    const size_t FrameSize = size_t(A.Side) * size_t(A.Side);
    for (int F = 0; F < A.Count; ++F) {
        const GifByteType Control[4] = {0x04, 10, 0, 0};   // keep the frame, 0.1 s
        EGifPutExtension(File, GRAPHICS_EXT_FUNC_CODE, 4, Control);
        EGifPutImageDesc(File, 0, 0, A.Side, A.Side, false, nullptr);
        const GifByteType *Frame = A.Pixels.data() + size_t(F) * FrameSize;
        for (int Y = 0; Y < A.Side; ++Y)
            EGifPutLine(File, const_cast<GifByteType *>(Frame) + size_t(Y) * size_t(A.Side), A.Side);
    }
    EGifCloseFile(File, &Error);
    GifFreeMapObject(Map);
    return Out.size();
}

std::unique_ptr<TGIFImage> AnimationModel(const Animation &A)
{
    auto Image = std::make_unique<TGIFImage>();
    for (int I = 0; I < 256; ++I)
        Image->GlobalColorMap()->Add(TColor(I | ((255 - I) << 8) | (((I * 7) & 255) << 16)));
    const size_t FrameSize = size_t(A.Side) * size_t(A.Side);
    for (int F = 0; F < A.Count; ++F) {
        auto *Frame = new TGIFSubImage(Image.get());
        Image->Frames().Add(Frame);
        auto *Control = new TGIFGraphicControlExtension(Frame);
        Frame->Extensions().Add(Control);
        Control->SetDisposal(1);
        Control->SetDelay(10);
        Frame->SetBoundsRect(TRect(0, 0, A.Side, A.Side));
        for (int Y = 0; Y < A.Side; ++Y)
            std::copy_n(A.Pixels.data() + size_t(F) * FrameSize + size_t(Y) * size_t(A.Side), A.Side, Frame->RowData(Y));
    }
    return Image;
}

template <class F>
double Time(F &&Fn, int Repeat)
{
    auto Start = std::chrono::steady_clock::now();
    for (int I = 0; I < Repeat; ++I)
        Fn();
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - Start).count() / Repeat;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication App(argc, argv);
    std::mt19937 Rng(1);
    std::vector<Picture> Pictures;

    Picture Noise{"noise 2048x2048", 2048, 2048, std::vector<uint8_t>(size_t(2048) * 2048), 3};
    for (auto &P : Noise.Pixels)
        P = uint8_t(Rng());
    Pictures.push_back(std::move(Noise));

    Picture Photo{"photo-like 1600x1200", 1600, 1200, std::vector<uint8_t>(size_t(1600) * 1200), 5};
    for (int Y = 0; Y < 1200; ++Y)
        for (int X = 0; X < 1600; ++X)
            Photo.Pixels[size_t(Y) * 1600 + size_t(X)] =
                uint8_t((int(128 + 100 * std::sin(X / 90.0) * std::cos(Y / 70.0)) + (X + Y) / 40 + int(Rng() % 3)) & 255);
    Pictures.push_back(std::move(Photo));

    Picture Flat{"flat drawing 2048x2048", 2048, 2048, std::vector<uint8_t>(size_t(2048) * 2048), 5};
    for (int Y = 0; Y < 2048; ++Y)
        for (int X = 0; X < 2048; ++X)
            Flat.Pixels[size_t(Y) * 2048 + size_t(X)] = uint8_t((X / 300) + 7 * (Y / 200) + ((X ^ Y) % 512 == 0));
    Pictures.push_back(std::move(Flat));

    std::printf("%-24s %10s %10s %10s %8s %10s %10s %10s %8s %10s\n", "picture", "ours ms", "giflib ms", "", "ratio",
                "ours B", "giflib B", "", "ratio", "RLE B");
    for (const Picture &P : Pictures) {
        auto Image = Model(P);
        const size_t OurSize = EncodeOurs(*Image);
        const size_t TheirSize = EncodeGiflib(P);
        const double Ours = Time([&] { EncodeOurs(*Image); }, P.Repeat);
        const double Theirs = Time([&] { EncodeGiflib(P); }, P.Repeat);
        Image->SetCompression(1);
        const size_t RleSize = EncodeOurs(*Image);
        std::printf("%-24s %10.2f %10.2f %10s %8.2f %10zu %10zu %10s %8.2f %10zu\n", P.Name, Ours, Theirs, "", Ours / Theirs,
                    OurSize, TheirSize, "", double(OurSize) / double(TheirSize), RleSize);
    }

    for (int Count : {5000, 40000}) {
        Animation A{Count, 8, std::vector<uint8_t>(size_t(Count) * 64), Count > 10000 ? 3 : 10};
        for (auto &P : A.Pixels)
            P = uint8_t(Rng() % 16);
        auto Image = AnimationModel(A);
        const size_t OurSize = EncodeOurs(*Image);
        const size_t TheirSize = EncodeAnimationGiflib(A);
        const double Ours = Time([&] { EncodeOurs(*Image); }, A.Repeat);
        const double Theirs = Time([&] { EncodeAnimationGiflib(A); }, A.Repeat);
        char Name[64];
        std::snprintf(Name, sizeof Name, "%d frames of 8x8", Count);
        std::printf("%-24s %10.2f %10.2f %10s %8.2f %10zu %10zu %10s %8.2f\n", Name, Ours, Theirs, "", Ours / Theirs,
                    OurSize, TheirSize, "", double(OurSize) / double(TheirSize));
    }
    return 0;
}
