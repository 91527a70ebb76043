// The DeviceTree as one JSON object, for the console client and the listing
// tests: {"ramDiskFree":N,"flashDiskFree":N,"root":{...}} with directories as
// {"name":S,"type":"dir","children":[...]} and files as
// {"name":S,"type":"file","size":N}, in listing order.
#pragma once

#include <cstdio>

#include "tree/device_tree.h"

// Names are 8-bit text of no known encoding: every byte below 0x20 or from
// 0x80 on is written as \u00XX of its value, so the output is plain ASCII.
void WriteJsonString(FILE* out, const char* text);
// Writes the loaded tree; the caller checks arraysInUse first.
void WriteTreeJson(FILE* out, const DeviceTree* tree);
