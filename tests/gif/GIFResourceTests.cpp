// What a file may cost: loading and saving time linear in the frame count,
// and memory bounded by the data a file really holds.

#include "GIFTestSupport.h"

#include <QFile>
#include <gtest/gtest.h>

using namespace GIFTest;

namespace {

// Peak resident memory since the last ResetPeak, in bytes (0 when the system
// cannot tell).
int64_t StatusKiB(const char *Key)
{
    QFile F(QStringLiteral("/proc/self/status"));
    if (!F.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray &Line : F.readAll().split('\n'))
        if (Line.startsWith(Key))
            return Line.mid(qsizetype(strlen(Key))).trimmed().split(' ').value(0).toLongLong();
    return 0;
}

bool ResetPeak()
{
    QFile F(QStringLiteral("/proc/self/clear_refs"));
    return F.open(QIODevice::WriteOnly) && F.write("5") == 1;
}

// Loads Bytes and draws a thumbnail of it; returns the rise of the peak
// resident memory over the memory in use before, in MiB.
int64_t ThumbnailCostMiB(const QByteArray &Bytes, QStringList &Warnings, int &Frames)
{
    if (!ResetPeak())
        return -1;
    const int64_t Before = StatusKiB("VmRSS:");
    {
        Loaded L = Load(Bytes);
        Warnings = L.Warnings;
        Frames = L.Image ? L.Image->Frames().Count() : -1;
        if (L.Image) {
            TBitmap Thumb(120, 90);
            Thumb.Canvas()->StretchDraw(TRect(0, 0, 120, 90), L.Image.get());
            L.Image->StopDraw();
        }
    }
    return (StatusKiB("VmHWM:") - Before) / 1024;
}

} // namespace

TEST(GIFResources, ManyFramesLoadInLinearTime)
{
    // 100,000 one-pixel frames: a cost per frame that grows with the frames
    // before it would take minutes here.
    constexpr int Count = 100000;
    Bytes B;
    B.Header(4, 4, 1);
    for (int I = 0; I < Count; ++I)
        B.Descriptor(I % 4, (I / 4) % 4, 1, 1).Pixels(2, {uint8_t(I % 2)});
    B.Trailer();
    Loaded L = Load(B);
    ASSERT_TRUE(L.Image);
    EXPECT_TRUE(L.Warnings.isEmpty()) << L.Warnings.join('\n').toStdString();
    ASSERT_EQ(L.Image->Frames().Count(), Count);
    EXPECT_EQ(L.Image->Frames()[Count - 1]->Pixels(0, 0), 1);
    EXPECT_EQ(L.Image->Frames()[Count - 1]->Left(), (Count - 1) % 4);

    // The cap on all frames together still holds with the running total.
    TGIFImage Image;
    auto *Big = new TGIFSubImage(&Image);
    Image.Frames().Add(Big);
    Big->SetWidth(8192);
    Big->SetHeight(8192);   // 64 Mi pixels: the most one frame may have
    auto *Second = new TGIFSubImage(&Image);
    Image.Frames().Add(Second);
    Second->SetBoundsRect(TRect(0, 0, 8192, 8192));   // all frames together at the cap
    auto *Third = new TGIFSubImage(&Image);
    Image.Frames().Add(Third);
    EXPECT_THROW(Third->SetBoundsRect(TRect(0, 0, 8192, 2)), GIFException);
    Image.Frames().Delete(0);   // freeing a frame gives its pixels back
    Third->SetBoundsRect(TRect(0, 0, 8192, 2));
    EXPECT_EQ(Third->DataSize(), 8192 * 2);
}

TEST(GIFResources, ManyFramesSaveInLinearTime)
{
    // 100,000 frames added one by one and saved: a frame that looked at every
    // other frame (for the largest colour table, or to see whether it is
    // there already) would take minutes here.
    constexpr int Count = 100000;
    TGIFImage Image;
    SetGlobalMap(Image, {0x000000, 0xFFFFFF});
    auto *Local = new TGIFSubImage(&Image);
    for (uint32_t C : {0xFF0000u, 0x00FF00u, 0x0000FFu, 0xFFFF00u, 0x00FFFFu})
        Local->ColorMap()->Add(TColor(C));
    Local->SetBoundsRect(TRect(0, 0, 1, 1));
    Local->SetPixels(0, 0, 4);
    Image.AddFrame(Local);
    for (int I = 1; I < Count; ++I) {
        auto *F = new TGIFSubImage(&Image);
        F->SetBoundsRect(TRect(I % 4, (I / 4) % 4, I % 4 + 1, (I / 4) % 4 + 1));
        F->SetPixels(0, 0, uint8_t(I % 2));
        ASSERT_EQ(Image.AddFrame(F), I);
    }
    EXPECT_THROW(Image.AddFrame(Image.Frames()[Count - 1]), GIFException);   // already there
    const QByteArray Gif = SaveBytes(Image);

    // Frames of the global table are coded with the bits of the largest table
    // (3 for the 5 local colours), as the first frame is.
    const qsizetype Second = Gif.indexOf(QByteArray(",\x01\x00\x00\x00\x01\x00\x01\x00\x00", 10));
    ASSERT_GT(Second, 0);
    EXPECT_EQ(uint8_t(Gif[Second + 10]), 3);
    Loaded L = Load(Gif);
    ASSERT_TRUE(L.Image);
    EXPECT_TRUE(L.Warnings.isEmpty()) << L.Warnings.join('\n').toStdString();
    ASSERT_EQ(L.Image->Frames().Count(), Count);
    EXPECT_EQ(L.Image->Frames()[0]->Pixels(0, 0), 4);
    EXPECT_EQ(L.Image->Frames()[Count - 1]->Pixels(0, 0), 1);
    EXPECT_EQ(L.Image->Frames()[Count - 2]->Pixels(0, 0), 0);
    EXPECT_EQ(L.Image->Frames()[Count - 1]->Left(), (Count - 1) % 4);
    EXPECT_EQ(SaveBytes(*L.Image), Gif);
}

TEST(GIFResources, RefusedCopyLeavesTheFrameAsItWas)
{
    // Two frames hold all but 8192 x 2 pixels of what an image may hold.
    TGIFImage Image;
    SetGlobalMap(Image, {0x000000, 0x555555, 0xAAAAAA, 0xFFFFFF});
    auto *Big = new TGIFSubImage(&Image);
    Image.Frames().Add(Big);
    Big->SetBoundsRect(TRect(0, 0, 8192, 8192));
    auto *Second = new TGIFSubImage(&Image);
    Image.Frames().Add(Second);
    Second->SetBoundsRect(TRect(0, 0, 8192, 8190));
    TGIFSubImage *Target = AddFrame(Image, 1, 2, 2, 1, {1, 3});

    // Neither a frame nor a bitmap that would pass the cap may empty the target.
    TGIFImage Other;
    SetGlobalMap(Other, {0x000000, 0xFFFFFF});
    TGIFSubImage *Wide = AddFrame(Other, 0, 0, 8192, 3, std::vector<uint8_t>(size_t(8192) * 3, 1));
    EXPECT_THROW(Target->Assign(Wide), GIFException);
    TBitmap Bitmap;
    Bitmap.SetPixelFormat(pf8bit);
    Bitmap.SetSize(8192, 3);
    EXPECT_THROW(Target->Assign(&Bitmap), GIFException);
    EXPECT_EQ(Target->Left(), 1);
    EXPECT_EQ(Target->Top(), 2);
    ASSERT_EQ(Target->DataSize(), 2);
    EXPECT_EQ(Target->Pixels(0, 0), 1);
    EXPECT_EQ(Target->Pixels(1, 0), 3);

    // A copy within the cap still replaces it.
    TGIFSubImage *Small = AddFrame(Other, 0, 0, 3, 1, {0, 1, 0});
    Target->Assign(Small);
    EXPECT_EQ(Target->DataSize(), 3);
    EXPECT_EQ(Target->Pixels(1, 0), 1);
}

TEST(GIFResources, TinyFilesClaimingHugeFramesStaySmall)
{
    // 35 bytes: one 8192 x 8192 frame whose data is a clear and an end code.
    QByteArray One = Bytes()
                         .Header(8192, 8192, 1)
                         .Descriptor(0, 0, 8192, 8192)
                         .Codes(2, {{4, 3}, {0, 3}, {5, 3}})
                         .Trailer();
    // Two such frames behind graphic control extensions: an animation.
    QByteArray Two = Bytes()
                         .Header(8192, 8192, 1)
                         .GCE(0x08, 10, 0)
                         .Descriptor(0, 0, 8192, 8192)
                         .Codes(2, {{4, 3}, {1, 3}, {5, 3}})
                         .GCE(0x08, 10, 0)
                         .Descriptor(0, 0, 8192, 8192)
                         .Codes(2, {{4, 3}, {0, 3}, {5, 3}})
                         .Trailer();
    EXPECT_LE(One.size(), 40);
    EXPECT_LE(Two.size(), 90);
    for (const QByteArray &File : {One, Two}) {
        QStringList Warnings;
        int Frames = 0;
        const int64_t Cost = ThumbnailCostMiB(File, Warnings, Frames);
        if (Cost < 0)
            GTEST_SKIP() << "the peak of resident memory cannot be reset here";
        EXPECT_LT(Cost, 64) << "file of " << File.size() << " bytes";
        EXPECT_EQ(Frames, File == One ? 1 : 2);
        EXPECT_TRUE(Warnings.contains("Premature end of data"));
    }

    // A large frame drawn small costs its pixel buffer and the thumbnail,
    // not copies of the frame at full size.
    QByteArray Banded;
    {
        TGIFImage Model;
        SetGlobalMap(Model, {0xFF0000, 0x00FF00, 0x0000FF, 0xFFFFFF});
        std::vector<uint8_t> Bands(size_t(8192) * 2048);
        for (size_t I = 0; I < Bands.size(); ++I)
            Bands[I] = uint8_t((I % 8192) / 2048);
        TGIFSubImage *F = AddFrame(Model, 0, 0, 8192, 2048, Bands);
        auto *G = new TGIFGraphicControlExtension(F);
        F->Extensions().Add(G);
        G->SetTransparent(true);
        G->SetTransparentColorIndex(3);
        Banded = SaveBytes(Model);
    }
    QStringList BandWarnings;
    int BandFrames = 0;
    EXPECT_LT(ThumbnailCostMiB(Banded, BandWarnings, BandFrames), 16 + 24);
    EXPECT_EQ(BandFrames, 1);
    Loaded B = Load(Banded);
    ASSERT_TRUE(B.Image);
    TBitmap Small(128, 32);
    Small.Canvas()->Brush()->SetColor(clBlack);
    Small.Canvas()->FillRect(TRect(0, 0, 128, 32));
    Small.Canvas()->StretchDraw(TRect(0, 0, 128, 32), B.Image.get());
    EXPECT_EQ(ColorToRGB(Small.Canvas()->Pixels(16, 16)), RGB(255, 0, 0));
    EXPECT_EQ(ColorToRGB(Small.Canvas()->Pixels(48, 16)), RGB(0, 255, 0));
    EXPECT_EQ(ColorToRGB(Small.Canvas()->Pixels(80, 16)), RGB(0, 0, 255));
    EXPECT_EQ(ColorToRGB(Small.Canvas()->Pixels(112, 16)), RGB(0, 0, 0)) << "transparent band";
    EXPECT_FALSE(B.Image->Frames()[0]->HasBitmap());

    // A large frame whose data can fill it decodes as always.
    const int W = 2048, H = 1024;
    std::vector<uint8_t> Px(size_t(W) * H, 1);
    Px.back() = 0;
    Loaded L = Load(Bytes().Header(W, H, 1).Descriptor(0, 0, W, H).Pixels(2, Px).Trailer());
    ASSERT_TRUE(L.Image);
    EXPECT_TRUE(L.Warnings.isEmpty());
    TGIFSubImage *F = L.Image->Frames()[0];
    ASSERT_EQ(F->DataSize(), W * H);
    EXPECT_EQ(F->Pixels(0, 0), 1);
    EXPECT_EQ(F->Pixels(W - 1, H - 1), 0);
}
