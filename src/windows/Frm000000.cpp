#include "windows/Frm000000.h"

#include <QFormLayout>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLinearGradient>
#include <QMouseEvent>
#include <QPainter>
#include <QVBoxLayout>

#include "login/LoginProcedure.h"

namespace {

QFont boxFont()
{
    QFont font;
    font.setFamilies({QStringLiteral("Tahoma"), QStringLiteral("Noto Sans CJK KR")});
    font.setPointSize(10);
    return font;
}

ClickLabel* faceButton(const QString& text, const QString& name, QWidget* parent)
{
    auto* label = new ClickLabel(text, parent);
    label->setObjectName(name);
    label->setAlignment(Qt::AlignCenter);
    label->setMinimumSize(96, 32);
    label->setFocusPolicy(Qt::StrongFocus);
    label->setCursor(Qt::PointingHandCursor);
    label->setStyleSheet(QStringLiteral(
        "QLabel { background: #2f5d8a; color: white; border-radius: 4px; font-weight: bold; }"
        "QLabel:hover { background: #3b73aa; } QLabel:focus { border: 2px solid #f0c040; }"));
    return label;
}

} // namespace

Frm000000::Frm000000(LoginProcedure& login, QWidget* parent) : QWidget(parent), m_login(login)
{
    setObjectName(QStringLiteral("Frm000000"));
    setWindowTitle(QStringLiteral("Brenvo Login"));
    setWindowFlags(Qt::Window | Qt::FramelessWindowHint);
    setFixedSize(420, 290);

    lblTop = new QLabel(QStringLiteral("  Brenvo Login"), this);
    lblTop->setObjectName(QStringLiteral("lblTop"));
    lblTop->setFixedHeight(34);
    lblTop->setCursor(Qt::SizeAllCursor);
    lblTop->setStyleSheet(QStringLiteral(
        "QLabel { background: #1d3c5a; color: white; font-size: 11pt; font-weight: bold; }"));
    lblTop->installEventFilter(this);

    TxtBranchID = new QLineEdit(this);
    TxtBranchID->setObjectName(QStringLiteral("TxtBranchID"));
    TxtLoginID = new QLineEdit(this);
    TxtLoginID->setObjectName(QStringLiteral("TxtLoginID"));
    TxtLoginPass = new QLineEdit(this);
    TxtLoginPass->setObjectName(QStringLiteral("TxtLoginPass"));
    TxtLoginPass->setEchoMode(QLineEdit::Password);
    TxtBranchID->setMaxLength(LoginProcedure::kBranchIdLength);
    TxtLoginID->setMaxLength(LoginProcedure::kLoginIdLength);
    TxtLoginPass->setMaxLength(LoginProcedure::kPasswordLength);
    for (QLineEdit* box : {TxtBranchID, TxtLoginID, TxtLoginPass}) {
        box->setFont(boxFont());
        box->setMinimumHeight(28);
        box->installEventFilter(this);
    }

    lblLogin = faceButton(QStringLiteral("로그인"), QStringLiteral("lblLogin"), this);
    lblLoginCancel = faceButton(QStringLiteral("취소"), QStringLiteral("lblLoginCancel"), this);
    connect(lblLogin, &ClickLabel::clicked, this, &Frm000000::lblLogin_Click);
    connect(lblLoginCancel, &ClickLabel::clicked, this, &QWidget::close);

    auto* form = new QFormLayout;
    form->setLabelAlignment(Qt::AlignRight | Qt::AlignVCenter);
    form->setHorizontalSpacing(14);
    form->setVerticalSpacing(10);
    form->addRow(QStringLiteral("지점코드"), TxtBranchID);
    form->addRow(QStringLiteral("아이디"), TxtLoginID);
    form->addRow(QStringLiteral("비밀번호"), TxtLoginPass);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(lblLogin);
    buttons->addWidget(lblLoginCancel);

    auto* body = new QVBoxLayout;
    body->setContentsMargins(36, 22, 36, 22);
    body->addLayout(form);
    body->addSpacing(12);
    body->addLayout(buttons);

    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    outer->addWidget(lblTop);
    outer->addLayout(body);
    outer->addStretch();

    // Login id first (it has the focus), then password, then branch.
    setTabOrder(TxtLoginID, TxtLoginPass);
    setTabOrder(TxtLoginPass, TxtBranchID);
    setTabOrder(TxtBranchID, lblLogin);
    setTabOrder(lblLogin, lblLoginCancel);

    TxtBranchID->setText(m_login.proposedBranch());
    TxtLoginID->setFocus();
}

void Frm000000::lblLogin_Click()
{
    switch (m_login.attempt(TxtBranchID->text(), TxtLoginID->text(), TxtLoginPass->text())) {
    case LoginProcedure::Outcome::IdMissing:
    case LoginProcedure::Outcome::AgentRefused:
        TxtLoginID->clear();
        TxtLoginPass->clear();
        TxtLoginID->setFocus();
        break;
    case LoginProcedure::Outcome::BranchRefused:
        break;
    case LoginProcedure::Outcome::LoggedIn:
        m_loggedIn = true;
        hide();
        emit loggedIn();
        close();
        break;
    }
}

bool Frm000000::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == lblTop) {
        auto* mouse = static_cast<QMouseEvent*>(event);
        switch (event->type()) {
        case QEvent::MouseButtonPress:
            m_dragFlag = 1;
            m_grab = lblTop->mapTo(this, mouse->position());
            return true;
        case QEvent::MouseMove:
            if (m_dragFlag == 1)
                move((mouse->globalPosition() - m_grab).toPoint());
            return true;
        case QEvent::MouseButtonRelease:
            m_dragFlag = 0;
            return true;
        default:
            break;
        }
    } else if (event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key == Qt::Key_Return || key == Qt::Key_Enter) {
            if (watched == TxtLoginID && !TxtLoginID->text().isEmpty())
                TxtLoginPass->setFocus();
            else if (watched == TxtLoginPass)
                lblLogin_Click();
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

void Frm000000::closeEvent(QCloseEvent* event)
{
    QWidget::closeEvent(event);
    if (!m_loggedIn)
        emit cancelled();
}

void Frm000000::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    QLinearGradient face(0, 0, 0, height());
    face.setColorAt(0, QColor(0xe9, 0xf0, 0xf7));
    face.setColorAt(1, QColor(0xc8, 0xd6, 0xe5));
    painter.fillRect(rect(), face);
    painter.setPen(QColor(0x1d, 0x3c, 0x5a));
    painter.drawRect(rect().adjusted(0, 0, -1, -1));
}
