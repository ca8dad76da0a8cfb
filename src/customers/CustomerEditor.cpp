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
    m_panel.setKind(CustSelectKind::E);
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
    AddToMYSQL3(QStringLiteral("Modify"), m_panel.record(), QString(), QString());
    m_search.cmdCustSearch_Click();
}

bool CustomerEditor::AddToMYSQL3(const QString& mode, const CustomerRecord& customer,
                                 const QString& recFile, const QString& telNo)
{
    using R = CustomerRecord;
    const QString custId = quoted(customer[R::txtCustID]);
    const QString& name = customer[R::txtCustName];
    const QString jumin = HostUtils::PhoneDigits(customer[R::txtCustSocialID]);
    const auto field = [&customer](const char* column, R::Field box, bool first = false) {
        return (first ? QStringLiteral(" ") : QStringLiteral(",")) + QLatin1String(column) +
               QStringLiteral(" = '") + quoted(customer[box]) + u'\'';
    };
    QStringList steps{
        QStringLiteral("insert into gogakinfo_h select * from gogakinfo where ID ='") + custId +
            u'\'',
        QStringLiteral(" Update gogakinfo SET") + field("Name", R::txtCustName, true) +
            QStringLiteral(",JuminNo = '") + quoted(jumin) + u'\'' +
            field("MobileNumber", R::txtPhoneNo1) + field("OfficeNumber", R::txtPhoneNo2) +
            field("OfficePost", R::txtCustOfficeZip) +
            field("OfficeAddress1", R::txtCustOfficeAddress1) +
            field("OfficeAddress2", R::txtCustOfficeAddress2) +
            field("HomePost", R::txtCustHomeZip) + field("HomeAddress1", R::txtCustHomeAddress1) +
            field("HomeAddress2", R::txtCustHomeAddress2) + field("blank1", R::txtCustBlank1) +
            field("blank2", R::txtCustBlank2) + field("blank3", R::txtCustBlank3) +
            field("blank4", R::txtCustBlank4) + field("blank5", R::txtCustBlank5) +
            field("blank6", R::txtCustBlank6) + QStringLiteral(" where ID ='") + custId + u'\''};
    const bool call = mode == QStringLiteral("Recfile");
    if (call && !recFile.isEmpty())
        steps << QStringLiteral(" Update recfile SET Name = '") + quoted(name) +
                     QStringLiteral("',JuminNo = '") + quoted(jumin) +
                     QStringLiteral("',R_Tel ='") + quoted(HostUtils::PhoneDigits(telNo)) +
                     QStringLiteral("' where r_Path = '") + quoted(recFile) + u'\'';
    // The history copy, the update and the recording's correction are stored
    // together or not at all. The window does not wait on a server across the
    // network: the link takes them, once, and reads after them see them.
    if (m_db.crossesNetwork())
        return m_db.journal().write(steps.join(CentralLink::kStepBreak), kLocation, kFunction,
                                    true);
    Database::Use connection(m_db, Database::Slot::Main, Database::Closing::Always);
    return m_db.inTransaction(kLocation, kFunction, [&] {
        for (const QString& sql : std::as_const(steps)) {
            int n = 0;
            if (!m_db.execute(Database::Slot::Main, sql, kLocation, kFunction, &n) || n != 1)
                return false;
        }
        return true;
    });
}
