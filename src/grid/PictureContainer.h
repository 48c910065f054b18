#pragma once
// The pictures that cell markup can show: THTMLPicture keeps the raw bytes of
// a JPEG, GIF, BMP or ICO picture and shows one frame of them; the picture
// cache holds the pictures that markup names by address (each loaded once);
// the picture container is a component with named pictures that IMG tags name
// without a protocol.
//
// Addresses: "RES://NAME" is a resource of the program (Qt resource ":/NAME",
// the name upper-cased), "FILE://path" a local file (the path keeps its case).
// Any other address is only stored: nothing here ever reaches the network.

#include "platform/core/Classes.h"
#include "platform/graphics/Graphics.h"

#include <QImage>
#include <QString>
#include <functional>
#include <memory>
#include <vector>

// The texts raised by the loading operations (as EInvalidGraphic).
namespace HTMLPictureText {
inline const QString AllocFailed = QStringLiteral("Could not allocate memory for image");
inline const QString StreamFailed = QStringLiteral("Could not create image stream");
inline const QString StreamEmpty = QStringLiteral("Empty image stream created");
inline const QString InvalidFormat = QStringLiteral("Could not load image. Invalid format");
inline const QString LoadFailed = QStringLiteral("Could not load image");
} // namespace HTMLPictureText

class THTMLPicture;

// Serves a web address. Downloading is not part of this program: Execute
// does nothing, so a web picture stays empty.
class TDownLoadThread : public TObject {
public:
    explicit TDownLoadThread(THTMLPicture *Picture) : FPicture(Picture) {}
    void Execute() {}
    THTMLPicture *Picture() const { return FPicture; }

private:
    THTMLPicture *FPicture;
};

class THTMLPicture : public TGraphic {
public:
    THTMLPicture();
    ~THTMLPicture() override;

    QString ClassName() const override { return QStringLiteral("THTMLPicture"); }
    std::unique_ptr<TGraphic> NewGraphic() const override;

    bool Empty() const override { return FEmpty; }
    // The shown picture's size (for a GIF its logical screen); 0 when nothing is loaded.
    int Width() const override;
    int Height() const override;
    void SetWidth(int) override {}
    void SetHeight(int) override {}
    // The GIF logical screen size when one was read, else the picture's own size.
    int LogicalWidth() const;
    int LogicalHeight() const;

    // Copies all bytes and builds the picture. Raises EInvalidGraphic with one of
    // HTMLPictureText's texts; the picture is then left as it was.
    void LoadFromStream(TStream *Stream) override;
    void LoadFromFile(const QString &FileName) override;
    void SaveToStream(TStream *Stream) override;
    void ReadData(TStream *Stream);
    void WriteData(TStream *Stream);
    void LoadFromClipboardFormat(const QString &, const QByteArray &) override {}
    void SaveToClipboardFormat(QString &, QByteArray &) override {}
    void Assign(const TGraphic *Source) override;
    void Draw(TCanvas &Canvas, const TRect &R) override;

    // See the file's opening comment for the address forms.
    void LoadFromURL(const QString &URL);

    bool Stretch = false;
    int Frame() const { return FFrame; }
    // 1 is the first frame; rebuilds the shown picture and fires OnFrameChange.
    void SetFrame(int Value);
    // Number of GIF frames read (0 for other data).
    int FrameCount();
    int FrameLeft() const { return FFrameLeft; }
    int FrameTop() const { return FFrameTop; }
    int FrameWidth() const { return FFrameWidth; }
    int FrameHeight() const { return FFrameHeight; }

    // The address this picture stands for in a picture cache.
    QString ID;
    QString URL() const { return FURL; }
    // Whether a web address should start a download (never by default).
    bool AsynchDownLoad = false;
    bool DownLoading() const { return FDownLoading; }
    // Root of "RES://" names: a Qt resource prefix.
    QString ResourceRoot = QStringLiteral(":/");
    int PixelsPerInchX = 96;
    int PixelsPerInchY = 96;

    const QImage &Image() const { return FImage; }
    const QByteArray &Data() const { return FData.Bytes(); }

    std::function<void(TObject *Sender)> OnFrameChange;
    std::function<void(TObject *Sender, int Position, int Total)> OnDownLoadProgress;
    std::function<void(TObject *Sender, bool &Cancel)> OnDownLoadCancel;
    std::function<void(TObject *Sender)> OnDownLoadComplete;
    std::function<void(TObject *Sender, const QString &Err)> OnDownLoadError;

private:
    TMemoryStream FData;
    bool FEmpty = true;
    QImage FImage;
    int FFrameCount = -1;
    int FFrame = 1;
    int FFrameLeft = 0, FFrameTop = 0, FFrameWidth = 0, FFrameHeight = 0;
    int FLogWidth = 0, FLogHeight = 0;
    bool FDownLoading = false;
    QString FURL;
    void TakeBytes(const QByteArray &Bytes, bool FireChange);
    void BuildPicture();
};

class THTMLPictureCache : public TObject {
public:
    explicit THTMLPictureCache(const QString &AResourceRoot = QStringLiteral(":/"))
        : FResourceRoot(AResourceRoot) {}
    // A new, empty picture owned by the cache.
    THTMLPicture *AddPicture();
    // The first picture whose ID equals URL exactly; nullptr when none.
    THTMLPicture *FindPicture(const QString &URL) const;
    int Count() const { return int(FItems.size()); }
    THTMLPicture *Items(int Index) const { return FItems.at(size_t(Index)).get(); }
    void Clear() { FItems.clear(); }

private:
    QString FResourceRoot;
    std::vector<std::unique_ptr<THTMLPicture>> FItems;
};

class TPictureItem : public TObject {
public:
    TPictureItem() : FPicture(std::make_unique<THTMLPicture>()) {}
    THTMLPicture *Picture() const { return FPicture.get(); }
    void SetPicture(const THTMLPicture *Value) { FPicture->Assign(Value); }
    QString Name;
    int Tag = 0;
    void Assign(const TPictureItem *Source);

private:
    std::unique_ptr<THTMLPicture> FPicture;
};

class TPictureCollection : public TObject {
public:
    explicit TPictureCollection(TComponent *AOwner) : FOwner(AOwner) {}
    TPictureItem *Add();
    int Count() const { return int(FItems.size()); }
    TPictureItem *Items(int Index) const { return FItems.at(size_t(Index)).get(); }
    void Delete(int Index);
    void Clear() { FItems.clear(); }
    TComponent *Owner() const { return FOwner; }

private:
    TComponent *FOwner;
    std::vector<std::unique_ptr<TPictureItem>> FItems;
};

class TPictureContainer : public TComponent {
public:
    explicit TPictureContainer(TComponent *AOwner = nullptr)
        : TComponent(AOwner), FItems(std::make_unique<TPictureCollection>(this)) {}
    TPictureCollection *Items() const { return FItems.get(); }
    // The picture of the first item whose name, upper-cased, equals Name.
    THTMLPicture *FindPicture(const QString &Name) const;

private:
    std::unique_ptr<TPictureCollection> FItems;
};
