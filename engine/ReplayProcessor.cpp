#include "engine/ReplayProcessor.h"
#include "engine/XmlFiles.h"

#include <juce_gui_basics/juce_gui_basics.h>

#include <dirent.h>
#include <sys/stat.h>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <filesystem>

ReplayProcessor::ReplayProcessor()
    : juce::AudioProcessor (BusesProperties()
                                .withInput ("Input", juce::AudioChannelSet::stereo(), true)
                                .withOutput ("Output", juce::AudioChannelSet::stereo(), true))
{
    formatManager.registerBasicFormats();
    audioFiles = std::make_unique<juce::WildcardFileFilter> (formatManager.getWildcardForAllFormats(), juce::String(),
                                                             "Audio");

    // A write beyond the file-size limit then fails like one on a full disk, with EFBIG,
    // instead of ending the program before the other files are written.
    std::signal (SIGXFSZ, SIG_IGN);

    dataFolderProblem = XmlFiles::prepareDataFolder();
    XmlFiles::removeLeftovers (XmlFiles::getDataFolder());

    const auto file = getDataFile();

    if (! file.exists())
        file.create();

    auto document = XmlFiles::readDocument (file);
    dataFileMayBeReplaced = document.mayReplace;
    dataFileIdentity = document.identity;
    dataRoot = std::move (document.root);

    if (dataRoot == nullptr)
        dataRoot = std::make_unique<juce::XmlElement> ("data");

    storedPoints = std::make_unique<PointStore> (dataRoot.get());
}

ReplayProcessor::~ReplayProcessor()
{
    clearPlaylist();
    writeDataFile();
    storedPoints.reset();
    dataRoot.reset();
    formatManager.clearFormats();
}

void ReplayProcessor::writeDataFiles()
{
    for (auto* entry : playlist)
        entry->storePoints();

    writeDataFile();
    midiMap.write();
    dataFileMayBeReplaced = false;
}

void ReplayProcessor::writeDataFile()
{
    if (! dataFileMayBeReplaced)
        return;

    const auto file = getDataFile();

    storedPoints->restoreOrder();

    const XmlFiles::WriteLock lock;

    if (! lock.isHeld() || ! writeDataFileLocked (file))
        XmlFiles::tellNotKept (TRANS ("cue points and loops"), file);
}

bool ReplayProcessor::writeDataFileLocked (const juce::File& file)
{
    if (XmlFiles::identityOf (file) == dataFileIdentity)
    {
        if (! XmlFiles::writeDocument (*dataRoot, file))
            return false;

        dataFileIdentity = XmlFiles::identityOf (file);
        return true;
    }

    // Another copy of the program (or the user) has written the file since it was read:
    // what it holds now is kept, and only what this run changed goes into it.
    auto now = XmlFiles::readDocument (file);

    if (! now.mayReplace)
        return true;

    if (now.root == nullptr)
        return XmlFiles::writeDocument (*dataRoot, file);

    storedPoints->mergeChangesInto (*now.root);
    return XmlFiles::writeDocument (*now.root, file);
}

juce::File ReplayProcessor::getDataFile()
{
    return XmlFiles::getDataFile ("data.xml");
}

juce::String ReplayProcessor::getDataFolderProblem() const
{
    return dataFolderProblem;
}

//==============================================================================
const juce::String ReplayProcessor::getName() const
{
    return "Velorin";
}
void ReplayProcessor::prepareToPlay (double, int) {}
void ReplayProcessor::releaseResources() {}
bool ReplayProcessor::silenceInProducesSilenceOut() const
{
    return false;
}
double ReplayProcessor::getTailLengthSeconds() const
{
    return 0.0;
}
bool ReplayProcessor::acceptsMidi() const
{
    return false;
}
bool ReplayProcessor::producesMidi() const
{
    return false;
}

bool ReplayProcessor::hasEditor() const
{
    return true;
}

JUCE_BEGIN_IGNORE_WARNINGS_GCC_LIKE ("-Wdeprecated-declarations")

const juce::String ReplayProcessor::getInputChannelName (int channelIndex) const
{
    return juce::String (channelIndex + 1);
}
const juce::String ReplayProcessor::getOutputChannelName (int channelIndex) const
{
    return juce::String (channelIndex + 1);
}
bool ReplayProcessor::isInputChannelStereoPair (int) const
{
    return true;
}
bool ReplayProcessor::isOutputChannelStereoPair (int) const
{
    return true;
}

int ReplayProcessor::getNumParameters()
{
    return 2;
}

const juce::String ReplayProcessor::getParameterName (int parameterIndex)
{
    switch (parameterIndex)
    {
        case 0: return "gain";
        case 1: return "delay";
        default: return {};
    }
}

float ReplayProcessor::getParameter (int parameterIndex)
{
    switch (parameterIndex)
    {
        case 0: return gain;
        case 1: return delay;
        default: return 0.0f;
    }
}

const juce::String ReplayProcessor::getParameterText (int parameterIndex)
{
    return juce::String ((double) getParameter (parameterIndex), 2);
}

void ReplayProcessor::setParameter (int parameterIndex, float newValue)
{
    if (parameterIndex == 0)
        gain = newValue;
    else if (parameterIndex == 1)
        delay = newValue;
}

JUCE_END_IGNORE_WARNINGS_GCC_LIKE

int ReplayProcessor::getNumPrograms()
{
    return 0;
}
int ReplayProcessor::getCurrentProgram()
{
    return 0;
}
void ReplayProcessor::setCurrentProgram (int) {}
void ReplayProcessor::changeProgramName (int, const juce::String&) {}

const juce::String ReplayProcessor::getProgramName (int index)
{
    // A host may ask from any thread: the entry is only read while DELETE and CLEAR can't
    // take it away, and only the copied path leaves the lock.
    juce::String path;

    {
        const juce::ScopedLock sl (getCallbackLock());

        if (auto* entry = playlist[index])
            path = entry->getFilePath();
    }

    return path;
}

void ReplayProcessor::getStateInformation (juce::MemoryBlock& destData)
{
    juce::XmlElement state ("MYPLUGINSETTINGS");
    state.setAttribute ("uiWidth", uiWidth);
    state.setAttribute ("uiHeight", uiHeight);
    state.setAttribute ("gain", (double) gain.load());
    state.setAttribute ("delay", (double) delay.load());
    copyXmlToBinary (state, destData);
}

void ReplayProcessor::setStateInformation (const void* data, int sizeInBytes)
{
    const auto state = getXmlFromBinary (data, sizeInBytes);

    if (state == nullptr || state->getTagName() != "MYPLUGINSETTINGS")
        return;

    uiWidth = state->getIntAttribute ("uiWidth", uiWidth);
    uiHeight = state->getIntAttribute ("uiHeight", uiHeight);
    gain = (float) state->getDoubleAttribute ("gain", (double) gain.load());
    delay = (float) state->getDoubleAttribute ("delay", (double) delay.load());
}

//==============================================================================
void ReplayProcessor::processBlock (juce::AudioBuffer<float>& buffer, juce::MidiBuffer& midiMessages)
{
    if (! midiMessages.isEmpty())
    {
        for (const auto metadata : midiMessages)
        {
            int action = 0;

            if (! midiMap.handleMessage (metadata.data, metadata.numBytes, action))
                continue;

            switch (action)
            {
                case 0: switchTrack (currentIndex + 1); break;
                case 1: switchTrack (currentIndex - 1); break;
                case 2: flip (paused); break;
                case 3: flip (loopEnabled); break;
                default: break;
            }
        }

        midiActivity = true;
    }

    const int numSamples = buffer.getNumSamples();
    const int numChannels = buffer.getNumChannels();

    for (int channel = 0; channel < juce::jmin (getTotalNumOutputChannels(), numChannels); ++channel)
        buffer.clear (channel, 0, numSamples);

    if (playlist.isEmpty())
        paused = true;

    if (currentIndex < 0)
        switchTrack (0);

    if (paused)
        return;

    // Without a device rate, an output channel or a sample there is nothing to load or render into.
    if (getSampleRate() <= 0.0 || numChannels == 0 || numSamples == 0)
        return;

    auto* entry = playlist[currentIndex];

    if (entry == nullptr)
        return;

    // A file that doesn't open (deleted, unmounted, damaged) is tried once per selection
    // and then treated as one that has ended: silence for the gap, then the next entry.
    if (entry->source == nullptr && entry != unloadableEntry)
    {
        entry->load (numSamples, (float) getSampleRate());

        if (entry->source == nullptr)
        {
            const float gap = delay;
            unloadableEntry = entry;
            unloadableGapLeft = (juce::int64) ((gap > 0.0f ? juce::jmin (gap, 3600.0f) : 0.0f) * getSampleRate());
        }
    }

    if (entry->source == nullptr)
    {
        unloadableGapLeft -= numSamples;

        if (unloadableGapLeft <= 0)
        {
            unloadableEntry = nullptr;

            if (! loopEnabled)
                switchTrack (currentIndex + 1);
        }
    }
    else if (buffer.getWritePointer (0) != nullptr)
    {
        renderEntry (*entry, buffer);
    }

    buffer.applyGain (0, numSamples, volume);
}

void ReplayProcessor::renderEntry (PlaylistEntry& entry, juce::AudioBuffer<float>& buffer)
{
    auto& source = *entry.source;
    source.getNextResampledAudioBlock (juce::AudioSourceChannelInfo (&buffer, 0, buffer.getNumSamples()));

    // A-B loop; a loop whose A isn't before B counts as none.
    const float a = entry.loopA;
    const float b = entry.loopB;

    if (b > 0.0f && loopEnabled && a < b)
    {
        if (source.positionToSeconds (source.getNextReadPosition()) > b)
            source.setNextReadPosition (source.secondsToPosition (a));
    }

    // End of file, after the gap of `delay` seconds.
    const float position = source.positionToSeconds (source.getNextReadPosition());
    const float length = source.positionToSeconds (source.getTotalLength());

    if (position >= delay + length)
    {
        if (loopEnabled)
            source.setNextReadPosition (0);
        else
            switchTrack (currentIndex + 1);   // deletes the source: nothing may use it after this
    }
}

//==============================================================================
void ReplayProcessor::selectTrack (int index)
{
    std::unique_ptr<ResampledAudioFormatReaderSource> unloaded;

    {
        const juce::ScopedLock sl (getCallbackLock());
        unloaded = switchTrack (index);
    }
}

void ReplayProcessor::stepTrack (int delta)
{
    std::unique_ptr<ResampledAudioFormatReaderSource> unloaded;

    {
        const juce::ScopedLock sl (getCallbackLock());
        unloaded = switchTrack (getCurrentIndex() + delta);
    }
}

std::unique_ptr<ResampledAudioFormatReaderSource> ReplayProcessor::switchTrack (int index)
{
    const int current = currentIndex;
    const int size = playlist.size();

    if (index == current || size == 0)
        return nullptr;

    if (index > size || index < 0)
    {
        paused = true;
        return nullptr;
    }

    index = juce::jmin (index, size - 1);

    std::unique_ptr<ResampledAudioFormatReaderSource> unloaded;

    if (auto* leaving = playlist[current])
        unloaded = std::move (leaving->source);

    currentIndex = index;
    unloadableEntry = nullptr;
    return unloaded;
}

int ReplayProcessor::getCurrentIndex() const
{
    return playlist.isEmpty() ? -1 : currentIndex.load();
}

float ReplayProcessor::getEntryPositionSeconds (const PlaylistEntry& entry) const
{
    const juce::ScopedLock sl (getCallbackLock());
    return entry.getPositionSeconds();
}

void ReplayProcessor::moveEntryTo (PlaylistEntry& entry, float seconds)
{
    const juce::ScopedLock sl (getCallbackLock());
    entry.position = seconds;

    if (entry.source != nullptr)
        entry.source->setNextReadPosition (entry.source->secondsToPosition (seconds));
}

//==============================================================================
bool ReplayProcessor::addFile (const juce::File& file)
{
    if (! audioFiles->isFileSuitable (file))
        return false;

    auto entry = std::make_unique<PlaylistEntry> (file, &formatManager, storedPoints.get());

    const juce::ScopedLock sl (getCallbackLock());
    playlist.add (entry.release());
    return true;
}

ReplayProcessor::FolderScan ReplayProcessor::addDirectory (const juce::File& folder)
{
    const PointStore::Batch batch (*storedPoints);
    std::unordered_set<std::string> scanned;
    FolderScan result;
    addDirectory (folder, scanned, result);
    return result;
}

namespace
{
    std::string canonicalPath (const juce::File& folder)
    {
        std::error_code error;
        const auto path = std::filesystem::canonical (folder.getFullPathName().toStdString(), error);
        return error ? folder.getFullPathName().toStdString() : path.string();
    }

    /** A name that isn't UTF-8 as it can be shown: its bytes beyond ASCII as "\xe9". */
    juce::String escapedName (const char* name)
    {
        juce::String shown;

        for (auto* c = name; *c != 0; ++c)
        {
            const auto byte = (unsigned char) *c;
            shown += byte < 0x80 ? juce::String::charToString ((juce::juce_wchar) byte)
                                 : "\\x" + juce::String::toHexString ((int) byte);
        }

        return shown;
    }

    bool isFolder (const std::string& path)
    {
        struct stat info = {};
        return ::stat (path.c_str(), &info) == 0 && S_ISDIR (info.st_mode);
    }
}

void ReplayProcessor::addDirectory (const juce::File& folder, std::unordered_set<std::string>& scanned,
                                    FolderScan& result)
{
    if (! folder.isDirectory() || ! scanned.insert (canonicalPath (folder)).second)
        return;

    // Listed with readdir, which gives each name as the bytes it is: JUCE's listing takes a
    // name that isn't UTF-8 for another one, which then never opens.
    const auto path = folder.getFullPathName();
    auto* dir = ::opendir (path.toRawUTF8());

    if (dir == nullptr)
    {
        result.unreadable.add (path + ": " + juce::String (std::strerror (errno)));
        return;
    }

    // Listed once and sorted once: folders first, each group in natural name order.
    struct Item
    {
        juce::File file;
        juce::String name;
        bool isFolder;
    };
    std::vector<Item> items;
    juce::StringArray notUtf8;
    const auto deadline = juce::Time::getMillisecondCounterHiRes() + folderScanLimitSeconds * 1000.0;

    for (;;)
    {
        errno = 0;
        const auto* found = ::readdir (dir);

        if (found == nullptr)
        {
            if (errno != 0)
                result.unreadable.add (path + ": " + juce::String (std::strerror (errno)));

            break;
        }

        const char* name = found->d_name;

        if (name[0] == '.')   // hidden, or the folder itself or its parent
            continue;

        if (juce::Time::getMillisecondCounterHiRes() > deadline)
        {
            result.cutShort.add (folder);
            break;
        }

        if (! XmlFiles::isValidUtf8 (name))
        {
            const auto shown = folder.getChildFile (escapedName (name));

            if (isFolder (path.toStdString() + "/" + name) || audioFiles->isFileSuitable (shown))
                notUtf8.add (shown.getFullPathName());

            continue;
        }

        const auto file = folder.getChildFile (juce::String::fromUTF8 (name));
        items.push_back ({ file, file.getFileName(), file.isDirectory() });
    }

    ::closedir (dir);
    notUtf8.sortNatural();
    result.notUtf8.addArray (notUtf8);

    std::stable_sort (items.begin(), items.end(),
                      [] (const Item& a, const Item& b)
                      {
                          if (a.isFolder != b.isFolder)
                              return a.isFolder;

                          return a.name.compareNatural (b.name) < 0;
                      });

    for (const auto& item : items)
    {
        if (item.isFolder)
            addDirectory (item.file, scanned, result);
        else
            addFile (item.file);

        juce::Logger::outputDebugString ("Added " + item.name);
    }
}

bool ReplayProcessor::loadPlaylist (const juce::File& file, juce::StringArray* skipped)
{
    const auto root = XmlFiles::parseFile (file);

    if (root == nullptr || root->getTagName() != "playlist")
        return false;

    const PointStore::Batch batch (*storedPoints);

    for (auto* item : root->getChildIterator())
    {
        if (item->getTagName() != "file")
            continue;

        const auto listed = item->getStringAttribute ("name");

        if (! addFile (XmlFiles::fileFromStoredPath (listed)) && skipped != nullptr)
            skipped->add (listed);
    }

    return true;
}

void ReplayProcessor::removeEntry (int index)
{
    std::unique_ptr<ResampledAudioFormatReaderSource> unloaded;
    std::unique_ptr<PlaylistEntry> removed;

    {
        const juce::ScopedLock sl (getCallbackLock());

        if (index == currentIndex)
            unloaded = switchTrack (currentIndex + 1);

        if (juce::isPositiveAndBelow (index, playlist.size()))
        {
            removed.reset (playlist.removeAndReturn (index));

            if (removed.get() == unloadableEntry)
                unloadableEntry = nullptr;

            if (index < currentIndex)
                --currentIndex;
        }
    }
}

bool ReplayProcessor::savePlaylist (const juce::File& file)
{
    juce::XmlElement root ("playlist");

    // Built from the end: appending walks the whole list of children each time.
    for (int i = playlist.size(); --i >= 0;)
    {
        auto* item = new juce::XmlElement ("file");
        item->setAttribute ("name", playlist.getUnchecked (i)->getFilePath());
        root.prependChildElement (item);
    }

    return XmlFiles::writeDocument (root, file);
}

void ReplayProcessor::clearPlaylist()
{
    juce::OwnedArray<PlaylistEntry> removed;

    {
        const juce::ScopedLock sl (getCallbackLock());
        removed.swapWith (playlist);
        unloadableEntry = nullptr;
    }

    removed.clear();
}
