#include "support_editorwindows.h"

#include <editors/support_editorrig.h>
#include <ui/editors/ModelEditorWindows.h>

#include <QDir>
#include <QTest>

std::unique_ptr<EditorWindow> OpenEditor(EditorRig &rig, const QString &name)
{
    auto window = MakeEditorWindow(name, rig.services());
    if (!window)
        return window;
    window->setIPAddress(rig.address);
    window->setDatabaseID(rig.deviceId);
    window->show();
    return window;
}

QStringList StatusLines(const EditorWindow &window)
{
    QStringList lines;
    const auto *list = window.findChild<QListWidget *>(QStringLiteral("lstStatus"));
    for (int row = 0; list && row < list->count(); ++row)
        lines.append(list->item(row)->text());
    return lines;
}

bool IsYellow(const QLineEdit &box)
{
    return box.palette().color(QPalette::Base) == QColor(255, 255, 0);
}

void SaveScreenshot(QWidget &window, const QString &name)
{
    const QString dir = qEnvironmentVariable("TALLYPORT_SCREENSHOT_DIR");
    if (dir.isEmpty())
        return;
    QDir().mkpath(dir);
    window.raise();
    window.activateWindow();
    QTest::qWait(200);
    window.grab().save(QDir(dir).filePath(name + QStringLiteral(".png")));
}
