// The book file: settings by name, the entries after the marker, the page
// chosen on opening, new entry names, reordering and the page list's icons.

#include "QStringPrint.h"
#include "TestSupport.h"
#include "catalog/document/CatalogBook.h"
#include "platform/core/Classes.h"

#include <gtest/gtest.h>

namespace {

QStringList Book(const QStringList &Entries)
{
    QStringList L{QStringLiteral("Catalog_name=春季书"), QStringLiteral("catalog_index_name=b.qbt"),
                  QStringLiteral("Catalog_Lost_name=c.qbt"), QStringLiteral("Catalog_Output="),
                  QStringLiteral("{$Files}")};
    return L + Entries;
}

} // namespace

TEST(CatalogBook, NewBooksAreWrittenInTheirOrder)
{
    EXPECT_EQ(TCatalogBook::DefaultBookLines(),
              (QStringList{QStringLiteral("Catalog_name=默认目录册"), QStringLiteral("catalog_index_name="),
                           QStringLiteral("Catalog_Lost_name="), QStringLiteral("Catalog_Output="),
                           QStringLiteral("Catalog_always_open=true"), QStringLiteral("{$Files}")}));
    EXPECT_EQ(TCatalogBook::NewBookLines(QStringLiteral("书"), QStringLiteral("/out"), false, true, false),
              (QStringList{QStringLiteral("Catalog_name=书"), QStringLiteral("catalog_index_name="),
                           QStringLiteral("Catalog_Lost_name="), QStringLiteral("Catalog_Output=/out"),
                           QStringLiteral("Catalog_fulltext_search=false"), QStringLiteral("Catalog_always_open=true"),
                           QStringLiteral("Catalog_move_v=false"), QStringLiteral("{$Files}")}));

    // A name pasted with line breaks stays on its line: written as it came, it
    // would end the name and start lines of its own, here a second marker with
    // a page entry after it.
    const QStringList Typed = TCatalogBook::NewBookLines(QStringLiteral("春\r\n{$Files}\nx.qbt"),
                                                         QStringLiteral("/out\rput"), true, false, true);
    ASSERT_EQ(Typed.size(), 8);
    EXPECT_EQ(Typed.at(0), QStringLiteral("Catalog_name=春{$Files}x.qbt"));
    EXPECT_EQ(Typed.at(3), QStringLiteral("Catalog_Output=/output"));
    EXPECT_EQ(Typed.join(QStringLiteral("\r\n")).count(QLatin1Char('\n')), 7);
    EXPECT_TRUE(TCatalogBook::EntryNames(Typed).isEmpty());
}

TEST(CatalogBook, SettingsByNameNeverTouchTheEntries)
{
    QStringList L = Book({QStringLiteral("/docs/x=1.qbt"), QStringLiteral("a.qbt")});
    EXPECT_EQ(TCatalogBook::Value(L, QStringLiteral("CATALOG_NAME")), QStringLiteral("春季书"));
    // An entry holding "=" is no setting.
    EXPECT_EQ(TCatalogBook::Value(L, QStringLiteral("/docs/x")), QString());

    // An absent key goes before the marker, never after it as a page entry.
    TCatalogBook::SetValue(L, QStringLiteral("Catalog_move_v"), QStringLiteral("true"));
    EXPECT_EQ(L.indexOf(QStringLiteral("Catalog_move_v=true")), 4);
    EXPECT_EQ(L.at(5), QStringLiteral("{$Files}"));
    EXPECT_EQ(TCatalogBook::EntryNames(L), (QStringList{QStringLiteral("x=1.qbt"), QStringLiteral("a.qbt")}));

    // A value keeps one line; an empty value removes the key.
    TCatalogBook::SetValue(L, QStringLiteral("Catalog_name"), QStringLiteral("A\r\nB"));
    EXPECT_EQ(L.at(0), QStringLiteral("Catalog_name=AB"));
    TCatalogBook::SetValue(L, QStringLiteral("Catalog_Output"), QString());
    EXPECT_EQ(TCatalogBook::IndexOfName(L, QStringLiteral("Catalog_Output")), -1);
    EXPECT_EQ(TCatalogBook::FirstEntryLine(L), 5);

    QStringList NoMarker{QStringLiteral("Catalog_name=x")};
    EXPECT_EQ(TCatalogBook::FirstEntryLine(NoMarker), -1);
    EXPECT_TRUE(TCatalogBook::EntryNames(NoMarker).isEmpty());
}

TEST(CatalogBook, PageChosenOnOpening)
{
    const QStringList Three{QStringLiteral("a.qbt"), QStringLiteral("b.qbt"), QStringLiteral("c.qbt")};
    EXPECT_EQ(TCatalogBook::ChoosePageToOpen(Book(Three), Three), 2) << "Catalog_Lost_name";
    QStringList L = Book(Three);
    TCatalogBook::SetValue(L, QStringLiteral("Catalog_Lost_name"), QStringLiteral("gone.qbt"));
    EXPECT_EQ(TCatalogBook::ChoosePageToOpen(L, Three), 0) << "not listed: the first page";
    EXPECT_EQ(TCatalogBook::ChoosePageToOpen(Book({QStringLiteral("z.qbt")}), {QStringLiteral("z.qbt")}), 0)
        << "one entry opens whatever Catalog_Lost_name says";
    EXPECT_EQ(TCatalogBook::ChoosePageToOpen(Book({}), {}), -1);

    EXPECT_EQ(TCatalogBook::ResolveEntry(QStringLiteral("/b/book.qbs"), QStringLiteral("sub\\p.qbt")),
              QStringLiteral("/b/sub/p.qbt"));
    EXPECT_EQ(TCatalogBook::ResolveEntry(QStringLiteral("/b/book.qbs"), QStringLiteral("/abs/p.qbt")),
              QStringLiteral("/abs/p.qbt"));
    EXPECT_EQ(TCatalogBook::ResolveEntry(QStringLiteral("/b/book.qbs"), QStringLiteral("C:\\old\\p.qbt")),
              QStringLiteral("C:\\old\\p.qbt"))
        << "a drive path stays what it is (and never exists here)";
}

TEST(CatalogBook, NewEntryNamesAndReordering)
{
    EXPECT_EQ(TCatalogBook::NewEntryName(QStringLiteral("新建页面"), {}), QStringLiteral("新建页面1.qbt"));
    EXPECT_EQ(TCatalogBook::NewEntryName(QStringLiteral("新建页面"),
                                         {QStringLiteral("新建页面1.qbt"), QStringLiteral("新建页面3.qbt")}),
              QStringLiteral("新建页面2.qbt"));
    QStringList Taken;
    for (int K = 1; K <= 999; ++K)
        Taken << QStringLiteral("p%1.qbt").arg(K);
    EXPECT_EQ(TCatalogBook::NewEntryName(QStringLiteral("p"), Taken), QString());

    QStringList L = Book({QStringLiteral("a.qbt"), QStringLiteral("b.qbt"), QStringLiteral("c.htm")});
    ASSERT_TRUE(TCatalogBook::MoveEntry(L, 0, 2));
    EXPECT_EQ(TCatalogBook::EntryNames(L),
              (QStringList{QStringLiteral("b.qbt"), QStringLiteral("c.htm"), QStringLiteral("a.qbt")}));
    ASSERT_TRUE(TCatalogBook::MoveEntry(L, 2, 0));
    EXPECT_EQ(L.at(5), QStringLiteral("a.qbt"));
    EXPECT_FALSE(TCatalogBook::MoveEntry(L, 0, 3));
    EXPECT_FALSE(TCatalogBook::MoveEntry(L, -1, 0));
    EXPECT_EQ(L.at(4), QStringLiteral("{$Files}")) << "the settings never move";
}

TEST(CatalogBook, IconsAndSafeNames)
{
    EXPECT_EQ(TCatalogBook::EntryIcon(QStringLiteral("page.qbt"), false, true, false), 26);
    EXPECT_EQ(TCatalogBook::EntryIcon(QStringLiteral("PAGE.QBT"), false, true, false), 13)
        << "the page extension is compared case-sensitively";
    EXPECT_EQ(TCatalogBook::EntryIcon(QStringLiteral("x.HtM"), false, true, false), 9);
    EXPECT_EQ(TCatalogBook::EntryIcon(QStringLiteral("x.html"), false, true, false), 13);
    EXPECT_EQ(TCatalogBook::EntryIcon(QStringLiteral("x.qbt"), false, true, true), 38);
    EXPECT_EQ(TCatalogBook::EntryIcon(QStringLiteral("x.qbt"), true, true, true), 37);
    EXPECT_EQ(TCatalogBook::EntryIcon(QStringLiteral("x.qbt"), true, false, false), 36);

    EXPECT_EQ(TCatalogBook::SafeFileName(QStringLiteral("../../etc/春\tx:y\\z")), QStringLiteral("....etc春xyz"));
    EXPECT_EQ(TCatalogBook::SafeFileName(QStringLiteral("..")), QString());
    EXPECT_EQ(TCatalogBook::SafeFileName(QStringLiteral(" Spring ")), QStringLiteral("Spring"));
}

TEST(CatalogBook, HistoryKeepsOneLineABook)
{
    // A book path typed with a line break in it takes one line of the history,
    // as a page path does in the page history, not two that name other books.
    TestSupport::TempDir Dir;
    const QString History = Dir.File(QStringLiteral("cts_history.txt"));
    TCatalogBook::AppendHistory(History, QStringLiteral("/书/a.qbs"));
    TCatalogBook::AppendHistory(History, QStringLiteral("/书/b\r\nc.qbs"));
    TCatalogBook::AppendHistory(History, QStringLiteral("/书/d\ne.qbs"));
    EXPECT_EQ(LoadLines(History), (QStringList{QStringLiteral("/书/a.qbs"), QStringLiteral("/书/b c.qbs"),
                                                QStringLiteral("/书/d e.qbs")}));
}
