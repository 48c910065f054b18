#pragma once
// A PDF 1.2 document while it is built: the cross-reference table that owns
// and numbers every indirect object, the catalog, the information dictionary,
// the page tree, outlines, the standard fonts, the image objects and the
// canvas of the current page. SaveToStream writes the whole file in one pass.

#include "pdf/PdfTypes.h"

#include <QHash>
#include <functional>
#include <memory>
#include <vector>

class TPdfDoc;
class TPdfCanvas;
namespace PdfDetail {
class LineBuilder;
}

enum TPdfPageLayout { plSinglePage, plOneColumn, plTwoColumnLeft, plTwoColumnRight };
enum TPdfPageMode { pmUseNone, pmUseOutlines, pmUseThumbs, pmFullScreen };
enum TPdfViewerPreference : unsigned {
    vpHideToolbar = 1,
    vpHideMenubar = 2,
    vpHideWindowUI = 4,
    vpFitWindow = 8,
    vpCenterWindow = 16,
};
using TPdfViewerPreferences = unsigned;   // a set of TPdfViewerPreference bits
enum TPdfCompressionMethod { cmNone };
enum TPdfDestinationType { dtXYZ, dtFit, dtFitH, dtFitV, dtFitR, dtFitB, dtFitBH, dtFitBV };

QByteArray PdfPageLayoutName(TPdfPageLayout Value);
QByteArray PdfPageModeName(TPdfPageMode Value);

// ------------------------------------------------------------ file layout

class TPdfXrefEntry : public TObject {
public:
    explicit TPdfXrefEntry(TPdfObject *AValue);   // takes ownership; no value makes a free entry
    ~TPdfXrefEntry() override;

    QByteArray EntryType;           // "n" in use, "f" free
    qint64 ByteOffset = -1;         // -1 until written
    int GenerationNumber = 0;
    TPdfObject *Value() const { return FValue.get(); }
    // The 20-byte line of the cross-reference table.
    QByteArray AsString() const;

private:
    std::unique_ptr<TPdfObject> FValue;
};

class TPdfXref : public TPdfObjectMgr {
public:
    TPdfXref();
    ~TPdfXref() override;
    // Takes ownership of a direct object and numbers it (1, 2, 3, ... in order).
    void AddObject(TPdfObject *AObject) override;
    TPdfObject *ObjectByNumber(int ObjectID) const override;
    int ItemCount() const { return int(FXrefEntries.size()); }
    TPdfXrefEntry *Items(int ObjectID) const { return FXrefEntries.at(size_t(ObjectID)).get(); }

private:
    std::vector<std::unique_ptr<TPdfXrefEntry>> FXrefEntries;
};

class TPdfHeader : public TObject {
public:
    void WriteToStream(TStream *AStream);
};

class TPdfTrailer : public TObject {
public:
    explicit TPdfTrailer(TPdfObjectMgr *AObjectMgr);
    ~TPdfTrailer() override;
    TPdfDictionary *Attributes() const { return FAttributes.get(); }
    qint64 XrefAddress = 0;
    void WriteToStream(TStream *AStream);

private:
    std::unique_ptr<TPdfDictionary> FAttributes;
};

// ---------------------------------------------------------------- wrappers

// Wraps one dictionary owned by the cross-reference table.
class TPdfDictionaryWrapper : public TObject {
public:
    virtual void Attach(TPdfDictionary *AData) { FData = AData; }
    TPdfDictionary *Data() const { return FData; }
    bool HasData() const { return FData != nullptr; }

private:
    TPdfDictionary *FData = nullptr;
};

class TPdfInfo : public TPdfDictionaryWrapper {
public:
    void SetAuthor(const QString &Value);
    void SetCreator(const QString &Value);
    void SetTitle(const QString &Value);
    void SetSubject(const QString &Value);
    void SetKeywords(const QString &Value);
    void SetCreationDate(TDateTime Value);
    void SetModDate(TDateTime Value);
    QString Author() const;
    QString Creator() const;
    QString Title() const;
    QString Subject() const;
    QString Keywords() const;

private:
    QString TextOf(const QByteArray &Key) const;
};

class TPdfDestination;

class TPdfCatalog : public TPdfDictionaryWrapper {
public:
    TPdfPageLayout PageLayout() const;
    void SetPageLayout(TPdfPageLayout Value);
    TPdfPageMode PageMode() const;
    void SetPageMode(TPdfPageMode Value);
    TPdfPageMode NonFullScreenPageMode() const;
    void SetNonFullScreenPageMode(TPdfPageMode Value);
    TPdfViewerPreferences ViewerPreference() const;
    void SetViewerPreference(TPdfViewerPreferences Value);
    TPdfDestination *OpenAction() const { return FOpenAction; }
    void SetOpenAction(TPdfDestination *Value) { FOpenAction = Value; }
    TPdfDictionary *Pages() const;
    void SetPages(TPdfDictionary *Value);
    // Writes the open action into the catalog, or removes the key when there is none.
    void SaveOpenAction();

private:
    TPdfDictionary *ViewerPreferences(bool Create);
    TPdfDestination *FOpenAction = nullptr;
};

// A place in the document: a page and how to show it. The coordinates are in
// the page's own space; one below -100 stands for "unchanged" and is written as null.
class TPdfDestination : public TObject {
public:
    explicit TPdfDestination(TPdfDoc *APdfDoc);
    TPdfDoc *Doc() const { return FDoc; }
    TPdfDictionary *Page() const { return FPage; }
    void SetPage(TPdfDictionary *Value) { FPage = Value; }
    TPdfDestinationType DestinationType = dtXYZ;
    int Left = -1;
    int Top = -1;
    int Right = -1;
    int Bottom = -1;
    double Zoom = 1;
    // The destination array; the caller owns it.
    std::unique_ptr<TPdfArray> GetValue() const;

private:
    TPdfDoc *FDoc;
    TPdfDictionary *FPage = nullptr;
};

class TPdfOutlineEntry : public TPdfDictionaryWrapper {
public:
    TPdfOutlineEntry(TPdfDoc *ADoc, TPdfOutlineEntry *AParent);
    TPdfDoc *Doc() const { return FDoc; }
    TPdfOutlineEntry *Parent() const { return FParent; }
    TPdfOutlineEntry *First() const { return FFirst; }
    TPdfOutlineEntry *Last() const { return FLast; }
    TPdfOutlineEntry *Next() const { return FNext; }
    TPdfOutlineEntry *Prev() const { return FPrev; }
    // A new last child of this entry (owned by the document).
    TPdfOutlineEntry *AddChild();
    QString Title;
    TPdfDestination *Dest = nullptr;
    bool Opened = false;
    // Writes the links and counts of this entry and of its children; returns
    // the number of entries shown below it when it is open.
    virtual int Save();

protected:
    TPdfDoc *FDoc;
    TPdfOutlineEntry *FParent;
    TPdfOutlineEntry *FFirst = nullptr;
    TPdfOutlineEntry *FLast = nullptr;
    TPdfOutlineEntry *FNext = nullptr;
    TPdfOutlineEntry *FPrev = nullptr;
    // Saves every entry below this one; returns the number shown below it.
    int VisibleChildren();

private:
    // Writes this entry alone, Below entries shown below it when it is open.
    int SaveEntry(int Below);
};

class TPdfOutlineRoot : public TPdfOutlineEntry {
public:
    explicit TPdfOutlineRoot(TPdfDoc *ADoc);
    int Save() override;
};

// ---------------------------------------------------------------- fonts

class TPdfFont : public TPdfDictionaryWrapper {
public:
    TPdfFont(TPdfXref *AXref, const QByteArray &AName);
    const QByteArray &Name() const { return FName; }
    // Width of the byte at the 1-based Position of Text in 1/1000 text space
    // units; 0 for a position outside the text.
    virtual int CharWidth(const QByteArray &Text, int Position) const;

protected:
    QByteArray FName;
    quint16 FWidths[256] = {};
};

class TPdfType1Font : public TPdfFont {
public:
    // Creates the font dictionary in the cross-reference table and fills the width table from it.
    TPdfType1Font(TPdfXref *AXref, const QByteArray &AName, const QByteArray &ABaseFont, const quint16 *AWidths);
};

#define QB_DECLARE_PDF_FONT(Class)                                  \
    class Class : public TPdfType1Font {                            \
    public:                                                         \
        Class(TPdfXref *AXref, const QByteArray &AName);            \
    };
QB_DECLARE_PDF_FONT(TPdfFixedWidth)
QB_DECLARE_PDF_FONT(TPdfFixedWidthBold)
QB_DECLARE_PDF_FONT(TPdfFixedWidthItalic)
QB_DECLARE_PDF_FONT(TPdfFixedWidthBoldItalic)
QB_DECLARE_PDF_FONT(TPdfArial)
QB_DECLARE_PDF_FONT(TPdfArialBold)
QB_DECLARE_PDF_FONT(TPdfArialItalic)
QB_DECLARE_PDF_FONT(TPdfArialBoldItalic)
QB_DECLARE_PDF_FONT(TPdfTimesRoman)
QB_DECLARE_PDF_FONT(TPdfTimesBold)
QB_DECLARE_PDF_FONT(TPdfTimesItalic)
QB_DECLARE_PDF_FONT(TPdfTimesBoldItalic)
#undef QB_DECLARE_PDF_FONT

// The font classes by their registered names ("Arial", "Times-Bold", ...).
using TPdfFontFactory = std::function<std::unique_ptr<TPdfFont>(TPdfXref *AXref, const QByteArray &AName)>;
void RegisterPdfFont(const QByteArray &AName, TPdfFontFactory AFactory);
bool IsPdfFontRegistered(const QByteArray &AName);

// ---------------------------------------------------------------- canvas

class TPdfCanvasAttribute : public TObject {
public:
    float WordSpace() const { return FWordSpace; }
    void SetWordSpace(float Value);
    float CharSpace() const { return FCharSpace; }
    void SetCharSpace(float Value);
    float FontSize() const { return FFontSize; }
    void SetFontSize(float Value);
    TPdfFont *Font() const { return FFont; }
    void SetFont(TPdfFont *Value) { FFont = Value; }
    float Leading() const { return FLeading; }
    void SetLeading(float Value);
    qint16 HorizontalScaling() const { return FHorizontalScaling; }
    void SetHorizontalScaling(int Value);

private:
    float FWordSpace = 0;
    float FCharSpace = 0;
    float FFontSize = 0;
    TPdfFont *FFont = nullptr;
    float FLeading = 0;
    qint16 FHorizontalScaling = 100;
};

class TPdfCanvas : public TObject {
public:
    explicit TPdfCanvas(TPdfDoc *APdfDoc);
    ~TPdfCanvas() override;

    TPdfDoc *Doc() const { return FPdfDoc; }
    TPdfDictionary *Page() const { return FPage; }
    TPdfStream *Contents() const { return FContents; }
    TPdfDictionary *GetPage() const;            // EPdfInvalidOperation without a page
    TPdfCanvasAttribute *Attribute() const { return FAttr.get(); }
    bool IsLocked() const { return FIsLocked; }
    void SetIsLocked(bool Value) { FIsLocked = Value; }

    // Makes APage the current page, keeping the text state of the previous one in it.
    void AttachPage(TPdfDictionary *APage);

    void SaveState();
    void RestoreState();
    void Transform(double A, double B, double C, double D, double E, double F);
    void AddRect(double X, double Y, double W, double H);
    void ClipPath();
    void EndPath();
    void PaintXObject(const QByteArray &AXObjectName);
    void WriteFontOperator(const QByteArray &AFontName, double ASize);

    void SelectFont(const QByteArray &AFontName, double ASize);
    void SetWordSpace(double Value);
    void SetCharSpace(double Value);
    void ChangeFontSize(double Value);
    void SetLeading(double Value);
    void SetHorizontalScaling(int Value);

    void DrawXObject(double X, double Y, double AWidth, double AHeight, const QByteArray &AXObjectName);
    void DrawXObjectEx(double X, double Y, double AWidth, double AHeight, double ClipX, double ClipY,
                       double ClipWidth, double ClipHeight, const QByteArray &AXObjectName);

    int PageWidth() const;
    void SetPageWidth(int Value);
    int PageHeight() const;
    void SetPageHeight(int Value);

private:
    void WriteBytes(const char *Data, qint64 Size);
    void WriteLine(const PdfDetail::LineBuilder &Line);
    TPdfObject *UseXObject(const QByteArray &AXObjectName, const char *Operation);
    void SaveTextState();
    bool RestoreTextState();

    TPdfStream *FContents = nullptr;
    TPdfDictionary *FPage = nullptr;
    TPdfDoc *FPdfDoc;
    std::unique_ptr<TPdfCanvasAttribute> FAttr;
    bool FIsLocked = false;
};

// ---------------------------------------------------------------- document

class TPdfDoc : public TObject {
public:
    TPdfDoc();
    ~TPdfDoc() override;

    void OpenDocument();
    void CloseDocument();
    void AddPage();
    // Writes the whole file from the stream's start and cuts the stream after it.
    void SaveToStream(TStream *AStream);

    bool HasDoc() const { return FHasDoc; }
    TPdfCanvas *GetCanvas() const;
    TPdfInfo *GetInfo();
    TPdfCatalog *GetRoot() const;
    TPdfOutlineRoot *GetOutlineRoot() const;
    TPdfXref *Xref() const { return FXref.get(); }
    TPdfTrailer *Trailer() const { return FTrailer.get(); }
    TPdfDictionary *CurrentPages() const { return FCurrentPages; }

    TPdfFont *GetFont(const QByteArray &FontName);
    TPdfFont *CreateFont(const QByteArray &FontName);
    // Adds the image to the document under AName (the document owns it from
    // now on). Its body leaves memory for the document's scratch file, so the
    // pictures of a document cost disk space while it is built, not memory.
    void AddImage(const QByteArray &AName, std::unique_ptr<TPdfImage> AImage);
    // Registers an XObject under AName; a direct object is added to the
    // cross-reference table (the document owns it from then on), the body of
    // a direct stream going to the scratch file as with AddImage.
    void RegisterXObject(TPdfObject *AObject, const QByteArray &AName);
    // The XObject registered under AName, or none.
    TPdfObject *GetXObject(const QByteArray &AName) const;
    // Shared images: the name of the image added with Key (a digest of what
    // the image object holds), or none; and the key of an image added.
    QByteArray SharedImageName(const QByteArray &Key) const { return FSharedImages.value(Key); }
    void SetSharedImageName(const QByteArray &Key, const QByteArray &AName) { FSharedImages.insert(Key, AName); }
    int SharedImageCount() const { return int(FSharedImages.size()); }

    // Destinations and outline entries live as long as the open document.
    TPdfDestination *CreateDestination();
    TPdfOutlineEntry *CreateOutlineEntry(TPdfOutlineEntry *AParent);

    int DefaultPageWidth() const { return FDefaultPageWidth; }
    void SetDefaultPageWidth(int Value) { FDefaultPageWidth = qint16(Value); }
    int DefaultPageHeight() const { return FDefaultPageHeight; }
    void SetDefaultPageHeight(int Value) { FDefaultPageHeight = qint16(Value); }
    TPdfCompressionMethod CompressionMethod() const { return FCompressionMethod; }
    void SetCompressionMethod(TPdfCompressionMethod Value) { FCompressionMethod = Value; }
    bool UseOutlines() const { return FUseOutlines; }
    void SetUseOutlines(bool Value) { FUseOutlines = Value; }

    // Info setters: each puts the entry into the information dictionary.
    void SetAuthor(const QString &Value) { GetInfo()->SetAuthor(Value); }
    void SetCreator(const QString &Value) { GetInfo()->SetCreator(Value); }
    void SetTitle(const QString &Value) { GetInfo()->SetTitle(Value); }
    void SetSubject(const QString &Value) { GetInfo()->SetSubject(Value); }
    void SetKeywords(const QString &Value) { GetInfo()->SetKeywords(Value); }
    void SetCreationDate(TDateTime Value) { GetInfo()->SetCreationDate(Value); }
    void SetModDate(TDateTime Value) { GetInfo()->SetModDate(Value); }

    // Offsets must fit the ten digits of a cross-reference entry.
    static constexpr qint64 MaxFileSize = Q_INT64_C(9999999999);

private:
    void CreateInfo();
    template <class T> T *Own(std::unique_ptr<T> AObject);
    // Moves the body of a stream the document takes over into the scratch
    // file, made on first use; a failure leaves the stream as it was.
    void MoveBodyToScratch(TPdfObject *AObject);

    std::unique_ptr<TPdfCatalog> FRoot;
    TPdfDictionary *FCurrentPages = nullptr;
    std::unique_ptr<TPdfCanvas> FCanvas;
    std::unique_ptr<TPdfHeader> FHeader;
    std::unique_ptr<TPdfTrailer> FTrailer;
    std::unique_ptr<TPdfXref> FXref;
    std::unique_ptr<TPdfInfo> FInfo;
    bool FHasDoc = false;
    std::vector<std::unique_ptr<TPdfFont>> FFontList;
    std::vector<std::unique_ptr<TObject>> FObjectList;
    TPdfOutlineRoot *FOutlineRoot = nullptr;
    std::vector<TPdfObject *> FXObjectList;
    QHash<QByteArray, TPdfObject *> FXObjectNames;
    QHash<QByteArray, QByteArray> FSharedImages;
    // Shared with the streams whose bodies it holds; gone with the last of them.
    std::shared_ptr<PdfDetail::ScratchFile> FScratch;
    qint16 FDefaultPageWidth = 596;
    qint16 FDefaultPageHeight = 842;
    TPdfCompressionMethod FCompressionMethod = cmNone;
    bool FUseOutlines = false;
};
