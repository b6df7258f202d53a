// MIME read as a tree, as import does when a FidoNet character set is
// configured: every part is judged by its own Content-Type,
// Content-Transfer-Encoding and Content-Disposition, multiparts nest (a
// stack of boundaries, MAXMIMEDEPTH deep), alternatives give one of theirs,
// signatures and the other alternatives are left out.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

// Deeper multiparts and forwarded messages are read as plain text.
constexpr std::size_t MAXMIMEDEPTH = 8;

enum partactions {
    PART_TEXT = 0,   // text/plain: decoded and converted, shown
    PART_HTML,       // text/html: made plain text, shown
    PART_FILE,       // decoded into a file
    PART_SKIP,       // left out (an alternative not chosen, a signature, a preamble)
    PART_MULTIPART,  // a multipart: its parts follow its boundary lines
    PART_MESSAGE,    // message/rfc822: a header block and a body of its own follow
    PART_RAW         // shown as it stands, nothing decoded (a multipart nested too deep)
};
enum multikinds { MULTI_MIXED = 0, MULTI_ALTERNATIVE, MULTI_SIGNED, MULTI_DIGEST };
enum transferencodings { CTE_IDENTITY = 0, CTE_QP, CTE_BASE64, CTE_UUENCODE };

// What one header block says about its part: the first of each field.
struct partheader {
    std::string contenttype, cte, disposition;
    void clear() { *this = partheader{}; }
    // Takes a (logical) header line when it is one of the three fields.
    void take(std::string_view line);
};

// The decision about one part.
struct partplan {
    int action = PART_TEXT;
    std::string type;      // "text/plain", lower case
    std::string charset;   // of a text part; empty: none named
    std::string filename;  // UTF-8, as given (RFC 2231, encoded words, plain); empty: none
    int cte = CTE_IDENTITY;
    bool flowed = false, delsp = false;  // format=flowed, DelSp=yes
    std::string boundary;                // of a multipart
    int multikind = MULTI_MIXED;
    bool showable = false;  // text/plain or text/html shown as text, or a multipart
};

// Decides a part from its header. indigest: its multipart is a digest,
// where a part without Content-Type is a message; depth: the multiparts
// and messages around it.
partplan planpart(const partheader& h, bool indigest, std::size_t depth);

// One open multipart.
struct mimeframe {
    std::string boundary;
    int kind = MULTI_MIXED;
    int children = 0;       // parts begun so far
    int recorded = -1;      // the alternative the parse pass chose, when known
    int tentative = -1;     // the alternative shown so far in this pass
    int firstplain = -1, firsthtml = -1, firstother = -1;
    std::size_t embedsbefore = 0;  // forwarded messages open around it
};

// Whether the part just begun (number f.children - 1) of frame f, planned
// as p, is shown; notes what an alternative holds.
bool showchild(mimeframe& f, const partplan& p);

// The alternative of f to show: the first text/plain one, else the first
// HTML one, else the first other one that shows text (a multipart), else
// the first. -1 for a frame that is no alternative.
int chosenalternative(const mimeframe& f);
