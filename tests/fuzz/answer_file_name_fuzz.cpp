// answer_file_name::matches on any text, against the shape read off a template.
#include <QString>
#include <cstdint>
#include <cstring>
#include <string_view>

#include "FuzzCheck.h"
#include "report/AnswerFileName.h"

namespace {

void check(const QString& name) {
    const std::u16string_view view(reinterpret_cast<const char16_t*>(name.utf16()),
                                   std::size_t(name.size()));
    require(answer_file_name::matches(name) == hasAnswerShape(view),
            "matches() agrees with the answer shape");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    return runCheck([&] {
        const char* bytes = reinterpret_cast<const char*>(data);
        // As the statement reads names from the folder, and as text from elsewhere may arrive.
        check(QString::fromLatin1(bytes, qsizetype(size)));
        check(QString::fromUtf8(bytes, qsizetype(size)));
        QString wide(qsizetype(size / 2), Qt::Uninitialized);
        std::memcpy(wide.data(), data, size / 2 * 2);
        check(wide);
    });
}
