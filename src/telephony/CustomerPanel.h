#pragma once

#include <QHash>
#include <QObject>
#include <QString>
#include <QStringList>

// The current customer as the main window's detail boxes hold it: the 19
// boxes and lblTelNO, by control name, and whether the boxes are editable.
// The window binds its controls to this; the call logic reads the customer
// of the call from it.
class CustomerPanel : public QObject
{
    Q_OBJECT
public:
    static const QStringList& boxNames();
    // The declared length of the column a box is saved into, so that the box
    // stops the agent where SQL Server would refuse the save; 0 for the boxes
    // that are never saved.
    static int maxLength(const QString& name);

    QString value(const QString& name) const { return m_values.value(name); }
    void setValue(const QString& name, const QString& text);
    bool isEditable() const { return m_editable; }

    // "1": the boxes become editable; anything else: read-only.
    void SetCustInfoValuables(const QString& str);
    // Empties the 19 boxes and lblTelNO; editability stays.
    void clearCustInfoValuables();

    // How the customer in the boxes was chosen ("A" … "E", or ''). A call
    // takes its own copy; "E" lasts from 신규등록 until the number is dialled.
    QString CustSelectKind;

signals:
    void valueChanged(const QString& name, const QString& text);
    void editableChanged(bool editable);

private:
    QHash<QString, QString> m_values;
    bool m_editable = false;
};
