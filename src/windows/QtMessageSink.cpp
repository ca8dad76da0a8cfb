#include "windows/QtMessageSink.h"

#include <QApplication>
#include <QMessageBox>

void QtMessageSink::showMessage(const QString& text, const QString& caption, MessageIcon icon)
{
    QMessageBox box(icon == MessageIcon::Critical      ? QMessageBox::Critical
                    : icon == MessageIcon::Information ? QMessageBox::Information
                                                       : QMessageBox::NoIcon,
                    caption.isEmpty() ? QApplication::applicationDisplayName() : caption, text,
                    QMessageBox::Ok, QApplication::activeWindow());
    // The wait pointer must not stay over a box the agent has to click.
    const bool busy = m_busy > 0;
    if (busy)
        QApplication::restoreOverrideCursor();
    box.exec();
    if (busy)
        QApplication::setOverrideCursor(Qt::WaitCursor);
}

void QtMessageSink::setBusyCursor(bool busy)
{
    if (busy) {
        ++m_busy;
        QApplication::setOverrideCursor(Qt::WaitCursor);
    } else if (m_busy > 0) {
        --m_busy;
        QApplication::restoreOverrideCursor();
    }
}
