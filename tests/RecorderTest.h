// Base fixture of the recorder's tests: one QApplication for the binary (made in main), a fresh
// working folder per test, and scripted answers for every message box and process exit.
#pragma once

#include <gtest/gtest.h>

#include <QString>
#include <QTemporaryDir>
#include <QVariant>
#include <QWidget>
#include <deque>
#include <ostream>
#include <vector>

#include "base/MessageBox.h"

// Failed checks show texts as the organiser would read them.
inline void PrintTo(const QString& text, std::ostream* out) {
    *out << '"' << text.toStdString() << '"';
}

// A box as the organiser sees it, to compare with one that was shown.
struct Box {
    QString text;
    QString caption;
    MessageIcon icon = MessageIcon::Information;
    MessageButtons buttons = MessageButtons::Ok;
};
bool operator==(const MessageRequest& shown, const Box& expected);
void PrintTo(const MessageRequest& shown, std::ostream* out);
void PrintTo(const Box& box, std::ostream* out);

// The ids (property `idName`) of the widgets Tab reaches from `first`, in order, once round.
template <typename Id>
std::vector<Id> tabChain(QWidget* first, const char* idName) {
    std::vector<Id> chain;
    QWidget* widget = first;
    do {
        const QVariant id = widget->property(idName);
        if (id.isValid() && widget->focusPolicy() & Qt::TabFocus) {
            chain.push_back(static_cast<Id>(id.toInt()));
        }
        widget = widget->nextInFocusChain();
    } while (widget != first && chain.size() < 100);
    return chain;
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
