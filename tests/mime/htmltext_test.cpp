#include "mime/htmltext.h"

#include <gtest/gtest.h>

#include <string>

namespace {

TEST(htmltext, readableplaintext) {
    const struct {
        const char* name;
        const char* html;
        const char* text;
    } cases[] = {
        {"paragraphs", "<p>one</p><p>two</p>", "one\n\ntwo\n"},
        {"line breaks", "a<br>b<br/>c", "a\nb\nc\n"},
        {"blanks collapse", "<p>  many \n  blanks\t here </p>", "many blanks here\n"},
        {"entities", "<p>&lt;tag&gt; &amp; caf&eacute; &#8364; a&nbsp;b</p>",
         "<tag> & caf\xc3\xa9 \xe2\x82\xac a b\n"},
        {"lists", "<p>items:</p><ul><li>one</li><li>two <b>bold</b></li></ul><ol><li>three</li></ol>",
         "items:\n\n- one\n- two bold\n\n- three\n"},
        {"links", "<a href=\"https://x.example/a\">the site</a> and <a href=\"#top\">top</a>",
         "the site <https://x.example/a> and top\n"},
        {"link that is its address", "<a href=\"https://x.example/\">https://x.example/</a>",
         "https://x.example/\n"},
        {"mail link", "<a href=\"mailto:a@b.example\">write</a>", "write <a@b.example>\n"},
        {"scripts and styles dropped",
         "<html><head><title>T</title><style>p{color:red}</style></head>"
         "<body><script>alert('x')</script><p>shown</p></body></html>",
         "shown\n"},
        {"quotes", "<p>reply</p><blockquote><p>quoted</p></blockquote><p>after</p>",
         "reply\n\n> quoted\n\nafter\n"},
        {"pre keeps its lines", "<pre>a  b\n  c</pre>", "a  b\n  c\n"},
        {"table cells", "<table><tr><td>a</td><td>b</td></tr><tr><td>c</td></tr></table>",
         "a b\nc\n"},
        {"image alt", "<p><img src=\"x.png\" alt=\"logo\"> text</p>", "[logo] text\n"},
        {"broken markup", "<p>open <b>bold <i>both</p>rest", "open bold both\n\nrest\n"},
        {"charset hint ignored", "<meta charset=\"iso-8859-1\"><p>\xc3\xa4</p>", "\xc3\xa4\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(htmltoplain(c.html), c.text);
    }
}

// Every line of a quoted block carries its marks: thousands of nested
// blocks made a mail of 360 KB a packet of 800 MB. Quotes stop at ten.
TEST(htmltext, quotesdeeperthantenarequotedten) {
    std::string html;
    for (int i = 0; i < 3000; ++i) html += "<blockquote>x";
    std::string text = htmltoplain(html);
    std::string ten;
    for (int i = 0; i < MAXHTMLQUOTE; ++i) ten += "> ";
    EXPECT_NE(text.find("\n" + ten + "x\n"), std::string::npos);
    EXPECT_EQ(text.find(ten + ">"), std::string::npos);
    EXPECT_LT(text.size(), 12 * html.size() / 5);
    EXPECT_EQ(htmltoplain("<blockquote><blockquote>two</blockquote></blockquote>"), "> > two\n");
}

TEST(htmltext, fedinpieces) {
    // A tag or a character may be cut between two feeds.
    htmltext h;
    for (const char* piece : {"<p>Gr\xc3", "\xbc\xc3\x9f" "e <", "b>da</b", "></p><p>zwei", "</p>"})
        h.feed(piece);
    h.finish();
    std::string all;
    for (const std::string& l : h.lines()) all += l + "\n";
    EXPECT_EQ(all, "Gr\xc3\xbc\xc3\x9f" "e da\n\nzwei\n\n");
}

}  // namespace
