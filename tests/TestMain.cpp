#include "VelorinTest.h"
#include <regex>
/** Passes when `same`; else writes the actual one in the working folder. Writes the reference instead when updating. */
static ::testing::AssertionResult compare (bool same, const juce::String& name, std::function<bool (const juce::File&)> write)
{
    const bool update = getenv ("VELORIN_UPDATE_REFERENCES") != nullptr;
    const auto target = (update ? juce::File (VELORIN_REFERENCES) : juce::File::getCurrentWorkingDirectory()).getChildFile (name);
    return (same && ! update) || (write (target) && update) ? ::testing::AssertionSuccess()
               : ::testing::AssertionFailure() << name << (update ? " cannot be written" : " differs from the reference: see " + target.getFullPathName());
}
::testing::AssertionResult matchesReference (const juce::String& text, const juce::String& name)
{
    return compare (text == juce::File (VELORIN_REFERENCES).getChildFile (name).loadFileAsString(), name, [&] (const juce::File& f) { return f.replaceWithText (text, false, false, nullptr); });
}
::testing::AssertionResult matchesReference (const juce::Image& image, const juce::String& name)
{
    const auto expected = juce::ImageFileFormat::loadFrom (juce::File (VELORIN_REFERENCES).getChildFile (name));
    int differing = expected.getBounds() == image.getBounds() ? 0 : -1;
    for (int i = 0, w = image.getWidth(); differing >= 0 && i < w * image.getHeight(); ++i)
        if (const auto a = image.getPixelAt (i % w, i / w), b = expected.getPixelAt (i % w, i / w);
            juce::jmax (std::abs (a.getRed() - b.getRed()), std::abs (a.getGreen() - b.getGreen()), std::abs (a.getBlue() - b.getBlue()), std::abs (a.getAlpha() - b.getAlpha())) > 2)
            ++differing;
    return compare (differing == 0, name, [&] (const juce::File& f) { f.deleteFile(); juce::FileOutputStream out (f); return juce::PNGImageFormat().writeImageToStream (image, out); })
           << " (" << differing << " pixels differ)";
}
void VelorinTest::note (const juce::String& what, const juce::String& values)
{
    record << what << (values.isEmpty() ? "" : ": " + juce::String (std::regex_replace (values.toStdString(), std::regex ("[0-9a-f]{32}"), "<key>"))) << "\n";
}
juce::AudioBuffer<float> ProcessorTest::render (const juce::String& what, juce::MidiBuffer midi)
{
    juce::AudioBuffer<float> block (2, 800);
    block.clear();
    testkit::renderBlock (*processor, block, midi);
    if (what.isEmpty())
        return block;
    const float gain = processor->volume;
    juce::StringArray runs;
    bool other = false;
    for (juce::int64 i = 0, first = 0, last = 0, index = 0, silence = -1000; i < 800 && ! other; ++i, last = index)
    {
        const auto value = block.getSample (0, (int) i);
        index = value == 0.0f ? silence : std::llround (value / gain * (1 << 21)) - 1;
        other = std::abs (block.getSample (1, (int) i)) != (index == silence ? 0.0f : gain * testkit::rampValue (0, index));
        if (i == 0 || (index == silence ? last != silence : index != last + 1 || last < 0))
            runs.add ({}), first = index;
        runs.set (runs.size() - 1, index == silence ? "silence" : juce::String (first) + "-" + juce::String (index));
    }
    note (what, (other ? "other" : runs.joinIntoString (",") + (block.getSample (1, 0) > 0.0f ? " mono" : "") + (gain != 1.0f ? " x" + juce::String (gain) : "")) + " | " + state());
    return block;
}
juce::String ProcessorTest::state() const
{
    juce::String text;
    text << "current " << processor->getCurrentIndex() << " (index " << processor->currentIndex.load() << ")" << (processor->paused ? ", paused" : ", playing") << (processor->loopEnabled ? ", loop" : "") << (processor->midiActivity ? ", midi" : "");
    for (auto* entry : processor->playlist)
        text << " | " << entry->file.getFileName() << " " << (entry->source != nullptr ? juce::String (entry->source->getNextReadPosition()) : "-")
             << (entry->cue != 0.0f ? " cue " + juce::String (entry->cue.load()) : "")
             << (entry->loopA != 0.0f || entry->loopB != 0.0f ? " A-B " + juce::String (entry->loopA.load()) + "-" + juce::String (entry->loopB.load()) : "");
    return text;
}
int main (int argc, char** argv)
{
    ::testing::InitGoogleTest (&argc, argv);
    setenv ("DISPLAY", "none", 0);   // else JUCE connects to ":0", maybe another test's Xvfb, whose end would end us
    juce::JUCEApplicationBase::createInstance = []() -> juce::JUCEApplicationBase* { return nullptr; };   // lets JUCE set its X error handler
    const testkit::AssertionCheck assertions;   // untolerated assertions reach stderr, where ctest looks for them
    const juce::ScopedJuceInitialiser_GUI juce;
    return RUN_ALL_TESTS();
}
