#pragma once
// A card world: readers in order, each with its state and card, and the
// cards with their fields, as an INI file describes them (docs/cardworld.md).
#include "SMMWController.h"

#include <map>
#include <string>
#include <vector>

struct WorldCard {
    std::wstring name;
    // Every key of the card's section, as written (Identifier, Type, PIN...).
    std::map<std::wstring, std::wstring> fields;
    std::wstring Field(const std::wstring& key, const std::wstring& fallback = L"") const;
};

struct WorldReader {
    std::wstring name;
    int state = kReaderEmpty; // an SMMWReaderState
    std::wstring card;
};

struct CardWorld {
    // The folder of the world file, with a trailing backslash.
    std::wstring folder;
    std::vector<WorldReader> readers;
    std::map<std::wstring, WorldCard> cards;

    // Reads `path`; false when the file cannot be read.
    bool Load(const std::wstring& path);
    WorldReader* FindReader(const std::wstring& name);
    const WorldCard* CardIn(const WorldReader& reader) const;
};
