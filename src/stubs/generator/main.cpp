// velquist_stubgen: writes the `.pyi` stub of the module from the type-stub
// records registered when this program (linked with the same record
// sources as the module) was loaded.
//
//   velquist_stubgen [--output FILE]   write the stub (stdout by default)
//   velquist_stubgen --check FILE      fail unless FILE holds exactly that text
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iostream>
#include <sstream>

#include "stubs/generator/stub_model.hpp"
#include "stubs/generator/stub_text.hpp"
#include "stubs/module_classes.hpp"

namespace {

int usage() {
    std::cerr << "usage: velquist_stubgen [--output FILE | --check FILE]\n";
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    using namespace velquist::stubs;
    const char* output = nullptr;
    const char* check = nullptr;
    if (argc == 3 && std::strcmp(argv[1], "--output") == 0) {
        output = argv[2];
    } else if (argc == 3 && std::strcmp(argv[1], "--check") == 0) {
        check = argv[2];
    } else if (argc != 1) {
        return usage();
    }

    std::string text;
    try {
        text = generator::write_stub(generator::assemble(generator::registered_records(), module_name));
    } catch (const generator::InconsistentRecords& e) {
        std::cerr << "velquist_stubgen: inconsistent type-stub records: " << e.what() << "\n";
        return 1;
    }

    if (check != nullptr) {
        std::ifstream in(check, std::ios::binary);
        std::ostringstream shipped;
        shipped << in.rdbuf();
        if (!in || shipped.str() != text) {
            std::cerr << "velquist_stubgen: " << check
                      << " differs from the stub the records give; regenerate it with velquist_stubgen --output\n";
            return 1;
        }
        return 0;
    }
    if (output == nullptr) {
        std::cout << text;
        return std::cout ? 0 : 1;
    }
    std::ofstream out(output, std::ios::binary | std::ios::trunc);
    out << text;
    out.close();
    if (!out) {
        std::cerr << "velquist_stubgen: cannot write " << output << "\n";
        return 1;
    }
    return 0;
}
