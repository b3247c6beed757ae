#pragma once

#include "platform/soundcue.h"

#include <QObject>

#include <memory>

class QSoundEffect;

// The cues as the WAV resources :/sounds/cue-in.wav and :/sounds/cue-out.wav.
// Nothing audio is touched until the first cue: a program that never plays one
// never opens the sound system. With no audio output the cues stay silent and
// nothing is reported.
class QtSoundCue : public QObject, public SoundCue
{
public:
    explicit QtSoundCue(QObject *parent = nullptr);
    ~QtSoundCue() override;

    void play(Cue cue) override;

private:
    bool prepare();

    bool m_prepared = false;
    bool m_available = false;
    std::unique_ptr<QSoundEffect> m_in;
    std::unique_ptr<QSoundEffect> m_out;
};
