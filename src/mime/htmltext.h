// HTML made readable as plain text, for mail that has no plain-text part:
// paragraphs and line breaks kept, list items as "- ", quoted blocks with
// "> " (at most MAXHTMLQUOTE of them), links as their text followed by the address in angle brackets,
// entities decoded, scripts, styles and the document head dropped. The
// HTML is read by libxml2's HTML parser as it arrives (push parsing), so a
// long part is never held whole.
#pragma once

#include <string>
#include <string_view>
#include <vector>

// A line longer than this is handed on in pieces of it.
constexpr std::size_t MAXHTMLLINE = 32766;
// Quoted blocks deeper than this are quoted this deep: every line of a
// block carries its marks, and a sender could nest thousands.
constexpr int MAXHTMLQUOTE = 10;

class htmltext {
   public:
    htmltext();
    ~htmltext();
    htmltext(const htmltext&) = delete;
    htmltext& operator=(const htmltext&) = delete;

    // Feeds the next bytes of the HTML, in UTF-8 (any charset declared
    // inside the document is ignored: the caller has converted it).
    void feed(std::string_view utf8);
    // The document has ended: what is pending becomes lines.
    void finish();

    // The lines finished so far (UTF-8, no line ends; "" for an empty
    // line between paragraphs); the caller takes them and clears the list.
    std::vector<std::string>& lines() { return done; }

    // Called by the parser's callbacks.
    void startelement(std::string_view name, const char* const* attrs);
    void endelement(std::string_view name);
    void characters(std::string_view text);

   private:
    void breakline();
    void paragraph();
    void emit(std::string_view text);

    void* ctxt = nullptr;  // libxml2's parser
    std::vector<std::string> done;
    std::string line;         // the line being built
    bool pendingblank = false;  // white space seen since the last word
    int blanklines = 0;       // empty lines just written (at most one between blocks)
    bool started = false;     // some text was written
    int skip = 0;             // inside script, style, head, title
    int pre = 0;              // inside pre
    int quote = 0;            // blockquote depth
    std::vector<std::string> links;  // the address of each open link
    std::vector<std::size_t> linkstart;  // where its text began in line
};

// The whole of an HTML text as plain text, lines joined by "\n".
std::string htmltoplain(std::string_view utf8);
