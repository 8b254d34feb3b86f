// The statement's notes on one answer file: what the audit found wrong with it, as the HTML
// text of the row's last column, empty when nothing was found.
#pragma once

#include <QString>
#include <QStringList>
#include <optional>

#include "report/FileDigest.h"

// The notes on `workList[row]`, given the current (three-letter) subject code and what reading the
// file gave (nothing when it could not be read). Needs the KIM register built.
QString auditNotes(const QStringList& workList, qsizetype row, const QString& subject,
                   const std::optional<FileDigest>& digest);
