#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>
#include <QVariant>

// The text of an INI file in the form QSettings reads, changed one key at a time. Only the lines
// of the keys changed are written, in QSettings' own encoding; every other line stays as the
// operator wrote it: comments, blank lines, the order of sections and keys, spacing, keys and
// sections this program does not know. A new key goes after the last key of its section, a new
// section at the end.
//
// Sections and keys are named as QSettings names them ("web", "notify.Cold room"); a key's value
// is taken from the last line that sets it, as QSettings does, and every line that sets it is
// rewritten.
class IniFileText {
public:
    explicit IniFileText(const QByteArray &text = QByteArray());

    void setValue(const QString &section, const QString &key, const QVariant &value);
    void remove(const QString &section, const QString &key);
    // The section's header and keys; comments after its last key stay (they may be about the
    // next section).
    void removeSection(const QString &section);
    // The keys the section sets, in the order of the file.
    QStringList keys(const QString &section) const;

    QByteArray text() const;
    // Whether any line was changed, added or removed.
    bool changed() const { return m_changed; }

    // A value as QSettings writes it (quoted, escaped, UTF-8).
    static QByteArray EncodedValue(const QVariant &value);
    // A section or key name as QSettings writes it.
    static QByteArray EncodedName(const QString &name);
    static QString DecodedName(const QByteArray &encoded);

private:
    // One line of the file without its line break; a key's value continued on the next lines
    // (a line ending in a backslash) is one Line holding them all.
    struct Line {
        QByteArray text;
        QString section; // the section the line is in ("" before the first header)
        QString key;     // empty on lines other than a key's
        bool header = false;
    };

    void parse(const QByteArray &text);
    // The line after which a new key of the section goes; -1 when the section has none.
    int placeForKey(const QString &section) const;
    void insert(int at, const Line &line);

    QList<Line> m_lines;
    QByteArray m_newline = QByteArrayLiteral("\n");
    bool m_endsWithNewline = true;
    bool m_changed = false;
};
