#include "mainwindow/Assistant.h"

#include "shell/Application.h"
#include "shell/Settings.h"
#include "shell/public.h"

#include <QApplication>
#include <QCloseEvent>

TassistantForm* assistantForm = nullptr;

TassistantForm::TassistantForm(QWidget* parent)
    : QWidget(parent)
{
    setObjectName(QStringLiteral("assistantForm"));
    setWindowTitle(APP_TITLE);
    resize(232, 427);
    runGuarded([this] { FormCreate(); });
}

void TassistantForm::FormCreate()
{
    refreshFlag = 0;
    firstActivation = 1;
    Settings::writeFirstRunDefaults();
}

void TassistantForm::closeEvent(QCloseEvent* event)
{
    // Closing the main window ends the program.
    event->accept();
    QApplication::quit();
}
