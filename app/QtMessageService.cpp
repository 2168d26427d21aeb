#include "app/QtMessageService.h"

#include "shell/widgets/Headless.h"

#include <QMessageBox>

#include <cstdio>

namespace orvik {

bool QtMessageService::headless()
{
    return orvik::headless();
}

MessageAnswer QtMessageService::show(const QString& text, const QString& title, MessageButtons buttons,
                                     MessageIcon icon)
{
    std::fprintf(stderr, "%s\n", (title + QStringLiteral(": ") + text).toLocal8Bit().constData());
    std::fflush(stderr);
    if (headless())
        return firstAnswer(buttons);

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
    using B = QMessageBox::StandardButton;
    struct Choice {
        B button;
        MessageAnswer answer;
    };
    std::vector<Choice> choices;
    switch (buttons) {
    case MessageButtons::Ok: choices = {{B::Ok, MessageAnswer::Ok}}; break;
    case MessageButtons::OkCancel: choices = {{B::Ok, MessageAnswer::Ok}, {B::Cancel, MessageAnswer::Cancel}}; break;
    case MessageButtons::YesNo: choices = {{B::Yes, MessageAnswer::Yes}, {B::No, MessageAnswer::No}}; break;
    case MessageButtons::YesNoCancel:
        choices = {{B::Yes, MessageAnswer::Yes}, {B::No, MessageAnswer::No}, {B::Cancel, MessageAnswer::Cancel}};
        break;
    case MessageButtons::RetryCancel:
        choices = {{B::Retry, MessageAnswer::Retry}, {B::Cancel, MessageAnswer::Cancel}};
        break;
    case MessageButtons::AbortRetryIgnore:
        choices = {{B::Abort, MessageAnswer::Abort}, {B::Retry, MessageAnswer::Retry}, {B::Ignore, MessageAnswer::Ignore}};
        break;
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
