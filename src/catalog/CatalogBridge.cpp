#include "CatalogBridge.h"

#include "platform/core/Types.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStringDecoder>
#include <QStringEncoder>
#include <unistd.h>

namespace CatalogBridge {

namespace {

QString GProgramFolder;

QString WithSlash(QString S)
{
    if (!S.endsWith(QLatin1Char('/')))
        S += QLatin1Char('/');
    return S;
}

// Code page 936 is a subset of GB18030 for every character it holds, and
// GB18030 keeps every other character as its 4-byte sequence, so nothing is lost.
QString DecodeText(const QByteArray &Bytes)
{
    QStringDecoder Decoder("GB18030");
    if (!Decoder.isValid())
        return QString::fromLocal8Bit(Bytes);
    return Decoder.decode(Bytes);
}

QByteArray EncodeText(const QString &Text)
{
    QStringEncoder Encoder("GB18030");
    if (!Encoder.isValid())
        return Text.toLocal8Bit();
    return Encoder.encode(Text);
}

} // namespace

QStringList LoadLines(const QString &FileName)
{
    QFile F(FileName);
    if (!QFileInfo(FileName).isFile() || !F.open(QIODevice::ReadOnly))
        throw EFOpenError(QStringLiteral("Cannot open file \"%1\". %2").arg(FileName, F.errorString()));
    const QString Text = DecodeText(F.readAll());
    QStringList Lines;
    qsizetype Start = 0;
    const qsizetype N = Text.size();
    for (qsizetype I = 0; I < N; ++I) {
        const QChar C = Text.at(I);
        if (C == QLatin1Char('\r') || C == QLatin1Char('\n')) {
            Lines.append(Text.mid(Start, I - Start));
            if (C == QLatin1Char('\r') && I + 1 < N && Text.at(I + 1) == QLatin1Char('\n'))
                ++I;
            Start = I + 1;
        }
    }
    if (Start < N)
        Lines.append(Text.mid(Start));
    return Lines;
}

void SaveLines(const QString &FileName, const QStringList &Lines)
{
    QString Text;
    for (const QString &L : Lines) {
        Text += L;
        Text += QStringLiteral("\r\n");
    }
    const QByteArray Bytes = EncodeText(Text);
    QSaveFile F(FileName);
    if (!F.open(QIODevice::WriteOnly) || F.write(Bytes) != Bytes.size() || !F.commit())
        throw EFCreateError(QStringLiteral("Cannot create file \"%1\". %2").arg(FileName, F.errorString()));
}

QString ProgramFolder()
{
    if (!GProgramFolder.isEmpty())
        return GProgramFolder;
    const QString Home = qEnvironmentVariable("QUILLBOOK_HOME");
    if (!Home.isEmpty())
        return WithSlash(Home);
    return WithSlash(QCoreApplication::applicationDirPath());
}

void SetProgramFolder(const QString &Folder)
{
    GProgramFolder = Folder.isEmpty() ? QString() : WithSlash(Folder);
}

QString ScratchFolder()
{
    const QString Folder = ProgramFolder() + QStringLiteral("tmp/") + QString::number(getpid()) + QLatin1Char('/');
    QDir().mkpath(Folder);
    return Folder;
}

bool FileExists(const QString &FileName)
{
    if (FileName.isEmpty() || (IsAbsoluteStoredPath(FileName) && !FileName.startsWith(QLatin1Char('/'))))
        return false;
    return QFileInfo(FileName).isFile();
}

bool DirectoryExists(const QString &Folder)
{
    return !Folder.isEmpty() && QFileInfo(Folder).isDir();
}

bool IsAbsoluteStoredPath(const QString &Path)
{
    if (Path.startsWith(QLatin1Char('/')))
        return true;
    return Path.size() >= 3 && Path.at(0).isLetter() && Path.at(1) == QLatin1Char(':')
        && (Path.at(2) == QLatin1Char('\\') || Path.at(2) == QLatin1Char('/'));
}

QString NativePath(const QString &StoredPath)
{
    QString S = StoredPath;
    S.replace(QLatin1Char('\\'), QLatin1Char('/'));
    return S;
}

QString ExtractFilePath(const QString &FileName)
{
    const QString S = NativePath(FileName);
    const qsizetype I = S.lastIndexOf(QLatin1Char('/'));
    return I < 0 ? QString() : FileName.left(I + 1);
}

QString ExtractFileName(const QString &FileName)
{
    const QString S = NativePath(FileName);
    return FileName.mid(S.lastIndexOf(QLatin1Char('/')) + 1);
}

QString ExtractFileExt(const QString &FileName)
{
    const QString Name = ExtractFileName(FileName);
    const qsizetype I = Name.lastIndexOf(QLatin1Char('.'));
    return I < 0 ? QString() : Name.mid(I);
}

} // namespace CatalogBridge
