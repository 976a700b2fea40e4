#include "model/align/alignmenthistory.h"

void AlignmentHistory::record(const MeshModel& model, bool withFaces)
{
    AlignmentSnapshot entry;
    entry.vertices = model.vertices;
    if (withFaces)
        entry.faces = model.faces;
    undo_.push_back(std::move(entry));
    while (undo_.size() > kMaxUndoEntries)
        undo_.pop_front();
    redo_.clear();
}

bool AlignmentHistory::step(MeshModel& model, std::deque<AlignmentSnapshot>& from, std::deque<AlignmentSnapshot>& to)
{
    if (from.empty() || !model.hasMesh())
        return false;
    AlignmentSnapshot& top = from.back();
    // The current state goes the other way first; it carries faces exactly
    // when the entry being restored does, so the pair stays symmetric.
    AlignmentSnapshot current;
    current.vertices = model.vertices;
    if (top.carriesFaces())
        current.faces = model.faces;
    to.push_back(std::move(current));

    model.vertices = top.vertices;
    if (top.carriesFaces())
        model.faces = top.faces;
    from.pop_back();
    model.updateCaches();
    return true;
}

bool AlignmentHistory::undo(MeshModel& model)
{
    return step(model, undo_, redo_);
}

bool AlignmentHistory::redo(MeshModel& model)
{
    return step(model, redo_, undo_);
}

void AlignmentHistory::clear()
{
    undo_.clear();
    redo_.clear();
}
