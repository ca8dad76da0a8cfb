#include "TdsTls.h"

#include <QFile>

#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/ssl.h>
#include <openssl/x509v3.h>

namespace {

QString lastError(const char* what)
{
    const unsigned long code = ERR_get_error();
    ERR_clear_error();
    return code == 0 ? QString::fromLatin1(what)
                     : QStringLiteral("%1: %2").arg(QLatin1String(what),
                                                    QLatin1String(ERR_reason_error_string(code)));
}

// A P-256 key and a certificate for 127.0.0.1 and localhost signed by it,
// valid from an hour ago for a year.
bool useSelfSigned(SSL_CTX* ctx)
{
    EVP_PKEY* key = EVP_EC_gen("P-256");
    X509* cert = X509_new();
    bool ok = key && cert;
    if (ok) {
        X509_set_version(cert, 2);
        ASN1_INTEGER_set(X509_get_serialNumber(cert), 1);
        X509_gmtime_adj(X509_getm_notBefore(cert), -3600);
        X509_gmtime_adj(X509_getm_notAfter(cert), 365L * 24 * 3600);
        X509_NAME* name = X509_get_subject_name(cert);
        X509_NAME_add_entry_by_txt(
            name, "CN", MBSTRING_ASC,
            reinterpret_cast<const unsigned char*>("SQL Server stand-in, self-signed"), -1, -1, 0);
        X509_set_issuer_name(cert, name);
        X509_set_pubkey(cert, key);
        X509_EXTENSION* names = X509V3_EXT_conf_nid(nullptr, nullptr, NID_subject_alt_name,
                                                    "IP:127.0.0.1,DNS:localhost");
        ok = names && X509_add_ext(cert, names, -1) && X509_sign(cert, key, EVP_sha256()) &&
             SSL_CTX_use_certificate(ctx, cert) == 1 && SSL_CTX_use_PrivateKey(ctx, key) == 1;
        X509_EXTENSION_free(names);
    }
    X509_free(cert);
    EVP_PKEY_free(key);
    return ok;
}

} // namespace

std::shared_ptr<TdsTlsContext> TdsTlsContext::create(const QString& certificateFile,
                                                     const QString& keyFile, QString* error)
{
    SSL_CTX* ctx = SSL_CTX_new(TLS_server_method());
    std::shared_ptr<TdsTlsContext> context(ctx ? new TdsTlsContext(ctx) : nullptr);
    if (!context) {
        *error = lastError("cannot start TLS");
        return nullptr;
    }
    SSL_CTX_set_max_proto_version(ctx, TLS1_2_VERSION);
    // No session tickets: a ticket sent after the handshake would reach a
    // client that has already left TLS when only its login is encrypted.
    SSL_CTX_set_options(ctx, SSL_OP_NO_TICKET);
    bool ok = false;
    if (certificateFile.isEmpty())
        ok = useSelfSigned(ctx);
    else
        ok = SSL_CTX_use_certificate_chain_file(ctx, QFile::encodeName(certificateFile)) == 1 &&
             SSL_CTX_use_PrivateKey_file(ctx, QFile::encodeName(keyFile), SSL_FILETYPE_PEM) == 1 &&
             SSL_CTX_check_private_key(ctx) == 1;
    if (!ok) {
        *error = lastError(certificateFile.isEmpty() ? "cannot make a self-signed certificate"
                                                     : "cannot use the certificate and key");
        return nullptr;
    }
    return context;
}

TdsTlsContext::~TdsTlsContext()
{
    SSL_CTX_free(m_ctx);
}

TdsTls::TdsTls(const TdsTlsContext& context)
    : m_ssl(SSL_new(context.get())), m_in(BIO_new(BIO_s_mem())), m_out(BIO_new(BIO_s_mem()))
{
    SSL_set_bio(m_ssl, m_in, m_out);
    SSL_set_accept_state(m_ssl);
}

TdsTls::~TdsTls()
{
    SSL_free(m_ssl); // and both buffers with it
}

bool TdsTls::receive(const QByteArray& wire, QByteArray* plain)
{
    BIO_write(m_in, wire.constData(), int(wire.size()));
    if (!isEstablished()) {
        const int done = SSL_do_handshake(m_ssl);
        if (done <= 0 && SSL_get_error(m_ssl, done) != SSL_ERROR_WANT_READ) {
            m_error = lastError("TLS handshake failed");
            return false;
        }
    }
    char buffer[16384];
    while (isEstablished()) {
        const int n = SSL_read(m_ssl, buffer, sizeof buffer);
        if (n > 0) {
            plain->append(buffer, n);
            continue;
        }
        if (SSL_get_error(m_ssl, n) == SSL_ERROR_WANT_READ)
            break;
        m_error = lastError("TLS record refused");
        return false;
    }
    return true;
}

bool TdsTls::isEstablished() const
{
    return SSL_is_init_finished(m_ssl);
}

QByteArray TdsTls::encrypt(const QByteArray& plain)
{
    if (!plain.isEmpty())
        SSL_write(m_ssl, plain.constData(), int(plain.size()));
    return pending();
}

QByteArray TdsTls::pending()
{
    QByteArray out(int(BIO_ctrl_pending(m_out)), Qt::Uninitialized);
    if (!out.isEmpty())
        BIO_read(m_out, out.data(), int(out.size()));
    return out;
}
