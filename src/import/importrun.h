// The import command: the SOUP packet into FidoNet packets.
#pragma once

// Runs import; returns the exit status of the command.
int runimport();
