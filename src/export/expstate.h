// The process-wide state of an export run besides the current message: the
// attachment list that the stored-netmail and outbound sources fill for the
// messages they hand to the converter, and the loading of a route's values.
//
// The routing state itself is curmsg.routing (-1 not yet known, 0 the
// gateway, 1 a route whose values are loaded into curmsg.routemailpwd,
// curmsg.routemailsubj and curmsg.msgtoemail).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "base/fixedtext.h"
#include "config/tables.h"

constexpr std::size_t MAXFLOWFILES = 2048;

enum routingstates { ROUTING_UNKNOWN = -1, ROUTING_GATEWAY = 0, ROUTING_ROUTE = 1 };

// Kinds of attachment-list entries. An entry changes to FLOW_DONE once,
// when its file has been exported as a packet or attached to a message.
enum flowkinds : std::uint8_t { FLOW_PACKET = 0, FLOW_FILE = 1, FLOW_DONE = 2 };

struct flowentry {
    std::uint8_t kind = FLOW_FILE;
    // The name as listed, with a leading "^" (delete after sending) or "#"
    // (truncate after sending) when the flow file or subject had one.
    std::string name;
};

struct exportstate {
    // The attachment list; flowfilelist.size() is its count (flowfiles).
    std::vector<flowentry> flowfilelist;
    // The address of the route loadroute() chose: every message for the
    // route starts from it, whatever the message before it was sent to.
    text128 routeemail;
    // Where exportpkt stopped when it gave PKT_FAILED: the file offset of
    // the first message that was not exported completely. Every message
    // before it is in the reply files, so a packet kept for the next run
    // can be cut down to the messages from here on.
    long pktresume = -1;
    // While a packet file is read, the files its messages attached with
    // "delete" or "truncate after sending" keep their content until the
    // packet is settled: a packet kept whole for the next run takes back
    // its replies, and the files must still be there then. Path and action.
    bool holdafter = false;
    std::vector<std::pair<std::string, int>> heldafter;
};

extern exportstate expstate;

// The number of entries in the attachment list.
inline std::size_t flowfiles() {
    return expstate.flowfilelist.size();
}

// FLOW_PACKET when the name's extension (from its last ".") is ".PKT" in
// any letter case, else FLOW_FILE.
std::uint8_t flowfilekind(std::string_view name);

// Appends name to the attachment list with the kind flowfilekind() gives.
// Returns 0, or -1 when the list already holds MAXFLOWFILES entries.
[[nodiscard]] int addflowfile(std::string_view name);

// Empties the attachment list.
void clearflowfiles();

// The name of an entry without one leading "^" or "#": the file to open.
std::string_view flowfilepath(std::string_view name);

// Loads a route's password, subject and e-mail address into the current
// message (and expstate.routeemail) and sets curmsg.routing to
// ROUTING_ROUTE. The sources select routes only through this.
void loadroute(const routeentry& r);
