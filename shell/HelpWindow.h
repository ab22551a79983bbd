#pragma once

#include <QWidget>

class QTextBrowser;

// The help pages, shown by the program itself where the desktop has no
// viewer for help.chm. One window, reused.
class HelpWindow : public QWidget {
    Q_OBJECT
public:
    static HelpWindow* showHelp(QWidget* owner);
    static HelpWindow* instance(); // the open one, if any
    QTextBrowser* browser() const { return m_browser; }

private:
    HelpWindow();
    QTextBrowser* m_browser;
};
