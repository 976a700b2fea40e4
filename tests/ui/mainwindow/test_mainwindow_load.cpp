// Loading a scan: the worker load, the hand-back, failures, cancel, the
// one-operation rule and the trace lines in the runtime log.
#include "app/runtimelog.h"
#include "io/meshload.h"
#include "io/stepimport.h"
#include "tests/core/fixtures/fakeprogram.h"
#include "ui/section2d/section2dwidget.h"
#include "tests/ui/common/windowtest.h"

#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QProgressDialog>
#include <QPushButton>
#include <QRegularExpression>
#include <QSlider>

#include <csignal>

namespace {

const QStringList kMeshCommands = {
    "Auto Orient", "Auto X", "Auto Y", "Auto Z", "Flip 180 X", "Flip 180 Y", "Flip 180 Z", "Swap X<->Y", "Rect Snap",
    "Reset Alignment", "Model Color", "Background Color", "Contour Color", "Export DXF", "Export SVG", "2D Drawing",
    "Wireframe", "Export Wireframe DXF", "3D Measurement", "Curvature Heatmap",
};

QProgressDialog* visibleProgress(QWidget* window)
{
    for (QProgressDialog* dialog : window->findChildren<QProgressDialog*>())
        if (dialog->isVisible())
            return dialog;
    return nullptr;
}

} // namespace

class TestMainWindowLoad : public WindowTest {
    Q_OBJECT

private slots:
    void initTestCase()
    {
        scanPath_ = dir_.filePath(QStringLiteral("scan.stl"));
        triangles_ = writeSyntheticStl(scanPath_); // the faces actually written
        QVERIFY(triangles_ > 0);
        writeScan(otherPath_, "other.stl", 6000);
    }
    void init() { openWindow(); }
    void cleanup()
    {
        if (window_)
            QTRY_VERIFY_WITH_TIMEOUT(!window_->isLoadInProgress(), kLoadTimeoutMs);
        closeWindow();
        QVERIFY(!QApplication::overrideCursor());
    }

    // While the worker loads, progress and the wait cursor show and the mesh
    // commands are off; then the aligned mesh, its labels and the commands.
    void loadShowsProgressThenInstallsTheAlignedMesh()
    {
        load(otherPath_);
        expectMeshCommandsEnabled(true);
        auto* exportCombo = window_->findChild<QComboBox*>(QStringLiteral("wireExportCombo"));
        exportCombo->setCurrentIndex(0);

        window_->beginAsyncLoad(scanPath_);
        // Nothing has been handed back before the event loop runs again.
        QVERIFY(window_->isLoadInProgress());
        QCOMPARE(status(), QStringLiteral("Loading scan.stl ..."));
        QCOMPARE(window_->modeText(), QStringLiteral("Loading"));
        expectMeshCommandsEnabled(false);
        QVERIFY(!window_->findChild<QSlider*>(QStringLiteral("sliceSlider"))->isEnabled());
        QVERIFY(QApplication::overrideCursor());
        QCOMPARE(QApplication::overrideCursor()->shape(), Qt::WaitCursor);
        QProgressDialog* progress = visibleProgress(window_.get());
        QVERIFY(progress);
        QCOMPARE(progress->windowTitle(), QStringLiteral("Loading"));
        QCOMPARE(progress->labelText(), QStringLiteral("Loading scan file..."));
        QCOMPARE(progress->windowModality(), Qt::ApplicationModal);
        QCOMPARE(progress->minimum(), 0);
        QCOMPARE(progress->maximum(), 0);

        QTRY_VERIFY_WITH_TIMEOUT(!window_->isLoadInProgress(), kLoadTimeoutMs);
        QVERIFY(!visibleProgress(window_.get()));
        QVERIFY(!QApplication::overrideCursor());
        QVERIFY(window_->findChild<QSlider*>(QStringLiteral("sliceSlider"))->isEnabled());

        const MeshModel& model = window_->model();
        QCOMPARE(model.faces.size(), triangles_);
        // The load task aligned it: exactly the core's load and import pose.
        MeshModel expected;
        QVERIFY(loadMesh(expected, scanPath_.toStdString()));
        QVERIFY(expected.autoAlignOnImport());
        QVERIFY(model.vertices == expected.vertices);
        QVERIFY(model.faces == expected.faces);
        QVERIFY(model.displayVertices == expected.displayVertices);
        const QString vertices = QString::number(model.vertices.size());
        const QString faces = QString::number(model.faces.size());
        QCOMPARE(status(), QStringLiteral("Loaded scan.stl (%1 vertices, render %2 faces) - auto-aligned (minimum OBB)")
                               .arg(vertices, faces));
        QCOMPARE(window_->modeText(), QStringLiteral("Axis Slice"));
        QVERIFY(window_->isAligned());
        QCOMPARE(label("fileLabel"), QStringLiteral("scan.stl"));
        QCOMPARE(label("typeLabel"), QStringLiteral("Mesh"));
        // Below the render reduction target the render mesh is the mesh.
        QCOMPARE(label("verticesLabel"), QStringLiteral("%1 (render %1)").arg(vertices));
        QCOMPARE(label("facesLabel"), QStringLiteral("%1 (render %1)").arg(faces));
        QVERIFY2(QRegularExpression(QStringLiteral("^\\d+\\.\\d x \\d+\\.\\d x \\d+\\.\\d mm$"))
                     .match(label("extentsLabel"))
                     .hasMatch(),
                 qPrintable(label("extentsLabel")));
        QCOMPARE(label("alignmentLabel"), QStringLiteral("Aligned"));
        QCOMPARE(exportCombo->currentText(), QStringLiteral("X/Y Lattice Vectors"));
        expectMeshCommandsEnabled(true);
        QVERIFY(!findAction(window_.get(), "Undo Alignment")->isEnabled());
    }

    void openCommandLoadsAutomationPath()
    {
        env_.set("HALVORAN_AUTOMATION", "1");
        env_.set("HALVORAN_AUTOMATION_OPEN_MESH", QFile::encodeName(otherPath_));
        findAction(window_.get(), "Open Scan...")->trigger();
        QVERIFY(window_->isLoadInProgress());
        QTRY_VERIFY_WITH_TIMEOUT(!window_->isLoadInProgress(), kLoadTimeoutMs);
        QVERIFY(window_->model().hasMesh());
        QCOMPARE(label("fileLabel"), QStringLiteral("other.stl"));

        // Automation without a path: the command does nothing.
        qunsetenv("HALVORAN_AUTOMATION_OPEN_MESH");
        window_->statusBar()->showMessage(QStringLiteral("before"));
        findAction(window_.get(), "Load Scan")->trigger();
        QVERIFY(!window_->isLoadInProgress());
        QCOMPARE(status(), QStringLiteral("before"));

        // While a load runs, both commands are refused and the first request lands.
        env_.set("HALVORAN_AUTOMATION_OPEN_MESH", QFile::encodeName(otherPath_));
        window_->beginAsyncLoad(scanPath_);
        findAction(window_.get(), "Open Scan...")->trigger();
        QCOMPARE(status(), QStringLiteral("Please wait for the current operation to finish."));
        window_->statusBar()->clearMessage();
        findAction(window_.get(), "Load Scan")->trigger();
        QCOMPARE(status(), QStringLiteral("Please wait for the current operation to finish."));
        QTRY_VERIFY_WITH_TIMEOUT(!window_->isLoadInProgress(), kLoadTimeoutMs);
        QCOMPARE(label("fileLabel"), QStringLiteral("scan.stl"));
        QCOMPARE(window_->model().faces.size(), triangles_);
    }

    void missingFileShowsLoadErrorAndKeepsMesh()
    {
        load(scanPath_);
        const std::size_t vertices = window_->model().vertices.size();

        const QString missing = dir_.filePath(QStringLiteral("missing.stl"));
        MessageBoxCatcher boxes;
        load(missing);
        QTRY_COMPARE(boxes.titles.size(), 1);
        QCOMPARE(boxes.titles.first(), QStringLiteral("Load Error"));
        QCOMPARE(boxes.texts.first(), QStringLiteral("File not found: ") + missing);
        QTRY_COMPARE(status(), QStringLiteral("Load failed: missing.stl"));
        QCOMPARE(window_->model().vertices.size(), vertices);
        QCOMPARE(label("fileLabel"), QStringLiteral("scan.stl"));
        QCOMPARE(window_->modeText(), QStringLiteral("Navigation"));
        expectMeshCommandsEnabled(true);
    }

    void missingFileInAutomationDoesNotBlock()
    {
        env_.set("HALVORAN_AUTOMATION", "1");
        const QString missing = dir_.filePath(QStringLiteral("absent.obj"));
        load(missing, false);
        // The hand-back returned with the box still open.
        QCOMPARE(status(), QStringLiteral("Load failed: absent.obj"));
        QMessageBox* shown = nullptr;
        for (QWidget* widget : QApplication::topLevelWidgets())
            if (auto* box = qobject_cast<QMessageBox*>(widget); box && box->isVisible())
                shown = box;
        QVERIFY(shown);
        QCOMPARE(shown->windowTitle(), QStringLiteral("Load Error"));
        QCOMPARE(shown->text(), QStringLiteral("File not found: ") + missing);
        shown->close();
        QVERIFY(!window_->model().hasMesh());
        QCOMPARE(label("fileLabel"), QStringLiteral("No file loaded"));
        expectMeshCommandsEnabled(false);
    }

    void cancelThenLateResultChangesNothing_data()
    {
        QTest::addColumn<bool>("earlierMesh");
        QTest::newRow("no mesh before") << false;
        QTest::newRow("a mesh before") << true;
    }

    // Cancel answers at once; the worker's late result is dropped and whatever
    // was shown before the load stays.
    void cancelThenLateResultChangesNothing()
    {
        QFETCH(bool, earlierMesh);
        if (earlierMesh)
            load(otherPath_);
        const std::size_t faces = window_->model().faces.size();
        const QString file = label("fileLabel");
        window_->beginAsyncLoad(scanPath_);
        QProgressDialog* progress = visibleProgress(window_.get());
        QVERIFY(progress);
        QPushButton* cancel = progress->findChild<QPushButton*>();
        QVERIFY(cancel);
        QCOMPARE(cancel->text(), QStringLiteral("Cancel"));
        cancel->click();

        QCOMPARE(status(), QStringLiteral("Load canceled."));
        QCOMPARE(window_->modeText(), QStringLiteral("Navigation"));
        QVERIFY(!QApplication::overrideCursor());
        expectMeshCommandsEnabled(earlierMesh);
        // The worker still runs; a new load waits for its result to be dropped.
        QVERIFY(window_->isLoadInProgress());

        QTRY_VERIFY_WITH_TIMEOUT(!window_->isLoadInProgress(), kLoadTimeoutMs);
        QCOMPARE(window_->model().hasMesh(), earlierMesh);
        QCOMPARE(window_->model().faces.size(), faces);
        QCOMPARE(status(), QStringLiteral("Load canceled."));
        QCOMPARE(label("fileLabel"), file);
        QCOMPARE(window_->isAligned(), earlierMesh);
        QVERIFY(!visibleProgress(window_.get()));
        QVERIFY(!QApplication::overrideCursor());
        expectMeshCommandsEnabled(earlierMesh);
        QVERIFY(window_->findChild<QSlider*>(QStringLiteral("sliceSlider"))->isEnabled());
    }

    void stepReaderCrashAndCancelKeepTheSession()
    {
        load(otherPath_);
        const std::size_t faces = window_->model().faces.size();
        const QString part = dir_.filePath(QStringLiteral("part.step"));
        QFile file(part);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("ISO-10303-21;\n");
        file.close();
        struct ReaderGuard {
            ~ReaderGuard() { setStepReaderProgram(std::string()); }
        } guard;

        fixtures::FakeProgram crash(QStringLiteral("reader"), "kill -SEGV $$");
        setStepReaderProgram(crash.path(QStringLiteral("reader")).toStdString());
        MessageBoxCatcher boxes;
        load(part);
        QTRY_COMPARE(boxes.texts.size(), 1);
        QCOMPARE(boxes.texts.first(), QStringLiteral("Failed to read STEP file."));
        QCOMPARE(window_->model().faces.size(), faces);
        QCOMPARE(label("fileLabel"), QStringLiteral("other.stl"));

        // A reader that never ends is killed by Cancel, long before its minute.
        fixtures::FakeProgram hang(QStringLiteral("reader"), "");
        const QString pidFile = hang.path(QStringLiteral("pid"));
        hang.add(QStringLiteral("reader"), "echo $$ > '" + pidFile.toUtf8() + "'\nexec sleep 60");
        setStepReaderProgram(hang.path(QStringLiteral("reader")).toStdString());
        window_->beginAsyncLoad(part);
        QTRY_VERIFY(QFile(pidFile).size() > 0);
        visibleProgress(window_.get())->findChild<QPushButton*>()->click();
        QTRY_VERIFY_WITH_TIMEOUT(!window_->isLoadInProgress(), 20000);
        QFile pid(pidFile);
        QVERIFY(pid.open(QIODevice::ReadOnly));
        QVERIFY(::kill(pid.readAll().trimmed().toInt(), 0) != 0);
        QCOMPARE(window_->model().faces.size(), faces);
        QCOMPARE(label("fileLabel"), QStringLiteral("other.stl"));
        QCOMPARE(status(), QStringLiteral("Load canceled."));
    }

    // One operation at a time: a load refuses a busy operation, a busy
    // operation refuses another and the load.
    void busyGuardRefusesSecondOperation()
    {
        window_->beginAsyncLoad(otherPath_);
        QVERIFY(!window_->beginBusyOperation(QStringLiteral("Aligning")));
        QCOMPARE(status(), QStringLiteral("Please wait for the current operation to finish."));
        QVERIFY(!window_->isBusy());
        QTRY_VERIFY_WITH_TIMEOUT(!window_->isLoadInProgress(), kLoadTimeoutMs);

        QVERIFY(window_->beginBusyOperation(QStringLiteral("Repairing Mesh")));
        QVERIFY(window_->isBusy());
        QCOMPARE(window_->modeText(), QStringLiteral("Repairing Mesh"));
        QCOMPARE(QApplication::overrideCursor()->shape(), Qt::WaitCursor);
        expectMeshCommandsEnabled(false);

        QVERIFY(!window_->beginBusyOperation(QStringLiteral("Aligning")));
        QCOMPARE(status(), QStringLiteral("Please wait for the current operation to finish."));
        QCOMPARE(window_->modeText(), QStringLiteral("Repairing Mesh"));
        window_->statusBar()->clearMessage();
        findAction(window_.get(), "Open Scan...")->trigger();
        QCOMPARE(status(), QStringLiteral("Please wait for the current operation to finish."));
        QVERIFY(!window_->isLoadInProgress());

        window_->endBusyOperation();
        QVERIFY(!window_->isBusy());
        QVERIFY(!QApplication::overrideCursor());
        expectMeshCommandsEnabled(true);
        // A second release is harmless and pops nothing.
        window_->endBusyOperation();
        QVERIFY(!QApplication::overrideCursor());

        // An empty mode text leaves the label alone; without a mesh the
        // commands stay off afterwards.
        auto fresh = std::make_unique<MainWindow>();
        QVERIFY(fresh->beginBusyOperation(QString()));
        QCOMPARE(fresh->modeText(), QStringLiteral("Navigation"));
        fresh->endBusyOperation();
        QVERIFY(!findAction(fresh.get(), "Auto Orient")->isEnabled());
        QVERIFY(!QApplication::overrideCursor());
    }

    void loadTraceReachesRuntimeLog()
    {
        const QString logPath = QDir(QCoreApplication::applicationDirPath()).filePath(QStringLiteral("halvoran_runtime.log"));
        QFile before(logPath);
        const qint64 offset = before.exists() ? before.size() : 0;

        const QtMessageHandler previous = qInstallMessageHandler(runtimeMessageHandler);
        window_->beginAsyncLoad(scanPath_);
        QTRY_VERIFY_WITH_TIMEOUT(!window_->isLoadInProgress(), kLoadTimeoutMs);
        qInstallMessageHandler(previous);

        QFile log(logPath);
        QVERIFY(log.open(QIODevice::ReadOnly | QIODevice::Text));
        QVERIFY(log.seek(offset));
        QStringList traces;
        for (const QString& line : QString::fromUtf8(log.readAll()).split(QLatin1Char('\n'))) {
            const int at = line.indexOf(QStringLiteral("[INFO] [LOAD_TRACE] "));
            if (at > 0)
                traces << line.mid(at + 20);
        }
        // The reader says which way it read the file; the load task aligns, then
        // the window installs the aligned mesh.
        QVERIFY(!traces.isEmpty());
        QVERIFY2(traces.first().startsWith(QStringLiteral("native reader: ")), qPrintable(traces.first()));
        traces.removeFirst();
        const MeshModel& model = window_->model();
        QCOMPARE(traces, (QStringList{
                             "step 1: autoAlignOnImport...",
                             "step 2: autoAlign done",
                             QStringLiteral("mesh assigned, verts=%1 faces=%2 displayVerts=%1 displayFaces=%2")
                                 .arg(model.vertices.size())
                                 .arg(model.faces.size()),
                             "step 3: updateSliceBounds...",
                             "step 4: staying in current view mode...",
                             "step 5: wireExportModeCombo...",
                             "step 6: refresh3DViews...",
                             "step 7: refresh2DSection...",
                             "step 8: updateStatusPanel...",
                         }));
    }

    // The previous part's drawn work must not reach the next part's section or
    // its exports; reloading the same file keeps it.
    void newScanStartsWithACleanSection()
    {
        Section2DWidget* canvas = window_->sectionCanvas();
        const auto drawWork = [&]() {
            SectionAnnotation fit = annotation("line", {QPointF(-400, -400), QPointF(-300, -300)});
            fit.isFit = true;
            canvas->setAnnotations({annotation("line", {QPointF(400, 400), QPointF(500, 500)}),
                                    annotation("measure_length", {QPointF(0, 0), QPointF(99.98, 0)}, true,
                                               QStringLiteral("99.98 mm")),
                                    fit});
            canvas->setComparisonLines({QLineF(-900, -900, 900, 900)});
            canvas->setErasedIndices({2});
            canvas->setKeptIndices({0, 1});
            QCOMPARE(canvas->keptIndices().size(), 2);
        };
        const auto expectClean = [&]() {
            QVERIFY(canvas->annotations().isEmpty());
            QVERIFY(canvas->keptIndices().isEmpty());
            QVERIFY(canvas->erasedIndices().isEmpty());
            QVERIFY(canvas->comparisonOverlay().isEmpty());
        };

        load(scanPath_);
        drawWork();
        load(scanPath_);
        QVERIFY(canvas->annotations().size() >= 2); // same file: the sketches stay
        QCOMPARE(canvas->annotations().first().points.last(), QPointF(500, 500));
        QVERIFY(!canvas->comparisonOverlay().isEmpty());

        load(otherPath_);
        expectClean();
        // The view fits the new section alone, centred on it.
        QVERIFY(!canvas->sectionLines().isEmpty());
        QRectF lines;
        for (const QLineF& line : canvas->sectionLines())
            lines |= QRectF(line.p1(), line.p2()).normalized();
        QVERIFY(canvas->contentBounds().contains(lines));
        QVERIFY2(canvas->contentBounds().width() < 2 * lines.width() + 1, "bounds reach the old sketches");
        QVERIFY(QLineF(canvas->viewCenter(), lines.center()).length() < 0.05 * lines.width());

        // A 2D drawing of the old part does not stay on the new part's canvas.
        env_.set("HALVORAN_AUTOMATION", "1");
        window_->findChild<QComboBox*>(QStringLiteral("modeCombo"))->setCurrentIndex(1);
        findButton(window_.get(), QStringLiteral("Generate"))->click();
        QTRY_VERIFY_WITH_TIMEOUT(!window_->isBusy(), kLoadTimeoutMs);
        const SectionLines drawing = canvas->sectionLines();
        QVERIFY(!drawing.isEmpty());
        drawWork();
        load(scanPath_);
        expectClean();
        QVERIFY(canvas->sectionLines() != drawing);
    }

    void smokeTestLoadsThroughOpenCommand()
    {
        QString error;
        const QString missing = dir_.filePath(QStringLiteral("nope.stl"));
        for (const QString& mesh : {missing, QString()}) {
            QVERIFY(!window_->runReleaseSmokeTest(mesh, dir_.filePath(QStringLiteral("out")), error));
            QCOMPARE(error, QStringLiteral("Smoke mesh not found: ") + mesh);
        }
        QVERIFY(!QDir(dir_.filePath(QStringLiteral("out"))).exists());

        const QString out = dir_.filePath(QStringLiteral("smoke"));
        QDir().mkpath(out + QStringLiteral("/stale"));
        // Every step runs its command for real; any failure fails this test.
        QVERIFY2(window_->runReleaseSmokeTest(scanPath_, out, error), qPrintable(error));
        QVERIFY(window_->model().hasMesh());
        QCOMPARE(label("fileLabel"), QStringLiteral("scan.stl"));
        QVERIFY(QDir(out).exists());
        QVERIFY(!QDir(out + QStringLiteral("/stale")).exists());
        QCOMPARE(qEnvironmentVariable("HALVORAN_AUTOMATION_OUTPUT_DIR"), out);
        for (const char* name : {"HALVORAN_AUTOMATION", "HALVORAN_AUTOMATION_OUTPUT_DIR", "HALVORAN_AUTOMATION_OPEN_MESH"})
            qunsetenv(name); // the smoke run sets them for its own commands
    }

private:
    QString label(const char* name) const { return child<QLabel>(name)->text(); }
    void expectMeshCommandsEnabled(bool enabled)
    {
        for (const QString& text : kMeshCommands)
            QVERIFY2(findAction(window_.get(), text)->isEnabled() == enabled, qPrintable(text));
        QCOMPARE(findButton(window_.get(), "Build On Surface")->isEnabled(), enabled);
        QCOMPARE(window_->findChild<QComboBox*>(QStringLiteral("qualityCombo"))->isEnabled(), enabled);
    }

    QString scanPath_;
    QString otherPath_;
    std::size_t triangles_ = 0;
};

QTEST_MAIN(TestMainWindowLoad)
#include "test_mainwindow_load.moc"
