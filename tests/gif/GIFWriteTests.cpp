// Writing: the file layout, the LZW and run-length coders, and every file we
// write as the peers read it.

#include "GIFTestSupport.h"

#include "gif/detail/GIFEncoder.h"

#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <functional>

using namespace GIFTest;

namespace {

std::vector<uint32_t> Greys(int Count)
{
    std::vector<uint32_t> Map;
    for (int I = 0; I < Count; ++I) {
        const uint32_t V = uint32_t(Count > 1 ? I * 255 / (Count - 1) : 0);
        Map.push_back((V << 16) | (V << 8) | V);
    }
    return Map;
}

// The codes of a frame's data: its sub-blocks joined and cut into codes with
// the widths a decoder would use.
std::vector<int> ReadCodes(const QByteArray &Gif, qsizetype CodeSizeAt)
{
    const int CodeSize = uint8_t(Gif[CodeSizeAt]);
    QByteArray Data;
    qsizetype Pos = CodeSizeAt + 1;
    while (Pos < Gif.size() && Gif[Pos] != 0) {
        const int N = uint8_t(Gif[Pos]);
        Data += Gif.mid(Pos + 1, N);
        Pos += N + 1;
    }
    const int Clear = 1 << CodeSize;
    int Width = CodeSize + 1, Next = Clear + 2, Limit = 2 * Clear;
    bool First = true;
    std::vector<int> Codes;
    int64_t Bit = 0;
    while (Bit + Width <= int64_t(Data.size()) * 8) {
        int Code = 0;
        for (int I = 0; I < Width; ++I, ++Bit)
            if (uint8_t(Data[qsizetype(Bit / 8)]) & (1 << (Bit % 8)))
                Code |= 1 << I;
        Codes.push_back(Code);
        if (Code == Clear + 1)
            break;
        if (Code == Clear) {
            Width = CodeSize + 1;
            Next = Clear + 2;
            Limit = 2 * Clear;
            First = true;
            continue;
        }
        if (!First && Next < 4096 && ++Next >= Limit && Limit < 4096) {
            Limit *= 2;
            ++Width;
        }
        First = false;
    }
    return Codes;
}

} // namespace

TEST(GIFWrite, VersionCodeSizeAndLoopExtension)
{
    TGIFImage Image;
    EXPECT_THROW(
        {
            try {
                SaveBytes(Image);
            } catch (const GIFException &E) {
                EXPECT_EQ(E.Message(), "Unsupported GIF version");
                throw;
            }
        },
        GIFException);

    // A 2 x 2 frame with 2 colours: version 87a and code size 2.
    SetGlobalMap(Image, {0x000000, 0xFFFFFF});
    TGIFSubImage *F = AddFrame(Image, 0, 0, 2, 2, {0, 1, 1, 0});
    QByteArray Gif = SaveBytes(Image);
    EXPECT_TRUE(Gif.startsWith("GIF87a"));
    EXPECT_EQ(uint8_t(Gif[10]), 0x80);        // global table of 2, colour resolution 1
    EXPECT_EQ(Gif[19], ',');
    EXPECT_EQ(int(Gif[29]), 2);               // the code size
    EXPECT_TRUE(Gif.endsWith(";"));

    // A comment makes it 89a; a loop extension with buffer size 0 writes
    // 3, 1, count, 0 only.
    auto *Comment = new TGIFCommentExtension(F);
    Comment->Text().Add(QString(300, QLatin1Char('c')));
    F->Extensions().Add(Comment);
    auto *Loop = new TGIFAppExtNSLoop(F);
    Loop->SetLoops(5);
    F->Extensions().Add(Loop);
    Gif = SaveBytes(Image);
    EXPECT_TRUE(Gif.startsWith("GIF89a"));
    EXPECT_TRUE(Gif.contains(QByteArray("!\xFF\x0BNETSCAPE2.0\x03\x01\x05\x00\x00,", 20)));
    EXPECT_TRUE(Gif.contains(QByteArray("!\xFE\xFF") + QByteArray(255, 'c') + QByteArray("\x2D") + QByteArray(45, 'c')
                             + QByteArray(1, '\0')));
    Loop->SetBufferSize(0x01020304);
    EXPECT_TRUE(SaveBytes(Image).contains(QByteArray("\x03\x01\x05\x00\x05\x02\x04\x03\x02\x01\x00", 11)));

    // A pixel beyond the table is refused; what was written stays written.
    F->SetPixels(1, 1, 2);
    TMemoryStream S;
    try {
        Image.SaveToStream(&S);
        ADD_FAILURE() << "no error";
    } catch (const GIFException &E) {
        EXPECT_EQ(E.Message(), "Color not in color table");
    }
    EXPECT_GT(S.Size(), 13);

    // The sub-block writer only writes.
    TMemoryStream Out;
    gifdetail::TGIFWriter Writer(&Out);
    Writer.Write("abc", 3);
    uint8_t B = 0;
    for (auto Op : std::vector<std::function<void()>>{[&] { Writer.Read(&B, 1); }, [&] { Writer.Seek(0, soBeginning); },
                                                     [&] { Writer.Size(); }}) {
        try {
            Op();
            ADD_FAILURE() << "no error";
        } catch (const Exception &E) {
            EXPECT_EQ(E.Message(), "Invalid stream operation");
        }
    }
    Writer.FlushBuffer();
    EXPECT_EQ(Out.Bytes(), QByteArray("\x03" "abc"));
}

TEST(GIFWrite, InterlacedRowsAndClearCodes)
{
    // A 3-row interlaced frame stores rows 0, 2, 1: read with the interlace
    // bit taken away, the rows come out in that order.
    TGIFImage Image;
    SetGlobalMap(Image, Greys(4));
    TGIFSubImage *F = AddFrame(Image, 0, 0, 2, 3, {0, 0, 1, 1, 2, 2});
    F->SetInterlaced(true);
    QByteArray Gif = SaveBytes(Image);
    const qsizetype Desc = 13 + 12;
    ASSERT_EQ(Gif[Desc], ',');
    EXPECT_EQ(uint8_t(Gif[Desc + 9]) & 0x40, 0x40);
    QByteArray Flat = Gif;
    Flat[Desc + 9] = char(uint8_t(Flat[Desc + 9]) & ~0x40);
    Loaded L = Load(Flat);
    ASSERT_TRUE(L.Image);
    TGIFSubImage *R = L.Image->Frames()[0];
    EXPECT_EQ(std::vector<uint8_t>(R->Data(), R->Data() + 6), (std::vector<uint8_t>{0, 0, 2, 2, 1, 1}));
    if (HavePeers())
        CheckWithPeers(Gif, Image, "interlaced 3 rows");

    // 5,000 pixels cycling through 256 colours so that pairs hardly repeat:
    // the encoder clears when its next free code reaches 4095, after
    // 4095 - 258 + 1 codes (the last of them finds the table full).
    TGIFImage Cycle;
    SetGlobalMap(Cycle, Greys(256));
    std::vector<uint8_t> Px(5000);
    for (size_t I = 0; I < Px.size(); ++I)
        Px[I] = uint8_t((I * (I / 256 * 2 + 1)) & 255);
    AddFrame(Cycle, 0, 0, 100, 50, Px);
    Gif = SaveBytes(Cycle);
    std::vector<int> Codes = ReadCodes(Gif, 13 + 768 + 10);
    std::vector<size_t> Clears;
    for (size_t I = 0; I < Codes.size(); ++I)
        if (Codes[I] == 256)
            Clears.push_back(I);
    ASSERT_GE(Clears.size(), 2u);
    EXPECT_EQ(Clears[0], 0u);
    EXPECT_EQ(Clears[1] - Clears[0] - 1, size_t(4095 - 258 + 1));
    EXPECT_EQ(Codes.back(), 257);
    if (HavePeers())
        CheckWithPeers(Gif, Cycle, "5000 cycling pixels");
}

TEST(GIFWrite, RunLengthCodesKeepTheirClearLimits)
{
    // Long runs and short ones at code sizes 2, 3, 4 and 8: a clear at least
    // every 9 codes up to code size 3, else every ClearCode - 2 codes, so
    // the decoder's table never needs a wider code than the first.
    std::mt19937 Rng(3);
    for (int Bits : {1, 2, 3, 4, 8}) {
        TGIFImage Image;
        Image.SetCompression(1);
        SetGlobalMap(Image, Greys(1 << Bits));
        std::vector<uint8_t> Px;
        while (Px.size() < 20000) {
            const size_t Len = Rng() % 4 ? 1 + Rng() % 5 : 1 + Rng() % 3000;
            Px.insert(Px.end(), Len, uint8_t(Rng() % (1u << Bits)));
        }
        Px.resize(20000);
        AddFrame(Image, 0, 0, 200, 100, Px);
        const QByteArray Gif = SaveBytes(Image);
        const int CodeSize = std::max(Bits, 2);
        const std::vector<int> Codes = ReadCodes(Gif, 13 + 3 * (1 << Bits) + 10);
        const int Clear = 1 << CodeSize;
        const size_t Limit = CodeSize <= 3 ? 9 : size_t(Clear - 2);
        size_t Run = 0, Longest = 0;
        for (int C : Codes) {
            Run = C == Clear ? 0 : Run + 1;
            Longest = std::max(Longest, Run);
        }
        EXPECT_LE(Longest, Limit + 1) << Bits << " bits";   // the end code follows the last run
        Loaded L = Load(Gif);
        ASSERT_TRUE(L.Image);
        EXPECT_TRUE(std::equal(Px.begin(), Px.end(), L.Image->Frames()[0]->Data())) << Bits << " bits";
        EXPECT_LT(Gif.size(), 20000) << "runs take fewer codes than pixels";
    }
}

TEST(GIFWrite, PeersReadWhatWeWrite)
{
    if (!HavePeers())
        GTEST_SKIP() << "giflib tools, gifsicle, ImageMagick or Pillow missing";
    std::mt19937 Rng(7);
    for (int Compression : {0, 1}) {
        const std::string Coder = Compression ? "RLE " : "LZW ";
        // Every code size, noise and runs, interlaced or not.
        for (int Bits = 1; Bits <= 8; ++Bits) {
            for (int Kind = 0; Kind < 3; ++Kind) {
                TGIFImage Image;
                Image.SetCompression(Compression);
                const int Colors = 1 << Bits;
                SetGlobalMap(Image, RandomMap(Rng, Colors));
                const int W = 61, H = 37;
                std::vector<uint8_t> Px;
                if (Kind == 0) {
                    Px = RandomPixels(Rng, W * H, Colors);
                } else {
                    // Runs of every length up to a few hundred.
                    while (int(Px.size()) < W * H) {
                        const int Len = Kind == 1 ? 1 + int(Rng() % 12) : 1 + int(Rng() % 400);
                        Px.insert(Px.end(), size_t(Len), uint8_t(Rng() % unsigned(Colors)));
                    }
                    Px.resize(size_t(W) * H);
                }
                TGIFSubImage *F = AddFrame(Image, 0, 0, W, H, Px);
                F->SetInterlaced(Kind == 2);
                CheckWithPeers(SaveBytes(Image), Image,
                               Coder + std::to_string(Bits) + " bits, kind " + std::to_string(Kind));
            }
        }
        // One long run (more than the table could hold) and a single pixel.
        TGIFImage Long;
        Long.SetCompression(Compression);
        SetGlobalMap(Long, Greys(16));
        std::vector<uint8_t> Px(size_t(400) * 300, 9);
        Px[12345] = 3;
        AddFrame(Long, 0, 0, 400, 300, Px);
        CheckWithPeers(SaveBytes(Long), Long, Coder + "long runs");
        TGIFImage One;
        One.SetCompression(Compression);
        SetGlobalMap(One, Greys(2));
        AddFrame(One, 0, 0, 1, 1, {1});
        CheckWithPeers(SaveBytes(One), One, Coder + "1 x 1");

        // An animation: global and local tables, transparency, a comment and
        // a loop, frames that do not cover the screen.
        TGIFImage Anim;
        Anim.SetCompression(Compression);
        SetGlobalMap(Anim, RandomMap(Rng, 8));
        TGIFSubImage *F0 = AddFrame(Anim, 0, 0, 40, 30, RandomPixels(Rng, 40 * 30, 8));
        auto *Loop = new TGIFAppExtNSLoop(F0);
        F0->Extensions().Add(Loop);
        auto *G0 = new TGIFGraphicControlExtension(F0);
        G0->SetDelay(20);
        F0->Extensions().Add(G0);
        TGIFSubImage *F1 = AddFrame(Anim, 5, 7, 20, 10, RandomPixels(Rng, 200, 5), RandomMap(Rng, 5));
        auto *G1 = new TGIFGraphicControlExtension(F1);
        G1->SetDelay(30);
        G1->SetDisposal(1);
        G1->SetTransparent(true);
        G1->SetTransparentColorIndex(2);
        F1->Extensions().Add(G1);
        auto *C1 = new TGIFCommentExtension(F1);
        C1->Text().Add("made by our writer");
        F1->Extensions().Add(C1);
        // Transparency is read from the extension: reload the model so its
        // frames know it, as every reader will.
        Loaded Model = Load(SaveBytes(Anim));
        ASSERT_TRUE(Model.Image);
        ASSERT_TRUE(Model.Image->Frames()[1]->Transparent());
        Model.Image->SetCompression(Compression);
        CheckWithPeers(SaveBytes(*Model.Image), *Model.Image, Coder + "animation");
    }
}

TEST(GIFWrite, PeerAnimationsWrittenBackUnchanged)
{
    if (!HavePeers() || QStandardPaths::findExecutable("gifdiff").isEmpty())
        GTEST_SKIP() << "ImageMagick, gifsicle or gifdiff missing";
    QTemporaryDir Dir;
    const QString Magick = Dir.filePath("magick.gif");
    ASSERT_EQ(RunTool("convert", {"-size", "48x32", "-delay", "7", "plasma:fractal", "(", "+clone", "-fill", "yellow",
                                  "-draw", "rectangle 5,5 20,20", ")", "(", "+clone", "-fill", "blue", "-draw",
                                  "circle 30,16 30,26", ")", "-loop", "3", Magick})
                  .Code,
              0);
    const QString Optimised = Dir.filePath("gifsicle.gif");
    ASSERT_EQ(RunTool("gifsicle", {"-O2", "--disposal", "background", Magick, "-o", Optimised}).Code, 0);
    const QString Interlaced = Dir.filePath("interlaced.gif");
    ASSERT_EQ(RunTool("gifsicle", {"--interlace", "--colors", "16", Magick, "-o", Interlaced}).Code, 0);
    for (const QString &Source : {Magick, Optimised, Interlaced})
        for (int Compression : {0, 1}) {
            Loaded L = Load(ReadFile(Source));
            ASSERT_TRUE(L.Image);
            L.Image->SetCompression(Compression);
            const QString Back = Dir.filePath("back.gif");
            L.Image->SaveToFile(Back);
            ToolResult Diff = RunTool("gifdiff", {Source, Back});
            EXPECT_EQ(Diff.Code, 0) << QFileInfo(Source).fileName().toStdString() << " compression " << Compression
                                    << ": " << Diff.Out.toStdString();
            ToolResult Info = RunTool("gifsicle", {"--info", Back});
            EXPECT_TRUE(Info.Err.isEmpty()) << Info.Err.toStdString();
        }
}

TEST(GIFWrite, FailedSaveLeavesTheOldFile)
{
    QTemporaryDir Dir;
    const QString Target = Dir.filePath("picture.gif");
    WriteFile(Target, "old content");
    TGIFImage Image;
    SetGlobalMap(Image, Greys(2));
    AddFrame(Image, 0, 0, 2, 1, {0, 5});   // 5 is not in the table
    EXPECT_THROW(Image.SaveToFile(Target), GIFException);
    EXPECT_THROW(Image.Frames()[0]->SaveToFile(Target), GIFException);
    EXPECT_EQ(ReadFile(Target), "old content");
    EXPECT_EQ(QDir(Dir.path()).entryList(QDir::Files), QStringList{"picture.gif"});
    Image.Frames()[0]->SetPixels(1, 0, 1);
    Image.SaveToFile(Target);
    EXPECT_TRUE(ReadFile(Target).startsWith("GIF87a"));
}

TEST(GIFWrite, UnwritableFileNamedInChinese)
{
    QTemporaryDir Dir;
    const QString Target = Dir.filePath("missing/picture.gif");
    TGIFImage Image;
    SetGlobalMap(Image, Greys(2));
    AddFrame(Image, 0, 0, 2, 1, {0, 1});
    try {
        Image.Frames()[0]->SaveToFile(Target);
        FAIL() << "saved into a missing folder";
    } catch (const EFCreateError &E) {
        EXPECT_TRUE(E.Message().startsWith(QStringLiteral("无法创建文件“%1”。").arg(Target))) << E.Message().toStdString();
    }
}

TEST(GIFWrite, ExtensionsWrittenAsRead)
{
    // An application block of 10 bytes keeps its size: written as 11, its
    // first data byte would complete "NETSCAPE2." into the loop identifier.
    const QByteArray Odd = QByteArray("!\xFF\x0A" "NETSCAPE2." "\x03\x01\x05\x00\x00", 18);
    const QByteArray File = Bytes().Header(1, 1, 1).Raw(Odd).Descriptor(0, 0, 1, 1).Pixels(2, {1}).Trailer();
    Loaded L = Load(File);
    ASSERT_TRUE(L.Image);
    const QByteArray Back = SaveBytes(*L.Image);
    EXPECT_TRUE(Back.contains(Odd)) << Back.toHex().toStdString();
    Loaded Again = Load(Back);
    ASSERT_TRUE(Again.Image);
    EXPECT_EQ(Again.Image->Frames()[0]->Extensions().Count(), 1);
}

TEST(GIFWrite, UnregisteredExtensionsKeptAndWrittenBack)
{
    // Labels no class reads, one with two sub-blocks and one with none, are
    // kept before their frame and written back byte for byte.
    const QByteArray Named("!\x42\x02" "ab" "\x01" "c" "\x00", 8);
    const QByteArray Empty("!\x43\x00", 3);
    const QByteArray File = Bytes().Header(1, 1, 1).Raw(Named).Raw(Empty).Descriptor(0, 0, 1, 1).Pixels(2, {1}).Trailer();
    Loaded L = Load(File);
    ASSERT_TRUE(L.Image) << LoadError(File).toStdString();
    EXPECT_TRUE(L.Warnings.isEmpty()) << L.Warnings.join('\n').toStdString();
    TGIFExtensionList &Ext = L.Image->Frames()[0]->Extensions();
    ASSERT_EQ(Ext.Count(), 2);
    auto *Unknown = dynamic_cast<TGIFUnknownExtension *>(Ext.Extensions(0));
    ASSERT_NE(Unknown, nullptr);
    EXPECT_EQ(Unknown->GetExtensionType(), 0x42);
    EXPECT_EQ(Unknown->Data(), QByteArray("\x02" "ab" "\x01" "c", 5));
    EXPECT_EQ(Ext.Extensions(1)->GetExtensionType(), 0x43);
    EXPECT_EQ(SaveBytes(*L.Image), File);
    // A copy of the frame keeps them too.
    TGIFImage Copy;
    Copy.Assign(L.Image.get());
    EXPECT_EQ(SaveBytes(Copy), File);

    // Data cut by the end of the file keeps what is there, with a size byte
    // that matches it.
    Loaded Cut = Load(Bytes().Header(1, 1, 1).Descriptor(0, 0, 1, 1).Pixels(2, {1}).U8('!').U8(0xCE).U8(5).Raw("ab"));
    ASSERT_TRUE(Cut.Image);
    ASSERT_EQ(Cut.Image->Frames().Count(), 2);
    EXPECT_TRUE(SaveBytes(*Cut.Image).endsWith(QByteArray("!\xCE\x02" "ab" "\x00;", 7)));

    // Frame names as gifsicle writes them (label 0xCE): read, and written
    // back so that giflib and gifsicle read the names again.
    if (!HaveTools())
        GTEST_SKIP() << "gifsicle or giflib tools missing";
    QTemporaryDir Dir;
    TGIFImage Anim;
    SetGlobalMap(Anim, Greys(4));
    AddFrame(Anim, 0, 0, 4, 2, {0, 1, 2, 3, 3, 2, 1, 0});
    AddFrame(Anim, 1, 0, 2, 2, {1, 1, 2, 2});
    const QString Plain = Dir.filePath("plain.gif");
    WriteFile(Plain, SaveBytes(Anim));
    const QString Source = Dir.filePath("named.gif");
    ASSERT_EQ(RunTool("gifsicle", {"--name", "frame one", Plain, "#0", "--name", "two", Plain, "#1", "-o", Source}).Code, 0);
    const QByteArray Original = ReadFile(Source);
    ASSERT_TRUE(Original.contains(QByteArray("!\xCE\x09" "frame one" "\x00", 13)));
    Loaded Named2 = Load(Original);
    ASSERT_TRUE(Named2.Image) << LoadError(Original).toStdString();
    ASSERT_EQ(Named2.Image->Frames().Count(), 2);
    auto *Name = dynamic_cast<TGIFUnknownExtension *>(Named2.Image->Frames()[1]->Extensions().Extensions(0));
    ASSERT_NE(Name, nullptr);
    EXPECT_EQ(Name->GetExtensionType(), 0xCE);
    EXPECT_EQ(Name->Data(), QByteArray("\x03" "two", 4));

    const QString Back = Dir.filePath("back.gif");
    Named2.Image->SaveToFile(Back);
    ToolResult Info = RunTool("gifsicle", {"--info", Back});
    EXPECT_EQ(Info.Code, 0);
    EXPECT_TRUE(Info.Err.isEmpty()) << Info.Err.toStdString();
    EXPECT_TRUE(Info.Out.contains("+ image #0 #frame one 4x2")) << Info.Out.toStdString();
    EXPECT_TRUE(Info.Out.contains("+ image #1 #two 2x2")) << Info.Out.toStdString();
    const QByteArray Dump = GIFTest::Run("gifbuild", {"-d", Back});
    EXPECT_TRUE(Dump.contains("extension 0xce\nframe oneend")) << Dump.toStdString();
    EXPECT_TRUE(Dump.contains("extension 0xce\ntwoend")) << Dump.toStdString();
    ToolResult Diff = RunTool("gifdiff", {Source, Back});
    EXPECT_EQ(Diff.Code, 0) << Diff.Out.toStdString();
}
