#include "ControllerSweep.h"

#include "mwctl_control.h"

#include <vector>

int LayerCodeOf(int id)
{
    static const int kCodes[] = {13, 21, 4, 4, 1, 4, 4, 22, 5, 4, 5, 4, 9, 14, 4,
                                 2,  3,  8, 7, 4, 9, 23, 4, 3, 3, 3, 3, 3, 6};
    return id >= 3000 && id <= 3028 ? kCodes[id - 3000] : 3;
}

int SweepFailureId(unsigned nth)
{
    return 3000 + static_cast<int>((nth * 7) % 29);
}

size_t SweepControllerFailures(const std::function<int()>& operation,
                               const std::function<void(const FailedCall&, const SweepOutcome&)>& check, int* clean)
{
    mwctlFailCall(0, 0);
    // A first run loads and initializes what is loaded once per process, so
    // that the run recorded makes the calls every later run makes.
    operation();
    mwctlClearCalls();
    const int result = operation();
    if (clean)
        *clean = result;
    std::vector<std::wstring> names;
    wchar_t name[128];
    for (size_t i = 0; mwctlCallName(i, name, 128); ++i)
        names.emplace_back(name);
    for (unsigned nth = 1; nth <= names.size(); ++nth) {
        const FailedCall failed{nth, names[nth - 1], SweepFailureId(nth)};
        const size_t transactionsBefore = mwctlOpenTransactions();
        mwctlFailCall(nth, failed.id);
        SweepOutcome outcome;
        outcome.result = operation();
        mwctlFailCall(0, 0);
        outcome.contextsOpen = mwctlOpenContexts();
        outcome.transactionsLeft = mwctlOpenTransactions() - transactionsBefore;
        check(failed, outcome);
    }
    return names.size();
}
