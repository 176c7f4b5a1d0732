#include "python/mit_limits.hpp"

#include <cstring>

#include "frame/convert.hpp"
#include "frame/float_text.hpp"
#include "python/repr_writer.hpp"

namespace velquist::python {

namespace {

using frame::MethodItem;
using Class = frame::PyClass<PyMitLimits>;

constexpr const char* parameter_names[] = {"p_max", "v_max", "kp_max", "kd_max", "t_max"};
constinit frame::FunctionDescription constructor_description = {"MitLimits", "__new__", parameter_names, 5, 0};

bool from_arguments(const frame::ArgumentSlots& slots, PyMitLimits& out) {
    const PyMitLimits& d = default_limits;
    return frame::f32_argument(slots[0], "p_max", d.p_max, out.p_max) &&
           frame::f32_argument(slots[1], "v_max", d.v_max, out.v_max) &&
           frame::f32_argument(slots[2], "kp_max", d.kp_max, out.kp_max) &&
           frame::f32_argument(slots[3], "kd_max", d.kd_max, out.kd_max) &&
           frame::f32_argument(slots[4], "t_max", d.t_max, out.t_max);
}

std::size_t write_repr(const PyMitLimits& v, char* out) noexcept {
    ReprWriter w(out);
    w.text("MitLimits(p_max=");
    w.shortest(v.p_max);
    w.text(", v_max=");
    w.shortest(v.v_max);
    w.text(", kp_max=");
    w.shortest(v.kp_max);
    w.text(", kd_max=");
    w.shortest(v.kd_max);
    w.text(", t_max=");
    w.shortest(v.t_max);
    w.text(")");
    return w.length();
}

template <float PyMitLimits::* Field>
float field(const PyMitLimits& v) {
    return v.*Field;
}

template <PyMitLimits Preset>
PyObject* preset() {
    return Class::create_or_panic(Preset);
}

template <PyMitLimits Preset>
MethodItem preset_item(const char* name, const char* doc) {
    return MethodItem::of_method({name, reinterpret_cast<PyCFunction>(&frame::noargs_entry<&preset<Preset>>),
                                  METH_NOARGS | METH_STATIC, doc});
}

// 12.566 is the float nearest the decimal 12.566, not 4π.
constexpr float p566 = 12.566f;

const MethodItem methods[] = {
    MethodItem::of_getter("p_max", &frame::getter_entry<PyMitLimits, &field<&PyMitLimits::p_max>>, ""),
    MethodItem::of_getter("v_max", &frame::getter_entry<PyMitLimits, &field<&PyMitLimits::v_max>>, ""),
    MethodItem::of_getter("kp_max", &frame::getter_entry<PyMitLimits, &field<&PyMitLimits::kp_max>>, ""),
    MethodItem::of_getter("kd_max", &frame::getter_entry<PyMitLimits, &field<&PyMitLimits::kd_max>>, ""),
    MethodItem::of_getter("t_max", &frame::getter_entry<PyMitLimits, &field<&PyMitLimits::t_max>>, ""),
    preset_item<PyMitLimits{p566, 50.0f, 500.0f, 5.0f, 5.0f}>("dm3507", "dm3507()\n--\n\n"),
    preset_item<PyMitLimits{12.5f, 30.0f, 500.0f, 5.0f, 10.0f}>("dm4310", "dm4310()\n--\n\n"),
    preset_item<PyMitLimits{12.5f, 50.0f, 500.0f, 5.0f, 10.0f}>("dm4310p", "dm4310p()\n--\n\n"),
    preset_item<PyMitLimits{12.5f, 10.0f, 500.0f, 5.0f, 28.0f}>("dm4340", "dm4340()\n--\n\n"),
    preset_item<PyMitLimits{12.5f, 10.0f, 500.0f, 5.0f, 28.0f}>("dm4340p", "dm4340p()\n--\n\n"),
    preset_item<PyMitLimits{12.5f, 45.0f, 500.0f, 5.0f, 20.0f}>("dm6006", "dm6006()\n--\n\n"),
    preset_item<PyMitLimits{p566, 20.0f, 500.0f, 5.0f, 120.0f}>("dm6248p", "dm6248p()\n--\n\n"),
    preset_item<PyMitLimits{12.5f, 45.0f, 500.0f, 5.0f, 40.0f}>("dm8006", "dm8006()\n--\n\n"),
    preset_item<PyMitLimits{12.5f, 45.0f, 500.0f, 5.0f, 54.0f}>("dm8009", "dm8009()\n--\n\n"),
    preset_item<PyMitLimits{12.5f, 20.0f, 500.0f, 5.0f, 200.0f}>("dm10010", "dm10010()\n--\n\n"),
    preset_item<PyMitLimits{12.5f, 25.0f, 500.0f, 5.0f, 200.0f}>("dm10010l", "dm10010l()\n--\n\n"),
    preset_item<PyMitLimits{12.5f, 45.0f, 500.0f, 5.0f, 10.0f}>("dmg6215", "dmg6215()\n--\n\n"),
    preset_item<PyMitLimits{12.5f, 280.0f, 500.0f, 5.0f, 1.0f}>("dmh3510", "dmh3510()\n--\n\n"),
    preset_item<PyMitLimits{12.5f, 45.0f, 500.0f, 5.0f, 10.0f}>("dmh6220", "dmh6220()\n--\n\n"),
    preset_item<PyMitLimits{12.5f, 10.0f, 500.0f, 5.0f, 12.0f}>("dmjh11", "dmjh11()\n--\n\n"),
};

const PyType_Slot slots[] = {
    {Py_tp_new, reinterpret_cast<void*>(
                    &frame::constructor_new_entry<PyMitLimits, constructor_description, &from_arguments>)},
    {Py_tp_repr, reinterpret_cast<void*>(&frame::repr_entry<PyMitLimits, &write_repr>)},
};

const frame::ItemTable items = {methods, std::size(methods), slots, std::size(slots)};
const frame::Registration<frame::ItemTable, PyMitLimits> register_items{&items};

}  // namespace

const frame::ClassDescription PyMitLimits::description = {
    "MitLimits", "velquist", "(p_max=12.5, v_max=30.0, kp_max=500.0, kd_max=5.0, t_max=10.0)", "",
    reinterpret_cast<vectorcallfunc>(
        &frame::constructor_vectorcall_entry<PyMitLimits, constructor_description, &from_arguments>)};

}  // namespace velquist::python
