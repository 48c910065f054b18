// libFuzzer entry for the archive reader: any bytes, read as an archive (or
// a split set) the way the program reads one that came from elsewhere, end
// without a fault, within the size caps, and write nothing outside the
// destination (see ArchiveFuzzHarness.h). A breach aborts with its report.
//
// The seeds in tests/fixtures/ziparchive are small archives of the library
// itself (qb-*: ZipArchiveFuzz.SeedArchivesExtractWholeAndDamagedCopiesBreakNoRule
// writes them with QB_WRITE_ARCHIVE_SEEDS set to a folder; qb-split.zip is a
// split set, its parts joined by the harness's separator) and of Debian's zip,
// made in a small package folder (index.dat, page.qbt, images/logo.bin,
// images/sub/note.txt):
//   zip -X -0 zip-stored.zip index.dat page.qbt
//   echo "archive comment" | zip -X -r -z zip-folder.zip .
//   zip -X -P secret -n .bin zip-encrypted.zip index.dat page.qbt images/logo.bin
//   zip -X -fz zip-zip64.zip index.dat page.qbt
//   zip -X - index.dat note.txt | cat > zip-stream.zip     (data descriptors)
// and zip-truncated.zip, zip-folder.zip cut 30 bytes into its directory.

#include "ArchiveFuzzHarness.h"

#include <cstdio>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *Data, size_t Size)
{
    static ArchiveFuzz::Runner Runner;
    const ArchiveFuzz::Result R = Runner.Run(Data, Size);
    if (!R.Problems.isEmpty()) {
        for (const QString &P : R.Problems)
            std::fprintf(stderr, "%s\n", P.toLocal8Bit().constData());
        std::abort();
    }
    return 0;
}
