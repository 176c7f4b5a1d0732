// Parameter descriptions and argument binding: Python arguments to one
// slot per parameter, with the fixed TypeError wordings.
#pragma once

#include "frame/python_api.hpp"

#include <cstddef>

namespace velquist::frame {

/// The longest parameter list of any callable (the native MotorState entry).
inline constexpr std::size_t max_parameters = 7;

/// Static description of a callable's parameters. Every parameter may be
/// passed by position or keyword (no positional-only or keyword-only ones
/// occur in this module).
struct FunctionDescription {
    const char* class_name;  ///< NULL for a module function
    const char* function_name;
    const char* const* parameter_names;
    std::size_t positional_count;
    std::size_t required_count;

    /// Interned parameter names, filled on first use, so keywords from
    /// compiled call sites match by pointer. Without the GIL several threads
    /// may fill them at once (`publish_once`).
    mutable PyObject* interned[max_parameters] = {};
};

/// One slot per parameter; borrowed references, NULL when not given.
using ArgumentSlots = PyObject* [max_parameters];

namespace detail {
bool bind_fastcall_general(const FunctionDescription& desc, PyObject* const* args, std::size_t nargsf,
                           PyObject* kwnames, ArgumentSlots& slots) noexcept;
}  // namespace detail

/// Binds a fast call (vector, count possibly carrying the vectorcall offset
/// flag, keyword-name tuple or NULL). Returns false with TypeError set.
/// The common call, positional arguments only and enough of them, binds
/// inline; keywords and every error go out of line.
[[gnu::always_inline]] inline bool bind_fastcall(const FunctionDescription& desc, PyObject* const* args,
                                                 std::size_t nargsf, PyObject* kwnames,
                                                 ArgumentSlots& slots) noexcept {
    const std::size_t given = static_cast<std::size_t>(PyVectorcall_NARGS(nargsf));
    const std::size_t n = desc.positional_count;
    if (kwnames == nullptr && given <= n && given >= desc.required_count) [[likely]] {
        // Fixed-size clear plus a jump into straight-line copies: far fewer
        // instructions than a loop over a count known only at run time.
        for (std::size_t i = 0; i < max_parameters; ++i) slots[i] = nullptr;
        static_assert(max_parameters == 7);
        switch (given) {
            case 7: slots[6] = args[6]; [[fallthrough]];
            case 6: slots[5] = args[5]; [[fallthrough]];
            case 5: slots[4] = args[4]; [[fallthrough]];
            case 4: slots[3] = args[3]; [[fallthrough]];
            case 3: slots[2] = args[2]; [[fallthrough]];
            case 2: slots[1] = args[1]; [[fallthrough]];
            case 1: slots[0] = args[0]; [[fallthrough]];
            default: break;
        }
        return true;
    }
    return detail::bind_fastcall_general(desc, args, nargsf, kwnames, slots);
}

/// Binds a tuple-and-dict call (the constructor slot).
bool bind_tuple_dict(const FunctionDescription& desc, PyObject* args, PyObject* kwargs,
                     ArgumentSlots& slots) noexcept;

}  // namespace velquist::frame
