// libFuzzer entry for the grid's cell stream reader: any bytes loaded into a
// grid at a few origins either fail with EReadError and leave the grid as it
// was, or load; what loaded is walked through its merges and painted, and
// saves again and loads back without an error.
//
// With QB_CELLSTREAM_SEEDS set to a folder, the target writes its seed
// streams there and stops (they live in tests/fixtures/cellstream):
//   QB_CELLSTREAM_SEEDS=tests/fixtures/cellstream build-fuzz/tests/cellstream_fuzzer

#include "grid/CellGrid.h"
#include "grid/CellGridClipboard.h"

#include <QApplication>
#include <QDir>
#include <QFile>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>

namespace {

void WriteSeed(const QString &Folder, const QString &Name, TCellGrid &G, const TRect &Block)
{
    TMemoryStream M;
    G.SaveCellsToStream(Block, &M);
    QFile F(QDir(Folder).filePath(Name));
    if (!F.open(QIODevice::WriteOnly) || F.write(M.Bytes()) != M.Bytes().size())
        std::abort();
}

void WriteSeeds(const QString &Folder)
{
    QDir().mkpath(Folder);
    TCellGrid G;
    G.SetColCount(5);
    G.SetRowCount(6);
    G.SetCellText(1, 1, QStringLiteral("合并"));
    G.MergeCellBlock(1, 1, 2, 2);
    G.GetCellProperties(3, 1)->SetBrushColor(clRed);
    G.GetCellProperties(3, 1)->FontStyle = fsBold;
    G.SetCellText(3, 2, QStringLiteral("pic"));
    TBitmap B(4, 3);
    G.CreateCellPicture(3, 2, false, 0, 0, haLeft, vaTop)->SetGraphic(&B);
    G.SetCellText(4, 5, QStringLiteral("尾, \"quoted\"\r\nline"));
    auto *Check = new TCellGraphic;
    Check->CellType = ctCheckBox;
    Check->CellBoolean = true;
    G.SetCellGraphic(1, 4, Check);
    G.SetCellText(2, 4, G.CheckTrue);
    auto *Virtual = new TCellGraphic;   // the kind an application shares between cells
    Virtual->CellType = ctVirtCheckBox;
    G.SetCellGraphic(2, 4, Virtual);
    WriteSeed(Folder, QStringLiteral("checks.bin"), G, TRect(1, 4, 2, 4));
    G.RemoveCellGraphic(2, 4);
    delete Virtual;
    WriteSeed(Folder, QStringLiteral("block.bin"), G, TRect(1, 1, 3, 3));
    WriteSeed(Folder, QStringLiteral("whole.bin"), G, TRect(0, 0, 4, 5));
    WriteSeed(Folder, QStringLiteral("text.bin"), G, TRect(4, 5, 4, 5));
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    static int Argc = 1;
    static char Name[] = "cellstream_fuzzer";
    static char *Argv[] = {Name, nullptr};
    static QApplication App(Argc, Argv);
    const QString Seeds = qEnvironmentVariable("QB_CELLSTREAM_SEEDS");
    if (!Seeds.isEmpty()) {
        WriteSeeds(Seeds);
        std::exit(0);
    }
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *Data, size_t Size)
{
    const QByteArray Bytes(reinterpret_cast<const char *>(Data), qsizetype(Size));
    TCellGrid G;
    G.SetColCount(6);
    G.SetRowCount(7);
    G.SetCellText(1, 1, QStringLiteral("keep"));
    G.GetCellProperties(2, 2)->SetBrushColor(clBlue);
    const TPoint Origin(int(Size % 3), int(Size % 5));
    TMemoryStream In;
    In.WriteBytes(Bytes);
    In.SetPosition(0);
    try {
        G.LoadCellsFromStream(Origin, &In);
    } catch (const EReadError &) {
        if (G.GetCellText(1, 1) != QStringLiteral("keep") || G.ColCount() != 6 || G.RowCount() != 7)
            std::abort();   // a refused stream changed the grid
        return 0;
    }
    // What loaded is walked through its merges, painted, then goes out and back in again.
    for (int R = 0; R < G.RowCount(); ++R)
        for (int C = 0; C < G.ColCount(); ++C) {
            G.BaseCell(C, R);
            G.CellSpan(C, R);
            G.GetCellRect(C, R);
            G.GetCellText(C, R);
        }
    G.resize(320, 200);
    G.grab();
    G.SetTopRow(std::max(G.FixedRows(), G.RowCount() - 2));
    G.grab();
    TMemoryStream Out;
    G.SaveCellsToStream(TRect(0, 0, G.ColCount() - 1, G.RowCount() - 1), &Out);
    Out.SetPosition(0);
    TCellGrid Copy;
    Copy.LoadCellsFromStream(TPoint(0, 0), &Out);
    return 0;
}
