#pragma once

#include "platform/Database.h"

#include <QDate>
#include <QWidget>
#include <memory>
#include <optional>

class QAction;
class QActionGroup;
class QGroupBox;
class QLabel;
class QMenu;
class QPlainTextEdit;
class QPushButton;
class QSystemTrayIcon;
class QTimer;
class QTreeWidget;
class QTreeWidgetItem;

namespace Ui {
class TassistantForm;
}

// The main window: the schedule tree, its menus, the tray icon, the marquee,
// top-edge docking, hover details and the work-note panel.
class TassistantForm : public QWidget {
    Q_OBJECT
public:
    explicit TassistantForm(QWidget* parent = nullptr);
    ~TassistantForm() override;

    // Controls, by the names the window gives them.
    QWidget* Panel1;
    QLabel* Label1;
    QTreeWidget* rcTree;
    QPushButton* menuButton;
    QPushButton* cxButton;
    QPushButton* zjButton;
    QGroupBox* zjGroupBox;
    QLabel* Label3;
    QPlainTextEdit* zjMemo;
    QPushButton* saveZJButton;
    QPushButton* readZJButton;
    QTimer* Timer1;
    QMenu* ItemsMenu;
    QMenu* ztszMenu;
    QMenu* rootMenu;
    QMenu* MainMenu;
    QSystemTrayIcon* trayIcon = nullptr;

    // Node data: a date node carries its date, a schedule node its id.
    static constexpr int DateRole = Qt::UserRole + 1;
    static constexpr int IdRole = Qt::UserRole + 2;

    // Handlers, public so that tests run them at any chosen moment.
    void FormShow();     // the tree rebuild
    void FormActivate(); // becoming the program's active window
    void Timer1Timer();
    void showmainClick();
    void leaveClick();
    void rcTreeMouseDown(Qt::MouseButton button, const QPoint& pos);
    void ztszClick();
    void mwcClick() { setStatus(1); }
    void jxzClick() { setStatus(2); }
    void ywcClick() { setStatus(3); }
    void qxClick() { setStatus(4); }
    void tjbzClick();
    void bjrcClick();
    void scrcClick();
    void roottjrcClick();
    void tjrcClick();
    void gxszClick();
    void txClick();
    void helpClick();
    void menuButtonClick();
    void cxButton1Click();
    void zjButtonClick();
    void saveZJButtonClick();
    void readZJButtonClick();
    void N1Click() { readZJButtonClick(); }
    void hoverStep();

    QColor priorityColor(const QTreeWidgetItem* node);
    QColor priorityColor(int id);
    int colourReads() const { return m_colourReads; } // priorityColor calls so far
    int statusMark() const; // the status whose submenu item carries the mark
    int lastShownId() const { return m_lastShownId; }
    QString details() const { return m_details; } // the hover text, lines ending in CR
    bool hidesWhenMinimised() const { return m_trayMode; }

    // The window's outer size in the units its layout is written in: the
    // client area plus a frame of 8 by 34 pixels (461 high = 427 of client).
    int windowWidth() const;
    int windowHeight() const;
    void setWindowWidth(int w);
    void setWindowHeight(int h);
    void setWindowTop(int top);
    QRect windowRect() const; // on screen, for the cursor tests

protected:
    void showEvent(QShowEvent* event) override;
    void changeEvent(QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void FormCreate();
    void buildMenus();
    void loadWorkNote();
    void setStatus(int code);
    void openAddWindow(const std::optional<QDate>& date);
    void addTrayIcon();
    void onFocusWindowChanged(QWindow* now);
    QTreeWidgetItem* selectedScheduleNode() const;
    DbQuery& query(std::unique_ptr<DbQuery>& q);
    DbQuery& allrcQuery() { return query(m_allrc); }
    DbQuery& openSchedule(int id); // "select * from main where id=" on allrc_Query
    DbQuery& cxQuery() { return query(m_cx); }
    DbQuery& zjQuery() { return query(m_zj); }

    std::unique_ptr<Ui::TassistantForm> ui;
    std::unique_ptr<DbQuery> m_allrc, m_cx, m_zj;
    QActionGroup* m_statusGroup = nullptr;
    QAction* m_statusItems[4] = {};
    QAction* m_statusMark = nullptr;
    int m_lastShownId = -1;
    QString m_details;
    int m_colourReads = 0;
    bool m_trayMode = true;
    bool m_placed = false;
    QWindow* m_lastFocus = nullptr;
};

extern TassistantForm* assistantForm;
