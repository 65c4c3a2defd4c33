#include "app/TerminationSignals.h"

#include <atomic>
#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <iterator>
#include <unistd.h>

namespace
{
    constexpr int handledSignals[] { SIGTERM, SIGHUP };
    struct sigaction previousActions[std::size (handledSignals)];

    // Read by the handler, which may run on any thread: a lock-free atomic is safe there.
    std::atomic<int> signalPipe { -1 };
    std::atomic<bool> signalReceived { false };
    static_assert (std::atomic<int>::is_always_lock_free);
    static_assert (std::atomic<bool>::is_always_lock_free);

    void onTerminationSignal (int)
    {
        const auto savedErrno = errno;
        const char byte = 1;

        signalReceived = true;

        // Non-blocking: once the pipe is full, the loop has enough to wake up for.
        if (const auto fd = signalPipe.load(); fd >= 0)
        {
            const auto written = ::write (fd, &byte, 1);
            juce::ignoreUnused (written);
        }

        errno = savedErrno;
    }
}

TerminationSignals::TerminationSignals()
{
    jassert (signalPipe.load() < 0);
    int ends[2];

    if (pipe2 (ends, O_CLOEXEC | O_NONBLOCK) != 0)
    {
        jassertfalse;
        return;
    }

    readEnd = ends[0];
    writeEnd = ends[1];
    signalPipe = writeEnd;

    // Drains the pipe, then quits as closing the window does.
    auto quitOnSignal = [] (int fd)
    {
        char bytes[64];

        while (::read (fd, bytes, sizeof (bytes)) > 0)
            continue;

        juce::JUCEApplicationBase::quit();
    };

    juce::LinuxEventLoop::registerFdCallback (readEnd, quitOnSignal);

    struct sigaction action = {};
    action.sa_handler = onTerminationSignal;
    action.sa_flags = SA_RESTART;
    sigemptyset (&action.sa_mask);

    for (size_t i = 0; i < std::size (handledSignals); ++i)
        sigaction (handledSignals[i], &action, &previousActions[i]);
}

bool TerminationSignals::received()
{
    return signalReceived.load();
}

TerminationSignals::~TerminationSignals()
{
    if (readEnd < 0)
        return;

    for (size_t i = 0; i < std::size (handledSignals); ++i)
        sigaction (handledSignals[i], &previousActions[i], nullptr);

    signalPipe = -1;
    juce::LinuxEventLoop::unregisterFdCallback (readEnd);
    ::close (readEnd);
    ::close (writeEnd);
}
