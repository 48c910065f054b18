// The report components: control tree, the page-to-PDF road of the picture form, events and failures.

#include "PdfTestSupport.h"
#include "TestSupport.h"
#include "pdf/PdfReport.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <csignal>
#include <sys/resource.h>

using namespace PdfTest;

namespace {

// The components of the off-screen page-to-picture form, as its resource sets them.
struct PictureForm {
    TComponent Owner;
    TRpReport *RpReport1;
    TRpPage *RpPage1;
    TRpLayoutPanel *RpLayoutPanel1;
    TRpJpegImage *RpJpegImage1;

    PictureForm()
    {
        RpReport1 = new TRpReport(&Owner);
        RpReport1->SetName(QStringLiteral("RpReport1"));
        RpReport1->SetCreationDate(EncodeDate(2007, 5, 3) + EncodeTime(23, 22, 37, 0));
        RpPage1 = new TRpPage(&Owner);
        RpPage1->SetName(QStringLiteral("RpPage1"));
        RpPage1->SetBounds(0, 0, 568, 842);
        RpLayoutPanel1 = new TRpLayoutPanel(&Owner);
        RpLayoutPanel1->SetName(QStringLiteral("RpLayoutPanel1"));
        RpLayoutPanel1->SetParent(RpPage1);
        RpLayoutPanel1->SetAlign(alClient);
        RpJpegImage1 = new TRpJpegImage(&Owner);
        RpJpegImage1->SetName(QStringLiteral("RpJpegImage1"));
        RpJpegImage1->SetParent(RpLayoutPanel1);
        RpJpegImage1->SetAlign(alClient);
        RpJpegImage1->SharedImage = false;
        RpJpegImage1->Stretch = false;
    }

    // One page per picture, every page the size of the first picture plus the margins.
    void JpgListToPdf(const QStringList &Files, const QString &Name)
    {
        RpReport1->FileName = Name;
        TPicture First;
        First.LoadFromFile(Files.first());
        RpPage1->SetWidth(First.Width() + 64);
        RpPage1->SetHeight(First.Height() + 64);
        RpReport1->StartDocument();
        for (const QString &File : Files) {
            RpJpegImage1->Picture()->SetGraphic(nullptr);
            RpJpegImage1->Picture()->LoadFromFile(File);
            RpJpegImage1->Invalidate();
            RpReport1->AppendPage(RpPage1);
        }
        RpReport1->FinishDocument();
    }
};

// Left half red, right half blue, the last 16 columns and rows green (whole
// colour blocks, so the JPEG keeps the last column and row truly green).
QString MakePicture(TestSupport::TempDir &Dir, const QString &Name, int W, int H)
{
    const QString File = Dir.File(Name);
    WriteJpeg(File, W, H, 3, [W, H](int X, int Y, int C) {
        if (X >= W - 16 || Y >= H - 16)
            return C == 1 ? 255 : 0;
        if (X < W / 2)
            return C == 0 ? 255 : 0;
        return C == 2 ? 255 : 0;
    });
    return File;
}

// A picture of noise, so that its JPEG is about as large as its pixels.
QString MakeNoisePicture(TestSupport::TempDir &Dir, const QString &Name, int W, int H)
{
    const QString File = Dir.File(Name);
    WriteJpeg(File, W, H, 3, [](int X, int Y, int C) { return int((uint32_t(X * 7919 + Y * 104729 + C * 13) * 2654435761u) >> 24); });
    return File;
}

// While it lives, no file of this process grows past Bytes, as on a disk that
// is full there (the signal the limit sends is ignored, so the write fails).
class FileSizeLimit {
public:
    explicit FileSizeLimit(qint64 Bytes)
    {
        getrlimit(RLIMIT_FSIZE, &FOld);
        FOldHandler = std::signal(SIGXFSZ, SIG_IGN);
        rlimit Limit = FOld;
        Limit.rlim_cur = rlim_t(Bytes);
        setrlimit(RLIMIT_FSIZE, &Limit);
    }
    ~FileSizeLimit()
    {
        setrlimit(RLIMIT_FSIZE, &FOld);
        std::signal(SIGXFSZ, FOldHandler);
    }

private:
    rlimit FOld{};
    void (*FOldHandler)(int) = nullptr;
};

// An object whose writing fails half-way, as a full disk would.
class FailingObject : public TPdfObject {
protected:
    void WriteOwnText(TStream *AStream) override
    {
        WriteText(QByteArray(300000, 'x'), AStream);
        throw EWriteError(QStringLiteral("Stream write error"));
    }
};

void ExpectMessage(const std::function<void()> &Call, const QString &Text)
{
    try {
        Call();
        ADD_FAILURE() << "no exception for " << Text.toStdString();
    } catch (const Exception &E) {
        EXPECT_EQ(E.Message(), Text);
    }
}

} // namespace

TEST(PdfReport, PictureFormMakesOnePagePerPictureWithEveryPixelShown)
{
    TestSupport::TempDir Dir;
    const QStringList Files = {MakePicture(Dir, QStringLiteral("a1.jpg"), 600, 500),
                               MakePicture(Dir, QStringLiteral("a2.jpg"), 300, 200),
                               MakePicture(Dir, QStringLiteral("a3.jpg"), 600, 700)};
    const QString Pdf = Dir.File(QStringLiteral("a.pdf"));
    PictureForm Form;
    Form.JpgListToPdf(Files, Pdf);
    EXPECT_EQ(Form.RpReport1->Doc(), nullptr);

    const QByteArray Bytes = TestSupport::ReadAll(Pdf);
    EXPECT_EQ(CheckLayout(Bytes), QString());
    EXPECT_EQ(Bytes.count("/MediaBox [0 0 664 564 ]"), 3);
    EXPECT_TRUE(Bytes.contains("/CreationDate (D:20070503232237)"));
    // Three unshared image objects with different names.
    EXPECT_EQ(Bytes.count("/Subtype /Image"), 3);
    EXPECT_EQ(Bytes.count("/Name /RpJpegImage1"), 3);
    // The first picture lies at (32, 32) from the top left, at its size, clipped to exactly that size.
    EXPECT_TRUE(Bytes.contains("q\n32 32 600 500 re\nW\nn\n600 0 0 500 32 32 cm\n/RpJpegImage1")) << Bytes.constData();

    if (!HavePeer(QStringLiteral("qpdf")) || !HavePeer(QStringLiteral("pdfimages")) || !HavePeer(QStringLiteral("pdftoppm")))
        GTEST_SKIP() << "peers missing";
    QByteArray Out;
    EXPECT_EQ(RunPeer(QStringLiteral("qpdf"), {QStringLiteral("--check"), Pdf}, &Out), 0) << Out.constData();
    const auto Info = PdfInfo(Pdf);
    EXPECT_EQ(Info.value(QStringLiteral("Pages")), QStringLiteral("3"));
    EXPECT_TRUE(Info.value(QStringLiteral("Page size")).startsWith(QStringLiteral("664 x 564 pts")));
    EXPECT_TRUE(Info.value(QStringLiteral("CreationDate")).contains(QStringLiteral("May  3 23:22:37 2007")))
        << Info.value(QStringLiteral("CreationDate")).toStdString();
    ASSERT_EQ(RunPeer(QStringLiteral("pdfimages"), {QStringLiteral("-list"), Pdf}, &Out), 0);
    const QString List = QString::fromUtf8(Out).simplified();
    EXPECT_TRUE(List.contains(QStringLiteral("1 0 image 600 500 rgb 3 8 jpeg"))) << Out.constData();
    EXPECT_TRUE(List.contains(QStringLiteral("2 1 image 300 200 rgb 3 8 jpeg"))) << Out.constData();
    EXPECT_TRUE(List.contains(QStringLiteral("3 2 image 600 700 rgb 3 8 jpeg"))) << Out.constData();
    ASSERT_EQ(RunPeer(QStringLiteral("pdfimages"), {QStringLiteral("-j"), Pdf, Dir.File(QStringLiteral("x"))}, &Out), 0);
    for (int I = 0; I < 3; ++I)
        EXPECT_EQ(TestSupport::ReadAll(Dir.File(QStringLiteral("x-00%1.jpg").arg(I))), TestSupport::ReadAll(Files[I]));

    const Rendered P1 = RenderPage(Pdf, 1);
    ASSERT_TRUE(P1.Valid());
    EXPECT_TRUE(P1.Near(31, 31, 255, 255, 255));
    EXPECT_TRUE(P1.Near(32 + 5, 32 + 5, 255, 0, 0));
    EXPECT_TRUE(P1.Near(32 + 570, 32 + 470, 0, 0, 255));
    // The picture's last column and row reach the page.
    EXPECT_TRUE(P1.Near(32 + 599, 32 + 250, 0, 255, 0, 40));
    EXPECT_TRUE(P1.Near(32 + 300, 32 + 499, 0, 255, 0, 40));
    EXPECT_TRUE(P1.Near(32 + 599, 32 + 499, 0, 255, 0, 40));
    EXPECT_TRUE(P1.Near(32 + 600 + 2, 32 + 250, 255, 255, 255));
    // A smaller picture: at its size at the top left, the rest of the area white.
    const Rendered P2 = RenderPage(Pdf, 2);
    ASSERT_TRUE(P2.Valid());
    EXPECT_TRUE(P2.Near(32 + 5, 32 + 5, 255, 0, 0));
    EXPECT_TRUE(P2.Near(32 + 270, 32 + 170, 0, 0, 255));
    EXPECT_TRUE(P2.Near(32 + 400, 32 + 300, 255, 255, 255));
    // A taller picture is cut at the bottom of the control.
    const Rendered P3 = RenderPage(Pdf, 3);
    ASSERT_TRUE(P3.Valid());
    EXPECT_TRUE(P3.Near(32 + 5, 32 + 495, 255, 0, 0));
    EXPECT_TRUE(P3.Near(32 + 5, 32 + 505, 255, 255, 255));
}

TEST(PdfReport, SharedImagesAreEmbeddedOnceForEachPicture)
{
    TestSupport::TempDir Dir;
    const QString Pic = MakePicture(Dir, QStringLiteral("s.jpg"), 100, 50);
    PictureForm Form;
    Form.RpJpegImage1->SharedImage = true;
    const QString Pdf = Dir.File(QStringLiteral("s.pdf"));
    Form.JpgListToPdf({Pic, Pic, Pic}, Pdf);
    const QByteArray Bytes = TestSupport::ReadAll(Pdf);
    EXPECT_EQ(CheckLayout(Bytes), QString());
    EXPECT_EQ(Bytes.count("/Subtype /Image"), 1);
    EXPECT_EQ(Bytes.count("/RpJpegImage1 Do"), 3);
    EXPECT_EQ(Bytes.count("/MediaBox [0 0 164 114 ]"), 3);

    // Pages of different pictures each show their own: a picture met again
    // shares the object made for it, another one gets an object of its own.
    const QString Other = MakeNoisePicture(Dir, QStringLiteral("n.jpg"), 100, 50);
    const QString Mixed = Dir.File(QStringLiteral("m.pdf"));
    Form.JpgListToPdf({Pic, Other, Pic, Other}, Mixed);
    const QByteArray MixedBytes = TestSupport::ReadAll(Mixed);
    EXPECT_EQ(CheckLayout(MixedBytes), QString());
    EXPECT_EQ(MixedBytes.count("/Subtype /Image"), 2);
    if (!HavePeer(QStringLiteral("qpdf")) || !HavePeer(QStringLiteral("pdfimages")))
        GTEST_SKIP() << "peers missing";
    QByteArray Out;
    EXPECT_EQ(RunPeer(QStringLiteral("qpdf"), {QStringLiteral("--check"), Mixed}, &Out), 0) << Out.constData();
    // pdfimages -list: the object each page draws (page, then object number in column 11).
    ASSERT_EQ(RunPeer(QStringLiteral("pdfimages"), {QStringLiteral("-list"), Mixed}, &Out), 0);
    QStringList Objects;
    for (const QByteArray &Line : Out.split('\n')) {
        const QStringList F = QString::fromUtf8(Line).simplified().split(QLatin1Char(' '));
        if (F.size() > 11 && F.at(0).toInt() > 0)
            Objects << F.at(10);
    }
    ASSERT_EQ(Objects.size(), 4) << Out.constData();
    EXPECT_EQ(Objects[0], Objects[2]);
    EXPECT_EQ(Objects[1], Objects[3]);
    EXPECT_NE(Objects[0], Objects[1]);
    // Each page's picture is the file it was made from.
    ASSERT_EQ(RunPeer(QStringLiteral("pdfimages"), {QStringLiteral("-j"), Mixed, Dir.File(QStringLiteral("m"))}, &Out), 0);
    const QStringList Shown{Pic, Other, Pic, Other};
    for (int I = 0; I < 4; ++I)
        EXPECT_EQ(TestSupport::ReadAll(Dir.File(QStringLiteral("m-00%1.jpg").arg(I))), TestSupport::ReadAll(Shown[I]))
            << "page " << I + 1;
}

TEST(PdfReport, StretchedAndUnstretchedPlacement)
{
    TestSupport::TempDir Dir;
    const QString Small = MakePicture(Dir, QStringLiteral("small.jpg"), 100, 50);
    PictureForm Form;
    Form.RpPage1->SetBounds(0, 0, 664, 564);
    Form.RpJpegImage1->SharedImage = true;
    Form.RpJpegImage1->Picture()->LoadFromFile(Small);
    Form.RpReport1->FileName = Dir.File(QStringLiteral("p.pdf"));
    Form.RpReport1->StartDocument();
    Form.RpReport1->AppendPage(Form.RpPage1);
    EXPECT_EQ(Form.RpReport1->Doc()->GetCanvas()->Contents()->Stream()->Bytes(),
              "/F0 10 Tf\nq\n32 32 600 500 re\nW\nn\n100 0 0 50 32 482 cm\n/RpJpegImage1 Do\nQ\n");
    Form.RpJpegImage1->Stretch = true;
    Form.RpReport1->AppendPage(Form.RpPage1);
    EXPECT_EQ(Form.RpReport1->Doc()->GetCanvas()->Contents()->Stream()->Bytes(),
              "/F0 10 Tf\nq\n600 0 0 500 32 32 cm\n/RpJpegImage1 Do\nQ\n");
    // Not printable, or no picture: nothing drawn.
    Form.RpJpegImage1->Printable = false;
    Form.RpReport1->AppendPage(Form.RpPage1);
    EXPECT_EQ(Form.RpReport1->Doc()->GetCanvas()->Contents()->Stream()->Bytes(), "/F0 10 Tf\n");
    EXPECT_EQ(Form.RpReport1->PageCount(), 3);
    Form.RpReport1->FinishDocument();
    if (HavePeer(QStringLiteral("qpdf"))) {
        QByteArray Out;
        EXPECT_EQ(RunPeer(QStringLiteral("qpdf"), {QStringLiteral("--check"), Dir.File(QStringLiteral("p.pdf"))}, &Out), 0)
            << Out.constData();
    }
}

TEST(PdfReport, DocumentInformationAndCatalog)
{
    TestSupport::TempDir Dir;
    PictureForm Form;
    TRpReport *R = Form.RpReport1;
    R->SetAuthor(QStringLiteral("Author A"));
    R->SetCreator(QStringLiteral("Creator C"));
    R->SetKeywords(QStringLiteral("k1 k2"));
    R->SetSubject(QString::fromUtf8("产品目录"));
    R->SetTitle(QStringLiteral("Title T"));
    R->SetNonFullScreenPageMode(pmFullScreen);
    EXPECT_EQ(R->NonFullScreenPageMode(), pmUseNone);
    R->SetViewerPreference(vpFitWindow);
    R->FileName = Dir.File(QStringLiteral("i.pdf"));
    R->StartDocument();
    ExpectMessage([&] { R->SetTitle(QStringLiteral("x")); }, QStringLiteral("SetTitle --invalid operation."));
    ExpectMessage([&] { R->SetKeywords(QStringLiteral("x")); }, QStringLiteral("SetKeyWords --invalid operation."));
    ExpectMessage([&] { R->SetUseOutlines(true); }, QStringLiteral("SetUseOutlines --invalid operation."));
    ExpectMessage([&] { R->SetViewerPreference(0); }, QStringLiteral("SetViewerPreference --invalid operation."));
    R->AppendPage(Form.RpPage1);
    R->FinishDocument();
    const QByteArray Bytes = TestSupport::ReadAll(Dir.File(QStringLiteral("i.pdf")));
    const QByteArray InfoText = ObjectText(Bytes, 2);
    const QList<QByteArray> Keys = {"/Producer", "/Author", "/CreationDate", "/Creator", "/Keywords",
                                    "/Subject",  "/Title",  "/ModDate"};
    qsizetype Last = -1;
    for (const QByteArray &Key : Keys) {
        const qsizetype At = InfoText.indexOf(Key + ' ');
        EXPECT_GT(At, Last) << Key.constData();
        Last = At;
    }
    EXPECT_TRUE(ObjectText(Bytes, 1).contains("/Type /Catalog\r\n/Pages 3 0 R\r\n/PageMode /UseNone\r\n"
                                              "/PageLayout /SinglePage\r\n/ViewerPreferences <<\r\n/FitWindow true"));
    if (HavePeer(QStringLiteral("pdfinfo"))) {
        const auto Info = PdfInfo(Dir.File(QStringLiteral("i.pdf")));
        EXPECT_EQ(Info.value(QStringLiteral("Title")), QStringLiteral("Title T"));
        EXPECT_EQ(Info.value(QStringLiteral("Creator")), QStringLiteral("Creator C"));
        EXPECT_TRUE(Info.value(QStringLiteral("Subject")).contains(QString::fromUtf8("产品目录")));
        EXPECT_EQ(Info.value(QStringLiteral("Page size")).left(13), QStringLiteral("568 x 842 pts"));
    }
}

TEST(PdfReport, OrderOfCallsAndFileFailures)
{
    TestSupport::TempDir Dir;
    PictureForm Form;
    TRpReport *R = Form.RpReport1;
    ExpectMessage([&] { R->FinishDocument(); }, QStringLiteral("document is null.."));
    ExpectMessage([&] { R->AppendPage(Form.RpPage1); }, QStringLiteral("document is null.."));

    // A file that cannot be created leaves the document open; an existing file stays as it was.
    const QString Existing = Dir.File(QStringLiteral("old.pdf"));
    TestSupport::WriteAll(Existing, "old content");
    R->FileName = Dir.File(QStringLiteral("missing/folder/x.pdf"));
    R->StartDocument();
    R->AppendPage(Form.RpPage1);
    EXPECT_THROW(R->FinishDocument(), EFCreateError);
    EXPECT_NE(R->Doc(), nullptr);
    R->FileName = Existing;
    QFile::setPermissions(Existing, QFile::ReadOwner | QFile::WriteOwner);
    R->FinishDocument();
    EXPECT_TRUE(TestSupport::ReadAll(Existing).startsWith("%PDF-1.2 \r\n"));
    const QFile::Permissions Kept = QFile::permissions(Existing);
    EXPECT_TRUE(Kept.testFlag(QFile::ReadOwner) && Kept.testFlag(QFile::WriteOwner));
    EXPECT_FALSE(Kept & (QFile::ReadGroup | QFile::ReadOther | QFile::WriteGroup | QFile::WriteOther));
    EXPECT_EQ(QDir(Dir.Path()).entryList(QDir::Files), QStringList{QStringLiteral("old.pdf")});

    // A write that fails half-way leaves the existing file as it was and no partial file behind.
    const QByteArray Before = TestSupport::ReadAll(Existing);
    Form.RpPage1->OnPrintPage = [](TObject *, TRpCanvas *C) { C->PdfCanvas()->Doc()->Xref()->AddObject(new FailingObject); };
    R->StartDocument();
    R->AppendPage(Form.RpPage1);
    EXPECT_THROW(R->FinishDocument(), EWriteError);
    EXPECT_EQ(TestSupport::ReadAll(Existing), Before);
    EXPECT_EQ(QDir(Dir.Path()).entryList(QDir::Files), QStringList{QStringLiteral("old.pdf")});
    Form.RpPage1->OnPrintPage = nullptr;

    // Starting again frees an open document; the destructor drops one unwritten.
    R->StartDocument();
    R->StartDocument();
    EXPECT_EQ(R->PageCount(), 0);
}

TEST(PdfReport, AFullDiskIsReportedAndLeavesNoFileBehind)
{
    TestSupport::TempDir Dir;
    const QStringList Files = {MakeNoisePicture(Dir, QStringLiteral("n1.jpg"), 240, 200),
                               MakeNoisePicture(Dir, QStringLiteral("n2.jpg"), 240, 200),
                               MakeNoisePicture(Dir, QStringLiteral("n3.jpg"), 240, 200)};
    qint64 Pictures = 0;
    for (const QString &F : Files)
        Pictures += QFileInfo(F).size();
    const QString Target = Dir.File(QStringLiteral("catalog.pdf"));
    TestSupport::WriteAll(Target, "old content");
    const QStringList Before = QDir(Dir.Path()).entryList(QDir::Files);
    const int Handles = ScratchHandles();
    PictureForm Form;
    TRpReport *R = Form.RpReport1;
    R->FileName = Target;
    auto AddPicture = [&](int I) {
        Form.RpJpegImage1->Picture()->SetGraphic(nullptr);
        Form.RpJpegImage1->Picture()->LoadFromFile(Files[I]);
        R->AppendPage(Form.RpPage1);
    };
    const QString DiskFull = QStringLiteral("写入数据时出错，磁盘可能已满。");

    // The pictures fill the disk while pages are added: the page that does
    // not fit fails, and the pictures wait in a file without a name.
    R->StartDocument();
    {
        FileSizeLimit Full(QFileInfo(Files[0]).size() + QFileInfo(Files[1]).size() / 2);
        AddPicture(0);
        ExpectMessage([&] { AddPicture(1); }, DiskFull);
    }
    EXPECT_EQ(ScratchHandles(), Handles + 1);
    EXPECT_TRUE(ScratchNames().isEmpty()) << ScratchNames().join(' ').toStdString();
    R->StartDocument();   // the unfinished document goes, and its pictures with it
    EXPECT_EQ(ScratchHandles(), Handles);

    // Every picture fits, the document does not: the old file stays and no
    // part of the new one is left.
    for (int I = 0; I < 3; ++I)
        AddPicture(I);
    {
        FileSizeLimit Full(Pictures + 512);
        ExpectMessage([&] { R->FinishDocument(); }, DiskFull);
    }
    EXPECT_EQ(TestSupport::ReadAll(Target), "old content");
    EXPECT_EQ(QDir(Dir.Path()).entryList(QDir::Files), Before);
    EXPECT_TRUE(ScratchNames().isEmpty()) << ScratchNames().join(' ').toStdString();

    // With room the document is written, each picture unchanged, and nothing else stays.
    R->FinishDocument();
    EXPECT_EQ(R->Doc(), nullptr);
    EXPECT_EQ(ScratchHandles(), Handles);
    const QByteArray Pdf = TestSupport::ReadAll(Target);
    EXPECT_EQ(CheckLayout(Pdf), QString());
    for (const QString &F : Files)
        EXPECT_TRUE(Pdf.contains("stream\r\n" + TestSupport::ReadAll(F) + "\nendstream"));
    EXPECT_EQ(QDir(Dir.Path()).entryList(QDir::Files), Before);
    if (HavePeer(QStringLiteral("qpdf"))) {
        QByteArray Out;
        EXPECT_EQ(RunPeer(QStringLiteral("qpdf"), {QStringLiteral("--check"), Target}, &Out), 0) << Out.constData();
    }
}

TEST(PdfReport, ControlTreePlacementAndAlignment)
{
    TComponent Owner;
    auto *Page = new TRpPage(&Owner);
    EXPECT_EQ(Page->Width(), 596);
    EXPECT_EQ(Page->Height(), 842);
    auto *Top = new TRpLayoutPanel(&Owner);
    Top->SetHeight(40);
    Top->SetParent(Page);
    Top->SetAlign(alTop);
    auto *Left = new TRpPanel(&Owner);
    Left->SetWidth(50);
    Left->SetParent(Page);
    Left->SetAlign(alLeft);
    auto *Client = new TRpLayoutPanel(&Owner);
    Client->SetParent(Page);
    Client->SetAlign(alClient);
    // Margins alone bound the area children share.
    EXPECT_EQ(Top->BoundsRect(), Rect(32, 32, 564, 72));
    EXPECT_EQ(Left->BoundsRect(), Rect(32, 72, 82, 810));
    EXPECT_EQ(Client->BoundsRect(), Rect(82, 72, 564, 810));
    Page->SetMarginLeft(10);
    EXPECT_EQ(Top->BoundsRect(), Rect(10, 32, 564, 72));
    Page->SetMarginLeft(-1);    // refused
    Page->SetMarginLeft(298);   // not below half the width: refused
    EXPECT_EQ(Page->MarginLeft(), 10);
    Page->SetBounds(0, 0, 400, 300);
    EXPECT_EQ(Client->BoundsRect(), Rect(60, 72, 368, 268));

    auto *Item = new TRpJpegImage(&Owner);
    ExpectMessage([&] { Item->SetParent(Page); }, QStringLiteral("this component must set on TRpPanel"));
    Item->SetParent(Client);
    auto *Nested = new TRpLayoutPanel(&Owner);
    ExpectMessage([&] { Nested->SetParent(Item); }, QStringLiteral("TRpPage can not set on TRpJpegImage"));
    auto *OtherPage = new TRpPage(&Owner);
    ExpectMessage([&] { OtherPage->SetParent(Client); }, QStringLiteral("TRpPage can not set on TRpLayoutPanel"));
    EXPECT_EQ(Nested->Parent(), nullptr);

    // Freeing a control takes it out of the tree and re-aligns the rest.
    delete Left;
    EXPECT_EQ(Client->BoundsRect(), Rect(10, 72, 368, 268));
    delete Client;
    EXPECT_EQ(Item->Parent(), nullptr);

    // A bitmap image refuses a JPEG and a JPEG image refuses a bitmap.
    TPicture Bmp;
    Bmp.SetGraphic(std::make_unique<TBitmap>(4, 4));
    TRpJpegImage Jpeg;
    ExpectMessage([&] { Jpeg.SetPicture(&Bmp); }, QStringLiteral("only jpeg image is allowed."));
    EXPECT_EQ(Jpeg.Picture()->Graphic(), nullptr);
    TPicture Empty;
    Jpeg.SetPicture(&Empty);
    Jpeg.SetPicture(nullptr);
    TRpImage Image;
    Image.SetPicture(&Bmp);
    EXPECT_NE(dynamic_cast<TBitmap *>(Image.Picture()->Graphic()), nullptr);
    TPicture JpegPicture;
    JpegPicture.SetGraphic(std::make_unique<TJPEGImage>());
    JpegPicture.Graphic()->Assign(Bmp.Graphic());
    ExpectMessage([&] { Image.SetPicture(&JpegPicture); }, QStringLiteral("only bitmap image is allowed."));
}

TEST(PdfReport, GridPanelPrintsEachCellBetweenItsEvents)
{
    TestSupport::TempDir Dir;
    TComponent Owner;
    auto *Report = new TRpReport(&Owner);
    Report->FileName = Dir.File(QStringLiteral("g.pdf"));
    auto *Page = new TRpPage(&Owner);
    Page->SetBounds(0, 0, 264, 164);
    auto *Grid = new TRpGridPanel(&Owner);
    Grid->SetParent(Page);
    Grid->SetAlign(alClient);
    ExpectMessage([&] { Grid->SetColCount(21); }, QStringLiteral("invalid colcount"));
    ExpectMessage([&] { Grid->SetRowCount(0); }, QStringLiteral("invalid rowcount"));
    Grid->SetColCount(2);
    Grid->SetRowCount(2);
    EXPECT_EQ(Grid->ChildPanel()->Width(), 100);
    EXPECT_EQ(Grid->ChildPanel()->Height(), 50);
    auto *Bitmap = new TRpImage(&Owner);
    Bitmap->SetName(QStringLiteral("Bmp"));
    Bitmap->SetParent(Grid);   // goes onto the child panel
    EXPECT_EQ(Bitmap->Parent(), Grid->ChildPanel());
    Bitmap->SetBounds(0, 0, 20, 10);
    TPicture Picture;
    auto Pixels = std::make_unique<TBitmap>(2, 2);
    Pixels->SetPixelFormat(pf24bit);
    Picture.SetGraphic(std::move(Pixels));
    Bitmap->SetPicture(&Picture);

    QStringList Calls;
    Grid->PrintDirection = pdVert;
    Grid->BeforePrint = [&](TObject *, TRpCanvas *, TRect R) { Calls << QStringLiteral("before %1,%2").arg(R.Left).arg(R.Top); };
    Grid->AfterPrint = [&](TObject *, TRpCanvas *, TRect) { Calls << QStringLiteral("after"); };
    Grid->BeforePrintChild = [&](TObject *, TRpCanvas *, int Col, int Row, TRect R) {
        Calls << QStringLiteral("cell %1 %2 at %3,%4").arg(Col).arg(Row).arg(R.Left).arg(R.Top);
    };
    Page->OnPrintPage = [&](TObject *, TRpCanvas *C) { Calls << QStringLiteral("page %1").arg(C->PageHeight()); };
    Report->StartDocument();
    Report->AppendPage(Page);
    EXPECT_EQ(Calls, QStringList({QStringLiteral("page 164"), QStringLiteral("before 32,32"),
                                  QStringLiteral("cell 0 0 at 32,32"), QStringLiteral("cell 0 1 at 32,82"),
                                  QStringLiteral("cell 1 0 at 132,32"), QStringLiteral("cell 1 1 at 132,82"),
                                  QStringLiteral("after")}));
    // One shared bitmap object drawn stretched in each cell, from the bottom-left origin.
    const QByteArray Content = Report->Doc()->GetCanvas()->Contents()->Stream()->Bytes();
    EXPECT_EQ(Content.count("/Bmp Do"), 4);
    EXPECT_TRUE(Content.contains("q\n20 0 0 10 32 122 cm\n/Bmp Do\nQ\n")) << Content.constData();
    EXPECT_TRUE(Content.contains("q\n20 0 0 10 132 72 cm\n/Bmp Do\nQ\n")) << Content.constData();
    Report->FinishDocument();
    if (HavePeer(QStringLiteral("qpdf"))) {
        QByteArray Out;
        EXPECT_EQ(RunPeer(QStringLiteral("qpdf"), {QStringLiteral("--check"), Report->FileName}, &Out), 0) << Out.constData();
    }
}

TEST(PdfReport, LayoutAidIsPaintedButNeverPrinted)
{
    TComponent Owner;
    auto *Page = new TRpPage(&Owner);
    Page->SetName(QStringLiteral("RpPage1"));
    Page->SetBounds(0, 0, 200, 120);
    auto *Panel = new TRpLayoutPanel(&Owner);
    Panel->SetName(QStringLiteral("RpLayoutPanel1"));
    Panel->SetParent(Page);
    Panel->SetAlign(alClient);
    TBitmap Screen(200, 120);
    Screen.SetPixelFormat(pf24bit);
    Page->PaintTo(Screen.Canvas(), 0, 0);
    TCanvas *C = Screen.Canvas();
    EXPECT_EQ(C->Pixels(0, 60), clSilver);             // the page grid at 0
    EXPECT_EQ(C->Pixels(37, 100), clSilver);           // the centimetre line at Trunc(378 / 10)
    EXPECT_EQ(C->Pixels(30, 110), clWhite);
    int Green = 0;
    for (int X = 33; X < 167; ++X)
        Green += C->Pixels(X, 32) == TColor(0x008000) ? 1 : 0;
    EXPECT_GT(Green, 20);    // the panel's frame is dotted green
    EXPECT_LT(Green, 134);

    // The same tree prints nothing of it.
    TRpReport Report;
    TestSupport::TempDir Dir;
    Report.FileName = Dir.File(QStringLiteral("aid.pdf"));
    Report.StartDocument();
    Report.AppendPage(Page);
    EXPECT_EQ(Report.Doc()->GetCanvas()->Contents()->Stream()->Bytes(), "/F0 10 Tf\n");
}
