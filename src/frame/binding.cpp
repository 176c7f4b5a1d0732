#include "frame/binding.hpp"

#include <cstdio>
#include <cstring>
#include <string>

#include "frame/free_threading.hpp"

namespace velquist::frame {

namespace {

std::string display_name(const FunctionDescription& desc) {
    std::string name;
    if (desc.class_name != nullptr) {
        name += desc.class_name;
        name += '.';
    }
    name += desc.function_name;
    name += "()";
    return name;
}

[[gnu::cold, gnu::noinline]] void raise_too_many_positional(const FunctionDescription& desc,
                                                            std::size_t given) noexcept {
    const std::string name = display_name(desc);
    const char* verb = given == 1 ? "was" : "were";
    if (desc.required_count == desc.positional_count) {
        PyErr_Format(PyExc_TypeError, "%s takes %zu positional arguments but %zu %s given", name.c_str(),
                     desc.positional_count, given, verb);
    } else {
        PyErr_Format(PyExc_TypeError, "%s takes from %zu to %zu positional arguments but %zu %s given",
                     name.c_str(), desc.required_count, desc.positional_count, given, verb);
    }
}

[[gnu::cold, gnu::noinline]] void raise_unexpected_keyword(const FunctionDescription& desc,
                                                           PyObject* keyword) noexcept {
    PyErr_Format(PyExc_TypeError, "%s got an unexpected keyword argument '%S'", display_name(desc).c_str(),
                 keyword);
}

[[gnu::cold, gnu::noinline]] void raise_multiple_values(const FunctionDescription& desc,
                                                        std::size_t index) noexcept {
    PyErr_Format(PyExc_TypeError, "%s got multiple values for argument '%s'", display_name(desc).c_str(),
                 desc.parameter_names[index]);
}

/// 'a'; 'a' and 'b'; 'a', 'b', and 'c'.
std::string name_list(const char* const* names, std::size_t count) {
    std::string out;
    for (std::size_t i = 0; i < count; ++i) {
        if (i > 0) {
            if (count == 2) {
                out += " and ";
            } else {
                out += i + 1 == count ? ", and " : ", ";
            }
        }
        out += '\'';
        out += names[i];
        out += '\'';
    }
    return out;
}

[[gnu::cold, gnu::noinline]] void raise_missing_positional(const FunctionDescription& desc,
                                                           const ArgumentSlots& slots) noexcept {
    const char* missing[max_parameters];
    std::size_t count = 0;
    for (std::size_t i = 0; i < desc.required_count; ++i) {
        if (slots[i] == nullptr) missing[count++] = desc.parameter_names[i];
    }
    PyErr_Format(PyExc_TypeError, "%s missing %zu required positional %s: %s", display_name(desc).c_str(), count,
                 count == 1 ? "argument" : "arguments", name_list(missing, count).c_str());
}

bool intern_names(const FunctionDescription& desc) noexcept {
    for (std::size_t i = 0; i < desc.positional_count; ++i) {
        if (load_published(desc.interned[i]) != nullptr) continue;
        PyObject* name = PyUnicode_InternFromString(desc.parameter_names[i]);
        if (name == nullptr) return false;
        // Kept for the life of the process. Interning gives every thread the
        // same object, so a thread that lost the race drops an extra reference.
        if (publish_once(desc.interned[i], name) != name) Py_DECREF(name);
    }
    return true;
}

/// Index of the parameter whose name reads as the text of `keyword`, or -1:
/// for names that were not interned (built at run time).
[[gnu::noinline]] std::ptrdiff_t find_parameter_by_text(const FunctionDescription& desc,
                                                        PyObject* keyword) noexcept {
    Py_ssize_t size = 0;
    const char* text = PyUnicode_Check(keyword) ? PyUnicode_AsUTF8AndSize(keyword, &size) : nullptr;
    if (text == nullptr) {
        // Not readable as text: it matches nothing.
        PyErr_Clear();
        return -1;
    }
    for (std::size_t i = 0; i < desc.positional_count; ++i) {
        const char* name = desc.parameter_names[i];
        if (std::strlen(name) == static_cast<std::size_t>(size) && std::memcmp(name, text, size) == 0) {
            return static_cast<std::ptrdiff_t>(i);
        }
    }
    return -1;
}

/// Index of the parameter named `keyword`, or -1. Pointer comparison first,
/// starting at `hint`: keywords mostly come in parameter order, so the
/// parameter after the previous keyword's is tried first. Names are unique,
/// so where the scan starts does not change the answer.
[[gnu::always_inline]] inline std::ptrdiff_t find_parameter(const FunctionDescription& desc, PyObject* keyword,
                                                            std::size_t hint) noexcept {
    const std::size_t n = desc.positional_count;
    if (hint >= n) hint = 0;
    for (std::size_t i = hint; i < n; ++i) {
        if (load_published(desc.interned[i]) == keyword) return static_cast<std::ptrdiff_t>(i);
    }
    for (std::size_t i = 0; i < hint; ++i) {
        if (load_published(desc.interned[i]) == keyword) return static_cast<std::ptrdiff_t>(i);
    }
    return find_parameter_by_text(desc, keyword);
}

/// Binds one keyword; `hint` is where its parameter is looked for first, and
/// becomes the position after the one it bound.
[[gnu::always_inline]] inline bool bind_keyword(const FunctionDescription& desc, PyObject* keyword,
                                                PyObject* value, ArgumentSlots& slots,
                                                std::size_t& hint) noexcept {
    const std::ptrdiff_t index = find_parameter(desc, keyword, hint);
    if (index < 0) [[unlikely]] {
        raise_unexpected_keyword(desc, keyword);
        return false;
    }
    if (slots[index] != nullptr) [[unlikely]] {
        raise_multiple_values(desc, static_cast<std::size_t>(index));
        return false;
    }
    slots[index] = value;
    hint = static_cast<std::size_t>(index) + 1;
    return true;
}

bool check_required(const FunctionDescription& desc, std::size_t given, const ArgumentSlots& slots) noexcept {
    for (std::size_t i = given; i < desc.required_count; ++i) {
        if (slots[i] == nullptr) {
            raise_missing_positional(desc, slots);
            return false;
        }
    }
    return true;
}

}  // namespace

bool detail::bind_fastcall_general(const FunctionDescription& desc, PyObject* const* args, std::size_t nargsf,
                                   PyObject* kwnames, ArgumentSlots& slots) noexcept {
    const std::size_t given = static_cast<std::size_t>(PyVectorcall_NARGS(nargsf));
    const std::size_t n = desc.positional_count;
    for (std::size_t i = 0; i < n; ++i) slots[i] = i < given ? args[i] : nullptr;
    if (given > n) {
        raise_too_many_positional(desc, given);
        return false;
    }
    if (kwnames != nullptr) {
        const Py_ssize_t count = PyTuple_GET_SIZE(kwnames);
        if (count > 0 && load_published(desc.interned[0]) == nullptr && !intern_names(desc)) return false;
        std::size_t hint = given;
        for (Py_ssize_t k = 0; k < count; ++k) {
            if (!bind_keyword(desc, PyTuple_GET_ITEM(kwnames, k), args[given + static_cast<std::size_t>(k)], slots,
                              hint)) {
                return false;
            }
        }
    }
    return check_required(desc, given, slots);
}

bool bind_tuple_dict(const FunctionDescription& desc, PyObject* args, PyObject* kwargs,
                     ArgumentSlots& slots) noexcept {
    const std::size_t given = static_cast<std::size_t>(PyTuple_GET_SIZE(args));
    const std::size_t n = desc.positional_count;
    for (std::size_t i = 0; i < n; ++i) slots[i] = i < given ? PyTuple_GET_ITEM(args, i) : nullptr;
    if (given > n) {
        raise_too_many_positional(desc, given);
        return false;
    }
    if (kwargs != nullptr && PyDict_GET_SIZE(kwargs) > 0) {
        if (load_published(desc.interned[0]) == nullptr && !intern_names(desc)) return false;
        Py_ssize_t pos = 0;
        PyObject* key = nullptr;
        PyObject* value = nullptr;
        std::size_t hint = given;
        while (PyDict_Next(kwargs, &pos, &key, &value)) {
            if (!bind_keyword(desc, key, value, slots, hint)) return false;
        }
    }
    return check_required(desc, given, slots);
}

}  // namespace velquist::frame
