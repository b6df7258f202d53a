// What makes the list server's mail pass the large mailbox providers' rules
// for lists (DMARC, RFC 2369, RFC 2919, RFC 8058): List-Id, List-Post and
// List-Unsubscribe on every redistribution, the From of an Internet author
// rewritten to the list's own address (ListFromRewrite), and only
// addresses that are one mailbox each among the recipients.
#pragma once

#include <string>
#include <string_view>

#include "lists/listfiles.h"
#include "lists/memberindex.h"

// Appends "List-Id: <ListName> <local.domain>", "List-Post:
// <mailto:address>", "List-Unsubscribe: <mailto:address?subject=unsubscribe>"
// (the list's ListUnsubscribeURL first when it has one) and, with that
// URL, "List-Unsubscribe-Post: List-Unsubscribe=One-Click" (which RFC 8058
// allows with an https:// URL only). Texts that are not ASCII are encoded
// in charset.
void appendlistlines(std::string& out, const listrecord& list, std::string_view charset = {});

// Appends "<field>: <name> <address>" and a line feed: the name as it
// stands when it is atoms and blanks, else as a quoted string, or in
// encoded words of charset when it is not ASCII; just the address when the
// name is empty.
void appendnamedaddressline(std::string& out, std::string_view field, std::string_view name,
                            std::string_view address, std::string_view charset = {});

// The name an Internet author's posting is sent under when the list
// rewrites its From: "Author Name via ListName" (the author's address when
// the posting gave no name).
std::string rewrittenname(const listrecord& list, std::string_view authoraddress,
                          std::string_view authorname);

// Whether a member gets the list's mail: not black-listed, and an address
// that is one mailbox (a record holding anything else, which older runs
// could write, is left out and logged).
bool receiveslistmail(const listrecord& list, const memberdata& m);
