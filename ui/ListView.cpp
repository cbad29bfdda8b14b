#include "ui/ListView.h"

#include <commctrl.h>

#include <vector>

int TListView::Count() const {
    return static_cast<int>(SendMessageA(Handle_, LVM_GETITEMCOUNT, 0, 0));
}

std::string TListView::Text(int row, int subItem) const {
    // The control copies at most the buffer's size; grow until the text fits.
    for (size_t size = 256;; size *= 4) {
        std::vector<char> buffer(size);
        LVITEMA item = {};
        item.iSubItem = subItem;
        item.pszText = buffer.data();
        item.cchTextMax = static_cast<int>(size);
        size_t length = SendMessageA(Handle_, LVM_GETITEMTEXTA, row, reinterpret_cast<LPARAM>(&item));
        if (length + 1 < size || size >= (1u << 26))
            return std::string(buffer.data(), length);
    }
}

bool TListView::Checked(int row) const {
    UINT state = static_cast<UINT>(SendMessageA(Handle_, LVM_GETITEMSTATE, row, LVIS_STATEIMAGEMASK));
    return (state & LVIS_STATEIMAGEMASK) == INDEXTOSTATEIMAGEMASK(2);
}

void TListView::SetChecked(int row, bool checked) {
    LVITEMA item = {};
    item.stateMask = LVIS_STATEIMAGEMASK;
    item.state = INDEXTOSTATEIMAGEMASK(checked ? 2 : 1);
    SendMessageA(Handle_, LVM_SETITEMSTATE, row, reinterpret_cast<LPARAM>(&item));
}

int TListView::Selected() const {
    return static_cast<int>(SendMessageA(Handle_, LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_SELECTED));
}

void TListView::Select(int row) {
    LVITEMA item = {};
    item.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
    item.state = LVIS_SELECTED | LVIS_FOCUSED;
    SendMessageA(Handle_, LVM_SETITEMSTATE, row, reinterpret_cast<LPARAM>(&item));
}

void TListView::AddColumn(int index, const char* caption, int width) {
    LVCOLUMNA column = {};
    column.mask = LVCF_TEXT | LVCF_WIDTH | LVCF_SUBITEM;
    column.pszText = const_cast<char*>(caption);
    column.cx = width;
    column.iSubItem = index;
    SendMessageA(Handle_, LVM_INSERTCOLUMNA, index, reinterpret_cast<LPARAM>(&column));
}
