// The tree, the path box and the file list as the user moves through them.
#include <cstring>
#include <string>
#include <vector>

#include "app/app_state.h"
#include "res/resource_ids.h"
#include "app/settings.h"
#include "tests/gui/main_window_fixture.h"
#include "tree/views.h"

namespace {

using Views = MainWindowTest;

// The tree as "text@depth/children" items, "*" behind the selected one.
Texts TreeShape()
{
    Texts shape;
    for (const gui::TreeItem& item : gui::ReadTreeItems(TreeView))
        shape.push_back(item.text + "@" + std::to_string(item.depth) + "/" + std::to_string(item.children) +
                        (item.children && !item.expanded ? " collapsed" : "") + (item.selected ? "*" : ""));
    return shape;
}

// The file list as "name size" rows, "*" behind selected and focused ones.
Texts Rows()
{
    Texts rows;
    for (const gui::ListRow& row : gui::ReadListRows(FileView))
        rows.push_back(row.columns[0] + " " + row.columns[1] + (row.selected && row.focused ? "*" : ""));
    return rows;
}

// A double click on, or Return at, a row of the file list.
void Open(int row, bool byReturn)
{
    if (byReturn) {
        gui::FocusListRow(FileView, row);
        gui::SendListReturn(FileView);
    } else {
        gui::SendListDoubleClick(FileView, row);
    }
    gui::PumpPending();
}

// Where the views stand: path box choice, selected tree item, file names.
std::string Place()
{
    std::string place = gui::ComboSelectedText(PathBox) + " [" + gui::SelectedTreeText(TreeView) + "]";
    for (const std::string& name : gui::ReadListNames(FileView))
        place += " " + name;
    return place;
}

TEST_F(Views, ConnectFillsTreePathBoxFileListAndConnectionState)
{
    OpenWindow();
    SendMessageA(BaudBox, CB_SETCURSEL, 1, 0);
    Connect();
    ASSERT_TRUE(boxes.Boxes().empty()) << boxes.Boxes()[0].text;
    EXPECT_EQ(line.baud, 14400u);
    EXPECT_EQ(Settings.Baudrate, 14400);
    EXPECT_EQ(listingRequests, 1);
    // Directories only, in listing order, all expanded.
    EXPECT_EQ(TreeShape(), (Texts{"/@0/1*", "ram@1/1", "cncprg@2/0", "empty@2/0", "ROM@1/0"}));
    EXPECT_EQ(gui::ReadComboItems(PathBox), (Texts{"/", "/ram/", "/ram/cncprg/", "/ram/empty/", "/ROM/"}));
    // The root has no parent row.
    EXPECT_EQ(Place(), "/ [/] ram ROM");
    EXPECT_EQ(Rows(), (Texts{"ram (Dir)*", "ROM (Dir)"}));
    EXPECT_EQ(gui::WindowText(FreeSpaceText), "  Available RamDisk: 1048576 Bytes, FlashDisk: 524288 Bytes");
    EXPECT_EQ(gui::WindowText(ConnectButton), "Disconnect");
    EXPECT_FALSE(IsWindowEnabled(PortEdit));
}

TEST_F(Views, NavigationByTreePathBoxDoubleClickAndReturn)
{
    OpenWindow();
    Connect();
    SelectDirectory({"/", "ROM"});
    EXPECT_EQ(Rows(), (Texts{".. (Parent-Dir)*", "setup.dat 4096", "huge.bin 4294967295"}));
    EXPECT_EQ(Place(), "/ROM/ [ROM] .. setup.dat huge.bin");
    SelectDirectory({"/", "ram", "empty"});
    EXPECT_EQ(Place(), "/ram/empty/ [empty] ..");

    SetFocus(PortLabel);
    gui::ChooseComboItem(PathBox, 2);
    gui::PumpPending();
    EXPECT_EQ(Place(), "/ram/cncprg/ [cncprg] .. part1.nc part b.nc");
    EXPECT_EQ(GetFocus(), FileView);

    const char* const ram = "/ram/ [ram] .. cncprg empty notes.txt";
    Open(0, false);   // the parent row
    EXPECT_EQ(Place(), ram);
    Open(1, true);    // cncprg
    EXPECT_EQ(Place(), "/ram/cncprg/ [cncprg] .. part1.nc part b.nc");
    Open(1, false);   // a file: nothing happens
    EXPECT_EQ(Place(), "/ram/cncprg/ [cncprg] .. part1.nc part b.nc");
    Open(0, true);
    EXPECT_EQ(Place(), ram);
    Open(0, false);
    EXPECT_EQ(Place(), "/ [/] ram ROM");
    Open(0, false);   // a directory
    EXPECT_EQ(Place(), ram);

    // A baud box choice also runs the path box handler: the tree follows the path box.
    SendMessageA(PathBox, CB_SETCURSEL, 4, 0);
    SetFocus(PortLabel);
    gui::ChooseComboItem(BaudBox, 6);
    gui::PumpPending();
    EXPECT_EQ(Place(), "/ROM/ [ROM] .. setup.dat huge.bin");
    EXPECT_EQ(GetFocus(), FileView);
}

TEST_F(Views, ReReadReturnsToTheDirectoryShownBeforeOrToTheRoot)
{
    OpenWindow();
    Connect();
    SelectDirectory({"/", "ram", "cncprg"});
    listing = std::string(SampleListing).insert(std::string(SampleListing).find("  5678"), "  7 new.nc\r\n");
    ReRead();
    EXPECT_EQ(listingRequests, 2);
    EXPECT_EQ(Place(), "/ram/cncprg/ [cncprg] .. part1.nc new.nc part b.nc");
    // The tree follows the directory shown, so the parent row goes up one level.
    Open(0, true);
    EXPECT_EQ(Place(), "/ram/ [ram] .. cncprg empty notes.txt");

    SelectDirectory({"/", "ram", "empty"});
    // A file of the same name now stands before the directory: the directory is shown.
    listing = "(dir) ram\r\n 5 empty\r\n (dir) empty\r\n  6 in.nc\r\n\r\n";
    ReRead();
    EXPECT_EQ(Place(), "/ram/empty/ [empty] .. in.nc");
    // The file has taken the directory's place: the file's directory is shown.
    listing = "(dir) ram\r\n 5 empty\r\n\r\n";
    ReRead();
    EXPECT_EQ(Place(), "/ram/ [ram] .. empty");
    listing = "(dir) top\r\n 1 a\r\n(dir) ROM\r\n\r\n";
    ReRead();
    EXPECT_EQ(Place(), "/ [/] top ROM");
}

TEST_F(Views, DisconnectEmptiesTheViewsAndAFailedListingStaysConnected)
{
    OpenWindow();
    Connect();
    SelectDirectory({"/", "ROM"});
    Connect();
    EXPECT_EQ(ConnectedPort, nullptr);
    EXPECT_EQ(line.closes, 1);
    EXPECT_TRUE(gui::ReadTreeItems(TreeView).empty());
    EXPECT_TRUE(gui::ReadComboItems(PathBox).empty());
    EXPECT_EQ(gui::WindowText(PathBox), "");
    EXPECT_TRUE(gui::ReadListNames(FileView).empty());
    EXPECT_EQ(gui::WindowText(FreeSpaceText), "  Available RamDisk: 0 Bytes, FlashDisk: 0 Bytes");
    EXPECT_EQ(gui::WindowText(ConnectButton), "Connect");
    EXPECT_TRUE(IsWindowEnabled(PortEdit));
    EXPECT_TRUE(boxes.Boxes().empty());

    listing = "no directories here\r\n\r\n";
    Connect();
    EXPECT_EQ(boxes.Texts(), (Texts{"The Vantorix-answer was not correct. Please try to update again."}));
    EXPECT_NE(ConnectedPort, nullptr);
    EXPECT_EQ(gui::WindowText(ConnectButton), "Disconnect");
    // Notifications find no tree and do nothing.
    gui::SendListReturn(FileView);
    gui::ChooseComboItem(PathBox, 0);
    gui::PumpPending();
    EXPECT_EQ(Place(), " []");
}

TEST_F(Views, NamesThatDifferOnlyInCaseRepeatOrReadDotDot)
{
    listing = "(dir) ram\r\n (dir) Data\r\n  1 upper.nc\r\n (dir) data\r\n  2 lower.nc\r\n (dir) ..\r\n  3 inside.nc\r\n"
              " (dir) x\r\n  4 first.nc\r\n (dir) x\r\n  5 second.nc\r\n\r\n";
    OpenWindow();
    Connect();
    SelectDirectory({"/", "ram", "data"});
    EXPECT_EQ(Place(), "/ram/data/ [data] .. lower.nc");
    char path[VIEW_PATH_SIZE];
    GetPathBoxText(path, sizeof(path));
    EXPECT_STREQ(path, "/ram/data/");

    SelectDirectory({"/", "ram"});
    Open(3, false);   // the directory named ".."
    EXPECT_EQ(Place(), "/ram/../ [..] .. inside.nc");
    SelectDirectory({"/", "ram"});
    Open(5, false);   // the second "x"
    EXPECT_EQ(Place(), "/ram/x/ [x] .. second.nc");
    EXPECT_EQ(TreeShape().back(), "x@2/0*");
}

// Names of 40 characters nest past the 199 characters a path may have.
TEST_F(Views, DirectoriesTooDeepForThePathBoxStayInTheTreeOnly)
{
    std::vector<std::string> route = {"/", "top"};
    listing = "(dir) top\r\n";
    for (int level = 1; level <= 6; level++) {
        route.push_back(std::string(40, 'd') + std::to_string(level));
        listing += std::string(level, ' ') + "(dir) " + route.back() + "\r\n";
    }
    listing += std::string(7, ' ') + "12 deep.nc\r\n\r\n";
    OpenWindow();
    Connect();
    EXPECT_EQ(gui::ReadTreeItems(TreeView).size(), 8u);
    // "/top/" and four levels of 42 characters fit (173); the fifth (215) does not.
    Texts paths = gui::ReadComboItems(PathBox);
    EXPECT_EQ(paths.size(), 6u);
    EXPECT_EQ(paths.back().size(), 173u);
    SelectDirectory(route);
    EXPECT_EQ(Place(), std::string(" [") + route.back() + "] .. deep.nc");
    // Its file is never handed to a command that would need its path.
    gui::SelectListRows(FileView, {1});
    char file[256];
    EXPECT_EQ(NextSelectedFile(file, sizeof(file), -1), -1);
    EXPECT_STREQ(file, "");
    ReRead();
    EXPECT_EQ(gui::ComboSelectedText(PathBox), "/");
}

TEST_F(Views, SelectedFilesAndThePathBoxText)
{
    listing = "(dir) ram\r\n (dir) sub\r\n (dir) a\r\n 1 f1\r\n (dir) b\r\n 2 f2\r\n 3 f3\r\n\r\n";
    OpenWindow();
    Connect();
    SelectDirectory({"/", "ram"});
    gui::SelectListRows(FileView, {0, 1, 2, 3, 4, 5, 6});   // "..", sub, a, f1, b, f2, f3
    char name[256];
    std::string found;
    for (int row = NextSelectedFile(name, sizeof(name), -1); row >= 0; row = NextSelectedFile(name, sizeof(name), row))
        found += std::to_string(row) + name + " ";
    EXPECT_EQ(found, "3f1 5f2 6f3 ");
    EXPECT_STREQ(name, "");
    EXPECT_EQ(NextSelectedFile(name, 2, -1), 3);   // cut to the room given
    EXPECT_STREQ(name, "f");

    char path[64] = "x", cut[64] = "x";
    GetPathBoxText(cut, 5);   // "/ram/" has 5 characters
    GetPathBoxText(path, 6);
    EXPECT_EQ(std::string(cut) + "|" + path, "|/ram/");
}

}  // namespace
