#include "tools/ics/Tool.h"

#include "exchange/Calendar.h"
#include "platform/AppError.h"
#include "platform/ProgramDir.h"
#include "platform/SafeFile.h"
#include "platform/SecretStore.h"
#include "platform/SingleInstance.h"
#include "shell/data/dataForm.h"
#include "shell/settings/Settings.h"
#include "syncside/ScheduleSyncSide.h"
#include "tools/ics/Restore.h"

#include <QDate>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <cstdio>
#include <optional>
#include <sys/stat.h>
#include <unistd.h>

namespace {
struct UsageError {
    QString text;
};

void put(FILE* f, const QString& text)
{
    const QByteArray bytes = text.toUtf8();
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), f);
    std::fflush(f);
}

struct Arguments {
    bool help = false;
    QString command, file, database;
    std::optional<QDate> from, to;
};

QDate dateArgument(const QString& option, const QString& value)
{
    const QDate d = QDate::fromString(value, Qt::ISODate);
    if (!d.isValid())
        throw UsageError{QStringLiteral("%1 的日期应写成 YYYY-MM-DD：%2").arg(option, value)};
    return d;
}

Arguments parse(const QStringList& args)
{
    Arguments a;
    QStringList positional;
    for (int i = 0; i < args.size(); ++i) {
        QString arg = args[i];
        if (arg == QLatin1String("--help") || arg == QLatin1String("-h")) {
            a.help = true;
            continue;
        }
        if (arg == QLatin1String("-") || !arg.startsWith(QLatin1Char('-'))) {
            positional << arg;
            continue;
        }
        QString value;
        const int eq = arg.indexOf(QLatin1Char('='));
        if (eq > 0) {
            value = arg.mid(eq + 1);
            arg = arg.left(eq);
        }
        const bool known = arg == QLatin1String("--database") || arg == QLatin1String("--from") ||
                           arg == QLatin1String("--to");
        if (!known)
            throw UsageError{QStringLiteral("不认识的选项 %1").arg(args[i])};
        if (eq < 0) {
            if (i + 1 >= args.size())
                throw UsageError{QStringLiteral("%1 后面缺少值").arg(arg)};
            value = args[++i];
        }
        if (arg == QLatin1String("--database"))
            a.database = value;
        else if (arg == QLatin1String("--from"))
            a.from = dateArgument(arg, value);
        else
            a.to = dateArgument(arg, value);
    }
    if (a.help)
        return a;
    if (positional.isEmpty())
        throw UsageError{QStringLiteral("缺少命令：export、import、restore 或 sync（见 --help）")};
    a.command = positional.takeFirst();
    if (a.command != QLatin1String("export") && a.command != QLatin1String("import") &&
        a.command != QLatin1String("restore") && a.command != QLatin1String("sync"))
        throw UsageError{QStringLiteral("不认识的命令 %1（见 --help）").arg(a.command)};
    if (a.command == QLatin1String("sync")) {
        if (!positional.isEmpty())
            throw UsageError{QStringLiteral("多余的参数 %1").arg(positional.first())};
        if (a.from || a.to)
            throw UsageError{QStringLiteral("--from 和 --to 只用于 export")};
        return a;
    }
    if (positional.isEmpty())
        throw UsageError{QStringLiteral("%1 缺少文件名").arg(a.command)};
    a.file = positional.takeFirst();
    if (!positional.isEmpty())
        throw UsageError{QStringLiteral("多余的参数 %1").arg(positional.first())};
    if ((a.from || a.to) && a.command != QLatin1String("export"))
        throw UsageError{QStringLiteral("--from 和 --to 只用于 export")};
    if (a.from && a.to && *a.from > *a.to)
        throw UsageError{QStringLiteral("--from 晚于 --to")};
    if (a.file == QLatin1String("-") && a.command == QLatin1String("restore"))
        throw UsageError{QStringLiteral("restore 需要一个备份文件")};
    return a;
}

// Progress on standard error: one line rewritten on a terminal, a line per
// step elsewhere.
Ics::Progress progressLine(const QString& verb)
{
    const bool terminal = ::isatty(STDERR_FILENO);
    return [verb, terminal](int done, int total) {
        const QString line = QStringLiteral("%1 %2/%3 个").arg(verb).arg(done).arg(total);
        if (terminal)
            put(stderr,
                QLatin1Char('\r') + line + (done == total ? QStringLiteral("\n") : QString()));
        else
            put(stderr, line + QLatin1Char('\n'));
    };
}

// Far beyond any calendar a person keeps; a source without end stops here.
constexpr qint64 importLimit = qint64(256) << 20;

// A file, standard input, or a pipe named on purpose (a FIFO, the shell's
// <(...)) is read to its end; a device or a folder is refused unopened.
QByteArray readInput(const QString& file)
{
    const QString name =
        file == QLatin1String("-") ? QStringLiteral("<标准输入>") : QDir::toNativeSeparators(file);
    QFile f;
    bool opened;
    if (file == QLatin1String("-")) {
        opened = f.open(stdin, QIODevice::ReadOnly);
    } else {
        struct stat st {};
        if (::stat(QFile::encodeName(file).constData(), &st) == 0 && !S_ISREG(st.st_mode) &&
            !S_ISFIFO(st.st_mode))
            throw AppError(QStringLiteral("%1: 不是普通文件").arg(name));
        f.setFileName(file);
        opened = f.open(QIODevice::ReadOnly);
    }
    if (!opened)
        throw AppError(QStringLiteral("%1: %2").arg(name, f.errorString()));
    QByteArray bytes;
    for (;;) {
        const QByteArray chunk = f.read(qint64(1) << 20);
        if (chunk.isEmpty())
            break;
        bytes += chunk;
        if (bytes.size() > importLimit)
            throw AppError(
                QStringLiteral("%1: 超过 %2 MB，不像日历文件").arg(name).arg(importLimit >> 20));
    }
    if (f.error() != QFileDevice::NoError)
        throw AppError(QStringLiteral("%1: %2").arg(name, f.errorString()));
    return bytes;
}

void openDatabase(TDataModule1& module, const QString& path, bool mayCreate)
{
    // Only the program and the import make a new file; every command brings
    // an older one up to date, as the program does.
    module.ADOConnection1.setCreatesMissingFile(mayCreate);
    module.ADOConnection1.setConnectionString(
        QStringLiteral("Provider=Microsoft.Jet.OLEDB.4.0;Data Source=") + path +
        QStringLiteral(";Persist Security Info=False"));
    DataModule1 = &module;
}

int exportCommand(const Arguments& a, const QString& database)
{
    TDataModule1 module;
    openDatabase(module, database, false);
    DbQuery q(module.ADOConnection1);
    Ics::ExportOptions options;
    options.from = a.from;
    options.to = a.to;
    options.databaseKey = Ics::databaseKey(database);
    options.progress = progressLine(QStringLiteral("已导出"));
    Ics::Exported out;
    if (a.file == QLatin1String("-")) {
        out = Ics::exportCalendar(q, options, [](QByteArrayView piece) {
            return std::fwrite(piece.data(), 1, size_t(piece.size()), stdout) ==
                   size_t(piece.size());
        });
        if (!out.written || std::fflush(stdout) != 0 || std::ferror(stdout))
            throw AppError(QStringLiteral("无法写到标准输出"));
        put(stderr, QStringLiteral("导出了 %1 个日程\n").arg(out.events));
        return 0;
    }
    // Written as it is made: a long export is never held whole.
    const QString why = SafeFile::replace(
        a.file, [&](const SafeFile::Sink& sink) { out = Ics::exportCalendar(q, options, sink); });
    if (!why.isEmpty())
        throw AppError(QStringLiteral("%1: %2").arg(QDir::toNativeSeparators(a.file), why));
    put(stdout, QStringLiteral("导出了 %1 个日程到 %2\n")
                    .arg(out.events)
                    .arg(QDir::toNativeSeparators(a.file)));
    return 0;
}

int importCommand(const Arguments& a, const QString& database)
{
    QByteArray text = readInput(a.file);
    TDataModule1 module;
    openDatabase(module, database, true);
    DbQuery q(module.ADOConnection1);
    Ics::ImportOptions options;
    options.today = QDate::currentDate();
    options.progress = progressLine(QStringLiteral("已读"));
    Ics::Imported result;
    try {
        DbTransaction transaction(module.ADOConnection1);
        result = Ics::importCalendar(std::move(text), q, options);
        q.close();
        transaction.commit();
    } catch (const Ics::ImportError& e) {
        const QString where = a.file == QLatin1String("-") ? QStringLiteral("<标准输入>")
                                                           : QDir::toNativeSeparators(a.file);
        put(stderr, QStringLiteral("brenwick-ics: %1:%2: %3（没有导入任何日程）\n")
                        .arg(where)
                        .arg(e.line)
                        .arg(e.text));
        return 1;
    }
    QStringList parts{QStringLiteral("导入了 %1 个日程").arg(result.added)};
    if (result.already)
        parts << QStringLiteral("%1 个以前已导入，没有再添加").arg(result.already);
    if (result.cut)
        parts << QStringLiteral("%1 个的标题、内容或备注过长，已截断").arg(result.cut);
    if (result.past)
        parts << (result.pastAtLeast ? QStringLiteral("重复的日程至少有 %1 次在今天之前，没有导入")
                                     : QStringLiteral("重复的日程有 %1 次在今天之前，没有导入"))
                     .arg(result.past);
    if (result.skipped)
        parts << QStringLiteral("跳过 %1 个不是事件的项（待办等）").arg(result.skipped);
    if (result.unreadable)
        parts << QStringLiteral("%1 处无法读取，已跳过（第一处在第 %2 行）")
                     .arg(result.unreadable)
                     .arg(result.firstUnreadableLine);
    put(stdout, parts.join(QStringLiteral("；")) + QLatin1Char('\n'));
    return 0;
}

int restoreCommand(const Arguments& a, const QString& database)
{
    const QString kept = Restore::restore(a.file, database, QDateTime::currentDateTime());
    QString done = QStringLiteral("已用 %1 恢复 %2")
                       .arg(QDir::toNativeSeparators(a.file), QDir::toNativeSeparators(database));
    if (!kept.isEmpty())
        done += QStringLiteral("；原来的文件保留为 %1").arg(QDir::toNativeSeparators(kept));
    put(stdout, done + QLatin1Char('\n'));
    return 0;
}
int syncCommand(const QString& database)
{
    const QString server = Settings::readString(Settings::syncServer);
    const QString user = Settings::readString(Settings::syncUser);
    const QString calendar = Settings::readString(Settings::syncCalendar);
    if (server.isEmpty() || calendar.isEmpty())
        throw AppError(
            QStringLiteral("还没有设置日历同步：请先在时雀的“日历同步”窗口里连接服务器、选好日历"));
    QString password = qEnvironmentVariable("BRENWICK_SYNC_PASSWORD");
    if (password.isEmpty() && !user.isEmpty()) {
        const SecretStore::Result r = SecretStore(syncSecretSchema()).lookup(server, user);
        if (r.status == SecretStore::Status::Unavailable)
            throw AppError(QStringLiteral(
                "没有密钥服务，读不到密码：请用环境变量 BRENWICK_SYNC_PASSWORD 给出"));
        if (r.status == SecretStore::Status::NotFound)
            throw AppError(
                QStringLiteral("密钥服务里没有 %1 在 %2 的密码：请在“日历同步”窗口里输入，"
                               "或用环境变量 BRENWICK_SYNC_PASSWORD 给出")
                    .arg(user, server));
        if (r.status != SecretStore::Status::Ok)
            throw AppError(QStringLiteral("密钥服务拒绝了：%1").arg(r.error));
        password = r.password;
    }
    // The program's own lock: the round and the program never write the
    // database at once.
    SingleInstance running(QStringLiteral("时雀"), database, QString());
    if (!running.tryBecomePrimary())
        throw AppError(QStringLiteral("时雀正在运行：请在它的“日历同步”窗口里同步"));
    if (!running.lockError().isEmpty())
        throw AppError(QStringLiteral("%1: %2（没有同步）")
                           .arg(QDir::toNativeSeparators(running.lockPath()), running.lockError()));
    if (!QFileInfo::exists(database))
        throw AppError(
            QStringLiteral("%1: 没有这个数据库").arg(QDir::toNativeSeparators(database)));
    ScheduleSyncRound round;
    round.database = database;
    round.account.server = QUrl(server);
    round.account.user = user;
    round.account.password = password;
    round.collection = QUrl(calendar);
    const SyncReport report = runScheduleSync(round);
    put(report.ok() ? stdout : stderr, report.text() + QLatin1Char('\n'));
    return report.ok() ? 0 : 1;
}
} // namespace

QString defaultDatabase()
{
    return ProgramDir::dataFile(QStringLiteral("assistant.mdb"));
}

QString icsHelp()
{
    const QString text = QStringLiteral(
        "用法：brenwick-ics 命令 [文件] [选项]\n"
        "\n"
        "在时雀的数据库和 iCalendar（.ics）文件之间交换日程，并用备份恢复数据库。\n"
        "数据库默认是时雀自己的 assistant.mdb：%1\n"
        "\n"
        "命令：\n"
        "  export 文件.ics [--from 日期] [--to 日期]\n"
        "      把每个日程（或日期在范围内的日程，两端都含）写成一个 VEVENT，边读边写。文件为 - "
        "时写到标准输出。\n"
        "      DTSTART 是本地时区的时间（TZID，并附上这个时区的 VTIMEZONE）；时区没有名字时写 "
        "UTC。\n"
        "      SUMMARY 是标题，DESCRIPTION 是内容，都按 TEXT "
        "转义，控制字符和双向文字控制符不写出；\n"
        "      PRIORITY 1、5、9 对应 高、中、低；STATUS 对“取消”是 CANCELLED，其余是 CONFIRMED；\n"
        "      状态码本身写在 X-BRENWICK-STATUS，日程备注写在 X-BRENWICK-NOTE；\n"
        "      提醒打开时有一个 VALARM，TRIGGER 为负的提前量。\n"
        "      UID 是每个日程自己的，存在数据库里，移动或恢复数据库后也不变；从别的日历导入的\n"
        "      日程保留原来的 UID。导入的重复事件按原样写出一次，在这里改过的各次写成它的\n"
        "      例外（RECURRENCE-ID），这样导回原来的日历时更新原来的事件，而不是添加副本。\n"
        "  import 文件.ics\n"
        "      每个事件的每次发生添加一个日程：标题、内容、日期、时间（UTC 或 TZID "
        "的时间换成本地时间）、\n"
        "      优先级、第一个显示或声音提醒的提前量、状态 1\n"
        "      （带 X-BRENWICK-STATUS 时用它，STATUS:CANCELLED 为“取消”）。\n"
        "      内容后面依次加上地点（LOCATION）和结束时间或时长。\n"
        "      重复的事件（RRULE、RDATE、EXDATE）添加从今天起十年内的各次，最多 3650 次，\n"
        "      农历的规则（RSCALE=CHINESE，RFC 7529）按本程序的农历推算，\n"
        "      并说明有几次在今天之前没有导入。\n"
        "      标题、内容和备注按 GBK 字节截到 30、200 和 100 "
        "字节（不切开汉字），并说明截断了几个；\n"
        "      控制字符和双向文字控制符不导入。\n"
        "      已导入过的事件（相同的 UID 和开始时间）和数据库里已有的日程（相同的 UID 和\n"
        "      RECURRENCE-ID）不再添加；待办等不是事件的项跳过。\n"
        "      空的值就是空的文字；无法读取的行跳过，并说明有几处、第一处在哪一行。\n"
        "      整个导入是一个事务：文件不是日历、事件没有可用的开始时间，或者日期、时间不存在\n"
        "      或不在 1900 至 9999 年之间时，什么也不添加，并指出出错的行。文件为 - "
        "时读标准输入。\n"
        "  sync\n"
        "      和“日历同步”窗口里设置的 CalDAV 日历同步一轮，写出结果；时雀运行时拒绝同步。\n"
        "      密码取自环境变量 BRENWICK_SYNC_PASSWORD，没有时取自密钥服务；两者都没有时\n"
        "      拒绝同步。两边都改过的日程采用服务器的版本，本机的版本另存为标题带〔冲突〕的日程。\n"
        "  restore 备份文件\n"
        "      用 backups/assistant-YYYY-MM-DD.mdb 这样的备份恢复数据库：先检查备份\n"
        "      （PRAGMA integrity_check 和两张表），时雀运行时拒绝恢复；原来的文件保留为\n"
        "      assistant.mdb.before-restore-<日期-时间>，再把备份放到它的位置。\n"
        "\n"
        "选项：\n"
        "  --database 文件   使用这个数据库文件，而不是时雀自己的 assistant.mdb\n"
        "  --from 日期       export：从这一天起（YYYY-MM-DD）\n"
        "  --to 日期         export：到这一天为止（YYYY-MM-DD）\n"
        "  -h, --help        显示这段说明\n"
        "\n"
        "出错时在标准错误上写一行说明，退出码不为 0（用法错误为 2，其他为 1）。\n"
        "超过 1000 个事件时在标准错误上显示进度。\n");
    return text.arg(QDir::toNativeSeparators(defaultDatabase()));
}

int runIcsTool(const QStringList& arguments)
{
    try {
        const Arguments a = parse(arguments);
        if (a.help) {
            put(stdout, icsHelp());
            return 0;
        }
        // The program's own database, whose folder an import or a restore
        // makes at a package's first use.
        if (a.database.isEmpty() && a.command != QLatin1String("export")) {
            if (!ProgramDir::makeDataPath().isEmpty())
                throw AppError(QStringLiteral("无法建立数据文件夹 %1")
                                   .arg(QDir::toNativeSeparators(ProgramDir::dataPath())));
        }
        const QString database =
            QFileInfo(a.database.isEmpty() ? defaultDatabase() : a.database).absoluteFilePath();
        if (a.command == QLatin1String("export"))
            return exportCommand(a, database);
        if (a.command == QLatin1String("import"))
            return importCommand(a, database);
        if (a.command == QLatin1String("sync"))
            return syncCommand(database);
        return restoreCommand(a, database);
    } catch (const UsageError& e) {
        put(stderr, QStringLiteral("brenwick-ics: %1\n").arg(e.text));
        return 2;
    } catch (const AppError& e) {
        put(stderr, QStringLiteral("brenwick-ics: %1\n")
                        .arg(QString(e.text()).replace(QLatin1Char('\n'), QLatin1Char(' '))));
        return 1;
    } catch (const std::exception& e) {
        put(stderr, QStringLiteral("brenwick-ics: %1\n").arg(QString::fromUtf8(e.what())));
        return 1;
    }
}
