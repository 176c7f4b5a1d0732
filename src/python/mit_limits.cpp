#include "python/mit_limits.hpp"

#include <array>
#include <cstring>
#include <utility>

#include "frame/convert.hpp"
#include "frame/float_text.hpp"
#include "python/motor_presets.hpp"
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

/// The static method of the `I`th row of the preset table.
template <std::size_t I>
MethodItem preset_item() {
    constexpr const MotorPreset& row = motor_presets[I];
    constexpr PresetLimits v = row.limits;
    constexpr PyMitLimits limits{v.p_max, v.v_max, v.kp_max, v.kd_max, v.t_max};
    return MethodItem::of_method({row.name, reinterpret_cast<PyCFunction>(&frame::noargs_entry<&preset<limits>>),
                                  METH_NOARGS | METH_STATIC, row.doc});
}

/// The five getters, then one static method per row of the preset table.
template <std::size_t... I>
std::array<MethodItem, 5 + sizeof...(I)> method_table(std::index_sequence<I...>) {
    return {
        MethodItem::of_getter("p_max", &frame::getter_entry<PyMitLimits, &field<&PyMitLimits::p_max>>, ""),
        MethodItem::of_getter("v_max", &frame::getter_entry<PyMitLimits, &field<&PyMitLimits::v_max>>, ""),
        MethodItem::of_getter("kp_max", &frame::getter_entry<PyMitLimits, &field<&PyMitLimits::kp_max>>, ""),
        MethodItem::of_getter("kd_max", &frame::getter_entry<PyMitLimits, &field<&PyMitLimits::kd_max>>, ""),
        MethodItem::of_getter("t_max", &frame::getter_entry<PyMitLimits, &field<&PyMitLimits::t_max>>, ""),
        preset_item<I>()...,
    };
}

const auto methods = method_table(std::make_index_sequence<std::size(motor_presets)>{});

const PyType_Slot slots[] = {
    {Py_tp_new, reinterpret_cast<void*>(
                    &frame::constructor_new_entry<PyMitLimits, constructor_description, &from_arguments>)},
    {Py_tp_repr, reinterpret_cast<void*>(&frame::repr_entry<PyMitLimits, &write_repr>)},
};

const frame::ItemTable items = {methods.data(), methods.size(), slots, std::size(slots)};
const frame::Registration<frame::ItemTable, PyMitLimits> register_items{&items};

}  // namespace

const frame::ClassDescription PyMitLimits::description = {
    "MitLimits", "velquist", "(p_max=12.5, v_max=30.0, kp_max=500.0, kd_max=5.0, t_max=10.0)", "",
    reinterpret_cast<vectorcallfunc>(
        &frame::constructor_vectorcall_entry<PyMitLimits, constructor_description, &from_arguments>)};

}  // namespace velquist::python
