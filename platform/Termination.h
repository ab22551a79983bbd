#pragma once

#include <QObject>

class QSocketNotifier;

// SIGTERM, SIGINT and SIGHUP (a logout, kill, Ctrl+C) become a signal in the
// event loop, so that the program can end as its own quit command does
// instead of dying where it stands.
class Termination : public QObject {
    Q_OBJECT
public:
    explicit Termination(QObject* parent = nullptr);
    ~Termination() override;

signals:
    void requested();

private:
    QSocketNotifier* m_notifier = nullptr;
};
