#include "logbridge/init.hpp"

#include "frame/panic.hpp"
#include "logbridge/install.hpp"

namespace velquist::logbridge {

void init() {
    // A module body run again after a failed import finds its own bridge
    // installed; keeping it is right, refusing would fail every later import.
    if (installed_bridge() != nullptr) return;
    std::unique_ptr<Logger> logger = Logger::create_default();
    // The module keeps no reference of its own to the cache.
    if (!install(std::move(logger))) {
        frame::panic("called `Result::unwrap()` on an `Err` value: SetLoggerError(())");
    }
}

}  // namespace velquist::logbridge
