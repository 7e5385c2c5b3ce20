#pragma once

#include <editors/EditorSession.h>

#include <QString>

#include <memory>

class EditorWindow;
class QWidget;

// Makes the editor window of a window name ("frmRX705", "frmRX708", "frmRX720", "frmRX740",
// "frmWexa", "frmWexa16", "frmRX705PhoneParameters"), built and ready to show; nullptr for any
// other name.
std::unique_ptr<EditorWindow> MakeEditorWindow(const QString &name, const EditorServices &services,
                                               QWidget *parent = nullptr);
