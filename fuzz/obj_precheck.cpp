// The OBJ structure check on any bytes.
#include "fuzz/fuzzinput.h"
#include "io/prechecks.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    std::string error;
    precheckObj(fuzz::writeInput(data, size, ".obj"), &error);
    return 0;
}
