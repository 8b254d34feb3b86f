#include "report/AnswerAudit.h"

#include "report/AnswerFileName.h"
#include "session/KimRegister.h"

namespace {

void appendNote(QString& notes, const char* format) {
    notes = QString::asprintf(format, notes.toUtf8().constData());
}

// One note per other site-and-classroom pair that holds the same KIM number. The sorted list
// keeps each pair's names together, so remembering the last pair named is enough.
void appendDuplicateNotes(QString& notes, const QStringList& workList, const QString& current) {
    using namespace answer_file_name;
    QStringView lastReported;
    for (const QString& other : workList) {
        const QStringView pair = siteAndClassroom(other);
        if (pair != siteAndClassroom(current) && kim(other) == kim(current) &&
            pair != lastReported) {
            notes = QString::asprintf("%s дубль КИМ в ауд %s <br>\n", notes.toUtf8().constData(),
                                      pair.toUtf8().constData());
            lastReported = pair;
        }
    }
}

}  // namespace

QString auditNotes(const QStringList& workList, qsizetype row, const QString& subject,
                   const std::optional<FileDigest>& digest) {
    using namespace answer_file_name;
    const QString& name = workList.at(row);
    QString notes;
    if (!digest) {
        appendNote(notes, "%s файл не читается <br>\n");
    }
    if (answer_file_name::subject(name) != subject) {
        appendNote(notes, "%s предмет отличается <br>\n");
    }
    appendDuplicateNotes(notes, workList, name);
    if (!KimRegister::contains(kim(name))) {
        appendNote(notes, "%s номер КИМ не найден в базе<br>\n");
    }
    if (digest && digest->size == 0) {
        appendNote(notes, "%s Пустой файл! <br>\n");
    }
    return notes;
}
