#pragma once
// One run of the archive reader on arbitrary bytes, as the program treats an
// archive that came from another computer: open it, list its members and
// their attributes, test every member, read a few into memory and extract
// all into a folder of their own. Shared by the libFuzzer target and the
// unit test of the seed archives.
//
// The bytes are one archive file, or the parts of a split set joined by
// PartSeparator (name.z01, name.z02, ..., the last part name.zip).
//
// The work stays bounded: all members are selected, but only those whose
// declared size is at most MaxMemberSize, and at most MaxTotalSize
// together, are tested, read or extracted; the others are skipped as they
// come (the reader holds every member to its declared size).
//
// What must hold, whatever the bytes (a breach goes into Result::Problems):
// nothing is written beside the destination folder, no folder or link
// planted in it is followed or changed, testing writes nothing, every file
// left in the destination is a member reported as extracted (no temporary
// file stays behind), and no file is larger than the member cap.

#include "zip/UnZipper.h"

#include <QByteArray>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QSet>
#include <QStringList>
#include <QTemporaryDir>

#include <cstddef>
#include <cstdint>
#include <memory>
#include <unistd.h>

namespace ArchiveFuzz {

constexpr qint64 MaxMemberSize = 4 << 20;
constexpr qint64 MaxTotalSize = 16 << 20;
constexpr int MaxParts = 8;
constexpr int MaxBufferReads = 8;
inline const QByteArray PartSeparator = QByteArrayLiteral("\n==QBPART==\n");
inline const QString Password = QStringLiteral("secret");

struct Result {
    bool Opened = false;      // the directory was read
    int Members = 0;
    int Selected = 0;         // members within the member cap
    int Tested = 0;           // members that passed the test
    int Extracted = 0;
    int Failed = 0;           // FailedCount of the extraction
    QStringList Problems;     // breaches of the rules above
};

// The input as the files of an archive: one, or the parts of a split set.
inline QList<QByteArray> Parts(const uint8_t *Data, size_t Size)
{
    const QByteArray All = QByteArray::fromRawData(reinterpret_cast<const char *>(Data), qsizetype(Size));
    QList<QByteArray> L;
    qsizetype From = 0;
    for (;;) {
        const qsizetype At = L.size() + 1 < MaxParts ? All.indexOf(PartSeparator, From) : -1;
        if (At < 0) {
            L << QByteArray(All.constData() + From, All.size() - From);
            return L;
        }
        L << QByteArray(All.constData() + From, At - From);
        From = At + PartSeparator.size();
    }
}

inline QByteArray Join(const QList<QByteArray> &Parts)
{
    return Parts.join(PartSeparator);
}

class Runner {
public:
    Runner()
    {
        FRoot.setAutoRemove(true);
        FIn = FRoot.filePath(QStringLiteral("in"));
        FOut = FRoot.filePath(QStringLiteral("box/out"));
        FTrap = FRoot.filePath(QStringLiteral("trap"));
    }

    Result Run(const uint8_t *Data, size_t Size)
    {
        Result R;
        Reset();
        const QList<QByteArray> P = Parts(Data, Size);
        QStringList Files;
        for (int I = 0; I < P.size(); ++I) {
            const QString Name = I + 1 == P.size() ? QStringLiteral("a.zip") : QStringLiteral("a.z%1").arg(I + 1, 2, 10, QLatin1Char('0'));
            Files << Name;
            QFile F(FIn + QLatin1Char('/') + Name);
            if (!F.open(QIODevice::WriteOnly) || F.write(P[I]) != P[I].size())
                R.Problems << QStringLiteral("cannot write the input");
        }

        TUnZipper U;
        U.DoProcessMessages = false;
        U.IncompleteZipMode = izAssumeBad;
        U.SetZipName(FIn + QStringLiteral("/a.zip"));
        U.SetDestDir(FOut);
        U.SetPassword(Password);
        U.RecreateDirs = true;
        U.OverwriteMode = TUZOverwriteMode::Always;
        U.ExtractThreads = 2;
        U.DoAll = true;
        // Every member is selected; those beyond the caps are skipped as they come.
        qint64 Taken = 0;
        U.OnStartUnZip = [&](TObject *, int Index, QString &, bool &Skip) {
            const qint64 S = U.Member(Index)->UncompressedSize();
            Skip = !Within(S) || S > MaxTotalSize - Taken;
            if (!Skip)
                Taken += S;
        };
        QSet<QString> Reported;
        U.OnEndUnZip = [&](TObject *, int, const QString &FName) { Reported.insert(FName); };

        try {
            U.OpenAndReadDirectory();
            R.Opened = true;
            R.Members = U.MemberCount();
            (void)U.ArchiveComment();
            // What a listing shows of each member.
            for (int I = 0; I < R.Members; ++I) {
                TZipHeaderInfo *H = U.Member(I);
                (void)H->StoredName();
                (void)H->UncompressedSize();
                (void)H->CompressedSize();
                (void)H->ExternalFileAttributes;
                (void)H->LastModFileDateTime;
                (void)H->IsEncrypted();
                (void)U.MemberComment(I);
            }
            for (int I = 0; I < R.Members; ++I)
                R.Selected += Within(U.Member(I)->UncompressedSize()) ? 1 : 0;
            Taken = 0;
            try {
                R.Tested = U.TestFiles();
            } catch (const Exception &) {
            }
            if (Entries(FOut) != QStringList{QStringLiteral("flnk"), QStringLiteral("lnk")})
                R.Problems << QStringLiteral("testing wrote into the destination");
            Reported.clear();
            for (int I = 0, Reads = 0; I < U.MemberCount() && Reads < MaxBufferReads; ++I) {
                const qint64 S = U.Member(I)->UncompressedSize();
                if (!Within(S))
                    continue;
                ++Reads;
                try {
                    const QByteArray B = U.UnzipToBuffer(I);
                    if (B.size() > S)
                        R.Problems << QStringLiteral("member read larger than declared");
                } catch (const Exception &) {
                }
            }
            Taken = 0;
            R.Extracted = U.UnpackFiles();
            R.Failed = U.FailedCount();
        } catch (const Exception &) {
        }
        Check(R, Files, Reported);
        return R;
    }

private:
    static bool Within(qint64 Size) { return Size >= 0 && Size <= MaxMemberSize; }

    // Every entry below Folder (links not followed), relative to it.
    static QStringList Entries(const QString &Folder)
    {
        QStringList L;
        QDirIterator It(Folder, QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System,
                        QDirIterator::Subdirectories);
        while (It.hasNext())
            L << QDir(Folder).relativeFilePath(It.next());
        L.sort();
        return L;
    }

    void Reset()
    {
        for (const QString &D : {FIn, FRoot.filePath(QStringLiteral("box")), FTrap}) {
            QDir(D).removeRecursively();
            QDir().mkpath(D);
        }
        QDir().mkpath(FOut);
        // A folder and a file the destination links to outside itself.
        ::symlink("../../trap", QFile::encodeName(FOut + QStringLiteral("/lnk")).constData());
        ::symlink("../../trap/f", QFile::encodeName(FOut + QStringLiteral("/flnk")).constData());
    }

    void Check(Result &R, const QStringList &Files, const QSet<QString> &Reported)
    {
        QStringList Expected;
        for (const QString &F : Files)
            Expected << QStringLiteral("in/") + F;
        Expected << QStringLiteral("in") << QStringLiteral("box") << QStringLiteral("box/out") << QStringLiteral("trap");
        Expected.sort();
        QStringList Outside;
        for (const QString &E : Entries(FRoot.path()))
            if (!E.startsWith(QStringLiteral("box/out/")))
                Outside << E;
        if (Outside != Expected)
            R.Problems << QStringLiteral("written outside the destination: ") + Outside.join(QLatin1Char(' '));
        const QString Prefix = FOut + QLatin1Char('/');
        for (const QString &E : Entries(FOut)) {
            const QString Path = Prefix + E;
            const QFileInfo Info(Path);
            if (E == QLatin1String("lnk") || E == QLatin1String("flnk")) {
                // Replaced by a member (a rename over the link) or left as it was.
                char Target[64] = {};
                const bool Same = ::readlink(QFile::encodeName(Path).constData(), Target, sizeof Target - 1) > 0
                    && QByteArray(Target) == (E == QLatin1String("lnk") ? "../../trap" : "../../trap/f");
                if (Info.isSymLink() ? !Same : !Reported.contains(Path))
                    R.Problems << QStringLiteral("planted link changed: ") + E;
                continue;
            }
            if (Info.isSymLink())
                R.Problems << QStringLiteral("link made: ") + E;
            else if (Info.isFile() && !Reported.contains(Path))
                R.Problems << QStringLiteral("file not reported: ") + E;
            else if (Info.isFile() && Info.size() > MaxMemberSize)
                R.Problems << QStringLiteral("file larger than the cap: ") + E;
        }
        for (const QString &F : Reported)
            if (!F.startsWith(Prefix) || F.mid(Prefix.size()).split(QLatin1Char('/')).contains(QStringLiteral("..")))
                R.Problems << QStringLiteral("reported outside the destination: ") + F;
    }

    QTemporaryDir FRoot;
    QString FIn;
    QString FOut;
    QString FTrap;
};

} // namespace ArchiveFuzz
