#pragma once
// Reads the code lists of data/codetables/ (UTF-8, a header row, RFC 4180
// quoting) the way a person checking the tables would, independently of the
// build's generator, and picks the rows worth checking. Plain C++.
#include <fstream>
#include <iterator>
#include <map>
#include <string>
#include <vector>

using CodeListRow = std::map<std::string, std::string>;

// The rows of `path`, each by column name; empty when it cannot be read.
inline std::vector<CodeListRow> ReadCodeList(const std::string& path)
{
    std::vector<CodeListRow> rows;
    std::ifstream file(path, std::ios::binary);
    const std::string text{std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
    std::vector<std::vector<std::string>> lines(1, std::vector<std::string>(1));
    bool quoted = false;
    for (size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (quoted && c == '"' && i + 1 < text.size() && text[i + 1] == '"')
            lines.back().back() += text[++i];
        else if (c == '"')
            quoted = !quoted;
        else if (!quoted && c == ',')
            lines.back().emplace_back();
        else if (!quoted && c == '\n')
            lines.emplace_back(1);
        else if (c != '\r')
            lines.back().back() += c;
    }
    for (size_t i = 1; i < lines.size(); ++i) {
        if (lines[i].size() != lines[0].size())
            continue;
        CodeListRow row;
        for (size_t column = 0; column < lines[0].size(); ++column)
            row[lines[0][column]] = lines[i][column];
        rows.push_back(row);
    }
    return rows;
}

// The first and the last row, the first whose name holds a comma (quoted in
// the file) and the first whose name is not plain ASCII, with each one's
// position in the list.
inline std::vector<std::pair<size_t, CodeListRow>> SampleRows(const std::vector<CodeListRow>& rows)
{
    std::vector<std::pair<size_t, CodeListRow>> sample;
    if (rows.empty())
        return sample;
    sample.emplace_back(0, rows.front());
    sample.emplace_back(rows.size() - 1, rows.back());
    auto firstWhere = [&](auto wanted) {
        for (size_t i = 0; i < rows.size(); ++i)
            if (wanted(rows[i].at("name"))) {
                sample.emplace_back(i, rows[i]);
                return;
            }
    };
    firstWhere([](const std::string& name) { return name.find(',') != std::string::npos; });
    firstWhere([](const std::string& name) {
        for (char c : name)
            if (static_cast<unsigned char>(c) >= 0x80)
                return true;
        return false;
    });
    return sample;
}

#ifdef VK_CODE_LISTS
// The sample of data/codetables/`file`; with `onlyIn239`, of the rows marked
// `in_239` only (the codes of the list as the FASC-N tables took it).
inline std::vector<std::pair<size_t, CodeListRow>> SampleOfList(const std::string& file, bool onlyIn239)
{
    std::vector<CodeListRow> rows = ReadCodeList(std::string(VK_CODE_LISTS) + "/" + file);
    if (onlyIn239)
        std::erase_if(rows, [](const CodeListRow& row) { return row.at("in_239") != "1"; });
    return SampleRows(rows);
}
#endif
