#include "TestDriver.h"

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QDateEdit>
#include <QDir>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
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
#include "windows/ClickLabel.h"
#include "windows/fpSpread.h"

TestDriver::TestDriver(const QString& serverName, QObject* parent) : QObject(parent)
{
    QLocalServer::removeServer(serverName);
    m_server.listen(serverName);
    connect(&m_server, &QLocalServer::newConnection, this, [this] {
        while (QLocalSocket* socket = m_server.nextPendingConnection())
            serve(socket);
    });
}

void TestDriver::serve(QLocalSocket* socket)
{
    connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
    connect(socket, &QLocalSocket::readyRead, this, [this, socket] {
        while (socket->canReadLine()) {
            const QString line = QString::fromUtf8(socket->readLine()).trimmed();
            const QString answer = run(line);
            socket->write(answer.toUtf8().replace('\n', "\\n") + '\n');
            socket->flush();
        }
    });
}

QWidget* TestDriver::find(const QString& name)
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

QString TestDriver::run(const QString& line)
{
    const QString verb = line.section(u' ', 0, 0);
    const QString name = line.section(u' ', 1, 1);
    const QString rest = line.section(u' ', 2);
    const auto later = [this](std::function<void()> action) {
        QTimer::singleShot(0, this, std::move(action));
    };

    if (verb == QStringLiteral("windows")) {
        QStringList shown;
        for (QWidget* w : QApplication::topLevelWidgets()) {
            if (w->isVisible() && !qobject_cast<QMenu*>(w))
                shown << w->objectName() + u'=' + w->windowTitle();
        }
        return QStringLiteral("OK ") + shown.join(u'\t');
    }
    if (verb == QStringLiteral("message") || verb == QStringLiteral("answer")) {
        // The message box in front, if any: its text, and for "answer" its OK.
        for (QWidget* w : QApplication::topLevelWidgets()) {
            auto* box = qobject_cast<QMessageBox*>(w);
            if (!box || !box->isVisible())
                continue;
            if (verb == QStringLiteral("answer")) {
                QPointer<QMessageBox> target = box;
                later([target] {
                    if (target)
                        target->button(QMessageBox::Ok) ? target->button(QMessageBox::Ok)->click()
                                                        : target->accept();
                });
            }
            return QStringLiteral("OK ") + box->windowTitle() + u'\t' + box->text();
        }
        return QStringLiteral("ERR no message box");
    }
    if (verb == QStringLiteral("action")) {
        // A menu item of the program (the tray menu has no window to click in).
        for (QWidget* w : QApplication::allWidgets()) {
            for (QAction* action : w->actions()) {
                if (action->objectName() == name || action->text() == name) {
                    later([action] { action->trigger(); });
                    return QStringLiteral("OK");
                }
            }
        }
        const auto actions = qApp->findChildren<QAction*>(name);
        if (!actions.isEmpty()) {
            QAction* action = actions.first();
            later([action] { action->trigger(); });
            return QStringLiteral("OK");
        }
        return QStringLiteral("ERR no action ") + name;
    }

    QWidget* w = find(name);
    if (!w)
        return QStringLiteral("ERR no widget ") + name;

    if (verb == QStringLiteral("read")) {
        if (w->isWindow())
            return QStringLiteral("OK ") + w->windowTitle();
        if (auto* edit = qobject_cast<QLineEdit*>(w))
            return QStringLiteral("OK ") + edit->text();
        if (auto* label = qobject_cast<QLabel*>(w))
            return QStringLiteral("OK ") + label->text();
        if (auto* text = qobject_cast<QPlainTextEdit*>(w))
            return QStringLiteral("OK ") + text->toPlainText();
        if (auto* combo = qobject_cast<QComboBox*>(w))
            return QStringLiteral("OK ") + combo->currentText();
        if (auto* button = qobject_cast<QAbstractButton*>(w))
            return QStringLiteral("OK ") + button->text();
        if (auto* date = qobject_cast<QDateEdit*>(w))
            return QStringLiteral("OK ") + date->date().toString(Qt::ISODate);
        if (auto* tabs = qobject_cast<QTabWidget*>(w))
            return QStringLiteral("OK %1").arg(tabs->currentIndex());
        return QStringLiteral("ERR cannot read ") + name;
    }
    if (verb == QStringLiteral("enabled"))
        return w->isEnabled() ? QStringLiteral("OK 1") : QStringLiteral("OK 0");
    if (verb == QStringLiteral("visible"))
        return w->isVisible() ? QStringLiteral("OK 1") : QStringLiteral("OK 0");
    if (verb == QStringLiteral("state"))
        return !w->isVisible()    ? QStringLiteral("OK hidden")
               : w->isMinimized() ? QStringLiteral("OK minimized")
                                  : QStringLiteral("OK normal");
    if (verb == QStringLiteral("click")) {
        if (!w->isEnabled() || !w->isVisible())
            return QStringLiteral("ERR not clickable ") + name;
        QPointer<QWidget> target = w;
        later([target] {
            if (!target)
                return;
            if (auto* button = qobject_cast<QAbstractButton*>(target.data()))
                button->click();
            else
                QTest::mouseClick(target, Qt::LeftButton);
        });
        return QStringLiteral("OK");
    }
    if (verb == QStringLiteral("type")) {
        if (auto* text = qobject_cast<QPlainTextEdit*>(w)) {
            text->setPlainText(rest);
            return QStringLiteral("OK");
        }
        auto* edit = qobject_cast<QLineEdit*>(w);
        if (!edit)
            return QStringLiteral("ERR not a text box ") + name;
        edit->setFocus();
        edit->selectAll();
        edit->del();
        // Key events that carry the text, as an input method delivers Korean;
        // QTest's key clicks take ASCII only.
        for (const QChar c : rest) {
            QKeyEvent press(QEvent::KeyPress, 0, Qt::NoModifier, QString(c));
            QApplication::sendEvent(edit, &press);
            QKeyEvent release(QEvent::KeyRelease, 0, Qt::NoModifier, QString(c));
            QApplication::sendEvent(edit, &release);
        }
        return QStringLiteral("OK");
    }
    if (verb == QStringLiteral("key")) {
        const int key = rest == QStringLiteral("Return") ? Qt::Key_Return
                        : rest == QStringLiteral("Tab")  ? Qt::Key_Tab
                                                         : 0;
        if (!key)
            return QStringLiteral("ERR unknown key ") + rest;
        QPointer<QWidget> target = w;
        later([target, key] {
            if (target)
                QTest::keyClick(target, Qt::Key(key));
        });
        return QStringLiteral("OK");
    }
    if (verb == QStringLiteral("select")) {
        if (auto* combo = qobject_cast<QComboBox*>(w)) {
            const int index = combo->findText(rest);
            combo->setCurrentIndex(index >= 0 ? index : rest.toInt());
            return QStringLiteral("OK ") + combo->currentText();
        }
        if (auto* list = qobject_cast<QListWidget*>(w)) {
            const auto items = list->findItems(rest, Qt::MatchEndsWith);
            if (items.isEmpty())
                return QStringLiteral("ERR no item ") + rest;
            QListWidgetItem* item = items.first();
            list->setCurrentItem(item);
            later([list, item] { emit list->itemClicked(item); });
            return QStringLiteral("OK ") + item->text();
        }
        if (auto* tabs = qobject_cast<QTabWidget*>(w)) {
            later([tabs, index = rest.toInt()] { tabs->setCurrentIndex(index); });
            return QStringLiteral("OK");
        }
        return QStringLiteral("ERR cannot select in ") + name;
    }
    if (verb == QStringLiteral("date")) {
        auto* date = qobject_cast<QDateEdit*>(w);
        if (!date)
            return QStringLiteral("ERR not a date box ") + name;
        date->setDate(QDate::fromString(rest, Qt::ISODate));
        return QStringLiteral("OK");
    }
    if (verb == QStringLiteral("grab")) {
        QWidget* window = w->window();
        return window->grab().save(rest) ? QStringLiteral("OK")
                                         : QStringLiteral("ERR cannot save ") + rest;
    }

    auto* grid = qobject_cast<fpSpread*>(w);
    if (verb == QStringLiteral("rows"))
        return grid ? QStringLiteral("OK %1").arg(grid->sheet()->MaxRows())
                    : QStringLiteral("ERR not a grid");
    const int col = rest.section(u' ', 0, 0).toInt();
    const int row = rest.section(u' ', 1, 1).toInt();
    if (verb == QStringLiteral("cell"))
        return grid ? QStringLiteral("OK ") + grid->sheet()->text(col, row)
                    : QStringLiteral("ERR not a grid");
    if (verb == QStringLiteral("clickcell") || verb == QStringLiteral("dblclickcell")) {
        if (!grid)
            return QStringLiteral("ERR not a grid");
        const bool twice = verb == QStringLiteral("dblclickcell");
        // A real click where the agent would put the pointer: on the header
        // section for row 0, on the cell otherwise.
        later([grid, col, row, twice] {
            if (row == 0) {
                QHeaderView* header = grid->horizontalHeader();
                const QPoint at(header->sectionViewportPosition(col - 1) +
                                    header->sectionSize(col - 1) / 2,
                                header->height() / 2);
                QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, at);
                return;
            }
            const QModelIndex cell = grid->model()->index(row - 1, col - 1);
            grid->scrollTo(cell);
            const QPoint at = grid->visualRect(cell).center();
            // A double click is a click and then the second press.
            QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, at);
            if (twice)
                QTest::mouseDClick(grid->viewport(), Qt::LeftButton, {}, at);
        });
        return QStringLiteral("OK");
    }
    return QStringLiteral("ERR unknown command ") + verb;
}
