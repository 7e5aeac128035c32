#include "common/OrderedJson.h"

namespace {

constexpr char hexDigits[] = "0123456789abcdef";

} // namespace

void OrderedJsonObject::appendString(QByteArray& out, const QString& value) {
    const QByteArray utf8 = value.toUtf8();
    out.append('"');
    for (const char c : utf8) {
        const auto byte = static_cast<unsigned char>(c);
        switch (c) {
        case '"':
            out.append("\\\"");
            break;
        case '\\':
            out.append("\\\\");
            break;
        case '/':
            out.append("\\/");
            break;
        case '\n':
            out.append("\\n");
            break;
        case '\r':
            out.append("\\r");
            break;
        case '\t':
            out.append("\\t");
            break;
        case '\b':
            out.append("\\b");
            break;
        case '\f':
            out.append("\\f");
            break;
        default:
            if (byte < 0x20) {
                out.append("\\u00");
                out.append(hexDigits[byte >> 4]);
                out.append(hexDigits[byte & 0xF]);
            } else {
                out.append(c);
            }
        }
    }
    out.append('"');
}

void OrderedJsonObject::appendKey(const char* key) {
    if (!m_body.isEmpty()) {
        m_body.append(',');
    }
    appendString(m_body, QString::fromUtf8(key));
    m_body.append(':');
}

OrderedJsonObject& OrderedJsonObject::add(const char* key, const QString& value) {
    appendKey(key);
    appendString(m_body, value);
    return *this;
}

OrderedJsonObject& OrderedJsonObject::add(const char* key, std::int64_t value) {
    appendKey(key);
    m_body.append(QByteArray::number(static_cast<qlonglong>(value)));
    return *this;
}

OrderedJsonObject& OrderedJsonObject::add(const char* key, std::uint64_t value) {
    appendKey(key);
    m_body.append(QByteArray::number(static_cast<qulonglong>(value)));
    return *this;
}

OrderedJsonObject& OrderedJsonObject::add(const char* key, bool value) {
    appendKey(key);
    m_body.append(value ? "true" : "false");
    return *this;
}

QByteArray OrderedJsonObject::toJson() const { return '{' + m_body + '}'; }
