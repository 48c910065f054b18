#pragma once
// Pictures of published pages: Thtm2jpg2 loads a page into a hidden browser
// view of its own, grabs it tile by tile into one 24-bit picture (or pieces of
// a given height), saves JPEGs and can lay them out as a PDF, one picture per
// page, through the report components.
//
// The view shows the page and nothing else: it reads only files below the
// page's folder and the program's own style and effect folders, never the
// network (a page with remote pictures renders at once without them). A page
// may come from another computer, and a script in it would have routes out
// that no request filter sees (peer-to-peer connections, transports of its
// own, workers) and could read the files it frames: so the page's own scripts
// do not run here, no other document is loaded into the page or in its place
// (no frame, object or embed, no navigation), and only the effects the program
// ships are played, from the program's own copy of their scripts. Loading that
// does not complete within TimeoutMs ends the conversion with failure and no
// files. A conversion that fails says why (LastError): the page that did not
// load, or the step that took too long. No JPEG is taller or wider than libjpeg's 65,500 pixels: a taller
// picture is split at whole viewports, a wider one is refused. JPEGs are
// deleted only after the PDF that holds them was written completely, and only
// those this form listed.
//
// A long conversion reports its steps (OnProgress) and can be stopped
// (Cancel): it then fails with no files of its own left and Cancelled() true.

#include <QImage>
#include <QObject>
#include <QString>
#include <QStringList>
#include <functional>
#include <memory>

class QElapsedTimer;
class QEventLoop;
class QWebEngineProfile;
class QWebEngineUrlRequestInterceptor;
class QWebEngineView;
class TComponent;
class TRpJpegImage;
class TRpLayoutPanel;
class TRpPage;
class TRpReport;

class Thtm2jpg2 : public QObject {
public:
    Thtm2jpg2();
    ~Thtm2jpg2() override;
    Thtm2jpg2(const Thtm2jpg2 &) = delete;
    Thtm2jpg2 &operator=(const Thtm2jpg2 &) = delete;

    // The largest side libjpeg writes.
    static constexpr int MaxJpegSide = 65500;
    // Above this height the one-picture road asks whether to split.
    static constexpr int SplitQuestionHeight = 24000;
    // A piece is held whole in memory (3 bytes a pixel) until it is saved: a
    // page so wide that a piece of its height would take more is split into
    // shorter pieces.
    static qint64 MaxPieceBytes;
    // How long loading, and each step of the grab, may take (milliseconds).
    static int DefaultTimeoutMs;
    int TimeoutMs = DefaultTimeoutMs;
    // Keep the JPEGs after writing a PDF (tests compare them with the PDF's images).
    static bool KeepJpegsAfterPdf;

    // The screen the view takes its size from: width - 8, height - 6 (0: the primary screen's).
    int ScreenWidth = 0;
    int ScreenHeight = 0;

    // Questions to the user: the split question (true for Yes) and notices.
    std::function<bool(const QString &Text, const QString &Caption)> AskYesNo;
    std::function<void(const QString &Text)> Tell;
    // Done of Total steps of the running operation: the tiles of a page while
    // it is grabbed, the pages while a PDF is written.
    std::function<void(int Done, int Total)> OnProgress;

    // Stops the running operation (and every later one) at its next step;
    // every wait under way ends at once, also the waits an event handled
    // during another wait started. Safe to call from an event handler that
    // runs while the form waits.
    void Cancel();
    bool Cancelled() const { return FCancelled; }

    // ---- the form's operations ----
    // One picture of the page at url (split only when the user says so or libjpeg needs it).
    bool HtmlToJpg(const QString &Url, const QString &JpgName);
    // Pictures of PieceHeight (below 101: the screen height - 6); ClearList empties the JPEG list first.
    bool HtmlToJpgPages(const QString &Url, const QString &JpgName, bool ClearList, int PieceHeight);
    // Grabs the loaded page into FileName (or numbered pieces of it); false when nothing was saved.
    bool CreateWBSnapshot(QWebEngineView *Browser, const QString &FileName, int PieceHeight);
    // The PDF of the listed JPEGs, one per page; then the JPEGs are deleted and the list emptied.
    // False (and the JPEGs kept) when the PDF could not be written.
    bool JpgListToPdf(const QString &Name);
    bool StringsToPdf(const QStringList &List, const QString &Name);
    void GetJpgList(QStringList &List) const;
    const QStringList &JpgList() const { return FJpgList; }

    // Why the last operation failed ("" after success).
    QString LastError() const { return FLastError; }
    QWebEngineView *WebBrowser1() const { return FView.get(); }

    // Name of piece Number (from 1) of the picture FileName: "<base>_<Number>.jpg" beside it.
    static QString PieceName(const QString &FileName, int Number);

    // The report components of the form.
    TRpReport *RpReport1 = nullptr;
    TRpPage *RpPage1 = nullptr;
    TRpLayoutPanel *RpLayoutPanel1 = nullptr;
    TRpJpegImage *RpJpegImage1 = nullptr;

private:
    std::unique_ptr<TComponent> FComponents;
    QWebEngineProfile *FProfile = nullptr;   // our own, off the record; outlives the view
    QWebEngineUrlRequestInterceptor *FInterceptor = nullptr;   // owned by the profile
    std::unique_ptr<QWebEngineView> FView;
    QStringList FJpgList;
    QString FLastError;
    bool FViewReady = false;                 // the view holds the engine's widget
    bool FSplitPieces = false;               // CreateWBSnapshot lists an unsplit picture too
    bool FCancelled = false;
    bool FTimedOut = false;                  // a wait or a step of the operation reached its deadline
    QList<QEventLoop *> FWaiting;            // the loops of the waits under way, the innermost last

    bool Snapshot(const QString &FileName, int PieceHeight);
    void Fail(const QString &Reason);
    QString Seconds() const;
    bool Navigate(const QString &Url);
    void PlayShippedEffects();
    bool WaitFor(const std::function<bool()> &Done, const QElapsedTimer &Clock, QEventLoop &Loop);
    bool Evaluate(const QString &Script, QVariant &Result);
    bool WaitForPaint();
    QImage GrabViewport();
    bool SavePicture(const QImage &Image, const QString &FileName);
    int ScreenW() const;
    int ScreenH() const;
};
