// The player of WAV files, a module of its own: Qt Multimedia and the sound
// server's libraries are loaded at the first sound, not at every start.
#include <QAudioDevice>
#include <QCoreApplication>
#include <QFileInfo>
#include <QMediaDevices>
#include <QPointer>
#include <QSoundEffect>
#include <QUrl>

namespace {
// One sound at a time: a new one replaces the one still playing.
QPointer<QSoundEffect> current;
} // namespace

// Starts the file and returns at once; false when it cannot even start.
// failed() is called later when the file turns out not to be playable.
extern "C" Q_DECL_EXPORT bool brenwick_play_wave(const QString& path, void (*failed)())
{
    if (current)
        current->deleteLater();
    if (QMediaDevices::defaultAudioOutput().isNull())
        return false;
    auto* effect = new QSoundEffect(qApp);
    current = effect;
    // Loading runs in the background; the sound starts once the file is read.
    QObject::connect(effect, &QSoundEffect::statusChanged, effect, [effect, failed] {
        if (effect->status() == QSoundEffect::Ready && !effect->isPlaying()) {
            effect->play();
        } else if (effect->status() == QSoundEffect::Error) {
            effect->deleteLater();
            failed();
        }
    });
    QObject::connect(effect, &QSoundEffect::playingChanged, effect, [effect] {
        if (!effect->isPlaying() && effect->status() == QSoundEffect::Ready)
            effect->deleteLater();
    });
    effect->setSource(QUrl::fromLocalFile(QFileInfo(path).absoluteFilePath()));
    return true;
}
