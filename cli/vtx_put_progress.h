// What vtx put shows on stderr while a batch runs: a live bar per file on a
// terminal, otherwise one plain line per finished file.
#pragma once

#include <cstdint>

// Installs the notice sink that drives the display.
void StartPutProgress(int live);
// Ends the display; returns the number of files that were sent completely
// and their bytes in *bytes.
uint32_t FinishPutProgress(uint64_t* bytes);
