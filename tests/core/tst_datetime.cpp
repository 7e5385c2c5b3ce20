#include <core/DateTimeText.h>
#include <core/Win1252.h>

#include <QTest>

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
};

QTEST_GUILESS_MAIN(TestDateTime)
#include "tst_datetime.moc"
