#include "cli/Exporter.h"

#include "volume/NewFile.h"

#include <filesystem>
#include <system_error>

namespace fs = std::filesystem;

TExporter::TExporter(std::string folder, std::FILE* errors) : folder_(std::move(folder)), errors_(errors) {}

bool TExporter::Prepare() {
    std::error_code ec;
    if (fs::is_directory(folder_, ec))
        return true;
    if (fs::exists(folder_, ec)) {
        std::fprintf(errors_, "ostrevan-scan: %s: not a folder\n", folder_.c_str());
        return false;
    }
    fs::create_directories(folder_, ec);
    if (ec) {
        std::fprintf(errors_, "ostrevan-scan: %s: cannot make the folder: %s\n", folder_.c_str(), ec.message().c_str());
        return false;
    }
    return true;
}

bool TExporter::Export(uint64_t position, std::string_view fullText) {
    const std::string path = (fs::path(folder_) / ("RecoveredEmail" + std::to_string(position) + ".eml")).string();
    std::string error;
    switch (CreateNewFile(path, fullText, error)) {
    case TCreateResult::Created:
        ++written_;
        return true;
    case TCreateResult::Exists:
        std::fprintf(errors_, "ostrevan-scan: %s: already exists, not overwritten\n", path.c_str());
        break;
    case TCreateResult::Failed:
        std::fprintf(errors_, "ostrevan-scan: %s: cannot write: %s\n", path.c_str(), error.c_str());
        break;
    }
    ++notWritten_;
    return false;
}
