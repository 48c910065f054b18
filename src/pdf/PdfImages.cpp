#include "pdf/PdfImages.h"

#include "pdf/PdfJpegInfo.h"

#include <QMap>

namespace {

QMap<QByteArray, TPdfImageCreatorFactory> &CreatorRegistry()
{
    static QMap<QByteArray, TPdfImageCreatorFactory> Registry = [] {
        QMap<QByteArray, TPdfImageCreatorFactory> R;
        R.insert("Pdf-Jpeg", [] { return std::make_unique<TPdfJpegImage>(); });
        R.insert("Pdf-Bitmap", [] { return std::make_unique<TPdfBitmapImage>(); });
        return R;
    }();
    return Registry;
}

std::unique_ptr<TPdfImage> NewImage()
{
    auto Image = std::make_unique<TPdfImage>();
    Image->Attributes()->Put("Type", new TPdfName("XObject"));
    Image->Attributes()->Put("Subtype", new TPdfName("Image"));
    return Image;
}

const char HexDigits[] = "0123456789ABCDEF";

} // namespace

void RegisterPdfImageCreator(const QByteArray &AName, TPdfImageCreatorFactory AFactory)
{
    CreatorRegistry().insert(AName, std::move(AFactory));
}

std::unique_ptr<TPdfImage> MakePdfImage(TGraphic *APicture, const QByteArray &ACreatorName)
{
    auto It = CreatorRegistry().constFind(ACreatorName);
    if (It == CreatorRegistry().constEnd())
        throw Exception(QStringLiteral("AddImage --InvalidImageClassName:%1").arg(QString::fromLatin1(ACreatorName)));
    std::unique_ptr<TPdfImageCreator> Creator = It.value()();
    return Creator->MakeImage(APicture);
}

std::unique_ptr<TPdfImage> TPdfJpegImage::MakeImage(TGraphic *APicture)
{
    auto *Jpeg = dynamic_cast<TJPEGImage *>(APicture);
    if (!Jpeg)
        throw EPdfInvalidValue(QStringLiteral("only jpeg image is allowed."));
    auto Image = NewImage();
    TMemoryStream *Body = Image->Stream();
    Jpeg->SaveToStream(Body);
    // The bytes go into the file unchanged, so they must be a JPEG a reader can
    // show, of the size and colour model the dictionary announces.
    TPdfJpegInfo Info;
    if (!ReadPdfJpegInfo(Body->Bytes(), Info))
        throw EPdfInvalidImageFormat(QStringLiteral("MakeImage --invalid jpeg data."));
    TPdfDictionary *A = Image->Attributes();
    if (Info.Components == 1) {
        A->Put("ColorSpace", new TPdfName("DeviceGray"));
    } else if (Info.Components == 3) {
        A->Put("ColorSpace", new TPdfName("DeviceRGB"));
    } else {
        A->Put("ColorSpace", new TPdfName("DeviceCMYK"));
    }
    A->Put("Width", new TPdfNumber(Info.Width));
    A->Put("Height", new TPdfNumber(Info.Height));
    A->Put("BitsPerComponent", new TPdfNumber(8));
    // CMYK written with the Adobe marker holds inverted values.
    if (Info.Components == 4 && Info.AdobeMarker) {
        auto *Decode = new TPdfArray;
        for (int I = 0; I < 4; ++I) {
            Decode->AddItem(new TPdfNumber(1));
            Decode->AddItem(new TPdfNumber(0));
        }
        A->Put("Decode", Decode);
    }
    A->PdfArrayByName("Filter")->AddItem(new TPdfName("DCTDecode"));
    return Image;
}

std::unique_ptr<TPdfImage> TPdfBitmapImage::MakeImage(TGraphic *APicture)
{
    if (!APicture || APicture->Empty())
        throw EPdfInvalidImageFormat(QStringLiteral("MakeImage --the picture is empty."));
    TBitmap Bitmap;
    Bitmap.Assign(APicture);
    const TPixelFormat Source = Bitmap.PixelFormat();
    const bool Indexed = Source == pf1bit || Source == pf4bit || Source == pf8bit;
    Bitmap.SetPixelFormat(Indexed ? pf8bit : pf24bit);
    const int W = Bitmap.Width();
    const int H = Bitmap.Height();

    auto Image = NewImage();
    TMemoryStream *Body = Image->Stream();
    TPdfDictionary *A = Image->Attributes();
    if (Indexed) {
        for (int Y = 0; Y < H; ++Y) {
            const auto *Line = static_cast<const unsigned char *>(Bitmap.ScanLine(Y));
            Body->WriteBuffer(Line, W);
        }
        const QVector<QRgb> Palette = Bitmap.ColorTable();
        if (Palette.isEmpty())
            throw EPdfInvalidImageFormat(QStringLiteral("failed to get Palette.."));
        auto *Lookup = new TPdfBinary;
        QByteArray Hex("<");
        Hex.reserve(256 * 7 + 2);
        for (int I = 0; I < 256; ++I) {
            const QRgb C = I < Palette.size() ? Palette[I] : 0;
            for (int V : {qRed(C), qGreen(C), qBlue(C)}) {
                Hex += HexDigits[V >> 4];
                Hex += HexDigits[V & 15];
                Hex += ' ';
            }
        }
        Hex += '>';
        Lookup->Stream()->WriteBytes(Hex);
        auto *ColorSpace = new TPdfArray;
        ColorSpace->AddItem(new TPdfName("Indexed"));
        ColorSpace->AddItem(new TPdfName("DeviceRGB"));
        ColorSpace->AddItem(new TPdfNumber(255));
        ColorSpace->AddItem(Lookup);
        A->Put("ColorSpace", ColorSpace);
    } else {
        QByteArray Row(qsizetype(W) * 3, 0);
        for (int Y = 0; Y < H; ++Y) {
            const auto *Line = static_cast<const unsigned char *>(Bitmap.ScanLine(Y));
            for (int X = 0; X < W; ++X) {
                Row[3 * X] = char(Line[3 * X + 2]);
                Row[3 * X + 1] = char(Line[3 * X + 1]);
                Row[3 * X + 2] = char(Line[3 * X]);
            }
            Body->WriteBuffer(Row.constData(), Row.size());
        }
        A->Put("ColorSpace", new TPdfName("DeviceRGB"));
    }
    A->Put("Width", new TPdfNumber(W));
    A->Put("Height", new TPdfNumber(H));
    A->Put("BitsPerComponent", new TPdfNumber(8));
    return Image;
}
