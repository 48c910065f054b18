// libFuzzer entry for the page and book documents: any bytes are taken as the
// text of a page file (.qbt) and of a book file (.qbs), both of which arrive
// from other computers, and go through what the program does with them after
// opening: the page is loaded into a product grid, its settings are read and
// written back, product values are stored, products deleted and inserted, the
// page is repaired and searched; the book's settings and entries are read,
// resolved and reordered, and a package's rule about received paths is applied
// to both. None of it may crash, hang, or take work out of proportion to the
// input, and the checks below hold for any input.
//
// Everything happens in a private temporary folder, which is also the program
// folder while the target runs.
//
// The seeds in tests/fixtures/page are small pages and books as the program
// writes them, some of them damaged the way old or hand-edited files are.

#include "catalog/document/AutoFill.h"
#include "catalog/document/CatalogBook.h"
#include "catalog/document/PageDocument.h"
#include "catalog/document/PageSearch.h"
#include "catalog/document/PageSettings.h"
#include "catalog/document/ProductBlocks.h"
#include "catalog/document/ReceivedPaths.h"
#include "document/FakeProductGrid.h"

#include "platform/core/Classes.h"
#include "platform/core/Codec.h"
#include "platform/core/FileUtils.h"
#include "platform/core/Types.h"

#include <QDir>
#include <QMap>
#include <QTemporaryDir>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace {

// The private folder while it exists: a failed check removes it before the end.
QString ScratchRoot;

[[noreturn]] void Fail(const char *What)
{
    std::fprintf(stderr, "page fuzzer: %s\n", What);
    if (!ScratchRoot.isEmpty())
        QDir(ScratchRoot).removeRecursively();
    std::abort();
}

struct TFolder {
    QTemporaryDir Dir{QDir::tempPath() + QStringLiteral("/qb-pagefuzz-XXXXXX")};
    QString Root;
    TFolder()
    {
        if (!Dir.isValid())
            Fail("no temporary folder");
        Root = Dir.path() + QLatin1Char('/');
        ScratchRoot = Dir.path();
        SetProgramFolder(Root);
        // A picture pages may name, so that the paths that find a file are taken too.
        ForceDirectories(Root + QStringLiteral("images"));
        WriteFileAtomic(Root + QStringLiteral("images/a.jpg"), QByteArray("\xFF\xD8\xFF\xD9", 4));
        WriteFileAtomic(Root + QStringLiteral("history.txt"), QByteArray("book.qbs\r\n"));
    }
    QString File(const char *Name) const { return Root + QLatin1String(Name); }
};

const TFolder &Folder()
{
    static const TFolder F;
    return F;
}

TNewPageDefaults Defaults()
{
    TNewPageDefaults D;
    D.DefaultsFile = Folder().File("defaultset.txt");   // never written: the built-in header is used
    D.Today = QStringLiteral("2024-5-6");
    D.Salesman = QStringLiteral("张三");
    D.OrderMail = QStringLiteral("order@example.invalid");
    return D;
}

// Keeps a copy of the page's lines up to date from its change notices alone,
// as the page text box does: each notice must name exactly the lines that
// differ, or the copy parts from the page.
class TNoticeMirror {
public:
    explicit TNoticeMirror(TPageDocument &Doc) : FDoc(Doc)
    {
        Doc.OnChange = [this](const TPageChange &C) { Apply(C); };
    }
    ~TNoticeMirror() { FDoc.OnChange = nullptr; }

    void Check() const
    {
        if (FLines != FDoc.Lines())
            Fail("the lines told by the change notices differ from the page");
    }

private:
    TPageDocument &FDoc;
    QStringList FLines;

    void Apply(const TPageChange &C)
    {
        const QStringList &Now = FDoc.Lines();
        if (C.Everything) {
            FLines.clear();
            FLines.reserve(Now.size());
            for (const QString &L : Now)
                FLines.append(L);
            return;
        }
        if (C.First < 0 || C.Removed < 0 || C.Added < 0 || C.First + C.Removed > FLines.size()
            || Now.size() != FLines.size() - C.Removed + C.Added)
            Fail("a change notice does not fit the lines");
        // Lines replaced in place move no others.
        const int Same = qMin(C.Removed, C.Added);
        if (C.Removed > Same)
            FLines.remove(C.First + Same, C.Removed - Same);
        else if (C.Added > Same)
            FLines.insert(C.First + Same, C.Added - Same, QString());
        for (int I = 0; I < C.Added; ++I)
            FLines[C.First + I] = Now.at(C.First + I);
    }
};

// True when the lines read back from a saved page are Lines: the same text,
// but for a damaged byte that text after it would join into a character,
// which is saved as "?".
bool ReadsBackAs(const QStringList &Back, const QStringList &Lines)
{
    if (Back.size() != Lines.size())
        return false;
    for (qsizetype I = 0; I < Back.size(); ++I) {
        const QString &B = Back.at(I), &L = Lines.at(I);
        if (B == L)
            continue;
        if (B.size() != L.size())
            return false;
        for (qsizetype J = 0; J < B.size(); ++J)
            if (B.at(J) != L.at(J) && !(B.at(J) == QLatin1Char('?') && L.at(J).unicode() >= 0xF781 && L.at(J).unicode() <= 0xF7FE))
                return false;
    }
    return true;
}

// FindBlockLine as its contract reads, by a plain search of the lines.
int PlainBlockLine(const TPageDocument &Doc, int N)
{
    const QStringList &L = Doc.Lines();
    const QString Key = QStringLiteral("{$%1}").arg(N);
    const int D = int(L.indexOf(TPageDocument::DetailLine));
    if (D >= 0 && N > 0) {
        const qint64 Expected = qint64(D) + 2 + 9 * (qint64(N) - 1);
        if (Expected < L.size() && L.at(Expected) == Key)
            return int(Expected);
    }
    for (int I = D < 0 ? 0 : D + 1; I < L.size(); ++I)
        if (L.at(I) == Key)
            return I;
    return -1;
}

void CheckBlockLines(const TPageDocument &Doc, const TNoticeMirror &Mirror, int Blocks)
{
    Mirror.Check();
    for (const int N : {1, 2, 3, Blocks - 1, Blocks, Blocks + 1})
        if (N >= 1 && Doc.FindBlockLine(N) != PlainBlockLine(Doc, N))
            Fail("FindBlockLine misses the block line");
}

void LoadGrid(TPageDocument &Doc, TFakeGrid &Grid)
{
    Grid.ResetGrid();
    Doc.LoadGridFromPage(Grid, Folder().File("page.qbt"), Folder().Root);
    // A block number of a damaged page never makes the grid grow past the page's own size.
    if (Grid.Blocks() > Doc.Count() / 9 + 2)
        Fail("the grid grew past the page");
}

// The window's repair: one pass when a value cannot be placed, two for the
// menu command; then the grid is loaded again.
void Repair(TPageDocument &Doc, TFakeGrid &Grid, bool Rebuild, int Passes)
{
    try {
        for (int I = 0; I < Passes; ++I)
            Doc.RepairPageFile(Defaults(), [Rebuild] { return Rebuild; });
    } catch (const Exception &) {
        // The window shows the message; the page stays as the repair left it.
    }
    // A repaired page that holds block 1 has its "{detail}" line back.
    if (Doc.Lines().contains(QStringLiteral("{$1}")) && Doc.LacksDetailLine())
        Fail("a repaired page still lacks its {detail} line");
    LoadGrid(Doc, Grid);
}

// The key of the page line that holds cell (ACol, ARow), or "".
QString KeyOfCell(int ACol, int ARow)
{
    static const char *const Col3[] = {nullptr, "{$PID}=", "{$PPRICE}=", "{$PWEIGHT}=", "{$PNOTE}=", nullptr};
    static const char *const Col5[] = {nullptr, "{$PNAME}=", "{$PUNIT}=", "{$PSERIAL}=", nullptr, nullptr};
    const int R = ARow % 6;
    const char *Key = ACol == 1 && R == 0 ? "{$IMG}=" : ACol == 3 ? Col3[R] : ACol == 5 ? Col5[R] : nullptr;
    return Key ? QString::fromLatin1(Key) : QString();
}

// A store from the grid, and the repair the window offers when it cannot be placed.
void Store(TPageDocument &Doc, TFakeGrid &Grid, int ACol, int ARow, bool Rebuild)
{
    const TPageDocument::TStoreResult Result = Doc.StoreProductBlock(Grid, ACol, ARow);
    if (Result == TPageDocument::srNeedsRepair) {
        Repair(Doc, Grid, Rebuild, 1);
        return;
    }
    // A value stored stands in its block, on one line.
    const int P = Doc.FindBlockLine(ProductBlocks::BlockOfRow(ARow));
    if (P < 0)
        Fail("a product stored has no block line");
    if (Result != TPageDocument::srStored)
        return;
    const QString Line = KeyOfCell(ACol, ARow) + TPageDocument::OneLine(Grid.Cells(ACol, ARow));
    for (int J = P + 1; J <= P + 8 && J < Doc.Count(); ++J)
        if (Doc.Strings(J) == Line)
            return;
    Fail("a value stored is not in its block");
}

void FuzzPage(uint8_t Choice)
{
    const QString Page = Folder().File("page.qbt");
    const bool IsPage = TPageDocument::IsPageFile(Page);

    TPageDocument Doc;
    TNoticeMirror Mirror(Doc);
    Doc.LoadFromFile(Page);

    // A page saved as it was loaded reads back the same.
    if (IsPage) {
        const QString Saved = Folder().File("saved.qbt");
        Doc.SaveToFile(Saved);
        if (!ReadsBackAs(TPageDocument::LoadPageLines(Saved), Doc.Lines()))
            Fail("a page saved unchanged reads back otherwise");
    }

    // The search over pages reads a page as it is opened: the name it shows is found in it.
    const QString Name = Doc.Values(QStringLiteral("{Catalog名称}")).left(4);
    for (const bool Case : {true, false})
        if (!Name.isEmpty() && PageSearch::SearchFile(Page, Name, Case, {}) != PageSearch::frMatch)
            Fail("the search misses a word of the page as it came");

    TFakeGrid Grid;
    LoadGrid(Doc, Grid);
    const bool Damaged = Doc.LacksDetailLine();
    CheckBlockLines(Doc, Mirror, Grid.Blocks());

    // The settings dialog: every value read, then confirmed unchanged.
    using namespace PageSettings;
    QMap<QString, QString> Shown;
    for (const TSettingRow &R : Rows())
        Shown.insert(R.Key, Doc.Values(R.Key) == QStringLiteral(" ") ? QString() : Doc.Values(R.Key));
    Shown.insert(StyleKey, Doc.Values(StyleKey));
    const bool English = Doc.Values(LanguageKey).trimmed() == PageSettings::English;
    (void)CurrencyForLanguage(Doc.Values(QStringLiteral("{货币符号}")), English);
    for (auto It = Shown.cbegin(); It != Shown.cend(); ++It) {
        const QString V = It.value().isEmpty() ? QStringLiteral(" ") : It.value();
        Doc.SetValues(It.key(), V);
        if (Doc.Values(It.key()) != V)
            Fail("a page value set is not read back");
    }
    Doc.SetValues(LanguageKey, English ? PageSettings::English : PageSettings::Chinese);
    CheckBlockLines(Doc, Mirror, Grid.Blocks());

    // Product values typed into the grid, a line break among them, in the first
    // blocks and the last; then a new product after the last.
    const int Blocks = Grid.Blocks();
    for (const int N : {1, 2, Blocks}) {
        if (N < 1 || N > Blocks)
            continue;
        const int R = ProductBlocks::FirstRowOfBlock(N);
        const struct {
            int Col, Row;
        } Cells[] = {{3, R}, {5, R}, {3, R + 1}, {5, R + 2}, {3, R + 3}, {1, R + 5}, {4, R}};
        for (const auto &C : Cells) {
            Grid.SetCells(C.Col, C.Row, Grid.Cells(C.Col, C.Row) + QStringLiteral("改\r\n1"));
            Store(Doc, Grid, C.Col, C.Row, Choice & 1);
            // The window puts the caret on the cell's line.
            (void)ProductBlocks::LineOfCell(Doc.FindBlockLine(N), Doc.Count(), C.Col, C.Row);
        }
    }
    CheckBlockLines(Doc, Mirror, Grid.Blocks());
    Grid.AppendProductBlock();
    Grid.SetCells(1, ProductBlocks::PathRowOfBlock(Grid.Blocks()), QStringLiteral("images/a.jpg"));
    Store(Doc, Grid, 1, ProductBlocks::PathRowOfBlock(Grid.Blocks()), Choice & 2);
    CheckBlockLines(Doc, Mirror, Grid.Blocks());

    // An auto-fill command writes one field of the last products (a repair
    // asked for on the way is declined: the window would ask for every
    // product). A product missing from the text goes in before the lines after
    // the last block, which move each time: 64 products keep the work for one
    // input within bounds.
    AutoFill::TAutoFiller Filler(Grid, [&](int ACol, int ARow) { Doc.StoreProductBlock(Grid, ACol, ARow); });
    Filler.Fixed(qMax(1, Grid.Blocks() - 63), AutoFill::fUnit, QStringLiteral("件"));
    CheckBlockLines(Doc, Mirror, Grid.Blocks());

    // Products deleted and inserted through the page text, the grid reloaded each time.
    QStringList Lines = Doc.Lines();
    if (ProductBlocks::DeleteProduct(Lines, 1 + Choice % 3))
        Doc.SetLines(Lines);
    LoadGrid(Doc, Grid);
    Lines = Doc.Lines();
    if (ProductBlocks::InsertProducts(Lines, 1, 3) || ProductBlocks::InsertProduct(Lines, 0))
        Doc.SetLines(Lines);
    LoadGrid(Doc, Grid);
    CheckBlockLines(Doc, Mirror, Grid.Blocks());

    // The repair command, offered for a damaged page and open to every page.
    if (Damaged || (Choice & 8))
        Repair(Doc, Grid, Choice & 16, 2);
    CheckBlockLines(Doc, Mirror, Grid.Blocks());
    if (Choice & 32) {
        Lines = Doc.Lines();
        ProductBlocks::DeleteAllProducts(Lines);
        Doc.SetLines(Lines);
        LoadGrid(Doc, Grid);
        Mirror.Check();
    }

    // Saved as into a folder below and back: every picture value names the
    // file it named before from the new place, and nothing but picture values
    // changes.
    for (const char *Next : {"elsewhere/page.qbt", "page.qbt"}) {
        const QStringList Before = Doc.Lines();
        const QString From = Next == QLatin1String("page.qbt") ? Folder().File("elsewhere/page.qbt") : Page;
        Doc.RebasePicturePaths(From, Folder().File(Next), Folder().Root);
        Mirror.Check();
        if (Doc.Count() != Before.size())
            Fail("saving elsewhere changed the number of lines");
        const QString OldDir = ExtractFilePath(From), NewDir = ExtractFilePath(Folder().File(Next));
        auto Named = [](const QString &Dir, const QString &Value) {
            const QString Rel = NativePath(Value);
            if (IsAbsoluteStoredPath(Value))
                return QDir::cleanPath(Rel);
            return QDir::cleanPath(FileExists(Dir + Rel) ? Dir + Rel : Folder().Root + Rel);
        };
        for (int I = 0; I < Doc.Count(); ++I) {
            if (Doc.Strings(I) == Before.at(I))
                continue;
            const qsizetype Eq = Before.at(I).indexOf(QLatin1Char('='));
            if (Eq < 0 || Doc.Strings(I).left(Eq + 1) != Before.at(I).left(Eq + 1)
                || Named(NewDir, Doc.Strings(I).mid(Eq + 1)) != Named(OldDir, Before.at(I).mid(Eq + 1)))
                Fail("saving elsewhere changed what a line names");
        }
    }

    // The page as edited is saved and reads back as it stands (unless its
    // first bytes happen to be a UTF-8 mark, which makes any file read as UTF-8).
    Doc.SaveToFile(Page);
    if (!Cp936::Encode(Doc.Strings(0)).startsWith("\xEF\xBB\xBF") && !ReadsBackAs(TPageDocument::LoadPageLines(Page), Doc.Lines()))
        Fail("a page saved reads back otherwise");

    // The search over pages finds a word of the page (one without damaged
    // bytes, which may have been saved as "?"), and looks for fixed ones.
    const QString Word = Doc.Values(QStringLiteral("{Catalog名称}")).left(4);
    const bool DamagedWord = std::any_of(Word.cbegin(), Word.cend(), [](QChar C) { return C.unicode() >= 0xF780 && C.unicode() <= 0xF7FF; });
    for (const bool Case : {true, false})
        if (!Word.isEmpty() && !DamagedWord && PageSearch::SearchFile(Page, Word, Case, {}) != PageSearch::frMatch)
            Fail("the search misses a word of the page");
    for (const QString &Key : {QStringLiteral("ID"), QStringLiteral("价格"), QStringLiteral("a")})
        for (const bool Case : {true, false})
            if (PageSearch::SearchFile(Page, Key, Case, {}) == PageSearch::frMissing)
                Fail("the page went missing");
}

void FuzzBook()
{
    const QString Book = Folder().File("book.qbs");
    QStringList Lines = LoadLines(Book);
    TCatalogBook::RemoveEmptyLines(Lines);
    const QStringList Entries = TCatalogBook::EntryNames(Lines);
    for (const char *Name : {"Catalog_name", "catalog_index_name", "Catalog_Lost_name", "Catalog_Output"})
        (void)TCatalogBook::Value(Lines, QLatin1String(Name));
    const int Chosen = TCatalogBook::ChoosePageToOpen(Lines, Entries);
    const int First = TCatalogBook::FirstEntryLine(Lines);
    if (Chosen >= 0 && (First < 0 || Chosen >= Entries.size()))
        Fail("the page chosen is no entry");
    if (First >= 0)
        for (int I = First; I < Lines.size(); ++I) {
            const QString &Entry = Lines.at(I);
            const QString Resolved = TCatalogBook::ResolveEntry(Book, Entry);
            (void)TCatalogBook::EntryIcon(Entry, false, true, false);
            // A plain relative entry never resolves outside the book's folder.
            if (ReceivedPaths::IsPlainRelative(Entry) && !IsPathInside(Resolved, Folder().Root))
                Fail("a plain relative entry resolves outside the book's folder");
            if (I - First < 64) {
                const QString Inside = ReceivedPaths::PathInside(Folder().Root, Folder().Root, Entry);
                if (!Inside.isEmpty() && !IsPathInside(Inside, Folder().Root))
                    Fail("a path inside the package lies outside it");
            }
        }

    // Settings written, never turning into entries nor taking any away.
    QStringList Edited = Lines;
    TCatalogBook::SetValue(Edited, QStringLiteral("Catalog_Lost_name"), QStringLiteral("页面1.qbt"));
    TCatalogBook::SetValue(Edited, QStringLiteral("Catalog_new_key"), QStringLiteral("值\r\n"));
    if (TCatalogBook::Value(Edited, QStringLiteral("catalog_lost_name")) != QStringLiteral("页面1.qbt")
        || TCatalogBook::Value(Edited, QStringLiteral("Catalog_new_key")) != QStringLiteral("值"))
        Fail("a book setting set is not read back");
    TCatalogBook::SetValue(Edited, QStringLiteral("Catalog_new_key"), QString());
    if (!TCatalogBook::Value(Edited, QStringLiteral("Catalog_new_key")).isEmpty())
        Fail("a book setting removed is still there");
    if (TCatalogBook::EntryNames(Edited) != Entries)
        Fail("book settings changed the entries");

    // An entry moved to the end and back.
    if (TCatalogBook::MoveEntry(Edited, 0, int(Entries.size()) - 1)) {
        TCatalogBook::MoveEntry(Edited, int(Entries.size()) - 1, 0);
        if (TCatalogBook::EntryNames(Edited) != Entries)
            Fail("an entry moved there and back is elsewhere");
    }
    (void)TCatalogBook::NewEntryName(TCatalogBook::Value(Lines, QStringLiteral("Catalog_name")), Entries);
    (void)PageSearch::ListedFiles(Lines, Folder().Root);
    (void)PageSearch::FindCatalogOfPage(Folder().File("history.txt"), Folder().Root, QStringLiteral("page.qbt"));
}

// What a package's unpacking does to its book and pages: every path they name
// ends up inside the package's folder or is left out.
void FuzzReceived()
{
    const QString Book = Folder().File("book.qbs");
    (void)ReceivedPaths::KeepInside(Folder().Root, Book, true);
    (void)ReceivedPaths::KeepInside(Folder().Root, Folder().File("page.qbt"), false);
    // A second pass finds nothing more to leave out.
    if (!ReceivedPaths::KeepInside(Folder().Root, Book, true).isEmpty())
        Fail("a book kept inside still names something outside");
    if (!ReceivedPaths::KeepInside(Folder().Root, Folder().File("page.qbt"), false).isEmpty())
        Fail("a page kept inside still names something outside");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *Data, size_t Size)
{
    // The last byte chooses among the window's answers (repair or not, rebuild the header or not).
    const uint8_t Choice = Size > 0 ? Data[Size - 1] : 0;
    const QByteArray Bytes(reinterpret_cast<const char *>(Data), qsizetype(Size));
    if (!WriteFileAtomic(Folder().File("page.qbt"), Bytes) || !WriteFileAtomic(Folder().File("book.qbs"), Bytes))
        Fail("cannot write the input");
    try {
        FuzzPage(Choice);
        FuzzBook();
        FuzzReceived();
    } catch (const Exception &E) {
        // Only the repair's own message may reach the user, and it is caught above.
        std::fprintf(stderr, "page fuzzer: %s\n", E.what());
        Fail("unexpected error");
    }
    return 0;
}
