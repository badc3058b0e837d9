#pragma once
// Fault sweeps over the simulated controller: an operation is run once to
// learn the controller calls it makes, then once per call with that call
// failing, and each run's result and leftovers are handed to a check.
#include <functional>
#include <string>
#include <utility>
#include <vector>

struct FailedCall {
    unsigned nth = 0;        // 1 for the operation's first controller call
    std::wstring name;       // the call that failed ("Context::BeginTransaction"...)
    unsigned occurrence = 0; // 1 for the first call of that name, 2 for the second...
    int id = 0;              // the failure identifier it threw
    int kind = 0;            // how: the controller's CException, out of memory, or a foreign type
};

struct SweepOutcome {
    int result = 0;              // what the operation returned
    size_t contextsOpen = 0;     // contexts open after the run
    size_t transactionsLeft = 0; // transactions this run left open
};

// The layer result code a failure identifier maps to, as the layer's
// failure table gives it (3000 to 3028; 3 for any other).
int LayerCodeOf(int id);

// Each call fails in each way a controller can fail (mwctlFailCallAs):
// with its own failure, out of memory, and with an exception of a type the
// layer cannot know; no exception may reach the caller. Returns the number
// of runs with a failing call; `clean` receives the result of the run
// without one.
size_t SweepControllerFailures(const std::function<int()>& operation,
                               const std::function<void(const FailedCall&, const SweepOutcome&)>& check,
                               int* clean = nullptr);

// What an operation answers when a call fails: per call name ("Name" for
// every call of that name, "Name#2" for the second only) the result, or
// kSweepMapped for the failure map's code of the failure thrown (3, the
// code of an unknown failure, when it is not the controller's own). A call not
// named leaves the result of the run without a failure.
using SweepExpectations = std::vector<std::pair<std::wstring, int>>;
inline constexpr int kSweepMapped = -1000;

// A pointer or an answer as a layer result, for sweeps and tables: 0 when
// there or true, 22 (not found) when not.
inline int Found(bool there)
{
    return there ? 0 : 22;
}

// Sweeps `operation` and checks every run against `failing`: its result, no
// context left open, and a transaction left open only when ending it was
// the call that failed. `clean` is the result expected without a failure.
// Returns the number of runs with a failing call.
size_t SweepAndExpect(const std::string& name, const std::function<int()>& operation,
                      const SweepExpectations& failing, int clean);

// The names of the controller calls made since they were last cleared
// (as many as the controller keeps), oldest first.
std::vector<std::wstring> ControllerCalls();
// The number (1 for the first) of the `occurrence`th of those calls named
// `name`; 0 when there is none.
unsigned ControllerCallNumber(const std::wstring& name, unsigned occurrence = 1);
