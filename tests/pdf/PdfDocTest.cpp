// The document's file layout, checked by our own reading of the xref and by qpdf and poppler.

#include "PdfTestSupport.h"
#include "TestSupport.h"
#include "pdf/PdfDoc.h"

#include <gtest/gtest.h>

#include <cmath>

#include <QRegularExpression>

using namespace PdfTest;

namespace {

QByteArray ContentOf(TPdfDoc &Doc)
{
    return Doc.GetCanvas()->Contents()->Stream()->Bytes();
}

// A stream that only counts what is written to it.
class CountingStream : public TStream {
public:
    qint64 Read(void *, qint64) override { return 0; }
    qint64 Write(const void *, qint64 Count) override
    {
        FPos += Count;
        FSize = std::max(FSize, FPos);
        return Count;
    }
    qint64 Seek(qint64 Offset, TSeekOrigin Origin) override
    {
        FPos = Origin == soBeginning ? Offset : Origin == soCurrent ? FPos + Offset : FSize + Offset;
        return FPos;
    }
    qint64 Size() override { return FSize; }
    void SetSize(qint64 NewSize) override { FSize = NewSize; }

private:
    qint64 FPos = 0;
    qint64 FSize = 0;
};

// An object whose text is Size zero bytes, written without holding them.
class HugeObject : public TPdfObject {
public:
    explicit HugeObject(qint64 ASize) : FSize(ASize) {}

protected:
    void WriteOwnText(TStream *AStream) override
    {
        static const QByteArray Chunk(1 << 20, '0');
        for (qint64 Left = FSize; Left > 0; Left -= Chunk.size())
            AStream->WriteBuffer(Chunk.constData(), std::min<qint64>(Left, Chunk.size()));
    }

private:
    qint64 FSize;
};

} // namespace

TEST(PdfDocument, OnePageDocumentLayout)
{
    TPdfDoc Doc;
    Doc.OpenDocument();
    Doc.AddPage();
    const QByteArray Pdf = SaveToBytes(Doc);
    EXPECT_EQ(CheckLayout(Pdf), QString());

    EXPECT_TRUE(Pdf.contains("xref\r\n0 7\r\n0000000000 65535 f\r\n"));
    EXPECT_EQ(ObjectText(Pdf, 1), "1 0 obj\r\n<<\r\n/Type /Catalog\r\n/Pages 3 0 R\r\n>>\r\nendobj\r\n");
    EXPECT_TRUE(ObjectText(Pdf, 2).startsWith("2 0 obj\r\n<<\r\n/Producer (QuillPdf version 0.9)\r\n/CreationDate (D:"));
    EXPECT_TRUE(ObjectText(Pdf, 2).contains("\r\n/ModDate (D:"));
    EXPECT_EQ(ObjectText(Pdf, 3), "3 0 obj\r\n<<\r\n/Type /Pages\r\n/Kids [4 0 R ]\r\n/Count 1\r\n>>\r\nendobj\r\n");
    EXPECT_EQ(ObjectText(Pdf, 4),
              "4 0 obj\r\n<<\r\n/Type /Page\r\n/Parent 3 0 R\r\n/MediaBox [0 0 596 842 ]\r\n"
              "/Resources <<\r\n/Font <<\r\n/F0 6 0 R\r\n>>\r\n/XObject <<\r\n>>\r\n/ProcSet [/PDF /Text /ImageC ]\r\n>>\r\n"
              "/Contents 5 0 R\r\n>>\r\nendobj\r\n");
    EXPECT_EQ(ObjectText(Pdf, 5),
              "5 0 obj\r\n<<\r\n/Length 10\r\n/Filter []\r\n>>\r\nstream\r\n/F0 10 Tf\n\nendstream\r\nendobj\r\n");
    // The widths are for measuring only and never written.
    EXPECT_EQ(ObjectText(Pdf, 6),
              "6 0 obj\r\n<<\r\n/Type /Font\r\n/Subtype /Type1\r\n/Encoding /WinAnsiEncoding\r\n/FirstChar 32\r\n"
              "/LastChar 255\r\n/BaseFont /Helvetica\r\n/Name /F0\r\n>>\r\nendobj\r\n");
    EXPECT_TRUE(Pdf.contains("trailer\r\n<<\r\n/Size 7\r\n/Root 1 0 R\r\n/Info 2 0 R\r\n>>\r\nstartxref\r\n"));
}

TEST(PdfDocument, PeersAcceptAndReadTheDocument)
{
    if (!HavePeer(QStringLiteral("qpdf")) || !HavePeer(QStringLiteral("pdfinfo")))
        GTEST_SKIP() << "qpdf or pdfinfo missing";
    TestSupport::TempDir Dir;
    TPdfDoc Doc;
    Doc.OpenDocument();
    Doc.SetTitle(QStringLiteral("Spring (catalogue) \\ 2007"));
    Doc.SetAuthor(QString::fromUtf8("作者"));
    Doc.SetCreationDate(EncodeDate(2007, 5, 3) + EncodeTime(23, 22, 37, 0));
    Doc.AddPage();
    Doc.AddPage();
    Doc.GetCanvas()->SetPageWidth(664);
    Doc.GetCanvas()->SetPageHeight(564);
    const QString File = Dir.File(QStringLiteral("two.pdf"));
    WriteFile(File, SaveToBytes(Doc));

    QByteArray Out;
    EXPECT_EQ(RunPeer(QStringLiteral("qpdf"), {QStringLiteral("--check"), File}, &Out), 0) << Out.constData();
    const auto Info = PdfInfo(File);
    EXPECT_EQ(Info.value(QStringLiteral("Pages")), QStringLiteral("2"));
    EXPECT_EQ(Info.value(QStringLiteral("Producer")), QStringLiteral("QuillPdf version 0.9"));
    EXPECT_EQ(Info.value(QStringLiteral("Title")), QStringLiteral("Spring (catalogue) \\ 2007"));
    EXPECT_EQ(Info.value(QStringLiteral("Author")), QString::fromUtf8("作者"));
    EXPECT_TRUE(Info.value(QStringLiteral("PDF version")).startsWith(QStringLiteral("1.2")));
    EXPECT_TRUE(Info.value(QStringLiteral("CreationDate")).contains(QStringLiteral("2007")));

    // Page sizes as the peer sees them.
    ASSERT_EQ(RunPeer(QStringLiteral("pdfinfo"), {QStringLiteral("-f"), QStringLiteral("1"), QStringLiteral("-l"),
                                              QStringLiteral("2"), File}, &Out), 0);
    const QString Sizes = QString::fromUtf8(Out).simplified();
    EXPECT_TRUE(Sizes.contains(QStringLiteral("Page 1 size: 596 x 842 pts"))) << Out.constData();
    EXPECT_TRUE(Sizes.contains(QStringLiteral("Page 2 size: 664 x 564 pts"))) << Out.constData();

    if (HavePeer(QStringLiteral("pdffonts"))) {
        ASSERT_EQ(RunPeer(QStringLiteral("pdffonts"), {File}, &Out), 0);
        EXPECT_TRUE(Out.contains("Helvetica")) << Out.constData();
        EXPECT_EQ(Out.count("Helvetica"), 1) << "both pages share one font object";
    }
}

TEST(PdfDocument, InfoAndOutlineTextsReadBackExactlyInPeers)
{
    // The euro sign alone, Chinese beside it, Latin-1 and typographic marks:
    // each reads back as given, with no stray characters in front.
    if (!HavePeer(QStringLiteral("qpdf")) || !HavePeer(QStringLiteral("pdfinfo")))
        GTEST_SKIP() << "qpdf or pdfinfo missing";
    TestSupport::TempDir Dir;
    TPdfDoc Doc;
    Doc.SetUseOutlines(true);
    Doc.OpenDocument();
    Doc.SetTitle(QString::fromUtf8("Price € 5"));
    Doc.SetSubject(QString::fromUtf8("价格 € 5"));
    Doc.SetKeywords(QString::fromUtf8("café – “quoted” • ™"));
    Doc.AddPage();
    TPdfOutlineEntry *Entry = Doc.GetOutlineRoot()->AddChild();
    Entry->Title = QString::fromUtf8("Price € 5");
    Entry->Dest = Doc.CreateDestination();
    Entry->Dest->SetPage(Doc.GetCanvas()->Page());
    TPdfOutlineEntry *Chinese = Doc.GetOutlineRoot()->AddChild();
    Chinese->Title = QString::fromUtf8("目录 €");
    Chinese->Dest = Doc.CreateDestination();
    Chinese->Dest->SetPage(Doc.GetCanvas()->Page());
    const QString File = Dir.File(QStringLiteral("euro.pdf"));
    WriteFile(File, SaveToBytes(Doc));

    const auto Info = PdfInfo(File);
    EXPECT_EQ(Info.value(QStringLiteral("Title")), QString::fromUtf8("Price € 5"));
    EXPECT_EQ(Info.value(QStringLiteral("Subject")), QString::fromUtf8("价格 € 5"));
    EXPECT_EQ(Info.value(QStringLiteral("Keywords")), QString::fromUtf8("café – “quoted” • ™"));
    QByteArray Out;
    ASSERT_EQ(RunPeer(QStringLiteral("qpdf"), {QStringLiteral("--json"), QStringLiteral("--json-key=outlines"), File}, &Out), 0);
    EXPECT_TRUE(Out.contains("\"title\": \"Price \xE2\x82\xAC 5\"")) << Out.constData();
    EXPECT_TRUE(Out.contains("\"title\": \"\xE7\x9B\xAE\xE5\xBD\x95 \xE2\x82\xAC\"")) << Out.constData();
}

TEST(PdfDocument, EveryPageStartsWithTheDefaultFontAndSharesIt)
{
    TPdfDoc Doc;
    Doc.OpenDocument();
    Doc.AddPage();
    Doc.GetCanvas()->SelectFont("Times-Bold", 12);
    EXPECT_EQ(ContentOf(Doc), "/F0 10 Tf\n/F1 12 Tf\n");
    Doc.AddPage();
    EXPECT_EQ(ContentOf(Doc), "/F0 10 Tf\n");
    const QByteArray Pdf = SaveToBytes(Doc);
    EXPECT_EQ(CheckLayout(Pdf), QString());
    // Pages 4 and 8 both name object 6 as F0.
    EXPECT_TRUE(ObjectText(Pdf, 4).contains("/F0 6 0 R\r\n/F1 7 0 R\r\n"));
    EXPECT_TRUE(ObjectText(Pdf, 8).contains("/Font <<\r\n/F0 6 0 R\r\n>>"));

    // Returning to the first page restores its text state without writing it again.
    TPdfDictionary *Second = Doc.GetCanvas()->Page();
    TPdfDictionary *First = Doc.Xref()->ObjectByNumber(4) == nullptr
        ? nullptr
        : static_cast<TPdfDictionary *>(Doc.Xref()->ObjectByNumber(4));
    Doc.GetCanvas()->AttachPage(First);
    EXPECT_EQ(Doc.GetCanvas()->Attribute()->Font()->Name(), "Times-Bold");
    EXPECT_EQ(Doc.GetCanvas()->Attribute()->FontSize(), 12);
    Doc.GetCanvas()->AttachPage(Second);
    EXPECT_EQ(Doc.GetCanvas()->Attribute()->Font()->Name(), "Arial");
}

TEST(PdfDocument, NumberingWithOutlinesAndOutlineLinks)
{
    TPdfDoc Doc;
    Doc.SetUseOutlines(true);
    Doc.OpenDocument();
    EXPECT_EQ(Doc.Xref()->ObjectByNumber(2), Doc.GetOutlineRoot()->Data());
    EXPECT_EQ(Doc.Xref()->ObjectByNumber(3), Doc.GetInfo()->Data());
    EXPECT_EQ(Doc.Xref()->ObjectByNumber(4), Doc.GetRoot()->Pages());
    Doc.AddPage();
    TPdfDestination *Dest = Doc.CreateDestination();
    Dest->SetPage(Doc.GetCanvas()->Page());
    Dest->DestinationType = dtXYZ;
    Dest->Left = 0;
    Dest->Top = -200;   // below -100: unchanged, written as null
    Dest->Zoom = -2;    // negative zoom: 0
    TPdfOutlineEntry *A = Doc.GetOutlineRoot()->AddChild();
    A->Title = QStringLiteral("First");
    A->Dest = Dest;
    A->Opened = true;
    TPdfOutlineEntry *A1 = A->AddChild();
    A1->Title = QString::fromUtf8("第一节");
    TPdfOutlineEntry *B = Doc.GetOutlineRoot()->AddChild();
    B->Title = QStringLiteral("Second");
    Doc.GetRoot()->SetOpenAction(Dest);
    Doc.GetRoot()->SetPageMode(pmUseOutlines);
    EXPECT_THROW(Doc.CreateOutlineEntry(nullptr), Exception);

    const QByteArray Pdf = SaveToBytes(Doc);
    EXPECT_EQ(CheckLayout(Pdf), QString());
    EXPECT_TRUE(Pdf.contains("/Dest [5 0 R /XYZ 0 null 0 ]")) << Pdf.constData();
    EXPECT_TRUE(Pdf.contains("/OpenAction [5 0 R /XYZ 0 null 0 ]"));
    const QByteArray Root = ObjectText(Pdf, 2);
    EXPECT_TRUE(Root.contains("/Count 3")) << Root.constData();
    if (HavePeer(QStringLiteral("qpdf"))) {
        TestSupport::TempDir Dir;
        const QString File = Dir.File(QStringLiteral("outlines.pdf"));
        WriteFile(File, Pdf);
        QByteArray Out;
        EXPECT_EQ(RunPeer(QStringLiteral("qpdf"), {QStringLiteral("--check"), File}, &Out), 0) << Out.constData();
        EXPECT_EQ(RunPeer(QStringLiteral("qpdf"), {QStringLiteral("--json"), QStringLiteral("--json-key=outlines"), File}, &Out), 0);
        EXPECT_TRUE(Out.contains("\"title\": \"First\"")) << Out.constData();
        EXPECT_TRUE(Out.contains("\"title\": \"Second\"")) << Out.constData();
    }
}

TEST(PdfDocument, OutlinesNestedVeryDeepAreSavedWithTheirCounts)
{
    // 100,000 levels: more than the call stack holds, one entry to a level
    // and a sibling beside the first; the tenth level is closed.
    TPdfDoc Doc;
    Doc.SetUseOutlines(true);
    Doc.OpenDocument();
    Doc.AddPage();
    const int Depth = 100000;
    TPdfOutlineEntry *Entry = Doc.GetOutlineRoot();
    std::vector<TPdfOutlineEntry *> Levels;
    for (int I = 0; I < Depth; ++I) {
        Entry = Entry->AddChild();
        Entry->Title = QStringLiteral("L%1").arg(I + 1);
        Entry->Opened = I + 1 != 10;
        Levels.push_back(Entry);
    }
    Doc.GetOutlineRoot()->AddChild()->Title = QStringLiteral("Beside");
    const QByteArray Pdf = SaveToBytes(Doc);
    EXPECT_EQ(CheckLayout(Pdf), QString());
    auto CountOf = [&](const TPdfOutlineEntry *E) {
        const QByteArray Text = ObjectText(Pdf, E->Data()->ObjectNumber());
        const int At = Text.indexOf("/Count ");
        return At < 0 ? QByteArray() : Text.mid(At + 7, Text.indexOf('\r', At) - At - 7);
    };
    // Shown below the root: levels 1 to 10 (the tenth is closed) and the sibling.
    EXPECT_EQ(CountOf(Doc.GetOutlineRoot()), "11");
    EXPECT_EQ(CountOf(Levels[0]), "9");
    EXPECT_EQ(CountOf(Levels[9]), QByteArray::number(-(Depth - 10)));
    EXPECT_EQ(CountOf(Levels[Depth - 2]), "1");
    EXPECT_EQ(CountOf(Levels[Depth - 1]), "");
}

TEST(PdfDocument, CatalogSettings)
{
    TPdfDoc Doc;
    Doc.OpenDocument();
    TPdfCatalog *Root = Doc.GetRoot();
    Root->SetPageMode(pmUseNone);
    Root->SetPageLayout(plSinglePage);
    Root->SetPageLayout(plTwoColumnLeft);   // replaced in place
    EXPECT_EQ(Root->PageLayout(), plTwoColumnLeft);
    Root->SetNonFullScreenPageMode(pmFullScreen);
    EXPECT_EQ(Root->NonFullScreenPageMode(), pmUseNone);
    Root->SetViewerPreference(vpHideToolbar | vpCenterWindow);
    EXPECT_EQ(Root->ViewerPreference(), TPdfViewerPreferences(vpHideToolbar | vpCenterWindow));
    Root->SetViewerPreference(vpFitWindow);
    EXPECT_EQ(Root->ViewerPreference(), TPdfViewerPreferences(vpFitWindow));
    Doc.AddPage();
    const QByteArray Pdf = SaveToBytes(Doc);
    EXPECT_EQ(ObjectText(Pdf, 1),
              "1 0 obj\r\n<<\r\n/Type /Catalog\r\n/Pages 3 0 R\r\n/PageMode /UseNone\r\n/PageLayout /TwoColumnLeft\r\n"
              "/ViewerPreferences <<\r\n/NonFullScreenPageMode /UseNone\r\n/FitWindow true\r\n>>\r\n>>\r\nendobj\r\n");

    // Only a page tree node becomes the catalog's "Pages".
    auto *NotPages = new TPdfDictionary(Doc.Xref());
    Doc.Xref()->AddObject(NotPages);
    Root->SetPages(NotPages);
    EXPECT_NE(Root->Pages(), NotPages);
}

TEST(PdfDocument, MisuseRaisesTheDocumentedErrors)
{
    TPdfDoc Doc;
    auto ExpectMessage = [](auto &&Call, const char *Text) {
        try {
            Call();
            ADD_FAILURE() << "no exception for " << Text;
        } catch (const Exception &E) {
            EXPECT_EQ(E.Message(), QString::fromLatin1(Text));
        }
    };
    ExpectMessage([&] { Doc.GetCanvas(); }, "GetCanvas --Document is null");
    ExpectMessage([&] { Doc.GetInfo(); }, "GetInfo --this method can not use this state..");
    ExpectMessage([&] { Doc.GetRoot(); }, "GetRoot --this method can not use this state..");
    ExpectMessage([&] { Doc.GetOutlineRoot(); }, "GetOutlineRoot --document is null..");
    ExpectMessage([&] { Doc.GetFont("Arial"); }, "GetFont --document is null.");
    ExpectMessage([&] { Doc.AddPage(); }, "AddPage --current pages null.");
    TMemoryStream S;
    ExpectMessage([&] { Doc.SaveToStream(&S); }, "SaveToStream --there is no document to save.");
    Doc.OpenDocument();
    ExpectMessage([&] { Doc.SaveToStream(&S); }, "SaveToStream --there is no document to save.");
    EXPECT_EQ(S.Size(), 0);
    ExpectMessage([&] { Doc.GetOutlineRoot(); }, "GetOutlineRoot --not use outline mode..");
    ExpectMessage([&] { Doc.GetFont("Wingdings"); }, "CreateFont --InvalidFontName:Wingdings");
    TPdfNumber Indirect(1);
    Indirect.SetObjectNumber(9);
    ExpectMessage([&] { Doc.Xref()->AddObject(&Indirect); }, "AddObject --wrong object type.");
    ExpectMessage([&] { Doc.GetCanvas()->GetPage(); }, "GetPage --the Page is nil");

    // Canvas ranges.
    Doc.AddPage();
    TPdfCanvas *C = Doc.GetCanvas();
    ExpectMessage([&] { C->SetHorizontalScaling(9); }, "SetHorizontalScaling --invalid font size");
    ExpectMessage([&] { C->SetHorizontalScaling(301); }, "SetHorizontalScaling --invalid font size");
    C->SetHorizontalScaling(10);
    C->SetHorizontalScaling(300);
    EXPECT_EQ(C->Attribute()->HorizontalScaling(), 300);
    ExpectMessage([&] { C->SetWordSpace(-0.5); }, "SetWordSpace --invalid word space");
    ExpectMessage([&] { C->SetCharSpace(-31); }, "SetCharSpace --invalid char space");
    ExpectMessage([&] { C->SetCharSpace(std::nan("")); }, "SetCharSpace --invalid char space");
    ExpectMessage([&] { C->ChangeFontSize(301); }, "SetCharSpace --invalid font size");
    ExpectMessage([&] { C->SetLeading(-1); }, "SetLeading --invalid font size");
    C->SetCharSpace(-30);
    C->SetLeading(300);
    ExpectMessage([&] { C->DrawXObject(0, 0, 1, 1, "Missing"); }, "DrawXObject --XObject not found: Missing");
    ExpectMessage([&] { C->DrawXObjectEx(0, 0, 1, 1, 0, 0, 1, 1, "Missing"); },
                  "DrawXObjectEx --XObject not found: Missing");
    ExpectMessage([&] { Doc.RegisterXObject(nullptr, "X"); }, "RegisterXObject --AObject is null");
    TPdfDictionary NotXObject;
    ExpectMessage([&] { Doc.RegisterXObject(&NotXObject, "X"); }, "RegisterXObject --not XObject");
    auto Plain = std::make_unique<TPdfImage>(Doc.Xref());
    ExpectMessage([&] { Doc.AddImage("X", std::move(Plain)); }, "AddImage --the image is not valid TPdfImage..");
    // The content holds only the default font line: failures wrote nothing.
    EXPECT_EQ(ContentOf(Doc), "/F0 10 Tf\n");
}

TEST(PdfDocument, CanvasOperatorsAndXObjects)
{
    TPdfDoc Doc;
    Doc.OpenDocument();
    Doc.AddPage();
    auto Image = std::make_unique<TPdfImage>(Doc.Xref());
    Image->Attributes()->Put("Type", new TPdfName("XObject"));
    Image->Attributes()->Put("Subtype", new TPdfName("Image"));
    Doc.AddImage("Pic1", std::move(Image));
    try {
        auto Again = std::make_unique<TPdfImage>(Doc.Xref());
        Again->Attributes()->Put("Type", new TPdfName("XObject"));
        Again->Attributes()->Put("Subtype", new TPdfName("Image"));
        Doc.AddImage("Pic1", std::move(Again));
        ADD_FAILURE();
    } catch (const Exception &E) {
        EXPECT_EQ(E.Message(), QStringLiteral("AddImage --the image named Pic1 is already exists.."));
    }
    TPdfCanvas *C = Doc.GetCanvas();
    C->DrawXObject(33, 40, 600, 400, "Pic1");
    C->DrawXObjectEx(32.004, 24.5, 600, 400, 32, -1.236, 598, 398, "Pic1");
    C->SelectFont("Arial", 10);   // unchanged: nothing written
    C->ChangeFontSize(1.234);
    EXPECT_EQ(ContentOf(Doc), "/F0 10 Tf\nq\n600 0 0 400 33 40 cm\n/Pic1 Do\nQ\n"
                              "q\n32 -1.24 598 398 re\nW\nn\n600 0 0 400 32 24.5 cm\n/Pic1 Do\nQ\n"
                              "/F0 1.23 Tf\n");
    const QByteArray Pdf = SaveToBytes(Doc);
    EXPECT_EQ(CheckLayout(Pdf), QString());
    EXPECT_TRUE(ObjectText(Pdf, 4).contains("/XObject <<\r\n/Pic1 7 0 R\r\n>>")) << ObjectText(Pdf, 4).constData();
    EXPECT_TRUE(ObjectText(Pdf, 7).contains("/Name /Pic1")) << ObjectText(Pdf, 7).constData();
}

TEST(PdfDocument, LongOperatorLinesAreWrittenWhole)
{
    TPdfDoc Doc;
    Doc.OpenDocument();
    Doc.AddPage();
    TPdfCanvas *C = Doc.GetCanvas();
    const double Big = 1.5e300;
    C->Transform(Big, -Big, Big, -Big, Big, -Big);
    const QByteArray B = "15" + QByteArray(299, '0');
    const QByteArray Name(2000, 'x');
    C->WriteFontOperator(Name, 1.5);
    EXPECT_EQ(ContentOf(Doc), "/F0 10 Tf\n" + B + " -" + B + " " + B + " -" + B + " " + B + " -" + B + " cm\n/"
                                  + Name + " 1.5 Tf\n");
    // A value that cannot be written leaves the content as it was.
    const QByteArray Before = ContentOf(Doc);
    EXPECT_THROW(C->Transform(1, 0, 0, 1, std::nan(""), 0), EPdfInvalidValue);
    EXPECT_THROW(C->AddRect(0, 0, HUGE_VAL, 1), EPdfInvalidValue);
    EXPECT_EQ(ContentOf(Doc), Before);
}

TEST(PdfDocument, SavingAgainRewritesTheWholeStream)
{
    TPdfDoc Doc;
    Doc.OpenDocument();
    Doc.AddPage();
    TMemoryStream S;
    S.WriteBytes(QByteArray(100000, 'x'));   // an older, longer file in the same stream
    Doc.SaveToStream(&S);
    const QByteArray First = S.Bytes();
    EXPECT_EQ(CheckLayout(First), QString());
    EXPECT_LT(First.size(), 100000);
    Doc.SaveToStream(&S);
    const QByteArray Second = S.Bytes();
    ASSERT_EQ(First.size(), Second.size());
    // Identical except for the modification date.
    const qsizetype Mod = First.indexOf("/ModDate (D:");
    ASSERT_GT(Mod, 0);
    EXPECT_EQ(First.left(Mod), Second.left(Mod));
    EXPECT_EQ(First.mid(Mod + 28), Second.mid(Mod + 28));
}

namespace {

// An image object whose body is Size bytes of a pattern of its own.
std::unique_ptr<TPdfImage> ImageWithBody(TPdfObjectMgr *Mgr, int Seed, qsizetype Size)
{
    auto Image = std::make_unique<TPdfImage>(Mgr);
    Image->Attributes()->Put("Type", new TPdfName("XObject"));
    Image->Attributes()->Put("Subtype", new TPdfName("Image"));
    QByteArray Body(Size, char('a' + Seed % 26));
    Body.replace(0, 12, QByteArray::number(Seed).rightJustified(12, '#'));
    Image->Stream()->WriteBytes(Body);
    return Image;
}

} // namespace

TEST(PdfDocument, ImageBodiesWaitOnDiskNotInMemory)
{
    constexpr int Count = 24;
    constexpr qsizetype Size = 1 << 20;
    const TDateTime Created = EncodeDate(2007, 5, 3) + EncodeTime(23, 22, 37, 0);
    const int Handles = ScratchHandles();
    TPdfDoc Doc;
    Doc.OpenDocument();
    Doc.SetCreationDate(Created);
    Doc.AddPage();
    const qint64 Before = HeapInUse();
    for (int I = 0; I < Count; ++I) {
        const QByteArray Name = "Im" + QByteArray::number(I);
        Doc.AddImage(Name, ImageWithBody(Doc.Xref(), I, Size));
        Doc.GetCanvas()->DrawXObject(I, I, 10, 10, Name);
    }
    // 24 MiB of pictures, held by the document's scratch file, which has no
    // name anyone could find (or leave behind).
    EXPECT_LT(HeapInUse() - Before, 4 << 20);
    EXPECT_EQ(ScratchHandles(), Handles + 1);
    EXPECT_TRUE(ScratchNames().isEmpty()) << ScratchNames().join(' ').toStdString();

    // The file is the one the bodies would make from memory: the same document
    // with its images put into the cross-reference table first, which leaves
    // their bodies where they are.
    TPdfDoc Kept;
    Kept.OpenDocument();
    Kept.SetCreationDate(Created);
    Kept.AddPage();
    for (int I = 0; I < Count; ++I) {
        const QByteArray Name = "Im" + QByteArray::number(I);
        TPdfImage *Image = ImageWithBody(Kept.Xref(), I, Size).release();
        Kept.Xref()->AddObject(Image);
        Kept.RegisterXObject(Image, Name);
        Kept.GetCanvas()->DrawXObject(I, I, 10, 10, Name);
    }
    const QByteArray Pdf = SaveToBytes(Doc);
    EXPECT_EQ(CheckLayout(Pdf), QString());
    EXPECT_TRUE(WithoutModDate(Pdf) == WithoutModDate(SaveToBytes(Kept)));
    // Written again, the bodies are read again.
    EXPECT_TRUE(WithoutModDate(SaveToBytes(Doc)) == WithoutModDate(Pdf));
    const QByteArray Last = ObjectText(Pdf, 6 + Count);   // after the page, its content and the font
    EXPECT_TRUE(Last.contains("/Length 1048576\r\n")) << Last.left(200).constData();
    const QByteArray Body = ImageWithBody(nullptr, Count - 1, Size)->Stream()->Bytes();
    EXPECT_TRUE(Last.contains("stream\r\n" + Body + "\nendstream"));

    Doc.CloseDocument();
    EXPECT_EQ(ScratchHandles(), Handles);
}

TEST(PdfDocument, AFileTooLargeForTheXrefIsRefused)
{
    TPdfDoc Doc;
    Doc.OpenDocument();
    Doc.AddPage();
    Doc.Xref()->AddObject(new HugeObject(TPdfDoc::MaxFileSize));
    Doc.Xref()->AddObject(new TPdfNull);   // its offset would need eleven digits
    CountingStream S;
    try {
        Doc.SaveToStream(&S);
        ADD_FAILURE() << "an 11-digit offset was accepted";
    } catch (const EPdfInvalidOperation &E) {
        EXPECT_EQ(E.Message(), QStringLiteral("SaveToStream --the document is too large."));
    }
}

TEST(PdfDocument, TheTwelveStandardFontsAndTheirWidths)
{
    struct Font {
        const char *Name;
        const char *BaseFont;
        int WidthOfA;
        int WidthOfSpace;
    };
    const Font Fonts[] = {
        {"FixedWidth", "Courier", 600, 600},
        {"FixedWidth-Bold", "Courier-Bold", 600, 600},
        {"FixedWidth-Italic", "Courier-Oblique", 600, 600},
        {"FixedWidth-BoldItalic", "Courier-BoldOblique", 600, 600},
        {"Arial", "Helvetica", 667, 278},
        {"Arial-Bold", "Helvetica-Bold", 722, 278},
        {"Arial-Italic", "Helvetica-Oblique", 667, 278},
        {"Arial-BoldItalic", "Helvetica-BoldOblique", 722, 278},
        {"Times-Roman", "Times-Roman", 722, 250},
        {"Times-Bold", "Times-Bold", 722, 250},
        {"Times-Italic", "Times-Italic", 611, 250},
        {"Times-BoldItalic", "Times-BoldItalic", 667, 250},
    };
    TPdfDoc Doc;
    Doc.OpenDocument();
    Doc.AddPage();
    for (const Font &F : Fonts) {
        Doc.GetCanvas()->SelectFont(F.Name, 12);
        TPdfFont *P = Doc.GetFont(F.Name);
        EXPECT_EQ(P->Data()->PdfNameByName("BaseFont")->Value(), F.BaseFont);
        EXPECT_EQ(P->CharWidth("A ", 1), F.WidthOfA) << F.Name;
        EXPECT_EQ(P->CharWidth("A ", 2), F.WidthOfSpace) << F.Name;
        EXPECT_EQ(P->CharWidth("A", 0), 0);
        EXPECT_EQ(P->CharWidth("A", 2), 0);   // past the text: nothing read
        EXPECT_EQ(P->Data()->PdfArrayByName("Widths")->ItemCount(), 224);
    }
    // Every Courier width is 600; the euro sign (code 128) and an unused code have widths.
    TPdfFont *Courier = Doc.GetFont("FixedWidth");
    for (int Code = 32; Code < 256; ++Code)
        EXPECT_EQ(Courier->CharWidth(QByteArray(1, char(Code)), 1), 600) << Code;
    EXPECT_EQ(Doc.GetFont("Arial")->CharWidth("\x80", 1), 556);
    EXPECT_EQ(Doc.GetFont("Arial")->CharWidth("\x81", 1), 350);   // shown as the bullet
    const QByteArray Pdf = SaveToBytes(Doc);
    EXPECT_EQ(CheckLayout(Pdf), QString());
    EXPECT_TRUE(ObjectText(Pdf, 4).contains("/F11 17 0 R")) << ObjectText(Pdf, 4).constData();

    if (!HavePeer(QStringLiteral("pdffonts")))
        GTEST_SKIP() << "pdffonts missing";
    TestSupport::TempDir Dir;
    const QString File = Dir.File(QStringLiteral("fonts.pdf"));
    WriteFile(File, Pdf);
    QByteArray Out;
    ASSERT_EQ(RunPeer(QStringLiteral("pdffonts"), {File}, &Out), 0);
    // One line per font: name, type, encoding, emb, sub, uni, object number.
    const QString Lines = QString::fromUtf8(Out);
    for (const Font &F : Fonts) {
        const QRegularExpression Line(QStringLiteral("^%1 +Type 1 +WinAnsi +no +no +no ")
                                          .arg(QRegularExpression::escape(QString::fromLatin1(F.BaseFont))),
                                      QRegularExpression::MultilineOption);
        EXPECT_TRUE(Lines.contains(Line)) << F.BaseFont << "\n" << Out.constData();
    }
}
