#include "platform/Registry.h"

#include "platform/AppError.h"
#include "platform/Cp936.h"
#include "platform/Dialogs.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <algorithm>

namespace {
const QString header = QStringLiteral("Windows Registry Editor Version 5.00");
const QString rootName = QStringLiteral("HKEY_LOCAL_MACHINE");

bool sameName(const QString& a, const QString& b)
{
    return a.compare(b, Qt::CaseInsensitive) == 0;
}

QString normalPath(QString path)
{
    path.replace(QLatin1Char('/'), QLatin1Char('\\'));
    while (path.startsWith(QLatin1Char('\\')))
        path.remove(0, 1);
    while (path.endsWith(QLatin1Char('\\')))
        path.chop(1);
    return path;
}

QString quoted(const QString& s)
{
    QString out = QStringLiteral("\"");
    for (QChar c : s) {
        if (c == QLatin1Char('\\') || c == QLatin1Char('"'))
            out += QLatin1Char('\\');
        out += c;
    }
    return out + QLatin1Char('"');
}

bool hasControl(const QString& s)
{
    for (QChar c : s)
        if (c.unicode() < 0x20)
            return true;
    return false;
}

// hex(1): the string as UTF-16LE with its terminating NUL, as the export syntax has it.
QString hexString(const QString& s)
{
    QStringList bytes;
    const QString withNul = s + QChar(0);
    for (QChar c : withNul) {
        bytes << QStringLiteral("%1").arg(c.unicode() & 0xff, 2, 16, QLatin1Char('0'));
        bytes << QStringLiteral("%1").arg(c.unicode() >> 8, 2, 16, QLatin1Char('0'));
    }
    return QStringLiteral("hex(1):") + bytes.join(QLatin1Char(','));
}

// Reads a quoted text at pos (on the opening quote); leaves pos after the closing one.
std::optional<QString> readQuoted(const QString& line, int& pos)
{
    if (pos >= line.size() || line.at(pos) != QLatin1Char('"'))
        return std::nullopt;
    QString out;
    for (++pos; pos < line.size(); ++pos) {
        const QChar c = line.at(pos);
        if (c == QLatin1Char('\\')) {
            if (++pos >= line.size())
                return std::nullopt;
            out += line.at(pos);
        } else if (c == QLatin1Char('"')) {
            ++pos;
            return out;
        } else {
            out += c;
        }
    }
    return std::nullopt;
}

std::optional<QString> readHexString(QString hex)
{
    hex.remove(QLatin1Char(' '));
    if (hex.isEmpty())
        return QString();
    const QStringList parts = hex.split(QLatin1Char(','));
    if (parts.size() % 2 != 0)
        return std::nullopt;
    QString out;
    for (int i = 0; i < parts.size(); i += 2) {
        bool ok1 = false, ok2 = false;
        const uint lo = parts[i].toUInt(&ok1, 16);
        const uint hi = parts[i + 1].toUInt(&ok2, 16);
        if (!ok1 || !ok2 || lo > 0xff || hi > 0xff)
            return std::nullopt;
        out += QChar(char16_t(lo | (hi << 8)));
    }
    if (out.endsWith(QChar(0)))
        out.chop(1);
    return out;
}

// Loads the store; nullopt when the file exists but cannot be read. A file
// that cannot be parsed is reported, kept under another name, and read as empty.
std::optional<Registry::Document> loadStore()
{
    const QString path = Registry::storeFile();
    QFile file(path);
    if (!file.exists())
        return Registry::Document{};
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    const QString text = QString::fromUtf8(file.readAll());
    file.close();
    QString error;
    if (auto doc = Registry::parse(text, &error))
        return doc;
    const QString kept = path + QStringLiteral(".damaged-") +
                         QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-HHmmss"));
    const bool renamed = QFile::rename(path, kept);
    Dialogs::instance().error(
        renamed ? QStringLiteral("设置文件“%1”已损坏（%2），已保留为“%3”；程序将使用默认设置")
                      .arg(QDir::toNativeSeparators(path), error, QDir::toNativeSeparators(kept))
                : QStringLiteral("设置文件“%1”已损坏（%2），且无法改名保留；程序本次使用默认设置")
                      .arg(QDir::toNativeSeparators(path), error));
    return Registry::Document{};
}

bool writeAtomically(const QString& path, const QByteArray& bytes)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QSaveFile out(path);
    if (!out.open(QIODevice::WriteOnly))
        return false;
    out.write(bytes);
    return out.commit();
}

QString autostartFile(const QString& name)
{
    const QDir dir(Registry::autostartDir());
    const QString wanted = name + QStringLiteral(".desktop");
    for (const QString& entry : dir.entryList({QStringLiteral("*.desktop")}, QDir::Files))
        if (sameName(entry, wanted))
            return dir.filePath(entry);
    return dir.filePath(wanted);
}

// The Exec= value of a desktop entry file, or nullopt when there is none.
std::optional<QString> readDesktopExec(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    bool inEntry = false;
    for (const QByteArray& raw : file.readAll().split('\n')) {
        const QString line = QString::fromUtf8(raw).trimmed();
        if (line.startsWith(QLatin1Char('[')))
            inEntry = line == QLatin1String("[Desktop Entry]");
        else if (inEntry && line.startsWith(QLatin1String("Exec=")))
            return line.mid(5);
    }
    return QString();
}
} // namespace

QString Registry::configHome()
{
    const QString xdg = qEnvironmentVariable("XDG_CONFIG_HOME");
    if (!xdg.isEmpty() && QDir::isAbsolutePath(xdg))
        return QDir::cleanPath(xdg);
    return QDir::homePath() + QStringLiteral("/.config");
}

QString Registry::storeFile()
{
    return configHome() + QStringLiteral("/Tavimor/registry.reg");
}

QString Registry::autostartDir()
{
    return configHome() + QStringLiteral("/autostart");
}

QString Registry::serialize(const Document& doc)
{
    QString out = header + QStringLiteral("\n");
    for (const Key& key : doc.keys) {
        out +=
            QStringLiteral("\n[") + rootName + QLatin1Char('\\') + key.path + QStringLiteral("]\n");
        for (const Value& v : key.values) {
            out += quoted(v.name) + QLatin1Char('=');
            if (v.kind == Kind::Dword)
                out += QStringLiteral("dword:%1").arg(v.dword, 8, 16, QLatin1Char('0'));
            else if (hasControl(v.text))
                out += hexString(v.text);
            else
                out += quoted(v.text);
            out += QLatin1Char('\n');
        }
    }
    return out;
}

std::optional<Registry::Document> Registry::parse(const QString& text, QString* error)
{
    auto fail = [error](int lineNo, const QString& why) {
        if (error)
            *error = QStringLiteral("第 %1 行：%2").arg(lineNo).arg(why);
        return std::nullopt;
    };
    QStringList lines = text.split(QLatin1Char('\n'));
    for (QString& l : lines)
        if (l.endsWith(QLatin1Char('\r')))
            l.chop(1);
    if (!lines.isEmpty() && lines.first().startsWith(QChar(0xFEFF)))
        lines.first().remove(0, 1);
    if (lines.isEmpty() || lines.first().trimmed() != header)
        return fail(1, QStringLiteral("缺少文件头"));

    Document doc;
    Key* current = nullptr;
    for (int i = 1; i < lines.size(); ++i) {
        QString line = lines[i];
        const int lineNo = i + 1;
        if (line.trimmed().isEmpty() || line.trimmed().startsWith(QLatin1Char(';')))
            continue;
        if (line.startsWith(QLatin1Char('['))) {
            if (!line.trimmed().endsWith(QLatin1Char(']')))
                return fail(lineNo, QStringLiteral("键名不完整"));
            QString path = line.trimmed().mid(1);
            path.chop(1);
            if (!path.startsWith(rootName + QLatin1Char('\\'), Qt::CaseInsensitive) &&
                !sameName(path, rootName))
                return fail(lineNo, QStringLiteral("不支持的根键"));
            path = normalPath(path.mid(rootName.size()));
            current = nullptr;
            for (Key& k : doc.keys)
                if (sameName(k.path, path))
                    current = &k;
            if (!current) {
                doc.keys.append(Key{path, {}});
                current = &doc.keys.last();
            }
            continue;
        }
        if (!current)
            return fail(lineNo, QStringLiteral("数值不在任何键之下"));
        int pos = 0;
        const auto name = readQuoted(line, pos);
        if (!name || pos >= line.size() || line.at(pos) != QLatin1Char('='))
            return fail(lineNo, QStringLiteral("数值名称无效"));
        ++pos;
        Value v;
        v.name = *name;
        const QString data = line.mid(pos);
        if (data.startsWith(QLatin1String("dword:"), Qt::CaseInsensitive)) {
            bool ok = false;
            const QString digits = data.mid(6).trimmed();
            v.dword = digits.toUInt(&ok, 16);
            if (!ok || digits.size() != 8)
                return fail(lineNo, QStringLiteral("整数值无效"));
            v.kind = Kind::Dword;
        } else if (data.startsWith(QLatin1Char('"'))) {
            int p = 0;
            const auto s = readQuoted(data, p);
            if (!s || !data.mid(p).trimmed().isEmpty())
                return fail(lineNo, QStringLiteral("字符串值无效"));
            v.kind = Kind::String;
            v.text = *s;
        } else if (data.startsWith(QLatin1String("hex(1):"), Qt::CaseInsensitive)) {
            QString hex = data.mid(7).trimmed();
            while (hex.endsWith(QLatin1Char('\\')) && i + 1 < lines.size()) {
                hex.chop(1);
                hex += lines[++i].trimmed();
            }
            const auto s = readHexString(hex);
            if (!s)
                return fail(lineNo, QStringLiteral("字符串值无效"));
            v.kind = Kind::String;
            v.text = *s;
        } else {
            return fail(lineNo, QStringLiteral("不支持的数值类型"));
        }
        bool replaced = false;
        for (Value& old : current->values)
            if (sameName(old.name, v.name)) {
                old = v;
                replaced = true;
            }
        if (!replaced)
            current->values.append(v);
    }
    return doc;
}

namespace {
bool isReserved(QChar c)
{
    static const QString reserved = QStringLiteral(" \t\n\"'\\><~|&;$*?#()`");
    return reserved.contains(c);
}
} // namespace

QString Registry::desktopExec(const QString& program)
{
    // Quoting of the Exec key first, then the escapes of a desktop-entry string.
    QString arg = program;
    arg.replace(QLatin1Char('%'), QStringLiteral("%%"));
    if (std::any_of(arg.begin(), arg.end(), isReserved)) {
        QString q = QStringLiteral("\"");
        for (QChar c : arg) {
            if (c == QLatin1Char('"') || c == QLatin1Char('`') || c == QLatin1Char('$') ||
                c == QLatin1Char('\\'))
                q += QLatin1Char('\\');
            q += c;
        }
        arg = q + QLatin1Char('"');
    }
    QString out;
    for (QChar c : arg) {
        if (c == QLatin1Char('\\'))
            out += QStringLiteral("\\\\");
        else if (c == QLatin1Char('\n'))
            out += QStringLiteral("\\n");
        else if (c == QLatin1Char('\t'))
            out += QStringLiteral("\\t");
        else if (c == QLatin1Char('\r'))
            out += QStringLiteral("\\r");
        else
            out += c;
    }
    return out;
}

QString Registry::programFromDesktopExec(const QString& exec)
{
    QString arg;
    for (int i = 0; i < exec.size(); ++i) {
        if (exec.at(i) == QLatin1Char('\\') && i + 1 < exec.size()) {
            const QChar n = exec.at(++i);
            arg += n == QLatin1Char('n')   ? QChar(QLatin1Char('\n'))
                   : n == QLatin1Char('t') ? QChar(QLatin1Char('\t'))
                   : n == QLatin1Char('r') ? QChar(QLatin1Char('\r'))
                   : n == QLatin1Char('s') ? QChar(QLatin1Char(' '))
                                           : n;
        } else {
            arg += exec.at(i);
        }
    }
    if (arg.startsWith(QLatin1Char('"')) && arg.endsWith(QLatin1Char('"')) && arg.size() >= 2) {
        QString unq;
        for (int i = 1; i + 1 < arg.size(); ++i) {
            if (arg.at(i) == QLatin1Char('\\') && i + 2 < arg.size())
                ++i;
            unq += arg.at(i);
        }
        arg = unq;
    }
    arg.replace(QStringLiteral("%%"), QStringLiteral("%"));
    return arg;
}

bool RegistryKey::isRunKey() const
{
    return sameName(m_path, Registry::runKeyPath());
}

bool RegistryKey::openKey(const QString& path, bool canCreate)
{
    closeKey();
    m_path = normalPath(path);
    if (isRunKey()) {
        m_open = true; // its values are files; there is nothing to read first
        return true;
    }
    auto doc = loadStore();
    if (!doc)
        return false;
    m_doc = std::move(*doc);
    if (!key()) {
        if (!canCreate)
            return false;
        m_doc.keys.append(Registry::Key{m_path, {}});
        if (!save())
            return false;
    }
    m_open = true;
    return true;
}

void RegistryKey::closeKey()
{
    m_open = false;
    m_doc = {};
}

Registry::Key* RegistryKey::key()
{
    for (Registry::Key& k : m_doc.keys)
        if (sameName(k.path, m_path))
            return &k;
    return nullptr;
}

const Registry::Value* RegistryKey::find(const QString& name) const
{
    if (!m_open)
        return nullptr;
    for (const Registry::Key& k : m_doc.keys)
        if (sameName(k.path, m_path))
            for (const Registry::Value& v : k.values)
                if (sameName(v.name, name))
                    return &v;
    return nullptr;
}

bool RegistryKey::save()
{
    return writeAtomically(Registry::storeFile(), Registry::serialize(m_doc).toUtf8());
}

bool RegistryKey::valueExists(const QString& name) const
{
    if (m_open && isRunKey())
        return QFile::exists(autostartFile(name));
    return find(name) != nullptr;
}

int RegistryKey::readInteger(const QString& name) const
{
    const auto failed = QStringLiteral("Failed to get data for '%1'").arg(name);
    if (m_open && isRunKey()) {
        if (!valueExists(name))
            throw AppError(failed);
        throw AppError(QStringLiteral("Invalid data type for '%1'").arg(name));
    }
    const Registry::Value* v = find(name);
    if (!v)
        throw AppError(failed);
    if (v->kind != Registry::Kind::Dword) {
        // A four-byte buffer cannot take a longer string (its NUL counts).
        if (Cp936::byteLength(v->text) + 1 > 4)
            throw AppError(failed);
        throw AppError(QStringLiteral("Invalid data type for '%1'").arg(name));
    }
    return int(v->dword);
}

QString RegistryKey::readString(const QString& name) const
{
    if (m_open && isRunKey()) {
        const auto exec = readDesktopExec(autostartFile(name));
        return exec ? Registry::programFromDesktopExec(*exec) : QString();
    }
    const Registry::Value* v = find(name);
    if (!v)
        return QString();
    if (v->kind != Registry::Kind::String)
        throw AppError(QStringLiteral("Invalid data type for '%1'").arg(name));
    return v->text;
}

void RegistryKey::set(const Registry::Value& value)
{
    Registry::Key* k = m_open ? key() : nullptr;
    if (!k)
        throw AppError(QStringLiteral("Failed to set data for '%1'").arg(value.name));
    const Registry::Document before = m_doc;
    bool replaced = false;
    for (Registry::Value& v : k->values)
        if (sameName(v.name, value.name)) {
            const QString spelling = v.name; // the first spelling stays
            v = value;
            v.name = spelling;
            replaced = true;
        }
    if (!replaced)
        k->values.append(value);
    if (!save()) {
        m_doc = before;
        throw AppError(QStringLiteral("Failed to set data for '%1'").arg(value.name));
    }
}

void RegistryKey::writeInteger(const QString& name, int value)
{
    if (m_open && isRunKey())
        throw AppError(QStringLiteral("Failed to set data for '%1'").arg(name));
    Registry::Value v;
    v.name = name;
    v.kind = Registry::Kind::Dword;
    v.dword = quint32(value);
    set(v);
}

void RegistryKey::writeString(const QString& name, const QString& value)
{
    if (m_open && isRunKey()) {
        const QString entry = QStringLiteral("[Desktop Entry]\n"
                                             "Type=Application\n"
                                             "Name=时雀\n"
                                             "Exec=%1\n"
                                             "Terminal=false\n")
                                  .arg(Registry::desktopExec(value));
        if (!writeAtomically(autostartFile(name), entry.toUtf8()))
            throw AppError(QStringLiteral("Failed to set data for '%1'").arg(name));
        return;
    }
    Registry::Value v;
    v.name = name;
    v.kind = Registry::Kind::String;
    v.text = value;
    set(v);
}

bool RegistryKey::deleteValue(const QString& name)
{
    if (!m_open)
        return false;
    if (isRunKey())
        return QFile::remove(autostartFile(name));
    Registry::Key* k = key();
    if (!k)
        return false;
    const Registry::Document before = m_doc;
    const auto removed =
        k->values.removeIf([&](const Registry::Value& v) { return sameName(v.name, name); });
    if (removed == 0)
        return false;
    if (!save()) {
        m_doc = before;
        return false;
    }
    return true;
}
