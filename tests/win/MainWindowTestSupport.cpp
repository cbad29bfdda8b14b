#include "MainWindowTestSupport.h"

const std::vector<TPlantedMessage>& FiveMessages() {
    static const std::vector<TPlantedMessage> messages = {
        {" Wed, 03 Mar 2004 09:00:00 +0000", " carol@example.com", " dave@example.org", " charlie",
         "Meeting moved to Thursday.\r\n"},
        {" Mon, 01 Mar 2004 09:00:00 +0000", " alice@example.com", " bob@example.org", " alpha",
         "Please find the invoice below.\r\nTotal: 12 EUR\r\n"},
        {" Fri, 05 Mar 2004 09:00:00 +0000", " erin@example.com", " frank@example.org", " Echo", "Lunch at noon?\r\n"},
        {" Tue, 02 Mar 2004 09:00:00 +0000", " Bob@example.com", " carol@example.org", " Bravo",
         "Second InVoIcE, overdue.\r\n"},
        {" Thu, 04 Mar 2004 09:00:00 +0000", " dave@example.com", " erin@example.org", " delta", "Nothing to see.\r\n"},
    };
    return messages;
}

void MainWindowTest::SetUp() {
    Main = std::make_unique<TfrmMain>(TestApplication());
    Main->SetSpool(SpoolFolder.Path());
    TestApplication().SetMainWindow(Main->Handle());
    Main->Show();
    PumpMessages();
}

void MainWindowTest::TearDown() {
    Main.reset();
    TestApplication().SetMainWindow(nullptr);
    PumpMessages();
}

std::string MainWindowTest::OpenImage(const std::vector<TPlantedMessage>& messages, const std::string& name) {
    std::string path = Scratch.File(name);
    WriteWholeFile(path, ImageWithMessages(messages));
    Main->AddDiskImage(path);
    return path;
}

void MainWindowTest::ScanImage(const std::vector<TPlantedMessage>& messages) {
    OpenImage(messages);
    Command(kIdScan);
}

void MainWindowTest::Command(int id) {
    SendMessageA(Handle(), WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), 0);
}

void MainWindowTest::ClickColumn(int column) {
    NMLISTVIEW click = {};
    click.hdr.hwndFrom = Main->lvFoundEmails();
    click.hdr.idFrom = kIdFoundEmails;
    click.hdr.code = LVN_COLUMNCLICK;
    click.iItem = -1;
    click.iSubItem = column;
    SendMessageA(Handle(), WM_NOTIFY, kIdFoundEmails, reinterpret_cast<LPARAM>(&click));
}

void MainWindowTest::ClickRow(int row) {
    List().Select(row);
    NMITEMACTIVATE click = {};
    click.hdr.hwndFrom = Main->lvFoundEmails();
    click.hdr.idFrom = kIdFoundEmails;
    click.hdr.code = NM_CLICK;
    click.iItem = row;
    SendMessageA(Handle(), WM_NOTIFY, kIdFoundEmails, reinterpret_cast<LPARAM>(&click));
}

void MainWindowTest::SetKeyword(const std::string& keyword) {
    SetWindowTextA(Main->txtFilter(), keyword.c_str());
}

std::vector<std::string> MainWindowTest::Captions() {
    std::vector<std::string> captions;
    for (int row = 0; row < List().Count(); ++row)
        captions.push_back(List().Text(row));
    return captions;
}

std::vector<bool> MainWindowTest::Checks() {
    std::vector<bool> checks;
    for (int row = 0; row < List().Count(); ++row)
        checks.push_back(List().Checked(row));
    return checks;
}

std::vector<uint8_t> DenseImageWithMessages(const std::vector<TPlantedMessage>& messages) {
    constexpr size_t kRunBytes = 64 * 1024;
    std::vector<uint8_t> image(512, 0); // sector 0 is never examined
    std::string run;
    auto endRun = [&] {
        image.insert(image.end(), run.begin(), run.end());
        image.resize((image.size() + 511) / 512 * 512 + 512, 0);
        run.clear();
    };
    for (const TPlantedMessage& message : messages) {
        run += message.Text();
        if (run.size() >= kRunBytes)
            endRun();
    }
    if (!run.empty())
        endRun();
    return image;
}
