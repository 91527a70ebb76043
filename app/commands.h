// The command handlers that DispatchCommand calls, grouped by concern:
// connection and browsing (commands_connect.cpp), options and info
// (commands_options.cpp), transfers (commands_transfer.cpp), remote files
// (commands_remote.cpp) and the automatic mode (auto_mode.cpp).
#pragma once

#include <cstdint>

void DispatchCommand(unsigned id, intptr_t param);

void CommandConnect();
void CommandReRead();
void CommandExit();
void CommandOption(unsigned id);
void CommandInfo();
void CommandShowFetched(unsigned id);        // CMD_SHOW_PARAMETERS and CMD_SHOW_TOOLLIST
void CommandDelete();
void CommandUpload();
void CommandDropFiles(intptr_t drop);
void CommandAfterConnect();
void CommandAutoUpload();

// Re-read: ReadDirectories with the connected port, then RefreshViews.
void ReReadAndRefresh();
// Shows "You must first connect to a Vantorix." or the busy message and
// returns 0 when the port cannot be used now.
int GuardPort(const char* busyMessage);
