// The PLY structure check on any bytes.
#include "fuzz/fuzzinput.h"
#include "io/prechecks.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    std::string error;
    precheckPly(fuzz::writeInput(data, size, ".ply"), &error);
    return 0;
}
