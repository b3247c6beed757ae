#include "record/sqlsupport.h"

#include <QSqlDatabase>
#include <QSqlError>

#include <atomic>

QString sqlErrorText(const QSqlError &error)
{
    return (error.databaseText().isEmpty() ? error.text() : error.databaseText()).trimmed();
}

QString uniqueConnectionName(const QString &role)
{
    static std::atomic<int> serial{0};
    return QStringLiteral("bin4870-%1-%2").arg(role).arg(++serial);
}

void removeConnection(const QString &name)
{
    if (!QSqlDatabase::contains(name))
        return;
    {
        QSqlDatabase db = QSqlDatabase::database(name, false);
        db.close();
    }
    QSqlDatabase::removeDatabase(name);
}
