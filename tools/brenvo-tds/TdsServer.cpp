#include "TdsServer.h"

#include "TdsServerState.h"
#include "TdsSession.h"
#include "TdsTls.h"
#include "TsqlSession.h"

#include <QDir>
#include <QFile>
#include <QTcpServer>
#include <QThread>

// Accepts connections on a thread of its own and gives each session a
// thread: a session may wait on SQLite's lock for another session, and the
// client of a test blocks the thread that started the server.
class TdsListener : public QTcpServer
{
public:
    explicit TdsListener(TdsServerState& state) : m_state(state) {}

    // Waits for every session's thread to end (after the sessions dropped).
    void joinSessions()
    {
        for (QThread* thread : std::as_const(m_threads)) {
            thread->wait();
            delete thread;
        }
        m_threads.clear();
    }

protected:
    void incomingConnection(qintptr descriptor) override
    {
        for (auto it = m_threads.begin(); it != m_threads.end();) {
            if ((*it)->isFinished()) {
                delete *it;
                it = m_threads.erase(it);
            } else {
                ++it;
            }
        }
        auto* thread = new QThread;
        auto* session = new TdsSession(m_state);
        session->moveToThread(thread);
        connect(session, &QObject::destroyed, thread, &QThread::quit, Qt::DirectConnection);
        connect(thread, &QThread::started, session,
                [session, descriptor] { session->start(descriptor); });
        m_threads << thread;
        thread->start();
    }

private:
    TdsServerState& m_state;
    QList<QThread*> m_threads;
};

TdsServer::TdsServer(QObject* parent) : QObject(parent), m_state(std::make_unique<TdsServerState>())
{
}

TdsServer::~TdsServer()
{
    stop();
}

bool TdsServer::start(const Options& options, quint16 port, QString* error)
{
    stop();
    QFile file(options.schemaFile);
    if (!file.open(QIODevice::ReadOnly)) {
        *error = QStringLiteral("cannot read the schema %1: %2")
                     .arg(options.schemaFile, file.errorString());
        return false;
    }
    QString schemaError;
    auto schema = TdsSchema::parse(QString::fromUtf8(file.readAll()), &schemaError);
    if (!schema) {
        *error = QStringLiteral("%1: %2").arg(options.schemaFile, schemaError);
        return false;
    }
    if (options.databases.isEmpty()) {
        *error = QStringLiteral("no database to serve");
        return false;
    }
    QList<TdsDatabase> databases;
    for (const Database& d : options.databases) {
        QString name = d.collation;
        if (name.isEmpty())
            name = schema->collationFor(d.name);
        if (name.isEmpty())
            name = options.defaultCollation;
        const auto collation = TdsCollation::fromName(name);
        if (!collation) {
            *error = QStringLiteral("unknown collation %1").arg(name);
            return false;
        }
        const TdsDatabase database{d.name, d.file, *collation};
        if (!TsqlSession::prepareFile(database, *schema, error))
            return false;
        databases << database;
    }
    m_state->tls.reset();
    if (options.encryption != Encryption::None) {
        m_state->tls = TdsTlsContext::create(options.certificateFile, options.keyFile, error);
        if (!m_state->tls)
            return false;
    }
    m_state->tlsRequired = options.encryption == Encryption::Required;
    m_state->recordFolder = options.recordFolder;
    if (!options.recordFolder.isEmpty() && !QDir().mkpath(options.recordFolder)) {
        *error = QStringLiteral("cannot make %1").arg(options.recordFolder);
        return false;
    }
    m_state->user = options.user;
    m_state->password = options.password;
    m_state->databases = databases;
    m_state->schema = *schema;

    auto thread = std::make_unique<QThread>();
    auto* listener = new TdsListener(*m_state);
    listener->moveToThread(thread.get());
    thread->start();
    bool listening = false;
    QMetaObject::invokeMethod(
        listener,
        [&] {
            listening = listener->listen(options.address, port);
            if (!listening) {
                *error = listener->errorString();
                delete listener;
            }
        },
        Qt::BlockingQueuedConnection);
    if (!listening) {
        thread->quit();
        thread->wait();
        return false;
    }
    m_port = listener->serverPort();
    m_options = options;
    m_listener = listener;
    m_thread = std::move(thread);
    return true;
}

void TdsServer::stop()
{
    if (!m_listener)
        return;
    QMetaObject::invokeMethod(
        m_listener, [this] { m_listener->close(); }, Qt::BlockingQueuedConnection);
    m_state->dropAll();
    m_listener->joinSessions();
    QMetaObject::invokeMethod(
        m_listener, [this] { delete m_listener; }, Qt::BlockingQueuedConnection);
    m_listener = nullptr;
    m_thread->quit();
    m_thread->wait();
    m_thread.reset();
}

bool TdsServer::isRunning() const
{
    return m_listener != nullptr;
}

int TdsServer::connectionCount() const
{
    return m_state->sessionCount();
}

void TdsServer::setRefuseLogins(bool refuse)
{
    m_state->refuseLogins = refuse;
}

void TdsServer::dropConnections()
{
    m_state->dropAll();
}

void TdsServer::dropAfter(int requests)
{
    m_state->dropAfter(requests);
}

void TdsServer::dropOn(const QRegularExpression& pattern)
{
    m_state->dropOn(pattern);
}

void TdsServer::setAnswerDelay(int ms)
{
    m_state->answerDelayMs = ms;
}

void TdsServer::setClock(const QDateTime& at, bool frozen)
{
    m_state->setClock(at, frozen);
}

void TdsServer::resetClock()
{
    m_state->resetClock();
}
