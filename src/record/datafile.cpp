#include "record/datafile.h"

#include "record/recordline.h"

#include <QCoreApplication>
#include <QDir>

#include <fcntl.h>
#include <unistd.h>

namespace {
struct DataFileTexts
{
    Q_DECLARE_TR_FUNCTIONS(DataFile)
};
} // namespace

Status DataFile::open(const QString &path)
{
    close();
    m_path = path;
    if (!openPath()) {
        m_path.clear();
        return Failure(ErrorKind::FileIo, m_error);
    }
    return {};
}

bool DataFile::openPath()
{
    const Result<int> fd = regularfile::open(m_path, O_WRONLY | O_APPEND | O_CREAT);
    if (!fd) {
        m_error = fd.errorString();
        return false;
    }
    // Unbuffered: every record goes straight to the operating system, and a
    // failed write leaves nothing behind in a buffer to be written again with
    // the next record. No text mode: the line already ends in CR LF.
    if (!m_file.open(*fd, QIODevice::WriteOnly | QIODevice::Append | QIODevice::Unbuffered,
                     QFileDevice::AutoCloseHandle)) {
        ::close(*fd);
        m_error = QStringLiteral("%1: %2").arg(QDir::toNativeSeparators(m_path), m_file.errorString());
        return false;
    }
    m_identity = regularfile::identityOf(*fd);
    m_error.clear();
    return true;
}

void DataFile::close()
{
    if (m_file.isOpen())
        m_file.close();
    m_path.clear();
    m_identity.reset();
}

bool DataFile::isOpen() const
{
    return m_file.isOpen();
}

QString DataFile::path() const
{
    return QDir::toNativeSeparators(m_path);
}

bool DataFile::replacedAtPath() const
{
    const Result<std::optional<regularfile::Identity>> atPath = regularfile::identityOf(m_path);
    // A path that merely cannot be looked at right now (no search permission)
    // keeps the open file.
    if (!atPath)
        return false;
    // Gone (or its folder gone).
    if (!*atPath)
        return true;
    return !m_identity || **atPath != *m_identity;
}

Result<RecordWritten> DataFile::writeRecord(const QDateTime &timeStamp, const QString &resistanceText,
                                            const QString &voltageText, const QString &cellId,
                                            const QString &testerWord)
{
    const auto notWritten = [this] { return Failure(ErrorKind::FileIo, m_error); };
    RecordWritten outcome;
    if (m_path.isEmpty()) {
        m_error = DataFileTexts::tr("No data file is open");
        return notWritten();
    }
    if (m_file.isOpen() && replacedAtPath()) {
        m_file.close();
        outcome.reopened = true;
    }
    // Closed here or by an earlier reopen that failed: the path is tried again.
    if (!m_file.isOpen()) {
        if (!openPath())
            return notWritten();
        outcome.reopened = true;
    }

    const QByteArray line = recordLine(timeStamp, resistanceText, voltageText, cellId, testerWord);
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
        return outcome;
    }
    m_error = m_file.errorString();
    if (m_error.isEmpty() || m_file.error() == QFileDevice::NoError)
        m_error = DataFileTexts::tr("Could not write to %1").arg(path());
    // Cut a partly written line off again, so the next record starts on a
    // line of its own and the file holds whole records only.
    if (written > 0)
        m_file.resize(sizeBefore);
    m_file.unsetError();
    return notWritten();
}
