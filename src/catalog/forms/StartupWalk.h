#pragma once
// PlanStartupOpen and TStartupPlan: the start-up walk over the paths named on
// the command line: which document opens and which pictures are imported. Kept
// apart from the window so the decisions can be checked on their own.

#include <QString>
#include <QStringList>

struct TStartupPlan {
    enum TOpen { opNothing, opPackage, opBook, opPage };
    TOpen Open = opNothing;
    QString Path;              // the package, book or page to open
    QStringList Pictures;      // collected picture files and folders, in order
    // Pictures are imported into a new page when the walk ended without a page
    // and without a package (also after a book).
    bool ImportPictures() const { return Open != opPage && Open != opPackage && !Pictures.isEmpty(); }
};

// Walks Paths from the first line (the program's own path comes first and is
// passed over like any path that is no document, picture or folder).
TStartupPlan PlanStartupOpen(const QStringList &Paths);

// A single collected folder becomes its .jpg files (no sub-folders), sorted by
// name; anything else stays as it is.
QStringList ExpandPictureFolder(const QStringList &Pictures);
