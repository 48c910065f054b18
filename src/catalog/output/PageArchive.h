#pragma once
// PageArchive: the archives of a page output: a ZIP of the output folder and
// the self-extracting archive (the extractor stub in front of a ZIP whose
// offsets are then fixed). The archive itself is written by the zip library.

#include <QString>
#include <functional>

namespace PageArchive {

// Zips every file below Folder (paths relative to Folder) into ZipName, which is
// replaced only by a complete new archive. Earlier outputs named like ZipName
// (.zip, .chm, .rar, .exe) are left out. Raises Exception on failure.
// Percent reports the packing (0..100); Cancelled, asked between buffers, ends
// it (EAbort) with ZipName untouched.
void ZipFolder(const QString &Folder, const QString &ZipName, const std::function<void(int Percent)> &Percent = {},
               const std::function<bool()> &Cancelled = {});

// The same files as a self-extracting archive ExeName that unpacks into the
// folder it runs in. False (with the reason in Error) when it could not be made;
// ExeName is then untouched.
bool MakeSelfExtracting(const QString &Folder, const QString &ExeName, QString &Error,
                        const std::function<void(int Percent)> &Progress = {});

} // namespace PageArchive
