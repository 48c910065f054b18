// quillbook-helpc: builds the program's own help file at build time with the
// program's CHM driver, so the help file is made exactly the way the catalog
// outputs are.
//
//   quillbook-helpc SOURCE_FOLDER OUTPUT.chm
//
// The source folder holds the help pages (*.htm), the contents file
// Contents.hhc and index.htm, the first page shown. The project is written into
// a scratch folder with full paths, so nothing is written into the source folder.

#include "catalog/output/ChmCompiler.h"
#include "platform/core/Classes.h"
#include "platform/core/Types.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>
#include <cstdio>

namespace {

void Complain(const QString &Msg)
{
    std::fputs(("quillbook-helpc: " + Msg + "\n").toUtf8().constData(), stderr);
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication App(argc, argv);
    const QStringList Args = App.arguments();
    if (Args.size() != 3) {
        Complain(QStringLiteral("usage: quillbook-helpc SOURCE_FOLDER OUTPUT.chm"));
        return 2;
    }
    const QDir Source(Args.at(1));
    const QString Output = QFileInfo(Args.at(2)).absoluteFilePath();
    const QStringList Pages = Source.entryList({QStringLiteral("*.htm")}, QDir::Files, QDir::Name);
    if (!Pages.contains(QStringLiteral("index.htm")) || !Source.exists(QStringLiteral("Contents.hhc"))) {
        Complain(QStringLiteral("%1 holds no index.htm or Contents.hhc").arg(Source.path()));
        return 2;
    }
    QTemporaryDir Scratch;
    if (!Scratch.isValid()) {
        Complain(QStringLiteral("cannot make a scratch folder"));
        return 1;
    }
    try {
        TStringList Project;
        Project.Add(QStringLiteral("[OPTIONS]"));
        Project.Add(QStringLiteral("Compatibility=1.1 or later"));
        Project.Add(QStringLiteral("Compiled file=") + Output);
        Project.Add(QStringLiteral("Contents file=") + Source.absoluteFilePath(QStringLiteral("Contents.hhc")));
        Project.Add(QStringLiteral("Default topic=") + Source.absoluteFilePath(QStringLiteral("index.htm")));
        Project.Add(QStringLiteral("Display compile progress=No"));
        Project.Add(QStringLiteral("Language=0x804 中文(中国)"));
        Project.Add(QStringLiteral("Title=Quillbook 帮助"));
        Project.Add(QString());
        Project.Add(QStringLiteral("[FILES]"));
        for (const QString &Page : Pages)
            Project.Add(Source.absoluteFilePath(Page));
        const QString ProjectPath = Scratch.path() + QStringLiteral("/help.hhp");
        Project.SaveToFile(ProjectPath);
        QDir().mkpath(QFileInfo(Output).absolutePath());
        TChmCompiler &Compiler = ChmCompilerInstance();
        QStringList Log;
        Compiler.OnLog = [&Log](const QString &Line) { Log << Line; };
        if (!Compiler.Compile(ProjectPath, {})) {
            Complain(QStringLiteral("the help compiler failed:\n") + Log.join(QLatin1Char('\n')));
            return 1;
        }
    } catch (const Exception &E) {
        Complain(E.Message());
        return 1;
    }
    return 0;
}
