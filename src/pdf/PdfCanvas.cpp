// The page canvas and the standard Type 1 fonts.

#include "pdf/PdfDoc.h"
#include "pdf/PdfFontWidths.h"
#include "pdf/detail/PdfFontRegistry.h"
#include "pdf/detail/PdfFormat.h"

#include <QMap>
#include <cmath>
#include <initializer_list>

// ---------------------------------------------------------------- fonts

namespace {

QMap<QByteArray, TPdfFontFactory> &FontRegistryMap()
{
    static QMap<QByteArray, TPdfFontFactory> Registry = [] {
        QMap<QByteArray, TPdfFontFactory> R;
        auto Add = [&R](const char *Name, auto Make) { R.insert(Name, Make); };
#define QB_REGISTER_PDF_FONT(Class, Name)                                                    \
        Add(Name, [](TPdfXref *AXref, const QByteArray &AName) -> std::unique_ptr<TPdfFont> { \
            return std::make_unique<Class>(AXref, AName);                                    \
        });
        QB_REGISTER_PDF_FONT(TPdfFixedWidth, "FixedWidth")
        QB_REGISTER_PDF_FONT(TPdfFixedWidthBold, "FixedWidth-Bold")
        QB_REGISTER_PDF_FONT(TPdfFixedWidthItalic, "FixedWidth-Italic")
        QB_REGISTER_PDF_FONT(TPdfFixedWidthBoldItalic, "FixedWidth-BoldItalic")
        QB_REGISTER_PDF_FONT(TPdfArial, "Arial")
        QB_REGISTER_PDF_FONT(TPdfArialBold, "Arial-Bold")
        QB_REGISTER_PDF_FONT(TPdfArialItalic, "Arial-Italic")
        QB_REGISTER_PDF_FONT(TPdfArialBoldItalic, "Arial-BoldItalic")
        QB_REGISTER_PDF_FONT(TPdfTimesRoman, "Times-Roman")
        QB_REGISTER_PDF_FONT(TPdfTimesBold, "Times-Bold")
        QB_REGISTER_PDF_FONT(TPdfTimesItalic, "Times-Italic")
        QB_REGISTER_PDF_FONT(TPdfTimesBoldItalic, "Times-BoldItalic")
#undef QB_REGISTER_PDF_FONT
        return R;
    }();
    return Registry;
}

} // namespace

QMap<QByteArray, TPdfFontFactory> &PdfFontRegistry()
{
    return FontRegistryMap();
}

void RegisterPdfFont(const QByteArray &AName, TPdfFontFactory AFactory)
{
    FontRegistryMap().insert(AName, std::move(AFactory));
}

bool IsPdfFontRegistered(const QByteArray &AName)
{
    return FontRegistryMap().contains(AName);
}

TPdfFont::TPdfFont(TPdfXref *, const QByteArray &AName)
    : FName(AName)
{
}

int TPdfFont::CharWidth(const QByteArray &Text, int Position) const
{
    if (Position < 1 || Position > Text.size())
        return 0;
    return FWidths[static_cast<unsigned char>(Text[Position - 1])];
}

TPdfType1Font::TPdfType1Font(TPdfXref *AXref, const QByteArray &AName, const QByteArray &ABaseFont,
                             const quint16 *AWidths)
    : TPdfFont(AXref, AName)
{
    auto *Font = new TPdfDictionary(AXref);
    AXref->AddObject(Font);
    Font->Put("Type", new TPdfName("Font"));
    Font->Put("Subtype", new TPdfName("Type1"));
    Font->Put("Encoding", new TPdfName("WinAnsiEncoding"));
    Font->Put("FirstChar", new TPdfNumber(32));
    Font->Put("LastChar", new TPdfNumber(255));
    Font->Put("BaseFont", new TPdfName(ABaseFont));
    auto *Widths = new TPdfArray(AXref);
    for (int I = 0; I < 224; ++I)
        Widths->AddItem(new TPdfNumber(AWidths[I]));
    Font->PutHidden("Widths", Widths);
    Attach(Font);

    // The table comes from the dictionary, as for any Type 1 font.
    const TPdfNumber *Missing = Font->PdfNumberByName("MissingWidth");
    const int Default = Missing ? Missing->Value() : 0;
    for (quint16 &W : FWidths)
        W = quint16(Default);
    const TPdfNumber *First = Font->PdfNumberByName("FirstChar");
    const int FirstChar = First ? First->Value() : 0;
    for (int I = 0; I < Widths->ItemCount(); ++I) {
        const int Code = FirstChar + I;
        if (Code < 0 || Code > 255)
            break;
        if (const auto *N = dynamic_cast<const TPdfNumber *>(Widths->Items(I)))
            FWidths[Code] = quint16(N->Value());
    }
}

#define QB_DEFINE_PDF_FONT(Class, BaseFont, Index)                         \
    Class::Class(TPdfXref *AXref, const QByteArray &AName)                 \
        : TPdfType1Font(AXref, AName, BaseFont, PdfStandardFontWidths[Index]) \
    {                                                                      \
    }
QB_DEFINE_PDF_FONT(TPdfFixedWidth, "Courier", 0)
QB_DEFINE_PDF_FONT(TPdfFixedWidthBold, "Courier-Bold", 1)
QB_DEFINE_PDF_FONT(TPdfFixedWidthItalic, "Courier-Oblique", 2)
QB_DEFINE_PDF_FONT(TPdfFixedWidthBoldItalic, "Courier-BoldOblique", 3)
QB_DEFINE_PDF_FONT(TPdfArial, "Helvetica", 4)
QB_DEFINE_PDF_FONT(TPdfArialBold, "Helvetica-Bold", 5)
QB_DEFINE_PDF_FONT(TPdfArialItalic, "Helvetica-Oblique", 6)
QB_DEFINE_PDF_FONT(TPdfArialBoldItalic, "Helvetica-BoldOblique", 7)
QB_DEFINE_PDF_FONT(TPdfTimesRoman, "Times-Roman", 8)
QB_DEFINE_PDF_FONT(TPdfTimesBold, "Times-Bold", 9)
QB_DEFINE_PDF_FONT(TPdfTimesItalic, "Times-Italic", 10)
QB_DEFINE_PDF_FONT(TPdfTimesBoldItalic, "Times-BoldItalic", 11)
#undef QB_DEFINE_PDF_FONT

// ---------------------------------------------------------------- text state

namespace {

// NaN fails every comparison, so ranges are tested as "inside" rather than "outside".
bool InRange(double Value, double Low, double High)
{
    return std::isfinite(Value) && Value >= Low && Value <= High;
}

} // namespace

void TPdfCanvasAttribute::SetWordSpace(float Value)
{
    if (!(std::isfinite(Value) && Value >= 0))
        throw EPdfInvalidValue(QStringLiteral("SetWordSpace --invalid word space"));
    FWordSpace = Value;
}

void TPdfCanvasAttribute::SetCharSpace(float Value)
{
    if (!InRange(Value, -30, 300))
        throw EPdfInvalidValue(QStringLiteral("SetCharSpace --invalid char space"));
    FCharSpace = Value;
}

void TPdfCanvasAttribute::SetFontSize(float Value)
{
    if (!InRange(Value, 0, 300))
        throw EPdfInvalidValue(QStringLiteral("SetCharSpace --invalid font size"));
    FFontSize = Value;
}

void TPdfCanvasAttribute::SetLeading(float Value)
{
    if (!InRange(Value, 0, 300))
        throw EPdfInvalidValue(QStringLiteral("SetLeading --invalid font size"));
    FLeading = Value;
}

void TPdfCanvasAttribute::SetHorizontalScaling(int Value)
{
    if (Value < 10 || Value > 300)
        throw EPdfInvalidValue(QStringLiteral("SetHorizontalScaling --invalid font size"));
    FHorizontalScaling = qint16(Value);
}

// ---------------------------------------------------------------- canvas

TPdfCanvas::TPdfCanvas(TPdfDoc *APdfDoc)
    : FPdfDoc(APdfDoc), FAttr(std::make_unique<TPdfCanvasAttribute>())
{
}

TPdfCanvas::~TPdfCanvas() = default;

TPdfDictionary *TPdfCanvas::GetPage() const
{
    if (!FPage)
        throw EPdfInvalidOperation(QStringLiteral("GetPage --the Page is nil"));
    return FPage;
}

void TPdfCanvas::WriteBytes(const char *Data, qint64 Size)
{
    if (!FIsLocked && FContents)
        FContents->Stream()->WriteBuffer(Data, Size);
}

void TPdfCanvas::WriteLine(const PdfDetail::LineBuilder &Line)
{
    WriteBytes(Line.Data(), Line.Size());
}

void TPdfCanvas::SaveTextState()
{
    if (FAttr->Font())
        FPage->PutHidden(QByteArrayLiteral("_Font"), new TPdfName(FAttr->Font()->Name()));
    FPage->PutHidden(QByteArrayLiteral("_Font_Size"), new TPdfReal(FAttr->FontSize()));
    FPage->PutHidden(QByteArrayLiteral("_Word_Space"), new TPdfReal(FAttr->WordSpace()));
    FPage->PutHidden(QByteArrayLiteral("_Char_Space"), new TPdfReal(FAttr->CharSpace()));
    FPage->PutHidden(QByteArrayLiteral("_HScalling"), new TPdfNumber(FAttr->HorizontalScaling()));
    FPage->PutHidden(QByteArrayLiteral("_Leading"), new TPdfReal(FAttr->Leading()));
}

bool TPdfCanvas::RestoreTextState()
{
    const TPdfName *Font = FPage->PdfNameByName("_Font");
    if (!Font)
        return false;
    auto Real = [this](const char *Key) {
        const TPdfReal *R = FPage->PdfRealByName(Key);
        return R ? float(R->Value()) : 0.0f;
    };
    FAttr->SetFont(FPdfDoc->GetFont(Font->Value()));
    FAttr->SetFontSize(Real("_Font_Size"));
    FAttr->SetWordSpace(Real("_Word_Space"));
    FAttr->SetCharSpace(Real("_Char_Space"));
    const TPdfNumber *Scaling = FPage->PdfNumberByName("_HScalling");
    FAttr->SetHorizontalScaling(Scaling ? Scaling->Value() : 100);
    FAttr->SetLeading(Real("_Leading"));
    return true;
}

void TPdfCanvas::AttachPage(TPdfDictionary *APage)
{
    if (FPage)
        SaveTextState();
    FPage = APage;
    FContents = APage ? dynamic_cast<TPdfStream *>(APage->ValueByName("Contents")) : nullptr;
    if (!FPage)
        return;
    if (RestoreTextState())
        return;
    // A new page starts from the default text state, selected anew so that its
    // content and resources name the font.
    FAttr->SetFont(nullptr);
    SelectFont(QByteArrayLiteral("Arial"), 10);
    FAttr->SetCharSpace(0);
    FAttr->SetWordSpace(0);
    FAttr->SetHorizontalScaling(100);
    FAttr->SetLeading(0);
}

void TPdfCanvas::SaveState()
{
    WriteBytes("q\n", 2);
}

void TPdfCanvas::RestoreState()
{
    WriteBytes("Q\n", 2);
}

namespace {

// Numbers separated by single spaces, then the operator.
template <size_t N>
void Operands(PdfDetail::LineBuilder &Line, std::initializer_list<double> Values, const char (&Operator)[N])
{
    bool First = true;
    for (double V : Values) {
        if (!First)
            Line.Literal(" ");
        Line.Number(V);
        First = false;
    }
    Line.Literal(Operator);
}

} // namespace

void TPdfCanvas::Transform(double A, double B, double C, double D, double E, double F)
{
    PdfDetail::LineBuilder Line;
    Operands(Line, {A, B, C, D, E, F}, " cm\n");
    WriteLine(Line);
}

void TPdfCanvas::AddRect(double X, double Y, double W, double H)
{
    PdfDetail::LineBuilder Line;
    Operands(Line, {X, Y, W, H}, " re\n");
    WriteLine(Line);
}

void TPdfCanvas::ClipPath()
{
    WriteBytes("W\n", 2);
}

void TPdfCanvas::EndPath()
{
    WriteBytes("n\n", 2);
}

void TPdfCanvas::PaintXObject(const QByteArray &AXObjectName)
{
    PdfDetail::LineBuilder Line;
    Line.Name(AXObjectName);
    Line.Literal(" Do\n");
    WriteLine(Line);
}

void TPdfCanvas::WriteFontOperator(const QByteArray &AFontName, double ASize)
{
    PdfDetail::LineBuilder Line;
    Line.Name(AFontName);
    Line.Literal(" ");
    Line.Number(ASize);
    Line.Literal(" Tf\n");
    WriteLine(Line);
}

void TPdfCanvas::SelectFont(const QByteArray &AFontName, double ASize)
{
    TPdfFont *Font = FPdfDoc->GetFont(AFontName);
    if (Font == FAttr->Font() && ASize == FAttr->FontSize())
        return;
    if (!InRange(ASize, 0, 300))
        throw EPdfInvalidValue(QStringLiteral("SetCharSpace --invalid font size"));
    const QByteArray Name = Font->Data()->PdfNameByName("Name")->Value();
    if (FPage) {
        TPdfDictionary *Resources = FPage->PdfDictionaryByName("Resources");
        TPdfDictionary *Fonts = Resources ? Resources->PdfDictionaryByName("Font") : nullptr;
        if (Fonts && !Fonts->ValueByName(Name))
            Fonts->Put(Name, Font->Data());
    }
    if (FContents)
        WriteFontOperator(Name, ASize);
    FAttr->SetFont(Font);
    FAttr->SetFontSize(float(ASize));
}

void TPdfCanvas::SetWordSpace(double Value)
{
    FAttr->SetWordSpace(float(Value));
}

void TPdfCanvas::SetCharSpace(double Value)
{
    FAttr->SetCharSpace(float(Value));
}

void TPdfCanvas::ChangeFontSize(double Value)
{
    if (FAttr->Font())
        SelectFont(FAttr->Font()->Name(), Value);
    else
        FAttr->SetFontSize(float(Value));
}

void TPdfCanvas::SetLeading(double Value)
{
    FAttr->SetLeading(float(Value));
}

void TPdfCanvas::SetHorizontalScaling(int Value)
{
    FAttr->SetHorizontalScaling(Value);
}

TPdfObject *TPdfCanvas::UseXObject(const QByteArray &AXObjectName, const char *Operation)
{
    TPdfObject *XObject = FPdfDoc->GetXObject(AXObjectName);
    if (!XObject)
        throw EPdfInvalidValue(QString::fromLatin1(Operation) + QStringLiteral(" --XObject not found: ")
                               + QString::fromLatin1(AXObjectName));
    TPdfDictionary *Resources = GetPage()->PdfDictionaryByName("Resources");
    TPdfDictionary *XObjects = Resources ? Resources->PdfDictionaryByName("XObject") : nullptr;
    if (XObjects && !XObjects->ValueByName(AXObjectName))
        XObjects->Put(AXObjectName, XObject);
    return XObject;
}

void TPdfCanvas::DrawXObject(double X, double Y, double AWidth, double AHeight, const QByteArray &AXObjectName)
{
    UseXObject(AXObjectName, "DrawXObject");
    SaveState();
    Transform(AWidth, 0, 0, AHeight, X, Y);
    PaintXObject(AXObjectName);
    RestoreState();
}

void TPdfCanvas::DrawXObjectEx(double X, double Y, double AWidth, double AHeight, double ClipX, double ClipY,
                               double ClipWidth, double ClipHeight, const QByteArray &AXObjectName)
{
    UseXObject(AXObjectName, "DrawXObjectEx");
    SaveState();
    AddRect(ClipX, ClipY, ClipWidth, ClipHeight);
    ClipPath();
    EndPath();
    Transform(AWidth, 0, 0, AHeight, X, Y);
    PaintXObject(AXObjectName);
    RestoreState();
}

namespace {

TPdfNumber *MediaBoxItem(TPdfDictionary *APage, int Index)
{
    TPdfArray *Box = APage ? APage->PdfArrayByName("MediaBox") : nullptr;
    if (!Box || Box->ItemCount() < 4)
        return nullptr;
    return dynamic_cast<TPdfNumber *>(Box->Items(Index));
}

} // namespace

int TPdfCanvas::PageWidth() const
{
    const TPdfNumber *N = MediaBoxItem(FPage, 2);
    return N ? N->Value() : 0;
}

void TPdfCanvas::SetPageWidth(int Value)
{
    if (TPdfNumber *N = MediaBoxItem(GetPage(), 2))
        N->SetValue(Value);
}

int TPdfCanvas::PageHeight() const
{
    const TPdfNumber *N = MediaBoxItem(FPage, 3);
    return N ? N->Value() : 0;
}

void TPdfCanvas::SetPageHeight(int Value)
{
    if (TPdfNumber *N = MediaBoxItem(GetPage(), 3))
        N->SetValue(Value);
}
