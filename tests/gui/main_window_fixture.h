// Opens the real main window inside the test process, with a scripted line in
// place of the serial port: the line answers "l\r\n" with the listing that
// the test sets.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "tests/gui/support/gui_harness.h"
#include "tests/support/scripted_device.h"

// The listing most tests browse: two top directories, a nested one, an empty
// one and files of several sizes.
extern const char* const SampleListing;

class MainWindowTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // Settings in force when the window opens (call before OpenWindow).
    void UseSettings(const char* port, int baud, int usePath, int logFile);
    void OpenWindow();
    void CloseWindow();
    // Connects through the button; the answer is the current listing.
    void Connect();
    void ReRead();
    // Shows a directory through the tree ("/", "ram", "cncprg").
    void SelectDirectory(const std::vector<std::string>& path);

    std::string listing = SampleListing;
    int listingRequests = 0;
    ScriptedLine line;
    gui::BoxCapture boxes;
};
