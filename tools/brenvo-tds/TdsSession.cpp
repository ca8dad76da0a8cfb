#include "TdsSession.h"

#include "TdsServerState.h"
#include "TdsTls.h"
#include "TdsWire.h"

#include <QDir>
#include <QFile>
#include <QLoggingCategory>
#include <QTcpSocket>
#include <QtEndian>

Q_LOGGING_CATEGORY(lcTds, "brenvo.tds", QtWarningMsg)

namespace {

const QString ServerName = QStringLiteral("BRENVO-TDS");
// What LOGINACK announces: TDS 7.4 and SQL Server 2019 (15.0.2000).
constexpr quint32 TdsVersion = 0x74000004;
constexpr quint32 OldestTdsVersion = 0x72090002; // 7.2: 8-byte row counts, ALL_HEADERS

enum ProcId
{
    CursorOpen = 2,
    CursorPrepare = 3,
    CursorExecute = 4,
    CursorPrepExec = 5,
    CursorUnprepare = 6,
    CursorFetch = 7,
    CursorOption = 8,
    CursorClose = 9,
    ExecuteSql = 10,
    Prepare = 11,
    Execute = 12,
    PrepExec = 13,
    Unprepare = 15,
};

enum FetchType
{
    FetchFirst = 0x01,
    FetchNext = 0x02,
    FetchPrevious = 0x04,
    FetchLast = 0x08,
    FetchAbsolute = 0x10,
    FetchRelative = 0x20,
    FetchRefresh = 0x40,
    FetchInfo = 0x80,
};

// PRELOGIN's ENCRYPTION values.
enum Encrypt : quint8
{
    EncryptOff = 0, // the login only
    EncryptOn = 1,
    EncryptNotSupported = 2,
    EncryptRequired = 3,
};

// RPC option flag: the client already has the result's metadata.
constexpr quint16 NoMetaData = 0x02;

// Skips ALL_HEADERS (transaction descriptor, notifications, trace).
void skipAllHeaders(TdsReader& in)
{
    const quint32 total = in.u32();
    if (total >= 4)
        in.skip(total - 4);
}

void writeDone(TdsWriter& out, quint8 token, quint16 status, quint16 command, quint64 count)
{
    out.u8(token);
    out.u16(status);
    out.u16(command);
    out.u64(count);
}

void writeEnvChange(TdsWriter& out, const TdsEnvChange& change)
{
    out.u8(Tds::EnvChangeToken);
    const qsizetype length = out.beginLength16();
    out.u8(change.type);
    if (change.newValue.metaType().id() == QMetaType::QByteArray ||
        change.oldValue.metaType().id() == QMetaType::QByteArray) {
        out.bVarbyte(change.newValue.toByteArray());
        out.bVarbyte(change.oldValue.toByteArray());
    } else {
        out.bVarchar(change.newValue.toString());
        out.bVarchar(change.oldValue.toString());
    }
    out.finishLength16(length);
}

// An int output parameter with its ordinal in the call.
QPair<int, TdsParameter> intOutput(int ordinal, const TdsParameter& sent, const QVariant& value)
{
    TdsParameter p = sent;
    p.type = {TdsType::Int, 0};
    p.value = value;
    return {ordinal, p};
}

} // namespace

TdsSession::TdsSession(TdsServerState& state)
    : m_state(state), m_sessionId(state.nextSessionId()), m_delay(this)
{
    m_delay.setSingleShot(true);
    connect(&m_delay, &QTimer::timeout, this, &TdsSession::answerNext);
    m_state.registerSession(this);
}

TdsSession::~TdsSession()
{
    m_state.unregisterSession(this);
}

void TdsSession::start(qintptr socketDescriptor)
{
    m_socket = new QTcpSocket(this);
    if (!m_socket->setSocketDescriptor(socketDescriptor)) {
        deleteLater();
        return;
    }
    m_socket->setSocketOption(QAbstractSocket::LowDelayOption, 1);
    connect(m_socket, &QTcpSocket::readyRead, this, &TdsSession::readPackets);
    connect(m_socket, &QTcpSocket::disconnected, this, &QObject::deleteLater);
}

void TdsSession::drop()
{
    if (m_socket)
        m_socket->abort();
    deleteLater();
}

void TdsSession::readPackets()
{
    QByteArray bytes = m_socket->readAll();
    record("in", bytes);
    if (m_wire == Wire::LoginOnly || m_wire == Wire::Encrypted) {
        QByteArray plain;
        if (!m_tls->receive(bytes, &plain)) {
            qCDebug(lcTds).noquote() << "session" << m_sessionId << m_tls->error();
            drop();
            return;
        }
        bytes = plain;
    }
    m_inbound.append(bytes);
    while (m_inbound.size() >= Tds::HeaderSize) {
        const quint16 length = qFromBigEndian<quint16>(m_inbound.constData() + 2);
        if (length < Tds::HeaderSize) {
            drop();
            return;
        }
        if (m_inbound.size() < length)
            return;
        const quint8 type = quint8(m_inbound.at(0));
        const quint8 status = quint8(m_inbound.at(1));
        const QByteArray body = m_inbound.mid(Tds::HeaderSize, length - Tds::HeaderSize);
        m_inbound.remove(0, length);
        if (type == Tds::Attention) {
            // Cancel: forget what is still waiting and confirm.
            m_queue.clear();
            m_delay.stop();
            TdsWriter out;
            writeDone(out, Tds::DoneToken, Tds::DoneAttention, 0, 0);
            send(out.take());
            continue;
        }
        if (m_partial.payload.isEmpty()) {
            m_partial.type = type;
            m_partial.status = status;
        }
        m_partial.payload.append(body);
        if (status & Tds::EndOfMessage) {
            handle(m_partial);
            m_partial = Request();
        }
    }
}

void TdsSession::handle(const Request& request)
{
    if (request.type == Tds::PreLogin && !m_loggedIn) {
        if (m_wire == Wire::Handshake)
            handshake(request.payload);
        else
            preLogin(request.payload);
        return;
    }
    // A login sent in clear where TLS was agreed, or to a server that
    // requires it, ends the connection below.
    if (request.type == Tds::Login7 && !m_loggedIn && m_wire != Wire::Handshake &&
        !(m_wire == Wire::Clear && m_state.tlsRequired)) {
        if (m_wire == Wire::LoginOnly) {
            m_wire = Wire::Clear;
            m_tls.reset();
        }
        login(request.payload);
        return;
    }
    if (!m_loggedIn) {
        drop();
        return;
    }
    m_queue << request;
    const int delay = m_state.answerDelayMs.load();
    if (delay > 0) {
        if (!m_delay.isActive())
            m_delay.start(delay);
        return;
    }
    answerNext();
}

void TdsSession::answerNext()
{
    while (!m_queue.isEmpty()) {
        const Request request = m_queue.takeFirst();
        const QString text = requestText(request);
        qCDebug(lcTds).noquote() << "session" << m_sessionId << "request" << request.type
                                 << text.left(300);
        if (m_state.dropsBefore(text)) {
            m_state.dropAll();
            drop();
            return;
        }
        TdsWriter out;
        if (request.status & Tds::ResetConnection) {
            m_sql->reset();
            writeEnvChange(out, {Tds::ResetConnectionAck, QByteArray(), QByteArray()});
        }
        switch (request.type) {
        case Tds::SqlBatch:
            sqlBatch(request.payload, out);
            break;
        case Tds::Rpc:
            rpc(request.payload, out);
            break;
        case Tds::TransactionManager:
            transactionManager(request.payload, out);
            break;
        default:
            writeMessage(
                out,
                tdsMessage(
                    8009, 16, 1,
                    QStringLiteral("The message type %1 is not supported.").arg(request.type)));
            writeDone(out, Tds::DoneToken, Tds::DoneError, 0, 0);
        }
        send(out.take());
        if (m_state.dropsAfterAnswer()) {
            // The answer goes out whole; then every connection ends.
            m_socket->flush();
            while (m_socket->bytesToWrite() > 0 && m_socket->waitForBytesWritten(2000)) {
            }
            m_state.dropAll();
            drop();
            return;
        }
        if (!m_queue.isEmpty() && m_state.answerDelayMs.load() > 0) {
            m_delay.start(m_state.answerDelayMs.load());
            return;
        }
    }
}

QString TdsSession::requestText(const Request& request)
{
    TdsReader in(request.payload);
    skipAllHeaders(in);
    if (request.type == Tds::SqlBatch)
        return in.utf16(in.remaining() / 2);
    if (request.type != Tds::Rpc)
        return QStringLiteral("<transaction manager>");
    // The RPC's name and its string parameters (the statement among them).
    QStringList parts;
    const quint16 nameLength = in.u16();
    parts << (nameLength == 0xFFFF ? QStringLiteral("proc %1").arg(in.u16())
                                   : in.utf16(nameLength));
    in.u16();
    while (in.ok() && !in.atEnd()) {
        const auto p = readTdsParameter(in);
        if (!p)
            break;
        if (p->value.metaType().id() == QMetaType::QString)
            parts << p->value.toString();
    }
    return parts.join(u' ');
}

void TdsSession::preLogin(const QByteArray& payload)
{
    // The client's options: token, big-endian offset and length, up to 0xFF.
    quint8 asked = EncryptNotSupported;
    for (qsizetype at = 0; at + 5 <= payload.size() && quint8(payload.at(at)) != 0xFF; at += 5) {
        const quint16 offset = qFromBigEndian<quint16>(payload.constData() + at + 1);
        if (payload.at(at) == 0x01 && offset < payload.size())
            asked = quint8(payload.at(offset));
    }
    quint8 answer = EncryptOn;
    if (!m_state.tls)
        answer = EncryptNotSupported;
    else if (asked == EncryptOff || asked == EncryptNotSupported)
        answer = m_state.tlsRequired ? quint8(EncryptRequired) : asked;

    // VERSION, ENCRYPTION, INSTOPT, THREADID, MARS, end.
    const QList<QPair<quint8, QByteArray>> options{
        {0x00, QByteArray::fromHex("0f0007d00000")}, {0x01, QByteArray(1, char(answer))},
        {0x02, QByteArray(1, char(0x00))},           {0x03, QByteArray()},
        {0x04, QByteArray(1, char(0x00))},
    };
    TdsWriter out;
    quint16 offset = quint16(options.size() * 5 + 1);
    for (const auto& [token, data] : options) {
        out.u8(token);
        out.u16be(offset);
        out.u16be(quint16(data.size()));
        offset += quint16(data.size());
    }
    out.u8(0xFF);
    for (const auto& option : options)
        out.bytes(option.second);
    send(out.take());
    qCDebug(lcTds) << "session" << m_sessionId << "encryption asked" << asked << "answered"
                   << answer;
    if (answer == EncryptNotSupported)
        return;
    if (asked == EncryptNotSupported) {
        // A client that cannot encrypt, at a server that requires it.
        m_socket->disconnectFromHost();
        return;
    }
    m_wire = Wire::Handshake;
    m_encryptAll = answer != EncryptOff;
    m_tls = std::make_unique<TdsTls>(*m_state.tls);
}

// The handshake's messages travel inside PRELOGIN packets both ways.
void TdsSession::handshake(const QByteArray& payload)
{
    QByteArray none;
    const bool ok = m_tls->receive(payload, &none);
    if (const QByteArray reply = m_tls->pending(); !reply.isEmpty())
        writeWire(packets(Tds::PreLogin, reply));
    if (!ok) {
        qCDebug(lcTds).noquote() << "session" << m_sessionId << m_tls->error();
        m_socket->disconnectFromHost();
    } else if (m_tls->isEstablished()) {
        m_wire = m_encryptAll ? Wire::Encrypted : Wire::LoginOnly;
    }
}

void TdsSession::login(const QByteArray& payload)
{
    TdsReader in(payload);
    in.u32(); // length
    const quint32 version = in.u32();
    const quint32 packetSize = in.u32();
    in.skip(4 + 4 + 4 + 4 + 4 + 4); // program version, PID, connection id, flags, time zone, LCID
    struct Field
    {
        quint16 offset = 0;
        quint16 length = 0;
    };
    Field fields[9]; // host, user, password, app, server, extension, library, language, database
    for (Field& f : fields) {
        f.offset = in.u16();
        f.length = in.u16();
    }
    auto text = [&](const Field& f) {
        TdsReader r(payload, f.offset);
        return r.utf16(f.length);
    };
    QByteArray scrambled = payload.mid(fields[2].offset, fields[2].length * 2);
    for (char& c : scrambled) {
        const quint8 b = quint8(c) ^ 0xA5;
        c = char(quint8(b << 4 | b >> 4));
    }
    const QString user = text(fields[1]);
    const QString password = Tds::fromUtf16le(scrambled);
    const QString database = text(fields[8]);
    qCDebug(lcTds).noquote() << "session" << m_sessionId << "login" << user << database << "version"
                             << Qt::hex << version;

    m_packetSize = packetSize == 0 ? 4096 : int(qBound(512u, packetSize, 32767u));
    TdsWriter out;
    auto refuse = [&](const QList<TdsMessage>& messages) {
        for (const TdsMessage& m : messages)
            writeMessage(out, m);
        writeDone(out, Tds::DoneToken, Tds::DoneError, 0, 0);
        send(out.take());
        m_socket->disconnectFromHost();
    };
    const TdsMessage loginFailed =
        tdsMessage(18456, 14, 1, QStringLiteral("Login failed for user '%1'.").arg(user));
    if (!in.ok() || version < OldestTdsVersion) {
        refuse({tdsMessage(4002, 16, 1,
                           QStringLiteral("This server speaks TDS 7.2 to 7.4; the client asked for "
                                          "version %1.")
                               .arg(version, 8, 16, QLatin1Char('0')))});
        return;
    }
    if (m_state.refuseLogins.load() || user.compare(m_state.user, Qt::CaseInsensitive) != 0 ||
        password != m_state.password) {
        refuse({loginFailed});
        return;
    }
    m_sql = std::make_unique<TsqlSession>(m_state, m_sessionId);
    if (const auto refused = m_sql->open(database)) {
        refuse({*refused, loginFailed});
        return;
    }
    m_loggedIn = true;
    writeEnvChange(out, {Tds::DatabaseChange, m_sql->database(), QStringLiteral("master")});
    writeMessage(
        out,
        tdsMessage(5701, 0, 2,
                   QStringLiteral("Changed database context to '%1'.").arg(m_sql->database())));
    writeEnvChange(out, {Tds::CollationChange, m_sql->collation().wire(), QByteArray()});
    writeEnvChange(out, {Tds::LanguageChange, QStringLiteral("us_english"), QString()});
    writeMessage(out,
                 tdsMessage(5703, 0, 1, QStringLiteral("Changed language setting to us_english.")));
    out.u8(Tds::LoginAckToken);
    const qsizetype length = out.beginLength16();
    out.u8(1); // SQL_TSQL
    out.bytes(QByteArray::fromHex("74000004"));
    out.bVarchar(u"Microsoft SQL Server");
    out.bytes(QByteArray::fromHex("0f0007d0"));
    out.finishLength16(length);
    writeEnvChange(
        out, {Tds::PacketSizeChange, QString::number(m_packetSize), QString::number(m_packetSize)});
    writeDone(out, Tds::DoneToken, Tds::DoneFinal, 0, 0);
    send(out.take());
}

void TdsSession::sqlBatch(const QByteArray& payload, TdsWriter& out)
{
    TdsReader in(payload);
    skipAllHeaders(in);
    const QList<TdsResult> results = m_sql->execute(in.utf16(in.remaining() / 2));
    if (results.isEmpty())
        writeDone(out, Tds::DoneToken, Tds::DoneFinal, 0, 0);
    for (qsizetype i = 0; i < results.size(); ++i)
        writeResult(out, results.at(i), Tds::DoneToken, i + 1 < results.size());
}

void TdsSession::rpc(const QByteArray& payload, TdsWriter& out)
{
    TdsReader in(payload);
    skipAllHeaders(in);
    QList<Call> calls;
    while (in.ok() && !in.atEnd()) {
        Call call;
        const quint16 nameLength = in.u16();
        if (nameLength == 0xFFFF)
            call.procId = in.u16();
        else
            call.name = in.utf16(nameLength);
        call.options = in.u16();
        while (in.ok() && !in.atEnd()) {
            const quint8 next = quint8(payload.at(in.pos()));
            if (next == 0xFF || next == 0x80) {
                in.skip(1);
                break;
            }
            const auto p = readTdsParameter(in);
            if (!p) {
                writeMessage(out,
                             tdsMessage(8009, 16, 1,
                                        QStringLiteral("The RPC request carries a parameter of a "
                                                       "type this server does not read.")));
                writeDone(out, Tds::DoneToken, Tds::DoneError, 0, 0);
                return;
            }
            call.parameters << *p;
        }
        calls << call;
    }
    for (qsizetype i = 0; i < calls.size(); ++i)
        rpcCall(calls.at(i), i + 1 == calls.size(), out);
}

void TdsSession::rpcCall(const Call& call, bool last, TdsWriter& out)
{
    const QList<TdsParameter>& p = call.parameters;
    QList<TdsResult> results;
    QList<QPair<int, TdsParameter>> outputs;
    auto value = [&](int i) { return i < p.size() ? p.at(i).value : QVariant(); };
    auto output = [&](int i, const QVariant& v) {
        if (i < p.size() && p.at(i).output)
            outputs << intOutput(i, p.at(i), v);
    };
    int procId = call.procId;
    if (procId == 0) {
        static const QHash<QString, int> byName{
            {QStringLiteral("sp_cursoropen"), CursorOpen},
            {QStringLiteral("sp_cursorprepare"), CursorPrepare},
            {QStringLiteral("sp_cursorexecute"), CursorExecute},
            {QStringLiteral("sp_cursorprepexec"), CursorPrepExec},
            {QStringLiteral("sp_cursorunprepare"), CursorUnprepare},
            {QStringLiteral("sp_cursorfetch"), CursorFetch},
            {QStringLiteral("sp_cursoroption"), CursorOption},
            {QStringLiteral("sp_cursorclose"), CursorClose},
            {QStringLiteral("sp_executesql"), ExecuteSql},
            {QStringLiteral("sp_prepare"), Prepare},
            {QStringLiteral("sp_execute"), Execute},
            {QStringLiteral("sp_prepexec"), PrepExec},
            {QStringLiteral("sp_unprepare"), Unprepare}};
        QString name = call.name.toLower();
        name = name.mid(name.lastIndexOf(u'.') + 1);
        procId = byName.value(name, 0);
    }
    // Runs a statement as a server cursor: the rows wait here for fetches.
    auto openCursor = [&](const QString& sql, const QList<TdsParameter>& values, int cursorArg,
                          int scrollArg, int ccArg, int rowCountArg) {
        results = m_sql->execute(sql, values);
        const auto rows = std::find_if(results.begin(), results.end(),
                                       [](const TdsResult& r) { return r.hasRows && !r.error; });
        int handle = 0;
        qint64 rowCount = -1;
        if (rows != results.end()) {
            handle = m_nextCursor++;
            m_cursors.insert(handle, Cursor{rows->columns, rows->rows});
            rowCount = rows->rows.size();
            // The metadata goes out now; the rows with each fetch.
            rows->rows.clear();
            rows->rowCount = -1;
        }
        output(cursorArg, handle);
        output(scrollArg, value(scrollArg));
        output(ccArg, value(ccArg));
        output(rowCountArg, rowCount);
    };
    switch (procId) {
    case ExecuteSql:
        results = m_sql->executeProcedure(QStringLiteral("sp_executesql"), p);
        break;
    case Prepare:
    case PrepExec: {
        const int handle = m_nextHandle++;
        m_prepared.insert(handle, {value(1).toString(), value(2).toString()});
        output(0, handle);
        if (procId == PrepExec) {
            results = m_sql->execute(value(2).toString(),
                                     TsqlSession::named(value(1).toString(), p.mid(3)));
        } else if (const auto columns = m_sql->describe(value(2).toString()); !columns.isEmpty()) {
            // sp_prepare answers with the result's metadata: drivers describe
            // a prepared statement's columns from it.
            TdsResult metadata;
            metadata.hasRows = true;
            metadata.columns = columns;
            results << metadata;
        }
        break;
    }
    case Execute:
        if (!m_prepared.contains(value(0).toInt())) {
            TdsResult r;
            r.error = true;
            r.messages << tdsMessage(
                8179, 16, 2,
                QStringLiteral("Could not find prepared statement with handle %1.")
                    .arg(value(0).toInt()));
            results << r;
        } else {
            const Prepared prepared = m_prepared.value(value(0).toInt());
            results =
                m_sql->execute(prepared.sql, TsqlSession::named(prepared.declaration, p.mid(1)));
        }
        break;
    case Unprepare:
    case CursorUnprepare:
        m_prepared.remove(value(0).toInt());
        break;
    case CursorOpen:
        openCursor(value(1).toString(), TsqlSession::named(value(5).toString(), p.mid(6)), 0, 2, 3,
                   4);
        break;
    case CursorPrepare: {
        const int handle = m_nextHandle++;
        m_prepared.insert(handle, {value(1).toString(), value(2).toString()});
        output(0, handle);
        output(4, value(4));
        output(5, value(5));
        break;
    }
    case CursorPrepExec: {
        const int handle = m_nextHandle++;
        m_prepared.insert(handle, {value(2).toString(), value(3).toString()});
        output(0, handle);
        openCursor(value(3).toString(), TsqlSession::named(value(2).toString(), p.mid(7)), 1, 4, 5,
                   6);
        break;
    }
    case CursorExecute: {
        const Prepared prepared = m_prepared.value(value(0).toInt());
        openCursor(prepared.sql, TsqlSession::named(prepared.declaration, p.mid(5)), 1, 2, 3, 4);
        break;
    }
    case CursorFetch:
        cursorFetch(call, out, outputs);
        break;
    case CursorClose:
        m_cursors.remove(value(0).toInt());
        break;
    case CursorOption:
        break;
    default:
        results = m_sql->executeProcedure(call.name, p);
    }
    bool failed = false;
    int returnStatus = 0;
    for (const TdsResult& r : results) {
        writeResult(out, r, Tds::DoneInProcToken, true);
        failed = failed || r.error;
        if (r.returnStatus)
            returnStatus = *r.returnStatus;
    }
    out.u8(Tds::ReturnStatusToken);
    out.u32(quint32(returnStatus));
    for (const auto& [ordinal, o] : outputs) {
        out.u8(Tds::ReturnValueToken);
        out.u16(quint16(ordinal));
        out.bVarchar(o.name);
        out.u8(0x01);
        out.u32(0);
        out.u16(0x0001);
        o.type.writeTypeInfo(out, m_sql->collation());
        o.type.writeValue(out, o.value, m_sql->collation());
    }
    writeDone(out, Tds::DoneProcToken, (last ? 0 : Tds::DoneMore) | (failed ? Tds::DoneError : 0),
              0, 0);
}

void TdsSession::cursorFetch(const Call& call, TdsWriter& out,
                             QList<QPair<int, TdsParameter>>& outputs)
{
    const QList<TdsParameter>& p = call.parameters;
    const int handle = p.value(0).value.toInt();
    const int type = p.value(1).value.toInt();
    const qint64 rowNumber = p.value(2).value.toLongLong();
    const qint64 count = qMax<qint64>(1, p.value(3).value.toLongLong());
    auto it = m_cursors.find(handle);
    if (it == m_cursors.end()) {
        writeMessage(
            out,
            tdsMessage(16916, 16, 1,
                       QStringLiteral("A cursor with the name '%1' does not exist.").arg(handle)));
        writeDone(out, Tds::DoneInProcToken, Tds::DoneError | Tds::DoneMore, 0, 0);
        return;
    }
    Cursor& c = *it;
    const qint64 size = c.rows.size();
    if (type & FetchInfo) {
        if (p.size() > 2 && p.at(2).output)
            outputs << intOutput(2, p.at(2), c.position + 1);
        if (p.size() > 3 && p.at(3).output)
            outputs << intOutput(3, p.at(3), size);
        return;
    }
    qint64 start = 0;
    if (type & FetchFirst)
        start = 0;
    else if (type & FetchNext)
        start = c.position < 0 ? 0 : c.position + c.fetched;
    else if (type & FetchPrevious)
        start = (c.position < 0 ? size : c.position) - count;
    else if (type & FetchLast)
        start = size - count;
    else if (type & FetchAbsolute)
        start = rowNumber > 0 ? rowNumber - 1 : size + rowNumber;
    else if (type & FetchRelative)
        start = (c.position < 0 ? -1 : c.position) + rowNumber;
    else if (type & FetchRefresh)
        start = c.position;
    const qint64 from = qBound<qint64>(0, start, size);
    const qint64 to = qBound<qint64>(0, start + count, size);
    c.position = qBound<qint64>(-1, start, size);
    c.fetched = to - from;
    if (call.options & NoMetaData) {
        out.u8(Tds::ColMetadataToken);
        out.u16(0xFFFF);
    } else {
        writeColumns(out, c.columns);
    }
    for (qint64 i = from; i < to; ++i)
        writeRow(out, c.columns, c.rows.at(i));
    writeDone(out, Tds::DoneInProcToken, Tds::DoneMore | Tds::DoneCount, Tds::SelectCommand,
              quint64(to - from));
}

void TdsSession::transactionManager(const QByteArray& payload, TdsWriter& out)
{
    TdsReader in(payload);
    skipAllHeaders(in);
    const quint16 request = in.u16();
    TdsResult result;
    switch (request) {
    case 5: { // TM_BEGIN_XACT
        const int isolation = in.u8();
        result = m_sql->beginTransaction(isolation);
        break;
    }
    case 7:   // TM_COMMIT_XACT
    case 8: { // TM_ROLLBACK_XACT
        in.bVarchar();
        const quint8 flags = in.u8();
        const bool beginNew = in.ok() && (flags & 0x01);
        const int isolation = beginNew ? in.u8() : 0;
        result = m_sql->endTransaction(request == 7, beginNew, in.ok() ? isolation : 0);
        break;
    }
    default:
        result.error = true;
        result.messages << tdsMessage(
            8009, 16, 1,
            QStringLiteral("Transaction-manager request %1 is not supported.").arg(request));
    }
    writeResult(out, result, Tds::DoneToken, false);
}

void TdsSession::writeResult(TdsWriter& out, const TdsResult& result, quint8 doneToken, bool more)
{
    for (const TdsEnvChange& change : result.envChanges)
        writeEnvChange(out, change);
    for (const TdsMessage& message : result.messages)
        writeMessage(out, message);
    if (result.hasRows) {
        writeColumns(out, result.columns);
        for (const QVariantList& row : result.rows)
            writeRow(out, result.columns, row);
    }
    if (result.returnStatus && doneToken == Tds::DoneToken) {
        out.u8(Tds::ReturnStatusToken);
        out.u32(quint32(*result.returnStatus));
    }
    quint16 status = more ? Tds::DoneMore : Tds::DoneFinal;
    if (result.error)
        status |= Tds::DoneError;
    if (result.rowCount >= 0)
        status |= Tds::DoneCount;
    writeDone(out, doneToken, status, result.command, quint64(qMax<qint64>(0, result.rowCount)));
}

void TdsSession::writeMessage(TdsWriter& out, const TdsMessage& message)
{
    out.u8(message.isError() ? Tds::ErrorToken : Tds::InfoToken);
    const qsizetype length = out.beginLength16();
    out.u32(quint32(message.number));
    out.u8(quint8(message.state));
    out.u8(quint8(message.severity));
    out.usVarchar(message.text);
    out.bVarchar(ServerName);
    out.bVarchar(u"");
    out.u32(1);
    out.finishLength16(length);
}

void TdsSession::writeColumns(TdsWriter& out, const QList<TdsColumn>& columns)
{
    out.u8(Tds::ColMetadataToken);
    out.u16(quint16(columns.size()));
    for (const TdsColumn& c : columns) {
        out.u32(0); // user type
        quint16 flags = c.nullable ? 0x0001 : 0;
        if (c.identity)
            flags |= 0x0010;
        else if (c.fromTable)
            flags |= 0x0008; // updatable
        out.u16(flags);
        c.type.writeTypeInfo(out, m_sql->collation());
        out.bVarchar(c.name);
    }
}

void TdsSession::writeRow(TdsWriter& out, const QList<TdsColumn>& columns, const QVariantList& row)
{
    out.u8(Tds::RowToken);
    for (qsizetype i = 0; i < columns.size(); ++i)
        columns.at(i).type.writeValue(out, row.value(i), m_sql->collation());
}

void TdsSession::send(const QByteArray& tokens)
{
    writeWire(packets(Tds::Reply, tokens));
}

QByteArray TdsSession::packets(quint8 type, const QByteArray& message)
{
    QByteArray out;
    const qsizetype chunk = m_packetSize - Tds::HeaderSize;
    qsizetype at = 0;
    do {
        const QByteArray part = message.mid(at, chunk);
        at += chunk;
        TdsWriter header;
        header.u8(type);
        header.u8(at >= message.size() ? Tds::EndOfMessage : 0);
        header.u16be(quint16(part.size() + Tds::HeaderSize));
        header.u16be(quint16(m_sessionId));
        header.u8(m_packetId++);
        header.u8(0);
        out += header.data() + part;
    } while (at < message.size());
    return out;
}

void TdsSession::writeWire(const QByteArray& bytes)
{
    if (bytes.isEmpty() || !m_socket || m_socket->state() != QAbstractSocket::ConnectedState)
        return;
    const QByteArray wire = m_wire == Wire::Encrypted ? m_tls->encrypt(bytes) : bytes;
    record("out", wire);
    m_socket->write(wire);
}

void TdsSession::record(const char* direction, const QByteArray& bytes) const
{
    if (m_state.recordFolder.isEmpty() || bytes.isEmpty())
        return;
    QFile file(QDir(m_state.recordFolder)
                   .filePath(QStringLiteral("%1-%2.bin").arg(m_sessionId).arg(direction)));
    if (file.open(QIODevice::Append))
        file.write(bytes);
}
