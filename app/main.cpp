#include "app/QtDialogService.h"
#include "app/QtMessageService.h"
#include "common/Product.h"
#include "app/TerminationSignals.h"
#include "app/frmMain.h"
#include "bands/BandPlanDiscovery.h"
#include "platform/ProgramFolder.h"
#include "platform/clsComDlg.h"
#include "platform/MessageService.h"
#include "platform/SettingsStore.h"
#include "platform/sound/FakeSoundBackend.h"
#include "platform/sound/PortAudioSoundBackend.h"
#include "shell/DreamLauncher.h"

#include <QApplication>

#include <cstdio>
#include <cstdlib>
#include <memory>

int main(int argc, char** argv)
{
    orvik::recordOperatorEnvironment();
    QApplication app(argc, argv);
    QApplication::setApplicationName(QString::fromLatin1(orvik::ProductName));
    QApplication::setQuitOnLastWindowClosed(false);

    orvik::QtMessageService messageService;
    orvik::setMessageService(&messageService);
    orvik::QtDialogService dialogService;
    orvik::setDialogService(&dialogService);

    // ORVIKSDR_SOUND=null runs without any sound device (the receiver can be
    // switched on, no block ever arrives).
    std::unique_ptr<orvik::SoundBackend> backend;
    if (qgetenv("ORVIKSDR_SOUND") == "null")
        backend = std::make_unique<orvik::FakeSoundBackend>();
    else
        backend = std::make_unique<orvik::PortAudioSoundBackend>();

    orvik::SettingsStore store;
    orvik::ComDlg().readColours(store);
    const QString shipped = qEnvironmentVariableIsSet("ORVIKSDR_SHIPPED_BANDPLANS")
                                ? qEnvironmentVariable("ORVIKSDR_SHIPPED_BANDPLANS")
                                : orvik::kShippedBandPlans;
    const QString folder = orvik::programFolder();
    orvik::frmMain window({store, *backend, folder, shipped});
    orvik::closeWindowOnTerminationSignals(&window);

    const int refused = window.Form_Initialize(app.arguments().mid(1));
    if (refused != 0) {
        // The start ends here: nothing runs the shut-down and nothing saves.
        window.abandon();
        std::fflush(stdout);
        std::fflush(stderr);
        std::_Exit(refused);
    }
    // Otherwise only standard error would say so, in notes of the lock and the log.
    if (const QString problem = orvik::programFolderWriteProblem(folder); !problem.isEmpty())
        orvik::messages().show(QStringLiteral("The program folder %1 cannot be written: %2\nBand plans, presets and "
                                              "recordings cannot be saved there in this session.")
                                   .arg(folder, problem),
                               QString::fromLatin1(orvik::ProductName) + QStringLiteral(" - Program folder not writable"),
                               orvik::MessageButtons::Ok, orvik::MessageIcon::Warning);
    if (!store.saveRefusal().isEmpty())
        orvik::messages().show(QStringLiteral("Your settings were read from %1, but changes made in this session "
                                              "cannot be saved:\n%2")
                                   .arg(store.filePath(), store.saveRefusal()),
                               QString::fromLatin1(orvik::ProductName) + QStringLiteral(" - Settings will not be saved"),
                               orvik::MessageButtons::Ok, orvik::MessageIcon::Warning);
    // A termination signal while a box of the start was up closed the box, but the window's
    // close could only end the box's event loop: the program ends here instead of entering
    // its own.
    const int code = orvik::terminationRequested() ? 0 : app.exec();
    window.Form_Unload();
    window.Form_Terminate();
    orvik::ComDlg().saveColours();
    store.sync();
    // Everything is saved. A call into the sound library that was given up and is still
    // inside it (a frozen sound server) may use what the library and the process tear down
    // on a normal exit: end here instead.
    if (backend->abandonedCallRunning()) {
        std::fflush(stdout);
        std::fflush(stderr);
        std::_Exit(code);
    }
    orvik::setDialogService(nullptr);
    orvik::setMessageService(nullptr);
    return code;
}
