#include "TestSupport.h"
#include "fuzz/FuzzTargets.h"

#include <sys/resource.h>

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <mutex>
#include <thread>

// Replays every file under tests/fuzz-regressions/<target>/ (starting inputs, and inputs
// that once crashed, hung or broke a check) through the function the fuzzer of that target
// runs (fuzz/FuzzTargets.h), with the same checks.

#if defined (__SANITIZE_ADDRESS__) || defined (__SANITIZE_THREAD__)
 #define VELORIN_TEST_SANITIZED 1
#elif defined (__has_feature)
 #if __has_feature (address_sanitizer) || __has_feature (thread_sanitizer)
  #define VELORIN_TEST_SANITIZED 1
 #endif
#endif

namespace
{
    /** Ends the process when one input runs too long: a hang should fail the test with the
        input's name, not wait for the test runner's time-out. */
    class Watchdog
    {
    public:
        Watchdog (const juce::String& what, std::chrono::seconds limit)
            : thread ([this, what, limit]
              {
                  std::unique_lock<std::mutex> lock (mutex);

                  if (! done.wait_for (lock, limit, [this] { return finished; }))
                  {
                      std::fprintf (stderr, "%s is still running after %d s\n", what.toRawUTF8(), (int) limit.count());
                      std::fflush (stderr);
                      std::abort();
                  }
              })
        {
        }

        ~Watchdog()
        {
            {
                const std::lock_guard<std::mutex> lock (mutex);
                finished = true;
            }

            done.notify_one();
            thread.join();
        }

    private:
        std::mutex mutex;
        std::condition_variable done;
        bool finished = false;
        std::thread thread;
    };

    /** Caps the address space while an input runs, so that one which makes the program
        allocate without end fails instead of exhausting the machine. Sanitizers reserve
        far more address space than they use, so their builds go without. */
    class AddressSpaceLimit
    {
    public:
        AddressSpaceLimit()
        {
           #if ! VELORIN_TEST_SANITIZED
            constexpr rlim_t limit = (rlim_t) 8 << 30;

            if (getrlimit (RLIMIT_AS, &previous) == 0 && (previous.rlim_cur == RLIM_INFINITY || previous.rlim_cur > limit))
            {
                rlimit lowered = previous;
                lowered.rlim_cur = limit;
                active = setrlimit (RLIMIT_AS, &lowered) == 0;
            }
           #endif
        }

        ~AddressSpaceLimit()
        {
            if (active)
                setrlimit (RLIMIT_AS, &previous);
        }

    private:
        rlimit previous {};
        bool active = false;
    };
}

class FuzzRegressionTest : public TempHomeTest,
                           public ::testing::WithParamInterface<const char*>
{
protected:
    void SetUp() override
    {
        TempHomeTest::SetUp();
        fuzzing::setFailureHandler ([this] (const juce::String& message)
        {
            ADD_FAILURE() << currentInput << ": " << message;
        });
    }

    void TearDown() override
    {
        fuzzing::releaseState();
        fuzzing::setFailureHandler (nullptr);
        TempHomeTest::TearDown();
    }

    juce::String currentInput;
};

TEST_P (FuzzRegressionTest, ReplaysEveryInput)
{
    const auto* target = fuzzing::findTarget (GetParam());
    ASSERT_NE (target, nullptr);

    const auto folder = juce::File (VELORIN_FUZZ_REGRESSIONS).getChildFile (target->name);
    ASSERT_TRUE (folder.isDirectory()) << folder.getFullPathName();

    auto files = folder.findChildFiles (juce::File::findFiles, false);
    files.sort();
    ASSERT_FALSE (files.isEmpty()) << "no inputs in " << folder.getFullPathName();

    const fuzzing::ScopedAssertionCheck assertions;
    const AddressSpaceLimit limit;

    for (const auto& file : files)
    {
        juce::MemoryBlock input;
        ASSERT_TRUE (file.loadFileAsData (input)) << file.getFullPathName();

        currentInput = juce::String (target->name) + "/" + file.getFileName();
        const Watchdog watchdog (currentInput, std::chrono::seconds (60));
        target->run (static_cast<const std::uint8_t*> (input.getData()), juce::jmin (input.getSize(), target->maxLength));
    }
}

INSTANTIATE_TEST_SUITE_P (Targets, FuzzRegressionTest,
                          ::testing::Values ("audio_file", "data_file", "midi_map", "config_file", "playlist",
                                             "midi_messages"),
                          [] (const ::testing::TestParamInfo<const char*>& info) { return std::string (info.param); });
