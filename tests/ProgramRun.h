#ifndef CDTRACKS_TESTS_PROGRAMRUN_H
#define CDTRACKS_TESTS_PROGRAMRUN_H

#include <string>
#include <utility>
#include <vector>

// Runs a program to completion, or to its time limit, in a clean environment
// and keeps what it wrote and how it ended.
class ProgramRun {
public:
    struct Options {
        std::vector<std::string> argv;
        std::vector<std::pair<std::string, std::string>> env;
        std::string cwd;          // default: the test's own
        std::string stdoutPath;   // default: captured
        bool unprivileged = false; // run as nobody when started as root
        unsigned timeoutSeconds = 60; // then killed by SIGALRM: a hang fails
    };

    explicit ProgramRun(const Options& options);

    const std::string& out() const { return stdoutText; }
    const std::string& err() const { return stderrText; }
    bool exited() const;
    int exitCode() const;   // -1 unless exited
    int signal() const;     // 0 unless killed by a signal
    bool timedOut() const;
    std::string describe() const;

private:
    std::string stdoutText;
    std::string stderrText;
    int status = 0;
    unsigned timeoutSeconds;
};

#endif
