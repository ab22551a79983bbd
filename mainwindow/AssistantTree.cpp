// The tree rebuild, the priority colours and the hover details.
#include "mainwindow/Assistant.h"

#include "mainwindow/AssistantLogic.h"
#include "platform/AppError.h"
#include "platform/Clock.h"
#include "platform/Desktop.h"
#include "shell/Application.h"
#include "shell/settings/ColorText.h"
#include "shell/settings/Settings.h"
#include "widgets/HoverTip.h"

#include <QApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPushButton>
#include <QStyle>
#include <QTimer>
#include <QTreeView>

using namespace AssistantLogic;

void TassistantForm::FormShow()
{
    // Read at each rebuild, so that saving the settings switches it.
    m_showLunar = Settings::readInteger(Settings::showLunar) == 1;
    loadWorkNote();

    // Topmost at its place, and shown: a rebuild also brings back a hidden window.
    if (!m_placed) {
        m_placed = true;
        const QSize screen = Desktop::screenSize();
        move((screen.width() - windowWidth()) / 2, (screen.height() - windowHeight()) / 2);
    }
    if (!isVisible())
        show();
    raise();

    const QDate today = Clock::today();
    const QDate tomorrow = today.addDays(1);
    m_builtFor = today;
    // The groups are built apart from the view and handed over in one go; a
    // failure part way hands over what was read so far, as the nodes stood.
    std::vector<ScheduleTreeModel::Group> groups;
    struct Handover {
        TassistantForm* form;
        std::vector<ScheduleTreeModel::Group>& groups;
        ~Handover()
        {
            form->rcTreeModel->setGroups(std::move(groups));
            if (form->rcTreeModel->groupCount() > 0)
                form->rcTree->expand(form->rcTreeModel->index(0, 0));
            form->rcTree->viewport()->update();
        }
    } handover{this, groups};
    rcTreeModel->setGroups({}); // the old nodes go before the first read
    // A lunar day that does not fit its node's line goes on a second one, so
    // rows differ in height; without it they are all alike, as ever.
    rcTree->setUniformRowHeights(!m_showLunar);
    const QFontMetrics metrics(rcTree->font());
    const int room = rcTree->width() - 2 * rcTree->frameWidth() -
                     rcTree->style()->pixelMetric(QStyle::PM_ScrollBarExtent) -
                     rcTree->indentation() - rcTree->iconSize().width() - 12;
    rcTreeModel->setShowLunar(m_showLunar, [metrics, room](const QString& text) {
        return metrics.horizontalAdvance(text) <= room;
    });

    DbQuery& q = *allrc_Query;
    ScheduleData::openDay(q, today);
    groups.push_back(ScheduleTreeModel::oneGroup(today, &todayNodeText, q.snapshot()));
    ScheduleData::openDay(q, tomorrow);
    groups.push_back(ScheduleTreeModel::oneGroup(tomorrow, &tomorrowNodeText, q.snapshot()));
    ScheduleData::openAfter(q, tomorrow);
    ScheduleTreeModel::groupByDate(q.snapshot(), groups, &laterNodeText);
    q.close();
}

std::optional<QColor> TassistantForm::priorityColor(qint64 id)
{
    if (m_probe)
        ++m_probe->colourReads;
    try {
        const std::optional<int> yxj = ScheduleData::priorityOf(*cxQuery, id);
        // A row deleted elsewhere keeps the tree's colour until the next rebuild.
        if (!yxj)
            return std::nullopt;
        const QColor colour = ColorText::toQColor(Settings::priorityColorValue(*yxj), palette());
        m_colourError.clear(); // a broken value mended: the next break is reported again
        return colour;
    } catch (const AppError& e) {
        // Reported after the drawing, and once: a box raised by every repaint
        // would come back each time it closed.
        if (m_colourError != e.text()) {
            m_colourError = e.text();
            const QString text = e.text();
            QTimer::singleShot(0, this, [this, text] { reportError(text, this); });
        }
        return std::nullopt;
    }
}

void TassistantForm::hoverStep()
{
    // A window waiting in the tray shows no details where it would stand.
    if (!isVisible() || isMinimized())
        return;
    // Nor one a modal window blocks: the details would come up over it.
    if (QWidget* modal = QApplication::activeModalWidget(); modal && modal != this) {
        hoverTip->hideTip();
        m_lastShownId = -1;
        return;
    }
    const QPoint cursor = Desktop::cursorPos();
    if (cursor != m_lastCursor)
        hoverTip->stillThere();
    m_lastCursor = cursor;
    if (hoverIgnored(windowRect(), cursor))
        return;
    const QPoint local = rcTree->viewport()->mapFromGlobal(cursor);
    const QModelIndex node =
        rcTree->viewport()->rect().contains(local) ? rcTree->indexAt(local) : QModelIndex();
    if (!rcTreeModel->isScheduleNode(node)) {
        m_details.clear();
        hoverTip->hideTip();
        m_lastShownId = -1;
        return;
    }
    const qint64 id = idOf(node);
    if (id == m_lastShownId)
        return;
    m_lastShownId = id;
    const std::optional<Schedule> s = ScheduleData::byId(*allrc_Query, id);
    if (!s) // deleted elsewhere since the last rebuild
        return;
    m_details = detailsText(*s, m_showLunar);
    // Shown line by line with the indents kept; the text itself keeps its CRs.
    QString shown = m_details.trimmed();
    shown.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    hoverTip->showLines(shown, cursor);
}

bool TassistantForm::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == rcTree && event->type() == QEvent::KeyPress) {
        // 菜单 is the window's default button: Return in the tree presses it.
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key == Qt::Key_Return || key == Qt::Key_Enter) {
            menuButton->click();
            return true;
        }
    }
    if (watched == rcTree->viewport()) {
        // The hover step shows the details; the view's own tool tips would hide them.
        if (event->type() == QEvent::ToolTip)
            return true;
        if (event->type() == QEvent::MouseButtonPress) {
            auto* e = static_cast<QMouseEvent*>(event);
            runGuarded([&] { rcTreeMouseDown(e->button(), e->position().toPoint()); }, this);
        } else if (event->type() == QEvent::MouseMove) {
            auto* e = static_cast<QMouseEvent*>(event);
            const QModelIndex node = rcTree->indexAt(e->position().toPoint());
            if (node.isValid()) {
                rcTree->setCurrentIndex(node);
                rcTree->viewport()->setCursor(Qt::PointingHandCursor);
            } else {
                rcTree->viewport()->setCursor(Qt::ArrowCursor);
            }
        }
    }
    return QWidget::eventFilter(watched, event);
}
