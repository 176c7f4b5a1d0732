#include "python/control_setpoint.hpp"

#include "frame/convert.hpp"
#include "python/repr_writer.hpp"

namespace velquist::python {

namespace {

using frame::MethodItem;
using Class = frame::PyClass<PyControlSetpoint>;

constexpr const char* mit_names[] = {"setpoint"};
constexpr const char* pos_vel_names[] = {"position", "velocity"};
constexpr const char* vel_names[] = {"velocity"};
constexpr const char* force_pos_names[] = {"position", "velocity_limit", "torque_ratio"};
constinit frame::FunctionDescription mit_description = {"ControlSetpoint", "mit", mit_names, 1, 1};
constinit frame::FunctionDescription pos_vel_description = {"ControlSetpoint", "pos_vel", pos_vel_names, 2, 2};
constinit frame::FunctionDescription vel_description = {"ControlSetpoint", "vel", vel_names, 1, 1};
constinit frame::FunctionDescription force_pos_description = {"ControlSetpoint", "force_pos", force_pos_names, 3,
                                                              3};

// Required parameters are always bound, so the fallback never applies.
bool float_at(const frame::ArgumentSlots& slots, std::size_t i, const char* name, float& out) {
    return frame::f32_argument(slots[i], name, 0.0f, out);
}

PyObject* mit(const frame::ArgumentSlots& slots) {
    PyControlSetpoint value{};
    value.mode = ControlMode::mit;
    if (!frame::PyClass<PyMitSetpoint>::extract(slots[0], value.mit)) {
        frame::wrap_argument_error("setpoint");
        return nullptr;
    }
    return Class::create_or_panic(value);
}

PyObject* pos_vel(const frame::ArgumentSlots& slots) {
    PyControlSetpoint value{};
    value.mode = ControlMode::pos_vel;
    if (!float_at(slots, 0, "position", value.pos_vel.position) ||
        !float_at(slots, 1, "velocity", value.pos_vel.velocity)) {
        return nullptr;
    }
    return Class::create_or_panic(value);
}

PyObject* vel(const frame::ArgumentSlots& slots) {
    PyControlSetpoint value{};
    value.mode = ControlMode::vel;
    if (!float_at(slots, 0, "velocity", value.vel.velocity)) return nullptr;
    return Class::create_or_panic(value);
}

PyObject* force_pos(const frame::ArgumentSlots& slots) {
    PyControlSetpoint value{};
    value.mode = ControlMode::force_pos;
    if (!float_at(slots, 0, "position", value.force_pos.position) ||
        !float_at(slots, 1, "velocity_limit", value.force_pos.velocity_limit) ||
        !float_at(slots, 2, "torque_ratio", value.force_pos.torque_ratio)) {
        return nullptr;
    }
    return Class::create_or_panic(value);
}

std::uint8_t mode_number(const PyControlSetpoint& v) { return static_cast<std::uint8_t>(v.mode); }

std::size_t write_repr(const PyControlSetpoint& v, char* out) noexcept {
    ReprWriter w(out);
    switch (v.mode) {
        case ControlMode::mit:
            w.text("ControlSetpoint.mit(");
            write_mit_fields(v.mit, w);
            break;
        case ControlMode::pos_vel:
            w.text("ControlSetpoint.pos_vel(position=");
            w.shortest(v.pos_vel.position);
            w.text(", velocity=");
            w.shortest(v.pos_vel.velocity);
            break;
        case ControlMode::vel:
            w.text("ControlSetpoint.vel(");
            w.shortest(v.vel.velocity);
            break;
        case ControlMode::force_pos:
            w.text("ControlSetpoint.force_pos(position=");
            w.shortest(v.force_pos.position);
            w.text(", velocity_limit=");
            w.shortest(v.force_pos.velocity_limit);
            w.text(", torque_ratio=");
            w.shortest(v.force_pos.torque_ratio);
            break;
    }
    w.text(")");
    return w.length();
}

template <const frame::FunctionDescription& Desc, auto Op>
MethodItem factory_item(const char* name, const char* doc) {
    return MethodItem::of_method(
        {name, reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(&frame::fastcall_entry<Desc, Op>)),
         METH_FASTCALL | METH_KEYWORDS | METH_STATIC, doc});
}

const MethodItem methods[] = {
    factory_item<mit_description, &mit>("mit", "mit(setpoint)\n--\n\nMIT impedance setpoint (control mode 1)."),
    factory_item<pos_vel_description, &pos_vel>(
        "pos_vel", "pos_vel(position, velocity)\n--\n\nPOS_VEL setpoint (control mode 2)."),
    factory_item<vel_description, &vel>("vel", "vel(velocity)\n--\n\nVEL setpoint (control mode 3)."),
    factory_item<force_pos_description, &force_pos>(
        "force_pos",
        "force_pos(position, velocity_limit, torque_ratio)\n--\n\nFORCE_POS setpoint (control mode 4)."),
    MethodItem::of_getter("mode", &frame::getter_entry<PyControlSetpoint, &mode_number>,
                          "Numeric control mode (matches the value written to register 10)."),
};

const PyType_Slot slots[] = {
    {Py_tp_repr, reinterpret_cast<void*>(&frame::repr_entry<PyControlSetpoint, &write_repr>)},
};

const frame::ItemTable items = {methods, std::size(methods), slots, std::size(slots)};
const frame::Registration<frame::ItemTable, PyControlSetpoint> register_items{&items};

}  // namespace

const frame::ClassDescription PyControlSetpoint::description = {"ControlSetpoint", "velquist", nullptr, "",
                                                                nullptr};

}  // namespace velquist::python
