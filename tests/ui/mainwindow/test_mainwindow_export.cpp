// "Export DXF" from the window: what goes into the file, the refusals and
// cancels, and that CAD readers (ezdxf here) read it as intended.
#include "ui/mainwindow/mainwindow.h"
#include "ui/section2d/section2dwidget.h"
#include "tests/ui/common/uitestutil.h"

#include <QDir>
#include <QDoubleSpinBox>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QProgressDialog>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QTest>

#include <cmath>
#include <limits>
#include <memory>

namespace {

constexpr int kLoadTimeoutMs = 60000;

} // namespace

class TestMainWindowExport : public QObject {
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QVERIFY(dir_.isValid());
        scanPath_ = dir_.filePath(QStringLiteral("scan part.stl"));
        QVERIFY(writeSyntheticStl(scanPath_, 30000) > 0);
    }
    void init()
    {
        outDir_ = std::make_unique<QTemporaryDir>();
        qputenv("HALVORAN_AUTOMATION", "1");
        qputenv("HALVORAN_AUTOMATION_OUTPUT_DIR", QFile::encodeName(outDir_->path()));
        qunsetenv("HALVORAN_AUTOMATION_EXPORT_DXF");
        window_ = std::make_unique<MainWindow>();
        window_->show();
        QVERIFY(QTest::qWaitForWindowExposed(window_.get()));
    }
    void cleanup()
    {
        window_.reset();
        for (const char* name : {"HALVORAN_AUTOMATION", "HALVORAN_AUTOMATION_OUTPUT_DIR", "HALVORAN_AUTOMATION_EXPORT_DXF"})
            qunsetenv(name);
    }

    void nothingToExportWarns();
    void annotationsAloneExport();
    void sectionWithErasedKeptAndAnnotations();
    void validationRefusalWritesNothing();
    void cancelLeavesNoFile();
    void unwritablePathFailsCleanly();
    void windowAndCommandLineWriteTheSameBytes();

private:
    void load()
    {
        window_->beginAsyncLoad(scanPath_);
        QTRY_VERIFY_WITH_TIMEOUT(!window_->isLoadInProgress(), kLoadTimeoutMs);
        QVERIFY(!window_->sectionLines().isEmpty());
    }
    void exportDxf() { findAction(window_.get(), QStringLiteral("Export DXF"))->trigger(); }
    QString status() const { return window_->statusBar()->currentMessage(); }
    QString defaultPath() const { return outDir_->filePath(QStringLiteral("section.dxf")); }

    QTemporaryDir dir_;
    std::unique_ptr<QTemporaryDir> outDir_;
    QString scanPath_;
    std::unique_ptr<MainWindow> window_;
};

void TestMainWindowExport::nothingToExportWarns()
{
    MessageBoxCatcher boxes;
    // The command is disabled without a mesh; call the slot as a script would.
    window_->onExportDxf();
    QCOMPARE(boxes.titles, QStringList{QStringLiteral("Export")});
    QCOMPARE(boxes.texts, QStringList{QStringLiteral("No slice data or annotations to export.")});
    QVERIFY(!QFile::exists(defaultPath()));
}

void TestMainWindowExport::annotationsAloneExport()
{
    window_->sectionCanvas()->setAnnotations(
        {annotation("point_label", {QPointF(1234567.0, -2.5)}, true, QStringLiteral("(1234567.00, -2.50)"))});
    window_->onExportDxf();
    QCOMPARE(status(), QStringLiteral("Exported DXF: %1").arg(defaultPath()));
    QFile file(defaultPath());
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray bytes = file.readAll();
    // Six significant digits, like printf("%g"); no HEADER section.
    QVERIFY(bytes.contains("0\nPOINT\n8\nMEASURE\n10\n1.23457e+06\n20\n-2.5\n30\n0\n"));
    QVERIFY(bytes.startsWith("0\nSECTION\n2\nENTITIES\n"));
    QVERIFY(bytes.endsWith("0\nENDSEC\n0\nEOF\n"));

    const QJsonObject summary = readDxfSummary(defaultPath());
    QCOMPARE(count(summary, "POINT/MEASURE"), 1);
    QCOMPARE(count(summary, "TEXT/MEASURE"), 1);
    QCOMPARE(summary.value(QStringLiteral("counts")).toObject().size(), 2);
}

void TestMainWindowExport::sectionWithErasedKeptAndAnnotations()
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

    // The erased lines are nowhere in the file.
    const QJsonArray written = summary.value(QStringLiteral("lines")).toArray();
    for (int erased : {0, 1, 2}) {
        const QLineF l = lines[erased];
        for (const QJsonValue& value : written) {
            const QJsonArray w = value.toArray();
            QVERIFY(!(std::abs(w[0].toDouble() - l.x1()) < 1e-4 && std::abs(w[1].toDouble() - l.y1()) < 1e-4
                      && std::abs(w[2].toDouble() - l.x2()) < 1e-4 && std::abs(w[3].toDouble() - l.y2()) < 1e-4));
        }
    }
}

void TestMainWindowExport::validationRefusalWritesNothing()
{
    const double nan = std::numeric_limits<double>::quiet_NaN();
    window_->sectionCanvas()->setAnnotations({annotation("line", {QPointF(0, 0), QPointF(nan, 1)}),
                                              annotation("line", {QPointF(2, 2), QPointF(2, 2)}),
                                              annotation("line", {QPointF(0, 0), QPointF(1, 1)})});
    MessageBoxCatcher boxes; // answers the question with neither Yes nor No: not Yes
    window_->onExportDxf();
    QCOMPARE(boxes.titles, QStringList{QStringLiteral("Export Validation")});
    QCOMPARE(boxes.texts.value(0), QStringLiteral("DXF export found potential issues:\n- Non-finite entities: 1\n"
                                                  "- Zero-length entities: 1\n\nContinue anyway?"));
    QCOMPARE(status(), QStringLiteral("DXF export canceled by validation."));
    QVERIFY(!QFile::exists(defaultPath()));
}

void TestMainWindowExport::cancelLeavesNoFile()
{
    load();
    QTimer::singleShot(0, window_.get(), [this]() {
        for (QProgressDialog* dialog : window_->findChildren<QProgressDialog*>())
            if (dialog->isVisible() && dialog->labelText() == QLatin1String("Exporting DXF..."))
                dialog->cancel();
    });
    window_->onExportDxf();
    QCOMPARE(status(), QStringLiteral("DXF export canceled."));
    QVERIFY(!QFile::exists(defaultPath()));
}

void TestMainWindowExport::unwritablePathFailsCleanly()
{
    load();
    // A folder where the file should go.
    const QString taken = outDir_->filePath(QStringLiteral("taken.dxf"));
    QVERIFY(QDir().mkpath(taken));
    qputenv("HALVORAN_AUTOMATION_EXPORT_DXF", QFile::encodeName(taken));
    MessageBoxCatcher boxes;
    window_->onExportDxf();
    QCOMPARE(boxes.texts, QStringList{QStringLiteral("Failed to write DXF file.")});
}

void TestMainWindowExport::windowAndCommandLineWriteTheSameBytes()
{
    load();
    window_->onExportDxf();
    QFile windowFile(defaultPath());
    QVERIFY(windowFile.open(QIODevice::ReadOnly));
    const QByteArray fromWindow = windowFile.readAll();

    // The window cuts where its "Exact:" box says, rounded to its decimals.
    const double at = window_->findChild<QDoubleSpinBox*>(QStringLiteral("sliceExactSpin"))->value();
    const QString cliOut = outDir_->filePath(QStringLiteral("cli.dxf"));
    QProcess cli;
    cli.start(QStringLiteral(HALVORAN_CLI_PATH), {QStringLiteral("section"), scanPath_, QStringLiteral("-o"), cliOut,
                                                  QStringLiteral("--at"), QString::number(at, 'g', 17)});
    QVERIFY(cli.waitForFinished(120000));
    QCOMPARE(cli.exitCode(), 0);
    QFile cliFile(cliOut);
    QVERIFY(cliFile.open(QIODevice::ReadOnly));
    const QByteArray fromCli = cliFile.readAll();
    QCOMPARE(fromCli.size(), fromWindow.size());
    QVERIFY(fromCli == fromWindow);
}

QTEST_MAIN(TestMainWindowExport)
#include "test_mainwindow_export.moc"
