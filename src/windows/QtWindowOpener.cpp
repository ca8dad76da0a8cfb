#include "windows/QtWindowOpener.h"

#include <QApplication>
#include <QDialog>

QDialog* QtWindowOpener::build(Window window, const CallPtr& call)
{
    const auto factory = m_factories.constFind(window);
    return factory == m_factories.cend() ? nullptr : (*factory)(call);
}

QDialog* QtWindowOpener::takeWaiting(Window window, const CallPtr& call)
{
    const Waiting waiting = m_waiting.take(window);
    if (!waiting.dialog)
        return nullptr;
    // Built for a call that is gone: of no use to this one.
    if (waiting.call.lock() != call) {
        delete waiting.dialog;
        return nullptr;
    }
    return waiting.dialog;
}

void QtWindowOpener::show(Window window, const CallPtr& call, bool modal)
{
    QDialog* dialog = takeWaiting(window, call);
    if (!dialog)
        dialog = build(window, call);
    if (!dialog)
        return;
    m_open.insert(window, dialog);
    QObject::connect(dialog, &QDialog::finished, this, [this, window, dialog, call] {
        if (m_open.value(window) == dialog)
            m_open.remove(window);
        m_closed.insert(dialog);
        dialog->deleteLater();
        // From the event loop: whoever closed it has returned first.
        QMetaObject::invokeMethod(
            this, [this, window, call] { emit closed(window, call); }, Qt::QueuedConnection);
    });
    QObject::connect(dialog, &QObject::destroyed, this,
                     [this, dialog] { m_closed.remove(dialog); });
    dialog->setWindowModality(modal ? Qt::ApplicationModal : Qt::NonModal);
    dialog->show();
    dialog->raise();
    dialog->activateWindow();
}

void QtWindowOpener::open(Window window, const CallPtr& call)
{
    show(window, call, true);
}

bool QtWindowOpener::isWindowOpen(const QString& caption) const
{
    // Hidden windows count too: a window exists until it is discarded.
    const QWidgetList windows = QApplication::topLevelWidgets();
    return std::any_of(windows.cbegin(), windows.cend(), [this, &caption](const QWidget* w) {
        const bool waiting =
            !w->isVisible() && std::any_of(m_waiting.cbegin(), m_waiting.cend(),
                                           [w](const Waiting& d) { return d.dialog == w; });
        return !waiting && !m_closed.contains(w) && w->windowTitle() == caption;
    });
}

void QtWindowOpener::closeWindow(Window window)
{
    if (QDialog* dialog = m_open.value(window))
        dialog->reject();
}

QDialog* QtWindowOpener::preload(Window window, const CallPtr& call)
{
    if (QDialog* open = m_open.value(window))
        return open;
    const Waiting waiting = m_waiting.value(window);
    if (waiting.dialog && waiting.call.lock() == call)
        return waiting.dialog;
    delete waiting.dialog;
    QDialog* dialog = build(window, call);
    m_waiting.insert(window, {dialog, call});
    return dialog;
}

void QtWindowOpener::showModeless(Window window, const CallPtr& call)
{
    if (QDialog* open = m_open.value(window)) {
        open->raise();
        open->activateWindow();
        return;
    }
    show(window, call, false);
}
