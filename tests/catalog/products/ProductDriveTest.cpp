// A folder of JPEG and BMP pictures imported into a new page through the
// program started by quillbook-drive: one block per picture, with its
// thumbnail, and the blocks in the page text. The screenshot stays in the
// test folder (products_import.png) for a look.

#include "../QStringPrint.h"
#include "TestSupport.h"

#include <QDir>
#include <QFileInfo>
#include <QImage>
#include <gtest/gtest.h>

TEST(ProductDrive, FolderOfPicturesImportedIntoNewPage)
{
    TestSupport::TempDir Home;
    TestSupport::TempDir Docs;
    TestSupport::CopyDataTo(Home.Path());
    ASSERT_TRUE(QDir().mkpath(Home.File(QStringLiteral("目录册"))));
    const QString Pictures = Docs.File(QStringLiteral("pictures"));
    ASSERT_TRUE(QDir().mkpath(Pictures + QStringLiteral("/sub")));
    const struct {
        const char *Name, *Format;
        Qt::GlobalColor Color;
    } Files[] = {{"a.jpg", "JPEG", Qt::red}, {"b.jpg", "JPEG", Qt::blue}, {"c.bmp", "BMP", Qt::darkGreen},
                 {"sub/d.jpg", "JPEG", Qt::yellow}};
    for (const auto &F : Files) {
        QImage Image(320, 240, QImage::Format_RGB32);
        Image.fill(F.Color);
        ASSERT_TRUE(Image.save(Pictures + QLatin1Char('/') + QString::fromLatin1(F.Name), F.Format));
    }
    // The BMP comes in through the picture dialog, the folder's JPEGs (not
    // those of its sub-folder) through the folder import.
    const QString Shot = QDir::current().absoluteFilePath(QStringLiteral("products_import.png"));
    QFile::remove(Shot);
    const QString Script = QStringLiteral(
                               "wait\nclick N2\nwait\n"
                               "answer folder %1\nclick SpeedButton2\nwait\n"
                               "answer files %1/c.bmp\nclick SpeedButton3\nwait\n"
                               "cell CellGrid1 0 13\ncell CellGrid1 1 6\ncell CellGrid1 1 12\ncell CellGrid1 1 18\n"
                               "cell CellGrid1 1 24\npage-text\nscreenshot Form1 %2\nquit\n")
                               .arg(Pictures, Shot);
    const TestSupport::DriveRun R = TestSupport::RunDrive(Home.Path(), Script);
    ASSERT_EQ(R.Code, 0) << R.Err.toStdString() << R.Out.toStdString();
    const QStringList Out = R.Out.split(QLatin1Char('\n'));
    ASSERT_GE(Out.size(), 5);
    EXPECT_EQ(Out.at(0), QStringLiteral("3"));
    EXPECT_EQ(Out.at(1), Pictures + QStringLiteral("/a.jpg"));
    EXPECT_EQ(Out.at(2), Pictures + QStringLiteral("/b.jpg"));
    EXPECT_EQ(Out.at(3), Pictures + QStringLiteral("/c.bmp"));
    EXPECT_EQ(Out.at(4), QString()) << "the sub-folder is left out without Ctrl";
    for (int N = 1; N <= 3; ++N)
        EXPECT_TRUE(R.Out.contains(QStringLiteral("{$%1}").arg(N))) << N;
    EXPECT_TRUE(R.Out.contains(QStringLiteral("{$IMG}=") + Pictures + QStringLiteral("/c.bmp")));
    EXPECT_FALSE(R.Out.contains(QStringLiteral("{$4}")));
    const QImage Picture(Shot);
    ASSERT_FALSE(Picture.isNull());
    EXPECT_GT(Picture.width(), 200);
}
