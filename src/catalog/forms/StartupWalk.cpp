#include "StartupWalk.h"

#include "catalog/document/CatalogBook.h"
#include "platform/core/FileUtils.h"

#include <QDir>



TStartupPlan PlanStartupOpen(const QStringList &Paths)
{
    TStartupPlan Plan;
    for (const QString &Path : Paths) {
        // A document's kind is its extension without the blanks that may end
        // its file name ("tp.qbt " is a page); it opens under its real name.
        const QString Ext = TCatalogBook::EntryExt(Path).toUpper();
        if (Ext == QLatin1String(".QBA")) {
            Plan.Open = TStartupPlan::opPackage;
            Plan.Path = Path;
            Plan.Pictures.clear();
            return Plan;
        }
        if (Ext == QLatin1String(".QBS")) {
            Plan.Open = TStartupPlan::opBook;
            Plan.Path = Path;
            return Plan;
        }
        if (Ext == QLatin1String(".QBT")) {
            Plan.Open = TStartupPlan::opPage;
            Plan.Path = Path;
            Plan.Pictures.clear();
            return Plan;
        }
        if (Ext == QLatin1String(".JPG") || Ext == QLatin1String(".GIF") || Ext == QLatin1String(".BMP")
            || DirectoryExists(Path))
            Plan.Pictures.append(Path);
    }
    return Plan;
}

QStringList ExpandPictureFolder(const QStringList &Pictures)
{
    if (Pictures.size() != 1 || !DirectoryExists(Pictures.constFirst().trimmed()))
        return Pictures;
    const QDir Folder(Pictures.constFirst().trimmed());
    QStringList Files;
    for (const QFileInfo &Info : Folder.entryInfoList(QDir::Files | QDir::Hidden, QDir::Name))
        if (Info.suffix().compare(QLatin1String("jpg"), Qt::CaseInsensitive) == 0)
            Files.append(Info.absoluteFilePath());
    return Files;
}
