#pragma once

#include <QHash>
#include <QTest>

#include "customers/CustomerSide.h"
#include "platform/SpreadModel.h"
#include "platform/SqlDialect.h"
#include "ProgramFolderFixture.h"
#include "telephony/Call.h"
#include "telephony/CustomerPanel.h"
#include "telephony/DeskControls.h"

// The panel's box of a control name, for data rows that name boxes.
inline CustomerPanel::Field boxNamed(const QString& name)
{
    for (int f = 0; f < CustomerPanel::FieldCount; ++f)
        if (CustomerPanel::name(CustomerPanel::Field(f)) == name)
            return CustomerPanel::Field(f);
    return CustomerPanel::FieldCount;
}

// A logged-in desk on a demo folder with the real customer side.
struct CustomerFixture
{
    explicit CustomerFixture(const QString& agent = QStringLiteral("kim")) { f.loginAs(agent); }

    // Inserts a customer of branch 0001, team 01 (kim's, status "0",
    // campaign 77777 unless given) and returns its ID.
    QString addCustomer(QHash<QString, QString> fields) const
    {
        const QHash<QString, QString> defaults{{"BranchID", "0001"},
                                               {"TeamID", "01"},
                                               {"AgentID", "kim"},
                                               {"Status", "0"},
                                               {"CampaignID", "77777"}};
        for (auto it = defaults.cbegin(); it != defaults.cend(); ++it)
            fields.insert(it.key(), fields.value(it.key(), it.value()));
        QStringList values;
        for (const QString& v : fields)
            values << u'\'' + SqlDialect::quoted(v) + u'\'';
        f.exec(QStringLiteral("branch0001.db"),
               QStringLiteral("INSERT INTO gogakinfo (%1) VALUES (%2)")
                   .arg(fields.keys().join(u','), values.join(u',')));
        return central(QStringLiteral("SELECT max(ID) FROM gogakinfo")).value(0);
    }

    QStringList central(const QString& sql) const
    {
        return f.rows(QStringLiteral("branch0001.db"), sql);
    }
    QString today() { return f.db.GetNowDate().left(10); }

    ProgramFolderFixture f;
    CallPtr callPtr = std::make_shared<Call>();
    Call& call = *callPtr;
    CustomerPanel panel;
    DeskControls desk;
    SpreadModel list{41};
    CustomerSide side{f.db, panel, desk, list, f.messages};
};
