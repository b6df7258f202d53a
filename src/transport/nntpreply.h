// What an NNTP server says, read as hostile bytes: status lines ("211 12
// 3 14 alt.test"), the numbers and Message-IDs in them, and multi-line
// blocks (an article: lines ended by CR LF, a leading dot doubled, a line
// of one dot at the end), taken in whatever pieces they arrive. The other
// way, the block an article becomes on the wire when it is posted.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

// A status line: a three-digit code 100..599 and its text.
struct nntpstatus {
    int code = 0;      // 0 when the line is no status line
    std::string text;  // after the code, control characters made "?", at most 400 bytes
};

// Reads a status line (without its CR LF). A line that is no status line
// gives code 0 and the line (cleaned) as text.
nntpstatus parsestatus(std::string_view line);

// The text of a 211 reply to GROUP: "count low high group".
struct groupreply {
    long long count = 0, low = 0, high = 0;
    std::string group;
};
// True when text holds three numbers 0..2^63-1 and a group; low may
// exceed high (an empty group).
bool parsegroupreply(std::string_view text, groupreply& out);

// The text of a 220..223 reply to ARTICLE, HEAD, BODY or STAT: "number
// <message-id>". True when both are there and the Message-ID is in angle
// brackets, printable, at most 250 bytes.
bool parsearticlereply(std::string_view text, long long& number, std::string& messageid);

// A multi-line block being read. Lines come out with LF ends (a CR LF
// becomes LF; a CR elsewhere stays), a leading dot undoubled, the line of
// one dot ending the block. At most limit bytes are kept; the rest of a
// larger block is read and dropped (toolarge).
class blockreader {
   public:
    explicit blockreader(std::size_t limit) : max(limit) {}
    // Ready for the next block (the text's memory is kept).
    void reset();
    // Takes bytes; returns how many it used: all of them, or fewer when
    // the block ended within them (the rest belongs to what follows).
    std::size_t feed(std::string_view bytes);
    bool done() const { return finished; }
    bool toolarge() const { return over; }
    // Bytes the block had on the wire so far.
    std::size_t wiresize() const { return seen; }
    std::string text;

   private:
    void put(std::string_view s);
    enum { LINESTART, DOT, DOTCR, INLINE, INLINECR } state = LINESTART;
    std::size_t max;
    std::size_t seen = 0;
    bool finished = false, over = false;
};

// A text with LF line ends as a block on the wire, piece by piece: every
// line end CR LF (a CR LF stays one), a leading dot doubled; finish()
// gives what ends the block (a line end when the text did not end with
// one, and the line of one dot).
class blockwriter {
   public:
    void feed(std::string_view bytes, std::string& out);
    void finish(std::string& out);

   private:
    bool atstart = true;
    bool lastcr = false;
};
