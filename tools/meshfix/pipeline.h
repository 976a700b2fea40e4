#pragma once

#include "model/mesh/meshtypes.h"
#include "tools/meshfix/steps.h"

#include <functional>
#include <string>
#include <vector>

// The repair program's seven steps in order, each within a time budget and
// each on its own copy of the mesh: a step that fails, runs out of memory,
// overruns its budget or would lose much of the surface leaves the previous
// mesh in place, and the report says so.
namespace repairprogram {

struct Budget {
    // Seconds for all steps together. The application's runner gives the
    // whole program 60 s, reading and writing included.
    double totalSeconds = 50.0;
    // One step may use this much plus the per-million-faces share, within
    // what is left of the total. A clean 2 M-triangle scan needs about 5 s
    // for its slowest step (the self-intersection search).
    double stepSeconds = 6.0;
    double stepSecondsPerMillionFaces = 6.0;
};

struct Reporter {
    std::function<void(int percent)> progress; // 0..100 over the whole run
    std::function<void(const std::string& line)> note;
    std::function<void(const char* step, double seconds)> timing; // each successful step
};

// Replaces the soup by the repaired mesh. False, arrays untouched, when no
// mesh can be built from it at all (error says why).
bool repairSoup(std::vector<Vec3f>& vertices, std::vector<Triangle>& faces, const Budget& budget,
                const StepSettings& settings, const Reporter& reporter, std::string& error);

// A step overran its budget and still runs on its abandoned copy: the
// process must end without waiting for it.
bool workAbandoned();

} // namespace repairprogram
