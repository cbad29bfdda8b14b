#include "cli/TerminalProgress.h"

#include <algorithm>

namespace {
constexpr int kBarWidth = 40;
} // namespace

// The bar is drawn again only when its percentage changes, so a scan of millions of sectors writes a few
// hundred short lines at most. The line is cleared when the window is destroyed, before the summary.
class TTerminalBar final : public IProgressWindow {
public:
    TTerminalBar(TTerminalProgress& owner, std::FILE* out, const std::string& label, uint64_t maximum)
        : owner_(owner), out_(out), label_(label), maximum_(maximum) {
        owner_.current_ = this;
        Draw(0);
    }
    ~TTerminalBar() override {
        Clear();
        owner_.current_ = nullptr;
    }
    void SetProgress(uint64_t position) override { Draw(position); }
    void Clear() {
        if (width_ > 0)
            std::fprintf(out_, "\r%*s\r", static_cast<int>(width_), "");
        std::fflush(out_);
        width_ = 0;
        lastPercent_ = -1;
    }

private:
    void Draw(uint64_t position) {
        const int percent =
            maximum_ == 0 ? 100 : static_cast<int>(std::min<uint64_t>(position, maximum_) * 100 / maximum_);
        if (percent == lastPercent_)
            return;
        lastPercent_ = percent;
        const int filled = percent * kBarWidth / 100;
        std::string line = "\r" + label_ + " [" + std::string(filled, '#') + std::string(kBarWidth - filled, ' ') +
                           "] " + std::to_string(percent) + "%";
        width_ = std::max(width_, line.size());
        std::fputs(line.c_str(), out_);
        std::fflush(out_);
    }

    TTerminalProgress& owner_;
    std::FILE* out_;
    std::string label_;
    uint64_t maximum_;
    int lastPercent_ = -1;
    size_t width_ = 0;
};

TTerminalProgress::TTerminalProgress(std::FILE* out, std::string label) : out_(out), label_(std::move(label)) {}

std::unique_ptr<IProgressWindow> TTerminalProgress::Create(uint64_t maximum) {
    return std::make_unique<TTerminalBar>(*this, out_, label_, maximum);
}

void TTerminalProgress::Interrupt() {
    if (current_ != nullptr)
        current_->Clear();
}
