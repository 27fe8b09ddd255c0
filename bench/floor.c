/*
 * The floor for the benchmark: the SDL calls a track listing needs and
 * nothing else. Start SDL and its CD-ROM subsystem, open drive 0, read its
 * status (and with it the table of contents), print each length, stop,
 * close, quit.
 */
#include <stdio.h>

#include <SDL.h>

int main(int argc, char *argv[])
{
    (void)argc;
    (void)argv;
    if (SDL_Init(0) < 0 || SDL_InitSubSystem(SDL_INIT_CDROM) < 0)
        return 1;
    SDL_CD *cd = SDL_CDOpen(0);
    if (cd != NULL) {
        if (SDL_CDStatus(cd) > 0) {
            for (int i = 0; i < cd->numtracks; i++)
                printf("%d\n", (int)cd->track[i].length);
        }
        SDL_CDStop(cd);
        SDL_CDClose(cd);
    }
    SDL_Quit();
    return 0;
}
