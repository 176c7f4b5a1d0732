// The stub generator's refusals of contradicting records; what it writes is checked by tests/python/test_stub.py.
#include <string>

#include "harness.hpp"
#include "stubs/annotation.hpp"
#include "stubs/generator/stub_model.hpp"

using namespace velquist::stubs;
static constexpr NativeTypeFn a = &native_type_id<char>, b = &native_type_id<short>,
                              unknown = &native_type_id<int>;
static constexpr TypeFn num = &type_output<float>;
static constexpr PyParamInfo two[] = {{"a", &type_input<float>}, {"b", &type_input<int>}};
static constexpr PyAttrInfo getter[] = {{"x", num}};
static constexpr PyCallableInfo odd_kind[] = {{"weird", static_cast<CallableKind>(2), {}, num, "", {}}},
                                bad_signature[] = {{"f", CallableKind::static_method, two, num, "", "a = ...,c"}},
                                default_gap[] = {{"f", CallableKind::method, two, num, "", "a = ...,b"}},
                                trailing_comma[] = {{"f", CallableKind::method, two, num, "", "a,b,"}};
static constexpr PyClassInfo class_a{a, "A", "velquist", "", {}}, class_b{b, "B", {}, "", {}},
    class_b_token_a{a, "B", "velquist", "", {}}, class_f{b, "F", "elsewhere", "", {}};
static constexpr PyMethodsInfo methods_a{a, getter, {}, {}}, methods_b{b, getter, {}, {}},
    odd{a, {}, odd_kind, {}}, unmatched{unknown, getter, default_gap, {}}, bad_sig{a, {}, bad_signature, {}},
    gap{a, {}, default_gap, {}}, comma{a, {}, trailing_comma, {}}, bad_ctor{a, {}, {}, PyCtorInfo{two, "a,b,c"}};
static constexpr PyFunctionInfo function_a{"A", {}, num, "", {}, {}}, function_g{"g", {}, num, "", {}, {}},
    function_h{"h", {}, num, "", {}, "elsewhere"};

TEST_CASE(stub_generator_refuses_inconsistent_records) {
    const struct {
        generator::RecordSet records;
        std::string message;
    } cases[] = {
        {{{&class_a}, {&unmatched}, {}},
         "the method record of x, f matches no class record (no class has its native type)"},
        {{{&class_a, &class_a}, {&methods_a}, {}}, "duplicate class record 'A'"},
        {{{&class_a, &class_b_token_a}, {&methods_a}, {}}, "class records 'A' and 'B' have the same native type"},
        {{{&class_a}, {&methods_a, &odd}, {}}, "class 'A' has two method records"},
        {{{&class_a, &class_b}, {&methods_a}, {}}, "class 'B' has no method record"},
        {{{&class_f}, {&methods_b}, {}}, "class 'F' belongs to module 'elsewhere', not 'velquist'"},
        {{{&class_a}, {&odd}, {}}, "A.weird: unknown callable kind 2"},
        {{{&class_a}, {&bad_sig}, {}}, "A.f: signature text 'a = ...,c' does not list its parameters 'a,b'"},
        {{{&class_a}, {&comma}, {}}, "A.f: signature text 'a,b,' does not list its parameters 'a,b'"},
        {{{&class_a}, {&gap}, {}}, "A.f: parameter 'b' has no default but follows one that has"},
        {{{&class_a}, {&bad_ctor}, {}}, "A: signature text 'a,b,c' does not list its parameters 'a,b'"},
        {{{&class_a}, {&methods_a}, {&function_a}}, "function 'A' has the name of a class"},
        {{{}, {}, {&function_g, &function_g}}, "duplicate function record 'g'"},
        {{{}, {}, {&function_h}}, "function 'h' belongs to module 'elsewhere', not 'velquist'"},
        {{{&class_b, &class_a}, {&methods_a, &methods_b}, {&function_g}},
         "(accepted)"},  // B: of the stub's module
    };
    for (const auto& c : cases) {
        std::string message = "(accepted)";
        try {
            generator::assemble(c.records, "velquist");
        } catch (const std::exception& e) {
            message = e.what();
        }
        VQ_CHECK_(message == c.message, "got  " + message + "\n    want " + c.message);
    }
}
