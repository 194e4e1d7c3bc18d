// A tiny check harness: the conformance host has no test framework so that it builds for
// either width with nothing but the compiler.
#pragma once

#include <cstdio>

extern int g_checks;
extern int g_failures;

#define CHECK(condition, what)                                                    \
  do {                                                                            \
    ++g_checks;                                                                   \
    if (!(condition)) {                                                           \
      ++g_failures;                                                               \
      std::printf("FAIL %s:%d: %s (%s)\n", __FILE__, __LINE__, what, #condition); \
    }                                                                             \
  } while (0)
