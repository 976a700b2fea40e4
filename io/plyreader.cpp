// ASCII and binary PLY with triangle faces (extra properties and elements
// skipped), plus "tristrips" elements. VTK's pipeline keeps the faces in file
// order, drops a face with an index outside the vertex list, and its clean
// filter merges equal positions in first-use order; that is reproduced here.

#include "io/exactweld.h"
#include "io/mappedfile.h"
#include "io/nativereaders.h"
#include "io/plyheaderwords.h"
#include "model/mesh/scratcharray.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>
#include <string_view>

namespace {

using Type = PlyScalarType;

struct Property {
    std::string_view name;
    Type type;         // of the scalar, or of each list item
    bool isList = false;
    Type countType;
};

struct Element {
    std::string_view name;
    std::uint64_t count = 0;
    std::vector<Property> properties;
};

enum class Encoding { Ascii, LittleEndian, BigEndian };

// Reads the file's values in order: binary in either byte order, or ASCII
// one element per line. Every failure (short data, unparsable text) leaves
// ok false.
class Values {
public:
    Values(const char* p, const char* end, Encoding encoding) : p_(p), end_(end), encoding_(encoding) {}

    bool ok() const { return ok_; }
    const char* position() const { return p_; }
    void seek(const char* p) { p_ = p; }

    // ASCII: the next element's line as words; false at the end of data.
    bool beginInstance()
    {
        if (encoding_ != Encoding::Ascii)
            return true;
        if (p_ >= end_)
            return ok_ = false;
        const void* nl = std::memchr(p_, '\n', std::size_t(end_ - p_));
        const char* e = nl ? static_cast<const char*>(nl) : end_;
        line_ = plyWords(std::string_view(p_, std::size_t(e - p_)));
        word_ = 0;
        p_ = nl ? e + 1 : end_;
        return ok_ = !line_.empty();
    }
    // ASCII: every word of the line used.
    bool endInstance() { return encoding_ != Encoding::Ascii || (ok_ = ok_ && word_ == line_.size()); }

    double value(Type t)
    {
        if (encoding_ == Encoding::Ascii)
            return text(t);
        if (end_ - p_ < t.size) {
            ok_ = false;
            return 0;
        }
        unsigned char b[8];
        for (int i = 0; i < t.size; ++i)
            b[i] = static_cast<unsigned char>(encoding_ == Encoding::LittleEndian ? p_[i] : p_[t.size - 1 - i]);
        p_ += t.size;
        if (t.isFloat) {
            if (t.size == 4) {
                float f;
                std::memcpy(&f, b, 4);
                return f;
            }
            double d;
            std::memcpy(&d, b, 8);
            return d;
        }
        std::uint64_t raw = 0;
        for (int i = t.size - 1; i >= 0; --i)
            raw = raw << 8 | b[i];
        if (t.isSigned && (raw >> (8 * t.size - 1)) & 1)
            return double(std::int64_t(raw | (~std::uint64_t(0) << (8 * t.size - 1) << 1)));
        return double(raw);
    }

private:
    double text(Type t)
    {
        if (word_ >= line_.size()) {
            ok_ = false;
            return 0;
        }
        const std::string_view w = line_[word_++];
        if (t.isFloat) {
            double d = 0;
            const auto r = std::from_chars(w.data(), w.data() + w.size(), d);
            ok_ = ok_ && r.ec == std::errc() && r.ptr == w.data() + w.size();
            return d;
        }
        long long i = 0;
        const auto r = std::from_chars(w.data(), w.data() + w.size(), i);
        ok_ = ok_ && r.ec == std::errc() && r.ptr == w.data() + w.size();
        return double(i);
    }

    const char* p_;
    const char* end_;
    Encoding encoding_;
    bool ok_ = true;
    std::vector<std::string_view> line_;
    std::size_t word_ = 0;
};

struct Header {
    Encoding encoding = Encoding::Ascii;
    std::vector<Element> elements;
    const char* data = nullptr;
};

bool parseHeader(const char* begin, const char* end, Header& h)
{
    const char* p = begin;
    bool first = true, format = false;
    while (p < end) {
        const void* nl = std::memchr(p, '\n', std::size_t(end - p));
        if (!nl)
            return false;
        const std::vector<std::string_view> w = plyWords(std::string_view(p, std::size_t(static_cast<const char*>(nl) - p)));
        p = static_cast<const char*>(nl) + 1;
        if (first) {
            if (w.size() != 1 || w[0] != "ply")
                return false;
            first = false;
            continue;
        }
        if (w.empty())
            return false;
        if (w[0] == "comment" || w[0] == "obj_info")
            continue;
        if (w[0] == "format" && w.size() == 3 && w[2] == "1.0" && !format) {
            format = true;
            if (w[1] == "ascii")
                h.encoding = Encoding::Ascii;
            else if (w[1] == "binary_little_endian")
                h.encoding = Encoding::LittleEndian;
            else if (w[1] == "binary_big_endian")
                h.encoding = Encoding::BigEndian;
            else
                return false;
        } else if (w[0] == "element" && w.size() == 3) {
            Element e;
            e.name = w[1];
            const auto r = std::from_chars(w[2].data(), w[2].data() + w[2].size(), e.count);
            if (r.ec != std::errc() || r.ptr != w[2].data() + w[2].size())
                return false;
            h.elements.push_back(e);
        } else if (w[0] == "property" && !h.elements.empty()) {
            Property prop;
            if (w.size() == 3 && plyScalarType(w[1], prop.type)) {
                prop.name = w[2];
            } else if (w.size() == 5 && w[1] == "list" && plyScalarType(w[2], prop.countType)
                       && plyScalarType(w[3], prop.type) && !prop.countType.isFloat) {
                prop.isList = true;
                prop.name = w[4];
            } else {
                return false;
            }
            h.elements.back().properties.push_back(prop);
        } else if (w[0] == "end_header" && w.size() == 1 && format) {
            h.data = p;
            return true;
        } else {
            return false;
        }
    }
    return false;
}

int propertyIndex(const Element& e, std::string_view name, bool list)
{
    for (std::size_t i = 0; i < e.properties.size(); ++i)
        if (e.properties[i].name == name && e.properties[i].isList == list)
            return int(i);
    return -1;
}

struct Soup {
    std::vector<Vec3f> points;
    std::vector<Triangle> triangles;
    std::size_t vertexCount = 0;
    const char* unsupported = nullptr;

    // A triangle with an index outside the vertex list is dropped.
    void add(double a, double b, double c)
    {
        const double n = double(vertexCount);
        if (a >= 0 && b >= 0 && c >= 0 && a < n && b < n && c < n)
            triangles.emplace_back(std::uint32_t(a), std::uint32_t(b), std::uint32_t(c));
    }
};

// Little-endian float x, y, z with nothing else of variable size: read by stride.
bool readPlainVertices(const Element& e, Values& in, const char* end, Soup& soup)
{
    std::size_t stride = 0, offset[3] = {0, 0, 0};
    int found = 0;
    for (const Property& p : e.properties) {
        if (p.isList)
            return false;
        for (int k = 0; k < 3; ++k)
            if (p.name == std::string_view(&"xyz"[k], 1)) {
                if (!p.type.isFloat || p.type.size != 4)
                    return false;
                offset[k] = stride;
                ++found;
            }
        stride += std::size_t(p.type.size);
    }
    if (found != 3 || std::size_t(end - in.position()) / stride < e.count)
        return false;
    const char* p = in.position();
    for (std::uint64_t i = 0; i < e.count; ++i, p += stride) {
        Vec3f v;
        std::memcpy(&v.x, p + offset[0], 4);
        std::memcpy(&v.y, p + offset[1], 4);
        std::memcpy(&v.z, p + offset[2], 4);
        soup.points.push_back(v);
    }
    in.seek(p);
    return true;
}

// Little-endian faces of one "list uchar int" property, three corners each:
// read by stride. False (nothing consumed) for any other layout or count.
bool readPlainTriangles(const Element& e, Values& in, const char* end, Soup& soup)
{
    if (e.properties.size() != 1 || e.properties[0].countType.size != 1 || e.properties[0].type.size != 4
        || e.properties[0].type.isFloat || std::size_t(end - in.position()) / 13 < e.count)
        return false;
    const bool isSigned = e.properties[0].type.isSigned;
    const char* p = in.position();
    for (std::uint64_t i = 0; i < e.count; ++i, p += 13)
        if (p[0] != 3)
            return false;
    p = in.position();
    for (std::uint64_t i = 0; i < e.count; ++i, p += 13) {
        std::uint32_t v[3];
        std::memcpy(v, p + 1, 12);
        if (isSigned)
            soup.add(double(std::int32_t(v[0])), double(std::int32_t(v[1])), double(std::int32_t(v[2])));
        else
            soup.add(double(v[0]), double(v[1]), double(v[2]));
    }
    in.seek(p);
    return true;
}

bool readElement(const Element& e, Encoding encoding, Values& in, const char* end, Soup& soup)
{
    const bool isVertex = e.name == "vertex";
    const bool isFace = e.name == "face", isStrips = e.name == "tristrips";
    int xyz[3] = {-1, -1, -1};
    int indices = -1;
    // A header count is only a claim: every instance takes at least a byte.
    const std::uint64_t plausible = std::min<std::uint64_t>(e.count, std::uint64_t(end - in.position()));
    if (isVertex) {
        if (!soup.points.empty() || propertyIndex(e, "x", false) < 0 || propertyIndex(e, "y", false) < 0
            || propertyIndex(e, "z", false) < 0)
            return (soup.unsupported = "vertex element without x, y and z"), false;
        soup.vertexCount = e.count;
        soup.points.reserve(plausible);
        if (encoding == Encoding::LittleEndian && readPlainVertices(e, in, end, soup))
            return true;
        for (int k = 0; k < 3; ++k)
            xyz[k] = propertyIndex(e, std::string_view(&"xyz"[k], 1), false);
    } else if (isFace || isStrips) {
        indices = propertyIndex(e, "vertex_indices", true);
        if (soup.points.empty() || indices < 0)
            return (soup.unsupported = "faces before the vertices or without vertex_indices"), false;
        soup.triangles.reserve(soup.triangles.size() + (isFace ? plausible : 0));
        if (isFace && encoding == Encoding::LittleEndian && readPlainTriangles(e, in, end, soup))
            return true;
    }
    // A binary element without properties takes no bytes, whatever its count.
    if (e.properties.empty() && encoding != Encoding::Ascii)
        return true;
    std::vector<double> list;
    for (std::uint64_t i = 0; i < e.count; ++i) {
        in.beginInstance();
        Vec3f v;
        for (std::size_t j = 0; j < e.properties.size(); ++j) {
            const Property& p = e.properties[j];
            if (!p.isList) {
                const double x = in.value(p.type);
                for (int k = 0; k < 3; ++k)
                    if (int(j) == xyz[k])
                        v[k] = float(x);
                continue;
            }
            const double n = in.value(p.countType);
            const double room = encoding == Encoding::Ascii ? 1e9 : double(end - in.position());
            if (!in.ok() || n < 0 || n > room)
                return (soup.unsupported = "damaged list"), false;
            list.resize(std::size_t(n));
            for (double& x : list)
                x = in.value(p.type);
            if (int(j) != indices)
                continue;
            if (isFace) {
                if (list.size() != 3)
                    return (soup.unsupported = "face with other than three corners"), false;
                soup.add(list[0], list[1], list[2]);
                continue;
            }
            // Strip: alternate the winding; -1 starts a new strip.
            std::size_t run = 0;
            for (std::size_t k = 0; k < list.size(); ++k) {
                if (list[k] == -1) {
                    run = 0;
                    continue;
                }
                if (++run >= 3) {
                    if (run % 2 == 1)
                        soup.add(list[k - 2], list[k - 1], list[k]);
                    else
                        soup.add(list[k - 1], list[k - 2], list[k]);
                }
            }
        }
        if (!in.endInstance() || !in.ok())
            return (soup.unsupported = "data shorter than declared or unreadable"), false;
        if (isVertex) {
            if (!(std::isfinite(v.x) && std::isfinite(v.y) && std::isfinite(v.z)))
                return (soup.unsupported = "non-finite coordinates"), false;
            soup.points.push_back(v);
        }
    }
    return true;
}

} // namespace

bool readPlyNative(const std::string& path, std::vector<Vec3f>& vertices, std::vector<Triangle>& faces,
                   std::string& why)
{
    const MappedFile file(path);
    Header header;
    if (!file.isOpen() || !parseHeader(file.data(), file.data() + file.size(), header)) {
        why = "header the native reader does not take";
        return false;
    }
    const char* end = file.data() + file.size();
    Values in(header.data, end, header.encoding);
    Soup soup;
    for (const Element& e : header.elements) {
        if (!readElement(e, header.encoding, in, end, soup)) {
            why = soup.unsupported ? soup.unsupported : "unreadable element";
            return false;
        }
    }
    for (const Vec3f& v : soup.points)
        if (!(std::isfinite(v.x) && std::isfinite(v.y) && std::isfinite(v.z))) {
            why = "non-finite coordinates";
            return false;
        }
    ScratchArray<std::uint32_t> groups(soup.points.size());
    ExactWeld weld(soup.points.size());
    weld.insertManyInParallel(soup.points.data(), soup.points.size(), groups.data());
    compactTriangles(soup.points, groups.data(), weld.points().size(), soup.triangles.data(), soup.triangles.size(),
                     true, vertices, faces);
    if (faces.empty()) {
        why = "no triangle left";
        return false;
    }
    return true;
}
