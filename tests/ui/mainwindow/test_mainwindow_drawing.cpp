// The 2D drawing from the window: Generate into the 2D view, the export
// command in automation and through its preview, and the files read back.
#include "ui/section2d/section2dwidget.h"
#include "tests/ui/common/windowtest.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QFile>
#include <QInputDialog>
#include <QJsonObject>
#include <QLabel>
#include <QRegularExpression>
#include <QSlider>
#include <QXmlStreamReader>

namespace {

// Line count and view box of a written SVG; the file's layout is the writer
// tests' (test_drawingwriter.cpp).
struct SvgSummary {
    int lines = 0;
    QRectF viewBox;
    bool wellFormed = false;
};

SvgSummary readSvg(const QString& path)
{
    SvgSummary s;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return s;
    QXmlStreamReader xml(&file);
    while (!xml.atEnd()) {
        if (xml.readNext() != QXmlStreamReader::StartElement)
            continue;
        if (xml.name() == QLatin1String("line"))
            ++s.lines;
        const QStringList box = xml.attributes().value(QLatin1String("viewBox")).toString().split(QLatin1Char(' '));
        if (box.size() == 4)
            s.viewBox = QRectF(box[0].toDouble(), box[1].toDouble(), box[2].toDouble(), box[3].toDouble());
    }
    s.wellFormed = !xml.hasError();
    return s;
}

} // namespace

class TestMainWindowDrawing : public WindowTest {
    Q_OBJECT

private slots:
    void initTestCase() { writeScan(scanPath_, "part.stl", 30000); }
    void init() { openWindow(true); }
    void cleanup() { closeWindow(); }

    void generateShowsTheDrawingInThe2DView()
    {
        MessageBoxCatcher boxes;
        load(scanPath_);
        switchToDrawingMode();
        findButton(window_.get(), QStringLiteral("Generate"))->click();
        QTRY_VERIFY_WITH_TIMEOUT(status().startsWith(QStringLiteral("2D Drawing (Top)")), 60000);
        QVERIFY2(boxes.texts.isEmpty(), qPrintable(boxes.texts.join(QLatin1Char('|'))));
        const QRegularExpressionMatch m =
            QRegularExpression(QStringLiteral("^2D Drawing \\(Top\\): (\\d+) feature, (\\d+) contour edges; (\\d+) outline$"))
                .match(status());
        QVERIFY2(m.hasMatch(), qPrintable(status()));
        const SectionLines& lines = window_->sectionCanvas()->sectionLines();
        QVERIFY(m.captured(1).toInt() > 0 && m.captured(3).toInt() > 0);
        // The status counts every line the view shows.
        QCOMPARE(m.captured(1).toInt() + m.captured(2).toInt() + m.captured(3).toInt(), int(lines.size()));
        QVERIFY(window_->sectionCanvas()->erasedIndices().isEmpty());

        // The drawing lies within the part's footprint seen from the top.
        const Vec3f lo = window_->model().boundsMin(), hi = window_->model().boundsMax();
        for (const QLineF& line : lines)
            for (const QPointF& p : {line.p1(), line.p2()}) {
                QVERIFY(p.x() >= lo.x - 0.5 && p.x() <= hi.x + 0.5);
                QVERIFY(p.y() >= lo.y - 0.5 && p.y() <= hi.y + 0.5);
            }

        // Hidden lines are drawn but erased in the view: the synthetic part's
        // underside has creases and holes that the top hides.
        window_->findChild<QCheckBox*>(QStringLiteral("hiddenLinesCheck"))->setChecked(true);
        window_->statusBar()->clearMessage();
        findButton(window_.get(), QStringLiteral("Generate"))->click();
        QTRY_VERIFY_WITH_TIMEOUT(status().startsWith(QStringLiteral("2D Drawing (Top)")), 60000);
        const QRegularExpressionMatch h = QRegularExpression(QStringLiteral("(\\d+) feature, (\\d+) contour")).match(status());
        QVERIFY2(h.hasMatch(), qPrintable(status()));
        const QSet<int> erased = window_->sectionCanvas()->erasedIndices();
        const int total = int(window_->sectionCanvas()->sectionLines().size());
        QVERIFY(!erased.isEmpty());
        QVERIFY(h.captured(1).toInt() + h.captured(2).toInt() + int(erased.size()) < total);
        for (int index : erased)
            QVERIFY(index >= 0 && index < total);

        // A different view is drawn in its own plane.
        QComboBox* viewCombo = nullptr;
        for (QComboBox* combo : window_->findChildren<QComboBox*>())
            if (combo->findText(QStringLiteral("Front (XZ)")) >= 0)
                viewCombo = combo;
        QVERIFY(viewCombo);
        viewCombo->setCurrentIndex(1);
        findButton(window_.get(), QStringLiteral("Generate"))->click();
        QTRY_VERIFY_WITH_TIMEOUT(status().startsWith(QStringLiteral("2D Drawing (Front)")), 60000);
        for (const QLineF& line : window_->sectionCanvas()->sectionLines())
            QVERIFY(line.p1().y() >= lo.z - 0.5 && line.p1().y() <= hi.z + 0.5);
    }

    // The export in automation: the top view as SVG, the front as DXF, and an
    // unwritable path reported.
    void exportWritesTopSvgOrReportsTheFailure()
    {
        MessageBoxCatcher boxes;
        load(scanPath_);
        findAction(window_.get(), QStringLiteral("2D Drawing"))->trigger();
        const QString path = QDir(outDir_->path()).filePath(QStringLiteral("drawing_top.svg"));
        QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(path), 60000);
        QVERIFY2(boxes.texts.isEmpty(), qPrintable(boxes.texts.join(QLatin1Char('|'))));
        const SvgSummary svg = readSvg(path);
        QVERIFY(svg.wellFormed);
        QVERIFY(svg.lines > 0);
        QVERIFY2(status().startsWith(QStringLiteral("Exported 2D drawing: %1 (").arg(QFileInfo(path).absoluteFilePath())),
                 qPrintable(status()));
        QVERIFY(status().endsWith(QStringLiteral(" (%1 edges)").arg(svg.lines)));

        // The front view as DXF with hidden lines and other sliders: halvoran-cli
        // with the same settings writes the same bytes.
        const QString front = QDir(outDir_->path()).filePath(QStringLiteral("front.DXF"));
        env_.set("HALVORAN_AUTOMATION_DRAWING_VIEW", "1");
        env_.set("HALVORAN_AUTOMATION_DRAWING_EXPORT", QFile::encodeName(front));
        window_->findChild<QCheckBox*>(QStringLiteral("hiddenLinesCheck"))->setChecked(true);
        window_->findChild<QSlider*>(QStringLiteral("drawingMinSizeSlider"))->setValue(10);
        window_->findChild<QSlider*>(QStringLiteral("drawingDetailSlider"))->setValue(70);
        trigger(QStringLiteral("2D Drawing"));
        QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(front), 60000);

        const QString cliOut = outDir_->filePath(QStringLiteral("cli.dxf"));
        runCli({"drawing", scanPath_, "-o", cliOut, "--view", "front", "--hidden", "--min-size", "10", "--detail", "70"});
        expectSameBytes(front, cliOut);

        // Layers and the unflipped front frame are test_drawingwriter.cpp's
        // (DrawingDxf.LayersByClassAndUnflippedCoordinates); here ezdxf reads the file.
        const QJsonObject summary = readDxfSummary(front);
        for (const char* layer : {"LINE/FEATURE", "LINE/SILHOUETTE"})
            QVERIFY2(count(summary, layer) > 0, layer);

        // An unwritable path is reported, and nothing claimed exported.
        QTRY_VERIFY(!window_->isBusy());
        window_->statusBar()->clearMessage();
        env_.set("HALVORAN_AUTOMATION_DRAWING_EXPORT", "/proc/halvoran-no-such/x.svg");
        trigger(QStringLiteral("2D Drawing"));
        QTRY_VERIFY_WITH_TIMEOUT(!boxes.texts.isEmpty(), 60000);
        QCOMPARE(boxes.titles, QStringList{QStringLiteral("Export")});
        QCOMPARE(boxes.texts, QStringList{QStringLiteral("Failed to write file.")});
        QVERIFY(!status().startsWith(QStringLiteral("Exported")));
    }

    // Without automation: an open mesh gets the repair hint before Generate
    // draws; the export asks for the view, previews with counts and saves.
    void repairHintThenPreviewShowsCountsAndSaves()
    {
        load(scanPath_);
        env_.restore();
        {
            MessageBoxCatcher boxes;
            switchToDrawingMode();
            findButton(window_.get(), QStringLiteral("Generate"))->click();
            QTRY_VERIFY_WITH_TIMEOUT(status().startsWith(QStringLiteral("2D Drawing (Top)")), 60000);
            QCOMPARE(boxes.titles, QStringList{QStringLiteral("2D Drawing")});
            const QRegularExpressionMatch m = QRegularExpression(
                QStringLiteral("^This mesh has (\\d+) boundary edges \\(holes\\)\\. Running Repair Mesh first may produce "
                               "cleaner 2D drawings\\.$")).match(boxes.texts.value(0));
            QVERIFY2(m.hasMatch(), qPrintable(boxes.texts.value(0)));
            QVERIFY(m.captured(1).toInt() > 0);
            QVERIFY(!window_->sectionCanvas()->sectionLines().isEmpty());
        }
        const QString path = QDir(outDir_->path()).filePath(QStringLiteral("chosen.svg"));
        QString countsText;
        bool sawViewChoice = false;
        // Answer the view question with "Right (YZ)", then save from the preview.
        QTimer driver;
        driver.setInterval(20);
        connect(&driver, &QTimer::timeout, this, [&]() {
            for (QWidget* w : QApplication::topLevelWidgets()) {
                if (auto* input = qobject_cast<QInputDialog*>(w); input && input->isVisible()) {
                    sawViewChoice = input->labelText() == QLatin1String("Projection view:");
                    input->setTextValue(QStringLiteral("Right (YZ)"));
                    input->accept();
                    return;
                }
                if (auto* dialog = qobject_cast<QDialog*>(w);
                    dialog && dialog->isVisible() && dialog->windowTitle() == QLatin1String("2D Drawing Preview")) {
                    if (auto* label = dialog->findChild<QLabel*>(QStringLiteral("drawingCounts")))
                        countsText = label->text();
                    // Answer the save question from the environment from here on.
                    env_.set("HALVORAN_AUTOMATION", "1");
                    env_.set("HALVORAN_AUTOMATION_DRAWING_EXPORT", QFile::encodeName(path));
                    findButton(dialog, QStringLiteral("Save SVG / DXF"))->click();
                    return;
                }
            }
        });
        driver.start();
        window_->onExport2DDrawing();
        driver.stop();
        QVERIFY(sawViewChoice);
        QVERIFY(QFile::exists(path));
        const QRegularExpressionMatch m = QRegularExpression(
            QStringLiteral("^Silhouette: (\\d+)  \\|  Feature: (\\d+)  \\|  Contour: (\\d+)  \\|  Hidden: 0$")).match(countsText);
        QVERIFY2(m.hasMatch(), qPrintable(countsText));
        QVERIFY(m.captured(1).toInt() > 0);
        const SvgSummary svg = readSvg(path);
        QCOMPARE(svg.lines, m.captured(1).toInt() + m.captured(2).toInt() + m.captured(3).toInt());
        // Right view: drawing x is world y.
        const Vec3f lo = window_->model().boundsMin(), hi = window_->model().boundsMax();
        QVERIFY(svg.viewBox.left() < lo.y + 1.0 && svg.viewBox.right() > hi.y - 1.0);
        QVERIFY(svg.viewBox.width() < (hi.y - lo.y) * 1.2 + 1.0);
    }

private:
    void switchToDrawingMode()
    {
        auto* combo = window_->findChild<QComboBox*>(QStringLiteral("modeCombo"));
        QVERIFY(combo);
        combo->setCurrentIndex(combo->findText(QStringLiteral("2D Drawing")));
        QTRY_VERIFY(window_->findChild<QWidget*>(QStringLiteral("drawingControls"))->isVisible());
    }

    QString scanPath_;
};

QTEST_MAIN(TestMainWindowDrawing)
#include "test_mainwindow_drawing.moc"
