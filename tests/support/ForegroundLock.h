#pragma once
// Windows' foreground lock, which Wine does not have: while it lives, the
// library and the windowing framework may bring a window to the front only
// when their process holds the foreground, when nothing does, or when the
// asking thread shares the input state of the foreground's thread. A
// refused SetForegroundWindow fails; a refused activation by ShowWindow,
// SetWindowPos or BringWindowToTop shows and places the window without
// activating it, as Windows leaves a background process's window behind the
// foreground one.
#include "ImportPatch.h"

#include <memory>
#include <vector>

class ForegroundLock {
public:
    ForegroundLock();
    ~ForegroundLock();
    ForegroundLock(const ForegroundLock&) = delete;
    ForegroundLock& operator=(const ForegroundLock&) = delete;

    // Whether every import it stands for was found.
    bool Applied() const { return m_bApplied; }

private:
    std::vector<std::unique_ptr<ImportPatch>> m_patches;
    bool m_bApplied = true;
};
