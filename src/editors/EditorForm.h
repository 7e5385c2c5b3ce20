#pragma once

#include <QHash>
#include <QObject>
#include <QSet>
#include <QString>
#include <QStringList>

// The state of an editor window's controls, kept apart from the widgets: the text of every text
// box, the selected item of every option pair and list, which controls are shown and enabled,
// which boxes are marked in yellow, the progress text and the status list. Controls are named
// by key: the control's name with its index ("txtLL_3"), or its name alone. The window shows
// this state and writes what the operator types back into it; the editor's engine reads and
// changes only this.
class EditorForm final : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;

    QString text(const QString &key) const { return m_texts.value(key); }
    void setText(const QString &key, const QString &text);
    // The selected item, -1 for none.
    int choice(const QString &key) const { return m_choices.value(key, -1); }
    void setChoice(const QString &key, int index);

    // Controls are shown and enabled unless set otherwise.
    bool shown(const QString &key) const { return !m_hidden.contains(key); }
    void setShown(const QString &key, bool shown);
    bool enabled(const QString &key) const { return !m_disabled.contains(key); }
    void setEnabled(const QString &key, bool enabled);
    // A box whose value was refused (yellow background).
    bool marked(const QString &key) const { return m_marked.contains(key); }
    void setMarked(const QString &key, bool marked);
    bool anyMarked() const { return !m_marked.isEmpty(); }
    void requestFocus(const QString &key) { emit focusRequested(key); }

    // The progress label: shown while not empty.
    const QString &statusText() const { return m_statusText; }
    void setStatusText(const QString &text);
    // The status list: messages appended one per line.
    const QStringList &messages() const { return m_messages; }
    void addMessage(const QString &message);
    void clearMessages();

signals:
    void textChanged(const QString &key);
    void choiceChanged(const QString &key);
    void shownChanged(const QString &key);
    void enabledChanged(const QString &key);
    void markedChanged(const QString &key);
    void focusRequested(const QString &key);
    void statusTextChanged(const QString &text);
    void messageAdded(const QString &message);
    void messagesCleared();

private:
    QHash<QString, QString> m_texts;
    QHash<QString, int> m_choices;
    QSet<QString> m_hidden;
    QSet<QString> m_disabled;
    QSet<QString> m_marked;
    QString m_statusText;
    QStringList m_messages;
};
