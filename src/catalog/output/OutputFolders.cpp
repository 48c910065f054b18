#include "OutputFolders.h"

#include "platform/core/Classes.h"
#include "platform/core/FileUtils.h"
#include "platform/core/Types.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStringList>
#include <QUrl>

#include <fcntl.h>
#include <sys/stat.h>

namespace OutputFolders {

namespace {

constexpr int RecordedFolders = 5000;

QString Encode(const QString &S)
{
    return QString::fromLatin1(QUrl::toPercentEncoding(S, "/:"));
}

QString Decode(const QString &S)
{
    return QUrl::fromPercentEncoding(S.toLatin1());
}

QString CleanFolder(const QString &Folder)
{
    return QDir::cleanPath(QFileInfo(Folder).absoluteFilePath());
}

struct TLine {
    QString Id, Maker, Folder;
};

QList<TLine> Load(const QString &File)
{
    QList<TLine> Lines;
    QStringList Text;
    try {
        if (FileExists(File))
            Text = LoadLines(File);
    } catch (const Exception &) {
    }
    for (const QString &L : std::as_const(Text)) {
        const QStringList Parts = L.split(QLatin1Char('\t'));
        if (Parts.size() == 3 && !Parts.at(0).isEmpty())
            Lines.append({Parts.at(0), Decode(Parts.at(1)), Decode(Parts.at(2))});
    }
    return Lines;
}

// A record that cannot be written (a program folder the user cannot write
// to) costs a question later, never the output.
void Save(const QString &File, const QList<TLine> &Lines)
{
    QStringList Text;
    for (const TLine &L : Lines)
        Text << L.Id + QLatin1Char('\t') + Encode(L.Maker) + QLatin1Char('\t') + Encode(L.Folder);
    try {
        SaveLines(File, Text);
    } catch (const Exception &) {
    }
}

} // namespace

QString RecordFile(const QString &ProgramFolder)
{
    return IncludeTrailingPathDelimiter(ProgramFolder) + QStringLiteral("outputfolders.dat");
}

QString Identity(const QString &Folder)
{
    // The inode number alone is given again at once to a new folder; its
    // birth time (where the file system keeps one) tells the two apart.
    struct statx St {};
    if (::statx(AT_FDCWD, QFile::encodeName(ExcludeTrailingPathDelimiter(Folder)).constData(), 0,
                STATX_TYPE | STATX_INO | STATX_BTIME, &St) != 0
        || !S_ISDIR(St.stx_mode))
        return QString();
    QString Id = QStringLiteral("%1.%2:%3").arg(St.stx_dev_major).arg(St.stx_dev_minor).arg(quint64(St.stx_ino));
    if (St.stx_mask & STATX_BTIME)
        Id += QStringLiteral(":%1.%2").arg(qint64(St.stx_btime.tv_sec)).arg(St.stx_btime.tv_nsec);
    return Id;
}

QString MadeBy(const QString &ProgramFolder, const QString &Folder)
{
    const QString Id = Identity(Folder);
    if (Id.isEmpty())
        return QString();
    const QString Path = CleanFolder(Folder);
    for (const TLine &L : Load(RecordFile(ProgramFolder)))
        if (L.Id == Id && L.Folder == Path)
            return L.Maker;
    return QString();
}

void Remember(const QString &ProgramFolder, const QString &Folder, const QString &Maker)
{
    const QString Id = Identity(Folder);
    if (Id.isEmpty() || Maker.isEmpty())
        return;
    const QString Path = CleanFolder(Folder);
    const QString File = RecordFile(ProgramFolder);
    QList<TLine> Kept;
    for (const TLine &L : Load(File))
        if (L.Folder != Path && Identity(L.Folder) == L.Id)
            Kept.append(L);
    Kept.append({Id, Maker, Path});
    if (Kept.size() > RecordedFolders)
        Kept = Kept.mid(Kept.size() - RecordedFolders);
    Save(File, Kept);
}

void Rename(const QString &ProgramFolder, const QString &From, const QString &To)
{
    if (From.isEmpty() || From == To)
        return;
    const QString File = RecordFile(ProgramFolder);
    QList<TLine> Lines = Load(File);
    bool Changed = false;
    for (TLine &L : Lines) {
        if (L.Maker == From) {
            L.Maker = To;
            Changed = true;
        }
    }
    if (Changed)
        Save(File, Lines);
}

bool IsEmpty(const QString &Folder)
{
    return QDir(Folder).isEmpty(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System);
}

QString FileMaker(const QString &File)
{
    const QFileInfo Info(File);
    const QString Canonical = Info.canonicalFilePath();
    return QStringLiteral("file:") + (Canonical.isEmpty() ? QDir::cleanPath(Info.absoluteFilePath()) : Canonical);
}

QString PackageMaker(const QString &Package, const QString &Inside)
{
    const QFileInfo Info(Package);
    const QString Canonical = Info.canonicalFilePath();
    return QStringLiteral("qba:") + (Canonical.isEmpty() ? QDir::cleanPath(Info.absoluteFilePath()) : Canonical)
        + QLatin1Char('|') + Inside;
}

QString NewPageMaker(const QString &Key)
{
    return QStringLiteral("new:") + Key;
}

QString Describe(const QString &Maker)
{
    auto Kind = [](const QString &Path) {
        return ExtractFileExt(Path).compare(QStringLiteral(".qbs"), Qt::CaseInsensitive) == 0 ? QStringLiteral("目录册")
                                                                                                : QStringLiteral("页面");
    };
    if (Maker.startsWith(QStringLiteral("file:"))) {
        const QString Path = Maker.mid(5);
        return Kind(Path) + QStringLiteral("“") + Path + QStringLiteral("”");
    }
    if (Maker.startsWith(QStringLiteral("qba:"))) {
        const qsizetype Bar = Maker.lastIndexOf(QLatin1Char('|'));
        const QString Package = Maker.mid(4, Bar - 4);
        return QStringLiteral("qba文件“") + Package + QStringLiteral("”中的") + Kind(Maker.mid(Bar + 1));
    }
    if (Maker.startsWith(QStringLiteral("new:")))
        return QStringLiteral("一个没有保存过的新页面");
    return QString();
}

QString ReplaceQuestion(const QString &Folder, const QString &Maker, const QString &Kind)
{
    const QString Shown = NativePath(ExcludeTrailingPathDelimiter(Folder));
    const QString Who = Describe(Maker);
    QString Text = Who.isEmpty()
        ? QStringLiteral("输出目录“%1”中已有文件，无法确定它们是当前%2输出的。").arg(Shown, Kind)
        : QStringLiteral("输出目录“%1”中的文件是%2输出的，不是当前%3输出的。").arg(Shown, Who, Kind);
    Text += Kind == QStringLiteral("目录册") ? QStringLiteral("\r\n继续输出将清空这个目录。是否继续？")
                                            : QStringLiteral("\r\n继续输出将替换其中同名的文件。是否继续？");
    return Text;
}

} // namespace OutputFolders
