#pragma once
// Two-key or three-key 3DES in ECB mode through the Windows crypto API, as
// a card answers an unblock challenge and a help desk computes the answer.
#include "WipingAllocator.h"

// Encrypts `data` (a whole number of 8-byte blocks) under a 24-byte key.
// False, and no output, when the key or the data are unfit or the crypto
// API refuses.
bool TripleDesEncryptEcb(const WipingBytes& key, const WipingBytes& data, WipingBytes& out);
