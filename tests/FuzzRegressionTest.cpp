#include "VelorinTest.h"
#include "FuzzTargets.h"
// Replays every file under tests/fuzz-regressions/<target>/ (starting inputs, and inputs that once crashed, hung or broke a check)
// through the function the fuzzer of that target runs.
class FuzzRegressionTest : public VelorinTest, public ::testing::WithParamInterface<const char*> {};
TEST_P (FuzzRegressionTest, ReplaysEveryInput) {
    const auto* target = fuzzing::findTarget (GetParam());
    auto files = juce::File (VELORIN_FUZZ_REGRESSIONS).getChildFile (GetParam()).findChildFiles (juce::File::findFiles, false); files.sort();
    ASSERT_TRUE (target != nullptr && ! files.isEmpty());
    juce::String input;
    const testkit::AssertionCheck assertions (fuzzing::onFailure = [&] (const juce::String& message) { ADD_FAILURE() << input << ": " << message; });
    for (const auto& file : files) {
        juce::MemoryBlock bytes; file.loadFileAsData (bytes), input = file.getFileName();
        std::fprintf (stderr, "%s\n", input.toRawUTF8()), alarm (60);   // a hang ends the process, with the input named
        target->run (static_cast<const std::uint8_t*> (bytes.getData()), juce::jmin (bytes.getSize(), target->maxLength));
    }
    alarm (0), fuzzing::onFailure = nullptr;
}
INSTANTIATE_TEST_SUITE_P (Targets, FuzzRegressionTest, ::testing::Values ("audio_file", "data_file", "midi_map", "config_file", "playlist", "midi_messages", "xml_check"),
                          [] (const auto& target) { return std::string (target.param); });
