#pragma once

#include <QFileDevice>
#include <QString>

class QFile;

// The files and folders the program makes for the desk's data (error logs,
// the local record file's copy, recordings): readable and writable by the
// user who runs it only (files 0600, folders 0700), or by the folder's group
// too (files 0660, folders 2770) where the folder they are made in has its
// set-group-id bit, as a program folder shared by a group of agents has.
// Files and folders that exist keep their mode. On Windows there is no such
// bit: the folder's inherited access list decides.
namespace PrivateFiles {

// Whether folder shares what is made in it with its group.
bool isShared(const QString& folder);
// The permissions of a new file in folder.
QFileDevice::Permissions fileMode(const QString& folder);
// Opens file; a missing one is created with fileMode() of its folder, exactly
// (whatever the umask), before a byte is written.
bool open(QFile& file, QIODevice::OpenMode mode);
// Makes folder and every missing parent, each new one private or shared as
// the folder it is made in; true when folder exists afterwards.
bool makePath(const QString& folder);

} // namespace PrivateFiles
