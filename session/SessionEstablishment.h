// The sequence that makes a freshly shown window ready for an exam: the KIM register, the out
// folder, the organiser's session codes, the longest answer and the sound cards, in this order.
#pragma once

#include <QString>
#include <cstdint>
#include <functional>
#include <vector>

#include "session/KimRegister.h"
#include "session/LongestAnswer.h"
#include "session/SessionCodes.h"

class CaptureDeviceRegistry;
class QWidget;

// What the sequence takes from outside, every one set; tests put scripted ones in place.
struct EstablishmentServices {
    // Runs the session set-up dialog over `owner` and returns the confirmed codes.
    std::function<SessionCodes(QWidget* owner)> runSetup;
    // Whatever must be told once the codes are confirmed, before the longest answer is read.
    std::function<void()> afterSetup;
    // The longest answer the organiser allows.
    std::function<LongestAnswer()> longestAnswer;
    // The capture devices to list.
    CaptureDeviceRegistry* captureDevices = nullptr;
    KimRegister::Allocator allocateRegister = &KimRegister::allocateZeroed;
};

// What the window shows of the session.
struct EstablishedSession {
    SessionCodes codes;
    std::int32_t maxAnswerSeconds = 0;  // 0 or less: no limit
    // The capture devices' names in the registry's order, the first to be selected; empty when
    // there is no card.
    std::vector<QString> soundCards;
};

class SessionEstablishment {
public:
    // Every box of the sequence is owned by `owner`.
    SessionEstablishment(QWidget* owner, EstablishmentServices services);

    // Runs every step once. Ends the process with status 1 where the session cannot be set up:
    // no memory for the register, an out folder that cannot be searched or written, or the
    // organiser's No to one that holds files.
    EstablishedSession run();

private:
    void buildRegister();
    void checkOutFolder();
    std::int32_t readMaxAnswerSeconds();
    std::vector<QString> soundCardNames();

    QWidget* const owner_;
    const EstablishmentServices services_;
};
