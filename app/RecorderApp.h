// The application object: sets up the organiser's language, then runs the main window modally
// until the process ends.
#pragma once

#include "audio/PlayerLibrary.h"
#include "exam/PlaybackLibraryPlayer.h"

// Makes Qt's own texts (standard buttons "Да", "Нет", ...) Russian, whatever the desktop's
// language.
void installRussianTranslations();

class RecorderApp {
public:
    // Runs the program inside an existing QApplication; returns the process's exit status.
    int run();

private:
    PlayerLibrary player_;
    PlaybackLibraryPlayer libraryPlayer_{player_};
};
