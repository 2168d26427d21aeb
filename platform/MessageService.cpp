#include "platform/MessageService.h"

#include <cstdio>

namespace orvik {

namespace {

class StderrMessageService : public MessageService {
public:
    MessageAnswer show(const QString& text, const QString& title, MessageButtons buttons,
                       MessageIcon) override
    {
        const QByteArray line = (title + QStringLiteral(": ") + text).toLocal8Bit();
        std::fprintf(stderr, "%s\n", line.constData());
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
