#pragma once
// Whole text files as lists of lines, the way every catalog file is read and
// written (code page 936, CR LF; an existing file is replaced only by a complete
// new one). Thin helpers over the platform's string list.

#include "platform/core/FileUtils.h"

#include <QString>
#include <QStringList>

namespace CatalogBridge {

// The file and path helpers the forms reached through this header before the
// platform had them: the platform's own functions under their old names.
using ::DirectoryExists;
using ::ExtractFileExt;
using ::ExtractFileName;
using ::ExtractFilePath;
using ::FileExists;
using ::IsAbsoluteStoredPath;
using ::NativePath;
using ::ProgramFolder;
using ::ScratchFolder;
using ::SetProgramFolder;

// Raises EFOpenError when the file cannot be read.
QStringList LoadLines(const QString &FileName);
// Raises EFCreateError when the file cannot be written.
void SaveLines(const QString &FileName, const QStringList &Lines);

} // namespace CatalogBridge
