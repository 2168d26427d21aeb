#include "config/ui/ConfigDialogs.h"

#include "shell/widgets/ControlFactory.h"

#include <QColorDialog>
#include <QFileDialog>
#include <QGuiApplication>

namespace orvik {

namespace {

bool screenless()
{
    const QString platform = QGuiApplication::platformName();
    return platform == QLatin1String("offscreen") || platform == QLatin1String("minimal");
}

class QtConfigDialogs : public ConfigDialogs {
public:
    int64_t SelectColour(QWidget* owner, uint32_t DefColor, bool ShowExpDlg) override
    {
        if (screenless())
            return -1;
        QColorDialog::ColorDialogOptions options;
        if (!ShowExpDlg)
            options |= QColorDialog::NoButtons;
        const QColor chosen = QColorDialog::getColor(qColour(DefColor), owner, QString(), options);
        return chosen.isValid() ? static_cast<int64_t>(designColour(chosen)) : -1;
    }

    QString GetFileName(QWidget* owner, const FileDialogRequest& request) override
    {
        if (screenless())
            return {};
        QFileDialog dialog(owner, request.title, request.folder, request.filter);
        dialog.setAcceptMode(request.mustExist ? QFileDialog::AcceptOpen : QFileDialog::AcceptSave);
        dialog.setFileMode(request.mustExist ? QFileDialog::ExistingFile : QFileDialog::AnyFile);
        dialog.setOption(QFileDialog::DontConfirmOverwrite, false);
        dialog.setOption(QFileDialog::ReadOnly, false);
        if (!request.defaultExtension.isEmpty())
            dialog.setDefaultSuffix(request.defaultExtension);
        if (!request.fileName.isEmpty())
            dialog.selectFile(request.fileName);
        if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
            return {};
        return dialog.selectedFiles().constFirst();
    }
};

QtConfigDialogs defaultDialogs;
ConfigDialogs* current = nullptr;

} // namespace

ConfigDialogs& configDialogs()
{
    return current ? *current : defaultDialogs;
}

void setConfigDialogs(ConfigDialogs* dialogs)
{
    current = dialogs;
}

int64_t ScriptedConfigDialogs::SelectColour(QWidget*, uint32_t DefColor, bool)
{
    colourDefaults.push_back(DefColor);
    if (colours.empty())
        return -1;
    const int64_t answer = colours.front();
    colours.pop_front();
    return answer;
}

QString ScriptedConfigDialogs::GetFileName(QWidget*, const FileDialogRequest& request)
{
    fileRequests.push_back(request);
    if (files.empty())
        return {};
    QString answer = files.front();
    files.pop_front();
    return answer;
}

} // namespace orvik
