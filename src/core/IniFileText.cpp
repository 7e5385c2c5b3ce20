#include "IniFileText.h"

#include <QStringEncoder>

namespace {
bool isBlank(char c)
{
    return c == ' ' || c == '\t';
}

bool isHexDigit(char16_t c)
{
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

// A value continues on the next line when its line ends in an odd number of backslashes.
bool continues(const QByteArray &line)
{
    qsizetype backslashes = 0;
    for (qsizetype i = line.size() - 1; i >= 0 && line.at(i) == '\\'; --i)
        ++backslashes;
    return backslashes % 2 == 1;
}

// Where the value of a key line begins (after "=" and the blanks that follow it).
qsizetype valueStart(const QByteArray &line)
{
    qsizetype at = line.indexOf('=') + 1;
    while (at < line.size() && isBlank(line.at(at)))
        ++at;
    return at;
}

// What follows the value on its line: the blanks and a comment (";" outside quotes); empty when
// there is no comment.
QByteArray trailingComment(const QByteArray &line, qsizetype from)
{
    bool quoted = false;
    for (qsizetype i = from; i < line.size(); ++i) {
        const char c = line.at(i);
        if (c == '\\') {
            ++i;
        } else if (c == '"') {
            quoted = !quoted;
        } else if (c == ';' && !quoted) {
            qsizetype end = i;
            while (end > from && isBlank(line.at(end - 1)))
                --end;
            const QByteArray comment = line.mid(end);
            return isBlank(comment.at(0)) ? comment : ' ' + comment;
        }
    }
    return QByteArray();
}

// The line of a key with a new value: the name and the spacing around "=" as written, and a
// comment after the value kept.
QByteArray replacedValue(const QByteArray &line, const QByteArray &value)
{
    const qsizetype start = valueStart(line);
    if (line.contains('\n'))
        return line.left(start) + value;
    return line.left(start) + value + trailingComment(line, start);
}
} // namespace

IniFileText::IniFileText(const QByteArray &text)
{
    parse(text);
}

void IniFileText::parse(const QByteArray &text)
{
    QList<QByteArray> raw = text.split('\n');
    m_endsWithNewline = text.isEmpty() || text.endsWith('\n');
    if (text.endsWith('\n') || text.isEmpty())
        raw.removeLast();
    if (!raw.isEmpty() && raw.first().endsWith('\r'))
        m_newline = QByteArrayLiteral("\r\n");
    QString section;
    for (qsizetype i = 0; i < raw.size(); ++i) {
        Line line;
        line.text = raw.at(i);
        if (line.text.endsWith('\r'))
            line.text.chop(1);
        const QByteArray trimmed = line.text.trimmed();
        if (trimmed.startsWith('[')) {
            const qsizetype close = trimmed.indexOf(']');
            section = DecodedName(trimmed.mid(1, close < 0 ? -1 : close - 1).trimmed());
            line.header = true;
        } else if (!trimmed.isEmpty() && !trimmed.startsWith(';') && trimmed.contains('=')) {
            line.key = DecodedName(trimmed.left(trimmed.indexOf('=')).trimmed());
            while (continues(line.text) && i + 1 < raw.size()) {
                QByteArray next = raw.at(++i);
                if (next.endsWith('\r'))
                    next.chop(1);
                line.text += '\n' + next;
            }
        }
        line.section = section;
        m_lines.append(line);
    }
}

QByteArray IniFileText::text() const
{
    QByteArray out;
    for (const Line &line : m_lines) {
        QByteArray text = line.text;
        if (m_newline.size() > 1)
            text.replace('\n', m_newline);
        out += text + m_newline;
    }
    if (!m_endsWithNewline && !out.isEmpty())
        out.chop(m_newline.size());
    return out;
}

QStringList IniFileText::keys(const QString &section) const
{
    QStringList found;
    for (const Line &line : m_lines) {
        if (!line.key.isEmpty() && line.section == section && !found.contains(line.key))
            found.append(line.key);
    }
    return found;
}

void IniFileText::insert(int at, const Line &line)
{
    m_lines.insert(at, line);
    m_changed = true;
}

int IniFileText::placeForKey(const QString &section) const
{
    for (int i = int(m_lines.size()) - 1; i >= 0; --i) {
        const Line &line = m_lines.at(i);
        if (line.section == section && (line.header || !line.key.isEmpty()))
            return i;
    }
    return -1;
}

void IniFileText::setValue(const QString &section, const QString &key, const QVariant &value)
{
    const QByteArray encoded = EncodedValue(value);
    bool found = false;
    for (Line &line : m_lines) {
        if (line.key != key || line.section != section)
            continue;
        found = true;
        const QByteArray replaced = replacedValue(line.text, encoded);
        if (replaced != line.text) {
            line.text = replaced;
            m_changed = true;
        }
    }
    if (found)
        return;
    Line line;
    line.section = section;
    line.key = key;
    line.text = EncodedName(key) + '=' + encoded;
    const int at = placeForKey(section);
    if (at >= 0) {
        insert(at + 1, line);
        return;
    }
    Line header;
    header.section = section;
    header.header = true;
    header.text = '[' + EncodedName(section) + ']';
    // A blank line between sections, as QSettings writes them.
    if (!m_lines.isEmpty() && !m_lines.last().text.trimmed().isEmpty())
        insert(int(m_lines.size()), Line{QByteArray(), m_lines.last().section, QString(), false});
    insert(int(m_lines.size()), header);
    insert(int(m_lines.size()), line);
}

void IniFileText::remove(const QString &section, const QString &key)
{
    const qsizetype before = m_lines.size();
    m_lines.removeIf([&](const Line &line) { return line.key == key && line.section == section; });
    m_changed = m_changed || m_lines.size() != before;
}

void IniFileText::removeSection(const QString &section)
{
    for (int header = int(m_lines.size()) - 1; header >= 0; --header) {
        if (!m_lines.at(header).header || m_lines.at(header).section != section)
            continue;
        int last = header;
        for (int i = header + 1; i < m_lines.size() && !m_lines.at(i).header; ++i) {
            if (!m_lines.at(i).key.isEmpty())
                last = i;
        }
        m_lines.remove(header, last - header + 1);
        m_changed = true;
        // No two blank lines where the section was, nor one at the start.
        const bool blankBefore = header > 0 && m_lines.at(header - 1).text.trimmed().isEmpty();
        const bool blankAfter = header < m_lines.size() && m_lines.at(header).text.trimmed().isEmpty();
        if (blankAfter && (header == 0 || blankBefore))
            m_lines.remove(header);
        else if (header == m_lines.size() && blankBefore)
            m_lines.remove(header - 1);
    }
}

QByteArray IniFileText::EncodedValue(const QVariant &value)
{
    QString text = value.toString();
    if (text.contains(QChar::Null))
        text = QStringLiteral("@String(") + text + QLatin1Char(')');
    else if (text.startsWith(QLatin1Char('@')))
        text.prepend(QLatin1Char('@'));
    QByteArray out;
    QStringEncoder utf8(QStringEncoder::Utf8);
    bool quotes = false;
    bool escapeHexDigit = false; // a hex digit after "\x.." would be read as part of it
    for (const QChar c : std::as_const(text)) {
        const char16_t ch = c.unicode();
        if (ch == ';' || ch == ',' || ch == '=')
            quotes = true;
        if (escapeHexDigit && isHexDigit(ch)) {
            out += "\\x" + QByteArray::number(ch, 16);
            continue;
        }
        escapeHexDigit = false;
        switch (ch) {
        case 0:
            out += "\\0";
            escapeHexDigit = true;
            break;
        case '\a':
            out += "\\a";
            break;
        case '\b':
            out += "\\b";
            break;
        case '\f':
            out += "\\f";
            break;
        case '\n':
            out += "\\n";
            break;
        case '\r':
            out += "\\r";
            break;
        case '\t':
            out += "\\t";
            break;
        case '\v':
            out += "\\v";
            break;
        case '"':
        case '\\':
            out += '\\';
            out += char(ch);
            break;
        default:
            if (ch <= 0x1f) {
                out += "\\x" + QByteArray::number(ch, 16);
                escapeHexDigit = true;
            } else {
                out += utf8(QStringView(&c, 1));
            }
        }
    }
    if (quotes || out.startsWith(' ') || out.endsWith(' '))
        return '"' + out + '"';
    return out;
}

QByteArray IniFileText::EncodedName(const QString &name)
{
    QByteArray out;
    for (const QChar c : name) {
        const char16_t ch = c.unicode();
        if (ch == '/')
            out += '\\';
        else if ((ch >= 'a' && ch <= 'z') || (ch >= 'A' && ch <= 'Z') || (ch >= '0' && ch <= '9') ||
                 ch == '_' || ch == '-' || ch == '.')
            out += char(ch);
        else if (ch <= 0xff)
            out += '%' + QByteArray::number(ch, 16).toUpper().rightJustified(2, '0');
        else
            out += "%U" + QByteArray::number(ch, 16).toUpper().rightJustified(4, '0');
    }
    return out;
}

QString IniFileText::DecodedName(const QByteArray &encoded)
{
    QString out;
    QByteArray plain; // bytes between escapes, UTF-8
    const auto flush = [&] {
        out += QString::fromUtf8(plain);
        plain.clear();
    };
    for (qsizetype i = 0; i < encoded.size(); ++i) {
        const char c = encoded.at(i);
        bool ok = false;
        if (c == '\\') {
            plain += '/';
        } else if (c == '%' && encoded.mid(i + 1, 1) == "U" && i + 5 < encoded.size()) {
            const ushort code = encoded.mid(i + 2, 4).toUShort(&ok, 16);
            if (ok) {
                flush();
                out += QChar(code);
                i += 5;
            }
        } else if (c == '%' && i + 2 < encoded.size()) {
            const ushort code = encoded.mid(i + 1, 2).toUShort(&ok, 16);
            if (ok) {
                flush();
                out += QChar(code);
                i += 2;
            }
        }
        if (!ok && c != '\\')
            plain += c;
    }
    flush();
    return out;
}
