#include "popup/HtmlParse.h"

#include <algorithm>
#include <cwctype>

namespace {

constexpr wchar_t kNoBreakSpace = 0x00A0;
constexpr wchar_t kReplacement = 0xFFFD;
// Longer face names are cut: the system's font records hold no more.
constexpr size_t kMaxFaceLength = 31;

wchar_t Lower(wchar_t c)
{
    return (c >= L'A' && c <= L'Z') ? static_cast<wchar_t>(c - L'A' + L'a') : c;
}

bool IsAsciiAlpha(wchar_t c)
{
    return (c >= L'a' && c <= L'z') || (c >= L'A' && c <= L'Z');
}

bool IsAsciiDigit(wchar_t c)
{
    return c >= L'0' && c <= L'9';
}

bool IsSpace(wchar_t c)
{
    return c == L' ' || c == L'\t' || c == L'\n' || c == L'\r' || c == L'\f' || c == L'\v';
}

std::wstring Trim(const std::wstring& s)
{
    size_t first = 0;
    size_t last = s.size();
    while (first < last && IsSpace(s[first]))
        ++first;
    while (last > first && IsSpace(s[last - 1]))
        --last;
    return s.substr(first, last - first);
}

void AppendCodePoint(std::wstring& out, uint32_t cp)
{
    if (cp == 0 || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))
        cp = kReplacement;
    if constexpr (sizeof(wchar_t) == 2) {
        if (cp > 0xFFFF) {
            cp -= 0x10000;
            out += static_cast<wchar_t>(0xD800 + (cp >> 10));
            out += static_cast<wchar_t>(0xDC00 + (cp & 0x3FF));
            return;
        }
    }
    out += static_cast<wchar_t>(cp);
}

// Decodes the entity at text[i] (an "&") into `out`; returns how many
// characters it took, or 0 when it is not one we know.
size_t DecodeEntity(const wchar_t* text, size_t length, size_t i, std::wstring& out)
{
    // The longest we know is "&#x10FFFF;" with leading zeros cut at 8 digits.
    constexpr size_t kMaxEntity = 12;
    size_t end = i + 1;
    while (end < length && end - i <= kMaxEntity && text[end] != L';' && text[end] != L'&' && text[end] != L'<')
        ++end;
    if (end >= length || text[end] != L';')
        return 0;
    const std::wstring name(text + i + 1, end - i - 1);
    const size_t taken = end - i + 1;
    static const struct {
        const wchar_t* name;
        wchar_t value;
    } kNamed[] = {{L"lt", L'<'}, {L"gt", L'>'}, {L"amp", L'&'}, {L"quot", L'"'}, {L"apos", L'\''},
                  {L"nbsp", kNoBreakSpace}};
    for (const auto& entity : kNamed) {
        if (name == entity.name) {
            out += entity.value;
            return taken;
        }
    }
    if (name.size() < 2 || name[0] != L'#')
        return 0;
    const bool hex = name[1] == L'x' || name[1] == L'X';
    const size_t digits = hex ? 2 : 1;
    if (name.size() <= digits || name.size() - digits > 8)
        return 0;
    uint32_t cp = 0;
    for (size_t k = digits; k < name.size(); ++k) {
        const wchar_t c = name[k];
        uint32_t digit;
        if (IsAsciiDigit(c))
            digit = static_cast<uint32_t>(c - L'0');
        else if (hex && Lower(c) >= L'a' && Lower(c) <= L'f')
            digit = static_cast<uint32_t>(Lower(c) - L'a' + 10);
        else
            return 0;
        cp = cp * (hex ? 16u : 10u) + digit;
    }
    AppendCodePoint(out, cp);
    return taken;
}

std::wstring DecodeEntities(const std::wstring& value)
{
    std::wstring out;
    for (size_t i = 0; i < value.size(); ++i) {
        if (value[i] == L'&') {
            const size_t taken = DecodeEntity(value.data(), value.size(), i, out);
            if (taken) {
                i += taken - 1;
                continue;
            }
        }
        out += value[i];
    }
    return out;
}

struct Tag {
    std::wstring name; // lower case
    bool closing = false;
    std::vector<std::pair<std::wstring, std::wstring>> attributes; // names lower case, values decoded

    const std::wstring* Attribute(const wchar_t* attributeName) const
    {
        for (const auto& [key, value] : attributes) {
            if (key == attributeName)
                return &value;
        }
        return nullptr;
    }
};

// Splits the inside of a tag (between "<" and ">") into name and
// attributes. Values are quoted with either quote or not at all; a quote
// left open takes the rest of the tag.
Tag SplitTag(const wchar_t* s, size_t length)
{
    Tag tag;
    size_t i = 0;
    if (i < length && s[i] == L'/') {
        tag.closing = true;
        ++i;
    }
    while (i < length && (IsAsciiAlpha(s[i]) || IsAsciiDigit(s[i])))
        tag.name += Lower(s[i++]);
    while (i < length) {
        while (i < length && (IsSpace(s[i]) || s[i] == L'/'))
            ++i;
        std::wstring key;
        while (i < length && !IsSpace(s[i]) && s[i] != L'=' && s[i] != L'/')
            key += Lower(s[i++]);
        while (i < length && IsSpace(s[i]))
            ++i;
        std::wstring value;
        if (i < length && s[i] == L'=') {
            ++i;
            while (i < length && IsSpace(s[i]))
                ++i;
            if (i < length && (s[i] == L'"' || s[i] == L'\'')) {
                const wchar_t quote = s[i++];
                while (i < length && s[i] != quote)
                    value += s[i++];
                ++i;
            } else {
                while (i < length && !IsSpace(s[i]))
                    value += s[i++];
            }
        }
        if (!key.empty())
            tag.attributes.emplace_back(std::move(key), DecodeEntities(value));
    }
    return tag;
}

int ParseFontSize(const std::wstring& raw, int current)
{
    const std::wstring value = Trim(raw);
    if (value.empty())
        return current;
    size_t i = 0;
    int sign = 0;
    if (value[0] == L'+' || value[0] == L'-') {
        sign = value[0] == L'+' ? 1 : -1;
        i = 1;
    }
    if (i >= value.size() || value.size() - i > 2)
        return current;
    int n = 0;
    for (; i < value.size(); ++i) {
        if (!IsAsciiDigit(value[i]))
            return current;
        n = n * 10 + (value[i] - L'0');
    }
    const int size = sign == 0 ? n : 3 + sign * n;
    return std::clamp(size, 1, 7);
}

class Parser {
public:
    Parser(const wchar_t* text, size_t length) : m_text(text), m_length(length) {}

    HtmlDocument Run()
    {
        size_t i = 0;
        while (i < m_length) {
            const wchar_t c = m_text[i];
            if (c == L'<') {
                const size_t taken = TryTag(i);
                if (taken) {
                    i += taken;
                    continue;
                }
            } else if (c == L'&') {
                std::wstring decoded;
                const size_t taken = DecodeEntity(m_text, m_length, i, decoded);
                if (taken) {
                    for (wchar_t d : decoded)
                        AddChar(d);
                    i += taken;
                    continue;
                }
            } else if (c == L'\r') {
                // CR LF is one line break, as a lone CR or LF is.
                if (i + 1 < m_length && m_text[i + 1] == L'\n')
                    ++i;
                AddChar(L'\n');
                ++i;
                continue;
            }
            AddChar(c);
            ++i;
        }
        if (m_tableNesting > 0)
            EmitBlock(HtmlItemKind::TableEnd);
        Flush();
        return std::move(m_doc);
    }

private:
    struct Frame {
        std::wstring tag;
        HtmlStyle style;
    };

    const HtmlStyle& Style() const { return m_stack.empty() ? m_base : m_stack.back().style; }

    void AddChar(wchar_t c)
    {
        if (c == L'\n') {
            EmitBlock(HtmlItemKind::LineBreak);
            return;
        }
        if (IsSpace(c) || c == 0) {
            if (m_atLineStart || m_lastWasSpace)
                return;
            c = L' ';
            m_lastWasSpace = true;
        } else {
            m_lastWasSpace = false;
        }
        EnsureCell();
        if (!m_pending.empty() && !(m_pendingStyle == Style()))
            Flush();
        if (m_pending.empty())
            m_pendingStyle = Style();
        m_pending += c;
        m_atLineStart = false;
    }

    void Flush()
    {
        if (m_pending.empty())
            return;
        HtmlItem item;
        item.kind = HtmlItemKind::Text;
        item.text = std::move(m_pending);
        item.style = m_pendingStyle;
        m_doc.items.push_back(std::move(item));
        m_pending.clear();
    }

    void EmitBlock(HtmlItemKind kind)
    {
        Flush();
        if (kind == HtmlItemKind::Paragraph) {
            // No blank line at the top, at a cell's top, or twice in a row.
            if (m_doc.items.empty())
                return;
            const HtmlItemKind last = m_doc.items.back().kind;
            if (last == HtmlItemKind::Paragraph || last == HtmlItemKind::CellBegin || last == HtmlItemKind::RowBegin ||
                last == HtmlItemKind::TableBegin)
                return;
        }
        HtmlItem item;
        item.kind = kind;
        item.style = Style();
        m_doc.items.push_back(std::move(item));
        m_atLineStart = true;
        m_lastWasSpace = false;
    }

    // Content inside a table but before its first cell opens one, so that
    // the layout sees every table item inside a cell.
    void EnsureCell()
    {
        if (m_tableNesting != 1 || m_inCell)
            return;
        OpenCell();
    }

    // A cell opens a row first when none is open; styles opened in the
    // cell end with it.
    void OpenCell()
    {
        if (!m_inRow) {
            EmitBlock(HtmlItemKind::RowBegin);
            m_inRow = true;
        }
        EmitBlock(HtmlItemKind::CellBegin);
        m_inCell = true;
        m_cellFloor = m_stack.size();
    }

    void Push(const std::wstring& tag, const HtmlStyle& style)
    {
        // Deeper nesting is dropped: its closing tag then finds nothing or
        // an outer tag of the same name, which only ends a style early.
        if (m_stack.size() >= kHtmlMaxNesting)
            return;
        m_stack.push_back({tag, style});
    }

    void Pop(const std::wstring& tag)
    {
        const size_t floor = std::max(m_tableFloor, m_inCell ? m_cellFloor : 0);
        for (size_t k = m_stack.size(); k > floor; --k) {
            if (m_stack[k - 1].tag == tag) {
                m_stack.resize(k - 1);
                return;
            }
        }
    }

    // Handles the markup at m_text[i] (a "<"); returns how many characters
    // it took, or 0 when it is no markup and shows as text.
    size_t TryTag(size_t i)
    {
        if (i + 1 >= m_length)
            return 0;
        const wchar_t next = m_text[i + 1];
        if (next == L'!') {
            if (i + 3 < m_length && m_text[i + 2] == L'-' && m_text[i + 3] == L'-') {
                // A comment left open hides the rest of the text.
                const std::wstring_view rest(m_text + i + 4, m_length - i - 4);
                const size_t close = rest.find(L"-->");
                return close == std::wstring_view::npos ? m_length - i : close + 7;
            }
            const size_t close = NextClosingBracket(i);
            return close == m_length ? 0 : close - i + 1;
        }
        const bool closing = next == L'/';
        if (!IsAsciiAlpha(closing ? (i + 2 < m_length ? m_text[i + 2] : L'\0') : next))
            return 0;
        const size_t close = NextClosingBracket(i);
        if (close == m_length)
            return 0;
        Apply(SplitTag(m_text + i + 1, close - i - 1));
        return close - i + 1;
    }

    // The first ">" after `from`, or m_length when there is none. Kept
    // between calls so that many unclosed "<" cost one scan, not one each.
    size_t NextClosingBracket(size_t from)
    {
        if (m_nextBracket == m_length || m_nextBracket > from)
            return m_nextBracket;
        size_t k = from + 1;
        while (k < m_length && m_text[k] != L'>')
            ++k;
        m_nextBracket = k;
        return k;
    }

    void Apply(const Tag& tag)
    {
        const std::wstring& name = tag.name;
        if (name == L"br") {
            EmitBlock(HtmlItemKind::LineBreak);
        } else if (name == L"p") {
            EmitBlock(HtmlItemKind::Paragraph);
        } else if (name == L"div") {
            if (!m_atLineStart)
                EmitBlock(HtmlItemKind::LineBreak);
        } else if (name == L"table") {
            ApplyTable(tag.closing);
        } else if (name == L"tr" || name == L"td" || name == L"th") {
            ApplyCell(name, tag.closing);
        } else if (name == L"img") {
            ApplyImage(tag);
        } else if (tag.closing) {
            Pop(name == L"strong" ? L"b" : name == L"em" ? L"i" : name);
        } else {
            ApplyFormatting(tag);
        }
    }

    void ApplyFormatting(const Tag& tag)
    {
        HtmlStyle style = Style();
        std::wstring name = tag.name;
        if (name == L"b" || name == L"strong") {
            name = L"b";
            style.bold = true;
        } else if (name == L"i" || name == L"em") {
            name = L"i";
            style.italic = true;
        } else if (name == L"u") {
            style.underline = true;
        } else if (name == L"font") {
            if (const std::wstring* face = tag.Attribute(L"face")) {
                std::wstring first = Trim(face->substr(0, face->find(L',')));
                if (!first.empty())
                    style.face = first.substr(0, kMaxFaceLength);
            }
            if (const std::wstring* size = tag.Attribute(L"size"))
                style.size = ParseFontSize(*size, style.size);
            if (const std::wstring* color = tag.Attribute(L"color")) {
                const uint32_t value = ParseHtmlColor(*color);
                if (value != kHtmlNoColor)
                    style.color = value;
            }
        } else if (name == L"a") {
            const std::wstring* href = tag.Attribute(L"href");
            if (href) {
                // A link shows in the link colour unless a colour is set inside it.
                style.color = kHtmlNoColor;
                style.link = static_cast<int>(m_doc.links.size());
                m_doc.links.push_back(*href);
            }
        } else {
            return; // not ours: the tag is dropped, its content stays
        }
        Push(name, style);
    }

    void ApplyTable(bool closing)
    {
        if (!closing) {
            if (++m_tableNesting == 1) {
                if (!m_atLineStart)
                    EmitBlock(HtmlItemKind::LineBreak);
                EmitBlock(HtmlItemKind::TableBegin);
                m_tableFloor = m_stack.size();
                m_inRow = m_inCell = false;
            } else if (!m_atLineStart) {
                EmitBlock(HtmlItemKind::LineBreak); // a table in a cell shows as lines
            }
            return;
        }
        if (m_tableNesting == 0)
            return;
        if (--m_tableNesting == 0) {
            m_stack.resize(std::min(m_stack.size(), m_tableFloor));
            EmitBlock(HtmlItemKind::TableEnd);
            m_tableFloor = 0;
            m_inRow = m_inCell = false;
        } else if (!m_atLineStart) {
            EmitBlock(HtmlItemKind::LineBreak);
        }
    }

    void ApplyCell(const std::wstring& name, bool closing)
    {
        if (m_tableNesting == 0) {
            // A cell outside any table: its row is a line, its cells words.
            if (!closing && name == L"tr" && !m_atLineStart)
                EmitBlock(HtmlItemKind::LineBreak);
            else if (!closing)
                AddChar(L' ');
            return;
        }
        if (m_tableNesting > 1) {
            if (!closing && name == L"tr" && !m_atLineStart)
                EmitBlock(HtmlItemKind::LineBreak);
            else if (!closing)
                AddChar(L' ');
            return;
        }
        if (m_inCell) {
            // Styles opened in a cell end with it.
            m_stack.resize(std::min(m_stack.size(), m_cellFloor));
        }
        if (closing) {
            if (name == L"tr")
                m_inRow = false;
            m_inCell = false;
            return;
        }
        if (name == L"tr") {
            EmitBlock(HtmlItemKind::RowBegin);
            m_inRow = true;
            m_inCell = false;
            return;
        }
        OpenCell();
        if (name == L"th") {
            HtmlStyle style = Style();
            style.bold = true;
            Push(L"th", style);
        }
    }

    void ApplyImage(const Tag& tag)
    {
        const std::wstring* src = tag.Attribute(L"src");
        if (!src || src->size() < 2 || src->size() > 6 || (*src)[0] != L'#')
            return;
        unsigned id = 0;
        for (size_t k = 1; k < src->size(); ++k) {
            if (!IsAsciiDigit((*src)[k]))
                return;
            id = id * 10 + static_cast<unsigned>((*src)[k] - L'0');
        }
        if (id == 0 || id > 0xFFFF)
            return;
        EnsureCell();
        Flush();
        HtmlItem item;
        item.kind = HtmlItemKind::Image;
        item.imageId = id;
        item.style = Style();
        m_doc.items.push_back(std::move(item));
        m_atLineStart = false;
        m_lastWasSpace = false;
    }

    const wchar_t* m_text;
    size_t m_length;
    size_t m_nextBracket = 0;
    HtmlDocument m_doc;
    HtmlStyle m_base;
    std::vector<Frame> m_stack;
    std::wstring m_pending;
    HtmlStyle m_pendingStyle;
    bool m_atLineStart = true;
    bool m_lastWasSpace = false;
    int m_tableNesting = 0;
    bool m_inRow = false;
    bool m_inCell = false;
    size_t m_tableFloor = 0;
    size_t m_cellFloor = 0;
};

} // namespace

uint32_t ParseHtmlColor(const std::wstring& raw)
{
    std::wstring value = Trim(raw);
    for (wchar_t& c : value)
        c = Lower(c);
    if (!value.empty() && value[0] == L'#') {
        const std::wstring digits = value.substr(1);
        if (digits.size() != 6 && digits.size() != 3)
            return kHtmlNoColor;
        uint32_t rgb = 0;
        for (wchar_t c : digits) {
            uint32_t digit;
            if (IsAsciiDigit(c))
                digit = static_cast<uint32_t>(c - L'0');
            else if (c >= L'a' && c <= L'f')
                digit = static_cast<uint32_t>(c - L'a' + 10);
            else
                return kHtmlNoColor;
            rgb = rgb << 4 | digit;
            if (digits.size() == 3)
                rgb = rgb << 4 | digit;
        }
        return (rgb >> 16 & 0xFF) | (rgb & 0xFF00) | (rgb & 0xFF) << 16;
    }
    static const struct {
        const wchar_t* name;
        uint32_t rgb;
    } kNames[] = {{L"black", 0x000000}, {L"white", 0xFFFFFF}, {L"red", 0xFF0000},    {L"green", 0x008000},
                  {L"blue", 0x0000FF},  {L"yellow", 0xFFFF00}, {L"gray", 0x808080},  {L"grey", 0x808080},
                  {L"silver", 0xC0C0C0}, {L"maroon", 0x800000}, {L"navy", 0x000080}, {L"purple", 0x800080},
                  {L"teal", 0x008080},  {L"olive", 0x808000},  {L"lime", 0x00FF00},  {L"aqua", 0x00FFFF},
                  {L"fuchsia", 0xFF00FF}, {L"orange", 0xFFA500}};
    for (const auto& named : kNames) {
        if (value == named.name)
            return (named.rgb >> 16 & 0xFF) | (named.rgb & 0xFF00) | (named.rgb & 0xFF) << 16;
    }
    return kHtmlNoColor;
}

HtmlDocument ParseHtml(const wchar_t* markup, size_t length)
{
    if (!markup)
        return {};
    return Parser(markup, length).Run();
}

std::wstring HtmlDocument::PlainText() const
{
    std::wstring out;
    bool firstCell = true;
    for (const HtmlItem& item : items) {
        switch (item.kind) {
        case HtmlItemKind::Text:
            out += item.text;
            break;
        case HtmlItemKind::LineBreak:
        case HtmlItemKind::TableEnd:
            out += L'\n';
            break;
        case HtmlItemKind::Paragraph:
            out += L"\n\n";
            break;
        case HtmlItemKind::RowBegin:
            if (!out.empty() && out.back() != L'\n')
                out += L'\n';
            firstCell = true;
            break;
        case HtmlItemKind::CellBegin:
            if (!firstCell)
                out += L'\t';
            firstCell = false;
            break;
        case HtmlItemKind::Image:
        case HtmlItemKind::TableBegin:
            break;
        }
    }
    return out;
}
