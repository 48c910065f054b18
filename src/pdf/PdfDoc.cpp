#include "pdf/PdfDoc.h"

#include "pdf/detail/PdfFontRegistry.h"
#include "pdf/detail/PdfScratch.h"

#include <QMap>
#include <charconv>
#include <cmath>
#include <cstring>

namespace {

const char *const PageLayoutNames[] = {"SinglePage", "OneColumn", "TwoColumnLeft", "TwoColumnRight"};
const char *const PageModeNames[] = {"UseNone", "UseOutlines", "UseThumbs", "FullScreen"};
const char *const DestinationTypeNames[] = {"XYZ", "Fit", "FitH", "FitV", "FitR", "FitB", "FitBH", "FitBV"};

struct ViewerPreferenceKey {
    TPdfViewerPreference Flag;
    const char *Key;
};
const ViewerPreferenceKey ViewerPreferenceKeys[] = {
    {vpHideToolbar, "HideToolbar"},   {vpHideMenubar, "HideMenubar"},   {vpHideWindowUI, "HideWindowUI"},
    {vpFitWindow, "FitWindow"},       {vpCenterWindow, "CenterWindow"},
};

const char Producer[] = "QuillPdf version 0.9";

// Collects the small writes of the serialiser into large ones, and counts the
// bytes written so that offsets need no position query of the target. A write
// that would overflow the buffer fills it up first, so the target only ever
// sees whole buffers (and, with large bodies, the bodies themselves).
class BufferedWriter : public TStream {
public:
    explicit BufferedWriter(TStream *ATarget) : FTarget(ATarget), FBuffer(new char[BufferSize]) {}
    ~BufferedWriter() override = default;

    qint64 Read(void *, qint64) override { return 0; }
    qint64 Write(const void *Buffer, qint64 Count) override
    {
        if (Count <= 0)
            return 0;
        const char *Data = static_cast<const char *>(Buffer);
        if (Count <= BufferSize - FUsed) {
            std::memcpy(FBuffer.get() + FUsed, Data, size_t(Count));
            FUsed += Count;
        } else if (Count < BufferSize) {
            const qint64 Part = BufferSize - FUsed;
            std::memcpy(FBuffer.get() + FUsed, Data, size_t(Part));
            FUsed = BufferSize;
            Flush();
            std::memcpy(FBuffer.get(), Data + Part, size_t(Count - Part));
            FUsed = Count - Part;
        } else {
            Flush();
            FTarget->WriteBuffer(Data, Count);
        }
        FWritten += Count;
        return Count;
    }
    qint64 Seek(qint64 Offset, TSeekOrigin Origin) override
    {
        if (Offset == 0 && Origin != soBeginning)
            return FWritten;
        throw EPdfInvalidOperation(QStringLiteral("SaveToStream --the output cannot seek."));
    }
    qint64 Size() override { return FWritten; }
    qint64 Written() const { return FWritten; }
    void Flush()
    {
        if (FUsed > 0) {
            FTarget->WriteBuffer(FBuffer.get(), FUsed);
            FUsed = 0;
        }
    }

private:
    static constexpr qint64 BufferSize = 1024 * 1024;
    TStream *FTarget;
    std::unique_ptr<char[]> FBuffer;
    qint64 FUsed = 0;
    qint64 FWritten = 0;
};

// The 20-byte line of a cross-reference entry ("oooooooooo ggggg n\r\n" for the usual one-letter type).
char *XrefLine(char *Out, qint64 Offset, int Generation, const QByteArray &EntryType)
{
    auto Padded = [](char *P, long long Value, int Width) {
        char Digits[24];
        char *End = std::to_chars(Digits, Digits + sizeof Digits, Value).ptr;
        const int Count = int(End - Digits);
        for (int I = Count; I < Width; ++I)
            *P++ = '0';
        std::memcpy(P, Digits, size_t(Count));
        return P + Count;
    };
    Out = Padded(Out, Offset < 0 ? 0 : Offset, 10);
    *Out++ = ' ';
    Out = Padded(Out, Generation, 5);
    *Out++ = ' ';
    std::memcpy(Out, EntryType.constData(), size_t(EntryType.size()));
    Out += EntryType.size();
    *Out++ = '\r';
    *Out++ = '\n';
    return Out;
}

} // namespace

QByteArray PdfPageLayoutName(TPdfPageLayout Value)
{
    return PageLayoutNames[Value];
}

QByteArray PdfPageModeName(TPdfPageMode Value)
{
    return PageModeNames[Value];
}

// ---------------------------------------------------------------- xref

TPdfXrefEntry::TPdfXrefEntry(TPdfObject *AValue)
    : FValue(AValue)
{
    EntryType = AValue ? QByteArrayLiteral("n") : QByteArrayLiteral("f");
    GenerationNumber = AValue ? 0 : 65535;
}

TPdfXrefEntry::~TPdfXrefEntry() = default;

QByteArray TPdfXrefEntry::AsString() const
{
    QByteArray Line(EntryType.size() + 40, Qt::Uninitialized);
    Line.truncate(XrefLine(Line.data(), ByteOffset, GenerationNumber, EntryType) - Line.constData());
    return Line;
}

TPdfXref::TPdfXref()
{
    FXrefEntries.push_back(std::make_unique<TPdfXrefEntry>(nullptr));
}

TPdfXref::~TPdfXref() = default;

void TPdfXref::AddObject(TPdfObject *AObject)
{
    if (!AObject || AObject->ObjectType() != otDirectObject)
        throw EPdfInvalidOperation(QStringLiteral("AddObject --wrong object type."));
    FXrefEntries.push_back(std::make_unique<TPdfXrefEntry>(AObject));
    AObject->SetObjectNumber(int(FXrefEntries.size()) - 1);
}

TPdfObject *TPdfXref::ObjectByNumber(int ObjectID) const
{
    if (ObjectID < 0 || ObjectID >= int(FXrefEntries.size()))
        return nullptr;
    return FXrefEntries[size_t(ObjectID)]->Value();
}

void TPdfHeader::WriteToStream(TStream *AStream)
{
    WriteText("%PDF-1.2 \r\n", AStream);
}

TPdfTrailer::TPdfTrailer(TPdfObjectMgr *AObjectMgr)
    : FAttributes(std::make_unique<TPdfDictionary>(AObjectMgr))
{
    FAttributes->Put("Size", new TPdfNumber(0));
}

TPdfTrailer::~TPdfTrailer() = default;

void TPdfTrailer::WriteToStream(TStream *AStream)
{
    WriteText("trailer\r\n", AStream);
    FAttributes->WriteAsValue(AStream);
    WriteText("\r\nstartxref\r\n" + QByteArray::number(XrefAddress) + "\r\n%%EOF\r\n", AStream);
}

// ---------------------------------------------------------------- info

void TPdfInfo::SetAuthor(const QString &Value)
{
    Data()->Put("Author", new TPdfText(Value));
}

void TPdfInfo::SetCreator(const QString &Value)
{
    Data()->Put("Creator", new TPdfText(Value));
}

void TPdfInfo::SetTitle(const QString &Value)
{
    Data()->Put("Title", new TPdfText(Value));
}

void TPdfInfo::SetSubject(const QString &Value)
{
    Data()->Put("Subject", new TPdfText(Value));
}

void TPdfInfo::SetKeywords(const QString &Value)
{
    Data()->Put("Keywords", new TPdfText(Value));
}

void TPdfInfo::SetCreationDate(TDateTime Value)
{
    Data()->Put("CreationDate", new TPdfText(PdfDate(Value)));
}

void TPdfInfo::SetModDate(TDateTime Value)
{
    Data()->Put("ModDate", new TPdfText(PdfDate(Value)));
}

QString TPdfInfo::TextOf(const QByteArray &Key) const
{
    const TPdfText *Text = Data()->PdfTextByName(Key);
    return Text ? Text->Text() : QString();
}

QString TPdfInfo::Author() const { return TextOf("Author"); }
QString TPdfInfo::Creator() const { return TextOf("Creator"); }
QString TPdfInfo::Title() const { return TextOf("Title"); }
QString TPdfInfo::Subject() const { return TextOf("Subject"); }
QString TPdfInfo::Keywords() const { return TextOf("Keywords"); }

// ---------------------------------------------------------------- catalog

namespace {

template <class E, size_t N>
E EnumByName(const TPdfName *Name, const char *const (&Names)[N], E Default)
{
    if (Name)
        for (size_t I = 0; I < N; ++I)
            if (Name->Value() == Names[I])
                return E(I);
    return Default;
}

void PutOrReplaceName(TPdfDictionary *Dict, const QByteArray &Key, const QByteArray &Value)
{
    if (TPdfName *Name = Dict->PdfNameByName(Key))
        Name->SetValue(Value);
    else
        Dict->Put(Key, new TPdfName(Value));
}

} // namespace

TPdfPageLayout TPdfCatalog::PageLayout() const
{
    return EnumByName(Data()->PdfNameByName("PageLayout"), PageLayoutNames, plSinglePage);
}

void TPdfCatalog::SetPageLayout(TPdfPageLayout Value)
{
    PutOrReplaceName(Data(), "PageLayout", PageLayoutNames[Value]);
}

TPdfPageMode TPdfCatalog::PageMode() const
{
    return EnumByName(Data()->PdfNameByName("PageMode"), PageModeNames, pmUseNone);
}

void TPdfCatalog::SetPageMode(TPdfPageMode Value)
{
    PutOrReplaceName(Data(), "PageMode", PageModeNames[Value]);
}

TPdfDictionary *TPdfCatalog::ViewerPreferences(bool Create)
{
    TPdfDictionary *Prefs = Data()->PdfDictionaryByName("ViewerPreferences");
    if (!Prefs && Create) {
        Prefs = new TPdfDictionary(Data()->ObjectMgr());
        Data()->Put("ViewerPreferences", Prefs);
    }
    return Prefs;
}

TPdfPageMode TPdfCatalog::NonFullScreenPageMode() const
{
    const TPdfDictionary *Prefs = Data()->PdfDictionaryByName("ViewerPreferences");
    return Prefs ? EnumByName(Prefs->PdfNameByName("NonFullScreenPageMode"), PageModeNames, pmUseNone)
                 : pmUseNone;
}

void TPdfCatalog::SetNonFullScreenPageMode(TPdfPageMode Value)
{
    // Full screen is no mode to leave full screen for.
    if (Value == pmFullScreen)
        Value = pmUseNone;
    PutOrReplaceName(ViewerPreferences(true), "NonFullScreenPageMode", PageModeNames[Value]);
}

TPdfViewerPreferences TPdfCatalog::ViewerPreference() const
{
    TPdfViewerPreferences Result = 0;
    if (const TPdfDictionary *Prefs = Data()->PdfDictionaryByName("ViewerPreferences"))
        for (const ViewerPreferenceKey &K : ViewerPreferenceKeys)
            if (const TPdfBoolean *B = Prefs->PdfBooleanByName(K.Key); B && B->Value())
                Result |= K.Flag;
    return Result;
}

void TPdfCatalog::SetViewerPreference(TPdfViewerPreferences Value)
{
    TPdfDictionary *Prefs = ViewerPreferences(Value != 0);
    if (!Prefs)
        return;
    for (const ViewerPreferenceKey &K : ViewerPreferenceKeys) {
        if (Value & K.Flag)
            Prefs->Put(K.Key, new TPdfBoolean(true));
        else
            Prefs->Remove(K.Key);
    }
}

TPdfDictionary *TPdfCatalog::Pages() const
{
    return Data()->PdfDictionaryByName("Pages");
}

void TPdfCatalog::SetPages(TPdfDictionary *Value)
{
    if (Value && Value->TypeName() == "Pages")
        Data()->Put("Pages", Value);
}

void TPdfCatalog::SaveOpenAction()
{
    if (FOpenAction)
        Data()->Put("OpenAction", FOpenAction->GetValue().release());
    else
        Data()->Remove("OpenAction");
}

// ---------------------------------------------------------------- destinations

TPdfDestination::TPdfDestination(TPdfDoc *APdfDoc)
    : FDoc(APdfDoc)
{
}

std::unique_ptr<TPdfArray> TPdfDestination::GetValue() const
{
    TPdfObjectMgr *Mgr = FDoc ? FDoc->Xref() : nullptr;
    auto Result = std::make_unique<TPdfArray>(Mgr);
    if (FPage)
        Result->AddItem(FPage);
    else
        Result->AddItem(new TPdfNull);
    Result->AddItem(new TPdfName(DestinationTypeNames[DestinationType]));
    auto Coordinate = [&](int Value) {
        if (Value < -100)
            Result->AddItem(new TPdfNull);
        else
            Result->AddItem(new TPdfNumber(Value));
    };
    switch (DestinationType) {
    case dtXYZ:
        Coordinate(Left);
        Coordinate(Top);
        Result->AddItem(new TPdfReal(Zoom < 0 || !std::isfinite(Zoom) ? 0 : Zoom));
        break;
    case dtFit:
    case dtFitB:
        break;
    case dtFitH:
    case dtFitBH:
        Coordinate(Top);
        break;
    case dtFitV:
    case dtFitBV:
        Coordinate(Left);
        break;
    case dtFitR:
        Coordinate(Left);
        Coordinate(Bottom);
        Coordinate(Right);
        Coordinate(Top);
        break;
    }
    return Result;
}

// ---------------------------------------------------------------- outlines

TPdfOutlineEntry::TPdfOutlineEntry(TPdfDoc *ADoc, TPdfOutlineEntry *AParent)
    : FDoc(ADoc), FParent(AParent)
{
}

TPdfOutlineEntry *TPdfOutlineEntry::AddChild()
{
    TPdfOutlineEntry *Entry = FDoc->CreateOutlineEntry(this);
    if (FLast) {
        FLast->FNext = Entry;
        Entry->FPrev = FLast;
    } else {
        FFirst = Entry;
    }
    FLast = Entry;
    return Entry;
}

int TPdfOutlineEntry::VisibleChildren()
{
    // The entries below are saved children first, with a stack of our own in
    // place of the call stack: an outline may be nested as deep as its maker
    // likes.
    struct TFrame {
        TPdfOutlineEntry *Entry;
        TPdfOutlineEntry *Child;   // the next child to save
        int Below;                 // entries shown below Entry so far
    };
    std::vector<TFrame> Stack{{this, FFirst, 0}};
    for (;;) {
        TFrame &Top = Stack.back();
        if (TPdfOutlineEntry *Child = Top.Child) {
            Top.Child = Child->FNext;
            Stack.push_back({Child, Child->FFirst, 0});
            continue;
        }
        const TFrame Done = Top;
        Stack.pop_back();
        if (Stack.empty())
            return Done.Below;
        Stack.back().Below += 1 + Done.Entry->SaveEntry(Done.Below);
    }
}

int TPdfOutlineEntry::Save()
{
    return SaveEntry(VisibleChildren());
}

int TPdfOutlineEntry::SaveEntry(int Below)
{
    TPdfDictionary *D = Data();
    D->Put("Title", new TPdfText(Title));
    if (Dest)
        D->Put("Dest", Dest->GetValue().release());
    else
        D->Remove("Dest");
    D->Put("Parent", FParent->Data());
    auto Link = [D](const char *Key, TPdfOutlineEntry *E) {
        if (E)
            D->Put(Key, E->Data());
        else
            D->Remove(Key);
    };
    Link("First", FFirst);
    Link("Last", FLast);
    Link("Prev", FPrev);
    Link("Next", FNext);
    if (FFirst)
        D->Put("Count", new TPdfNumber(Opened ? Below : -Below));
    else
        D->Remove("Count");
    return Opened ? Below : 0;
}

TPdfOutlineRoot::TPdfOutlineRoot(TPdfDoc *ADoc)
    : TPdfOutlineEntry(ADoc, nullptr)
{
    Opened = true;
}

int TPdfOutlineRoot::Save()
{
    TPdfDictionary *D = Data();
    const int Count = VisibleChildren();
    D->Put("Count", new TPdfNumber(Count));
    if (FFirst) {
        D->Put("First", FFirst->Data());
        D->Put("Last", FLast->Data());
    } else {
        D->Remove("First");
        D->Remove("Last");
    }
    return Count;
}

// ---------------------------------------------------------------- document

TPdfDoc::TPdfDoc() = default;

TPdfDoc::~TPdfDoc()
{
    CloseDocument();
}

template <class T> T *TPdfDoc::Own(std::unique_ptr<T> AObject)
{
    T *Result = AObject.get();
    FObjectList.push_back(std::move(AObject));
    return Result;
}

void TPdfDoc::OpenDocument()
{
    CloseDocument();
    FXref = std::make_unique<TPdfXref>();
    FHeader = std::make_unique<TPdfHeader>();
    FTrailer = std::make_unique<TPdfTrailer>(FXref.get());

    auto *Catalog = new TPdfDictionary(FXref.get());
    FXref->AddObject(Catalog);
    Catalog->Put("Type", new TPdfName("Catalog"));
    FTrailer->Attributes()->Put("Root", Catalog);
    FRoot = std::make_unique<TPdfCatalog>();
    FRoot->Attach(Catalog);

    if (FUseOutlines) {
        auto *Outlines = new TPdfDictionary(FXref.get());
        FXref->AddObject(Outlines);
        Outlines->Put("Type", new TPdfName("Outlines"));
        Catalog->Put("Outlines", Outlines);
        FOutlineRoot = Own(std::make_unique<TPdfOutlineRoot>(this));
        FOutlineRoot->Attach(Outlines);
    }

    CreateInfo();
    FInfo->SetCreationDate(Now());

    auto *Pages = new TPdfDictionary(FXref.get());
    FXref->AddObject(Pages);
    Pages->Put("Type", new TPdfName("Pages"));
    Pages->Put("Kids", new TPdfArray(FXref.get()));
    Pages->Put("Count", new TPdfNumber(0));
    FCurrentPages = Pages;
    FRoot->SetPages(Pages);

    FCanvas = std::make_unique<TPdfCanvas>(this);
    FHasDoc = true;
}

void TPdfDoc::CreateInfo()
{
    auto *Info = new TPdfDictionary(FXref.get());
    FXref->AddObject(Info);
    Info->Put("Producer", new TPdfText(QByteArray(Producer)));
    FTrailer->Attributes()->Put("Info", Info);
    FInfo = std::make_unique<TPdfInfo>();
    FInfo->Attach(Info);
}

void TPdfDoc::CloseDocument()
{
    FCanvas.reset();
    FRoot.reset();
    FInfo.reset();
    FOutlineRoot = nullptr;
    FObjectList.clear();
    FFontList.clear();
    FXObjectList.clear();
    FXObjectNames.clear();
    FSharedImages.clear();
    FCurrentPages = nullptr;
    FTrailer.reset();
    FHeader.reset();
    FXref.reset();
    FScratch.reset();
    FHasDoc = false;
}

TPdfCanvas *TPdfDoc::GetCanvas() const
{
    if (!FHasDoc)
        throw EPdfInvalidOperation(QStringLiteral("GetCanvas --Document is null"));
    return FCanvas.get();
}

TPdfInfo *TPdfDoc::GetInfo()
{
    if (!FHasDoc)
        throw EPdfInvalidOperation(QStringLiteral("GetInfo --this method can not use this state.."));
    if (!FInfo)
        CreateInfo();
    return FInfo.get();
}

TPdfCatalog *TPdfDoc::GetRoot() const
{
    if (!FHasDoc)
        throw EPdfInvalidOperation(QStringLiteral("GetRoot --this method can not use this state.."));
    return FRoot.get();
}

TPdfOutlineRoot *TPdfDoc::GetOutlineRoot() const
{
    if (!FHasDoc)
        throw EPdfInvalidOperation(QStringLiteral("GetOutlineRoot --document is null.."));
    if (!FUseOutlines || !FOutlineRoot)
        throw EPdfInvalidOperation(QStringLiteral("GetOutlineRoot --not use outline mode.."));
    return FOutlineRoot;
}

TPdfDestination *TPdfDoc::CreateDestination()
{
    return Own(std::make_unique<TPdfDestination>(this));
}

TPdfOutlineEntry *TPdfDoc::CreateOutlineEntry(TPdfOutlineEntry *AParent)
{
    if (!AParent)
        throw Exception(QStringLiteral("CreateEntry --invalid parent."));
    auto *Dict = new TPdfDictionary(FXref.get());
    FXref->AddObject(Dict);
    TPdfOutlineEntry *Entry = Own(std::make_unique<TPdfOutlineEntry>(this, AParent));
    Entry->Attach(Dict);
    return Entry;
}

void TPdfDoc::AddPage()
{
    if (!FCurrentPages)
        throw EPdfInvalidOperation(QStringLiteral("AddPage --current pages null."));
    auto *Page = new TPdfDictionary(FXref.get());
    FXref->AddObject(Page);

    TPdfArray *Kids = FCurrentPages->PdfArrayByName("Kids");
    Kids->AddItem(Page);
    // Putting "Count" again moves it last; when it is last already, setting its value is the same.
    const int Last = FCurrentPages->ItemCount() - 1;
    TPdfDictionaryElement *CountElement = Last >= 0 ? FCurrentPages->Items(Last) : nullptr;
    auto *Count = CountElement && CountElement->Key() == "Count" && !CountElement->IsHidden()
        ? dynamic_cast<TPdfNumber *>(CountElement->Value())
        : nullptr;
    if (Count && Count->ObjectType() == otDirectObject)
        Count->SetValue(Kids->ItemCount());
    else
        FCurrentPages->Put(QByteArrayLiteral("Count"), new TPdfNumber(Kids->ItemCount()));

    Page->Put(QByteArrayLiteral("Type"), new TPdfName(QByteArrayLiteral("Page")));
    Page->Put(QByteArrayLiteral("Parent"), FCurrentPages);
    auto *MediaBox = new TPdfArray(FXref.get());
    MediaBox->AddItem(new TPdfNumber(0));
    MediaBox->AddItem(new TPdfNumber(0));
    MediaBox->AddItem(new TPdfNumber(FDefaultPageWidth));
    MediaBox->AddItem(new TPdfNumber(FDefaultPageHeight));
    Page->Put(QByteArrayLiteral("MediaBox"), MediaBox);

    auto *Resources = new TPdfDictionary(FXref.get());
    Resources->Put(QByteArrayLiteral("Font"), new TPdfDictionary(FXref.get()));
    Resources->Put(QByteArrayLiteral("XObject"), new TPdfDictionary(FXref.get()));
    auto *ProcSet = new TPdfArray(FXref.get());
    ProcSet->AddItem(new TPdfName(QByteArrayLiteral("PDF")));
    ProcSet->AddItem(new TPdfName(QByteArrayLiteral("Text")));
    ProcSet->AddItem(new TPdfName(QByteArrayLiteral("ImageC")));
    Resources->Put(QByteArrayLiteral("ProcSet"), ProcSet);
    Page->Put(QByteArrayLiteral("Resources"), Resources);

    auto *Contents = new TPdfStream(FXref.get());
    FXref->AddObject(Contents);
    Page->Put(QByteArrayLiteral("Contents"), Contents);

    FCanvas->AttachPage(Page);
}

void TPdfDoc::SaveToStream(TStream *AStream)
{
    if (!FHasDoc || !FCanvas || !FCanvas->Page())
        throw EPdfInvalidOperation(QStringLiteral("SaveToStream --there is no document to save."));
    FInfo->SetModDate(Now());
    FRoot->SaveOpenAction();
    if (FUseOutlines && FOutlineRoot)
        FOutlineRoot->Save();

    AStream->SetPosition(0);
    BufferedWriter Writer(AStream);
    FHeader->WriteToStream(&Writer);
    const int Count = FXref->ItemCount();
    for (int I = 1; I < Count; ++I) {
        TPdfXrefEntry *Entry = FXref->Items(I);
        // An offset must fit the ten digits of its cross-reference entry.
        if (Writer.Written() > MaxFileSize)
            throw EPdfInvalidOperation(QStringLiteral("SaveToStream --the document is too large."));
        Entry->ByteOffset = Writer.Written();
        Entry->Value()->WriteAsObject(&Writer);
    }
    if (Writer.Written() > MaxFileSize)
        throw EPdfInvalidOperation(QStringLiteral("SaveToStream --the document is too large."));
    FTrailer->XrefAddress = Writer.Written();

    char Line[128];
    std::memcpy(Line, "xref\r\n0 ", 8);
    char *CountEnd = std::to_chars(Line + 8, Line + sizeof Line, Count).ptr;
    std::memcpy(CountEnd, "\r\n", 2);
    Writer.WriteBuffer(Line, CountEnd + 2 - Line);
    for (int I = 0; I < Count; ++I) {
        const TPdfXrefEntry *Entry = FXref->Items(I);
        if (Entry->EntryType.size() <= 64) {
            const char *LineEnd = XrefLine(Line, Entry->ByteOffset, Entry->GenerationNumber, Entry->EntryType);
            Writer.WriteBuffer(Line, LineEnd - Line);
        } else {
            WriteText(Entry->AsString(), &Writer);
        }
    }

    FTrailer->Attributes()->PdfNumberByName("Size")->SetValue(Count);
    FTrailer->WriteToStream(&Writer);
    Writer.Flush();
    // A stream that held a longer file before ends with this one.
    const qint64 End = AStream->Position();
    if (AStream->Size() > End)
        AStream->SetSize(End);
}

// ---------------------------------------------------------------- fonts and XObjects

TPdfFont *TPdfDoc::GetFont(const QByteArray &FontName)
{
    if (!FHasDoc)
        throw EPdfInvalidOperation(QStringLiteral("GetFont --document is null."));
    for (const auto &Font : FFontList)
        if (Font->Name() == FontName)
            return Font.get();
    return CreateFont(FontName);
}

TPdfFont *TPdfDoc::CreateFont(const QByteArray &FontName)
{
    if (!FHasDoc)
        throw EPdfInvalidOperation(QStringLiteral("GetFont --document is null."));
    auto It = PdfFontRegistry().constFind(FontName);
    if (It == PdfFontRegistry().constEnd())
        throw Exception(QStringLiteral("CreateFont --InvalidFontName:") + QString::fromLatin1(FontName));
    std::unique_ptr<TPdfFont> Font = It.value()(FXref.get(), FontName);
    Font->Data()->Put("Name", new TPdfName("F" + QByteArray::number(qsizetype(FFontList.size()))));
    FFontList.push_back(std::move(Font));
    return FFontList.back().get();
}

void TPdfDoc::AddImage(const QByteArray &AName, std::unique_ptr<TPdfImage> AImage)
{
    if (!FHasDoc)
        throw EPdfInvalidOperation(QStringLiteral("AddImage --document is null."));
    if (FXObjectNames.contains(AName))
        throw Exception(QStringLiteral("AddImage --the image named %1 is already exists..")
                            .arg(QString::fromLatin1(AName)));
    if (!AImage || AImage->ObjectType() != otDirectObject || AImage->Attributes()->TypeName() != "XObject"
        || !AImage->Attributes()->PdfNameByName("Subtype")
        || AImage->Attributes()->PdfNameByName("Subtype")->Value() != "Image")
        throw Exception(QStringLiteral("AddImage --the image is not valid TPdfImage.."));
    MoveBodyToScratch(AImage.get());
    TPdfImage *Image = AImage.release();
    FXref->AddObject(Image);
    RegisterXObject(Image, AName);
}

namespace {

TPdfDictionary *AttributesOf(TPdfObject *AObject)
{
    if (auto *Stream = dynamic_cast<TPdfStream *>(AObject))
        return Stream->Attributes();
    return dynamic_cast<TPdfDictionary *>(AObject);
}

} // namespace

void TPdfDoc::RegisterXObject(TPdfObject *AObject, const QByteArray &AName)
{
    if (!AObject)
        throw EPdfInvalidValue(QStringLiteral("RegisterXObject --AObject is null"));
    if (!FHasDoc)
        throw EPdfInvalidOperation(QStringLiteral("RegisterXObject --document is null."));
    TPdfDictionary *Attributes = AttributesOf(AObject);
    if (!Attributes || Attributes->TypeName() != "XObject")
        throw EPdfInvalidValue(QStringLiteral("RegisterXObject --not XObject"));
    if (AObject->ObjectType() == otDirectObject) {
        MoveBodyToScratch(AObject);
        FXref->AddObject(AObject);
    }
    if (!Attributes->PdfNameByName("Name")) {
        if (FXObjectNames.contains(AName))
            throw EPdfInvalidValue(QStringLiteral("RegisterXObject --dupulicate name: %1")
                                       .arg(QString::fromLatin1(AName)));
        FXObjectList.push_back(AObject);
        FXObjectNames.insert(AName, AObject);
        Attributes->Put("Name", new TPdfName(AName));
    }
}

void TPdfDoc::MoveBodyToScratch(TPdfObject *AObject)
{
    auto *Stream = dynamic_cast<TPdfStream *>(AObject);
    if (!Stream || Stream->Stream()->Size() == 0)
        return;
    if (!FScratch)
        FScratch = std::make_shared<PdfDetail::ScratchFile>();
    Stream->MoveBodyTo(FScratch);
}

TPdfObject *TPdfDoc::GetXObject(const QByteArray &AName) const
{
    return FXObjectNames.value(AName, nullptr);
}
