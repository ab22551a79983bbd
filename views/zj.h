#pragma once

#include "shell/data/dataForm.h"

#include <QWidget>
#include <memory>

class DateEdit;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QTabWidget;

namespace Ui {
class TzjForm;
}

// The work-note browser: the note of any date, paged day by day, and the
// notes holding a keyword, paged hit by hit; each can be edited and saved.
// Created on demand behind zjForm, shown modally, destroyed when closed.
class TzjForm : public QWidget {
    Q_OBJECT
public:
    explicit TzjForm(QWidget* parent = nullptr);
    ~TzjForm() override;

    // Controls, by the names the window gives them.
    QTabWidget* RzPageControl1;
    QWidget* TabSheet1;
    QWidget* TabSheet2;
    ::DateEdit* DateEdit;
    QPlainTextEdit* zjMemo;
    QPushButton* edit;
    QPushButton* save;
    QPushButton* RzURLLabel1; // 上一篇
    QPushButton* RzURLLabel2; // 下一篇
    QLineEdit* keywordEdit;
    QPushButton* search;
    QLabel* RzLabel2;   // the hit count
    QLabel* RzLabel3;   // the hit's date
    QLabel* lunarLabel; // the lunar date of DateEdit, under it (显示农历)
    QPlainTextEdit* zjMemo2;
    QPushButton* edit1;
    QPushButton* save1;
    QPushButton* priorButton;
    QPushButton* nextButton;

    void FormShow();
    void DateEditChange();
    void RzURLLabel1Click();
    void RzURLLabel2Click();
    void editClick();
    void saveClick();
    void searchClick();
    void priorButtonClick();
    void nextButtonClick();
    void edit1Click();
    void save1Click();
    void RzPageControl1Change();

    int hitCount() const { return m_hits; }

protected:
    void showEvent(QShowEvent* event) override;

private:
    void showHit();
    void pageHit(bool forward);
    void stepDay(int days);
    void resetSearchTab();

    std::unique_ptr<Ui::TzjForm> ui;
    WindowQuery zjQuery, zjQuery1;
    int m_hits = 0;
    bool m_shown = false;
    bool m_showLunar = false;
};

extern TzjForm* zjForm;
