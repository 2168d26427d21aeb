#include "shell/ui/StatisticsPanel.h"

#include "shell/widgets/ControlFactory.h"

#include <QLabel>
#include <QTimer>
#include <QWidget>

namespace orvik {

StatisticsPanel::StatisticsPanel(QWidget* window, Hooks hooks)
    : QObject(window), window_(window), timer_(widgetHooks(std::move(hooks)))
{
}

PerfStatsTimer::Hooks StatisticsPanel::widgetHooks(Hooks given)
{
    QWidget* window = window_;
    const auto value = [window](int i) { return qobject_cast<QLabel*>(controlElement(window, "lblStatsVal", i)); };
    PerfStatsTimer::Hooks hooks;
    hooks.stopTimer = [window] {
        if (auto* t = window->findChild<QTimer*>(QStringLiteral("tmrPerfStats")))
            t->stop();
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
    hooks.showNotchCentre = [window](const QString& caption, const QString& toolTip) {
        if (auto* notch = window->findChild<QLabel*>(QStringLiteral("lblNotch")))
            notch->setText(caption);
        if (auto* slider = window->findChild<QWidget*>(QStringLiteral("sldNotch")))
            slider->setToolTip(toolTip);
    };
    hooks.showOscillator = [value](const QString& text) {
        if (QLabel* label = value(3))
            label->setText(text);
    };
    return hooks;
}

} // namespace orvik
