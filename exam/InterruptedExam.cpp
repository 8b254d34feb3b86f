#include "exam/InterruptedExam.h"

#include <QByteArray>
#include <QFile>
#include <QFileInfo>
#include <QStringDecoder>
#include <algorithm>
#include <vector>

#include "exam/ExamJournal.h"
#include "platform/File.h"
#include "platform/FileName.h"

namespace {

using exam_journal::Event;

// A journal grows by a few lines per answer; a larger one is read from its end, which holds the
// last exam.
constexpr qsizetype maxJournalBytes = qsizetype{16} * 1024 * 1024;

struct Line {
    // Local date and time; a QDateTime per line would cost its time zone look-up each time.
    QDate date;
    QTime time;
    Event event = Event::ExamEnded;
    QString kim;   // answer events
    QString file;  // exam start and answer events
};

bool isBareName(const QString& name) {
    return !name.isEmpty() && name != QLatin1String(".") && name != QLatin1String("..") &&
           std::none_of(name.begin(), name.end(), [](QChar c) {
               return c == QLatin1Char('/') || c.unicode() < 0x20 || c.unicode() == 0x7f;
           });
}

bool isKim(const QString& kim) {
    return kim.size() == 7 && std::all_of(kim.begin(), kim.end(), [](QChar c) {
               return c >= QLatin1Char('0') && c <= QLatin1Char('9');
           });
}

// "<length> с\t<ALL file>\t<time>", then for an answer "\tКИМ <kim>\t<answer file>\t<time>".
bool isAudioLost(const QStringList& fields) {
    const QString prefix = QString::fromUtf8(exam_journal::kimPrefix);
    const bool exam = fields.size() >= 5 && fields[2].endsWith(QStringLiteral(" с")) &&
                      isBareName(fields[3]) && !fields[4].isEmpty();
    if (fields.size() == 5) {
        return exam;
    }
    return exam && fields.size() == 8 && fields[5].startsWith(prefix) &&
           isKim(fields[5].mid(prefix.size())) && isBareName(fields[6]) && !fields[7].isEmpty();
}

// "yyyy-MM-dd HH:mm:ss" read by hand into `line`: Qt's parse of a format would cost a start
// with a long journal whole seconds. False when it is not a valid time of that shape.
bool readTime(const QString& text, Line& line) {
    static constexpr char shape[] = "0000-00-00 00:00:00";
    if (text.size() != qsizetype(sizeof shape) - 1) {
        return false;
    }
    int number[6] = {};
    int n = 0;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        if (shape[i] != '0') {
            if (c != QLatin1Char(shape[i])) {
                return false;
            }
            ++n;
        } else if (c < QLatin1Char('0') || c > QLatin1Char('9')) {
            return false;
        } else {
            number[n] = number[n] * 10 + (c.unicode() - '0');
        }
    }
    line.date = QDate(number[0], number[1], number[2]);
    line.time = QTime(number[3], number[4], number[5]);
    return line.date.isValid() && line.time.isValid();
}

// One line of the journal; nothing for a cut or malformed one.
std::optional<Line> parseLine(QByteArrayView bytes) {
    // A journal copied through a Windows editor ends its lines in CR LF.
    if (bytes.endsWith('\r')) {
        bytes.chop(1);
    }
    QStringDecoder decoder(QStringDecoder::Utf8);
    const QString text = decoder.decode(bytes);
    if (decoder.hasError()) {
        return std::nullopt;
    }
    const QStringList fields = text.split(QLatin1Char('\t'));
    Line line;
    if (fields.size() < 2) {
        return std::nullopt;
    }
    if (!readTime(fields[0], line)) {
        return std::nullopt;
    }
    for (const Event event : {Event::ExamStarted, Event::AnswerStarted, Event::AnswerStopped,
                              Event::AnswerSaved, Event::ExamEnded, Event::AudioLost}) {
        if (fields[1] != exam_journal::wordOf(event)) {
            continue;
        }
        line.event = event;
        switch (event) {
            case Event::ExamEnded:
                return fields.size() == 2 ? std::optional(line) : std::nullopt;
            case Event::AudioLost:
                // An event of the exam, not of its answers: the KIM number it may name is the
                // answer's own line's to tell.
                return isAudioLost(fields) ? std::optional(line) : std::nullopt;
            case Event::ExamStarted:
                line.file = fields.value(2);
                return fields.size() == 3 && isBareName(line.file) ? std::optional(line)
                                                                   : std::nullopt;
            default: {
                const QString prefix = QString::fromUtf8(exam_journal::kimPrefix);
                if (fields.size() != 4 || !fields[2].startsWith(prefix)) {
                    return std::nullopt;
                }
                line.kim = fields[2].mid(prefix.size());
                line.file = fields[3];
                return isKim(line.kim) && isBareName(line.file) ? std::optional(line)
                                                                : std::nullopt;
            }
        }
    }
    return std::nullopt;
}

// The journal's last `maxJournalBytes` at most, never through a link or from a FIFO.
std::optional<QByteArray> readJournal(const QString& path) {
    File file = File::open(filePath(path), File::Access::Read);
    const std::int64_t size = file.size();
    if (size < 0) {
        return std::nullopt;
    }
    const std::int64_t start = std::max<std::int64_t>(0, size - maxJournalBytes);
    QByteArray bytes(static_cast<qsizetype>(size - start), Qt::Uninitialized);
    qsizetype done = 0;
    while (done < bytes.size()) {
        auto* into = reinterpret_cast<unsigned char*>(bytes.data()) + done;
        const std::int64_t got = file.readAt(
            start + done, std::span(into, static_cast<std::size_t>(bytes.size() - done)));
        if (got <= 0) {
            // Shrunk or unreadable: what was read is still worth reading.
            bytes.truncate(done);
            break;
        }
        done += static_cast<qsizetype>(got);
    }
    if (start > 0) {
        // Begins inside a line.
        bytes.remove(0, bytes.indexOf('\n') + 1);
    }
    return bytes;
}

}  // namespace

std::optional<InterruptedExam> lastUnendedExam(QByteArrayView journal) {
    std::optional<InterruptedExam> exam;
    Line last;
    bool ended = true;
    // KIM numbers of the exam in the order first recorded, each with whether it is saved now.
    std::vector<std::pair<QString, bool>> answers;
    qsizetype from = 0;
    while (from < journal.size()) {
        qsizetype end = journal.indexOf('\n', from);
        if (end < 0) {
            end = journal.size();
        }
        const std::optional<Line> line = parseLine(journal.sliced(from, end - from));
        from = end + 1;
        if (!line || (ended && line->event != Event::ExamStarted)) {
            // Events with no exam of their own: their start line was lost.
            continue;
        }
        if (line->event == Event::ExamStarted) {
            exam = InterruptedExam{line->file, {}, {}};
            answers.clear();
        }
        ended = line->event == Event::ExamEnded;
        last = *line;
        if (line->kim.isEmpty() || line->event == Event::AnswerStopped) {
            continue;
        }
        const bool saved = line->event == Event::AnswerSaved;
        auto known = std::find_if(answers.begin(), answers.end(),
                                  [&](const auto& answer) { return answer.first == line->kim; });
        if (known != answers.end()) {
            known->second = saved;
        } else if (!saved) {
            answers.emplace_back(line->kim, false);
        }
    }
    if (ended) {
        return std::nullopt;
    }
    exam->lastEvent = QDateTime(last.date, last.time);
    for (const auto& [kim, saved] : answers) {
        if (!saved) {
            exam->kims.append(kim);
        }
    }
    return exam;
}

std::optional<InterruptedExam> findInterruptedExam(const QString& outFolder) {
    const std::optional<QByteArray> journal =
        readJournal(outFolder + QLatin1Char('/') + QLatin1String(examJournalName));
    if (!journal) {
        return std::nullopt;
    }
    std::optional<InterruptedExam> exam = lastUnendedExam(*journal);
    if (!exam || !QFileInfo::exists(outFolder + QLatin1Char('/') + exam->allFile)) {
        return std::nullopt;
    }
    return exam;
}

QString interruptedExamText(const InterruptedExam& exam) {
    QString text =
        QStringLiteral(
            "Предыдущий экзамен был прерван: файл записи экзамена %1, последнее "
            "событие %2.\n\n")
            .arg(exam.allFile, exam.lastEvent.toString(QStringLiteral("dd.MM.yyyy HH:mm:ss")));
    if (exam.kims.isEmpty()) {
        return text + QStringLiteral("Все записанные ответы были сохранены.");
    }
    return text +
           QStringLiteral(
               "Ответы участников экзамена с этими номерами КИМ записывались в момент сбоя или "
               "были записаны, но не сохранены:\n\n%1\n\nЗапишите ответы этих участников экзамена "
               "заново.")
               .arg(exam.kims.join(QLatin1Char('\n')));
}
