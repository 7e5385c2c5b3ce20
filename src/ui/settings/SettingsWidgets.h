#pragma once

#include <QObject>
#include <QString>

class Prompts;
class QLabel;
class QLineEdit;
class QWidget;
struct Refusal;

// Small helpers the settings windows share.

// A required box left empty or a refused value is shown on yellow (RGB 255,255,0); typing
// into it makes it white again.
void MarkYellow(QLineEdit *box);
void MarkWhite(QLineEdit *box);
bool IsMarkedYellow(const QLineEdit *box);

// The box takes only the digits 0-9 (typed or pasted); Backspace and the editing keys still
// work. A key it takes sets the box back to white.
void AcceptDigitsOnly(QLineEdit *box);

// Gives the box the focus, first bringing forward the tab page that holds it.
void FocusBox(QWidget *box);

// Shows a refused value: the box named by the refusal (a child of window) gets its replacement
// text, turns yellow and takes the focus, then the message is shown.
void ShowRefusal(QWidget *window, Prompts &prompts, const Refusal &refusal);

// The widget with its objectName set.
template <typename T> T *Named(T *widget, const char *name)
{
    widget->setObjectName(QLatin1String(name));
    return widget;
}

// A label whose text wraps to its width.
QLabel *WrappedLabel(const QString &text, QWidget *parent);

// A line edit with its objectName, limited to what its field can hold.
QLineEdit *NamedLineEdit(const char *name, int maxLength, QWidget *parent);
// The length limit of a box whose value is checked when it is used instead (a line edit's own
// limit cuts pasted text silently).
constexpr int UnlimitedLength = 32767;

// The hourglass pointer while the object lives.
class BusyPointer {
public:
    BusyPointer();
    ~BusyPointer();
    BusyPointer(const BusyPointer &) = delete;
    BusyPointer &operator=(const BusyPointer &) = delete;
};
