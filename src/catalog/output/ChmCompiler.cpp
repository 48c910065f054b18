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

    // The help file the project names, which every message names. A flat
    // project ("Flat=Yes") keeps every file at the top of the help file: its
    // pages name their pictures bare, wherever the files lie.
    QString Target;
    bool Flat = false;
    {
        QString Sect;
        for (const QString &Raw : Lines) {
            const QString Line = Raw.trimmed();
            const QString Key = Line.section(QLatin1Char('='), 0, 0).trimmed();
            const QString Value = Line.section(QLatin1Char('='), 1);
            if (Line.startsWith(QLatin1Char('[')) && Line.endsWith(QLatin1Char(']')))
                Sect = Line.toUpper();
            else if (Sect != QStringLiteral("[OPTIONS]") || !Line.contains(QLatin1Char('=')))
                continue;
            else if (Key.compare(QStringLiteral("Flat"), Qt::CaseInsensitive) == 0)
                Flat = Value.trimmed().compare(QStringLiteral("Yes"), Qt::CaseInsensitive) == 0;
            else if (Key.compare(QStringLiteral("Compiled file"), Qt::CaseInsensitive) == 0)
                Target = ProjectFile(Folder, Value);
        }
    }
    if (Target.isEmpty())
        Target = Folder + QFileInfo(ProjectPath).completeBaseName() + QStringLiteral(".chm");
    auto Refuse = [&](const QString &Cause) {
        FRefusal = QStringLiteral("CHM 文件“%1”编译失败：%2").arg(NativePath(Target), Cause);
        if (OnLog)
            OnLog(FRefusal);
        return false;
    };

    // Every file of the project is copied here: below the program's own
    // scratch folder, like every scratch file of the program.
    QTemporaryDir Stage(ScratchFolder() + QStringLiteral("chm-XXXXXX"));
    if (!Stage.isValid())
        return Refuse(QStringLiteral("不能在程序的临时文件夹中创建工作目录（磁盘可能已满或没有写入权限）。"));
    const QString StageDir = Stage.path() + QLatin1Char('/');

    // Copies a project file into the stage and returns the name the project
    // gives it there: its path below the project's folder (sub-folders kept,
    // so the pages' relative references hold; flat projects keep none), else
    // its own name at the top (a new one when the name is taken). "" when it is
    // missing or cannot be copied.
    FFailed.clear();
    FFailedCauses.clear();
    QHash<QString, QString> Staged;
    QSet<QString> Taken;
    const QDir ProjectDir(Folder);
    // Cause (when given) tells why a file was not staged.
    auto StageFile = [&](const QString &Path, QString *Cause = nullptr) -> QString {
        const QString Full = QFileInfo(Path).absoluteFilePath();
        if (Staged.contains(Full))
            return Staged.value(Full);
        if (!QFileInfo(Full).isFile()) {
            if (Cause)
                *Cause = QFileInfo(Full).isDir() ? QStringLiteral("是文件夹") : QStringLiteral("文件不存在");
            return QString();
        }
        const QFileInfo Info(Full);
        QString Name = ProjectDir.relativeFilePath(Full);
        if (Flat || Name.startsWith(QLatin1String("../")) || QFileInfo(Name).isAbsolute())
            Name = Info.fileName();
        // The compiler would look for the name without its blanks: the
        // page names the file as it is, so it cannot go in under another.
        for (const QString &Part : Name.split(QLatin1Char('/')))
            if (!IsChmFileName(Part)) {
                if (Cause)
                    *Cause = QStringLiteral("文件名以空格开始或结束，CHM 编译程序不能接受");
                return QString();
            }
        const QString Stem = Name.left(Name.size() - Info.fileName().size()) + Info.completeBaseName();
        for (int K = 2; Taken.contains(Name.toLower()) || Name.toLower() == QStringLiteral("project.hhp")
                        || Name.toLower() == QStringLiteral("output.chm");
             ++K)
            Name = Stem + QStringLiteral("(%1)").arg(K) + (Info.suffix().isEmpty() ? QString() : QLatin1Char('.') + Info.suffix());
        QDir().mkpath(QFileInfo(StageDir + Name).absolutePath());
        if (!QFile::copy(Full, StageDir + Name)) {
            if (Cause)
                *Cause = QStringLiteral("不能读取");
            return QString();
        }
        Taken.insert(Name.toLower());
        Staged.insert(Full, Name);
        return Name;
    };

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
            // A listed name may begin or end with blanks of its own: the file
            // of the line as written is taken first.
            QString File = ResolveStoredPath(Folder, Raw);
            if (!QFileInfo(File).isFile())
                File = ProjectFile(Folder, Line);
            QString Cause;
            const QString Name = StageFile(File, &Cause);
            if (Name.isEmpty()) {
                FFailed << Origins.value(QFileInfo(File).absoluteFilePath(), NativePath(Line));
                FFailedCauses << Cause;
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
        if (!F.open(QIODevice::WriteOnly) || F.write(Text) != Text.size() || !F.flush())
            return Refuse(QStringLiteral("不能写入帮助项目的工作副本（磁盘可能已满）。"));
    }

    QProcess P;
    P.setWorkingDirectory(StageDir);
    P.setProcessChannelMode(QProcess::MergedChannels);
    // The compiler would also scan the pages and take in every file a link
    // reaches, wherever it lies ("../../../etc/passwd" from a product's note):
    // the help file holds the files the project lists, and no other.
    P.start(FCompiler, {QStringLiteral("--no-html-scan"), QStringLiteral("project.hhp")});
    if (!P.waitForStarted())
        return Refuse(QStringLiteral("不能启动 CHM 编译程序 %1。").arg(FCompiler));
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
    if (Stopped)
        return Refuse(QStringLiteral("编译已取消。"));
    if (P.exitStatus() != QProcess::NormalExit)
        return Refuse(QStringLiteral("CHM 编译程序 %1 异常终止，没有生成帮助文件。").arg(FCompiler));
    if (P.exitCode() != 0)
        return Refuse(QStringLiteral("CHM 编译程序 %1 出错退出（退出代码 %2），没有生成帮助文件。")
                          .arg(FCompiler)
                          .arg(P.exitCode()));
    if (!QFileInfo(Result).isFile() || QFileInfo(Result).size() == 0)
        return Refuse(QStringLiteral("CHM 编译程序 %1 没有生成帮助文件。").arg(FCompiler));
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

QString ChmFailedFilesMessage(const QStringList &Files, const QStringList &Causes)
{
    QString Text = QStringLiteral("CHM 文件编译失败。");
    if (!Files.isEmpty())
        Text += QStringLiteral("\r\n以下文件不能复制：");
    for (int I = 0; I < Files.size(); ++I) {
        Text += QStringLiteral("\r\n") + NativePath(Files.at(I));
        if (!Causes.value(I).isEmpty())
            Text += QStringLiteral("（") + Causes.at(I) + QStringLiteral("）");
    }
    return Text;
}

QString ChmFailureMessage(const TChmCompiler &Compiler)
{
    return Compiler.Refusal().isEmpty() ? ChmFailedFilesMessage(Compiler.FailedFiles(), Compiler.FailedCauses())
                                        : Compiler.Refusal();
}

namespace {

bool IsEdge(QChar C)
{
    return C.unicode() <= 0x20 || C.unicode() == 0x7F;
}

} // namespace

bool IsChmFileName(const QString &Name)
{
    return Name.isEmpty() || (!IsEdge(Name.front()) && !IsEdge(Name.back()));
}

QString ChmFileName(const QString &Name)
{
    qsizetype From = 0, To = Name.size();
    while (From < To && IsEdge(Name.at(From)))
        ++From;
    while (To > From && IsEdge(Name.at(To - 1)))
        --To;
    const QString Plain = Name.mid(From, To - From);
    return Plain.isEmpty() ? QStringLiteral("_") : Plain;
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
