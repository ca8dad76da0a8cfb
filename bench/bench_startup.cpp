// Start-up to the login window, login click to the main window, and a ring
// to the answer dialog on screen, on a fresh demo folder. The login window is
// set against a plain dialog of the same size shown in the same run.
#include <cstdio>
#include <QApplication>
#include <QDialog>
#include <QElapsedTimer>
#include <QTest>

#include "BenchResult.h"
#include "CallDesk.h"
#include "login/LoginProcedure.h"
#include "platform/SpreadModel.h"
#include "windows/Frm000000.h"
#include "windows/Frm100000.h"
#include "windows/Frm130000.h"
#include "windows/QtWindowOpener.h"

namespace {

// The cheapest window Qt can put on screen, as the floor for ours.
double plainDialogMs(const QSize& size)
{
    QElapsedTimer t;
    t.start();
    QDialog plain;
    plain.resize(size);
    plain.show();
    return QTest::qWaitForWindowExposed(&plain) ? t.nsecsElapsed() / 1e6 : -1;
}

} // namespace

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    const int runs = 7;
    QVector<double> toLogin, toMain, toDialog, plain;
    for (int run = 0; run < runs; ++run) {
        CallDesk d;
        d.f.session.AgentID.clear();
        // From here on it is what the program does at start: the demo folder,
        // FTP server and line simulator above are the machine's, not ours.
        QElapsedTimer t;
        t.start();
        LoginProcedure& login = d.desk.login;
        Frm000000 loginWindow(login);
        loginWindow.show();
        if (!QTest::qWaitForWindowExposed(&loginWindow)) {
            bench::failed(QStringLiteral("start-up to login window"),
                          QStringLiteral("login window not exposed"), QStringLiteral("< 500 ms"));
            return 1;
        }
        toLogin << t.nsecsElapsed() / 1e6;
        plain << plainDialogMs(loginWindow.size());

        QtWindowOpener windows;
        std::unique_ptr<Frm100000> mainWindow;
        QObject::connect(&loginWindow, &Frm000000::loggedIn, [&] {
            mainWindow = std::make_unique<Frm100000>(d.desk, windows);
            mainWindow->show();
            mainWindow->load();
        });
        loginWindow.TxtLoginID->setText("kim");
        loginWindow.TxtLoginPass->setText("1234");
        t.restart();
        loginWindow.lblLogin_Click();
        if (!mainWindow || !QTest::qWaitForWindowExposed(mainWindow.get())) {
            bench::failed(QStringLiteral("login click to main window"),
                          QStringLiteral("main window not exposed"), QStringLiteral("< 300 ms"));
            return 1;
        }
        toMain << t.nsecsElapsed() / 1e6;

        // Ring: the real device event through the simulator to the dialog on screen.
        Frm130000* shown = nullptr;
        windows.setFactory(Window::SmallCall, [&](const CallPtr&) {
            shown = new Frm130000(d.desk.device);
            QTimer::singleShot(0, shown, [&] {
                toDialog << t.nsecsElapsed() / 1e6;
                shown->reject();
            });
            return shown;
        });
        QObject::connect(&d.desk.device, &DorvanePlus::RingChanged, [&](int bell) {
            if (bell == 1)
                windows.open(Window::SmallCall);
        });
        QTest::qWait(300);
        QString error;
        t.restart();
        d.line.ring("0212345678", &error);
        if (!QTest::qWaitFor([&] { return toDialog.size() == run + 1; }, 3000)) {
            bench::failed(QStringLiteral("ring to \"인바운드\" shown"),
                          QStringLiteral("dialog not shown in run %1").arg(run),
                          QStringLiteral("< 50 ms"));
            return 1;
        }
    }
    std::printf("start-up to login window, first (cold fonts): %.1f ms\n", toLogin.first());
    std::printf("start-up to login window (median of %d): %.1f ms   target < 500 ms\n", runs,
                bench::median(toLogin));
    std::printf("login click to main window (median of %d): %.1f ms   target < 300 ms\n", runs,
                bench::median(toMain));
    std::printf("ring to \"인바운드\" shown (median of %d): %.1f ms   target < 50 ms\n", runs,
                bench::median(toDialog));
    const auto row = [](const char* figure, double ours, const QString& reference, double ref,
                        double target) {
        bench::result(QString::fromUtf8(figure), bench::ms(ours), reference,
                      ref > 0 ? bench::ratio(ours, ref, "ours/ref") : QStringLiteral("—"),
                      QStringLiteral("< %1 ms").arg(target), ours < target);
    };
    row("start-up to login window", bench::median(toLogin),
        bench::ms(bench::median(plain)) + QStringLiteral(" (plain dialog)"), bench::median(plain),
        500);
    row("login click to main window", bench::median(toMain), QStringLiteral("—"), -1, 300);
    row("ring to \"인바운드\" shown", bench::median(toDialog), QStringLiteral("—"), -1, 50);
    return 0;
}
