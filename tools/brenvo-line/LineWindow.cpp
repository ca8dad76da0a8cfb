#include "LineWindow.h"

#include "LineSimulator.h"

#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

LineWindow::LineWindow(LineSimulator& line, QWidget* parent)
    : QWidget(parent), m_line(line), m_number(new QLineEdit), m_status(new QLabel)
{
    setWindowTitle(QStringLiteral("Brenvo line simulator (회선 시뮬레이터)"));
    m_number->setPlaceholderText(QStringLiteral("02-1234-5678"));
    m_status->setWordWrap(true);
    m_status->setTextInteractionFlags(Qt::TextSelectableByMouse);

    auto* layout = new QGridLayout(this);
    layout->addWidget(new QLabel(QStringLiteral("Caller number")), 0, 0);
    layout->addWidget(m_number, 0, 1);

    const auto addButton = [this, layout](const QString& caption, int row, int column,
                                          auto action) {
        auto* button = new QPushButton(caption);
        layout->addWidget(button, row, column);
        connect(button, &QPushButton::clicked, this, [this, action] {
            m_error.clear();
            action();
            showState();
        });
    };
    addButton(QStringLiteral("Ring"), 1, 0, [this] {
        if (!m_line.ring(m_number->text().trimmed(), &m_error))
            m_error = QStringLiteral("Cannot ring: ") + m_error;
    });
    addButton(QStringLiteral("Stop ringing"), 1, 1, [this] { m_line.stopRinging(); });
    addButton(QStringLiteral("Pick up"), 2, 0, [this] { m_line.pickUp(); });
    addButton(QStringLiteral("Hang up"), 2, 1, [this] { m_line.hangUp(); });
    addButton(QStringLiteral("Link down"), 3, 0, [this] { m_line.setLinkUp(false); });
    addButton(QStringLiteral("Link up"), 3, 1, [this] { m_line.setLinkUp(true); });
    layout->addWidget(m_status, 4, 0, 1, 2);
    layout->setColumnStretch(0, 1);
    layout->setColumnStretch(1, 1);
    setMinimumWidth(440);

    connect(&m_line, &LineSimulator::changed, this, &LineWindow::showState);
    showState();
}

void LineWindow::showState()
{
    QString text = QStringLiteral("Port %1 · line %2")
                       .arg(m_line.port())
                       .arg(LineSimulator::stateName(m_line.state()));
    if (!m_line.callerNumber().isEmpty())
        text += QStringLiteral(" (%1)").arg(m_line.callerNumber());
    text += m_line.isLinkUp() ? QStringLiteral(" · link up") : QStringLiteral(" · link down");
    text += QStringLiteral(" · %1 device(s)").arg(m_line.deviceCount());
    text += QStringLiteral("\nLast dialled: %1")
                .arg(m_line.lastDial().isEmpty() ? QStringLiteral("-") : m_line.lastDial());
    if (!m_error.isEmpty())
        text += u'\n' + m_error;
    m_status->setText(text);
}
