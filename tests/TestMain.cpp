#include "VelorinTest.h"
#include <juce_cryptography/juce_cryptography.h>
#include <regex>

using namespace juce;
using namespace testing;

static bool updating()
{
    return getenv ("VELORIN_UPDATE_REFERENCES") != nullptr && ! Test::HasFailure();
}

// Prints the first lines that differ, each with its number; an empty text is the reference's absence.
AssertionResult matchesReference (const String& text, const String& name)
{
    const auto file = File (VELORIN_REFERENCES).getChildFile (name);

    if (updating() && (text.isEmpty() ? file.deleteFile() : file.replaceWithText (text, false, false, nullptr)))
        return AssertionSuccess();

    if (text == file.loadFileAsString())
        return AssertionSuccess();

    const auto expected = StringArray::fromLines (file.loadFileAsString());
    const auto actual = StringArray::fromLines (text);
    auto failure = AssertionFailure() << name << " differs from the reference (- expected, + actual):";
    int shown = 0;

    for (int i = 0; i < jmax (expected.size(), actual.size()) && shown < 10; ++i)
    {
        if (expected[i] != actual[i])
        {
            failure << "\n- " << i + 1 << ": " << expected[i] << "\n+ " << i + 1 << ": " << actual[i];
            ++shown;
        }
    }

    return failure;
}

static int distance (Colour a, Colour b)
{
    return jmax (std::abs (a.getRed() - b.getRed()), std::abs (a.getGreen() - b.getGreen()),
                 std::abs (a.getBlue() - b.getBlue()), std::abs (a.getAlpha() - b.getAlpha()));
}

AssertionResult matchesReference (const Image& image, const String& name)
{
    const auto reference = File (VELORIN_REFERENCES).getChildFile (name);
    const auto expected = ImageFileFormat::loadFrom (reference);
    int differing = 0;
    Rectangle<int> area;

    for (int y = 0; y < image.getHeight(); ++y)
    {
        for (int x = 0; x < image.getWidth(); ++x)
        {
            if (distance (image.getPixelAt (x, y), expected.getPixelAt (x, y)) > 2)
            {
                ++differing;
                area = area.getUnion ({ x, y, 1, 1 });
            }
        }
    }

    if (differing == 0 && expected.getBounds() == image.getBounds())
        return AssertionSuccess();

    // The reference when updating, else the picture to look at.
    const auto file = updating() ? reference : File::getCurrentWorkingDirectory().getChildFile (name);
    file.deleteFile();
    FileOutputStream out (file);

    if (PNGImageFormat().writeImageToStream (image, out) && updating())
        return AssertionSuccess();

    return AssertionFailure() << name << ": " << differing << " pixels differ, within (x y width height) "
                              << area.toString() << " of " << image.getBounds().toString() << ", the reference "
                              << expected.getBounds().toString() << "; see " << file.getFullPathName();
}

void VelorinTest::TearDown()
{
    const auto* test = testing::UnitTest::GetInstance()->current_test_info();
    const auto name = String (test->test_suite_name()) + "." + test->name() + ".txt";
    EXPECT_TRUE (matchesReference (record, name));
}

void VelorinTest::note (const String& what, const String& values)
{
    record << what;

    if (values.isNotEmpty())
        record << ": " << String (std::regex_replace (values.toStdString(), std::regex ("[0-9a-f]{32}"), "<key>"));

    record << "\n";
}

// As the player makes it: the MD5 of as many bytes as the path has characters.
String VelorinTest::keyOf (const File& file)
{
    const auto path = file.getFullPathName();
    return MD5 (path.toRawUTF8(), (size_t) path.length()).toHexString();
}

void ProcessorTest::render (const String& what, MidiBuffer midi)
{
    AudioBuffer<float> block (2, 800);
    block.clear();
    testkit::renderBlock (*processor, block, midi);

    if (what.isEmpty())
        return;

    const float gain = processor->volume;
    StringArray runs;
    bool other = false;
    int64 first = 0;
    int64 last = -2;   // -2: none yet, -1: silence

    for (int i = 0; i < 800; ++i)
    {
        const auto left = block.getSample (0, i);
        const auto index = left == 0.0f ? -1 : std::llround (left / gain * (1 << 21)) - 1;
        other = other || std::abs (block.getSample (1, i)) != gain * testkit::rampValue (0, index);

        if (index < 0 ? last != -1 : last < 0 || index != last + 1)
        {
            runs.add ({});
            first = index;
        }

        runs.set (runs.size() - 1, index < 0 ? "silence" : String (first) + "-" + String (index));
        last = index;
    }

    auto text = runs.joinIntoString (",");

    if (block.getSample (1, 0) > 0.0f)
        text << " mono";

    if (gain != 1.0f)
        text << " x" << gain;

    note (what, (other ? String ("other") : text) + " | " + state());
}

String ProcessorTest::state() const
{
    String text;
    text << "current " << processor->getCurrentIndex() << " (index " << processor->currentIndex.load() << ")"
         << (processor->paused ? ", paused" : ", playing") << (processor->loopEnabled ? ", loop" : "")
         << (processor->midiActivity ? ", midi" : "");

    for (auto* entry : processor->playlist)
    {
        text << " | " << entry->file.getFileName() << " "
             << (entry->source != nullptr ? String (entry->source->getNextReadPosition()) : "-");

        if (entry->cue != 0.0f)
            text << " cue " << entry->cue.load();

        if (entry->loopA != 0.0f || entry->loopB != 0.0f)
            text << " A-B " << entry->loopA.load() << "-" << entry->loopB.load();
    }

    return text;
}

int main (int argc, char** argv)
{
    InitGoogleTest (&argc, argv);
    setenv ("DISPLAY", "none", 0);   // else JUCE connects to ":0", maybe another test's Xvfb, whose end would end us
    JUCEApplicationBase::createInstance = []() -> JUCEApplicationBase*
    { return nullptr; };                        // lets JUCE set its X error handler
    const testkit::AssertionCheck assertions;   // untolerated assertions reach stderr, where ctest looks for them
    return RUN_ALL_TESTS();
}
