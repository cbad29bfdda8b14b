// How far a scan has come, shown by the front end: a window on the desktop, a bar on a terminal.
#pragma once

#include <cstdint>
#include <memory>

// Shown (not modally) when created; closed and freed when destroyed, however the walk ends.
class IProgressWindow {
public:
    virtual ~IProgressWindow() = default;
    // Moves the bar; neither repaints nor processes messages (the scan's pump does that next).
    virtual void SetProgress(uint64_t position) = 0;
    // The number of messages found so far; told after every run that yielded messages.
    virtual void SetMessagesFound(uint64_t) {}
    // True once the user has asked to stop the walk. Asked at every progress point, after every run and within
    // long runs, so it must be cheap; it turns true only while the scan's pump lets messages through.
    virtual bool CancelRequested() const { return false; }
};

class IProgressFactory {
public:
    virtual ~IProgressFactory() = default;
    // A bar from 0 to `maximum`, at position 0.
    virtual std::unique_ptr<IProgressWindow> Create(uint64_t maximum) = 0;
};

// For callers that show no progress (tests, a quiet command line).
class TNoProgress final : public IProgressFactory {
public:
    std::unique_ptr<IProgressWindow> Create(uint64_t) override { return std::make_unique<Silent>(); }

private:
    struct Silent final : IProgressWindow {
        void SetProgress(uint64_t) override {}
    };
};
