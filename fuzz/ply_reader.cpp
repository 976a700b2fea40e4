// The native PLY reader on any bytes.
#include "fuzz/nativereaderinput.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    return fuzz::checkNativeReader(readPlyNative, data, size, ".ply");
}
