// The STEP reader's and the reconstruction program's hand-offs: every way
// the child can fail becomes one message and a log line, a cancel kills it,
// and the decoders take only a complete, consistent hand-off.
#include "io/cloudimport.h"
#include "io/meshload.h"
#include "io/pointshandoff.h"
#include "io/step/stephandoff.h"
#include "io/stepimport.h"
#include "model/mesh/meshmodel.h"
#include "tests/core/fixtures/fakeprogram.h"
#include "tests/core/fixtures/meshfixtures.h"

#include <QtGlobal>

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <mutex>
#include <thread>

using fixtures::FakeProgram;
using fixtures::TempDir;

namespace {

std::mutex logMutex;
std::vector<std::string> logLines;

void captureLog(QtMsgType, const QMessageLogContext&, const QString& message)
{
    const std::lock_guard<std::mutex> lock(logMutex);
    logLines.push_back(message.toStdString());
}

using SetProgram = void (*)(const std::string&);

// Points importStep (or the reconstruction) at a fake program and collects
// the log while it lives.
class FakeReader {
public:
    explicit FakeReader(const QByteArray& body, SetProgram set = setStepReaderProgram,
                        const char* real = HALVORAN_STEPREADER_PATH)
        : program_(QStringLiteral("reader"), body), set_(set), real_(real)
    {
        set_(program_.path(QStringLiteral("reader")).toStdString());
        logLines.clear();
        previous_ = qInstallMessageHandler(captureLog);
    }
    ~FakeReader()
    {
        qInstallMessageHandler(previous_);
        set_(real_);
    }
    std::string log() const
    {
        const std::lock_guard<std::mutex> lock(logMutex);
        std::string text;
        for (const std::string& line : logLines)
            text += line + "\n";
        return text;
    }

private:
    FakeProgram program_;
    SetProgram set_;
    const char* real_;
    QtMessageHandler previous_ = nullptr;
};

MeshModel loadedCube()
{
    TempDir dir;
    fixtures::writeBinaryStl(dir.path("cube.stl"), fixtures::box({0, 0, 0}, {1, 1, 1}));
    MeshModel m;
    EXPECT_TRUE(loadMesh(m, dir.path("cube.stl")));
    return m;
}

struct ReaderCase {
    const char* name;
    const char* body;
    const char* error;
    const char* logged; // expected in the log; empty: nothing logged
};

// printf with octal escapes: the header, then 3 zero vertices and whatever follows.
#define HANDOFF_HEADER(vertices, triangles) "printf 'HVSTEP01" vertices triangles "' > \"$2\"; "

TEST(StepReader, EveryFailureGivesItsMessageAndLeavesTheModel)
{
    const ReaderCase cases[] = {
        {"Crash", "kill -SEGV $$", "Failed to read STEP file.", "ended by signal 11"},
        {"AbnormalExit", "exit 9", "Failed to read STEP file.", "exit code 9"},
        {"NoOutput", "exit 0", "Failed to read STEP file.", "no output"},
        {"Garbage", "yes garbage | head -c 4000 > \"$2\"", "Failed to read STEP file.", "no hand-off header"},
        {"ShortOutput", HANDOFF_HEADER("\\003\\000\\000\\000", "\\001\\000\\000\\000") "head -c 30 /dev/zero >> \"$2\"",
         "Failed to read STEP file.", "shorter than its counts"},
        {"IndexOutOfRange",
         HANDOFF_HEADER("\\003\\000\\000\\000", "\\001\\000\\000\\000") "head -c 36 /dev/zero >> \"$2\"; "
         "printf '\\000\\000\\000\\000\\001\\000\\000\\000\\007\\000\\000\\000' >> \"$2\"",
         "Failed to read STEP file.", "a triangle index out of range"},
        {"NoGeometry", "exit 3", "STEP file contains no geometry.", ""},
        {"NoTriangles", "exit 4", "No triangulated geometry found in STEP file.", ""},
    };
    for (const ReaderCase& c : cases) {
        SCOPED_TRACE(c.name);
        MeshModel m = loadedCube(); // before the reader starts listening to the log
        FakeReader reader(c.body);
        TempDir dir;
        fixtures::writeText(dir.path("part.step"), "ISO-10303-21;\n");
        const MeshModel before = m;
        std::string error;
        EXPECT_FALSE(loadMesh(m, dir.path("part.step"), &error));
        EXPECT_EQ(error, c.error);
        fixtures::expectSameState(m, before);
        const std::string log = reader.log();
        if (*c.logged)
            EXPECT_NE(log.find(c.logged), std::string::npos) << log;
        else
            EXPECT_EQ(log, "");
    }
}

// A hanging helper that reported progress 50: cancel must end the load at
// once, keep the model and leave no child behind.
static void expectCancelKillsTheHelper(const std::string& path, int percentAtHalf, const QByteArray& pidFile)
{
    MeshModel m = loadedCube();
    const MeshModel before = m;
    Progress progress;
    std::string error;
    bool loaded = true;
    std::thread worker([&]() { loaded = loadMesh(m, path, &error, &progress); });
    for (int i = 0; i < 1000 && progress.percent() < percentAtHalf; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    EXPECT_EQ(progress.percent(), percentAtHalf);
    progress.cancel();
    worker.join();
    EXPECT_FALSE(loaded);
    EXPECT_EQ(error, "Load canceled.");
    fixtures::expectSameState(m, before);
    QFile pid(QString::fromUtf8(pidFile));
    ASSERT_TRUE(pid.open(QIODevice::ReadOnly));
    EXPECT_NE(::kill(pid.readAll().trimmed().toInt(), 0), 0) << "the helper outlived the cancel";
}

TEST(HelperPrograms, CancelKillsAHangingReaderOrReconstructionAtOnce)
{
    TempDir dir;
    const QByteArray pidFile = QByteArray::fromStdString(dir.path("pid"));
    FakeReader reader("echo $$ > '" + pidFile + "'\necho 'progress 50' >&2\nexec sleep 60");
    fixtures::writeText(dir.path("part.step"), "ISO-10303-21;\n");
    expectCancelKillsTheHelper(dir.path("part.step"), 47, pidFile); // half of the reader's 0..95
    // The reconstruction program likewise.
    TempDir cloudDir;
    const QByteArray cloudPid = QByteArray::fromStdString(cloudDir.path("pid"));
    FakeReader reconstruction("echo $$ > '" + cloudPid + "'\necho 'progress 50' >&2\nexec sleep 60",
                              setReconstructionProgram, HALVORAN_RECONSTRUCT_PATH);
    fixtures::writeText(cloudDir.path("cloud.asc"), fixtures::ascText(fixtures::spherePoints(100, 1.0f)));
    expectCancelKillsTheHelper(cloudDir.path("cloud.asc"), 52, cloudPid); // half of the program's 10..95
}

TEST(StepHandoff, DecodesOnlyTheCompleteHandoff)
{
    TempDir dir;
    const fixtures::Mesh cube = fixtures::box({0, 0, 0}, {1, 2, 3});
    ASSERT_TRUE(writeStepHandoff(dir.path("h.bin"), cube.vertices, cube.faces));
    std::vector<unsigned char> bytes = fixtures::readBytes(dir.path("h.bin"));
    ASSERT_EQ(bytes.size(), 16u + 12u * 8u + 12u * 12u);
    std::vector<Vec3f> v;
    std::vector<Triangle> f;
    ASSERT_TRUE(decodeStepHandoff(bytes.data(), bytes.size(), v, f));
    EXPECT_EQ(v, cube.vertices);
    EXPECT_EQ(f, cube.faces);
    // Every cut, and one byte too many, is refused with empty arrays.
    for (std::size_t size = 0; size < bytes.size(); ++size) {
        EXPECT_FALSE(decodeStepHandoff(bytes.data(), size, v, f)) << size;
        EXPECT_TRUE(v.empty() && f.empty()) << size;
    }
    bytes.push_back(0);
    std::string why;
    EXPECT_FALSE(decodeStepHandoff(bytes.data(), bytes.size(), v, f, &why));
    EXPECT_EQ(why, "longer than its counts");

    // The points sent to the reconstruction program, likewise.
    ASSERT_TRUE(writePointsHandoff(dir.path("p.bin"), cube.vertices));
    bytes = fixtures::readBytes(dir.path("p.bin"));
    ASSERT_TRUE(decodePointsHandoff(bytes.data(), bytes.size(), v));
    EXPECT_EQ(v, cube.vertices);
    for (std::size_t size = 0; size < bytes.size(); ++size) {
        EXPECT_FALSE(decodePointsHandoff(bytes.data(), size, v)) << size;
        EXPECT_TRUE(v.empty()) << size;
    }
    bytes.push_back(0);
    EXPECT_FALSE(decodePointsHandoff(bytes.data(), bytes.size(), v, &why));
    EXPECT_EQ(why, "longer than its count");
    bytes.assign(bytes.begin(), bytes.begin() + 12);
    std::fill(bytes.begin() + 8, bytes.end(), 0);
    EXPECT_FALSE(decodePointsHandoff(bytes.data(), bytes.size(), v, &why));
    EXPECT_EQ(why, "no points");
}

TEST(Reconstruction, EveryFailureGivesItsMessage)
{
    const ReaderCase cases[] = {
        {"Crash", "kill -SEGV $$", kReconstructionFailed, "ended by signal 11"},
        {"AbnormalExit", "exit 9", kReconstructionFailed, "exit code 9"},
        {"Garbage", "yes garbage | head -c 4000 > \"$2\"", kReconstructionFailed, "no hand-off header"},
        {"OutOfMemory", "exit 6", kCloudTooLarge, "over its memory limit of 2048 MB"},
        {"OverTime", "exec sleep 60", kCloudTooLarge, "over its time limit of 0.5 s for 100 points"},
        {"ItsOwnMessage", "echo 'message No triangle faces were found in the mesh.' >&2; exit 2",
         "No triangle faces were found in the mesh.", ""},
    };
    for (const ReaderCase& c : cases) {
        SCOPED_TRACE(c.name);
        FakeReader program(c.body, setReconstructionProgram, HALVORAN_RECONSTRUCT_PATH);
        ReconstructionLimits quick;
        quick.minimumSeconds = 0.5;
        std::vector<Vec3f> v;
        std::vector<Triangle> f;
        std::string error;
        EXPECT_FALSE(reconstructInProgram(fixtures::spherePoints(100, 1.0f), v, f, &error, nullptr, quick));
        EXPECT_EQ(error, c.error);
        EXPECT_TRUE(v.empty() && f.empty());
        const std::string log = program.log();
        if (*c.logged)
            EXPECT_NE(log.find(c.logged), std::string::npos) << log;
        else
            EXPECT_EQ(log, "");
    }
}

} // namespace
