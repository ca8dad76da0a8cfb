#pragma once

#include <QObject>
#include <QPushButton>
#include <QTabWidget>

#include "windows/fpSpread.h"

struct Session;
class WorkLists;

// The last two pages of tabAgent: "미전송파일조회" (the agent's recordings
// without a result yet) and "캠페일별DB사용량" (untouched customers per
// campaign). The controls are built into the tab's existing pages.
class ListPages : public QObject
{
    Q_OBJECT
public:
    ListPages(WorkLists& lists, const Session& session, QTabWidget* tabAgent);

    QPushButton* cmdNotTransferCnt;
    fpSpread* sprNotTransfer;
    QPushButton* cmdCampaign;
    fpSpread* sprCampaign;

private:
    WorkLists& m_lists;
    const Session& m_session;
};
