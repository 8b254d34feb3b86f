// The exam journal's reader on any bytes: what it tells is well-formed, and a line written after
// whatever came before (the writer starts it on a line of its own) is always read.
#include <QByteArray>
#include <QSet>
#include <cstdint>

#include "FuzzCheck.h"
#include "exam/InterruptedExam.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    return runCheck([&] {
        const QByteArray journal(reinterpret_cast<const char*>(data), qsizetype(size));
        if (const auto exam = lastUnendedExam(journal)) {
            require(!exam->allFile.isEmpty() && !exam->allFile.contains('/'), "a bare ALL name");
            require(exam->lastEvent.isValid(), "a valid time");
            for (const QString& kim : exam->kims) {
                require(kim.size() == 7 &&
                            hasAnswerShape(QString("0000-000-eng_%1.mp3").arg(kim).toStdString()),
                        "seven digits");
            }
            require(QSet<QString>(exam->kims.begin(), exam->kims.end()).size() == exam->kims.size(),
                    "each KIM number once");
        }
        const auto ended = lastUnendedExam(journal + "\n2024-06-03 10:00:00\tзакончен экзамен\n");
        require(!ended, "an end after anything ends the exam");
        const auto started =
            lastUnendedExam(journal +
                            "\n2024-06-03 10:00:00\tначат экзамен\tALL.mp3\n2024-06-03 10:01:00\t"
                            "начата запись ответа\tКИМ 1234565\ta.mp3");
        require(started && started->allFile == "ALL.mp3" && started->kims == QStringList{"1234565"},
                "a start after anything begins a new exam");
    });
}
