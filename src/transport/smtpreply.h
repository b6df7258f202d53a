// SMTP replies as a server sends them: one or more lines "ddd-text" ended
// by a line "ddd text" (or "ddd" alone), each ended by CR LF, with an
// enhanced status code ("5.1.1") at the start of the text where the server
// speaks that extension. The reader takes the bytes in whatever pieces
// they arrive.
#pragma once

#include <string>
#include <string_view>
#include <vector>

struct smtpreply {
    int code = 0;          // 200..599; 0 for a line that is no reply
    std::string enhanced;  // "5.1.1", or empty
    std::string text;      // the text of the last line (or the first, if that says more), one line
};

// The class of a reply code: 2 accepted, 3 go on, 4 try again later, 5
// never; 0 for anything else.
inline int replyclass(int code) {
    return code >= 200 && code < 600 ? code / 100 : 0;
}

class smtpreplyreader {
   public:
    // Takes the next bytes from the server; appends each reply completed
    // by them to out. A line that is no reply line completes a reply of
    // code 0 carrying the line as its text.
    void feed(std::string_view bytes, std::vector<smtpreply>& out);

   private:
    void line(std::string_view l, std::vector<smtpreply>& out);
    std::string partial;  // an unfinished line
    smtpreply current;    // the reply whose continuation lines are being read
    bool open = false;    // current has lines already
};

// The reply as the log shows it: "550 5.1.1 text", cut to 120 characters.
std::string replytext(const smtpreply& r);
