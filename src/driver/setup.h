// pondlark setup postfix|inn: the lines that connect the gateway to the
// system's Postfix or INN, made from its configuration, ready to paste
// into a root shell. They are the lines of README's "Connecting PondLark"
// for the configuration at hand, so that the recipe cannot drift from it.
#pragma once

// Runs "pondlark setup postfix|inn [/config=<file>]": reads the
// configuration (as every command does, /config= naming another file)
// and writes the lines to standard output. Returns 0; 1 for a bad command
// line, a configuration that cannot be read or has errors, or one that
// lacks what the lines need (ImportMaildir for Postfix; ImportNewsBatches
// and a newsgroup gated in for INN), said on standard error. Reads and
// sets the process-wide configuration and run state.
int runsetup(int argc, char** argv);
