#include <alarms/UnitText.h>

#include <support/TestState.h>

#include <QTest>

class TestUnitText : public QObject {
    Q_OBJECT
private slots:
    void unitByModelAndPort_data()
    {
        QTest::addColumn<QString>("model");
        QTest::addColumn<int>("port");
        QTest::addColumn<QString>("unit");
        const QString degreeF = QString::fromLatin1("\xB0"
                                                    "F");
        QTest::newRow("700-5 temperature") << "Model RX700-5" << 0 << degreeF;
        QTest::newRow("700-5 door") << "Model RX700-5" << 8 << "";
        QTest::newRow("700-10 port 9") << "RX700-10" << 9 << "";
        QTest::newRow("700-10 port 7") << "RX700-10" << 7 << degreeF;
        QTest::newRow("Wexa 15 port 2") << "Wexa 15" << 2 << "";
        QTest::newRow("Wexa 15 port 4") << "Wexa 15" << 4 << degreeF;
        QTest::newRow("Wexa 16 humidity") << "Wexa 16" << 3 << "%RH";
        QTest::newRow("Wexa 16 port 5") << "Wexa 16" << 5 << "";
        QTest::newRow("Wexa 16 port 6") << "Wexa 16" << 6 << degreeF;
        QTest::newRow("700-8 humidity") << "RX700-8" << 5 << "%RH";
        QTest::newRow("700-8 temperature") << "RX700-8" << 6 << degreeF;
        QTest::newRow("700-8 water") << "RX700-8" << 8 << "";
        QTest::newRow("720 port 3") << "RX720" << 3 << degreeF;
        QTest::newRow("740 port 4") << "RX740" << 4 << "";
        QTest::newRow("unknown model") << "Something else" << 0 << "";
    }
    void unitByModelAndPort()
    {
        QFETCH(QString, model);
        QFETCH(int, port);
        QFETCH(QString, unit);
        QCOMPARE(UnitTextForPort(model, port, 'F'), unit);
    }

    // Before any readings reply the scale is F; a reply whose scale byte is no letter does not
    // put a NUL into the unit (which would also chart the sensor on a %RH axis).
    void scaleLetter()
    {
        TestState t;
        const QString degreeF = QString::fromLatin1("\xB0"
                                                    "F");
        QCOMPARE(UnitTextForPort("RX700-5", 0, t.state.TemperatureScale), degreeF);
        QCOMPARE(UnitTextForPort("RX700-5", 0, 'C'), QString::fromLatin1("\xB0"
                                                                         "C"));
        QCOMPARE(UnitTextForPort("RX700-5", 0, 0), degreeF);
    }
};

QTEST_GUILESS_MAIN(TestUnitText)
#include "tst_unittext.moc"
