#include "platform/SystemNames.h"

const char* const encoderLibraryFileName = "lame_enc.dll";
const char* const playerLibraryFileName = "bass.dll";
const char* const playerLibraryCaptionName = "BASS.dll";
const char* const systemPlayerQualifier = "в Windows ";
const char* const statementViewerName = "start";
const char statementFolderSeparator = '\\';
const char* const settingsFileName = "";
