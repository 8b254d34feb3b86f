// What the exam's steps take from the main window: its controls, the owner of the boxes they
// show, the state shared with the recording thread, the session's codes and the longest answer.
#pragma once

#include <cstdint>

#include "res/ControlIds.h"

class QWidget;
struct ExamSessionState;
struct SessionCodes;

// Window's thread only, but for the shared state's own rules.
class ExamWindow {
public:
    // Never null for an id of ControlIds.h.
    virtual QWidget* control(ControlId id) const = 0;
    template <typename Widget>
    Widget* control(ControlId id) const {
        return qobject_cast<Widget*>(control(id));
    }
    virtual QWidget* boxOwner() = 0;
    virtual ExamSessionState& session() = 0;
    virtual const SessionCodes& sessionCodes() const = 0;
    // 0: no limit.
    virtual std::int32_t maxAnswerSeconds() const = 0;

protected:
    ~ExamWindow() = default;
};
