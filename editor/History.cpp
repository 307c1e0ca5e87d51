#include "editor/History.h"

#include <algorithm>

namespace
{
// What a step costs beside its changes: its name, revisions and bookkeeping.
constexpr size_t kStepBytes = 128;

const std::string kNoName;
} // namespace

void History::Count(Step& step)
{
    size_t bytes = kStepBytes + step.name.size();
    for (const Kept& kept : step.changes)
        bytes += kept.change->Bytes();
    total = total - step.bytes + bytes;
    step.bytes = bytes;
}

void History::Record(const char* name, const std::vector<Undoable>& undo, uint64_t revision, bool namesStep)
{
    if (!open)
    {
        // A new step: what was undone cannot come back after it.
        while (steps.size() > done)
        {
            total -= steps.back().bytes;
            steps.pop_back();
        }
        steps.push_back({name, revision, revision, {}, 0});
        done = steps.size();
        open = true;
    }
    Step& step = steps[done - 1];
    if (namesStep) step.name = name;
    for (const Undoable& part : undo)
    {
        const auto found = std::find_if(step.changes.begin(), step.changes.end(),
                                        [&](const Kept& kept)
                                        { return kept.object == part.object && kept.part == part.part; });
        if (found != step.changes.end())
        {
            if (part.extend) part.extend(*found->change);
            continue;
        }
        if (!part.keep) continue;
        std::unique_ptr<Change> change = part.keep();
        if (change) step.changes.push_back({part.object, part.part, std::move(change)});
    }
}

void History::Applied(uint64_t revision)
{
    if (!open || done == 0) return;
    steps[done - 1].after = revision;
    Count(steps[done - 1]);
    Trim();
}

void History::Seal()
{
    if (!open) return;
    open = false;
    if (done == 0) return;
    Step& step = steps[done - 1];
    for (Kept& kept : step.changes)
        kept.change->Finish();
    Count(step);
    Trim();
}

const std::string& History::UndoName() const
{
    return CanUndo() ? steps[done - 1].name : kNoName;
}

const std::string& History::RedoName() const
{
    return CanRedo() ? steps[done].name : kNoName;
}

bool History::Undo(uint64_t& revision)
{
    Seal();
    if (!CanUndo()) return false;
    Step& step = steps[--done];
    for (auto kept = step.changes.rbegin(); kept != step.changes.rend(); ++kept)
        kept->change->Swap();
    revision = step.before;
    Count(step);
    Trim();
    return true;
}

bool History::Redo(uint64_t& revision)
{
    Seal();
    if (!CanRedo()) return false;
    Step& step = steps[done++];
    for (Kept& kept : step.changes)
        kept.change->Swap();
    revision = step.after;
    Count(step);
    Trim();
    return true;
}

void History::Clear()
{
    steps.clear();
    done = 0;
    open = false;
    total = 0;
}

size_t History::Bytes() const
{
    return total;
}

void History::Trim()
{
    while (total > limitBytes && !steps.empty())
    {
        // The oldest step goes first; once none is left to undo, the redo farthest away.
        if (done > 0)
        {
            total -= steps.front().bytes;
            steps.pop_front();
            --done;
            if (done == 0) open = false; // a gesture that goes on starts a new step
        }
        else
        {
            total -= steps.back().bytes;
            steps.pop_back();
        }
    }
}
