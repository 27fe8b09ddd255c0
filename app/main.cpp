// cdtracks: prints the length, in CD frames, of every track of the disc in
// the first CD-ROM drive, one decimal number a line, in track order.

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <vector>

#include <SDL.h>

#include "cdrom/CdTrack.h"
#include "cdrom/CdromManager.h"

// Declared with SDL's signature: where SDL supplies an entry wrapper, its
// header renames this function and the wrapper calls it.
int main(int argc, char* argv[])
{
    (void)argc;
    (void)argv;

    CdromManager& manager = CdromManager::instance();
    std::vector<CdTrack> tracks;
    if (manager.update()) {
        tracks = manager.tracks();
    }

    int writeErrno = 0;
    for (const CdTrack& track : tracks) {
        if (std::printf("%d\n", track.lengthFrames) < 0 && writeErrno == 0) {
            writeErrno = errno;
        }
    }
    // A report that did not reach its destination is a failure, not an empty
    // success: say so and let the exit status tell scripts.
    if (std::fflush(stdout) != 0 && writeErrno == 0) {
        writeErrno = errno;
    }
    if (writeErrno == 0 && std::ferror(stdout)) {
        writeErrno = EIO;
    }
    if (writeErrno != 0) {
        std::fprintf(stderr, "cdtracks: write error: %s\n", std::strerror(writeErrno));
        return 1;
    }
    return 0;
}
