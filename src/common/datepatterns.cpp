#include "common/patterns.h"

#include <QStringView>

namespace {

QString padded(int value, int width)
{
    return QStringLiteral("%1").arg(value, width, 10, QLatin1Char('0'));
}

} // namespace

QString formatDateTime(const QDateTime &when, const QString &pattern)
{
    if (!when.isValid())
        return {};
    const QDate date = when.date();
    const QTime time = when.time();
    const QStringView view(pattern);

    QString out;
    qsizetype i = 0;
    while (i < view.size()) {
        const QStringView rest = view.mid(i);
        if (rest.startsWith(u"yyyy")) {
            out += padded(date.year(), 4);
            i += 4;
            continue;
        }
        const QStringView two = rest.left(2);
        if (two == u"mm")
            out += padded(date.month(), 2);
        else if (two == u"dd")
            out += padded(date.day(), 2);
        else if (two == u"hh")
            out += padded(time.hour(), 2);
        else if (two == u"nn")
            out += padded(time.minute(), 2);
        else if (two == u"ss")
            out += padded(time.second(), 2);
        else {
            out += view.at(i);
            ++i;
            continue;
        }
        i += 2;
    }
    return out;
}
