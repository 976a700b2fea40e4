#pragma once

#include "model/mesh/meshmodel.h"

#include <cstddef>
#include <deque>

// One history entry. The arrays share storage with the model they were taken
// from until either side writes, so taking a snapshot costs nothing and the
// real copy happens once, when the command rewrites the model's array.
struct AlignmentSnapshot {
    SharedArray<Vec3f> vertices;
    SharedArray<Triangle> faces; // empty unless the command changed topology

    bool carriesFaces() const { return !faces.empty(); }
};

// Undo and redo stacks of whole-mesh states, newest at the back. Alignment
// commands store vertices only; repair and hole filling store the faces too.
class AlignmentHistory {
public:
    static constexpr std::size_t kMaxUndoEntries = 10;

    // Before a change: the model's current state goes on the undo stack (the
    // oldest entry falls off beyond the limit) and the redo stack is emptied.
    void record(const MeshModel& model, bool withFaces = false);

    // Restores the newest undo entry into the model (updateCaches included)
    // after moving the current state onto the redo stack. False, model
    // untouched, when there is nothing to undo or no mesh.
    bool undo(MeshModel& model);
    // The mirror image; entries only move between the stacks, so no limit.
    bool redo(MeshModel& model);

    void clear();

    bool canUndo() const { return !undo_.empty(); }
    bool canRedo() const { return !redo_.empty(); }
    std::size_t undoCount() const { return undo_.size(); }
    std::size_t redoCount() const { return redo_.size(); }
    const std::deque<AlignmentSnapshot>& undoEntries() const { return undo_; }
    const std::deque<AlignmentSnapshot>& redoEntries() const { return redo_; }

private:
    static bool step(MeshModel& model, std::deque<AlignmentSnapshot>& from, std::deque<AlignmentSnapshot>& to);

    std::deque<AlignmentSnapshot> undo_;
    std::deque<AlignmentSnapshot> redo_;
};
