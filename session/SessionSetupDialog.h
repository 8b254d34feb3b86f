// The modal dialog in which the organiser names the session: exam site, classroom and subject.
// It closes only with valid codes; every other way out ends the process with status 1.
#pragma once

#include <QDialog>
#include <memory>

#include "res/DialogTemplate.h"
#include "session/SessionCodes.h"

namespace Ui {
class SessionSetupDialog;
}

class SessionSetupDialog : public QDialog {
    Q_OBJECT
public:
    // Reads the site list file "ppe.txt" from the working folder; tells the organiser, in a box
    // owned by the dialog, when it cannot.
    explicit SessionSetupDialog(QWidget* parent = nullptr);
    ~SessionSetupDialog() override;

    // The confirmed session. Valid once exec() has returned, since nothing else returns from it.
    const SessionCodes& codes() const { return codes_; }

    // The control with `id`; never null for an id of SetupControlId.
    QWidget* control(SetupControlId id) const { return controls_.find(id); }
    template <typename Widget>
    Widget* control(SetupControlId id) const {
        return qobject_cast<Widget*>(control(id));
    }

    // "Выйти из программы?" under `caption`: Yes ends the process with status 1; No changes
    // nothing.
    void askToLeave(const QString& caption);

    // Confirm: checks the input and closes only when it is valid; otherwise says what is wrong.
    void accept() override;
    // Escape is asked about instead, and nothing else may cancel the dialog.
    void reject() override;

protected:
    void closeEvent(QCloseEvent* event) override;
    // Escape and Alt+F4 are caught before any control sees them: the site box would keep them.
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void fillSiteBox();
    void fillSubjectList();
    void onSiteChanged();
    QString chosenSiteText() const;

    std::unique_ptr<Ui::SessionSetupDialog> ui_;
    ControlMap<SetupControlId> controls_;
    SessionCodes codes_;
};
