// The optimisation pass: each step on its own cases, and whole animations
// against their optimised forms with gifdiff.

#include "GIFTestSupport.h"

#include <QStandardPaths>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace GIFTest;

namespace {

TGIFGraphicControlExtension *Control(TGIFSubImage *F, int Delay, int Disposal, int Transparent = -1)
{
    auto *G = new TGIFGraphicControlExtension(F);
    F->Extensions().Add(G);
    G->SetDelay(Delay);
    G->SetDisposal(Disposal);
    if (Transparent >= 0) {
        G->SetTransparent(true);
        G->SetTransparentColorIndex(Transparent);
    }
    return G;
}

// The image as a reader sees it (frames know their transparency from their
// extensions only after reading).
std::unique_ptr<TGIFImage> Reread(TGIFImage &Image)
{
    Loaded L = Load(SaveBytes(Image));
    EXPECT_TRUE(L.Image);
    return std::move(L.Image);
}

} // namespace

TEST(GIFOptimize, TrimmingAndRemovingFrames)
{
    // No frames: nothing happens and nothing is reported.
    TGIFImage None;
    int Reports = 0;
    None.OnProgress = [&](TObject *, TProgressStage, quint8, bool, const TRect &, const QString &) { ++Reports; };
    None.Optimize(optimizeAll, 0);
    EXPECT_EQ(Reports, 0);

    TGIFImage Image;
    SetGlobalMap(Image, {0x000000, 0xFF0000, 0x00FF00, 0x0000FF});
    Image.Header().SetWidth(20);
    Image.Header().SetHeight(20);
    TGIFSubImage *F0 = AddFrame(Image, 0, 0, 20, 20, std::vector<uint8_t>(400, 1));
    auto *Loop = new TGIFAppExtNSLoop(F0);
    Loop->SetLoops(4);
    F0->Extensions().Add(Loop);
    Control(F0, 10, 1);
    // One opaque pixel at column 5, row 7 of a transparent frame at (2, 3).
    std::vector<uint8_t> One(100, 3);
    One[7 * 10 + 5] = 2;
    TGIFSubImage *F1 = AddFrame(Image, 2, 3, 10, 10, One);
    Control(F1, 20, 1, 3);
    // Nothing but transparent pixels: removed, its delay goes to the frame before.
    TGIFSubImage *F2 = AddFrame(Image, 0, 0, 4, 4, std::vector<uint8_t>(16, 3));
    Control(F2, 65530, 1, 3);
    auto R = Reread(Image);
    std::vector<std::pair<int, QString>> Progress;
    R->OnProgress = [&](TObject *, TProgressStage S, quint8 P, bool, const TRect &, const QString &M) {
        Progress.push_back({S == psEnding ? 1000 + P : P, M});
    };
    R->Optimize(optimizeTrimTransparent, 0);
    ASSERT_EQ(R->Frames().Count(), 2);
    EXPECT_EQ(R->Frames()[1]->BoundsRect(), TRect(7, 10, 8, 11));
    EXPECT_EQ(R->Frames()[1]->Pixels(0, 0), 2);
    EXPECT_EQ(R->Frames()[1]->GraphicControlExtension()->Delay(), 65535) << "20 + 65530 stops at 65535";
    ASSERT_FALSE(Progress.empty());
    EXPECT_EQ(Progress.front(), std::make_pair(0, QString("Optimizing...")));
    EXPECT_EQ(Progress.back().first, 1100);

    // The first frame's delay is not lost either when the frame before is
    // opaque; a removed first frame hands its loop extension on.
    TGIFImage Lead;
    SetGlobalMap(Lead, {0x000000, 0xFF0000});
    TGIFSubImage *L0 = AddFrame(Lead, 0, 0, 3, 3, std::vector<uint8_t>(9, 0));
    auto *LeadLoop = new TGIFAppExtNSLoop(L0);
    LeadLoop->SetLoops(2);
    L0->Extensions().Insert(0, LeadLoop);
    Control(L0, 30, 1, 0);
    TGIFSubImage *L1 = AddFrame(Lead, 0, 0, 3, 3, std::vector<uint8_t>(9, 1));
    Control(L1, 40, 1);
    TGIFSubImage *L2 = AddFrame(Lead, 0, 0, 3, 3, std::vector<uint8_t>(9, 0));
    Control(L2, 50, 1, 0);
    auto LR = Reread(Lead);
    LR->Optimize(optimizeTrimTransparent, 0);
    ASSERT_EQ(LR->Frames().Count(), 1) << "the last frame stays";
    EXPECT_EQ(LR->Frames()[0]->GraphicControlExtension()->Delay(), 90);
    ASSERT_EQ(LR->Frames()[0]->Extensions().Count(), 2);
    auto *Moved = dynamic_cast<TGIFAppExtNSLoop *>(LR->Frames()[0]->Extensions().Extensions(0));
    ASSERT_NE(Moved, nullptr);
    EXPECT_EQ(Moved->Loops(), 2);

    // A single frame that shows nothing stays.
    TGIFImage Blank;
    SetGlobalMap(Blank, {0x000000, 0xFF0000});
    Control(AddFrame(Blank, 0, 0, 2, 2, {1, 1, 1, 1}), 0, 0, 1);
    auto BR = Reread(Blank);
    BR->Optimize(optimizeAll, 0);
    ASSERT_EQ(BR->Frames().Count(), 1);
    EXPECT_FALSE(BR->Frames()[0]->Empty());

    // A trim that would place the frame past 65535 is not done.
    Loaded Far = Load(
        Bytes().Header(4, 4, 1).GCE(0x01, 0, 0).Descriptor(65533, 0, 5, 1).Pixels(2, {0, 0, 0, 0, 1}).Trailer());
    ASSERT_TRUE(Far.Image);
    Far.Image->Frames()[0]->TrimTransparent();
    EXPECT_EQ(Far.Image->Frames()[0]->Left(), 65533);
    EXPECT_EQ(Far.Image->Frames()[0]->Width(), 5);

    // Frames removed among frames that stay: each delay goes to the frame just
    // before, the loop extension to the first frame left, and the others keep
    // their order.
    TGIFImage Mixed;
    SetGlobalMap(Mixed, {0x000000, 0xFF0000, 0x00FF00, 0x0000FF});
    const std::vector<uint8_t> Clear(4, 3);
    TGIFSubImage *M0 = AddFrame(Mixed, 0, 0, 4, 1, Clear);
    auto *MixedLoop = new TGIFAppExtNSLoop(M0);
    MixedLoop->SetLoops(4);
    M0->Extensions().Add(MixedLoop);
    Control(M0, 10, 1, 3);
    Control(AddFrame(Mixed, 0, 0, 4, 1, Clear), 20, 1, 3);
    Control(AddFrame(Mixed, 0, 0, 4, 1, {1, 2, 1, 2}), 30, 1);
    Control(AddFrame(Mixed, 0, 0, 4, 1, Clear), 40, 1, 3);
    Control(AddFrame(Mixed, 0, 0, 4, 1, {3, 1, 3, 3}), 50, 1, 3);
    Control(AddFrame(Mixed, 0, 0, 4, 1, Clear), 60, 1, 3);
    Control(AddFrame(Mixed, 0, 0, 4, 1, Clear), 70, 1, 3);
    auto MR = Reread(Mixed);
    MR->Optimize(optimizeTrimTransparent, 0);
    ASSERT_EQ(MR->Frames().Count(), 2);
    EXPECT_EQ(MR->Frames()[0]->BoundsRect(), TRect(0, 0, 4, 1));
    EXPECT_EQ(MR->Frames()[0]->GraphicControlExtension()->Delay(), 70);
    auto *Handed = dynamic_cast<TGIFAppExtNSLoop *>(MR->Frames()[0]->Extensions().Extensions(0));
    ASSERT_NE(Handed, nullptr);
    EXPECT_EQ(Handed->Loops(), 4);
    EXPECT_EQ(MR->Frames()[1]->BoundsRect(), TRect(1, 0, 2, 1));
    EXPECT_EQ(MR->Frames()[1]->GraphicControlExtension()->Delay(), 180);
    EXPECT_EQ(Reread(*MR)->Frames().Count(), 2);
}

TEST(GIFOptimize, UnchangedPixelsAndRedundantData)
{
    // Two frames alike in size and place, the second an exact copy with its
    // own table: it turns transparent throughout and is then removed.
    TGIFImage Copy;
    SetGlobalMap(Copy, {0x000000, 0xFF0000, 0x00FF00});
    std::vector<uint8_t> Px = {0, 1, 2, 1, 0, 2};
    Control(AddFrame(Copy, 0, 0, 3, 2, Px), 25, 0);
    TGIFSubImage *Twin = AddFrame(Copy, 0, 0, 3, 2, {2, 1, 0, 1, 2, 0}, {0x00FF00, 0xFF0000, 0x000000});
    Control(Twin, 5, 1);
    auto C = Reread(Copy);
    C->Optimize(optimizeTrimTransparent | optimizeUnchangedPixels, 0);
    ASSERT_EQ(C->Frames().Count(), 1);
    EXPECT_EQ(C->Frames()[0]->GraphicControlExtension()->Delay(), 30) << "the removed frame's time stays in the animation";

    // A frame drawn with the global table: the transparent index is one its
    // pixels do not use, so no visible pixel turns transparent.
    TGIFImage G;
    SetGlobalMap(G, {0x000000, 0xFF0000, 0x00FF00, 0x0000FF});
    AddFrame(G, 0, 0, 4, 1, {0, 1, 2, 3});
    TGIFSubImage *Next = AddFrame(G, 0, 0, 4, 1, {0, 2, 2, 1});
    Next->MakeUnchangedTransparent(G.Frames()[0]);
    ASSERT_TRUE(Next->Transparent());
    EXPECT_EQ(Next->GraphicControlExtension()->TransparentColorIndex(), 3);
    EXPECT_EQ(std::vector<uint8_t>(Next->Data(), Next->Data() + 4), (std::vector<uint8_t>{3, 2, 3, 1}));
    EXPECT_EQ(G.GlobalColorMap()->Count(), 4);
    // When every entry is in use, black is added.
    TGIFSubImage *All = AddFrame(G, 0, 0, 4, 1, {0, 1, 2, 3});
    AddFrame(G, 0, 0, 4, 1, {0, 2, 1, 3})->MakeUnchangedTransparent(All);
    EXPECT_EQ(G.GlobalColorMap()->Count(), 5);
    EXPECT_EQ(G.Frames()[3]->GraphicControlExtension()->TransparentColorIndex(), 4);
    // Nothing happens beneath a frame that is restored afterwards.
    TGIFImage D;
    SetGlobalMap(D, {0x000000, 0xFF0000});
    Control(AddFrame(D, 0, 0, 2, 1, {0, 1}), 0, 2);
    TGIFSubImage *After = AddFrame(D, 0, 0, 2, 1, {0, 1});
    After->MakeUnchangedTransparent(D.Frames()[0]);
    EXPECT_FALSE(After->Transparent());

    // Redundant data: loop extension and a plain graphic control extension of
    // a single frame, comments everywhere, surplus loops in an animation.
    TGIFImage Single;
    SetGlobalMap(Single, {0x000000, 0xFFFFFF});
    TGIFSubImage *S = AddFrame(Single, 0, 0, 1, 1, {1});
    S->Extensions().Add(new TGIFAppExtNSLoop(S));
    Control(S, 50, 2);
    auto *Comment = new TGIFCommentExtension(S);
    Comment->Text().Add("note");
    S->Extensions().Add(Comment);
    Single.Optimize(optimizeDropRedundant, 0);
    EXPECT_EQ(S->Extensions().Count(), 0);
    EXPECT_EQ(S->GraphicControlExtension(), nullptr);

    TGIFImage Anim;
    SetGlobalMap(Anim, {0x000000, 0xFFFFFF});
    TGIFSubImage *A0 = AddFrame(Anim, 0, 0, 1, 1, {1});
    A0->Extensions().Add(new TGIFAppExtNSLoop(A0));
    TGIFSubImage *A1 = AddFrame(Anim, 0, 0, 1, 1, {0});
    A1->Extensions().Add(new TGIFAppExtNSLoop(A1));
    auto *C1 = new TGIFCommentExtension(A1);
    C1->Text().Add("x");
    A1->Extensions().Add(C1);
    Control(A1, 7, 1);
    Anim.Optimize(optimizeDropRedundant, 0);
    EXPECT_EQ(A0->Extensions().Count(), 1);
    ASSERT_EQ(A1->Extensions().Count(), 1);
    EXPECT_EQ(A1->GraphicControlExtension()->Delay(), 7);

    // The graphic data writer optimises only when the switch is on.
    TGIFImage Stored;
    SetGlobalMap(Stored, {0x000000, 0xFFFFFF});
    TGIFSubImage *Noted = AddFrame(Stored, 0, 0, 1, 1, {1});
    auto *Remark = new TGIFCommentExtension(Noted);
    Remark->Text().Add("remark");
    Noted->Extensions().Add(Remark);
    EXPECT_FALSE(OptimizeOnWriteData);
    TMemoryStream Plain;
    Stored.WriteData(&Plain);
    EXPECT_TRUE(Plain.Bytes().contains("remark"));
    OptimizeOnWriteData = true;
    TMemoryStream Optimised;
    Stored.WriteData(&Optimised);
    OptimizeOnWriteData = false;
    EXPECT_FALSE(Optimised.Bytes().contains("remark"));

    // The reduction check.
    EXPECT_NO_THROW(Anim.Optimize(optimizeAll, 9));
    try {
        Anim.Optimize(optimizeColorReduction, 9);
        ADD_FAILURE() << "no error";
    } catch (const GIFException &E) {
        EXPECT_EQ(E.Message(), "Invalid reduction method");
    }
    EXPECT_NO_THROW(Anim.Optimize(optimizeColorReduction, 7));
}

TEST(GIFOptimize, AnimationsLookAndPlayTheSame)
{
    if (!HavePeers() || QStandardPaths::findExecutable("gifdiff").isEmpty())
        GTEST_SKIP() << "gifsicle, gifdiff or ImageMagick missing";
    QTemporaryDir Dir;
    std::mt19937 Rng(11);
    std::vector<std::pair<std::string, QByteArray>> Sources;
    // Ours: every disposal, transparency, repeated frames, local tables.
    for (int Case = 0; Case < 4; ++Case) {
        TGIFImage A;
        const int W = 24, H = 18;
        SetGlobalMap(A, RandomMap(Rng, 8));
        TGIFSubImage *First = AddFrame(A, 0, 0, W, H, RandomPixels(Rng, W * H, 3));
        auto *Loop = new TGIFAppExtNSLoop(First);
        First->Extensions().Add(Loop);
        Control(First, 10, Case % 2);
        struct Shape {
            int L, T, W, H;
            std::vector<uint8_t> Px;
        } Prev{0, 0, 0, 0, {}};
        for (int I = 1; I < 8; ++I) {
            // Every third frame repeats the one before it exactly.
            const bool Repeat = I % 3 == 0 && Prev.W > 0;
            Shape S = Prev;
            if (!Repeat) {
                S.W = 4 + int(Rng() % 20);
                S.H = 3 + int(Rng() % 15);
                S.L = int(Rng() % unsigned(W - S.W + 1));
                S.T = int(Rng() % unsigned(H - S.H + 1));
                S.Px = RandomPixels(Rng, S.W * S.H, 3);
                for (size_t K = 0; K < S.Px.size(); K += 3)
                    S.Px[K] = uint8_t(Rng() % 8);
            }
            const bool Local = !Repeat && Rng() % 3 == 0;
            TGIFSubImage *F = AddFrame(A, S.L, S.T, S.W, S.H, S.Px, Local ? RandomMap(Rng, 8) : std::vector<uint32_t>{});
            const int Disposal = Repeat ? 1 : (Case + I) % 4;
            Control(F, int(5 + Rng() % 20), Disposal, Rng() % 2 ? 7 : -1);
            Prev = Local ? Shape{0, 0, 0, 0, {}} : S;
            if (Repeat)
                Prev = S;
            if (I == 2) {
                auto *Note = new TGIFCommentExtension(F);
                Note->Text().Add("frame two");
                F->Extensions().Insert(0, Note);
            }
        }
        Sources.push_back({"ours " + std::to_string(Case), SaveBytes(A)});
    }
    // Made by the peers: ImageMagick's frames, and gifsicle's optimised ones.
    const QString Magick = Dir.filePath("magick.gif");
    ASSERT_EQ(RunTool("convert", {"-size", "40x30", "-delay", "6", "plasma:fractal", "(", "+clone", "-fill", "yellow",
                                  "-draw", "rectangle 5,5 20,20", ")", "(", "+clone", "-fill", "blue", "-draw",
                                  "circle 30,16 30,26", ")", "(", "+clone", ")", "-loop", "0", Magick})
                  .Code,
              0);
    Sources.push_back({"ImageMagick", ReadFile(Magick)});
    const QString Sicle = Dir.filePath("sicle.gif");
    ASSERT_EQ(RunTool("gifsicle", {"-O2", Magick, "-o", Sicle}).Code, 0);
    Sources.push_back({"gifsicle -O2", ReadFile(Sicle)});

    const QString Before = Dir.filePath("before.gif");
    const QString After = Dir.filePath("after.gif");
    for (const auto &[Name, Bytes] : Sources) {
        WriteFile(Before, Bytes);
        qint64 Smallest = Bytes.size();
        for (int Flags = 0x01; Flags <= 0x1F; ++Flags) {
            Loaded L = Load(Bytes);
            ASSERT_TRUE(L.Image);
            L.Image->Optimize(TGIFOptimizeFlags(Flags), 0);
            L.Image->SaveToFile(After);
            ToolResult Diff = RunTool("gifdiff", {"-w", Before, After});
            EXPECT_EQ(Diff.Code, 0) << Name << ", flags " << Flags << ":\n" << Diff.Out.toStdString();
            ToolResult Info = RunTool("gifsicle", {"--info", After});
            EXPECT_TRUE(Info.Err.isEmpty()) << Name << ", flags " << Flags << ": " << Info.Err.toStdString();
            Smallest = std::min<qint64>(Smallest, ReadFile(After).size());
        }
        const QString O1 = Dir.filePath("o1.gif");
        RunTool("gifsicle", {"-O1", Before, "-o", O1});
        std::printf("%s: %lld bytes, optimised %lld, gifsicle -O1 %lld\n", Name.c_str(), (long long)Bytes.size(),
                    (long long)Smallest, (long long)ReadFile(O1).size());
    }
}

TEST(GIFOptimize, UnchangedPixelsReuseTheFirstSharedTransparentIndex)
{
    // Frames drawn with the global table take the transparent index of the
    // first other frame, in frame order, that is transparent without a table
    // of its own, as the pass leaves the frames after them and finds the ones
    // before them; an index the frame's own pixels show is never taken.
    auto Pixels = [](TGIFSubImage *F) { return std::vector<uint8_t>(F->Data(), F->Data() + F->DataSize()); };
    const std::vector<uint32_t> Eight = {0x000000, 0x800000, 0x008000, 0x000080, 0x808000, 0x008080, 0x800080, 0xFFFFFF};

    // The only transparent frame at the start is the last one.
    TGIFImage After;
    SetGlobalMap(After, Eight);
    Control(AddFrame(After, 0, 0, 8, 1, {0, 1, 6, 6, 6, 6, 6, 6}), 5, 1);
    Control(AddFrame(After, 0, 0, 8, 1, {0, 1, 6, 6, 6, 6, 6, 6}), 5, 1);
    Control(AddFrame(After, 0, 0, 8, 1, {0, 1, 2, 3, 5, 5, 7, 7}), 5, 1);
    Control(AddFrame(After, 0, 0, 8, 1, {0, 1, 7, 7, 7, 7, 7, 7}), 5, 1, 7);
    auto A = Reread(After);
    A->Optimize(optimizeUnchangedPixels, 0);
    // Frame 2 shows 7, the last frame's index: it takes the first index it does not show.
    EXPECT_EQ(A->Frames()[2]->GraphicControlExtension()->TransparentColorIndex(), 4);
    EXPECT_EQ(Pixels(A->Frames()[2]), (std::vector<uint8_t>{4, 4, 2, 3, 5, 5, 7, 7}));
    // Frame 1 reuses frame 2's (the first such frame after the pass), not the last frame's.
    EXPECT_EQ(A->Frames()[1]->GraphicControlExtension()->TransparentColorIndex(), 4);
    EXPECT_EQ(Pixels(A->Frames()[1]), std::vector<uint8_t>(8, 4));
    EXPECT_EQ(Pixels(A->Frames()[3]), (std::vector<uint8_t>{7, 7, 7, 7, 7, 7, 7, 7}));

    // The first frame is transparent from the start: the frames after it take its index.
    TGIFImage Before;
    SetGlobalMap(Before, Eight);
    Control(AddFrame(Before, 0, 0, 4, 1, {6, 1, 1, 1}), 5, 1, 6);
    Control(AddFrame(Before, 0, 0, 4, 1, {0, 1, 2, 3}), 5, 1);
    Control(AddFrame(Before, 0, 0, 4, 1, {0, 1, 2, 6}), 5, 1);
    auto B = Reread(Before);
    B->Optimize(optimizeUnchangedPixels, 0);
    EXPECT_EQ(B->Frames()[2]->GraphicControlExtension()->TransparentColorIndex(), 3);
    EXPECT_EQ(Pixels(B->Frames()[2]), (std::vector<uint8_t>{3, 3, 3, 6}));
    EXPECT_EQ(B->Frames()[1]->GraphicControlExtension()->TransparentColorIndex(), 6);
    EXPECT_EQ(Pixels(B->Frames()[1]), (std::vector<uint8_t>{0, 6, 2, 3}));
    EXPECT_EQ(B->GlobalColorMap()->Count(), 8);
}
