#pragma once
// CHtmlLayout: places a parsed HTML-subset document in a width: each word
// wrapped onto lines, tables in columns, images inline. The result is a list
// of pieces to draw and the rectangles where a click means a link.
#include "popup/HtmlParse.h"

#include <windows.h>

#include <string>
#include <vector>

// What the layout needs from the control: a font per style and the images.
class IHtmlResources {
public:
    virtual HFONT FontFor(const HtmlStyle& style) = 0;
    // The bitmap and its size, or null when the module has no such bitmap.
    virtual HBITMAP ImageFor(unsigned id, SIZE& size) = 0;

protected:
    ~IHtmlResources() = default;
};

struct HtmlPiece {
    RECT rc = {};
    std::wstring text;      // empty for an image
    HFONT font = nullptr;
    HBITMAP bitmap = nullptr;
    HtmlStyle style;
};

class CHtmlLayout {
public:
    // Lays `doc` out from (left, top) with lines no wider than `width`
    // (at least one character or image goes on each line).
    CHtmlLayout(HDC dc, IHtmlResources& resources, const HtmlDocument& doc, int left, int top, int width);

    const std::vector<HtmlPiece>& Pieces() const { return m_pieces; }
    // The link under `pt`, or -1.
    int LinkAt(POINT pt) const;
    // The bottom of the last line and the right edge of the widest.
    int Bottom() const { return m_bottom; }
    int Right() const { return m_right; }

private:
    struct Line;
    struct Cell {
        size_t first = 0;
        size_t last = 0; // one past
    };

    // Lays items [first, last) out in the column [left, left + width) from
    // `top`; returns the bottom. Tables inside are laid out by LayTable.
    int LayFlow(size_t first, size_t last, int left, int top, int width, bool measureOnly, int& right);
    // Lays the table whose TableBegin is at `first`; returns the index after
    // its TableEnd and sets `bottom`.
    size_t LayTable(size_t first, size_t end, int left, int top, int width, int& bottom);

    HDC m_dc;
    IHtmlResources& m_resources;
    const HtmlDocument& m_doc;
    std::vector<HtmlPiece> m_pieces;
    int m_bottom = 0;
    int m_right = 0;
};
