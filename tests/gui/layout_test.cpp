// The placement of the controls, checked by what the user sees at the smallest size where everything fits and
// at large sizes: no control is empty, sticks out or overlaps another, and the edges of layout.rows meet.
#include <cstdlib>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "app/main_window.h"
#include "tests/gui/support/gui_harness.h"
#include "tests/support/rows.h"

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

const std::pair<HWND*, const char*> controlNames[] = {
    {&TreeView, "TreeView"},           {&FileView, "FileView"},         {&Separator, "Separator"},
    {&FreeSpaceText, "FreeSpaceText"}, {&PathBox, "PathBox"},           {&PortEdit, "PortEdit"},
    {&BaudBox, "BaudBox"},             {&ConnectButton, "ConnectButton"}, {&BaudLabel, "BaudLabel"},
    {&PortLabel, "PortLabel"},         {&ParamsButton, "ParamsButton"}, {&ToolListButton, "ToolListButton"},
    {&DeleteButton, "DeleteButton"},   {&UploadButton, "UploadButton"}, {&ReReadButton, "ReReadButton"}};

const std::vector<RowShape> layoutRows = {{"meets", 3, 3}, {"within", 4, 4}, {"grows", 3, 3}};

// What a check found at one size: "" when it holds there.
using Check = std::function<std::string(const Layout&, Size)>;

std::string EmptyControl(const Layout& layout, Size)
{
    for (const Place& p : layout)
        if (p.width <= 0 || p.height <= 0)
            return Describe(p) + " is empty";
    return "";
}

std::string OutsideClient(const Layout& layout, Size size)
{
    for (const Place& p : layout)
        if (p.x < 0 || p.y < 0 || p.Right() > size.width || p.Bottom() > size.height)
            return Describe(p) + " sticks out";
    return "";
}

std::string Overlap(const Layout& layout, Size)
{
    for (const Place& a : layout)
        for (const Place& b : layout)
            if (&a < &b && a.x < b.Right() && b.x < a.Right() && a.y < b.Bottom() && b.y < a.Bottom())
                return Describe(a) + " overlaps " + Describe(b);
    return "";
}

// "NAME EDGE" of layout.rows at this size; "client" is the client area.
int Edge(const Layout& layout, Size size, const std::string& named)
{
    size_t blank = named.find(' ');
    std::string name = named.substr(0, blank), edge = blank == std::string::npos ? "" : named.substr(blank + 1);
    Place p = {"client", 0, 0, size.width, size.height};
    for (const Place& place : layout)
        p = place.name == name ? place : p;
    const std::map<std::string, int> edges = {{"left", p.x},          {"right", p.Right()}, {"top", p.y},
                                              {"bottom", p.Bottom()}, {"width", p.width},   {"height", p.height}};
    if (p.name != name || !edges.count(edge)) {
        ADD_FAILURE() << "'" << named << "' is no control's or the client's left, right, top, bottom, width or height";
        return 0;
    }
    return edges.at(edge);
}

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
            closedHeight[combo] = rect.bottom - rect.top;
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
            auto combo = closedHeight.find(*place.control);
            int height = combo == closedHeight.end() ? place.height : combo->second;
            layout.push_back({name, place.x, place.y, place.width, height});
        }
        return layout;
    }

    // The first size at which `check` finds something, with what it found; "" when there is none.
    static std::string FirstProblem(const std::vector<std::pair<Size, Layout>>& laidOut, const Check& check)
    {
        for (const auto& [size, layout] : laidOut) {
            std::string found = check(layout, size);
            if (!found.empty())
                return std::to_string(size.width) + "x" + std::to_string(size.height) + ": " + found;
        }
        return "";
    }

    std::map<HWND, int> closedHeight;
};

// Sizes from the smallest client area where every control has room, along each edge, up to large screens; and
// what each edge moves when the window grows from 640 x 480 to 1640 x 1480.
TEST_F(LayoutTest, EveryControlHasRoomFromTheSmallestSizeUp)
{
    auto fits = [&](Size size) {
        Layout layout = Compute(size);
        return EmptyControl(layout, size).empty() && OutsideClient(layout, size).empty();
    };
    Size smallest = {640, 480};   // a client area this large must give every control room
    ASSERT_EQ(EmptyControl(Compute(smallest), smallest), "");
    ASSERT_EQ(OutsideClient(Compute(smallest), smallest), "");
    while (fits({smallest.width - 1, smallest.height}))
        smallest.width--;
    while (fits({smallest.width, smallest.height - 1}))
        smallest.height--;
    std::vector<std::pair<Size, Layout>> sizes;
    for (int width = smallest.width; width <= 4000; width++)
        sizes.push_back({{width, smallest.height}, Compute({width, smallest.height})});
    for (int height = smallest.height; height <= 3000; height++)
        sizes.push_back({{smallest.width, height}, Compute({smallest.width, height})});
    for (Size large : {Size{1920, 1080}, Size{2561, 1443}, Size{3840, 2160}, Size{7680, 4320}})
        sizes.push_back({large, Compute(large)});

    EXPECT_EQ(FirstProblem(sizes, EmptyControl), "");
    EXPECT_EQ(FirstProblem(sizes, OutsideClient), "");
    EXPECT_EQ(FirstProblem(sizes, Overlap), "");
    const Layout before = Compute({640, 480}), grown = Compute({1640, 1480});
    for (const Row& row : ReadRows("gui/layout.rows", layoutRows)) {
        SCOPED_TRACE(row.Where());
        if (row[0] == "grows") {
            EXPECT_EQ(Edge(grown, {1640, 1480}, row[1]) - Edge(before, {640, 480}, row[1]), atoi(row[2].c_str()));
            continue;
        }
        const int most = row[0] == "within" ? atoi(row[3].c_str()) : 1;   // "meets": the gap is 0
        EXPECT_EQ(FirstProblem(sizes, [&](const Layout& layout, Size size) {
                      int gap = Edge(layout, size, row[2]) - Edge(layout, size, row[1]);
                      return gap >= 0 && gap < most ? "" : row[2] + " - " + row[1] + " = " + std::to_string(gap);
                  }), "");
    }
}

}  // namespace
