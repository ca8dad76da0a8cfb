#pragma once

class QFileDevice;

// Writes an open file's data through to the disk, so that a file renamed
// into place afterwards is whole after a power cut. Qt has no public call
// for it: fsync on POSIX, FlushFileBuffers on Windows.
namespace FileSync {

bool toDisk(QFileDevice& file);

} // namespace FileSync
