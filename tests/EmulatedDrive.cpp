#include "EmulatedDrive.h"

#include <sstream>
#include <stdexcept>

#include <unistd.h>

void EmulatedDrive::load(const std::string& description)
{
    if (!present) {
        if (symlink("/dev/null", device().c_str()) != 0) {
            throw std::runtime_error("cannot create " + device());
        }
        present = true;
    }
    writeFile(dir.file("disc"), description);
}

std::vector<std::pair<std::string, std::string>> EmulatedDrive::environment() const
{
    std::vector<std::pair<std::string, std::string>> env = {{"CDEMU_LOG", dir.file("calls")}};
    if (present) {
        env.emplace_back("CDEMU_DEVICE", device());
        env.emplace_back("CDEMU_DISC", dir.file("disc"));
        env.emplace_back("SDL_CDROM", device());
    }
    return env;
}

ProgramRun::Options EmulatedDrive::runOptions(
    std::vector<std::string> argv, WayIn way, const std::string& preload) const
{
    ProgramRun::Options o;
    o.env = environment();
    if (way == WayIn::Tracer) {
        o.argv = {CDEMU_RUNNER};
    } else {
        o.env.emplace_back("LD_PRELOAD", preload);
    }
    o.argv.insert(o.argv.end(), argv.begin(), argv.end());
    o.cwd = dir.path();
    return o;
}

namespace {

// The lines of a log that start, or do not start, with a prefix.
std::string linesStartingWith(const std::string& log, const std::string& prefix, bool keep)
{
    std::istringstream in(log);
    std::string result;
    for (std::string line; std::getline(in, line);) {
        if ((line.rfind(prefix, 0) == 0) == keep) {
            result += line + "\n";
        }
    }
    return result;
}

} // namespace

std::string EmulatedDrive::driveCalls() const
{
    return linesStartingWith(calls(), "SDL_Init", false);
}

std::string EmulatedDrive::sdlCalls() const
{
    return linesStartingWith(calls(), "SDL_", true);
}
