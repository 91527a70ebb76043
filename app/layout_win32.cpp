// Placement of the controls: the connection row in dialog base units, the
// panes in fixed pixels, the bottom buttons in fifths of the width.
#include "app/app_state.h"
#include "app/main_window.h"

void ComputeLayout(int baseX, int baseY, const RECT* client, ControlPlace places[LAYOUT_PLACE_COUNT])
{
    const int right = client->right;
    const int bottom = client->bottom;
    const int h = 15 * baseY / 10;        // one row of controls
    const int y2 = 30 * baseY / 10;       // top of the panes
    const int y = y2 / 4;                 // top of the connection row
    const int buttonTop = bottom - h - 2;
    const int buttonWidth = right / 5;
    const int paneHeight = bottom - h - y2 - 5;
    const ControlPlace table[LAYOUT_PLACE_COUNT] = {
        {&PortLabel, 40, y + 3, 10 * baseX, h},
        {&PortEdit, 10 * baseX + 40, y, 10 * baseX, h},
        {&BaudLabel, 20 * baseX + 40, y + 3, 10 * baseX, h},
        // Combo boxes get the height with the list dropped down.
        {&BaudBox, 30 * baseX + 40, y, 10 * baseX, 90 * baseY / 10},
        {&ConnectButton, 40 * baseX + 80, y, 14 * baseX, h},
        {&ParamsButton, 0, buttonTop, buttonWidth, h},
        {&ToolListButton, buttonWidth, buttonTop, buttonWidth, h},
        {&DeleteButton, 2 * buttonWidth, buttonTop, buttonWidth, h},
        {&UploadButton, 3 * buttonWidth, buttonTop, buttonWidth, h},
        {&ReReadButton, 4 * buttonWidth, buttonTop, buttonWidth, h},
        {&TreeView, 0, y2, 200, paneHeight},
        {&Separator, 200, y2, 5, paneHeight},
        {&FreeSpaceText, 205, y2, right - 205, baseY},
        {&PathBox, 205, y2 + baseY, right - 205, h + 8 * baseY},
        {&FileView, 205, y2 + baseY + h, right - 205, paneHeight - h - baseY},
    };
    for (int i = 0; i < LAYOUT_PLACE_COUNT; i++)
        places[i] = table[i];
}

int LayoutControls(const RECT* client)
{
    ControlPlace places[LAYOUT_PLACE_COUNT];
    ComputeLayout(BaseUnitX, BaseUnitY, client, places);
    for (const ControlPlace& place : places)
        MoveWindow(*place.control, place.x, place.y, place.width, place.height, TRUE);
    return 1;
}
