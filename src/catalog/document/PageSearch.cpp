#include "PageSearch.h"

#include "CatalogBook.h"
#include "PageDocument.h"
#include "platform/core/Classes.h"
#include "platform/core/FileUtils.h"
#include "platform/core/Codec.h"

#include <QFile>

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
    // A book may list any file, a film as well as a page: the file is read a
    // piece at a time and searched line by line, and the search ends at the
    // first hit. Line ends (CR and LF) are never part of a double-byte
    // character, so the lines are those the program sees when it opens the
    // file: read as a page is read (a UTF-8 mark makes it UTF-8), so that
    // what the page shows is what is found in it.
    QFile F(NativePath(File));
    if (!F.open(QIODevice::ReadOnly))
        return frNoMatch;
    const QString Key = CaseSensitive ? Keyword : FoldAscii(Keyword);
    bool Utf8 = false;
    bool First = true;
    QByteArray Pending;
    auto Matches = [&](QByteArrayView Bytes) {
        const QString Line = Utf8 ? QString::fromUtf8(Bytes) : Cp936::Decode(Bytes.toByteArray());
        return LineContains(CaseSensitive ? Line : FoldAscii(Line), Key, true);
    };
    for (;;) {
        const QByteArray Piece = F.read(1 << 20);
        if (Piece.isEmpty() && F.error() != QFileDevice::NoError)
            return frNoMatch;
        const bool End = Piece.isEmpty();
        Pending += Piece;
        if (First && (Pending.size() >= 3 || End)) {
            First = false;
            Utf8 = Pending.startsWith("\xEF\xBB\xBF");
            if (Utf8)
                Pending.remove(0, 3);
        }
        if (First)
            continue;
        qsizetype From = 0;
        for (qsizetype I = 0; I < Pending.size(); ++I) {
            const char C = Pending.at(I);
            if (C != '\n' && C != '\r')
                continue;
            if (Stopped && Stopped())
                return frStopped;
            if (I > From && Matches(QByteArrayView(Pending).sliced(From, I - From)))
                return frMatch;
            From = I + 1;
        }
        Pending.remove(0, From);
        if (End) {
            if (Pending.isEmpty())
                return frNoMatch;
            if (Stopped && Stopped())
                return frStopped;
            return Matches(Pending) ? frMatch : frNoMatch;
        }
    }
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
