#include "ui/ConfigFile.h"
#include "engine/XmlFiles.h"

ConfigFile::ConfigFile (const juce::String& productName)
    : file (juce::File::getSpecialLocation (juce::File::userApplicationDataDirectory).getFullPathName() + "/DravikLabs/"
            + productName + "/.config")
{
    auto document = XmlFiles::readDocument (file);
    mayReplace = document.mayReplace;

    if (document.root != nullptr)
        settings = *document.root;
}

ConfigFile::~ConfigFile()
{
    write();
}

void ConfigFile::write()
{
    if (! mayReplace)
        return;

    mayReplace = false;

    if (! XmlFiles::writeDocument (settings, file))
        XmlFiles::tellNotKept (TRANS ("last-used folders"), file);
}

juce::String ConfigFile::getValue (const juce::String& key) const
{
    return settings.getStringAttribute (key);
}

void ConfigFile::setValue (const juce::String& key, const juce::String& value)
{
    settings.setAttribute (key, value);
}
