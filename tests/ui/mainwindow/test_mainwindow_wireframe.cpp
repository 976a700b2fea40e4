// The wireframe page: the lattice built in the background, thinned by the
// complexity slider, stale results dropped, lane deletion, the long-feature
// lines and their tools, and the DXF export with its halvoran-cli twin.
#include "ui/view3d/occtmeshview.h"
#include "tests/ui/common/windowtest.h"

#include <QAbstractButton>
#include <QComboBox>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QSlider>
#include <QTimer>

#include <cmath>

namespace {

constexpr int kLatticeTimeoutMs = 120000;

// A plain box as binary STL, twelve triangles.
bool writeBoxStl(const QString& path, float sx, float sy, float sz)
{
    std::vector<Vec3f> v;
    for (int i = 0; i < 8; ++i)
        v.push_back({(i & 1) ? sx : 0.0f, (i & 2) ? sy : 0.0f, (i & 4) ? sz : 0.0f});
    const std::vector<Triangle> f{{0, 2, 1}, {1, 2, 3}, {4, 5, 6}, {5, 7, 6}, {0, 1, 4}, {1, 5, 4},
                                  {2, 6, 3}, {3, 6, 7}, {0, 4, 2}, {2, 4, 6}, {1, 3, 5}, {3, 7, 5}};
    return writeBinaryStl(path.toStdString(), v, f);
}

bool inside(const Vec3f& p, const Vec3f& lo, const Vec3f& hi, float slack)
{
    for (int a = 0; a < 3; ++a)
        if (p[a] < lo[a] - slack || p[a] > hi[a] + slack)
            return false;
    return true;
}

} // namespace

class TestMainWindowWireframe : public WindowTest {
    Q_OBJECT

private slots:
    void initTestCase()
    {
        writeScan(scanPath_, "scan.stl", 30000);
        boxPath_ = dir_.filePath(QStringLiteral("long box.stl"));
        QVERIFY(writeBoxStl(boxPath_, 300.0f, 20.0f, 10.0f));
    }
    void init() { openWindow(true); }
    void cleanup() { closeWindow(); }

    // One lattice job serves the page, the export of what is shown, every
    // complexity and the deletion of a whole lane.
    void wireframePageBuildsThinsExportsAndDeletesLanes()
    {
        load(scanPath_);
        QCOMPARE(window_->latticeJobsStarted(), 0); // nothing is built while the section page is up
        showWireframe();
        QCOMPARE(window_->latticeJobsStarted(), 1);
        QVERIFY(!status().startsWith(QStringLiteral("Building")));
        QVERIFY(!window_->latticeLanes().alongX.empty());
        QVERIFY(!window_->latticeLanes().alongY.empty());
        // Only the lattice is drawn, and it is the 70 % selection of the lattice.
        QVERIFY(!window_->wireView()->isMeshVisible());
        const auto expected = expectedAt(70);
        const auto& shown = window_->wireView()->wireSegments();
        QCOMPARE(shown.size(), expected.size());
        QVERIFY(shown.front().p0 == expected.front().p0 && shown.back().p1 == expected.back().p1);

        // The export writes what is shown (in order: test_wireframedxf.cpp).
        MessageBoxCatcher boxes;
        findAction(window_.get(), QStringLiteral("Export Wireframe DXF"))->trigger();
        QVERIFY(boxes.texts.isEmpty());
        const QString path = outDir_->filePath(QStringLiteral("wireframe.dxf"));
        QCOMPARE(status(), QStringLiteral("Exported wireframe DXF (X/Y lattice vectors): %1 entities -> %2")
                               .arg(shown.size())
                               .arg(path));
        QCOMPARE(readDxfSummary(path).value(QStringLiteral("counts")).toObject(),
                 QJsonObject({{QStringLiteral("LINE/WIRE_LATTICE"), int(shown.size())}}));

        const std::size_t at70 = shown.size();
        slider()->setValue(100);
        QCOMPARE(status(), QStringLiteral("Wireframe complexity: 100% (lane spacing ~5.0 mm)"));
        QTRY_COMPARE(window_->wireView()->wireSegments().size(), expectedAt(100).size());
        QVERIFY(window_->wireView()->wireSegments().size() > at70);
        slider()->setValue(10);
        QCOMPARE(status(), QStringLiteral("Wireframe complexity: 10% (lane spacing ~45.5 mm)"));
        QTRY_COMPARE(window_->wireView()->wireSegments().size(), expectedAt(10).size());
        QVERIFY(window_->wireView()->wireSegments().size() < at70);
        QCOMPARE(window_->latticeJobsStarted(), 1);

        const auto s = window_->wireView()->wireSegments().front();
        window_->onWireSegmentPicked(0, QVector3D(s.p0.x, s.p0.y, s.p0.z), QVector3D(s.p1.x, s.p1.y, s.p1.z));
        const std::vector<std::uint32_t> lane = window_->selectedLatticeSegments();
        QVERIFY(!lane.empty());
        QVERIFY(status().startsWith(QStringLiteral("Selected full lattice line: %1 segments").arg(lane.size())));
        QVERIFY(window_->wireView()->selectedWireSegments().contains(0));
        const std::size_t before = window_->latticeSegments().size();
        window_->onWireDeleteSelected();
        QCOMPARE(status(), QStringLiteral("Deleted full lattice line (%1 segment(s)).").arg(lane.size()));
        QVERIFY(window_->latticeSegments().size() < before);
        // The deleted lane's geometry is gone from the lattice.
        for (const auto& t : window_->latticeSegments())
            QVERIFY(!(t.p0 == s.p0 && t.p1 == s.p1));
        window_->onWireDeleteSelected();
        QCOMPARE(status(), QStringLiteral("No wire segment selected to delete."));
    }

    // The box arrives while the scan's lattice is still being built: that stale
    // result is dropped. Then the box's long-feature lines and their tools.
    void staleLatticeDroppedThenLongFeatureLinesEdited()
    {
        load(scanPath_);
        findButton(window_.get(), QStringLiteral("3D Wireframe"))->click();
        QVERIFY(window_->isLatticeJobRunning());
        // The 300 x 20 x 10 box: its 300 and 20 mm edges reach the 20 mm minimum, the 10 mm ones do not.
        load(boxPath_);
        QTRY_VERIFY_WITH_TIMEOUT(window_->isLatticeCacheValid(), kLatticeTimeoutMs);
        QTRY_VERIFY_WITH_TIMEOUT(!window_->isLatticeJobRunning(), kLatticeTimeoutMs);
        QTRY_VERIFY(!window_->wireView()->wireSegments().empty());
        QCOMPARE(window_->latticeJobsStarted(), 2);
        // Every line lies on the box now loaded, none on the earlier scan.
        const Vec3f lo = window_->model().boundsMin(), hi = window_->model().boundsMax();
        QVERIFY(!window_->latticeSegments().empty());
        for (const auto& s : window_->latticeSegments())
            QVERIFY(inside(s.p0, lo, hi, 0.01f) && inside(s.p1, lo, hi, 0.01f));
        for (const auto& s : window_->wireView()->wireSegments())
            QVERIFY(inside(s.p0, lo, hi, 0.01f) && inside(s.p1, lo, hi, 0.01f));
        // Over the lattice the view draws the box's creases.
        QCOMPARE(window_->wireView()->secondaryWireSegments().size(), 8u);
        combo("wireExportCombo")->setCurrentIndex(0);
        QCOMPARE(status(), QStringLiteral("Wireframe mode: Long feature polylines"));
        const WireframeController& wire = window_->wireframe();
        QTRY_COMPARE(window_->wireView()->wireSegments().size(), 8u);
        QVERIFY(window_->wireView()->isMeshVisible());
        QVERIFY(window_->wireView()->secondaryWireSegments().empty());
        QCOMPARE(wire.longFeatureBuilds(), 1);

        // Cleanup and complexity thin the same ranked list; only the angle rebuilds it.
        combo("wireCleanupCombo")->setCurrentIndex(0);
        QCOMPARE(status(), QStringLiteral("Wire cleanup mode: Balanced"));
        slider()->setValue(40);
        QCOMPARE(status(), QStringLiteral("Wire detail: 40% (Balanced, target ~9700 segments)"));
        QTRY_COMPARE(window_->wireView()->wireSegments().size(), 8u);
        QCOMPARE(wire.longFeatureBuilds(), 1);
        window_->onEdgeAngleChanged(95.0 / 2);
        QCOMPARE(status(), QStringLiteral("Feature edge angle: 47.5 deg"));
        QCOMPARE(wire.longFeatureBuilds(), 2);

        // Keep N: the whole list removes nothing, 3 keeps the three longest.
        env_.set("HALVORAN_AUTOMATION_KEEP_TOP", "8");
        window_->onWireKeepTopCount();
        QCOMPARE(status(), QStringLiteral("Keep N: nothing removed (8 lines)."));
        env_.set("HALVORAN_AUTOMATION_KEEP_TOP", "3");
        window_->onWireKeepTopCount();
        qunsetenv("HALVORAN_AUTOMATION_KEEP_TOP");
        QCOMPARE(status(), QStringLiteral("Kept top 3 long-feature lines (removed 5)."));
        QCOMPARE(window_->wireView()->wireSegments().size(), 3u);
        for (const auto& s : window_->wireView()->wireSegments())
            QVERIFY(std::fabs(std::fabs(s.p1.x - s.p0.x) - 300.0f) < 1e-3f);

        // A pick after Keep N maps to its source segment; Delete removes it from both lists.
        const auto picked = window_->wireView()->wireSegments()[1];
        const std::uint32_t source = wire.longFeatureDisplay().sourceIndex[1];
        window_->onWireSegmentPicked(1, QVector3D(picked.p0.x, picked.p0.y, picked.p0.z),
                                     QVector3D(picked.p1.x, picked.p1.y, picked.p1.z));
        QCOMPARE(status(), QStringLiteral("Selected long-feature segment (300.00 mm). Click Delete Line to remove it."));
        QCOMPARE(window_->wireView()->selectedWireSegments(), QList<int>{1});
        const std::size_t before = wire.longFeatureSegments().size();
        window_->onWireDeleteSelected();
        QCOMPARE(status(), QStringLiteral("Deleted long-feature segment (1)."));
        QCOMPARE(window_->wireView()->wireSegments().size(), 2u);
        QCOMPARE(wire.longFeatureSegments().size(), before - 1);
        QVERIFY(wire.longFeatureDisplay().sourceIndex[1] == source); // the entry above moved down one
        QCOMPARE(wire.longFeatureBuilds(), 2);

        // Export writes the edited list on WIRE_FEATURE.
        window_->onExportWireframeDxf();
        const QJsonObject summary = readDxfSummary(outDir_->filePath(QStringLiteral("wireframe.dxf")));
        QCOMPARE(summary.value(QStringLiteral("counts")).toObject(), QJsonObject({{QStringLiteral("LINE/WIRE_FEATURE"), 2}}));
        combo("wireExportCombo")->setCurrentIndex(1);
        window_->onWireKeepTopCount();
        QCOMPARE(status(), QStringLiteral("Keep N is currently available in Long Feature mode."));
    }

    // Before the page ever built a lattice, the export builds the full one on a
    // worker while the window keeps processing events; on the page, window and
    // halvoran-cli write the same bytes in both modes.
    void windowAndCommandLineWriteTheSameWireframe()
    {
        load(scanPath_);
        int ticks = 0;
        QTimer ticker;
        connect(&ticker, &QTimer::timeout, [&ticks] { ++ticks; });
        ticker.start(0);
        findAction(window_.get(), QStringLiteral("Export Wireframe DXF"))->trigger();
        ticker.stop();
        QVERIFY(ticks > 0);
        const QJsonObject full = readDxfSummary(outDir_->filePath(QStringLiteral("wireframe.dxf")));
        QCOMPARE(count(full, "LINE/WIRE_LATTICE"), int(computeLatticeSegments(window_->model()).size()));
        QCOMPARE(window_->latticeJobsStarted(), 0);

        showWireframe();
        slider()->setValue(55);
        combo("wireCleanupCombo")->setCurrentIndex(2);
        struct Mode {
            int index;
            const char* name;
            const char* layer;
        };
        for (const Mode& m : {Mode{1, "lattice", "LINE/WIRE_LATTICE"}, Mode{0, "features", "LINE/WIRE_FEATURE"}}) {
            combo("wireExportCombo")->setCurrentIndex(m.index);
            QTRY_VERIFY(!window_->wireView()->wireSegments().empty());
            const QString windowOut = outDir_->filePath(QStringLiteral("window_%1.dxf").arg(QLatin1String(m.name)));
            env_.set("HALVORAN_AUTOMATION_EXPORT_WIREFRAME_DXF", QFile::encodeName(windowOut));
            window_->onExportWireframeDxf();
            qunsetenv("HALVORAN_AUTOMATION_EXPORT_WIREFRAME_DXF");
            const QString cliOut = outDir_->filePath(QStringLiteral("cli_%1.dxf").arg(QLatin1String(m.name)));
            runCli({"wireframe", scanPath_, "-o", cliOut, "--mode", QLatin1String(m.name), "--complexity", "55",
                    "--cleanup", "aggressive"});
            expectSameBytes(windowOut, cliOut);
            const QJsonObject counts = readDxfSummary(cliOut).value(QStringLiteral("counts")).toObject();
            QCOMPARE(counts.keys(), QStringList{QLatin1String(m.layer)});
            // The view may still be taking the new mode's lines when the export ends.
            QTRY_COMPARE(int(window_->wireView()->wireSegments().size()), counts.value(QLatin1String(m.layer)).toInt());
        }
    }

private:
    void showWireframe()
    {
        QAbstractButton* button = findButton(window_.get(), QStringLiteral("3D Wireframe"));
        QVERIFY(button);
        button->click();
        QTRY_VERIFY_WITH_TIMEOUT(window_->isLatticeCacheValid(), kLatticeTimeoutMs);
        QTRY_VERIFY(!window_->wireView()->wireSegments().empty());
    }
    QSlider* slider() const { return window_->findChild<QSlider*>(QStringLiteral("wireComplexitySlider")); }
    // What the slider value should show, from the window's lattice.
    std::vector<MeshModel::SliceSegment3D> expectedAt(int complexity) const
    {
        std::vector<std::uint32_t> map;
        return selectLatticeForDisplay(window_->latticeSegments(), window_->latticeLanes(), window_->model().boundsMin(),
                                       window_->model().boundsMax(), complexity, map);
    }
    QComboBox* combo(const char* name) const { return window_->findChild<QComboBox*>(QLatin1String(name)); }

    QString scanPath_;
    QString boxPath_;
};

QTEST_MAIN(TestMainWindowWireframe)
#include "test_mainwindow_wireframe.moc"
