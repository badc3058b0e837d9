#include "ControllerSweep.h"

#include "mwctl_control.h"

#include <gtest/gtest.h>

#include <map>
#include <vector>

int LayerCodeOf(int id)
{
    static const int kCodes[] = {13, 21, 4, 4, 1, 4, 4, 22, 5, 4, 5, 4, 9, 14, 4,
                                 2,  3,  8, 7, 4, 9, 23, 4, 3, 3, 3, 3, 3, 6};
    return id >= 3000 && id <= 3028 ? kCodes[id - 3000] : 3;
}

namespace {

// The identifier that call `nth` fails with: every identifier of the
// failure map in turn, so that each result code is met.
int SweepFailureId(unsigned nth)
{
    return 3000 + static_cast<int>((nth * 7) % 29);
}

} // namespace

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
    const std::vector<std::wstring> names = ControllerCalls();
    size_t runs = 0;
    for (int kind : {kMwctlCException, kMwctlOutOfMemory, kMwctlForeign}) {
        std::map<std::wstring, unsigned> seen;
        for (unsigned nth = 1; nth <= names.size(); ++nth) {
            const FailedCall failed{nth, names[nth - 1], ++seen[names[nth - 1]], SweepFailureId(nth), kind};
            const size_t transactionsBefore = mwctlOpenTransactions();
            mwctlFailCallAs(nth, failed.id, kind);
            SweepOutcome outcome;
            try {
                outcome.result = operation();
            } catch (...) {
                ADD_FAILURE() << "an exception reached the caller, call " << nth << " failing as kind " << kind;
            }
            mwctlFailCall(0, 0);
            outcome.contextsOpen = mwctlOpenContexts();
            outcome.transactionsLeft = mwctlOpenTransactions() - transactionsBefore;
            check(failed, outcome);
            ++runs;
        }
    }
    return runs;
}

size_t SweepAndExpect(const std::string& name, const std::function<int()>& operation,
                      const SweepExpectations& failing, int clean)
{
    int cleanResult = 0;
    const size_t runs = SweepControllerFailures(
        operation,
        [&](const FailedCall& call, const SweepOutcome& outcome) {
            int expected = clean;
            const std::wstring nthOfName = call.name + L"#" + std::to_wstring(call.occurrence);
            for (const auto& [named, result] : failing)
                if (named == call.name || named == nthOfName)
                    expected = result != kSweepMapped ? result
                               : call.kind == kMwctlCException ? LayerCodeOf(call.id)
                                                               : LayerCodeOf(0);
            const std::string where = name + ", call " + std::to_string(call.nth) + " " +
                                      std::string(nthOfName.begin(), nthOfName.end()) + " failing with " +
                                      std::to_string(call.id) + " as kind " + std::to_string(call.kind);
            EXPECT_EQ(expected, outcome.result) << where;
            EXPECT_EQ(0u, outcome.contextsOpen) << where;
            EXPECT_EQ(call.name == L"Context::EndTransaction" ? 1u : 0u, outcome.transactionsLeft) << where;
        },
        &cleanResult);
    EXPECT_EQ(clean, cleanResult) << name << " without a failure";
    return runs;
}

std::vector<std::wstring> ControllerCalls()
{
    std::vector<std::wstring> names;
    wchar_t name[128];
    for (size_t i = 0; mwctlCallName(i, name, 128); ++i)
        names.emplace_back(name);
    return names;
}

unsigned ControllerCallNumber(const std::wstring& name, unsigned occurrence)
{
    const std::vector<std::wstring> names = ControllerCalls();
    for (size_t i = 0; i < names.size(); ++i)
        if (names[i] == name && --occurrence == 0)
            return static_cast<unsigned>(i + 1);
    return 0;
}
