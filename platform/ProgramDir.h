#pragma once

#include <QString>

// The folder of the running executable, always ending in '/', and the folder
// of the user's data (the database, the plan list, the backups). Both are one
// folder for an install of the user's own. A package's program folder is not
// the user's to write: its install lays a marker beside the executable, a
// file named "data-folder" whose one line names the data's folder under the
// user's data home ($XDG_DATA_HOME, else ~/.local/share).
class ProgramDir {
public:
    static QString path();
    static QString file(const QString& name) { return path() + name; }
    static void set(const QString& dir); // tests; an empty text restores the default

    // Where the user's data lives, ending in '/'.
    static QString dataPath();
    static QString dataFile(const QString& name) { return dataPath() + name; }
    // Whether a marker moves the data out of the program folder.
    static bool dataApart();
    // Makes the data's own folder (0700) when it lies apart and is missing.
    // Returns an empty text on success, else the reason.
    static QString makeDataPath();

    static constexpr const char* markerName = "data-folder";
    // The marker's line when it names a folder under the data home: a
    // relative path of plain names; else an empty text.
    static QString folderFromMarker(const QByteArray& content);
    static QString dataHome(); // $XDG_DATA_HOME when absolute, else ~/.local/share
};
