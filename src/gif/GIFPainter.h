#pragma once
// Animation of GIF pictures: a painter steps through the frames of a
// TGIFImage with their delays, disposal methods and loop count, either in a
// thread of its own or inside TGIFImage::Draw.

#include "platform/graphics/Graphics.h"

#include <QString>
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

class TGIFImage;
class TGIFSubImage;

// An auto-reset event: Signal wakes one wait, or the next one.
class TGIFEvent {
public:
    void Signal();
    // Waits up to TimeoutMs (-1: for ever); true when signalled, false on time-out.
    bool Wait(int TimeoutMs);

private:
    std::mutex FLock;
    std::condition_variable FCond;
    bool FSignalled = false;
};

// The clock and the sleeper of painters. The default works with real time;
// tests substitute one that records the waits and advances a virtual clock.
class TGIFTiming {
public:
    virtual ~TGIFTiming() = default;
    // Milliseconds from an arbitrary start, wrapping like a 32-bit tick count.
    virtual uint32_t Now();
    // Sleep(0) gives up the rest of the time slice.
    virtual void Sleep(int Ms);
    // Waits on Event for Ms milliseconds (-1: until signalled); true when signalled.
    virtual bool WaitFor(TGIFEvent &Event, int Ms);

    static std::shared_ptr<TGIFTiming> Default();
};

// The main thread and the painters' threads. Drawing happens inside paints,
// so nothing here ever takes the application's events: a painter's calls wait
// in a queue of their own, which the main thread's event loop runs and which
// a Draw or a stop that waits for a painter runs itself.
//
// Runs Fn on the application's main thread for a painter of Owner and waits
// for it; runs it at once when called there or when there is no application
// object.
void GIFSynchronize(const TGIFImage *Owner, const std::function<void()> &Fn);
// On the main thread: runs the calls that painters of Owner (of every image
// when null) wait to have run there, those already waiting when it begins,
// one after another. A call may free the image (an event's handler may):
// Lives, when given, is asked after each call, and when it says the image is
// gone the rest is left for later and the result is false. Then yields.
bool GIFRunPainterCalls(const TGIFImage *Owner = nullptr, const std::function<bool()> &Lives = {});

class TGIFPainter : public TObject {
public:
    TGIFPainter(TGIFImage *Image, TCanvas *Canvas, const TRect &Rect, uint16_t Options);
    ~TGIFPainter() override;

    // Threaded: starts the thread; the painter is freed on the main thread
    // when the thread has ended.
    void Start();
    // Unthreaded: runs the loop now and frees the painter at its end.
    void Run();

    // Asks the painter to end; a wait in progress is cut short.
    void Stop();
    // Asks the painter to begin again from the first frame.
    void Restart();
    bool Terminated() const { return FTerminated; }
    // The painters that exist, in all images (finished threaded painters are
    // freed by the main thread's event loop).
    static int InstanceCount();
    // True while a frame is painted or an event runs on the main thread.
    bool InCallback() const { return FInCallback; }

    TGIFImage *Image() const { return FImage; }
    TCanvas *Canvas() const { return FCanvas; }
    TRect Rect() const { return FRect; }
    uint16_t DrawOptions() const { return FDrawOptions; }
    bool Threaded() const;
    int AnimationSpeed() const { return FAnimationSpeed; }
    void SetAnimationSpeed(int Value) { FAnimationSpeed = Value; }
    // The frame being shown; -1 when idle. Events may move it.
    int ActiveImage() const { return FActiveImage; }
    void SetActiveImage(int Value) { FActiveImage = Value; }
    bool FirstFramePainted() const { return FStarted; }
    TColor BackgroundColor() const { return FBackgroundColor; }
    int Priority() const { return FPriority; }
    void SetPriority(int Value) { FPriority = Value; }

    std::function<void(TObject *Sender)> OnAnimationStart;
    std::function<void(TObject *Sender)> OnFrameStart;
    std::function<void(TObject *Sender)> OnFrameDone;
    std::function<void(TObject *Sender)> OnAnimationLoop;
    std::function<void(TObject *Sender)> OnAnimationEnd;

private:
    friend class TGIFImage;
    void Execute();
    void DoTerminate();
    void DoEvent(const std::function<void(TObject *)> &Event);
    void PaintFrame();
    void DoPaintFrame(TGIFSubImage *Frame);
    void DoPaint(TGIFSubImage *Frame);
    void ClearArea(TCanvas *Canvas, TGIFSubImage *Frame);
    void ClearAll(TCanvas *Canvas, const TRect &Rect);
    void Synchronize(const std::function<void()> &Fn);

    TGIFImage *FImage;
    const TGIFImage *FOwner;                 // the image it was made for, even once detached
    TCanvas *FCanvas;
    TRect FRect;
    uint16_t FDrawOptions;
    int FAnimationSpeed;
    std::atomic<int> FActiveImage{-1};
    int FDisposal = 1;
    int FPreviousDisposal = 1;
    std::unique_ptr<TBitmap> FBuffer;        // the screen as the frames build it
    std::unique_ptr<TBitmap> FBackup;        // for "restore previous" frames
    std::unique_ptr<TBitmap> FBackground;    // the target as it was, for transparent clears
    const void *FCanvasHandle = nullptr;
    std::atomic<bool> FRestart{false};
    std::atomic<bool> FStarted{false};
    std::atomic<bool> FTerminated{false};
    std::atomic<bool> FFinished{false};
    std::atomic<bool> FInCallback{false};
    std::unique_ptr<TGIFEvent> FEvent;
    std::thread FThread;
    std::shared_ptr<TGIFTiming> FTiming;
    TColor FBackgroundColor = 0;
    int FPriority = 3;
};
