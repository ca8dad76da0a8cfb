#pragma once

#include <QObject>
#include <QString>

class CustomerPanel;
class Database;
class SpreadModel;
struct CallState;

// The customer search of the main window and opening a customer.
class CustomerSearch : public QObject
{
    Q_OBJECT
public:
    CustomerSearch(Database& db, CustomerPanel& panel, CallState& call, SpreadModel& SprCustList,
                   QObject* parent = nullptr);

    // Loads one customer into the detail boxes; false only after a database failure.
    bool GetCustinfoByID(const QString& strID);
};
