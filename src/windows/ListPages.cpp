#include "windows/ListPages.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QVBoxLayout>

#include "customers/WorkLists.h"
#include "foundation/Session.h"

namespace {

QPushButton* pageWithList(QWidget* page, const QString& name, const QString& caption,
                          fpSpread* list)
{
    auto* button = new QPushButton(caption, page);
    button->setObjectName(name);
    list->setParent(page);
    auto* bar = new QHBoxLayout;
    bar->addWidget(button);
    bar->addStretch();
    auto* layout = new QVBoxLayout(page);
    layout->addLayout(bar);
    layout->addWidget(list, 1);
    return button;
}

} // namespace

ListPages::ListPages(WorkLists& lists, const Session& session, QTabWidget* tabAgent)
    : QObject(tabAgent), m_lists(lists), m_session(session)
{
    sprNotTransfer = new fpSpread(&lists.sprNotTransfer());
    sprNotTransfer->setObjectName(QStringLiteral("sprNotTransfer"));
    cmdNotTransferCnt = pageWithList(tabAgent->widget(3), QStringLiteral("cmdNotTransferCnt"),
                                     QStringLiteral("미전송파일 전송"), sprNotTransfer);
    sprCampaign = new fpSpread(&lists.sprCampaign());
    sprCampaign->setObjectName(QStringLiteral("sprCampaign"));
    // Campaign names are Korean and longer than the column's width in digits.
    sprCampaign->horizontalHeader()->setSectionResizeMode(1, QHeaderView::ResizeToContents);
    cmdCampaign = pageWithList(tabAgent->widget(4), QStringLiteral("cmdCampaign"),
                               QStringLiteral("캠페일별 신규검색"), sprCampaign);

    connect(cmdNotTransferCnt, &QPushButton::clicked, this,
            [this] { m_lists.GetNotTransferList(); });
    connect(cmdCampaign, &QPushButton::clicked, this, [this] { m_lists.GetCampaignDataCnt(); });
    // The campaign page refreshes itself when shown, except for reception agents.
    connect(tabAgent, &QTabWidget::currentChanged, this, [this](int index) {
        if (index == 4 && !m_session.isReception())
            m_lists.GetCampaignDataCnt();
    });
}
