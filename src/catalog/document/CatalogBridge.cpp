#include "CatalogBridge.h"

#include "platform/core/Classes.h"

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

} // namespace CatalogBridge
