#include "cli/MessageOutput.h"

#include "cli/JsonWriter.h"
#include "cli/Sha256.h"

#include <utility>
#include <vector>

namespace {

// A range's messages, prepared as they are found and written when the range is delivered.
class TRangeMessages final : public IRangeOutput {
public:
    explicit TRangeMessages(TMessageOutput& output) : output_(output) {}

    void Add(const TEmailView& email, const TFoundLocation& location) override {
        prepared_.push_back(output_.Prepare(email, location));
    }
    void Deliver(uint64_t firstRunOffset) override {
        for (TPreparedMessage& message : prepared_)
            if (message.RunOffset >= firstRunOffset)
                output_.Write(std::move(message));
        prepared_.clear();
    }

private:
    TMessageOutput& output_;
    std::vector<TPreparedMessage> prepared_;
};

} // namespace

TMessageOutput::TMessageOutput(const TOptions& options, std::FILE* out, TExporter* exporter, TTerminalProgress* bar)
    : options_(options), out_(out), exporter_(exporter), bar_(bar), keyword_(options.Keyword) {}

std::string TMessageOutput::Heading() const {
    return options_.Json ? std::string() : table_.Header();
}

TPreparedMessage TMessageOutput::Prepare(const TEmailView& email, const TFoundLocation& location) const {
    TPreparedMessage message;
    message.RunOffset = location.RunOffset;
    // The hash is the costliest step: made once when both --unique and --json want it.
    const std::string digest = options_.Unique ? Sha256Hex(email.FullText) : std::string();
    if (options_.Unique)
        message.Digest = digest.substr(0, 32);
    message.Listed = !options_.HasKeyword || keyword_.FoundIn(email.Body);
    if (!message.Listed)
        return message;
    message.LineRest = options_.Json ? JsonLineRest({0, location.Offset, location.RunOffset, email}, digest)
                                     : table_.RowAfterItem(location.Offset, email);
    if (exporter_)
        message.FullText.assign(email.FullText);
    return message;
}

void TMessageOutput::Write(TPreparedMessage&& message) {
    const uint64_t index = found_++;
    if (options_.Unique && !seen_.insert(std::move(message.Digest)).second) {
        ++dropped_;
        return;
    }
    if (!message.Listed)
        return;
    const std::string start = options_.Json ? JsonLineStart(index) : table_.ItemCell(index);
    if (bar_)
        bar_->Interrupt();
    std::fwrite(start.data(), 1, start.size(), out_);
    std::fwrite(message.LineRest.data(), 1, message.LineRest.size(), out_);
    if (exporter_)
        exporter_->Export(listed_, message.FullText);
    ++listed_;
}

std::unique_ptr<IRangeOutput> TMessageOutput::MakeRangeOutput() {
    return std::make_unique<TRangeMessages>(*this);
}
