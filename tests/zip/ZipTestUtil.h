#pragma once
// Shared helpers of the zip library tests.

#include "TestSupport.h"

#include <QByteArray>
#include <QDateTime>
#include <QFile>
#include <QRandomGenerator>
#include <QString>
#include <QStringList>
#include <gtest/gtest.h>

namespace ZipTest {

using TestSupport::ReadAll;
using TestSupport::RunProgram;
using TestSupport::WriteAll;

// Bytes that compress somewhat (text-like) or not at all (random).
inline QByteArray TextBytes(int Size, int Seed)
{
    QByteArray B;
    B.reserve(Size);
    QRandomGenerator R{quint32(Seed)};
    static const char *Words[] = {"catalog ", "price ", "商品 ", "<td>", "</td>\r\n", "weight ", "unit "};
    while (B.size() < Size)
        B += QByteArray(Words[R.bounded(7)]);
    B.truncate(Size);
    return B;
}

inline QByteArray RandomBytes(int Size, int Seed)
{
    QByteArray B(Size, '\0');
    QRandomGenerator R{quint32(Seed)};
    for (int I = 0; I < Size; ++I)
        B[I] = char(R.bounded(256));
    return B;
}

// Runs a script with the system's python3 (the one the setup installs, not
// whichever comes first on PATH); returns its exit code, output in Out.
inline int Python(const QString &Script, const QStringList &Args = {}, QByteArray *Out = nullptr)
{
    return RunProgram(QStringLiteral("/usr/bin/python3"), QStringList{QStringLiteral("-c"), Script} + Args, Out);
}

// Moves a file's modification time by Seconds from now.
inline void SetFileAge(const QString &FileName, qint64 Seconds)
{
    QFile F(FileName);
    ASSERT_TRUE(F.open(QIODevice::ReadWrite));
    ASSERT_TRUE(F.setFileTime(QDateTime::currentDateTime().addSecs(Seconds), QFileDevice::FileModificationTime));
}

} // namespace ZipTest
