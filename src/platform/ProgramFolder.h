#pragma once

#include <QString>

// The program folder: the executable's folder, or BRENVO_HOME when set.
// Paths elsewhere are written as the folder followed by a literal that starts
// with a backslash ("\Brenvo.ini", "\RecData\20260101"); path() maps those to
// this platform, and treats "RecData" and "RECDATA" as the one folder RECDATA.
namespace ProgramFolder {

QString folder();
QString path(const QString& folder, const QString& literal);

} // namespace ProgramFolder
