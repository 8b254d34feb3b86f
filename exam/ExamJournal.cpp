#include "exam/ExamJournal.h"

#include <QByteArray>
#include <QDateTime>
#include <QLocale>
#include <span>
#include <utility>

#include "audio/RecordingFormat.h"
#include "platform/FileName.h"

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
        case Event::FolderNotSynced:
            return QStringLiteral("папка не записана на диск");
        case Event::AudioLost:
            return QStringLiteral("потеряна часть звука");
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
    : reportFailure_(std::move(reportFailure)), path_(std::move(path)), clock_(std::move(clock)) {}

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

void ExamJournal::folderNotSynced(const QString& file) {
    append(Event::FolderNotSynced, QLatin1Char('\t') + field(file));
}

void ExamJournal::audioLost(std::uint64_t lostFrames, const exam_journal::LostAudioPlace& place) {
    const double seconds = static_cast<double>(lostFrames) / recording_format::kSampleRate;
    QString fields = QLatin1Char('\t') + QLocale(QLocale::Russian).toString(seconds, 'f', 1) +
                     QStringLiteral(" с\t") + field(place.allFile) + QLatin1Char('\t') +
                     elapsedText(place.allFrom) + QLatin1Char('-') + elapsedText(place.allTo);
    if (!place.kim.isEmpty()) {
        fields += answerFields(place.kim, place.answerFile) + QLatin1Char('\t') +
                  elapsedText(place.answerFrom) + QLatin1Char('-') + elapsedText(place.answerTo);
    }
    append(Event::AudioLost, fields);
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

File* ExamJournal::openedFile() {
    if (File* opened = openFile_.load(std::memory_order_acquire)) {
        return opened;
    }
    const std::lock_guard lock(openMutex_);
    if (file_.isOpen()) {
        return &file_;
    }
    // Never through a link, never waiting on a FIFO put in its place; readable so the last
    // byte of an earlier run can be looked at.
    File file = File::open(filePath(path_), File::Access::Append);
    const std::int64_t size = file.size();
    if (size < 0) {
        return nullptr;
    }
    unsigned char last = '\n';
    if (size > 0 && file.readAt(size - 1, std::span(&last, 1)) != 1) {
        return nullptr;
    }
    lineOpen_.store(last != '\n');
    file_ = std::move(file);
    openFile_.store(&file_, std::memory_order_release);
    return &file_;
}

bool ExamJournal::writeLine(QByteArray line) {
    File* file = openedFile();
    if (file == nullptr) {
        return false;
    }
    if (lineOpen_.exchange(false)) {
        line.prepend('\n');
    }
    // One write per line (File::write goes on only after a short write): appends from two
    // threads then never mix within a line.
    const auto* bytes = reinterpret_cast<const unsigned char*>(line.constData());
    if (!file->write(std::span(bytes, static_cast<std::size_t>(line.size())))) {
        // Part of the line may be in the file: end it before the next one.
        lineOpen_.store(true);
        return false;
    }
    return file->sync();
}
