#pragma once

#include "platform/MessageService.h"

namespace orvik {

// The program's message boxes: every message is also written to stderr as
// "title: text"; under a platform without a screen (offscreen, minimal) nothing
// modal is shown and the first button answers, so no headless run can block.
class QtMessageService : public MessageService {
public:
    MessageAnswer show(const QString& text, const QString& title, MessageButtons buttons,
                       MessageIcon icon) override;
    static bool headless();
};

} // namespace orvik
