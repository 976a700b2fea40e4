// Temporary STL hand-over to the external repair program.
#include "model/repair/meshfixrunner.h"

#include "model/helper/helperprogram.h"
#include "model/mesh/flathash.h"

#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QThread>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <mutex>

namespace {

// Only one repair process at a time: it is memory-hungry and the hole filler
// may call in from several places.
std::mutex& meshFixMutex()
{
    static std::mutex mutex;
    return mutex;
}

constexpr int kFinishTimeoutMs = 60000;
constexpr int kPollMs = 50;

struct VertexKey {
    std::int64_t x = 0, y = 0, z = 0;
    bool operator==(const VertexKey& o) const { return x == o.x && y == o.y && z == o.z; }
};

struct VertexKeyHash {
    std::uint64_t operator()(const VertexKey& key) const
    {
        // FNV-1a over the three integers' bytes.
        std::uint64_t h = 1469598103934665603ull;
        for (std::int64_t value : {key.x, key.y, key.z}) {
            auto u = std::uint64_t(value);
            for (int i = 0; i < 8; ++i) {
                h ^= (u >> (8 * i)) & 0xffu;
                h *= 1099511628211ull;
            }
        }
        return h;
    }
};

VertexKey keyOf(float x, float y, float z)
{
    return {std::llround(double(x) * 1e6), std::llround(double(y) * 1e6), std::llround(double(z) * 1e6)};
}

void putFloat(char* out, float value)
{
    std::memcpy(out, &value, 4);
}

QStringList executableNames()
{
#ifdef _WIN32
    return {QStringLiteral("meshfix_cli.exe"), QStringLiteral("meshfix.exe")};
#else
    return {QStringLiteral("meshfix_cli"), QStringLiteral("meshfix")};
#endif
}

} // namespace

QString findMeshFixExecutable(const QString& searchDir)
{
    return findHelperProgram(executableNames(), searchDir);
}

namespace meshfix {

bool writeBinaryStl(const QString& path, const std::vector<Vec3f>& vertices, const std::vector<Triangle>& faces)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return false;
    std::uint32_t count = 0;
    for (const Triangle& t : faces)
        count += t.inRange(vertices.size()) ? 1u : 0u;

    QByteArray data(84 + qsizetype(count) * 50, '\0');
    char* out = data.data();
    std::memcpy(out + 80, &count, 4);
    out += 84;
    for (const Triangle& t : faces) {
        if (!t.inRange(vertices.size()))
            continue;
        const Vec3f a = vertices[t[0]], b = vertices[t[1]], c = vertices[t[2]];
        Vec3f n = cross(b - a, c - a);
        const float length = std::sqrt(dot(n, n));
        if (length > 0.0f)
            n = n * (1.0f / length);
        const std::array<Vec3f, 4> record{n, a, b, c};
        for (int i = 0; i < 4; ++i) {
            putFloat(out + 12 * i, record[std::size_t(i)].x);
            putFloat(out + 12 * i + 4, record[std::size_t(i)].y);
            putFloat(out + 12 * i + 8, record[std::size_t(i)].z);
        }
        out += 50; // attribute bytes stay zero
    }
    return file.write(data) == data.size() && file.flush();
}

bool readBinaryStl(const QString& path, std::vector<Vec3f>& vertices, std::vector<Triangle>& faces)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    const QByteArray data = file.readAll();
    if (data.size() < 84)
        return false;
    std::uint32_t count = 0;
    std::memcpy(&count, data.constData() + 80, 4);
    if (count == 0 || std::uint64_t(data.size()) < 84 + std::uint64_t(count) * 50)
        return false;

    std::vector<Vec3f> outVertices;
    std::vector<Triangle> outFaces;
    outFaces.reserve(count);
    outVertices.reserve(std::size_t(count) / 2 + 3);
    FlatHashMap<VertexKey, VertexKeyHash> weld(std::size_t(count) / 2 + 3);
    const char* in = data.constData() + 84;
    for (std::uint32_t i = 0; i < count; ++i, in += 50) {
        Triangle t;
        for (int corner = 0; corner < 3; ++corner) {
            float p[3];
            std::memcpy(p, in + 12 + 12 * corner, 12);
            const auto slot = weld.tryEmplace(keyOf(p[0], p[1], p[2]), std::uint32_t(outVertices.size()));
            if (slot.second)
                outVertices.push_back({p[0], p[1], p[2]});
            t[corner] = *slot.first;
        }
        outFaces.push_back(t);
    }
    vertices = std::move(outVertices);
    faces = std::move(outFaces);
    return true;
}

} // namespace meshfix

MeshFixResult runMeshFix(const std::vector<Vec3f>& vertices, const std::vector<Triangle>& faces,
                         const QString& searchDir, const ProgressStage& progress)
{
    MeshFixResult result;
    if (vertices.empty() || faces.empty()) {
        result.error = "Empty mesh \u2014 nothing to repair.";
        return result;
    }
    const QString program = findMeshFixExecutable(searchDir);
    if (program.isEmpty()) {
        result.error = "MeshFix executable not found next to the application.";
        return result;
    }
    QTemporaryDir tempDir;
    if (!tempDir.isValid()) {
        result.error = "Failed to create temporary directory.";
        return result;
    }
    const QString inputPath = tempDir.path() + QStringLiteral("/input.stl");
    const QString outputPath = tempDir.path() + QStringLiteral("/output.stl");
    if (!meshfix::writeBinaryStl(inputPath, vertices, faces)) {
        result.error = "Failed to write temporary input STL file.";
        return result;
    }

    const auto canceled = [&result]() {
        result.canceled = true;
        result.error = "Repair canceled.";
        return result;
    };
    std::unique_lock<std::mutex> lock(meshFixMutex(), std::defer_lock);
    while (!lock.try_lock()) {
        if (progress.canceled())
            return canceled();
        QThread::msleep(kPollMs);
    }

    const HelperRun run = runHelperProgram({program, {inputPath, outputPath}, tempDir.path(), kFinishTimeoutMs}, progress);
    result.report = run.report;
    switch (run.outcome) {
    case HelperRun::Outcome::NotStarted:
        result.error = "Failed to start MeshFix process.";
        return result;
    case HelperRun::Outcome::Canceled:
        return canceled();
    case HelperRun::Outcome::TimedOut:
        result.error = "MeshFix process timed out (60 s).";
        return result;
    case HelperRun::Outcome::Crashed:
        result.error = "MeshFix process crashed.";
        return result;
    case HelperRun::Outcome::Finished:
        break;
    }
    if (run.exitCode != 0) {
        result.error = "MeshFix exited with code " + std::to_string(run.exitCode);
        const std::string text = joinedReport(run);
        if (!text.empty())
            result.error += ": " + text;
        return result;
    }
    if (!QFileInfo::exists(outputPath)) {
        result.error = "MeshFix did not produce an output file.";
        return result;
    }
    if (!meshfix::readBinaryStl(outputPath, result.vertices, result.faces)) {
        result.vertices.clear();
        result.faces.clear();
        result.error = "Failed to read repaired STL file.";
        return result;
    }
    if (result.vertices.empty() || result.faces.empty()) {
        result.error = "Repaired mesh is empty.";
        return result;
    }
    result.success = true;
    return result;
}
