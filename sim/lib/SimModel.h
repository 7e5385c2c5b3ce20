#pragma once

#include "SimDevice.h"

#include <array>

// Where a device keeps the settings of one port in its user pages. Positions are 1-based byte
// positions within the 60-byte page image; 0 means "not kept".
struct SimPortLayout {
    SimSensorKind kind = SimSensorKind::None;
    const char *caption = "";
    int limitPage = 0; // lower limit at lowerPos, upper at lowerPos + 2 (16-bit each)
    int lowerPos = 0;
    int timePage = 0; // time out of limits, minutes, 16-bit
    int timePos = 0;
    int namePage = 0; // name, 20 bytes
    int namePos = 0;
    int normalStatePos = 0; // power inputs: normal state on page 0 (0 = on, 1 = off)
    int correctionPage = 0; // correction factor in tenths of a degree, 16-bit
    int correctionPos = 0;
};

// The port layout and page defaults of one kind of device.
struct SimModel {
    enum class Kind { RX705, RX708, RX720, RX740, Analog4, Wexa, Wexa16, Unknown };
    Kind kind = Kind::Unknown;
    const char *label = "";
    std::array<SimPortLayout, SimDevice::PortCount> ports{};
    bool phonePages = false; // keeps the telephone pages 8 to 13
    bool alarmOptionsPage4 = false;
};

// The layout for a family and model number, chosen as the program chooses its editor.
const SimModel &simModelFor(int family, int model);
// The model text the program shows for an identification.
QString simModelText(int family, int model);
