// The GIF item model and its reader.

#include "GIFImage.h"
#include "detail/GIFDecoder.h"
#include "detail/GIFEncoder.h"
#include "detail/GIFStrings.h"
#include "detail/GIFStreamUtil.h"

#include "platform/core/FileUtils.h"
#include "platform/core/SysUtils.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

using namespace gifdetail;

namespace {

QString Msg(const char *Text)
{
    return QString::fromLatin1(Text);
}

// ------------------------------------------------------------ registries

struct AppExtensionEntry {
    QByteArray Identifier;   // identifier and authentication code, 11 bytes
    const TGIFExtensionClass *Class;
};

// Extension classes by label; later registrations win.
const std::vector<const TGIFExtensionClass *> &ExtensionList()
{
    static const std::vector<const TGIFExtensionClass *> List = {
        &TGIFTextExtension::Class,
        &TGIFGraphicControlExtension::Class,
        &TGIFCommentExtension::Class,
        &TGIFApplicationExtension::Class,
    };
    return List;
}

const std::vector<AppExtensionEntry> &AppExtensionList()
{
    static const std::vector<AppExtensionEntry> List = {
        {QByteArray("NETSCAPE2.0"), &TGIFAppExtNSLoop::Class},
        {QByteArray("ANIMEXTS1.0"), &TGIFAppExtNSLoop::Class},
    };
    return List;
}

const TGIFExtensionClass *FindByLabel(uint8_t Label)
{
    const auto &List = ExtensionList();
    for (auto It = List.rbegin(); It != List.rend(); ++It)
        if ((*It)->Label == Label)
            return *It;
    return nullptr;
}

const TGIFExtensionClass *FindAppExtension(const QByteArray &Identifier)
{
    const auto &List = AppExtensionList();
    for (auto It = List.rbegin(); It != List.rend(); ++It)
        if (It->Identifier == Identifier)
            return It->Class;
    return nullptr;
}

// Resolvers: the base one keeps the class; the application one looks at the
// identifier to pick the class that reads its data.
const TGIFExtensionClass *ResolveSelf(const TGIFExtensionClass *Self, TStream *)
{
    return Self;
}

const TGIFExtensionClass *ResolveApplication(TStream *Stream)
{
    qint64 Start = Stream->Position();
    uint8_t Size = 0;
    if (Stream->Read(&Size, 1) != 1)
        return nullptr;
    if (Size == 10) {
        char Buf[10];
        if (Stream->Read(Buf, 10) == 10)
            return &TGIFUnknownAppExtension::Class;
    } else if (Size == 11) {
        char Buf[11];
        if (Stream->Read(Buf, 11) == 11) {
            const TGIFExtensionClass *Found = FindAppExtension(QByteArray(Buf, 11));
            return Found ? Found : &TGIFUnknownAppExtension::Class;
        }
    }
    Stream->Seek(Start, soBeginning);
    return &TGIFApplicationExtension::Class;
}

template <class T>
TGIFExtension *CreateExtension(TGIFSubImage *SubImage)
{
    return new T(SubImage);
}

// Sub-block strings: each data sub-block is one string; a 0 size ends them.
void ReadStrings(TStream *Stream, TStringList &Strings)
{
    Strings.Clear();
    for (;;) {
        uint8_t Size = ReadByteOrZero(Stream);
        if (Size == 0)
            break;
        QByteArray Bytes(Size, '\0');
        ReadCheck(Stream, Bytes.data(), Size);
        Strings.Add(QString::fromLatin1(Bytes));
    }
}

void WriteStrings(TStream *Stream, const TStringList &Strings)
{
    for (int I = 0; I < Strings.Count(); ++I) {
        QByteArray Bytes = Strings.Strings(I).toLatin1();
        for (qsizetype Pos = 0; Pos < Bytes.size(); Pos += 255) {
            qsizetype Len = std::min<qsizetype>(255, Bytes.size() - Pos);
            WriteByte(Stream, uint8_t(Len));
            Stream->WriteBuffer(Bytes.constData() + Pos, Len);
        }
    }
    WriteByte(Stream, 0);
}

} // namespace

// ------------------------------------------------------------ TGIFItem

TGIFLink<TGIFImage> LinkTo(const TGIFImage *Image)
{
    return Image ? Image->FAnchor.Link() : TGIFLink<TGIFImage>();
}

TGIFItem::TGIFItem(TGIFImage *GIFImage) : FGIFImage(LinkTo(GIFImage)) {}

void TGIFItem::Warning(TGIFSeverity Severity, const QString &Message)
{
    if (FGIFImage)
        FGIFImage->Warning(this, Severity, Message);
}

void TGIFItem::SaveToFile(const QString &FileName)
{
    // The file is replaced only by a complete new one.
    TMemoryStream Stream;
    SaveToStream(&Stream);
    if (!WriteFileAtomic(FileName, Stream.Bytes()))
        throw EFCreateError(CannotCreateFileText(FileName, errno));
}

void TGIFItem::LoadFromFile(const QString &FileName)
{
    TFileStream Stream(FileName, fmOpenRead | fmShareDenyWrite);
    LoadFromStream(&Stream);
}

// ------------------------------------------------------------ TGIFList

TGIFItem *TGIFList::Items(int Index) const
{
    if (Index < 0 || Index >= Count())
        throw EListError(QStringLiteral("List index out of bounds (%1)").arg(Index));
    return FItems[size_t(Index)].get();
}

void TGIFList::Take(TGIFItem *Item)
{
    // Two owners would free the item twice.
    if (Item && Item->FList)
        throw EListError(QStringLiteral("该项已属于另一个列表"));
    if (Item)
        Item->FList = this;
}

int TGIFList::Add(TGIFItem *Item)
{
    Take(Item);
    FItems.emplace_back(Item);
    return Count() - 1;
}

void TGIFList::Insert(int Index, TGIFItem *Item)
{
    if (Index < 0 || Index > Count())
        throw EListError(QStringLiteral("List index out of bounds (%1)").arg(Index));
    Take(Item);
    FItems.emplace(FItems.begin() + Index, Item);
}

void TGIFList::Delete(int Index)
{
    Items(Index);
    FItems.erase(FItems.begin() + Index);
}

void TGIFList::DeleteMarked(const std::vector<bool> &Marked)
{
    const size_t Count = std::min(Marked.size(), FItems.size());
    for (size_t I = Count; I-- > 0;)
        if (Marked[I])
            FItems[I].reset();
    size_t Kept = 0;
    for (size_t I = 0; I < FItems.size(); ++I) {
        if (I < Count && Marked[I])
            continue;
        if (Kept != I)
            FItems[Kept] = std::move(FItems[I]);
        ++Kept;
    }
    FItems.resize(Kept);
}

void TGIFList::Clear()
{
    // Free last-first so items that refer to earlier ones go first.
    while (!FItems.empty())
        FItems.pop_back();
}

int TGIFList::IndexOf(const TGIFItem *Item) const
{
    for (size_t I = 0; I < FItems.size(); ++I)
        if (FItems[I].get() == Item)
            return int(I);
    return -1;
}

// ------------------------------------------------------------ colour maps

TColor TGIFColorMap::Colors(int Index) const
{
    if (Index < 0 || Index >= FCount) {
        if (FCount == 0)
            throw GIFException(Msg(gifstr::ColorTableEmpty));
        Warning(gsWarning, Msg(gifstr::InvalidColorIndex));
        Index = 0;
    }
    const TGIFColor &C = FData[size_t(Index)];
    return TColor(C.Red | (C.Green << 8) | (C.Blue << 16));
}

void TGIFColorMap::SetCapacity(int Size)
{
    int NewCapacity = Size <= 16 ? 16 : std::min(256, (Size + 31) / 32 * 32);
    if (NewCapacity != FCapacity) {
        FCapacity = NewCapacity;
        FData.resize(size_t(FCapacity));
    }
}

int TGIFColorMap::Add(TColor Color)
{
    if (FCount >= 256)
        throw GIFException(Msg(gifstr::ColorTableOverflow));
    if (FCount >= FCapacity)
        SetCapacity(FCount + 1);
    uint32_t C = uint32_t(Color);
    FData[size_t(FCount)] = TGIFColor{uint8_t(C & 0xFF), uint8_t((C >> 8) & 0xFF), uint8_t((C >> 16) & 0xFF)};
    FOptimized = false;
    Changed();
    return FCount++;
}

void TGIFColorMap::Delete(int Index)
{
    if (Index < 0 || Index >= FCount)
        throw GIFException(Msg(gifstr::InvalidColorIndex));
    FData.erase(FData.begin() + Index);
    FData.resize(size_t(FCapacity));
    --FCount;
    FOptimized = false;
    Changed();
}

void TGIFColorMap::Clear()
{
    FData.clear();
    FCount = 0;
    FCapacity = 0;
    FOptimized = false;
    Changed();
}

int TGIFColorMap::IndexOf(TColor Color) const
{
    uint32_t C = uint32_t(Color);
    const TGIFColor Want{uint8_t(C & 0xFF), uint8_t((C >> 8) & 0xFF), uint8_t((C >> 16) & 0xFF)};
    auto Same = [&](int I) {
        const TGIFColor &E = FData[size_t(I)];
        return E.Red == Want.Red && E.Green == Want.Green && E.Blue == Want.Blue;
    };
    if (FOptimized) {
        for (int I = 0; I < FCount; ++I)
            if (Same(I))
                return I;
    } else {
        for (int I = FCount - 1; I >= 0; --I)
            if (Same(I))
                return I;
    }
    return -1;
}

int TGIFColorMap::BitsPerPixel() const
{
    if (FCount == 0)
        return 0;
    int Bits = 1;
    while ((1 << Bits) < FCount)
        ++Bits;
    return Bits;
}

void TGIFColorMap::LoadFromStream(TStream *Stream, int Count)
{
    Count = std::clamp(Count, 0, 256);
    FCount = 0;
    SetCapacity(Count);
    ReadCheck(Stream, FData.data(), qint64(Count) * 3);
    FCount = Count;
    Changed();
}

void TGIFColorMap::SaveToStream(TStream *Stream) const
{
    if (FCount == 0)
        return;
    Stream->WriteBuffer(FData.data(), qint64(FCount) * 3);
    int Padding = (1 << BitsPerPixel()) - FCount;
    if (Padding > 0) {
        std::vector<uint8_t> Zero(size_t(Padding) * 3, 0);
        Stream->WriteBuffer(Zero.data(), qint64(Zero.size()));
    }
}

void TGIFColorMap::Warning(TGIFSeverity Severity, const QString &Message) const
{
    if (FOwner)
        FOwner->Warning(Severity, Message);
}

bool TGIFColorMap::Optimize()
{
    if (FCount < 2)
        return false;
    std::vector<TGIFSubImage *> Frames = UsingFrames();
    const bool Global = dynamic_cast<TGIFGlobalColorMap *>(this) != nullptr;
    if (Global && FOwner && FOwner->Image() && FOwner->Image()->Frames().Count() == 0)
        return false;
    FOptimized = true;

    struct Use {
        int Count;
        int OldIndex;
    };
    std::vector<Use> Uses(static_cast<size_t>(FCount));
    for (int I = 0; I < FCount; ++I)
        Uses[size_t(I)] = {0, I};
    for (TGIFSubImage *Frame : Frames)
        for (uint8_t P : Frame->FData)
            if (P < FCount)
                ++Uses[P].Count;
    // The screen's background colour is shown where a frame is restored to
    // the background: then it is a use of the global table too. Its index
    // follows its entry.
    TGIFHeader *Header = Global && FOwner->Image() ? static_cast<TGIFHeader *>(FOwner) : nullptr;
    if (Header && Header->BackgroundColorIndex() < FCount) {
        bool Restored = false;
        for (int I = 0; I < FOwner->Image()->Frames().Count(); ++I) {
            TGIFGraphicControlExtension *G = FOwner->Image()->Frames()[I]->GraphicControlExtension();
            Restored = Restored || (G && G->Disposal() == 2);
        }
        if (Restored)
            ++Uses[Header->BackgroundColorIndex()].Count;
    }

    // Largest use first.
    std::function<void(int, int)> Sort = [&](int Low, int High) {
        int I = Low, J = High;
        int Pivot = Uses[size_t((Low + High) / 2)].Count;
        do {
            while (Uses[size_t(I)].Count > Pivot)
                ++I;
            while (Uses[size_t(J)].Count < Pivot)
                --J;
            if (I <= J) {
                std::swap(Uses[size_t(I)], Uses[size_t(J)]);
                ++I;
                --J;
            }
        } while (I <= J);
        if (J > Low)
            Sort(Low, J);
        if (I < High)
            Sort(I, High);
    };
    Sort(0, FCount - 1);

    bool Moved = false;
    for (int I = 0; I < FCount; ++I)
        if (Uses[size_t(I)].OldIndex != I)
            Moved = true;
    if (!Moved)
        return true;

    uint8_t Map[256];
    for (int I = 0; I < 256; ++I)
        Map[I] = uint8_t(I);
    for (int I = 0; I < FCount; ++I)
        Map[Uses[size_t(I)].OldIndex] = uint8_t(I);
    for (TGIFSubImage *Frame : Frames) {
        for (uint8_t &P : Frame->FData)
            if (P < FCount)
                P = Map[P];
        TGIFGraphicControlExtension *GCE = Frame->GraphicControlExtension();
        if (GCE && Frame->Transparent() && GCE->FGCExtension.TransparentColorIndex < FCount)
            GCE->FGCExtension.TransparentColorIndex = Map[GCE->FGCExtension.TransparentColorIndex];
    }
    int Background = -1;
    if (Header && Header->BackgroundColorIndex() < FCount)
        Background = Map[Header->BackgroundColorIndex()];
    std::vector<TGIFColor> Old(FData.begin(), FData.begin() + FCount);
    for (int I = 0; I < FCount; ++I)
        FData[size_t(I)] = Old[size_t(Uses[size_t(I)].OldIndex)];
    for (int I = 0; I < FCount; ++I)
        if (Uses[size_t(I)].Count == 0) {
            FCount = I;
            break;
        }
    if (Background >= 0)
        Header->SetBackgroundColorIndex(uint8_t(Background < FCount ? Background : 0));
    Changed();
    return true;
}

TGIFGlobalColorMap::TGIFGlobalColorMap(TGIFHeader *Header) : TGIFColorMap(Header) {}

void TGIFGlobalColorMap::Changed()
{
    if (FOwner && FOwner->Image())
        FOwner->Image()->PaletteModified();
}

std::vector<TGIFSubImage *> TGIFGlobalColorMap::UsingFrames() const
{
    std::vector<TGIFSubImage *> Result;
    TGIFImage *Image = FOwner ? FOwner->Image() : nullptr;
    if (!Image)
        return Result;
    for (int I = 0; I < Image->Frames().Count(); ++I) {
        TGIFSubImage *Frame = Image->Frames()[I];
        if (Frame->ColorMap()->Count() == 0)
            Result.push_back(Frame);
    }
    return Result;
}

TGIFLocalColorMap::TGIFLocalColorMap(TGIFSubImage *SubImage) : TGIFColorMap(SubImage) {}

void TGIFLocalColorMap::Changed()
{
    if (FOwner)
        static_cast<TGIFSubImage *>(FOwner)->FreeBitmap();
}

std::vector<TGIFSubImage *> TGIFLocalColorMap::UsingFrames() const
{
    return {static_cast<TGIFSubImage *>(FOwner)};
}

// ------------------------------------------------------------ TGIFHeader

TGIFHeader::TGIFHeader(TGIFImage *GIFImage) : TGIFItem(GIFImage), FColorMap(this) {}

void TGIFHeader::Clear()
{
    FDescriptor = TLogicalScreenDescriptor();
    FColorMap.Clear();
}

void TGIFHeader::Prepare()
{
    uint8_t Flags = 0;
    const int Largest = FGIFImage ? FGIFImage->LargestBitsPerPixel() : FColorMap.BitsPerPixel();
    if (FColorMap.Count() > 0) {
        Flags |= 0x80;
        if (FColorMap.Optimized())
            Flags |= 0x08;
    }
    Flags |= uint8_t(((Largest - 1) & 7) << 4);
    if (FColorMap.Count() > 0)
        Flags |= uint8_t((FColorMap.BitsPerPixel() - 1) & 7);
    else
        Flags |= uint8_t((Largest - 1) & 7);
    FDescriptor.PackedFields = Flags;
}

TColor TGIFHeader::BackgroundColor() const
{
    return FColorMap.Colors(FDescriptor.BackgroundColorIndex);
}

void TGIFHeader::LoadFromStream(TStream *Stream)
{
    qint64 Start = Stream->Position();
    char Sig[6];
    ReadCheck(Stream, Sig, 6);
    auto IsGIF = [&] { return QByteArray(Sig, 3).toUpper() == "GIF"; };
    if (!IsGIF()) {
        // Some files carry 4 bytes in front of the signature.
        Stream->Seek(Start + 4, soBeginning);
        ReadCheck(Stream, Sig, 6);
        if (!IsGIF())
            throw GIFException(Msg(gifstr::InvalidSignature));
    }
    uint8_t D[7];
    ReadCheck(Stream, D, 7);
    FDescriptor.ScreenWidth = GetLE16(D);
    FDescriptor.ScreenHeight = GetLE16(D + 2);
    FDescriptor.PackedFields = D[4];
    FDescriptor.BackgroundColorIndex = D[5];
    FDescriptor.AspectRatio = D[6];
    if (FDescriptor.PackedFields & 0x80)
        FColorMap.LoadFromStream(Stream, 2 << (FDescriptor.PackedFields & 7));
    else
        FColorMap.Clear();
}

void TGIFHeader::SaveToStream(TStream *Stream)
{
    // The version is the highest any frame needs; without frames there is none.
    TGIFVersion Version = gvUnknown;
    if (FGIFImage)
        for (int I = 0; I < FGIFImage->Frames().Count(); ++I)
            Version = std::max(Version, FGIFImage->Frames()[I]->GetVersion());
    if (Version == gvUnknown)
        throw GIFException(Msg(gifstr::UnsupportedVersion));
    Prepare();
    uint8_t B[13] = {'G', 'I', 'F', '8', uint8_t(Version == gv89a ? '9' : '7'), 'a'};
    PutLE16(B + 6, FDescriptor.ScreenWidth);
    PutLE16(B + 8, FDescriptor.ScreenHeight);
    B[10] = FDescriptor.PackedFields;
    B[11] = FDescriptor.BackgroundColorIndex;
    B[12] = FDescriptor.AspectRatio;
    Stream->WriteBuffer(B, 13);
    if (FDescriptor.PackedFields & 0x80)
        FColorMap.SaveToStream(Stream);
}

// ------------------------------------------------------------ extensions

TGIFExtension::TGIFExtension(TGIFSubImage *SubImage)
    : TGIFItem(SubImage ? SubImage->Image() : nullptr), FSubImage(SubImage ? SubImage->Link() : TGIFLink<TGIFSubImage>())
{
}

const TGIFExtensionClass *TGIFExtension::FindExtension(TStream *Stream)
{
    qint64 Start = Stream->Position();
    uint8_t Label = 0;
    const TGIFExtensionClass *Class = nullptr;
    if (Stream->Read(&Label, 1) == 1) {
        // Any label is a valid extension: what no class reads is kept as it is.
        Class = FindByLabel(Label);
        if (!Class)
            Class = &TGIFUnknownExtension::Class;
        while (Class) {
            const TGIFExtensionClass *Next = Class->Resolve(Stream);
            if (Next == Class)
                break;
            Class = Next;
        }
    }
    Stream->Seek(Start, soBeginning);
    return Class;
}

void TGIFExtension::LoadFromStream(TStream *Stream)
{
    if (ReadByteOrZero(Stream) != '!')
        throw GIFException(Msg(gifstr::InvalidExtensionIntroducer));
    if (ReadByteOrZero(Stream) != GetExtensionType())
        throw GIFException(Msg(gifstr::ExtensionMismatch));
    LoadData(Stream);
}

void TGIFExtension::SaveToStream(TStream *Stream)
{
    WriteByte(Stream, '!');
    WriteByte(Stream, GetExtensionType());
    SaveData(Stream);
}

// Graphic control

const TGIFExtensionClass TGIFGraphicControlExtension::Class = {
    0xF9, "TGIFGraphicControlExtension", &CreateExtension<TGIFGraphicControlExtension>,
    [](TStream *S) { return ResolveSelf(&TGIFGraphicControlExtension::Class, S); }};

TGIFGraphicControlExtension::TGIFGraphicControlExtension(TGIFSubImage *SubImage) : TGIFExtension(SubImage)
{
    if (SubImage && !SubImage->FGCE)
        SubImage->FGCE = this;
}

TGIFGraphicControlExtension::~TGIFGraphicControlExtension()
{
    if (FSubImage && FSubImage->FGCE == this)
        FSubImage->FGCE = nullptr;
}

void TGIFGraphicControlExtension::SetDisposal(int Value)
{
    FGCExtension.PackedFields = uint8_t((FGCExtension.PackedFields & ~0x1C) | ((Value << 2) & 0x1C));
}

void TGIFGraphicControlExtension::SetTransparent(bool Value)
{
    FGCExtension.PackedFields = uint8_t(Value ? FGCExtension.PackedFields | 0x01 : FGCExtension.PackedFields & ~0x01);
}

void TGIFGraphicControlExtension::SetUserInput(bool Value)
{
    FGCExtension.PackedFields = uint8_t(Value ? FGCExtension.PackedFields | 0x02 : FGCExtension.PackedFields & ~0x02);
}

void TGIFGraphicControlExtension::SetTransparentColorIndex(int Value)
{
    int Count = FSubImage ? FSubImage->ActiveColorMap()->Count() : 0;
    if (Count > 0 && (Value < 0 || Value >= Count)) {
        Warning(gsWarning, Msg(gifstr::InvalidColorIndex));
        Value = 0;
    }
    FGCExtension.TransparentColorIndex = uint8_t(Value);
}

TColor TGIFGraphicControlExtension::TransparentColor() const
{
    TGIFSubImage *Frame = FSubImage;
    if (!Frame)
        return clNone;   // no frame, no colour table
    return Frame->ActiveColorMap()->Colors(FGCExtension.TransparentColorIndex);
}

void TGIFGraphicControlExtension::LoadData(TStream *Stream)
{
    // The block is read by the size it states, not as the 4 bytes it ought
    // to hold: a writer may state more or fewer, and the next block begins
    // where this one says it ends. The fields it holds are taken and the rest
    // are 0; a transparency flag without the index it needs counts for
    // nothing. Sub-blocks after it, up to the terminator, carry nothing we
    // read. The extension is written back as the standard 4-byte block.
    FGCExtension = TGCExtensionRec();
    uint8_t Size = 0;
    if (Stream->Read(&Size, 1) != 1) {
        Warning(gsWarning, Msg(gifstr::PrematureEnd));
        return;
    }
    if (Size == 0)
        return;   // no block at all: that byte ended the extension
    uint8_t B[255] = {};
    const qint64 Got = std::max<qint64>(Stream->Read(B, Size), 0);
    FGCExtension.PackedFields = B[0];
    FGCExtension.DelayTime = GetLE16(B + 1);
    FGCExtension.TransparentColorIndex = B[3];
    if (Got < 4)
        FGCExtension.PackedFields &= uint8_t(~0x01);
    bool Ended = Got < Size;
    for (uint8_t Count = 0; !Ended;) {
        if (Stream->Read(&Count, 1) != 1)
            Ended = true;
        else if (Count == 0)
            break;
        else
            Ended = Stream->Read(B, Count) != Count;
    }
    if (Ended)
        Warning(gsWarning, Msg(gifstr::PrematureEnd));
    if ((FGCExtension.PackedFields & 0x01) && FSubImage)
        FSubImage->FTransparent = true;
}

void TGIFGraphicControlExtension::SaveData(TStream *Stream)
{
    uint8_t B[6] = {FGCExtension.BlockSize, FGCExtension.PackedFields, 0, 0,
                    FGCExtension.TransparentColorIndex, FGCExtension.Terminator};
    PutLE16(B + 2, FGCExtension.DelayTime);
    Stream->WriteBuffer(B, 6);
}

// Plain text

const TGIFExtensionClass TGIFTextExtension::Class = {
    0x01, "TGIFTextExtension", &CreateExtension<TGIFTextExtension>,
    [](TStream *S) { return ResolveSelf(&TGIFTextExtension::Class, S); }};

void TGIFTextExtension::LoadData(TStream *Stream)
{
    // The first block is read by the size it states: a writer may put more
    // or fewer bytes in it than the 12 the extension uses, and the text
    // follows it all the same. Fields the block does not hold are 0; bytes
    // past the 12 are kept, so the extension is written back as it came.
    uint8_t Size = 0;
    ReadCheck(Stream, &Size, 1);
    QByteArray Block(Size, '\0');
    ReadCheck(Stream, Block.data(), Size);
    uint8_t B[12] = {};
    std::memcpy(B, Block.constData(), std::min<size_t>(Size, sizeof B));
    FPlainTextExtension.BlockSize = Size;
    FPlainTextExtension.Left = GetLE16(B);
    FPlainTextExtension.Top = GetLE16(B + 2);
    FPlainTextExtension.Width = GetLE16(B + 4);
    FPlainTextExtension.Height = GetLE16(B + 6);
    FPlainTextExtension.CellWidth = B[8];
    FPlainTextExtension.CellHeight = B[9];
    FPlainTextExtension.TextFGColorIndex = B[10];
    FPlainTextExtension.TextBGColorIndex = B[11];
    FBlockRest = Block.mid(int(sizeof B));
    ReadStrings(Stream, FText);
}

void TGIFTextExtension::SaveData(TStream *Stream)
{
    uint8_t B[12];
    PutLE16(B, FPlainTextExtension.Left);
    PutLE16(B + 2, FPlainTextExtension.Top);
    PutLE16(B + 4, FPlainTextExtension.Width);
    PutLE16(B + 6, FPlainTextExtension.Height);
    B[8] = FPlainTextExtension.CellWidth;
    B[9] = FPlainTextExtension.CellHeight;
    B[10] = FPlainTextExtension.TextFGColorIndex;
    B[11] = FPlainTextExtension.TextBGColorIndex;
    const uint8_t Size = FPlainTextExtension.BlockSize;
    WriteByte(Stream, Size);
    Stream->WriteBuffer(B, std::min<qint64>(Size, qint64(sizeof B)));
    if (Size > sizeof B)
        Stream->WriteBuffer(FBlockRest.constData(), Size - qint64(sizeof B));
    WriteStrings(Stream, FText);
}

// Comment

const TGIFExtensionClass TGIFCommentExtension::Class = {
    0xFE, "TGIFCommentExtension", &CreateExtension<TGIFCommentExtension>,
    [](TStream *S) { return ResolveSelf(&TGIFCommentExtension::Class, S); }};

void TGIFCommentExtension::LoadData(TStream *Stream)
{
    ReadStrings(Stream, FText);
}

void TGIFCommentExtension::SaveData(TStream *Stream)
{
    WriteStrings(Stream, FText);
}

// Application

const TGIFExtensionClass TGIFApplicationExtension::Class = {
    0xFF, "TGIFApplicationExtension", &CreateExtension<TGIFApplicationExtension>, &ResolveApplication};

TGIFApplicationExtension::TGIFApplicationExtension(TGIFSubImage *SubImage) : TGIFExtension(SubImage) {}

QByteArray TGIFApplicationExtension::Identifier() const
{
    return QByteArray(reinterpret_cast<const char *>(FIdent.data()), int(FIdent.size()));
}

void TGIFApplicationExtension::SetIdentifier(const QByteArray &Value)
{
    FIdent.fill(0);
    FBlockSize = 11;
    std::memcpy(FIdent.data(), Value.constData(), size_t(std::min<qsizetype>(Value.size(), 11)));
}

void TGIFApplicationExtension::LoadData(TStream *Stream)
{
    uint8_t Size = ReadByteOrZero(Stream);
    if (Size < 10)
        throw GIFException(Msg(gifstr::UnsupportedAppBlockSize));
    if (Size == 10)
        FIdent.fill(0);
    FBlockSize = Size == 10 ? 10 : 11;
    ReadCheck(Stream, FIdent.data(), 11);
    // A 10-byte block has read the first sub-block's size too: step back;
    // a longer block has bytes we do not keep.
    if (Size == 10)
        Stream->Seek(-1, soCurrent);
    else
        SkipBytes(Stream, Size - 11);
    LoadApplicationData(Stream);
}

void TGIFApplicationExtension::SaveData(TStream *Stream)
{
    WriteByte(Stream, FBlockSize);
    Stream->WriteBuffer(FIdent.data(), FBlockSize);
    SaveApplicationData(Stream);
}

void TGIFApplicationExtension::LoadApplicationData(TStream *Stream)
{
    // Data nobody interprets: skip it so the next block is found.
    SkipSubBlocks(Stream);
}

void TGIFApplicationExtension::SaveApplicationData(TStream *Stream)
{
    WriteByte(Stream, 0);
}

void TGIFBlock::SaveToStream(TStream *Stream) const
{
    WriteByte(Stream, uint8_t(FData.size()));
    Stream->WriteBuffer(FData.constData(), FData.size());
}

// Animation loop

const TGIFExtensionClass TGIFAppExtNSLoop::Class = {
    0xFF, "TGIFAppExtNSLoop", &CreateExtension<TGIFAppExtNSLoop>,
    [](TStream *S) { return ResolveSelf(&TGIFAppExtNSLoop::Class, S); }};

TGIFAppExtNSLoop::TGIFAppExtNSLoop(TGIFSubImage *SubImage) : TGIFApplicationExtension(SubImage)
{
    SetIdentifier(QByteArray("NETSCAPE2.0"));
}

void TGIFAppExtNSLoop::LoadApplicationData(TStream *Stream)
{
    uint8_t Size = ReadByteOrZero(Stream);
    while (Size != 0) {
        int Left = Size;
        uint8_t Id = ReadByteOrZero(Stream);
        --Left;
        if ((Id & 7) == 1) {
            if (Left < 2)
                throw GIFException(Msg(gifstr::InvalidData));
            uint8_t B[2];
            ReadCheck(Stream, B, 2);
            FLoops = GetLE16(B);
            Left -= 2;
        } else if ((Id & 7) == 2) {
            if (Left < 4)
                throw GIFException(Msg(gifstr::InvalidData));
            uint8_t B[4];
            ReadCheck(Stream, B, 4);
            FBufferSize = GetLE32(B);
            Left -= 4;
        }
        SkipBytes(Stream, Left);
        Size = ReadByteOrZero(Stream);
    }
}

void TGIFAppExtNSLoop::SaveApplicationData(TStream *Stream)
{
    uint8_t B[6] = {3, 1, 0, 0, 0, 0};
    PutLE16(B + 2, FLoops);
    Stream->WriteBuffer(B, 4);
    if (FBufferSize != 0) {
        B[0] = 5;
        B[1] = 2;
        PutLE32(B + 2, FBufferSize);
        Stream->WriteBuffer(B, 6);
    }
    WriteByte(Stream, 0);
}

// Unregistered application extensions

const TGIFExtensionClass TGIFUnknownAppExtension::Class = {
    0xFF, "TGIFUnknownAppExtension", &CreateExtension<TGIFUnknownAppExtension>,
    [](TStream *S) { return ResolveSelf(&TGIFUnknownAppExtension::Class, S); }};

void TGIFUnknownAppExtension::LoadApplicationData(TStream *Stream)
{
    FBlocks.clear();
    uint8_t Size = 0;
    while (Stream->Read(&Size, 1) == 1 && Size != 0) {
        QByteArray Data(Size, '\0');
        qint64 Got = Stream->Read(Data.data(), Size);
        if (Got < Size) {
            // A cut block keeps what is there and ends the data.
            Data.truncate(qsizetype(std::max<qint64>(Got, 0)));
            FBlocks.push_back(std::make_unique<TGIFBlock>(Data));
            break;
        }
        FBlocks.push_back(std::make_unique<TGIFBlock>(Data));
    }
}

void TGIFUnknownAppExtension::SaveApplicationData(TStream *Stream)
{
    for (const auto &Block : FBlocks)
        Block->SaveToStream(Stream);
    WriteByte(Stream, 0);
}

// Extensions of unregistered labels

// The label is the one read, so the class's own label is never compared.
const TGIFExtensionClass TGIFUnknownExtension::Class = {
    0x00, "TGIFUnknownExtension", &CreateExtension<TGIFUnknownExtension>,
    [](TStream *S) { return ResolveSelf(&TGIFUnknownExtension::Class, S); }};

void TGIFUnknownExtension::LoadFromStream(TStream *Stream)
{
    if (ReadByteOrZero(Stream) != '!')
        throw GIFException(Msg(gifstr::InvalidExtensionIntroducer));
    FLabel = ReadByteOrZero(Stream);
    LoadData(Stream);
}

void TGIFUnknownExtension::LoadData(TStream *Stream)
{
    // Kept in one piece: memory follows the bytes the file holds, however
    // small its sub-blocks. A block cut by the end of the data keeps what is
    // there, with its size byte made to match.
    FData.clear();
    uint8_t Size = 0;
    while (Stream->Read(&Size, 1) == 1 && Size != 0) {
        const qsizetype At = FData.size();
        FData.resize(At + 1 + Size);
        const qint64 Got = std::max<qint64>(Stream->Read(FData.data() + At + 1, Size), 0);
        FData[At] = char(uint8_t(Got));
        if (Got < Size) {
            FData.truncate(At + (Got > 0 ? 1 + Got : 0));
            break;
        }
    }
}

void TGIFUnknownExtension::SaveData(TStream *Stream)
{
    Stream->WriteBuffer(FData.constData(), FData.size());
    WriteByte(Stream, 0);
}

// Extension list

TGIFExtensionList::TGIFExtensionList(TGIFSubImage *SubImage) : TGIFList(SubImage ? SubImage->Image() : nullptr) {}

void TGIFExtensionList::LoadFromStream(TStream *Stream, TGIFSubImage *Parent)
{
    uint8_t B = 0;
    if (Stream->Read(&B, 1) != 1)
        return;
    while (B != ',') {
        if (B != '!') {
            Parent->Warning(gsWarning, Msg(gifstr::InvalidExtensionIntroducer));
            break;
        }
        const TGIFExtensionClass *Class = TGIFExtension::FindExtension(Stream);
        if (!Class)
            throw GIFException(Msg(gifstr::UnknownExtensionType));
        Stream->Seek(-1, soCurrent);
        std::unique_ptr<TGIFExtension> Extension(Class->Create(Parent));
        Extension->LoadFromStream(Stream);
        Add(Extension.release());
        // Zero bytes after an extension are skipped as between frames: a
        // graphic control block stating size 0 is often followed by a stray
        // 0, and the frame it belongs to comes after that.
        do {
            if (Stream->Read(&B, 1) != 1)
                return;
        } while (B == 0);
    }
    Stream->Seek(-1, soCurrent);
}

// ------------------------------------------------------------ TGIFSubImage

TGIFSubImage::TGIFSubImage(TGIFImage *GIFImage)
    : TGIFItem(GIFImage), FCountedIn(LinkTo(GIFImage)), FLocalPalette(this), FExtensions(this)
{
}

TGIFSubImage::~TGIFSubImage()
{
    FExtensions.Clear();
    ReleaseData();
}

TGIFVersion TGIFSubImage::GetVersion() const
{
    if (FLocalPalette.Count() > 0 && FLocalPalette.Optimized())
        return gv89a;
    for (int I = 0; I < FExtensions.Count(); ++I)
        if (FExtensions.Items(I)->GetVersion() > gv87a)
            return gv89a;
    return gv87a;
}

void TGIFSubImage::Clear()
{
    FExtensions.Clear();
    FLocalPalette.Clear();
    ReleaseData();
    FImageDescriptor.Left = FImageDescriptor.Top = 0;
    FImageDescriptor.Width = FImageDescriptor.Height = 0;
    FTransparent = false;
    FGCE = nullptr;
    FreeBitmap();
}

bool TGIFSubImage::Empty() const
{
    return FData.empty() || Width() == 0 || Height() == 0;
}

TGIFColorMap *TGIFSubImage::ActiveColorMap()
{
    if (FLocalPalette.Count() > 0 || !FGIFImage)
        return &FLocalPalette;
    return FGIFImage->GlobalColorMap();
}

void TGIFSubImage::CheckBounds(int64_t W, int64_t H) const
{
    int64_t Pixels = W * H;
    if (W < 0 || H < 0 || Pixels > GIFMaxFramePixels)
        throw GIFException(Msg(gifstr::InvalidImageDimensions));
    if (FCountedIn && FCountedIn->FPixelTotal - int64_t(FData.size()) + Pixels > GIFMaxImagePixels)
        throw GIFException(Msg(gifstr::InvalidImageDimensions));
}

void TGIFSubImage::SetData(std::vector<uint8_t> &&Data)
{
    if (FCountedIn)
        FCountedIn->FPixelTotal += int64_t(Data.size()) - int64_t(FData.size());
    FData = std::move(Data);
}

void TGIFSubImage::NewImage()
{
    CheckBounds(Width(), Height());
    SetData(std::vector<uint8_t>(size_t(int64_t(Width()) * Height()), 0));
    FreeBitmap();
}

uint8_t *TGIFSubImage::RowData(int y)
{
    if (FData.empty())
        NewImage();
    if (FData.empty())
        throw GIFException(Msg(gifstr::ImageEmpty));
    if (y < 0 || y >= Height())
        throw GIFException(Msg(gifstr::InvalidPixelCoordinates));
    return FData.data() + size_t(y) * size_t(Width());
}

uint8_t TGIFSubImage::Pixels(int x, int y)
{
    uint8_t *Row = RowData(y);
    if (x < 0 || x >= Width())
        throw GIFException(Msg(gifstr::InvalidPixelCoordinates));
    return Row[x];
}

void TGIFSubImage::SetPixels(int x, int y, uint8_t Value)
{
    uint8_t *Row = RowData(y);
    if (x < 0 || x >= Width())
        throw GIFException(Msg(gifstr::InvalidPixelCoordinates));
    Row[x] = Value;
    FreeBitmap();
}

void TGIFSubImage::SetInterlaced(bool Value)
{
    FImageDescriptor.PackedFields =
        uint8_t(Value ? FImageDescriptor.PackedFields | 0x40 : FImageDescriptor.PackedFields & ~0x40);
}

TRect TGIFSubImage::BoundsRect() const
{
    return TRect(Left(), Top(), Left() + Width(), Top() + Height());
}

void TGIFSubImage::SetLeft(int Value)
{
    SetDescriptorBounds(Value, Top(), Width(), Height());
}

void TGIFSubImage::SetTop(int Value)
{
    SetDescriptorBounds(Left(), Value, Width(), Height());
}

void TGIFSubImage::SetWidth(int Value)
{
    SetDescriptorBounds(Left(), Top(), Value, Height());
}

void TGIFSubImage::SetHeight(int Value)
{
    SetDescriptorBounds(Left(), Top(), Width(), Value);
}

void TGIFSubImage::SetBoundsRect(const TRect &Value)
{
    SetDescriptorBounds(Value.Left, Value.Top, Value.Right - Value.Left, Value.Bottom - Value.Top);
}

void TGIFSubImage::SetDescriptorBounds(int L, int T, int W, int H)
{
    L = std::clamp(L, 0, 0xFFFF);
    T = std::clamp(T, 0, 0xFFFF);
    W = std::clamp(W, 0, 0xFFFF);
    H = std::clamp(H, 0, 0xFFFF);
    if (W != Width() || H != Height()) {
        CheckBounds(W, H);
        FImageDescriptor.Width = uint16_t(W);
        FImageDescriptor.Height = uint16_t(H);
        SetData(std::vector<uint8_t>(size_t(int64_t(W) * H), 0));
        FreeBitmap();
    }
    FImageDescriptor.Left = uint16_t(L);
    FImageDescriptor.Top = uint16_t(T);
    if (!FGIFImage)
        return;
    // A frame outside the logical screen enlarges it.
    TGIFHeader &Header = FGIFImage->Header();
    bool SizeWasSet = Header.Width() > 0 && Header.Height() > 0;
    bool Grew = false;
    if (L + W > Header.Width()) {
        if (SizeWasSet) {
            Warning(gsWarning, Msg(gifstr::WidthTooSmall));
            Grew = true;
        }
        Header.SetWidth(std::min(L + W, 0xFFFF));
    }
    if (T + H > Header.Height()) {
        if (SizeWasSet) {
            Warning(gsWarning, Msg(gifstr::HeightTooSmall));
            Grew = true;
        }
        Header.SetHeight(std::min(T + H, 0xFFFF));
    }
    if (Grew)
        Warning(gsWarning, Msg(gifstr::ExceedsScreen));
    FGIFImage->FrameBoundsChanged(this);
}

void TGIFSubImage::LoadFromStream(TStream *Stream)
{
    Clear();
    FExtensions.LoadFromStream(Stream, this);

    uint8_t Next = 0;
    if (Stream->Read(&Next, 1) != 1)
        return;
    Stream->Seek(-1, soCurrent);
    if (Next == ';' || Next == 0)
        return;

    uint8_t D[10];
    ReadCheck(Stream, D, 10);
    FImageDescriptor.Separator = D[0];
    FImageDescriptor.Left = GetLE16(D + 1);
    FImageDescriptor.Top = GetLE16(D + 3);
    FImageDescriptor.Width = GetLE16(D + 5);
    FImageDescriptor.Height = GetLE16(D + 7);
    FImageDescriptor.PackedFields = D[9];

    if (FGIFImage) {
        TGIFHeader &Header = FGIFImage->Header();
        if (Width() == 0 || Height() == 0) {
            FImageDescriptor.Width = uint16_t(Header.Width());
            FImageDescriptor.Height = uint16_t(Header.Height());
            Warning(gsWarning, Msg(gifstr::ExceedsScreen));
        }
        // A screen without a size takes the size of its frames.
        if (Header.Width() == 0 || Header.Height() == 0) {
            int W = std::min(std::max(Header.Width(), Left() + Width()), 0xFFFF);
            int H = std::min(std::max(Header.Height(), Top() + Height()), 0xFFFF);
            if (W != Header.Width() || H != Header.Height()) {
                Header.SetWidth(W);
                Header.SetHeight(H);
                Warning(gsWarning, Msg(gifstr::ExceedsScreen));
            }
        }
    }
    if (FImageDescriptor.PackedFields & 0x80)
        FLocalPalette.LoadFromStream(Stream, 2 << (FImageDescriptor.PackedFields & 7));
    Decompress(Stream);
}

void TGIFSubImage::Decompress(TStream *Stream)
{
    CheckBounds(Width(), Height());
    FreeBitmap();
    // A large frame whose data could not fill it even at the best compression
    // LZW allows is refused before its buffer exists: a few bytes claiming a
    // huge frame must not cost the memory of one.
    const int64_t Pixels = int64_t(Width()) * Height();
    if (Pixels > GIFLargeFramePixels) {
        const int64_t Left = std::max<int64_t>(Stream->Size() - Stream->Position() - 1, 0);
        if (Pixels > MaxDecodablePixels(Left)) {
            ReleaseData();
            Warning(gsWarning, Msg(gifstr::PrematureEnd));
            ReadByteOrZero(Stream);   // the code size
            SkipSubBlocks(Stream);
            return;
        }
    }
    uint8_t Fill = (FTransparent && FGCE) ? FGCE->TransparentColorIndex() : 0;
    SetData(std::vector<uint8_t>(size_t(Pixels), Fill));
    DecodeFramePixels(Stream, FData.data(), Width(), Height(), Interlaced(),
                      [this](const QString &Message) { Warning(gsWarning, Message); });
}

void TGIFSubImage::SaveToStream(TStream *Stream)
{
    for (int I = 0; I < FExtensions.Count(); ++I)
        FExtensions.Items(I)->SaveToStream(Stream);
    if (Empty())
        return;
    uint8_t &Flags = FImageDescriptor.PackedFields;
    if (FLocalPalette.Count() > 0)
        Flags = uint8_t((FLocalPalette.Optimized() ? 0xA0 : 0x80) | ((FLocalPalette.BitsPerPixel() - 1) & 7)
                        | (Flags & 0x40));
    else
        Flags &= 0x58;
    uint8_t D[10];
    D[0] = FImageDescriptor.Separator;
    PutLE16(D + 1, FImageDescriptor.Left);
    PutLE16(D + 3, FImageDescriptor.Top);
    PutLE16(D + 5, FImageDescriptor.Width);
    PutLE16(D + 7, FImageDescriptor.Height);
    D[9] = Flags;
    Stream->WriteBuffer(D, 10);
    FLocalPalette.SaveToStream(Stream);

    // The code size follows the frame's table, or the largest of the image.
    int Bits = FLocalPalette.BitsPerPixel();
    int Colors = FLocalPalette.Count();
    if (Colors == 0) {
        Bits = FGIFImage ? FGIFImage->LargestBitsPerPixel() : 0;
        Colors = 1 << Bits;
    }
    CompressFrame(Stream, FGIFImage ? FGIFImage->Compression() : 0, Bits, Colors, Width(), Height(), Interlaced(),
                  FData.data());
}

// ------------------------------------------------------------ frame list

void TGIFImageList::LoadFromStream(TStream *Stream)
{
    const qint64 Size = Stream->Size();
    uint8_t B = 0;
    auto SkipZeros = [&] {
        do {
            if (Stream->Read(&B, 1) != 1)
                return false;
        } while (B == 0);
        return true;
    };
    if (!SkipZeros())
        return;
    for (;;) {
        if (B == ';') {
            Stream->Seek(-1, soCurrent);
            return;
        }
        Stream->Seek(-1, soCurrent);
        if (B != '!' && B != ',') {
            if (FImage)
                FImage->Warning(FImage, gsWarning, Msg(gifstr::UnknownBlockType));
            Stream->Seek(-1, soCurrent);
            return;
        }
        auto Frame = std::make_unique<TGIFSubImage>(FImage);
        Frame->LoadFromStream(Stream);
        Add(Frame.release());
        if (FImage && Size > 0)
            FImage->ProgressReport(psRunning, int(Stream->Position() * 100 / Size), Msg(gifstr::Loading));
        if (!SkipZeros())
            return;
    }
}

// ------------------------------------------------------------ TGIFTrailer

void TGIFTrailer::LoadFromStream(TStream *Stream)
{
    uint8_t B = 0;
    if (Stream->Read(&B, 1) == 1 && B != ';')
        Warning(gsWarning, Msg(gifstr::InvalidTrailer));
}

void TGIFTrailer::SaveToStream(TStream *Stream)
{
    WriteByte(Stream, ';');
}
