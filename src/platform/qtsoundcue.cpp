#include "platform/qtsoundcue.h"

#include <QAudioDevice>
#include <QMediaDevices>
#include <QSoundEffect>
#include <QUrl>

namespace {

// Looking for an audio output on a machine without a sound server makes the
// audio backend complain on the log; without a device the cues are simply
// silent, so the look-up says nothing.
void quietDuringProbe(QtMsgType, const QMessageLogContext &, const QString &) {}

bool audioOutputPresent()
{
    const QtMessageHandler outer = qInstallMessageHandler(quietDuringProbe);
    const bool present = !QMediaDevices::audioOutputs().isEmpty();
    qInstallMessageHandler(outer);
    return present;
}

} // namespace

QtSoundCue::QtSoundCue(QObject *parent) : QObject(parent) {}

QtSoundCue::~QtSoundCue() = default;

bool QtSoundCue::prepare()
{
    if (m_prepared)
        return m_available;
    m_prepared = true;
    if (!audioOutputPresent())
        return false;
    const auto effect = [this](const char *resource) {
        auto sound = std::make_unique<QSoundEffect>(this);
        sound->setSource(QUrl(QString::fromLatin1(resource)));
        sound->setVolume(0.8f);
        return sound;
    };
    m_in = effect("qrc:/sounds/cue-in.wav");
    m_out = effect("qrc:/sounds/cue-out.wav");
    m_available = true;
    return true;
}

void QtSoundCue::play(Cue cue)
{
    if (!prepare())
        return;
    QSoundEffect *sound = cue == Cue::In ? m_in.get() : m_out.get();
    // A cue still playing from the last cell gives way to the new one.
    m_in->stop();
    m_out->stop();
    sound->play();
}
