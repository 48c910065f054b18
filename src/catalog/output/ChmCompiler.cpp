#include "ChmCompiler.h"

#include "platform/core/Classes.h"
#include "platform/core/FileUtils.h"
#include "platform/core/OutputFiles.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QProcess>
#include <QSet>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <memory>

namespace {

QString GOverride;
std::unique_ptr<TChmCompiler> GInstance;

// A project path as a file, by the stored-path rule: absolute, or relative to
// the project's folder. A Windows drive path stays as it is.
QString ProjectFile(const QString &ProjectFolder, const QString &Stored)
{
    const QString S = Stored.trimmed();
    return S.isEmpty() ? QString() : ResolveStoredPath(ProjectFolder, S);
}

} // namespace

TChmCompiler::TChmCompiler()
{
    FCompiler = GOverride.isEmpty() ? QStandardPaths::findExecutable(QStringLiteral("chmcmd")) : GOverride;
    if (FCompiler.isEmpty())
        throw Exception(QStringLiteral("找不到 CHM 编译程序 chmcmd。"));
}

TChmCompiler::~TChmCompiler() = default;

void TChmCompiler::SetCompilerOverride(const QString &Program)
{
    GOverride = Program;
    GInstance.reset();
}

bool TChmCompiler::Compile(const QString &ProjectPath, const std::function<void(const QString &)> &Progress)
{
    FRefusal.clear();
    const QStringList Lines = LoadLines(ProjectPath);
    const QString Folder = QFileInfo(ProjectPath).absolutePath() + QLatin1Char('/');

    // Every file of the project is copied here: below the program's own
    // scratch folder, like every scratch file of the program.
    QTemporaryDir Stage(ScratchFolder() + QStringLiteral("chm-XXXXXX"));
    if (!Stage.isValid()) {
        FRefusal = QStringLiteral("不能创建临时目录。");
        if (OnLog)
            OnLog(FRefusal);
        return false;
    }
    const QString StageDir = Stage.path() + QLatin1Char('/');

    // A flat project ("Flat=Yes") keeps every file at the top of the help file:
    // its pages name their pictures bare, wherever the files lie.
    bool Flat = false;
    {
        QString Sect;
        for (const QString &Raw : Lines) {
            const QString Line = Raw.trimmed();
            if (Line.startsWith(QLatin1Char('[')) && Line.endsWith(QLatin1Char(']')))
                Sect = Line.toUpper();
            else if (Sect == QStringLiteral("[OPTIONS]") && Line.section(QLatin1Char('='), 0, 0).trimmed().compare(QStringLiteral("Flat"), Qt::CaseInsensitive) == 0)
                Flat = Line.section(QLatin1Char('='), 1).trimmed().compare(QStringLiteral("Yes"), Qt::CaseInsensitive) == 0;
        }
    }

    // Copies a project file into the stage and returns the name the project
    // gives it there: its path below the project's folder (sub-folders kept,
    // so the pages' relative references hold; flat projects keep none), else
    // its own name at the top (a new one when the name is taken). "" when it is
    // missing or cannot be copied.
    FFailed.clear();
    QHash<QString, QString> Staged;
    QSet<QString> Taken;
    const QDir ProjectDir(Folder);
    auto StageFile = [&](const QString &Path) -> QString {
        const QString Full = QFileInfo(Path).absoluteFilePath();
        if (Staged.contains(Full))
            return Staged.value(Full);
        if (!QFileInfo(Full).isFile())
            return QString();
        const QFileInfo Info(Full);
        QString Name = ProjectDir.relativeFilePath(Full);
        if (Flat || Name.startsWith(QLatin1String("../")) || QFileInfo(Name).isAbsolute())
            Name = Info.fileName();
        const QString Stem = Name.left(Name.size() - Info.fileName().size()) + Info.completeBaseName();
        for (int K = 2; Taken.contains(Name.toLower()) || Name.toLower() == QStringLiteral("project.hhp")
                        || Name.toLower() == QStringLiteral("output.chm");
             ++K)
            Name = Stem + QStringLiteral("(%1)").arg(K) + (Info.suffix().isEmpty() ? QString() : QLatin1Char('.') + Info.suffix());
        QDir().mkpath(QFileInfo(StageDir + Name).absolutePath());
        if (!QFile::copy(Full, StageDir + Name))
            return QString();
        Taken.insert(Name.toLower());
        Staged.insert(Full, Name);
        return Name;
    };

    QString Target;
    QString Topic;
    QSet<QString> Listed;
    QString Section;
    QStringList Out;
    for (const QString &Raw : Lines) {
        const QString Line = Raw.trimmed();
        if (Line.startsWith(QLatin1Char('[')) && Line.endsWith(QLatin1Char(']'))) {
            Section = Line.toUpper();
            Out << Line;
            continue;
        }
        if (Section == QStringLiteral("[OPTIONS]")) {
            const int Eq = int(Line.indexOf(QLatin1Char('=')));
            const QString Key = Eq < 0 ? Line : Line.left(Eq).trimmed();
            const QString Value = Eq < 0 ? QString() : Line.mid(Eq + 1);
            if (Key.compare(QStringLiteral("Compiled file"), Qt::CaseInsensitive) == 0) {
                Target = ProjectFile(Folder, Value);
                Out << QStringLiteral("Compiled file=output.chm");
                continue;
            }
            if (Key.compare(QStringLiteral("Default topic"), Qt::CaseInsensitive) == 0) {
                const QString Name = StageFile(ProjectFile(Folder, Value));
                Topic = Name;
                Out << QStringLiteral("Default topic=") + (Name.isEmpty() ? Value : Name);
                continue;
            }
            // The table of contents and the index are named here, not under
            // [FILES]: they go into the stage too, or the help file lacks them.
            if (Key.compare(QStringLiteral("Contents file"), Qt::CaseInsensitive) == 0
                || Key.compare(QStringLiteral("Index file"), Qt::CaseInsensitive) == 0) {
                const QString Name = StageFile(ProjectFile(Folder, Value));
                Out << (Name.isEmpty() ? Raw : Key + QLatin1Char('=') + Name);
                continue;
            }
            Out << Raw;
        } else if (Section == QStringLiteral("[FILES]")) {
            if (Line.isEmpty())
                continue;
            const QString Name = StageFile(ProjectFile(Folder, Line));
            if (Name.isEmpty()) {
                FFailed << NativePath(Line);
                continue;
            }
            if (!Listed.contains(Name))
                Out << Name;
            Listed.insert(Name);
        } else {
            Out << Raw;
        }
    }
    // The default topic belongs in the help file even when the project does not list it.
    if (!Topic.isEmpty() && !Listed.contains(Topic)) {
        const qsizetype Files = Out.indexOf(QStringLiteral("[FILES]"));
        if (Files < 0)
            Out << QString() << QStringLiteral("[FILES]") << Topic;
        else
            Out.insert(Files + 1, Topic);
    }
    if (Target.isEmpty())
        Target = Folder + QFileInfo(ProjectPath).completeBaseName() + QStringLiteral(".chm");
    // A help file without some of its files is no result.
    if (!FFailed.isEmpty()) {
        for (const QString &F : std::as_const(FFailed)) {
            if (OnLog)
                OnLog(QStringLiteral("不能复制文件：") + F);
        }
        return false;
    }
    // A drive path cannot be written here; taken as a relative name it would
    // land in a folder named after the drive.
    if (IsDrivePath(Target)) {
        FRefusal = QStringLiteral("帮助文件不能保存到 Windows 驱动器路径 %1，请选择本机上的输出目录。").arg(Target);
        if (OnLog)
            OnLog(FRefusal);
        return false;
    }

    // The staged project names the staged files as they are on disk.
    {
        QFile F(StageDir + QStringLiteral("project.hhp"));
        const QByteArray Text = Out.join(QStringLiteral("\r\n")).toUtf8() + "\r\n";
        if (!F.open(QIODevice::WriteOnly) || F.write(Text) != Text.size() || !F.flush()) {
            FRefusal = QStringLiteral("不能写入帮助项目文件：") + F.errorString();
            if (OnLog)
                OnLog(FRefusal);
            return false;
        }
    }

    QProcess P;
    P.setWorkingDirectory(StageDir);
    P.setProcessChannelMode(QProcess::MergedChannels);
    // The compiler would also scan the pages and take in every file a link
    // reaches, wherever it lies ("../../../etc/passwd" from a product's note):
    // the help file holds the files the project lists, and no other.
    P.start(FCompiler, {QStringLiteral("--no-html-scan"), QStringLiteral("project.hhp")});
    if (!P.waitForStarted())
        return false;
    QByteArray Pending;
    auto Forward = [&](bool Final) {
        Pending += P.readAll();
        for (qsizetype I; (I = Pending.indexOf('\n')) >= 0 || (Final && !Pending.isEmpty());) {
            const QByteArray One = I >= 0 ? Pending.left(I) : Pending;
            Pending = I >= 0 ? Pending.mid(I + 1) : QByteArray();
            const QString Text = QString::fromLocal8Bit(One).trimmed();
            if (Text.isEmpty())
                continue;
            if (GInstance.get() == this)
                ChmCompilerLogCallback(Text);
            else if (OnLog)
                OnLog(Text);
            if (Progress)
                Progress(Text);
        }
    };
    bool Stopped = false;
    while (P.state() != QProcess::NotRunning) {
        P.waitForFinished(100);
        Forward(false);
        if (!Stopped && Cancelled && Cancelled()) {
            Stopped = true;
            P.kill();
        }
    }
    Forward(true);

    const QString Result = StageDir + QStringLiteral("output.chm");
    const bool Ok = !Stopped && P.exitStatus() == QProcess::NormalExit && P.exitCode() == 0 && QFileInfo(Result).isFile()
        && QFileInfo(Result).size() > 0;
    if (!Ok)
        return false;
    // The new help file replaces the old one whole, in one rename: the old one
    // stays until then, and stays when the copy fails.
    try {
        TOutputFiles Files;
        Files.Copy(Result, Target);
        Files.Commit();
    } catch (const Exception &E) {
        FRefusal = E.Message();
        if (OnLog)
            OnLog(FRefusal);
        return false;
    }
    return true;
}

QString ChmFailedFilesMessage(const QStringList &Files)
{
    QString Text = QStringLiteral("CHM 文件编译失败。");
    if (!Files.isEmpty())
        Text += QStringLiteral("\r\n以下文件不能复制：\r\n") + Files.join(QStringLiteral("\r\n"));
    return Text;
}

QString ChmFailureMessage(const TChmCompiler &Compiler)
{
    return Compiler.Refusal().isEmpty() ? ChmFailedFilesMessage(Compiler.FailedFiles()) : Compiler.Refusal();
}

void ChmCompilerLogCallback(const QString &Text)
{
    if (!GInstance)
        throw Exception(QStringLiteral("Assertion failure"));
    if (GInstance->OnLog)
        GInstance->OnLog(Text);
}

TChmCompiler &ChmCompilerInstance()
{
    if (!GInstance)
        GInstance = std::make_unique<TChmCompiler>();
    return *GInstance;
}
