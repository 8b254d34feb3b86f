// The folder, under the working folder, that the recordings and the statement go to, and the
// names of the files the program writes there.
#pragma once

#include <QDateTime>
#include <QString>

struct SessionCodes;

inline constexpr const char* kOutFolder = "out";
// The exam's journal: hidden, so the folder's count at start and the statement pass over it.
inline constexpr const char* kExamJournalName = ".exam-journal";
inline constexpr const char* kExamJournalPath = "out/.exam-journal";

// Makes the folder where it is not there yet, and tries to put its name on the disk. A failure
// shows when the folder is next used.
void makeOutFolder();

// "out/ALL_<site>-<classroom>-<subject>__<date>_<time>.mp3", named by the UTC date-time `utc`.
QString allFileName(const SessionCodes& codes, const QDateTime& utc);
// "out/<site>-<classroom>-<subject>_<kim>.mp3"
QString answerFileName(const SessionCodes& codes, const QString& kim);
// "out/report_<subject>_<site>-<classroom>.<extension>"
QString reportFileName(const SessionCodes& codes, const QString& extension);
// "out/<name>", for a file found in the folder.
QString inOutFolder(const QString& name);
// `path` less its leading "out/".
QString withoutOutFolder(const QString& path);
