// The options and the window rectangle, read from "Vantorix1.ini" in the
// program's directory at start-up and written back at the end.
#include <cstdio>
#include <cstring>

#include "app/profile.h"
#include "app/settings.h"

ProgramSettings Settings;
char ProgramDir[520];

static const char SETTINGS_FILE_NAME[] = "Vantorix1.ini";
static const char MAIN_SECTION[] = "Vantorix";
static const char POSITION_SECTION[] = "VantorixPos";

// The settings path has 256 bytes. A longer ProgramDir must not be cut, which
// would read and write a file somewhere else, so the settings then stay at
// their defaults and are not saved. An empty ProgramDir (its lookup failed)
// would name a file in whatever directory the system picks; it is refused too.
static int BuildSettingsPath(char* path)
{
    size_t length = strnlen(ProgramDir, sizeof(ProgramDir));
    if (length == 0 || length + sizeof(SETTINGS_FILE_NAME) > SETTINGS_PATH_SIZE)
        return 0;
    memcpy(path, ProgramDir, length);
    memcpy(path + length, SETTINGS_FILE_NAME, sizeof(SETTINGS_FILE_NAME));
    return 1;
}

static void ReadSettingText(const char* path, const char* section, const char* key, const char* defaultText,
                            char* buffer, uint32_t size)
{
    if (path) {
        ProfileReadString(section, key, defaultText, buffer, size, path);
        return;
    }
    snprintf(buffer, size, "%s", defaultText);
}

static int32_t ReadSettingNumber(const char* path, const char* section, const char* key, const char* defaultText)
{
    char number[20];
    ReadSettingText(path, section, key, defaultText, number, sizeof(number));
    return ParseSettingNumber(number);
}

int LoadSettings()
{
    char pathBuffer[SETTINGS_PATH_SIZE];
    const char* path = BuildSettingsPath(pathBuffer) ? pathBuffer : nullptr;
    // The two options keep the low 8 bits: 256 becomes 0, 200 becomes -56.
    Settings.LogFile = static_cast<signed char>(ReadSettingNumber(path, MAIN_SECTION, "LogFile", "0"));
    Settings.UsePath = static_cast<signed char>(ReadSettingNumber(path, MAIN_SECTION, "UsePath", "0"));
    ReadSettingText(path, MAIN_SECTION, "Port", "COM1", Settings.Port, 20);
    Settings.Baudrate = ReadSettingNumber(path, MAIN_SECTION, "Baudrate", "57600");
    ReadSettingText(path, MAIN_SECTION, "DefUplPath", "", Settings.DefUplPath, sizeof(Settings.DefUplPath));
    // "2147483648" wraps to the system's value for "choose the position or size".
    Settings.WindowRect.left = ReadSettingNumber(path, POSITION_SECTION, "left", "2147483648");
    Settings.WindowRect.top = ReadSettingNumber(path, POSITION_SECTION, "top", "2147483648");
    Settings.WindowRect.right = ReadSettingNumber(path, POSITION_SECTION, "right", "2147483648");
    Settings.WindowRect.bottom = ReadSettingNumber(path, POSITION_SECTION, "bottom", "2147483648");
    return 1;
}

static int WriteSettingNumber(const char* path, const char* section, const char* key, int32_t value)
{
    char number[20];
    snprintf(number, sizeof(number), "%d", static_cast<int>(value));
    return ProfileWriteString(section, key, number, path);
}

// A 32-bit difference that wraps like the system's own arithmetic.
static int32_t WrappingDifference(int32_t high, int32_t low)
{
    return static_cast<int32_t>(static_cast<uint32_t>(high) - static_cast<uint32_t>(low));
}

int SaveSettings()
{
    char path[SETTINGS_PATH_SIZE];
    if (!BuildSettingsPath(path))
        return 0;
    const WindowRectangle& rect = Settings.WindowRect;
    // The file holds the width and height under "right" and "bottom".
    return WriteSettingNumber(path, MAIN_SECTION, "LogFile", Settings.LogFile) &&
           WriteSettingNumber(path, MAIN_SECTION, "UsePath", Settings.UsePath) &&
           ProfileWriteString(MAIN_SECTION, "Port", Settings.Port, path) &&
           WriteSettingNumber(path, MAIN_SECTION, "Baudrate", Settings.Baudrate) &&
           ProfileWriteString(MAIN_SECTION, "DefUplPath", Settings.DefUplPath, path) &&
           WriteSettingNumber(path, POSITION_SECTION, "left", rect.left) &&
           WriteSettingNumber(path, POSITION_SECTION, "top", rect.top) &&
           WriteSettingNumber(path, POSITION_SECTION, "right", WrappingDifference(rect.right, rect.left)) &&
           WriteSettingNumber(path, POSITION_SECTION, "bottom", WrappingDifference(rect.bottom, rect.top));
}
