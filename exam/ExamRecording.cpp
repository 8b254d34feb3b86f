#include "exam/ExamRecording.h"

#include <QCoreApplication>
#include <QLabel>
#include <QListWidget>
#include <QSlider>
#include <exception>
#include <stdexcept>
#include <utility>

#include "audio/AudioError.h"
#include "audio/CaptureDevice.h"
#include "audio/CaptureDeviceRegistry.h"
#include "audio/EncoderLibrary.h"
#include "audio/MixerDevice.h"
#include "base/FileProblem.h"
#include "base/MessageBox.h"
#include "exam/ExamControlTable.h"
#include "exam/ExamJournal.h"
#include "exam/ExamSessionState.h"
#include "exam/ExamWindow.h"
#include "exam/FolderSyncNotice.h"
#include "exam/RecordingEvents.h"
#include "session/OutFolder.h"
#include "session/SessionCodes.h"

namespace {

const QString startQuestion = QStringLiteral(
    "Процедуру начала экзамена необходимо проделать ровно один раз - непосредственно перед "
    "началом ответа первого участника экзамена,\nа 'Закончить экзамен' следует после сохранения "
    "ответа последнего участника экзамена.\n\nБудьте внимательны!\n +) НЕ прерывайте процедуру "
    "экзамена, так как запись идёт непрерывно\n +) НЕ записывайте одного участника экзамена "
    "несколько раз без необходимости\n +) НЕ переименовывайте файлы - это приведёт к ошибке!\n "
    "+) В случае обнаружения ошибки укажите в сопроводительном письме: Код_ППЭ, Код_Аудитории, "
    "ФИО_участника_экзамена\n\nНачать экзамен?");
const QString endQuestion = QStringLiteral(
    "Вы уверены, что ответы всех участников экзамена записаны и вы хотите закончить экзамен?");
// What the desktop may show beside the hold, and what the organiser reads without one.
constexpr const char* sleepReason = "Идёт запись устного экзамена";
const QString sleepWarning = QStringLiteral(
    "Компьютер может уснуть во время экзамена: система не дала запретить сон. Отключите сон в "
    "настройках питания.");

class MixerCloser {
public:
    explicit MixerCloser(MixerDevice& mixer) : mixer_(mixer) {}
    ~MixerCloser() { mixer_.close(); }
    MixerCloser(const MixerCloser&) = delete;
    MixerCloser& operator=(const MixerCloser&) = delete;

private:
    MixerDevice& mixer_;
};

}  // namespace

ExamRecording::ExamRecording(ExamWindow& window, RecordingEvents& events, ExamJournal& journal,
                             ExamServices services)
    : window_(window),
      events_(events),
      journal_(journal),
      services_(std::move(services)),
      reporter_(events, window.session(), journal) {
    auto* level = window.control<QSlider>(ControlId::LevelSlider);
    auto* readout = window.control<QLabel>(ControlId::LevelReadout);
    QObject::connect(level, &QSlider::valueChanged, readout, [readout](int position) {
        readout->setText(QString::asprintf("Уровень записи: %d", position));
    });
}

ExamRecording::~ExamRecording() {
    if (examSink) {
        stopCapture();
    }
}

void ExamRecording::onStartExam() {
    if (examSink) {
        return;
    }
    if (showMessage(window_.boxOwner(), startQuestion, QStringLiteral("Начать экзамен?"),
                    MessageIcon::Information, MessageButtons::YesNo) != MessageAnswer::Yes) {
        return;
    }
    const int volume = window_.control<QSlider>(ControlId::LevelSlider)->value();
    const QList<QListWidgetItem*> selected =
        window_.control<QListWidget>(ControlId::SoundCardList)->selectedItems();
    if (selected.isEmpty()) {
        showMessage(window_.boxOwner(), QStringLiteral("Select Audio device is listbox below!"),
                    QCoreApplication::applicationName(), MessageIcon::None, MessageButtons::Ok);
        return;
    }
    try {
        start(selected.front()->text().toStdString(), volume);
    } catch (const std::exception& error) {
        showMessage(window_.boxOwner(),
                    QString::fromUtf8(error.what()) + QStringLiteral("\n\nЭкзамен не начат."),
                    QStringLiteral("Ошибка"), MessageIcon::Stop, MessageButtons::Ok);
        return;
    }
    window_.control<QLabel>(ControlId::StatusLine)->setText(QStringLiteral("Начали экзамен."));
    applyExamControls(ExamStep::ExamStarted, window_);
    keepAwake();
    const RecordingFile& all = window_.session().allFile;
    tellFolderNotSynced(window_, journal_, all.name(), all.folderSyncError());
}

void ExamRecording::keepAwake() {
    awake_ = services_.keepAwake(sleepReason);
    if (!awake_->holds() && !sleepWarned_) {
        sleepWarned_ = true;
        // After the start's own words, which stay for whoever reads the status line for them.
        auto* statusLine = window_.control<QLabel>(ControlId::StatusLine);
        statusLine->setText(statusLine->text() + QLatin1Char(' ') + sleepWarning);
    }
}

void ExamRecording::start(const std::string& deviceName, int volume) {
    examDevice = &services_.captureDevices.findByName(deviceName.c_str());
    const std::string lineName = firstLineName(*examDevice);
    prepareRecordingLine(*examDevice, lineName, volume);

    ExamSessionState& session = window_.session();
    auto sink = std::make_unique<Mp3FileSink>(session, events_, journal_,
                                              window_.maxAnswerSeconds(), services_.encoder);
    const QDateTime now = services_.clock();
    if (!session.allFile.open(allFileName(window_.sessionCodes(), now.toUTC()).toStdString(),
                              RecordingFile::Mode::CreateNew, session.syncFolder)) {
        throw std::runtime_error(withFileAdvice(QStringLiteral("Can't create MP3 file."),
                                                session.allFile.openError().kind)
                                     .toStdString());
    }
    examSink = std::move(sink);
    session.examElapsed.store(0);
    session.captureLost.store(false);
    session.examRunning.store(true, std::memory_order_release);

    if (services_.beforeCapture) {
        services_.beforeCapture(*examDevice);
    }
    // Starting an open device keeps its old sink; the exam must never record into another one.
    examDevice->stop();
    examDevice->setProblemListener(&reporter_);
    try {
        examDevice->start(*examSink);
        std::unique_ptr<PollPace> pace =
            services_.resumePace ? services_.resumePace() : std::make_unique<SteadyPace>();
        resumer_ = std::make_unique<CaptureResumer>(
            *examDevice, *examSink, reporter_,
            [this, device = examDevice, lineName, volume] {
                prepareRecordingLine(*device, lineName, volume);
            },
            std::move(pace));
    } catch (...) {
        examDevice->stop();
        session.examRunning.store(false, std::memory_order_release);
        examDevice->setProblemListener(nullptr);
        session.allFile.closeAndRemoveIfEmpty();
        examSink.reset();
        throw;
    }
    journal_.examStarted(QString::fromStdString(session.allFile.name()));
}

std::string ExamRecording::firstLineName(CaptureDevice& device) {
    try {
        MixerDevice& mixer = device.mixer();
        std::string name = mixer.lines().empty() ? std::string() : mixer.lines().front()->name();
        mixer.close();
        return name;
    } catch (const CardNotConnected&) {
        throw;  // told once, as the start's failure
    } catch (const AudioError& error) {
        showMessage(window_.boxOwner(), QStringLiteral("Error opening mixer"),
                    QString::fromUtf8(error.what()), MessageIcon::None, MessageButtons::Ok);
        return {};
    }
}

void ExamRecording::prepareRecordingLine(CaptureDevice& device, const std::string& lineName,
                                         int volume) {
    MixerDevice& mixer = device.mixer();
    const MixerCloser closer(mixer);
    MixerLine& line = mixer.findLine(lineName.c_str());
    line.unmute();
    line.setVolume(static_cast<std::uint32_t>(volume));
    line.selectAsRecordingInput();
}

void ExamRecording::onEndExam() {
    if (!examSink) {
        return;
    }
    if (showMessage(window_.boxOwner(), endQuestion, QStringLiteral("Закончить экзамен?"),
                    MessageIcon::Exclamation, MessageButtons::YesNo) != MessageAnswer::Yes) {
        return;
    }
    stopCapture();
    journal_.examEnded();
    applyExamControls(ExamStep::ExamEnded, window_);
    window_.control<QLabel>(ControlId::StatusLine)->setText(QStringLiteral("Закончили экзамен."));
}

void ExamRecording::stopBeforeExit() {
    if (examSink) {
        stopCapture();
    }
}

void ExamRecording::stopCapture() {
    ExamSessionState& session = window_.session();
    session.examRunning.store(false, std::memory_order_release);
    resumer_.reset();
    examDevice->stop();
    examDevice->setProblemListener(nullptr);
    examSink->finish();
    // Capture has stopped: the answer and the ALL file are the window's thread's now.
    if (session.answer.state() != AnswerState::Idle) {
        closeAnswer(session, events_, journal_);
    }
    if (session.allFile.close() == WriteResult::FirstFailure) {
        events_.writeFailed(session.allFile.name());
    }
    examSink.reset();
    awake_.reset();
}
