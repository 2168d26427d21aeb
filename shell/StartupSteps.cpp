#include "shell/StartupSteps.h"

namespace orvik {

std::vector<QString> StartupSteps::texts() const
{
    std::vector<QString> out;
    for (const Step& step : steps_)
        if (!step.text.isEmpty())
            out.push_back(step.text);
    return out;
}

void StartupSteps::run(const std::function<void(const QString&)>& log)
{
    current_ = 0;
    for (const Step& step : steps_) {
        ++current_;
        if (!step.text.isEmpty() && log)
            log(location_ + step.text);
        if (step.action)
            step.action();
    }
}

StartupFailureReport describeStartupFailure(const QString& location, int line, int code,
                                            const QString& description, const QString& source)
{
    const QString where = location + QLatin1Char(':') + QString::number(line);
    StartupFailureReport report;
    report.messageText = where + QStringLiteral("\nCode=") + QString::number(code) + QStringLiteral("\nDescription=") +
                         description + QStringLiteral("\nSource=") + source;
    report.logLine = QStringLiteral("Error:") + where + QStringLiteral(",Code=") + QString::number(code) +
                     QStringLiteral(",Description=") + description + QStringLiteral(",Source=") + source;
    return report;
}

} // namespace orvik
