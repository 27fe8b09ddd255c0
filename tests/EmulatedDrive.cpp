#include "EmulatedDrive.h"

#include <map>
#include <sstream>
#include <stdexcept>

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

namespace {

// with-disc's choice for a program, asked once: the tests run the same few
// programs hundreds of times.
WayIn chosenWayFor(const std::string& program)
{
    static std::map<std::string, WayIn> chosen;
    if (chosen.count(program) == 0) {
        ProgramRun::Options o;
        o.argv = {CDEMU_WITH_DISC, "--which-way", program};
        const ProgramRun r(o);
        if (r.exitCode() != 0 || (r.out() != "preload\n" && r.out() != "trace\n")) {
            throw std::runtime_error("with-disc --which-way " + program + ": " + r.describe());
        }
        chosen[program] = r.out() == "trace\n" ? WayIn::Tracer : WayIn::Preload;
    }
    return chosen[program];
}

} // namespace

void PrintTo(WayIn way, std::ostream* out)
{
    static const char* const names[] = {"Chosen", "ChosenEachRun", "Preload", "Tracer"};
    *out << names[static_cast<int>(way)];
}

ProgramRun::Options EmulatedDrive::runOptions(
    std::vector<std::string> argv, WayIn way, const std::string& preloadFirst) const
{
    if (way == WayIn::Chosen) {
        way = chosenWayFor(argv.at(0));
    }
    ProgramRun::Options o;
    o.env = {{"CDEMU_LOG", dir.file("calls")}};
    if (!preloadFirst.empty()) {
        o.env.emplace_back("LD_PRELOAD", preloadFirst);
    }
    o.argv = {CDEMU_WITH_DISC};
    if (way != WayIn::ChosenEachRun) {
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
