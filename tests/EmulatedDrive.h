#ifndef CDTRACKS_TESTS_EMULATEDDRIVE_H
#define CDTRACKS_TESTS_EMULATEDDRIVE_H

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

// How the emulator reaches a program: preloaded into it (LD_PRELOAD), or
// from outside, by cdemu-run tracing its system calls. A static cdtracks
// loads no library, so only the tracer reaches it.
enum class WayIn { Preload, Tracer };
#ifdef CDTRACKS_STATIC
constexpr WayIn cdtracksWayIn = WayIn::Tracer;
#else
constexpr WayIn cdtracksWayIn = WayIn::Preload;
#endif

// SDL's two shut-down handlers, as the drive's log shows them.
inline const std::string sdlQuits = sdlInterposable ? "SDL_Quit\nSDL_Quit\n" : "";

#define REQUIRE_SDL_INTERPOSABLE()                                                      \
    do {                                                                                \
        if (!sdlInterposable) {                                                         \
            GTEST_SKIP() << "SDL is linked in statically in this build: its own "      \
                            "functions cannot be interposed to fail";                   \
        }                                                                               \
    } while (0)

// A scratch directory holding an emulated drive: the device node "drive" (a
// symlink to /dev/null), the disc description "disc" and the call log
// "calls". A drive without a loaded disc is absent: the machine has none.
class EmulatedDrive {
public:
    EmulatedDrive() = default;

    // Puts a disc described in the emulator's format in the drive.
    void load(const std::string& description);

    // The environment that makes SDL (or a peer tool) see this drive.
    std::vector<std::pair<std::string, std::string>> environment() const;

    // How to run a program on this drive, in the drive's directory: under
    // the tracer, or with the libraries to preload (the emulator, after a
    // sanitizer runtime when there is one).
    ProgramRun::Options runOptions(std::vector<std::string> argv,
        WayIn way = cdtracksWayIn, const std::string& preload = CDTRACKS_PRELOAD) const;

    // The calls the drive served, one a line.
    std::string calls() const { return readFile(dir.file("calls")); }

    // The calls with SDL's own start-up lines left out.
    std::string driveCalls() const;

    // SDL's own start and shut-down calls alone.
    std::string sdlCalls() const;

    const TempDir& directory() const { return dir; }
    std::string device() const { return dir.file("drive"); }

private:
    TempDir dir;
    bool present = false;
};

#endif
