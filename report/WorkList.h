// The answer files a statement covers: every name of the answer shape in a folder, in plain
// character order, which keeps the files of one site and classroom together.
#pragma once

#include <QString>
#include <QStringList>
#include <optional>

// The sorted answer-file names in `folder`, or nothing when the folder cannot be read through
// (missing, not a folder, no permission, or an error part way).
std::optional<QStringList> readWorkList(const QString& folder);
