#pragma once
// TPageDocument, the catalog page document: the page text as a list of lines,
// its header keys, its product blocks, the parser that fills the product grid
// and the writer of one product value, files, history and repair. No widgets:
// the main window shows the lines in its page text box and calls these
// operations.

#include <QHash>
#include <QString>
#include <QStringList>
#include <functional>

// What the page document needs of the product grid. Cells are reached through
// the grid's merge-aware accessors; a product block is six rows, product n
// starting at row 6n-5, with its picture path in column 1 of row 6n.
class TProductGridAccess {
public:
    virtual ~TProductGridAccess() = default;
    virtual int RowCount() const = 0;
    virtual QString Cells(int ACol, int ARow) const = 0;
    virtual void SetCells(int ACol, int ARow, const QString &Value) = 0;
    // Adds six rows at the end and sets up the new, empty block.
    virtual void AppendProductBlock() = 0;
    // Empties the grid down to the header and one empty block.
    virtual void ResetGrid() = 0;
    // Creates the cell picture of (ACol, ARow) and loads FileName into it.
    virtual void LoadCellPicture(int ACol, int ARow, const QString &FileName) = 0;
    virtual void ClearCellPicture(int ACol, int ARow) = 0;
};

// Values a new page takes when no defaults file exists.
struct TNewPageDefaults {
    QString DefaultsFile;   // defaultset.txt of the program folder
    QString Today;          // today's date in the short date format
    QString Salesman;       // line 2 of cols1.dat
    QString OrderMail;      // line 7 of cols1.dat
};

// What one operation did to the lines: lines First .. First+Removed-1 of the
// text before it are now lines First .. First+Added-1, and the lines before
// and after them are as they were (both counts 0: nothing changed). Everything:
// the whole text was replaced (a load, a new page), the counts say nothing.
struct TPageChange {
    int First = 0;
    int Removed = 0;
    int Added = 0;
    bool Everything = false;
};

class TPageDocument {
public:
    static const QString Magic;            // "QBT FILE TYPE 2.0"
    static const QString MarkerComment;    // the comment line before "{detail}"
    static const QString RepairedMarker;   // the same comment as the repair writes it
    static const QString DetailLine;       // "{detail}"
    static const QString RepairedLine;     // filler line the repair inserts
    static const QString MissingPicture;   // text of a picture cell whose file is missing
    static const QStringList HeaderKeys;   // the nineteen keys, in file order
    static const QStringList ValueKeys;    // "{$IMG}=" ... "{$PNOTE}=", block order
    static constexpr int FirstBlockLine = 23;

    // ---- the line list ----
    const QStringList &Lines() const { return FLines; }
    int Count() const { return int(FLines.size()); }
    QString Strings(int Index) const { return FLines.value(Index); }
    void SetLines(const QStringList &Lines);
    void Clear();
    QString Text() const;                  // lines joined, each followed by CR LF

    // Header values by key ("{Catalog编号}"): names compare without regard to case.
    // Setting an empty value removes the line; setting an absent key inserts it
    // before the marker comment, so the product blocks keep their places. Line
    // breaks never enter a value.
    QString Values(const QString &Key) const;
    void SetValues(const QString &Key, const QString &Value);

    // Fired after every operation that may change the lines (an operation
    // made of others, such as a repair, may fire once for each), with the lines
    // it changed, so a view can replace those lines alone: typing into one
    // product costs that product's line, not the page.
    std::function<void(const TPageChange &Change)> OnChange;

    // ---- new page ----
    // Builds a new page header. Returns true when the defaults file was used.
    bool InitNewPageText(const TNewPageDefaults &Defaults);

    // ---- product blocks ----
    // Block number of a block line "{$n}" (n decimal digits, n >= 1), else 0.
    static int BlockNumberOfLine(const QString &Line);
    static int BlockFirstRow(int Row);
    // Line index of the exact line "{$n}" of the product area, or -1: the
    // line where the page's geometry puts block n (nine lines a block after
    // "{detail}" and its empty line) when it is there, else the first such line.
    int FindBlockLine(int N) const;
    // First line the parser looks at for block lines.
    int ProductScanStart() const;

    // Fills the grid's blocks from the lines. PagePath (may be empty) and
    // ProgramFolder (with trailing "/") resolve relative picture paths.
    void LoadGridFromPage(TProductGridAccess &Grid, const QString &PagePath, const QString &ProgramFolder);
    // The file a block's picture path names: absolute as it is, relative from
    // PageFolder (with trailing "/", may be empty) when the file is there, else
    // from ProgramFolder; empty for an empty path.
    static QString PictureFileOf(const QString &Value, const QString &PageFolder, const QString &ProgramFolder);
    // The value of block N's "{$IMG}" line as the page holds it (relative or
    // full); a null string when the block or the line is not in the text.
    QString StoredPicture(int N) const;
    // What a picture line holds for File when the picture there was stored as
    // Stored: Stored itself when it names File; a relative value for a file in
    // the same folder as the relative Stored names (a copy made beside the
    // picture), in Stored's own form; else File as it stands. So a picture
    // keeps the form it was stored in, and a page whose pictures are stored
    // relative stays movable.
    static QString PictureValueLike(const QString &Stored, const QString &File, const QString &PageFolder,
                                    const QString &ProgramFolder);
    // The picture cell of the block whose first row is First shows File: its
    // thumbnail, the missing-picture text, or nothing for an empty File.
    static void ShowBlockPicture(TProductGridAccess &Grid, int First, const QString &File);
    std::function<void(int Position, int Total)> OnProgress;

    enum TStoreResult { srStored, srNothing, srNeedsRepair };
    // Writes the value of grid cell (ACol, ARow) into its page line, or the whole
    // block when the block is not in the text yet.
    TStoreResult StoreProductBlock(const TProductGridAccess &Grid, int ACol, int ARow);

    // ---- files ----
    // True when the file starts with the page's magic line: anything else
    // (another text, a binary file, an empty file) is no page. The line may
    // end in CR LF, LF or CR, and a UTF-8 mark may stand before it.
    static bool IsPageFile(const QString &FileName);
    // The lines of a page file: code page 936 text, or UTF-8 when the file
    // starts with the UTF-8 mark. Raises EFOpenError when it cannot be read.
    static QStringList LoadPageLines(const QString &FileName);
    // A page whose product blocks lost their "{detail}" line: the blocks are not
    // where the parser and the writer look for them until it is repaired.
    bool LacksDetailLine() const;
    void LoadFromFile(const QString &FileName);
    void SaveToFile(const QString &FileName) const;
    static void AddPageHistory(const QString &HistoryFile, const QString &Path);
    // Before the page is saved under NewPagePath, coming from OldPagePath (""
    // for a page never saved, whose relative pictures lie below the program
    // folder): every picture value (the products' "{$IMG}=" lines, the
    // background picture and the music) that would name another file, or
    // none, from the new place is stored so that it names the same file:
    // relative (with "\") where the file lies below the new page's folder,
    // otherwise its full path. Values that still name their file, and values
    // whose file is not found, stay as they are; no picture of the user is
    // moved or copied. A picture inside Scratch (the running program's
    // scratch folder, where an opened package lies) would go when the program
    // ends: it is copied into the new page's images folder (under a new name
    // where another file has its name) and named from there. Returns true
    // when a value changed.
    bool RebasePicturePaths(const QString &OldPagePath, const QString &NewPagePath, const QString &ProgramFolder,
                            const QString &Scratch = QString());
    // Line k (0-based) of a company file (CompanyFiles::ReadDatLine).
    static QString ReadDatLine(const QString &FileName, int Line);

    // ---- repair ----
    // Returns true when the product blocks were rebuilt (the grid must be reloaded).
    // AskRebuildHeader is asked when the header cannot be mended.
    bool RepairPageFile(const TNewPageDefaults &Defaults, const std::function<bool()> &AskRebuildHeader);
    void RebuildPageHeader(const TNewPageDefaults &Defaults);
    // Raises Exception "修复失败，没有找到catalog块内容。" when the text holds no block.
    void RebuildProductBlocks(int FirstLine = FirstBlockLine);

    // Text cut to at most Limit characters, never inside a character.
    static QString CutChars(const QString &S, int Limit);
    // A value as it may be stored on one line.
    static QString OneLine(const QString &S);

private:
    QStringList FLines;

    // The change gathered since the last notice: the first FFirst and the last
    // FTail lines are those of the text of FOldCount lines the notice last left.
    bool FNoted = false;
    bool FEverything = false;
    int FFirst = 0;
    int FTail = 0;
    int FOldCount = 0;
    // Every change of FLines goes through these, which note what they changed;
    // Changed() tells OnChange what was noted since the last notice.
    void PutLine(int Index, const QString &Line);
    void InsertLines(int Index, const QStringList &Lines);
    void RemoveLines(int Index, int Count);
    void ReplaceAll(const QStringList &Lines);      // notes only the lines that differ
    void ReplaceEverything(const QStringList &Lines);
    void Note(int First, int Removed, int Added);   // after the change

    // Where FindBlockLine finds each block when the geometry does not say:
    // the line of the first "{$n}" after "{detail}" for every n, made when it
    // is first asked for and kept while the lines change around it, so that a
    // block missing from the text (every picture of an import) or a page
    // whose blocks stand off their places costs no search of the page.
    mutable QHash<int, int> FBlockLines;
    mutable bool FBlockIndexed = false;
    mutable int FIndexedDetail = -1;   // DetailIndex() of the indexed text
    mutable int FIndexedLast = -1;     // the last line the index names
    mutable int FLastBlock = -1;       // the last block line of the product area, whatever its number
    void IndexBlocks() const;
    void ForgetBlocks() { FBlockIndexed = false; }
    void Changed();
    int IndexOfName(const QString &Name) const;
    int HeaderInsertPoint() const;
    int DetailIndex(int Before = -1) const;
    int FindFirstBlockOne() const;
    int BlockAppendPoint();
};
