// The polling loop behind modal progress dialogs: results, live GUI events,
// Cancel, and exceptions from the task.
#include "ui/mainwindow/pollingloop.h"

#include <QProgressDialog>
#include <QTest>
#include <QTimer>

#include <atomic>
#include <stdexcept>
#include <vector>

class TestPollingLoop : public QObject {
    Q_OBJECT

private slots:
    void guiEventsRunWhileTaskWaitsAndItsResultComesBack()
    {
        // The task can only finish once a GUI-thread timer has fired, so a loop
        // that stopped processing events would never return.
        std::atomic<bool> released{false};
        QTimer::singleShot(50, [&released]() { released = true; });
        Progress progress;
        const std::vector<int> result = runPollingLoop(
            [&released]() {
                while (!released)
                    QThread::msleep(2);
                return std::vector<int>{42, 7};
            },
            nullptr, &progress);
        QCOMPARE(result, (std::vector<int>{42, 7}));
        QVERIFY(!progress.canceled());
    }

    void cancelReachesTaskAndLoopWaitsForIt()
    {
        QProgressDialog dialog(QStringLiteral("Working..."), QStringLiteral("Cancel"), 0, 100);
        dialog.setMinimumDuration(0);
        dialog.show();
        Progress progress;
        std::atomic<bool> finished{false};
        // The task reports progress until it sees the dialog's Cancel, then
        // needs a moment to wind down: the loop must wait for that too.
        QTimer::singleShot(60, &dialog, [&]() { dialog.cancel(); });
        const int result = runPollingLoop(
            [&]() {
                for (int i = 0; !progress.canceled(); i = (i + 1) % 100) {
                    progress.setPercent(i);
                    QThread::msleep(1);
                }
                QThread::msleep(20);
                finished = true;
                return 7;
            },
            &dialog, &progress);
        QVERIFY(progress.canceled());
        QVERIFY(finished);
        QCOMPARE(result, 7);
    }

    void voidTaskAndProgressCallback()
    {
        std::atomic<int> steps{0};
        std::atomic<bool> released{false};
        int polls = 0;
        runPollingLoop(
            [&]() {
                while (!released)
                    QThread::msleep(2);
                steps = 3;
            },
            nullptr, nullptr,
            [&]() {
                if (++polls == 3)
                    released = true;
            });
        QCOMPARE(steps.load(), 3);
        QVERIFY(polls >= 3);
    }

    void taskExceptionReachesCaller()
    {
        bool caught = false;
        try {
            runPollingLoop([]() -> int { throw std::runtime_error("task failed"); });
        } catch (const std::runtime_error& e) {
            caught = QString::fromLatin1(e.what()) == QStringLiteral("task failed");
        }
        QVERIFY(caught);
    }
};

QTEST_MAIN(TestPollingLoop)
#include "test_pollingloop.moc"
