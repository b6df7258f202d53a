// Text sent as format=flowed (RFC 3676): lines that end in a blank go on
// in the next line, so that a paragraph the sender's program wrapped at
// its own width becomes one line again, to be wrapped at FidoNet's.
#pragma once

#include <string>
#include <string_view>
#include <vector>

// A paragraph longer than this is handed on in pieces of it, so that no
// text makes the reader hold more.
constexpr std::size_t MAXPARAGRAPH = 32766;

class flowedtext {
   public:
    // delsp: the blank at the end of a flowed line was added by the
    // sender's program (DelSp=yes) and is removed when lines are joined.
    explicit flowedtext(bool removeblank) : delsp(removeblank) {}

    // Takes the next line (no line end, trailing blanks kept) and appends
    // to out the lines that are complete: none while a paragraph goes on,
    // else the paragraph (and a paragraph of another quote depth ended by
    // this line). Quote marks are kept (">" per depth and one blank), the
    // stuffed blank of a line is removed; "-- " (a signature separator)
    // keeps its blank and is never joined.
    void line(std::string_view text, std::vector<std::string>& out);

    // The paragraph still open at the end of the text, if any, into out.
    void finish(std::vector<std::string>& out);

   private:
    bool delsp;
    bool open = false;
    int depth = 0;
    std::string para;
};
