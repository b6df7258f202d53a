// The pack command: compacts every mailing-list member file.
#pragma once

// Packs every configured list; returns the exit status of the command.
int packlists();
