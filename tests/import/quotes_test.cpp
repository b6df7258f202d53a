#include "import/quotes.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "config/tables.h"
#include "import/curmsg.h"
#include "support/testutil.h"

namespace {

class quotes : public statetest {
   protected:
    void SetUp() override {
        statetest::SetUp();
        quotecharentry q;
        q.quote = '>';
        q.poslo = 0;
        q.poshi = 5;
        q.letterslo = 0;
        q.lettershi = 3;
        tables.quotechar = {q};
        tables.quotemask = {"wrote", "schrieb"};
        curmsg.areaname = "comp.lang.c";
    }
    // Feeds the lines and finishes; returns name and address found.
    std::pair<std::string, std::string> track(const std::vector<std::string>& lines) {
        curmsg.quotename.clear();
        curmsg.quoteemail.clear();
        quotetracker t;
        for (const auto& l : lines) t.line(l);
        t.finish();
        return {curmsg.quotename.str(), curmsg.quoteemail.str()};
    }
};

TEST_F(quotes, quotedlines) {
    struct {
        const char* line;
        bool quoted;
    } cases[] = {
        {"> text", true},  {"JD> text", true},     {"  > x", true},     {"ABCD> x", false},
        {"x, > y", false}, {"      > far", false}, {"no quote", false}, {"a > b", true},
    };
    for (const auto& c : cases) EXPECT_EQ(isquotedline(c.line), c.quoted) << c.line;
}

TEST_F(quotes, attributionsfollowedbyquotes) {
    using result = std::pair<std::string, std::string>;
    EXPECT_EQ(track({"John Doe wrote:", "> quoted"}), result("John Doe", ""));
    EXPECT_EQ(track({"On Monday, John Doe <jd@x.example> wrote:", "> q"}),
              result("John Doe", "jd@x.example"));
    EXPECT_EQ(track({"In comp.lang.c Ann Smith wrote:", "> q"}), result("Ann Smith", ""));
    // The attribution starts after two blanks in a row.
    EXPECT_EQ(track({"Hello.  Ann Smith wrote:", "> q"}), result("Ann Smith", ""));
    // Not at the start of a line, names of letters only, at least 3 long.
    EXPECT_EQ(track({"wrote: something", "> q"}), result("", ""));
    EXPECT_EQ(track({"Al wrote:", "> q"}), result("", ""));
    EXPECT_EQ(track({"R2D2 wrote:", "> q"}), result("", ""));
    // Confirmed only by a quote soon after: the 7 characters after the name
    // count towards the 72.
    EXPECT_EQ(track({"John Doe wrote:"}), result("", ""));
    EXPECT_EQ(track({"John Doe wrote:", std::string(66, 'x'), "> q"}), result("", ""));
    EXPECT_EQ(track({"John Doe wrote:", std::string(65, 'x'), "> q"}), result("John Doe", ""));
    // A later attribution replaces an unconfirmed one; a confirmed one stays.
    EXPECT_EQ(track({"John Doe wrote:", "Ann Smith schrieb:", "> q"}), result("Ann Smith", ""));
    EXPECT_EQ(track({"John Doe wrote:", "> q", "Ann Smith wrote:", "> q"}), result("John Doe", ""));
}

}  // namespace
