#pragma once
// Whole text files as lists of lines, the way every catalog file is read and
// written (code page 936, CR LF; an existing file is replaced only by a complete
// new one). Thin helpers over the platform's string list, and the platform's
// path and folder routines under the names the catalog units use.

#include <QString>
#include <QStringList>

namespace CatalogBridge {

// Raises EFOpenError when the file cannot be read.
QStringList LoadLines(const QString &FileName);
// Raises EFCreateError when the file cannot be written.
void SaveLines(const QString &FileName, const QStringList &Lines);

QString ProgramFolder();
void SetProgramFolder(const QString &Folder);
QString ScratchFolder();
bool FileExists(const QString &FileName);
bool DirectoryExists(const QString &Folder);
bool IsAbsoluteStoredPath(const QString &Path);
QString NativePath(const QString &StoredPath);
QString ExtractFilePath(const QString &FileName);
QString ExtractFileName(const QString &FileName);
QString ExtractFileExt(const QString &FileName);

} // namespace CatalogBridge
