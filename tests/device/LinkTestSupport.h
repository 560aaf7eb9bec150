#pragma once

#include "device/LinkProtocol.h"

#include <atomic>
#include <string>
#include <vector>

// Records what a transfer tells the main window.
struct RecordingObserver : signlink::LinkObserver {
    std::vector<std::string> calls;
    std::vector<int> positions;
    void setProgressRange(int low, int high) override {
        calls.push_back("range " + std::to_string(low) + " " + std::to_string(high));
    }
    void setProgressStep(int step) override { calls.push_back("step " + std::to_string(step)); }
    void setProgressPos(int pos) override { positions.push_back(pos); }
    void setSignSize(int width, int height) override {
        calls.push_back("size " + std::to_string(width) + "x" + std::to_string(height));
    }
    void setFirmwareReady(bool ready) override { calls.push_back(ready ? "ready" : "not ready"); }
    void startTimer(int id, int ms) override {
        calls.push_back("timer " + std::to_string(id) + " " + std::to_string(ms));
    }
    void postFirmwareReady() override { calls.push_back("post 0x0809"); }
    std::atomic<int> waits{0};
    void waitingForSign() override { ++waits; }
};

inline std::vector<uint8_t> blockOf(size_t length) {
    std::vector<uint8_t> block(length);
    for (size_t k = 0; k < length; ++k)
        block[k] = static_cast<uint8_t>(k * 7 + 3);
    return block;
}
