#include "record/datafile.h"

#include "common/apperror.h"
#include "record/recordline.h"

#include <QDir>

void DataFile::open(const QString &path)
{
    close();
    m_file.setFileName(path);
    // Unbuffered: every record goes straight to the operating system, and a
    // failed write leaves nothing behind in a buffer to be written again with
    // the next record. No text mode: the line already ends in CR LF.
    if (!m_file.open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Unbuffered)) {
        m_error = m_file.errorString();
        throw AppError(errors::kFileIo,
                       QStringLiteral("%1: %2").arg(QDir::toNativeSeparators(path), m_error));
    }
    m_error.clear();
}

void DataFile::close()
{
    if (m_file.isOpen())
        m_file.close();
}

bool DataFile::isOpen() const
{
    return m_file.isOpen();
}

bool DataFile::writeRecord(const QDateTime &timeStamp, const QString &resistanceText,
                           const QString &voltageText)
{
    if (!m_file.isOpen()) {
        m_error = QStringLiteral("No data file is open");
        return false;
    }
    const QByteArray line = recordLine(timeStamp, resistanceText, voltageText);
    const qint64 sizeBefore = m_file.size();
    qint64 written = 0;
    // A short write is followed by another attempt, which either finishes the
    // line or fails with the system's reason.
    while (written < line.size()) {
        const qint64 n = m_file.write(line.constData() + written, line.size() - written);
        if (n <= 0)
            break;
        written += n;
    }
    if (written == line.size() && m_file.flush()) {
        m_error.clear();
        return true;
    }
    m_error = m_file.errorString();
    if (m_error.isEmpty() || m_file.error() == QFileDevice::NoError)
        m_error = QStringLiteral("Could not write to %1").arg(QDir::toNativeSeparators(m_file.fileName()));
    // Cut a partly written line off again, so the next record starts on a
    // line of its own and the file holds whole records only.
    if (written > 0)
        m_file.resize(sizeBefore);
    m_file.unsetError();
    return false;
}
