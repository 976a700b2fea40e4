// The mesh writers: every format read back by our own importer and, for
// STL, PLY and OBJ, by VTK's readers, with the same triangles and bounds;
// bad input and cancels leave no file (or the old one) behind.
#include "export/meshwriter.h"
#include "io/meshload.h"
#include "tests/core/fixtures/meshfixtures.h"

#include <vtkAbstractPolyDataReader.h>
#include <vtkNew.h>
#include <vtkOBJReader.h>
#include <vtkPLYReader.h>
#include <vtkPolyData.h>
#include <vtkSTLReader.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <limits>

namespace {

// The holed sphere plus what a writer must leave out: a vertex no triangle
// uses (far away, so it would show in the bounds) and a triangle naming a
// vertex that does not exist.
fixtures::Mesh meshToWrite()
{
    fixtures::Mesh m = fixtures::sphereWithHoles(25.0f, 30.0f);
    m.vertices.push_back({500.0f, 500.0f, 500.0f});
    m.faces.emplace_back(0, 1, std::uint32_t(m.vertices.size() + 10));
    return m;
}

struct Bounds {
    double lo[3] = {1e300, 1e300, 1e300};
    double hi[3] = {-1e300, -1e300, -1e300};
    void add(double x, double y, double z)
    {
        const double p[3] = {x, y, z};
        for (int k = 0; k < 3; ++k) {
            lo[k] = std::min(lo[k], p[k]);
            hi[k] = std::max(hi[k], p[k]);
        }
    }
};

void expectBounds(const Bounds& actual, const Bounds& expected)
{
    for (int k = 0; k < 3; ++k) {
        EXPECT_FLOAT_EQ(float(actual.lo[k]), float(expected.lo[k])) << "axis " << k;
        EXPECT_FLOAT_EQ(float(actual.hi[k]), float(expected.hi[k])) << "axis " << k;
    }
}

Bounds boundsOfUsed(const fixtures::Mesh& m)
{
    Bounds b;
    for (const Triangle& t : m.faces)
        if (t.inRange(m.vertices.size()))
            for (int c = 0; c < 3; ++c)
                b.add(m.vertices[t[c]].x, m.vertices[t[c]].y, m.vertices[t[c]].z);
    return b;
}

TEST(MeshWriter, EveryFormatReadsBackTheSameAndFailuresLeaveTheOldFileAlone)
{
    const fixtures::Mesh mesh = meshToWrite();
    const std::size_t valid = mesh.faces.size() - 1;
    QTemporaryDir dir;
    for (const MeshFileType& type : kMeshFileTypes) {
        SCOPED_TRACE(type.name);
        const QString path = dir.filePath(QStringLiteral("mesh.") + QLatin1String(type.suffix));
        ASSERT_EQ(meshFileTypeForPath(path.toUpper()), &type);
        std::string error;
        std::size_t written = 0;
        ASSERT_TRUE(writeMeshFile(path, type.format, mesh.vertices, mesh.faces, &error, &written)) << error;
        EXPECT_EQ(written, valid);

        MeshModel model;
        ASSERT_TRUE(loadMesh(model, path.toStdString(), &error)) << error;
        EXPECT_EQ(model.faces.size(), valid);
        Bounds ours;
        ours.add(model.boundsMin().x, model.boundsMin().y, model.boundsMin().z);
        ours.add(model.boundsMax().x, model.boundsMax().y, model.boundsMax().z);
        expectBounds(ours, boundsOfUsed(mesh));

        vtkSmartPointer<vtkAbstractPolyDataReader> reader;
        if (type.format == MeshFileFormat::Stl)
            reader = vtkSmartPointer<vtkSTLReader>::New();
        else if (type.format == MeshFileFormat::Ply)
            reader = vtkSmartPointer<vtkPLYReader>::New();
        else if (type.format == MeshFileFormat::Obj)
            reader = vtkSmartPointer<vtkOBJReader>::New();
        else
            continue; // 3MF: lib3mf above; the command-line test unzips it independently
        reader->SetFileName(path.toUtf8().constData());
        reader->Update();
        vtkPolyData* poly = reader->GetOutput();
        EXPECT_EQ(poly->GetNumberOfPolys(), vtkIdType(valid));
        double b[6];
        poly->GetBounds(b);
        Bounds theirs;
        theirs.add(b[0], b[2], b[4]);
        theirs.add(b[1], b[3], b[5]);
        expectBounds(theirs, boundsOfUsed(mesh));
    }
    // 3MF drops triangles that repeat a corner.
    fixtures::Mesh box = fixtures::box({0, 0, 0}, {1, 2, 3});
    box.faces.emplace_back(0, 0, 1);
    QTemporaryDir dir3mf;
    const QString boxPath = dir3mf.filePath(QStringLiteral("b.3mf"));
    std::size_t boxWritten = 0;
    std::string boxError;
    ASSERT_TRUE(writeMeshFile(boxPath, MeshFileFormat::ThreeMf, box.vertices, box.faces, &boxError, &boxWritten)) << boxError;
    EXPECT_EQ(boxWritten, 12u);
    MeshModel boxModel;
    ASSERT_TRUE(loadMesh(boxModel, boxPath.toStdString(), &boxError)) << boxError;
    EXPECT_NEAR(fixtures::signedVolume(boxModel), 6.0, 1e-5);
    // Failures and cancels leave the old file alone.
    QTemporaryDir oldDir;
    const QString oldPath = oldDir.filePath(QStringLiteral("old.obj"));
    fixtures::writeText(oldPath.toStdString(), "old content\n");
    const fixtures::Mesh sphere = meshToWrite();
    std::string failure;
    // Nothing to write: no triangle, or none in range.
    EXPECT_FALSE(writeMeshFile(oldPath, MeshFileFormat::Obj, sphere.vertices, {}, &failure));
    EXPECT_EQ(failure, "The mesh has no triangles to write.");
    EXPECT_FALSE(writeMeshFile(oldPath, MeshFileFormat::Stl, {}, sphere.faces, &failure));
    // Cancelled at the first progress call, in every format.
    for (const MeshFileType& type : kMeshFileTypes) {
        EXPECT_FALSE(writeMeshFile(oldPath, type.format, sphere.vertices, sphere.faces, &failure, nullptr,
                                   [](int) { return false; }))
            << type.name;
        EXPECT_EQ(failure, "Export canceled.");
    }
    EXPECT_EQ(fixtures::readBytes(oldPath.toStdString()).size(), std::string("old content\n").size());
    // A folder that does not exist.
    EXPECT_FALSE(writeMeshFile(oldDir.filePath(QStringLiteral("missing/x.stl")), MeshFileFormat::Stl, sphere.vertices,
                               sphere.faces, &failure));
    EXPECT_FALSE(failure.empty());
    EXPECT_EQ(QDir(oldDir.path()).entryList(QDir::Files), QStringList{QStringLiteral("old.obj")});
}

} // namespace
