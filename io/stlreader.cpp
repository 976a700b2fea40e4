// Binary and ASCII STL with the VTK reader's merging: exact-equality point
// merging in first-seen order, triangles degenerate after merging dropped,
// then the clean filter's renumbering in first-use order.

#include "io/exactweld.h"
#include "io/mappedfile.h"
#include "io/nativereaders.h"
#include "io/stlformat.h"
#include "io/textscan.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace {

// Welds the corners corner(0) .. corner(3 n - 1) of n triangles.
template <class Corner>
bool weldAndCompact(std::size_t triangleCount, Corner corner, std::vector<Vec3f>& vertices,
                    std::vector<Triangle>& faces, std::string& why)
{
    if (triangleCount == 0) {
        why = "no triangle records";
        return false;
    }
    // A closed scan has about half as many points as triangles.
    ExactWeld weld(triangleCount / 2 + triangleCount / 64 + 1024);
    faces.clear();
    faces.reserve(triangleCount);
    faces.resize(triangleCount);
    if (!weld.insertManyInParallel(3 * triangleCount, corner, &faces[0].v[0])) {
        why = "non-finite coordinates";
        return false;
    }
    // Without a collapsed triangle the points are already numbered in
    // first-use order: the usual case needs no second pass.
    const auto collapsed = [](const Triangle& t) { return t.v[0] == t.v[1] || t.v[1] == t.v[2] || t.v[0] == t.v[2]; };
    if (std::none_of(faces.begin(), faces.end(), collapsed)) {
        vertices = weld.takePoints();
    } else {
        const std::vector<Triangle> grouped = std::move(faces);
        compactTriangles(weld.points(), nullptr, weld.points().size(), grouped.data(), grouped.size(), false,
                         vertices, faces);
    }
    if (faces.empty()) {
        why = "no triangle left";
        return false;
    }
    return true;
}

bool readBinary(const MappedFile& file, std::vector<Vec3f>& vertices, std::vector<Triangle>& faces, std::string& why)
{
    // The reader takes every whole 50-byte record, whatever the header
    // count says (the pre-flight check refuses a count beyond them).
    const std::size_t count = (file.size() - 84) / 50;
    const auto* h = reinterpret_cast<const unsigned char*>(file.data()) + 80;
    const std::uint32_t declared = std::uint32_t(h[0]) | std::uint32_t(h[1]) << 8 | std::uint32_t(h[2]) << 16
        | std::uint32_t(h[3]) << 24;
    if (declared > count) {
        why = "header count beyond the records";
        return false;
    }
    if (count == 0) {
        why = "no triangle records";
        return false;
    }
    const char* records = file.data() + 84;
    const auto corner = [records](std::size_t i) {
        Vec3f p;
        std::memcpy(&p, records + 50 * (i / 3) + 12 + 12 * (i % 3), 12);
        return p;
    };
    return weldAndCompact(count, corner, vertices, faces, why);
}

// solid name / facet normal n n n / outer loop / vertex x y z (three times) /
// endloop / endfacet ... / endsolid name. Anything else is left to VTK.
bool readAscii(const MappedFile& file, std::vector<Vec3f>& vertices, std::vector<Triangle>& faces, std::string& why)
{
    TextScan in(file.data(), file.data() + file.size());
    std::vector<Vec3f> corners;
    why = "ASCII layout the native reader does not take";
    // One or more solids, one after the other.
    do {
        if (!in.expect("solid"))
            return false;
        in.skipLine();
        for (;;) {
            const std::string_view word = in.token();
            if (word == "endsolid")
                break;
            float n;
            if (word != "facet" || !in.expect("normal") || !in.number(n) || !in.number(n) || !in.number(n)
                || !in.expect("outer") || !in.expect("loop"))
                return false;
            for (int k = 0; k < 3; ++k) {
                Vec3f p;
                if (!in.expect("vertex") || !in.number(p.x) || !in.number(p.y) || !in.number(p.z))
                    return false;
                corners.push_back(p);
            }
            if (!in.expect("endloop") || !in.expect("endfacet"))
                return false;
        }
        in.skipLine();
    } while (!in.atEnd());
    return weldAndCompact(
        corners.size() / 3, [&corners](std::size_t i) { return corners[i]; }, vertices, faces, why);
}

} // namespace

bool readStlNative(const std::string& path, std::vector<Vec3f>& vertices, std::vector<Triangle>& faces,
                   std::string& why)
{
    const MappedFile file(path);
    if (!file.isOpen() || file.size() == 0) {
        why = "unreadable or empty file";
        return false;
    }
    const std::size_t head = std::min<std::size_t>(file.size(), 256);
    if (!stlLooksBinary(reinterpret_cast<const unsigned char*>(file.data()), head))
        return readAscii(file, vertices, faces, why);
    if (file.size() < 84) {
        why = "binary file shorter than its header";
        return false;
    }
    return readBinary(file, vertices, faces, why);
}
