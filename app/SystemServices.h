// Where the program's services are chosen: each one a caller (the program, or a test) leaves
// empty becomes the system's own, here and nowhere else.
#pragma once

#include "app/ExamRecorderDialog.h"

WindowServices withSystemServices(WindowServices services);
