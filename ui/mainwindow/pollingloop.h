#pragma once

#include "model/common/progress.h"

#include <QCoreApplication>
#include <QException>
#include <QPointer>
#include <QProgressDialog>
#include <QThread>
#include <QThreadPool>
#include <QtConcurrent/QtConcurrentRun>

#include <exception>
#include <functional>
#include <type_traits>
#include <utility>

inline constexpr unsigned long kPollingIntervalMs = 30;

// Runs task on the global thread pool and keeps the interface thread alive
// until it ends: events are processed and the thread sleeps 30 ms between
// polls. With a progress, the dialog (when given, range 0..100) shows its
// percent, and the dialog's Cancel is passed on to it; the task, which
// polls it, then returns early and says so through progress->canceled().
// Either way the loop returns only once the task has ended, so its result
// is complete and nothing runs on behind the caller's back. onPoll runs once
// per poll. An exception thrown by the task is rethrown here.
template <typename Task>
auto runPollingLoop(Task&& task, QProgressDialog* dialog = nullptr, Progress* progress = nullptr,
                    const std::function<void()>& onPoll = {})
{
    using Result = std::invoke_result_t<std::decay_t<Task>>;
    const QPointer<QProgressDialog> watched(dialog);
    auto future = QtConcurrent::run(QThreadPool::globalInstance(), std::forward<Task>(task));
    while (!future.isFinished()) {
        QCoreApplication::processEvents(QEventLoop::AllEvents);
        if (onPoll)
            onPoll();
        if (watched && progress) {
            if (watched->wasCanceled())
                progress->cancel();
            else if (watched->maximum() > 0)
                watched->setValue(progress->percent());
        }
        QThread::msleep(kPollingIntervalMs);
    }
    try {
        future.waitForFinished();
        if constexpr (!std::is_void_v<Result>)
            return future.takeResult();
    } catch (const QUnhandledException& wrapped) {
        // The pool wraps foreign exceptions; hand the caller the original.
        if (wrapped.exception())
            std::rethrow_exception(wrapped.exception());
        throw;
    }
}
