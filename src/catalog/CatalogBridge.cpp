#include "CatalogBridge.h"

#include "platform/core/Classes.h"
#include "platform/core/FileUtils.h"

namespace CatalogBridge {

QStringList LoadLines(const QString &FileName)
{
    TStringList List;
    List.LoadFromFile(FileName);
    return List.ToQStringList();
}

void SaveLines(const QString &FileName, const QStringList &Lines)
{
    TStringList(Lines).SaveToFile(FileName);
}

QString ProgramFolder() { return ::ProgramFolder(); }
void SetProgramFolder(const QString &Folder) { ::SetProgramFolder(Folder); }
QString ScratchFolder() { return ::ScratchFolder(); }
bool FileExists(const QString &FileName) { return ::FileExists(FileName); }
bool DirectoryExists(const QString &Folder) { return ::DirectoryExists(Folder); }
bool IsAbsoluteStoredPath(const QString &Path) { return ::IsAbsoluteStoredPath(Path); }
QString NativePath(const QString &StoredPath) { return ::NativePath(StoredPath); }
QString ExtractFilePath(const QString &FileName) { return ::ExtractFilePath(FileName); }
QString ExtractFileName(const QString &FileName) { return ::ExtractFileName(FileName); }
QString ExtractFileExt(const QString &FileName) { return ::ExtractFileExt(FileName); }

} // namespace CatalogBridge
