// A thin wrapper over a report-style list view control: rows of text, check boxes, a selection. It works the
// same on an owner-data list, whose owner answers for the texts and the check boxes.
#pragma once

#include <windows.h>

#include <commctrl.h>

#include <string>

class TListView {
public:
    explicit TListView(HWND handle = nullptr) : Handle_(handle) {}
    HWND Handle() const { return Handle_; }

    int Count() const;
    std::string Text(int row, int subItem = 0) const;

    bool Checked(int row) const;
    void SetChecked(int row, bool checked);
    // -1 when no row is selected.
    int Selected() const;
    // Selects `row` and gives it the focus rectangle.
    void Select(int row);

    void AddColumn(int index, const char* caption, int width);

private:
    HWND Handle_;
};
