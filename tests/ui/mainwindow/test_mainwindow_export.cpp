// "Export DXF" from the window: what goes into the file, the refusals and
// cancels it shares with "Export SVG", and that CAD readers (ezdxf here) read
// it as intended.
#include "ui/section2d/section2dwidget.h"
#include "tests/ui/common/windowtest.h"

#include <QDir>
#include <QDoubleSpinBox>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>

#include <cmath>
#include <limits>

class TestMainWindowExport : public WindowTest {
    Q_OBJECT

private slots:
    void initTestCase() { writeScan(scanPath_, "scan part.stl", 30000); }
    void init() { openWindow(true); }
    void cleanup() { closeWindow(); }

    // One row per section exporter, DXF and SVG: nothing to export, then
    // sketches that fail validation.
    void nothingToExportOrInvalidWritesNothing_data() { formats(); }

    void nothingToExportOrInvalidWritesNothing()
    {
        QFETCH(QString, format);
        MessageBoxCatcher boxes;
        // The command is disabled without a mesh; call the slot as a script would.
        exportAs(format);
        QCOMPARE(boxes.titles, QStringList{QStringLiteral("Export")});
        QCOMPARE(boxes.texts, QStringList{QStringLiteral("No slice data or annotations to export.")});
        QVERIFY(!QFile::exists(defaultPath(format)));

        // Non-finite and zero-length sketches: the question, answered not Yes.
        const double nan = std::numeric_limits<double>::quiet_NaN(), inf = std::numeric_limits<double>::infinity();
        window_->sectionCanvas()->setAnnotations({annotation("line", {QPointF(0, 0), QPointF(nan, 1)}),
                                                  annotation("line", {QPointF(0, 0), QPointF(inf, 1)}),
                                                  annotation("line", {QPointF(2, 2), QPointF(2, 2)}),
                                                  annotation("line", {QPointF(0, 0), QPointF(1, 1)})});
        exportAs(format);
        QCOMPARE(boxes.titles, (QStringList{QStringLiteral("Export"), QStringLiteral("Export Validation")}));
        QCOMPARE(boxes.texts.value(1), format + QStringLiteral(" export found potential issues:\n- Non-finite entities: 2\n"
                                                               "- Zero-length entities: 1\n\nContinue anyway?"));
        QCOMPARE(status(), format + QStringLiteral(" export canceled by validation."));
        QVERIFY(!QFile::exists(defaultPath(format)));
    }
    void cancelOrUnwritablePathLeavesNoFile_data() { formats(); }

    void cancelOrUnwritablePathLeavesNoFile()
    {
        QFETCH(QString, format);
        load();
        cancelProgressNamed(QStringLiteral("Exporting %1...").arg(format));
        exportAs(format);
        QCOMPARE(status(), format + QStringLiteral(" export canceled."));
        QVERIFY(!QFile::exists(defaultPath(format)));

        // A folder where the file should go: the failure is reported.
        const QString taken = outDir_->filePath(QStringLiteral("taken.") + format.toLower());
        QVERIFY(QDir().mkpath(taken));
        env_.set(format == QLatin1String("DXF") ? "HALVORAN_AUTOMATION_EXPORT_DXF" : "HALVORAN_AUTOMATION_EXPORT_SVG",
                 QFile::encodeName(taken));
        MessageBoxCatcher boxes;
        exportAs(format);
        QCOMPARE(boxes.texts, QStringList{QStringLiteral("Failed to write %1 file.").arg(format)});
    }
    void annotationsAloneExport()
    {
        window_->sectionCanvas()->setAnnotations(
            {annotation("point_label", {QPointF(1234567.0, -2.5)}, true, QStringLiteral("(1234567.00, -2.50)"))});
        window_->onExportDxf();
        QCOMPARE(status(), QStringLiteral("Exported DXF: %1").arg(defaultPath()));
        // The number format and file frame are test_dxfwriter.cpp's; here what a
        // CAD reader makes of the window's file.
        const QJsonObject summary = readDxfSummary(defaultPath());
        QCOMPARE(count(summary, "POINT/MEASURE"), 1);
        QCOMPARE(count(summary, "TEXT/MEASURE"), 1);
        QCOMPARE(summary.value(QStringLiteral("counts")).toObject().size(), 2);
    }

    void sectionWithErasedKeptAndAnnotations()
    {
        load();
        Section2DWidget* canvas = window_->sectionCanvas();
        const SectionLines lines = window_->sectionLines();
        QVERIFY(lines.size() >= 10);
        canvas->setErasedIndices({0, 1, 2});
        canvas->setKeptIndices({3, 4});

        SectionAnnotation closedPolygon = annotation("polygon", {QPointF(0, 0), QPointF(5, 0), QPointF(5, 5)});
        closedPolygon.closed = true;
        SectionAnnotation circle = annotation("circle", {}, false, QStringLiteral("R4"));
        circle.center = QPointF(1, 1);
        circle.radius = 4;
        SectionAnnotation rect = annotation("rectangle", {});
        rect.rect = QRectF(0, 0, 3, 2);
        canvas->setAnnotations({closedPolygon, circle, rect,
                                annotation("measure_angle", {QPointF(0, 0), QPointF(1, 0), QPointF(1, 1), QPointF(2, 2)},
                                           true, QStringLiteral("45.00 deg")),
                                annotation("line", {QPointF(0, 0), QPointF(0, 9)})});
        window_->onExportDxf();
        QCOMPARE(status(), QStringLiteral("Exported DXF: %1").arg(defaultPath()));

        const QJsonObject summary = readDxfSummary(defaultPath());
        QCOMPARE(count(summary, "LINE/SLICE"), int(lines.size()) - 5);
        QCOMPARE(count(summary, "LINE/KEEP"), 2);
        // 3 polygon sides, 4 rectangle sides, 1 line.
        QCOMPARE(count(summary, "LINE/ANNOTATION"), 8);
        QCOMPARE(count(summary, "CIRCLE/ANNOTATION"), 1);
        QCOMPARE(count(summary, "TEXT/ANNOTATION"), 1);
        // An angle with four points falls through to a plain polyline: 3 LINEs, no TEXT.
        QCOMPARE(count(summary, "LINE/MEASURE"), 3);
        QCOMPARE(count(summary, "TEXT/MEASURE"), 0);
        // Which lines the erased ones are is test_dxfwriter.cpp's
        // SectionFileSkipsErasedMarksKeptAndAsksProgressEvery64Items.
    }

    void windowAndCommandLineWriteTheSameBytes()
    {
        load();
        window_->onExportDxf();
        // The window cuts where its "Exact:" box says, rounded to its decimals.
        const double at = window_->findChild<QDoubleSpinBox*>(QStringLiteral("sliceExactSpin"))->value();
        const QString cliOut = outDir_->filePath(QStringLiteral("cli.dxf"));
        runCli({"section", scanPath_, "-o", cliOut, "--at", QString::number(at, 'g', 17)});
        expectSameBytes(defaultPath(), cliOut);
    }

private:
    static void formats()
    {
        QTest::addColumn<QString>("format");
        QTest::newRow("DXF") << QStringLiteral("DXF");
        QTest::newRow("SVG") << QStringLiteral("SVG");
    }
    void exportAs(const QString& format)
    {
        format == QLatin1String("DXF") ? window_->onExportDxf() : window_->onExportSvg();
    }
    void load()
    {
        WindowTest::load(scanPath_);
        QVERIFY(!window_->sectionLines().isEmpty());
    }
    QString defaultPath(const QString& format = QStringLiteral("DXF")) const
    {
        return outDir_->filePath(QStringLiteral("section.") + format.toLower());
    }

    QString scanPath_;
};

QTEST_MAIN(TestMainWindowExport)
#include "test_mainwindow_export.moc"
