#pragma once

#include <algorithm>
#include <atomic>
#include <cstddef>
#include <functional>

// Progress of one long operation and its cancel request, shared between the
// thread doing the work and whoever watches it (a progress dialog, the
// command line). Both sides may poll and set it from any thread.
//
// Operations take a `Progress*` that may be null, report through setPercent
// or step, and check canceled() inside their hot loop. Each documents what
// it returns when cancelled; none leaves its input half-changed.
class Progress {
public:
    Progress() = default;
    Progress(const Progress&) = delete;
    Progress& operator=(const Progress&) = delete;

    // 0..100; values outside are clamped.
    void setPercent(int percent) { percent_.store(std::clamp(percent, 0, 100), std::memory_order_relaxed); }
    int percent() const { return percent_.load(std::memory_order_relaxed); }

    void cancel() { canceled_.store(true, std::memory_order_relaxed); }
    bool canceled() const { return canceled_.load(std::memory_order_relaxed); }

private:
    std::atomic<int> percent_{0};
    std::atomic<bool> canceled_{false};
};

// Maps the 0..100 of one stage onto [first, last] of the whole operation, so
// a pipeline can hand each step the same Progress without the steps knowing
// where they sit. A null Progress makes every call a no-op that never cancels.
class ProgressStage {
public:
    ProgressStage(Progress* progress, int first, int last) : progress_(progress), first_(first), last_(last) {}

    bool canceled() const { return progress_ && progress_->canceled(); }

    // done of total within this stage; false once cancel was requested.
    bool step(std::size_t done, std::size_t total) const
    {
        if (!progress_)
            return true;
        if (total > 0) {
            const double fraction = std::min(1.0, double(done) / double(total));
            progress_->setPercent(first_ + int(fraction * (last_ - first_)));
        }
        return !progress_->canceled();
    }

    void finish() const
    {
        if (progress_)
            progress_->setPercent(last_);
    }

    // The part [first, last] (0..100) of this stage, for a step that has
    // steps of its own.
    ProgressStage sub(int first, int last) const
    {
        const auto at = [this](int percent) { return first_ + (last_ - first_) * percent / 100; };
        return ProgressStage(progress_, at(first), at(last));
    }

    Progress* progress() const { return progress_; }

private:
    Progress* progress_;
    int first_;
    int last_;
};

inline bool isCanceled(const Progress* progress) { return progress && progress->canceled(); }

// How often hot loops poll: every this many items (faces, points, edges).
// Polling an atomic costs little, but keeping it out of the innermost step
// keeps the loops vectorisable; 65,536 faces take well under a millisecond.
constexpr std::size_t kProgressPollInterval = 1u << 16;

// Same-thread progress for work that runs on the interface thread (the
// exporters): called with the number of items done; returning false cancels.
using ItemProgress = std::function<bool(int item)>;
