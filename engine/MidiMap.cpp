#include "engine/MidiMap.h"
#include "engine/XmlFiles.h"

namespace
{
    juce::String attributeName (int row)   { return "midi-" + juce::String (row); }

    /** True when a learned text is exactly the message's bytes in lower-case hex, separated
        by single blanks. Compares in place: nothing is allocated on the audio thread, and a
        text of another length is passed over at once. */
    bool textMatches (const juce::String& text, const juce::uint8* data, int size)
    {
        static constexpr char digits[] = "0123456789abcdef";

        if (size <= 0 || (int) text.getNumBytesAsUTF8() != size * 3 - 1)
            return false;

        const auto* t = text.toRawUTF8();

        for (int i = 0; i < size; ++i, t += 3)
            if (t[0] != digits[data[i] >> 4] || t[1] != digits[data[i] & 15] || (i + 1 < size && t[2] != ' '))
                return false;

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

void MidiMap::write()
{
    if (! mayReplace)
        return;

    mayReplace = false;

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

    for (auto& mapping : mappings)
    {
        if (textMatches (mapping.message, message.getRawData(), message.getRawDataSize()))
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
