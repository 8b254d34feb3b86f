// Where the program's services are chosen: each one a caller (the program, or a test) leaves
// empty becomes the system's own, here and nowhere else.
#pragma once

#include "app/ExamRecorderDialog.h"

class PlayerLibrary;

WindowServices withSystemServices(WindowServices services);

// The player library that the system's library player plays through and start-up loads. It
// lives until the process ends.
PlayerLibrary& systemPlayerLibrary();
