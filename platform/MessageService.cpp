#include "platform/MessageService.h"

#include <cstdio>

namespace orvik {

namespace {

class StderrMessageService : public MessageService {
public:
    MessageAnswer show(const QString& text, const QString& title, MessageButtons buttons,
                       MessageIcon) override
    {
        std::fprintf(stderr, "%s\n", messageCopyLine(text, title).toLocal8Bit().constData());
        std::fflush(stderr);
        return firstAnswer(buttons);
    }
};

StderrMessageService defaultService;
MessageService* currentService = nullptr;

} // namespace

MessageAnswer firstAnswer(MessageButtons buttons)
{
    switch (buttons) {
    case MessageButtons::Ok:
    case MessageButtons::OkCancel:
        return MessageAnswer::Ok;
    case MessageButtons::YesNo:
    case MessageButtons::YesNoCancel:
        return MessageAnswer::Yes;
    case MessageButtons::RetryCancel:
        return MessageAnswer::Retry;
    case MessageButtons::AbortRetryIgnore:
        return MessageAnswer::Abort;
    }
    return MessageAnswer::Ok;
}

QString messageCopyLine(const QString& text, const QString& title)
{
    QString line = title + QStringLiteral(": ");
    line.reserve(line.size() + text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i] != u'\r') {
            line += text[i];
            continue;
        }
        line += u'\n';
        if (i + 1 < text.size() && text[i + 1] == u'\n')
            ++i;
    }
    return line;
}

MessageService& messages()
{
    return currentService ? *currentService : defaultService;
}

void setMessageService(MessageService* service)
{
    currentService = service;
}

MessageAnswer RecordingMessageService::show(const QString& text, const QString& title,
                                            MessageButtons buttons, MessageIcon icon)
{
    shown_.push_back(Shown{title, text, buttons, icon});
    if (answers_.empty())
        return firstAnswer(buttons);
    const MessageAnswer answer = answers_.front();
    answers_.pop_front();
    return answer;
}

} // namespace orvik
