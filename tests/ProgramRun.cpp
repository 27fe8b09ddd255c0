#include "ProgramRun.h"

#include <csignal>
#include <cstdlib>
#include <cstring>
#include <stdexcept>

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include "TempDir.h"

namespace {

// Variables that reach the program from the test's own environment: how to
// find tools, and how the sanitizers are to behave.
const char* const inherited[] = {"PATH", "ASAN_OPTIONS", "UBSAN_OPTIONS", "LSAN_OPTIONS"};

[[noreturn]] void execChild(const ProgramRun::Options& o, int out, int err)
{
    if ((!o.cwd.empty() && chdir(o.cwd.c_str()) != 0) || dup2(out, 1) < 0 || dup2(err, 2) < 0) {
        _exit(126);
    }
    // The limit outlives the exec, whatever the program; the default action
    // of SIGALRM ends it.
    sigset_t alarmOnly;
    sigemptyset(&alarmOnly);
    sigaddset(&alarmOnly, SIGALRM);
    sigprocmask(SIG_UNBLOCK, &alarmOnly, nullptr);
    signal(SIGALRM, SIG_DFL);
    alarm(o.timeoutSeconds);
    std::vector<std::string> env;
    for (const char* name : inherited) {
        if (const char* value = std::getenv(name)) {
            env.push_back(std::string(name) + "=" + value);
        }
    }
    for (const auto& [name, value] : o.env) {
        env.push_back(name + "=" + value);
    }
    std::vector<std::string> args;
    if (o.unprivileged && geteuid() == 0) {
        args = {"setpriv", "--reuid=65534", "--regid=65534", "--clear-groups", "--"};
    }
    args.insert(args.end(), o.argv.begin(), o.argv.end());

    std::vector<char*> argv, envp;
    for (std::string& a : args) {
        argv.push_back(a.data());
    }
    argv.push_back(nullptr);
    for (std::string& e : env) {
        envp.push_back(e.data());
    }
    envp.push_back(nullptr);
    // The PATH search uses the test's PATH, which is the one passed on.
    execvpe(argv[0], argv.data(), envp.data());
    _exit(127);
}

} // namespace

ProgramRun::ProgramRun(const Options& o) : timeoutSeconds(o.timeoutSeconds)
{
    TempDir captures;
    const std::string outPath = o.stdoutPath.empty() ? captures.file("out") : o.stdoutPath;
    const int out = open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    const int err = open(captures.file("err").c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (out < 0 || err < 0) {
        throw std::runtime_error("cannot open the capture files");
    }
    const pid_t pid = fork();
    if (pid < 0) {
        throw std::runtime_error("fork failed");
    }
    if (pid == 0) {
        execChild(o, out, err);
    }
    close(out);
    close(err);
    if (waitpid(pid, &status, 0) != pid) {
        throw std::runtime_error("waitpid failed");
    }
    if (o.stdoutPath.empty()) {
        stdoutText = readFile(outPath);
    }
    stderrText = readFile(captures.file("err"));
}

bool ProgramRun::exited() const
{
    return WIFEXITED(status);
}

int ProgramRun::exitCode() const
{
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

int ProgramRun::signal() const
{
    return WIFSIGNALED(status) ? WTERMSIG(status) : 0;
}

bool ProgramRun::timedOut() const
{
    return signal() == SIGALRM;
}

std::string ProgramRun::describe() const
{
    std::string how = exited() ? "exit " + std::to_string(exitCode())
        : timedOut()           ? "timed out: killed after " + std::to_string(timeoutSeconds) + " s"
                               : "signal " + std::to_string(signal());
    return how + "; stdout:\n" + stdoutText + "stderr:\n" + stderrText;
}
