// The type-stub records against the module's interface, and the stub
// generator on them: it reproduces the checked-in stub and refuses records
// that contradict each other.
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "harness.hpp"
#include "python/control_setpoint.hpp"
#include "python/damiao.hpp"
#include "python/mit_limits.hpp"
#include "python/mit_setpoint.hpp"
#include "python/motor_state.hpp"
#include "stubs/generator/stub_model.hpp"
#include "stubs/generator/stub_text.hpp"
#include "stubs/module_classes.hpp"

namespace {

using namespace velquist::stubs;
using Lines = std::vector<std::string>;

/// "text" or "text {import,...}".
std::string annotation(TypeFn fn) {
    TypeInfo info = fn();
    std::string out = info.text;
    if (info.imports.empty()) return out;
    out += " {";
    bool first = true;
    for (const auto& m : info.imports) {
        out += (first ? "" : ",") + m.name;
        first = false;
    }
    return out + "}";
}

std::string params(std::span<const PyParamInfo> ps) {
    std::string out;
    for (const auto& p : ps) out += (out.empty() ? "" : ", ") + std::string(p.name) + ": " + annotation(p.type_info);
    return out;
}

std::string signature(const std::optional<std::string_view>& s) {
    return s ? " sig \"" + std::string(*s) + "\"" : "";
}

/// One line per getter, then the constructor, then one per method.
Lines describe(const PyMethodsInfo& m) {
    Lines out;
    for (const auto& g : m.getters) out.push_back(std::string(g.name) + ": " + annotation(g.type_info));
    if (m.constructor) {
        out.push_back("new(" + params(m.constructor->params) + ")" + signature(m.constructor->signature_text));
    } else {
        out.push_back("no constructor");
    }
    for (const auto& c : m.methods) {
        std::string line = std::to_string(static_cast<unsigned>(c.kind)) + " " + std::string(c.name) + "(" +
                           params(c.params) + ") -> " + annotation(c.return_info);
        if (!c.doc.empty()) line += " \"" + std::string(c.doc) + "\"";
        out.push_back(line + signature(c.signature_text));
    }
    return out;
}

template <class Record>
std::vector<const Record*> walk(const velquist::frame::RegistrationList<Record>& list) {
    std::vector<const Record*> out;
    for (const auto& r : list) out.push_back(&r);
    return out;
}

const PyMethodsInfo* methods_of(const PyClassInfo& c) {
    const PyMethodsInfo* found = nullptr;
    for (const auto& m : method_records())
        if (m.native_type() == c.native_type()) {
            CHECK(found == nullptr);
            found = &m;
        }
    return found;
}

const PyClassInfo* class_named(std::string_view name) {
    for (const auto& c : class_records())
        if (c.python_name == name) return &c;
    return nullptr;
}

Lines expected_methods(const std::string& cls) {
    auto f5 = [](const char* a, const char* b, const char* c, const char* d, const char* e) {
        return std::string(a) + ": float, " + b + ": float, " + c + ": float, " + d + ": float, " + e + ": float";
    };
    if (cls == "MitSetpoint")
        return {"q: float", "dq: float", "kp: float", "kd: float", "tau: float",
                "new(" + f5("q", "dq", "kp", "kd", "tau") + ") sig \"q = ...,dq = ...,kp = ...,kd = ...,tau = ...\"",
                "0 __repr__() -> str"};
    if (cls == "MitLimits") {
        Lines out = {"p_max: float", "v_max: float", "kp_max: float", "kd_max: float", "t_max: float",
                     "new(" + f5("p_max", "v_max", "kp_max", "kd_max", "t_max") +
                         ") sig \"p_max = ...,v_max = ...,kp_max = ...,kd_max = ...,t_max = ...\"",
                     "0 __repr__() -> str"};
        for (const char* preset : {"dm3507", "dm4310", "dm4310p", "dm4340", "dm4340p", "dm6006", "dm6248p", "dm8006",
                                   "dm8009", "dm10010", "dm10010l", "dmg6215", "dmh3510", "dmh6220", "dmjh11"})
            out.push_back(std::string("1 ") + preset + "() -> MitLimits {velquist}");
        return out;
    }
    if (cls == "MotorState")
        return {"motor_id: int", "error: int", "position: float", "velocity: float", "torque: float",
                "t_mos: int",    "t_rotor: int", "no constructor", "0 __repr__() -> str"};
    if (cls == "Damiao")
        return {"motor_id: int", "master_id: int",
                "new(motor_id: int, master_id: int, limits: typing.Optional[MitLimits] {typing,velquist}, "
                "timeout_ms: int) sig \"motor_id,master_id,limits = ...,timeout_ms = ...\"",
                "0 __repr__() -> str"};
    if (cls == "ControlSetpoint")
        return {"mode: int", "no constructor",
                "1 mit(setpoint: MitSetpoint {velquist}) -> ControlSetpoint {velquist} "
                "\"MIT impedance setpoint (control mode 1).\"",
                "1 pos_vel(position: float, velocity: float) -> ControlSetpoint {velquist} "
                "\"POS_VEL setpoint (control mode 2).\"",
                "1 vel(velocity: float) -> ControlSetpoint {velquist} \"VEL setpoint (control mode 3).\"",
                "1 force_pos(position: float, velocity_limit: float, torque_ratio: float) -> ControlSetpoint "
                "{velquist} \"FORCE_POS setpoint (control mode 4).\"",
                "0 __repr__() -> str"};
    return {};
}

void check_lines(const std::string& cls, const Lines& got, const Lines& want) {
    if (got.size() != want.size())
        velquist::testing::record_failure(__FILE__, __LINE__,
                                          cls + ": " + std::to_string(got.size()) + " lines, want " +
                                              std::to_string(want.size()));
    for (std::size_t i = 0; i < got.size() && i < want.size(); ++i) {
        if (got[i] != want[i])
            velquist::testing::record_failure(__FILE__, __LINE__, cls + ": got  " + got[i] + "\n    want " + want[i]);
    }
}

}  // namespace

TEST_CASE(stub_lists_hold_the_eleven_records) {
    auto classes = walk(class_records());
    auto methods = walk(method_records());
    auto functions = walk(function_records());
    CHECK_EQ(classes.size(), 5u);
    CHECK_EQ(methods.size(), 5u);
    CHECK_EQ(functions.size(), 1u);
    CHECK(walk(class_records()) == classes);
    CHECK(walk(method_records()) == methods);
    CHECK(walk(function_records()) == functions);

    // The tokens are those of the module's own native records, one each.
    const std::map<std::string_view, NativeTypeId> tokens = {
        {"MitLimits", native_type_id<velquist::python::PyMitLimits>()},
        {"MitSetpoint", native_type_id<velquist::python::PyMitSetpoint>()},
        {"ControlSetpoint", native_type_id<velquist::python::PyControlSetpoint>()},
        {"MotorState", native_type_id<velquist::python::PyMotorState>()},
        {"Damiao", native_type_id<velquist::python::PyDamiao>()},
    };
    std::set<const PyMethodsInfo*> joined;
    for (const auto& [name, token] : tokens) {
        const PyClassInfo* c = class_named(name);
        CHECK(c != nullptr);
        if (c == nullptr) continue;
        CHECK(c->native_type() == token);
        const PyMethodsInfo* m = methods_of(*c);
        CHECK(m != nullptr);
        joined.insert(m);
    }
    CHECK_EQ(joined.size(), 5u);
}

TEST_CASE(stub_lists_are_newest_first) {
    // A private list kind: the module's own lists are not disturbed.
    struct LocalKind {};
    auto& list = velquist::frame::registration_list<PyClassInfo, LocalKind>;
    CHECK(list.begin() == list.end());
    static const PyClassInfo a = class_record<velquist::python::PyMitLimits>();
    static const PyClassInfo b = class_record<velquist::python::PyDamiao>();
    static velquist::frame::RegistrationNode<PyClassInfo> na{&a}, nb{&b};
    list.submit(na);
    list.submit(nb);
    std::vector<const PyClassInfo*> order;
    for (const auto& r : list) order.push_back(&r);
    CHECK(order == (std::vector<const PyClassInfo*>{&b, &a}));
}

TEST_CASE(stub_class_records_match_the_module) {
    std::set<std::string_view> names;
    for (const auto& c : class_records()) {
        names.insert(c.python_name);
        CHECK(c.module == std::optional<std::string_view>("velquist"));
        CHECK(c.doc.empty());
        CHECK(c.members.empty());
    }
    CHECK(names == (std::set<std::string_view>{"ControlSetpoint", "Damiao", "MitLimits", "MitSetpoint", "MotorState"}));
}

TEST_CASE(stub_method_records_match_the_module) {
    for (const char* name : {"MitSetpoint", "MitLimits", "MotorState", "Damiao", "ControlSetpoint"}) {
        const PyClassInfo* c = class_named(name);
        const PyMethodsInfo* m = c ? methods_of(*c) : nullptr;
        CHECK(m != nullptr);
        if (m == nullptr) continue;
        check_lines(name, describe(*m), expected_methods(name));
    }
}

TEST_CASE(stub_function_record_matches_the_module) {
    const PyFunctionInfo& f = *function_records().begin();
    CHECK(f.name == "mit_setpoint");
    CHECK_EQ(params(f.params), std::string("q: float, dq: float, kp: float, kd: float, tau: float"));
    CHECK_EQ(annotation(f.return_info), std::string("MitSetpoint {velquist}"));
    CHECK(f.doc == "Build a `MitSetpoint` (handy when keyword args are awkward).");
    CHECK(f.signature_text == std::optional<std::string_view>("q = ...,dq = ...,kp = ...,kd = ...,tau = ..."));
    CHECK(!f.module);
}

TEST_CASE(stub_annotations_are_built_fresh) {
    TypeInfo first = type_input<std::optional<velquist::python::PyMitLimits>>();
    first.text += " changed";
    first.imports.clear();
    CHECK_EQ(annotation(&type_input<std::optional<velquist::python::PyMitLimits>>),
             std::string("typing.Optional[MitLimits] {typing,velquist}"));
    CHECK_EQ(annotation(&type_input<std::optional<float>>), std::string("typing.Optional[float] {typing}"));
    CHECK_EQ(annotation(&type_output<velquist::python::PyMotorState>), std::string("MotorState {velquist}"));
    CHECK_EQ(annotation(&type_input<std::int64_t>), std::string("int"));
    CHECK_EQ(annotation(&type_output<double>), std::string("float"));
}

TEST_CASE(stub_generator_writes_the_checked_in_stub) {
    std::string source = __FILE__;
    std::string root = source.substr(0, source.rfind("tests/native/"));
    std::ifstream in(root + "stubs/velquist-stubs/__init__.pyi", std::ios::binary);
    CHECK(in.good());
    std::ostringstream shipped;
    shipped << in.rdbuf();
    namespace g = velquist::stubs::generator;
    std::string text;
    try {
        text = g::write_stub(g::assemble(g::registered_records(), module_name));
    } catch (const g::InconsistentRecords& e) {
        velquist::testing::record_failure(__FILE__, __LINE__, e.what());
    }
    CHECK(text == shipped.str());
}

namespace {

struct TagA {};
struct TagB {};

// Small stand-in records for the refusal cases.
constexpr PyParamInfo two_params[] = {{"a", &type_input<float>}, {"b", &type_input<int>}};
constexpr PyAttrInfo one_getter[] = {{"x", &type_output<float>}};
constexpr PyCallableInfo odd_kind[] = {
    {"weird", static_cast<CallableKind>(7), {}, &type_output<float>, "", std::nullopt}};
constexpr PyCallableInfo bad_signature[] = {
    {"f", CallableKind::static_method, two_params, &type_output<float>, "", "a = ...,c = ..."}};
constexpr PyCallableInfo default_gap[] = {
    {"f", CallableKind::method, two_params, &type_output<float>, "", "a = ...,b"}};

constexpr PyClassInfo class_a = {&native_type_id<TagA>, "A", "velquist", "", {}};
constexpr PyClassInfo class_a_again = {&native_type_id<TagB>, "A", "velquist", "", {}};
constexpr PyClassInfo class_b = {&native_type_id<TagB>, "B", std::nullopt, "", {}};
constexpr PyClassInfo class_b_same_token = {&native_type_id<TagA>, "B", "velquist", "", {}};
constexpr PyClassInfo class_foreign = {&native_type_id<TagB>, "F", "elsewhere", "", {}};
constexpr PyMethodsInfo methods_a = {&native_type_id<TagA>, one_getter, {}, std::nullopt};
constexpr PyMethodsInfo methods_b = {&native_type_id<TagB>, one_getter, {}, std::nullopt};
constexpr PyMethodsInfo methods_odd = {&native_type_id<TagA>, {}, odd_kind, std::nullopt};
constexpr PyMethodsInfo methods_bad_sig = {&native_type_id<TagA>, {}, bad_signature, std::nullopt};
constexpr PyMethodsInfo methods_gap = {&native_type_id<TagA>, {}, default_gap, std::nullopt};
constexpr PyMethodsInfo methods_bad_ctor = {&native_type_id<TagA>, {}, {}, PyCtorInfo{two_params, "a,b,c"}};
constexpr PyFunctionInfo function_a = {"A", {}, &type_output<float>, "", std::nullopt, std::nullopt};
constexpr PyFunctionInfo function_g = {"g", {}, &type_output<float>, "", std::nullopt, std::nullopt};
constexpr PyFunctionInfo function_foreign = {"h", {}, &type_output<float>, "", std::nullopt, "elsewhere"};

}  // namespace

TEST_CASE(stub_generator_refuses_inconsistent_records) {
    namespace g = velquist::stubs::generator;
    struct Case {
        g::RecordSet records;
        const char* message;
    };
    const Case cases[] = {
        {{{&class_a}, {&methods_a, &methods_b}, {}},
         "the method record of x matches no class record (no class has its native type)"},
        {{{&class_a, &class_a_again}, {&methods_a, &methods_b}, {}}, "duplicate class record 'A'"},
        {{{&class_a, &class_b_same_token}, {&methods_a}, {}}, "class records 'A' and 'B' have the same native type"},
        {{{&class_a}, {&methods_a, &methods_odd}, {}}, "class 'A' has two method records"},
        {{{&class_a, &class_b}, {&methods_a}, {}}, "class 'B' has no method record"},
        {{{&class_foreign}, {&methods_b}, {}}, "class 'F' belongs to module 'elsewhere', not 'velquist'"},
        {{{&class_a}, {&methods_odd}, {}}, "A.weird: unknown callable kind 7"},
        {{{&class_a}, {&methods_bad_sig}, {}}, "A.f: signature text 'a = ...,c = ...' does not list its parameters 'a,b'"},
        {{{&class_a}, {&methods_gap}, {}}, "A.f: parameter 'b' has no default but follows one that has"},
        {{{&class_a}, {&methods_bad_ctor}, {}}, "A: signature text 'a,b,c' does not list its parameters 'a,b'"},
        {{{&class_a}, {&methods_a}, {&function_a}}, "function 'A' has the name of a class"},
        {{{}, {}, {&function_g, &function_g}}, "duplicate function record 'g'"},
        {{{}, {}, {&function_foreign}}, "function 'h' belongs to module 'elsewhere', not 'velquist'"},
    };
    for (const auto& c : cases) {
        std::string message = "(accepted)";
        try {
            g::assemble(c.records, "velquist");
        } catch (const g::InconsistentRecords& e) {
            message = e.what();
        }
        if (message != c.message)
            velquist::testing::record_failure(__FILE__, __LINE__, "got  " + message + "\n    want " + c.message);
    }
    // The consistent subset of the same records is accepted, with the
    // absent module of `B` taken as the stub's own.
    g::StubModule ok = g::assemble({{&class_b, &class_a}, {&methods_a, &methods_b}, {&function_g}}, "velquist");
    CHECK_EQ(ok.classes.size(), 2u);
    CHECK(ok.classes[0].info == &class_a);
    CHECK(ok.classes[1].methods == &methods_b);
}
