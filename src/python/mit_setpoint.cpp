#include "python/mit_setpoint.hpp"

#include "frame/convert.hpp"
#include "frame/error.hpp"
#include "frame/owned_ref.hpp"
#include "python/repr_writer.hpp"

namespace velquist::python {

namespace {

using frame::MethodItem;
using Class = frame::PyClass<PyMitSetpoint>;

constexpr const char* parameter_names[] = {"q", "dq", "kp", "kd", "tau"};
constinit frame::FunctionDescription constructor_description = {"MitSetpoint", "__new__", parameter_names, 5, 0};
constinit frame::FunctionDescription function_description = {nullptr, "mit_setpoint", parameter_names, 5, 0};

/// Shared by the constructor and the function: each value defaults to 0.0.
bool from_arguments(const frame::ArgumentSlots& slots, PyMitSetpoint& out) {
    return frame::f32_argument(slots[0], "q", 0.0f, out.q) && frame::f32_argument(slots[1], "dq", 0.0f, out.dq) &&
           frame::f32_argument(slots[2], "kp", 0.0f, out.kp) &&
           frame::f32_argument(slots[3], "kd", 0.0f, out.kd) &&
           frame::f32_argument(slots[4], "tau", 0.0f, out.tau);
}

std::size_t write_repr(const PyMitSetpoint& v, char* out) noexcept {
    ReprWriter w(out);
    w.text("MitSetpoint(");
    write_mit_fields(v, w);
    w.text(")");
    return w.length();
}

PyObject* mit_setpoint(const frame::ArgumentSlots& slots) {
    PyMitSetpoint value;
    if (!from_arguments(slots, value)) return nullptr;
    return Class::create_or_panic(value);
}

template <float PyMitSetpoint::* Field>
float field(const PyMitSetpoint& v) {
    return v.*Field;
}

const MethodItem methods[] = {
    MethodItem::of_getter("q", &frame::getter_entry<PyMitSetpoint, &field<&PyMitSetpoint::q>>, ""),
    MethodItem::of_getter("dq", &frame::getter_entry<PyMitSetpoint, &field<&PyMitSetpoint::dq>>, ""),
    MethodItem::of_getter("kp", &frame::getter_entry<PyMitSetpoint, &field<&PyMitSetpoint::kp>>, ""),
    MethodItem::of_getter("kd", &frame::getter_entry<PyMitSetpoint, &field<&PyMitSetpoint::kd>>, ""),
    MethodItem::of_getter("tau", &frame::getter_entry<PyMitSetpoint, &field<&PyMitSetpoint::tau>>, ""),
};

const PyType_Slot slots[] = {
    {Py_tp_new, reinterpret_cast<void*>(
                    &frame::constructor_new_entry<PyMitSetpoint, constructor_description, &from_arguments>)},
    {Py_tp_repr, reinterpret_cast<void*>(&frame::repr_entry<PyMitSetpoint, &write_repr>)},
};

const frame::ItemTable items = {methods, std::size(methods), slots, std::size(slots)};
const frame::Registration<frame::ItemTable, PyMitSetpoint> register_items{&items};

PyMethodDef function_record = {
    "mit_setpoint",
    reinterpret_cast<PyCFunction>(
        reinterpret_cast<void (*)()>(&frame::fastcall_entry<function_description, &mit_setpoint>)),
    METH_FASTCALL | METH_KEYWORDS,
    "mit_setpoint(q=0.0, dq=0.0, kp=0.0, kd=0.0, tau=0.0)\n--\n\n"
    "Build a `MitSetpoint` (handy when keyword args are awkward).",
};

}  // namespace

void write_mit_fields(const PyMitSetpoint& v, ReprWriter& w) noexcept {
    w.text("q=");
    w.shortest(v.q);
    w.text(", dq=");
    w.shortest(v.dq);
    w.text(", kp=");
    w.shortest(v.kp);
    w.text(", kd=");
    w.shortest(v.kd);
    w.text(", tau=");
    w.shortest(v.tau);
}

PyObject* make_mit_setpoint_function(PyObject* module) {
    frame::OwnedRef name(PyModule_GetNameObject(module));
    if (!name) {
        frame::ensure_error_set();
        return nullptr;
    }
    PyObject* function = PyCMethod_New(&function_record, module, name.get(), nullptr);
    if (function == nullptr) frame::ensure_error_set();
    return function;
}

const frame::ClassDescription PyMitSetpoint::description = {
    "MitSetpoint", "velquist", "(q=0.0, dq=0.0, kp=0.0, kd=0.0, tau=0.0)", "",
    reinterpret_cast<vectorcallfunc>(
        &frame::constructor_vectorcall_entry<PyMitSetpoint, constructor_description, &from_arguments>)};

}  // namespace velquist::python
