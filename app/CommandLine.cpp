#include "app/CommandLine.h"

#include <cstdio>
#include <cstring>

namespace {

constexpr const char* programVersion = "0.1.0";

void printVersion() {
    std::printf("exam-recorder %s\n", programVersion);
}

void printHelp() {
    std::printf(
        "Использование: exam-recorder [--version | --help]\n"
        "\n"
        "Записывает устную часть экзамена по иностранному языку. Программа работает в текущей\n"
        "папке: читает список ППЭ из ppe.txt и пишет записи и ведомость в папку out.\n"
        "\n"
        "  --version  показать версию и выйти\n"
        "  --help     показать эту справку и выйти\n");
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
    std::fprintf(stderr, "exam-recorder: неизвестный параметр %s (см. --help)\n", argv[1]);
    return 2;
}
