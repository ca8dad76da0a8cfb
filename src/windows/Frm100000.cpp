#include "windows/Frm100000.h"

#include <QCloseEvent>
#include <QDate>
#include <QScreen>
#include <QSplitter>
#include <QSystemTrayIcon>
#include <QVBoxLayout>

#include "customers/CustomerSide.h"
#include "foundation/Database.h"
#include "foundation/ErrorLog.h"
#include "foundation/Session.h"
#include "histories/RecordingHistory.h"
#include "platform/IniFile.h"
#include "platform/OrvelServerSocket.h"
#include "platform/ProgramFolder.h"
#include "telephony/CallController.h"
#include "telephony/CustomerPanel.h"
#include "telephony/DeskControls.h"
#include "windows/FrmSysTray.h"

Frm100000::Frm100000(const DeskParts& parts, QWidget* parent)
    : QMainWindow(parent), trayAvailable(&QSystemTrayIcon::isSystemTrayAvailable), m_p(parts)
{
    setObjectName(QStringLiteral("Frm100000"));
    setWindowTitle(QStringLiteral("Brenvo"));
    // Room for a dozen history rows where the screen allows it.
    const QRect screen = this->screen()->availableGeometry();
    resize(qMin(1360, screen.width() * 95 / 100), qMin(960, screen.height() * 92 / 100));

    auto* central = new QWidget(this);
    customers = new CustomerArea(m_p.panel, m_p.desk, &m_p.custList, central);
    tabAgent = new QTabWidget(central);
    tabAgent->setObjectName(QStringLiteral("tabAgent"));
    for (const char* caption :
         {"녹음파일", "통화듣기및이력", "고객통화자료", "미전송파일조회", "캠페일별DB사용량"})
        tabAgent->addTab(new QWidget(tabAgent), QString::fromUtf8(caption));

    auto* splitter = new QSplitter(Qt::Vertical, central);
    splitter->addWidget(customers);
    splitter->addWidget(tabAgent);
    // The customer area keeps its height; the lists take what is left.
    splitter->setStretchFactor(0, 0);
    splitter->setStretchFactor(1, 1);
    auto* layout = new QVBoxLayout(central);
    layout->addWidget(splitter);
    setCentralWidget(central);

    connect(customers->cmdStartPhoneNO1, &QPushButton::clicked, &m_p.calls,
            &CallController::cmdStartPhoneNO1_Click);
    connect(customers->cmdStartPhoneNO2, &QPushButton::clicked, &m_p.calls,
            &CallController::cmdStartPhoneNO2_Click);
    connect(customers->cmdStopCall, &QPushButton::clicked, &m_p.calls,
            &CallController::cmdStopCall_Click);
    connect(&m_p.desk, &DeskControls::windowTitleChanged, this, &QWidget::setWindowTitle);
    connect(&m_p.desk, &DeskControls::windowEnabledChanged, this,
            [this](bool enabled) { centralWidget()->setEnabled(enabled); });
}

void Frm100000::attachHistories(const HistoryParts& parts, TrayMenu& trayMenu)
{
    histories = new HistoryPages(parts, m_p.session, tabAgent);
    m_trayMenu = &trayMenu;
    // An opened customer's recordings, whatever the history filters say.
    connect(customers, &CustomerArea::customerOpened, this,
            [this, recordings = &parts.recordings](const QString& custId) {
                tabAgent->setCurrentIndex(1);
                recordings->GetRecHistByID(custId);
            });
}

void Frm100000::attachCustomers(CustomerSide& side)
{
    m_customers = &side;
    customers->attach(side);
    lists = new ListPages(side.lists, m_p.session, tabAgent);
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
    // 1-2: the device and the caller feed, which takes other workstations'
    // numbers only when the settings name them.
    const QStringList unreadable = m_p.OrvelServerSocket1.allowSenders(
        IniFile::value(
            QStringLiteral("Branch"), QStringLiteral("CallerFeedAllow"), QString(),
            ProgramFolder::path(m_p.session.programFolder, QStringLiteral("\\Brenvo.ini")))
            .split(u',', Qt::SkipEmptyParts));
    if (!unreadable.isEmpty())
        m_p.db.errors().WriteErrorLog(QStringLiteral("CallerFeedAllow: not an address: ") +
                                          unreadable.join(QStringLiteral(", ")),
                                      QStringLiteral("Frm100000"), QStringLiteral("Form_Load"),
                                      QString());
    m_p.calls.openDevices();
    // 3: the tray icon; from now on closing the window only hides it.
    if (m_trayMenu)
        frmSysTray = new FrmSysTray(*m_trayMenu, this, trayAvailable, this);
    // 4: today by the server's clock in every date picker.
    const QDate today = QDate::fromString(m_p.db.GetNowDate().left(10), Qt::ISODate);
    for (QDateEdit* picker : findChildren<QDateEdit*>())
        picker->setDate(today.isValid() ? today : QDate::currentDate());
    // 6: the customer list's grid (independent of the folder list of step 5).
    if (m_customers)
        m_customers->search.SetSprCustList();
    // 5-6: the recording folders, and the history grids after SprCustList.
    if (histories) {
        histories->pointFolderList();
        histories->setUpGrids();
    }
    // 6 (end), 7, 8: the work lists' grids, the status and campaign lists,
    // the customer search fields.
    if (m_customers) {
        m_customers->lists.SetSprCampaign();
        m_customers->lists.SetSprNotTransfer();
        customers->fillLookupCombos();
        customers->fillSearchCondition();
    }
    // 8-10: the history search fields and filters, the agent's own entry
    // selected (after cmbTerm is filled).
    if (histories) {
        histories->fillSearchConditions();
        histories->fillFilters();
        histories->selectAgent(m_p.session.AgentID);
    }
    // 11: the customer boxes start read-only.
    m_p.panel.SetCustInfoValuables(QStringLiteral("0"));
    // 12: reception agents neither dial nor register, and have no campaign page.
    if (m_p.session.AgentPrivilege == QStringLiteral("11")) {
        m_p.desk.SetButtonState(QStringLiteral("Agent_1"));
        tabAgent->setTabEnabled(4, false);
    }
    // 13: the first customer search, as the search button runs it.
    if (m_customers)
        customers->cmdCustSearch_Click();
    m_p.calls.refreshTitle();
}
