// Commands of quillbook-drive that act like a user at the keyboard and like a
// reader of the program's web pages (in a window of 1024 x 768):
//   keys NAME TEXT   types TEXT key by key into a named widget at its caret
//   web FILE         loads a page (HTML or MHT) in the program's own browser
//                    engine and reports its pictures, script errors and text

#include "DriveCommands.h"

#include <QApplication>
#include <QEventLoop>
#include <QFileInfo>
#include <QKeyEvent>
#include <QTimer>
#include <QUrl>
#include <QWidget>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QWebEnginePage>
#include <QWebEngineScript>
#include <QWebEngineView>

namespace {

void TypeKeys(TDriveContext &C, const QStringList &A)
{
    QWidget *W = C.FindWidget(A[0]);
    if (!W->isVisible())
        throw EDriveError(QStringLiteral("%1 is hidden").arg(A[0]));
    if (!W->isEnabled())
        throw EDriveError(QStringLiteral("%1 is disabled").arg(A[0]));
    const QString Text = UnescapeDriveText(A.value(1));
    for (const QChar Ch : Text) {
        QKeyEvent Press(QEvent::KeyPress, 0, Qt::NoModifier, QString(Ch));
        QCoreApplication::sendEvent(W, &Press);
        QKeyEvent Release(QEvent::KeyRelease, 0, Qt::NoModifier, QString(Ch));
        QCoreApplication::sendEvent(W, &Release);
    }
}

QString OneLine(QString S)
{
    return S.replace(QLatin1Char('\r'), QString()).replace(QLatin1Char('\n'), QLatin1String("\\n"));
}

// Collects the script errors of the page it loads.
class TCheckedPage : public QWebEnginePage {
public:
    QStringList Errors;

protected:
    void javaScriptConsoleMessage(JavaScriptConsoleMessageLevel Level, const QString &Message, int Line,
                                  const QString &Source) override
    {
        if (Level == ErrorMessageLevel)
            Errors << QStringLiteral("%1 (%2:%3)").arg(Message, Source).arg(Line);
    }
};

// Every picture of the page and of its frames: how many, how many loaded, the
// sources of those that did not, and the text of every frame.
const char *const PictureScript = R"(
(function () {
  var r = {pictures: 0, loaded: 0, pending: 0, missing: [], text: '', overflow: 0};
  function walk(w) {
    var d;
    try { d = w.document; } catch (e) { r.missing.push('frame not readable: ' + e); return; }
    if (d.body) r.text += d.body.innerText + '\n';
    for (var i = 0; i < d.images.length; i++) {
      var im = d.images[i];
      r.pictures++;
      if (!im.complete) r.pending++;
      else if (im.naturalWidth > 0) r.loaded++;
      else r.missing.push(im.getAttribute('src'));
      if (im.getBoundingClientRect().right > w.innerWidth + 1) r.overflow++;
    }
    for (var j = 0; j < w.frames.length; j++) walk(w.frames[j]);
  }
  walk(window);
  return JSON.stringify(r);
})()
)";

void WebCheck(TDriveContext &C, const QStringList &A)
{
    const QString File = QFileInfo(A[0]).absoluteFilePath();
    if (!QFileInfo(File).isFile())
        throw EDriveError(QStringLiteral("%1 does not exist").arg(File));
    // A view of a usual window size, so that the layout is the one a reader sees.
    TCheckedPage Page;
    QWebEngineView View;
    View.setPage(&Page);
    View.resize(1024, 768);
    View.show();
    QEventLoop Loop;
    bool Loaded = false;
    QObject::connect(&Page, &QWebEnginePage::loadFinished, &Loop, [&](bool Ok) {
        Loaded = Ok;
        Loop.quit();
    });
    QTimer::singleShot(60000, &Loop, &QEventLoop::quit);
    Page.load(QUrl::fromLocalFile(File));
    Loop.exec();
    if (!Loaded)
        throw EDriveError(QStringLiteral("the browser engine could not load %1").arg(File));

    // Pictures finish decoding after the load event of a frame set; ask until
    // none is pending (bounded).
    QJsonObject R;
    for (int Try = 0; Try < 100; ++Try) {
        QEventLoop Wait;
        // Web archives run no page scripts: ask from the application's own world.
        Page.runJavaScript(QString::fromUtf8(PictureScript), QWebEngineScript::ApplicationWorld, [&](const QVariant &V) {
            R = QJsonDocument::fromJson(V.toString().toUtf8()).object();
            Wait.quit();
        });
        QTimer::singleShot(10000, &Wait, &QEventLoop::quit);
        Wait.exec();
        if (!R.isEmpty() && R.value(QStringLiteral("pending")).toInt() == 0)
            break;
        QEventLoop Pause;
        QTimer::singleShot(100, &Pause, &QEventLoop::quit);
        Pause.exec();
    }
    if (R.isEmpty())
        throw EDriveError(QStringLiteral("the browser engine gave no answer for %1").arg(File));
    C.Print(QStringLiteral("pictures %1 loaded %2")
                .arg(R.value(QStringLiteral("pictures")).toInt())
                .arg(R.value(QStringLiteral("loaded")).toInt()));
    if (const int Wide = R.value(QStringLiteral("overflow")).toInt())
        C.Print(QStringLiteral("pictures wider than the window %1").arg(Wide));
    for (const QJsonValue &M : R.value(QStringLiteral("missing")).toArray())
        C.Print(QStringLiteral("missing ") + M.toString());
    for (const QString &E : std::as_const(Page.Errors))
        C.Print(QStringLiteral("script-error ") + OneLine(E));
    C.Print(QStringLiteral("text ") + OneLine(R.value(QStringLiteral("text")).toString()));
}

const bool Registered = [] {
    RegisterDriveCommand({QStringLiteral("keys"), QStringLiteral("NAME TEXT"),
                          QStringLiteral("type TEXT key by key into a named widget, at its caret"), 2, 2, true, true,
                          TypeKeys});
    RegisterDriveCommand({QStringLiteral("web"), QStringLiteral("FILE"),
                          QStringLiteral("load a page in the browser engine; print \"pictures N loaded M\", "
                                         "\"missing SRC\", \"script-error ...\" and \"text ...\" lines"),
                          1, 1, true, false, WebCheck});
    return true;
}();

} // namespace
