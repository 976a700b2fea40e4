// The STL structure check on any bytes.
#include "fuzz/fuzzinput.h"
#include "io/prechecks.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    std::string error;
    precheckStl(fuzz::writeInput(data, size, ".stl"), &error);
    return 0;
}
