// TJPEGImage over libjpeg. libjpeg reports errors by a longjmp out of its
// error handler; the functions that call it keep no C++ objects with
// destructors alive between setjmp and the libjpeg calls, and turn a failure
// into EInvalidGraphic in their callers.
#include "platform/graphics/Jpeg.h"
#include "platform/graphics/detail/StreamBytes.h"

#include <QPainter>
#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <cstring>

extern "C" {
#include <jpeglib.h>
}

using namespace GraphicsDetail;

namespace {

constexpr qint64 MaxJpegPixels = qint64(1) << 28;

struct ErrorManager {
    jpeg_error_mgr Pub;
    std::jmp_buf Jump;
    int Code = 0;
};

extern "C" void JpegErrorExit(j_common_ptr Info)
{
    auto *Err = reinterpret_cast<ErrorManager *>(Info->err);
    Err->Code = Info->err->msg_code;
    std::longjmp(Err->Jump, 1);
}

// Warnings (such as data ending early) are not shown; the picture decodes as far as it goes.
extern "C" void JpegEmitMessage(j_common_ptr, int) {}
extern "C" void JpegOutputMessage(j_common_ptr) {}

void InitErrors(ErrorManager &Err)
{
    jpeg_std_error(&Err.Pub);
    Err.Pub.error_exit = JpegErrorExit;
    Err.Pub.emit_message = JpegEmitMessage;
    Err.Pub.output_message = JpegOutputMessage;
}

constexpr int TooLargeCode = -2;
constexpr int OutOfMemoryCode = -3;
constexpr int TooManyScansCode = -4;

// A progressive picture is decoded scan by scan, and each scan goes over the
// whole picture however few bytes it takes in the file: a file of thousands
// of tiny scans costs minutes. Encoders write about ten; a picture with more
// than this many is taken as damaged.
constexpr int MaxJpegScans = 256;

// libjpeg calls the progress monitor all through a decode, between its
// steps; the scans read so far are counted there.
struct ScanLimit {
    jpeg_progress_mgr Pub;
    ErrorManager *Err;
};

// Leaves a decoding or encoding run the way libjpeg's own errors do.
[[noreturn]] void Fail(ErrorManager &Err, int Code)
{
    Err.Code = Code;
    std::longjmp(Err.Jump, 1);
}

extern "C" void JpegCountScans(j_common_ptr Info)
{
    if (!Info->is_decompressor)
        return;
    auto *D = reinterpret_cast<j_decompress_ptr>(Info);
    if (D->input_scan_number > MaxJpegScans) {
        auto *Limit = reinterpret_cast<ScanLimit *>(Info->progress);
        Fail(*Limit->Err, TooManyScansCode);
    }
}

[[noreturn]] void JpegError(int Code)
{
    if (Code == TooManyScansCode)
        throw EInvalidGraphic(QStringLiteral("JPEG image has too many scans"));
    if (Code == TooLargeCode)
        throw EInvalidGraphic(QStringLiteral("JPEG image is too large"));
    if (Code == OutOfMemoryCode)
        throw EOutOfMemory(QStringLiteral("Out of memory while decoding a JPEG image"));
    throw EInvalidGraphic(QStringLiteral("JPEG error #%1").arg(Code));
}

struct HeaderInfo {
    int Width = 0;
    int Height = 0;
    int Components = 0;
};

// 0 on success, else the libjpeg message code (or -1 for no data).
int ReadJpegHeader(const QByteArray &Data, HeaderInfo &Info)
{
    if (Data.isEmpty())
        return -1;
    struct State {
        jpeg_decompress_struct Cinfo;
        ErrorManager Err;
    };
    auto *S = static_cast<State *>(std::calloc(1, sizeof(State)));
    if (!S)
        return -1;
    InitErrors(S->Err);
    S->Cinfo.err = &S->Err.Pub;
    if (setjmp(S->Err.Jump)) {
        const int Code = S->Err.Code ? S->Err.Code : -1;
        jpeg_destroy_decompress(&S->Cinfo);
        std::free(S);
        return Code;
    }
    jpeg_create_decompress(&S->Cinfo);
    jpeg_mem_src(&S->Cinfo, reinterpret_cast<const unsigned char *>(Data.constData()), (unsigned long)Data.size());
    jpeg_read_header(&S->Cinfo, TRUE);
    Info.Width = int(S->Cinfo.image_width);
    Info.Height = int(S->Cinfo.image_height);
    Info.Components = S->Cinfo.num_components;
    jpeg_destroy_decompress(&S->Cinfo);
    std::free(S);
    return 0;
}

struct DecodeOptions {
    int Denominator = 1;
    bool Fast = false;
    bool Gray = false;
    bool Quantize = false;
};

// Decodes Data into Out (BGR888, or Indexed8 for grey and quantized output).
int DecodeJpeg(const QByteArray &Data, const DecodeOptions &Opt, QImage &Out)
{
    struct State {
        jpeg_decompress_struct Cinfo;
        ErrorManager Err;
        ScanLimit Scans;
        unsigned char *Row;   // CMYK conversion buffer
    };
    auto *S = static_cast<State *>(std::calloc(1, sizeof(State)));
    if (!S)
        return -1;
    InitErrors(S->Err);
    S->Cinfo.err = &S->Err.Pub;
    S->Scans.Pub.progress_monitor = JpegCountScans;
    S->Scans.Err = &S->Err;
    if (setjmp(S->Err.Jump)) {
        const int Code = S->Err.Code ? S->Err.Code : -1;
        jpeg_destroy_decompress(&S->Cinfo);
        std::free(S->Row);
        std::free(S);
        return Code;
    }
    jpeg_decompress_struct &C = S->Cinfo;
    jpeg_create_decompress(&C);
    C.progress = &S->Scans.Pub;
    jpeg_mem_src(&C, reinterpret_cast<const unsigned char *>(Data.constData()), (unsigned long)Data.size());
    jpeg_read_header(&C, TRUE);
    if (qint64(C.image_width) * C.image_height > MaxJpegPixels)
        Fail(S->Err, TooLargeCode);
    C.scale_num = 1;
    C.scale_denom = unsigned(Opt.Denominator);
    const bool Cmyk = C.jpeg_color_space == JCS_CMYK || C.jpeg_color_space == JCS_YCCK;
    const bool Gray = Opt.Gray || C.num_components == 1;
    if (Gray)
        C.out_color_space = JCS_GRAYSCALE;
    else if (Cmyk)
        C.out_color_space = JCS_CMYK;
    else
        C.out_color_space = JCS_EXT_BGR;
    if (Opt.Fast) {
        C.dct_method = JDCT_IFAST;
        C.do_fancy_upsampling = FALSE;
        C.two_pass_quantize = FALSE;
        C.dither_mode = JDITHER_ORDERED;
    }
    const bool Quantize = Opt.Quantize && !Gray && !Cmyk;
    if (Quantize) {
        C.out_color_space = JCS_RGB;   // the colour map is then in R, G, B order
        C.quantize_colors = TRUE;
        C.desired_number_of_colors = 256;
    }
    jpeg_start_decompress(&C);
    const int W = int(C.output_width), H = int(C.output_height);
    Out = QImage(W, H, (Gray || Quantize) ? QImage::Format_Indexed8 : QImage::Format_BGR888);
    if (Out.isNull())
        Fail(S->Err, OutOfMemoryCode);
    if (Cmyk) {
        S->Row = static_cast<unsigned char *>(std::malloc(size_t(W) * 4));
        if (!S->Row)
            Fail(S->Err, OutOfMemoryCode);
    }
    const bool Inverted = Cmyk && C.saw_Adobe_marker;
    while (C.output_scanline < C.output_height) {
        const int Y = int(C.output_scanline);
        JSAMPROW Target = Cmyk ? S->Row : Out.scanLine(Y);
        if (jpeg_read_scanlines(&C, &Target, 1) != 1)
            break;
        if (Cmyk) {
            uchar *D = Out.scanLine(Y);
            for (int X = 0; X < W; ++X) {
                int Cy = S->Row[4 * X], M = S->Row[4 * X + 1], Ye = S->Row[4 * X + 2], K = S->Row[4 * X + 3];
                if (!Inverted) {
                    Cy = 255 - Cy;
                    M = 255 - M;
                    Ye = 255 - Ye;
                    K = 255 - K;
                }
                D[3 * X] = uchar(Ye * K / 255);
                D[3 * X + 1] = uchar(M * K / 255);
                D[3 * X + 2] = uchar(Cy * K / 255);
            }
        }
    }
    if (Quantize) {
        const int N = C.actual_number_of_colors;
        for (int I = 0; I < N; ++I)
            Out.setColor(I, qRgb(C.colormap[0][I], C.colormap[1][I], C.colormap[2][I]));
        for (int I = N; I < 256; ++I)
            Out.setColor(I, qRgb(0, 0, 0));
    } else if (Gray) {
        for (int I = 0; I < 256; ++I)
            Out.setColor(I, qRgb(I, I, I));
    }
    jpeg_finish_decompress(&C);
    jpeg_destroy_decompress(&C);
    std::free(S->Row);
    std::free(S);
    return 0;
}

// Encodes an RGB888 (or grey Indexed8 with Gray) image.
int EncodeJpeg(const QImage &Img, int Quality, bool Gray, bool Progressive, QByteArray &Out)
{
    struct State {
        jpeg_compress_struct Cinfo;
        ErrorManager Err;
        unsigned char *Buffer;
        unsigned long Size;
    };
    auto *S = static_cast<State *>(std::calloc(1, sizeof(State)));
    if (!S)
        return -1;
    InitErrors(S->Err);
    S->Cinfo.err = &S->Err.Pub;
    if (setjmp(S->Err.Jump)) {
        const int Code = S->Err.Code ? S->Err.Code : -1;
        jpeg_destroy_compress(&S->Cinfo);
        std::free(S->Buffer);
        std::free(S);
        return Code;
    }
    jpeg_compress_struct &C = S->Cinfo;
    jpeg_create_compress(&C);
    jpeg_mem_dest(&C, &S->Buffer, &S->Size);
    C.image_width = JDIMENSION(Img.width());
    C.image_height = JDIMENSION(Img.height());
    C.input_components = Gray ? 1 : 3;
    C.in_color_space = Gray ? JCS_GRAYSCALE : JCS_RGB;
    jpeg_set_defaults(&C);
    jpeg_set_quality(&C, Quality, TRUE);
    if (Progressive)
        jpeg_simple_progression(&C);
    jpeg_start_compress(&C, TRUE);
    while (C.next_scanline < C.image_height) {
        JSAMPROW Row = const_cast<JSAMPROW>(Img.constScanLine(int(C.next_scanline)));
        jpeg_write_scanlines(&C, &Row, 1);
    }
    jpeg_finish_compress(&C);
    Out = QByteArray(reinterpret_cast<const char *>(S->Buffer), qsizetype(S->Size));
    jpeg_destroy_compress(&C);
    std::free(S->Buffer);
    std::free(S);
    return 0;
}

int Denominator(TJPEGScale Scale)
{
    switch (Scale) {
    case jsHalf: return 2;
    case jsQuarter: return 4;
    case jsEighth: return 8;
    default: return 1;
    }
}

} // namespace

TJPEGImage::TJPEGImage() = default;

TJPEGImage::~TJPEGImage() = default;

std::unique_ptr<TGraphic> TJPEGImage::NewGraphic() const { return std::make_unique<TJPEGImage>(); }

void TJPEGImage::Clear()
{
    FData.clear();
    FBitmap.reset();
    FBitmapIsSource = false;
    FImageWidth = FImageHeight = FComponents = 0;
}

bool TJPEGImage::Empty() const { return FData.isEmpty() && !FBitmapIsSource; }

int TJPEGImage::Width() const
{
    if (FBitmap)
        return FBitmap->Width();
    const int D = Denominator(FScale);
    return (FImageWidth + D - 1) / D;
}

int TJPEGImage::Height() const
{
    if (FBitmap)
        return FBitmap->Height();
    const int D = Denominator(FScale);
    return (FImageHeight + D - 1) / D;
}

void TJPEGImage::SetCompressionQuality(TJPEGQualityRange Value)
{
    FQuality = std::clamp(Value, 1, 100);
}

void TJPEGImage::SetGrayscale(bool Value)
{
    if (Value == FGrayscale)
        return;
    FGrayscale = Value;
    FreeBitmap(); // decoded with the old setting
    Changed(this);
}

void TJPEGImage::SetScale(TJPEGScale Value)
{
    if (Value == FScale)
        return;
    FScale = Value;
    FreeBitmap(); // decoded with the old setting
    Changed(this);
}

void TJPEGImage::SetPerformance(TJPEGPerformance Value)
{
    if (Value == FPerformance)
        return;
    FPerformance = Value;
    FreeBitmap(); // decoded with the old setting
    Changed(this);
}

void TJPEGImage::SetPixelFormat(TJPEGPixelFormat Value)
{
    if (Value == FPixelFormat)
        return;
    FPixelFormat = Value;
    FreeBitmap(); // decoded with the old setting
    Changed(this);
}

void TJPEGImage::ReadHeader()
{
    HeaderInfo Info;
    const int Code = ReadJpegHeader(FData, Info);
    if (Code != 0) {
        Clear();
        JpegError(Code);
    }
    FImageWidth = Info.Width;
    FImageHeight = Info.Height;
    FComponents = Info.Components;
}

void TJPEGImage::Decode() const
{
    if (FBitmap || FData.isEmpty())
        return;
    DecodeOptions Opt;
    Opt.Denominator = Denominator(FScale);
    Opt.Fast = FPerformance == jpBestSpeed;
    Opt.Gray = FGrayscale;
    Opt.Quantize = FPixelFormat == jf8Bit;
    QImage Img;
    const int Code = DecodeJpeg(FData, Opt, Img);
    if (Code != 0)
        JpegError(Code);
    auto B = std::make_unique<TBitmap>();
    B->SetImage(Img);
    if (Img.format() == QImage::Format_Indexed8)
        B->SetPixelFormat(pf8bit);
    FBitmap = std::move(B);
}

void TJPEGImage::DIBNeeded() { Decode(); }

void TJPEGImage::FreeBitmap()
{
    if (!FBitmapIsSource)
        FBitmap.reset();
}

void TJPEGImage::Compress()
{
    if (!FBitmapIsSource || !FBitmap)
        return;
    const QImage &Src = FBitmap->Image();
    QByteArray Out;
    int Code;
    if (FGrayscale) {
        const QImage Gray = Src.convertToFormat(QImage::Format_Grayscale8);
        Code = EncodeJpeg(Gray, FQuality, true, ProgressiveEncoding, Out);
    } else {
        const QImage Rgb = Src.convertToFormat(QImage::Format_RGB888);
        Code = EncodeJpeg(Rgb, FQuality, false, ProgressiveEncoding, Out);
    }
    if (Code != 0)
        JpegError(Code);
    FData = Out;
    FBitmapIsSource = false;
    FBitmap.reset();
    ReadHeader();
}

void TJPEGImage::LoadFromStream(TStream *Stream)
{
    const QByteArray Data = ReadRest(Stream);
    Clear();
    FData = Data;
    if (FData.isEmpty()) {
        Changed(this);
        return;
    }
    try {
        ReadHeader();
    } catch (...) {
        Changed(this);
        throw;
    }
    Changed(this);
}

void TJPEGImage::SaveToStream(TStream *Stream)
{
    Compress();
    WriteAll(Stream, FData);
}

void TJPEGImage::Assign(const TGraphic *Source)
{
    if (Source == this)
        return;
    if (!Source) {
        Clear();
        Changed(this);
        return;
    }
    if (auto *J = dynamic_cast<const TJPEGImage *>(Source)) {
        Clear();
        FData = J->FData;
        if (J->FBitmapIsSource && J->FBitmap) {
            FBitmap = std::make_unique<TBitmap>(*J->FBitmap);
            FBitmapIsSource = true;
        }
        FImageWidth = J->FImageWidth;
        FImageHeight = J->FImageHeight;
        FComponents = J->FComponents;
        FQuality = J->FQuality;
        FGrayscale = J->FGrayscale;
        FScale = J->FScale;
        FPerformance = J->FPerformance;
        FPixelFormat = J->FPixelFormat;
        Changed(this);
        return;
    }
    auto B = std::make_unique<TBitmap>();
    if (auto *Bmp = dynamic_cast<const TBitmap *>(Source)) {
        B->Assign(Bmp);
    } else if (!Source->Empty()) {
        // Any other picture is drawn on white at its own size.
        B->SetPixelFormat(pf24bit);
        B->SetSize(Source->Width(), Source->Height());
        B->Canvas()->Brush()->SetColor(clWhite);
        B->Canvas()->FillRect(Rect(0, 0, B->Width(), B->Height()));
        B->Canvas()->Draw(0, 0, const_cast<TGraphic *>(Source));
    }
    Clear();
    if (!B->Empty()) {
        FBitmap = std::move(B);
        FBitmapIsSource = true;
        FImageWidth = FBitmap->Width();
        FImageHeight = FBitmap->Height();
        FComponents = FGrayscale ? 1 : 3;
    }
    Changed(this);
}

void TJPEGImage::AssignTo(TGraphic *Dest) const
{
    if (auto *B = dynamic_cast<TBitmap *>(Dest)) {
        if (Empty()) {
            B->Assign(nullptr);
            return;
        }
        Decode();
        B->Assign(FBitmap.get());
        return;
    }
    TGraphic::AssignTo(Dest);
}

void TJPEGImage::Draw(TCanvas &Canvas, const TRect &R)
{
    if (Empty() || R.IsEmpty())
        return;
    Decode();
    FBitmap->Draw(Canvas, R);
}
