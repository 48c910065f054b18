// The bytes of a picture are kept as they were given; what is shown is built
// from them by the platform's decoders (GIF through the GIF library, whose
// frames give Frame). Damaged data raises one of the documented texts and
// leaves the picture as it was; nothing here reads past the data it holds.

#include "grid/PictureContainer.h"

#include "gif/GIFImage.h"
#include "platform/graphics/Jpeg.h"

#include <QFile>
#include <QFileInfo>
#include <QPainter>

namespace {

constexpr qint64 MaxPictureFileSize = 256LL * 1024 * 1024;

enum class PictureKind { None, GIF, JPEG, BMP, ICO };

PictureKind KindOf(const QByteArray &B)
{
    if (B.size() >= 5 && B.startsWith("GIF8"))
        return PictureKind::GIF;
    if (B.size() >= 3 && uchar(B[0]) == 0xFF && uchar(B[1]) == 0xD8)
        return PictureKind::JPEG;
    if (B.size() >= 14 && B.startsWith("BM"))
        return PictureKind::BMP;
    if (B.size() >= 6 && B[0] == 0 && B[1] == 0 && (B[2] == 1 || B[2] == 2) && B[3] == 0)
        return PictureKind::ICO;
    return PictureKind::None;
}

// A decoded graphic drawn onto a transparent image of its own size.
QImage Render(TGraphic &G)
{
    if (G.Empty() || G.Width() <= 0 || G.Height() <= 0)
        return QImage();
    QImage I(G.Width(), G.Height(), QImage::Format_ARGB32_Premultiplied);
    if (I.isNull())
        throw EInvalidGraphic(HTMLPictureText::AllocFailed);
    I.fill(Qt::transparent);
    {
        TCanvas C(&I);
        C.StretchDraw(TRect(0, 0, I.width(), I.height()), &G);
    }
    return I;
}

// Reads a graphic from the bytes of its file.
void LoadFromBytes(TGraphic &G, const QByteArray &Bytes)
{
    TMemoryStream S;
    S.WriteBytes(Bytes);
    S.SetPosition(0);
    G.LoadFromStream(&S);
}

struct GIFResult {
    QImage Image;
    int Count = 0;
    int Left = 0, Top = 0, Width = 0, Height = 0, ScreenW = 0, ScreenH = 0;
};

// The logical screen with only the selected frame on it (a frame number
// outside the file shows the first frame), as a GIF made of the header and
// that frame would show.
GIFResult RenderGIF(const QByteArray &Bytes, int Frame)
{
    TGIFImage GIF;
    LoadFromBytes(GIF, Bytes);
    GIFResult R;
    R.Count = GIF.Frames().Count();
    if (R.Count == 0)
        throw EInvalidGraphic(HTMLPictureText::InvalidFormat);
    const int Index = Frame >= 1 && Frame <= R.Count ? Frame - 1 : 0;
    TGIFSubImage *F = GIF.Frames()[Index];
    R.ScreenW = GIF.Width();
    R.ScreenH = GIF.Height();
    R.Left = F->Left();
    R.Top = F->Top();
    R.Width = F->Width();
    R.Height = F->Height();
    const int W = std::max(R.ScreenW, R.Left + R.Width), H = std::max(R.ScreenH, R.Top + R.Height);
    if (W <= 0 || H <= 0)
        throw EInvalidGraphic(HTMLPictureText::InvalidFormat);
    QImage Screen(W, H, QImage::Format_ARGB32);
    if (Screen.isNull())
        throw EInvalidGraphic(HTMLPictureText::AllocFailed);
    Screen.fill(Qt::transparent);
    if (!F->Empty() && R.Width > 0 && R.Height > 0) {
        const QImage Pixels = F->Bitmap().convertToFormat(QImage::Format_ARGB32);
        const bool Transparent = F->Transparent();
        const int Key = F->GraphicControlExtension() ? F->GraphicControlExtension()->TransparentColorIndex() : -1;
        const QImage Index8 = F->Bitmap();
        for (int Y = 0; Y < R.Height && Y < Pixels.height(); ++Y) {
            const auto *Src = reinterpret_cast<const QRgb *>(Pixels.constScanLine(Y));
            const uchar *Idx = Index8.constScanLine(Y);
            auto *Dst = reinterpret_cast<QRgb *>(Screen.scanLine(R.Top + Y)) + R.Left;
            for (int X = 0; X < R.Width && X < Pixels.width(); ++X)
                if (!(Transparent && Idx[X] == Key))
                    Dst[X] = Src[X] | 0xFF000000u;
        }
    }
    R.Image = Screen.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    return R;
}

} // namespace

// =================================================================== THTMLPicture

THTMLPicture::THTMLPicture() = default;
THTMLPicture::~THTMLPicture() = default;

std::unique_ptr<TGraphic> THTMLPicture::NewGraphic() const { return std::make_unique<THTMLPicture>(); }

int THTMLPicture::Width() const { return FImage.isNull() ? 0 : FImage.width() * PixelsPerInchX / 96; }
int THTMLPicture::Height() const { return FImage.isNull() ? 0 : FImage.height() * PixelsPerInchY / 96; }
int THTMLPicture::LogicalWidth() const { return FLogWidth > 0 ? FLogWidth : Width(); }
int THTMLPicture::LogicalHeight() const { return FLogHeight > 0 ? FLogHeight : Height(); }

void THTMLPicture::BuildPicture()
{
    const QByteArray &B = FData.Bytes();
    if (B.isEmpty())
        throw EInvalidGraphic(HTMLPictureText::StreamEmpty);
    QImage Image;
    int Count = 0;
    int L = 0, T = 0, W = 0, H = 0, SW = 0, SH = 0;
    try {
        switch (KindOf(B)) {
        case PictureKind::GIF: {
            const GIFResult R = RenderGIF(B, FFrame);
            Image = R.Image;
            Count = R.Count;
            L = R.Left, T = R.Top, W = R.Width, H = R.Height, SW = R.ScreenW, SH = R.ScreenH;
            break;
        }
        case PictureKind::JPEG: {
            TJPEGImage J;
            LoadFromBytes(J, B);
            Image = Render(J);
            break;
        }
        case PictureKind::BMP: {
            TBitmap Bmp;
            LoadFromBytes(Bmp, B);
            Image = Render(Bmp);
            break;
        }
        case PictureKind::ICO: {
            TIcon Ico;
            LoadFromBytes(Ico, B);
            Image = Render(Ico);
            break;
        }
        case PictureKind::None:
            break;
        }
    } catch (const EInvalidGraphic &E) {
        if (E.Message() == HTMLPictureText::AllocFailed)
            throw;
        throw EInvalidGraphic(HTMLPictureText::InvalidFormat);
    } catch (const EOutOfResources &) {
        throw EInvalidGraphic(HTMLPictureText::AllocFailed);
    } catch (const Exception &) {
        throw EInvalidGraphic(HTMLPictureText::InvalidFormat);
    }
    if (Image.isNull())
        throw EInvalidGraphic(HTMLPictureText::InvalidFormat);
    FImage = Image;
    FFrameCount = Count;
    FFrameLeft = L, FFrameTop = T, FFrameWidth = W, FFrameHeight = H;
    FLogWidth = SW, FLogHeight = SH;
}

void THTMLPicture::TakeBytes(const QByteArray &Bytes, bool FireChange)
{
    // Build from the new bytes first: a failure leaves data and picture as they were.
    const QByteArray Old = FData.Bytes();
    const bool OldEmpty = FEmpty;
    FData.Clear();
    FData.WriteBytes(Bytes);
    try {
        BuildPicture();
    } catch (...) {
        FData.Clear();
        FData.WriteBytes(Old);
        FEmpty = OldEmpty;
        throw;
    }
    FEmpty = false;
    Changed(this);
    if (FireChange && OnFrameChange)
        OnFrameChange(this);
}

void THTMLPicture::LoadFromStream(TStream *Stream)
{
    if (!Stream)
        return;
    const qint64 Left = Stream->Size() - Stream->Position();
    TakeBytes(Stream->ReadBytes(std::max<qint64>(0, Left)), false);
}

void THTMLPicture::LoadFromFile(const QString &FileName)
{
    // Addresses come from cell texts: only a regular file of picture size is
    // read (a device or a pipe could block or never end).
    const QFileInfo Info(FileName);
    if (Info.exists() && (!Info.isFile() || Info.size() > MaxPictureFileSize))
        throw EInvalidGraphic(HTMLPictureText::InvalidFormat);
    TFileStream S(FileName, fmOpenRead | fmShareDenyWrite);
    LoadFromStream(&S);
}

void THTMLPicture::SaveToStream(TStream *Stream)
{
    if (Stream && !FData.Bytes().isEmpty())
        Stream->WriteBuffer(FData.Bytes().constData(), FData.Bytes().size());
}

void THTMLPicture::ReadData(TStream *Stream) { LoadFromStream(Stream); }

void THTMLPicture::WriteData(TStream *Stream) { SaveToStream(Stream); }

void THTMLPicture::Assign(const TGraphic *Source)
{
    if (const auto *P = dynamic_cast<const THTMLPicture *>(Source)) {
        if (P == this)
            return;
        Stretch = P->Stretch;
        FFrame = P->FFrame;
        if (P->FEmpty) {
            FData.Clear();
            FEmpty = true;
            FImage = QImage();
            FFrameCount = -1;
            Changed(this);
            return;
        }
        TakeBytes(P->FData.Bytes(), true);
        return;
    }
    TGraphic::Assign(Source);
}

void THTMLPicture::Draw(TCanvas &Canvas, const TRect &R)
{
    if (FImage.isNull() || R.IsEmpty())
        return;
    if (QPainter *P = Canvas.Painter())
        P->drawImage(R.ToQRect(), FImage);
}

void THTMLPicture::SetFrame(int Value)
{
    FFrame = Value;
    if (FData.Bytes().isEmpty())
        return;
    BuildPicture();
    Changed(this);
    if (OnFrameChange)
        OnFrameChange(this);
}

int THTMLPicture::FrameCount()
{
    if (FFrameCount < 0)
        FFrameCount = 0;
    return FFrameCount;
}

void THTMLPicture::LoadFromURL(const QString &URL)
{
    const QString Upper = URL.toUpper();
    if (Upper.startsWith(QLatin1String("RES://"))) {
        // Resource names are upper-cased, as the program's resources are named.
        QFile F(ResourceRoot + Upper.mid(6));
        if (!F.exists() || !F.open(QIODevice::ReadOnly))
            return;
        TakeBytes(F.readAll(), false);
        return;
    }
    if (Upper.startsWith(QLatin1String("FILE://"))) {
        LoadFromFile(URL.mid(7));
        return;
    }
    if (!AsynchDownLoad) {
        FURL = URL;
        return;
    }
    if (!FDownLoading) {
        FURL = URL;
        FDownLoading = true;
        TDownLoadThread Thread(this);
        Thread.Execute();
        FDownLoading = false;
    }
}

// =================================================================== cache, items, container

THTMLPicture *THTMLPictureCache::AddPicture()
{
    auto P = std::make_unique<THTMLPicture>();
    P->ResourceRoot = FResourceRoot;
    FItems.push_back(std::move(P));
    return FItems.back().get();
}

THTMLPicture *THTMLPictureCache::FindPicture(const QString &URL) const
{
    for (const auto &P : FItems)
        if (P->ID == URL)
            return P.get();
    return nullptr;
}

void TPictureItem::Assign(const TPictureItem *Source)
{
    if (!Source || Source == this)
        return;
    Name = Source->Name;
    Tag = Source->Tag;
    FPicture->Assign(Source->Picture());
}

TPictureItem *TPictureCollection::Add()
{
    FItems.push_back(std::make_unique<TPictureItem>());
    return FItems.back().get();
}

void TPictureCollection::Delete(int Index)
{
    if (Index >= 0 && Index < Count())
        FItems.erase(FItems.begin() + Index);
}

THTMLPicture *TPictureContainer::FindPicture(const QString &Name) const
{
    for (int I = 0; I < FItems->Count(); ++I)
        if (FItems->Items(I)->Name.toUpper() == Name)
            return FItems->Items(I)->Picture();
    return nullptr;
}
