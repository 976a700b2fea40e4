// The comparison DXF's LINE reader on any bytes, with a small line limit so
// that the limit's path is reached too.
#include "export/dxflinereader.h"

#include <QBuffer>

#include <cstddef>
#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    QByteArray bytes(reinterpret_cast<const char*>(data), qsizetype(size));
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::ReadOnly);
    const DxfLineReadResult result = readDxfLines(buffer, 64);
    if (result.lines.size() > 64)
        std::abort(); // the limit holds
    return 0;
}
