// Docstrings the stub adds where the module has none: each class's purpose
// and each preset's values. They are the stub's own text, for a reader of
// the stub or of an editor's hover; the module's docstrings stay as they are.
#pragma once

#include <string>
#include <string_view>

#include "frame/float_text.hpp"
#include "python/motor_presets.hpp"

namespace velquist::stubs::generator {

/// One line on what the class is, or empty for a class not listed.
inline std::string_view class_purpose(std::string_view python_name) {
    struct Purpose {
        std::string_view name, text;
    };
    static constexpr Purpose purposes[] = {
        {"ControlSetpoint",
         "A setpoint in one of the four control modes, made by its four static methods; "
         "only `mode` reads back."},
        {"Damiao",
         "The handle of one motor: its two identifiers, limits and time-out; only the identifiers "
         "read back."},
        {"MitLimits", "The five limits of a motor's MIT mode: the ranges of its command encoding, not clamps."},
        {"MitSetpoint",
         "One MIT-mode command: position q, velocity dq, gains kp and kd, feed-forward torque "
         "tau; nothing clamps it."},
        {"MotorState", "What a motor reports, read-only; made only by native code, not from Python."},
    };
    for (const auto& p : purposes)
        if (p.name == python_name) return p.text;
    return {};
}

/// The docstring of a preset, its values as `repr` writes them; empty for
/// any other method.
inline std::string preset_doc(std::string_view python_class, std::string_view method) {
    if (python_class != "MitLimits") return {};
    const python::MotorPreset* preset = python::find_motor_preset(method);
    if (preset == nullptr) return {};
    const python::PresetLimits& v = preset->limits;
    std::string doc = "The " + std::string(method) + " preset: ";
    const std::pair<const char*, float> fields[] = {
        {"p_max", v.p_max}, {"v_max", v.v_max}, {"kp_max", v.kp_max}, {"kd_max", v.kd_max}, {"t_max", v.t_max}};
    bool first = true;
    for (const auto& [name, value] : fields) {
        char text[float_text::max_length];
        doc += std::string(first ? "" : ", ") + name + "=" + std::string(text, float_text::shortest(value, text));
        first = false;
    }
    return doc + ".";
}

}  // namespace velquist::stubs::generator
