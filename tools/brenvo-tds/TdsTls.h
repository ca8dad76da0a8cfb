#pragma once

#include <QByteArray>
#include <QString>

#include <memory>

using SSL_CTX = struct ssl_ctx_st;
using SSL = struct ssl_st;
using BIO = struct bio_st;

// The server's side of TLS, shared by every session: a certificate and key
// read from PEM files, or, when none is given, a self-signed certificate for
// 127.0.0.1 and localhost made at start, as SQL Server makes one when none
// is configured. TLS 1.2 at most: SQL Server offers 1.3 only to TDS 8
// clients, which begin with TLS instead of PRELOGIN.
class TdsTlsContext
{
public:
    static std::shared_ptr<TdsTlsContext> create(const QString& certificateFile,
                                                 const QString& keyFile, QString* error);
    ~TdsTlsContext();
    TdsTlsContext(const TdsTlsContext&) = delete;
    TdsTlsContext& operator=(const TdsTlsContext&) = delete;

    SSL_CTX* get() const { return m_ctx; }

private:
    explicit TdsTlsContext(SSL_CTX* ctx) : m_ctx(ctx) {}
    SSL_CTX* m_ctx;
};

// One connection's TLS on memory buffers, so that the session decides how
// the records travel: inside PRELOGIN packets during the handshake, bare on
// the socket after it.
class TdsTls
{
public:
    explicit TdsTls(const TdsTlsContext& context);
    ~TdsTls();
    TdsTls(const TdsTls&) = delete;
    TdsTls& operator=(const TdsTls&) = delete;

    // Takes what the client sent: handshake messages until the handshake is
    // done, then records, whose plain text is appended to *plain. False when
    // the handshake or a record fails (error() says why).
    bool receive(const QByteArray& wire, QByteArray* plain);
    bool isEstablished() const;
    // The records of `plain`, to send.
    QByteArray encrypt(const QByteArray& plain);
    // What TLS has to send by itself (handshake messages, alerts).
    QByteArray pending();
    QString error() const { return m_error; }

private:
    SSL* m_ssl;
    BIO* m_in;
    BIO* m_out;
    QString m_error;
};
