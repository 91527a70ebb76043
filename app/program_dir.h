// The directory of the running program, with its trailing separator.
#pragma once

// Windows: 0 when a path that the system handed over in the ANSI code page
// has '?' in it. Windows allows no '?' in a name, so there the code page had
// no letter for a character of the real name, and the path names no file.
int AnsiPathIsWhole(const char* path);

// Fills ProgramDir; returns 1, or 0 when the path could not be had.
int FindProgramDir();
