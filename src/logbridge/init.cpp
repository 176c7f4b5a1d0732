#include "logbridge/init.hpp"

#include <Python.h>

#include "frame/error.hpp"
#include "frame/owned_ref.hpp"
#include "frame/panic.hpp"

namespace velquist::logbridge {

// Placeholder until the bridge lands: imports `logging` as the bridge will.
void init() {
    frame::OwnedRef logging(PyImport_ImportModule("logging"));
    if (!logging) {
        frame::OwnedRef exc(frame::fetch_error());
        frame::panic("Failed to initialize python logging: " + frame::describe_error(exc.get()));
    }
}

}  // namespace velquist::logbridge
