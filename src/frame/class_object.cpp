#include "frame/class_object.hpp"

#include <memory>
#include <string>
#include <vector>

#include "frame/owned_ref.hpp"
#include "frame/type_builder.hpp"

namespace velquist::frame {

namespace {

/// The arrays a heap type points at must live as long as the type.
struct TypeTables {
    std::vector<PyMethodDef> methods;
    std::vector<PyGetSetDef> getters;
    std::string name;
    std::string doc;
};

}  // namespace

PyTypeObject* build_type_object(const ClassDescription& desc, const RegistrationNode<ItemTable>* tables,
                                std::size_t basicsize, destructor dealloc) noexcept {
    std::unique_ptr<TypeTables> keep;
    std::vector<PyType_Slot> slots;
    try {
        keep = std::make_unique<TypeTables>();
        keep->name = std::string(desc.module_name) + "." + desc.python_name;
        if (desc.text_signature != nullptr) {
            keep->doc = std::string(desc.python_name) + desc.text_signature + "\n--\n\n" + desc.doc;
        } else {
            keep->doc = desc.doc;
        }
        if (keep->doc.find('\0') != std::string::npos) {
            PyErr_SetString(PyExc_ValueError, "class doc cannot contain nul bytes");
            return nullptr;
        }
        slots.push_back({Py_tp_base, &PyBaseObject_Type});
        slots.push_back({Py_tp_dealloc, reinterpret_cast<void*>(dealloc)});
        if (!keep->doc.empty()) slots.push_back({Py_tp_doc, const_cast<char*>(keep->doc.c_str())});
        bool has_new = false;
        for (const auto* node = tables; node != nullptr; node = node->next) {
            const ItemTable& table = *node->record;
            for (std::size_t i = 0; i < table.method_count; ++i) {
                const MethodItem& item = table.methods[i];
                if (item.kind == MethodItem::Kind::method) {
                    keep->methods.push_back(item.method);
                } else {
                    keep->getters.push_back(item.getter);
                }
            }
            for (std::size_t i = 0; i < table.slot_count; ++i) {
                if (table.slots[i].slot == Py_tp_new) has_new = true;
                slots.push_back(table.slots[i]);
            }
        }
        if (!has_new) slots.push_back({Py_tp_new, reinterpret_cast<void*>(&no_constructor_entry)});
        if (!keep->methods.empty()) {
            keep->methods.push_back({nullptr, nullptr, 0, nullptr});
            slots.push_back({Py_tp_methods, keep->methods.data()});
        }
        if (!keep->getters.empty()) {
            keep->getters.push_back({nullptr, nullptr, nullptr, nullptr, nullptr});
            slots.push_back({Py_tp_getset, keep->getters.data()});
        }
        slots.push_back({0, nullptr});
    } catch (const std::bad_alloc&) {
        PyErr_NoMemory();
        return nullptr;
    }

    PyType_Spec type_layout{keep->name.c_str(), static_cast<int>(basicsize), 0, Py_TPFLAGS_DEFAULT, slots.data()};
    PyObject* type = type_from_spec(&type_layout);
    if (type == nullptr) {
        ensure_error_set();
        return nullptr;
    }
    auto* heap = reinterpret_cast<PyTypeObject*>(type);
    if (desc.vectorcall != nullptr) heap->tp_vectorcall = desc.vectorcall;
    keep.release();  // owned by the type from now on, for the process
    return heap;
}

PyObject* no_constructor_entry(PyTypeObject* type, PyObject*, PyObject*) noexcept {
    return run_in_frame([type]() -> PyObject* {
        OwnedRef name(PyType_GetName(type));
        if (!name) {
            PyErr_Clear();
            PyErr_SetString(PyExc_TypeError, "No constructor defined for <unknown>");
            return nullptr;
        }
        PyErr_Format(PyExc_TypeError, "No constructor defined for %U", name.get());
        return nullptr;
    });
}

void raise_already_mutably_borrowed() noexcept { PyErr_SetString(PyExc_RuntimeError, "Already mutably borrowed"); }

void panic_type_creation_failed(const char* python_name) {
    ensure_error_set();
    PyErr_Print();
    panic(std::string("failed to create type object for ") + python_name);
}

}  // namespace velquist::frame
