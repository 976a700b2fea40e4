#include "tools/meshfix/pipeline.h"

#include "tools/meshfix/soup.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <new>
#include <sstream>
#include <thread>

namespace repairprogram {

namespace {

using Clock = std::chrono::steady_clock;

std::atomic<bool> abandoned{false};

using StepFunction = std::function<StepResult(SurfaceMesh&, const StepContext&)>;

// One step on a worker thread, so that an overrun can be walked away from.
struct StepRun {
    std::mutex mutex;
    std::condition_variable finished;
    bool done = false;
    StepResult result;
    SurfaceMesh mesh;
    std::atomic<bool> stop{false};
    std::atomic<int> permille{0};
};

struct StepSpec {
    const char* name;
    int weight;      // share of the progress bar
    bool mayRemove;  // can take faces away: its result is checked for lost surface
    StepFunction run;
};

class Runner {
public:
    Runner(const Budget& budget, const StepSettings& settings, const Reporter& reporter)
        : budget_(budget), settings_(settings), reporter_(reporter), start_(Clock::now())
    {
    }

    void progress(int percent)
    {
        percent = std::clamp(percent, 0, 100);
        if (percent != lastPercent_ && reporter_.progress)
            reporter_.progress(percent);
        lastPercent_ = percent;
    }

    void note(const std::string& line)
    {
        if (reporter_.note)
            reporter_.note(line);
    }

    // Runs one step; the mesh changes only when the step succeeded.
    void run(int number, int total, const StepSpec& step, int firstPercent, int lastPercent, SurfaceMesh& mesh,
             const std::string& prefix)
    {
        std::ostringstream line;
        line << "step " << number << "/" << total << " " << step.name << ": " << prefix;
        const double seconds = secondsFor(mesh);
        if (seconds <= 0.0) {
            line << "skipped (the time budget is spent); kept the previous mesh";
            note(line.str());
            return;
        }
        const auto began = Clock::now();
        auto state = std::make_shared<StepRun>();
        try {
            state->mesh = mesh;
        } catch (const std::bad_alloc&) {
            line << "skipped (no memory for a working copy); kept the previous mesh";
            note(line.str());
            return;
        }
        StepFunction function = step.run;
        std::thread([state, function]() {
            StepContext context;
            context.stop = [state]() { return state->stop.load(); };
            context.progress = [state](double f) { state->permille = int(std::clamp(f, 0.0, 1.0) * 1000.0); };
            StepResult result;
            try {
                result = function(state->mesh, context);
            } catch (const std::bad_alloc&) {
                result = {false, "ran out of memory"};
            } catch (const std::exception& e) {
                result = {false, std::string("failed: ") + e.what()};
            } catch (...) {
                result = {false, "failed"};
            }
            std::lock_guard<std::mutex> lock(state->mutex);
            state->result = std::move(result);
            state->done = true;
            state->finished.notify_all();
        }).detach();

        const auto deadline = Clock::now() + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(seconds));
        std::unique_lock<std::mutex> lock(state->mutex);
        while (!state->done && Clock::now() < deadline) {
            state->finished.wait_for(lock, std::chrono::milliseconds(100));
            progress(firstPercent + (lastPercent - firstPercent) * state->permille.load() / 1000);
        }
        if (!state->done) {
            // Steps that poll stop wind down within moments; the others are
            // left to run on their copy until the process ends.
            state->stop = true;
            state->finished.wait_for(lock, std::chrono::seconds(1), [&state]() { return state->done; });
        }
        if (!state->done) {
            abandoned = true;
            line << "failed (over its time budget of " << int(seconds + 0.5) << " s); kept the previous mesh";
            note(line.str());
            return;
        }
        StepResult result = std::move(state->result);
        if (result.ok && state->mesh.number_of_faces() == 0)
            result = {false, "refused: it would leave no faces"};
        if (result.ok && state->stop)
            result.report += " (stopped at its time budget)";
        if (result.ok && step.mayRemove) {
            const double before = surfaceArea(mesh);
            const double after = surfaceArea(state->mesh);
            if (after < settings_.minKeptAreaFraction * before) {
                result.ok = false;
                std::ostringstream why;
                why << "refused: it would keep " << int(100.0 * after / std::max(before, 1e-300) + 0.5)
                    << " % of the surface (" << result.report << ")";
                result.report = why.str();
            }
        }
        if (!result.ok) {
            line << result.report << "; kept the previous mesh";
            note(line.str());
            return;
        }
        mesh = std::move(state->mesh);
        line << result.report;
        note(line.str());
        const double took = std::chrono::duration<double>(Clock::now() - began).count();
        if (reporter_.timing)
            reporter_.timing(step.name, took);
        progress(lastPercent);
    }

private:
    double secondsFor(const SurfaceMesh& mesh) const
    {
        const double used = std::chrono::duration<double>(Clock::now() - start_).count();
        const double left = budget_.totalSeconds - used;
        const double share =
            budget_.stepSeconds + budget_.stepSecondsPerMillionFaces * double(mesh.number_of_faces()) / 1e6;
        return std::min(left, share);
    }

    const Budget& budget_;
    const StepSettings& settings_;
    const Reporter& reporter_;
    Clock::time_point start_;
    int lastPercent_ = -1;
};

template <class... Parts>
std::string text(const Parts&... parts)
{
    std::ostringstream out;
    (out << ... << parts);
    return out.str();
}

} // namespace

bool workAbandoned()
{
    return abandoned.load();
}

bool repairSoup(std::vector<Vec3f>& vertices, std::vector<Triangle>& faces, const Budget& budget,
                const StepSettings& settings, const Reporter& reporter, std::string& error)
{
    Runner runner(budget, settings, reporter);
    runner.progress(5);
    const auto began = Clock::now();
    std::vector<Triangle> soup = faces;
    const SoupCleanup cleanup = cleanSoup(vertices, soup);
    if (soup.empty()) {
        error = "no usable triangles";
        return false;
    }
    runner.progress(8);
    SurfaceMesh mesh;
    std::size_t splitBySoup = 0;
    if (!buildMesh(vertices, soup, mesh, splitBySoup)) {
        error = "no usable triangles";
        return false;
    }
    soup = {};
    runner.progress(15);
    if (reporter.timing)
        reporter.timing("build mesh", std::chrono::duration<double>(Clock::now() - began).count());

    const std::vector<StepSpec> steps{
        {"weld and stitch", 2, false, stitchBorders},
        {"degenerate and duplicate faces", 3, true, removeDegenerateFaces},
        {"non-manifold vertices", 2, false, splitNonManifoldVertices},
        {"small components", 5, true,
         [&settings](SurfaceMesh& m, const StepContext& c) { return dropSmallComponents(m, c, settings); }},
        {"self-intersections", 40, true, removeSelfIntersections},
        {"holes", 30, false, [&settings](SurfaceMesh& m, const StepContext& c) { return fillHoles(m, c, settings); }},
        {"orientation", 3, false, orientOutward},
    };
    // What the soup clean-up and the mesh building did belongs to the
    // steps that name it.
    const std::string prefixes[] = {
        "",
        text(cleanup.duplicates, " duplicate and ", cleanup.invalid, " unusable faces dropped; "),
        splitBySoup ? text(splitBySoup, " vertices split where surfaces meet; ") : std::string(),
        "", "", "", ""};
    int totalWeight = 0;
    for (const StepSpec& step : steps)
        totalWeight += step.weight;
    int done = 0;
    for (std::size_t i = 0; i < steps.size(); ++i) {
        const int first = 15 + 80 * done / totalWeight;
        done += steps[i].weight;
        const int last = 15 + 80 * done / totalWeight;
        runner.run(int(i + 1), int(steps.size()), steps[i], first, last, mesh, prefixes[i]);
    }
    const auto converting = Clock::now();
    meshToArrays(mesh, vertices, faces);
    runner.progress(95);
    if (reporter.timing)
        reporter.timing("to arrays", std::chrono::duration<double>(Clock::now() - converting).count());
    return true;
}

} // namespace repairprogram
