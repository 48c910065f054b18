// libFuzzer entry for the shrink, reduce and implode decoders: any input ends
// without a fault, reading and writing only inside their buffers.

#include "LegacyFuzzHarness.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *Data, size_t Size)
{
    LegacyFuzz::Run(Data, Size);
    return 0;
}
