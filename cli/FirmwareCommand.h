#pragma once

#include "app/SignOptions.h"
#include "platform/TextLookup.h"

#include <string>

// zentari-cli firmware: the first sign's firmware, as Tool > Update firmware does.
int runFirmware(const SignOptions& options, const std::string& file,
                const platform::TextLookup& english);

// zentari-cli batch-firmware: every attached sign, as the batch dialog in
// firmware mode does; with `autoSeconds` it keeps watching that long for signs
// plugged in and updates each once.
int runBatchFirmware(const SignOptions& options, const std::string& file,
                     const std::string& software, int autoSeconds,
                     const platform::TextLookup& english);
