#include "exam/ExamJournal.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QByteArray>
#include <QDateTime>
#include <cerrno>
#include <utility>

namespace exam_journal {

QString wordOf(Event event) {
    switch (event) {
        case Event::ExamStarted:
            return QStringLiteral("начат экзамен");
        case Event::AnswerStarted:
            return QStringLiteral("начата запись ответа");
        case Event::AnswerStopped:
            return QStringLiteral("остановлена запись ответа");
        case Event::AnswerSaved:
            return QStringLiteral("сохранён ответ");
        case Event::ExamEnded:
            break;
    }
    return QStringLiteral("закончен экзамен");
}

}  // namespace exam_journal

namespace {

using exam_journal::Event;

// A field as the journal keeps it: the bare name, with nothing that could end the field or the
// line early.
QString field(const QString& text) {
    QString bare = text.mid(text.lastIndexOf(QLatin1Char('/')) + 1);
    for (QChar& c : bare) {
        if (c.unicode() < 0x20 || c.unicode() == 0x7f) {
            c = QLatin1Char('?');
        }
    }
    return bare;
}

QString answerFields(const QString& kim, const QString& answerFile) {
    return QLatin1Char('\t') + QString::fromUtf8(exam_journal::kimPrefix) + field(kim) +
           QLatin1Char('\t') + field(answerFile);
}

}  // namespace

ExamJournal::ExamJournal(FailureReport reportFailure, std::string path, LocalClock clock)
    : reportFailure_(std::move(reportFailure)),
      path_(std::move(path)),
      clock_(clock ? std::move(clock) : systemClock()) {}

void ExamJournal::examStarted(const QString& allFile) {
    append(Event::ExamStarted, QLatin1Char('\t') + field(allFile));
}

void ExamJournal::answerStarted(const QString& kim, const QString& answerFile) {
    append(Event::AnswerStarted, answerFields(kim, answerFile));
}

void ExamJournal::answerStopped(const QString& kim, const QString& answerFile) {
    append(Event::AnswerStopped, answerFields(kim, answerFile));
}

void ExamJournal::answerSaved(const QString& kim, const QString& answerFile) {
    append(Event::AnswerSaved, answerFields(kim, answerFile));
}

void ExamJournal::examEnded() {
    append(Event::ExamEnded, {});
}

QString ExamJournal::failureText() const {
    return QString::asprintf(
        "Ошибка записи журнала экзамена %s. Запись экзамена продолжается, но после сбоя "
        "программа не сможет назвать ответы, которые нужно записать заново.",
        path_.c_str());
}

void ExamJournal::append(Event event, const QString& fields) {
    const QString line = clock_().toString(QString::fromLatin1(exam_journal::timeFormat)) +
                         QLatin1Char('\t') + exam_journal::wordOf(event) + fields +
                         QLatin1Char('\n');
    if (!writeLine(line.toUtf8()) && !failureTold_.exchange(true) && reportFailure_) {
        reportFailure_(failureText());
    }
}

int ExamJournal::openedFile() {
    const int opened = openFd_.load(std::memory_order_acquire);
    if (opened >= 0) {
        return opened;
    }
    const std::lock_guard lock(openMutex_);
    if (file_.isOpen()) {
        return file_.get();
    }
    // Never through a link, never waiting on a FIFO put in its place; read-write so the last
    // byte of an earlier run can be looked at.
    int fd = -1;
    do {
        fd = ::open(path_.c_str(),
                    O_RDWR | O_APPEND | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0644);
    } while (fd < 0 && errno == EINTR);
    FileDescriptor file(fd);
    struct stat status {};
    if (!file.isOpen() || ::fstat(file.get(), &status) != 0 || !S_ISREG(status.st_mode)) {
        return -1;
    }
    char last = '\n';
    if (status.st_size > 0 && ::pread(file.get(), &last, 1, status.st_size - 1) != 1) {
        return -1;
    }
    lineOpen_.store(last != '\n');
    file_ = std::move(file);
    openFd_.store(file_.get(), std::memory_order_release);
    return file_.get();
}

bool ExamJournal::writeLine(QByteArray line) {
    const int fd = openedFile();
    if (fd < 0) {
        return false;
    }
    if (lineOpen_.exchange(false)) {
        line.prepend('\n');
    }
    // One write per line: appends from two threads then never mix within a line.
    ssize_t written = -1;
    do {
        written = ::write(fd, line.constData(), static_cast<std::size_t>(line.size()));
    } while (written < 0 && errno == EINTR);
    if (written != line.size()) {
        // Part of the line may be in the file: end it before the next one.
        lineOpen_.store(true);
        return false;
    }
    return ::fdatasync(fd) == 0;
}
