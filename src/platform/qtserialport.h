#pragma once

#include "platform/serialport.h"

#include <QSerialPort>
#include <QString>

// The device that port number `port` stands for. On Windows "COMn". Elsewhere an
// entry named COMn in the folder of the port links wins (normally a symbolic link to the
// real device, e.g. COM1 -> /dev/ttyUSB0); without one, /dev/ttyS<n-1>.
QString serialDevicePath(qint16 port, const QString &programDir);

// The serial line over QSerialPort with the line settings given (9600 baud, 8N1,
// no flow control unless told otherwise), DTR raised
// where the device supports it. Everything runs on the thread that owns it; the
// received bytes are collected while the event loop runs and announced with
// dataArrived(); one input() takes at most kReceiveBufferSize of them and the
// rest is announced again.
//
// A read failure on an open port (a USB adapter pulled out, the far end of a
// pseudo-terminal closed) closes the port at once and emits portLost() once:
// the platform reports such failures over and over, and one is all the program
// needs.
class QtSerialPort : public SerialPort
{
public:
    explicit QtSerialPort(QString programDir, QObject *parent = nullptr);
    ~QtSerialPort() override;

    QtSerialPort(const QtSerialPort &) = delete;
    QtSerialPort &operator=(const QtSerialPort &) = delete;

    Status setCommPort(qint16 port) override;
    qint16 commPort() const override;

    void setLineSettings(const LineSettings &settings) override { m_lineSettings = settings; }
    const LineSettings &lineSettings() const { return m_lineSettings; }

    bool portOpen() const override;
    Status setPortOpen(bool open) override;
    Status reopen() override;

    Status clearInBuffer() override;
    Status output(const QByteArray &data) override;
    Result<QByteArray> input() override;

    // Bytes received and held for the next input(); lets a caller see that data
    // has arrived without taking it.
    qint64 bytesWaiting() const;

    // Why the port was closed by a failure, empty when it was not.
    QString closedBecause() const { return m_closedBecause; }

private:
    // Opens device, which names port number m_commPort.
    Status open(const QString &device);
    void onError(QSerialPort::SerialPortError error);
    QString portLabel() const;
    // operation: a verb phrase marked for translation in the context "SerialPort".
    Failure notOpen(const char *operation) const;

    QString m_programDir;
    qint16 m_commPort = 1;
    LineSettings m_lineSettings;
    QString m_device;            // what the port number resolved to when last opened
    QString m_closedBecause;
    QString m_ioError;           // the last read or write failure, for output()
    bool m_ignoreErrors = false; // while optional settings (DTR) are tried
    bool m_moreAnnounced = false; // received bytes beyond one read are announced again
    QSerialPort m_serial;
};
