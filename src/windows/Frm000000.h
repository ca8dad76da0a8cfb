#pragma once

#include <QLineEdit>
#include <QPointF>
#include <QWidget>

#include "windows/ClickLabel.h"

class LoginProcedure;

// The login window, "Brenvo Login".
class Frm000000 : public QWidget
{
    Q_OBJECT
public:
    explicit Frm000000(LoginProcedure& login, QWidget* parent = nullptr);

    QLineEdit* TxtBranchID;
    QLineEdit* TxtLoginID;
    QLineEdit* TxtLoginPass;
    ClickLabel* lblLogin;
    ClickLabel* lblLoginCancel;
    QLabel* lblTop;

signals:
    // The login succeeded: the bulk upload and the main window come next.
    void loggedIn();
    // The window closed without a login: the program ends.
    void cancelled();

public slots:
    void lblLogin_Click();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    LoginProcedure& m_login;
    int m_dragFlag = 0;
    bool m_loggedIn = false;
    QPointF m_grab;
};
