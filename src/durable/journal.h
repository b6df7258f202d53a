// Crash safety for every command, in one place. The guarantee:
// - A unit is one piece of input (a SOUP message file, a FidoNet packet, a
//   stored message, an outbound flavour, a list file) and everything made
//   from it. Units opened inside a unit join it.
// - An output becomes visible (gets its real name) only when its unit
//   commits; until then it lives under a temporary name. Files appended to
//   or changed in place are noted before the first change.
// - The input goes (removed, renamed, marked) only after the commit, so
//   whatever is taken away has its outputs complete under their names.
// - Recovery at the start of the next command finishes every committed
//   unit and takes back the one that did not commit (temporaries removed,
//   noted files cut back or restored); every step is safe to repeat.
// A run killed at any instant (a signal, the OOM killer, a time limit, a
// crash) thus loses nothing and doubles nothing.
//
// The journal is the record that makes this work. Work is done in units,
// each one piece of input and everything made from it: a SOUP message file
// with its packets, decoded files, list replies and list changes; a FidoNet
// packet, a stored message or an outbound flavour with the reply messages
// made from it; one list file packed. A unit's outputs are written under
// temporary names (".tmp" appended) and get their real names only when the
// unit commits; files it appends to or changes in place are noted first,
// so that their old state can be restored; what is to become of its input
// (removed, renamed, marked) is queued and done only after the commit.
//
// The journal is the text file "pondlark.jnl" in SoupDir, one record a
// line: a letter, fields separated by TAB (TAB, line feed, carriage
// return and backslash escaped as \t \n \r \\), and the CRC-32 of all
// that as 8 hex digits. A record is written with one write() when it is
// made, before the change it announces. A line that does not end or whose
// CRC is wrong ends the journal (only the tail of a journal can be torn,
// since a short write is cut off again at once).
//
//   H  "PondLark journal" 1 command pid sync       the run's first record
//   B  unit kind input identity                    a unit begins
//   S  path size inode                             a file about to grow or shrink
//   P  path position oldbyte inode                 a byte about to be overwritten
//   O  temporary final how                         an output being written
//   T  path                                        a temporary file of the unit
//   Y  path                                        a busy flag about to be made
//   X  path identity                               to remove after the commit
//   M  path newpath identity                       to rename after the commit
//   W  path position hexbytes inode                to overwrite after the commit
//   Z  path size inode                             to cut after the commit
//   C  unit                                        the unit's outputs are complete
//   K                                              everything committed is on disk
//   D  unit                                        units up to this one are settled
//   A  unit                                        the unit was taken back in the run
//
// Identity is "inode:size:mtime-ns" of the file when it was recorded;
// recovery touches nothing whose identity has changed since.
//
// The SOUP folder may be shared with other programs, so a journal found
// there is not taken on trust: it must be a plain file of the user running
// PondLark (or root), and recovery acts only on paths in the scope of the
// configuration (durable/pathscope.h), reached without following links;
// a path outside is named in the log and left alone, unless the flow file
// or stored message of its unit still lists it (a file the local mailer
// asked to have deleted or emptied once sent). Those files are settled
// before the unit's other work, while their listing is still there.
//
// Only one PondLark run works on a SOUP directory at a time: the directory
// is locked (flock) while a command runs, and a second run waits for it.
//
// Without SyncWrites nothing is forced to the disk: a process killed at any
// instant leaves everything it wrote with the system, which is enough for
// all of the above. With SyncWrites a power cut is covered too: the
// journal is synced after its first record (and the SOUP folder with it),
// after every P and Y record and after the first S record of a file since
// the last checkpoint; committed units wait for a checkpoint (every 64
// units, before a busy flag goes, and at the end of the command) that
// syncs the file systems of every file noted or made (syncfs), records K
// and syncs the journal, and only then publishes outputs and removes,
// renames or marks inputs, syncing the folders touched. Files written
// outside a unit are synced before they are closed.
#pragma once

#include <string>
#include <string_view>
#include <vector>

// What a file is: recovery acts only on the file it recorded.
struct fileid {
    long long ino = -1;    // -1: the file did not exist
    long long size = -1;
    long long mtime = -1;  // nanoseconds
    bool exists() const { return ino >= 0; }
};

// The identity of the entry at path now (a link is not followed).
fileid identify(const std::string& path);

// How an output gets its final name.
enum publishhow {
    PUBLISH_PACKET = 'p',   // never over an existing file; another free packet name if taken
    PUBLISH_FILE = 'f',     // never over an existing file; a changed name if taken
    PUBLISH_REPLACE = 'r',  // replaces the file of that name (a rewritten input)
};

// The temporary name an output is written under: final + ".tmp".
std::string tempname(const std::string& final);

// Whether a name is taken for a new output: the file exists, or an output
// of that name is being written under its temporary name.
bool outputtaken(const std::string& final);

// One thing a committed unit does, in-run or at recovery.
struct journalaction {
    char type = 0;  // 'O' publish, 'T' remove temporary, 'X', 'M', 'W', 'Z'
    std::string path;
    std::string other;  // O: the final name; M: the new name
    long long pos = 0;  // W: position; Z: size
    std::string bytes;  // W: the bytes
    int how = 0;        // O: publishhow
    fileid id;          // X, M: identity; W, Z: inode
};

struct runjournal {
    int lockfd = -1;    // the journal file, locked while a command runs
    int fd = -1;        // the same, while records are written to it; -1 without a journal
    std::string path;
    long long length = 0;  // bytes of whole records written
    int sync = 0;       // fsync outputs and the journal before inputs go
    int depth = 0;      // open units (inner ones join the outermost)
    long unit = 0;      // the number of the open or last unit
    bool failed = false;  // a record of the open unit could not be written
    bool broken = false;  // a commit could not be recorded: the journal stays for recovery
    std::vector<std::string> noted;        // files noted (S) in the open unit
    std::vector<journalaction> outputs;    // O and T of the open unit
    std::vector<journalaction> actions;    // X, M, W, Z of the open unit
    // With sync: the work of committed units, done at the next checkpoint.
    std::vector<journalaction> pending;
    std::vector<std::string> syncfiles;    // to sync at the checkpoint
    std::vector<std::string> durablenoted; // noted on the disk since the last checkpoint
    long pendingunits = 0;
    long lastsettled = 0;  // the last unit whose actions are done
};

extern runjournal jnl;

// Whether a command keeps a journal now.
inline bool journalactive() {
    return jnl.fd >= 0;
}

// What the recovery of an interrupted run did, for the command that follows.
struct recoveryinfo {
    bool recovered = false;
    std::vector<std::string> consumed;  // inputs removed or set aside by it
    std::vector<std::string> restored;  // files put back as they were (lists among them)
};

// What the recovery at the start of the running command found.
extern recoveryinfo recovered;

// Whether the interrupted run consumed (removed or set aside) the input at path.
bool wasconsumed(const std::string& path);

// Opens and locks SoupDir + "pondlark.jnl" for a command (waiting while
// another run holds it), recovers what an interrupted run left (logging
// "recovered from an interrupted run: ..."), and starts a fresh journal.
// Reads cfg.soupdir. Returns 0, or -1 (reported) when the journal cannot
// be opened or what it holds cannot be recovered: the command must not run
// then. When only its first record cannot be written (a full disk), the
// command runs without a journal (reported): what fails is still kept for
// the next run, but a kill is no longer covered.
[[nodiscard]] int journalstart(const char* command, int sync, recoveryinfo& info);

// At the end of a command: settles what is pending, syncs, removes the
// journal and releases the lock.
void journalfinish();

// Reads the journal at path without changing anything: "" when there is
// none or it holds nothing to recover, else a sentence for check: what
// the next command will do with it.
std::string journalpending(const std::string& path);

// Units. unitbegin opens a unit for input (may be empty); an inner call
// only counts. Every record function returns 0, or -1 when the journal
// could not be written (reported): the change it announces must not be
// made then, and the unit must be taken back.
void unitbegin(const char* kind, const std::string& input);
bool unitopen();
// Notes a file the unit is about to append to, cut or rewrite in place:
// once per unit, before the first change.
[[nodiscard]] int unitnote(const std::string& path);
// Notes the byte at pos of path before it is overwritten.
[[nodiscard]] int unitbyte(const std::string& path, long pos, char old);
// An output about to be created at tempname(final) (or at tmp); published
// at commit.
[[nodiscard]] int unitoutput(const std::string& final, int how);
[[nodiscard]] int unitoutputas(const std::string& tmp, const std::string& final, int how);
// The output is complete and closed: outside a unit it is published now;
// in a unit it waits for the commit. Returns 0, or -1 (reported).
int outputcomplete(const std::string& final);
// A noted output that will not be published after all (removed, or empty).
void unitdropoutput(const std::string& final);
// The final name an output got when it was published (it may have had to
// take another); final itself when it was not renamed.
std::string unitpublished(const std::string& final);
// A temporary file about to be created; removed at commit and by recovery.
[[nodiscard]] int unittemp(const std::string& path);
// Actions after the commit; the identity of the file is taken now.
// inodeonly: the unit changes the file itself before (marks it), so only
// its inode tells it.
void unitremove(const std::string& path, bool inodeonly = false);
void unitmove(const std::string& path, const std::string& newpath);
void unitwrite(const std::string& path, long pos, const std::string& bytes);
void unittruncate(const std::string& path, long size);
// Whether the open unit (or, with sync, a committed one waiting for its
// checkpoint) is to remove or empty the file at path: for the rest of the
// run it counts as gone.
bool unitgone(const std::string& path);
// A commit could not be recorded: the run must stop taking on work and
// leave the rest, and the unit, to the next run's recovery.
bool journalbroken();
// A file to fsync before the unit's input goes (when syncing).
void unitsync(const std::string& path);
// Commits the outermost unit: records what it queued and "C", then
// publishes its outputs and does its actions (with sync: at the next
// checkpoint, after everything is on disk). Returns 0, or -1 when an
// action failed (reported). An inner call only counts.
int unitcommit();
// The unit was taken back in the run (its outputs removed, files
// restored): records "A" and forgets what it queued.
void unitabandon();
// With sync: makes everything committed durable and does the pending
// actions now (also called by journalfinish).
void journalcheckpoint();

// Busy flags: before making one, the run records it; recovery removes a
// flag left by the run whose pid it names.
[[nodiscard]] int journalbusyflag(const std::string& path);
// The content PondLark writes into its busy flags.
std::string busyflagcontent();

// Helpers the outputs use.
// fdatasync of an open descriptor when the journal syncs; 0 or -1.
[[nodiscard]] int syncfd(int fd);
// Renames tmp to final as how says; final receives the name it got.
// Returns 0, or -1 (errno set).
[[nodiscard]] int publishfile(const std::string& tmp, std::string& final, int how);
// Performs one action. In the run it works on the paths as made (opening
// none through a link); in recovery it checks identities first and reaches
// each path through the scope (ACT_SCOPED) or, for a path outside that a
// file in scope vouches for, by its name (ACT_VOUCHED). Returns 0, or -1
// when it failed (reported). Counts into the recovery summary.
enum actionplaces { ACT_INRUN = 0, ACT_SCOPED = 1, ACT_VOUCHED = 2 };
struct actioncounts {
    long published = 0, removed = 0, renamed = 0, marked = 0, cut = 0, refused = 0;
};
int performaction(const journalaction& a, int where, actioncounts* counts);

// Whether an action of a unit acts on a path outside the scope (such
// actions come first in the unit's work; see above).
bool actsoutside(const journalaction& a);
