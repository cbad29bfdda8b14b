// The shell's folder-browse dialog, reduced to one call.
#pragma once

#include <windows.h>

#include <shlobj.h>

#include <string>

// The chosen folder's file-system path; empty when the user cancels or the item has no file-system path.
// Modal to `owner` (the application's hidden window). `initialFolder` is selected when the dialog opens.
std::string BrowseForFolder(HWND owner, const std::string& title, const std::string& initialFolder,
                            bool allowNewFolder);

// The dialog's parameter block as BrowseForFolder fills it; `pathBuffer` holds MAX_PATH + 1 bytes.
BROWSEINFOA MakeBrowseInfo(HWND owner, const std::string& title, const std::string& initialFolder, bool allowNewFolder,
                           char* pathBuffer);
// The dialog's callback: once initialised, the dialog selects the initial folder of the latest call.
int CALLBACK BrowseForFolderCallback(HWND dialog, UINT message, LPARAM param, LPARAM data);
