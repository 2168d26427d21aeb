#pragma once

#include <QString>
#include <QStringList>

#include <cstdint>
#include <deque>
#include <vector>

class QWidget;

namespace orvik {

// What a file dialog is asked for.
struct FileDialogRequest {
    QString title;
    QString folder;
    QString fileName;
    QString filter;           // "Description (*.ext)", empty for none
    QString defaultExtension; // without the dot, empty for none
    bool mustExist = false;   // open an existing file; otherwise a new name is allowed
};

// The colour and file dialogs the configuration dialog opens. The running program
// uses Qt's dialogs; tests answer through a scripted one, so nothing modal ever waits.
class ConfigDialogs {
public:
    virtual ~ConfigDialogs() = default;
    // The chosen colour (24-bit, red in the low byte), or -1 when cancelled.
    virtual int64_t SelectColour(QWidget* owner, uint32_t DefColor, bool ShowExpDlg) = 0;
    // The chosen path, or empty when cancelled.
    virtual QString GetFileName(QWidget* owner, const FileDialogRequest& request) = 0;
};

// The current dialogs; the default shows Qt's dialogs, and under a platform without a
// screen (offscreen, minimal) answers "cancelled" at once.
ConfigDialogs& configDialogs();
// nullptr restores the default. The caller keeps ownership.
void setConfigDialogs(ConfigDialogs* dialogs);

// Answers from queues and records what was asked; an empty queue cancels.
class ScriptedConfigDialogs : public ConfigDialogs {
public:
    int64_t SelectColour(QWidget* owner, uint32_t DefColor, bool ShowExpDlg) override;
    QString GetFileName(QWidget* owner, const FileDialogRequest& request) override;

    std::deque<int64_t> colours;
    std::deque<QString> files;
    std::vector<uint32_t> colourDefaults;
    std::vector<FileDialogRequest> fileRequests;
};

} // namespace orvik
