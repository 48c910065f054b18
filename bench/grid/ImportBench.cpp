// Imports into the grid, each beside a peer in the same run:
//   - 100,000 CSV lines x 10 fields (about 7.5 MB, code page 936, quoted
//     fields with delimiters and quotes) against python3's csv.reader;
//   - a 20,000 x 10 worksheet with a date column as .xls (written by xlwt) and
//     as .xlsx (written by openpyxl), and the .xls once more with numbers in
//     place of the dates, against xlrd reading every cell. The .xls pair shows
//     what the dates cost: a date cell becomes its date text, a number cell
//     its number text.
// Each time is the best of a few runs; the peers time themselves, without the
// interpreter's start. Prints the times and the ratios (ours / peer). Targets:
// CSV within 3x, worksheets within 1x.
//
//   grid_import_bench [runs] [work folder]

#include "grid/CellGrid.h"

#include "platform/core/Codec.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <memory>

namespace {

const QString Python = QStringLiteral("/usr/bin/python3");

QByteArray RunPython(const QString &Script, const QStringList &Args)
{
    QProcess P;
    P.start(Python, QStringList{QStringLiteral("-c"), Script} + Args);
    if (!P.waitForFinished(-1) || P.exitCode() != 0)
        qFatal("python failed: %s", P.readAllStandardError().constData());
    return P.readAllStandardOutput().trimmed();
}

void WriteCsv(const QString &FileName)
{
    static const char *Names[] = {"绿茶", "红茶 \"特级\"", "乌龙茶", "普洱, 熟茶", "white tea", "花茶"};
    QString Text;
    Text.reserve(8 << 20);
    for (int Row = 0; Row < 100000; ++Row) {
        const QString Name = QString::fromUtf8(Names[Row % 6]);
        const bool Quote = Name.contains(QLatin1Char('"')) || Name.contains(QLatin1Char(','));
        QString QuotedName = Name;
        QuotedName.replace(QLatin1String("\""), QLatin1String("\"\""));
        Text += QStringLiteral("%1,").arg(Row);
        Text += Quote ? QLatin1Char('"') + QuotedName + QLatin1Char('"') : Name;
        Text += QStringLiteral(",%1.%2,%3,2008-%4-%5,SKU-%6,%7,box,%8,note %9\r\n")
                    .arg(Row % 997)
                    .arg(Row % 100, 2, 10, QLatin1Char('0'))
                    .arg(Row * 7 % 1000)
                    .arg(Row % 12 + 1)
                    .arg(Row % 28 + 1)
                    .arg(Row, 6, 10, QLatin1Char('0'))
                    .arg(Row % 50)
                    .arg(Row % 3 ? QStringLiteral("是") : QStringLiteral("否"))
                    .arg(Row % 1000);
    }
    QFile F(FileName);
    const QByteArray Bytes = Cp936::Encode(Text);
    if (!F.open(QIODevice::WriteOnly) || F.write(Bytes) != Bytes.size())
        qFatal("cannot write %s", qPrintable(FileName));
}

const char *WorkbookScript = R"PY(
import sys, xlwt, openpyxl, datetime
xls, xlsx, plain = sys.argv[1:4]
wb = xlwt.Workbook(encoding='utf-8')
s = wb.add_sheet('数据')
wp = xlwt.Workbook(encoding='utf-8')
p = wp.add_sheet('数据')
x = openpyxl.Workbook()
a = x.active
date = xlwt.easyxf(num_format_str='YYYY-MM-DD')
for r in range(20000):
    row = [r, '商品%d' % (r % 500), r * 0.25, 'SKU-%06d' % r, datetime.date(2008, r % 12 + 1, r % 28 + 1),
           r % 97, '规格 %d' % (r % 7), r * 1.5, 'box', r % 3 == 0]
    for c, v in enumerate(row):
        if isinstance(v, datetime.date):
            s.write(r, c, v, date)
            p.write(r, c, r * 3)
        else:
            s.write(r, c, v)
            p.write(r, c, v)
    a.append(row)
    a.cell(row=r + 1, column=5).number_format = 'yyyy-mm-dd'
wb.save(xls)
wp.save(plain)
x.save(xlsx)
)PY";

const char *CsvPeer = R"PY(
import sys, csv, time
best = None
for i in range(int(sys.argv[2])):
    t = time.perf_counter()
    with open(sys.argv[1], encoding='gb18030', newline='') as f:
        rows = list(csv.reader(f))
    d = time.perf_counter() - t
    best = d if best is None else min(best, d)
print(best)
)PY";

const char *XlrdPeer = R"PY(
import sys, xlrd, time
best = None
for i in range(int(sys.argv[2])):
    t = time.perf_counter()
    b = xlrd.open_workbook(sys.argv[1])
    sh = b.sheet_by_index(0)
    rows = [sh.row_values(r) for r in range(sh.nrows)]
    d = time.perf_counter() - t
    best = d if best is None else min(best, d)
print(best)
)PY";

double BestOf(int Runs, const std::function<void()> &Run)
{
    double Best = 1e9;
    for (int I = 0; I < Runs; ++I) {
        QElapsedTimer T;
        T.start();
        Run();
        Best = std::min(Best, T.nsecsElapsed() / 1e9);
    }
    return Best;
}

void Report(const char *Case, double Ours, double Peer, double Target)
{
    std::printf("%-34s ours %.3f s  peer %.3f s  ratio %.2f (target <= %.0f)\n", Case, Ours, Peer, Ours / Peer,
                Target);
}

} // namespace

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", qgetenv("QT_QPA_PLATFORM").isEmpty() ? QByteArray("offscreen")
                                                                    : qgetenv("QT_QPA_PLATFORM"));
    QApplication App(argc, argv);
    const int Runs = argc > 1 ? std::max(1, QByteArray(argv[1]).toInt()) : 3;
    QTemporaryDir Tmp(argc > 2 ? QString::fromLocal8Bit(argv[2]) + QStringLiteral("/gridbench-XXXXXX") : QString());
    const QString Csv = Tmp.filePath(QStringLiteral("products.csv"));
    const QString Xls = Tmp.filePath(QStringLiteral("products.xls"));
    const QString Xlsx = Tmp.filePath(QStringLiteral("products.xlsx"));
    const QString PlainXls = Tmp.filePath(QStringLiteral("plain.xls"));
    WriteCsv(Csv);
    RunPython(QString::fromUtf8(WorkbookScript), {Xls, Xlsx, PlainXls});

    // Each run imports into a new grid; making and freeing the grid is not timed.
    auto BestLoad = [&](const std::function<void(TCellGrid &)> &Import, int ExpectRows) {
        double Best = 1e9;
        for (int I = 0; I < Runs; ++I) {
            auto G = std::make_unique<TCellGrid>();
            Best = std::min(Best, BestOf(1, [&] { Import(*G); }));
            if (G->RowCount() != ExpectRows)
                qFatal("imported %d rows, not %d", G->RowCount(), ExpectRows);
        }
        return Best;
    };
    const double OursCsv = BestLoad([&](TCellGrid &G) { G.LoadCSVFile(Csv); }, 100000);
    if (qEnvironmentVariableIsSet("QB_BENCH_CSV_ONLY"))
        return 0;
    const double PeerCsv = RunPython(QString::fromUtf8(CsvPeer), {Csv, QString::number(Runs)}).toDouble();
    Report("CSV 100,000 x 10 (csv.reader)", OursCsv, PeerCsv, 3);
    const double OursXls = BestLoad([&](TCellGrid &G) { G.LoadFromXLS(Xls); }, 20000);
    const double PeerXls = RunPython(QString::fromUtf8(XlrdPeer), {Xls, QString::number(Runs)}).toDouble();
    Report(".xls 20,000 x 10 (xlrd)", OursXls, PeerXls, 1);
    const double OursPlain = BestLoad([&](TCellGrid &G) { G.LoadFromXLS(PlainXls); }, 20000);
    const double PeerPlain = RunPython(QString::fromUtf8(XlrdPeer), {PlainXls, QString::number(Runs)}).toDouble();
    Report(".xls 20,000 x 10 no dates (xlrd)", OursPlain, PeerPlain, 1);
    const double OursXlsx = BestLoad([&](TCellGrid &G) { G.LoadFromXLS(Xlsx); }, 20000);
    const double PeerXlsx = RunPython(QString::fromUtf8(XlrdPeer), {Xlsx, QString::number(Runs)}).toDouble();
    Report(".xlsx 20,000 x 10 (xlrd)", OursXlsx, PeerXlsx, 1);
    return 0;
}
