#pragma once
// The card behind the unlock code display: a get callback that hands out a
// fixed code (or throws through `fail`), and a remove callback that counts.
#include "SecStr.h"

#include <functional>

struct FakeCard {
    const wchar_t* code;
    int status;
    std::function<void()> fail; // when set, the get callback throws through it
    int removed = 0;
    // The callback's own type: a C++ caller needs no cast.
    static int Get(void* self, CSecStr* out)
    {
        auto* card = static_cast<FakeCard*>(self);
        if (card->fail)
            card->fail();
        *out = card->code;
        return card->status;
    }
    static int Remove(void* self)
    {
        ++static_cast<FakeCard*>(self)->removed;
        return 0;
    }
};
