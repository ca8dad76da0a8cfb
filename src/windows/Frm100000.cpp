#include "windows/Frm100000.h"

#include <QCloseEvent>
#include <QDate>
#include <QScreen>
#include <QSplitter>
#include <QSystemTrayIcon>
#include <QVBoxLayout>

#include "desk/Desk.h"
#include "foundation/Session.h"
#include "windows/FrmSysTray.h"
#include "windows/QtWindowOpener.h"

Frm100000::Frm100000(Desk& desk, QtWindowOpener& windows, QWidget* parent)
    : QMainWindow(parent), trayAvailable(&QSystemTrayIcon::isSystemTrayAvailable), m_desk(desk),
      m_windows(windows)
{
    setObjectName(QStringLiteral("Frm100000"));
    setWindowTitle(QStringLiteral("Brenvo"));
    // Room for a dozen history rows where the screen allows it.
    const QRect screen = this->screen()->availableGeometry();
    resize(qMin(1360, screen.width() * 95 / 100), qMin(960, screen.height() * 92 / 100));

    auto* central = new QWidget(this);
    customers = new CustomerArea(m_desk.panel, m_desk.controls, &m_desk.custList, central);
    customers->attach(m_desk.customers);
    tabAgent = new QTabWidget(central);
    tabAgent->setObjectName(QStringLiteral("tabAgent"));
    for (const char* caption :
         {"녹음파일", "통화듣기및이력", "고객통화자료", "미전송파일조회", "캠페일별DB사용량"})
        tabAgent->addTab(new QWidget(tabAgent), QString::fromUtf8(caption));
    histories = new HistoryPages({m_desk.recordingHistory, m_desk.callHistory,
                                  m_desk.localRecordings, m_desk.player, m_desk.customers.lookups},
                                 m_desk.session, tabAgent);
    lists = new ListPages(m_desk.customers.lists, m_desk.session, tabAgent);
    // An opened customer's recordings, whatever the history filters say.
    connect(customers, &CustomerArea::customerOpened, this, [this](const QString& custId) {
        tabAgent->setCurrentIndex(1);
        m_desk.recordingHistory.GetRecHistByID(custId);
    });

    auto* splitter = new QSplitter(Qt::Vertical, central);
    splitter->addWidget(customers);
    splitter->addWidget(tabAgent);
    // The customer area keeps its height; the lists take what is left.
    splitter->setStretchFactor(0, 0);
    splitter->setStretchFactor(1, 1);
    auto* layout = new QVBoxLayout(central);
    layout->addWidget(splitter);
    setCentralWidget(central);

    connect(customers->cmdStartPhoneNO1, &QPushButton::clicked, &m_desk.calls,
            &CallController::cmdStartPhoneNO1_Click);
    connect(customers->cmdStartPhoneNO2, &QPushButton::clicked, &m_desk.calls,
            &CallController::cmdStartPhoneNO2_Click);
    connect(customers->cmdStopCall, &QPushButton::clicked, &m_desk.calls,
            &CallController::cmdStopCall_Click);
    connect(&m_desk.controls, &DeskControls::windowTitleChanged, this, &QWidget::setWindowTitle);
    connect(&m_desk.controls, &DeskControls::windowEnabledChanged, this,
            [this](bool enabled) { centralWidget()->setEnabled(enabled); });
}

void Frm100000::closeEvent(QCloseEvent* event)
{
    if (frmSysTray)
        frmSysTray->MeQueryUnload(this, event);
    else
        QMainWindow::closeEvent(event);
}

void Frm100000::load()
{
    // 1-2, 4, 6-7, 9, 11-12: the logic's part of the start-up.
    const Desk::StartUp start = m_desk.startUp();
    // 3: the tray icon; from now on closing the window only hides it (or,
    // without a notification area, minimises it).
    frmSysTray = new FrmSysTray(m_desk.trayMenu, this, trayAvailable, this);
    frmSysTray->setSetupAction(
        [this] { m_windows.showModeless(Window::CallerId, m_desk.calls.callForCallerId()); });
    for (QDateEdit* picker : findChildren<QDateEdit*>())
        picker->setDate(start.today);
    histories->pointFolderList();
    customers->fillLookupCombos();
    customers->fillSearchCondition();
    histories->fillSearchConditions();
    histories->fillFilters(start.agents);
    histories->selectAgent(m_desk.session.AgentID);
    tabAgent->setTabEnabled(4, start.campaignPage);
    // 13: the first customer search, as the search button runs it.
    customers->cmdCustSearch_Click();
    m_desk.calls.refreshTitle();
}
