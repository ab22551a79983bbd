#pragma once

#include <QByteArray>
#include <QString>
#include <exception>

// An error that ends the command it arose in and reaches the default error box.
class AppError : public std::exception {
public:
    explicit AppError(QString text)
        : m_text(std::move(text))
        , m_utf8(m_text.toUtf8())
    {}
    const QString& text() const noexcept { return m_text; }
    const char* what() const noexcept override { return m_utf8.constData(); }

private:
    QString m_text;
    QByteArray m_utf8;
};

// Ends a command silently: the default error box shows nothing for it.
class AbortError : public std::exception {
public:
    const char* what() const noexcept override { return "aborted"; }
};

// The file-open failure text shared by every reader of a file the user keeps.
QString fileOpenErrorText(const QString& fileName, const QString& reason);
