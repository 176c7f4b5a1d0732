// Class objects: heap types built from registered item tables, the instance
// layout, instance creation, borrowing, and the entry templates a class
// file instantiates for its constructor, getters, repr and static methods.
#pragma once

#include "frame/python_api.hpp"

#include <cstddef>
#include <cstdint>
#include <type_traits>

#include "frame/binding.hpp"
#include "frame/call_frame.hpp"
#include "frame/error.hpp"
#include "frame/free_threading.hpp"
#include "frame/registration.hpp"

namespace velquist::frame {

/// One entry of a class's method definitions: a method record or an
/// attribute getter.
struct MethodItem {
    enum class Kind : std::uint8_t { method, getter };
    Kind kind;
    PyMethodDef method;
    PyGetSetDef getter;

    static constexpr MethodItem of_method(PyMethodDef def) { return {Kind::method, def, {}}; }
    static constexpr MethodItem of_getter(const char* name, ::getter get, const char* doc) {
        return {Kind::getter, {}, {name, get, nullptr, doc, nullptr}};
    }
};

/// The method definitions and type slots of one class.
struct ItemTable {
    const MethodItem* methods;
    std::size_t method_count;
    const PyType_Slot* slots;
    std::size_t slot_count;
};

/// The static description of a class. Its methods and slots come from the
/// item tables on the class's own registration list.
struct ClassDescription {
    const char* python_name;
    const char* module_name;
    const char* text_signature;  ///< NULL when the class has no constructor
    const char* doc;
    /// Fast constructor entry set beside `tp_new`; NULL for none.
    vectorcallfunc vectorcall;
};

/// Layout of every instance: header, value record, borrow counter.
template <class T>
struct Instance {
    PyObject_HEAD
    T value;
    /// 0 free, n shared borrows, all bits set exclusively borrowed; shared
    /// between threads only without the GIL (free_threading.hpp).
    std::uintptr_t borrow;
};

/// Builds a type object from a description and the item tables on a list.
/// Returns a new reference or NULL with an error set.
PyTypeObject* build_type_object(const ClassDescription& desc, const RegistrationNode<ItemTable>* tables,
                                std::size_t basicsize, destructor dealloc) noexcept;

/// Sets TypeError "No constructor defined for {}".
PyObject* no_constructor_entry(PyTypeObject* type, PyObject* args, PyObject* kwargs) noexcept;

[[gnu::cold]] void raise_already_mutably_borrowed() noexcept;

/// Prints the pending error and panics "failed to create type object for {}".
[[noreturn, gnu::cold]] void panic_type_creation_failed(const char* python_name);

/// The class machinery for a native record `T`. `T` provides
/// `static constexpr ClassDescription description`.
template <class T>
class PyClass {
public:
    using Layout = Instance<T>;
    using Tag = T;

    static RegistrationList<ItemTable, T>& item_tables() { return registration_list<ItemTable, T>; }

    /// The cached type object (borrowed), created on first use; NULL with an
    /// error set when creation fails.
    static PyTypeObject* get_or_create() noexcept {
        if (cell_ != nullptr) [[likely]]
            return cell_;
        PyTypeObject* created =
            build_type_object(T::description, item_tables().head(), sizeof(Layout), &dealloc_entry);
        if (created == nullptr) return nullptr;
        if (cell_ == nullptr) {
            cell_ = created;  // the cell keeps this reference for the process
        } else {
            Py_DECREF(created);
        }
        return cell_;
    }

    /// The type object where it must exist; a panic otherwise.
    static PyTypeObject* type() {
        PyTypeObject* t = get_or_create();
        if (t == nullptr) [[unlikely]]
            panic_type_creation_failed(T::description.python_name);
        return t;
    }

    static bool is_instance(PyObject* obj) {
        PyTypeObject* t = type();
        return Py_IS_TYPE(obj, t) || PyType_IsSubtype(Py_TYPE(obj), t);
    }

    /// New instance of `type` holding `value`; NULL with an error set.
    static PyObject* allocate(PyTypeObject* type, const T& value) noexcept {
        PyObject* obj;
        if (type->tp_alloc == PyType_GenericAlloc && !PyType_HasFeature(type, Py_TPFLAGS_HAVE_GC)) [[likely]] {
            // What the generic slot does for a type without a GC header or
            // items, minus the zero fill: every byte we use is written below.
            obj = static_cast<PyObject*>(PyObject_Malloc(static_cast<std::size_t>(type->tp_basicsize)));
            if (obj == nullptr) [[unlikely]]
                return PyErr_NoMemory();
            PyObject_Init(obj, type);  // new reference to a heap type
        } else {
            allocfunc alloc = type->tp_alloc != nullptr ? type->tp_alloc : PyType_GenericAlloc;
            obj = alloc(type, 0);
        }
        if (obj == nullptr) [[unlikely]] {
            ensure_error_set();
            return nullptr;
        }
        auto* inst = reinterpret_cast<Layout*>(obj);
        inst->value = value;
        inst->borrow = 0;
        return obj;
    }

    /// New instance of the class; NULL with an error set.
    static PyObject* create(const T& value) { return allocate(type(), value); }

    /// For factories: the new instance, or the unwrap panic.
    static PyObject* create_or_panic(const T& value) {
        PyObject* obj = create(value);
        if (obj == nullptr) [[unlikely]]
            panic_unwrap_pending_error();
        return obj;
    }

    /// Copies the value out of an instance argument (shared borrow held for
    /// the copy). False with TypeError or RuntimeError set.
    static bool extract(PyObject* obj, T& out) {
        if (!is_instance(obj)) [[unlikely]] {
            raise_cannot_convert(obj, T::description.python_name);
            return false;
        }
        auto* inst = reinterpret_cast<Layout*>(obj);
        if (exclusively_borrowed(inst->borrow)) [[unlikely]] {
            raise_already_mutably_borrowed();
            return false;
        }
        out = inst->value;
        return true;
    }

    /// A shared borrow of a receiver, released at scope exit.
    class Borrow {
    public:
        explicit Borrow(PyObject* self) {
            if (!is_instance(self)) [[unlikely]] {
                raise_cannot_convert(self, T::description.python_name);
                return;
            }
            auto* inst = reinterpret_cast<Layout*>(self);
            if (!try_borrow_shared(inst->borrow)) [[unlikely]] {
                raise_already_mutably_borrowed();
                return;
            }
            inst_ = inst;
        }
        ~Borrow() {
            if (inst_ != nullptr) release_borrow_shared(inst_->borrow);
        }
        Borrow(const Borrow&) = delete;
        Borrow& operator=(const Borrow&) = delete;
        explicit operator bool() const { return inst_ != nullptr; }
        const T& value() const { return inst_->value; }

    private:
        Layout* inst_ = nullptr;
    };

    static void dealloc_entry(PyObject* self) noexcept {
        run_in_frame_unraisable(
            [self] {
                // The instance's own reference keeps the type alive until
                // it is dropped after the free, so no extra one is taken.
                PyTypeObject* type = Py_TYPE(self);
                // The field itself: `PyType_GetSlot` reads the same one, slower.
                freefunc free_slot = type->tp_free;
                if (free_slot == nullptr) [[unlikely]]
                    panic("PyBaseObject_Type should have tp_free");
                free_slot(self);
                Py_DECREF(type);  // the reference the instance held
            },
            nullptr);
    }

private:
    static inline PyTypeObject* cell_ = nullptr;
};

/// Python objects for native results; a failed creation is a panic.
inline PyObject* checked_result(PyObject* obj) {
    if (obj == nullptr) [[unlikely]]
        panic_api_call_failed();
    return obj;
}
inline PyObject* to_python(float v) { return checked_result(PyFloat_FromDouble(static_cast<double>(v))); }
template <class I>
    requires std::is_integral_v<I>
inline PyObject* to_python(I v) {
    return checked_result(PyLong_FromLong(static_cast<long>(v)));
}

/// Getter entry: `Get` reads one field of the record.
template <class T, auto Get>
PyObject* getter_entry(PyObject* self, void*) noexcept {
    return run_in_frame([self]() -> PyObject* {
        typename PyClass<T>::Borrow borrow(self);
        if (!borrow) return nullptr;
        return to_python(Get(borrow.value()));
    });
}

/// Repr entry: `Write` renders the record into a buffer of `Capacity`
/// bytes and returns the length.
template <class T, auto Write, std::size_t Capacity = 512>
PyObject* repr_entry(PyObject* self) noexcept {
    return run_in_frame([self]() -> PyObject* {
        typename PyClass<T>::Borrow borrow(self);
        if (!borrow) return nullptr;
        char buffer[Capacity];
        const std::size_t length = Write(borrow.value(), buffer);
        return checked_result(PyUnicode_FromStringAndSize(buffer, static_cast<Py_ssize_t>(length)));
    });
}

/// Constructor entries. `Build` converts bound slots into the record,
/// returning false with an error set.
template <class T, const FunctionDescription& Desc, auto Build>
PyObject* constructor_new_entry(PyTypeObject* subtype, PyObject* args, PyObject* kwargs) noexcept {
    return run_in_frame([=]() -> PyObject* {
        ArgumentSlots slots;
        if (!bind_tuple_dict(Desc, args, kwargs, slots)) return nullptr;
        T value;
        if (!Build(slots, value)) return nullptr;
        return PyClass<T>::allocate(subtype, value);
    });
}

// The hot entries are flattened: with the class's conversions inlined the
// converted values stay in registers and go straight into the new instance
// (a record assembled in memory by narrow stores and copied out by wide
// loads stalls store forwarding).
template <class T, const FunctionDescription& Desc, auto Build>
[[gnu::flatten]] PyObject* constructor_vectorcall_entry(PyObject* type, PyObject* const* args, std::size_t nargsf,
                                                        PyObject* kwnames) noexcept {
    return run_in_frame([=]() -> PyObject* {
        ArgumentSlots slots;
        if (!bind_fastcall(Desc, args, nargsf, kwnames, slots)) return nullptr;
        T value;
        if (!Build(slots, value)) return nullptr;
        return PyClass<T>::allocate(reinterpret_cast<PyTypeObject*>(type), value);
    });
}

/// Fast-call entry of a static method or function: `Op` takes the bound
/// slots and returns a new reference or NULL with an error set.
template <const FunctionDescription& Desc, auto Op>
[[gnu::flatten]] PyObject* fastcall_entry(PyObject*, PyObject* const* args, Py_ssize_t nargs,
                                          PyObject* kwnames) noexcept {
    return run_in_frame([=]() -> PyObject* {
        ArgumentSlots slots;
        if (!bind_fastcall(Desc, args, static_cast<std::size_t>(nargs), kwnames, slots)) return nullptr;
        return Op(slots);
    });
}

/// No-argument static method entry.
template <auto Op>
[[gnu::flatten]] PyObject* noargs_entry(PyObject*, PyObject*) noexcept {
    return run_in_frame([]() -> PyObject* { return Op(); });
}

}  // namespace velquist::frame
