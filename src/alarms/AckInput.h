#pragma once

#include <QString>

// The name and comment of an acknowledgement come from whoever typed them, on the desktop or from
// a phone: they are bounded and hold no control or formatting character (no line break, no
// direction override), so that no output (an e-mail header, a chat message, a page, a log line)
// can be bent by them. Each check gives the text as stored, or an error text saying why not.
namespace AckInput {
constexpr int MaxNameLength = 60;
constexpr int MaxCommentLength = 500;

// A name of 1 to MaxNameLength characters after trimming. Empty on success, else why not.
QString CheckName(const QString &typed, QString &name);
// A comment of at most MaxCommentLength characters after trimming; it may be empty.
QString CheckComment(const QString &typed, QString &comment);
// A text from elsewhere (a resolution of several lines) as a comment: line breaks become " / ",
// other control characters blanks, cut to MaxCommentLength.
QString CommentFrom(const QString &text);
} // namespace AckInput
