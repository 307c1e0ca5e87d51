#pragma once
// Undo and redo of the whole session. Every command (editor/Commands.h) says what it is about to
// change (its Undoable); the executor asks the history to keep that before the command applies, and
// the kept states are what Edit > Undo and Redo put back. There is no other path: what no command
// changes is not in the history.
//
// A step is what one gesture did: the commands a drag or a stroke runs frame by frame (and those a
// command runs from inside its own apply) go into the step that is open, until the gesture ends
// (Seal, once no button is held and no widget is active). Within a step each part of the document is
// kept once, by the first command that changes it, so the step puts back the state before the whole
// gesture; a stroke's change grows with each dab (Undoable::extend) to keep the tiles it reaches.
//
// Memory: the steps hold only what changed (a stroke's touched tiles, the arrays an apply replaced, a
// list of pointers); their total is kept under a limit by letting the oldest steps go.
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <vector>

// What one command changed, able to put the document back and forth. Most changes exchange a kept
// state with the document's: once the command has applied, the kept state is the one before it; undo
// exchanges them (the change then keeps the state after it) and redo exchanges them again.
class Change
{
  public:
    virtual ~Change() = default;
    virtual void Swap() = 0;
    // Bytes it holds beside the document.
    virtual size_t Bytes() const = 0;
    // The gesture that made it has ended (a stroke's last dab): what it keeps may shrink, and what the
    // gesture left to its end (a terrain's height range) is settled.
    virtual void Finish() {}
};

// What a command is about to change: the part of the document (key) and how to keep it.
struct Undoable
{
    // The part: an object and which of its parts ("layers", "water map"). Commands of one step with the
    // same key share the change the first of them kept.
    const void* object = nullptr;
    const char* part = "";
    // Keeps the state before the command applies (null: nothing to keep).
    std::function<std::unique_ptr<Change>()> keep;
    // For a later command of the same step with the same key: grows the kept change (a stroke's tiles).
    std::function<void(Change&)> extend;
};

class History
{
  public:
    static constexpr size_t kDefaultLimit = size_t(1) << 30;
    size_t limitBytes = kDefaultLimit;

    // A command about to apply: opens a step named after it unless one is open (revision is the
    // session's before it), and keeps what it is about to change.
    void Record(const char* name, const std::vector<Undoable>& undo, uint64_t revision,
                bool namesStep = false);
    // The command and those it ran have applied: the step stands for this revision of the session.
    void Applied(uint64_t revision);
    // The gesture has ended: the next command opens a new step.
    void Seal();
    bool Open() const { return open; }

    bool CanUndo() const { return done > 0; }
    bool CanRedo() const { return done < steps.size(); }
    // The names of the steps undo and redo would take back and bring back ("Sculpt stroke").
    const std::string& UndoName() const;
    const std::string& RedoName() const;
    // Put a step back or bring it back; the session's revision becomes the one before or after it.
    // False (and nothing done) when there is none.
    bool Undo(uint64_t& revision);
    bool Redo(uint64_t& revision);

    void Clear();
    size_t Bytes() const;
    size_t StepCount() const { return steps.size(); }
    // Lets the oldest steps go until the total is within the limit (a new limit takes effect at once).
    void Trim();

  private:
    struct Kept
    {
        const void* object = nullptr;
        const char* part = "";
        std::unique_ptr<Change> change;
    };
    struct Step
    {
        std::string name;
        uint64_t before = 0; // the session's revision before the step and after it
        uint64_t after = 0;
        std::vector<Kept> changes; // in the order they were kept: undone from the last
        size_t bytes = 0;          // as last counted
    };
    // Counts a step's bytes again after it changed.
    void Count(Step& step);
    std::deque<Step> steps;
    size_t done = 0;   // steps [0, done) can be undone, [done, size) redone
    bool open = false; // the step at done - 1 still takes commands
    size_t total = 0;  // the steps' bytes
};
