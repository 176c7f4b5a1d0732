// Writes the `.pyi` text of an assembled module.
//
// Choices the records leave open:
// - The module's own classes are annotated by bare name, so their import of
//   the module itself is dropped: the stub file defines those names.
// - The module's `__version__` and `__all__`, which no record describes,
//   are written by the generator itself.
// - Every class is `@typing.final` (none can be subclassed), so `typing` is
//   always imported.
// - A constructor is written as `__new__`, which is where the classes take
//   their arguments. A class without one gets a `__new__` whose one required
//   parameter takes nothing (`typing.Never`): type checkers then refuse every
//   call of the class, also the one without arguments, which `object`'s
//   constructor would let through. It returns the class, not `Never`, which
//   would make the checkers skip the rest of the caller's code as unreachable.
// - Docstrings come from the records, else from stub_docs.hpp.
// - Getters are read-only properties; defaults are written as `...`.
#pragma once

#include <set>
#include <string>

#include "stubs/generator/stub_docs.hpp"
#include "stubs/generator/stub_model.hpp"

namespace velquist::stubs::generator {

namespace detail {

/// The body of a triple-quoted docstring.
inline std::string docstring_literal(std::string_view doc) {
    std::string out;
    for (char c : doc) {
        if (c == '\\' || c == '"') out += '\\';
        out += c;
    }
    return out;
}

class StubWriter {
public:
    explicit StubWriter(const StubModule& module) : module_(module) {}

    std::string write() {
        // Every name the module exports: its version, then the records'
        // classes and functions (sorted, not in the module's insertion order).
        std::string body = "__all__ = [\n    \"__version__\",\n";
        for (const auto& c : module_.classes) body += "    \"" + std::string(c.info->python_name) + "\",\n";
        for (const PyFunctionInfo* f : module_.functions) body += "    \"" + std::string(f->name) + "\",\n";
        body += "]\n\n__version__: str\n";
        for (const auto& c : module_.classes) {
            body += "\n";
            write_class(body, c);
        }
        for (const PyFunctionInfo* f : module_.functions) {
            body += "\n";
            write_def(body, "", f->name, nullptr, stub_params(f->params, f->signature_text, std::string(f->name)),
                      annotation(f->return_info), f->doc);
        }
        std::string out = "# Type stubs of the " + module_.name +
                          " extension module, written by velquist_stubgen\n"
                          "# from the module's type-stub records. Do not edit: regenerate it with\n"
                          "# velquist_stubgen --output.\n\n";
        imports_.insert("typing");
        imports_.erase(module_.name);
        for (const auto& m : imports_) out += "import " + m + "\n";
        out += "\n";
        return out + body;
    }

private:
    std::string annotation(TypeFn fn) {
        TypeInfo info = fn();
        for (const auto& m : info.imports) imports_.insert(m.name);
        return info.text;
    }

    void write_class(std::string& out, const StubClass& c) {
        out += "@typing.final\nclass " + std::string(c.info->python_name) + ":\n";
        std::size_t start = out.size();
        std::string_view class_doc = c.info->doc.empty() ? class_purpose(c.info->python_name) : c.info->doc;
        if (!class_doc.empty()) out += "    \"\"\"" + docstring_literal(class_doc) + "\"\"\"\n";
        for (const auto& m : c.info->members)
            out += "    " + std::string(m.name) + ": " + annotation(m.type_info) + "\n";
        std::string cls(c.info->python_name);
        if (const auto& ctor = c.methods->constructor) {
            // `__new__` returns the class itself: it is final, so Self would say no more.
            write_def(out, "    ", "__new__", "cls", stub_params(ctor->params, ctor->signature_text, cls), cls,
                      "");
        } else {
            out += "    def __new__(cls, no_constructor: typing.Never) -> " + cls +
                   ":\n        \"\"\"No constructor: calling the class raises TypeError.\"\"\"\n";
        }
        for (const auto& g : c.methods->getters) {
            out += "    @property\n";
            out += "    def " + std::string(g.name) + "(self) -> " + annotation(g.type_info) + ": ...\n";
        }
        for (const auto& m : c.methods->methods) {
            bool is_static = m.kind == CallableKind::static_method;
            if (is_static) out += "    @staticmethod\n";
            std::string doc = m.doc.empty() ? preset_doc(cls, m.name) : std::string(m.doc);
            write_def(out, "    ", m.name, is_static ? nullptr : "self",
                      stub_params(m.params, m.signature_text, cls + "." + std::string(m.name)),
                      annotation(m.return_info), doc);
        }
        if (out.size() == start) out += "    ...\n";
    }

    /// One `def`; `receiver` is the implicit first parameter, if any.
    void write_def(std::string& out, std::string_view indent, std::string_view name, const char* receiver,
                   const std::vector<StubParam>& params, const std::string& result, std::string_view doc) {
        std::string line = std::string(indent) + "def " + std::string(name) + "(";
        bool first = true;
        if (receiver != nullptr) {
            line += receiver;
            first = false;
        }
        for (const auto& p : params) {
            if (!first) line += ", ";
            first = false;
            line += std::string(p.name) + ": " + annotation(p.type_info);
            if (p.has_default) line += " = ...";
        }
        line += ") -> " + result + ":";
        if (doc.empty()) {
            out += line + " ...\n";
        } else {
            out += line + "\n" + std::string(indent) + "    \"\"\"" + docstring_literal(doc) + "\"\"\"\n";
        }
    }

    const StubModule& module_;
    std::set<std::string> imports_;
};

}  // namespace detail

/// The whole stub file of `module`.
inline std::string write_stub(const StubModule& module) { return detail::StubWriter(module).write(); }

}  // namespace velquist::stubs::generator
