// Frames decoded by TGIFImage against the peer tools' reading of the same
// files, and the decoder's behaviour on particular code sequences.

#include "GIFTestSupport.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

using namespace GIFTest;

namespace {

std::vector<uint8_t> FramePixels(TGIFSubImage *Frame)
{
    return std::vector<uint8_t>(Frame->Data(), Frame->Data() + Frame->DataSize());
}

// Loads File with TGIFImage and compares every frame with gifbuild's dump.
void ExpectSameAsTool(const QString &File)
{
    std::vector<ToolFrame> Tool = DumpFrames(File);
    Loaded L = Load(ReadFile(File));
    EXPECT_TRUE(L.Warnings.isEmpty()) << L.Warnings.join("; ").toStdString();
    ASSERT_EQ(L.Image->Frames().Count(), int(Tool.size()));
    for (size_t I = 0; I < Tool.size(); ++I) {
        TGIFSubImage *F = L.Image->Frames()[int(I)];
        EXPECT_EQ(F->Left(), Tool[I].Left);
        EXPECT_EQ(F->Top(), Tool[I].Top);
        ASSERT_EQ(F->Width(), Tool[I].Width);
        ASSERT_EQ(F->Height(), Tool[I].Height);
        EXPECT_TRUE(FramePixels(F) == Tool[I].Pixels) << "frame " << I << " of " << File.toStdString();
    }
}

class GIFPeerDecode : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!HaveTools())
            GTEST_SKIP() << "gifbuild/gifsicle missing";
    }
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
    TestSupport::TempDir Dir;
    std::mt19937 Rng{20261207};
};

} // namespace

TEST_F(GIFPeerDecode, FramesOfEveryCodeSizeMatchTheTool)
{
    // 2 to 256 colours: initial code sizes 2..8, noise so the table fills and
    // codes reach 12 bits, with clear codes from the encoder.
    for (int Bits = 1; Bits <= 8; ++Bits) {
        int Colors = 1 << Bits;
        FrameInput F;
        F.Width = 97;
        F.Height = Bits == 8 ? 211 : 41;
        F.Pixels = RandomPixels(Rng, F.Width * F.Height, Colors);
        QString File = Make(QString("c%1.gif").arg(Bits), BuildGif(F.Width, F.Height, RandomMap(Rng, Colors), {F}));
        ExpectSameAsTool(File);
        // The same picture written interlaced by gifsicle.
        ExpectSameAsTool(Sicle(QString("c%1i.gif").arg(Bits), {"--interlace", File}));
    }
}

TEST_F(GIFPeerDecode, LocalMapsOffsetsAndFlatAreas)
{
    std::vector<FrameInput> Frames;
    for (int I = 0; I < 3; ++I) {
        FrameInput F;
        F.Left = 3 * I;
        F.Top = 2 * I;
        F.Width = 30 - 5 * I;
        F.Height = 17 + I;
        F.LocalMap = RandomMap(Rng, 4 << I);
        F.Interlaced = I == 1;
        // Long runs of one colour exercise the growing strings.
        for (int P = 0; P < F.Width * F.Height; ++P)
            F.Pixels.push_back(uint8_t((P / 37) % (4 << I)));
        Frames.push_back(F);
    }
    // gifbuild needs a global table to write a valid screen descriptor.
    QString File = Make("local.gif", BuildGif(40, 30, RandomMap(Rng, 2), Frames));
    ExpectSameAsTool(File);
    Loaded L = Load(ReadFile(File));
    EXPECT_EQ(L.Image->Frames()[0]->ColorMap()->Count(), 4);
    EXPECT_EQ(L.Image->Frames()[2]->ColorMap()->Count(), 16);
    EXPECT_TRUE(L.Image->Frames()[1]->Interlaced());
    EXPECT_EQ(L.Image->GlobalColorMap()->Count(), 2);
    // Colours come through as TColor (0x00BBGGRR).
    EXPECT_EQ(uint32_t(L.Image->Frames()[0]->ColorMap()->Colors(1)),
              ((Frames[0].LocalMap[1] & 0xFF) << 16) | (Frames[0].LocalMap[1] & 0xFF00)
                  | ((Frames[0].LocalMap[1] >> 16) & 0xFF));
}

TEST_F(GIFPeerDecode, AnimationMadeByGifsicle)
{
    // Frames with their delays, disposal methods, a loop count, a comment and
    // transparency; gifsicle's optimiser shrinks frames to changed areas.
    std::vector<uint32_t> Map = RandomMap(Rng, 16);
    QStringList Args = {"--loopcount=3"};
    for (int I = 0; I < 4; ++I) {
        FrameInput F;
        F.Width = 24;
        F.Height = 18;
        F.Pixels.assign(size_t(F.Width * F.Height), 1);
        for (int Y = 4; Y < 9; ++Y)
            for (int X = 2 + 4 * I; X < 8 + 4 * I; ++X)
                F.Pixels[size_t(Y * F.Width + X)] = uint8_t(2 + I);
        QString Name = Make(QString("f%1.gif").arg(I), BuildGif(24, 18, Map, {F}));
        Args << QString("--delay=%1").arg(5 + I) << QString("--disposal=%1").arg(I % 4) << Name;
    }
    // The optimiser rewrites disposal and transparency: its output is checked
    // pixel for pixel, the plain animation for its extensions.
    ExpectSameAsTool(Sicle("anim-opt.gif", QStringList{"-O2", "--transparent", "0"} + Args));
    QString Anim = Sicle("anim.gif", QStringList{"--comment", "made by the test", "--transparent", "0"} + Args);
    ExpectSameAsTool(Anim);

    Loaded L = Load(ReadFile(Anim));
    ASSERT_EQ(L.Image->Frames().Count(), 4);
    TGIFAppExtNSLoop *Loop = nullptr;
    TGIFCommentExtension *Comment = nullptr;
    for (int E = 0; E < L.Image->Frames()[0]->Extensions().Count(); ++E) {
        TGIFExtension *X = L.Image->Frames()[0]->Extensions().Extensions(E);
        if (!Loop)
            Loop = dynamic_cast<TGIFAppExtNSLoop *>(X);
        if (!Comment)
            Comment = dynamic_cast<TGIFCommentExtension *>(X);
    }
    ASSERT_NE(Loop, nullptr);
    EXPECT_EQ(Loop->Loops(), 3);
    ASSERT_NE(Comment, nullptr);
    EXPECT_EQ(Comment->Text().Text().trimmed(), "made by the test");
    for (int I = 0; I < 4; ++I) {
        TGIFGraphicControlExtension *G = L.Image->Frames()[I]->GraphicControlExtension();
        ASSERT_NE(G, nullptr);
        EXPECT_EQ(G->Delay(), 5 + I);
        EXPECT_EQ(G->Disposal(), I % 4);
        EXPECT_TRUE(L.Image->Frames()[I]->Transparent());
        EXPECT_EQ(G->TransparentColorIndex(), 0);
    }
}

// ------------------------------------------------------------- code level

namespace {

std::vector<uint8_t> DecodeOne(const QByteArray &Gif, QStringList *Warnings = nullptr)
{
    Loaded L = Load(Gif);
    if (Warnings)
        *Warnings = L.Warnings;
    if (L.Image->Frames().Count() == 0)
        return {};
    return FramePixels(L.Image->Frames()[0]);
}

} // namespace

TEST(GIFDecoder, ClearCodesAndSelfReferenceDecodeAsPlainData)
{
    // 4 colours, code size 2: clear 4, end 5, codes 3 bits wide.
    const std::vector<uint8_t> Want = {1, 1, 1, 1, 2, 3};
    auto Plain = EncodeLZW(2, Want);
    QByteArray A = Bytes().Header(3, 2, 2).Descriptor(0, 0, 3, 2).Codes(2, Plain).Trailer();
    EXPECT_EQ(DecodeOne(A), Want);
    // Several clear codes in a row are skipped.
    auto Cleared = Plain;
    Cleared.insert(Cleared.begin(), {{4, 3}, {4, 3}});
    QByteArray B = Bytes().Header(3, 2, 2).Descriptor(0, 0, 3, 2).Codes(2, Cleared).Trailer();
    EXPECT_EQ(DecodeOne(B), Want);
    // Without the leading clear code the data decodes the same.
    auto NoClear = Plain;
    NoClear.erase(NoClear.begin());
    QByteArray C = Bytes().Header(3, 2, 2).Descriptor(0, 0, 3, 2).Codes(2, NoClear).Trailer();
    EXPECT_EQ(DecodeOne(C), Want);
    // The run 1,1,1,1 needs code 6 (= the next free slot) for "1 1 1": a
    // string followed by its own first byte.
    bool UsesNextFree = false;
    for (auto [Code, Bits] : Plain)
        UsesNextFree |= Code == 6;
    EXPECT_TRUE(UsesNextFree);
}

TEST(GIFDecoder, ShortDataLeavesTheFillValue)
{
    // A zero-length first sub-block: an all-fill frame and the under-run warning.
    QByteArray A = Bytes().Header(4, 2, 2).Descriptor(0, 0, 4, 2).U8(2).U8(0).Trailer();
    QStringList W;
    EXPECT_EQ(DecodeOne(A, &W), std::vector<uint8_t>(8, 0));
    EXPECT_TRUE(W.contains("Decoder bit buffer under-run")) << W.join("; ").toStdString();

    // A transparent frame whose data stops half way shows the transparent index.
    std::vector<uint8_t> Px(64);
    for (size_t I = 0; I < Px.size(); ++I)
        Px[I] = uint8_t(I % 3);
    auto Codes = EncodeLZW(2, Px);
    Codes.resize(Codes.size() / 2);
    QByteArray B = Bytes().Header(8, 8, 2).GCE(1, 0, 3).Descriptor(0, 0, 8, 8).Codes(2, Codes).Trailer();
    std::vector<uint8_t> Got = DecodeOne(B, &W);
    ASSERT_EQ(Got.size(), 64u);
    EXPECT_EQ(Got.back(), 3);
    EXPECT_EQ(Got[0], 0);
    EXPECT_EQ(Got[1], 1);
    EXPECT_TRUE(W.contains("Decoder bit buffer under-run"));

    // A sub-block that claims more bytes than the file holds uses what is there.
    QByteArray Full = Bytes().Header(8, 8, 2).Descriptor(0, 0, 8, 8).Pixels(2, Px);
    QByteArray Cut = Full.left(Full.size() - 3);
    Got = DecodeOne(Cut, &W);
    EXPECT_TRUE(W.contains("Premature end of data"));
    EXPECT_EQ(std::vector<uint8_t>(Got.begin(), Got.begin() + 20), std::vector<uint8_t>(Px.begin(), Px.begin() + 20));
}

TEST(GIFDecoder, InterlacedRowOrder)
{
    // Rows are stored in the order 0, 4, 2, 1, 3 for a 5-row frame; each row
    // here holds its position in the data.
    std::vector<uint8_t> Data;
    for (int R = 0; R < 5; ++R)
        Data.insert(Data.end(), 2, uint8_t(R));
    QByteArray A = Bytes().Header(2, 5, 3).Descriptor(0, 0, 2, 5, 0x40).Pixels(3, Data).Trailer();
    EXPECT_EQ(DecodeOne(A), (std::vector<uint8_t>{0, 0, 3, 3, 2, 2, 4, 4, 1, 1}));
    // One row: only row 0.
    QByteArray B = Bytes().Header(3, 1, 2).Descriptor(0, 0, 3, 1, 0x40).Pixels(2, {1, 2, 3}).Trailer();
    EXPECT_EQ(DecodeOne(B), (std::vector<uint8_t>{1, 2, 3}));
}

TEST(GIFDecoder, CorruptCodesStopPlacementSafely)
{
    QStringList W;
    // Initial code sizes the tables cannot hold.
    for (int Size : {0, 12, 200}) {
        QByteArray A = Bytes().Header(4, 1, 2).Descriptor(0, 0, 4, 1).Codes(Size, {{1, 8}, {2, 8}, {3, 8}})
                           .Trailer();
        EXPECT_EQ(DecodeOne(A, &W), std::vector<uint8_t>(4, 0)) << Size;
        EXPECT_TRUE(W.contains("Invalid GIF data")) << Size;
        EXPECT_FALSE(W.contains("Invalid Image trailer")) << "the sub-blocks are skipped";
    }
    // A code beyond the next free slot.
    QByteArray B = Bytes().Header(4, 1, 2).Descriptor(0, 0, 4, 1).Codes(2, {{4, 3}, {1, 3}, {7, 3}, {5, 3}})
                       .Trailer();
    EXPECT_EQ(DecodeOne(B, &W), (std::vector<uint8_t>{1, 0, 0, 0}));
    EXPECT_TRUE(W.contains("Invalid GIF data"));
    EXPECT_FALSE(W.contains("Invalid Image trailer"));
    // A first code after a clear that is not a colour.
    QByteArray C = Bytes().Header(4, 1, 2).Descriptor(0, 0, 4, 1).Codes(2, {{4, 3}, {6, 3}, {5, 3}}).Trailer();
    EXPECT_EQ(DecodeOne(C, &W), std::vector<uint8_t>(4, 0));
    EXPECT_TRUE(W.contains("Invalid GIF data"));
    // The frame after damaged data still loads.
    QByteArray D = Bytes().Header(4, 1, 2).Descriptor(0, 0, 4, 1).Codes(2, {{4, 3}, {6, 3}, {5, 3}})
                       .Descriptor(0, 0, 4, 1).Pixels(2, {3, 2, 1, 0}).Trailer();
    Loaded L = Load(D);
    ASSERT_EQ(L.Image->Frames().Count(), 2);
    EXPECT_EQ(FramePixels(L.Image->Frames()[1]), (std::vector<uint8_t>{3, 2, 1, 0}));
}

TEST(GIFDecoder, ExtraDataAfterTheLastPixelIsSkipped)
{
    // The data holds more pixels than the frame: the next frame is still found.
    std::vector<uint8_t> Many(40, 2);
    QByteArray A = Bytes().Header(4, 1, 2).Descriptor(0, 0, 4, 1).Pixels(2, Many)
                       .Descriptor(0, 0, 4, 1).Pixels(2, {1, 1, 3, 3}).Trailer();
    Loaded L = Load(A);
    EXPECT_TRUE(L.Warnings.isEmpty()) << L.Warnings.join("; ").toStdString();
    ASSERT_EQ(L.Image->Frames().Count(), 2);
    EXPECT_EQ(FramePixels(L.Image->Frames()[1]), (std::vector<uint8_t>{1, 1, 3, 3}));
}
