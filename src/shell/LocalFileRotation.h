#pragma once

#include <QString>

class Database;

// Compaction of the local record file at quit: "Brenvo.mdb" is rebuilt into
// "Brenvo_1.mdb", which then replaces it in one rename. Whatever fails, and
// wherever the program is stopped, a complete "Brenvo.mdb" remains or, if
// something else removed it, a complete copy that the start-up brings back.
class LocalFileRotation
{
public:
    explicit LocalFileRotation(Database& db);

    QString mainFile() const;
    QString copyFile() const;

    // No message and no log entry on failure: the main file stays as it was
    // and a copy of the temporary name is removed, so the next quit compacts.
    void CompactLocalDB();
    // Run at start-up before the login: when the main file is missing and
    // the copy is a complete record file, the copy becomes the main file.
    bool RecoverLocalDB();

private:
    bool compactInto(const QString& copy);
    static bool isComplete(const QString& file);
    static bool syncToDisk(const QString& file);

    Database& m_db;
};
