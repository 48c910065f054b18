#pragma once
// TPageOutput: publishing one catalog page through the templates of a style
// folder: the pair list, template expansion, the product records, the output
// folder with its pictures and the branches by output type (ZIP, MHT, HTML
// folder, CHM, self-extracting archive, page copy, preview). No widgets: the
// main window supplies the questions, the shell and the progress display
// through TOutputHooks.

#include "HtmlText.h"
#include "OutputFolders.h"

#include <QHash>
#include <QMultiHash>
#include <QSet>
#include <QString>
#include <QStringList>
#include <functional>

class QTemporaryDir;
class TOutputFiles;

// Output types, as the page's {输出方式} names them.
enum TOutputType { otZip = 0, otMht = 1, otSfx = 2, otHtml = 3, otPageCopy = 4, otChm = 5 };

// Modes of an output call.
enum : int {
    omPage = 0, omPageOpen = 1, omZip = 2, omMht = 3, omSfx = 4, omHtml = 5, omChm = 12,
    omPackage = 33, omPageCopy = 66, omPreview = 100,
};

// What the output needs from the window that runs it. Every hook may be left
// empty; an empty question hook answers "cancel" / "".
struct TOutputHooks {
    // An error box (the unpaired-brace message, failed compiles).
    std::function<void(const QString &Text)> ShowError;
    // A warning box: the output goes on (pictures it cannot find).
    std::function<void(const QString &Text)> ShowWarning;
    // The folder browser; "" when cancelled.
    std::function<QString(const QString &Prompt)> BrowseForFolder;
    // Opens a file or a folder with the desktop's program.
    std::function<void(const QString &Target)> ShellOpen;
    // Progress of the MHT writer: the caption and the bar position.
    std::function<void(const QString &Caption, int Position)> MhtProgress;
    // Progress of the whole output: the caption and the bar position (0..100).
    // The window keeps painting there.
    std::function<void(const QString &Caption, int Position)> Progress;
    // True when the user asked to stop: the output ends (EAbort) and removes
    // what it had made so far.
    std::function<bool()> Cancelled;
    // One line of the help compiler's report.
    std::function<void(const QString &Text)> ChmProgress;
    // The package writer: folder (with trailing "/"), main file name, target
    // ("" for <folder>catalog.qba), book flag, result path.
    std::function<void(const QString &Folder, const QString &MainFile, const QString &Target, bool IsBook,
                       QString &ResultPath)> WriteQbaPackage;
    // Progress of the zip library while an archive is written (0..100).
    std::function<void(int Percent)> ZipProgress;
    // A Yes/No question: the page's output folder holds outputs another page
    // (or nobody known) made. True goes on and replaces them; false ends the
    // output (EAbort) with nothing written.
    std::function<bool(const QString &Text)> AskReplace;
};

// The names the pages of a book gave their pictures in the pictures folder
// they share, by lower-cased file name: which names they placed there, each
// by its file's size, and the first number from 2 on no page has taken.
struct TSharedPictureNames {
    struct TName {
        QSet<QString> Placed;                 // lower-cased
        QMultiHash<qint64, QString> BySize;   // size -> name as placed
        int FirstFree = 2;
    };
    QHash<QString, TName> Names;
    // The name each picture file (by its full path) took: the pages that show
    // the same file find it without comparing contents.
    QHash<QString, QString> BySource;
    // The names whose files an earlier page of this output put in place,
    // lower-cased: a page that shows the same picture does not copy it again.
    QSet<QString> Written;
    // The pages go into a help file: each picture takes a name its compiler
    // takes (ChmFileName).
    bool ForHelpFile = false;
};

class TPageOutput {
public:
    // PageLines: the page text. PagePath: the page file ("" for an unsaved page).
    // ProgramFolder: with trailing "/".
    TPageOutput(const QStringList &PageLines, const QString &PagePath, const QString &ProgramFolder);

    TOutputHooks Hooks;
    // The open page's entry of the book list (names the page copy in a book output).
    QString OpenPageEntry;
    // Where the preview page and the help compiler's work files go (with trailing "/").
    QString ScratchFolder;
    // The page's own output folder is not used: the output goes to the program
    // folder's 输出 (a page from another computer chooses no folder here).
    bool OwnOutputRoot = false;
    // In a book output: the names the book's earlier pages gave their pictures
    // in the shared pictures folder (kept by the book's run, added to here).
    TSharedPictureNames *SharedNames = nullptr;
    // Who the page is (OutputFolders): its own output folder is recorded as
    // made by it, and one that holds what another page made is replaced only
    // when Hooks.AskReplace says so. Empty: neither.
    QString Maker;
    // How often picture naming has looked at a file in a shared pictures folder.
    static int FolderLooks();

    // Publishes the page (validation has been done by the caller). Raises the
    // documented errors: a missing template, a bad number, a folder that cannot be made.
    void Run(int Mode, bool OpenAfterwards, const QString &OutputFolder, QString &ResultPath);

    // ---- pieces, public for the callers that share them ----
    // Value of a page key ("{Catalog编号}"): the text after the first "=" of the
    // first line whose name matches without regard to case; "" when absent.
    static QString PageValue(const QStringList &Lines, const QString &Key);
    // The output type the page names (ZIP for anything unknown).
    static int PageOutputType(const QString &Value);
    // The file name up to its first "." (the whole name when it holds none).
    static QString FileBaseName(const QString &Path);
    // A fresh GUID in registry form: "{" 8-4-4-4-12 hex digits "}".
    static QString NewGuidString();
    // A name that may stand alone as one file or folder name.
    static bool IsSafeName(const QString &Name);
    // Escapes a text for an HTML attribute value.
    static QString HtmlEscape(const QString &Text);

    // Expands one template line; Lookup gives the value of a token ("{...}").
    // On a "}" before the next "{", OnUnpaired is called and the line is kept as
    // it stands. A value is never scanned again, so a value holding its own
    // token cannot loop. Places holds the line's places from
    // HtmlText::AttributePlaces: a value the template puts inside an attribute
    // value or a raw text element (a title) is written as plain text there
    // (HtmlText::ValueFor), unless Markup says the program made it for that
    // place (a picture's address with its size).
    static QString ExpandLine(const QString &Line, const std::function<QString(const QString &Token)> &Lookup,
                              const std::function<void()> &OnUnpaired, const QList<HtmlText::TPlace> &Places = {},
                              const std::function<bool(const QString &Token)> &Markup = {});

    // After Run: the expanded HTML (one item per template line) and the folders used.
    const QStringList &Output() const { return FOut; }
    const QStringList &Pictures() const { return FPictures; }
    QString OutputFolder() const { return FD; }
    QString PicturesFolder() const { return FImages; }
    bool Chinese() const { return FChinese; }
    int OutputType() const { return FType; }
    // The page's output name (its {Catalog编号}) as the files of this run use it.
    QString PageId() const { return FId; }
    // The copies this run made in the pictures folder, and whether it made that folder.
    const QStringList &CreatedFiles() const { return FCreatedFiles; }
    bool CreatedPicturesFolder() const { return FCreatedImages; }
    // The HTML output wrote its page where none was before.
    bool CreatedPage() const { return FCreatedPage; }
    // This run made the page's output folder.
    bool CreatedOutputFolder() const { return FCreatedD; }

private:
    // settings
    QStringList FPage;
    QString FPagePath;
    QString FExe;
    QString FPageFolder;
    QString FId, FEffect, FStyle, FRoot;
    int FW = 0, FH = 0, FPct = 75;
    bool FChinese = true;
    int FType = otZip;
    int FMode = 0;
    QString FOutputArg;

    QStringList FPairs;           // "name=value"
    QStringList FOut;
    QStringList FPictures;        // full paths, output order
    QString FBackground, FMusic;  // resolved, "" when dropped
    QString FWeightUnitPair;
    QString FD, FImages;
    // Output file name of every source file (distinct names for distinct files).
    QHash<QString, QString> FOutName;
    QHash<QString, QString> FNameOwner;   // lower-cased output name -> source path
    // For each lower-cased file name: the first number n from 2 on whose
    // "name(n).ext" no file of this run has taken.
    QHash<QString, int> FFirstFreeNumber;
    QStringList FCreatedFiles;            // files this run made in the pictures folder
    TOutputFiles *FFiles = nullptr;       // the copies of this run, put in place together
    QStringList FMissing;                 // pictures not found: "商品“A-1”的图片：pics\a.jpg"
    bool FStyleShowsBack = false;         // the style's templates refer to its background M_back.jpg
    bool FCreatedImages = false;
    bool FCreatedPage = false;
    bool FCreatedD = false;               // this run made the output folder
    OutputFolders::TFolderClaim FClaim;   // the page's own output folder, while the run writes there

    void ReadSettings();
    void BuildPairs();
    QString Resolve(const QString &Stored) const;
    QString OutName(const QString &Path);
    QString PairValue(const QString &Token) const;
    QStringList LoadTemplate(const QString &Name) const;
    void NoteStyleBack(const QStringList &Template);
    void ExpandHead();
    void ExpandBody();
    void ExpandTail();
    void ReturnLink();
    void Preview();
    void PrepareFolders();
    void CopyPictures();
    // True when this output copies its pictures beside the page; the archives
    // and the message take them from where they are.
    bool CopiesPictures() const;
    // The pictures (and the style's background) as archive members: source
    // path and name below the output folder ("images/a.jpg").
    QList<QPair<QString, QString>> PictureMembers();
    void CommitCopies();
    void CleanUp(const QString &Html);
    // The page copy becomes a package.
    bool MakesPackage() const;
    // The output folder holds a file of a name this page's outputs take.
    bool HoldsOutputNames();
    // Tells which products' pictures cannot be found.
    void WarnMissingPictures();
    // A new folder of its own in the scratch folder, and the page saved there as Name.
    QTemporaryDir *NewStage() const;
    QString StagePage(QTemporaryDir &Stage, const QString &Name) const;
    // The branches; those that can fail without an error say whether they made their output.
    void ZipBranch(QString &ResultPath);
    void MhtBranch(QString &ResultPath);
    bool SfxBranch(QString &ResultPath);
    void HtmlBranch(QString &ResultPath);
    bool PageCopyBranch(QString &ResultPath);
    bool ChmBranch();
    void ShowError(const QString &Text) const;
    QString PictureValue(const QString &Path);
    void Report(const QString &Caption, int Position) const;
    void CheckCancel() const;
};
