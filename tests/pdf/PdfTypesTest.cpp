// The exact text of every value kind.

#include "pdf/PdfTypes.h"

#include "platform/core/Codec.h"

#include "TestSupport.h"

#include <gtest/gtest.h>

#include <clocale>
#include <cstdio>
#include <cmath>
#include <limits>

namespace {

QByteArray ValueText(TPdfObject &Object)
{
    TMemoryStream S;
    Object.WriteAsValue(&S);
    return S.Bytes();
}

QByteArray ValueText(TPdfObject &&Object)
{
    return ValueText(Object);
}

// A manager that numbers objects without owning them, for reference tests.
class NumberingMgr : public TPdfObjectMgr {
public:
    ~NumberingMgr() override
    {
        for (TPdfObject *O : Objects)
            delete O;
    }
    void AddObject(TPdfObject *AObject) override
    {
        Objects.push_back(AObject);
        AObject->SetObjectNumber(int(Objects.size()));
    }
    TPdfObject *ObjectByNumber(int ObjectID) const override
    {
        return ObjectID >= 1 && ObjectID <= int(Objects.size()) ? Objects[size_t(ObjectID - 1)] : nullptr;
    }
    std::vector<TPdfObject *> Objects;
};

} // namespace

TEST(PdfValues, SimpleValuesAndNumbers)
{
    EXPECT_EQ(ValueText(TPdfNull()), "null");
    EXPECT_EQ(ValueText(TPdfBoolean(true)), "true");
    EXPECT_EQ(ValueText(TPdfBoolean(false)), "false");
    EXPECT_EQ(ValueText(TPdfNumber(0)), "0");
    EXPECT_EQ(ValueText(TPdfNumber(-2147483647 - 1)), "-2147483648");
    EXPECT_EQ(ValueText(TPdfNumber(596)), "596");

    // Reals: plain decimal notation, never an exponent, up to 15 significant digits.
    EXPECT_EQ(ValueText(TPdfReal(1.5)), "1.5");
    EXPECT_EQ(ValueText(TPdfReal(-0.25)), "-0.25");
    EXPECT_EQ(ValueText(TPdfReal(0)), "0");
    EXPECT_EQ(ValueText(TPdfReal(-0.0)), "0");
    EXPECT_EQ(ValueText(TPdfReal(1e-7)), "0.0000001");
    EXPECT_EQ(ValueText(TPdfReal(1.5e20)), "150000000000000000000");
    EXPECT_EQ(ValueText(TPdfReal(0.1 + 0.2)), "0.3");
    EXPECT_EQ(ValueText(TPdfReal(1.0 / 3)), "0.333333333333333");
}

TEST(PdfValues, RealIgnoresTheLocaleDecimalSeparator)
{
    const char *Old = std::setlocale(LC_NUMERIC, nullptr);
    const std::string Saved = Old ? Old : "C";
    // A German locale writes 1.5 as "1,5". Build one when the system has none.
    TestSupport::TempDir Dir;
    if (!std::setlocale(LC_NUMERIC, "de_DE.UTF-8")) {
        if (TestSupport::RunProgram(QStringLiteral("localedef"),
                                    {QStringLiteral("-i"), QStringLiteral("de_DE"), QStringLiteral("-f"),
                                     QStringLiteral("UTF-8"), Dir.File(QStringLiteral("de_DE.UTF-8"))}) != 0)
            GTEST_SKIP() << "no locale with a decimal comma";
        qputenv("LOCPATH", Dir.Path().toLocal8Bit());
        if (!std::setlocale(LC_NUMERIC, "de_DE.UTF-8"))
            GTEST_SKIP() << "no locale with a decimal comma";
    }
    char Buffer[16];
    std::snprintf(Buffer, sizeof Buffer, "%.1f", 1.5);
    const std::string Local = Buffer;
    EXPECT_EQ(ValueText(TPdfReal(1.5)), "1.5");
    EXPECT_EQ(FormatPdfNumber(2.5), "2.5");
    EXPECT_EQ(FormatPdfReal(-0.125), "-0.125");
    std::setlocale(LC_NUMERIC, Saved.c_str());
    qunsetenv("LOCPATH");
    EXPECT_EQ(Local, "1,5");   // the locale really was in force
}

TEST(PdfValues, FormatPdfNumberRoundsHalfAwayFromZeroToTwoDecimals)
{
    EXPECT_EQ(FormatPdfNumber(1.234), "1.23");
    EXPECT_EQ(FormatPdfNumber(1.236), "1.24");
    EXPECT_EQ(FormatPdfNumber(2.5), "2.5");
    EXPECT_EQ(FormatPdfNumber(600), "600");
    EXPECT_EQ(FormatPdfNumber(0), "0");
    // Negative values round away from zero too, and never give "-0".
    EXPECT_EQ(FormatPdfNumber(-1.236), "-1.24");
    EXPECT_EQ(FormatPdfNumber(-1.234), "-1.23");
    EXPECT_EQ(FormatPdfNumber(-2.345), "-2.35");
    EXPECT_EQ(FormatPdfNumber(-0.001), "0");
    // Halves written in decimal round up although their binary value lies just below.
    EXPECT_EQ(FormatPdfNumber(1.005), "1.01");
    EXPECT_EQ(FormatPdfNumber(9.995), "10");
    EXPECT_EQ(FormatPdfNumber(0.005), "0.01");
    // Plain notation for large and small values.
    EXPECT_EQ(FormatPdfNumber(1e15), "1000000000000000");
    EXPECT_EQ(FormatPdfNumber(1e-5), "0");
}

TEST(PdfValues, NonFiniteNumbersAreRefused)
{
    const double Values[] = {std::numeric_limits<double>::quiet_NaN(), std::numeric_limits<double>::infinity(),
                             -std::numeric_limits<double>::infinity()};
    for (double V : Values) {
        EXPECT_THROW(FormatPdfNumber(V), EPdfInvalidValue);
        EXPECT_THROW(TPdfReal R(V), EPdfInvalidValue);
        TPdfReal R(1);
        EXPECT_THROW(R.SetValue(V), EPdfInvalidValue);
        EXPECT_EQ(R.Value(), 1);
    }
}

TEST(PdfValues, NamesEscapeDelimitersAndBytesOutsidePrintableAscii)
{
    EXPECT_EQ(ValueText(TPdfName("Type")), "/Type");
    EXPECT_EQ(ValueText(TPdfName("A B#1")), "/A#20B#231");
    EXPECT_EQ(ValueText(TPdfName("#%()/<>[]{}")), "/#23#25#28#29#2F#3C#3E#5B#5D#7B#7D");
    EXPECT_EQ(ValueText(TPdfName(QByteArray("\x01\x7F\x80\xFF", 4))), "/#01#7F#80#FF");
    EXPECT_EQ(ValueText(TPdfName("!~")), "/!~");
    EXPECT_EQ(ValueText(TPdfName("")), "/");
}

TEST(PdfValues, WholeNumbersAndLongNamesAtTheEdgesOfTheShortForms)
{
    // Whole numbers take a shorter road than fractions; both give the same text.
    EXPECT_EQ(FormatPdfNumber(9007199254740991.0), "9007199254740991");
    EXPECT_EQ(FormatPdfNumber(9007199254740992.0), "9007199254740992");
    EXPECT_EQ(FormatPdfNumber(-9007199254740994.0), "-9007199254740994");
    EXPECT_EQ(FormatPdfNumber(-0.0), "0");
    EXPECT_EQ(FormatPdfNumber(-7), "-7");
    EXPECT_EQ(FormatPdfNumber(1e20), "100000000000000000000");
    EXPECT_EQ(FormatPdfNumber(-0.995), "-1");
    EXPECT_EQ(FormatPdfNumber(99.999), "100");
    EXPECT_EQ(FormatPdfReal(999999999999999.0), "999999999999999");
    EXPECT_EQ(FormatPdfReal(1e15), "1000000000000000");
    EXPECT_EQ(FormatPdfReal(1234567890123456.0), "1234567890123460");
    EXPECT_EQ(FormatPdfReal(-123456789012345.0), "-123456789012345");
    EXPECT_EQ(FormatPdfReal(0.5), "0.5");
    EXPECT_EQ(FormatPdfReal(1e300).size(), 301);
    EXPECT_EQ(FormatPdfReal(-4.9e-324), "-0." + QByteArray(323, '0') + "494065645841247");
    EXPECT_EQ(FormatPdfNumber(-1.7976931348623157e308).size(), 310);

    // Names of any length, also where a dictionary writes them as keys.
    const QByteArray Long(300, '#');
    const QByteArray Escaped = "/" + QByteArray("#23").repeated(300);
    EXPECT_EQ(EscapeName(Long), Escaped);
    EXPECT_EQ(ValueText(TPdfName(Long)), Escaped);
    TPdfDictionary D;
    D.Put(Long, new TPdfNumber(1));
    D.Put("k", new TPdfName(Long));
    EXPECT_EQ(ValueText(D), "<<\r\n" + Escaped + " 1\r\n/k " + Escaped + "\r\n>>");
    EXPECT_NE(D.ValueByName(Long), nullptr);
    EXPECT_EQ(D.ValueByName(QByteArray("k\0", 2)), nullptr);
    D.Remove(Long);
    EXPECT_EQ(D.ItemCount(), 1);
}

TEST(PdfValues, LiteralStringsEscapeParenthesesBackslashAndControls)
{
    EXPECT_EQ(ValueText(TPdfText(QByteArray("a(b)\\c"))), "(a\\(b\\)\\\\c)");
    EXPECT_EQ(ValueText(TPdfText(QByteArray("\r\n\t\b\f"))), "(\\r\\n\\t\\b\\f)");
    EXPECT_EQ(ValueText(TPdfText(QByteArray())), "()");
    // Code page 936's euro sign (0x80) goes out as PDFDocEncoding's (0xA0): its
    // 0x80 is a bullet. Latin-1 letters and typographic marks stay one byte each.
    EXPECT_EQ(ValueText(TPdfText(QByteArray("\x80"))), QByteArray("(\xA0)"));
    EXPECT_EQ(ValueText(TPdfText(QString::fromUtf8("Price € 5"))), QByteArray("(Price \xA0 5)"));
    EXPECT_EQ(ValueText(TPdfText(QString::fromUtf8("café • “x” – ™"))),
              QByteArray("(caf\xE9 \x80 \x8Dx\x8E \x85 \x92)"));
}

TEST(PdfValues, TextOutsidePdfDocEncodingIsWrittenAsUtf16WithoutLanguageEscape)
{
    // Two GBK characters: U+4E2D U+6587.
    const QString Chinese = QString::fromUtf8("中文");
    EXPECT_EQ(ValueText(TPdfText(Chinese)), "<FEFF4E2D6587>");
    EXPECT_EQ(ValueText(TPdfText(QString::fromUtf8("a中€"))), "<FEFF00614E2D20AC>");
    // A character outside code page 936 travels as GB18030 and comes back whole.
    const QString Emoji = QString::fromUtf8("\xF0\x9F\x98\x80");
    EXPECT_EQ(ValueText(TPdfText(Emoji)), "<FEFFD83DDE00>");
    // Characters PDFDocEncoding has no place for, or puts other marks on.
    EXPECT_EQ(ValueText(TPdfText(QString(QChar(0x7F)))), "<FEFF007F>");
    EXPECT_EQ(ValueText(TPdfText(QString(QChar(0x1B)))), "<FEFF001B>");
    EXPECT_EQ(ValueText(TPdfText(QString(QChar(0xAD)))), "<FEFF00AD>");
    EXPECT_EQ(TPdfText(Chinese).Text(), Chinese);
}

TEST(PdfValues, TextEndingInALeadByteStaysWithinItsBytes)
{
    // A lone lead byte at the end forms no character; the writer must neither
    // read past the string nor lose the byte.
    const QByteArray Damaged("ab\xD6", 3);
    const QByteArray Text = ValueText(TPdfText(Damaged));
    ASSERT_TRUE(Text.startsWith("<FEFF00610062"));
    ASSERT_TRUE(Text.endsWith(">"));
    EXPECT_EQ((Text.size() - 2) % 4, 0);
    // At most one code unit stands for the lone byte (the codec keeps it as a private-use character).
    EXPECT_LE(Text.size(), QByteArray("<FEFF00610062").size() + 4 + 1);
}

TEST(PdfContainers, ArraysWriteABlankAfterEveryItem)
{
    TPdfArray Empty;
    EXPECT_EQ(ValueText(Empty), "[]");
    TPdfArray Box;
    for (int V : {0, 0, 596, 842})
        Box.AddItem(new TPdfNumber(V));
    EXPECT_EQ(ValueText(Box), "[0 0 596 842 ]");

    // The very same item is not added twice; name lookups and removal.
    TPdfArray Names;
    auto *Pdf = new TPdfName("PDF");
    Names.AddItem(Pdf);
    Names.AddItem(Pdf);
    Names.AddItem(new TPdfName("Text"));
    EXPECT_EQ(Names.ItemCount(), 2);
    EXPECT_EQ(Names.FindName("PDF"), Pdf);
    EXPECT_TRUE(Names.RemoveName("PDF"));
    EXPECT_FALSE(Names.RemoveName("PDF"));
    EXPECT_EQ(ValueText(Names), "[/Text ]");
    EXPECT_THROW(Names.AddItem(nullptr), EPdfInvalidValue);
}

TEST(PdfContainers, DictionariesKeepOrderAndMoveAReplacedKeyToTheEnd)
{
    TPdfDictionary Empty;
    EXPECT_EQ(ValueText(Empty), "<<\r\n>>");

    TPdfDictionary D;
    D.Put("Count", new TPdfNumber(1));
    D.Put("Type", new TPdfName("Pages"));
    D.Put("Count", new TPdfNumber(2));
    EXPECT_EQ(ValueText(D), "<<\r\n/Type /Pages\r\n/Count 2\r\n>>");
    EXPECT_EQ(D.ItemCount(), 2);
    EXPECT_EQ(D.TypeName(), "Pages");
    EXPECT_EQ(D.PdfNumberByName("Count")->Value(), 2);
    EXPECT_EQ(D.PdfNameByName("Count"), nullptr);
    EXPECT_EQ(D.PdfArrayByName("Missing"), nullptr);

    // Hidden elements can be looked up but are never written.
    D.PutHidden("Widths", new TPdfNumber(600));
    EXPECT_EQ(D.PdfNumberByName("Widths")->Value(), 600);
    EXPECT_EQ(ValueText(D), "<<\r\n/Type /Pages\r\n/Count 2\r\n>>");
    D.Remove("Type");
    EXPECT_EQ(D.TypeName(), "");
    EXPECT_THROW(D.Put("X", nullptr), EPdfInvalidValue);
    EXPECT_THROW(TPdfDictionaryElement("X", nullptr), EPdfInvalidValue);
}

TEST(PdfContainers, PuttingTheValueAKeyHoldsKeepsIt)
{
    TPdfDictionary D;
    auto *Kids = new TPdfArray;
    Kids->AddItem(new TPdfNumber(7));
    D.Put("Kids", Kids);
    D.Put("Type", new TPdfName("Pages"));
    D.Put("Kids", D.ValueByName("Kids"));   // same object onto its own key: moved, not freed
    EXPECT_EQ(D.PdfArrayByName("Kids"), Kids);
    EXPECT_EQ(ValueText(D), "<<\r\n/Type /Pages\r\n/Kids [7 ]\r\n>>");
    EXPECT_THROW(D.Put("Self", &D), EPdfInvalidValue);
}

TEST(PdfContainers, IndirectObjectsAreHeldAsReferencesAndResolved)
{
    NumberingMgr Mgr;
    auto *Page = new TPdfDictionary(&Mgr);
    Mgr.AddObject(Page);
    auto *Stream = new TPdfStream(&Mgr);
    Mgr.AddObject(Stream);
    EXPECT_EQ(Page->ObjectType(), otIndirectObject);

    TPdfArray Kids(&Mgr);
    Kids.AddItem(Page);
    Kids.AddItem(Stream);
    EXPECT_EQ(ValueText(Kids), "[1 0 R 2 0 R ]");
    EXPECT_EQ(Kids.Items(0), Page);

    TPdfDictionary D(&Mgr);
    D.Put("Contents", Stream);
    EXPECT_EQ(D.ValueByName("Contents"), Stream);
    D.Put("Contents", Stream);   // re-putting a reference is harmless
    EXPECT_EQ(ValueText(D), "<<\r\n/Contents 2 0 R\r\n>>");

    // Setting a number below 1 makes an object direct again.
    TPdfNumber N(3);
    N.SetObjectNumber(4);
    EXPECT_EQ(ValueText(N), "4 0 R");
    N.SetObjectNumber(0);
    EXPECT_EQ(N.ObjectType(), otDirectObject);
    EXPECT_EQ(ValueText(N), "3");
}

TEST(PdfObjects, IndirectObjectAndStreamLayout)
{
    TPdfStream S;
    S.SetObjectNumber(5);
    S.Stream()->WriteBuffer("q\n", 2);
    TMemoryStream Out;
    S.WriteAsObject(&Out);
    EXPECT_EQ(Out.Bytes(), QByteArray("5 0 obj\r\n<<\r\n/Length 2\r\n/Filter []\r\n>>\r\nstream\r\nq\n\nendstream\r\nendobj\r\n"));

    // Only indirect objects can be written as objects.
    TPdfNumber Direct(1);
    EXPECT_THROW(Direct.WriteAsObject(&Out), EPdfInvalidOperation);
    auto Virtual = TPdfVirtualObject::CreateVirtual(3);
    EXPECT_EQ(Virtual->ObjectType(), otVirtualObject);
    EXPECT_THROW(Virtual->WriteAsObject(&Out), EPdfInvalidOperation);
    EXPECT_THROW(TPdfVirtualObject(), Exception);
}

TEST(PdfObjects, StreamsAnnounceNoCompressionAndTheirExactLength)
{
    TPdfStream S;
    S.Attributes()->PdfArrayByName("Filter")->AddItem(new TPdfName("FlateDecode"));
    S.Stream()->WriteBuffer("0123456789", 10);
    // A body rewritten shorter keeps only what was written.
    S.Stream()->SetSize(0);
    S.Stream()->WriteBuffer("abc", 3);
    S.SetObjectNumber(1);
    TMemoryStream Out;
    S.WriteAsObject(&Out);
    EXPECT_EQ(Out.Bytes(), QByteArray("1 0 obj\r\n<<\r\n/Length 3\r\n/Filter []\r\n>>\r\nstream\r\nabc\nendstream\r\nendobj\r\n"));

    TPdfBinary B;
    B.Stream()->WriteBuffer("<00 >", 5);
    EXPECT_EQ(ValueText(B), "<00 >");
}

TEST(PdfObjects, PdfDateHasSixteenCharacters)
{
    EXPECT_EQ(PdfDate(EncodeDate(2007, 5, 3) + EncodeTime(23, 22, 37, 0)), "D:20070503232237");
    EXPECT_EQ(PdfDate(EncodeDate(2026, 1, 2) + EncodeTime(3, 4, 5, 0)), "D:20260102030405");
}

// ---------------------------------------------------------------- JPEG markers

#include "pdf/PdfJpegInfo.h"

namespace {

// A minimal marker skeleton: SOI, optional APP14 Adobe, SOF0, SOS, one data byte, EOI.
QByteArray JpegSkeleton(int Width, int Height, int Components, bool Adobe = false, unsigned char Sof = 0xC0)
{
    QByteArray J("\xFF\xD8", 2);
    if (Adobe) {
        J += QByteArray("\xFF\xEE\x00\x0E", 4);
        J += "Adobe";
        J += QByteArray(7, '\0');
    }
    const int SofLength = 8 + 3 * Components;
    J += char(0xFF);
    J += char(Sof);
    J += char(SofLength >> 8);
    J += char(SofLength & 0xFF);
    J += char(8);
    J += char(Height >> 8);
    J += char(Height & 0xFF);
    J += char(Width >> 8);
    J += char(Width & 0xFF);
    J += char(Components);
    for (int I = 0; I < Components; ++I) {
        J += char(I + 1);
        J += char(0x11);
        J += char(0);
    }
    const int SosLength = 6 + 2 * Components;
    J += char(0xFF);
    J += char(0xDA);
    J += char(SosLength >> 8);
    J += char(SosLength & 0xFF);
    J += char(Components);
    for (int I = 0; I < Components; ++I) {
        J += char(I + 1);
        J += char(0);
    }
    J += QByteArray("\x00\x3F\x00", 3);
    J += QByteArray("\x12\x34", 2);
    J += QByteArray("\xFF\xD9", 2);
    return J;
}

} // namespace

TEST(PdfJpegInfo, ReadsSizeComponentsAndAdobeMarker)
{
    TPdfJpegInfo Info;
    ASSERT_TRUE(ReadPdfJpegInfo(JpegSkeleton(600, 400, 3), Info));
    EXPECT_EQ(Info.Width, 600);
    EXPECT_EQ(Info.Height, 400);
    EXPECT_EQ(Info.Components, 3);
    EXPECT_FALSE(Info.AdobeMarker);
    ASSERT_TRUE(ReadPdfJpegInfo(JpegSkeleton(5, 7, 1), Info));
    EXPECT_EQ(Info.Components, 1);
    ASSERT_TRUE(ReadPdfJpegInfo(JpegSkeleton(5, 7, 4, true, 0xC2), Info));
    EXPECT_EQ(Info.Components, 4);
    EXPECT_TRUE(Info.AdobeMarker);
}

TEST(PdfJpegInfo, RefusesDamagedOrUnshowableData)
{
    TPdfJpegInfo Info;
    const QByteArray Good = JpegSkeleton(600, 400, 3);
    EXPECT_FALSE(ReadPdfJpegInfo(QByteArray(), Info));
    EXPECT_FALSE(ReadPdfJpegInfo("GIF89a", Info));
    // Every truncation is refused, and none reads past the data.
    for (qsizetype N = 0; N < Good.size(); ++N)
        EXPECT_FALSE(ReadPdfJpegInfo(Good.left(N), Info)) << "truncated to " << N;
    EXPECT_FALSE(ReadPdfJpegInfo(JpegSkeleton(0, 400, 3), Info));
    EXPECT_FALSE(ReadPdfJpegInfo(JpegSkeleton(600, 0, 3), Info));
    EXPECT_FALSE(ReadPdfJpegInfo(JpegSkeleton(6, 4, 2), Info));
    EXPECT_FALSE(ReadPdfJpegInfo(JpegSkeleton(6, 4, 3, false, 0xC3), Info));   // lossless
    EXPECT_FALSE(ReadPdfJpegInfo(JpegSkeleton(6, 4, 3, false, 0xC9), Info));   // arithmetic
    // A segment length running past the end.
    QByteArray Long = Good;
    Long[4] = char(0x7F);
    EXPECT_FALSE(ReadPdfJpegInfo(Long, Info));
    // Precision other than 8 bits.
    QByteArray Twelve = Good;
    Twelve[6] = char(12);
    EXPECT_FALSE(ReadPdfJpegInfo(Twelve, Info));
}
