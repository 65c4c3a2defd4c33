#include "VelorinTest.h"
#include "app/AudioSetupPage.h"
#include "app/HelloWorldWindow.h"
#include "app/MainComponent.h"
#include "engine/XmlFiles.h"
#include "ui/ReplayProcessorEditor.h"
#include <sys/stat.h>
#include <unistd.h>
#include <cstring>
#include <thread>

// What the user is told and shown: failures that passed in silence, views that lost the
// current entry, presses lost to the audio thread, the window at quit, a silent device.

class UserSeesTest : public VelorinTest
{
protected:
    UserSeesTest()   { editor->tellUser = [this] (const juce::String&, const juce::String& message) { told.add (message); }; }

    /** Blocks run on another thread as on the device, each with the MIDI notes 60 + action that `notesFor` gives its number, while this thread
        presses a round at a time and after each round checks, under the lock, the state the blocks done so far imply. Returns the misses. */
    int raceCount (std::function<void()> round, std::function<std::vector<int> (int)> notesFor, std::function<bool (int)> consistent)
    {
        const auto noteOn = [] (int action) { return juce::MidiMessage::noteOn (1, 60 + action, (juce::uint8) 127); };
        for (int action = 0; action < MidiMap::numMappings; ++action) processor->midiMap.setMessage (action, MidiMap::messageText (noteOn (action)));
        std::atomic<int> blocks { 0 };
        std::thread device ([&] { for (juce::AudioBuffer<float> buffer (2, 16); blocks < 20000;)
        {
            juce::MidiBuffer midi;
            for (auto action : notesFor (blocks)) midi.addEvent (noteOn (action), 0);
            const juce::ScopedLock sl (processor->getCallbackLock());
            processor->processBlock (buffer, midi), ++blocks;   // counted under the lock, with the state it implies
        } });
        int misses = 0;
        for (; blocks < 20000; round())
            if (const juce::ScopedLock sl (processor->getCallbackLock()); ! consistent (blocks)) ++misses;
        return device.join(), misses;
    }

    std::unique_ptr<ReplayProcessor> processor = std::make_unique<ReplayProcessor>();
    std::unique_ptr<ReplayProcessorEditor> editor = std::make_unique<ReplayProcessorEditor> (processor.get());
    juce::StringArray told;
};

TEST_F (UserSeesTest, FailedSaveLoadAndAddTellWhichFileAndWhy)
{
    editor->askToOverwrite = [] (std::function<void (bool)> reply) { reply (true); };
    const auto file = [this] (const char* name, const char* text = nullptr) { auto f = home.getChildFile (name); if (text != nullptr) f.replaceWithText (text); return f; };
    ASSERT_TRUE (file ("list.xml").createDirectory() && testkit::writeAudio (file ("fine.aiff"), 8000.0, 1, 800, 16));

    // Saves (chosen without ".xml") give the write's reason: over the folder list.xml, into a missing folder.
    for (auto [act, named, reason] : { std::tuple ('s', file ("list.xml"), (const char*) nullptr), { 's', file ("gone/list.xml"), nullptr },
                                       { 'l', file ("missing.xml"), "can't be read" }, { 'l', file ("garbage.xml", "not xml <<"), "is not a playlist" },
                                       { 'l', file ("other.xml", "<other/>"), "is not a playlist" }, { 'a', file ("song.mp3"), "is not a WAV or AIFF file" },
                                       { 'a', file ("broken.wav", "RIFF, but no audio"), "can't be opened as audio" }, { 'a', file ("fine.aiff"), "" } })
    {
        told.clear();
        act == 's' ? editor->saveChosen (named.withFileExtension ("")) : act == 'l' ? editor->loadChosen (named) : editor->addFileChosen (named);
        const juce::String why = reason != nullptr ? reason : XmlFiles::getLastWriteError();
        ASSERT_EQ (told.size(), reason == nullptr || *reason != 0 ? 1 : 0) << named.getFullPathName() << ": " << told.joinIntoString ("|");
        EXPECT_TRUE (told.isEmpty() || (why.isNotEmpty() && told[0].contains (named.getFullPathName()) && told[0].contains (why))) << told[0];
    }
    told.clear(), processor->folderScanLimitSeconds = -1.0, editor->addPathChosen (home);   // a scan cut short names its folder
    EXPECT_TRUE (told.size() == 1 && told[0].contains ("cut short") && told[0].contains (home.getFullPathName())) << told.joinIntoString ("|");
}

TEST_F (UserSeesTest, AfterDeleteTheViewsShowTheNewCurrentEntryAndAfterClearNoTimes)
{
    for (auto name : { "a.wav", "b.wav", "c.wav" }) editor->addFileChosen (audioFile (name, 8000.0, 1));
    processor->selectTrack (0), editor->timerCallback(), editor->playlist->selectRow (0), editor->buttonClicked (editor->deleteButton.get()), editor->timerCallback();
    ASSERT_EQ (processor->playlist[0]->file.getFileName(), "b.wav");
    EXPECT_TRUE (editor->waveform->currentTrack == processor->playlist[0] && editor->effects.currentTrack == processor->playlist[0]
                 && editor->effects.playInfoLabel->getText().contains ("LEN: 00:01:000")) << editor->effects.playInfoLabel->getText();
    editor->buttonClicked (editor->clearButton.get()), editor->timerCallback();
    EXPECT_EQ (editor->effects.playInfoLabel->getText(), "");
}

TEST_F (UserSeesTest, DeletingTheCurrentEntryInTheLastRowLeavesNoTimes)
{
    for (auto name : { "a.wav", "b.wav" })
        editor->addFileChosen (audioFile (name, 8000.0, 1));
    processor->selectTrack (1);
    editor->timerCallback();
    ASSERT_TRUE (editor->effects.playInfoLabel->getText().contains ("LEN: 00:01:000")) << "b.wav shown";

    editor->playlist->selectRow (1);
    editor->buttonClicked (editor->deleteButton.get());
    editor->timerCallback();
    EXPECT_EQ (editor->effects.playInfoLabel->getText(), "");
}

TEST_F (UserSeesTest, PressesAndTrackStepsAreNeverLostToTheAudioThread)
{
    for (int i = 0; i < 5; ++i) processor->addFile (home.getChildFile (juce::String (i) + ".wav"));   // an empty playlist would pause every block
    processor->selectTrack (2);
    auto& fx = editor->effects;
    const bool paused = processor->paused, loop = processor->loopEnabled;
    const auto press = [&] (std::initializer_list<juce::Button*> buttons) { for (auto* b : buttons) fx.buttonClicked (b); };

    // PLAY and LOOP: each block flips both flags twice, and so does each round of presses.
    EXPECT_EQ (raceCount ([&] { press ({ fx.playButton.get(), fx.playButton.get(), fx.repeatButton.get(), fx.repeatButton.get() }); }, [] (int) { return std::vector<int> { 2, 3, 2, 3 }; },
                          [&] (int) { return processor->paused == paused && processor->loopEnabled == loop; }), 0);
    // ">>" and "<<": even blocks go to the next entry, odd ones back; each round presses ">>" then "<<".
    EXPECT_EQ (raceCount ([&] { press ({ fx.nextButton.get(), fx.prevButton.get() }); }, [] (int block) { return std::vector<int> { block % 2 }; },
                          [&] (int blocks) { return processor->currentIndex == 2 + blocks % 2; }), 0);
}

using UserSeesWindowTest = VelorinTest;

TEST_F (UserSeesWindowTest, QuittingDoesNotCreateTheWindowAgainAndAddFileOffersExactlyWhatThePlayerPlays)
{
    juce::ChildProcess server;   // an Xvfb of its own, that ends once this process, its only client, has gone
    char number[16] = {};
    ASSERT_TRUE (server.start ({ "Xvfb", "-displayfd", "1", "-terminate", "-nolisten", "tcp" }, juce::ChildProcess::wantStdOut) && server.readProcessOutput (number, (int) sizeof (number) - 1) > 0);
    setenv ("DISPLAY", (":" + juce::String (number).trim()).toRawUTF8(), 1);
    struct PeerWatch : juce::ComponentListener   // told of each new native window
    { void componentParentHierarchyChanged (juce::Component& window) override { peersMade += window.isOnDesktop() ? 1 : 0; } int peersMade = 0; } watch;
    auto window = std::make_unique<HelloWorldWindow>();
    ASSERT_TRUE (window->isOnDesktop());
    window->addComponentListener (&watch), window.reset();
    EXPECT_EQ (watch.peersMade, 0);
    ReplayProcessor processor;    ReplayProcessorEditor editor (&processor);
    editor.buttonClicked (editor.addFileButton.get());
    auto* box = juce::ModalComponentManager::getInstance()->getModalComponent (0);
    ASSERT_NE (box, nullptr);
    std::function<juce::FileBrowserComponent* (juce::Component*)> find = [&] (juce::Component* c)
    { auto* found = dynamic_cast<juce::FileBrowserComponent*> (c); for (auto* child : c->getChildren()) found = found != nullptr ? found : find (child); return found; };
    auto* browser = find (box);
    ASSERT_NE (browser, nullptr);
    for (auto file : { "a.wav", "b.bwf", "c.aiff", "d.aif", "e.mp3", "f.ogg", "g.wma", "h.flac" })   // offered exactly when added
        EXPECT_EQ (browser->isFileSuitable (home.getChildFile (file)), (processor.addFile (home.getChildFile (file)), processor.playlist.getLast()->file == home.getChildFile (file))) << file;
    box->exitModalState (0);
}

TEST_F (UserSeesTest, WithoutCaptureThePlayerStillPlaysAndWithoutOutputTheSetupPageSaysWhy)
{
    struct FailingDevice : juce::AudioIODevice, juce::AudioIODeviceType   // a stereo device and its type; it won't open with any input, or (failsAlways) at all, and never runs
    {
        explicit FailingDevice (bool always) : AudioIODevice ("Fake", "Fake"), AudioIODeviceType ("Fake"), failsAlways (always) {}
        juce::String open (const juce::BigInteger& ins, const juce::BigInteger& outs, double, int) override
        { outputs = failsAlways || ! ins.isZero() ? juce::BigInteger() : outs; return outputs.isZero() ? "capture refused at this rate" : ""; }
        juce::BigInteger getActiveOutputChannels() const override { return outputs; }    juce::BigInteger getActiveInputChannels() const override { return {}; }    bool isOpen() override { return ! outputs.isZero(); }
        juce::StringArray getOutputChannelNames() override { return { "L", "R" }; }    juce::StringArray getInputChannelNames() override { return { "L", "R" }; }    juce::String getLastError() override { return {}; }
        juce::Array<double> getAvailableSampleRates() override { return { 48000.0 }; }    double getCurrentSampleRate() override { return 48000.0; }    juce::Array<int> getAvailableBufferSizes() override { return { 256 }; }
        int getDefaultBufferSize() override { return 256; }    int getCurrentBufferSizeSamples() override { return 256; }    int getCurrentBitDepth() override { return 16; }    bool isPlaying() override { return false; }
        void close() override {}    void start (juce::AudioIODeviceCallback*) override {}    void stop() override {}    int getOutputLatencyInSamples() override { return 0; }    int getInputLatencyInSamples() override { return 0; }
        juce::AudioIODevice* createDevice (const juce::String&, const juce::String&) override { return new FailingDevice (failsAlways); }    void scanForDevices() override {}
        juce::StringArray getDeviceNames (bool) const override { return { "Fake" }; }    bool hasSeparateInputsAndOutputs() const override { return false; }    int getDefaultDeviceIndex (bool) const override { return 0; }
        int getIndexOfDevice (juce::AudioIODevice*, bool) const override { return 0; }    bool failsAlways;    juce::BigInteger outputs;
    };
    for (const bool failsAlways : { false, true })
    {
        juce::AudioDeviceManager manager;
        manager.addAudioDeviceType (std::make_unique<FailingDevice> (failsAlways));
        AudioSetupPage page (manager, MainComponent::openAudioDevice (manager));
        EXPECT_EQ (manager.getCurrentAudioDevice() != nullptr ? manager.getCurrentAudioDevice()->getActiveOutputChannels().countNumberOfSetBits() : 0, failsAlways ? 0 : 2);
        EXPECT_EQ ((page.problemLabel->isVisible() ? "shown: " : "hidden: ") + page.problemLabel->getText(), failsAlways ? "shown: No audio output could be opened: capture refused at this rate" : "hidden: ");
    }
}

using DataFolderTest = VelorinTest;

TEST_F (DataFolderTest, ADataFolderThatCannotBeWrittenIsToldAtStart)
{
    const auto folder = privateHome.dataFolder();
    ASSERT_TRUE (folder.getParentDirectory().createDirectory());

    for (const bool readOnly : { false, true })
    {
        SCOPED_TRACE (readOnly ? "a read-only folder" : "a file in its place");
        const auto path = folder.getFullPathName();
        const bool made = readOnly ? folder.createDirectory().wasOk() && chmod (path.toRawUTF8(), 0555) == 0
                                   : folder.replaceWithText ("not a folder");
        ASSERT_TRUE (made);

        const bool root = geteuid() == 0;   // root writes anywhere: the program then runs as someone who can't
        ASSERT_TRUE (! root || seteuid (65534) == 0);
        auto processor = std::make_unique<ReplayProcessor>();
        ASSERT_TRUE (! root || seteuid (0) == 0);

        juce::StringArray told;
        auto editor = std::make_unique<ReplayProcessorEditor> (processor.get());
        editor->tellUser = [&] (const juce::String&, const juce::String& message) { told.add (message); };
        editor->tellAboutDataFolder();
        ASSERT_EQ (told.size(), 1);
        EXPECT_TRUE (told[0].contains ("cue points and loops set in this run won't be kept")) << told[0];
        EXPECT_TRUE (told[0].contains (folder.getFullPathName())) << told[0];

        editor.reset();
        processor.reset();
        chmod (path.toRawUTF8(), 0755);
        folder.deleteRecursively();
    }
}

TEST_F (UserSeesTest, PathNamesEachFolderThatCannotBeReadAndWhy)
{
    const auto tree = home.getChildFile ("tree"), locked = tree.getChildFile ("locked");
    ASSERT_TRUE (locked.createDirectory() && testkit::writeAudio (tree.getChildFile ("a.wav"), 8000.0, 1, 800, 16));
    for (auto folder : { home, tree })
        chmod (folder.getFullPathName().toRawUTF8(), 0755);
    chmod (locked.getFullPathName().toRawUTF8(), 0);
    const bool root = geteuid() == 0;   // root reads any folder: the scan then runs as someone who can't
    ASSERT_TRUE (! root || seteuid (65534) == 0);
    editor->addPathChosen (tree);
    editor->addPathChosen (locked);
    ASSERT_TRUE (! root || seteuid (0) == 0);

    const auto expected = "These folders can't be read:\n" + locked.getFullPathName() + ": "
                        + juce::String (std::strerror (EACCES));
    EXPECT_EQ (told.joinIntoString ("|"), expected + "|" + expected) << "told adding the tree, then the locked folder";
    EXPECT_EQ (processor->playlist.size(), 1);
}

TEST_F (UserSeesTest, PathNamesFilesWhoseNamesAreNotUtf8InsteadOfAddingThemBroken)
{
    const auto folder = home.getChildFile ("latin1");
    ASSERT_TRUE (testkit::writeAudio (folder.getChildFile ("fine.wav"), 8000.0, 1, 800, 16));
    const auto raw = folder.getFullPathName().toStdString() + "/";
    for (auto name : { "Caf\xe9.wav", "\xe9t\xe9.wav", "\xe9t\xe9.txt" })
        ASSERT_EQ (link ((raw + "fine.wav").c_str(), (raw + name).c_str()), 0) << "step: link";

    editor->addPathChosen (folder);
    for (auto name : { "Caf\xe9.wav", "\xe9t\xe9.wav", "\xe9t\xe9.txt" })
        unlink ((raw + name).c_str());   // JUCE can't remove what it can't name

    const auto path = folder.getFullPathName();
    EXPECT_EQ (told.joinIntoString ("|"), "These names aren't UTF-8, so the player can't open them:\n"
                                              + path + "/\\xe9t\\xe9.wav\n" + path + "/Caf\\xe9.wav");
    EXPECT_EQ (processor->playlist.size(), 1);
}

TEST_F (UserSeesTest, LoadTellsHowManyItemsItSkippedAndTheFirst)
{
    juce::XmlElement list ("playlist");
    for (auto name : { "/x/1.wav", "relative/a.wav", "~/b.wav", "/x/2.wav", "file:///x/c.wav", " /x/d.wav", "/x/3.wav",
                       "C:\\Music\\e.wav", "./f.wav", "/x/4.wav", "/x/5.wav" })
        list.createNewChildElement ("file")->setAttribute ("name", name);
    const auto file = home.getChildFile ("list.xml");
    ASSERT_TRUE (XmlFiles::writeDocument (list, file));

    editor->loadChosen (file);

    EXPECT_EQ (processor->playlist.size(), 5);
    EXPECT_EQ (told.joinIntoString ("|"), file.getFullPathName() + "\n"
                                              "Items skipped: 6 (only absolute paths of WAV or AIFF files are added)\n"
                                              "\"relative/a.wav\"\n\"~/b.wav\"\n\"file:///x/c.wav\"\n\" /x/d.wav\"\n"
                                              "\"C:\\Music\\e.wav\"\n...");
}
