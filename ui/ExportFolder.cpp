#include "ui/ExportFolder.h"

#include "volume/NewFile.h"

namespace {

constexpr int kProbeNamesTried = 100;

void NoteFailure(TExportOutcome& outcome, const std::string& path, const std::string& error) {
    if (outcome.NotWritten++ == 0) {
        outcome.FirstFailure = path;
        outcome.FirstError = error;
    }
}

// Writes one message under the first free name of its number.
void ExportOne(const std::string& folder, uint64_t number, const std::string& text, TExportOutcome& outcome) {
    for (unsigned copy = 1; copy <= kMostCopiesTried; ++copy) {
        const std::string name = ExportFileName(number, copy);
        const std::string path = PathInFolder(folder, name);
        std::string error;
        switch (CreateNewFile(path, text, error)) {
        case TCreateResult::Created:
            ++outcome.Written;
            if (copy > 1 && outcome.Renamed++ == 0)
                outcome.FirstRenamed = name;
            return;
        case TCreateResult::Exists:
            continue;
        case TCreateResult::Failed:
            NoteFailure(outcome, path, error);
            return;
        }
    }
    NoteFailure(outcome, PathInFolder(folder, ExportFileName(number)),
                "The name and its next " + std::to_string(kMostCopiesTried - 1) + " numbered copies are all taken.");
}

} // namespace

std::string PathInFolder(const std::string& folder, const std::string& name) {
    if (!folder.empty() && (folder.back() == '\\' || folder.back() == '/'))
        return folder + name;
    return folder + "\\" + name;
}

DWORD ProbeFolder(const std::string& folder) {
    // CREATE_NEW: a file of the probe's name that the user already has is never opened, let alone deleted.
    DWORD error = ERROR_FILE_EXISTS;
    for (int attempt = 0; attempt < kProbeNamesTried && error == ERROR_FILE_EXISTS; ++attempt) {
        std::string name = attempt == 0 ? "check.DAT" : "check" + std::to_string(attempt) + ".DAT";
        std::string path = PathInFolder(folder, name);
        HANDLE probe = CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                   FILE_ATTRIBUTE_NORMAL, nullptr);
        if (probe != INVALID_HANDLE_VALUE) {
            CloseHandle(probe);
            DeleteFileA(path.c_str()); // ours: made just now
            return 0;
        }
        error = GetLastError();
    }
    return error;
}

std::string ExportFileName(uint64_t number, unsigned copy) {
    std::string name = "RecoveredEmail" + std::to_string(number);
    if (copy > 1)
        name += " (" + std::to_string(copy) + ")";
    return name + ".eml";
}

TExportOutcome ExportMessages(const std::string& folder, const std::vector<TExportItem>& items,
                              const TFullTextSource& fullText) {
    TExportOutcome outcome;
    std::string text;
    for (const TExportItem& item : items) {
        std::string error;
        text.clear();
        if (!fullText(item.MessageIndex, text, error))
            NoteFailure(outcome, PathInFolder(folder, ExportFileName(item.FileNumber)), error);
        else
            ExportOne(folder, item.FileNumber, text, outcome);
    }
    return outcome;
}
