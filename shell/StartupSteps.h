#pragma once

#include <QString>
#include "common/Product.h"

#include <functional>
#include <stdexcept>
#include <vector>

namespace orvik {

// Thrown by a start-up action to end the program on purpose (no band plan, ...):
// the message has been shown already, nothing is saved.
struct StartupAbort {
    int exitCode = 1;
};

// Thrown by a start-up action for a failure the error handler reports.
class StartupError : public std::runtime_error {
public:
    StartupError(const QString& description, int code = 0, QString source = QString::fromLatin1(ProductName))
        : std::runtime_error(description.toStdString()), code_(code), source_(std::move(source))
    {
    }
    int code() const { return code_; }
    const QString& source() const { return source_; }

private:
    int code_;
    QString source_;
};

// An ordered list of named start-up steps: each writes its log line (location and
// text) and then runs its action. The trace is fixed by the list, so actions can be
// filled in without touching the order. A step with an empty text logs nothing.
class StartupSteps {
public:
    struct Step {
        QString text;
        std::function<void()> action;
    };

    explicit StartupSteps(QString location) : location_(std::move(location)) {}

    StartupSteps& add(QString text, std::function<void()> action = {})
    {
        steps_.push_back({std::move(text), std::move(action)});
        return *this;
    }

    const QString& location() const { return location_; }
    const std::vector<Step>& steps() const { return steps_; }
    // The texts that reach the log, in order.
    std::vector<QString> texts() const;

    // Runs every step; exceptions pass to the caller. currentStep() tells which
    // step failed (1-based, the "line number" of the error messages).
    void run(const std::function<void(const QString&)>& log);
    int currentStep() const { return current_; }

private:
    QString location_;
    std::vector<Step> steps_;
    int current_ = 0;
};

// How a trapped start-up failure is reported (message box lines and log line).
struct StartupFailureReport {
    QString messageText;
    QString logLine;
};
StartupFailureReport describeStartupFailure(const QString& location, int line, int code,
                                            const QString& description, const QString& source);

} // namespace orvik
