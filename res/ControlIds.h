// The ids of the controls of the two forms beside this file, the main window's and the session
// set-up dialog's. Every control is reached through its id, which the form carries as the
// control's "controlId" property.
#pragma once

enum class ControlId : int {
    Exit = 1,
    StartExam = 1000,
    SoundCardList = 1001,
    EndExam = 1002,
    RecordAnswer = 1006,
    StopAnswer = 1007,
    StatusLine = 1011,
    KimEntry = 1014,
    Listen = 1015,
    KimRepeatEntry = 1017,
    KimLabel = 1018,
    KimRepeatLabel = 1019,
    KimOk = 1020,
    KimRepeatOk = 1021,
    SiteCode = 1023,
    ClassroomCode = 1024,
    SubjectCode = 1025,
    LevelSlider = 1026,
    LevelReadout = 1028,
    AnswerElapsed = 1029,
    SaveAnswer = 1030,
    TotalElapsed = 1031,
    AnswerState = 1036,
    ShowStatement = 1037,
    WorkList = 1038,
    RecordIndicator = 1040,
};

// The session set-up dialog's controls.
enum class SetupControlId : int {
    Confirm = 1,
    SubjectList = 1012,
    Classroom = 1013,
    SiteBox = 1033,
    ManualSite = 1034,
};

inline constexpr const char* controlIdProperty = "controlId";
