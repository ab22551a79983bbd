#pragma once

#include "sync/CalDavClient.h"

#include <QFutureWatcher>
#include <QWidget>
#include <memory>

class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace Ui {
class TrltbForm;
}

// The calendar sync window: the server, the user and the password, 连接
// (discovery: the calendars that hold events), the calendar to sync, the
// automatic interval, 立即同步 and the last result. Created on demand behind
// rltbForm, freed when closed; the rounds belong to SyncRunner and go on
// when it closes.
class TrltbForm : public QWidget {
    Q_OBJECT
public:
    explicit TrltbForm(QWidget* parent = nullptr);
    ~TrltbForm() override;

    QLineEdit* server;
    QLineEdit* user;
    QLineEdit* password;
    QPushButton* connectButton;
    QComboBox* calendar;
    QComboBox* interval;
    QPushButton* syncButton;
    QLabel* result;
    QPushButton* closeButton;

    void connectClick();
    void syncClick();
    void intervalChange();

    // The intervals offered, in minutes (0: off), in the combo's order.
    static const QList<int>& intervals();
    // The discovery's future, for tests that wait for it.
    QFuture<DavDiscovery> discovery() const { return m_discovery.future(); }

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    void load();
    void saveAccount();
    void discovered();
    void showRunning();

    std::unique_ptr<Ui::TrltbForm> ui;
    QFutureWatcher<DavDiscovery> m_discovery;
};

extern TrltbForm* rltbForm;
