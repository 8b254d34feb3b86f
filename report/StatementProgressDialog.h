// The progress of a statement run over a large out folder: a window-modal dialog counting the
// answer files, shown only when the run lasts longer than `showAfter`. It cannot cancel the run.
#pragma once

#include <QProgressDialog>
#include <chrono>

#include "report/TransferStatement.h"

class StatementProgressDialog {
public:
    static constexpr std::chrono::milliseconds defaultShowAfter{500};

    explicit StatementProgressDialog(QWidget* owner,
                                     std::chrono::milliseconds showAfter = defaultShowAfter);

    // What the run reports its progress to; valid while this object lives.
    StatementProgress progress();

    // Whether the dialog has been on screen during the run.
    bool wasShown() const { return wasShown_; }

private:
    QProgressDialog dialog_;
    bool wasShown_ = false;
};
