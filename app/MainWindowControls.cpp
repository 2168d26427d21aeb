#include "app/MainWindowControls.h"
#include "common/Product.h"

#include "bands/ui/BandPanel.h"
#include "receiver/ui/ReceiverPanels.h"
#include "recorder/ui/RecorderPanel.h"
#include "shell/ui/ShellPanels.h"
#include "shell/ui/WindowSizeController.h"
#include "shell/widgets/Twips.h"
#include "spectrum/ui/ScopePanel.h"
#include "tuning/ui/FrequencyPanel.h"

#include <QApplication>
#include <QStyle>
#include <QStyleFactory>
#include <QWidget>

namespace orvik {

MainWindowPanels buildMainWindowControls(QWidget* window)
{
    MainWindowPanels panels;
    // Fusion draws every widget kind from its palette, so the colour scheme reaches them all.
    if (QApplication::style()->name().compare(QLatin1String("fusion"), Qt::CaseInsensitive) != 0)
        QApplication::setStyle(QStyleFactory::create(QStringLiteral("Fusion")));

    window->setWindowTitle(QString::fromLatin1(ProductName));
    QFont font = window->font();
    font.setPointSize(8);
    window->setFont(font);

    buildShellControls(window);
    buildFrequencyControls(window);
    panels.bands = buildBandControls(window);
    panels.receiver = buildReceiverControls(window);
    buildRecorderControls(window);
    buildScopeControls(window);

    window->resize(twipsToPixels(MainWindowWidthTwips),
                   twipsToPixels(WindowSizeController::markerLineY1(1)));
    return panels;
}

} // namespace orvik
