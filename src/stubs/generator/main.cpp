// velquist_stubgen --output FILE: writes the `.pyi` stub of the module from
// the type-stub records registered when this program (linked with the same
// record sources as the module) was loaded. The tests compare the written
// stub with the shipped copy.
#include <cstring>
#include <fstream>
#include <iostream>
#include <string>

#include "stubs/generator/stub_model.hpp"
#include "stubs/generator/stub_text.hpp"
#include "stubs/module_classes.hpp"

int main(int argc, char** argv) {
    using namespace velquist::stubs;
    if (argc != 3 || std::strcmp(argv[1], "--output") != 0) {
        std::cerr << "usage: velquist_stubgen --output FILE\n";
        return 2;
    }
    const char* output = argv[2];
    std::string text;
    try {
        text = generator::write_stub(generator::assemble(generator::registered_records(), module_name));
    } catch (const generator::InconsistentRecords& e) {
        std::cerr << "velquist_stubgen: inconsistent type-stub records: " << e.what() << "\n";
        return 1;
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
