// The start-up story of one run: banner, command line, environment,
// configuration, validation, directories, log, the command, exit status.
#pragma once

#include <string>

#include "base/identity.h"

// Runs the program; returns the exit status (0 after a command ran, 1 for
// a bad command line or configuration, 255 when memory runs out).
int runmain(int argc, char** argv);

// The handler of exhausted memory: "Error: not enough memory" on standard
// error and in the log, which is flushed and closed; then exit status 255.
[[noreturn]] void outofmemory();

// Ends the run with status 1 unless the part of path before its last "/"
// exists as a directory ("FATAL ERROR: subdirectory ... does not exist",
// then the configuration line of keyword that set it, when there is one).
void checkdir(const std::string& path, const char* keyword = nullptr);
