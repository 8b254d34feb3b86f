// Tells that the folder of a recording just made could not be put on the disk: the recording
// goes on, but a power cut may take the file's name with it.
#pragma once

#include <string>

#include "platform/SystemError.h"

class ExamJournal;
class ExamWindow;

// Nothing when `error` is no failure. Written to the journal each time; told on the status
// line, after what it says already, once per window.
void tellFolderNotSynced(ExamWindow& window, ExamJournal& journal, const std::string& fileName,
                         const SystemError& error);
