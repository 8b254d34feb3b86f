// C interface of the MP3 encoder library: LAME's "Blade-style" stream calls with their
// published names, record layouts and signatures, over the system's libmp3lame.
//
// What this build accepts (anything else is refused by beInitStream, with no stream made):
//  - dwConfig BE_CONFIG_LAME with dwStructVersion 1 and dwStructSize sizeof(BE_CONFIG).
//    The older BE_CONFIG_MP3 form is refused with BE_ERR_INVALID_FORMAT.
//  - Input is always 16-bit stereo, interleaved left/right, at an MPEG sample rate
//    (8000 ... 48000). dwReSampleRate is the output rate, 0 letting libmp3lame choose.
//  - nMode STEREO, JSTEREO or DUALCHANNEL; MONO is refused, since the input is stereo.
//  - Constant bitrate only: nPreset LQP_NOPRESET, LQP_NORMAL_QUALITY or LQP_CBR with
//    bEnableVBR 0, and dwBitrate a bitrate the output MPEG version offers at that rate.
//  - No Xing/Info tag, ever: bWriteVBRHeader must be 0, and the stream carries no tag frame
//    and no ID3 tag, so every output byte belongs to an audio frame.
//  - The MPEG version follows the output sample rate (MPEG-1 at 32, 44.1 and 48 kHz), as
//    libmp3lame decides it; dwMpegVersion (MPEG1 or MPEG2) is accepted but has no effect.
//    So 32 kbit/s at 44.1 kHz gives MPEG-1 frames of 32 kbit/s.
//  - bPrivate, bCRC, bCopyright, bOriginal, bNoRes, bStrictIso and dwEmphasis are honoured.
//    nQuality is used when its high byte is the complement of its low byte (low byte 0..9),
//    else libmp3lame's default quality applies.
//
// Chunks and buffers: beInitStream reports in *dwSamples the most samples (all channels
// counted) one beEncodeChunk accepts, BE_MAX_CHUNK_SAMPLES, and in *dwBufferSize the output
// area every beEncodeChunk and beDeinitStream call needs, BE_OUTPUT_BUFFER_SIZE: the worst
// case libmp3lame can produce from a largest chunk. The calls have no capacity argument, so
// the caller's area must be at least that large; the library never writes more than that.
//
// Handles: HBE_STREAM is pointer-sized (uintptr_t), unlike the 32-bit handle of the
// original Windows library. The value is an opaque number, never an address, and handles
// are not reused, so a stale or made-up handle is refused with BE_ERR_INVALID_HANDLE.
// A stream is used by one thread at a time; different streams are independent.
#pragma once

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

typedef uint8_t BYTE;
typedef uint16_t WORD;
#ifdef _WIN32
// The same 32 bits, declared as <windows.h> does so that both can be included together.
typedef unsigned long DWORD;
typedef long LONG;
#else
typedef uint32_t DWORD;
typedef int32_t LONG;  // 32 bits as in the original; C `long` is 64 bits here.
#endif
typedef int BOOL;
typedef int INT;
typedef char CHAR;

typedef uintptr_t HBE_STREAM;
typedef HBE_STREAM* PHBE_STREAM;
typedef uint32_t BE_ERR;

// Exported by the library's own build; a program loading it sees plain declarations. Both use
// the compiler's default calling convention (x86-64 Windows has only one).
#ifdef _WIN32
#ifdef LAME_ENC_BUILDING_LIBRARY
#define BEDEF __declspec(dllexport)
#else
#define BEDEF
#endif
#else
#define BEDEF __attribute__((visibility("default")))
#endif

#define BE_CONFIG_MP3 0
#define BE_CONFIG_LAME 256

#define BE_ERR_SUCCESSFUL 0x00000000
#define BE_ERR_INVALID_FORMAT 0x00000001
#define BE_ERR_INVALID_FORMAT_PARAMETERS 0x00000002
#define BE_ERR_NO_MORE_HANDLES 0x00000003
#define BE_ERR_INVALID_HANDLE 0x00000004
#define BE_ERR_BUFFER_TOO_SMALL 0x00000005

#define BE_MAX_HOMEPAGE 128

#define BE_MP3_MODE_STEREO 0
#define BE_MP3_MODE_JSTEREO 1
#define BE_MP3_MODE_DUALCHANNEL 2
#define BE_MP3_MODE_MONO 3

#define MPEG1 1
#define MPEG2 0

#define CURRENT_STRUCT_VERSION 1
#define CURRENT_STRUCT_SIZE sizeof(BE_CONFIG)

// 2 s of 44.1 kHz stereo. The output bound is libmp3lame's 1.25 bytes per sample and
// channel plus 7200, for that many samples per channel.
#define BE_MAX_CHUNK_SAMPLES 176400u
#define BE_OUTPUT_BUFFER_SIZE (BE_MAX_CHUNK_SAMPLES / 2u * 5u / 4u + 7200u)

typedef enum {
    VBR_METHOD_NONE = -1,
    VBR_METHOD_DEFAULT = 0,
    VBR_METHOD_OLD = 1,
    VBR_METHOD_NEW = 2,
    VBR_METHOD_MTRH = 3,
    VBR_METHOD_ABR = 4
} VBRMETHOD;

typedef enum {
    LQP_NOPRESET = -1,
    LQP_NORMAL_QUALITY = 0,
    LQP_LOW_QUALITY = 1,
    LQP_HIGH_QUALITY = 2,
    LQP_VOICE_QUALITY = 3,
    LQP_R3MIX = 4,
    LQP_VERYHIGH_QUALITY = 5,
    LQP_STANDARD = 6,
    LQP_FAST_STANDARD = 7,
    LQP_EXTREME = 8,
    LQP_FAST_EXTREME = 9,
    LQP_INSANE = 10,
    LQP_ABR = 11,
    LQP_CBR = 12,
    LQP_MEDIUM = 13,
    LQP_FAST_MEDIUM = 14,
    LQP_PHONE = 1000,
    LQP_SW = 2000,
    LQP_AM = 3000,
    LQP_FM = 4000,
    LQP_VOICE = 5000,
    LQP_RADIO = 6000,
    LQP_TAPE = 7000,
    LQP_HIFI = 8000,
    LQP_CD = 9000,
    LQP_STUDIO = 10000
} LAME_QUALITY_PRESET;

#pragma pack(push, 1)

typedef struct {
    DWORD dwConfig;
    union {
        struct {
            DWORD dwSampleRate;
            BYTE byMode;
            WORD wBitrate;
            BOOL bPrivate;
            BOOL bCRC;
            BOOL bCopyright;
            BOOL bOriginal;
        } mp3;

        struct {
            DWORD dwStructVersion;
            DWORD dwStructSize;

            DWORD dwSampleRate;
            DWORD dwReSampleRate;
            LONG nMode;
            DWORD dwBitrate;
            DWORD dwMaxBitrate;
            LONG nPreset;
            DWORD dwMpegVersion;
            DWORD dwPsyModel;
            DWORD dwEmphasis;

            BOOL bPrivate;
            BOOL bCRC;
            BOOL bCopyright;
            BOOL bOriginal;

            BOOL bWriteVBRHeader;
            BOOL bEnableVBR;
            INT nVBRQuality;
            DWORD dwVbrAbr_bps;
            INT nVbrMethod;  // a VBRMETHOD, stored as 32 bits whatever the enum's size
            BOOL bNoRes;

            BOOL bStrictIso;
            WORD nQuality;

            BYTE btReserved[255 - 4 * sizeof(DWORD) - sizeof(WORD)];
        } LHV1;

        struct {
            DWORD dwSampleRate;
            BYTE byMode;
            WORD wBitrate;
            BYTE byEncodingMethod;
        } aac;
    } format;
} BE_CONFIG, *PBE_CONFIG;

typedef struct {
    BYTE byDLLMajorVersion;
    BYTE byDLLMinorVersion;
    BYTE byMajorVersion;
    BYTE byMinorVersion;
    BYTE byDay;
    BYTE byMonth;
    WORD wYear;
    CHAR zHomepage[BE_MAX_HOMEPAGE + 1];
    BYTE byAlphaLevel;
    BYTE byBetaLevel;
    BYTE byMMXEnabled;
    BYTE btReserved[125];
} BE_VERSION, *PBE_VERSION;

#pragma pack(pop)

#ifdef __cplusplus
static_assert(sizeof(BE_CONFIG) == 331, "BE_CONFIG must keep its published size");
static_assert(offsetof(BE_CONFIG, format) == 4);
static_assert(offsetof(BE_CONFIG, format.LHV1.dwStructSize) == 8);
static_assert(offsetof(BE_CONFIG, format.LHV1.dwSampleRate) == 12);
static_assert(offsetof(BE_CONFIG, format.LHV1.nMode) == 20);
static_assert(offsetof(BE_CONFIG, format.LHV1.dwBitrate) == 24);
static_assert(offsetof(BE_CONFIG, format.LHV1.nPreset) == 32);
static_assert(offsetof(BE_CONFIG, format.LHV1.dwMpegVersion) == 36);
static_assert(offsetof(BE_CONFIG, format.LHV1.bPrivate) == 48);
static_assert(offsetof(BE_CONFIG, format.LHV1.bWriteVBRHeader) == 64);
static_assert(offsetof(BE_CONFIG, format.LHV1.bNoRes) == 84);
static_assert(offsetof(BE_CONFIG, format.LHV1.nQuality) == 92);
static_assert(offsetof(BE_CONFIG, format.LHV1.btReserved) == 94);
static_assert(sizeof(BE_VERSION) == 265, "BE_VERSION must keep its published size");
static_assert(offsetof(BE_VERSION, zHomepage) == 8);
#endif

// Checks the configuration and opens a stream; see the top of this file for what is accepted.
BEDEF BE_ERR beInitStream(BE_CONFIG* pbeConfig, DWORD* dwSamples, DWORD* dwBufferSize,
                          HBE_STREAM* phbeStream);
// Encodes nSamples interleaved samples (an even number, at most *dwSamples) and writes the
// whole MP3 frames they complete to pOutput, their byte count to *pdwOutput.
BEDEF BE_ERR beEncodeChunk(HBE_STREAM hbeStream, DWORD nSamples, short* pSamples,
                           unsigned char* pOutput, DWORD* pdwOutput);
// Encodes what is still buffered, padded to a whole frame. Only closing may follow.
BEDEF BE_ERR beDeinitStream(HBE_STREAM hbeStream, unsigned char* pOutput, DWORD* pdwOutput);
// Frees the stream; the handle is invalid afterwards.
BEDEF BE_ERR beCloseStream(HBE_STREAM hbeStream);
BEDEF void beVersion(BE_VERSION* pbeVersion);
// No tag is ever written: refused with BE_ERR_INVALID_FORMAT, the file untouched.
BEDEF BE_ERR beWriteVBRHeader(const char* lpszFileName);
// Closes the stream as beCloseStream does; no tag is written and the file is untouched.
BEDEF BE_ERR beWriteInfoTag(HBE_STREAM hbeStream, const char* lpszFileName);

#ifdef __cplusplus
}
#endif
