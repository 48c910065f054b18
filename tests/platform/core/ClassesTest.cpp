#include "platform/core/Classes.h"
#include "platform/core/Codec.h"

#include "Printers.h"
#include "TestSupport.h"

#include <QDir>
#include <gtest/gtest.h>

using TestSupport::TempDir;

namespace {

QString S(const char *Text)
{
    return QString::fromUtf8(Text);
}

TEST(StringList, NamesAndValues)
{
    TStringList L;
    L.Add(S("Title=目录"));
    L.Add(S("plain line"));
    L.Add(S("Price=12.5=net"));
    L.Add(S("=nameless"));
    EXPECT_EQ(L.Names(0), S("Title"));
    EXPECT_EQ(L.Names(1), S(""));
    EXPECT_EQ(L.ValueFromIndex(2), S("12.5=net"));
    EXPECT_EQ(L.Values(S("PRICE")), S("12.5=net"));   // names compare case-insensitively
    EXPECT_EQ(L.IndexOfName(S("title")), 0);
    EXPECT_EQ(L.IndexOfName(S("plain line")), -1);
    EXPECT_EQ(L.Values(S("")), S("nameless"));

    L.SetValues(S("price"), S("13"));                  // replaces the line in place
    EXPECT_EQ(L.Strings(2), S("price=13"));
    L.SetValues(S("颜色"), S("红"));                    // absent: appended
    EXPECT_EQ(L.Strings(4), S("颜色=红"));
    L.SetValues(S("TITLE"), S(""));                    // empty: the line goes
    EXPECT_EQ(L.Count(), 4);
    EXPECT_EQ(L.IndexOfName(S("Title")), -1);
    L.SetValues(S("absent"), S(""));
    EXPECT_EQ(L.Count(), 4);

    EXPECT_EQ(L.IndexOf(S("PLAIN LINE")), 0);
    L.CaseSensitive = true;
    EXPECT_EQ(L.IndexOf(S("PLAIN LINE")), -1);
    EXPECT_EQ(L.IndexOfName(S("PRICE")), -1);
}

TEST(StringList, IndexErrorsAndObjects)
{
    TStringList L;
    TObject A, B;
    L.AddObject(S("a"), &A);
    L.AddObject(S("b"), &B);
    EXPECT_EQ(L.Objects(1), &B);
    EXPECT_EQ(L.IndexOfObject(&A), 0);
    L.Exchange(0, 1);
    EXPECT_EQ(L.Objects(0), &B);
    L.Move(0, 1);
    EXPECT_EQ(L.Strings(1), S("b"));
    try {
        L.Strings(2);
        FAIL() << "no error";
    } catch (const EListError &E) {
        EXPECT_EQ(E.Message(), S("List index out of bounds (2)"));
    }
    EXPECT_THROW(L.Delete(-1), EListError);
    EXPECT_THROW(L.Insert(3, S("x")), EListError);
    L.Insert(2, S("c"));
    EXPECT_EQ(L.ToQStringList(), QStringList({S("a"), S("b"), S("c")}));

    int Changes = 0;
    L.OnChange = [&](TObject *Sender) {
        EXPECT_EQ(Sender, &L);
        ++Changes;
    };
    L.BeginUpdate();
    L.Add(S("d"));
    L.Delete(0);
    EXPECT_EQ(Changes, 0);
    L.EndUpdate();
    EXPECT_EQ(Changes, 1);
}

TEST(StringList, SortedDuplicatesAndFind)
{
    TStringList L;
    L.Add(S("pear"));
    L.Add(S("Apple"));
    L.Add(S("fig"));
    L.SetSorted(true);
    EXPECT_EQ(L.ToQStringList(), QStringList({S("Apple"), S("fig"), S("pear")}));
    EXPECT_EQ(L.Add(S("banana")), 1);
    EXPECT_EQ(L.Add(S("APPLE")), 0);                 // dupIgnore: not added
    EXPECT_EQ(L.Count(), 4);
    int Index = -1;
    EXPECT_TRUE(L.Find(S("FIG"), Index));
    EXPECT_EQ(Index, 2);
    EXPECT_FALSE(L.Find(S("grape"), Index));
    EXPECT_EQ(Index, 3);                               // where it would go
    EXPECT_EQ(L.IndexOf(S("pear")), 3);
    EXPECT_THROW(L.Insert(0, S("x")), EListError);
    EXPECT_THROW(L.SetStrings(0, S("x")), EListError);
    L.Duplicates = dupError;
    EXPECT_THROW(L.Add(S("fig")), EListError);
    L.Duplicates = dupAccept;
    L.Add(S("fig"));
    EXPECT_EQ(L.Count(), 5);

    // A value set on a sorted list keeps the order.
    TStringList V;
    V.SetSorted(true);
    V.SetValues(S("b"), S("1"));
    V.SetValues(S("a"), S("2"));
    V.SetValues(S("b"), S("0"));
    EXPECT_EQ(V.ToQStringList(), QStringList({S("a=2"), S("b=0")}));

    TStringList C;
    for (int I = 0; I < 50; ++I)
        C.Add(QString::number((I * 37) % 50));
    C.CustomSort([](TStringList *List, int A, int B) {
        return List->Strings(A).toInt() - List->Strings(B).toInt();
    });
    for (int I = 0; I < 50; ++I)
        ASSERT_EQ(C.Strings(I).toInt(), I);
}

TEST(StringList, TextAndCommaText)
{
    TStringList L;
    L.SetText(S("a\r\nb\nc\rd\r\n\r\ne"));
    EXPECT_EQ(L.ToQStringList(), QStringList({S("a"), S("b"), S("c"), S("d"), S(""), S("e")}));
    EXPECT_EQ(L.Text(), S("a\r\nb\r\nc\r\nd\r\n\r\ne\r\n"));
    L.SetText(S("only\r\n"));
    EXPECT_EQ(L.Count(), 1);
    L.SetText(S("x\n\ny\n\r"));                        // LF CR is two breaks
    EXPECT_EQ(L.ToQStringList(), QStringList({S("x"), S(""), S("y"), S("")}));
    L.SetText(QString());
    EXPECT_EQ(L.Count(), 0);

    L.SetCommaText(S("one, \"two, three\" ,\"say \"\"hi\"\"\",four five,,\"\""));
    EXPECT_EQ(L.ToQStringList(),
              QStringList({S("one"), S("two, three"), S("say \"hi\""), S("four"), S("five"), S(""), S("")}));
    EXPECT_EQ(L.CommaText(), S("one,\"two, three\",\"say \"\"hi\"\"\",four,five,,"));
    L.SetCommaText(S("a,"));
    EXPECT_EQ(L.ToQStringList(), QStringList({S("a"), S("")}));
    L.Clear();
    L.Add(S(""));
    EXPECT_EQ(L.CommaText(), S("\"\""));

    TStringList D;
    D.Delimiter = QLatin1Char('|');
    D.QuoteChar = QLatin1Char('\'');
    D.SetDelimitedText(S("价格|'a|b'|c d"));
    EXPECT_EQ(D.ToQStringList(), QStringList({S("价格"), S("a|b"), S("c"), S("d")}));
    EXPECT_EQ(D.DelimitedText(), S("价格|'a|b'|c|d"));
}

TEST(StringList, FilesAreCodePage936WithCrLf)
{
    TempDir Dir;
    const QString Name = Dir.File(S("页面.qbt"));
    TStringList L;
    L.Add(S("{Catalog名称}=春季目录 €5"));
    L.Add(QString::fromUtf8("emoji \xF0\x9F\x98\x80"));
    L.SaveToFile(Name);
    const QByteArray Bytes = TestSupport::ReadAll(Name);
    EXPECT_EQ(Bytes, Cp936::Encode(L.Strings(0)) + "\r\n" + Cp936::Encode(L.Strings(1)) + "\r\n");
    EXPECT_TRUE(Bytes.contains(char(0x80)));

    TStringList R;
    R.LoadFromFile(Name);
    EXPECT_EQ(R.ToQStringList(), L.ToQStringList());

    // Line ends of other systems and damaged bytes are read without loss.
    const QByteArray Mixed = QByteArray("a\nb\rc\r\n") + char(0xC4) + "\n";
    TestSupport::WriteAll(Name, Mixed);
    R.LoadFromFile(Name);
    ASSERT_EQ(R.Count(), 4);
    R.SaveToFile(Name);
    EXPECT_EQ(TestSupport::ReadAll(Name), QByteArray("a\r\nb\r\nc\r\n") + char(0xC4) + "\r\n");

    // Saving replaces the file whole and leaves no temporary files behind.
    EXPECT_EQ(QDir(Dir.Path()).entryList(QDir::Files | QDir::Hidden).size(), 1);

    try {
        R.LoadFromFile(Dir.File(S("missing.txt")));
        FAIL() << "no error";
    } catch (const EFOpenError &E) {
        // The user reads a Chinese text naming the file and the reason.
        EXPECT_EQ(E.Message(), S("无法打开文件“") + Dir.File(S("missing.txt")) + S("”。系统找不到指定的文件或文件夹。"));
    }
    EXPECT_THROW(R.LoadFromFile(Dir.Path()), EFOpenError);
    try {
        R.SaveToFile(Dir.File(S("no/such/folder.txt")));
        FAIL() << "no error";
    } catch (const EFCreateError &E) {
        EXPECT_EQ(E.Message(), S("无法创建文件“") + Dir.File(S("no/such/folder.txt")) + S("”。系统找不到指定的文件或文件夹。"));
    }
    EXPECT_THROW(R.LoadFromFile(S("C:\\Windows\\win.ini")), EFOpenError);
}

TEST(Streams, FileAndMemoryStreams)
{
    TempDir Dir;
    const QString Name = Dir.File(S("data.bin"));
    {
        TFileStream F(Name, fmCreate);
        F.WriteBytes(QByteArray("0123456789"));
        EXPECT_EQ(F.Size(), 10);
        F.SetPosition(4);
        char Buf[4];
        EXPECT_EQ(F.Read(Buf, 4), 4);
        EXPECT_EQ(QByteArray(Buf, 4), QByteArray("4567"));
        EXPECT_EQ(F.Read(Buf, 4), 2);                  // Read reports a short count
        F.SetPosition(8);
        EXPECT_THROW(F.ReadBuffer(Buf, 4), EReadError);
        // 64-bit positions: a sparse file beyond 4 GiB.
        F.Seek(qint64(5) << 30, soBeginning);
        F.WriteBytes(QByteArray("end"));
        EXPECT_EQ(F.Size(), (qint64(5) << 30) + 3);
        F.SetSize(10);
        EXPECT_EQ(F.Size(), 10);
        EXPECT_EQ(F.Position(), 10);
    }
    {
        TFileStream F(Name, fmOpenRead | fmShareDenyWrite);
        char C = 0;
        EXPECT_THROW(F.WriteBuffer(&C, 1), EWriteError);
        TMemoryStream M;
        M.WriteBytes(QByteArray("xx"));
        F.SetPosition(7);
        EXPECT_EQ(M.CopyFrom(&F, 0), 10);                // 0 copies everything from the start
        EXPECT_EQ(M.Bytes(), QByteArray("xx0123456789"));
        F.SetPosition(2);
        EXPECT_EQ(M.CopyFrom(&F, 3), 3);
        EXPECT_EQ(M.Bytes().right(3), QByteArray("234"));
        F.SetPosition(9);
        EXPECT_THROW(M.CopyFrom(&F, 3), EReadError);
    }
    try {
        TFileStream F(Dir.File(S("absent")), fmOpenRead);
        FAIL() << "no error";
    } catch (const EFOpenError &E) {
        EXPECT_EQ(E.Message(), S("无法打开文件“") + Dir.File(S("absent")) + S("”。系统找不到指定的文件或文件夹。"));
    }
    try {
        TFileStream F(Dir.File(S("no/dir/x")), fmCreate);
        FAIL() << "no error";
    } catch (const EFCreateError &E) {
        EXPECT_TRUE(E.Message().startsWith(S("无法创建文件“") + Dir.File(S("no/dir/x")) + S("”。")));
    }

    TMemoryStream M;
    M.SetPosition(3);
    M.WriteBytes(QByteArray("ab"));
    EXPECT_EQ(M.Bytes(), QByteArray("\0\0\0ab", 5));
    M.SetPosition(0);
    EXPECT_EQ(M.ReadBytes(100), QByteArray("\0\0\0ab", 5));
    M.SaveToFile(Name);
    TMemoryStream N;
    N.LoadFromFile(Name);
    EXPECT_EQ(N.Bytes(), M.Bytes());
    EXPECT_EQ(N.Position(), 0);
}

TEST(Streams, WholeBytesWrittenToAMemoryStreamStayApart)
{
    const QByteArray Source("0123456789");
    TMemoryStream M;
    M.WriteBytes(Source);
    EXPECT_EQ(M.Bytes(), Source);
    EXPECT_EQ(M.Position(), 10);
    // Changing the stream leaves the bytes it was given alone.
    M.SetPosition(2);
    M.WriteBytes(QByteArray("ab"));
    M.Memory()[0] = 'z';
    EXPECT_EQ(M.Bytes(), QByteArray("z1ab456789"));
    EXPECT_EQ(Source, QByteArray("0123456789"));
    // Shorter bytes at the start overwrite only their own length.
    M.SetPosition(0);
    M.WriteBytes(QByteArray("XY"));
    EXPECT_EQ(M.Bytes(), QByteArray("XYab456789"));
    EXPECT_EQ(M.Position(), 2);
    // Longer bytes at the start replace everything.
    TMemoryStream N;
    N.WriteBytes(QByteArray("short"));
    N.SetPosition(0);
    N.WriteBytes(Source);
    EXPECT_EQ(N.Bytes(), Source);
    N.SetSize(4);
    EXPECT_EQ(N.Bytes(), QByteArray("0123"));
    EXPECT_EQ(Source.size(), 10);
    // Empty bytes change nothing, and a position before the start is an error as before.
    N.WriteBytes(QByteArray());
    EXPECT_EQ(N.Bytes(), QByteArray("0123"));
    N.SetPosition(-1);
    EXPECT_THROW(N.WriteBytes(Source), EWriteError);
}

} // namespace
