#include "platform/clsComDlg.h"
#include "platform/DialogService.h"
#include "platform/MessageService.h"
#include "platform/SettingsStore.h"

#include <QDir>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace orvik;

namespace {

struct DialogRig {
    DialogRig()
    {
        setDialogService(&dialogs);
        setMessageService(&messages);
    }
    ~DialogRig()
    {
        setDialogService(nullptr);
        setMessageService(nullptr);
    }
    QString path(const QString& name) const { return dir.path() + QLatin1Char('/') + name; }

    QTemporaryDir dir;
    ScriptedDialogService dialogs;
    RecordingMessageService messages;
    clsComDlg dlg;
};

} // namespace

TEST(ComDlg, InputsAreNormalisedAsCallersPassThem)
{
    clsComDlg dlg;
    EXPECT_EQ(dlg.flags(), 0x280004u);
    struct Case {
        const char* given;
        const char* stored;
    };
    for (const Case c : {Case{"*.wav", "wav"}, Case{"*.thm", "thm"}, Case{".WAV", "wav"}, Case{"txt", "txt"},
                         Case{".JPEG", "jpe"}, Case{"*.*", ""}}) {
        dlg.setExtension(QLatin1String(c.given));
        EXPECT_EQ(dlg.defaultExtension(), QLatin1String(c.stored)) << c.given;
    }

    dlg.setFileName(QString(260, QLatin1Char('a')));
    EXPECT_EQ(dlg.initialFileName().size(), 260);
    dlg.setFileName(QString(261, QLatin1Char('b')));
    EXPECT_EQ(dlg.initialFileName(), QString(260, QLatin1Char('a'))) << "too long: the previous name stays";

    dlg.setFilter(QStringLiteral("Sound Files (*.wav)|*.wav|Themes|*.thm"));
    EXPECT_EQ(dlg.Filter(), QString()) << "no filter index";
    dlg.setFilterIndex(2);
    EXPECT_EQ(dlg.Filter(), QStringLiteral("Themes|*.thm"));

    dlg.setReadOnlyIsVisible(true);
    dlg.setReadOnly(true);
    dlg.setRestoreCurDir(true);
    dlg.setAllowMultiSelect(true);
    EXPECT_EQ(dlg.flags(), 0x280000u | 0x1 | 0x8 | 0x200);
    EXPECT_TRUE(dlg.ReadOnly());
    dlg.setAllowMultiSelect(false);
    dlg.setRestoreCurDir(false);
    dlg.setReadOnlyIsVisible(false);
    EXPECT_EQ(dlg.flags(), 0x280005u);
}

TEST(ComDlg, ResultsComeFromTheLastDialogOnly)
{
    DialogRig rig;
    QDir().mkpath(rig.path(QStringLiteral("sub")));
    rig.dlg.setDialogTitle(QStringLiteral("Pick"));
    rig.dlg.setDirectory(rig.dir.path());
    rig.dlg.setFileName(QStringLiteral("untitled.wav"));
    rig.dlg.setExtension(QStringLiteral("*.wav"));
    rig.dlg.setFilter(QStringLiteral("Sound Files (*.wav)|*.wav|Text|*.txt;*.log"));
    rig.dialogs.queueFile(rig.path(QStringLiteral("sub/one.WAV")));
    ASSERT_TRUE(rig.dlg.ShowOpen());
    const FileDialogOptions& r = rig.dialogs.fileRequests()[0];
    EXPECT_EQ(r.title, QStringLiteral("Pick"));
    EXPECT_EQ(r.directory, rig.dir.path());
    EXPECT_EQ(r.fileName, QStringLiteral("untitled.wav"));
    EXPECT_EQ(r.defaultSuffix, QStringLiteral("wav"));
    EXPECT_EQ(r.nameFilters, QStringList({QStringLiteral("Sound Files (*.wav)"), QStringLiteral("Text (*.txt *.log)")}));
    EXPECT_FALSE(r.save);
    EXPECT_EQ(rig.dlg.FileName(), rig.path(QStringLiteral("sub/one.WAV")));
    EXPECT_EQ(rig.dlg.FileTitle(), QStringLiteral("one.WAV"));
    EXPECT_EQ(rig.dlg.Directory(), rig.path(QStringLiteral("sub"))) << "no trailing separator";
    EXPECT_EQ(rig.dlg.Extension(), QStringLiteral("WAV"));
    EXPECT_EQ(rig.dlg.FileName().endsWith(QLatin1Char('/')), false);

    rig.dialogs.queueFile(QStringLiteral("/rootfile"));
    ASSERT_TRUE(rig.dlg.ShowOpen());
    EXPECT_EQ(rig.dlg.Directory(), QStringLiteral("/"));
    EXPECT_EQ(rig.dlg.Extension(), QString()) << "a name without a dot has no extension";

    rig.dialogs.queueCancel();
    EXPECT_FALSE(rig.dlg.ShowOpen());
    EXPECT_EQ(rig.dlg.FileName(), QString()) << "a cancel does not leave the earlier choice";
    EXPECT_EQ(rig.dlg.Directory(), QStringLiteral("/"));

    rig.dlg.setAllowMultiSelect(true);
    rig.dialogs.queueFiles({rig.path(QStringLiteral("a.wav")), rig.path(QStringLiteral("b.wav"))});
    ASSERT_TRUE(rig.dlg.ShowOpen());
    EXPECT_TRUE(rig.dialogs.fileRequests().back().multiSelect);
    EXPECT_EQ(rig.dlg.FileName(), QString());
    EXPECT_EQ(rig.dlg.FileNames(), QStringList({rig.path(QStringLiteral("sub/one.WAV")), QStringLiteral("/rootfile"),
                                                rig.path(QStringLiteral("a.wav")), rig.path(QStringLiteral("b.wav"))}));
    EXPECT_EQ(rig.dlg.FileTitles().size(), 4);
}

TEST(ComDlg, MustExistAndCreatePromptAskOnlyForTheirOwnDialog)
{
    DialogRig rig;
    rig.dlg.setExistFlags(clsComDlg::kFileMustExist | clsComDlg::kCreatePrompt);
    rig.dialogs.queueFile(rig.path(QStringLiteral("new.thm")));
    rig.messages.queueAnswer(MessageAnswer::No);
    EXPECT_FALSE(rig.dlg.ShowOpen()) << "the create question was answered No";
    EXPECT_TRUE(rig.dialogs.fileRequests()[0].fileMustExist);
    ASSERT_EQ(rig.messages.shown().size(), 1u);

    rig.dialogs.queueFile(rig.path(QStringLiteral("new.wav")));
    EXPECT_TRUE(rig.dlg.ShowOpen());
    EXPECT_FALSE(rig.dialogs.fileRequests()[1].fileMustExist) << "a later caller can name a new file";
    EXPECT_EQ(rig.messages.shown().size(), 1u) << "and is not asked to create it";
}

TEST(ComDlg, ShowSaveLeavesPathAndOverwriteFlagsSet)
{
    DialogRig rig;
    rig.dlg.setAllowMultiSelect(true);
    rig.dialogs.queueFile(rig.path(QStringLiteral("s.wav")));
    EXPECT_TRUE(rig.dlg.ShowSave());
    EXPECT_TRUE(rig.dialogs.fileRequests()[0].save);
    EXPECT_TRUE(rig.dialogs.fileRequests()[0].confirmOverwrite);
    EXPECT_FALSE(rig.dialogs.fileRequests()[0].multiSelect);
    EXPECT_EQ(rig.dlg.flags() & 0xA02u, 0x802u);

    rig.dialogs.queueFile(rig.path(QStringLiteral("missing/x.wav")));
    EXPECT_FALSE(rig.dlg.ShowOpen()) << "the path must exist, also for a later open";
    EXPECT_EQ(rig.dlg.FileName(), QString());
}

TEST(ComDlg, CustomColoursComeFromTheStoreAndGoBack)
{
    DialogRig rig;
    const QString ini = rig.path(QStringLiteral("s.ini"));
    {
        SettingsStore store(ini);
        store.write(QStringLiteral("ComDlg"), QStringLiteral("CustomColour(3)"), QStringLiteral("255"));
        store.write(QStringLiteral("ComDlg"), QStringLiteral("CustomColour(4)"), QStringLiteral("blue"));
        clsComDlg dlg;
        dlg.readColours(store);
        EXPECT_EQ(dlg.customColours()[0], 0xFFFFFFu);
        EXPECT_EQ(dlg.customColours()[3], 255u);
        EXPECT_EQ(dlg.customColours()[4], 0xFFFFFFu) << "a bad entry defaults to white";

        rig.dialogs.queueColour(0x00FF00, {{5, 0x123456}});
        EXPECT_EQ(dlg.SelectColour(0x0000FF, false), 0x00FF00);
        EXPECT_EQ(rig.dialogs.colourRequests(), std::vector<uint32_t>{0x0000FF});
        rig.dialogs.queueColour(-1, {{6, 0x654321}});
        EXPECT_EQ(dlg.SelectColour(0x0000FF, true), -1);
        EXPECT_EQ(dlg.customColours()[6], 0x654321u) << "custom colours are kept after a cancel";
        dlg.saveColours();
        store.sync();
    }
    SettingsStore store(ini);
    EXPECT_EQ(store.read(QStringLiteral("ComDlg"), QStringLiteral("CustomColour(5)"), {}), QStringLiteral("1193046"));
    EXPECT_EQ(store.read(QStringLiteral("ComDlg"), QStringLiteral("CustomColour(4)"), {}), QStringLiteral("16777215"));
}
