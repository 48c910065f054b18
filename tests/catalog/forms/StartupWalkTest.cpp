// Start-up decisions by the kind of each path on the command line.

#include "QStringPrint.h"
#include "TestSupport.h"
#include "catalog/forms/StartupWalk.h"

#include <QDir>
#include <gtest/gtest.h>

namespace {

TStartupPlan Plan(const QStringList &Args)
{
    return PlanStartupOpen(QStringList{QStringLiteral("/opt/quillbook/quillbook")} + Args);
}

} // namespace

TEST(StartupWalk, FirstDocumentDecides)
{
    TStartupPlan P = Plan({QStringLiteral("a.qbt"), QStringLiteral("b.jpg")});
    EXPECT_EQ(P.Open, TStartupPlan::opPage);
    EXPECT_EQ(P.Path, QStringLiteral("a.qbt"));
    EXPECT_FALSE(P.ImportPictures());

    P = Plan({QStringLiteral("b.jpg"), QStringLiteral("a.QBT")});
    EXPECT_EQ(P.Open, TStartupPlan::opPage);
    EXPECT_FALSE(P.ImportPictures()) << "pictures before a page are ignored";

    P = Plan({QStringLiteral("b.jpg"), QStringLiteral("c.qbs"), QStringLiteral("d.gif")});
    EXPECT_EQ(P.Open, TStartupPlan::opBook);
    EXPECT_EQ(P.Pictures, QStringList{QStringLiteral("b.jpg")});
    EXPECT_TRUE(P.ImportPictures()) << "a book keeps the pictures collected before it";

    P = Plan({QStringLiteral("b.jpg"), QStringLiteral("c.qba")});
    EXPECT_EQ(P.Open, TStartupPlan::opPackage);
    EXPECT_FALSE(P.ImportPictures());

    P = Plan({QStringLiteral("x.BMP"), QStringLiteral("notes.txt"), QStringLiteral("y.Gif")});
    EXPECT_EQ(P.Open, TStartupPlan::opNothing);
    EXPECT_EQ(P.Pictures, (QStringList{QStringLiteral("x.BMP"), QStringLiteral("y.Gif")}));
    EXPECT_TRUE(P.ImportPictures());

    EXPECT_FALSE(Plan({}).ImportPictures());
}

TEST(StartupWalk, ANameEndingInBlanksKeepsItsKindAndItsName)
{
    TStartupPlan P = Plan({QStringLiteral("b.jpg"), QStringLiteral("tp.qbt ")});
    EXPECT_EQ(P.Open, TStartupPlan::opPage);
    EXPECT_EQ(P.Path, QStringLiteral("tp.qbt "));
    EXPECT_FALSE(P.ImportPictures());

    P = Plan({QStringLiteral("b.jpg"), QStringLiteral("tb.QBS  ")});
    EXPECT_EQ(P.Open, TStartupPlan::opBook);
    EXPECT_EQ(P.Path, QStringLiteral("tb.QBS  "));
    EXPECT_EQ(P.Pictures, QStringList{QStringLiteral("b.jpg")});

    P = Plan({QStringLiteral("x.Qba "), QStringLiteral("a.qbt")});
    EXPECT_EQ(P.Open, TStartupPlan::opPackage);
    EXPECT_EQ(P.Path, QStringLiteral("x.Qba "));

    // Blanks inside the extension make no document.
    EXPECT_EQ(Plan({QStringLiteral("tp.q bt")}).Open, TStartupPlan::opNothing);
}

TEST(StartupWalk, FoldersOfPictures)
{
    TestSupport::TempDir Dir;
    QDir().mkpath(Dir.File(QStringLiteral("pics/sub")));
    TestSupport::WriteAll(Dir.File(QStringLiteral("pics/b.jpg")), "x");
    TestSupport::WriteAll(Dir.File(QStringLiteral("pics/a.JPG")), "x");
    TestSupport::WriteAll(Dir.File(QStringLiteral("pics/c.gif")), "x");
    TestSupport::WriteAll(Dir.File(QStringLiteral("pics/sub/d.jpg")), "x");
    QDir().mkpath(Dir.File(QStringLiteral("empty")));

    TStartupPlan P = Plan({Dir.File(QStringLiteral("pics"))});
    ASSERT_TRUE(P.ImportPictures());
    EXPECT_EQ(ExpandPictureFolder(P.Pictures),
              (QStringList{Dir.File(QStringLiteral("pics/a.JPG")), Dir.File(QStringLiteral("pics/b.jpg"))}));
    P = Plan({Dir.File(QStringLiteral("empty"))});
    ASSERT_TRUE(P.ImportPictures());
    EXPECT_TRUE(ExpandPictureFolder(P.Pictures).isEmpty());
    // Two entries stay as they are.
    const QStringList Two{Dir.File(QStringLiteral("pics")), Dir.File(QStringLiteral("x.jpg"))};
    EXPECT_EQ(ExpandPictureFolder(Two), Two);
}
