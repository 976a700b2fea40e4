// Saving the window's settings and bringing them back in another window.
#include "model/section/sectionsketch.h"
#include "ui/section2d/section2dwidget.h"
#include "tests/ui/common/windowtest.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSlider>

class TestMainWindowSession : public WindowTest {
    Q_OBJECT

private slots:
    void initTestCase() { writeScan(scanPath_, "scan part.stl"); }
    void init() { openWindow(true); }
    void cleanup() { closeWindow(); }

    void savedSettingsComeBackWithTheScan()
    {
        const QString sessionPath = outPath("session.hvs");
        load(scanPath_);
        child<QComboBox>("sliceAxisCombo")->setCurrentIndex(1);
        child<QDoubleSpinBox>("sliceExactSpin")->setValue(1.0);
        child<QDoubleSpinBox>("bandThicknessSpin")->setValue(0.8);
        child<QSlider>("keepRatioSlider")->setValue(85);
        child<QSlider>("smooth2DSlider")->setValue(20);
        findButton<QCheckBox>(window_.get(), "Kept")->setChecked(false);
        findButton<QCheckBox>(window_.get(), "Hidden lines")->setChecked(true);
        window_->onUsePerspectiveProjection();
        // The section at that plane, then work drawn on it.
        QTRY_VERIFY_WITH_TIMEOUT(status().startsWith(QStringLiteral("Slice complete")), kLoadTimeoutMs);
        Section2DWidget* canvas = window_->sectionCanvas();
        const SectionLines savedLines = canvas->sectionLines();
        QVERIFY(savedLines.size() > 6);
        canvas->setKeptIndices({1, 3, 5});
        SectionAnnotation radius = sketch::buildToolRecord(sketch::Tool::Radius, {QPointF(5, 0), QPointF(0, 5), QPointF(-5, 0)});
        SectionAnnotation polygon = annotation("polygon", {QPointF(1, 1), QPointF(4, 1), QPointF(4, 3)});
        polygon.closed = true;
        SectionAnnotation fit = annotation("line", {QPointF(0, 0), QPointF(1, 0)});
        fit.isFit = true;
        canvas->setAnnotations({radius, annotation("point_label", {QPointF(3.1, -4)}, true, QStringLiteral("(3.10, -4.00)")),
                                polygon, fit});
        const QList<SectionAnnotation> savedDrawn = canvas->annotations().mid(0, 3);
        const QSet<int> savedKept = canvas->keptIndices();
        window_->onSaveSession();
        QCOMPARE(status(), QStringLiteral("Session saved: %1").arg(sessionPath));
        QFile file(sessionPath);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QJsonObject saved = QJsonDocument::fromJson(file.readAll()).object();
        QCOMPARE(saved.value(QStringLiteral("meshPath")).toString(), scanPath_);
        QCOMPARE(saved.value(QStringLiteral("isAligned")).toBool(), true);
        QCOMPARE(saved.value(QStringLiteral("sectionAnnotations")).toArray().size(), 3); // no fits

        openWindow(); // a second window, the automation environment kept
        window_->onLoadSession();
        QCOMPARE(status(), QStringLiteral("Session loaded: %1").arg(sessionPath));
        QVERIFY(window_->isLoadInProgress()); // the scan comes back in the background
        QCOMPARE(child<QDoubleSpinBox>("bandThicknessSpin")->value(), 0.8);
        QCOMPARE(child<QSlider>("keepRatioSlider")->value(), 85);
        QCOMPARE(child<QSlider>("smooth2DSlider")->value(), 20);
        QVERIFY(!findButton<QCheckBox>(window_.get(), "Kept")->isChecked());
        QVERIFY(findButton<QCheckBox>(window_.get(), "Hidden lines")->isChecked());
        QVERIFY(!findAction(window_.get(), QStringLiteral("Orthographic Projection"))->isChecked());
        QTRY_VERIFY_WITH_TIMEOUT(!window_->isLoadInProgress(), kLoadTimeoutMs);
        QCOMPARE(QString::fromStdString(window_->model().sourcePath), scanPath_);
        // The plane as saved, not recentred by the load, and the same section
        // with the same lines kept and the same sketches on it.
        QCOMPARE(child<QComboBox>("sliceAxisCombo")->currentIndex(), 1);
        QCOMPARE(child<QDoubleSpinBox>("sliceExactSpin")->value(), 1.0);
        canvas = window_->sectionCanvas();
        QCOMPARE(canvas->sectionLines(), savedLines);
        QCOMPARE(canvas->keptIndices(), savedKept);
        const QList<SectionAnnotation> back = canvas->annotations();
        QCOMPARE(back.size(), savedDrawn.size());
        // Every field's round trip is test_sessionfile.cpp's; here the canvas gets them.
        for (int i = 0; i < back.size(); ++i) {
            QCOMPARE(back[i].kind, savedDrawn[i].kind);
            QCOMPARE(back[i].points, savedDrawn[i].points);
            QCOMPARE(back[i].label, savedDrawn[i].label);
        }
        // Nothing later replaces the restored section and drops its marks.
        QTest::qWait(300);
        QCOMPARE(canvas->keptIndices(), savedKept);

        // A file written before the drawn work was saved: the plane still comes
        // back after the reload, and the sketches on the canvas stay.
        const QString olderPath = dir_.filePath(QStringLiteral("older.hvs"));
        QFile olderFile(olderPath);
        QVERIFY(olderFile.open(QIODevice::WriteOnly));
        QJsonObject older{{QStringLiteral("version"), 1}, {QStringLiteral("meshPath"), scanPath_},
                          {QStringLiteral("sliceAxis"), 0}, {QStringLiteral("slicePosition"), 1.0}};
        olderFile.write(QJsonDocument(older).toJson(QJsonDocument::Compact));
        olderFile.close();

        const SectionAnnotation line = annotation("line", {QPointF(1, 2), QPointF(3, 4)});
        window_->sectionCanvas()->setAnnotations({line});
        env_.set("HALVORAN_AUTOMATION_LOAD_SESSION", QFile::encodeName(olderPath));
        window_->onLoadSession();
        QTRY_VERIFY_WITH_TIMEOUT(!window_->isLoadInProgress(), kLoadTimeoutMs);
        QCOMPARE(child<QComboBox>("sliceAxisCombo")->currentIndex(), 0);
        QCOMPARE(child<QDoubleSpinBox>("sliceExactSpin")->value(), 1.0);
        QCOMPARE(window_->sectionCanvas()->annotations().size(), 1);
        QCOMPARE(window_->sectionCanvas()->annotations().first().points, line.points);
    }

    void damagedFilesAreReported()
    {
        const QString broken = dir_.filePath(QStringLiteral("broken.hvs"));
        QFile file(broken);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("{\"sliceAxis\": 0, ");
        file.close();
        const int keep = child<QSlider>("keepRatioSlider")->value();
        const QString missing = dir_.filePath(QStringLiteral("missing.hvs"));
        const struct {
            const char* variable;
            QString path;
            void (MainWindow::*command)();
            const char* title;
            const char* refusal; // the start of the text
        } rows[] = {
            {"HALVORAN_AUTOMATION_LOAD_SESSION", broken, &MainWindow::onLoadSession, "Load Session", "Invalid session file: "},
            {"HALVORAN_AUTOMATION_LOAD_SESSION", missing, &MainWindow::onLoadSession, "Load Session",
             "Failed to read session file."},
            {"HALVORAN_AUTOMATION_SAVE_SESSION", outDir_->path(), &MainWindow::onSaveSession, "Save Session", // a folder
             "Failed to write session file."}};
        for (const auto& row : rows) {
            env_.set(row.variable, QFile::encodeName(row.path));
            MessageBoxCatcher boxes;
            (window_.get()->*row.command)();
            QCOMPARE(boxes.titles, QStringList{QLatin1String(row.title)});
            QVERIFY2(boxes.texts.value(0).startsWith(QLatin1String(row.refusal)), qPrintable(boxes.texts.value(0)));
        }
        QCOMPARE(child<QSlider>("keepRatioSlider")->value(), keep);
    }

private:
    QString scanPath_;
};

QTEST_MAIN(TestMainWindowSession)
#include "test_mainwindow_session.moc"
