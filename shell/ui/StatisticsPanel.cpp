#include "shell/ui/StatisticsPanel.h"

#include "shell/widgets/ControlFactory.h"

#include <QLabel>
#include <QPointer>
#include <QTimer>
#include <QWidget>

#include <array>

namespace orvik {

StatisticsPanel::StatisticsPanel(QWidget* window, Hooks hooks)
    : QObject(window), window_(window), timer_(widgetHooks(std::move(hooks)))
{
}

PerfStatsTimer::Hooks StatisticsPanel::widgetHooks(Hooks given)
{
    QWidget* window = window_;
    // Looked up once: the pass runs after every block.
    std::array<QPointer<QLabel>, 6> values;
    for (int i = 0; i < 6; ++i)
        values[static_cast<size_t>(i)] = qobject_cast<QLabel*>(controlElement(window, "lblStatsVal", i));
    const auto value = [values](int i) { return values[static_cast<size_t>(i)].data(); };
    const QPointer<QTimer> timer = window->findChild<QTimer*>(QStringLiteral("tmrPerfStats"));
    const QPointer<QLabel> notch = window->findChild<QLabel*>(QStringLiteral("lblNotch"));
    const QPointer<QWidget> notchSlider = window->findChild<QWidget*>(QStringLiteral("sldNotch"));
    PerfStatsTimer::Hooks hooks;
    hooks.stopTimer = [timer] {
        if (timer)
            timer->stop();
    };
    hooks.ShowLevelBar = std::move(given.ShowLevelBar);
    hooks.receiverWork = std::move(given.receiverWork);
    hooks.setSMeterToolTip = [window](const QString& tip) {
        for (int i = 0; i < 2; ++i)
            if (QWidget* pic = controlElement(window, "picSmeter", i))
                pic->setToolTip(tip);
    };
    hooks.showPanel = [value](const StatsPanelText& panel) {
        for (int i = 0; i < 6; ++i)
            if (panel.valueWritten[i])
                if (QLabel* label = value(i))
                    label->setText(panel.value[i]);
        if (panel.value0Coloured)
            if (QLabel* label = value(0))
                setTextColour(label, panel.value0Colour);
        if (panel.loadColoured)
            for (int i : {4, 5})
                if (QLabel* label = value(i))
                    setTextColour(label, panel.loadColour);
    };
    hooks.showNotchCentre = [notch, notchSlider](const QString& caption, const QString& toolTip) {
        if (notch)
            notch->setText(caption);
        if (notchSlider)
            notchSlider->setToolTip(toolTip);
    };
    hooks.showOscillator = [value](const QString& text) {
        if (QLabel* label = value(3))
            label->setText(text);
    };
    return hooks;
}

} // namespace orvik
