// Linked into the fuzzer executables only, which link with
// -Wl,--wrap=_ZN4juce27juce_isRunningUnderDebuggerEv: every JUCE assertion outside juce_core
// asks whether a debugger is attached, and JUCE answers by reading /proc/self/status. A file
// that makes JUCE assert once per declared channel (tens of thousands of times) would then
// take a minute to open in this sanitized build. The assertions still reach the harness's
// logger, which decides what they mean; a fuzzer never runs under a debugger.

extern "C" bool __wrap__ZN4juce27juce_isRunningUnderDebuggerEv()
{
    return false;
}
