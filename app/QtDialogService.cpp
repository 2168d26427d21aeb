#include "app/QtDialogService.h"

#include "shell/widgets/ControlFactory.h"

#include "app/QtMessageService.h"
#include "platform/Log.h"

#include <QApplication>
#include <QColorDialog>
#include <QFileDialog>

namespace orvik {

FileDialogAnswer QtDialogService::fileDialog(const FileDialogOptions& request)
{
    if (QtMessageService::headless()) {
        AddLog(QStringLiteral("No screen: the dialog \"") + request.title + QStringLiteral("\" was cancelled"));
        return {};
    }
    QFileDialog dialog(QApplication::activeWindow(), request.title, request.directory);
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setAcceptMode(request.save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    dialog.setFileMode(request.multiSelect ? QFileDialog::ExistingFiles
                       : request.fileMustExist ? QFileDialog::ExistingFile
                                               : QFileDialog::AnyFile);
    if (request.save && !request.confirmOverwrite)
        dialog.setOption(QFileDialog::DontConfirmOverwrite);
    if (!request.nameFilters.isEmpty()) {
        dialog.setNameFilters(request.nameFilters);
        if (request.selectedFilter >= 0 && request.selectedFilter < request.nameFilters.size())
            dialog.selectNameFilter(request.nameFilters[request.selectedFilter]);
    }
    if (!request.defaultSuffix.isEmpty())
        dialog.setDefaultSuffix(request.defaultSuffix);
    if (!request.fileName.isEmpty())
        dialog.selectFile(request.fileName);

    FileDialogAnswer answer;
    if (dialog.exec() != QDialog::Accepted)
        return answer;
    answer.accepted = true;
    answer.files = dialog.selectedFiles();
    answer.selectedFilter = std::max<int>(0, static_cast<int>(request.nameFilters.indexOf(dialog.selectedNameFilter())));
    return answer;
}

int64_t QtDialogService::colourDialog(uint32_t initial, CustomColours& customColours)
{
    if (QtMessageService::headless()) {
        AddLog(QStringLiteral("No screen: the colour dialog was cancelled"));
        return -1;
    }
    for (int i = 0; i < 16; ++i)
        QColorDialog::setCustomColor(i, qColour(customColours[static_cast<size_t>(i)]));
    const QColor chosen = QColorDialog::getColor(qColour(initial), QApplication::activeWindow(), QString(),
                                                 QColorDialog::DontUseNativeDialog);
    for (int i = 0; i < 16; ++i)
        customColours[static_cast<size_t>(i)] = designColour(QColorDialog::customColor(i));
    return chosen.isValid() ? int64_t{designColour(chosen)} : -1;
}

} // namespace orvik
