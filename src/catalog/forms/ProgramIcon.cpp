#include "ProgramIcon.h"

#include "platform/core/FileUtils.h"

#include <QDir>
#include <QRegularExpression>

QIcon ProgramIcon()
{
    QIcon Icon;
    const QDir Icons(ProgramFolder() + QStringLiteral("icons"));
    static const QRegularExpression Sized(QStringLiteral("^quillbook-\\d+\\.png$"));
    for (const QString &Name : Icons.entryList({QStringLiteral("quillbook-*.png")}, QDir::Files, QDir::Name))
        if (Sized.match(Name).hasMatch())
            Icon.addFile(Icons.filePath(Name));
    return Icon;
}
