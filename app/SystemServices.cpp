#include "app/SystemServices.h"

#include "audio/CaptureDeviceRegistry.h"
#include "audio/EncoderLibrary.h"
#include "audio/PlayerLibrary.h"
#include "exam/PlaybackLibraryPlayer.h"
#include "platform/DiskSpace.h"
#include "platform/KeepAwake.h"
#include "platform/PlaybackPlayer.h"
#include "session/LongestAnswer.h"
#include "session/OutFolder.h"
#include "session/SessionSetupDialog.h"

PlayerLibrary& systemPlayerLibrary() {
    // Deliberately leaked, as the encoder library is: nothing may unload it while the process
    // ends.
    static auto* const library = new PlayerLibrary;
    return *library;
}

WindowServices withSystemServices(WindowServices services) {
    if (services.captureDevices == nullptr) {
        services.captureDevices = &CaptureDeviceRegistry::instance();
        services.signal.soundCheck = true;
    }
    if (!services.runSessionSetup) {
        services.runSessionSetup = [](QWidget* owner) {
            SessionSetupDialog setup(owner);
            setup.exec();
            return setup.codes();
        };
    }
    if (services.encoder == nullptr) {
        services.encoder = &EncoderLibrary::instance();
    }
    if (!services.clock) {
        services.clock = systemClock();
    }
    if (services.libraryPlayer == nullptr) {
        static auto* const player = new PlaybackLibraryPlayer(systemPlayerLibrary());
        services.libraryPlayer = player;
    }
    if (!services.makeFallbackPlayer) {
        services.makeFallbackPlayer = makeSystemFallbackPlayer;
    }
    if (!services.longestAnswer) {
        services.longestAnswer = [settingsFile = systemSettingsFile()] {
            return readLongestAnswer(settingsFile);
        };
    }
    if (!services.keepAwake) {
        services.keepAwake = keepSystemAwake;
    }
    if (!services.signal.freeBytes) {
        services.signal.freeBytes = [] { return availableBytes(kOutFolder); };
    }
    return services;
}
