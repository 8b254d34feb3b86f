// The tests the program runs before its window is shown: both audio libraries, the MP3 player,
// no second running copy, enough free disk space. A refusal ends the process with status 1.
#pragma once

#include <QString>
#include <cstdint>
#include <string>

#include "audio/PlayerLibrary.h"
#include "platform/SharedLibrary.h"
#include "platform/SingleInstanceLock.h"

class QWidget;

// What the start-up tests ask of the machine. Tests put a scripted one in its place.
class StartupEnvironment {
public:
    virtual ~StartupEnvironment() = default;
    virtual bool loadEncoderLibrary() = 0;
    virtual bool loadPlayerLibrary() = 0;
    // Opens the player on the default output device at 44,100 Hz.
    virtual bool initialisePlayer() = 0;
    // The player's code for its last failure; only shown to the organiser.
    virtual int playerErrorCode() = 0;
    virtual bool acquireSingleInstance() = 0;
    // All free bytes of the working folder's volume; 0 when it cannot be asked.
    virtual std::uint64_t freeBytesOfWorkingVolume() = 0;
};

// The machine itself: libraries from the program's folder, the named lock, the working volume.
// The loaded libraries and the lock stay with this object, which must live until the process ends.
class SystemStartupEnvironment : public StartupEnvironment {
public:
    SystemStartupEnvironment(PlayerLibrary& player, std::string programFolder);

    bool loadEncoderLibrary() override;
    bool loadPlayerLibrary() override;
    bool initialisePlayer() override;
    int playerErrorCode() override;
    bool acquireSingleInstance() override;
    std::uint64_t freeBytesOfWorkingVolume() override;

private:
    PlayerLibrary& player_;
    std::string programFolder_;
    SharedLibrary encoder_;
    SingleInstanceLock instanceLock_;
};

inline constexpr const char* singleInstanceName = "ZELVO9_recorder";
inline constexpr std::uint32_t minimumFreeMegabytes = 500;

// Whole megabytes of `bytes`, fraction dropped, as an unsigned 32-bit number.
std::uint32_t wholeMegabytes(std::uint64_t bytes);

// Runs the tests in order with their boxes owned by `owner`. Returns whether playback can go
// through the player library (false when the organiser chose to go on without it). Every
// refusal ends the process through exitProcess(1).
bool runStartupChecks(StartupEnvironment& environment, QWidget* owner);

// The start-up notice box shown after the tests on every start.
void showStartupNotice(QWidget* owner);
