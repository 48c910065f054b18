// The program started by quillbook-drive with documents on its command line:
// what opens, and a page edited through the product grid and saved.

#include "WindowFixture.h"
#include "catalog/document/Package.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <gtest/gtest.h>

using namespace WindowFixture;

namespace {

class CatalogDrive : public TDriveTest {
protected:
    void SetUp() override
    {
        TDriveTest::SetUp();
        QImage Image(4, 4, QImage::Format_RGB32);
        Image.fill(Qt::red);
        ASSERT_TRUE(Image.save(Docs.File(QStringLiteral("b.jpg"))));
        // A page as the program writes it, with code page 936 text.
        QStringList Header{QStringLiteral("{Catalog编号}=春季"), QStringLiteral("{Catalog名称}=春季报价")};
        for (int I = 3; I <= 19; ++I)
            Header << QStringLiteral("{key%1}=").arg(I);
        Page = Docs.File(QStringLiteral("a.qbt"));
        SaveLines(Page, PageLines(Header, 2));
    }

    QString Page;
};

} // namespace

TEST_F(CatalogDrive, APageOnTheCommandLineIsEditedThroughTheGridAndSaved)
{
    const TestSupport::DriveRun R = Drive(QStringLiteral("wait\ncell CellGrid1 3 1\ncell CellGrid1 5 7\n"
                                                         "set-cell CellGrid1 3 8 12.50\nset-cell CellGrid1 5 1 丝绸\n"
                                                         "click SpeedButton9\nwait\ntext GroupBox1\nquit\n"),
                                          {Page});
    ASSERT_EQ(R.Code, 0) << R.Err.toStdString();
    EXPECT_EQ(R.Out, QStringLiteral("P1\n商品2\n页面文件：") + Page + QStringLiteral("\n"));
    const QByteArray Bytes = TestSupport::ReadAll(Page);
    // "{$PNAME}=丝绸" and the new price, in code page 936 with CR LF.
    EXPECT_TRUE(Bytes.contains(QByteArray("{$PNAME}=\xCB\xBF\xB3\xF1\r\n"))) << Bytes.toStdString();
    const QStringList Lines = LoadLines(Page);
    ASSERT_EQ(Lines.size(), 41);
    EXPECT_EQ(Lines.at(26), QStringLiteral("{$PNAME}=丝绸"));
    EXPECT_EQ(Lines.at(36), QStringLiteral("{$PPRICE}=12.50"));
    EXPECT_EQ(Lines.at(2), QStringLiteral("{Catalog名称}=春季报价"));
}

TEST_F(CatalogDrive, StartupWalkByArgumentKind)
{
    const QString Ask = QStringLiteral("wait\ntext GroupBox1\ncell CellGrid1 3 1\nquit\n");
    TestSupport::DriveRun R = Drive(Ask, {Page, Docs.File(QStringLiteral("b.jpg"))});
    ASSERT_EQ(R.Code, 0) << R.Err.toStdString();
    EXPECT_EQ(R.Out, QStringLiteral("页面文件：") + Page + QStringLiteral("\nP1\n"));

    R = Drive(Ask, {Docs.File(QStringLiteral("b.jpg")), Page});
    ASSERT_EQ(R.Code, 0) << R.Err.toStdString();
    EXPECT_EQ(R.Out, QStringLiteral("页面文件：") + Page + QStringLiteral("\nP1\n"));

    // A book, then a new page that receives the picture collected before it.
    SaveLines(Docs.File(QStringLiteral("c.qbs")),
              {QStringLiteral("Catalog_name=书"), QStringLiteral("{$Files}"), QStringLiteral("a.qbt")});
    R = Drive(QStringLiteral("wait\ntext GroupBox1\ncell CellGrid1 1 6\nanswer button No\nquit\n"),
              {Docs.File(QStringLiteral("b.jpg")), Docs.File(QStringLiteral("c.qbs"))});
    ASSERT_EQ(R.Code, 0) << R.Err.toStdString();
    EXPECT_EQ(R.Out, Docs.File(QStringLiteral("c.qbs")) + QStringLiteral("\n") + Docs.File(QStringLiteral("b.jpg"))
                         + QStringLiteral("\n"));

    // A package ends the walk and the picture before it is dropped: no new page, nothing to save.
    QDir().mkpath(Docs.File(QStringLiteral("pkg")));
    SaveLines(Docs.File(QStringLiteral("pkg/catalog.qbt")),
              {QStringLiteral("QBT FILE TYPE 2.0"), QStringLiteral("{Catalog名称}=包")});
    QbaPackage::Write(Docs.File(QStringLiteral("pkg/")), QStringLiteral("catalog.qbt"),
                      Docs.File(QStringLiteral("c.qba")), false);
    R = Drive(QStringLiteral("wait\ncell CellGrid1 1 6\nquit\n"),
              {Docs.File(QStringLiteral("b.jpg")), Docs.File(QStringLiteral("c.qba"))});
    ASSERT_EQ(R.Code, 0) << R.Err.toStdString();
    EXPECT_EQ(R.Out, QStringLiteral("\n"));

    // A folder without pictures: the warning, then the program ends.
    QDir().mkpath(Docs.File(QStringLiteral("empty")));
    R = Drive(QStringLiteral("wait\nquit\n"), {Docs.File(QStringLiteral("empty"))});
    EXPECT_NE(R.Code, 0);
    EXPECT_TRUE(R.Err.contains(QStringLiteral("没有发现图片文件，系统右键支持jpg格式的图片。"))) << R.Err.toStdString();
}
