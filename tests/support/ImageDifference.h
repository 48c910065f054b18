#pragma once

#include <QImage>

#include <algorithm>
#include <cstdlib>

namespace TestSupport {

// The largest difference of one colour channel between two pictures of one
// size; 256 when either is missing or their sizes differ.
inline int LargestDifference(const QImage &A, const QImage &B)
{
    if (A.isNull() || A.size() != B.size())
        return 256;
    const QImage X = A.convertToFormat(QImage::Format_RGB888), Y = B.convertToFormat(QImage::Format_RGB888);
    int Worst = 0;
    for (int Row = 0; Row < X.height(); ++Row) {
        const uchar *P = X.constScanLine(Row), *Q = Y.constScanLine(Row);
        for (int I = 0; I < X.width() * 3; ++I)
            Worst = std::max(Worst, std::abs(int(P[I]) - int(Q[I])));
    }
    return Worst;
}

} // namespace TestSupport
