#pragma once

// The short sound that tells the operator a cell was recorded, without looking.
// The window reaches the sound through this interface; tests record the cues.
class SoundCue
{
public:
    enum class Cue {
        In,  // both readings lit a BIN
        Out, // either reading is Out
    };

    virtual ~SoundCue() = default;
    // Starts the cue and returns at once; silent when there is no way to play it.
    virtual void play(Cue cue) = 0;
};
