#pragma once

#include "platform/Registry.h"

#include <QString>
#include <QStringList>
#include <QVariant>
#include <array>

// The settings store: named values in one key, never cached. Each use opens
// the key, reads or writes, and closes it.
namespace Settings {
QString keyPath();   // Software\Tavimor\Option
QString storeFile(); // $XDG_CONFIG_HOME/Tavimor/registry.reg

// The eleven settings, in the order the first run writes them.
enum Id {
    intervalTime,
    isPlayMusic,
    playFileName,
    autoRun,
    oldrcDays,
    highColor,
    middleColor,
    lowColor,
    deleteRc,
    txWinPos,
    zm,
};
enum class Kind { Integer, String };
struct Spec {
    Id id;
    const char* name;
    Kind kind;
    QVariant firstRunDefault;
};
// The table that drives the first-run defaults, the readers and the writers.
const std::array<Spec, 11>& table();
const Spec& spec(Id id);
QString name(Id id);

// Creates the key with its eleven defaults, only when it cannot be opened.
void writeFirstRunDefaults();

// One opening of the settings key for several reads (no creation).
class Reader {
public:
    Reader();
    int integer(Id id) const;
    QString string(Id id) const;
    QVariant value(Id id) const; // by the kind of the table

private:
    RegistryKey m_key;
};

// One opening for several writes; a key that cannot be opened makes every
// write fail with "Failed to set data for '%s'". Only the first run creates it.
class Writer {
public:
    explicit Writer(bool createKey = false);
    void integer(Id id, int value);
    void string(Id id, const QString& value);
    void value(Id id, const QVariant& value); // by the kind of the table

private:
    RegistryKey m_key;
};

int readInteger(Id id);
QString readString(Id id);
// The colour stored for a priority code: highColor for 0, middleColor for 1, lowColor otherwise.
quint32 priorityColorValue(int yxj);

// The autostart entry: the program folder's Brenwick, started at login.
QString autostartProgram();
bool autostartExists();
void writeAutostart();  // raises "Failed to set data for 'Tavimor'"
void deleteAutostart(); // its absence is no error

// The plan list in plans.txt beside the executable.
QString plansFile();
// One title a line, each cleaned as a single line of text (PlainText).
QStringList parsePlans(const QByteArray& bytes);
QByteArray serializePlans(const QStringList& titles);
QStringList loadPlans(); // raises the file-open error when the file cannot be read
void savePlans(const QStringList& titles);
} // namespace Settings
