#pragma once
// Mask matching and the folder walker that expands masks into files.
//
// Masks: "?" one character, "*" any run, "<set>" one character of the set,
// "<^set>" or "<!set>" one character outside it, "*<set>" a run of characters
// of the set; a set holds characters and ranges "x-y". Matching ignores the
// case of ASCII letters.

#include "platform/core/FileUtils.h"

#include <QString>
#include <QStringList>
#include <functional>
#include <memory>
#include <vector>

bool WildcardMatches(const QString &Mask, const QString &Name);

// One open level of a folder walk.
class TSearchData : public TObject {
public:
    TSearchData(const QString &Path, const QString &Mask, int Attributes);
    ~TSearchData() override;
    bool Exhausted() const { return FResult != 0; }
    void Advance();

    QString Path;        // always ends with "/"
    QString Mask;
    TSearchRec Rec;
    bool Closed = false; // nothing was found, so there is nothing to close

private:
    int FResult = -1;
};

// Walks a folder tree and returns, one by one, the paths matching a mask.
// Paths are native ("/"). A start folder may hold wildcards in its folder
// parts ("/data/20*/"): each sub-folder matching them is searched.
class TDirSearch : public TObject {
public:
    TDirSearch(const QString &StartFolder, int Attributes, bool Recurse, const QString &Mask);
    ~TDirSearch() override;

    // The next path ("" when the walk is finished). A folder (only when
    // recursing) comes as its path with a trailing "/", before its contents;
    // a file as its full path with Rec filled in.
    QString NextMatch(TSearchRec &Rec);

    // Levels below the start folder that are searched; deeper folders are not entered.
    static constexpr int MaxDepth = 20;

    // Told of what the walk has to leave out: a folder deeper than MaxDepth
    // (its path with a trailing "/") and a file whose name is not valid UTF-8
    // (shown with replacement characters), so nothing is dropped unseen.
    std::function<void(const QString &Path)> OnLeftOut;

private:
    void OpenLevel(const QString &Path, const QString &Mask);
    void ReportUndecodable(TSearchData &Level);
    std::vector<std::unique_ptr<TSearchData>> FLevels;
    QString FFileMask;
    bool FRecurse;
    int FAttributes;
    QStringList FWildParts;
    bool FStarted = false;
};
