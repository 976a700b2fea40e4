// The hand-over to the repair program (messages for every way it can fail,
// progress, report and cancel) and the repair program itself on broken
// meshes, read back by VTK.
#include "model/repair/meshfixrunner.h"
#include "tests/core/fixtures/fakeprogram.h"
#include "tests/core/fixtures/meshfixtures.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>

#include <vtkFeatureEdges.h>
#include <vtkNew.h>
#include <vtkPolyData.h>
#include <vtkSTLReader.h>

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <cstring>
#include <numeric>
#include <thread>

namespace {

using fixtures::FakeProgram;

const fixtures::Mesh& cube()
{
    static const fixtures::Mesh box = fixtures::box({0, 0, 0}, {2, 3, 4});
    return box;
}

MeshFixResult runWith(const QByteArray& body, const QString& name = QStringLiteral("meshfix"))
{
    FakeProgram program(name, body);
    return runMeshFix(cube().vertices, cube().faces, program.dir());
}

TEST(MeshFixRunner, EveryFailureIsReportedWithItsMessage)
{
    const struct {
        const char* body;
        const char* error;
    } cases[] = {
        {"echo 'progress 10' >&2; echo '  boom happened ' >&2; exit 3", "MeshFix exited with code 3: boom happened"},
        {"exit 5", "MeshFix exited with code 5"},
        {"exit 0", "MeshFix did not produce an output file."},
        {"echo garbage > \"$2\"", "Failed to read repaired STL file."},
        {"head -c 84 /dev/zero > \"$2\"", "Failed to read repaired STL file."}, // zero triangles
        {"kill -9 $$", "MeshFix process crashed."},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.body);
        const MeshFixResult r = runWith(c.body);
        EXPECT_FALSE(r.success);
        EXPECT_EQ(r.error, c.error);
        EXPECT_TRUE(r.faces.empty());
    }
}

TEST(MeshFixRunner, RefusesBadInputOrProgramsAndPrefersTheCliNameInItsOwnDirectory)
{
    EXPECT_EQ(runMeshFix({}, cube().faces).error, "Empty mesh \u2014 nothing to repair.");
    EXPECT_EQ(runMeshFix(cube().vertices, {}).error, "Empty mesh \u2014 nothing to repair.");
    QTemporaryDir empty;
    EXPECT_EQ(runMeshFix(cube().vertices, cube().faces, empty.path()).error,
              "MeshFix executable not found next to the application.");
    FakeProgram notExecutable(QStringLiteral("meshfix"), "exit 0", false);
    EXPECT_EQ(runMeshFix(cube().vertices, cube().faces, notExecutable.dir()).error, "Failed to start MeshFix process.");
    // The CLI name is preferred and gets two paths in its own temporary directory.
    FakeProgram programs(QStringLiteral("meshfix"), "exit 7");
    QTemporaryDir scratch;
    const QByteArray where = scratch.filePath(QStringLiteral("where")).toUtf8();
    programs.add(QStringLiteral("meshfix_cli"), "[ $# -eq 2 ] || exit 9\n"
                                                "[ \"$(pwd -P)\" = \"$(cd \"$(dirname \"$1\")\" && pwd -P)\" ] || exit 10\n"
                                                "[ \"$(basename \"$1\")\" = input.stl ] || exit 11\n"
                                                "[ \"$(basename \"$2\")\" = output.stl ] || exit 12\n"
                                                "dirname \"$1\" > '" + where + "'\n"
                                                "cp \"$1\" \"$2\"");
    const MeshFixResult r = runMeshFix(cube().vertices, cube().faces, programs.dir());
    ASSERT_TRUE(r.success) << r.error;
    EXPECT_EQ(r.faces.size(), cube().faces.size());
    EXPECT_NEAR(fixtures::signedVolume(r.vertices, r.faces), 24.0, 1e-4);
    QFile used(scratch.filePath(QStringLiteral("where")));
    ASSERT_TRUE(used.open(QIODevice::ReadOnly));
    EXPECT_FALSE(QFileInfo::exists(QString::fromUtf8(used.readAll()).trimmed())); // removed afterwards
    // Progress moves the stage and a cancel kills the program.
    FakeProgram sleeper(QStringLiteral("meshfix"), "");
    const QByteArray pidPath = sleeper.path(QStringLiteral("pid")).toUtf8();
    sleeper.add(QStringLiteral("meshfix"), "echo $$ > '" + pidPath + "'\n"
                                           "echo 'progress 50' >&2\n"
                                           "echo 'step 1/7 weld and stitch: 3 border edge pairs stitched' >&2\n"
                                           "exec sleep 60");
    Progress progress;
    MeshFixResult result;
    std::thread worker([&]() { result = runMeshFix(cube().vertices, cube().faces, sleeper.dir(), {&progress, 30, 70}); });
    for (int i = 0; i < 1000 && progress.percent() != 50; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    EXPECT_EQ(progress.percent(), 50); // half of 30..70
    progress.cancel();
    worker.join();
    EXPECT_TRUE(result.canceled);
    EXPECT_EQ(result.error, "Repair canceled.");
    EXPECT_EQ(result.report, std::vector<std::string>{"step 1/7 weld and stitch: 3 border edge pairs stitched"});
    QFile pid(QString::fromUtf8(pidPath));
    ASSERT_TRUE(pid.open(QIODevice::ReadOnly));
    EXPECT_NE(::kill(pid.readAll().trimmed().toInt(), 0), 0) << "the repair program outlived the cancel";
}

TEST(BinaryStl, WriterLayoutAndWeldingReader)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("t.stl"));
    // Two triangles; the second repeats two corners by value only; the third is out of range.
    const std::vector<Vec3f> vertices{{0, 0, 0}, {2, 0, 0}, {0, 2, 0}, {2, 0, 0}, {0, 2, 0}, {2, 2, 0}};
    ASSERT_TRUE(meshfix::writeBinaryStl(path, vertices, {{0, 1, 2}, {3, 5, 4}, {0, 1, 77}}));
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray bytes = file.readAll();
    ASSERT_EQ(bytes.size(), 84 + 2 * 50);
    std::uint32_t count = 0;
    std::memcpy(&count, bytes.constData() + 80, 4);
    EXPECT_EQ(count, 2u);
    std::vector<Vec3f> v;
    std::vector<Triangle> f;
    ASSERT_TRUE(meshfix::readBinaryStl(path, v, f));
    EXPECT_EQ(v.size(), 4u);
    ASSERT_EQ(f.size(), 2u);
    EXPECT_EQ(f[1][0], f[0][1]);
    // A header announcing three triangles followed by 60 bytes is refused.
    file.close();
    QByteArray truncated(84 + 60, '\0');
    truncated[80] = 3;
    QFile out(path);
    ASSERT_TRUE(out.open(QIODevice::WriteOnly));
    out.write(truncated);
    out.close();
    EXPECT_FALSE(meshfix::readBinaryStl(path, v, f));
}

#ifdef HALVORAN_MESHFIX_PATH

QString programDir()
{
    return QFileInfo(QStringLiteral(HALVORAN_MESHFIX_PATH)).absolutePath();
}

struct Readback {
    vtkIdType faces = 0;
    vtkIdType openOrNonManifoldEdges = 0;
};

// The repaired mesh as VTK sees it once written to STL.
Readback readWithVtk(const MeshFixResult& r)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("out.stl"));
    EXPECT_TRUE(meshfix::writeBinaryStl(path, r.vertices, r.faces));
    vtkNew<vtkSTLReader> reader;
    reader->SetFileName(path.toUtf8().constData());
    reader->MergingOn();
    vtkNew<vtkFeatureEdges> edges;
    edges->SetInputConnection(reader->GetOutputPort());
    edges->BoundaryEdgesOn();
    edges->NonManifoldEdgesOn();
    edges->FeatureEdgesOff();
    edges->ManifoldEdgesOff();
    edges->Update();
    return {reader->GetOutput()->GetNumberOfPolys(), edges->GetOutput()->GetNumberOfLines()};
}

std::size_t componentCount(const MeshFixResult& r)
{
    std::vector<std::uint32_t> parent(r.vertices.size());
    std::iota(parent.begin(), parent.end(), 0u);
    const auto root = [&](std::uint32_t v) {
        while (parent[v] != v)
            v = parent[v] = parent[parent[v]];
        return v;
    };
    for (const Triangle& t : r.faces)
        for (int c = 1; c < 3; ++c)
            parent[root(t[c])] = root(t[0]);
    std::size_t roots = 0;
    for (std::uint32_t v = 0; v < parent.size(); ++v)
        roots += root(v) == v ? 1 : 0;
    return roots;
}

std::string joined(const std::vector<std::string>& lines)
{
    std::string text;
    for (const std::string& line : lines)
        text += line + "\n";
    return text;
}

fixtures::Mesh concatenated(std::vector<fixtures::Mesh> parts)
{
    fixtures::Mesh all;
    for (const fixtures::Mesh& part : parts) {
        const auto base = std::uint32_t(all.vertices.size());
        all.vertices.insert(all.vertices.end(), part.vertices.begin(), part.vertices.end());
        for (const Triangle& t : part.faces)
            all.faces.emplace_back(t[0] + base, t[1] + base, t[2] + base);
    }
    return all;
}

// A 10 x 20 x 30 box with a smaller copy of itself inside (a doubled inner
// wall), two faces turned over and a zero-area sliver on one side.
fixtures::Mesh boxWithInnerShell()
{
    fixtures::Mesh outer = fixtures::box({0, 0, 0}, {10, 20, 30});
    std::swap(outer.faces[0][1], outer.faces[0][2]);
    std::swap(outer.faces[7][1], outer.faces[7][2]);
    outer.vertices.push_back({5, 0, 0}); // on the edge from corner 0 to corner 1
    outer.faces.emplace_back(0, std::uint32_t(outer.vertices.size() - 1), 1);
    return concatenated({outer, fixtures::box({0.2f, 0.2f, 0.2f}, {9.8f, 19.8f, 29.8f})});
}

TEST(RepairProgram, GivesAClosedManifoldOutwardMesh)
{
    struct Case {
        const char* name;
        fixtures::Mesh mesh;
        std::size_t components;
        double volume;        // 0: not checked
        double sphereRadius;  // > 0: centroids must stay within 1.5 mm of that sphere
        const char* reported; // a line of the report must contain this
    };
    const Case cases[] = {
        {"sphere with a cap and pinholes", fixtures::sphereWithHoles(25.0f, 30.0f), 1, 0.0, 25.0,
         "4 holes: 4 filled with faired patches"},
        {"box with an inner shell, flipped and degenerate faces", boxWithInnerShell(), 1, 6000.0, 0.0,
         "1 enclosed shells removed"},
        // Two overlapping cubes in one soup: merged into the surface of their union.
        {"overlapping boxes", concatenated({fixtures::box({0, 0, 0}, {10, 10, 10}), fixtures::box({5, 5, 5}, {15, 15, 15})}),
         1, 1875.0, 0.0, "intersecting face pairs found (overlapping shells merged); all fixed"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const MeshFixResult r = runMeshFix(c.mesh.vertices, c.mesh.faces, programDir());
        ASSERT_TRUE(r.success) << r.error;
        const Readback back = readWithVtk(r);
        EXPECT_EQ(back.faces, vtkIdType(r.faces.size()));
        EXPECT_EQ(back.openOrNonManifoldEdges, 0) << joined(r.report);
        EXPECT_EQ(componentCount(r), c.components);
        const double volume = fixtures::signedVolume(r.vertices, r.faces);
        EXPECT_GT(volume, 0.0) << "wound inward";
        if (c.volume > 0.0) {
            EXPECT_NEAR(volume, c.volume, 0.01 * c.volume);
        }
        if (c.sphereRadius > 0.0) {
            EXPECT_LE(fixtures::worstCentroidError({r.vertices, r.faces}, float(c.sphereRadius)), 1.5);
        }
        EXPECT_NE(joined(r.report).find(c.reported), std::string::npos) << joined(r.report);
    }
}

TEST(RepairProgram, KeepsThePartWhenNoStepMayRunAndRefusesUnreadableInput)
{
    const fixtures::Mesh input = fixtures::sphereWithHoles(25.0f, 30.0f);
    QTemporaryDir dir;
    const QString in = dir.filePath(QStringLiteral("in.stl")), out = dir.filePath(QStringLiteral("out.stl"));
    ASSERT_TRUE(meshfix::writeBinaryStl(in, input.vertices, input.faces));
    QProcess process;
    process.start(QStringLiteral(HALVORAN_MESHFIX_PATH), {QStringLiteral("--seconds"), QStringLiteral("1e-9"), in, out});
    ASSERT_TRUE(process.waitForFinished(60000));
    EXPECT_EQ(process.exitCode(), 0);
    const QString report = QString::fromUtf8(process.readAllStandardError());
    EXPECT_EQ(report.count(QStringLiteral("kept the previous mesh")), 7) << report.toStdString();
    std::vector<Vec3f> v;
    std::vector<Triangle> f;
    ASSERT_TRUE(meshfix::readBinaryStl(out, v, f));
    EXPECT_EQ(f.size(), input.faces.size());
    // Unreadable or empty input exits with a message and writes no file.
    QTemporaryDir scratch;
    const QString nothing = scratch.filePath(QStringLiteral("out.stl"));
    const QString garbage = scratch.filePath(QStringLiteral("garbage.stl"));
    const QString collapsed = scratch.filePath(QStringLiteral("collapsed.stl"));
    fixtures::writeText(garbage.toStdString(), "solid nothing\n");
    // Every triangle collapses onto a point.
    ASSERT_TRUE(meshfix::writeBinaryStl(collapsed, {{1, 1, 1}, {1, 1, 1}, {1, 1, 1}}, {{0, 1, 2}, {2, 1, 0}}));
    for (const auto& [input, code] : {std::pair{garbage, 3}, std::pair{collapsed, 4}}) {
        QProcess run;
        run.start(QStringLiteral(HALVORAN_MESHFIX_PATH), {input, nothing});
        ASSERT_TRUE(run.waitForFinished(30000));
        EXPECT_EQ(run.exitCode(), code) << input.toStdString();
        EXPECT_FALSE(run.readAllStandardError().trimmed().isEmpty());
        EXPECT_FALSE(QFileInfo::exists(nothing));
    }
}

#endif

} // namespace
