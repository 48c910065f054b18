#pragma once
// The GIF picture: TGIFImage reads GIF 87a and 89a files (animated ones too)
// into a model of header, colour maps, frames and extensions, draws them with
// transparency and plays animations in painter threads.

#include "GIFException.h"
#include "GIFPainter.h"
#include "platform/core/Classes.h"
#include "platform/graphics/Graphics.h"

#include <QImage>
#include <QString>
#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

class TGIFImage;
class TGIFSubImage;
class TGIFList;
class TGIFGraphicControlExtension;
class TMetafile;

enum TGIFVersion { gvUnknown = 0, gv87a = 1, gv89a = 2 };

// Severity of a warning passed to OnWarningReport. The reader reports
// everything it lets pass with gsWarning.
using TGIFSeverity = int;
inline constexpr TGIFSeverity gsInfo = 0;
inline constexpr TGIFSeverity gsWarning = 1;
inline constexpr TGIFSeverity gsError = 2;

using TGIFWarning = std::function<void(TObject *Sender, TGIFSeverity Severity, const QString &Message)>;

// ---------------------------------------------------------------- links

// Items keep a pointer to the image (extensions also to the frame) they were
// made for, and may outlive it: a frame the caller keeps, a frame put in
// another image's list, an extension never added. So that one never reaches
// freed memory, the pointer is a link to an anchor the owner holds; the
// anchor empties every link when the owner goes, and the item then behaves as
// one made for no owner.
template <class T>
class TGIFLink {
public:
    TGIFLink() = default;
    T *get() const { return FCell ? FCell->load(std::memory_order_acquire) : nullptr; }
    operator T *() const { return get(); }
    T *operator->() const { return get(); }

private:
    template <class> friend class TGIFAnchor;
    explicit TGIFLink(std::shared_ptr<std::atomic<T *>> Cell) : FCell(std::move(Cell)) {}
    std::shared_ptr<std::atomic<T *>> FCell;
};

template <class T>
class TGIFAnchor {
public:
    explicit TGIFAnchor(T *Owner) : FCell(std::make_shared<std::atomic<T *>>(Owner)) {}
    ~TGIFAnchor() { Release(); }
    TGIFAnchor(const TGIFAnchor &) = delete;
    TGIFAnchor &operator=(const TGIFAnchor &) = delete;
    TGIFLink<T> Link() const { return TGIFLink<T>(FCell); }
    // Empties the links early, before the owner's members go.
    void Release() { FCell->store(nullptr, std::memory_order_release); }

private:
    std::shared_ptr<std::atomic<T *>> FCell;
};

// A link to Image (an empty one for none).
TGIFLink<TGIFImage> LinkTo(const TGIFImage *Image);

// ---------------------------------------------------------------- items

class TGIFItem : public TObject {
public:
    explicit TGIFItem(TGIFImage *GIFImage);
    ~TGIFItem() override = default;

    virtual TGIFVersion GetVersion() const { return gv87a; }
    virtual void Warning(TGIFSeverity Severity, const QString &Message);
    virtual void SaveToStream(TStream *Stream) = 0;
    virtual void LoadFromStream(TStream *Stream) = 0;
    void SaveToFile(const QString &FileName);
    void LoadFromFile(const QString &FileName);

    // The image the item was made for; null once that image is freed.
    TGIFImage *Image() const { return FGIFImage; }
    // Whether a list owns the item (a list takes no item another one owns).
    bool Listed() const { return FList != nullptr; }
    // Whether List is the list that owns the item (an item leaves its list
    // only when it is freed, so this needs no search of the list).
    bool ListedIn(const TGIFList &List) const { return FList == &List; }

protected:
    TGIFLink<TGIFImage> FGIFImage;

private:
    friend class TGIFList;
    const TGIFList *FList = nullptr;
};

// An owned, ordered list of items; destroying it frees them.
class TGIFList : public TObject {
public:
    explicit TGIFList(TGIFImage *Image) : FImage(LinkTo(Image)) {}
    int Count() const { return int(FItems.size()); }
    TGIFItem *Items(int Index) const;
    // Take ownership; an item that a list owns already is refused (EListError)
    // and stays where it is.
    int Add(TGIFItem *Item);
    void Insert(int Index, TGIFItem *Item);
    void Delete(int Index);
    // Frees the items whose entry in Marked is set (the last first) and closes
    // the gaps in one pass, the others keeping their order.
    void DeleteMarked(const std::vector<bool> &Marked);
    void Clear();
    int IndexOf(const TGIFItem *Item) const;
    TGIFImage *Image() const { return FImage; }

protected:
    void Take(TGIFItem *Item);
    TGIFLink<TGIFImage> FImage;
    std::vector<std::unique_ptr<TGIFItem>> FItems;
};

struct TGIFColor {
    uint8_t Red = 0;
    uint8_t Green = 0;
    uint8_t Blue = 0;
};

// A colour table of up to 256 RGB entries.
class TGIFColorMap : public TObject {
public:
    explicit TGIFColorMap(TGIFItem *Owner) : FOwner(Owner) {}

    int Count() const { return FCount; }
    int Capacity() const { return FCapacity; }
    bool Optimized() const { return FOptimized; }
    void SetOptimized(bool Value) { FOptimized = Value; }
    // Colour of an entry as TColor; a bad index warns and reads entry 0.
    TColor Colors(int Index) const;
    void SetColors(int Index, TColor Value);
    const TGIFColor *Data() const { return FData.data(); }
    int Add(TColor Color);
    void Delete(int Index);
    void Clear();
    int IndexOf(TColor Color) const;
    int BitsPerPixel() const;
    // Reads Count triples; writes Count triples padded to 2^BitsPerPixel.
    void LoadFromStream(TStream *Stream, int Count);
    void SaveToStream(TStream *Stream) const;
    // Sorts by use and drops unused entries (see the owning frames).
    bool Optimize();
    void Warning(TGIFSeverity Severity, const QString &Message) const;

protected:
    virtual void Changed() {}
    // The frames whose pixels index this table.
    virtual std::vector<TGIFSubImage *> UsingFrames() const = 0;
    void SetCapacity(int Size);

    friend class TGIFSubImage;
    TGIFItem *FOwner;
    std::vector<TGIFColor> FData;
    int FCount = 0;
    int FCapacity = 0;
    bool FOptimized = false;
};

class TGIFHeader;

class TGIFGlobalColorMap : public TGIFColorMap {
public:
    explicit TGIFGlobalColorMap(TGIFHeader *Header);

protected:
    void Changed() override;
    std::vector<TGIFSubImage *> UsingFrames() const override;
};

class TGIFLocalColorMap : public TGIFColorMap {
public:
    explicit TGIFLocalColorMap(TGIFSubImage *SubImage);

protected:
    void Changed() override;
    std::vector<TGIFSubImage *> UsingFrames() const override;
};

// The logical screen descriptor and the global colour table.
class TGIFHeader : public TGIFItem {
public:
    struct TLogicalScreenDescriptor {
        uint16_t ScreenWidth = 0;
        uint16_t ScreenHeight = 0;
        uint8_t PackedFields = 0;
        uint8_t BackgroundColorIndex = 0;
        uint8_t AspectRatio = 0;
    };

    explicit TGIFHeader(TGIFImage *GIFImage);
    void SaveToStream(TStream *Stream) override;
    void LoadFromStream(TStream *Stream) override;
    void Clear();
    // Recomputes the descriptor's flags from the colour tables.
    void Prepare();

    int Width() const { return FDescriptor.ScreenWidth; }
    int Height() const { return FDescriptor.ScreenHeight; }
    void SetWidth(int Value) { FDescriptor.ScreenWidth = uint16_t(Value); }
    void SetHeight(int Value) { FDescriptor.ScreenHeight = uint16_t(Value); }
    uint8_t BackgroundColorIndex() const { return FDescriptor.BackgroundColorIndex; }
    void SetBackgroundColorIndex(uint8_t Value) { FDescriptor.BackgroundColorIndex = Value; }
    TColor BackgroundColor() const;
    uint8_t AspectRatio() const { return FDescriptor.AspectRatio; }
    uint8_t PackedFields() const { return FDescriptor.PackedFields; }
    TGIFGlobalColorMap *ColorMap() { return &FColorMap; }
    const TLogicalScreenDescriptor &Descriptor() const { return FDescriptor; }
    void AssignDescriptor(const TGIFHeader &Source) { FDescriptor = Source.FDescriptor; }

private:
    TLogicalScreenDescriptor FDescriptor;
    TGIFGlobalColorMap FColorMap;
};

// ------------------------------------------------------------ extensions

class TGIFExtension;
struct TGIFExtensionClass;
using TGIFExtensionCreate = TGIFExtension *(*)(TGIFSubImage *SubImage);
// Looks further into the stream and may name a more specific class.
using TGIFExtensionResolve = const TGIFExtensionClass *(*)(TStream *Stream);

// Class-level information of an extension class: its label, how to make one
// and the resolver that may choose a more specific class.
struct TGIFExtensionClass {
    uint8_t Label;
    const char *Name;
    TGIFExtensionCreate Create;
    TGIFExtensionResolve Resolve;
};

class TGIFExtension : public TGIFItem {
public:
    explicit TGIFExtension(TGIFSubImage *SubImage);
    TGIFVersion GetVersion() const override { return gv89a; }
    virtual const TGIFExtensionClass *ClassInfo() const = 0;
    // The label: its class's, or the one read for an extension of a label
    // no class is registered for.
    virtual uint8_t GetExtensionType() const { return ClassInfo()->Label; }
    // The frame the extension was made for; null once that frame is freed.
    TGIFSubImage *SubImage() const { return FSubImage; }
    void SaveToStream(TStream *Stream) override;
    void LoadFromStream(TStream *Stream) override;

    // The class for the stream's next label (the stream stands on the label):
    // TGIFUnknownExtension for a label without a registered class, nullptr
    // at the end of the stream. The stream position is kept.
    static const TGIFExtensionClass *FindExtension(TStream *Stream);

protected:
    virtual void SaveData(TStream *Stream) = 0;
    virtual void LoadData(TStream *Stream) = 0;
    TGIFLink<TGIFSubImage> FSubImage;
};

class TGIFGraphicControlExtension : public TGIFExtension {
public:
    struct TGCExtensionRec {
        uint8_t BlockSize = 4;
        uint8_t PackedFields = 0;
        uint16_t DelayTime = 0;
        uint8_t TransparentColorIndex = 0;
        uint8_t Terminator = 0;
    };
    static const TGIFExtensionClass Class;

    explicit TGIFGraphicControlExtension(TGIFSubImage *SubImage);
    ~TGIFGraphicControlExtension() override;
    const TGIFExtensionClass *ClassInfo() const override { return &Class; }

    int Disposal() const { return (FGCExtension.PackedFields & 0x1C) >> 2; }
    void SetDisposal(int Value);
    int Delay() const { return FGCExtension.DelayTime; }
    void SetDelay(int Value) { FGCExtension.DelayTime = uint16_t(Value); }
    bool Transparent() const { return FGCExtension.PackedFields & 0x01; }
    void SetTransparent(bool Value);
    bool UserInput() const { return FGCExtension.PackedFields & 0x02; }
    void SetUserInput(bool Value);
    uint8_t TransparentColorIndex() const { return FGCExtension.TransparentColorIndex; }
    void SetTransparentColorIndex(int Value);
    TColor TransparentColor() const;
    const TGCExtensionRec &Record() const { return FGCExtension; }

protected:
    void SaveData(TStream *Stream) override;
    void LoadData(TStream *Stream) override;

private:
    friend class TGIFColorMap;
    TGCExtensionRec FGCExtension;
};

class TGIFTextExtension : public TGIFExtension {
public:
    struct TTextExtensionRec {
        uint8_t BlockSize = 12;
        uint16_t Left = 0, Top = 0, Width = 0, Height = 0;
        uint8_t CellWidth = 0, CellHeight = 0;
        uint8_t TextFGColorIndex = 0, TextBGColorIndex = 0;
    };
    static const TGIFExtensionClass Class;

    explicit TGIFTextExtension(TGIFSubImage *SubImage) : TGIFExtension(SubImage) {}
    const TGIFExtensionClass *ClassInfo() const override { return &Class; }
    TStringList &Text() { return FText; }
    const TTextExtensionRec &Record() const { return FPlainTextExtension; }

protected:
    void SaveData(TStream *Stream) override;
    void LoadData(TStream *Stream) override;

private:
    TTextExtensionRec FPlainTextExtension;
    QByteArray FBlockRest;   // what the first block holds past its 12 bytes
    TStringList FText;
};

class TGIFCommentExtension : public TGIFExtension {
public:
    static const TGIFExtensionClass Class;
    explicit TGIFCommentExtension(TGIFSubImage *SubImage) : TGIFExtension(SubImage) {}
    const TGIFExtensionClass *ClassInfo() const override { return &Class; }
    TStringList &Text() { return FText; }

protected:
    void SaveData(TStream *Stream) override;
    void LoadData(TStream *Stream) override;

private:
    TStringList FText;
};

// An application extension: 8-byte identifier and 3-byte authentication code,
// then data sub-blocks read by the subclass.
class TGIFApplicationExtension : public TGIFExtension {
public:
    static const TGIFExtensionClass Class;
    explicit TGIFApplicationExtension(TGIFSubImage *SubImage);
    const TGIFExtensionClass *ClassInfo() const override { return &Class; }
    // The 11 bytes of identifier and authentication code.
    QByteArray Identifier() const;
    void SetIdentifier(const QByteArray &Value);

protected:
    void SaveData(TStream *Stream) override;
    void LoadData(TStream *Stream) override;
    virtual void SaveApplicationData(TStream *Stream);
    virtual void LoadApplicationData(TStream *Stream);

    std::array<uint8_t, 11> FIdent{};
    // 10 for a block that held only 10 identifier bytes: written back so, or
    // its first data byte would become part of a different identifier.
    uint8_t FBlockSize = 11;
};

// A data sub-block kept as read.
class TGIFBlock : public TObject {
public:
    explicit TGIFBlock(const QByteArray &Data) : FData(Data) {}
    int Size() const { return int(FData.size()); }
    const QByteArray &Data() const { return FData; }
    void SaveToStream(TStream *Stream) const;

private:
    QByteArray FData;
};

// The animation loop extension ("NETSCAPE2.0" / "ANIMEXTS1.0").
class TGIFAppExtNSLoop : public TGIFApplicationExtension {
public:
    static const TGIFExtensionClass Class;
    explicit TGIFAppExtNSLoop(TGIFSubImage *SubImage);
    const TGIFExtensionClass *ClassInfo() const override { return &Class; }
    int Loops() const { return FLoops; }           // 0 = for ever
    void SetLoops(int Value) { FLoops = uint16_t(Value); }
    uint32_t BufferSize() const { return FBufferSize; }
    void SetBufferSize(uint32_t Value) { FBufferSize = Value; }

protected:
    void SaveApplicationData(TStream *Stream) override;
    void LoadApplicationData(TStream *Stream) override;

private:
    uint16_t FLoops = 0;
    uint32_t FBufferSize = 0;
};

// Any other application extension: its sub-blocks are kept and written back.
class TGIFUnknownAppExtension : public TGIFApplicationExtension {
public:
    static const TGIFExtensionClass Class;
    explicit TGIFUnknownAppExtension(TGIFSubImage *SubImage) : TGIFApplicationExtension(SubImage) {}
    const TGIFExtensionClass *ClassInfo() const override { return &Class; }
    int BlockCount() const { return int(FBlocks.size()); }
    const TGIFBlock &Blocks(int Index) const { return *FBlocks.at(size_t(Index)); }

protected:
    void SaveApplicationData(TStream *Stream) override;
    void LoadApplicationData(TStream *Stream) override;

private:
    std::vector<std::unique_ptr<TGIFBlock>> FBlocks;
};

// An extension of a label no class is registered for (an application's own
// block, such as a frame name): its label and data sub-blocks are kept as read
// and written back unchanged.
class TGIFUnknownExtension : public TGIFExtension {
public:
    static const TGIFExtensionClass Class;
    explicit TGIFUnknownExtension(TGIFSubImage *SubImage) : TGIFExtension(SubImage) {}
    const TGIFExtensionClass *ClassInfo() const override { return &Class; }
    uint8_t GetExtensionType() const override { return FLabel; }
    void LoadFromStream(TStream *Stream) override;
    // The data sub-blocks, each with its size byte, without the terminator.
    const QByteArray &Data() const { return FData; }

protected:
    void SaveData(TStream *Stream) override;
    void LoadData(TStream *Stream) override;

private:
    uint8_t FLabel = 0;
    QByteArray FData;
};

class TGIFExtensionList : public TGIFList {
public:
    TGIFExtensionList(TGIFSubImage *SubImage);
    TGIFExtension *Extensions(int Index) const { return static_cast<TGIFExtension *>(Items(Index)); }
    void LoadFromStream(TStream *Stream, TGIFSubImage *Parent);
};

// ---------------------------------------------------------------- frames

class TGIFSubImage : public TGIFItem {
public:
    struct TImageDescriptor {
        uint8_t Separator = ',';
        uint16_t Left = 0, Top = 0, Width = 0, Height = 0;
        uint8_t PackedFields = 0;
    };

    // A frame made for GIFImage (which may be none). It may be kept apart from
    // the image's list and outlive the image; it then has no image.
    explicit TGIFSubImage(TGIFImage *GIFImage);
    ~TGIFSubImage() override;

    TGIFVersion GetVersion() const override;
    void SaveToStream(TStream *Stream) override;
    void LoadFromStream(TStream *Stream) override;
    void Clear();

    int Left() const { return FImageDescriptor.Left; }
    int Top() const { return FImageDescriptor.Top; }
    int Width() const { return FImageDescriptor.Width; }
    int Height() const { return FImageDescriptor.Height; }
    void SetLeft(int Value);
    void SetTop(int Value);
    void SetWidth(int Value);
    void SetHeight(int Value);
    TRect BoundsRect() const;
    void SetBoundsRect(const TRect &Value);
    bool Interlaced() const { return FImageDescriptor.PackedFields & 0x40; }
    void SetInterlaced(bool Value);
    const TImageDescriptor &Descriptor() const { return FImageDescriptor; }

    bool Empty() const;
    // Pixel access; a frame without data gets a zero-filled buffer first.
    uint8_t Pixels(int x, int y);
    void SetPixels(int x, int y, uint8_t Value);
    uint8_t *RowData(int y);
    const uint8_t *Data() const { return FData.data(); }
    int DataSize() const { return int(FData.size()); }

    TGIFLocalColorMap *ColorMap() { return &FLocalPalette; }
    // The local table when it has entries, else the global one.
    TGIFColorMap *ActiveColorMap();
    TGIFExtensionList &Extensions() { return FExtensions; }
    TGIFGraphicControlExtension *GraphicControlExtension() const { return FGCE; }
    bool Transparent() const { return FTransparent; }

    // The frame as an 8-bit picture with its colour table (cached), and its
    // transparency mask (null when no pixel is transparent).
    QImage Bitmap();
    QImage Mask();
    bool HasBitmap() const;
    // Builds the cached picture without handing out a copy (used by painters).
    void PrepareBitmap();
    // The colours the frame is realised with (web palette or its table).
    QList<QRgb> Palette();
    void FreeBitmap();

    void Draw(TCanvas *ACanvas, const TRect &Rect, bool DoTransparent, bool DoTile);
    // The frame's rectangle scaled from the logical screen into Rect.
    TRect ScaleRect(const TRect &Rect) const;

    // Makes the pixels that show the same colour as Previous (the frame
    // beneath) transparent. The transparent index is one none of the frame's
    // own pixels uses, so nothing visible turns transparent.
    void MakeUnchangedTransparent(TGIFSubImage *Previous);
    // Crops a transparent frame to the block of its pixels that are not
    // transparent; a frame with none is cleared.
    void TrimTransparent();

    // Copies Source into the frame: another frame (a deep copy of descriptor,
    // pixels, colour table and extensions; a frame of another image drawn
    // with that image's global table takes those colours as its own table
    // unless this frame's image has the same global table), a TBitmap (reduced with the
    // image's colour reduction when it has more than 8 bits per pixel), any
    // other TGraphic (through a bitmap; an icon's transparent pixels become
    // transparent) or a TPicture's graphic. No Source clears the frame.
    // Anything else raises EConvertError.
    void Assign(const TObject *Source);

private:
    friend class TGIFImage;
    friend class TGIFExtension;
    friend class TGIFGraphicControlExtension;
    friend class TGIFImageList;
    friend class TGIFColorMap;
    void Decompress(TStream *Stream);
    void NewImage();
    void CheckBounds(int64_t Width, int64_t Height) const;
    // Replaces the pixel buffer, keeping the image's running pixel total.
    void SetData(std::vector<uint8_t> &&Data);
    void ReleaseData() { SetData({}); }
    void SetDescriptorBounds(int Left, int Top, int Width, int Height);
    TGIFLink<TGIFSubImage> Link() const { return FAnchor.Link(); }
    void BuildBitmap();
    void MakePalette();
    QImage SampledPicture(int Width, int Height, bool DoTransparent);
    void AssignFrame(const TGIFSubImage &Source);
    void AssignBitmap(const TBitmap &Source);
    void AssignGraphic(const TGraphic &Source);
    // Makes the pixels whose Mask entry is not 0 transparent (a black entry
    // added to the local table), when the table has room.
    void TransparencyFromMask(const std::vector<uint8_t> &Mask);
    // The pixels a metafile leaves unpainted in W x H (1), from its drawings
    // on white and on black combined by exclusive or.
    static std::vector<uint8_t> MetafileMask(const TMetafile &Source, int W, int H);
    // MakeUnchangedTransparent with the frame whose transparent index a frame
    // drawn with the global table reuses (the first other transparent frame
    // without a table of its own) found by Shared, asked at most once. The
    // optimisation pass keeps track of that frame as it goes, rather than
    // having every frame look through all the others for it.
    void ReplaceUnchanged(TGIFSubImage *Previous, const std::function<TGIFSubImage *()> &Shared);
    // First, so that it is there before anything links to the frame.
    TGIFAnchor<TGIFSubImage> FAnchor{this};
    // The image that counts this frame's pixels (fixed at creation).
    TGIFLink<TGIFImage> FCountedIn;

    mutable std::mutex FBitmapLock;   // the cache is built by painters as well
    QImage FBitmap;
    QImage FMask;
    bool FNeedMask = true;
    QList<QRgb> FPalette;
    std::vector<uint8_t> FData;
    TGIFLocalColorMap FLocalPalette;
    TImageDescriptor FImageDescriptor;
    TGIFExtensionList FExtensions;
    bool FTransparent = false;
    TGIFGraphicControlExtension *FGCE = nullptr;
};

class TGIFImageList : public TGIFList {
public:
    explicit TGIFImageList(TGIFImage *Image) : TGIFList(Image) {}
    TGIFSubImage *SubImages(int Index) const { return static_cast<TGIFSubImage *>(Items(Index)); }
    TGIFSubImage *operator[](int Index) const { return SubImages(Index); }
    void LoadFromStream(TStream *Stream);
};

class TGIFTrailer : public TGIFItem {
public:
    explicit TGIFTrailer(TGIFImage *GIFImage) : TGIFItem(GIFImage) {}
    void SaveToStream(TStream *Stream) override;
    void LoadFromStream(TStream *Stream) override;
};

// ---------------------------------------------------------------- image

// Draw flags (TGIFDrawFlags).
using TGIFDrawFlags = uint16_t;
inline constexpr TGIFDrawFlags drawThreaded = 0x0001;
inline constexpr TGIFDrawFlags drawTransparent = 0x0002;
inline constexpr TGIFDrawFlags drawAnimated = 0x0004;
inline constexpr TGIFDrawFlags drawRepeat = 0x0008;
inline constexpr TGIFDrawFlags drawRepeatEndless = 0x0010;
inline constexpr TGIFDrawFlags drawCheckCanvas = 0x0020;
inline constexpr TGIFDrawFlags drawUnbuffered = 0x0040;
inline constexpr TGIFDrawFlags drawClearEachPass = 0x0080;
inline constexpr TGIFDrawFlags drawTiled = 0x0100;
inline constexpr TGIFDrawFlags drawWebPalette = 0x0200;
inline constexpr TGIFDrawFlags drawWebPaletteIfPaletted = 0x0400;

// Steps of the optimisation pass (TGIFOptimizeFlags).
using TGIFOptimizeFlags = uint8_t;
inline constexpr TGIFOptimizeFlags optimizeTrimTransparent = 0x01;
inline constexpr TGIFOptimizeFlags optimizeUnchangedPixels = 0x02;
inline constexpr TGIFOptimizeFlags optimizeDropRedundant = 0x04;
inline constexpr TGIFOptimizeFlags optimizeColorTables = 0x08;
inline constexpr TGIFOptimizeFlags optimizeColorReduction = 0x10;
inline constexpr TGIFOptimizeFlags optimizeAll = 0x1F;

// Whether the graphic data writer (WriteData) optimises first; off.
extern bool OptimizeOnWriteData;

// "No colour of its own": use the header's background colour.
inline constexpr TColor GIFNoBackgroundColor = clNone;

// Unit-wide defaults copied by each new TGIFImage.
extern TGIFDrawFlags GIFDefaultDrawOptions;       // 0x060F
extern int GIFDefaultColorReduction;              // 6
extern int GIFDefaultReductionBits;               // 8
extern int GIFDefaultDitherMode;                  // 0
extern int GIFDefaultCompression;                 // 0 = LZW
extern int GIFDefaultThreadPriority;              // 3 = normal
extern int GIFDefaultAnimationSpeed;              // 100 %
extern TColor GIFDefaultBackgroundColor;          // GIFNoBackgroundColor

// Whether the display draws through a palette (8 bits per pixel or less).
// Set at start from the screen; tests may switch it.
bool GIFDisplayIsPaletted();
void SetGIFDisplayIsPaletted(bool Value);

// The 216-colour web palette: index r*36 + g*6 + b, components 0, 51, ... 255.
const QList<QRgb> &GIFWebPalette();

// The clipboard format of GIF data, registered at start.
inline constexpr char CF_GIF[] = "GIF Image";
// Its MIME type on the system clipboard.
inline constexpr char GIFMimeType[] = "image/gif";

// Frame size limits: a frame or image larger than this is refused.
inline constexpr int64_t GIFMaxFramePixels = int64_t(1) << 26;     // 64 Mi pixels
inline constexpr int64_t GIFMaxImagePixels = int64_t(1) << 27;     // all frames together
// Frames above this size get a buffer only when their data could fill it.
inline constexpr int64_t GIFLargeFramePixels = int64_t(1) << 20;

class TGIFImage : public TGraphic {
public:
    TGIFImage();
    ~TGIFImage() override;

    QString ClassName() const override { return QStringLiteral("TGIFImage"); }
    std::unique_ptr<TGraphic> NewGraphic() const override;
    void LoadFromStream(TStream *Stream) override;
    void SaveToStream(TStream *Stream) override;
    void Draw(TCanvas &ACanvas, const TRect &Rect) override;
    bool Empty() const override { return FImages.Count() == 0; }
    int Width() const override { return FHeader.Width(); }
    int Height() const override { return FHeader.Height(); }
    void SetWidth(int Value) override;
    void SetHeight(int Value) override;
    void Clear();

    TGIFHeader &Header() { return FHeader; }
    TGIFGlobalColorMap *GlobalColorMap() { return FHeader.ColorMap(); }
    TGIFImageList &Frames() { return FImages; }
    bool IsTransparent() const;

    TGIFDrawFlags DrawOptions() const { return FDrawOptions; }
    void SetDrawOptions(TGIFDrawFlags Value);
    int AnimationSpeed() const { return FAnimationSpeed; }
    void SetAnimationSpeed(int Value);
    int ThreadPriority() const { return FThreadPriority; }
    void SetThreadPriority(int Value) { FThreadPriority = Value; }
    TColor BackgroundColor() const { return FBackgroundColor; }
    void SetBackgroundColor(TColor Value);
    int ColorReduction() const { return FColorReduction; }
    void SetColorReduction(int Value) { FColorReduction = Value; }
    int ReductionBits() const { return FReductionBits; }
    void SetReductionBits(int Value) { FReductionBits = Value; }
    int DitherMode() const { return FDitherMode; }
    void SetDitherMode(int Value) { FDitherMode = Value; }
    int Compression() const { return FCompression; }
    void SetCompression(int Value) { FCompression = Value; }

    // Painters: the current one (null when none) and the count of live ones.
    TGIFPainter *Painter() const;
    int PainterCount() const;
    // Stops every painter of the image and waits for them, handling events.
    void StopDraw();
    // The buffer bitmap that painters draw into (null when none).
    TBitmap *PainterBuffer() const { return FBitmap.get(); }
    // Frame 0 as a still of the logical screen's size (null for an empty
    // image), kept until the image changes.
    TBitmap *Bitmap() const;

    // Copies Source: another TGIFImage frame by frame with its settings, or any
    // other graphic as its only frame (see TGIFSubImage::Assign). No Source clears.
    void Assign(const TGraphic *Source) override;
    // A TBitmap receives Bitmap(); other classes are refused.
    void AssignTo(TGraphic *Dest) const override;
    // Appends a frame: a TGIFSubImage made for this image and owned by no list
    // is taken over; any other frame (of another image or none, or one another
    // list owns) is copied and stays with its owner;
    // a frame already in the list is refused; a TGraphic becomes a new frame.
    // Anything else raises "Object type not supported for operation".
    // Returns the frame's index; -1 when an event of a painter, run while the
    // painters were stopped, freed the image.
    int AddFrame(const TObject *Item);

    // Rewrites the image in place before it is written: the steps of Flags,
    // in a fixed order. Method is a colour reduction method; 9 with
    // optimizeColorReduction but without optimizeDropRedundant raises
    // "Invalid reduction method". Painters are stopped and held off meanwhile.
    // The last frame is never removed.
    void Optimize(TGIFOptimizeFlags Flags, int Method);
    // The graphic data writer: optimises first when OptimizeOnWriteData is on
    // (and writes nothing when an event run meanwhile freed the image).
    void WriteData(TStream *Stream);

    // "GIF Image" data (a GIF stream) or the bitmap format (CF_BITMAP); empty
    // Data takes the clipboard's data of Format.
    void LoadFromClipboardFormat(const QString &Format, const QByteArray &Data) override;
    // Offers Bitmap() in the bitmap format (Format and Data) and puts it on the
    // clipboard together with the GIF stream as "GIF Image". An empty image
    // puts nothing there.
    void SaveToClipboardFormat(QString &Format, QByteArray &Data) override;

    // Clock and sleeper of the painters; tests inject their own.
    std::shared_ptr<TGIFTiming> Timing() const { return FTiming; }
    void SetTiming(std::shared_ptr<TGIFTiming> Value) { FTiming = std::move(Value); }

    TGIFWarning OnWarningReport;
    std::function<void(TObject *Sender)> OnAnimationStart;
    std::function<void(TObject *Sender)> OnFrameStart;
    std::function<void(TObject *Sender)> OnFrameDone;
    std::function<void(TObject *Sender)> OnAnimationLoop;
    std::function<void(TObject *Sender)> OnAnimationEnd;

    virtual void Warning(TObject *Sender, TGIFSeverity Severity, const QString &Message);
    void ProgressReport(TProgressStage Stage, int PercentDone, const QString &Msg);
    // Called by frames and colour maps when what drawing shows has changed.
    void PaletteModified();
    void FrameBoundsChanged(TGIFSubImage *SubImage);

private:
    friend class TGIFPainter;
    friend class TGIFSubImage;
    friend class TGIFHeader;
    friend TGIFLink<TGIFImage> LinkTo(const TGIFImage *Image);
    // BitsPerPixel of the largest colour table, global or local. While
    // SaveToStream writes, it is the value worked out once at its start, so a
    // frame drawn with the global table does not look at every other frame.
    int LargestBitsPerPixel();
    void ClearBitmap();
    void PainterEnded(TGIFPainter *Painter);
    void DrawBuffer(TCanvas *ACanvas, const TRect &Rect);
    // StopDraw's work; false when an event run meanwhile freed the image, and
    // the caller must then touch nothing of it.
    bool StopPainters();
    // Clear's work, with StopPainters' answer: a load or copy into an image
    // that an event freed while the painters stopped does nothing more.
    bool ClearImage();
    // Empty from the moment the destructor begins: a wait further up the
    // stack (Draw, StopDraw) that ran the call freeing the image sees it so.
    TGIFLink<TGIFImage> Life() const { return FLife.Link(); }

    // First, so that it is there before the header and list link to it.
    TGIFAnchor<TGIFImage> FAnchor{this};
    TGIFHeader FHeader;
    TGIFImageList FImages;

    // Painter list and its lock; the lock also guards the current painter and
    // the start of painting.
    mutable std::recursive_mutex FPainterLock;
    std::vector<TGIFPainter *> FPainters;
    TGIFPainter *FPainter = nullptr;
    bool FBusy = false;
    TGIFAnchor<TGIFImage> FLife{this};

    TGIFDrawFlags FDrawOptions;
    int FColorReduction;
    int FReductionBits;
    int FDitherMode;
    int FCompression;
    int FThreadPriority;
    int FAnimationSpeed;
    TColor FBackgroundColor;
    mutable std::unique_ptr<TBitmap> FStill;   // Bitmap()
    // Pixel bytes held by the frames made for this image: kept as frames
    // change, so checking a new frame against the cap costs nothing.
    int64_t FPixelTotal = 0;
    int FSavingBits = -1;   // LargestBitsPerPixel() during SaveToStream, else -1
    std::unique_ptr<TBitmap> FBitmap;
    std::shared_ptr<TGIFTiming> FTiming;
};
