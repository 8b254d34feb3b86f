#include "report/StatementText.h"

#include <QByteArray>

#include "report/AnswerFileName.h"

namespace {

// The size written for a file that could not be read: it was never measured.
long long sizeOf(const std::optional<FileDigest>& digest) {
    return digest ? static_cast<long long>(digest->size) : -1;
}

QByteArray utf8(QStringView text) {
    return text.toUtf8();
}

}  // namespace

QString statementHead(const SessionCodes& codes) {
    return QStringLiteral(
               "<html>\n"
               "<style type=\"text/css\">\n"
               "body {FONT-FAMILY: Arial, Helvetica, Verdana; text-decoration: none; "
               "background-color:#fdfdff;margin:0;padding:0;}\n"
               "table { border-collapse: collapse ; border-color:#aaaaaa}\n"
               "td { text-align: center; padding:5px;}\n"
               "td.l { text-align: left}\n"
               "tr.ok { background-color:#ccffcc }\n"
               "tr.err { background-color:#ffcccc }\n"
               "tr.y { background-color:#eeeebb }\n"
               "td.little { font-size:8pt}\n"
               "</style>\n"
               "<meta http-equiv=\"Content-Type\" content=\"text/html; charset=windows-1251\">"
               "<h3>\n") +
           QString::asprintf(
               "КодППЭ: <font color=red>%s</font> &nbsp; &nbsp; &nbsp; &nbsp; "
               "&nbsp; КодАудитории: <font color=red>%s</font> &nbsp; &nbsp; "
               "&nbsp; &nbsp; &nbsp; КодПредмета: <font color=red>%s</font><br>\n",
               utf8(codes.site).constData(), utf8(codes.classroom).constData(),
               utf8(codes.subject).constData()) +
           QStringLiteral(
               "Ведомость передачи материалов из аудитории руководителю ППЭ\n"
               "</h3>\n"
               "<table border=1>\n"
               "<tr class=\"y\"><th> # <th> Имя файла <th> Размер файла <th> Номер КИМ <th> "
               "Примечание");
}

QString statementRow(int rowNumber, const QString& name, const std::optional<FileDigest>& digest,
                     const QString& notes) {
    const QString sizeCell = QString::asprintf("<td> %lld ", sizeOf(digest));
    return QString::asprintf(
        "<tr %s><td rowspan=%d> %d <td class=\"l little\"><nobr>%s</nobr>%s <td rowspan=%d> "
        "<b>%s</b> <td rowspan=%d class=\"l little\"> %s",
        notes.isEmpty() ? " class=\"ok\"" : " class=\"err\"", 1, rowNumber, utf8(name).constData(),
        utf8(sizeCell).constData(), 1, utf8(answer_file_name::kim(name)).constData(), 1,
        notes.isEmpty() ? "&bull;" : utf8(notes).constData());
}

QString statementTail() {
    return QStringLiteral(
        "</table>"
        "<br><h3><nobr>Ответственный организатор в аудитории ____________ / ____________ "
        "</nobr></h3>"
        "</html>");
}

QString checksumLine(const QString& name, const std::optional<FileDigest>& digest) {
    return QString::asprintf("%s;%x;%lld\n", utf8(name).constData(), digest ? digest->checksum : 0u,
                             sizeOf(digest));
}
