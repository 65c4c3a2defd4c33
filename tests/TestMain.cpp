#include "VelorinTest.h"

#include <juce_events/juce_events.h>

#include <regex>

namespace
{
    bool updating()   { return getenv ("VELORIN_UPDATE_REFERENCES") != nullptr; }

    template <typename Write>
    ::testing::AssertionResult compare (bool same, const juce::String& name, Write write)
    {
        const auto reference = juce::File (VELORIN_REFERENCES).getChildFile (name);
        if (updating())
            return write (reference) ? ::testing::AssertionSuccess() : ::testing::AssertionFailure() << "cannot write " << reference.getFullPathName();
        if (same)
            return ::testing::AssertionSuccess();
        const auto actual = juce::File::getCurrentWorkingDirectory().getChildFile (name);
        write (actual);
        return ::testing::AssertionFailure() << "differs from " << reference.getFullPathName() << ": see " << actual.getFullPathName();
    }
}

::testing::AssertionResult matchesReference (const juce::String& text, const juce::String& name)
{
    const auto expected = juce::File (VELORIN_REFERENCES).getChildFile (name).loadFileAsString();
    auto result = compare (text == expected, name, [&] (const juce::File& f) { return f.replaceWithText (text, false, false, nullptr); });
    const auto lines = juce::StringArray::fromLines (text), wanted = juce::StringArray::fromLines (expected);
    for (int i = 0; ! result && i < juce::jmax (lines.size(), wanted.size()); ++i)
        if (lines[i] != wanted[i])
            return result << "\nline " << i + 1 << " is   \"" << lines[i] << "\"\n  instead of \"" << wanted[i] << "\"";
    return result;
}

::testing::AssertionResult matchesReference (const juce::Image& image, const juce::String& name)
{
    const auto expected = juce::ImageFileFormat::loadFrom (juce::File (VELORIN_REFERENCES).getChildFile (name));
    int differing = expected.getBounds() == image.getBounds() ? 0 : -1;
    for (int y = 0; differing >= 0 && y < image.getHeight(); ++y)
        for (int x = 0; x < image.getWidth(); ++x)
        {
            const auto a = image.getPixelAt (x, y), b = expected.getPixelAt (x, y);
            differing += juce::jmax (std::abs (a.getRed() - b.getRed()), std::abs (a.getGreen() - b.getGreen()), std::abs (a.getBlue() - b.getBlue()),
                                     std::abs (a.getAlpha() - b.getAlpha())) > 2 ? 1 : 0;
        }
    return compare (differing == 0, name, [&] (const juce::File& f)
                    { f.deleteFile(); juce::FileOutputStream out (f); return juce::PNGImageFormat().writeImageToStream (image, out); }) << " (" << differing << " pixels)";
}

void VelorinTest::TearDown()
{
    if (record.isNotEmpty())
    {
        const auto* test = ::testing::UnitTest::GetInstance()->current_test_info();
        EXPECT_TRUE (matchesReference (record, juce::String (test->test_suite_name()) + "." + test->name() + ".txt"));
    }
}

void VelorinTest::note (const juce::String& what, const juce::String& values)
{
    record << what << (values.isEmpty() ? "" : ": " + juce::String (std::regex_replace (values.toStdString(), std::regex ("[0-9a-f]{32}"), "<key>"))) << "\n";
}

juce::File VelorinTest::audioFile (const juce::String& name, double rate, int channels, double seconds, int bits) const
{
    const auto file = audio.getChildFile (name);
    EXPECT_TRUE (testkit::writeAudio (file, rate, channels, std::llround (seconds * rate), bits)) << name;
    return file;
}

juce::String VelorinTest::seen (juce::Component& c)
{
    auto* button = dynamic_cast<juce::Button*> (&c);
    return c.getBounds().toString() + (button != nullptr ? " \"" + button->getButtonText() + "\" \"" + button->getTooltip() + "\"" : "");
}

juce::String VelorinTest::keyOf (const juce::File& file)
{
    juce::AudioFormatManager formats;
    formats.registerBasicFormats();
    return PlaylistEntry (file, &formats, nullptr).getKey();
}

PlaylistEntry& ProcessorTest::add (const juce::String& name, double seconds, int channels, double rate)
{
    processor->addFile (audioFile (name, rate, channels, seconds));
    return *processor->playlist.getLast();
}

juce::AudioBuffer<float> ProcessorTest::render (const juce::String& what, juce::MidiBuffer midi)
{
    juce::AudioBuffer<float> block (2, 800);
    block.clear();
    testkit::renderBlock (*processor, block, midi);
    if (what.isNotEmpty())
        note (what, heard (block) + " | " + state());
    return block;
}

juce::String ProcessorTest::state() const
{
    juce::String text;
    text << "current " << processor->getCurrentIndex() << " (index " << processor->currentIndex.load() << ")"
         << (processor->paused ? ", paused" : ", playing") << (processor->loopEnabled ? ", loop" : "") << (processor->midiActivity ? ", midi" : "");
    for (auto* entry : processor->playlist)
        text << " | " << entry->file.getFileName() << " " << (entry->source != nullptr ? juce::String (entry->source->getNextReadPosition()) : "-")
             << (entry->cue != 0.0f ? " cue " + juce::String (entry->cue.load()) : "")
             << (entry->loopA != 0.0f || entry->loopB != 0.0f ? " A-B " + juce::String (entry->loopA.load()) + "-" + juce::String (entry->loopB.load()) : "");
    return text;
}

juce::String ProcessorTest::heard (const juce::AudioBuffer<float>& block) const
{
    constexpr juce::int64 silence = -1000, end = -2000;
    const auto gain = processor->volume.load();
    juce::StringArray runs;
    juce::int64 first = 0, last = end;
    for (int i = 0; i <= block.getNumSamples(); ++i)
    {
        const auto value = i < block.getNumSamples() ? block.getSample (0, i) : 0.0f;
        const auto index = i == block.getNumSamples() ? end : value == 0.0f ? silence : std::llround (value / gain * (1 << 21)) - 1;
        if (index != end && std::abs (block.getSample (1, i)) != (index == silence ? 0.0f : gain * testkit::rampValue (0, index)))
            return "other";
        if (index == silence ? last != silence : index != last + 1 || last < 0)
        {
            if (i > 0)
                runs.add (last == silence ? "silence" : juce::String (first) + "-" + juce::String (last));
            first = index;
        }
        last = index;
    }
    return runs.joinIntoString (",") + (block.getSample (1, 0) > 0.0f ? " mono" : "") + (gain != 1.0f ? " x" + juce::String (gain) : "");
}

int main (int argc, char** argv)
{
    ::testing::InitGoogleTest (&argc, argv);

    // Headless unless a display is given: JUCE would otherwise connect to ":0", which may be
    // another test's short-lived Xvfb, and Xlib ends a client whose server goes away.
    setenv ("DISPLAY", getenv ("DISPLAY") != nullptr ? getenv ("DISPLAY") : "none", 1);

    // Lets JUCE install its own X error handler when a test opens a real window.
    juce::JUCEApplicationBase::createInstance = []() -> juce::JUCEApplicationBase* { return nullptr; };

    // Untolerated assertions reach stderr, where ctest looks for "JUCE Assertion failure".
    const testkit::AssertionCheck assertions;
    const juce::ScopedJuceInitialiser_GUI juce;
    return RUN_ALL_TESTS();
}
