// The placement of the controls, checked by what the user sees at the smallest size where everything fits and
// at large sizes: nothing overlaps or sticks out, the panes share the width, the buttons fill their row.
#include <functional>
#include <string>
#include <vector>

#include "app/main_window.h"
#include "tests/gui/support/gui_harness.h"

namespace {

struct Place {
    std::string name;
    int x, y, width, height;
    int Right() const { return x + width; }
    int Bottom() const { return y + height; }
};
using Layout = std::vector<Place>;
struct Size {
    int width, height;
};

std::string Describe(const Place& p)
{
    return p.name + " at " + std::to_string(p.x) + "," + std::to_string(p.y) + " " + std::to_string(p.width) + "x" +
           std::to_string(p.height);
}

std::string Describe(Size size)
{
    return std::to_string(size.width) + "x" + std::to_string(size.height) + ": ";
}

const std::pair<HWND*, const char*> controlNames[] = {
    {&TreeView, "TreeView"},           {&FileView, "FileView"},         {&Separator, "Separator"},
    {&FreeSpaceText, "FreeSpaceText"}, {&PathBox, "PathBox"},           {&PortEdit, "PortEdit"},
    {&BaudBox, "BaudBox"},             {&ConnectButton, "ConnectButton"}, {&BaudLabel, "BaudLabel"},
    {&PortLabel, "PortLabel"},         {&ParamsButton, "ParamsButton"}, {&ToolListButton, "ToolListButton"},
    {&DeleteButton, "DeleteButton"},   {&UploadButton, "UploadButton"}, {&ReReadButton, "ReReadButton"}};

class LayoutTest : public MainWindowTest {
protected:
    void SetUp() override
    {
        MainWindowTest::SetUp();
        OpenWindow();
        // A combo box is placed with the height of its open list; closed it is as high as the system makes it.
        for (HWND combo : {PathBox, BaudBox}) {
            RECT rect = {};
            GetWindowRect(combo, &rect);
            closedHeight.push_back({combo, rect.bottom - rect.top});
        }
    }

    Layout Compute(Size size)
    {
        RECT client = {0, 0, size.width, size.height};
        ControlPlace places[LAYOUT_PLACE_COUNT];
        ComputeLayout(BaseUnitX, BaseUnitY, &client, places);
        Layout layout;
        for (const ControlPlace& place : places) {
            std::string name = "?";
            for (const auto& [control, text] : controlNames)
                name = place.control == control ? text : name;
            int height = place.height;
            for (const auto& [combo, closed] : closedHeight)
                height = *place.control == combo ? closed : height;
            layout.push_back({name, place.x, place.y, place.width, height});
        }
        return layout;
    }

    static const Place& Find(const Layout& layout, const char* name)
    {
        static const Place missing = {"missing", 0, 0, 0, 0};
        for (const Place& place : layout)
            if (place.name == name)
                return place;
        return missing;
    }

    // The first size at which `problem` finds something, with what it found; "" when there is none.
    std::string FirstProblem(const std::vector<Size>& sizes,
                             const std::function<std::string(const Layout&, Size)>& problem)
    {
        for (Size size : sizes) {
            std::string found = problem(Compute(size), size);
            if (!found.empty())
                return Describe(size) + found;
        }
        return "";
    }

    static std::string EmptyControl(const Layout& layout, Size)
    {
        for (const Place& p : layout)
            if (p.width <= 0 || p.height <= 0)
                return Describe(p);
        return "";
    }

    static std::string OutsideClient(const Layout& layout, Size size)
    {
        for (const Place& p : layout)
            if (p.x < 0 || p.y < 0 || p.Right() > size.width || p.Bottom() > size.height)
                return Describe(p);
        return "";
    }

    static std::string Overlap(const Layout& layout, Size)
    {
        for (const Place& a : layout)
            for (const Place& b : layout)
                if (&a < &b && a.x < b.Right() && b.x < a.Right() && a.y < b.Bottom() && b.y < a.Bottom())
                    return Describe(a) + " overlaps " + Describe(b);
        return "";
    }

    // Left to right: the tree, the separator, then the right-hand pane up to the client's edge, all from the
    // same top to the same bottom.
    static std::string PanesNotSharingTheWidth(const Layout& layout, Size size)
    {
        const Place &tree = Find(layout, "TreeView"), &bar = Find(layout, "Separator");
        const Place &files = Find(layout, "FileView"), &path = Find(layout, "PathBox");
        const Place& space = Find(layout, "FreeSpaceText");
        if (tree.x != 0 || tree.Right() != bar.x || bar.Right() != files.x)
            return "tree, separator and file list are not side by side";
        if (files.Right() != size.width)
            return "the file list does not reach the right edge";
        if (path.x != files.x || path.Right() != files.Right() || space.x != files.x || space.Right() != files.Right())
            return "the free-space line, path box and file list are not one column";
        if (tree.y != space.y || bar.y != tree.y || tree.Bottom() != files.Bottom() || bar.Bottom() != tree.Bottom())
            return "the panes do not start and end together";
        return "";
    }

    // Five equal buttons side by side from the left edge, less than one button's share of a pixel per button
    // left over at the right.
    static std::string ButtonsNotFillingTheRow(const Layout& layout, Size size)
    {
        int x = 0;
        const Place& first = Find(layout, "ParamsButton");
        for (const char* name : {"ParamsButton", "ToolListButton", "DeleteButton", "UploadButton", "ReReadButton"}) {
            const Place& button = Find(layout, name);
            if (button.x != x || button.y != first.y || button.width != first.width)
                return Describe(button) + " is not next to the one before it, as wide and as high";
            x = button.Right();
        }
        if (size.width - x >= 5)
            return std::to_string(size.width - x) + " pixels left at the right of the buttons";
        return "";
    }

    std::vector<std::pair<HWND, int>> closedHeight;
};

// Sizes from the smallest client area where every control has room, along each edge, up to large screens.
TEST_F(LayoutTest, EveryControlHasRoomFromTheSmallestSizeUp)
{
    auto fits = [&](Size size) {
        Layout layout = Compute(size);
        return EmptyControl(layout, size).empty() && OutsideClient(layout, size).empty();
    };
    Size smallest = {640, 480};   // a client area this large must give every control room
    ASSERT_TRUE(fits(smallest)) << Describe(smallest) << EmptyControl(Compute(smallest), smallest)
                                << OutsideClient(Compute(smallest), smallest);
    while (fits({smallest.width - 1, smallest.height}))
        smallest.width--;
    while (fits({smallest.width, smallest.height - 1}))
        smallest.height--;
    std::vector<Size> sizes;
    for (int width = smallest.width; width <= 4000; width++)
        sizes.push_back({width, smallest.height});
    for (int height = smallest.height; height <= 3000; height++)
        sizes.push_back({smallest.width, height});
    for (Size large : {Size{1920, 1080}, Size{2561, 1443}, Size{3840, 2160}, Size{7680, 4320}})
        sizes.push_back(large);

    EXPECT_EQ(FirstProblem(sizes, EmptyControl), "");
    EXPECT_EQ(FirstProblem(sizes, OutsideClient), "");
    EXPECT_EQ(FirstProblem(sizes, Overlap), "");
    EXPECT_EQ(FirstProblem(sizes, PanesNotSharingTheWidth), "");
    EXPECT_EQ(FirstProblem(sizes, ButtonsNotFillingTheRow), "");
}

// Growing the window gives every added pixel of width to the right-hand pane and of height to the panes.
TEST_F(LayoutTest, GrowthGoesToTheFileListAndTheTreeKeepsItsWidth)
{
    const Layout small = Compute({640, 480}), large = Compute({1640, 1480});
    auto growth = [&](const char* name, int Place::*extent) {
        return Find(large, name).*extent - Find(small, name).*extent;
    };
    EXPECT_EQ(growth("TreeView", &Place::width), 0);
    EXPECT_EQ(growth("FileView", &Place::width), 1000);
    EXPECT_EQ(growth("FileView", &Place::height), 1000);
    EXPECT_EQ(growth("TreeView", &Place::height), 1000);
    EXPECT_EQ(growth("ConnectButton", &Place::x), 0);
}

}  // namespace
