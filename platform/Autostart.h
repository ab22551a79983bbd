#pragma once

#include <QString>

// The desktop's autostart entry of one program: a desktop entry file in the
// user's XDG autostart folder, which the session starts at every login.
class AutostartEntry {
public:
    explicit AutostartEntry(QString name)
        : m_name(std::move(name))
    {}

    // $XDG_CONFIG_HOME/autostart (read anew at each call).
    static QString folder();
    // The entry's file; an existing one is found whatever the case of its name.
    QString file() const;
    bool exists() const;
    // The program the entry starts; empty when there is no entry.
    QString program() const;
    // Writes the entry atomically; returns an empty text, else the reason.
    QString write(const QString& program, const QString& displayName) const;
    // Removes the entry; its absence is no failure. False when it stays.
    bool remove() const;

    // The Exec= value for one program path, quoted and escaped by the
    // desktop-entry rules, and back.
    static QString execValue(const QString& program);
    static QString programFromExec(const QString& exec);

private:
    QString m_name;
};
