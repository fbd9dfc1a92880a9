#include "FormProbe.h"
#include "TestDatabase.h"
#include "access/Access.h"
#include "access/FormHaslo.h"
#include "access/FormLogowanie.h"
#include "store/DataModule.h"
#include "store/Sql.h"
#include "ui/MessageBox.h"

#include <QAction>
#include <QApplication>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <functional>

namespace {

const QString kNone = QStringLiteral("<none>");
const QString kPolish = QStringLiteral("Zażółć 'x");

// Diagnostic lines of the data module, kept while a test runs.
QStringList diagnostics;
QtMessageHandler previousHandler = nullptr;

void keepDiagnostic(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    if (context.category && QByteArray(context.category) == "penwick.store")
        diagnostics << message;
    else if (previousHandler)
        previousHandler(type, context, message);
}

QString storedPassword(const QString &path)
{
    return TestSql::value(path, QStringLiteral("SELECT Wartosc FROM USTAWIENIA WHERE Ustawienie = 'HasloDostepu'"));
}

int passwordRows(const QString &path)
{
    return TestSql::value(path, QStringLiteral("SELECT COUNT(*) FROM USTAWIENIA WHERE Ustawienie = 'HasloDostepu'"))
        .toInt();
}

// kNone leaves the file without a row.
void storePassword(const QString &path, const QString &value)
{
    if (value != kNone) {
        TestSql::exec(path, QStringLiteral("INSERT INTO USTAWIENIA (Ustawienie, Wartosc) VALUES ('HasloDostepu', ")
                                + Sql::quote(value) + QStringLiteral(")"));
    }
}

// Takes the data module's file away, so that its next statement fails.
void breakConnection(TDM &dm)
{
    dm.DisconnectDatabase();
    QVERIFY(QFile::rename(dm.databaseName(), dm.databaseName() + QStringLiteral(".gone")));
}

// Types as a keyboard would, letters beyond ASCII included.
void typeInto(QLineEdit *field, const QString &text)
{
    field->setFocus();
    field->clear();
    for (const QChar c : text) {
        if (c.unicode() < 0x80)
            QTest::keyClick(field, c.toLatin1());
        else
            QTest::sendKeyEvent(QTest::Click, field, Qt::Key_unknown, QString(c), Qt::NoModifier);
    }
}

bool activate(QWidget *window)
{
    window->activateWindow();
    return QTest::qWaitForWindowActive(window);
}

// Watchers of the running test; none may outlive it.
QObject *watchers = nullptr;

// Runs `step` once a modal window of type Dialog is the active modal widget,
// for dialogs that their callers run with exec(). A dialog still open after
// ten seconds is rejected, so a fault fails the test instead of hanging it.
template<class Dialog> void whenShown(std::function<void(Dialog &)> step)
{
    auto *timer = new QTimer(watchers);
    timer->setInterval(10);
    QObject::connect(timer, &QTimer::timeout, timer, [timer, step] {
        auto *dialog = qobject_cast<Dialog *>(QApplication::activeModalWidget());
        if (!dialog)
            return;
        timer->stop();
        timer->deleteLater();
        QPointer<Dialog> guard(dialog);
        QTimer::singleShot(10000, watchers, [guard] {
            if (guard)
                guard->reject();
        });
        step(*dialog);
    });
    timer->start();
}

} // namespace

class TestAccess final : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void cleanup();

    // Start-up check and login.
    void checkWithoutLogin_data();
    void checkWithoutLogin();
    void login_data();
    void login();
    void loginReadFailureCountsAsWrong();

    // Password dialog.
    void loadPassword_data();
    void loadPassword();
    void validation_data();
    void validation();
    void closingWithoutStoring_data();
    void closingWithoutStoring();
    void saveFailureStillCloses();
    void roundTripBeyondAscii();
    void configurePasswordFromMenu();

    // Diagnostic lines.
    void failureLineHidesPassword_data();
    void failureLineHidesPassword();
};

void TestAccess::init()
{
    MessageBox::setRecording(true);
    watchers = new QObject;
    diagnostics.clear();
    previousHandler = qInstallMessageHandler(keepDiagnostic);
}

void TestAccess::cleanup()
{
    qInstallMessageHandler(previousHandler);
    MessageBox::setRecording(false);
    delete watchers;
    watchers = nullptr;
}

// ---------------------------------------------------------------------------
// Start-up check and login

void TestAccess::checkWithoutLogin_data()
{
    QTest::addColumn<QString>("stored");
    QTest::addColumn<bool>("readFails");
    QTest::addColumn<QString>("diagnostic");
    QTest::newRow("no row") << kNone << false << "";
    QTest::newRow("empty value") << "" << false << "";
    QTest::newRow("failed read") << "Secret" << true
                                 << "DM : Nie można sprawdzić czy dostęp do programu jest strzeżony hasłem!";
}

void TestAccess::checkWithoutLogin()
{
    QFETCH(QString, stored);
    QFETCH(bool, readFails);
    QFETCH(QString, diagnostic);

    TestDatabase db;
    QVERIFY2(db.isValid(), qPrintable(db.error()));
    storePassword(db.path(), stored);
    TDM dm(db.path());
    if (readFails)
        breakConnection(dm);

    int shown = 0;
    whenShown<QDialog>([&shown](QDialog &dialog) {
        ++shown;
        dialog.reject();
    });
    // A login would run modally inside the check, where the watcher sees it.
    QVERIFY(CheckAccessPassword(dm));
    QVERIFY(dm.AccessGranted);
    QCOMPARE(shown, 0);
    QCOMPARE(diagnostics.size(), diagnostic.isEmpty() ? 0 : 1);
    if (!diagnostic.isEmpty())
        QVERIFY2(diagnostics.constFirst().startsWith(diagnostic), qPrintable(diagnostics.constFirst()));
}

void TestAccess::login_data()
{
    QTest::addColumn<QString>("stored");
    QTest::addColumn<QStringList>("wrong");
    QTest::addColumn<QString>("finish");
    QTest::addColumn<bool>("granted");

    const QString secret = QStringLiteral("Secret");
    QTest::newRow("right at once") << secret << QStringList() << "right" << true;
    QTest::newRow("other letter case") << secret << QStringList {QStringLiteral("secret")} << "esc" << false;
    QTest::newRow("missing trailing blank") << QStringLiteral("Secret ") << QStringList {secret} << "right" << true;
    QTest::newRow("extra leading blank") << secret << QStringList {QStringLiteral(" Secret")} << "cancel" << false;
    QTest::newRow("empty") << secret << QStringList {QString()} << "close box" << false;
    QTest::newRow("several wrong then right")
        << secret << QStringList {QStringLiteral("a"), QStringLiteral("SECRET"), QString(), QStringLiteral("Secre")}
        << "right" << true;
    QTest::newRow("Enter on Cancel checks the password") << secret << QStringList() << "right on cancel" << true;
    // A wrong password confirmed on Cancel is refused and the dialog stays; Esc leaves.
    QTest::newRow("Enter on Cancel with a wrong one") << secret << QStringList() << "wrong on cancel" << false;
    QTest::newRow("quote and letters beyond ASCII")
        << kPolish << QStringList {QStringLiteral("Zazolc 'x")} << "right" << true;
    QTest::newRow("Esc") << secret << QStringList() << "esc" << false;
    QTest::newRow("Cancel button") << secret << QStringList() << "cancel" << false;
    QTest::newRow("close box") << secret << QStringList() << "close box" << false;
}

void TestAccess::login()
{
    QFETCH(QString, stored);
    QFETCH(QStringList, wrong);
    QFETCH(QString, finish);
    QFETCH(bool, granted);

    TestDatabase db;
    QVERIFY2(db.isValid(), qPrintable(db.error()));
    storePassword(db.path(), stored);
    TDM dm(db.path());

    // What the dialog looked like after each wrong attempt: open, the typed
    // text kept, the focus in the field.
    QStringList kept;
    QStringList stayedOpen;
    whenShown<TFormLogowanie>([&](TFormLogowanie &login) {
        if (!activate(&login))
            return;
        auto confirm = [&login](QWidget *where) { QTest::keyClick(where, Qt::Key_Return); };
        for (const QString &attempt : std::as_const(wrong)) {
            typeInto(login.Haslo, attempt);
            confirm(login.Haslo);
            kept << login.Haslo->text();
            if (login.isVisible() && login.focusWidget() == login.Haslo)
                stayedOpen << attempt;
        }
        if (finish == QStringLiteral("right")) {
            typeInto(login.Haslo, stored);
            confirm(login.Haslo);
        } else if (finish.endsWith(QStringLiteral("on cancel"))) {
            typeInto(login.Haslo, finish == QStringLiteral("right on cancel") ? stored : stored.toUpper());
            login.Anuluj->setFocus();
            confirm(login.Anuluj);
            if (login.isVisible())
                QTest::keyClick(login.Haslo, Qt::Key_Escape);
        } else if (finish == QStringLiteral("esc")) {
            QTest::keyClick(login.Haslo, Qt::Key_Escape);
        } else if (finish == QStringLiteral("cancel")) {
            QTest::mouseClick(login.Anuluj, Qt::LeftButton);
        } else {
            login.close();
        }
    });

    QCOMPARE(CheckAccessPassword(dm), granted);
    QCOMPARE(dm.AccessGranted, granted);
    QCOMPARE(kept, wrong);
    QCOMPARE(stayedOpen, wrong);
    const int expectedBoxes = int(wrong.size()) + (finish == QStringLiteral("wrong on cancel") ? 1 : 0);
    QCOMPARE(MessageBox::takeRecorded(), QStringList(expectedBoxes, QStringLiteral("Wrong password!")));
    // No dialog is left behind either way.
    QCOMPARE(QApplication::activeModalWidget(), nullptr);
}

void TestAccess::loginReadFailureCountsAsWrong()
{
    TestDatabase db;
    QVERIFY2(db.isValid(), qPrintable(db.error()));
    storePassword(db.path(), kPolish);
    TDM dm(db.path());
    TFormLogowanie login(dm);
    login.show();
    QVERIFY(activate(&login));
    typeInto(login.Haslo, kPolish);
    breakConnection(dm);
    QTest::keyClick(login.Haslo, Qt::Key_Return);

    QVERIFY(login.isVisible());
    QVERIFY(!dm.AccessGranted);
    QCOMPARE(MessageBox::takeRecorded(), QStringList {QStringLiteral("Wrong password!")});
    QCOMPARE(login.Haslo->text(), kPolish);
    QCOMPARE(diagnostics.size(), 1);
    QVERIFY2(diagnostics.constFirst().startsWith(QStringLiteral("FormLogowanie : Can't check if password ")),
             qPrintable(diagnostics.constFirst()));
    // The attempt may be the right password: it is not written out.
    QVERIFY2(!diagnostics.constFirst().contains(QStringLiteral("Zażółć")), qPrintable(diagnostics.constFirst()));
}

// ---------------------------------------------------------------------------
// Password dialog

void TestAccess::loadPassword_data()
{
    QTest::addColumn<QString>("stored");
    QTest::addColumn<bool>("readFails");
    QTest::addColumn<QString>("shown");
    QTest::newRow("no row") << kNone << false << "";
    QTest::newRow("stored, unchanged") << QStringLiteral(" Pass word ") << false << " Pass word ";
    QTest::newRow("beyond ASCII") << kPolish << false << kPolish;
    QTest::newRow("failed read") << QStringLiteral("Secret") << true << "";
    // Stored by another tool; OK then refuses its length.
    QTest::newRow("longer than 20") << QStringLiteral("abcdefghij0123456789XYZ") << false << "abcdefghij0123456789XYZ";
}

void TestAccess::loadPassword()
{
    QFETCH(QString, stored);
    QFETCH(bool, readFails);
    QFETCH(QString, shown);

    TestDatabase db;
    QVERIFY2(db.isValid(), qPrintable(db.error()));
    storePassword(db.path(), stored);
    TDM dm(db.path());
    if (readFails)
        breakConnection(dm);
    TFormHaslo dialog(dm);
    QCOMPARE(dialog.Haslo->text(), shown);
    QCOMPARE(dialog.Powtorka->text(), shown);
    QCOMPARE(diagnostics.size(), readFails ? 1 : 0);
    if (readFails)
        QVERIFY(diagnostics.constFirst().startsWith(QStringLiteral("FormHaslo : Can't retrieve password!")));
    dialog.OK->click();
    QCOMPARE(MessageBox::takeRecorded().size(), shown.size() > 20 ? 1 : 0);
}

void TestAccess::validation_data()
{
    QTest::addColumn<QString>("before");
    QTest::addColumn<QString>("password");
    QTest::addColumn<QString>("repeated");
    QTest::addColumn<QString>("message");
    QTest::addColumn<QString>("focus");
    QTest::addColumn<QString>("after");

    const QString secret = QStringLiteral("Secret");
    const QString twenty = QStringLiteral("abcdefghij0123456789");
    const QString length = QStringLiteral("Password must be from 3 to 20 characters length!");
    QTest::newRow("both empty removes the protection") << secret << ""
                                                       << ""
                                                       << ""
                                                       << ""
                                                       << "";
    QTest::newRow("both empty, no row before") << kNone << ""
                                               << ""
                                               << ""
                                               << ""
                                               << "";
    QTest::newRow("only Repeat filled") << secret << ""
                                        << "abc"
                                        << "Enter password!"
                                        << "Haslo" << secret;
    QTest::newRow("2 characters") << secret << "ab"
                                  << "ab" << length << "Haslo" << secret;
    QTest::newRow("2 characters, Repeat empty") << secret << "ab"
                                                << "" << length << "Haslo" << secret;
    QTest::newRow("3 characters") << secret << "abc"
                                  << "abc"
                                  << ""
                                  << ""
                                  << "abc";
    QTest::newRow("20 characters") << kNone << twenty << twenty << ""
                                   << "" << twenty;
    QTest::newRow("21 cannot be typed") << secret << twenty + QStringLiteral("X") << twenty << ""
                                        << "" << twenty;
    QTest::newRow("three blanks") << secret << "   "
                                  << "   "
                                  << ""
                                  << ""
                                  << "   ";
    QTest::newRow("Repeat empty") << secret << "abcd"
                                  << ""
                                  << "Repeat password!"
                                  << "Powtorka" << secret;
    QTest::newRow("different texts") << secret << "abcd"
                                     << "abce"
                                     << "Repeated password is wrong!"
                                     << "Powtorka" << secret;
    QTest::newRow("letter case differs") << secret << "abcd"
                                         << "Abcd"
                                         << "Repeated password is wrong!"
                                         << "Powtorka" << secret;
    QTest::newRow("trailing blank differs") << secret << "abcd "
                                            << "abcd"
                                            << "Repeated password is wrong!"
                                            << "Powtorka" << secret;
}

void TestAccess::validation()
{
    QFETCH(QString, before);
    QFETCH(QString, password);
    QFETCH(QString, repeated);
    QFETCH(QString, message);
    QFETCH(QString, focus);
    QFETCH(QString, after);

    TestDatabase db;
    QVERIFY2(db.isValid(), qPrintable(db.error()));
    storePassword(db.path(), before);
    TDM dm(db.path());
    TFormHaslo dialog(dm);
    dialog.show();
    QVERIFY(activate(&dialog));
    QCOMPARE(QApplication::focusWidget(), dialog.Haslo);
    typeInto(dialog.Haslo, password);
    typeInto(dialog.Powtorka, repeated);
    QTest::keyClick(dialog.Powtorka, Qt::Key_Return);

    QCOMPARE(MessageBox::takeRecorded(), message.isEmpty() ? QStringList() : QStringList {message});
    QCOMPARE(dialog.isVisible(), !message.isEmpty());
    if (!focus.isEmpty()) {
        QCOMPARE(dialog.focusWidget(), focus == QStringLiteral("Haslo") ? dialog.Haslo : dialog.Powtorka);
        // The fields keep what was typed.
        QCOMPARE(dialog.Haslo->text(), password);
        QCOMPARE(dialog.Powtorka->text(), repeated);
    }
    QCOMPARE(storedPassword(db.path()), after);
    QCOMPARE(passwordRows(db.path()), after == kNone ? 0 : 1);
}

void TestAccess::closingWithoutStoring_data()
{
    QTest::addColumn<QString>("how");
    QTest::newRow("Enter on Cancel") << "enter on cancel";
    QTest::newRow("Esc") << "esc";
    QTest::newRow("Cancel button") << "cancel";
    QTest::newRow("close box") << "close box";
}

void TestAccess::closingWithoutStoring()
{
    QFETCH(QString, how);

    TestDatabase db;
    QVERIFY2(db.isValid(), qPrintable(db.error()));
    storePassword(db.path(), QStringLiteral("Secret"));
    TDM dm(db.path());
    TFormHaslo dialog(dm);
    dialog.show();
    QVERIFY(activate(&dialog));
    typeInto(dialog.Haslo, QStringLiteral("Changed"));
    typeInto(dialog.Powtorka, QStringLiteral("Changed"));
    if (how == QStringLiteral("enter on cancel")) {
        QTest::keyClick(dialog.Powtorka, Qt::Key_Tab);
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        QCOMPARE(QApplication::focusWidget(), dialog.Anuluj);
        QTest::keyClick(dialog.Anuluj, Qt::Key_Return);
    } else if (how == QStringLiteral("esc")) {
        QTest::keyClick(dialog.Haslo, Qt::Key_Escape);
    } else if (how == QStringLiteral("cancel")) {
        QTest::mouseClick(dialog.Anuluj, Qt::LeftButton);
    } else {
        dialog.close();
    }
    QVERIFY(!dialog.isVisible());
    QVERIFY(MessageBox::takeRecorded().isEmpty());
    QCOMPARE(storedPassword(db.path()), QStringLiteral("Secret"));
}

void TestAccess::saveFailureStillCloses()
{
    TestDatabase db;
    QVERIFY2(db.isValid(), qPrintable(db.error()));
    storePassword(db.path(), QStringLiteral("Secret"));
    TDM dm(db.path());
    TFormHaslo dialog(dm);
    dialog.show();
    QVERIFY(activate(&dialog));
    typeInto(dialog.Haslo, kPolish);
    typeInto(dialog.Powtorka, kPolish);
    breakConnection(dm);
    QTest::keyClick(dialog.Powtorka, Qt::Key_Return);

    QVERIFY(!dialog.isVisible());
    QVERIFY(MessageBox::takeRecorded().isEmpty());
    QCOMPARE(storedPassword(db.path() + QStringLiteral(".gone")), QStringLiteral("Secret"));
    QCOMPARE(diagnostics.size(), 1);
    QVERIFY2(diagnostics.constFirst().contains(QStringLiteral("HasloDostepu o wartości ***")),
             qPrintable(diagnostics.constFirst()));
    QVERIFY(!diagnostics.constFirst().contains(QStringLiteral("Zażółć")));
}

void TestAccess::roundTripBeyondAscii()
{
    TestDatabase db;
    QVERIFY2(db.isValid(), qPrintable(db.error()));
    {
        TDM dm(db.path());
        TFormHaslo dialog(dm);
        dialog.show();
        QVERIFY(activate(&dialog));
        typeInto(dialog.Haslo, kPolish);
        typeInto(dialog.Powtorka, kPolish);
        QTest::mouseClick(dialog.OK, Qt::LeftButton);
        QVERIFY(!dialog.isVisible());
    }
    QCOMPARE(storedPassword(db.path()), kPolish);
    QCOMPARE(TestSql::value(db.path(), QStringLiteral("SELECT OCTET_LENGTH(Wartosc) FROM USTAWIENIA "
                                                      "WHERE Ustawienie = 'HasloDostepu'"))
                 .toInt(),
             int(kPolish.toUtf8().size()));

    // The next start asks for it and takes it as typed.
    TDM dm(db.path());
    whenShown<TFormLogowanie>([](TFormLogowanie &login) {
        if (!activate(&login))
            return;
        typeInto(login.Haslo, kPolish);
        QTest::keyClick(login.Haslo, Qt::Key_Return);
    });
    QVERIFY(CheckAccessPassword(dm));
    QVERIFY(MessageBox::takeRecorded().isEmpty());
}

void TestAccess::configurePasswordFromMenu()
{
    TestDatabase db;
    QVERIFY2(db.isValid(), qPrintable(db.error()));
    storePassword(db.path(), QStringLiteral("Old one"));
    TDM dm(db.path());
    TFormMain main(dm, quietFormOptions());
    main.ShowMainWindow();

    QString loaded;
    whenShown<TFormHaslo>([&loaded](TFormHaslo &dialog) {
        loaded = dialog.Haslo->text();
        dialog.Haslo->setText(QStringLiteral("New one"));
        dialog.Powtorka->setText(QStringLiteral("New one"));
        dialog.OK->click();
    });
    main.MMHaslo->trigger();

    QCOMPARE(loaded, QStringLiteral("Old one"));
    QCOMPARE(storedPassword(db.path()), QStringLiteral("New one"));
    // The running program is not locked: nothing asks, the window stays usable.
    QCOMPARE(QApplication::activeModalWidget(), nullptr);
    QVERIFY(main.isVisible());
    QVERIFY(main.FillNoteList(0));
}

// ---------------------------------------------------------------------------
// Diagnostic lines

void TestAccess::failureLineHidesPassword_data()
{
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("value");
    QTest::addColumn<QString>("line");
    QTest::newRow("access password") << "HasloDostepu" << kPolish
                                     << "DM : Nie można zapisać ustawienia HasloDostepu o wartości *** w konfiguracji!";
    QTest::newRow("access password with the tail in it")
        << "HasloDostepu"
        << "x w konfiguracji! y"
        << "DM : Nie można zapisać ustawienia HasloDostepu o wartości *** w konfiguracji!";
    QTest::newRow("empty access password")
        << "HasloDostepu"
        << ""
        << "DM : Nie można zapisać ustawienia HasloDostepu o wartości *** w konfiguracji!";
    QTest::newRow("another setting keeps its value")
        << "FormMainWidth"
        << "300"
        << "DM : Nie można zapisać ustawienia FormMainWidth o wartości 300 w konfiguracji!";
}

void TestAccess::failureLineHidesPassword()
{
    QFETCH(QString, key);
    QFETCH(QString, value);
    QFETCH(QString, line);

    TestDatabase db;
    QVERIFY2(db.isValid(), qPrintable(db.error()));
    TDM dm(db.path());
    breakConnection(dm);
    QVERIFY(!dm.SetSetting(key, value));
    QCOMPARE(diagnostics.size(), 1);
    QVERIFY2(diagnostics.constFirst().startsWith(line + QLatin1Char(' ')), qPrintable(diagnostics.constFirst()));
    if (key == QStringLiteral("HasloDostepu") && !value.isEmpty())
        QVERIFY(!diagnostics.constFirst().contains(value));
}

QTEST_MAIN(TestAccess)
#include "tst_access.moc"
