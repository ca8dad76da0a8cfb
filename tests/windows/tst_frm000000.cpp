#include <QSignalSpy>
#include <QTest>

#include "login/AgentStatus.h"
#include "login/LoginProcedure.h"
#include "ProgramFolderFixture.h"
#include "windows/Frm000000.h"

class TestFrm000000 : public QObject
{
    Q_OBJECT

private slots:
    void keysFocusAndBoxes()
    {
        ProgramFolderFixture f;
        AgentStatus status(f.db, f.messages);
        LoginProcedure login(f.db, status, f.messages);
        Frm000000 w(login);
        w.show();
        QVERIFY(QTest::qWaitForWindowActive(&w));
        QCOMPARE(w.windowTitle(), QStringLiteral("Brenvo Login"));
        QCOMPARE(w.TxtBranchID->text(), QStringLiteral("0001"));
        QCOMPARE(QApplication::focusWidget(), w.TxtLoginID);
        QCOMPARE(w.TxtLoginPass->echoMode(), QLineEdit::Password);
        // No box holds more than its column does.
        QCOMPARE(w.TxtBranchID->maxLength(),
                 ProgramFolderFixture::declaredLength("TB_BRANCH", "BranchID"));
        QCOMPARE(w.TxtLoginID->maxLength(),
                 ProgramFolderFixture::declaredLength("AgentLogin", "AgentID"));
        QCOMPARE(w.TxtLoginPass->maxLength(),
                 ProgramFolderFixture::declaredLength("AgentLogin", "Agent_Passwd"));

        // Enter on an empty id stays; with text it moves on to the password.
        QTest::keyClick(w.TxtLoginID, Qt::Key_Return);
        QCOMPARE(QApplication::focusWidget(), w.TxtLoginID);
        QVERIFY(f.messages.messages.isEmpty());
        QTest::keyClicks(w.TxtLoginID, "kim");
        QTest::keyClick(w.TxtLoginID, Qt::Key_Return);
        QCOMPARE(QApplication::focusWidget(), w.TxtLoginPass);
        QTest::keyClick(w.TxtLoginPass, Qt::Key_Tab);
        QCOMPARE(QApplication::focusWidget(), w.TxtBranchID);

        // A wrong password empties id and password, keeps the branch.
        QTest::keyClicks(w.TxtLoginPass, "bad");
        QTest::keyClick(w.TxtLoginPass, Qt::Key_Return);
        QCOMPARE(f.messages.texts(), QStringList{"사용자가 없거나 암호가 틀렸습니다"});
        QCOMPARE(w.TxtLoginID->text(), QString());
        QCOMPARE(w.TxtLoginPass->text(), QString());
        QCOMPARE(w.TxtBranchID->text(), QStringLiteral("0001"));

        // A wrong branch keeps all three.
        f.messages.clear();
        w.TxtBranchID->setText("0009");
        w.TxtLoginID->setText("kim");
        w.TxtLoginPass->setText("1234");
        QTest::mouseClick(w.lblLogin, Qt::LeftButton);
        QCOMPARE(f.messages.texts(), QStringList{"대리점정보가 정확하지 않습니다"});
        QCOMPARE(w.TxtLoginID->text(), QStringLiteral("kim"));
        QCOMPARE(w.TxtLoginPass->text(), QStringLiteral("1234"));

        QSignalSpy loggedIn(&w, &Frm000000::loggedIn);
        w.TxtBranchID->setText("0001");
        QSignalSpy cancelled(&w, &Frm000000::cancelled);
        QTest::mouseClick(w.lblLogin, Qt::LeftButton);
        QCOMPARE(loggedIn.count(), 1);
        QVERIFY(!w.isVisible());
        QCOMPARE(cancelled.count(), 0);
    }

    void dragAndCancel()
    {
        ProgramFolderFixture f;
        AgentStatus status(f.db, f.messages);
        LoginProcedure login(f.db, status, f.messages);
        Frm000000 w(login);
        w.move(100, 100);
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        const QPoint start = w.pos();
        QTest::mousePress(w.lblTop, Qt::LeftButton, {}, QPoint(20, 10));
        QMouseEvent move(QEvent::MouseMove, QPointF(60, 40), w.lblTop->mapToGlobal(QPointF(60, 40)),
                         Qt::NoButton, Qt::LeftButton, {});
        QApplication::sendEvent(w.lblTop, &move);
        QTest::mouseRelease(w.lblTop, Qt::LeftButton, {}, QPoint(60, 40));
        QCOMPARE(w.pos(), start + QPoint(40, 30));

        QSignalSpy cancelled(&w, &Frm000000::cancelled);
        QTest::mouseClick(w.lblLoginCancel, Qt::LeftButton);
        QVERIFY(!w.isVisible());
        QCOMPARE(cancelled.count(), 1);
        QVERIFY(f.messages.messages.isEmpty());
    }
};

QTEST_MAIN(TestFrm000000)
#include "tst_frm000000.moc"
