#pragma once

#include "PageField.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <functional>

class EditorForm;
class Prompts;

// What the identify reply said about the device an editor talks to.
struct DeviceIdentity {
    int family = 0;
    int model = 0;
    int firmware = 0;
};

// A step of a download: the identify request, a user page or the readings.
struct DownloadStep {
    static constexpr int Identify = -1;

    int page = 0;                  // a user page, ReadingsPage or Identify
    const char *failure = nullptr; // status list line when the step fails; none: silent
    bool stops = false;            // a failure ends the download
    const char *busy = nullptr;    // a busy reply ends the download with this line
    const char *status = nullptr;  // progress text shown before the step; none: unchanged
    int fromFirmware = 0;          // taken only from this firmware revision on
    bool alarmOptions = false;     // taken only when the identified model has alarm options
};

// A page an upload stores.
struct UploadStep {
    int page = 0;
    const char *failure = nullptr; // status list line when the store fails; none: not examined
    const char *busy = nullptr;    // a busy reply to the store ends the upload with this line
    const char *status = nullptr;  // progress text shown before the store; none: unchanged
    int fromFirmware = 0;          // stored only from this firmware revision on
    bool calibration = false;      // stored by a calibration store as well
    // The alarm options page: stored only when this window read it, or unread by a model that
    // has no alarm options (and so never reads it).
    bool alarmOptions = false;
};

// What an upload writes into the sensor table of the database.
enum class DatabaseLimits {
    None,  // nothing: the window keeps no sensors
    Boxes, // the limit and time boxes as shown (empty where the sensor has none)
    Empty, // name and notes; empty limits and time
};

struct DownloadPlan {
    QList<DownloadStep> steps;
    const char *completion = nullptr; // last status list line of a complete download
    bool notes = true;                // sensor notes come from the database
};

struct UploadPlan {
    QList<UploadStep> steps;
    bool freshRead = false;  // each page is read again just before it is stored
    bool limitRange = false; // limits must lie within -999.9 and 999.9
    DatabaseLimits database = DatabaseLimits::Boxes;
    const char *completion = nullptr;
    // The window's own checks before anything is sent; false stops the upload.
    std::function<bool(EditorForm &, Prompts &)> validate;
};

// A control shown or enabled according to the identified device.
struct ControlRule {
    enum class Property { Shown, Enabled };
    QString key;
    Property property = Property::Shown;
    std::function<bool(const DeviceIdentity &)> when;
};

// The calibration frame of an editor.
struct CalibrationLayout {
    QList<int> sensors;               // sensors with a correction factor, in txtCF of the same index
    int fromFirmware = -1;            // btnCal works from this firmware revision on; -1: no calibration
    bool askFirst = true;             // the question comes before the factors are computed
    bool skipNonNumeric = false;      // an actual temperature that is not a number is passed over
    int readBackDelayMs = 0;          // wait before reading the stored factors back
    bool correctionOnRequest = false; // the factors show only after btnCF
    QString storeQuestion;
    QString resetQuestion;
};

// One editor: its sensors, every field of its pages and how it moves them.
struct EditorLayout {
    QString name;        // the window's name, e.g. "frmRX705"
    QString caption;     // the window's caption
    QStringList sensors; // sensor kind captions (lblSensorType), by sensor index
    QList<PageField> fields;
    QList<ControlRule> rules;
    int tenthsFromFirmware = -1;    // tenths mode from readings byte 59 = 10 at this firmware on
    bool identifyRequired = false;  // a failed identify ends the download
    int alarmOptionsFromModel = -1; // models from this number on have alarm options
    QStringList buttons;            // enabled and disabled together around every transfer
    CalibrationLayout calibration;
    DownloadPlan download;
    UploadPlan upload;

    // The field shown by the control; nullptr when there is none.
    const PageField *field(const QString &key) const;
    // The pages the window keeps a buffer of (every page a field lives on, readings included).
    QList<int> pages() const;
    bool hasField(const QString &key) const { return field(key) != nullptr; }
    int sensorCount() const { return int(sensors.size()); }
};

// The control name of a control array member: "txtLL" and 3 give "txtLL_3".
QString ControlKey(const char *name, int index);
