#pragma once

#include <QString>

// The shortest decimal text that reads back as the same single-precision value ("72.5", "-4.3",
// "68"), with a point whatever the desktop language.
QString FloatText(float value);
