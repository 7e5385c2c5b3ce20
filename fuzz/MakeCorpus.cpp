// Writes the seed inputs of the fuzz targets from what the program and the device simulator
// really produce: settings files saved by ConfigFile, sensor data files written by the data
// file writers, device replies from SimDevice. Usage: fuzz_make_corpus <corpus directory>.
#include "FuzzHarness.h"
#include "FuzzState.h"

#include <SimDevice.h>
#include <acquisition/SensorDataFiles.h>
#include <core/Cipher.h>
#include <core/ConfigFile.h>
#include <editors/ModelLayouts.h>
#include <link/DeviceCommands.h>

#include <QDir>

#include <bit>
#include <cstdio>

namespace {
QString g_root;

void put(const QString &target, const QString &name, const QByteArray &bytes)
{
    const QString dir = QDir(g_root).filePath(target);
    QDir().mkpath(dir);
    WriteFuzzFile(QDir(dir).filePath(name), bytes);
}

QByteArray uint16Bytes(quint16 value)
{
    return QByteArray(1, char(value >> 8)) + char(value & 0xFF);
}

QByteArray int32Bytes(qint32 value)
{
    return uint16Bytes(quint16(quint32(value) >> 16)) + uint16Bytes(quint16(value & 0xFFFF));
}

void settingsFiles(FuzzState &fuzz)
{
    Cipher cipher;
    if (!cipher.InitCipher())
        FuzzFail("the cipher is available", __FILE__, __LINE__);
    ConfigFile file(fuzz.state, cipher);
    fuzz.state.Config = ConfigRecord();
    file.ValidateConfiguration(); // the defaults of a first start, saved
    const QByteArray defaults = ReadFuzzFile(file.path());

    ConfigRecord &c = fuzz.state.Config;
    c.OrgName = QStringLiteral("Bob's Cold Storage");
    c.OrgAddress = QStringLiteral("12 Harbour Road, Port Ellen");
    c.OrgPhoneNumber = QStringLiteral("555-0100");
    c.SMTPHost = QStringLiteral("mail.example.com");
    c.SMTPUserName = QStringLiteral("alarms");
    c.SMTPPassword = QString::fromUtf8("p\xC3\xA4sswort 63");
    c.AdminUserName = QStringLiteral("admin");
    c.AdminPassword = QStringLiteral("secret");
    c.AdminEmailAddress = QStringLiteral("admin@example.com");
    c.FromAddress = QStringLiteral("tallyport@example.com");
    c.LastSystemOKEmail = QStringLiteral("3/14/2026 8:00:00 AM");
    c.LogDirectory = QStringLiteral("/srv/tallyport/logs");
    c.UseSSL = 1;
    c.SMTPPort = 465;
    file.SaveConfiguration();
    const QByteArray filled = ReadFuzzFile(file.path());

    for (const char *target : {"configrecord", "configfile"}) {
        put(target, "defaults", defaults);
        put(target, "filled", filled);
        put(target, "short", filled.left(1000));
    }
}

void dataFiles(FuzzState &fuzz)
{
    const QString dir = fuzz.path(QStringLiteral("data"));
    QDir().mkpath(dir);
    const QString unit = QString(QChar(0xB0)) + QLatin1Char('F');
    // Readings every 25 minutes from 8:05 to 10:35.
    fuzz.clock.set(QDateTime(QDate(2026, 3, 14), QTime(8, 5, 0)));
    for (float reading : {-12.5f, -13.0f, -11.25f, -12.0f, 999.0f, -12.75f, -13.5f}) {
        SaveSensorReadingFiles(fuzz.state, dir, 7, QStringLiteral("Freezer 1"), QStringLiteral("Lab A"), unit,
                               reading);
        fuzz.clock.advanceSeconds(25 * 60);
    }
    const QByteArray header = ReadFuzzFile(SensorHeaderPath(dir, 7));
    const QByteArray statistics = ReadFuzzFile(SensorStatisticsPath(dir, 7));
    const QByteArray readings = ReadFuzzFile(SensorInstantaneousPath(dir, 7, QDate(2026, 3, 1)));
    put("datafiles", "header", header);
    put("datafiles", "statistics", statistics);
    put("datafiles", "instantaneous", readings);
    put("datafiles", "statistics-torn", statistics + statistics.left(10));

    // Minutes before 11:00 the span starts, minutes that break the line, then the month's file.
    const auto span = [](quint16 minutesBack, quint8 breakMinutes, const QByteArray &contents) {
        return uint16Bytes(minutesBack) + char(breakMinutes) + contents;
    };
    put("trendhistory", "whole-morning", span(240, 60, readings));
    put("trendhistory", "broken-lines", span(240, 20, readings));
    put("trendhistory", "last-hour-torn", span(60, 30, readings + readings.left(12)));

    // Choice byte, minutes past 8:30 (10:30 at 120), reading bits, then the file.
    const auto update = [](int which, quint16 minutes, float reading, const QByteArray &contents) {
        return QByteArray(1, char(which)) + uint16Bytes(minutes) +
               int32Bytes(std::bit_cast<qint32>(reading)) + contents;
    };
    put("sensorfileupdate", "statistics-same-hour", update(0, 120, -12.0f, statistics));
    put("sensorfileupdate", "statistics-next-hour", update(0, 185, 3.5f, statistics));
    put("sensorfileupdate", "statistics-empty", update(0, 120, 1.0f, QByteArray()));
    put("sensorfileupdate", "statistics-torn", update(0, 125, -1.0f, statistics + statistics.left(7)));
    put("sensorfileupdate", "instantaneous", update(1, 120, 72.5f, readings));
    put("sensorfileupdate", "instantaneous-torn", update(1, 120, 72.5f, readings.left(40)));
    put("sensorfileupdate", "header", update(2, 120, 0.0f, header));
    put("sensorfileupdate", "header-other", update(2, 120, 0.0f, QByteArray("Lab B").leftJustified(43, ' ')));
}

void dateTexts()
{
    const char *texts[] = {"3/14/2026 10:30:00 AM",       "12/31/9999 11:59:59 PM", "1/1/2000 12:00:00 AM",
                           "  2/29/2024 12:00:01 PM    ", "2026-03-14 10:30:00",    "9999-12-31 23:59:59"};
    int n = 0;
    for (const char *text : texts)
        put("datetimetext", QStringLiteral("text-%1").arg(++n), QByteArray(text));
}

void deviceReplies()
{
    const CommandCodes &codes = InitCommands();
    struct Identity {
        int family, model, firmware;
    };
    const Identity identities[] = {{3, 6, 7}, {3, 4, 5}, {5, 5, 23}, {5, 40, 25}, {5, 8, 26}};
    // Choice byte (0 identify, 1 readings, 2 page read, 3 log download), the identity of the
    // last identify (family byte below 100 means 3, below 200 means 5), the expected length.
    const auto reply = [](int which, const Identity &id, const QByteArray &bytes) {
        const char family = char(id.family == 3 ? 10 : 150);
        return QByteArray(1, char(which)) + family + char(id.model) + char(id.firmware) + char(60) + bytes;
    };
    for (const Identity &id : identities) {
        SimDevice device(id.family, id.model, id.firmware);
        device.setRawReading(0, -200);
        device.setRawReading(1, 725);
        device.setMinutes(2, 65535);
        device.setAlarmByte(3, 1);
        const QString name = QStringLiteral("%1-%2-%3").arg(id.family).arg(id.model).arg(id.firmware);
        put("replies", "identify-" + name, reply(0, id, device.execute(BuildCommand(codes.IdentifyCommand))));
        const QByteArray readings = device.execute(BuildCommand(codes.DataCommand));
        put("replies", "readings-" + name, reply(1, id, readings));
        const QByteArray page = device.execute(CommandCodes::ReadUserPageCommand(device.configPage()));
        put("replies", "page-" + name, reply(2, id, page));
        put("pagevalues", "page-" + name, int32Bytes(5) + int32Bytes(-200) + page);
        put("pagevalues", "readings-" + name, int32Bytes(58) + int32Bytes(0x1234) + readings);
    }
    const Identity wexa{3, 6, 7};
    SimDevice device(3, 6, 7);
    put("replies", "busy", reply(1, wexa, codes.BusyReply + QByteArray(56, '\0')));
    put("replies", "error-text", reply(1, wexa, codes.DataCommand + "ERROR" + QByteArray(51, '\0')));
    put("replies", "readings-short",
        reply(1, wexa, device.execute(BuildCommand(codes.DataCommand)).left(30)));
    put("replies", "identify-overflow",
        reply(0, wexa, codes.IdentifyCommand + QByteArray("\x80\x00\x00\x06\x00\x07", 6)));
}
// Downloads as the simulator sends them: a few records of each size, one with a part record.
void deviceLogs()
{
    struct Identity {
        int choice, family, model, firmware;
    };
    const Identity identities[] = {{0, 3, 3, 5}, {2, 3, 6, 7}, {3, 5, 5, 23}};
    for (const Identity &id : identities) {
        SimDevice device(id.family, id.model, id.firmware);
        device.setClock(QDateTime(QDate(2026, 12, 31), QTime(23, 57)));
        device.setUpdateRateMinutes(1);
        device.setRawReading(0, -200);
        device.setRawReading(1, 725);
        device.advance(4 * 60);
        const QString name = QStringLiteral("%1-%2-%3").arg(id.family).arg(id.model).arg(id.firmware);
        const QByteArray choice(1, char(id.choice));
        put("devicelog", "records-" + name, choice + device.log());
        put("devicelog", "part-record-" + name, choice + device.log() + device.log().left(6));
    }
    const QByteArray clockReply = QByteArray::fromHex("DECADE02090762040503080F0004");
    put("devicelog", "clock-reply", QByteArray(1, char(3)) + clockReply + QByteArray(46, '\0'));
}

// Pages of every editor as the simulator keeps them: a byte choosing the editor (in the order of
// fuzz_editorpages), the tenths mode, the page's place among the editor's pages, then the page.
void editorPages()
{
    struct Editor {
        const EditorLayout *layout;
        int family, model, firmware;
    };
    const Editor editors[] = {
        {&Rx705Layout(), 5, 5, 25},          {&Rx708Layout(), 5, 8, 12}, {&Rx720Layout(), 5, 20, 3},
        {&Rx740Layout(), 5, 40, 3},          {&WexaLayout(), 3, 5, 5},   {&Wexa16Layout(), 3, 6, 5},
        {&PhoneParametersLayout(), 5, 5, 25}};
    char choice = 0;
    for (const Editor &editor : editors) {
        SimDevice device(editor.family, editor.model, editor.firmware);
        device.setSensorName(0, "Freezer");
        device.setCorrection(0, -0.5);
        const QList<int> pages = editor.layout->pages();
        for (int k = 0; k < pages.size(); ++k) {
            const int page = pages.at(k);
            const QByteArray image = page == ReadingsPage ? device.readingsReply() : device.page(page);
            const QByteArray head = QByteArray(1, choice) + char(k % 2) + char(k);
            put("editorpages", editor.layout->name + QStringLiteral("-page%1").arg(page), head + image);
        }
        ++choice;
    }
}
} // namespace

int main(int argc, char **argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s <corpus directory>\n", argv[0]);
        return 2;
    }
    g_root = QString::fromLocal8Bit(argv[1]);
    FuzzState &fuzz = SharedFuzzState();
    settingsFiles(fuzz);
    dataFiles(fuzz);
    dateTexts();
    deviceReplies();
    deviceLogs();
    editorPages();
    std::printf("Seed inputs written to %s\n", argv[1]);
    return 0;
}
