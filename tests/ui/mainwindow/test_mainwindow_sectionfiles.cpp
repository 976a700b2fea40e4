// "Export SVG", "Slice Stack" and the comparison overlay from the window:
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

#include <algorithm>
#include <cmath>
#include <limits>

namespace {

// Square pyramid, base 40 x 40, 100 high: the cut at fraction t of the
// height is a square of side 40 (1 - t).
bool writePyramidStl(const QString& path)
{
    const std::vector<Vec3f> v{{0, 0, 0}, {40, 0, 0}, {40, 40, 0}, {0, 40, 0}, {20, 20, 100}};
    const std::vector<Triangle> f{{0, 1, 4}, {1, 2, 4}, {2, 3, 4}, {3, 0, 4}, {0, 2, 1}, {0, 3, 2}};
    return writeBinaryStl(path.toStdString(), v, f);
}

void writeFile(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    QCOMPARE(file.write(bytes), qint64(bytes.size()));
}

QByteArray dxfLine(const char* x1, const char* y1, const char* x2, const char* y2)
{
    return QByteArray("0\nLINE\n8\nREF\n10\n") + x1 + "\n20\n" + y1 + "\n30\n0\n11\n" + x2 + "\n21\n" + y2
           + "\n31\n0\n";
}

} // namespace

class TestMainWindowSectionFiles : public WindowTest {
    Q_OBJECT

private slots:
    void initTestCase()
    {
        writeScan(scanPath_, "scan part.stl", 30000);
        pyramidPath_ = dir_.filePath(QStringLiteral("pyramid.stl"));
        QVERIFY(writePyramidStl(pyramidPath_));
    }
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

        // Every section line element is a visible line with y negated.
        const QJsonArray elements = svg.value(QStringLiteral("elements")).toArray();
        int checked = 0;
        for (int index = 3; index < lines.size(); ++index) {
            const QJsonObject a = elements[index - 3].toObject().value(QStringLiteral("attrib")).toObject();
            const QLineF& l = lines[index];
            QVERIFY(std::abs(a.value(QStringLiteral("x1")).toString().toDouble() - l.x1()) <= 1e-5 * (1 + std::abs(l.x1())));
            QVERIFY(std::abs(a.value(QStringLiteral("y2")).toString().toDouble() + l.y2()) <= 1e-5 * (1 + std::abs(l.y2())));
            ++checked;
        }
        QCOMPARE(checked, int(lines.size()) - 3);
    }

    void svgNothingVisibleWarns()
    {
        window_->sectionCanvas()->setAnnotations({annotation("polygon", {})});
        MessageBoxCatcher boxes;
        window_->onExportSvg();
        QCOMPARE(boxes.texts, QStringList{QStringLiteral("Nothing visible to export.")});
        QCOMPARE(boxes.titles, QStringList{QStringLiteral("Export")});
        QVERIFY(!QFile::exists(outPath("section.svg")));
    }

    void stackWithoutMeshWarns()
    {
        MessageBoxCatcher boxes;
        window_->onSliceStack();
        QCOMPARE(boxes.titles, QStringList{QStringLiteral("Slice Stack")});
        QCOMPARE(boxes.texts, QStringList{QStringLiteral("No mesh loaded.")});
        QVERIFY(!QFile::exists(outPath("slicestack.dxf")));
    }

    void stackCutsAtEvenlySpacedPositions()
    {
        load(pyramidPath_);
        // The automatic pose may put the pyramid's axis along any world axis.
        const Vec3f extents = window_->model().extents();
        int axis = 0;
        for (int a = 1; a < 3; ++a)
            if (extents[a] > extents[axis])
                axis = a;
        QVERIFY(std::abs(extents[axis] - 100.0f) < 1e-3f);
        window_->findChild<QComboBox*>(QStringLiteral("sliceAxisCombo"))->setCurrentIndex(axis);
        window_->findChild<QDoubleSpinBox*>(QStringLiteral("bandThicknessSpin"))->setValue(0.0);
        env_.set("HALVORAN_AUTOMATION_SLICE_STACK_COUNT", "3");
        window_->onSliceStack();
        const QString path = outPath("slicestack.dxf");
        QCOMPARE(status(), QStringLiteral("Slice stack exported: 3 slices -> %1").arg(path));

        const QJsonObject dxf = readDxfSummary(path);
        const QJsonObject counts = dxf.value(QStringLiteral("counts")).toObject();
        QCOMPARE(counts.keys(), (QStringList{"LINE/SLICE_1", "LINE/SLICE_2", "LINE/SLICE_3"}));
        // Each cut crosses the four side faces once; the lines come slice by slice.
        const QJsonArray lines = dxf.value(QStringLiteral("lines")).toArray();
        QCOMPARE(lines.size(), 12);
        QList<double> perimeters;
        for (int slice = 0; slice < 3; ++slice) {
            QCOMPARE(count(dxf, QStringLiteral("LINE/SLICE_%1").arg(slice + 1).toLatin1().constData()), 4);
            double sum = 0;
            for (int i = 0; i < 4; ++i) {
                const QJsonArray l = lines[slice * 4 + i].toArray();
                sum += std::hypot(l[2].toDouble() - l[0].toDouble(), l[3].toDouble() - l[1].toDouble());
            }
            perimeters << sum;
        }
        // Cuts at a quarter, half and three quarters of the height (either end up).
        QVERIFY2(std::abs(perimeters[1] - 80.0) < 0.01, qPrintable(QString::number(perimeters[1])));
        const double low = std::min(perimeters[0], perimeters[2]), high = std::max(perimeters[0], perimeters[2]);
        QVERIFY2(std::abs(low - 40.0) < 0.01 && std::abs(high - 120.0) < 0.01,
                 qPrintable(QStringLiteral("%1 %2").arg(low).arg(high)));
    }

    void stackCancelLeavesNoFile()
    {
        load(scanPath_);
        cancelProgressNamed(QStringLiteral("Building slice stack DXF..."));
        window_->onSliceStack();
        QCOMPARE(status(), QStringLiteral("Slice stack export canceled."));
        QVERIFY(!QFile::exists(outPath("slicestack.dxf")));
        QVERIFY(!window_->isBusy());
    }

    void stackWindowAndCommandLineWriteTheSameBytes()
    {
        load(scanPath_);
        window_->findChild<QComboBox*>(QStringLiteral("sliceAxisCombo"))->setCurrentIndex(0);
        auto* band = window_->findChild<QDoubleSpinBox*>(QStringLiteral("bandThicknessSpin"));
        band->setValue(0.8);
        env_.set("HALVORAN_AUTOMATION_SLICE_STACK_COUNT", "4");
        window_->onSliceStack();
        QCOMPARE(readDxfSummary(outPath("slicestack.dxf")).value(QStringLiteral("counts")).toObject().size(), 4);

        const QString cliOut = outPath("cli.dxf");
        runCli({"stack", scanPath_, "-o", cliOut, "--count", "4", "--axis", "x", "--band",
                QString::number(band->value(), 'g', 17)});
        expectSameBytes(outPath("slicestack.dxf"), cliOut);
    }

    void compareWithoutMeshWarns()
    {
        MessageBoxCatcher boxes;
        window_->onLoadComparisonSlice();
        QCOMPARE(boxes.titles, QStringList{QStringLiteral("Compare")});
        QCOMPARE(boxes.texts, QStringList{QStringLiteral("No mesh loaded.")});
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

    void compareFilesNoCadToolWouldWrite_data()
    {
        QTest::addColumn<QByteArray>("bytes"); // null: no file at all
        QTest::addColumn<QString>("box");      // the refusal, or empty when it loads
        QTest::addColumn<QString>("loaded");   // the status when it loads
        QTest::addColumn<SectionLines>("overlay");
        const SectionLines kept{QLineF(0, 0, 1, 1)}; // a failed load keeps the old overlay
        const QString noLines = QStringLiteral("No LINE entities found in DXF.");
        QByteArray garbage(256 * 1024, '\0');
        for (int i = 0; i < garbage.size(); ++i)
            garbage[i] = char((i * 7919 + 13) % 251);
        QTest::newRow("garbage") << garbage << noLines << QString() << kept;
        QTest::newRow("8 MB line") << QByteArray(8 << 20, 'L') << noLines << QString() << kept;
        QTest::newRow("circle only")
            << QByteArray("0\nSECTION\n2\nENTITIES\n0\nCIRCLE\n8\n0\n10\n1\n20\n1\n30\n0\n40\n2\n0\nENDSEC\n0\nEOF\n")
            << noLines << QString() << kept;
        QTest::newRow("empty") << QByteArray("") << noLines << QString() << kept;
        QTest::newRow("missing") << QByteArray() << QStringLiteral("Failed to read comparison file.") << QString() << kept;
        QTest::newRow("all non-finite") << dxfLine("nan", "0", "1", "1") + dxfLine("0", "0", "inf", "1")
                                        << QStringLiteral("No usable LINE entities in DXF: 2 with non-finite coordinates.")
                                        << QString() << kept;
        QTest::newRow("one non-finite") << dxfLine("nan", "0", "1", "1") + dxfLine("1", "2", "3", "4") << QString()
                                        << QStringLiteral("Comparison overlay loaded: 1 segments (1 with non-finite "
                                                          "coordinates skipped)")
                                        << SectionLines{QLineF(1, 2, 3, 4)};
        QByteArray cut = dxfLine("1", "2", "3", "4") + dxfLine("5", "6", "7", "8");
        cut.truncate(cut.lastIndexOf("21\n"));
        QTest::newRow("truncated") << cut << QString() << QStringLiteral("Comparison overlay loaded: 1 segments")
                                   << SectionLines{QLineF(1, 2, 3, 4)};
    }

    void compareFilesNoCadToolWouldWrite()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QString, box);
        QFETCH(QString, loaded);
        QFETCH(SectionLines, overlay);
        load(scanPath_);
        window_->sectionCanvas()->setComparisonLines({QLineF(0, 0, 1, 1)});
        const QString path = outPath("compare.dxf");
        if (!bytes.isNull())
            writeFile(path, bytes);
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
    QString scanPath_, pyramidPath_;
};

QTEST_MAIN(TestMainWindowSectionFiles)
#include "test_mainwindow_sectionfiles.moc"
