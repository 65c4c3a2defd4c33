#include "TestSupport.h"
#include "ui/ConfigFile.h"

// The settings file of last-used folders: read when made, written when destroyed.

class ConfigFileTest : public TempHomeTest
{
protected:
    juce::File settingsFile() const   { return dataFolder().getChildFile (".config"); }
    const juce::String declaration = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n\r\n";
};

TEST_F (ConfigFileTest, FirstRunWritesOnlyTheKeysSetInOrder)
{
    ASSERT_TRUE (dataFolder().createDirectory());
    {
        ConfigFile config ("Velorin");
        EXPECT_EQ (config.file, settingsFile());
        EXPECT_EQ (config.getValue ("LastUsedPath"), "");
        EXPECT_FALSE (settingsFile().exists());   // nothing is created before the end
    }
    EXPECT_EQ (settingsFile().loadFileAsString(), declaration + "<config/>\r\n");

    {
        ConfigFile config ("Velorin");
        config.setValue ("LastUsedPath", "/music/a");
        config.setValue ("LastUsedPlaylist", "/lists");
        config.setValue ("LastUsedPath", "/music/b");   // keeps its place
        EXPECT_EQ (config.getValue ("LastUsedPath"), "/music/b");
    }
    EXPECT_EQ (settingsFile().loadFileAsString(),
               declaration + "<config LastUsedPath=\"/music/b\" LastUsedPlaylist=\"/lists\"/>\r\n");
}

TEST_F (ConfigFileTest, ValuesComeBackInTheNextRun)
{
    ASSERT_TRUE (dataFolder().createDirectory());
    const juce::String accented (juce::CharPointer_UTF8 ("/home/m\xc3\xbasica/\xc3\xa1lbum & \"live\""));
    {
        ConfigFile config ("Velorin");
        config.setValue ("LastUsedFile", accented);
        config.setValue ("Empty", "");
    }

    ConfigFile config ("Velorin");
    EXPECT_EQ (config.getValue ("LastUsedFile"), accented);
    EXPECT_TRUE (config.settings.hasAttribute ("Empty"));
}

TEST_F (ConfigFileTest, ForeignContentAndAnotherRootAreKept)
{
    ASSERT_TRUE (dataFolder().createDirectory());
    ASSERT_TRUE (settingsFile().replaceWithText ("<settings Theme=\"dark\" LastUsedPath=\"/x\"><window w=\"3\"/></settings>"));
    {
        ConfigFile config ("Velorin");
        EXPECT_EQ (config.getValue ("LastUsedPath"), "/x");
        config.setValue ("LastUsedPath", "/y");
        config.setValue ("LastUsedFile", "/z");
    }

    EXPECT_EQ (settingsFile().loadFileAsString(),
               declaration + "<settings Theme=\"dark\" LastUsedPath=\"/y\" LastUsedFile=\"/z\">\r\n"
                             "  <window w=\"3\"/>\r\n"
                             "</settings>\r\n");
}

TEST_F (ConfigFileTest, MalformedFileGivesEmptySettingsAndIsReplaced)
{
    ASSERT_TRUE (dataFolder().createDirectory());
    ASSERT_TRUE (settingsFile().replaceWithText ("<config LastUsedPath=\"/x\" <<"));
    {
        ConfigFile config ("Velorin");
        EXPECT_EQ (config.getValue ("LastUsedPath"), "");
        config.setValue ("LastUsedFile", "/f");
    }

    EXPECT_EQ (settingsFile().loadFileAsString(), declaration + "<config LastUsedFile=\"/f\"/>\r\n");
}

TEST_F (ConfigFileTest, MissingDataFolderIsNotAnError)
{
    {
        ConfigFile config ("Velorin");
        config.setValue ("LastUsedPath", "/x");
    }

    EXPECT_FALSE (settingsFile().exists());
    EXPECT_FALSE (dataFolder().exists());
}
