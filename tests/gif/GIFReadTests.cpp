// The file reader: signature, blocks, extensions, warnings and errors, the
// colour tables and frame access.

#include "GIFTestSupport.h"

#include <gtest/gtest.h>

using namespace GIFTest;

namespace {

QByteArray OneFrame(const char *Version = "GIF89a")
{
    return Bytes().Header(2, 2, 1, Version).Descriptor(0, 0, 2, 2).Pixels(2, {0, 1, 1, 0}).Trailer();
}

} // namespace

TEST(GIFRead, SignatureAndVersion)
{
    EXPECT_EQ(LoadError(OneFrame()), "");
    EXPECT_EQ(LoadError(OneFrame("gif89a")), "");
    EXPECT_EQ(LoadError(OneFrame("GIF90a")), "");
    EXPECT_EQ(LoadError(QByteArray("JUNK") + OneFrame()), "");
    EXPECT_EQ(LoadError(QByteArray("JNK") + OneFrame()), "Invalid GIF signature");
    EXPECT_EQ(LoadError(QByteArray("JUNK!") + OneFrame()), "Invalid GIF signature");
    EXPECT_EQ(LoadError(QByteArray("GIF8")), "Premature end of data");
    EXPECT_EQ(LoadError(QByteArray()), "Premature end of data");
    EXPECT_EQ(LoadError(OneFrame().left(10)), "Premature end of data");   // screen descriptor cut
    EXPECT_EQ(LoadError(OneFrame().left(15)), "Premature end of data");   // colour table cut

    // A failed load leaves the stream where the GIF began.
    TGIFImage Image;
    TMemoryStream S;
    S.WriteBytes(QByteArray("abc") + QByteArray("JNK") + OneFrame());
    S.SetPosition(3);
    EXPECT_THROW(Image.LoadFromStream(&S), GIFException);
    EXPECT_EQ(S.Position(), 3);
    // A load that fails after some frames leaves the image empty.
    TMemoryStream U;
    U.WriteBytes(Bytes().Header(2, 1, 1).Descriptor(0, 0, 2, 1).Pixels(2, {1, 0}).U8('!'));
    U.SetPosition(0);
    EXPECT_THROW(Image.LoadFromStream(&U), GIFException);
    EXPECT_TRUE(Image.Empty());
    EXPECT_EQ(Image.Width(), 0);
    // A good load leaves it after the trailer.
    TMemoryStream T;
    T.WriteBytes(OneFrame() + "tail");
    T.SetPosition(0);
    Image.LoadFromStream(&T);
    EXPECT_EQ(T.Position(), OneFrame().size());
    EXPECT_EQ(Image.Width(), 2);
    EXPECT_FALSE(Image.Empty());
}

TEST(GIFRead, BlockListEdges)
{
    QStringList W;
    // Zero bytes between blocks are skipped; no trailer is no warning.
    QByteArray A = Bytes().Header(2, 1, 1).U8(0).U8(0).Descriptor(0, 0, 2, 1).Pixels(2, {1, 0}).U8(0)
                       .Descriptor(0, 0, 2, 1).Pixels(2, {0, 1});
    EXPECT_EQ(LoadError(A, &W), "");
    EXPECT_TRUE(W.isEmpty()) << W.join("; ").toStdString();
    EXPECT_EQ(Load(A).Image->Frames().Count(), 2);

    // A stray byte where a block should start.
    QByteArray B = Bytes().Header(2, 1, 1).Descriptor(0, 0, 2, 1).Pixels(2, {1, 0}).U8(0x99)
                       .Descriptor(0, 0, 2, 1).Pixels(2, {0, 1}).Trailer();
    Loaded L = Load(B);
    EXPECT_EQ(L.Image->Frames().Count(), 1);
    EXPECT_EQ(L.Warnings, (QStringList{"Unknown GIF block type", "Invalid Image trailer"}));

    // A comment after the last image: a frame without pixels.
    QByteArray C = Bytes().Header(2, 1, 1).Descriptor(0, 0, 2, 1).Pixels(2, {1, 0})
                       .U8('!').U8(0xFE).U8(3).Raw("abc").U8(0).Trailer();
    L = Load(C);
    ASSERT_EQ(L.Image->Frames().Count(), 2);
    EXPECT_TRUE(L.Image->Frames()[1]->Empty());
    EXPECT_EQ(L.Image->Frames()[1]->Extensions().Count(), 1);
    EXPECT_EQ(L.Warnings, QStringList{"Invalid extension introducer"});
}

TEST(GIFRead, FrameAndScreenSizes)
{
    // A frame of width 0 takes the logical screen's size.
    QByteArray A = Bytes().Header(3, 2, 1).Descriptor(0, 0, 0, 2).Pixels(2, {1, 0, 1, 0, 1, 0}).Trailer();
    Loaded L = Load(A);
    EXPECT_EQ(L.Warnings, QStringList{"Image exceeds Logical Screen size"});
    EXPECT_EQ(L.Image->Frames()[0]->Width(), 3);
    EXPECT_EQ(L.Image->Frames()[0]->Height(), 2);

    // A 0 x 0 screen grows to cover its frames.
    QByteArray B = Bytes().Header(0, 0, 1).Descriptor(1, 2, 3, 1).Pixels(2, {1, 1, 1}).Trailer();
    L = Load(B);
    EXPECT_EQ(L.Image->Width(), 4);
    EXPECT_EQ(L.Image->Height(), 3);
    EXPECT_EQ(L.Warnings, QStringList{"Image exceeds Logical Screen size"});

    // Sizes beyond the limits are refused before anything is allocated.
    QByteArray C = Bytes().Header(65535, 65535, 1).Descriptor(0, 0, 65535, 65535).Pixels(2, {1}).Trailer();
    EXPECT_EQ(LoadError(C), "Invalid image dimensions");
}

TEST(GIFRead, ColorTables)
{
    // Flags 0x87: 256 global colours.
    Bytes A;
    A.Raw("GIF89a").U16(1).U16(1).U8(0x87).U8(0).U8(0);
    for (int I = 0; I < 256; ++I)
        A.U8(I).U8(255 - I).U8(7);
    A.Descriptor(0, 0, 1, 1).Pixels(8, {200}).Trailer();
    Loaded L = Load(A);
    TGIFColorMap *Map = L.Image->GlobalColorMap();
    EXPECT_EQ(Map->Count(), 256);
    EXPECT_EQ(Map->BitsPerPixel(), 8);
    EXPECT_EQ(uint32_t(Map->Colors(200)), 0x000737C8u);
    EXPECT_THROW(Map->Add(TColor(0)), GIFException);
    // A bad index warns and reads entry 0.
    L.Warnings.clear();
    EXPECT_EQ(uint32_t(Map->Colors(300)), 0x07FF00u);
    EXPECT_EQ(L.Warnings, QStringList{"Invalid color index"});

    TGIFImage Image;
    TGIFColorMap *M = Image.GlobalColorMap();
    EXPECT_EQ(M->BitsPerPixel(), 0);
    try {
        M->Colors(0);
        ADD_FAILURE();
    } catch (const GIFException &E) {
        EXPECT_EQ(E.Message(), "Color table is empty");
    }
    EXPECT_EQ(M->Add(TColor(0x0000FF)), 0);
    EXPECT_EQ(M->Capacity(), 16);
    for (int I = 1; I < 17; ++I)
        M->Add(TColor(0x0000FF));
    EXPECT_EQ(M->Capacity(), 32);
    EXPECT_EQ(M->BitsPerPixel(), 5);
    // Unsorted tables are searched from the end, sorted ones from the start.
    EXPECT_EQ(M->IndexOf(TColor(0x0000FF)), 16);
    M->SetOptimized(true);
    EXPECT_EQ(M->IndexOf(TColor(0x0000FF)), 0);
    EXPECT_EQ(M->IndexOf(TColor(0x123456)), -1);
    try {
        M->Delete(17);
        ADD_FAILURE();
    } catch (const GIFException &E) {
        EXPECT_EQ(E.Message(), "Invalid color index");
    }
    M->Delete(0);
    EXPECT_FALSE(M->Optimized());
    EXPECT_EQ(M->Count(), 16);
}

TEST(GIFRead, OptimizeSortsByUseAndDropsUnused)
{
    // 4 colours; pixels use 2 most, then 3, colour 0 and 1 never.
    QByteArray A = Bytes().Header(5, 1, 2).GCE(1, 0, 3).Descriptor(0, 0, 5, 1).Pixels(2, {2, 2, 3, 2, 3})
                       .Trailer();
    Loaded L = Load(A);
    TGIFColorMap *Map = L.Image->GlobalColorMap();
    TColor C2 = Map->Colors(2), C3 = Map->Colors(3);
    EXPECT_TRUE(Map->Optimize());
    EXPECT_TRUE(Map->Optimized());
    EXPECT_EQ(Map->Count(), 2);
    EXPECT_EQ(Map->Colors(0), C2);
    EXPECT_EQ(Map->Colors(1), C3);
    TGIFSubImage *F = L.Image->Frames()[0];
    EXPECT_EQ(std::vector<uint8_t>(F->Data(), F->Data() + 5), (std::vector<uint8_t>{0, 0, 1, 0, 1}));
    EXPECT_EQ(F->GraphicControlExtension()->TransparentColorIndex(), 1);
    // Fewer than 2 entries: nothing to do.
    TGIFImage Empty;
    EXPECT_FALSE(Empty.GlobalColorMap()->Optimize());
}

TEST(GIFRead, Extensions)
{
    QStringList W;
    // Loop extension: sub-block 3, 1, 0, 0 means for ever; buffer size kept.
    QByteArray A = Bytes().Header(1, 1, 1).U8('!').U8(0xFF).U8(11).Raw("NETSCAPE2.0").U8(3).U8(1).U16(0)
                       .U8(5).U8(2).U8(0x10).U8(0).U8(0).U8(0).U8(0)
                       .Descriptor(0, 0, 1, 1).Pixels(2, {1}).Trailer();
    Loaded L = Load(A);
    ASSERT_EQ(L.Image->Frames()[0]->Extensions().Count(), 1);
    auto *Loop = dynamic_cast<TGIFAppExtNSLoop *>(L.Image->Frames()[0]->Extensions().Extensions(0));
    ASSERT_NE(Loop, nullptr);
    EXPECT_EQ(Loop->Loops(), 0);
    EXPECT_EQ(Loop->BufferSize(), 16u);
    EXPECT_TRUE(L.Warnings.isEmpty());

    // Same for the other identifier; an unknown one keeps its blocks.
    QByteArray B = Bytes().Header(1, 1, 1).U8('!').U8(0xFF).U8(11).Raw("ANIMEXTS1.0").U8(3).U8(1).U16(7).U8(0)
                       .U8('!').U8(0xFF).U8(11).Raw("XMP DataXMP").U8(2).Raw("hi").U8(1).Raw("!").U8(0)
                       .Descriptor(0, 0, 1, 1).Pixels(2, {1}).Trailer();
    L = Load(B);
    ASSERT_EQ(L.Image->Frames()[0]->Extensions().Count(), 2);
    EXPECT_EQ(dynamic_cast<TGIFAppExtNSLoop *>(L.Image->Frames()[0]->Extensions().Extensions(0))->Loops(), 7);
    auto *Unknown = dynamic_cast<TGIFUnknownAppExtension *>(L.Image->Frames()[0]->Extensions().Extensions(1));
    ASSERT_NE(Unknown, nullptr);
    EXPECT_EQ(Unknown->Identifier(), "XMP DataXMP");
    ASSERT_EQ(Unknown->BlockCount(), 2);
    EXPECT_EQ(Unknown->Blocks(0).Data(), "hi");
    // It writes its blocks back unchanged.
    TMemoryStream Out;
    Unknown->SaveToStream(&Out);
    EXPECT_EQ(Out.Bytes(), QByteArray("!\xFF\x0BXMP DataXMP\x02hi\x01!\x00", 20));

    // Application block size 9 fails; a short loop sub-block fails.
    QByteArray C = Bytes().Header(1, 1, 1).U8('!').U8(0xFF).U8(9).Raw("NETSCAPE2").U8(0)
                       .Descriptor(0, 0, 1, 1).Pixels(2, {1}).Trailer();
    EXPECT_EQ(LoadError(C), "Unsupported Application Extension block size");
    QByteArray D = Bytes().Header(1, 1, 1).U8('!').U8(0xFF).U8(11).Raw("NETSCAPE2.0").U8(2).U8(1).U8(0).U8(0)
                       .Descriptor(0, 0, 1, 1).Pixels(2, {1}).Trailer();
    EXPECT_EQ(LoadError(D), "Invalid GIF data");
    // The stream ending after "!" leaves no extension type (an unregistered
    // label is an extension of its own: GIFWrite.UnregisteredExtensionsKeptAndWrittenBack).
    EXPECT_EQ(LoadError(Bytes().Header(1, 1, 1).U8('!')), "Unknown extension type");
    EXPECT_EQ(LoadError(Bytes().Header(1, 1, 1).U8('!').U8(0xFF)), "Unknown extension type");
    // A short graphic control block warns.
    QByteArray F = Bytes().Header(1, 1, 1).U8('!').U8(0xF9).U8(4).U8(1);
    EXPECT_EQ(LoadError(F, &W), "");
    EXPECT_TRUE(W.contains("Premature end of data"));
    // Comment and plain text: one string per sub-block.
    QByteArray G = Bytes().Header(1, 1, 1).U8('!').U8(0xFE).U8(2).Raw("ab").U8(1).Raw("c").U8(0)
                       .U8('!').U8(0x01).U8(12).U16(1).U16(2).U16(3).U16(4).U8(5).U8(6).U8(7).U8(8)
                       .U8(3).Raw("xyz").U8(0)
                       .Descriptor(0, 0, 1, 1).Pixels(2, {1}).Trailer();
    L = Load(G);
    ASSERT_EQ(L.Image->Frames()[0]->Extensions().Count(), 2);
    auto *Comment = dynamic_cast<TGIFCommentExtension *>(L.Image->Frames()[0]->Extensions().Extensions(0));
    ASSERT_NE(Comment, nullptr);
    EXPECT_EQ(Comment->Text().Count(), 2);
    EXPECT_EQ(Comment->Text()[1], "c");
    auto *Text = dynamic_cast<TGIFTextExtension *>(L.Image->Frames()[0]->Extensions().Extensions(1));
    ASSERT_NE(Text, nullptr);
    EXPECT_EQ(Text->Record().Height, 4);
    EXPECT_EQ(Text->Text()[0], "xyz");
    // A cut comment sub-block fails.
    EXPECT_EQ(LoadError(Bytes().Header(1, 1, 1).U8('!').U8(0xFE).U8(9).Raw("ab")), "Premature end of data");
}

TEST(GIFRead, FrameAccessAndBounds)
{
    Loaded L = Load(Bytes().Header(4, 3, 2).GCE(1, 0, 2).Descriptor(1, 1, 2, 2).Pixels(2, {0, 1, 2, 3}).Trailer());
    TGIFSubImage *F = L.Image->Frames()[0];
    EXPECT_EQ(F->Pixels(1, 1), 3);
    EXPECT_EQ(F->RowData(1)[0], 2);
    for (auto [X, Y] : std::vector<std::pair<int, int>>{{-1, 0}, {2, 0}, {0, 2}, {0, -1}}) {
        try {
            F->Pixels(X, Y);
            ADD_FAILURE() << X << "," << Y;
        } catch (const GIFException &E) {
            EXPECT_EQ(E.Message(), "Invalid pixel coordinates");
        }
    }
    // Transparent index beyond the table: warning, 0 stored.
    L.Warnings.clear();
    F->GraphicControlExtension()->SetTransparentColorIndex(4);
    EXPECT_EQ(F->GraphicControlExtension()->TransparentColorIndex(), 0);
    EXPECT_EQ(L.Warnings, QStringList{"Invalid color index"});

    // Growing a frame past the screen enlarges it with warnings.
    L.Warnings.clear();
    F->SetWidth(5);
    EXPECT_EQ(F->DataSize(), 10);
    EXPECT_EQ(F->Pixels(4, 1), 0);
    EXPECT_EQ(L.Image->Width(), 6);
    EXPECT_EQ(L.Warnings, (QStringList{"Image width too small for contained frames", "Image exceeds Logical Screen size"}));
    // The image cannot shrink below its frames.
    try {
        L.Image->SetHeight(2);
        ADD_FAILURE();
    } catch (const GIFException &E) {
        EXPECT_EQ(E.Message(), "Image height too small for contained frames");
    }
    L.Image->SetHeight(7);
    EXPECT_EQ(L.Image->Height(), 7);

    // A new frame with no size: pixel access reports it empty.
    TGIFImage Image;
    TGIFSubImage Lone(&Image);
    try {
        Lone.Pixels(0, 0);
        ADD_FAILURE();
    } catch (const GIFException &E) {
        EXPECT_EQ(E.Message(), "Image is empty");
    }
}
