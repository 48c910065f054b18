// Exchange with other pictures: frame import from frames, bitmaps and icons,
// image copies, the still bitmap, added frames and the clipboard.

#include "GIFTestSupport.h"
#include "gif/GIFReduce.h"
#include "platform/graphics/Metafile.h"

#include <QClipboard>
#include <QStandardPaths>
#include <QGuiApplication>
#include <QMimeData>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <set>

using namespace GIFTest;

namespace {

TBitmap Gradient24(int W, int H)
{
    QImage I(W, H, QImage::Format_RGB888);
    for (int Y = 0; Y < H; ++Y)
        for (int X = 0; X < W; ++X)
            I.setPixel(X, Y, qRgb(X * 255 / std::max(W - 1, 1), Y * 255 / std::max(H - 1, 1), (X * Y) & 255));
    TBitmap B;
    B.SetImage(I);
    return B;
}

// An 8-bit bitmap whose table holds Colors entries; pixel i shows entry
// i mod Used.
TBitmap Paletted(int W, int H, int Colors, int Used)
{
    QImage I(W, H, QImage::Format_Indexed8);
    QVector<QRgb> Table;
    for (int C = 0; C < Colors; ++C)
        Table.append(qRgb(C, 255 - C, (C * 3) & 255));
    I.setColorTable(Table);
    for (int Y = 0; Y < H; ++Y)
        for (int X = 0; X < W; ++X)
            I.setPixel(X, Y, uint(Y * W + X) % uint(Used));
    TBitmap B;
    B.SetImage(I);
    return B;
}

std::unique_ptr<TIcon> MakeIcon(const QString &File, bool Transparent)
{
    QImage I(16, 16, QImage::Format_ARGB32);
    I.fill(Transparent ? qRgba(0, 0, 0, 0) : qRgba(0, 0, 255, 255));
    for (int Y = 4; Y < 12; ++Y)
        for (int X = 4; X < 12; ++X)
            I.setPixel(X, Y, qRgba(255, 0, 0, 255));
    EXPECT_TRUE(I.save(File, "ico"));
    auto Icon = std::make_unique<TIcon>();
    Icon->LoadFromFile(File);
    return Icon;
}

} // namespace

TEST(GIFAssign, FramesFromFramesBitmapsAndIcons)
{
    // A deep copy survives its source (under the address sanitizer).
    TGIFImage Image;
    SetGlobalMap(Image, {0x000000, 0xFFFFFF});
    TGIFSubImage *Copy = nullptr;
    {
        TGIFImage Source;
        TGIFSubImage *S = AddFrame(Source, 2, 3, 3, 2, {0, 1, 2, 3, 0, 1}, {0xFF0000, 0x00FF00, 0x0000FF, 0x777777});
        auto *G = new TGIFGraphicControlExtension(S);
        S->Extensions().Add(G);
        G->SetDelay(42);
        G->SetTransparent(true);
        G->SetTransparentColorIndex(3);
        auto *C = new TGIFCommentExtension(S);
        C->Text().Add("hello");
        S->Extensions().Add(C);
        Loaded L = Load(SaveBytes(Source));   // the transparency as a reader sees it
        Copy = new TGIFSubImage(&Image);
        Image.Frames().Add(Copy);
        Copy->Assign(L.Image->Frames()[0]);
        Copy->Assign(Copy);   // itself: nothing happens
    }
    EXPECT_EQ(Copy->BoundsRect(), TRect(2, 3, 5, 5));
    EXPECT_EQ(Copy->Pixels(2, 1), 1);
    EXPECT_EQ(Copy->ColorMap()->Count(), 4);
    ASSERT_NE(Copy->GraphicControlExtension(), nullptr);
    EXPECT_EQ(Copy->GraphicControlExtension()->Delay(), 42);
    EXPECT_EQ(Copy->GraphicControlExtension()->SubImage(), Copy);
    EXPECT_TRUE(Copy->Transparent());
    ASSERT_EQ(Copy->Extensions().Count(), 2);
    EXPECT_EQ(static_cast<TGIFCommentExtension *>(Copy->Extensions().Extensions(1))->Text().Strings(0), "hello");
    Copy->Assign(nullptr);
    EXPECT_TRUE(Copy->Empty());
    EXPECT_EQ(Copy->Extensions().Count(), 0);

    // A 24-bit bitmap with the default settings: at most 216 web colours.
    TGIFSubImage Frame(&Image);
    Frame.Assign(static_cast<const TObject *>(&static_cast<const TGraphic &>(Gradient24(50, 40))));
    EXPECT_EQ(Frame.Width(), 50);
    EXPECT_LE(Frame.ColorMap()->Count(), 216);
    std::set<QRgb> Web(GIFWebPalette().begin(), GIFWebPalette().end());
    for (int I = 0; I < Frame.ColorMap()->Count(); ++I) {
        const TGIFColor C = Frame.ColorMap()->Data()[I];
        EXPECT_TRUE(Web.count(qRgb(C.Red, C.Green, C.Blue))) << I;
    }
    EXPECT_FALSE(Frame.Transparent());

    // Method 0 keeps each colour; a 257th raises "Color table overflow".
    Image.SetColorReduction(reduceNone);
    TBitmap Few = Gradient24(4, 4);
    Frame.Assign(&Few);
    EXPECT_EQ(Frame.ColorMap()->Count(), 16);
    TBitmap Many = Gradient24(17, 17);
    try {
        Frame.Assign(&Many);
        ADD_FAILURE() << "no error";
    } catch (const GIFException &E) {
        EXPECT_EQ(E.Message(), "Color table overflow");
    }
    Image.SetColorReduction(reduceWeb216);

    // A 1-bit bitmap keeps its two colours and its pixels.
    QImage Mono(10, 3, QImage::Format_Mono);
    Mono.setColorTable({qRgb(0, 0, 0), qRgb(255, 255, 255)});
    Mono.fill(0);
    Mono.setPixel(9, 2, 1);
    Mono.setPixel(0, 1, 1);
    TBitmap MonoBitmap;
    MonoBitmap.SetImage(Mono);
    ASSERT_EQ(MonoBitmap.PixelFormat(), pf1bit);
    Frame.Assign(&MonoBitmap);
    EXPECT_EQ(Frame.ColorMap()->Count(), 2);
    EXPECT_EQ(Frame.Pixels(9, 2), 1);
    EXPECT_EQ(Frame.Pixels(0, 1), 1);
    EXPECT_EQ(Frame.Pixels(8, 2), 0);
    EXPECT_EQ(Frame.ColorMap()->Colors(1), RGB(255, 255, 255));

    // A bitmap over the reader's frame cap is refused before any work.
    TBitmap Huge(9000, 8000);
    EXPECT_THROW(Frame.Assign(&Huge), GIFException);

    // 256 colours all in use: no room for transparency, even when asked.
    TBitmap Full = Paletted(16, 16, 256, 256);
    Full.SetTransparent(true);
    Frame.Assign(&Full);
    EXPECT_EQ(Frame.ColorMap()->Count(), 256);
    EXPECT_FALSE(Frame.Transparent());
    // One colour nobody uses is dropped; black for transparency takes its place at the end.
    TBitmap Spare = Paletted(16, 16, 256, 255);
    Spare.SetTransparent(true);   // the bottom-left pixel's colour
    const TColor T = Spare.TransparentColor();
    Frame.Assign(&Spare);
    ASSERT_TRUE(Frame.Transparent());
    EXPECT_EQ(Frame.ColorMap()->Count(), 256);
    const int Index = Frame.GraphicControlExtension()->TransparentColorIndex();
    EXPECT_EQ(Index, 255);
    EXPECT_EQ(Frame.ColorMap()->Colors(Index), TColor(0));
    EXPECT_EQ(Frame.Pixels(0, 15), Index);
    int Clear = 0;
    for (int Y = 0; Y < 16; ++Y)
        for (int X = 0; X < 16; ++X)
            Clear += Frame.Pixels(X, Y) == Index;
    int Want = 0;
    for (int Y = 0; Y < 16; ++Y)
        for (int X = 0; X < 16; ++X)
            Want += ColorToRGB(Spare.Canvas()->Pixels(X, Y)) == ColorToRGB(T);
    EXPECT_EQ(Clear, Want);

    // Icons: transparent pixels take a black entry added after the colours in
    // use; an icon without any stays opaque and gains no colour.
    QTemporaryDir Dir;
    auto Icon = MakeIcon(Dir.filePath("t.ico"), true);
    Frame.Assign(Icon.get());
    ASSERT_TRUE(Frame.Transparent());
    const int TI = Frame.GraphicControlExtension()->TransparentColorIndex();
    EXPECT_EQ(TI, Frame.ColorMap()->Count() - 1);
    EXPECT_EQ(Frame.ColorMap()->Colors(TI), TColor(0));
    EXPECT_EQ(Frame.Pixels(0, 0), TI);
    EXPECT_NE(Frame.Pixels(8, 8), TI);
    auto Opaque = MakeIcon(Dir.filePath("o.ico"), false);
    Frame.Assign(Opaque.get());
    EXPECT_FALSE(Frame.Transparent());
    EXPECT_EQ(Frame.ColorMap()->Count(), 2);

    // A picture's graphic; anything else is refused.
    TPicture Picture;
    Picture.SetGraphic(&Few);
    Frame.Assign(&Picture);
    EXPECT_EQ(Frame.Width(), 4);
    TObject Other;
    EXPECT_THROW(Frame.Assign(&Other), EConvertError);
}

TEST(GIFAssign, MetafilesBecomeFramesTransparentWhereTheyLeaveTheBackground)
{
    // A recording that paints a filled ellipse on part of its area, and the
    // same ellipse painted straight onto a green bitmap: the pixels left green
    // are the ones the metafile does not paint.
    const int W = 40, H = 30;
    // Colours of the web palette, which the default reduction keeps as they are.
    auto Paint = [](TCanvas *C) {
        C->Pen()->SetColor(clBlue);
        C->Brush()->SetColor(clRed);
        C->Ellipse(5, 4, 33, 27);
    };
    TMetafile Ellipse;
    Ellipse.SetSize(W, H);
    {
        TMetafileCanvas C(&Ellipse);
        Paint(&C);
    }
    ASSERT_FALSE(Ellipse.Empty());
    TBitmap Direct;
    Direct.SetPixelFormat(pf24bit);
    Direct.SetSize(W, H);
    Direct.Canvas()->Brush()->SetColor(clLime);
    Direct.Canvas()->FillRect(TRect(0, 0, W, H));
    Paint(Direct.Canvas());
    int Unpainted = 0;
    for (int Y = 0; Y < H; ++Y)
        for (int X = 0; X < W; ++X)
            Unpainted += ColorToRGB(Direct.Canvas()->Pixels(X, Y)) == clLime;
    ASSERT_GT(Unpainted, 0);
    ASSERT_LT(Unpainted, W * H);

    // Through the image's Assign and AddFrame alike.
    TGIFImage Image;
    Image.Assign(&Ellipse);
    Image.AddFrame(&Ellipse);
    ASSERT_EQ(Image.Frames().Count(), 2);
    for (int I = 0; I < 2; ++I) {
        SCOPED_TRACE(I);
        TGIFSubImage &Frame = *Image.Frames()[I];
        ASSERT_EQ(Frame.Width(), W);
        ASSERT_EQ(Frame.Height(), H);
        ASSERT_TRUE(Frame.Transparent());
        ASSERT_NE(Frame.GraphicControlExtension(), nullptr);
        const int T = Frame.GraphicControlExtension()->TransparentColorIndex();
        EXPECT_EQ(T, Frame.ColorMap()->Count() - 1);
        EXPECT_EQ(Frame.ColorMap()->Colors(T), TColor(0));
        int Wrong = 0;
        for (int Y = 0; Y < H; ++Y)
            for (int X = 0; X < W; ++X) {
                const bool Clear = Frame.Pixels(X, Y) == T;
                const TColor Want = ColorToRGB(Direct.Canvas()->Pixels(X, Y));
                Wrong += Clear != (Want == clLime);
                if (!Clear)
                    Wrong += Frame.ColorMap()->Colors(Frame.Pixels(X, Y)) != Want;
            }
        EXPECT_EQ(Wrong, 0);
    }
    // Other readers see the same transparent ellipse.
    if (HavePeers()) {
        TGIFImage One;
        One.Assign(&Ellipse);
        CheckWithPeers(SaveBytes(One), One, "metafile frame");
    }

    // A metafile that paints its whole area: an opaque frame, and no colour
    // beyond those its pixels use.
    TMetafile Full;
    Full.SetSize(W, H);
    {
        TMetafileCanvas C(&Full);
        C.Brush()->SetColor(clYellow);
        C.FillRect(TRect(0, 0, W, H));
        Paint(&C);
    }
    TGIFSubImage Frame(nullptr);
    Frame.Assign(&Full);
    EXPECT_FALSE(Frame.Transparent());
    EXPECT_EQ(Frame.GraphicControlExtension(), nullptr);
    std::set<int> Used;
    for (int Y = 0; Y < H; ++Y)
        for (int X = 0; X < W; ++X)
            Used.insert(Frame.Pixels(X, Y));
    EXPECT_EQ(Frame.ColorMap()->Count(), int(Used.size()));
    EXPECT_EQ(Frame.ColorMap()->Count(), 3);   // yellow, red and the blue outline

    // Drawn into a larger rectangle, the recording is scaled to it.
    TBitmap Twice;
    Twice.SetPixelFormat(pf24bit);
    Twice.SetSize(2 * W, 2 * H);
    Twice.Canvas()->StretchDraw(TRect(0, 0, 2 * W, 2 * H), &Full);
    EXPECT_EQ(ColorToRGB(Twice.Canvas()->Pixels(2, 2)), clYellow);
    EXPECT_EQ(ColorToRGB(Twice.Canvas()->Pixels(2 * W - 3, 2 * H - 3)), clYellow);
    EXPECT_EQ(ColorToRGB(Twice.Canvas()->Pixels(W, H)), clRed);

    // A metafile recorded without a size takes the extent of its drawing.
    TMetafile Unsized;
    {
        TMetafileCanvas C(&Unsized);
        C.Brush()->SetColor(clRed);
        C.FillRect(TRect(2, 3, 12, 9));
    }
    EXPECT_EQ(Unsized.Width(), 12);
    EXPECT_EQ(Unsized.Height(), 9);

    // Recorded at 20 x 12, then given twice that size: the frame shows the
    // recording scaled to the whole of it. Pixels set on the recording canvas
    // are recorded like any other drawing, over the fill and beside it.
    TMetafile Resized;
    Resized.SetSize(20, 12);
    {
        TMetafileCanvas C(&Resized);
        C.Brush()->SetColor(clYellow);
        C.FillRect(TRect(0, 0, 10, 12));
        C.SetPixels(3, 3, clRed);
        C.SetPixels(15, 6, clBlue);
    }
    Resized.SetSize(40, 24);
    TGIFImage Scaled;
    Scaled.Assign(&Resized);
    ASSERT_EQ(Scaled.Frames().Count(), 1);
    TGIFSubImage &Big = *Scaled.Frames()[0];
    ASSERT_EQ(Big.Width(), 40);
    ASSERT_EQ(Big.Height(), 24);
    ASSERT_TRUE(Big.Transparent());
    const int Clear = Big.GraphicControlExtension()->TransparentColorIndex();
    int Wrong = 0;
    std::string First;
    for (int Y = 0; Y < 24; ++Y)
        for (int X = 0; X < 40; ++X) {
            TColor Want = X < 20 ? clYellow : clNone;
            if (X / 2 == 3 && Y / 2 == 3)
                Want = clRed;
            if (X / 2 == 15 && Y / 2 == 6)
                Want = clBlue;
            const bool IsClear = Big.Pixels(X, Y) == Clear;
            const TColor Got = IsClear ? clNone : Big.ColorMap()->Colors(Big.Pixels(X, Y));
            if (Got != Want && Wrong++ == 0)
                First = std::to_string(X) + "," + std::to_string(Y);
        }
    EXPECT_EQ(Wrong, 0) << "first at " << First;
}

TEST(GIFAssign, ImagesStillsAndAddedFrames)
{
    // An animation assigned to another image keeps frames, delays and loop.
    TGIFImage Anim;
    SetGlobalMap(Anim, {0x000000, 0xFF0000, 0x00FF00, 0x0000FF});
    TGIFSubImage *F0 = AddFrame(Anim, 0, 0, 6, 4, std::vector<uint8_t>(24, 1));
    auto *Loop = new TGIFAppExtNSLoop(F0);
    Loop->SetLoops(3);
    F0->Extensions().Add(Loop);
    auto *G0 = new TGIFGraphicControlExtension(F0);
    G0->SetDelay(15);
    F0->Extensions().Add(G0);
    TGIFSubImage *F1 = AddFrame(Anim, 2, 1, 3, 2, {2, 3, 2, 3, 2, 3});
    auto *G1 = new TGIFGraphicControlExtension(F1);
    G1->SetDelay(70);
    F1->Extensions().Add(G1);
    Anim.Header().SetBackgroundColorIndex(2);

    TGIFImage Copy;
    std::vector<int> Percents;
    Copy.OnProgress = [&](TObject *, TProgressStage, quint8 P, bool, const TRect &, const QString &Msg) {
        EXPECT_EQ(Msg, "Copying...");
        Percents.push_back(P);
    };
    Copy.Assign(&Anim);
    Copy.OnProgress = nullptr;
    EXPECT_EQ(Percents, (std::vector<int>{0, 50, 100, 100}));
    ASSERT_EQ(Copy.Frames().Count(), 2);
    EXPECT_EQ(Copy.Header().BackgroundColorIndex(), 2);
    EXPECT_EQ(Copy.Frames()[1]->GraphicControlExtension()->Delay(), 70);
    if (HavePeers() && !QStandardPaths::findExecutable("gifdiff").isEmpty()) {
        QTemporaryDir Dir;
        Anim.SaveToFile(Dir.filePath("a.gif"));
        Copy.SaveToFile(Dir.filePath("b.gif"));
        ToolResult Diff = RunTool("gifdiff", {Dir.filePath("a.gif"), Dir.filePath("b.gif")});
        EXPECT_EQ(Diff.Code, 0) << Diff.Out.toStdString();
        EXPECT_TRUE(RunTool("gifsicle", {"--info", Dir.filePath("b.gif")}).Out.contains("loop count 3"));
    }
    Copy.Assign(&Copy);
    EXPECT_EQ(Copy.Frames().Count(), 2);

    // The still: frame 0 at its place on a screen-sized bitmap.
    TGIFImage Small;
    SetGlobalMap(Small, {0x000000, 0xFF0000});
    Small.Header().SetWidth(5);
    Small.Header().SetHeight(4);
    AddFrame(Small, 2, 1, 2, 2, {1, 1, 1, 1});
    TBitmap Out;
    Out.Assign(&Small);   // through AssignTo
    ASSERT_EQ(Out.Width(), 5);
    ASSERT_EQ(Out.Height(), 4);
    EXPECT_EQ(ColorToRGB(Out.Canvas()->Pixels(2, 1)), RGB(255, 0, 0));
    EXPECT_EQ(ColorToRGB(Out.Canvas()->Pixels(3, 2)), RGB(255, 0, 0));
    EXPECT_EQ(ColorToRGB(Out.Canvas()->Pixels(0, 0)), RGB(0, 0, 0));
    TBitmap *Still = Small.Bitmap();
    EXPECT_EQ(Small.Bitmap(), Still) << "kept until the image changes";
    Small.Frames()[0]->SetPixels(0, 0, 0);
    EXPECT_EQ(ColorToRGB(Small.Bitmap()->Canvas()->Pixels(2, 1)), RGB(0, 0, 0));
    TGIFImage None;
    EXPECT_EQ(None.Bitmap(), nullptr);
    TIcon Icon;
    EXPECT_THROW(Small.AssignTo(&Icon), EConvertError);

    // Any other graphic becomes the only frame.
    TBitmap Picture = Gradient24(30, 20);
    Copy.Assign(&Picture);
    ASSERT_EQ(Copy.Frames().Count(), 1);
    EXPECT_EQ(Copy.Width(), 30);
    EXPECT_EQ(Copy.Height(), 20);

    // Added frames never get two owners.
    TGIFImage Target;
    auto *Own = new TGIFSubImage(&Target);
    EXPECT_EQ(Target.AddFrame(Own), 0);
    EXPECT_THROW(Target.AddFrame(Own), GIFException);
    EXPECT_EQ(Target.AddFrame(Anim.Frames()[1]), 1);   // copied; Anim keeps its own
    EXPECT_NE(Target.Frames()[1], Anim.Frames()[1]);
    EXPECT_EQ(Target.Frames()[1]->Image(), &Target);
    EXPECT_EQ(Target.AddFrame(&Picture), 2);
    EXPECT_EQ(Target.Frames()[2]->Width(), 30);
    try {
        TObject Other;
        Target.AddFrame(&Other);
        ADD_FAILURE() << "no error";
    } catch (const GIFException &E) {
        EXPECT_EQ(E.Message(), "Object type not supported for operation");
    }
    Anim.Frames().Delete(1);   // the copy lives on
    EXPECT_EQ(Target.Frames()[1]->Pixels(1, 0), 3);
}

TEST(GIFAssign, FramesFromOtherImagesKeepTheirColours)
{
    TGIFImage Source;
    SetGlobalMap(Source, {0xFFFFFF, 0x0000FF, 0x00FF00});
    TGIFSubImage *Blue = AddFrame(Source, 0, 0, 2, 1, {1, 2});
    TGIFImage Target;
    SetGlobalMap(Target, {0x000000, 0xFF0000});
    Target.Header().SetWidth(2);
    Target.Header().SetHeight(1);
    AddFrame(Target, 0, 0, 2, 1, {0, 1});

    // Drawn with the source's table, the copy shows blue and green, not red.
    ASSERT_EQ(Target.AddFrame(Blue), 1);
    TGIFSubImage *Copy = Target.Frames()[1];
    ASSERT_EQ(Copy->ColorMap()->Count(), 3);
    EXPECT_EQ(Copy->ActiveColorMap()->Colors(Copy->Pixels(0, 0)), TColor(0xFF0000));
    EXPECT_EQ(Copy->ActiveColorMap()->Colors(Copy->Pixels(1, 0)), TColor(0x00FF00));
    Loaded Back = Load(SaveBytes(Target));
    ASSERT_TRUE(Back.Image);
    EXPECT_EQ(ColorToRGB(Back.Image->Frames()[1]->ActiveColorMap()->Colors(0)), RGB(255, 255, 255));

    // A frame with a table of its own keeps just that; an image copy shares
    // the global table, so its frames get none.
    Blue->ColorMap()->Add(clBlack);
    Blue->ColorMap()->Add(clRed);
    Blue->ColorMap()->Add(clLime);
    Target.AddFrame(Blue);
    EXPECT_EQ(Target.Frames()[2]->ColorMap()->Count(), 3);
    EXPECT_EQ(Target.Frames()[2]->ActiveColorMap()->Colors(1), clRed);
    TGIFImage Whole;
    Whole.Assign(&Target);
    EXPECT_EQ(Whole.Frames()[0]->ColorMap()->Count(), 0);
}

TEST(GIFAssign, ClipboardRoundTrip)
{
    TGIFImage Image;
    SetGlobalMap(Image, {0x000000, 0xFF0000, 0x00FF00, 0x0000FF});
    AddFrame(Image, 0, 0, 3, 2, {0, 1, 2, 3, 2, 1});
    AddFrame(Image, 1, 0, 2, 1, {3, 3});
    QString Format;
    QByteArray Data;
    Image.SaveToClipboardFormat(Format, Data);
    EXPECT_EQ(Format, QString::fromLatin1(CF_BITMAP));
    TBitmap Offered;
    Offered.LoadFromClipboardFormat(Format, Data);
    EXPECT_EQ(ColorToRGB(Offered.Canvas()->Pixels(1, 0)), RGB(255, 0, 0));
    const QMimeData *Mime = QGuiApplication::clipboard()->mimeData();
    ASSERT_NE(Mime, nullptr);
    ASSERT_TRUE(Mime->hasFormat(GIFMimeType));
    EXPECT_TRUE(Mime->hasImage());

    // Back from the clipboard's GIF data, and from the picture registry.
    TGIFImage Back;
    Back.LoadFromClipboardFormat(QString::fromLatin1(CF_GIF), QByteArray());
    ASSERT_EQ(Back.Frames().Count(), 2);
    EXPECT_EQ(Back.Frames()[0]->Pixels(2, 1), 1);
    EXPECT_TRUE(TPicture::SupportsClipboardFormat(QString::fromLatin1(CF_GIF)));
    TPicture Picture;
    Picture.LoadFromClipboardFormat(QString::fromLatin1(CF_GIF), SaveBytes(Image));
    EXPECT_EQ(Picture.Graphic()->ClassName(), "TGIFImage");
    // The bitmap format becomes one reduced frame.
    Back.LoadFromClipboardFormat(QString::fromLatin1(CF_BITMAP), Data);
    ASSERT_EQ(Back.Frames().Count(), 1);
    EXPECT_EQ(Back.Width(), 3);

    // Clipboard GIF data passes the reader's checks; other formats are refused.
    EXPECT_THROW(Back.LoadFromClipboardFormat(QString::fromLatin1(CF_GIF), QByteArray("GIF89a\x01")), GIFException);
    EXPECT_THROW(Back.LoadFromClipboardFormat("text/plain", QByteArray("x")), EInvalidGraphic);
    // An empty image puts nothing there.
    QGuiApplication::clipboard()->setText("kept");
    TGIFImage Empty;
    Format.clear();
    Empty.SaveToClipboardFormat(Format, Data);
    EXPECT_TRUE(Format.isEmpty());
    EXPECT_EQ(QGuiApplication::clipboard()->text(), "kept");
}
