#include "ProductPictures.h"

#include "platform/core/FileUtils.h"
#include "platform/core/Types.h"
#include "platform/graphics/Jpeg.h"

#include "gif/GIFImage.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QPainter>
#include <QRegularExpression>
#include <QSet>

#include <algorithm>
#include <atomic>
#include <functional>
#include <list>
#include <mutex>
#include <sys/stat.h>
#include <system_error>
#include <thread>

namespace ProductPictures {

const QString PngText = QStringLiteral("当前版本不支持PNG文件。");
const QString UnsupportedText = QStringLiteral("不支持的图片格式。");
const QString LoadErrorText = QStringLiteral("非标准图片，载入出错。");

namespace {

// The notice drawn Ratio times larger, for a screen of that pixel ratio.
std::unique_ptr<TBitmap> Notice(const QString &Text, qreal Ratio)
{
    if (Ratio == 1) {
        auto Bitmap = std::make_unique<TBitmap>(NoticeWidth, NoticeHeight);
        TCanvas *Canvas = Bitmap->Canvas();
        Canvas->Brush()->SetColor(clWhite);
        Canvas->FillRect(TRect(0, 0, NoticeWidth, NoticeHeight));
        Canvas->TextOut(8, 8, Text);
        return Bitmap;
    }
    QImage Image(qRound(NoticeWidth * Ratio), qRound(NoticeHeight * Ratio), QImage::Format_RGB32);
    Image.setDevicePixelRatio(Ratio);
    Image.fill(Qt::white);
    {
        // The painter on the image draws in the notice's logical pixels.
        TCanvas Canvas(&Image);
        Canvas.Brush()->SetColor(clWhite);
        Canvas.TextOut(8, 8, Text);
    }
    Image.setDevicePixelRatio(1);
    auto Bitmap = std::make_unique<TBitmap>();
    Bitmap->SetImage(Image);
    return Bitmap;
}

// The thumbnail size of a picture PictureWidth x PictureHeight: Height high,
// or lower where the width would pass MaxThumbnailWidth; the aspect stays.
QSize ThumbnailSize(int PictureWidth, int PictureHeight, int Height)
{
    const double Width = double(PictureWidth) * Height / PictureHeight;
    if (Width <= MaxThumbnailWidth)
        return {qMax(1, int(qRound64(Width))), Height};
    return {MaxThumbnailWidth, qMax(1, int(qRound64(double(PictureHeight) * MaxThumbnailWidth / PictureWidth)))};
}

// The picture stretched to its thumbnail size (Height in device pixels);
// null when there is no picture.
std::unique_ptr<TBitmap> Stretched(const QImage &Image, int Height)
{
    if (Image.isNull() || Image.height() <= 0)
        return nullptr;
    const QSize Size = ThumbnailSize(Image.width(), Image.height(), Height);
    auto Bitmap = std::make_unique<TBitmap>();
    Bitmap->SetImage(Image.scaled(Size, Qt::IgnoreAspectRatio, Qt::FastTransformation)
                         .convertToFormat(QImage::Format_RGB888));
    return Bitmap;
}

std::unique_ptr<TBitmap> JpegThumbnail(const QString &FileName, int Height)
{
    TJPEGImage Jpeg;
    Jpeg.LoadFromFile(FileName);
    switch (JpegScaleDivisor(Jpeg.ImageHeight(), Height)) {
    case 8: Jpeg.SetScale(jsEighth); break;
    case 4: Jpeg.SetScale(jsQuarter); break;
    default: Jpeg.SetScale(jsHalf); break;
    }
    Jpeg.SetPerformance(jpBestSpeed);
    TBitmap Decoded;
    Jpeg.AssignTo(&Decoded);
    return Stretched(Decoded.Image(), Height);
}

std::unique_ptr<TBitmap> GifThumbnail(const QString &FileName, int Height)
{
    TGIFImage Gif;
    Gif.LoadFromFile(FileName);
    if (Gif.Empty() || Gif.Width() <= 0 || Gif.Height() <= 0)
        return nullptr;
    const QSize Size = ThumbnailSize(Gif.Width(), Gif.Height(), Height);
    auto Bitmap = std::make_unique<TBitmap>(Size.width(), Size.height());
    // A thumbnail is one picture, the first frame, drawn at once: no painter
    // plays an animation into it (on a decoding thread that would take the
    // animation's whole time).
    Gif.SetDrawOptions(Gif.DrawOptions() & TGIFDrawFlags(~(drawAnimated | drawThreaded)));
    Gif.Draw(*Bitmap->Canvas(), TRect(0, 0, Size.width(), Size.height()));
    return Bitmap;
}

// A bitmap file as it is; null when it holds no picture.
std::unique_ptr<TBitmap> BitmapFile(const QString &FileName)
{
    auto Bitmap = std::make_unique<TBitmap>();
    Bitmap->LoadFromFile(FileName);
    if (Bitmap->Empty())
        return nullptr;
    return Bitmap;
}

bool MatchesMask(const QString &Name, const QRegularExpression &Mask)
{
    return Mask.match(Name).hasMatch();
}

void Collect(const QString &Folder, const QRegularExpression &Mask, bool Recurse, QSet<QString> &Seen,
             QString &Result)
{
    const QString Canonical = QFileInfo(Folder).canonicalFilePath();
    if (Canonical.isEmpty() || Seen.contains(Canonical))
        return;
    Seen.insert(Canonical);
    const QDir Dir(Folder);
    const QFileInfoList Files = Dir.entryInfoList(QDir::Files | QDir::Hidden | QDir::System, QDir::Name);
    for (const QFileInfo &Info : Files)
        if (MatchesMask(Info.fileName(), Mask))
            Result += QDir(Folder).filePath(Info.fileName()) + QStringLiteral("\r\n");
    if (!Recurse)
        return;
    const QFileInfoList Dirs = Dir.entryInfoList(QDir::Dirs | QDir::NoDotAndDotDot | QDir::Hidden, QDir::Name);
    for (const QFileInfo &Info : Dirs)
        Collect(QDir(Folder).filePath(Info.fileName()), Mask, Recurse, Seen, Result);
}

} // namespace

int JpegScaleDivisor(int ImageHeight, int Height)
{
    for (int Divisor : {8, 4})
        if ((ImageHeight + Divisor - 1) / Divisor >= Height)
            return Divisor;
    return 2;
}

namespace {

std::atomic<int> ThumbnailDecodes{0};

} // namespace

TScreenThumbnail MakeScreenThumbnail(const QString &FileName, int Height, qreal PixelRatio)
{
    // No screen has more than a few device pixels to a logical one; anything
    // else is no ratio to make pictures for.
    const qreal Ratio = PixelRatio >= 1 && PixelRatio <= 8 ? PixelRatio : 1;
    const int Pixels = qMax(1, qRound(qMax(1, Height) * Ratio));
    const QString Ext = QFileInfo(FileName).suffix().toLower();
    ++ThumbnailDecodes;
    std::unique_ptr<TBitmap> Picture;
    try {
        if (Ext == QLatin1String("jpg"))
            Picture = JpegThumbnail(FileName, Pixels);
        else if (Ext == QLatin1String("gif"))
            Picture = GifThumbnail(FileName, Pixels);
        else if (Ext == QLatin1String("bmp"))
            Picture = BitmapFile(FileName);
        else if (Ext == QLatin1String("png"))
            return {Notice(PngText, Ratio), Ratio};
        else
            return {Notice(UnsupportedText, Ratio), Ratio};
    } catch (const Exception &) {
        Picture.reset();
    } catch (const std::bad_alloc &) {
        Picture.reset();
    }
    // A bitmap file shows at its own size.
    if (Picture)
        return {std::move(Picture), Ext == QLatin1String("bmp") ? 1 : Ratio};
    return {Notice(LoadErrorText, Ratio), Ratio, true};
}

std::unique_ptr<TBitmap> MakeThumbnail(const QString &FileName, int Height)
{
    return MakeScreenThumbnail(FileName, Height, 1).Bitmap;
}

namespace {

// Runs Work(0) .. Work(Count - 1) on up to one thread a core (this one
// included). Each index is one piece of work; only the next index is shared.
// When no more threads can be had, the ones there are do all the work.
void InParallel(int Count, const std::function<void(int)> &Work)
{
    std::atomic<int> Next{0};
    const auto Run = [&] {
        for (int I = Next++; I < Count; I = Next++)
            Work(I);
    };
    const int Threads = int(std::min<qsizetype>(std::max(1u, std::thread::hardware_concurrency()), Count));
    std::vector<std::thread> Pool;
    Pool.reserve(size_t(std::max(0, Threads - 1)));
    for (int T = 1; T < Threads; ++T) {
        try {
            Pool.emplace_back(Run);
        } catch (const std::system_error &) {
            break;
        }
    }
    Run();
    for (std::thread &T : Pool)
        T.join();
}

} // namespace

std::vector<std::unique_ptr<TBitmap>> MakeThumbnails(const QStringList &Files, int Height)
{
    std::vector<std::unique_ptr<TBitmap>> Result(size_t(Files.size()));
    // Each picture decodes into its own bitmap.
    InParallel(int(Files.size()), [&](int I) { Result[size_t(I)] = MakeThumbnail(Files.at(I), Height); });
    return Result;
}

QString UnreadablePicturesMessage(const QStringList &Unreadable)
{
    if (Unreadable.isEmpty())
        return QString();
    return QStringLiteral("以下 %1 个文件不能作为图片读取（文件已损坏，或者不是扩展名所说的图片格式），"
                          "它们的图片栏显示“%2”：\r\n")
               .arg(Unreadable.size())
               .arg(LoadErrorText)
        + Unreadable.join(QStringLiteral("\r\n"));
}

QString StoredPicturePath(const QString &PagePath, const QString &PicturePath)
{
    if (PagePath.isEmpty())
        return PicturePath;
    const QString Folder = DocumentFolder(PagePath);
    if (PicturePath.size() <= Folder.size() || !PicturePath.startsWith(Folder))
        return PicturePath;
    return PicturePath.mid(Folder.size(), 256);
}

QString CollectPictureFiles(const QString &Folder, const QString &Mask, bool Recurse)
{
    const QRegularExpression Pattern(QRegularExpression::wildcardToRegularExpression(Mask),
                                     QRegularExpression::CaseInsensitiveOption);
    QSet<QString> Seen;
    QString Result;
    Collect(Folder, Pattern, Recurse, Seen, Result);
    return Result;
}

TImportKind ImportKind(const QString &Entry)
{
    const QFileInfo Info(Entry);
    if (Info.isDir())
        return ikFolder;
    const QString Ext = QStringLiteral(".") + Info.suffix().toUpper();
    // A PNG becomes a product too; its thumbnail tells that it cannot be shown.
    if (Ext == QLatin1String(".JPG") || Ext == QLatin1String(".GIF") || Ext == QLatin1String(".BMP")
        || Ext == QLatin1String(".PNG"))
        return ikPicture;
    if (Ext == QLatin1String(".HTM") || Ext == QLatin1String(".TXT") || Ext == QLatin1String(".QBT"))
        return ikPage;
    return ikNone;
}

QStringList SplitPictureList(const QString &List)
{
    QString Text = List;
    Text.replace(QStringLiteral("\r\n"), QStringLiteral("\n")).replace(QLatin1Char('\r'), QLatin1Char('\n'));
    return Text.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}

// ------------------------------------------------------------ TThumbnail

namespace {

TThumbnail::TStamp StampOf(const QString &FileName)
{
    TThumbnail::TStamp S;
    struct stat St;
    if (FileName.isEmpty() || ::stat(QFile::encodeName(FileName).constData(), &St) != 0 || !S_ISREG(St.st_mode))
        return S;
    S.Valid = true;
    S.Device = quint64(St.st_dev);
    S.Inode = quint64(St.st_ino);
    S.Size = qint64(St.st_size);
    S.Modified = qint64(St.st_mtim.tv_sec) * 1000000000 + St.st_mtim.tv_nsec;
    S.Changed = qint64(St.st_ctim.tv_sec) * 1000000000 + St.st_ctim.tv_nsec;
    return S;
}

// Thumbnails of files, kept aside when their cells went away; the most recent
// first.
struct TKept {
    QString FileName;
    int Height;
    qreal PixelRatio;
    TThumbnail::TStamp Stamp;
    TScreenThumbnail Made;
};
struct TKeptList {
    std::mutex Lock;
    std::list<TKept> List;
};

// Never destroyed: a thumbnail may go away while the program ends.
TKeptList &KeptList()
{
    static TKeptList *const List = new TKeptList;
    return *List;
}

void KeepAside(const QString &FileName, int Height, qreal PixelRatio, const TThumbnail::TStamp &Stamp,
               TScreenThumbnail Made)
{
    auto &[KeptLock, Kept] = KeptList();
    std::lock_guard<std::mutex> Lock(KeptLock);
    for (auto I = Kept.begin(); I != Kept.end(); ++I)
        if (I->Height == Height && I->PixelRatio == PixelRatio && I->FileName == FileName) {
            Kept.erase(I);
            break;
        }
    Kept.push_front(TKept{FileName, Height, PixelRatio, Stamp, std::move(Made)});
    if (Kept.size() > size_t(TThumbnail::KeptAside))
        Kept.pop_back();
}

// The kept thumbnail of the file at this height and pixel ratio while the
// file is still as it was when it was decoded; it leaves the kept ones.
TScreenThumbnail TakeAside(const QString &FileName, int Height, qreal PixelRatio, TThumbnail::TStamp &Stamp)
{
    auto &[KeptLock, Kept] = KeptList();
    {
        std::lock_guard<std::mutex> Lock(KeptLock);
        if (Kept.empty())
            return {};
    }
    Stamp = StampOf(FileName);
    std::lock_guard<std::mutex> Lock(KeptLock);
    for (auto I = Kept.begin(); I != Kept.end(); ++I)
        if (I->Height == Height && I->PixelRatio == PixelRatio && I->FileName == FileName) {
            TScreenThumbnail Result;
            if (I->Stamp == Stamp)
                Result = std::move(I->Made);
            Kept.erase(I);
            return Result;
        }
    return {};
}

} // namespace

TThumbnail::TThumbnail(const QString &FileName, int Height, qreal PixelRatio)
    : FFileName(FileName)
    , FHeight(Height)
    , FPixelRatio(PixelRatio >= 1 && PixelRatio <= 8 ? PixelRatio : 1)
{
}

TThumbnail::~TThumbnail()
{
    if (FBitmap && FStamp.Valid)
        KeepAside(FFileName, FHeight, FPixelRatio, FStamp, TScreenThumbnail{std::move(FBitmap), FBitmapRatio, FUnreadable});
}

void TThumbnail::SetPixelRatio(qreal Value)
{
    if (Value < 1 || Value > 8 || Value == FPixelRatio)
        return;
    // Only a bitmap made from the file can be made again from it; one that
    // came from elsewhere stays, drawn at its size.
    if (FBitmap && FMade) {
        if (FStamp.Valid)
            KeepAside(FFileName, FHeight, FPixelRatio, FStamp, TScreenThumbnail{std::move(FBitmap), FBitmapRatio, FUnreadable});
        FBitmap.reset();
        FBitmapRatio = 1;
    }
    FPixelRatio = Value;
}

void TThumbnail::Adopt(TScreenThumbnail Made) const
{
    FBitmap = std::move(Made.Bitmap);
    FBitmapRatio = Made.Ratio;
    FUnreadable = Made.Unreadable;
    FMade = true;
}

bool TThumbnail::TakeKept() const
{
    TStamp Stamp;
    TScreenThumbnail Made = TakeAside(FFileName, FHeight, FPixelRatio, Stamp);
    if (!Made.Bitmap)
        return false;
    Adopt(std::move(Made));
    FStamp = Stamp;
    return true;
}

TBitmap &TThumbnail::Bitmap() const
{
    if (!FBitmap && !TakeKept()) {
        FStamp = StampOf(FFileName);
        Adopt(MakeScreenThumbnail(FFileName, FHeight, FPixelRatio));
    }
    return *FBitmap;
}

TBitmap TThumbnail::LogicalBitmap() const
{
    TBitmap &Pixels = Bitmap();
    TBitmap Result;
    if (FBitmapRatio == 1 || Pixels.Empty()) {
        Result.Assign(&Pixels);
        return Result;
    }
    Result.SetImage(Pixels.Image().scaled(Width(), Height(), Qt::IgnoreAspectRatio, Qt::SmoothTransformation));
    return Result;
}

void TThumbnail::DecodeAll(const std::vector<TThumbnail *> &Many)
{
    std::vector<TThumbnail *> Wanted;
    for (TThumbnail *T : Many)
        if (T && !T->Decoded() && !T->TakeKept())
            Wanted.push_back(T);
    std::sort(Wanted.begin(), Wanted.end());
    Wanted.erase(std::unique(Wanted.begin(), Wanted.end()), Wanted.end());
    if (Wanted.empty())
        return;
    if (Wanted.size() == 1) {
        Wanted.front()->Bitmap();
        return;
    }
    // The threads fill bitmaps of their own; they are handed over on this one.
    std::vector<TScreenThumbnail> Made(Wanted.size());
    std::vector<TStamp> Stamps(Wanted.size());
    InParallel(int(Wanted.size()), [&](int I) {
        const TThumbnail &T = *Wanted[size_t(I)];
        Stamps[size_t(I)] = StampOf(T.FFileName);
        Made[size_t(I)] = MakeScreenThumbnail(T.FFileName, T.FHeight, T.FPixelRatio);
    });
    for (size_t I = 0; I < Wanted.size(); ++I) {
        Wanted[I]->Adopt(std::move(Made[I]));
        Wanted[I]->FStamp = Stamps[I];
    }
}

std::function<TThumbnail::TDecoded()> TThumbnail::Decoding()
{
    if (Decoded() || TakeKept())
        return {};
    return [FileName = FFileName, Height = FHeight, Ratio = FPixelRatio] {
        TDecoded Result;
        Result.Stamp = StampOf(FileName);
        Result.Made = MakeScreenThumbnail(FileName, Height, Ratio);
        return Result;
    };
}

void TThumbnail::AdoptDecoded(TDecoded Decoded)
{
    if (FBitmap || !Decoded.Made.Bitmap)
        return;
    Adopt(std::move(Decoded.Made));
    FStamp = Decoded.Stamp;
}

std::vector<TThumbnail::TDecoded> TThumbnail::RunDecodings(const std::vector<std::function<TDecoded()>> &Decodings)
{
    std::vector<TDecoded> Results(Decodings.size());
    InParallel(int(Decodings.size()), [&](int I) {
        if (Decodings[size_t(I)])
            Results[size_t(I)] = Decodings[size_t(I)]();
    });
    return Results;
}

int TThumbnail::DecodeCount()
{
    return ThumbnailDecodes;
}

std::unique_ptr<TGraphic> TThumbnail::NewGraphic() const
{
    return std::make_unique<TBitmap>();
}

bool TThumbnail::Empty() const
{
    return Bitmap().Empty();
}

int TThumbnail::Width() const
{
    const int W = Bitmap().Width();
    return FBitmapRatio == 1 ? W : qRound(W / FBitmapRatio);
}

int TThumbnail::Height() const
{
    const int H = Bitmap().Height();
    return FBitmapRatio == 1 ? H : qRound(H / FBitmapRatio);
}

void TThumbnail::LoadFromStream(TStream *Stream)
{
    auto Loaded = std::make_unique<TBitmap>();
    Loaded->LoadFromStream(Stream);
    FBitmap = std::move(Loaded);
    FBitmapRatio = 1;
    FMade = false;
    FUnreadable = false;
    FStamp = TStamp();
    Changed(this);
}

void TThumbnail::SaveToStream(TStream *Stream)
{
    LogicalBitmap().SaveToStream(Stream);
}

void TThumbnail::Assign(const TGraphic *Source)
{
    if (Source == this)
        return;
    auto Copy = std::make_unique<TBitmap>();
    Copy->Assign(Source);
    FBitmap = std::move(Copy);
    FBitmapRatio = 1;
    FMade = false;
    FUnreadable = false;
    FStamp = TStamp();
    Changed(this);
}

void TThumbnail::AssignTo(TGraphic *Dest) const
{
    LogicalBitmap().AssignTo(Dest);
}

void TThumbnail::Draw(TCanvas &Canvas, const TRect &R)
{
    Bitmap().Draw(Canvas, R);
}

} // namespace ProductPictures
