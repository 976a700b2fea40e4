// The working mesh as a file and back to the file's frame: Export Mesh
// writes what halvoran-cli writes, File Coordinates undoes bit for bit, and
// Repair Mesh's Cancel stops the repair program and leaves the model alone.
#include "tests/core/fixtures/fakeprogram.h"
#include "tests/ui/common/windowtest.h"

#include <QProgressDialog>

#include <csignal>
#include <cstring>

namespace {

bool sameBits(const SharedArray<Vec3f>& a, const SharedArray<Vec3f>& b)
{
    return a.size() == b.size() && std::memcmp(a.data(), b.data(), a.size() * sizeof(Vec3f)) == 0;
}

} // namespace

class TestMainWindowMeshFile : public WindowTest {
    Q_OBJECT

private slots:
    void initTestCase() { writeScan(scanPath_, "scan.stl"); }
    void cleanup() { closeWindow(); }

    void exportWritesWhatTheCommandLineWrites_data()
    {
        QTest::addColumn<QString>("suffix");
        QTest::addColumn<QString>("format");
        for (const char* s : {"stl", "ply", "obj", "3mf"})
            QTest::newRow(s) << QString::fromLatin1(s) << QString::fromLatin1(s).toUpper();
    }

    void exportWritesWhatTheCommandLineWrites()
    {
        QFETCH(QString, suffix);
        QFETCH(QString, format);
        open();
        const QString fromWindow = dir_.filePath(QStringLiteral("window.") + suffix);
        exportTo(fromWindow);
        QCOMPARE(status(), QStringLiteral("Exported %1 mesh: %2 (%3 triangles)")
                               .arg(format, QDir::toNativeSeparators(fromWindow))
                               .arg(window_->model().faces.size()));
        const QString fromCli = dir_.filePath(QStringLiteral("cli.") + suffix);
        runCli({"convert", scanPath_, "-o", fromCli});
        QVERIFY(readAll(fromWindow).size() > 1000);
        expectSameBytes(fromWindow, fromCli);
    }

    // File Coordinates and its Undo are bit for bit; a cancelled repair stops
    // the program and leaves the model as it was.
    void fileCoordinatesUndoAndCancelledRepair()
    {
        open();
        QVERIFY(window_->isAligned());
        const SharedArray<Vec3f> aligned(window_->model().vertices.vec());
        action("fileCoordinatesAction")->trigger();
        QVERIFY(!window_->isBusy());
        QCOMPARE(status(), QStringLiteral("Back in the file's own coordinates"));
        QVERIFY(sameBits(window_->model().vertices, window_->model().loadedVertices));
        QVERIFY(!window_->isAligned());
        trigger(QStringLiteral("Undo Alignment"));
        QVERIFY(sameBits(window_->model().vertices, aligned));

        // A repair program that reports some progress, then hangs.
        fixtures::FakeProgram program(QStringLiteral("meshfix"), "");
        const QString pidFile = program.path(QStringLiteral("pid"));
        program.add(QStringLiteral("meshfix"), "echo $$ > '" + QFile::encodeName(pidFile) + "'\necho 'progress 40' >&2\nexec sleep 60");
        window_->setRepairProgramDir(program.dir());

        const MeshModel& model = window_->model();
        const void* vertexStorage = model.vertices.storageId();
        const void* faceStorage = model.faces.storageId();
        const std::uint64_t revision = model.geometryRevision;
        const std::size_t undoEntries = window_->alignmentHistory().undoCount();
        // Cancel once the program runs; the dialog's own loop keeps timers going.
        QTimer canceller;
        connect(&canceller, &QTimer::timeout, this, [&]() {
            for (QProgressDialog* dialog : window_->findChildren<QProgressDialog*>())
                if (dialog->windowTitle() == QLatin1String("Mesh Repair") && dialog->isVisible() && QFile::exists(pidFile))
                    dialog->cancel();
        });
        canceller.start(20);
        {
            ScopedEnv env;
            env.set("HALVORAN_AUTOMATION", "1");
            findButton(window_.get(), QStringLiteral("Repair Mesh"))->click();
        }
        canceller.stop();
        QCOMPARE(status(), QStringLiteral("Repair canceled."));
        QVERIFY(!window_->isBusy());
        QFile pid(pidFile);
        QVERIFY(pid.open(QIODevice::ReadOnly));
        QVERIFY2(::kill(pid.readAll().trimmed().toInt(), 0) != 0, "the repair program outlived the cancel");
        // Nothing arrives later either.
        QTest::qWait(300);
        QCOMPARE(model.vertices.storageId(), vertexStorage);
        QCOMPARE(model.faces.storageId(), faceStorage);
        QCOMPARE(model.geometryRevision, revision);
        QVERIFY(!model.repaired);
        QCOMPARE(window_->alignmentHistory().undoCount(), undoEntries);
    }

#ifdef HALVORAN_MESHFIX_PATH
    void repairInFileCoordinatesWritesWhatTheCommandLineWrites()
    {
        open();
        window_->setRepairProgramDir(QFileInfo(QStringLiteral(HALVORAN_MESHFIX_PATH)).absolutePath());
        action("fileCoordinatesAction")->trigger();
        {
            ScopedEnv env;
            env.set("HALVORAN_AUTOMATION", "1");
            findButton(window_.get(), QStringLiteral("Repair Mesh"))->click();
        }
        QVERIFY(window_->model().repaired);
        const QString fromWindow = dir_.filePath(QStringLiteral("repaired-window.stl"));
        exportTo(fromWindow);
        const QString fromCli = dir_.filePath(QStringLiteral("repaired-cli.stl"));
        runCli({"repair", scanPath_, "-o", fromCli});
        expectSameBytes(fromWindow, fromCli);
    }
#endif

private:
    void open()
    {
        openWindow();
        load(scanPath_);
    }
    QAction* action(const char* name) const { return window_->findChild<QAction*>(QLatin1String(name)); }
    // Export Mesh in automation mode to path.
    void exportTo(const QString& path)
    {
        ScopedEnv env;
        env.set("HALVORAN_AUTOMATION", "1");
        env.set("HALVORAN_AUTOMATION_EXPORT_MESH", QFile::encodeName(path));
        action("exportMeshAction")->trigger();
    }

    QString scanPath_;
};

QTEST_MAIN(TestMainWindowMeshFile)
#include "test_mainwindow_meshfile.moc"
