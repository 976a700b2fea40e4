// Saving the window's settings and bringing them back in another window.
#include "model/section/sectionsketch.h"
#include "ui/mainwindow/mainwindow.h"
#include "ui/section2d/section2dwidget.h"
#include "tests/ui/common/uitestutil.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSlider>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

namespace {

constexpr int kLoadTimeoutMs = 60000;

template <class T>
T* child(QWidget* window, const char* name)
{
    return window->findChild<T*>(QString::fromLatin1(name));
}

QCheckBox* layerBox(QWidget* window, const char* text)
{
    for (QCheckBox* box : window->findChildren<QCheckBox*>())
        if (box->text() == QLatin1String(text))
            return box;
    return nullptr;
}

} // namespace

class TestMainWindowSession : public QObject {
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QVERIFY(dir_.isValid());
        scanPath_ = dir_.filePath(QStringLiteral("scan part.stl"));
        QVERIFY(writeSyntheticStl(scanPath_, 20000) > 0);
        qputenv("HALVORAN_AUTOMATION", "1");
        qputenv("HALVORAN_AUTOMATION_OUTPUT_DIR", QFile::encodeName(dir_.path()));
    }
    void cleanupTestCase()
    {
        for (const char* name : {"HALVORAN_AUTOMATION", "HALVORAN_AUTOMATION_OUTPUT_DIR",
                                 "HALVORAN_AUTOMATION_LOAD_SESSION", "HALVORAN_AUTOMATION_SAVE_SESSION"})
            qunsetenv(name);
    }

    void savedSettingsComeBackWithTheScan();
    void olderFilesLeaveTheDrawnWorkAlone();
    void damagedFilesAreReported();

private:
    QTemporaryDir dir_;
    QString scanPath_;
};

void TestMainWindowSession::savedSettingsComeBackWithTheScan()
{
    const QString sessionPath = dir_.filePath(QStringLiteral("session.hvs"));
    SectionLines savedLines;
    QList<SectionAnnotation> savedDrawn;
    QSet<int> savedKept;
    {
        MainWindow window;
        window.show();
        window.beginAsyncLoad(scanPath_);
        QTRY_VERIFY_WITH_TIMEOUT(!window.isLoadInProgress(), kLoadTimeoutMs);
        child<QComboBox>(&window, "sliceAxisCombo")->setCurrentIndex(1);
        child<QDoubleSpinBox>(&window, "sliceExactSpin")->setValue(1.0);
        child<QDoubleSpinBox>(&window, "bandThicknessSpin")->setValue(0.8);
        child<QSlider>(&window, "keepRatioSlider")->setValue(85);
        child<QSlider>(&window, "smooth2DSlider")->setValue(20);
        layerBox(&window, "Kept")->setChecked(false);
        layerBox(&window, "Hidden lines")->setChecked(true);
        window.onUsePerspectiveProjection();
        // The section at that plane, then work drawn on it.
        QTRY_VERIFY_WITH_TIMEOUT(window.statusBar()->currentMessage().startsWith(QStringLiteral("Slice complete")),
                                 kLoadTimeoutMs);
        Section2DWidget* canvas = window.sectionCanvas();
        savedLines = canvas->sectionLines();
        QVERIFY(savedLines.size() > 6);
        canvas->setKeptIndices({1, 3, 5});
        SectionAnnotation radius = sketch::buildToolRecord(sketch::Tool::Radius, {QPointF(5, 0), QPointF(0, 5), QPointF(-5, 0)});
        SectionAnnotation polygon = annotation("polygon", {QPointF(1, 1), QPointF(4, 1), QPointF(4, 3)});
        polygon.closed = true;
        SectionAnnotation fit = annotation("line", {QPointF(0, 0), QPointF(1, 0)});
        fit.isFit = true;
        canvas->setAnnotations({radius, annotation("point_label", {QPointF(3.1, -4)}, true, QStringLiteral("(3.10, -4.00)")),
                                polygon, fit});
        savedDrawn = canvas->annotations().mid(0, 3);
        savedKept = canvas->keptIndices();
        window.onSaveSession();
        QCOMPARE(window.statusBar()->currentMessage(), QStringLiteral("Session saved: %1").arg(sessionPath));
    }
    QFile file(sessionPath);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QJsonObject saved = QJsonDocument::fromJson(file.readAll()).object();
    QCOMPARE(saved.value(QStringLiteral("meshPath")).toString(), scanPath_);
    QCOMPARE(saved.value(QStringLiteral("isAligned")).toBool(), true);
    QCOMPARE(saved.value(QStringLiteral("sectionAnnotations")).toArray().size(), 3); // no fits

    MainWindow window;
    window.show();
    window.onLoadSession();
    QCOMPARE(window.statusBar()->currentMessage(), QStringLiteral("Session loaded: %1").arg(sessionPath));
    QVERIFY(window.isLoadInProgress()); // the scan comes back in the background
    QCOMPARE(child<QDoubleSpinBox>(&window, "bandThicknessSpin")->value(), 0.8);
    QCOMPARE(child<QSlider>(&window, "keepRatioSlider")->value(), 85);
    QCOMPARE(child<QSlider>(&window, "smooth2DSlider")->value(), 20);
    QVERIFY(!layerBox(&window, "Kept")->isChecked());
    QVERIFY(layerBox(&window, "Hidden lines")->isChecked());
    QVERIFY(!findAction(&window, QStringLiteral("Orthographic Projection"))->isChecked());
    QTRY_VERIFY_WITH_TIMEOUT(!window.isLoadInProgress(), kLoadTimeoutMs);
    QCOMPARE(QString::fromStdString(window.model().sourcePath), scanPath_);
    // The plane as saved, not recentred by the load, and the same section
    // with the same lines kept and the same sketches on it.
    QCOMPARE(child<QComboBox>(&window, "sliceAxisCombo")->currentIndex(), 1);
    QCOMPARE(child<QDoubleSpinBox>(&window, "sliceExactSpin")->value(), 1.0);
    Section2DWidget* canvas = window.sectionCanvas();
    QCOMPARE(canvas->sectionLines(), savedLines);
    QCOMPARE(canvas->keptIndices(), savedKept);
    const QList<SectionAnnotation> back = canvas->annotations();
    QCOMPARE(back.size(), savedDrawn.size());
    for (int i = 0; i < back.size(); ++i) {
        QCOMPARE(back[i].kind, savedDrawn[i].kind);
        QCOMPARE(back[i].points, savedDrawn[i].points);
        QCOMPARE(back[i].center, savedDrawn[i].center);
        QCOMPARE(back[i].radius, savedDrawn[i].radius);
        QCOMPARE(back[i].closed, savedDrawn[i].closed);
        QCOMPARE(back[i].label, savedDrawn[i].label);
        QCOMPARE(back[i].isMeasurement, savedDrawn[i].isMeasurement);
    }
    // Nothing later replaces the restored section and drops its marks.
    QTest::qWait(300);
    QCOMPARE(canvas->keptIndices(), savedKept);
}

// A file written before the drawn work was saved: the plane still comes
// back after the reload, and the sketches on the canvas stay.
void TestMainWindowSession::olderFilesLeaveTheDrawnWorkAlone()
{
    const QString sessionPath = dir_.filePath(QStringLiteral("older.hvs"));
    QFile file(sessionPath);
    QVERIFY(file.open(QIODevice::WriteOnly));
    QJsonObject older{{QStringLiteral("version"), 1}, {QStringLiteral("meshPath"), scanPath_},
                      {QStringLiteral("sliceAxis"), 0}, {QStringLiteral("slicePosition"), 1.0}};
    file.write(QJsonDocument(older).toJson(QJsonDocument::Compact));
    file.close();

    MainWindow window;
    window.show();
    window.beginAsyncLoad(scanPath_);
    QTRY_VERIFY_WITH_TIMEOUT(!window.isLoadInProgress(), kLoadTimeoutMs);
    const SectionAnnotation line = annotation("line", {QPointF(1, 2), QPointF(3, 4)});
    window.sectionCanvas()->setAnnotations({line});
    qputenv("HALVORAN_AUTOMATION_LOAD_SESSION", QFile::encodeName(sessionPath));
    window.onLoadSession();
    qunsetenv("HALVORAN_AUTOMATION_LOAD_SESSION");
    QTRY_VERIFY_WITH_TIMEOUT(!window.isLoadInProgress(), kLoadTimeoutMs);
    QCOMPARE(child<QComboBox>(&window, "sliceAxisCombo")->currentIndex(), 0);
    QCOMPARE(child<QDoubleSpinBox>(&window, "sliceExactSpin")->value(), 1.0);
    QCOMPARE(window.sectionCanvas()->annotations().size(), 1);
    QCOMPARE(window.sectionCanvas()->annotations().first().points, line.points);
}

void TestMainWindowSession::damagedFilesAreReported()
{
    MainWindow window;
    const QString broken = dir_.filePath(QStringLiteral("broken.hvs"));
    QFile file(broken);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("{\"sliceAxis\": 0, ");
    file.close();
    qputenv("HALVORAN_AUTOMATION_LOAD_SESSION", QFile::encodeName(broken));
    const int keep = child<QSlider>(&window, "keepRatioSlider")->value();
    {
        MessageBoxCatcher boxes;
        window.onLoadSession();
        QCOMPARE(boxes.titles, QStringList{QStringLiteral("Load Session")});
        QVERIFY2(boxes.texts.value(0).startsWith(QStringLiteral("Invalid session file: ")), qPrintable(boxes.texts.value(0)));
    }
    QCOMPARE(child<QSlider>(&window, "keepRatioSlider")->value(), keep);

    qputenv("HALVORAN_AUTOMATION_LOAD_SESSION", QFile::encodeName(dir_.filePath(QStringLiteral("missing.hvs"))));
    {
        MessageBoxCatcher boxes;
        window.onLoadSession();
        QCOMPARE(boxes.texts, QStringList{QStringLiteral("Failed to read session file.")});
    }
    qputenv("HALVORAN_AUTOMATION_SAVE_SESSION", QFile::encodeName(dir_.path())); // a folder
    {
        MessageBoxCatcher boxes;
        window.onSaveSession();
        QCOMPARE(boxes.texts, QStringList{QStringLiteral("Failed to write session file.")});
    }
    qunsetenv("HALVORAN_AUTOMATION_LOAD_SESSION");
    qunsetenv("HALVORAN_AUTOMATION_SAVE_SESSION");
}

QTEST_MAIN(TestMainWindowSession)
#include "test_mainwindow_session.moc"
