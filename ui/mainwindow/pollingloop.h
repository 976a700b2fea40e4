#pragma once

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

// Runs task on the global thread pool and keeps the GUI thread alive until it
// ends: events are processed, the dialog's Cancel is checked and the thread
// sleeps 30 ms between polls. Cancel only ends the polling; the task is never
// interrupted, so on return it has finished and its result is complete.
// canceled (when given) tells whether the dialog was cancelled; onPoll runs
// once per poll (progress display). An exception thrown by the task is
// rethrown here.
template <typename Task>
auto runPollingLoop(Task&& task, QProgressDialog* progress = nullptr, bool* canceled = nullptr,
                    const std::function<void()>& onPoll = {})
{
    using Result = std::invoke_result_t<std::decay_t<Task>>;
    const QPointer<QProgressDialog> dialog(progress);
    auto future = QtConcurrent::run(QThreadPool::globalInstance(), std::forward<Task>(task));
    bool wasCanceled = false;
    while (!future.isFinished()) {
        QCoreApplication::processEvents(QEventLoop::AllEvents);
        if (onPoll)
            onPoll();
        if (dialog && dialog->wasCanceled()) {
            wasCanceled = true;
            break;
        }
        QThread::msleep(kPollingIntervalMs);
    }
    if (canceled)
        *canceled = wasCanceled;
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
