#include "engine/MidiMap.h"
#include "engine/XmlFiles.h"

namespace
{
    juce::String attributeName (int row)   { return "midi-" + juce::String (row); }

    /** Writes the message text into a caller's buffer, so matching allocates nothing on
        the audio thread. Returns false when the buffer is too small (long SysEx). */
    bool writeMessageText (const juce::MidiMessage& message, char* dest, size_t capacity)
    {
        static constexpr char digits[] = "0123456789abcdef";
        const auto* data = message.getRawData();
        const auto size = (size_t) message.getRawDataSize();

        if (size == 0 || size * 3 > capacity)
            return false;

        auto* out = dest;

        for (size_t i = 0; i < size; ++i)
        {
            if (i > 0)
                *out++ = ' ';

            *out++ = digits[data[i] >> 4];
            *out++ = digits[data[i] & 15];
        }

        *out = 0;
        return true;
    }
}

MidiMap::MidiMap()
{
    for (int i = 0; i < numMappings; ++i)
        mappings[i].action = i;

    auto document = XmlFiles::readDocument (getMapFile());
    mayReplace = document.mayReplace;

    if (document.root != nullptr)
        for (int i = 0; i < numMappings; ++i)
            mappings[i].message = loaded[i] = document.root->getStringAttribute (attributeName (i));
}

MidiMap::~MidiMap()
{
    write();
}

void MidiMap::write() const
{
    if (! mayReplace)
        return;

    const auto now = XmlFiles::readDocument (getMapFile());

    if (! now.mayReplace)
        return;

    juce::XmlElement root ("midimap");

    for (int i = 0; i < numMappings; ++i)
    {
        const auto& message = mappings[i].message;
        const bool keepTheFiles = message == loaded[i] && now.root != nullptr && now.root->hasAttribute (attributeName (i));
        root.setAttribute (attributeName (i), keepTheFiles ? now.root->getStringAttribute (attributeName (i)) : message);
    }

    XmlFiles::writeDocument (root, getMapFile());
}

juce::String MidiMap::messageText (const juce::MidiMessage& message)
{
    return juce::String::toHexString (message.getRawData(), message.getRawDataSize(), 1);
}

juce::File MidiMap::getMapFile()
{
    return XmlFiles::getDataFile ("midi.map");
}

bool MidiMap::handleMessage (const juce::MidiMessage& message, int& action)
{
    if (learning)
    {
        const int target = learnIndex.exchange (-1);

        if (target >= 0 && target < numMappings)
            mappings[target].message = messageText (message);

        return false;
    }

    char shortText[3 * 64];
    juce::String longText;
    const char* text = shortText;

    if (! writeMessageText (message, shortText, sizeof (shortText)))
    {
        longText = messageText (message);
        text = longText.toRawUTF8();
    }

    for (auto& mapping : mappings)
    {
        if (mapping.message == text)
        {
            action = mapping.action;
            return true;
        }
    }

    return false;
}

void MidiMap::selectLearnTarget (int action)
{
    if (learning)
    {
        if (action >= 0 && action < numMappings)
            mappings[action].action = action;

        learnIndex = action;
    }
    else
    {
        learnIndex = 0;
    }
}
