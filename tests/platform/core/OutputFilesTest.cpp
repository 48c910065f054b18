#include "platform/core/OutputFiles.h"

#include "platform/core/FileUtils.h"
#include "platform/core/Types.h"

#include "Printers.h"
#include "TestSupport.h"

#include <QDir>
#include <QFile>
#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

using TestSupport::ReadAll;
using TestSupport::TempDir;
using TestSupport::WriteAll;

namespace {

QByteArray Bytes(int Size, int Seed)
{
    QByteArray B(Size, Qt::Uninitialized);
    for (int I = 0; I < Size; ++I)
        B[I] = char((I * 31 + Seed) & 0xFF);
    return B;
}

QStringList Entries(const QString &Folder)
{
    return QDir(Folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot, QDir::Name);
}

QString Message(const std::function<void()> &Work)
{
    try {
        Work();
    } catch (const Exception &E) {
        return E.Message();
    }
    return QString();
}

TEST(OutputFiles, NothingStandsUnderAFinalNameBeforeCommit)
{
    TempDir T;
    const QByteArray Big = Bytes(3 * 1024 * 1024 + 7, 1);
    WriteAll(T.File(QStringLiteral("src/big.jpg")), Big);
    WriteAll(T.File(QStringLiteral("src/small.gif")), "GIF89a");
    WriteAll(T.File(QStringLiteral("out/small.gif")), "old");
    const QString Out = T.File(QStringLiteral("out/"));
    {
        TOutputFiles Files;
        Files.Copy(T.File(QStringLiteral("src/big.jpg")), Out + QStringLiteral("big.jpg"));
        Files.Copy(T.File(QStringLiteral("src/small.gif")), Out + QStringLiteral("small.gif"));
        EXPECT_TRUE(Files.Has(Out + QStringLiteral("big.jpg")));
        EXPECT_FALSE(QFileInfo::exists(Out + QStringLiteral("big.jpg")));
        EXPECT_EQ(ReadAll(Out + QStringLiteral("small.gif")), QByteArray("old"));
        EXPECT_EQ(Entries(Out).size(), 3) << "two temporary files beside the old one";
        // Cancelled: destroyed without Commit.
    }
    EXPECT_EQ(Entries(Out), QStringList{QStringLiteral("small.gif")});
    EXPECT_EQ(ReadAll(Out + QStringLiteral("small.gif")), QByteArray("old"));

    TOutputFiles Files;
    Files.Copy(T.File(QStringLiteral("src/big.jpg")), Out + QStringLiteral("big.jpg"));
    Files.Copy(T.File(QStringLiteral("src/small.gif")), Out + QStringLiteral("small.gif"));
    const QString Written = Files.Create(Out + QStringLiteral("page.htm"));
    WriteAll(Written, "<html>");
    EXPECT_EQ(Files.Targets(), (QStringList{Out + QStringLiteral("big.jpg"), Out + QStringLiteral("small.gif"),
                                            Out + QStringLiteral("page.htm")}));
    Files.Commit();
    EXPECT_EQ(Entries(Out), (QStringList{QStringLiteral("big.jpg"), QStringLiteral("page.htm"), QStringLiteral("small.gif")}));
    EXPECT_EQ(ReadAll(Out + QStringLiteral("big.jpg")), Big);
    EXPECT_EQ(ReadAll(Out + QStringLiteral("small.gif")), QByteArray("GIF89a"));
    EXPECT_TRUE(Files.Targets().isEmpty());
}

TEST(OutputFiles, AFailedCopySaysWhichFileAndWhy)
{
    TempDir T;
    WriteAll(T.File(QStringLiteral("src/a.jpg")), "jpeg");
    QDir().mkpath(T.File(QStringLiteral("out")));
    TOutputFiles Files;
    const QString Missing = T.File(QStringLiteral("src/没有.jpg"));
    EXPECT_EQ(Message([&] { Files.Copy(Missing, T.File(QStringLiteral("out/没有.jpg"))); }),
              QStringLiteral("不能复制文件“%1”到“%2”。系统找不到指定的文件或文件夹。")
                  .arg(Missing, T.File(QStringLiteral("out/没有.jpg"))));
    EXPECT_EQ(Message([&] { Files.Copy(T.File(QStringLiteral("src")), T.File(QStringLiteral("out/src"))); }),
              QStringLiteral("不能复制文件“%1”到“%2”。这是一个文件夹，不是文件。")
                  .arg(T.File(QStringLiteral("src")), T.File(QStringLiteral("out/src"))));
    const QString NoFolder = T.File(QStringLiteral("gone/a.jpg"));
    EXPECT_TRUE(Message([&] { Files.Copy(T.File(QStringLiteral("src/a.jpg")), NoFolder); }).endsWith(QStringLiteral("系统找不到指定的文件或文件夹。")));
    EXPECT_TRUE(Files.Targets().isEmpty());
    EXPECT_TRUE(Entries(T.File(QStringLiteral("out"))).isEmpty()) << "a failed copy leaves nothing";

    // A place that cannot take the file (a folder stands there): the commit
    // names it; the files not in place by then are removed.
    QDir().mkpath(T.File(QStringLiteral("out/b.jpg/inside")));
    Files.Copy(T.File(QStringLiteral("src/a.jpg")), T.File(QStringLiteral("out/a.jpg")));
    Files.Copy(T.File(QStringLiteral("src/a.jpg")), T.File(QStringLiteral("out/b.jpg")));
    const QString Failed = Message([&] { Files.Commit(); });
    EXPECT_TRUE(Failed.contains(T.File(QStringLiteral("out/b.jpg")))) << Failed.toStdString();
    EXPECT_EQ(Entries(T.File(QStringLiteral("out"))), (QStringList{QStringLiteral("a.jpg"), QStringLiteral("b.jpg")}));
    EXPECT_TRUE(QFileInfo(T.File(QStringLiteral("out/b.jpg"))).isDir());
}

TEST(OutputFiles, KernelCopyAppendsAndContentComparesPieceByPiece)
{
    TempDir T;
    const QByteArray Head = Bytes(5000, 2), Tail = Bytes(200000, 3);
    WriteAll(T.File(QStringLiteral("head")), Head);
    WriteAll(T.File(QStringLiteral("tail")), Tail);
    const int Out = ::open(QFile::encodeName(T.File(QStringLiteral("joined"))).constData(), O_WRONLY | O_CREAT, 0644);
    for (const char *Name : {"head", "tail"}) {
        const int In = ::open(QFile::encodeName(T.File(QString::fromLatin1(Name))).constData(), O_RDONLY);
        EXPECT_EQ(CopyFileData(In, Out), 0);
        ::close(In);
    }
    ::close(Out);
    EXPECT_EQ(ReadAll(T.File(QStringLiteral("joined"))), Head + Tail);

    QByteArray Other = Tail;
    Other[Other.size() - 1] = char(Other.at(Other.size() - 1) ^ 1);   // past the first piece
    WriteAll(T.File(QStringLiteral("other")), Other);
    WriteAll(T.File(QStringLiteral("same")), Tail);
    EXPECT_TRUE(SameFileContent(T.File(QStringLiteral("tail")), T.File(QStringLiteral("same"))));
    EXPECT_FALSE(SameFileContent(T.File(QStringLiteral("tail")), T.File(QStringLiteral("other"))));
    EXPECT_FALSE(SameFileContent(T.File(QStringLiteral("tail")), T.File(QStringLiteral("head"))));
    EXPECT_FALSE(SameFileContent(T.File(QStringLiteral("tail")), T.File(QStringLiteral("missing"))));
}

} // namespace
