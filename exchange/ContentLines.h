#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <vector>

// The calendar text as content lines: unfolded, each with the line of the
// file it starts on, its property name known and its value found; and where
// the calendars, events and time zones lie among them.
namespace Ics {

// A failure with the line of the calendar text it arose at (1-based).
struct ImportError {
    int line = 0;
    QString text;
};

// The property names the import reads; the rest are Other.
enum class Name : quint8 {
    Other,
    Begin,
    End,
    DtStart,
    DtEnd,
    Duration,
    RRule,
    RDate,
    ExDate,
    RecurrenceId,
    Uid,
    Priority,
    Status,
    Summary,
    Description,
    Location,
    BrenwickStatus,
    BrenwickNote,
    Action,
    Trigger,
};

struct ContentLine {
    qsizetype at; // in the unfolded text
    int size;     // without its line end
    int value;    // where the value starts, after the colon; -1: no colon
    int number;   // the line of the file, 1-based
    Name name;
};

// A component directly inside a VCALENDAR: its BEGIN and END lines.
struct Block {
    int first, last;
    int calendar; // which VCALENDAR of the file, from 0
};

class ContentLines {
public:
    // Takes the text (a byte order mark first is dropped). Line ends are CR
    // LF or LF, or CR alone in a file without any LF. Raises ImportError for
    // a text that is not a calendar: not UTF-8, NUL bytes, components that
    // do not nest, content before BEGIN:VCALENDAR, 2 GB or more.
    explicit ContentLines(QByteArray text);

    int count() const { return int(m_lines.size()); }
    const ContentLine& operator[](int i) const { return m_lines[size_t(i)]; }
    QByteArrayView text(int i) const;
    // The line as a C string, for libical.
    char* data(int i) { return m_text.data() + m_lines[size_t(i)].at; }
    QByteArrayView value(int i) const; // empty when there is no colon
    bool hasEmptyValue(int i) const;   // a colon, and nothing but blanks after it
    // The component a BEGIN or END line names, in capitals.
    QByteArray component(int i) const;

    const std::vector<Block>& events() const { return m_events; }
    const std::vector<Block>& zones() const { return m_zones; }
    int calendars() const { return m_calendars; }
    // Components that are not events or time zones (to-dos, journals...).
    int skipped() const { return m_skipped; }
    // Lines that are no property (no colon), and lines after a calendar's
    // end, outside any.
    const std::vector<int>& unreadable() const { return m_unreadable; }

private:
    void unfold();
    void structure();

    QByteArray m_text; // the unfolded lines, each ended by a NUL
    std::vector<ContentLine> m_lines;
    std::vector<Block> m_events, m_zones;
    std::vector<int> m_unreadable;
    int m_calendars = 0;
    int m_skipped = 0;
};

// A TEXT value with its escapes undone: \n and \N a line break, \, \; \\ the
// character itself; a backslash before anything else is kept as it is.
QString unescapedText(QByteArrayView value);
// A value as TEXT is written: \ ; , and the line break escaped.
QByteArray escapedText(const QString& text);

} // namespace Ics
