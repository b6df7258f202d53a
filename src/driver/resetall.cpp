#include "driver/resetall.h"

#include "bounce/bounce.h"
#include "bounce/sentmail.h"
#include "config/reader.h"
#include "config/settings.h"
#include "config/tables.h"
#include "driver/counters.h"
#include "driver/runstate.h"
#include "durable/journal.h"
#include "durable/pathscope.h"
#include "durable/workfiles.h"
#include "export/exportcounts.h"
#include "export/expstate.h"
#include "import/curmsg.h"
#include "import/fileoutput.h"
#include "import/replies.h"
#include "lists/listfiles.h"
#include "lists/listjournal.h"
#include "pkt/pktfile.h"
#include "transport/history.h"

void resetall() {
    run = runstate{};
    cfg = settings{};
    tables = gatetables{};
    curmsg = currentmessage{};
    replies = replyslots{};
    stats = runcounters{};
    totals = runcounters{};
    lists = mailinglists{};
    journal = listjournal{};
    jnl = runjournal{};
    recovered = recoveryinfo{};
    scope = pathscope{};
    outpkt = openpacket{};
    fileoutput = fileoutputs{};
    expstate = exportstate{};
    exportcounts = exportcountstate{};
    history = importhistory{};
    resetbounces();
    resetsentmail();
    forgetnames();
    reading = configreading{};
}
