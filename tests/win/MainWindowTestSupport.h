// A main window over the test application, driven by the messages a user's clicks would send.
#pragma once

#include "WinTestSupport.h"
#include "ui/ListView.h"
#include "ui/ResourceIds.h"
#include "ui/frmMainWindow.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

// Five messages whose dates, senders and subjects sort differently by text, by time and by case.
const std::vector<TPlantedMessage>& FiveMessages();

class MainWindowTest : public ::testing::Test {
protected:
    // Every test starts with a fresh window whose spool files go to a folder of the test's own.
    void SetUp() override;
    void TearDown() override;

    TfrmMain& Window() { return *Main; }
    HWND Handle() { return Main->Handle(); }
    TListView List() { return TListView(Main->lvFoundEmails()); }

    // Writes the messages into a disk image and opens it as File > Open Disk Image would.
    std::string OpenImage(const std::vector<TPlantedMessage>& messages, const std::string& name = "disk.img");
    void ScanImage(const std::vector<TPlantedMessage>& messages);

    void Command(int id);
    void ClickColumn(int column);
    void ClickRow(int row);
    void SetKeyword(const std::string& keyword);

    std::vector<std::string> Captions();
    std::vector<bool> Checks();
    std::string Preview() { return WithoutLineFeeds(WindowText(Main->txtmsgbody())); }

    TScratchFolder Scratch;
    TScratchFolder SpoolFolder;
    std::unique_ptr<TfrmMain> Main; // destroyed first: its spool file closes before its folder goes
};

// Messages one after another in runs of about 64 KiB, each run starting at a sector and followed by a sector
// of zeros: many messages in a small image, cut apart by the parser.
std::vector<uint8_t> DenseImageWithMessages(const std::vector<TPlantedMessage>& messages);
