#include "app/CommandLine.h"

#include <QStringList>
#include <cstdio>
#include <cstring>

#include "report/StatementCommandLine.h"

namespace {

constexpr const char* programVersion = EXAM_RECORDER_VERSION;

void printVersion() {
    std::printf("exam-recorder %s\n", programVersion);
}

void printHelp() {
    std::printf(
        "Использование: exam-recorder [--version | --help | --statement ППЭ АУДИТОРИЯ ПРЕДМЕТ]\n"
        "\n"
        "Записывает устную часть экзамена по иностранному языку. Программа работает в текущей\n"
        "папке: читает список ППЭ из ppe.txt и пишет записи и ведомость в папку out.\n"
        "Ярлык в меню запускает её в папке ~/exam-recorder и создаёт эту папку.\n"
        "\n"
        "  --version  показать версию и выйти\n"
        "  --help     показать эту справку и выйти\n"
        "  --statement ППЭ АУДИТОРИЯ ПРЕДМЕТ\n"
        "             записать ведомость и список контрольных сумм файлов ответов из папки out\n"
        "             (например: --statement 0042 007 eng) и напечатать путь ведомости\n");
}

}  // namespace

std::optional<int> runCommandLine(int argc, char* argv[]) {
    if (argc < 2) {
        return std::nullopt;
    }
    if (std::strcmp(argv[1], "--version") == 0) {
        printVersion();
        return 0;
    }
    if (std::strcmp(argv[1], "--help") == 0) {
        printHelp();
        return 0;
    }
    if (std::strcmp(argv[1], "--statement") == 0) {
        QStringList codes;
        for (int i = 2; i < argc; ++i) {
            codes << QString::fromLocal8Bit(argv[i]);
        }
        return runStatementCommandLine(codes);
    }
    std::fprintf(stderr, "exam-recorder: неизвестный параметр %s (см. --help)\n", argv[1]);
    return 2;
}
