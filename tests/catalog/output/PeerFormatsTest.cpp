// The files of the ZIP, MHT, CHM and self-extracting outputs, read back by the
// programs that read them for real.

#include "OutputFixture.h"
#include "catalog/document/Package.h"
#include "catalog/output/ChmCompiler.h"
#include "catalog/output/MhtWriter.h"

#include <QMap>
#include <QProcess>
#include <QRegularExpression>

using namespace OutputFixture;

namespace {

QString RunPeer(const QString &Program, const QStringList &Args, int *Code = nullptr, const QString &Dir = QString())
{
    QByteArray Out;
    const int C = TestSupport::RunProgram(Program, Args, &Out, Dir);
    if (Code)
        *Code = C;
    return QString::fromUtf8(Out);
}

// Splits an MHT file with python's email package: every part's decoded body goes
// to Folder/<n>, and one line per part "n|content-type|location" is printed.
const char *const MhtSplitter = R"PY(
import email, sys, os
from email import policy
msg = email.message_from_bytes(open(sys.argv[1], 'rb').read(), policy=policy.compat32)
assert msg.is_multipart(), 'not multipart'
sys.stdout.buffer.write(('SUBJECT|' + str(email.header.make_header(email.header.decode_header(msg['Subject']))) + '\n').encode('utf-8'))
sys.stdout.buffer.write(('TYPE|' + msg.get_content_type() + '|' + msg.get_param('type') + '\n').encode('utf-8'))
for n, part in enumerate(msg.get_payload()):
    open(os.path.join(sys.argv[2], str(n)), 'wb').write(part.get_payload(decode=True))
    # Header bytes outside ASCII are the page code page's.
    raw = lambda v: v.encode('ascii', 'surrogateescape').decode('gbk')
    headers = dict((k.lower(), v) for k, v in part._headers)
    ctype = ' '.join(str(part.get('Content-Type', '')).split())
    sys.stdout.buffer.write(('%d|%s|%s\n' % (n, ctype, raw(headers['content-location']))).encode('utf-8'))
)PY";

} // namespace

TEST(ZipOutput, ArchiveTestsCleanAndKeepsForeignFiles)
{
    TSample S;
    // What the output folder holds besides: files of the user's, the outputs
    // of earlier runs (a help file, a web archive, a package, a PDF) and a
    // page and pictures an HTML output left, one of them of a product deleted
    // since. None of it is the page's: the ZIP holds the page and the
    // pictures it shows, and leaves every one of them as it was.
    const QMap<QString, QByteArray> Before{
        {QStringLiteral("images/mine.txt"), "keep"},
        // One whose name only ends like a scratch file's is the user's too.
        {QStringLiteral("images/clip.part"), "part of a clip"},
        {QStringLiteral("P001.chm"), "earlier help file"},
        {QStringLiteral("P001.htm.mht"), "earlier web archive"},
        {QStringLiteral("P001.pdf"), "earlier pdf"},
        {QStringLiteral("catalog.qba"), "earlier package"},
        {QStringLiteral("P001.htm"), "the page an HTML output made"},
        {QStringLiteral("images/a.jpg"), "the picture an HTML output made"},
        {QStringLiteral("images/deleted.jpg"), "a product deleted since"},
    };
    for (auto It = Before.cbegin(); It != Before.cend(); ++It) {
        QDir().mkpath(QFileInfo(S.D() + QLatin1Char('/') + It.key()).absolutePath());
        TestSupport::WriteAll(S.D() + QLatin1Char('/') + It.key(), It.value());
    }
    const QString Result = S.Run(omZip);
    const QString Zip = S.D() + QStringLiteral("/P001.zip");
    EXPECT_EQ(Result, Zip + QLatin1Char(' '));
    int Code = -1;
    const QString Test = RunPeer(QStringLiteral("unzip"), {QStringLiteral("-t"), Zip}, &Code);
    EXPECT_EQ(Code, 0) << Test.toStdString();
    QStringList List = RunPeer(QStringLiteral("unzip"), {QStringLiteral("-Z1"), Zip}).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    List.sort();
    // The style's own background is not among them: its page does not show it.
    EXPECT_EQ(List, (QStringList{QStringLiteral("P001.htm"), QStringLiteral("images/a(2).jpg"), QStringLiteral("images/a.jpg"),
                                 QStringLiteral("images/bg.jpg"), QStringLiteral("images/杯子.gif")}))
        << List.join(QLatin1Char(' ')).toStdString();
    // Everything that was there is as it was; the archive stands beside it,
    // written in place once (no scratch archive or temporary file is left).
    for (auto It = Before.cbegin(); It != Before.cend(); ++It)
        EXPECT_EQ(TestSupport::ReadAll(S.D() + QLatin1Char('/') + It.key()), It.value()) << It.key().toStdString();
    EXPECT_EQ(QDir(S.D()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot, QDir::Name),
              (QStringList{QStringLiteral("P001.chm"), QStringLiteral("P001.htm"), QStringLiteral("P001.htm.mht"),
                           QStringLiteral("P001.pdf"), QStringLiteral("P001.zip"), QStringLiteral("catalog.qba"),
                           QStringLiteral("images")}));
    EXPECT_EQ(QDir(S.D() + QStringLiteral("/images")).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot, QDir::Name),
              (QStringList{QStringLiteral("a.jpg"), QStringLiteral("clip.part"), QStringLiteral("deleted.jpg"), QStringLiteral("mine.txt")}));

    // Unpacked, the page and its pictures are the ones the page shows.
    const QString X = S.Temp.File(QStringLiteral("x"));
    QDir().mkpath(X);
    RunPeer(QStringLiteral("unzip"), {QStringLiteral("-q"), Zip, QStringLiteral("-d"), X});
    EXPECT_EQ(TestSupport::ReadAll(X + QStringLiteral("/images/a(2).jpg")), PictureBytes(QStringLiteral("a")));
    EXPECT_EQ(TestSupport::ReadAll(X + QStringLiteral("/images/a.jpg")), PictureBytes(QStringLiteral("other a")));
    EXPECT_TRUE(ReadText(X + QStringLiteral("/P001.htm")).contains(QStringLiteral("茶杯")));

    // A style whose page shows its background takes it in.
    const QString Head = S.Exe + QStringLiteral("html/春天系列/CATA_CN_BEGIN.htm");
    WriteText(Head, LoadLines(Head) << QStringLiteral("<img src=\"images/M_back.jpg\">"));
    S.Run(omZip);
    EXPECT_TRUE(RunPeer(QStringLiteral("unzip"), {QStringLiteral("-Z1"), Zip}).contains(QStringLiteral("images/M_back.jpg")));
}

TEST(ZipOutput, AFileThatCannotBePackedFailsTheArchive)
{
    // A file of the output folder whose name the file system gives in another
    // code page is none of the page's: the archives are made without it and
    // leave it where it is.
    TSample S;
    const TestSupport::RawNamedFile Foreign(S.D(), "\xb2\xe8\xb1\xad.txt");
    const QString Zip = S.D() + QStringLiteral("/P001.zip");
    EXPECT_EQ(S.Run(omZip), Zip + QLatin1Char(' '));
    EXPECT_EQ(RunPeer(QStringLiteral("unzip"), {QStringLiteral("-Z1"), Zip}).count(QLatin1Char('\n')), 5);
    EXPECT_EQ(QDir(S.D()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot), QStringList{QStringLiteral("P001.zip")});
    if (TestSupport::HaveProgram(QStringLiteral("unzipsfx")) && TestSupport::HaveProgram(QStringLiteral("zip"))) {
        EXPECT_EQ(S.Run(omSfx), S.D() + QStringLiteral("/P001.exe "));
        EXPECT_TRUE(S.Errors.isEmpty()) << S.Errors.join(QLatin1Char('\n')).toStdString();
    }
}

TEST(ZipOutput, AnArchiveWhoseFolderGoesWhileItIsWrittenSaysSoInChinese)
{
    // The output folder is removed once the archive has read every file,
    // before it is put in place: the zip library's own text is English.
    for (const int Mode : {int(omZip), int(omPackage)}) {
        SCOPED_TRACE(Mode);
        TSample S;
        bool Removed = false;
        const auto Remove = [&](int Percent) {
            if (!Removed && Percent >= 100) {
                Removed = true;
                QDir(S.D()).removeRecursively();
            }
        };
        S.Hooks.ZipProgress = Remove;
        S.Hooks.WriteQbaPackage = [&](const QString &Folder, const QString &MainFile, const QString &Target, bool IsBook,
                                      QString &Result) { Result = QbaPackage::Write(Folder, MainFile, Target, IsBook, Remove); };
        QString Message;
        try {
            S.Run(Mode);
        } catch (const Exception &E) {
            Message = E.Message();
        }
        EXPECT_TRUE(Removed);
        EXPECT_TRUE(Message.startsWith(QStringLiteral("压缩文件“") + S.D())) << Message.toStdString();
        EXPECT_TRUE(Message.contains(QStringLiteral("文件夹已不存在"))) << Message.toStdString();
        EXPECT_FALSE(Message.contains(QRegularExpression(QStringLiteral("[A-Za-z]{3,} [A-Za-z]{3,}")))) << Message.toStdString();
        EXPECT_FALSE(QFileInfo::exists(S.D()));
    }
}

TEST(ZipOutput, AnArchiveThatCannotBeWrittenNamesTheArchiveAskedFor)
{
    // Something else stands where the output folder was by the time the
    // archive is made: no file can be made there.
    for (const int Mode : {int(omZip), int(omPackage)}) {
        SCOPED_TRACE(Mode);
        TSample S;
        S.Hooks.Cancelled = [&] {
            if (QFileInfo(S.D()).isDir() && QDir().rmdir(S.D()))
                TestSupport::WriteAll(S.D(), "not a folder");
            return false;
        };
        S.Hooks.WriteQbaPackage = [](const QString &Folder, const QString &MainFile, const QString &Target, bool IsBook,
                                     QString &Result) { Result = QbaPackage::Write(Folder, MainFile, Target, IsBook); };
        QString Message;
        try {
            S.Run(Mode);
        } catch (const Exception &E) {
            Message = E.Message();
        }
        const QString Archive = S.D() + (Mode == omZip ? QStringLiteral("/P001.zip") : QStringLiteral("/catalog.qba"));
        EXPECT_TRUE(Message.contains(QStringLiteral("“") + Archive + QStringLiteral("”"))) << Message.toStdString();
        EXPECT_FALSE(Message.contains(QStringLiteral("qbtmp"))) << Message.toStdString();
        EXPECT_EQ(TestSupport::ReadAll(S.D()), QByteArray("not a folder"));
    }
}

TEST(ZipOutput, APictureThatCannotBeOpenedFailsTheArchive)
{
    // A file that is there but that nobody may read (even the superuser, who
    // may read any file of the disk: a write-only attribute of the kernel).
    const QString Unreadable = QStringLiteral("/sys/bus/pci/rescan");
    QFile Probe(Unreadable);
    if (!QFileInfo(Unreadable).isFile() || Probe.open(QIODevice::ReadOnly))
        GTEST_SKIP() << "no unreadable file at hand";
    TSample S;
    S.Page.replaceInStrings(QStringLiteral("{$IMG}=pics\\杯子.gif"), QStringLiteral("{$IMG}=") + Unreadable);
    QString Message;
    try {
        S.Run(omZip);
    } catch (const Exception &E) {
        Message = E.Message();
    }
    EXPECT_TRUE(Message.contains(Unreadable)) << Message.toStdString();
    EXPECT_FALSE(QFileInfo::exists(S.D() + QStringLiteral("/P001.zip")));
}

TEST(ZipOutput, NamesWithWildcardCharactersArePackedAsThemselves)
{
    // "?", "*" and the like are only characters of a name here: the archive
    // holds that file, not every file the name would match as a pattern.
    TSample S;
    TestSupport::WriteAll(S.PageDir + QStringLiteral("pics/what?.gif"), PictureBytes(QStringLiteral("what")));
    TestSupport::WriteAll(S.PageDir + QStringLiteral("pics/whatX.gif"), PictureBytes(QStringLiteral("not listed")));
    S.Page.replaceInStrings(QStringLiteral("{$IMG}=pics\\杯子.gif"), QStringLiteral("{$IMG}=pics\\what?.gif"));
    QDir().mkpath(S.D() + QStringLiteral("/docs"));
    TestSupport::WriteAll(S.D() + QStringLiteral("/docs/a*b.txt"), "star");
    TestSupport::WriteAll(S.D() + QStringLiteral("/docs/aXXb.txt"), "other");
    const QString Zip = S.D() + QStringLiteral("/P001.zip");
    ASSERT_EQ(S.Run(omZip), Zip + QLatin1Char(' '));
    QStringList List = RunPeer(QStringLiteral("unzip"), {QStringLiteral("-Z1"), Zip}).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    List.sort();
    EXPECT_EQ(List, (QStringList{QStringLiteral("P001.htm"), QStringLiteral("images/a(2).jpg"), QStringLiteral("images/a.jpg"),
                                 QStringLiteral("images/bg.jpg"), QStringLiteral("images/what?.gif")}))
        << List.join(QLatin1Char(' ')).toStdString();
    const QString X = S.Temp.File(QStringLiteral("x"));
    QDir().mkpath(X);
    RunPeer(QStringLiteral("unzip"), {QStringLiteral("-q"), Zip, QStringLiteral("-d"), X});
    EXPECT_EQ(TestSupport::ReadAll(X + QStringLiteral("/images/what?.gif")), PictureBytes(QStringLiteral("what")));
    // The output folder's own files are none of the page's, whatever their names.
    EXPECT_EQ(TestSupport::ReadAll(S.D() + QStringLiteral("/docs/a*b.txt")), QByteArray("star"));
}

TEST(MhtOutput, PythonEmailReadsEveryPartBack)
{
    if (!TestSupport::HaveProgram(QStringLiteral("python3")))
        GTEST_SKIP() << "python3 missing";
    TSample S;
    S.Set(QStringLiteral("{Catalog编号}"), QStringLiteral("ABC"));
    // A product whose picture is missing is skipped; a picture two products
    // show goes in once.
    S.Page << QStringLiteral("{$4}") << QStringLiteral("{$IMG}=pics\\gone.jpg") << QStringLiteral("{$PID}=D");
    S.Page << QStringLiteral("{$5}") << QStringLiteral("{$IMG}=pics\\杯子.gif") << QStringLiteral("{$PID}=E");
    int Progress = 0;
    QStringList Captions;
    TPageOutput Out(S.Page, S.PagePath, S.Exe);
    Out.ScratchFolder = S.Exe + QStringLiteral("tmp/1/");
    Out.Hooks.MhtProgress = [&](const QString &C, int P) {
        Captions << C;
        Progress = P;
    };
    QString Result;
    Out.Run(omMht, false, QString(), Result);
    const QString D = S.Root + QStringLiteral("ABC/");
    const QString Mht = D + QStringLiteral("ABC.htm.mht");
    EXPECT_EQ(Result, Mht + QLatin1Char(' '));
    ASSERT_TRUE(QFileInfo(Mht).isFile());
    EXPECT_FALSE(QFileInfo(D + QStringLiteral("ABC.htm")).exists());
    EXPECT_FALSE(QFileInfo(D + QStringLiteral("images")).exists());
    EXPECT_EQ(Progress, 100);
    ASSERT_EQ(Captions.size(), 4);   // a(2).jpg, a.jpg, 杯子.gif and the background
    EXPECT_EQ(Captions.at(0), QStringLiteral("总计文件 4 个，当前正在处理第 1 个。"));

    const QByteArray Raw = TestSupport::ReadAll(Mht);
    EXPECT_TRUE(Raw.contains("Subject: =?gb2312?B?QUJD?=\r\n"));
    EXPECT_TRUE(Raw.contains("\tboundary=\"----=_NextPart_000_0000_01C77F8C.1961B050\"\r\n"));
    EXPECT_TRUE(Raw.endsWith("------=_NextPart_000_0000_01C77F8C.1961B050--\r\n"));

    const QString Py = S.Temp.File(QStringLiteral("split.py"));
    TestSupport::WriteAll(Py, MhtSplitter);
    const QString Parts = S.Temp.File(QStringLiteral("parts"));
    QDir().mkpath(Parts);
    int Code = -1;
    const QString Listing = RunPeer(QStringLiteral("python3"), {Py, Mht, Parts}, &Code);
    ASSERT_EQ(Code, 0) << Listing.toStdString();
    const QStringList Lines = Listing.trimmed().split(QLatin1Char('\n'));
    ASSERT_EQ(Lines.size(), 2 + 5) << Listing.toStdString();
    EXPECT_EQ(Lines.at(0), QStringLiteral("SUBJECT|ABC"));
    EXPECT_EQ(Lines.at(1), QStringLiteral("TYPE|multipart/related|text/html"));
    EXPECT_TRUE(Lines.at(2).startsWith(QStringLiteral("0|text/html;")));
    EXPECT_TRUE(Lines.at(2).endsWith(QLatin1Char('|') + TMhtWriter::BaseUrl));
    // The page part is the page text as written (without its last line end).
    const QByteArray Page = TestSupport::ReadAll(Parts + QStringLiteral("/0"));
    EXPECT_TRUE(Page.contains("src=\"images/a(2).jpg\" width=\"120\""));
    EXPECT_TRUE(Page.startsWith("<!DOCTYPE"));
    // Pictures: decoded equal to their sources, located where the page looks.
    const QList<QPair<QString, QByteArray>> Expected{
        {QStringLiteral("image/jpeg|") + TMhtWriter::BaseUrl + QStringLiteral("images/a.jpg"), PictureBytes(QStringLiteral("other a"))},
        {QStringLiteral("image/jpeg|") + TMhtWriter::BaseUrl + QStringLiteral("images/a(2).jpg"), PictureBytes(QStringLiteral("a"))},
        // Addresses are UTF-8 with its bytes escaped, as a browser asks for them.
        {QStringLiteral("image/gif|") + TMhtWriter::BaseUrl + QStringLiteral("images/%E6%9D%AF%E5%AD%90.gif"), PictureBytes(QStringLiteral("cup"))},
        {QStringLiteral("image/jpeg|") + TMhtWriter::BaseUrl + QStringLiteral("images/bg.jpg"), PictureBytes(QStringLiteral("bg"))},
    };
    for (int I = 0; I < Expected.size(); ++I) {
        EXPECT_EQ(Lines.at(3 + I).section(QLatin1Char('|'), 1), Expected.at(I).first);
        EXPECT_EQ(TestSupport::ReadAll(Parts + QLatin1Char('/') + QString::number(I + 1)), Expected.at(I).second) << I;
    }
}

TEST(MhtOutput, LayoutOfPartsForABookAndUnknownTypes)
{
    TestSupport::TempDir T;
    SaveLines(T.File(QStringLiteral("p.htm")), {QStringLiteral("<html>"), QStringLiteral("</html>")});
    for (const char *Name : {"1.jpeg", "2.JPG", "3.gif"})
        TestSupport::WriteAll(T.File(QString::fromUtf8(Name)), QByteArray(100, 'x'));
    TMhtWriter W;
    W.Chinese = false;
    QList<int> Positions;
    W.OnProgress = [&](const QString &, int P) { Positions << P; };
    QString Result;
    W.Write(T.File(QStringLiteral("p.htm")),
            {T.File(QStringLiteral("1.jpeg")), T.File(QStringLiteral("2.JPG")), T.File(QStringLiteral("3.gif"))}, Result,
            T.File(QStringLiteral("book.mht")));
    EXPECT_EQ(Result, T.File(QStringLiteral("book.mht")));
    EXPECT_EQ(Positions, (QList<int>{66, 83, 100}));
    const QString Text = QString::fromLatin1(TestSupport::ReadAll(Result));
    EXPECT_TRUE(Text.contains(QStringLiteral("\tcharset=\"iso-8859-1\"\r\n")));
    // Base64 of "<html>\r\n</html>" on one line.
    EXPECT_TRUE(Text.contains(QStringLiteral("\r\n\r\nPGh0bWw+DQo8L2h0bWw+\r\n\r\n------=")));
    EXPECT_TRUE(Text.contains(QStringLiteral("Content-Type: image/jpeg\r\nContent-Transfer-Encoding: base64\r\nContent-Location: ")
                              + TMhtWriter::BaseUrl + QStringLiteral("1.jpeg\r\n")));
    EXPECT_TRUE(Text.contains(QStringLiteral("Content-Type: image/jpeg\r\nContent-Transfer-Encoding: base64\r\nContent-Location: ")
                              + TMhtWriter::BaseUrl + QStringLiteral("2.JPG")));
    // Two empty lines between picture parts: one ends a body, one opens the next part.
    EXPECT_TRUE(Text.contains(QStringLiteral("\r\n\r\n\r\n------=_NextPart_000_0000_01C77F8C.1961B050\r\nContent-Type: image/jpeg")));
    // Body lines are 76 characters: 100 bytes "x" give 19 times "eHh4", then the rest.
    EXPECT_TRUE(Text.contains(QStringLiteral("\r\n") + QStringLiteral("eHh4").repeated(19) + QStringLiteral("\r\neHh4")));

    // An empty list: the page part only.
    W.Write(T.File(QStringLiteral("p.htm")), {}, Result, QString());
    EXPECT_EQ(Result, T.File(QStringLiteral("p.htm.mht ")));
    EXPECT_EQ(QString::fromLatin1(TestSupport::ReadAll(T.File(QStringLiteral("p.htm.mht")))).count(QStringLiteral("Content-Location")), 1);
}

TEST(MhtOutput, EveryPartNamesItsType)
{
    // A part without its type is text to a mail reader: each names its own,
    // by the file's extension, else by what the file holds.
    if (!TestSupport::HaveProgram(QStringLiteral("/usr/bin/python3")))
        GTEST_SKIP() << "python3 missing";
    TestSupport::TempDir T;
    SaveLines(T.File(QStringLiteral("p.htm")), {QStringLiteral("<html>"), QStringLiteral("</html>")});
    const QList<QPair<QString, QByteArray>> Files{
        {QStringLiteral("a.png"), QByteArray("\x89PNG\r\n\x1A\n", 8) + QByteArray(40, 'p')},
        {QStringLiteral("b.BMP"), QByteArray("BM") + QByteArray(40, 'b')},
        {QStringLiteral("c.gif"), QByteArray("GIF89a") + QByteArray(40, 'g')},
        {QStringLiteral("d.jpeg"), QByteArray("\xFF\xD8\xFF\xE0", 4) + QByteArray(40, 'j')},
        {QStringLiteral("e.JPG"), QByteArray("\xFF\xD8\xFF\xE0", 4) + QByteArray(40, 'j')},
        {QStringLiteral("f.mp3"), QByteArray("ID3") + QByteArray(40, 'm')},
        {QStringLiteral("g.htm"), QByteArray("<p>frame</p>")},
        // No extension: known by its bytes.
        {QStringLiteral("h"), QByteArray("\x89PNG\r\n\x1A\n", 8) + QByteArray(40, 'q')},
        {QStringLiteral("i.dat"), QByteArray(40, 'z')},
    };
    QStringList Paths;
    for (const auto &F : Files) {
        TestSupport::WriteAll(T.File(F.first), F.second);
        Paths << T.File(F.first);
    }
    TMhtWriter W;
    QString Result;
    W.Write(T.File(QStringLiteral("p.htm")), Paths, Result, T.File(QStringLiteral("book.mht")));
    const QString Py = QStringLiteral(
        "import email,sys\n"
        "m=email.message_from_binary_file(open(sys.argv[1],'rb'))\n"
        "for p in m.get_payload()[1:]:\n"
        "    print(p['Content-Location'].rsplit('/',1)[-1]+'|'+p.get_content_type()+'|'+str(len(p.get_payload(decode=True))))\n");
    QByteArray Out;
    const int Code = TestSupport::RunProgram(QStringLiteral("/usr/bin/python3"), {QStringLiteral("-c"), Py, Result}, &Out);
    ASSERT_EQ(Code, 0) << Out.toStdString();
    const QStringList Types{QStringLiteral("image/png"), QStringLiteral("image/bmp"), QStringLiteral("image/gif"),
                            QStringLiteral("image/jpeg"), QStringLiteral("image/jpeg"), QStringLiteral("audio/mpeg"),
                            QStringLiteral("text/html"), QStringLiteral("image/png"), QStringLiteral("application/octet-stream")};
    QStringList Expected;
    for (int I = 0; I < Files.size(); ++I)
        Expected << Files.at(I).first + QLatin1Char('|') + Types.at(I) + QLatin1Char('|') + QString::number(Files.at(I).second.size());
    EXPECT_EQ(QString::fromUtf8(Out).split(QLatin1Char('\n'), Qt::SkipEmptyParts), Expected) << Out.toStdString();
}

TEST(MhtOutput, SubjectOfTraditionalAndRareCharactersReadsBack)
{
    // A reader decodes a gb2312 word strictly: traditional characters, which
    // code page 936 holds and GB2312 does not, need a label that has them.
    const QStringList Names{QStringLiteral("产品目录（２００７）"), QStringLiteral("臺灣喆產品"), QStringLiteral("春天😀𠀀"),
                            QStringLiteral("目录") + QString(40, QChar(0x81FA)) /* 臺 */};
    QStringList Headers;
    for (const QString &Name : Names)
        Headers << TMhtWriter::SubjectHeader(Name);
    // Simplified characters and full-width digits keep the gb2312 label.
    EXPECT_TRUE(Headers.at(0).startsWith(QStringLiteral("Subject: =?gb2312?B?"))) << Headers.at(0).toStdString();
    TestSupport::TempDir T;
    const QString In = T.File(QStringLiteral("subjects.txt"));
    TestSupport::WriteAll(In, Headers.join(QStringLiteral("\n=====\n")).toLatin1());
    const QString Py = QStringLiteral(
        "import email.header,sys\n"
        "for h in open(sys.argv[1], newline='').read().split('\\n=====\\n'):\n"
        "    h=h[len('Subject: '):].replace('\\r\\n\\t',' ')\n"
        "    sys.stdout.buffer.write((str(email.header.make_header(email.header.decode_header(h)))+'\\n').encode('utf-8'))\n");
    QByteArray Out;
    const int Code = TestSupport::RunProgram(QStringLiteral("/usr/bin/python3"), {QStringLiteral("-c"), Py, In}, &Out);
    ASSERT_EQ(Code, 0) << Out.toStdString();
    EXPECT_EQ(QString::fromUtf8(Out).split(QLatin1Char('\n'), Qt::SkipEmptyParts), Names);
}

TEST(ChmOutput, HelpFileListsThePageAndPictures)
{
    if (!TestSupport::HaveProgram(QStringLiteral("chmcmd")) || !TestSupport::HaveProgram(QStringLiteral("chmls")))
        GTEST_SKIP() << "help compiler tools missing";
    TSample S;
    const QString Result = S.Run(omChm);
    EXPECT_EQ(Result, QString());
    EXPECT_TRUE(S.Errors.isEmpty()) << S.Errors.join(QLatin1Char('\n')).toStdString();
    const QString Chm = S.D() + QStringLiteral("/P001.chm");
    ASSERT_TRUE(QFileInfo(Chm).size() > 0);
    const QString List = RunPeer(QStringLiteral("chmls"), {QStringLiteral("list"), Chm});
    // Each at the top of the help file, where the page names it.
    for (const char *M : {" /tmpfile.htm", " /a.jpg", " /a(2).jpg", " /杯子.gif", " /bg.jpg"})
        EXPECT_TRUE(List.contains(QString::fromUtf8(M))) << M << "\n" << List.toStdString();
    // Pictures were not copied beside the page, and the page names them bare.
    EXPECT_FALSE(QFileInfo(S.D() + QStringLiteral("/images/a.jpg")).exists());
    EXPECT_TRUE(ReadText(S.Exe + QStringLiteral("tmp/1/tmpfile.htm")).contains(QStringLiteral("src=\"a(2).jpg\"")));
    const QStringList Project = LoadLines(S.Exe + QStringLiteral("tmp/1/tmpchm.hhp"));
    EXPECT_EQ(Project.at(3), QStringLiteral("Compiled file=") + Chm);
    EXPECT_EQ(Project.at(8), QStringLiteral("Language=0x804 中文(中国)"));
    EXPECT_EQ(Project.at(11), QStringLiteral("WindowName=\"P001\",,,,,,,,,,,0x2040,[0,0,1024,739],0x1020000,,,,,,0"));
    EXPECT_EQ(Project.at(13), QStringLiteral("[FILES]"));

    // Pictures whose names begin or end with a blank go in under names the
    // compiler takes, and the page names them so.
    TestSupport::WriteAll(S.PageDir + QStringLiteral("pics/trail.jpg "), PictureBytes(QStringLiteral("trail")));
    TestSupport::WriteAll(S.PageDir + QStringLiteral("pics/ lead.jpg"), PictureBytes(QStringLiteral("lead")));
    S.Page.replace(S.Page.indexOf(QStringLiteral("{$IMG}=pics\\a.jpg")), QStringLiteral("{$IMG}=pics\\trail.jpg "));
    S.Page.replace(S.Page.indexOf(QStringLiteral("{$IMG}=more\\a.jpg")), QStringLiteral("{$IMG}=pics\\ lead.jpg"));
    S.Errors.clear();
    S.Run(omChm);
    EXPECT_TRUE(S.Errors.isEmpty()) << S.Errors.join(QLatin1Char('\n')).toStdString();
    const QString Blanks = RunPeer(QStringLiteral("chmls"), {QStringLiteral("list"), Chm});
    for (const char *M : {" /trail.jpg\n", " /lead.jpg\n", " /tmpfile.htm\n"})
        EXPECT_TRUE(Blanks.contains(QString::fromUtf8(M))) << M << "\n" << Blanks.toStdString();
    const QString Page = ReadText(S.Exe + QStringLiteral("tmp/1/tmpfile.htm"));
    EXPECT_TRUE(Page.contains(QStringLiteral("src=\"trail.jpg\"")) && Page.contains(QStringLiteral("src=\"lead.jpg\"")))
        << Page.toStdString();
}

TEST(ChmOutput, FailedCompileSaysSoAndLeavesNoFile)
{
    TSample S;
    const QString Chm = S.D() + QStringLiteral("/P001.chm");
    QDir().mkpath(S.D());
    TestSupport::WriteAll(Chm, "old help file");
    // A compiler that exits 0 but writes nothing, then one that fails.
    for (const QString &Fake : {QStringLiteral("/bin/true"), QStringLiteral("/bin/false")}) {
        TChmCompiler::SetCompilerOverride(Fake);
        S.Errors.clear();
        EXPECT_EQ(S.Run(omChm), QString());
        // Why, and which help file: never only that it failed.
        ASSERT_EQ(S.Errors.size(), 1);
        EXPECT_TRUE(S.Errors.first().startsWith(QStringLiteral("CHM 文件“") + Chm + QStringLiteral("”编译失败：CHM 编译程序 ")))
            << S.Errors.first().toStdString();
        EXPECT_TRUE(S.Errors.first().contains(Fake == QLatin1String("/bin/true") ? QStringLiteral("没有生成帮助文件")
                                                                                 : QStringLiteral("退出代码 1")))
            << S.Errors.first().toStdString();
        EXPECT_EQ(TestSupport::ReadAll(Chm), QByteArray("old help file"));
    }

    // Files of the project that are copies (a picture that went before the
    // compile, one of a name the compiler cannot take) are named as the user
    // knows them, with the cause; no copy is.
    TChmCompiler &Compiler = ChmCompilerInstance();
    const QString Gone = S.PageDir + QStringLiteral("pics/bg.jpg");
    TestSupport::TempDir T;
    SaveLines(T.File(QStringLiteral("page.htm")), {QStringLiteral("<html><body>页</body></html>")});
    TestSupport::WriteAll(T.File(QStringLiteral("copy.jpg ")), "x");
    SaveLines(T.File(QStringLiteral("x.hhp")), {QStringLiteral("[OPTIONS]"), QStringLiteral("Compiled file=x.chm"), QString(),
                                               QStringLiteral("[FILES]"), QStringLiteral("page.htm"),
                                               QStringLiteral("copy.jpg "), QStringLiteral("gone.jpg")});
    Compiler.Origins.insert(T.File(QStringLiteral("copy.jpg ")), S.PageDir + QStringLiteral("pics/trail.jpg "));
    Compiler.Origins.insert(T.File(QStringLiteral("gone.jpg")), Gone);
    EXPECT_FALSE(Compiler.Compile(T.File(QStringLiteral("x.hhp")), {}));
    Compiler.Origins.clear();
    EXPECT_EQ(ChmFailureMessage(Compiler),
              QStringLiteral("CHM 文件编译失败。\r\n以下文件不能复制：\r\n") + S.PageDir
                  + QStringLiteral("pics/trail.jpg （文件名以空格开始或结束，CHM 编译程序不能接受）\r\n") + Gone
                  + QStringLiteral("（文件不存在）"));
    EXPECT_FALSE(QFileInfo::exists(T.File(QStringLiteral("x.chm"))));
    TChmCompiler::SetCompilerOverride(QString());
}

TEST(SelfExtractingOutput, RunsInAnEmptyFolder)
{
    if (!TestSupport::HaveProgram(QStringLiteral("unzipsfx")) || !TestSupport::HaveProgram(QStringLiteral("zip")))
        GTEST_SKIP() << "self-extractor tools missing";
    TSample S;
    const QString Result = S.Run(omSfx);
    const QString Exe = S.D() + QStringLiteral("/P001.exe");
    ASSERT_EQ(Result, Exe + QLatin1Char(' ')) << S.Errors.join(QLatin1Char('\n')).toStdString();
    EXPECT_FALSE(QFileInfo(S.D() + QStringLiteral("/catalog2.htm")).exists());
    const QString Empty = S.Temp.File(QStringLiteral("run"));
    QDir().mkpath(Empty);
    int Code = -1;
    const QString Out = RunPeer(Exe, {}, &Code, Empty);
    EXPECT_EQ(Code, 0) << Out.toStdString();
    EXPECT_TRUE(ReadText(Empty + QStringLiteral("/catalog2.htm")).contains(QStringLiteral("茶杯")));
    EXPECT_EQ(TestSupport::ReadAll(Empty + QStringLiteral("/images/a.jpg")), PictureBytes(QStringLiteral("other a")));
}

TEST(ChmCompilerDriver, StagesRelativeAndDuplicateNamesAndReportsEachLine)
{
    if (!TestSupport::HaveProgram(QStringLiteral("chmcmd")) || !TestSupport::HaveProgram(QStringLiteral("chmls")))
        GTEST_SKIP() << "help compiler tools missing";
    TChmCompiler::SetCompilerOverride(QString());
    EXPECT_THROW(ChmCompilerLogCallback(QStringLiteral("x")), Exception);   // no instance yet
    TestSupport::TempDir T;
    TestSupport::TempDir Elsewhere;
    QDir().mkpath(T.File(QStringLiteral("one")));
    QDir().mkpath(T.File(QStringLiteral("two")));
    SaveLines(T.File(QStringLiteral("page.htm")), {QStringLiteral("<html><body>页</body></html>")});
    TestSupport::WriteAll(T.File(QStringLiteral("one/p.gif")), "GIF89a one");
    TestSupport::WriteAll(T.File(QStringLiteral("two/p.gif")), "GIF89a two");
    TestSupport::WriteAll(Elsewhere.File(QStringLiteral("p.gif")), "GIF89a three");
    TestSupport::WriteAll(Elsewhere.File(QStringLiteral("q.gif")), "GIF89a four");
    const QStringList Head{QStringLiteral("[OPTIONS]"), QStringLiteral("Compiled file=out/x.chm"),
                           QStringLiteral("Default topic=page.htm"), QString(), QStringLiteral("[FILES]"),
                           QStringLiteral("one/p.gif"), T.File(QStringLiteral("two/p.gif")),
                           Elsewhere.File(QStringLiteral("p.gif")), Elsewhere.File(QStringLiteral("q.gif"))};
    QDir().mkpath(T.File(QStringLiteral("out")));

    // A listed file that cannot be taken fails the compile, and is named.
    SaveLines(T.File(QStringLiteral("x.hhp")), QStringList(Head) << QStringLiteral("gone.jpg"));
    QStringList Log, Progress;
    ChmCompilerInstance().OnLog = [&](const QString &L) { Log << L; };
    EXPECT_FALSE(ChmCompilerInstance().Compile(T.File(QStringLiteral("x.hhp")), {}));
    EXPECT_EQ(ChmCompilerInstance().FailedFiles(), QStringList{QStringLiteral("gone.jpg")});
    EXPECT_TRUE(Log.contains(QStringLiteral("不能复制文件：gone.jpg"))) << Log.join(QLatin1Char('\n')).toStdString();
    EXPECT_FALSE(QFileInfo::exists(T.File(QStringLiteral("out/x.chm"))));

    // Files below the project's folder keep their sub-folders; others go to
    // the top, a taken name getting a number.
    SaveLines(T.File(QStringLiteral("x.hhp")), Head);
    EXPECT_TRUE(ChmCompilerInstance().Compile(T.File(QStringLiteral("x.hhp")), [&](const QString &L) { Progress << L; }));
    ChmCompilerInstance().OnLog = nullptr;
    EXPECT_TRUE(ChmCompilerInstance().FailedFiles().isEmpty());
    EXPECT_FALSE(Progress.isEmpty());
    const QString List = RunPeer(QStringLiteral("chmls"), {QStringLiteral("list"), T.File(QStringLiteral("out/x.chm"))});
    for (const char *M : {"/page.htm", "/one/p.gif", "/two/p.gif", "/p.gif", "/q.gif"})
        EXPECT_TRUE(List.contains(QString::fromUtf8(M))) << M << List.toStdString();
}

TEST(ChmCompilerDriver, ContentsFileOfTheProjectGoesIntoTheHelpFile)
{
    if (!TestSupport::HaveProgram(QStringLiteral("chmcmd")) || !TestSupport::HaveProgram(QStringLiteral("chmls")))
        GTEST_SKIP() << "help compiler tools missing";
    TChmCompiler::SetCompilerOverride(QString());
    TestSupport::TempDir T;
    SaveLines(T.File(QStringLiteral("page.htm")), {QStringLiteral("<html><body>页</body></html>")});
    // The book's table of contents is named by the options, not listed among the files.
    SaveLines(T.File(QStringLiteral("Contents.hhc")),
              {QStringLiteral("<HTML><BODY><UL>"), QStringLiteral("\t<LI> <OBJECT type=\"text/sitemap\">"),
               QStringLiteral("\t\t<param name=\"Name\" value=\"页\">"),
               QStringLiteral("\t\t<param name=\"Local\" value=\"page.htm\">"),
               QStringLiteral("\t\t</OBJECT>"), QStringLiteral("</UL></BODY></HTML>")});
    SaveLines(T.File(QStringLiteral("x.hhp")),
              {QStringLiteral("[OPTIONS]"), QStringLiteral("Compiled file=x.chm"),
               QStringLiteral("Contents file=Contents.hhc"), QStringLiteral("Default topic=page.htm"),
               QString(), QStringLiteral("[FILES]"), QStringLiteral("page.htm")});
    ASSERT_TRUE(ChmCompilerInstance().Compile(T.File(QStringLiteral("x.hhp")), {}));
    const QString List = RunPeer(QStringLiteral("chmls"), {QStringLiteral("list"), T.File(QStringLiteral("x.chm"))});
    EXPECT_TRUE(List.contains(QStringLiteral("/Contents.hhc"))) << List.toStdString();
}

TEST(OutputProgress, ReportedToTheEndAndCancelledWithNothingLeft)
{
    TSample S;
    auto Make = [&S](QList<int> &Positions, const std::function<bool(const QString &Caption)> &Stop) {
        auto Out = std::make_unique<TPageOutput>(S.Page, S.PagePath, S.Exe);
        Out->ScratchFolder = S.Exe + QStringLiteral("tmp/1/");
        auto Caption = std::make_shared<QString>();
        Out->Hooks.Progress = [&Positions, Caption](const QString &C, int P) {
            Positions << P;
            *Caption = C;
        };
        Out->Hooks.MhtProgress = Out->Hooks.Progress;
        Out->Hooks.Cancelled = [Stop, Caption] { return Stop(*Caption); };
        return Out;
    };
    // The ZIP output: from 0 through the copies and the packing to 100.
    QList<int> Positions;
    QString Result;
    Make(Positions, [](const QString &) { return false; })->Run(omZip, false, QString(), Result);
    ASSERT_FALSE(Positions.isEmpty());
    EXPECT_EQ(Positions.first(), 0);
    EXPECT_EQ(Positions.last(), 100);
    EXPECT_TRUE(std::is_sorted(Positions.begin(), Positions.end()));
    QDir(S.D()).removeRecursively();

    // Cancelled while packing, while copying, while writing the web archive:
    // the output ends and leaves no folder, page or archive behind.
    // (The archives pack the pictures from where they are; the HTML folder copies them.)
    for (const auto &[Mode, When] : {std::pair{int(omZip), QStringLiteral("正在压缩")},
                                     std::pair{int(omHtml), QStringLiteral("总计图片")},
                                     std::pair{int(omMht), QStringLiteral("总计文件")}}) {
        Positions.clear();
        Result.clear();
        auto Out = Make(Positions, [When](const QString &C) { return C.startsWith(When); });
        EXPECT_THROW(Out->Run(Mode, false, QString(), Result), EAbort) << When.toStdString();
        EXPECT_TRUE(Result.isEmpty());
        EXPECT_FALSE(QFileInfo::exists(S.D())) << When.toStdString();
    }
}

TEST(ChmCompilerDriver, AWindowsDrivePathForTheHelpFileIsRefusedWithAMessage)
{
    // A compiler that would report success: the refusal comes before it runs.
    TChmCompiler::SetCompilerOverride(QStringLiteral("/bin/true"));
    TestSupport::TempDir T;
    SaveLines(T.File(QStringLiteral("page.htm")), {QStringLiteral("<html><body>页</body></html>")});
    SaveLines(T.File(QStringLiteral("x.hhp")),
              {QStringLiteral("[OPTIONS]"), QStringLiteral("Compiled file=D:\\帮助\\x.chm"),
               QStringLiteral("Default topic=page.htm"), QString(), QStringLiteral("[FILES]"), QStringLiteral("page.htm")});
    TChmCompiler &Compiler = ChmCompilerInstance();
    QStringList Log;
    Compiler.OnLog = [&Log](const QString &L) { Log << L; };
    EXPECT_FALSE(Compiler.Compile(T.File(QStringLiteral("x.hhp")), {}));
    Compiler.OnLog = nullptr;
    EXPECT_EQ(ChmFailureMessage(Compiler),
              QStringLiteral("帮助文件不能保存到 Windows 驱动器路径 D:\\帮助\\x.chm，请选择本机上的输出目录。"));
    EXPECT_EQ(Log, QStringList{ChmFailureMessage(Compiler)});
    EXPECT_TRUE(QDir(T.Path()).entryList(QDir::Dirs | QDir::NoDotAndDotDot).isEmpty()) << "no folder named after the drive";
    TChmCompiler::SetCompilerOverride(QString());
}

TEST(ChmCompilerDriver, TheNewHelpFileReplacesTheOldInOneStepAndTouchesNoOtherFile)
{
    TestSupport::TempDir T;
    // A compiler that writes its help file where it is run.
    const QString Fake = T.File(QStringLiteral("fake-compiler"));
    TestSupport::WriteAll(Fake, "#!/bin/sh\nprintf 'new help file' > output.chm\n");
    QFile::setPermissions(Fake, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    TChmCompiler::SetCompilerOverride(Fake);
    SaveLines(T.File(QStringLiteral("page.htm")), {QStringLiteral("<html><body>页</body></html>")});
    SaveLines(T.File(QStringLiteral("x.hhp")), {QStringLiteral("[OPTIONS]"), QStringLiteral("Compiled file=x.chm"),
                                               QString(), QStringLiteral("[FILES]"), QStringLiteral("page.htm")});
    TestSupport::WriteAll(T.File(QStringLiteral("x.chm")), "old help file");
    // A file of the user's that only looks like a piece of the help file.
    TestSupport::WriteAll(T.File(QStringLiteral("x.chm.part")), "mine");
    TChmCompiler &Compiler = ChmCompilerInstance();
    EXPECT_TRUE(Compiler.Compile(T.File(QStringLiteral("x.hhp")), {})) << Compiler.Refusal().toStdString();
    EXPECT_EQ(TestSupport::ReadAll(T.File(QStringLiteral("x.chm"))), QByteArray("new help file"));
    EXPECT_EQ(TestSupport::ReadAll(T.File(QStringLiteral("x.chm.part"))), QByteArray("mine"));
    QStringList Left = QDir(T.Path()).entryList(QDir::Files | QDir::Hidden);
    Left.sort();
    EXPECT_EQ(Left, (QStringList{QStringLiteral("fake-compiler"), QStringLiteral("page.htm"), QStringLiteral("x.chm"),
                                 QStringLiteral("x.chm.part"), QStringLiteral("x.hhp")}));
    TChmCompiler::SetCompilerOverride(QString());
}

TEST(ChmCompilerDriver, TheHelpFileIsPutTogetherInTheProgramsScratchFolder)
{
    // The compiler works on copies of every file of the project (a whole book
    // with its pictures): they go below the program's own scratch folder, not
    // into the system's temporary folder, and are gone afterwards.
    TestSupport::TempDir T;
    const QString Fake = T.File(QStringLiteral("fake-compiler"));
    const QString Where = T.File(QStringLiteral("where.txt"));
    TestSupport::WriteAll(Fake, "#!/bin/sh\npwd -P > '" + Where.toUtf8() + "'\nprintf 'help' > output.chm\n");
    QFile::setPermissions(Fake, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    TChmCompiler::SetCompilerOverride(Fake);
    SaveLines(T.File(QStringLiteral("page.htm")), {QStringLiteral("<html><body>页</body></html>")});
    SaveLines(T.File(QStringLiteral("x.hhp")), {QStringLiteral("[OPTIONS]"), QStringLiteral("Compiled file=x.chm"),
                                               QString(), QStringLiteral("[FILES]"), QStringLiteral("page.htm")});
    TChmCompiler &Compiler = ChmCompilerInstance();
    EXPECT_TRUE(Compiler.Compile(T.File(QStringLiteral("x.hhp")), {})) << Compiler.Refusal().toStdString();
    TChmCompiler::SetCompilerOverride(QString());
    const QString Stage = QString::fromUtf8(TestSupport::ReadAll(Where)).trimmed();
    const QString Scratch = QFileInfo(ScratchFolder()).canonicalFilePath();
    EXPECT_TRUE(Stage.startsWith(Scratch + QLatin1Char('/'))) << Stage.toStdString() << " outside " << Scratch.toStdString();
    EXPECT_FALSE(QFileInfo::exists(Stage)) << Stage.toStdString();
    EXPECT_EQ(TestSupport::ReadAll(T.File(QStringLiteral("x.chm"))), QByteArray("help"));
}
