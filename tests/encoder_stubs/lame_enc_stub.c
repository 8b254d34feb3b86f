// A stand-in for the encoder library that encodes nothing. Built once complete and once per
// entry point left out (STUB_WITHOUT_<name>). It keeps what the program handed it, for the
// tests to read through the stub* calls.
#include <pthread.h>
#include <stdatomic.h>
#include <string.h>

#include "lame_enc.h"

static pthread_mutex_t configLock = PTHREAD_MUTEX_INITIALIZER;
static unsigned char receivedConfig[sizeof(BE_CONFIG)];
static atomic_uint initCalls;
static atomic_uint closeCalls;
static atomic_uintptr_t lastClosed;
static atomic_uint initResult = BE_ERR_SUCCESSFUL;

// Stream handles handed out: 0x5EED0001, 0x5EED0002, ...
#define FIRST_HANDLE 0x5EED0000u

// Copies the last record beInitStream received (sizeof(BE_CONFIG) bytes) to `bytes`.
BEDEF void stubReceivedConfig(unsigned char* bytes) {
    pthread_mutex_lock(&configLock);
    memcpy(bytes, receivedConfig, sizeof receivedConfig);
    pthread_mutex_unlock(&configLock);
}

BEDEF unsigned stubInitCalls(void) {
    return atomic_load(&initCalls);
}

BEDEF unsigned stubCloseCalls(void) {
    return atomic_load(&closeCalls);
}

BEDEF HBE_STREAM stubLastClosed(void) {
    return atomic_load(&lastClosed);
}

BEDEF void stubSetInitResult(BE_ERR result) {
    atomic_store(&initResult, result);
}

#ifndef STUB_WITHOUT_beInitStream
BEDEF BE_ERR beInitStream(BE_CONFIG* pbeConfig, DWORD* dwSamples, DWORD* dwBufferSize,
                          HBE_STREAM* phbeStream) {
    const unsigned call = atomic_fetch_add(&initCalls, 1) + 1;
    pthread_mutex_lock(&configLock);
    memcpy(receivedConfig, pbeConfig, sizeof receivedConfig);
    pthread_mutex_unlock(&configLock);
    const BE_ERR result = atomic_load(&initResult);
    if (result == BE_ERR_SUCCESSFUL) {
        *dwSamples = 1152 * 2;
        *dwBufferSize = 4608;
        *phbeStream = FIRST_HANDLE + call;
    }
    return result;
}
#endif

#ifndef STUB_WITHOUT_beEncodeChunk
BEDEF BE_ERR beEncodeChunk(HBE_STREAM hbeStream, DWORD nSamples, short* pSamples,
                           unsigned char* pOutput, DWORD* pdwOutput) {
    (void)hbeStream;
    (void)nSamples;
    (void)pSamples;
    (void)pOutput;
    *pdwOutput = 0;
    return BE_ERR_SUCCESSFUL;
}
#endif

#ifndef STUB_WITHOUT_beDeinitStream
BEDEF BE_ERR beDeinitStream(HBE_STREAM hbeStream, unsigned char* pOutput, DWORD* pdwOutput) {
    (void)hbeStream;
    (void)pOutput;
    *pdwOutput = 0;
    return BE_ERR_SUCCESSFUL;
}
#endif

#ifndef STUB_WITHOUT_beCloseStream
BEDEF BE_ERR beCloseStream(HBE_STREAM hbeStream) {
    atomic_store(&lastClosed, hbeStream);
    atomic_fetch_add(&closeCalls, 1);
    return BE_ERR_SUCCESSFUL;
}
#endif

#ifndef STUB_WITHOUT_beVersion
BEDEF void beVersion(BE_VERSION* pbeVersion) {
    memset(pbeVersion, 0, sizeof *pbeVersion);
}
#endif

#ifndef STUB_WITHOUT_beWriteVBRHeader
BEDEF BE_ERR beWriteVBRHeader(const char* lpszFileName) {
    (void)lpszFileName;
    return BE_ERR_INVALID_FORMAT;
}
#endif

#ifndef STUB_WITHOUT_beWriteInfoTag
BEDEF BE_ERR beWriteInfoTag(HBE_STREAM hbeStream, const char* lpszFileName) {
    (void)hbeStream;
    (void)lpszFileName;
    return BE_ERR_SUCCESSFUL;
}
#endif
