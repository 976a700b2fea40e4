// "Fit Lines/Arcs" in the window: what it puts on the canvas and reports,
// how the fit layer, Undo and Delete treat it, that a new plane drops it,
// and that "Export DXF" writes what halvoran-cli section --fit writes.
#include "ui/section2d/section2dwidget.h"
#include "tests/ui/common/windowtest.h"

#include <QCheckBox>
#include <QDoubleSpinBox>
#include <QFile>
#include <QJsonObject>
#include <QRegularExpression>

#include <cmath>

namespace {

// The side walls of a 100 x 60 x 10 plate with holes of radius 5 and 8.
void writePlateWalls(const QString& path)
{
    QList<QList<QPointF>> loops{{{0, 0}, {100, 0}, {100, 60}, {0, 60}}, {}, {}};
    for (int k = 0; k < 64; ++k)
        loops[1].append(QPointF(25 + 5 * std::cos(k * M_PI / 32), 30 + 5 * std::sin(k * M_PI / 32)));
    for (int k = 0; k < 80; ++k)
        loops[2].append(QPointF(75 + 8 * std::cos(k * M_PI / 40), 30 + 8 * std::sin(k * M_PI / 40)));
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Text));
    QTextStream out(&file);
    out << "solid plate\n";
    for (const auto& loop : loops) {
        for (int i = 0; i < loop.size(); ++i) {
            const QPointF a = loop[i], b = loop[(i + 1) % loop.size()];
            const double tris[2][3][3] = {{{a.x(), a.y(), 0}, {b.x(), b.y(), 0}, {b.x(), b.y(), 10}},
                                          {{a.x(), a.y(), 0}, {b.x(), b.y(), 10}, {a.x(), a.y(), 10}}};
            for (const auto& t : tris) {
                out << "facet normal 0 0 0\nouter loop\n";
                for (const auto& v : t)
                    out << "vertex " << QString::number(v[0], 'f', 6) << ' ' << QString::number(v[1], 'f', 6) << ' '
                        << QString::number(v[2], 'f', 6) << '\n';
                out << "endloop\nendfacet\n";
            }
        }
    }
    out << "endsolid plate\n";
}

int fitCount(const Section2DWidget* canvas)
{
    int n = 0;
    for (const SectionAnnotation& a : canvas->annotations())
        n += a.isFit;
    return n;
}

} // namespace

class TestMainWindowSectionFit : public WindowTest {
    Q_OBJECT

private slots:
    void initTestCase()
    {
        platePath_ = dir_.filePath(QStringLiteral("plate.stl"));
        writePlateWalls(platePath_);
    }
    void init() { openWindow(true, QSize(1600, 1000)); }
    void cleanup() { closeWindow(); }

    // The plate's walls give four lines and two circles of the holes' radii; the
    // fit is its own layer, Undo takes back all of it and only it, other
    // settings keep it and a new plane drops it.
    void fitOnTheCanvasLayerUndoAndNewPlane()
    {
        fit(); // no mesh yet
        QCOMPARE(status(), QStringLiteral("No mesh loaded."));
        load();
        canvas()->setAnnotations({annotation("line", {{0, 0}, {1, 1}})});
        fit();
        QVERIFY2(QRegularExpression(QStringLiteral("^Fitted 4 lines, 0 arcs, 2 circles \\(max deviation 0\\.0[0-5]\\d mm\\)$"))
                     .match(status())
                     .hasMatch(),
                 qPrintable(status()));
        QList<double> radii;
        for (const SectionAnnotation& a : canvas()->annotations())
            if (a.kind == QLatin1String("circle") && a.isFit)
                radii.append(a.radius);
        std::sort(radii.begin(), radii.end());
        QCOMPARE(radii.size(), 2);
        QVERIFY(std::abs(radii[0] - 5.0) < 0.01 && std::abs(radii[1] - 8.0) < 0.01);
        QCOMPARE(fitCount(canvas()), 6);

        window_->findChild<QCheckBox*>(QStringLiteral("layerFitCheck"))->setChecked(false);
        QVERIFY(!canvas()->isLayerVisible(QStringLiteral("fit")));
        QVERIFY(canvas()->isLayerVisible(QStringLiteral("annotation")));

        canvas()->setSelectedAnnotation(3);
        trigger(QStringLiteral("Delete"));
        QCOMPARE(fitCount(canvas()), 5);
        trigger(QStringLiteral("Undo"));
        QCOMPARE(canvas()->annotations().size(), 1);
        QCOMPARE(canvas()->annotations()[0].kind, QStringLiteral("line"));

        fit();
        QCOMPARE(fitCount(canvas()), 6);
        window_->findChild<QDoubleSpinBox*>(QStringLiteral("bandThicknessSpin"))->setValue(0.5);
        QCOMPARE(fitCount(canvas()), 6);
        auto* exact = window_->findChild<QDoubleSpinBox*>(QStringLiteral("sliceExactSpin"));
        exact->setValue(exact->value() + 1.0);
        QTRY_COMPARE_WITH_TIMEOUT(fitCount(canvas()), 0, 10000);
    }

    void windowAndCommandLineWriteTheSameBytes()
    {
        load();
        fit();
        const QString summaryLine = status();
        window_->onExportDxf();
        const QString windowPath = outDir_->filePath(QStringLiteral("section.dxf"));
        const QJsonObject summary = readDxfSummary(windowPath);
        QCOMPARE(count(summary, "LINE/FIT"), 4);
        QCOMPARE(count(summary, "CIRCLE/FIT"), 2);

        const double at = window_->findChild<QDoubleSpinBox*>(QStringLiteral("sliceExactSpin"))->value();
        const QString cliOut = outDir_->filePath(QStringLiteral("cli.dxf"));
        QByteArray printed;
        runCli({"section", platePath_, "-o", cliOut, "--at", QString::number(at, 'g', 17), "--fit", "0.05"}, &printed);
        QVERIFY(printed.contains(summaryLine.toUtf8()));
        expectSameBytes(windowPath, cliOut);
    }

private:
    void load()
    {
        WindowTest::load(platePath_);
        QVERIFY(!window_->sectionLines().isEmpty());
    }
    void fit() { window_->findChild<QAction*>(QStringLiteral("fitLinesArcsAction"))->trigger(); }
    Section2DWidget* canvas() const { return window_->sectionCanvas(); }

    QString platePath_;
};

QTEST_MAIN(TestMainWindowSectionFit)
#include "test_mainwindow_sectionfit.moc"
