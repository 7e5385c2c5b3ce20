#pragma once

#include "EditorLayout.h"

// The editors of the device models, as data: sensors, page fields and transfer plans.
const EditorLayout &Rx705Layout();
const EditorLayout &Rx708Layout();
const EditorLayout &Rx720Layout();
const EditorLayout &Rx740Layout();
const EditorLayout &WexaLayout();
const EditorLayout &Wexa16Layout();
const EditorLayout &PhoneParametersLayout();

// The editor a device opens, by the model editor table: its window name ("frmRX705", ...), or
// an empty text when the model has none.
QString ModelEditorName(int modelFamily, int modelNumber);
// The layout of a window name; nullptr for an unknown name.
const EditorLayout *LayoutOfEditor(const QString &name);
