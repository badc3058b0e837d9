// The HTML-subset parser: what each piece of markup becomes, and that no
// input (malformed, huge, deeply nested) breaks it.
#include "popup/HtmlParse.h"

#include <gtest/gtest.h>

#include <string>

namespace {

// The items in a compact form: text in quotes with its style marks
// (b i u, fFACE, sN, #COLOUR, lN for link N), and one letter per block:
// "/" break, "P" paragraph, "[img N]", "T" table, "R" row, "C" cell, "E" end.
std::wstring Dump(const HtmlDocument& doc)
{
    std::wstring out;
    for (const HtmlItem& item : doc.items) {
        const HtmlStyle& s = item.style;
        std::wstring marks = std::wstring(s.bold ? L"b" : L"") + (s.italic ? L"i" : L"") + (s.underline ? L"u" : L"");
        marks += (s.face.empty() ? L"" : L"f" + s.face) + (s.size != 3 ? L"s" + std::to_wstring(s.size) : L"");
        wchar_t colour[16] = {};
        if (s.color != kHtmlNoColor)
            swprintf(colour, 16, L"#%06X", s.color);
        marks += colour + (s.link >= 0 ? L"l" + std::to_wstring(s.link) : L"");
        switch (item.kind) {
        case HtmlItemKind::Text: out += (marks.empty() ? L"" : marks + L":") + L"'" + item.text + L"'"; break;
        case HtmlItemKind::LineBreak: out += L"/"; break;
        case HtmlItemKind::Paragraph: out += L"P"; break;
        case HtmlItemKind::Image: out += L"[img " + std::to_wstring(item.imageId) + L"]"; break;
        case HtmlItemKind::TableBegin: out += L"T"; break;
        case HtmlItemKind::RowBegin: out += L"R"; break;
        case HtmlItemKind::CellBegin: out += L"C"; break;
        case HtmlItemKind::TableEnd: out += L"E"; break;
        }
    }
    return out;
}

TEST(HtmlParse, TurnsMarkupIntoStyledRunsAndBlocks)
{
    static const struct {
        const wchar_t* markup;
        const wchar_t* items;
    } cases[] = {
        {L"", L""},
        {L"plain  text\t here ", L"'plain text here '"},
        {L"<b>bold</b> <i>it</i><u>u</u>", L"b:'bold'' 'i:'it'u:'u'"},
        {L"<STRONG>s</Strong><em>e</EM>", L"b:'s'i:'e'"},
        {L"<b>a<i>b</b>c</i>d", L"b:'a'bi:'b''cd'"}, // closing b ends i opened inside it
        {L"a<br>b<br/>c<BR />", L"'a'/'b'/'c'/"},
        {L"line\nnext\r\nlast\rend", L"'line'/'next'/'last'/'end'"},
        {L"<p>one</p><p>two", L"'one'P'two'"},
        {L"a<p><p></p>b", L"'a'P'b'"},
        {L"a<div>b</div>c", L"'a'/'b'/'c'"},
        {L"<font face='Courier New, mono' size=5 color=\"#FF8000\">x</font>y", L"fCourier News5#0080FF:'x''y'"},
        {L"<font size=+1>a<font size=-2>b</font></font>", L"s4:'a's1:'b'"},
        {L"<font size=9 color=#abc>a</font><font size=x color=nope>b</font>", L"s7#CCBBAA:'a''b'"},
        {L"<font color=red>r<a href='x'>link</a></font>", L"#0000FF:'r'l0:'link'"},
        {L"<a href=\"one\">1</a> <a name=x>2</a><a href=two><font color=blue>3</font></a>",
         L"l0:'1'' 2'#FF0000l1:'3'"},
        {L"&lt;b&gt; &amp; &quot;q&quot; &apos;&nbsp;&#65;&#x42;&#X43;", L"'<b> & \"q\" '\u00A0ABC'"},
        {L"&unknown; &amp &#; &#xZZ; &#99999999999;", L"'&unknown; &amp &#; &#xZZ; &#99999999999;'"},
        {L"&#0;&#xD800;&#1114112;", L"'\uFFFD\uFFFD\uFFFD'"},
        {L"a < b <3 <> </> <!x", L"'a < b <3 <> </> <!x'"},
        {L"x<unknown attr=1>y</unknown><span>z</span>", L"'xyz'"},
        {L"a<!-- hidden <b> -->b<!-- open", L"'ab'"},
        {L"<!DOCTYPE html>t", L"'t'"},
        {L"<b unterminated", L"'<b unterminated'"},
        {L"<img src=\"#3125\"> <img src=3125><img src='#0'><img src='#70000'><img src='#1x'><img>",
         L"[img 3125]' '"},
        {L"<table><tr><td>a</td><th>b</th></tr><tr><td><b>c</td><td>d</td></table>after",
         L"TRC'a'Cb:'b'RCb:'c'C'd'E'after'"},
        {L"<table>loose<td>x</table>", L"TRC'loose'C'x'E"},
        {L"<table><tr><td><table><tr><td>in</td><td>ner</td></tr></table></td></tr></table>",
         L"TRC'in ner'/E"},
        {L"<td>a</td><td>b</td><tr>c", L"'a b'/'c'"},
        {L"<table><tr><td>open", L"TRC'open'E"},
        {L"</table></b></a>x", L"'x'"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.items, Dump(ParseHtml(c.markup))) << c.markup;

    // Each link's target, and the text as it reads.
    const HtmlDocument doc = ParseHtml(L"<a href='help:1016'>Help</a> or <a href=\"close\">close</a><br>"
                                       L"<table><tr><td>A</td><td>B</td></tr><tr><td>C</td></tr></table>");
    ASSERT_EQ(2u, doc.links.size());
    EXPECT_EQ(L"help:1016", doc.links[0]);
    EXPECT_EQ(L"close", doc.links[1]);
    EXPECT_EQ(L"Help or close\nA\tB\nC\n", doc.PlainText());
}

TEST(HtmlParse, ParsesColoursOfEachForm)
{
    static const struct {
        const wchar_t* value;
        uint32_t color;
    } cases[] = {
        {L"#102030", 0x302010}, {L" #AbCdEf ", 0xEFCDAB}, {L"#fff", 0xFFFFFF}, {L"#1234", kHtmlNoColor},
        {L"#12345g", kHtmlNoColor}, {L"Navy", 0x800000}, {L"grey", 0x808080}, {L"", kHtmlNoColor},
        {L"102030", kHtmlNoColor},
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.color, ParseHtmlColor(c.value)) << c.value;
}

TEST(HtmlParse, StaysBoundedOnHugeAndDeeplyNestedInput)
{
    // Deep nesting: styles stop nesting at the limit, closing tags still
    // unwind, and nothing recurses.
    std::wstring deep;
    for (int i = 0; i < 3334; ++i)
        deep += L"<b><font color=#010203><a href=x>";
    deep += L"core";
    for (int i = 0; i < 3334; ++i)
        deep += L"</a></font></b>";
    deep += L"tail";
    const HtmlDocument nested = ParseHtml(deep);
    EXPECT_EQ(L"coretail", nested.PlainText());
    ASSERT_FALSE(nested.items.empty());
    EXPECT_EQ(HtmlStyle{}, nested.items.back().style) << "the styles did not unwind";

    // Many unclosed "<" and long runs: one pass, text kept whole.
    const std::wstring opens(100000, L'<');
    EXPECT_EQ(opens, ParseHtml(opens).PlainText());
    std::wstring mixed;
    while (mixed.size() < 100000)
        mixed += L"<a b=\"word &amp; <i>x</i> ";
    EXPECT_FALSE(ParseHtml(mixed).PlainText().empty());
    EXPECT_TRUE(ParseHtml(nullptr, 5).items.empty());
}

} // namespace
