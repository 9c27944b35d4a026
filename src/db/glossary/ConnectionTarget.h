#pragma once

#include <QString>

// What a connection string names: the file and the database password.
struct ConnectionTarget {
    QString dataSource;
    QString password;

    // Reads "Key=Value;" pairs without regard to the keys' letter case; a string without a Data Source
    // is refused with a DbError.
    static ConnectionTarget parse(const QString &connectionString);
};
