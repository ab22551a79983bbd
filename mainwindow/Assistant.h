#pragma once

#include <QWidget>

// The main window: the always-on-top face of the program.
class TassistantForm : public QWidget {
    Q_OBJECT
public:
    explicit TassistantForm(QWidget* parent = nullptr);

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void FormCreate();
};

extern TassistantForm* assistantForm;
