#include "python/damiao.hpp"

#include "frame/convert.hpp"
#include "python/repr_writer.hpp"

namespace velquist::python {

namespace {

using frame::MethodItem;

constexpr const char* parameter_names[] = {"motor_id", "master_id", "limits", "timeout_ms"};
constinit frame::FunctionDescription constructor_description = {"Damiao", "__new__", parameter_names, 4, 2};

bool u16_at(PyObject* slot, const char* name, std::uint16_t& out) {
    return frame::convert_argument(slot, name, std::uint16_t{0}, out,
                                   [](PyObject* o, std::uint16_t& v) { return frame::to_u16(o, v); });
}

bool from_arguments(const frame::ArgumentSlots& slots, PyDamiao& out) {
    if (!u16_at(slots[0], "motor_id", out.motor_id) || !u16_at(slots[1], "master_id", out.master_id)) return false;
    // `limits` is optional: None counts as not given.
    out.limits = default_limits;
    if (slots[2] != nullptr && slots[2] != Py_None) {
        if (!frame::PyClass<PyMitLimits>::extract(slots[2], out.limits)) {
            frame::wrap_argument_error("limits");
            return false;
        }
    }
    std::uint64_t timeout_ms = 0;
    if (!frame::convert_argument(slots[3], "timeout_ms", default_timeout_ms, timeout_ms,
                                 [](PyObject* o, std::uint64_t& v) { return frame::to_u64(o, v); })) {
        return false;
    }
    out.timeout = Duration::from_milliseconds(timeout_ms);
    return true;
}

std::size_t write_repr(const PyDamiao& v, char* out) noexcept {
    ReprWriter w(out);
    w.text("Damiao(motor_id=0x");
    w.hex(v.motor_id);
    w.text(", master_id=0x");
    w.hex(v.master_id);
    w.text(")");
    return w.length();
}

std::uint16_t motor_id(const PyDamiao& v) { return v.motor_id; }
std::uint16_t master_id(const PyDamiao& v) { return v.master_id; }

const MethodItem methods[] = {
    MethodItem::of_getter("motor_id", &frame::getter_entry<PyDamiao, &motor_id>, ""),
    MethodItem::of_getter("master_id", &frame::getter_entry<PyDamiao, &master_id>, ""),
};

const PyType_Slot slots[] = {
    {Py_tp_new,
     reinterpret_cast<void*>(&frame::constructor_new_entry<PyDamiao, constructor_description, &from_arguments>)},
    {Py_tp_repr, reinterpret_cast<void*>(&frame::repr_entry<PyDamiao, &write_repr>)},
};

const frame::ItemTable items = {methods, std::size(methods), slots, std::size(slots)};
const frame::Registration<frame::ItemTable, PyDamiao> register_items{&items};

}  // namespace

bool read_damiao(PyObject* obj, PyDamiao& out) { return frame::PyClass<PyDamiao>::extract(obj, out); }

const frame::ClassDescription PyDamiao::description = {
    "Damiao", "velquist", "(motor_id, master_id, limits=None, timeout_ms=20)", "",
    reinterpret_cast<vectorcallfunc>(
        &frame::constructor_vectorcall_entry<PyDamiao, constructor_description, &from_arguments>)};

}  // namespace velquist::python
