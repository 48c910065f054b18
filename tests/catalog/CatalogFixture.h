#pragma once
// Shared by the catalog tests: a program folder per test, and code page 936
// files written and read by python3, so the bytes on disk are checked by a
// codec other than ours.

#include "QStringPrint.h"
#include "TestSupport.h"
#include "platform/core/FileUtils.h"

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <gtest/gtest.h>

namespace CatalogFixture {

// A fresh program folder for the catalog's file services while it lives.
class TProgramFolder {
public:
    TProgramFolder() { SetProgramFolder(Dir.Path()); }
    ~TProgramFolder() { SetProgramFolder(QString()); }
    TProgramFolder(const TProgramFolder &) = delete;
    TProgramFolder &operator=(const TProgramFolder &) = delete;
    QString File(const QString &Name) const { return Dir.File(Name); }
    QString Path() const { return Dir.Path(); }
    TestSupport::TempDir Dir;
};

// Text into a file as code page 936 (GBK), written exactly as given.
inline void WriteGbk(const QString &FileName, const QString &Text)
{
    TestSupport::WriteAll(FileName + QStringLiteral(".utf8"), Text.toUtf8());
    const int Rc = TestSupport::RunProgram(
        QStringLiteral("python3"),
        {QStringLiteral("-c"),
         QStringLiteral("import sys; open(sys.argv[2],'wb').write(open(sys.argv[1],encoding='utf-8',newline='').read().encode('gbk'))"),
         FileName + QStringLiteral(".utf8"), FileName});
    ASSERT_EQ(Rc, 0);
}

// A code page 936 file's text, decoded by python3; line ends stay as they are.
inline QString ReadGbk(const QString &FileName)
{
    QByteArray Out;
    const int Rc = TestSupport::RunProgram(
        QStringLiteral("python3"),
        {QStringLiteral("-c"),
         QStringLiteral("import sys; sys.stdout.buffer.write(open(sys.argv[1],'rb').read().decode('gbk').encode('utf-8'))"),
         FileName},
        &Out);
    EXPECT_EQ(Rc, 0) << FileName.toStdString();
    return QString::fromUtf8(Out);
}

// The lines of a file that must end every line with CR LF.
inline QStringList GbkLines(const QString &FileName)
{
    const QString Text = ReadGbk(FileName);
    EXPECT_TRUE(Text.endsWith(QStringLiteral("\r\n"))) << FileName.toStdString();
    QStringList Lines = Text.split(QStringLiteral("\r\n"));
    Lines.removeLast();
    for (const QString &L : Lines)
        EXPECT_FALSE(L.contains(QLatin1Char('\r')) || L.contains(QLatin1Char('\n'))) << L.toStdString();
    return Lines;
}

} // namespace CatalogFixture
