// More than 65535 entries: Zip64 end records both ways. Slow.

#include "ZipTestUtil.h"
#include "zip/Zipper.h"

#include <QDir>
#include <QFile>

using namespace ZipTest;

TEST(ZipPeers, ManyEntriesUseZip64EndRecords)
{
    TestSupport::TempDir D;
    const QString Zip = D.File(QStringLiteral("many.zip"));
    ASSERT_EQ(Python(QStringLiteral("import sys,zipfile\n"
                                    "with zipfile.ZipFile(sys.argv[1],'w') as z:\n"
                                    "  for i in range(65600): z.writestr('f%d'%i, b'%d'%i)\n"),
                     {Zip}),
              0);
    TUnZipper U;
    U.SetZipName(Zip);
    U.OpenAndReadDirectory();
    ASSERT_EQ(U.MemberCount(), 65600);
    EXPECT_EQ(U.UnzipToBuffer(65599), QByteArray("65599"));

    // And we write more than 65535 entries with Zip64 end records python accepts.
    const QString Src = D.File(QStringLiteral("src"));
    QDir().mkpath(Src);
    for (int I = 0; I < 65600; ++I) {
        QFile F(Src + QStringLiteral("/f%1").arg(I));
        ASSERT_TRUE(F.open(QIODevice::WriteOnly));
    }
    const QString Ours = D.File(QStringLiteral("ours.zip"));
    TZipper Z;
    Z.SetRootDir(Src);
    Z.SetZipName(Ours);
    Z.SetPackLevel(0);
    Z.FilesList().Add(Src + QStringLiteral("/*.*"));
    EXPECT_EQ(Z.PackFiles(), 65600);
    EXPECT_EQ(Z.MemberCount(), 65600);
    QByteArray Out;
    EXPECT_EQ(Python(QStringLiteral("import sys,zipfile\nprint(len(zipfile.ZipFile(sys.argv[1]).namelist()))"), {Ours}, &Out), 0);
    EXPECT_EQ(Out.trimmed(), QByteArray("65600"));
}
