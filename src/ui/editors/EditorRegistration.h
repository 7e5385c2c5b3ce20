#pragma once

#include <editors/EditorSession.h>

class ModelEditorRegistry;

// Lets the device configuration window open every model editor and the telephone window: each
// opens modally over the window that asked, on the device it named, and is gone when it closes.
void RegisterModelEditors(ModelEditorRegistry &registry, const EditorServices &services);
