// The points where a long scan lets the front end process its queued window messages.
#pragma once

#include <cstdint>

// The scan passes a pump point once per printable byte of a run and once per line it cuts, so a point
// must cost next to nothing: ProcessMessages() is an inline countdown, and the front end's real work
// (Pass) runs only every `stride` points. Points() counts every point exactly, which is what tests check.
class IMessagePump {
public:
    virtual ~IMessagePump() = default;

    void ProcessMessages() {
        ++points_;
        if (--countdown_ == 0) {
            countdown_ = stride_;
            Pass();
        }
    }

    // `count` points passed at once (a stretch of bytes measured in one go); Pass() runs at most once.
    void ProcessMessages(uint64_t count) {
        if (count == 0)
            return;
        points_ += count;
        if (count >= countdown_) {
            countdown_ = stride_;
            Pass();
        } else {
            countdown_ -= static_cast<uint32_t>(count);
        }
    }

    uint64_t Points() const { return points_; }

protected:
    explicit IMessagePump(uint32_t stride = 1) : stride_(stride == 0 ? 1 : stride), countdown_(stride_) {}
    // Process whatever window messages are waiting.
    virtual void Pass() = 0;

private:
    uint32_t stride_;
    uint32_t countdown_;
    uint64_t points_ = 0;
};

// The command line has no windows to keep alive.
class TNullMessagePump final : public IMessagePump {
public:
    TNullMessagePump() : IMessagePump(UINT32_MAX) {}

protected:
    void Pass() override {}
};
