// What the check of a transferred set tells the organiser, in Russian: the same texts on the
// command line and in the check window.
#pragma once

#include <QString>
#include <QStringList>
#include <vector>

#include "report/TransferCheck.h"

// "совпадает", "файла нет", ... with the two sizes when they differ.
QString verdictText(const CheckedFile& file);

// "<name>: <verdict>".
QString checkedFileLine(const CheckedFile& file);

// "Список <list>:" above a list's files, or the heading of the files no list names.
QString checkGroupHeading(const CheckedFile& file);

// One line counting the files by verdict.
QString checkTotalLine(const std::vector<CheckedFile>& files);

// Why a run that did not get to check the files stopped, one line per reason; `folder` as the
// organiser named it.
QStringList checkFailureLines(const TransferCheckResult& result, const QString& folder);
