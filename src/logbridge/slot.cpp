#include "logbridge/slot.hpp"

#include <thread>

namespace velquist::logbridge {

namespace {

constinit const NopLogger nop_logger;

}  // namespace

constinit std::atomic<std::size_t> STATE{0};
constinit const Log* LOGGER = nullptr;
constinit std::atomic<LevelLimit> MAX_LOG_LEVEL_FILTER{LevelLimit::Off};

bool set_boxed_logger(std::unique_ptr<Log> logger) noexcept {
    std::size_t seen = 0;
    if (STATE.compare_exchange_strong(seen, 1, std::memory_order_acquire, std::memory_order_relaxed)) {
        LOGGER = logger.release();
        STATE.store(2, std::memory_order_release);
        return true;
    }
    // A concurrent installer is filling the slot: wait so that a caller
    // told "already set" can rely on the slot's logger being there.
    while (seen == 1) {
        std::this_thread::yield();
        seen = STATE.load(std::memory_order_acquire);
    }
    return false;
}

const Log& logger() noexcept {
    if (STATE.load(std::memory_order_acquire) == 2) return *LOGGER;
    return nop_logger;
}

}  // namespace velquist::logbridge
