#include "windows/QtMessageSink.h"

#include <QApplication>
#include <QMessageBox>

void QtMessageSink::showMessage(const QString& text, const QString& caption, MessageIcon icon)
{
    auto* box =
        new QMessageBox(icon == MessageIcon::Critical      ? QMessageBox::Critical
                        : icon == MessageIcon::Information ? QMessageBox::Information
                                                           : QMessageBox::NoIcon,
                        caption.isEmpty() ? QApplication::applicationDisplayName() : caption, text,
                        QMessageBox::Ok);
    // A window of its own: the window that reported may close meanwhile
    // (the caller-ID window closes right after its warning).
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setWindowModality(Qt::ApplicationModal);
    box->show();
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
