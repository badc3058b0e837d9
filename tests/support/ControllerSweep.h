#pragma once
// Fault sweeps over the simulated controller: an operation is run once to
// learn the controller calls it makes, then once per call with that call
// failing, and each run's result and leftovers are handed to a check.
#include <functional>
#include <string>

struct FailedCall {
    unsigned nth = 0;  // 1 for the operation's first controller call
    std::wstring name; // the call that failed ("Context::BeginTransaction"...)
    int id = 0;        // the failure identifier it threw
};

struct SweepOutcome {
    int result = 0;              // what the operation returned
    size_t contextsOpen = 0;     // contexts open after the run
    size_t transactionsLeft = 0; // transactions this run left open
};

// The identifier that call `nth` fails with: every identifier of the
// failure map in turn, so that each result code is met.
int SweepFailureId(unsigned nth);

// The layer result code a failure identifier maps to, as the layer's
// failure table gives it (3000 to 3028; 3 for any other).
int LayerCodeOf(int id);

// Returns the number of runs with a failing call; `clean` receives the
// result of the run without one.
size_t SweepControllerFailures(const std::function<int()>& operation,
                               const std::function<void(const FailedCall&, const SweepOutcome&)>& check,
                               int* clean = nullptr);
