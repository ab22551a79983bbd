#pragma once

#include <QString>

// Plays sound files without waiting for them to end. A file that cannot be
// played gives the desktop's own alert sound instead (the sound theme's, or
// the display's bell), never an error. Tests install a recorder.
class Sound {
public:
    virtual ~Sound() = default;

    virtual void playFile(const QString& path) = 0;

    static Sound& instance();
    // Tests install their own; nullptr restores the real player. Not owned.
    static void install(Sound* sound);
};

// WAV files go to the module brenwick_soundeffect beside the executable
// (Qt Multimedia); without it every sound is the alert sound.
class SystemSound : public Sound {
public:
    void playFile(const QString& path) override;
    // The desktop's alert sound: the sound theme's "bell" event where the
    // theme library is installed and reaches a sound server, else the bell.
    static void alert();
};
