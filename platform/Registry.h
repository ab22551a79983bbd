#pragma once

#include <QHash>
#include <QList>
#include <QString>
#include <optional>

// A model of the registry for settings: one root (HKEY_LOCAL_MACHINE), keys
// by path, REG_DWORD and REG_SZ values, names matched without regard to case.
// It lives in one text file in the registry export syntax, read at every
// opening (unless the file is unchanged since the last reading) and replaced
// atomically at every write.
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
        QHash<QString, int> index; // lower-cased value name -> position
        int find(const QString& name) const;
        void set(const Value& value); // keeps the first spelling of the name
        bool remove(const QString& name);
    };
    struct Document {
        QList<Key> keys;
        QHash<QString, int> index; // lower-cased key path -> position
        Key* find(const QString& path);
        const Key* find(const QString& path) const;
        Key& add(const QString& path);
    };

    // $XDG_CONFIG_HOME (or ~/.config); read anew at each call so tests can point it elsewhere.
    static QString configHome();

    // The file format, exposed for tests. parse() returns an error text on failure.
    static QString serialize(const Document& doc);
    static std::optional<Document> parse(const QString& text, QString* error);

    // What happened to a store file that could not be parsed: it is kept
    // under another name (when it could be renamed) and read as empty.
    struct Damage {
        QString file;
        QString error;
        QString keptAs; // empty when the file could not be renamed
    };
};

// One opened key of one store file, in the manner of the registry API: open
// (with or without creating), read, write, delete a value, close. Reads and
// writes raise the store's failures ("Failed to get data for '%s'", "Invalid
// data type for '%s'", "Failed to set data for '%s'") as AppError.
class RegistryKey {
public:
    explicit RegistryKey(QString storeFile)
        : m_file(std::move(storeFile))
    {}
    RegistryKey(const RegistryKey&) = delete;
    RegistryKey& operator=(const RegistryKey&) = delete;
    ~RegistryKey() { closeKey(); }

    bool openKey(const QString& path, bool canCreate);
    void closeKey();
    // Set by an opening that found the store file damaged.
    const std::optional<Registry::Damage>& damage() const { return m_damage; }
    // Why the last opening could not read a store file that exists (empty
    // when it could): no right to read it, not a regular file, too large.
    const QString& unreadable() const { return m_unreadable; }

    bool valueExists(const QString& name) const;
    int readInteger(const QString& name) const;
    QString readString(const QString& name) const; // a missing value reads as ""
    void writeInteger(const QString& name, int value);
    void writeString(const QString& name, const QString& value);
    bool deleteValue(const QString& name);

private:
    const Registry::Value* find(const QString& name) const;
    bool save();
    void set(const Registry::Value& value);

    QString m_file;
    bool m_open = false;
    QString m_path;
    Registry::Document m_doc;
    std::optional<Registry::Damage> m_damage;
    QString m_unreadable;
};
