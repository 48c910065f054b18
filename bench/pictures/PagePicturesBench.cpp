// The picture of a 30,000-pixel page (600 coloured stripes of 50 pixels): our
// renderer (a hidden browser view grabbed tile by tile, saved as one JPEG)
// beside Debian's chromium in headless mode taking one screenshot of the same
// page at the same width and total height. Both sides are timed from their
// start (our form and its browser engine, the peer's whole process) to the
// written picture; the best of the repetitions counts. Target: ours at most
// 1.5 times the peer's.
// Usage: page_pictures_bench [repetitions]

#include "catalog/output/Htm2Jpg.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QImageReader>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QUrl>

#include <algorithm>
#include <cstdio>
#include <unistd.h>

namespace {

constexpr int Stripes = 600;
constexpr int StripeHeight = 50;

QString WritePage(const QString &Folder)
{
    QString Html = QStringLiteral("<!DOCTYPE html>\n<html><head><style>body{margin:0}div{height:%1px}</style></head><body>")
                       .arg(StripeHeight);
    for (int I = 0; I < Stripes; ++I)
        Html += QStringLiteral("<div style=\"background:rgb(%1,%2,%3)\"></div>")
                    .arg((I % 8) * 32 + 16)
                    .arg((I / 8 % 8) * 32 + 16)
                    .arg((I / 64 % 10) * 25 + 12);
    Html += QStringLiteral("</body></html>");
    const QString File = Folder + QStringLiteral("/stripes.htm");
    QFile F(File);
    if (!F.open(QIODevice::WriteOnly))
        return QString();
    F.write(Html.toUtf8());
    return File;
}

// Seconds for one picture by our renderer; its width through Width. -1 on failure.
double Ours(const QString &Page, const QString &Folder, int &Width)
{
    QElapsedTimer Clock;
    Clock.start();
    Thtm2jpg2 Form;
    Form.AskYesNo = [](const QString &, const QString &) { return false; };   // one picture
    const QString Jpg = Folder + QStringLiteral("/ours.jpg");
    if (!Form.HtmlToJpg(QUrl::fromLocalFile(Page).toString(), Jpg))
        return -1;
    const double Seconds = Clock.nsecsElapsed() / 1e9;
    const QSize Size = QImageReader(Jpg).size();
    Width = Size.width();
    if (Size.height() != Stripes * StripeHeight)
        std::fprintf(stderr, "our picture is %d x %d\n", Size.width(), Size.height());
    return Seconds;
}

double Peer(const QString &Chromium, const QString &Page, const QString &Folder, int Width)
{
    const QString Shot = Folder + QStringLiteral("/peer.png");
    QFile::remove(Shot);
    QStringList Args{QStringLiteral("--headless"), QStringLiteral("--disable-gpu"), QStringLiteral("--hide-scrollbars"),
                     QStringLiteral("--user-data-dir=") + Folder + QStringLiteral("/profile"),
                     QStringLiteral("--screenshot=") + Shot,
                     QStringLiteral("--window-size=%1,%2").arg(Width).arg(Stripes * StripeHeight),
                     QUrl::fromLocalFile(Page).toString()};
    if (::geteuid() == 0)
        Args.prepend(QStringLiteral("--no-sandbox"));
    QProcess P;
    P.setProcessChannelMode(QProcess::MergedChannels);
    QElapsedTimer Clock;
    Clock.start();
    P.start(Chromium, Args);
    if (!P.waitForFinished(120000) || !QFile::exists(Shot))
        return -1;
    return Clock.nsecsElapsed() / 1e9;
}

} // namespace

int main(int argc, char **argv)
{
    if (::geteuid() == 0)
        qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    QApplication App(argc, argv);
    const int Repetitions = argc > 1 ? std::max(1, std::atoi(argv[1])) : 3;

    const QString Chromium = QStandardPaths::findExecutable(QStringLiteral("chromium"));
    if (Chromium.isEmpty()) {
        std::fprintf(stderr, "page_pictures_bench: chromium is missing (apt-get install chromium)\n");
        return 1;
    }
    QTemporaryDir Dir;
    const QString Page = WritePage(Dir.path());
    double BestOurs = 1e9;
    double BestPeer = 1e9;
    int Width = 0;
    for (int R = 0; R < Repetitions; ++R) {
        const double T = Ours(Page, Dir.path(), Width);
        if (T < 0) {
            std::fprintf(stderr, "page_pictures_bench: our renderer failed\n");
            return 1;
        }
        BestOurs = std::min(BestOurs, T);
    }
    for (int R = 0; R < Repetitions; ++R) {
        const double T = Peer(Chromium, Page, Dir.path(), Width);
        if (T < 0) {
            std::fprintf(stderr, "page_pictures_bench: chromium made no screenshot\n");
            return 1;
        }
        BestPeer = std::min(BestPeer, T);
    }
    const double Ratio = BestOurs / BestPeer;
    std::printf("30,000-pixel page, %d pixels wide, best of %d\n", Width, Repetitions);
    std::printf("  ours (one JPEG)        %.3f s\n", BestOurs);
    std::printf("  chromium --headless    %.3f s\n", BestPeer);
    std::printf("  ratio ours / peer      %.2f (target at most 1.5): %s\n", Ratio, Ratio <= 1.5 ? "met" : "NOT met");
    return 0;
}
