#include "report/TransferCheck.h"

#include <QDir>
#include <QFile>
#include <QSet>
#include <optional>

#include "platform/File.h"
#include "platform/FileName.h"
#include "report/ChecksumList.h"
#include "report/FileDigest.h"
#include "report/WorkList.h"

namespace {

// Larger than the statement's chunks: the check reads whole sets, and so reads as cat does.
constexpr std::size_t readChunkBytes = 131'072;

// All of an open file, or nothing when reading fails or it holds more than `limit` bytes.
std::optional<QByteArray> readAll(File& file, qint64 limit) {
    QByteArray bytes;
    unsigned char chunk[65536];
    for (;;) {
        const std::int64_t count = file.read(chunk);
        if (count < 0 || bytes.size() + count > limit) {
            return std::nullopt;
        }
        if (count == 0) {
            return bytes;
        }
        bytes.append(reinterpret_cast<const char*>(chunk), static_cast<qsizetype>(count));
    }
}

CheckVerdict verdictOf(const ListedFile& listed, const DigestOutcome& found) {
    if (listed.size < 0) {
        return CheckVerdict::UnreadableWhenListed;
    }
    if (!found.digest) {
        switch (found.failure) {
            case DigestFailure::Missing:
                return CheckVerdict::Missing;
            case DigestFailure::NotRegularFile:
                return CheckVerdict::NotAFile;
            case DigestFailure::Unreadable:
                break;
        }
        return CheckVerdict::Unreadable;
    }
    if (found.digest->size != listed.size) {
        return CheckVerdict::SizeDiffers;
    }
    return found.digest->checksum == listed.checksum ? CheckVerdict::Matches
                                                     : CheckVerdict::ChecksumDiffers;
}

}  // namespace

struct TransferCheck::Entry {
    QString list;
    ListedFile listed;
};

QString TransferCheck::path(const QString& name) const {
    return folder_ + QLatin1Char('/') + name;
}

std::vector<ListFault> TransferCheck::readList(const QString& list,
                                               std::vector<Entry>& entries) const {
    File file = File::open(filePath(path(list)), File::Access::Read);
    if (!file.isOpen()) {
        return {{list, 0,
                 file.error().kind == SystemError::Kind::NotARegularFile
                     ? QStringLiteral("это не обычный файл")
                     : QStringLiteral("список не читается")}};
    }
    const std::optional<QByteArray> bytes = readAll(file, maxListBytes);
    if (!bytes) {
        return {{list, 0,
                 QStringLiteral("список не читается или длиннее %1 МиБ").arg(maxListBytes >> 20)}};
    }
    const ChecksumList parsed = parseChecksumList(*bytes);
    std::vector<ListFault> faults;
    for (const ListProblem& problem : parsed.problems) {
        faults.push_back({list, problem.line, problem.reason});
    }
    if (parsed.problemsLeftOut > 0) {
        faults.push_back(
            {list, 0, QStringLiteral("и ещё ошибочных строк: %1").arg(parsed.problemsLeftOut)});
    }
    for (const ListedFile& listed : parsed.files) {
        entries.push_back({list, listed});
    }
    return faults;
}

TransferCheckResult TransferCheck::run(const CheckProgress& progress,
                                       const std::atomic<bool>* cancel) const {
    const std::optional<QStringList> answers = readWorkList(folder_);
    if (!answers) {
        return {CheckStatus::FolderUnreadable, {}, {}};
    }
    const QStringList lists = QDir(folder_).entryList(
        {QStringLiteral("report_*.crc")},
        QDir::AllEntries | QDir::System | QDir::Hidden | QDir::NoDotAndDotDot | QDir::CaseSensitive,
        QDir::Name);
    if (lists.isEmpty()) {
        return {CheckStatus::NoList, {}, {}};
    }
    std::vector<Entry> entries;
    std::vector<ListFault> faults;
    for (const QString& list : lists) {
        std::vector<ListFault> listFaults = readList(list, entries);
        faults.insert(faults.end(), listFaults.begin(), listFaults.end());
    }
    if (!faults.empty()) {
        return {CheckStatus::ListUnusable, {}, faults};
    }

    TransferCheckResult result;
    QSet<QString> listedNames;
    std::vector<unsigned char> buffer(readChunkBytes);
    const auto count = static_cast<qsizetype>(entries.size());
    for (qsizetype done = 0; done < count; ++done) {
        if (cancel != nullptr && cancel->load()) {
            return {CheckStatus::Cancelled, {}, {}};
        }
        const auto& [list, listed] = entries[static_cast<std::size_t>(done)];
        listedNames.insert(listed.name);
        DigestOutcome found;
        if (listed.size >= 0) {
            found = digestRegularFile(path(listed.name), buffer);
        }
        result.files.push_back({listed.name, list, verdictOf(listed, found), listed.size,
                                found.digest ? found.digest->size : 0});
        if (progress) {
            progress(done + 1, count);
        }
    }
    for (const QString& name : *answers) {
        if (!listedNames.contains(name)) {
            result.files.push_back({name, {}, CheckVerdict::Unlisted, 0, 0});
        }
    }
    return result;
}
