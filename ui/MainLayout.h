// Where the main window's controls stand. Places are given at 96 DPI for the smallest client area (792 x 566: the
// original 792 x 546 and the status line under it) and scaled to the window's DPI; what the window has beyond
// that goes to the list and the preview.
#pragma once

#include <windows.h>

enum class TGrowth {
    None,        // stays where it is
    WithList,    // takes the extra width and its share of the extra height
    WithPreview, // moves down by the list's share, takes the extra width and the rest of the extra height
    AlongBottom, // moves down by the extra height and takes the extra width (the status line)
};

struct TControlPlace {
    int Id;
    int Left, Top, Width, Height; // at 96 DPI
    TGrowth Growth;
};

class TMainLayout {
public:
    static constexpr int kMinClientWidth = 792;
    static constexpr int kMinClientHeight = 546 + 20;

    // The list gets this share of extra height, in proportion to the two controls' heights at 96 DPI.
    static constexpr int kListHeight = 273;
    static constexpr int kPreviewHeight = 161;

    TMainLayout(UINT dpi, SIZE client) : Dpi(dpi), Client(client) {}
    SIZE MinClient() const;
    RECT Place(const TControlPlace& place) const;

private:
    UINT Dpi;
    SIZE Client;
};
