#pragma once

#include "app/AppFolders.h"
#include "app/SignOptions.h"
#include "platform/TextLookup.h"

#include <string>

// zentari-cli firmware: the first sign's firmware, as Tool > Update firmware does,
// the hand-over to the flash tool included (its script runs in the foreground).
int runFirmware(const SignOptions& options, const std::string& file, const AppFolders& folders,
                const platform::TextLookup& english);

// zentari-cli batch-firmware: every attached sign, as the batch dialog in
// firmware mode does; with `autoSeconds` it keeps watching that long for signs
// plugged in and updates each once.
int runBatchFirmware(const SignOptions& options, const std::string& file,
                     const std::string& software, int autoSeconds,
                     const platform::TextLookup& english);
