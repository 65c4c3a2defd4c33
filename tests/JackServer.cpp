#include "JackServer.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

JackServer::JackServer()
{
    setenv ("JACK_NO_AUDIO_RESERVATION", "1", 1);
    const auto parent = getpid();

    // One process at a time looks for a free name: a second server started under a name
    // that is taken fails, but removes the socket of the one running under it first.
    const int lock = open ("/tmp/velorin-jackd.lock", O_CREAT | O_RDWR | O_CLOEXEC, 0666);
    flock (lock, LOCK_EX);

    for (int i = 0; i < 6 && ! ready; ++i)
    {
        name = "velorin-" + juce::String (i);
        const auto* serverName = name.toRawUTF8();

        if (isRunning() || (pid = fork()) < 0)
            continue;

        if (pid == 0)
        {
            prctl (PR_SET_PDEATHSIG, SIGTERM);
            const int null = open ("/dev/null", O_WRONLY);

            if (getppid() == parent && dup2 (null, 1) >= 0 && dup2 (null, 2) >= 0)
                execlp ("jackd", "jackd", "--no-realtime", "-n", serverName, "-d", "dummy",
                        "-r", "48000", "-p", "256", (char*) nullptr);

            _exit (127);
        }

        for (int tries = 0; tries < 100 && ! ready && pid > 0; ++tries)
        {
            if (waitpid (pid, nullptr, WNOHANG) == pid)
                pid = 0;   // it gave up: the name is taken or the registry is full
            else if (! (ready = isRunning()))
                juce::Thread::sleep (100);
        }

        if (! ready)
            stop();
    }

    close (lock);
    setenv ("JACK_DEFAULT_SERVER", name.toRawUTF8(), 1);
}

JackServer::~JackServer()
{
    stop();
    unsetenv ("JACK_DEFAULT_SERVER");
}

bool JackServer::isRunning() const
{
    juce::ChildProcess check;
    return check.start (juce::StringArray { "jack_wait", "-s", name, "-c" })
        && check.readAllProcessOutput().startsWith ("running");
}

void JackServer::stop()
{
    if (pid > 0 && kill (pid, SIGTERM) == 0)
        waitpid (pid, nullptr, 0);

    pid = 0;
}
