// TGraphic, TIcon and TPicture with its registry of picture classes.
#include "platform/graphics/Graphics.h"
#include "platform/graphics/Jpeg.h"
#include "platform/graphics/detail/StreamBytes.h"

#include "platform/core/FileUtils.h"
#include "platform/core/SysUtils.h"

#include <QBuffer>
#include <cerrno>
#include <QImageReader>
#include <QPainter>
#include <mutex>

using namespace GraphicsDetail;

// ---------------------------------------------------------------- TGraphic

void TGraphic::SetWidth(int) {}

void TGraphic::SetHeight(int) {}

void TGraphic::SetTransparent(bool Value)
{
    if (Value == FTransparent)
        return;
    FTransparent = Value;
    Changed(this);
}

void TGraphic::SetModified(bool Value)
{
    if (Value)
        Changed(this);
    else
        FModified = false;
}

void TGraphic::LoadFromFile(const QString &FileName)
{
    TFileStream Stream(FileName, fmOpenRead | fmShareDenyWrite);
    // An empty stream loads as an empty picture; an empty file is no picture at all.
    if (Stream.Size() == 0)
        throw EInvalidGraphic(QStringLiteral("Picture file is empty: %1").arg(FileName));
    LoadFromStream(&Stream);
}

void TGraphic::SaveToFile(const QString &FileName)
{
    TMemoryStream Stream;
    SaveToStream(&Stream);
    if (!WriteFileAtomic(FileName, Stream.Bytes())) {
        const int Err = errno;
        throw EFCreateError(CannotCreateFileText(FileName, Err));
    }
}

[[noreturn]] static void UnsupportedClipboardFormat()
{
    throw EInvalidGraphic(QStringLiteral("Unsupported clipboard format"));
}

void TGraphic::LoadFromClipboardFormat(const QString &, const QByteArray &) { UnsupportedClipboardFormat(); }

void TGraphic::SaveToClipboardFormat(QString &, QByteArray &) { UnsupportedClipboardFormat(); }

void TGraphic::Assign(const TGraphic *Source)
{
    if (!Source)
        throw EConvertError(QStringLiteral("Cannot assign a nil to a %1").arg(ClassName()));
    Source->AssignTo(this);
}

void TGraphic::AssignTo(TGraphic *Dest) const
{
    throw EConvertError(QStringLiteral("Cannot assign a %1 to a %2")
                            .arg(ClassName(), Dest ? Dest->ClassName() : QStringLiteral("nil")));
}

void TGraphic::Changed(TObject *)
{
    FModified = true;
    if (OnChange)
        OnChange(this);
}

void TGraphic::Progress(TObject *Sender, TProgressStage Stage, quint8 PercentDone, bool RedrawNow,
                        const TRect &R, const QString &Msg)
{
    if (OnProgress)
        OnProgress(Sender, Stage, PercentDone, RedrawNow, R, Msg);
}

// ------------------------------------------------------------------- TIcon

std::unique_ptr<TGraphic> TIcon::NewGraphic() const { return std::make_unique<TIcon>(); }

void TIcon::LoadFromStream(TStream *Stream)
{
    QByteArray Data = ReadRest(Stream);
    QBuffer Buffer(&Data);
    Buffer.open(QIODevice::ReadOnly);
    QImageReader Reader(&Buffer, "ico");
    QImage Best;
    const int Count = std::max(1, Reader.imageCount());
    for (int I = 0; I < Count; ++I) {
        if (I > 0 && !Reader.jumpToImage(I))
            break;
        QImage Img = Reader.read();
        if (!Img.isNull() && qint64(Img.width()) * Img.height() > qint64(Best.width()) * Best.height())
            Best = Img;
    }
    if (Best.isNull()) {
        FImage = QImage();
        FData.clear();
        Changed(this);
        throw EInvalidGraphic(QStringLiteral("Icon image is not valid"));
    }
    FImage = Best.convertToFormat(QImage::Format_ARGB32);
    FData = Data;
    Changed(this);
}

void TIcon::SaveToStream(TStream *Stream) { WriteAll(Stream, FData); }

void TIcon::Assign(const TGraphic *Source)
{
    if (!Source) {
        FImage = QImage();
        FData.clear();
        Changed(this);
        return;
    }
    if (auto *Icon = dynamic_cast<const TIcon *>(Source)) {
        FImage = Icon->FImage;
        FData = Icon->FData;
        Changed(this);
        return;
    }
    TGraphic::Assign(Source);
}

void TIcon::AssignTo(TGraphic *Dest) const
{
    if (auto *Icon = dynamic_cast<TIcon *>(Dest)) {
        Icon->Assign(this);
        return;
    }
    TGraphic::AssignTo(Dest);
}

void TIcon::Draw(TCanvas &Canvas, const TRect &R)
{
    if (FImage.isNull() || R.IsEmpty())
        return;
    if (QPainter *P = Canvas.Painter())
        P->drawImage(R.ToQRect(), FImage);
}

// ---------------------------------------------------------------- registry

namespace {

struct FileFormat {
    QString Extension;      // lower case, no dot
    QString Description;
    QString ClassName;
    TGraphicFactory Factory;
};

void AddFormat(std::vector<FileFormat> &Formats, const QString &Extension, const QString &Description,
               TGraphicFactory Factory);

struct Registry {
    std::mutex Lock;
    std::vector<FileFormat> Formats;   // newest first
    std::vector<std::pair<QString, TGraphicFactory>> ClipboardFormats;

    Registry()
    {
        AddFormat(Formats, QStringLiteral("ico"), QStringLiteral("Icons"), [] { return std::make_unique<TIcon>(); });
        AddFormat(Formats, QStringLiteral("bmp"), QStringLiteral("Bitmaps"), [] { return std::make_unique<TBitmap>(); });
        AddFormat(Formats, QStringLiteral("jpeg"), QStringLiteral("JPEG Image File"),
                  [] { return std::make_unique<TJPEGImage>(); });
        AddFormat(Formats, QStringLiteral("jpg"), QStringLiteral("JPEG Image File"),
                  [] { return std::make_unique<TJPEGImage>(); });
        ClipboardFormats.emplace_back(QString::fromLatin1(CF_BITMAP), [] { return std::make_unique<TBitmap>(); });
    }
};

QString NormalExtension(const QString &Extension)
{
    QString E = Extension.trimmed();
    while (E.startsWith(QLatin1Char('.')))
        E.remove(0, 1);
    return E.toLower();
}

void AddFormat(std::vector<FileFormat> &Formats, const QString &Extension, const QString &Description,
               TGraphicFactory Factory)
{
    std::unique_ptr<TGraphic> Sample = Factory();
    FileFormat F{NormalExtension(Extension), Description, Sample ? Sample->ClassName() : QString(), std::move(Factory)};
    Formats.insert(Formats.begin(), std::move(F));
}

Registry &TheRegistry()
{
    static Registry R;
    return R;
}

std::vector<FileFormat> SelectFormats(const std::function<bool(const TGraphic &)> &Accept)
{
    std::vector<FileFormat> Copy;
    {
        Registry &R = TheRegistry();
        std::lock_guard<std::mutex> Guard(R.Lock);
        Copy = R.Formats;
    }
    if (!Accept)
        return Copy;
    std::vector<FileFormat> Out;
    for (FileFormat &F : Copy) {
        std::unique_ptr<TGraphic> Sample = F.Factory();
        if (Sample && Accept(*Sample))
            Out.push_back(std::move(F));
    }
    return Out;
}

} // namespace

void TPicture::RegisterFileFormat(const QString &Extension, const QString &Description, TGraphicFactory Factory)
{
    if (!Factory || NormalExtension(Extension).isEmpty())
        return;
    Registry &R = TheRegistry();
    std::lock_guard<std::mutex> Guard(R.Lock);
    AddFormat(R.Formats, Extension, Description, std::move(Factory));
}

void TPicture::UnregisterGraphicClass(const QString &ClassName)
{
    Registry &R = TheRegistry();
    std::lock_guard<std::mutex> Guard(R.Lock);
    std::erase_if(R.Formats, [&](const FileFormat &F) { return F.ClassName == ClassName; });
}

std::unique_ptr<TGraphic> TPicture::CreateGraphicForExtension(const QString &Extension)
{
    const QString E = NormalExtension(Extension);
    TGraphicFactory Factory;
    {
        Registry &R = TheRegistry();
        std::lock_guard<std::mutex> Guard(R.Lock);
        for (const FileFormat &F : R.Formats)
            if (F.Extension == E) {
                Factory = F.Factory;
                break;
            }
    }
    return Factory ? Factory() : nullptr;
}

QString TPicture::GraphicFileMask(const std::function<bool(const TGraphic &)> &Accept)
{
    QStringList Masks;
    for (const FileFormat &F : SelectFormats(Accept))
        Masks << QStringLiteral("*.") + F.Extension;
    return Masks.join(QLatin1Char(';'));
}

QString TPicture::GraphicFilter(const std::function<bool(const TGraphic &)> &Accept)
{
    const std::vector<FileFormat> Formats = SelectFormats(Accept);
    QStringList Masks, Parts;
    for (const FileFormat &F : Formats) {
        const QString Mask = QStringLiteral("*.") + F.Extension;
        Masks << Mask;
        Parts << QStringLiteral("%1 (%2)|%2").arg(F.Description, Mask);
    }
    const QString All = Masks.join(QLatin1Char(';'));
    QString Result = QStringLiteral("All (%1)|%1").arg(All);
    if (!Parts.isEmpty())
        Result += QLatin1Char('|') + Parts.join(QLatin1Char('|'));
    return Result;
}

void TPicture::RegisterClipboardFormat(const QString &Format, TGraphicFactory Factory)
{
    if (Format.isEmpty() || !Factory)
        return;
    Registry &R = TheRegistry();
    std::lock_guard<std::mutex> Guard(R.Lock);
    R.ClipboardFormats.insert(R.ClipboardFormats.begin(), {Format, std::move(Factory)});
}

static TGraphicFactory ClipboardFactory(const QString &Format)
{
    Registry &R = TheRegistry();
    std::lock_guard<std::mutex> Guard(R.Lock);
    for (const auto &[Name, Factory] : R.ClipboardFormats)
        if (Name == Format)
            return Factory;
    return {};
}

bool TPicture::SupportsClipboardFormat(const QString &Format) { return bool(ClipboardFactory(Format)); }

void TPicture::LoadFromClipboardFormat(const QString &Format, const QByteArray &Data)
{
    const TGraphicFactory Factory = ClipboardFactory(Format);
    if (!Factory)
        UnsupportedClipboardFormat();
    std::unique_ptr<TGraphic> G = Factory();
    G->LoadFromClipboardFormat(Format, Data);
    SetGraphic(std::move(G));
}

void TPicture::SaveToClipboardFormat(QString &Format, QByteArray &Data)
{
    if (FGraphic && !FGraphic->Empty())
        FGraphic->SaveToClipboardFormat(Format, Data);
}

// ---------------------------------------------------------------- TPicture

TPicture::TPicture() = default;

TPicture::~TPicture() = default;

void TPicture::Hook()
{
    if (FGraphic)
        FGraphic->OnChange = [this](TObject *) { Changed(this); };
}

void TPicture::Changed(TObject *)
{
    if (OnChange)
        OnChange(this);
}

void TPicture::SetGraphic(const TGraphic *Value)
{
    std::unique_ptr<TGraphic> Copy;
    if (Value) {
        Copy = Value->NewGraphic();
        Copy->Assign(Value);
    }
    SetGraphic(std::move(Copy));
}

void TPicture::SetGraphic(std::unique_ptr<TGraphic> Value)
{
    FGraphic = std::move(Value);
    Hook();
    Changed(this);
}

TBitmap *TPicture::Bitmap()
{
    if (auto *B = dynamic_cast<TBitmap *>(FGraphic.get()))
        return B;
    SetGraphic(std::make_unique<TBitmap>());
    return static_cast<TBitmap *>(FGraphic.get());
}

int TPicture::Width() const { return FGraphic ? FGraphic->Width() : 0; }

int TPicture::Height() const { return FGraphic ? FGraphic->Height() : 0; }

void TPicture::LoadFromFile(const QString &FileName)
{
    const QString Ext = NormalExtension(ExtractFileExt(FileName));
    std::unique_ptr<TGraphic> G = CreateGraphicForExtension(Ext);
    if (!G)
        throw EInvalidGraphic(QStringLiteral("Unknown picture file extension (.%1)").arg(Ext));
    G->LoadFromFile(FileName);
    SetGraphic(std::move(G));
}

void TPicture::SaveToFile(const QString &FileName)
{
    if (FGraphic)
        FGraphic->SaveToFile(FileName);
}

void TPicture::Assign(const TPicture *Source)
{
    SetGraphic(Source ? Source->Graphic() : static_cast<const TGraphic *>(nullptr));
}
