#include "platform/ProgramFolder.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace orvik;

TEST(ProgramFolder, AFolderThatCannotBeWrittenIsToldWithTheSystemsReason)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    EXPECT_EQ(programFolderWriteProblem(dir.path()), "");
    EXPECT_TRUE(QDir(dir.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot).isEmpty())
        << "the trial file is removed again";

    EXPECT_EQ(programFolderWriteProblem(dir.filePath("missing")), "No such file or directory");
    QFile file(dir.filePath("file"));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.close();
    EXPECT_EQ(programFolderWriteProblem(dir.filePath("file")), "Not a directory");
    EXPECT_EQ(programFolderWriteProblem(dir.filePath("file/below")), "Not a directory");
}
