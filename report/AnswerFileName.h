// The name an answer recording gets in the out folder, "SSSS-CCC-sub_KKKKKKK.mp3", and its
// parts. Only names of exactly this shape count as answer files in the statement.
#pragma once

#include <QStringView>

namespace answer_file_name {

inline constexpr qsizetype length = 24;

// Whether `name` is a bare file name of the answer shape: site and classroom digits, one of the
// four lower-case subject codes, seven KIM digits and a lower-case ".mp3".
bool matches(QStringView name);

// The parts of a name that matches().
inline QStringView siteAndClassroom(QStringView name) {
    return name.first(8);
}
inline QStringView subject(QStringView name) {
    return name.sliced(9, 3);
}
inline QStringView kim(QStringView name) {
    return name.sliced(13, 7);
}

}  // namespace answer_file_name
