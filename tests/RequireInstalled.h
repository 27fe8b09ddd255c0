#ifndef CDTRACKS_TESTS_REQUIREINSTALLED_H
#define CDTRACKS_TESTS_REQUIREINSTALLED_H

#include <cstdlib>
#include <string>

#include <unistd.h>

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

// Whether an executable of that name is on PATH.
inline bool onPath(const std::string& command)
{
    const char* path = std::getenv("PATH");
    std::string dirs = path != nullptr ? path : "";
    for (std::size_t start = 0, end = 0; end != std::string::npos; start = end + 1) {
        end = dirs.find(':', start);
        const std::string dir = dirs.substr(start, end == std::string::npos ? end : end - start);
        if (!dir.empty() && access((dir + "/" + command).c_str(), X_OK) == 0) {
            return true;
        }
    }
    return false;
}

#endif
