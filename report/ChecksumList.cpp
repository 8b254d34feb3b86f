#include "report/ChecksumList.h"

#include <QHash>
#include <algorithm>
#include <limits>
#include <optional>

#include "report/AnswerFileName.h"

namespace {

bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

std::optional<std::uint32_t> hexValue(QByteArrayView text) {
    if (text.isEmpty() || text.size() > 8) {
        return std::nullopt;
    }
    std::uint32_t value = 0;
    for (const char c : text) {
        const int digit = isDigit(c)               ? c - '0'
                          : (c >= 'a' && c <= 'f') ? c - 'a' + 10
                          : (c >= 'A' && c <= 'F') ? c - 'A' + 10
                                                   : -1;
        if (digit < 0) {
            return std::nullopt;
        }
        value = value * 16 + static_cast<std::uint32_t>(digit);
    }
    return value;
}

// Why a name field is not a bare answer-file name, or nothing when it is one.
std::optional<QString> nameProblem(QByteArrayView field) {
    if (field.contains('/') || field.contains('\\')) {
        return QStringLiteral("имя файла содержит путь");
    }
    if (field.size() > answer_file_name::length) {
        return QStringLiteral("имя файла длиннее %1 знаков").arg(answer_file_name::length);
    }
    // Answer names are ASCII: any other byte, in windows-1251 or not, fails the shape, so the
    // bytes need no decoding beyond Latin-1.
    if (!answer_file_name::matches(QString::fromLatin1(field))) {
        return QStringLiteral("имя файла не похоже на имя файла ответа");
    }
    return std::nullopt;
}

class LineReader {
public:
    explicit LineReader(ChecksumList& list) : list_(list) {}

    void read(int line, QByteArrayView text) {
        if (text.isEmpty()) {
            return problem(line, QStringLiteral("пустая строка"));
        }
        if (text.count(';') != 2) {
            return problem(line, QStringLiteral("нужны три поля через «;»: имя файла, "
                                                "контрольная сумма и размер"));
        }
        const qsizetype first = text.indexOf(';');
        const qsizetype second = text.indexOf(';', first + 1);
        const QByteArrayView fields[] = {
            text.first(first), text.sliced(first + 1, second - first - 1), text.sliced(second + 1)};
        if (const auto why = nameProblem(fields[0])) {
            return problem(line, *why);
        }
        const std::optional<std::uint32_t> checksum = hexValue(fields[1]);
        if (!checksum) {
            return problem(line, QStringLiteral("контрольная сумма - не шестнадцатеричное число "
                                                "из 1-8 цифр"));
        }
        std::int64_t size = -1;
        if (fields[2] != "-1") {
            const std::optional<std::int64_t> value = sizeValue(fields[2]);
            if (!value) {
                return problem(line, sizeProblem(fields[2]));
            }
            size = *value;
        }
        const QString name = QString::fromLatin1(fields[0]);
        if (const auto earlier = lines_.constFind(name); earlier != lines_.constEnd()) {
            return problem(line, QStringLiteral("файл уже указан в строке %1").arg(*earlier));
        }
        lines_.insert(name, line);
        list_.files.push_back({name, *checksum, size, line});
    }

private:
    static bool allDigits(QByteArrayView text) {
        return !text.isEmpty() && std::all_of(text.begin(), text.end(), isDigit);
    }
    static std::optional<std::int64_t> sizeValue(QByteArrayView text) {
        if (!allDigits(text)) {
            return std::nullopt;
        }
        constexpr std::int64_t largest = std::numeric_limits<std::int64_t>::max();
        std::int64_t value = 0;
        for (const char c : text) {
            const int digit = c - '0';
            if (value > (largest - digit) / 10) {
                return std::nullopt;
            }
            value = value * 10 + digit;
        }
        return value;
    }
    static QString sizeProblem(QByteArrayView text) {
        return allDigits(text) ? QStringLiteral("размер слишком велик")
                               : QStringLiteral("размер - не целое число байт и не -1");
    }
    void problem(int line, const QString& reason) {
        if (list_.problems.size() < ChecksumList::maxProblems) {
            list_.problems.push_back({line, reason});
        } else {
            ++list_.problemsLeftOut;
        }
    }

    ChecksumList& list_;
    QHash<QString, int> lines_;
};

}  // namespace

ChecksumList parseChecksumList(QByteArrayView bytes) {
    ChecksumList list;
    LineReader reader(list);
    int line = 0;
    qsizetype from = 0;
    while (from < bytes.size()) {
        const qsizetype end = bytes.indexOf('\n', from);
        QByteArrayView text = bytes.sliced(from, (end < 0 ? bytes.size() : end) - from);
        if (end >= 0 && text.endsWith('\r')) {
            text.chop(1);
        }
        reader.read(++line, text);
        from = end < 0 ? bytes.size() : end + 1;
    }
    return list;
}
