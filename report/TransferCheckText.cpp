#include "report/TransferCheckText.h"

#include <algorithm>

namespace {

// A list's name comes from the folder: no control character of it reaches a terminal.
QString printable(QString name) {
    for (QChar& c : name) {
        if (c.category() == QChar::Other_Control) {
            c = u'?';
        }
    }
    return name;
}

}  // namespace

QString verdictText(const CheckedFile& file) {
    switch (file.verdict) {
        case CheckVerdict::Matches:
            return QStringLiteral("совпадает");
        case CheckVerdict::SizeDiffers:
            return QStringLiteral("размер отличается: в списке %1 байт, у файла %2 байт")
                .arg(file.listedSize)
                .arg(file.foundSize);
        case CheckVerdict::ChecksumDiffers:
            return QStringLiteral("контрольная сумма отличается");
        case CheckVerdict::Missing:
            return QStringLiteral("файла нет");
        case CheckVerdict::Unreadable:
            return QStringLiteral("файл не читается");
        case CheckVerdict::NotAFile:
            return QStringLiteral("это не обычный файл (папка, ссылка или устройство)");
        case CheckVerdict::UnreadableWhenListed:
            return QStringLiteral("файл не читался, когда составлялся список: сверить не с чем");
        case CheckVerdict::Unlisted:
            break;
    }
    return QStringLiteral("нет ни в одном списке");
}

QString checkedFileLine(const CheckedFile& file) {
    return file.name + QStringLiteral(": ") + verdictText(file);
}

QString checkGroupHeading(const CheckedFile& file) {
    return file.list.isEmpty() ? QStringLiteral("Файлы ответов, которых нет в списках:")
                               : QStringLiteral("Список %1:").arg(printable(file.list));
}

QString checkTotalLine(const std::vector<CheckedFile>& files) {
    const auto count = [&files](std::initializer_list<CheckVerdict> verdicts) {
        return std::count_if(files.begin(), files.end(), [&](const CheckedFile& file) {
            return std::find(verdicts.begin(), verdicts.end(), file.verdict) != verdicts.end();
        });
    };
    const auto unlisted = count({CheckVerdict::Unlisted});
    return QStringLiteral(
               "Итого: в списках %1, совпадают %2, отличаются %3, нет %4, не читаются %5, не "
               "читались при составлении списка %6, нет в списках %7")
        .arg(static_cast<qsizetype>(files.size()) - unlisted)
        .arg(count({CheckVerdict::Matches}))
        .arg(count({CheckVerdict::SizeDiffers, CheckVerdict::ChecksumDiffers}))
        .arg(count({CheckVerdict::Missing}))
        .arg(count({CheckVerdict::Unreadable, CheckVerdict::NotAFile}))
        .arg(count({CheckVerdict::UnreadableWhenListed}))
        .arg(unlisted);
}

QStringList checkFailureLines(const TransferCheckResult& result, const QString& folder) {
    switch (result.status) {
        case CheckStatus::FolderUnreadable:
            return {QStringLiteral("нет доступа к папке %1").arg(printable(folder))};
        case CheckStatus::NoList:
            return {QStringLiteral("в папке %1 нет списка контрольных сумм report_*.crc")
                        .arg(printable(folder))};
        case CheckStatus::Cancelled:
            return {QStringLiteral("проверка отменена")};
        case CheckStatus::ListUnusable:
        case CheckStatus::Checked:
            break;
    }
    QStringList lines;
    for (const ListFault& fault : result.faults) {
        // One pass over the pattern: a "%2" inside a name stays as it is.
        lines << (fault.line > 0
                      ? QStringLiteral("%1, строка %2: %3")
                            .arg(printable(fault.list), QString::number(fault.line), fault.reason)
                      : QStringLiteral("%1: %2").arg(printable(fault.list), fault.reason));
    }
    return lines;
}
