#include "windows/HistoryPages.h"

#include <QDir>
#include <QHBoxLayout>
#include <QSplitter>
#include <QVBoxLayout>

#include "customers/LookupLists.h"
#include "foundation/HostUtils.h"
#include "foundation/Session.h"
#include "histories/CallHistory.h"
#include "histories/LocalRecordings.h"
#include "histories/RecordingHistory.h"
#include "histories/RecordingPlayer.h"

namespace {

QDateEdit* dateBox(const char* name, QWidget* parent)
{
    auto* box = new QDateEdit(parent);
    box->setObjectName(QString::fromLatin1(name));
    box->setDisplayFormat(QStringLiteral("yyyy-MM-dd"));
    box->setCalendarPopup(true);
    return box;
}

QComboBox* listBox(const char* name, int minimumCharacters, QWidget* parent)
{
    auto* box = new QComboBox(parent);
    box->setObjectName(QString::fromLatin1(name));
    box->setMinimumContentsLength(minimumCharacters);
    box->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    return box;
}

QLabel* caption(const QString& text, QWidget* parent)
{
    return new QLabel(text, parent);
}

// The filter row shared by the two history pages.
struct SearchRow
{
    QDateEdit* start;
    QDateEdit* end;
    QComboBox* status;
    QComboBox* agent;
    QComboBox* field;
    QLineEdit* text;
    QPushButton* search;
};

QHBoxLayout* searchRow(const SearchRow& row, QWidget* page)
{
    auto* layout = new QHBoxLayout;
    layout->addWidget(caption(QStringLiteral("날짜"), page));
    layout->addWidget(row.start);
    layout->addWidget(caption(QStringLiteral("~"), page));
    layout->addWidget(row.end);
    layout->addSpacing(12);
    layout->addWidget(caption(QStringLiteral("통화결과"), page));
    layout->addWidget(row.status);
    layout->addSpacing(12);
    layout->addWidget(caption(QStringLiteral("상담원"), page));
    layout->addWidget(row.agent);
    layout->addSpacing(12);
    layout->addWidget(caption(QStringLiteral("검색조건"), page));
    layout->addWidget(row.field);
    layout->addWidget(row.text, 1);
    layout->addWidget(row.search);
    return layout;
}

QPushButton* stopButton(const char* name, QWidget* parent)
{
    auto* button = new QPushButton(QStringLiteral("정지"), parent);
    button->setObjectName(QString::fromLatin1(name));
    button->setEnabled(false);
    return button;
}

QHBoxLayout* playerBar(QLabel* label, QPushButton* stop)
{
    auto* layout = new QHBoxLayout;
    layout->addWidget(label, 1);
    layout->addWidget(stop);
    return layout;
}

QString playTime(qint64 ms)
{
    return HostUtils::FormatDuration(double(ms / 1000));
}

} // namespace

HistoryPages::HistoryPages(const HistoryParts& parts, Session& session, QTabWidget* tabAgent)
    : QObject(tabAgent), m_p(parts), m_session(session)
{
    buildLocalPage(tabAgent->widget(0));
    buildRecordingPage(tabAgent->widget(1));
    buildCallPage(tabAgent->widget(2));

    connect(&m_p.player, &RecordingPlayer::changed, this, &HistoryPages::showPlayer);
    connect(cmdLocalStop, &QPushButton::clicked, &m_p.player, &RecordingPlayer::stop);
    connect(cmdRemoteStop, &QPushButton::clicked, &m_p.player, &RecordingPlayer::stop);
    showPlayer();
}

void HistoryPages::buildLocalPage(QWidget* page)
{
    dirLocalFile = new QListWidget(page);
    dirLocalFile->setObjectName(QStringLiteral("dirLocalFile"));
    sprLocalHist = new fpSpread(&m_p.local.sprLocalHist(), page);
    sprLocalHist->setObjectName(QStringLiteral("sprLocalHist"));
    lblLocalPlay = new QLabel(page);
    cmdLocalStop = stopButton("cmdLocalStop", page);

    auto* splitter = new QSplitter(Qt::Horizontal, page);
    splitter->addWidget(dirLocalFile);
    splitter->addWidget(sprLocalHist);
    splitter->setStretchFactor(1, 1);
    splitter->setSizes({220, 900});
    auto* layout = new QVBoxLayout(page);
    layout->addWidget(splitter, 1);
    layout->addLayout(playerBar(lblLocalPlay, cmdLocalStop));

    connect(dirLocalFile, &QListWidget::itemClicked, this, [this](QListWidgetItem* item) {
        m_p.local.dirLocalFile_Click(item->data(Qt::UserRole).toString());
    });
    connect(sprLocalHist, &fpSpread::Click, &m_p.local, &LocalRecordings::sprLocalHist_Click);
    connect(sprLocalHist, &fpSpread::DblClick, &m_p.local, &LocalRecordings::sprLocalHist_DblClick);
}

void HistoryPages::buildRecordingPage(QWidget* page)
{
    DTPRecHistStart = dateBox("DTPRecHistStart", page);
    DTPRecHistEnd = dateBox("DTPRecHistEnd", page);
    cmbRecHistStatus = listBox("cmbRecHistStatus", 8, page);
    cmbRecAgent = listBox("cmbRecAgent", 12, page);
    cmbRecSearch = listBox("cmbRecSearch", 7, page);
    txtRecSearch = new QLineEdit(page);
    txtRecSearch->setObjectName(QStringLiteral("txtRecSearch"));
    cmdRechistorySearch = new QPushButton(QStringLiteral(" 검색"), page);
    cmdRechistorySearch->setObjectName(QStringLiteral("cmdRechistorySearch"));
    SprRecHist = new fpSpread(&m_p.recordings.SprRecHist(), page);
    SprRecHist->setObjectName(QStringLiteral("SprRecHist"));
    txtRecHistMemo = new QPlainTextEdit(page);
    txtRecHistMemo->setObjectName(QStringLiteral("txtRecHistMemo"));
    txtRecHistMemo->setReadOnly(true);
    lblRemotePlay = new QLabel(page);
    cmdRemoteStop = stopButton("cmdRemoteStop", page);

    auto* memo = new QWidget(page);
    auto* memoLayout = new QVBoxLayout(memo);
    memoLayout->setContentsMargins(0, 0, 0, 0);
    memoLayout->addWidget(caption(QStringLiteral("통화메모"), memo));
    memoLayout->addWidget(txtRecHistMemo, 1);
    auto* splitter = new QSplitter(Qt::Horizontal, page);
    splitter->addWidget(SprRecHist);
    splitter->addWidget(memo);
    splitter->setStretchFactor(0, 1);
    splitter->setSizes({900, 260});

    auto* layout = new QVBoxLayout(page);
    layout->addLayout(searchRow({DTPRecHistStart, DTPRecHistEnd, cmbRecHistStatus, cmbRecAgent,
                                 cmbRecSearch, txtRecSearch, cmdRechistorySearch},
                                page));
    layout->addWidget(splitter, 1);
    layout->addLayout(playerBar(lblRemotePlay, cmdRemoteStop));

    connect(cmdRechistorySearch, &QPushButton::clicked, this,
            &HistoryPages::cmdRechistorySearch_Click);
    connect(txtRecSearch, &QLineEdit::returnPressed, this,
            &HistoryPages::cmdRechistorySearch_Click);
    connect(SprRecHist, &fpSpread::Click, &m_p.recordings, &RecordingHistory::SprRecHist_Click);
    connect(SprRecHist, &fpSpread::DblClick, &m_p.recordings,
            &RecordingHistory::SprRecHist_DblClick);
    connect(&m_p.recordings, &RecordingHistory::memoShown, txtRecHistMemo,
            &QPlainTextEdit::setPlainText);
}

void HistoryPages::buildCallPage(QWidget* page)
{
    DTPCallHistStart = dateBox("DTPCallHistStart", page);
    DTPCallHistEnd = dateBox("DTPCallHistEnd", page);
    cmbCallHistStatus = listBox("cmbCallHistStatus", 8, page);
    cmbCallAgent = listBox("cmbCallAgent", 12, page);
    cmbCallSearch = listBox("cmbCallSearch", 7, page);
    txtCallSearch = new QLineEdit(page);
    txtCallSearch->setObjectName(QStringLiteral("txtCallSearch"));
    cmdCallhistorySearch = new QPushButton(QStringLiteral(" 검색"), page);
    cmdCallhistorySearch->setObjectName(QStringLiteral("cmdCallhistorySearch"));
    SprCallHist = new fpSpread(&m_p.calls.SprCallHist(), page);
    SprCallHist->setObjectName(QStringLiteral("SprCallHist"));

    auto* layout = new QVBoxLayout(page);
    layout->addLayout(searchRow({DTPCallHistStart, DTPCallHistEnd, cmbCallHistStatus, cmbCallAgent,
                                 cmbCallSearch, txtCallSearch, cmdCallhistorySearch},
                                page));
    layout->addWidget(SprCallHist, 1);

    connect(cmdCallhistorySearch, &QPushButton::clicked, this,
            &HistoryPages::cmdCallhistorySearch_Click);
    connect(txtCallSearch, &QLineEdit::returnPressed, this,
            &HistoryPages::cmdCallhistorySearch_Click);
    connect(SprCallHist, &fpSpread::Click, &m_p.calls, &CallHistory::SprCallHist_Click);
}

void HistoryPages::pointFolderList()
{
    // Indented like a folder tree: the chain down to the root, then its sub-folders.
    const QStringList entries = m_p.local.dirLocalFile();
    const int chain = int(entries.indexOf(m_p.local.recordingRoot())) + 1;
    for (int i = 0; i < entries.size(); ++i) {
        const QString& path = entries.at(i);
        const QString name = HostUtils::GetFileName(path);
        auto* item =
            new QListWidgetItem(QString(2 * std::min(i, chain), u' ') +
                                    (name.isEmpty() ? QDir::toNativeSeparators(path) : name),
                                dirLocalFile);
        item->setData(Qt::UserRole, path);
        item->setToolTip(QDir::toNativeSeparators(path));
    }
}

void HistoryPages::fillSearchConditions()
{
    for (QComboBox* box : {cmbRecSearch, cmbCallSearch})
        box->addItems(LookupLists::SetCmbSearchCondition());
}

void HistoryPages::fillFilters(const QList<AgentComboItem>& agents)
{
    const QList<ComboItem> statuses = RecordingHistory::SetCmbHistStatus(m_p.lookups.cmbTerm());
    for (QComboBox* box : {cmbRecHistStatus, cmbCallHistStatus}) {
        box->clear();
        for (const ComboItem& item : statuses)
            box->addItem(item.text, item.itemData);
        box->setCurrentIndex(0);
    }
    for (QComboBox* box : {cmbRecAgent, cmbCallAgent}) {
        for (const AgentComboItem& item : agents) {
            box->addItem(item.text, item.itemData);
            box->setItemData(box->count() - 1, item.filter, AgentFilterRole);
        }
        box->setCurrentIndex(box->count() > 0 ? 0 : -1);
    }
}

void HistoryPages::selectAgent(const QString& agentId)
{
    for (QComboBox* box : {cmbCallAgent, cmbRecAgent}) {
        const int found = box->findData(agentId, AgentFilterRole, Qt::MatchExactly);
        box->setCurrentIndex(found >= 0 ? found : (box->count() > 0 ? 0 : -1));
    }
}

void HistoryPages::cmdRechistorySearch_Click()
{
    m_p.recordings.GetRecHist(DTPRecHistStart->date().toString(Qt::ISODate),
                              DTPRecHistEnd->date().toString(Qt::ISODate),
                              QString::number(cmbRecHistStatus->currentData().toInt()),
                              cmbRecAgent->currentData(AgentFilterRole).toString(),
                              cmbRecSearch->currentText(), txtRecSearch->text(), m_session.TeamID);
}

void HistoryPages::cmdCallhistorySearch_Click()
{
    m_p.calls.GetRecHist2(DTPCallHistStart->date().toString(Qt::ISODate),
                          DTPCallHistEnd->date().toString(Qt::ISODate),
                          QString::number(cmbCallHistStatus->currentData().toInt()),
                          cmbCallAgent->currentData(AgentFilterRole).toString(),
                          cmbCallSearch->currentText(), txtCallSearch->text(), m_session.TeamID);
}

void HistoryPages::showPlayer()
{
    const RecordingPlayer& player = m_p.player;
    const QString text =
        player.isPlaying() ? player.title() + QStringLiteral("  ") + playTime(player.positionMs()) +
                                 QStringLiteral(" / ") + playTime(player.lengthMs())
                           : QStringLiteral("재생 중인 녹취가 없습니다");
    for (QLabel* label : {lblLocalPlay, lblRemotePlay})
        label->setText(text);
    for (QPushButton* stop : {cmdLocalStop, cmdRemoteStop})
        stop->setEnabled(player.isPlaying());
}
