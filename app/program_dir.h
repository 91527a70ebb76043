// The directory of the running program, with its trailing separator.
#pragma once

// Fills ProgramDir; returns 1, or 0 when the path could not be had.
int FindProgramDir();
