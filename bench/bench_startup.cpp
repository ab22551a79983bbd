// From process start until the main window is exposed on an X display: the
// real executable against a bare Qt program showing the same rows (bare_tree),
// at 10,000 and 100,000 schedules, runs interleaved, medians printed.
//   bench_startup [RUNS]        (a display of its own is started with Xvfb)
#include "Generator.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <xcb/xcb.h>

namespace {
xcb_atom_t atom(xcb_connection_t* c, const char* name)
{
    auto* r =
        xcb_intern_atom_reply(c, xcb_intern_atom(c, 0, uint16_t(strlen(name)), name), nullptr);
    const xcb_atom_t a = r ? r->atom : xcb_atom_t(XCB_ATOM_NONE);
    free(r);
    return a;
}

// Watches the display's top-level windows for the first exposure of one
// titled 时雀.
class Watcher {
public:
    explicit Watcher(const QByteArray& display)
    {
        m_c = xcb_connect(display.constData(), nullptr);
        if (xcb_connection_has_error(m_c)) {
            std::fprintf(stderr, "cannot open display %s\n", display.constData());
            std::exit(1);
        }
        m_root = xcb_setup_roots_iterator(xcb_get_setup(m_c)).data->root;
        m_name = atom(m_c, "_NET_WM_NAME");
        const uint32_t mask = XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY;
        xcb_change_window_attributes(m_c, m_root, XCB_CW_EVENT_MASK, &mask);
        xcb_flush(m_c);
    }
    ~Watcher() { xcb_disconnect(m_c); }

    // Milliseconds from clock's start to the first exposure of the window,
    // or -1 after timeoutMs.
    double waitForExposure(const QElapsedTimer& clock, int timeoutMs)
    {
        while (clock.elapsed() < timeoutMs) {
            xcb_generic_event_t* e = xcb_poll_for_event(m_c);
            if (!e) {
                QThread::usleep(200);
                continue;
            }
            const double at = clock.nsecsElapsed() / 1e6;
            const uint8_t type = e->response_type & 0x7f;
            if (type == XCB_CREATE_NOTIFY) {
                // Its exposures, and its title when it comes.
                const auto* c = reinterpret_cast<xcb_create_notify_event_t*>(e);
                const uint32_t mask = XCB_EVENT_MASK_EXPOSURE | XCB_EVENT_MASK_STRUCTURE_NOTIFY;
                xcb_change_window_attributes(m_c, c->window, XCB_CW_EVENT_MASK, &mask);
                xcb_flush(m_c);
            } else if (type == XCB_EXPOSE || type == XCB_MAP_NOTIFY) {
                const xcb_window_t w = type == XCB_EXPOSE
                                           ? reinterpret_cast<xcb_expose_event_t*>(e)->window
                                           : reinterpret_cast<xcb_map_notify_event_t*>(e)->window;
                // A map whose exposure came before the watch began counts as the exposure.
                if (isMain(w) && (type == XCB_EXPOSE || !m_exposeSeen)) {
                    if (type == XCB_EXPOSE || mappedLongEnough(w)) {
                        free(e);
                        return at;
                    }
                }
            }
            free(e);
        }
        return -1;
    }

private:
    bool isMain(xcb_window_t w)
    {
        auto* r = xcb_get_property_reply(
            m_c, xcb_get_property(m_c, 0, w, m_name, XCB_GET_PROPERTY_TYPE_ANY, 0, 64), nullptr);
        bool main = false;
        if (r) {
            const QByteArray title(static_cast<const char*>(xcb_get_property_value(r)),
                                   xcb_get_property_value_length(r));
            main = title == QByteArray("时雀");
            free(r);
        }
        return main;
    }
    // The map of a window we watched from its creation is followed by its
    // exposure; wait for that one instead.
    bool mappedLongEnough(xcb_window_t) { return false; }

    xcb_connection_t* m_c;
    xcb_window_t m_root;
    xcb_atom_t m_name;
    bool m_exposeSeen = false;
};

double median(QList<double> v)
{
    std::sort(v.begin(), v.end());
    return v.isEmpty() ? 0 : v[v.size() / 2];
}
} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const int runs = argc > 1 ? QByteArray(argv[1]).toInt() : 9;
    const QString build = QCoreApplication::applicationDirPath() + QStringLiteral("/..");
    const QString program = build + QStringLiteral("/Brenwick");
    const QString bare = QCoreApplication::applicationDirPath() + QStringLiteral("/bare_tree");

    // A display of our own, without a window manager: windows map as they are.
    int n = 120;
    while (QFile::exists(QStringLiteral("/tmp/.X%1-lock").arg(n)))
        ++n;
    const QByteArray display = ":" + QByteArray::number(n);
    QProcess xvfb;
    xvfb.start(QStringLiteral("Xvfb"),
               {QString::fromLatin1(display), QStringLiteral("-screen"), QStringLiteral("0"),
                QStringLiteral("1024x768x24"), QStringLiteral("-nolisten"), QStringLiteral("tcp")});
    if (!xvfb.waitForStarted()) {
        std::fprintf(stderr, "Xvfb is needed (Debian package xvfb)\n");
        return 1;
    }
    for (int i = 0; i < 100 && !QFile::exists(QStringLiteral("/tmp/.X11-unix/X%1").arg(n)); ++i)
        QThread::msleep(50);
    QThread::msleep(200);
    Watcher watcher(display);

    QTemporaryDir dir;
    const QString folder = dir.path() + QStringLiteral("/program/");
    QDir().mkpath(folder);
    QDir().mkpath(dir.path() + QStringLiteral("/runtime"));
    QFile::setPermissions(dir.path() + QStringLiteral("/runtime"),
                          QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    QFile::copy(program, folder + QStringLiteral("Brenwick"));
    QFile::copy(build + QStringLiteral("/ovak.ico"), folder + QStringLiteral("ovak.ico"));
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("DISPLAY"), QString::fromLatin1(display));
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), dir.path() + QStringLiteral("/config"));
    env.insert(QStringLiteral("XDG_RUNTIME_DIR"), dir.path() + QStringLiteral("/runtime"));
    env.remove(QStringLiteral("SESSION_MANAGER"));

    auto once = [&](const QString& exe, const QStringList& args) {
        QProcess p;
        p.setProcessEnvironment(env);
        p.setWorkingDirectory(dir.path());
        QElapsedTimer clock;
        clock.start();
        p.start(exe, args);
        const double ms = watcher.waitForExposure(clock, 30000);
        p.terminate();
        if (!p.waitForFinished(10000))
            p.kill();
        p.waitForFinished();
        return ms;
    };

    std::printf("start-up to the main window's exposure, median of %d interleaved runs\n", runs);
    for (int count : {10000, 100000}) {
        const QString db = folder + QStringLiteral("assistant.mdb");
        Generator::createDatabase(db, Generator::fromToday(count, QDate::currentDate()));
        // Warm: the first start writes the settings, and fills the caches.
        once(folder + QStringLiteral("Brenwick"), {});
        once(bare, {db});
        QList<double> ours, theirs;
        for (int i = 0; i < runs; ++i) {
            ours << once(folder + QStringLiteral("Brenwick"), {});
            theirs << once(bare, {db});
        }
        if (ours.contains(-1) || theirs.contains(-1)) {
            std::fprintf(stderr, "a window never showed\n");
            return 1;
        }
        Generator::printRow(QStringLiteral("start-up, %1 schedules").arg(count), median(ours),
                            median(theirs));
    }
    xvfb.terminate();
    xvfb.waitForFinished();
    return 0;
}
