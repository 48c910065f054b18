#pragma once
// TJPEGImage: a JPEG picture that keeps the file's bytes. Decoding (to a
// bitmap, on demand) honours Scale, Performance and Grayscale; encoding uses
// CompressionQuality. SaveToStream writes the bytes loaded, unchanged, until
// the picture is replaced by Assign.

#include "platform/graphics/Graphics.h"

enum TJPEGScale { jsFullSize, jsHalf, jsQuarter, jsEighth };
enum TJPEGPerformance { jpBestQuality, jpBestSpeed };
enum TJPEGPixelFormat { jf24Bit, jf8Bit };
using TJPEGQualityRange = int;   // 1..100

constexpr TJPEGQualityRange JPEGDefaultQuality = 90;

class TJPEGImage : public TGraphic {
public:
    TJPEGImage();
    ~TJPEGImage() override;

    QString ClassName() const override { return QStringLiteral("TJPEGImage"); }
    std::unique_ptr<TGraphic> NewGraphic() const override;

    // Width and Height are those of the decoded picture at the current Scale
    // (the file's size divided by 1, 2, 4 or 8, rounded up).
    bool Empty() const override;
    int Width() const override;
    int Height() const override;

    TJPEGQualityRange CompressionQuality() const { return FQuality; }
    void SetCompressionQuality(TJPEGQualityRange Value);   // clamped to 1..100
    bool Grayscale() const { return FGrayscale; }
    void SetGrayscale(bool Value);
    TJPEGScale Scale() const { return FScale; }
    void SetScale(TJPEGScale Value);
    // jpBestSpeed decodes with the fast integer DCT and without fancy upsampling.
    TJPEGPerformance Performance() const { return FPerformance; }
    void SetPerformance(TJPEGPerformance Value);
    TJPEGPixelFormat PixelFormat() const { return FPixelFormat; }
    void SetPixelFormat(TJPEGPixelFormat Value);
    bool ProgressiveDisplay = false;
    bool ProgressiveEncoding = false;
    bool Smoothing = true;

    // Makes sure the compressed bytes exist (encodes the bitmap when needed).
    void Compress();
    void JPEGNeeded() { Compress(); }
    // Makes sure the decoded bitmap exists. Raises EInvalidGraphic for damaged data.
    void DIBNeeded();
    // Frees the decoded bitmap; the compressed bytes stay.
    void FreeBitmap();
    // The size stored in the file (unscaled); 0 x 0 when empty.
    int ImageWidth() const { return FImageWidth; }
    int ImageHeight() const { return FImageHeight; }
    // True when the file holds one colour component.
    bool IsGrayscaleFile() const { return FComponents == 1; }

    void LoadFromStream(TStream *Stream) override;
    void SaveToStream(TStream *Stream) override;
    // Accepts a TJPEGImage (bytes copied) or any other graphic (drawn into a
    // bitmap, then encoded at CompressionQuality on the next Compress).
    void Assign(const TGraphic *Source) override;
    // To a TBitmap: the decoded picture (pf24bit, or pf8bit grey for jf8Bit/Grayscale).
    void AssignTo(TGraphic *Dest) const override;
    void Draw(TCanvas &Canvas, const TRect &R) override;

private:
    QByteArray FData;                   // the compressed file
    mutable std::unique_ptr<TBitmap> FBitmap;   // decoded, or the source of the next encoding
    bool FBitmapIsSource = false;       // FBitmap holds the picture and FData is stale
    int FImageWidth = 0;
    int FImageHeight = 0;
    int FComponents = 0;
    TJPEGQualityRange FQuality = JPEGDefaultQuality;
    bool FGrayscale = false;
    TJPEGScale FScale = jsFullSize;
    TJPEGPerformance FPerformance = jpBestQuality;
    TJPEGPixelFormat FPixelFormat = jf24Bit;
    void ReadHeader();
    void Decode() const;
    void Clear();
};
