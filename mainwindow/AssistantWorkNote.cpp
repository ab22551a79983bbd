// The work-note panel: today's note, its saving, the width toggle.
#include "mainwindow/Assistant.h"

#include "mainwindow/AssistantLogic.h"
#include "platform/Clock.h"
#include "platform/Dialogs.h"
#include "views/zj.h"

#include <QGroupBox>
#include <QPlainTextEdit>
#include <QPushButton>

void TassistantForm::loadWorkNote()
{
    const QDate today = Clock::today();
    const std::optional<WorkNote> note = ScheduleData::workNote(*zjQuery, today);
    if (note)
        zjMemo->setPlainText(note->text);
    else
        zjMemo->clear();
    zjGroupBox->setTitle(AssistantLogic::workNoteCaption(today, m_showLunar));
}

void TassistantForm::zjButtonClick()
{
    const AssistantLogic::Width next = AssistantLogic::toggleWidth(windowWidth());
    setWindowWidth(next.width);
    zjButton->setText(next.caption);
    zjButton->setAccessibleName(next.accessibleName);
}

void TassistantForm::saveZJButtonClick()
{
    // Today, as the panel shows it: after a day change that the tick has not
    // yet seen (a resume from suspend), the text still belongs to its own day.
    const QDate today = Clock::today();
    const QDate day = m_builtFor.isValid() && m_builtFor < today ? m_builtFor : today;
    const auto saved = ScheduleData::saveWorkNote(*zjQuery, day, zjMemo->toPlainText());
    Dialogs::instance().message(this, saved == ScheduleData::NoteSaved::Saved
                                          ? QStringLiteral("     工作笔记保存完毕！     ")
                                          : QStringLiteral("     今天没有工作笔记保存！     "));
}

void TassistantForm::readZJButtonClick()
{
    // One browser at most: an open one (reached from the tray menu while it
    // is open) comes to the front.
    if (zjForm) {
        zjForm->raise();
        zjForm->activateWindow();
        return;
    }
    zjForm = new TzjForm();
    Dialogs::instance().showModal(zjForm, this);
}
