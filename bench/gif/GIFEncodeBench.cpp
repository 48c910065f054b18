// Encodes the same frames with TGIFImage (LZW and run-length) and with
// giflib's EGifPutLine and prints times, sizes and the ratios (ours / giflib;
// below 1 is faster or smaller).

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
    return 0;
}
