#include "app/QtMessageService.h"

#include "app/TerminationSignals.h"
#include "shell/widgets/Headless.h"

#include <QMessageBox>

#include <cstdio>

namespace orvik {

namespace {

struct Choice {
    QMessageBox::StandardButton button;
    MessageAnswer answer;
};

// The buttons left to right; the last one answers a box closed by its close command.
std::vector<Choice> choicesFor(MessageButtons buttons)
{
    using B = QMessageBox::StandardButton;
    switch (buttons) {
    case MessageButtons::Ok: return {{B::Ok, MessageAnswer::Ok}};
    case MessageButtons::OkCancel: return {{B::Ok, MessageAnswer::Ok}, {B::Cancel, MessageAnswer::Cancel}};
    case MessageButtons::YesNo: return {{B::Yes, MessageAnswer::Yes}, {B::No, MessageAnswer::No}};
    case MessageButtons::YesNoCancel:
        return {{B::Yes, MessageAnswer::Yes}, {B::No, MessageAnswer::No}, {B::Cancel, MessageAnswer::Cancel}};
    case MessageButtons::RetryCancel: return {{B::Retry, MessageAnswer::Retry}, {B::Cancel, MessageAnswer::Cancel}};
    case MessageButtons::AbortRetryIgnore:
        return {{B::Abort, MessageAnswer::Abort}, {B::Retry, MessageAnswer::Retry}, {B::Ignore, MessageAnswer::Ignore}};
    }
    return {{B::Ok, MessageAnswer::Ok}};
}

} // namespace

bool QtMessageService::headless()
{
    return orvik::headless();
}

MessageAnswer QtMessageService::show(const QString& text, const QString& title, MessageButtons buttons,
                                     MessageIcon icon)
{
    std::fprintf(stderr, "%s\n", messageCopyLine(text, title).toLocal8Bit().constData());
    std::fflush(stderr);
    if (headless())
        return firstAnswer(buttons);
    const std::vector<Choice> choices = choicesFor(buttons);
    // The program is ending: no box waits for an answer, each is taken as closed.
    if (terminationRequested())
        return choices.back().answer;

    QMessageBox box;
    box.setWindowTitle(title);
    box.setText(text);
    switch (icon) {
    case MessageIcon::None: box.setIcon(QMessageBox::NoIcon); break;
    case MessageIcon::Information: box.setIcon(QMessageBox::Information); break;
    case MessageIcon::Question: box.setIcon(QMessageBox::Question); break;
    case MessageIcon::Warning: box.setIcon(QMessageBox::Warning); break;
    case MessageIcon::Critical: box.setIcon(QMessageBox::Critical); break;
    }
    for (const Choice& c : choices)
        box.addButton(c.button);
    box.setDefaultButton(choices.front().button);
    const int result = box.exec();
    for (const Choice& c : choices)
        if (result == c.button)
            return c.answer;
    return choices.back().answer; // closed by the window's own close command
}

} // namespace orvik
