// Detect Holes and Fill Holes through the window: the loop overlay, keeping
// clicked loops open, the fill result, undo, and the refusals; and the status
// text of every long command run on a worker.
#include "model/repair/holes.h"
#include "model/repair/repair.h"
#include "ui/view3d/occtmeshview.h"
#include "tests/ui/common/windowtest.h"

#include <set>

namespace {

std::set<std::uint32_t> asSet(const std::vector<std::uint32_t>& loop)
{
    return {loop.begin(), loop.end()};
}

} // namespace

class TestMainWindowHoles : public WindowTest {
    Q_OBJECT

private slots:
    void initTestCase()
    {
        writeScan(scanPath_, "scan.stl");
        closedPath_ = dir_.filePath(QStringLiteral("closed.stl"));
        SyntheticScanOptions options;
        options.targetTriangles = 5000;
        options.holes = 0;
        const SyntheticScan closed = makeSyntheticScan(options);
        QVERIFY(writeBinaryStl(closedPath_.toStdString(), closed.vertices, closed.faces));
    }
    void cleanup() { closeWindow(); }

    // Detect draws every loop; a click keeps a hole open and a second click
    // releases it; Fill closes all but the kept one, and Undo brings them back;
    // then Repair Mesh and its Undo.
    void detectKeepFillRepairAndUndo()
    {
        open(scanPath_);
        const std::size_t facesBefore = window_->model().faces.size();
        click(QStringLiteral("Detect Holes"));
        QCOMPARE(status(), QStringLiteral("Found 3 holes. Click holes to KEEP open, then press Fill Holes."));
        QVERIFY(window_->isHoleMode());
        QVERIFY(window_->mainView()->wireSelectMode());
        std::size_t edges = 0;
        for (const auto& loop : window_->holeList())
            edges += loop.size();
        const auto& segments = window_->mainView()->wireSegments();
        QCOMPARE(segments.size(), edges);
        // Each segment joins two consecutive loop vertices where the mesh has them.
        const auto& loop = window_->holeList()[0];
        const Vec3f a = window_->model().vertices[loop[0]], b = window_->model().vertices[loop[1]];
        QVERIFY(segments[0].p0 == a && segments[0].p1 == b);

        pickHole(1);
        QCOMPARE(status(), QStringLiteral("Keeping 1 of 3 holes open. Press Fill Holes when ready."));
        QCOMPARE(window_->keepOpenHoles(), std::set<std::uint32_t>{1});
        const QList<int> selected = window_->mainView()->selectedWireSegments();
        QCOMPARE(std::size_t(selected.size()), window_->holeList()[1].size());
        QVERIFY(selected.contains(segmentOfHole(1)));
        pickHole(1);
        QCOMPARE(status(), QStringLiteral("Keeping 0 of 3 holes open. Press Fill Holes when ready."));
        QVERIFY(window_->keepOpenHoles().empty());
        QVERIFY(window_->mainView()->selectedWireSegments().isEmpty());

        const std::set<std::uint32_t> kept = asSet(window_->holeList()[2]);
        pickHole(2);
        click(QStringLiteral("Fill Holes"));
        QTRY_VERIFY(!window_->isBusy());
        const std::size_t facesAfter = window_->model().faces.size();
        QVERIFY(facesAfter > facesBefore);
        QCOMPARE(status(), QStringLiteral("Holes filled: %1 → %2 faces (+%3)")
                               .arg(facesBefore)
                               .arg(facesAfter)
                               .arg(facesAfter - facesBefore));
        const auto left = window_->model().findBoundaryLoops();
        QCOMPARE(left.size(), std::size_t(1));
        QVERIFY(asSet(left[0]) == kept);
        QVERIFY(!window_->isHoleMode());
        QVERIFY(window_->holeList().empty());
        QVERIFY(window_->mainView()->wireSegments().empty());

        trigger(QStringLiteral("Undo Alignment"));
        QTRY_VERIFY(!window_->isBusy());
        QCOMPARE(window_->model().faces.size(), facesBefore);
        QCOMPARE(window_->model().findBoundaryLoops().size(), std::size_t(3));

        // Repair Mesh closes the scan into a manifold, and is undone the same way.
        env_.set("HALVORAN_AUTOMATION", "1"); // no options dialog, no results box
        click(QStringLiteral("Repair Mesh"));
        QTRY_VERIFY(!window_->isBusy());
        QVERIFY(window_->model().repaired);
        QVERIFY(status().startsWith(QStringLiteral("Mesh repaired: ")));
        const MeshStats stats = computeMeshStats(window_->model());
        QCOMPARE(stats.boundaryEdges, 0u);
        QCOMPARE(stats.nonManifoldEdges, 0u);
        trigger(QStringLiteral("Undo Alignment"));
        QTRY_VERIFY(!window_->isBusy());
        QCOMPARE(window_->model().faces.size(), facesBefore);
        QCOMPARE(window_->model().findBoundaryLoops().size(), std::size_t(3));
    }

    void fillWithoutDetectClosesEverything()
    {
        open(scanPath_);
        MessageBoxCatcher boxes;
        click(QStringLiteral("Fill Holes"));
        QTRY_VERIFY(!window_->isBusy());
        QVERIFY(boxes.texts.isEmpty());
        QVERIFY(window_->model().findBoundaryLoops().empty());
        QVERIFY(status().startsWith(QStringLiteral("Holes filled: ")));
    }

    // Every hole kept open, another operation running, or no hole at all:
    // Fill refuses and the mesh stays as it was.
    void fillRefusals()
    {
        open(scanPath_);
        const std::size_t faces = window_->model().faces.size();
        click(QStringLiteral("Detect Holes"));
        for (std::uint32_t h = 0; h < 3; ++h)
            pickHole(h);
        MessageBoxCatcher boxes;
        click(QStringLiteral("Fill Holes"));
        QTRY_VERIFY(!boxes.texts.isEmpty());
        QCOMPARE(boxes.titles.front(), QStringLiteral("Fill Holes"));
        QCOMPARE(boxes.texts.front(), QStringLiteral("No holes selected to fill."));
        QTRY_VERIFY(!window_->isBusy());

        QVERIFY(window_->beginBusyOperation(QStringLiteral("Test")));
        window_->onFillHoles();
        QTRY_COMPARE(boxes.texts.size(), 2);
        QCOMPARE(boxes.texts[1], QStringLiteral("Cannot start: another operation is in progress."));
        window_->endBusyOperation();
        QCOMPARE(window_->model().faces.size(), faces);
        QCOMPARE(window_->model().findBoundaryLoops().size(), std::size_t(3));

        // A watertight mesh: Detect and Fill both say there is nothing to do.
        open(closedPath_);
        click(QStringLiteral("Detect Holes"));
        QTRY_COMPARE(boxes.texts.size(), 3);
        QCOMPARE(boxes.titles[2], QStringLiteral("Detect Holes"));
        QCOMPARE(boxes.texts[2], QStringLiteral("No holes found in the mesh."));
        QVERIFY(!window_->isHoleMode());
        QVERIFY(window_->mainView()->wireSegments().empty());
        click(QStringLiteral("Fill Holes"));
        QTRY_COMPARE(boxes.texts.size(), 4);
        QCOMPARE(boxes.titles[3], QStringLiteral("Fill Holes"));
        QCOMPARE(boxes.texts[3], QStringLiteral("No holes found."));
    }

    // Every long command the window runs on a worker tells the status bar what
    // runs, and leaves no such text behind once it has ended.
    void backgroundBuildsSayWhatRunsAndEndTheirStatus_data()
    {
        QTest::addColumn<QString>("command");
        QTest::addColumn<QString>("running");
        QTest::addColumn<QString>("result");
        QTest::newRow("fill holes") << "Fill Holes" << "Filling holes..." << "Holes filled: ";
        QTest::newRow("repair") << "Repair Mesh" << "Repairing mesh..." << "Mesh repaired: ";
        QTest::newRow("2D drawing") << "2D drawing" << "Computing 2D drawing..." << "2D Drawing (Top): ";
        QTest::newRow("stale lattice for the export") << "Export Wireframe DXF" << "Building wireframe lattice..."
                                                      << "Exported wireframe DXF (";
    }

    void backgroundBuildsSayWhatRunsAndEndTheirStatus()
    {
        QFETCH(QString, command);
        QFETCH(QString, running);
        QFETCH(QString, result);
        openWindow(true); // no option dialogs, no result boxes
        load(scanPath_);
        QStringList shown;
        connect(window_->statusBar(), &QStatusBar::messageChanged, window_.get(),
                [&shown](const QString& text) { shown << text; });
        MessageBoxCatcher boxes; // the repair hint before a drawing of an open scan
        if (command == QLatin1String("2D drawing"))
            window_->onGenerate2DDrawing();
        else if (command == QLatin1String("Export Wireframe DXF"))
            trigger(command);
        else
            click(command);
        QTRY_VERIFY(!window_->isBusy());
        QVERIFY2(shown.contains(running), qPrintable(shown.join(QLatin1String(" | "))));
        QVERIFY2(status().startsWith(result), qPrintable(status()));
    }

private:
    void open(const QString& path)
    {
        openWindow();
        load(path);
    }
    // The first overlay segment of hole h.
    int segmentOfHole(std::uint32_t h) const
    {
        std::size_t first = 0;
        for (std::uint32_t i = 0; i < h; ++i)
            first += window_->holeList()[i].size();
        return int(first);
    }
    void pickHole(std::uint32_t h)
    {
        const int s = segmentOfHole(h);
        const auto& segment = window_->mainView()->wireSegments()[std::size_t(s)];
        emit window_->mainView()->wireSegmentPicked(s, QVector3D(segment.p0.x, segment.p0.y, segment.p0.z),
                                                    QVector3D(segment.p1.x, segment.p1.y, segment.p1.z));
    }

    QString scanPath_;
    QString closedPath_;
};

QTEST_MAIN(TestMainWindowHoles)
#include "test_mainwindow_holes.moc"
