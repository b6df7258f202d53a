// Export's last step: the replies waiting in the SOUP reply files go to
// the servers themselves. Mail goes by "SendMail" (SMTP through one
// session, or a program run per message with sendmail -oi -t semantics),
// news to the NewsServer its group is tied to (POST or IHAVE over one
// connection per server, see nntppost.h) or else by "PostNews" (one rnews
// batch of all of them on a program's standard input). A reply leaves its
// file (and REPLIES) only once the server took it: 250 after the data,
// 240 or 235 after an article, or the program's exit status 0.
// A temporary failure keeps every reply not yet taken for the next run; a
// permanent refusal (5xx for the message or every recipient; a sendmail
// exit status for bad data or unknown users) moves the reply to
// SoupDir/rejected/ as a file of its own (so does a news server's 441 or
// 437).
#pragma once

constexpr char REJECTEDDIR[] = "rejected/";

// Delivers what the reply files hold of each kind that has a way out,
// finishing first what a killed run had delivered (the delivery log).
// Reads cfg.sendmail, cfg.postnews, cfg.newsservers and the AreaMap
// table, cfg.soupdir; under /test nothing is
// sent. Reports through logprintf. Returns 0, or -1 when something was
// kept for the next run because of a failure.
int deliverreplies();
