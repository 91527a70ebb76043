// The options and window rectangle kept in "Vantorix1.ini" beside the program.
#pragma once

#include <cstdint>

struct WindowRectangle {
    int32_t left;
    int32_t top;
    int32_t right;    // after LoadSettings: the width; after the window closed: the right edge
    int32_t bottom;   // after LoadSettings: the height; after the window closed: the bottom edge
};

struct ProgramSettings {
    signed char LogFile;       // non-zero: the serial traffic log is written
    signed char UsePath;       // 1: uploads go to the directory of the path box
    char Port[256];
    int32_t Baudrate;
    char DefUplPath[520];
    WindowRectangle WindowRect;
};

extern ProgramSettings Settings;
extern char ProgramDir[520];

constexpr uint32_t SETTINGS_PATH_SIZE = 256;

int LoadSettings();
int SaveSettings();

// The number rule of settings and controls: white space, optional sign,
// decimal digits in 32-bit arithmetic that wraps.
int32_t ParseSettingNumber(const char* text);
