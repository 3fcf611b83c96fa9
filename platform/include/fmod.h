// The subset of the FMOD 3.x sound library that the demo calls, shaped as the
// library writes it. Implemented under platform/fmod on libopenmpt and SDL2.
#pragma once

#define FMOD_VERSION 3.2f

// The library's Win32 DLL takes its arguments __stdcall; elsewhere the
// default convention.
#if defined(_WIN32) && !defined(_WIN64)
#define F_API __stdcall
#else
#define F_API
#endif

#ifdef __cplusplus
extern "C" {
#endif

// A loaded tracker module; only ever handled through a pointer.
typedef struct FMUSIC_MODULE FMUSIC_MODULE;

// Version of the library, compared by callers against FMOD_VERSION.
float F_API FSOUND_GetVersion(void);

// Starts the output: mixing rate in Hz, software channel count, FSOUND_INIT_* flags.
// TRUE (1) on success, FALSE (0) on failure.
signed char F_API FSOUND_Init(int mixrate, int maxsoftwarechannels, unsigned int flags);

// Stops the output and frees whatever songs are still loaded.
void F_API FSOUND_Close(void);

// Loads a module file (MOD, S3M, XM, IT, ...); NULL when it cannot be loaded.
FMUSIC_MODULE* F_API FMUSIC_LoadSong(const char* name);

// Starts the song from its beginning, looping. TRUE or FALSE.
signed char F_API FMUSIC_PlaySong(FMUSIC_MODULE* mod);

// Stops the song if it plays and frees it. TRUE or FALSE.
signed char F_API FMUSIC_FreeSong(FMUSIC_MODULE* mod);

#ifdef __cplusplus
}
#endif
