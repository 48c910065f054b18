// Packages, pages and dialogs as a user meets them, through quillbook-drive on
// a copy of the program folder exactly as the build ships it: packages made
// on another computer (by python3's zipfile) that name files outside
// themselves, damaged packages, a package saved back onto a full disk, pages
// with other line ends, a page repaired in place, page IDs that cannot name a
// file, PNG pictures and the company dialog on a small screen. What the
// program writes is read back by python3's zipfile.

#include "ImageDifference.h"
#include "TestSupport.h"
#include "platform/core/Codec.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QMap>
#include <QRegularExpression>
#include <QUrl>
#include <gtest/gtest.h>

using TestSupport::DriveRun;
using TestSupport::RunDrive;

namespace {

QString S(const char *Utf8)
{
    return QString::fromUtf8(Utf8);
}

QString Hash(const QString &File)
{
    return QString::fromLatin1(QCryptographicHash::hash(TestSupport::ReadAll(File), QCryptographicHash::Sha256).toHex());
}

// Lines as the program writes text files: code page 936, CR LF.
QByteArray TextBytes(const QStringList &Lines)
{
    return Cp936::Encode(Lines.join(QStringLiteral("\r\n")) + QStringLiteral("\r\n"));
}

// A page as the program writes it: product n has the picture Pictures[n-1].
QByteArray PageBytes(const QString &Id, const QStringList &Pictures, const QStringList &ExtraHeader = {})
{
    QStringList L{S("QBT FILE TYPE 2.0"), S("{Catalog编号}=") + Id, S("{Catalog名称}=春季报价"), S("{业务员名}=王五"),
                  S("{客户编号}="), S("{客户名称}="), S("{客户公司名}="), S("{日期}=2026-12-7"), S("{货币符号}=￥"),
                  S("{产品单位}=个"), S("{重量单位}=克"), S("{图片宽}=0"), S("{图片高}=0"), S("{输出目录}="),
                  S("{输出方式}=HTML(网页文件类型)"), S("{输出风格}=春天系列"), S("{输出语言}=中文"),
                  S("{订单接收email地址}=order@example.com"), S("{图片框百分比}=75"), S("{Catalog说明}=")};
    L << ExtraHeader << S("/*以下内容均由程序自动生成，一般用户无需自行修改。") << S("{detail}") << QString();
    for (int N = 1; N <= Pictures.size(); ++N)
        L << QStringLiteral("{$%1}").arg(N) << S("{$IMG}=") + Pictures.at(N - 1) << QStringLiteral("{$PID}=A-%1").arg(N)
          << S("{$PNAME}=商品%1").arg(N) << QStringLiteral("{$PPRICE}=%1.50").arg(N) << S("{$PUNIT}=件")
          << QStringLiteral("{$PWEIGHT}=5") << S("{$PSERIAL}=大号") << S("{$PNOTE}=好");
    return TextBytes(L);
}

class ReceivedPackages : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(QFileInfo(TestSupport::DriverPath()).isExecutable());
        TestSupport::CopyProgramFolderTo(Home.Path());
        // Files of the user's own disk that no package may pull in or change.
        for (const char *Name : {"secret.jpg", "secret.txt", "secret.htm"})
            TestSupport::WriteAll(Docs.File(QString::fromLatin1(Name)), QByteArray("private ") + Name + QByteArray(3000, 'x'));
        TestSupport::WriteAll(Docs.File(QStringLiteral("outside.qbt")), PageBytes(S("外面"), {QString()}));
        TestSupport::WriteAll(Docs.File(QStringLiteral("outside2.qbt")), PageBytes(S("外面2"), {QString()}));
        for (const QString &F : QDir(Docs.Path()).entryList(QDir::Files))
            Before[F] = Hash(Docs.File(F));
    }

    // The same folder of the user's disk, reached by climbing out of wherever a
    // package is unpacked.
    QString Climbing(const QString &Name) const
    {
        return QStringLiteral("../").repeated(24) + Docs.File(Name).mid(1);
    }

    // A package made by python3's zipfile: member name -> bytes.
    QString Zip(const QString &Name, const QList<QPair<QString, QByteArray>> &Members, bool Stored = false)
    {
        const QString Path = Work.File(Name);
        QString Script = QStringLiteral("import zipfile,sys\nz=zipfile.ZipFile(sys.argv[1],'w',%1)\n")
                             .arg(Stored ? QStringLiteral("zipfile.ZIP_STORED") : QStringLiteral("zipfile.ZIP_DEFLATED"));
        for (const auto &M : Members)
            Script += QStringLiteral("z.writestr(bytes.fromhex('%1').decode('utf-8'),bytes.fromhex('%2'))\n")
                          .arg(QString::fromLatin1(M.first.toUtf8().toHex()), QString::fromLatin1(M.second.toHex()));
        Script += QStringLiteral("z.close()\n");
        EXPECT_EQ(TestSupport::RunProgram(QStringLiteral("/usr/bin/python3"), {QStringLiteral("-c"), Script, Path}), 0);
        return Path;
    }

    // Every member of a package as python3's zipfile reads it: name -> bytes.
    QMap<QString, QByteArray> Members(const QString &Package)
    {
        static const char *const Reader =
            "import zipfile,sys\n"
            "z=zipfile.ZipFile(sys.argv[1])\n"
            "for n in z.namelist(): print(n.encode('utf-8').hex(), z.read(n).hex())\n";
        QByteArray Out;
        EXPECT_EQ(TestSupport::RunProgram(QStringLiteral("/usr/bin/python3"),
                                          {QStringLiteral("-c"), QString::fromLatin1(Reader), Package}, &Out),
                  0)
            << Out.toStdString();
        QMap<QString, QByteArray> M;
        for (const QByteArray &Line : Out.split('\n')) {
            const QList<QByteArray> Parts = Line.trimmed().split(' ');
            if (Parts.size() == 2)
                M[QString::fromUtf8(QByteArray::fromHex(Parts.at(0)))] = QByteArray::fromHex(Parts.at(1));
        }
        return M;
    }

    // The package holds none of the user's files, and none of them changed.
    void ExpectNothingOfTheUsersDisk(const QString &Package)
    {
        const QMap<QString, QByteArray> M = Members(Package);
        EXPECT_FALSE(M.isEmpty());
        for (auto It = M.cbegin(); It != M.cend(); ++It) {
            EXPECT_FALSE(It.key().contains(QStringLiteral("secret")) || It.key().contains(QStringLiteral("outside")))
                << It.key().toStdString();
            EXPECT_FALSE(It.value().startsWith("private ")) << It.key().toStdString();
        }
        for (auto It = Before.cbegin(); It != Before.cend(); ++It)
            EXPECT_EQ(Hash(Docs.File(It.key())), It.value()) << It.key().toStdString() << " changed";
    }

    TestSupport::TempDir Home;
    TestSupport::TempDir Docs;
    TestSupport::TempDir Work;
    QMap<QString, QString> Before;
};

const QByteArray Picture = QByteArray("\xFF\xD8\xFF\xE0 a picture that came with the package") + QByteArray(200, 'p');

} // namespace

TEST_F(ReceivedPackages, APackageNamesOnlyWhatIsInsideIt)
{
    const QString Edit = QStringLiteral("answer button OK\nwait\nset-cell CellGrid1 5 1 新名字\nclick SpeedButton9\n"
                                        "wait\nprompts\nquit\n");

    // A page package whose pictures and background name files of this disk.
    const QString PagePackage = Zip(
        QStringLiteral("page.qba"),
        {{QStringLiteral("index.dat"), "index=catalog.qbt\r\ntype=QBT\r\n"},
         {QStringLiteral("catalog.qbt"),
          PageBytes(QStringLiteral("P1"), {QStringLiteral("images\\ok.jpg"), Docs.File(QStringLiteral("secret.jpg")),
                                           Climbing(QStringLiteral("secret.txt"))},
                    {S("{背景图片}=") + Docs.File(QStringLiteral("secret.jpg"))})},
         {QStringLiteral("images/ok.jpg"), Picture}});
    DriveRun R = RunDrive(Home.Path(), Edit, {PagePackage});
    ASSERT_EQ(R.Code, 0) << R.Err.toStdString();
    // Told once which entries were left out; the package opened with what is inside it.
    EXPECT_EQ(R.Out.count(QLatin1Char('\n')), 1) << R.Out.toStdString();
    EXPECT_TRUE(R.Out.contains(S("已被略去"))) << R.Out.toStdString();
    EXPECT_TRUE(R.Out.contains(S("{$IMG}=") + Docs.File(QStringLiteral("secret.jpg")))) << R.Out.toStdString();
    EXPECT_TRUE(R.Out.contains(Climbing(QStringLiteral("secret.txt")))) << R.Out.toStdString();
    QMap<QString, QByteArray> M = Members(PagePackage);
    EXPECT_EQ(M.value(QStringLiteral("images/ok.jpg")), Picture);
    EXPECT_TRUE(M.value(QStringLiteral("catalog.qbt")).contains(QByteArray("{$PNAME}=\xD0\xC2\xC3\xFB\xD7\xD6")));
    ExpectNothingOfTheUsersDisk(PagePackage);

    // A picture the user adds through the picture dialog goes into the package.
    // The saved page's emptied background stays empty, so saving again asks
    // only about the new product, which has no price yet.
    QImage Added(6, 6, QImage::Format_RGB32);
    Added.fill(Qt::green);
    ASSERT_TRUE(Added.save(Work.File(QStringLiteral("added.jpg"))));
    R = RunDrive(Home.Path(), QStringLiteral("wait\nanswer files %1\nclick SpeedButton3\nwait\nanswer button OK\n"
                                             "click SpeedButton9\nwait\nprompts\nquit\n")
                                  .arg(Work.File(QStringLiteral("added.jpg"))),
                 {PagePackage});
    ASSERT_EQ(R.Code, 0) << R.Err.toStdString();
    EXPECT_TRUE(R.Out.startsWith(QStringLiteral("FileDialog"))) << R.Out.toStdString();
    M = Members(PagePackage);
    EXPECT_EQ(M.value(QStringLiteral("images/added.jpg")), TestSupport::ReadAll(Work.File(QStringLiteral("added.jpg"))));
    EXPECT_TRUE(M.value(QStringLiteral("catalog.qbt")).contains(Cp936::Encode(S("{背景图片}=\r\n"))));
    EXPECT_EQ(M.value(QStringLiteral("images/ok.jpg")), Picture);
    ExpectNothingOfTheUsersDisk(PagePackage);

    // A book package whose list names pages and files of this disk, by full
    // path and by climbing out; its own page names a picture outside too.
    const QByteArray Book = TextBytes({S("Catalog_name=收到的目录册"), S("catalog_index_name="), S("Catalog_Lost_name="),
                                       S("Catalog_Output="), S("Catalog_always_open=false"), S("{$Files}"),
                                       Docs.File(QStringLiteral("outside.qbt")), Climbing(QStringLiteral("secret.txt")),
                                       Docs.File(QStringLiteral("secret.htm")), QStringLiteral("p1.qbt"),
                                       Climbing(QStringLiteral("outside2.qbt"))});
    const QString BookPackage =
        Zip(QStringLiteral("book.qba"),
            {{QStringLiteral("index.dat"), "index=book.qbs\r\ntype=QBS\r\n"},
             {QStringLiteral("book.qbs"), Book},
             {QStringLiteral("p1.qbt"),
              PageBytes(QStringLiteral("B1"), {QStringLiteral("images\\ok.jpg"), Docs.File(QStringLiteral("secret.jpg"))})},
             {QStringLiteral("images/ok.jpg"), Picture}});
    R = RunDrive(Home.Path(), Edit, {BookPackage});
    ASSERT_EQ(R.Code, 0) << R.Err.toStdString();
    EXPECT_EQ(R.Out.count(QLatin1Char('\n')), 1) << R.Out.toStdString();
    for (const QString &Named : {Docs.File(QStringLiteral("outside.qbt")), Climbing(QStringLiteral("secret.txt")),
                                 Docs.File(QStringLiteral("secret.htm")), Climbing(QStringLiteral("outside2.qbt")),
                                 S("p1.qbt：{$IMG}=") + Docs.File(QStringLiteral("secret.jpg"))})
        EXPECT_TRUE(R.Out.contains(Named)) << Named.toStdString() << "\n" << R.Out.toStdString();
    M = Members(BookPackage);
    EXPECT_TRUE(M.value(QStringLiteral("p1.qbt")).contains(QByteArray("{$PNAME}=\xD0\xC2\xC3\xFB\xD7\xD6")))
        << "the book's own page was edited and saved";
    ExpectNothingOfTheUsersDisk(BookPackage);
}

TEST_F(ReceivedPackages, DamagedPackagesAreNamedWithTheirReasonInChinese)
{
    const QList<QPair<QString, QByteArray>> Good{
        {QStringLiteral("index.dat"), "index=catalog.qbt\r\ntype=QBT\r\n"},
        {QStringLiteral("catalog.qbt"), PageBytes(QStringLiteral("P1"), {QString()})},
        {QStringLiteral("images/bad.jpg"), QByteArray("MARKER of the picture ") + QByteArray(4000, 'q')}};
    const QByteArray Whole = TestSupport::ReadAll(Zip(QStringLiteral("good.qba"), Good, true));
    const QString Cut = Work.File(QStringLiteral("cut.qba"));
    TestSupport::WriteAll(Cut, Whole.left(Whole.size() / 2));
    const QString Text = Work.File(QStringLiteral("text.qba"));
    TestSupport::WriteAll(Text, "just a text, no archive");
    QByteArray Flipped = Whole;
    Flipped[Flipped.indexOf("MARKER")] = 'm';
    const QString Crc = Work.File(QStringLiteral("crc.qba"));
    TestSupport::WriteAll(Crc, Flipped);

    const QString Ask = QStringLiteral("answer button OK\nwait\nprompts\nquit\n");
    DriveRun R = RunDrive(Home.Path(), Ask, {Cut});
    ASSERT_EQ(R.Code, 0) << R.Err.toStdString();
    EXPECT_EQ(R.Out, S("MessageBox | 出错 | qba文件“%1”已经损坏，不能打开：文件不完整，可能没有完整地下载或复制。 | OK\n").arg(Cut));
    R = RunDrive(Home.Path(), Ask, {Text});
    ASSERT_EQ(R.Code, 0) << R.Err.toStdString();
    EXPECT_EQ(R.Out, S("MessageBox | 出错 | qba文件“%1”已经损坏，不能打开：它不是zip格式的文件。 | OK\n").arg(Text));
    // A damaged member is named; the package opens with the rest.
    R = RunDrive(Home.Path(), QStringLiteral("answer button OK\nwait\nprompts\ncell CellGrid1 5 1\nquit\n"), {Crc});
    ASSERT_EQ(R.Code, 0) << R.Err.toStdString();
    EXPECT_TRUE(R.Out.startsWith(S("MessageBox | 出错 | qba文件“%1”已经损坏，其中以下文件不能读出，已被略过：\\n    images\\bad.jpg | OK\n").arg(Crc)))
        << R.Out.toStdString();
    EXPECT_TRUE(R.Out.endsWith(S("商品1\n"))) << R.Out.toStdString();
}

TEST_F(ReceivedPackages, SavingAPackageOnAFullDiskSaysTheDiskIsFull)
{
    // The package lives on a small disk of its own (a tmpfs in a mount
    // namespace of the run): it fits there once, a second copy does not.
    const QString Mount = Work.File(QStringLiteral("disk"));
    QDir().mkpath(Mount);
    if (TestSupport::RunProgram(QStringLiteral("unshare"),
                                {QStringLiteral("-m"), QStringLiteral("sh"), QStringLiteral("-c"),
                                 QStringLiteral("mount -t tmpfs -o size=64k tmpfs \"$1\""), QStringLiteral("sh"), Mount})
        != 0)
        GTEST_SKIP() << "no mount namespace with a tmpfs here";
    QByteArray Noise(40000, 0);
    quint32 X = 12345;
    for (char &C : Noise) {
        X = X * 1103515245u + 12345u;
        C = char(X >> 24);
    }
    const QString Package = Zip(QStringLiteral("p.qba"),
                                {{QStringLiteral("index.dat"), "index=catalog.qbt\r\ntype=QBT\r\n"},
                                 {QStringLiteral("catalog.qbt"), PageBytes(QStringLiteral("P1"), {QStringLiteral("images\\big.jpg")})},
                                 {QStringLiteral("images/big.jpg"), Noise}});
    const QString Script = Work.File(QStringLiteral("script.txt"));
    TestSupport::WriteAll(Script, S("wait\nset-cell CellGrid1 5 1 新名字\nanswer button OK\nclick SpeedButton9\nwait\n"
                                    "prompts\nquit\n")
                                      .toUtf8());
    const QString After = Work.File(QStringLiteral("after.qba"));
    QByteArray Out;
    TestSupport::RunProgram(
        QStringLiteral("unshare"),
        {QStringLiteral("-m"), QStringLiteral("sh"), QStringLiteral("-c"),
         QStringLiteral("mount -t tmpfs -o size=64k tmpfs \"$1\" && cp \"$2\" \"$1/p.qba\" && \"$3\" --home \"$4\" \"$5\" -- "
                        "\"$1/p.qba\"; cp \"$1/p.qba\" \"$6\""),
         QStringLiteral("sh"), Mount, Package, TestSupport::DriverPath(), Home.Path(), Script, After},
        &Out, QString(), 300000);
    const QString Text = QString::fromUtf8(Out);
    EXPECT_TRUE(Text.contains(S("MessageBox | 错误 | 保存qba文件“%1/p.qba”失败：磁盘空间不足。 | OK").arg(Mount)))
        << Text.toStdString();
    EXPECT_FALSE(Text.contains(S("写保护"))) << Text.toStdString();
    // The package on that disk is the one that was there.
    EXPECT_EQ(Hash(After), Hash(Package));
}

TEST_F(ReceivedPackages, ASplitPackageOpensWholeAndNamesAMissingPart)
{
    // A package split by Info-ZIP (zip -s): its parts 春季报价.z01 ... and the
    // last part, made as 春季报价.zip and renamed, as it reaches the user, to .qba.
    const QString Folder = Work.File(QStringLiteral("made"));
    QByteArray Noise(150000, 0);
    quint32 X = 2024;
    for (char &C : Noise) {
        X = X * 1103515245u + 12345u;
        C = char(X >> 24);
    }
    TestSupport::WriteAll(Folder + QStringLiteral("/index.dat"), "index=catalog.qbt\r\ntype=QBT\r\n");
    TestSupport::WriteAll(Folder + QStringLiteral("/catalog.qbt"), PageBytes(QStringLiteral("P1"), {QStringLiteral("images\\big.jpg")}));
    TestSupport::WriteAll(Folder + QStringLiteral("/images/big.jpg"), Noise);
    const QString Parts = Work.File(QStringLiteral("received"));
    QDir().mkpath(Parts);
    QByteArray Log;
    ASSERT_EQ(TestSupport::RunProgram(QStringLiteral("zip"),
                                      {QStringLiteral("-q"), QStringLiteral("-r"), QStringLiteral("-s"), QStringLiteral("64k"),
                                       Parts + S("/春季报价.zip"), QStringLiteral(".")},
                                      &Log, Folder),
              0)
        << Log.constData();
    ASSERT_TRUE(QFileInfo::exists(Parts + S("/春季报价.z02"))) << "the set has fewer parts than meant";
    const QString Package = Parts + S("/春季报价.qba");
    ASSERT_TRUE(QFile::rename(Parts + S("/春季报价.zip"), Package));

    // The whole set opens, without a question.
    DriveRun R = RunDrive(Home.Path(), QStringLiteral("wait\nprompts\ncell CellGrid1 5 1\nquit\n"), {Package});
    ASSERT_EQ(R.Code, 0) << R.Err.toStdString();
    EXPECT_EQ(R.Out, S("商品1\n"));

    // A part missing is named.
    for (const char *Part : {"/春季报价.z01", "/春季报价.z02"}) {
        const QString Missing = Parts + S(Part);
        ASSERT_TRUE(QFile::rename(Missing, Missing + QStringLiteral(".away")));
        R = RunDrive(Home.Path(), QStringLiteral("answer button OK\nwait\nprompts\nquit\n"), {Package});
        ASSERT_EQ(R.Code, 0) << R.Err.toStdString();
        EXPECT_EQ(R.Out, S("MessageBox | 出错 | 不能打开qba文件“%1”：它是分卷压缩的文件，缺少分卷“%2”。"
                           "请把所有分卷放在同一个文件夹中再打开。 | OK\n")
                             .arg(Package, Missing));
        ASSERT_TRUE(QFile::rename(Missing + QStringLiteral(".away"), Missing));
    }
}

TEST_F(ReceivedPackages, PagesWithCrLineEndsOrAUtf8MarkOpen)
{
    QByteArray Cr = PageBytes(S("CR页"), {QString()});
    Cr.replace("\r\n", "\r");
    TestSupport::WriteAll(Docs.File(QStringLiteral("cr.qbt")), Cr);
    TestSupport::WriteAll(Docs.File(QStringLiteral("utf8.qbt")),
                          "\xEF\xBB\xBF" + Cp936::Decode(PageBytes(S("U8页"), {QString()})).toUtf8());
    for (const char *Name : {"cr.qbt", "utf8.qbt"}) {
        const DriveRun R = RunDrive(Home.Path(), QStringLiteral("wait\nprompts\ncell CellGrid1 5 1\ncell CellGrid1 3 2\nquit\n"),
                                    {Docs.File(QString::fromLatin1(Name))});
        ASSERT_EQ(R.Code, 0) << Name << R.Err.toStdString();
        EXPECT_EQ(R.Out, S("商品1\n1.50\n")) << Name;
    }
}

TEST_F(ReceivedPackages, RepairingAPageWithManyLinesBeforeItsProductsEnds)
{
    // Sixty thousand lines between the header and the products: the repair
    // takes them out one a pass, each pass as cheap as the last.
    QStringList Extra;
    for (int I = 0; I < 60000; ++I)
        Extra << (I % 3 == 0 ? QString() : I % 3 == 1 ? QStringLiteral("/* note %1").arg(I) : QStringLiteral("junk %1").arg(I));
    TestSupport::WriteAll(Docs.File(QStringLiteral("big.qbt")),
                          PageBytes(QStringLiteral("R1"), {QString(), QString()}, Extra));
    const DriveRun R = RunDrive(Home.Path(), QStringLiteral("answer button OK\nwait\nclick QBT1\nwait\nprompts\n"
                                                            "cell CellGrid1 5 7\npage-text\nquit\n"),
                                {Docs.File(QStringLiteral("big.qbt"))});
    ASSERT_EQ(R.Code, 0) << R.Err.toStdString();
    const QStringList Lines = R.Out.split(QLatin1Char('\n'));
    ASSERT_GT(Lines.size(), 30) << R.Out.left(2000).toStdString();
    EXPECT_EQ(Lines.at(0), S("MessageBox | 修复 | 修复结束。 | OK"));
    EXPECT_EQ(Lines.at(1), S("商品2"));
    EXPECT_EQ(Lines.at(2), S("QBT FILE TYPE 2.0"));
    EXPECT_EQ(Lines.at(2 + 23), QStringLiteral("{$1}"));
    EXPECT_LT(Lines.size(), 60) << "the extra lines are gone";
}

TEST_F(ReceivedPackages, APageIdThatCannotNameAFileIsRefusedAndTheDefaultIdPasses)
{
    for (const QString &Id : {S("CAT\"页\""), S("A*B"), S("a|b")}) {
        TestSupport::WriteAll(Docs.File(QStringLiteral("id.qbt")), PageBytes(Id, {QString()}));
        const DriveRun R = RunDrive(Home.Path(), QStringLiteral("answer button OK\nwait\nclick HTML1\nwait\nprompts\nquit\n"),
                                    {Docs.File(QStringLiteral("id.qbt"))});
        ASSERT_EQ(R.Code, 0) << R.Err.toStdString();
        EXPECT_EQ(R.Out, S("MessageBox | 错误 | catalog编号“%1”中含有不能用于文件名的字符（\\ / : * ? \" < > | 或控制字符），"
                           "请修改后再输出。输出终止。 | OK\n")
                             .arg(Id));
        EXPECT_EQ(QDir(Home.File(S("输出"))).entryList(QDir::AllEntries | QDir::NoDotAndDotDot), QStringList());
    }
    // A new page's own ID ("新建目录页" and the date) is published.
    const DriveRun R = RunDrive(Home.Path(), QStringLiteral("wait\nclick Form2.Button5\nwait\nclick N2\nwait\n"
                                                            "set-cell CellGrid1 3 2 9.90\nclick HTML1\nwait\nprompts\nquit\n"));
    ASSERT_EQ(R.Code, 0) << R.Err.toStdString();
    EXPECT_EQ(R.Out, QString());
    const QStringList Made = QDir(Home.File(S("输出"))).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    ASSERT_EQ(Made.size(), 1);
    EXPECT_TRUE(Made.constFirst().startsWith(S("新建目录页"))) << Made.constFirst().toStdString();
}

TEST_F(ReceivedPackages, AnImportedPngBecomesAProduct)
{
    QImage Image(8, 8, QImage::Format_RGB32);
    Image.fill(Qt::blue);
    ASSERT_TRUE(Image.save(Docs.File(QStringLiteral("a.png"))));
    ASSERT_TRUE(Image.save(Docs.File(QStringLiteral("b.jpg"))));
    const DriveRun R = RunDrive(Home.Path(), QStringLiteral("wait\nclick Form2.Button1\nwait\nanswer files %1|%2\n"
                                                            "click SpeedButton3\nwait\ncell CellGrid1 1 6\ncell CellGrid1 1 12\nquit\n")
                                                 .arg(Docs.File(QStringLiteral("a.png")), Docs.File(QStringLiteral("b.jpg"))));
    ASSERT_EQ(R.Code, 0) << R.Err.toStdString();
    EXPECT_EQ(R.Out, Docs.File(QStringLiteral("a.png")) + QLatin1Char('\n') + Docs.File(QStringLiteral("b.jpg"))
                         + QLatin1Char('\n'));
}

TEST_F(ReceivedPackages, TheCompanyDialogFitsAnEightHundredBySixHundredScreen)
{
    const QString Shot = Work.File(QStringLiteral("company.png"));
    const DriveRun R = RunDrive(Home.Path(), QStringLiteral("wait\nclick Form2.Button5\nwait\nclick N18\nscreenshot Form4 %1\n"
                                                            "click Form4.Button2\nwait\nquit\n")
                                                 .arg(Shot));
    ASSERT_EQ(R.Code, 0) << R.Err.toStdString();
    const QImage Image(Shot);
    ASSERT_FALSE(Image.isNull());
    EXPECT_LE(Image.width(), 800);
    EXPECT_LE(Image.height(), 600);
}

TEST_F(ReceivedPackages, HelpFilesOfAReceivedPageAndBookHoldOnlyWhatTheOutputMade)
{
    if (!TestSupport::HaveProgram(QStringLiteral("chmls")))
        GTEST_SKIP() << "chmls is missing";
    // A product's note and a book's own web page link and show files of this
    // disk, by climbing out of wherever the help file is compiled.
    const QString Links = QStringLiteral("<a href=\"%1\">a</a><img src=\"%2\"><a href=\"../../../../etc/passwd\">b</a>")
                              .arg(Climbing(QStringLiteral("secret.txt")), Climbing(QStringLiteral("secret.jpg")));
    QByteArray Page = PageBytes(QStringLiteral("H1"), {QStringLiteral("images\\ok.jpg")});
    Page.replace(Cp936::Encode(S("{$PNOTE}=好")), Cp936::Encode(S("{$PNOTE}=") + Links));
    const QString PagePackage = Zip(QStringLiteral("helppage.qba"), {{QStringLiteral("index.dat"), "index=catalog.qbt\r\ntype=QBT\r\n"},
                                                                     {QStringLiteral("catalog.qbt"), Page},
                                                                     {QStringLiteral("images/ok.jpg"), Picture}});
    auto Listed = [](const QString &Chm) {
        QByteArray Out;
        EXPECT_EQ(TestSupport::RunProgram(QStringLiteral("chmls"), {QStringLiteral("list"), Chm}, &Out), 0) << Chm.toStdString();
        return QString::fromUtf8(Out);
    };
    auto ExpectOnlyOwnFiles = [this](const QString &List) {
        for (const char *Outside : {"secret", "passwd", "/..", "/etc/"})
            EXPECT_FALSE(List.contains(QString::fromLatin1(Outside))) << Outside << "\n" << List.toStdString();
        for (auto It = Before.cbegin(); It != Before.cend(); ++It)
            EXPECT_EQ(Hash(Docs.File(It.key())), It.value()) << It.key().toStdString() << " changed";
    };
    DriveRun R = RunDrive(Home.Path(), QStringLiteral("wait\nclick CHM3\nwait\nprompts\nquit\n"), {PagePackage});
    ASSERT_EQ(R.Code, 0) << R.Err.toStdString();
    EXPECT_EQ(R.Out, QString());
    const QString PageChm = Home.File(S("输出/H1/H1.chm"));
    QString List = Listed(PageChm);
    ExpectOnlyOwnFiles(List);
    EXPECT_TRUE(List.contains(QStringLiteral("/tmpfile.htm"))) << List.toStdString();
    EXPECT_TRUE(List.contains(QStringLiteral("/ok.jpg"))) << List.toStdString();
    // The picture the page shows is in the help file, whole.
    const QString Got = Work.File(QStringLiteral("got.jpg"));
    EXPECT_EQ(TestSupport::RunProgram(QStringLiteral("chmls"), {QStringLiteral("extract"), PageChm, QStringLiteral("/ok.jpg"), Got}), 0);
    EXPECT_EQ(TestSupport::ReadAll(Got), Picture);

    const QByteArray Book = TextBytes({S("Catalog_name=收到的目录册"), S("catalog_index_name="), S("Catalog_Lost_name="),
                                       S("Catalog_Output="), S("Catalog_always_open=false"), S("{$Files}"),
                                       QStringLiteral("p1.qbt"), QStringLiteral("note.htm")});
    const QString BookPackage = Zip(
        QStringLiteral("helpbook.qba"),
        {{QStringLiteral("index.dat"), "index=book.qbs\r\ntype=QBS\r\n"},
         {QStringLiteral("book.qbs"), Book},
         {QStringLiteral("p1.qbt"), Page},
         {QStringLiteral("note.htm"), (QStringLiteral("<html><body>") + Links + QStringLiteral("</body></html>")).toUtf8()},
         {QStringLiteral("images/ok.jpg"), Picture}});
    R = RunDrive(Home.Path(), QStringLiteral("wait\nclick CHM5\nwait\nprompts\nquit\n"), {BookPackage});
    ASSERT_EQ(R.Code, 0) << R.Err.toStdString();
    EXPECT_EQ(R.Out, QString());
    List = Listed(Home.File(S("输出/book/book.chm")));
    ExpectOnlyOwnFiles(List);
    EXPECT_TRUE(List.contains(QStringLiteral("/note.htm"))) << List.toStdString();
    EXPECT_TRUE(List.contains(QStringLiteral("/ok.jpg"))) << List.toStdString();
    EXPECT_TRUE(List.contains(QStringLiteral("/left.htm"))) << List.toStdString();
}

TEST_F(ReceivedPackages, PicturesAndPdfOfAReceivedPageAndBookShowNoFileOfTheDisk)
{
    for (const char *Tool : {"pdfimages"})
        if (!TestSupport::HaveProgram(QString::fromLatin1(Tool)))
            GTEST_SKIP() << Tool << " is missing";
    QImage Red(90, 90, QImage::Format_RGB32);
    Red.fill(Qt::red);
    ASSERT_TRUE(Red.save(Docs.File(QStringLiteral("red.png"))));
    // A picture, a frame and a script's reading of files of this disk, by full
    // address and by climbing out; each sits on the page without taking room.
    const QString Address = QUrl::fromLocalFile(Docs.Path()).toString() + QLatin1Char('/');
    const QString Tries =
        QStringLiteral("<img alt=\"\" src=\"%1red.png\" style=\"position:absolute;left:10px;top:10px\">"
                       "<img alt=\"\" src=\"%2\" style=\"position:absolute;left:110px;top:10px\">"
                       "<iframe src=\"%1secret.htm\" style=\"position:absolute;left:210px;top:10px;width:90px;height:90px;"
                       "border:0;background:transparent\"></iframe>"
                       "<span id=\"leak\" style=\"position:absolute;left:310px;top:10px;font-size:30px;background:red\"></span>"
                       "<script>try{var x=new XMLHttpRequest();x.open('GET','%1secret.txt',false);x.send();"
                       "document.getElementById('leak').textContent=x.responseText;}catch(e){}</script>")
            .arg(Address, Climbing(QStringLiteral("red.png")));

    // Pictures and PDF of a page package with and without them; of a book
    // package whose own web page has them or not.
    auto PageRun = [&](const QString &Note, const QString &Keep) {
        QByteArray Page = PageBytes(QStringLiteral("J1"), {QStringLiteral("images\\ok.jpg")});
        Page.replace(Cp936::Encode(S("{$PNOTE}=好")), Cp936::Encode(S("{$PNOTE}=好") + Note));
        QImage Blue(30, 30, QImage::Format_RGB32);
        Blue.fill(Qt::blue);
        Blue.save(Work.File(QStringLiteral("blue.jpg")));
        const QString Package = Zip(Keep + QStringLiteral(".qba"),
                                    {{QStringLiteral("index.dat"), "index=catalog.qbt\r\ntype=QBT\r\n"},
                                     {QStringLiteral("catalog.qbt"), Page},
                                     {QStringLiteral("images/ok.jpg"), TestSupport::ReadAll(Work.File(QStringLiteral("blue.jpg")))}});
        const DriveRun R = RunDrive(Home.Path(), QStringLiteral("wait\nclick JPG1\nwait\nclick PDFpdf1\nwait\nprompts\nquit\n"),
                                    {Package});
        EXPECT_EQ(R.Code, 0) << R.Err.toStdString();
        EXPECT_EQ(R.Out, QString());
        const QString D = Home.File(S("输出/J1/"));
        QDir().mkpath(Work.File(Keep));
        EXPECT_TRUE(QFile::rename(D + QStringLiteral("J1.jpg"), Work.File(Keep + QStringLiteral("/page.jpg"))));
        EXPECT_TRUE(QFile::rename(D + QStringLiteral("J1.pdf"), Work.File(Keep + QStringLiteral("/page.pdf"))));
    };
    auto BookRun = [&](const QString &Inside, const QString &Keep) {
        const QByteArray Book = TextBytes({S("Catalog_name=收到的书"), S("catalog_index_name="), S("Catalog_Lost_name="),
                                           S("Catalog_Output="), S("Catalog_always_open=false"), S("{$Files}"),
                                           QStringLiteral("note.htm")});
        const QByteArray Note = (QStringLiteral("<html><body><p>NOTE</p>") + Inside + QStringLiteral("</body></html>")).toUtf8();
        const QString Package = Zip(Keep + QStringLiteral("b.qba"), {{QStringLiteral("index.dat"), "index=book.qbs\r\ntype=QBS\r\n"},
                                                                    {QStringLiteral("book.qbs"), Book},
                                                                    {QStringLiteral("note.htm"), Note}});
        const DriveRun R = RunDrive(Home.Path(), QStringLiteral("wait\nclick PDFpdf2\nwait\nprompts\nquit\n"), {Package});
        EXPECT_EQ(R.Code, 0) << R.Err.toStdString();
        EXPECT_EQ(R.Out, QString());
        const QString Pdf = Home.File(S("输出/book/收到的书.pdf"));
        EXPECT_TRUE(QFile::rename(Pdf, Work.File(Keep + QStringLiteral("/book.pdf")))) << Pdf.toStdString();
    };
    PageRun(QString(), QStringLiteral("clean"));
    PageRun(Tries, QStringLiteral("tried"));
    BookRun(QString(), QStringLiteral("clean"));
    BookRun(Tries, QStringLiteral("tried"));

    // The page's own picture shows; the rest is the same picture.
    const QImage Clean(Work.File(QStringLiteral("clean/page.jpg")));
    ASSERT_FALSE(Clean.isNull());
    EXPECT_LE(TestSupport::LargestDifference(Clean, QImage(Work.File(QStringLiteral("tried/page.jpg")))), 8)
        << "the picture shows a file of the disk";
    bool Blue = false;
    for (int Y = 0; Y < Clean.height() && !Blue; Y += 2)
        for (int X = 0; X < Clean.width() && !Blue; X += 2) {
            const QColor C = Clean.pixelColor(X, Y);
            Blue = C.blue() > 200 && C.red() < 60 && C.green() < 60;
        }
    EXPECT_TRUE(Blue) << "the page's own picture is missing";
    // Every page of each PDF, as poppler takes its picture out.
    for (const char *Pdf : {"page.pdf", "book.pdf"}) {
        for (const char *Keep : {"clean", "tried"}) {
            const QString Folder = Work.File(QString::fromLatin1(Keep));
            ASSERT_EQ(TestSupport::RunProgram(QStringLiteral("pdfimages"),
                                              {QStringLiteral("-j"), Folder + QLatin1Char('/') + QString::fromLatin1(Pdf),
                                               Folder + QLatin1Char('/') + QString::fromLatin1(Pdf).left(4)}),
                      0);
        }
        const QStringList Pages = QDir(Work.File(QStringLiteral("clean"))).entryList({QString::fromLatin1(Pdf).left(4) + QStringLiteral("-*")});
        ASSERT_FALSE(Pages.isEmpty()) << Pdf;
        EXPECT_EQ(QDir(Work.File(QStringLiteral("tried"))).entryList({QString::fromLatin1(Pdf).left(4) + QStringLiteral("-*")}), Pages);
        for (const QString &P : Pages)
            EXPECT_LE(TestSupport::LargestDifference(QImage(Work.File(QStringLiteral("clean/") + P)), QImage(Work.File(QStringLiteral("tried/") + P))), 8)
                << Pdf << " " << P.toStdString();
    }
    for (auto It = Before.cbegin(); It != Before.cend(); ++It)
        EXPECT_EQ(Hash(Docs.File(It.key())), It.value()) << It.key().toStdString() << " changed";
}

TEST_F(ReceivedPackages, OutputsOfAReceivedPackageReplaceNoneOfTheUsersFiles)
{
    // The user's own outputs of a page "mine" and a book "mybook", in a folder
    // that a received page and book name as their output folder.
    QMap<QString, QString> Decoys;
    for (const char *Name : {"mine/mine.htm", "mine/mine.zip", "mine/mine.chm", "mine/images/a.jpg", "mybook/mybook.zip",
                             "mybook/index.htm"}) {
        const QString File = Docs.File(QString::fromLatin1(Name));
        QDir().mkpath(QFileInfo(File).absolutePath());
        TestSupport::WriteAll(File, QByteArray("the user's own ") + Name);
        Decoys[File] = Hash(File);
    }
    QMap<QString, QString> Settings;
    for (const QString &F : QDir(Home.Path()).entryList({QStringLiteral("*.dat"), QStringLiteral("*.txt")}, QDir::Files))
        Settings[F] = Hash(Home.File(F));
    auto ExpectUntouched = [&] {
        for (auto It = Decoys.cbegin(); It != Decoys.cend(); ++It)
            EXPECT_EQ(Hash(It.key()), It.value()) << It.key().toStdString() << " changed";
        EXPECT_EQ(QDir(Docs.File(QStringLiteral("mine"))).entryList(QDir::AllEntries | QDir::NoDotAndDotDot).size(), 4);
        EXPECT_EQ(QDir(Docs.File(QStringLiteral("mybook"))).entryList(QDir::AllEntries | QDir::NoDotAndDotDot).size(), 2);
        for (auto It = Settings.cbegin(); It != Settings.cend(); ++It)
            EXPECT_EQ(Hash(Home.File(It.key())), It.value()) << It.key().toStdString() << " changed";
    };
    QByteArray Page = PageBytes(QStringLiteral("mine"), {QStringLiteral("images\\ok.jpg")});
    Page.replace(Cp936::Encode(S("{输出目录}=")), Cp936::Encode(S("{输出目录}=") + Docs.Path()));
    const QString PagePackage = Zip(QStringLiteral("mine.qba"), {{QStringLiteral("index.dat"), "index=catalog.qbt\r\ntype=QBT\r\n"},
                                                                 {QStringLiteral("catalog.qbt"), Page},
                                                                 {QStringLiteral("images/ok.jpg"), Picture}});
    DriveRun R = RunDrive(Home.Path(), QStringLiteral("wait\nclick HTML3\nwait\nclick ZIP3\nwait\nclick CHM3\nwait\nprompts\nquit\n"),
                          {PagePackage});
    ASSERT_EQ(R.Code, 0) << R.Err.toStdString();
    EXPECT_EQ(R.Out, QString());
    ExpectUntouched();
    // The outputs are in the program folder's own output folder.
    const QString Own = Home.File(S("输出/mine/"));
    EXPECT_TRUE(TestSupport::ReadAll(Own + QStringLiteral("mine.htm")).contains("images/ok.jpg"));
    EXPECT_EQ(TestSupport::ReadAll(Own + QStringLiteral("images/ok.jpg")), Picture);
    EXPECT_EQ(TestSupport::RunProgram(QStringLiteral("unzip"), {QStringLiteral("-tqq"), Own + QStringLiteral("mine.zip")}), 0);
    EXPECT_GT(QFileInfo(Own + QStringLiteral("mine.chm")).size(), 0);

    // A folder the user chooses in the page settings is the user's choice.
    const QString Chosen = Work.File(QStringLiteral("chosen"));
    QDir().mkpath(Chosen);
    R = RunDrive(Home.Path(), QStringLiteral("wait\nclick SpeedButton8\nset-cell Form3.CellGrid1 1 13 %1\nclick Form3.Button1\n"
                                             "click HTML3\nwait\nprompts\nquit\n")
                                  .arg(Chosen),
                 {PagePackage});
    ASSERT_EQ(R.Code, 0) << R.Err.toStdString();
    EXPECT_EQ(R.Out, QString());
    EXPECT_TRUE(QFile::exists(Chosen + QStringLiteral("/mine/mine.htm")));
    ExpectUntouched();

    // A book package: its site goes to the program's output folder too.
    const QByteArray Book = TextBytes({S("Catalog_name=收到的目录册"), S("catalog_index_name="), S("Catalog_Lost_name="),
                                       S("Catalog_Output=") + Docs.Path(), S("Catalog_always_open=false"), S("{$Files}"),
                                       QStringLiteral("p1.qbt")});
    const QString BookPackage = Zip(QStringLiteral("mybook.qba"), {{QStringLiteral("index.dat"), "index=mybook.qbs\r\ntype=QBS\r\n"},
                                                                   {QStringLiteral("mybook.qbs"), Book},
                                                                   {QStringLiteral("p1.qbt"), Page},
                                                                   {QStringLiteral("images/ok.jpg"), Picture}});
    R = RunDrive(Home.Path(), QStringLiteral("wait\nclick ZIP5\nwait\nprompts\nquit\n"), {BookPackage});
    ASSERT_EQ(R.Code, 0) << R.Err.toStdString();
    EXPECT_EQ(R.Out, QString());
    EXPECT_EQ(TestSupport::RunProgram(QStringLiteral("unzip"), {QStringLiteral("-tqq"), Home.File(S("输出/mybook/mybook.zip"))}), 0);
    ExpectUntouched();
}

TEST_F(ReceivedPackages, AReceivedBooksPackageAndPicturesGoToItsOutputFolderAndItStaysTheSameBook)
{
    if (!TestSupport::HaveProgram(QStringLiteral("pdfinfo")))
        GTEST_SKIP() << "poppler-utils are not installed";
    // A book as another program packs it: a web page beside the book file,
    // a page in a folder of its own with its pictures beside it.
    QImage Blue(30, 20, QImage::Format_RGB32);
    Blue.fill(Qt::blue);
    ASSERT_TRUE(Blue.save(Work.File(QStringLiteral("blue.jpg"))));
    const QByteArray BluePicture = TestSupport::ReadAll(Work.File(QStringLiteral("blue.jpg")));
    const QStringList Entries{QStringLiteral("p1.qbt"), QStringLiteral("inner.htm"), QStringLiteral("sub\\p2.v2.qbt")};
    const QByteArray Book = TextBytes(QStringList{S("Catalog_name=收到的书"), S("catalog_index_name="), S("Catalog_Lost_name="),
                                                  S("Catalog_Output="), S("Catalog_always_open=false"), S("{$Files}")}
                                      + Entries);
    const QByteArray Inner = "<html><body><p>INNER PAGE</p></body></html>";
    const QString Package = Zip(QStringLiteral("book.qba"), {{QStringLiteral("index.dat"), "index=book.qbs\r\ntype=QBS\r\n"},
                                                             {QStringLiteral("book.qbs"), Book},
                                                             {QStringLiteral("p1.qbt"), PageBytes(QStringLiteral("B1"), {QStringLiteral("images\\ok.jpg")})},
                                                             {QStringLiteral("inner.htm"), Inner},
                                                             {QStringLiteral("sub/p2.v2.qbt"), PageBytes(QStringLiteral("B2"), {QStringLiteral("images\\blue.jpg")})},
                                                             {QStringLiteral("sub/images/blue.jpg"), BluePicture},
                                                             {QStringLiteral("images/ok.jpg"), Picture}});
    const QString Opened = Hash(Package);

    // The package command: the package goes to the book's output folder, as
    // the message says; the package opened stays as it was.
    const QString D = Home.File(S("输出/book/"));
    DriveRun R = RunDrive(Home.Path(), QStringLiteral("wait\nanswer button OK\nclick QBACatalog1\nwait\nprompts\nquit\n"), {Package});
    ASSERT_EQ(R.Code, 0) << R.Err.toStdString();
    EXPECT_EQ(R.Out, S("MessageBox | 输出 | 目录册的qba文件已经输出到“%1book.qba”。\\n打开的qba文件“%2”没有改变。 | OK\n").arg(D, Package));
    EXPECT_EQ(Hash(Package), Opened);
    const QString Made = D + QStringLiteral("book.qba");
    EXPECT_EQ(QDir(D).entryList(QDir::AllEntries | QDir::NoDotAndDotDot), QStringList{QStringLiteral("book.qba")});

    // As python reads it: the book lists its entries as they were, in their
    // order, each file where the book names it.
    const QMap<QString, QByteArray> M = Members(Made);
    QStringList Listed = Cp936::Decode(M.value(QStringLiteral("book.qbs"))).split(QStringLiteral("\r\n"), Qt::SkipEmptyParts);
    Listed = Listed.mid(Listed.indexOf(QStringLiteral("{$Files}")) + 1);
    EXPECT_EQ(Listed, Entries);
    EXPECT_EQ(M.value(QStringLiteral("inner.htm")), Inner);
    EXPECT_TRUE(M.value(QStringLiteral("p1.qbt")).contains("{$IMG}=images\\ok.jpg"));
    EXPECT_TRUE(M.value(QStringLiteral("sub/p2.v2.qbt")).contains("{$IMG}=images\\blue.jpg"));
    EXPECT_EQ(M.value(QStringLiteral("images/ok.jpg")), Picture);
    EXPECT_EQ(M.value(QStringLiteral("sub/images/blue.jpg")), BluePicture);
    ExpectNothingOfTheUsersDisk(Made);

    // Opened again it is the same book: its site has the same pages under
    // the same titles, in the same order, with the same products and pictures.
    auto Site = [&](const QString &Opening) {
        QDir(D).removeRecursively();
        const DriveRun Run = RunDrive(Home.Path(), QStringLiteral("wait\nclick HTML6\nwait\nprompts\nquit\n"), {Opening});
        EXPECT_EQ(Run.Code, 0) << Run.Err.toStdString();
        EXPECT_EQ(Run.Out, QString());
        QStringList Shown;
        static const QRegularExpression Link(QStringLiteral("<a href=\"([^\"]*)\" target=\"right\">(.*)</a>"));
        for (const QString &L : Cp936::Decode(TestSupport::ReadAll(D + QStringLiteral("images/left.htm"))).split(QStringLiteral("\r\n"))) {
            const QRegularExpressionMatch Found = Link.match(L);
            if (!Found.hasMatch())
                continue;
            Shown << Found.captured(2) + QLatin1Char('|') + Hash(D + QStringLiteral("images/") + Found.captured(1));
        }
        return Shown << QDir(D + QStringLiteral("images")).entryList({QStringLiteral("*.jpg")});
    };
    const QString Copy = Work.File(QStringLiteral("again/book.qba"));
    QDir().mkpath(Work.File(QStringLiteral("again")));
    ASSERT_TRUE(QFile::copy(Made, Copy));
    const QStringList First = Site(Package);
    EXPECT_EQ(First.size(), 5) << First.join(QLatin1Char(' ')).toStdString();
    EXPECT_EQ(Site(Copy), First);

    // Pictures and a PDF of the book's web page, chosen in the page list: in
    // the book's output folder after the program has ended.
    QDir(D).removeRecursively();
    R = RunDrive(Home.Path(), QStringLiteral("wait\nselect ListBox1 1\nclick JPG1\nwait\nselect ListBox1 1\nclick PDFpdf1\nwait\n"
                                             "prompts\nshell\nquit\n"),
                 {Package});
    ASSERT_EQ(R.Code, 0) << R.Err.toStdString();
    EXPECT_EQ(R.Out, (QStringLiteral("Open ") + D + QLatin1Char('\n')).repeated(2));
    EXPECT_FALSE(QImage(D + QStringLiteral("inner.jpg")).isNull());
    EXPECT_EQ(TestSupport::RunProgram(QStringLiteral("pdfinfo"), {D + QStringLiteral("inner.pdf")}), 0);
    EXPECT_EQ(QDir(D).entryList(QDir::AllEntries | QDir::NoDotAndDotDot),
              (QStringList{QStringLiteral("inner.jpg"), QStringLiteral("inner.pdf")}));
    // The next output of the book takes the folder as its own.
    R = RunDrive(Home.Path(), QStringLiteral("wait\nclick HTML6\nwait\nprompts\nquit\n"), {Package});
    EXPECT_EQ(R.Code, 0) << R.Err.toStdString();
    EXPECT_EQ(R.Out, QString());
    EXPECT_TRUE(QFileInfo::exists(D + QStringLiteral("index.htm")));
}

TEST_F(ReceivedPackages, OnePagesOutputsReplaceAnothersOnlyWhenTheUserSaysSo)
{
    // Two new pages of one day have one 目录编号. The first is published
    // before and after its first save: it is the same page, nothing is asked.
    const QString First = Docs.File(QStringLiteral("first.qbt"));
    const QString Second = Docs.File(QStringLiteral("second.qbt"));
    const QString Fill = QStringLiteral("set-cell CellGrid1 3 1 A-001\nset-cell CellGrid1 5 1 %1\nset-cell CellGrid1 3 2 9.90\n");
    DriveRun R = RunDrive(Home.Path(), QStringLiteral("wait\nclick Form2.Button1\nwait\n") + Fill.arg(S("茶杯"))
                                           + QStringLiteral("click HTML1\nwait\nanswer file %1\nclick SpeedButton9\nwait\nclick HTML1\nwait\n"
                                                            "expect-prompts 1\npage-text\nquit\n")
                                                 .arg(First));
    ASSERT_EQ(R.Code, 0) << R.Err.toStdString();
    const QString Id = R.Out.section(QLatin1Char('\n'), 1, 1).section(QLatin1Char('='), 1);
    ASSERT_TRUE(Id.startsWith(S("新建目录页"))) << R.Out.toStdString();
    const QString D = Home.File(S("输出/") + Id + QLatin1Char('/'));
    const QString Htm = D + Id + QStringLiteral(".htm");
    ASSERT_TRUE(TestSupport::ReadAll(Htm).contains(Cp936::Encode(S("茶杯"))));
    const QString FirstsPage = Hash(Htm);

    // The second new page asks before it replaces the first page's outputs:
    // 否 leaves them as they were and makes nothing; 是 replaces them. Then
    // it is the page of that folder, before and after its first save.
    const QString Asked = S("MessageBox | 输出 | 输出目录“%1”中的文件是页面“%2”输出的，不是当前页面输出的。\\n"
                            "继续输出将替换其中同名的文件。是否继续？ | %3\n");
    R = RunDrive(Home.Path(), QStringLiteral("wait\nclick Form2.Button1\nwait\n") + Fill.arg(S("茶壶"))
                                  + QStringLiteral("answer button No\nclick HTML1\nwait\nanswer button No\nclick ZIP1\nwait\nprompts\nquit\n"),
                 {});
    ASSERT_EQ(R.Code, 0) << R.Err.toStdString();
    EXPECT_EQ(R.Out, Asked.arg(D.chopped(1), First, QStringLiteral("No")).repeated(2));
    EXPECT_EQ(Hash(Htm), FirstsPage);
    EXPECT_EQ(QDir(D).entryList(QDir::AllEntries | QDir::NoDotAndDotDot).size(), 2) << "the page and its pictures, nothing more";
    R = RunDrive(Home.Path(), QStringLiteral("wait\nclick Form2.Button1\nwait\n") + Fill.arg(S("茶壶"))
                                  + QStringLiteral("answer button Yes\nclick HTML1\nwait\nclick ZIP1\nwait\nanswer file %1\n"
                                                   "click SpeedButton9\nwait\nclick HTML1\nwait\nprompts\nquit\n")
                                        .arg(Second),
                 {});
    ASSERT_EQ(R.Code, 0) << R.Err.toStdString();
    EXPECT_TRUE(R.Out.startsWith(Asked.arg(D.chopped(1), First, QStringLiteral("Yes")))) << R.Out.toStdString();
    EXPECT_EQ(R.Out.count(QLatin1Char('\n')), 2) << R.Out.toStdString();   // and the save dialog
    EXPECT_TRUE(TestSupport::ReadAll(Htm).contains(Cp936::Encode(S("茶壶"))));
    EXPECT_TRUE(QFileInfo(D + Id + QStringLiteral(".zip")).isFile());

    // Opened again, each page is itself: the second publishes without a
    // question, the first asks, and 否 keeps the second's outputs.
    R = RunDrive(Home.Path(), QStringLiteral("wait\nclick ZIP1\nwait\nprompts\nquit\n"), {Second});
    ASSERT_EQ(R.Code, 0) << R.Err.toStdString();
    EXPECT_EQ(R.Out, QString());
    const QString SecondsZip = Hash(D + Id + QStringLiteral(".zip"));
    R = RunDrive(Home.Path(), QStringLiteral("wait\nanswer button No\nclick ZIP1\nwait\nprompts\nquit\n"), {First});
    ASSERT_EQ(R.Code, 0) << R.Err.toStdString();
    EXPECT_EQ(R.Out, S("MessageBox | 输出 | 输出目录“%1”中的文件是页面“%2”输出的，不是当前页面输出的。\\n"
                       "继续输出将替换其中同名的文件。是否继续？ | No\n")
                         .arg(D.chopped(1), Second));
    EXPECT_EQ(Hash(D + Id + QStringLiteral(".zip")), SecondsZip);

    // A received page of the user's page's 目录编号: asked; 否 keeps the
    // user's outputs. Once agreed to, the package's page publishes there again
    // without a question, also when the package is opened again.
    const QString Package = Zip(QStringLiteral("same.qba"), {{QStringLiteral("index.dat"), "index=catalog.qbt\r\ntype=QBT\r\n"},
                                                             {QStringLiteral("catalog.qbt"), PageBytes(Id, {QStringLiteral("images\\ok.jpg")})},
                                                             {QStringLiteral("images/ok.jpg"), Picture}});
    R = RunDrive(Home.Path(), QStringLiteral("wait\nanswer button No\nclick HTML1\nwait\nprompts\nquit\n"), {Package});
    ASSERT_EQ(R.Code, 0) << R.Err.toStdString();
    EXPECT_TRUE(R.Out.contains(S("中的文件是页面“%1”输出的").arg(Second))) << R.Out.toStdString();
    EXPECT_TRUE(TestSupport::ReadAll(Htm).contains(Cp936::Encode(S("茶壶"))));
    EXPECT_FALSE(QFileInfo::exists(D + QStringLiteral("images/ok.jpg")));
    R = RunDrive(Home.Path(), QStringLiteral("wait\nanswer button Yes\nclick HTML1\nwait\nclick ZIP1\nwait\nprompts\nquit\n"), {Package});
    ASSERT_EQ(R.Code, 0) << R.Err.toStdString();
    EXPECT_EQ(R.Out.count(QLatin1Char('\n')), 1) << R.Out.toStdString();
    EXPECT_EQ(TestSupport::ReadAll(D + QStringLiteral("images/ok.jpg")), Picture);
    R = RunDrive(Home.Path(), QStringLiteral("wait\nclick HTML1\nwait\nprompts\nquit\n"), {Package});
    ASSERT_EQ(R.Code, 0) << R.Err.toStdString();
    EXPECT_EQ(R.Out, QString());
    // The user's page says whose outputs they are now.
    R = RunDrive(Home.Path(), QStringLiteral("wait\nanswer button No\nclick HTML1\nwait\nprompts\nquit\n"), {Second});
    ASSERT_EQ(R.Code, 0) << R.Err.toStdString();
    EXPECT_TRUE(R.Out.contains(S("中的文件是qba文件“%1”中的页面输出的").arg(Package))) << R.Out.toStdString();

    // Two books of one file name share their site folder the same way: the
    // received book's site replaces the user's only when the user says so.
    QDir().mkpath(Docs.File(QStringLiteral("books")));
    const QString MyBook = Docs.File(QStringLiteral("books/book.qbs"));
    TestSupport::WriteAll(MyBook, TextBytes({S("Catalog_name=我的书"), S("{$Files}"), First}));
    R = RunDrive(Home.Path(), QStringLiteral("wait\nclick HTML6\nwait\nprompts\nquit\n"), {MyBook});
    ASSERT_EQ(R.Code, 0) << R.Err.toStdString();
    const QString Site = Home.File(S("输出/book/index.htm"));
    const QString MySite = Hash(Site);
    const QString BookPackage = Zip(QStringLiteral("book.qba"), {{QStringLiteral("index.dat"), "index=book.qbs\r\ntype=QBS\r\n"},
                                                                 {QStringLiteral("book.qbs"), TextBytes({S("Catalog_name=收到的书"), S("{$Files}"), QStringLiteral("p.qbt")})},
                                                                 {QStringLiteral("p.qbt"), PageBytes(QStringLiteral("R1"), {QString()})}});
    R = RunDrive(Home.Path(), QStringLiteral("wait\nanswer button No\nclick HTML6\nwait\nprompts\nquit\n"), {BookPackage});
    ASSERT_EQ(R.Code, 0) << R.Err.toStdString();
    EXPECT_EQ(R.Out, S("MessageBox | 输出 | 输出目录“%1”中的文件是目录册“%2”输出的，不是当前目录册输出的。\\n"
                       "继续输出将清空这个目录。是否继续？ | No\n")
                         .arg(Home.File(S("输出/book")), MyBook));
    EXPECT_EQ(Hash(Site), MySite);
    R = RunDrive(Home.Path(), QStringLiteral("wait\nclick HTML6\nwait\nprompts\nquit\n"), {MyBook});
    ASSERT_EQ(R.Code, 0) << R.Err.toStdString();
    EXPECT_EQ(R.Out, QString());
}

TEST_F(ReceivedPackages, AnEditOfAReceivedBookStaysUnsavedUntilItsPackageIsWritten)
{
    const QByteArray Book = TextBytes({S("Catalog_name=收到的书"), S("catalog_index_name="), S("Catalog_Lost_name="),
                                       S("Catalog_Output="), S("Catalog_always_open=false"), S("{$Files}"),
                                       QStringLiteral("p1.qbt"), QStringLiteral("p2.qbt")});
    const QList<QPair<QString, QByteArray>> Contents{
        {QStringLiteral("index.dat"), "index=book.qbs\r\ntype=QBS\r\n"},
        {QStringLiteral("book.qbs"), Book},
        {QStringLiteral("p1.qbt"), PageBytes(QStringLiteral("B1"), {QStringLiteral("images\\ok.jpg"), QStringLiteral("images\\ok.jpg")})},
        {QStringLiteral("p2.qbt"), PageBytes(QStringLiteral("B2"), {QStringLiteral("images\\ok.jpg")})},
        {QStringLiteral("images/ok.jpg"), Picture}};
    const QString Package = Zip(QStringLiteral("book.qba"), Contents);
    const QString Opened = Hash(Package);
    const QString Unsaved = S(" | 有资料修改后尚未保存，是否存盘？ | Cancel");
    const QString Closing = S(" | 该Catalog页面还没保存，没有保存的信息将丢失，是否关闭当前页面？ | No");

    // The save's question about an empty price answered 取消: nothing is
    // written, and closing the window or making a new page asks.
    DriveRun R = RunDrive(Home.Path(),
                          QStringLiteral("wait\nset-cell CellGrid1 3 2 77.70\nset-cell CellGrid1 3 8\nanswer button Cancel\n"
                                         "click SpeedButton9\nwait\nenabled SpeedButton9\nanswer button Cancel\nclick ExitItem\nwait\n"
                                         "enabled SpeedButton9\nanswer button No\nclick N2\nwait\nenabled SpeedButton9\n"
                                         "cell CellGrid1 3 2\nprompts\n"
                                         // Mended, the page saves, and the package holds it.
                                         "set-cell CellGrid1 3 8 2.50\nclick SpeedButton9\nwait\nenabled SpeedButton9\nquit\n"),
                          {Package});
    ASSERT_EQ(R.Code, 0) << R.Err.toStdString();
    QStringList Out = R.Out.split(QLatin1Char('\n'));
    ASSERT_EQ(Out.size(), 9) << R.Out.toStdString();
    EXPECT_EQ(Out.mid(0, 4), (QStringList{QStringLiteral("true"), QStringLiteral("true"), QStringLiteral("true"), QStringLiteral("77.70")}));
    EXPECT_TRUE(Out.at(4).contains(S("第 2 个商品资料的单价为空，")) && Out.at(4).endsWith(QStringLiteral("Cancel")))
        << R.Out.toStdString();
    EXPECT_TRUE(Out.at(5).endsWith(Unsaved)) << R.Out.toStdString();
    EXPECT_TRUE(Out.at(6).endsWith(Closing)) << R.Out.toStdString();
    EXPECT_EQ(Out.at(7), QStringLiteral("false"));
    const QMap<QString, QByteArray> M = Members(Package);
    EXPECT_TRUE(M.value(QStringLiteral("p1.qbt")).contains("{$PPRICE}=77.70\r\n")) << M.value(QStringLiteral("p1.qbt")).toStdString();
    EXPECT_TRUE(M.value(QStringLiteral("p1.qbt")).contains("{$PPRICE}=2.50\r\n"));
    EXPECT_EQ(M.value(QStringLiteral("p2.qbt")), PageBytes(QStringLiteral("B2"), {QStringLiteral("images\\ok.jpg")}));
    EXPECT_EQ(M.value(QStringLiteral("images/ok.jpg")), Picture);
    ASSERT_NE(Hash(Package), Opened);

    // A package that cannot be written (on a disk mounted read-only): the box
    // says so, the page stays unsaved and closing asks.
    const QString Mount = Work.File(QStringLiteral("stick"));
    QDir().mkpath(Mount);
    ASSERT_TRUE(QFile::copy(Zip(QStringLiteral("again.qba"), Contents), Mount + QStringLiteral("/book.qba")));
    const QString OnStick = Hash(Mount + QStringLiteral("/book.qba"));
    if (TestSupport::RunProgram(QStringLiteral("unshare"),
                                {QStringLiteral("-m"), QStringLiteral("sh"), QStringLiteral("-c"),
                                 QStringLiteral("mount --bind \"$1\" \"$1\" && mount -o remount,ro,bind \"$1\""),
                                 QStringLiteral("sh"), Mount})
        != 0)
        GTEST_SKIP() << "no mount namespace with a read-only bind mount here";
    const QString Script = Work.File(QStringLiteral("script.txt"));
    TestSupport::WriteAll(Script, S("wait\nset-cell CellGrid1 3 2 66.60\nanswer button OK\nclick SpeedButton9\nwait\n"
                                    "enabled SpeedButton9\nanswer button Cancel\nclick ExitItem\nwait\nenabled SpeedButton9\n"
                                    "prompts\nquit\n")
                                      .toUtf8());
    QByteArray Ran;
    TestSupport::RunProgram(
        QStringLiteral("unshare"),
        {QStringLiteral("-m"), QStringLiteral("sh"), QStringLiteral("-c"),
         QStringLiteral("mount --bind \"$1\" \"$1\" && mount -o remount,ro,bind \"$1\" && \"$2\" --home \"$3\" \"$4\" -- "
                        "\"$1/book.qba\""),
         QStringLiteral("sh"), Mount, TestSupport::DriverPath(), Home.Path(), Script},
        &Ran, QString(), 300000);
    const QString Text = QString::fromUtf8(Ran);
    EXPECT_TRUE(Text.contains(S("true\ntrue\nMessageBox | 错误 | 保存qba文件失败，可能一个qba文件处于写保护状态。 | OK\n")))
        << Text.toStdString();
    EXPECT_TRUE(Text.contains(Unsaved + QLatin1Char('\n'))) << Text.toStdString();
    EXPECT_EQ(Hash(Mount + QStringLiteral("/book.qba")), OnStick);
}

TEST_F(ReceivedPackages, ThePackageCommandOfABookOpenedFromItsOutputFolderLeavesTheOpenedPackage)
{
    const QByteArray Book = TextBytes({S("Catalog_name=收到的书"), S("catalog_index_name="), S("Catalog_Lost_name="),
                                       S("Catalog_Output="), S("Catalog_always_open=false"), S("{$Files}"), QStringLiteral("p1.qbt")});
    const QString Package = Zip(QStringLiteral("book.qba"),
                                {{QStringLiteral("index.dat"), "index=book.qbs\r\ntype=QBS\r\n"},
                                 {QStringLiteral("book.qbs"), Book},
                                 {QStringLiteral("p1.qbt"), PageBytes(QStringLiteral("B1"), {QStringLiteral("images\\ok.jpg")})},
                                 {QStringLiteral("images/ok.jpg"), Picture}});
    const QString D = Home.File(S("输出/book/"));
    DriveRun R = RunDrive(Home.Path(), QStringLiteral("wait\nanswer button OK\nclick QBACatalog1\nwait\nquit\n"), {Package});
    ASSERT_EQ(R.Code, 0) << R.Err.toStdString();
    const QString Made = D + QStringLiteral("book.qba");
    ASSERT_TRUE(QFileInfo(Made).isFile());
    const QString Before = Hash(Made);

    // Opened from there, its package command would replace the very package
    // that is open: it says so and writes nothing; 保存 is what writes it.
    R = RunDrive(Home.Path(), QStringLiteral("wait\nanswer button OK\nclick QBACatalog1\nwait\nprompts\nquit\n"), {Made});
    ASSERT_EQ(R.Code, 0) << R.Err.toStdString();
    EXPECT_EQ(R.Out, S("MessageBox | 输出 | 目录册的qba文件没有输出：它要输出到“%1”，打开的qba文件“%2”就在这个文件夹中，输出会替换它。\\n"
                       "打开的qba文件只在保存时写入。要另外输出qba文件，请先把打开的qba文件移到其他文件夹再打开。 | OK\n")
                         .arg(D, Made));
    EXPECT_EQ(Hash(Made), Before);
    EXPECT_EQ(QDir(D).entryList(QDir::AllEntries | QDir::NoDotAndDotDot), QStringList{QStringLiteral("book.qba")});

    // The book's other outputs empty that folder first, and leave the package
    // that is open there: closed without a change, it is still on the disk.
    for (const char *Output : {"HTML4", "HTML4"}) {
        R = RunDrive(Home.Path(), QStringLiteral("wait\nclick %1\nwait\nprompts\nquit\n").arg(QLatin1String(Output)), {Made});
        ASSERT_EQ(R.Code, 0) << R.Err.toStdString();
        EXPECT_EQ(R.Out, QString()) << R.Out.toStdString();
        EXPECT_EQ(Hash(Made), Before);
        EXPECT_TRUE(QFileInfo(D + QStringLiteral("index.htm")).isFile());
    }

    // 保存 writes it.
    R = RunDrive(Home.Path(), QStringLiteral("wait\nset-cell CellGrid1 3 2 77.70\nclick SpeedButton9\nwait\nprompts\nquit\n"), {Made});
    ASSERT_EQ(R.Code, 0) << R.Err.toStdString();
    EXPECT_EQ(R.Out, QString());
    EXPECT_TRUE(Members(Made).value(QStringLiteral("p1.qbt")).contains("{$PPRICE}=77.70\r\n"));
}
