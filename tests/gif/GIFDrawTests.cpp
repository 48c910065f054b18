// Drawing and animation: transparency, scaling, composited frames against
// gifsicle's unoptimised frames, the painter's timing rules (with a virtual
// clock), loops, stopping and the picture registry.

#include "GIFTestSupport.h"
#include "TestSupport.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <gtest/gtest.h>

#include <mutex>
#include <thread>

using namespace GIFTest;

namespace {

// A clock that moves only when the painter waits or sleeps. Waits on the
// event return at once (timed out) unless Blocking is set or the wait is
// endless; both then wait for the real event.
class FakeTiming : public TGIFTiming {
public:
    explicit FakeTiming(bool Blocking = false) : FBlocking(Blocking) {}
    uint32_t Now() override
    {
        std::lock_guard<std::mutex> G(FLock);
        return FNow;
    }
    void Sleep(int Ms) override
    {
        std::lock_guard<std::mutex> G(FLock);
        if (Ms > 0) {
            FSleeps.push_back(Ms);
            FNow += uint32_t(Ms);
        }
    }
    bool WaitFor(TGIFEvent &Event, int Ms) override
    {
        {
            std::lock_guard<std::mutex> G(FLock);
            FWaits.push_back(Ms);
        }
        if (Ms < 0 || FBlocking)
            return Event.Wait(-1);
        if (Event.Wait(0))
            return true;
        std::lock_guard<std::mutex> G(FLock);
        FNow += uint32_t(Ms);
        return false;
    }
    // Time that passes outside waits (slow painting).
    void Advance(int Ms)
    {
        std::lock_guard<std::mutex> G(FLock);
        FNow += uint32_t(Ms);
    }
    std::vector<int> Waits()
    {
        std::lock_guard<std::mutex> G(FLock);
        return FWaits;
    }
    std::vector<int> Sleeps()
    {
        std::lock_guard<std::mutex> G(FLock);
        return FSleeps;
    }

private:
    std::mutex FLock;
    bool FBlocking;
    uint32_t FNow = 1000;
    std::vector<int> FWaits, FSleeps;
};

// 4 x 4 frames over a grey 4-entry table (0, 85, 170, 255): frame I is all
// colour (I % 3) + 1 with the given delay.
QByteArray Animation(const std::vector<int> &Delays, int LoopCount = -1)
{
    Bytes B;
    B.Header(4, 4, 2);
    if (LoopCount >= 0)
        B.U8('!').U8(0xFF).U8(11).Raw("NETSCAPE2.0").U8(3).U8(1).U16(LoopCount).U8(0);
    for (size_t I = 0; I < Delays.size(); ++I) {
        if (Delays[I] >= 0)
            B.GCE(0x04, Delays[I], 0);
        B.Descriptor(0, 0, 4, 4).Pixels(2, std::vector<uint8_t>(16, uint8_t(I % 3 + 1)));
    }
    return B.Trailer();
}

TColor Grey(int Index)
{
    int G = Index * 85;
    return RGB(G, G, G);
}

// The application's event loop runs the painters' calls. A painter's thread
// may wait long for its turn on a busy machine: only a painter that never
// gets there (minutes) fails the wait.
void PumpUntil(const std::function<bool()> &Done)
{
    QElapsedTimer Clock;
    Clock.start();
    while (!Done() && Clock.elapsed() < 120000) {
        QCoreApplication::processEvents();
        std::this_thread::yield();
    }
    ASSERT_TRUE(Done());
}

struct Counts {
    int Start = 0, FrameStart = 0, FrameDone = 0, Loop = 0, End = 0;
};

void Count(TGIFImage &Image, Counts &C)
{
    Image.OnAnimationStart = [&C](TObject *) { ++C.Start; };
    Image.OnFrameStart = [&C](TObject *) { ++C.FrameStart; };
    Image.OnFrameDone = [&C](TObject *) { ++C.FrameDone; };
    Image.OnAnimationLoop = [&C](TObject *) { ++C.Loop; };
    Image.OnAnimationEnd = [&C](TObject *) { ++C.End; };
}

// Runs a threaded animation to its end with the fake clock and returns the waits.
std::vector<int> ThreadedWaits(const QByteArray &Gif, int Speed)
{
    Loaded L = Load(Gif);
    auto Timing = std::make_shared<FakeTiming>();
    L.Image->SetTiming(Timing);
    L.Image->SetAnimationSpeed(Speed);
    TBitmap Target(4, 4);
    L.Image->Draw(*Target.Canvas(), TRect(0, 0, 4, 4));
    PumpUntil([&] { return L.Image->PainterCount() == 0; });
    return Timing->Waits();
}

} // namespace

TEST(GIFDraw, StillFrameWithTransparencyAndScaling)
{
    // 3 x 2 frame at (1, 1) on a 4 x 3 screen; index 3 is transparent.
    QByteArray Gif = Bytes().Header(4, 3, 2).GCE(0x01, 0, 3).Descriptor(1, 1, 3, 2).Pixels(2, {0, 1, 3, 2, 3, 1})
                         .Trailer();
    Loaded L = Load(Gif);
    TBitmap Target(8, 6);
    Target.Canvas()->Brush()->SetColor(clRed);
    Target.Canvas()->FillRect(TRect(0, 0, 8, 6));
    Target.Canvas()->StretchDraw(TRect(0, 0, 8, 6), L.Image.get());
    EXPECT_EQ(L.Image->PainterCount(), 0);
    // Each picture pixel covers 2 x 2 target pixels; the frame starts at (2, 2).
    const std::vector<int> Want = {0, 1, -1, 2, -1, 1};
    TCanvas *C = Target.Canvas();
    for (int Y = 0; Y < 6; ++Y)
        for (int X = 0; X < 8; ++X) {
            TColor Expect = clRed;
            if (X >= 2 && Y >= 2) {
                int V = Want[size_t((Y - 2) / 2 * 3 + (X - 2) / 2)];
                if (V >= 0)
                    Expect = Grey(V);
            }
            EXPECT_EQ(C->Pixels(X, Y), Expect) << X << "," << Y;
        }
    // Without transparent drawing the transparent index shows its colour.
    L.Image->SetDrawOptions(L.Image->DrawOptions() & ~drawTransparent);
    L.Image->Draw(*C, TRect(0, 0, 8, 6));
    EXPECT_EQ(C->Pixels(6, 2), Grey(3));
}

TEST(GIFDraw, PixelValuesBeyondTheTableDrawBlack)
{
    // A 2-entry table, pixels 0..3.
    QByteArray Gif = Bytes().Header(4, 1, 1).Descriptor(0, 0, 4, 1).Pixels(2, {0, 1, 2, 3}).Trailer();
    Loaded L = Load(Gif);
    TBitmap Target(4, 1);
    L.Image->Draw(*Target.Canvas(), TRect(0, 0, 4, 1));
    EXPECT_EQ(Target.Canvas()->Pixels(1, 0), clWhite);
    EXPECT_EQ(Target.Canvas()->Pixels(2, 0), clBlack);
    EXPECT_EQ(Target.Canvas()->Pixels(3, 0), clBlack);
}

TEST(GIFDraw, WebPaletteOnAPalettedDisplay)
{
    SetGIFDisplayIsPaletted(true);
    Bytes B;
    B.Raw("GIF89a").U16(16).U16(16).U8(0x80).U8(0).U8(0);
    B.U8(51).U8(102).U8(153).U8(100).U8(100).U8(100);
    std::vector<uint8_t> Px(256, 1);
    for (int I = 0; I < 16; ++I)
        Px[size_t(I)] = 0;
    B.Descriptor(0, 0, 16, 16).Pixels(2, Px).Trailer();
    Loaded L = Load(B);
    EXPECT_EQ(L.Image->Frames()[0]->Bitmap().colorTable().mid(0, 216), GIFWebPalette());
    TBitmap Target(16, 16);
    L.Image->Draw(*Target.Canvas(), TRect(0, 0, 16, 16));
    SetGIFDisplayIsPaletted(false);
    // A web colour stays itself; grey 100 becomes a mix of 102 and its
    // neighbours that keeps the brightness.
    EXPECT_EQ(Target.Canvas()->Pixels(3, 0), RGB(51, 102, 153));
    int Sum = 0;
    for (int Y = 4; Y < 16; ++Y)
        for (int X = 0; X < 16; ++X) {
            TColor C = Target.Canvas()->Pixels(X, Y);
            EXPECT_EQ(GetRValue(C) % 51, 0);
            Sum += GetRValue(C);
        }
    EXPECT_NEAR(Sum / (12 * 16), 100, 6);
    // On a true-colour display the frame's own colours are used.
    Loaded M = Load(B);
    M.Image->Draw(*Target.Canvas(), TRect(0, 0, 16, 16));
    EXPECT_EQ(Target.Canvas()->Pixels(5, 9), RGB(100, 100, 100));
}

TEST(GIFDraw, CompositedFramesMatchGifsicle)
{
    if (!HaveTools())
        GTEST_SKIP() << "gifbuild/gifsicle missing";
    TestSupport::TempDir Dir;
    std::mt19937 Rng(99);
    std::vector<uint32_t> Map = RandomMap(Rng, 8);
    QStringList Args;
    // Moving blocks on a noisy background; gifsicle's optimiser turns the
    // frames into changed areas with transparency; frame 2 restores the
    // previous state when it is disposed of.
    std::vector<uint8_t> Back = RandomPixels(Rng, 30 * 20, 4);
    for (int I = 0; I < 5; ++I) {
        FrameInput F;
        F.Width = 30;
        F.Height = 20;
        F.Pixels = Back;
        for (int Y = 3 + I; Y < 9 + I; ++Y)
            for (int X = 2 + 4 * I; X < 9 + 4 * I; ++X)
                F.Pixels[size_t(Y * 30 + X)] = uint8_t(4 + I % 4);
        QString Name = Dir.File(QString("f%1.gif").arg(I));
        WriteFile(Name, BuildGif(30, 20, Map, {F}));
        Args << Name;
    }
    QString Opt = Dir.File("opt.gif");
    GIFTest::Run("gifsicle", QStringList{"-O2"} + Args + QStringList{"-o", Opt});
    QString Full = Dir.File("full.gif");
    GIFTest::Run("gifsicle", {"--unoptimize", Opt, "-o", Full});
    std::vector<ToolFrame> Want = DumpFrames(Full);
    ASSERT_EQ(Want.size(), 5u);

    Loaded L = Load(ReadFile(Opt));
    ASSERT_EQ(L.Image->Frames().Count(), 5);
    EXPECT_GT(L.Image->Frames()[2]->Width() * L.Image->Frames()[2]->Height(), 0);
    EXPECT_LT(L.Image->Frames()[2]->Width(), 30) << "the optimiser should have cut the frame";
    L.Image->SetTiming(std::make_shared<FakeTiming>());
    L.Image->SetDrawOptions(drawAnimated | drawTransparent | drawUnbuffered);
    TBitmap Target(30, 20);
    std::vector<QImage> Shots;
    L.Image->OnFrameDone = [&](TObject *) { Shots.push_back(Target.Image().copy()); };
    L.Image->Draw(*Target.Canvas(), TRect(0, 0, 30, 20));
    ASSERT_EQ(Shots.size(), 5u);
    for (size_t F = 0; F < 5; ++F) {
        int Bad = 0;
        for (int Y = 0; Y < 20; ++Y)
            for (int X = 0; X < 30; ++X) {
                uint32_t C = Map[Want[F].Pixels[size_t(Y * 30 + X)]];
                if ((Shots[F].pixel(X, Y) & 0xFFFFFF) != C)
                    ++Bad;
            }
        EXPECT_EQ(Bad, 0) << "frame " << F;
    }
}

TEST(GIFDraw, DisposalRestoresBackgroundAndPreviousState)
{
    // Screen 4 x 1, background index 0.
    // Frame 0: whole screen colour 1, then restore to background (2).
    // Frame 1: pixel 0 colour 2, then restore previous (3).
    // Frame 2: pixel 3 colour 3.
    QByteArray Gif = Bytes().Header(4, 1, 2)
                         .GCE(2 << 2, 1, 0).Descriptor(0, 0, 4, 1).Pixels(2, {1, 1, 1, 1})
                         .GCE(3 << 2, 1, 0).Descriptor(0, 0, 1, 1).Pixels(2, {2})
                         .GCE(1 << 2, 1, 0).Descriptor(3, 0, 1, 1).Pixels(2, {3})
                         .Trailer();
    Loaded L = Load(Gif);
    L.Image->SetTiming(std::make_shared<FakeTiming>());
    L.Image->SetDrawOptions(drawAnimated | drawUnbuffered);
    TBitmap Target(4, 1);
    std::vector<std::vector<TColor>> Shots;
    L.Image->OnFrameDone = [&](TObject *) {
        std::vector<TColor> Row;
        for (int X = 0; X < 4; ++X)
            Row.push_back(Target.Canvas()->Pixels(X, 0));
        Shots.push_back(Row);
    };
    L.Image->Draw(*Target.Canvas(), TRect(0, 0, 4, 1));
    ASSERT_EQ(Shots.size(), 3u);
    EXPECT_EQ(Shots[0], std::vector<TColor>(4, Grey(1)));
    // Frame 0 was cleared to the background colour before frame 1.
    EXPECT_EQ(Shots[1], (std::vector<TColor>{Grey(2), Grey(0), Grey(0), Grey(0)}));
    // Frame 1 was taken away again.
    EXPECT_EQ(Shots[2], (std::vector<TColor>{Grey(0), Grey(0), Grey(0), Grey(3)}));
}

TEST(GIFAnimate, OneFrameNeverStartsAPainter)
{
    Loaded L = Load(Animation({5}));
    Counts C;
    Count(*L.Image, C);
    TBitmap Target(4, 4);
    L.Image->Draw(*Target.Canvas(), TRect(0, 0, 4, 4));
    EXPECT_EQ(L.Image->PainterCount(), 0);
    EXPECT_EQ(C.Start, 0);
    EXPECT_EQ(Target.Canvas()->Pixels(0, 0), Grey(1));
}

TEST(GIFAnimate, ThreadedPainterStartsAndDrawReturnsAfterTheFirstFrame)
{
    Loaded L = Load(Animation({10, 10, 10}));
    EXPECT_EQ(L.Image->DrawOptions(), 0x060F);
    auto Timing = std::make_shared<FakeTiming>(true);   // waits until stopped
    L.Image->SetTiming(Timing);
    Counts C;
    Count(*L.Image, C);
    TBitmap Target(4, 4);
    L.Image->Draw(*Target.Canvas(), TRect(0, 0, 4, 4));
    ASSERT_NE(L.Image->Painter(), nullptr);
    EXPECT_TRUE(L.Image->Painter()->Threaded());
    EXPECT_TRUE(L.Image->Painter()->FirstFramePainted());
    EXPECT_EQ(Target.Canvas()->Pixels(2, 2), Grey(1));
    ASSERT_NE(L.Image->PainterBuffer(), nullptr);

    // A second Draw on the same target while the painter runs shows the buffer only.
    TGIFPainter *First = L.Image->Painter();
    L.Image->Draw(*Target.Canvas(), TRect(0, 0, 4, 4));
    EXPECT_EQ(L.Image->Painter(), First);
    EXPECT_EQ(L.Image->PainterCount(), 1);

    // Destroying the image ends the waiting painter first.
    L.Image.reset();
    EXPECT_EQ(C.End, 1);
    EXPECT_EQ(C.Start, 1);
}

TEST(GIFAnimate, SecondDrawOnTheSameUnbufferedTargetDoesNothing)
{
    Loaded L = Load(Animation({10, 10}));
    L.Image->SetTiming(std::make_shared<FakeTiming>(true));
    L.Image->SetDrawOptions(L.Image->DrawOptions() | drawUnbuffered);
    Counts C;
    Count(*L.Image, C);
    TBitmap Target(4, 4);
    L.Image->Draw(*Target.Canvas(), TRect(0, 0, 4, 4));
    PumpUntil([&] { return C.FrameDone >= 1; });
    TGIFPainter *First = L.Image->Painter();
    ASSERT_NE(First, nullptr);
    L.Image->Draw(*Target.Canvas(), TRect(0, 0, 4, 4));
    EXPECT_EQ(L.Image->Painter(), First);
    EXPECT_EQ(C.Start, 1);
    // Another rectangle replaces the painter.
    L.Image->Draw(*Target.Canvas(), TRect(0, 0, 2, 2));
    PumpUntil([&] { return C.Start == 2; });
    EXPECT_EQ(C.End, 1);
    L.Image->StopDraw();
    EXPECT_EQ(L.Image->PainterCount(), 0);
    EXPECT_EQ(C.End, 2);
}

TEST(GIFAnimate, ThreadedWaitsFollowTheDelays)
{
    // Delay 0 and no extension wait 120 ms, 1 and 2 wait 36, 5000 waits 60000.
    EXPECT_EQ(ThreadedWaits(Animation({0, 1, 5000, 2, -1, 7}), 100),
              (std::vector<int>{120, 36, 60000, 36, 120}));
    // Speed 200 halves them.
    EXPECT_EQ(ThreadedWaits(Animation({0, 1, 5000, 2}), 200), (std::vector<int>{60, 18, 30000}));
}

TEST(GIFAnimate, UnthreadedWaitsAreSleptInSteps)
{
    Loaded L = Load(Animation({0, 1, 5000, 2}));
    auto Timing = std::make_shared<FakeTiming>();
    L.Image->SetTiming(Timing);
    L.Image->SetDrawOptions(L.Image->DrawOptions() & ~drawThreaded);
    Counts C;
    Count(*L.Image, C);
    TBitmap Target(4, 4);
    L.Image->Draw(*Target.Canvas(), TRect(0, 0, 4, 4));
    EXPECT_EQ(L.Image->PainterCount(), 0);
    EXPECT_EQ(C.FrameDone, 4);
    EXPECT_EQ(C.End, 1);
    std::vector<int> Sleeps = Timing->Sleeps();
    // 12 before the first frame, then 120, 36 and 12000 (5000 is cut to 1000
    // units), in steps of at most 100 ms.
    int Total = 0;
    for (int S : Sleeps) {
        EXPECT_LE(S, 100);
        Total += S;
    }
    EXPECT_EQ(Total, 12 + 120 + 36 + 12000);
    ASSERT_GE(Sleeps.size(), 4u);
    EXPECT_EQ(std::vector<int>(Sleeps.begin(), Sleeps.begin() + 4), (std::vector<int>{12, 100, 20, 36}));
    // The last picture stays in the buffer and is drawn.
    EXPECT_EQ(Target.Canvas()->Pixels(1, 1), Grey(1));
}

TEST(GIFAnimate, SpeedZeroWaitsUntilSignalled)
{
    Loaded L = Load(Animation({5, 5}));
    auto Timing = std::make_shared<FakeTiming>();
    L.Image->SetTiming(Timing);
    L.Image->SetAnimationSpeed(0);
    TBitmap Target(4, 4);
    L.Image->Draw(*Target.Canvas(), TRect(0, 0, 4, 4));
    PumpUntil([&] { return !Timing->Waits().empty(); });
    EXPECT_EQ(Timing->Waits(), std::vector<int>{-1});
    EXPECT_EQ(L.Image->PainterCount(), 1);
    L.Image->StopDraw();
    EXPECT_EQ(L.Image->PainterCount(), 0);
    EXPECT_EQ(L.Image->PainterBuffer(), nullptr);
}

TEST(GIFAnimate, LoopCounts)
{
    // Count 0 loops for ever when threaded.
    {
        Loaded L = Load(Animation({3, 3}, 0));
        L.Image->SetTiming(std::make_shared<FakeTiming>());
        Counts C;
        Count(*L.Image, C);
        TBitmap Target(4, 4);
        L.Image->Draw(*Target.Canvas(), TRect(0, 0, 4, 4));
        PumpUntil([&] { return C.Loop >= 3; });
        L.Image->StopDraw();
        EXPECT_EQ(C.End, 1);
    }
    // ... and plays once when not.
    {
        Loaded L = Load(Animation({3, 3}, 0));
        L.Image->SetTiming(std::make_shared<FakeTiming>());
        L.Image->SetDrawOptions(L.Image->DrawOptions() & ~drawThreaded);
        Counts C;
        Count(*L.Image, C);
        TBitmap Target(4, 4);
        L.Image->Draw(*Target.Canvas(), TRect(0, 0, 4, 4));
        EXPECT_EQ(C.Loop, 0);
        EXPECT_EQ(C.FrameDone, 2);
    }
    // Count 2 gives two passes in all.
    {
        Loaded L = Load(Animation({3, 3, 3}, 2));
        L.Image->SetTiming(std::make_shared<FakeTiming>());
        Counts C;
        Count(*L.Image, C);
        TBitmap Target(4, 4);
        L.Image->Draw(*Target.Canvas(), TRect(0, 0, 4, 4));
        PumpUntil([&] { return L.Image->PainterCount() == 0; });
        EXPECT_EQ(C.FrameStart, 6);
        EXPECT_EQ(C.Loop, 1);
        EXPECT_EQ(C.End, 1);
    }
    // Without a loop extension one pass is played.
    {
        Loaded L = Load(Animation({3, 3}));
        L.Image->SetTiming(std::make_shared<FakeTiming>());
        Counts C;
        Count(*L.Image, C);
        TBitmap Target(4, 4);
        L.Image->Draw(*Target.Canvas(), TRect(0, 0, 4, 4));
        PumpUntil([&] { return L.Image->PainterCount() == 0; });
        EXPECT_EQ(C.FrameStart, 2);
        EXPECT_EQ(C.Loop, 0);
    }
}

TEST(GIFAnimate, FrameBitmapsWhilePaintersRun)
{
    // The main thread rebuilds frame pictures while a painter builds and uses them.
    Loaded L = Load(Animation({3, 3, 3, 3}, 0));
    L.Image->SetTiming(std::make_shared<FakeTiming>());
    Counts C;
    Count(*L.Image, C);
    TBitmap Target(4, 4);
    L.Image->Draw(*Target.Canvas(), TRect(0, 0, 4, 4));
    for (int I = 0; I < 300; ++I) {
        TGIFSubImage *F = L.Image->Frames()[I % 4];
        F->FreeBitmap();
        EXPECT_EQ(F->Bitmap().width(), 4);
        GIFRunPainterCalls();
    }
    // The painter's thread may not have had a turn yet on a busy machine.
    PumpUntil([&] { return C.FrameDone > 0; });
    L.Image->StopDraw();
}

TEST(GIFPicture, RegisteredForGifFiles)
{
    TestSupport::TempDir Dir;
    QString File = Dir.File("p.GIF");
    WriteFile(File, Animation({5}));
    TPicture Picture;
    Picture.LoadFromFile(File);
    ASSERT_NE(Picture.Graphic(), nullptr);
    EXPECT_EQ(Picture.Graphic()->ClassName(), "TGIFImage");
    EXPECT_EQ(Picture.Width(), 4);
    EXPECT_TRUE(TPicture::GraphicFilter().contains("GIF Image"));
    // A damaged file fails with the library's error and leaves the picture as it was.
    QString Bad = Dir.File("bad.gif");
    WriteFile(Bad, "GIF89a");
    EXPECT_THROW(Picture.LoadFromFile(Bad), EInvalidGraphic);
    EXPECT_EQ(Picture.Width(), 4);
}

TEST(GIFAnimate, StoppedOrFreedFromItsOwnEvent)
{
    // Stopping from an event of the painter does not wait for the painter.
    {
        Loaded L = Load(Animation({3, 3}, 0));
        L.Image->SetTiming(std::make_shared<FakeTiming>());
        TGIFImage *Image = L.Image.get();
        int Ends = 0;
        L.Image->OnAnimationEnd = [&](TObject *) { ++Ends; };
        L.Image->OnFrameDone = [Image](TObject *) { Image->StopDraw(); };
        TBitmap Target(4, 4);
        L.Image->Draw(*Target.Canvas(), TRect(0, 0, 4, 4));
        PumpUntil([&] { return Image->PainterCount() == 0; });
        EXPECT_EQ(Ends, 1);
    }
    // Freeing the image from an event of its threaded painter.
    {
        Loaded L = Load(Animation({3, 3}, 0));
        L.Image->SetTiming(std::make_shared<FakeTiming>());
        std::unique_ptr<TGIFImage> Image = std::move(L.Image);
        int Ends = 0, Done = 0;
        Image->OnAnimationEnd = [&](TObject *) { ++Ends; };
        Image->OnFrameDone = [&](TObject *) {
            if (++Done == 3)
                Image.reset();
        };
        TBitmap Target(4, 4);
        Image->Draw(*Target.Canvas(), TRect(0, 0, 4, 4));
        PumpUntil([&] { return Ends == 1 && TGIFPainter::InstanceCount() == 0; });
        EXPECT_EQ(Image, nullptr);
    }
    // Freed from each of its painter's events while Draw, or StopDraw, waits
    // for that painter, threaded and not, round after round: nothing of the
    // freed image is touched afterwards (the sanitizers see it) and every
    // painter ends. The first frame's events run inside Draw's wait, the
    // end's inside StopDraw's; the painter thread races Draw to post the
    // first OnFrameDone, so that round is repeated most.
    enum Event { AnimationStart, FrameStart, FrameDone, AnimationEnd };
    auto Round = [](Event FreedIn, bool Threaded) {
        Loaded L = Load(Animation({3, 3}, 0));
        // At the end's round the painter waits after its first frame until stopped.
        L.Image->SetTiming(std::make_shared<FakeTiming>(FreedIn == AnimationEnd));
        if (!Threaded)
            L.Image->SetDrawOptions(L.Image->DrawOptions() & ~drawThreaded);
        std::unique_ptr<TGIFImage> Image = std::move(L.Image);
        int Ends = 0;
        auto Free = [&Image](TObject *) { Image.reset(); };
        Image->OnAnimationEnd = [&](TObject *Sender) {
            ++Ends;
            if (FreedIn == AnimationEnd)
                Free(Sender);
        };
        if (FreedIn == AnimationStart)
            Image->OnAnimationStart = Free;
        if (FreedIn == FrameStart)
            Image->OnFrameStart = Free;
        if (FreedIn == FrameDone)
            Image->OnFrameDone = Free;
        TBitmap Target(4, 4);
        Image->Draw(*Target.Canvas(), TRect(0, 0, 4, 4));
        if (FreedIn == AnimationEnd && Image)
            Image->StopDraw();
        PumpUntil([&] { return Ends == 1 && TGIFPainter::InstanceCount() == 0; });
        EXPECT_EQ(Image, nullptr);
    };
    for (bool Threaded : {true, false})
        for (Event FreedIn : {AnimationStart, FrameStart, FrameDone, AnimationEnd})
            for (int I = 0; I < (Threaded && FreedIn == FrameDone ? 200 : 20); ++I) {
                SCOPED_TRACE(testing::Message() << "event " << int(FreedIn) << (Threaded ? " threaded" : "")
                                                << ", round " << I);
                Round(FreedIn, Threaded);
                if (testing::Test::HasFailure())
                    return;
            }
}

TEST(GIFAnimate, FreedWhileALoadOrCopyStopsItsPainter)
{
    // A load or copy into an animating image first stops its painter, and
    // the painter's end event, run in that wait, frees the image: the load
    // or copy then does nothing more (it reads no byte of its stream, writes
    // no byte) and touches nothing of the freed image (the sanitizers see
    // it); every painter ends. Only a threaded painter's events wait to be
    // run by a stop: an unthreaded one runs its events inside Draw, and a
    // stop from one of them does not wait.
    TestSupport::TempDir Dir;
    const QString File = Dir.File("next.gif");
    WriteFile(File, Animation({5}));
    TMemoryStream Stream;
    Stream.WriteBytes(Animation({5}));
    Loaded Other = Load(Animation({5, 5, 5}));
    TBitmap Picture(3, 2);
    TMemoryStream PictureBytes;
    Picture.SaveToStream(&PictureBytes);
    struct Call {
        const char *Name;
        std::function<void(TGIFImage &)> Run;
    };
    const std::vector<Call> Calls = {
        {"LoadFromStream",
         [&](TGIFImage &Image) {
             Stream.SetPosition(0);
             Image.LoadFromStream(&Stream);
             EXPECT_EQ(Stream.Position(), 0);
         }},
        {"LoadFromFile", [&](TGIFImage &Image) { Image.LoadFromFile(File); }},
        {"LoadFromClipboardFormat GIF",
         [&](TGIFImage &Image) { Image.LoadFromClipboardFormat(QString::fromLatin1(CF_GIF), Stream.Bytes()); }},
        {"LoadFromClipboardFormat bitmap",
         [&](TGIFImage &Image) {
             Image.LoadFromClipboardFormat(QString::fromLatin1(CF_BITMAP), PictureBytes.Bytes());
         }},
        {"Assign image", [&](TGIFImage &Image) { Image.Assign(Other.Image.get()); }},
        {"Assign bitmap", [&](TGIFImage &Image) { Image.Assign(&Picture); }},
        {"Assign nothing", [&](TGIFImage &Image) { Image.Assign(nullptr); }},
        {"WriteData optimising",
         [&](TGIFImage &Image) {
             struct Restore {
                 bool Was = OptimizeOnWriteData;
                 ~Restore() { OptimizeOnWriteData = Was; }
             } Restored;
             OptimizeOnWriteData = true;
             TMemoryStream Out;
             Image.WriteData(&Out);
             EXPECT_EQ(Out.Size(), 0);
         }},
    };
    for (const Call &C : Calls)
        for (int I = 0; I < 5; ++I) {
            SCOPED_TRACE(testing::Message() << C.Name << ", round " << I);
            Loaded L = Load(Animation({3, 3}, 0));
            // The painter waits after its first frame until it is stopped.
            L.Image->SetTiming(std::make_shared<FakeTiming>(true));
            std::unique_ptr<TGIFImage> Image = std::move(L.Image);
            int Ends = 0;
            Image->OnAnimationEnd = [&](TObject *) {
                ++Ends;
                Image.reset();
            };
            TBitmap Target(4, 4);
            Image->Draw(*Target.Canvas(), TRect(0, 0, 4, 4));
            ASSERT_EQ(Image->PainterCount(), 1);
            C.Run(*Image);
            EXPECT_EQ(Image, nullptr);
            EXPECT_EQ(Ends, 1);
            PumpUntil([] { return TGIFPainter::InstanceCount() == 0; });
            if (testing::Test::HasFailure())
                return;
        }
}

TEST(GIFRead, ProgressAndImageSizeLimit)
{
    Loaded L = Load(Animation({1, 1}));
    std::vector<std::pair<int, int>> Stages;
    QStringList Texts;
    L.Image->OnProgress = [&](TObject *, TProgressStage Stage, quint8 Percent, bool, const TRect &,
                              const QString &Msg) {
        Stages.push_back({int(Stage), int(Percent)});
        Texts.append(Msg);
    };
    TMemoryStream S;
    S.WriteBytes(Animation({1, 1}));
    S.SetPosition(0);
    L.Image->LoadFromStream(&S);
    ASSERT_GE(Stages.size(), 4u);
    EXPECT_EQ(Stages.front(), std::make_pair(int(psStarting), 0));
    EXPECT_EQ(Stages[1].first, int(psRunning));
    EXPECT_EQ(Stages.back(), std::make_pair(int(psEnding), 100));
    EXPECT_EQ(Texts.front(), "Loading...");
    // A failed load ends with 0 %.
    TMemoryStream Bad;
    Bad.WriteBytes("GIF89");
    Bad.SetPosition(0);
    EXPECT_THROW(L.Image->LoadFromStream(&Bad), GIFException);
    EXPECT_EQ(Stages.back(), std::make_pair(int(psEnding), 0));

    // Frames together may not exceed the image limit.
    Bytes D;
    D.Header(8192, 8192, 1);
    for (int I = 0; I < 3; ++I)
        D.Descriptor(0, 0, 8192, 8192).Pixels(2, {1});
    // Enough bytes behind them that their data could fill them.
    EXPECT_EQ(LoadError(D.Trailer().Raw(QByteArray(40000, '\0'))), "Invalid image dimensions");
}

TEST(GIFAnimate, HalfOfAnOverrunIsTakenOffTheNextWait)
{
    // Painting each frame takes 40 ms: every wait of 120 ms becomes 100.
    Loaded L = Load(Animation({10, 10, 10, 10}));
    auto Timing = std::make_shared<FakeTiming>();
    L.Image->SetTiming(Timing);
    L.Image->OnFrameStart = [&](TObject *) { Timing->Advance(40); };
    TBitmap Target(4, 4);
    L.Image->Draw(*Target.Canvas(), TRect(0, 0, 4, 4));
    PumpUntil([&] { return L.Image->PainterCount() == 0; });
    EXPECT_EQ(Timing->Waits(), (std::vector<int>{100, 100, 100}));
}

TEST(GIFDraw, TiledStillFrame)
{
    // A 2 x 1 picture tiled over 5 x 2 pixels.
    Loaded L = Load(Bytes().Header(2, 1, 2).Descriptor(0, 0, 2, 1).Pixels(2, {1, 3}).Trailer());
    L.Image->SetDrawOptions(L.Image->DrawOptions() | drawTiled);
    TBitmap Target(6, 2);
    Target.Canvas()->Brush()->SetColor(clRed);
    Target.Canvas()->FillRect(TRect(0, 0, 6, 2));
    L.Image->Draw(*Target.Canvas(), TRect(0, 0, 5, 2));
    for (int Y = 0; Y < 2; ++Y) {
        for (int X = 0; X < 5; ++X)
            EXPECT_EQ(Target.Canvas()->Pixels(X, Y), Grey(X % 2 ? 3 : 1)) << X << "," << Y;
        EXPECT_EQ(Target.Canvas()->Pixels(5, Y), clRed) << "tiles stay inside the rectangle";
    }
}
