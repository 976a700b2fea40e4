// VTK 9.1's PLY reader trusts the file: element counts beyond the data make
// it read past the end (crash, or a near-endless warning loop for huge
// counts), face indices outside the vertex list crash it, and more than 255
// corners overflow a fixed array. This walks the file's structure without
// building anything and lets only consistent files through.

#include "io/bufferedfile.h"
#include "io/plyheaderwords.h"
#include "io/prechecks.h"
#include "io/textscan.h"

#include <climits>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

enum class Encoding { Ascii, LittleEndian, BigEndian };

struct Property {
    int size = 0;      // bytes of the scalar, or of each list item
    bool isFloat = false;
    bool isSigned = false;
    bool isList = false;
    int countSize = 0; // bytes of the list count
    bool countIsFloat = false;
    bool countIsSigned = false;
    bool isVertexIndices = false;
};

struct Element {
    std::string name;
    std::uint64_t count = 0;
    std::vector<Property> properties;
};

constexpr long long kMaxCorners = 255;
// The reader takes text lines with fgets into a buffer of this size and
// splits them as C strings: a NUL byte ends the line early and a longer line
// becomes two, and either leaves it reading values that are not there
// (double free, crash).
constexpr std::size_t kMaxTextLine = 4094; // and the line feed

bool scalarType(std::string_view t, int& size, bool& isFloat, bool& isSigned)
{
    PlyScalarType type;
    if (!plyScalarType(t, type))
        return false;
    size = type.size;
    isFloat = type.isFloat;
    isSigned = type.isSigned;
    return true;
}

std::vector<std::string> words(std::string_view line)
{
    const std::vector<std::string_view> views = plyWords(line);
    return std::vector<std::string>(views.begin(), views.end());
}

// Binary value of the given layout as a (truncated) integer.
long long binaryValue(const unsigned char* b, int size, bool isFloat, bool isSigned, Encoding enc)
{
    if (enc == Encoding::LittleEndian && !isFloat) {
        // The common layouts read directly; the host is little-endian (x86-64).
        switch (size) {
        case 1:
            return isSigned ? (long long)std::int8_t(b[0]) : (long long)b[0];
        case 4: {
            std::int32_t v;
            std::memcpy(&v, b, 4);
            return isSigned ? (long long)v : (long long)std::uint32_t(v);
        }
        default:
            break;
        }
    }
    unsigned char v[8];
    for (int i = 0; i < size; ++i)
        v[i] = enc == Encoding::LittleEndian ? b[i] : b[size - 1 - i];
    std::uint64_t raw = 0;
    for (int i = size - 1; i >= 0; --i)
        raw = raw << 8 | v[i];
    if (isFloat) {
        double d;
        if (size == 4) {
            float f;
            const std::uint32_t r32 = std::uint32_t(raw);
            std::memcpy(&f, &r32, 4);
            d = f;
        } else {
            std::memcpy(&d, &raw, 8);
        }
        // NaN and out-of-range values count as invalid.
        return d == d && d > -1e18 && d < 1e18 ? (long long)d : LLONG_MIN;
    }
    if (isSigned && size < 8 && (raw >> (8 * size - 1)) & 1)
        return (long long)(raw | (~std::uint64_t(0) << (8 * size)));
    return (long long)raw;
}

class PlyChecker {
public:
    PlyChecker(const std::string& path, std::string* error) : file_(path), error_(error) {}

    bool run()
    {
        if (!file_.isOpen())
            return true;
        std::string_view line;
        if (!file_.nextLine(line) || words(line) != std::vector<std::string>{"ply"})
            return true; // not a PLY file at all: the reader refuses it by itself
        if (!readHeader())
            return false;
        for (std::size_t e = 0; e < elements_.size(); ++e)
            if (!(encoding_ == Encoding::Ascii ? checkAscii(elements_[e]) : checkBinary(elements_[e])))
                return false;
        return true;
    }

private:
    bool fail(const std::string& what)
    {
        if (error_)
            *error_ = "Malformed PLY file: " + what + ".";
        return false;
    }

    // A text line the reader sees exactly as written.
    bool readableText(std::string_view line, const std::string& where)
    {
        if (line.find('\0') != std::string_view::npos)
            return fail(where + " holds a NUL byte");
        if (line.size() > kMaxTextLine)
            return fail(where + " is longer than 4094 characters");
        return true;
    }

    bool readHeader()
    {
        bool haveFormat = false;
        std::string_view line;
        while (file_.nextLine(line)) {
            if (!readableText(line, "a header line"))
                return false;
            const std::vector<std::string> w = words(line);
            if (w.empty())
                continue;
            if (w[0] == "end_header") {
                if (!haveFormat)
                    return fail("the header has no format line");
                return checkLayout();
            }
            if (w[0] == "format") {
                if (w.size() < 2)
                    return fail("unreadable format line");
                if (w[1] == "ascii")
                    encoding_ = Encoding::Ascii;
                else if (w[1] == "binary_little_endian")
                    encoding_ = Encoding::LittleEndian;
                else if (w[1] == "binary_big_endian")
                    encoding_ = Encoding::BigEndian;
                else
                    return fail("unknown format '" + w[1] + "'");
                haveFormat = true;
            } else if (w[0] == "element") {
                char* end = nullptr;
                const long long count = w.size() == 3 ? std::strtoll(w[2].c_str(), &end, 10) : -1;
                if (w.size() != 3 || *end != '\0' || count < 0 || count > INT_MAX)
                    return fail("unreadable element line");
                elements_.push_back({w[1], std::uint64_t(count), {}});
            } else if (w[0] == "property") {
                if (elements_.empty())
                    return fail("a property comes before any element");
                Property p;
                bool ok = false;
                if (w.size() == 5 && w[1] == "list") {
                    p.isList = true;
                    ok = scalarType(w[2], p.countSize, p.countIsFloat, p.countIsSigned)
                        && scalarType(w[3], p.size, p.isFloat, p.isSigned);
                    p.isVertexIndices = elements_.back().name == "face"
                        && (w[4] == "vertex_indices" || w[4] == "vertex_index");
                } else if (w.size() == 3) {
                    ok = scalarType(w[1], p.size, p.isFloat, p.isSigned);
                }
                if (!ok)
                    return fail("unreadable property line");
                elements_.back().properties.push_back(p);
            }
            // comment, obj_info and anything else: ignored, as the reader does
        }
        return fail("the header does not end");
    }

    bool checkLayout()
    {
        bool vertexSeen = false;
        for (const Element& e : elements_) {
            if (e.name == "vertex") {
                vertexSeen = true;
                vertexCount_ = e.count;
            }
            // The reader resolves face corners against the points read so far.
            if (e.name == "face" && e.count > 0 && !vertexSeen)
                return fail("faces come before the vertices");
        }
        return true;
    }

    bool checkIndex(long long index, long long corners, const Element& e, std::uint64_t record)
    {
        if (corners < 0 || corners > kMaxCorners)
            return fail(e.name + " " + std::to_string(record) + " has " + std::to_string(corners)
                        + " corners (at most 255 are supported)");
        if (index != LLONG_MIN && index >= 0 && std::uint64_t(index) < vertexCount_)
            return true;
        return fail(e.name + " " + std::to_string(record) + " refers to vertex "
                    + (index == LLONG_MIN ? std::string("(invalid)") : std::to_string(index)) + ", but the file has "
                    + std::to_string(vertexCount_) + " vertices");
    }

    bool truncated(const Element& e, std::uint64_t record)
    {
        return fail("the data ends in " + e.name + " " + std::to_string(record) + " of "
                    + std::to_string(e.count) + " declared");
    }

    bool checkBinary(const Element& e)
    {
        std::uint64_t fixedSize = 0;
        bool hasList = false;
        for (const Property& p : e.properties) {
            hasList = hasList || p.isList;
            fixedSize += std::uint64_t(p.size);
        }
        if (!hasList) {
            if (fixedSize == 0 || e.count == 0)
                return true;
            const std::uint64_t available = file_.remaining() / fixedSize;
            if (available < e.count)
                return truncated(e, available);
            return file_.skip(fixedSize * e.count) || truncated(e, available);
        }
        unsigned char buffer[8];
        for (std::uint64_t r = 0; r < e.count; ++r) {
            for (const Property& p : e.properties) {
                if (!p.isList) {
                    if (!file_.skip(std::uint64_t(p.size)))
                        return truncated(e, r);
                    continue;
                }
                if (!file_.read(buffer, std::size_t(p.countSize)))
                    return truncated(e, r);
                const long long n = binaryValue(buffer, p.countSize, p.countIsFloat, p.countIsSigned, encoding_);
                if (n < 0)
                    return fail(e.name + " " + std::to_string(r) + " has a negative list length");
                if (!p.isVertexIndices) {
                    if (!file_.skip(std::uint64_t(n) * std::uint64_t(p.size)))
                        return truncated(e, r);
                    continue;
                }
                if (n > kMaxCorners)
                    return checkIndex(0, n, e, r);
                for (long long k = 0; k < n; ++k) {
                    if (!file_.read(buffer, std::size_t(p.size)))
                        return truncated(e, r);
                    if (!checkIndex(binaryValue(buffer, p.size, p.isFloat, p.isSigned, encoding_), n, e, r))
                        return false;
                }
            }
        }
        return true;
    }

    // One record per line, values separated by blanks, as the reader expects.
    bool checkAscii(const Element& e)
    {
        std::string_view line;
        for (std::uint64_t r = 0; r < e.count; ++r) {
            if (!file_.nextLine(line))
                return truncated(e, r);
            if (!readableText(line, e.name + " " + std::to_string(r)))
                return false;
            plyWords(line, tokens_);
            std::size_t at = 0;
            for (const Property& p : e.properties) {
                if (at >= tokens_.size())
                    return fail(e.name + " " + std::to_string(r) + " has too few values");
                if (!p.isList) {
                    ++at;
                    continue;
                }
                long long n = 0;
                parseLeadingInteger(tokens_[at++], n); // no digits reads as 0, like atoi
                if (n < 0 || std::uint64_t(n) > tokens_.size() - at)
                    return fail(e.name + " " + std::to_string(r) + " has too few values");
                if (p.isVertexIndices) {
                    if (n > kMaxCorners)
                        return checkIndex(0, n, e, r);
                    for (long long k = 0; k < n; ++k) {
                        long long index = LLONG_MIN;
                        if (!parseLeadingInteger(tokens_[at + std::size_t(k)], index))
                            index = LLONG_MIN;
                        if (!checkIndex(index, n, e, r))
                            return false;
                    }
                }
                at += std::size_t(n);
            }
        }
        return true;
    }

    // Optionally signed leading digits of the token; false without digits.
    static bool parseLeadingInteger(std::string_view token, long long& value)
    {
        return parseSaturatedInteger(token.data(), token.data() + token.size(), value) != token.data();
    }

    BufferedFile file_;
    std::string* error_;
    Encoding encoding_ = Encoding::Ascii;
    std::vector<Element> elements_;
    std::uint64_t vertexCount_ = 0;
    std::vector<std::string_view> tokens_;
};

} // namespace

bool precheckPly(const std::string& path, std::string* error)
{
    return PlyChecker(path, error).run();
}
