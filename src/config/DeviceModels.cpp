#include "DeviceModels.h"

QString ModelText(int modelFamily, int modelNumber)
{
    struct Row {
        int family; // -1: any
        int model;
        const char *text;
    };
    static constexpr Row rows[] = {
        {5, 5, "Model RX700-5: Refrigerator/Freezer Keeper"},
        {5, 8, "Model RX700-8: Computer Room Keeper"},
        {5, 10, "Model RX700-10: Property Keeper"},
        {5, 40, "Model RX740: Temperature and Power Keeper"},
        {3, 3, "Wexa 13: Refrigerator/Freezer LanKeeper"},
        {3, 4, "Wexa 14: Computer Room LanKeeper"},
        {3, 5, "Wexa 15: Refrigerator/Freezer LanKeeper"},
        {3, 6, "Wexa 16: Refrigerator/Freezer/Humidity LanKeeper"},
        {-1, 20, "Model RX720: High Temperature Keeper"},
        {-1, 50, "Model RX700-5: Phone Only"},
        {-1, 4, "Model RX700-4: 4-20ma Monitor"},
    };
    for (const Row &row : rows) {
        if ((row.family < 0 || row.family == modelFamily) && row.model == modelNumber)
            return QString::fromLatin1(row.text);
    }
    return QStringLiteral("Server model could not be determined");
}

QString ModelEditorName(int modelFamily, int modelNumber)
{
    if (modelFamily == 3 && modelNumber < 6)
        return QStringLiteral("frmWexa");
    if (modelFamily == 3 && modelNumber == 6)
        return QStringLiteral("frmWexa16");
    switch (modelNumber) {
    case 5:
    case 10:
        return QStringLiteral("frmRX705");
    case 8:
        return QStringLiteral("frmRX708");
    case 20:
        return QStringLiteral("frmRX720");
    case 40:
        return QStringLiteral("frmRX740");
    default:
        return QString();
    }
}

bool HasClockAndLog(int modelFamily, int firmwareRevision)
{
    return modelFamily == 3 || (modelFamily == 5 && firmwareRevision >= 23);
}

bool ShowsDataLogFrame(int modelFamily, int modelNumber, int firmwareRevision)
{
    return modelFamily == 3 || (modelFamily == 5 && ((modelNumber == 5 && firmwareRevision >= 23) ||
                                                     (modelNumber == 10 && firmwareRevision >= 24)));
}

bool ShowsPhoneParameters(int modelFamily, int modelNumber, int firmwareRevision)
{
    return modelFamily == 5 && (firmwareRevision >= 25 || (modelNumber == 8 && firmwareRevision == 12));
}

int LogRecordSize(int modelFamily, int modelNumber, int firmwareRevision)
{
    if (modelFamily == 3 && modelNumber < 6)
        return 11;
    if (modelFamily == 3 && modelNumber == 6)
        return 15;
    if (modelFamily == 5 && firmwareRevision > 22)
        return 23;
    return 0;
}
