#include "VelorinTest.h"
#include "FuzzTargets.h"

using FuzzRegressionTest = VelorinTest;

// Every input kept in tests/fuzz-regressions/<target>/ (starting inputs, and inputs that once crashed, hung or broke
// a check) goes through the function the fuzzer of that target runs.
TEST_F (FuzzRegressionTest, EveryKeptInputPassesTheChecksOfItsTarget)
{
    juce::String input;
    fuzzing::onFailure = [&] (const juce::String& message) { ADD_FAILURE() << input << ": " << message; };
    const testkit::AssertionCheck assertions (fuzzing::onFailure);

    for (const auto& [target, run] : fuzzing::targets())
    {
        auto files =
            juce::File (VELORIN_FUZZ_REGRESSIONS).getChildFile (target).findChildFiles (juce::File::findFiles, false);
        files.sort();
        EXPECT_FALSE (files.isEmpty()) << target;

        for (const auto& file : files)
        {
            juce::MemoryBlock bytes;
            file.loadFileAsData (bytes);
            input = juce::String (target) + "/" + file.getFileName();
            std::fprintf (stderr, "%s\n", input.toRawUTF8());   // a hang ends the process: its input is the last named
            alarm (60);
            run (bytes);
        }
    }

    alarm (0);
    fuzzing::onFailure = nullptr;
}
