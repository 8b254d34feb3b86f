// C interface of the MP3 player library: the five calls the recorder makes, with the
// published signatures of the player it stands in for.
#pragma once

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

typedef int BOOL;
#ifdef _WIN32
// The same 32 bits, declared as <windows.h> does so that both can be included together.
typedef unsigned long DWORD;
#else
typedef uint32_t DWORD;
#endif
typedef uint64_t QWORD;
typedef DWORD HSTREAM;

// Exported by the library's own build; a program loading it sees plain declarations. Both use
// the compiler's default calling convention (x86-64 Windows has only one).
#ifdef _WIN32
#ifdef BASS_BUILDING_LIBRARY
#define BASSDEF __declspec(dllexport)
#else
#define BASSDEF
#endif
#else
#define BASSDEF __attribute__((visibility("default")))
#endif

// BASS_StreamCreateFile: `file` is a UTF-16 name (Windows only; ignored on Linux).
#define BASS_UNICODE 0x80000000u

// Error codes reported by BASS_ErrorGetCode.
#define BASS_OK 0
#define BASS_ERROR_MEM 1
#define BASS_ERROR_FILEOPEN 2
#define BASS_ERROR_DRIVER 3
#define BASS_ERROR_HANDLE 5
#define BASS_ERROR_FORMAT 6
#define BASS_ERROR_INIT 8
#define BASS_ERROR_START 9
#define BASS_ERROR_ALREADY 14
#define BASS_ERROR_ILLPARAM 20
#define BASS_ERROR_DEVICE 23
#define BASS_ERROR_FILEFORM 41
#define BASS_ERROR_UNKNOWN (-1)

// Opens the output device (-1 or 1: the default one). Non-zero when output is ready; a second
// call fails with BASS_ERROR_ALREADY and leaves the first in place.
BASSDEF BOOL BASS_Init(int device, DWORD freq, DWORD flags, void* win, const void* dsguid);
// The code of the calling thread's last failure, BASS_OK after a success.
BASSDEF int BASS_ErrorGetCode(void);
// Opens an MP3 file (mem must be 0; length 0 means the whole file). 0 on failure. The name is
// the system's bytes on Linux; on Windows UTF-8 (else the ANSI code page), or UTF-16 with
// BASS_UNICODE in flags. Folders and pipes are refused with BASS_ERROR_FILEOPEN.
BASSDEF HSTREAM BASS_StreamCreateFile(BOOL mem, const void* file, QWORD offset, QWORD length,
                                      DWORD flags);
// Starts playback from the beginning on a thread of its own. Non-zero when playing. Without
// restart, a stream still playing carries on where it is.
BASSDEF BOOL BASS_ChannelPlay(DWORD handle, BOOL restart);
// Stops playback at once and frees the stream.
BASSDEF BOOL BASS_StreamFree(HSTREAM handle);

#ifdef __cplusplus
}
#endif
