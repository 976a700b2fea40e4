// Binary STL, binary PLY and OBJ; 3MF is in meshwriter_3mf.cpp. Output goes
// through one reused buffer of about a megabyte: a full-size file image would
// cost more in fresh memory than the writing itself.
#include "export/meshwriter.h"

#include <QFileInfo>
#include <QSaveFile>

#include <algorithm>
#include <charconv>
#include <iterator>
#include <cmath>
#include <cstring>

namespace {

constexpr std::size_t kBufferBytes = std::size_t(1) << 20;
constexpr const char* kCanceled = "Export canceled.";

// Chunked output into a QSaveFile; remembers the first failure.
class Output {
public:
    explicit Output(QSaveFile& file) : file_(file) { buffer_.reserve(kBufferBytes + 256); }

    void append(const char* data, std::size_t n)
    {
        buffer_.insert(buffer_.end(), data, data + n);
        if (buffer_.size() >= kBufferBytes)
            flush();
    }
    void append(const std::string& text) { append(text.data(), text.size()); }
    // Room for n more bytes at the end, to be filled in place.
    char* grow(std::size_t n)
    {
        const std::size_t at = buffer_.size();
        buffer_.resize(at + n);
        return buffer_.data() + at;
    }
    void maybeFlush()
    {
        if (buffer_.size() >= kBufferBytes)
            flush();
    }
    bool flush()
    {
        if (ok_ && !buffer_.empty())
            ok_ = file_.write(buffer_.data(), qint64(buffer_.size())) == qint64(buffer_.size());
        buffer_.clear();
        return ok_;
    }
    bool ok() const { return ok_; }

private:
    QSaveFile& file_;
    std::vector<char> buffer_;
    bool ok_ = true;
};

void putFloat(char* out, float value)
{
    std::memcpy(out, &value, 4);
}

// Asked every kProgressPollInterval triangles; false once cancelled.
bool keepGoing(const ItemProgress& progress, std::size_t done)
{
    return !progress || done % kProgressPollInterval != 0 || progress(int(done));
}

bool writeStl(Output& out, const std::vector<Vec3f>& vertices, const std::vector<Triangle>& faces,
              std::size_t count, const ItemProgress& progress)
{
    char header[80] = {};
    // Anything but "solid" at the start, which readers take for ASCII.
    std::strncpy(header, "binary STL written by Halvoran", sizeof(header));
    out.append(header, 80);
    const auto n = std::uint32_t(count);
    out.append(reinterpret_cast<const char*>(&n), 4);
    std::size_t done = 0;
    for (const Triangle& t : faces) {
        if (!t.inRange(vertices.size()))
            continue;
        if (!keepGoing(progress, done))
            return false;
        const Vec3f a = vertices[t[0]], b = vertices[t[1]], c = vertices[t[2]];
        Vec3f normal = cross(b - a, c - a);
        const float length = std::sqrt(dot(normal, normal));
        normal = length > 0.0f ? normal * (1.0f / length) : Vec3f{};
        char* record = out.grow(50);
        const Vec3f corners[4] = {normal, a, b, c};
        for (int i = 0; i < 4; ++i)
            for (int k = 0; k < 3; ++k)
                putFloat(record + 12 * i + 4 * k, corners[i][k]);
        record[48] = record[49] = 0;
        out.maybeFlush();
        ++done;
    }
    return true;
}

bool writePly(Output& out, const std::vector<Vec3f>& vertices, const std::vector<Triangle>& faces,
              const meshwriter::Compacted& used, const ItemProgress& progress)
{
    out.append("ply\nformat binary_little_endian 1.0\ncomment written by Halvoran\nelement vertex " +
               std::to_string(used.used.size()) +
               "\nproperty float x\nproperty float y\nproperty float z\nelement face " +
               std::to_string(used.triangles) + "\nproperty list uchar int vertex_indices\nend_header\n");
    for (std::uint32_t v : used.used) {
        char* record = out.grow(12);
        for (int k = 0; k < 3; ++k)
            putFloat(record + 4 * k, vertices[v][k]);
        out.maybeFlush();
    }
    std::size_t done = 0;
    for (const Triangle& t : faces) {
        if (!t.inRange(vertices.size()))
            continue;
        if (!keepGoing(progress, done))
            return false;
        char* record = out.grow(13);
        record[0] = 3;
        for (int c = 0; c < 3; ++c) {
            const std::int32_t index = std::int32_t(used.newIndex[t[c]]);
            std::memcpy(record + 1 + 4 * c, &index, 4);
        }
        out.maybeFlush();
        ++done;
    }
    return true;
}

// Shortest text that reads back as the same float.
char* putNumber(char* at, char* end, float value)
{
    return std::to_chars(at, end, value).ptr;
}

bool writeObj(Output& out, const std::vector<Vec3f>& vertices, const std::vector<Triangle>& faces,
              const meshwriter::Compacted& used, const ItemProgress& progress)
{
    out.append("# written by Halvoran, millimetres\n");
    char line[128];
    char* const end = line + sizeof(line);
    for (std::uint32_t v : used.used) {
        char* p = line;
        *p++ = 'v';
        for (int k = 0; k < 3; ++k) {
            *p++ = ' ';
            p = putNumber(p, end, vertices[v][k]);
        }
        *p++ = '\n';
        out.append(line, std::size_t(p - line));
    }
    std::size_t done = 0;
    for (const Triangle& t : faces) {
        if (!t.inRange(vertices.size()))
            continue;
        if (!keepGoing(progress, done))
            return false;
        char* p = line;
        *p++ = 'f';
        for (int c = 0; c < 3; ++c) {
            *p++ = ' ';
            p = std::to_chars(p, end, used.newIndex[t[c]] + 1).ptr;
        }
        *p++ = '\n';
        out.append(line, std::size_t(p - line));
        ++done;
    }
    return true;
}

} // namespace

const MeshFileType& meshFileType(MeshFileFormat format)
{
    for (const MeshFileType& type : kMeshFileTypes)
        if (type.format == format)
            return type;
    return kMeshFileTypes[0];
}

const MeshFileType* meshFileTypeForPath(const QString& path)
{
    const QString suffix = QFileInfo(path).suffix().toLower();
    for (const MeshFileType& type : kMeshFileTypes)
        if (suffix == QLatin1String(type.suffix))
            return &type;
    return nullptr;
}

namespace meshwriter {

Compacted compact(const std::vector<Vec3f>& vertices, const std::vector<Triangle>& faces)
{
    Compacted c;
    c.newIndex.assign(vertices.size(), UINT32_MAX);
    for (const Triangle& t : faces) {
        if (!t.inRange(vertices.size()))
            continue;
        ++c.triangles;
        for (int k = 0; k < 3; ++k) {
            std::uint32_t& slot = c.newIndex[t[k]];
            if (slot == UINT32_MAX) {
                slot = std::uint32_t(c.used.size());
                c.used.push_back(t[k]);
            }
        }
    }
    return c;
}

} // namespace meshwriter

bool writeMeshFile(const QString& path, MeshFileFormat format, const std::vector<Vec3f>& vertices,
                   const std::vector<Triangle>& faces, std::string* error, std::size_t* triangles,
                   const ItemProgress& progress)
{
    const auto fail = [error](const std::string& why) {
        if (error)
            *error = why;
        return false;
    };
    // 3MF forbids a triangle that repeats a corner; the other formats keep
    // what the mesh has.
    const auto repeatsCorner = [](const Triangle& t) { return t[0] == t[1] || t[1] == t[2] || t[0] == t[2]; };
    std::vector<Triangle> distinct;
    const std::vector<Triangle>* written = &faces;
    if (format == MeshFileFormat::ThreeMf && std::any_of(faces.begin(), faces.end(), repeatsCorner)) {
        std::copy_if(faces.begin(), faces.end(), std::back_inserter(distinct),
                     [&](const Triangle& t) { return !repeatsCorner(t); });
        written = &distinct;
    }
    meshwriter::Compacted used;
    if (format == MeshFileFormat::Stl) {
        for (const Triangle& t : faces)
            used.triangles += t.inRange(vertices.size()) ? 1 : 0;
    } else {
        used = meshwriter::compact(vertices, *written);
    }
    if (used.triangles == 0)
        return fail("The mesh has no triangles to write.");
    if (used.triangles > 0xffffffffu)
        return fail("The mesh has too many triangles for the file format.");

    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return fail(file.errorString().toStdString());
    Output out(file);
    bool finished = true;
    switch (format) {
    case MeshFileFormat::Stl:
        finished = writeStl(out, vertices, faces, used.triangles, progress);
        break;
    case MeshFileFormat::Ply:
        finished = writePly(out, vertices, faces, used, progress);
        break;
    case MeshFileFormat::Obj:
        finished = writeObj(out, vertices, faces, used, progress);
        break;
    case MeshFileFormat::ThreeMf: {
        std::vector<unsigned char> bytes;
        std::string why;
        if (!meshwriter::threeMfBytes(vertices, *written, used, bytes, why, progress)) {
            file.cancelWriting();
            return fail(why);
        }
        if (progress && !progress(int(used.triangles))) {
            file.cancelWriting();
            return fail(kCanceled);
        }
        // Written as it is rather than through the chunk buffer.
        if (!out.flush() || file.write(reinterpret_cast<const char*>(bytes.data()), qint64(bytes.size())) !=
                                qint64(bytes.size()))
            return fail(file.errorString().toStdString());
        break;
    }
    }
    if (!finished) {
        file.cancelWriting();
        return fail(kCanceled);
    }
    if (!out.flush() || !file.commit())
        return fail(file.errorString().toStdString());
    if (triangles)
        *triangles = used.triangles;
    return true;
}
