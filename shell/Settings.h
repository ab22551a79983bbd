#pragma once

#include "platform/Registry.h"

#include <QString>
#include <QStringList>

// The settings store: named values in one key, never cached. Each use opens
// the key, reads or writes, and closes it.
namespace Settings {
QString keyPath(); // Software\Tavimor\Option

// Value names.
inline const QString intervalTime = QStringLiteral("intervalTime");
inline const QString isPlayMusic = QStringLiteral("isPlayMusic");
inline const QString playFileName = QStringLiteral("playFileName");
inline const QString autoRun = QStringLiteral("AutoRun");
inline const QString oldrcDays = QStringLiteral("oldrcDays");
inline const QString highColor = QStringLiteral("highColor");
inline const QString middleColor = QStringLiteral("middleColor");
inline const QString lowColor = QStringLiteral("lowColor");
inline const QString deleteRc = QStringLiteral("deleteRc");
inline const QString txWinPos = QStringLiteral("txWin_Pos");
inline const QString zm = QStringLiteral("zm");

// Creates the key with its eleven defaults, only when it cannot be opened.
void writeFirstRunDefaults();

// One opening of the settings key for several reads (no creation).
class Reader {
public:
    Reader();
    int integer(const QString& name) const { return m_key.readInteger(name); }
    QString string(const QString& name) const { return m_key.readString(name); }

private:
    RegistryKey m_key;
};

// One opening for several writes; a key that cannot be opened makes every
// write fail with "Failed to set data for '%s'".
class Writer {
public:
    Writer();
    void integer(const QString& name, int value) { m_key.writeInteger(name, value); }
    void string(const QString& name, const QString& value) { m_key.writeString(name, value); }

private:
    RegistryKey m_key;
};

int readInteger(const QString& name);
QString readString(const QString& name);
// The colour stored for a priority code: highColor for 0, middleColor for 1, lowColor otherwise.
quint32 priorityColorValue(int yxj);

// The autostart entry: the program folder's Brenwick.
QString autostartProgram();
void writeAutostart();
void deleteAutostart();

// The plan list in plans.txt beside the executable.
QString plansFile();
QStringList parsePlans(const QByteArray& bytes);
QByteArray serializePlans(const QStringList& titles);
QStringList loadPlans(); // raises the file-open error when the file cannot be read
void savePlans(const QStringList& titles);
} // namespace Settings
