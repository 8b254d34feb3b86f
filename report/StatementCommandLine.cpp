#include "report/StatementCommandLine.h"

#include "report/CommandLineOutput.h"
#include "report/TransferStatement.h"

int runStatementCommandLine(const QStringList& arguments, std::FILE* out, std::FILE* err,
                            KimRegister::Allocator allocate) {
    const SessionCodes codes = arguments.size() == 3
                                   ? SessionCodes{arguments[0], arguments[1], arguments[2]}
                                   : SessionCodes{};
    if (!areStatementCodes(codes)) {
        printError(err, QStringLiteral("--statement ждёт три кода: ППЭ (4 цифры), аудитория "
                                       "(3 цифры) и предмет (eng, nem, fra или isp)"));
        return 1;
    }
    if (!(allocate != nullptr ? KimRegister::build(allocate) : KimRegister::build())) {
        printError(err, QStringLiteral("не хватает памяти для таблицы допустимых номеров КИМ"));
        return 1;
    }
    const StatementResult result = writeTransferStatement(codes);
    if (result.status != StatementStatus::Written) {
        printError(err, statementFailureMessage(result.status));
        return 1;
    }
    printLine(out, result.statementPath);
    return 0;
}
