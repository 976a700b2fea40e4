// The session file reader on any bytes.
#include "io/sessionfile.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    SessionSettings settings;
    QString error;
    sessionFromJson(QByteArray(reinterpret_cast<const char*>(data), qsizetype(size)), &settings, &error);
    return 0;
}
