#include "PageSearch.h"

#include "CatalogBook.h"
#include "PageDocument.h"
#include "platform/core/Classes.h"
#include "platform/core/FileUtils.h"

namespace PageSearch {

namespace {

QString FoldAscii(QString S)
{
    for (QChar &C : S)
        if (C >= QLatin1Char('a') && C <= QLatin1Char('z'))
            C = QChar(C.unicode() - 'a' + 'A');
    return S;
}

// The lines of a text file, or false when it cannot be read.
bool ReadLines(const QString &File, QStringList &Lines)
{
    try {
        TStringList L;
        L.LoadFromFile(File);
        Lines = L.ToQStringList();
        return true;
    } catch (const Exception &) {
        return false;
    }
}

} // namespace

QStringList ListedFiles(const QStringList &Lines, const QString &Base)
{
    QStringList Files;
    for (const QString &Line : Lines)
        if (!Line.trimmed().isEmpty())
            Files << ResolveStoredPath(Base, Line);
    return Files;
}

bool LineContains(const QString &Line, const QString &Keyword, bool CaseSensitive)
{
    if (Keyword.isEmpty() || Keyword.size() > Line.size())
        return false;
    if (CaseSensitive)
        return Line.contains(Keyword);
    return FoldAscii(Line).contains(FoldAscii(Keyword));
}

TFileResult SearchFile(const QString &File, const QString &Keyword, bool CaseSensitive,
                       const std::function<bool()> &Stopped)
{
    if (!FileExists(File))
        return frMissing;
    // Read as the program opens a page (a UTF-8 mark makes it UTF-8), so that
    // what the page shows is what is found in it.
    QStringList Lines;
    try {
        Lines = TPageDocument::LoadPageLines(File);
    } catch (const Exception &) {
        return frNoMatch;
    }
    const QString Key = CaseSensitive ? Keyword : FoldAscii(Keyword);
    for (const QString &Line : Lines) {
        if (Stopped && Stopped())
            return frStopped;
        if (LineContains(CaseSensitive ? Line : FoldAscii(Line), Key, true))
            return frMatch;
    }
    return frNoMatch;
}

QString FindCatalogOfPage(const QString &HistoryFile, const QString &ProgramFolder, const QString &PageName)
{
    QStringList History;
    if (PageName.isEmpty() || !FileExists(HistoryFile) || !ReadLines(HistoryFile, History))
        return QString();
    for (const QString &Book : ListedFiles(History, ProgramFolder)) {
        QStringList Lines;
        if (!FileExists(Book) || !ReadLines(Book, Lines))
            continue;
        const int First = qMax(0, TCatalogBook::FirstEntryLine(Lines));
        for (int I = First; I < Lines.size(); ++I)
            if (ExtractFileName(Lines[I].trimmed()).compare(PageName, Qt::CaseInsensitive) == 0)
                return Book;
    }
    return QString();
}

} // namespace PageSearch
