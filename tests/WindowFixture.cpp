#include "WindowFixture.h"

#include <QCoreApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTimeZone>
#include <algorithm>
#include <chrono>
#include <utility>

#include "exam/Playback.h"

namespace fs = std::filesystem;

void WindowTest::TearDown() {
    dialog.reset();
    RecorderTest::TearDown();
}

ExamRecorderDialog& WindowTest::openWindow(CaptureDeviceRegistry& registry,
                                           WindowServices services) {
    services.captureDevices = &registry;
    services.runSessionSetup = [](QWidget*) { return kTestCodes; };
    if (services.libraryPlayer == nullptr) {
        services.libraryPlayer = &library;
    }
    if (!services.keepAwake) {
        services.keepAwake = grantedHold;
    }
    dialog.emplace(std::move(services));
    dialog->establishSession();
    dialog->playback().setBassAvailable(true);
    return *dialog;
}

void WindowTest::click(ControlId id) {
    dialog->control<QPushButton>(id)->click();
}

void WindowTest::yes(ControlId id) {
    answerNext(MessageAnswer::Yes);
    click(id);
}

void WindowTest::type(ControlId id, const QString& text) {
    dialog->control<QLineEdit>(id)->setText(text);
}

void WindowTest::enterKim(const QString& kim, const QString& repeat) {
    type(ControlId::KimEntry, kim);
    click(ControlId::KimOk);
    type(ControlId::KimRepeatEntry, repeat.isEmpty() ? kim : repeat);
    click(ControlId::KimRepeatOk);
}

void WindowTest::takeReports() {
    QCoreApplication::processEvents();
}

QString WindowTest::text(ControlId id) const {
    if (auto* label = dialog->control<QLabel>(id)) {
        return label->text();
    }
    if (auto* button = dialog->control<QPushButton>(id)) {
        return button->text();
    }
    return dialog->control<QLineEdit>(id)->text();
}

bool WindowTest::shown(ControlId id) const {
    return dialog->control(id)->isVisibleTo(&*dialog);
}

std::map<ControlId, bool> WindowTest::enabledStates(const std::vector<ControlId>& ids) const {
    std::map<ControlId, bool> states;
    for (ControlId id : ids) {
        states[id] = dialog->control(id)->isEnabled();
    }
    return states;
}

long WindowTest::told(const QString& text) const {
    return std::count_if(boxes.begin(), boxes.end(),
                         [&](const MessageRequest& box) { return box.text == text; });
}

std::vector<std::string> WindowTest::allFiles() {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator("out")) {
        if (entry.path().filename().string().starts_with("ALL_")) {
            names.push_back("out/" + entry.path().filename().string());
        }
    }
    std::sort(names.begin(), names.end());
    return names;
}

ScriptedCardTest::ScriptedCardTest()
    : examDay(QDate(2014, 5, 14), QTime(9, 30, 5), QTimeZone(3 * 3600)),
      start(examDay.toSecsSinceEpoch()),
      now(start) {
    soundCards.devices = {{"Microphone"}};
    mixers.destination = fakeDestination(
        2, {fakeList(30, MixerControlType::Mux, true, {"Mic", "Line"}, {false, true})});
    mixers.sources = {fakeSource("Mic", 1, 2, {fakeMute(10), fakeVolume(11, 0, 1000)}),
                      fakeSource("Line", 2, 2, {fakeMute(20), fakeVolume(21, 0, 1000)})};
}

ExamRecorderDialog& ScriptedCardTest::window(std::int32_t maxAnswerSeconds, EncoderLibrary* encoder,
                                             WindowServices services) {
    services.encoder = encoder;
    services.clock = [this] {
        return QDateTime::fromSecsSinceEpoch(now.load(), examDay.timeZone());
    };
    services.longestAnswer = [maxAnswerSeconds] { return LongestAnswer{maxAnswerSeconds, {}}; };
    if (!services.resumePace) {
        services.resumePace = [this] {
            auto stepped = std::make_unique<capture_test::SteppedPace>();
            pace = stepped.get();
            return stepped;
        };
    }
    if (!services.makeFallbackPlayer) {
        services.makeFallbackPlayer = [this](QObject*) {
            return std::make_unique<ScriptedPlayer>(players, "fallback");
        };
    }
    return openWindow(registry, std::move(services));
}

void ScriptedCardTest::capture(std::span<const std::byte> bytes) {
    while (!bytes.empty()) {
        bytes = bytes.last(soundCards.record(bytes));
        if (!bytes.empty()) {
            ASSERT_TRUE(QTest::qWaitFor([&] { return soundCards.queuedCount() > 0; }, 10'000));
        }
    }
    ASSERT_TRUE(QTest::qWaitFor([&] { return soundCards.queuedCount() == 2; }, 10'000));
    // The sink reported before it handed the buffer back.
    takeReports();
}

void ScriptedCardTest::block(std::int64_t seconds) {
    now = start + seconds;
    capture(pcm);
}

void SoundServerWindowTest::SetUp() {
    WindowTest::SetUp();
    if (const auto reason = test_support::PulseAudioServer::unavailableReason()) {
        GTEST_SKIP() << *reason;
    }
    server.emplace();
    awake.emplace("pulse");
    ASSERT_TRUE(
        awake->waitUntilCaptured(std::chrono::steady_clock::now(), std::chrono::seconds(10)))
        << awake->error();
    if (const auto endpoint = soundServerEndpoint()) {
        alsa.emplace(std::vector{*endpoint});
    }
    ASSERT_TRUE(alsa) << "the sound server's source is not listed";
}

void SoundServerWindowTest::TearDown() {
    dialog.reset();
    cards.reset();
    alsa.reset();
    awake.reset();
    server.reset();
    WindowTest::TearDown();
}

ExamRecorderDialog& SoundServerWindowTest::openServerWindow(WindowServices services,
                                                            WaveInApi* through) {
    cards.emplace(through != nullptr ? *through : *alsa, mixers);
    services.signal.noSignalAlarm = false;
    return openWindow(*cards, std::move(services));
}
