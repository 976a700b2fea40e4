// "Export SVG", "Slice Stack" and the comparison overlay from the window, and
// what the file commands say without a mesh:
// SVGs are read back with Python's XML parser, DXFs with ezdxf, and the
// overlay is fed our own exports as well as files no CAD tool would write.
#include "ui/section2d/section2dwidget.h"
#include "tests/ui/common/windowtest.h"

#include <QComboBox>
#include <QDir>
#include <QDoubleSpinBox>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>

#include <cmath>

namespace {

QByteArray dxfLine(const char* x1, const char* y1, const char* x2, const char* y2)
{
    return QByteArray("0\nLINE\n8\nREF\n10\n") + x1 + "\n20\n" + y1 + "\n30\n0\n11\n" + x2 + "\n21\n" + y2
           + "\n31\n0\n";
}

} // namespace

class TestMainWindowSectionFiles : public WindowTest {
    Q_OBJECT

private slots:
    void initTestCase() { writeScan(scanPath_, "scan part.stl", 30000); }
    void init() { openWindow(true); }
    void cleanup() { closeWindow(); }

    void svgSectionWithErasedKeptAndAnnotations()
    {
        load(scanPath_);
        Section2DWidget* canvas = window_->sectionCanvas();
        const SectionLines lines = window_->sectionLines();
        QVERIFY(lines.size() >= 10);
        canvas->setErasedIndices({0, 1, 2});
        canvas->setKeptIndices({2, 3, 4}); // 2 is erased: gone, not kept

        SectionAnnotation closedPolygon = annotation("polygon", {QPointF(0, 0), QPointF(5, 0), QPointF(5, 5)});
        closedPolygon.closed = true;
        SectionAnnotation circle = annotation("circle", {}, false, QStringLiteral("R4"));
        circle.center = QPointF(1, 1);
        circle.radius = 4;
        canvas->setAnnotations({closedPolygon, circle,
                                annotation("measure_length", {QPointF(0, 0), QPointF(0, 9)}, true, QStringLiteral("9.00 mm")),
                                annotation("point_label", {QPointF(2, 2)}, true)});
        window_->onExportSvg();
        const QString path = outPath("section.svg");
        QCOMPARE(status(), QStringLiteral("Exported SVG: %1").arg(path));

        const QJsonObject svg = readSvgSummary(path);
        QCOMPARE(svg.value(QStringLiteral("root")).toString(), QStringLiteral("{http://www.w3.org/2000/svg}svg"));
        QCOMPARE(count(svg, "line/#f7e45b"), int(lines.size()) - 5);
        QCOMPARE(count(svg, "line/#ff4040"), 2);
        QCOMPARE(count(svg, "polyline/#f38ba8"), 1);
        QCOMPARE(count(svg, "circle/#f38ba8"), 1);
        QCOMPARE(count(svg, "text/#f38ba8"), 1);
        QCOMPARE(count(svg, "line/#00cc00"), 1);
        QCOMPARE(count(svg, "text/#00cc00"), 1); // the unlabelled point writes only its marker
        QCOMPARE(count(svg, "circle/#00cc00"), 1);
    }

    // Without a mesh (and, for the SVG, with only a pointless polygon) each
    // command says why in a box and writes nothing.
    void refusalsWithoutMesh()
    {
        window_->sectionCanvas()->setAnnotations({annotation("polygon", {})});
        const struct {
            void (MainWindow::*command)();
            const char* title;
            const char* text;
        } rows[] = {{&MainWindow::onExportSvg, "Export", "Nothing visible to export."},
                    {&MainWindow::onSliceStack, "Slice Stack", "No mesh loaded."},
                    {&MainWindow::onLoadComparisonSlice, "Compare", "No mesh loaded."},
                    {&MainWindow::onExportWireframeDxf, "Export", "No mesh loaded."},
                    {&MainWindow::onExport2DDrawing, "2D Drawing", "No mesh loaded."},
                    {&MainWindow::onGenerate2DDrawing, "2D Drawing", "No mesh loaded."}};
        for (const auto& row : rows) {
            MessageBoxCatcher boxes;
            (window_.get()->*row.command)();
            QTRY_COMPARE(boxes.texts, QStringList{QString::fromLatin1(row.text)});
            QCOMPARE(boxes.titles, QStringList{QString::fromLatin1(row.title)});
        }
        QVERIFY(QDir(outDir_->path()).entryList(QDir::Files).isEmpty());
    }

    void stackWritesWhatTheCommandLineWritesOrNothingOnCancel()
    {
        load(scanPath_);
        window_->findChild<QComboBox*>(QStringLiteral("sliceAxisCombo"))->setCurrentIndex(0);
        auto* band = window_->findChild<QDoubleSpinBox*>(QStringLiteral("bandThicknessSpin"));
        band->setValue(0.8);
        env_.set("HALVORAN_AUTOMATION_SLICE_STACK_COUNT", "4");
        window_->onSliceStack();
        QCOMPARE(status(), QStringLiteral("Slice stack exported: 4 slices -> %1").arg(outPath("slicestack.dxf")));
        QCOMPARE(readDxfSummary(outPath("slicestack.dxf")).value(QStringLiteral("counts")).toObject().keys(),
                 (QStringList{"LINE/SLICE_1", "LINE/SLICE_2", "LINE/SLICE_3", "LINE/SLICE_4"}));

        const QString cliOut = outPath("cli.dxf");
        runCli({"stack", scanPath_, "-o", cliOut, "--count", "4", "--axis", "x", "--band",
                QString::number(band->value(), 'g', 17)});
        expectSameBytes(outPath("slicestack.dxf"), cliOut);

        // A cancel leaves no file.
        QVERIFY(QFile::remove(outPath("slicestack.dxf")));
        cancelProgressNamed(QStringLiteral("Building slice stack DXF..."));
        window_->onSliceStack();
        QCOMPARE(status(), QStringLiteral("Slice stack export canceled."));
        QVERIFY(!QFile::exists(outPath("slicestack.dxf")));
        QVERIFY(!window_->isBusy());
    }

    void compareReloadsOurOwnExport()
    {
        load(scanPath_);
        Section2DWidget* canvas = window_->sectionCanvas();
        const int sectionCount = int(window_->sectionLines().size());
        canvas->setErasedIndices({0});
        SectionAnnotation rect = annotation("rectangle", {});
        rect.rect = QRectF(0, 0, 3, 2);
        SectionAnnotation circle = annotation("circle", {}, false, QStringLiteral("R4"));
        circle.center = QPointF(1, 1);
        circle.radius = 4;
        canvas->setAnnotations({rect, circle, annotation("point_label", {QPointF(2, 2)}, true, QStringLiteral("P"))});
        window_->onExportDxf();
        QVERIFY(QFile::exists(outPath("section.dxf")));

        // The default comparison file is the default export.
        window_->onLoadComparisonSlice();
        const int expected = sectionCount - 1 + 4; // visible section lines + rectangle sides
        QCOMPARE(status(), QStringLiteral("Comparison overlay loaded: %1 segments").arg(expected));
        const SectionLines overlay = canvas->comparisonOverlay();
        QCOMPARE(int(overlay.size()), expected);
        const QLineF second = window_->sectionLines()[1];
        QVERIFY(std::abs(overlay[0].x1() - second.x1()) <= 1e-5 * (1 + std::abs(second.x1())));
        QVERIFY(std::abs(overlay[0].y2() - second.y2()) <= 1e-5 * (1 + std::abs(second.y2())));
        QCOMPARE(overlay.last(), QLineF(0, 2, 0, 0));

        // The overlay survives a new section.
        auto* exact = window_->findChild<QDoubleSpinBox*>(QStringLiteral("sliceExactSpin"));
        exact->setValue(exact->value() + 1.0);
        QTRY_VERIFY_WITH_TIMEOUT(!window_->isBusy(), 10000);
        QCOMPARE(int(canvas->comparisonOverlay().size()), expected);
    }

    void compareFilesTheWindowRefusesOrTrims_data()
    {
        QTest::addColumn<QByteArray>("bytes"); // null: no file at all
        QTest::addColumn<QString>("box");      // the refusal, or empty when it loads
        QTest::addColumn<QString>("loaded");   // the status when it loads
        QTest::addColumn<SectionLines>("overlay");
        const SectionLines kept{QLineF(0, 0, 1, 1)}; // a failed load keeps the old overlay
        // How the reader takes garbage, huge lines, truncation and non-finite
        // numbers is test_dxflinereader.cpp's; here each answer of the window.
        QTest::newRow("no lines")
            << QByteArray("0\nSECTION\n2\nENTITIES\n0\nCIRCLE\n8\n0\n10\n1\n20\n1\n30\n0\n40\n2\n0\nENDSEC\n0\nEOF\n")
            << QStringLiteral("No LINE entities found in DXF.") << QString() << kept;
        QTest::newRow("missing") << QByteArray() << QStringLiteral("Failed to read comparison file.") << QString() << kept;
        QTest::newRow("all non-finite") << dxfLine("nan", "0", "1", "1") + dxfLine("0", "0", "inf", "1")
                                        << QStringLiteral("No usable LINE entities in DXF: 2 with non-finite coordinates.")
                                        << QString() << kept;
        QTest::newRow("one non-finite") << dxfLine("nan", "0", "1", "1") + dxfLine("1", "2", "3", "4") << QString()
                                        << QStringLiteral("Comparison overlay loaded: 1 segments (1 with non-finite "
                                                          "coordinates skipped)")
                                        << SectionLines{QLineF(1, 2, 3, 4)};
    }

    void compareFilesTheWindowRefusesOrTrims()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QString, box);
        QFETCH(QString, loaded);
        QFETCH(SectionLines, overlay);
        load(scanPath_);
        window_->sectionCanvas()->setComparisonLines({QLineF(0, 0, 1, 1)});
        const QString path = outPath("compare.dxf");
        if (!bytes.isNull()) {
            QFile file(path);
            QVERIFY(file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size());
        }
        env_.set("HALVORAN_AUTOMATION_COMPARE_DXF", QFile::encodeName(path));
        MessageBoxCatcher boxes;
        window_->onLoadComparisonSlice();
        QCOMPARE(boxes.titles, box.isEmpty() ? QStringList() : QStringList{QStringLiteral("Compare")});
        QCOMPARE(boxes.texts, box.isEmpty() ? QStringList() : QStringList{box});
        if (!loaded.isEmpty())
            QCOMPARE(status(), loaded);
        QCOMPARE(window_->sectionCanvas()->comparisonOverlay(), overlay);
        // Painting the overlay after such a file must not trip over anything.
        window_->sectionCanvas()->repaint();
    }

private:
    QString scanPath_;
};

QTEST_MAIN(TestMainWindowSectionFiles)
#include "test_mainwindow_sectionfiles.moc"
