#include "TestDriver.h"

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QKeyEvent>
#include <QLineEdit>
#include <QListWidget>
#include <QLocalSocket>
#include <QMenu>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QTabWidget>
#include <QTest>
#include <QTimer>

#include "platform/SpreadModel.h"
#include "windows/fpSpread.h"

TestDriver::TestDriver(const QString& serverName, QObject* parent) : QObject(parent)
{
    QLocalServer::removeServer(serverName);
    m_server.listen(serverName);
    connect(&m_server, &QLocalServer::newConnection, this, [this] {
        while (QLocalSocket* socket = m_server.nextPendingConnection()) {
            connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
            connect(socket, &QLocalSocket::readyRead, this, [this, socket] {
                while (socket->canReadLine()) {
                    const QString answer = run(QString::fromUtf8(socket->readLine()).trimmed());
                    socket->write(answer.toUtf8().replace('\n', "\\n") + '\n');
                    socket->flush();
                }
            });
        }
    });
}

namespace {
QWidget* find(const QString& name)
{
    // Modal windows first: the newest window holds the controls in front.
    QWidgetList windows = QApplication::topLevelWidgets();
    std::stable_sort(windows.begin(), windows.end(),
                     [](QWidget* a, QWidget* b) { return a->isVisible() && !b->isVisible(); });
    for (QWidget* window : windows) {
        if (window->objectName() == name)
            return window;
        if (QWidget* child = window->findChild<QWidget*>(name))
            return child;
    }
    return nullptr;
}

QString ok(const QString& text = QString())
{
    return text.isNull() ? QStringLiteral("OK") : QStringLiteral("OK ") + text;
}
QString err(const char* why, const QString& what = QString())
{
    return QStringLiteral("ERR ") + QLatin1String(why) + what;
}
} // namespace

QString TestDriver::run(const QString& line)
{
    const QString verb = line.section(u' ', 0, 0);
    const QString name = line.section(u' ', 1, 1);
    const QString rest = line.section(u' ', 2);
    const auto later = [this](std::function<void()> action) {
        QTimer::singleShot(0, this, std::move(action));
    };

    if (verb == u"windows") {
        QStringList shown;
        for (QWidget* w : QApplication::topLevelWidgets())
            if (w->isVisible() && !qobject_cast<QMenu*>(w))
                shown << w->objectName() + u'=' + w->windowTitle();
        return ok(shown.join(u'\t'));
    }
    if (verb == u"message" || verb == u"answer") {
        // The message box in front, if any: its text, and for "answer" its OK.
        for (QWidget* w : QApplication::topLevelWidgets()) {
            auto* box = qobject_cast<QMessageBox*>(w);
            if (!box || !box->isVisible())
                continue;
            if (verb == u"answer") {
                QPointer<QMessageBox> target = box;
                later([target] {
                    if (target)
                        target->button(QMessageBox::Ok) ? target->button(QMessageBox::Ok)->click()
                                                        : target->accept();
                });
            }
            return ok(box->windowTitle() + u'\t' + box->text());
        }
        return err("no message box");
    }
    if (verb == u"action") {
        // A menu item of the program (the tray menu has no window to click in).
        QList<QAction*> found;
        for (QWidget* w : QApplication::allWidgets())
            for (QAction* action : w->actions())
                if (action->objectName() == name || action->text() == name)
                    found << action;
        found += qApp->findChildren<QAction*>(name);
        if (found.isEmpty())
            return err("no action ", name);
        later([action = found.first()] { action->trigger(); });
        return ok();
    }

    QWidget* w = find(name);
    if (!w)
        return err("no widget ", name);

    if (verb == u"read") {
        if (w->isWindow())
            return ok(w->windowTitle());
        // The first of these a control has is what the agent sees in it; a
        // date reads as yyyy-MM-dd.
        for (const char* property : {"plainText", "currentText", "date", "text", "currentIndex"})
            if (const QVariant value = w->property(property); value.isValid())
                return ok(value.toString());
        return err("cannot read ", name);
    }
    if (verb == u"enabled" || verb == u"visible")
        return ok(QString::number(verb == u"enabled" ? w->isEnabled() : w->isVisible()));
    if (verb == u"state")
        return ok(!w->isVisible() ? "hidden" : w->isMinimized() ? "minimized" : "normal");
    if (verb == u"click") {
        if (!w->isEnabled() || !w->isVisible())
            return err("not clickable ", name);
        later([target = QPointer<QWidget>(w)] {
            if (auto* button = qobject_cast<QAbstractButton*>(target.data()))
                button->click();
            else if (target)
                QTest::mouseClick(target, Qt::LeftButton);
        });
        return ok();
    }
    if (verb == u"type") {
        if (auto* text = qobject_cast<QPlainTextEdit*>(w)) {
            text->setPlainText(rest);
            return ok();
        }
        auto* edit = qobject_cast<QLineEdit*>(w);
        if (!edit)
            return err("not a text box ", name);
        edit->setFocus();
        edit->selectAll();
        edit->del();
        // Key events that carry the text, as an input method delivers Korean;
        // QTest's key clicks take ASCII only.
        for (const QChar c : rest)
            for (const QEvent::Type type : {QEvent::KeyPress, QEvent::KeyRelease}) {
                QKeyEvent event(type, 0, Qt::NoModifier, QString(c));
                QApplication::sendEvent(edit, &event);
            }
        return ok();
    }
    if (verb == u"key") {
        if (rest != u"Return")
            return err("unknown key ", rest);
        later([target = QPointer<QWidget>(w)] {
            if (target)
                QTest::keyClick(target, Qt::Key_Return);
        });
        return ok();
    }
    if (verb == u"select") {
        if (auto* combo = qobject_cast<QComboBox*>(w)) {
            const int index = combo->findText(rest);
            combo->setCurrentIndex(index >= 0 ? index : rest.toInt());
            return ok(combo->currentText());
        }
        if (auto* list = qobject_cast<QListWidget*>(w)) {
            const auto items = list->findItems(rest, Qt::MatchEndsWith);
            if (items.isEmpty())
                return err("no item ", rest);
            QListWidgetItem* item = items.first();
            list->setCurrentItem(item);
            later([list, item] { emit list->itemClicked(item); });
            return ok(item->text());
        }
        if (auto* tabs = qobject_cast<QTabWidget*>(w)) {
            later([tabs, index = rest.toInt()] { tabs->setCurrentIndex(index); });
            return ok();
        }
        return err("cannot select in ", name);
    }
    if (verb == u"date") {
        const bool set = w->setProperty("date", QDate::fromString(rest, Qt::ISODate));
        return set ? ok() : err("not a date box ", name);
    }
    if (verb == u"grab")
        return w->window()->grab().save(rest) ? ok() : err("cannot save ", rest);

    auto* grid = qobject_cast<fpSpread*>(w);
    if (verb == u"rows")
        return grid ? ok(QString::number(grid->sheet()->MaxRows())) : err("not a grid");
    if (verb == u"clickcell" || verb == u"dblclickcell") {
        if (!grid)
            return err("not a grid");
        // A real click where the agent would put the pointer; a double click
        // is a click and then the second press.
        const QModelIndex cell = grid->model()->index(rest.section(u' ', 1, 1).toInt() - 1,
                                                      rest.section(u' ', 0, 0).toInt() - 1);
        later([grid, cell, twice = verb == u"dblclickcell"] {
            grid->scrollTo(cell);
            const QPoint at = grid->visualRect(cell).center();
            QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, at);
            if (twice)
                QTest::mouseDClick(grid->viewport(), Qt::LeftButton, {}, at);
        });
        return ok();
    }
    return err("unknown command ", verb);
}
