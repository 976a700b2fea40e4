// Analysis commands of the window that report on the whole mesh.
#include "model/analysis/primitivefit.h"
#include "ui/mainwindow/mainwindow.h"
#include "ui/view3d/occtmeshview.h"
#include "tests/ui/common/uitestutil.h"

#include <QAction>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QImage>
#include <QRegularExpression>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QTest>

class TestMainWindowAnalysis : public QObject {
    Q_OBJECT

private slots:
    void fitPrimitiveReportsTheBestShape();
    void datumPlanesAtTheSlicePosition();
    void measurementModeAndDistanceReport();
    void curvatureHeatmapColoursTheSurface();
};

void TestMainWindowAnalysis::fitPrimitiveReportsTheBestShape()
{
    MainWindow window;
    window.onFitPrimitive();
    QCOMPARE(window.statusBar()->currentMessage(), QStringLiteral("No mesh loaded."));

    QTemporaryDir dir;
    const QString scan = dir.filePath(QStringLiteral("scan.stl"));
    QVERIFY(writeSyntheticStl(scan, 20000) > 0);
    window.beginAsyncLoad(scan);
    QTRY_VERIFY_WITH_TIMEOUT(!window.isLoadInProgress(), 60000);
    const PrimitiveFit expected = fitPrimitive(window.model());

    // Interactive: the result box, then the status line.
    {
        MessageBoxCatcher boxes;
        window.onFitPrimitive();
        QCOMPARE(boxes.titles, QStringList{QStringLiteral("Fit Primitive")});
        const QString upper = QString::fromStdString(expected.type).toUpper();
        QVERIFY2(boxes.texts.value(0).startsWith(QStringLiteral("Best fit: %1 (residual ").arg(upper)),
                 qPrintable(boxes.texts.value(0)));
        QVERIFY(boxes.texts.value(0).contains(QRegularExpression(QStringLiteral("Center: \\(-?\\d+\\.\\d\\d, "))));
    }
    QCOMPARE(window.statusBar()->currentMessage(),
             QStringLiteral("Primitive fit: %1 (residual %2)")
                 .arg(QString::fromStdString(expected.type), QString::number(expected.residual, 'f', 4)));

    // Automation: no box that would stall a script.
    qputenv("HALVORAN_AUTOMATION", "1");
    MessageBoxCatcher boxes;
    window.statusBar()->clearMessage();
    window.onFitPrimitive();
    qunsetenv("HALVORAN_AUTOMATION");
    QVERIFY(boxes.titles.isEmpty());
    QVERIFY(window.statusBar()->currentMessage().startsWith(QStringLiteral("Primitive fit: ")));
}

void TestMainWindowAnalysis::datumPlanesAtTheSlicePosition()
{
    MainWindow window;
    {
        MessageBoxCatcher boxes;
        window.onAddDatum();
        QCOMPARE(boxes.titles, QStringList{QStringLiteral("Datum")});
        QCOMPARE(boxes.texts, QStringList{QStringLiteral("No mesh loaded.")});
    }
    QTemporaryDir dir;
    const QString scan = dir.filePath(QStringLiteral("scan.stl"));
    QVERIFY(writeSyntheticStl(scan, 20000) > 0);
    window.beginAsyncLoad(scan);
    QTRY_VERIFY_WITH_TIMEOUT(!window.isLoadInProgress(), 60000);

    qputenv("HALVORAN_AUTOMATION", "1");
    qputenv("HALVORAN_AUTOMATION_DATUM_AXIS", " Y ");
    window.findChild<QComboBox*>(QStringLiteral("sliceAxisCombo"))->setCurrentIndex(1);
    window.findChild<QDoubleSpinBox*>(QStringLiteral("sliceExactSpin"))->setValue(-3.456);
    const double shown = window.findChild<QDoubleSpinBox*>(QStringLiteral("sliceExactSpin"))->value();
    window.onAddDatum();
    const QString label = QStringLiteral("Datum Y=%1").arg(shown, 0, 'f', 2);
    QCOMPARE(window.statusBar()->currentMessage(), QStringLiteral("Added datum plane: %1").arg(label));
    const auto& datums = window.mainView()->datumPlanes();
    QCOMPARE(datums.size(), 1);
    QCOMPARE(datums[0].label, label);
    QCOMPARE(datums[0].normal, QVector3D(0, 1, 0));
    QCOMPARE(datums[0].point.y(), float(shown));
    QCOMPARE(datums[0].point.x(), window.model().centroid().x);

    qputenv("HALVORAN_AUTOMATION_DATUM_AXIS", "");
    window.onAddDatum();
    window.onAddDatum();
    QCOMPARE(datums.size(), 3);
    QVERIFY(window.mainView()->datumPlanes()[1].label.startsWith(QStringLiteral("Datum Z=")));
    window.onAddDatum(); // a fourth is not added
    QCOMPARE(window.mainView()->datumPlanes().size(), 3);
    window.onClearDatums();
    QVERIFY(window.mainView()->datumPlanes().isEmpty());
    QCOMPARE(window.statusBar()->currentMessage(), QStringLiteral("Datum planes cleared"));
    qunsetenv("HALVORAN_AUTOMATION");
    qunsetenv("HALVORAN_AUTOMATION_DATUM_AXIS");
}

void TestMainWindowAnalysis::measurementModeAndDistanceReport()
{
    QTemporaryDir dir;
    const QString scan = dir.filePath(QStringLiteral("scan.stl"));
    QVERIFY(writeSyntheticStl(scan, 20000) > 0);
    MainWindow window;
    window.beginAsyncLoad(scan);
    QTRY_VERIFY_WITH_TIMEOUT(!window.isLoadInProgress(), 60000);
    QAction* measure = findAction(&window, QStringLiteral("3D Measurement"));
    QVERIFY(measure && measure->isEnabled());
    measure->trigger();
    QVERIFY(window.mainView()->measureMode());
    QCOMPARE(window.modeText(), QStringLiteral("3D Measure"));
    QCOMPARE(window.statusBar()->currentMessage(), QStringLiteral("3D Measurement: click two points on the mesh"));
    emit window.mainView()->measurement3D(12.3456f, QVector3D(1, 2, 3), QVector3D(-4.5f, 0.125f, 9));
    QCOMPARE(window.statusBar()->currentMessage(),
             QStringLiteral("3D Distance: 12.346 mm  (1.00,2.00,3.00) -> (-4.50,0.13,9.00)"));
    measure->trigger();
    QVERIFY(!window.mainView()->measureMode());
    QCOMPARE(window.modeText(), QStringLiteral("Navigation"));
    QCOMPARE(window.statusBar()->currentMessage(), QStringLiteral("3D Measurement disabled"));
}

void TestMainWindowAnalysis::curvatureHeatmapColoursTheSurface()
{
    QTemporaryDir dir;
    const QString scan = dir.filePath(QStringLiteral("scan.stl"));
    QVERIFY(writeSyntheticStl(scan, 20000) > 0);
    MainWindow window;
    window.resize(1400, 800);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    window.beginAsyncLoad(scan);
    QTRY_VERIFY_WITH_TIMEOUT(!window.isLoadInProgress(), 60000);
    OcctMeshView* view = window.mainView();
    const QImage before = view->grabFramebuffer();

    QAction* heat = findAction(&window, QStringLiteral("Curvature Heatmap"));
    QVERIFY(heat && heat->isEnabled());
    heat->trigger();
    QCOMPARE(window.statusBar()->currentMessage(), QStringLiteral("3D analytics heatmap enabled"));
    QVERIFY(view->heatEnabled());
    QCOMPARE(view->heatValues().size(), window.model().displayVertices.size());
    // Creases and hole rims are the hottest; flat faces stay cool.
    const auto maxIt = std::max_element(view->heatValues().begin(), view->heatValues().end());
    QCOMPARE(*maxIt, 1.0f);

    // The flat faces now show the cool end of the ramp (strongly blue pixels).
    const QImage after = view->grabFramebuffer();
    const auto blueish = [](const QImage& image) {
        int n = 0;
        for (int y = 0; y < image.height(); y += 2)
            for (int x = 0; x < image.width(); x += 2) {
                const QColor c = image.pixelColor(x, y);
                n += c.blue() > 180 && c.red() < 120 && c.green() < 150;
            }
        return n;
    };
    QVERIFY2(blueish(after) > blueish(before) + 500, qPrintable(QStringLiteral("%1 vs %2").arg(blueish(after)).arg(blueish(before))));

    heat->trigger();
    QVERIFY(!view->heatEnabled());
    QCOMPARE(window.statusBar()->currentMessage(), QStringLiteral("3D analytics heatmap disabled"));
}

QTEST_MAIN(TestMainWindowAnalysis)
#include "test_mainwindow_analysis.moc"
