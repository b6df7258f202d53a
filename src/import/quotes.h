// Who is quoted in the body of an imported message. An echomail message
// without a real recipient is addressed to that person: an attribution line
// such as "John Doe wrote:" followed soon by quoted lines names them.
#pragma once

#include <string_view>

// True when a QuoteChar rule says the line is quoted: the rule's character
// first stands within its columns, with only letters (as many as the rule
// allows) and white space before it. Reads tables.quotechar.
bool isquotedline(std::string_view line);

// Follows the non-empty body lines of one message (parse pass).
class quotetracker {
   public:
    // False until a candidate author was confirmed by a quoted line.
    bool settled() const { return count < 0; }

    // One non-empty body line: a quoted line confirms the candidate; an
    // attribution line (a QuoteMask word as a whole word, not at the start)
    // makes its name and address the candidate in `curmsg.quotename` and
    // `curmsg.quoteemail`; more than 72 characters of other text between
    // attribution and quote drop it. Reads `tables`, `curmsg.areaname`,
    // `curmsg.xpost`.
    void line(std::string_view text);

    // The end of the message: an unconfirmed candidate is dropped.
    void finish();

   private:
    bool attribution(std::string_view text);
    long count = 0;  // characters since the candidate's attribution; -1 settled
};
