#include "windows/QtWindowOpener.h"

#include <QApplication>
#include <QDialog>
#include <QPointer>

void QtWindowOpener::showModal(Window window)
{
    const auto factory = m_factories.constFind(window);
    if (factory == m_factories.cend())
        return;
    QPointer<QDialog> dialog = (*factory)();
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
    return std::any_of(windows.cbegin(), windows.cend(),
                       [&caption](const QWidget* w) { return w->windowTitle() == caption; });
}

void QtWindowOpener::closeWindow(Window window)
{
    if (QDialog* dialog = m_open.value(window))
        dialog->reject();
}
