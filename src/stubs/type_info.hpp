// Python type annotations as the stub file writes them, with the modules
// the file must import for them.
#pragma once

#include <compare>
#include <set>
#include <string>

namespace velquist::stubs {

/// A module that a stub file imports, by its dotted name.
struct ModuleRef {
    std::string name;

    friend auto operator<=>(const ModuleRef&, const ModuleRef&) = default;
};

/// One annotation: its text in the stub file and the imports it needs.
struct TypeInfo {
    std::string text;
    std::set<ModuleRef> imports;
};

/// Records hold these instead of texts: each call builds a fresh value.
using TypeFn = TypeInfo (*)();

}  // namespace velquist::stubs
