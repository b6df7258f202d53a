// Run counters of import and export, shown in the statistics lines.
#pragma once

struct runcounters {
    long messagecount = 0;     // messages taken (import) or written (export)
    long emailcount = 0;       // mail converted normally
    long newscount = 0;        // news converted normally
    long maillistcount = 0;    // mail moved into an area by a MailingList rule
    long junkcount = 0;        // messages marked as junk
    long ownorgcount = 0;      // messages of the own organisation
    long personalcount = 0;    // replies redirected to a personal name
    long filecount = 0;        // files reported by the attachment decoder
    long ignoretextcount = 0;  // mail matched by IgnoreMessageText
    long listmsgcount = 0;     // postings to a list (import) or list distributions (export)
    long listcmdcount = 0;     // mailing-list commands
    long listreplycount = 0;   // replies written by the list server
    long dupecount = 0;        // messages imported before (by their Message-ID)
    long setasidecount = 0;    // messages that could not be finished, set aside
    long emptycount = 0;       // messages without a byte but blanks, skipped

    void add(const runcounters& o) {
        messagecount += o.messagecount;
        emailcount += o.emailcount;
        newscount += o.newscount;
        maillistcount += o.maillistcount;
        junkcount += o.junkcount;
        ownorgcount += o.ownorgcount;
        personalcount += o.personalcount;
        filecount += o.filecount;
        ignoretextcount += o.ignoretextcount;
        listmsgcount += o.listmsgcount;
        listcmdcount += o.listcmdcount;
        listreplycount += o.listreplycount;
        dupecount += o.dupecount;
        setasidecount += o.setasidecount;
        emptycount += o.emptycount;
    }
};

// The counters of the message file being imported (or of the export run),
// and the totals of the import run.
extern runcounters stats;
extern runcounters totals;
