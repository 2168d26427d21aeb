#include "app/SpectrumStartup.h"

#include "common/Numeric.h"
#include "platform/EventPump.h"
#include "receiver/PublicVars.h"
#include "shell/CtlArray.h"
#include "shell/widgets/ControlFactory.h"
#include "spectrum/clsSpectrumAnalyser.h"
#include "spectrum/ui/ScopeImagePage.h"

#include <QAbstractButton>
#include <QLabel>
#include <QWidget>

namespace orvik {

std::unique_ptr<clsSpectrumAnalyser> CreateSpectrumAnalyser(SettingsStore& store, const PublicVars& vars)
{
    clsSpectrumAnalyser::Environment env;
    env.yield = [] { pumpEvents(); };
    env.InDSP = [&vars] { return vars.InDSP; };
    env.NotchCentre = [&vars] { return vars.NotchCentre; };
    env.NotchWidth = [&vars] { return vars.NotchWidth; };
    return std::make_unique<clsSpectrumAnalyser>(&store, std::move(env));
}

int32_t SpectrumOffset(const clsSpectrumAnalyser& analyser, int32_t tunedFrequency)
{
    return RoundEven(tunedFrequency / 10.0 - (analyser.FEnd - analyser.FStart) / 2.0);
}

void InitialiseSpectrumAnalyser(clsSpectrumAnalyser& a, ScopeControls& controls, QWidget* window,
                                int32_t tunedFrequency, bool notchActive)
{
    a.FSampling = 48000;
    a.Order = 11;
    a.picDisplay0(&controls.page(0));
    a.picDisplay1(&controls.page(1));
    a.StartBin = 0;
    a.StopBin = 1024;
    a.FStart = 0;
    a.FEnd = IntDiv(a.FSampling, 2);
    a.FOffset = SpectrumOffset(a, tunedFrequency);
    if (auto* mode = qobject_cast<QAbstractButton*>(controlElement(window, QStringLiteral("chkScopeMode"), a.Mode()))) {
        mode->setChecked(false);
        mode->setChecked(true);
    }
    a.Init();
    if (auto* filters = window->findChild<QAbstractButton*>(QStringLiteral("chkScopeShowFilters")))
        filters->setChecked(a.ShowFilter);
    a.ShowNotch = notchActive;
    auto* first = qobject_cast<QLabel*>(controlElement(window, QStringLiteral("lblSpectrumFreq"), 0));
    auto* second = qobject_cast<QLabel*>(controlElement(window, QStringLiteral("lblSpectrumFreq"), 1));
    if (first && second) {
        second->setFont(first->font());
        first->setGeometry(second->geometry());
    }
}

void ColourScopeAdjuster(CtlArray& ctl, int id, const clsSpectrumAnalyser& analyser)
{
    ctl[id].FocusColour = analyser.ControlColourFocused;
    ctl[id].NormalColour = analyser.ControlColourNormal;
}

} // namespace orvik
