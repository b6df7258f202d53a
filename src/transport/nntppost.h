// Posting the run's news replies to a news server: one connection for all
// of them, opened by the first, each article by POST (or by IHAVE with its
// Message-ID when the server is "ihave", a peer that feeds the gateway),
// its text as a multi-line block. What the server answers decides each
// article's fate, which the delivery (delivery.h) carries out: posted (240
// or 235; 435 to IHAVE, and a 441 to POST that says the article is a
// duplicate: the server has it already), kept for the next run
// (any other 4xx), refused for good (441, 437), or the server is down (no
// connection, a broken one, or an answer that makes no sense there: this
// article and the rest wait for the next run).
#pragma once

#include <functional>
#include <string>

#include "config/settings.h"
#include "transport/nntpconn.h"

enum postresults { POST_DONE = 0, POST_KEPT = 1, POST_REFUSED = 2, POST_DOWN = 3 };

struct postoutcome {
    int result = POST_DOWN;
    std::string why;  // the server's answer or the failure, one line
};

class nntpposter {
   public:
    explicit nntpposter(const newsserverdef& s) : server(s) {}
    ~nntpposter();  // says QUIT
    nntpposter(const nntpposter&) = delete;
    nntpposter& operator=(const nntpposter&) = delete;

    // Posts one article. article reads it, header and body with LF line
    // ends, into the buffer it is given: the number of bytes, 0 at its
    // end, -1 when it cannot be read (the article is kept then, and the
    // connection given up, as it is left in the middle of a block).
    // messageid is what IHAVE offers.
    postoutcome post(const std::string& messageid, const std::function<long(char*, std::size_t)>& article);
    // Connections opened so far (1 when all went over one).
    int connections() const { return opened; }

   private:
    int connect(postoutcome& o);
    postoutcome down(std::string why);
    const newsserverdef& server;
    nntpconnection conn;
    int opened = 0;
    bool failed = false;
    std::string failure;
};
