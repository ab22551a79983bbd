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

// Every setting, one line each: its id, its value's name in the store, its
// kind, its default, and when it came. The first design's eleven (First)
// are written by the first run, in this order, and a missing one fails to
// read ("Failed to get data for '%s'"), as it always has. One added later
// (Later) reads as its default while the store lacks it: existing stores get
// no error, and nothing is written until the user saves a value.
#define BRENWICK_SETTINGS(S)                                                                       \
    S(intervalTime, "intervalTime", Integer, 1, First)                                             \
    S(isPlayMusic, "isPlayMusic", Integer, 0, First)                                               \
    S(playFileName, "playFileName", String, "", First)                                             \
    S(autoRun, "AutoRun", Integer, 1, First)                                                       \
    S(oldrcDays, "oldrcDays", Integer, 30, First)                                                  \
    S(highColor, "highColor", String, ColorText::toText(0x0000FF), First)                          \
    S(middleColor, "middleColor", String, ColorText::toText(0x000000), First)                      \
    S(lowColor, "lowColor", String, ColorText::toText(0x00FFFF), First)                            \
    S(deleteRc, "deleteRc", Integer, 1, First)                                                     \
    S(txWinPos, "txWin_Pos", Integer, 0, First)                                                    \
    S(zm, "zm", String, "欢迎使用时雀，您还没有设置滚动字幕！", First)                             \
    S(showLunar, "showLunar", Integer, 0, Later)                                                   \
    S(syncServer, "syncServer", String, "", Later)                                                 \
    S(syncUser, "syncUser", String, "", Later)                                                     \
    S(syncCalendar, "syncCalendar", String, "", Later)                                             \
    S(syncInterval, "syncInterval", Integer, 0, Later)                                             \
    S(syncLastResult, "syncLastResult", String, "", Later)

enum Id {
#define BRENWICK_SETTING_ID(id, ...) id,
    BRENWICK_SETTINGS(BRENWICK_SETTING_ID)
#undef BRENWICK_SETTING_ID
};
#define BRENWICK_SETTING_ONE(...) +1
inline constexpr size_t count = 0 BRENWICK_SETTINGS(BRENWICK_SETTING_ONE);
#undef BRENWICK_SETTING_ONE

enum class Kind { Integer, String };
enum class Since { First, Later };
struct Definition {
    Id id;
    const char* name;
    Kind kind;
    QVariant defaultValue;
    Since since;
};
// The table that drives the first-run defaults, the readers and the writers.
const std::array<Definition, count>& table();
const Definition& definition(Id id);
QString name(Id id);

// Creates the key with the first design's values, only when it cannot be opened.
void writeFirstRunDefaults();

// One opening of the settings key for several reads (no creation).
class Reader {
public:
    Reader();
    int integer(Id id) const;
    QString string(Id id) const;
    QVariant value(Id id) const; // by the kind of the table
    QVariant value(const Definition& definition) const;

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

// What this layer keeps of the user's: the store's folder, the store, the
// plan list and the autostart entry (each 0600, the folder 0700).
QStringList privateFiles();

// The plan list in plans.txt beside the executable.
QString plansFile();
// One title a line, each cleaned as a single line of text (PlainText).
QStringList parsePlans(const QByteArray& bytes);
QByteArray serializePlans(const QStringList& titles);
QStringList loadPlans(); // raises the file-open error when the file cannot be read
void savePlans(const QStringList& titles);
} // namespace Settings
