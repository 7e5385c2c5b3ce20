#include "AckInput.h"

namespace {
bool forbidden(char32_t c)
{
    const QChar::Category kind = QChar::category(c);
    return kind == QChar::Other_Control || kind == QChar::Other_Format || kind == QChar::Other_Surrogate ||
           kind == QChar::Separator_Line || kind == QChar::Separator_Paragraph;
}

// Calls take(code point, its text) for each character of the text; a surrogate alone is a character
// of its own (one that is forbidden).
template <typename Take> void eachCharacter(const QString &text, Take take)
{
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        if (c.isHighSurrogate() && i + 1 < text.size() && text.at(i + 1).isLowSurrogate()) {
            take(QChar::surrogateToUcs4(c, text.at(i + 1)), text.mid(i, 2));
            ++i;
        } else {
            take(char32_t(c.unicode()), QString(c));
        }
    }
}

bool hasForbidden(const QString &text)
{
    bool found = false;
    eachCharacter(text, [&found](char32_t c, const QString &) { found = found || forbidden(c); });
    return found;
}

QString check(const QString &typed, QString &stored, const QString &what, int minimum, int maximum)
{
    stored.clear();
    const QString text = typed.trimmed();
    if (text.size() < minimum)
        return QStringLiteral("A %1 is required.").arg(what);
    if (text.size() > maximum)
        return QStringLiteral("The %1 may have at most %2 characters.").arg(what).arg(maximum);
    if (hasForbidden(text))
        return QStringLiteral("The %1 may not hold line breaks or other control characters.").arg(what);
    stored = text;
    return {};
}
} // namespace

namespace AckInput {
QString CheckName(const QString &typed, QString &name)
{
    return check(typed, name, QStringLiteral("name"), 1, MaxNameLength);
}

QString CheckComment(const QString &typed, QString &comment)
{
    return check(typed, comment, QStringLiteral("comment"), 0, MaxCommentLength);
}

QString CommentFrom(const QString &text)
{
    QString line = text.trimmed();
    line.replace(QStringLiteral("\r\n"), QStringLiteral(" / "));
    line.replace(QLatin1Char('\r'), QStringLiteral(" / ")).replace(QLatin1Char('\n'), QStringLiteral(" / "));
    QString clean;
    clean.reserve(line.size());
    eachCharacter(line, [&clean](char32_t c, const QString &text) {
        clean += forbidden(c) ? QStringLiteral(" ") : text;
    });
    if (clean.size() > MaxCommentLength) {
        clean.truncate(MaxCommentLength);
        if (clean.back().isHighSurrogate())
            clean.chop(1);
    }
    return clean.trimmed();
}
} // namespace AckInput
