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

// The layout of a window name; nullptr for an unknown name.
const EditorLayout *LayoutOfEditor(const QString &name);
