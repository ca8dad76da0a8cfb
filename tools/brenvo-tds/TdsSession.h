#pragma once

#include "TsqlSession.h"

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QObject>
#include <QTimer>

#include <memory>

class QTcpSocket;
class TdsServerState;
class TdsTls;
class TdsWriter;

// One client connection, on a thread of its own: TDS messages in, token
// streams out. The SQL work is TsqlSession's; this class speaks the
// protocol: pre-login with its TLS handshake, login, SQL batches, RPC calls
// (prepared statements and server cursors), transaction-manager requests and
// attention.
class TdsSession : public QObject
{
    Q_OBJECT
public:
    explicit TdsSession(TdsServerState& state);
    ~TdsSession() override;

public slots:
    void start(qintptr socketDescriptor);
    // Closes the connection at once, as a crashed or killed server would.
    void drop();

private:
    struct Request
    {
        quint8 type = 0;
        quint8 status = 0;
        QByteArray payload;
    };
    struct Cursor
    {
        QList<TdsColumn> columns;
        QList<QVariantList> rows;
        // Index of the first row of the last fetch.
        qsizetype position = -1;
        qsizetype fetched = 0;
    };
    struct Call
    {
        QString name;
        int procId = 0;
        quint16 options = 0;
        QList<TdsParameter> parameters;
    };

    // How the connection's bytes travel: in clear, as TLS handshake messages
    // inside PRELOGIN packets, then as bare TLS records: for the login only
    // or for the whole session.
    enum class Wire
    {
        Clear,
        Handshake,
        LoginOnly,
        Encrypted
    };

    void readPackets();
    void handle(const Request& request);
    void answerNext();
    void preLogin(const QByteArray& payload);
    void handshake(const QByteArray& payload);
    void login(const QByteArray& payload);
    void sqlBatch(const QByteArray& payload, TdsWriter& out);
    void rpc(const QByteArray& payload, TdsWriter& out);
    void rpcCall(const Call& call, bool last, TdsWriter& out);
    void cursorFetch(const Call& call, TdsWriter& out, QList<QPair<int, TdsParameter>>& outputs);
    void transactionManager(const QByteArray& payload, TdsWriter& out);
    void send(const QByteArray& tokens);
    // A message cut into packets of the session's size.
    QByteArray packets(quint8 type, const QByteArray& message);
    void writeWire(const QByteArray& bytes);
    void record(const char* direction, const QByteArray& bytes) const;
    // The SQL a request carries, for the drop-on fault and the trace.
    static QString requestText(const Request& request);

    void writeResult(TdsWriter& out, const TdsResult& result, quint8 doneToken, bool more);
    void writeMessage(TdsWriter& out, const TdsMessage& message);
    void writeColumns(TdsWriter& out, const QList<TdsColumn>& columns);
    void writeRow(TdsWriter& out, const QList<TdsColumn>& columns, const QVariantList& row);

    TdsServerState& m_state;
    QTcpSocket* m_socket = nullptr;
    std::unique_ptr<TsqlSession> m_sql;
    const int m_sessionId;
    bool m_loggedIn = false;
    Wire m_wire = Wire::Clear;
    bool m_encryptAll = false;
    std::unique_ptr<TdsTls> m_tls;
    int m_packetSize = 4096;
    quint8 m_packetId = 1;

    QByteArray m_inbound;
    Request m_partial;
    QList<Request> m_queue;
    QTimer m_delay;

    struct Prepared
    {
        QString declaration;
        QString sql;
    };
    QHash<int, Prepared> m_prepared;
    int m_nextHandle = 1;
    QHash<int, Cursor> m_cursors;
    int m_nextCursor = 180150001;
};
