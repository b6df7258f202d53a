// The command line: one command word and the options.
#pragma once

// Reads the arguments after the program name into run.mode and the flags.
// Ends the run through usage() when the command line is not acceptable.
void parsecommandline(int argc, char** argv);

// Prints the usage text on standard output and ends the run with status 1.
[[noreturn]] void usage();
