// The main window, in which the organiser runs the whole exam. It runs the start-up tests before
// it is shown, hands over to the session set-up on its first paint, and asks before it closes.
#pragma once

#include <QDialog>
#include <map>
#include <memory>

#include "app/ControlIds.h"

class StartupEnvironment;

namespace Ui {
class ExamRecorderDialog;
}

class ExamRecorderDialog : public QDialog {
    Q_OBJECT
public:
    explicit ExamRecorderDialog(QWidget* parent = nullptr);
    ~ExamRecorderDialog() override;

    // Start-up tests and notice, before the window is shown. Returns only if start-up may go
    // on; every refusal ends the process with status 1.
    void runStartupSteps(StartupEnvironment& environment);

    // The control with `id`; never null for an id of ControlIds.h.
    QWidget* control(ControlId id) const;
    template <typename Widget>
    Widget* control(ControlId id) const {
        return qobject_cast<Widget*>(control(id));
    }

    // Whether answers are played through the player library.
    bool bassAvailable() const { return bassAvailable_; }
    void setBassAvailable(bool available) { bassAvailable_ = available; }

    // "Закрыть программу?": Yes ends the process with status 1; No returns and changes nothing.
    void askToClose();

    // The "Выход" button and the dialog's own accept action both ask first.
    void accept() override;
    // Escape and every other way of cancelling the window do nothing.
    void reject() override;

signals:
    // The session set-up has started; emitted once per process, after the first paint.
    void sessionEstablishmentStarted();

protected:
    void paintEvent(QPaintEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void collectControls();
    void routeCommands();
    void onCommand(ControlId id);
    void establishSession();

    std::unique_ptr<Ui::ExamRecorderDialog> ui_;
    std::map<ControlId, QWidget*> controls_;
    bool bassAvailable_ = false;
    bool firstPaintSeen_ = false;
};
