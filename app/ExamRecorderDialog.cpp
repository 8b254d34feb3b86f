#include "app/ExamRecorderDialog.h"

#include <QAbstractButton>
#include <QCloseEvent>
#include <QFocusEvent>
#include <QKeyEvent>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRegularExpressionValidator>
#include <QSlider>
#include <utility>

#include "app/StartupChecks.h"
#include "app/SystemServices.h"
#include "audio/AudioError.h"
#include "audio/CaptureDevice.h"
#include "audio/CaptureDeviceRegistry.h"
#include "base/MessageBox.h"
#include "base/ProcessExit.h"
#include "exam/AnswerRecording.h"
#include "exam/ExamControlTable.h"
#include "exam/ExamJournal.h"
#include "exam/ExamRecording.h"
#include "exam/ExamWindowUpdater.h"
#include "exam/InterruptedExam.h"
#include "exam/Playback.h"
#include "report/StatementCommand.h"
#include "session/OutFolder.h"
#include "session/SessionEstablishment.h"
#include "session/SessionTitle.h"
#include "ui_ExamRecorderDialog.h"

// The resources live in a static library, which Qt does not register by itself.
static void registerResources() {
    Q_INIT_RESOURCE(resources);
}

ExamRecorderDialog::ExamRecorderDialog(WindowServices services, QWidget* parent)
    : QDialog(parent),
      services_(withSystemServices(std::move(services))),
      ui_(std::make_unique<Ui::ExamRecorderDialog>()) {
    registerResources();
    ui_->setupUi(this);
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                   Qt::WindowCloseButtonHint);
    keepTemplateSizes(*this);
    setWindowTitle(QCoreApplication::applicationName());
    setWindowIcon(QIcon(QStringLiteral(":/res/icon128.png")));

    controls_ = ControlMap<ControlId>(*this);
    const auto digitsOnly = new QRegularExpressionValidator(QRegularExpression("[0-9]*"), this);
    control<QLineEdit>(ControlId::KimEntry)->setValidator(digitsOnly);
    control<QLineEdit>(ControlId::KimRepeatEntry)->setValidator(digitsOnly);
    auto* signalWatch = new SignalWatch(
        *this, [this](ControlId id) { return control(id); }, session_, *services_.captureDevices,
        services_.signal);
    // A journal that cannot be written is told as a recording's failed write is.
    journal_ = std::make_unique<ExamJournal>(
        [this](const QString& text) { windowUpdater_->captureProblem(text); }, examJournalPath,
        services_.clock);
    answerRecording_ = std::make_unique<AnswerRecording>(*this, *journal_);
    windowUpdater_ = std::make_unique<ExamWindowUpdater>(*this, *answerRecording_);
    playback_ =
        std::make_unique<Playback>(*this, services_.libraryPlayer, services_.makeFallbackPlayer);
    examRecording_ = std::make_unique<ExamRecording>(
        *this, *windowUpdater_, *journal_,
        ExamServices{*services_.captureDevices, *services_.encoder, services_.clock,
                     [signalWatch](CaptureDevice& device) { signalWatch->handOver(device); },
                     services_.keepAwake, services_.resumePace});
    routeCommands();
}

ExamRecorderDialog::~ExamRecorderDialog() = default;

void ExamRecorderDialog::routeCommands() {
    for (const auto& [id, widget] : controls_) {
        if (auto* button = qobject_cast<QAbstractButton*>(widget)) {
            connect(button, &QAbstractButton::clicked, this, [this, id = id] { onCommand(id); });
        }
    }
}

void ExamRecorderDialog::onCommand(ControlId id) {
    switch (id) {
        case ControlId::Exit:
            accept();
            break;
        case ControlId::StartExam:
            examRecording_->onStartExam();
            break;
        case ControlId::EndExam:
            examRecording_->onEndExam();
            break;
        case ControlId::RecordAnswer:
            answerRecording_->onRecordAnswer();
            break;
        case ControlId::StopAnswer:
            answerRecording_->onStopAnswer();
            break;
        case ControlId::KimOk:
            answerRecording_->onFirstKimOk();
            break;
        case ControlId::KimRepeatOk:
            answerRecording_->onSecondKimOk();
            break;
        case ControlId::SaveAnswer:
            answerRecording_->onSaveAnswer();
            break;
        case ControlId::Listen:
            playback_->onListen();
            break;
        case ControlId::ShowStatement:
            showTransferStatement(this, {control<QLineEdit>(ControlId::SiteCode)->text(),
                                         control<QLineEdit>(ControlId::ClassroomCode)->text(),
                                         control<QLineEdit>(ControlId::SubjectCode)->text()});
            break;
        default:
            break;
    }
}

void ExamRecorderDialog::runStartupSteps(StartupEnvironment& environment) {
    playback_->setBassAvailable(runStartupChecks(environment, this));
    showStartupNotice(this);
}

void ExamRecorderDialog::askToClose() {
    const MessageAnswer answer =
        showMessage(this, QStringLiteral("Закрыть программу?"), QStringLiteral("Выход"),
                    MessageIcon::Exclamation, MessageButtons::YesNo);
    if (answer == MessageAnswer::Yes) {
        examRecording_->stopBeforeExit();
        exitProcess(1);
    }
}

void ExamRecorderDialog::accept() {
    askToClose();
}

void ExamRecorderDialog::reject() {}

void ExamRecorderDialog::closeEvent(QCloseEvent* event) {
    // The window never closes by itself: either the process ends or nothing happens.
    event->ignore();
    askToClose();
}

void ExamRecorderDialog::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Escape) {
        event->accept();
        return;
    }
    if (event->key() == Qt::Key_F4 && event->modifiers().testFlag(Qt::AltModifier)) {
        event->accept();
        askToClose();
        return;
    }
    QDialog::keyPressEvent(event);
}

void ExamRecorderDialog::paintEvent(QPaintEvent* event) {
    QDialog::paintEvent(event);
    if (!firstPaintSeen_) {
        firstPaintSeen_ = true;
        // Queued, so the set-up's own boxes open after this paint has finished.
        QMetaObject::invokeMethod(this, &ExamRecorderDialog::establishSession,
                                  Qt::QueuedConnection);
    }
}

void ExamRecorderDialog::establishSession() {
    const EstablishedSession established =
        SessionEstablishment(this, {.runSetup = services_.runSessionSetup,
                                    .afterSetup = [this] { tellOfInterruptedExam(); },
                                    .longestAnswer = services_.longestAnswer,
                                    .captureDevices = services_.captureDevices})
            .run();
    sessionCodes_ = established.codes;
    maxAnswerSeconds_ = established.maxAnswerSeconds;
    showSession();
    listSoundCards(established.soundCards);
    setReadyForExam();
}

void ExamRecorderDialog::tellOfInterruptedExam() {
    if (const auto exam = findInterruptedExam(QString::fromLatin1(kOutFolder))) {
        showMessage(this, interruptedExamText(*exam), QString::fromUtf8(interruptedExamCaption),
                    MessageIcon::Exclamation, MessageButtons::Ok);
    }
}

void ExamRecorderDialog::showSession() {
    control<QLineEdit>(ControlId::SiteCode)->setText(sessionCodes_.site);
    control<QLineEdit>(ControlId::ClassroomCode)->setText(sessionCodes_.classroom);
    control<QLineEdit>(ControlId::SubjectCode)->setText(sessionCodes_.subject);
    setWindowTitle(sessionTitle(sessionCodes_, maxAnswerSeconds_));
}

void ExamRecorderDialog::listSoundCards(const std::vector<QString>& names) {
    if (names.empty()) {
        showMessage(this, QStringLiteral("Звуковая карта не найдена!"), QStringLiteral("Ошибка"),
                    MessageIcon::Stop, MessageButtons::Ok);
        done(-1);
        return;
    }
    auto* list = control<QListWidget>(ControlId::SoundCardList);
    for (const QString& name : names) {
        auto* item = new QListWidgetItem(name);
        list->addItem(item);
        // The list sorts itself; the selection stays on the registry's first device.
        if (&name == &names.front()) {
            list->setCurrentItem(item);
        }
    }
    soundCardsListed_ = true;
    list->installEventFilter(this);
    list->viewport()->installEventFilter(this);
}

bool ExamRecorderDialog::eventFilter(QObject* watched, QEvent* event) {
    auto* list = control<QListWidget>(ControlId::SoundCardList);
    // A click that gives the list the focus lists the cards once, before it selects.
    const bool turnedTo =
        (watched == list && event->type() == QEvent::FocusIn &&
         static_cast<QFocusEvent*>(event)->reason() != Qt::MouseFocusReason) ||
        (watched == list->viewport() && (event->type() == QEvent::MouseButtonPress ||
                                         event->type() == QEvent::MouseButtonDblClick));
    if (turnedTo && soundCardsListed_ && !session_.examRunning.load(std::memory_order_acquire)) {
        listSoundCardsAgain();
    }
    return QDialog::eventFilter(watched, event);
}

void ExamRecorderDialog::listSoundCardsAgain() {
    auto* list = control<QListWidget>(ControlId::SoundCardList);
    const CaptureDevice* chosen = nullptr;
    if (const QList<QListWidgetItem*> selected = list->selectedItems(); !selected.isEmpty()) {
        try {
            chosen = &services_.captureDevices->findByName(
                selected.front()->text().toStdString().c_str());
        } catch (const AudioError&) {
            chosen = nullptr;
        }
    }
    QStringList names;
    const CaptureDevice* stillThere = nullptr;
    for (const CaptureDevice* device : services_.captureDevices->listAgain()) {
        names.append(QString::fromStdString(device->name()));
        if (device == chosen) {
            stillThere = device;
        }
    }
    QStringList shown;
    for (int row = 0; row < list->count(); ++row) {
        shown.append(list->item(row)->text());
    }
    names.sort();
    shown.sort();
    if (names == shown && (chosen == nullptr || stillThere != nullptr)) {
        return;
    }
    list->clear();
    for (const QString& name : names) {
        auto* item = new QListWidgetItem(name);
        list->addItem(item);
        if (stillThere != nullptr && name == QString::fromStdString(stillThere->name())) {
            list->setCurrentItem(item);
        }
    }
}

void ExamRecorderDialog::setReadyForExam() {
    session_.examRunning.store(false);

    applyExamControls(ExamStep::SessionEstablished, *this);
    for (ControlId id : {ControlId::KimEntry, ControlId::KimLabel, ControlId::KimOk}) {
        control(id)->show();
    }
    for (ControlId id :
         {ControlId::KimRepeatEntry, ControlId::KimRepeatLabel, ControlId::KimRepeatOk}) {
        control(id)->hide();
    }
    control<QPushButton>(ControlId::KimOk)->setDefault(true);
    control<QPushButton>(ControlId::KimRepeatOk)->setDefault(false);

    auto* level = control<QSlider>(ControlId::LevelSlider);
    level->setRange(0, 100);
    level->setValue(100);
}
