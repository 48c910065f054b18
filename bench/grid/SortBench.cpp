// Sorting 100,000 grid rows beside std::stable_sort over the same keys in the
// same process:
//   - a numeric column sorted with soAuto, against parsing every text once
//     into a number and stable-sorting (value, row) pairs;
//   - a Chinese text column sorted with soText (code page 936 byte order),
//     against encoding every text once and stable-sorting (bytes, row) pairs;
//   - a column of 100 values whose ties go on to the Chinese text column
//     (Full), against stable-sorting (number, bytes, row) triples.
// The peers' times include their parsing and encoding. Each time is the best
// of a few runs on a freshly filled grid (filling is not timed). Prints the
// times and the ratios (grid / peer); target: within 3x.
//
//   grid_sort_bench [runs]

#include "grid/CellGrid.h"

#include "platform/core/Codec.h"
#include "platform/core/SysUtils.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QRandomGenerator>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <numeric>

namespace {

constexpr int Rows = 100000;

QStringList NumberTexts()
{
    QRandomGenerator Rng(24);
    QStringList L;
    for (int I = 0; I < Rows; ++I)
        L << QString::number(Rng.bounded(1000000) / 100.0, 'f', I % 3);
    return L;
}

QStringList ChineseTexts()
{
    QRandomGenerator Rng(936);
    QStringList L;
    for (int I = 0; I < Rows; ++I) {
        QString S;
        const int N = 2 + int(Rng.bounded(5));
        for (int K = 0; K < N; ++K)
            S += QChar(char16_t(0x4E00 + Rng.bounded(0x51A5)));
        L << S;
    }
    return L;
}

double BestOf(int Runs, const std::function<void()> &Prepare, const std::function<void()> &Work)
{
    double Best = 1e300;
    for (int R = 0; R < Runs; ++R) {
        Prepare();
        QElapsedTimer T;
        T.start();
        Work();
        Best = std::min(Best, T.nsecsElapsed() / 1e9);
    }
    return Best;
}

} // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication App(argc, argv);
    const int Runs = argc > 1 ? std::max(1, atoi(argv[1])) : 3;
    const QStringList Numbers = NumberTexts(), Words = ChineseTexts();

    TCellGrid Grid;
    auto Fill = [&]() {
        Grid.SetRowCount(1);
        Grid.SetColCount(3);
        Grid.SetRowCount(Rows + 1);
        Grid.SetFixedRows(1);
        for (int R = 0; R < Rows; ++R) {
            Grid.SetCellText(1, R + 1, Numbers[R]);
            Grid.SetCellText(2, R + 1, Words[R]);
        }
    };
    Grid.SortSettings()->Full = false;

    std::printf("rows: %d, best of %d runs\n", Rows, Runs);
    // Numbers, soAuto.
    Grid.OnGetFormat = nullptr;
    const double GridNum = BestOf(Runs, Fill, [&]() {
        Grid.SortSettings()->Column = 1;
        Grid.SortByColumn();
    });
    for (int R = 2; R <= Rows; ++R)
        if (StrToFloatDef(Grid.PlainCells(1, R - 1), 0) > StrToFloatDef(Grid.PlainCells(1, R), 0))
            qFatal("numbers out of order at row %d", R);
    const double PeerNum = BestOf(Runs, []() {}, [&]() {
        std::vector<std::pair<double, int>> Keys(static_cast<size_t>(Rows));
        for (int R = 0; R < Rows; ++R) {
            double V = 0;
            TryStrToFloat(Numbers[R], V);
            Keys[size_t(R)] = {V, R};
        }
        std::stable_sort(Keys.begin(), Keys.end(), [](const auto &A, const auto &B) { return A.first < B.first; });
    });

    // Chinese text, soText.
    Grid.OnGetFormat = [](TObject *, int, TSortStyle &S, QString &, QString &) { S = soText; };
    const double GridText = BestOf(Runs, Fill, [&]() {
        Grid.SortSettings()->Column = 2;
        Grid.SortByColumn();
    });
    for (int R = 2; R <= Rows; ++R)
        if (Cp936::Encode(Grid.PlainCells(2, R - 1)) > Cp936::Encode(Grid.PlainCells(2, R)))
            qFatal("texts out of order at row %d", R);
    const double PeerText = BestOf(Runs, []() {}, [&]() {
        std::vector<std::pair<QByteArray, int>> Keys(static_cast<size_t>(Rows));
        for (int R = 0; R < Rows; ++R)
            Keys[size_t(R)] = {Cp936::Encode(Words[R]), R};
        std::stable_sort(Keys.begin(), Keys.end(), [](const auto &A, const auto &B) { return A.first < B.first; });
    });

    // Few values: most comparisons tie and go on to the text column.
    Grid.OnGetFormat = [](TObject *, int ACol, TSortStyle &S, QString &, QString &) {
        S = ACol == 1 ? soNumber : soText;
    };
    Grid.SortSettings()->Full = true;
    auto FillTies = [&]() {
        Fill();
        for (int R = 0; R < Rows; ++R)
            Grid.SetCellText(1, R + 1, QString::number(R % 100));
    };
    const double GridTies = BestOf(Runs, FillTies, [&]() {
        Grid.SortSettings()->Column = 1;
        Grid.SortByColumn();
    });
    for (int R = 2; R <= Rows; ++R) {
        const int A = Grid.PlainCells(1, R - 1).toInt(), B = Grid.PlainCells(1, R).toInt();
        if (A > B || (A == B && Cp936::Encode(Grid.PlainCells(2, R - 1)) > Cp936::Encode(Grid.PlainCells(2, R))))
            qFatal("ties out of order at row %d", R);
    }
    Grid.SortSettings()->Full = false;
    const double PeerTies = BestOf(Runs, []() {}, [&]() {
        struct TKey {
            double Value;
            QByteArray Bytes;
            int Row;
        };
        std::vector<TKey> Keys(static_cast<size_t>(Rows));
        for (int R = 0; R < Rows; ++R) {
            double V = 0;
            TryStrToFloat(QString::number(R % 100), V);
            Keys[size_t(R)] = {V, Cp936::Encode(Words[R]), R};
        }
        std::stable_sort(Keys.begin(), Keys.end(), [](const TKey &A, const TKey &B) {
            return A.Value < B.Value || (A.Value == B.Value && A.Bytes < B.Bytes);
        });
    });

    std::printf("numbers soAuto: grid %.3f s, stable_sort over parsed keys %.3f s, ratio %.2f\n", GridNum, PeerNum,
                GridNum / PeerNum);
    std::printf("chinese soText: grid %.3f s, stable_sort over encoded keys %.3f s, ratio %.2f\n", GridText,
                PeerText, GridText / PeerText);
    std::printf("100 values, ties by text: grid %.3f s, stable_sort over (number, bytes) %.3f s, ratio %.2f\n",
                GridTies, PeerTies, GridTies / PeerTies);
    return 0;
}
