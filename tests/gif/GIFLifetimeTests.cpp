// Items that outlive what they were made for: frames kept apart from their
// image or put in another image's list, extensions kept apart from their
// frame, a header kept apart from its image. None may reach the freed owner
// (these run under the address sanitizer), and a list owns an item only once.

#include "GIFTestSupport.h"

#include <gtest/gtest.h>

using namespace GIFTest;

namespace {

std::unique_ptr<TGIFImage> TwoColourImage()
{
    auto Image = std::make_unique<TGIFImage>();
    SetGlobalMap(*Image, {0x000000, 0xFF0000});
    Image->Header().SetWidth(4);
    Image->Header().SetHeight(2);
    return Image;
}

void Fill(TGIFSubImage &Frame, int Width, int Height, uint8_t Value)
{
    Frame.SetBoundsRect(TRect(0, 0, Width, Height));
    for (int Y = 0; Y < Height; ++Y)
        for (int X = 0; X < Width; ++X)
            Frame.SetPixels(X, Y, Value);
}

} // namespace

TEST(GIFLifetime, FramesOutliveTheirImage)
{
    auto Image = TwoColourImage();
    // Kept by the caller, with an extension and a local table.
    auto Kept = std::make_unique<TGIFSubImage>(Image.get());
    Kept->ColorMap()->Add(clBlue);
    Kept->ColorMap()->Add(clLime);
    Fill(*Kept, 3, 2, 1);
    auto *Comment = new TGIFCommentExtension(Kept.get());
    Comment->Text().Add("kept");
    Kept->Extensions().Add(Comment);
    // Owned by another image's list.
    TGIFImage Other;
    SetGlobalMap(Other, {0x000000, 0xFFFFFF});
    auto *Moved = new TGIFSubImage(Image.get());
    Other.Frames().Add(Moved);
    Moved->ColorMap()->Add(clRed);
    Moved->ColorMap()->Add(clWhite);
    Fill(*Moved, 2, 2, 1);

    Image.reset();
    EXPECT_EQ(Kept->Image(), nullptr);
    EXPECT_EQ(Comment->Image(), nullptr);
    EXPECT_EQ(Moved->Image(), nullptr);
    // Both frames still work, without an image.
    Fill(*Kept, 4, 2, 0);
    EXPECT_EQ(Kept->Pixels(3, 1), 0);
    EXPECT_EQ(Kept->ActiveColorMap(), Kept->ColorMap());
    Kept->Warning(gsWarning, "no image to tell");
    EXPECT_FALSE(Kept->Bitmap().isNull());
    // A frame without an image is copied, not taken over.
    EXPECT_EQ(Other.AddFrame(Kept.get()), 1);
    EXPECT_NE(Other.Frames()[1], Kept.get());
    EXPECT_EQ(Other.Frames()[1]->Image(), &Other);

    const QByteArray Saved = SaveBytes(Other);
    Loaded Back = Load(Saved);
    ASSERT_TRUE(Back.Image);
    ASSERT_EQ(Back.Image->Frames().Count(), 2);
    EXPECT_EQ(Back.Image->Frames()[0]->Width(), 2);
    EXPECT_EQ(Back.Image->Frames()[1]->Width(), 4);
    EXPECT_EQ(Back.Image->Frames()[1]->Extensions().Count(), 1);
    Kept.reset();   // its pixels were counted in the freed image
}

TEST(GIFLifetime, AFrameHasOneOwner)
{
    auto A = TwoColourImage();
    TGIFImage B;
    SetGlobalMap(B, {0x000000, 0xFF0000});
    // Made for A but owned by B: A copies it rather than taking it over.
    auto *F = new TGIFSubImage(A.get());
    F->ColorMap()->Add(clBlack);
    F->ColorMap()->Add(clRed);
    Fill(*F, 2, 2, 1);
    B.Frames().Add(F);
    EXPECT_TRUE(F->Listed());
    EXPECT_EQ(A->AddFrame(F), 0);
    EXPECT_NE(A->Frames()[0], F);
    EXPECT_EQ(A->Frames()[0]->Pixels(1, 1), 1);
    // A second list is refused and the first keeps it.
    EXPECT_THROW(A->Frames().Add(F), EListError);
    EXPECT_THROW(A->Frames().Insert(0, F), EListError);
    EXPECT_EQ(A->Frames().Count(), 1);
    EXPECT_EQ(B.Frames().IndexOf(F), 0);
    // The same for extensions.
    auto *G = new TGIFGraphicControlExtension(F);
    F->Extensions().Add(G);
    EXPECT_THROW(A->Frames()[0]->Extensions().Add(G), EListError);
    EXPECT_EQ(A->Frames()[0]->Extensions().Count(), 0);
    // An unlisted frame made for A is taken over.
    auto *Own = new TGIFSubImage(A.get());
    Fill(*Own, 1, 1, 0);
    EXPECT_EQ(A->AddFrame(Own), 1);
    EXPECT_EQ(A->Frames()[1], Own);
    A.reset();   // B's frame F was made for A
    EXPECT_EQ(F->Image(), nullptr);
    EXPECT_FALSE(SaveBytes(B).isEmpty());
    // A frame that the image's own list holds is refused, whatever image it was made for.
    EXPECT_THROW(B.AddFrame(F), GIFException);
    EXPECT_EQ(B.Frames().Count(), 1);
    EXPECT_TRUE(F->ListedIn(B.Frames()));
}

TEST(GIFLifetime, ExtensionsOutliveTheirFrame)
{
    auto Image = TwoColourImage();
    // Never added to a list.
    auto Frame = std::make_unique<TGIFSubImage>(Image.get());
    Fill(*Frame, 2, 2, 1);
    auto Loose = std::make_unique<TGIFGraphicControlExtension>(Frame.get());
    Loose->SetTransparentColorIndex(1);
    EXPECT_EQ(Loose->TransparentColor(), clRed);
    Frame.reset();
    EXPECT_EQ(Loose->SubImage(), nullptr);
    EXPECT_EQ(Loose->TransparentColor(), clNone);
    Loose->SetTransparentColorIndex(1);
    Loose.reset();

    // Made for one frame, owned by another's list.
    auto MadeFor = std::make_unique<TGIFSubImage>(Image.get());
    auto Holder = std::make_unique<TGIFSubImage>(Image.get());
    Fill(*Holder, 2, 2, 0);
    auto *G = new TGIFGraphicControlExtension(MadeFor.get());
    G->SetDelay(20);
    Holder->Extensions().Add(G);
    MadeFor.reset();
    EXPECT_EQ(G->SubImage(), nullptr);
    TMemoryStream Stream;
    Holder->SaveToStream(&Stream);
    EXPECT_GT(Stream.Size(), 0);
    Holder.reset();

    // A frame's own control extension that its list does not hold: the
    // optimisation pass leaves it alone instead of failing.
    TGIFSubImage *F0 = AddFrame(*Image, 0, 0, 2, 2, {1, 1, 1, 1});
    AddFrame(*Image, 0, 0, 2, 2, {0, 1, 0, 1});
    auto Unlisted = std::make_unique<TGIFGraphicControlExtension>(F0);
    ASSERT_EQ(F0->GraphicControlExtension(), Unlisted.get());
    EXPECT_NO_THROW(Image->Optimize(optimizeAll, 0));
    EXPECT_EQ(Image->Frames().Count(), 2);
    Image.reset();
    Unlisted.reset();
}

TEST(GIFLifetime, HeaderOutlivesItsImage)
{
    auto Image = TwoColourImage();
    AddFrame(*Image, 0, 0, 2, 2, {1, 1, 1, 1});
    auto Header = std::make_unique<TGIFHeader>(Image.get());
    Header->ColorMap()->Add(clRed);
    Image.reset();
    EXPECT_EQ(Header->Image(), nullptr);
    Header->ColorMap()->Add(clBlue);   // would tell the freed image
    Header->Prepare();   // would ask the freed image for its frames
    EXPECT_TRUE(Header->PackedFields() & 0x80);
}
