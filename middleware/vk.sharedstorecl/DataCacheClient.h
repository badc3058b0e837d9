#pragma once
// The middleware's shared data cache: small values addressed by a store, a
// compartment and a name, seen by every process of the logged-on user. The
// stand-in keeps each value in a file under the user's local application
// data folder ("Quellon\Velkor\DataCache"), or under the folder named by
// VELKOR_DATA_CACHE.
#include <cstdint>
#include <string>
#include <vector>

// Every process may read and write any value at any time: a writer waits
// for the other writers and the readers of the same value, a reader for its
// writer, so no write is lost and no read sees half a value.
class DataCacheClient {
public:
    // 0 when the value was read; a negative status otherwise (nothing stored
    // reads as not found, a damaged file as corrupt, and is logged).
    long GetData(const std::wstring& store, const std::wstring& compartment, const std::wstring& name,
                 std::vector<uint64_t>& values);
    // 0 when stored; a negative status, logged, when not. The file is
    // replaced in one step: a crash in the middle of a write leaves the
    // previous value, and the next writer removes what the crashed one left.
    long SetData(const std::wstring& store, const std::wstring& compartment, const std::wstring& name,
                 const std::vector<uint64_t>& values);
};

// Statuses.
inline constexpr long kDataCacheNotFound = -2;
inline constexpr long kDataCacheBadName = -3;
inline constexpr long kDataCacheIoError = -5;
inline constexpr long kDataCacheCorrupt = -6;
