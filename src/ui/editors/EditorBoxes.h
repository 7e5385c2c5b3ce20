#pragma once

class QLineEdit;
class QString;
class QWidget;

// A named text box of an editor window. typedLength limits what the operator types (0: no
// limit), never what the window shows: a value read from the device stays whole even when it is
// longer, so showing it and saving it again never changes it.
QLineEdit *NamedBox(const QString &name, QWidget *parent, int typedLength = 0, int width = 60);
