// The hand-over to the external repair program: messages for every way the
// program can fail, the STL exchange format, and the local stand-in.
#include "model/repair/holes.h"
#include "model/repair/meshfixrunner.h"
#include "model/repair/repairtools.h"
#include "tests/core/fixtures/shapes.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <map>
#include <tuple>

namespace {

struct Box {
    std::vector<Vec3f> vertices;
    std::vector<Triangle> faces;
};

Box closedBox()
{
    const MeshModel m = shapes::box({2, 3, 4});
    Box b{m.vertices.vec(), m.faces.vec()};
    shapes::weldExact(b.vertices, b.faces);
    return b;
}

Box openBox()
{
    Box b = closedBox();
    std::vector<Triangle> kept;
    for (const Triangle& t : b.faces)
        if (!(b.vertices[t[0]].z == 4 && b.vertices[t[1]].z == 4 && b.vertices[t[2]].z == 4))
            kept.push_back(t);
    b.faces = kept;
    return b;
}

// A directory holding one fake program with the given shell body.
class FakeProgram {
public:
    FakeProgram(const QString& name, const QByteArray& body, bool executable = true)
    {
        add(name, body, executable);
    }
    void add(const QString& name, const QByteArray& body, bool executable = true)
    {
        QFile file(dir_.filePath(name));
        file.open(QIODevice::WriteOnly);
        file.write("#!/bin/sh\n" + body + "\n");
        file.close();
        QFile::Permissions p = QFile::ReadOwner | QFile::WriteOwner;
        if (executable)
            p |= QFile::ExeOwner;
        file.setPermissions(p);
    }
    QString dir() const { return dir_.path(); }

private:
    QTemporaryDir dir_;
};

MeshFixResult runWith(const QByteArray& body, const QString& name = QStringLiteral("meshfix"))
{
    FakeProgram program(name, body);
    const Box box = closedBox();
    return runMeshFix(box.vertices, box.faces, program.dir());
}

} // namespace

TEST(MeshFixRunner, EmptyMeshIsRefused)
{
    const Box box = closedBox();
    EXPECT_EQ(runMeshFix({}, box.faces).error, "Empty mesh \u2014 nothing to repair.");
    const MeshFixResult r = runMeshFix(box.vertices, {});
    EXPECT_FALSE(r.success);
    EXPECT_EQ(r.error, "Empty mesh \u2014 nothing to repair.");
}

TEST(MeshFixRunner, MissingProgramIsReported)
{
    QTemporaryDir empty;
    const Box box = closedBox();
    const MeshFixResult r = runMeshFix(box.vertices, box.faces, empty.path());
    EXPECT_FALSE(r.success);
    EXPECT_EQ(r.error, "MeshFix executable not found next to the application.");
    EXPECT_TRUE(findMeshFixExecutable(empty.path()).isEmpty());
}

TEST(MeshFixRunner, NonZeroExitCarriesStandardError)
{
    const MeshFixResult r = runWith("echo '  boom happened ' >&2; exit 3");
    EXPECT_FALSE(r.success);
    EXPECT_EQ(r.error, "MeshFix exited with code 3: boom happened");
    EXPECT_EQ(runWith("exit 5").error, "MeshFix exited with code 5");
}

TEST(MeshFixRunner, MissingOrUnreadableOutputIsReported)
{
    EXPECT_EQ(runWith("exit 0").error, "MeshFix did not produce an output file.");
    EXPECT_EQ(runWith("echo garbage > \"$2\"").error, "Failed to read repaired STL file.");
    // A valid header announcing zero triangles.
    EXPECT_EQ(runWith("head -c 84 /dev/zero > \"$2\"").error, "Failed to read repaired STL file.");
}

TEST(MeshFixRunner, CrashAndStartFailureAreReported)
{
    EXPECT_EQ(runWith("kill -9 $$").error, "MeshFix process crashed.");
    FakeProgram notExecutable(QStringLiteral("meshfix"), "exit 0", false);
    const Box box = closedBox();
    EXPECT_EQ(runMeshFix(box.vertices, box.faces, notExecutable.dir()).error, "Failed to start MeshFix process.");
}

TEST(MeshFixRunner, CliNameIsPreferred)
{
    FakeProgram programs(QStringLiteral("meshfix"), "cp \"$1\" \"$2\"");
    programs.add(QStringLiteral("meshfix_cli"), "exit 7");
    const Box box = closedBox();
    EXPECT_EQ(runMeshFix(box.vertices, box.faces, programs.dir()).error, "MeshFix exited with code 7");
    EXPECT_TRUE(findMeshFixExecutable(programs.dir()).endsWith(QStringLiteral("/meshfix_cli")));
}

TEST(MeshFixRunner, ProgramGetsTwoPathsInItsTemporaryDirectory)
{
    const MeshFixResult r = runWith("[ $# -eq 2 ] || exit 9\n"
                                    "[ \"$(pwd -P)\" = \"$(cd \"$(dirname \"$1\")\" && pwd -P)\" ] || exit 10\n"
                                    "[ \"$(basename \"$1\")\" = input.stl ] || exit 11\n"
                                    "[ \"$(basename \"$2\")\" = output.stl ] || exit 12\n"
                                    "cp \"$1\" \"$2\"");
    ASSERT_TRUE(r.success) << r.error;
    const Box box = closedBox();
    EXPECT_EQ(r.vertices.size(), box.vertices.size());
    EXPECT_EQ(r.faces.size(), box.faces.size());
    EXPECT_NEAR(repairtools::signedVolume(r.vertices, r.faces) / 6.0, 24.0, 1e-4);
}

TEST(MeshFixRunner, TemporaryFilesAreRemoved)
{
    QTemporaryDir scratch;
    const QByteArray record = "echo \"$(dirname \"$1\")\" > '" + scratch.filePath(QStringLiteral("where")).toUtf8() +
                              "'; cp \"$1\" \"$2\"";
    ASSERT_TRUE(runWith(record).success);
    QFile where(scratch.filePath(QStringLiteral("where")));
    ASSERT_TRUE(where.open(QIODevice::ReadOnly));
    const QString used = QString::fromUtf8(where.readAll()).trimmed();
    EXPECT_FALSE(used.isEmpty());
    EXPECT_FALSE(QFileInfo::exists(used));
}

TEST(BinaryStl, WriterLayoutAndWeldingReader)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("t.stl"));
    // Two triangles; the second repeats two corners by value only.
    const std::vector<Vec3f> vertices{{0, 0, 0}, {2, 0, 0}, {0, 2, 0}, {2, 0, 0}, {0, 2, 0}, {2, 2, 0}};
    const std::vector<Triangle> faces{{0, 1, 2}, {3, 5, 4}, {0, 1, 77}};
    ASSERT_TRUE(meshfix::writeBinaryStl(path, vertices, faces));
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray bytes = file.readAll();
    ASSERT_EQ(bytes.size(), 84 + 2 * 50);
    EXPECT_EQ(bytes.left(80), QByteArray(80, '\0'));
    std::uint32_t count = 0;
    std::memcpy(&count, bytes.constData() + 80, 4);
    EXPECT_EQ(count, 2u);
    float normal[3];
    std::memcpy(normal, bytes.constData() + 84, 12);
    EXPECT_FLOAT_EQ(normal[2], 1.0f);

    std::vector<Vec3f> readVertices;
    std::vector<Triangle> readFaces;
    ASSERT_TRUE(meshfix::readBinaryStl(path, readVertices, readFaces));
    EXPECT_EQ(readVertices.size(), 4u);
    ASSERT_EQ(readFaces.size(), 2u);
    EXPECT_EQ(readFaces[1][0], readFaces[0][1]);
    EXPECT_EQ(readFaces[1][2], readFaces[0][2]);
}

TEST(BinaryStl, TruncatedOrEmptyFilesFail)
{
    QTemporaryDir dir;
    std::vector<Vec3f> v;
    std::vector<Triangle> f;
    EXPECT_FALSE(meshfix::readBinaryStl(dir.filePath(QStringLiteral("missing.stl")), v, f));
    const QString path = dir.filePath(QStringLiteral("short.stl"));
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    QByteArray data(84, '\0');
    const std::uint32_t count = 3;
    std::memcpy(data.data() + 80, &count, 4);
    file.write(data + QByteArray(60, '\0'));
    file.close();
    EXPECT_FALSE(meshfix::readBinaryStl(path, v, f));
}

#ifdef HALVORAN_MESHFIX_PATH
namespace {
QString standInDir()
{
    return QFileInfo(QStringLiteral(HALVORAN_MESHFIX_PATH)).absolutePath();
}
} // namespace

TEST(MeshFixStandIn, ClosesAnOpenBoxKeepingItsVolume)
{
    const Box box = openBox();
    const MeshFixResult r = runMeshFix(box.vertices, box.faces, standInDir());
    ASSERT_TRUE(r.success) << r.error;
    std::map<std::pair<std::uint32_t, std::uint32_t>, int> uses;
    for (const Triangle& t : r.faces)
        for (int c = 0; c < 3; ++c)
            ++uses[std::minmax(t[c], t[(c + 1) % 3])];
    for (const auto& [edge, count] : uses)
        EXPECT_EQ(count, 2) << edge.first << "-" << edge.second;
    EXPECT_EQ(holes::countBoundaryEdges(r.faces, r.vertices.size()), 0u);
    EXPECT_NEAR(repairtools::signedVolume(r.vertices, r.faces) / 6.0, 24.0, 1e-4);
}

TEST(MeshFixStandIn, InwardWoundInputComesBackOutward)
{
    Box box = openBox();
    for (Triangle& t : box.faces)
        std::swap(t[1], t[2]);
    box.faces.push_back(box.faces.front()); // a repeated triangle goes too
    const MeshFixResult r = runMeshFix(box.vertices, box.faces, standInDir());
    ASSERT_TRUE(r.success) << r.error;
    EXPECT_EQ(r.faces.size(), 12u);
    EXPECT_NEAR(repairtools::signedVolume(r.vertices, r.faces) / 6.0, 24.0, 1e-4);
}

TEST(MeshFixStandIn, UnreadableInputExitsWithAMessage)
{
    QTemporaryDir dir;
    const QString input = dir.filePath(QStringLiteral("bad.stl"));
    QFile file(input);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("solid nothing\n");
    file.close();
    QProcess process;
    process.start(QStringLiteral(HALVORAN_MESHFIX_PATH), {input, dir.filePath(QStringLiteral("out.stl"))});
    ASSERT_TRUE(process.waitForFinished(30000));
    EXPECT_NE(process.exitCode(), 0);
    EXPECT_FALSE(process.readAllStandardError().trimmed().isEmpty());
    EXPECT_FALSE(QFileInfo::exists(dir.filePath(QStringLiteral("out.stl"))));
}
#endif
