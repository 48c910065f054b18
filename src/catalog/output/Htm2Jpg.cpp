// The page-to-picture form. The view is shown off screen (it renders only when
// shown) in a profile of its own that keeps nothing and loads only the page's own files.
// Every wait is bounded by TimeoutMs and ends on the event that it waits for:
// the load, the document's complete state, or two animation frames after a
// scroll (so the grabbed tile shows the scrolled page, never a stale one), or
// on a cancel.
//
// The page's scripts are switched off in the engine: that is the one switch
// that holds for every script of the page, in every frame and worker it could
// make, whatever interface it would use. The form's own scripts (measuring,
// scrolling, the marker) and the shipped effects run in a world of their own
// beside the page's, which sees the same document and shares nothing else with it.

#include "Htm2Jpg.h"

#include "WebEffects.h"
#include "pdf/PdfReport.h"
#include "platform/core/FileUtils.h"
#include "platform/core/Types.h"
#include "platform/graphics/Graphics.h"
#include "platform/graphics/Jpeg.h"

#include <QColor>
#include <QElapsedTimer>
#include <QDir>
#include <QFileInfo>
#include <QEventLoop>
#include <QGuiApplication>
#include <QImageReader>
#include <QJsonArray>
#include <QJsonDocument>
#include <QRegularExpression>
#include <QPainter>
#include <QPointer>
#include <QScreen>
#include <QTimer>
#include <QUrl>
#include <QWebEnginePage>
#include <QWebEngineProfile>
#include <QWebEngineScript>
#include <QWebEngineSettings>
#include <QWebEngineUrlRequestInterceptor>
#include <QWebEngineView>

#include <utility>

int Thtm2jpg2::DefaultTimeoutMs = 60000;
bool Thtm2jpg2::KeepJpegsAfterPdf = false;
qint64 Thtm2jpg2::MaxPieceBytes = qint64(512) << 20;

namespace {

// The page and nothing else of the disk: the page itself, and what a page
// shows of its own (pictures, styles, fonts, media) when it is inline data or
// a file below one of the allowed folders (the folder of the page being
// rendered, the program's own style and effect folders), looked up with its
// links resolved. Everything else is refused at once, so a remote picture
// never holds the page's load and a page from another computer cannot show
// the user's files. Another document (a frame, an object, a page navigated
// to) would show a file's text in the picture: none is loaded.
class TPageFilesOnly : public QWebEngineUrlRequestInterceptor {
public:
    using QWebEngineUrlRequestInterceptor::QWebEngineUrlRequestInterceptor;
    void SetAllowed(const QStringList &Folders) { FAllowed = Folders; }
    void SetPage(const QUrl &Page) { FPage = Page.adjusted(QUrl::RemoveFragment); }
    void interceptRequest(QWebEngineUrlRequestInfo &Info) override
    {
        const QUrl Url = Info.requestUrl();
        switch (Info.resourceType()) {
        case QWebEngineUrlRequestInfo::ResourceTypeMainFrame:
            Info.block(Url.adjusted(QUrl::RemoveFragment) != FPage || !Readable(Url));
            return;
        case QWebEngineUrlRequestInfo::ResourceTypeStylesheet:
        case QWebEngineUrlRequestInfo::ResourceTypeImage:
        case QWebEngineUrlRequestInfo::ResourceTypeFontResource:
        case QWebEngineUrlRequestInfo::ResourceTypeMedia:
        case QWebEngineUrlRequestInfo::ResourceTypeFavicon:
        case QWebEngineUrlRequestInfo::ResourceTypeSubResource:
        case QWebEngineUrlRequestInfo::ResourceTypePrefetch:
            Info.block(!Readable(Url));
            return;
        default:
            // Frames, objects, scripts and what only scripts ask for.
            Info.block(true);
            return;
        }
    }

private:
    QStringList FAllowed;   // canonical folders, each ending in "/"
    QUrl FPage;             // the one document the view may show

    bool Readable(const QUrl &Url) const
    {
        const QString Scheme = Url.scheme().toLower();
        if (Scheme == QLatin1String("data"))
            return true;
        return Scheme == QLatin1String("file") && Inside(Url.toLocalFile());
    }

    bool Inside(const QString &File) const
    {
        const QString Real = QFileInfo(File).canonicalFilePath();
        if (Real.isEmpty())
            return false;
        for (const QString &Folder : FAllowed)
            if (Real.startsWith(Folder))
                return true;
        return false;
    }
};

// A folder as the interceptor compares it: links resolved, "/" at the end;
// "" when it does not exist.
QString CanonicalFolder(const QString &Folder)
{
    const QString Real = QFileInfo(Folder).canonicalFilePath();
    return Real.isEmpty() ? QString() : IncludeTrailingPathDelimiter(Real);
}

// The view's page: it goes to the one document it is given (first an empty
// page, then the page to photograph), once, and nowhere else, neither by
// itself (a refresh, a link) nor in a frame. A page that reloads itself (a
// refresh of its own address, at once or every few seconds) would never hold
// still to be taken: its reloads and redirects are refused like any other
// navigation. A navigation refused here leaves the page shown as it is, where
// a refused request would put an error page in its place.
class TOneDocument : public QWebEnginePage {
public:
    using QWebEnginePage::QWebEnginePage;
    void SetDocument(const QUrl &Url)
    {
        FDocument = Url.adjusted(QUrl::RemoveFragment);
        FTaken = false;
    }

protected:
    bool acceptNavigationRequest(const QUrl &Url, NavigationType, bool IsMainFrame) override
    {
        if (!IsMainFrame || FTaken || Url.adjusted(QUrl::RemoveFragment) != FDocument)
            return false;
        FTaken = true;
        return true;
    }

private:
    QUrl FDocument;
    bool FTaken = false;
};

// The world the form's own scripts run in: the page's document, none of the page's scripts.
constexpr quint32 OwnWorld = QWebEngineScript::ApplicationWorld;

// A script's text as the page holds it and as the program ships it compare alike.
QString ScriptKey(QString Text)
{
    Text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    Text.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    return Text.trimmed();
}

// The scripts of the effects the program ships (css/<effect>/<effect>head.txt
// and body.txt), each once.
QStringList ShippedEffectScripts()
{
    static const QRegularExpression Script(QStringLiteral("<script\\b[^>]*>(.*?)</script\\s*>"),
                                           QRegularExpression::CaseInsensitiveOption
                                               | QRegularExpression::DotMatchesEverythingOption);
    QStringList Scripts;
    const QString Css = ProgramFolder() + QStringLiteral("css");
    for (const QString &Effect : QDir(Css).entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name))
        for (const char *Part : {"head", "body"}) {
            const QString Text = WebEffects::LoadEffectText(ProgramFolder(), Effect, QString::fromLatin1(Part));
            for (auto It = Script.globalMatch(Text); It.hasNext();) {
                const QString Key = ScriptKey(It.next().captured(1));
                if (!Key.isEmpty() && !Scripts.contains(Key))
                    Scripts << Key;
            }
        }
    return Scripts;
}

// Timers do not run in the form's world (they are the page's, and the page's
// scripts are off): the effects get timers driven by animation frames, which do.
const char *const FrameTimers = R"JS((function(){
if (window.__qbTimers) return;
window.__qbTimers = true;
var list = [], next = 1;
function add(repeat) {
  return function(fn, ms) {
    if (typeof fn !== 'function') return 0;
    var args = Array.prototype.slice.call(arguments, 2), wait = Math.max(0, Number(ms) || 0);
    list.push({id: next, fn: fn, args: args, at: performance.now() + wait, every: repeat ? Math.max(wait, 1) : 0});
    return next++;
  };
}
function remove(id) {
  for (var i = 0; i < list.length; i++) if (list[i].id === id) { list.splice(i, 1); return; }
}
function tick(now) {
  var due = list.filter(function(t) { return t.at <= now; });
  for (var i = 0; i < due.length; i++) {
    var t = due[i], k = list.indexOf(t);
    if (k < 0) continue;
    if (t.every) t.at = now + t.every; else list.splice(k, 1);
    try { t.fn.apply(window, t.args); } catch (e) {}
  }
  requestAnimationFrame(tick);
}
window.setTimeout = add(false);
window.setInterval = add(true);
window.clearTimeout = remove;
window.clearInterval = remove;
requestAnimationFrame(tick);
})())JS";

// The marker's pixels in the view's bottom row show Colour.
bool ShowsMark(const QImage &Tile, int Row, const QColor &Colour)
{
    for (int X : {1, 4}) {
        const QColor C = Tile.pixelColor(X, Row);
        if (std::abs(C.red() - Colour.red()) > 2 || std::abs(C.green() - Colour.green()) > 2
            || std::abs(C.blue() - Colour.blue()) > 2)
            return false;
    }
    return true;
}

const QString TooWide = QStringLiteral("页面宽度超过65500像素，不能保存为JPEG图片。");
const QString TooTall = QStringLiteral("页面高度超过65500像素，超出JPEG图片的最大高度，已自动拆分为多个图片。");
const QString TooLarge = QStringLiteral("页面太大，不能保存为一个JPEG图片，已自动拆分为多个图片。");

} // namespace

Thtm2jpg2::Thtm2jpg2() : FComponents(std::make_unique<TComponent>())
{
    // The form's report components as its resource sets them.
    RpReport1 = new TRpReport(FComponents.get());
    RpReport1->SetName(QStringLiteral("RpReport1"));
    RpReport1->FileName = QStringLiteral("default.pdf");
    RpReport1->SetUseOutlines(false);
    RpPage1 = new TRpPage(FComponents.get());
    RpPage1->SetName(QStringLiteral("RpPage1"));
    RpPage1->SetBounds(0, 0, 568, 842);
    RpPage1->SetMarginTop(32);
    RpPage1->SetMarginLeft(32);
    RpPage1->SetMarginRight(32);
    RpPage1->SetMarginBottom(32);
    RpLayoutPanel1 = new TRpLayoutPanel(FComponents.get());
    RpLayoutPanel1->SetName(QStringLiteral("RpLayoutPanel1"));
    RpLayoutPanel1->SetParent(RpPage1);
    RpLayoutPanel1->SetAlign(alClient);
    RpJpegImage1 = new TRpJpegImage(FComponents.get());
    RpJpegImage1->SetName(QStringLiteral("RpJpegImage1"));
    RpJpegImage1->SetParent(RpLayoutPanel1);
    RpJpegImage1->SetAlign(alClient);
    RpJpegImage1->Stretch = false;
    RpJpegImage1->SharedImage = false;

    FProfile = new QWebEngineProfile(this);   // no storage name: off the record
    FInterceptor = new TPageFilesOnly(FProfile);
    FProfile->setUrlRequestInterceptor(FInterceptor);
    FProfile->setHttpCacheType(QWebEngineProfile::MemoryHttpCache);
    FView = std::make_unique<QWebEngineView>();
    FView->setObjectName(QStringLiteral("WebBrowser1"));
    FView->setPage(new TOneDocument(FProfile, FView.get()));
    QWebEngineSettings *S = FView->page()->settings();
    S->setAttribute(QWebEngineSettings::ShowScrollBars, false);
    S->setAttribute(QWebEngineSettings::ErrorPageEnabled, false);
    S->setAttribute(QWebEngineSettings::JavascriptEnabled, false);
    S->setAttribute(QWebEngineSettings::JavascriptCanOpenWindows, false);
    S->setAttribute(QWebEngineSettings::PluginsEnabled, false);
    S->setAttribute(QWebEngineSettings::DnsPrefetchEnabled, false);
    S->setAttribute(QWebEngineSettings::AutoLoadIconsForPage, false);
    S->setAttribute(QWebEngineSettings::LocalStorageEnabled, false);
    S->setAttribute(QWebEngineSettings::LocalContentCanAccessRemoteUrls, false);
    // Which files the page reads is the interceptor's to say: the engine's
    // own switch for it would also hold back the page's own pictures.
    S->setAttribute(QWebEngineSettings::LocalContentCanAccessFileUrls, true);
    FView->setAttribute(Qt::WA_DontShowOnScreen);
}

Thtm2jpg2::~Thtm2jpg2()
{
    // The page goes before the profile it lives in.
    FView.reset();
}

int Thtm2jpg2::ScreenW() const
{
    if (ScreenWidth > 0)
        return ScreenWidth;
    const QScreen *S = QGuiApplication::primaryScreen();
    return S ? S->size().width() : 1024;
}

int Thtm2jpg2::ScreenH() const
{
    if (ScreenHeight > 0)
        return ScreenHeight;
    const QScreen *S = QGuiApplication::primaryScreen();
    return S ? S->size().height() : 768;
}

QString Thtm2jpg2::PieceName(const QString &FileName, int Number)
{
    return ChangeFileExt(FileName, QString()) + QStringLiteral("_%1.jpg").arg(Number);
}

// ---------------------------------------------------------------- browser

void Thtm2jpg2::Cancel()
{
    FCancelled = true;
    // An outer wait ends too: it would otherwise go on until what it waits
    // for comes, or its deadline, once the inner one has returned.
    for (QEventLoop *Loop : std::as_const(FWaiting))
        Loop->quit();
}

// The first reason of a failure is the one the user reads; a cancel needs none.
void Thtm2jpg2::Fail(const QString &Reason)
{
    if (FLastError.isEmpty() && !FCancelled)
        FLastError = Reason;
}

QString Thtm2jpg2::Seconds() const
{
    return QString::number(std::max(1, (TimeoutMs + 999) / 1000));
}

// Handles events until Done(), the deadline or a cancel; false at the deadline
// and on a cancel. The deadline's timer goes with the wait: a single-shot
// timer would stay registered until it fired, and a book's hundreds of waits
// would leave every later timer of the program to be sorted in among them.
bool Thtm2jpg2::WaitFor(const std::function<bool()> &Done, const QElapsedTimer &Clock, QEventLoop &Loop)
{
    QTimer Deadline;
    Deadline.setSingleShot(true);
    QObject::connect(&Deadline, &QTimer::timeout, &Loop, &QEventLoop::quit);
    // Waits nest (an event handled during one may start another): a cancel
    // ends them all.
    FWaiting.append(&Loop);
    struct TRestore {
        QList<QEventLoop *> &Waiting;
        ~TRestore() { Waiting.removeLast(); }
    } Restore{FWaiting};
    while (!FCancelled && !Done()) {
        const qint64 Left = TimeoutMs - Clock.elapsed();
        if (Left <= 0) {
            FTimedOut = true;
            return false;
        }
        Deadline.start(int(Left));
        Loop.exec();
    }
    return !FCancelled;
}

bool Thtm2jpg2::Navigate(const QString &Url)
{
    const QUrl Address(Url);
    if (Address.isLocalFile() && !FileExists(Address.toLocalFile())) {
        Fail(QStringLiteral("页面文件“%1”不存在。").arg(QDir::toNativeSeparators(Address.toLocalFile())));
        return false;
    }
    FView->resize(std::max(ScreenW() - 8, 64), std::max(ScreenH() - 6, 64));
    QElapsedTimer Clock;
    Clock.start();
    QEventLoop Loop;
    // The view is shown (it renders only when shown) but never on screen.
    // Its first page makes it take the widget the engine draws in, and Qt
    // makes a window that is shown already anew for that, on screen, whatever
    // the view's attributes say: so the view takes that widget before it is
    // first shown, with an empty page.
    if (!FViewReady) {
        bool Blank = false;
        const QMetaObject::Connection B = connect(FView->page(), &QWebEnginePage::loadFinished, &Loop, [&](bool) {
            Blank = true;
            Loop.quit();
        });
        static_cast<TOneDocument *>(FView->page())->SetDocument(QUrl(QStringLiteral("about:blank")));
        FView->page()->load(QUrl(QStringLiteral("about:blank")));
        WaitFor([&] { return Blank; }, Clock, Loop);
        disconnect(B);
        if (FCancelled)
            return false;
        FViewReady = true;
    }
    FView->show();
    bool Finished = false;
    bool Ok = false;
    const QMetaObject::Connection C = connect(FView->page(), &QWebEnginePage::loadFinished, &Loop, [&](bool Success) {
        Finished = true;
        Ok = Success;
        Loop.quit();
    });
    // Only the page's folder (and what lies below it) and the program's own
    // style and effect folders are read.
    QStringList Allowed;
    if (Address.isLocalFile())
        Allowed << CanonicalFolder(QFileInfo(Address.toLocalFile()).absolutePath());
    for (const char *Own : {"html", "css"})
        Allowed << CanonicalFolder(ProgramFolder() + QString::fromLatin1(Own));
    Allowed.removeAll(QString());
    static_cast<TPageFilesOnly *>(FInterceptor)->SetAllowed(Allowed);
    static_cast<TPageFilesOnly *>(FInterceptor)->SetPage(Address);
    static_cast<TOneDocument *>(FView->page())->SetDocument(Address);
    FView->page()->load(Address);
    const bool Loaded = WaitFor([&] { return Finished; }, Clock, Loop);
    disconnect(C);
    const QString Shown = Address.isLocalFile() ? QDir::toNativeSeparators(Address.toLocalFile()) : Url;
    const QString TooLong = QStringLiteral("页面“%1”在%2秒内没有载入完毕。").arg(Shown, Seconds());
    if (!Loaded) {
        Fail(TooLong);
        return false;
    }
    if (!Ok) {
        Fail(QStringLiteral("页面“%1”不能载入。").arg(Shown));
        return false;
    }
    // Pictures may still come after the load event of the main frame.
    while (true) {
        QVariant State;
        if (!Evaluate(QStringLiteral("document.readyState"), State)) {
            Fail(TooLong);
            return false;
        }
        if (State.toString() == QLatin1String("complete"))
            break;
        bool Slept = false;
        QTimer::singleShot(10, &Loop, [&] {
            Slept = true;
            Loop.quit();
        });
        if (!WaitFor([&] { return Slept; }, Clock, Loop)) {
            Fail(TooLong);
            return false;
        }
    }
    PlayShippedEffects();
    return !FCancelled;
}

void Thtm2jpg2::PlayShippedEffects()
{
    // The page names the effects it shows by holding their scripts; what runs
    // is the program's own copy of each, never the page's text.
    const QStringList Own = ShippedEffectScripts();
    if (Own.isEmpty())
        return;
    QVariant Held;
    const QString Find = QStringLiteral(R"JS((function(own){var r=[],s=document.scripts;for(var i=0;i<s.length;i++){
if(s[i].src)continue;var k=own.indexOf(s[i].text.replace(/\r\n?/g,'\n').trim());if(k>=0)r.push(k);}return r;})(%1))JS")
                             .arg(QString::fromUtf8(QJsonDocument(QJsonArray::fromStringList(Own)).toJson(QJsonDocument::Compact)));
    if (!Evaluate(Find, Held) || Held.toList().isEmpty())
        return;
    QVariant Ignored;
    if (!Evaluate(QString::fromUtf8(FrameTimers), Ignored))
        return;
    for (const QVariant &Index : Held.toList()) {
        const int K = Index.toInt();
        // Each one alone: a shipped effect that fails leaves the others playing.
        if (K >= 0 && K < Own.size() && !Evaluate(Own.at(K) + QStringLiteral("\n;0"), Ignored))
            return;
    }
}

bool Thtm2jpg2::Evaluate(const QString &Script, QVariant &Result)
{
    // The answer may come after we gave up (or never, from a hanging page):
    // it lands in shared state, never on this frame.
    struct TAnswer {
        bool Done = false;
        QVariant Value;
        QPointer<QEventLoop> Loop;
    };
    auto Answer = std::make_shared<TAnswer>();
    QEventLoop Loop;
    Answer->Loop = &Loop;
    FView->page()->runJavaScript(Script, OwnWorld, [Answer](const QVariant &V) {
        Answer->Done = true;
        Answer->Value = V;
        if (Answer->Loop)
            Answer->Loop->quit();
    });
    QElapsedTimer Clock;
    Clock.start();
    if (!WaitFor([&] { return Answer->Done; }, Clock, Loop))
        return false;
    Result = Answer->Value;
    return true;
}

bool Thtm2jpg2::WaitForPaint()
{
    // Set by the script that scrolled, two animation frames later.
    QElapsedTimer Clock;
    Clock.start();
    while (true) {
        QVariant Painted;
        if (!Evaluate(QStringLiteral("window.__qbPainted === true"), Painted))
            return false;
        if (Painted.toBool())
            return true;
        if (FCancelled)
            return false;
        if (Clock.elapsed() >= TimeoutMs) {
            FTimedOut = true;
            return false;
        }
    }
}

QImage Thtm2jpg2::GrabViewport()
{
    QImage Image = FView->grab().toImage();
    // On a scaled screen the grab holds device pixels; the document's layout
    // (and the picture) counts CSS pixels. Nearest pixels keep the marker row whole.
    if (Image.devicePixelRatio() != 1.0 || Image.size() != FView->size())
        Image = Image.scaled(FView->size(), Qt::IgnoreAspectRatio, Qt::FastTransformation);
    Image.setDevicePixelRatio(1);
    return Image;
}

bool Thtm2jpg2::SavePicture(const QImage &Image, const QString &FileName)
{
    try {
        TBitmap Bitmap;
        Bitmap.SetImage(Image.convertToFormat(QImage::Format_RGB888));
        TJPEGImage Jpeg;
        Jpeg.Assign(&Bitmap);
        Jpeg.SaveToFile(FileName);
        return true;
    } catch (const Exception &E) {
        FLastError = E.Message();
        return false;
    }
}

// ---------------------------------------------------------------- pictures

bool Thtm2jpg2::HtmlToJpg(const QString &Url, const QString &JpgName)
{
    FLastError.clear();
    FTimedOut = false;
    if (!Navigate(Url))
        return false;
    FSplitPieces = false;
    return CreateWBSnapshot(FView.get(), JpgName, 0);
}

bool Thtm2jpg2::HtmlToJpgPages(const QString &Url, const QString &JpgName, bool ClearList, int PieceHeight)
{
    FLastError.clear();
    FTimedOut = false;
    if (PieceHeight < 101)
        PieceHeight = ScreenH() - 6;
    if (ClearList)
        FJpgList.clear();
    if (!Navigate(Url))
        return false;
    // A page that fits one piece is still one of the pictures the list collects.
    FSplitPieces = true;
    const bool Done = CreateWBSnapshot(FView.get(), JpgName, PieceHeight);
    FSplitPieces = false;
    return Done;
}

bool Thtm2jpg2::CreateWBSnapshot(QWebEngineView *Browser, const QString &FileName, int PieceHeight)
{
    if (Browser != FView.get())
        return false;
    FLastError.clear();
    FTimedOut = false;
    // A grab that fails half-way leaves none of its pieces behind.
    const qsizetype Before = FJpgList.size();
    if (Snapshot(FileName, PieceHeight))
        return true;
    const QUrl Page = FView->page()->url();
    const QString Shown = Page.isLocalFile() ? QDir::toNativeSeparators(Page.toLocalFile()) : Page.toString();
    Fail(FTimedOut ? QStringLiteral("页面“%1”在%2秒内没有画成图片。").arg(Shown, Seconds())
                   : QStringLiteral("页面“%1”不能画成图片。").arg(Shown));
    while (FJpgList.size() > Before)
        DeleteFile(FJpgList.takeLast());
    return false;
}

bool Thtm2jpg2::Snapshot(const QString &FileName, int PieceHeight)
{
    const bool ListWhole = FSplitPieces;
    // The bottom row of the view holds a marker whose colour names the scroll
    // step; a grab counts only once the marker shows the step's colour, so a
    // frame painted before the scroll never becomes a tile. A spacer below
    // the document lets the last rows scroll above the marker. Both are styled
    // "!important" inline, which no style sheet of the page outranks (a page
    // may hide or recolour every block with an "!important" of its own). They
    // stand outside the body, which may be transformed or filtered and would
    // then hold the fixed marker at its own end instead of the window's. The
    // marker is kept by reference, not looked up by a name the page may use.
    // A page that fades or slides in (the shipped fade-in effect) is taken
    // as it stands once its animations are over, not blank half-way through
    // them; an endless one is taken as it runs.
    QVariant Metrics;
    if (!Evaluate(QStringLiteral("(function(){document.getAnimations().forEach(function(a){try{"
                                 "if(isFinite(a.effect.getComputedTiming().endTime))a.finish();}catch(x){}});"
                                 "var e=document.scrollingElement||document.documentElement;"
                                 "var r=[e.scrollWidth,e.scrollHeight,window.innerWidth,window.innerHeight];"
                                 "var m=document.createElement('div');window.__qbMark=m;"
                                 "m.style.cssText='display:block!important;visibility:visible!important;"
                                 "opacity:1!important;position:fixed!important;left:0!important;bottom:0!important;"
                                 "top:auto!important;right:auto!important;width:8px!important;height:1px!important;"
                                 "margin:0!important;padding:0!important;border:0!important;transform:none!important;"
                                 "filter:none!important;z-index:2147483647!important;background:rgb(0,0,0)!important';"
                                 "var s=document.createElement('div');"
                                 "s.style.cssText='display:block!important;position:absolute!important;left:0!important;"
                                 "width:1px!important;height:1px!important;margin:0!important;padding:0!important;"
                                 "border:0!important;visibility:hidden!important;top:'+r[1]+'px!important';"
                                 "document.documentElement.appendChild(s);"
                                 "document.documentElement.appendChild(m);"
                                 "return r;})()"),
                  Metrics))
        return false;
    const QVariantList M = Metrics.toList();
    if (M.size() != 4)
        return false;
    const int ViewW = std::max(1, M.at(2).toInt());
    const int ViewH = std::max(1, M.at(3).toInt() - 1);
    const int W = std::max(ViewW, M.at(0).toInt());
    const int H = std::max(ViewH, M.at(1).toInt());
    if (W > MaxJpegSide) {
        FLastError = TooWide;
        if (Tell)
            Tell(TooWide);
        return false;
    }

    int P = H;
    if (PieceHeight > 0)
        P = PieceHeight;
    else if (H > SplitQuestionHeight && AskYesNo
             && AskYesNo(QStringLiteral("注意，当前创建的图片较大，可能打开图片时会比较慢，是否自动拆分为多个图片？"),
                         QStringLiteral("警告")))
        P = ScreenH() - 6;
    if (P != H)
        P = std::max(1, P / ViewH) * ViewH;
    bool Told = false;
    if (P > MaxJpegSide) {
        P = (MaxJpegSide / ViewH) * ViewH;
        Told = true;
        if (Tell)
            Tell(TooTall);
    }
    // A page from elsewhere may be tens of thousands of pixels wide as well as tall.
    if (const qint64 Fit = MaxPieceBytes / (qint64(W) * 3); P > Fit) {
        P = int(std::max<qint64>(1, Fit / ViewH) * ViewH);
        if (Tell && !Told)
            Tell(TooLarge);
    }
    const bool Split = P < H;

    auto NewPiece = [&](int Start) {
        QImage Piece(W, std::min(P, H - Start), QImage::Format_RGB888);
        Piece.fill(Qt::white);
        return Piece;
    };
    int Start = 0;          // the document row the current piece begins with
    int Saved = 0;
    int Step = 0;
    const int Steps = int(((qint64(H) + ViewH - 1) / ViewH) * ((qint64(W) + ViewW - 1) / ViewW));
    QImage Piece = NewPiece(0);
    for (int Top = 0; Top < H; Top += ViewH) {
        // Right to left, as the document is laid out from its right edge.
        for (int Left = ((W - 1) / ViewW) * ViewW; Left >= 0; Left -= ViewW) {
            if (FCancelled)
                return false;
            ++Step;
            const QColor Mark((Step * 37) & 255, (Step >> 3) & 255, 200 - (Step & 63));
            QVariant Reached;
            if (!Evaluate(QStringLiteral("window.__qbPainted=false;window.scrollTo(%1,%2);"
                                         "window.__qbMark.style.setProperty('background','%3','important');"
                                         "requestAnimationFrame(function(){requestAnimationFrame(function(){"
                                         "window.__qbPainted=true;});});[window.scrollX,window.scrollY]")
                              .arg(Left)
                              .arg(Top)
                              .arg(Mark.name()),
                          Reached))
                return false;
            const QVariantList XY = Reached.toList();
            if (XY.size() != 2)
                return false;
            // A page's script may take the marker away or paint over it:
            // the tile is given up on at the deadline, as every other wait.
            QElapsedTimer Shown;
            Shown.start();
            QImage Tile;
            while (true) {
                if (!WaitForPaint())
                    return false;
                Tile = GrabViewport();
                if (Tile.height() > ViewH && ShowsMark(Tile, ViewH, Mark))
                    break;
                if (Shown.elapsed() >= TimeoutMs) {
                    FTimedOut = true;
                    return false;
                }
                // Not painted yet: another two frames.
                QVariant Ignored;
                if (!Evaluate(QStringLiteral("window.__qbPainted=false;requestAnimationFrame(function(){"
                                             "requestAnimationFrame(function(){window.__qbPainted=true;});});0"),
                              Ignored))
                    return false;
            }
            {
                QPainter Paint(&Piece);
                Paint.drawImage(QPoint(qRound(XY.at(0).toDouble()), qRound(XY.at(1).toDouble()) - Start), Tile,
                                QRect(0, 0, Tile.width(), ViewH));
            }
            if (OnProgress)
                OnProgress(std::min(Step, Steps), Steps);
        }
        const bool PieceFull = Top + ViewH >= Start + P;
        if (Split && PieceFull && Top + ViewH < H) {
            const QString Name = PieceName(FileName, ++Saved);
            if (!SavePicture(Piece, Name))
                return false;
            FJpgList << Name;
            Start += P;
            Piece = NewPiece(Start);
        }
    }
    if (FCancelled)
        return false;
    if (Split) {
        const QString Name = PieceName(FileName, ++Saved);
        if (!SavePicture(Piece, Name))
            return false;
        FJpgList << Name;
        return true;
    }
    if (!SavePicture(Piece, FileName))
        return false;
    if (ListWhole)
        FJpgList << FileName;
    return true;
}

// ---------------------------------------------------------------- PDF

bool Thtm2jpg2::JpgListToPdf(const QString &Name)
{
    FLastError.clear();
    if (FJpgList.isEmpty() || FCancelled)
        return false;
    try {
        RpReport1->FileName = Name;
        TPicture First;
        First.LoadFromFile(FJpgList.first());
        // Every page is as large as the first picture; a later picture that
        // is wider or taller (a book's wide page) makes them all as large, or
        // its right or bottom part would be cut off (and the pictures are
        // deleted once the document is written). Only the headers are read.
        int Width = First.Width(), Height = First.Height();
        for (qsizetype I = 1; I < FJpgList.size(); ++I) {
            const QSize Size = QImageReader(FJpgList.at(I)).size();
            Width = std::max(Width, Size.width());
            Height = std::max(Height, Size.height());
        }
        RpPage1->SetWidth(Width + 64);
        RpPage1->SetHeight(Height + 64);
        RpReport1->StartDocument();
        const int Pages = int(FJpgList.size());
        for (int I = 0; I < Pages; ++I) {
            if (FCancelled)
                return false;   // the document is dropped unwritten
            RpJpegImage1->Picture()->SetGraphic(nullptr);
            RpJpegImage1->Picture()->LoadFromFile(FJpgList.at(I));
            RpJpegImage1->Invalidate();
            RpReport1->AppendPage(RpPage1);
            if (OnProgress)
                OnProgress(I + 1, Pages);
        }
        if (FCancelled)
            return false;
        // Written beside the target and renamed over it: complete or not at all.
        RpReport1->FinishDocument();
    } catch (const Exception &E) {
        FLastError = E.Message();
        // An unfinished document is dropped with the report's next start.
        return false;
    }
    if (!KeepJpegsAfterPdf)
        for (qsizetype I = FJpgList.size() - 1; I >= 0; --I)
            DeleteFile(FJpgList.at(I));
    FJpgList.clear();
    return true;
}

bool Thtm2jpg2::StringsToPdf(const QStringList &List, const QString &Name)
{
    FJpgList = List;
    return JpgListToPdf(Name);
}

void Thtm2jpg2::GetJpgList(QStringList &List) const
{
    List << FJpgList;
}
