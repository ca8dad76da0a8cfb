#pragma once

#include <QList>
#include <QString>
#include <QVariant>

class MessageSink;

// An entry of a combo box as the logic sees it: the text shown and the
// integer kept as item data.
struct ComboItem
{
    QString text;
    int itemData = 0;
};

namespace HostUtils {

// The workstation's first IPv4 address, or '' after the socket messages.
QString GetLocalIP(MessageSink& messages);
// Tries to create a file in the program folder. When it cannot, tells the
// agent once which folder and what to do, and returns false; the program
// goes on and each writer reports its own failures.
bool CheckProgramFolder(const QString& folder, MessageSink& messages);
// Creates every folder up to the path's last separator; true when they exist.
bool MakeDirPath(const QString& path);
// Keeps 0-9, '*' and '#', in order.
QString PhoneDigits(const QString& text);
// Seconds as "HH:MM:SS", hours not capped.
QString FormatDuration(double seconds);
// The part after the last backslash (or slash on this platform).
QString GetFileName(const QString& path);
// Text of the first entry whose item data equals the code read as a number.
QString GetTermName(const QList<ComboItem>& items, const QString& code);
// Index of the first entry whose item data, as decimal text, equals value; 0 when none does.
int FindComboIndex(const QList<ComboItem>& items, const QString& value);

} // namespace HostUtils
