// The animation painter: timing, loops and disposal of GIF frames.

#include "GIFPainter.h"
#include "GIFImage.h"
#include "detail/GIFCanvas.h"
#include "platform/core/SysUtils.h"

#include <QCoreApplication>
#include <chrono>
#include <deque>
#include <thread>

using namespace gifdetail;

// ------------------------------------------------------------ event, timing

void TGIFEvent::Signal()
{
    {
        std::lock_guard<std::mutex> Guard(FLock);
        FSignalled = true;
    }
    FCond.notify_one();
}

bool TGIFEvent::Wait(int TimeoutMs)
{
    std::unique_lock<std::mutex> Guard(FLock);
    if (TimeoutMs < 0)
        FCond.wait(Guard, [this] { return FSignalled; });
    else if (!FCond.wait_for(Guard, std::chrono::milliseconds(TimeoutMs), [this] { return FSignalled; }))
        return false;
    FSignalled = false;
    return true;
}

uint32_t TGIFTiming::Now()
{
    using namespace std::chrono;
    return uint32_t(duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}

void TGIFTiming::Sleep(int Ms)
{
    if (Ms <= 0)
        std::this_thread::yield();
    else
        std::this_thread::sleep_for(std::chrono::milliseconds(Ms));
}

bool TGIFTiming::WaitFor(TGIFEvent &Event, int Ms)
{
    return Event.Wait(Ms);
}

std::shared_ptr<TGIFTiming> TGIFTiming::Default()
{
    static std::shared_ptr<TGIFTiming> Timing = std::make_shared<TGIFTiming>();
    return Timing;
}

namespace {

struct TMainCall {
    const TGIFImage *Owner;
    uint64_t Number;   // the order of posting
    std::function<void()> Fn;
};

struct TMainCalls {
    std::mutex Lock;
    std::deque<TMainCall> Calls;
    uint64_t Posted = 0;
    bool WakePosted = false;
};

// Never destroyed: a painter's thread may still hand over its end while the
// program ends.
TMainCalls &MainCalls()
{
    static TMainCalls *const Calls = new TMainCalls;
    return *Calls;
}

uint64_t PostedSoFar()
{
    TMainCalls &Q = MainCalls();
    std::lock_guard<std::mutex> Guard(Q.Lock);
    return Q.Posted;
}

// The first waiting call of Owner (of any image when null) among the first
// Before calls ever posted.
bool TakeCall(const TGIFImage *Owner, uint64_t Before, std::function<void()> &Fn)
{
    TMainCalls &Q = MainCalls();
    std::lock_guard<std::mutex> Guard(Q.Lock);
    for (auto It = Q.Calls.begin(); It != Q.Calls.end() && It->Number < Before; ++It)
        if (!Owner || It->Owner == Owner) {
            Fn = std::move(It->Fn);
            Q.Calls.erase(It);
            return true;
        }
    return false;
}

// Only the calls already waiting: a painter that posts its next call while
// one runs cannot keep the caller here, and the caller looks at what each
// call changed (the image may be gone) before it runs another.
bool RunCalls(const TGIFImage *Owner, const std::function<bool()> &Lives)
{
    const uint64_t Before = PostedSoFar();
    std::function<void()> Fn;
    while (TakeCall(Owner, Before, Fn)) {
        Fn();
        Fn = nullptr;
        if (Lives && !Lives())
            return false;
    }
    return true;
}

// Queues Fn for the main thread; its event loop is woken to run the queue.
void PostToMainThread(const TGIFImage *Owner, std::function<void()> Fn)
{
    TMainCalls &Q = MainCalls();
    bool Wake = false;
    {
        std::lock_guard<std::mutex> Guard(Q.Lock);
        Q.Calls.push_back(TMainCall{Owner, Q.Posted++, std::move(Fn)});
        Wake = !std::exchange(Q.WakePosted, true);
    }
    if (!Wake)
        return;
    if (QCoreApplication *App = QCoreApplication::instance()) {
        QMetaObject::invokeMethod(
            App,
            [] {
                {
                    TMainCalls &Q = MainCalls();
                    std::lock_guard<std::mutex> Guard(Q.Lock);
                    Q.WakePosted = false;
                }
                RunCalls(nullptr, {});
            },
            Qt::QueuedConnection);
    }
}

} // namespace

void GIFSynchronize(const TGIFImage *Owner, const std::function<void()> &Fn)
{
    if (IsMainThread() || !QCoreApplication::instance()) {
        Fn();
        return;
    }
    // The caller waits on a mutex and condition variable (not a future), so
    // everything the call did is visible to it afterwards.
    struct Completion {
        std::mutex Lock;
        std::condition_variable Cond;
        bool Done = false;
        std::exception_ptr Error;
    } State;
    PostToMainThread(Owner, [&Fn, &State] {
        std::exception_ptr Error;
        try {
            Fn();
        } catch (...) {
            Error = std::current_exception();
        }
        std::lock_guard<std::mutex> Guard(State.Lock);
        State.Error = Error;
        State.Done = true;
        State.Cond.notify_one();
    });
    std::unique_lock<std::mutex> Guard(State.Lock);
    State.Cond.wait(Guard, [&State] { return State.Done; });
    if (State.Error)
        std::rethrow_exception(State.Error);
}

bool GIFRunPainterCalls(const TGIFImage *Owner, const std::function<bool()> &Lives)
{
    if (IsMainThread() && !RunCalls(Owner, Lives))
        return false;
    std::this_thread::yield();
    return true;
}

// ------------------------------------------------------------ TGIFPainter

static std::atomic<int> PainterInstances{0};

int TGIFPainter::InstanceCount()
{
    return PainterInstances;
}

TGIFPainter::TGIFPainter(TGIFImage *Image, TCanvas *Canvas, const TRect &Rect, uint16_t Options)
    : FImage(Image), FOwner(Image), FCanvas(Canvas), FRect(Rect), FDrawOptions(Options),
      FAnimationSpeed(Image->AnimationSpeed()), FTiming(Image->Timing())
{
    if (!FTiming)
        FTiming = TGIFTiming::Default();
    const int FrameCount = Image->Frames().Count();
    if ((Options & drawThreaded) && (Options & drawAnimated) && FrameCount >= 2 && FAnimationSpeed >= 0)
        FEvent = std::make_unique<TGIFEvent>();

    if (Image->BackgroundColor() != GIFNoBackgroundColor)
        FBackgroundColor = Image->BackgroundColor();
    else if (Image->GlobalColorMap()->Count() == 0)
        FBackgroundColor = ColorToRGB(clWindow);
    else
        FBackgroundColor = Image->Header().BackgroundColor();

    bool Used[8] = {};
    for (int I = 0; I < FrameCount; ++I) {
        TGIFGraphicControlExtension *GCE = Image->Frames()[I]->GraphicControlExtension();
        Used[GCE ? GCE->Disposal() : 0] = true;
    }
    if (Options & drawClearEachPass)
        Used[2] = true;

    const int W = Rect.Right - Rect.Left;
    const int H = Rect.Bottom - Rect.Top;
    if (Used[2] && (Options & drawTransparent)) {
        FBackground = MakeBitmap(W, H, FBackgroundColor);
        CopyCanvasRect(FBackground->Canvas(), TRect(0, 0, W, H), Canvas, Rect);
    }
    if (Used[2] || Used[3]) {
        FBuffer = MakeBitmap(W, H, FBackgroundColor);
        FBackup = MakeBitmap(W, H, FBackgroundColor);
        CopyCanvasRect(FBuffer->Canvas(), TRect(0, 0, W, H), Canvas, Rect);
    }
    ++PainterInstances;
}

TGIFPainter::~TGIFPainter()
{
    --PainterInstances;
}

bool TGIFPainter::Threaded() const
{
    return FDrawOptions & drawThreaded;
}

void TGIFPainter::Start()
{
    FThread = std::thread([this] {
        try {
            Execute();
        } catch (...) {
            // A painter that fails ends like one that was stopped.
        }
        FTerminated = true;
        // The main thread removes the painter from its image, waits for this
        // thread to be gone and frees the painter; the thread touches nothing
        // after posting that.
        PostToMainThread(FOwner, [this] {
            DoTerminate();
            if (FThread.joinable())
                FThread.join();
            delete this;
        });
    });
}

void TGIFPainter::Run()
{
    try {
        Execute();
    } catch (...) {
        DoTerminate();
        delete this;
        throw;
    }
    DoTerminate();
    delete this;
}

void TGIFPainter::Stop()
{
    FTerminated = true;
    if (FEvent)
        FEvent->Signal();
}

void TGIFPainter::Restart()
{
    FRestart = true;
    if (FEvent)
        FEvent->Signal();
}

void TGIFPainter::DoTerminate()
{
    FFinished = true;
    if (FImage)
        FImage->PainterEnded(this);
    FBuffer.reset();
    FBackup.reset();
    FBackground.reset();
}

void TGIFPainter::Synchronize(const std::function<void()> &Fn)
{
    // While the call runs, whoever stops the painter from inside it must not
    // wait for the painter to end: it cannot end before the call returns.
    auto Call = [this, &Fn] {
        FInCallback = true;
        try {
            Fn();
        } catch (...) {
            FInCallback = false;
            throw;
        }
        FInCallback = false;
    };
    if (Threaded())
        GIFSynchronize(FOwner, Call);
    else
        Call();
}

void TGIFPainter::DoEvent(const std::function<void(TObject *)> &Event)
{
    if (Event)
        Synchronize([this, &Event] { Event(this); });
}

void TGIFPainter::Execute()
{
    const bool IsThreaded = Threaded();
    if (FDrawOptions & drawCheckCanvas)
        FCanvasHandle = CanvasHandle(FCanvas);
    FRestart = true;
    while (FRestart && !FTerminated) {
        FActiveImage = 0;
        DoEvent(OnAnimationStart);
        FStarted = false;
        FRestart = false;

        int LoopCount = 1;
        int LoopPoint = 0;
        bool LoopFound = false;
        int Delay = IsThreaded ? 0 : 1;
        FPreviousDisposal = 1;
        uint32_t OldTime = FTiming->Now();
        int Lag = 0;

        while ((LoopCount != 0 || (FDrawOptions & drawRepeatEndless)) && !FTerminated && !FRestart) {
            FActiveImage = LoopPoint;
            if (FStarted)
                DoEvent(OnAnimationLoop);

            while (!FTerminated && !FRestart) {
                const int FrameCount = FImage->Frames().Count();
                int Index = FActiveImage;
                if (Index < 0 || Index >= FrameCount)
                    break;
                TGIFSubImage *Frame = FImage->Frames()[Index];
                if (Frame->Empty())
                    break;

                if (Delay > 0) {
                    Frame->PrepareBitmap();   // built here so the wait covers it
                    uint32_t NewTime = FTiming->Now();
                    if (FAnimationSpeed > 0) {
                        // Waits are counted in 12 ms units; half the overrun of
                        // the previous wait is taken off this one.
                        int64_t Elapsed = int64_t(int32_t(NewTime - OldTime)) - Lag;
                        int64_t Wanted = int64_t(Delay) * 12 - Elapsed / 2;
                        if (Wanted < INT32_MIN / 100 || Wanted > INT32_MAX / 100) {
                            Delay = 12000;
                            Lag = 0;
                        } else {
                            Delay = MulDiv(int(Wanted), 100, FAnimationSpeed);
                            Lag = Delay;
                        }
                    } else {
                        Delay = IsThreaded ? -1 : 12000;
                    }
                    OldTime = NewTime;
                    if (IsThreaded) {
                        if ((Delay > 0 || FAnimationSpeed == 0) && FEvent) {
                            if (FTiming->WaitFor(*FEvent, Delay)) {
                                Lag = 0;
                                OldTime = FTiming->Now();
                            }
                        }
                    } else {
                        if (Delay <= 0)
                            Delay = 1;
                        // The wait takes no events of the application: this
                        // runs inside Draw, and Draw may run inside a paint.
                        while (Delay > 0 && !FTerminated && !FRestart) {
                            uint32_t Before = FTiming->Now();
                            FTiming->Sleep(std::min(Delay, 100));
                            Delay -= int(FTiming->Now() - Before);
                            // A call may stop this painter, or free its image.
                            GIFRunPainterCalls(FOwner, [this] { return !FTerminated; });
                            if (QCoreApplication::closingDown())
                                Stop();
                        }
                    }
                }
                if (Delay <= 0)
                    FTiming->Sleep(0);

                if (FTerminated)
                    break;
                DoEvent(OnFrameStart);
                if (FTerminated)
                    break;

                FDisposal = 1;
                TGIFGraphicControlExtension *GCE = Frame->GraphicControlExtension();
                for (int E = 0; E < Frame->Extensions().Count(); ++E) {
                    TGIFExtension *Ext = Frame->Extensions().Extensions(E);
                    if (auto *Loop = dynamic_cast<TGIFAppExtNSLoop *>(Ext)) {
                        if (!LoopFound) {
                            LoopFound = true;
                            LoopCount = Loop->Loops();
                            if ((LoopCount == 0 || (FDrawOptions & drawRepeatEndless)) && IsThreaded)
                                LoopCount = -1;
                            LoopPoint = Index;
                        }
                    } else if (auto *G = dynamic_cast<TGIFGraphicControlExtension *>(Ext)) {
                        FDisposal = G->Disposal();
                    }
                }

                PaintFrame();
                FPreviousDisposal = FDisposal;
                if (FTerminated)
                    break;

                Delay = 10;
                if (GCE && GCE->Delay() > 0) {
                    Delay = std::max(GCE->Delay(), 3);
                    if (!IsThreaded)
                        Delay = std::min(Delay, 1000);
                }
                DoEvent(OnFrameDone);
                if (FTerminated)
                    break;
                if (FActiveImage == Index)
                    FActiveImage = Index + 1;
                if (!(FDrawOptions & drawAnimated))
                    break;
            }
            if (LoopCount > 0)
                --LoopCount;
            if ((FDrawOptions & (drawAnimated | drawRepeat)) != (drawAnimated | drawRepeat))
                break;
        }
        if (FTerminated)
            break;
    }
    FActiveImage = -1;
    DoEvent(OnAnimationEnd);
}

void TGIFPainter::PaintFrame()
{
    int Index = FActiveImage;
    if (Index < 0 || Index >= FImage->Frames().Count())
        return;
    TGIFSubImage *Frame = FImage->Frames()[Index];
    Synchronize([this, Frame] {
        if (FBuffer)
            DoPaintFrame(Frame);
        else
            DoPaint(Frame);
    });
}

// Without buffers the frame goes straight onto the target.
void TGIFPainter::DoPaint(TGIFSubImage *Frame)
{
    Frame->Draw(FCanvas, FRect, FDrawOptions & drawTransparent, FDrawOptions & drawTiled);
    FStarted = true;
}

void TGIFPainter::ClearAll(TCanvas *Canvas, const TRect &Rect)
{
    const TRect Whole(0, 0, FRect.Right - FRect.Left, FRect.Bottom - FRect.Top);
    if ((FDrawOptions & drawTransparent) && FBackground)
        CopyCanvasRect(Canvas, Rect, FBackground->Canvas(), Whole);
    else
        FillCanvasRect(Canvas, Rect, FBackgroundColor);
}

void TGIFPainter::ClearArea(TCanvas *Canvas, TGIFSubImage *Frame)
{
    const TRect Whole(0, 0, FRect.Right - FRect.Left, FRect.Bottom - FRect.Top);
    std::vector<TRect> Areas;
    const int SW = FImage->Width(), SH = FImage->Height();
    if ((FDrawOptions & drawTiled) && Frame->Width() != SW && Frame->Height() != SH && SW > 0 && SH > 0) {
        for (int Y = Whole.Top; Y < Whole.Bottom; Y += SH)
            for (int X = Whole.Left; X < Whole.Right; X += SW)
                Areas.push_back(TRect(X + Frame->Left(), Y + Frame->Top(), X + Frame->Left() + Frame->Width(),
                                      Y + Frame->Top() + Frame->Height()));
    } else {
        Areas.push_back(Frame->ScaleRect(Whole));
    }
    for (const TRect &R : Areas) {
        if ((FDrawOptions & drawTransparent) && FBackground)
            CopyCanvasRect(Canvas, R, FBackground->Canvas(), R);
        else
            FillCanvasRect(Canvas, R, FBackgroundColor);
    }
}

// With buffers: the frame buffer holds the screen as the frames build it, so
// the disposal methods can restore the background or the previous state.
void TGIFPainter::DoPaintFrame(TGIFSubImage *Frame)
{
    if ((FDrawOptions & drawCheckCanvas) && !CanvasHandleValid(FCanvas, FCanvasHandle)) {
        Stop();
        return;
    }
    const int W = FRect.Right - FRect.Left, H = FRect.Bottom - FRect.Top;
    const TRect Whole(0, 0, W, H);
    const bool DoTransparent = FDrawOptions & drawTransparent;
    const bool DoTile = FDrawOptions & drawTiled;
    const bool ClearFirst = (FDrawOptions & drawClearEachPass) && FActiveImage == 0;

    if (FDisposal < 2 || FDisposal == 2) {
        TCanvas *C = FBuffer->Canvas();
        if (ClearFirst)
            ClearAll(C, Whole);
        Frame->Draw(C, Whole, DoTransparent, DoTile);
        CopyCanvasRect(FCanvas, FRect, C, Whole);
        if (FDisposal == 2)
            ClearArea(C, Frame);
    } else if (FDisposal == 3) {
        if (FPreviousDisposal < 2) {
            if (ClearFirst)
                ClearAll(FCanvas, FRect);
            Frame->Draw(FCanvas, FRect, DoTransparent, DoTile);
        } else {
            TCanvas *C = FBackup->Canvas();
            CopyCanvasRect(C, Whole, FBuffer->Canvas(), Whole);
            if (ClearFirst)
                ClearAll(C, Whole);
            Frame->Draw(C, Whole, DoTransparent, DoTile);
            CopyCanvasRect(FCanvas, FRect, C, Whole);
        }
    }
    // Disposal methods above 3 draw nothing.
    FStarted = true;
}
