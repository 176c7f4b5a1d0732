// The stub generator's view of the records: the three lists read into
// vectors, then joined and checked into one module description. Records
// that contradict each other are refused with a message naming them.
#pragma once

#include <algorithm>
#include <map>
#include <optional>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "stubs/records.hpp"

namespace velquist::stubs::generator {

/// Thrown for records the generator cannot turn into one consistent stub.
class InconsistentRecords : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

/// The records of the three lists, in list order.
struct RecordSet {
    std::vector<const PyClassInfo*> classes;
    std::vector<const PyMethodsInfo*> methods;
    std::vector<const PyFunctionInfo*> functions;
};

inline RecordSet registered_records() {
    RecordSet set;
    for (const auto& r : class_records()) set.classes.push_back(&r);
    for (const auto& r : method_records()) set.methods.push_back(&r);
    for (const auto& r : function_records()) set.functions.push_back(&r);
    return set;
}

/// One class: its record and the method record with the same token.
struct StubClass {
    const PyClassInfo* info;
    const PyMethodsInfo* methods;
};

/// A parameter as written: name, annotation, whether it has a default.
struct StubParam {
    std::string_view name;
    TypeFn type_info;
    bool has_default;
};

/// Everything the stub of one module holds, sorted by name so the text
/// does not depend on the order the loader ran the initialisers in.
struct StubModule {
    std::string name;
    std::vector<StubClass> classes;
    std::vector<const PyFunctionInfo*> functions;
};

namespace detail {

inline std::string quoted(std::string_view s) {
    std::string out(1, '\'');
    out.append(s);
    out += '\'';
    return out;
}

/// `names` joined by `separator`.
template <class Items, class Name>
std::string joined(const Items& items, Name name, std::string_view separator) {
    std::string out;
    for (const auto& item : items) {
        if (!out.empty()) out.append(separator);
        out.append(name(item));
    }
    return out;
}

/// Names a method record by its contents: it carries no name of its own.
inline std::string describe(const PyMethodsInfo& m) {
    auto name = [](const auto& item) { return item.name; };
    std::string names = joined(m.getters, name, ", ");
    std::string methods = joined(m.methods, name, ", ");
    if (!names.empty() && !methods.empty()) names.append(", ");
    names.append(methods);
    return "the method record of " + (names.empty() ? std::string("no attributes or methods") : names);
}

inline std::string param_names(std::span<const PyParamInfo> params) {
    return joined(params, [](const PyParamInfo& p) { return p.name; }, ",");
}

}  // namespace detail

/// Reads the defaults out of a signature text ("a,b = ...,c = ...") and
/// checks that it names `params` in order. Absent text: no defaults.
inline std::vector<StubParam> stub_params(std::span<const PyParamInfo> params,
                                          const std::optional<std::string_view>& signature,
                                          const std::string& where) {
    std::vector<StubParam> out;
    for (const auto& p : params) out.push_back({p.name, p.type_info, false});
    if (!signature) return out;
    constexpr std::string_view default_mark = " = ...";
    std::string_view rest = *signature;
    std::size_t i = 0;
    bool ok = true;
    while (ok && !rest.empty()) {
        std::size_t comma = rest.find(',');
        std::string_view piece = rest.substr(0, comma);
        rest = comma == std::string_view::npos ? std::string_view{} : rest.substr(comma + 1);
        if (comma != std::string_view::npos && rest.empty()) ok = false;  // trailing comma
        bool has_default = piece.ends_with(default_mark);
        if (has_default) piece.remove_suffix(default_mark.size());
        if (i >= out.size() || piece != out[i].name) {
            ok = false;
            break;
        }
        out[i++].has_default = has_default;
    }
    if (!ok || i != out.size())
        throw InconsistentRecords(where + ": signature text " + detail::quoted(*signature) +
                                  " does not list its parameters " + detail::quoted(detail::param_names(params)));
    for (std::size_t k = 1; k < out.size(); ++k)
        if (out[k - 1].has_default && !out[k].has_default)
            throw InconsistentRecords(where + ": parameter " + detail::quoted(out[k].name) +
                                      " has no default but follows one that has");
    return out;
}

/// Joins class and method records by token and checks every record the
/// stub of `module` will be written from.
inline StubModule assemble(const RecordSet& records, std::string_view module) {
    using detail::quoted;
    StubModule out{std::string(module), {}, {}};
    std::map<std::string_view, const PyClassInfo*> by_name;
    std::map<NativeTypeId, const PyClassInfo*> by_token;
    for (const PyClassInfo* c : records.classes) {
        if (c->module && *c->module != module)
            throw InconsistentRecords("class " + quoted(c->python_name) + " belongs to module " +
                                      quoted(*c->module) + ", not " + quoted(module));
        if (!by_name.emplace(c->python_name, c).second)
            throw InconsistentRecords("duplicate class record " + quoted(c->python_name));
        auto [it, fresh] = by_token.emplace(c->native_type(), c);
        if (!fresh)
            throw InconsistentRecords("class records " + quoted(it->second->python_name) + " and " +
                                      quoted(c->python_name) + " have the same native type");
    }
    std::map<NativeTypeId, const PyMethodsInfo*> methods_of;
    for (const PyMethodsInfo* m : records.methods) {
        auto owner = by_token.find(m->native_type());
        if (owner == by_token.end())
            throw InconsistentRecords(detail::describe(*m) +
                                      " matches no class record (no class has its native type)");
        if (!methods_of.emplace(owner->first, m).second)
            throw InconsistentRecords("class " + quoted(owner->second->python_name) + " has two method records");
    }
    for (const auto& [name, c] : by_name) {
        auto m = methods_of.find(c->native_type());
        if (m == methods_of.end()) throw InconsistentRecords("class " + quoted(name) + " has no method record");
        const PyMethodsInfo& methods = *m->second;
        std::string cls(name);
        if (methods.constructor)
            stub_params(methods.constructor->params, methods.constructor->signature_text, cls);
        for (const auto& callable : methods.methods) {
            std::string where = cls + "." + std::string(callable.name);
            if (callable.kind != CallableKind::method && callable.kind != CallableKind::static_method)
                throw InconsistentRecords(where + ": unknown callable kind " +
                                          std::to_string(static_cast<unsigned>(callable.kind)));
            stub_params(callable.params, callable.signature_text, where);
        }
        out.classes.push_back({c, m->second});
    }
    std::map<std::string_view, const PyFunctionInfo*> functions;
    for (const PyFunctionInfo* f : records.functions) {
        if (f->module && *f->module != module)
            throw InconsistentRecords("function " + quoted(f->name) + " belongs to module " + quoted(*f->module) +
                                      ", not " + quoted(module));
        if (by_name.contains(f->name))
            throw InconsistentRecords("function " + quoted(f->name) + " has the name of a class");
        if (!functions.emplace(f->name, f).second)
            throw InconsistentRecords("duplicate function record " + quoted(f->name));
        stub_params(f->params, f->signature_text, std::string(f->name));
    }
    for (const auto& [name, f] : functions) out.functions.push_back(f);
    return out;
}

}  // namespace velquist::stubs::generator
