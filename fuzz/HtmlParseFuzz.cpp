// Feeds the HTML-subset parser arbitrary markup: no input may read outside
// it, overflow, recurse without bound, or give a document whose items break
// the promises the layout relies on.
#include "popup/HtmlParse.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    // 16-bit characters, as the control receives them on Windows.
    std::wstring markup;
    for (size_t i = 0; i + 1 < size; i += 2)
        markup += static_cast<wchar_t>(data[i] | data[i + 1] << 8);
    const HtmlDocument doc = ParseHtml(markup);
    doc.PlainText();
    ParseHtmlColor(markup);

    // Table items come only between TableBegin and TableEnd, each table
    // closed, never nested; every link index names a link.
    bool inTable = false;
    for (const HtmlItem& item : doc.items) {
        switch (item.kind) {
        case HtmlItemKind::TableBegin:
            if (inTable)
                std::abort();
            inTable = true;
            break;
        case HtmlItemKind::TableEnd:
            if (!inTable)
                std::abort();
            inTable = false;
            break;
        case HtmlItemKind::RowBegin:
        case HtmlItemKind::CellBegin:
            if (!inTable)
                std::abort();
            break;
        default:
            break;
        }
        if (item.style.link >= static_cast<int>(doc.links.size()) || item.style.size < 1 || item.style.size > 7)
            std::abort();
        if (item.kind == HtmlItemKind::Text && item.text.empty())
            std::abort();
    }
    if (inTable)
        std::abort();
    return 0;
}
