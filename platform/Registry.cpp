#include "platform/Registry.h"

#include "platform/AppError.h"
#include "platform/Cp936.h"
#include "platform/SafeFile.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <sys/stat.h>

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

// Text a quoted line cannot carry: control characters, and a half of a
// surrogate pair, which UTF-8 cannot hold (hex(1) keeps it as it was read).
bool needsHex(const QString& s)
{
    for (qsizetype i = 0; i < s.size(); ++i) {
        const QChar c = s.at(i);
        if (c.unicode() < 0x20)
            return true;
        if (c.isHighSurrogate() && i + 1 < s.size() && s.at(i + 1).isLowSurrogate())
            ++i;
        else if (c.isSurrogate())
            return true;
    }
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

// The last store read, kept while its file is unchanged: the settings are
// read at every use (every node of the tree asks for its colour), and a
// large store must not be parsed again for each.
struct Cached {
    QString file;
    struct timespec mtime {};
    qint64 size = -1;
    quint64 inode = 0;
    Registry::Document doc;
};

Cached& cache()
{
    static Cached c;
    return c;
}

bool statOf(const QString& file, struct stat& st)
{
    return ::stat(QFile::encodeName(file).constData(), &st) == 0;
}

bool sameStat(const Cached& c, const QString& file, const struct stat& st)
{
    return c.file == file && c.size == qint64(st.st_size) && c.inode == quint64(st.st_ino) &&
           c.mtime.tv_sec == st.st_mtim.tv_sec && c.mtime.tv_nsec == st.st_mtim.tv_nsec;
}

void remember(const QString& file, const Registry::Document& doc)
{
    struct stat st {};
    Cached& c = cache();
    if (!statOf(file, st)) {
        c = Cached();
        return;
    }
    c.file = file;
    c.size = qint64(st.st_size);
    c.inode = quint64(st.st_ino);
    c.mtime = st.st_mtim;
    c.doc = doc;
}

// Loads the store; nullopt, with the reason in unreadable, when the file
// exists but cannot be read. A file that cannot be parsed is kept under
// another name and read as empty.
std::optional<Registry::Document>
loadStore(const QString& path, std::optional<Registry::Damage>& damage, QString& unreadable)
{
    struct stat st {};
    if (!statOf(path, st))
        return Registry::Document{};
    if (sameStat(cache(), path, st))
        return cache().doc;
    QByteArray bytes;
    unreadable = SafeFile::read(path, &bytes);
    if (!unreadable.isEmpty())
        return std::nullopt;
    const QString text = QString::fromUtf8(bytes);
    QString error;
    if (auto doc = Registry::parse(text, &error)) {
        remember(path, *doc);
        return doc;
    }
    const QString kept = path + QStringLiteral(".damaged-") +
                         QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-HHmmss"));
    damage = Registry::Damage{path, error, QFile::rename(path, kept) ? kept : QString()};
    return Registry::Document{};
}
} // namespace

int Registry::Key::find(const QString& name) const
{
    return index.value(name.toLower(), -1);
}

void Registry::Key::set(const Value& value)
{
    const QString lower = value.name.toLower();
    const auto it = index.constFind(lower);
    if (it != index.constEnd()) {
        Value& v = values[*it];
        const QString spelling = v.name; // the first spelling stays
        v = value;
        v.name = spelling;
        return;
    }
    index.insert(lower, int(values.size()));
    values.append(value);
}

bool Registry::Key::remove(const QString& name)
{
    const int at = find(name);
    if (at < 0)
        return false;
    values.removeAt(at);
    index.clear();
    for (int i = 0; i < values.size(); ++i)
        index.insert(values[i].name.toLower(), i);
    return true;
}

Registry::Key* Registry::Document::find(const QString& path)
{
    const auto it = index.constFind(normalPath(path).toLower());
    return it == index.constEnd() ? nullptr : &keys[*it];
}

const Registry::Key* Registry::Document::find(const QString& path) const
{
    const auto it = index.constFind(normalPath(path).toLower());
    return it == index.constEnd() ? nullptr : &keys[*it];
}

Registry::Key& Registry::Document::add(const QString& path)
{
    const QString p = normalPath(path);
    index.insert(p.toLower(), int(keys.size()));
    keys.append(Key{p, {}, {}});
    return keys.last();
}

QString Registry::configHome()
{
    const QString xdg = qEnvironmentVariable("XDG_CONFIG_HOME");
    if (!xdg.isEmpty() && QDir::isAbsolutePath(xdg))
        return QDir::cleanPath(xdg);
    return QDir::homePath() + QStringLiteral("/.config");
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
            else if (needsHex(v.text))
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
    int current = -1;
    for (int i = 1; i < lines.size(); ++i) {
        const QString& line = lines[i];
        const int lineNo = i + 1;
        const QString trimmed = line.trimmed();
        if (trimmed.isEmpty() || trimmed.startsWith(QLatin1Char(';')))
            continue;
        if (line.startsWith(QLatin1Char('['))) {
            if (!trimmed.endsWith(QLatin1Char(']')))
                return fail(lineNo, QStringLiteral("键名不完整"));
            QString path = trimmed.mid(1);
            path.chop(1);
            if (!path.startsWith(rootName + QLatin1Char('\\'), Qt::CaseInsensitive) &&
                !sameName(path, rootName))
                return fail(lineNo, QStringLiteral("不支持的根键"));
            path = normalPath(path.mid(rootName.size()));
            const Key* k = doc.find(path);
            current = k ? int(k - doc.keys.constData()) : -1;
            if (current < 0) {
                doc.add(path);
                current = int(doc.keys.size()) - 1;
            }
            continue;
        }
        if (current < 0)
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
        // A later line of the same name wins, as on import.
        Key& key = doc.keys[current];
        const int at = key.find(v.name);
        if (at >= 0)
            key.values[at] = v;
        else
            key.set(v);
    }
    return doc;
}

bool RegistryKey::openKey(const QString& path, bool canCreate)
{
    closeKey();
    m_path = normalPath(path);
    m_damage.reset();
    m_unreadable.clear();
    auto doc = loadStore(m_file, m_damage, m_unreadable);
    if (!doc)
        return false;
    m_doc = std::move(*doc);
    if (!m_doc.find(m_path)) {
        if (!canCreate)
            return false;
        m_doc.add(m_path);
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

const Registry::Value* RegistryKey::find(const QString& name) const
{
    if (!m_open)
        return nullptr;
    const Registry::Key* k = m_doc.find(m_path);
    if (!k)
        return nullptr;
    const int at = k->find(name);
    return at < 0 ? nullptr : &k->values[at];
}

bool RegistryKey::save()
{
    if (!SafeFile::replace(m_file, Registry::serialize(m_doc).toUtf8()).isEmpty())
        return false;
    remember(m_file, m_doc);
    return true;
}

bool RegistryKey::valueExists(const QString& name) const
{
    return find(name) != nullptr;
}

int RegistryKey::readInteger(const QString& name) const
{
    const Registry::Value* v = find(name);
    if (!v)
        throw AppError(QStringLiteral("Failed to get data for '%1'").arg(name));
    if (v->kind != Registry::Kind::Dword) {
        // A four-byte buffer cannot take a longer string (its NUL counts).
        if (Cp936::byteLength(v->text) + 1 > 4)
            throw AppError(QStringLiteral("Failed to get data for '%1'").arg(name));
        throw AppError(QStringLiteral("Invalid data type for '%1'").arg(name));
    }
    return int(v->dword);
}

QString RegistryKey::readString(const QString& name) const
{
    const Registry::Value* v = find(name);
    if (!v)
        return QString();
    if (v->kind != Registry::Kind::String)
        throw AppError(QStringLiteral("Invalid data type for '%1'").arg(name));
    return v->text;
}

void RegistryKey::set(const Registry::Value& value)
{
    Registry::Key* k = m_open ? m_doc.find(m_path) : nullptr;
    if (!k)
        throw AppError(QStringLiteral("Failed to set data for '%1'").arg(value.name));
    const Registry::Document before = m_doc;
    m_doc.find(m_path)->set(value);
    if (!save()) {
        m_doc = before; // the key reads as the file still has it
        throw AppError(QStringLiteral("Failed to set data for '%1'").arg(value.name));
    }
}

void RegistryKey::writeInteger(const QString& name, int value)
{
    Registry::Value v;
    v.name = name;
    v.kind = Registry::Kind::Dword;
    v.dword = quint32(value);
    set(v);
}

void RegistryKey::writeString(const QString& name, const QString& value)
{
    Registry::Value v;
    v.name = name;
    v.kind = Registry::Kind::String;
    v.text = value;
    set(v);
}

bool RegistryKey::deleteValue(const QString& name)
{
    Registry::Key* k = m_open ? m_doc.find(m_path) : nullptr;
    if (!k)
        return false;
    const Registry::Document before = m_doc;
    if (!k->remove(name))
        return false;
    if (!save()) {
        m_doc = before;
        return false;
    }
    return true;
}
