#include "report/AnswerFileName.h"

#include <algorithm>
#include <array>

namespace answer_file_name {

namespace {

bool areDigits(QStringView text) {
    return std::all_of(text.begin(), text.end(), [](QChar c) { return c >= u'0' && c <= u'9'; });
}

}  // namespace

bool matches(QStringView name) {
    static constexpr std::array<QStringView, 4> subjects = {u"eng", u"nem", u"fra", u"isp"};
    return name.size() == length && areDigits(name.first(4)) && name[4] == u'-' &&
           areDigits(name.sliced(5, 3)) && name[8] == u'-' &&
           std::find(subjects.begin(), subjects.end(), subject(name)) != subjects.end() &&
           name[12] == u'_' && areDigits(kim(name)) && name.sliced(20) == u".mp3";
}

}  // namespace answer_file_name
