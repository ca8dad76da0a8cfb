#include "TdsCollation.h"

#include "TdsWire.h"

#include <QStringList>
#include <QtEndian>

#include <iconv.h>

namespace {

// Bits of the collation's flag byte.
enum : quint8
{
    IgnoreCase = 0x01,
    IgnoreAccent = 0x02,
    IgnoreKana = 0x04,
    IgnoreWidth = 0x08,
    Binary = 0x10,
    Binary2 = 0x20,
    Utf8 = 0x40,
};

struct Designator
{
    const char* prefix;
    quint32 lcid;
    const char* codec;
};

// The collation families this server knows: the program's Korean one and
// the two a test compares it with. Qt 6.4 has no CP949 codec, so code pages
// go through glibc's iconv.
constexpr Designator designators[] = {
    {"Korean_Wansung_", 0x0412, "CP949"},      {"Korean_90_", 0x0412, "CP949"},
    {"Korean_100_", 0x0412, "CP949"},          {"SQL_Latin1_General_CP1_", 0x0409, "CP1252"},
    {"Latin1_General_100_", 0x0409, "CP1252"}, {"Latin1_General_", 0x0409, "CP1252"},
};

// Converts with iconv, putting '?' (one per UTF-16 unit) where the target
// cannot hold a character.
QByteArray convert(const char* to, const char* from, const QByteArray& input, int unitSize)
{
    iconv_t cd = iconv_open(to, from);
    if (cd == iconv_t(-1))
        return {};
    QByteArray out;
    QByteArray buffer(4 * input.size() + 16, Qt::Uninitialized);
    char* in = const_cast<char*>(input.constData());
    size_t inLeft = size_t(input.size());
    while (inLeft > 0) {
        char* dst = buffer.data();
        size_t dstLeft = size_t(buffer.size());
        const size_t rc = iconv(cd, &in, &inLeft, &dst, &dstLeft);
        out.append(buffer.constData(), buffer.size() - qsizetype(dstLeft));
        if (rc != size_t(-1))
            break;
        if (errno == E2BIG)
            continue;
        // EILSEQ or EINVAL: one unit the other side cannot hold.
        const size_t skip = std::min(size_t(unitSize), inLeft);
        if (qstrcmp(to, "UTF-16LE") == 0)
            out.append("?\0", 2);
        else
            out.append('?');
        in += skip;
        inLeft -= skip;
        iconv(cd, nullptr, nullptr, nullptr, nullptr);
    }
    iconv_close(cd);
    return out;
}

} // namespace

std::optional<TdsCollation> TdsCollation::fromName(const QString& name)
{
    for (const Designator& d : designators) {
        if (!name.startsWith(QLatin1String(d.prefix), Qt::CaseInsensitive))
            continue;
        const QStringList style =
            name.mid(qstrlen(d.prefix)).toUpper().split(u'_', Qt::SkipEmptyParts);
        TdsCollation c;
        c.m_name = name;
        c.m_lcid = d.lcid;
        c.m_codec = d.codec;
        c.m_version = name.contains(QLatin1String("_100_"))  ? 2
                      : name.contains(QLatin1String("_90_")) ? 1
                                                             : 0;
        // Kana type and width are ignored unless KS and WS are named.
        c.m_flags = IgnoreKana | IgnoreWidth;
        bool known = !style.isEmpty();
        for (const QString& part : style) {
            if (part == u"CI")
                c.m_flags |= IgnoreCase;
            else if (part == u"AI")
                c.m_flags |= IgnoreAccent;
            else if (part == u"KS")
                c.m_flags &= ~IgnoreKana;
            else if (part == u"WS")
                c.m_flags &= ~IgnoreWidth;
            else if (part == u"BIN")
                c.m_flags = Binary;
            else if (part == u"BIN2")
                c.m_flags = Binary2;
            else if (part == u"UTF8") {
                c.m_flags |= Utf8;
                c.m_codec = "UTF-8";
            } else if (part != u"CS" && part != u"AS" && part != u"SC")
                known = false;
        }
        // SQL collations carry a sort order id instead of flags.
        if (d.lcid == 0x0409 && name.startsWith(QLatin1String("SQL_"), Qt::CaseInsensitive))
            c.m_sortId = (c.m_flags & IgnoreCase) ? 52 : 51;
        if (known)
            return c;
    }
    return std::nullopt;
}

TdsCollation TdsCollation::fromWire(const QByteArray& wire)
{
    TdsCollation c;
    if (wire.size() < 5)
        return c;
    const quint32 info = qFromLittleEndian<quint32>(wire.constData());
    c.m_lcid = info & 0xFFFFF;
    c.m_flags = quint8(info >> 20);
    c.m_version = quint8(info >> 28);
    c.m_sortId = quint8(wire.at(4));
    c.m_codec = (c.m_flags & Utf8) ? "UTF-8" : c.m_lcid == 0x0412 ? "CP949" : "CP1252";
    return c;
}

QByteArray TdsCollation::wire() const
{
    const quint32 info = (m_lcid & 0xFFFFF) | (quint32(m_flags) << 20) | (quint32(m_version) << 28);
    QByteArray out(5, Qt::Uninitialized);
    qToLittleEndian(info, out.data());
    out[4] = char(m_sortId);
    return out;
}

bool TdsCollation::isCaseInsensitive() const
{
    return m_flags & IgnoreCase;
}

QByteArray TdsCollation::encode(QStringView text) const
{
    return convert(m_codec.constData(), "UTF-16LE", Tds::utf16le(text), 2);
}

QString TdsCollation::decode(const QByteArray& bytes) const
{
    return Tds::fromUtf16le(convert("UTF-16LE", m_codec.constData(), bytes, 1));
}
