#pragma once

#include <QByteArray>
#include <QString>
#include <QTime>
#include <QtGlobal>

// The program-wide settings, stored as one 1501-byte record in "TallyportConfig.dat".
// Text fields hold the text without its padding; a null QString is a field that was never
// assigned (it is stored as NUL bytes). The four protected fields hold plain text here and
// cipher text only in the file.
struct ConfigRecord {
    QByteArray Reserved1 = QByteArray(50, '\0'); // kept as read
    QByteArray Reserved2 = QByteArray(50, '\0');
    QByteArray Reserved3 = QByteArray(4, '\0');
    QString OrgName;
    QString OrgAddress;
    QString OrgPhoneNumber;
    QString PrinterName;
    qint16 PrinterIndex = 0;
    QString AutoPrintReport;
    QByteArray Reserved4 = QByteArray(2, '\0');
    QString TimeToPrint;
    QString AMPM;
    QString SMTPHost;
    QString SMTPUserName;
    QString SMTPPassword;
    QString LoginDomain;
    QString AuthenticationMethod;
    QString AdminEmailAddress;
    qint16 SMTPPort = 0;
    qint16 SMTPTimeOut = 0;
    qint16 CommunicationRetry = 0;
    qint16 TCPTimeOut = 0;
    qint16 UpdateRate = 0;
    qint16 AuthenticationRequired = 0;
    qint16 UseSSL = 0;
    QString FromAddress;
    qint16 SystemOKEmail = 0;
    QString LastSystemOKEmail;
    qint16 EnableTrending = 0;
    QString AdminUserName;
    QString AdminPassword;
    QString LogDirectory;
    qint16 PopUps = 0;

    bool operator==(const ConfigRecord &) const = default;
};

namespace ConfigLayout {
constexpr int RecordSize = 1501;
constexpr int ProtectedWidth = 100;

enum class Kind { Text, Int16, Raw };

struct Field {
    const char *name;
    int offset;
    int width;
    Kind kind;
    QString ConfigRecord::*text = nullptr;
    qint16 ConfigRecord::*number = nullptr;
    QByteArray ConfigRecord::*raw = nullptr;
};

// The fields in file order, with their offsets and widths.
const Field *fields();
int fieldCount();
const Field *field(const char *name);
} // namespace ConfigLayout

// The record as the 1501 bytes of the file (no encryption applied here), and back. Decoding
// needs at least RecordSize bytes.
QByteArray EncodeConfigRecord(const ConfigRecord &record);
bool DecodeConfigRecord(const QByteArray &bytes, ConfigRecord &record);

// The time of day of the scheduled report check: TimeToPrint + ":00 " + AMPM, read as "h:mm AP".
// Invalid when the two fields do not make a time.
QTime ScheduledReportTime(const ConfigRecord &record);
// Whether the scheduled report check is switched on: AutoPrintReport, trimmed and lower-cased,
// contains "yes".
bool AutoPrintReportOn(const ConfigRecord &record);
