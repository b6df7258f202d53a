// The export command: FidoNet mail for the gateway into SOUP replies.
#pragma once

// Runs export; returns the exit status of the command.
int runexport();
