#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

// A database collation: its five bytes on the wire and the code page that
// non-Unicode text (varchar values, literals without N) is stored in.
class TdsCollation
{
public:
    static constexpr const char* DefaultName = "Korean_Wansung_CI_AS";

    // Korean_Wansung_*, Latin1_General_*, SQL_Latin1_General_CP1_* and any
    // *_UTF8 name of those; nullopt for a name we do not know.
    static std::optional<TdsCollation> fromName(const QString& name);
    // The collation a client sent with a value; code page 1252 for one we
    // do not know.
    static TdsCollation fromWire(const QByteArray& wire);

    QString name() const { return m_name; }
    QByteArray wire() const;
    bool isCaseInsensitive() const;

    // Text in the code page; a character it cannot hold becomes '?' (one per
    // UTF-16 unit), as SQL Server stores it.
    QByteArray encode(QStringView text) const;
    QString decode(const QByteArray& bytes) const;
    // What a varchar value keeps of the text: encode, then decode.
    QString narrow(const QString& text) const { return decode(encode(text)); }

private:
    QString m_name;
    quint32 m_lcid = 0;
    quint8 m_flags = 0;
    quint8 m_version = 0;
    quint8 m_sortId = 0;
    QByteArray m_codec = "CP1252";
};
