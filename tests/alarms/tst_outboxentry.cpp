// One outbox message on its own: when its attempts fall due, what an attempt's outcome does to
// it, the text its record shows, and its round trip through the table's row.
#include <alarms/OutboxEntry.h>
#include <core/Clock.h>
#include <core/DateTimeText.h>

#include <QTest>

Q_DECLARE_METATYPE(MailIniSettings)

namespace {
const QDateTime kCreated(QDate(2026, 3, 14), QTime(10, 0, 0));
const QChar kCR(13);

MailIniSettings settings(int hours, int first, int longest)
{
    MailIniSettings s;
    s.retryHours = hours;
    s.retryFirstSeconds = first;
    s.retryMaxSeconds = longest;
    return s;
}

// The message is made at kCreated on this clock.
OutboxEntry alarmTo(const QStringList &addresses, const ManualClock &clock)
{
    OutboxEntry e;
    e.kind = "Alarm";
    e.record = OutboxEntry::Record::Alarm;
    e.recordId = 7;
    e.created = kCreated;
    e.origin = Moment::fromWallClock(clock, kCreated);
    e.nextAttempt = e.origin;
    e.messageId = "<1@example.com>";
    e.message.addRecipientList(addresses.join(','));
    e.message.subject = "Sensor: Freezer has generated an alarm!";
    e.message.senderDisplayName = "Quellmark VKL";
    e.message.body = "Line one" + QString(kCR) + "Line two";
    e.pending = addresses;
    return e;
}

SmtpOutcome refusedConnection()
{
    SmtpOutcome o;
    o.errorText = "Couldn't connect to server";
    return o;
}

SmtpOutcome repliedTo(const QList<RecipientReply> &replies, bool sent)
{
    SmtpOutcome o;
    o.sent = sent;
    o.recipientReplies = replies;
    if (!sent)
        o.errorText = "RCPT failed. Server reply: " + replies.last().reply;
    return o;
}
} // namespace

class TestOutboxEntry : public QObject {
    Q_OBJECT
private slots:
    // The n-th failed attempt (made at created + at) puts the next one at created + next; -1:
    // no attempt left.
    void nextAttemptDoublesUpToTheLongestPauseAndEndsAtRetryHours_data()
    {
        QTest::addColumn<MailIniSettings>("s");
        QTest::addColumn<int>("failed");
        QTest::addColumn<int>("at");
        QTest::addColumn<int>("next");
        const MailIniSettings usual = settings(24, 60, 900);
        QTest::newRow("first failure") << usual << 1 << 0 << 60;
        QTest::newRow("second") << usual << 2 << 60 << 180;
        QTest::newRow("fifth: 960 capped") << usual << 5 << 1000 << 1900;
        QTest::newRow("fiftieth: still capped") << usual << 50 << 40000 << 40900;
        QTest::newRow("last falls on the deadline") << usual << 90 << 86000 << 86400;
        QTest::newRow("at the deadline: given up") << usual << 91 << 86400 << -1;
        QTest::newRow("retryHours 0: one attempt") << settings(0, 60, 900) << 1 << 0 << -1;
        QTest::newRow("longest below first") << settings(24, 300, 60) << 3 << 0 << 300;
    }
    void nextAttemptDoublesUpToTheLongestPauseAndEndsAtRetryHours()
    {
        QFETCH(MailIniSettings, s);
        QFETCH(int, failed);
        QFETCH(int, at);
        QFETCH(int, next);
        const Moment origin = Moment::now(ManualClock(kCreated));
        const Moment got = NextAttemptAfterFailure(origin, origin.addSecs(at), failed, s);
        QCOMPARE(got.isValid(), next >= 0);
        if (next >= 0)
            QCOMPARE(origin.msecsTo(got), next * 1000LL);
    }

    void recordTextFollowsTheMessage()
    {
        ManualClock clock(kCreated);
        OutboxEntry e = alarmTo({"a@example.com"}, clock);
        QCOMPARE(e.recordText(), QStringLiteral("Waiting to be sent"));

        const QDateTime firstTry = kCreated.addSecs(1);
        clock.set(firstTry);
        e.applyOutcome(refusedConnection(), clock, settings(24, 60, 900));
        QCOMPARE(e.state, OutboxEntry::State::Waiting);
        QCOMPARE(e.recordText(), "There was an error sending an alarm email " + DateTimeText(firstTry) + kCR +
                                     "The email error is:" + kCR + "Couldn't connect to server" + kCR +
                                     "Attempt 1 failed; it will be tried again.");
        QCOMPARE(e.nextAttempt.toWallClock(clock), firstTry.addSecs(60));
        // A device failure notice keeps the error alone, as a failed notice always did.
        OutboxEntry notice = e;
        notice.record = OutboxEntry::Record::DeviceFailure;
        QVERIFY(notice.recordText().startsWith("Couldn't connect to server" + QString(kCR) + "Attempt 1"));

        const QDateTime delivered = firstTry.addSecs(60);
        SmtpOutcome sent;
        sent.sent = true;
        clock.set(delivered);
        e.applyOutcome(sent, clock, settings(24, 60, 900));
        QCOMPARE(e.state, OutboxEntry::State::Delivered);
        QCOMPARE(e.recordText(), DateTimeText(delivered));
        QVERIFY(ParseDateTimeText(e.recordText()).isValid());

        OutboxEntry once = alarmTo({"a@example.com"}, clock);
        once.applyOutcome(refusedConnection(), clock, settings(0, 60, 900));
        QCOMPARE(once.state, OutboxEntry::State::GivenUp);
        QVERIFY(once.recordText().endsWith(kCR + QStringLiteral("Given up after 1 attempt(s).")));
    }

    // Each recipient counts on its own: delivered and refused-for-good ones leave the message,
    // refused-for-now ones stay; a message all of whose recipients were refused for good is
    // given up at once.
    void recipientsLeaveAsTheServerAnswers()
    {
        ManualClock clock(kCreated);
        OutboxEntry e = alarmTo({"ok@example.com", "busy@example.com", "gone@example.com"}, clock);
        const QList<RecipientReply> refused =
            e.applyOutcome(repliedTo({{"ok@example.com", "250 OK"},
                                      {"busy@example.com", "450 4.2.1 Mailbox busy"},
                                      {"gone@example.com", "550 5.1.1 User unknown"}},
                                     true),
                           clock, settings(24, 60, 900));
        QCOMPARE(refused.size(), 1);
        QCOMPARE(refused.first().address, QStringLiteral("gone@example.com"));
        QCOMPARE(e.pending, QStringList{"busy@example.com"});
        QCOMPARE(e.state, OutboxEntry::State::Waiting);
        QVERIFY(e.deliveredToSome);
        QVERIFY(e.lastError.contains("busy@example.com"));
        // The To header still names all three.
        QCOMPARE(e.message.recipients().size(), 3);

        clock.advanceSeconds(60);
        e.applyOutcome(repliedTo({{"busy@example.com", "550 5.1.1 Gone now"}}, false), clock,
                       settings(24, 60, 900));
        QCOMPARE(e.state, OutboxEntry::State::Delivered);

        OutboxEntry nobody = alarmTo({"gone@example.com"}, clock);
        nobody.applyOutcome(repliedTo({{"gone@example.com", "550 5.1.1 User unknown"}}, false), clock,
                            settings(24, 60, 900));
        QCOMPARE(nobody.state, OutboxEntry::State::GivenUp);
        QVERIFY(nobody.refusedForGood);
        QVERIFY2(nobody.recordText().contains("550 5.1.1 User unknown") &&
                     nobody.recordText().contains("no further attempt is made"),
                 qPrintable(nobody.recordText()));
    }

    // Across a stop, stored and read back: the message as it was built, its wait and its age.
    // The wall clock set back two hours while the message waited moves neither; the ten minutes
    // between the stop and the start count.
    void rowRoundTripKeepsTheMessage()
    {
        ManualClock clock(kCreated);
        OutboxEntry e = alarmTo({"ok@example.com", "busy@example.com"}, clock);
        clock.advanceSeconds(5);
        e.applyOutcome(repliedTo({{"ok@example.com", "250 OK"}, {"busy@example.com", "451 Later"}}, true),
                       clock, settings(24, 60, 900));
        e.rowId = 12;
        clock.setWallClock(clock.now().addSecs(-7200));
        const OutboxRow row = e.toRow(clock);
        QCOMPARE(row.Created, kCreated); // the message's Date stays
        QCOMPARE(row.NextAttempt, clock.now().addSecs(60));
        clock.advanceSeconds(600);
        OutboxEntry back;
        QVERIFY(OutboxEntry::fromRow(row, clock, back));
        QCOMPARE(back.nextAttempt.ageMs(clock), 540 * 1000);
        QCOMPARE(back.origin.ageMs(clock), 605 * 1000);
        QCOMPARE(back.created, kCreated);
        // A row an older version wrote: the age counts from its creation on the wall clock.
        OutboxRow older = row;
        older.AgedFrom = QDateTime();
        QVERIFY(OutboxEntry::fromRow(older, clock, back));
        QCOMPARE(back.origin.toWallClock(clock), kCreated);
        QVERIFY(OutboxEntry::fromRow(row, clock, back));
        QCOMPARE(back.rowId, 12);
        QCOMPARE(back.kind, e.kind);
        QCOMPARE(back.record, OutboxEntry::Record::Alarm);
        QCOMPARE(back.recordId, 7);
        QCOMPARE(back.messageId, e.messageId);
        QCOMPARE(back.message.body, e.message.body);
        QCOMPARE(back.message.subject, e.message.subject);
        QCOMPARE(back.message.senderDisplayName, e.message.senderDisplayName);
        QCOMPARE(back.message.recipientAddresses(), e.message.recipientAddresses());
        QCOMPARE(back.pending, QStringList{"busy@example.com"});
        QVERIFY(back.deliveredToSome);
        QCOMPARE(back.attempts, 1);
        QCOMPARE(back.recordText(), e.recordText());
        QVERIFY(!back.dirty);
    }

    // A report's PDF is stored with its message and comes back byte for byte; stored bytes
    // that are cut short or not ours are refused rather than sent as a message without its file.
    void attachmentsRoundTripAndDamagedOnesAreRefused()
    {
        const ManualClock clock(kCreated);
        OutboxEntry e = alarmTo({"admin@example.com"}, clock);
        QByteArray pdf("%PDF-1.4\n");
        for (int i = 0; i < 5000; ++i)
            pdf += char(i * 7);
        e.message.attachments = {{"März 2026.pdf", "application/pdf", pdf}, {"empty.txt", "text/plain", {}}};
        OutboxRow row = e.toRow(clock);
        QVERIFY(row.Attachments.isEmpty()); // written once, with the new message
        row.Attachments = EncodeAttachments(e.message.attachments);
        OutboxEntry back;
        QVERIFY(OutboxEntry::fromRow(row, clock, back));
        QCOMPARE(back.message.attachments.size(), 2);
        QCOMPARE(back.message.attachments[0].fileName, QString("März 2026.pdf"));
        QCOMPARE(back.message.attachments[0].contentType, QByteArray("application/pdf"));
        QCOMPARE(back.message.attachments[0].data, pdf);
        QCOMPARE(back.message.attachments[1].data, QByteArray());

        const QByteArray whole = row.Attachments;
        for (const QByteArray &damaged :
             {whole.left(whole.size() - 1), whole.left(6), whole + "x", QByteArray("%PDF-1.4 not ours"),
              QByteArray(whole).replace(0, 4, "XXXX")}) {
            row.Attachments = damaged;
            QVERIFY(!OutboxEntry::fromRow(row, clock, back));
            QVERIFY(back.message.attachments.isEmpty());
            QCOMPARE(back.message.subject, e.message.subject);
        }
        row.Attachments.clear();
        QVERIFY(OutboxEntry::fromRow(row, clock, back));
        QVERIFY(back.message.attachments.isEmpty());
    }
};

QTEST_GUILESS_MAIN(TestOutboxEntry)
#include "tst_outboxentry.moc"
