#include "export/dxflinereader.h"

#include <QByteArray>
#include <QIODevice>

#include <cctype>
#include <cmath>
#include <cstring>

namespace {

// DXF group values are at most a few hundred characters; anything longer is
// not DXF and is only skipped.
constexpr qint64 kMaxLineBytes = 4096;

// Reads in large blocks and splits on '\n' itself: per-line device reads
// cost more than the parsing on files of hundreds of thousands of entities.
class LineSource {
public:
    explicit LineSource(QIODevice& device) : device_(device) {}

    // The next line, trimmed; false at the end of the file.
    bool next(QByteArray& line)
    {
        for (;;) {
            const char* data = buffer_.constData();
            const qsizetype size = buffer_.size();
            const void* found = pos_ < size ? std::memchr(data + pos_, '\n', std::size_t(size - pos_)) : nullptr;
            if (found) {
                const qsizetype end = static_cast<const char*>(found) - data;
                const qsizetype begin = pos_;
                pos_ = end + 1;
                if (skipping_) { // tail of an over-long line
                    skipping_ = false;
                    continue;
                }
                line = trimmed(data + begin, end - begin);
                return true;
            }
            if (!skipping_ && size - pos_ > kMaxLineBytes) {
                skipping_ = true; // not DXF: forget it rather than hold it
                pos_ = size;
            }
            buffer_.remove(0, pos_);
            pos_ = 0;
            const QByteArray more = device_.read(kBlockBytes);
            if (more.isEmpty()) {
                if (buffer_.isEmpty() || skipping_)
                    return false;
                line = trimmed(buffer_.constData(), buffer_.size()); // last line without a break
                buffer_.clear();
                return true;
            }
            buffer_ += more;
        }
    }

private:
    static constexpr qint64 kBlockBytes = 1 << 20;

    static QByteArray trimmed(const char* p, qsizetype n)
    {
        while (n > 0 && std::isspace(static_cast<unsigned char>(*p))) {
            ++p;
            --n;
        }
        while (n > 0 && std::isspace(static_cast<unsigned char>(p[n - 1])))
            --n;
        return QByteArray(p, n);
    }

    QIODevice& device_;
    QByteArray buffer_;
    qsizetype pos_ = 0;
    bool skipping_ = false;
};

// The value after the next line equal to code; false when the file ends first.
bool valueAfter(LineSource& source, const char* code, double& value)
{
    QByteArray line;
    while (source.next(line)) {
        if (line != code)
            continue;
        if (!source.next(line))
            return false;
        bool ok = false;
        value = line.toDouble(&ok);
        if (!ok)
            value = 0.0;
        return true;
    }
    return false;
}

} // namespace

DxfLineReadResult readDxfLines(QIODevice& device, int maxLines)
{
    DxfLineReadResult result;
    LineSource source(device);
    QByteArray line;
    while (source.next(line)) {
        if (line != "LINE")
            continue;
        double x1 = 0, y1 = 0, x2 = 0, y2 = 0;
        if (!valueAfter(source, "10", x1) || !valueAfter(source, "20", y1) || !valueAfter(source, "11", x2)
            || !valueAfter(source, "21", y2))
            break;
        if (!std::isfinite(x1) || !std::isfinite(y1) || !std::isfinite(x2) || !std::isfinite(y2)) {
            ++result.nonFiniteSkipped; // the canvas cannot place them anywhere
            continue;
        }
        if (result.lines.size() >= maxLines) {
            result.tooMany = true;
            break;
        }
        result.lines.append(QLineF(x1, y1, x2, y2));
    }
    return result;
}
