// Decodes the same GIF files with TGIFImage and with giflib and prints the
// times and their ratio (ours / giflib; below 1 is faster).
//
// The files are made in memory by giflib's encoder: a 4096 x 4096 noise
// picture, a quantised gradient, a photo-like picture, large flat areas, an
// animation of 1000 small frames, a 300-frame moving picture and 100,000
// one-pixel frames.

#include "gif/GIFImage.h"

#include <gif_lib.h>

#include <QCoreApplication>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <random>
#include <vector>

namespace {

struct Frame {
    int Left, Top, Width, Height;
    std::vector<GifByteType> Pixels;
};

int WriteToVector(GifFileType *File, const GifByteType *Data, int Length)
{
    auto *Out = static_cast<std::vector<uint8_t> *>(File->UserData);
    Out->insert(Out->end(), Data, Data + Length);
    return Length;
}

std::vector<uint8_t> Encode(int Width, int Height, const std::vector<Frame> &Frames)
{
    std::vector<uint8_t> Out;
    int Error = 0;
    GifFileType *File = EGifOpen(&Out, WriteToVector, &Error);
    ColorMapObject *Map = GifMakeMapObject(256, nullptr);
    for (int I = 0; I < 256; ++I)
        Map->Colors[I] = GifColorType{GifByteType(I), GifByteType(255 - I), GifByteType((I * 7) & 255)};
    EGifSetGifVersion(File, true);
    EGifPutScreenDesc(File, Width, Height, 8, 0, Map);
    for (const Frame &F : Frames) {
        EGifPutImageDesc(File, F.Left, F.Top, F.Width, F.Height, false, nullptr);
        for (int Y = 0; Y < F.Height; ++Y)
            EGifPutLine(File, const_cast<GifByteType *>(F.Pixels.data()) + size_t(Y) * size_t(F.Width), F.Width);
    }
    EGifCloseFile(File, &Error);
    GifFreeMapObject(Map);
    return Out;
}

struct Reader {
    const std::vector<uint8_t> *Data;
    size_t Pos;
};

int ReadFromVector(GifFileType *File, GifByteType *Buffer, int Length)
{
    auto *R = static_cast<Reader *>(File->UserData);
    size_t N = std::min(size_t(Length), R->Data->size() - R->Pos);
    std::memcpy(Buffer, R->Data->data() + R->Pos, N);
    R->Pos += N;
    return int(N);
}

size_t DecodeGiflib(const std::vector<uint8_t> &Data)
{
    Reader R{&Data, 0};
    int Error = 0;
    GifFileType *File = DGifOpen(&R, ReadFromVector, &Error);
    DGifSlurp(File);
    size_t Frames = size_t(File->ImageCount);
    DGifCloseFile(File, &Error);
    return Frames;
}

size_t DecodeOurs(const std::vector<uint8_t> &Data)
{
    TGIFImage Image;
    TMemoryStream Stream;
    Stream.Write(Data.data(), qint64(Data.size()));
    Stream.SetPosition(0);
    Image.LoadFromStream(&Stream);
    return size_t(Image.Frames().Count());
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
    struct Case {
        const char *Name;
        std::vector<uint8_t> Data;
        int Repeat;
    };
    std::vector<Case> Cases;

    Frame Noise{0, 0, 4096, 4096, std::vector<GifByteType>(size_t(4096) * 4096)};
    for (auto &P : Noise.Pixels)
        P = GifByteType(Rng());
    Cases.push_back({"noise 4096x4096", Encode(4096, 4096, {Noise}), 3});

    Frame Gradient{0, 0, 1600, 1200, std::vector<GifByteType>(size_t(1600) * 1200)};
    for (int Y = 0; Y < 1200; ++Y)
        for (int X = 0; X < 1600; ++X)
            Gradient.Pixels[size_t(Y) * 1600 + size_t(X)] =
                GifByteType((int(128 + 100 * std::sin(X / 90.0) * std::cos(Y / 70.0)) + (X + Y) / 40) & 255);
    Cases.push_back({"gradient 1600x1200", Encode(1600, 1200, {Gradient}), 10});

    // A photograph's texture: smooth shading with a little grain.
    Frame Photo{0, 0, 1600, 1200, std::vector<GifByteType>(size_t(1600) * 1200)};
    for (int Y = 0; Y < 1200; ++Y)
        for (int X = 0; X < 1600; ++X)
            Photo.Pixels[size_t(Y) * 1600 + size_t(X)] =
                GifByteType((int(128 + 100 * std::sin(X / 90.0) * std::cos(Y / 70.0)) + (X + Y) / 40 + int(Rng() % 3)) & 255);
    Cases.push_back({"photo-like 1600x1200", Encode(1600, 1200, {Photo}), 10});

    Frame Flat{0, 0, 2048, 2048, std::vector<GifByteType>(size_t(2048) * 2048)};
    for (int Y = 0; Y < 2048; ++Y)
        for (int X = 0; X < 2048; ++X)
            Flat.Pixels[size_t(Y) * 2048 + size_t(X)] = GifByteType((X / 512) + 4 * (Y / 512));
    Cases.push_back({"flat areas 2048x2048", Encode(2048, 2048, {Flat}), 10});

    std::vector<Frame> Small;
    for (int I = 0; I < 1000; ++I) {
        Frame F{(I * 7) % 96, (I * 11) % 96, 32, 32, std::vector<GifByteType>(32 * 32)};
        for (auto &P : F.Pixels)
            P = GifByteType(Rng() % 16);
        Small.push_back(std::move(F));
    }
    Cases.push_back({"animation 1000 frames", Encode(128, 128, Small), 5});

    // 300 frames of a moving picture, each a part of the screen.
    std::vector<Frame> Movie;
    for (int I = 0; I < 300; ++I) {
        Frame F{(I * 3) % 80, (I * 2) % 60, 240, 180, std::vector<GifByteType>(size_t(240) * 180)};
        for (int Y = 0; Y < 180; ++Y)
            for (int X = 0; X < 240; ++X)
                F.Pixels[size_t(Y) * 240 + size_t(X)] =
                    GifByteType((int(100 + 80 * std::sin((X + I) / 30.0) * std::cos((Y - I) / 25.0)) + int(Rng() % 2)) & 255);
        Movie.push_back(std::move(F));
    }
    Cases.push_back({"300-frame animation", Encode(320, 240, Movie), 5});

    // Loading must stay linear in the frame count.
    std::vector<Frame> Tiny;
    for (int I = 0; I < 100000; ++I)
        Tiny.push_back(Frame{I % 4, (I / 4) % 4, 1, 1, {GifByteType(I & 1)}});
    Cases.push_back({"100000 one-pixel frames", Encode(4, 4, Tiny), 2});

    std::printf("%-24s %10s %12s %12s %8s\n", "file", "bytes", "ours ms", "giflib ms", "ratio");
    double SumOurs = 0, SumTheirs = 0;
    for (const Case &C : Cases) {
        if (DecodeOurs(C.Data) != DecodeGiflib(C.Data)) {
            std::printf("%s: frame counts differ\n", C.Name);
            return 1;
        }
        double Ours = Time([&] { DecodeOurs(C.Data); }, C.Repeat);
        double Theirs = Time([&] { DecodeGiflib(C.Data); }, C.Repeat);
        SumOurs += Ours;
        SumTheirs += Theirs;
        std::printf("%-24s %10zu %12.2f %12.2f %8.2f\n", C.Name, C.Data.size(), Ours, Theirs, Ours / Theirs);
    }
    std::printf("%-24s %10s %12.2f %12.2f %8.2f\n", "all", "", SumOurs, SumTheirs, SumOurs / SumTheirs);
    return 0;
}
