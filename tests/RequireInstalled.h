#ifndef CDTRACKS_TESTS_REQUIREINSTALLED_H
#define CDTRACKS_TESTS_REQUIREINSTALLED_H

#include <cstdlib>

#include <gtest/gtest.h>

// For tests that need a package a developer's machine may lack: without it
// the test is skipped there, and fails in CI, whose script installs it.
#define REQUIRE_INSTALLED(present, package)                                          \
    do {                                                                             \
        if (!(present)) {                                                            \
            if (std::getenv("CI") != nullptr) {                                      \
                FAIL() << "Debian package " << (package) << " is not installed";     \
            }                                                                        \
            GTEST_SKIP() << "Debian package " << (package) << " is not installed";   \
        }                                                                            \
    } while (0)

#endif
