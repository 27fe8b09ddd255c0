#ifndef CDTRACKS_TESTS_PROGRAMRUN_H
#define CDTRACKS_TESTS_PROGRAMRUN_H

#include <string>
#include <utility>
#include <vector>

// Runs a program to completion in a clean environment and keeps what it
// wrote and how it ended.
class ProgramRun {
public:
    struct Options {
        std::vector<std::string> argv;
        std::vector<std::pair<std::string, std::string>> env;
        std::string cwd;
        std::string stdoutPath;   // default: captured
        bool unprivileged = false; // run as nobody when started as root
    };

    explicit ProgramRun(const Options& options);

    const std::string& out() const { return stdoutText; }
    const std::string& err() const { return stderrText; }
    bool exited() const;
    int exitCode() const;   // -1 unless exited
    int signal() const;     // 0 unless killed by a signal
    std::string describe() const;

private:
    std::string stdoutText;
    std::string stderrText;
    int status = 0;
};

#endif
