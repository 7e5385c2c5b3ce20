#pragma once

#include <QColor>
#include <QLabel>
#include <QObject>
#include <QPushButton>
#include <QString>

// Small helpers shared by the configuration windows.

// Gives a widget or action the name tests and the program find it by.
template <typename T> T *named(T *object, const char *name)
{
    object->setObjectName(QLatin1String(name));
    return object;
}

// A push button with its caption and name.
inline QPushButton *namedButton(QWidget *parent, const char *caption, const char *name)
{
    return named(new QPushButton(QString::fromLatin1(caption), parent), name);
}

// A status line: black for success, red for failure.
inline void setStatusText(QLabel *label, const QString &text, bool red = false)
{
    label->setText(text);
    QPalette palette = label->palette();
    palette.setColor(QPalette::WindowText, red ? QColor(Qt::red) : QColor(Qt::black));
    label->setPalette(palette);
}

inline bool isStatusRed(const QLabel *label)
{
    return label->palette().color(QPalette::WindowText) == QColor(Qt::red);
}
