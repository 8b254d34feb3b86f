#include "platform/SystemNames.h"

const char* const encoderLibraryFileName = "liblame_enc.so";
const char* const playerLibraryFileName = "libbass.so";
const char* const playerLibraryCaptionName = "libbass.so";
const char* const systemPlayerQualifier = "";
const char* const statementViewerName = "xdg-open";
const char statementFolderSeparator = '/';
const char* const settingsFileName = "exam-recorder/exam-recorder.conf";
