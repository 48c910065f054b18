#pragma once
// PageArchive: the archives of a page output: a ZIP of the output folder and
// the self-extracting archive (the extractor stub in front of a ZIP whose
// offsets are then fixed). The archive itself is written by the zip library.

#include <QList>
#include <QPair>
#include <QString>
#include <functional>

namespace PageArchive {

// Files from elsewhere that an archive holds as if they were in the folder:
// the source path and the member name below the folder ("images/a.jpg"). A
// file of the folder with the same name gives way to it.
using TMembers = QList<QPair<QString, QString>>;

// Zips every file below Folder (paths relative to Folder) and the Extra
// members into ZipName. The archive is written once, streaming, under a
// temporary name beside ZipName, and replaces it only when it is complete and
// synced. Earlier outputs named like ZipName (.zip, .chm, .rar, .exe) are left
// out. Raises Exception on failure. Percent reports the packing (0..100);
// Cancelled, asked between buffers, ends it (EAbort) with ZipName untouched
// and nothing left behind.
void ZipFolder(const QString &Folder, const QString &ZipName, const std::function<void(int Percent)> &Percent = {},
               const std::function<bool()> &Cancelled = {}, const TMembers &Extra = {});

// The same files as a self-extracting archive ExeName that unpacks into the
// folder it runs in. False (with the reason in Error) when it could not be made;
// ExeName is then untouched.
bool MakeSelfExtracting(const QString &Folder, const QString &ExeName, QString &Error,
                        const std::function<void(int Percent)> &Progress = {}, const TMembers &Extra = {});

} // namespace PageArchive
