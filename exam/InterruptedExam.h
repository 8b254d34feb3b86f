// Reads the exam journal at start: whether the last exam it records was cut off before its end,
// and which participants' answers were then left unfinished or unsaved.
#pragma once

#include <QByteArrayView>
#include <QDateTime>
#include <QString>
#include <QStringList>
#include <optional>

struct InterruptedExam {
    QString allFile;      // the exam's ALL file, without folder
    QDateTime lastEvent;  // local time of the exam's last line in the journal
    // Answers being recorded, or recorded and not saved since, at the cut: each KIM number
    // once, in the order their recording first started.
    QStringList kims;
};

// The last exam of `journal` when it has no end; nothing for no exam or an ended one. Lines cut
// off by a power cut or otherwise malformed are passed over, never a failure.
std::optional<InterruptedExam> lastUnendedExam(QByteArrayView journal);

// The same over the journal in `outFolder`, told only while that exam's ALL file is still
// there. A journal that is missing, unreadable or not a regular file tells nothing.
std::optional<InterruptedExam> findInterruptedExam(const QString& outFolder);

// The box's text and caption that tell the organiser of `exam`.
QString interruptedExamText(const InterruptedExam& exam);
inline constexpr char interruptedExamCaption[] = "Экзамен был прерван";
