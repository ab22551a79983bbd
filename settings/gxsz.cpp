#include "settings/gxsz.h"

#include "platform/Cp936.h"
#include "platform/Dialogs.h"
#include "resources/Pictures.h"
#include "settings/ColorPicker.h"
#include "shell/Forms.h"
#include "shell/public.h"
#include "shell/settings/ColorText.h"
#include "shell/settings/Settings.h"
#include "ui_gxsz.h"
#include "widgets/SpinEdit.h"
#include "widgets/TextLimits.h"

#include <QButtonGroup>
#include <QFile>
#include <QListWidget>
#include <QShowEvent>

TgxszForm* gxszForm = nullptr;

namespace {
constexpr int zmBytes = 50;
constexpr int planBytes = 30;

using Settings::Id;
// The order the window reads the settings in, and the order it writes them.
const Id loadOrder[] = {Settings::intervalTime, Settings::isPlayMusic, Settings::playFileName,
                        Settings::autoRun,      Settings::deleteRc,    Settings::oldrcDays,
                        Settings::txWinPos,     Settings::highColor,   Settings::middleColor,
                        Settings::lowColor,     Settings::zm,          Settings::showLunar};
const Id saveOrder[] = {Settings::intervalTime, Settings::playFileName, Settings::oldrcDays,
                        Settings::highColor,    Settings::middleColor,  Settings::lowColor,
                        Settings::zm,           Settings::isPlayMusic,  Settings::autoRun,
                        Settings::deleteRc,     Settings::txWinPos,     Settings::showLunar};
} // namespace

TgxszForm::TgxszForm(QWidget* parent)
    : QWidget(parent)
    , ui(std::make_unique<Ui::TgxszForm>())
{
    ui->setupUi(this);
    Forms::markAsForm(this);
    Forms::closeOnEscape(this);
    managerPageControl = ui->managerPageControl;
    addPage = ui->addPage;
    minutes = ui->minutes;
    zm = ui->zm;
    SoundCheckBox = ui->SoundCheckBox;
    playFileName = ui->playFileName;
    BrowseFile = ui->BrowseFile;
    AutoRunCheckBox = ui->AutoRunCheckBox;
    lunarCheckBox = ui->lunarCheckBox;
    deletercCheckBox = ui->deletercCheckBox;
    oldrc_days = ui->oldrc_days;
    txckRadioGroup = ui->txckRadioGroup;
    txckRadioGroup_0 = ui->txckRadioGroup_0;
    txckRadioGroup_1 = ui->txckRadioGroup_1;
    TabSheet1 = ui->TabSheet1;
    High_ColorEdit = ui->High_ColorEdit;
    Middle_ColorEdit = ui->Middle_ColorEdit;
    low_ColorEdit = ui->low_ColorEdit;
    TabSheet2 = ui->TabSheet2;
    planedit = ui->planedit;
    SpeedButton1 = ui->SpeedButton1;
    GroupBox1 = ui->GroupBox1;
    plans = ui->plans;
    SpeedButton2 = ui->SpeedButton2;
    confirmButton = ui->confirmButton;
    RzBitBtn1 = ui->RzBitBtn1;

    setAttribute(Qt::WA_DeleteOnClose);
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowCloseButtonHint | Qt::WindowStaysOnTopHint);
    setFixedSize(376, 247);
    Forms::fixColours(this, Qt::white);
    QPalette red = GroupBox1->palette();
    red.setColor(QPalette::WindowText, Qt::red);
    GroupBox1->setPalette(red);

    for (int i = 0; i < 3; ++i)
        managerPageControl->setTabIcon(i, Pictures::gxszPicture(i));
    ui->Image1->setPixmap(Pictures::gxszPicture(3).pixmap(QSize(16, 16), devicePixelRatioF()));
    ui->Image2->setPixmap(Pictures::gxszPicture(4).pixmap(QSize(16, 16), devicePixelRatioF()));

    m_txckGroup = new QButtonGroup(this);
    m_txckGroup->addButton(txckRadioGroup_0, 0);
    m_txckGroup->addButton(txckRadioGroup_1, 1);
    Forms::nameInputsByLabels(this);
    TextLimits::limitLine(zm, zmBytes);
    TextLimits::limitLine(planedit, planBytes);

    Forms::connect(SoundCheckBox, &QCheckBox::clicked, this, [this] { SoundCheckBoxClick(); });
    Forms::connect(deletercCheckBox, &QCheckBox::clicked, this,
                   [this] { deletercCheckBoxClick(); });
    Forms::connect(BrowseFile, &QPushButton::clicked, this, [this] { BrowseFileClick(); });
    Forms::connect(SpeedButton1, &QPushButton::clicked, this, [this] { addplanClick(); });
    Forms::connect(SpeedButton2, &QPushButton::clicked, this, [this] { deleteplanClick(); });
    Forms::connect(confirmButton, &QPushButton::clicked, this, [this] { confirmButtonClick(); });
    Forms::connect(RzBitBtn1, &QPushButton::clicked, this, [this] { RzBitBtn1Click(); });
}

TgxszForm::~TgxszForm()
{
    if (gxszForm == this)
        gxszForm = nullptr;
}

int TgxszForm::txckItemIndex() const
{
    return m_txckGroup->checkedId();
}

void TgxszForm::setTxckItemIndex(int index)
{
    if (QAbstractButton* b = m_txckGroup->button(index))
        b->setChecked(true);
}

void TgxszForm::showEvent(QShowEvent* event)
{
    if (!m_shown && !event->spontaneous()) {
        m_shown = true;
        Forms::centreOnScreen(this);
        // Guarded here: a value that cannot be read must not stop the showing.
        runGuarded([this] { FormShow(); }, this);
    }
    QWidget::showEvent(event);
}

void TgxszForm::FormShow()
{
    {
        const Settings::Reader settings;
        // Each control takes its value as it is read: after a value that
        // cannot be read, 确定 writes back what was shown, not the design's.
        for (Id id : loadOrder) {
            const QVariant v = settings.value(id);
            switch (id) {
            case Settings::intervalTime:
                minutes->setValue(v.toInt());
                break;
            case Settings::isPlayMusic:
                SoundCheckBox->setChecked(v.toInt() == 1);
                setSoundEnabled(v.toInt() == 1);
                break;
            case Settings::playFileName:
                playFileName->setText(Cp936::trimmed(v.toString()));
                break;
            case Settings::autoRun:
                AutoRunCheckBox->setChecked(v.toInt() == 1);
                break;
            case Settings::deleteRc:
                deletercCheckBox->setChecked(v.toInt() == 1);
                oldrc_days->setEnabled(v.toInt() == 1);
                break;
            case Settings::oldrcDays:
                oldrc_days->setValue(v.toInt());
                break;
            case Settings::txWinPos:
                // As the reminder window places itself: 1 is the centre, any
                // other value the bottom-right corner.
                setTxckItemIndex(v.toInt() == 1 ? 1 : 0);
                break;
            case Settings::highColor:
                High_ColorEdit->setColorValue(ColorText::fromText(v.toString()));
                break;
            case Settings::middleColor:
                Middle_ColorEdit->setColorValue(ColorText::fromText(v.toString()));
                break;
            case Settings::lowColor:
                low_ColorEdit->setColorValue(ColorText::fromText(v.toString()));
                break;
            case Settings::zm:
                zm->setText(v.toString());
                zm->setCursorPosition(0); // its beginning, not its end
                break;
            case Settings::showLunar:
                lunarCheckBox->setChecked(v.toInt() == 1);
                break;
            default: // not in loadOrder
                break;
            }
        }
    }
    // A missing list is an empty one, as in the add window; one that exists
    // but cannot be read is reported.
    if (QFile::exists(Settings::plansFile()))
        plans->addItems(Settings::loadPlans());
}

void TgxszForm::setSoundEnabled(bool on)
{
    playFileName->setEnabled(on);
    BrowseFile->setEnabled(on);
}

void TgxszForm::SoundCheckBoxClick()
{
    setSoundEnabled(SoundCheckBox->isChecked());
}

void TgxszForm::deletercCheckBoxClick()
{
    oldrc_days->setEnabled(deletercCheckBox->isChecked());
}

void TgxszForm::BrowseFileClick()
{
    // Several may be chosen: the first is taken. Cancelling clears the name.
    const QStringList files = Dialogs::instance().openFileNames(
        this, QStringLiteral("打开"), QString(), QStringLiteral("*.wav (*.wav)"));
    playFileName->setText(files.isEmpty() ? QString() : files.first());
}

void TgxszForm::addplanClick()
{
    if (Cp936::trimmed(planedit->text()).isEmpty()) {
        Dialogs::instance().message(this, QStringLiteral("日程为空，请输入日程！"));
        return;
    }
    plans->addItem(planedit->text()); // as typed; the edit keeps it
}

void TgxszForm::deleteplanClick()
{
    const QList<QListWidgetItem*> selected = plans->selectedItems();
    if (selected.isEmpty()) {
        Dialogs::instance().message(this, QStringLiteral("请选中需要删除的日程项！"));
        return;
    }
    qDeleteAll(selected);
}

void TgxszForm::confirmButtonClick()
{
    {
        Settings::Writer settings;
        for (Id id : saveOrder) {
            QVariant v;
            switch (id) {
            case Settings::intervalTime:
                v = minutes->readValue();
                break;
            case Settings::playFileName:
                v = Cp936::trimmed(playFileName->text());
                break;
            case Settings::oldrcDays:
                v = oldrc_days->readValue();
                break;
            case Settings::highColor:
                v = ColorText::toText(High_ColorEdit->colorValue());
                break;
            case Settings::middleColor:
                v = ColorText::toText(Middle_ColorEdit->colorValue());
                break;
            case Settings::lowColor:
                v = ColorText::toText(low_ColorEdit->colorValue());
                break;
            case Settings::zm:
                v = zm->text();
                break;
            case Settings::isPlayMusic:
                v = SoundCheckBox->isChecked() ? 1 : 0;
                break;
            case Settings::autoRun:
                v = AutoRunCheckBox->isChecked() ? 1 : 0;
                break;
            case Settings::deleteRc:
                v = deletercCheckBox->isChecked() ? 1 : 0;
                break;
            case Settings::txWinPos:
                v = txckItemIndex() == 0 ? 0 : 1;
                break;
            case Settings::showLunar:
                v = lunarCheckBox->isChecked() ? 1 : 0;
                break;
            default: // not in saveOrder
                continue;
            }
            settings.value(id, v);
        }
        refreshFlag = 1;
    }
    if (AutoRunCheckBox->isChecked())
        Settings::writeAutostart();
    else
        Settings::deleteAutostart();
    QStringList titles;
    for (int i = 0; i < plans->count(); ++i)
        titles << plans->item(i)->text();
    Settings::savePlans(titles);
    close(); // and WA_DeleteOnClose frees the window
}

void TgxszForm::RzBitBtn1Click()
{
    Forms::openHelp(this);
}
