#include "EditorRegistration.h"

#include "ModelEditorWindows.h"
#include "PhoneParametersWindow.h"

#include <ui/config/ModelEditorRegistry.h>
#include <ui/main/ModalWindow.h>

void RegisterModelEditors(ModelEditorRegistry &registry, const EditorServices &services)
{
    for (const char *name : {"frmRX705", "frmRX708", "frmRX720", "frmRX740", "frmWexa", "frmWexa16",
                             "frmRX705PhoneParameters"}) {
        const QString editor = QLatin1String(name);
        registry.add(editor, [services, editor](const ModelEditorRequest &request) {
            std::unique_ptr<EditorWindow> window = MakeEditorWindow(editor, services, request.owner);
            window->setIPAddress(request.IPAddress);
            window->setDatabaseID(request.DatabaseID);
            if (auto *phone = qobject_cast<PhoneParametersWindow *>(window.get()))
                phone->setServerName(request.ServerName);
            ExecModal(*window);
        });
    }
}
