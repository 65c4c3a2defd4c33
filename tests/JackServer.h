#pragma once

#include <juce_core/juce_core.h>

#include <sys/types.h>

/** A JACK server with its dummy back end (paced in real time, no sound card needed), made
    this process's default server while it runs.

    It is stopped with SIGTERM, also when this process dies: a killed server keeps its slot
    in JACK's registry of servers, and with eight slots taken no server starts. It takes the
    first free name of a fixed few, so that a slot left behind all the same is reclaimed by
    a later run. */
class JackServer
{
public:
    JackServer();
    ~JackServer();

    juce::String name;
    bool ready = false;

private:
    bool isRunning() const;
    void stop();

    pid_t pid = 0;
};
