#pragma once
// TPageValidation: the checks that run before a page is published: the output
// settings in the page header and the price and weight of every product. Each
// fault is put to the user, who may go on (the output then uses its fallback)
// or stop and correct the value. No widgets: the main window answers the
// questions and shows the offending line or grid row.

#include <QString>
#include <QStringList>
#include <functional>

class TProductGridAccess;

class TPageValidation {
public:
    // Program folder with trailing "/". PageFolder: the folder of the page's
    // file, where the output looks for a relative background or music first
    // ("" for a page without a file).
    TPageValidation(const QStringList &PageLines, const QString &ProgramFolder, const TProductGridAccess &Grid,
                    const QString &PageFolder = QString());

    // A message box: text, caption, MB_ flags; returns IDOK or IDCANCEL.
    std::function<int(const QString &Text, const QString &Caption, unsigned Flags)> Ask;
    // Shows page line Index for correction.
    std::function<void(int Index)> ShowLine;
    // Makes Row the grid's current row and focuses the grid.
    std::function<void(int Row)> ShowGridRow;

    // True when the output may go on.
    bool Run();

private:
    QStringList FLines;
    QString FExe;
    const TProductGridAccess &FGrid;
    QString FPageFolder;

    bool Warn(const QString &Text);
    bool HeaderOk();
    bool GridOk();
};
