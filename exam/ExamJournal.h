// The exam's journal beside the recordings: one line per exam and answer event, on the disk as
// it happens, so that after a power cut the next start can say which answers to record again.
#pragma once

#include <QByteArray>
#include <QString>
#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>

#include "exam/ExamClock.h"
#include "platform/File.h"
#include "session/OutFolder.h"

inline constexpr const char* examJournalName = kExamJournalName;
inline constexpr const char* examJournalPath = kExamJournalPath;

namespace exam_journal {

enum class Event {
    ExamStarted,
    AnswerStarted,
    AnswerStopped,
    AnswerSaved,
    ExamEnded,
    FolderNotSynced,
    AudioLost
};

// A line is "<yyyy-MM-dd HH:mm:ss>\t<event word>" in local time, then for an exam's start
// "\t<ALL file>", for an answer event "\tКИМ <kim>\t<answer file>", for a recording whose folder
// could not be put on the disk "\t<file>", for sound lost "\t<length> с\t<ALL file>\t<span>" and,
// when an answer was open, "\tКИМ <kim>\t<answer file>\t<span>"; file names without folder, a
// span "<from>-<to>" in times as elapsedText.
inline constexpr char timeFormat[] = "yyyy-MM-dd HH:mm:ss";
inline constexpr char kimPrefix[] = "КИМ ";
QString wordOf(Event event);

// Where sound was lost: between two times of the ALL file and, if one was open, of an answer.
// A queue may keep sound from before a loss, so where in the span is not known.
struct LostAudioPlace {
    QString allFile;
    std::int64_t allFrom = 0;
    std::int64_t allTo = 0;
    QString kim;  // empty for no answer
    QString answerFile;
    std::int64_t answerFrom = 0;
    std::int64_t answerTo = 0;
};

}  // namespace exam_journal

// Appends to the journal, never rewrites it. Every event may come from the window's thread or
// the recording thread: each line is one appending write and one data sync, and no thread waits
// for another's write or sync (a lock is held only while the file is opened). A journal that
// cannot be opened or written is told once through the report given at construction; the exam
// goes on without it.
class ExamJournal {
public:
    // Receives the organiser's text, on the thread of the event that failed; must return at
    // once (the recording thread may be calling).
    using FailureReport = std::function<void(const QString& text)>;

    // Opens `path` at the first event, which comes after the out folder exists.
    explicit ExamJournal(FailureReport reportFailure, std::string path = examJournalPath,
                         LocalClock clock = systemClock());
    ExamJournal(const ExamJournal&) = delete;
    ExamJournal& operator=(const ExamJournal&) = delete;

    // File names may come with their folder ("out/..."); the journal keeps the bare name.
    void examStarted(const QString& allFile);
    void answerStarted(const QString& kim, const QString& answerFile);
    void answerStopped(const QString& kim, const QString& answerFile);
    void answerSaved(const QString& kim, const QString& answerFile);
    void examEnded();
    // A recording made whose folder could not be synced: a power cut may take its name.
    void folderNotSynced(const QString& file);
    // `lostFrames` of the exam's sound missing at `place`.
    void audioLost(std::uint64_t lostFrames, const exam_journal::LostAudioPlace& place);

    // The text told when the journal cannot be written.
    QString failureText() const;

private:
    void append(exam_journal::Event event, const QString& fields);
    // The open journal, opened at the first call that finds it closed; null when it cannot be
    // opened.
    File* openedFile();
    // False when the line could not be put on the disk.
    bool writeLine(QByteArray line);

    const FailureReport reportFailure_;
    const std::string path_;
    const LocalClock clock_;
    std::mutex openMutex_;
    File file_;  // set once, under openMutex_, then only reached through openFile_
    std::atomic<File*> openFile_{nullptr};
    // The file's last line lacks its end (cut by a power cut, or a write that failed): the next
    // line starts on a line of its own.
    std::atomic<bool> lineOpen_{false};
    std::atomic<bool> failureTold_{false};
};
