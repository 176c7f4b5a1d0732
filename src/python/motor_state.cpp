#include "python/motor_state.hpp"

#include "python/repr_writer.hpp"

namespace velquist::python {

namespace {

using frame::MethodItem;

template <auto Field>
auto field(const PyMotorState& v) {
    return v.*Field;
}

std::size_t write_repr(const PyMotorState& v, char* out) noexcept {
    ReprWriter w(out);
    w.text("MotorState(motor_id=");
    w.decimal(v.motor_id);
    w.text(", error=");
    w.decimal(v.error);
    w.text(", position=");
    w.fixed4(v.position);
    w.text(", velocity=");
    w.fixed4(v.velocity);
    w.text(", torque=");
    w.fixed4(v.torque);
    w.text(", t_mos=");
    w.decimal(v.t_mos);
    w.text(", t_rotor=");
    w.decimal(v.t_rotor);
    w.text(")");
    return w.length();
}

const MethodItem methods[] = {
    MethodItem::of_getter("motor_id", &frame::getter_entry<PyMotorState, &field<&PyMotorState::motor_id>>, ""),
    MethodItem::of_getter("error", &frame::getter_entry<PyMotorState, &field<&PyMotorState::error>>, ""),
    MethodItem::of_getter("position", &frame::getter_entry<PyMotorState, &field<&PyMotorState::position>>, ""),
    MethodItem::of_getter("velocity", &frame::getter_entry<PyMotorState, &field<&PyMotorState::velocity>>, ""),
    MethodItem::of_getter("torque", &frame::getter_entry<PyMotorState, &field<&PyMotorState::torque>>, ""),
    MethodItem::of_getter("t_mos", &frame::getter_entry<PyMotorState, &field<&PyMotorState::t_mos>>, ""),
    MethodItem::of_getter("t_rotor", &frame::getter_entry<PyMotorState, &field<&PyMotorState::t_rotor>>, ""),
};

const PyType_Slot slots[] = {
    {Py_tp_repr, reinterpret_cast<void*>(&frame::repr_entry<PyMotorState, &write_repr>)},
};

const frame::ItemTable items = {methods, std::size(methods), slots, std::size(slots)};
const frame::Registration<frame::ItemTable, PyMotorState> register_items{&items};

}  // namespace

PyObject* create_motor_state(std::uint8_t motor_id, std::uint8_t error, float position, float velocity,
                             float torque, std::uint8_t t_mos, std::uint8_t t_rotor) {
    return frame::PyClass<PyMotorState>::create(
        PyMotorState{motor_id, error, position, velocity, torque, t_mos, t_rotor});
}

const frame::ClassDescription PyMotorState::description = {"MotorState", "velquist", nullptr, "", nullptr};

}  // namespace velquist::python
