#pragma once

#include "model/common/progress.h"

#include <QFutureWatcher>
#include <QObject>
#include <QThreadPool>
#include <QtConcurrent/QtConcurrentRun>

#include <functional>
#include <memory>
#include <optional>
#include <utility>

// Runs the newest request of one kind of background work on the global
// thread pool, and hands only a current result back to the interface thread.
//
// A request made while another runs cancels that run (through its Progress,
// which long core operations poll) and waits as the single pending request;
// newer requests replace it. When the cancelled run ends, its result is
// dropped and the pending request starts. A burst of requests therefore costs
// at most one run that is thrown away and one follow-up that counts.
//
// Create and use it on the interface thread only.
template <class Result>
class LatestJob {
public:
    using Work = std::function<Result(Progress&)>;
    using Done = std::function<void(Result)>;

    // done receives each current result; idle (optional) runs when a run ends
    // with nothing to deliver and nothing pending (cancelled or superseded).
    LatestJob(QObject* context, Done done, std::function<void()> idle = {})
        : watcher_(new QFutureWatcher<Result>(context)), done_(std::move(done)), idle_(std::move(idle))
    {
        QObject::connect(watcher_, &QFutureWatcherBase::finished, context, [this]() { finished(); });
    }
    LatestJob(const LatestJob&) = delete;
    LatestJob& operator=(const LatestJob&) = delete;
    ~LatestJob() { detach(); }

    // Starts work now, or after the running one has stopped.
    void submit(Work work)
    {
        if (watcher_->isRunning()) {
            current_->cancel();
            pending_ = std::move(work);
            return;
        }
        launch(std::move(work));
    }

    // Cancels the running work and forgets the pending request.
    void cancel()
    {
        pending_.reset();
        if (current_)
            current_->cancel();
    }

    // The window is going away: no callback may run after this.
    void detach()
    {
        cancel();
        if (watcher_)
            watcher_->disconnect();
    }

    bool isRunning() const { return watcher_->isRunning(); }
    bool isBusy() const { return watcher_->isRunning() || pending_.has_value(); }
    // Runs started since construction.
    int started() const { return started_; }
    // Percent of the running work (0 when idle).
    int percent() const { return current_ && watcher_->isRunning() ? current_->percent() : 0; }

private:
    void launch(Work work)
    {
        auto progress = std::make_shared<Progress>();
        current_ = progress;
        ++started_;
        watcher_->setFuture(QtConcurrent::run(QThreadPool::globalInstance(),
                                              [progress, work = std::move(work)]() { return work(*progress); }));
    }

    void finished()
    {
        const bool current = current_ && !current_->canceled();
        const QFuture<Result> future = watcher_->future();
        if (pending_) {
            Work next = std::move(*pending_);
            pending_.reset();
            launch(std::move(next));
            return;
        }
        if (current && future.resultCount() > 0) {
            done_(future.result());
            return;
        }
        if (idle_)
            idle_();
    }

    QFutureWatcher<Result>* watcher_;
    Done done_;
    std::function<void()> idle_;
    std::shared_ptr<Progress> current_;
    std::optional<Work> pending_;
    int started_ = 0;
};
