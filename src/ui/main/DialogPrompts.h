#pragma once

#include <core/Prompts.h>

class QWidget;

// Prompts shown as real message boxes and file dialogs.
class DialogPrompts final : public Prompts {
public:
    explicit DialogPrompts(QWidget *parent = nullptr) : m_parent(parent) {}
    void setParent(QWidget *parent) { m_parent = parent; }

    Answer ask(const QString &text, const QString &title, Buttons buttons, Icon icon) override;
    Answer askAndAct(const QString &text, const QString &title, Buttons buttons, Icon icon,
                     const std::function<void(Answer)> &onAnswer) override;
    QString saveFileName(const QString &title, const QString &suggested, const QString &filter) override;
    QString directoryName(const QString &title, const QString &start) override;
    void beep() override;

private:
    QWidget *owner() const;

    QWidget *m_parent;
};
