// libFuzzer entry for the grid's .xls reader: any bytes give either a sheet or
// an error result, never a crash, a hang or a read outside the file. A sheet
// holds only cells within the limits, each with a text; a refusal leaves no
// cells. The bytes are read once without a sheet name (the active sheet) and
// once with the name of a sheet in the seeds.
//
// The seeds in tests/fixtures/xls are written by the tests' workbook script:
//   /usr/bin/python3 tests/grid/xls_workbooks.py --seeds tests/fixtures/xls

#include "grid/detail/XlsReader.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>

namespace {

void Check(WorkbookReader::TReadResult Result, const WorkbookReader::TSheet &Sheet)
{
    if (Result != WorkbookReader::rrOk && !Sheet.Cells.empty())
        std::abort();
    for (const auto &Cell : Sheet.Cells)
        if (Cell.Text.isEmpty() || Cell.Row < 0 || Cell.Row > 65535 || Cell.Col < 0 || Cell.Col > 16383)
            std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *Data, size_t Size)
{
    const auto *Bytes = reinterpret_cast<const uchar *>(Data);
    WorkbookReader::TSheet Sheet;
    Check(XlsReader::ReadSheet(Bytes, qsizetype(Size), QString(), Sheet), Sheet);
    Check(XlsReader::ReadSheet(Bytes, qsizetype(Size), QStringLiteral("数据"), Sheet), Sheet);
    return 0;
}
