// Analysis commands of the window that report on the whole mesh.
#include "model/primitivefit.h"
#include "ui/mainwindow.h"
#include "uitestutil.h"

#include <QRegularExpression>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QTest>

class TestMainWindowAnalysis : public QObject {
    Q_OBJECT

private slots:
    void fitPrimitiveReportsTheBestShape();
};

void TestMainWindowAnalysis::fitPrimitiveReportsTheBestShape()
{
    MainWindow window;
    window.onFitPrimitive();
    QCOMPARE(window.statusBar()->currentMessage(), QStringLiteral("No mesh loaded."));

    QTemporaryDir dir;
    const QString scan = dir.filePath(QStringLiteral("scan.stl"));
    QVERIFY(writeSyntheticStl(scan, 20000) > 0);
    window.beginAsyncLoad(scan);
    QTRY_VERIFY_WITH_TIMEOUT(!window.isLoadInProgress(), 60000);
    const PrimitiveFit expected = fitPrimitive(window.model());

    // Interactive: the result box, then the status line.
    {
        MessageBoxCatcher boxes;
        window.onFitPrimitive();
        QCOMPARE(boxes.titles, QStringList{QStringLiteral("Fit Primitive")});
        const QString upper = QString::fromStdString(expected.type).toUpper();
        QVERIFY2(boxes.texts.value(0).startsWith(QStringLiteral("Best fit: %1 (residual ").arg(upper)),
                 qPrintable(boxes.texts.value(0)));
        QVERIFY(boxes.texts.value(0).contains(QRegularExpression(QStringLiteral("Center: \\(-?\\d+\\.\\d\\d, "))));
    }
    QCOMPARE(window.statusBar()->currentMessage(),
             QStringLiteral("Primitive fit: %1 (residual %2)")
                 .arg(QString::fromStdString(expected.type), QString::number(expected.residual, 'f', 4)));

    // Automation: no box that would stall a script.
    qputenv("HALVORAN_AUTOMATION", "1");
    MessageBoxCatcher boxes;
    window.statusBar()->clearMessage();
    window.onFitPrimitive();
    qunsetenv("HALVORAN_AUTOMATION");
    QVERIFY(boxes.titles.isEmpty());
    QVERIFY(window.statusBar()->currentMessage().startsWith(QStringLiteral("Primitive fit: ")));
}

QTEST_MAIN(TestMainWindowAnalysis)
#include "test_mainwindow_analysis.moc"
