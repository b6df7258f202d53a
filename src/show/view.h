// pondlark show: FidoNet packets, stored netmail messages and SOUP files
// as a sysop reads them. Packets and stored messages are written as the
// packet descriptions the tests build packets from (key: value lines, the
// text between "text:" and ".", kludges marked "^A", remarks after "#"),
// SOUP messages as their header fields and decoded text, with the files
// they carry listed.
#pragma once

#include <cstdio>
#include <string>

struct viewoptions {
    // The bytes as they are: no character-set conversion, nothing left
    // out, so that the description of a packet builds it again.
    bool raw = false;
};

// Runs "pondlark show [/raw] FILE...": each file to standard output, in
// order. Returns 0 when every file was shown whole; 1 when one could not
// be read, is of no kind known here, or is damaged (said in its remarks).
int runshow(int argc, char** argv);

// Whether the first bytes of a file (n of them) are a packet header: type
// 2 and a date that can be one.
bool ispacketheader(const unsigned char* b, std::size_t n);

// Whether the first bytes of a file are a stored message header: the date
// field holds a zero and the name, subject and date fields only text.
bool isstoredheader(const unsigned char* b, std::size_t n);

// The description of the packet in f (at its start) appended to out.
// Returns 0, or 1 when the packet is damaged (the remarks say where).
int viewpacket(std::FILE* f, const std::string& path, const viewoptions& o, std::string& out);

// The same for a stored message.
int viewstoredmsg(std::FILE* f, const std::string& path, const viewoptions& o, std::string& out);

// A SOUP message file of a format (FORMAT_RNEWS .. FORMAT_BINARY) message
// by message: header fields, text lines, the files it carries. Returns 0,
// or 1 when the file is damaged from some message on.
int viewsoupfile(std::FILE* f, const std::string& path, int format, const viewoptions& o,
                 std::string& out);

// The SOUP format of a message file guessed from its first bytes, or
// FORMAT_UNKNOWN.
int guesssoupformat(const std::string& head);
