// Pictures of windows as the screen shows them, for people to look at.
#include <cstdlib>

#include "tests/gui/support/gui_harness.h"

namespace gui {

std::string ScreenshotDirectory()
{
    const char* configured = getenv("VBROWSER_SCREENSHOTS");
    std::string directory = configured && configured[0] ? configured : "screenshots";
    // A Unix path from the build is reached through Wine's drive for "/".
    if (directory[0] == '/')
        directory = "Z:" + directory;
    for (char& c : directory)
        if (c == '/')
            c = '\\';
    if (directory.back() != '\\')
        directory += '\\';
    CreateDirectoryA(directory.c_str(), nullptr);
    return directory;
}

bool SaveWindowImage(HWND window, const std::string& path)
{
    RECT rect;
    if (!GetWindowRect(window, &rect))
        return false;
    const int width = rect.right - rect.left;
    const int height = rect.bottom - rect.top;
    if (width <= 0 || height <= 0)
        return false;
    HDC screen = GetDC(nullptr);
    HDC memory = CreateCompatibleDC(screen);
    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof(info.bmiHeader);
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = height;   // bottom-up, as .bmp files store it
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 24;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    HBITMAP bitmap = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    bool saved = false;
    if (bitmap) {
        HGDIOBJ old = SelectObject(memory, bitmap);
        BitBlt(memory, 0, 0, width, height, screen, rect.left, rect.top, SRCCOPY);
        SelectObject(memory, old);
        const DWORD stride = ((static_cast<DWORD>(width) * 3 + 3) & ~3u);
        const DWORD imageSize = stride * static_cast<DWORD>(height);
        BITMAPFILEHEADER file = {};
        file.bfType = 0x4D42;
        file.bfOffBits = sizeof(file) + sizeof(info.bmiHeader);
        file.bfSize = file.bfOffBits + imageSize;
        HANDLE out = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (out != INVALID_HANDLE_VALUE) {
            DWORD written = 0;
            saved = WriteFile(out, &file, sizeof(file), &written, nullptr) &&
                    WriteFile(out, &info.bmiHeader, sizeof(info.bmiHeader), &written, nullptr) &&
                    WriteFile(out, bits, imageSize, &written, nullptr);
            CloseHandle(out);
        }
        DeleteObject(bitmap);
    }
    DeleteDC(memory);
    ReleaseDC(nullptr, screen);
    return saved;
}

}  // namespace gui
