#include "engine/XmlFiles.h"

#include <locale>
#include <sstream>

juce::File XmlFiles::getDataFolder()
{
    return juce::File (juce::File::getSpecialLocation (juce::File::userApplicationDataDirectory).getFullPathName()
                       + "/DravikLabs/" + "Velorin");
}

juce::File XmlFiles::getDataFile (const juce::String& fileName)
{
    return juce::File (getDataFolder().getFullPathName() + "/" + fileName);
}

std::unique_ptr<juce::XmlElement> XmlFiles::readDocument (const juce::File& file)
{
    if (! file.existsAsFile())
        return nullptr;

    auto root = juce::XmlDocument (file).getDocumentElement();

    if (root == nullptr && file.getSize() > 0)
        file.copyFileTo (file.getSiblingFile (file.getFileName() + ".bak"));

    return root;
}

bool XmlFiles::writeDocument (const juce::XmlElement& root, const juce::File& file)
{
    juce::XmlElement::TextFormat format;
    format.customEncoding = "UTF-8";
    format.lineWrapLength = 60;
    return root.writeTo (file, format);
}

juce::String XmlFiles::formatNumber (double value)
{
    std::ostringstream out;
    out.imbue (std::locale::classic());
    out.precision (20);
    out << value;
    return juce::String (out.str());
}
