// The application: sets up the organiser's language, then runs the main window modally until
// the process ends.
#pragma once

// Makes Qt's own texts (standard buttons "Да", "Нет", ...) Russian, whatever the desktop's
// language.
void installRussianTranslations();

// Runs the program inside an existing QApplication until it ends the process (exitProcess).
[[noreturn]] void runRecorderApp();
