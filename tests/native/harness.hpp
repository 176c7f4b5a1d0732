// A minimal native test harness: cases register at load time; main.cpp runs them.
#pragma once

#include <cstdio>
#include <string>

#include "frame/registration.hpp"

namespace velquist::testing {

struct TestCase {
    const char* name;
    void (*run)();
};

inline int current_failures = 0;  // of the running case

inline void record_failure(const char* file, int line, const std::string& what) {
    ++current_failures;
    std::fprintf(stderr, "  %s:%d: %s\n", file, line, what.c_str());
}

}  // namespace velquist::testing

#define TEST_CASE(name)                                                                                   \
    static void test_##name();                                                                            \
    static const ::velquist::testing::TestCase case_##name{#name, &test_##name};                          \
    static const ::velquist::frame::Registration<::velquist::testing::TestCase> reg_##name{&case_##name}; \
    static void test_##name()
#define VQ_CHECK_(ok, text) ((ok) ? void() : ::velquist::testing::record_failure(__FILE__, __LINE__, text))
#define CHECK(cond) VQ_CHECK_(cond, "CHECK(" #cond ")")
#define CHECK_EQ(a, b) VQ_CHECK_((a) == (b), "CHECK_EQ(" #a ", " #b ")")
