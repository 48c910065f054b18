#pragma once
// The report components: pages laid out as a small tree of controls (parents,
// alignment, bounds) and printed into a PDF document, one TRpPage per PDF page.
// They are headless; a control can paint its layout aid with a platform canvas.

#include "pdf/PdfDoc.h"
#include "platform/graphics/Graphics.h"
#include "platform/graphics/Jpeg.h"

#include <functional>
#include <memory>
#include <vector>

enum TAlign { alNone, alTop, alBottom, alLeft, alRight, alClient };
enum TPrintDirection { pdHorz, pdVert };

class TRpCanvas;

// A control of the report tree. The owner (a TComponent) frees controls; a
// control freed before its parent or children leaves the tree cleanly.
class TRpControl : public TComponent {
public:
    explicit TRpControl(TComponent *AOwner = nullptr);
    ~TRpControl() override;

    virtual QString ClassName() const = 0;

    TRpControl *Parent() const { return FParent; }
    // Places the control into AParent (last in its child order), after the parent checks.
    virtual void SetParent(TRpControl *AParent);
    int ControlCount() const { return int(FControls.size()); }
    TRpControl *Controls(int Index) const { return FControls.at(size_t(Index)); }

    int Left() const { return FLeft; }
    int Top() const { return FTop; }
    int Width() const { return FWidth; }
    int Height() const { return FHeight; }
    void SetLeft(int Value) { SetBounds(Value, FTop, FWidth, FHeight); }
    void SetTop(int Value) { SetBounds(FLeft, Value, FWidth, FHeight); }
    void SetWidth(int Value) { SetBounds(FLeft, FTop, Value, FHeight); }
    void SetHeight(int Value) { SetBounds(FLeft, FTop, FWidth, Value); }
    virtual void SetBounds(int ALeft, int ATop, int AWidth, int AHeight);
    TRect BoundsRect() const;
    // The area that aligned children share, in the control's own coordinates.
    virtual TRect ClientRect() const;
    TAlign Align() const { return FAlign; }
    void SetAlign(TAlign Value);
    // Lays the aligned children out again.
    void Realign();

    // Asks for a repaint; headless controls only count the requests.
    void Invalidate() { ++FPaintRequests; }
    int PaintRequests() const { return FPaintRequests; }
    // Paints the layout aid of this control and its children onto ACanvas,
    // with this control's top left at (X, Y).
    void PaintTo(TCanvas *ACanvas, int X, int Y);

protected:
    virtual void CheckParent(TRpControl *AParent);
    virtual void Paint(TCanvas *ACanvas, const TRect &R);
    virtual void Resized() {}
    // The page this control lies on, or none.
    class TRpPage *Page() const;

private:
    void RemoveControl(TRpControl *AControl);
    TRpControl *FParent = nullptr;
    std::vector<TRpControl *> FControls;
    int FLeft = 0;
    int FTop = 0;
    int FWidth = 0;
    int FHeight = 0;
    TAlign FAlign = alNone;
    int FPaintRequests = 0;
    bool FAligning = false;
};

// What printing items draw on: the canvas of the PDF page being printed.
class TRpCanvas : public TObject {
public:
    TPdfCanvas *PdfCanvas() const { return FCanvas; }
    void SetPdfCanvas(TPdfCanvas *Value) { FCanvas = Value; }
    int PageHeight() const;
    int PageWidth() const;

private:
    TPdfCanvas *FCanvas = nullptr;
};

using TRpPrintPageEvent = std::function<void(TObject *Sender, TRpCanvas *ACanvas)>;
using TRpPrintPanelEvent = std::function<void(TObject *Sender, TRpCanvas *ACanvas, TRect Rect)>;
using TRpPrintChildPanelEvent =
    std::function<void(TObject *Sender, TRpCanvas *ACanvas, int ACol, int ARow, TRect Rect)>;

class TRpPage : public TRpControl {
public:
    explicit TRpPage(TComponent *AOwner = nullptr);
    ~TRpPage() override;
    QString ClassName() const override { return QStringLiteral("TRpPage"); }

    int MarginTop() const { return FMarginTop; }
    int MarginLeft() const { return FMarginLeft; }
    int MarginRight() const { return FMarginRight; }
    int MarginBottom() const { return FMarginBottom; }
    // A margin must not be negative and must stay below half the page width.
    void SetMarginTop(int Value);
    void SetMarginLeft(int Value);
    void SetMarginRight(int Value);
    void SetMarginBottom(int Value);
    TRect ClientRect() const override;

    // The document this page measures with (its canvas is locked).
    TPdfDoc *MeasuringDoc() const { return FDoc.get(); }
    TRpPrintPageEvent OnPrintPage;

    // Prints the page onto the current PDF page of ACanvas.
    virtual void RenderToPdf(TRpCanvas *ACanvas);

protected:
    void CheckParent(TRpControl *AParent) override;
    void Paint(TCanvas *ACanvas, const TRect &R) override;

private:
    bool AcceptMargin(int Value) const;
    int FMarginTop = 32;
    int FMarginLeft = 32;
    int FMarginRight = 32;
    int FMarginBottom = 32;
    std::unique_ptr<TPdfDoc> FDoc;
};

class TRpPanel : public TRpControl {
public:
    explicit TRpPanel(TComponent *AOwner = nullptr);
    QString ClassName() const override { return QStringLiteral("TRpPanel"); }
    TColor Color = clWindow;
    virtual void RenderToPdf(TRpCanvas *ACanvas, TRect Rect);

protected:
    void Paint(TCanvas *ACanvas, const TRect &R) override;
    void RenderChildren(TRpCanvas *ACanvas, const TRect &Rect);
};

class TRpChildPanel : public TRpPanel {
public:
    using TRpPanel::TRpPanel;
    QString ClassName() const override { return QStringLiteral("TRpChildPanel"); }
};

class TRpLayoutPanel : public TRpPanel {
public:
    using TRpPanel::TRpPanel;
    QString ClassName() const override { return QStringLiteral("TRpLayoutPanel"); }
    TRpPrintPanelEvent BeforePrint;
    TRpPrintPanelEvent AfterPrint;
    void RenderToPdf(TRpCanvas *ACanvas, TRect Rect) override;

protected:
    void CheckParent(TRpControl *AParent) override;
};

class TRpGridPanel : public TRpPanel {
public:
    explicit TRpGridPanel(TComponent *AOwner = nullptr);
    ~TRpGridPanel() override;
    QString ClassName() const override { return QStringLiteral("TRpGridPanel"); }
    int ColCount() const { return FColCount; }
    void SetColCount(int Value);
    int RowCount() const { return FRowCount; }
    void SetRowCount(int Value);
    TPrintDirection PrintDirection = pdHorz;
    TRpChildPanel *ChildPanel() const { return FChildPanel.get(); }
    TRpPrintPanelEvent BeforePrint;
    TRpPrintPanelEvent AfterPrint;
    TRpPrintChildPanelEvent BeforePrintChild;
    TRpPrintChildPanelEvent AfterPrintChild;
    void RenderToPdf(TRpCanvas *ACanvas, TRect Rect) override;

protected:
    void Resized() override;
    void Paint(TCanvas *ACanvas, const TRect &R) override;

private:
    void SizeChildPanel();
    int FColCount = 1;
    int FRowCount = 1;
    std::unique_ptr<TRpChildPanel> FChildPanel;
};

class TRpItem : public TRpControl {
public:
    explicit TRpItem(TComponent *AOwner = nullptr);
    QString ClassName() const override { return QStringLiteral("TRpItem"); }
    bool Printable = true;
    // An item on a grid panel goes onto its child panel.
    void SetParent(TRpControl *AParent) override;
    virtual void RenderToPdf(TRpCanvas *ACanvas, TRect Rect);

protected:
    void CheckParent(TRpControl *AParent) override;
};

// A bitmap picture printed as an image XObject.
class TRpImage : public TRpItem {
public:
    explicit TRpImage(TComponent *AOwner = nullptr);
    ~TRpImage() override;
    QString ClassName() const override { return QStringLiteral("TRpImage"); }
    TPicture *Picture() const { return FPicture.get(); }
    // Copies Value's graphic; a graphic of the wrong kind raises Exception and changes nothing.
    virtual void SetPicture(TPicture *Value);
    bool SharedImage = true;
    bool Stretch = true;
    void RenderToPdf(TRpCanvas *ACanvas, TRect Rect) override;

protected:
    void Paint(TCanvas *ACanvas, const TRect &R) override;
    // Draws the named image object into Rect on ACanvas.
    void DrawImage(TRpCanvas *ACanvas, const TRect &Rect, const QByteArray &AName);
    std::unique_ptr<TPicture> FPicture;
};

// A JPEG picture embedded unchanged.
class TRpJpegImage : public TRpImage {
public:
    using TRpImage::TRpImage;
    QString ClassName() const override { return QStringLiteral("TRpJpegImage"); }
    void SetPicture(TPicture *Value) override;
    void RenderToPdf(TRpCanvas *ACanvas, TRect Rect) override;
};

class TRpOutlineRoot : public TObject {
public:
    explicit TRpOutlineRoot(TPdfOutlineRoot *ARoot) : FRoot(ARoot) {}
    TPdfOutlineRoot *PdfOutlineRoot() const { return FRoot; }
    TPdfOutlineEntry *AddChild() { return FRoot->AddChild(); }

private:
    TPdfOutlineRoot *FRoot;
};

class TAbstractRpReport : public TComponent {
public:
    using TComponent::TComponent;
};

class TRpReport : public TAbstractRpReport {
public:
    explicit TRpReport(TComponent *AOwner = nullptr);
    ~TRpReport() override;

    QString FileName = QStringLiteral("default.pdf");
    QString Author() const { return FAuthor; }
    void SetAuthor(const QString &Value);
    QString Creator() const { return FCreator; }
    void SetCreator(const QString &Value);
    QString Keywords() const { return FKeywords; }
    void SetKeywords(const QString &Value);
    QString Subject() const { return FSubject; }
    void SetSubject(const QString &Value);
    QString Title() const { return FTitle; }
    void SetTitle(const QString &Value);
    TDateTime CreationDate() const { return FCreationDate; }
    void SetCreationDate(TDateTime Value);
    TDateTime ModDate() const { return FModDate; }
    void SetModDate(TDateTime Value);
    TPdfPageLayout PageLayout() const { return FPageLayout; }
    void SetPageLayout(TPdfPageLayout Value);
    TPdfPageMode PageMode() const { return FPageMode; }
    void SetPageMode(TPdfPageMode Value);
    TPdfPageMode NonFullScreenPageMode() const { return FNonFullScreenPageMode; }
    void SetNonFullScreenPageMode(TPdfPageMode Value);
    bool UseOutlines() const { return FUseOutlines; }
    void SetUseOutlines(bool Value);
    TPdfViewerPreferences ViewerPreference() const { return FViewerPreference; }
    void SetViewerPreference(TPdfViewerPreferences Value);
    TPdfCompressionMethod CompressionMethod = cmNone;

    void StartDocument();
    void AppendPage(TRpPage *APage);
    // Writes the document to FileName (replacing a file there only by a
    // complete new one) and frees it.
    void FinishDocument();

    TPdfDoc *Doc() const { return FDoc.get(); }
    int PageCount() const { return FPageCount; }
    TRpCanvas *Canvas() const { return FCanvas.get(); }
    TRpOutlineRoot *OutlineRoot() const { return FOutlineRoot.get(); }

private:
    void CheckIdle(const char *Operation) const;
    QString FAuthor, FCreator, FKeywords, FSubject, FTitle;
    TDateTime FCreationDate;
    TDateTime FModDate = 0;
    TPdfPageLayout FPageLayout = plSinglePage;
    TPdfPageMode FPageMode = pmUseNone;
    TPdfPageMode FNonFullScreenPageMode = pmUseNone;
    bool FUseOutlines = false;
    TPdfViewerPreferences FViewerPreference = 0;
    std::unique_ptr<TPdfDoc> FDoc;
    int FPageCount = 0;
    std::unique_ptr<TRpCanvas> FCanvas;
    std::unique_ptr<TRpOutlineRoot> FOutlineRoot;
};
