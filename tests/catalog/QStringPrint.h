#pragma once
// Readable QString values in test failure messages.

#include <QString>
#include <ostream>

inline void PrintTo(const QString &S, std::ostream *Os)
{
    *Os << '"' << S.toStdString() << '"';
}
