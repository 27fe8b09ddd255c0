#include "EmulatedDrive.h"

#include <sstream>

void EmulatedDrive::load(const std::string& description)
{
    writeFile(dir.file("disc"), description);
    present = true;
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
    std::vector<std::string> argv, WayIn way, const std::string& preloadFirst) const
{
    ProgramRun::Options o;
    o.env = {{"CDEMU_LOG", dir.file("calls")}};
    if (!preloadFirst.empty()) {
        o.env.emplace_back("LD_PRELOAD", preloadFirst);
    }
    o.argv = {CDEMU_WITH_DISC};
    if (way != WayIn::Chosen) {
        o.argv.push_back(way == WayIn::Tracer ? "--trace" : "--preload");
    }
    o.argv.push_back(present ? dir.file("disc") : "");
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
