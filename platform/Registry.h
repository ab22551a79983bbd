#pragma once

#include <QList>
#include <QString>
#include <optional>

// The settings store's model of the registry: one root (HKEY_LOCAL_MACHINE),
// keys by path, REG_DWORD and REG_SZ values, names matched without regard to
// case. It lives in one text file in the registry export syntax, read at every
// opening and replaced atomically at every write. Values of the Run key are the
// user's XDG autostart entries.
class Registry {
public:
    enum class Kind { Dword, String };
    struct Value {
        QString name;
        Kind kind = Kind::String;
        quint32 dword = 0;
        QString text;
    };
    struct Key {
        QString path;
        QList<Value> values;
    };
    struct Document {
        QList<Key> keys;
    };

    static QString runKeyPath()
    {
        return QStringLiteral("Software\\Microsoft\\Windows\\CurrentVersion\\Run");
    }

    // $XDG_CONFIG_HOME (or ~/.config); read anew at each call so tests can point it elsewhere.
    static QString configHome();
    static QString storeFile();    // configHome()/Tavimor/registry.reg
    static QString autostartDir(); // configHome()/autostart

    // The file format, exposed for tests. parse() returns an error text on failure.
    static QString serialize(const Document& doc);
    static std::optional<Document> parse(const QString& text, QString* error);

    // The Exec= value of a desktop entry for one program path, and back.
    static QString desktopExec(const QString& program);
    static QString programFromDesktopExec(const QString& exec);
};

// One opened key, in the manner of the registry API: open (with or without
// creating), read, write, delete a value, close. Reads and writes raise the
// store's failures ("Failed to get data for '%s'", "Invalid data type for
// '%s'", "Failed to set data for '%s'") as AppError.
class RegistryKey {
public:
    RegistryKey() = default;
    RegistryKey(const RegistryKey&) = delete;
    RegistryKey& operator=(const RegistryKey&) = delete;
    ~RegistryKey() { closeKey(); }

    bool openKey(const QString& path, bool canCreate);
    void closeKey();
    bool isOpen() const { return m_open; }

    bool valueExists(const QString& name) const;
    int readInteger(const QString& name) const;
    QString readString(const QString& name) const; // a missing value reads as ""
    void writeInteger(const QString& name, int value);
    void writeString(const QString& name, const QString& value);
    bool deleteValue(const QString& name);

private:
    bool isRunKey() const;
    Registry::Key* key();
    const Registry::Value* find(const QString& name) const;
    bool save();
    void set(const Registry::Value& value);

    bool m_open = false;
    QString m_path;
    Registry::Document m_doc;
};
