#include "app/ExamRecorderDialog.h"

#include <QAbstractButton>
#include <QCloseEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QRegularExpressionValidator>

#include "app/StartupChecks.h"
#include "platform/MessageBox.h"
#include "platform/ProcessExit.h"
#include "ui_ExamRecorderDialog.h"

// The resources live in a static library, which Qt does not register by itself.
static void registerResources() {
    Q_INIT_RESOURCE(resources);
}

ExamRecorderDialog::ExamRecorderDialog(QWidget* parent)
    : QDialog(parent), ui_(std::make_unique<Ui::ExamRecorderDialog>()) {
    registerResources();
    ui_->setupUi(this);
    // The form's geometry is in pixels scaled from the template's dialog units, so its font is
    // fixed in pixels as well, whatever the screen's dots per inch.
    QFont templateFont = font();
    templateFont.setPixelSize(12);
    setFont(templateFont);
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                   Qt::WindowCloseButtonHint);
    // Our fonts run wider than the template's: let a static text grow to its text, not clip it.
    for (auto* label : findChildren<QLabel*>()) {
        if (!label->text().isEmpty() && label->sizeHint().width() > label->width()) {
            label->resize(label->sizeHint().width(), label->height());
        }
    }
    setFixedSize(size());
    setWindowIcon(QIcon(QStringLiteral(":/res/icon128.png")));

    collectControls();
    const auto digitsOnly = new QRegularExpressionValidator(QRegularExpression("[0-9]*"), this);
    control<QLineEdit>(ControlId::KimEntry)->setValidator(digitsOnly);
    control<QLineEdit>(ControlId::KimRepeatEntry)->setValidator(digitsOnly);
    routeCommands();
}

ExamRecorderDialog::~ExamRecorderDialog() = default;

void ExamRecorderDialog::collectControls() {
    for (QWidget* child : findChildren<QWidget*>()) {
        const QVariant id = child->property(controlIdProperty);
        if (id.isValid()) {
            controls_[static_cast<ControlId>(id.toInt())] = child;
        }
    }
}

QWidget* ExamRecorderDialog::control(ControlId id) const {
    const auto found = controls_.find(id);
    return found != controls_.end() ? found->second : nullptr;
}

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
        default:
            break;
    }
}

void ExamRecorderDialog::runStartupSteps(StartupEnvironment& environment) {
    bassAvailable_ = runStartupChecks(environment, this);
    showStartupNotice(this);
}

void ExamRecorderDialog::askToClose() {
    const MessageAnswer answer =
        showMessage(this, QStringLiteral("Закрыть программу?"), QStringLiteral("Выход"),
                    MessageIcon::Exclamation, MessageButtons::YesNo);
    if (answer == MessageAnswer::Yes) {
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
    emit sessionEstablishmentStarted();
}
