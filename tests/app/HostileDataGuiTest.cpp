// The real main window over a data folder prepared by an attacker: a storage
// path in ENTITY.DAT that reaches outside the folder. Start, exit (which
// saves every storage file) and removal (which deletes the entity's file)
// must leave the file outside as it was.
#include "app/SampleData.h"
#include "app/TForm1.h"
#include "app/steps/TEntitySession.h"
#include "store/TRequestFile.h"
#include "store/TUsersData.h"
#include "support/FindNamed.h"
#include "support/ModalAnswerer.h"

#include <QAction>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <filesystem>

using namespace testsupport;

TEST(HostileData, StoragePathOutsideTheDataFolderIsNeverTouched)
{
    QTemporaryDir tmp;
    ASSERT_TRUE(tmp.isValid());
    const std::string root = tmp.path().toStdString() + "/";
    const std::string data = root + "data/";
    std::filesystem::create_directory(data);
    const std::string outside = root + "x";
    sample::WriteFile(outside, "not a data file of the client");
    sample::Write(data, {sample::Make("Alfa", "11222333000181", sample::State::Created)});
    {
        TRequestFile registry(data + "ENTITY.DAT");
        registry.WriteString("Entity1", "filename", data + "../x");
        registry.UpdateFile();
    }

    {
        TForm1 form(data);
        ASSERT_FALSE(form.HasStartFailed());
        ASSERT_EQ(form.Session()->Registry().Count(), 1);
        EXPECT_EQ(form.Session()->ActiveStorage()->FileName(), data + "STORAGE.1.DAT");
    }
    EXPECT_EQ(sample::ReadFile(outside), "not a data file of the client");
    // The stamp at exit went to the entity's own file.
    EXPECT_FALSE(TRequestFile(data + "STORAGE.1.DAT").ReadString("Fingerprint", "Value", "").empty());

    {
        TForm1 form(data);
        AnswerNextModal([](QWidget* dialog) { ClickButton(dialog, QStringLiteral("OK")); });
        FindNamed<QAction>(form, "RequestRemove")->trigger();
        EXPECT_EQ(form.Session()->Registry().Count(), 0);
    }
    EXPECT_EQ(sample::ReadFile(outside), "not a data file of the client");
    EXPECT_FALSE(std::filesystem::exists(data + "STORAGE.1.DAT"));
}
