/*
 * SDL 1.2's configuration as cdtracks builds it (CMakeLists.txt puts this
 * over the copy's include/SDL_config.h): what SDL's configure script writes
 * for --disable-audio --disable-joystick --disable-loadso --disable-file
 * --disable-cpuinfo --disable-assembly, on Linux with --disable-video
 * --disable-events, and on Windows (MinGW-w64) with video kept for its GDI
 * driver alone, through which SDL's entry wrapper sets the module handle.
 * Little-endian processors only: those cdtracks is built for.
 */
#ifndef _SDL_config_h
#define _SDL_config_h

#include "SDL_platform.h"

#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ != __ORDER_LITTLE_ENDIAN__
#error cdtracks builds SDL 1.2 for little-endian processors only
#endif
#define SDL_HAS_64BIT_TYPE 1
#define SDL_BYTEORDER 1234

#define HAVE_LIBC 1
#define HAVE_SYS_TYPES_H 1
#define HAVE_STDIO_H 1
#define STDC_HEADERS 1
#define HAVE_STDLIB_H 1
#define HAVE_STDARG_H 1
#define HAVE_MALLOC_H 1
#define HAVE_MEMORY_H 1
#define HAVE_STRING_H 1
#define HAVE_STRINGS_H 1
#define HAVE_INTTYPES_H 1
#define HAVE_STDINT_H 1
#define HAVE_CTYPE_H 1
#define HAVE_MATH_H 1
#define HAVE_SIGNAL_H 1
#define HAVE_MALLOC 1
#define HAVE_CALLOC 1
#define HAVE_REALLOC 1
#define HAVE_FREE 1
#define HAVE_QSORT 1
#define HAVE_ABS 1
#define HAVE_MEMSET 1
#define HAVE_MEMCPY 1
#define HAVE_MEMMOVE 1
#define HAVE_STRLEN 1
#define HAVE_STRDUP 1
#define HAVE_STRCHR 1
#define HAVE_STRRCHR 1
#define HAVE_STRSTR 1
#define HAVE_STRTOL 1
#define HAVE_STRTOUL 1
#define HAVE_STRTOLL 1
#define HAVE_STRTOULL 1
#define HAVE_ATOI 1
#define HAVE_ATOF 1
#define HAVE_STRCMP 1
#define HAVE_STRNCMP 1
#define HAVE_STRCASECMP 1
#define HAVE_STRNCASECMP 1
#define HAVE_SSCANF 1
#define HAVE_SNPRINTF 1
#define HAVE_VSNPRINTF 1
#define HAVE_SETJMP 1

#define SDL_AUDIO_DISABLED 1
#define SDL_CPUINFO_DISABLED 1
#define SDL_FILE_DISABLED 1
#define SDL_JOYSTICK_DISABLED 1
#define SDL_LOADSO_DISABLED 1
#define SDL_VIDEO_DRIVER_DUMMY 1
#define SDL_VIDEO_DISABLE_SCREENSAVER 1

#ifdef _WIN32
#define HAVE__STRREV 1
#define HAVE__STRUPR 1
#define HAVE__STRLWR 1
#define HAVE_ITOA 1
#define HAVE__LTOA 1
#define HAVE__ULTOA 1
#define HAVE__I64TOA 1
#define HAVE__UI64TOA 1
#define HAVE__STRICMP 1
#define HAVE__STRNICMP 1
#define SDL_CDROM_WIN32 1
#define SDL_THREAD_WIN32 1
#define SDL_TIMER_WIN32 1
#define SDL_VIDEO_DRIVER_WINDIB 1
#else
#define HAVE_ALLOCA_H 1
#define HAVE_ICONV_H 1
#define HAVE_ALLOCA 1
#define HAVE_GETENV 1
#define HAVE_PUTENV 1
#define HAVE_UNSETENV 1
#define HAVE_BCOPY 1
#define HAVE_MEMCMP 1
#define HAVE_STRTOD 1
#define HAVE_ICONV 1
#define HAVE_SIGACTION 1
#define HAVE_SA_SIGACTION 1
#define HAVE_NANOSLEEP 1
#define HAVE_MPROTECT 1
#define HAVE_SEM_TIMEDWAIT 1
#define SDL_EVENTS_DISABLED 1
#define SDL_VIDEO_DISABLED 1
#define SDL_CDROM_LINUX 1
#define SDL_INPUT_LINUXEV 1
#define SDL_LOADSO_DLOPEN 1
#define SDL_THREAD_PTHREAD 1
#define SDL_THREAD_PTHREAD_RECURSIVE_MUTEX 1
#define SDL_TIMER_UNIX 1
#endif

#endif
