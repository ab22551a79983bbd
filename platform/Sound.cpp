#include "platform/Sound.h"

#include <QApplication>
#include <QCoreApplication>
#include <QFileInfo>
#include <QLibrary>
#include <dlfcn.h>

namespace {
Sound* installed = nullptr;

// The sound theme library, loaded at the first alert where it is installed:
// the program neither needs it to build nor to run.
class ThemeSounds {
public:
    static ThemeSounds& instance()
    {
        static ThemeSounds sounds;
        return sounds;
    }

    bool play(const char* eventId)
    {
        if (!m_context)
            return false;
        // The desktop shows whose sound it was by the application's name.
        const QByteArray who = QCoreApplication::applicationName().toUtf8();
        return m_play(m_context, 0, "event.id", eventId, "event.description", who.constData(),
                      nullptr) == 0;
    }

private:
    using Create = int (*)(void**);
    using Play = int (*)(void*, uint32_t, ...);

    ThemeSounds()
    {
        void* lib = dlopen("libcanberra.so.0", RTLD_LAZY | RTLD_LOCAL);
        if (!lib)
            return;
        auto create = reinterpret_cast<Create>(dlsym(lib, "ca_context_create"));
        m_play = reinterpret_cast<Play>(dlsym(lib, "ca_context_play"));
        void* context = nullptr;
        if (create && m_play && create(&context) == 0)
            m_context = context; // kept for the run: destroying it cuts a sound short
    }

    void* m_context = nullptr;
    Play m_play = nullptr;
};

} // namespace

Sound& Sound::instance()
{
    static SystemSound system;
    return installed ? *installed : system;
}

void Sound::install(Sound* sound)
{
    installed = sound;
}

void SystemSound::alert()
{
    if (!ThemeSounds::instance().play("bell"))
        QApplication::beep();
}

void SystemSound::playFile(const QString& path)
{
    using Play = bool (*)(const QString&, void (*)());
    static const Play play = reinterpret_cast<Play>(QLibrary::resolve(
        QCoreApplication::applicationDirPath() + QStringLiteral("/brenwick_soundeffect"),
        "brenwick_play_wave"));
    if (!QFileInfo(path).isFile() || !play || !play(path, &SystemSound::alert))
        alert();
}
