// The program, run by quillbook-drive, publishes a page with Chinese text and a
// picture through its output menu; each file is read back by its peer.

#include "OutputFixture.h"

using namespace OutputFixture;


TEST(OutputEndToEnd, PagePublishedAsHtmlZipMhtAndChm)
{
    TSample S;
    // One product, priced, so that the page passes validation without a question.
    QStringList Page = S.Page.mid(0, 24);
    Page << S.Page.mid(33, 9);
    Page[0] = QStringLiteral("QBT FILE TYPE 2.0");
    S.Page = Page;
    S.Set(QStringLiteral("{Catalog编号}"), QStringLiteral("E2E"));
    S.Set(QStringLiteral("{背景图片}"), QString());
    QFile::copy(TestSupport::DataDir() + QStringLiteral("/html/春天系列/back.jpg"), S.PageDir + QStringLiteral("pics/real.jpg"));
    for (QString &L : S.Page)
        if (L.startsWith(QStringLiteral("{$IMG}=")))
            L = QStringLiteral("{$IMG}=pics\\real.jpg");
    WriteText(S.PagePath, S.Page);

    const QString Script = QStringLiteral("wait\nclick HTML3\nwait\nclick MHT1\nwait\nclick CHM3\nwait\n"
                                          "click ZIP3\nwait\nexpect-prompts 0\nshell\nquit\n");
    const TestSupport::DriveRun R = TestSupport::RunDrive(S.Exe, Script, {S.PagePath});
    ASSERT_EQ(R.Code, 0) << R.Err.toStdString();
    const QString D = S.Root + QStringLiteral("E2E/");
    EXPECT_EQ(R.Out.count(QStringLiteral("Open ") + D), 4) << R.Out.toStdString();

    // HTML folder.
    const QString Html = ReadText(D + QStringLiteral("E2E.htm"));
    EXPECT_TRUE(Html.contains(QStringLiteral("src=\"images/real.jpg\" width=\"120\" height=\"90\"")));
    EXPECT_TRUE(Html.contains(QStringLiteral("茶杯")));
    EXPECT_EQ(TestSupport::ReadAll(D + QStringLiteral("images/real.jpg")), TestSupport::ReadAll(S.PageDir + QStringLiteral("pics/real.jpg")));

    // MHT: a multipart message python reads, with the picture inside.
    int Code = -1;
    QByteArray Out;
    Code = TestSupport::RunProgram(QStringLiteral("python3"),
                                   {QStringLiteral("-c"),
                                    QStringLiteral("import email,sys\nm=email.message_from_bytes(open(sys.argv[1],'rb').read())\n"
                                                   "p=m.get_payload()\nprint(len(p), p[1].get_content_type(), len(p[1].get_payload(decode=True)))"),
                                    D + QStringLiteral("E2E.htm.mht")},
                                   &Out);
    EXPECT_EQ(Code, 0);
    EXPECT_EQ(QString::fromUtf8(Out).trimmed(),
              QStringLiteral("2 image/jpeg %1").arg(QFileInfo(S.PageDir + QStringLiteral("pics/real.jpg")).size()));

    // CHM: the page and the picture inside.
    Out.clear();
    TestSupport::RunProgram(QStringLiteral("chmls"), {QStringLiteral("list"), D + QStringLiteral("E2E.chm")}, &Out);
    EXPECT_TRUE(Out.contains("/tmpfile.htm")) << Out.constData();
    EXPECT_TRUE(Out.contains("/real.jpg"));

    EXPECT_EQ(TestSupport::RunProgram(QStringLiteral("unzip"), {QStringLiteral("-t"), D + QStringLiteral("E2E.zip")}), 0);
    Out.clear();
    TestSupport::RunProgram(QStringLiteral("unzip"), {QStringLiteral("-Z1"), D + QStringLiteral("E2E.zip")}, &Out);
    EXPECT_TRUE(Out.contains("E2E.htm"));
    EXPECT_TRUE(Out.contains("images/real.jpg"));
}
