#include "app/SystemServices.h"

#include "audio/CaptureDeviceRegistry.h"
#include "audio/EncoderLibrary.h"
#include "platform/DiskSpace.h"
#include "platform/KeepAwake.h"
#include "platform/PlaybackPlayer.h"
#include "session/LongestAnswer.h"
#include "session/OutFolder.h"
#include "session/SessionSetupDialog.h"

WindowServices withSystemServices(WindowServices services) {
    if (services.captureDevices == nullptr) {
        services.captureDevices = &CaptureDeviceRegistry::instance();
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
    if (!services.makeFallbackPlayer) {
        services.makeFallbackPlayer = makeSystemFallbackPlayer;
    }
    if (!services.settingsFile) {
        services.settingsFile = systemSettingsFile();
    }
    if (!services.keepAwake) {
        services.keepAwake = keepSystemAwake;
    }
    if (!services.signal.freeBytes) {
        services.signal.freeBytes = [] { return availableBytes(kOutFolder); };
    }
    return services;
}
