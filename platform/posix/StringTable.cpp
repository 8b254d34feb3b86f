#include "platform/StringTable.h"

namespace {

// The notice is three pieces: the greeting, the line naming the program, the change list.
constexpr const char* startupNotice =
    "Внимание! \n\n Программа записи ответов участников ZELVO-9 устной части экзамена по "
    "иностранным языкам. \n\n "
    "ZelvoRecorder 2014"
    "\n\n 28 апреля:\n+ Исправлена ошибка, теперь нормально работает ограничение максимального "
    "времени записи ответа\n ----- \n25 апреля:\n + строки вынесены в ресурсы \n + ограничение "
    "максимального времени ответа\n ----- \n 16 апреля:\n + версия только для иностранных "
    "языков) \n + вернули понятие КИМ \n + вернули контроль корректности КИМ \n + прослушивание "
    "всех записи \n + красная кнопка-индикатор записи (rec) \n ----- \n 10 апреля: \n + "
    "c"  // a Latin c, as in the delivered notice
    "писок ППЭ из ppe.txt \n + добавлены предметы \n + добавлено понятие \"номер работы\" и "
    "убрана проверка ввода КИМ";

constexpr const char* maxAnswerSeconds =
    "0 - максимальное время записи в секундах. Можете менять это значение. 0 означает БЕЗ "
    "ограничений";

}  // namespace

QString loadString(StringId id) {
    switch (id) {
        case StringId::StartupNotice:
            return QString::fromUtf8(startupNotice);
        case StringId::MaxAnswerSeconds:
            return QString::fromUtf8(maxAnswerSeconds);
    }
    return {};
}
