#include "ModelLayouts.h"

#include "PhoneParameters.h"

namespace {

const char *const DeviceBusy = "This device is currently on the phone.  Please wait and try again later.";
const char *const ServerBusy = "This server is currently on the phone.  Please wait and try again later.";
const char *const IdentifyFailed = "Failed to identify the device";
const char *const LimitsDownloadFailed = "Failed to download temperature limits";
const char *const DoorDownloadFailed = "Failed to download door sensor limits";
const char *const ReadingsFailed = "Failed to download sensor readings";
const char *const NamesDownloadFailed = "Failed to download sensor names";
const char *const LimitsUploadFailed = "Failed to upload the temperature sensor limits";
const char *const DoorUploadFailed = "Failed to upload the door sensor limits";
const char *const NamesUploadFailed = "Failed to upload the sensor names";
const char *const WexaLimitsFailed = "Failed to download the limits";

// Adds the fields of one editor, labelled by the sensor they belong to.
class Fields {
public:
    explicit Fields(EditorLayout &layout) : m_layout(layout) {}

    PageField &add(const QString &key, int page, int position, FieldCodec codec, const QString &label)
    {
        PageField field;
        field.key = key;
        field.page = page;
        field.position = position;
        field.codec = codec;
        field.label = label;
        m_layout.fields.append(field);
        return m_layout.fields.last();
    }
    PageField &sensorField(const char *control, const char *heading, int sensor, int page, int position,
                           FieldCodec codec)
    {
        PageField &field = add(ControlKey(control, sensor), page, position, codec,
                               QLatin1String(heading) + QStringLiteral(" of ") + m_layout.sensors.at(sensor));
        field.sensor = sensor;
        return field;
    }
    void name(int sensor, int page, int position)
    {
        sensorField("txtName", "Name", sensor, page, position, FieldCodec::Name);
    }
    // Names of consecutive sensors, two to a page from characters 9 and 29.
    void namePages(int firstPage, int firstSensor, int count)
    {
        for (int k = 0; k < count; ++k)
            name(firstSensor + k, firstPage + k / 2, k % 2 == 0 ? 9 : 29);
    }
    // Lower limit at position, upper limit at position + 2.
    void limits(int sensor, int page, int position, FieldScale scale, FieldGate gate = FieldGate::Named)
    {
        PageField &lower = sensorField("txtLL", "Lower Limit", sensor, page, position, FieldCodec::Int16);
        lower.scale = scale;
        lower.gate = gate;
        PageField &upper = sensorField("txtUL", "Upper Limit", sensor, page, position + 2, FieldCodec::Int16);
        upper.scale = scale;
        upper.gate = gate;
    }
    void time(int sensor, int page, int position, FieldGate gate)
    {
        sensorField("txtTOL", "Time", sensor, page, position, FieldCodec::Int16).gate = gate;
    }
    // Limits and time of sensor i at 9 + 6i of page 0, for count sensors from first.
    void limitRows(int first, int count, FieldScale scale)
    {
        for (int i = first; i < first + count; ++i) {
            limits(i, 0, 9 + 6 * i, scale);
            time(i, 0, 13 + 6 * i, FieldGate::Named);
        }
    }
    // Readings of consecutive sensors; the first tenthsCount of them are temperatures that
    // follow tenths mode and show one decimal digit.
    void readings(int count, int tenthsCount)
    {
        for (int i = 0; i < count; ++i) {
            sensorField("txtReading", "Current Reading", i, ReadingsPage, 5 + 5 * i, FieldCodec::Reading)
                .scale = i < tenthsCount ? FieldScale::TenthsMode : FieldScale::Whole;
        }
    }
    void battery()
    {
        add(QStringLiteral("txtBattV"), ReadingsPage, 58, FieldCodec::Byte,
            QStringLiteral("Backup Battery Voltage (vdc)"))
            .scale = FieldScale::Tenths;
    }
    void correction(int sensor, int page, int position, FieldGate gate)
    {
        PageField &factor = sensorField("txtCF", "Correction", sensor, page, position, FieldCodec::Int16);
        factor.scale = FieldScale::Tenths;
        factor.gate = gate;
    }
    void option(const char *key, int page, int position, FieldCodec codec, const char *label)
    {
        add(QLatin1String(key), page, position, codec, QLatin1String(label));
    }

private:
    EditorLayout &m_layout;
};

QStringList numbered(const char *prefix, int from, int to)
{
    QStringList list;
    for (int n = from; n <= to; ++n)
        list.append(QLatin1String(prefix) + QString::number(n));
    return list;
}

QStringList sensorButtons(bool calibration)
{
    QStringList buttons{QStringLiteral("btnSave"), QStringLiteral("btnRefresh"), QStringLiteral("btnNotes")};
    if (calibration)
        buttons.append(QStringLiteral("btnCal"));
    return buttons + QStringList{QStringLiteral("btnClose")};
}

// Stores of pages 0 and 1 and then the name pages, as the RX700 editors do.
QList<UploadStep> limitsThenNames(const QList<int> &namePages, bool pageStatus)
{
    QList<int> pages{0, 1};
    pages.append(namePages);
    QList<UploadStep> steps;
    for (int page : pages) {
        UploadStep step;
        step.page = page;
        step.failure = page == 0 ? LimitsUploadFailed : page == 1 ? DoorUploadFailed : NamesUploadFailed;
        step.busy = page == 0 ? ServerBusy : nullptr;
        steps.append(step);
    }
    if (pageStatus) {
        static const char *const texts[] = {"Uploading page 0", "Uploading page 1", "Uploading page 2",
                                            "Uploading page 3", "Uploading page 4", "Uploading page 5",
                                            "Uploading page 6", "Uploading page 7"};
        for (UploadStep &step : steps)
            step.status = texts[step.page];
    }
    return steps;
}

EditorLayout makeRx705()
{
    EditorLayout l;
    l.name = QStringLiteral("frmRX705");
    l.caption = QStringLiteral("RX700 Parameters");
    l.sensors = numbered("Temperature Sensor Port ", 1, 8) +
                QStringList{QStringLiteral("Door Sensor 1"), QStringLiteral("Door Sensor 2")};
    Fields f(l);
    f.namePages(3, 0, 10);
    f.readings(10, 8);
    f.battery();
    f.limitRows(0, 8, FieldScale::TenthsMode);
    f.option("optRelayLogic", 0, 57, FieldCodec::OptionZeroFirst, "Alarm relay");
    f.option("optEnableBuzzer", 0, 58, FieldCodec::OptionOneFirst, "Alarm buzzer");
    f.time(8, 1, 9, FieldGate::Always);
    f.time(9, 1, 11, FieldGate::Always);
    for (int i = 0; i < 8; ++i)
        f.correction(i, 12, 9 + 2 * i, FieldGate::Always);
    f.add(ControlKey("txtCF", 8), 12, 25, FieldCodec::Byte, QStringLiteral("Erroneous Bit Change (bits)"));
    f.add(ControlKey("txtCF", 9), 12, 26, FieldCodec::Byte, QStringLiteral("Number of Erroneous Readings"));

    const auto relayOptions = [](const DeviceIdentity &id) { return id.firmware >= 24; };
    const auto batteryAndBuzzer = [](const DeviceIdentity &id) {
        return id.family == 5 && id.firmware >= 25;
    };
    using P = ControlRule::Property;
    l.rules = {{QStringLiteral("optRelayLogic"), P::Enabled, relayOptions},
               {QStringLiteral("txtBattV"), P::Shown, batteryAndBuzzer},
               {QStringLiteral("lblBattV"), P::Shown, batteryAndBuzzer},
               {QStringLiteral("optEnableBuzzer"), P::Enabled, batteryAndBuzzer},
               {QStringLiteral("frmRX705rev23"), P::Shown,
                [](const DeviceIdentity &id) { return id.firmware != 24; }}};
    l.tenthsFromFirmware = 23;
    l.identifyRequired = true;
    l.buttons = sensorButtons(true);

    l.calibration.sensors = {0, 1, 2, 3, 4, 5, 6, 7};
    l.calibration.fromFirmware = 23;
    l.calibration.readBackDelayMs = 2000;
    l.calibration.storeQuestion = QStringLiteral("Upload calibration factors?");
    l.calibration.resetQuestion = QStringLiteral("Reset all calibration factors to zero?");

    l.download.steps = {
        {DownloadStep::Identify, IdentifyFailed, true, DeviceBusy},
        {3, nullptr, false, DeviceBusy},
        {4},
        {5},
        {6},
        {7, NamesDownloadFailed},
        {ReadingsPage, ReadingsFailed},
        {0, LimitsDownloadFailed, true},
        {1, DoorDownloadFailed},
        {12, "Failed to download temperature correction factors", false, nullptr, nullptr, 23}};
    l.download.completion = " Download complete";

    UploadStep factors;
    factors.page = 12;
    factors.failure = "Failed to upload temperature correction factors";
    factors.fromFirmware = 23;
    factors.calibration = true;
    l.upload.steps = QList<UploadStep>{factors} + limitsThenNames({3, 4, 5, 6, 7}, false);
    l.upload.limitRange = true;
    l.upload.completion = "Upload complete";
    return l;
}

EditorLayout makeRx708()
{
    EditorLayout l;
    l.name = QStringLiteral("frmRX708");
    l.caption = QStringLiteral("Computer Room Keeper Parameters");
    for (int zone = 1; zone <= 4; ++zone) {
        l.sensors.append(QStringLiteral("Zone %1 Temperature Sensor").arg(zone));
        l.sensors.append(QStringLiteral("Zone %1 Humidity Sensor").arg(zone));
    }
    l.sensors.append(QStringLiteral("Water Sensor"));
    Fields f(l);
    f.namePages(3, 0, 9);
    f.readings(9, 0);
    f.battery();
    f.limitRows(0, 8, FieldScale::Whole);
    f.time(8, 1, 9, FieldGate::Always);

    const auto battery = [](const DeviceIdentity &id) { return id.firmware >= 12; };
    l.rules = {{QStringLiteral("txtBattV"), ControlRule::Property::Shown, battery},
               {QStringLiteral("lblBattV"), ControlRule::Property::Shown, battery}};
    l.identifyRequired = true;
    l.buttons = sensorButtons(false);

    l.download.steps = {{DownloadStep::Identify, IdentifyFailed, true, ServerBusy},
                        {3, "Failed to download page 3 sensor names", false, ServerBusy},
                        {4, "Failed to download page 4 sensor names"},
                        {5, "Failed to download page 5 sensor names"},
                        {6, "Failed to download page 6 sensor names"},
                        {7, "Failed to download page 7 sensor names"},
                        {0, LimitsDownloadFailed, true},
                        {1, DoorDownloadFailed},
                        {ReadingsPage, ReadingsFailed}};
    l.upload.steps = limitsThenNames({3, 4, 5, 6, 7}, false);
    return l;
}

EditorLayout makeRx720()
{
    EditorLayout l;
    l.name = QStringLiteral("frmRX720");
    l.caption = QStringLiteral("RX720 Parameters");
    l.sensors = numbered("Temperature Sensor Port ", 1, 4) +
                QStringList{QStringLiteral("Dry Contact Alarm Input (NO)")};
    Fields f(l);
    f.namePages(3, 0, 4);
    f.name(4, 7, 9);
    f.limitRows(0, 4, FieldScale::Whole);
    f.time(4, 1, 9, FieldGate::Always);
    f.readings(5, 0);
    l.buttons = sensorButtons(false);

    l.download.steps = {{3, nullptr, false, ServerBusy}, {4},
                        {7, NamesDownloadFailed},        {0, LimitsDownloadFailed, true},
                        {1, DoorDownloadFailed},         {ReadingsPage, ReadingsFailed}};
    l.download.completion = " Download complete";
    l.upload.steps = limitsThenNames({3, 4, 7}, false);
    l.upload.database = DatabaseLimits::Empty;
    l.upload.completion = "Upload complete";
    return l;
}

EditorLayout makeRx740()
{
    EditorLayout l;
    l.name = QStringLiteral("frmRX740");
    l.caption = QStringLiteral("Temperature and Power Keeper Model RX740");
    l.sensors = numbered("Temperature Sensor Port ", 1, 4) + numbered("Power Sensor Port ", 1, 4) +
                QStringList{QStringLiteral("Dry Contact Input 1")};
    Fields f(l);
    f.namePages(3, 0, 8);
    f.name(8, 7, 9);
    f.limitRows(0, 4, FieldScale::Whole);
    for (int k = 0; k < 4; ++k) {
        PageField &state = f.add(ControlKey("cmboNormalState", k), 0, 33 + 6 * k, FieldCodec::ItemIndex16,
                                 QStringLiteral("Normal state of ") + l.sensors.at(4 + k));
        state.sensor = 4 + k;
        state.gate = FieldGate::Named;
        f.time(4 + k, 0, 37 + 6 * k, FieldGate::Named);
    }
    f.time(8, 1, 9, FieldGate::Always);
    f.readings(9, 0);
    l.buttons = sensorButtons(false);

    l.download.steps = {{3, nullptr, false, ServerBusy, "Downloading page 3"},
                        {4, nullptr, false, ServerBusy, "Downloading page 4"},
                        {5, nullptr, false, ServerBusy, "Downloading page 5"},
                        {6, nullptr, false, ServerBusy, "Downloading page 6"},
                        {7, nullptr, false, ServerBusy, "Downloading page 7"},
                        {0, LimitsDownloadFailed, true, nullptr, "Downloading page 0"},
                        {1, DoorDownloadFailed},
                        {ReadingsPage, ReadingsFailed, false, ServerBusy}};
    l.upload.steps = limitsThenNames({3, 4, 5, 6, 7}, true);
    l.upload.database = DatabaseLimits::Empty;
    return l;
}

// The Wexa editors share everything but their sensors and the page of the internal sensors.
EditorLayout makeWexaFamily(bool wexa16)
{
    EditorLayout l;
    l.name = wexa16 ? QStringLiteral("frmWexa16") : QStringLiteral("frmWexa");
    l.caption = wexa16 ? QStringLiteral("Wexa16 Parameters") : QStringLiteral("Wexa Parameters");
    l.sensors = numbered("Temperature Sensor Port ", 1, 2);
    if (wexa16)
        l.sensors += QStringList{QStringLiteral("Internal Temperature Sensor"),
                                 QStringLiteral("Internal Humidity Sensor")};
    l.sensors += QStringList{QStringLiteral("Door Sensor 1"), QStringLiteral("Door Sensor 2")};
    const int firstDoor = wexa16 ? 4 : 2;

    Fields f(l);
    f.namePages(2, 0, 2);
    f.namePages(3, firstDoor, 2);
    if (wexa16)
        f.namePages(5, 2, 2);
    f.readings(int(l.sensors.size()), firstDoor);
    if (wexa16) {
        f.limitRows(0, 4, FieldScale::Tenths);
        f.time(4, 0, 33, FieldGate::Named);
        f.time(5, 0, 35, FieldGate::Named);
        f.correction(0, 0, 37, FieldGate::Always);
        f.correction(1, 0, 39, FieldGate::Always);
    } else {
        for (int i = 0; i < 2; ++i) {
            f.limits(i, 0, 9 + 6 * i, FieldScale::TenthsMode);
            f.time(i, 0, 13 + 6 * i, FieldGate::Named);
        }
        f.time(2, 0, 21, FieldGate::Named);
        f.time(3, 0, 23, FieldGate::Named);
        f.correction(0, 0, 25, FieldGate::TenthsMode);
        f.correction(1, 0, 27, FieldGate::TenthsMode);
    }
    f.option("optRelayLogic", 4, 9, FieldCodec::OptionZeroFirst, "Alarm relay");
    f.add(QStringLiteral("txtAlarmReminderTimeDelay"), 4, 10, FieldCodec::Byte,
          QStringLiteral("Alarm reminder time delay"))
        .emptyIsZero = true;
    f.option("optEnableBuzzer", 4, 11, FieldCodec::OptionOneFirst, "Buzzer");
    f.add(QStringLiteral("txtTwoStageDoorAlarmTimeDelay"), 4, 12, FieldCodec::Byte,
          QStringLiteral("Two stage door alarm time delay"))
        .emptyIsZero = true;

    l.alarmOptionsFromModel = 5;
    l.rules = {{QStringLiteral("frmAlarmConfiguration"), ControlRule::Property::Shown,
                [](const DeviceIdentity &id) { return id.model >= 5; }}};
    l.tenthsFromFirmware = 0;
    l.buttons = sensorButtons(true);
    l.calibration.sensors = {0, 1};
    l.calibration.fromFirmware = 0;
    l.calibration.askFirst = false;
    l.calibration.skipNonNumeric = true;
    l.calibration.correctionOnRequest = true;
    l.calibration.storeQuestion = QStringLiteral("Upload Calibration Factors?");
    l.calibration.resetQuestion = QStringLiteral("Reset both calibration factors to zero?");

    DownloadStep alarm{4, "Failed to retreive alarm parameters"};
    alarm.alarmOptions = true;
    l.download.steps = {{DownloadStep::Identify, IdentifyFailed, false, ServerBusy},
                        alarm,
                        {2, "Failed to retreive temperature sensor names"},
                        {3, "Failed to retreive door sensor names"}};
    if (wexa16)
        l.download.steps.append(
            DownloadStep{5, "Failed to retreive Internal Temperature and Humidity sensor names"});
    l.download.steps += QList<DownloadStep>{{ReadingsPage, ReadingsFailed}, {0, WexaLimitsFailed}};

    UploadStep options;
    options.page = 4;
    options.calibration = true;
    options.alarmOptions = true;
    UploadStep limits;
    limits.page = 0;
    limits.failure = WexaLimitsFailed;
    limits.calibration = true;
    l.upload.steps = {options, limits, {2}, {3}};
    if (wexa16)
        l.upload.steps.append(UploadStep{5});
    l.upload.freshRead = true;
    return l;
}

EditorLayout makePhone()
{
    EditorLayout l;
    l.name = QStringLiteral("frmRX705PhoneParameters");
    Fields f(l);
    const struct {
        int page;
        int position;
    } contacts[] = {{8, 9}, {8, 29}, {9, 9}, {9, 29}, {10, 37}, {12, 27}, {13, 9}, {13, 29}};
    for (int n = 0; n < 8; ++n) {
        f.add(ControlKey("txtPhoneNumber", n), contacts[n].page, contacts[n].position,
              FieldCodec::PhoneNumber, QStringLiteral("Contact Phone Number %1").arg(n + 1));
    }
    f.add(ControlKey("txtPhoneNumber", 8), 10, 9, FieldCodec::PhoneNumber, QStringLiteral("Local ID"));
    f.add(ControlKey("txtPhoneNumber", 9), 8, 49, FieldCodec::Int16,
          QStringLiteral("Number of rings to answer the phone (1-25 rings)"));
    f.add(ControlKey("txtPhoneNumber", 13), 8, 51, FieldCodec::Int16,
          QStringLiteral("Power Outage Time Delay (0-120 minutes)"));
    f.add(ControlKey("txtPhoneNumber", 11), 8, 55, FieldCodec::Int16,
          QStringLiteral("Unit callout time delay (0-900 minutes)"));
    f.add(ControlKey("txtPhoneNumber", 12), 11, 41, FieldCodec::Int16,
          QStringLiteral("Repeat Warning Message (0, 1, 2)"));
    f.add(QStringLiteral("cmboCalloutYN"), 11, 43, FieldCodec::Flag16,
          QStringLiteral("Reminder Callouts Enabled"));
    f.add(ControlKey("txtPhoneNumber", 10), 11, 45, FieldCodec::Int16,
          QStringLiteral("Reminder CallOut Time Delay (15-900 minutes)"));
    l.buttons = {QStringLiteral("btnSave"), QStringLiteral("btnRefresh"), QStringLiteral("btnDefaults"),
                 QStringLiteral("btnClose")};

    l.download.steps = {{8, "Failed to download contact phone numbers 1 and 2"},
                        {9, "Failed to download contact phone numbers 3 and 4"},
                        {10, "Failed to download contact phone number 5"},
                        {11, "Failed to download phone parameters"},
                        {12, "Failed to download contact phone number 6"},
                        {13, "Failed to download contact phone numbers 7 and 8"}};
    l.download.notes = false;
    l.upload.steps = {{8, "Failed to upload contact phone numbers 1 and 2"},
                      {9, "Failed to upload contact phone numbers 3 and 4"},
                      {10, "Failed to upload contact phone numbers 5"},
                      {11, "Failed to upload the phone paramaters"},
                      {12, "Failed to upload contact phone number 6"},
                      {13, "Failed to upload contact phone numbers 7 and 8"}};
    l.upload.database = DatabaseLimits::None;
    l.upload.validate = CheckPhoneParameters;
    return l;
}

} // namespace

QString ControlKey(const char *name, int index)
{
    return QLatin1String(name) + QLatin1Char('_') + QString::number(index);
}

const PageField *EditorLayout::field(const QString &key) const
{
    for (const PageField &f : fields) {
        if (f.key == key)
            return &f;
    }
    return nullptr;
}

QList<int> EditorLayout::pages() const
{
    QList<int> list;
    for (const PageField &f : fields) {
        if (!list.contains(f.page))
            list.append(f.page);
    }
    return list;
}

const EditorLayout &Rx705Layout()
{
    static const EditorLayout layout = makeRx705();
    return layout;
}

const EditorLayout &Rx708Layout()
{
    static const EditorLayout layout = makeRx708();
    return layout;
}

const EditorLayout &Rx720Layout()
{
    static const EditorLayout layout = makeRx720();
    return layout;
}

const EditorLayout &Rx740Layout()
{
    static const EditorLayout layout = makeRx740();
    return layout;
}

const EditorLayout &WexaLayout()
{
    static const EditorLayout layout = makeWexaFamily(false);
    return layout;
}

const EditorLayout &Wexa16Layout()
{
    static const EditorLayout layout = makeWexaFamily(true);
    return layout;
}

const EditorLayout &PhoneParametersLayout()
{
    static const EditorLayout layout = makePhone();
    return layout;
}

const EditorLayout *LayoutOfEditor(const QString &name)
{
    for (const EditorLayout *layout : {&Rx705Layout(), &Rx708Layout(), &Rx720Layout(), &Rx740Layout(),
                                       &WexaLayout(), &Wexa16Layout(), &PhoneParametersLayout()}) {
        if (layout->name == name)
            return layout;
    }
    return nullptr;
}
