// Installation of the logging bridge at import.
#pragma once

namespace velquist::logbridge {

/// Installs the bridge into the process-wide logger slot (once per
/// process); a later call finding this library's bridge there keeps it.
/// Panics with the installation fault texts on failure.
void init();

}  // namespace velquist::logbridge
