// Opens the real main window inside the test process, with a scripted line in
// place of the serial port: the controller answers "l\r\n" with the listing
// the test sets, "p\r\n" and "t\r\n" with the answers set, and a delete with OK.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/gui/support/gui_harness.h"
#include "tests/support/scripted_device.h"

using Texts = std::vector<std::string>;

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
    // The connect button: connects (the answer is the current listing) or disconnects.
    void Connect();
    void ReRead();
    // Shows a directory through the tree ("/", "ram", "cncprg").
    void SelectDirectory(const std::vector<std::string>& path);

    std::string listing = SampleListing;
    std::string parameterAnswer = "p\r\nX=1\r\n";
    std::string toolAnswer = "t\r\n";
    int listingRequests = 0;
    Texts commands;   // every write to the line
    ScriptedLine line;
    gui::BoxCapture boxes;
};
