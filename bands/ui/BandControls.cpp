#include "bands/ui/BandControls.h"


#include "bands/ui/frmEditUserPreset.h"
#include "bands/ui/frmPresetDesc.h"
#include "common/Format.h"
#include "common/Numeric.h"
#include "common/Product.h"
#include "common/ReentryGuard.h"
#include "platform/Log.h"
#include "shell/widgets/ControlFactory.h"
#include "shell/widgets/ControlKinds.h"
#include "shell/widgets/FocusEvents.h"
#include "shell/widgets/PointerEvents.h"

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QButtonGroup>
#include <QComboBox>
#include <QCursor>
#include <QFocusEvent>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QListWidget>
#include <QMenu>
#include <QMouseEvent>
#include <QRadioButton>
#include <QSignalBlocker>
#include <QTimer>

#include <cmath>

namespace orvik {

namespace {

constexpr uint32_t DarkRed = 0xC0;
constexpr uint32_t Red = 0xFF;
constexpr uint32_t LightGrey = 0xC0C0C0;
constexpr uint32_t Cyan = 0xFFFF00;
constexpr uint32_t Teal = 0xC0C000;
const QString UnusedToolTip = QStringLiteral("Unused - Shift + Right Click to set");

bool used(const Preset& preset) { return preset.Settings.FreqCurrent >= 1; }

void setButton(QAbstractButton* b, bool checked)
{
    const QSignalBlocker quiet(b);
    b->setChecked(checked);
}

// Whole kilohertz, cut not rounded: the label of a used preset button.
QString kiloHertzLabel(int32_t hertz) { return QString::number(static_cast<qint64>(Int(hertz / 1000.0))); }

// A button caption as plain text: "&LSB" reads "LSB", "&&" reads "&".
QString withoutMnemonic(const QString& caption)
{
    QString text;
    text.reserve(caption.size());
    for (qsizetype i = 0; i < caption.size(); ++i) {
        if (caption[i] == u'&' && i + 1 < caption.size())
            ++i;
        text += caption[i];
    }
    return text;
}

template <typename Array>
int indexIn(const Array& array, const QObject* object)
{
    for (size_t i = 0; i < array.size(); ++i)
        if (array[i] == object)
            return static_cast<int>(i);
    return -1;
}

} // namespace

BandControls::BandControls(QWidget* window, const BandPanel& panel, modBandPlan& plans,
                           std::vector<int32_t> tuningSteps, Hooks hooks)
    : QObject(window), window_(window), panel_(panel), plans_(plans), TuningSteps_(std::move(tuningSteps)),
      hooks_(std::move(hooks))
{
    menu_ = window->findChild<QMenu*>(QStringLiteral("mnuUserPresets"));
    if (!menu_) {
        menu_ = new QMenu(QStringLiteral("&User Presets"), window);
        menu_->setObjectName(QStringLiteral("mnuUserPresets"));
        menu_->addAction(QStringLiteral("Save to Preset"))->setObjectName(QStringLiteral("mnuUserPresets_Save"));
        menu_->addAction(QStringLiteral("Edit Preset"))->setObjectName(QStringLiteral("mnuUserPresets_Edit"));
    }
    timer_ = addTimer(window, QStringLiteral("tmrSubBands"));
    timer_->setInterval(300);
    connectControls();
}

BandControls::~BandControls() = default;

void BandControls::connectControls()
{
    // The handlers keep one button of each array chosen, and none at times, which an
    // exclusive group would not allow.
    for (QAbstractButton* b : panel_.optSubBand)
        if (b && b->group())
            b->group()->setExclusive(false);
    for (QAbstractButton* b : panel_.optPreset)
        if (b && b->group())
            b->group()->setExclusive(false);
    for (size_t i = 0; i < panel_.optSubBand.size(); ++i)
        if (QRadioButton* b = panel_.optSubBand[i]) {
            b->setAutoExclusive(false);
            b->setMouseTracking(true);
            b->installEventFilter(this);
            // The keyboard's choice; mouse presses are taken by the event filter.
            connect(b, &QAbstractButton::clicked, this, [this, i] {
                optSubBand_Click(static_cast<int>(i));
                traceSubBandLabel("optSubBand_Click");
            });
        }
    for (QRadioButton* b : panel_.optPreset)
        if (b) {
            b->setAutoExclusive(false);
            b->setMouseTracking(true);
            b->installEventFilter(this);
        }
    if (panel_.cboBandSelect)
        connect(panel_.cboBandSelect, &QComboBox::activated, this, [this] {
            cboBandSelect_Click();
            traceSubBandLabel("cboBandSelect_Click");
        });
    if (panel_.cboSubBandSelect)
        connect(panel_.cboSubBandSelect, &QComboBox::activated, this, [this] {
            cboSubBandSelect_Click();
            traceSubBandLabel("cboSubBandSelect_Click");
        });
    if (panel_.lstSubBandSelect) {
        connect(panel_.lstSubBandSelect, &QListWidget::currentRowChanged, this, [this] {
            lstSubBandSelect_Click();
            traceSubBandLabel("lstSubBandSelect_Click");
        });
        panel_.lstSubBandSelect->setMouseTracking(true);
        panel_.lstSubBandSelect->installEventFilter(this);
    }
    for (QWidget* w : {static_cast<QWidget*>(panel_.cboBandSelect), static_cast<QWidget*>(panel_.cboSubBandSelect)})
        if (w)
            w->installEventFilter(this);
    for (QWidget* w : {static_cast<QWidget*>(panel_.lblSubBand), static_cast<QWidget*>(panel_.imgBandSelect),
                       static_cast<QWidget*>(panel_.picSubBands), static_cast<QWidget*>(panel_.frPresets)})
        if (w) {
            w->setMouseTracking(true);
            w->installEventFilter(this);
        }
    if (auto* save = menu_->findChild<QAction*>(QStringLiteral("mnuUserPresets_Save")))
        connect(save, &QAction::triggered, this, [this] { mnuUserPresets_Save_Click(); });
    if (auto* edit = menu_->findChild<QAction*>(QStringLiteral("mnuUserPresets_Edit")))
        connect(edit, &QAction::triggered, this, [this] { mnuUserPresets_Edit_Click(); });
    connect(timer_, &QTimer::timeout, this, [this] { tmrSubBands_Timer(); });
}

bool BandControls::eventFilter(QObject* watched, QEvent* event)
{
    const QEvent::Type type = event->type();
    if (const int i = indexIn(panel_.optPreset, watched); i >= 0) {
        if (type == QEvent::MouseButtonPress || type == QEvent::MouseButtonDblClick) {
            auto* e = static_cast<QMouseEvent*>(event);
            panel_.optPreset[static_cast<size_t>(i)]->setFocus(Qt::MouseFocusReason);
            optPreset_MouseDown(i, buttonCode(e->button()), shiftState(e->modifiers()));
            return true;
        }
        if (type == QEvent::MouseButtonRelease) {
            auto* e = static_cast<QMouseEvent*>(event);
            optPreset_MouseUp(i, buttonCode(e->button()), shiftState(e->modifiers()));
            return true;
        }
        if (type == QEvent::MouseMove) {
            optPreset_MouseMove(i, static_cast<QMouseEvent*>(event)->position().toPoint());
            return false;
        }
        if (type == QEvent::KeyPress) {
            auto* e = static_cast<QKeyEvent*>(event);
            // The Ctrl key's own press is not the key pressed with Ctrl held.
            const int key = e->key();
            if (key != Qt::Key_Control && key != Qt::Key_Shift && key != Qt::Key_Alt && key != Qt::Key_Meta)
                optPreset_KeyDown(i, key, shiftState(e->modifiers()));
            return true;
        }
        if (type == QEvent::KeyRelease)
            return true;
        return false;
    }
    if (const int i = indexIn(panel_.optSubBand, watched); i >= 0) {
        if (type == QEvent::MouseButtonPress || type == QEvent::MouseButtonDblClick) {
            auto* e = static_cast<QMouseEvent*>(event);
            optSubBand_MouseDown(i, buttonCode(e->button()), shiftState(e->modifiers()));
            traceSubBandLabel("optSubBand_MouseDown");
            return true;
        }
        if (type == QEvent::MouseButtonRelease)
            return true;
        if (type == QEvent::MouseMove)
            optSubBand_MouseMove(i, static_cast<QMouseEvent*>(event)->position().toPoint());
        return false;
    }
    if (type == QEvent::MouseMove) {
        const QPoint at = static_cast<QMouseEvent*>(event)->position().toPoint();
        if (watched == panel_.lblSubBand)
            lblSubBand_MouseMove();
        else if (watched == panel_.lstSubBandSelect)
            lstSubBandSelect_MouseMove(at);
        else if (watched == panel_.imgBandSelect)
            imgBandSelect_MouseMove(at);
        else if (watched == panel_.picSubBands)
            picSubBands_MouseMove();
        else if (watched == panel_.frPresets)
            frPresets_MouseMove(at);
    } else if (type == QEvent::FocusOut &&
               focusLeftForAnotherControl(static_cast<QWidget*>(watched), static_cast<QFocusEvent*>(event)->reason())) {
        if (watched == panel_.cboBandSelect)
            cboBandSelect_LostFocus();
        else if (watched == panel_.cboSubBandSelect)
            cboSubBandSelect_LostFocus();
    }
    return false;
}

// ---- records, with every index checked before use ----

BandPlan* BandControls::currentBand()
{
    const int32_t b = plans_.CurrentMainBandIndex;
    if (b < 0 || b >= static_cast<int32_t>(plans_.BandPlans.size()))
        return nullptr;
    return &plans_.BandPlans[static_cast<size_t>(b)];
}

SubBand* BandControls::activeSubBand()
{
    BandPlan* band = currentBand();
    if (!band)
        return nullptr;
    const int32_t s = band->ActiveSubBand;
    if (s < 0 || s >= static_cast<int32_t>(band->SubBands.size()) || s >= SubBandButtonCount)
        return nullptr;
    return &band->SubBands[static_cast<size_t>(s)];
}

Preset* BandControls::presetOf(SubBand& sb, int p)
{
    if (p < 0 || p >= static_cast<int>(sb.Presets.size()) || p >= PresetButtonCount)
        return nullptr;
    return &sb.Presets[static_cast<size_t>(p)];
}

uint32_t BandControls::labelColour() const { return hooks_.SDRLabelColour ? hooks_.SDRLabelColour() : Teal; }

QDateTime BandControls::now() const { return hooks_.now ? hooks_.now() : QDateTime::currentDateTime(); }

int BandControls::runDialog(QDialog& dialog) { return hooks_.runDialog ? hooks_.runDialog(dialog) : dialog.exec(); }

QString BandControls::optionCaption(const char* arrayName, int index) const
{
    auto* b = qobject_cast<QAbstractButton*>(controlElement(window_, QLatin1String(arrayName), index));
    return b ? withoutMnemonic(b->text()) : QString();
}

void BandControls::checkOnly(std::array<QRadioButton*, PresetButtonCount>& buttons, int index)
{
    for (size_t i = 0; i < buttons.size(); ++i)
        if (buttons[i])
            setButton(buttons[i], static_cast<int>(i) == index);
}

void BandControls::checkSubBandOnly(int index)
{
    for (size_t i = 0; i < panel_.optSubBand.size(); ++i)
        if (panel_.optSubBand[i])
            setButton(panel_.optSubBand[i], static_cast<int>(i) == index);
}

void BandControls::setListIndexes(int index, bool evenIfSelected)
{
    // A list given a new index raises its click: the combo's names the sub-band on
    // lblSubBand, the list's names it too and recalls the sub-band (or its marked preset)
    // through optSubBand_Click, which returns at once when it is the caller.
    if (auto* combo = panel_.cboSubBandSelect;
        combo && index < combo->count() && (evenIfSelected || combo->currentIndex() != index)) {
        {
            const QSignalBlocker quiet(combo);
            combo->setCurrentIndex(index);
        }
        cboSubBandSelect_Click();
    }
    if (auto* list = panel_.lstSubBandSelect;
        list && index < list->count() && (evenIfSelected || list->currentRow() != index)) {
        {
            const QSignalBlocker quiet(list);
            list->setCurrentRow(index);
        }
        lstSubBandSelect_Click();
    }
}

void BandControls::labelPresetButtons(SubBand& sb, bool clearUnused)
{
    const int count = std::min<int>(PresetButtonCount, static_cast<int>(sb.Presets.size()));
    for (int p = 0; p < count; ++p) {
        QRadioButton* b = panel_.optPreset[static_cast<size_t>(p)];
        Preset& preset = sb.Presets[static_cast<size_t>(p)];
        if (!b)
            continue;
        if (!used(preset)) {
            if (clearUnused)
                preset.Active = false;
            b->setText(QStringLiteral("P%1").arg(p + 1));
            b->setToolTip(UnusedToolTip);
        } else {
            b->setText(kiloHertzLabel(preset.Settings.FreqCurrent));
            b->setToolTip(preset.Description);
        }
    }
}

// ---- band and sub-band selection ----

void BandControls::SelectBand(int b)
{
    ReentryGuard guard(inSelectBand_);
    if (guard.reentered())
        return;
    if (b < 0 || b >= static_cast<int>(plans_.BandPlans.size()))
        return;
    plans_.CurrentMainBandIndex = b;
    BandPlan& band = plans_.BandPlans[static_cast<size_t>(b)];
    if (panel_.cboBandSelect && panel_.cboBandSelect->currentIndex() != b && b < panel_.cboBandSelect->count()) {
        const QSignalBlocker quiet(panel_.cboBandSelect);
        panel_.cboBandSelect->setCurrentIndex(b);
    }
    if (panel_.cboSubBandSelect) {
        const QSignalBlocker quiet(panel_.cboSubBandSelect);
        panel_.cboSubBandSelect->clear();
    }
    if (panel_.lstSubBandSelect) {
        const QSignalBlocker quiet(panel_.lstSubBandSelect);
        panel_.lstSubBandSelect->clear();
    }
    for (QRadioButton* button : panel_.optSubBand)
        if (button)
            button->setVisible(false);

    band.Active = true;
    const int active = band.ActiveSubBand;
    const bool activeExists = active >= 0 && active < SubBandButtonCount &&
                              active < static_cast<int>(band.SubBands.size());
    // The sub-band is recalled once, by the list's click below; the button's own click would
    // recall the same block before it.
    if (activeExists)
        checkSubBandOnly(active);
    if (panel_.frPresets)
        panel_.frPresets->setTitle(band.Caption);
    const int shown = std::min({band.NumSubBands, SubBandButtonCount, static_cast<int>(band.SubBands.size())});
    for (int s = 0; s < shown; ++s) {
        const SubBand& sb = band.SubBands[static_cast<size_t>(s)];
        if (QRadioButton* button = panel_.optSubBand[static_cast<size_t>(s)]) {
            button->setText(sb.Caption);
            button->setToolTip(sb.Description);
            button->setVisible(sb.HasRange);
        }
        if (panel_.cboSubBandSelect) {
            const QSignalBlocker quiet(panel_.cboSubBandSelect);
            panel_.cboSubBandSelect->addItem(sb.Caption);
        }
        if (panel_.lstSubBandSelect) {
            const QSignalBlocker quiet(panel_.lstSubBandSelect);
            panel_.lstSubBandSelect->addItem(sb.Caption);
        }
    }
    if (!activeExists)
        return;
    // The lists were just filled, so both indexes count as new, even where filling the combo
    // already selected its first entry.
    setListIndexes(active, true);

    SubBand& sb = band.SubBands[static_cast<size_t>(active)];
    for (int p = 0; p < std::min<int>(sb.NumPresets, PresetButtonCount); ++p)
        if (QRadioButton* button = panel_.optPreset[static_cast<size_t>(p)])
            button->setText(QString());
    labelPresetButtons(sb, false);
    Preset* marked = presetOf(sb, sb.ActivePreset);
    if (!marked || !marked->Active) {
        for (QRadioButton* button : panel_.optPreset)
            if (button) {
                setButton(button, false);
                setTextColour(button, Teal);
            }
        return;
    }
    // The list's click recalled this preset already.
    checkOnly(panel_.optPreset, sb.ActivePreset);
}

void BandControls::optSubBand_Click(int Index)
{
    ReentryGuard guard(inSubBandClick_);
    if (guard.reentered())
        return;
    BandPlan* band = currentBand();
    if (!band || Index < 0 || Index >= SubBandButtonCount || Index >= static_cast<int>(band->SubBands.size()))
        return;
    for (QRadioButton* b : panel_.optSubBand)
        if (b)
            setTextColour(b, DarkRed);
    if (QRadioButton* b = panel_.optSubBand[static_cast<size_t>(Index)]) {
        setTextColour(b, Red);
        checkSubBandOnly(Index);
    }
    band->ActiveSubBand = Index;
    SubBand& sb = band->SubBands[static_cast<size_t>(Index)];
    sb.Selected = true;

    for (size_t i = 0; i < TuningSteps_.size(); ++i)
        if (TuningSteps_[i] <= sb.Settings.TuneStep) {
            if (hooks_.SelectTuningStep)
                hooks_.SelectTuningStep(static_cast<int>(i), true);
            break;
        }

    labelPresetButtons(sb, true);
    Preset* marked = presetOf(sb, sb.ActivePreset);
    if (marked && marked->Active)
        optPreset_MouseDown(sb.ActivePreset, LeftButton, 0);
    else if (hooks_.ApplySettingsBlock)
        hooks_.ApplySettingsBlock(sb.Settings);
    setListIndexes(Index);
}

void BandControls::optSubBand_MouseDown(int Index, int Button, int /*Shift*/)
{
    BandPlan* band = currentBand();
    if (!band || Index < 0 || Index >= SubBandButtonCount || Index >= static_cast<int>(band->SubBands.size()))
        return;
    for (QRadioButton* b : panel_.optSubBand)
        if (b)
            setTextColour(b, LightGrey);
    QRadioButton* button = panel_.optSubBand[static_cast<size_t>(Index)];
    const bool wasChosen = button && button->isChecked();
    if (button)
        setTextColour(button, Cyan);
    checkSubBandOnly(Index);
    band->ActiveSubBand = Index;
    // The left button chooses the sub-band again even when it is the one in force; any
    // button chooses one that was not.
    if (Button == LeftButton || !wasChosen)
        optSubBand_Click(Index);
}

void BandControls::traceSubBandLabel(const char* handler) const
{
    // With tracing on, the log shows what the operator's choice left on lblSubBand.
    if (panel_.lblSubBand)
        AddLog(QStringLiteral("frmMain:frmMain:%1:lblSubBand=%2").arg(QLatin1String(handler), panel_.lblSubBand->text()));
}

void BandControls::foldBandPickers()
{
    hideDescription();
    hidePickers();
    if (panel_.lblSubBand)
        panel_.lblSubBand->setVisible(true);
}

void BandControls::hidePickers()
{
    for (QWidget* w : {static_cast<QWidget*>(panel_.cboBandSelect), static_cast<QWidget*>(panel_.cboSubBandSelect),
                       static_cast<QWidget*>(panel_.lstSubBandSelect)})
        if (w)
            w->setVisible(false);
}

void BandControls::showDescription(QWidget* over, QPoint pointer, const QString& caption, const QString& text)
{
    if (!desc_)
        desc_ = std::make_unique<frmPresetDesc>(window_);
    desc_->lblCaption->setText(caption);
    desc_->lblPresetDesc->setText(text);
    desc_->move(over->mapToGlobal(pointer) + QPoint(12, 12));
    desc_->show();
    desc_->raise();
}

void BandControls::hideDescription()
{
    if (desc_)
        desc_->hide();
}

void BandControls::optSubBand_MouseMove(int Index, QPoint pointer)
{
    hidePickers();
    if (panel_.lblSubBand)
        panel_.lblSubBand->setVisible(true);
    BandPlan* band = currentBand();
    if (!ShowPresetDesc || !band || Index < 0 || Index >= static_cast<int>(band->SubBands.size())) {
        hideDescription();
        return;
    }
    const SubBand& sb = band->SubBands[static_cast<size_t>(Index)];
    showDescription(panel_.optSubBand[static_cast<size_t>(Index)], pointer, sb.Description,
                    QStringLiteral("Band=%1\nFreq Lo=%2\nFreq Hi=%3").arg(sb.Caption).arg(sb.FreqMin).arg(sb.FreqMax));
}

void BandControls::cboBandSelect_Change()
{
    if (panel_.cboBandSelect)
        SelectBand(panel_.cboBandSelect->currentIndex());
}

void BandControls::cboBandSelect_Click()
{
    if (hooks_.Initialising && hooks_.Initialising())
        return;
    if (panel_.cboBandSelect)
        SelectBand(panel_.cboBandSelect->currentIndex());
}

void BandControls::cboBandSelect_LostFocus()
{
    if (panel_.cboBandSelect)
        panel_.cboBandSelect->setVisible(false);
}

void BandControls::cboSubBandSelect_LostFocus()
{
    if (panel_.cboSubBandSelect)
        panel_.cboSubBandSelect->setVisible(false);
}

void BandControls::cboSubBandSelect_Click()
{
    QComboBox* combo = panel_.cboSubBandSelect;
    if (!combo)
        return;
    const int index = combo->currentIndex();
    if (panel_.lblSubBand) {
        panel_.lblSubBand->setText(u' ' + combo->currentText() + u' ');
        panel_.lblSubBand->setProperty("Tag", index);
        panel_.lblSubBand->repaint();
    }
    if (index < 0 || index >= SubBandButtonCount)
        return;
    QRadioButton* button = panel_.optSubBand[static_cast<size_t>(index)];
    if (button && !button->isChecked()) {
        checkSubBandOnly(index);
        optSubBand_Click(index);
    }
}

void BandControls::lstSubBandSelect_Click()
{
    QListWidget* list = panel_.lstSubBandSelect;
    if (!list)
        return;
    const int index = list->currentRow();
    if (panel_.lblSubBand) {
        panel_.lblSubBand->setText(u' ' + (list->currentItem() ? list->currentItem()->text() : QString()) + u' ');
        panel_.lblSubBand->setProperty("Tag", index);
        panel_.lblSubBand->repaint();
    }
    if (index >= 0)
        optSubBand_Click(index);
}

void BandControls::lblSubBand_MouseMove()
{
    if (panel_.lblSubBand)
        panel_.lblSubBand->setVisible(false);
    if (QComboBox* combo = panel_.cboSubBandSelect) {
        combo->setVisible(true);
        combo->setEnabled(true);
        combo->setFocus(Qt::OtherFocusReason);
    }
}

void BandControls::lstSubBandSelect_MouseMove(QPoint pointer)
{
    QListWidget* list = panel_.lstSubBandSelect;
    if (!list)
        return;
    const QPoint at = pointer + list->pos();
    if (list->x() < at.x() && at.x() < list->x() + list->width() && at.y() < list->height() / 2)
        list->setFocus(Qt::OtherFocusReason);
}

void BandControls::imgBandSelect_MouseMove(QPoint pointer)
{
    // The picture covers the part of the frame where the band picker hides, so the frame's
    // handler runs for it: its work holds the picture's own (frames unfocused, pickers folded,
    // lblSubBand shown) and brings the picker back under the pointer.
    if (panel_.frPresets && panel_.imgBandSelect) {
        frPresets_MouseMove(panel_.imgBandSelect->mapTo(panel_.frPresets, pointer));
        return;
    }
    if (hooks_.UnFocusFrames)
        hooks_.UnFocusFrames();
    hidePickers();
    if (panel_.lblSubBand)
        panel_.lblSubBand->setVisible(true);
}

void BandControls::picSubBands_MouseMove() { hidePickers(); }

void BandControls::frPresets_MouseMove(QPoint pointer)
{
    if (hooks_.UnFocusFrames)
        hooks_.UnFocusFrames();
    if (panel_.frPresets && hooks_.SDRFrameFocusColour)
        setTextColour(panel_.frPresets, hooks_.SDRFrameFocusColour());
    hidePickers();
    if (panel_.lstSubBandSelect)
        panel_.lstSubBandSelect->setEnabled(false);
    if (panel_.lblSubBand)
        panel_.lblSubBand->setVisible(true);
    const auto under = [&pointer](const QWidget* w) {
        return w->x() < pointer.x() && pointer.x() < w->x() + w->width() && pointer.y() < w->height() / 2;
    };
    if (panel_.cboBandSelect && under(panel_.cboBandSelect))
        panel_.cboBandSelect->setVisible(true);
    for (QWidget* w : {static_cast<QWidget*>(panel_.lstSubBandSelect), static_cast<QWidget*>(panel_.cboSubBandSelect)})
        if (w && w->isEnabled() && under(w)) {
            w->setVisible(true);
            if (panel_.lblSubBand)
                panel_.lblSubBand->setVisible(false);
        }
    hideDescription();
    if (hooks_.DeactivateAdjuster)
        hooks_.DeactivateAdjuster();
}

// ---- presets ----

void BandControls::optPreset_MouseDown(int Index, int Button, int Shift)
{
    ReentryGuard guard(inPresetMouseDown_);
    if (guard.reentered())
        return;
    SubBand* sb = activeSubBand();
    Preset* pressed = sb ? presetOf(*sb, Index) : nullptr;
    if (!pressed)
        return;
    // A left click on an unused button recalls the last preset recalled, and does nothing
    // while that is not a used preset of this sub-band.
    if (Button == LeftButton && !used(*pressed)) {
        const Preset* last = presetOf(*sb, LastPresetIndex);
        if (!last || !used(*last))
            return;
    }
    if (!presetHandlerRan_) {
        presetHandlerRan_ = true;
        LastPresetIndex = Index;
    }
    for (QRadioButton* b : panel_.optPreset)
        if (b)
            setTextColour(b, labelColour());
    sb->ActivePreset = Index;

    if (Button == LeftButton) {
        if (used(*pressed)) {
            LastPresetIndex = Index;
            for (Preset& p : sb->Presets)
                p.Active = false;
            pressed->Active = true;
        } else {
            sb->ActivePreset = LastPresetIndex;
        }
        Preset& recalled = sb->Presets[static_cast<size_t>(sb->ActivePreset)];
        checkOnly(panel_.optPreset, sb->ActivePreset);
        if (QRadioButton* b = panel_.optPreset[static_cast<size_t>(sb->ActivePreset)])
            setTextColour(b, Cyan);
        if (hooks_.ApplySettingsBlock)
            hooks_.ApplySettingsBlock(recalled.Settings);
    } else if (Button == RightButton && Shift != ShiftDown) {
        if (auto* edit = menu_->findChild<QAction*>(QStringLiteral("mnuUserPresets_Edit")))
            edit->setEnabled(used(*pressed));
        menu_->popup(QCursor::pos());
    } else if (Button == RightButton) {
        Preset& preset = sb->Presets[static_cast<size_t>(sb->ActivePreset)];
        StorePresetFromCurrent(preset);
        if (QRadioButton* b = panel_.optPreset[static_cast<size_t>(Index)]) {
            b->setText(preset.Caption);
            b->setToolTip(preset.Description);
        }
        ApplyPreset(preset);
        saveStoredBand();
    }
}

void BandControls::optPreset_MouseUp(int /*Index*/, int /*Button*/, int /*Shift*/)
{
    // The press did the click's work; a release repeating it would show the menu again
    // or store twice.
}

void BandControls::optPreset_KeyDown(int Index, int /*KeyCode*/, int Shift)
{
    if (Shift != CtrlDown)
        return;
    ShowPresetDesc = !ShowPresetDesc;
    if (!ShowPresetDesc) {
        hideDescription();
        return;
    }
    // Shown at once with the details of the button the key was pressed on, beside the
    // pointer when that is on the button, else below the button: never as an empty window
    // wherever the window system puts new ones.
    QRadioButton* button = Index >= 0 && Index < PresetButtonCount ? panel_.optPreset[static_cast<size_t>(Index)]
                                                                      : nullptr;
    if (!button)
        return;
    QPoint pointer = button->mapFromGlobal(QCursor::pos());
    if (!button->rect().contains(pointer))
        pointer = QPoint(0, button->height());
    optPreset_MouseMove(Index, pointer);
}

void BandControls::optPreset_MouseMove(int Index, QPoint pointer)
{
    SubBand* sb = activeSubBand();
    const Preset* preset = sb ? presetOf(*sb, Index) : nullptr;
    if (!ShowPresetDesc || !preset || !panel_.optPreset[static_cast<size_t>(Index)]) {
        hideDescription();
        return;
    }
    const QDateTime when = QDateTime::fromString(preset->When, QStringLiteral("yyyy-MM-dd HH:mm:ss"));
    const QString text = QStringLiteral("Frequency=%1\nModulation=%2\nFilter=%3\nDate=%4\nTime=%5")
                             .arg(preset->Caption, optionCaption("optMode", preset->Settings.DemodMode),
                                  optionCaption("optFilter", preset->Settings.FilterMode),
                                  when.isValid() ? when.toString(QStringLiteral("yyyy/MM/dd")) : QString(),
                                  when.isValid() ? when.toString(QStringLiteral("HH:mm")) : QString());
    showDescription(panel_.optPreset[static_cast<size_t>(Index)], pointer, preset->Description, text);
}

void BandControls::StorePresetFromCurrent(Preset& preset)
{
    if (hooks_.CaptureSettingsBlock)
        hooks_.CaptureSettingsBlock(preset.Settings);
    preset.Caption = QString::fromStdString(Format(preset.Settings.FreqCurrent / 1000.0, "#0"));
    preset.When = now().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
    preset.Description = QString::fromStdString(Format(preset.Settings.FreqCurrent, "#,###0 Hz"));
}

void BandControls::ApplyPreset(Preset& preset)
{
    applySettingsBlock(preset.Settings);
}

void BandControls::ApplyPreset(SubBand& subBand)
{
    applySettingsBlock(subBand.Settings);
}

void BandControls::applySettingsBlock(RxSettings& settings)
{
    ReentryGuard guard(PresetApplyBusy);
    if (guard.reentered())
        return;
    if (hooks_.ApplySettingsBlock)
        hooks_.ApplySettingsBlock(settings);
}

BandControls::MarkedPreset BandControls::copyMarkedPresetForEditing()
{
    SubBand* sb = activeSubBand();
    Preset* preset = sb ? presetOf(*sb, sb->ActivePreset) : nullptr;
    if (preset)
        PresetEditRecord = *preset;
    return {sb, preset};
}

void BandControls::mnuUserPresets_Edit_Click()
{
    ReentryGuard guard(inMenuEdit_);
    if (guard.reentered())
        return;
    const auto [sb, preset] = copyMarkedPresetForEditing();
    if (!preset)
        return;
    PresetEditRecord.Active = true;
    if (!runPresetEditor(QStringLiteral("Edit Preset %1").arg(PresetEditRecord.Index), QStringLiteral("&Update")))
        return;
    takeEditedPreset(*sb, *preset, QString::fromStdString(Format(PresetEditRecord.Settings.FreqCurrent / 1000.0, "#0")));
}

void BandControls::mnuUserPresets_Save_Click()
{
    ReentryGuard guard(inMenuSave_);
    if (guard.reentered())
        return;
    const auto [sb, preset] = copyMarkedPresetForEditing();
    if (!preset)
        return;
    PresetEditRecord.Active = false;
    PresetEditRecord.When = now().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
    if (hooks_.DemodMode)
        PresetEditRecord.Settings.DemodMode = hooks_.DemodMode();
    if (hooks_.FilterMode)
        PresetEditRecord.Settings.FilterMode = hooks_.FilterMode();
    if (hooks_.TunedFrequency)
        PresetEditRecord.Settings.FreqCurrent = RoundEven(hooks_.TunedFrequency() / 10.0);
    if (hooks_.vfoHiSideLO)
        PresetEditRecord.Settings.HiSideLO = hooks_.vfoHiSideLO();
    if (!runPresetEditor(QStringLiteral("Save Current Settings to Preset %1").arg(PresetEditRecord.Index),
                         QStringLiteral("&Save")))
        return;
    takeEditedPreset(*sb, *preset,
                     QString::fromStdString(Format(Int(PresetEditRecord.Settings.FreqCurrent / 1000.0 + 0.5), "0#")));
}

bool BandControls::runPresetEditor(const QString& title, const QString& buttonCaption)
{
    PresetEditSaved = false;
    PresetEditTitle = title;
    PresetEditButtonCaption = buttonCaption;
    frmEditUserPreset editor(window_, PresetEditRecord, PresetEditSaved, PresetEditTitle, PresetEditButtonCaption);
    runDialog(editor);
    return PresetEditSaved;
}

void BandControls::takeEditedPreset(SubBand& sb, Preset& preset, const QString& buttonText)
{
    preset = PresetEditRecord;
    if (QRadioButton* b = panel_.optPreset[static_cast<size_t>(sb.ActivePreset)]) {
        b->setText(buttonText);
        b->setToolTip(preset.Description);
        checkOnly(panel_.optPreset, sb.ActivePreset);
    }
    ApplyPreset(preset);
    saveStoredBand();
}

void BandControls::saveStoredBand()
{
    if (BandPlan* band = currentBand())
        plans_.SaveBandPlanAfterStore(*band, QString::fromLatin1(ProductName));
}

// ---- tracking ----

void BandControls::tmrSubBands_Timer()
{
    SubBand* sb = activeSubBand();
    if (!sb)
        return;
    const int p = sb->ActivePreset;
    if (p < 0)
        return;
    if ((hooks_.ApplyingSettings && hooks_.ApplyingSettings()) || (hooks_.StartingDream && hooks_.StartingDream()))
        return;
    Preset* preset = presetOf(*sb, p);
    if (!preset)
        return;
    if (preset->Active && hooks_.TunedFrequency) {
        const double distance = std::fabs(hooks_.TunedFrequency() / 10.0 - preset->Settings.FreqCurrent);
        if (distance > 500.0) {
            preset->Active = false;
            if (QRadioButton* b = panel_.optPreset[static_cast<size_t>(p)]) {
                setButton(b, false);
                setTextColour(b, Teal);
            }
        }
    }
    if (!preset->Active) {
        if (hooks_.CaptureSettingsBlock)
            hooks_.CaptureSettingsBlock(sb->Settings);
    } else if (!hooks_.AutoTrackPresets || hooks_.AutoTrackPresets()) {
        const int32_t kept = preset->Settings.FreqCurrent;
        if (hooks_.CaptureSettingsBlock)
            hooks_.CaptureSettingsBlock(preset->Settings);
        preset->Settings.FreqCurrent = kept;
    }
}

} // namespace orvik
