#include "ReceivedPaths.h"

#include "CatalogBook.h"
#include "PageDocument.h"

#include "platform/core/Classes.h"
#include "platform/core/FileUtils.h"

#include <QDir>
#include <QFileInfo>
#include <QSet>

namespace ReceivedPaths {

namespace {

// Readers take at most this many characters of a picture value; a longer one
// would name one file to one reader and another file to the next.
constexpr int PictureValueLimit = 256;

QString CleanFolder(const QString &Folder)
{
    return QDir::cleanPath(QFileInfo(Folder).absoluteFilePath());
}

// A regular file (not a link, not a folder) inside Root named by Stored from Base.
bool IsFileInside(const QString &Root, const QString &Base, const QString &Stored)
{
    const QString Path = PathInside(Root, Base, Stored);
    if (Path.isEmpty())
        return false;
    const QFileInfo Info(Path);
    return Info.isFile() && !Info.isSymLink();
}

// An empty (or blank) picture value names no picture: every reader leaves it.
bool UsablePicture(const QString &Root, const QString &Base, const QString &Value)
{
    if (Value.trimmed().isEmpty())
        return true;
    // A value that ends in a separator names a folder wherever it is looked
    // up, never a file (pages saved with an empty background say "images\").
    if (IsPlainRelative(Value) && (Value.endsWith(QLatin1Char('/')) || Value.endsWith(QLatin1Char('\\'))))
        return true;
    return Value.size() <= PictureValueLimit && IsFileInside(Root, Base, Value);
}

QString NameOf(const QString &Line)
{
    const qsizetype Eq = Line.indexOf(QLatin1Char('='));
    return Eq < 0 ? Line : Line.left(Eq);
}

QString ValueOf(const QString &Line)
{
    const qsizetype Eq = Line.indexOf(QLatin1Char('='));
    return Eq < 0 ? QString() : Line.mid(Eq + 1);
}

const QString ImageKey = QStringLiteral("{$IMG}=");

// The index of the block's "{$IMG}=" line among the lines after the marker at
// Marker (at most eight, up to the next marker), or -1.
int PictureLineOfBlock(const QStringList &Lines, int Marker)
{
    for (int J = Marker + 1; J <= Marker + 8 && J < Lines.size(); ++J) {
        if (TPageDocument::BlockNumberOfLine(Lines.at(J)) > 0)
            return -1;
        if (Lines.at(J).startsWith(ImageKey))
            return J;
    }
    return -1;
}

QStringList KeepPageInside(const QString &Root, const QString &Page)
{
    // Judged whether or not it starts as a page does: the book output
    // publishes every .qbt of the book.
    QStringList LeftOut;
    QStringList Lines = TPageDocument::LoadPageLines(Page);
    const QString Folder = ExtractFilePath(Page);
    const QString Shown = ExtractFileName(Page) + QStringLiteral("：");
    bool Changed = false;

    // Readers differ in where they look for a block's picture: the grid takes
    // the "{$IMG}=" line among the block's lines, the page output the line
    // right after the marker. The line moves there, so both read one value.
    for (int I = 1; I < Lines.size(); ++I) {
        if (TPageDocument::BlockNumberOfLine(Lines.at(I)) <= 0)
            continue;
        const int J = PictureLineOfBlock(Lines, I);
        if (J > I + 1) {
            Lines.move(J, I + 1);
            Changed = true;
        }
    }

    auto LeaveOut = [&](int I) {
        LeftOut << Shown + Lines.at(I);
        Lines[I] = NameOf(Lines.at(I)) + QLatin1Char('=');
        Changed = true;
    };
    bool AfterMarker = false;
    for (int I = 0; I < Lines.size(); ++I) {
        const QString &L = Lines.at(I);
        const bool Marker = TPageDocument::BlockNumberOfLine(L) > 0;
        const QString Name = NameOf(L);
        const bool Picture = L.startsWith(ImageKey) || (AfterMarker && !Marker && L.contains(QLatin1Char('=')))
            || Name.compare(QStringLiteral("{背景图片}"), Qt::CaseInsensitive) == 0
            || Name.compare(QStringLiteral("{背景音乐}"), Qt::CaseInsensitive) == 0;
        AfterMarker = Marker && I > 0;
        if (Picture && L.contains(QLatin1Char('=')) && !UsablePicture(Root, Folder, ValueOf(L)))
            LeaveOut(I);
    }
    if (Changed)
        SaveLines(Page, Lines);
    return LeftOut;
}

} // namespace

bool IsPlainRelative(const QString &Name)
{
    if (Name.isEmpty() || Name.contains(QChar(0)))
        return false;
    const QString N = NativePath(Name);
    if (N.startsWith(QLatin1Char('/')) || (N.size() >= 2 && N.at(1) == QLatin1Char(':')))
        return false;
    for (const QString &Part : N.split(QLatin1Char('/')))
        if (Part == QLatin1String(".."))
            return false;
    return true;
}

QString PathInside(const QString &Root, const QString &Base, const QString &Stored)
{
    if (!IsPlainRelative(Stored) || Root.isEmpty() || Base.isEmpty())
        return QString();
    const QString R = CleanFolder(Root);
    const QString B = CleanFolder(Base);
    const QString Prefix = R == QLatin1String("/") ? R : R + QLatin1Char('/');
    if (B != R && !B.startsWith(Prefix))
        return QString();
    const QString Full = QDir::cleanPath(B + QLatin1Char('/') + NativePath(Stored));
    if (!Full.startsWith(Prefix) || Full.size() == Prefix.size())
        return QString();
    // A link anywhere below Root could lead anywhere: none is followed.
    QString Part = R;
    for (const QString &Name : Full.mid(Prefix.size()).split(QLatin1Char('/'))) {
        Part += (Part.endsWith(QLatin1Char('/')) ? QString() : QStringLiteral("/")) + Name;
        const QFileInfo Info(Part);
        if (Info.isSymLink())
            return QString();
        if (!Info.exists())
            break;
    }
    return Full;
}

QStringList KeepInside(const QString &Root, const QString &MainFile, bool IsBook)
{
    if (!IsBook)
        return KeepPageInside(Root, MainFile);

    QStringList LeftOut;
    QStringList Book = LoadLines(MainFile);
    const int Marker = int(Book.indexOf(TCatalogBook::FilesMarker));
    if (Marker < 0)
        return LeftOut;
    const QString Folder = ExtractFilePath(MainFile);
    const QString Shown = ExtractFileName(MainFile) + QStringLiteral("：");
    QStringList Kept = Book.mid(0, Marker + 1);
    QStringList Pages;
    QSet<QString> Seen;
    for (int I = Marker + 1; I < Book.size(); ++I) {
        const QString &Entry = Book.at(I);
        if (Entry.isEmpty())
            continue;   // the book's reader drops empty lines too
        if (!IsFileInside(Root, Folder, Entry)) {
            LeftOut << Shown + Entry;
            continue;
        }
        Kept << Entry;
        const QString Path = PathInside(Root, Folder, Entry);
        if (ExtractFileExt(Path).toUpper() == QLatin1String(".QBT") && !Seen.contains(Path)) {
            Seen.insert(Path);
            Pages << Path;
        }
    }
    if (!LeftOut.isEmpty())
        SaveLines(MainFile, Kept);
    for (const QString &Page : std::as_const(Pages))
        LeftOut << KeepPageInside(Root, Page);
    return LeftOut;
}

} // namespace ReceivedPaths
