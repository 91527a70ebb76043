// Resource ids that both the program and its resource script use. The menu
// and dialog ids are listed with the command ids in app/command_ids.h.
#pragma once

#define IDI_VBROWSER 1
