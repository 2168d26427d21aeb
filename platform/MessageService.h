#pragma once

#include <QString>
#include <deque>
#include <vector>

namespace orvik {

enum class MessageButtons { Ok, OkCancel, YesNo, YesNoCancel, RetryCancel, AbortRetryIgnore };
enum class MessageIcon { None, Information, Question, Warning, Critical };
enum class MessageAnswer { Ok, Cancel, Yes, No, Retry, Abort, Ignore };

// Every message box of the program goes through the current service, so that no
// core class ever opens a window itself and tests can read the exact texts.
class MessageService {
public:
    virtual ~MessageService() = default;
    virtual MessageAnswer show(const QString& text, const QString& title, MessageButtons buttons,
                               MessageIcon icon) = 0;
};

// The answer of the leftmost button of a button set (what Enter picks).
MessageAnswer firstAnswer(MessageButtons buttons);

// The line a message leaves on standard error: "title: text", every line break of the
// text ("\r\n", "\n" or a lone "\r", which a box shows as a break but a terminal does not)
// written as "\n".
QString messageCopyLine(const QString& text, const QString& title);

// The current service; the default writes "title: text" to stderr and answers
// the first button without waiting for anybody.
MessageService& messages();
// nullptr restores the default. The caller keeps ownership.
void setMessageService(MessageService* service);

class RecordingMessageService : public MessageService {
public:
    struct Shown {
        QString title;
        QString text;
        MessageButtons buttons;
        MessageIcon icon;
    };

    MessageAnswer show(const QString& text, const QString& title, MessageButtons buttons,
                       MessageIcon icon) override;

    // Answers handed out in order; when none is left the first button answers.
    void queueAnswer(MessageAnswer answer) { answers_.push_back(answer); }
    const std::vector<Shown>& shown() const { return shown_; }
    void clear() { shown_.clear(); answers_.clear(); }

private:
    std::vector<Shown> shown_;
    std::deque<MessageAnswer> answers_;
};

} // namespace orvik
