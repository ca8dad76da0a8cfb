#pragma once

#include <QComboBox>
#include <QDateEdit>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QObject>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTabWidget>

#include "histories/RecordingHistory.h"
#include "windows/fpSpread.h"

struct Session;
class CallHistory;
class LocalRecordings;
class LookupLists;
class RecordingPlayer;

// The logic behind the history pages; built once by the application.
struct HistoryParts
{
    RecordingHistory& recordings;
    CallHistory& calls;
    LocalRecordings& local;
    RecordingPlayer& player;
    const LookupLists& lookups;
};

// The first three pages of tabAgent: "녹음파일" (local recordings and
// playback), "통화듣기및이력" (recording history) and "고객통화자료" (call
// history). The controls are built into the tab's existing pages.
class HistoryPages : public QObject
{
    Q_OBJECT
public:
    HistoryPages(const HistoryParts& parts, Session& session, QTabWidget* tabAgent);

    // Start-up steps of the main window, in its order.
    void pointFolderList();
    void fillSearchConditions();
    // The status list copied from cmbTerm, the agents the start-up read.
    void fillFilters(const QList<AgentComboItem>& agents);
    void selectAgent(const QString& agentId);

    void cmdRechistorySearch_Click();
    void cmdCallhistorySearch_Click();

    // 녹음파일
    QListWidget* dirLocalFile;
    fpSpread* sprLocalHist;
    QLabel* lblLocalPlay;
    QPushButton* cmdLocalStop;

    // 통화듣기및이력
    QDateEdit* DTPRecHistStart;
    QDateEdit* DTPRecHistEnd;
    QComboBox* cmbRecHistStatus;
    QComboBox* cmbRecAgent;
    QComboBox* cmbRecSearch;
    QLineEdit* txtRecSearch;
    QPushButton* cmdRechistorySearch;
    fpSpread* SprRecHist;
    QPlainTextEdit* txtRecHistMemo;
    QLabel* lblRemotePlay;
    QPushButton* cmdRemoteStop;

    // 고객통화자료
    QDateEdit* DTPCallHistStart;
    QDateEdit* DTPCallHistEnd;
    QComboBox* cmbCallHistStatus;
    QComboBox* cmbCallAgent;
    QComboBox* cmbCallSearch;
    QLineEdit* txtCallSearch;
    QPushButton* cmdCallhistorySearch;
    fpSpread* SprCallHist;

    // Item data of an agent entry: the text the statements filter by.
    static constexpr int AgentFilterRole = Qt::UserRole + 1;

private:
    void buildLocalPage(QWidget* page);
    void buildRecordingPage(QWidget* page);
    void buildCallPage(QWidget* page);
    void showPlayer();

    HistoryParts m_p;
    Session& m_session;
};
