// A thin wrapper over a report-style list view control: rows of text, check boxes, a selection.
#pragma once

#include <windows.h>

#include <commctrl.h>

#include <string>

class TListView {
public:
    explicit TListView(HWND handle = nullptr) : Handle_(handle) {}
    HWND Handle() const { return Handle_; }

    int Count() const;
    // Appends a row with its caption, picture and item data; returns its position.
    int AddRow(const std::string& caption, int image, LPARAM data);
    void SetSubItem(int row, int subItem, const std::string& text);
    std::string Text(int row, int subItem = 0) const;
    LPARAM Data(int row) const;
    void Clear();
    void MakeVisible(int row);

    bool Checked(int row) const;
    void SetChecked(int row, bool checked);
    // -1 when no row is selected.
    int Selected() const;
    void Select(int row);

    void AddColumn(int index, const char* caption, int width);
    // Sorts through the list's own sort: `compare` receives the two rows' item data and `context`.
    void Sort(PFNLVCOMPARE compare, LPARAM context);

private:
    HWND Handle_;
};
