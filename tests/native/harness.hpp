// A minimal native test harness: cases register at load time and run in an
// embedded interpreter (see main.cpp).
#pragma once

#include <cstdio>
#include <string>

#include "frame/registration.hpp"

namespace velquist::testing {

struct TestCase {
    const char* name;
    void (*run)();
};

/// Failures recorded by the running case.
inline int current_failures = 0;

inline void record_failure(const char* file, int line, const std::string& what) {
    ++current_failures;
    std::fprintf(stderr, "  %s:%d: %s\n", file, line, what.c_str());
}

}  // namespace velquist::testing

#define VQ_CONCAT_(a, b) a##b
#define VQ_CONCAT(a, b) VQ_CONCAT_(a, b)

/// Declares a test case: TEST_CASE(name) { ...body... }
#define TEST_CASE(name)                                                                              \
    static void VQ_CONCAT(test_, name)();                                                            \
    static const ::velquist::testing::TestCase VQ_CONCAT(case_, name){#name, &VQ_CONCAT(test_, name)}; \
    static const ::velquist::frame::Registration<::velquist::testing::TestCase> VQ_CONCAT(reg_, name){ \
        &VQ_CONCAT(case_, name)};                                                                     \
    static void VQ_CONCAT(test_, name)()

#define CHECK(cond)                                                                        \
    do {                                                                                   \
        if (!(cond)) ::velquist::testing::record_failure(__FILE__, __LINE__, "CHECK(" #cond ")"); \
    } while (0)

#define CHECK_EQ(a, b)                                                                            \
    do {                                                                                          \
        const auto& vq_a = (a);                                                                   \
        const auto& vq_b = (b);                                                                   \
        if (!(vq_a == vq_b))                                                                      \
            ::velquist::testing::record_failure(__FILE__, __LINE__, "CHECK_EQ(" #a ", " #b ")");   \
    } while (0)
