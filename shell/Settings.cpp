#include "shell/Settings.h"

#include "platform/AppError.h"
#include "platform/Cp936.h"
#include "platform/ProgramDir.h"
#include "shell/ColorText.h"

#include <QDir>
#include <QFile>
#include <QSaveFile>

namespace Settings {

QString keyPath()
{
    return QStringLiteral("Software\\Tavimor\\Option");
}

void writeFirstRunDefaults()
{
    {
        RegistryKey probe;
        if (probe.openKey(keyPath(), false))
            return; // the key exists: nothing is written, even when values are missing
    }
    RegistryKey key;
    key.openKey(keyPath(), true);
    key.writeInteger(intervalTime, 1);
    key.writeInteger(isPlayMusic, 0);
    key.writeString(playFileName, QString());
    key.writeInteger(autoRun, 1);
    key.writeInteger(oldrcDays, 30);
    key.writeString(highColor, ColorText::toText(0x0000FF));
    key.writeString(middleColor, ColorText::toText(0x000000));
    key.writeString(lowColor, ColorText::toText(0x00FFFF));
    key.writeInteger(deleteRc, 1);
    key.writeInteger(txWinPos, 0);
    key.writeString(zm, QStringLiteral("欢迎使用时雀，您还没有设置滚动字幕！"));
}

Reader::Reader()
{
    m_key.openKey(keyPath(), false);
}

Writer::Writer()
{
    m_key.openKey(keyPath(), false);
}

int readInteger(const QString& name)
{
    return Reader().integer(name);
}

QString readString(const QString& name)
{
    return Reader().string(name);
}

quint32 priorityColorValue(int yxj)
{
    const Reader reader;
    const QString& name = yxj == 0 ? highColor : yxj == 1 ? middleColor : lowColor;
    return ColorText::fromText(reader.string(name));
}

QString autostartProgram()
{
    // The file name is fixed, whatever the running executable is called.
    return ProgramDir::path() + QStringLiteral("Brenwick");
}

void writeAutostart()
{
    RegistryKey run;
    run.openKey(Registry::runKeyPath(), true);
    run.writeString(QStringLiteral("Tavimor"), autostartProgram());
}

void deleteAutostart()
{
    RegistryKey run;
    run.openKey(Registry::runKeyPath(), true);
    run.deleteValue(QStringLiteral("Tavimor")); // its absence is no error
}

QString plansFile()
{
    return ProgramDir::file(QStringLiteral("plans.txt"));
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
        titles << text.mid(start, i - start);
        if (c == QLatin1Char('\r') && i + 1 < text.size() && text.at(i + 1) == QLatin1Char('\n'))
            ++i;
        start = i + 1;
    }
    if (start < text.size())
        titles << text.mid(start);
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
    QFile file(plansFile());
    if (!file.open(QIODevice::ReadOnly))
        throw AppError(
            fileOpenErrorText(QDir::toNativeSeparators(file.fileName()), file.errorString()));
    return parsePlans(file.readAll());
}

void savePlans(const QStringList& titles)
{
    const QString path = plansFile();
    // A list that cannot be read is left alone; a missing one is created.
    if (QFile::exists(path)) {
        QFile probe(path);
        if (!probe.open(QIODevice::ReadOnly))
            throw AppError(fileOpenErrorText(QDir::toNativeSeparators(path), probe.errorString()));
    }
    QSaveFile out(path);
    if (!out.open(QIODevice::WriteOnly))
        throw AppError(fileOpenErrorText(QDir::toNativeSeparators(path), out.errorString()));
    out.write(serializePlans(titles));
    if (!out.commit())
        throw AppError(fileOpenErrorText(QDir::toNativeSeparators(path), out.errorString()));
}

} // namespace Settings
