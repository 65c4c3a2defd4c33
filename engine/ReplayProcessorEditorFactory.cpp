// The one place the engine knows its editor. It is built with the ui layer (the only
// engine source that may include ui/), so that the rest of the engine cannot see ui/.
#include "engine/ReplayProcessor.h"
#include "ui/ReplayProcessorEditor.h"

juce::AudioProcessorEditor* ReplayProcessor::createEditor()
{
    return new ReplayProcessorEditor (this);
}
