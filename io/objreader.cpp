// OBJ files of positions and triangles. VTK's pipeline keeps every face in
// file order and its clean filter merges equal positions in first-use order;
// texture coordinates and normals never change the result, so their indices
// are ignored (a face whose position index is out of range is dropped).

#include "io/exactweld.h"
#include "io/mappedfile.h"
#include "io/nativereaders.h"
#include "io/parallelchunks.h"
#include "io/textscan.h"
#include "model/mesh/scratcharray.h"

#include <limits>
#include <string_view>

namespace {

constexpr std::uint32_t kBadIndex = std::numeric_limits<std::uint32_t>::max();

struct Piece {
    std::vector<Vec3f> points;
    std::vector<Triangle> faces; // 0-based; kBadIndex for an unusable index
    const char* unsupported = nullptr;
    int form = -1; // of the face references: slashes, and 4 when a texture index is given
};

bool isBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\r';
}

// Position index of one "v", "v/vt", "v//vn" or "v/vt/vn" reference, and
// which of these forms it has.
bool faceIndex(const char*& p, const char* end, std::uint32_t& index, int& form)
{
    std::uint64_t x = 0;
    const char* digits = p;
    for (; p != end && *p >= '0' && *p <= '9'; ++p)
        if (x < (std::uint64_t(1) << 40))
            x = x * 10 + std::uint64_t(*p - '0');
    if (p == digits)
        return false; // also a negative index: counted from the end, left to VTK
    index = x == 0 || x > kBadIndex ? kBadIndex : std::uint32_t(x - 1);
    form = 0;
    if (p != end && *p == '/') {
        ++p;
        form = 1 + (p != end && *p != '/' ? 4 : 0);
        for (; p != end && !isBlank(*p); ++p) {
            if (*p == '/')
                ++form;
            else if (!(*p >= '0' && *p <= '9'))
                return false;
        }
    }
    return p == end || isBlank(*p);
}

void parsePiece(const char* begin, const char* end, Piece& out)
{
    TextScan line(begin, begin);
    for (const char* p = begin; p < end;) {
        const void* nl = std::memchr(p, '\n', std::size_t(end - p));
        const char* lineEnd = nl ? static_cast<const char*>(nl) : end;
        const char* next = nl ? lineEnd + 1 : end;
        const char* e = lineEnd;
        while (e != p && isBlank(e[-1]))
            --e;
        const char* q = p;
        while (q != e && isBlank(*q))
            ++q;
        p = next;
        if (q == e || *q == '#')
            continue;
        if (e[-1] == '\\') {
            out.unsupported = "line continuation";
            return;
        }
        const char* w = q;
        while (w != e && !isBlank(*w))
            ++w;
        const std::string_view word(q, std::size_t(w - q));
        if (word == "v") {
            line = TextScan(w, e);
            Vec3f v;
            if (!line.number(v.x) || !line.number(v.y) || !line.number(v.z) || !line.atEnd()) {
                out.unsupported = "vertex line other than three finite numbers";
                return;
            }
            out.points.push_back(v);
        } else if (word == "f") {
            Triangle t;
            int corners = 0;
            for (q = w;;) {
                while (q != e && isBlank(*q))
                    ++q;
                if (q == e)
                    break;
                std::uint32_t index;
                int form = 0;
                if (corners == 3 || !faceIndex(q, e, index, form)) {
                    out.unsupported = corners == 3 ? "polygon with more than three corners" : "face reference form";
                    return;
                }
                // The reader refuses a file that mixes the forms.
                if (out.form >= 0 && form != out.form) {
                    out.unsupported = "mixed face reference forms";
                    return;
                }
                out.form = form;
                t.v[corners++] = index;
            }
            if (corners != 3) {
                out.unsupported = "face with fewer than three corners";
                return;
            }
            out.faces.push_back(t);
        } else if (!(word == "vt" || word == "vn" || word == "g" || word == "o" || word == "s" || word == "usemtl"
                     || word == "mtllib")) {
            out.unsupported = "statement other than v, f, vt, vn, g, o, s, usemtl, mtllib";
            return;
        }
    }
}

} // namespace

bool readObjNative(const std::string& path, std::vector<Vec3f>& vertices, std::vector<Triangle>& faces,
                   std::string& why)
{
    const MappedFile file(path);
    if (!file.isOpen()) {
        why = "unreadable file";
        return false;
    }
    std::vector<Piece> pieces(std::max(1u, std::thread::hardware_concurrency()));
    parseLinesInParallel(file.data(), file.data() + file.size(),
                         [&](std::size_t i, const char* b, const char* e) { parsePiece(b, e, pieces[i]); });
    std::size_t pointCount = 0, faceCount = 0;
    int form = -1;
    for (const Piece& piece : pieces) {
        if (piece.unsupported || (form >= 0 && piece.form >= 0 && piece.form != form)) {
            why = piece.unsupported ? piece.unsupported : "mixed face reference forms";
            return false;
        }
        form = piece.form >= 0 ? piece.form : form;
        pointCount += piece.points.size();
        faceCount += piece.faces.size();
    }
    std::vector<Vec3f> points;
    std::vector<Triangle> triangles;
    points.reserve(pointCount);
    triangles.reserve(faceCount);
    for (Piece& piece : pieces) {
        points.insert(points.end(), piece.points.begin(), piece.points.end());
        piece.points = {};
        for (const Triangle& t : piece.faces)
            if (t.inRange(pointCount))
                triangles.push_back(t);
        piece.faces = {};
    }
    ScratchArray<std::uint32_t> groups(points.size());
    ExactWeld weld(points.size());
    weld.insertManyInParallel(points.data(), points.size(), groups.data());
    compactTriangles(points, groups.data(), weld.points().size(), triangles.data(), triangles.size(), true, vertices,
                     faces);
    if (faces.empty()) {
        why = "no triangle left";
        return false;
    }
    return true;
}
