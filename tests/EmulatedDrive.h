#ifndef CDTRACKS_TESTS_EMULATEDDRIVE_H
#define CDTRACKS_TESTS_EMULATEDDRIVE_H

#include <ostream>
#include <string>
#include <utility>
#include <vector>

#include "ProgramRun.h"
#include "TempDir.h"

// SDL's own functions (SDL_Init, SDL_Quit, ...) can be logged and failed by
// the emulator only where the program loads SDL as a shared library.
#ifdef CDTRACKS_SDL_LINKED_IN
constexpr bool sdlInterposable = false;
#else
constexpr bool sdlInterposable = true;
#endif

// How the emulator reaches a program: the way cdemu/with-disc chooses for it
// (preloaded into a program that loads libraries, the tracer cdemu-run for
// a static one), or the one named. Chosen asks with-disc once a program and
// names its answer; ChosenEachRun leaves the choice to each run.
enum class WayIn { Chosen, ChosenEachRun, Preload, Tracer };

// Its name in GoogleTest's output.
void PrintTo(WayIn way, std::ostream* out);

// The tracer, cdemu-run, is built for x86-64 machines only; elsewhere
// (arm64, ...) the cases that need it are skipped.
#ifdef CDEMU_TRACER
constexpr bool tracerBuilt = true;
#else
constexpr bool tracerBuilt = false;
#endif

#define REQUIRE_TRACER()                                                                \
    do {                                                                                \
        if (!tracerBuilt) {                                                             \
            GTEST_SKIP() << "cdemu-run, the tracer, is built for x86-64 machines only"; \
        }                                                                               \
    } while (0)

// SDL's two shut-down handlers, as the drive's log shows them.
inline const std::string sdlQuits = sdlInterposable ? "SDL_Quit\nSDL_Quit\n" : "";

#define REQUIRE_SDL_INTERPOSABLE()                                                      \
    do {                                                                                \
        if (!sdlInterposable) {                                                         \
            GTEST_SKIP() << "SDL is linked in statically in this build: its own "      \
                            "functions cannot be interposed to fail";                   \
        }                                                                               \
    } while (0)

// A scratch directory holding an emulated drive's disc description "disc"
// and call log "calls". A drive without a loaded disc is absent: the
// machine has none. Programs run on it through cdemu/with-disc.
class EmulatedDrive {
public:
    EmulatedDrive() = default;

    // Puts a disc described in the emulator's format in the drive.
    void load(const std::string& description);

    // Makes a file of one's own the drive's device (a regular file, as
    // Wine's drive D: is, or a symlink), in place of with-disc's own.
    void useDevice(const std::string& path) { ownDevice = path; }

    // What a process that links the emulator sets to see this drive: what
    // with-disc --env prints, as it sets it for the programs it runs.
    std::vector<std::pair<std::string, std::string>> environment() const;

    // How to run a program on this drive with cdemu/with-disc, in the
    // drive's directory; preloadFirst is what must load ahead of the
    // emulator (the sanitizer runtime of a sanitized cdtracks).
    ProgramRun::Options runOptions(std::vector<std::string> argv, WayIn way = WayIn::Chosen,
        const std::string& preloadFirst = CDTRACKS_PRELOAD_FIRST) const;

    // The calls the drive served, one a line.
    std::string calls() const { return readFile(dir.file("calls")); }

    // The calls with SDL's own start-up lines left out.
    std::string driveCalls() const;

    // SDL's own start and shut-down calls alone.
    std::string sdlCalls() const;

    const TempDir& directory() const { return dir; }
    // The drive's device: the one of useDevice, or the one with-disc names,
    // "drive" beside it, a symlink to /dev/null.
    std::string device() const { return ownDevice.empty() ? CDEMU_DEVICE_LINK : ownDevice; }

private:
    // with-disc's options for this drive: its call log and its device.
    std::vector<std::string> withDiscOptions() const;

    TempDir dir;
    bool present = false;
    std::string ownDevice;
};

#endif
