#include <core/Login.h>
#include <ui/settings/LoginDialog.h>

#include <support/TestState.h>

#include <QLineEdit>
#include <QPushButton>
#include <QTest>

class TestLogin : public QObject {
    Q_OBJECT
private slots:
    void check_data()
    {
        QTest::addColumn<QString>("user");
        QTest::addColumn<QString>("password");
        QTest::addColumn<int>("result");
        QTest::newRow("exact") << "admin"
                               << "Secret" << int(LoginResult::Succeeded);
        QTest::newRow("password case") << "admin"
                                       << "secret" << int(LoginResult::WrongPassword);
        QTest::newRow("both wrong reports the password") << "x"
                                                         << "y" << int(LoginResult::WrongPassword);
        QTest::newRow("user wrong") << "Admin"
                                    << "Secret" << int(LoginResult::WrongUserName);
        QTest::newRow("typed text is not trimmed") << "admin "
                                                   << "Secret" << int(LoginResult::WrongUserName);
    }
    void check()
    {
        ConfigRecord config;
        config.AdminUserName = "admin   ";
        config.AdminPassword = "Secret";
        QFETCH(QString, user);
        QFETCH(QString, password);
        QFETCH(int, result);
        QCOMPARE(int(CheckLogin(config, user, password)), result);
    }

    void dialogSetsLoginSucceeded()
    {
        TestState t;
        t.state.Config.AdminUserName = "admin";
        t.state.Config.AdminPassword = "pw";
        LoginDialog dialog(t.state);
        dialog.show();
        QCOMPARE(dialog.windowTitle(), QString("Login"));
        auto *user = dialog.findChild<QLineEdit *>("txtUserName");
        auto *password = dialog.findChild<QLineEdit *>("txtPassword");
        auto *ok = dialog.findChild<QPushButton *>("cmdOK");
        QCOMPARE(password->echoMode(), QLineEdit::Password);
        QTest::keyClicks(user, "admin");
        QTest::keyClicks(password, "wrong");
        ok->click();
        QCOMPARE(t.prompts.texts, QStringList({"Invalid Password, try again!"}));
        QCOMPARE(t.prompts.titles, QStringList({"Login"}));
        QCOMPARE(password->selectedText(), QString("wrong"));
        QCOMPARE(dialog.focusWidget(), password);

        user->setText("Admin");
        password->setText("pw");
        ok->click();
        QCOMPARE(t.prompts.texts.last(), QString("Invalid Username, try again!"));
        QCOMPARE(user->selectedText(), QString("Admin"));
        QCOMPARE(dialog.focusWidget(), user);
        QVERIFY(!t.state.LoginSucceeded);

        user->setText("admin");
        ok->click();
        QVERIFY(t.state.LoginSucceeded);
        QCOMPARE(dialog.result(), int(QDialog::Accepted));
    }

    void eachOpeningStartsEmptyAndCancelLogsOut()
    {
        TestState t;
        t.state.LoginSucceeded = true;
        LoginDialog dialog(t.state);
        dialog.show();
        dialog.findChild<QLineEdit *>("txtUserName")->setText("left over");
        dialog.findChild<QLineEdit *>("txtPassword")->setText("left over");
        dialog.findChild<QPushButton *>("cmdCancel")->click();
        QVERIFY(!t.state.LoginSucceeded);
        QCOMPARE(dialog.result(), int(QDialog::Rejected));
        dialog.show();
        QCOMPARE(dialog.findChild<QLineEdit *>("txtUserName")->text(), QString());
        QCOMPARE(dialog.findChild<QLineEdit *>("txtPassword")->text(), QString());
        QCOMPARE(dialog.focusWidget(), dialog.findChild<QLineEdit *>("txtUserName"));
    }
};

QTEST_MAIN(TestLogin)
#include "tst_login.moc"
