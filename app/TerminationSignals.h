#pragma once

#include <juce_events/juce_events.h>

/** Makes SIGTERM and SIGHUP quit the application the way closing its window does, so the
    player's data files are written on the way out. The handler only writes a byte to a
    pipe; the message loop watches the pipe's other end and asks the application to quit.
    One instance at a time; the previous handlers come back when it is deleted. */
class TerminationSignals
{
public:
    TerminationSignals();
    ~TerminationSignals();

    /** True once either signal has come. Safe on any thread, even in a signal handler. */
    static bool received();

private:
    int readEnd = -1;
    int writeEnd = -1;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (TerminationSignals)
};
