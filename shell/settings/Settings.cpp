#include "shell/settings/Settings.h"

#include "platform/AppError.h"
#include "platform/Autostart.h"
#include "platform/Cp936.h"
#include "platform/Dialogs.h"
#include "platform/PlainText.h"
#include "platform/ProgramDir.h"
#include "platform/SafeFile.h"
#include "shell/settings/ColorText.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace Settings {

namespace {
const QString autostartName = QStringLiteral("Tavimor");

// A damaged store was kept aside by the opening: say so, once.
void reportDamage(const RegistryKey& key)
{
    const auto& d = key.damage();
    if (!d)
        return;
    const QString file = QDir::toNativeSeparators(d->file);
    Dialogs::instance().error(
        nullptr,
        d->keptAs.isEmpty()
            ? QStringLiteral("设置文件“%1”已损坏（%2），且无法改名保留；程序本次使用默认设置")
                  .arg(file, d->error)
            : QStringLiteral("设置文件“%1”已损坏（%2），已保留为“%3”；程序将使用默认设置")
                  .arg(file, d->error, QDir::toNativeSeparators(d->keptAs)));
}

bool open(RegistryKey& key, bool canCreate)
{
    const bool ok = key.openKey(keyPath(), canCreate);
    reportDamage(key);
    // Never taken for a missing store, which the first run would write over.
    if (!key.unreadable().isEmpty())
        throw AppError(fileOpenErrorText(QDir::toNativeSeparators(storeFile()), key.unreadable()));
    return ok;
}
} // namespace

QString keyPath()
{
    return QStringLiteral("Software\\Tavimor\\Option");
}

QString storeFile()
{
    return Registry::configHome() + QStringLiteral("/Tavimor/registry.reg");
}

namespace {
QVariant defaultOf(int value)
{
    return value;
}
QVariant defaultOf(const char* utf8)
{
    return QString::fromUtf8(utf8);
}
QVariant defaultOf(const QString& text)
{
    return text;
}
} // namespace

const std::array<Definition, count>& table()
{
    static const std::array<Definition, count> definitions = {{
#define BRENWICK_SETTING_SPEC(id, name, kind, value, since)                                        \
    {id, name, Kind::kind, defaultOf(value), Since::since},
        BRENWICK_SETTINGS(BRENWICK_SETTING_SPEC)
#undef BRENWICK_SETTING_SPEC
    }};
    return definitions;
}

const Definition& definition(Id id)
{
    return table()[size_t(id)];
}

QString name(Id id)
{
    return QLatin1String(definition(id).name);
}

void writeFirstRunDefaults()
{
    {
        RegistryKey probe(storeFile());
        if (open(probe, false))
            return; // the key exists: nothing is written, even when values are missing
    }
    Writer writer(true);
    for (const Definition& s : table())
        if (s.since == Since::First)
            writer.value(s.id, s.defaultValue);
}

Reader::Reader()
    : m_key(storeFile())
{
    open(m_key, false);
}

int Reader::integer(Id id) const
{
    return value(definition(id)).toInt();
}

QString Reader::string(Id id) const
{
    return value(definition(id)).toString();
}

QVariant Reader::value(Id id) const
{
    return value(definition(id));
}

QVariant Reader::value(const Definition& s) const
{
    const QString name = QLatin1String(s.name);
    if (s.since == Since::Later && !m_key.valueExists(name))
        return s.defaultValue;
    return s.kind == Kind::Integer ? QVariant(m_key.readInteger(name))
                                   : QVariant(m_key.readString(name));
}

Writer::Writer(bool createKey)
    : m_key(storeFile())
{
    open(m_key, createKey);
}

void Writer::integer(Id id, int value)
{
    m_key.writeInteger(name(id), value);
}

void Writer::string(Id id, const QString& value)
{
    m_key.writeString(name(id), value);
}

void Writer::value(Id id, const QVariant& value)
{
    if (definition(id).kind == Kind::Integer)
        integer(id, value.toInt());
    else
        string(id, value.toString());
}

int readInteger(Id id)
{
    return Reader().integer(id);
}

QString readString(Id id)
{
    return Reader().string(id);
}

quint32 priorityColorValue(int yxj)
{
    const Reader reader;
    const Id id = yxj == 0 ? highColor : yxj == 1 ? middleColor : lowColor;
    return ColorText::fromText(reader.string(id));
}

QString autostartProgram()
{
    // The file name is fixed, whatever the running executable is called.
    return ProgramDir::path() + QStringLiteral("Brenwick");
}

bool autostartExists()
{
    return AutostartEntry(autostartName).exists();
}

void writeAutostart()
{
    const QString failed =
        AutostartEntry(autostartName).write(autostartProgram(), QStringLiteral("时雀"));
    if (!failed.isEmpty())
        throw AppError(QStringLiteral("Failed to set data for '%1'").arg(autostartName));
}

void deleteAutostart()
{
    if (!AutostartEntry(autostartName).remove())
        throw AppError(QStringLiteral("Failed to set data for '%1'").arg(autostartName));
}

QStringList privateFiles()
{
    return {QFileInfo(storeFile()).path(), storeFile(), plansFile(),
            AutostartEntry(autostartName).file()};
}

QString plansFile()
{
    return ProgramDir::dataFile(QStringLiteral("plans.txt"));
}

QStringList parsePlans(const QByteArray& raw)
{
    QByteArray bytes = raw;
    const int nul = bytes.indexOf('\0');
    if (nul >= 0)
        bytes.truncate(nul); // a NUL byte ends the text
    QStringList titles;
    const QString text = Cp936::decode(bytes);
    int start = 0;
    for (int i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        if (c != QLatin1Char('\r') && c != QLatin1Char('\n'))
            continue;
        titles << PlainText::singleLine(text.mid(start, i - start));
        if (c == QLatin1Char('\r') && i + 1 < text.size() && text.at(i + 1) == QLatin1Char('\n'))
            ++i;
        start = i + 1;
    }
    if (start < text.size())
        titles << PlainText::singleLine(text.mid(start));
    return titles;
}

QByteArray serializePlans(const QStringList& titles)
{
    QByteArray out;
    for (const QString& t : titles)
        out += Cp936::encode(t) + "\r\n";
    return out;
}

QStringList loadPlans()
{
    const QString path = plansFile();
    QByteArray bytes;
    const QString failed = SafeFile::read(path, &bytes);
    if (!failed.isEmpty())
        throw AppError(fileOpenErrorText(QDir::toNativeSeparators(path), failed));
    return parsePlans(bytes);
}

void savePlans(const QStringList& titles)
{
    const QString path = plansFile();
    // A list that cannot be read is left alone; a missing one is created.
    if (QFileInfo::exists(path)) {
        QByteArray bytes;
        const QString failed = SafeFile::read(path, &bytes);
        if (!failed.isEmpty())
            throw AppError(fileOpenErrorText(QDir::toNativeSeparators(path), failed));
    }
    const QString failed = SafeFile::replace(path, serializePlans(titles));
    if (!failed.isEmpty())
        throw AppError(fileOpenErrorText(QDir::toNativeSeparators(path), failed));
}

} // namespace Settings
