// The motor model presets of MitLimits: one row per model, in the order the
// class lists them. Free of the interpreter's headers, so the stub generator
// writes each preset's values into its docstring from this same table.
#pragma once

#include <string_view>

namespace velquist::python {

/// The five limits of one preset, in field order.
struct PresetLimits {
    float p_max;
    float v_max;
    float kp_max;
    float kd_max;
    float t_max;
};

struct MotorPreset {
    const char* name;
    /// The method's doc: its text signature and no docstring.
    const char* doc;
    PresetLimits limits;
};

// 12.566 is the float nearest the decimal 12.566, not 4π.
inline constexpr float p566 = 12.566f;

inline constexpr MotorPreset motor_presets[] = {
    {"dm3507", "dm3507()\n--\n\n", {p566, 50.0f, 500.0f, 5.0f, 5.0f}},
    {"dm4310", "dm4310()\n--\n\n", {12.5f, 30.0f, 500.0f, 5.0f, 10.0f}},
    {"dm4310p", "dm4310p()\n--\n\n", {12.5f, 50.0f, 500.0f, 5.0f, 10.0f}},
    {"dm4340", "dm4340()\n--\n\n", {12.5f, 10.0f, 500.0f, 5.0f, 28.0f}},
    {"dm4340p", "dm4340p()\n--\n\n", {12.5f, 10.0f, 500.0f, 5.0f, 28.0f}},
    {"dm6006", "dm6006()\n--\n\n", {12.5f, 45.0f, 500.0f, 5.0f, 20.0f}},
    {"dm6248p", "dm6248p()\n--\n\n", {p566, 20.0f, 500.0f, 5.0f, 120.0f}},
    {"dm8006", "dm8006()\n--\n\n", {12.5f, 45.0f, 500.0f, 5.0f, 40.0f}},
    {"dm8009", "dm8009()\n--\n\n", {12.5f, 45.0f, 500.0f, 5.0f, 54.0f}},
    {"dm10010", "dm10010()\n--\n\n", {12.5f, 20.0f, 500.0f, 5.0f, 200.0f}},
    {"dm10010l", "dm10010l()\n--\n\n", {12.5f, 25.0f, 500.0f, 5.0f, 200.0f}},
    {"dmg6215", "dmg6215()\n--\n\n", {12.5f, 45.0f, 500.0f, 5.0f, 10.0f}},
    {"dmh3510", "dmh3510()\n--\n\n", {12.5f, 280.0f, 500.0f, 5.0f, 1.0f}},
    {"dmh6220", "dmh6220()\n--\n\n", {12.5f, 45.0f, 500.0f, 5.0f, 10.0f}},
    {"dmjh11", "dmjh11()\n--\n\n", {12.5f, 10.0f, 500.0f, 5.0f, 12.0f}},
};

/// The preset of that name, or nullptr.
inline const MotorPreset* find_motor_preset(std::string_view name) {
    for (const auto& p : motor_presets)
        if (name == p.name) return &p;
    return nullptr;
}

}  // namespace velquist::python
