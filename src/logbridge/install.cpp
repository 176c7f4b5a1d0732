#include "logbridge/install.hpp"

#include "logbridge/slot.hpp"

namespace velquist::logbridge {

std::shared_ptr<CacheCell> install(std::unique_ptr<Logger> logger) noexcept {
    const LevelLimit ceiling = logger->ceiling();
    std::shared_ptr<CacheCell> cache = logger->cache();
    if (!set_boxed_logger(std::move(logger))) return nullptr;
    MAX_LOG_LEVEL_FILTER.store(ceiling, std::memory_order_relaxed);
    return cache;
}

const Logger* installed_bridge() noexcept {
    if (STATE.load(std::memory_order_acquire) != 2) return nullptr;
    return dynamic_cast<const Logger*>(LOGGER);
}

}  // namespace velquist::logbridge
