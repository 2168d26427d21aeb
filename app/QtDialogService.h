#pragma once

#include "platform/DialogService.h"

namespace orvik {

// The program's file and colour dialogs (Qt's own, not the desktop's, so they look and act the
// same everywhere). Without a screen every dialog is cancelled and logged, so no headless run
// can block on one.
class QtDialogService : public DialogService {
public:
    FileDialogAnswer fileDialog(const FileDialogOptions& request) override;
    int64_t colourDialog(uint32_t initial, CustomColours& customColours) override;
};

} // namespace orvik
