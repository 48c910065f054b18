// Pictures as other readers see them: frame 0 pixel for pixel against
// Pillow's decode, and composited animation frames (disposal 0 and 1)
// against ImageMagick's -coalesce.

#include "GIFTestSupport.h"
#include "TestSupport.h"

#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstring>

using namespace GIFTest;

namespace {

// Frame 0 of each file as Pillow decodes it: one run for all files; each
// picture goes out as width and height (32-bit little-endian) and its bytes.
std::vector<Rgba> PillowFrame0(const QString &Python, const QStringList &Files)
{
    static const char Script[] = "import sys, struct\n"
                                 "from PIL import Image\n"
                                 "out = sys.stdout.buffer\n"
                                 "for name in sys.argv[1:]:\n"
                                 "    im = Image.open(name)\n"
                                 "    im.seek(0)\n"
                                 "    rgba = im.convert('RGBA')\n"
                                 "    out.write(struct.pack('<II', rgba.width, rgba.height))\n"
                                 "    out.write(rgba.tobytes())\n";
    QByteArray Out = Run(Python, QStringList{"-c", Script} + Files);
    std::vector<Rgba> Pictures;
    qsizetype Pos = 0;
    while (Pos + 8 <= Out.size()) {
        uint32_t W = 0, H = 0;
        std::memcpy(&W, Out.constData() + Pos, 4);
        std::memcpy(&H, Out.constData() + Pos + 4, 4);
        Pos += 8;
        const qsizetype Size = qsizetype(W) * qsizetype(H) * 4;
        if (W > 4096 || H > 4096 || Pos + Size > Out.size())
            break;
        Pictures.push_back(Rgba{int(W), int(H), Out.mid(Pos, Size)});
        Pos += Size;
    }
    EXPECT_EQ(Pictures.size(), size_t(Files.size())) << "Pillow's output was cut short";
    return Pictures;
}

// ImageMagick's composited frames: all of them, each the size of the screen.
std::vector<Rgba> Coalesced(const QString &File, int Width, int Height)
{
    QByteArray Out = Run("convert", {File, "-coalesce", "-depth", "8", "rgba:-"});
    const qsizetype Size = qsizetype(Width) * Height * 4;
    EXPECT_EQ(Out.size() % Size, 0) << "coalesced frames are not " << Width << " x " << Height;
    std::vector<Rgba> Frames;
    for (qsizetype Pos = 0; Pos + Size <= Out.size(); Pos += Size)
        Frames.push_back(Rgba{Width, Height, Out.mid(Pos, Size)});
    return Frames;
}

// Counts the pixels of frame 0 (within its rectangle) that differ from
// Pillow's picture; transparent pixels must be transparent in both and their
// colour does not count. Reports the first difference.
int Frame0Differences(TGIFImage &Image, const Rgba &Want, std::string &First)
{
    TGIFSubImage *F = Image.Frames()[0];
    QImage Bitmap = F->Bitmap();
    QImage Mask = F->Mask();
    int Bad = 0;
    for (int Y = 0; Y < F->Height(); ++Y)
        for (int X = 0; X < F->Width(); ++X) {
            const uint8_t *P = Want.At(F->Left() + X, F->Top() + Y);
            const QRgb C = Bitmap.pixel(X, Y);
            const bool Clear = !Mask.isNull() && Mask.pixelIndex(X, Y) == 1;
            const bool Same = Clear ? P[3] == 0
                                    : P[3] == 255 && P[0] == qRed(C) && P[1] == qGreen(C) && P[2] == qBlue(C);
            if (!Same && Bad++ == 0)
                First = "at " + std::to_string(X) + "," + std::to_string(Y) + " ours " + std::to_string(qRed(C)) + ","
                        + std::to_string(qGreen(C)) + "," + std::to_string(qBlue(C)) + (Clear ? " clear" : " opaque")
                        + ", Pillow's " + std::to_string(P[0]) + "," + std::to_string(P[1]) + ","
                        + std::to_string(P[2]) + " alpha " + std::to_string(P[3]);
        }
    return Bad;
}

// A clock that moves only when the painter waits or sleeps, so an animation
// runs through at once.
class InstantTiming : public TGIFTiming {
public:
    uint32_t Now() override { return FNow.load(); }
    void Sleep(int Ms) override
    {
        if (Ms > 0)
            FNow += uint32_t(Ms);
    }
    bool WaitFor(TGIFEvent &Event, int Ms) override
    {
        if (Ms < 0)
            return Event.Wait(-1);
        if (Event.Wait(0))
            return true;
        FNow += uint32_t(Ms);
        return false;
    }

private:
    std::atomic<uint32_t> FNow{1000};
};

// Plays the animation once onto a screen-sized bitmap and returns the picture
// after each frame.
std::vector<QImage> Composited(TGIFImage &Image)
{
    Image.SetTiming(std::make_shared<InstantTiming>());
    Image.SetDrawOptions(drawAnimated | drawTransparent | drawUnbuffered);
    TBitmap Target(Image.Width(), Image.Height());
    std::vector<QImage> Shots;
    Image.OnFrameDone = [&](TObject *) { Shots.push_back(Target.Image().copy()); };
    Image.Draw(*Target.Canvas(), TRect(0, 0, Image.Width(), Image.Height()));
    Image.OnFrameDone = nullptr;
    return Shots;
}

class GIFPeerImage : public ::testing::Test {
protected:
    QString Make(const QString &Name, const QByteArray &Gif)
    {
        QString F = Dir.File(Name);
        WriteFile(F, Gif);
        return F;
    }
    QString Sicle(const QString &Name, const QStringList &Args)
    {
        QString Out = Dir.File(Name);
        GIFTest::Run("gifsicle", Args + QStringList{"-o", Out});
        return Out;
    }
    // Compares every composited frame of File with ImageMagick's.
    void ExpectSameAsCoalesce(const QString &File, const std::vector<int> &Disposals)
    {
        SCOPED_TRACE(QFileInfo(File).fileName().toStdString());
        Loaded L = Load(ReadFile(File));
        EXPECT_TRUE(L.Warnings.isEmpty()) << L.Warnings.join("; ").toStdString();
        const int N = L.Image->Frames().Count();
        ASSERT_GT(N, 1);
        for (int I = 0; I < N; ++I) {
            TGIFGraphicControlExtension *G = L.Image->Frames()[I]->GraphicControlExtension();
            ASSERT_NE(G, nullptr) << "frame " << I;
            EXPECT_TRUE(std::find(Disposals.begin(), Disposals.end(), G->Disposal()) != Disposals.end())
                << "frame " << I << " has disposal " << G->Disposal();
        }
        const int W = L.Image->Width(), H = L.Image->Height();
        std::vector<Rgba> Want = Coalesced(File, W, H);
        ASSERT_EQ(int(Want.size()), N);
        std::vector<QImage> Shots = Composited(*L.Image);
        ASSERT_EQ(int(Shots.size()), N);
        for (int F = 0; F < N; ++F) {
            int Bad = 0;
            std::string First;
            for (int Y = 0; Y < H; ++Y)
                for (int X = 0; X < W; ++X) {
                    const uint8_t *P = Want[size_t(F)].At(X, Y);
                    const QRgb C = Shots[size_t(F)].pixel(X, Y);
                    if (P[3] != 255 || P[0] != qRed(C) || P[1] != qGreen(C) || P[2] != qBlue(C)) {
                        if (Bad++ == 0)
                            First = "at " + std::to_string(X) + "," + std::to_string(Y) + " ours "
                                    + std::to_string(qRed(C)) + "," + std::to_string(qGreen(C)) + ","
                                    + std::to_string(qBlue(C)) + ", ImageMagick's " + std::to_string(P[0]) + ","
                                    + std::to_string(P[1]) + "," + std::to_string(P[2]) + " alpha "
                                    + std::to_string(P[3]);
                    }
                }
            EXPECT_EQ(Bad, 0) << "frame " << F << ": " << First;
        }
    }
    TestSupport::TempDir Dir;
    std::mt19937 Rng{7122026};
};

// Frame 0 covers the screen with colours 1.. (never 0); the frames after it
// are smaller and offset, with holes of colour 0 that --transparent 0 makes
// see-through.
std::vector<FrameInput> MovingBlocks(std::mt19937 &Rng, int W, int H, int Colors, int Count, bool LocalMaps)
{
    std::vector<FrameInput> Frames;
    FrameInput Back;
    Back.Width = W;
    Back.Height = H;
    for (int P = 0; P < W * H; ++P)
        Back.Pixels.push_back(uint8_t(1 + Rng() % unsigned(Colors - 1)));
    Frames.push_back(Back);
    for (int I = 1; I < Count; ++I) {
        FrameInput F;
        F.Left = 2 + 3 * I;
        F.Top = 1 + 2 * I;
        F.Width = 9 + I;
        F.Height = 7;
        for (int P = 0; P < F.Width * F.Height; ++P)
            F.Pixels.push_back(P % 5 == 0 ? 0 : uint8_t(1 + (P / 3 + I) % (Colors - 1)));
        if (LocalMaps && I % 2 == 1)
            F.LocalMap = RandomMap(Rng, Colors);
        Frames.push_back(F);
    }
    return Frames;
}

} // namespace

TEST_F(GIFPeerImage, Frame0MatchesPillow)
{
    const QString Python = PillowPython();
    if (Python.isEmpty() || !HaveTools())
        GTEST_SKIP() << "python3 with Pillow, gifbuild or gifsicle missing";
    QStringList Files;

    // Plain, global map of 256 colours, noise so codes reach 12 bits.
    FrameInput Noise;
    Noise.Width = 61;
    Noise.Height = 37;
    Noise.Pixels = RandomPixels(Rng, Noise.Width * Noise.Height, 256);
    Files << Make("global256.gif", BuildGif(61, 37, RandomMap(Rng, 256), {Noise}));
    // The same written interlaced.
    Files << Sicle("global256i.gif", {"--interlace", Files.last()});

    // A local map over a small global one, interlaced by gifbuild, frame
    // offset on the screen.
    FrameInput Local;
    Local.Left = 3;
    Local.Top = 2;
    Local.Width = 40;
    Local.Height = 29;
    Local.LocalMap = RandomMap(Rng, 16);
    Local.Interlaced = true;
    for (int P = 0; P < Local.Width * Local.Height; ++P)
        Local.Pixels.push_back(uint8_t((P / 7 + P % 3) % 16));
    Files << Make("local.gif", BuildGif(45, 33, RandomMap(Rng, 2), {Local}));

    // Transparency: one index see-through, plain and interlaced, global and
    // local maps.
    FrameInput Eight;
    Eight.Width = 33;
    Eight.Height = 21;
    Eight.Pixels = RandomPixels(Rng, Eight.Width * Eight.Height, 8);
    QString Base = Make("eight.gif", BuildGif(33, 21, RandomMap(Rng, 8), {Eight}));
    Files << Sicle("trans.gif", {"--transparent", "2", Base});
    Files << Sicle("transi.gif", {"--transparent", "5", "--interlace", Base});
    // gifsicle turns a lone frame's local map into a global one, so this one
    // is made by hand: no global map, a local map of 16, index 3 see-through.
    {
        std::vector<uint32_t> Map = RandomMap(Rng, 16);
        Bytes B;
        B.Header(20, 15, 0).GCE(1, 0, 3).Descriptor(2, 1, 16, 12, 0x80 | 3);
        for (uint32_t C : Map)
            B.U8(int(C >> 16)).U8(int(C >> 8) & 0xFF).U8(int(C & 0xFF));
        B.Pixels(4, RandomPixels(Rng, 16 * 12, 16)).Trailer();
        Files << Make("translocal.gif", B);
    }
    // A grey table (which Pillow reads as a grey picture) with transparency.
    std::vector<uint32_t> Grey;
    for (int I = 0; I < 4; ++I)
        Grey.push_back(uint32_t(I * 85) * 0x010101u);
    FrameInput G = Eight;
    G.Pixels = RandomPixels(Rng, G.Width * G.Height, 4);
    Files << Sicle("greytrans.gif", {"--transparent", "1", Make("grey.gif", BuildGif(33, 21, Grey, {G}))});

    std::vector<Rgba> Want = PillowFrame0(Python, Files);
    ASSERT_EQ(Want.size(), size_t(Files.size()));
    for (int I = 0; I < Files.size(); ++I) {
        SCOPED_TRACE(QFileInfo(Files[I]).fileName().toStdString());
        Loaded L = Load(ReadFile(Files[I]));
        EXPECT_TRUE(L.Warnings.isEmpty()) << L.Warnings.join("; ").toStdString();
        ASSERT_GE(L.Image->Frames().Count(), 1);
        EXPECT_EQ(L.Image->Width(), Want[size_t(I)].Width);
        EXPECT_EQ(L.Image->Height(), Want[size_t(I)].Height);
        TGIFSubImage *F = L.Image->Frames()[0];
        ASSERT_LE(F->Left() + F->Width(), Want[size_t(I)].Width);
        ASSERT_LE(F->Top() + F->Height(), Want[size_t(I)].Height);
        std::string First;
        EXPECT_EQ(Frame0Differences(*L.Image, Want[size_t(I)], First), 0) << First;
    }
    // The files really have what they are meant to test.
    Loaded Interlaced = Load(ReadFile(Files[1]));
    EXPECT_TRUE(Interlaced.Image->Frames()[0]->Interlaced());
    Loaded LocalMap = Load(ReadFile(Files[2]));
    EXPECT_EQ(LocalMap.Image->Frames()[0]->ColorMap()->Count(), 16);
    EXPECT_TRUE(LocalMap.Image->Frames()[0]->Interlaced());
    Loaded Trans = Load(ReadFile(Files[4]));
    EXPECT_TRUE(Trans.Image->Frames()[0]->Transparent());
    EXPECT_TRUE(Trans.Image->Frames()[0]->Interlaced());
    EXPECT_FALSE(Trans.Image->Frames()[0]->Mask().isNull());
    Loaded TransLocal = Load(ReadFile(Files[5]));
    EXPECT_EQ(TransLocal.Image->Frames()[0]->ColorMap()->Count(), 16);
    EXPECT_EQ(TransLocal.Image->GlobalColorMap()->Count(), 0);
    EXPECT_TRUE(TransLocal.Image->Frames()[0]->Transparent());
}

TEST_F(GIFPeerImage, PlainTextBlocksOfAnySizeAreReadByTheirStatedSize)
{
    const QString Python = PillowPython();
    if (Python.isEmpty() || !HaveTools())
        GTEST_SKIP() << "python3 with Pillow, gifbuild or gifsicle missing";
    // A plain-text extension whose first block holds 14 bytes (two more than
    // the extension uses), and one whose block holds 9, before a frame.
    const std::vector<uint8_t> Pixels = RandomPixels(Rng, 12 * 9, 4);
    auto Gif = [&](int BlockSize) {
        Bytes B;
        B.Header(12, 9, 2).U8('!').U8(0x01).U8(BlockSize);
        const QByteArray Fields = QByteArray("\x01\x00\x02\x00\x08\x00\x06\x00\x04\x06\x01\x02", 12);
        B.Raw(Fields.left(BlockSize));
        for (int I = 12; I < BlockSize; ++I)
            B.U8(0xA0 + I);
        B.U8(5).Raw("hello").U8(0).Descriptor(0, 0, 12, 9).Pixels(2, Pixels).Trailer();
        return QByteArray(B);
    };
    const QStringList Files{Make("text14.gif", Gif(14)), Make("text9.gif", Gif(9))};

    // Other readers show these pictures without a word.
    std::vector<Rgba> Want = PillowFrame0(Python, Files);
    ASSERT_EQ(Want.size(), size_t(Files.size()));
    for (int I = 0; I < Files.size(); ++I) {
        SCOPED_TRACE(QFileInfo(Files[I]).fileName().toStdString());
        ToolResult Info = RunTool("gifsicle", {"--info", Files[I]});
        EXPECT_EQ(Info.Code, 0);
        EXPECT_TRUE(Info.Err.isEmpty()) << Info.Err.toStdString();
        ASSERT_EQ(DumpFrames(Files[I]).size(), 1u);

        // So does ours, with the text and the block as it came.
        const QByteArray Bytes = ReadFile(Files[I]);
        Loaded L = Load(Bytes);
        ASSERT_TRUE(L.Image) << LoadError(Bytes).toStdString();
        EXPECT_TRUE(L.Warnings.isEmpty()) << L.Warnings.join("; ").toStdString();
        ASSERT_EQ(L.Image->Frames().Count(), 1);
        std::string First;
        EXPECT_EQ(Frame0Differences(*L.Image, Want[size_t(I)], First), 0) << First;
        ASSERT_EQ(L.Image->Frames()[0]->Extensions().Count(), 1);
        auto *Text = dynamic_cast<TGIFTextExtension *>(L.Image->Frames()[0]->Extensions().Extensions(0));
        ASSERT_NE(Text, nullptr);
        ASSERT_EQ(Text->Text().Count(), 1);
        EXPECT_EQ(Text->Text()[0], "hello");
        EXPECT_EQ(Text->Record().Left, 1);
        EXPECT_EQ(Text->Record().Width, 8);
        EXPECT_EQ(Text->Record().TextBGColorIndex, I == 0 ? 2 : 0);   // past a 9-byte block: none
        TMemoryStream Out;
        Text->SaveToStream(&Out);
        const qsizetype Start = Bytes.indexOf("!\x01");
        EXPECT_EQ(Out.Bytes(), Bytes.mid(Start, Out.Bytes().size())) << "the extension is written back as it came";
        EXPECT_EQ(Bytes.at(Start + Out.Bytes().size()), ',');
    }
}

TEST_F(GIFPeerImage, GraphicControlBlocksOfAnySizeAndOneBitCodesReadAsThePeersDo)
{
    const QString Python = PillowPython();
    if (Python.isEmpty() || !HaveTools() || QStandardPaths::findExecutable("gif2rgb").isEmpty()
        || QStandardPaths::findExecutable("giftext").isEmpty())
        GTEST_SKIP() << "python3 with Pillow, gifbuild, gif2rgb, giftext or gifsicle missing";
    // Pillow's frame count and each frame's delay (ms), one line a file.
    static const char Delays[] = "import sys\n"
                                 "from PIL import Image\n"
                                 "for name in sys.argv[1:]:\n"
                                 "    im = Image.open(name)\n"
                                 "    d = []\n"
                                 "    for i in range(im.n_frames):\n"
                                 "        im.seek(i)\n"
                                 "        d.append(str(im.info.get('duration', 0)))\n"
                                 "    print(' '.join(d))\n";

    // Two frames, each after a graphic control block that states 4, 3, 5 or
    // 6 bytes: disposal 1, delay 0.2 s and, where the block holds its index,
    // colour 3 transparent (the 3-byte block leaves out the flag too, which
    // Pillow cannot read without its index); the bytes past the four fields
    // are junk.
    const std::vector<uint8_t> Back = RandomPixels(Rng, 12 * 9, 3), Front = RandomPixels(Rng, 5 * 4, 4);
    auto Gif = [&](int BlockSize) {
        const QByteArray Fields = BlockSize == 3 ? QByteArray("\x04\x14\x00", 3) : QByteArray("\x05\x14\x00\x03\xAA\xBB", 6);
        Bytes B;
        B.Header(12, 9, 2);
        B.U8('!').U8(0xF9).U8(BlockSize).Raw(Fields.left(BlockSize)).U8(0).Descriptor(0, 0, 12, 9).Pixels(2, Back);
        B.U8('!').U8(0xF9).U8(BlockSize).Raw(Fields.left(BlockSize)).U8(0).Descriptor(4, 3, 5, 4).Pixels(2, Front);
        return QByteArray(B.Trailer());
    };
    QStringList Files;
    for (int Size : {4, 3, 5, 6})
        Files << Make(QString("gce%1.gif").arg(Size), Gif(Size));
    const QList<QByteArray> PillowDelays = GIFTest::Run(Python, QStringList{"-c", Delays} + Files).trimmed().split('\n');
    ASSERT_EQ(PillowDelays.size(), Files.size());
    std::vector<Rgba> Want = PillowFrame0(Python, Files);
    ASSERT_EQ(Want.size(), size_t(Files.size()));
    // giflib reads the standard file frame by frame; whatever a block states,
    // gif2rgb reads the frames in step and paints the same screen.
    const std::vector<ToolFrame> Tool = DumpFrames(Files[0]);
    ASSERT_EQ(Tool.size(), 2u);
    const QByteArray Screen = RunTool("gif2rgb", {"-1", Files[0]}).Out;
    ASSERT_EQ(Screen.size(), 12 * 9 * 3);
    for (int I = 0; I < Files.size(); ++I) {
        SCOPED_TRACE(QFileInfo(Files[I]).fileName().toStdString());
        EXPECT_EQ(RunTool("gif2rgb", {"-1", Files[I]}).Out, Screen);
        EXPECT_EQ(RunTool("gifsicle", {"--info", Files[I]}).Out.count("+ image #"), 2);
        EXPECT_EQ(PillowDelays[I], "200 200");
        Loaded L = Load(ReadFile(Files[I]));
        EXPECT_TRUE(L.Warnings.isEmpty()) << L.Warnings.join("; ").toStdString();
        ASSERT_EQ(L.Image->Frames().Count(), 2);
        for (int F = 0; F < 2; ++F) {
            TGIFSubImage *Frame = L.Image->Frames()[F];
            EXPECT_EQ(Frame->Left(), Tool[size_t(F)].Left);
            const std::vector<uint8_t> Ours(Frame->Data(), Frame->Data() + Frame->DataSize());
            EXPECT_TRUE(Ours == Tool[size_t(F)].Pixels) << "frame " << F;
            TGIFGraphicControlExtension *G = Frame->GraphicControlExtension();
            ASSERT_NE(G, nullptr);
            EXPECT_EQ(G->Delay(), 20);
            EXPECT_EQ(G->Disposal(), 1);
            EXPECT_EQ(Frame->Transparent(), I != 1) << "frame " << F;
            EXPECT_EQ(G->TransparentColorIndex(), I != 1 ? 3 : 0);
        }
        std::string First;
        EXPECT_EQ(Frame0Differences(*L.Image, Want[size_t(I)], First), 0) << First;
        // Written back as the standard block, which giflib reads field by field.
        const QString Again = Make("again.gif", SaveBytes(*L.Image));
        ToolResult Text = RunTool("giftext", {Again});
        EXPECT_EQ(Text.Code, 0);
        EXPECT_EQ(Text.Out.count("DelayTime: 20"), 2) << Text.Out.toStdString();
        EXPECT_EQ(Text.Out.count("Transparency on: yes"), I != 1 ? 2 : 0) << Text.Out.toStdString();
        EXPECT_EQ(DumpFrames(Again).size(), 2u);
    }
    // A block that states no bytes at all, and a stray 0 before the frame
    // (21 F9 00 00 2C): gifsicle skips the stray byte and reads one image a
    // frame, without a delay, disposal or transparency; giflib agrees.
    {
        const QString Empty = Make("gce0.gif", Gif(0));
        ASSERT_TRUE(ReadFile(Empty).contains(QByteArray("\x21\xF9\x00\x00\x2C", 5)));
        const ToolResult Info = RunTool("gifsicle", {"--info", Empty});
        EXPECT_EQ(Info.Out.count("+ image #"), 2) << Info.Out.toStdString();
        EXPECT_FALSE(Info.Out.contains("delay") || Info.Out.contains("disposal") || Info.Out.contains("transparent"))
            << Info.Out.toStdString();
        const std::vector<ToolFrame> Giflib = DumpFrames(Empty);
        ASSERT_EQ(Giflib.size(), 2u);
        Loaded L = Load(ReadFile(Empty));
        EXPECT_TRUE(L.Warnings.isEmpty()) << L.Warnings.join("; ").toStdString();
        ASSERT_EQ(L.Image->Frames().Count(), 2);
        for (int F = 0; F < 2; ++F) {
            TGIFSubImage *Frame = L.Image->Frames()[F];
            EXPECT_EQ(Frame->Left(), Giflib[size_t(F)].Left);
            const std::vector<uint8_t> Ours(Frame->Data(), Frame->Data() + Frame->DataSize());
            EXPECT_TRUE(Ours == Giflib[size_t(F)].Pixels) << "frame " << F;
            EXPECT_FALSE(Frame->Transparent()) << "frame " << F;
            if (TGIFGraphicControlExtension *G = Frame->GraphicControlExtension()) {
                EXPECT_EQ(G->Delay(), 0);
                EXPECT_EQ(G->Disposal(), 0);
            }
        }
        EXPECT_EQ(DumpFrames(Make("again0.gif", SaveBytes(*L.Image))).size(), 2u);
    }

    // Two colours with LZW code size 1 (clear 2, end 3, first free code 4):
    // the second code may already be 4, so it is read 3 bits wide. Runs and
    // noise, enough for the table to fill and be cleared; a frame follows.
    std::vector<uint8_t> Bits;
    for (int P = 0; P < 97 * 41; ++P)
        Bits.push_back(P < 500 ? uint8_t((P / 7) & 1) : uint8_t(Rng() & 1));
    const std::vector<uint8_t> After = RandomPixels(Rng, 4 * 3, 2);
    const QString One = Make("codesize1.gif", Bytes()
                                                  .Header(97, 41, 1)
                                                  .Descriptor(0, 0, 97, 41)
                                                  .Pixels(1, Bits)
                                                  .Descriptor(2, 2, 4, 3)
                                                  .Pixels(1, After)
                                                  .Trailer());
    const std::vector<ToolFrame> Giflib = DumpFrames(One);
    ASSERT_EQ(Giflib.size(), 2u);
    EXPECT_TRUE(Giflib[0].Pixels == Bits) << "giflib reads what was written";
    EXPECT_TRUE(Giflib[1].Pixels == After);
    Loaded L = Load(ReadFile(One));
    EXPECT_TRUE(L.Warnings.isEmpty()) << L.Warnings.join("; ").toStdString();
    ASSERT_EQ(L.Image->Frames().Count(), 2);
    for (int F = 0; F < 2; ++F) {
        TGIFSubImage *Frame = L.Image->Frames()[F];
        const std::vector<uint8_t> Ours(Frame->Data(), Frame->Data() + Frame->DataSize());
        EXPECT_TRUE(Ours == Giflib[size_t(F)].Pixels) << "frame " << F;
    }
}

TEST_F(GIFPeerImage, CompositedFramesMatchCoalesce)
{
    if (!HaveTools() || QStandardPaths::findExecutable("convert").isEmpty())
        GTEST_SKIP() << "gifbuild, gifsicle or ImageMagick's convert missing";
    const int W = 32, H = 24;

    // Disposal 0 (none given): each frame stays and the next one is drawn over
    // it; holes of colour 0 let the earlier frames show.
    {
        std::vector<uint32_t> Map = RandomMap(Rng, 8);
        QStringList Args = {"--disposal=0", "--transparent", "0"};
        int I = 0;
        for (const FrameInput &F : MovingBlocks(Rng, W, H, 8, 5, false))
            Args << Make(QString("d0-%1.gif").arg(I++), BuildGif(W, H, Map, {F}));
        ExpectSameAsCoalesce(Sicle("dispose0.gif", Args), {0});
    }

    // Disposal 1 (leave in place), with local maps on some frames, interlaced.
    {
        std::vector<uint32_t> Map = RandomMap(Rng, 16);
        QStringList Args = {"--disposal=1", "--transparent", "0", "--interlace"};
        int I = 0;
        for (const FrameInput &F : MovingBlocks(Rng, W, H, 16, 6, true))
            Args << Make(QString("d1-%1.gif").arg(I++), BuildGif(W, H, Map, {F}));
        QString Plain = Sicle("dispose1.gif", Args);
        ExpectSameAsCoalesce(Plain, {1});
        // gifsicle's optimiser cuts the frames to the changed areas and marks
        // unchanged pixels see-through.
        QString Opt = Sicle("dispose1-opt.gif", {"-O2", Plain});
        ExpectSameAsCoalesce(Opt, {0, 1});
        Loaded L = Load(ReadFile(Opt));
        ASSERT_EQ(L.Image->Frames().Count(), 6);
        EXPECT_LT(L.Image->Frames()[3]->Width(), W) << "the optimiser should have cut the frame";
    }
}
