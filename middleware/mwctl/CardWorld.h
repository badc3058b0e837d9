#pragma once
// A card world: readers in order, each with its state and card, and the
// cards with their fields, as an INI file describes them (docs/cardworld.md).
// The loader reads the file itself rather than through the profile API, so
// that a world of any size loads whole and a fault can name its line.
#include "SMMWController.h"
#include "WipingAllocator.h"

#include <map>
#include <string>
#include <vector>

struct WorldCard {
    std::wstring name;
    // Every key of the card's section, as written (Identifier, Type, PIN...).
    std::map<std::wstring, std::wstring> fields;
    std::wstring Field(const std::wstring& key, const std::wstring& fallback = L"") const;
    // A count field already checked by the loader (at most kMaxWorldCount).
    int Count(const std::wstring& key, int fallback) const;
    // True when a CHUID.* field describes a CHUID.
    bool HasChuid() const;
    // The CHUID container those fields make; false, with the fault, when a
    // field is not what its element needs.
    bool ChuidBytes(WipingBytes& bytes, std::wstring& fault) const;
    // The simple-TLV container that the fields Demographic.N.<tag> make;
    // false, with the fault, for a tag that is not a number from 0 to 255 or
    // a value that does not fit.
    bool DemographicBytes(int n, WipingBytes& bytes, std::wstring& fault) const;
};

// Card data the controller decodes.
inline constexpr int kDataTypeChuid = 2;
inline constexpr int kDataTypeDemographic = 10;
inline constexpr int kPropertyLabel = 48;
inline constexpr int kPropertySignatureStatus = 113;

struct WorldReader {
    std::wstring name;
    int state = kReaderEmpty; // an SMMWReaderState
    std::wstring card;
};

// The most credentials of one kind a card may list.
inline constexpr int kMaxWorldCount = 64;

struct CardWorld {
    // The folder of the world file, with a trailing backslash.
    std::wstring folder;
    std::vector<WorldReader> readers;
    std::map<std::wstring, WorldCard> cards;

    // Reads `path`. False, with a log line naming the file (and the line
    // when there is one), and an empty world when the file cannot be read or
    // holds a fault: a section twice, an identifier that is not hexadecimal,
    // a count that is not a number from 0 to kMaxWorldCount, an unknown
    // reader state.
    bool Load(const std::wstring& path);
    WorldReader* FindReader(const std::wstring& name);
    const WorldCard* CardIn(const WorldReader& reader) const;
    // Wipes and forgets everything.
    void Clear();
};
