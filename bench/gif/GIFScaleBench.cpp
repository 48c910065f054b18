// How the GIF library's work grows with its input: every case runs at a size
// N and at 4N and prints both times and their ratio (about 4 is linear, about
// 16 is quadratic). Where giflib does the same work (loading and saving) its
// times are printed beside ours.
//   - the optimiser on animations whose frames each change a little;
//   - the optimiser on animations of identical frames (all but one go) and
//     of frames each shown twice (every other one goes);
//   - colour reduction of noise, and assigning it to an image;
//   - adding the frames of one animation to another one by one;
//   - loading and saving a frame with many comment extensions;
//   - the LZW coder on noise (the table fills and restarts all the time) and
//     on a single colour (the longest strings);
//   - loading, saving and drawing frames placed far outside the screen;
//   - painting an animation of many frames (restore to background), frame
//     after frame, with a clock that does not wait.
// Usage: gif_scale_bench [scale]   (scale multiplies every N; default 1)

#include "../ScaleReport.h"
#include "gif/GIFImage.h"
#include "gif/GIFPainter.h"
#include "gif/GIFReduce.h"

#include <gif_lib.h>

#include <QGuiApplication>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <random>
#include <vector>

namespace {

// A clock that moves only when the painter sleeps, so painting costs no waiting.
class NoWaitTiming : public TGIFTiming {
public:
    uint32_t Now() override { return FNow; }
    void Sleep(int Ms) override { FNow += uint32_t(std::max(Ms, 0)); }
    bool WaitFor(TGIFEvent &, int Ms) override
    {
        FNow += uint32_t(std::max(Ms, 0));
        return false;
    }

private:
    uint32_t FNow = 0;
};

using ScaleReport::Millis;

// The best of three runs, each on a model made anew by Make.
template <class M>
double Best(const std::function<M()> &Make, const std::function<void(M &)> &Run)
{
    double Result = 1e300;
    for (int I = 0; I < 3; ++I) {
        M Model = Make();
        Result = std::min(Result, Millis([&] { Run(Model); }));
    }
    return Result;
}

void Report(const char *Name, int N, double Small, double Large, double PeerSmall = -1, double PeerLarge = -1)
{
    ScaleReport::Report(Name, N, Small, Large, "giflib", PeerSmall, PeerLarge);
}

std::unique_ptr<TGIFImage> NewImage(int Width, int Height, int Colors)
{
    auto Image = std::make_unique<TGIFImage>();
    for (int I = 0; I < Colors; ++I)
        Image->GlobalColorMap()->Add(TColor(I | ((255 - I) << 8) | (((I * 7) & 255) << 16)));
    Image->Header().SetWidth(Width);
    Image->Header().SetHeight(Height);
    return Image;
}

TGIFSubImage *AddFrame(TGIFImage &Image, const TRect &Bounds, int Disposal, int Delay)
{
    auto *Frame = new TGIFSubImage(&Image);
    Image.Frames().Add(Frame);
    auto *Control = new TGIFGraphicControlExtension(Frame);
    Frame->Extensions().Add(Control);
    Control->SetDisposal(Disposal);
    Control->SetDelay(Delay);
    Frame->SetBoundsRect(Bounds);
    return Frame;
}

// Count frames of 16 x 16 pixels; frame K is frame K-1 with one more pixel
// changed (Every 1), the same as frame K-1 at every other frame (Every 2), or
// the same as frame 0 (Every 0).
std::unique_ptr<TGIFImage> ChangingAnimation(int Count, int Every)
{
    auto Image = NewImage(16, 16, 16);
    std::vector<uint8_t> Pixels(256);
    for (size_t I = 0; I < Pixels.size(); ++I)
        Pixels[I] = uint8_t(I % 16);
    for (int F = 0; F < Count; ++F) {
        if (Every > 0 && F > 0 && F % Every == 0)
            Pixels[size_t(F / Every) % 256] = uint8_t((Pixels[size_t(F / Every) % 256] + 1) % 16);
        TGIFSubImage *Frame = AddFrame(*Image, TRect(0, 0, 16, 16), 1, 5);
        for (int Y = 0; Y < 16; ++Y)
            std::copy_n(Pixels.data() + Y * 16, 16, Frame->RowData(Y));
    }
    return Image;
}

QByteArray Saved(TGIFImage &Image)
{
    TMemoryStream S;
    Image.SaveToStream(&S);
    return S.Bytes();
}

std::unique_ptr<TGIFImage> Loaded(const QByteArray &Bytes)
{
    auto Image = std::make_unique<TGIFImage>();
    TMemoryStream S;
    S.WriteBuffer(Bytes.constData(), Bytes.size());
    S.SetPosition(0);
    Image->LoadFromStream(&S);
    return Image;
}

struct Reader {
    const QByteArray *Bytes;
    qsizetype Pos = 0;
};

int ReadFromBytes(GifFileType *File, GifByteType *Out, int Length)
{
    auto *R = static_cast<Reader *>(File->UserData);
    const int N = int(std::min<qsizetype>(Length, R->Bytes->size() - R->Pos));
    std::memcpy(Out, R->Bytes->constData() + R->Pos, size_t(N));
    R->Pos += N;
    return N;
}

int WriteToVector(GifFileType *File, const GifByteType *Data, int Length)
{
    auto *Out = static_cast<std::vector<uint8_t> *>(File->UserData);
    Out->insert(Out->end(), Data, Data + Length);
    return Length;
}

// giflib reads the whole file into its model and writes it again.
double GiflibLoadSave(const QByteArray &Bytes)
{
    return Millis([&] {
        Reader R{&Bytes};
        int Error = 0;
        GifFileType *In = DGifOpen(&R, ReadFromBytes, &Error);
        DGifSlurp(In);
        std::vector<uint8_t> Out;
        GifFileType *OutFile = EGifOpen(&Out, WriteToVector, &Error);
        OutFile->SWidth = In->SWidth;
        OutFile->SHeight = In->SHeight;
        OutFile->SColorResolution = In->SColorResolution;
        OutFile->SBackGroundColor = In->SBackGroundColor;
        OutFile->SColorMap = GifMakeMapObject(In->SColorMap->ColorCount, In->SColorMap->Colors);
        for (int I = 0; I < In->ImageCount; ++I)
            GifMakeSavedImage(OutFile, &In->SavedImages[I]);
        EGifSpew(OutFile);
        DGifCloseFile(In, &Error);
    });
}

double OursLoadSave(const QByteArray &Bytes)
{
    return Millis([&] {
        auto Image = Loaded(Bytes);
        Saved(*Image);
    });
}

double BestOf3(const std::function<double()> &Run)
{
    double Result = 1e300;
    for (int I = 0; I < 3; ++I)
        Result = std::min(Result, Run());
    return Result;
}

} // namespace

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication App(argc, argv);
    const int Scale = argc > 1 ? std::max(1, std::atoi(argv[1])) : 1;
    using ImagePtr = std::unique_ptr<TGIFImage>;

    // The optimiser.
    for (int Every : {1, 0, 2}) {
        const int N = 2000 * Scale;
        double T[2];
        for (int K = 0; K < 2; ++K) {
            const int Count = K == 0 ? N : 4 * N;
            T[K] = Best<ImagePtr>([&] { return ChangingAnimation(Count, Every); },
                                  [](ImagePtr &I) { I->Optimize(optimizeAll, 0); });
        }
        Report(Every == 1   ? "optimise: 16x16 frames, one pixel changes"
               : Every == 0 ? "optimise: identical 16x16 frames"
                            : "optimise: 16x16 frames, each shown twice",
               N, T[0], T[1]);
    }

    // Colour reduction of noise (every pixel its own colour) and assigning it to a frame.
    for (int Case = 0; Case < 3; ++Case) {
        const int Side = 512 * Scale;
        double T[2];
        for (int K = 0; K < 2; ++K) {
            const int S = K == 0 ? Side : 2 * Side;
            QImage Noise(S, S, QImage::Format_RGB888);
            std::mt19937 Rng(3);
            for (int Y = 0; Y < S; ++Y) {
                uint8_t *Row = Noise.scanLine(Y);
                for (int X = 0; X < S * 3; ++X)
                    Row[X] = uint8_t(Rng());
            }
            TBitmap Bitmap;
            Bitmap.SetImage(Noise);
            T[K] = BestOf3([&] {
                return Millis([&] {
                    if (Case == 0)
                        ReduceBitmap(Bitmap, reduceOctree, ditherFloydSteinberg, {}, 8);
                    else if (Case == 1)
                        ReduceBitmap(Bitmap, reduceWeb216, ditherStucki, {}, 8);
                    else {
                        TGIFImage Image;
                        Image.Assign(&Bitmap);
                    }
                });
            });
        }
        Report(Case == 0   ? "reduce noise: octree, Floyd-Steinberg (N pixels)"
               : Case == 1 ? "reduce noise: web palette, Stucki (N pixels)"
                           : "assign noise to a GIF image (N pixels)",
               Side * Side, T[0], T[1]);
    }

    // Copying the frames of one animation into another, frame by frame.
    {
        const int N = 4000 * Scale;
        double T[2];
        for (int K = 0; K < 2; ++K) {
            const int Count = K == 0 ? N : 4 * N;
            auto Source = NewImage(4, 4, 16);
            for (int F = 0; F < Count; ++F) {
                TGIFSubImage *Frame = AddFrame(*Source, TRect(0, 0, 4, 4), 1, 5);
                for (int Y = 0; Y < 4; ++Y)
                    std::fill_n(Frame->RowData(Y), 4, uint8_t(F % 16));
            }
            T[K] = Best<ImagePtr>([] { return NewImage(4, 4, 16); }, [&](ImagePtr &Target) {
                for (int F = 0; F < Count; ++F)
                    Target->AddFrame(Source->Frames()[F]);
            });
        }
        Report("add frames of another animation one by one", N, T[0], T[1]);
    }

    // Many comment extensions before one frame.
    {
        const int N = 20000 * Scale;
        double T[2], P[2];
        for (int K = 0; K < 2; ++K) {
            const int Count = K == 0 ? N : 4 * N;
            auto Image = NewImage(4, 4, 4);
            TGIFSubImage *Frame = AddFrame(*Image, TRect(0, 0, 4, 4), 1, 0);
            for (int C = 0; C < Count; ++C) {
                auto *Comment = new TGIFCommentExtension(Frame);
                Comment->Text().Add(QStringLiteral("comment %1").arg(C));
                Frame->Extensions().Add(Comment);
            }
            const QByteArray Bytes = Saved(*Image);
            T[K] = BestOf3([&] { return OursLoadSave(Bytes); });
            P[K] = BestOf3([&] { return GiflibLoadSave(Bytes); });
        }
        Report("load+save: comment extensions on one frame", N, T[0], T[1], P[0], P[1]);
    }

    // The LZW coder at its extremes.
    for (bool Noise : {true, false}) {
        const int Side = 1024 * Scale;
        double T[2], P[2];
        for (int K = 0; K < 2; ++K) {
            const int S = K == 0 ? Side : 2 * Side;   // 4 x the pixels
            auto Image = NewImage(S, S, 256);
            TGIFSubImage *Frame = AddFrame(*Image, TRect(0, 0, S, S), 1, 0);
            std::mt19937 Rng(7);
            for (int Y = 0; Y < S; ++Y) {
                uint8_t *Row = Frame->RowData(Y);
                for (int X = 0; X < S; ++X)
                    Row[X] = Noise ? uint8_t(Rng()) : 3;
            }
            const QByteArray Bytes = Saved(*Image);
            T[K] = BestOf3([&] { return OursLoadSave(Bytes); });
            P[K] = BestOf3([&] { return GiflibLoadSave(Bytes); });
        }
        Report(Noise ? "load+save LZW: noise, N pixels (in millions)" : "load+save LZW: one colour, N pixels",
               Side * Side / 1000000, T[0], T[1], P[0], P[1]);
    }

    // A clear code before every pixel: the decoder starts its table afresh for each.
    {
        const int Side = 512 * Scale;
        double T[2], P[2];
        for (int K = 0; K < 2; ++K) {
            const int S = K == 0 ? Side : 2 * Side;
            auto Image = NewImage(S, S, 256);
            AddFrame(*Image, TRect(0, 0, 1, 1), 1, 0);
            QByteArray Bytes = Saved(*Image);
            // Everything after the frame's descriptor is replaced by the codes.
            const qsizetype Descriptor = Bytes.lastIndexOf(char(0x2C));
            Bytes.truncate(Descriptor);
            auto Le16 = [&Bytes](int V) {
                Bytes += char(V & 255);
                Bytes += char(V >> 8);
            };
            Bytes += char(0x2C);
            Le16(0);
            Le16(0);
            Le16(S);
            Le16(S);
            Bytes += char(0);
            Bytes += char(8);   // 8-bit codes: clear 256, end 257, 9 bits after a clear
            QByteArray Data;
            uint32_t Acc = 0;
            int Bits = 0;
            auto Put = [&](int Code) {
                Acc |= uint32_t(Code) << Bits;
                Bits += 9;
                while (Bits >= 8) {
                    Data += char(Acc & 255);
                    Acc >>= 8;
                    Bits -= 8;
                }
            };
            for (int I = 0; I < S * S; ++I) {
                Put(256);
                Put(I & 255);
            }
            Put(257);
            if (Bits > 0)
                Data += char(Acc & 255);
            for (qsizetype Pos = 0; Pos < Data.size(); Pos += 255) {
                const qsizetype Len = std::min<qsizetype>(255, Data.size() - Pos);
                Bytes += char(Len);
                Bytes += Data.mid(Pos, Len);
            }
            Bytes += char(0);
            Bytes += char(0x3B);
            T[K] = BestOf3([&] { return OursLoadSave(Bytes); });
            P[K] = BestOf3([&] { return GiflibLoadSave(Bytes); });
        }
        Report("load+save LZW: a clear code before each pixel", Side * Side, T[0], T[1], P[0], P[1]);
    }

    // Frames far outside a small screen.
    {
        const int N = 2000 * Scale;
        double T[2], D[2];
        for (int K = 0; K < 2; ++K) {
            const int Count = K == 0 ? N : 4 * N;
            auto Image = NewImage(16, 16, 16);
            for (int F = 0; F < Count; ++F) {
                TGIFSubImage *Frame = AddFrame(*Image, TRect(0, 0, 8, 8), 1, 0);
                Frame->SetLeft(60000 - (F % 100));
                Frame->SetTop(60000);
                for (int Y = 0; Y < 8; ++Y)
                    std::fill_n(Frame->RowData(Y), 8, uint8_t(F % 16));
            }
            const QByteArray Bytes = Saved(*Image);
            T[K] = BestOf3([&] { return OursLoadSave(Bytes); });
            auto Shown = Loaded(Bytes);
            Shown->SetDrawOptions(drawTransparent);
            TBitmap Target(64, 64);
            D[K] = BestOf3([&] {
                return Millis([&] {
                    for (int F = 0; F < Shown->Frames().Count(); ++F)
                        Shown->Frames()[F]->Draw(Target.Canvas(), TRect(0, 0, 64, 64), true, false);
                });
            });
        }
        Report("load+save: 8x8 frames far outside a 16x16 screen", N, T[0], T[1]);
        Report("draw each of those frames", N, D[0], D[1]);
    }

    // Painting an animation frame after frame.
    for (int Disposal : {1, 2}) {
        const int N = 500 * Scale;
        double T[2];
        for (int K = 0; K < 2; ++K) {
            const int Count = K == 0 ? N : 4 * N;
            T[K] = 1e300;
            for (int Run = 0; Run < 3; ++Run) {
                auto Image = NewImage(64, 64, 16);
                for (int F = 0; F < Count; ++F) {
                    TGIFSubImage *Frame = AddFrame(*Image, TRect(0, 0, 16, 16), Disposal, 2);
                    Frame->SetLeft((F * 5) % 48);
                    Frame->SetTop((F * 3) % 48);
                    for (int Y = 0; Y < 16; ++Y)
                        std::fill_n(Frame->RowData(Y), 16, uint8_t(F % 16));
                }
                Image->SetTiming(std::make_shared<NoWaitTiming>());
                Image->SetDrawOptions(drawAnimated | drawTransparent);
                int Done = 0;
                Image->OnFrameDone = [&Done](TObject *) { ++Done; };
                TBitmap Target(128, 128);
                T[K] = std::min(T[K], Millis([&] { Image->Draw(*Target.Canvas(), TRect(0, 0, 128, 128)); }));
                if (Done != Count)
                    std::printf("  (painted %d of %d frames)\n", Done, Count);
            }
        }
        Report(Disposal == 2 ? "paint: 16x16 frames, restore to background" : "paint: 16x16 frames, kept", N, T[0],
               T[1]);
    }
    return 0;
}
