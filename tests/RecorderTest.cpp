#include "RecorderTest.h"

#include <QDir>

#include "base/ProcessExit.h"

void RecorderTest::SetUp() {
    ASSERT_TRUE(workingDir_.isValid());
    previousFolder_ = QDir::currentPath();
    ASSERT_TRUE(QDir::setCurrent(workingDir_.path()));

    setMessageHandler([this](const MessageRequest& request) {
        boxes.push_back(request);
        if (request.buttons == MessageButtons::Ok) {
            return MessageAnswer::Ok;
        }
        if (answers_.empty()) {
            ADD_FAILURE() << "unexpected question: " << request.text.toStdString();
            return MessageAnswer::No;
        }
        const MessageAnswer answer = answers_.front();
        answers_.pop_front();
        return answer;
    });
    setExitHandler([](int status) { throw ExitRequested{status}; });
}

void RecorderTest::TearDown() {
    setMessageHandler({});
    setExitHandler({});
    QDir::setCurrent(previousFolder_);
    EXPECT_TRUE(answers_.empty()) << "scripted answers left unused";
}

bool operator==(const MessageRequest& shown, const Box& expected) {
    return shown.text == expected.text && shown.caption == expected.caption &&
           shown.icon == expected.icon && shown.buttons == expected.buttons;
}

void PrintTo(const Box& box, std::ostream* out) {
    *out << '"' << box.caption.toStdString() << "\" \"" << box.text.toStdString() << "\" icon "
         << static_cast<int>(box.icon) << (box.buttons == MessageButtons::Ok ? " Ok" : " YesNo");
}

void PrintTo(const MessageRequest& shown, std::ostream* out) {
    PrintTo(Box{shown.text, shown.caption, shown.icon, shown.buttons}, out);
}
