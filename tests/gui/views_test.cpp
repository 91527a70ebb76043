// The tree, the path box and the file list as the user moves through them.
#include <string>
#include <vector>

#include "app/app_state.h"
#include "app/command_ids.h"
#include "tests/gui/main_window_fixture.h"
#include "tree/device_tree.h"
#include "tree/views.h"

namespace {

using Views = MainWindowTest;
using Names = std::vector<std::string>;

struct TreeShape {
    std::string text;
    int depth;
    int children;
};

std::vector<TreeShape> Shape()
{
    std::vector<TreeShape> shape;
    for (const gui::TreeItem& item : gui::ReadTreeItems(TreeView))
        shape.push_back({item.text, item.depth, item.children});
    return shape;
}

bool operator==(const TreeShape& a, const TreeShape& b)
{
    return a.text == b.text && a.depth == b.depth && a.children == b.children;
}

void PrintTo(const TreeShape& s, std::ostream* os)
{
    *os << s.text << "@" << s.depth << "/" << s.children;
}

TEST_F(Views, ConnectFillsTreePathBoxFileListAndConnectionState)
{
    OpenWindow();
    Connect();
    ASSERT_TRUE(boxes.Boxes().empty()) << boxes.Boxes()[0].text;
    EXPECT_EQ(line.baud, 57600u);
    // Directories only, in listing order; expand buttons only above subdirectories.
    EXPECT_EQ(Shape(), (std::vector<TreeShape>{{"/", 0, 1}, {"ram", 1, 1}, {"cncprg", 2, 0}, {"empty", 2, 0},
                                               {"ROM", 1, 0}}));
    for (const gui::TreeItem& item : gui::ReadTreeItems(TreeView))
        if (item.children) {
            EXPECT_TRUE(item.expanded) << item.text;
        }
    EXPECT_EQ(gui::ReadComboItems(PathBox), (Names{"/", "/ram/", "/ram/cncprg/", "/ram/empty/", "/ROM/"}));
    EXPECT_EQ(gui::ComboSelectedText(PathBox), "/");
    // The root has no parent row.
    auto rows = gui::ReadListRows(FileView);
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[0].columns, (Names{"ram", "(Dir)"}));
    EXPECT_EQ(rows[1].columns, (Names{"ROM", "(Dir)"}));
    EXPECT_TRUE(rows[0].selected && rows[0].focused);
    EXPECT_FALSE(rows[1].selected);
    EXPECT_EQ(gui::WindowText(FreeSpaceText), "  Available RamDisk: 1048576 Bytes, FlashDisk: 524288 Bytes");
    EXPECT_EQ(gui::WindowText(ConnectButton), "Disconnect");
    EXPECT_FALSE(IsWindowEnabled(PortEdit));
    EXPECT_EQ(gui::SelectedTreeText(TreeView), "/");
}

TEST_F(Views, DirectoryShowsParentRowFirstThenEntriesInListingOrder)
{
    OpenWindow();
    Connect();
    SelectDirectory({"/", "ROM"});
    auto rows = gui::ReadListRows(FileView);
    ASSERT_EQ(rows.size(), 3u);
    EXPECT_EQ(rows[0].columns, (Names{"..", "(Parent-Dir)"}));
    EXPECT_EQ(rows[1].columns, (Names{"setup.dat", "4096"}));
    EXPECT_EQ(rows[2].columns, (Names{"huge.bin", "4294967295"}));
    EXPECT_TRUE(rows[0].selected && rows[0].focused);
    EXPECT_EQ(gui::ComboSelectedText(PathBox), "/ROM/");

    // An empty directory still has its parent row.
    SelectDirectory({"/", "ram", "empty"});
    EXPECT_EQ(gui::ReadListNames(FileView), (Names{".."}));
    EXPECT_EQ(gui::ComboSelectedText(PathBox), "/ram/empty/");
}

TEST_F(Views, PathBoxChoiceSelectsTreeShowsDirectoryAndFocusesList)
{
    OpenWindow();
    Connect();
    SetFocus(PortLabel);
    gui::ChooseComboItem(PathBox, 2);
    gui::PumpPending();
    EXPECT_EQ(gui::SelectedTreeText(TreeView), "cncprg");
    EXPECT_EQ(gui::ReadListNames(FileView), (Names{"..", "part1.nc", "part b.nc"}));
    EXPECT_EQ(GetFocus(), FileView);
}

TEST_F(Views, DoubleClickAndReturnOpenDirectoriesAndParentsButNotFiles)
{
    OpenWindow();
    Connect();
    gui::SendListDoubleClick(FileView, 0);   // ram
    gui::PumpPending();
    EXPECT_EQ(gui::ReadListNames(FileView), (Names{"..", "cncprg", "empty", "notes.txt"}));
    EXPECT_EQ(gui::ComboSelectedText(PathBox), "/ram/");
    EXPECT_EQ(gui::SelectedTreeText(TreeView), "ram");

    gui::FocusListRow(FileView, 1);          // cncprg
    gui::SendListReturn(FileView);
    gui::PumpPending();
    EXPECT_EQ(gui::ReadListNames(FileView), (Names{"..", "part1.nc", "part b.nc"}));
    EXPECT_EQ(gui::ComboSelectedText(PathBox), "/ram/cncprg/");
    EXPECT_EQ(gui::SelectedTreeText(TreeView), "cncprg");

    gui::SendListDoubleClick(FileView, 1);   // a file: nothing happens
    gui::PumpPending();
    EXPECT_EQ(gui::ReadListNames(FileView), (Names{"..", "part1.nc", "part b.nc"}));

    gui::FocusListRow(FileView, 0);          // the parent row
    gui::SendListReturn(FileView);
    gui::PumpPending();
    EXPECT_EQ(gui::ReadListNames(FileView), (Names{"..", "cncprg", "empty", "notes.txt"}));
    EXPECT_EQ(gui::SelectedTreeText(TreeView), "ram");

    gui::SendListDoubleClick(FileView, 0);
    gui::PumpPending();
    EXPECT_EQ(gui::ReadListNames(FileView), (Names{"ram", "ROM"}));
    EXPECT_EQ(gui::ComboSelectedText(PathBox), "/");
    EXPECT_EQ(gui::SelectedTreeText(TreeView), "/");
}

TEST_F(Views, ReReadReturnsToTheDirectoryShownBeforeOrToTheRoot)
{
    OpenWindow();
    Connect();
    SelectDirectory({"/", "ram", "cncprg"});
    listing = std::string(SampleListing).insert(std::string(SampleListing).find("  5678"), "  7 new.nc\r\n");
    ReRead();
    EXPECT_EQ(listingRequests, 2);
    EXPECT_EQ(gui::ReadListNames(FileView), (Names{"..", "part1.nc", "new.nc", "part b.nc"}));
    EXPECT_EQ(gui::ComboSelectedText(PathBox), "/ram/cncprg/");
    // The tree follows the directory shown, so the parent row goes up one level.
    EXPECT_EQ(gui::SelectedTreeText(TreeView), "cncprg");
    gui::FocusListRow(FileView, 0);
    gui::SendListReturn(FileView);
    gui::PumpPending();
    EXPECT_EQ(gui::ComboSelectedText(PathBox), "/ram/");
    EXPECT_EQ(gui::ReadListNames(FileView), (Names{"..", "cncprg", "empty", "notes.txt"}));
    EXPECT_EQ(gui::SelectedTreeText(TreeView), "ram");

    SelectDirectory({"/", "ram", "empty"});
    listing = "(dir) ram\r\n 1 a\r\n(dir) ROM\r\n\r\n";
    ReRead();
    EXPECT_EQ(gui::ComboSelectedText(PathBox), "/");
    EXPECT_EQ(gui::ReadListNames(FileView), (Names{"ram", "ROM"}));
    EXPECT_EQ(gui::SelectedTreeText(TreeView), "/");
}

TEST_F(Views, RememberedPathThatNowLeadsToAFileFirst)
{
    OpenWindow();
    Connect();
    SelectDirectory({"/", "ram", "empty"});
    // A file of the same name now stands before the directory: the directory is shown.
    listing = "(dir) ram\r\n 5 empty\r\n (dir) empty\r\n  6 in.nc\r\n\r\n";
    ReRead();
    EXPECT_EQ(gui::ComboSelectedText(PathBox), "/ram/empty/");
    EXPECT_EQ(gui::ReadListNames(FileView), (Names{"..", "in.nc"}));
    EXPECT_EQ(gui::SelectedTreeText(TreeView), "empty");
    // The file has taken the directory's place: the file's directory is shown.
    listing = "(dir) ram\r\n 5 empty\r\n\r\n";
    ReRead();
    EXPECT_EQ(gui::ComboSelectedText(PathBox), "/ram/");
    EXPECT_EQ(gui::ReadListNames(FileView), (Names{"..", "empty"}));
    EXPECT_EQ(gui::SelectedTreeText(TreeView), "ram");
}

TEST_F(Views, DisconnectEmptiesTheViewsAndShowsConnect)
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
}

TEST_F(Views, FailedListingLeavesTheViewsEmptyAndStaysConnected)
{
    OpenWindow();
    listing = "no directories here\r\n\r\n";
    Connect();
    ASSERT_EQ(boxes.Texts(), (Names{"The Vantorix-answer was not correct. Please try to update again."}));
    EXPECT_NE(ConnectedPort, nullptr);
    EXPECT_EQ(gui::WindowText(ConnectButton), "Disconnect");
    EXPECT_TRUE(gui::ReadTreeItems(TreeView).empty());
    EXPECT_TRUE(gui::ReadListNames(FileView).empty());
    // Notifications find no tree and do nothing.
    gui::SendListReturn(FileView);
    gui::ChooseComboItem(PathBox, 0);
    gui::PumpPending();
    EXPECT_TRUE(gui::ReadListNames(FileView).empty());
}

TEST_F(Views, BaudBoxChoiceAlsoRunsThePathBoxHandler)
{
    OpenWindow();
    Connect();
    SelectDirectory({"/", "ROM"});
    // The tree moves elsewhere while the path box still names /ROM/.
    gui::SelectTreeItem(TreeView, gui::FindTreeItem(TreeView, {"/", "ram"}));
    SendMessageA(PathBox, CB_SETCURSEL, 4, 0);
    SetFocus(PortLabel);
    gui::ChooseComboItem(BaudBox, 6);
    gui::PumpPending();
    EXPECT_EQ(gui::SelectedTreeText(TreeView), "ROM");
    EXPECT_EQ(GetFocus(), FileView);
}

TEST_F(Views, SiblingsDifferingOnlyInCaseKeepTheirOwnPathBoxItems)
{
    listing = "(dir) ram\r\n (dir) Data\r\n  1 upper.nc\r\n (dir) data\r\n  2 lower.nc\r\n\r\n";
    OpenWindow();
    Connect();
    SelectDirectory({"/", "ram", "data"});
    EXPECT_EQ(gui::ReadListNames(FileView), (Names{"..", "lower.nc"}));
    EXPECT_EQ(gui::ComboSelectedText(PathBox), "/ram/data/");
    char path[510];
    GetPathBoxText(path, sizeof(path));
    EXPECT_STREQ(path, "/ram/data/");
}

TEST_F(Views, DirectoryNamedDotDotOpensItselfAndSelectsItsOwnTreeItem)
{
    listing = "(dir) ram\r\n (dir) ..\r\n  3 inside.nc\r\n\r\n";
    OpenWindow();
    Connect();
    SelectDirectory({"/", "ram"});
    gui::SendListDoubleClick(FileView, 1);
    gui::PumpPending();
    EXPECT_EQ(gui::ReadListNames(FileView), (Names{"..", "inside.nc"}));
    EXPECT_EQ(gui::SelectedTreeText(TreeView), "..");
    EXPECT_EQ(gui::ComboSelectedText(PathBox), "/ram/../");
}

TEST_F(Views, TwoEntriesOfOneNameOpenTheOneClicked)
{
    listing = "(dir) ram\r\n (dir) x\r\n  1 first.nc\r\n (dir) x\r\n  2 second.nc\r\n\r\n";
    OpenWindow();
    Connect();
    SelectDirectory({"/", "ram"});
    gui::SendListDoubleClick(FileView, 2);
    gui::PumpPending();
    EXPECT_EQ(gui::ReadListNames(FileView), (Names{"..", "second.nc"}));
    auto items = gui::ReadTreeItems(TreeView);
    ASSERT_EQ(items.size(), 4u);
    EXPECT_TRUE(items[3].selected);
}

// Names of 40 characters nest past the 199 characters a path may have.
std::string DeepListing()
{
    std::string name(40, 'd');
    std::string text = "(dir) top\r\n";
    for (int level = 1; level <= 6; level++)
        text += std::string(level, ' ') + "(dir) " + name + std::to_string(level) + "\r\n";
    text += std::string(7, ' ') + "12 deep.nc\r\n\r\n";
    return text;
}

TEST_F(Views, DirectoriesTooDeepForThePathBoxStayInTheTreeOnly)
{
    listing = DeepListing();
    OpenWindow();
    Connect();
    EXPECT_EQ(gui::ReadTreeItems(TreeView).size(), 8u);
    auto paths = gui::ReadComboItems(PathBox);
    // "/top/" and four levels of 42 characters fit (173); the fifth (215) does not.
    ASSERT_EQ(paths.size(), 6u);
    for (const std::string& path : paths)
        EXPECT_LT(path.size(), 200u);

    std::vector<std::string> route = {"/", "top"};
    std::string name(40, 'd');
    for (int level = 1; level <= 6; level++)
        route.push_back(name + std::to_string(level));
    SelectDirectory(route);
    EXPECT_EQ(gui::ReadListNames(FileView), (Names{"..", "deep.nc"}));
    EXPECT_EQ(gui::ComboSelection(PathBox), -1);
    // Its file is never handed to a command that would need its path.
    gui::SelectListRows(FileView, {1});
    char file[256];
    EXPECT_EQ(NextSelectedFile(file, sizeof(file), -1), -1);
    EXPECT_STREQ(file, "");

    // After a re-read the views come back to the root.
    ReRead();
    EXPECT_EQ(gui::ComboSelectedText(PathBox), "/");
}

TEST_F(Views, NextSelectedFileSkipsParentAndDirectoryRows)
{
    listing = "(dir) ram\r\n (dir) sub\r\n (dir) a\r\n 1 f1\r\n (dir) b\r\n 2 f2\r\n 3 f3\r\n\r\n";
    OpenWindow();
    Connect();
    SelectDirectory({"/", "ram"});
    EXPECT_EQ(gui::ReadListNames(FileView), (Names{"..", "sub", "a", "f1", "b", "f2", "f3"}));
    gui::SelectListRows(FileView, {0, 1, 2, 3, 4, 5, 6});
    char name[256];
    EXPECT_EQ(NextSelectedFile(name, sizeof(name), -1), 3);
    EXPECT_STREQ(name, "f1");
    EXPECT_EQ(NextSelectedFile(name, sizeof(name), 3), 5);
    EXPECT_STREQ(name, "f2");
    EXPECT_EQ(NextSelectedFile(name, sizeof(name), 5), 6);
    EXPECT_STREQ(name, "f3");
    EXPECT_EQ(NextSelectedFile(name, sizeof(name), 6), -1);
    EXPECT_STREQ(name, "");
    // The name is cut to the room given.
    EXPECT_EQ(NextSelectedFile(name, 2, -1), 3);
    EXPECT_STREQ(name, "f");
}

TEST_F(Views, PathBoxTextNeedsRoomForItsTerminator)
{
    OpenWindow();
    Connect();
    SelectDirectory({"/", "ram", "cncprg"});
    char path[64] = "x";
    GetPathBoxText(path, 12);   // "/ram/cncprg/" has 12 characters
    EXPECT_STREQ(path, "");
    GetPathBoxText(path, 13);
    EXPECT_STREQ(path, "/ram/cncprg/");
    SendMessageA(PathBox, CB_SETCURSEL, static_cast<WPARAM>(-1), 0);
    GetPathBoxText(path, sizeof(path));
    EXPECT_STREQ(path, "");
}

TEST(EntryPaths, FullPathsAndLookupByPath)
{
    DeviceTree* tree = CreateDeviceTree();
    ASSERT_NE(tree, nullptr);
    ASSERT_TRUE(ParseListing(tree, SampleListing));
    DirEntry* ram = EntryAt(tree->root.children, 0);
    DirEntry* cncprg = EntryAt(ram->children, 0);
    DirEntry* part = EntryAt(cncprg->children, 1);
    char path[200];
    EXPECT_TRUE(GetEntryPath(&tree->root, path, sizeof(path)));
    EXPECT_STREQ(path, "/");
    EXPECT_TRUE(GetEntryPath(cncprg, path, sizeof(path)));
    EXPECT_STREQ(path, "/ram/cncprg/");
    EXPECT_TRUE(GetEntryPath(part, path, sizeof(path)));
    EXPECT_STREQ(path, "/ram/cncprg/part b.nc");
    // One byte short of the terminator: nothing, rather than a cut path.
    EXPECT_FALSE(GetEntryPath(part, path, 21));
    EXPECT_STREQ(path, "");
    EXPECT_TRUE(GetEntryPath(part, path, 22));

    char text[64];
    strcpy(text, "/ram/cncprg/");
    EXPECT_EQ(FindEntryByPath(tree, text), cncprg);
    strcpy(text, "/ram/cncprg/part b.nc");
    EXPECT_EQ(FindEntryByPath(tree, text), part);
    strcpy(text, "/RAM/");
    EXPECT_EQ(FindEntryByPath(tree, text), nullptr);
    strcpy(text, "/ram/notes.txt/x/");
    EXPECT_EQ(FindEntryByPath(tree, text), nullptr);
    strcpy(text, "/");
    EXPECT_EQ(FindEntryByPath(tree, text), nullptr);
    FreeDeviceTree(tree);
}

}  // namespace
