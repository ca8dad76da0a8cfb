#include "windows/QtWindowOpener.h"

#include <QApplication>
#include <QDialog>
#include <QPointer>

void QtWindowOpener::showModal(Window window)
{
    const auto factory = m_factories.constFind(window);
    if (factory == m_factories.cend())
        return;
    QPointer<QDialog> dialog = m_preloaded.take(window);
    if (!dialog)
        dialog = (*factory)();
    if (!dialog)
        return;
    m_open.insert(window, dialog);
    dialog->exec();
    if (m_open.value(window) == dialog)
        m_open.remove(window);
    delete dialog;
}

bool QtWindowOpener::isWindowOpen(const QString& caption) const
{
    // Hidden windows count too: a window exists until it is discarded.
    const QWidgetList windows = QApplication::topLevelWidgets();
    return std::any_of(windows.cbegin(), windows.cend(), [this, &caption](const QWidget* w) {
        const bool waiting = !w->isVisible() && std::any_of(m_preloaded.cbegin(), m_preloaded.cend(),
                                                            [w](const QPointer<QDialog>& d) { return d == w; });
        return !waiting && w->windowTitle() == caption;
    });
}

void QtWindowOpener::closeWindow(Window window)
{
    if (QDialog* dialog = m_open.value(window))
        dialog->reject();
}

QDialog* QtWindowOpener::preload(Window window)
{
    if (QDialog* open = m_open.value(window))
        return open;
    if (QDialog* waiting = m_preloaded.value(window))
        return waiting;
    const auto factory = m_factories.constFind(window);
    if (factory == m_factories.cend())
        return nullptr;
    QDialog* dialog = (*factory)();
    m_preloaded.insert(window, dialog);
    return dialog;
}

void QtWindowOpener::showModeless(Window window)
{
    if (QDialog* open = m_open.value(window)) {
        open->raise();
        open->activateWindow();
        return;
    }
    QDialog* dialog = preload(window);
    if (!dialog)
        return;
    m_preloaded.remove(window);
    m_open.insert(window, dialog);
    QObject::connect(dialog, &QDialog::finished, dialog, [this, window, dialog] {
        if (m_open.value(window) == dialog)
            m_open.remove(window);
        dialog->deleteLater();
    });
    dialog->show();
}
