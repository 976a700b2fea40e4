// Analysis commands of the window that report on the whole mesh.
#include "model/analysis/primitivefit.h"
#include "ui/view3d/occtmeshview.h"
#include "tests/ui/common/windowtest.h"

#include <QComboBox>
#include <QDoubleSpinBox>
#include <QImage>
#include <QRegularExpression>

class TestMainWindowAnalysis : public WindowTest {
    Q_OBJECT

private slots:
    void initTestCase() { writeScan(scanPath_, "scan.stl"); }
    void init() { openWindow(false, QSize(1400, 800)); }
    void cleanup() { closeWindow(); }

    void fitPrimitiveAndDatumPlanes()
    {
        window_->onFitPrimitive();
        QCOMPARE(status(), QStringLiteral("No mesh loaded."));
        {
            MessageBoxCatcher boxes;
            window_->onAddDatum();
            QCOMPARE(boxes.titles, QStringList{QStringLiteral("Datum")});
            QCOMPARE(boxes.texts, QStringList{QStringLiteral("No mesh loaded.")});
        }
        load(scanPath_);
        const PrimitiveFit expected = fitPrimitive(window_->model());

        // Interactive: the result box, then the status line.
        {
            MessageBoxCatcher boxes;
            window_->onFitPrimitive();
            QCOMPARE(boxes.titles, QStringList{QStringLiteral("Fit Primitive")});
            const QString upper = QString::fromStdString(expected.type).toUpper();
            QVERIFY2(boxes.texts.value(0).startsWith(QStringLiteral("Best fit: %1 (residual ").arg(upper)),
                     qPrintable(boxes.texts.value(0)));
            QVERIFY(boxes.texts.value(0).contains(QRegularExpression(QStringLiteral("Center: \\(-?\\d+\\.\\d\\d, "))));
        }
        QCOMPARE(status(),
                 QStringLiteral("Primitive fit: %1 (residual %2)")
                     .arg(QString::fromStdString(expected.type), QString::number(expected.residual, 'f', 4)));

        // Automation: no box that would stall a script.
        env_.set("HALVORAN_AUTOMATION", "1");
        MessageBoxCatcher boxes;
        window_->statusBar()->clearMessage();
        window_->onFitPrimitive();
        QVERIFY(boxes.titles.isEmpty());
        QVERIFY(status().startsWith(QStringLiteral("Primitive fit: ")));

        // Datum planes at the slice position, three at most.
        env_.set("HALVORAN_AUTOMATION_DATUM_AXIS", " Y ");
        window_->findChild<QComboBox*>(QStringLiteral("sliceAxisCombo"))->setCurrentIndex(1);
        window_->findChild<QDoubleSpinBox*>(QStringLiteral("sliceExactSpin"))->setValue(-3.456);
        const double shown = window_->findChild<QDoubleSpinBox*>(QStringLiteral("sliceExactSpin"))->value();
        window_->onAddDatum();
        const QString label = QStringLiteral("Datum Y=%1").arg(shown, 0, 'f', 2);
        QCOMPARE(status(), QStringLiteral("Added datum plane: %1").arg(label));
        const auto& datums = window_->mainView()->datumPlanes();
        QCOMPARE(datums.size(), 1);
        QCOMPARE(datums[0].label, label);
        QCOMPARE(datums[0].normal, QVector3D(0, 1, 0));
        QCOMPARE(datums[0].point.y(), float(shown));
        QCOMPARE(datums[0].point.x(), window_->model().centroid().x);

        env_.set("HALVORAN_AUTOMATION_DATUM_AXIS", "");
        window_->onAddDatum();
        window_->onAddDatum();
        QCOMPARE(datums.size(), 3);
        QVERIFY(window_->mainView()->datumPlanes()[1].label.startsWith(QStringLiteral("Datum Z=")));
        window_->onAddDatum(); // a fourth is not added
        QCOMPARE(window_->mainView()->datumPlanes().size(), 3);
        window_->onClearDatums();
        QVERIFY(window_->mainView()->datumPlanes().isEmpty());
        QCOMPARE(status(), QStringLiteral("Datum planes cleared"));
    }

    // 3D Measurement reports a distance; the curvature heatmap colours the surface.
    void measurementAndHeatmap()
    {
        load(scanPath_);
        QAction* measure = findAction(window_.get(), QStringLiteral("3D Measurement"));
        QVERIFY(measure && measure->isEnabled());
        measure->trigger();
        QVERIFY(window_->mainView()->measureMode());
        QCOMPARE(window_->modeText(), QStringLiteral("3D Measure"));
        QCOMPARE(status(), QStringLiteral("3D Measurement: click two points on the mesh"));
        emit window_->mainView()->measurement3D(12.3456f, QVector3D(1, 2, 3), QVector3D(-4.5f, 0.125f, 9));
        QCOMPARE(status(),
                 QStringLiteral("3D Distance: 12.346 mm  (1.00,2.00,3.00) -> (-4.50,0.13,9.00)"));
        measure->trigger();
        QVERIFY(!window_->mainView()->measureMode());
        QCOMPARE(window_->modeText(), QStringLiteral("Navigation"));
        QCOMPARE(status(), QStringLiteral("3D Measurement disabled"));

        OcctMeshView* view = window_->mainView();
        const QImage before = view->grabFramebuffer();

        QAction* heat = findAction(window_.get(), QStringLiteral("Curvature Heatmap"));
        QVERIFY(heat && heat->isEnabled());
        heat->trigger();
        QCOMPARE(status(), QStringLiteral("3D analytics heatmap enabled"));
        QVERIFY(view->heatEnabled());
        QCOMPARE(view->heatValues().size(), window_->model().displayVertices.size());
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
        QCOMPARE(status(), QStringLiteral("3D analytics heatmap disabled"));
    }

private:
    QString scanPath_;
};

QTEST_MAIN(TestMainWindowAnalysis)
#include "test_mainwindow_analysis.moc"
