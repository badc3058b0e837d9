#pragma once
// The card layer's code tables: which string of "resources\vkCobAPIrc.dll"
// names a code. The FASC-N tables (agencies, states, countries) and the
// demographic tables D1 to D16 are made at build time from the lists in
// data/codetables/, together with the strings themselves. Plain C++: no
// window code, so that it also builds natively for the sanitizers.
#include <string_view>

enum class FascnTable { Agency, State, Country };

// The string number of `key` in a FASC-N table; 0 when the table lacks it.
unsigned FascnCodeString(FascnTable table, std::wstring_view key);

// The string number of `key` in demographic table `table` ("D1" to "D16");
// `group` chooses the group of the two-level table D12 and is empty for
// the others. 0 when the table lacks the key. Keys match exactly, case and
// all.
unsigned DemographicCodeString(std::string_view table, std::wstring_view group, std::wstring_view key);
