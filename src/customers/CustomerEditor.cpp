#include "customers/CustomerEditor.h"

#include "customers/CustomerSearch.h"
#include "foundation/Database.h"
#include "foundation/HostUtils.h"
#include "foundation/Seams.h"
#include "platform/SqlDialect.h"
#include "telephony/CustomerPanel.h"
#include "telephony/DeskControls.h"

using SqlDialect::quoted;

namespace {

const QString kLocation = QStringLiteral("Frm100000");
const QString kFunction = QStringLiteral("AddToMYSQL3");

QString field(const char* name, const QString& value, bool first = false)
{
    return (first ? QStringLiteral(" ") : QStringLiteral(",")) + QLatin1String(name) +
           QStringLiteral(" = '") + quoted(value) + u'\'';
}

} // namespace

CustomerEditor::CustomerEditor(Database& db, CustomerPanel& panel, DeskControls& desk,
                               CustomerSearch& search, MessageSink& messages, QObject* parent)
    : QObject(parent), m_db(db), m_panel(panel), m_desk(desk), m_search(search),
      m_messages(messages)
{
}

QString CustomerEditor::cmdModifyCustCaption() const
{
    return m_modifying ? QStringLiteral("고객저장") : QStringLiteral("고객수정");
}

void CustomerEditor::cmdRegisterCust_Click()
{
    m_panel.clearCustInfoValuables();
    m_panel.SetCustInfoValuables(QStringLiteral("1"));
    m_panel.CustSelectKind = CustSelectKind::E;
}

void CustomerEditor::cmdModifyCust_Click()
{
    if (m_panel.value(CustomerPanel::txtCustID).isEmpty()) {
        m_messages.showMessage(QStringLiteral("수정할 고객을 선택해주시기 바랍니다"),
                               QStringLiteral("고객수정오류"), MessageIcon::Critical);
        return;
    }
    m_modifying = !m_modifying;
    m_panel.SetCustInfoValuables(m_modifying ? QStringLiteral("1") : QStringLiteral("0"));
    m_desk.setEnabled(DeskControls::cmdRegisterCust, !m_modifying);
    m_desk.SetButtonState(m_modifying ? DeskControls::ButtonMode::StartModify
                                      : DeskControls::ButtonMode::StopModify);
    emit modifyingChanged(m_modifying);
    if (m_modifying)
        return;
    saveFromPanel(QStringLiteral("Modify"), QString(), QString());
    m_search.cmdCustSearch_Click();
}

bool CustomerEditor::saveFromPanel(const QString& mode, const QString& recFile,
                                   const QString& telNo)
{
    const auto v = [this](CustomerPanel::Field field) { return m_panel.value(field); };
    using P = CustomerPanel;
    return AddToMYSQL3(mode, v(P::txtCustName), v(P::txtCustSocialID), v(P::txtPhoneNo1),
                       v(P::txtPhoneNo2), v(P::txtCustOfficeZip), v(P::txtCustOfficeAddress1),
                       v(P::txtCustOfficeAddress2), v(P::txtCustHomeZip), v(P::txtCustHomeAddress1),
                       v(P::txtCustHomeAddress2), v(P::txtCustBlank1), v(P::txtCustBlank2),
                       v(P::txtCustBlank3), v(P::txtCustBlank4), v(P::txtCustBlank5),
                       v(P::txtCustBlank6), recFile, telNo);
}

bool CustomerEditor::AddToMYSQL3(const QString& mode, const QString& name, const QString& juminNo,
                                 const QString& phone1, const QString& phone2,
                                 const QString& officePost, const QString& officeAddress1,
                                 const QString& officeAddress2, const QString& homePost,
                                 const QString& homeAddress1, const QString& homeAddress2,
                                 const QString& blank1, const QString& blank2,
                                 const QString& blank3, const QString& blank4,
                                 const QString& blank5, const QString& blank6,
                                 const QString& recFile, const QString& telNo)
{
    const QString custId = quoted(m_panel.value(CustomerPanel::txtCustID));
    const QString jumin = HostUtils::PhoneDigits(juminNo);
    Database::Use connection(m_db, Database::Slot::Main, Database::Closing::Always);
    // The history copy, the update and the recording's correction are stored
    // together or not at all.
    return m_db.inTransaction(kLocation, kFunction, [&] {
        QString sql =
            QStringLiteral("insert into gogakinfo_h select * from gogakinfo where ID ='") + custId +
            u'\'';
        int n = 0;
        bool ok = m_db.execute(Database::Slot::Main, sql, kLocation, kFunction, &n);
        if (ok && n == 1) {
            sql = QStringLiteral(" Update gogakinfo SET") + field("Name", name, true) +
                  field("JuminNo", jumin) + field("MobileNumber", phone1) +
                  field("OfficeNumber", phone2) + field("OfficePost", officePost) +
                  field("OfficeAddress1", officeAddress1) +
                  field("OfficeAddress2", officeAddress2) + field("HomePost", homePost) +
                  field("HomeAddress1", homeAddress1) + field("HomeAddress2", homeAddress2) +
                  field("blank1", blank1) + field("blank2", blank2) + field("blank3", blank3) +
                  field("blank4", blank4) + field("blank5", blank5) + field("blank6", blank6) +
                  QStringLiteral(" where ID ='") + custId + u'\'';
            ok = m_db.execute(Database::Slot::Main, sql, kLocation, kFunction, &n);
        }
        if (ok && n == 1 && mode == QStringLiteral("Recfile") && !recFile.isEmpty()) {
            sql = QStringLiteral(" Update recfile SET Name = '") + quoted(name) +
                  QStringLiteral("',JuminNo = '") + quoted(jumin) + QStringLiteral("',R_Tel ='") +
                  quoted(HostUtils::PhoneDigits(telNo)) + QStringLiteral("' where r_Path = '") +
                  quoted(recFile) + u'\'';
            ok = m_db.execute(Database::Slot::Main, sql, kLocation, kFunction, &n);
        }
        return ok && n == 1;
    });
}
