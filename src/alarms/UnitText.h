#pragma once

#include <QString>

// The unit shown for a port of a device, decided by the device's model text: the degree sign
// and scale letter for temperature ports, "%RH" for humidity ports, empty for the others.
QString UnitTextForPort(const QString &modelText, int port, int temperatureScale);
