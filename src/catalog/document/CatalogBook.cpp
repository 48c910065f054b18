#include "CatalogBook.h"

#include "PageDocument.h"

#include "platform/core/Classes.h"
#include "platform/core/FileUtils.h"

const QString TCatalogBook::FilesMarker = QStringLiteral("{$Files}");

namespace {

QString TrueFalse(bool B)
{
    return B ? QStringLiteral("true") : QStringLiteral("false");
}

// A value as it is stored: on its own line, line breaks taken out.
QString LineValue(const QString &Value)
{
    QString V = Value;
    V.remove(QLatin1Char('\r'));
    V.remove(QLatin1Char('\n'));
    return V;
}

} // namespace

QStringList TCatalogBook::DefaultBookLines()
{
    return {QStringLiteral("Catalog_name=默认目录册"), QStringLiteral("catalog_index_name="),
            QStringLiteral("Catalog_Lost_name="),     QStringLiteral("Catalog_Output="),
            QStringLiteral("Catalog_always_open=true"), FilesMarker};
}

QStringList TCatalogBook::NewBookLines(const QString &Name, const QString &Output, bool FullTextSearch,
                                       bool AlwaysOpen, bool MoveV)
{
    return {QStringLiteral("Catalog_name=") + LineValue(Name),
            QStringLiteral("catalog_index_name="),
            QStringLiteral("Catalog_Lost_name="),
            QStringLiteral("Catalog_Output=") + LineValue(Output),
            QStringLiteral("Catalog_fulltext_search=") + TrueFalse(FullTextSearch),
            QStringLiteral("Catalog_always_open=") + TrueFalse(AlwaysOpen),
            QStringLiteral("Catalog_move_v=") + TrueFalse(MoveV),
            FilesMarker};
}

QStringList TCatalogBook::DefaultsLines(const QString &Name, const QString &SaveFolder, const QString &Output,
                                        bool AlwaysOpen, bool FullTextSearch, bool MoveV)
{
    return {QStringLiteral("Catalog_name=") + LineValue(Name),
            QStringLiteral("catalog_save_path=") + LineValue(SaveFolder),
            QStringLiteral("Catalog_Output=") + LineValue(Output),
            QStringLiteral("Catalog_always_open=") + TrueFalse(AlwaysOpen),
            QStringLiteral("Catalog_fulltext_search=") + TrueFalse(FullTextSearch),
            QStringLiteral("Catalog_move_v=") + TrueFalse(MoveV)};
}

int TCatalogBook::IndexOfName(const QStringList &Lines, const QString &Name)
{
    // Only the settings take part: an entry path holding "=" is no setting.
    const int Last = FirstEntryLine(Lines) < 0 ? int(Lines.size()) : FirstEntryLine(Lines) - 1;
    for (int I = 0; I < Last; ++I) {
        const QString &L = Lines.at(I);
        const qsizetype Eq = L.indexOf(QLatin1Char('='));
        if (Eq >= 0 && L.left(Eq).compare(Name, Qt::CaseInsensitive) == 0)
            return I;
    }
    return -1;
}

QString TCatalogBook::Value(const QStringList &Lines, const QString &Name)
{
    const int I = IndexOfName(Lines, Name);
    return I < 0 ? QString() : Lines.at(I).mid(Lines.at(I).indexOf(QLatin1Char('=')) + 1);
}

void TCatalogBook::SetValue(QStringList &Lines, const QString &Name, const QString &Value)
{
    const QString V = LineValue(Value);
    const int I = IndexOfName(Lines, Name);
    if (V.isEmpty()) {
        if (I >= 0)
            Lines.removeAt(I);
        return;
    }
    if (I >= 0) {
        Lines[I] = Lines.at(I).left(Lines.at(I).indexOf(QLatin1Char('=')) + 1) + V;
        return;
    }
    const int Marker = int(Lines.indexOf(FilesMarker));
    if (Marker >= 0)
        Lines.insert(Marker, Name + QLatin1Char('=') + V);
    else
        Lines.append(Name + QLatin1Char('=') + V);
}

TCatalogBook::TFileChange TCatalogBook::FileChange(QStringList OnDisk, const QStringList &Lines)
{
    RemoveEmptyLines(OnDisk);
    if (OnDisk == Lines)
        return fcNone;
    const QString LastPage = QStringLiteral("Catalog_Lost_name");
    SetValue(OnDisk, LastPage, Value(Lines, LastPage));
    return OnDisk == Lines ? fcLastPage : fcMore;
}

int TCatalogBook::FirstEntryLine(const QStringList &Lines)
{
    const int Marker = int(Lines.indexOf(FilesMarker));
    return Marker < 0 ? -1 : Marker + 1;
}

void TCatalogBook::RemoveEmptyLines(QStringList &Lines)
{
    Lines.removeAll(QString());
}

QStringList TCatalogBook::EntryNames(const QStringList &Lines)
{
    QStringList Names;
    const int First = FirstEntryLine(Lines);
    if (First < 0)
        return Names;
    for (int I = First; I < Lines.size(); ++I)
        Names << ExtractFileName(Lines.at(I));
    return Names;
}

QString TCatalogBook::ResolveEntry(const QString &BookPath, const QString &Entry)
{
    if (IsAbsoluteStoredPath(Entry))
        return Entry.startsWith(QLatin1Char('/')) ? NativePath(Entry) : Entry;
    return DocumentFolder(BookPath) + NativePath(Entry);
}

QString TCatalogBook::EntryExt(const QString &Entry)
{
    return ExtractFileExt(Entry).trimmed();
}

bool TCatalogBook::IsPageEntry(const QString &Entry)
{
    return EntryExt(Entry).compare(QLatin1String(".qbt"), Qt::CaseInsensitive) == 0;
}

int TCatalogBook::ChoosePageToOpen(const QStringList &Lines, const QStringList &Shown)
{
    if (Shown.isEmpty())
        return -1;
    if (Shown.size() == 1)
        return 0;
    const int I = int(Shown.indexOf(Value(Lines, QStringLiteral("Catalog_Lost_name"))));
    return I < 0 ? 0 : I;
}

QString TCatalogBook::NewEntryName(const QString &Title, const QStringList &Taken)
{
    for (int K = 1; K <= 999; ++K) {
        const QString Entry = Title + QString::number(K) + QStringLiteral(".qbt");
        if (!Taken.contains(Entry))
            return Entry;
    }
    return QString();
}

bool TCatalogBook::MoveEntry(QStringList &Lines, int From, int To)
{
    const int First = FirstEntryLine(Lines);
    if (First < 0)
        return false;
    const int Count = int(Lines.size()) - First;
    if (From < 0 || To < 0 || From >= Count || To >= Count)
        return false;
    Lines.move(First + From, First + To);
    return true;
}

int TCatalogBook::EntryIcon(const QString &Entry, bool IsOpenPage, bool Saved, bool IsDefaultPage)
{
    if (IsOpenPage)
        return Saved ? icOpenSaved : icOpenModified;
    if (IsDefaultPage)
        return icDefaultPage;
    const QString Ext = EntryExt(Entry);
    if (Ext == QLatin1String(".qbt"))
        return icPage;
    if (Ext.compare(QLatin1String(".htm"), Qt::CaseInsensitive) == 0)
        return icWebPage;
    return icOther;
}

void TCatalogBook::AppendHistory(const QString &HistoryFile, const QString &Path)
{
    // One line a book, kept as the page history keeps one a page.
    TPageDocument::AddPageHistory(HistoryFile, Path);
}

QString TCatalogBook::SafeFileName(const QString &Name)
{
    QString S;
    for (const QChar C : Name) {
        if (C == QLatin1Char('/') || C == QLatin1Char('\\') || C == QLatin1Char(':') || C.unicode() < 0x20
            || C.unicode() == 0x7F)
            continue;
        S += C;
    }
    S = S.trimmed();
    // A name of dots alone would name the folder itself or its parent.
    bool Dots = true;
    for (const QChar C : S)
        Dots = Dots && C == QLatin1Char('.');
    return Dots ? QString() : S;
}
