#include <core/DateTimeText.h>
#include <core/Win1252.h>

#include <QLocale>
#include <QStringDecoder>
#include <QStringEncoder>
#include <QTest>

#include <ctime>

namespace {
// The general reader, which the program's reader must agree with on every text.
QDateTime generalReading(const QString &text)
{
    return QLocale::c().toDateTime(text.trimmed(), QStringLiteral("M/d/yyyy h:mm:ss AP"));
}
} // namespace

class TestDateTime : public QObject {
    Q_OBJECT
private slots:
    void textForm_data()
    {
        QTest::addColumn<QDateTime>("when");
        QTest::addColumn<QString>("text");
        QTest::newRow("morning") << QDateTime(QDate(2026, 3, 4), QTime(9, 5, 7)) << "3/4/2026 9:05:07 AM";
        QTest::newRow("midnight") << QDateTime(QDate(2026, 1, 1), QTime(0, 0, 0)) << "1/1/2026 12:00:00 AM";
        QTest::newRow("noon") << QDateTime(QDate(2026, 1, 1), QTime(12, 0, 0)) << "1/1/2026 12:00:00 PM";
        QTest::newRow("longest") << QDateTime(QDate(2026, 12, 31), QTime(23, 59, 59))
                                 << "12/31/2026 11:59:59 PM";
    }
    void textForm()
    {
        QFETCH(QDateTime, when);
        QFETCH(QString, text);
        QCOMPARE(DateTimeText(when), text);
        QVERIFY(text.size() <= 22);
        QCOMPARE(ParseDateTimeText(text), when);
        QCOMPARE(ParseSortableDateTime(SortableDateTime(when)), when);
    }

    void readerAgreesWithGeneralReader_data()
    {
        QTest::addColumn<QString>("text");
        QTest::newRow("written form") << "3/14/2026 10:31:00 AM";
        QTest::newRow("one past midnight") << "1/1/2026 12:00:01 AM";
        QTest::newRow("last second of noon hour") << "7/4/2026 12:59:59 PM";
        QTest::newRow("last second of day") << "12/31/2026 11:59:59 PM";
        QTest::newRow("one PM") << "10/10/2026 1:00:00 PM";
        QTest::newRow("blanks around") << "  3/4/2026 9:05:07 PM   ";
        QTest::newRow("leading zeros") << "03/04/2026 09:05:07 AM";
        QTest::newRow("lower-case am") << "3/4/2026 9:05:07 am";
        QTest::newRow("no AM/PM") << "3/4/2026 9:05:07";
        QTest::newRow("30 February") << "2/30/2026 1:00:00 AM";
        QTest::newRow("29 February, leap year") << "2/29/2028 1:00:00 AM";
        QTest::newRow("month 13") << "13/1/2026 1:00:00 AM";
        QTest::newRow("hour 0") << "1/1/2026 0:00:00 AM";
        QTest::newRow("hour 13") << "1/1/2026 13:00:00 PM";
        QTest::newRow("minute 60") << "1/1/2026 1:60:00 AM";
        QTest::newRow("one-digit minute") << "1/1/2026 1:5:00 AM";
        QTest::newRow("three-digit year") << "1/1/999 1:00:00 AM";
        QTest::newRow("year 0999") << "1/1/0999 1:00:00 AM";
        QTest::newRow("trailing text") << "1/1/2026 1:00:00 AMX";
        QTest::newRow("empty") << "";
        QTest::newRow("not a date") << "False";
    }
    void readerAgreesWithGeneralReader()
    {
        QFETCH(QString, text);
        const QDateTime expected = generalReading(text);
        const QDateTime read = ParseDateTimeText(text);
        QCOMPARE(read.isValid(), expected.isValid());
        if (expected.isValid()) {
            QCOMPARE(read.date(), expected.date());
            QCOMPARE(read.time(), expected.time());
            QCOMPARE(read, expected);
        }
    }

    // Every half hour of a year in a zone with daylight saving (a second later each time, so
    // every minute and second is written too): the skipped and the repeated hour included, each
    // text is the one the general formatter writes and reads back as the general reader reads it.
    void everyHalfHourOfAYearReadsBack()
    {
        const QByteArray oldZone = qgetenv("TZ");
        qputenv("TZ", "America/New_York");
        tzset();
        const bool hasGap = !QDateTime(QDate(2026, 3, 8), QTime(2, 30)).isValid() ||
                            QDateTime(QDate(2026, 3, 8), QTime(2, 30)).time() != QTime(2, 30);
        for (QDateTime when(QDate(2026, 1, 1), QTime(0, 0)); when.date().year() == 2026;
             when = when.addSecs(1801)) {
            const QString text = DateTimeText(when);
            const QDateTime read = ParseDateTimeText(text);
            const QDateTime expected = generalReading(text);
            if (read != expected || read.time() != expected.time() ||
                text != QLocale::c().toString(when, QStringLiteral("M/d/yyyy h:mm:ss AP"))) {
                qputenv("TZ", oldZone);
                tzset();
                QFAIL(qPrintable(text));
            }
        }
        // One instant written as a local time, then as UTC: each keeps its own text.
        const QDateTime noon(QDate(2026, 6, 1), QTime(12, 0));
        const QString localText = DateTimeText(noon), utcText = DateTimeText(noon.toUTC());
        oldZone.isNull() ? qunsetenv("TZ") : qputenv("TZ", oldZone);
        tzset();
        if (hasGap) {
            QCOMPARE(localText, QStringLiteral("6/1/2026 12:00:00 PM"));
            QCOMPARE(utcText, QStringLiteral("6/1/2026 4:00:00 PM"));
        }
        for (const QDateTime &odd : {QDateTime(QDate(999, 1, 2), QTime(3, 4, 5)),
                                     QDateTime(QDate(10000, 1, 2), QTime(13, 4, 5)), QDateTime()})
            QCOMPARE(DateTimeText(odd), QLocale::c().toString(odd, QStringLiteral("M/d/yyyy h:mm:ss AP")));
        if (!hasGap)
            QSKIP("the TZ variable does not change local time here; only the standard hours were read");
    }

    void sortableFormOrdersAcrossYearsAndNoon()
    {
        const QString a = SortableDateTime(QDateTime(QDate(2025, 12, 31), QTime(23, 0)));
        const QString b = SortableDateTime(QDateTime(QDate(2026, 1, 1), QTime(1, 0)));
        const QString c = SortableDateTime(QDateTime(QDate(2026, 1, 1), QTime(13, 0)));
        QVERIFY(a < b && b < c);
    }

    void win1252()
    {
        QCOMPARE(ToWin1252(TemperatureUnitText('F')), QByteArray("\xB0"
                                                                 "F"));
        QCOMPARE(FromWin1252(QByteArray("\x80")), QString(QChar(0x20AC)));
        QCOMPARE(FixedField("abc", 5), QByteArray("abc  "));
        QCOMPARE(FixedField("abcdef", 3), QByteArray("abc"));
    }

    // Text written and read through Windows-1252 gives what the general codec gives, for the
    // characters Latin-1 shares with it and for those it does not.
    void win1252AgreesWithCodec_data()
    {
        QTest::addColumn<QString>("text");
        QString shared;
        for (char16_t c = 0; c <= 0xFF; ++c)
            if (c < 0x80 || c >= 0xA0)
                shared.append(QChar(c));
        QTest::newRow("shared with Latin-1") << shared;
        QTest::newRow("degree and name") << QString::fromUtf8("Bob's freezer \u00B0F");
        QTest::newRow("euro and quotes") << QString::fromUtf8("\u20AC \u201Cx\u201D \u2013");
        QTest::newRow("C1 control") << QString(QChar(0x81));
        QTest::newRow("empty") << QString();
    }
    void win1252AgreesWithCodec()
    {
        QFETCH(QString, text);
        QStringEncoder encoder("windows-1252");
        if (!encoder.isValid())
            QSKIP("no Windows-1252 codec here");
        const QByteArray expected = encoder.encode(text);
        QCOMPARE(ToWin1252(text), expected);
        QStringDecoder decoder("windows-1252");
        QCOMPARE(FromWin1252(expected), decoder.decode(expected));
    }
    // Text the code page cannot hold is written as "?", one per character, never as the control
    // byte 1A.
    void win1252WritesQuestionMarks_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QByteArray>("bytes");
        QTest::newRow("outside the code page") << QString::fromUtf8("\u65E5\u672C") << QByteArray("??");
        QTest::newRow("mixed") << QString::fromUtf8("\u00B0\u20AC\u0416x") << QByteArray("\xB0\x80?x");
        QTest::newRow("surrogate pair") << QString::fromUtf8("a\U0001F600b") << QByteArray("a?b");
        QTest::newRow("lone surrogate") << QString(QChar(0xD800)) << QByteArray("?");
    }
    void win1252WritesQuestionMarks()
    {
        QFETCH(QString, text);
        QFETCH(QByteArray, bytes);
        QCOMPARE(ToWin1252(text), bytes);
        QCOMPARE(FixedField(text, 6), bytes + QByteArray(6 - bytes.size(), ' '));
    }

    void win1252ReadsEveryByteAsCodec()
    {
        QStringDecoder decoder("windows-1252");
        if (!decoder.isValid())
            QSKIP("no Windows-1252 codec here");
        QByteArray all;
        for (int b = 0; b < 256; ++b) {
            const QByteArray one(1, char(b));
            QCOMPARE(FromWin1252(one), QStringDecoder("windows-1252").decode(one));
            all.append(one);
        }
        QCOMPARE(FromWin1252(all), decoder.decode(all));
        QCOMPARE(FromWin1252(QByteArray("a\0b", 3)).size(), 3);
    }
};

QTEST_GUILESS_MAIN(TestDateTime)
#include "tst_datetime.moc"
