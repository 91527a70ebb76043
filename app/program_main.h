// The Windows program from start to end, in steps that tests can run one by
// one inside their own process.
#pragma once

#include <windows.h>

// The whole run; the exit code is 0 on every path.
int RunProgram(HINSTANCE instance, const char* argumentText, int show);

// Clears the upload job and reads the argument text. Returns 0 when the run
// ends here ("-q" with nothing to upload).
int ReadStartupArguments(const char* argumentText);
// Finds the program's directory and loads the settings.
void LoadProgramSettings();
// COM and common controls, the window class, the main window shown, and the
// connect command posted in automatic mode. Returns 0 when the class could
// not be registered; a window that failed to create ends the loop at once.
int OpenMainWindow(HINSTANCE instance, int show);
// Runs until the quit message; returns its wParam.
int RunMessageLoop();
// One message of the loop: a key of the main window becomes its command
// (F5 everywhere in it, Delete and Backspace in the file list), anything
// else is translated and dispatched.
void DispatchLoopMessage(MSG* message);
// Loads the key tables of the program's resources.
void LoadWindowKeys(HINSTANCE instance);
// COM and the library shut down, then the settings saved.
void FinishProgram();

extern const char* const MainWindowClass;
// ZemLibInit; a test puts a failing start in its place.
extern int (*StartSupportLibrary)();
