#include "SimModel.h"

namespace {

SimPortLayout analog(SimSensorKind kind, const char *caption, int lowerPos, int namePage, int namePos)
{
    SimPortLayout p;
    p.kind = kind;
    p.caption = caption;
    p.limitPage = 0;
    p.lowerPos = lowerPos;
    p.timePage = 0;
    p.timePos = lowerPos + 4;
    p.namePage = namePage;
    p.namePos = namePos;
    return p;
}

SimPortLayout state(SimSensorKind kind, const char *caption, int timePage, int timePos, int namePage,
                    int namePos)
{
    SimPortLayout p;
    p.kind = kind;
    p.caption = caption;
    p.timePage = timePage;
    p.timePos = timePos;
    p.namePage = namePage;
    p.namePos = namePos;
    return p;
}

// Names of sensor i live on page 3 + i / 2, at 9 or 29.
int namePageOf(int i)
{
    return 3 + i / 2;
}
int namePosOf(int i)
{
    return i % 2 == 0 ? 9 : 29;
}

SimModel makeRx705()
{
    static const char *captions[] = {"Temperature Sensor Port 1", "Temperature Sensor Port 2",
                                     "Temperature Sensor Port 3", "Temperature Sensor Port 4",
                                     "Temperature Sensor Port 5", "Temperature Sensor Port 6",
                                     "Temperature Sensor Port 7", "Temperature Sensor Port 8"};
    SimModel m;
    m.kind = SimModel::Kind::RX705;
    m.label = "RX705";
    m.phonePages = true;
    for (int i = 0; i < 8; ++i) {
        m.ports[i] = analog(SimSensorKind::Temperature, captions[i], 9 + 6 * i, namePageOf(i), namePosOf(i));
        m.ports[i].correctionPage = 12;
        m.ports[i].correctionPos = 9 + 2 * i;
    }
    m.ports[8] = state(SimSensorKind::Door, "Door Sensor 1", 1, 9, 7, 9);
    m.ports[9] = state(SimSensorKind::Door, "Door Sensor 2", 1, 11, 7, 29);
    return m;
}

SimModel makeRx708()
{
    static const char *captions[] = {"Zone 1 Temperature Sensor", "Zone 1 Humidity Sensor",
                                     "Zone 2 Temperature Sensor", "Zone 2 Humidity Sensor",
                                     "Zone 3 Temperature Sensor", "Zone 3 Humidity Sensor",
                                     "Zone 4 Temperature Sensor", "Zone 4 Humidity Sensor"};
    SimModel m;
    m.kind = SimModel::Kind::RX708;
    m.label = "RX708";
    m.phonePages = true;
    for (int i = 0; i < 8; ++i) {
        const auto kind = i % 2 == 0 ? SimSensorKind::Temperature : SimSensorKind::Humidity;
        m.ports[i] = analog(kind, captions[i], 9 + 6 * i, namePageOf(i), namePosOf(i));
    }
    m.ports[8] = state(SimSensorKind::Water, "Water Sensor", 1, 9, 7, 9);
    return m;
}

SimModel makeRx720()
{
    static const char *captions[] = {"Temperature Sensor Port 1", "Temperature Sensor Port 2",
                                     "Temperature Sensor Port 3", "Temperature Sensor Port 4"};
    SimModel m;
    m.kind = SimModel::Kind::RX720;
    m.label = "RX720";
    m.phonePages = true;
    for (int i = 0; i < 4; ++i)
        m.ports[i] = analog(SimSensorKind::Temperature, captions[i], 9 + 6 * i, namePageOf(i), namePosOf(i));
    m.ports[4] = state(SimSensorKind::DryContact, "Dry Contact Alarm Input (NO)", 1, 9, 7, 9);
    return m;
}

SimModel makeRx740()
{
    static const char *temperature[] = {"Temperature Sensor Port 1", "Temperature Sensor Port 2",
                                        "Temperature Sensor Port 3", "Temperature Sensor Port 4"};
    static const char *power[] = {"Power Sensor Port 1", "Power Sensor Port 2", "Power Sensor Port 3",
                                  "Power Sensor Port 4"};
    SimModel m;
    m.kind = SimModel::Kind::RX740;
    m.label = "RX740";
    m.phonePages = true;
    for (int i = 0; i < 4; ++i)
        m.ports[i] =
            analog(SimSensorKind::Temperature, temperature[i], 9 + 6 * i, namePageOf(i), namePosOf(i));
    for (int k = 0; k < 4; ++k) {
        const int i = 4 + k;
        m.ports[i] = state(SimSensorKind::Power, power[k], 0, 37 + 6 * k, namePageOf(i), namePosOf(i));
        m.ports[i].normalStatePos = 33 + 6 * k;
    }
    m.ports[8] = state(SimSensorKind::DryContact, "Dry Contact Input 1", 1, 9, 7, 9);
    return m;
}

// The 4-20 mA monitor has no editor; it keeps its limits like the RX720.
SimModel makeAnalog4()
{
    static const char *captions[] = {"Analog Input 1", "Analog Input 2", "Analog Input 3", "Analog Input 4"};
    SimModel m;
    m.kind = SimModel::Kind::Analog4;
    m.label = "RX700-4";
    m.phonePages = true;
    for (int i = 0; i < 4; ++i)
        m.ports[i] = analog(SimSensorKind::Analog, captions[i], 9 + 6 * i, namePageOf(i), namePosOf(i));
    return m;
}

SimModel makeWexa()
{
    SimModel m;
    m.kind = SimModel::Kind::Wexa;
    m.label = "Wexa";
    m.alarmOptionsPage4 = true;
    m.ports[0] = analog(SimSensorKind::Temperature, "Temperature Sensor Port 1", 9, 2, 9);
    m.ports[1] = analog(SimSensorKind::Temperature, "Temperature Sensor Port 2", 15, 2, 29);
    m.ports[0].correctionPage = 0;
    m.ports[0].correctionPos = 25;
    m.ports[1].correctionPage = 0;
    m.ports[1].correctionPos = 27;
    m.ports[2] = state(SimSensorKind::Door, "Door Sensor 1", 0, 21, 3, 9);
    m.ports[3] = state(SimSensorKind::Door, "Door Sensor 2", 0, 23, 3, 29);
    return m;
}

SimModel makeWexa16()
{
    SimModel m;
    m.kind = SimModel::Kind::Wexa16;
    m.label = "Wexa 16";
    m.alarmOptionsPage4 = true;
    m.ports[0] = analog(SimSensorKind::Temperature, "Temperature Sensor Port 1", 9, 2, 9);
    m.ports[1] = analog(SimSensorKind::Temperature, "Temperature Sensor Port 2", 15, 2, 29);
    m.ports[2] = analog(SimSensorKind::Temperature, "Internal Temperature Sensor", 21, 5, 9);
    m.ports[3] = analog(SimSensorKind::Humidity, "Internal Humidity Sensor", 27, 5, 29);
    m.ports[0].correctionPage = 0;
    m.ports[0].correctionPos = 37;
    m.ports[1].correctionPage = 0;
    m.ports[1].correctionPos = 39;
    m.ports[4] = state(SimSensorKind::Door, "Door Sensor 1", 0, 33, 3, 9);
    m.ports[5] = state(SimSensorKind::Door, "Door Sensor 2", 0, 35, 3, 29);
    return m;
}

} // namespace

const SimModel &simModelFor(int family, int model)
{
    static const SimModel rx705 = makeRx705();
    static const SimModel rx708 = makeRx708();
    static const SimModel rx720 = makeRx720();
    static const SimModel rx740 = makeRx740();
    static const SimModel analog4 = makeAnalog4();
    static const SimModel wexa = makeWexa();
    static const SimModel wexa16 = makeWexa16();
    static const SimModel unknown;

    if (family == 3 && model < 6)
        return wexa;
    if (family == 3 && model == 6)
        return wexa16;
    switch (model) {
    case 5:
    case 10:
    case 50:
        return rx705;
    case 8:
        return rx708;
    case 20:
        return rx720;
    case 40:
        return rx740;
    case 4:
        return analog4;
    default:
        return unknown;
    }
}

QString simModelText(int family, int model)
{
    struct Row {
        int family; // 0: any
        int model;
        const char *text;
    };
    static const Row rows[] = {
        {5, 5, "Model RX700-5: Refrigerator/Freezer Keeper"},
        {5, 8, "Model RX700-8: Computer Room Keeper"},
        {5, 10, "Model RX700-10: Property Keeper"},
        {5, 40, "Model RX740: Temperature and Power Keeper"},
        {3, 3, "Wexa 13: Refrigerator/Freezer LanKeeper"},
        {3, 4, "Wexa 14: Computer Room LanKeeper"},
        {3, 5, "Wexa 15: Refrigerator/Freezer LanKeeper"},
        {3, 6, "Wexa 16: Refrigerator/Freezer/Humidity LanKeeper"},
        {0, 20, "Model RX720: High Temperature Keeper"},
        {0, 50, "Model RX700-5: Phone Only"},
        {0, 4, "Model RX700-4: 4-20ma Monitor"},
    };
    for (const Row &row : rows) {
        if ((row.family == 0 || row.family == family) && row.model == model)
            return QString::fromLatin1(row.text);
    }
    return QStringLiteral("Server model could not be determined");
}
