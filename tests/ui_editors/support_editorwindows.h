#pragma once

#include <ui/editors/EditorWindow.h>

#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QStringList>

#include <memory>

struct EditorRig;

// Opens the named editor window on the rig's device, as the device tree does, and shows it.
std::unique_ptr<EditorWindow> OpenEditor(EditorRig &rig, const QString &name);

// The lines of the window's status list.
QStringList StatusLines(const EditorWindow &window);

// A child of the window by name and type; a test failure when there is none.
template <typename T> T *Child(const QWidget &window, const QString &name)
{
    return window.findChild<T *>(name);
}
inline QLineEdit *Box(const QWidget &window, const QString &name)
{
    return Child<QLineEdit>(window, name);
}
inline QPushButton *Button(const QWidget &window, const QString &name)
{
    return Child<QPushButton>(window, name);
}

// True when the box's background is the yellow of a refused value.
bool IsYellow(const QLineEdit &box);

// Saves a picture of the window as <name>.png in $TALLYPORT_SCREENSHOT_DIR, when that is set.
void SaveScreenshot(QWidget &window, const QString &name);
