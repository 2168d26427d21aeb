#pragma once

#include <QString>
#include <QStringList>

#include <array>
#include <cstdint>
#include <deque>
#include <vector>

namespace orvik {

// What one file dialog is asked to do; nothing carries over from one request to the next.
struct FileDialogOptions {
    bool save = false;
    QString title;
    QString directory;
    QString fileName;
    QStringList nameFilters;  // "Sound Files (*.wav)"
    int selectedFilter = 0;   // index into nameFilters
    QString defaultSuffix;    // without the dot
    bool multiSelect = false;
    bool fileMustExist = false;
    bool confirmOverwrite = false;
};

struct FileDialogAnswer {
    bool accepted = false;
    QStringList files;        // absolute paths
    int selectedFilter = 0;
};

// Custom colours of the colour dialog: 32-bit values, red in the low byte.
using CustomColours = std::array<uint32_t, 16>;

// Every file and colour dialog of the program goes through the current service, so that
// no core class opens a window and tests answer dialogs without blocking.
class DialogService {
public:
    virtual ~DialogService() = default;
    virtual FileDialogAnswer fileDialog(const FileDialogOptions& request) = 0;
    // The chosen colour (red in the low byte), or -1 when cancelled; custom colours the
    // user defined are written back either way.
    virtual int64_t colourDialog(uint32_t initial, CustomColours& customColours) = 0;
};

// The current service; the default cancels every dialog and logs that it did.
DialogService& dialogs();
// nullptr restores the default. The caller keeps ownership.
void setDialogService(DialogService* service);

// Test double: hands out queued answers in order (cancel when none is left) and keeps requests.
class ScriptedDialogService : public DialogService {
public:
    FileDialogAnswer fileDialog(const FileDialogOptions& request) override;
    int64_t colourDialog(uint32_t initial, CustomColours& customColours) override;

    void queueFile(const QString& path);
    void queueFiles(const QStringList& paths);
    void queueCancel() { fileAnswers_.push_back(FileDialogAnswer{}); }
    void queueColour(int64_t colour, const std::vector<std::pair<int, uint32_t>>& customChanges = {});

    const std::vector<FileDialogOptions>& fileRequests() const { return fileRequests_; }
    const std::vector<uint32_t>& colourRequests() const { return colourRequests_; }

private:
    struct ColourAnswer {
        int64_t colour;
        std::vector<std::pair<int, uint32_t>> customChanges;
    };
    std::deque<FileDialogAnswer> fileAnswers_;
    std::deque<ColourAnswer> colourAnswers_;
    std::vector<FileDialogOptions> fileRequests_;
    std::vector<uint32_t> colourRequests_;
};

} // namespace orvik
