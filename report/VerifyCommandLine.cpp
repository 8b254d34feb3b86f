#include "report/VerifyCommandLine.h"

#include <algorithm>

#include "report/CommandLineOutput.h"
#include "report/TransferCheck.h"
#include "report/TransferCheckText.h"

int runVerifyCommandLine(const QStringList& arguments, std::FILE* out, std::FILE* err) {
    if (arguments.size() != 1 || arguments[0].isEmpty()) {
        printError(err, QStringLiteral("--verify ждёт одну папку с файлами ответов и списком "
                                       "контрольных сумм report_*.crc"));
        return 2;
    }
    const QString& folder = arguments[0];
    const TransferCheckResult result = TransferCheck(folder).run();
    if (result.status != CheckStatus::Checked) {
        for (const QString& line : checkFailureLines(result, folder)) {
            printError(err, line);
        }
        return 2;
    }
    const QString* group = nullptr;
    for (const CheckedFile& file : result.files) {
        if (group == nullptr || file.list != *group) {
            group = &file.list;
            printLine(out, checkGroupHeading(file));
        }
        printLine(out, checkedFileLine(file));
    }
    printLine(out, checkTotalLine(result.files));
    const bool allMatch =
        std::none_of(result.files.begin(), result.files.end(),
                     [](const CheckedFile& file) { return isFailure(file.verdict); });
    return allMatch ? 0 : 1;
}
