// Base fixture of the recorder's tests: one QApplication for the binary (made in main), a fresh
// working folder per test, and scripted answers for every message box and process exit.
#pragma once

#include <gtest/gtest.h>

#include <QString>
#include <QTemporaryDir>
#include <deque>
#include <ostream>
#include <vector>

#include "base/MessageBox.h"

// Failed checks show texts as the organiser would read them.
inline void PrintTo(const QString& text, std::ostream* out) {
    *out << '"' << text.toStdString() << '"';
}

// Thrown in place of ending the process, so a test can see the exit status.
struct ExitRequested {
    int status;
};

class RecorderTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // The answer to give the next Yes/No box; OK boxes are answered by themselves.
    void answerNext(MessageAnswer answer) { answers_.push_back(answer); }

    // Every box shown during the test, in order.
    std::vector<MessageRequest> boxes;
    QString workingFolder() const { return workingDir_.path(); }

private:
    QTemporaryDir workingDir_;
    QString previousFolder_;
    std::deque<MessageAnswer> answers_;
};

// Runs `statement` and returns the status it tried to end the process with; fails the test when
// the statement returns instead.
template <typename Statement>
int exitStatusOf(Statement&& statement) {
    try {
        statement();
    } catch (const ExitRequested& exit) {
        return exit.status;
    }
    ADD_FAILURE() << "expected the process to end";
    return -1;
}
