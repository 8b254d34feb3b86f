// The names this system gives what the program reaches outside itself: its two libraries, its
// own player, the viewer of the statement and the separator in the statement's file names.
#pragma once

extern const char* const encoderLibraryFileName;
extern const char* const playerLibraryFileName;
// The player library as the caption of its start-up failure names it.
extern const char* const playerLibraryCaptionName;
// Completes "встроенный …проигрыватель": the system's own player the fallback uses.
extern const char* const systemPlayerQualifier;
// What opens the written statement, as its failure message names it.
extern const char* const statementViewerName;
// Between "out" and a statement file's name.
extern const char statementFolderSeparator;
// The settings file, under the system's configuration folders, whose values stand in for the
// program's resource strings; empty where the strings are edited in the program's resources.
extern const char* const settingsFileName;
