#include "ui/MainLayout.h"

#include "ui/UiFont.h"

#include <algorithm>

SIZE TMainLayout::MinClient() const {
    return {ScaleForDpi(kMinClientWidth, Dpi), ScaleForDpi(kMinClientHeight, Dpi)};
}

RECT TMainLayout::Place(const TControlPlace& place) const {
    const SIZE least = MinClient();
    const int extraWidth = std::max<int>(0, Client.cx - least.cx);
    const int extraHeight = std::max<int>(0, Client.cy - least.cy);
    const int listExtra = MulDiv(extraHeight, kListHeight, kListHeight + kPreviewHeight);
    int left = ScaleForDpi(place.Left, Dpi);
    int top = ScaleForDpi(place.Top, Dpi);
    int width = ScaleForDpi(place.Width, Dpi);
    int height = ScaleForDpi(place.Height, Dpi);
    if (place.Growth == TGrowth::WithList) {
        width += extraWidth;
        height += listExtra;
    } else if (place.Growth == TGrowth::WithPreview) {
        top += listExtra;
        width += extraWidth;
        height += extraHeight - listExtra;
    } else if (place.Growth == TGrowth::AlongBottom) {
        top += extraHeight;
        width += extraWidth;
    }
    return {left, top, left + width, top + height};
}
