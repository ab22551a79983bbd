#include "exchange/ContentLines.h"

#include "platform/PlainText.h"

#include <cstring>
#include <limits>

namespace Ics {

namespace {
struct Known {
    const char* text;
    int size;
    Name name;
};
const Known known[] = {
    {"BEGIN", 5, Name::Begin},
    {"END", 3, Name::End},
    {"DTSTART", 7, Name::DtStart},
    {"DTEND", 5, Name::DtEnd},
    {"DURATION", 8, Name::Duration},
    {"RRULE", 5, Name::RRule},
    {"RDATE", 5, Name::RDate},
    {"EXDATE", 6, Name::ExDate},
    {"RECURRENCE-ID", 13, Name::RecurrenceId},
    {"UID", 3, Name::Uid},
    {"PRIORITY", 8, Name::Priority},
    {"STATUS", 6, Name::Status},
    {"SUMMARY", 7, Name::Summary},
    {"DESCRIPTION", 11, Name::Description},
    {"LOCATION", 8, Name::Location},
    {"X-BRENWICK-STATUS", 17, Name::BrenwickStatus},
    {"X-BRENWICK-NOTE", 15, Name::BrenwickNote},
    {"ACTION", 6, Name::Action},
    {"TRIGGER", 7, Name::Trigger},
};

bool blank(char c)
{
    return c == ' ' || c == '\t';
}

// The name before the first ; or : (blanks around it do not count, as
// libical reads it), and where the value starts: after the first colon
// outside a quoted parameter value.
void nameAndValue(const char* line, int size, ContentLine& out)
{
    int end = 0;
    while (end < size && line[end] != ';' && line[end] != ':')
        ++end;
    int first = 0, last = end;
    while (first < last && blank(line[first]))
        ++first;
    while (last > first && blank(line[last - 1]))
        --last;
    out.name = Name::Other;
    for (const Known& k : known)
        if (k.size == last - first && qstrnicmp(line + first, k.text, uint(k.size)) == 0) {
            out.name = k.name;
            break;
        }
    out.value = -1;
    bool quoted = false;
    for (int i = end; i < size; ++i) {
        if (line[i] == '"')
            quoted = !quoted;
        else if (line[i] == ':' && !quoted) {
            out.value = i + 1;
            return;
        }
    }
}

// Well-formed UTF-8 (no overlong forms, surrogates or values past U+10FFFF).
bool isUtf8(QByteArrayView text)
{
    const auto* p = reinterpret_cast<const unsigned char*>(text.data());
    const auto* end = p + text.size();
    while (p < end) {
        const unsigned c = *p++;
        if (c < 0x80)
            continue;
        int more;
        unsigned min, v;
        if ((c & 0xE0) == 0xC0)
            more = 1, min = 0x80, v = c & 0x1F;
        else if ((c & 0xF0) == 0xE0)
            more = 2, min = 0x800, v = c & 0x0F;
        else if ((c & 0xF8) == 0xF0)
            more = 3, min = 0x10000, v = c & 0x07;
        else
            return false;
        if (end - p < more)
            return false;
        for (int i = 0; i < more; ++i) {
            if ((p[i] & 0xC0) != 0x80)
                return false;
            v = (v << 6) | (p[i] & 0x3F);
        }
        p += more;
        if (v < min || v > 0x10FFFF || (v >= 0xD800 && v <= 0xDFFF))
            return false;
    }
    return true;
}

ImportError failAt(int line, const QString& text)
{
    return ImportError{line, PlainText::singleLine(text)};
}
} // namespace

ContentLines::ContentLines(QByteArray text)
    : m_text(std::move(text))
{
    unfold();
    structure();
}

QByteArrayView ContentLines::text(int i) const
{
    const ContentLine& l = m_lines[size_t(i)];
    return QByteArrayView(m_text.constData() + l.at, l.size);
}

QByteArrayView ContentLines::value(int i) const
{
    const ContentLine& l = m_lines[size_t(i)];
    if (l.value < 0)
        return QByteArrayView();
    return QByteArrayView(m_text.constData() + l.at + l.value, l.size - l.value);
}

bool ContentLines::hasEmptyValue(int i) const
{
    if (m_lines[size_t(i)].value < 0)
        return false;
    for (char c : value(i))
        if (!blank(c))
            return false;
    return true;
}

QByteArray ContentLines::component(int i) const
{
    return value(i).trimmed().toByteArray().toUpper();
}

void ContentLines::unfold()
{
    qsizetype r = m_text.startsWith("\xEF\xBB\xBF") ? 3 : 0;
    const qsizetype n = m_text.size();
    if (const void* nul = std::memchr(m_text.constData(), 0, size_t(n))) {
        const qsizetype at = static_cast<const char*>(nul) - m_text.constData();
        throw failAt(int(m_text.left(at).count('\n')) + 1, QStringLiteral("文件中有 NUL 字符"));
    }
    if (n >= std::numeric_limits<int>::max())
        throw failAt(1, QStringLiteral("文件太大"));
    char* b = m_text.data();
    // A file without a single LF has its lines ended by CR alone.
    const char eol = std::memchr(b, '\n', size_t(n)) ? '\n' : '\r';
    m_lines.reserve(size_t(m_text.count(eol)) + 1);
    qsizetype w = 0;
    int number = 0;
    bool open = false;
    while (r < n) {
        const void* e = std::memchr(b + r, eol, size_t(n - r));
        const qsizetype end = e ? static_cast<const char*>(e) - b : n;
        qsizetype size = end - r;
        if (eol == '\n' && size > 0 && b[end - 1] == '\r')
            --size;
        ++number;
        if (size > 0 && blank(b[r])) {
            // A folded line goes on the one before, which is the last one stored.
            if (!open)
                throw failAt(number, QStringLiteral("续行之前没有内容行"));
            std::memmove(b + w, b + r + 1, size_t(size - 1));
            w += size - 1;
            m_lines.back().size += int(size - 1);
        } else if (size > 0) {
            if (open)
                b[w++] = '\0';
            m_lines.push_back({w, int(size), -1, number, Name::Other});
            std::memmove(b + w, b + r, size_t(size));
            w += size;
            open = true;
        }
        r = end + 1;
    }
    // The last line's end: the array's own terminator when it takes all.
    if (open && w < n)
        b[w] = '\0';
    m_text.truncate(w);
    if (m_lines.empty())
        throw failAt(qMax(1, number), QStringLiteral("文件中没有日历"));
    for (ContentLine& l : m_lines) {
        const char* line = m_text.constData() + l.at;
        // Checked unfolded: a fold may fall inside a character.
        if (!isUtf8(QByteArrayView(line, l.size)))
            throw failAt(l.number, QStringLiteral("不是 UTF-8 文本"));
        nameAndValue(line, l.size, l);
    }
}

void ContentLines::structure()
{
    struct Open {
        QByteArray kind;
        int index;
    };
    std::vector<Open> stack;
    for (int i = 0; i < count(); ++i) {
        const ContentLine& l = m_lines[size_t(i)];
        const bool begin = l.name == Name::Begin && l.value >= 0;
        const bool finish = l.name == Name::End && l.value >= 0;
        if (!begin && !finish) {
            if (stack.empty() && m_calendars == 0)
                throw failAt(l.number, QStringLiteral("日历应以 BEGIN:VCALENDAR 开始"));
            // After the calendar nothing belongs to it; a line without a
            // colon is no property at all.
            if (stack.empty() || l.value < 0)
                m_unreadable.push_back(i);
            continue;
        }
        const QByteArray kind = component(i);
        if (begin) {
            if (stack.empty()) {
                if (kind != "VCALENDAR")
                    throw failAt(l.number, QStringLiteral("日历应以 BEGIN:VCALENDAR 开始"));
                ++m_calendars;
            }
            stack.push_back({kind, i});
            continue;
        }
        if (stack.empty() || stack.back().kind != kind)
            throw failAt(
                l.number,
                stack.empty()
                    ? QStringLiteral("END:%1 之前没有 BEGIN").arg(QString::fromUtf8(kind))
                    : QStringLiteral("END:%1 不配 BEGIN:%2")
                          .arg(QString::fromUtf8(kind), QString::fromUtf8(stack.back().kind)));
        if (stack.size() == 2) {
            const Block b{stack.back().index, i, m_calendars - 1};
            if (kind == "VEVENT")
                m_events.push_back(b);
            else if (kind == "VTIMEZONE")
                m_zones.push_back(b);
            else
                ++m_skipped;
        }
        stack.pop_back();
    }
    if (!stack.empty())
        throw failAt(
            m_lines.back().number,
            QStringLiteral("文件在 END:%1 之前就结束了").arg(QString::fromUtf8(stack.back().kind)));
}

QString unescapedText(QByteArrayView value)
{
    if (!value.contains('\\'))
        return QString::fromUtf8(value);
    QByteArray out;
    out.reserve(value.size());
    for (qsizetype i = 0; i < value.size(); ++i) {
        const char c = value[i];
        if (c != '\\' || i + 1 == value.size()) {
            out += c;
            continue;
        }
        const char next = value[i + 1];
        if (next == 'n' || next == 'N')
            out += '\n';
        else if (next == ',' || next == ';' || next == '\\')
            out += next;
        else {
            out += c;
            continue;
        }
        ++i;
    }
    return QString::fromUtf8(out);
}

QByteArray escapedText(const QString& text)
{
    const QByteArray utf8 = text.toUtf8();
    QByteArray out;
    out.reserve(utf8.size() + 8);
    for (char c : utf8) {
        switch (c) {
        case '\\':
            out += "\\\\";
            break;
        case ';':
            out += "\\;";
            break;
        case ',':
            out += "\\,";
            break;
        case '\n':
            out += "\\n";
            break;
        default:
            out += c;
        }
    }
    return out;
}

} // namespace Ics
