// The error value of native operations is the interpreter's raised
// exception on the calling thread: an operation that fails leaves it set
// and returns its failure marker. These helpers build and inspect it.
#pragma once

#include "frame/python_api.hpp"

#include <string>

namespace velquist::frame {

/// Ensures an exception is pending after an interpreter call failed: if the
/// call set none, sets `SystemError` "attempted to fetch exception but none
/// was set".
void ensure_error_set() noexcept;

/// Takes the pending exception (new reference; never NULL: a missing one
/// becomes the `SystemError` above). A fetched `PanicException` is resumed:
/// its banner and traceback are printed and the panic is thrown again, with
/// no second report (it was reported when it started).
PyObject* fetch_error();

/// Text naming an exception's type, value and traceback, for panic messages.
std::string describe_error(PyObject* exc) noexcept;

/// "called `Result::unwrap()` on an `Err` value: <description>", for
/// factories that could not create their result. Takes the pending error.
[[noreturn, gnu::cold]] void panic_unwrap_pending_error();

/// Result conversion failed: print the pending error and panic with
/// "Python API call failed".
[[noreturn, gnu::cold]] void panic_api_call_failed();

/// Sets TypeError "'{}' object cannot be converted to '{}'" for `obj`.
[[gnu::cold]] void raise_cannot_convert(PyObject* obj, const char* target) noexcept;

/// Qualified name of `type` as UTF-8, or "<failed to extract type name>".
std::string qualified_type_name(PyTypeObject* type) noexcept;

}  // namespace velquist::frame
