// The optimisation pass: colour tables sorted and shortened, data that carries
// nothing dropped, pixels that repeat the frame beneath made transparent and
// transparent frames cropped. The pass keeps what the animation shows and how
// long it shows it: no pixel that is visible turns transparent, a removed
// frame's delay goes to the frame before it, the last frame stays and the
// loop extension stays on the first frame.

#include "GIFImage.h"
#include "detail/GIFStrings.h"

#include "platform/core/SysUtils.h"

#include <algorithm>
#include <cstring>

bool OptimizeOnWriteData = false;

namespace {

QString Msg(const char *Text)
{
    return QString::fromLatin1(Text);
}

TRect Intersection(const TRect &A, const TRect &B)
{
    TRect R(std::max(A.Left, B.Left), std::max(A.Top, B.Top), std::min(A.Right, B.Right),
            std::min(A.Bottom, B.Bottom));
    if (R.Right <= R.Left || R.Bottom <= R.Top)
        return TRect(0, 0, 0, 0);
    return R;
}

int DisposalOf(const TGIFSubImage *Frame)
{
    const TGIFGraphicControlExtension *G = Frame->GraphicControlExtension();
    return G ? G->Disposal() : 0;
}

bool FrameIsTransparent(const TGIFSubImage *Frame)
{
    return Frame->Transparent() && Frame->GraphicControlExtension();
}

// A frame whose transparent index the frames drawn with the global table reuse.
bool SharesTransparentIndex(TGIFSubImage *Frame)
{
    return FrameIsTransparent(Frame) && Frame->ColorMap()->Count() == 0;
}

TGIFAppExtNSLoop *LoopOf(TGIFSubImage *Frame)
{
    for (int I = 0; I < Frame->Extensions().Count(); ++I)
        if (auto *L = dynamic_cast<TGIFAppExtNSLoop *>(Frame->Extensions().Extensions(I)))
            return L;
    return nullptr;
}

// Adds Delay to Frame's delay (creating its graphic control extension when it
// has none); the sum stops at 65535.
void AddDelay(TGIFSubImage *Frame, int Delay)
{
    if (Delay <= 0)
        return;
    TGIFGraphicControlExtension *G = Frame->GraphicControlExtension();
    if (!G) {
        G = new TGIFGraphicControlExtension(Frame);
        Frame->Extensions().Add(G);
    }
    G->SetDelay(std::min(G->Delay() + Delay, 0xFFFF));
}

// Frees the frames marked in Gone when it goes out of scope, also when an
// exception passes.
struct RemoveMarked {
    TGIFList &List;
    const std::vector<bool> &Gone;
    ~RemoveMarked() { List.DeleteMarked(Gone); }
};

} // namespace

// ------------------------------------------------------------ frames

void TGIFSubImage::MakeUnchangedTransparent(TGIFSubImage *Previous)
{
    ReplaceUnchanged(Previous, [this]() -> TGIFSubImage * {
        if (FGIFImage)
            for (int I = 0; I < FGIFImage->Frames().Count(); ++I) {
                TGIFSubImage *Other = FGIFImage->Frames()[I];
                if (Other != this && SharesTransparentIndex(Other))
                    return Other;
            }
        return nullptr;
    });
}

void TGIFSubImage::ReplaceUnchanged(TGIFSubImage *Previous, const std::function<TGIFSubImage *()> &Shared)
{
    if (Empty() || !Previous || Previous->Empty())
        return;
    const int PrevDisposal = DisposalOf(Previous);
    if (PrevDisposal == 2 || PrevDisposal == 3)
        return;
    const TRect Common = Intersection(BoundsRect(), Previous->BoundsRect());
    if (Common.Right <= Common.Left)
        return;

    TGIFColorMap *Map = ActiveColorMap();
    TGIFColorMap *PrevMap = Previous->ActiveColorMap();
    const bool WasTransparent = FrameIsTransparent(this);
    int T = WasTransparent ? FGCE->TransparentColorIndex() : -1;
    if (!WasTransparent && (Map->Count() == 0 || Map->Count() >= 256))
        return;
    const int P = FrameIsTransparent(Previous) ? Previous->FGCE->TransparentColorIndex() : -1;

    // The index for the pixels made transparent: one this frame never shows.
    auto ChooseIndex = [&]() -> int {
        if (FLocalPalette.Count() > 0)
            return FLocalPalette.Add(TColor(0));
        bool Used[256] = {};
        for (uint8_t V : FData)
            Used[V] = true;
        if (const TGIFSubImage *Other = Shared()) {
            const int Candidate = Other->FGCE->TransparentColorIndex();
            if (!Used[Candidate] && Candidate < Map->Count())
                return Candidate;
        }
        for (int I = 0; I < Map->Count(); ++I)
            if (!Used[I])
                return I;
        if (Map->Count() < 256)
            return Map->Add(TColor(0));
        return -1;
    };

    const TGIFColor *Colors = Map->Data();
    const TGIFColor *PrevColors = PrevMap->Data();
    const bool SameTable = Map == PrevMap;
    bool Stop = false;
    for (int Y = Common.Top; Y < Common.Bottom && !Stop; ++Y) {
        uint8_t *Row = FData.data() + size_t(Y - Top()) * size_t(Width());
        const uint8_t *PrevRow = Previous->FData.data() + size_t(Y - Previous->Top()) * size_t(Previous->Width());
        for (int X = Common.Left; X < Common.Right; ++X) {
            uint8_t &F = Row[X - Left()];
            const int PV = PrevRow[X - Previous->Left()];
            if (T >= 0 && F == T)
                continue;
            if (PV == P)
                continue;
            bool Match;
            if (SameTable)
                Match = F == PV;
            else
                Match = F < Map->Count() && PV < PrevMap->Count() && Colors[F].Red == PrevColors[PV].Red
                        && Colors[F].Green == PrevColors[PV].Green && Colors[F].Blue == PrevColors[PV].Blue;
            if (!Match)
                continue;
            if (T < 0) {
                T = ChooseIndex();
                if (T < 0) {
                    Stop = true;
                    break;
                }
                Colors = Map->Data();   // the table may have grown
                PrevColors = PrevMap->Data();
            }
            F = uint8_t(T);
        }
    }
    if (!WasTransparent && T >= 0) {
        if (!FGCE)
            FExtensions.Add(new TGIFGraphicControlExtension(this));
        FGCE->SetTransparent(true);
        FGCE->SetTransparentColorIndex(T);
        FTransparent = true;
    }
    FreeBitmap();
}

void TGIFSubImage::TrimTransparent()
{
    if (Empty() || !FrameIsTransparent(this))
        return;
    const uint8_t T = FGCE->TransparentColorIndex();
    const int W = Width(), H = Height();
    auto Opaque = [&](int X, int Y) { return FData[size_t(Y) * size_t(W) + size_t(X)] != T; };
    auto ColumnHas = [&](int X) {
        for (int Y = 0; Y < H; ++Y)
            if (Opaque(X, Y))
                return true;
        return false;
    };
    int L = 0;
    while (L < W && !ColumnHas(L))
        ++L;
    if (L == W) {
        Clear();
        return;
    }
    int R = W - 1;
    while (R > L && !ColumnHas(R))
        --R;
    auto RowHas = [&](int Y) {
        for (int X = L; X <= R; ++X)
            if (Opaque(X, Y))
                return true;
        return false;
    };
    int Tp = 0;
    while (!RowHas(Tp))
        ++Tp;
    int B = H - 1;
    while (B > Tp && !RowHas(B))
        --B;
    if (Left() + L > 0xFFFF || Top() + Tp > 0xFFFF)
        return;   // the frame could not be placed there
    if (L == 0 && Tp == 0 && R == W - 1 && B == H - 1)
        return;
    const int NW = R - L + 1, NH = B - Tp + 1;
    std::vector<uint8_t> Block(size_t(NW) * size_t(NH));
    for (int Y = 0; Y < NH; ++Y)
        std::memcpy(Block.data() + size_t(Y) * size_t(NW), FData.data() + size_t(Y + Tp) * size_t(W) + size_t(L),
                    size_t(NW));
    SetData(std::move(Block));
    FImageDescriptor.Left = uint16_t(Left() + L);
    FImageDescriptor.Top = uint16_t(Top() + Tp);
    FImageDescriptor.Width = uint16_t(NW);
    FImageDescriptor.Height = uint16_t(NH);
    FreeBitmap();
}

// ------------------------------------------------------------ the pass

void TGIFImage::Optimize(TGIFOptimizeFlags Flags, int Method)
{
    if (Empty())
        return;
    if (!StopPainters())
        return;   // an event freed the image
    std::unique_lock<std::recursive_mutex> Lock(FPainterLock);
    ProgressReport(psStarting, 0, Msg(gifstr::Optimizing));
    const int Total = std::max(6 * FImages.Count(), 1);
    int Done = 0;
    auto Step = [&](int Count) {
        Done += Count;
        ProgressReport(psRunning, MulDiv(std::min(Done, Total), 100, Total), Msg(gifstr::Optimizing));
    };
    try {
        // Colour tables: sorted by use, unused entries dropped.
        if (Flags & optimizeColorTables) {
            if (GlobalColorMap()->Count() > 0)
                GlobalColorMap()->Optimize();
            for (int I = 0; I < FImages.Count(); ++I) {
                if (FImages[I]->ColorMap()->Count() > 0)
                    FImages[I]->ColorMap()->Optimize();
                Step(1);
            }
        }

        // Transparency nobody uses, and disposal that the next frame hides.
        if (Flags & optimizeDropRedundant) {
            for (int I = 0; I < FImages.Count(); ++I) {
                TGIFSubImage *F = FImages[I];
                if (FrameIsTransparent(F)) {
                    const uint8_t T = F->GraphicControlExtension()->TransparentColorIndex();
                    if (std::find(F->FData.begin(), F->FData.end(), T) == F->FData.end()) {
                        F->GraphicControlExtension()->SetTransparent(false);
                        F->FTransparent = false;
                        F->FreeBitmap();
                    }
                }
                Step(1);
            }
            for (int I = 0; I + 1 < FImages.Count(); ++I) {
                TGIFSubImage *F = FImages[I], *Next = FImages[I + 1];
                const int D = DisposalOf(F);
                if ((D == 2 || D == 3) && !FrameIsTransparent(Next) && !Next->Empty()) {
                    const TRect Common = Intersection(F->BoundsRect(), Next->BoundsRect());
                    if (Common.Right > Common.Left && Common == F->BoundsRect())
                        F->GraphicControlExtension()->SetDisposal(0);
                }
                Step(1);
            }
        } else {
            Step(2 * FImages.Count());
        }

        // Pixels that repeat the frame beneath, from the last frame down so
        // each is compared with a frame this step has not changed yet.
        if (Flags & optimizeUnchangedPixels) {
            // The frame whose transparent index a frame drawn with the global
            // table reuses is the first other one, in frame order, that is
            // transparent without a table of its own. The frames before frame
            // k are as they were when the step began and those after it as the
            // step left them, so the first such frame at the start (when it
            // lies before k) or else the lowest such frame after k is the one:
            // found without looking through the frames again for each frame.
            int FirstAtStart = -1;
            for (int I = 0; I < FImages.Count() && FirstAtStart < 0; ++I)
                if (SharesTransparentIndex(FImages[I]))
                    FirstAtStart = I;
            TGIFSubImage *LowestAfter = nullptr;
            for (int K = FImages.Count() - 1; K >= 1; --K) {
                int Beneath = K - 1;
                while (Beneath > 0 && DisposalOf(FImages[Beneath]) == 3)
                    --Beneath;
                TGIFSubImage *Frame = FImages[K];
                Frame->ReplaceUnchanged(FImages[Beneath], [&]() -> TGIFSubImage * {
                    return FirstAtStart >= 0 && FirstAtStart < K ? FImages[FirstAtStart] : LowestAfter;
                });
                if (SharesTransparentIndex(Frame))
                    LowestAfter = Frame;
                Step(1);
            }
        } else {
            Step(FImages.Count());
        }

        // Transparent frames cropped; frames left with nothing removed, their
        // delay given to the frame before them.
        if (Flags & optimizeTrimTransparent) {
            // The frames removed are freed together when the step ends (or
            // fails): one pass over the list, not one for each frame.
            std::vector<bool> Gone(size_t(FImages.Count()), false);
            int Remaining = FImages.Count();
            RemoveMarked Sweep{FImages, Gone};
            for (int I = FImages.Count() - 1; I >= 0; --I) {
                TGIFSubImage *F = FImages[I];
                Step(1);
                if (F->Empty() || !FrameIsTransparent(F))
                    continue;
                const uint8_t T = F->GraphicControlExtension()->TransparentColorIndex();
                const bool Nothing = std::all_of(F->FData.begin(), F->FData.end(), [T](uint8_t V) { return V == T; });
                if (Nothing && Remaining == 1)
                    continue;   // the last frame stays
                const int Delay = F->GraphicControlExtension()->Delay();
                int Loops = -1;
                uint32_t LoopBuffer = 0;
                if (TGIFAppExtNSLoop *L = LoopOf(F)) {
                    Loops = L->Loops();
                    LoopBuffer = L->BufferSize();
                }
                F->TrimTransparent();
                if (!F->Empty())
                    continue;
                if (I > 0)
                    AddDelay(FImages[I - 1], Delay);
                Gone[size_t(I)] = true;
                --Remaining;
                if (I == 0 && Loops >= 0 && Remaining > 0) {
                    int First = 1;
                    while (Gone[size_t(First)])
                        ++First;
                    if (!LoopOf(FImages[First])) {
                        // The animation keeps its loop count on its new first frame.
                        auto *L = new TGIFAppExtNSLoop(FImages[First]);
                        L->SetLoops(Loops);
                        L->SetBufferSize(LoopBuffer);
                        FImages[First]->Extensions().Insert(0, L);
                    }
                }
            }
        } else {
            Step(FImages.Count());
        }

        // Extensions that carry nothing, and empty frames without any.
        if (Flags & optimizeDropRedundant) {
            std::vector<bool> Gone(size_t(FImages.Count()), false);
            int Remaining = FImages.Count();
            RemoveMarked Sweep{FImages, Gone};
            for (int I = FImages.Count() - 1; I >= 0; --I) {
                TGIFSubImage *F = FImages[I];
                const bool Animated = Remaining > 1;
                TGIFExtensionList &Ext = F->Extensions();
                for (int E = Ext.Count() - 1; E >= 0; --E) {
                    TGIFExtension *X = Ext.Extensions(E);
                    const bool Loop = dynamic_cast<TGIFAppExtNSLoop *>(X) != nullptr;
                    if (dynamic_cast<TGIFCommentExtension *>(X) || dynamic_cast<TGIFTextExtension *>(X)
                        || dynamic_cast<TGIFUnknownAppExtension *>(X) || dynamic_cast<TGIFUnknownExtension *>(X)
                        || (Loop && !(I == 0 && Animated)))
                        Ext.Delete(E);
                }
                // A control extension made for the frame but held by no list
                // of it is not written with it: nothing to drop.
                TGIFGraphicControlExtension *G = F->GraphicControlExtension();
                if (G && Ext.IndexOf(G) >= 0) {
                    if ((G->Delay() == 0 || !Animated) && !G->Transparent() && !G->UserInput()
                        && (G->Disposal() <= 1 || !Animated)) {
                        Ext.Delete(Ext.IndexOf(G));
                        F->FTransparent = false;
                    }
                }
                if (F->Empty() && Ext.Count() == 0 && Remaining > 1) {
                    Gone[size_t(I)] = true;
                    --Remaining;
                }
            }
        }
        Step(FImages.Count());

        if ((Flags & optimizeColorReduction) && !(Flags & optimizeDropRedundant) && Method == 9)
            throw GIFException(Msg(gifstr::InvalidReductionMethod));
    } catch (...) {
        ClearBitmap();
        ProgressReport(psEnding, 0, Msg(gifstr::Optimizing));
        throw;
    }
    ClearBitmap();
    ProgressReport(psEnding, 100, Msg(gifstr::Optimizing));
    Changed(this);
}

void TGIFImage::WriteData(TStream *Stream)
{
    if (OptimizeOnWriteData) {
        // Optimize stops the painters, whose events may free the image.
        const TGIFLink<TGIFImage> Self = Life();
        Optimize(optimizeAll, 0);
        if (!Self)
            return;
    }
    SaveToStream(Stream);
}
