#include "app/CommandLine.h"

#include <QApplication>
#include <QStringList>
#include <cstdio>

#include "platform/ProgramArguments.h"
#include "report/CommandLineOutput.h"
#include "report/StatementCommandLine.h"
#include "report/TransferCheckWindow.h"
#include "report/VerifyCommandLine.h"

namespace {

constexpr const char* programVersion = EXAM_RECORDER_VERSION;

constexpr const char* licenceText =
    "Лицензия GPL-3.0-or-later: GNU GPL версии 3 или любой более поздней версии\n"
    "<https://www.gnu.org/licenses/gpl-3.0.html>.\n"
    "Это свободная программа: её можно изменять и распространять.\n"
    "Гарантий нет в той мере, в какой это допускает закон.";

constexpr const char* helpText =
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
    "             то же в окне: выбор папки, таблица с расхождениями вверху и итог";

void printVersion() {
    printLine(stdout, QStringLiteral("exam-recorder ") + QString::fromLatin1(programVersion));
    printLine(stdout, QString::fromUtf8(licenceText));
}

void printHelp() {
    printLine(stdout, QString::fromUtf8(helpText));
}

}  // namespace

std::optional<int> runCommandLine(int argc, char* argv[]) {
    const QStringList arguments = programArguments(argc, argv);
    if (arguments.size() < 2) {
        return std::nullopt;
    }
    const QString& mode = arguments[1];
    const QStringList rest = arguments.mid(2);
    if (mode == QLatin1String("--version")) {
        printVersion();
        return 0;
    }
    if (mode == QLatin1String("--help")) {
        printHelp();
        return 0;
    }
    if (mode == QLatin1String("--statement")) {
        return runStatementCommandLine(rest);
    }
    if (mode == QLatin1String("--verify")) {
        return runVerifyCommandLine(rest);
    }
    if (mode == QLatin1String("--verify-window")) {
        if (!rest.isEmpty()) {
            printError(stderr, QStringLiteral("--verify-window без параметров (см. --help)"));
            return 2;
        }
        QApplication application(argc, argv);
        TransferCheckWindow window;
        window.show();
        return application.exec();
    }
    printError(stderr, QStringLiteral("неизвестный параметр %1 (см. --help)").arg(mode));
    return 2;
}
