// The three codes that name an exam session. They go into every answer file's name and into the
// statement, and are set once, when the organiser confirms the session set-up.
#pragma once

#include <QString>

struct SessionCodes {
    QString site;       // four ASCII digits
    QString classroom;  // three ASCII digits
    QString subject;    // "eng", "nem", "fra" or "isp"
};
