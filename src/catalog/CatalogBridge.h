#pragma once
// The few file and text services the catalog forms need from the platform layer.
// They live here, behind one small interface, so the forms keep one call site
// each while the platform's own implementations settle; every function here
// forwards to (or stands in for) the platform routine of the same purpose.

#include <QString>
#include <QStringList>

namespace CatalogBridge {

// Whole text files in code page 936, as a list of lines. Reading accepts CR LF,
// LF and CR; a missing or unreadable file raises EFOpenError. Writing puts CR LF
// after every line and replaces an existing file only by a complete new one
// (EFCreateError on failure).
QStringList LoadLines(const QString &FileName);
void SaveLines(const QString &FileName, const QStringList &Lines);

// The program folder with a trailing "/" ($QUILLBOOK_HOME or the executable's folder).
QString ProgramFolder();
void SetProgramFolder(const QString &Folder);
// This running program's own scratch folder (below the program folder's tmp/),
// created on first use; trailing "/".
QString ScratchFolder();

bool FileExists(const QString &FileName);
bool DirectoryExists(const QString &Folder);
// A stored path is absolute when it starts with "/" or a drive ("X:\", "X:/");
// "\" counts as a separator.
bool IsAbsoluteStoredPath(const QString &Path);
QString NativePath(const QString &StoredPath);
QString ExtractFilePath(const QString &FileName);   // with trailing "/"
QString ExtractFileName(const QString &FileName);
QString ExtractFileExt(const QString &FileName);    // with the dot, "" when none

} // namespace CatalogBridge
