// The main window as the window tests drive it: the organiser's steps, and the window over a
// scripted sound card with a clock the test sets, or over the private sound server's card.
#pragma once

#include <QDateTime>
#include <atomic>
#include <cstdint>
#include <filesystem>
#include <map>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "CaptureTestDoubles.h"
#include "ExamTestAudio.h"
#include "FakeMixer.h"
#include "FakeWaveIn.h"
#include "RecorderTest.h"
#include "ScriptedPlayer.h"
#include "SoundServerCard.h"
#include "app/ExamRecorderDialog.h"
#include "audio/CaptureDeviceRegistry.h"
#include "platform/KeepAwake.h"
#include "platform/alsa/AlsaMixer.h"
#include "platform/alsa/AlsaWaveIn.h"
#include "support/AlsaCapture.h"
#include "support/PulseAudioServer.h"

inline const SessionCodes kTestCodes{"0123", "001", "eng"};

// A hold granted without asking the system: the window tests' own, unless they name one.
inline std::unique_ptr<KeepAwake> grantedHold(const std::string&) {
    struct Granted final : KeepAwake {
        bool holds() const override { return true; }
    };
    return std::make_unique<Granted>();
}

class WindowTest : public RecorderTest {
public:
    void TearDown() override;

    // Makes the window over `registry`, confirming kTestCodes, and establishes its session.
    // Answers are played by `library` unless `services` name a player.
    ExamRecorderDialog& openWindow(CaptureDeviceRegistry& registry, WindowServices services = {});

    void click(ControlId id);
    // Clicks, answering Yes to the question the click asks.
    void yes(ControlId id);
    void type(ControlId id, const QString& text);
    // Types `kim` into the KIM field and `repeat` (`kim` when empty) into its repeat, confirming
    // each.
    void enterKim(const QString& kim, const QString& repeat = {});
    // Lets the window show what the recording thread has reported so far.
    static void takeReports();

    QString text(ControlId id) const;
    bool shown(ControlId id) const;
    std::map<ControlId, bool> enabledStates(const std::vector<ControlId>& ids) const;
    long told(const QString& text) const;
    // The ALL files in out/, oldest first.
    static std::vector<std::string> allFiles();

    std::vector<std::string> players;
    ScriptedPlayer library{players, "library"};
    std::optional<ExamRecorderDialog> dialog;
};

// Over a scripted card "Microphone" whose mixer has the lines "Mic" and "Line"; the clock
// stands at `now`, from 09:30:05 on 14 May 2014, three hours ahead of UTC.
class ScriptedCardTest : public WindowTest {
public:
    ScriptedCardTest();

    // `maxAnswerSeconds` 0: no limit.
    ExamRecorderDialog& window(std::int32_t maxAnswerSeconds = 0, EncoderLibrary* encoder = nullptr,
                               WindowServices services = {});
    // Hands `bytes` to the card as recorded sound, and returns once the sink is done with every
    // buffer they filled and the window has shown its reports; a partly filled buffer stays.
    void capture(std::span<const std::byte> bytes);
    // One block of 2 s recorded `seconds` after the exam's first second.
    void block(std::int64_t seconds);
    CaptureDevice& device() { return registry.findByName("Microphone"); }
    capture_test::SteppedPace* pace = nullptr;  // the running exam's, unless `services` name one

    FakeWaveIn soundCards;
    FakeMixer mixers;
    CaptureDeviceRegistry registry{soundCards, mixers};
    const QDateTime examDay;
    const std::int64_t start;
    std::atomic<std::int64_t> now;
    const std::vector<std::byte> pcm = exam_test::tone(exam_test::kBlockBytes / 4);
};

// Over the private sound server's card, through ALSA's PulseAudio plugin; skipped where no
// server can be started. A low-latency capture kept open makes the idle null sink render in
// short blocks, as a real source would, instead of 2-second ones.
class SoundServerWindowTest : public WindowTest {
public:
    void SetUp() override;
    void TearDown() override;

    // The window over the server's card, seen through `through` when given. The null sink's
    // monitor is silent between sounds: the no-signal alarm, which would take the status line,
    // is off.
    ExamRecorderDialog& openServerWindow(WindowServices services = {},
                                         WaveInApi* through = nullptr);

    std::optional<test_support::PulseAudioServer> server;
    std::optional<test_support::AlsaCapture> awake;
    std::optional<AlsaWaveIn> alsa;
    AlsaMixer mixers{soundServerMixerName};
    std::optional<CaptureDeviceRegistry> cards;
};
