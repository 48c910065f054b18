#pragma once
// ProductPictures: product pictures, the thumbnails the product grid shows, the
// stored form of a picture path, and the folder walk that collects pictures. No
// widgets.

#include "platform/graphics/Graphics.h"

#include <QString>
#include <QStringList>
#include <functional>
#include <memory>
#include <vector>

namespace ProductPictures {

// Texts drawn on the thumbnails of pictures that cannot be shown.
extern const QString PngText;          // "当前版本不支持PNG文件。"
extern const QString UnsupportedText;  // "不支持的图片格式。"
extern const QString LoadErrorText;    // "非标准图片，载入出错。"
constexpr int NoticeWidth = 148;
constexpr int NoticeHeight = 80;

// The JPEG scale divisor (2, 4 or 8) to decode a picture ImageHeight pixels
// high for a thumbnail Height pixels high: the smallest decode still at least
// as high as the thumbnail, and never less than the half scale.
int JpegScaleDivisor(int ImageHeight, int Height);

// The widest thumbnail: wider than any picture cell of the grid can be.
constexpr int MaxThumbnailWidth = 4096;

// A thumbnail of the picture file, Height pixels high (the picture cell's
// extent less 3) and as wide as the picture's aspect asks; a picture wider
// than that allows is shrunk to MaxThumbnailWidth, keeping its aspect.
// Pictures that cannot be shown give a 148 x 80 bitmap with their notice;
// nothing raises.
std::unique_ptr<TBitmap> MakeThumbnail(const QString &FileName, int Height);

// A thumbnail for a screen with PixelRatio device pixels to each logical one:
// a picture is made Height x PixelRatio pixels high (and the notices as many
// times larger), so that drawn at its logical size it shows every pixel the
// screen has. Ratio says how many of the bitmap's pixels make one logical
// pixel: PixelRatio, or 1 for a bitmap file, which shows at its own size.
// Unreadable tells that the file, a JPEG, GIF or BMP by its extension, is
// missing or does not decode: the bitmap is the LoadErrorText notice. Other
// kinds are not judged: their notices say what they are.
struct TScreenThumbnail {
    std::unique_ptr<TBitmap> Bitmap;
    qreal Ratio = 1;
    bool Unreadable = false;
};
TScreenThumbnail MakeScreenThumbnail(const QString &FileName, int Height, qreal PixelRatio);

// Thumbnails of many files at once, decoded on several threads; the result
// is in the order of Files.
std::vector<std::unique_ptr<TBitmap>> MakeThumbnails(const QStringList &Files, int Height);

// The thumbnail a product grid cell holds: it names its picture file and
// decodes it (MakeThumbnail) only when the thumbnail is first drawn or
// measured, then keeps the thumbnail, not the picture. A page of many products
// so costs no decoding for the rows nobody looks at. A copy of it is the
// decoded bitmap. A decoded thumbnail that goes away (the grid emptied and
// loaded again) leaves its bitmap to a few recent ones kept aside, taken back
// by the next thumbnail of the same file, unchanged on disk, height and pixel
// ratio. Its size is in logical pixels; it is decoded for the pixel ratio of
// the screen it is drawn on (see SetPixelRatio), and a copy of it is the
// bitmap at its logical size.
class TThumbnail : public TGraphic {
public:
    TThumbnail(const QString &FileName, int Height, qreal PixelRatio = 1);
    ~TThumbnail() override;

    const QString &FileName() const { return FFileName; }
    bool Decoded() const { return FBitmap != nullptr; }
    // The device pixels to a logical pixel of the screen it is made for. A
    // new ratio lets the decoded bitmap go (kept aside); the next use decodes
    // the file for the new one.
    qreal PixelRatio() const { return FPixelRatio; }
    void SetPixelRatio(qreal Value);
    // Whether the decoded bitmap is the notice of a picture file that cannot
    // be read (see TScreenThumbnail); false before it is decoded.
    bool Unreadable() const { return FBitmap && FUnreadable; }
    // Decodes the thumbnails of Many that are not decoded yet, on several threads.
    static void DecodeAll(const std::vector<TThumbnail *> &Many);
    // Picture files decoded for thumbnails (MakeScreenThumbnail and all that
    // use it) since the program started.
    static int DecodeCount();

    QString ClassName() const override { return QStringLiteral("TThumbnail"); }
    std::unique_ptr<TGraphic> NewGraphic() const override;   // a TBitmap
    bool Empty() const override;
    int Width() const override;
    int Height() const override;
    void LoadFromStream(TStream *Stream) override;
    void SaveToStream(TStream *Stream) override;
    void Assign(const TGraphic *Source) override;
    void AssignTo(TGraphic *Dest) const override;
    void Draw(TCanvas &Canvas, const TRect &R) override;

    // Recent thumbnails kept aside, at most this many.
    static constexpr int KeptAside = 48;

    // What identifies the file's contents without reading them; Valid false
    // when the file cannot be looked at.
    struct TStamp {
        bool Valid = false;
        quint64 Device = 0, Inode = 0;
        qint64 Size = 0, Modified = 0, Changed = 0;   // nanoseconds
        bool operator==(const TStamp &O) const
        {
            return Valid && O.Valid && Device == O.Device && Inode == O.Inode && Size == O.Size
                && Modified == O.Modified && Changed == O.Changed;
        }
    };

    // Decoding on another thread: Decoding() is the work of decoding this
    // thumbnail's file, which touches no thumbnail and may run on any thread
    // (it is empty when the thumbnail has its bitmap, or took one kept aside);
    // AdoptDecoded hands its result over, on the thumbnail's own thread,
    // unless the thumbnail was decoded meanwhile.
    struct TDecoded {
        TScreenThumbnail Made;
        TStamp Stamp;
    };
    std::function<TDecoded()> Decoding();
    void AdoptDecoded(TDecoded Decoded);
    // Runs the decodings together on several threads; the results are in their order.
    static std::vector<TDecoded> RunDecodings(const std::vector<std::function<TDecoded()>> &Decodings);

private:
    QString FFileName;
    int FHeight;
    qreal FPixelRatio;
    mutable std::unique_ptr<TBitmap> FBitmap;
    // The bitmap's pixels to a logical pixel (1 for a bitmap file).
    mutable qreal FBitmapRatio = 1;
    // Whether the bitmap was made from the file (not loaded or assigned).
    mutable bool FMade = false;
    mutable bool FUnreadable = false;
    // The file as it was just before FBitmap was decoded from it; not valid
    // when the bitmap came from elsewhere (a stream, an assignment).
    mutable TStamp FStamp;
    TBitmap &Bitmap() const;
    bool TakeKept() const;
    void Adopt(TScreenThumbnail Made) const;
    // The decoded bitmap at the logical size, for copies.
    TBitmap LogicalBitmap() const;
};

// What an import tells the user about the files it took that cannot be read
// as pictures (their thumbnails are Unreadable), naming each; "" for none.
QString UnreadablePicturesMessage(const QStringList &Unreadable);

// The value the page text stores for a picture: the part after the page's
// folder when the picture lies below it (at most 256 characters), else the
// whole path. PagePath may be empty (a page not saved yet).
QString StoredPicturePath(const QString &PagePath, const QString &PicturePath);

// Files of Folder matching Mask (case-insensitive wildcard), sorted by name,
// each followed by CR LF; with Recurse the sub-folders' files follow. A folder
// reached twice (through a symbolic link) is walked once.
QString CollectPictureFiles(const QString &Folder, const QString &Mask, bool Recurse);

// What the import does with one entry of a picture list.
enum TImportKind { ikNone, ikFolder, ikPicture, ikPage };
TImportKind ImportKind(const QString &Entry);

// The entries of a picture list (CR LF, LF or CR separated), empty ones left out.
QStringList SplitPictureList(const QString &List);

} // namespace ProductPictures
