// The program started without arguments: the start dialog comes first, and
// 新建目录页面 leaves it with a new page in the default book.

#include "WindowFixture.h"

#include <QDir>
#include <QFileInfo>

using namespace WindowFixture;

namespace {

class StartDrive : public TDriveTest {};

} // namespace

TEST_F(StartDrive, NewPageFromTheStartDialog)
{
    QDir().mkpath(Home.File(QStringLiteral("目录册")));
    QFile::remove(Home.File(QStringLiteral("cts_history.txt")));

    const TestSupport::DriveRun R = Drive(QStringLiteral("text Form2\n"
                                                         "text Form2.Button1\n"
                                                         "click Form2.Button1\n"
                                                         "wait\n"
                                                         "expect-prompts 0\n"
                                                         "page-text\n"
                                                         "quit\n"));
    ASSERT_EQ(R.Code, 0) << R.Err.toStdString() << R.Out.toStdString();
    const QStringList Out = R.Out.split(QLatin1Char('\n'));
    ASSERT_GE(Out.size(), 3) << R.Out.toStdString();
    EXPECT_EQ(Out[0], QStringLiteral("开始"));
    EXPECT_EQ(Out[1], QStringLiteral("新建目录页面"));
    EXPECT_TRUE(R.Out.contains(QStringLiteral("{Catalog名称}="))) << "the new page's text is shown: " << R.Out.toStdString();

    // The new page went into the default book, which the history now names.
    const QString Book = Home.File(QStringLiteral("目录册/default.qbs"));
    EXPECT_TRUE(QFileInfo::exists(Book));
    const QStringList History = GbkLines(Home.File(QStringLiteral("cts_history.txt")));
    ASSERT_EQ(History.size(), 1);
    EXPECT_EQ(QFileInfo(QDir(Home.Path()).absoluteFilePath(QString(History[0]).replace(QLatin1Char('\\'), QLatin1Char('/'))))
                  .canonicalFilePath(),
              QFileInfo(Book).canonicalFilePath());
}
