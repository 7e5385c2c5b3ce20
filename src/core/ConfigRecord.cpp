#include "ConfigRecord.h"

#include "Win1252.h"

#include <QtEndian>

#include <cstring>

namespace ConfigLayout {
namespace {
using R = ConfigRecord;
constexpr Kind T = Kind::Text;
constexpr Kind N = Kind::Int16;
constexpr Kind B = Kind::Raw;

const Field kFields[] = {
    {"Reserved1", 0, 50, B, nullptr, nullptr, &R::Reserved1},
    {"Reserved2", 50, 50, B, nullptr, nullptr, &R::Reserved2},
    {"Reserved3", 100, 4, B, nullptr, nullptr, &R::Reserved3},
    {"OrgName", 104, 51, T, &R::OrgName},
    {"OrgAddress", 155, 250, T, &R::OrgAddress},
    {"OrgPhoneNumber", 405, 20, T, &R::OrgPhoneNumber},
    {"PrinterName", 425, 100, T, &R::PrinterName},
    {"PrinterIndex", 525, 2, N, nullptr, &R::PrinterIndex},
    {"AutoPrintReport", 527, 3, T, &R::AutoPrintReport},
    {"Reserved4", 530, 2, B, nullptr, nullptr, &R::Reserved4},
    {"TimeToPrint", 532, 2, T, &R::TimeToPrint},
    {"AMPM", 534, 2, T, &R::AMPM},
    {"SMTPHost", 536, 100, T, &R::SMTPHost},
    {"SMTPUserName", 636, 100, T, &R::SMTPUserName},
    {"SMTPPassword", 736, 100, T, &R::SMTPPassword},
    {"LoginDomain", 836, 100, T, &R::LoginDomain},
    {"AuthenticationMethod", 936, 20, T, &R::AuthenticationMethod},
    {"AdminEmailAddress", 956, 100, T, &R::AdminEmailAddress},
    {"SMTPPort", 1056, 2, N, nullptr, &R::SMTPPort},
    {"SMTPTimeOut", 1058, 2, N, nullptr, &R::SMTPTimeOut},
    {"CommunicationRetry", 1060, 2, N, nullptr, &R::CommunicationRetry},
    {"TCPTimeOut", 1062, 2, N, nullptr, &R::TCPTimeOut},
    {"UpdateRate", 1064, 2, N, nullptr, &R::UpdateRate},
    {"AuthenticationRequired", 1066, 2, N, nullptr, &R::AuthenticationRequired},
    {"UseSSL", 1068, 2, N, nullptr, &R::UseSSL},
    {"FromAddress", 1070, 100, T, &R::FromAddress},
    {"SystemOKEmail", 1170, 2, N, nullptr, &R::SystemOKEmail},
    {"LastSystemOKEmail", 1172, 25, T, &R::LastSystemOKEmail},
    {"EnableTrending", 1197, 2, N, nullptr, &R::EnableTrending},
    {"AdminUserName", 1199, 100, T, &R::AdminUserName},
    {"AdminPassword", 1299, 100, T, &R::AdminPassword},
    {"LogDirectory", 1399, 100, T, &R::LogDirectory},
    {"PopUps", 1499, 2, N, nullptr, &R::PopUps},
};
} // namespace

const Field *fields()
{
    return kFields;
}
int fieldCount()
{
    return int(std::size(kFields));
}

const Field *field(const char *name)
{
    for (const Field &f : kFields)
        if (std::strcmp(f.name, name) == 0)
            return &f;
    return nullptr;
}
} // namespace ConfigLayout

using namespace ConfigLayout;

QByteArray EncodeConfigRecord(const ConfigRecord &record)
{
    QByteArray bytes(RecordSize, '\0');
    for (const Field &f : kFields) {
        char *at = bytes.data() + f.offset;
        switch (f.kind) {
        case Kind::Text: {
            const QString &value = record.*(f.text);
            if (!value.isNull())
                std::memcpy(at, FixedField(value, f.width).constData(), size_t(f.width));
            break;
        }
        case Kind::Int16:
            qToLittleEndian<qint16>(record.*(f.number), at);
            break;
        case Kind::Raw: {
            const QByteArray &raw = record.*(f.raw);
            std::memcpy(at, raw.constData(), size_t(qMin<qsizetype>(raw.size(), f.width)));
            break;
        }
        }
    }
    return bytes;
}

bool DecodeConfigRecord(const QByteArray &bytes, ConfigRecord &record)
{
    if (bytes.size() < RecordSize)
        return false;
    for (const Field &f : kFields) {
        const QByteArray slice = bytes.mid(f.offset, f.width);
        switch (f.kind) {
        case Kind::Text: {
            if (slice.count('\0') == slice.size()) {
                record.*(f.text) = QString();
                break;
            }
            QByteArray text = slice;
            while (!text.isEmpty() && (text.endsWith(' ') || text.endsWith('\0')))
                text.chop(1);
            record.*(f.text) = FromWin1252(text);
            if ((record.*(f.text)).isNull())
                record.*(f.text) = QLatin1String("");
            break;
        }
        case Kind::Int16:
            record.*(f.number) = qFromLittleEndian<qint16>(slice.constData());
            break;
        case Kind::Raw:
            record.*(f.raw) = slice;
            break;
        }
    }
    return true;
}

QTime ScheduledReportTime(const ConfigRecord &record)
{
    return QTime::fromString(record.TimeToPrint.trimmed() + QStringLiteral(":00 ") + record.AMPM.trimmed(),
                             QStringLiteral("h:mm AP"));
}

bool AutoPrintReportOn(const ConfigRecord &record)
{
    return record.AutoPrintReport.trimmed().toLower().contains(QLatin1String("yes"));
}
