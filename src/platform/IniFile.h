#pragma once

#include <QString>

// Reads one value from a sectioned key file the way the Windows
// private-profile call does: section and key names without regard to case,
// blanks around the value dropped, the default when the file, section or key
// is missing, at most bufferSize - 1 characters, cut at the first NUL.
// Not QSettings: its escaping and type guessing differ.
namespace IniFile {

QString value(const QString& section, const QString& key, const QString& defaultValue,
              const QString& filePath, int bufferSize = 1024);

} // namespace IniFile
