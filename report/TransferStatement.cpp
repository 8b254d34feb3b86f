#include "report/TransferStatement.h"

#include <QRegularExpression>
#include <optional>
#include <vector>

#include "base/FileProblem.h"
#include "report/AnswerAudit.h"
#include "report/Cp1251TextFile.h"
#include "report/FileDigest.h"
#include "report/StatementText.h"
#include "report/WorkList.h"
#include "session/OutFolder.h"

namespace {

constexpr std::size_t readChunkBytes = 32'768;

StatementStatus statusOf(const SystemError& openError) {
    return openError.kind == SystemError::Kind::HeldElsewhere ? StatementStatus::HeldElsewhere
                                                              : StatementStatus::CannotWrite;
}

}  // namespace

bool areStatementCodes(const SessionCodes& codes) {
    // Anchored whole: a plain "$" would let a final line feed through.
    static const QRegularExpression site(QRegularExpression::anchoredPattern("[0-9]{4}"));
    static const QRegularExpression classroom(QRegularExpression::anchoredPattern("[0-9]{3}"));
    static const QRegularExpression subject(QRegularExpression::anchoredPattern("eng|nem|fra|isp"));
    return site.match(codes.site).hasMatch() && classroom.match(codes.classroom).hasMatch() &&
           subject.match(codes.subject).hasMatch();
}

QString statementFileName(const SessionCodes& codes) {
    return reportFileName(codes, QStringLiteral("htm"));
}

QString checksumListFileName(const SessionCodes& codes) {
    return reportFileName(codes, QStringLiteral("crc"));
}

StatementResult writeTransferStatement(const SessionCodes& codes,
                                       const StatementProgress& progress) {
    if (!areStatementCodes(codes)) {
        return {StatementStatus::InvalidCodes, {}};
    }
    const std::optional<QStringList> workList = readWorkList(QString::fromLatin1(kOutFolder));
    if (!workList) {
        return {StatementStatus::OutFolderUnreadable, {}};
    }
    const QString statementPath = statementFileName(codes);
    Cp1251TextFile statement(statementPath);
    if (!statement.isOpen()) {
        return {statusOf(statement.error()), {}};
    }
    Cp1251TextFile checksums(checksumListFileName(codes));
    if (!checksums.isOpen()) {
        return {statusOf(checksums.error()), {}};
    }

    statement.write(statementHead(codes));
    std::vector<unsigned char> buffer(readChunkBytes);
    for (qsizetype row = 0; row < workList->size(); ++row) {
        const QString& name = workList->at(row);
        const std::optional<FileDigest> digest = digestFile(inOutFolder(name), buffer);
        checksums.write(checksumLine(name, digest));
        const QString notes = auditNotes(*workList, row, codes.subject, digest);
        statement.write(statementRow(static_cast<int>(row + 1), name, digest, notes));
        if (progress) {
            progress(row + 1, workList->size());
        }
    }
    statement.write(statementTail());

    const bool statementWritten = statement.finish();
    const bool checksumsWritten = checksums.finish();
    if (!statementWritten || !checksumsWritten) {
        return {StatementStatus::CannotWrite, {}};
    }
    return {StatementStatus::Written, statementPath};
}

QString statementFailureMessage(StatementStatus status) {
    switch (status) {
        case StatementStatus::OutFolderUnreadable:
            return QStringLiteral("Нет доступа к папке out");
        case StatementStatus::HeldElsewhere:
            return withFileAdvice(QStringLiteral("Не могу создать файл отчёта"),
                                  SystemError::Kind::HeldElsewhere);
        case StatementStatus::InvalidCodes:
        case StatementStatus::CannotWrite:
        case StatementStatus::Written:
            break;
    }
    return QStringLiteral("Не могу создать файл отчёта");
}
