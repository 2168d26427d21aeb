#include "shell/widgets/Headless.h"

#include <QGuiApplication>

namespace orvik {

bool headless()
{
    const QString platform = QGuiApplication::platformName();
    return platform.isEmpty() || platform == QLatin1String("offscreen") || platform == QLatin1String("minimal");
}

} // namespace orvik
