// The nanobind peer: the same five-float value type bound the usual way
// with nanobind (constructor with named, defaulted arguments and read-only
// fields). Benchmark-only; never part of the product.
#include <nanobind/nanobind.h>

namespace nb = nanobind;
using namespace nb::literals;

namespace {

struct Setpoint {
    float q, dq, kp, kd, tau;
};

}  // namespace

NB_MODULE(velquist_nanobind_peer, m) {
    nb::class_<Setpoint>(m, "Setpoint")
        .def(nb::init<float, float, float, float, float>(), "q"_a = 0.0f, "dq"_a = 0.0f, "kp"_a = 0.0f,
             "kd"_a = 0.0f, "tau"_a = 0.0f)
        .def_ro("q", &Setpoint::q)
        .def_ro("dq", &Setpoint::dq)
        .def_ro("kp", &Setpoint::kp)
        .def_ro("kd", &Setpoint::kd)
        .def_ro("tau", &Setpoint::tau);
}
