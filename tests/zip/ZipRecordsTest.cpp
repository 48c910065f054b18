// Header records, end records, member lists and the buffered stream.

#include "ZipTestUtil.h"
#include "platform/core/ComponentStream.h"
#include "platform/core/FileUtils.h"
#include "zip/UnZipper.h"
#include "zip/ZipObj.h"
#include "zip/ZipStreams.h"
#include "zip/Zipper.h"

#include <QDir>
#include <QTemporaryDir>

using namespace ZipTest;

namespace {

quint16 U16(const QByteArray &B, int At) { return quint16(uchar(B[At]) | (uchar(B[At + 1]) << 8)); }
quint32 U32(const QByteArray &B, int At) { return quint32(U16(B, At)) | (quint32(U16(B, At + 2)) << 16); }

QByteArray LocalOf(TZipHeaderInfo &H)
{
    TMemoryStream M;
    H.WriteLocalHeader(&M);
    return M.Bytes();
}

QByteArray CentralOf(TZipHeaderInfo &H, TStream *ExtraSource = nullptr)
{
    TMemoryStream M;
    H.WriteCentralHeader(&M, ExtraSource);
    return M.Bytes();
}

// A stream whose writes fail after Limit bytes.
class FullDisk : public TMemoryStream {
public:
    explicit FullDisk(qint64 Limit) : FLimit(Limit) {}
    qint64 Write(const void *Buffer, qint64 Count) override
    {
        const qint64 N = std::min(Count, std::max<qint64>(0, FLimit - Size()));
        return TMemoryStream::Write(Buffer, N);
    }

private:
    qint64 FLimit;
};

// A stream that cannot move past Limit (a pipe, a device, an offset the
// file system refuses): the seek fails and the position stays.
class ShortSeek : public TMemoryStream {
public:
    explicit ShortSeek(qint64 Limit) : FLimit(Limit) {}
    qint64 Seek(qint64 Offset, TSeekOrigin Origin) override
    {
        const qint64 Here = TMemoryStream::Seek(0, soCurrent);
        const qint64 To = Origin == soBeginning ? Offset : Origin == soCurrent ? Here + Offset : Size() + Offset;
        if (To < 0 || To > FLimit)
            return -1;
        return TMemoryStream::Seek(To, soBeginning);
    }

private:
    qint64 FLimit;
};

// Objects and lists for streaming through the filer.
class TPriceLine : public TObject, public TStreamable {
public:
    int Code = 0;
    QString Name;
    double Price = 0;
    QString StreamClassName() const override { return QStringLiteral("TPriceLine"); }
    void DefineProperties(TFiler &F) override
    {
        F.Integer(QStringLiteral("Code"), Code);
        F.String(QStringLiteral("Name"), Name);
        F.Float(QStringLiteral("Price"), Price);
    }
};

class TUnlistedLine : public TPriceLine {
public:
    QString StreamClassName() const override { return QStringLiteral("TUnlistedLine"); }
};

class TLinesByCode : public TSortedObjectList {
public:
    using TSortedObjectList::TSortedObjectList;
    int Compare(const TObject *Item, const TObject *Key) const override
    {
        return static_cast<const TPriceLine *>(Item)->Code - static_cast<const TPriceLine *>(Key)->Code;
    }
};

class TLinesHolder : public TComponent, public TStreamable {
public:
    TObjectList Plain;
    TLinesByCode Sorted{1};
    QString StreamClassName() const override { return QStringLiteral("TLinesHolder"); }
    void DefineProperties(TFiler &F) override
    {
        F.PushPrefix(QStringLiteral("Plain"));
        Plain.DefineProperties(F);
        F.PopPrefix();
        F.PushPrefix(QStringLiteral("Sorted"));
        Sorted.DefineProperties(F);
        F.PopPrefix();
    }
};

TPriceLine *Line(int Code, const char *Name, double Price, TPriceLine *L = new TPriceLine)
{
    L->Code = Code;
    L->Name = QString::fromUtf8(Name);
    L->Price = Price;
    return L;
}

QString Lines(const TObjectList &L)
{
    QStringList Out;
    for (int I = 0; I < L.Count(); ++I) {
        const auto *P = static_cast<const TPriceLine *>(L.Items(I));
        Out << QStringLiteral("%1:%2:%3").arg(P->Code).arg(P->Name).arg(P->Price);
    }
    return Out.join(QLatin1Char(' '));
}

} // namespace

TEST(ZipRecords, ObjectListsStreamTheirObjectsThroughTheFilerAndRefuseUnregisteredClasses)
{
    RegisterObjectClass(QStringLiteral("TPriceLine"), [] { return new TPriceLine; });
    TLinesHolder Out;
    Out.SetName(QStringLiteral("Lines1"));
    Out.Plain.Add(Line(7, "茶叶", 12.5));
    Out.Plain.Add(Line(3, "毛巾", 0.25));
    for (const int Code : {30, 10, 20, 10})
        Out.Sorted.Add(Line(Code, "x", Code));
    TMemoryStream M;
    M.WriteComponent(&Out);
    EXPECT_TRUE(M.Bytes().contains("Plain.ObjectContainer.1.ClassName"));
    M.Seek(0, soBeginning);
    TLinesHolder In;
    In.Plain.Add(Line(99, "dropped on reading", 1));
    M.ReadComponent(&In);
    EXPECT_EQ(In.Name(), QStringLiteral("Lines1"));
    EXPECT_EQ(Lines(In.Plain).toStdString(), "7:茶叶:12.5 3:毛巾:0.25");
    EXPECT_EQ(Lines(In.Sorted).toStdString(), "10:x:10 10:x:10 20:x:20 30:x:30");

    auto WriteError = [](TLinesHolder &H) {
        TMemoryStream S;
        try {
            S.WriteComponent(&H);
        } catch (const EListError &E) {
            EXPECT_EQ(S.Size(), 0);   // nothing written
            return E.Message().toStdString();
        }
        return std::string("written");
    };
    TLinesHolder Empty, Nil, Unlisted;
    EXPECT_EQ(WriteError(Empty), "written");
    Nil.Plain.Add(Line(1, "a", 1));
    Nil.Plain.Add(nullptr);
    EXPECT_EQ(WriteError(Nil), "Nil Source Class!");
    Unlisted.Sorted.Add(Line(1, "a", 1, new TUnlistedLine));
    EXPECT_EQ(WriteError(Unlisted), "Source Class <TUnlistedLine> not registered");

    // An image naming a class nobody registered, and one claiming more
    // objects than it holds.
    QByteArray Image = M.Bytes();
    Image.replace("TPriceLine", "TPriceGone");
    TMemoryStream Gone;
    Gone.WriteBuffer(Image.constData(), Image.size());
    Gone.Seek(0, soBeginning);
    TLinesHolder G;
    try {
        Gone.ReadComponent(&G);
        ADD_FAILURE();
    } catch (const EListError &E) {
        EXPECT_EQ(E.Message().toStdString(), "Class <TPriceGone> not registered");
    }
    Image = M.Bytes();
    const qsizetype Count = Image.indexOf("Plain.ObjectContainer.Count") + 27;
    ASSERT_EQ(Image[Count], char(2));   // a one-byte integer: 2 objects
    Image[Count + 1] = char(100);
    TMemoryStream More;
    More.WriteBuffer(Image.constData(), Image.size());
    More.Seek(0, soBeginning);
    TLinesHolder Short;
    EXPECT_THROW(More.ReadComponent(&Short), EReadError);
}

TEST(ZipRecords, SmallAndZip64MembersGetTheirVersionAndExtraBlocks)
{
    TZipHeaderInfo H;
    H.SetDirectory(QStringLiteral("docs"));
    H.SetFileName(QStringLiteral("a.txt"));
    EXPECT_EQ(H.Directory(), QStringLiteral("docs\\"));
    EXPECT_EQ(H.FileNameLength(), 10);
    H.SetUncompressedSize(1000);
    H.SetCompressedSize(500);
    QByteArray L = LocalOf(H);
    EXPECT_EQ(L.size(), 30 + 10);
    EXPECT_EQ(U16(L, 4), 20);
    EXPECT_EQ(L.mid(30), QByteArray("docs/a.txt"));
    QByteArray C = CentralOf(H);
    EXPECT_EQ(C.size(), 46 + 10);
    EXPECT_EQ(U16(C, 6), 20);
    EXPECT_EQ(H.Zip64ExtendedInfo(), nullptr);

    TZipHeaderInfo Big;
    Big.SetFileName(QStringLiteral("big.bin"));
    Big.SetUncompressedSize(5'000'000'000LL);
    Big.SetCompressedSize(1000);
    L = LocalOf(Big);
    EXPECT_EQ(U16(L, 4), 45);
    EXPECT_EQ(U32(L, 18), 0xFFFFFFFFu);
    EXPECT_EQ(U32(L, 22), 0xFFFFFFFFu);
    ASSERT_EQ(U16(L, 28), 20);                 // tag, size and both sizes
    EXPECT_EQ(U16(L, 30 + 7 + 2), 16);
    C = CentralOf(Big);
    EXPECT_EQ(U16(C, 6), 45);
    EXPECT_EQ(U32(C, 20), 1000u);              // the compressed size stays in its field
    ASSERT_EQ(U16(C, 30), 12);                 // only the marked uncompressed size
    EXPECT_EQ(U16(C, 46 + 7 + 2), 8);

    // Read back through the readers.
    TMemoryStream M;
    M.WriteBytes(C);
    M.SetPosition(0);
    TZipHeaderInfo R;
    ASSERT_TRUE(R.ReadCentralHeader(&M));
    EXPECT_EQ(R.UncompressedSize(), 5'000'000'000LL);
    EXPECT_EQ(R.CompressedSize(), 1000);
    EXPECT_EQ(R.FileName(), QStringLiteral("big.bin"));

    // A rewrite of a local header never grows over data already behind it.
    TZipHeaderInfo Grow;
    Grow.SetFileName(QStringLiteral("g"));
    Grow.SetUncompressedSize(10);
    TMemoryStream Out;
    Grow.WriteLocalHeader(&Out);
    Grow.SetUncompressedSize(5'000'000'000LL);
    Out.SetPosition(0);
    EXPECT_THROW(Grow.WriteLocalHeader(&Out), EZipperException);
}

TEST(ZipRecords, RewrittenCentralHeaderKeepsForeignExtraBlocksAndDropsOldZip64)
{
    // A central header with a foreign block (tag 0x5455), an old Zip64 block and another (0x7875).
    TZipHeaderInfo H;
    H.SetFileName(QStringLiteral("x"));
    QByteArray Extra;
    Extra += QByteArray::fromHex("5554050001aabbccdd");
    Extra += QByteArray::fromHex("01000800") + QByteArray(8, '\x07');
    Extra += QByteArray::fromHex("75780300010203");
    TMemoryStream Src;
    QByteArray Head = CentralOf(H);
    Head[30] = char(Extra.size());
    Src.WriteBytes(Head + Extra);
    Src.SetPosition(0);
    TZipHeaderInfo R;
    ASSERT_TRUE(R.ReadCentralHeader(&Src));
    EXPECT_EQ(R.StoredExtraLength, Extra.size());
    EXPECT_EQ(R.Zip64ExtraLength, 12);
    const QByteArray Again = CentralOf(R, &Src);
    EXPECT_EQ(Again.mid(46 + 1), QByteArray::fromHex("5554050001aabbccdd75780300010203"));
    EXPECT_EQ(U16(Again, 30), 16);
}

TEST(ZipRecords, NamesDatesAndFlexibleOemRule)
{
    TZipHeaderInfo H;
    H.OEMConvert = oemFlexible;
    H.SetFileName(QString::fromUtf8("商品.txt"));
    QByteArray L = LocalOf(H);
    EXPECT_EQ(H.VersionMadeBy >> 8, 0);
    EXPECT_EQ(L.mid(30, 8), QByteArray("\xc9\xcc\xc6\xb7.txt"));
    // Beside the code page 936 name: the Info-ZIP Unicode Path block with the UTF-8 name.
    EXPECT_EQ(L.mid(38, 2), QByteArray("up"));
    EXPECT_TRUE(L.endsWith(QString::fromUtf8("商品.txt").toUtf8()));

    TZipHeaderInfo Odd;
    Odd.OEMConvert = oemFlexible;
    Odd.SetFileName(QString::fromUtf8("😀.txt"));
    CentralOf(Odd);
    EXPECT_EQ(Odd.VersionMadeBy, 0x0B2D);

    // Day 0 and month 13 are repaired; a valid value stays as it is.
    const quint32 Bad = (quint32(13) << 21) | (quint32(20) << 25);
    const quint32 Fixed = RepairDosDateTime(Bad);
    EXPECT_EQ((Fixed >> 21) & 0x0F, 12u);
    EXPECT_EQ((Fixed >> 16) & 0x1F, 1u);
    const quint32 Good = (quint32(5) << 21) | (quint32(17) << 16) | (quint32(44) << 25) | (10u << 11);
    EXPECT_EQ(RepairDosDateTime(Good), Good);
    EXPECT_EQ(UnixTimeToFileDate(FileDateToUnixTime(Good)), Good);

    // The local header reader splits the name and takes the offset of the header.
    TMemoryStream M;
    M.WriteBytes(QByteArray(7, 'z'));
    TZipHeaderInfo W;
    W.SetDirectory(QStringLiteral("docs\\sub"));
    W.SetFileName(QStringLiteral("a.txt"));
    W.WriteLocalHeader(&M);
    M.SetPosition(7);
    TZipHeaderInfo R;
    ASSERT_TRUE(R.ReadLocalHeader(&M));
    EXPECT_EQ(R.Directory(), QStringLiteral("docs\\sub\\"));
    EXPECT_EQ(R.FileName(), QStringLiteral("a.txt"));
    EXPECT_EQ(R.RelativeOffsetOfLocalHeader(), 7);
    M.SetPosition(0);
    EXPECT_FALSE(R.ReadLocalHeader(&M));
    EXPECT_EQ(M.Position(), 0);
}

TEST(ZipRecords, EndRecordWritesZip64OnlyWhenAValueNeedsIt)
{
    TEndCentral E;
    E.SetTotalEntries(3);
    E.SetEntriesOnThisDisk(3);
    E.SetZipComment("note");
    TMemoryStream M;
    E.WriteEndOfCentral(&M);
    EXPECT_EQ(M.Size(), 22 + 4);
    EXPECT_EQ(E.RecordSize(), 26);

    TEndCentral Big;
    Big.SetTotalEntries(70000);
    Big.SetEntriesOnThisDisk(70000);
    Big.SetOffsetOfCentralDirectory(5'000'000'000LL);
    TMemoryStream B;
    B.WriteBytes("pad");
    Big.WriteEndOfCentral(&B);
    const QByteArray Bytes = B.Bytes();
    ASSERT_EQ(Bytes.size(), 3 + 56 + 20 + 22);
    EXPECT_EQ(U32(Bytes, 3), 0x06064B50u);
    EXPECT_EQ(U32(Bytes, 3 + 56), 0x07064B50u);
    EXPECT_EQ(U32(Bytes, 3 + 56 + 8), 3u);        // locator points at the Zip64 record
    EXPECT_EQ(U16(Bytes, 3 + 76 + 10), 0xFFFF);
    EXPECT_EQ(Big.TotalEntries(), 70000);
    EXPECT_EQ(Big.OffsetOfCentralDirectory(), 5'000'000'000LL);
}

TEST(ZipRecords, SortedMemberListsOrderAndRefuseDuplicates)
{
    TSortedZip L(2);
    L.SortMode = ByName;
    for (const char *N : {"b.txt", "A.txt", "c.txt"}) {
        auto *H = new TZipHeaderInfo;
        H->SetFileName(QString::fromLatin1(N));
        L.Add(H);
    }
    EXPECT_EQ(L.Item(0)->FileName(), QStringLiteral("A.txt"));
    EXPECT_EQ(L.Item(2)->FileName(), QStringLiteral("c.txt"));
    TZipHeaderInfo Dup;
    Dup.SetFileName(QStringLiteral("B.TXT"));
    EXPECT_THROW(L.Add(&Dup), EListError);
    int Index = -1;
    EXPECT_TRUE(L.Find(&Dup, Index));
    EXPECT_EQ(Index, 1);
    EXPECT_THROW(L.Put(0, nullptr), EListError);
    EXPECT_EQ(L.Neighbour(L.Item(1), 1), L.Item(2));
    EXPECT_EQ(L.Neighbour(nullptr, 0), L.Item(2));
    EXPECT_EQ(L.Neighbour(L.Item(0), 0), nullptr);
    EXPECT_THROW(L.Neighbour(&Dup, 0), EListError);

    // Sizes: largest first; archive order by offset.
    TSortedZip S(1, false), N(2, false);
    S.SortMode = ByUnCompressedSize;
    TZipHeaderInfo A, B;
    A.SetUncompressedSize(10);
    A.SetRelativeOffsetOfLocalHeader(500);
    B.SetUncompressedSize(99);
    S.Add(&A);
    S.Add(&B);
    N.Add(&A);
    N.Add(&B);
    EXPECT_EQ(S.Item(0), &B);
    EXPECT_EQ(N.Item(0), &B);
    EXPECT_EQ(CompressionRate(50, 200), 25);
    EXPECT_EQ(CompressionRate(300, 200), 100);
    EXPECT_EQ(CompressionRate(1, 0), 0);
}

TEST(ZipRecords, SortedViewsBuiltInOneGoMatchAddingOneByOne)
{
    // Few distinct keys, so that every order meets many equal ones (names
    // differing in case only, equal sizes, dates and rates).
    std::vector<std::unique_ptr<TZipHeaderInfo>> Headers;
    QRandomGenerator R{7};
    for (int I = 0; I < 400; ++I) {
        auto H = std::make_unique<TZipHeaderInfo>();
        H->SetDirectory(R.bounded(2) ? QStringLiteral("Pages\\") : QStringLiteral("pages\\"));
        H->SetFileName(QStringLiteral("%1.htm").arg(QChar(u'a' + char16_t(R.bounded(6)))));
        H->LastModFileDateTime = R.bounded(5);
        H->SetUncompressedSize(100 + R.bounded(4) * 10);
        H->SetCompressedSize(R.bounded(3) * 20);
        H->SetRelativeOffsetOfLocalHeader(R.bounded(50) * 100);
        Headers.push_back(std::move(H));
    }
    std::vector<TObject *> Items;
    for (const auto &H : Headers)
        Items.push_back(H.get());
    for (TZipSortMode Mode : {ByName, ByFileName, ByDirectoryName, ByDate, ByCompressedSize, ByUnCompressedSize, ByRate, ByNone}) {
        SCOPED_TRACE(int(Mode));
        TSortedZip OneByOne(1, false), AtOnce(1, false);
        OneByOne.SortMode = AtOnce.SortMode = Mode;
        for (TObject *O : Items)
            OneByOne.Add(O);
        AtOnce.AddAll(Items);
        ASSERT_EQ(AtOnce.Count(), OneByOne.Count());
        for (int I = 0; I < OneByOne.Count(); ++I)
            ASSERT_EQ(AtOnce.Item(I), OneByOne.Item(I)) << I;
    }
}

TEST(ZipRecords, ApplicationSignaturesMakeArchivesOthersRejectAndSameSettingsAccept)
{
    TestSupport::TempDir D;
    WriteAll(D.File(QStringLiteral("src/a.txt")), "a");
    const QString Zip = D.File(QStringLiteral("own.zip"));
    SetArchiveSignatures(0x02014B51, 0x04034B51, 0x06054B51);
    {
        TZipper Z;
        Z.SetZipName(Zip);
        Z.FilesList().Add(D.File(QStringLiteral("src/a.txt")));
        EXPECT_EQ(Z.PackFiles(), 1);
    }
    SetArchiveSignatures(0, 0, 0);
    {
        TUnZipper U;
        U.SetZipName(Zip);
        EXPECT_THROW(U.OpenAndReadDirectory(), EIncompleteZip);
    }
    EXPECT_NE(RunProgram(QStringLiteral("unzip"), {QStringLiteral("-tq"), Zip}), 0);
    SetArchiveSignatures(0x02014B51, 0x04034B51, 0x06054B51);
    TUnZipper U;
    U.SetZipName(Zip);
    U.OpenAndReadDirectory();
    EXPECT_EQ(U.MemberCount(), 1);
    EXPECT_EQ(U.UnzipToBuffer(0), QByteArray("a"));
    SetArchiveSignatures(0, 0, 0);
}

TEST(ZipStreams, BufferedReadsAndWritesAlternateAtTheLogicalPosition)
{
    TMemoryStream Inner;
    {
        TS_BufferStream S(&Inner, 16);
        EXPECT_EQ(S.Write("abc", 3), 3);
        S.Seek(-3, soCurrent);
        char B[3];
        EXPECT_EQ(S.Read(B, 3), 3);
        EXPECT_EQ(QByteArray(B, 3), QByteArray("abc"));
    }
    Inner.Clear();
    Inner.WriteBytes(QByteArray(100, 'x'));
    Inner.SetPosition(0);
    {
        TS_BufferStream S(&Inner, 32);
        char B[10];
        EXPECT_EQ(S.Read(B, 10), 10);
        EXPECT_EQ(S.Write("12345", 5), 5);
        EXPECT_EQ(S.Seek(0, soCurrent), 15);
        EXPECT_TRUE(S.Finish());
        EXPECT_EQ(Inner.Bytes().mid(8, 9), QByteArray("xx12345xx"));
        S.Seek(0, soEnd);
        EXPECT_EQ(S.Write("tail", 4), 4);
        EXPECT_EQ(S.Seek(0, soEnd), 104);
        EXPECT_THROW(S.Seek(0, TSeekOrigin(7)), Exception);
        try {
            S.Seek(0, TSeekOrigin(7));
        } catch (const Exception &E) {
            EXPECT_EQ(E.Message(), QStringLiteral("Invalid seek origin (7)"));
        }
        S.Seek(0, soBeginning);
        EXPECT_THROW(S.PutBack('q'), EStreamError);
        char C;
        S.Read(&C, 1);
        S.PutBack('q');
        S.Read(&C, 1);
        EXPECT_EQ(C, 'q');
    }
    // A write that fails is reported, also when it happened inside the buffer.
    FullDisk Full(20);
    TS_BufferStream S(&Full, 16);
    EXPECT_EQ(S.Write(QByteArray(10, 'a').constData(), 10), 10);
    S.Write(QByteArray(30, 'b').constData(), 30);
    EXPECT_FALSE(S.Finish());
}

TEST(ZipStreams, ASeekTheInnerStreamCannotDoIsReportedAndFailsTheWrites)
{
    // Before: the buffered stream answered the position asked for, and the
    // header written after it went to the end of the file instead.
    ShortSeek Inner(50);
    Inner.WriteBytes(QByteArray(40, 'x'));
    Inner.SetPosition(0);
    {
        TS_BufferStream S(&Inner, 16);
        EXPECT_EQ(S.Write("head", 4), 4);
        EXPECT_EQ(S.Seek(30, soBeginning), 30);
        EXPECT_TRUE(S.Finish());
        EXPECT_EQ(S.Seek(1000, soBeginning), -1);
        EXPECT_FALSE(S.Finish());
        EXPECT_EQ(S.Seek(0, soCurrent), 30);
    }
    EXPECT_EQ(Inner.Bytes().left(4), QByteArray("head"));

    // On a file: a position before the start is refused by the system.
    QTemporaryDir Dir;
    const QString Name = Dir.filePath(QStringLiteral("a.bin"));
    {
        TFileStream F(Name, fmCreate);
        F.WriteBytes(QByteArray(64, 'y'));
    }
    TFileStream F(Name, fmOpenReadWrite);
    TS_BufferStream S(&F, 16);
    char B[4];
    EXPECT_EQ(S.Read(B, 4), 4);
    EXPECT_EQ(S.Seek(-10, soBeginning), -1);
    EXPECT_EQ(S.Seek(0, soCurrent), 4);
    EXPECT_FALSE(S.Finish());
}

TEST(ZipStreams, FileUtilities)
{
    TestSupport::TempDir D;
    ZipForceDirectories(D.File(QStringLiteral("a/b/c/")));
    EXPECT_TRUE(ZipDirectoryExists(D.File(QStringLiteral("a/b/c"))));
    EXPECT_FALSE(ZipDirectoryExists(D.File(QStringLiteral("a/b/x"))));
    // A drive path from Windows makes no folder of that name in the current folder.
    const QString Was = GetCurrentDir();
    ASSERT_TRUE(SetCurrentDir(D.Path()));
    ZipForceDirectories(QStringLiteral("C:\\docs\\"));
    EXPECT_TRUE(SetCurrentDir(Was));
    EXPECT_EQ(QDir(D.Path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot), QStringList{QStringLiteral("a")});
    EXPECT_EQ(ZipStripBackslash(QStringLiteral("a\\")), QStringLiteral("a"));
    QString Name = QString::fromUtf8("价格😀.txt");
    ZipOemNormalize(Name);
    EXPECT_EQ(Name, QString::fromUtf8("价格?.txt"));
    EXPECT_TRUE(ZipHasWildcards(QStringLiteral("a|b")));
    EXPECT_FALSE(ZipHasWildcards(QStringLiteral("a.b")));
    EXPECT_EQ(FileAge(D.File(QStringLiteral("none"))), -1);
    WriteAll(D.File(QStringLiteral("f")), "x");
    EXPECT_TRUE(FileSetDosDate(D.File(QStringLiteral("f")), (quint32(30) << 25) | (quint32(6) << 21) | (quint32(15) << 16)));
    EXPECT_EQ(quint32(FileAge(D.File(QStringLiteral("f")))), (quint32(30) << 25) | (quint32(6) << 21) | (quint32(15) << 16));
    EXPECT_GT(ZipClusterSize(D.Path()), 0);
    EXPECT_THROW(ZipClusterSize(D.File(QStringLiteral("none/x"))), EInOutError);
    EXPECT_FALSE(ZipIsRemovableDrive(D.Path()));
}
