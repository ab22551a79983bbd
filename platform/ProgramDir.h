#pragma once

#include <QString>

// The folder of the running executable, always ending in '/'. The database,
// the plan list and the tray icon live there.
class ProgramDir {
public:
    static QString path();
    static QString file(const QString& name) { return path() + name; }
    static void set(const QString& dir); // tests; an empty text restores the default
};
