// The few user-interface effects that the portable core needs: the "Problem"
// message box, the wait cursor and a command posted to the main window.
// The Windows build shows them with MessageBoxA, SetCursor and PostMessageA;
// the console build prints problems to stderr. Tests install a sink.
#pragma once

#include <cstdint>

void ZemUiProblem(const char* text);
void* ZemUiSetWaitCursor();                    // returns the cursor it replaced
void ZemUiRestoreCursor(void* cursor);
void ZemUiPostCommand(unsigned id, intptr_t param);

// Windows: a message box without owner window that comes to the front, so
// that a run started from another program does not wait behind its window.
// Returns the button chosen (IDOK, IDYES, ...).
int ZemUiBox(const char* text, const char* caption, unsigned buttons);

// Windows: the window that receives posted commands and the cursor shown while
// the controller is talked to (loaded once when the main window is created).
void ZemUiAttachWindow(void* window, void* waitCursor);

struct ZemUiSink {
    void (*problem)(void* context, const char* text);
    void (*postCommand)(void* context, unsigned id, intptr_t param);
    void* context;
};
// Null restores the platform behaviour.
void ZemUiSetSink(const ZemUiSink* sink);
