#pragma once

#include <QString>

// TLS to SQL Server as the settings ask for it ([Database] Encrypt and
// CaFile), in the terms FreeTDS takes.
struct SqlServerEncryption
{
    enum class Mode
    {
        Off,
        Request, // encrypted when the server offers it
        Require  // refused unless encrypted and the certificate verifies
    };
    Mode mode = Mode::Request;
    // PEM file of the certificate authorities to trust; '' for the system's.
    QString caFile;

    // Encrypt is "off", "request" or "require" in any case, '' for request;
    // anything else reads as require, the safe side of a mistyped value. A
    // relative CaFile lies in the program folder.
    static SqlServerEncryption fromSettings(const QString& encrypt, const QString& caFile,
                                            const QString& programFolder);

    // FreeTDS's "Encryption" value.
    QString level() const;
    // Whether the server's certificate and name are checked: under require,
    // and whenever an authority is named.
    bool verifiesServer() const { return mode == Mode::Require || !caFile.isEmpty(); }
    // FreeTDS takes the authorities to trust and the name check only from a
    // section of its configuration file, never from a connection string: the
    // name of the section for this server (connect with SERVERNAME=), written
    // to this process's own file. '' with *error when the authority file
    // cannot be read or the section cannot be written.
    QString freeTdsSection(const QString& host, const QString& port, QString* error) const;
    // FreeTDS reports a TLS connection it refused as no more than
    // "Adaptive Server connection failed": why, from the server's answer to
    // a PRELOGIN of our own (no login is sent): it offers no encryption, or
    // its certificate does not verify. '' when that is not the reason.
    QString refusal(const QString& host, const QString& port, int timeoutMs) const;
};
