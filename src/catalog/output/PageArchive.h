#pragma once
// PageArchive: the archives of a page output: a ZIP of the page and its
// pictures, and the self-extracting archive (the extractor stub in front of a ZIP whose
// offsets are then fixed). The archive itself is written by the zip library.

#include <QList>
#include <QPair>
#include <QString>
#include <functional>

namespace PageArchive {

// The files an archive holds: the source path and the member name
// ("P1.htm", "images/a.jpg"). An archive holds these and nothing else.
using TMembers = QList<QPair<QString, QString>>;

// Zips the Members into ZipName. The archive is written once, streaming,
// under a temporary name beside ZipName, and replaces it only when it is
// complete and synced. A member that cannot be read fails it. Raises
// Exception on failure. Percent reports the packing (0..100); Cancelled,
// asked between buffers, ends it (EAbort) with ZipName untouched and nothing
// left behind.
void ZipFiles(const QString &ZipName, const TMembers &Members, const std::function<void(int Percent)> &Percent = {},
              const std::function<bool()> &Cancelled = {});

// The same members as a self-extracting archive ExeName that unpacks into the
// folder it runs in. False (with the reason in Error) when it could not be made;
// ExeName is then untouched.
bool MakeSelfExtracting(const QString &ExeName, const TMembers &Members, QString &Error,
                        const std::function<void(int Percent)> &Progress = {});

} // namespace PageArchive
