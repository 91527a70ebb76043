// The Windows entry point.
#include <windows.h>

#include "app/program_main.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR argumentText, int show)
{
    // The system hands over the text behind the program's name; leading
    // blanks are not part of it.
    while (*argumentText == ' ' || *argumentText == '\t')
        argumentText++;
    return RunProgram(instance, argumentText, show);
}
