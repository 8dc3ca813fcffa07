// The device voice decoder library (outside/hivoice) in the form the record
// parsers call a voice decoder (VoiceDecoderCalls): the splitter module
// installs it when it loads, so that record files with device voice play their
// sound through the module's own parsers.
#pragma once

#include "VoiceDecoder.h"

const VoiceDecoderCalls& DeviceVoiceDecoderCalls();
