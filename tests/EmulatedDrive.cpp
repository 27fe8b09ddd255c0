#include "EmulatedDrive.h"

#include <map>
#include <sstream>
#include <stdexcept>

void EmulatedDrive::load(const std::string& description)
{
    writeFile(dir.file("disc"), description);
    present = true;
}

std::vector<std::string> EmulatedDrive::withDiscOptions() const
{
    std::vector<std::string> options = {"--log", dir.file("calls")};
    if (!ownDevice.empty()) {
        options.insert(options.end(), {"--device", ownDevice});
    }
    return options;
}

std::vector<std::pair<std::string, std::string>> EmulatedDrive::environment() const
{
    ProgramRun::Options o;
    o.argv = {CDEMU_WITH_DISC};
    const std::vector<std::string> options = withDiscOptions();
    o.argv.insert(o.argv.end(), options.begin(), options.end());
    o.argv.insert(o.argv.end(), {"--env", present ? dir.file("disc") : ""});
    const ProgramRun r(o);
    if (r.exitCode() != 0 || !r.err().empty()) {
        throw std::runtime_error("with-disc --env: " + r.describe());
    }
    std::vector<std::pair<std::string, std::string>> env;
    std::istringstream in(r.out());
    for (std::string line; std::getline(in, line);) {
        const std::size_t equals = line.find('=');
        if (equals == std::string::npos) {
            throw std::runtime_error("with-disc --env printed no NAME=VALUE: " + line);
        }
        env.emplace_back(line.substr(0, equals), line.substr(equals + 1));
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
    if (!preloadFirst.empty()) {
        o.env.emplace_back("LD_PRELOAD", preloadFirst);
    }
    o.argv = {CDEMU_WITH_DISC};
    const std::vector<std::string> options = withDiscOptions();
    o.argv.insert(o.argv.end(), options.begin(), options.end());
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
