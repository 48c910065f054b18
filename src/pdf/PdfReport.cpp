#include "pdf/PdfReport.h"

#include "pdf/PdfImages.h"
#include "pdf/PdfJpegInfo.h"
#include "platform/core/Codec.h"
#include "platform/core/SysUtils.h"
#include "platform/core/FileUtils.h"
#include "platform/core/OutputFiles.h"

#include <QCryptographicHash>
#include <QFile>
#include <QRandomGenerator>
#include <algorithm>
#include <cstdio>
#include <fcntl.h>
#include <unistd.h>

namespace {

TRect MakeRect(int Left, int Top, int Right, int Bottom)
{
    return Rect(Left, Top, Right, Bottom);
}

QByteArray XObjectName(const QString &Name)
{
    return Cp936::Encode(Name);
}

// Passes the document through to its file and has the system start writing
// each finished stretch to disk while the rest is still being produced, so
// the closing fsync only waits for the last stretch. The hint changes nothing
// the file holds.
class WriteBehindStream : public TStream {
public:
    explicit WriteBehindStream(TFileStream *AFile) : FFile(AFile) {}
    qint64 Read(void *Buffer, qint64 Count) override { return FFile->Read(Buffer, Count); }
    qint64 Write(const void *Buffer, qint64 Count) override
    {
        const qint64 N = FFile->Write(Buffer, Count);
        if (N > 0) {
            FPending += N;
            if (FPending >= Stretch)
                StartWriteBack();
        }
        return N;
    }
    qint64 Seek(qint64 Offset, TSeekOrigin Origin) override { return FFile->Seek(Offset, Origin); }
    qint64 Size() override { return FFile->Size(); }
    void SetSize(qint64 NewSize) override { FFile->SetSize(NewSize); }

private:
    static constexpr qint64 Stretch = 8 * 1024 * 1024;
    void StartWriteBack()
    {
        FPending = 0;
        const qint64 End = FFile->Position();
        if (End > FStart) {
            // Only a hint: when it fails, the fsync still writes everything.
            (void)sync_file_range(FFile->Handle(), off_t(FStart), off_t(End - FStart), SYNC_FILE_RANGE_WRITE);
            FStart = End;
        } else {
            FStart = 0;
        }
    }
    TFileStream *FFile;
    qint64 FPending = 0;
    qint64 FStart = 0;
};

} // namespace

// ---------------------------------------------------------------- control tree

TRpControl::TRpControl(TComponent *AOwner)
    : TComponent(AOwner)
{
}

TRpControl::~TRpControl()
{
    for (TRpControl *Child : FControls)
        Child->FParent = nullptr;
    FControls.clear();
    if (FParent)
        FParent->RemoveControl(this);
}

void TRpControl::RemoveControl(TRpControl *AControl)
{
    FControls.erase(std::remove(FControls.begin(), FControls.end(), AControl), FControls.end());
    Realign();
}

void TRpControl::CheckParent(TRpControl *)
{
}

void TRpControl::SetParent(TRpControl *AParent)
{
    if (AParent == FParent)
        return;
    for (TRpControl *P = AParent; P; P = P->FParent)
        if (P == this)
            throw EInvalidOperation(QStringLiteral("A control cannot be its own parent"));
    if (AParent)
        CheckParent(AParent);
    if (FParent)
        FParent->RemoveControl(this);
    FParent = AParent;
    if (FParent) {
        FParent->FControls.push_back(this);
        FParent->Realign();
        FParent->Invalidate();
    }
}

void TRpControl::SetBounds(int ALeft, int ATop, int AWidth, int AHeight)
{
    AWidth = std::max(AWidth, 0);
    AHeight = std::max(AHeight, 0);
    if (ALeft == FLeft && ATop == FTop && AWidth == FWidth && AHeight == FHeight)
        return;
    const bool SizeChanged = AWidth != FWidth || AHeight != FHeight;
    FLeft = ALeft;
    FTop = ATop;
    FWidth = AWidth;
    FHeight = AHeight;
    if (SizeChanged) {
        Resized();
        Realign();
    }
    if (FAlign != alNone && FParent && !FParent->FAligning)
        FParent->Realign();
    Invalidate();
}

TRect TRpControl::BoundsRect() const
{
    return MakeRect(FLeft, FTop, FLeft + FWidth, FTop + FHeight);
}

TRect TRpControl::ClientRect() const
{
    return MakeRect(0, 0, FWidth, FHeight);
}

void TRpControl::SetAlign(TAlign Value)
{
    if (Value == FAlign)
        return;
    FAlign = Value;
    if (FParent)
        FParent->Realign();
}

void TRpControl::Realign()
{
    if (FAligning)
        return;
    FAligning = true;
    TRect R = ClientRect();
    for (TAlign Kind : {alTop, alBottom, alLeft, alRight, alClient}) {
        for (TRpControl *C : FControls) {
            if (C->FAlign != Kind)
                continue;
            const int W = std::max(R.Right - R.Left, 0);
            const int H = std::max(R.Bottom - R.Top, 0);
            switch (Kind) {
            case alTop:
                C->SetBounds(R.Left, R.Top, W, C->FHeight);
                R.Top += C->FHeight;
                break;
            case alBottom:
                C->SetBounds(R.Left, R.Bottom - C->FHeight, W, C->FHeight);
                R.Bottom -= C->FHeight;
                break;
            case alLeft:
                C->SetBounds(R.Left, R.Top, C->FWidth, H);
                R.Left += C->FWidth;
                break;
            case alRight:
                C->SetBounds(R.Right - C->FWidth, R.Top, C->FWidth, H);
                R.Right -= C->FWidth;
                break;
            case alClient:
                C->SetBounds(R.Left, R.Top, W, H);
                break;
            case alNone:
                break;
            }
        }
    }
    FAligning = false;
}

TRpPage *TRpControl::Page() const
{
    for (const TRpControl *C = this; C; C = C->FParent)
        if (auto *P = dynamic_cast<const TRpPage *>(C))
            return const_cast<TRpPage *>(P);
    return nullptr;
}

void TRpControl::PaintTo(TCanvas *ACanvas, int X, int Y)
{
    Paint(ACanvas, MakeRect(X, Y, X + FWidth, Y + FHeight));
    for (TRpControl *C : FControls)
        C->PaintTo(ACanvas, X + C->FLeft, Y + C->FTop);
}

void TRpControl::Paint(TCanvas *, const TRect &)
{
}

// ---------------------------------------------------------------- canvas

int TRpCanvas::PageHeight() const
{
    return FCanvas ? FCanvas->PageHeight() : 0;
}

int TRpCanvas::PageWidth() const
{
    return FCanvas ? FCanvas->PageWidth() : 0;
}

// ---------------------------------------------------------------- page

TRpPage::TRpPage(TComponent *AOwner)
    : TRpControl(AOwner), FDoc(std::make_unique<TPdfDoc>())
{
    FDoc->OpenDocument();
    FDoc->GetCanvas()->SetIsLocked(true);
    SetBounds(0, 0, 596, 842);
}

TRpPage::~TRpPage() = default;

void TRpPage::CheckParent(TRpControl *AParent)
{
    throw Exception(QStringLiteral("TRpPage can not set on ") + AParent->ClassName());
}

bool TRpPage::AcceptMargin(int Value) const
{
    return Value >= 0 && Value < Width() / 2;
}

void TRpPage::SetMarginTop(int Value)
{
    if (AcceptMargin(Value) && Value != FMarginTop) {
        FMarginTop = Value;
        Realign();
    }
}

void TRpPage::SetMarginLeft(int Value)
{
    if (AcceptMargin(Value) && Value != FMarginLeft) {
        FMarginLeft = Value;
        Realign();
    }
}

void TRpPage::SetMarginRight(int Value)
{
    if (AcceptMargin(Value) && Value != FMarginRight) {
        FMarginRight = Value;
        Realign();
    }
}

void TRpPage::SetMarginBottom(int Value)
{
    if (AcceptMargin(Value) && Value != FMarginBottom) {
        FMarginBottom = Value;
        Realign();
    }
}

TRect TRpPage::ClientRect() const
{
    // The margins alone bound the printable area. The panel bevel is a
    // screen decoration; counting it would cut a line of pixels off every
    // side of what is printed.
    return MakeRect(FMarginLeft, FMarginTop, Width() - FMarginRight, Height() - FMarginBottom);
}

void TRpPage::RenderToPdf(TRpCanvas *ACanvas)
{
    TPdfCanvas *Canvas = ACanvas->PdfCanvas();
    Canvas->SetPageWidth(Width());
    Canvas->SetPageHeight(Height());
    if (OnPrintPage)
        OnPrintPage(this, ACanvas);
    for (int I = 0; I < ControlCount(); ++I)
        if (auto *Panel = dynamic_cast<TRpPanel *>(Controls(I)))
            Panel->RenderToPdf(ACanvas, Panel->BoundsRect());
}

// ---------------------------------------------------------------- panels

TRpPanel::TRpPanel(TComponent *AOwner)
    : TRpControl(AOwner)
{
    SetBounds(0, 0, 185, 100);
}

void TRpPanel::RenderChildren(TRpCanvas *ACanvas, const TRect &Rect)
{
    for (int I = 0; I < ControlCount(); ++I) {
        TRpControl *C = Controls(I);
        TRect R = C->BoundsRect();
        OffsetRect(R, Rect.Left, Rect.Top);
        if (auto *Panel = dynamic_cast<TRpPanel *>(C))
            Panel->RenderToPdf(ACanvas, R);
        else if (auto *Item = dynamic_cast<TRpItem *>(C); Item && Item->Printable)
            Item->RenderToPdf(ACanvas, R);
    }
}

void TRpPanel::RenderToPdf(TRpCanvas *ACanvas, TRect Rect)
{
    RenderChildren(ACanvas, Rect);
}

void TRpLayoutPanel::CheckParent(TRpControl *AParent)
{
    if (!dynamic_cast<TRpPanel *>(AParent) && !dynamic_cast<TRpPage *>(AParent))
        throw Exception(QStringLiteral("TRpPage can not set on ") + AParent->ClassName());
}

void TRpLayoutPanel::RenderToPdf(TRpCanvas *ACanvas, TRect Rect)
{
    if (BeforePrint)
        BeforePrint(this, ACanvas, Rect);
    RenderChildren(ACanvas, Rect);
    if (AfterPrint)
        AfterPrint(this, ACanvas, Rect);
}

TRpGridPanel::TRpGridPanel(TComponent *AOwner)
    : TRpPanel(AOwner), FChildPanel(std::make_unique<TRpChildPanel>(nullptr))
{
    FChildPanel->SetName(QStringLiteral("ChildPanel"));
    FChildPanel->SetParent(this);
    SizeChildPanel();
}

TRpGridPanel::~TRpGridPanel()
{
    FChildPanel.reset();
}

void TRpGridPanel::SizeChildPanel()
{
    if (FChildPanel)
        FChildPanel->SetBounds(0, 0, Width() / FColCount, Height() / FRowCount);
}

void TRpGridPanel::Resized()
{
    SizeChildPanel();
}

void TRpGridPanel::SetColCount(int Value)
{
    if (Value < 1 || Width() / Value < 10)
        throw Exception(QStringLiteral("invalid colcount"));
    FColCount = Value;
    SizeChildPanel();
    Invalidate();
}

void TRpGridPanel::SetRowCount(int Value)
{
    if (Value < 1 || Height() / Value < 10)
        throw Exception(QStringLiteral("invalid rowcount"));
    FRowCount = Value;
    SizeChildPanel();
    Invalidate();
}

void TRpGridPanel::RenderToPdf(TRpCanvas *ACanvas, TRect Rect)
{
    if (BeforePrint)
        BeforePrint(this, ACanvas, Rect);
    const int CellW = Width() / FColCount;
    const int CellH = Height() / FRowCount;
    const int Outer = PrintDirection == pdHorz ? FRowCount : FColCount;
    const int Inner = PrintDirection == pdHorz ? FColCount : FRowCount;
    for (int O = 0; O < Outer; ++O) {
        for (int I = 0; I < Inner; ++I) {
            const int Col = PrintDirection == pdHorz ? I : O;
            const int Row = PrintDirection == pdHorz ? O : I;
            const TRect Cell = MakeRect(Rect.Left + Col * CellW, Rect.Top + Row * CellH,
                                        Rect.Left + Col * CellW + CellW, Rect.Top + Row * CellH + CellH);
            if (BeforePrintChild)
                BeforePrintChild(this, ACanvas, Col, Row, Cell);
            FChildPanel->RenderToPdf(ACanvas, Cell);
            if (AfterPrintChild)
                AfterPrintChild(this, ACanvas, Col, Row, Cell);
        }
    }
    if (AfterPrint)
        AfterPrint(this, ACanvas, Rect);
}

// ---------------------------------------------------------------- items

TRpItem::TRpItem(TComponent *AOwner)
    : TRpControl(AOwner)
{
    SetBounds(0, 0, 100, 30);
}

void TRpItem::CheckParent(TRpControl *AParent)
{
    if (!dynamic_cast<TRpPanel *>(AParent))
        throw Exception(QStringLiteral("this component must set on TRpPanel"));
}

void TRpItem::SetParent(TRpControl *AParent)
{
    if (auto *Grid = dynamic_cast<TRpGridPanel *>(AParent))
        AParent = Grid->ChildPanel();
    TRpControl::SetParent(AParent);
}

void TRpItem::RenderToPdf(TRpCanvas *, TRect)
{
}

TRpImage::TRpImage(TComponent *AOwner)
    : TRpItem(AOwner), FPicture(std::make_unique<TPicture>())
{
}

TRpImage::~TRpImage() = default;

namespace {

bool IsEmptyPicture(TPicture *P)
{
    return !P || !P->Graphic() || P->Graphic()->Empty();
}

// An unused name for an unshared image: Name followed by a number in 0..65534.
QByteArray FreeImageName(TPdfDoc *Doc, const QString &Name, quint32 Start, bool Counting)
{
    for (int Try = 0; Try < 65535; ++Try) {
        const quint32 N = Counting ? (Start + quint32(Try)) % 65535 : QRandomGenerator::global()->bounded(65535u);
        const QByteArray Candidate = XObjectName(Name + QString::number(N));
        if (!Doc->GetXObject(Candidate))
            return Candidate;
    }
    return QByteArray();
}

// A digest of everything an image object holds: its dictionary and its body.
QByteArray ImageDigest(TPdfImage &Image)
{
    TMemoryStream Text;
    Image.Attributes()->WriteAsValue(&Text);
    QCryptographicHash Hash(QCryptographicHash::Sha256);
    Hash.addData(Text.Bytes());
    Hash.addData(Image.Stream()->Bytes());
    return Hash.result();
}

// The image object of a shared picture, added when the document holds none
// of the same picture yet: the component's name for the first, a free name
// after it for each other picture. Returns the name to draw.
QByteArray AddSharedImage(TPdfDoc *Doc, const QString &Name, TGraphic *Picture, const QByteArray &Creator)
{
    std::unique_ptr<TPdfImage> Image = MakePdfImage(Picture, Creator);
    const QByteArray Key = ImageDigest(*Image);
    QByteArray ImageName = Doc->SharedImageName(Key);
    if (!ImageName.isEmpty())
        return ImageName;
    ImageName = XObjectName(Name);
    if (Doc->GetXObject(ImageName))
        ImageName = FreeImageName(Doc, Name, quint32(Doc->SharedImageCount()), true);
    if (ImageName.isEmpty())
        throw Exception(QStringLiteral("image count over max value.."));
    Doc->AddImage(ImageName, std::move(Image));
    Doc->SetSharedImageName(Key, ImageName);
    return ImageName;
}

} // namespace

void TRpImage::SetPicture(TPicture *Value)
{
    if (!IsEmptyPicture(Value) && !dynamic_cast<TBitmap *>(Value->Graphic()))
        throw Exception(QStringLiteral("only bitmap image is allowed."));
    FPicture->Assign(Value);
    Invalidate();
}

void TRpImage::DrawImage(TRpCanvas *ACanvas, const TRect &Rect, const QByteArray &AName)
{
    TPdfCanvas *Canvas = ACanvas->PdfCanvas();
    const int PH = ACanvas->PageHeight();
    const int W = Width();
    const int H = Height();
    if (Stretch) {
        Canvas->DrawXObject(Rect.Left, PH - Rect.Bottom, W, H, AName);
    } else {
        const int PW = FPicture->Graphic()->Width();
        const int PicH = FPicture->Graphic()->Height();
        Canvas->DrawXObjectEx(Rect.Left, PH - Rect.Top - PicH, PW, PicH, Rect.Left, PH - Rect.Top - H, W, H, AName);
    }
}

void TRpImage::RenderToPdf(TRpCanvas *ACanvas, TRect Rect)
{
    if (IsEmptyPicture(FPicture.get()) || !dynamic_cast<TBitmap *>(FPicture->Graphic()))
        return;
    TPdfDoc *Doc = ACanvas->PdfCanvas()->Doc();
    QByteArray ImageName;
    if (SharedImage) {
        ImageName = AddSharedImage(Doc, Name(), FPicture->Graphic(), "Pdf-Bitmap");
    } else {
        // Counting from one random start; when every name is taken, AddImage reports it.
        const quint32 Start = QRandomGenerator::global()->bounded(65534u);
        ImageName = FreeImageName(Doc, Name(), Start, true);
        if (ImageName.isEmpty())
            ImageName = XObjectName(Name() + QString::number(Start));
        Doc->AddImage(ImageName, MakePdfImage(FPicture->Graphic(), "Pdf-Bitmap"));
    }
    DrawImage(ACanvas, Rect, ImageName);
}

void TRpJpegImage::SetPicture(TPicture *Value)
{
    if (!IsEmptyPicture(Value)) {
        auto *Jpeg = dynamic_cast<TJPEGImage *>(Value->Graphic());
        if (!Jpeg)
            throw Exception(QStringLiteral("only jpeg image is allowed."));
    }
    FPicture->Assign(Value);
    Invalidate();
}

void TRpJpegImage::RenderToPdf(TRpCanvas *ACanvas, TRect Rect)
{
    if (!Printable || IsEmptyPicture(FPicture.get()) || !dynamic_cast<TJPEGImage *>(FPicture->Graphic()))
        return;
    TPdfDoc *Doc = ACanvas->PdfCanvas()->Doc();
    QByteArray ImageName;
    if (SharedImage) {
        ImageName = AddSharedImage(Doc, Name(), FPicture->Graphic(), "Pdf-Jpeg");
    } else {
        ImageName = FreeImageName(Doc, Name(), 0, false);
        if (ImageName.isEmpty())
            throw Exception(QStringLiteral("image count over max value.."));
        Doc->AddImage(ImageName, MakePdfImage(FPicture->Graphic(), "Pdf-Jpeg"));
    }
    DrawImage(ACanvas, Rect, ImageName);
}

// ---------------------------------------------------------------- report

TRpReport::TRpReport(TComponent *AOwner)
    : TAbstractRpReport(AOwner), FCreationDate(Now()), FCanvas(std::make_unique<TRpCanvas>())
{
}

TRpReport::~TRpReport()
{
    // An open document is dropped unwritten.
    FOutlineRoot.reset();
    FDoc.reset();
}

void TRpReport::CheckIdle(const char *Operation) const
{
    if (FDoc)
        throw EPdfInvalidOperation(QString::fromLatin1(Operation) + QStringLiteral(" --invalid operation."));
}

void TRpReport::SetAuthor(const QString &Value) { CheckIdle("SetAuthor"); FAuthor = Value; }
void TRpReport::SetCreator(const QString &Value) { CheckIdle("SetCreator"); FCreator = Value; }
void TRpReport::SetKeywords(const QString &Value) { CheckIdle("SetKeyWords"); FKeywords = Value; }
void TRpReport::SetSubject(const QString &Value) { CheckIdle("SetSubject"); FSubject = Value; }
void TRpReport::SetTitle(const QString &Value) { CheckIdle("SetTitle"); FTitle = Value; }
void TRpReport::SetCreationDate(TDateTime Value) { CheckIdle("SetCreationDate"); FCreationDate = Value; }
void TRpReport::SetModDate(TDateTime Value) { CheckIdle("SetModDate"); FModDate = Value; }
void TRpReport::SetPageLayout(TPdfPageLayout Value) { CheckIdle("SetPageLayout"); FPageLayout = Value; }
void TRpReport::SetPageMode(TPdfPageMode Value) { CheckIdle("SetPageMode"); FPageMode = Value; }
void TRpReport::SetUseOutlines(bool Value) { CheckIdle("SetUseOutlines"); FUseOutlines = Value; }

void TRpReport::SetNonFullScreenPageMode(TPdfPageMode Value)
{
    CheckIdle("SetNonFullScreenPageMode");
    FNonFullScreenPageMode = Value == pmFullScreen ? pmUseNone : Value;
}

void TRpReport::SetViewerPreference(TPdfViewerPreferences Value)
{
    CheckIdle("SetViewerPreference");
    FViewerPreference = Value;
}

void TRpReport::StartDocument()
{
    FOutlineRoot.reset();
    FDoc.reset();
    auto Doc = std::make_unique<TPdfDoc>();
    Doc->SetUseOutlines(FUseOutlines);
    Doc->SetCompressionMethod(CompressionMethod);
    Doc->OpenDocument();
    if (FUseOutlines)
        FOutlineRoot = std::make_unique<TRpOutlineRoot>(Doc->GetOutlineRoot());
    TPdfCatalog *Root = Doc->GetRoot();
    Root->SetPageMode(FPageMode);
    Root->SetPageLayout(FPageLayout);
    if (FNonFullScreenPageMode != pmUseNone)
        Root->SetNonFullScreenPageMode(FNonFullScreenPageMode);
    if (FViewerPreference != 0)
        Root->SetViewerPreference(FViewerPreference);
    Doc->SetAuthor(FAuthor);
    Doc->SetCreationDate(FCreationDate);
    Doc->SetCreator(FCreator);
    Doc->SetKeywords(FKeywords);
    Doc->SetModDate(FModDate);
    Doc->SetSubject(FSubject);
    Doc->SetTitle(FTitle);
    FDoc = std::move(Doc);
    FPageCount = 0;
}

void TRpReport::AppendPage(TRpPage *APage)
{
    if (!FDoc)
        throw EInvalidOperation(QStringLiteral("document is null.."));
    FDoc->AddPage();
    ++FPageCount;
    FCanvas->SetPdfCanvas(FDoc->GetCanvas());
    if (APage)
        APage->RenderToPdf(FCanvas.get());
}

void TRpReport::FinishDocument()
{
    if (!FDoc)
        throw EInvalidOperation(QStringLiteral("document is null.."));
    // Write beside the target and rename, so an existing file is only ever
    // replaced by a complete new one.
    const QString Target = ExpandFileName(FileName);
    // What a killed output of ours left in the folder goes first.
    RemoveLeftoverTemps(ExtractFilePath(Target));
    // The temporary file is named as the program's others are, and stays
    // locked (through Held) until it is in place or removed.
    QString Temp;
    const int Held = CreateTempBeside(Target, Temp);
    if (Held < 0)
        throw EFCreateError(CannotCreateFileText(FileName, errno));
    struct TRelease {
        int Fd;
        ~TRelease() { ::close(Fd); }
    } Release{Held};
    try {
        std::unique_ptr<TFileStream> Stream;
        try {
            Stream = std::make_unique<TFileStream>(Temp, fmCreate);
        } catch (const EFCreateError &E) {
            QString Msg = E.Message();
            Msg.replace(Temp, FileName);
            throw EFCreateError(Msg);
        }
        WriteBehindStream Output(Stream.get());
        FDoc->SaveToStream(&Output);
        Stream->Flush();
        Stream.reset();
        // The new file keeps the permissions of the one it replaces.
        if (QFile::exists(Target))
            QFile::setPermissions(Temp, QFile::permissions(Target));
        if (std::rename(QFile::encodeName(Temp).constData(), QFile::encodeName(Target).constData()) != 0)
            throw EFCreateError(CannotCreateFileText(FileName, errno));
    } catch (...) {
        QFile::remove(Temp);
        throw;
    }
    FCanvas->SetPdfCanvas(nullptr);
    FOutlineRoot.reset();
    FDoc.reset();
}

// ---------------------------------------------------------------- layout aid

namespace {

constexpr TColor GridColor = clSilver;
constexpr TColor PanelFrameColor = 0x008000;
constexpr TColor GridPanelBackColor = 0xEFEFEF;

// Grid lines every half centimetre at 96 pixels per inch (378 pixels are 10 cm).
int GridLine(int I)
{
    return int(Trunc(I * 378.0 / 20));
}

int RulerMark(int I)
{
    return int(Trunc(I * 378.0 / 10));
}

// Draws the page grid clipped to R; (OriginX, OriginY) is where the page's
// top left lies on the canvas, so every control's grid lines up with the page.
void PaintGrid(TCanvas *C, const TRect &R, int OriginX, int OriginY)
{
    C->Pen()->SetColor(GridColor);
    C->Pen()->SetWidth(1);
    for (int I = 0;; ++I) {
        const int X = OriginX + GridLine(I);
        if (X >= R.Right)
            break;
        if (X < R.Left)
            continue;
        C->Pen()->SetStyle(I % 2 == 0 ? psSolid : psDot);
        C->MoveTo(X, R.Top);
        C->LineTo(X, R.Bottom);
    }
    for (int I = 0;; ++I) {
        const int Y = OriginY + GridLine(I);
        if (Y >= R.Bottom)
            break;
        if (Y < R.Top)
            continue;
        C->Pen()->SetStyle(I % 2 == 0 ? psSolid : psDot);
        C->MoveTo(R.Left, Y);
        C->LineTo(R.Right, Y);
    }
    C->Pen()->SetStyle(psSolid);
}

// Where the top left of the page holding Control lies, given that Control's top left is at (X, Y).
void PageOrigin(const TRpControl *Control, int X, int Y, int &OriginX, int &OriginY)
{
    OriginX = X;
    OriginY = Y;
    for (const TRpControl *C = Control; C && !dynamic_cast<const TRpPage *>(C); C = C->Parent()) {
        OriginX -= C->Left();
        OriginY -= C->Top();
    }
}

} // namespace

void TRpPage::Paint(TCanvas *ACanvas, const TRect &R)
{
    ACanvas->Brush()->SetStyle(bsSolid);
    ACanvas->Brush()->SetColor(clWhite);
    ACanvas->FillRect(R);
    PaintGrid(ACanvas, R, R.Left, R.Top);

    const TFont Saved(*ACanvas->Font());
    ACanvas->Brush()->SetStyle(bsClear);
    ACanvas->Font()->SetSize(8);
    ACanvas->Font()->SetColor(GridColor);
    for (int I = 1; RulerMark(I) < R.Width(); ++I)
        ACanvas->TextOut(R.Left + RulerMark(I) + 1, R.Top + 1, QString::number(I));
    for (int I = 1; RulerMark(I) < R.Height(); ++I)
        ACanvas->TextOut(R.Left + 1, R.Top + RulerMark(I) + 1, QString::number(I));
    ACanvas->TextOut(R.Left + 1, R.Top + 1, QStringLiteral("0"));
    ACanvas->SetFont(Saved);
    ACanvas->TextOut(R.Left + 4, R.Top + 4, Name());
}

void TRpPanel::Paint(TCanvas *ACanvas, const TRect &R)
{
    int OriginX = 0;
    int OriginY = 0;
    PageOrigin(this, R.Left, R.Top, OriginX, OriginY);
    PaintGrid(ACanvas, R, OriginX, OriginY);
    ACanvas->Brush()->SetStyle(bsClear);
    ACanvas->TextOut(R.Left + 2, R.Top + 2, Name());
    ACanvas->Pen()->SetColor(PanelFrameColor);
    ACanvas->Pen()->SetStyle(psDot);
    ACanvas->Rectangle(R);
    ACanvas->Pen()->SetStyle(psSolid);
}

void TRpGridPanel::Paint(TCanvas *ACanvas, const TRect &R)
{
    const int CellW = Width() / FColCount;
    const int CellH = Height() / FRowCount;
    if (FColCount * FRowCount > 1) {
        ACanvas->Brush()->SetStyle(bsSolid);
        ACanvas->Brush()->SetColor(GridPanelBackColor);
        ACanvas->FillRect(R);
    }
    const TRect First = Rect(R.Left, R.Top, R.Left + CellW, R.Top + CellH);
    ACanvas->Brush()->SetStyle(bsSolid);
    ACanvas->Brush()->SetColor(clWhite);
    ACanvas->FillRect(First);
    int OriginX = 0;
    int OriginY = 0;
    PageOrigin(this, R.Left, R.Top, OriginX, OriginY);
    PaintGrid(ACanvas, First, OriginX, OriginY);
    ACanvas->Pen()->SetColor(clBlue);
    ACanvas->Pen()->SetStyle(psDot);
    for (int Col = 1; Col < FColCount; ++Col) {
        ACanvas->MoveTo(R.Left + Col * CellW, R.Top);
        ACanvas->LineTo(R.Left + Col * CellW, R.Bottom);
    }
    for (int Row = 1; Row < FRowCount; ++Row) {
        ACanvas->MoveTo(R.Left, R.Top + Row * CellH);
        ACanvas->LineTo(R.Right, R.Top + Row * CellH);
    }
    ACanvas->Pen()->SetStyle(psSolid);
    ACanvas->Brush()->SetStyle(bsClear);
    ACanvas->TextOut(R.Left + 2, R.Top + 2, Name());
}

void TRpImage::Paint(TCanvas *ACanvas, const TRect &R)
{
    TGraphic *G = FPicture->Graphic();
    if (!G || G->Empty())
        return;
    if (Stretch) {
        ACanvas->StretchDraw(R, G);
    } else {
        ACanvas->IntersectClipRect(R);
        ACanvas->Draw(R.Left, R.Top, G);
        ACanvas->SelectClipRect(nullptr);
    }
}
