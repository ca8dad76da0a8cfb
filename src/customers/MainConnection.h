#pragma once

#include "foundation/Database.h"

// The main slot for one customer operation that closes it at the end
// whoever opened it: the search, look-up and save routines leave no
// connection behind, even one a caller had opened.
class MainConnection
{
public:
    explicit MainConnection(Database& db) : m_db(db)
    {
        if (!m_db.SQLConnected())
            m_db.SQLDBConnect();
    }
    ~MainConnection()
    {
        if (m_db.SQLConnected())
            m_db.SQLDBClose();
    }
    MainConnection(const MainConnection&) = delete;
    MainConnection& operator=(const MainConnection&) = delete;

private:
    Database& m_db;
};
