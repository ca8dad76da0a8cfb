#pragma once

#include <QByteArray>
#include <QString>

// Byte-level pieces of the TDS protocol: message types, token codes and
// little-endian readers and writers. Everything here is written by hand
// because no library on Debian speaks TDS as a server.
namespace Tds {

enum MessageType : quint8
{
    SqlBatch = 0x01,
    Rpc = 0x03,
    Reply = 0x04,
    Attention = 0x06,
    TransactionManager = 0x0E,
    Login7 = 0x10,
    PreLogin = 0x12,
};

// Status bits of a packet header.
inline constexpr quint8 EndOfMessage = 0x01;
inline constexpr quint8 ResetConnection = 0x08;
inline constexpr int HeaderSize = 8;

enum TokenCode : quint8
{
    ReturnStatusToken = 0x79,
    ColMetadataToken = 0x81,
    ErrorToken = 0xAA,
    InfoToken = 0xAB,
    ReturnValueToken = 0xAC,
    LoginAckToken = 0xAD,
    RowToken = 0xD1,
    EnvChangeToken = 0xE3,
    DoneToken = 0xFD,
    DoneProcToken = 0xFE,
    DoneInProcToken = 0xFF,
};

enum DoneStatus : quint16
{
    DoneFinal = 0x00,
    DoneMore = 0x01,
    DoneError = 0x02,
    DoneCount = 0x10,
    DoneAttention = 0x20,
};

// The DONE token's "current command" values clients look at.
enum CurrentCommand : quint16
{
    SelectCommand = 0xC1,
    InsertCommand = 0xC3,
    DeleteCommand = 0xC4,
    UpdateCommand = 0xC5,
};

enum EnvChangeType : quint8
{
    DatabaseChange = 1,
    LanguageChange = 2,
    PacketSizeChange = 4,
    CollationChange = 7,
    BeginTransaction = 8,
    CommitTransaction = 9,
    RollbackTransaction = 10,
    ResetConnectionAck = 18,
};

QByteArray utf16le(QStringView text);
QString fromUtf16le(const QByteArray& raw);

} // namespace Tds

// Appends little-endian values and the protocol's length-prefixed strings.
class TdsWriter
{
public:
    void u8(quint8 v) { m_data.append(char(v)); }
    void u16(quint16 v);
    void u16be(quint16 v);
    void u32(quint32 v);
    void u64(quint64 v);
    void bytes(const QByteArray& b) { m_data.append(b); }
    void utf16(QStringView text);
    // Character count in one byte, then UTF-16LE.
    void bVarchar(QStringView text);
    // Character count in two bytes, then UTF-16LE.
    void usVarchar(QStringView text);
    void bVarbyte(const QByteArray& b);

    // A two-byte length placeholder; finish() fills in the bytes written since.
    qsizetype beginLength16();
    void finishLength16(qsizetype at);

    qsizetype size() const { return m_data.size(); }
    const QByteArray& data() const { return m_data; }
    QByteArray take();

private:
    // The bytes of a value already put in wire order.
    template <typename T> void append(T ordered);

    QByteArray m_data;
};

// Reads little-endian values; a read past the end sets a flag and yields 0,
// so a malformed message is detected once, at the end.
class TdsReader
{
public:
    explicit TdsReader(const QByteArray& data, qsizetype from = 0) : m_data(data), m_pos(from) {}

    quint8 u8();
    quint16 u16();
    quint32 u32();
    quint64 u64();
    QByteArray bytes(qsizetype n);
    QString utf16(qsizetype chars);
    QString bVarchar();
    QString usVarchar();
    void skip(qsizetype n) { bytes(n); }

    bool ok() const { return m_ok; }
    bool atEnd() const { return m_pos >= m_data.size(); }
    qsizetype pos() const { return m_pos; }
    qsizetype remaining() const { return m_data.size() - m_pos; }

private:
    bool take(qsizetype n);
    template <typename T> T littleEndian();

    const QByteArray& m_data;
    qsizetype m_pos;
    bool m_ok = true;
};
