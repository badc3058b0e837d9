#pragma once
// The markup of the HTML-subset text control, parsed into a flat list of
// items that the control lays out: styled text runs, line and paragraph
// breaks, images, and the cells of simple tables. Plain C++ without window
// code, so that it also runs under the sanitizers and the fuzzer.
//
// Understood: <b> <strong> <i> <em> <u> <font face size color> <br> <p>
// <div> <a href> <img src="#id"> <table> <tr> <td> <th>, the entities
// &lt; &gt; &amp; &quot; &apos; &nbsp; and numeric ones. Other tags and
// comments are dropped with their brackets, their content stays; a "<" that
// opens no tag, and an entity we do not know, are shown as written.
#include <cstdint>
#include <string>
#include <vector>

// Colours are packed as red | green << 8 | blue << 16, as the system's
// colour references are.
inline constexpr uint32_t kHtmlNoColor = 0xFFFFFFFFu;

struct HtmlStyle {
    bool bold = false;
    bool italic = false;
    bool underline = false;
    std::wstring face;              // empty: the control's base font
    int size = 3;                   // 1 to 7, 3 being the base font's size
    uint32_t color = kHtmlNoColor;  // kHtmlNoColor: the control's text colour
    int link = -1;                  // index into HtmlDocument::links, -1 none

    bool operator==(const HtmlStyle&) const = default;
};

enum class HtmlItemKind {
    Text,       // `text` in `style`; whitespace already collapsed
    LineBreak,
    Paragraph,  // a break with a blank line, at most one in a row
    Image,      // bitmap `imageId` of the control's image module
    TableBegin, // the rows and cells that follow, up to TableEnd
    RowBegin,
    CellBegin,
    TableEnd,
};

struct HtmlItem {
    HtmlItemKind kind = HtmlItemKind::Text;
    std::wstring text;
    HtmlStyle style;
    unsigned imageId = 0;
};

struct HtmlDocument {
    std::vector<HtmlItem> items;
    std::vector<std::wstring> links; // the href of each link, in order
    // The text as a reader sees it, without markup: what accessibility
    // tools and tests read.
    std::wstring PlainText() const;
};

// Formatting tags nest at most this deep; deeper ones are dropped, so that
// no input makes the parser's stack or its searches grow without bound.
inline constexpr size_t kHtmlMaxNesting = 256;

HtmlDocument ParseHtml(const wchar_t* markup, size_t length);
inline HtmlDocument ParseHtml(const std::wstring& markup)
{
    return ParseHtml(markup.data(), markup.size());
}

// A colour attribute ("#RRGGBB", "#RGB" or one of the basic colour names)
// packed as above; kHtmlNoColor when it is none of these.
uint32_t ParseHtmlColor(const std::wstring& value);
