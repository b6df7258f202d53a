// Template replies of the list server: a text file of the list (Welcome,
// GoodBye, ...) sent to one addressee as a reply to the current message,
// with the macros @LISTNAME@, @LISTADDRESS@, @LISTAREA@, @YOURNAME@,
// @YOURADDRESS@, @PASSWORD@, @KEEPERNAME@ and @KEEPERADDRESS@ filled in.
//
// A reply is written in two steps, so that a membership change can be made
// between them and undone with the reply: composetemplate leaves the whole
// message in the mail reply file, finishtemplate commits it. abortreply
// (import/replies.h) takes a composed reply back.
#pragma once

#include "import/replies.h"
#include "lists/listfiles.h"
#include "lists/memberindex.h"

// Appends the reply from templ to the addressee to into the mail reply
// file and leaves it open in h. Reads curmsg (subject, Message-ID,
// organisation), cfg (organization, timezonestr), the clock; advances
// lists.msgidcounter. Returns 1 when composed; 0 when no reply is due (no
// template configured; a template that cannot be opened is reported);
// -1 when the reply could not be written (reported, nothing left behind).
[[nodiscard]] int composetemplate(const listrecord& list, const memberdata& to,
                                  const listtext& templ, replymsg& h);

// Completes a reply composed into h (nothing happens when h is not open):
// closes the record, counts stats.listreplycount and, under /verbose, logs
// "+ reply from ...". Returns 0, or -1 when the reply could not be written.
[[nodiscard]] int finishtemplate(const listrecord& list, const memberdata& to,
                                 const listtext& templ, replymsg& h);

// composetemplate and finishtemplate in one. Returns 0 (sent, or nothing
// due) or -1 (reported; the caller keeps its input).
[[nodiscard]] int sendlisttemplate(const listrecord& list, const memberdata& to,
                                   const listtext& templ);
