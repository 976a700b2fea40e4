// Saving the window's settings and bringing them back in another window.
#include "ui/mainwindow/mainwindow.h"
#include "tests/ui/common/uitestutil.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QFile>
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
    void damagedFilesAreReported();

private:
    QTemporaryDir dir_;
    QString scanPath_;
};

void TestMainWindowSession::savedSettingsComeBackWithTheScan()
{
    const QString sessionPath = dir_.filePath(QStringLiteral("session.hvs"));
    {
        MainWindow window;
        window.show();
        window.beginAsyncLoad(scanPath_);
        QTRY_VERIFY_WITH_TIMEOUT(!window.isLoadInProgress(), kLoadTimeoutMs);
        child<QComboBox>(&window, "sliceAxisCombo")->setCurrentIndex(1);
        child<QDoubleSpinBox>(&window, "sliceExactSpin")->setValue(5.5);
        child<QDoubleSpinBox>(&window, "bandThicknessSpin")->setValue(0.8);
        child<QSlider>(&window, "keepRatioSlider")->setValue(85);
        child<QSlider>(&window, "smooth2DSlider")->setValue(20);
        layerBox(&window, "Kept")->setChecked(false);
        window.onUsePerspectiveProjection();
        window.onSaveSession();
        QCOMPARE(window.statusBar()->currentMessage(), QStringLiteral("Session saved: %1").arg(sessionPath));
    }
    QFile file(sessionPath);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QJsonObject saved = QJsonDocument::fromJson(file.readAll()).object();
    QCOMPARE(saved.value(QStringLiteral("meshPath")).toString(), scanPath_);
    QCOMPARE(saved.value(QStringLiteral("isAligned")).toBool(), true);

    MainWindow window;
    window.show();
    window.onLoadSession();
    QCOMPARE(window.statusBar()->currentMessage(), QStringLiteral("Session loaded: %1").arg(sessionPath));
    QVERIFY(window.isLoadInProgress()); // the scan comes back in the background
    QCOMPARE(child<QComboBox>(&window, "sliceAxisCombo")->currentIndex(), 1);
    QCOMPARE(child<QDoubleSpinBox>(&window, "bandThicknessSpin")->value(), 0.8);
    QCOMPARE(child<QSlider>(&window, "keepRatioSlider")->value(), 85);
    QCOMPARE(child<QSlider>(&window, "smooth2DSlider")->value(), 20);
    QVERIFY(!layerBox(&window, "Kept")->isChecked());
    QVERIFY(!findAction(&window, QStringLiteral("Orthographic Projection"))->isChecked());
    QTRY_VERIFY_WITH_TIMEOUT(!window.isLoadInProgress(), kLoadTimeoutMs);
    QCOMPARE(QString::fromStdString(window.model().sourcePath), scanPath_);
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
