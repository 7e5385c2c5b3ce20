#include "FormBinding.h"

#include <editors/EditorForm.h>

#include <QAbstractButton>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <QRegularExpression>

namespace {
// "optRelayLogic_1" gives "optRelayLogic" and 1; names without an index give -1.
int indexOf(const QString &name, QString &group)
{
    static const QRegularExpression pattern(QStringLiteral("^(.+)_(\\d+)$"));
    const auto match = pattern.match(name);
    if (!match.hasMatch())
        return -1;
    group = match.captured(1);
    return match.captured(2).toInt();
}
} // namespace

FormBinding::FormBinding(EditorForm &form, QWidget &root) : QObject(&root), m_form(form)
{
    for (QWidget *widget : root.findChildren<QWidget *>()) {
        if (!widget->objectName().isEmpty())
            bind(widget);
    }
    connect(&form, &EditorForm::textChanged, this, &FormBinding::showText);
    connect(&form, &EditorForm::choiceChanged, this, &FormBinding::showChoice);
    connect(&form, &EditorForm::shownChanged, this, &FormBinding::showState);
    connect(&form, &EditorForm::enabledChanged, this, &FormBinding::showState);
    connect(&form, &EditorForm::markedChanged, this, &FormBinding::showMark);
    connect(&form, &EditorForm::focusRequested, this, [this](const QString &key) {
        for (QWidget *widget : widgets(key))
            widget->setFocus();
    });
    for (auto it = m_widgets.cbegin(); it != m_widgets.cend(); ++it)
        showState(it.key());
}

void FormBinding::bind(QWidget *widget)
{
    const QString name = widget->objectName();
    m_widgets[name].append(widget);
    if (auto *box = qobject_cast<QLineEdit *>(widget)) {
        connect(box, &QLineEdit::textChanged, this,
                [this, name](const QString &text) { m_form.setText(name, text); });
        return;
    }
    if (auto *radio = qobject_cast<QRadioButton *>(widget)) {
        QString group;
        const int index = indexOf(name, group);
        if (index < 0)
            return;
        m_widgets[group].append(widget);
        connect(radio, &QRadioButton::toggled, this, [this, group, index](bool on) {
            if (on)
                m_form.setChoice(group, index);
        });
        return;
    }
    if (auto *list = qobject_cast<QComboBox *>(widget))
        connect(list, &QComboBox::currentIndexChanged, this,
                [this, name](int index) { m_form.setChoice(name, index); });
}

void FormBinding::showText(const QString &key)
{
    const QString text = m_form.text(key);
    for (QWidget *widget : widgets(key)) {
        if (auto *box = qobject_cast<QLineEdit *>(widget)) {
            if (box->text() != text)
                box->setText(text);
        } else if (auto *label = qobject_cast<QLabel *>(widget)) {
            label->setText(text);
        } else if (auto *button = qobject_cast<QAbstractButton *>(widget)) {
            if (!qobject_cast<QRadioButton *>(button))
                button->setText(text);
        }
    }
}

void FormBinding::showChoice(const QString &key)
{
    const int choice = m_form.choice(key);
    for (QWidget *widget : widgets(key)) {
        if (auto *list = qobject_cast<QComboBox *>(widget)) {
            list->setCurrentIndex(choice);
        } else if (auto *radio = qobject_cast<QRadioButton *>(widget)) {
            QString group;
            if (indexOf(radio->objectName(), group) == choice)
                radio->setChecked(true);
        }
    }
}

void FormBinding::showState(const QString &key)
{
    for (QWidget *widget : widgets(key)) {
        widget->setVisible(m_form.shown(key));
        widget->setEnabled(m_form.enabled(key));
    }
}

void FormBinding::showMark(const QString &key)
{
    for (QWidget *widget : widgets(key)) {
        QPalette palette = widget->palette();
        palette.setColor(QPalette::Base, m_form.marked(key) ? QColor(255, 255, 0) : QColor(255, 255, 255));
        widget->setPalette(palette);
    }
}

#include "moc_FormBinding.cpp"
