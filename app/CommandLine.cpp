#include "app/CommandLine.h"

#include <QApplication>
#include <QFile>
#include <QStringList>
#include <cstdio>
#include <cstring>

#include "report/StatementCommandLine.h"
#include "report/TransferCheckWindow.h"
#include "report/VerifyCommandLine.h"

namespace {

constexpr const char* programVersion = EXAM_RECORDER_VERSION;

void printVersion() {
    std::printf(
        "exam-recorder %s\n"
        "Лицензия GPL-3.0-or-later: GNU GPL версии 3 или любой более поздней версии\n"
        "<https://www.gnu.org/licenses/gpl-3.0.html>.\n"
        "Это свободная программа: её можно изменять и распространять.\n"
        "Гарантий нет в той мере, в какой это допускает закон.\n",
        programVersion);
}

void printHelp() {
    std::printf(
        "Использование: exam-recorder [--version | --help | --statement ППЭ АУДИТОРИЯ ПРЕДМЕТ |\n"
        "                               --verify ПАПКА | --verify-window]\n"
        "\n"
        "Записывает устную часть экзамена по иностранному языку. Программа работает в текущей\n"
        "папке: читает список ППЭ из ppe.txt и пишет записи и ведомость в папку out.\n"
        "Ярлык в меню запускает её в папке ~/exam-recorder и создаёт эту папку.\n"
        "\n"
        "  --version  показать версию и выйти\n"
        "  --help     показать эту справку и выйти\n"
        "  --statement ППЭ АУДИТОРИЯ ПРЕДМЕТ\n"
        "             записать ведомость и список контрольных сумм файлов ответов из папки out\n"
        "             (например: --statement 0042 007 eng) и напечатать путь ведомости\n"
        "  --verify ПАПКА\n"
        "             сверить перенесённые файлы ответов в ПАПКЕ со списками контрольных сумм\n"
        "             report_*.crc в ней: по строке на файл (совпадает, размер или контрольная\n"
        "             сумма отличается, файла нет, не читается, нет в списках) и итог;\n"
        "             код выхода 0 - всё совпадает, 1 - есть расхождения, 2 - неверный вызов\n"
        "             или список не читается либо содержит ошибочные строки\n"
        "  --verify-window\n"
        "             то же в окне: выбор папки, таблица с расхождениями вверху и итог\n");
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
    if (std::strcmp(argv[1], "--verify") == 0) {
        QStringList folder;
        for (int i = 2; i < argc; ++i) {
            folder << QFile::decodeName(argv[i]);
        }
        return runVerifyCommandLine(folder);
    }
    if (std::strcmp(argv[1], "--verify-window") == 0) {
        if (argc > 2) {
            std::fprintf(stderr, "exam-recorder: --verify-window без параметров (см. --help)\n");
            return 2;
        }
        QApplication application(argc, argv);
        TransferCheckWindow window;
        window.show();
        return application.exec();
    }
    std::fprintf(stderr, "exam-recorder: неизвестный параметр %s (см. --help)\n", argv[1]);
    return 2;
}
