#include "transport/nntppost.h"

#include "base/text.h"
#include "transport/nntpreply.h"

namespace {
constexpr std::size_t READPIECE = 1 << 16;

// Whether a refusal says the server has the article already (INN: "441
// 435 Duplicate"; others "already exists", "duplicate article").
bool alreadythere(const std::string& text) {
    if (text.compare(0, 4, "435 ") == 0) return true;
    std::string t = text;
    for (char& c : t) c = static_cast<char>(lowerc(static_cast<unsigned char>(c)));
    return t.find("duplicate") != std::string::npos || t.find("already") != std::string::npos;
}

std::string answer(const nntpstatus& st) {
    return std::to_string(st.code) + (st.text.empty() ? "" : " " + st.text);
}
}  // namespace

nntpposter::~nntpposter() {
    if (conn.isopen()) conn.quit();
}

postoutcome nntpposter::down(std::string why) {
    // A connection left in an unknown state is not used again this run.
    failed = true;
    failure = why;
    conn.drop();
    return {POST_DOWN, std::move(why)};
}

int nntpposter::connect(postoutcome& o) {
    if (conn.isopen()) return 0;
    if (failed) {
        o = {POST_DOWN, failure};
        return -1;
    }
    std::string why;
    ++opened;
    // POST is a reader's command; IHAVE goes to the peer's feeding side.
    if (conn.open(server, !server.ihave, why) != 0) {
        o = down(why);
        return -1;
    }
    return 0;
}

postoutcome nntpposter::post(const std::string& messageid, const std::function<long(char*, std::size_t)>& article) {
    postoutcome o;
    if (connect(o) != 0) return o;
    nntpstatus st;
    std::string why;
    bool ihave = server.ihave;
    if (ihave && messageid.empty()) return {POST_REFUSED, "no Message-ID to offer by IHAVE"};
    if (conn.command(ihave ? "IHAVE " + messageid : std::string("POST"), st, why) != 0) return down(why);
    if (ihave && st.code == 435) return {POST_DONE, answer(st)};
    if (st.code != (ihave ? 335 : 340)) {
        // 400 (going away), 440 (no posting), 480 (a login wanted): no
        // other article would get further.
        if (st.code / 100 == 4 && st.code != 400 && st.code != 440 && st.code != 480)
            return {POST_KEPT, answer(st)};
        return down((ihave ? "IHAVE: " : "POST: ") + answer(st));
    }
    blockwriter w;
    std::string wire;
    std::vector<char> buf(READPIECE);
    for (;;) {
        long n = article(buf.data(), buf.size());
        if (n < 0) return down("the reply file cannot be read");
        if (n == 0) break;
        wire.clear();
        w.feed(std::string_view(buf.data(), static_cast<std::size_t>(n)), wire);
        if (conn.queue(wire, why) != 0) return down(why);
    }
    wire.clear();
    w.finish(wire);
    if (conn.queue(wire, why) != 0 || conn.readstatus(st, why) != 0) return down(why);
    if (st.code == (ihave ? 235 : 240)) return {POST_DONE, answer(st)};
    // An article posted by a run killed before it noted the 240 comes
    // again with its Message-ID; a server that has it says so in its 441.
    if (!ihave && st.code == 441 && alreadythere(st.text)) return {POST_DONE, answer(st)};
    if (st.code == (ihave ? 437 : 441)) return {POST_REFUSED, answer(st)};
    if (st.code / 100 == 4) return {POST_KEPT, answer(st)};
    return down(answer(st));
}
