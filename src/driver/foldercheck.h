// What check says of the folders PondLark writes, beyond whether they
// exist: a folder every user may write (anyone could plant a link or a
// file of their own choosing there), and, when check runs as root, a
// folder that belongs to another user (who could do the same to a run
// with root's rights). Warnings only: a run still works in such folders.
#pragma once

// Writes one "Warning: ..." to standard error for each such folder and
// counts it in run.configwarnings. Reads cfg (InboundDir, OutboundDir,
// NetmailDir, SoupDir, DecodeDir, TempDir, ImportMaildir with its new/
// and cur/, ImportNewsBatches, the folder of LogFile) and the effective
// user of the process.
void checkfolders();
