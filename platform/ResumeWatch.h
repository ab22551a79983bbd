#pragma once

#include <QDBusConnection>
#include <QObject>

// Tells when the machine has woken from suspend: logind's PrepareForSleep
// signal with false, on the system bus. Where there is no such bus it stays
// silent. Tests emit resumed() themselves, or hand it a bus of their own.
class ResumeWatch : public QObject {
    Q_OBJECT
public:
    explicit ResumeWatch(QObject* parent = nullptr);
    ResumeWatch(const QDBusConnection& bus, QObject* parent);

    bool watching() const { return m_watching; }

signals:
    void resumed();

private slots:
    void prepareForSleep(bool sleeping);

private:
    bool m_watching = false;
};
