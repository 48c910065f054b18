// The search, web-effects and picture dialogs opened from the main window of
// the program started by quillbook-drive. Screenshots of each stay in the test
// folder (search_dialog.png, web_effects_dialog.png, picture_viewer.png,
// batch_text_dialog.png) for a look.

#include "QStringPrint.h"
#include "SamplePages.h"
#include "TestSupport.h"

#include <QDir>
#include <QFile>
#include <QImage>
#include <gtest/gtest.h>

using namespace SamplePages;

namespace {

class DialogsDrive : public ::testing::Test {
protected:
    void SetUp() override
    {
        TestSupport::CopyDataTo(Home.Path());
        PagePath = Docs.File(QStringLiteral("p.qbt"));
    }
    static QString Shot(const char *Name)
    {
        const QString File = QDir::current().absoluteFilePath(QString::fromLatin1(Name));
        QFile::remove(File);
        return File;
    }
    TestSupport::DriveRun Run(const QString &Script)
    {
        return TestSupport::RunDrive(Home.Path(), QStringLiteral("wait\n") + Script + QStringLiteral("\nquit\n"), {PagePath});
    }
    TestSupport::TempDir Home, Docs;
    QString PagePath;
};

} // namespace

TEST_F(DialogsDrive, SearchFindsAProductAndContinuesWithF3)
{
    Save(PagePath, Header() + Blocks({Simple(QStringLiteral("K-1")), Simple(QStringLiteral("X")), Simple(QStringLiteral("K-3"))}));
    const QString Picture = Shot("search_dialog.png");
    const TestSupport::DriveRun R = Run(QStringLiteral(
        "click N100\ntype Form8.Edit1 K-\nscreenshot Form8 %1\nclick Form8.RadioButton3\nclick Form8.Button1\nwait\n"
        "text Edit1\nclick N114\nwait\ntext Edit1\n"
        "answer button OK\nclick N114\nwait\nprompts").arg(Picture));
    ASSERT_EQ(R.Code, 0) << R.Err.toStdString() << R.Out.toStdString();
    const QStringList Out = R.Out.split(QLatin1Char('\n'));
    EXPECT_EQ(Out.value(0), QStringLiteral("K-1"));
    EXPECT_EQ(Out.value(1), QStringLiteral("K-3"));
    EXPECT_TRUE(R.Out.contains(QStringLiteral("完毕 | 查找完毕，没有匹配的关键字。"))) << R.Out.toStdString();
    EXPECT_FALSE(QImage(Picture).isNull());
}

TEST_F(DialogsDrive, WebEffectsChosenInTheDialogReachThePageText)
{
    Save(PagePath, Header() + Blocks({Simple(QStringLiteral("A"))}));
    const QString Picture = Shot("web_effects_dialog.png");
    const TestSupport::DriveRun R = Run(QStringLiteral(
        "click Button7\nanswer file %1/gif/dots.gif\nclick Form5.Button1\nanswer file %1/mid/tune.mid\nclick Form5.Button2\n"
        "screenshot Form5 %2\nclick Form5.Button5\nwait\npage-text\nshell").arg(Home.Path(), Picture));
    ASSERT_EQ(R.Code, 0) << R.Err.toStdString() << R.Out.toStdString();
    EXPECT_TRUE(R.Out.contains(QStringLiteral("{背景图片}=gif\\dots.gif"))) << R.Out.toStdString();
    EXPECT_TRUE(R.Out.contains(QStringLiteral("{背景音乐}=mid\\tune.mid"))) << R.Out.toStdString();
    EXPECT_FALSE(QImage(Picture).isNull());
}

TEST_F(DialogsDrive, PictureViewerWritesAndOpensTheBatchDialog)
{
    QImage Image(320, 240, QImage::Format_RGB32);
    Image.fill(qRgb(90, 160, 220));
    const QString Picture = Docs.File(QStringLiteral("v.jpg"));
    ASSERT_TRUE(Image.save(Picture, "JPEG"));
    TProduct P = Simple(QStringLiteral("V-1"));
    P.Picture = Picture;
    Save(PagePath, Header() + Blocks({P}));
    const QString Viewer = Shot("picture_viewer.png");
    const QString Batch = Shot("batch_text_dialog.png");
    const TestSupport::DriveRun R = Run(QStringLiteral(
        "select-cell CellGrid1 3 1\nclick N76\nwait\nclick PictureView.SpeedButton1\ntype PictureView.Edit1 新品 New\n"
        "click PictureView.Image1\nwait\nscreenshot PictureView %1\nclick PictureView.SpeedButton2\nwait\n"
        "screenshot Form6 %2\ntext Form6.Edit2\ntext Form6.ComboBox2\nclick Form6.Button2\nwait\n"
        "click PictureView.SpeedButton7\nwait\nprompts").arg(Viewer, Batch));
    ASSERT_EQ(R.Code, 0) << R.Err.toStdString() << R.Out.toStdString();
    EXPECT_TRUE(R.Out.startsWith(QStringLiteral("1\n20,20,新品 New\n"))) << R.Out.toStdString();
    const QImage Shown(Viewer);
    ASSERT_FALSE(Shown.isNull());
    EXPECT_FALSE(QImage(Batch).isNull());
}
