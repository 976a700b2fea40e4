#pragma once

#include "model/common/progress.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <thread>

// Runs operation(progress) and requests cancel from another thread after
// delayMs; the benchmark's manual time is what matters to a user: from the
// cancel request to the operation's return. Reported per iteration, so the
// benchmark must use UseManualTime().
template <class Operation>
void measureCancelLatency(benchmark::State& state, int delayMs, Operation&& operation)
{
    using Clock = std::chrono::steady_clock;
    for (auto _ : state) {
        Progress progress;
        Clock::time_point requested{};
        std::thread canceler([&]() {
            std::this_thread::sleep_for(std::chrono::milliseconds(delayMs));
            requested = Clock::now();
            progress.cancel();
        });
        operation(progress);
        const Clock::time_point returned = Clock::now();
        canceler.join();
        // An operation that finished before the cancel counts as zero.
        const double seconds = std::max(0.0, std::chrono::duration<double>(returned - requested).count());
        state.SetIterationTime(seconds);
    }
}
