// Installing a bridge `Logger` into the process-wide slot.
#pragma once

#include <memory>

#include "logbridge/logger.hpp"

namespace velquist::logbridge {

/// Moves `logger` into the slot and publishes its ceiling. Returns the
/// second reference to its cache, or null (`SetLoggerError`) when the slot
/// was filled before; `logger` is destroyed then.
std::shared_ptr<CacheCell> install(std::unique_ptr<Logger> logger) noexcept;

/// The bridge in the slot, if the slot holds one of this library's
/// `Logger`s; null otherwise.
const Logger* installed_bridge() noexcept;

}  // namespace velquist::logbridge
