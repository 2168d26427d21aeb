#include "platform/DialogService.h"

#include "platform/Log.h"

namespace orvik {

namespace {

class CancellingDialogService : public DialogService {
public:
    FileDialogAnswer fileDialog(const FileDialogOptions& request) override
    {
        AddLog(QStringLiteral("No dialog can be shown here: \"") + request.title + QStringLiteral("\" was cancelled"));
        return {};
    }
    int64_t colourDialog(uint32_t, CustomColours&) override
    {
        AddLog(QStringLiteral("No dialog can be shown here: the colour choice was cancelled"));
        return -1;
    }
};

CancellingDialogService defaultService;
DialogService* currentService = nullptr;

} // namespace

DialogService& dialogs()
{
    return currentService ? *currentService : defaultService;
}

void setDialogService(DialogService* service)
{
    currentService = service;
}

FileDialogAnswer ScriptedDialogService::fileDialog(const FileDialogOptions& request)
{
    fileRequests_.push_back(request);
    if (fileAnswers_.empty())
        return {};
    FileDialogAnswer answer = fileAnswers_.front();
    fileAnswers_.pop_front();
    return answer;
}

int64_t ScriptedDialogService::colourDialog(uint32_t initial, CustomColours& customColours)
{
    colourRequests_.push_back(initial);
    if (colourAnswers_.empty())
        return -1;
    const ColourAnswer answer = colourAnswers_.front();
    colourAnswers_.pop_front();
    for (const auto& [slot, colour] : answer.customChanges)
        if (slot >= 0 && slot < static_cast<int>(customColours.size()))
            customColours[static_cast<size_t>(slot)] = colour;
    return answer.colour;
}

void ScriptedDialogService::queueFile(const QString& path)
{
    queueFiles({path});
}

void ScriptedDialogService::queueFiles(const QStringList& paths)
{
    FileDialogAnswer answer;
    answer.accepted = true;
    answer.files = paths;
    fileAnswers_.push_back(answer);
}

void ScriptedDialogService::queueColour(int64_t colour, const std::vector<std::pair<int, uint32_t>>& customChanges)
{
    colourAnswers_.push_back({colour, customChanges});
}

} // namespace orvik
