#include "popup/HtmlLayout.h"

#include <algorithm>

namespace {

// Wide enough that nothing wraps: a cell's natural width is measured in it.
constexpr int kUnbounded = 1 << 24;
// A word longer than a line is cut; one cut never measures more than this
// many characters, so that a huge word costs a line at a time, not its
// whole length per line.
constexpr size_t kMaxCutSpan = 1024;
constexpr int kColumnGap = 6;
constexpr int kRowGap = 2;

bool IsHighSurrogate(wchar_t c)
{
    return c >= 0xD800 && c <= 0xDBFF;
}

} // namespace

struct CHtmlLayout::Line {
    struct Placed {
        HtmlPiece piece;
        int ascent;
        int descent;
    };
    std::vector<Placed> placed;
    int x = 0;
};

CHtmlLayout::CHtmlLayout(HDC dc, IHtmlResources& resources, const HtmlDocument& doc, int left, int top, int width)
    : m_dc(dc), m_resources(resources), m_doc(doc)
{
    const HGDIOBJ oldFont = ::GetCurrentObject(dc, OBJ_FONT);
    m_right = left;
    m_bottom = LayFlow(0, doc.items.size(), left, top, std::max(width, 1), false, m_right);
    ::SelectObject(dc, oldFont);
}

int CHtmlLayout::LinkAt(POINT pt) const
{
    for (const HtmlPiece& piece : m_pieces) {
        if (piece.style.link >= 0 && ::PtInRect(&piece.rc, pt))
            return piece.style.link;
    }
    return -1;
}

int CHtmlLayout::LayFlow(size_t first, size_t last, int left, int top, int width, bool measureOnly, int& right)
{
    const int limit = left + width;
    int y = top;
    Line line;
    line.x = left;
    HFONT font = m_resources.FontFor(HtmlStyle{});
    TEXTMETRICW tm = {};
    ::SelectObject(m_dc, font);
    ::GetTextMetricsW(m_dc, &tm);

    auto selectFont = [&](const HtmlStyle& style) {
        HFONT wanted = m_resources.FontFor(style);
        if (wanted != font) {
            font = wanted;
            ::SelectObject(m_dc, font);
            ::GetTextMetricsW(m_dc, &tm);
        }
    };
    auto measure = [&](const wchar_t* text, size_t length) {
        SIZE size = {};
        ::GetTextExtentPoint32W(m_dc, text, static_cast<int>(length), &size);
        return static_cast<int>(size.cx);
    };
    auto finishLine = [&](int emptyHeight) {
        if (line.placed.empty()) {
            y += emptyHeight;
            return;
        }
        // A space where the line wrapped is not part of it (nor of a link).
        Line::Placed& tail = line.placed.back();
        if (!tail.piece.text.empty() && tail.piece.text.back() == L' ') {
            ::SelectObject(m_dc, tail.piece.font);
            tail.piece.rc.right -= measure(L" ", 1);
            tail.piece.text.pop_back();
            ::SelectObject(m_dc, font);
        }
        int ascent = 0;
        int descent = 0;
        for (const Line::Placed& p : line.placed) {
            ascent = std::max(ascent, p.ascent);
            descent = std::max(descent, p.descent);
        }
        for (Line::Placed& p : line.placed) {
            p.piece.rc.top = y + ascent - p.ascent;
            p.piece.rc.bottom = p.piece.rc.top + p.ascent + p.descent;
            right = std::max(right, static_cast<int>(p.piece.rc.right));
            if (!measureOnly && (!p.piece.text.empty() || p.piece.bitmap))
                m_pieces.push_back(std::move(p.piece));
        }
        y += ascent + descent;
        line.placed.clear();
        line.x = left;
    };
    auto placeText = [&](const HtmlStyle& style, const wchar_t* text, size_t length, int w) {
        if (!line.placed.empty()) {
            Line::Placed& prev = line.placed.back();
            if (prev.piece.bitmap == nullptr && prev.piece.font == font && prev.piece.style == style &&
                prev.piece.rc.right == line.x) {
                prev.piece.text.append(text, length);
                prev.piece.rc.right += w;
                line.x += w;
                return;
            }
        }
        Line::Placed p{{}, tm.tmAscent, tm.tmDescent};
        p.piece.rc.left = line.x;
        p.piece.rc.right = line.x + w;
        p.piece.text.assign(text, length);
        p.piece.font = font;
        p.piece.style = style;
        line.placed.push_back(std::move(p));
        line.x += w;
    };

    for (size_t k = first; k < last; ++k) {
        const HtmlItem& item = m_doc.items[k];
        switch (item.kind) {
        case HtmlItemKind::Text: {
            selectFont(item.style);
            const std::wstring& text = item.text;
            size_t i = 0;
            while (i < text.size()) {
                if (text[i] == L' ') {
                    // No space opens a line.
                    if (line.x > left) {
                        const int w = measure(L" ", 1);
                        if (line.x + w <= limit)
                            placeText(item.style, L" ", 1, w);
                        else
                            finishLine(0);
                    }
                    ++i;
                    continue;
                }
                size_t end = text.find(L' ', i);
                if (end == std::wstring::npos)
                    end = text.size();
                const size_t span = std::min(end - i, kMaxCutSpan);
                const int w = measure(text.data() + i, span);
                if (line.x + w > limit && line.x > left)
                    finishLine(0);
                if (span < end - i || line.x + w > limit) {
                    // The word is wider than a line: cut it where it fills one.
                    int fit = 0;
                    SIZE size = {};
                    ::GetTextExtentExPointW(m_dc, text.data() + i, static_cast<int>(span), limit - line.x, &fit,
                                            nullptr, &size);
                    size_t taken = std::clamp<size_t>(static_cast<size_t>(std::max(fit, 0)), 1, span);
                    if (taken < span && IsHighSurrogate(text[i + taken - 1]))
                        taken = taken > 1 ? taken - 1 : taken + 1;
                    placeText(item.style, text.data() + i, taken, measure(text.data() + i, taken));
                    i += taken;
                    if (i < end)
                        finishLine(0);
                    continue;
                }
                placeText(item.style, text.data() + i, end - i, w);
                i = end;
            }
            break;
        }
        case HtmlItemKind::LineBreak:
            selectFont(item.style);
            finishLine(tm.tmHeight);
            break;
        case HtmlItemKind::Paragraph:
            selectFont(item.style);
            finishLine(0);
            y += tm.tmHeight;
            break;
        case HtmlItemKind::Image: {
            SIZE size = {};
            HBITMAP bitmap = m_resources.ImageFor(item.imageId, size);
            if (!bitmap)
                break;
            if (line.x + size.cx > limit && line.x > left)
                finishLine(0);
            Line::Placed p{{}, static_cast<int>(size.cy), 0};
            p.piece.rc.left = line.x;
            p.piece.rc.right = line.x + size.cx;
            p.piece.bitmap = bitmap;
            p.piece.style = item.style;
            line.placed.push_back(std::move(p));
            line.x += size.cx;
            break;
        }
        case HtmlItemKind::TableBegin: {
            finishLine(0);
            int bottom = y;
            k = LayTable(k, last, left, y, width, bottom) - 1;
            right = std::max(right, m_right);
            y = bottom;
            break;
        }
        case HtmlItemKind::RowBegin:
        case HtmlItemKind::CellBegin:
        case HtmlItemKind::TableEnd:
            break; // only inside a table, which LayTable walks
        }
    }
    finishLine(0);
    return y;
}

size_t CHtmlLayout::LayTable(size_t first, size_t end, int left, int top, int width, int& bottom)
{
    std::vector<std::vector<Cell>> rows;
    size_t k = first + 1;
    for (; k < end && m_doc.items[k].kind != HtmlItemKind::TableEnd; ++k) {
        const HtmlItemKind kind = m_doc.items[k].kind;
        if (kind == HtmlItemKind::RowBegin) {
            rows.emplace_back();
        } else if (kind == HtmlItemKind::CellBegin) {
            if (rows.empty())
                rows.emplace_back();
            rows.back().push_back({k + 1, k + 1});
        } else if (!rows.empty() && !rows.back().empty() && kind != HtmlItemKind::TableBegin) {
            rows.back().back().last = k + 1;
        }
    }
    const size_t next = k < end ? k + 1 : end;
    bottom = top;
    size_t columns = 0;
    for (const auto& row : rows)
        columns = std::max(columns, row.size());
    if (columns == 0)
        return next;

    // Columns take their natural widths when they fit, else shares of the
    // width in proportion to them.
    std::vector<long long> natural(columns, 1);
    for (const auto& row : rows) {
        for (size_t c = 0; c < row.size(); ++c) {
            int cellRight = 0;
            LayFlow(row[c].first, row[c].last, 0, 0, kUnbounded, true, cellRight);
            natural[c] = std::max<long long>(natural[c], cellRight);
        }
    }
    const long long gaps = static_cast<long long>(kColumnGap) * static_cast<long long>(columns - 1);
    const long long available = std::max<long long>(static_cast<long long>(width) - gaps, static_cast<long long>(columns));
    long long total = 0;
    for (long long w : natural)
        total += w;
    std::vector<int> widths(columns);
    for (size_t c = 0; c < columns; ++c) {
        const long long w = total <= available ? natural[c] : available * natural[c] / total;
        widths[c] = static_cast<int>(std::max<long long>(w, 1));
    }

    int y = top;
    for (const auto& row : rows) {
        int x = left;
        int rowBottom = y;
        for (size_t c = 0; c < row.size(); ++c) {
            int cellRight = x;
            rowBottom = std::max(rowBottom, LayFlow(row[c].first, row[c].last, x, y, widths[c], false, cellRight));
            m_right = std::max(m_right, cellRight);
            x += widths[c] + kColumnGap;
        }
        y = rowBottom + kRowGap;
    }
    bottom = y;
    return next;
}
